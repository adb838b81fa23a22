#include "app/ui/CKXCtrlQUIVARecordTimer.h"

#include "capture/CKXMCapture.h"
#include "platform/base/clock.h"

using namespace Gdiplus;

CString CKXCtrlQUIVARecordTimer::ElapsedText(DWORD elapsedMs)
{
    CString text;
    text.Format(L"녹화중 : %02d:%02d:%02d", static_cast<int>(elapsedMs / 3600000u), static_cast<int>(elapsedMs / 60000u % 60u),
                static_cast<int>(elapsedMs / 1000u % 60u));
    return text;
}

void CKXCtrlQUIVARecordTimer::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor*)
{
    if (!visible || !g)
        return;
    // The tick wraps as a 32-bit count, and so does the difference.
    DWORD elapsed = GetTickCount() - (engine ? engine->m_dwRecordStart : 0);
    float scale = hint ? hint->scale : 1.0f;
    float left = offsetX + x, topY = offsetY + y;
    _KXCtrlFont font(L"맑은 고딕", 10.0f, 0, 0xFFFFFFFFu);
    kxctrl::DrawText(g, ElapsedText(elapsed), font, scale, RectF(left, topY, width - height, height), StringAlignmentCenter,
                     StringAlignmentCenter, StringTrimmingNone, 0);
    SolidBrush red{Color(0xFFFF0000u)};
    g->FillEllipse(&red, left + width - height + 8, topY + 8, height - 16, height - 16);
}

void CKXCtrlQUIVARecordTimer::DrawBorder(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    // The normal state's border whatever the state and the border flag.
    const _KXCtrlStateStyle& s = ThemeOf(ctx)->standard[KXSTANDARD_NORMAL].style;
    Pen pen(Color(s.fore), s.width);
    g->DrawRectangle(&pen, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}
