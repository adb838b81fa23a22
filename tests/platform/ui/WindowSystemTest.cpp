#include <atomic>
#include <fstream>
#include <thread>

#include "platform/base/clock.h"
#include "platform/gdi/gdi.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TempDir.h"

using namespace quiva::test;
using quiva::ui::ButtonLeft;
using quiva::ui::ButtonRight;

namespace {
using WindowSystem = UiTest;

}  // namespace

TEST_F(WindowSystem, CreationAndDestructionSendTheirMessagesInOrder)
{
    EXPECT_EQ(CreateWindowExW(0, L"NoSuchClass", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(CreateWindowExW(0, L"QuivaTestWnd", L"", WS_CHILD, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);

    HWND top = Top(100, 100, 300, 200);
    HWND child = Child(top, 10, 20, 50, 40);
    auto seq = Sequence(top);
    ASSERT_GE(seq.size(), 4u);
    EXPECT_EQ(seq[0], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(seq[1], static_cast<UINT>(WM_NCCALCSIZE));
    EXPECT_EQ(seq[2], static_cast<UINT>(WM_CREATE));
    EXPECT_EQ(GetParent(child), top);
    EXPECT_EQ(GetDlgCtrlID(child), 1);

    // A creation refused by WM_CREATE leaves no window.
    handlers[WM_CREATE] = [](HWND, WPARAM, LPARAM, bool*) -> LRESULT { return -1; };
    EXPECT_EQ(Top(0, 0, 10, 10), nullptr);
    handlers.clear();

    Clear();
    EXPECT_TRUE(DestroyWindow(top));
    std::vector<std::pair<HWND, UINT>> order;
    for (auto& r : log)
        if (r.msg == WM_DESTROY || r.msg == WM_NCDESTROY)
            order.push_back({r.hwnd, r.msg});
    std::vector<std::pair<HWND, UINT>> expected{
        {top, WM_DESTROY}, {child, WM_DESTROY}, {child, WM_NCDESTROY}, {top, WM_NCDESTROY}};
    EXPECT_EQ(order, expected);
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
    // Calls on a destroyed window are harmless.
    EXPECT_FALSE(InvalidateRect(top, nullptr, TRUE));
    EXPECT_EQ(SendMessageW(top, WM_USER, 0, 0), 0);
    EXPECT_FALSE(ShowWindow(top, SW_SHOW));
    RECT r;
    EXPECT_FALSE(GetClientRect(child, &r));
}

TEST_F(WindowSystem, ThickFrameHasASizingBorderAndHitCodes)
{
    HWND w = Top(100, 100, 400, 300, WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
    RECT c, wr;
    GetClientRect(w, &c);
    GetWindowRect(w, &wr);
    EXPECT_EQ(c.right, 400 - 8);
    EXPECT_EQ(c.bottom, 300 - 8);
    POINT o{0, 0};
    ClientToScreen(w, &o);
    EXPECT_EQ(o.x, 104);
    EXPECT_EQ(o.y, 104);
    auto hit = [&](int x, int y) { return SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
    EXPECT_EQ(hit(250, 250), HTCLIENT);
    EXPECT_EQ(hit(101, 250), HTLEFT);
    EXPECT_EQ(hit(498, 250), HTRIGHT);
    EXPECT_EQ(hit(250, 101), HTTOP);
    EXPECT_EQ(hit(250, 398), HTBOTTOM);
    EXPECT_EQ(hit(101, 101), HTTOPLEFT);
    EXPECT_EQ(hit(498, 398), HTBOTTOMRIGHT);
    EXPECT_EQ(hit(50, 50), HTNOWHERE);

    // Children are placed in their parent's client coordinates and found by WindowFromPoint.
    HWND child = Child(w, 10, 10, 100, 50);
    GetWindowRect(child, &wr);
    EXPECT_EQ(wr.left, 114);
    EXPECT_EQ(wr.top, 114);
    EXPECT_EQ(WindowFromPoint(POINT{120, 120}), child);
    EXPECT_EQ(WindowFromPoint(POINT{300, 300}), w);
    ShowWindow(child, SW_HIDE);
    EXPECT_EQ(WindowFromPoint(POINT{120, 120}), w);
}

TEST_F(WindowSystem, SendIsSynchronousAndReentrantPostIsQueuedInOrder)
{
    HWND w = Top(0, 0, 100, 100);
    int depth = 0, maxDepth = 0;
    handlers[WM_USER] = [&](HWND h, WPARAM wp, LPARAM, bool*) -> LRESULT {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        LRESULT r = wp > 0 ? SendMessageW(h, WM_USER, wp - 1, 0) + 1 : 100;
        --depth;
        return r;
    };
    EXPECT_EQ(SendMessageW(w, WM_USER, 3, 0), 103);
    EXPECT_EQ(maxDepth, 4);

    quiva::ui::PumpPending();
    Clear();
    PostMessageW(w, WM_USER + 1, 1, 0);
    PostMessageW(w, WM_USER + 2, 2, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, WM_USER + 2, WM_USER + 2, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1));
    PostQuitMessage(7);
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 2));
    EXPECT_FALSE(GetMessageW(&m, nullptr, 0, 0));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 7u);
}

TEST_F(WindowSystem, MouseInputHitTestsCapturesAndSynthesisesDoubleClicks)
{
    HWND a = Top(100, 100, 200, 200);
    HWND plain = Top(400, 100, 200, 200, WS_POPUP | WS_VISIBLE, false);
    quiva::ui::PumpPending();
    Clear();
    quiva::ui::InjectClick(150, 160);
    quiva::ui::InjectClick(150, 160);
    quiva::ui::PumpPending();
    auto downs = Of(a, WM_LBUTTONDOWN);
    ASSERT_EQ(downs.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(downs[0].lParam), 50);
    EXPECT_EQ(GET_Y_LPARAM(downs[0].lParam), 60);
    EXPECT_EQ(Count(a, WM_LBUTTONDBLCLK), 1u);
    EXPECT_EQ(Count(a, WM_LBUTTONUP), 2u);
    EXPECT_EQ(GetActiveWindow(), a);

    // Without CS_DBLCLKS the second press stays a press; far apart or late presses never pair.
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(450, 150);
    quiva::ui::InjectClick(450, 150);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(150, 150);
    quiva::ui::InjectPause(600);
    quiva::ui::InjectClick(150, 150);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(plain, WM_LBUTTONDOWN), 2u);
    EXPECT_EQ(Count(plain, WM_LBUTTONDBLCLK), 0u);
    EXPECT_EQ(Count(a, WM_LBUTTONDBLCLK), 1u);

    // The capture window gets every mouse message, in its own (possibly negative) coordinates.
    Clear();
    SetCapture(a);
    quiva::ui::InjectMouseMove(450, 150);
    quiva::ui::InjectMouseButton(ButtonRight, true, 50, 60);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(plain, WM_MOUSEMOVE), 0u);
    auto moves = Of(a, WM_MOUSEMOVE);
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(moves[0].lParam), 350);
    auto rdown = Of(a, WM_RBUTTONDOWN);
    ASSERT_EQ(rdown.size(), 1u);
    EXPECT_EQ(GET_X_LPARAM(rdown[0].lParam), -50);
    EXPECT_EQ(GET_Y_LPARAM(rdown[0].lParam), -40);
    EXPECT_TRUE(rdown[0].wParam & MK_RBUTTON);
    EXPECT_TRUE(GetKeyState(VK_RBUTTON) & 0x8000);
    SetCapture(plain);
    EXPECT_EQ(Count(a, WM_CAPTURECHANGED), 1u);
    ReleaseCapture();
    EXPECT_EQ(Count(plain, WM_CAPTURECHANGED), 1u);
    EXPECT_EQ(GetCapture(), nullptr);
    quiva::ui::InjectMouseButton(ButtonRight, false, 50, 60);
    quiva::ui::PumpPending();
}

