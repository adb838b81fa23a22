#include <X11/cursorfont.h>

#include <clocale>
#include <string>

#include "platform/gdi/gdi.h"
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

// The system message box speaks the program's language: its button reads "확인", not "OK".
TEST(X11Backend, TheSystemMessageBoxButtonIsInKorean)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 800, 600);
    HWND owner = CreateWindowExW(WS_EX_APPWINDOW, L"Static", L"owner", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr,
                                 nullptr, nullptr, nullptr);
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
