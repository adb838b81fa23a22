// An SS_ICON static takes its icon from its text: the name of an icon resource of the module it
// was created with ("#128" or a name), loaded at the system's icon size; STM_SETICON replaces
// it (the control never destroys an icon given to it).
#include "platform/ui/staticcontrol.h"

#include <map>
#include <mutex>
#include <string>

#include "platform/gdi/gdi.h"
#include "platform/ui/controlpaint.h"
#include "platform/ui/internal.h"
#include "platform/ui/syscolor.h"

namespace {

struct StaticState {
    HICON icon = nullptr;
    bool ownsIcon = false;  // loaded from the control's text
};

std::mutex& StateLock()
{
    static std::mutex m;
    return m;
}

std::map<HWND, StaticState>& States()
{
    static std::map<HWND, StaticState> states;
    return states;
}

StaticState StateOf(HWND hwnd)
{
    std::lock_guard<std::mutex> l(StateLock());
    auto it = States().find(hwnd);
    return it == States().end() ? StaticState{} : it->second;
}

// Puts a new icon in place and gives back the one it replaces; an icon the control loaded
// itself is destroyed instead.
HICON SwapIcon(HWND hwnd, HICON icon, bool owns)
{
    StaticState old;
    {
        std::lock_guard<std::mutex> l(StateLock());
        StaticState& s = States()[hwnd];
        old = s;
        s = StaticState{icon, owns};
    }
    if (old.ownsIcon && old.icon) {
        DestroyIcon(old.icon);
        return nullptr;
    }
    return old.icon;
}

DWORD Kind(HWND hwnd) { return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) & SS_TYPEMASK; }

void Paint(HWND hwnd)
{
    quiva::ui::detail::ControlPaint p(hwnd, GetSysColor(COLOR_BTNFACE));
    if (!p)
        return;
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    if (Kind(hwnd) == SS_ICON) {
        if (HICON icon = StateOf(hwnd).icon) {
            const int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
            int x = 0, y = 0;
            if (style & SS_CENTERIMAGE) {
                x = (p.client.right - cx) / 2;
                y = (p.client.bottom - cy) / 2;
            }
            DrawIconEx(p.dc, x, y, icon, cx, cy, 0, nullptr, DI_NORMAL);
        }
        return;
    }
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    UINT format = DT_WORDBREAK;
    format |= Kind(hwnd) == SS_CENTER ? DT_CENTER : Kind(hwnd) == SS_RIGHT ? DT_RIGHT : DT_LEFT;
    if (style & SS_NOPREFIX)
        format |= DT_NOPREFIX;
    const COLORREF ink = GetSysColor(IsWindowEnabled(hwnd) ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    p.Text(text.c_str(), p.client, format, ink);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CREATE: {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (Kind(hwnd) == SS_ICON && cs && cs->lpszName && *cs->lpszName) {
            HICON icon = static_cast<HICON>(LoadImageW(cs->hInstance, cs->lpszName, IMAGE_ICON,
                                                       GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
            SwapIcon(hwnd, icon, icon != nullptr);
        }
        break;
    }
    case WM_NCDESTROY: {
        SwapIcon(hwnd, nullptr, false);
        std::lock_guard<std::mutex> l(StateLock());
        States().erase(hwnd);
        break;
    }
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        break;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case STM_SETICON: {
        HICON old = SwapIcon(hwnd, reinterpret_cast<HICON>(wParam), false);
        InvalidateRect(hwnd, nullptr, TRUE);
        return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON:
        return reinterpret_cast<LRESULT>(StateOf(hwnd).icon);
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

namespace quiva::ui {

bool RegisterStaticClass()
{
    return detail::RegisterOwnClass(WC_STATICW, StaticProc, CS_HREDRAW | CS_VREDRAW);
}

}  // namespace quiva::ui
