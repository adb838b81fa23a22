// Geometry, z-order, showing, enabling and placement.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"
#include "platform/gdi/gdi.h"
#include <unistd.h>
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

BOOL GetWindowRect(HWND hwnd, LPRECT r)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w || !r)
        return FALSE;
    *r = w->window;
    if (w->style & WS_CHILD) {
        RECT pc = ClientScreenRect(w->parent);
        OffsetRect(r, pc.left, pc.top);
    }
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT r)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w || !r)
        return FALSE;
    *r = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return TRUE;
}

BOOL ClientToScreen(HWND hwnd, LPPOINT pt)
{
    if (!IsWindow(hwnd) || !pt)
        return FALSE;
    RECT c = ClientScreenRect(hwnd);
    pt->x += c.left;
    pt->y += c.top;
    return TRUE;
}

BOOL ScreenToClient(HWND hwnd, LPPOINT pt)
{
    if (!IsWindow(hwnd) || !pt)
        return FALSE;
    RECT c = ClientScreenRect(hwnd);
    pt->x -= c.left;
    pt->y -= c.top;
    return TRUE;
}

int MapWindowPoints(HWND from, HWND to, LPPOINT pts, UINT count)
{
    RECT a = from ? ClientScreenRect(from) : RECT{};
    RECT b = to ? ClientScreenRect(to) : RECT{};
    int dx = a.left - b.left, dy = a.top - b.top;
    for (UINT i = 0; i < count; ++i) {
        pts[i].x += dx;
        pts[i].y += dy;
    }
    return MAKELONG(static_cast<WORD>(dx), static_cast<WORD>(dy));
}

namespace quiva::ui::detail {
HWND DeepestChildAt(Window* w, POINT screen)
{
    RECT c = ClientScreenRect(w->handle);
    if (!PtInRect(&c, screen))
        return w->handle;
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        Window* ch = Find(*it);
        if (!ch || !ch->visible)
            continue;
        RECT wr;
        GetWindowRect(ch->handle, &wr);
        if (PtInRect(&wr, screen))
            return ch->enabled ? DeepestChildAt(ch, screen) : w->handle;
    }
    return w->handle;
}
}  // namespace quiva::ui::detail

HWND WindowFromPoint(POINT pt)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    for (HWND h : g_topLevels) {
        Window* w = Find(h);
        if (!w || !w->visible || w->minimized || !PtInRect(&w->window, pt))
            continue;
        return DeepestChildAt(w, pt);
    }
    return nullptr;
}

HWND ChildWindowFromPoint(HWND parent, POINT pt)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(parent);
    if (!w)
        return nullptr;
    POINT s = pt;
    ClientToScreen(parent, &s);
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
        RECT wr;
        GetWindowRect(*it, &wr);
        if (PtInRect(&wr, s))
            return *it;
    }
    RECT c{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    return PtInRect(&c, pt) ? parent : nullptr;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    bool moved = false, sized = false, top = false;
    DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    if (!(flags & SWP_NOSIZE) && (style & WS_THICKFRAME) && !(style & WS_CHILD)) {
        // A program's sizing keeps the window's minimum tracking size, as the user's does.
        MINMAXINFO mmi{};
        mmi.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMINTRACK), GetSystemMetrics(SM_CYMINTRACK)};
        SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
        cx = std::max(cx, static_cast<int>(mmi.ptMinTrackSize.x));
        cy = std::max(cy, static_cast<int>(mmi.ptMinTrackSize.y));
    }
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        top = !(w->style & WS_CHILD);
        RECT r = w->window;
        const int left = (flags & SWP_NOMOVE) ? r.left : x, topEdge = (flags & SWP_NOMOVE) ? r.top : y;
        const int width = (flags & SWP_NOSIZE) ? r.right - r.left : cx, height = (flags & SWP_NOSIZE) ? r.bottom - r.top : cy;
        if (!WindowRectAt(left, topEdge, width, height, &r)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        // A size the window's surface cannot have leaves the window as it was.
        if (!ResizeSurface(w, r)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        moved = r.left != w->window.left || r.top != w->window.top;
        sized = (r.right - r.left) != (w->window.right - w->window.left) ||
                (r.bottom - r.top) != (w->window.bottom - w->window.top);
        w->window = r;
        if (!w->maximized && !w->minimized)
            w->normalRect = r;
        if (!(flags & SWP_NOZORDER) && top) {
            if (insertAfter == HWND_TOPMOST)
                w->exStyle |= WS_EX_TOPMOST;
            else if (insertAfter == HWND_NOTOPMOST)
                w->exStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
            RaiseTopLevel(hwnd);
        }
    }
    if (moved || sized || (flags & SWP_FRAMECHANGED))
        RecalcClient(hwnd);
    if (sized) {
        RECT c;
        GetClientRect(hwnd, &c);
        UINT kind = IsZoomed(hwnd) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        SendMessageW(hwnd, WM_SIZE, kind, MAKELPARAM(c.right, c.bottom));
    }
    if (moved) {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (Window* w = Find(hwnd))
            SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(w->client.left, w->client.top));
    }
    if (flags & SWP_SHOWWINDOW)
        ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    if (flags & SWP_HIDEWINDOW)
        ShowWindow(hwnd, SW_HIDE);
    if ((moved || sized) && !(flags & SWP_NOREDRAW)) {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (top)
            InvalidateTree(hwnd);
        else if (Window* w = Find(hwnd))
            InvalidateTree(w->parent);
    }
    if (top && IsWindow(hwnd))
        quiva::ui::CurrentBackend().WindowChanged(hwnd);
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

