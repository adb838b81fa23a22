#include "framework/CKXCtrlComboBase.h"

#include "framework/CKXCtrlWnd.h"

using namespace Gdiplus;

RectF CKXCtrlComboBase::ArrowArea() const
{
    return RectF(x + arrowRect.X, y + arrowRect.Y, arrowRect.Width, arrowRect.Height);
}

RectF CKXCtrlComboBase::GlyphBox() const
{
    const RectF square = ArrowArea();
    const float w = square.Width, h = square.Height;
    const float boxWidth = w - 2.0f * (w / 3.0f);
    const float boxHeight = (h - 2.0f * (w / 3.0f)) * 0.5f;
    return RectF(square.X + (w - boxWidth) / 2.0f, square.Y + (h - boxHeight) / 2.0f, boxWidth, boxHeight);
}

int CKXCtrlComboBase::Create(int newId, float nx, float ny, float w, float h)
{
    id = newId;
    CKXCtrlComboBase::SetRect(nx, ny, w, h);
    return 1;
}

void CKXCtrlComboBase::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrlEdit::SetRect(nx, ny, w, h);
    textArea.Width -= h;
    arrowRect = RectF(textArea.X + textArea.Width, 0.0f, h, h);
}

void CKXCtrlComboBase::DropDown(float, float, float, float, CKXCtrlCursor*) {}

int CKXCtrlComboBase::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    if (ctx && ctx->focus && ctx->focus != this && HitTest(px, py))
        EndOtherFocus(ctx);
    if ((listOnly && HitTest(px, py)) || ArrowArea().Contains(px, py)) {
        if (ctx)
            ctx->captured = this;
        arrowPressed = 1;
        return 1;
    }
    return CKXCtrlEdit::OnLButtonDown(px, py, handled, ctx);
}

int CKXCtrlComboBase::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    if ((listOnly && HitTest(px, py)) || (arrowPressed && ArrowArea().Contains(px, py))) {
        droppedDown = 1;
        const float scale = ctx ? ctx->GetHostScale() : 1.0f;
        float left = x * scale;
        float top = (y + height) * scale;
        if (parent) {
            const PointF origin = parent->GetAbsoluteOrigin();
            left += origin.X * scale;
            top += origin.Y * scale;
        }
        if (ctx) {
            ctx->cursorShape = KXCURSOR_ARROW;
            if (ctx->captured == this)
                ctx->captured = nullptr;
        }
        DropDown(left, top, width * scale, scale, ctx);
        LayoutText(ctx);
        OnMouseLeave(ctx);
        droppedDown = arrowPressed = arrowHot = 0;
        if (handled)
            *handled = 1;
        if (parent)
            parent->OnCommand(id, this, ctx);
        return 1;
    }
    arrowPressed = 0;
    return CKXCtrlEdit::OnLButtonUp(px, py, handled, ctx);
}

int CKXCtrlComboBase::OnLButtonDblClk(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (listOnly)
        return 0;
    return CKXCtrlEdit::OnLButtonDblClk(px, py, handled, ctx);
}

int CKXCtrlComboBase::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    arrowHot = 0;
    if (listOnly && HitTest(px, py)) {
        arrowHot = 1;
        if (ctx)
            ctx->cursorShape = KXCURSOR_ARROW;
        return 1;
    }
    const int taken = CKXCtrlEdit::OnMouseMove(px, py, handled, ctx);
    if (!taken && ArrowArea().Contains(px, py)) {
        if (ctx)
            ctx->cursorShape = KXCURSOR_ARROW;
        arrowHot = 1;
        return 1;
    }
    return taken;
}

int CKXCtrlComboBase::OnMouseLeave(CKXCtrlCursor*)
{
    if (!droppedDown)
        arrowHot = arrowPressed = 0;
    return 0;
}

void CKXCtrlComboBase::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible)
        return;
    CKXCtrlEdit::Draw(g, offsetX, offsetY, hint, ctx);
    DrawArrow(g, offsetX, offsetY, hint, ctx);
}

void CKXCtrlComboBase::DrawBorder(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    CKXCtrlEdit::DrawBorder(g, offsetX, offsetY, hint, ctx);
    if (!droppedDown || !g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    Pen pen(Color(ThemeOf(ctx)->standard[KXSTANDARD_PRESSED].style.fore), 1.0f);
    g->DrawRectangle(&pen, ScaleDrawRect(ArrowArea(), scale, offsetX, offsetY));
    g->DrawRectangle(&pen, ScaleDrawRect(Rect(), scale, offsetX, offsetY));
}

void CKXCtrlComboBase::DrawArrow(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    int standard = KXSTANDARD_NORMAL, small = KXSMALL_NORMAL;
    if (!enabled) {
        standard = KXSTANDARD_DISABLE;
        small = KXSMALL_DISABLE;
    } else if (arrowPressed) {
        standard = KXSTANDARD_PRESSED;
        small = KXSMALL_PRESSED;
    } else if (arrowHot) {
        standard = KXSTANDARD_OVER;
        small = KXSMALL_OVER;
    }
    CKXCtrlTheme* theme = ThemeOf(ctx);
    const _KXCtrlStateStyle& style = theme->standard[standard].style;
    const RectF square = ScaleDrawRect(ArrowArea(), scale, offsetX, offsetY);
    if (!style.noBack) {
        SolidBrush brush{Color(style.back)};
        g->FillRectangle(&brush, square);
    }
    Pen line(Color(style.fore), 1.0f);
    if (droppedDown)
        g->DrawRectangle(&line, square);
    else
        g->DrawLine(&line, square.X, square.Y + 2.0f, square.X, square.GetBottom() - 2.0f);

    const RectF box = ScaleDrawRect(GlyphBox(), scale, offsetX, offsetY);
    Pen glyph(Color(theme->smallButtonColor[small]), 1.0f);
    glyph.SetWidth(3.0f);
    glyph.SetStartCap(LineCapRound);
    glyph.SetEndCap(LineCapRound);
    const float midX = box.X + box.Width * 0.5f;
    g->DrawLine(&glyph, box.X, box.Y, midX, box.GetBottom());
    g->DrawLine(&glyph, midX, box.GetBottom(), box.GetRight(), box.Y);
}
