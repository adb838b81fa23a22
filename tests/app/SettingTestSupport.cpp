#include "tests/app/SettingTestSupport.h"

#include <filesystem>
#include <set>
#include <vector>

#include "framework/CKXWnd.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/clock.h"
#include "platform/base/winpath.h"
#include "tests/support/HeadlessScreen.h"

namespace quiva::test {

namespace {

struct DialogScripts {
    std::vector<std::function<void(CKXBaseDialog&)>> pending;
    std::set<HWND> seen;
    UINT_PTR timer = 0;
    DWORD unansweredSince = 0;
};

DialogScripts& Scripts()
{
    static DialogScripts scripts;
    return scripts;
}

// The standing dialog of this thread that no script has had yet.
CKXBaseDialog* NewDialog()
{
    DialogScripts& s = Scripts();
    for (auto it = s.seen.begin(); it != s.seen.end();)
        it = IsWindow(*it) ? std::next(it) : s.seen.erase(it);
    HWND active = GetActiveWindow();
    if (!active || !IsWindowVisible(active) || s.seen.count(active))
        return nullptr;
    return dynamic_cast<CKXBaseDialog*>(CWnd::FromHandlePermanent(active));
}

// A dialog nobody answers would hold the test until its time-out: after three seconds it is
// cancelled and the test fails.
constexpr DWORD kUnansweredMs = 3000;

void CALLBACK PollDialogs(HWND, UINT, UINT_PTR, DWORD)
{
    DialogScripts& s = Scripts();
    CKXBaseDialog* dialog = NewDialog();
    if (!dialog) {
        s.unansweredSince = 0;
        return;
    }
    if (s.pending.empty()) {
        if (!s.unansweredSince)
            s.unansweredSince = GetTickCount();
        if (GetTickCount() - s.unansweredSince < kUnansweredMs)
            return;
        ADD_FAILURE() << "a dialog no script answers: " << dialog->captionBar.caption.ToUtf8();
        s.seen.insert(dialog->m_hWnd);
        s.unansweredSince = 0;
        dialog->EndDialog(IDCANCEL);
        return;
    }
    s.unansweredSince = 0;
    s.seen.insert(dialog->m_hWnd);
    auto script = std::move(s.pending.front());
    s.pending.erase(s.pending.begin());
    script(*dialog);
}

}  // namespace

std::string SettingPictureDir()
{
    std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    std::filesystem::create_directories(dir);
    return dir;
}

void WhenDialogStands(std::function<void(CKXBaseDialog&)> script)
{
    DialogScripts& s = Scripts();
    s.pending.push_back(std::move(script));
    if (!s.timer)
        s.timer = SetTimer(nullptr, 0, 10, PollDialogs);
}

void WatchDialogs()
{
    DialogScripts& s = Scripts();
    if (!s.timer)
        s.timer = SetTimer(nullptr, 0, 10, PollDialogs);
}

int DropUnusedScripts()
{
    DialogScripts& s = Scripts();
    const int unused = static_cast<int>(s.pending.size());
    s.pending.clear();
    s.seen.clear();
    if (s.timer)
        KillTimer(nullptr, s.timer);
    s.timer = 0;
    return unused;
}

void ClickScreen(POINT p)
{
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectPause(1000);
}

void TypeText(const std::wstring& text)
{
    for (wchar_t ch : text) {
        if (ch < 0x80)
            quiva::ui::InjectKeyStroke(static_cast<UINT>(towupper(ch)), ch);
        else
            quiva::ui::InjectImeResult(std::wstring(1, ch));
    }
}

void ReplaceText(const std::wstring& text)
{
    quiva::ui::InjectKeyStroke('A', L'\x01');
    quiva::ui::InjectKeyStroke(VK_BACK, L'\b');
    TypeText(text);
}

namespace {

POINT DialogClient(CKXBaseDialog& dialog, float x, float y)
{
    POINT p{static_cast<int>(x * dialog.renderHint.scale), static_cast<int>(y * dialog.renderHint.scale)};
    ::ClientToScreen(dialog.m_hWnd, &p);
    return p;
}

}  // namespace

void ClickDialogButton(CKXFixDialog& dialog, int id)
{
    for (CKXCtrlButton* b : dialog.buttons)
        if (b->id == id)
            ClickScreen(DialogClient(dialog, b->x + b->width / 2, b->y + b->height / 2));
}

void ClickCaptionExit(CKXBaseDialog& dialog)
{
    POINT exit{static_cast<int>(dialog.captionBar.exitRect.X + 4), static_cast<int>(dialog.captionBar.exitRect.Y + 4)};
    ::ClientToScreen(dialog.m_hWnd, &exit);
    ClickScreen(exit);
}

void ClickBoxButton(CKXMsgBox& box, int id)
{
    for (CKXCtrlButton* b : box.buttons)
        if (b->id == id)
            ClickScreen(DialogClient(box, b->x + b->width / 2, b->y + b->height / 2 + box.captionBar.height));
}

CKXCtrlWndTab* TabControl(CKXFixDialog& dialog) { return dynamic_cast<CKXCtrlWndTab*>(dialog.host.root); }

POINT ControlPoint(CKXFixDialog& dialog, const CKXCtrl& control)
{
    float top = 0.0f;
    if (CKXCtrlWndTab* tab = TabControl(dialog))
        top = tab->tabHeight;
    POINT p{static_cast<int>((control.x + control.width / 2) * dialog.host.renderHint.scale),
            static_cast<int>((control.y + control.height / 2 + top) * dialog.host.renderHint.scale)};
    ::ClientToScreen(dialog.host.m_hWnd, &p);
    return p;
}

void ClickControl(CKXFixDialog& dialog, const CKXCtrl& control) { ClickScreen(ControlPoint(dialog, control)); }

void ClickRow(CKXFixDialog& dialog, CKXCtrlListBox& list, int row)
{
    POINT p = ControlPoint(dialog, list);
    p.y += static_cast<int>((12.0f + 25.0f * row - list.height / 2) * dialog.host.renderHint.scale);
    ClickScreen(p);
}

void TypeSlider(CKXFixDialog& dialog, CKXCtrlSlider& slider, const std::wstring& value)
{
    POINT p = ControlPoint(dialog, slider);
    p.x += static_cast<int>((slider.width / 2 - slider.valueBoxSize / 2 - 4) * dialog.host.renderHint.scale);
    ClickScreen(p);
    ReplaceText(value);
    quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
}

bool ClickTab(CKXFixDialog& dialog, const CString& caption)
{
    CKXCtrlWndTab* tab = TabControl(dialog);
    if (!tab)
        return false;
    for (size_t i = 0; i < tab->tabs.size(); ++i) {
        if (tab->tabs[i]->caption != caption)
            continue;
        const Gdiplus::RectF r = tab->TabRect(static_cast<int>(i));
        POINT p{static_cast<int>((r.X + r.Width / 2) * dialog.host.renderHint.scale),
                static_cast<int>((r.Y + r.Height / 2) * dialog.host.renderHint.scale)};
        ::ClientToScreen(dialog.host.m_hWnd, &p);
        ClickScreen(p);
        return true;
    }
    return false;
}

std::vector<std::wstring> TabCaptions(CKXFixDialog& dialog)
{
    std::vector<std::wstring> captions;
    if (CKXCtrlWndTab* tab = TabControl(dialog))
        for (CKXCtrlTabItem* item : tab->tabs)
            captions.push_back(item->caption.str());
    return captions;
}

void WriteDialogPicture(CKXBaseDialog& dialog, const std::string& name)
{
    ::InvalidateRect(dialog.m_hWnd, nullptr, FALSE);
    ::UpdateWindow(dialog.m_hWnd);
    if (auto* fix = dynamic_cast<CKXFixDialog*>(&dialog)) {
        ::InvalidateRect(fix->host.m_hWnd, nullptr, FALSE);
        ::UpdateWindow(fix->host.m_hWnd);
    }
    quiva::ui::PumpPending();
    EXPECT_TRUE(quiva::ui::WriteWindowPng(dialog.m_hWnd, SettingPictureDir() + "/" + name));
}

void RunPage(CKXCtrlWnd& page, std::function<void(CKXFixDialog&)> script)
{
    CKXFixDialog dialog;
    dialog.contentPage = &page;
    dialog.host.SetRootControl(&page);
    dialog.width = 400;
    dialog.height = 400;
    dialog.AddButton(8);
    WhenDialogStands([script](CKXBaseDialog& d) { script(dynamic_cast<CKXFixDialog&>(d)); });
    dialog.CenterOnCursorMonitor();
}

std::wstring FileAttribute(const std::string& nativePath, const wchar_t* element, const wchar_t* name)
{
    CKXXmlDocument doc;
    if (!doc.Load(WindowsPath(nativePath)))
        return L"";
    return doc.GetAttribute(element, name).str();
}

void SettingTest::SetUp()
{
    UseHeadlessScreen();
    SetCursorPos(960, 540);
    RegisterPlainWindowClass(KX_WINDOW_CLASS, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW));
    WatchDialogs();
    quiva::ui::PumpPending();
}

