#include "framework/CKXCtrlEdit.h"

#include "tests/support/framework/ControlTestSupport.h"

#include <cwctype>

#include "platform/ui/uisystem.h"

using namespace quiva::test;
using Gdiplus::RectF;

namespace {

class EditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        panel.Create(0, 0, 0, 400, 300);
        first.Create(1, 10, 10, 200, 24);
        second.Create(2, 10, 50, 200, 24);
        panel.AddControl(&first);
        panel.AddControl(&second);
    }
    void TearDown() override
    {
        SetKey(VK_SHIFT, false);
        SetKey(VK_CONTROL, false);
    }
    FixedMeasurer measure;
    RecordingPanel panel;
    CKXCtrlEdit first, second;
    CKXCtrlCursor ctx;
    BOOL handled = 0;
};

}  // namespace

TEST_F(EditTest, FirstClickSelectsAllAndTheSecondPlacesTheCaret)
{
    first.SetEditText(L"hello", &ctx);
    EXPECT_EQ(first.OnLButtonDown(20, 20, &handled, &ctx), 1);
    EXPECT_TRUE(first.editing);
    EXPECT_EQ(first.anchor, 0);
    EXPECT_EQ(first.caret, 5);
    EXPECT_EQ(ctx.focus, &first);
    EXPECT_EQ(ctx.captured, &first);
    // x 10 + margin 3 + 25 -> inside character 2.
    first.OnLButtonDown(10 + 3 + 25, 20, &handled, &ctx);
    EXPECT_EQ(first.anchor, 2);
    EXPECT_EQ(first.caret, 2);
    first.OnLButtonUp(38, 20, &handled, &ctx);
    EXPECT_EQ(ctx.captured, nullptr);

    // Disabled and hidden edits take no click.
    second.enabled = 0;
    EXPECT_EQ(second.OnLButtonDown(20, 60, &handled, &ctx), 0);
    EXPECT_EQ(ctx.focus, &first);
}

TEST_F(EditTest, TypingKoreanAndAsciiWithCaretMovesAndSelection)
{
    first.OnLButtonDown(20, 20, &handled, &ctx);
    Type(first, L"검사 abc", &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "검사 abc");
    first.OnKeyDown(VK_HOME, 1, 0, &ctx);
    first.OnKeyDown(VK_RIGHT, 1, 0, &ctx);
    Type(first, L"X", &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "검X사 abc");

    // Shift+End selects to the end; typing replaces the selection.
    SetKey(VK_SHIFT, true);
    first.OnKeyDown(VK_END, 1, 0, &ctx);
    SetKey(VK_SHIFT, false);
    EXPECT_EQ(first.anchor, 2);
    EXPECT_EQ(first.caret, 7);
    Type(first, L"!", &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "검X!");

    // Backspace at 0 and Delete at the end change nothing; Ctrl+A then Delete clears.
    first.OnKeyDown(VK_HOME, 1, 0, &ctx);
    Type(first, L"\b", &ctx);
    first.OnKeyDown(VK_END, 1, 0, &ctx);
    first.OnKeyDown(VK_DELETE, 1, 0, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "검X!");
    Type(first, L"\x01", &ctx);
    first.OnKeyDown(VK_DELETE, 1, 0, &ctx);
    EXPECT_TRUE(first.GetEditText().IsEmpty());
}

TEST_F(EditTest, ControlCharactersAreNotInserted)
{
    first.OnLButtonDown(20, 20, &handled, &ctx);
    Type(first, L"a", &ctx);
    for (UINT ch : {0u, 2u, 7u, 10u, 14u, 27u, 31u, 127u})
        first.OnChar(ch, 1, 0, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "a");
    EXPECT_EQ(first.GetEditText().GetLength(), 1);
}

TEST_F(EditTest, EscapeRestoresTheTextOfTheStartAndStillReportsTheEnd)
{
    first.SetEditText(L"old", &ctx);
    first.OnLButtonDown(20, 20, &handled, &ctx);
    Type(first, L"new", &ctx);
    first.OnLButtonDown(15, 20, &handled, &ctx);  // a second click keeps the saved text
    Type(first, L"er", &ctx);
    first.OnKeyDown(VK_ESCAPE, 1, 0, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "old");
    EXPECT_FALSE(first.editing);
    EXPECT_EQ(ctx.focus, nullptr);
    EXPECT_EQ(panel.Kinds(), std::vector<std::string>{"editend"});
}

