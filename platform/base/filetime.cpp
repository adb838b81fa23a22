#include "platform/base/filetime.h"

#include <ctime>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpoch = 116444736000000000LL;
constexpr int64_t kTicksPerMs = 10000;

int64_t Ticks(const FILETIME& t)
{
    return static_cast<int64_t>((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
}

FILETIME FromTicks(int64_t ticks)
{
    uint64_t v = static_cast<uint64_t>(ticks);
    return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

}  // namespace

BOOL FileTimeToLocalFileTime(const FILETIME* utc, LPFILETIME local)
{
    if (!utc || !local) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t ticks = Ticks(*utc);
    time_t seconds = static_cast<time_t>((ticks - kUnixEpoch) / 10000000);
    struct tm parts {};
    if (!localtime_r(&seconds, &parts)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *local = FromTicks(ticks + static_cast<int64_t>(parts.tm_gmtoff) * 10000000);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* time, LPSYSTEMTIME out)
{
    if (!time || !out || Ticks(*time) < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    int64_t ticks = Ticks(*time);
    SYSTEMTIME t = quiva::EpochMsToSystemTime((ticks - kUnixEpoch) / kTicksPerMs);
    if (t.wYear > 30827) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *out = t;
    return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, LPFILETIME out)
{
    if (!time || !out || time->wYear < 1601 || time->wMonth < 1 || time->wMonth > 12 || time->wDay < 1 ||
        time->wDay > 31 || time->wHour > 23 || time->wMinute > 59 || time->wSecond > 59 || time->wMilliseconds > 999) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *out = FromTicks(quiva::SystemTimeToEpochMs(*time) * kTicksPerMs + kUnixEpoch);
    return TRUE;
}