TEST_F(WindowSystem, NonClientDoubleClickWithoutClassStyleAndLeaveNoticesAreOneShot)
{
    HWND w = Top(100, 100, 200, 200, WS_POPUP | WS_THICKFRAME | WS_VISIBLE, false);
    quiva::ui::PumpPending();
    quiva::ui::InjectClick(101, 200);
    quiva::ui::InjectClick(101, 200);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(w, WM_NCLBUTTONDBLCLK), 1u);
    auto nc = Of(w, WM_NCLBUTTONDBLCLK);
    EXPECT_EQ(nc[0].wParam, static_cast<WPARAM>(HTLEFT));

    Clear();
    quiva::ui::InjectMouseMove(200, 200);
    quiva::ui::PumpPending();
    TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, w, 0};
    EXPECT_TRUE(TrackMouseEvent(&tme));
    quiva::ui::InjectMouseMove(210, 200);
    quiva::ui::InjectMouseMove(600, 600);
    quiva::ui::InjectMouseMove(200, 200);
    quiva::ui::InjectMouseMove(700, 600);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(w, WM_MOUSELEAVE), 1u);
    // Asking while the pointer is outside gives the notice at once.
    TrackMouseEvent(&tme);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(w, WM_MOUSELEAVE), 2u);
}

TEST_F(WindowSystem, FocusAndActivationMessagesPairUp)
{
    HWND a = Top(0, 0, 100, 100);
    HWND b = Top(200, 0, 100, 100);
    HWND ca = Child(a, 0, 0, 50, 50);
    quiva::ui::PumpPending();
    SetActiveWindow(a);
    Clear();
    SetFocus(ca);
    EXPECT_EQ(GetFocus(), ca);
    auto kill = Of(a, WM_KILLFOCUS);
    ASSERT_EQ(kill.size(), 1u);
    EXPECT_EQ(reinterpret_cast<HWND>(kill[0].wParam), ca);
    EXPECT_EQ(Count(ca, WM_SETFOCUS), 1u);

    Clear();
    SetFocus(b);  // focusing a window of another top-level activates it
    EXPECT_EQ(GetActiveWindow(), b);
    auto act = Of(a, WM_ACTIVATE);
    ASSERT_EQ(act.size(), 1u);
    EXPECT_EQ(LOWORD(act[0].wParam), WA_INACTIVE);
    EXPECT_EQ(Count(ca, WM_KILLFOCUS), 1u);
    WINDOWINFO wi{};
    GetWindowInfo(b, &wi);
    EXPECT_EQ(wi.dwWindowStatus, static_cast<DWORD>(WS_ACTIVECAPTION));
    GetWindowInfo(a, &wi);
    EXPECT_EQ(wi.dwWindowStatus, 0u);

    Clear();
    quiva::ui::InjectActivation(nullptr);
    quiva::ui::PumpPending();
    auto app = Of(a, WM_ACTIVATEAPP);
    ASSERT_EQ(app.size(), 1u);
    EXPECT_EQ(app[0].wParam, static_cast<WPARAM>(FALSE));
    EXPECT_EQ(Count(b, WM_KILLFOCUS), 1u);
    EXPECT_EQ(GetActiveWindow(), nullptr);
    EXPECT_EQ(GetFocus(), nullptr);
    quiva::ui::InjectActivation(a);
    quiva::ui::PumpPending();
    EXPECT_EQ(GetActiveWindow(), a);
    EXPECT_EQ(GetFocus(), a);
    EXPECT_EQ(Of(b, WM_ACTIVATEAPP).back().wParam, static_cast<WPARAM>(TRUE));

    // Destroying the focus window leaves no focus behind.
    SetFocus(ca);
    DestroyWindow(ca);
    EXPECT_EQ(GetFocus(), nullptr);
}

