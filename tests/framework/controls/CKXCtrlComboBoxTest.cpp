#include "framework/CKXCtrlComboBox.h"

#include "framework/CKXWnd.h"
#include "platform/ui/uisystem.h"
#include "tests/support/framework/ControlTestSupport.h"

using namespace quiva::test;
using Gdiplus::RectF;

namespace {
class ComboTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel.Create(0, 0, 0, 600, 400);
        combo.Create(3, 10, 10, 200, 24);
        panel.AddControl(&combo);
    }
    void Fill(int count)
    {
        for (int i = 0; i < count; ++i)
            combo.AddItem(CString(L"검사 ") + CString(static_cast<wchar_t>(L'A' + i)), 0);
    }
    FixedMeasurer measure;
    RecordingPanel panel;
    CKXCtrlComboBox combo;
};
}  // namespace

TEST_F(ComboTest, ArrowGeometryAndDropHeight)
{
    EXPECT_FLOAT_EQ(combo.textArea.Width, 176.0f);
    EXPECT_FLOAT_EQ(combo.arrowRect.X, 176.0f);
    EXPECT_FLOAT_EQ(combo.arrowRect.Width, 24.0f);
    const RectF glyph = combo.GlyphBox();
    EXPECT_FLOAT_EQ(glyph.X - combo.ArrowArea().X, 8.0f);
    EXPECT_FLOAT_EQ(glyph.Y - combo.ArrowArea().Y, 10.0f);
    EXPECT_FLOAT_EQ(glyph.Width, 8.0f);
    EXPECT_FLOAT_EQ(glyph.Height, 4.0f);
    Fill(25);
    EXPECT_EQ(combo.DropHeight(1.0f), 251);
    combo.dropList.RemoveAll();
    Fill(3);
    EXPECT_EQ(combo.DropHeight(1.0f), 76);
}

TEST_F(ComboTest, EditTextFallsBackToListItemsWithoutData)
{
    combo.AddItem(L"first", 0);
    combo.AddItem(L"second", 0);
    EXPECT_EQ(Utf8(combo.GetEditText()), "first");
    combo.dropList.SelectString(L"second");
    EXPECT_EQ(Utf8(combo.GetEditText()), "second");
    combo.dropList.items[1]->data = 7;
    combo.dropList.items[0]->data = 7;
    EXPECT_TRUE(combo.GetEditText().IsEmpty());
    combo.SetCurSel(1);
    EXPECT_EQ(Utf8(combo.GetEditText()), "second");
}

TEST_F(ComboTest, DropDownChoosesAnItemAndTellsTheContainer)
{
    Fill(5);
    combo.SetEditText(L"검사 B", nullptr);
    ControlHost host(panel);
    host.Click(10 + 200 - 12, 20);  // the arrow
    host.Click(50, 34 + 25 * 3 + 12);  // row 3 of the drop-down below the combo
    ControlHost::Pump();
    EXPECT_EQ(Utf8(combo.GetEditText()), "검사 D");
    EXPECT_EQ(panel.Kinds(), std::vector<std::string>{"command"});
    EXPECT_FALSE(combo.droppedDown);
    EXPECT_FALSE(combo.arrowPressed);
}

TEST_F(ComboTest, AnOutsideClickClosesWithoutAChoiceAndStillReaches)
{
    Fill(5);
    combo.SetEditText(L"검사 B", nullptr);
    CKXCtrlEdit other;
    other.Create(9, 300, 300, 100, 24);
    panel.AddControl(&other);
    ControlHost host(panel);
    host.Click(10 + 200 - 12, 20);
    host.Click(320, 310);  // outside the drop-down, on another edit
    ControlHost::Pump();
    EXPECT_EQ(Utf8(combo.GetEditText()), "검사 B");
    EXPECT_EQ(panel.Kinds(), std::vector<std::string>{"command"});
    EXPECT_TRUE(other.editing);  // the click went on to the window underneath
}

TEST_F(ComboTest, EscapeClosesTheDropDownWithoutAChoice)
{
    Fill(25);
    combo.SetEditText(L"검사 C", nullptr);
    ControlHost host(panel);
    host.Click(10 + 200 - 12, 20);
    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    ControlHost::Pump();
    EXPECT_EQ(Utf8(combo.GetEditText()), "검사 C");
    EXPECT_EQ(panel.Kinds(), std::vector<std::string>{"command"});
    EXPECT_EQ(GetFocus(), host.wnd->m_hWnd);  // the keyboard is back with the host
    // The list opened on the edited text.
    ASSERT_EQ(combo.dropList.GetSelection().size(), 1u);
    EXPECT_EQ(Utf8(combo.dropList.GetSelection()[0]->text), "검사 C");
}
