// The device manager as a person uses it, on the headless display with injected input: the
// source tree, choosing a source by click and by key, graph-file import, export and deletion,
// the DVD switch, the About box from the window menu, the layout and closing.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "monitor/CQUIVACaptureManagerDlg.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/ui/buttons.h"
#include "platform/ui/filedialogs.h"
#include "platform/ui/menu.h"
#include "platform/ui/syscolor.h"
#include "platform/ui/windowicon.h"
#include "tests/support/capture/CaptureTestSupport.h"
#include "tests/support/Xvfb.h"

namespace {

// A pixel of a preview window's client area (RGB), read under the surface's lock: the renderer
// paints it from its streaming thread.
uint32_t PreviewPixel(HWND preview, int x, int y)
{
    uint32_t pixel = 0;
    quiva::ui::PaintWindowSurface(preview, [&](quiva::Surface& surface, POINT origin, RECT) {
        pixel = surface.At(origin.x + x, origin.y + y) & 0xFFFFFF;
    });
    return pixel;
}

using quiva::ui::InjectClick;
using quiva::ui::InjectKey;
using quiva::ui::InjectKeyStroke;
using quiva::ui::PumpPending;

// The manager with a script that runs inside its modal loop once it is up; the dialog closes
// after the script unless the script sets keepOpen (then input it queued must close it).
class ScriptedManager : public CQUIVACaptureManagerDlg {
public:
    using Script = std::function<void(ScriptedManager&)>;
    bool keepOpen = false;
    explicit ScriptedManager(Script script)
        : CQUIVACaptureManagerDlg({L"QUIVACaptureManager.exe"}), m_script(std::move(script))
    {
    }

    HWND Item(int id) const { return ::GetDlgItem(m_hWnd, id); }
    // Centre of a control in screen coordinates.
    POINT CentreOf(HWND control) const
    {
        RECT r{};
        ::GetWindowRect(control, &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }
    void Click(int id)
    {
        const POINT p = CentreOf(Item(id));
        InjectClick(p.x, p.y);
        PumpPending();
    }
    HTREEITEM FindItem(HTREEITEM parent, LPCWSTR text)
    {
        for (HTREEITEM i = m_tree.GetChildItem(parent); i; i = m_tree.GetNextSiblingItem(i))
            if (m_tree.GetItemText(i) == text)
                return i;
        return nullptr;
    }
    std::vector<std::wstring> Children(HTREEITEM parent)
    {
        std::vector<std::wstring> texts;
        for (HTREEITEM i = m_tree.GetChildItem(parent); i; i = m_tree.GetNextSiblingItem(i))
            texts.push_back(m_tree.GetItemText(i).GetString());
        return texts;
    }
    void ClickItem(HTREEITEM item)
    {
        RECT r{};
        ASSERT_TRUE(m_tree.GetItemRect(item, &r, TRUE));
        POINT p{r.left + 8, (r.top + r.bottom) / 2};
        ::ClientToScreen(m_tree.m_hWnd, &p);
        InjectClick(p.x, p.y);
        PumpPending();
    }
    std::vector<std::wstring> LogLines()
    {
        std::vector<std::wstring> lines;
        for (INT_PTR i = 0; i < m_panel.m_log.m_lines.GetSize(); ++i)
            lines.push_back(m_panel.m_log.m_lines[i].GetString());
        return lines;
    }
    using CQUIVACaptureManagerDlg::m_bDvd;
    using CQUIVACaptureManagerDlg::m_tree;
    using CQUIVACaptureManagerDlg::m_hExtension;
    using CQUIVACaptureManagerDlg::m_hGraphFiles;
    using CQUIVACaptureManagerDlg::m_hIcon;
    using CQUIVACaptureManagerDlg::m_hRoot;
    using CQUIVACaptureManagerDlg::m_hSearched;

protected:
    BOOL OnInitDialog() override
    {
        const BOOL r = CQUIVACaptureManagerDlg::OnInitDialog();
        PostMessage(WM_APP + 1);
        return r;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP + 1) {
            m_script(*this);
            if (!keepOpen)
                EndDialog(IDCANCEL);
            return 0;
        }
        return CQUIVACaptureManagerDlg::WindowProc(message, wParam, lParam);
    }

private:
    Script m_script;
};

// Answers the next modal box on this thread: notes its caption and the text of its control
// `textId` (0: none), then presses its OK.
struct BoxAnswer {
    std::wstring caption;
    std::wstring text;
    int textId = 0;
    HWND owner = nullptr;  // the window the box is over (not the box)
    RECT where{};          // the box's window on the screen
};
BoxAnswer* g_box = nullptr;

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND box = GetActiveWindow();
    if (!g_box || !box || box == g_box->owner)
        return;  // not up yet
    KillTimer(nullptr, id);
    wchar_t text[256] = {};
    GetWindowTextW(box, text, 256);
    g_box->caption = text;
    GetWindowRect(box, &g_box->where);
    if (g_box->textId && GetDlgItem(box, g_box->textId)) {
        GetWindowTextW(GetDlgItem(box, g_box->textId), text, 256);
        g_box->text = text;
    }
    g_box = nullptr;
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

// Alt+Space opens the window menu; its About item is the last one.
void OpenAboutBox()
{
    InjectKey(VK_MENU, true);
    InjectKeyStroke(VK_SPACE, L' ');
    InjectKey(VK_MENU, false);
    InjectKeyStroke(VK_UP);
    InjectKeyStroke(VK_RETURN);
}

void AnswerNextBox(BoxAnswer* answer, HWND owner)
{
    answer->owner = owner;
    g_box = answer;
    SetTimer(nullptr, 0, 50, AnswerBox);
}

class DeviceManager : public quiva::test::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        WNDCLASSW wc{};
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = KXM_MONITOR_WINDOW_CLASS_NAME;
        RegisterClassW(&wc);
    }
    void TearDown() override
    {
        quiva::ui::SetFileDialogAnswer({});
        UnregisterClassW(KXM_MONITOR_WINDOW_CLASS_NAME, nullptr);
        EngineTest::TearDown();
    }
    static constexpr const wchar_t* KXM_MONITOR_WINDOW_CLASS_NAME = L"QUIVACaptureWnd";

    // A graph file of the camera's preview, written by an engine of its own.
    CString CameraGraph(const std::string& name)
    {
        CKXMCaptureEx engine;
        engine.EnumerateDevices(CLSID_VideoInputDeviceCategory, 1);
        engine.EnsureGraph();
        engine.m_nRendererKind = KXM_RENDERER_EVR;
        EXPECT_TRUE(engine.SelectDevice(m_wnd, L"Test Camera"));
        EXPECT_TRUE(engine.ExportGraph(Win(name)));
        return Win(name);
    }
    INT_PTR Run(ScriptedManager::Script script)
    {
        ScriptedManager dlg(std::move(script));
        return dlg.DoModal();
    }
};

