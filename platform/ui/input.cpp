// Input: turning raw pointer, key and input-method events into messages, the pointer and
// capture, and injecting input.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>

#include "platform/base/clock.h"
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

namespace quiva::ui::detail {

wchar_t CharForKey(UINT vk)
{
    bool shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
    if (vk >= 'A' && vk <= 'Z')
        return static_cast<wchar_t>((shift != caps) ? vk : vk - 'A' + 'a');
    if (vk >= '0' && vk <= '9' && !shift)
        return static_cast<wchar_t>(vk);
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9)
        return static_cast<wchar_t>('0' + (vk - VK_NUMPAD0));
    switch (vk) {
    case VK_SPACE:
        return L' ';
    case VK_RETURN:
        return L'\r';
    case VK_BACK:
        return 8;
    case VK_TAB:
        return L'\t';
    case VK_ESCAPE:
        return 27;
    case VK_DECIMAL:
        return L'.';
    case VK_SUBTRACT:
        return L'-';
    case VK_ADD:
        return L'+';
    default:
        return 0;
    }
}

void SetKeyDown(UINT vk, bool down)
{
    if (vk > 255)
        return;
    if (down) {
        if (!(g_keys[vk] & 0x80))
            g_keys[vk] ^= 0x01;
        g_keys[vk] |= 0x80;
    } else {
        g_keys[vk] &= static_cast<BYTE>(~0x80);
    }
}

bool ConvertKey(ThreadQueue& q, const RawInput& in, MSG* out)
{
    KBDLLHOOKSTRUCT ll{in.vk, 0, in.down ? 0u : static_cast<DWORD>(LLKHF_UP), Now(), 0};
    if (GetKeyState(VK_MENU) & 0x8000)
        ll.flags |= LLKHF_ALTDOWN;
    UINT llMsg = in.down ? ((ll.flags & LLKHF_ALTDOWN) ? WM_SYSKEYDOWN : WM_KEYDOWN)
                         : ((ll.flags & LLKHF_ALTDOWN) ? WM_SYSKEYUP : WM_KEYUP);
    if (CallHooks(0, HC_ACTION, llMsg, reinterpret_cast<LPARAM>(&ll)))
        return false;  // swallowed by a hook
    HWND target;
    bool wasDown;
    bool alt;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        wasDown = (g_keys[in.vk & 0xFF] & 0x80) != 0;
        SetKeyDown(in.vk, in.down);
        switch (in.vk) {
        case VK_LSHIFT:
        case VK_RSHIFT:
            SetKeyDown(VK_SHIFT, in.down);
            break;
        case VK_LCONTROL:
        case VK_RCONTROL:
            SetKeyDown(VK_CONTROL, in.down);
            break;
        case VK_LMENU:
        case VK_RMENU:
            SetKeyDown(VK_MENU, in.down);
            break;
        }
        alt = (g_keys[VK_MENU] & 0x80) != 0;
        if (in.observed)
            return false;  // the hooks have seen it; the program it was typed into has it
        target = g_focus ? g_focus : g_active;
        if (!FindLocked(target))
            return false;
    }
    UINT msg = in.down ? (alt ? WM_SYSKEYDOWN : WM_KEYDOWN) : (alt || in.vk == VK_MENU ? WM_SYSKEYUP : WM_KEYUP);
    LPARAM lp = 1;
    if (alt)
        lp |= 1 << 29;
    if (wasDown)
        lp |= 1 << 30;
    if (!in.down)
        lp |= static_cast<LPARAM>(1u << 31);
    *out = MSG{target, msg, in.vk, lp, Now(), CursorNow()};
    q.lastKey = *out;
    q.lastKeyChar = in.down ? (in.ch ? in.ch : CharForKey(in.vk)) : 0;
    return true;
}

