#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWnd.h"
#include "framework/CKXFrameWnd.h"
#include "framework/CKXWnd.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

using namespace quiva::test;

namespace {

// An edit stand-in: takes keys and records the end of editing.
class FakeEdit : public CKXCtrl, public IKXCtrlKeyboard {
public:
    FakeEdit() { kind = CTRLKIND_EDIT; }
    int keys = 0, kills = 0;
    int OnKeyDown(UINT, UINT, UINT, CKXCtrlCursor*) override { return ++keys; }
    int OnKeyUp(UINT, UINT, UINT, CKXCtrlCursor*) override { return ++keys; }
    int OnChar(UINT, UINT, UINT, CKXCtrlCursor*) override { return ++keys; }
    int OnImeComposition(WPARAM, LPARAM, CKXCtrlCursor*) override { return ++keys; }
    int KillFocus(CKXCtrlCursor*) override { return ++kills; }
    Gdiplus::RectF GetCaretRect() override { return Gdiplus::RectF(x + 5, y + 2, 1, 16); }
};

}  // namespace

TEST(CKXCtrl, HitTestIsHalfOpenAndScaleDrawRectScalesAndOffsets)
{
    CKXCtrl c;
    c.Create(7, 10, 20, 30, 40);
    EXPECT_EQ(c.id, 7);
    EXPECT_TRUE(c.HitTest(10, 20));
    EXPECT_TRUE(c.HitTest(39.9f, 59.9f));
    EXPECT_FALSE(c.HitTest(40, 30));
    EXPECT_FALSE(c.HitTest(20, 60));
    c.SetRect(10, 20, 0, 40);
    EXPECT_FALSE(c.HitTest(10, 20));
    Gdiplus::RectF r = CKXCtrl::ScaleDrawRect(Gdiplus::RectF(4, 6, 100, 30), 1.5f, 10, 20);
    EXPECT_FLOAT_EQ(r.X, 16);
    EXPECT_FLOAT_EQ(r.Y, 29);
    EXPECT_FLOAT_EQ(r.Width, 150);
    EXPECT_FLOAT_EQ(r.Height, 45);
}

