#include "framework/CKXWnd.h"
#include "platform/base/clock.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

using namespace quiva::test;

namespace {
using CKXWndTest = HostTest;

class TimerPanel : public CommandPanel {
public:
    int ticks = 0;
    BOOL claim = 0;
    int OnTimer(UINT) override
    {
        ++ticks;
        return claim;
    }
};

class CharEdit : public CKXCtrl, public IKXCtrlKeyboard {
public:
    std::wstring chars;
    int compositions = 0;
    int OnKeyDown(UINT, UINT, UINT, CKXCtrlCursor*) override { return 1; }
    int OnKeyUp(UINT, UINT, UINT, CKXCtrlCursor*) override { return 1; }
    int OnChar(UINT ch, UINT, UINT, CKXCtrlCursor*) override
    {
        chars += static_cast<wchar_t>(ch);
        return 1;
    }
    int OnImeComposition(WPARAM, LPARAM, CKXCtrlCursor*) override { return ++compositions; }
    int KillFocus(CKXCtrlCursor*) override { return 1; }
    Gdiplus::RectF GetCaretRect() override { return Gdiplus::RectF(x + 5, y + 2, 1, 16); }
};

struct Host {
    HWND top;
    CKXWnd wnd;
    explicit Host(int scalePercent = 100)
    {
        top = CreateWindowExW(0, KX_WINDOW_CLASS, L"", WS_POPUP | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                              nullptr, nullptr);
        wnd.renderHint.scale = scalePercent / 100.0f;
    }
    ~Host()
    {
        wnd.DestroyWindow();
        DestroyWindow(top);
    }
};
}  // namespace

TEST_F(CKXWndTest, RootIsCreatedOnceAndResizedInLayoutUnits)
{
    Host h(200);
    CommandPanel before;
    h.wnd.SetRootControl(&before);  // no window yet: sized to nothing
    EXPECT_EQ(before.created, 1);
    ASSERT_TRUE(h.wnd.Create(CWnd::FromHandle(h.top), 10, 10, 200, 100, 3));
    EXPECT_EQ(before.created, 1);
    EXPECT_EQ(before.childrenMade, 1);
    EXPECT_EQ(h.wnd.context.host, &h.wnd);
    EXPECT_FLOAT_EQ(before.width, 100);  // 200 pixels at scale 2

    CommandPanel after;
    h.wnd.SetRootControl(&after);
    EXPECT_EQ(after.created, 1);
    EXPECT_EQ(after.childrenMade, 1);
    EXPECT_EQ(after.layouts, 1);
    h.wnd.MoveWindow(10, 10, 300, 160);
    EXPECT_FLOAT_EQ(after.width, 150);
    EXPECT_FLOAT_EQ(after.height, 80);
    EXPECT_EQ(after.layouts, 2);  // laid out again after sizing
    EXPECT_EQ(after.created, 1);
}

TEST_F(CKXWndTest, UnclaimedTimersAreKilledOnTheirFirstTick)
{
    quiva::ScopedVirtualClock clock;
    Host h;
    TimerPanel panel;
    ASSERT_TRUE(h.wnd.Create(CWnd::FromHandle(h.top), 0, 0, 200, 100, 1));
    h.wnd.SetRootControl(&panel);
    h.wnd.SetTimer(9, 100);
    clock->Advance(150);
    Pump();
    EXPECT_EQ(panel.ticks, 1);
    EXPECT_FALSE(h.wnd.KillTimer(9));  // already gone
    panel.claim = 1;
    h.wnd.SetTimer(9, 100);
    clock->Advance(150);
    Pump();
    clock->Advance(150);
    Pump();
    EXPECT_EQ(panel.ticks, 3);
    EXPECT_TRUE(h.wnd.KillTimer(9));
}

TEST_F(CKXWndTest, PressDragAndReleaseKeepTheContext)
{
    Host h;
    CommandPanel panel;
    ProbeCtrl probe;
    probe.Create(1, 10, 10, 50, 50);
    panel.AddControl(&probe);
    ASSERT_TRUE(h.wnd.Create(CWnd::FromHandle(h.top), 20, 20, 200, 100, 1));
    h.wnd.SetRootControl(&panel);
    Pump();
    POINT p = Screen(h.wnd.m_hWnd, 20, 20);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
    Pump();
    EXPECT_EQ(GetFocus(), h.wnd.m_hWnd);
    EXPECT_EQ(GetCapture(), h.wnd.m_hWnd);
    EXPECT_TRUE(h.wnd.context.buttonDown);
    EXPECT_EQ(h.wnd.context.pressPoint.x, 20);
    EXPECT_EQ(h.wnd.context.captured, &probe);
    EXPECT_EQ(h.wnd.context.cursorShape, 1);
    quiva::ui::InjectMouseMove(p.x + 300, p.y + 5);  // outside, still captured
    Pump();
    EXPECT_EQ(h.wnd.context.dragDelta[0], -300);
    EXPECT_EQ(h.wnd.context.dragDelta[1], -5);
    EXPECT_FLOAT_EQ(probe.lastX, 320);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, p.x + 300, p.y + 5);
    Pump();
    EXPECT_FALSE(h.wnd.context.buttonDown);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(h.wnd.context.releasePoint.x, 320);
    EXPECT_EQ(probe.ups, 1);
    EXPECT_EQ(h.wnd.context.captured, nullptr);

    // The wheel point reaches the active control in client layout units.
    h.wnd.context.active = &probe;
    quiva::ui::InjectWheel(-120, p.x + 10, p.y + 15);
    Pump();
    EXPECT_EQ(probe.wheels, 1);
    EXPECT_FLOAT_EQ(probe.lastX, 30);
    EXPECT_FLOAT_EQ(probe.lastY, 35);

    // Leaving the window tells the tree.
    int leaves = probe.leaves;
    quiva::ui::InjectMouseMove(p.x + 5, p.y + 5);
    quiva::ui::InjectMouseMove(1900, 1000);
    Pump();
    EXPECT_GT(probe.leaves, leaves);
}

TEST_F(CKXWndTest, CompositionStateAndFinishedTextAsCharacters)
{
    Host h;
    CommandPanel panel;
    CharEdit edit;
    panel.AddControl(&edit);
    ASSERT_TRUE(h.wnd.Create(CWnd::FromHandle(h.top), 0, 0, 200, 100, 1));
    h.wnd.SetRootControl(&panel);
    h.wnd.context.focus = &edit;
    h.wnd.SetFocus();
    Pump();
    EXPECT_EQ(quiva::ui::GetCaretState().owner, h.wnd.m_hWnd);  // the focus edit's caret
    EXPECT_EQ(quiva::ui::GetCaretState().pos.x, 5);
    quiva::ui::InjectImeComposition(L"\x3131");
    Pump();
    EXPECT_EQ(h.wnd.context.imeState, 1);
    EXPECT_EQ(edit.compositions, 1);
    EXPECT_TRUE(edit.chars.empty());
    quiva::ui::InjectImeResult(L"\xAC00");
    quiva::ui::InjectKeyStroke('B');
    Pump();
    EXPECT_EQ(h.wnd.context.imeState, 2);
    EXPECT_EQ(edit.compositions, 2);
    EXPECT_EQ(edit.chars, std::wstring(L"\xAC00" L"b"));
}
