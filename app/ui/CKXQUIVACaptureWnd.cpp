#include "app/ui/CKXQUIVACaptureWnd.h"

#include "capture/CKXMCapture.h"
#include "platform/base/debug.h"
#include "platform/base/wformat.h"
#include "platform/gdi/gdi.h"

BOOL CKXQUIVACaptureWnd::Create(CWnd* parent)
{
    if (!CreateEx(0, QUIVA_VIDEO_WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), parent, 1))
        return FALSE;
    OutputDebugStringW(quiva::FormatWide(L"CaptureWnd : %x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hWnd))).c_str());
    return TRUE;
}

BOOL CKXQUIVACaptureWnd::OnEraseBkgnd(HDC hdc)
{
    // While a graph runs the renderer owns the area.
    if (!engine || !engine->m_bRunning) {
        RECT r;
        GetClientRect(&r);
        HBRUSH black = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        FillRect(hdc, &r, black);
        // A preview was asked for (the frame handed over its engine) and does not run: the
        // person is told why when the frame knows (no source at all), else that it could not
        // start, rather than left with a black window.
        if (!m_notice.IsEmpty() || engine) {
            SetBkMode(hdc, TRANSPARENT);
            SetTextColor(hdc, RGB(255, 255, 255));
            const CString text = m_notice.IsEmpty() ? CString(kNoPreviewText) : m_notice;
            DrawTextW(hdc, text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
    return 0;
}

void CKXQUIVACaptureWnd::SetNotice(const CString& text)
{
    if (text == m_notice)
        return;
    m_notice = text;
    if (m_hWnd)
        Invalidate(TRUE);
}

void CKXQUIVACaptureWnd::OnMouseMove(UINT, CPoint point)
{
    if (engine)
        engine->SelectDvdAtPosition(point);
}

void CKXQUIVACaptureWnd::OnLButtonUp(UINT, CPoint point)
{
    if (engine)
        engine->ActivateDvdAtPosition(point);
}

LRESULT CKXQUIVACaptureWnd::OnNcHitTest(CPoint point)
{
    // A DVD menu button under the mouse takes it here; anywhere else the frame drags the window.
    if (engine && engine->m_bRunning) {
        CPoint client = point;
        ScreenToClient(&client);
        if (engine->DvdButtonAtPosition(client))
            return HTCLIENT;
    }
    return HTTRANSPARENT;
}
