#include "framework/CKXCaptionBar.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlStatic.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

using namespace quiva::test;

TEST(CKXCtrlButton, ReleaseInsideNotifiesTheContainerOnce)
{
    CKXCtrlCursor ctx;
    CommandPanel panel;
    panel.isRoot = 1;
    CKXCtrlButton b;
    b.Create(42, 10, 10, 80, 24);
    panel.AddControl(&b);
    BOOL handled = 0;
    EXPECT_EQ(panel.OnLButtonDown(20, 20, &handled, &ctx), 1);
    EXPECT_EQ(panel.OnLButtonUp(20, 20, &handled, &ctx), 1);
    EXPECT_EQ(panel.commands, std::vector<int>{42});

    // Released outside after the press: no command, handled untouched.
    panel.OnLButtonDown(20, 20, &handled, &ctx);
    handled = 0;
    EXPECT_EQ(panel.OnLButtonUp(200, 200, &handled, &ctx), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(panel.commands.size(), 1u);

    // A button disabled between press and release says nothing.
    panel.OnLButtonDown(20, 20, &handled, &ctx);
    b.enabled = 0;
    EXPECT_EQ(b.OnLButtonUp(20, 20, &handled, &ctx), 0);
    EXPECT_EQ(panel.commands.size(), 1u);

    // Without a container a button still works.
    CKXCtrlButton lone;
    lone.Create(1, 0, 0, 10, 10);
    lone.OnLButtonDown(5, 5, &handled, &ctx);
    EXPECT_EQ(lone.OnLButtonUp(5, 5, &handled, &ctx), 1);
}

TEST(CKXCtrlButton, LayoutsPlaceTextAndIcon)
{
    CKXCtrlButton b;
    b.iconWidth = 16;
    b.iconHeight = 20;
    Gdiplus::RectF r(0, 0, 100, 60), text, icon;
    bool hasText, hasIcon;
    b.layout = 2;
    ASSERT_TRUE(b.LayoutAreas(r, &text, &icon, &hasText, &hasIcon));
    EXPECT_FLOAT_EQ(icon.Height, 24);
    EXPECT_FLOAT_EQ(text.Y, 24);
    EXPECT_FLOAT_EQ(text.Height, 36);
    b.layout = 3;
    ASSERT_TRUE(b.LayoutAreas(r, &text, &icon, &hasText, &hasIcon));
    EXPECT_FLOAT_EQ(icon.Width, 20);
    EXPECT_FLOAT_EQ(text.X, 20);
    EXPECT_FLOAT_EQ(text.Width, 80);
    b.layout = 1;
    ASSERT_TRUE(b.LayoutAreas(r, &text, &icon, &hasText, &hasIcon));
    EXPECT_FALSE(hasText);
    b.layout = 5;
    EXPECT_FALSE(b.LayoutAreas(r, &text, &icon, &hasText, &hasIcon));
}

TEST(CKXCtrlCheckBox, TogglesOnReleaseUnlessDisabledAndHitsGlyphOrCaption)
{
    CKXCtrlCursor ctx;
    CommandPanel panel;
    panel.isRoot = 1;
    CKXCtrlCheckBox box;
    box.Create(7, 0, 0, 120, 40);
    panel.AddControl(&box);
    BOOL handled = 0;
    // Empty caption: only the 16 x 25 glyph square takes the press.
    EXPECT_EQ(panel.OnLButtonDown(8, 30, &handled, &ctx), 0);
    EXPECT_EQ(panel.OnLButtonDown(50, 10, &handled, &ctx), 0);
    EXPECT_EQ(panel.OnLButtonDown(8, 10, &handled, &ctx), 1);
    EXPECT_EQ(panel.OnLButtonUp(8, 10, &handled, &ctx), 1);
    EXPECT_TRUE(box.checked);
    EXPECT_EQ(panel.commands, std::vector<int>{7});
    // With a caption the caption area counts too.
    box.SetCaption(L"Auto");
    EXPECT_EQ(panel.OnLButtonDown(50, 30, &handled, &ctx), 1);
    panel.OnLButtonUp(50, 30, &handled, &ctx);
    EXPECT_FALSE(box.checked);

    // Disabled: the press is taken (capture, active) but the release changes nothing.
    box.enabled = 0;
    handled = 0;
    EXPECT_EQ(box.OnLButtonDown(8, 10, &handled, &ctx), 1);
    EXPECT_EQ(ctx.captured, &box);
    EXPECT_EQ(ctx.active, &box);
    EXPECT_EQ(box.OnLButtonUp(8, 10, &handled, &ctx), 0);
    EXPECT_FALSE(box.checked);
    EXPECT_EQ(panel.commands.size(), 2u);
}

TEST(CKXCtrlCheckBox, GlyphsByStyle)
{
    CKXCtrlCheckBox box;
    auto glyph = [&](int style, BOOL on) {
        box.style = style;
        return static_cast<int>(box.GetGlyphText(on).GetAt(0));
    };
    EXPECT_EQ(glyph(1, 1), 253);
    EXPECT_EQ(glyph(1, 0), 111);
    EXPECT_EQ(glyph(2, 1), 252);
    EXPECT_EQ(glyph(2, 0), 32);
    EXPECT_EQ(glyph(3, 1), 251);
    EXPECT_EQ(glyph(4, 1), 161);
    EXPECT_EQ(glyph(4, 0), 32);
    EXPECT_EQ(glyph(0, 1), 254);
    EXPECT_EQ(glyph(9, 0), 111);
    box.forceChecked = 1;
    EXPECT_EQ(glyph(9, 0), 254);
}

TEST(CKXCtrlStatic, NeverTakesTheMouse)
{
    CKXCtrlCursor ctx;
    CKXCtrlStatic label;
    label.Create(1, 0, 0, 100, 20);
    label.SetCaption(L"Label");
    EXPECT_EQ(label.GetCaption(), CString(L"Label"));
    BOOL handled = 0;
    EXPECT_EQ(label.OnLButtonDown(5, 5, &handled, &ctx), 0);
    EXPECT_EQ(label.OnRButtonDown(5, 5, &handled, &ctx), 0);
    EXPECT_EQ(label.OnLButtonDblClk(5, 5, &handled, &ctx), 0);
    EXPECT_FALSE(handled);
    EXPECT_EQ(ctx.captured, nullptr);
}

TEST(CKXCaptionBar, LaysButtonsOutFromTheRight)
{
    CKXCaptionBar bar;
    bar.SetRect(50, 7, 400, 0);
    EXPECT_FLOAT_EQ(bar.height, 28);
    EXPECT_FLOAT_EQ(bar.exitRect.X, 376);
    EXPECT_FLOAT_EQ(bar.exitRect.Y, 4);
    EXPECT_FLOAT_EQ(bar.exitRect.Width, 20);
    EXPECT_FLOAT_EQ(bar.maximizeRect.X, 356);
    EXPECT_FLOAT_EQ(bar.minimizeRect.X, 336);
    bar.showSetting = 1;
    bar.SetSize(400, 0);
    EXPECT_FLOAT_EQ(bar.settingRect.X, 316);
    bar.showMaximize = 0;
    bar.SetSize(400, 0);
    EXPECT_FLOAT_EQ(bar.minimizeRect.X, 356);

    CKXCaptionBar none;
    none.showMinimize = none.showMaximize = none.showExit = 0;
    none.SetRect(0, 0, 400, 0);
    EXPECT_FLOAT_EQ(none.height, 24);
}

TEST(CKXCaptionBar, ClicksNeedPressAndReleaseOnTheSameButton)
{
    CKXCaptionBar bar;
    bar.SetRect(0, 0, 400, 0);
    BOOL handled = 0;
    EXPECT_EQ(bar.OnLButtonDown(360, 10, &handled, nullptr), 1);
    EXPECT_EQ(bar.pressedButton, CAPTION_MAXIMIZE);
    EXPECT_FALSE(handled);
    EXPECT_EQ(bar.OnLButtonUp(380, 10, &handled, nullptr), 1);
    EXPECT_EQ(bar.clickedButton, CAPTION_NONE);
    bar.OnLButtonDown(380, 10, &handled, nullptr);
    EXPECT_EQ(bar.OnLButtonUp(380, 10, &handled, nullptr), 1);
    EXPECT_EQ(bar.clickedButton, CAPTION_EXIT);
    bar.OnLButtonDown(380, 10, &handled, nullptr);
    EXPECT_EQ(bar.OnLButtonUp(380, 100, &handled, nullptr), 0);
    EXPECT_EQ(bar.pressedButton, CAPTION_NONE);
    bar.maximized = 1;  // the restore look still reports the same button
    bar.OnLButtonDown(360, 10, &handled, nullptr);
    bar.OnLButtonUp(360, 10, &handled, nullptr);
    EXPECT_EQ(bar.clickedButton, CAPTION_MAXIMIZE);

    EXPECT_EQ(bar.OnMouseMove(340, 10, &handled, nullptr), 1);
    EXPECT_EQ(bar.hoverButton, CAPTION_MINIMIZE);
    EXPECT_EQ(bar.OnMouseMove(340, 100, &handled, nullptr), 0);
    EXPECT_EQ(bar.hoverButton, CAPTION_NONE);
    bar.OnMouseMove(340, 10, &handled, nullptr);
    EXPECT_EQ(bar.OnMouseLeave(nullptr), 1);
    EXPECT_EQ(bar.hoverButton, CAPTION_NONE);

    // Drag areas: the text, and the place of a hidden button; never a shown button.
    EXPECT_FALSE(bar.IsDragArea(380, 10));
    bar.OnMouseMove(340, 10, &handled, nullptr);
    EXPECT_TRUE(bar.IsDragArea(100, 10));
    EXPECT_EQ(bar.hoverButton, CAPTION_NONE);
    EXPECT_FALSE(bar.IsDragArea(100, 40));
    bar.showMinimize = 0;
    EXPECT_TRUE(bar.IsDragArea(340, 10));
}

namespace {
// Pixels of a 200 x 40 picture that a control's drawing changed from black.
int InkOf(CKXCtrl& ctrl, CKXCtrlCursor* ctx)
{
    Gdiplus::Bitmap bitmap(200, 40);
    {
        Gdiplus::Graphics g(&bitmap);
        g.Clear(Gdiplus::Color(0xFF000000u));
        CKXCtrlRenderHint hint;
        ctrl.DrawBackground(&g, 0, 0, &hint, ctx);
        ctrl.Draw(&g, 0, 0, &hint, ctx);
        ctrl.DrawBorder(&g, 0, 0, &hint, ctx);
        g.Flush();
    }
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            Gdiplus::Color c;
            bitmap.GetPixel(x, y, &c);
            ink += (c.GetValue() & 0xFFFFFF) != 0;
        }
    return ink;
}
}  // namespace

