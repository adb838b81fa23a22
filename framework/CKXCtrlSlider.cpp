#include "framework/CKXCtrlSlider.h"

#include <algorithm>
#include <cmath>
#include <cwchar>

#include "framework/CKXCtrlWnd.h"

using namespace Gdiplus;

CKXCtrlSlider::CKXCtrlSlider() { kind = CTRLKIND_SLIDER; }

void CKXCtrlSlider::SetThumbOffset(float offset)
{
    if (horizontal)
        thumb.X = offset;
    else
        thumb.Y = offset;
}

void CKXCtrlSlider::Notify(CKXCtrlCursor* ctx)
{
    if (parent)
        parent->OnValueChanged(id, this, ctx);
}

int CKXCtrlSlider::Create(int newId, float nx, float ny, float w, float h)
{
    id = newId;
    CKXCtrlSlider::SetRect(nx, ny, w, h);
    return 1;
}

void CKXCtrlSlider::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrl::SetRect(nx, ny, w, h);
    textArea = RectF(0.0f, 0.0f, w, h);
    if (horizontal) {
        textArea.X = w - valueBoxSize - 4.0f;
        textArea.Width = valueBoxSize;
        track = RectF(4.0f, 0.0f, w - 16.0f - valueBoxSize, h);
    } else {
        textArea.Y = h - valueBoxSize - 4.0f;
        textArea.Height = valueBoxSize;
        track = RectF(0.0f, 4.0f, w, h - 16.0f - valueBoxSize);
    }
    SetRange(minimum, maximum);
}

void CKXCtrlSlider::SetRange(float newMinimum, float newMaximum)
{
    minimum = newMinimum;
    maximum = newMaximum;
    // An empty range has nothing to show and would divide by zero.
    if (EmptyRange()) {
        visible = 0;
        ratio = 1.0f;
        return;
    }
    trackLength = (horizontal ? track.Width : track.Height) - 8.0f;
    if (trackLength < 0.0f) {
        visible = 0;
        return;
    }
    visible = 1;
    ratio = trackLength / (maximum - minimum);
    SetValue(minimum + valueOffset);
}

void CKXCtrlSlider::UpdateValueText()
{
    CString text;
    if (integerValues) {
        valueOffset = std::trunc(valueOffset);
        text.Format(L"%d", static_cast<int>(std::trunc(minimum + valueOffset)));
    } else {
        text.Format(L"%3.1f", static_cast<double>(minimum + valueOffset));
    }
    *editText = text;
    LayoutText(nullptr);
}

int CKXCtrlSlider::GetTruncatedValue() const
{
    const float value = GetValue();
    return static_cast<int>(value + (value < 0.0f ? -1e-3f : 1e-3f));
}

void CKXCtrlSlider::SetValue(float value)
{
    valueOffset = value - minimum;
    if (EmptyRange()) {
        visible = 0;
        valueOffset = 0.0f;
        return;
    }
    const float range = maximum - minimum;
    valueOffset = std::max(0.0f, std::min(valueOffset, range));
    if (horizontal)
        thumb = RectF(valueOffset * ratio, track.Y + 2.0f, 8.0f, track.Height - 4.0f);
    else
        thumb = RectF(track.X, valueOffset * ratio, track.Width, 8.0f);
    ratio = trackLength / range;
    if (trackLength < 8.0f || ThumbOffset() < 0.0f)
        SetThumbOffset(valueOffset * ratio);
    if (ratio > 0.0f)
        valueOffset = ThumbOffset() / ratio;
    UpdateValueText();
}

int CKXCtrlSlider::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    trackPressed = 0;
    dragging = 0;
    if (!HitTest(px, py))
        return 0;
    const RectF thumbArea(x + thumb.X, y + thumb.Y, thumb.Width, thumb.Height);
    const RectF trackArea(x + track.X, y + track.Y, track.Width, track.Height);
    bool onThumbOrTrack = false;
    if (thumbArea.Contains(px, py)) {
        if (ctx)
            ctx->captured = this;
        dragging = 1;
        thumbStart = ThumbOffset();
        pressPoint[0] = px;
        pressPoint[1] = py;
        onThumbOrTrack = true;
    } else if (trackArea.Contains(px, py)) {
        trackPressed = 1;
        onThumbOrTrack = true;
    }
    const int result = editable ? CKXCtrlEdit::OnLButtonDown(px, py, handled, ctx)
                                : CKXCtrl::OnLButtonDown(px, py, handled, ctx);
    if (onThumbOrTrack)
        caret = anchor;
    return result;
}

int CKXCtrlSlider::OnLButtonUp(float px, float py, BOOL*, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    if (dragging) {
        dragging = 0;
        if (ctx && ctx->captured == this)
            ctx->captured = nullptr;
        return 1;
    }
    const RectF trackArea(x + track.X, y + track.Y, track.Width, track.Height);
    if (trackPressed && trackArea.Contains(px, py)) {
        // Clamped like a drag, so a click at the track's far end reaches the maximum.
        const float offset = Along(px, py) - 4.0f;
        SetThumbOffset(std::max(0.0f, std::min(offset, trackLength)));
        valueOffset = ratio > 0.0f ? ThumbOffset() / ratio : 0.0f;
        UpdateValueText();
        Notify(ctx);
        trackPressed = 0;
        return 1;
    }
    trackPressed = 0;
    dragging = 0;
    if (ctx)
        ctx->captured = nullptr;
    return 0;
}

