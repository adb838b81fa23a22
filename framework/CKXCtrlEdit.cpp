#include "framework/CKXCtrlEdit.h"

#include <algorithm>

#include "framework/CKXCtrlWnd.h"
#include "framework/CKXDataFormatter.h"
#include "framework/CKXWnd.h"
#include "framework/KXTextEditing.h"

using namespace Gdiplus;

namespace {

const float kEpsilon = 1.1920929e-07f;
const REAL kTabStop = 80.0f;

quiva::CharBox ToBox(const RectF& r) { return quiva::CharBox{r.X, r.Y, r.Width, r.Height}; }

std::vector<quiva::CharBox> ToBoxes(const std::vector<RectF>& rects)
{
    std::vector<quiva::CharBox> out;
    out.reserve(rects.size());
    for (const RectF& r : rects)
        out.push_back(ToBox(r));
    return out;
}

bool KeyDown(int vk) { return (GetAsyncKeyState(vk) & 0x8000) != 0; }

// A pixel font of a theme font record; the generic sans-serif family when the named one is
// not installed.
struct PixelFont {
    FontFamily named;
    Font font;
    PixelFont(const CString& family, float size, int style, Unit unit = UnitPixel)
        : named(family.GetString()),
          font(named.IsAvailable() ? &named : FontFamily::GenericSansSerif(), size, style, unit)
    {
    }
};

}  // namespace

CKXCtrlEdit::Measurer CKXCtrlEdit::measurer;

CKXCtrlEdit::CKXCtrlEdit() : editText(new CString())
{
    kind = CTRLKIND_EDIT;
    tabStop = 1;
}

CKXCtrlEdit::~CKXCtrlEdit()
{
    if (ownsEditText)
        delete editText;
}

RectF CKXCtrlEdit::TextArea()
{
    if (textArea.Width <= kEpsilon || textArea.Height <= kEpsilon)
        textArea = RectF(0.0f, 0.0f, width, height);
    return textArea;
}

CString CKXCtrlEdit::ShownText(const CString& value) const
{
    if (!password)
        return value;
    CString masked;
    for (int i = 0; i < value.GetLength(); ++i)
        masked += maskChar;
    return masked;
}

const _KXCtrlTextStyle& CKXCtrlEdit::EditStyle(CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) const
{
    CKXCtrlTheme* theme = ThemeOf(ctx);
    if (!enabled)
        return theme->edit[KXEDIT_DISABLE];
    if (readOnly)
        return theme->edit[KXEDIT_READONLY];
    if (hint && hint->focused)
        return theme->edit[KXEDIT_FOCUS];
    if (hint && hint->hover)
        return theme->edit[KXEDIT_OVER];
    return theme->edit[KXEDIT_NORMAL];
}

// ---------------------------------------------------------------------------------------------
// Drawing

void CKXCtrlEdit::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    const RectF area = TextArea();
    StringFormat format(StringFormat::GenericTypographic());
    format.SetFormatFlags(FormatFlags());
    format.SetTabStops(0.0f, 1, &kTabStop);
    format.SetLineAlignment(StringAlignmentCenter);

    const float ox = x + area.X;
    const float oy = y + area.Y;
    RectF layout(ox + marginX, oy + marginY, area.Width - 2.0f * marginX, area.Height - 2.0f * marginY);
    if (editing)
        layout = RectF(ox + marginX + scrollX, oy + marginY + scrollY, area.Width - scrollX - 2.0f * marginX,
                       area.Height - scrollY - 2.0f * marginY);

    const _KXCtrlTextStyle& style = EditStyle(hint, ctx);
    DWORD color = style.font.color;
    CString shown = *editText;
    if (!editing) {
        shown = GetDisplayText(shown);
        if (shown.IsEmpty() && !cueText.IsEmpty()) {
            shown = cueText;
            color = ThemeOf(ctx)->edit[KXEDIT_DISABLE].font.color;
        }
    }
    shown = ShownText(shown);

    PixelFont font(style.font.name, style.font.size * scale, style.font.style, TextUnit());
    RectF clip = ScaleDrawRect(RectF(ox, oy, area.Width, area.Height), scale, offsetX, offsetY);
    clip.Inflate(1.0f, 1.0f);
    g->SetClip(clip);
    SolidBrush brush{Color(color)};
    const RectF target(layout.X * scale + offsetX, layout.Y * scale + offsetY, layout.Width * scale,
                       layout.Height * scale);
    g->DrawString(shown.GetString(), shown.GetLength(), &font.font, target, &format, &brush);
    g->ResetClip();
}