TEST_F(DeviceManager, ShowsTheSourcesTheGraphFilesAndTheDvdEntryInItsTree)
{
    const CString graph = CameraGraph("saved.grf");
    quiva::test::WriteAll("QUIVACapture.GraphList",
                          "<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphFiles><Extension DVD=\"1\"/><GraphFile name=\"Saved\">" +
                              quiva::WideToUtf8(std::wstring(graph.GetString())) + "</GraphFile></GraphFiles>");
    Run([&](ScriptedManager& dlg) {
        EXPECT_STREQ(dlg.GetWindowText(), L"QUIVA 캡쳐장비 관리자");
        EXPECT_STREQ(dlg.m_tree.GetItemText(dlg.m_hRoot), L"장치목록");
        EXPECT_EQ(dlg.Children(dlg.m_hRoot), (std::vector<std::wstring>{L"검색장치", L"Graph파일", L"확장"}));
        EXPECT_EQ(dlg.Children(dlg.m_hSearched),
                  (std::vector<std::wstring>{L"Test Card Crossbar [Video]", L"Test Card Crossbar [S-Video]",
                                             L"Test Card Crossbar [Video] #2", L"Test Card Crossbar [Component]",
                                             L"Test Card Crossbar [HDMI]", L"Test Card Crossbar [Video] #3",
                                             L"Test Card Capture", L"Test Camera"}));
        EXPECT_EQ(dlg.Children(dlg.m_hGraphFiles), std::vector<std::wstring>{L"Saved"});
        EXPECT_EQ(dlg.Children(dlg.m_hExtension), std::vector<std::wstring>{L"CD-ROM"});
        // The items carry their entries; the groups carry none.
        EXPECT_EQ(dlg.EntryOf(dlg.m_hGraphFiles), nullptr);
        EXPECT_STREQ(dlg.EntryOf(dlg.FindItem(dlg.m_hGraphFiles, L"Saved"))->sourceName, graph);
        // The DVD box shows the loaded list.
        EXPECT_EQ(BST_CHECKED, SendMessageW(dlg.Item(IDC_CHECK_DVD), BM_GETCHECK, 0, 0));
        EXPECT_TRUE(dlg.m_bDvd);
        // Saving again keeps the DVD function and the graph file.
        dlg.Click(IDC_BUTTON_SAVE);
        const std::string list = quiva::test::ReadAll("QUIVACapture.GraphList");
        EXPECT_NE(list.find("Extension"), std::string::npos) << list;
        EXPECT_NE(list.find("saved.grf"), std::string::npos) << list;

        // Controls where the template puts them, in the font's dialog units.
        RECT tree{7, 25, 160, 303}, button{7, 7, 57, 21};
        MapDialogRect(dlg.m_hWnd, &tree);
        MapDialogRect(dlg.m_hWnd, &button);
        RECT actual{};
        GetWindowRect(dlg.Item(IDC_BUTTON_IMPORT), &actual);
        MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, button.left);
        EXPECT_EQ(actual.right - actual.left, button.right - button.left);
        GetWindowRect(dlg.m_tree.m_hWnd, &actual);
        MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, tree.left);
        EXPECT_EQ(actual.right - actual.left, tree.right - tree.left);

        // The icon, the window menu's About item and the placeholder of the preview.
        EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_GETICON, ICON_BIG)), dlg.m_hIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(dlg.SendMessage(WM_QUERYDRAGICON)), dlg.m_hIcon);
        HMENU menu = GetSystemMenu(dlg.m_hWnd, FALSE);
        const int count = GetMenuItemCount(menu);
        ASSERT_GE(count, 2);
        EXPECT_EQ(GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
        wchar_t about[64] = {};
        GetMenuStringW(menu, IDM_ABOUTBOX, about, 64, MF_BYCOMMAND);
        EXPECT_STREQ(about, L"QUIVACaptureManager 정보(&A)...");
        dlg.Preview().UpdateWindow();
        quiva::Surface* s = quiva::ui::WindowSurface(dlg.m_hWnd);
        const POINT o = quiva::ui::ClientOriginInSurface(dlg.Preview().m_hWnd);
        EXPECT_EQ(s->At(o.x + 2, o.y + 2) & 0xFFFFFF, 0u);
        // "미리보기" in grey in its middle.
        RECT pr{};
        dlg.Preview().GetClientRect(&pr);
        bool grey = false;
        for (int x = pr.right / 2 - 40; x < pr.right / 2 + 40 && !grey; ++x)
            for (int y = pr.bottom / 2 - 8; y < pr.bottom / 2 + 8 && !grey; ++y)
                grey = (s->At(o.x + x, o.y + y) & 0xFF) > 0x80;
        EXPECT_TRUE(grey);
    });
}

