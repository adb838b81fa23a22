#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "platform/base/filetime.h"
#include "tests/support/TempDir.h"

TEST(FileTime, CalendarFormAndBack)
{
    SYSTEMTIME t{};
    t.wYear = 2024, t.wMonth = 1, t.wDay = 5, t.wHour = 9, t.wMinute = 30, t.wSecond = 15, t.wMilliseconds = 123;
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&t, &ft));
    // 2024-01-05 09:30:15.123 UTC in 100 ns intervals since 1601.
    const uint64_t expected = (1704447015ULL + 11644473600ULL) * 10000000ULL + 1230000ULL;
    EXPECT_EQ((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime, expected);
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 1);
    EXPECT_EQ(back.wDay, 5);
    EXPECT_EQ(back.wDayOfWeek, 5);  // a Friday
    EXPECT_EQ(back.wHour, 9);
    EXPECT_EQ(back.wMilliseconds, 123);
    SYSTEMTIME bad = t;
    bad.wMonth = 13;
    EXPECT_FALSE(SystemTimeToFileTime(&bad, &ft));
    EXPECT_FALSE(FileTimeToSystemTime(nullptr, &back));
}

TEST(FileTime, LocalTimeFollowsTheZoneOfThatMoment)
{
    SYSTEMTIME out{};
    {
        quiva::test::ScopedEnv zone("TZ", "Asia/Seoul");
        tzset();
        SYSTEMTIME t{};
        t.wYear = 2024, t.wMonth = 1, t.wDay = 5, t.wHour = 20, t.wMinute = 0;
        FILETIME utc{}, local{};
        EXPECT_TRUE(SystemTimeToFileTime(&t, &utc));
        EXPECT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_TRUE(FileTimeToSystemTime(&local, &out));
    }
    tzset();
    // Nine hours ahead: the next day's morning.
    EXPECT_EQ(out.wDay, 6);
    EXPECT_EQ(out.wHour, 5);
}
