// Display masks: turns a stored value (date, time, number, sex code or text) into display text.
//
// Mask letters (case-insensitive; a leading "^" prints blanks instead of today for an empty value):
//   ?  copy a value character      *  hide a value character      #,0.  number (with "," grouped)
//   y  year     m  month (m1 full word, m2 short word)            d  day
//   h  hour (h1 12-hour, h2 am/pm, h3 오전/오후)    n  minute     s  second
//   w  weekday Korean (w1 English short, w2 Korean one letter, w3 English)
//   x  sex word (x1 "남", x2 "M", x3 "남자", x4 "Male")              a  nothing
// Anything else is literal text. A value that does not fit the mask comes back unchanged.
#pragma once

#include <vector>

#include "platform/base/CString.h"

// One mask token.
struct _KXDataFormatTokenInfo {
    int type = 0;
    int count = 0;
    CString pattern;  // number tokens: "#", "0" and "." characters without commas
    CString text;     // literal and "*" tokens
};

// The value read once: date and time parts (-1 = absent) and the number.
struct _KXDataFormatValue {
    int year, month, day, hour, minute, second;
    double number;
    bool negative;
    CString raw;
    CString numberText;
};

void InitFormatRecord(_KXDataFormatValue& value);

class CKXDataFormatter {
public:
    CKXDataFormatter() = default;
    virtual ~CKXDataFormatter() = default;

    CString Format(const CString& value, const CString& mask);

    enum TokenType {
        kCopy = 1,
        kHide = 2,
        kNumber = 3,
        kGroupedNumber = 4,
        kYear = 5,
        kMonth = 6,
        kMonthWord = 7,
        kMonthShortWord = 8,
        kDay = 9,
        kHour = 10,
        kHour12 = 11,
        kAmPmKorean = 12,
        kAmPm = 13,
        kMinute = 14,
        kSecond = 15,
        kWeekdayKorean = 16,
        kWeekdayEnglish = 17,
        kWeekdayKoreanLetter = 18,
        kWeekdayEnglishShort = 19,
        kSex = 20,
        kSexWord = 21,
        kSexLetter = 22,
        kSexEnglish = 23,
        kNothing = 24,
        kLiteral = 100,
    };

private:
    static std::vector<_KXDataFormatTokenInfo> Tokenize(const CString& mask, bool& blank);
    static void ParseValue(const CString& text, _KXDataFormatValue& value);
};
