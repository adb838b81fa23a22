#include "framework/KXTextEditing.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

namespace quiva {

namespace {

const wchar_t kDelimiters[] = L" !@#$%^&*()_+|-=\\[]{};':\",./<>?`~\n\t";

int Clamp(int value, int low, int high)
{
    return std::max(low, std::min(value, high));
}

// Moves `point` to at least 0 in steps of `step` and returns the total shift. A step that is
// not positive cannot get there; the point then moves by exactly its distance to 0.
float ShiftUp(float& point, float step)
{
    if (point >= 0.0f)
        return 0.0f;
    float shift;
    if (step > 0.0f) {
        const float n = std::ceil(-point / step);
        shift = n * step;
        // Float rounding may leave the point a hair short of 0; one more step settles it.
        if (point + shift < 0.0f)
            shift += step;
    } else {
        shift = -point;
    }
    point += shift;
    return shift;
}

// Moves `point` down to at most `limit` in steps of `step`; same rule as above.
float ShiftDown(float& point, float limit, float step)
{
    if (point <= limit)
        return 0.0f;
    float shift;
    if (step > 0.0f) {
        const float n = std::ceil((point - limit) / step);
        shift = n * step;
        if (point - shift > limit)
            shift += step;
    } else {
        shift = point - limit;
    }
    point -= shift;
    return shift;
}

}  // namespace

bool IsWordDelimiter(wchar_t ch)
{
    return ch != L'\0' && std::wcschr(kDelimiters, ch) != nullptr;
}

int FindWordBoundary(const CString& text, int index, bool forward)
{
    const int length = text.GetLength();
    if (index >= length)
        return length;
    if (index < 0)
        index = 0;
    const wchar_t first = text[index];
    const bool delimiter = IsWordDelimiter(first);
    auto inRun = [&](wchar_t ch) { return delimiter ? ch == first : !IsWordDelimiter(ch); };
    if (forward) {
        int i = index + 1;
        while (i < length && inRun(text[i]))
            ++i;
        return i;
    }
    int i = index - 1;
    while (i >= 0 && inRun(text[i]))
        --i;
    return i + 1;
}

bool IsInsertableChar(wchar_t ch)
{
    return ch >= 32 && ch != 127;
}

bool DeleteSelectedText(CString& text, int& anchor, int& caret)
{
    if (anchor == caret)
        return false;
    const int length = text.GetLength();
    const int lo = Clamp(std::min(anchor, caret), 0, length);
    const int hi = Clamp(std::max(anchor, caret), 0, length);
    if (hi > lo)
        text.Delete(lo, hi - lo);
    anchor = caret = lo;
    return true;
}

void InsertAtCaret(CString& text, int& anchor, int& caret, const CString& insert)
{
    caret = Clamp(caret, 0, text.GetLength());
    text.Insert(caret, insert.GetString());
    caret += insert.GetLength();
    anchor = caret;
}

CaretPoint ScrollCaretIntoView(const CaretScroll& area, const CharBox& caret, float& scrollX, float& scrollY)
{
    CaretPoint p{area.marginX + scrollX + caret.x, area.marginY + scrollY + caret.y};
    const bool inside = p.x >= 0.0f && p.x < area.areaWidth && p.y >= 0.0f && p.y < area.areaHeight;
    if (!inside) {
        scrollX += ShiftUp(p.x, area.firstWidth);
        scrollX -= ShiftDown(p.x, area.areaWidth, area.firstWidth - area.marginX);
        scrollY += ShiftUp(p.y, area.firstHeight);
        scrollY -= ShiftDown(p.y, area.areaHeight, area.firstHeight);
        if (scrollX > 0.0f) {
            scrollX = 0.0f;
            p.x = caret.x + area.marginX;
        }
    }
    return p;
}

CharBox CaretBoxOf(const std::vector<CharBox>& boxes, int index)
{
    const int count = static_cast<int>(boxes.size());
    if (count == 0)
        return CharBox{0.0f, 0.0f, 1.0f, 0.0f};
    if (index < 0)
        index = 0;
    if (index < count)
        return boxes[static_cast<size_t>(index)];
    const CharBox& last = boxes.back();
    return CharBox{last.Right(), last.y, 1.0f, last.height};
}

int CharIndexAt(const std::vector<CharBox>& boxes, float extentHeight, float marginX, float marginY, float x, float y,
                int textLength)
{
    if (boxes.empty())
        return 0;
    x -= marginX;
    y -= marginY;
    bool clampedX = false;
    if (x < 0.0f) {
        x = 1.0f;
        clampedX = true;
    }
    if (y < 0.0f)
        y = 1.0f;
    if (y > extentHeight)
        y = extentHeight - 1.0f;
    const int count = static_cast<int>(boxes.size());
    for (int i = 0; i < count; ++i) {
        const CharBox& box = boxes[static_cast<size_t>(i)];
        const bool inRow = box.y <= y && y < box.Bottom();
        if (!inRow)
            continue;
        if (box.x <= x && x < box.Right())
            return i;
        // Right of the last box of a line (the next box starts lower): the caret goes after it.
        if (x >= box.Right() && i + 1 < count && boxes[static_cast<size_t>(i) + 1].y > box.y)
            return i + 1;
    }
    return clampedX ? 0 : textLength;
}

}  // namespace quiva
