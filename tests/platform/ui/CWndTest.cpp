#include <atomic>
#include <thread>

#include <stdexcept>

#include "platform/base/clock.h"
#include "platform/base/debug.h"
#include "platform/ui/CWnd.h"
#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;

namespace {
using WindowObject = UiTest;

class Probe : public CWnd {
public:
    int created = 0, destroyed = 0, postNcDestroy = 0, kicks = 0, clicks = 0;
    bool throwOnCreate = false;
    std::function<void()> onClick;
    std::function<void()> onTimer;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KICKIDLE) {
            ++kicks;
            return 0;
        }
        return CWnd::WindowProc(msg, wParam, lParam);
    }

protected:
    int OnCreate(LPCREATESTRUCT cs) override
    {
        ++created;
        if (throwOnCreate)
            throw std::bad_alloc();
        return CWnd::OnCreate(cs);
    }
    void OnDestroy() override { ++destroyed; }
    void OnTimer(UINT_PTR) override
    {
        if (onTimer)
            onTimer();
    }
    void PostNcDestroy() override { ++postNcDestroy; }
    void OnLButtonDown(UINT, CPoint) override
    {
        ++clicks;
        if (onClick)
            onClick();
    }
};
}  // namespace

TEST_F(WindowObject, BindsAtCreationAndUnbindsAtTheEnd)
{
    Probe p;
    ASSERT_TRUE(p.CreateEx(0, L"QuivaTestWnd", L"title", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr, nullptr));
    EXPECT_EQ(p.created, 1);
    EXPECT_EQ(CWnd::FromHandle(p.m_hWnd), &p);
    EXPECT_EQ(p.GetWindowText(), CString(L"title"));
    HWND h = p.m_hWnd;

    // A handle without an object gets a temporary one.
    HWND raw = Top(200, 0, 10, 10);
    CWnd* temp = CWnd::FromHandle(raw);
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->m_hWnd, raw);
    EXPECT_EQ(CWnd::FromHandlePermanent(raw), nullptr);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);

    p.DestroyWindow();
    EXPECT_EQ(p.destroyed, 1);
    EXPECT_EQ(p.postNcDestroy, 1);
    EXPECT_EQ(p.m_hWnd, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(h), nullptr);
    p.Invalidate();  // harmless once the window is gone

    // Detach leaves the window alive and unbound.
    Probe q;
    q.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    HWND qh = q.Detach();
    EXPECT_TRUE(IsWindow(qh));
    EXPECT_EQ(CWnd::FromHandlePermanent(qh), nullptr);
    DestroyWindow(qh);
    EXPECT_EQ(q.destroyed, 0);
}

TEST_F(WindowObject, ModalLoopsNestShowOnIdleAndPassQuitOutward)
{
    quiva::ScopedVirtualClock clock;
    Probe owner;
    owner.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 300, nullptr, nullptr);
    Probe dlg;
    dlg.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP, 10, 10, 100, 100, owner.m_hWnd, nullptr);
    quiva::ui::PumpPending();
    Clear();
    // Idle first: the window is shown, the owner hears WM_ENTERIDLE, then a timer ends the loop.
    dlg.onTimer = [&] { dlg.EndModalLoop(4); };
    dlg.SetTimer(1, 100);
    EXPECT_EQ(dlg.RunModalLoop(MLF_SHOWONIDLE), 4);
    EXPECT_TRUE(dlg.IsWindowVisible());
    EXPECT_GT(dlg.kicks, 0);
    EXPECT_EQ(Count(owner.m_hWnd, WM_ENTERIDLE), 1u);
    dlg.KillTimer(1);
    dlg.DestroyWindow();

    Probe outer;
    outer.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, owner.m_hWnd, nullptr);
    Probe inner;
    inner.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP | WS_VISIBLE, 20, 20, 50, 50, outer.m_hWnd, nullptr);
    quiva::ui::PumpPending();
    int innerResult = 0;
    outer.onClick = [&] {
        innerResult = inner.RunModalLoop(MLF_NOIDLEMSG);
        outer.EndModalLoop(5);
    };
    inner.onClick = [&] { inner.EndModalLoop(7); };
    // Input queued before the loops start drives them: the first click opens the inner loop,
    // the second ends it.
    quiva::ui::InjectClick(15, 15);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(25, 25);
    EXPECT_EQ(outer.RunModalLoop(), 5);
    EXPECT_EQ(innerResult, 7);

    // A quit ends the running loops with -1 and stays queued for the loop outside them.
    outer.onClick = [&] {
        PostQuitMessage(3);
        innerResult = inner.RunModalLoop();
    };
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(15, 15);
    EXPECT_EQ(outer.RunModalLoop(), -1);
    EXPECT_EQ(innerResult, -1);
    MSG m;
    ASSERT_TRUE(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(m.wParam, 3u);
}

TEST_F(WindowObject, TemporaryObjectsOfDestroyedWindowsAreDroppedOnTheNextLookUp)
{
    // A temporary object left for a window that is destroyed later must not stop the next
    // look-up: dropping it once locked the map a second time and hung the thread.
    HWND first = CreateWindowExW(0, L"QuivaTestWnd", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND second = Top(20, 0, 10, 10);
    ASSERT_NE(CWnd::FromHandle(first), nullptr);
    DestroyWindow(first);
    CWnd* temp = CWnd::FromHandle(second);
    ASSERT_NE(temp, nullptr);
    EXPECT_EQ(temp->m_hWnd, second);
    EXPECT_EQ(CWnd::FromHandle(first), nullptr);

    // Looked up from another thread while this one creates windows whose procedures consult the
    // map with the window system locked.
    std::atomic<bool> done{false};
    std::thread other([&] {
        while (!done)
            CWnd::FromHandle(second);
    });
    for (int i = 0; i < 50; ++i) {
        Probe p;
        p.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr);
        p.DestroyWindow();
    }
    done = true;
    other.join();
}

// An exception from a handler ends that message, written to the debugger output, and never
// reaches the loop that dispatched it; one from the creation makes no window.
TEST_F(WindowObject, AHandlersExceptionEndsItsMessageOnly)
{
    quiva::DebugCapture debug;
    Probe p;
    ASSERT_TRUE(p.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr));
    p.onClick = [] { throw std::runtime_error("handler"); };
    PostMessageW(p.m_hWnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    EXPECT_EQ(p.clicks, 1);
    EXPECT_TRUE(debug.Contains(L"EXCEPION ProcessWnd"));
    EXPECT_TRUE(IsWindow(p.m_hWnd));
    p.DestroyWindow();

    Probe q;
    q.throwOnCreate = true;
    EXPECT_FALSE(q.CreateEx(0, L"QuivaTestWnd", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(q.created, 1);
    EXPECT_EQ(q.m_hWnd, nullptr);
}
