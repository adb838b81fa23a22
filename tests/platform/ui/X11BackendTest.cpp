#include <X11/cursorfont.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <clocale>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/filedialogs.h"
#include "platform/ui/msgbox.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;

TEST(X11Backend, MapsPaintsAndTakesClicksFromTheServer)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    XvfbServer& xvfb = session.server();
    EXPECT_FALSE(quiva::ui::IsHeadless());
    EXPECT_EQ(GetSystemMetrics(SM_CXVIRTUALSCREEN), 800);

    static std::vector<POINT> clicks;
    clicks.clear();
    WNDCLASSW wc{};
    wc.style = CS_DBLCLKS;
    wc.lpszClassName = L"QuivaX11Test";
    wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_PAINT) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(h, &ps);
            RECT c;
            GetClientRect(h, &c);
            HBRUSH red = CreateSolidBrush(RGB(200, 0, 0));
            FillRect(dc, &c, red);
            DeleteObject(red);
            RECT b{20, 20, 60, 40};
            HBRUSH blue = CreateSolidBrush(RGB(0, 0, 220));
            FillRect(dc, &b, blue);
            DeleteObject(blue);
            EndPaint(h, &ps);
            return 0;
        }
        if (msg == WM_LBUTTONUP)
            clicks.push_back(POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return DefWindowProcW(h, msg, wp, lp);
    };
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND w = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11Test", L"x11", WS_POPUP | WS_VISIBLE, 100, 80, 200, 120,
                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    unsigned long xwin = quiva::ui::CurrentBackend().NativeHandle(w);
    ASSERT_NE(xwin, 0u);

    EXPECT_TRUE(PumpUntil([&] {
        xvfb.Sync();
        return xvfb.ScreenPixel(110, 90) == 0xC80000ul;
    }));
    EXPECT_EQ(xvfb.ScreenPixel(130, 105), 0x0000DCul);

    // A click delivered by the X server arrives as a window message in client coordinates.
    xvfb.SendClick(xwin, 40, 30, 140, 110);
    EXPECT_TRUE(PumpUntil([&] { return !clicks.empty(); }));
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].x, 40);
    EXPECT_EQ(clicks[0].y, 30);
    // The caret blinks over the window as an inverted bar, and goes with HideCaret.
    ASSERT_TRUE(CreateCaret(w, nullptr, 2, 20));
    SetCaretPos(150, 50);
    ShowCaret(w);
    EXPECT_TRUE(PumpUntil([&] { return xvfb.ScreenPixel(251, 140) == (0xFFFFFFul ^ 0xC80000ul); }));
    HideCaret(w);
    EXPECT_TRUE(PumpUntil([&] { return xvfb.ScreenPixel(251, 140) == 0xC80000ul; }));
    DestroyCaret();

    TempDir dir;
    EXPECT_TRUE(quiva::ui::WriteWindowPng(w, dir.Native("x11.png")));

    DestroyWindow(w);
    UnregisterClassW(L"QuivaX11Test", nullptr);
}

