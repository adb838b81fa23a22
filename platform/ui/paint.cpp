// Painting: update regions and device contexts on windows.
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

BOOL InvalidateRect(HWND hwnd, const RECT* r, BOOL erase)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;  // harmless on a destroyed window
    RECT full{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    RECT add = full;
    if (r && !IntersectRect(&add, r, &full))
        return TRUE;
    if (w->hasUpdate)
        UnionRect(&w->update, &w->update, &add);
    else
        w->update = add;
    w->hasUpdate = !IsRectEmpty(&w->update) || w->hasUpdate;
    if (erase)
        w->erase = true;
    Wake(w->thread);
    return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* r)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    if (!r || (r->left <= w->update.left && r->top <= w->update.top && r->right >= w->update.right &&
               r->bottom >= w->update.bottom)) {
        w->hasUpdate = false;
        w->erase = false;
        w->update = RECT{};
    }
    return TRUE;
}

BOOL GetUpdateRect(HWND hwnd, LPRECT r, BOOL)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return FALSE;
    if (r)
        *r = w->hasUpdate ? w->update : RECT{};
    return w->hasUpdate;
}

BOOL UpdateWindow(HWND hwnd)
{
    bool needs;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return FALSE;
        needs = w->hasUpdate && ReallyVisible(w);
    }
    if (needs)
        SendMessageW(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

namespace {
// A device context on the window's client area, clipped to `clip` (client coordinates) and
// to every ancestor's client area.
HDC ClientDC(HWND hwnd, RECT clip)
{
    quiva::Surface* surface = quiva::ui::WindowSurface(hwnd);
    if (!surface)
        return nullptr;
    POINT origin = quiva::ui::ClientOriginInSurface(hwnd);
    OffsetRect(&clip, origin.x, origin.y);
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* p = Find(hwnd);
    HWND top = TopLevelOf(hwnd);
    Window* t = Find(top);
    while (p) {
        RECT c = ClientScreenRect(p->handle);
        OffsetRect(&c, -t->window.left, -t->window.top);
        IntersectRect(&clip, &clip, &c);
        if (!(p->style & WS_CHILD))
            break;
        p = Find(p->parent);
    }
    return quiva::CreateSurfaceDC(surface, origin, clip);
}

// The surface rectangle a client rectangle of `hwnd` covers, and its top-level window.
HWND InSurface(HWND hwnd, RECT* rect)
{
    HWND top = TopLevelOf(hwnd);
    if (top) {
        POINT origin = quiva::ui::ClientOriginInSurface(hwnd);
        OffsetRect(rect, origin.x, origin.y);
    }
    return top;
}

void Present(HWND hwnd, RECT clientRect)
{
    if (HWND top = InSurface(hwnd, &clientRect)) {
        CountPresent(clientRect);
        quiva::ui::CurrentBackend().Present(top, clientRect);
    }
}
}  // namespace

namespace quiva::ui {
void PresentWindowSurface(HWND hwnd)
{
    RECT c;
    if (!GetClientRect(hwnd, &c))
        return;
    if (HWND top = InSurface(hwnd, &c))
        PresentFromAnyThread(top, c);
}
}  // namespace quiva::ui

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps)
{
    if (!ps)
        return nullptr;
    std::memset(ps, 0, sizeof(*ps));
    bool erase;
    RECT update;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return nullptr;
        erase = w->erase;
        update = w->hasUpdate ? w->update : RECT{};
        w->hasUpdate = false;
        w->erase = false;
        w->update = RECT{};
    }
    HideCaret(hwnd);
    ps->rcPaint = update;
    ps->hdc = ClientDC(hwnd, update);
    if (erase)
        ps->fErase = SendMessageW(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(ps->hdc), 0) ? FALSE : TRUE;
    return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps)
{
    if (!ps)
        return FALSE;
    if (ps->hdc)
        DeleteDC(ps->hdc);
    if (IsWindow(hwnd)) {
        ShowCaret(hwnd);
        Present(hwnd, ps->rcPaint);
    }
    return TRUE;
}

HDC GetDC(HWND hwnd)
{
    if (!IsWindow(hwnd))
        return nullptr;
    RECT c;
    GetClientRect(hwnd, &c);
    return ClientDC(hwnd, c);
}

int ReleaseDC(HWND hwnd, HDC hdc)
{
    if (!hdc)
        return 0;
    DeleteDC(hdc);
    if (IsWindow(hwnd)) {
        RECT c;
        GetClientRect(hwnd, &c);
        Present(hwnd, c);
    }
    return 1;
}
