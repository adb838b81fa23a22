// Window classes, windows, geometry, window state, painting and the default window procedure.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"
#include "platform/gdi/gdi.h"
#include <unistd.h>
#include "platform/ui/internal.h"

#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L

using namespace quiva::ui::detail;

namespace quiva::ui::detail {

namespace {
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

void ResizeSurface(Window* w)
{
    if (w->surface) {
        std::lock_guard<std::recursive_mutex> s(w->surface->Mutex());
        int cw = w->window.right - w->window.left, ch = w->window.bottom - w->window.top;
        if (cw != w->surface->Width() || ch != w->surface->Height())
            w->surface->Resize(cw, ch);
    }
}

}  // namespace

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

// ---------------------------------------------------------------------------------------------
// Classes

ATOM RegisterClassW(const WNDCLASSW* wc)
{
    if (!wc || !wc->lpszClassName || !*wc->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (FindClass(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<ClassInfo>();
    c->name = wc->lpszClassName;
    c->wc = *wc;
    c->wc.lpszClassName = nullptr;
    c->wc.lpszMenuName = nullptr;
    if (!c->wc.lpfnWndProc)
        c->wc.lpfnWndProc = DefWindowProcW;
    g_classes.push_back(c);
    return static_cast<ATOM>(0xC000 + g_classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
        if (SameName((*it)->name, className)) {
            g_classes.erase(it);  // windows keep their own reference
            return TRUE;
        }
    }
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, WNDCLASSW* out)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    auto c = FindClass(className);
    if (!c) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    if (out) {
        *out = c->wc;
        out->lpszClassName = c->name.c_str();
    }
    return TRUE;
}

// ---------------------------------------------------------------------------------------------
// Windows

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    // The creating thread owns the window: its message queue exists from now on, so messages
    // sent from other threads have somewhere to wait even before the thread first reads.
    CurrentQueue();
    HWND hwnd;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        auto cls = FindClass(className);
        if (!cls && RegisterSystemClass(className))
            cls = FindClass(className);
        if (!cls) {
            SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
            return nullptr;
        }
        if (parent && !Find(parent)) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return nullptr;
        }
        if ((style & WS_CHILD) && !parent) {
            SetLastError(ERROR_TLW_WITH_WSCHILD);
            return nullptr;
        }
        auto w = std::make_unique<Window>();
        hwnd = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 4;
        w->handle = hwnd;
        w->cls = cls;
        w->title = windowName ? windowName : L"";
        w->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
        w->exStyle = exStyle;
        w->proc = cls->wc.lpfnWndProc;
        w->thread = GetCurrentThreadId();
        w->enabled = !(style & WS_DISABLED);
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT)
            width = height = 0;
        w->window = RECT{x, y, x + std::max(width, 0), y + std::max(height, 0)};
        w->client = w->window;
        w->normalRect = w->window;
        if (style & WS_CHILD) {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(menu);
            Find(parent)->children.push_back(hwnd);
        } else {
            w->owner = parent ? TopLevelOf(parent) : nullptr;
            w->surface = std::make_unique<quiva::Surface>(w->window.right - w->window.left,
                                                          w->window.bottom - w->window.top);
        }
        g_windows[reinterpret_cast<uintptr_t>(hwnd)] = std::move(w);
        if (!(style & WS_CHILD))
            RaiseTopLevel(hwnd);
    }
    if (t_createHook) {
        auto hook = std::move(t_createHook);
        t_createHook = nullptr;
        hook(hwnd);
    }
    std::wstring cname = className;
    CREATESTRUCTW cs{param, instance, menu, parent, height, width, y, x, static_cast<LONG>(style),
                     windowName, cname.c_str(), exStyle};
    if (!SendMessageW(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    RecalcClient(hwnd);
    if (SendMessageW(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    if (!IsWindow(hwnd))
        return nullptr;
    if (!(style & WS_CHILD))
        quiva::ui::CurrentBackend().WindowCreated(hwnd);
    RECT c;
    GetClientRect(hwnd, &c);
    SendMessageW(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
    RECT cl;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return nullptr;
        cl = w->client;
    }
    SendMessageW(hwnd, WM_MOVE, 0, MAKELPARAM(cl.left, cl.top));
    if (!IsWindow(hwnd))
        return nullptr;
    if (style & WS_MAXIMIZE)
        ShowWindow(hwnd, SW_MAXIMIZE);
    else if (style & WS_VISIBLE)
        ShowWindow(hwnd, (style & WS_CHILD) ? SW_SHOWNA : SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

namespace {

void DestroyTree(HWND hwnd)
{
    std::vector<HWND> children;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return;
        w->destroying = true;
    }
    SendMessageW(hwnd, WM_DESTROY, 0, 0);
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (Window* w = Find(hwnd))
            children = w->children;
    }
    for (auto it = children.rbegin(); it != children.rend(); ++it)
        DestroyTree(*it);
    SendMessageW(hwnd, WM_NCDESTROY, 0, 0);
    bool top = false;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return;
        top = !(w->style & WS_CHILD);
    }
    if (top)
        quiva::ui::CurrentBackend().WindowDestroyed(hwnd);
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return;
    if (Window* p = (w->style & WS_CHILD) ? Find(w->parent) : nullptr)
        p->children.erase(std::remove(p->children.begin(), p->children.end(), hwnd), p->children.end());
    g_topLevels.erase(std::remove(g_topLevels.begin(), g_topLevels.end(), hwnd), g_topLevels.end());
    std::unique_ptr<Window> keep = std::move(g_windows[reinterpret_cast<uintptr_t>(hwnd)]);
    g_windows.erase(reinterpret_cast<uintptr_t>(hwnd));
    if (keep && keep->surface) {
        // Someone may be drawing into it from another thread; wait for them.
        std::lock_guard<std::recursive_mutex> s(keep->surface->Mutex());
    }
}

}  // namespace

BOOL DestroyWindow(HWND hwnd)
{
    std::vector<HWND> owned;
    bool top;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w || w->destroying) {
            if (!w)
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return w ? TRUE : FALSE;
        }
        top = !(w->style & WS_CHILD);
        for (auto& [h, o] : g_windows)
            if (!(o->style & WS_CHILD) && o->owner == hwnd)
                owned.push_back(o->handle);
    }
    for (HWND o : owned)
        DestroyWindow(o);
    if (IsWindowVisible(hwnd) || top)
        ShowWindow(hwnd, SW_HIDE);
    DestroyThreadState(hwnd);
    DestroyTree(hwnd);
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return Find(hwnd) != nullptr;
}