TEST_F(DeviceManager, ChoosingASourceByClickOrKeyPreviewsItDrawsItsGraphAndLogsItsSteps)
{
    Run([&](ScriptedManager& dlg) {
        HTREEITEM camera = dlg.FindItem(dlg.m_hSearched, L"Test Camera");
        dlg.ClickItem(dlg.m_hSearched);  // a group: nothing starts
        EXPECT_EQ(dlg.Panel().m_pCurrentEntry, nullptr);
        EXPECT_EQ(dlg.Capture().GetGraph(), nullptr);

        dlg.ClickItem(camera);
        EXPECT_EQ(dlg.m_tree.GetSelectedItem(), camera);
        EXPECT_EQ(dlg.Panel().m_pCurrentEntry, dlg.EntryOf(camera));
        EXPECT_EQ(KXM_RENDERER_EVR, dlg.Capture().m_nRendererKind);
        EXPECT_GE(dlg.Panel().m_boxes.GetSize(), 3);
        EXPECT_TRUE(dlg.Panel().m_bRunning);
        EXPECT_FALSE(dlg.Panel().m_startButton.enabled);
        EXPECT_TRUE(dlg.Panel().m_stopButton.enabled);
        std::vector<std::wstring> log = dlg.LogLines();
        ASSERT_GE(log.size(), 3u);
        // A fresh log: its clock starts with the source.
        EXPECT_TRUE(log[0].starts_with(L"[00:00:00.0")) << log[0];
        EXPECT_EQ(log[0].substr(15), L"[Test Camera]장치를 시작합니다.");
        EXPECT_NE(log[1].find(L"WDM장치[Test Camera]를 찾았습니다."), std::wstring::npos) << log[1];
        // The synthetic picture reaches the preview window.
        quiva::test::Stamped picture = quiva::test::WaitForPicture(dlg.Capture());
        ASSERT_TRUE(picture.ok);
        EXPECT_TRUE(quiva::test::PumpUntil([&] {
            RECT r{};
            dlg.Preview().GetClientRect(&r);
            const uint32_t px = PreviewPixel(dlg.Preview().m_hWnd, r.right / 2, r.bottom / 2);
            return px != 0 && px != (GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
        }));

        // The key above the camera chooses the capture filter of the card.
        InjectKeyStroke(VK_UP);
        PumpPending();
        EXPECT_STREQ(dlg.m_tree.GetItemText(dlg.m_tree.GetSelectedItem()), L"Test Card Capture");
        EXPECT_EQ(dlg.Panel().m_pCurrentEntry, dlg.EntryOf(dlg.m_tree.GetSelectedItem()));
        log = dlg.LogLines();
        EXPECT_TRUE(log[0].starts_with(L"[00:00:00.0")) << log[0];
        EXPECT_EQ(log[0].substr(15), L"[Test Card Capture]장치를 시작합니다.");

        // The whole manager with a graph shown, for people to look at.
        dlg.UpdateWindow();
        dlg.Panel().m_pEngine = &dlg.Capture();
        dlg.Host().Redraw();
        const std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
        std::filesystem::create_directories(dir);
        EXPECT_TRUE(quiva::ui::WriteWindowPng(dlg.m_hWnd, dir + "/monitor-device-manager.png"));
    });
}

// "정지" stops the preview and takes its last picture away: the placeholder comes back.
TEST_F(DeviceManager, StoppingThePreviewClearsItsPicture)
{
    Run([&](ScriptedManager& dlg) {
        dlg.ClickItem(dlg.FindItem(dlg.m_hSearched, L"Test Camera"));
        ASSERT_TRUE(dlg.Panel().m_bRunning);
        // A point in the first bar of the picture, left of the placeholder's text (the top left
        // corner holds the picture's time stamp, black between its digits): black as a
        // placeholder, the picture's while it runs.
        auto corner = [&] {
            RECT r{};
            dlg.Preview().GetClientRect(&r);
            return PreviewPixel(dlg.Preview().m_hWnd, r.right / 16, r.bottom / 2);
        };
        ASSERT_TRUE(quiva::test::WaitForPicture(dlg.Capture()).ok);
        ASSERT_TRUE(quiva::test::PumpUntil([&] { return corner() != 0; }));

        const CKXCtrlButton& stop = dlg.Panel().m_stopButton;
        POINT p{static_cast<int>(stop.x + stop.width / 2), static_cast<int>(stop.y + stop.height / 2)};
        ::ClientToScreen(dlg.Host().m_hWnd, &p);
        InjectClick(p.x, p.y);
        EXPECT_TRUE(quiva::test::PumpUntil([&] { return !dlg.Panel().m_bRunning && corner() == 0; }));
    });
}

TEST_F(DeviceManager, AGraphFileNamedLikeADeviceIsStillItsOwnSource)
{
    const CString graph = CameraGraph("Test Card Capture.grf");
    Run([&](ScriptedManager& dlg) {
        quiva::ui::SetFileDialogAnswer([&](const OPENFILENAMEW&, bool) { return std::optional<std::wstring>(graph.GetString()); });
        dlg.Click(IDC_BUTTON_IMPORT);
        HTREEITEM file = dlg.FindItem(dlg.m_hGraphFiles, L"Test Card Capture");
        ASSERT_TRUE(file);
        dlg.ClickItem(dlg.FindItem(dlg.m_hSearched, L"Test Camera"));
        dlg.ClickItem(file);
        EXPECT_EQ(dlg.Capture().GetCurrentEntry()->type, KXM_DEVICE_GRAPH_FILE);
        EXPECT_EQ(dlg.Panel().m_pCurrentEntry, dlg.EntryOf(file));
        EXPECT_TRUE(dlg.Panel().m_bRunning);
    });
}

TEST_F(DeviceManager, ImportedGraphRunsIsListedAndSavedAndExportsAgain)
{
    const CString graph = CameraGraph("camera.grf");
    Run([&](ScriptedManager& dlg) {
        std::vector<OPENFILENAMEW> asked;
        std::vector<bool> saves;
        CString answer = graph;
        quiva::ui::SetFileDialogAnswer([&](const OPENFILENAMEW& ofn, bool save) {
            asked.push_back(ofn);
            saves.push_back(save);
            return std::optional<std::wstring>(answer.GetString());
        });
        dlg.Click(IDC_BUTTON_IMPORT);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_FALSE(saves[0]);
        EXPECT_STREQ(asked[0].lpstrTitle, L"Graph파일 불러오기");
        EXPECT_STREQ(asked[0].lpstrDefExt, L"grf");
        EXPECT_EQ(asked[0].Flags & OFN_FILEMUSTEXIST, static_cast<DWORD>(OFN_FILEMUSTEXIST));
        EXPECT_STREQ(asked[0].lpstrFilter, L"GraphFiles(*.grf)");
        EXPECT_EQ(dlg.Children(dlg.m_hGraphFiles), std::vector<std::wstring>{L"camera"});
        EXPECT_STREQ(dlg.Panel().m_nameEdit.GetEditText(), L"camera");
        EXPECT_TRUE(dlg.Capture().m_bRunning);
        EXPECT_TRUE(dlg.Panel().m_bRunning);

        dlg.Click(IDC_BUTTON_SAVE);
        const std::string list = quiva::test::ReadAll("QUIVACapture.GraphList");
        EXPECT_NE(list.find("camera.grf"), std::string::npos) << list;
        EXPECT_NE(list.find("name=\"camera\""), std::string::npos) << list;

        // The graph shown is exported, and the exported file imports as a source of its own.
        answer = Win("again.grf");
        dlg.Click(IDC_BUTTON_EXPORT);
        ASSERT_EQ(asked.size(), 2u);
        EXPECT_TRUE(saves[1]);
        EXPECT_STREQ(asked[1].lpstrTitle, L"Graph파일저장");
        EXPECT_TRUE(PathFileExistsW(answer));
        dlg.Click(IDC_BUTTON_IMPORT);
        EXPECT_EQ(dlg.Children(dlg.m_hGraphFiles), (std::vector<std::wstring>{L"camera", L"again"}));
        EXPECT_TRUE(dlg.Capture().m_bRunning);
        // The same file again: nothing new.
        dlg.Click(IDC_BUTTON_IMPORT);
        EXPECT_EQ(dlg.Children(dlg.m_hGraphFiles).size(), 2u);
    });
}

TEST_F(DeviceManager, AFileThatIsNoGraphIsRefusedAndNothingChanges)
{
    quiva::test::WriteAll("plain.grf", "not a graph");
    Run([&](ScriptedManager& dlg) {
        const int before = dlg.Capture().GetDeviceCount();
        quiva::ui::SetFileDialogAnswer(
            [&](const OPENFILENAMEW&, bool) { return std::optional<std::wstring>(Win("plain.grf").GetString()); });
        BoxAnswer box;
        AnswerNextBox(&box, dlg.m_hWnd);
        dlg.Click(IDC_BUTTON_IMPORT);
        EXPECT_EQ(box.caption, L"QUIVA 캡쳐장비 관리자");
        EXPECT_EQ(before, dlg.Capture().GetDeviceCount());
        EXPECT_TRUE(dlg.Children(dlg.m_hGraphFiles).empty());
        EXPECT_EQ(quiva::test::ReadAll("plain.grf"), "not a graph");
    });
}

TEST_F(DeviceManager, AFailedExportOrListSaveIsShownAndLeavesTheFilesAsTheyWere)
{
    quiva::test::WriteAll("QUIVACapture.GraphList", "<?xml version=\"1.0\"?><GraphFiles><Extension DVD=\"1\"/></GraphFiles>");
    const std::string before = quiva::test::ReadAll("QUIVACapture.GraphList");
    Run([&](ScriptedManager& dlg) {
        dlg.ClickItem(dlg.FindItem(dlg.m_hSearched, L"Test Camera"));
        std::vector<OPENFILENAMEW> asked;
        quiva::ui::SetFileDialogAnswer([&](const OPENFILENAMEW& ofn, bool) {
            asked.push_back(ofn);
            return std::optional<std::wstring>(Win("no such folder/camera.grf").GetString());
        });
        BoxAnswer box;
        AnswerNextBox(&box, dlg.m_hWnd);
        dlg.Click(IDC_BUTTON_EXPORT);
        ASSERT_EQ(asked.size(), 1u);
        EXPECT_STREQ(asked[0].lpstrDefExt, L"grf");
        EXPECT_EQ(box.caption, L"QUIVA 캡쳐장비 관리자");
        EXPECT_FALSE(std::filesystem::exists(Native("no such folder")));

        // A list that cannot be written whole (here a file size limit) is shown as failed.
        struct rlimit old {};
        ::getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        small.rlim_cur = 16;
        auto previous = ::signal(SIGXFSZ, SIG_IGN);
        ::setrlimit(RLIMIT_FSIZE, &small);
        BoxAnswer saveBox;
        AnswerNextBox(&saveBox, dlg.m_hWnd);
        dlg.Click(IDC_BUTTON_SAVE);
        ::setrlimit(RLIMIT_FSIZE, &old);
        ::signal(SIGXFSZ, previous);
        EXPECT_EQ(saveBox.caption, L"QUIVA 캡쳐장비 관리자");
    });
    EXPECT_EQ(quiva::test::ReadAll("QUIVACapture.GraphList"), before);
}

// A card whose inputs fill the device text passed to the capture window: the sources that do not
// fit are named in the log when the manager starts and when the DVD box adds one more.
TEST_F(DeviceManager, TheLogNamesTheSourcesTheCaptureWindowWillNotGet)
{
    UseDevices("card \"Six Input Medical Video Capture Card With A Long Model Name\"\ncamera \"Test Camera\"\n");
    Run([&](ScriptedManager& dlg) {
        const CString text = dlg.Capture().DeviceText(KXM_DEVICE_TEXT_MAX);
        ASSERT_LE(text.GetLength(), KXM_DEVICE_TEXT_MAX);
        std::vector<std::wstring> left;
        for (int i = 0; const _KXMCaptureDeviceInfo* e = dlg.Capture().GetEntry(i); ++i)
            if (text.Find(FormatDeviceLine(*e)) < 0)
                left.push_back(e->displayName.GetString());
        ASSERT_FALSE(left.empty());
        EXPECT_EQ(left.back(), L"Test Camera");
        auto named = [&](const std::wstring& source) {
            const std::vector<std::wstring> lines = dlg.LogLines();
            return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& l) {
                return l.find(L"[" + source + L"]") != std::wstring::npos && l.find(L"511") != std::wstring::npos;
            });
        };
        for (const std::wstring& source : left)
            EXPECT_TRUE(named(source)) << quiva::WideToUtf8(source);
        EXPECT_FALSE(named(dlg.Capture().GetEntry(0)->displayName.GetString()));

        dlg.Click(IDC_CHECK_DVD);
        EXPECT_TRUE(named(L"CD-ROM"));
    });
}