namespace {
void SetShown(HWND hwnd, bool shown)
{
    bool changed = false;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return;
        changed = w->visible != shown;
        w->visible = shown;
    }
    if (changed) {
        SendMessageW(hwnd, WM_SHOWWINDOW, shown, 0);
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (Window* w = Find(hwnd)) {
            if (shown)
                InvalidateTree(hwnd);
            else if (w->style & WS_CHILD)
                InvalidateTree(w->parent);
        }
    }
}

// The next window to activate when `hwnd` goes away: its owner, else the frontmost other
// shown top-level window.
HWND NextToActivate(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (w && w->owner) {
        Window* o = Find(w->owner);
        if (o && o->visible && !o->minimized)
            return o->handle;
    }
    for (HWND h : g_topLevels) {
        Window* t = Find(h);
        if (h != hwnd && t && t->visible && !t->minimized && !t->destroying && !(t->exStyle & WS_EX_TOOLWINDOW))
            return h;
    }
    return nullptr;
}

// A top-level window that went from under the pointer uncovers another window there, which
// has not set its pointer shape yet (the one shown is still the one the gone window asked
// for, an I-beam over its edit, say). A move of the pointer where it is lets the window now
// under it set its shape, as if the person had moved it.
void PointerUncovered(const RECT& gone)
{
    const POINT pointer = CursorNow();
    if (PtInRect(&gone, pointer))
        quiva::ui::InjectMouseMove(pointer.x, pointer.y);
}
}  // namespace

