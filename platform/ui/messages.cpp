// Message queues, sending and posting, timers, and the input path: mouse, keyboard, input
// method, capture, focus, activation, key state, keyboard hooks and the caret.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>

#include "platform/base/clock.h"
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

namespace quiva::ui::detail {

namespace {

std::mutex g_queuesMutex;
std::map<DWORD, std::shared_ptr<ThreadQueue>> g_queues;
std::atomic<DWORD> g_nextThreadId{1};
thread_local DWORD t_threadId = 0;
thread_local std::shared_ptr<ThreadQueue> t_queue;

// Input state shared by all threads (one pointer, one keyboard).
HWND g_focus = nullptr;
HWND g_active = nullptr;
HWND g_capture = nullptr;
HWND g_trackLeave = nullptr;
POINT g_cursor{0, 0};
HCURSOR g_currentCursor = nullptr;
BYTE g_keys[256] = {};
DWORD g_mainThread = 0;

struct Hook {
    HHOOK handle;
    HOOKPROC proc;
    DWORD thread;  // the installing thread, which hears keys typed into other programs
};
std::vector<Hook> g_hooks;  // newest first
uintptr_t g_nextHook = 0x20010;

DWORD Now() { return GetTickCount() + CurrentQueue().clockBias; }

Window* FindLocked(HWND h) { return Find(h); }

DWORD WindowThread(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = FindLocked(hwnd);
    return w ? w->thread : 0;
}

bool MatchesFilter(const MSG& m, HWND hwnd, UINT min, UINT max)
{
    if (hwnd && m.hwnd != hwnd && !IsChild(hwnd, m.hwnd))
        return false;
    if (min == 0 && max == 0)
        return true;
    return m.message >= min && m.message <= max;
}

WPARAM MouseKeyFlags()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    WPARAM f = 0;
    if (g_keys[VK_LBUTTON] & 0x80)
        f |= MK_LBUTTON;
    if (g_keys[VK_RBUTTON] & 0x80)
        f |= MK_RBUTTON;
    if (g_keys[VK_MBUTTON] & 0x80)
        f |= MK_MBUTTON;
    if (g_keys[VK_SHIFT] & 0x80)
        f |= MK_SHIFT;
    if (g_keys[VK_CONTROL] & 0x80)
        f |= MK_CONTROL;
    return f;
}

LRESULT CallProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    WNDPROC proc;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        Window* w = FindLocked(hwnd);
        if (!w)
            return 0;
        proc = w->proc;
    }
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

void ProcessSent(ThreadQueue& q)
{
    for (;;) {
        SentMessage* s;
        {
            std::lock_guard<std::mutex> l(q.mutex);
            if (q.sent.empty())
                return;
            s = q.sent.front();
            q.sent.pop_front();
        }
        LRESULT r = CallProc(s->hwnd, s->msg, s->wParam, s->lParam);
        auto sender = QueueOf(s->sender);
        if (sender) {
            std::lock_guard<std::mutex> l(sender->mutex);
            s->result = r;
            s->done = true;
            sender->cv.notify_all();
        }
    }
}

void PostLeave(HWND hwnd)
{
    if (hwnd)
        PostMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
}

// Turns one input event into the message it means now, or into nothing. Returns true and
// fills `out` when a message results.
bool ConvertInput(ThreadQueue& q, RawInput in, MSG* out);

bool TakePosted(ThreadQueue& q, MSG* out, HWND hwnd, UINT min, UINT max, bool remove)
{
    std::lock_guard<std::mutex> l(q.mutex);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (MatchesFilter(*it, hwnd, min, max)) {
            *out = *it;
            if (remove)
                q.posted.erase(it);
            return true;
        }
    }
    return false;
}

bool TakePaint(ThreadQueue& q, MSG* out, HWND filter, UINT min, UINT max)
{
    if (!(min == 0 && max == 0) && !(WM_PAINT >= min && WM_PAINT <= max))
        return false;
    std::lock_guard<std::recursive_mutex> g(Lock());
    for (HWND top : TopLevels()) {
        // Parents paint before their children.
        std::vector<HWND> stack{top};
        while (!stack.empty()) {
            HWND h = stack.front();
            stack.erase(stack.begin());
            Window* w = FindLocked(h);
            if (!w || !w->visible || w->minimized)
                continue;
            if (w->thread == q.id && w->hasUpdate && (!filter || filter == h || IsChild(filter, h))) {
                *out = MSG{h, WM_PAINT, 0, 0, GetTickCount(), g_cursor};
                return true;
            }
            stack.insert(stack.end(), w->children.begin(), w->children.end());
        }
    }
    return false;
}

