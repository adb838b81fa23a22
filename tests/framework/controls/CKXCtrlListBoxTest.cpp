#include "framework/CKXCtrlListBox.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/base/clock.h"
#include "tests/support/framework/ControlTestSupport.h"

using namespace quiva::test;

TEST(ScrollBar, VisibleOnlyWhileTheContentDoesNotFit)
{
    CKXCtrlScrollBar bar;
    bar.SetRect(0, 0, 16, 116);  // track 100
    bar.SetRange(0, 0);
    EXPECT_FALSE(bar.visible);
    bar.SetRange(0, 50);
    EXPECT_FALSE(bar.visible);
    bar.SetRange(0, 400);
    EXPECT_TRUE(bar.visible);
    EXPECT_FLOAT_EQ(bar.ratio, 0.25f);

    CKXCtrlScrollBar shortBar;
    shortBar.SetRect(0, 0, 16, 10);
    shortBar.SetRange(0, 400);
    EXPECT_FALSE(shortBar.visible);
}

TEST(ScrollBar, PositionIsPulledBackToTheTrack)
{
    CKXCtrlScrollBar bar;
    bar.SetRect(0, 0, 16, 116);
    bar.SetRange(0, 400);
    bar.SetPosition(390, 100);  // thumb 25 long; offset at most 75
    EXPECT_FLOAT_EQ(bar.ThumbOffset(), 75.0f);
    EXPECT_FLOAT_EQ(bar.GetPosition(), 300.0f);
    bar.SetPosition(-20, 100);
    EXPECT_FLOAT_EQ(bar.GetPosition(), 0.0f);
}

TEST(ScrollBar, ThumbDragAndTrackClick)
{
    CKXCtrlScrollBar bar;
    bar.SetRect(0, 0, 16, 116);
    bar.SetRange(0, 400);
    bar.SetPosition(0, 100);
    BOOL handled = 0;
    EXPECT_EQ(bar.OnLButtonDown(8, 10, &handled, nullptr), 1);
    EXPECT_TRUE(bar.dragging);
    bar.OnMouseMove(8, 50, &handled, nullptr);
    EXPECT_TRUE(handled);
    EXPECT_FLOAT_EQ(bar.ThumbOffset(), 40.0f);
    bar.OnMouseMove(8, 500, &handled, nullptr);
    EXPECT_FLOAT_EQ(bar.ThumbOffset(), 75.0f);
    bar.OnLButtonUp(8, 500, &handled, nullptr);
    EXPECT_FALSE(bar.dragging);

    // A click on the track centres the thumb on it.
    bar.SetPosition(0, 100);
    EXPECT_EQ(bar.OnLButtonDown(8, 80, &handled, nullptr), 1);
    EXPECT_TRUE(bar.trackPressed);
    EXPECT_EQ(bar.OnLButtonUp(8, 60, &handled, nullptr), 1);
    EXPECT_FLOAT_EQ(bar.ThumbOffset(), 60.0f - 12.5f);
}

namespace {
class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel.Create(0, 0, 0, 400, 400);
        list.Create(5, 10, 20, 200, 100);  // four rows visible
        panel.AddControl(&list);
        for (int i = 0; i < 10; ++i)
            list.AddItem(CString(L"item ") + CString(static_cast<wchar_t>(L'0' + i)), i);
        list.UpdateScrollBar();
    }
    // A press and release at a row's middle (list rows of 25 from y 20).
    void Click(int row, float dy = 0)
    {
        const float py = 20 + 25.0f * row + 12 + dy + list.originY;
        BOOL handled = 0;
        list.OnLButtonDown(50, py, &handled, &ctx);
        handled = 0;
        list.OnLButtonUp(50, py, &handled, &ctx);
    }
    RecordingPanel panel;
    CKXCtrlListBox list;
    CKXCtrlCursor ctx;
};
}  // namespace

TEST_F(ListTest, TenItemsScrollByTheVisibleHeight)
{
    EXPECT_FLOAT_EQ(list.scrollBar.maximum, 250.0f);
    EXPECT_TRUE(list.scrollBar.visible);
    EXPECT_FLOAT_EQ(list.scrollBar.page, 100.0f);
    // Dragging the thumb to the end shows the last item at the bottom, no further.
    BOOL handled = 0;
    const float thumbY = 20 + list.scrollBar.ThumbOffset() + 2;
    list.OnLButtonDown(10 + 200 - 8, thumbY, &handled, &ctx);
    handled = 0;
    list.OnMouseMove(10 + 200 - 8, thumbY + 500, &handled, &ctx);
    EXPECT_TRUE(handled);
    EXPECT_FLOAT_EQ(list.originY, -150.0f);
    EXPECT_EQ(list.ItemAt(99), 9);
}

