// Helpers for the settings tests: a headless window system with the application's window
// class, scripts that run inside a modal dialog once it stands, injected clicks and typing on
// the windowless controls of a dialog, and a configuration whose image root is a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXBaseDialog.h"
#include "framework/CKXCtrlWndTab.h"
#include "framework/CKXCtrlListBox.h"
#include "framework/CKXCtrlSlider.h"
#include "framework/CKXFixDialog.h"
#include "framework/CKXMsgBox.h"
#include "platform/ui/uisystem.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/capture/CaptureTestSupport.h"
#include "tests/support/TempDir.h"

namespace quiva::test {

// Where the tests leave pictures for people to look at.
std::string SettingPictureDir();

// Runs `script` from inside the modal loop of the next dialog of this thread, once its window
// stands. Scripts run in the order armed, one per dialog; a script may arm the next (for a box
// its clicks open). A script should end its dialog, by input or EndDialog.
void WhenDialogStands(std::function<void(CKXBaseDialog&)> script);
// Watches for dialogs of this thread: runs the armed scripts, and cancels (failing the test) a
// dialog that stands unanswered for three seconds. Until DropUnusedScripts.
void WatchDialogs();
// Scripts armed but never run (a dialog that did not open); cleared.
int DropUnusedScripts();

// Injected input on screen points; never taken as half of a double click.
void ClickScreen(POINT p);
void TypeText(const std::wstring& text);  // ASCII characters as keys, others composed
void ReplaceText(const std::wstring& text);  // Ctrl+A first

// A fixed dialog's bottom button with that id.
void ClickDialogButton(CKXFixDialog& dialog, int id);
// The caption bar's exit button (Escape never ends a fixed dialog).
void ClickCaptionExit(CKXBaseDialog& dialog);
// A message box's button with that id; its text and caption are read from the box.
void ClickBoxButton(CKXMsgBox& box, int id);
// The centre of a control on a page of the dialog's tab control (the current page), or of a
// control directly on the dialog's content page when it has no tabs.
POINT ControlPoint(CKXFixDialog& dialog, const CKXCtrl& control);
void ClickControl(CKXFixDialog& dialog, const CKXCtrl& control);
// The centre of a row of a list box (unscrolled).
void ClickRow(CKXFixDialog& dialog, CKXCtrlListBox& list, int row);
// Types a value into a slider's number box and ends the editing with Enter.
void TypeSlider(CKXFixDialog& dialog, CKXCtrlSlider& slider, const std::wstring& value);
// The tab with that caption; false when the dialog has no such tab.
bool ClickTab(CKXFixDialog& dialog, const CString& caption);
// The captions of the dialog's tabs in order (empty without a tab control).
std::vector<std::wstring> TabCaptions(CKXFixDialog& dialog);
CKXCtrlWndTab* TabControl(CKXFixDialog& dialog);
// Writes the dialog (painted first) under SettingPictureDir().
void WriteDialogPicture(CKXBaseDialog& dialog, const std::string& name);

// The page (created) alone in a 400 x 400 fixed dialog with the close button (id 8); `script`
// runs once the dialog stands and should close it.
void RunPage(CKXCtrlWnd& page, std::function<void(CKXFixDialog&)> script);
// An attribute of an XML file ("" when the file or the attribute is missing).
std::wstring FileAttribute(const std::string& nativePath, const wchar_t* element, const wchar_t* name);

// The application's machine with a headless window system, the application's window class and
// the dialog watch.
class SettingTest : public AppMachine {
protected:
    void SetUp() override;
    void TearDown() override;
    std::unique_ptr<CKXQUIVAConfig> NewConfig() { return std::make_unique<CKXQUIVAConfig>(); }
};

// The synthetic sources of the engine tests: the card's S-Video input, the camera and the DVD.
inline constexpr const wchar_t* kCard = L"Test Card [S-Video]";
inline constexpr const wchar_t* kCamera = L"Test Camera";
inline constexpr const wchar_t* kDvd = L"CD-ROM";

// SettingTest with the real engine on synthetic sources and a preview window.
class EngineSettingTest : public SettingTest {
protected:
    void SetUp() override;
    void TearDown() override;
    // The preview as the capture window starts it: the source's stored format and colours.
    void Start(const wchar_t* device);
    // A picture made after every change asked for so far.
    Stamped NextPicture();
    // Its width (0 when none came) and brightness.
    int PictureWidth();
    double PictureBrightness();
    // The engine's four colour values (-1000 each when they cannot be read).
    std::vector<int> EngineColors();
    // The page given the engine and the configuration, and created with its id.
    template <class Page>
    void Build(Page& page, int id)
    {
        page.m_pEngine = &m_engine;
        page.m_pConfig = m_config.get();
        page.Create(id, 0, 0, 0, 0);
    }
    // An attribute of the first source record of the device file.
    std::wstring DeviceFile(const wchar_t* name);

    std::string m_extraDevices;  // appended to the synthetic configuration before SetUp
    HWND m_preview = nullptr;
    TestEngine m_engine;
    std::unique_ptr<CKXQUIVAConfig> m_config;
};

}  // namespace quiva::test