bool TakeTimer(ThreadQueue& q, MSG* out, HWND filter, UINT min, UINT max, bool remove)
{
    if (!(min == 0 && max == 0) && !(WM_TIMER >= min && WM_TIMER <= max))
        return false;
    uint64_t now = quiva::CurrentClock().TickMs();
    std::lock_guard<std::mutex> l(q.mutex);
    for (auto& t : q.timers) {
        if (t.due <= now && (!filter || t.hwnd == filter)) {
            *out = MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), static_cast<DWORD>(now), g_cursor};
            if (remove)
                t.due = now + std::max<UINT>(t.elapse, 1);
            return true;
        }
    }
    return false;
}

// One pass over everything that may give a message.
bool Retrieve(MSG* out, HWND hwnd, UINT min, UINT max, bool remove)
{
    ThreadQueue& q = CurrentQueue();
    ProcessSent(q);
    if (TakePosted(q, out, hwnd, min, max, remove))
        return true;
    // Input becomes messages one event at a time, once what it produced has been read.
    for (;;) {
        RawInput in;
        {
            std::lock_guard<std::mutex> l(q.mutex);
            // Only once everything queued before has been read.
            if (q.input.empty() || !q.posted.empty())
                break;
            in = q.input.front();
            q.input.pop_front();
        }
        MSG m;
        if (ConvertInput(q, in, &m)) {
            {
                std::lock_guard<std::mutex> l(q.mutex);
                q.posted.push_front(m);
            }
            if (TakePosted(q, out, hwnd, min, max, remove))
                return true;
            // Not what the caller asks for: later input waits until this message is read,
            // so that it is hit-tested against the state that message leaves behind.
            break;
        }
        if (TakePosted(q, out, hwnd, min, max, remove))
            return true;
    }
    {
        std::lock_guard<std::mutex> l(q.mutex);
        if (q.quit && (min == 0 || (WM_QUIT >= min && WM_QUIT <= max))) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), g_cursor};
            if (remove)
                q.quit = false;
            return true;
        }
    }
    if (TakePaint(q, out, hwnd, min, max))
        return true;
    return TakeTimer(q, out, hwnd, min, max, remove);
}

// Waits until something may have arrived. With a virtual clock and a timer pending, time is
// moved on to the timer instead.
void WaitForWork(ThreadQueue& q)
{
    uint64_t nextDue = UINT64_MAX;
    {
        std::lock_guard<std::mutex> l(q.mutex);
        for (auto& t : q.timers)
            nextDue = std::min(nextDue, t.due);
        if (!q.posted.empty() || !q.input.empty() || !q.sent.empty() || q.quit)
            return;
    }
    quiva::Clock& clock = quiva::CurrentClock();
    uint64_t now = clock.TickMs();
    if (nextDue != UINT64_MAX && !clock.IsReal()) {
        if (nextDue > now)
            clock.SleepMs(static_cast<DWORD>(nextDue - now));
        return;
    }
    int timeout = 50;
    if (nextDue != UINT64_MAX)
        timeout = static_cast<int>(std::min<uint64_t>(nextDue > now ? nextDue - now : 0, 50));
    if (quiva::ui::CurrentBackend().Pump(0))
        return;
    std::unique_lock<std::mutex> l(q.mutex);
    q.cv.wait_for(l, std::chrono::milliseconds(timeout), [&] {
        return !q.posted.empty() || !q.input.empty() || !q.sent.empty() || q.quit;
    });
}

}  // namespace

std::shared_ptr<ThreadQueue> QueueOf(DWORD threadId)
{
    std::lock_guard<std::mutex> l(g_queuesMutex);
    auto it = g_queues.find(threadId);
    return it == g_queues.end() ? nullptr : it->second;
}

