// Hit testing through transparent windows, and keys typed into other programs that only the
// keyboard hooks hear.
#include "platform/base/clock.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;

namespace {
using TransparentHit = UiTest;

std::vector<DWORD> g_heard;
HHOOK g_listener = nullptr;
LRESULT CALLBACK Listen(int code, WPARAM wParam, LPARAM lParam)
{
    auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
    if (code == HC_ACTION)
        g_heard.push_back(k->vkCode | (wParam == WM_KEYUP ? 0x1000u : 0u));
    return CallNextHookEx(g_listener, code, wParam, lParam);
}

void PumpFor(int ms)
{
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    while (static_cast<int>(end - GetTickCount()) > 0) {
        quiva::ui::PumpPending();
        Sleep(5);
    }
}
}  // namespace

TEST_F(TransparentHit, PointsOfATransparentChildGoToTheWindowUnderneath)
{
    HWND top = Top(100, 100, 300, 200);
    HWND lower = Child(top, 0, 0, 100, 100, 1);
    HWND glass = Child(top, 0, 0, 200, 200, 2);  // above `lower`, covering it
    handlers[WM_NCHITTEST] = [&](HWND h, WPARAM, LPARAM, bool* handled) -> LRESULT {
        *handled = h == glass || h == top;
        return h == glass ? HTTRANSPARENT : HTCAPTION;
    };
    Clear();
    // Over the lower sibling: it answers and gets the click.
    quiva::ui::InjectClick(150, 150);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(lower, WM_LBUTTONDOWN), 1u);
    EXPECT_EQ(Count(glass, WM_LBUTTONDOWN), 0u);
    // Where only the parent lies below, the parent answers: here a caption, so a drag follows.
    Clear();
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, 250, 250);
    quiva::ui::InjectMouseMove(260, 255);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, 260, 255);
    quiva::ui::PumpPending();
    EXPECT_EQ(Count(glass, WM_LBUTTONDOWN) + Count(glass, WM_NCLBUTTONDOWN), 0u);
    EXPECT_EQ(Count(top, WM_NCLBUTTONDOWN), 1u);
    RECT r;
    GetWindowRect(top, &r);
    EXPECT_EQ(r.left, 110);
    EXPECT_EQ(r.top, 105);
}

TEST_F(TransparentHit, KeysOfOtherProgramsReachOnlyTheHooksAndTheKeyState)
{
    HWND w = Top(0, 0, 100, 100);
    SetFocus(w);
    quiva::ui::PumpPending();
    // Without a hook nobody listens: the key is dropped.
    quiva::ui::InjectObservedKey(VK_SPACE, true);
    quiva::ui::InjectObservedKey(VK_SPACE, false);
    quiva::ui::PumpPending();
    g_heard.clear();
    g_listener = SetWindowsHookExW(WH_KEYBOARD_LL, Listen, nullptr, 0);
    Clear();
    quiva::ui::InjectObservedKey(VK_LCONTROL, true);
    quiva::ui::InjectObservedKey('S', true);
    quiva::ui::PumpPending();
    EXPECT_TRUE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    quiva::ui::InjectObservedKey('S', false);
    quiva::ui::InjectObservedKey(VK_LCONTROL, false);
    quiva::ui::PumpPending();
    EXPECT_EQ(g_heard, (std::vector<DWORD>{VK_LCONTROL, 'S', 'S' | 0x1000u, VK_LCONTROL | 0x1000u}));
    EXPECT_FALSE(GetAsyncKeyState(VK_CONTROL) & 0x8000);
    EXPECT_EQ(Count(w, WM_KEYDOWN) + Count(w, WM_KEYUP) + Count(w, WM_CHAR), 0u);
    UnhookWindowsHookEx(g_listener);
}

// On X11 the keys typed into another client's window reach an installed hook and that client
// keeps them; without a hook nothing is listened to.
TEST(X11ObservedKeys, KeysTypedIntoAnotherClientReachTheHook)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 640, 480);
    XvfbServer& xvfb = session.server();
    WNDCLASSW wc{};
    wc.lpszClassName = L"QuivaObservedKeysWnd";
    wc.lpfnWndProc = DefWindowProcW;
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND ours = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaObservedKeysWnd", L"ours", WS_POPUP | WS_VISIBLE, 10, 10, 100, 80,
                                nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(ours, nullptr);
    PumpFor(100);
    // Another program's window has the input focus.
    unsigned long other = xvfb.OpenFocusedWindow(300, 200, 100, 80);
    ASSERT_NE(other, 0u);

    g_heard.clear();
    g_listener = SetWindowsHookExW(WH_KEYBOARD_LL, Listen, nullptr, 0);
    PumpFor(50);
    std::string said;
    int status = xvfb.Xdotool("key space F6", &said);
    if (status == -1 && !XvfbServer::Required())
        GTEST_SKIP() << "xdotool is not installed";
    ASSERT_EQ(status, 0) << said;
    EXPECT_TRUE(PumpUntil([] { return g_heard.size() >= 4; })) << said;
    EXPECT_EQ(g_heard, (std::vector<DWORD>{VK_SPACE, VK_SPACE | 0x1000u, VK_F1 + 5, (VK_F1 + 5) | 0x1000u}));
    // The other client got its keys too: nothing was grabbed.
    EXPECT_EQ(xvfb.KeyPressesAt(other), 2);

    // Without a hook nothing is listened to.
    UnhookWindowsHookEx(g_listener);
    g_heard.clear();
    xvfb.Xdotool("key space");
    PumpFor(300);
    EXPECT_TRUE(g_heard.empty());
    EXPECT_EQ(xvfb.KeyPressesAt(other), 3);
    DestroyWindow(ours);
    UnregisterClassW(L"QuivaObservedKeysWnd", nullptr);
}
