#include "framework/CKXBaseDialog.h"

#include "framework/KXPaintBand.h"
#include "platform/base/clock.h"
#include "platform/gdi/gdi.h"

using namespace Gdiplus;

CKXBaseDialog::CKXBaseDialog(DWORD style, DWORD exStyle) : templateBlock(1024, 0)
{
    auto* t = reinterpret_cast<DLGTEMPLATE*>(templateBlock.data());
    t->style = style;
    t->dwExtendedStyle = exStyle;
    t->cx = 300;
    t->cy = 200;
    InitModalIndirect(t, nullptr);
    context.host = this;
}

CKXBaseDialog::~CKXBaseDialog() { context.host = nullptr; }

void CKXBaseDialog::SetDialogSize(int newWidth, int newHeight)
{
    width = newWidth ? newWidth : 320;
    height = newHeight ? newHeight : 240;
    captionBar.SetRect(0.0f, 0.0f, static_cast<float>(width) / renderHint.scale, 0.0f);
}

BOOL CKXBaseDialog::RecalcLayout() { return m_hWnd != nullptr; }
BOOL CKXBaseDialog::OnClientSize(int, int) { return 0; }
void CKXBaseDialog::Accept() { OnOK(); }
BOOL CKXBaseDialog::OnClientLButtonDown(float, float) { return 0; }
BOOL CKXBaseDialog::OnClientLButtonUp(float, float) { return 0; }
BOOL CKXBaseDialog::OnClientMouseMove(float, float) { return 0; }
BOOL CKXBaseDialog::OnClientKeyDown(UINT, UINT, UINT) { return 0; }

INT_PTR CKXBaseDialog::CenterOnCursorMonitor()
{
    SetDialogSize(width, height);
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &info);
    const int monitorWidth = info.rcMonitor.right - info.rcMonitor.left;
    const int monitorHeight = info.rcMonitor.bottom - info.rcMonitor.top;
    posX = info.rcMonitor.left + (monitorWidth / 2 - width / 2);
    posY = info.rcMonitor.top + (monitorHeight / 2 - height / 2);
    return DoModal();
}

BOOL CKXBaseDialog::OnInitDialog()
{
    const BOOL result = CDialog::OnInitDialog();
    trackMouse = TRACKMOUSEEVENT{sizeof(TRACKMOUSEEVENT), TME_LEAVE, m_hWnd, 0};
    RecalcLayout();
    // The caption drawn in the window is also its title, which the desktop shows.
    ::SetWindowTextW(m_hWnd, captionBar.caption);
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, posX, posY, static_cast<int>(static_cast<float>(width) * renderHint.scale),
                   static_cast<int>(static_cast<float>(height) * renderHint.scale), SWP_SHOWWINDOW);
    return result;
}

BOOL CKXBaseDialog::PreTranslateMessage(MSG* msg)
{
    if (!msg)
        return FALSE;
    if (msg->message == WM_CHAR) {
        // The dialog sees every character typed in it; the message still goes on to its target.
        ::SendMessageW(m_hWnd, WM_CHAR, msg->wParam, msg->lParam);
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN) {
        switch (msg->wParam) {
        case VK_RETURN:
        case VK_TAB:
        case VK_LEFT:
        case VK_RIGHT:
        case VK_DOWN:
        case VK_UP:
        case VK_ESCAPE:
        case 0x2F:  // VK_HELP
            return FALSE;
        }
    }
    return CDialog::PreTranslateMessage(msg);
}

void CKXBaseDialog::RefreshCaptionFlags() { captionBar.ReadWindowState(m_hWnd); }

void CKXBaseDialog::ToggleMaximize()
{
    if (!captionBar.showMaximize)
        return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    GetWindowPlacement(&wp);
    wp.showCmd = wp.showCmd == SW_MAXIMIZE ? SW_RESTORE : SW_MAXIMIZE;
    ::SetWindowPlacement(m_hWnd, &wp);
    RefreshCaptionFlags();
}

void CKXBaseDialog::Minimize()
{
    ShowWindow(SW_MINIMIZE);
    RefreshCaptionFlags();
}

void CKXBaseDialog::RedrawNow()
{
    if (!m_hWnd)
        return;
    HDC dc = ::GetDC(m_hWnd);
    Draw(dc);
    ::ReleaseDC(m_hWnd, dc);
}

PointF CKXBaseDialog::Layout(CPoint point) const
{
    return PointF(static_cast<float>(point.x) / renderHint.scale, static_cast<float>(point.y) / renderHint.scale);
}