void CKXCtrlEdit::DrawBackground(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (visible && editing && anchor != caret)
        DrawSelection(g, offsetX, offsetY, hint, ctx);
}

void CKXCtrlEdit::DrawBorder(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (editing)
        DrawEditingOverlay(g, offsetX, offsetY, hint, ctx);
    if (!visible || !border || !g)
        return;
    const _KXCtrlTextStyle& style = EditStyle(hint, ctx);
    Pen pen(Color(style.style.fore), style.style.width);
    g->DrawRectangle(&pen, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}

void CKXCtrlEdit::DrawSelection(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    const int lo = std::max(0, std::min(anchor, caret));
    const int hi = std::min(std::max(anchor, caret), Length());
    if (charBoxes.empty() && lo != hi)
        LayoutText(ctx);
    const RectF area = TextArea();
    const float dx = x * scale + offsetX + (scrollX + marginX) * scale;
    const float dy = y * scale + offsetY + (scrollY + marginY) * scale;
    GraphicsPath path;
    for (int i = lo; i < hi && i < static_cast<int>(charBoxes.size()); ++i) {
        const RectF& b = charBoxes[static_cast<size_t>(i)];
        path.AddRectangle(RectF((area.X + b.X) * scale + dx, (area.Y + b.Y) * scale + dy, b.Width * scale,
                                (b.Height + marginY) * scale));
    }
    g->SetClip(ScaleDrawRect(RectF(x + area.X, y + area.Y, area.Width, area.Height), scale, offsetX, offsetY));
    SolidBrush brush{Color(ThemeOf(ctx)->editSelectColor)};
    g->FillPath(&brush, &path);
    g->ResetClip();
}

void CKXCtrlEdit::DrawEditingOverlay(Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) {}

// ---------------------------------------------------------------------------------------------
// Layout and caret

RectF CKXCtrlEdit::Measure(const CString& text, const RectF& layout, int count, std::vector<RectF>* boxes,
                           CKXCtrlCursor* ctx)
{
    if (measurer)
        return measurer(text, layout, FormatFlags(), count, boxes);
    const _KXCtrlFont& f = ThemeOf(ctx)->standard[KXSTANDARD_NORMAL].font;
    PixelFont font(f.name, f.size, FontStyleRegular);
    HWND hwnd = ctx && ctx->host ? ctx->host->m_hWnd : nullptr;
    Graphics g(hwnd ? hwnd : GetDesktopWindow());
    StringFormat format(StringFormat::GenericTypographic());
    format.SetFormatFlags(FormatFlags());
    format.SetTabStops(0.0f, 1, &kTabStop);
    RectF extent;
    g.MeasureString(text.GetString(), text.GetLength(), &font.font, layout, &format, &extent);
    if (boxes) {
        boxes->clear();
        // Measured in groups, as the character-range measurement takes at most 32 ranges.
        for (int first = 0; first < count; first += 32) {
            const int n = std::min(32, count - first);
            std::vector<CharacterRange> ranges;
            for (int i = 0; i < n; ++i)
                ranges.emplace_back(first + i, 1);
            format.SetMeasurableCharacterRanges(n, ranges.data());
            std::vector<Region> regions(static_cast<size_t>(n));
            g.MeasureCharacterRanges(text.GetString(), text.GetLength(), &font.font, layout, &format, n,
                                     regions.data());
            for (const Region& r : regions) {
                RectF bounds;
                r.GetBounds(&bounds, &g);
                boxes->push_back(bounds);
            }
        }
    }
    return extent;
}

void CKXCtrlEdit::LayoutText(CKXCtrlCursor* ctx)
{
    charBoxes.clear();
    const CString shown = ShownText(*editText);
    if (shown.IsEmpty() || width <= kEpsilon || height <= kEpsilon)
        return;
    const RectF area = TextArea();
    const CString measured = shown + L"A";
    textExtent = Measure(measured, RectF(0.0f, 0.0f, area.Width, area.Height), shown.GetLength(), &charBoxes, ctx);
}

RectF CKXCtrlEdit::CaretPosition(int index, CKXCtrlCursor* ctx)
{
    if (!charBoxes.empty()) {
        const quiva::CharBox b = quiva::CaretBoxOf(ToBoxes(charBoxes), index);
        return RectF(b.x, b.y, b.width, b.height);
    }
    const RectF area = TextArea();
    const RectF a = Measure(L"A", RectF(0.0f, 0.0f, area.Width, area.Height), 0, nullptr, ctx);
    return RectF(0.0f, 0.0f, 1.0f, a.Height);
}

void CKXCtrlEdit::UpdateCaret(int index, CKXCtrlCursor* ctx)
{
    if (charBoxes.empty() && !editText->IsEmpty())
        LayoutText(ctx);
    const RectF area = TextArea();
    const RectF b = CaretPosition(index, ctx);
    if (charBoxes.empty()) {
        scrollX = 0.0f;
        caretRect = RectF(b.X + x + area.X + marginX, b.Y + y + area.Y + marginY, b.Width, b.Height);
        return;
    }
    quiva::CaretScroll scroll;
    scroll.marginX = marginX;
    scroll.marginY = marginY;
    scroll.areaWidth = area.Width;
    scroll.areaHeight = area.Height;
    scroll.firstWidth = charBoxes.front().Width;
    scroll.firstHeight = charBoxes.front().Height;
    const quiva::CaretPoint p = quiva::ScrollCaretIntoView(scroll, ToBox(b), scrollX, scrollY);
    caretRect = RectF(x + area.X + p.x, y + area.Y + p.y, b.Width, b.Height);
}

RectF CKXCtrlEdit::GetCaretRect() { return caretRect; }

void CKXCtrlEdit::HideHostCaret(CKXCtrlCursor* ctx)
{
    if (ctx && ctx->host && ctx->host->m_hWnd)
        HideCaret(ctx->host->m_hWnd);
}

void CKXCtrlEdit::ApplyCaretRule(CKXCtrlCursor* ctx)
{
    if (anchor != caret) {
        HideHostCaret(ctx);
        return;
    }
    if (auto* host = ctx ? dynamic_cast<CKXWnd*>(ctx->host) : nullptr)
        host->SetControlCaretPos();
}

void CKXCtrlEdit::Activate(CKXCtrlCursor* ctx)
{
    if (!ctx)
        return;
    ctx->active = this;
    auto* host = dynamic_cast<CKXWnd*>(ctx->host);
    if (anchor == caret && host && host->m_hWnd) {
        HideCaret(host->m_hWnd);
        host->CreateControlCaret();
        host->SetControlCaretPos();
    }
}

int CKXCtrlEdit::CharIndexFromPoint(float px, float py)
{
    return quiva::CharIndexAt(ToBoxes(charBoxes), textExtent.Height, marginX, marginY, px, py, Length());
}

int CKXCtrlEdit::FindWordBoundary(BOOL forward, int index)
{
    return quiva::FindWordBoundary(*editText, index, forward != 0);
}

// ---------------------------------------------------------------------------------------------
// Text

void CKXCtrlEdit::SetEditText(CString value, CKXCtrlCursor* ctx)
{
    *editText = value;
    savedText = value;
    anchor = std::clamp(anchor, 0, Length());
    caret = std::clamp(caret, 0, Length());
    if (ctx)
        LayoutText(ctx);
}

CString CKXCtrlEdit::GetEditText() { return *editText; }

void CKXCtrlEdit::RestoreSavedText(CKXCtrlCursor* ctx)
{
    *editText = savedText;
    anchor = std::clamp(anchor, 0, Length());
    caret = std::clamp(caret, 0, Length());
    LayoutText(ctx);
}

CString CKXCtrlEdit::GetDisplayText(CString value)
{
    if (displayMask.IsEmpty())
        return value;
    CKXDataFormatter formatter;
    return formatter.Format(value, displayMask);
}

void CKXCtrlEdit::InsertText(CString value, CKXCtrlCursor* ctx)
{
    quiva::InsertAtCaret(*editText, anchor, caret, value);
    LayoutText(ctx);
}

void CKXCtrlEdit::DeleteSelection(CKXCtrlCursor* ctx)
{
    if (quiva::DeleteSelectedText(*editText, anchor, caret))
        LayoutText(ctx);
}

// ---------------------------------------------------------------------------------------------
// Editing state

void CKXCtrlEdit::BeginEditing(CKXCtrlCursor* ctx)
{
    HideHostCaret(ctx);
    savedText = *editText;
    anchor = 0;
    caret = Length();
    editing = 1;
    UpdateCaret(caret, ctx);
}

void CKXCtrlEdit::EndOtherFocus(CKXCtrlCursor* ctx)
{
    if (!ctx || !ctx->focus || ctx->focus == this)
        return;
    if (IKXCtrlKeyboard* other = FocusKeyboard(ctx))
        other->KillFocus(ctx);
}

int CKXCtrlEdit::KillFocus(CKXCtrlCursor* ctx)
{
    KeepComposition(ctx);
    editing = 0;
    if (ctx) {
        HideHostCaret(ctx);
        ctx->focus = nullptr;
    }
    if (parent)
        parent->OnEditEnd(id, this, ctx);
    return 0;
}

void CKXCtrlEdit::KeepComposition(CKXCtrlCursor* ctx)
{
    if (!ctx || ctx->focus != this || ctx->imeState != 3)
        return;
    ctx->imeState = 0;
    anchor = caret = std::min(caret + 1, Length());
    UpdateCaret(caret, ctx);
    if (HWND hwnd = ctx->host ? ctx->host->m_hWnd : nullptr) {
        HIMC imc = ImmGetContext(hwnd);
        ImmNotifyIME(imc, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
        ImmReleaseContext(hwnd, imc);
    }
}

void CKXCtrlEdit::MoveToTabStop(bool previous, CKXCtrlCursor* ctx)
{
    // Editing ends here first, so the container hears of it before another control takes
    // the keyboard.
    KillFocus(ctx);
    if (!parent)
        return;
    if (ctx && ctx->reachEveryControl) {
        if (CKXCtrl* next = parent->NextKeyboardStop(this, previous))
            next->TakeKeyboard(ctx);
        return;
    }
    CKXCtrl* next = previous ? parent->GetPrevTabStop(this, 1, CTRLKIND_EDIT) : parent->GetNextTabStop(this, 1, CTRLKIND_EDIT);
    if (!next || next == this)
        return;
    next->TakeKeyboard(ctx);
}

void CKXCtrlEdit::TakeKeyboard(CKXCtrlCursor* ctx)
{
    BeginEditing(ctx);
    if (ctx)
        ctx->focus = this;
    Activate(ctx);
}

// ---------------------------------------------------------------------------------------------
// Mouse

int CKXCtrlEdit::IndexAtMouse(float px, float py)
{
    const RectF area = TextArea();
    return CharIndexFromPoint(px - (x + area.X + scrollX), py - (y + area.Y + scrollY));
}

int CKXCtrlEdit::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible || !enabled || !HitTest(px, py))
        return 0;
    // A click places the caret among finished text: a character being composed here ends
    // where it is.
    KeepComposition(ctx);
    EndOtherFocus(ctx);
    if (ctx)
        ctx->captured = this;
    if (handled)
        *handled = 1;
    if (editing) {
        anchor = caret = IndexAtMouse(px, py);
        UpdateCaret(caret, ctx);
    } else {
        BeginEditing(ctx);
    }
    if (ctx)
        ctx->focus = this;
    Activate(ctx);
    return 1;
}