int CKXCtrlSlider::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    thumbHot = 0;
    if (dragging) {
        const float press = horizontal ? pressPoint[0] : pressPoint[1];
        const float point = horizontal ? px : py;
        const float offset = thumbStart - (press - point);
        SetThumbOffset(std::max(0.0f, std::min(offset, trackLength)));
        valueOffset = ratio > 0.0f ? ThumbOffset() / ratio : 0.0f;
        UpdateValueText();
        Notify(ctx);
        if (handled)
            *handled = 1;
        return 1;
    }
    if (CKXCtrlEdit::OnMouseMove(px, py, handled, ctx))
        return 1;
    if (RectF(x + thumb.X, y + thumb.Y, thumb.Width, thumb.Height).Contains(px, py)) {
        if (ctx)
            ctx->cursorShape = KXCURSOR_THUMB;
        thumbHot = 1;
        return 1;
    }
    if (ctx)
        ctx->cursorShape = KXCURSOR_ARROW;
    return 0;
}

int CKXCtrlSlider::OnMouseLeave(CKXCtrlCursor*)
{
    trackPressed = dragging = thumbHot = 0;
    return 0;
}

int CKXCtrlSlider::OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    if (vk == VK_UP || vk == VK_DOWN) {
        SetValue(GetValue() + (vk == VK_UP ? -1.0f : 1.05f));
        Notify(ctx);
        return 1;
    }
    // Left and Right move a level slider's thumb a step along its track.
    if (horizontal && (vk == VK_LEFT || vk == VK_RIGHT)) {
        SetValue(GetValue() + (vk == VK_LEFT ? -1.0f : 1.0f));
        Notify(ctx);
        return 1;
    }
    return CKXCtrlEdit::OnKeyDown(vk, repeat, flags, ctx);
}

int CKXCtrlSlider::KillFocus(CKXCtrlCursor* ctx)
{
    // A leading number is taken; a text that holds none keeps the value it had.
    const wchar_t* text = editText->GetString();
    wchar_t* end = nullptr;
    const double typed = std::wcstod(text, &end);
    SetValue(end != text && std::isfinite(typed) ? static_cast<float>(typed) : GetValue());
    Notify(ctx);
    return CKXCtrlEdit::KillFocus(ctx);
}

void CKXCtrlSlider::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible)
        return;
    CKXCtrlEdit::Draw(g, offsetX, offsetY, hint, ctx);
    DrawTrack(g, offsetX, offsetY, hint, ctx);
    CKXCtrlRenderHint thumbHint;
    thumbHint.scale = hint ? hint->scale : 1.0f;
    thumbHint.pressed = dragging;
    thumbHint.hover = thumbHot;
    thumbHint.focused = 0;
    DrawThumb(g, offsetX, offsetY, &thumbHint, ctx);
}

void CKXCtrlSlider::DrawBorder(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    const RectF area = TextArea();
    Pen pen(Color(ThemeOf(ctx)->standard[KXSTANDARD_NORMAL].style.fore), 1.0f);
    g->DrawRectangle(&pen, ScaleDrawRect(RectF(x + area.X, y + area.Y, area.Width, area.Height),
                                         hint ? hint->scale : 1.0f, offsetX, offsetY));
}

void CKXCtrlSlider::DrawTrack(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    Pen pen(Color(ThemeOf(ctx)->window.style.fore), 2.0f * scale);
    pen.SetStartCap(LineCapRound);
    pen.SetEndCap(LineCapRound);
    PointF a, b;
    if (horizontal) {
        a = PointF(track.X + 4.0f, track.Y + track.Height * 0.5f);
        b = PointF(track.X + track.Width - 8.0f, a.Y);
    } else {
        a = PointF(track.X + track.Width * 0.5f, track.Y + 4.0f);
        b = PointF(a.X, track.Y + track.Height - 8.0f);
    }
    auto map = [&](PointF p) { return PointF((x + p.X) * scale + offsetX, (y + p.Y) * scale + offsetY); };
    g->DrawLine(&pen, map(a), map(b));
}

void CKXCtrlSlider::DrawThumb(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    const DWORD fill = theme->standard[KXSTANDARD_PRESSED].font.color;
    const RectF r = ScaleDrawRect(RectF(x + thumb.X, y + thumb.Y, thumb.Width, thumb.Height),
                                  hint ? hint->scale : 1.0f, offsetX, offsetY);
    SolidBrush brush{Color(fill)};
    g->FillRectangle(&brush, r);
    DWORD outline = fill;
    if (hint && hint->pressed)
        outline = theme->standard[KXSTANDARD_PRESSED].style.fore;
    else if (hint && hint->hover)
        outline = theme->standard[KXSTANDARD_OVER].style.fore;
    Pen pen(Color(outline), 1.0f);
    g->DrawRectangle(&pen, r);
}
