// Message queues: the per-thread queues and the shared input state, sending and posting,
// retrieving and dispatching, and timers.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>

#include "platform/base/ModuleHold.h"
#include "platform/base/clock.h"
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

namespace quiva::ui::detail {

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

std::vector<Hook> g_hooks;  // newest first
uintptr_t g_nextHook = 0x20010;

DWORD Now() { return GetTickCount() + CurrentQueue().clockBias; }

Window* FindLocked(HWND h) { return Find(h); }

POINT CursorNow()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return g_cursor;
}

DWORD WindowThread(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    Window* w = FindLocked(hwnd);
    return w ? w->thread : 0;
}

// The windows a read filtered to `hwnd` takes messages for: the window and every window below
// it (none: no filter). Read before the queue is locked, as the lock order wants.
std::vector<HWND> FilterWindows(HWND hwnd)
{
    std::vector<HWND> windows;
    if (!hwnd)
        return windows;
    std::lock_guard<std::recursive_mutex> g(Lock());
    std::vector<HWND> pending{hwnd};
    while (!pending.empty()) {
        HWND h = pending.back();
        pending.pop_back();
        windows.push_back(h);
        if (Window* w = FindLocked(h))
            pending.insert(pending.end(), w->children.begin(), w->children.end());
    }
    return windows;
}

bool MatchesFilter(const MSG& m, const std::vector<HWND>& windows, UINT min, UINT max)
{
    if (!windows.empty() && std::find(windows.begin(), windows.end(), m.hwnd) == windows.end())
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

bool TakePosted(ThreadQueue& q, MSG* out, HWND hwnd, UINT min, UINT max, bool remove)
{
    const std::vector<HWND> windows = FilterWindows(hwnd);
    std::lock_guard<std::mutex> l(q.mutex);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
        if (MatchesFilter(*it, windows, min, max)) {
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
    const POINT cursor = CursorNow();
    std::lock_guard<std::mutex> l(q.mutex);
    for (auto& t : q.timers) {
        if (t.due <= now && (!filter || t.hwnd == filter)) {
            *out = MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), static_cast<DWORD>(now), cursor};
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
        const POINT cursor = CursorNow();
        std::lock_guard<std::mutex> l(q.mutex);
        if (q.quit && (min == 0 || (WM_QUIT >= min && WM_QUIT <= max))) {
            *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, GetTickCount(), cursor};
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
        CurrentBackend().ActivationChanged(hwnd);
        SendMessageW(hwnd, WM_NCACTIVATE, TRUE, 0);
        SendMessageW(hwnd, WM_ACTIVATE, MAKEWPARAM(click ? WA_CLICKACTIVE : WA_ACTIVE, IsIconic(hwnd) ? 1 : 0),
                     reinterpret_cast<LPARAM>(old));
    }
    return old;
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
    const POINT pt = CursorNow();
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
    quiva::ReleaseHeldModules();
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
    quiva::ReleaseHeldModules();
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