int CKXCtrlEdit::OnLButtonUp(float, float, BOOL*, CKXCtrlCursor* ctx)
{
    if (visible && ctx && ctx->captured == this)
        ctx->captured = nullptr;
    return 0;
}

int CKXCtrlEdit::OnLButtonDblClk(float px, float py, BOOL*, CKXCtrlCursor* ctx)
{
    if (!visible || !enabled || !HitTest(px, py))
        return 0;
    KeepComposition(ctx);
    EndOtherFocus(ctx);
    HideHostCaret(ctx);
    if (charBoxes.empty())
        LayoutText(ctx);
    const int index = IndexAtMouse(px, py);
    if (!editing)
        savedText = *editText;
    anchor = FindWordBoundary(FALSE, index);
    caret = FindWordBoundary(TRUE, index);
    UpdateCaret(anchor, ctx);
    UpdateCaret(caret, ctx);
    if (ctx)
        ctx->focus = this;
    Activate(ctx);
    editing = 1;
    return 0;
}

int CKXCtrlEdit::OnMouseMove(float px, float py, BOOL*, CKXCtrlCursor* ctx)
{
    if (ctx && HitTest(px, py))
        ctx->cursorShape = KXCURSOR_TEXT;
    if (!ctx || !ctx->buttonDown || !editing)
        return 0;
    const int index = IndexAtMouse(px, py);
    if (index == caret)
        return 1;
    caret = index;
    UpdateCaret(caret, ctx);
    ApplyCaretRule(ctx);
    return 1;
}

