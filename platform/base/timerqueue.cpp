#include "platform/base/timerqueue.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <pthread.h>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"
#include "platform/base/servicethreads.h"

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
    // The thread starts with the first timer and ends when the queue goes or, while it has no
    // timer, when the layer's service threads are stopped.
    TimerQueue() = default;
    ~TimerQueue()
    {
        std::unique_lock lock(m_mutex);
        ++m_generation;
        std::thread thread = std::move(m_thread);
        lock.unlock();
        m_cv.notify_all();
        if (!thread.joinable())
            return;
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }

    uintptr_t Add(WAITORTIMERCALLBACK cb, PVOID param, DWORD due, DWORD period)
    {
        std::lock_guard lock(m_mutex);
        const uintptr_t id = ++m_nextId;
        m_timers[id] = std::make_shared<Timer>(Timer{cb, param, CurrentClock().TickMs() + due, period});
        if (!m_thread.joinable()) {
            // A process out of threads gets no timer, told as such, rather than an exception.
            try {
                m_thread = std::thread([this, generation = m_generation] { Loop(generation); });
            } catch (const std::system_error&) {
                m_timers.erase(id);
                return 0;
            }
        }
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

    bool OnTimerThread()
    {
        std::lock_guard lock(m_mutex);
        return std::this_thread::get_id() == m_thread.get_id();
    }

    // Ends the thread when no timer is left; the next timer starts another.
    void StopIfIdle()
    {
        std::unique_lock lock(m_mutex);
        if (!m_thread.joinable() || !m_timers.empty() || m_busy || std::this_thread::get_id() == m_thread.get_id())
            return;
        ++m_generation;
        std::thread thread = std::move(m_thread);
        lock.unlock();
        m_cv.notify_all();
        thread.join();
    }

    void WaitIdle()
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return !m_busy; });
    }

private:
    // Runs until the queue's generation moves on (a thread started later has the new one).
    void Loop(uint64_t generation)
    {
        pthread_setname_np(pthread_self(), "quiva-timers");
        std::unique_lock lock(m_mutex);
        while (generation == m_generation) {
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
    uint64_t m_generation = 0;
    bool m_busy = false;
    std::thread m_thread;
};

TimerQueue* DefaultQueue()
{
    static TimerQueue* queue = [] {
        RegisterServiceThread([] { DefaultQueue()->StopIfIdle(); });
        return new TimerQueue();  // lives as long as the process
    }();
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
    const uintptr_t id = quiva::QueueOf(queue)->Add(callback, parameter, dueTime, period);
    *timer = reinterpret_cast<HANDLE>(id);
    if (!id) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
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
