#include "framework/CKXCtrlStatic.h"

#include "framework/CKXCtrlCursor.h"

using namespace Gdiplus;

void CKXCtrlStatic::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    // A hidden label is not drawn.
    if (!visible || !g)
        return;
    float scale = hint ? hint->scale : 1.0f;
    const _KXCtrlFont& font = ThemeOf(ctx)->standard[KXSTANDARD_NORMAL].font;
    kxctrl::DrawText(g, caption, font, scale, ScaleDrawRect(Rect(), scale, offsetX, offsetY), StringAlignmentNear,
                     StringAlignmentCenter, StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
}