BOOL IsChild(HWND parent, HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    while (w && (w->style & WS_CHILD)) {
        if (w->parent == parent)
            return TRUE;
        w = Find(w->parent);
    }
    return FALSE;
}

HWND GetParent(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return nullptr;
    return (w->style & WS_CHILD) ? w->parent : w->owner;
}

HWND GetWindow(HWND hwnd, UINT cmd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return nullptr;
    return cmd == GW_OWNER ? w->owner : nullptr;
}

HWND GetAncestor(HWND hwnd, UINT flags)
{
    if (flags == GA_ROOT)
        return TopLevelOf(hwnd);
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    return w && (w->style & WS_CHILD) ? w->parent : nullptr;
}

HWND SetParent(HWND hwnd, HWND parent)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w)
        return nullptr;
    HWND old = (w->style & WS_CHILD) ? w->parent : w->owner;
    if (w->style & WS_CHILD) {
        Window* np = Find(parent);
        if (!np)
            return nullptr;
        if (Window* op = Find(w->parent))
            op->children.erase(std::remove(op->children.begin(), op->children.end(), hwnd), op->children.end());
        w->parent = parent;
        np->children.push_back(hwnd);
        InvalidateTree(hwnd);
    } else {
        w->owner = parent;
    }
    return old;
}

LONG_PTR GetWindowLongPtrW(HWND hwnd, int index)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    switch (index) {
    case GWL_STYLE: {
        DWORD s = w->style;
        if (w->visible)
            s |= WS_VISIBLE;
        if (!w->enabled)
            s |= WS_DISABLED;
        if (w->minimized)
            s |= WS_MINIMIZE;
        if (w->maximized)
            s |= WS_MAXIMIZE;
        return static_cast<LONG_PTR>(s);
    }
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_USERDATA:
        return w->userData;
    case GWLP_ID:
        return w->id;
    case GWLP_HINSTANCE:
        return reinterpret_cast<LONG_PTR>(w->cls->wc.hInstance);
    }
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
}

LONG_PTR SetWindowLongPtrW(HWND hwnd, int index, LONG_PTR value)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    LONG_PTR old = GetWindowLongPtrW(hwnd, index);
    switch (index) {
    case GWL_STYLE:
        w->style = static_cast<DWORD>(value) & ~(WS_VISIBLE | WS_DISABLED | WS_MINIMIZE | WS_MAXIMIZE);
        break;
    case GWL_EXSTYLE:
        w->exStyle = static_cast<DWORD>(value);
        break;
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        break;
    case GWLP_USERDATA:
        w->userData = value;
        break;
    case GWLP_ID:
        w->id = value;
        break;
    }
    return old;
}

LONG GetWindowLongW(HWND hwnd, int index) { return static_cast<LONG>(GetWindowLongPtrW(hwnd, index)); }
LONG SetWindowLongW(HWND hwnd, int index, LONG value)
{
    return static_cast<LONG>(SetWindowLongPtrW(hwnd, index, static_cast<LONG_PTR>(static_cast<DWORD>(value))));
}

