#include "platform/ui/menu.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/base/ModuleHold.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/controlpaint.h"
#include "platform/ui/internal.h"
#include "platform/ui/syscolor.h"

namespace {

const wchar_t kMenuClass[] = L"QuivaMenu";
constexpr int kRowHeight = 22;
constexpr int kSeparatorHeight = 7;
constexpr int kTextIndent = 24;

struct Item {
    UINT flags = 0;
    UINT_PTR id = 0;
    std::wstring text;
    bool Separator() const { return (flags & MF_SEPARATOR) != 0; }
    bool Enabled() const { return !Separator() && !(flags & (MF_GRAYED | MF_DISABLED)); }
};

struct Menu {
    std::vector<Item> items;
};

std::mutex& MenuLock()
{
    static std::mutex m;
    return m;
}

std::map<HMENU, Menu>& Menus()
{
    static std::map<HMENU, Menu> menus;
    return menus;
}

std::map<HWND, HMENU>& SystemMenus()
{
    static std::map<HWND, HMENU> menus;
    return menus;
}

thread_local HWND t_menuWindow = nullptr;

// The letter an item is chosen by: the one after a single "&", lower case; 0 for none.
wchar_t Mnemonic(const std::wstring& text)
{
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != L'&')
            continue;
        if (text[i + 1] != L'&')
            return static_cast<wchar_t>(towlower(text[i + 1]));
        ++i;
    }
    return 0;
}

// One menu on screen: a copy of its items, where they are, which one is lit, and the outcome.
struct Tracking {
    std::vector<Item> items;
    std::vector<RECT> rows;  // client coordinates
    int hot = -1;
    bool done = false;
    UINT chosen = 0;
};

Tracking* TrackingOf(HWND popup) { return reinterpret_cast<Tracking*>(GetWindowLongPtrW(popup, GWLP_USERDATA)); }

void SetHot(HWND popup, Tracking& t, int hot)
{
    if (t.hot == hot)
        return;
    t.hot = hot;
    InvalidateRect(popup, nullptr, TRUE);
}

// The next item that can be chosen, from `from` in steps of `step` (wrapping); -1 for none.
int NextEnabled(const Tracking& t, int from, int step)
{
    const int n = static_cast<int>(t.items.size());
    for (int k = 1; k <= n; ++k) {
        const int i = ((from + step * k) % n + n) % n;
        if (t.items[static_cast<size_t>(i)].Enabled())
            return i;
    }
    return -1;
}

int RowAt(const Tracking& t, POINT pt)
{
    for (size_t i = 0; i < t.rows.size(); ++i)
        if (PtInRect(&t.rows[i], pt))
            return static_cast<int>(i);
    return -1;
}

void Choose(Tracking& t, int index)
{
    if (index < 0 || !t.items[static_cast<size_t>(index)].Enabled())
        return;
    t.chosen = static_cast<UINT>(t.items[static_cast<size_t>(index)].id);
    t.done = true;
}

void Paint(HWND popup, const Tracking& t)
{
    quiva::ui::detail::ControlPaint p(popup, GetSysColor(COLOR_MENU));
    if (!p)
        return;
    for (size_t i = 0; i < t.items.size(); ++i) {
        const Item& item = t.items[i];
        const RECT r = t.rows[i];
        if (item.Separator()) {
            const int mid = (r.top + r.bottom) / 2;
            p.Fill(RECT{r.left + 2, mid, r.right - 2, mid + 1}, GetSysColor(COLOR_BTNSHADOW));
            continue;
        }
        const bool lit = static_cast<int>(i) == t.hot && item.Enabled();
        if (lit)
            p.Fill(r, GetSysColor(COLOR_MENUHILIGHT));
        const COLORREF ink = !item.Enabled() ? GetSysColor(COLOR_GRAYTEXT)
                             : lit           ? GetSysColor(COLOR_HIGHLIGHTTEXT)
                                             : GetSysColor(COLOR_MENUTEXT);
        const size_t tab = item.text.find(L'\t');
        const RECT textRect{r.left + kTextIndent, r.top, r.right - kTextIndent, r.bottom};
        p.Text(item.text.substr(0, tab).c_str(), textRect, DT_LEFT | DT_VCENTER | DT_SINGLELINE, ink);
        if (tab != std::wstring::npos)
            p.Text(item.text.substr(tab + 1).c_str(), textRect, DT_RIGHT | DT_VCENTER | DT_SINGLELINE, ink);
    }
    p.Frame(p.client, GetSysColor(COLOR_BTNSHADOW));
}