// The pointer takes the shape a window asks for (here its class cursor) while it is over it.
TEST(X11Backend, ThePointerShowsTheShapeTheWindowUnderItAsksFor)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    XvfbServer& xvfb = session.server();
    const std::vector<unsigned long> ibeam = xvfb.FontCursorImage(XC_xterm);
    const std::vector<unsigned long> sizing = xvfb.FontCursorImage(XC_sb_h_double_arrow);
    ASSERT_FALSE(ibeam.empty());
    ASSERT_NE(ibeam, sizing);

    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"QuivaX11Text";
    wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    ASSERT_TRUE(RegisterClassW(&wc));
    wc.lpszClassName = L"QuivaX11Sizing";
    wc.hCursor = LoadCursorW(nullptr, IDC_SIZEWE);
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND text = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11Text", L"text", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
    HWND split = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11Sizing", L"sizing", WS_POPUP | WS_VISIBLE, 400, 100, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(text, nullptr);
    ASSERT_NE(split, nullptr);

    // The pointer moves to and fro inside a window until its shape changes.
    int step = 0;
    auto shapeOver = [&](int x, int y, const std::vector<unsigned long>& wanted) {
        return PumpUntil([&] {
            xvfb.MovePointer(x + (++step % 2), y);
            return xvfb.PointerImage() == wanted;
        });
    };
    EXPECT_TRUE(shapeOver(200, 150, ibeam));
    EXPECT_TRUE(shapeOver(500, 150, sizing));
    EXPECT_TRUE(shapeOver(200, 150, ibeam));
    // A window shown after the shape was set shows it too, not the server's "X" cursor (with no
    // window manager to give windows one), though asking for the shape already set changes
    // nothing.
    HWND later = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11Text", L"later", WS_POPUP | WS_VISIBLE, 100, 300, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    EXPECT_TRUE(shapeOver(200, 350, ibeam));
    DestroyWindow(later);

    DestroyWindow(text);
    DestroyWindow(split);
    UnregisterClassW(L"QuivaX11Text", nullptr);
    UnregisterClassW(L"QuivaX11Sizing", nullptr);
}

// A window that goes from under the pointer leaves the pointer's shape to the window it
// uncovers, though the pointer does not move: the I-beam that a closed dialog's edit asked for
// does not stay over the window beneath.
TEST(X11Backend, AWindowGoneFromUnderThePointerLeavesTheShapeToTheWindowBelow)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    XvfbServer& xvfb = session.server();
    const std::vector<unsigned long> ibeam = xvfb.FontCursorImage(XC_xterm);
    const std::vector<unsigned long> arrow = xvfb.FontCursorImage(XC_left_ptr);
    ASSERT_NE(ibeam, arrow);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"QuivaX11Below";
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_TRUE(RegisterClassW(&wc));
    wc.lpszClassName = L"QuivaX11Edit";
    wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND below = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11Below", L"below", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300,
                                 nullptr, nullptr, nullptr, nullptr);
    HWND dialog = CreateWindowExW(0, L"QuivaX11Edit", L"dialog", WS_POPUP | WS_VISIBLE, 200, 150, 200, 100, below, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(dialog, nullptr);
    int step = 0;
    auto shapeOver = [&](int x, int y, const std::vector<unsigned long>& wanted) {
        return PumpUntil([&] {
            xvfb.MovePointer(x + (++step % 2), y);
            return xvfb.PointerImage() == wanted;
        });
    };
    EXPECT_TRUE(shapeOver(150, 350, arrow));
    EXPECT_TRUE(shapeOver(300, 200, ibeam));
    // Every move of the pointer handled: nothing but the window's going may change the shape.
    xvfb.Sync();
    PumpUntil([] { return quiva::ui::PumpPending() == 0; });
    xvfb.Sync();
    PumpUntil([] { return quiva::ui::PumpPending() == 0; });
    ASSERT_EQ(xvfb.PointerImage(), ibeam);
    DestroyWindow(dialog);
    EXPECT_TRUE(PumpUntil([&] { return xvfb.PointerImage() == arrow; }));

    DestroyWindow(below);
    UnregisterClassW(L"QuivaX11Below", nullptr);
    UnregisterClassW(L"QuivaX11Edit", nullptr);
}