bool ConvertMouse(ThreadQueue& q, const RawInput& in, MSG* out)
{
    POINT pt = in.pt;
    HWND under, capture;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        g_cursor = pt;
        capture = FindLocked(g_capture) ? g_capture : nullptr;
    }
    under = WindowFromPoint(pt);
    if (in.kind == RawInput::Button) {
        std::lock_guard<std::recursive_mutex> g(Lock());
        UINT vk = in.button == 0 ? VK_LBUTTON : in.button == 1 ? VK_RBUTTON : VK_MBUTTON;
        SetKeyDown(vk, in.down);
    }
    HWND target = capture ? capture : under;
    if (in.kind == RawInput::Wheel) {
        std::lock_guard<std::recursive_mutex> g(Lock());
        HWND t = FindLocked(g_focus) ? g_focus : (FindLocked(g_active) ? g_active : nullptr);
        if (!t)
            return false;
        *out = MSG{t, WM_MOUSEWHEEL, MAKEWPARAM(MouseKeyFlags(), static_cast<WORD>(static_cast<short>(in.delta))),
                   MAKELPARAM(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)), Now(), pt};
        return true;
    }
    LRESULT hit = HTCLIENT;
    if (!capture && target) {
        hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)));
        // A transparent window lets the window underneath on its thread answer for the point.
        for (HWND below; hit == HTTRANSPARENT && (below = WindowBelow(target, pt));) {
            target = below;
            hit = SendMessageW(target, WM_NCHITTEST, 0, MAKELPARAM(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)));
        }
        if (hit == HTTRANSPARENT)
            hit = HTNOWHERE;
    }
    if (!IsWindow(target))
        target = nullptr;
    // Leave notices follow the pointer, not the capture.
    {
        HWND tracked;
        {
            std::lock_guard<std::recursive_mutex> g(Lock());
            tracked = g_trackLeave;
        }
        if (tracked) {
            RECT c = ClientScreenRect(tracked);
            bool inside = under == tracked && PtInRect(&c, pt) && (capture || hit == HTCLIENT);
            if (!inside || !IsWindow(tracked)) {
                std::lock_guard<std::recursive_mutex> g(Lock());
                g_trackLeave = nullptr;
                PostLeave(tracked);
            }
        }
    }
    if (!target)
        return false;
    bool buttonDown = in.kind == RawInput::Button && in.down;
    UINT mouseMsg = WM_MOUSEMOVE;
    if (in.kind == RawInput::Button) {
        static const UINT downs[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
        static const UINT ups[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
        mouseMsg = in.down ? downs[in.button] : ups[in.button];
    }
    if (!capture)
        SendMessageW(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(static_cast<WORD>(hit), mouseMsg));
    if (!IsWindow(target))
        return false;
    if (buttonDown && !capture) {
        // A press activates the top-level window under it.
        HWND top = TopLevelOf(target);
        DWORD ex = static_cast<DWORD>(GetWindowLongPtrW(top, GWL_EXSTYLE));
        if (top && top != GetActiveWindow() && !(ex & WS_EX_NOACTIVATE)) {
            LRESULT ma = SendMessageW(target, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(top), MAKELPARAM(hit, mouseMsg));
            if (ma == 1 || ma == 2)
                Activate(top, true);
        }
        if (!IsWindow(target))
            return false;
    }
    bool client = hit == HTCLIENT;
    UINT msg = mouseMsg;
    if (!client)
        msg = mouseMsg - WM_MOUSEMOVE + WM_NCMOUSEMOVE;
    if (buttonDown) {
        DWORD now = Now();
        bool isDouble = !q.lastWasDouble && q.lastClickWindow == target && q.lastClickMsg == msg &&
                        now - q.lastClickTime <= GetDoubleClickTime() &&
                        std::abs(pt.x - q.lastClickPt.x) <= GetSystemMetrics(SM_CXDOUBLECLK) / 2 &&
                        std::abs(pt.y - q.lastClickPt.y) <= GetSystemMetrics(SM_CYDOUBLECLK) / 2;
        bool classDbl = false;
        {
            std::lock_guard<std::recursive_mutex> g(Lock());
            Window* w = FindLocked(target);
            classDbl = w && (w->cls->wc.style & CS_DBLCLKS);
        }
        q.lastClickWindow = target;
        q.lastClickMsg = msg;
        q.lastClickTime = now;
        q.lastClickPt = pt;
        q.lastWasDouble = false;
        if (isDouble && (!client || classDbl)) {
            msg += 2;  // ...DOWN -> ...DBLCLK
            q.lastWasDouble = true;
        }
    }
    if (client) {
        POINT c = pt;
        ScreenToClient(target, &c);
        *out = MSG{target, msg, MouseKeyFlags(), MAKELPARAM(static_cast<WORD>(c.x), static_cast<WORD>(c.y)), Now(), pt};
    } else {
        *out = MSG{target, msg, static_cast<WPARAM>(hit), MAKELPARAM(static_cast<WORD>(pt.x), static_cast<WORD>(pt.y)),
                   Now(), pt};
    }
    return true;
}

bool ConvertInput(ThreadQueue& q, RawInput in, MSG* out)
{
    switch (in.kind) {
    case RawInput::Move:
    case RawInput::Button:
    case RawInput::Wheel:
        return ConvertMouse(q, in, out);
    case RawInput::Key:
        return ConvertKey(q, in, out);
    case RawInput::ImeCompose:
    case RawInput::ImeResult: {
        HWND target = GetFocus();
        if (!target)
            return false;
        bool result = in.kind == RawInput::ImeResult;
        const POINT cursor = CursorNow();
        std::lock_guard<std::mutex> l(q.mutex);
        if (!q.composing)
            q.posted.push_back(MSG{target, WM_IME_STARTCOMPOSITION, 0, 0, Now(), cursor});
        if (result) {
            q.imeResult = in.text;
            q.imeComposition.clear();
            q.posted.push_back(MSG{target, WM_IME_COMPOSITION, static_cast<WPARAM>(in.text.empty() ? 0 : in.text[0]), GCS_RESULTSTR, Now(), cursor});
            q.posted.push_back(MSG{target, WM_IME_ENDCOMPOSITION, 0, 0, Now(), cursor});
            q.composing = false;
        } else {
            q.imeComposition = in.text;
            q.posted.push_back(MSG{target, WM_IME_COMPOSITION, static_cast<WPARAM>(in.text.empty() ? 0 : in.text.back()), GCS_COMPSTR, Now(), cursor});
            q.composing = true;
        }
        return false;
    }
    case RawInput::Activate:
        if (!in.window || IsWindow(in.window))
            Activate(in.window ? TopLevelOf(in.window) : nullptr, false);
        return false;
    case RawInput::Pause:
        q.clockBias += in.ms;
        return false;
    }
    return false;
}

LRESULT CallHooks(size_t from, int code, WPARAM wParam, LPARAM lParam)
{
    HOOKPROC proc = nullptr;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (from < g_hooks.size())
            proc = g_hooks[from].proc;
    }
    return proc ? proc(code, wParam, lParam) : 0;
}

}  // namespace quiva::ui::detail

