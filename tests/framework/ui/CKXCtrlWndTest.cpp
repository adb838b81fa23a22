#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWnd.h"
#include "framework/CKXWnd.h"
#include "platform/gdi/gdi.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

using namespace quiva::test;

namespace {
using CKXCtrlWndHosted = HostTest;

class KeyEdit : public CKXCtrl, public IKXCtrlKeyboard {
public:
    std::vector<UINT> seen;
    int OnKeyDown(UINT vk, UINT, UINT, CKXCtrlCursor*) override { seen.push_back(vk); return 1; }
    int OnKeyUp(UINT vk, UINT, UINT, CKXCtrlCursor*) override { seen.push_back(0x1000 | vk); return 1; }
    int OnChar(UINT ch, UINT, UINT, CKXCtrlCursor*) override { seen.push_back(0x2000 | ch); return 1; }
    int OnImeComposition(WPARAM, LPARAM lp, CKXCtrlCursor*) override { seen.push_back(0x4000 | static_cast<UINT>(lp)); return 1; }
    int KillFocus(CKXCtrlCursor*) override { return 1; }
    Gdiplus::RectF GetCaretRect() override { return Gdiplus::RectF(x + 5, y + 2, 1, 16); }
};
}  // namespace

TEST(CKXCtrlWnd, MovesHoverTheLastHitChildAndLeaveTheOthers)
{
    CKXCtrlCursor ctx;
    CKXCtrlWnd root;
    root.isRoot = 1;
    ProbeCtrl a, b, c;
    a.Create(1, 0, 0, 50, 50);
    b.Create(2, 25, 25, 50, 50);
    c.Create(3, 200, 0, 10, 10);
    root.AddControl(&a);
    root.AddControl(&b);
    root.AddControl(&c);
    BOOL handled = 0;
    EXPECT_EQ(root.OnMouseMove(30, 30, &handled, &ctx), 0);
    EXPECT_EQ(a.moves, 1);
    EXPECT_EQ(b.moves, 1);
    EXPECT_EQ(c.leaves, 1);
    EXPECT_EQ(root.hoverIndex, 1);

    // While the button is down the captured control alone gets the moves.
    ctx.captured = &c;
    ctx.buttonDown = 1;
    root.OnMouseMove(30, 30, &handled, &ctx);
    EXPECT_EQ(c.moves, 1);
    EXPECT_EQ(a.moves, 1);
    ctx.buttonDown = 0;
    root.OnMouseMove(300, 300, &handled, &ctx);
    EXPECT_EQ(root.hoverIndex, -1);
    root.OnMouseLeave(&ctx);
    EXPECT_EQ(a.leaves, 2);
}

TEST(CKXCtrlWnd, PressesStopAtTheFirstTakerOrAtAHandledRefusal)
{
    CKXCtrlCursor ctx;
    CKXCtrlWnd root;
    root.isRoot = 1;
    ProbeCtrl a, b;
    a.Create(1, 0, 0, 10, 10);
    b.Create(2, 0, 0, 10, 10);
    root.AddControl(&a);
    root.AddControl(&b);
    BOOL handled = 0;
    EXPECT_EQ(root.OnLButtonDown(50, 50, &handled, &ctx), 0);
    EXPECT_EQ(root.pressedIndex, -1);
    EXPECT_EQ(b.downs, 1);

    EXPECT_EQ(root.OnLButtonDown(5, 5, &handled, &ctx), 1);
    EXPECT_EQ(root.pressedIndex, 0);
    EXPECT_EQ(b.downs, 1);

    // A disabled first child that reports the press as handled stops the walk.
    struct Refuser : CKXCtrl {
        int OnLButtonDown(float, float, BOOL* handled, CKXCtrlCursor*) override
        {
            *handled = 1;
            return 0;
        }
    } refuser;
    refuser.Create(9, 0, 0, 10, 10);
    CKXCtrlWnd r2;
    r2.AddControl(&refuser);
    r2.AddControl(&a);
    handled = 0;
    EXPECT_EQ(r2.OnLButtonDown(5, 5, &handled, &ctx), 0);
    EXPECT_EQ(a.downs, 2);
    EXPECT_EQ(root.children.size(), 1u);  // moved to the other container
}