BOOL ShowWindow(HWND hwnd, int cmd)
{
    bool wasVisible, top;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return FALSE;
        wasVisible = w->visible;
        top = !(w->style & WS_CHILD);
    }
    bool activate = top && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE && cmd != SW_HIDE &&
                    cmd != SW_MINIMIZE && cmd != SW_SHOWMINNOACTIVE && cmd != SW_SHOWMINIMIZED;
    switch (cmd) {
    case SW_HIDE: {
        if (!wasVisible)
            return FALSE;
        RECT gone{};
        GetWindowRect(hwnd, &gone);
        SetShown(hwnd, false);
        if (top)
            PointerUncovered(gone);
        if (top && GetActiveWindow() == hwnd)
            Activate(NextToActivate(hwnd), false);
        HWND focus = GetFocus();
        if (focus && (focus == hwnd || IsChild(hwnd, focus)))
            SetFocus(nullptr);
        break;
    }
    case SW_MAXIMIZE: {
        RECT work = quiva::ui::WorkArea();
        {
            std::lock_guard<std::recursive_mutex> g(Lock());
            Window* w = Find(hwnd);
            if (w->minimized)
                w->minimized = false;
            else if (!w->maximized)
                w->normalRect = w->window;
            w->maximized = true;
        }
        SetShown(hwnd, true);
        SetWindowPos(hwnd, nullptr, work.left, work.top, work.right - work.left, work.bottom - work.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        break;
    }
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE: {
        {
            std::lock_guard<std::recursive_mutex> g(Lock());
            Find(hwnd)->minimized = true;
        }
        SetShown(hwnd, true);
        SendMessageW(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        if (GetActiveWindow() == hwnd)
            Activate(NextToActivate(hwnd), false);
        HWND focus = GetFocus();
        if (focus && (focus == hwnd || IsChild(hwnd, focus)))
            SetFocus(nullptr);
        break;
    }
    case SW_RESTORE:
    case SW_SHOWNORMAL: {
        bool wasMin, wasMax;
        RECT normal;
        {
            std::lock_guard<std::recursive_mutex> g(Lock());
            Window* w = Find(hwnd);
            wasMin = w->minimized;
            wasMax = w->maximized;
            normal = w->normalRect;
            w->minimized = false;
            if (!(wasMin && wasMax))
                w->maximized = false;
        }
        SetShown(hwnd, true);
        if (wasMin) {
            RECT c;
            GetClientRect(hwnd, &c);
            SendMessageW(hwnd, WM_SIZE, wasMax ? SIZE_MAXIMIZED : SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        if (wasMax && !wasMin)
            SetWindowPos(hwnd, nullptr, normal.left, normal.top, normal.right - normal.left,
                         normal.bottom - normal.top, SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
        break;
    }
    default:
        SetShown(hwnd, true);
        break;
    }
    if (activate && IsWindow(hwnd))
        Activate(hwnd, false);
    if (top && IsWindow(hwnd))
        quiva::ui::CurrentBackend().WindowChanged(hwnd);
    return wasVisible ? TRUE : FALSE;
}

BOOL IsWindowVisible(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    while (w) {
        if (!w->visible)
            return FALSE;
        if (!(w->style & WS_CHILD))
            return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

BOOL IsWindowEnabled(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    return w && w->enabled;
}

BOOL EnableWindow(HWND hwnd, BOOL enable)
{
    bool was;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return FALSE;
        was = w->enabled;
        w->enabled = enable != FALSE;
    }
    if (was != (enable != FALSE)) {
        if (!enable) {
            HWND focus = GetFocus();
            if (focus == hwnd || IsChild(hwnd, focus))
                SetFocus(nullptr);
            if (GetCapture() == hwnd)
                ReleaseCapture();
        }
        SendMessageW(hwnd, WM_ENABLE, enable, 0);
    }
    return was ? FALSE : TRUE;
}

BOOL IsIconic(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    return w && w->minimized;
}

BOOL IsZoomed(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    return w && w->maximized && !w->minimized;
}

BOOL GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w || !wp)
        return FALSE;
    wp->length = sizeof(WINDOWPLACEMENT);
    wp->flags = 0;
    wp->showCmd = w->minimized ? SW_SHOWMINIMIZED : w->maximized ? SW_SHOWMAXIMIZED
                                                  : (w->visible ? SW_SHOWNORMAL : SW_HIDE);
    wp->ptMinPosition = POINT{-1, -1};
    wp->ptMaxPosition = POINT{-1, -1};
    wp->rcNormalPosition = w->normalRect;
    return TRUE;
}

BOOL SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* wp)
{
    if (!wp || !IsWindow(hwnd))
        return FALSE;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Find(hwnd)->normalRect = wp->rcNormalPosition;
    }
    if (wp->showCmd == SW_SHOWMAXIMIZED || wp->showCmd == SW_SHOWMINIMIZED) {
        ShowWindow(hwnd, static_cast<int>(wp->showCmd));
    } else {
        ShowWindow(hwnd, SW_RESTORE);
        const RECT& r = wp->rcNormalPosition;
        SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER | SWP_NOACTIVATE);
        if (wp->showCmd == SW_HIDE)
            ShowWindow(hwnd, SW_HIDE);
    }
    return TRUE;
}

BOOL GetWindowInfo(HWND hwnd, WINDOWINFO* info)
{
    if (!info || !IsWindow(hwnd))
        return FALSE;
    info->cbSize = sizeof(WINDOWINFO);
    GetWindowRect(hwnd, &info->rcWindow);
    info->rcClient = ClientScreenRect(hwnd);
    info->dwStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    info->dwExStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    info->dwWindowStatus = GetActiveWindow() == hwnd ? WS_ACTIVECAPTION : 0;
    UINT fw = static_cast<UINT>(quiva::ui::FrameWidth(info->dwStyle));
    info->cxWindowBorders = fw;
    info->cyWindowBorders = fw;
    info->atomWindowType = 0;
    info->wCreatorVersion = 0x0500;
    return TRUE;
}

BOOL BringWindowToTop(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (!Find(hwnd))
        return FALSE;
    RaiseTopLevel(TopLevelOf(hwnd));
    return TRUE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return FALSE;
    Activate(TopLevelOf(hwnd), false);
    return TRUE;
}

HWND GetForegroundWindow() { return GetActiveWindow(); }
HWND GetDesktopWindow() { return nullptr; }