LRESULT CALLBACK MenuProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return TRUE;
    }
    Tracking* t = TrackingOf(hwnd);
    if (!t)
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    const POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    switch (msg) {
    case WM_PAINT:
        Paint(hwnd, *t);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_MOUSEACTIVATE:
        return 3;  // MA_NOACTIVATE
    case WM_MOUSEMOVE: {
        const int row = RowAt(*t, pt);
        if (row >= 0)
            SetHot(hwnd, *t, row);
        return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
        // A press anywhere off the menu closes it without a choice.
        RECT client{};
        GetClientRect(hwnd, &client);
        if (!PtInRect(&client, pt))
            t->done = true;
        return 0;
    }
    case WM_LBUTTONUP:
        Choose(*t, RowAt(*t, pt));
        return 0;
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd)
            t->done = true;
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
}

// Keys while a menu is up go to the menu, whichever window has the focus. True: the message was
// the menu's.
bool MenuKey(Tracking& t, HWND popup, MSG& msg)
{
    switch (msg.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        switch (msg.wParam) {
        case VK_ESCAPE: t.done = true; return true;
        case VK_UP: SetHot(popup, t, NextEnabled(t, t.hot < 0 ? 0 : t.hot, -1)); return true;
        case VK_DOWN: SetHot(popup, t, NextEnabled(t, t.hot, 1)); return true;
        case VK_RETURN: Choose(t, t.hot); return true;
        default:
            TranslateMessage(&msg);  // a letter comes back as a character
            return true;
        }
    case WM_CHAR:
    case WM_SYSCHAR: {
        const wchar_t c = static_cast<wchar_t>(towlower(static_cast<wint_t>(msg.wParam)));
        for (size_t i = 0; i < t.items.size(); ++i)
            if (t.items[i].Enabled() && Mnemonic(t.items[i].text) == c) {
                Choose(t, static_cast<int>(i));
                break;
            }
        return true;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP:
        return true;
    default:
        return false;
    }
}

bool RegisterMenuClass()
{
    return quiva::ui::detail::RegisterOwnClass(kMenuClass, MenuProc, 0);
}

// The commands of the standard window menu for a style, with those that do nothing now greyed.
std::vector<Item> StandardItems(HWND hwnd)
{
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const bool iconic = IsIconic(hwnd), zoomed = IsZoomed(hwnd);
    std::vector<Item> items;
    if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))
        items.push_back({(iconic || zoomed) ? MF_STRING : MF_GRAYED, SC_RESTORE, L"이전 크기로(&R)"});
    if (style & WS_MINIMIZEBOX)
        items.push_back({iconic ? MF_GRAYED : MF_STRING, SC_MINIMIZE, L"최소화(&N)"});
    if (style & WS_MAXIMIZEBOX)
        items.push_back({zoomed ? MF_GRAYED : MF_STRING, SC_MAXIMIZE, L"최대화(&X)"});
    if (!items.empty())
        items.push_back({MF_SEPARATOR, 0, L""});
    items.push_back({MF_STRING, SC_CLOSE, L"닫기(&C)"});
    return items;
}

bool IsStandardCommand(UINT_PTR id) { return id == SC_RESTORE || id == SC_MINIMIZE || id == SC_MAXIMIZE; }

}  // namespace

HMENU CreatePopupMenu()
{
    static uintptr_t next = 0x10000;
    std::lock_guard<std::mutex> l(MenuLock());
    HMENU menu = reinterpret_cast<HMENU>(next);
    next += 4;
    Menus()[menu] = Menu{};
    return menu;
}

BOOL DestroyMenu(HMENU menu)
{
    std::lock_guard<std::mutex> l(MenuLock());
    return Menus().erase(menu) ? TRUE : FALSE;
}

BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text)
{
    std::lock_guard<std::mutex> l(MenuLock());
    auto it = Menus().find(menu);
    if (it == Menus().end())
        return FALSE;
    it->second.items.push_back({flags, (flags & MF_SEPARATOR) ? 0 : id, (flags & MF_SEPARATOR) || !text ? L"" : text});
    return TRUE;
}

int GetMenuItemCount(HMENU menu)
{
    std::lock_guard<std::mutex> l(MenuLock());
    auto it = Menus().find(menu);
    return it == Menus().end() ? -1 : static_cast<int>(it->second.items.size());
}

UINT GetMenuItemID(HMENU menu, int position)
{
    std::lock_guard<std::mutex> l(MenuLock());
    auto it = Menus().find(menu);
    if (it == Menus().end() || position < 0 || position >= static_cast<int>(it->second.items.size()))
        return static_cast<UINT>(-1);
    const Item& item = it->second.items[static_cast<size_t>(position)];
    return item.Separator() ? static_cast<UINT>(-1) : static_cast<UINT>(item.id);
}

