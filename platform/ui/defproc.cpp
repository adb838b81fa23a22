// The default window procedure and its modal move and size loop.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/base/ModuleHold.h"
#include "platform/base/clock.h"
#include "platform/base/lasterror.h"
#include "platform/gdi/gdi.h"
#include <unistd.h>
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

namespace {

LRESULT DefHitTest(HWND hwnd, POINT pt)
{
    RECT wr;
    GetWindowRect(hwnd, &wr);
    if (!PtInRect(&wr, pt))
        return HTNOWHERE;
    RECT cr = ClientScreenRect(hwnd);
    if (PtInRect(&cr, pt))
        return HTCLIENT;
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    if (!(style & WS_THICKFRAME))
        return (style & (WS_BORDER | WS_DLGFRAME)) ? HTBORDER : HTNOWHERE;
    const int corner = 16;
    bool left = pt.x < cr.left, right = pt.x >= cr.right, topEdge = pt.y < cr.top, bottom = pt.y >= cr.bottom;
    bool nearLeft = pt.x < wr.left + corner, nearRight = pt.x >= wr.right - corner;
    bool nearTop = pt.y < wr.top + corner, nearBottom = pt.y >= wr.bottom - corner;
    if (topEdge)
        return nearLeft ? HTTOPLEFT : nearRight ? HTTOPRIGHT : HTTOP;
    if (bottom)
        return nearLeft ? HTBOTTOMLEFT : nearRight ? HTBOTTOMRIGHT : HTBOTTOM;
    if (left)
        return nearTop ? HTTOPLEFT : nearBottom ? HTBOTTOMLEFT : HTLEFT;
    if (right)
        return nearTop ? HTTOPRIGHT : nearBottom ? HTBOTTOMRIGHT : HTRIGHT;
    return HTBORDER;
}

LPCWSTR CursorForHit(LRESULT hit)
{
    switch (hit) {
    case HTLEFT:
    case HTRIGHT:
        return IDC_SIZEWE;
    case HTTOP:
    case HTBOTTOM:
        return IDC_SIZENS;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT:
        return IDC_SIZENWSE;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT:
        return IDC_SIZENESW;
    default:
        return IDC_ARROW;
    }
}

}  // namespace

LRESULT DefWindowProcW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (LRESULT r = 0; DefWindowExtras(hwnd, msg, wParam, lParam, &r))
        return r;
    switch (msg) {
    case WM_NCCREATE:
        return TRUE;
    case WM_NCCALCSIZE: {
        if (!lParam)
            return 0;
        RECT* r = reinterpret_cast<RECT*>(lParam);
        int fw = quiva::ui::FrameWidth(static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE)));
        if (IsZoomed(hwnd))
            fw = 0;  // a maximised window has no sizing border
        InflateRect(r, -fw, -fw);
        return 0;
    }
    case WM_NCHITTEST:
        return DefHitTest(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SETCURSOR: {
        HWND parent = GetParent(hwnd);
        if (parent && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) &&
            SendMessageW(parent, WM_SETCURSOR, wParam, lParam))
            return TRUE;
        LRESULT hit = static_cast<short>(LOWORD(lParam));
        HCURSOR cursor = nullptr;
        if (hit == HTCLIENT) {
            std::lock_guard<std::recursive_mutex> g(Lock());
            if (Window* w = Find(hwnd))
                cursor = w->cls->wc.hCursor;
        } else {
            cursor = LoadCursorW(nullptr, CursorForHit(hit));
        }
        if (cursor)
            SetCursor(cursor);
        return cursor ? TRUE : FALSE;
    }
    case WM_MOUSEWHEEL: {
        HWND parent = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr;
        return parent ? SendMessageW(parent, msg, wParam, lParam) : 0;
    }
    case WM_MOUSEACTIVATE: {
        HWND parent = (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) ? GetParent(hwnd) : nullptr;
        if (parent) {
            LRESULT r = SendMessageW(parent, msg, wParam, lParam);
            if (r)
                return r;
        }
        return 1;  // activate
    }
    case WM_NCLBUTTONDOWN: {
        LRESULT hit = static_cast<LRESULT>(wParam);
        if (hit == HTCAPTION || (hit >= HTLEFT && hit <= HTBOTTOMRIGHT))
            MoveSizeLoop(hwnd, static_cast<int>(hit), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    }
    case WM_NCLBUTTONDBLCLK:
        if (wParam == HTCAPTION && (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_MAXIMIZEBOX))
            ShowWindow(hwnd, IsZoomed(hwnd) ? SW_RESTORE : SW_MAXIMIZE);
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam))
            SetFocus(hwnd);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;
    case WM_GETTEXT: {
        LPWSTR buffer = reinterpret_cast<LPWSTR>(lParam);
        int max = static_cast<int>(wParam);
        if (!buffer || max <= 0)
            return 0;
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w) {
            buffer[0] = 0;
            return 0;
        }
        int n = std::min<int>(max - 1, static_cast<int>(w->title.size()));
        wmemcpy(buffer, w->title.c_str(), static_cast<size_t>(n));
        buffer[n] = 0;
        return n;
    }
    case WM_GETTEXTLENGTH: {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        return w ? static_cast<LRESULT>(w->title.size()) : 0;
    }
    case WM_SETTEXT: {
        bool top = false;
        {
            std::lock_guard<std::recursive_mutex> g(Lock());
            Window* w = Find(hwnd);
            if (!w)
                return FALSE;
            LPCWSTR text = reinterpret_cast<LPCWSTR>(lParam);
            w->title = text ? text : L"";
            top = !(w->style & WS_CHILD);
        }
        if (top)
            quiva::ui::CurrentBackend().TitleChanged(hwnd);
        return TRUE;
    }
    case WM_IME_COMPOSITION:
        if (lParam & GCS_RESULTSTR) {
            std::wstring result = quiva::ui::detail::CurrentQueue().imeResult;
            for (wchar_t ch : result)
                SendMessageW(hwnd, WM_IME_CHAR, static_cast<WPARAM>(ch), 1);
        }
        return 0;
    case WM_IME_CHAR:
        PostMessageW(hwnd, WM_CHAR, wParam, lParam);
        return 0;
    default:
        return 0;
    }
}

