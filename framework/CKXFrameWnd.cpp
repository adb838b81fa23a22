#include "framework/CKXFrameWnd.h"

#include "framework/KXPaintBand.h"
#include "platform/base/clock.h"
#include "platform/gdi/gdi.h"

using namespace Gdiplus;

CKXFrameWnd::CKXFrameWnd() = default;

CKXFrameWnd::~CKXFrameWnd()
{
    if (m_hWnd)
        DestroyWindow();
}

BOOL CKXFrameWnd::PreCreateWindow(CREATESTRUCTW& cs)
{
    cs.lpszClass = KX_WINDOW_CLASS;
    return 1;
}

BOOL CKXFrameWnd::Create(CString title, int x, int y, int width, int height)
{
    context.host = this;
    if (!CreateEx(WS_EX_APPWINDOW, KX_WINDOW_CLASS, title.GetString(), WS_POPUP | WS_THICKFRAME,
                  RECT{x, y, x + width, y + height}, nullptr, 0))
        return 0;
    captionBar.SetCaption(title);
    trackMouse.hwndTrack = m_hWnd;
    // When the children cannot be made the window stays: the subclass's destroy handler
    // saves its state and must not run before the caller decides what to do.
    if (!CreateChildren())
        return 0;
    RECT c;
    GetClientRect(&c);
    RecalcLayout(c.right, c.bottom);
    return 1;
}

void CKXFrameWnd::Refresh(float scale)
{
    renderHint.scale = scale;
    RECT c{0, 0, 0, 0};
    if (m_hWnd)
        GetClientRect(&c);
    captionBar.SetRect(0, 0, Scaled(c.right), 0);
    OnScaleChanged(scale);
    RecalcLayout(c.right, c.bottom);
    Invalidate();
}

void CKXFrameWnd::Draw(HDC hdc)
{
    if (!captionShown || !hdc || !m_hWnd)
        return;
    RECT c;
    GetClientRect(&c);
    int stripHeight = static_cast<int>(captionBar.height * renderHint.scale);
    if (c.right <= 0 || stripHeight <= 0)
        return;
    quiva::PaintBand(hdc, 0, c.right, stripHeight, [&](Graphics& g) {
        captionBar.DrawBackground(&g, 0, 0, &renderHint, &context);
        captionBar.Draw(&g, 0, 0, &renderHint, &context);
        captionBar.DrawBorder(&g, 0, 0, &renderHint, &context);
    });
}

void CKXFrameWnd::Redraw()
{
    if (!m_hWnd)
        return;
    HDC dc = GetDC(m_hWnd);
    Draw(dc);
    ReleaseDC(m_hWnd, dc);
}

int CKXFrameWnd::RecalcLayout(int, int) { return 0; }
int CKXFrameWnd::CreateChildren() { return 1; }
int CKXFrameWnd::CanClose() { return 1; }
void CKXFrameWnd::Close() { SendMessage(WM_CLOSE); }

void CKXFrameWnd::RefreshCaptionFlags() { captionBar.ReadWindowState(m_hWnd); }

void CKXFrameWnd::ToggleMaximize()
{
    if (!captionBar.showMaximize || !m_hWnd)
        return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    GetWindowPlacement(&wp);
    ShowWindow(wp.showCmd == SW_MAXIMIZE ? SW_RESTORE : SW_MAXIMIZE);
    RefreshCaptionFlags();
}

void CKXFrameWnd::Minimize()
{
    ShowWindow(SW_MINIMIZE);
    RefreshCaptionFlags();
}

void CKXFrameWnd::OnSettingButton() {}
int CKXFrameWnd::OnClientLButtonDown(float, float) { return 0; }
int CKXFrameWnd::OnClientLButtonUp(float, float) { return 0; }
int CKXFrameWnd::OnClientMouseMove(float, float) { return 0; }

int CKXFrameWnd::OnClientMouseLeave(CKXCtrlCursor* ctx)
{
    if (ctx) {
        ctx->buttonDown = 0;
        ctx->pressTime = GetTickCount();
    }
    return 0;
}

void CKXFrameWnd::OnActivateChanged(BOOL) {}
int CKXFrameWnd::OnClientKeyDown(UINT, UINT, UINT) { return 0; }
void CKXFrameWnd::OnScaleChanged(float) {}

void CKXFrameWnd::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    Draw(dc);
    EndPaint(m_hWnd, &ps);
}

BOOL CKXFrameWnd::OnEraseBkgnd(HDC) { return 0; }

