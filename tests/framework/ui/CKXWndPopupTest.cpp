#include "framework/CKXWndPopup.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

using namespace quiva::test;

namespace {
using CKXWndPopupTest = HostTest;

struct Owner {
    CKXWnd wnd;
    HWND top;
    CommandPanel panel;
    ProbeCtrl probe;
    Owner()
    {
        top = CreateWindowExW(0, KX_WINDOW_CLASS, L"", WS_POPUP | WS_VISIBLE, 100, 100, 600, 400, nullptr, nullptr,
                              nullptr, nullptr);
        probe.Create(1, 0, 0, 600, 400);
        panel.AddControl(&probe);
        wnd.Create(CWnd::FromHandle(top), 0, 0, 600, 400, 1);
        wnd.SetRootControl(&panel);
        SetActiveWindow(top);
        quiva::ui::PumpPending();
    }
    ~Owner()
    {
        wnd.DestroyWindow();
        DestroyWindow(top);
    }
};

// A list stand-in: an item at the top takes the press and asks the popup to close.
struct ListPanel : CommandPanel {
    ProbeCtrl item;
    ListPanel()
    {
        item.Create(5, 0, 0, 200, 20);
        AddControl(&item);
    }
};
}  // namespace

// Closes itself as soon as its loop goes idle, remembering where it was placed.
struct IdleCloser : CKXWndPopup {
    RECT placed{};
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override
    {
        if (msg == WM_KICKIDLE) {
            GetWindowRect(&placed);
            ClosePopup();
            return 0;
        }
        return CKXWndPopup::WindowProc(msg, wParam, lParam);
    }
};

TEST_F(CKXWndPopupTest, PlacementIsClampedToTheVirtualScreenOnEverySide)
{
    Owner o;  // its client area starts at screen (100, 100)
    IdleCloser popup;
    ListPanel list;
    popup.SetRootControl(&list);
    int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    ASSERT_TRUE(popup.Create(&o.wnd, vw - 100 - 100, 50, 200, 100, 0));
    EXPECT_EQ(popup.placed.left, vw - 201);
    EXPECT_EQ(popup.placed.top, 150);
    EXPECT_EQ(popup.placed.right - popup.placed.left, 201);
    EXPECT_FALSE(popup.m_hWnd);

    // A screen that starts left of and above the primary monitor.
    quiva::ui::SetVirtualScreen(RECT{-1280, -200, 1920, 1080}, RECT{-1280, -200, 1920, 1040});
    ASSERT_TRUE(popup.Create(&o.wnd, -2000, -600, 200, 100, 0));
    EXPECT_EQ(popup.placed.left, -1280);
    EXPECT_EQ(popup.placed.top, -200);
    ASSERT_TRUE(popup.Create(&o.wnd, 0, 5000, 200, 100, 0));
    EXPECT_EQ(popup.placed.top, 1080 - 100);
}

TEST_F(CKXWndPopupTest, CreateReturnsAfterAnOutsideClickThatReachesTheWindowBelow)
{
    Owner o;
    CKXWndPopup popup;
    ListPanel list;
    popup.SetRootControl(&list);
    // Queued before the popup opens: a press outside it, over the owner's host window.
    POINT outside = Screen(o.wnd.m_hWnd, 500, 300);
    quiva::ui::InjectMouseMove(outside.x, outside.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, outside.x, outside.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, outside.x, outside.y);
    ASSERT_TRUE(popup.Create(&o.wnd, 10, 10, 200, 100, 0));
    EXPECT_FALSE(popup.m_hWnd);
    EXPECT_FALSE(popup.running);
    EXPECT_EQ(o.probe.downs, 1);
    EXPECT_FLOAT_EQ(o.probe.lastX, 500);
    EXPECT_EQ(list.item.downs, 0);
    quiva::ui::PumpPending();
}