namespace {
std::vector<DWORD> g_hookSeen;
HHOOK g_hook = nullptr;
LRESULT CALLBACK SwallowF1(int code, WPARAM wParam, LPARAM lParam)
{
    auto* k = reinterpret_cast<KBDLLHOOKSTRUCT*>(lParam);
    g_hookSeen.push_back(k->vkCode | (k->flags & LLKHF_UP ? 0x1000u : 0u));
    if (code == HC_ACTION && k->vkCode == VK_F1)
        return 1;
    return CallNextHookEx(g_hook, code, wParam, lParam);
}
int g_innerCalls = 0;
LRESULT CALLBACK Inner(int code, WPARAM wParam, LPARAM lParam)
{
    ++g_innerCalls;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
}  // namespace

TEST_F(WindowSystem, KeysPassTheHookChainThenReachTheFocusWithCharacters)
{
    HWND w = Top(0, 0, 100, 100);
    SetFocus(w);
    quiva::ui::PumpPending();
    HHOOK inner = SetWindowsHookExW(WH_KEYBOARD_LL, Inner, nullptr, 0);
    g_hook = SetWindowsHookExW(WH_KEYBOARD_LL, SwallowF1, nullptr, 0);
    Clear();
    g_hookSeen.clear();
    g_innerCalls = 0;
    quiva::ui::InjectKeyStroke('A');
    quiva::ui::InjectKeyStroke(VK_F1);
    quiva::ui::InjectKey(VK_SHIFT, true);
    quiva::ui::InjectKeyStroke('B');
    quiva::ui::InjectKey(VK_SHIFT, false);
    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    quiva::ui::InjectKeyStroke('X', L'\xAC00');
    EXPECT_EQ(Count(w, WM_KEYDOWN), 0u);  // nothing before the queue is read
    quiva::ui::PumpPending();
    EXPECT_EQ(g_hookSeen.size(), 12u);
    EXPECT_EQ(g_innerCalls, 10);  // the swallowed key stops at the first hook
    std::wstring chars;
    for (auto& r : Of(w, WM_CHAR))
        chars += static_cast<wchar_t>(r.wParam);
    EXPECT_EQ(chars, std::wstring(L"aB\x1b\xAC00"));
    for (auto& r : Of(w, WM_KEYDOWN))
        EXPECT_NE(r.wParam, static_cast<WPARAM>(VK_F1));
    auto ups = Of(w, WM_KEYUP);
    ASSERT_FALSE(ups.empty());
    EXPECT_TRUE(static_cast<DWORD>(ups[0].lParam) & 0x80000000u);
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);
    UnhookWindowsHookEx(g_hook);
    UnhookWindowsHookEx(inner);
}