void CKXBaseDialog::PaintBand(HDC dc, int top, int bandHeight, const std::function<void(Graphics&)>& paint)
{
    RECT client{};
    GetClientRect(&client);
    quiva::PaintBand(dc, top, client.right, bandHeight, paint);
}

void CKXBaseDialog::Draw(HDC dc)
{
    if (!captionVisible || !dc)
        return;
    const int bandHeight = static_cast<int>(captionBar.height * renderHint.scale);
    PaintBand(dc, 0, bandHeight, [&](Graphics& g) {
        captionBar.DrawBackground(&g, 0.0f, 0.0f, &renderHint, &context);
        captionBar.Draw(&g, 0.0f, 0.0f, &renderHint, &context);
        captionBar.DrawBorder(&g, 0.0f, 0.0f, &renderHint, &context);
    });
}

LRESULT CKXBaseDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ACTIVATE) {
        RefreshCaptionFlags();
        RedrawNow();
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CKXBaseDialog::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    Draw(dc);
    EndPaint(m_hWnd, &ps);
}

void CKXBaseDialog::OnSize(UINT, int, int)
{
    if (!m_hWnd)
        return;
    RECT client{};
    GetClientRect(&client);
    captionBar.SetRect(0.0f, 0.0f, static_cast<float>(client.right) / renderHint.scale, 0.0f);
    if (!OnClientSize(client.right, client.bottom))
        Default();
    RedrawNow();
}

LRESULT CKXBaseDialog::OnNcHitTest(CPoint point)
{
    ScreenToClient(&point);
    const PointF p = Layout(point);
    if (captionVisible && captionBar.IsDragArea(p.X, p.Y)) {
        RefreshCaptionFlags();
        RedrawNow();
        return HTCAPTION;
    }
    return Default();
}

void CKXBaseDialog::OnLButtonDown(UINT, CPoint point)
{
    context.buttonDown = 1;
    context.pressTime = GetTickCount();
    context.pressPoint = context.lastPoint = point;
    PointF p = Layout(point);
    if (captionVisible) {
        BOOL handled = 0;
        if (captionBar.OnLButtonDown(p.X, p.Y, &handled, &context)) {
            Invalidate();
            return;
        }
        p.Y -= captionBar.height;
    }
    if (OnClientLButtonDown(p.X, p.Y))
        Invalidate();
    else
        Default();
}

void CKXBaseDialog::OnLButtonUp(UINT, CPoint point)
{
    context.releasePoint = point;
    context.buttonDown = 0;
    PointF p = Layout(point);
    if (captionVisible) {
        BOOL handled = 0;
        if (captionBar.OnLButtonUp(p.X, p.Y, &handled, &context)) {
            switch (captionBar.clickedButton) {
            case CAPTION_MINIMIZE:
                Minimize();
                break;
            case CAPTION_MAXIMIZE:
                ToggleMaximize();
                break;
            case CAPTION_EXIT:
                EndDialog(IDCANCEL);
                break;
            case CAPTION_SETTING:
                OnSettingButton();
                break;
            }
            Invalidate();
            return;
        }
        p.Y -= captionBar.height;
    }
    const BOOL taken = OnClientLButtonUp(p.X, p.Y);
    Invalidate();
    if (!taken)
        Default();
}

void CKXBaseDialog::OnMouseMove(UINT, CPoint point)
{
    if (context.buttonDown) {
        context.dragDelta[0] = context.lastPoint.x - point.x;
        context.dragDelta[1] = context.lastPoint.y - point.y;
        context.lastPoint = point;
    }
    _TrackMouseEvent(&trackMouse);
    PointF p = Layout(point);
    if (captionVisible) {
        BOOL handled = 0;
        if (captionBar.OnMouseMove(p.X, p.Y, &handled, &context)) {
            Invalidate();
            return;
        }
        p.Y -= captionBar.height;
    }
    const BOOL taken = OnClientMouseMove(p.X, p.Y);
    Invalidate();
    if (!taken)
        Default();
}

void CKXBaseDialog::OnMouseLeave()
{
    captionBar.OnMouseLeave(&context);
    RedrawNow();
}

void CKXBaseDialog::OnActivate(UINT, CWnd*, BOOL) { Default(); }

void CKXBaseDialog::OnKeyDown(UINT key, UINT repeat, UINT flags)
{
    if (OnClientKeyDown(key, repeat, flags))
        Invalidate();
    Default();
}

void CKXBaseDialog::OnNcLButtonDblClk(UINT hitTest, CPoint)
{
    if (hitTest == HTCAPTION)
        ToggleMaximize();
    else
        Default();
}