int GetWindowTextW(HWND hwnd, LPWSTR buffer, int max)
{
    return static_cast<int>(SendMessageW(hwnd, WM_GETTEXT, static_cast<WPARAM>(max), reinterpret_cast<LPARAM>(buffer)));
}
int GetWindowTextLengthW(HWND hwnd) { return static_cast<int>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)); }
BOOL SetWindowTextW(HWND hwnd, LPCWSTR text)
{
    return static_cast<BOOL>(SendMessageW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int GetClassNameW(HWND hwnd, LPWSTR buffer, int max)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (!w || !buffer || max <= 0)
        return 0;
    int n = std::min<int>(max - 1, static_cast<int>(w->cls->name.size()));
    wmemcpy(buffer, w->cls->name.c_str(), static_cast<size_t>(n));
    buffer[n] = 0;
    return n;
}

int GetDlgCtrlID(HWND hwnd) { return static_cast<int>(GetWindowLongPtrW(hwnd, GWLP_ID)); }

HWND GetDlgItem(HWND dialog, int id)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (Window* w = Find(dialog)) {
        for (HWND c : w->children)
            if (Window* cw = Find(c); cw && static_cast<int>(cw->id) == id)
                return c;
    }
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
}

DWORD GetWindowThreadProcessId(HWND hwnd, LPDWORD processId)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = Find(hwnd);
    if (processId)
        *processId = w ? static_cast<DWORD>(getpid()) : 0;
    return w ? w->thread : 0;
}

// ---------------------------------------------------------------------------------------------
// Geometry

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
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return FALSE;
        }
        top = !(w->style & WS_CHILD);
        RECT r = w->window;
        if (!(flags & SWP_NOMOVE))
            OffsetRect(&r, x - r.left, y - r.top);
        if (!(flags & SWP_NOSIZE)) {
            r.right = r.left + std::max(cx, 0);
            r.bottom = r.top + std::max(cy, 0);
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
        ResizeSurface(w);
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
        SetShown(hwnd, false);
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

// ---------------------------------------------------------------------------------------------
// Painting

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

void Present(HWND hwnd, RECT clientRect)
{
    HWND top = TopLevelOf(hwnd);
    if (!top)
        return;
    POINT origin = quiva::ui::ClientOriginInSurface(hwnd);
    OffsetRect(&clientRect, origin.x, origin.y);
    quiva::ui::CurrentBackend().Present(top, clientRect);
}
}  // namespace

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

// ---------------------------------------------------------------------------------------------
// Default window procedure

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
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = Find(hwnd);
        if (!w)
            return FALSE;
        LPCWSTR text = reinterpret_cast<LPCWSTR>(lParam);
        w->title = text ? text : L"";
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

// ---------------------------------------------------------------------------------------------
// Monitors and metrics

HMONITOR MonitorFromPoint(POINT pt, DWORD flags)
{
    RECT s = quiva::ui::VirtualScreen();
    if (PtInRect(&s, pt) || flags != MONITOR_DEFAULTTONULL)
        return reinterpret_cast<HMONITOR>(1);
    return nullptr;
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags)
{
    RECT r;
    if (!GetWindowRect(hwnd, &r))
        return flags == MONITOR_DEFAULTTONULL ? nullptr : reinterpret_cast<HMONITOR>(1);
    return MonitorFromRect(&r, flags);
}

HMONITOR MonitorFromRect(LPCRECT r, DWORD flags)
{
    RECT s = quiva::ui::VirtualScreen(), i;
    if ((r && IntersectRect(&i, r, &s)) || flags != MONITOR_DEFAULTTONULL)
        return reinterpret_cast<HMONITOR>(1);
    return nullptr;
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info)
{
    if (monitor != reinterpret_cast<HMONITOR>(1) || !info || info->cbSize < sizeof(MONITORINFO))
        return FALSE;
    info->rcMonitor = quiva::ui::VirtualScreen();
    info->rcWork = quiva::ui::WorkArea();
    info->dwFlags = MONITORINFOF_PRIMARY;
    return TRUE;
}

int GetSystemMetrics(int index)
{
    RECT s = quiva::ui::VirtualScreen();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return s.right - s.left;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return s.bottom - s.top;
    case SM_XVIRTUALSCREEN:
        return s.left;
    case SM_YVIRTUALSCREEN:
        return s.top;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXSIZEFRAME:
    case SM_CYSIZEFRAME:
        return quiva::ui::FrameWidth(WS_THICKFRAME);
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_CXMINTRACK:
        return 136;
    case SM_CYMINTRACK:
        return 39;
    case SM_CMONITORS:
        return 1;
    default:
        return 0;
    }
}

BOOL SystemParametersInfoW(UINT action, UINT, PVOID data, UINT)
{
    if (action == SPI_GETWORKAREA && data) {
        *static_cast<RECT*>(data) = quiva::ui::WorkArea();
        return TRUE;
    }
    return FALSE;
}
