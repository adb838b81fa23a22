// Windowless single- or multi-line text input: draws its text into the host's paint surface,
// borrows the host's caret, takes keys, characters and input-method composition from its
// container and tells the container when editing ends.
#pragma once

#include <functional>
#include <vector>

#include "framework/CKXCtrl.h"
#include "framework/CKXCtrlCursor.h"

class CKXCtrlEdit : public CKXCtrl, public IKXCtrlKeyboard {
public:
    CKXCtrlEdit();
    ~CKXCtrlEdit() override;

    CString* editText;
    BOOL ownsEditText = 1;
    CString savedText;
    Gdiplus::RectF textArea;
    Gdiplus::RectF textExtent;
    int anchor = 0;
    int caret = 0;
    BOOL editing = 0;
    CString cueText;
    float scrollX = 0.0f, scrollY = 0.0f;
    float marginX = 3.0f, marginY = 4.0f;
    BOOL multiLine = 0;
    BOOL password = 0;
    CString maskChar = L"*";
    BOOL readOnly = 0;
    CString displayMask;
    std::vector<Gdiplus::RectF> charBoxes;  // one per character of the last layout; empty: none
    Gdiplus::RectF caretRect;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                        CKXCtrlCursor* ctx) override;
    void DrawBorder(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnRButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int Create(int id, float x, float y, float width, float height) override;
    void SetRect(float x, float y, float width, float height) override;
    void Activate(CKXCtrlCursor* ctx) override;
    void TakeKeyboard(CKXCtrlCursor* ctx) override;

    virtual void SetEditText(CString value, CKXCtrlCursor* ctx);
    virtual CString GetEditText();
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    int OnKeyUp(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    int OnChar(UINT ch, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    int OnImeComposition(WPARAM ch, LPARAM flags, CKXCtrlCursor* ctx) override;
    int KillFocus(CKXCtrlCursor* ctx) override;
    // The character being composed here, when the keys go elsewhere, stays as typed: the caret
    // goes past it and the window's input method lets go of it, so that it is neither taken
    // back nor committed again, here or in the control the keys go to.
    void KeepComposition(CKXCtrlCursor* ctx);
    virtual void DrawSelection(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                               CKXCtrlCursor* ctx);
    virtual void DrawEditingOverlay(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                                    CKXCtrlCursor* ctx);
    Gdiplus::RectF GetCaretRect() override;
    virtual void RestoreSavedText(CKXCtrlCursor* ctx);
    // The unit of the theme font's size that the text is drawn in.
    virtual Gdiplus::Unit TextUnit() const { return Gdiplus::UnitPixel; }

    void SetCueText(CString value) { cueText = value; }
    void LayoutText(CKXCtrlCursor* ctx);
    CString GetDisplayText(CString value);
    void InsertText(CString value, CKXCtrlCursor* ctx);
    void DeleteSelection(CKXCtrlCursor* ctx);
    void UpdateCaret(int index, CKXCtrlCursor* ctx);
    // Index under a point given relative to the text origin and scroll.
    int CharIndexFromPoint(float px, float py);
    int FindWordBoundary(BOOL forward, int index);

    // Text measurement: the bounding box of `text` laid out in `layout` with the string-format
    // flags, and (when `boxes` is given) one box per UTF-16 unit of its first `count`
    // characters. Tests replace it with fixed advances; the default measures with the font of
    // the theme's standard normal style.
    using Measurer = std::function<Gdiplus::RectF(const CString& text, const Gdiplus::RectF& layout, INT flags,
                                                  int count, std::vector<Gdiplus::RectF>* boxes)>;
    static Measurer measurer;

protected:
    // The text area, taking the whole control when it has no size.
    Gdiplus::RectF TextArea();
    // `maskChar` once per character of the text when `password` is set, else the text.
    CString ShownText(const CString& value) const;
    INT FormatFlags() const
    {
        const INT flags = Gdiplus::StringFormatFlagsMeasureTrailingSpaces | Gdiplus::StringFormatFlagsNoFitBlackBox;
        return multiLine ? flags : flags | Gdiplus::StringFormatFlagsNoWrap;
    }
    Gdiplus::RectF Measure(const CString& text, const Gdiplus::RectF& layout, int count,
                           std::vector<Gdiplus::RectF>* boxes, CKXCtrlCursor* ctx);
    // Caret box of an index in text coordinates.
    Gdiplus::RectF CaretPosition(int index, CKXCtrlCursor* ctx);
    // Shows the host caret at the caret when nothing is selected, hides it otherwise.
    void ApplyCaretRule(CKXCtrlCursor* ctx);
    void HideHostCaret(CKXCtrlCursor* ctx);
    // Ends editing of another control that holds the keyboard.
    void EndOtherFocus(CKXCtrlCursor* ctx);
    // The point of a mouse event relative to the text origin and scroll.
    int IndexAtMouse(float px, float py);
    // Ends this edit and moves the keyboard to the previous or next edit-kind tab stop (to the
    // next control of any kind, round, where the context reaches every control).
    void MoveToTabStop(bool previous, CKXCtrlCursor* ctx);
    // Starts editing with the whole text selected (first click, tab-stop move).
    void BeginEditing(CKXCtrlCursor* ctx);
    const _KXCtrlTextStyle& EditStyle(CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) const;
    int Length() const { return editText->GetLength(); }
};