// In a UTF-8 locale the window system uses the X input method; the text being composed is to
// show at the caret of the focused control: the input context's spot follows the caret, in the
// top-level window's coordinates, on its bottom left corner (where the text's baseline runs).
// (Xvfb has no input method server that draws a composition itself; the spot is read back from
// the input context the window system gave it to.)
TEST(X11Backend, TheInputMethodIsToldTheCaretsSpot)
{
    struct Locale {
        std::string before = std::setlocale(LC_CTYPE, nullptr);
        ~Locale() { std::setlocale(LC_CTYPE, before.c_str()); }
    } locale;
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    {
        X11Session session;
        QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
        HWND top = CreateWindowExW(WS_EX_APPWINDOW, L"Static", L"ime", WS_POPUP | WS_VISIBLE, 100, 80, 400, 300, nullptr,
                                   nullptr, nullptr, nullptr);
        HWND edit = CreateWindowExW(0, L"Static", L"", WS_CHILD | WS_VISIBLE, 30, 40, 300, 30, top, nullptr, nullptr, nullptr);
        ASSERT_NE(edit, nullptr);
        POINT spot{-1, -1};
        if (!quiva::ui::CurrentBackend().InputMethodSpot(top, &spot))
            GTEST_SKIP() << "the X server offers no input method in this locale";
        ASSERT_TRUE(CreateCaret(edit, nullptr, 1, 18));
        auto spotComesTo = [&](POINT want) {
            return PumpUntil([&] {
                return quiva::ui::CurrentBackend().InputMethodSpot(top, &spot) && spot.x == want.x && spot.y == want.y;
            });
        };
        SetCaretPos(5, 6);
        POINT o = quiva::ui::ClientOriginInSurface(edit);
        EXPECT_TRUE(spotComesTo(POINT{o.x + 5, o.y + 6 + 18})) << spot.x << "," << spot.y;
        // Typing moves the caret: the spot goes with it, also while the caret is hidden.
        HideCaret(edit);
        SetCaretPos(57, 6);
        EXPECT_TRUE(spotComesTo(POINT{o.x + 57, o.y + 6 + 18})) << spot.x << "," << spot.y;
        DestroyCaret();
        DestroyWindow(top);
    }
}

namespace {

// A shown application window at (100, 100) for the system's dialogs to belong to.
HWND DialogOwner(int width, int height)
{
    return CreateWindowExW(WS_EX_APPWINDOW, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 100, 100, width, height, nullptr,
                           nullptr, nullptr, nullptr);
}

// Runs the file dialog over `owner` on an empty folder until it is closed (what it answers).
BOOL OpenFileDialogOver(HWND owner)
{
    TempDir dir;
    const std::wstring folder = dir.Win().GetString();
    wchar_t file[260] = L"*.grf";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = owner;
    ofn.lpstrFile = file;
    ofn.nMaxFile = 260;
    ofn.lpstrInitialDir = folder.c_str();
    return GetOpenFileNameW(&ofn);
}

}  // namespace

// The system message box speaks the program's language: its button reads "확인", not "OK".
TEST(X11Backend, TheSystemMessageBoxButtonIsInKorean)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    HWND owner = DialogOwner(400, 300);
    ASSERT_NE(owner, nullptr);
    // Read from inside the box's own loop, then answered.
    static std::wstring button;
    button.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND box = GetActiveWindow();
        HWND ok = box ? GetDlgItem(box, IDOK) : nullptr;
        if (!ok)
            return;
        wchar_t text[64] = {};
        GetWindowTextW(ok, text, 64);
        button = text;
        PostMessageW(box, WM_CLOSE, 0, 0);
    });
    EXPECT_EQ(MessageBoxW(owner, L"외부 그래프파일만 삭제할 수 있습니다.", L"선택오류", MB_OK), IDOK);
    KillTimer(nullptr, timer);
    EXPECT_EQ(button, L"확인");
    DestroyWindow(owner);
}

namespace {

constexpr unsigned long kCaptionColour = 0x99B4D1;  // the window system's active caption
constexpr unsigned long kDialogFace = 0xF0F0F0;     // the background of its dialogs
constexpr unsigned long kFieldEdge = 0x707070;      // the frame of the file dialog's name field
constexpr int kTopRows = 100;

bool Dark(unsigned long p) { return ((p >> 16) & 0xFF) < 0x80 && ((p >> 8) & 0xFF) < 0x80 && (p & 0xFF) < 0x80; }

// The top rows of a dialog's client area as the server shows them, read from inside the
// dialog's own loop once it is on the screen; the dialog is closed then (or after a minute).
struct DialogTop {
    XvfbServer* server = nullptr;
    HWND owner = nullptr;
    std::chrono::steady_clock::time_point giveUp{};
    bool seen = false;
    int width = 0;
    int rows = 0;                       // kTopRows at most
    std::vector<unsigned long> pixels;  // `rows` rows of `width`