TEST_F(EditTest, EnterTabAndArrowsEndEditingBeforeTheNextEditStarts)
{
    // Enter: the first edit ends (reported) and the next edit starts editing, all selected.
    second.SetEditText(L"two", &ctx);
    first.OnLButtonDown(20, 20, &handled, &ctx);
    EXPECT_EQ(first.OnChar(13, 1, 0, &ctx), 1);
    EXPECT_FALSE(first.editing);
    EXPECT_TRUE(second.editing);
    EXPECT_EQ(second.caret, 3);
    EXPECT_EQ(second.anchor, 0);
    EXPECT_EQ(ctx.focus, &second);
    ASSERT_EQ(panel.notices.size(), 1u);
    EXPECT_EQ(panel.notices[0].sender, &first);

    // Up from the second edit: the second edit's end is reported before the first starts.
    second.OnKeyDown(VK_UP, 1, 0, &ctx);
    ASSERT_EQ(panel.notices.size(), 2u);
    EXPECT_EQ(panel.notices[1].sender, &second);
    EXPECT_FALSE(second.editing);
    EXPECT_TRUE(first.editing);
    EXPECT_EQ(ctx.focus, &first);

    // Shift+Tab from the first edit: nothing before it, so only its end is reported.
    SetKey(VK_SHIFT, true);
    first.OnChar(9, 1, 0, &ctx);
    SetKey(VK_SHIFT, false);
    EXPECT_FALSE(first.editing);
    EXPECT_EQ(ctx.focus, nullptr);
    EXPECT_EQ(panel.notices.size(), 3u);
}

TEST_F(EditTest, MultiLineEnterInsertsALineFeedAndArrowsMoveBetweenLines)
{
    first.multiLine = 1;
    first.SetRect(10, 10, 200, 100);
    first.OnLButtonDown(20, 20, &handled, &ctx);
    Type(first, L"abc", &ctx);
    EXPECT_EQ(first.OnChar(13, 1, 0, &ctx), 0);
    Type(first, L"de", &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "abc\nde");
    first.OnKeyDown(VK_UP, 1, 0, &ctx);
    EXPECT_EQ(first.caret, 2);
    first.OnKeyDown(VK_DOWN, 1, 0, &ctx);
    EXPECT_EQ(first.caret, 6);
    EXPECT_TRUE(first.editing);
}

TEST_F(EditTest, WordSelectionAndWordJumps)
{
    first.SetEditText(L"hello world", &ctx);
    first.OnLButtonDblClk(10 + 3 + 22, 20, &handled, &ctx);
    EXPECT_EQ(first.anchor, 0);
    EXPECT_EQ(first.caret, 5);
    EXPECT_TRUE(first.editing);
    first.OnKeyDown(VK_HOME, 1, 0, &ctx);
    SetKey(VK_CONTROL, true);
    std::vector<int> stops;
    for (int i = 0; i < 4; ++i) {
        first.OnKeyDown(VK_RIGHT, 1, 0, &ctx);
        stops.push_back(first.caret);
    }
    first.OnKeyDown(VK_LEFT, 1, 0, &ctx);
    SetKey(VK_CONTROL, false);
    EXPECT_EQ(stops, (std::vector<int>{5, 6, 11, 11}));
    EXPECT_EQ(first.caret, 11);
}