TEST_F(DeviceManager, OnlyGraphFilesAreDeletedAndTheShownOneIsStoppedFirst)
{
    const CString graph = CameraGraph("camera.grf");
    Run([&](ScriptedManager& dlg) {
        // A device: refused with the box, nothing changes.
        HTREEITEM camera = dlg.FindItem(dlg.m_hSearched, L"Test Camera");
        dlg.ClickItem(camera);
        const int before = dlg.Capture().GetDeviceCount();
        BoxAnswer box;
        AnswerNextBox(&box, dlg.m_hWnd);
        dlg.Click(IDC_BUTTON_DELETE);
        EXPECT_EQ(box.caption, L"선택오류");
        EXPECT_EQ(before, dlg.Capture().GetDeviceCount());
        EXPECT_EQ(dlg.Panel().m_pCurrentEntry, dlg.EntryOf(camera));

        quiva::ui::SetFileDialogAnswer([&](const OPENFILENAMEW&, bool) { return std::optional<std::wstring>(graph.GetString()); });
        dlg.Click(IDC_BUTTON_IMPORT);
        HTREEITEM file = dlg.FindItem(dlg.m_hGraphFiles, L"camera");
        dlg.ClickItem(file);
        ASSERT_TRUE(dlg.Capture().m_bRunning);
        dlg.Click(IDC_BUTTON_DELETE);
        EXPECT_EQ(before, dlg.Capture().GetDeviceCount());
        EXPECT_TRUE(dlg.Children(dlg.m_hGraphFiles).empty());
        EXPECT_EQ(dlg.Panel().m_pCurrentEntry, nullptr);
        EXPECT_EQ(dlg.Panel().m_boxes.GetSize(), 0);
        EXPECT_FALSE(dlg.Panel().m_bRunning);
        EXPECT_EQ(dlg.Capture().m_bRunning, 0);
        EXPECT_EQ(dlg.Capture().GetCurrentEntry(), nullptr);
        // The file itself stays.
        EXPECT_TRUE(PathFileExistsW(graph));
    });
}