TEST_F(ListTest, WheelIsClampedToTheContentAndMovesTheThumb)
{
    for (int i = 0; i < 5; ++i)
        list.OnMouseWheel(0, -120, 0, 0, &ctx);
    EXPECT_FLOAT_EQ(list.originY, -150.0f);
    EXPECT_FLOAT_EQ(list.scrollBar.GetPosition(), 150.0f);
    list.OnMouseWheel(0, 120, 0, 0, &ctx);
    EXPECT_FLOAT_EQ(list.originY, -30.0f);
    list.OnMouseWheel(0, 1200, 0, 0, &ctx);
    EXPECT_FLOAT_EQ(list.originY, 0.0f);
    EXPECT_FLOAT_EQ(list.scrollBar.ThumbOffset(), 0.0f);
}

TEST_F(ListTest, SelectionNeedsPressAndReleaseOnOneItem)
{
    Click(1);
    ASSERT_EQ(list.GetSelection().size(), 1u);
    EXPECT_EQ(list.GetSelection()[0]->data, 1);
    EXPECT_EQ(panel.Kinds(), std::vector<std::string>{"value"});

    BOOL handled = 0;
    list.OnLButtonDown(50, 20 + 25 * 2 + 5, &handled, &ctx);
    list.OnLButtonUp(50, 20 + 25 * 3 + 5, &handled, &ctx);
    EXPECT_EQ(list.GetSelection()[0]->data, 1);
    EXPECT_EQ(panel.notices.size(), 1u);

    // Multi-select toggles and notifies only when an item becomes selected.
    list.multiSelect = 1;
    Click(3);
    Click(3);
    Click(0);
    EXPECT_EQ(list.GetSelection().size(), 2u);
    EXPECT_EQ(panel.notices.size(), 3u);
}

TEST_F(ListTest, FindingDeletingAndPointerSizedData)
{
    list.SelectString(L"item 4");
    EXPECT_EQ(list.GetSelection()[0]->data, 4);
    list.SelectString(L"ITEM 5");
    EXPECT_TRUE(list.GetSelection().empty());
    list.multiSelect = 1;
    list.SelectString(L"item 6");
    list.SelectString(L"none");
    EXPECT_EQ(list.GetSelection().size(), 1u);

    int record = 0;
    list.AddItem(L"pointer", reinterpret_cast<intptr_t>(&record));
    EXPECT_EQ(reinterpret_cast<int*>(list.items.back()->data), &record);
    EXPECT_TRUE(list.GetItemText(99).IsEmpty());
    list.DeleteItem(0);
    list.DeleteItem(-1);
    EXPECT_EQ(Utf8(list.GetItemText(0)), "item 1");
    list.RemoveAll();
    EXPECT_TRUE(list.items.empty());
}

TEST_F(ListTest, DragScrollingStartsAfterTheButtonIsHeldLongEnough)
{
    quiva::ScopedVirtualClock clock;
    BOOL handled = 0;
    list.OnLButtonDown(50, 30, &handled, &ctx);
    ctx.buttonDown = 1;
    ctx.pressTime = GetTickCount();
    ctx.dragDelta[1] = 10;
    clock->Advance(50);
    list.OnMouseMove(50, 25, &handled, &ctx);
    EXPECT_FLOAT_EQ(list.originY, 0.0f);
    EXPECT_EQ(list.pressedItem, 0);
    clock->Advance(100);
    list.OnMouseMove(50, 15, &handled, &ctx);
    EXPECT_FLOAT_EQ(list.originY, -10.0f);
    EXPECT_EQ(list.pressedItem, -1);
    list.OnLButtonUp(50, 15, &handled, &ctx);
    EXPECT_TRUE(list.GetSelection().empty());
}

namespace {

// A 200 x 100 list drawn into a bitmap of its own.
std::unique_ptr<Gdiplus::Bitmap> Drawn(CKXCtrlListBox& list)
{
    auto bitmap = std::make_unique<Gdiplus::Bitmap>(200, 100);
    Gdiplus::Graphics g(bitmap.get());
    CKXCtrlRenderHint hint;
    CKXCtrlCursor ctx;
    list.Draw(&g, 0, 0, &hint, &ctx);
    return bitmap;
}

// Two rows of solid blocks (their text's colour is easy to find), the first selected.
void TwoSolidRows(CKXCtrlListBox& list)
{
    list.Create(1, 0, 0, 200, 100);
    list.AddItem(L"██████", 0);
    list.AddItem(L"██████", 1);
    list.UpdateScrollBar();
    list.SelectString(L"██████");  // item 0
}

}  // namespace