TEST(CKXCtrlWnd, ReleasesGoFromTheRootToTheCapturedControlThroughOrigins)
{
    CKXCtrlCursor ctx;
    CKXCtrlWnd root, mid, inner;
    root.isRoot = 1;
    root.originX = 10;
    mid.originY = 5;
    ProbeCtrl leaf;
    leaf.Create(1, 0, 0, 100, 100);
    root.AddControl(&mid);
    mid.AddControl(&inner);
    inner.AddControl(&leaf);
    BOOL handled = 0;
    EXPECT_EQ(root.OnLButtonDown(20, 20, &handled, &ctx), 1);  // reaches the leaf two containers down
    EXPECT_EQ(ctx.captured, &leaf);
    EXPECT_EQ(mid.OnLButtonUp(20, 20, &handled, &ctx), 0);  // not the root: nobody hears it
    EXPECT_EQ(leaf.ups, 0);
    EXPECT_EQ(root.OnLButtonUp(20, 20, &handled, &ctx), 1);
    EXPECT_EQ(leaf.ups, 1);
    EXPECT_FLOAT_EQ(leaf.lastX, 10);
    EXPECT_FLOAT_EQ(leaf.lastY, 20);
    EXPECT_EQ(ctx.captured, nullptr);

    // The wheel goes to the active control with the root's origin taken off.
    ctx.active = &leaf;
    EXPECT_EQ(root.OnMouseWheel(0, 120, 30, 40, &ctx), 1);
    EXPECT_FLOAT_EQ(leaf.lastX, 20);
    Gdiplus::PointF o = inner.GetAbsoluteOrigin();
    EXPECT_FLOAT_EQ(o.X, 10);
    EXPECT_FLOAT_EQ(o.Y, 5);
}

TEST(CKXCtrlWnd, TabStopsDoNotWrapAndBoundsAndKeys)
{
    CKXCtrlCursor ctx;
    CKXCtrlWnd root;
    CKXCtrl a, b, c;
    KeyEdit e1, e2;
    e1.kind = e2.kind = CTRLKIND_EDIT;
    e1.tabStop = e2.tabStop = 1;
    a.tabStop = 1;
    root.AddControl(&e1);
    root.AddControl(&a);
    root.AddControl(&b);
    root.AddControl(&e2);
    EXPECT_EQ(root.GetNextTabStop(&e1, 1, CTRLKIND_EDIT), &e2);
    EXPECT_EQ(root.GetNextTabStop(&e1, 1, 0), &a);
    EXPECT_EQ(root.GetNextTabStop(&e2, 1, CTRLKIND_EDIT), &e2);
    EXPECT_EQ(root.GetPrevTabStop(&e2, 1, CTRLKIND_EDIT), &e1);
    EXPECT_EQ(root.GetPrevTabStop(&e1, 1, CTRLKIND_EDIT), &e1);
    EXPECT_EQ(root.GetNextTabStop(&c, 1, CTRLKIND_EDIT), &c);
    EXPECT_EQ(root.GetNextTabStop(&e1, 0, CTRLKIND_EDIT), nullptr);

    CKXCtrlWnd empty;
    Gdiplus::RectF eb = empty.GetContentBounds();
    EXPECT_FLOAT_EQ(eb.Width, 0);
    EXPECT_FLOAT_EQ(eb.Height, 0);
    CKXCtrl one;
    one.Create(1, 10, 20, 100, 30);
    empty.AddControl(&one);
    eb = empty.GetContentBounds();
    EXPECT_FLOAT_EQ(eb.Width, 130);
    EXPECT_FLOAT_EQ(eb.Height, 90);

    EXPECT_EQ(root.OnKeyDown('A', 1, 0, &ctx), 0);
    ctx.focus = &e1;
    EXPECT_EQ(root.OnKeyDown('A', 1, 0, &ctx), 1);
    root.OnChar('a', 1, 0, &ctx);
    root.OnImeComposition(0, GCS_RESULTSTR, &ctx);
    std::vector<UINT> want{'A', 0x2000u | 'a', 0x4000u | GCS_RESULTSTR};
    EXPECT_EQ(e1.seen, want);
}

TEST_F(CKXCtrlWndHosted, DrawsBackgroundsThenBodiesThenBordersWithHints)
{
    CKXWnd host;
    CKXCtrlWnd root;
    std::vector<int> log;
    ProbeCtrl a, b;
    a.Create(1, 0, 0, 10, 10);
    b.Create(2, 20, 0, 10, 10);
    a.drawLog = b.drawLog = &log;
    root.AddControl(&a);
    root.AddControl(&b);
    HWND top = CreateWindowExW(0, KX_WINDOW_CLASS, L"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(host.Create(CWnd::FromHandle(top), 0, 0, 200, 100, 5));
    host.SetRootControl(&root);
    Pump();
    std::vector<int> want{1, 2, 101, 102, 201, 202};
    EXPECT_EQ(log, want);

    // Without a host window nothing is drawn.
    log.clear();
    CKXCtrlCursor bare;
    CKXCtrlRenderHint hint;
    root.Draw(nullptr, 0, 0, &hint, &bare);
    EXPECT_TRUE(log.empty());
    DestroyWindow(top);
}
