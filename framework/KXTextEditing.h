// Text-editing rules shared by the edit control and the controls built on it: word runs,
// which typed characters enter the text, selection deletion, caret scrolling and hit testing
// against measured character boxes. Nothing here draws or knows about windows.
#pragma once

#include <vector>

#include "platform/base/CString.h"

namespace quiva {

// A measured character box (layout units).
struct CharBox {
    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    float Right() const { return x + width; }
    float Bottom() const { return y + height; }
};

// The 35 characters that separate words: punctuation, the quote characters, line feed, tab.
bool IsWordDelimiter(wchar_t ch);

// The end of the run that holds the character at `index`: a run of word characters, or a run
// of one repeated delimiter. Forward gives the index after the run's last character, backward
// the run's first character. An index at (or past) the text end gives the text length.
int FindWordBoundary(const CString& text, int index, bool forward);

// A typed character that goes into the text. Control characters (below 32, and DEL) never
// do: a NUL would cut the value short wherever it later travels as a C string.
bool IsInsertableChar(wchar_t ch);

// Removes the characters between anchor and caret (clamped to the text) and collapses both
// indices onto the start. Returns false when nothing was selected.
bool DeleteSelectedText(CString& text, int& anchor, int& caret);

// Inserts `insert` at the caret (clamped), moves the caret past it and the anchor onto it.
void InsertAtCaret(CString& text, int& anchor, int& caret, const CString& insert);

// Keeps the caret point inside the text area by moving the scroll offsets.
struct CaretScroll {
    float marginX = 3.0f;
    float marginY = 4.0f;
    float areaWidth = 0.0f;
    float areaHeight = 0.0f;
    // Width and height of the box of character 0: the scroll steps.
    float firstWidth = 0.0f;
    float firstHeight = 0.0f;
};

// Moves scrollX / scrollY so that the caret box `caret` (text coordinates) lies inside the
// area and returns the caret point relative to the text area. The steps are whole first-box
// widths (left), first-box width less the margin (right) and first-box heights (up, down);
// when a step is not positive (a box as narrow as the margin, an empty first box) the offset
// moves by exactly the distance needed instead, so the adjustment always ends.
// scrollX never ends positive.
struct CaretPoint {
    float x = 0.0f;
    float y = 0.0f;
};
CaretPoint ScrollCaretIntoView(const CaretScroll& area, const CharBox& caret, float& scrollX, float& scrollY);

// The caret box of an index: the character's box; past the end a 1-unit box at the right edge
// of the last character. Requires at least one box.
CharBox CaretBoxOf(const std::vector<CharBox>& boxes, int index);

// The character index under a point given relative to the text origin and scroll (margins
// included). `extentHeight` is the height of the measured text. Without boxes the result is 0.
int CharIndexAt(const std::vector<CharBox>& boxes, float extentHeight, float marginX, float marginY, float x, float y,
                int textLength);

}  // namespace quiva