ThreadQueue& CurrentQueue()
{
    if (!t_queue) {
        t_queue = std::make_shared<ThreadQueue>();
        t_queue->id = GetCurrentThreadId();
        std::lock_guard<std::mutex> l(g_queuesMutex);
        g_queues[t_queue->id] = t_queue;
    }
    return *t_queue;
}

void Wake(DWORD threadId)
{
    auto q = QueueOf(threadId);
    if (q) {
        std::lock_guard<std::mutex> l(q->mutex);
        q->cv.notify_all();
    }
}

DWORD ThreadForInput()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    for (HWND h : {g_capture, g_focus, g_active}) {
        Window* w = FindLocked(h);
        if (w)
            return w->thread;
    }
    if (g_mainThread)
        return g_mainThread;
    return GetCurrentThreadId();
}

void QueueInput(DWORD threadId, RawInput in)
{
    if (!QueueOf(threadId))
        threadId = GetCurrentThreadId();
    if (threadId == GetCurrentThreadId())
        CurrentQueue();
    auto q = QueueOf(threadId);
    std::lock_guard<std::mutex> l(q->mutex);
    q->input.push_back(std::move(in));
    q->cv.notify_all();
}

void DestroyThreadState(HWND hwnd)
{
    HWND focus = GetFocus();
    if (focus && (focus == hwnd || IsChild(hwnd, focus)))
        SetFocus(nullptr);
    HWND capture = GetCapture();
    if (capture && (capture == hwnd || IsChild(hwnd, capture)))
        ReleaseCapture();
    if (GetActiveWindow() == hwnd) {
        std::lock_guard<std::recursive_mutex> g(Lock());
        g_active = nullptr;
    }
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        if (g_trackLeave == hwnd || IsChild(hwnd, g_trackLeave))
            g_trackLeave = nullptr;
    }
    ThreadQueue& q = CurrentQueue();
    {
        std::lock_guard<std::mutex> l(q.mutex);
        q.timers.erase(std::remove_if(q.timers.begin(), q.timers.end(), [&](const Timer& t) { return t.hwnd == hwnd; }),
                       q.timers.end());
    }
    if (q.caret.owner == hwnd)
        DestroyCaret();
}

HWND Activate(HWND hwnd, bool click)
{
    HWND old;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = g_active;
        if (old == hwnd) {
            if (hwnd) {
                // Bring it forward even when it already is the active window.
                BringWindowToTop(hwnd);
            }
            return old;
        }
        g_active = hwnd;
    }
    if (hwnd)
        BringWindowToTop(hwnd);
    bool appChange = (old == nullptr) != (hwnd == nullptr);
    if (appChange && !hwnd) {
        for (HWND t : TopLevels())
            SendMessageW(t, WM_ACTIVATEAPP, FALSE, 0);
    }
    if (old && IsWindow(old)) {
        SendMessageW(old, WM_NCACTIVATE, FALSE, 0);
        SendMessageW(old, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, IsIconic(old) ? 1 : 0), reinterpret_cast<LPARAM>(hwnd));
    }
    HWND focus = GetFocus();
    if (focus && (!hwnd || (focus != hwnd && !IsChild(hwnd, focus))))
        SetFocus(nullptr);
    if (appChange && hwnd) {
        for (HWND t : TopLevels())
            SendMessageW(t, WM_ACTIVATEAPP, TRUE, 0);
    }
    if (hwnd && IsWindow(hwnd) && GetActiveWindow() == hwnd) {
        SendMessageW(hwnd, WM_NCACTIVATE, TRUE, 0);
        SendMessageW(hwnd, WM_ACTIVATE, MAKEWPARAM(click ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(hwnd) ? 1 : 0),
                     reinterpret_cast<LPARAM>(old));
    }
    return old;
}

// ---------------------------------------------------------------------------------------------
// Input conversion

