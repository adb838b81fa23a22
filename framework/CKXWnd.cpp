#include "framework/CKXWnd.h"

#include "framework/CKXCtrlEdit.h"
#include "framework/KXPaintBand.h"
#include "platform/base/clock.h"
#include "platform/gdi/gdi.h"

using namespace Gdiplus;

CKXWnd::CKXWnd() { CKXCtrlCursor::RegisterHost(this, true); }

CKXWnd::~CKXWnd()
{
    CKXCtrlCursor::RegisterHost(this, false);
    if (m_hWnd)
        DestroyWindow();
}

void CKXWnd::SetRootControl(CKXCtrlWnd* newRoot)
{
    root = newRoot;
    if (!root)
        return;
    root->isRoot = 1;
    RECT c{0, 0, 0, 0};
    if (m_hWnd)
        GetClientRect(&c);
    SizeRoot(c.right, c.bottom);
}

void CKXWnd::SizeRoot(int width, int height)
{
    if (!root)
        return;
    // Layout units throughout, as WM_SIZE gives them.
    float w = Scaled(width), h = Scaled(height);
    if (!root->created) {
        root->Create(0, 0, 0, w, h);
        root->CreateChildren(&context);
        root->RecalcLayout();
    } else {
        root->SetRect(0, 0, w, h);
        root->RecalcLayout();
    }
}

BOOL CKXWnd::Create(CWnd* parent, int x, int y, int width, int height, UINT id)
{
    if (!CreateEx(0, KX_WINDOW_CLASS, nullptr, WS_CHILD | WS_VISIBLE, RECT{x, y, x + width, y + height}, parent, id))
        return 0;
    context.host = this;
    trackMouse.hwndTrack = m_hWnd;
    SizeRoot(width, height);
    return 1;
}

void CKXWnd::PaintTree(HDC hdc, bool popupLook)
{
    if (!root || !hdc)
        return;
    RECT c;
    GetClientRect(&c);
    quiva::PaintBand(hdc, 0, c.right, c.bottom, [&](Graphics& g) {
        CKXCtrlTheme* theme = context.theme ? context.theme : CKXCtrlTheme::GetInstance();
        if (popupLook) {
            SolidBrush back{Color(theme->window.style.back)};
            g.FillRectangle(&back, 0, 0, c.right, c.bottom);
        }
        root->Draw(&g, 0, 0, &renderHint, &context);
        if (popupLook) {
            Pen pen(Color(theme->window.style.fore), theme->window.style.width);
            g.DrawRectangle(&pen, 0, 0, c.right - 1, c.bottom - 1);
        } else if (drawFrame) {
            Pen pen(Color(theme->standard[KXSTANDARD_OVER].style.fore), 1.0f);
            g.DrawRectangle(&pen, 0, 0, c.right - 1, c.bottom - 1);
        }
    });
}

void CKXWnd::Redraw()
{
    if (!m_hWnd || !root)
        return;
    HDC dc = GetDC(m_hWnd);
    PaintTree(dc, IsPopup() != 0);
    ReleaseDC(m_hWnd, dc);
}

void CKXWnd::OnPaint()
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(m_hWnd, &ps);
    PaintTree(dc, IsPopup() != 0);
    EndPaint(m_hWnd, &ps);
}

BOOL CKXWnd::OnEraseBkgnd(HDC) { return 0; }

void CKXWnd::OnSize(UINT type, int cx, int cy)
{
    if (!root) {
        CWnd::OnSize(type, cx, cy);
        return;
    }
    // The root is sized in layout units and then laid out again.
    root->SetSize(Scaled(cx), Scaled(cy));
    root->RecalcLayout();
    Invalidate();
}

void CKXWnd::OnLButtonDown(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnLButtonDown(flags, point);
        return;
    }
    SetFocus();
    SetCapture();
    context.buttonDown = 1;
    context.pressTime = GetTickCount();
    context.pressPoint = context.lastPoint = point;
    BOOL handled = 0;
    root->OnLButtonDown(Scaled(point.x), Scaled(point.y), &handled, &context);
    Invalidate();
}

void CKXWnd::OnLButtonUp(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnLButtonUp(flags, point);
        return;
    }
    ReleaseCapture();
    context.releasePoint = point;
    context.buttonDown = 0;
    BOOL handled = 0;
    root->OnLButtonUp(Scaled(point.x), Scaled(point.y), &handled, &context);
    Invalidate();
}

void CKXWnd::OnLButtonDblClk(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnLButtonDblClk(flags, point);
        return;
    }
    BOOL handled = 0;
    if (root->OnLButtonDblClk(Scaled(point.x), Scaled(point.y), &handled, &context))
        Invalidate();
}

void CKXWnd::OnRButtonDown(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnRButtonDown(flags, point);
        return;
    }
    context.pressTime = GetTickCount();
    context.pressPoint = context.lastPoint = point;
    BOOL handled = 0;
    if (root->OnRButtonDown(Scaled(point.x), Scaled(point.y), &handled, &context))
        Invalidate();
}

void CKXWnd::OnRButtonUp(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnRButtonUp(flags, point);
        return;
    }
    context.releasePoint = point;
    context.buttonDown = 0;
    BOOL handled = 0;
    if (root->OnRButtonUp(Scaled(point.x), Scaled(point.y), &handled, &context))
        Invalidate();
}

void CKXWnd::OnRButtonDblClk(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnRButtonDblClk(flags, point);
        return;
    }
    BOOL handled = 0;
    if (root->OnRButtonDblClk(Scaled(point.x), Scaled(point.y), &handled, &context))
        Invalidate();
}