TEST_F(WindowSystem, FinishedCompositionArrivesAsCharacters)
{
    HWND w = Top(0, 0, 100, 100);
    SetFocus(w);
    quiva::ui::PumpPending();
    std::wstring seenResult;
    handlers[WM_IME_COMPOSITION] = [&](HWND h, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
        if (lp & GCS_RESULTSTR) {
            HIMC imc = ImmGetContext(h);
            wchar_t buf[16] = {};
            LONG n = ImmGetCompositionStringW(imc, GCS_RESULTSTR, buf, sizeof(buf));
            seenResult.assign(buf, static_cast<size_t>(n) / sizeof(wchar_t));
            ImmReleaseContext(h, imc);
        }
        *handled = false;
        return 0;
    };
    Clear();
    quiva::ui::InjectImeComposition(L"\x3131");
    quiva::ui::InjectImeComposition(L"\xAC00");
    quiva::ui::InjectImeResult(L"\xAC00\xB098");
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(w, WM_IME_STARTCOMPOSITION), 1u);
    EXPECT_EQ(Count(w, WM_IME_COMPOSITION), 3u);
    EXPECT_EQ(Count(w, WM_IME_ENDCOMPOSITION), 1u);
    EXPECT_EQ(seenResult, std::wstring(L"\xAC00\xB098"));
    std::wstring chars;
    for (auto& r : Of(w, WM_CHAR))
        chars += static_cast<wchar_t>(r.wParam);
    EXPECT_EQ(chars, std::wstring(L"\xAC00\xB098"));
}

