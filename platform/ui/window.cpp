// Window-system state: the window table, the top-level order and the virtual screen, and the
// helpers every part of the window system uses on them.
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

namespace quiva::ui::detail {

std::vector<std::shared_ptr<ClassInfo>> g_classes;
std::map<uintptr_t, std::unique_ptr<Window>> g_windows;
std::vector<HWND> g_topLevels;  // front first
uintptr_t g_nextHandle = 0x10010;
thread_local std::function<void(HWND)> t_createHook;
RECT g_screen{0, 0, 1920, 1080};
RECT g_work{0, 0, 1920, 1080};

bool SameName(const std::wstring& a, LPCWSTR b)
{
    if (!b)
        return false;
    size_t n = wcslen(b);
    if (n != a.size())
        return false;
    for (size_t i = 0; i < n; ++i)
        if (towlower(a[i]) != towlower(b[i]))
            return false;
    return true;
}

std::shared_ptr<ClassInfo> FindClass(LPCWSTR name)
{
    for (auto& c : g_classes)
        if (SameName(c->name, name))
            return c;
    return nullptr;
}

bool IsTop(const Window* w) { return !(w->style & WS_CHILD); }

void RaiseTopLevel(HWND hwnd)
{
    Window* w = Find(hwnd);
    if (!w || !IsTop(w))
        return;
    g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), hwnd), g_topLevels.end());
    bool topmost = (w->exStyle & WS_EX_TOPMOST) != 0;
    auto pos = g_topLevels.begin();
    if (!topmost)
        while (pos != g_topLevels.end() && Find(*pos) && (Find(*pos)->exStyle & WS_EX_TOPMOST))
            ++pos;
    g_topLevels.insert(pos, hwnd);
    // Owned windows stay in front of their owner.
    std::vector<HWND> owned;
    for (HWND h : g_topLevels)
        if (Window* o = Find(h); o && o->owner == hwnd)
            owned.push_back(h);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it)
        RaiseTopLevel(*it);
}

// Whether the window and all its ancestors are shown.
bool ReallyVisible(const Window* w)
{
    while (w) {
        if (!w->visible || w->minimized)
            return false;
        if (!(w->style & WS_CHILD))
            return true;
        w = Find(w->parent);
    }
    return false;
}

void InvalidateTree(HWND hwnd)
{
    Window* w = Find(hwnd);
    if (!w)
        return;
    w->hasUpdate = true;
    w->erase = true;
    w->update = {0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
    for (HWND c : w->children)
        InvalidateTree(c);
    Wake(w->thread);
}

bool WindowRectAt(int x, int y, int width, int height, RECT* out)
{
    RECT r{x, y, 0, 0};
    if (__builtin_add_overflow(x, std::max(width, 0), &r.right) || __builtin_add_overflow(y, std::max(height, 0), &r.bottom))
        return false;
    *out = r;
    return true;
}

bool ResizeSurface(Window* w, const RECT& rect)
{
    if (!w->surface)
        return true;
    std::lock_guard<std::recursive_mutex> s(w->surface->Mutex());
    int cw = rect.right - rect.left, ch = rect.bottom - rect.top;
    if (cw == w->surface->Width() && ch == w->surface->Height())
        return true;
    return w->surface->Resize(cw, ch);
}


std::recursive_mutex& Lock()
{
    static std::recursive_mutex m;
    return m;
}

Window* Find(HWND hwnd)
{
    auto it = g_windows.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == g_windows.end() ? nullptr : it->second.get();
}

HWND TopLevelOf(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    while (w && (w->style & WS_CHILD))
        w = Find(w->parent);
    return w ? w->handle : nullptr;
}

RECT ClientScreenRect(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return RECT{};
    RECT r = w->client;
    Window* p = (w->style & WS_CHILD) ? Find(w->parent) : nullptr;
    while (p) {
        OffsetRect(&r, p->client.left, p->client.top);
        p = (p->style & WS_CHILD) ? Find(p->parent) : nullptr;
    }
    return r;
}

void RecalcClient(HWND hwnd)
{
    RECT r;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return;
        r = w->window;
    }
    SendMessageW(hwnd, WM_NCCALCSIZE, FALSE, reinterpret_cast<LPARAM>(&r));
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (Window* w = Find(hwnd)) {
        if (r.right < r.left)
            r.right = r.left;
        if (r.bottom < r.top)
            r.bottom = r.top;
        w->client = r;
    }
}

std::vector<HWND> TopLevels()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return g_topLevels;
}

void SetCreateHook(std::function<void(HWND)> hook) { t_createHook = std::move(hook); }

}  // namespace quiva::ui::detail

namespace quiva::ui {

void SetNextCreateHook(std::function<void(HWND)> hook) { detail::SetCreateHook(std::move(hook)); }

void SetVirtualScreen(const RECT& screen, const RECT& work)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    g_screen = screen;
    g_work = work;
}

RECT VirtualScreen()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return g_screen;
}

RECT WorkArea()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return g_work;
}

int FrameWidth(DWORD style)
{
    if (style & WS_THICKFRAME)
        return 4;
    if (style & (WS_BORDER | WS_DLGFRAME))
        return 1;
    return 0;
}

Surface* WindowSurface(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(TopLevelOf(hwnd));
    return w ? w->surface.get() : nullptr;
}

POINT ClientOriginInSurface(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* top = Find(TopLevelOf(hwnd));
    if (!top)
        return POINT{0, 0};
    RECT c = ClientScreenRect(hwnd);
    return POINT{c.left - top->window.left, c.top - top->window.top};
}

bool PaintWindowSurface(HWND hwnd, const std::function<void(Surface&, POINT, RECT)>& paint)
{
    // Destroying a window takes the same lock before it lets go of the surface.
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    Window* top = Find(TopLevelOf(hwnd));
    if (!w || !top || !top->surface)
        return false;
    const POINT origin = ClientOriginInSurface(hwnd);
    const RECT client{origin.x, origin.y, origin.x + (w->client.right - w->client.left),
                      origin.y + (w->client.bottom - w->client.top)};
    std::lock_guard<std::recursive_mutex> s(top->surface->Mutex());
    paint(*top->surface, origin, client);
    return true;
}

}  // namespace quiva::ui