TEST_F(EditTest, ImeCompositionReplacesOnlyItsOwnProvisionalCharacter)
{
    first.OnLButtonDown(20, 20, &handled, &ctx);
    Type(first, L"ab", &ctx);
    first.OnKeyDown(VK_LEFT, 1, 0, &ctx);  // caret between a and b
    ctx.imeState = 1;                      // composition started
    first.OnImeComposition(L'ㄱ', GCS_COMPSTR, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "aㄱb");
    EXPECT_EQ(ctx.imeState, 3);
    first.OnImeComposition(L'가', GCS_COMPSTR, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "a가b");
    first.OnImeComposition(L'가', GCS_RESULTSTR, &ctx);
    first.OnChar(L'가', 1, 0, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "a가b");
    EXPECT_EQ(ctx.imeState, 1);

    // A second result with no provisional character leaves the user's "b" alone.
    first.OnImeComposition(L'나', GCS_RESULTSTR, &ctx);
    first.OnChar(L'나', 1, 0, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "a가나b");

    // Result and a new composition in one message; then a cancel.
    first.OnImeComposition(L'ㄷ', GCS_COMPSTR, &ctx);
    first.OnImeComposition(L'ㄹ', GCS_RESULTSTR | GCS_COMPSTR, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "a가나ㄹb");
    first.OnImeComposition(27, GCS_COMPSTR, &ctx);
    EXPECT_EQ(Utf8(first.GetEditText()), "a가나b");
    EXPECT_EQ(ctx.imeState, 0);
}

// Enter moves on while 가 is being composed: it stays as typed, and a composition in the next
// edit, before that edit's own text, takes none of it.
TEST_F(EditTest, ACharacterBeingComposedStaysWhenTheKeysMoveOn)
{
    second.SetEditText(L"xy", nullptr);
    ControlHost host(panel);
    host.Click(50, 20);
    quiva::ui::InjectKeyStroke('A', L'a');
    quiva::ui::InjectImeComposition(L"가");
    quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    quiva::ui::InjectKeyStroke(VK_HOME);
    quiva::ui::InjectImeComposition(L"ㄴ");
    ControlHost::Pump();
    EXPECT_EQ(Utf8(first.GetEditText()), "a가");
    EXPECT_EQ(Utf8(second.GetEditText()), "ㄴxy");
    quiva::ui::InjectImeResult(L"나");
    ControlHost::Pump();
    EXPECT_EQ(Utf8(second.GetEditText()), "나xy");
}

TEST_F(EditTest, CaretScrollingFollowsTheCaretAndEnds)
{
    first.SetRect(10, 10, 60, 24);  // 60 wide: five characters fit
    first.OnLButtonDown(20, 20, &handled, &ctx);
    Type(first, L"abcdefghijkl", &ctx);
    EXPECT_LT(first.scrollX, 0.0f);
    const RectF caretAtEnd = first.GetCaretRect();
    EXPECT_LE(caretAtEnd.X, 10.0f + 60.0f);
    EXPECT_GE(caretAtEnd.X, 10.0f);
    // Back home: scrolled right by whole character widths until the caret is inside again.
    first.OnKeyDown(VK_HOME, 1, 0, &ctx);
    EXPECT_LE(first.scrollX, 0.0f);
    EXPECT_GT(first.scrollX, -10.0f);
    EXPECT_GE(first.GetCaretRect().X, 10.0f);

    // Characters narrower than the margin still end the scrolling.
    FixedMeasurer narrow(2.0f);
    first.SetEditText(L"", &ctx);
    first.OnKeyDown(VK_HOME, 1, 0, &ctx);
    Type(first, std::wstring(100, L'l'), &ctx);
    EXPECT_LE(first.GetCaretRect().X, 10.0f + 60.0f);
}

TEST_F(EditTest, PasswordCueAndMaskDecideWhatIsMeasured)
{
    first.password = 1;
    first.SetEditText(L"abc", &ctx);
    first.LayoutText(&ctx);
    ASSERT_EQ(first.charBoxes.size(), 3u);
    first.maskChar = L"**";
    first.LayoutText(&ctx);
    EXPECT_EQ(first.charBoxes.size(), 6u);
    first.password = 0;

    second.displayMask = L"yyyy-mm-dd";
    second.SetEditText(L"20240105", &ctx);
    EXPECT_EQ(Utf8(second.GetDisplayText(second.GetEditText())), "2024-01-05");
    second.LayoutText(&ctx);
    EXPECT_EQ(second.charBoxes.size(), 8u);  // editing measures the raw text
}