TEST_F(WindowSystem, TimersFireInVirtualTimeUntilKilled)
{
    quiva::ScopedVirtualClock clock;
    HWND w = Top(0, 0, 100, 100);
    quiva::ui::PumpPending();
    SetTimer(w, 5, 1000, nullptr);
    Clear();
    EXPECT_EQ(quiva::ui::PumpPending(), 0);
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));  // time moves on to the timer
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.wParam, 5u);
    DispatchMessageW(&m);
    clock->Advance(1000);
    EXPECT_EQ(quiva::ui::PumpPending(), 1);
    EXPECT_EQ(Count(w, WM_TIMER), 2u);
    EXPECT_TRUE(KillTimer(w, 5));
    EXPECT_FALSE(KillTimer(w, 5));
    clock->Advance(5000);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(w, WM_TIMER), 2u);
    // A window's timers go with it.
    SetTimer(w, 6, 100, nullptr);
    DestroyWindow(w);
    clock->Advance(500);
    EXPECT_EQ(quiva::ui::PumpPending(), 0);
}

TEST_F(WindowSystem, CaptionDragMovesAndBorderDragHonoursMinimumTrackSize)
{
    HWND w = Top(100, 100, 500, 400, WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
    handlers[WM_NCHITTEST] = [](HWND h, WPARAM wp, LPARAM lp, bool*) -> LRESULT {
        LRESULT hit = DefWindowProcW(h, WM_NCHITTEST, wp, lp);
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(h, &p);
        return hit == HTCLIENT && p.y < 28 ? HTCAPTION : hit;
    };
    handlers[WM_GETMINMAXINFO] = [](HWND, WPARAM, LPARAM lp, bool*) -> LRESULT {
        reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = POINT{400, 300};
        return 0;
    };
    quiva::ui::PumpPending();
    quiva::ui::InjectMouseButton(ButtonLeft, true, 200, 110);
    quiva::ui::InjectMouseMove(230, 120);
    quiva::ui::InjectMouseMove(260, 150);
    quiva::ui::InjectMouseButton(ButtonLeft, false, 260, 150);
    quiva::ui::PumpPending();
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.top, 140);
    EXPECT_EQ(r.right - r.left, 500);
    EXPECT_EQ(Count(w, WM_ENTERSIZEMOVE), 1u);
    EXPECT_EQ(Count(w, WM_EXITSIZEMOVE), 1u);
    EXPECT_EQ(GetCapture(), nullptr);

    // Drag the bottom-right corner far up and left: the window stops at 400 x 300.
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseButton(ButtonLeft, true, 658, 538);
    quiva::ui::InjectMouseMove(300, 200);
    quiva::ui::InjectMouseButton(ButtonLeft, false, 300, 200);
    quiva::ui::PumpPending();
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 160);
    EXPECT_EQ(r.right - r.left, 400);
    EXPECT_EQ(r.bottom - r.top, 300);
    auto sizes = Of(w, WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(LOWORD(sizes.back().lParam), 392);
}