    unsigned long At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
    // Rows from the top in the caption's colour at the left edge: the title's band.
    int Band() const
    {
        int band = 0;
        while (band < rows && At(2, band) == kCaptionColour)
            ++band;
        return band;
    }
    int DarkPixels(int fromRow, int toRow) const
    {
        int n = 0;
        for (int y = fromRow; y < toRow; ++y)
            for (int x = 0; x < width; ++x)
                n += Dark(At(x, y)) ? 1 : 0;
        return n;
    }
};

DialogTop g_dialogTop;

void CALLBACK LookAtTheDialog(HWND, UINT, UINT_PTR, DWORD)
{
    DialogTop& t = g_dialogTop;
    if (t.seen)
        return;
    // The dialog: the shown window the owner owns (whichever window is active).
    HWND dialog = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM found) -> BOOL {
            if (GetWindow(hwnd, GW_OWNER) != g_dialogTop.owner || !IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(found) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&dialog));
    if (!dialog)
        return;
    RECT client{};
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    t.width = client.right;
    t.rows = std::min<int>(kTopRows, client.bottom);
    t.pixels = t.server->ScreenPixels(origin.x, origin.y, t.width, t.rows);
    // An X window is black until its surface is put there.
    const bool shown = !t.pixels.empty() && (t.At(2, 2) == kCaptionColour || t.At(2, 2) == kDialogFace);
    if (!shown && std::chrono::steady_clock::now() < t.giveUp)
        return;
    t.seen = shown;
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

// With no window manager to show a window's title, the message box and the file dialogs show
// theirs in a band across their top, and lay out the rest below it.
TEST(X11Backend, TheSystemDialogsShowTheirTitleWhenNoWindowManagerDoes)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 1024, 768);
    HWND owner = DialogOwner(600, 500);
    ASSERT_NE(owner, nullptr);
    auto look = [&] {
        g_dialogTop = DialogTop{};
        g_dialogTop.server = &session.server();
        g_dialogTop.owner = owner;
        g_dialogTop.giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        return SetTimer(nullptr, 0, 50, LookAtTheDialog);
    };

    UINT_PTR timer = look();
    EXPECT_EQ(MessageBoxW(owner, L"외부 그래프파일만 삭제할 수 있습니다.", L"선택오류", MB_OK), IDOK);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(g_dialogTop.seen);
    const int boxBand = g_dialogTop.Band();
    EXPECT_GE(boxBand, 16);
    EXPECT_GT(g_dialogTop.DarkPixels(0, boxBand), 20) << "the band shows no title";
    // The message starts below the band rather than under it.
    EXPECT_GT(g_dialogTop.DarkPixels(boxBand, g_dialogTop.rows), 20) << "the message is not below the band";

    timer = look();
    EXPECT_FALSE(OpenFileDialogOver(owner));
    KillTimer(nullptr, timer);
    ASSERT_TRUE(g_dialogTop.seen);
    const int dialogBand = g_dialogTop.Band();
    EXPECT_GE(dialogBand, 16);
    EXPECT_GT(g_dialogTop.DarkPixels(0, dialogBand), 20) << "the band shows no title";
    // The folder line and the name field keep their places, below the band.
    int fieldTop = dialogBand;
    while (fieldTop < g_dialogTop.rows && g_dialogTop.At(12, fieldTop) != kFieldEdge)
        ++fieldTop;
    EXPECT_EQ(fieldTop, dialogBand + 30);
    EXPECT_GT(g_dialogTop.DarkPixels(dialogBand, fieldTop), 20) << "the folder line is not below the band";
    DestroyWindow(owner);
}