namespace {

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

LRESULT CallHooks(size_t from, int code, WPARAM wParam, LPARAM lParam);

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
    *out = MSG{target, msg, in.vk, lp, Now(), g_cursor};
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
        std::lock_guard<std::mutex> l(q.mutex);
        if (!q.composing)
            q.posted.push_back(MSG{target, WM_IME_STARTCOMPOSITION, 0, 0, Now(), g_cursor});
        if (result) {
            q.imeResult = in.text;
            q.imeComposition.clear();
            q.posted.push_back(MSG{target, WM_IME_COMPOSITION, static_cast<WPARAM>(in.text.empty() ? 0 : in.text[0]), GCS_RESULTSTR, Now(), g_cursor});
            q.posted.push_back(MSG{target, WM_IME_ENDCOMPOSITION, 0, 0, Now(), g_cursor});
            q.composing = false;
        } else {
            q.imeComposition = in.text;
            q.posted.push_back(MSG{target, WM_IME_COMPOSITION, static_cast<WPARAM>(in.text.empty() ? 0 : in.text.back()), GCS_COMPSTR, Now(), g_cursor});
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

}  // namespace

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

// ---------------------------------------------------------------------------------------------
// Messages

DWORD GetCurrentThreadId()
{
    if (!t_threadId)
        t_threadId = g_nextThreadId++;
    return t_threadId;
}

LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD thread = WindowThread(hwnd);
    if (!thread)
        return 0;
    DWORD self = GetCurrentThreadId();
    if (thread == self)
        return CallProc(hwnd, msg, wParam, lParam);
    // Another thread's window: the message waits in that thread's queue and is handled when
    // the thread reads it; meanwhile messages sent to this thread are handled here.
    auto target = QueueOf(thread);
    if (!target)
        return 0;
    ThreadQueue& me = CurrentQueue();
    SentMessage s{hwnd, msg, wParam, lParam, 0, false, self};
    {
        std::lock_guard<std::mutex> l(target->mutex);
        target->sent.push_back(&s);
        target->cv.notify_all();
    }
    for (;;) {
        ProcessSent(me);
        std::unique_lock<std::mutex> l(me.mutex);
        if (s.done)
            return s.result;
        me.cv.wait_for(l, std::chrono::milliseconds(20));
        if (s.done)
            return s.result;
        l.unlock();
        if (!IsWindow(hwnd)) {
            // The window went away; take the message back unless it is being handled.
            std::lock_guard<std::mutex> tl(target->mutex);
            auto it = std::find(target->sent.begin(), target->sent.end(), &s);
            if (it != target->sent.end()) {
                target->sent.erase(it);
                return 0;
            }
        }
    }
}

BOOL PostMessageW(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    DWORD thread = hwnd ? WindowThread(hwnd) : GetCurrentThreadId();
    if (!thread)
        return FALSE;
    if (thread == GetCurrentThreadId())
        CurrentQueue();
    auto q = QueueOf(thread);
    if (!q)
        return FALSE;
    // The window system is never locked while a queue is: painting threads take them the
    // other way round.
    POINT pt;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        pt = g_cursor;
    }
    std::lock_guard<std::mutex> l(q->mutex);
    q->posted.push_back(MSG{hwnd, msg, wParam, lParam, GetTickCount(), pt});
    q->cv.notify_all();
    return TRUE;
}

BOOL PostThreadMessageW(DWORD threadId, UINT msg, WPARAM wParam, LPARAM lParam)
{
    auto q = QueueOf(threadId);
    if (!q)
        return FALSE;
    std::lock_guard<std::mutex> l(q->mutex);
    q->posted.push_back(MSG{nullptr, msg, wParam, lParam, GetTickCount(), POINT{0, 0}});
    q->cv.notify_all();
    return TRUE;
}

void PostQuitMessage(int exitCode)
{
    ThreadQueue& q = CurrentQueue();
    std::lock_guard<std::mutex> l(q.mutex);
    q.quit = true;
    q.quitCode = exitCode;
}