// With the shown graph deleted there is nothing to start: "시작" stays off, and a press on it
// turns nothing to running.
TEST_F(DeviceManager, AfterTheShownGraphIsDeletedStartHasNothingToStart)
{
    const CString graph = CameraGraph("camera.grf");
    Run([&](ScriptedManager& dlg) {
        quiva::ui::SetFileDialogAnswer([&](const OPENFILENAMEW&, bool) { return std::optional<std::wstring>(graph.GetString()); });
        dlg.Click(IDC_BUTTON_IMPORT);
        dlg.ClickItem(dlg.FindItem(dlg.m_hGraphFiles, L"camera"));
        ASSERT_TRUE(dlg.Panel().m_bRunning);
        dlg.Click(IDC_BUTTON_DELETE);
        ASSERT_EQ(dlg.Panel().m_pCurrentEntry, nullptr);
        const CKXCtrlButton& start = dlg.Panel().m_startButton;
        const CKXCtrlButton& stop = dlg.Panel().m_stopButton;
        EXPECT_FALSE(start.enabled);
        EXPECT_FALSE(stop.enabled);

        POINT p{static_cast<int>(start.x + start.width / 2), static_cast<int>(start.y + start.height / 2)};
        ::ClientToScreen(dlg.Host().m_hWnd, &p);
        InjectClick(p.x, p.y);
        PumpPending();
        EXPECT_FALSE(dlg.Panel().m_bRunning);
        EXPECT_FALSE(start.enabled);
        EXPECT_FALSE(stop.enabled);
        EXPECT_EQ(dlg.Capture().m_bRunning, 0);

        // Choosing a source again makes both buttons work as before.
        dlg.ClickItem(dlg.FindItem(dlg.m_hSearched, L"Test Camera"));
        EXPECT_TRUE(dlg.Panel().m_bRunning);
        EXPECT_FALSE(start.enabled);
        EXPECT_TRUE(stop.enabled);
    });
}

