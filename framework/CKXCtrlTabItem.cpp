#include "framework/CKXCtrlTabItem.h"

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWndTab.h"

using namespace Gdiplus;

CKXCtrlTabItem::~CKXCtrlTabItem()
{
    if (deletePage)
        delete page;
}

int CKXCtrlTabItem::TabCount() const
{
    auto* strip = dynamic_cast<CKXCtrlWndTab*>(parent);
    return strip ? static_cast<int>(strip->tabs.size()) : 0;
}

bool CKXCtrlTabItem::OnCloseMark(float px, float py) const
{
    return closable && TabCount() >= 2 && closeRect.Contains(px, py);
}

void CKXCtrlTabItem::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrl::SetRect(nx, ny, w, h);
    if (side < 0 || side > 3)
        return;
    if (!closable) {
        labelRect = RectF(nx + 4.0f, ny + 4.0f, w - 8.0f, h - 8.0f);
    } else if (side == 0 || side == 1) {
        closeRect = RectF(nx + w - 18.0f, ny + h * 0.5f - 8.0f, 16.0f, 16.0f);
        labelRect = RectF(nx + 4.0f, ny + 4.0f, w - 16.0f - 6.0f, h - 8.0f);
    } else {
        closeRect = RectF(nx + w - 18.0f, ny + 4.0f, 16.0f, 16.0f);
        labelRect = RectF(nx + 4.0f, ny + 16.0f + 6.0f, w - 8.0f, h - 16.0f - 10.0f);
    }
}

RectF CKXCtrlTabItem::Measure(RectF area)
{
    const _KXCtrlFont& f = CKXCtrlTheme::GetInstance()->window.font;
    FontFamily named(f.name.GetString());
    Font font(named.IsAvailable() ? &named : FontFamily::GenericSansSerif(), f.size, FontStyleRegular);
    Graphics g(GetDesktopWindow());
    RectF box;
    g.MeasureString(caption.GetString(), caption.GetLength(), &font, area, &box);
    box = RectF(box.X - 4.0f, box.Y - 4.0f, box.Width + 8.0f, box.Height + 8.0f);
    if (closable) {
        if (side == 2 || side == 3)
            box.Height += 18.0f;
        else
            box.Width += 18.0f;
    }
    return box;
}

int CKXCtrlTabItem::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    closePressed = 0;
    const int taken = CKXCtrl::OnLButtonDown(px, py, handled, ctx);
    if (taken && OnCloseMark(px, py))
        closePressed = 1;
    return taken;
}

int CKXCtrlTabItem::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!CKXCtrl::OnLButtonUp(px, py, handled, ctx)) {
        closePressed = closeHover = 0;
        return 0;
    }
    auto* strip = dynamic_cast<CKXCtrlWndTab*>(parent);
    if (strip && closePressed && OnCloseMark(px, py)) {
        closePressed = closeHover = 0;
        if (strip->CanCloseTab(this, ctx)) {
            if (page)
                page->OnPageClose();
            // Removed by the strip after this handler has returned.
            strip->RequestClose(this);
        }
        return 0;
    }
    if (strip && handled && *handled)
        strip->ShowTabPage(page);
    closePressed = closeHover = 0;
    return 1;
}

int CKXCtrlTabItem::OnMouseMove(float px, float py, BOOL*, CKXCtrlCursor*)
{
    closeHover = OnCloseMark(px, py);
    return 0;
}

int CKXCtrlTabItem::OnMouseLeave(CKXCtrlCursor*)
{
    closePressed = closeHover = 0;
    return 0;
}

void CKXCtrlTabItem::DrawBackground(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    DWORD color = 0;
    bool fill = false;
    if (selected) {
        color = theme->window.style.back;
        fill = true;
    } else if (hint && hint->pressed) {
        color = theme->standard[KXSTANDARD_PRESSED].style.back;
        fill = !theme->standard[KXSTANDARD_PRESSED].style.noBack;
    } else if (hint && hint->hover) {
        color = theme->standard[KXSTANDARD_OVER].style.back;
        fill = !theme->standard[KXSTANDARD_OVER].style.noBack;
    }
    if (!fill)
        return;
    SolidBrush brush{Color(color)};
    g->FillRectangle(&brush, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}

void CKXCtrlTabItem::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    int state = KXSTANDARD_NORMAL;
    if (selected || (hint && hint->pressed))
        state = KXSTANDARD_PRESSED;
    else if (hint && hint->hover)
        state = KXSTANDARD_OVER;
    const _KXCtrlTextStyle& record = theme->standard[state];
    StringAlignment align = StringAlignmentNear;
    if (captionAlign == 1)
        align = StringAlignmentCenter;
    else if (captionAlign == 2)
        align = StringAlignmentFar;
    kxctrl::DrawText(g, caption, record.font, scale, ScaleDrawRect(labelRect, scale, offsetX, offsetY), align,
                     StringAlignmentCenter, StringTrimmingCharacter, 0);
    if (!selected) {
        Pen frame(Color(record.style.fore), 1.0f);
        g->DrawRectangle(&frame, ScaleDrawRect(Rect(), scale, offsetX, offsetY));
    }
    if (closable && TabCount() > 1) {
        const int closeState = closePressed ? KXSMALL_PRESSED : closeHover ? KXSMALL_OVER : KXSMALL_NORMAL;
        Pen cross(Color(theme->smallButtonColor[closeState]), 2.0f);
        cross.SetStartCap(LineCapRound);
        cross.SetEndCap(LineCapRound);
        const RectF r = ScaleDrawRect(
            RectF(closeRect.X + 4.0f, closeRect.Y + 4.0f, closeRect.Width - 8.0f, closeRect.Height - 8.0f), scale,
            offsetX, offsetY);
        g->DrawLine(&cross, r.X, r.Y, r.GetRight(), r.GetBottom());
        g->DrawLine(&cross, r.X, r.GetBottom(), r.GetRight(), r.Y);
    }
}