TEST_F(WindowSystem, MaximiseFillsTheWorkAreaAndRestoreReturns)
{
    HWND w = Top(100, 100, 500, 400, WS_POPUP | WS_THICKFRAME | WS_VISIBLE | WS_MAXIMIZEBOX);
    WINDOWPLACEMENT wp{};
    GetWindowPlacement(w, &wp);
    EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    ShowWindow(w, SW_MAXIMIZE);
    GetWindowPlacement(w, &wp);
    EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_MAXIMIZE));
    RECT r;
    GetWindowRect(w, &r);
    EXPECT_EQ(r.right, 1920);
    EXPECT_EQ(r.bottom, 1040);
    EXPECT_TRUE(IsZoomed(w));
    ShowWindow(w, SW_MINIMIZE);
    EXPECT_TRUE(IsIconic(w));
    EXPECT_EQ(WindowFromPoint(POINT{500, 500}), nullptr);
    ShowWindow(w, SW_RESTORE);
    EXPECT_TRUE(IsZoomed(w));  // back to maximised
    ShowWindow(w, SW_RESTORE);
    GetWindowRect(w, &r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.right, 600);
    GetWindowPlacement(w, &wp);
    EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL));

    SetWindowPos(w, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    EXPECT_TRUE(GetWindowLongW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    HWND other = Top(50, 50, 800, 800);
    EXPECT_EQ(WindowFromPoint(POINT{200, 200}), w);  // top-most stays over newer windows
    EXPECT_EQ(WindowFromPoint(POINT{800, 800}), other);
}

TEST_F(WindowSystem, InvalidationFromAnotherThreadWakesThePaint)
{
    HWND w = Top(0, 0, 100, 100);
    quiva::ui::PumpPending();
    Clear();
    std::thread t([w] {
        RECT r{10, 10, 20, 20};
        InvalidateRect(w, &r, FALSE);
    });
    MSG m;
    ASSERT_TRUE(GetMessageW(&m, nullptr, 0, 0));
    t.join();
    EXPECT_EQ(m.message, static_cast<UINT>(WM_PAINT));
    RECT u;
    EXPECT_TRUE(GetUpdateRect(w, &u, FALSE));
    EXPECT_EQ(u.left, 10);
    DispatchMessageW(&m);
    EXPECT_FALSE(GetUpdateRect(w, &u, FALSE));
    EXPECT_EQ(quiva::ui::PumpPending(), 0);
}

TEST_F(WindowSystem, ReadingForOneWindowWhileAnotherThreadInvalidatesNeverDeadlocks)
{
    // A read filtered to one window looks past messages for other windows (asking the window
    // tree), while invalidation on another thread wakes this thread's queue under the window
    // system's lock: the two must take their locks in the same order.
    HWND w = Top(0, 0, 100, 100);
    HWND other = Top(200, 0, 100, 100);
    quiva::ui::PumpPending();
    std::atomic<bool> stop{false};
    std::thread invalidator([&] {
        while (!stop)
            InvalidateRect(w, nullptr, FALSE);
    });
    int seen = 0;
    for (int i = 0; i < 500; ++i) {
        PostMessageW(other, WM_USER, 0, 0);
        PostMessageW(w, WM_USER, 1, 0);
        MSG m;
        while (PeekMessageW(&m, w, WM_USER, WM_USER, PM_REMOVE))
            seen += m.hwnd == w ? 1 : 1000;
    }
    stop = true;
    invalidator.join();
    EXPECT_EQ(seen, 500);
    EXPECT_EQ(Count(other, WM_USER), 0u);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(other, WM_USER), 500u);
}