TEST(CKXCtrl, PressAndReleaseFollowTheCaptureRules)
{
    CKXCtrlCursor ctx;
    CKXCtrl a, b;
    a.Create(1, 0, 0, 10, 10);
    b.Create(2, 20, 0, 10, 10);
    BOOL handled = 0;
    EXPECT_EQ(a.OnLButtonDown(5, 5, &handled, &ctx), 1);
    EXPECT_EQ(ctx.captured, &a);
    EXPECT_EQ(ctx.active, &a);
    EXPECT_TRUE(handled);

    // A release over a control that did not capture: handled, but no click, capture stays.
    handled = 0;
    EXPECT_EQ(b.OnLButtonUp(25, 5, &handled, &ctx), 0);
    EXPECT_TRUE(handled);
    EXPECT_EQ(ctx.captured, &a);
    // The holder's release outside: no click, capture cleared.
    handled = 0;
    EXPECT_EQ(a.OnLButtonUp(50, 50, &handled, &ctx), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(ctx.captured, nullptr);

    // Disabled or invisible controls ignore the press.
    b.enabled = 0;
    handled = 0;
    EXPECT_EQ(b.OnLButtonDown(25, 5, &handled, &ctx), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(ctx.captured, nullptr);
    b.enabled = 1;
    b.visible = 0;
    EXPECT_EQ(b.OnLButtonDown(25, 5, &handled, &ctx), 0);
    b.visible = 1;

    // Right press captures without activating; right release clears any capture.
    ctx.active = nullptr;
    EXPECT_EQ(b.OnRButtonDown(25, 5, &handled, &ctx), 0);
    EXPECT_EQ(ctx.captured, &b);
    EXPECT_EQ(ctx.active, nullptr);
    ctx.captured = &a;
    EXPECT_EQ(b.OnRButtonUp(25, 5, &handled, &ctx), 0);
    EXPECT_EQ(ctx.captured, nullptr);

    // Without a context nothing is recorded, and nothing breaks.
    EXPECT_EQ(a.OnLButtonDown(5, 5, &handled, nullptr), 1);
    EXPECT_EQ(a.OnRButtonDown(5, 5, &handled, nullptr), 0);
    EXPECT_EQ(a.OnRButtonUp(5, 5, &handled, nullptr), 0);
    EXPECT_EQ(a.OnLButtonUp(5, 5, &handled, nullptr), 0);

    // A release anywhere ends editing in the focus edit.
    FakeEdit edit;
    ctx.focus = &edit;
    a.OnLButtonUp(500, 500, &handled, &ctx);
    EXPECT_EQ(edit.kills, 1);
}

TEST(CKXCtrl, DeletedControlsLeaveNoPointerInAnyContext)
{
    CKXCtrlCursor ctx1, ctx2;
    auto* panel = new CKXCtrlWnd();
    auto* inner = new CKXCtrlWnd();
    auto* leaf = new FakeEdit();
    auto* sibling = new CKXCtrl();
    panel->AddControl(inner);
    inner->AddControl(leaf);
    panel->AddControl(sibling);
    inner->deleteWithContainer = 1;
    leaf->deleteWithContainer = 1;
    sibling->deleteWithContainer = 1;
    panel->hoverIndex = 1;
    panel->pressedIndex = 1;

    ctx1.captured = sibling;
    ctx1.active = sibling;
    delete sibling;  // leaves its container, and its container's indexes start afresh
    EXPECT_EQ(ctx1.captured, nullptr);
    EXPECT_EQ(ctx1.active, nullptr);
    EXPECT_EQ(panel->children.size(), 1u);
    EXPECT_EQ(panel->hoverIndex, -1);
    EXPECT_EQ(panel->pressedIndex, -1);

    CKXCtrl outsider;
    ctx1.focus = leaf;
    ctx2.captured = leaf;
    ctx2.active = &outsider;
    delete panel;  // with its subtree
    EXPECT_EQ(ctx1.focus, nullptr);
    EXPECT_EQ(ctx2.captured, nullptr);
    EXPECT_EQ(ctx2.active, &outsider);

    // A member control adopted by a panel goes before the panel's own container part.
    struct Panel : CKXCtrlWnd {
        CKXCtrl member;
        Panel() { AddControl(&member); }
    };
    auto* p = new Panel();
    ctx1.captured = &p->member;
    delete p;
    EXPECT_EQ(ctx1.captured, nullptr);
}

TEST(CKXCtrl, CursorCacheAndHostScale)
{
    CKXCtrlMouseCursorInternal* cache = CKXCtrlMouseCursorInternal::GetInstance();
    EXPECT_EQ(cache, CKXCtrlMouseCursorInternal::GetInstance());
    EXPECT_EQ(cache->module, nullptr);  // looked up only, never loaded
    EXPECT_TRUE(cache->entries.empty());
    delete cache;
    CKXCtrlMouseCursorInternal* again = CKXCtrlMouseCursorInternal::GetInstance();
    ASSERT_NE(again, nullptr);
    delete again;

    CKXCtrlCursor ctx;
    EXPECT_FLOAT_EQ(ctx.GetHostScale(), 1.0f);
    CKXFrameWnd frame;
    frame.renderHint.scale = 1.5f;
    ctx.host = &frame;
    EXPECT_FLOAT_EQ(ctx.GetHostScale(), 1.5f);
    CKXWnd wnd;
    wnd.renderHint.scale = 2.0f;
    ctx.host = &wnd;
    EXPECT_FLOAT_EQ(ctx.GetHostScale(), 2.0f);
    CWnd plain;
    ctx.host = &plain;
    EXPECT_FLOAT_EQ(ctx.GetHostScale(), 1.0f);
}
