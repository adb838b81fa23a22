#include "framework/CKXCtrlScrollBar.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"

using namespace Gdiplus;

void CKXCtrlScrollBar::SetThumbOffset(float offset)
{
    if (horizontal)
        thumb.X = offset;
    else
        thumb.Y = offset;
}

RectF CKXCtrlScrollBar::ThumbArea() const
{
    if (horizontal)
        return RectF(x + thumb.X, thumb.Y, thumb.Width + 16.0f, thumb.Height);
    return RectF(thumb.X, y + thumb.Y, thumb.Width, thumb.Height + 16.0f);
}

void CKXCtrlScrollBar::SetRange(float newMinimum, float newMaximum)
{
    minimum = newMinimum;
    maximum = newMaximum;
    if (minimum == 0.0f && maximum == 0.0f) {
        ratio = 1.0f;
        visible = 0;
        return;
    }
    if (maximum - minimum == 0.0f) {
        visible = 0;
        return;
    }
    trackLength = Length() - 16.0f;
    if (trackLength < 0.0f) {
        visible = 0;
        return;
    }
    ratio = trackLength / (maximum - minimum);
    visible = ratio < 1.0f;
    SetPosition(position, page);
}

void CKXCtrlScrollBar::SetPosition(float newPosition, float newPage)
{
    position = newPosition;
    if (newPage != 0.0f)
        page = newPage;
    if (page == 0.0f)
        page = trackLength;
    if (page < 0.0f)
        page = 0.0f;
    const float range = maximum - minimum;
    if (range == 0.0f) {
        visible = 0;
        return;
    }
    if (horizontal)
        thumb = RectF(ratio * position, y, page * ratio, height);
    else
        thumb = RectF(x, ratio * position, width, page * ratio);
    ratio = trackLength / range;
    visible = (trackLength + 16.0f) / range < 1.0f;
    float offset = ThumbOffset();
    if (offset + ThumbLength() > trackLength)
        offset = trackLength - page * ratio;
    if (offset < 0.0f)
        offset = 0.0f;
    SetThumbOffset(offset);
    position = ratio != 0.0f ? offset / ratio : 0.0f;
}

float CKXCtrlScrollBar::GetPosition()
{
    position = ratio != 0.0f ? ThumbOffset() / ratio : 0.0f;
    return position;
}

void CKXCtrlScrollBar::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrl::SetRect(nx, ny, w, h);
    SetRange(minimum, maximum);
}

int CKXCtrlScrollBar::OnLButtonDown(float px, float py, BOOL*, CKXCtrlCursor*)
{
    if (!visible)
        return 0;
    trackPressed = 0;
    const RectF area = ThumbArea();
    if (area.Contains(px, py)) {
        dragging = 1;
        pressPoint[0] = px;
        pressPoint[1] = py;
        thumbStart = ThumbOffset();
        return 1;
    }
    if (HitTest(px, py)) {
        dragging = 0;
        trackPressed = 1;
        return 1;
    }
    return 0;
}

int CKXCtrlScrollBar::OnLButtonUp(float px, float py, BOOL*, CKXCtrlCursor*)
{
    if (!visible)
        return 0;
    int result = 0;
    if (HitTest(px, py) && !dragging && trackPressed) {
        const float offset = Along(px, py) - ThumbLength() * 0.5f;
        SetThumbOffset(std::max(0.0f, std::min(offset, trackLength - ThumbLength())));
        result = 1;
    }
    dragging = 0;
    trackPressed = 0;
    return result;
}

int CKXCtrlScrollBar::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor*)
{
    if (!visible)
        return 0;
    hot = 0;
    if (dragging) {
        const float press = horizontal ? pressPoint[0] : pressPoint[1];
        const float point = horizontal ? px : py;
        const float offset = thumbStart - (press - point);
        SetThumbOffset(std::max(0.0f, std::min(offset, trackLength - ThumbLength())));
        if (handled)
            *handled = 1;
        return 1;
    }
    if (ThumbArea().Contains(px, py)) {
        hot = 1;
        return 1;
    }
    return 0;
}

int CKXCtrlScrollBar::OnMouseLeave(CKXCtrlCursor*)
{
    dragging = 0;
    hot = 0;
    trackPressed = 0;
    return 0;
}

void CKXCtrlScrollBar::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    SolidBrush track{Color(0x14FFFFFFu)};
    g->FillRectangle(&track, ScaleDrawRect(Rect(), scale, offsetX, offsetY));
    CKXCtrlTheme* theme = ThemeOf(ctx);
    int state = KXSMALL_NORMAL;
    if (dragging)
        state = KXSMALL_PRESSED;
    else if (hot && !(ctx && ctx->buttonDown))
        state = KXSMALL_OVER;
    SolidBrush brush{Color(theme->smallButtonColor[state])};
    g->FillRectangle(&brush, ScaleDrawRect(ThumbArea(), scale, offsetX, offsetY));
}