TEST_F(WindowSystem, WindowOfAnotherThreadWorksOnThatThread)
{
    std::atomic<HWND> made{nullptr};
    std::atomic<bool> stop{false};
    std::atomic<DWORD> handledOn{0};
    std::atomic<DWORD> threadId{0};
    handlers[WM_USER + 5] = [&](HWND, WPARAM wp, LPARAM, bool*) -> LRESULT {
        handledOn = GetCurrentThreadId();
        return static_cast<LRESULT>(wp * 2);
    };
    std::thread t([&] {
        threadId = GetCurrentThreadId();
        made = CreateWindowExW(0, L"QuivaTestWnd", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        MSG m;
        while (!stop) {
            if (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        DestroyWindow(made);
    });
    while (!made)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(GetWindowThreadProcessId(made, nullptr), threadId.load());
    EXPECT_EQ(SendMessageW(made, WM_USER + 5, 21, 0), 42);
    EXPECT_EQ(handledOn.load(), threadId.load());
    stop = true;
    t.join();
    EXPECT_FALSE(IsWindow(made));
}

TEST_F(WindowSystem, PaintingReachesTheSurfaceAndThePngFile)
{
    HWND w = Top(10, 10, 120, 80, WS_POPUP | WS_BORDER | WS_VISIBLE);
    HWND child = Child(w, 20, 20, 500, 500);  // larger than its parent: clipped
    handlers[WM_PAINT] = [](HWND h, WPARAM, LPARAM, bool*) -> LRESULT {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(h, &ps);
        RECT c;
        GetClientRect(h, &c);
        HBRUSH b = CreateSolidBrush(GetParent(h) ? RGB(0, 0, 255) : RGB(255, 0, 0));
        FillRect(dc, &c, b);
        DeleteObject(b);
        EndPaint(h, &ps);
        return 0;
    };
    quiva::ui::PumpPending();
    quiva::Surface* s = quiva::ui::WindowSurface(child);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->Width(), 120);
    EXPECT_EQ(s->At(5, 5) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(s->At(30, 30) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(s->At(119, 79) & 0xFFFFFF, 0x000000u);  // the border is not client area
    quiva::test::TempDir dir;
    ASSERT_TRUE(quiva::ui::WriteWindowPng(child, dir.Native("w.png")));
    std::string bytes = quiva::test::ReadAll(dir.Native("w.png"));
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
}

TEST_F(WindowSystem, PaintingFromAnotherThreadStopsCleanlyWhenTheWindowGoes)
{
    HWND top = Top(0, 0, 200, 150);
    HWND child = Child(top, 30, 20, 100, 80);
    quiva::ui::PumpPending();
    const POINT expected = quiva::ui::ClientOriginInSurface(child);
    POINT origin{};
    RECT client{};
    EXPECT_TRUE(quiva::ui::PaintWindowSurface(child, [&](quiva::Surface& s, POINT o, RECT c) {
        origin = o;
        client = c;
        s.Pixels()[static_cast<size_t>(o.y) * static_cast<size_t>(s.Width()) + o.x] = 0xFF123456u;
    }));
    EXPECT_EQ(origin.x, expected.x);
    EXPECT_EQ(origin.y, expected.y);
    EXPECT_EQ(client.right - client.left, 100);
    EXPECT_EQ(client.bottom - client.top, 80);
    EXPECT_EQ(quiva::ui::WindowSurface(child)->At(expected.x, expected.y), 0xFF123456u);

    // A painter thread fills the client area of whichever window is current while this thread
    // destroys the windows under it; once a window is gone, painting answers false.
    std::atomic<HWND> target{child};
    std::atomic<bool> done{false};
    std::atomic<int> painted{0};
    std::thread painter([&] {
        while (!done) {
            if (quiva::ui::PaintWindowSurface(target.load(), [](quiva::Surface& s, POINT, RECT c) {
                    for (LONG y = c.top; y < c.bottom && y < s.Height(); ++y)
                        for (LONG x = c.left; x < c.right && x < s.Width(); ++x)
                            s.Pixels()[static_cast<size_t>(y) * static_cast<size_t>(s.Width()) + x] = 0xFF00FF00u;
                }))
                ++painted;
        }
    });
    DestroyWindow(top);
    for (int i = 0; i < 40; ++i) {
        HWND t = CreateWindowExW(0, L"QuivaTestWnd", L"", WS_POPUP | WS_VISIBLE, 0, 0, 160 + i, 120, nullptr,
                                 nullptr, nullptr, nullptr);
        HWND c = CreateWindowExW(0, L"QuivaTestWnd", L"", WS_CHILD | WS_VISIBLE, 10, 10, 100, 80, t, nullptr,
                                 nullptr, nullptr);
        target = c;
        const int before = painted;
        while (painted == before)
            std::this_thread::yield();
        DestroyWindow(t);
        EXPECT_FALSE(IsWindow(c));
    }
    done = true;
    painter.join();
    EXPECT_FALSE(quiva::ui::PaintWindowSurface(child, [](quiva::Surface&, POINT, RECT) { ADD_FAILURE(); }));
    EXPECT_FALSE(quiva::ui::PaintWindowSurface(nullptr, [](quiva::Surface&, POINT, RECT) { ADD_FAILURE(); }));
}