BOOL GetMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax)
{
    if (!msg)
        return -1;
    ThreadQueue& q = CurrentQueue();
    for (;;) {
        if (Retrieve(msg, hwnd, filterMin, filterMax, true)) {
            q.current = *msg;
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        WaitForWork(q);
    }
}

BOOL PeekMessageW(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove)
{
    if (!msg)
        return FALSE;
    quiva::ui::CurrentBackend().Pump(0);
    if (Retrieve(msg, hwnd, filterMin, filterMax, (remove & PM_REMOVE) != 0)) {
        if (remove & PM_REMOVE)
            CurrentQueue().current = *msg;
        return TRUE;
    }
    return FALSE;
}

BOOL WaitMessage()
{
    ThreadQueue& q = CurrentQueue();
    MSG m;
    if (Retrieve(&m, nullptr, 0, 0, false))
        return TRUE;
    WaitForWork(q);
    return TRUE;
}

BOOL TranslateMessage(const MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    ThreadQueue& q = CurrentQueue();
    if (q.lastKey.hwnd != msg->hwnd || q.lastKey.wParam != msg->wParam || q.lastKey.time != msg->time ||
        q.lastKey.lParam != msg->lParam || !q.lastKeyChar)
        return FALSE;
    wchar_t ch = q.lastKeyChar;
    q.lastKeyChar = 0;
    std::lock_guard<std::mutex> l(q.mutex);
    q.posted.push_front(MSG{msg->hwnd, msg->message == WM_SYSKEYDOWN ? static_cast<UINT>(WM_SYSCHAR) : static_cast<UINT>(WM_CHAR),
                            static_cast<WPARAM>(ch), msg->lParam, msg->time, msg->pt});
    return TRUE;
}

LRESULT DispatchMessageW(const MSG* msg)
{
    if (!msg)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd)
        return 0;
    if (WindowThread(msg->hwnd) != GetCurrentThreadId())
        return 0;
    LRESULT r = CallProc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
    if (msg->message == WM_PAINT) {
        // A window that does not validate its update region would be painted forever.
        ValidateRect(msg->hwnd, nullptr);
    }
    return r;
}

DWORD GetMessageTime() { return CurrentQueue().current.time; }
DWORD GetMessagePos()
{
    const MSG& m = CurrentQueue().current;
    return static_cast<DWORD>(MAKELONG(static_cast<WORD>(m.pt.x), static_cast<WORD>(m.pt.y)));
}

// ---------------------------------------------------------------------------------------------
// Timers

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc)
{
    DWORD thread = GetCurrentThreadId();
    if (hwnd) {
        thread = WindowThread(hwnd);
        if (!thread)
            return 0;
    }
    static std::atomic<UINT_PTR> nextId{0x7F00};
    if (!hwnd)
        id = nextId++;
    if (thread == GetCurrentThreadId())
        CurrentQueue();
    auto q = QueueOf(thread);
    if (!q)
        return 0;
    elapse = std::max<UINT>(elapse, 10);
    std::lock_guard<std::mutex> l(q->mutex);
    uint64_t due = quiva::CurrentClock().TickMs() + elapse;
    for (auto& t : q->timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.due = due;
            t.proc = proc;
            return id ? id : 1;
        }
    }
    q->timers.push_back(Timer{hwnd, id, elapse, due, proc});
    q->cv.notify_all();
    return id ? id : 1;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    DWORD thread = hwnd ? WindowThread(hwnd) : GetCurrentThreadId();
    auto q = QueueOf(thread);
    if (!q)
        return FALSE;
    std::lock_guard<std::mutex> l(q->mutex);
    auto it = std::find_if(q->timers.begin(), q->timers.end(), [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == q->timers.end())
        return FALSE;
    q->timers.erase(it);
    return TRUE;
}

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
    std::lock_guard<std::recursive_mutex> g(Lock());
    HCURSOR old = g_currentCursor;
    g_currentCursor = cursor;
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
// Focus, activation and keys

HWND SetFocus(HWND hwnd)
{
    HWND old;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = FindLocked(g_focus) ? g_focus : nullptr;
        if (hwnd && !FindLocked(hwnd))
            return nullptr;
        if (old == hwnd)
            return old;
    }
    if (hwnd) {
        HWND top = TopLevelOf(hwnd);
        if (top != GetActiveWindow() && IsWindowVisible(top))
            Activate(top, false);
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = FindLocked(g_focus) ? g_focus : nullptr;
        if (old == hwnd)
            return old;
    }
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        g_focus = hwnd;
    }
    if (old)
        SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && GetFocus() == hwnd)
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return FindLocked(g_focus) ? g_focus : nullptr;
}

HWND SetActiveWindow(HWND hwnd)
{
    if (hwnd && !IsWindow(hwnd))
        return nullptr;
    return Activate(hwnd ? TopLevelOf(hwnd) : nullptr, false);
}