namespace {

// What a dialog of the window system is to the X server, read from inside the dialog's own loop
// once it is active; the dialog is closed then.
struct DialogAtTheServer {
    XvfbServer* server = nullptr;
    HWND owner = nullptr;
    bool seen = false;
    bool overrideRedirect = true;
    std::string windowClass;
} g_atTheServer;

// Whether the server knows a window the window system made (on a connection of its own, whose
// requests the server may not have read yet); asked through another program, as a window it
// does not know would end this one.
bool KnownToTheServer(XvfbServer& server, HWND hwnd)
{
    return server.Xdotool("getwindowname " + std::to_string(quiva::ui::CurrentBackend().NativeHandle(hwnd))) == 0;
}

void CALLBACK LookAtTheServer(HWND, UINT, UINT_PTR, DWORD)
{
    DialogAtTheServer& t = g_atTheServer;
    // The dialog: the shown window the owner owns.
    HWND dialog = nullptr;
    EnumWindows(
        [](HWND hwnd, LPARAM found) -> BOOL {
            if (GetWindow(hwnd, GW_OWNER) != g_atTheServer.owner || !IsWindowVisible(hwnd))
                return TRUE;
            *reinterpret_cast<HWND*>(found) = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&dialog));
    if (t.seen || !dialog || !KnownToTheServer(*t.server, dialog))
        return;
    const unsigned long xwin = quiva::ui::CurrentBackend().NativeHandle(dialog);
    t.seen = true;
    t.overrideRedirect = t.server->OverrideRedirect(xwin);
    std::string type;
    t.windowClass = t.server->TextProperty(xwin, "WM_CLASS", &type);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
}

}  // namespace

// The system's message box and file dialogs are for a window manager to frame with a title bar
// and move (not override-redirect), as their owner is; a drop-down window alone is left to
// itself. Every top-level window names the program and its class (WM_CLASS).
TEST(X11Backend, TheSystemDialogsAreTheWindowManagersAndWindowsNameTheirClass)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 1024, 768);
    XvfbServer& xvfb = session.server();
    const std::string program = program_invocation_short_name;
    HWND owner = DialogOwner(600, 500);
    ASSERT_NE(owner, nullptr);
    HWND dropDown = CreateWindowExW(WS_EX_TOOLWINDOW, L"Static", L"", WS_POPUP, 120, 120, 100, 100, owner, nullptr,
                                    nullptr, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return KnownToTheServer(xvfb, owner) && KnownToTheServer(xvfb, dropDown); }));
    std::string type;
    EXPECT_EQ(xvfb.TextProperty(quiva::ui::CurrentBackend().NativeHandle(owner), "WM_CLASS", &type),
              program + std::string("\0Static\0", 8));
    EXPECT_FALSE(xvfb.OverrideRedirect(quiva::ui::CurrentBackend().NativeHandle(owner)));
    EXPECT_TRUE(xvfb.OverrideRedirect(quiva::ui::CurrentBackend().NativeHandle(dropDown)));
    DestroyWindow(dropDown);

    auto look = [&] {
        g_atTheServer = DialogAtTheServer{};
        g_atTheServer.server = &xvfb;
        g_atTheServer.owner = owner;
        return SetTimer(nullptr, 0, 50, LookAtTheServer);
    };
    UINT_PTR timer = look();
    MessageBoxW(owner, L"외부 그래프파일만 삭제할 수 있습니다.", L"선택오류", MB_OK);
    KillTimer(nullptr, timer);
    ASSERT_TRUE(g_atTheServer.seen);
    EXPECT_FALSE(g_atTheServer.overrideRedirect);
    EXPECT_EQ(g_atTheServer.windowClass, program + std::string("\0QuivaDialog\0", 13));

    timer = look();
    EXPECT_FALSE(OpenFileDialogOver(owner));
    KillTimer(nullptr, timer);
    ASSERT_TRUE(g_atTheServer.seen);
    EXPECT_FALSE(g_atTheServer.overrideRedirect);
    DestroyWindow(owner);
}

