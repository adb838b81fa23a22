#include "framework/CKXWndPopup.h"

#include <algorithm>

#include "platform/base/clock.h"

CKXWndPopup::CKXWndPopup() = default;
CKXWndPopup::~CKXWndPopup() = default;

BOOL CKXWndPopup::CreatePopup(CWnd* ownerWnd, int width, int height)
{
    if (!ownerWnd)
        return 0;
    if (m_hWnd)
        ClosePopup();
    if (!CreateEx(WS_EX_TOOLWINDOW, KX_WINDOW_CLASS, nullptr, WS_POPUP, RECT{0, 0, 0, 0}, ownerWnd, 0))
        return 0;
    trackMouse.hwndTrack = m_hWnd;
    context.host = this;
    if (width && height) {
        popupWidth = static_cast<float>(width);
        popupHeight = static_cast<float>(height);
        if (root)
            root->SetRect(0, 0, Scaled(width), Scaled(height));
    }
    owner = ownerWnd;
    return 1;
}

BOOL CKXWndPopup::Create(CWnd* ownerWnd, int x, int y, int width, int height, DWORD)
{
    if (!CreatePopup(ownerWnd, width, height))
        return 0;
    popupWidth = static_cast<float>(width);
    popupHeight = static_cast<float>(height);
    ShowAt(x, y);
    return 1;
}

void CKXWndPopup::ShowAt(int x, int y)
{
    if (!m_hWnd)
        return;
    POINT p{x, y};
    if (owner)
        owner->ClientToScreen(&p);
    int w = static_cast<int>(popupWidth), h = static_cast<int>(popupHeight);
    // Kept inside the virtual screen on every side, wherever its origin lies.
    int vx = GetSystemMetrics(SM_XVIRTUALSCREEN), vy = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int vw = GetSystemMetrics(SM_CXVIRTUALSCREEN), vh = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (p.x + w + 1 > vx + vw)
        p.x = vx + vw - (w + 1);
    if (p.y + h > vy + vh)
        p.y = vy + vh - h;
    p.x = std::max<LONG>(p.x, vx);
    p.y = std::max<LONG>(p.y, vy);
    // The popup takes the keys while it is open, so Escape closes it; the keyboard goes back
    // afterwards. (Taken before it shows, which leaves the activation where it is.)
    HWND previous = ::GetFocus();
    SetFocus();
    SetWindowPos(reinterpret_cast<const CWnd*>(HWND_TOPMOST), p.x, p.y, w + 1, h + 1, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    if (root) {
        RECT c;
        GetClientRect(&c);
        SizeRoot(c.right, c.bottom);
    }
    running = 1;
    cancelled = 0;
    SetCapture();
    DWORD flags = MLF_SHOWONIDLE;
    if (GetStyle() & DS_NOIDLEMSG)
        flags |= MLF_NOIDLEMSG;
    RunModalLoop(flags);
    running = 0;
    if (m_hWnd)
        DestroyWindow();
    if (previous && ::IsWindow(previous))
        ::SetFocus(previous);
}

void CKXWndPopup::ClosePopup()
{
    if (m_hWnd) {
        if (::GetCapture() == m_hWnd)
            ReleaseCapture();
        if (auto* parentPopup = dynamic_cast<CKXWndPopup*>(owner); parentPopup && parentPopup->m_hWnd)
            parentPopup->SetCapture();
        if (IsWindowVisible())
            ShowWindow(SW_HIDE);
        EndModalLoop(0);
        running = 0;
        // Destroyed whether or not its loop ran: a closed popup leaves no hidden window.
        DestroyWindow();
    }
    Detach();
}

BOOL CKXWndPopup::PreTranslateMessage(MSG* msg)
{
    if (forwardMoves && msg->message == WM_MOUSEMOVE && msg->hwnd == m_hWnd) {
        POINT p{GET_X_LPARAM(msg->lParam), GET_Y_LPARAM(msg->lParam)};
        RECT c;
        GetClientRect(&c);
        if (!PtInRect(&c, p)) {
            HWND target = owner ? owner->GetSafeHwnd() : ::GetParent(m_hWnd);
            if (target) {
                ClientToScreen(&p);
                ::ScreenToClient(target, &p);
                ::SendMessageW(target, WM_MOUSEMOVE, msg->wParam, MAKELPARAM(p.x, p.y));
                return TRUE;
            }
        }
    }
    return FALSE;
}

void CKXWndPopup::Paint(HDC hdc) { PaintTree(hdc, true); }

void CKXWndPopup::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    Paint(dc);
    EndPaint(m_hWnd, &ps);
}

void CKXWndPopup::OnLButtonDown(UINT, CPoint point)
{
    context.buttonDown = 1;
    context.pressTime = GetTickCount();
    context.pressPoint = context.lastPoint = point;
    RECT c;
    GetClientRect(&c);
    if (!PtInRect(&c, point)) {
        // A press outside closes the popup and goes to the window it was meant for.
        POINT screen = point;
        ClientToScreen(&screen);
        CWnd* parentWnd = GetParent();
        auto* parentHost = dynamic_cast<CKXWnd*>(parentWnd);
        bool parentIsPopup = parentHost && parentHost->IsPopup();
        HWND under = WindowFromPoint(screen);
        if (under && under != m_hWnd && !(parentIsPopup && under == parentHost->m_hWnd)) {
            POINT local = screen;
            ::ScreenToClient(under, &local);
            ::SendMessageW(under, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(local.x, local.y));
        }
        context.captured = nullptr;
        ClosePopup();
        if (parentIsPopup && parentHost->m_hWnd) {
            parentHost->SetCapture();
            POINT local = screen;
            parentHost->ScreenToClient(&local);
            parentHost->SendMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(local.x, local.y));
        }
        return;
    }
    if (!root)
        return;
    BOOL handled = 0;
    if (root->OnLButtonDown(Scaled(point.x), Scaled(point.y), &handled, &context) && handled) {
        ClosePopup();
        return;
    }
    Invalidate();
}

void CKXWndPopup::OnLButtonUp(UINT, CPoint point)
{
    context.releasePoint = point;
    context.buttonDown = 0;
    if (!root)
        return;
    BOOL handled = 0;
    if (root->OnLButtonUp(Scaled(point.x), Scaled(point.y), &handled, &context)) {
        if (handled) {
            ClosePopup();
            return;
        }
        Invalidate();
    }
}

void CKXWndPopup::OnMouseMove(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnMouseMove(flags, point);
        return;
    }
    NoteMove(point);
    BOOL handled = 0;
    root->OnMouseMove(Scaled(point.x), Scaled(point.y), &handled, &context);
    Invalidate();
}

void CKXWndPopup::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    CKXWnd::OnKeyDown(ch, repeat, flags);
    // Enter takes what the keys moved to (a drop-down's item) and closes.
    if (ch == VK_RETURN && m_hWnd)
        ClosePopup();
}

void CKXWndPopup::OnKeyUp(UINT ch, UINT repeat, UINT flags)
{
    if (ch == VK_ESCAPE) {
        cancelled = 1;
        ClosePopup();
        return;
    }
    CKXWnd::OnKeyUp(ch, repeat, flags);
}

void CKXWndPopup::OnActivateApp(BOOL active, DWORD threadId)
{
    if (!active) {
        ClosePopup();
        return;
    }
    CWnd::OnActivateApp(active, threadId);
}

void CKXWndPopup::OnKillFocus(CWnd* newWnd)
{
    // A popup opened from this one takes the keys while it is open; this one stays.
    if (auto* inner = dynamic_cast<CKXWndPopup*>(newWnd); inner && inner->owner == this)
        return;
    ClosePopup();
}
