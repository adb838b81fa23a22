#include "framework/CKXCtrlButton.h"

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWnd.h"
#include "platform/gdi/gdi.h"

using namespace Gdiplus;

CKXCtrlButton::CKXCtrlButton()
{
    kind = CTRLKIND_BUTTON;
    tabStop = 1;
}

CKXCtrlButton::~CKXCtrlButton()
{
    if (icon)
        DestroyIcon(icon);
}

bool CKXCtrlButton::LayoutAreas(const RectF& r, RectF* textArea, RectF* iconArea, bool* hasText, bool* hasIcon) const
{
    *hasText = *hasIcon = false;
    switch (layout) {
    case 0:
        *textArea = r;
        *hasText = true;
        return true;
    case 1:
        *iconArea = r;
        *hasIcon = true;
        return true;
    case 2: {
        float ih = static_cast<float>(iconHeight + 4);
        *iconArea = RectF(r.X, r.Y, r.Width, ih);
        *textArea = RectF(r.X, r.Y + ih, r.Width, r.Height - ih);
        *hasText = *hasIcon = true;
        return true;
    }
    case 3: {
        float iw = static_cast<float>(iconWidth + 4);
        *iconArea = RectF(r.X, r.Y, iw, r.Height);
        *textArea = RectF(r.X + iw, r.Y, r.Width - iw, r.Height);
        *hasText = *hasIcon = true;
        return true;
    }
    default:
        return false;
    }
}

void CKXCtrlButton::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    float scale = hint ? hint->scale : 1.0f;
    RectF r = ScaleDrawRect(Rect(), scale, offsetX, offsetY);
    RectF textArea, iconArea;
    bool hasText, hasIcon;
    if (!LayoutAreas(r, &textArea, &iconArea, &hasText, &hasIcon))
        return;
    if (hasText) {
        const _KXCtrlTextStyle& s = StandardText(hint, ctx, selected != 0);
        kxctrl::DrawText(g, caption, s.font, scale, textArea, StringAlignmentCenter, StringAlignmentCenter,
                         StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
    }
    if (hint && hint->focused)
        kxctrl::DrawFocusMark(g, r, StandardText(hint, ctx).font.color);
    if (hasIcon && icon) {
        int ix = static_cast<int>(iconArea.X + iconArea.Width * 0.5f - iconWidth * 0.5f);
        int iy = static_cast<int>(iconArea.Y + iconArea.Height * 0.5f - iconHeight * 0.5f);
        HDC dc = g->GetHDC();
        DrawIconEx(dc, ix, iy, icon, iconWidth, iconHeight, 0, nullptr, DI_NORMAL);
        g->ReleaseHDC(dc);
    }
}

void CKXCtrlButton::DrawBackground(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !showBackground || !g)
        return;
    const _KXCtrlStateStyle& s = StandardText(hint, ctx, selected != 0).style;
    if (s.noBack)
        return;
    SolidBrush brush{Color(s.back)};
    g->FillRectangle(&brush, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}

int CKXCtrlButton::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!enabled)
        return 0;
    int result = CKXCtrl::OnLButtonUp(px, py, handled, ctx);
    if (result && parent)
        parent->OnCommand(id, this, ctx);
    return result;
}

int CKXCtrlButton::OnFocusKey(UINT vk, CKXCtrlCursor* ctx)
{
    if ((vk != VK_SPACE && vk != VK_RETURN) || !enabled || !visible)
        return 0;
    if (parent)
        parent->OnCommand(id, this, ctx);
    return 1;
}
