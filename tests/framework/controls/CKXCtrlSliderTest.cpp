#include "framework/CKXCtrlSlider.h"

#include "tests/support/framework/ControlTestSupport.h"

using namespace quiva::test;

namespace {
class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel.Create(0, 0, 0, 600, 400);
        slider.Create(4, 0, 0, 156, 20);  // track 100 long, trackLength 92
        panel.AddControl(&slider);
        slider.SetRange(0, 100);
    }
    FixedMeasurer measure;
    RecordingPanel panel;
    CKXCtrlSlider slider;
    CKXCtrlCursor ctx;
    BOOL handled = 0;
};
}  // namespace

TEST_F(SliderTest, ValuesAreClampedAndShown)
{
    slider.SetValue(-5);
    EXPECT_EQ(Utf8(slider.GetEditText()), "0.0");
    slider.SetValue(250);
    EXPECT_EQ(Utf8(slider.GetEditText()), "100.0");
    slider.integerValues = 1;
    slider.SetValue(37.9f);
    EXPECT_EQ(Utf8(slider.GetEditText()), "37");
    EXPECT_FLOAT_EQ(slider.GetValue(), 37.0f);
}

TEST_F(SliderTest, WholeNumbersSetAreReadBackWholeAndFractionsAreTruncated)
{
    slider.SetRange(-127, 127);
    for (int v = -127; v <= 127; ++v) {
        slider.SetValue(static_cast<float>(v));
        ASSERT_EQ(slider.GetTruncatedValue(), v);
    }
    slider.SetValue(50.7f);
    EXPECT_EQ(slider.GetTruncatedValue(), 50);
    slider.SetValue(-20.6f);
    EXPECT_EQ(slider.GetTruncatedValue(), -20);
}

TEST_F(SliderTest, EmptyRangeIsHiddenAndNeverDividesByZero)
{
    slider.SetRange(5, 5);
    EXPECT_FALSE(slider.visible);
    slider.SetValue(5);
    EXPECT_FALSE(slider.visible);
    slider.SetRange(-127, 127);
    EXPECT_TRUE(slider.visible);
    slider.SetValue(0);
    EXPECT_EQ(Utf8(slider.GetEditText()), "0.0");
}

TEST_F(SliderTest, UpSubtractsOneDownAddsOnePointZeroFiveBothNotify)
{
    slider.SetValue(50);
    slider.OnKeyDown(VK_DOWN, 1, 0, &ctx);
    EXPECT_NEAR(slider.GetValue(), 51.05f, 1e-3);
    slider.OnKeyDown(VK_UP, 1, 0, &ctx);
    EXPECT_NEAR(slider.GetValue(), 50.05f, 1e-3);
    EXPECT_EQ(panel.Kinds(), (std::vector<std::string>{"value", "value"}));
}

TEST_F(SliderTest, TypedNumberIsReportedBeforeTheEditEndAndGarbageKeepsTheValue)
{
    slider.SetValue(40);
    // A press on the value box starts editing its text.
    slider.OnLButtonDown(120, 10, &handled, &ctx);
    ASSERT_TRUE(slider.editing);
    Type(slider, L"\x01" L"50", &ctx);
    slider.KillFocus(&ctx);
    EXPECT_FLOAT_EQ(slider.GetValue(), 50.0f);
    EXPECT_EQ(panel.Kinds(), (std::vector<std::string>{"value", "editend"}));

    slider.OnLButtonDown(120, 10, &handled, &ctx);
    Type(slider, L"\x01" L"abc", &ctx);
    slider.KillFocus(&ctx);
    EXPECT_FLOAT_EQ(slider.GetValue(), 50.0f);
    EXPECT_EQ(Utf8(slider.GetEditText()), "50.0");
}

TEST_F(SliderTest, DragAndTrackClickReachTheEnds)
{
    slider.SetValue(0);
    // Thumb at x 0..8 of the control; drag it 46 units: half way.
    EXPECT_EQ(slider.OnLButtonDown(3, 10, &handled, &ctx), 1);
    EXPECT_TRUE(slider.dragging);
    slider.OnMouseMove(3 + 46, 10, &handled, &ctx);
    EXPECT_FLOAT_EQ(slider.GetValue(), 50.0f);
    slider.OnMouseMove(400, 10, &handled, &ctx);
    EXPECT_FLOAT_EQ(slider.GetValue(), 100.0f);
    slider.OnLButtonUp(400, 10, &handled, &ctx);

    // A click at the far end of the track gives the maximum.
    slider.SetValue(0);
    slider.OnLButtonDown(103, 10, &handled, &ctx);
    EXPECT_TRUE(slider.trackPressed);
    EXPECT_EQ(slider.OnLButtonUp(103, 10, &handled, &ctx), 1);
    EXPECT_FLOAT_EQ(slider.GetValue(), 100.0f);
}

TEST_F(SliderTest, VerticalValueBoxSitsBelowItsOwnTop)
{
    CKXCtrlSlider vertical;
    vertical.horizontal = 0;
    vertical.SetRect(0, 100, 30, 200);
    EXPECT_FLOAT_EQ(vertical.textArea.Y, 156.0f);
    EXPECT_FLOAT_EQ(vertical.textArea.Height, 40.0f);
    EXPECT_FLOAT_EQ(vertical.track.Height, 144.0f);
}