TEST(EditInHost, InjectedKeysAndCompositionReachTheEdit)
{
    FixedMeasurer measure;
    RecordingPanel panel;
    panel.Create(0, 0, 0, 600, 400);
    CKXCtrlEdit edit, next;
    edit.Create(1, 10, 10, 200, 24);
    next.Create(2, 10, 50, 200, 24);
    panel.AddControl(&edit);
    panel.AddControl(&next);
    ControlHost host(panel);
    host.Click(50, 20);
    for (wchar_t ch : std::wstring(L"ab"))
        quiva::ui::InjectKeyStroke(static_cast<UINT>(towupper(ch)), ch);
    quiva::ui::InjectKeyStroke(VK_LEFT);
    quiva::ui::InjectImeComposition(L"ㄱ");
    quiva::ui::InjectImeComposition(L"가");
    quiva::ui::InjectImeResult(L"가");
    quiva::ui::InjectKeyStroke(VK_END);
    quiva::ui::InjectImeComposition(L"ㅎ");
    quiva::ui::InjectImeResult(L"하");
    ControlHost::Pump();
    EXPECT_EQ(Utf8(edit.GetEditText()), "a가b하");
    EXPECT_TRUE(edit.editing);
    EXPECT_EQ(edit.caret, 4);

    // Enter ends the edit and hands the keyboard to the next one.
    quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    ControlHost::Pump();
    EXPECT_FALSE(edit.editing);
    EXPECT_TRUE(next.editing);
    EXPECT_EQ(panel.Kinds(), std::vector<std::string>{"editend"});
}

TEST(EditInHost, TextTheInputMethodCommitsIsDrawnAtOnce)
{
    // Hangul, and punctuation without a key code of its own, arrive as committed input-method
    // text with no key going down; the edit must show it without waiting for another repaint.
    RecordingPanel panel;
    panel.Create(0, 0, 0, 300, 100);
    CKXCtrlEdit edit;
    edit.Create(1, 10, 10, 185, 25);
    panel.AddControl(&edit);
    ControlHost host(panel, 300, 100);
    host.Click(50, 20);
    ControlHost::Pump();
    ASSERT_TRUE(edit.editing);
    // The brightest channel over the edit's text area, as the window shows it.
    auto brightest = [&] {
        const quiva::Surface* surface = quiva::ui::WindowSurface(host.wnd->m_hWnd);
        const POINT o = quiva::ui::ClientOriginInSurface(host.wnd->m_hWnd);
        uint32_t most = 0;
        for (int y = 14; y < 31; ++y)
            for (int x = 13; x < 190; ++x) {
                const uint32_t c = surface->At(o.x + x, o.y + y);
                most = std::max({most, (c >> 16) & 0xFFu, (c >> 8) & 0xFFu, c & 0xFFu});
            }
        return most;
    };
    const uint32_t empty = brightest();
    quiva::ui::InjectImeResult(L"위");
    ControlHost::Pump();
    EXPECT_EQ(Utf8(edit.GetEditText()), "위");
    EXPECT_GT(brightest(), empty + 60);
}

TEST(EditLayout, RealFontGivesOneBoxPerCharacterTrailingSpacesIncluded)
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    CKXCtrlCursor ctx;
    CKXCtrlEdit edit;
    edit.Create(1, 0, 0, 120, 24);
    edit.SetEditText(L"가a  ", &ctx);
    ASSERT_EQ(edit.charBoxes.size(), 4u);
    for (size_t i = 1; i < edit.charBoxes.size(); ++i) {
        EXPECT_GT(edit.charBoxes[i].X, edit.charBoxes[i - 1].X) << i;
        EXPECT_GT(edit.charBoxes[i].Width, 0.0f) << i;
    }
    // No wrapping: a text wider than the edit stays on one line.
    edit.SetEditText(CString(L'x', 60), &ctx);
    ASSERT_EQ(edit.charBoxes.size(), 60u);
    EXPECT_FLOAT_EQ(edit.charBoxes.back().Y, edit.charBoxes.front().Y);
    EXPECT_GT(edit.charBoxes.back().X, 120.0f);
}

TEST(EditLayout, TabsStopEveryEightyUnits)
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    CKXCtrlCursor ctx;
    CKXCtrlEdit edit;
    edit.Create(1, 0, 0, 400, 24);
    edit.SetEditText(L"a\tb\tc", &ctx);
    ASSERT_EQ(edit.charBoxes.size(), 5u);
    EXPECT_NEAR(edit.charBoxes[2].X, 80.0f, 1.0f);
    EXPECT_NEAR(edit.charBoxes[4].X, 160.0f, 1.0f);
}