int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int max, UINT flags)
{
    std::lock_guard<std::mutex> l(MenuLock());
    auto it = Menus().find(menu);
    if (it == Menus().end())
        return 0;
    const auto& items = it->second.items;
    const Item* found = nullptr;
    if (flags & MF_BYPOSITION) {
        if (item < items.size())
            found = &items[item];
    } else {
        auto at = std::find_if(items.begin(), items.end(), [item](const Item& i) { return !i.Separator() && i.id == item; });
        found = at == items.end() ? nullptr : &*at;
    }
    if (!found)
        return 0;
    const int n = static_cast<int>(found->text.size());
    if (buffer && max > 0) {
        const int copy = std::min(n, max - 1);
        wmemcpy(buffer, found->text.c_str(), static_cast<size_t>(copy));
        buffer[copy] = 0;
        return copy;
    }
    return n;
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*)
{
    if (t_menuWindow || !RegisterMenuClass())
        return FALSE;
    Tracking t;
    {
        std::lock_guard<std::mutex> l(MenuLock());
        auto it = Menus().find(menu);
        if (it == Menus().end() || it->second.items.empty())
            return FALSE;
        t.items = it->second.items;
    }
    // Rows under each other, as wide as the widest text.
    HDC dc = CreateCompatibleDC(nullptr);
    int width = 120, height = 2;
    for (const Item& item : t.items) {
        SIZE s{};
        GetTextExtentPoint32W(dc, item.text.c_str(), static_cast<int>(item.text.size()), &s);
        width = std::max<int>(width, s.cx + 3 * kTextIndent);
        const int h = item.Separator() ? kSeparatorHeight : kRowHeight;
        t.rows.push_back(RECT{1, height - 1, 0, height - 1 + h});
        height += h;
    }
    DeleteDC(dc);
    for (RECT& r : t.rows)
        r.right = width - 1;
    const RECT screen = quiva::ui::VirtualScreen();
    x = std::max<int>(screen.left, std::min<int>(x, screen.right - width));
    y = std::max<int>(screen.top, std::min<int>(y, screen.bottom - height));
    t.hot = NextEnabled(t, -1, 1);

    HWND popup = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, kMenuClass, L"",
                                 WS_POPUP | WS_BORDER, x, y, width, height, owner, nullptr, nullptr, &t);
    if (!popup)
        return FALSE;
    ShowWindow(popup, SW_SHOWNA);
    SetCapture(popup);
    t_menuWindow = popup;
    quiva::ModuleHold hold;  // the code that asked for the menu stays loaded until it has returned
    while (!t.done && IsWindow(popup)) {
        MSG msg{};
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (MenuKey(t, popup, msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    t_menuWindow = nullptr;
    if (IsWindow(popup)) {
        SetWindowLongPtrW(popup, GWLP_USERDATA, 0);
        if (GetCapture() == popup)
            ReleaseCapture();
        DestroyWindow(popup);
    }
    if (flags & TPM_RETURNCMD)
        return static_cast<BOOL>(t.chosen);
    if (t.chosen && owner && !(flags & TPM_NONOTIFY))
        PostMessageW(owner, WM_COMMAND, t.chosen, 0);
    return t.chosen ? TRUE : FALSE;
}

HMENU GetSystemMenu(HWND hwnd, BOOL revert)
{
    if (!IsWindow(hwnd) || (GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
        return nullptr;
    HMENU existing = nullptr;
    {
        std::lock_guard<std::mutex> l(MenuLock());
        auto it = SystemMenus().find(hwnd);
        if (it != SystemMenus().end()) {
            existing = it->second;
            if (revert) {
                Menus().erase(existing);
                SystemMenus().erase(it);
            }
        }
    }
    if (revert)
        return nullptr;
    if (existing) {
        // The standard commands follow the window's state; what the window appended stays.
        std::vector<Item> fresh = StandardItems(hwnd);
        std::lock_guard<std::mutex> l(MenuLock());
        for (Item& item : Menus()[existing].items)
            if (IsStandardCommand(item.id))
                for (const Item& f : fresh)
                    if (f.id == item.id)
                        item.flags = f.flags;
        return existing;
    }
    HMENU menu = CreatePopupMenu();
    std::lock_guard<std::mutex> l(MenuLock());
    Menus()[menu].items = StandardItems(hwnd);
    SystemMenus()[hwnd] = menu;
    return menu;
}

namespace quiva::ui {

HWND CurrentMenuWindow() { return t_menuWindow; }

namespace detail {

void ForgetSystemMenu(HWND hwnd)
{
    std::lock_guard<std::mutex> l(MenuLock());
    auto it = SystemMenus().find(hwnd);
    if (it == SystemMenus().end())
        return;
    Menus().erase(it->second);
    SystemMenus().erase(it);
}

}  // namespace detail
}  // namespace quiva::ui
