#include "platform/base/clock.h"

#include <shared_mutex>

#include <time.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace quiva {
namespace {

SYSTEMTIME FromTm(const struct tm& tm, long ns)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(tm.tm_year + 1900);
    t.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    t.wDayOfWeek = static_cast<WORD>(tm.tm_wday);
    t.wDay = static_cast<WORD>(tm.tm_mday);
    t.wHour = static_cast<WORD>(tm.tm_hour);
    t.wMinute = static_cast<WORD>(tm.tm_min);
    t.wSecond = static_cast<WORD>(tm.tm_sec);
    t.wMilliseconds = static_cast<WORD>(ns / 1000000);
    return t;
}

class RealClock : public Clock {
public:
    uint64_t TickMs() override
    {
        struct timespec ts;
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
    }
    SYSTEMTIME LocalTime() override
    {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        struct tm tm;
        localtime_r(&ts.tv_sec, &tm);
        return FromTm(tm, ts.tv_nsec);
    }
    SYSTEMTIME UtcTime() override
    {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        struct tm tm;
        gmtime_r(&ts.tv_sec, &tm);
        return FromTm(tm, ts.tv_nsec);
    }
    void SleepMs(DWORD ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    bool IsReal() const override { return true; }
};

// Never destroyed: threads of the layer (the timer queue's) may still read the clock while the
// process runs its exit handlers.
RealClock& g_realClock = *new RealClock;
std::atomic<Clock*> g_clock{&g_realClock};

// Days from 1970-01-01 for a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

Clock& CurrentClock() { return *g_clock.load(); }

// Readers that may run while a test swaps clocks (the timer-queue thread) take this shared;
// SetClock takes it exclusively after the swap, so the old clock is no longer in use when the
// caller destroys it.
std::shared_mutex g_clockUse;

Clock* SetClock(Clock* clock)
{
    Clock* prev = g_clock.exchange(clock ? clock : &g_realClock);
    std::unique_lock<std::shared_mutex> wait(g_clockUse);
    return prev == &g_realClock ? nullptr : prev;
}

uint64_t ClockNow(bool* real)
{
    std::shared_lock<std::shared_mutex> use(g_clockUse);
    Clock& clock = CurrentClock();
    if (real)
        *real = clock.IsReal();
    return clock.TickMs();
}

int64_t SystemTimeToEpochMs(const SYSTEMTIME& t)
{
    int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay);
    return ((days * 24 + t.wHour) * 60 + t.wMinute) * 60000 + t.wSecond * 1000 + t.wMilliseconds;
}

SYSTEMTIME EpochMsToSystemTime(int64_t ms)
{
    int64_t days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    int64_t rest = ms - days * 86400000;
    // Civil from days.
    int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(y + (m <= 2));
    t.wMonth = static_cast<WORD>(m);
    t.wDay = static_cast<WORD>(d);
    t.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
    t.wHour = static_cast<WORD>(rest / 3600000);
    t.wMinute = static_cast<WORD>(rest / 60000 % 60);
    t.wSecond = static_cast<WORD>(rest / 1000 % 60);
    t.wMilliseconds = static_cast<WORD>(rest % 1000);
    return t;
}

bool IsCalendarDate(int year, int month, int day)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return false;
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    // A day past the month's end comes back as a day of the next month.
    return EpochMsToSystemTime(SystemTimeToEpochMs(t)).wDay == t.wDay;
}

VirtualClock::VirtualClock(uint64_t startTick) : m_tick(startTick)
{
    SYSTEMTIME t{};
    t.wYear = 2024;
    t.wMonth = 1;
    t.wDay = 5;
    t.wHour = 14;
    t.wMinute = 30;
    m_epochMs = SystemTimeToEpochMs(t);
}

uint64_t VirtualClock::TickMs()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tick;
}

SYSTEMTIME VirtualClock::LocalTime()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return EpochMsToSystemTime(m_epochMs);
}

SYSTEMTIME VirtualClock::UtcTime()
{
    return LocalTime();
}

void VirtualClock::Advance(uint64_t ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tick += ms;
    m_epochMs += static_cast<int64_t>(ms);
}

void VirtualClock::SetLocalTime(const SYSTEMTIME& t)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_epochMs = SystemTimeToEpochMs(t);
}

}  // namespace quiva

DWORD GetTickCount() { return static_cast<DWORD>(quiva::CurrentClock().TickMs()); }
ULONGLONG GetTickCount64() { return quiva::CurrentClock().TickMs(); }
void Sleep(DWORD ms) { quiva::CurrentClock().SleepMs(ms); }

void GetLocalTime(LPSYSTEMTIME t)
{
    if (t)
        *t = quiva::CurrentClock().LocalTime();
}

void GetSystemTime(LPSYSTEMTIME t)
{
    if (t)
        *t = quiva::CurrentClock().UtcTime();
}