TEST_F(DeviceManager, TheDvdBoxShowsAndHidesOneEntryAndDecidesTheSavedList)
{
    Run([&](ScriptedManager& dlg) {
        EXPECT_FALSE(dlg.m_bDvd);
        EXPECT_TRUE(dlg.Children(dlg.m_hExtension).empty());
        dlg.Click(IDC_CHECK_DVD);
        EXPECT_EQ(dlg.Children(dlg.m_hExtension), std::vector<std::wstring>{L"CD-ROM"});
        _KXMCaptureDeviceInfo* dvd = dlg.EntryOf(dlg.m_tree.GetChildItem(dlg.m_hExtension));
        ASSERT_TRUE(dvd);
        const int count = dlg.Capture().GetDeviceCount();

        dlg.Click(IDC_CHECK_DVD);
        EXPECT_TRUE(dlg.Children(dlg.m_hExtension).empty());
        dlg.Click(IDC_BUTTON_SAVE);
        EXPECT_EQ(std::string::npos, quiva::test::ReadAll("QUIVACapture.GraphList").find("Extension"));
        EXPECT_EQ(count, dlg.Capture().GetDeviceCount());  // listed until the program ends

        dlg.Click(IDC_CHECK_DVD);
        EXPECT_EQ(dvd, dlg.EntryOf(dlg.m_tree.GetChildItem(dlg.m_hExtension)));
        EXPECT_EQ(count, dlg.Capture().GetDeviceCount());
        dlg.Click(IDC_BUTTON_SAVE);
        EXPECT_NE(std::string::npos, quiva::test::ReadAll("QUIVACapture.GraphList").find("Extension"));
    });
}

// A press at a client point of `window`, a move along to another (beyond it, too) and the release there.
void Drag(HWND window, POINT from, POINT to)
{
    ::ClientToScreen(window, &from);
    ::ClientToScreen(window, &to);
    quiva::ui::InjectMouseMove(from.x, from.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, from.x, from.y);
    quiva::ui::InjectMouseMove((from.x + to.x) / 2, to.y);
    quiva::ui::InjectMouseMove(to.x, to.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, to.x, to.y);
}

// A source name wider than the tree can be read whole: the tree shows a scroll bar along its
// bottom, and dragging its thumb to the right brings the end of the name into view.
TEST_F(DeviceManager, ALongSourceNameIsReadByScrollingTheTreeSideways)
{
    UseDevices("camera \"Endoscope Camera Of A Model Whose Name Is Far Too Long For The Tree\"\n");
    Run([&](ScriptedManager& dlg) {
        HTREEITEM item = dlg.Children(dlg.m_hSearched).empty() ? nullptr : dlg.m_tree.GetChildItem(dlg.m_hSearched);
        ASSERT_TRUE(item);
        HWND tree = dlg.m_tree.m_hWnd;
        RECT client{};
        ::GetClientRect(tree, &client);
        // The right-most column of the item's row holding text (dark pixels), -1 when none.
        auto textEnd = [&] {
            RECT row{};
            EXPECT_TRUE(dlg.m_tree.GetItemRect(item, &row, TRUE));
            int end = -1;
            PumpPending();
            quiva::ui::PaintWindowSurface(tree, [&](quiva::Surface& surface, POINT origin, RECT) {
                for (int y = row.top; y < row.bottom; ++y)
                    for (int x = 0; x < client.right; ++x) {
                        const uint32_t p = surface.At(origin.x + x, origin.y + y);
                        if (((p >> 16) & 0xFF) < 0x80 && ((p >> 8) & 0xFF) < 0x80 && (p & 0xFF) < 0x80)
                            end = std::max(end, x);
                    }
            });
            return end;
        };
        // Cut at the tree's right edge.
        ASSERT_GE(textEnd(), client.right - 4);

        Drag(tree, {client.left + 4, client.bottom - 8}, {client.right + 300, client.bottom - 8});
        PumpPending();
        const int end = textEnd();
        EXPECT_GT(end, client.right / 2);
        EXPECT_LT(end, client.right - 2);
        // The drag selected nothing.
        EXPECT_EQ(dlg.m_tree.GetSelectedItem(), nullptr);
    });
}

// The log's lines of a source with a long name are cut at the log's right edge: a drag along
// the bar at the log's foot scrolls them sideways until their ends are in view.
TEST_F(DeviceManager, ALongLogLineIsReadByScrollingTheLogSideways)
{
    UseDevices("camera \"Endoscope Camera Of A Model Whose Name Is Far Too Long For The Tree And For The Log\"\n");
    Run([&](ScriptedManager& dlg) {
        HTREEITEM item = dlg.Children(dlg.m_hSearched).empty() ? nullptr : dlg.m_tree.GetChildItem(dlg.m_hSearched);
        ASSERT_TRUE(item);
        dlg.ClickItem(item);
        const CKXCtrlWndMessage& log = dlg.Panel().m_log;
        ASSERT_GE(log.m_lines.GetSize(), 1);
        ASSERT_NE(std::wstring(log.m_lines[0].GetString()).find(L"For The Log]"), std::wstring::npos);
        HWND host = dlg.Host().m_hWnd;
        const float scale = dlg.Host().renderHint.scale;
        auto at = [&](float lx, float ly) {
            return POINT{static_cast<int>(lx * scale), static_cast<int>(ly * scale)};
        };
        // The light (text) pixels of the lines shown, left of the vertical bar and above the
        // foot of the log, row by row.
        const POINT first = at(log.x + 6.0f, log.y + 6.0f), last = at(log.x + log.width - 17.0f, log.y + log.height - 17.0f);
        auto text = [&] {
            PumpPending();
            std::vector<std::string> rows;
            quiva::ui::PaintWindowSurface(host, [&](quiva::Surface& surface, POINT origin, RECT) {
                for (int y = first.y; y < last.y; ++y) {
                    std::string row;
                    for (int x = first.x; x < last.x; ++x) {
                        const uint32_t p = surface.At(origin.x + x, origin.y + y);
                        row += ((p >> 16) & 0xFF) > 0x80 && ((p >> 8) & 0xFF) > 0x80 && (p & 0xFF) > 0x80 ? '#' : '.';
                    }
                    rows.push_back(row);
                }
            });
            return rows;
        };
        // The right-most column holding text.
        auto end = [&](const std::vector<std::string>& rows) {
            int column = -1;
            for (const std::string& row : rows)
                column = std::max(column, static_cast<int>(row.find_last_of('#')));
            return first.x + column;
        };
        // Cut at the right edge.
        const std::vector<std::string> before = text();
        ASSERT_GE(end(before), last.x - 12);

        Drag(host, at(log.x + 20.0f, log.y + log.height - 8.0f), at(log.x + log.width + 300.0f, log.y + log.height - 8.0f));
        // The lines moved left, their ends now clear of the edge.
        const std::vector<std::string> after = text();
        EXPECT_TRUE(after != before) << "the lines did not move";
        EXPECT_GT(end(after), last.x / 2);
        EXPECT_LT(end(after), last.x - 4);
    });
}

