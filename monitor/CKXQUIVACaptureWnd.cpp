#include "monitor/CKXQUIVACaptureWnd.h"

#include "monitor/CQUIVACaptureManagerApp.h"
#include "platform/base/debug.h"
#include "platform/gdi/gdi.h"

BOOL CKXQUIVACaptureWnd::Create(CWnd* parent)
{
    if (!CreateEx(0, KXM_MONITOR_WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE, RECT{0, 0, 0, 0}, parent, 1))
        return FALSE;
    CString trace;
    trace.Format(L"CaptureWnd : %x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hWnd)));
    OutputDebugStringW(trace);
    return TRUE;
}

BOOL CKXQUIVACaptureWnd::OnEraseBkgnd(HDC hdc)
{
    // While a graph runs the renderer owns the area.
    if (m_pEngine && m_pEngine->m_bRunning)
        return 0;
    RECT r{};
    GetClientRect(&r);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(hdc, &r, black);
    DeleteObject(black);
    SetBkMode(hdc, TRANSPARENT);
    SetTextColor(hdc, RGB(180, 180, 180));
    DrawTextW(hdc, L"미리보기", -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    return 0;
}

void CKXQUIVACaptureWnd::OnMouseMove(UINT, CPoint point)
{
    if (m_pEngine)
        m_pEngine->SelectDvdAtPosition(point);
}

void CKXQUIVACaptureWnd::OnLButtonUp(UINT, CPoint point)
{
    if (m_pEngine)
        m_pEngine->ActivateDvdAtPosition(point);
}