int CKXCtrlEdit::OnRButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    OnLButtonDown(px, py, handled, ctx);
    return 0;
}

int CKXCtrlEdit::Create(int newId, float nx, float ny, float w, float h)
{
    id = newId;
    CKXCtrlEdit::SetRect(nx, ny, w, h);
    return 1;
}

void CKXCtrlEdit::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrl::SetRect(nx, ny, w, h);
    textArea = RectF(0.0f, 0.0f, w, h);
}

// ---------------------------------------------------------------------------------------------
// Keyboard

int CKXCtrlEdit::OnKeyDown(UINT vk, UINT, UINT, CKXCtrlCursor* ctx)
{
    const bool shift = KeyDown(VK_SHIFT);
    const bool control = KeyDown(VK_CONTROL);
    const int length = Length();
    switch (vk) {
    case VK_ESCAPE:
        editing = 0;
        RestoreSavedText(ctx);
        KillFocus(ctx);
        return 1;
    case VK_END:
        caret = length;
        break;
    case VK_HOME:
        caret = 0;
        break;
    case VK_LEFT:
        caret = control ? FindWordBoundary(FALSE, caret) : std::max(0, caret - 1);
        break;
    case VK_RIGHT:
        caret = control ? FindWordBoundary(TRUE, caret) : std::min(length, caret + 1);
        break;
    case VK_UP:
    case VK_DOWN: {
        const bool up = vk == VK_UP;
        if (!multiLine) {
            MoveToTabStop(up, ctx);
            return 1;
        }
        const RectF b = CaretPosition(caret, ctx);
        const float step = charBoxes.empty() ? b.Height : charBoxes.front().Height;
        // The middle of the line above, or of the line below.
        const float target = up ? b.Y - step * 0.5f : b.Y + b.Height + step * 0.5f;
        if ((up && target < 0.0f) || (!up && target > textExtent.GetBottom())) {
            MoveToTabStop(up, ctx);
            return 1;
        }
        anchor = caret = CharIndexFromPoint(b.X + marginX, target + marginY);
        break;
    }
    case VK_DELETE:
        if (anchor == caret)
            caret = std::min(length, caret + 1);
        DeleteSelection(ctx);
        break;
    default:
        return 1;
    }
    if (!shift)
        anchor = caret;
    UpdateCaret(caret, ctx);
    ApplyCaretRule(ctx);
    return 1;
}