// ---------------------------------------------------------------------------------------------
// Mouse

HWND SetCapture(HWND hwnd)
{
    HWND old;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = g_capture;
        if (!FindLocked(hwnd))
            return old;
        g_capture = hwnd;
    }
    if (old && old != hwnd && IsWindow(old))
        SendMessageW(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    if (old != hwnd)
        quiva::ui::CurrentBackend().CaptureChanged(hwnd);
    return old;
}

BOOL ReleaseCapture()
{
    HWND old;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = g_capture;
        g_capture = nullptr;
    }
    if (old) {
        if (IsWindow(old))
            SendMessageW(old, WM_CAPTURECHANGED, 0, 0);
        quiva::ui::CurrentBackend().CaptureChanged(nullptr);
    }
    return TRUE;
}

HWND GetCapture()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return FindLocked(g_capture) ? g_capture : nullptr;
}

BOOL TrackMouseEvent(LPTRACKMOUSEEVENT tme)
{
    if (!tme || tme->cbSize < sizeof(TRACKMOUSEEVENT))
        return FALSE;
    if (!(tme->dwFlags & TME_LEAVE))
        return TRUE;
    if (tme->dwFlags & TME_CANCEL) {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (g_trackLeave == tme->hwndTrack)
            g_trackLeave = nullptr;
        return TRUE;
    }
    if (!IsWindow(tme->hwndTrack))
        return FALSE;
    POINT pt;
    GetCursorPos(&pt);
    RECT c = ClientScreenRect(tme->hwndTrack);
    bool inside = WindowFromPoint(pt) == tme->hwndTrack && PtInRect(&c, pt);
    if (!inside) {
        PostLeave(tme->hwndTrack);
        return TRUE;
    }
    HWND previous;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        previous = g_trackLeave;
        g_trackLeave = tme->hwndTrack;
    }
    if (previous && previous != tme->hwndTrack)
        PostLeave(previous);
    return TRUE;
}

