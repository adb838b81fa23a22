// The base of every windowless control, and the render hint handed to it while drawing.
#pragma once

#include "framework/CKXCtrlTheme.h"
#include "framework/Forward.h"
#include "platform/base/CString.h"
#include "platform/gdi/gdiplus.h"

// Kinds of control (the first field of every control).
enum CtrlKind { CTRLKIND_NONE = 0, CTRLKIND_CONTAINER = 1, CTRLKIND_BUTTON = 2, CTRLKIND_EDIT = 3,
                CTRLKIND_LISTBOX = 4, CTRLKIND_SLIDER = 10 };

// How to draw one control now.
class CKXCtrlRenderHint {
public:
    virtual ~CKXCtrlRenderHint() = default;
    float scale = 1.0f;
    BOOL hover = 0;
    BOOL pressed = 0;
    BOOL focused = 0;
};

// What a control that takes the keyboard (the edit control and controls derived from it)
// offers the containers and hosts: keys, characters, composition, the end of editing and the
// place of its caret.
class IKXCtrlKeyboard {
public:
    virtual ~IKXCtrlKeyboard() = default;
    virtual int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) = 0;
    virtual int OnKeyUp(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) = 0;
    virtual int OnChar(UINT ch, UINT repeat, UINT flags, CKXCtrlCursor* ctx) = 0;
    virtual int OnImeComposition(WPARAM wParam, LPARAM lParam, CKXCtrlCursor* ctx) = 0;
    virtual int KillFocus(CKXCtrlCursor* ctx) = 0;
    // Caret rectangle in layout units, in the space of the control's own rectangle.
    virtual Gdiplus::RectF GetCaretRect() = 0;
};

class CKXCtrl {
public:
    CKXCtrl();
    // Clears every control context's capture, focus and active control that is this one, and
    // leaves its container's child list.
    virtual ~CKXCtrl();
    CKXCtrl(const CKXCtrl&) = delete;
    CKXCtrl& operator=(const CKXCtrl&) = delete;

    int kind = 0;
    CKXCtrlWnd* parent = nullptr;
    float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;
    int id = 0;
    BOOL tabStop = 0;
    BOOL deleteWithContainer = 1;
    BOOL enabled = 1;
    BOOL visible = 1;
    BOOL border = 1;
    CString text;

    virtual void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx);
    virtual void DrawBackground(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                                CKXCtrlCursor* ctx);
    virtual void DrawBorder(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx);
    virtual int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnLButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnRButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnRButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnRButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    virtual int OnMouseLeave(CKXCtrlCursor* ctx);
    virtual int OnMouseWheel(int flags, float delta, float x, float y, CKXCtrlCursor* ctx);
    virtual void SetSize(float width, float height);
    virtual void SetPos(float x, float y);
    virtual int Create(int id, float x, float y, float width, float height);
    virtual void SetRect(float x, float y, float width, float height);
    virtual int HitTest(float x, float y);
    virtual void Activate(CKXCtrlCursor* ctx);
    // Gives this control the keyboard of the context (Tab reached it); an edit starts editing.
    virtual void TakeKeyboard(CKXCtrlCursor* ctx);
    // A key pressed while this control has the keyboard and takes no text (a button, a check
    // box); non-zero when it was used.
    virtual int OnFocusKey(UINT vk, CKXCtrlCursor* ctx);
    virtual CKXCtrl* GetNextTabStop(CKXCtrl* from, BOOL search, int kind);
    virtual CKXCtrl* GetPrevTabStop(CKXCtrl* from, BOOL search, int kind);
    virtual void Reserved(DWORD a, DWORD b);

    void SetText(CString value) { text = value; }
    static Gdiplus::RectF ScaleDrawRect(Gdiplus::RectF rect, float scale, float offsetX, float offsetY);
    Gdiplus::RectF Rect() const { return Gdiplus::RectF(x, y, width, height); }

protected:
    // The theme of the context, else the process theme.
    static CKXCtrlTheme* ThemeOf(CKXCtrlCursor* ctx);
    // The standard state record: disable, else pressed, else over, else normal.
    const _KXCtrlStateStyle& StandardState(CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) const;
    // The standard text style by the same rule (and `selected` between over and normal).
    const _KXCtrlTextStyle& StandardText(CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx, bool selected = false) const;
    // The edit that has the keyboard, or null.
    static IKXCtrlKeyboard* FocusKeyboard(CKXCtrlCursor* ctx);
};

// Text drawing shared by the controls: a font from a theme font record at size × scale points
// (sans-serif when the family is missing) and the record's colour.
namespace kxctrl {
void DrawText(Gdiplus::Graphics* g, const CString& text, const _KXCtrlFont& font, float scale,
              const Gdiplus::RectF& rect, Gdiplus::StringAlignment align, Gdiplus::StringAlignment lineAlign,
              Gdiplus::StringTrimming trimming, INT flags, float sizeFactor = 1.0f, const wchar_t* family = nullptr,
              DWORD color = 0);
// The dotted frame, just inside `rect` (drawn pixels), that marks the control holding the
// keyboard.
void DrawFocusMark(Gdiplus::Graphics* g, const Gdiplus::RectF& rect, DWORD color);
}  // namespace kxctrl