void SettingTest::TearDown()
{
    EXPECT_EQ(DropUnusedScripts(), 0) << "a dialog the test waited for did not open";
    ParkInput();
    UnregisterClassW(KX_WINDOW_CLASS, nullptr);
}

void EngineSettingTest::SetUp()
{
    SettingTest::SetUp();
    quiva::media::SetSyntheticConfig(std::string("card \"Test Card\"\ncamera \"Test Camera\"\n") + m_extraDevices);
    m_preview = CreateWindowExW(0, KX_WINDOW_CLASS, L"preview", WS_POPUP, 0, 0, 640, 360, nullptr, nullptr, nullptr,
                                nullptr);
    m_engine.Load(L"0@@Test Card Crossbar@@S-Video@@Test Card [S-Video]@@1@@2@@3\n"
                  L"1@@Test Camera@@@@Test Camera@@0@@0@@0\n"
                  L"3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    m_config = NewConfig();
}

void EngineSettingTest::TearDown()
{
    m_engine.Close();
    DestroyWindow(m_preview);
    quiva::media::SetSyntheticConfig(std::nullopt);
    SettingTest::TearDown();
}

void EngineSettingTest::Start(const wchar_t* device)
{
    const _KXCaptureStudyConfig record = m_config->GetDeviceSettings(device);
    m_engine.SetRequestedFormat(record.width, record.height, record.fps, record.mediaType);
    m_engine.m_bColorControl = m_config->GetOptions().m_bApplyColor;
    ASSERT_EQ(m_engine.StartPreview(device, m_preview), 1);
    m_engine.SetColorControls(record.hue, record.saturation, record.brightness, record.contrast);
}

Stamped EngineSettingTest::NextPicture()
{
    // Two frames past the one shown now: made after every change asked for so far.
    const Stamped shown = WaitForPicture(m_engine);
    return WaitForPicture(m_engine, shown.stamp.counter + 2);
}

int EngineSettingTest::PictureWidth()
{
    const Stamped s = NextPicture();
    return s.ok ? s.header.biWidth : 0;
}

double EngineSettingTest::PictureBrightness()
{
    const Stamped s = NextPicture();
    return s.ok ? Brightness(s) : -1;
}

std::vector<int> EngineSettingTest::EngineColors()
{
    int v[4] = {-1000, -1000, -1000, -1000};
    m_engine.GetColorControls(&v[0], &v[1], &v[2], &v[3]);
    return {v[0], v[1], v[2], v[3]};
}

std::wstring EngineSettingTest::DeviceFile(const wchar_t* name)
{
    return FileAttribute(Exe("QUIVA.Capture.Device.Config"), L"/devices/device0", name);
}

}  // namespace quiva::test