BOOL _TrackMouseEvent(LPTRACKMOUSEEVENT tme) { return TrackMouseEvent(tme); }

BOOL GetCursorPos(LPPOINT pt)
{
    if (!pt)
        return FALSE;
    std::lock_guard<std::recursive_mutex> g(Lock());
    *pt = g_cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    quiva::ui::InjectMouseMove(x, y);
    return TRUE;
}

HCURSOR LoadCursorW(HINSTANCE, LPCWSTR name)
{
    // System cursors are identified by their resource number.
    if (IS_INTRESOURCE(name))
        return reinterpret_cast<HCURSOR>(reinterpret_cast<ULONG_PTR>(name));
    return nullptr;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    HCURSOR old;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = g_currentCursor;
        g_currentCursor = cursor;
    }
    if (cursor != old)
        quiva::ui::CurrentBackend().CursorChanged(cursor);
    return old;
}

HCURSOR GetCursor()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return g_currentCursor;
}

BOOL DestroyCursor(HCURSOR) { return TRUE; }
UINT GetDoubleClickTime() { return 500; }

// ---------------------------------------------------------------------------------------------
// Injection

namespace quiva::ui {

namespace {
DWORD ThreadAt(POINT pt)
{
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (Window* w = Find(g_capture))
            return w->thread;
    }
    HWND h = WindowFromPoint(pt);
    if (h)
        return GetWindowThreadProcessId(h, nullptr);
    return ThreadForInput();
}
}  // namespace

void InjectMouseMove(int x, int y)
{
    RawInput in(RawInput::Move);
    in.pt = POINT{x, y};
    QueueInput(ThreadAt(in.pt), in);
}

void InjectMouseButton(MouseButton button, bool down, int x, int y)
{
    RawInput in(RawInput::Button);
    in.button = static_cast<int>(button);
    in.down = down;
    in.pt = POINT{x, y};
    QueueInput(ThreadAt(in.pt), in);
}

void InjectClick(int x, int y, MouseButton button)
{
    InjectMouseButton(button, true, x, y);
    InjectMouseButton(button, false, x, y);
}

void InjectWheel(int delta, int x, int y)
{
    RawInput in(RawInput::Wheel);
    in.delta = delta;
    in.pt = POINT{x, y};
    QueueInput(ThreadForInput(), in);
}

void InjectKey(UINT vk, bool down, wchar_t ch)
{
    RawInput in(RawInput::Key);
    in.vk = vk;
    in.down = down;
    in.ch = ch;
    QueueInput(ThreadForInput(), in);
}

void InjectObservedKey(UINT vk, bool down)
{
    DWORD thread;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (g_hooks.empty())
            return;
        thread = g_hooks.front().thread;
    }
    RawInput in(RawInput::Key);
    in.vk = vk;
    in.down = down;
    in.observed = true;
    QueueInput(thread, in);
}

void InjectKeyStroke(UINT vk, wchar_t ch)
{
    InjectKey(vk, true, ch);
    InjectKey(vk, false, 0);
}

void InjectImeComposition(const std::wstring& composing)
{
    RawInput in(RawInput::ImeCompose);
    in.text = composing;
    QueueInput(ThreadForInput(), in);
}

void InjectImeResult(const std::wstring& result)
{
    RawInput in(RawInput::ImeResult);
    in.text = result;
    QueueInput(ThreadForInput(), in);
}

void InjectActivation(HWND window)
{
    RawInput in(RawInput::Activate);
    in.window = window;
    QueueInput(window ? GetWindowThreadProcessId(window, nullptr) : ThreadForInput(), in);
}

void InjectPause(DWORD ms)
{
    RawInput in(RawInput::Pause);
    in.ms = ms;
    QueueInput(ThreadForInput(), in);
}

int PumpPending()
{
    int n = 0;
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessageW(&m);
        ++n;
    }
    return n;
}

CaretState GetCaretState() { return CurrentQueue().caret; }

}  // namespace quiva::ui