TEST_F(CKXWndPopupTest, APressThatAControlTakesClosesIt)
{
    Owner o;
    CKXWndPopup popup;
    ListPanel list;
    popup.SetRootControl(&list);
    POINT inside = Screen(o.wnd.m_hWnd, 15, 15);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, inside.x, inside.y);
    ASSERT_TRUE(popup.Create(&o.wnd, 10, 10, 200, 100, 0));
    EXPECT_EQ(list.item.downs, 1);
    EXPECT_EQ(o.probe.downs, 0);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, inside.x, inside.y);
    quiva::ui::PumpPending();
}

TEST_F(CKXWndPopupTest, EscapeOnReleaseFocusLossAndDeactivationClose)
{
    Owner o;
    struct Counting : CKXWndPopup {
        int keyDowns = 0;
        void OnKeyDown(UINT ch, UINT repeat, UINT flags) override
        {
            ++keyDowns;
            CKXWndPopup::OnKeyDown(ch, repeat, flags);
        }
    } popup;
    ListPanel list;
    popup.SetRootControl(&list);
    // Keys go to the focus window; let the popup have it for this test.
    ASSERT_TRUE(popup.CreatePopup(&o.wnd, 200, 100));
    popup.SetFocus();
    quiva::ui::PumpPending();
    quiva::ui::InjectKey(VK_ESCAPE, true);
    PostMessageW(popup.m_hWnd, WM_USER, 0, 0);
    quiva::ui::InjectKey(VK_ESCAPE, false);
    popup.ShowAt(0, 0);
    EXPECT_EQ(popup.keyDowns, 1);  // the press alone did not close it
    EXPECT_FALSE(popup.m_hWnd);

    CKXWndPopup p2;
    ListPanel l2;
    p2.SetRootControl(&l2);
    quiva::ui::InjectActivation(nullptr);
    ASSERT_TRUE(p2.Create(&o.wnd, 0, 0, 100, 100, 0));
    EXPECT_FALSE(p2.m_hWnd);

    CKXWndPopup p3;
    ListPanel l3;
    p3.SetRootControl(&l3);
    ASSERT_TRUE(p3.CreatePopup(&o.wnd, 100, 100));
    p3.SetFocus();
    PostMessageW(p3.m_hWnd, WM_KILLFOCUS, 0, 0);
    p3.ShowAt(0, 0);
    EXPECT_FALSE(p3.m_hWnd);
}

TEST_F(CKXWndPopupTest, NestedPopupGetsTheCaptureBackAndMovesAreForwarded)
{
    Owner o;
    CKXWndPopup outer;
    ListPanel outerList;
    outer.SetRootControl(&outerList);
    outer.forwardMoves = 1;
    IdleCloser inner;  // closes as soon as it is idle
    ListPanel innerList;
    inner.SetRootControl(&innerList);
    HWND captureAfterInner = nullptr, outerHandle = nullptr;
    struct Opener : ProbeCtrl {
        std::function<void()> open;
        int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override
        {
            ++downs;
            if (open)
                open();
            (void)x, (void)y, (void)handled, (void)ctx;
            return 0;
        }
    } opener;
    opener.Create(6, 0, 50, 200, 50);
    outerList.AddControl(&opener);
    opener.open = [&] {
        inner.Create(&outer, 0, 60, 100, 40, 0);
        captureAfterInner = GetCapture();
        outerHandle = outer.m_hWnd;
        outer.ClosePopup();
    };
    POINT away = Screen(o.wnd.m_hWnd, 400, 300);
    POINT press = Screen(o.wnd.m_hWnd, 20, 70);
    quiva::ui::InjectMouseMove(away.x, away.y);   // outside the outer popup: forwarded to the owner
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, press.x, press.y);  // opens the inner one
    int movesBefore = o.probe.moves;
    ASSERT_TRUE(outer.Create(&o.wnd, 10, 10, 200, 150, 0));
    EXPECT_GT(o.probe.moves, movesBefore);
    EXPECT_EQ(opener.downs, 1);
    EXPECT_NE(captureAfterInner, nullptr);
    EXPECT_EQ(captureAfterInner, outerHandle);
    EXPECT_FALSE(inner.m_hWnd);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, press.x, press.y);
    quiva::ui::PumpPending();
}