TEST(CKXCtrlStatic, HiddenLabelIsNotDrawnAndLongTextStaysOnOneLine)
{
    CKXCtrlCursor ctx;
    CKXCtrlStatic label;
    label.Create(1, 0, 0, 200, 20);
    label.SetCaption(L"환자 정보");
    EXPECT_GT(InkOf(label, &ctx), 20);
    label.visible = 0;
    EXPECT_EQ(InkOf(label, &ctx), 0);

    // A caption far too long for its width is cut, not wrapped onto a second line.
    label.visible = 1;
    label.SetRect(0, 0, 120, 20);
    label.SetCaption(L"아주 긴 환자 이름과 차트 번호가 들어간 설명 문장입니다 그리고 더 깁니다");
    Gdiplus::Bitmap bitmap(200, 40);
    {
        Gdiplus::Graphics g(&bitmap);
        g.Clear(Gdiplus::Color(0xFF000000u));
        CKXCtrlRenderHint hint;
        label.Draw(&g, 0, 0, &hint, &ctx);
    }
    int below = 0, right = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x) {
            Gdiplus::Color c;
            bitmap.GetPixel(x, y, &c);
            bool ink = (c.GetValue() & 0xFFFFFF) != 0;
            below += ink && y >= 22;
            right += ink && x >= 122;
        }
    EXPECT_EQ(below, 0);
    EXPECT_EQ(right, 0);
}

TEST(CKXCtrlButton, BackgroundFollowsStateAndShowBackground)
{
    CKXCtrlCursor ctx;
    CKXCtrlButton b;
    b.Create(1, 0, 0, 100, 30);
    b.selected = 1;
    int selected = InkOf(b, &ctx);
    EXPECT_GT(selected, 2000);  // the selected back fills the button
    b.showBackground = 0;
    EXPECT_LT(InkOf(b, &ctx), selected / 2);
    b.layout = 5;  // draws nothing of its own, only the (disabled here) background and border
    b.showBackground = 1;
    b.border = 0;
    EXPECT_EQ(InkOf(b, &ctx), 3000);
}