TEST(ListDrawing, PressedThenHoverThenSelectedDecideTheRowColour)
{
    CKXCtrlListBox list;
    list.Create(1, 0, 0, 200, 100);
    for (int i = 0; i < 4; ++i)
        list.AddItem(L"x", i);
    list.UpdateScrollBar();
    list.SelectString(L"x");  // item 0
    CKXCtrlTheme* theme = CKXCtrlTheme::GetInstance();
    auto rowColour = [&](int row) {
        const std::unique_ptr<Gdiplus::Bitmap> bitmap = Drawn(list);
        Gdiplus::Color c;
        bitmap->GetPixel(180, row * 25 + 12, &c);
        return c.GetValue();
    };
    EXPECT_EQ(rowColour(0), theme->list[KXLIST_SELECTED].style.back);
    list.hoverItem = 0;
    EXPECT_EQ(rowColour(0), theme->list[KXLIST_OVER].style.back);
    list.pressedItem = 0;
    EXPECT_EQ(rowColour(0), theme->list[KXLIST_PRESSED].style.back);
    CKXCtrlCursor ctx;
    list.OnMouseLeave(&ctx);
    EXPECT_EQ(rowColour(0), theme->list[KXLIST_SELECTED].style.back);
}

TEST(ListDrawing, ADisabledListShowsNoRowStateAndDrawsItsTextDim)
{
    CKXCtrlListBox list;
    TwoSolidRows(list);
    CKXCtrlTheme* theme = CKXCtrlTheme::GetInstance();
    // The row's back at its right end and the brightest green of its text.
    auto drawRow = [&](int row, Gdiplus::ARGB* back, int* brightest) {
        const std::unique_ptr<Gdiplus::Bitmap> bitmap = Drawn(list);
        Gdiplus::Color c;
        bitmap->GetPixel(180, row * 25 + 12, &c);
        *back = c.GetValue();
        *brightest = 0;
        for (int x = 2; x < 120; ++x)
            for (int y = row * 25 + 2; y < row * 25 + 23; ++y) {
                bitmap->GetPixel(x, y, &c);
                *brightest = std::max(*brightest, static_cast<int>(c.GetG()));
            }
    };
    Gdiplus::ARGB back = 0;
    int enabledText = 0, disabledText = 0;
    drawRow(1, &back, &enabledText);
    list.enabled = 0;
    drawRow(0, &back, &disabledText);
    EXPECT_NE(back, theme->list[KXLIST_SELECTED].style.back);
    drawRow(1, &back, &disabledText);
    EXPECT_LT(disabledText, enabledText - 60);
}

namespace {

// The contrast ratio of two colours as sRGB (1 to 21; text is readable from 4.5).
double Contrast(Gdiplus::ARGB a, Gdiplus::ARGB b)
{
    auto luminance = [](Gdiplus::ARGB c) {
        auto channel = [](unsigned v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel((c >> 16) & 0xFF) + 0.7152 * channel((c >> 8) & 0xFF) + 0.0722 * channel(c & 0xFF);
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

// A row picked with the pointer still over it (as a format is chosen), selected or plain: its
// text reads well against its back.
TEST(ListDrawing, EveryRowStateDrawsItsTextReadably)
{
    CKXCtrlListBox list;
    TwoSolidRows(list);
    // The most contrasting pixel of the row's text against the row's back at its right end.
    auto rowContrast = [&](int row) {
        const std::unique_ptr<Gdiplus::Bitmap> bitmap = Drawn(list);
        Gdiplus::Color c;
        bitmap->GetPixel(180, row * 25 + 12, &c);
        const Gdiplus::ARGB back = c.GetValue();
        double best = 1.0;
        for (int x = 2; x < 120; ++x)
            for (int y = row * 25 + 2; y < row * 25 + 23; ++y) {
                bitmap->GetPixel(x, y, &c);
                best = std::max(best, Contrast(back, c.GetValue()));
            }
        return best;
    };
    EXPECT_GE(rowContrast(1), 4.5) << "plain";
    EXPECT_GE(rowContrast(0), 4.5) << "selected";
    list.hoverItem = 0;
    EXPECT_GE(rowContrast(0), 4.5) << "selected, pointer over it";
    list.hoverItem = 1;
    EXPECT_GE(rowContrast(1), 4.5) << "pointer over it";
    list.pressedItem = 1;
    EXPECT_GE(rowContrast(1), 3.0) << "pressed (only while the button is held)";
}