// The DVD box shows a tick when on, not a filled square; off, its box is empty.
TEST_F(DeviceManager, TheDvdBoxIsTickedWhenOn)
{
    Run([&](ScriptedManager& dlg) {
        HWND box = dlg.Item(IDC_CHECK_DVD);
        // Dark pixels of the box's inside (the 7 x 7 square within its frame), row by row.
        auto inside = [&] {
            std::vector<std::string> rows;
            RECT r{};
            ::GetClientRect(box, &r);
            const int top = (r.bottom - r.top - 13) / 2;
            quiva::ui::PaintWindowSurface(box, [&](quiva::Surface& surface, POINT origin, RECT) {
                for (int y = top + 3; y < top + 10; ++y) {
                    std::string row;
                    for (int x = 3; x < 10; ++x)
                        row += (surface.At(origin.x + x, origin.y + y) & 0xFF) < 0x80 ? '#' : '.';
                    rows.push_back(row);
                }
            });
            return rows;
        };
        auto dark = [](const std::vector<std::string>& rows) {
            int n = 0;
            for (const std::string& row : rows)
                n += static_cast<int>(std::count(row.begin(), row.end(), '#'));
            return n;
        };
        PumpPending();
        EXPECT_EQ(dark(inside()), 0) << ::testing::PrintToString(inside());
        dlg.Click(IDC_CHECK_DVD);
        ASSERT_TRUE(dlg.m_bDvd);
        PumpPending();
        const std::vector<std::string> ticked = inside();
        // A tick: a stroke down to the bottom middle and up to the top right; the top left and
        // the bottom right corners stay light.
        EXPECT_GT(dark(ticked), 6) << ::testing::PrintToString(ticked);
        EXPECT_LT(dark(ticked), 30) << ::testing::PrintToString(ticked);
        EXPECT_EQ(ticked.front().front(), '.') << ::testing::PrintToString(ticked);
        EXPECT_EQ(ticked.back().back(), '.') << ::testing::PrintToString(ticked);
        EXPECT_EQ(ticked.front().back(), '#') << ::testing::PrintToString(ticked);
    });
}

// The About box opens over the manager's middle, not at the screen's corner.
TEST_F(DeviceManager, TheAboutBoxOpensFromTheWindowMenu)
{
    Run([&](ScriptedManager& dlg) {
        ::SetWindowPos(dlg.m_hWnd, nullptr, 200, 150, 900, 560, SWP_NOZORDER | SWP_NOACTIVATE);
        BoxAnswer box;
        box.textId = IDOK;
        AnswerNextBox(&box, dlg.m_hWnd);
        OpenAboutBox();
        PumpPending();
        EXPECT_EQ(box.caption, L"QUIVACaptureManager 정보");
        EXPECT_EQ(box.text, L"확인");
        EXPECT_TRUE(IsWindowEnabled(dlg.m_hWnd));
        RECT manager{};
        GetWindowRect(dlg.m_hWnd, &manager);
        EXPECT_GT(box.where.right, box.where.left);
        EXPECT_NEAR((box.where.left + box.where.right) / 2, (manager.left + manager.right) / 2, 2);
        EXPECT_NEAR((box.where.top + box.where.bottom) / 2, (manager.top + manager.bottom) / 2, 2);
    });
}

// What the About box shows once painted: the colour of its face beside the icon, and how many
// pixels of the icon's square differ from that face.
struct AboutLook {
    HWND owner = nullptr;
    COLORREF face = 0;
    int iconPixels = -1;
};
AboutLook* g_about = nullptr;

void CALLBACK LookAtAbout(HWND, UINT, UINT_PTR id, DWORD)
{
    HWND box = GetActiveWindow();
    if (!g_about || !box || box == g_about->owner || GetUpdateRect(box, nullptr, FALSE))
        return;  // not up, or not painted yet
    HWND icon = GetDlgItem(box, 0xFFFF);  // the first of its static items: the icon
    if (!icon || GetUpdateRect(icon, nullptr, FALSE))
        return;
    KillTimer(nullptr, id);
    quiva::Surface* surface = quiva::ui::WindowSurface(box);
    RECT top{}, square{};
    GetWindowRect(box, &top);
    GetWindowRect(icon, &square);
    OffsetRect(&square, -top.left, -top.top);
    const uint32_t face = surface->At(square.left - 4, square.top);
    g_about->face = RGB((face >> 16) & 0xFF, (face >> 8) & 0xFF, face & 0xFF);
    g_about->iconPixels = 0;
    for (int y = square.top; y < square.bottom; ++y)
        for (int x = square.left; x < square.right; ++x)
            g_about->iconPixels += surface->At(x, y) != face;
    g_about = nullptr;
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
}

// The About box has a dialog's face, not black, and shows the program's icon.
TEST_F(DeviceManager, TheAboutBoxIsDrawnOnTheDialogFaceWithTheIcon)
{
    Run([&](ScriptedManager& dlg) {
        AboutLook look;
        look.owner = dlg.m_hWnd;
        g_about = &look;
        SetTimer(nullptr, 0, 50, LookAtAbout);
        OpenAboutBox();
        PumpPending();
        EXPECT_EQ(look.face, GetSysColor(COLOR_BTNFACE));
        EXPECT_GT(look.iconPixels, 100);
    });
}

