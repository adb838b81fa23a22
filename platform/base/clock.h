// Time: tick count, local time and sleeping go through a clock that tests can replace,
// so waits of seconds run in virtual time.
#pragma once

#include <cstdint>
#include <mutex>

#include "platform/base/wintypes.h"

namespace quiva {

class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, monotonic.
    virtual uint64_t TickMs() = 0;
    // Wall-clock time as local time and as UTC.
    virtual SYSTEMTIME LocalTime() = 0;
    virtual SYSTEMTIME UtcTime() = 0;
    virtual void SleepMs(DWORD ms) = 0;
    // Whether this clock runs in real time (waits on sockets and conditions may then block
    // for real; a virtual clock asks them to poll and advance it instead).
    virtual bool IsReal() const = 0;
};

// The clock in force (the real one unless a test installed another).
Clock& CurrentClock();
// Installs a clock for the whole process; null restores the real one. Returns the previous one,
// which no ClockNow call uses any more once this returns.
Clock* SetClock(Clock* clock);
// The tick of the clock in force, safe against the clock being replaced meanwhile; `real` tells
// whether that clock runs in real time.
uint64_t ClockNow(bool* real = nullptr);

// A clock that moves only when told to, or when someone sleeps on it.
class VirtualClock : public Clock {
public:
    // Starts at tick `startTick` and the local time 2024-01-05 14:30:00 (a Friday).
    explicit VirtualClock(uint64_t startTick = 1000000);
    uint64_t TickMs() override;
    SYSTEMTIME LocalTime() override;
    SYSTEMTIME UtcTime() override;
    void SleepMs(DWORD ms) override { Advance(ms); }
    bool IsReal() const override { return false; }

    void Advance(uint64_t ms);
    void SetLocalTime(const SYSTEMTIME& t);

private:
    std::mutex m_mutex;
    uint64_t m_tick;
    int64_t m_epochMs;  // local wall time in ms since 1970, without zone
};

// Installs a virtual clock for one scope.
class ScopedVirtualClock {
public:
    ScopedVirtualClock() : m_previous(SetClock(&m_clock)) {}
    ~ScopedVirtualClock() { SetClock(m_previous); }
    VirtualClock& clock() { return m_clock; }
    VirtualClock* operator->() { return &m_clock; }

private:
    VirtualClock m_clock;
    Clock* m_previous;
};

// Converts between SYSTEMTIME and milliseconds since 1970 (no time zone applied);
// also fills in wDayOfWeek.
int64_t SystemTimeToEpochMs(const SYSTEMTIME& t);
SYSTEMTIME EpochMsToSystemTime(int64_t ms);
// Whether year, month and day name a day of the Gregorian calendar (years 1 to 9999).
bool IsCalendarDate(int year, int month, int day);

}  // namespace quiva

DWORD GetTickCount();
ULONGLONG GetTickCount64();
void Sleep(DWORD ms);
void GetLocalTime(LPSYSTEMTIME t);
void GetSystemTime(LPSYSTEMTIME t);