LRESULT CallWindowProcW(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}


namespace quiva::ui::detail {

// Move and size loop of the default window procedure: follows the pointer until the button
// is released, within the window's minimum and maximum tracking sizes.
void MoveSizeLoop(HWND hwnd, int hit, POINT start)
{
    if (IsZoomed(hwnd) && hit != HTCAPTION)
        return;
    MINMAXINFO mmi{};
    RECT screen = quiva::ui::VirtualScreen();
    mmi.ptMaxSize = POINT{screen.right - screen.left, screen.bottom - screen.top};
    mmi.ptMaxPosition = POINT{screen.left, screen.top};
    mmi.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
    mmi.ptMaxTrackSize = POINT{mmi.ptMaxSize.x + 24, mmi.ptMaxSize.y + 24};
    SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
    RECT orig;
    GetWindowRect(hwnd, &orig);
    SendMessageW(hwnd, WM_ENTERSIZEMOVE, 0, 0);
    SetCapture(hwnd);
    quiva::ModuleHold hold;  // the window's code stays loaded until the loop has returned to it
    MSG m;
    for (;;) {
        if (!GetMessageW(&m, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        if (!IsWindow(hwnd) || GetCapture() != hwnd)
            break;
        if (m.message == WM_MOUSEMOVE || m.message == WM_LBUTTONUP) {
            int dx = m.pt.x - start.x, dy = m.pt.y - start.y;
            RECT r = orig;
            if (hit == HTCAPTION) {
                OffsetRect(&r, dx, dy);
            } else {
                if (hit == HTLEFT || hit == HTTOPLEFT || hit == HTBOTTOMLEFT)
                    r.left = std::min(orig.left + dx, orig.right - mmi.ptMinTrackSize.x);
                if (hit == HTRIGHT || hit == HTTOPRIGHT || hit == HTBOTTOMRIGHT)
                    r.right = std::max(orig.right + dx, orig.left + mmi.ptMinTrackSize.x);
                if (hit == HTTOP || hit == HTTOPLEFT || hit == HTTOPRIGHT)
                    r.top = std::min(orig.top + dy, orig.bottom - mmi.ptMinTrackSize.y);
                if (hit == HTBOTTOM || hit == HTBOTTOMLEFT || hit == HTBOTTOMRIGHT)
                    r.bottom = std::max(orig.bottom + dy, orig.top + mmi.ptMinTrackSize.y);
                if (r.right - r.left > mmi.ptMaxTrackSize.x) {
                    if (r.left != orig.left)
                        r.left = r.right - mmi.ptMaxTrackSize.x;
                    else
                        r.right = r.left + mmi.ptMaxTrackSize.x;
                }
                if (r.bottom - r.top > mmi.ptMaxTrackSize.y) {
                    if (r.top != orig.top)
                        r.top = r.bottom - mmi.ptMaxTrackSize.y;
                    else
                        r.bottom = r.top + mmi.ptMaxTrackSize.y;
                }
            }
            SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            if (m.message == WM_LBUTTONUP)
                break;
            continue;
        }
        if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
            SetWindowPos(hwnd, nullptr, orig.left, orig.top, orig.right - orig.left, orig.bottom - orig.top,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    if (GetCapture() == hwnd)
        ReleaseCapture();
    if (IsWindow(hwnd))
        SendMessageW(hwnd, WM_EXITSIZEMOVE, 0, 0);
}

}  // namespace quiva::ui::detail