TEST_F(DeviceManager, ResizingKeepsTheLayoutAndStopsAtTheMinimumSize)
{
    Run([&](ScriptedManager& dlg) {
        auto check = [&] {
            CRect client, tree, preview, host;
            dlg.GetClientRect(&client);
            auto rectOf = [&](HWND h) {
                CRect r;
                GetWindowRect(h, &r);
                MapWindowPoints(nullptr, dlg.m_hWnd, reinterpret_cast<POINT*>(&r), 2);
                return r;
            };
            tree = rectOf(dlg.m_tree.m_hWnd);
            preview = rectOf(dlg.Preview().m_hWnd);
            host = rectOf(dlg.Host().m_hWnd);
            EXPECT_EQ(preview.left, tree.left);
            EXPECT_EQ(preview.top, tree.bottom + 5);
            EXPECT_EQ(preview.Width(), tree.Width());
            EXPECT_EQ(preview.Height(), tree.Width() * 3 / 4);
            EXPECT_EQ(tree.bottom, client.bottom - preview.Height() - 15);
            EXPECT_EQ(host.left, tree.right + 5);
            EXPECT_EQ(host.top, tree.top);
            EXPECT_EQ(host.right, client.right);
            EXPECT_EQ(host.bottom, client.bottom);
        };
        check();
        dlg.SetWindowPos(nullptr, 0, 0, 1200, 900, SWP_NOMOVE | SWP_NOZORDER);
        PumpPending();
        check();
        // Dragging the corner far in stops at 640 x 480.
        CRect w;
        dlg.GetWindowRect(&w);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, w.right - 2, w.bottom - 2);
        quiva::ui::InjectMouseMove(w.left + 100, w.top + 100);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, w.left + 100, w.top + 100);
        PumpPending();
        dlg.GetWindowRect(&w);
        EXPECT_EQ(w.Width(), 640);
        EXPECT_EQ(w.Height(), 480);
        check();
    });
}

TEST_F(DeviceManager, ClosingWithNothingChosenEndsTheDialog)
{
    INT_PTR result = Run([&](ScriptedManager& dlg) {
        const POINT p = dlg.CentreOf(dlg.Item(IDC_BUTTON_CLOSE));
        InjectClick(p.x, p.y);
        dlg.keepOpen = true;  // the click closes it
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(DeviceManager, MinimisedItPaintsItsIcon)
{
    Run([&](ScriptedManager& dlg) {
        dlg.ShowWindow(SW_MINIMIZE);
        PumpPending();
        EXPECT_TRUE(dlg.IsIconic());
        dlg.SendMessage(WM_PAINT);
        // The icon's blue screen beside the centre of the client area.
        CRect client;
        dlg.GetClientRect(&client);
        const POINT o = quiva::ui::ClientOriginInSurface(dlg.m_hWnd);
        const int x = (client.Width() - 32 + 1) / 2, y = (client.Height() - 32 + 1) / 2;
        EXPECT_EQ(quiva::ui::WindowSurface(dlg.m_hWnd)->At(o.x + x + 3, o.y + y + 16) & 0xFFFFFF, 0x2E6DB4u);
        dlg.ShowWindow(SW_RESTORE);
        PumpPending();
        EXPECT_FALSE(dlg.IsIconic());
    });
}

}  // namespace

namespace {

TEST(DeviceManagerOnX11, IsShownByTheServerWithTheChosenSourceRunning)
{
    quiva::test::X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 1280, 800);
    quiva::test::XvfbServer& xvfb = session.server();
    quiva::test::TempDir dir;
    const std::string old = std::filesystem::current_path().string();
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    quiva::media::SetSyntheticConfig(std::string("camera \"Test Camera\"\n"));
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"QUIVACaptureWnd";
    RegisterClassW(&wc);
    {
        ScriptedManager dlg([&](ScriptedManager& m) {
            m.ClickItem(m.FindItem(m.m_hSearched, L"Test Camera"));
            ASSERT_TRUE(m.Capture().m_bRunning);
            // The preview's middle as the server shows it: the synthetic picture, not black.
            POINT centre = m.CentreOf(m.Preview().m_hWnd);
            EXPECT_TRUE(quiva::test::PumpUntil([&] {
                xvfb.Sync();
                const unsigned long px = xvfb.ScreenPixel(centre.x, centre.y);
                return px != 0 && px != (GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
            }));
            const std::string pictures = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
            std::filesystem::create_directories(pictures);
            EXPECT_TRUE(xvfb.Screenshot(pictures + "/monitor-device-manager-x11.png"));
            m.Capture().Stop();

            // The title reaches the server as UTF-8, which window managers show as it is.
            const unsigned long xwin = quiva::ui::CurrentBackend().NativeHandle(m.m_hWnd);
            std::string type;
            EXPECT_EQ(xvfb.TextProperty(xwin, "_NET_WM_NAME", &type), "QUIVA 캡쳐장비 관리자");
            EXPECT_EQ(type, "UTF8_STRING");

            // A person opens the About box with Alt+Space, the arrow up and Enter.
            BoxAnswer about;
            AnswerNextBox(&about, m.m_hWnd);
            for (const char* key : {"Alt_L", "space"})
                xvfb.SendKey(xwin, key, true);
            for (const char* key : {"space", "Alt_L"})
                xvfb.SendKey(xwin, key, false);
            for (const char* key : {"Up", "Return"}) {
                xvfb.SendKey(xwin, key, true);
                xvfb.SendKey(xwin, key, false);
            }
            EXPECT_TRUE(quiva::test::PumpUntil([&] { return !about.caption.empty(); }));
            EXPECT_EQ(about.caption, L"QUIVACaptureManager 정보");
        });
        dlg.DoModal();
    }
    UnregisterClassW(L"QUIVACaptureWnd", nullptr);
    quiva::media::SetSyntheticConfig(std::nullopt);
    ASSERT_EQ(chdir(old.c_str()), 0);
}

}  // namespace
