#include "platform/base/timerqueue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"

namespace quiva {

namespace {

struct Timer {
    WAITORTIMERCALLBACK callback;
    PVOID parameter;
    uint64_t due;
    DWORD period;
    bool deleted = false;
    bool running = false;
};

class TimerQueue {
public:
    TimerQueue() : m_thread([this] { Loop(); }) {}
    ~TimerQueue()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_cv.notify_all();
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }

    uintptr_t Add(WAITORTIMERCALLBACK cb, PVOID param, DWORD due, DWORD period)
    {
        std::lock_guard lock(m_mutex);
        const uintptr_t id = ++m_nextId;
        m_timers[id] = std::make_shared<Timer>(Timer{cb, param, CurrentClock().TickMs() + due, period});
        m_cv.notify_all();
        return id;
    }

    bool Change(uintptr_t id, DWORD due, DWORD period)
    {
        std::lock_guard lock(m_mutex);
        auto it = m_timers.find(id);
        if (it == m_timers.end() || it->second->deleted)
            return false;
        it->second->due = CurrentClock().TickMs() + due;
        it->second->period = period;
        m_cv.notify_all();
        return true;
    }

    // 0 deleted, 1 no such timer, 2 deleted with a callback still running.
    int Delete(uintptr_t id, bool wait)
    {
        std::unique_lock lock(m_mutex);
        auto it = m_timers.find(id);
        if (it == m_timers.end())
            return 1;
        std::shared_ptr<Timer> t = it->second;
        t->deleted = true;
        m_timers.erase(it);
        if (!t->running)
            return 0;
        if (std::this_thread::get_id() == m_thread.get_id())
            return 0;  // from its own callback: it ends when the callback returns
        if (!wait)
            return 2;
        m_done.wait(lock, [&] { return !t->running; });
        return 0;
    }

    bool OnTimerThread() const { return std::this_thread::get_id() == m_thread.get_id(); }

    void WaitIdle()
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return !m_busy; });
    }

private:
    void Loop()
    {
        std::unique_lock lock(m_mutex);
        while (!m_quit) {
            bool realClock = true;
            const uint64_t now = ClockNow(&realClock);
            std::shared_ptr<Timer> next;
            for (auto& [id, t] : m_timers)
                if (!next || t->due < next->due)
                    next = t;
            if (next && next->due <= now) {
                next->running = true;
                m_busy = true;
                lock.unlock();
                next->callback(next->parameter, TRUE);
                lock.lock();
                next->running = false;
                m_busy = false;
                if (next->period && !next->deleted) {
                    // Keep the rhythm; a late tick does not make up for the missed ones.
                    next->due += next->period;
                    const uint64_t after = ClockNow();
                    if (next->due <= after)
                        next->due = after + next->period;
                } else if (!next->deleted) {
                    for (auto it = m_timers.begin(); it != m_timers.end(); ++it)
                        if (it->second == next) {
                            m_timers.erase(it);
                            break;
                        }
                }
                m_done.notify_all();
                continue;
            }
            // A virtual clock moves without telling anyone: look again soon.
            const uint64_t waitMs = !realClock ? 1 : next ? next->due - now : 1000;
            m_cv.wait_for(lock, std::chrono::milliseconds(waitMs));
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::condition_variable m_done;
    std::map<uintptr_t, std::shared_ptr<Timer>> m_timers;
    uintptr_t m_nextId = 0;
    bool m_quit = false;
    bool m_busy = false;
    std::thread m_thread;
};

TimerQueue* DefaultQueue()
{
    static TimerQueue* queue = new TimerQueue();  // lives as long as the process
    return queue;
}

TimerQueue* QueueOf(HANDLE h) { return h ? static_cast<TimerQueue*>(h) : DefaultQueue(); }

}  // namespace

}  // namespace quiva

HANDLE CreateTimerQueue() { return new quiva::TimerQueue(); }

BOOL DeleteTimerQueueEx(HANDLE queue, HANDLE completionEvent)
{
    if (!queue) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    auto* q = static_cast<quiva::TimerQueue*>(queue);
    if (completionEvent == INVALID_HANDLE_VALUE && !q->OnTimerThread())
        q->WaitIdle();
    delete q;
    return TRUE;
}

BOOL CreateTimerQueueTimer(PHANDLE timer, HANDLE queue, WAITORTIMERCALLBACK callback, PVOID parameter, DWORD dueTime,
                           DWORD period, ULONG flags)
{
    if (!timer || !callback) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (flags & WT_EXECUTEONLYONCE)
        period = 0;
    *timer = reinterpret_cast<HANDLE>(quiva::QueueOf(queue)->Add(callback, parameter, dueTime, period));
    return TRUE;
}

BOOL ChangeTimerQueueTimer(HANDLE queue, HANDLE timer, ULONG dueTime, ULONG period)
{
    if (!quiva::QueueOf(queue)->Change(reinterpret_cast<uintptr_t>(timer), dueTime, period)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteTimerQueueTimer(HANDLE queue, HANDLE timer, HANDLE completionEvent)
{
    const int r = quiva::QueueOf(queue)->Delete(reinterpret_cast<uintptr_t>(timer), completionEvent == INVALID_HANDLE_VALUE);
    if (r == 1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (r == 2) {
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    return TRUE;
}
