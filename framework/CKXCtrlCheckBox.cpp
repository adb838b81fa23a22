#include "framework/CKXCtrlCheckBox.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWnd.h"

using namespace Gdiplus;

CString CKXCtrlCheckBox::GetGlyphText(BOOL isChecked)
{
    bool on = isChecked || forceChecked;
    wchar_t c;
    switch (style) {
    case 1:
        c = on ? 253 : 111;
        break;
    case 2:
        c = on ? 252 : 32;
        break;
    case 3:
        c = on ? 251 : 32;
        break;
    case 4:
        c = on ? 161 : 32;
        break;
    default:
        c = on ? 254 : 111;
        break;
    }
    return CString(std::wstring(1, c).c_str());
}

bool CKXCtrlCheckBox::InGlyphBox(float px, float py) const
{
    return px >= x && px < x + 16.0f && py >= y && py < y + std::min(height, 25.0f);
}

int CKXCtrlCheckBox::HitTest(float px, float py)
{
    if (InGlyphBox(px, py))
        return 1;
    return px >= x + 16.0f && px < x + width && py >= y && py < y + height ? 1 : 0;
}

void CKXCtrlCheckBox::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    float scale = hint ? hint->scale : 1.0f;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    const _KXCtrlTextStyle& s = StandardText(hint, ctx);
    RectF box = ScaleDrawRect(RectF(x, y, 16.0f, height), scale, offsetX, offsetY);
    kxctrl::DrawText(g, GetGlyphText(checked), s.font, scale, box, StringAlignmentCenter, StringAlignmentCenter,
                     StringTrimmingNone, 0, 1.5f, L"Wingdings",
                     checked ? theme->checkCheckedColor : theme->checkUncheckedColor);
    if (hint && hint->focused)
        kxctrl::DrawFocusMark(g, ScaleDrawRect(Rect(), scale, offsetX, offsetY), s.font.color);
    if (!caption.IsEmpty()) {
        RectF r = ScaleDrawRect(RectF(x + 16.0f, y, width - 16.0f, height), scale, offsetX, offsetY);
        kxctrl::DrawText(g, caption, s.font, scale, r, StringAlignmentNear, StringAlignmentCenter,
                         StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
    }
}

int CKXCtrlCheckBox::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    // The enabled flag is not looked at: a disabled box takes the press but its release
    // changes nothing.
    if (!visible)
        return 0;
    bool hit = caption.IsEmpty() ? InGlyphBox(px, py) : HitTest(px, py) != 0;
    if (!hit)
        return 0;
    if (ctx)
        ctx->captured = this;
    if (handled)
        *handled = 1;
    Activate(ctx);
    return 1;
}

int CKXCtrlCheckBox::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = CKXCtrl::OnLButtonUp(px, py, handled, ctx);
    if (result) {
        checked = !checked;
        if (parent)
            parent->OnCommand(id, this, ctx);
    }
    return result;
}

int CKXCtrlCheckBox::OnFocusKey(UINT vk, CKXCtrlCursor* ctx)
{
    if (vk != VK_SPACE || !enabled || !visible)
        return 0;
    checked = !checked;
    if (parent)
        parent->OnCommand(id, this, ctx);
    return 1;
}