// A window manager shows the titles while its check window (named on the root window) names
// itself; a name left behind by one that went does not count, and reading it ends nothing.
TEST(X11Backend, TitlesAreLeftToAWindowManagerOnlyWhileOneRuns)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    XvfbServer& xvfb = session.server();
    quiva::ui::Backend& display = quiva::ui::CurrentBackend();
    EXPECT_FALSE(display.ShowsTitles());

    const unsigned long check = xvfb.OpenFocusedWindow(0, 0, 10, 10);
    ASSERT_NE(check, 0u);
    xvfb.PutWindowProperty(xvfb.Root(), "_NET_SUPPORTING_WM_CHECK", check);
    EXPECT_FALSE(display.ShowsTitles()) << "the check window does not name itself";
    xvfb.PutWindowProperty(check, "_NET_SUPPORTING_WM_CHECK", check);
    EXPECT_TRUE(display.ShowsTitles());
    xvfb.DestroyOwnWindow(check);
    EXPECT_FALSE(display.ShowsTitles()) << "the check window is gone";

    std::string why;
    if (!xvfb.StartWindowManager(&why)) {
        if (XvfbServer::Required())
            FAIL() << why;
        GTEST_SKIP() << why;
    }
    // The window manager names its check window on the root window before it names itself.
    EXPECT_TRUE(PumpUntil([&] { return display.ShowsTitles(); }));
}

namespace {

// Space as the focused window and a low-level keyboard hook see it.
struct SpaceSeen {
    int downs = 0;    // key-downs of a key that was up
    int repeats = 0;  // key-downs of a key already down (bit 30)
    int ups = 0;
    int hookDowns = 0;
    int hookUps = 0;
    HHOOK hook = nullptr;
} g_space;

LRESULT CALLBACK CountSpaceInHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam)->vkCode == VK_SPACE)
        ++(wParam == WM_KEYDOWN ? g_space.hookDowns : g_space.hookUps);
    return CallNextHookEx(g_space.hook, code, wParam, lParam);
}

}  // namespace

// Space held down while the server repeats it (its auto-repeat on) comes as key-downs, each
// after the first marked as a repeat, and one key-up when it is released: so the focused window
// and a hook see it.
TEST(X11Backend, AKeyHeldDownRepeatsAsKeyDownsAndIsReleasedOnce)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    XvfbServer& xvfb = session.server();
    g_space = SpaceSeen{};
    WNDCLASSW wc{};
    wc.lpszClassName = L"QuivaX11Keys";
    wc.lpfnWndProc = [](HWND h, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_KEYDOWN && wp == VK_SPACE)
            ++((lp & (1 << 30)) ? g_space.repeats : g_space.downs);
        if (msg == WM_KEYUP && wp == VK_SPACE)
            ++g_space.ups;
        return DefWindowProcW(h, msg, wp, lp);
    };
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND w = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11Keys", L"keys", WS_POPUP | WS_VISIBLE, 100, 80, 200, 120, nullptr,
                             nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    const unsigned long xwin = quiva::ui::CurrentBackend().NativeHandle(w);
    xvfb.Xdotool("windowfocus --sync " + std::to_string(xwin));
    EXPECT_TRUE(PumpUntil([&] { return xvfb.FocusedWindow() == xwin && GetFocus() == w; }));
    g_space.hook = SetWindowsHookExW(WH_KEYBOARD_LL, CountSpaceInHook, nullptr, 0);

    ASSERT_TRUE(xvfb.HearKeyRepeatsAt(xwin));
    const int before = xvfb.KeyPressesAt(xwin);
    xvfb.Xdotool("keydown space");
    EXPECT_TRUE(PumpUntil([&] { return xvfb.KeyPressesAt(xwin) > before + 5; }));
    xvfb.Xdotool("keyup space");
    EXPECT_TRUE(PumpUntil([&] { return g_space.ups > 0; }));
    const int presses = xvfb.KeyPressesAt(xwin) - before;
    EXPECT_EQ(g_space.downs, 1);
    EXPECT_EQ(g_space.repeats, presses - 1);
    EXPECT_EQ(g_space.ups, 1);
    EXPECT_EQ(g_space.hookDowns, presses);
    EXPECT_EQ(g_space.hookUps, 1);

    UnhookWindowsHookEx(g_space.hook);
    DestroyWindow(w);
    UnregisterClassW(L"QuivaX11Keys", nullptr);
}
