#include "app/ui/CKXQUIVASplitWnd.h"

#include "capture/CKXMCapture.h"
#include "framework/CKXCtrlTheme.h"
#include "framework/CKXWnd.h"
#include "platform/base/debug.h"
#include "platform/base/wformat.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdiplus.h"

using namespace Gdiplus;

CKXQUIVASplitWnd::CKXQUIVASplitWnd()
    : arrowCursor(LoadCursorW(nullptr, IDC_ARROW)), sizeCursor(LoadCursorW(nullptr, IDC_SIZEWE))
{
}

CKXQUIVASplitWnd::~CKXQUIVASplitWnd()
{
    DestroyCursor(arrowCursor);
    DestroyCursor(sizeCursor);
}

int CKXQUIVASplitWnd::Create(CWnd* parent, int topY, CWnd* video, CWnd* thumbnail)
{
    if (!parent)
        return 0;
    top = topY;
    barWidth = 24;
    if (!CreateEx(0, KX_WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE, CRect(0, topY, barWidth, topY + 100), parent, kId))
        return 0;
    videoPane = video;
    thumbnailPane = thumbnail;
    frame = parent;
    return 1;
}

void CKXQUIVASplitWnd::Relayout()
{
    if (!videoPane || !frame || !thumbnailPane || !thumbnailPane->GetSafeHwnd())
        return;
    CRect p;
    frame->GetClientRect(&p);
    int height = p.bottom - top;
    if (collapsed) {
        CRect t;
        thumbnailPane->GetClientRect(&t);
        // A pane that was never laid out has no width to remember: the stored one stays.
        if (t.Width() > 0)
            thumbnailWidth = t.Width();
        thumbnailPane->ShowWindow(SW_HIDE);
        videoPane->MoveWindow(p.left, top, p.Width() - barWidth, height);
        MoveWindow(p.right - barWidth, top, barWidth, height);
    } else {
        thumbnailPane->ShowWindow(SW_SHOW);
        int w1 = p.Width() - barWidth - thumbnailWidth;
        videoPane->MoveWindow(p.left, top, w1, height);
        MoveWindow(w1, top, barWidth, height);
        thumbnailPane->MoveWindow(w1 + barWidth, top, thumbnailWidth, height);
    }
    if (engine)
        engine->UpdateVideoPosition();
    Redraw();
}

bool CKXQUIVASplitWnd::InButtonZone(CPoint point) const
{
    CRect c;
    GetClientRect(&c);
    return c.PtInRect(point) && (collapsed || point.x >= kHandleWidth);
}

void CKXQUIVASplitWnd::OnLButtonDown(UINT, CPoint point)
{
    SetCapture();
    dragging = 0;
    if (!collapsed && handleHover) {
        dragging = 1;
        GetCursorPos(&dragPoint);
    }
    pressed = InButtonZone(point);
}

void CKXQUIVASplitWnd::OnMouseMove(UINT, CPoint point)
{
    if (!dragging) {
        handleHover = !collapsed && point.x < kHandleWidth;
        return;
    }
    Drag();
}

void CKXQUIVASplitWnd::Drag()
{
    if (!videoPane || !thumbnailPane || !frame)
        return;
    POINT cursor;
    GetCursorPos(&cursor);
    int dx = cursor.x - dragPoint.x;
    CRect v, t, p;
    videoPane->GetClientRect(&v);
    thumbnailPane->GetClientRect(&t);
    frame->GetClientRect(&p);
    int height = v.Height();
    int w2 = t.Width() - dx;
    int w1 = p.Width() - barWidth - w2;
    OutputDebugStringW(quiva::FormatWide(L"%d %d\n", w1, w2).c_str());
    if (w1 > 400 && w2 > 100 && w2 <= 400) {
        videoPane->MoveWindow(0, top, w1, height);
        MoveWindow(w1, top, barWidth, height);
        thumbnailPane->MoveWindow(w1 + barWidth, top, w2, t.Height());
        thumbnailWidth = w2;
        if (engine)
            engine->UpdateVideoPosition();
        if (auto* host = dynamic_cast<CKXWnd*>(thumbnailPane))
            host->Redraw();
        else
            thumbnailPane->Invalidate();
        Redraw();
    }
    // Movement the limits refused is dropped, not made up later.
    dragPoint = cursor;
}

void CKXQUIVASplitWnd::OnLButtonUp(UINT, CPoint point)
{
    bool wasPressed = pressed;
    ReleaseCapture();
    dragging = 0;
    pressed = 0;
    if (wasPressed && InButtonZone(point)) {
        collapsed = !collapsed;
        if (thumbnailPane)
            Relayout();
    }
}

void CKXQUIVASplitWnd::OnCaptureChanged(CWnd*)
{
    // The capture taken away mid-drag (another window, a message box) ends the drag.
    dragging = 0;
    pressed = 0;
}

BOOL CKXQUIVASplitWnd::OnSetCursor(CWnd*, UINT, UINT)
{
    SetCursor(!collapsed && handleHover ? sizeCursor : arrowCursor);
    return TRUE;
}

void CKXQUIVASplitWnd::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    Paint(dc);
    EndPaint(m_hWnd, &ps);
}

void CKXQUIVASplitWnd::Redraw()
{
    if (!m_hWnd)
        return;
    HDC dc = GetDC(m_hWnd);
    Paint(dc);
    ReleaseDC(m_hWnd, dc);
}

void CKXQUIVASplitWnd::Paint(HDC hdc)
{
    CRect c;
    GetClientRect(&c);
    if (c.Width() <= 0 || c.Height() <= 0)
        return;
    HDC mem = CreateCompatibleDC(hdc);
    HBITMAP bitmap = CreateCompatibleBitmap(hdc, c.right, c.bottom);
    HGDIOBJ old = SelectObject(mem, bitmap);
    {
        Graphics g(mem);
        g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
        g.SetInterpolationMode(InterpolationModeHighQuality);
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        SolidBrush back{Color(CKXCtrlTheme::GetInstance()->window.style.back)};
        g.FillRectangle(&back, 0, 0, c.right, c.bottom);
        if (!collapsed) {
            SolidBrush handle{Color(0x28000000u)};
            g.FillRectangle(&handle, 0, 0, kHandleWidth, c.bottom);
        }
        Pen edge(Color(0x28FFFFFFu), 1.0f);
        g.DrawLine(&edge, 0.5f, 0.0f, 0.5f, static_cast<REAL>(c.bottom));
        g.Flush();
    }
    BitBlt(hdc, 0, 0, c.right, c.bottom, mem, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
}
