// The capture window in this process, on the prepared clinic and an engine without sources:
// layout, the patient looked up (with a chart number that tries to break out of its quotes),
// Clear, the smallest size, the rectangle saved from a minimised window, and the tabs.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/CKXQUIVACaptureView.h"
#include "app/ui/CKXQUIVAFrame.h"
#include "app/ui/QUIVAKeyboardHook.h"
#include "app/ui/QUIVAWindowClasses.h"
#include "capture/CKXMCapture.h"
#include "platform/ui/uisystem.h"
#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

namespace {

std::string RectText(const RECT& r)
{
    return std::to_string(r.left) + "," + std::to_string(r.top) + "-" + std::to_string(r.right) + "," + std::to_string(r.bottom);
}

class CaptureFrame : public ClinicHost {
protected:
    void SetUp() override
    {
        ClinicHost::SetUp();
        ASSERT_EQ(chdir(m_dir.path().c_str()), 0);
        quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
        quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1080});
        SetCursorPos(960, 540);
        RegisterQUIVAWindowClasses();
        frame = std::make_unique<CKXQUIVAFrame>();
        frame->SetEngine(&engine);
        frame->config.LoadDatabaseOptions();
        frame->titleBar.studyCombo.ReloadStudies();
    }
    void TearDown() override
    {
        frame.reset();
        UnregisterQUIVAWindowClasses();
        ASSERT_EQ(chdir(m_oldDir.c_str()), 0);
    }
    static CRect InParent(CWnd& w)
    {
        CRect r;
        w.GetWindowRect(&r);
        ::MapWindowPoints(nullptr, ::GetParent(w), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    std::string LastSave() const
    {
        std::ifstream in(Clinic() + "/exe/QUIVA.Capture.LastSave", std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    ScopedEnv m_drive{"QUIVA_DRIVE_D", m_dir.Native("d")};
    std::string m_oldDir = std::filesystem::current_path().string();
    CKXMCapture engine;
    std::unique_ptr<CKXQUIVAFrame> frame;
};

}  // namespace

TEST_F(CaptureFrame, ShowLaysTheWindowOutForThePatient)
{
    frame->Show(L"12345", L"2024-01-05", FALSE);
    ASSERT_TRUE(frame->GetSafeHwnd());
    EXPECT_EQ(frame->captionBar.caption, CString(L"영상얻기 (12345-홍길동)"));
    CRect w;
    frame->GetWindowRect(&w);
    EXPECT_EQ(RectText(w), RectText(CRect(560, 240, 1360, 840)));
    EXPECT_TRUE(frame->GetExStyle() & WS_EX_TOPMOST);
    CRect c;
    frame->GetClientRect(&c);
    int h = static_cast<int>(frame->captionBar.height), top = h + 40, T = frame->splitter.thumbnailWidth;
    EXPECT_EQ(T, 200);
    EXPECT_EQ(RectText(InParent(frame->titleHost)), RectText(CRect(0, h, c.right, top)));
    EXPECT_EQ(RectText(InParent(frame->videoHost)), RectText(CRect(0, top, c.right - T - 24, c.bottom)));
    EXPECT_EQ(RectText(InParent(frame->splitter)), RectText(CRect(c.right - T - 24, top, c.right - T, c.bottom)));
    EXPECT_EQ(RectText(InParent(frame->thumbnailHost)), RectText(CRect(c.right - T, top, c.right, c.bottom)));
    ASSERT_EQ(frame->thumbnailTab.tabs.size(), 1u);
    EXPECT_EQ(frame->thumbnailTab.tabs[0]->GetCaption(), CString(L"12345-홍길동"));
    EXPECT_FALSE(frame->thumbnailTab.tabs[0]->closable);
    // No source runs: no keyboard hook, so no key takes anything.
    EXPECT_EQ(g_captureKeys.hook, nullptr);
    EXPECT_TRUE(frame->titleBar.stillButton.enabled);
    // The two study names, then the entry that manages them.
    EXPECT_EQ(frame->titleBar.studyCombo.dropList.items.size(), 3u);

    // Not smaller than 800 x 600.
    frame->MoveWindow(0, 0, 300, 200);
    frame->GetWindowRect(&w);
    EXPECT_EQ(w.Width(), 800);
    EXPECT_EQ(w.Height(), 600);
}

TEST_F(CaptureFrame, AChartNumberThatTriesToLeaveItsQuotesFindsNoPatient)
{
    EXPECT_EQ(frame->LookupPatientName(L"12345"), CString(L"홍길동"));
    EXPECT_EQ(frame->LookupPatientName(L"1' OR '1'='1"), CString());
    EXPECT_EQ(frame->LookupPatientName(L"12345'--"), CString());
    EXPECT_EQ(frame->LookupPatientName(L"12345\n"), CString());
    frame->Show(L"99' OR CNO LIKE '%", L"", FALSE);
    EXPECT_EQ(frame->captionBar.caption, CString(L"영상얻기 (99' OR CNO LIKE '%-)"));
}

TEST_F(CaptureFrame, ClearLeavesTheWindowOpenWithoutAPatient)
{
    frame->Show(L"12345", L"2024-01-05", FALSE);
    frame->Clear();
    EXPECT_EQ(frame->captionBar.caption, CString(L"영상얻기"));
    EXPECT_EQ(g_captureKeys.model, nullptr);
    EXPECT_FALSE(frame->titleBar.saveButton.enabled);
    EXPECT_FALSE(frame->titleBar.stillButton.enabled);
    EXPECT_FALSE(frame->titleBar.videoButton.enabled);
    EXPECT_TRUE(frame->thumbnailTab.tabs.empty());
    EXPECT_EQ(frame->thumbnailTab.currentPage, nullptr);
    EXPECT_TRUE(frame->IsWindowVisible());
}

TEST_F(CaptureFrame, AMinimisedWindowIsSavedAtItsRestoredRectangle)
{
    frame->Show(L"12345", L"2024-01-05", FALSE);
    frame->MoveWindow(100, 120, 900, 700);
    frame->ShowWindow(SW_MINIMIZE);
    EXPECT_TRUE(frame->IsWindowVisible());  // what QUIVACaptureIsShow asks: a minimised window is shown
    frame->DestroyWindow();
    std::string saved = LastSave();
    EXPECT_NE(saved.find("x=\"100\" y=\"120\" width=\"900\" height=\"700\""), std::string::npos) << saved;
}

TEST_F(CaptureFrame, TabsAreToldApartByTheirPatientsNotByTheTextBeforeTheDash)
{
    CKXQUIVAThumbnailCtrlTab& tabs = frame->thumbnailTab;
    CKXCtrlWnd first, second;
    tabs.RebuildTabs(L"2024-17-홍길동", &first);
    tabs.RebuildTabs(L"2024-18-김영희", &second);
    ASSERT_EQ(tabs.tabs.size(), 2u);
    EXPECT_EQ(tabs.tabs[0]->page, &second);
    EXPECT_FALSE(tabs.tabs[0]->closable);
    EXPECT_TRUE(tabs.tabs[1]->closable);
    // Back to the first patient: its tab comes to the front with the refreshed caption.
    tabs.RebuildTabs(L"2024-17-홍길동(수정)", &first);
    ASSERT_EQ(tabs.tabs.size(), 2u);
    EXPECT_EQ(tabs.tabs[0]->page, &first);
    EXPECT_EQ(tabs.tabs[0]->GetCaption(), CString(L"2024-17-홍길동(수정)"));
    EXPECT_FALSE(tabs.tabs[0]->closable);
    EXPECT_TRUE(tabs.tabs[1]->closable);
    tabs.RemoveAllTabs();
    EXPECT_EQ(tabs.currentPage, nullptr);
}

TEST_F(CaptureFrame, AWindowThatCannotBeMadeRunsNoModalLoop)
{
    UnregisterQUIVAWindowClasses();
    frame->Show(L"12345", L"2024-01-05", TRUE);  // returns: no loop that nothing could end
    EXPECT_FALSE(frame->GetSafeHwnd());
    EXPECT_FALSE(frame->inModal);
    RegisterQUIVAWindowClasses();
}

TEST_F(CaptureFrame, ClosingTheTabOnShowLeavesNoPageBehind)
{
    frame->Show(L"12345", L"2024-01-05", FALSE);
    frame->Show(L"67890", L"2024-01-06", FALSE);
    CKXQUIVAThumbnailCtrlTab& tabs = frame->thumbnailTab;
    ASSERT_EQ(tabs.tabs.size(), 2u);
    ASSERT_TRUE(tabs.tabs[1]->closable);
    tabs.SelectTab(1);  // the first patient's strip is on show
    ASSERT_NE(tabs.currentPage, nullptr);
    CKXCtrlTabItem* first = tabs.tabs[1];
    ASSERT_TRUE(tabs.CanCloseTab(first, nullptr));  // saves and lets the first patient go
    EXPECT_EQ(tabs.currentPage, nullptr);
    tabs.RemoveTab(first);
    ASSERT_EQ(tabs.tabs.size(), 1u);
    EXPECT_TRUE(tabs.currentPage == nullptr || tabs.currentPage == tabs.tabs[0]->page);
    EXPECT_EQ(frame->modelManager.GetModelCount(), 1);
    // Drawing and pointing at the strip's place reach nothing that has gone.
    frame->thumbnailHost.Redraw();
    frame->UpdateWindow();
    CRect strip;
    frame->thumbnailHost.GetWindowRect(&strip);
    quiva::ui::InjectMouseMove(strip.left + 50, strip.top + 100);
    quiva::ui::InjectClick(strip.left + 50, strip.top + 100);
    quiva::ui::PumpPending();
    EXPECT_EQ(tabs.tabs.size(), 1u);
}

TEST_F(CaptureFrame, EachModelsViewRepaintsTheWindowItsCallIsFor)
{
    frame->Show(L"12345", L"2024-01-05", FALSE);
    CKXQUIVACaptureModel* model = frame->modelManager.GetModel(0);
    ASSERT_NE(model, nullptr);
    auto* view = dynamic_cast<CKXQUIVACaptureView*>(model->GetFileListener());
    ASSERT_NE(view, nullptr);  // made with the model by the frame
    EXPECT_EQ(&view->strip, CKXCtrlWndQUIVAThumbnail::Of(model));
    const HWND title = frame->titleHost.GetSafeHwnd(), strip = frame->thumbnailHost.GetSafeHwnd();
    auto settled = [&] {
        frame->UpdateWindow();
        ValidateRect(title, nullptr);
        ValidateRect(strip, nullptr);
    };
    settled();
    // The recording tick's call, off the window thread, reaches the title bar alone.
    std::thread([view] { view->RecordingTimeChanged(); }).join();
    EXPECT_TRUE(GetUpdateRect(title, nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(strip, nullptr, FALSE));
    settled();
    // A commit's repaint reaches the strip alone.
    view->Repaint();
    EXPECT_TRUE(GetUpdateRect(strip, nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(title, nullptr, FALSE));
    settled();
    // A model that starts to go reaches no window any more.
    view->Detach();
    view->RecordingTimeChanged();
    view->Repaint();
    EXPECT_FALSE(GetUpdateRect(title, nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(strip, nullptr, FALSE));
}