HWND GetActiveWindow()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return FindLocked(g_active) ? g_active : nullptr;
}

SHORT GetKeyState(int vk)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    BYTE s = g_keys[vk & 0xFF];
    return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT GetAsyncKeyState(int vk)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return static_cast<SHORT>((g_keys[vk & 0xFF] & 0x80) ? 0x8000 : 0);
}

HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE, DWORD)
{
    if (idHook != WH_KEYBOARD_LL || !proc)
        return nullptr;
    DWORD thread = GetCurrentThreadId();
    HHOOK h;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        h = reinterpret_cast<HHOOK>(g_nextHook);
        g_nextHook += 4;
        g_hooks.insert(g_hooks.begin(), Hook{h, proc, thread});
    }
    quiva::ui::CurrentBackend().ObserveKeys(true);
    return h;
}

BOOL UnhookWindowsHookEx(HHOOK hook)
{
    bool any;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [&](const Hook& h) { return h.handle == hook; });
        if (it == g_hooks.end())
            return FALSE;
        g_hooks.erase(it);
        any = !g_hooks.empty();
    }
    if (!any)
        quiva::ui::CurrentBackend().ObserveKeys(false);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam)
{
    size_t next;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [&](const Hook& h) { return h.handle == hook; });
        if (it == g_hooks.end())
            return 0;
        next = static_cast<size_t>(it - g_hooks.begin()) + 1;
    }
    return CallHooks(next, code, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Caret

BOOL CreateCaret(HWND hwnd, HBITMAP, int width, int height)
{
    if (!IsWindow(hwnd))
        return FALSE;
    ThreadQueue& q = CurrentQueue();
    if (q.caret.owner && q.caret.owner != hwnd)
        DestroyCaret();
    q.caret = quiva::ui::CaretState{hwnd, {0, 0}, width ? width : 1, height ? height : 1, 1};
    return TRUE;
}

BOOL DestroyCaret()
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner)
        return FALSE;
    q.caret = quiva::ui::CaretState{nullptr, {0, 0}, 0, 0, 1};
    return TRUE;
}

BOOL SetCaretPos(int x, int y)
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner)
        return FALSE;
    q.caret.pos = POINT{x, y};
    return TRUE;
}

BOOL GetCaretPos(LPPOINT pt)
{
    if (!pt)
        return FALSE;
    *pt = CurrentQueue().caret.pos;
    return TRUE;
}

BOOL ShowCaret(HWND hwnd)
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner || (hwnd && hwnd != q.caret.owner) || q.caret.hideCount == 0)
        return FALSE;
    --q.caret.hideCount;
    return TRUE;
}

BOOL HideCaret(HWND hwnd)
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner || (hwnd && hwnd != q.caret.owner))
        return FALSE;
    ++q.caret.hideCount;
    return TRUE;
}

UINT GetCaretBlinkTime() { return 530; }

// ---------------------------------------------------------------------------------------------
// Input method

HIMC ImmGetContext(HWND hwnd) { return IsWindow(hwnd) ? reinterpret_cast<HIMC>(hwnd) : nullptr; }
BOOL ImmReleaseContext(HWND, HIMC) { return TRUE; }

LONG ImmGetCompositionStringW(HIMC imc, DWORD index, LPVOID buffer, DWORD bufferBytes)
{
    if (!imc)
        return -1;  // IMM_ERROR_NODATA
    ThreadQueue& q = CurrentQueue();
    const std::wstring* s = index == GCS_RESULTSTR ? &q.imeResult : index == GCS_COMPSTR ? &q.imeComposition : nullptr;
    if (!s)
        return -1;
    // Wide strings are two bytes per character for the callers that size buffers.
    LONG bytes = static_cast<LONG>(s->size() * sizeof(wchar_t));
    if (!buffer || bufferBytes == 0)
        return bytes;
    DWORD n = std::min<DWORD>(bufferBytes / sizeof(wchar_t), static_cast<DWORD>(s->size()));
    std::copy(s->begin(), s->begin() + n, static_cast<wchar_t*>(buffer));
    return static_cast<LONG>(n * sizeof(wchar_t));
}

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