void CKXFrameWnd::OnSize(UINT type, int cx, int cy)
{
    if (!m_hWnd)
        return;
    captionBar.SetRect(0, 0, Scaled(cx), 0);
    if (!RecalcLayout(cx, cy))
        CWnd::OnSize(type, cx, cy);
    Redraw();
}

LRESULT CKXFrameWnd::OnNcHitTest(CPoint point)
{
    POINT p = point;
    ScreenToClient(&p);
    if (captionShown && captionBar.IsDragArea(Scaled(p.x), Scaled(p.y))) {
        RefreshCaptionFlags();
        Redraw();
        return HTCAPTION;
    }
    return CWnd::OnNcHitTest(point);
}

void CKXFrameWnd::OnGetMinMaxInfo(MINMAXINFO* mmi)
{
    if (mmi)
        mmi->ptMinTrackSize = POINT{400, 300};
    CWnd::OnGetMinMaxInfo(mmi);
}

void CKXFrameWnd::OnClose()
{
    if (CanClose())
        CWnd::OnClose();
}

void CKXFrameWnd::DispatchCaptionCommand(int id)
{
    switch (id) {
    case CAPTION_MINIMIZE:
        Minimize();
        break;
    case CAPTION_MAXIMIZE:
        ToggleMaximize();
        break;
    case CAPTION_EXIT:
        Close();
        break;
    case CAPTION_SETTING:
        OnSettingButton();
        break;
    default:
        break;
    }
}

void CKXFrameWnd::OnLButtonDown(UINT flags, CPoint point)
{
    context.buttonDown = 1;
    context.pressTime = GetTickCount();
    context.pressPoint = context.lastPoint = point;
    if (captionShown) {
        BOOL handled = 0;
        if (captionBar.OnLButtonDown(Scaled(point.x), Scaled(point.y), &handled, &context)) {
            Invalidate();
            return;
        }
    }
    if (OnClientLButtonDown(Scaled(point.x), Scaled(point.y) - CaptionHeight()))
        Invalidate();
    else
        CWnd::OnLButtonDown(flags, point);
}

void CKXFrameWnd::OnLButtonUp(UINT flags, CPoint point)
{
    context.releasePoint = point;
    context.buttonDown = 0;
    if (captionShown) {
        BOOL handled = 0;
        if (captionBar.OnLButtonUp(Scaled(point.x), Scaled(point.y), &handled, &context)) {
            HWND self = m_hWnd;
            DispatchCaptionCommand(captionBar.clickedButton);
            // A close may have destroyed the window: then nothing more is done to it.
            if (!self || !::IsWindow(self) || m_hWnd != self)
                return;
            captionBar.OnMouseLeave(&context);
            Invalidate();
            return;
        }
    }
    int r = OnClientLButtonUp(Scaled(point.x), Scaled(point.y) - CaptionHeight());
    Invalidate();
    if (!r)
        CWnd::OnLButtonUp(flags, point);
}

void CKXFrameWnd::OnMouseMove(UINT flags, CPoint point)
{
    if (context.buttonDown) {
        context.dragDelta[0] = context.lastPoint.x - point.x;
        context.dragDelta[1] = context.lastPoint.y - point.y;
        context.lastPoint = point;
    }
    trackMouse.hwndTrack = m_hWnd;
    _TrackMouseEvent(&trackMouse);
    if (captionShown) {
        BOOL handled = 0;
        if (captionBar.OnMouseMove(Scaled(point.x), Scaled(point.y), &handled, &context)) {
            Invalidate();
            return;
        }
    }
    int r = OnClientMouseMove(Scaled(point.x), Scaled(point.y) - CaptionHeight());
    Invalidate();
    if (!r)
        CWnd::OnMouseMove(flags, point);
}

void CKXFrameWnd::OnMouseLeave()
{
    captionBar.OnMouseLeave(&context);
    OnClientMouseLeave(&context);
    Redraw();
}

void CKXFrameWnd::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    CWnd::OnActivate(state, other, minimized);
    RefreshCaptionFlags();
    OnActivateChanged(captionBar.active);
    Redraw();
}

void CKXFrameWnd::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    if (OnClientKeyDown(ch, repeat, flags))
        Invalidate();
    CWnd::OnKeyDown(ch, repeat, flags);
}

void CKXFrameWnd::OnNcLButtonDblClk(UINT hitTest, CPoint point)
{
    if (hitTest == HTCAPTION) {
        ToggleMaximize();
        return;
    }
    CWnd::OnNcLButtonDblClk(hitTest, point);
}
