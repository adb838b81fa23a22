// The default processing of the window menu, window icons and minimised windows: the part of
// DefWindowProcW that these messages need.
#include <map>
#include <mutex>

#include "platform/gdi/gdi.h"
#include "platform/ui/internal.h"
#include "platform/ui/menu.h"
#include "platform/ui/syscolor.h"
#include "platform/ui/windowicon.h"

namespace {

struct Icons {
    HICON big = nullptr;
    HICON small = nullptr;
};

std::mutex& IconLock()
{
    static std::mutex m;
    return m;
}

std::map<HWND, Icons>& IconTable()
{
    static std::map<HWND, Icons> icons;
    return icons;
}

HWND Root(HWND hwnd) { return GetAncestor(hwnd, GA_ROOT); }

LRESULT SetIcon(HWND hwnd, WPARAM which, HICON icon)
{
    HICON old;
    {
        std::lock_guard<std::mutex> l(IconLock());
        Icons& icons = IconTable()[hwnd];
        HICON& slot = which == ICON_BIG ? icons.big : icons.small;
        old = slot;
        slot = icon;
    }
    if (!(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
        quiva::ui::CurrentBackend().IconChanged(hwnd);
    return reinterpret_cast<LRESULT>(old);
}

HICON ClassIcon(HWND hwnd)
{
    wchar_t name[256] = {};
    WNDCLASSW wc{};
    if (GetClassNameW(hwnd, name, 256) && GetClassInfoW(nullptr, name, &wc))
        return wc.hIcon;
    return nullptr;
}

// The window menu at the top-left corner of the client area; the command chosen comes back as
// WM_SYSCOMMAND.
void ShowWindowMenu(HWND hwnd)
{
    if (!(GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_SYSMENU))
        return;
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    POINT at{0, 0};
    ClientToScreen(hwnd, &at);
    const UINT chosen = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD, at.x, at.y, 0, hwnd, nullptr));
    if (chosen && IsWindow(hwnd))
        SendMessageW(hwnd, WM_SYSCOMMAND, chosen, 0);
}

LRESULT SysCommand(HWND hwnd, WPARAM command)
{
    switch (command & 0xFFF0) {
    case SC_CLOSE: SendMessageW(hwnd, WM_CLOSE, 0, 0); break;
    case SC_MINIMIZE: ShowWindow(hwnd, SW_MINIMIZE); break;
    case SC_MAXIMIZE: ShowWindow(hwnd, SW_MAXIMIZE); break;
    case SC_RESTORE: ShowWindow(hwnd, SW_RESTORE); break;
    case SC_KEYMENU:
    case SC_MOUSEMENU: ShowWindowMenu(hwnd); break;
    default: break;
    }
    return 0;
}

}  // namespace

namespace quiva::ui {

HICON WindowIcon(HWND hwnd, bool big)
{
    std::lock_guard<std::mutex> l(IconLock());
    auto it = IconTable().find(hwnd);
    if (it == IconTable().end())
        return nullptr;
    HICON first = big ? it->second.big : it->second.small;
    return first ? first : (big ? it->second.small : it->second.big);
}

namespace detail {

bool DefWindowExtras(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    *result = 0;
    switch (msg) {
    case WM_SYSCHAR:
        // Alt+Space opens the window menu of the top-level window.
        if (wParam == L' ')
            SendMessageW(Root(hwnd), WM_SYSCOMMAND, SC_KEYMENU, L' ');
        return true;
    case WM_SYSCOMMAND:
        *result = SysCommand(hwnd, wParam);
        return true;
    case WM_SETICON:
        *result = SetIcon(hwnd, wParam, reinterpret_cast<HICON>(lParam));
        return true;
    case WM_GETICON:
        *result = reinterpret_cast<LRESULT>(WindowIcon(hwnd, wParam == ICON_BIG));
        return true;
    case WM_QUERYDRAGICON:
        *result = reinterpret_cast<LRESULT>(ClassIcon(hwnd));
        return true;
    case WM_ICONERASEBKGND: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        RECT r{};
        GetClientRect(hwnd, &r);
        if (dc)
            FillRect(dc, &r, GetSysColorBrush(COLOR_DESKTOP));
        *result = dc ? 1 : 0;
        return true;
    }
    case WM_NCDESTROY: {
        ForgetSystemMenu(hwnd);
        std::lock_guard<std::mutex> l(IconLock());
        IconTable().erase(hwnd);
        return false;
    }
    default:
        return false;
    }
}

}  // namespace detail
}  // namespace quiva::ui