void CKXWnd::NoteMove(CPoint point)
{
    if (context.buttonDown) {
        context.dragDelta[0] = context.lastPoint.x - point.x;
        context.dragDelta[1] = context.lastPoint.y - point.y;
        context.lastPoint = point;
    }
    trackMouse.hwndTrack = m_hWnd;
    _TrackMouseEvent(&trackMouse);
}

void CKXWnd::OnMouseMove(UINT flags, CPoint point)
{
    if (!root) {
        CWnd::OnMouseMove(flags, point);
        return;
    }
    NoteMove(point);
    if (!context.captured)
        context.cursorShape = KXCURSOR_ARROW;
    BOOL handled = 0;
    root->OnMouseMove(Scaled(point.x), Scaled(point.y), &handled, &context);
    ShowCursorShape();
    Invalidate();
}

BOOL CKXWnd::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    if (!root || wnd != this || hitTest != HTCLIENT)
        return CWnd::OnSetCursor(wnd, hitTest, message);
    ShowCursorShape();
    return TRUE;
}

void CKXWnd::ShowCursorShape() const
{
    LPCWSTR shape = context.cursorShape == KXCURSOR_TEXT ? IDC_IBEAM : context.cursorShape == KXCURSOR_THUMB ? IDC_HAND : IDC_ARROW;
    ::SetCursor(LoadCursorW(nullptr, shape));
}

void CKXWnd::OnMouseLeave()
{
    if (!root) {
        CWnd::OnMouseLeave();
        return;
    }
    root->OnMouseLeave(&context);
    Invalidate();
}

BOOL CKXWnd::OnMouseWheel(UINT flags, short delta, CPoint point)
{
    if (!root)
        return CWnd::OnMouseWheel(flags, delta, point);
    // The message carries a screen point; controls work in layout units of the client area.
    POINT p = point;
    ScreenToClient(&p);
    if (root->OnMouseWheel(static_cast<int>(flags), delta / renderHint.scale, Scaled(p.x), Scaled(p.y), &context))
        Invalidate();
    return CWnd::OnMouseWheel(flags, delta, point);
}

void CKXWnd::OnKeyDown(UINT ch, UINT repeat, UINT flags)
{
    if (!root) {
        CWnd::OnKeyDown(ch, repeat, flags);
        return;
    }
    if (root->OnKeyDown(ch, repeat, flags, &context))
        Invalidate();
}

void CKXWnd::OnKeyUp(UINT ch, UINT repeat, UINT flags)
{
    if (!root) {
        CWnd::OnKeyUp(ch, repeat, flags);
        return;
    }
    if (root->OnKeyUp(ch, repeat, flags, &context))
        Invalidate();
}

void CKXWnd::OnChar(UINT ch, UINT repeat, UINT flags)
{
    if (!root) {
        CWnd::OnChar(ch, repeat, flags);
        return;
    }
    if (root->OnChar(ch, repeat, flags, &context))
        Invalidate();
}

void CKXWnd::OnSetFocus(CWnd* oldWnd)
{
    if (!root) {
        CWnd::OnSetFocus(oldWnd);
        return;
    }
    root->Activate(&context);
    if (context.focus) {
        CreateControlCaret();
        SetControlCaretPos();
    }
}

void CKXWnd::OnKillFocus(CWnd* newWnd)
{
    if (!root) {
        CWnd::OnKillFocus(newWnd);
        return;
    }
    if (auto* edit = dynamic_cast<CKXCtrlEdit*>(context.focus))
        edit->KeepComposition(&context);
    root->OnKillFocus(&context);
    HideCaret(m_hWnd);
}

void CKXWnd::OnTimer(UINT_PTR id)
{
    if (!root) {
        CWnd::OnTimer(id);
        return;
    }
    if (!root->OnTimer(static_cast<UINT>(id)))
        KillTimer(id);  // no control claims it
}

void CKXWnd::CreateControlCaret()
{
    IKXCtrlKeyboard* k = context.focus ? dynamic_cast<IKXCtrlKeyboard*>(context.focus) : nullptr;
    if (!k || !m_hWnd)
        return;
    RectF r = k->GetCaretRect();
    CreateCaret(m_hWnd, nullptr, 1, static_cast<int>(r.Height * renderHint.scale));
    ShowCaret(m_hWnd);
}

void CKXWnd::SetControlCaretPos()
{
    IKXCtrlKeyboard* k = context.focus ? dynamic_cast<IKXCtrlKeyboard*>(context.focus) : nullptr;
    if (!k || !m_hWnd)
        return;
    RectF r = k->GetCaretRect();
    // Every container above the edit shifts it by its origin, as drawing does.
    PointF origin = context.focus->parent ? context.focus->parent->GetAbsoluteOrigin() : PointF(0, 0);
    SetCaretPos(static_cast<int>((r.X + origin.X) * renderHint.scale), static_cast<int>((r.Y + origin.Y) * renderHint.scale));
    ShowCaret(m_hWnd);
}

LRESULT CKXWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (root) {
        switch (message) {
        case WM_IME_STARTCOMPOSITION:
            context.imeState = 1;
            return 1;
        case WM_IME_ENDCOMPOSITION:
            context.imeState = 2;
            return 1;
        case WM_IME_COMPOSITION:
            // Composed and committed text comes with no key going down, so nothing else asks
            // for the repaint that shows it (the committed character follows as WM_CHAR, which
            // is read before the window paints).
            if (root->OnImeComposition(wParam, lParam, &context))
                Invalidate();
            if (!(lParam & GCS_RESULTSTR))
                return 1;
            // The finished text goes on to default processing, which makes it characters.
            return DefWindowProc(message, wParam, lParam);
        default:
            break;
        }
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
