// Windows: creation, destruction, relations, window data and text.
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
        if (x == CW_USEDEFAULT)
            x = y = 0;
        if (width == CW_USEDEFAULT)
            width = height = 0;
        RECT rect;
        if (!WindowRectAt(x, y, width, height, &rect)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        // A top-level window draws into a surface of its own; one it cannot have makes no window.
        std::unique_ptr<quiva::Surface> surface;
        if (!(style & WS_CHILD)) {
            surface = std::make_unique<quiva::Surface>();
            if (!surface->Resize(rect.right - rect.left, rect.bottom - rect.top)) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
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
        w->window = rect;
        w->client = w->window;
        w->normalRect = w->window;
        if (style & WS_CHILD) {
            w->parent = parent;
            w->id = reinterpret_cast<LONG_PTR>(menu);
            Find(parent)->children.push_back(hwnd);
        } else {
            w->owner = parent ? TopLevelOf(parent) : nullptr;
            w->surface = std::move(surface);
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

// Returns once no other thread is drawing into the surface (painters hold its mutex while they
// draw), so that it can be freed.
void WaitForPainters(quiva::Surface& surface) { std::lock_guard<std::recursive_mutex> painting(surface.Mutex()); }

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
    if (keep && keep->surface)
        WaitForPainters(*keep->surface);
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
