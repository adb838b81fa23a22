#include "framework/KXTextEditing.h"

#include <gtest/gtest.h>

using namespace quiva;

namespace {
// Boxes of a one-line text with a fixed advance per character.
std::vector<CharBox> LineBoxes(int count, float advance, float height = 12.0f)
{
    std::vector<CharBox> boxes;
    for (int i = 0; i < count; ++i)
        boxes.push_back(CharBox{i * advance, 0.0f, advance, height});
    return boxes;
}
}  // namespace

TEST(TextEditing, WordRunsOfTwoWords)
{
    const CString text = L"hello world";
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(FindWordBoundary(text, i, false), 0) << i;
        EXPECT_EQ(FindWordBoundary(text, i, true), 5) << i;
    }
    // Ctrl+Right walks 0 -> 5 -> 6 -> 11 and stays at the end.
    EXPECT_EQ(FindWordBoundary(text, 0, true), 5);
    EXPECT_EQ(FindWordBoundary(text, 5, true), 6);
    EXPECT_EQ(FindWordBoundary(text, 6, true), 11);
    EXPECT_EQ(FindWordBoundary(text, 11, true), 11);
    EXPECT_EQ(FindWordBoundary(text, 11, false), 11);
}

TEST(TextEditing, DelimiterRunsAreOneRepeatedCharacter)
{
    const CString spaces = L"a   b";
    EXPECT_EQ(FindWordBoundary(spaces, 2, false), 1);
    EXPECT_EQ(FindWordBoundary(spaces, 2, true), 4);
    // A space between two different delimiters stands alone.
    const CString mixed = L"a. ,b";
    EXPECT_EQ(FindWordBoundary(mixed, 2, false), 2);
    EXPECT_EQ(FindWordBoundary(mixed, 2, true), 3);
    // Korean letters are word characters.
    const CString korean = L"검사 이름";
    EXPECT_EQ(FindWordBoundary(korean, 1, false), 0);
    EXPECT_EQ(FindWordBoundary(korean, 0, true), 2);
    for (wchar_t ch : std::wstring(L" !@#$%^&*()_+|-=\\[]{};':\",./<>?`~\n\t"))
        EXPECT_TRUE(IsWordDelimiter(ch)) << static_cast<int>(ch);
    EXPECT_FALSE(IsWordDelimiter(L'가'));
    EXPECT_FALSE(IsWordDelimiter(L'\0'));
}

TEST(TextEditing, ControlCharactersNeverEnterTheText)
{
    for (wchar_t ch = 0; ch < 32; ++ch)
        EXPECT_FALSE(IsInsertableChar(ch)) << static_cast<int>(ch);
    EXPECT_FALSE(IsInsertableChar(127));
    EXPECT_TRUE(IsInsertableChar(L' '));
    EXPECT_TRUE(IsInsertableChar(L'가'));
}

TEST(TextEditing, SelectionDeletionAndInsertion)
{
    CString text = L"abcdef";
    int anchor = 4, caret = 1;
    EXPECT_TRUE(DeleteSelectedText(text, anchor, caret));
    EXPECT_EQ(text, CString(L"aef"));
    EXPECT_EQ(anchor, 1);
    EXPECT_EQ(caret, 1);
    EXPECT_FALSE(DeleteSelectedText(text, anchor, caret));

    // Indices beyond the text are clamped, never read past it.
    anchor = -3;
    caret = 40;
    EXPECT_TRUE(DeleteSelectedText(text, anchor, caret));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(caret, 0);

    InsertAtCaret(text, anchor, caret, L"가나");
    InsertAtCaret(text, anchor, caret, L"x");
    EXPECT_EQ(text, CString(L"가나x"));
    EXPECT_EQ(caret, 3);
    EXPECT_EQ(anchor, 3);
    caret = 99;
    InsertAtCaret(text, anchor, caret, L"!");
    EXPECT_EQ(text, CString(L"가나x!"));
    EXPECT_EQ(caret, 4);
}

TEST(TextEditing, CaretLeftOfTheAreaScrollsByWholeFirstBoxes)
{
    CaretScroll area{3.0f, 4.0f, 100.0f, 20.0f, 10.0f, 12.0f};
    float scrollX = -95.0f, scrollY = 0.0f;
    // Caret on character 6 (x 60): 3 - 95 + 60 = -32 -> four steps of 10.
    CaretPoint p = ScrollCaretIntoView(area, CharBox{60, 0, 10, 12}, scrollX, scrollY);
    EXPECT_FLOAT_EQ(scrollX, -55.0f);
    EXPECT_FLOAT_EQ(p.x, 8.0f);
    // Near the start the offset would turn positive: it is pinned at 0.
    scrollX = -15.0f;
    p = ScrollCaretIntoView(area, CharBox{0, 0, 10, 12}, scrollX, scrollY);
    EXPECT_FLOAT_EQ(scrollX, 0.0f);
    EXPECT_FLOAT_EQ(p.x, 3.0f);
}

