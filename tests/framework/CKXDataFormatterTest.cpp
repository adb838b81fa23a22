#include "framework/CKXDataFormatter.h"

#include <gtest/gtest.h>

#include "platform/base/clock.h"

namespace {
struct Case {
    const wchar_t* mask;
    const wchar_t* value;
    const wchar_t* expected;
};

void ExpectAll(std::initializer_list<Case> cases)
{
    CKXDataFormatter formatter;
    for (const Case& c : cases)
        EXPECT_EQ(formatter.Format(c.value, c.mask).ToUtf8(), CString(c.expected).ToUtf8())
            << "mask '" << CString(c.mask).ToUtf8() << "' value '" << CString(c.value).ToUtf8() << "'";
}
}  // namespace

TEST(DataFormatter, Dates)
{
    ExpectAll({
        {L"yyyy-mm-dd", L"20240105", L"2024-01-05"},
        {L"yyyy-mm-dd", L"2024-01-05", L"2024-01-05"},
        {L"yy/mm/dd", L"20240105", L"24/01/05"},
        {L"m1 d, yyyy", L"20240305", L"March 5, 2024"},
        {L"m2", L"20240305", L"MAR"},
        {L"mm1", L"20240305", L"031"},
        {L"YYYY.MM.DD", L"20241231", L"2024.12.31"},
        {L"Date yyyy", L"20240105", L"5te 2024"},
        {L"yyyy-mm-dd", L"00000000", L"0000-00-00"},
        // Values that do not fit the mask come back as they are.
        {L"yyyy-mm-dd", L"2024-13-01", L"2024-13-01"},
        {L"yyyy-mm-dd", L"abc", L"abc"},
        {L"yyyy-mm-dd", L"2024-1-5", L"2024-1-5"},
        {L"m1", L"20240005", L"20240005"},
        {L"m2", L"00000000", L"00000000"},
        {L"", L"20240105", L"20240105"},
        {L"^", L"20240105", L"20240105"},
    });
}

TEST(DataFormatter, Times)
{
    ExpectAll({
        {L"hh:nn h3", L"202401051430", L"14:30 오후"},
        {L"h1:nn h2", L"202401051430", L"2:30 pm"},
        {L"hh:nn:ss", L"20240105143059", L"14:30:59"},
        // Noon is afternoon; midnight stays hour 0 on the 12-hour clock.
        {L"h1 h2 h3", L"202401051200", L"12 pm 오후"},
        {L"h1 h2 h3", L"202401051159", L"11 am 오전"},
        {L"h1 h2 h3", L"202401050005", L"0 am 오전"},
        {L"hh:nn", L"20240105", L"20240105"},
        {L"^yyyy-mm-dd hh:nn", L"2024-01-05   :  ", L"2024-01-05   :  "},
        {L"yyyy-mm-dd hh:nn", L"2024-01-05   :  ", L"2024-01-05   :  "},
    });
}

TEST(DataFormatter, Weekdays)
{
    ExpectAll({
        {L"w", L"20240105", L"금요일"},
        {L"w3", L"20240105", L"Friday"},
        {L"w1", L"20240105", L"FRI"},
        {L"w2", L"20240105", L"금"},
        {L"w3", L"20240106", L"Saturday"},
        {L"w3", L"20000229", L"Tuesday"},
        {L"w3", L"19700101", L"Thursday"},
        // Dates that are not on the calendar have no weekday.
        {L"w3", L"20230229", L"20230229"},
        {L"w", L"20240431", L"20240431"},
        {L"w", L"20240100", L"20240100"},
        {L"w", L"00500101", L"00500101"},
        {L"w", L"2024", L"2024"},
    });
}

TEST(DataFormatter, Numbers)
{
    ExpectAll({
        {L"#,###", L"1234567", L"1,234,567"},
        {L"###.##", L"3.14159", L"  3.14"},
        {L"####", L"42", L"  42"},
        {L"###", L"", L"  0"},
        {L"#,###", L"1,234.75", L"1,235"},
        {L"#,###.##", L"1234.5", L"1,234.50"},
        // The sign stays, and commas fall between digits only.
        {L"####", L"-5", L"  -5"},
        {L"#,###", L"-1234567", L"-1,234,567"},
        {L"#,###,###", L"42", L"       42"},
        {L"#,###,###", L"12345", L"   12,345"},
        {L"####", L"2024-01-05", L"20240105"},
        {L"####", L"-0", L"   0"},
        // The digits are the value's own, however many there are; rounding carries through.
        {L"#", L"12345678901234567890", L"12345678901234567890"},
        {L"#,##0", L"-12345678901234567890", L"-12,345,678,901,234,567,890"},
        {L"##.##", L"99999999999999999.995", L"100000000000000000.00"},
        {L"#.#", L"0.05", L"0.1"},
    });
    // Long values are neither cut nor rounded.
    CKXDataFormatter formatter;
    CString digits(L'9', 300);
    EXPECT_EQ(formatter.Format(digits, L"#"), digits);
    EXPECT_EQ(formatter.Format(digits, L"#,#").GetLength(), 300 + 99);
}

TEST(DataFormatter, CopyHideAndSexWords)
{
    ExpectAll({
        {L"??????" L"-*******", L"123456-1234567", L"123456-*******"},
        {L"^??", L"", L" "},
        {L"???", L"1", L"1"},
        {L"x3", L"M", L"남자"},
        {L"x3", L"여", L"여자"},
        {L"x3", L"2", L"여자"},
        {L"x3", L"", L"불명"},
        {L"x3", L"X", L"X"},
        {L"x4", L"", L"Unknown"},
        {L"x", L"m", L"남"},
        {L"x1", L"w", L"여"},
        {L"x2", L"1", L"M"},
        {L"x4", L"F", L"Female"},
        {L"^x", L"", L""},
        {L"??? x3", L"abcF", L"abc 여자"},
        {L"??? x3", L"abc", L"abc"},
        {L"??? x3", L"abc F", L"abc 여자"},
    });
}

TEST(DataFormatter, EmptyValueTakesTodayOrBlanks)
{
    quiva::ScopedVirtualClock clock;  // 2024-01-05 14:30:00, a Friday
    ExpectAll({
        {L"yyyy-mm-dd", L"", L"2024-01-05"},
        {L"hh:nn h2 w3 m1", L"", L"14:30 pm Friday January"},
        {L"^yyyy-mm-dd", L"", L"    -  -  "},
        {L"^yy/m/d hh:nn", L"", L"  / /    :  "},
        {L"^m1w3h2", L"", L""},
    });
}