int CKXCtrlEdit::OnKeyUp(UINT, UINT, UINT, CKXCtrlCursor*) { return 0; }

int CKXCtrlEdit::OnChar(UINT ch, UINT, UINT, CKXCtrlCursor* ctx)
{
    switch (ch) {
    case 1:  // Ctrl+A
        anchor = 0;
        caret = Length();
        break;
    case 8:  // Backspace
        if (anchor == caret)
            caret = std::max(0, caret - 1);
        DeleteSelection(ctx);
        break;
    case 9:  // Tab
        if (parent)
            MoveToTabStop(KeyDown(VK_SHIFT), ctx);
        return 0;
    case 13:  // Enter
        if (multiLine) {
            DeleteSelection(ctx);
            InsertText(L"\n", ctx);
            break;
        }
        // The container's default button takes Enter where it has one (the edit keeps the
        // keyboard); elsewhere Enter moves on like Tab.
        if (parent && parent->defaultButton) {
            parent->OnCommand(parent->defaultButton->id, parent->defaultButton, ctx);
            return 1;
        }
        MoveToTabStop(false, ctx);
        return 1;
    default:
        if (!quiva::IsInsertableChar(static_cast<wchar_t>(ch)))
            return 0;
        DeleteSelection(ctx);
        InsertText(CString(static_cast<wchar_t>(ch)), ctx);
        break;
    }
    UpdateCaret(caret, ctx);
    ApplyCaretRule(ctx);
    return 0;
}

int CKXCtrlEdit::OnImeComposition(WPARAM ch, LPARAM flags, CKXCtrlCursor* ctx)
{
    int localState = 0;
    int& state = ctx ? ctx->imeState : localState;
    DeleteSelection(ctx);
    auto removeProvisional = [&] {
        // Only a provisional character that stands is removed, never the user's own text.
        if (state != 3 || caret >= Length())
            return;
        caret += 1;
        DeleteSelection(ctx);
    };
    // A finished character first, then a new composition carried by the same message.
    if (flags & GCS_RESULTSTR) {
        removeProvisional();
        if (state != 2)
            state = 1;
    }
    if (flags & GCS_COMPSTR) {
        if (ch == 27) {
            removeProvisional();
            state = 0;
        } else if (ch != 0) {
            removeProvisional();
            InsertText(CString(static_cast<wchar_t>(ch)), ctx);
            anchor = caret = caret - 1;
            state = 3;
        }
    }
    UpdateCaret(caret, ctx);
    ApplyCaretRule(ctx);
    return 1;
}