TEST(TextEditing, CaretRightOfTheAreaStepsByFirstBoxLessMargin)
{
    CaretScroll area{3.0f, 4.0f, 100.0f, 20.0f, 10.0f, 12.0f};
    float scrollX = 0.0f, scrollY = 0.0f;
    // 3 + 130 = 133 > 100: steps of 7 until <= 100 -> five steps.
    const CaretPoint p = ScrollCaretIntoView(area, CharBox{130, 0, 1, 12}, scrollX, scrollY);
    EXPECT_FLOAT_EQ(scrollX, -35.0f);
    EXPECT_FLOAT_EQ(p.x, 98.0f);
    EXPECT_FLOAT_EQ(scrollY, 0.0f);
}

TEST(TextEditing, ScrollingEndsWhenTheStepIsNotPositive)
{
    // "l" or "." narrower than the margin: the right-hand step is negative.
    CaretScroll narrow{3.0f, 4.0f, 100.0f, 20.0f, 2.5f, 12.0f};
    float scrollX = 0.0f, scrollY = 0.0f;
    CaretPoint p = ScrollCaretIntoView(narrow, CharBox{500, 0, 1, 12}, scrollX, scrollY);
    EXPECT_LE(p.x, 100.0f);
    EXPECT_FLOAT_EQ(scrollX, -403.0f);

    // A multi-line text starting with a line feed measures an empty first box.
    CaretScroll empty{3.0f, 4.0f, 100.0f, 40.0f, 0.0f, 0.0f};
    scrollX = 0.0f;
    scrollY = 0.0f;
    p = ScrollCaretIntoView(empty, CharBox{0, 90, 1, 12}, scrollX, scrollY);
    EXPECT_FLOAT_EQ(p.x, 3.0f);
    EXPECT_LE(p.y, 40.0f);
    EXPECT_FLOAT_EQ(scrollY, -54.0f);
    scrollY = -200.0f;
    p = ScrollCaretIntoView(empty, CharBox{0, 0, 1, 12}, scrollX, scrollY);
    EXPECT_GE(p.y, 0.0f);
}

TEST(TextEditing, MultiLineCaretBelowTheAreaScrollsUpByLines)
{
    CaretScroll area{3.0f, 4.0f, 100.0f, 40.0f, 8.0f, 15.0f};
    float scrollX = 0.0f, scrollY = 0.0f;
    // Line 4 (y 60): 4 + 60 = 64 > 40 -> two steps of 15.
    const CaretPoint p = ScrollCaretIntoView(area, CharBox{0, 60, 8, 15}, scrollX, scrollY);
    EXPECT_FLOAT_EQ(scrollY, -30.0f);
    EXPECT_FLOAT_EQ(p.y, 34.0f);
    // Back to the first line: scrolls down again by whole lines.
    const CaretPoint q = ScrollCaretIntoView(area, CharBox{0, 0, 8, 15}, scrollX, scrollY);
    EXPECT_FLOAT_EQ(scrollY, 0.0f);
    EXPECT_FLOAT_EQ(q.y, 4.0f);
}

TEST(TextEditing, CaretBoxesAndHitTesting)
{
    const std::vector<CharBox> boxes = LineBoxes(5, 10.0f);
    const CharBox end = CaretBoxOf(boxes, 5);
    EXPECT_FLOAT_EQ(end.x, 50.0f);
    EXPECT_FLOAT_EQ(end.width, 1.0f);
    EXPECT_FLOAT_EQ(CaretBoxOf(boxes, -2).x, 0.0f);
    EXPECT_FLOAT_EQ(CaretBoxOf({}, 3).width, 1.0f);

    // Points include the margins (3, 4).
    EXPECT_EQ(CharIndexAt(boxes, 12.0f, 3.0f, 4.0f, 3.0f + 25.0f, 10.0f, 5), 2);
    EXPECT_EQ(CharIndexAt(boxes, 12.0f, 3.0f, 4.0f, 0.0f, 10.0f, 5), 0);
    EXPECT_EQ(CharIndexAt(boxes, 12.0f, 3.0f, 4.0f, 300.0f, 10.0f, 5), 5);
    EXPECT_EQ(CharIndexAt(boxes, 12.0f, 3.0f, 4.0f, 13.0f, 500.0f, 5), 1);
    EXPECT_EQ(CharIndexAt({}, 12.0f, 3.0f, 4.0f, 30.0f, 10.0f, 0), 0);

    // Two lines: "ab\n" then "cd"; right of line one's end lands on the next line's start.
    std::vector<CharBox> lines = {{0, 0, 10, 12}, {10, 0, 10, 12}, {20, 0, 2, 12}, {0, 12, 10, 12}, {10, 12, 10, 12}};
    EXPECT_EQ(CharIndexAt(lines, 24.0f, 0.0f, 0.0f, 60.0f, 5.0f, 5), 3);
    EXPECT_EQ(CharIndexAt(lines, 24.0f, 0.0f, 0.0f, 15.0f, 18.0f, 5), 4);
    EXPECT_EQ(CharIndexAt(lines, 24.0f, 0.0f, 0.0f, 60.0f, 18.0f, 5), 5);
}
