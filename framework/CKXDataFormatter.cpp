#include "framework/CKXDataFormatter.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/base/clock.h"

namespace {

const wchar_t* const kMonthWords[] = {L"January", L"February", L"March",     L"April",   L"May",      L"June",
                                      L"July",    L"August",   L"September", L"October", L"November", L"December"};
const wchar_t* const kMonthShortWords[] = {L"JAN", L"FEB", L"MAR", L"APR", L"MAY", L"JUN",
                                           L"JUL", L"AUG", L"SEP", L"OCT", L"NOV", L"DEC"};
const wchar_t* const kWeekdayKoreanWords[] = {L"일요일", L"월요일", L"화요일", L"수요일", L"목요일", L"금요일", L"토요일"};
const wchar_t* const kWeekdayKoreanLetterWords[] = {L"일", L"월", L"화", L"수", L"목", L"금", L"토"};
const wchar_t* const kWeekdayEnglishWords[] = {L"Sunday", L"Monday", L"Tuesday", L"Wednesday", L"Thursday", L"Friday", L"Saturday"};
const wchar_t* const kWeekdayEnglishShortWords[] = {L"SUN", L"MON", L"TUE", L"WED", L"THU", L"FRI", L"SAT"};

const wchar_t kTokenLetters[] = L"?*#ymdhnswxa";
const wchar_t kMale[] = L"남Mm1";
const wchar_t kFemale[] = L"여FfWw2";

bool IsTokenLetter(wchar_t c) { return c && std::wcschr(kTokenLetters, c); }

std::wstring Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::wstring Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0)
        std::vsnprintf(out.data(), out.size() + 1, format, again);
    va_end(again);
    return std::wstring(out.begin(), out.end());  // digits, signs and points only
}

int DaysInMonth(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// 0 = Sunday .. 6 = Saturday, or -1 when the date is not on the calendar.
int Weekday(int year, int month, int day)
{
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return -1;
    // Days since 1970-01-01 in the proleptic Gregorian calendar.
    int y = month <= 2 ? year - 1 : year;
    int era = (y >= 0 ? y : y - 399) / 400;
    int yoe = y - era * 400;
    int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    long days = static_cast<long>(era) * 146097 + doe - 719468;
    return static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
}

// The value's digits rounded half away from zero to `decimals` places, worked on the text so
// that no digit is lost or made up: the whole part without leading zeros ("0" for none), then
// a point and the decimals when there are any.
std::wstring RoundedDigits(const std::wstring& numberText, int decimals)
{
    const size_t point = numberText.find(L'.');
    std::wstring whole = numberText.substr(0, point);
    std::wstring fraction = point == std::wstring::npos ? std::wstring() : numberText.substr(point + 1);
    whole.erase(0, std::min(whole.find_first_not_of(L'0'), whole.size()));
    const size_t places = static_cast<size_t>(decimals);
    const bool up = fraction.size() > places && fraction[places] >= L'5';
    fraction.resize(places, L'0');
    std::wstring digits = whole + fraction;
    if (up) {
        size_t i = digits.size();
        for (; i > 0 && digits[i - 1] == L'9'; --i)
            digits[i - 1] = L'0';
        if (i > 0)
            ++digits[i - 1];
        else
            digits.insert(0, 1, L'1');
    }
    std::wstring out = digits.size() > places ? digits.substr(0, digits.size() - places) : L"0";
    if (decimals > 0)
        out += L'.' + digits.substr(digits.size() - places);
    return out;
}

// The number as the mask asks: width W = pattern length, P decimals after the pattern's ".";
// grouped numbers get their commas before they are padded to the width of the grouped field.
std::wstring FormatNumber(const _KXDataFormatTokenInfo& token, const _KXDataFormatValue& value)
{
    const std::wstring& pattern = token.pattern.str();
    int width = static_cast<int>(pattern.size());
    size_t point = pattern.find(L'.');
    int decimals = point == std::wstring::npos ? 0 : static_cast<int>(pattern.size() - point - 1);
    // A negative value keeps its sign unless it is zero.
    const bool negative = value.negative && value.numberText.str().find_first_of(L"123456789") != std::wstring::npos;
    std::wstring digits = RoundedDigits(value.numberText.str(), decimals);
    size_t field = static_cast<size_t>(width);
    if (token.type == CKXDataFormatter::kGroupedNumber) {
        size_t intEnd = digits.find(L'.');
        if (intEnd == std::wstring::npos)
            intEnd = digits.size();
        for (size_t i = intEnd; i > 3; i -= 3)
            digits.insert(i - 3, 1, L',');
        int intWidth = width - (point == std::wstring::npos ? 0 : decimals + 1);
        field += intWidth > 0 ? static_cast<size_t>((intWidth - 1) / 3) : 0;
    }
    if (negative)
        digits.insert(0, 1, L'-');
    if (digits.size() < field)
        digits.insert(0, field - digits.size(), L' ');
    return digits;
}

}  // namespace

void InitFormatRecord(_KXDataFormatValue& value)
{
    value.year = value.month = value.day = value.hour = value.minute = value.second = -1;
    value.number = 0.0;
    value.negative = false;
    value.raw.Empty();
    value.numberText.Empty();
}

std::vector<_KXDataFormatTokenInfo> CKXDataFormatter::Tokenize(const CString& maskIn, bool& blank)
{
    CString mask = maskIn;
    mask.MakeLower();
    std::vector<_KXDataFormatTokenInfo> tokens;
    int i = 0;
    int length = mask.GetLength();
    blank = length > 0 && mask[0] == L'^';
    if (blank)
        i = 1;
    while (i < length) {
        _KXDataFormatTokenInfo token;
        wchar_t c = mask[i];
        int start = i;
        if (!IsTokenLetter(c)) {
            while (i < length && !IsTokenLetter(mask[i]))
                ++i;
            token.type = kLiteral;
            token.text = mask.Mid(start, i - start);
            token.count = i - start;
            tokens.push_back(token);
            continue;
        }
        if (c == L'#') {
            bool grouped = false;
            while (i < length && (mask[i] == L'#' || mask[i] == L'0' || mask[i] == L'.' || mask[i] == L',')) {
                if (mask[i] == L',')
                    grouped = true;
                else
                    token.pattern += mask[i];
                ++i;
            }
            token.type = grouped ? kGroupedNumber : kNumber;
            token.count = token.pattern.GetLength();
            tokens.push_back(token);
            continue;
        }
        while (i < length && mask[i] == c)
            ++i;
        token.count = i - start;
        wchar_t variant = i < length ? mask[i] : L'\0';
        auto takeVariant = [&](int type) {
            token.type = type;
            ++i;
        };
        switch (c) {
        case L'?': token.type = kCopy; token.text = mask.Mid(start, token.count); break;
        case L'*': token.type = kHide; token.text = mask.Mid(start, token.count); break;
        case L'y': token.type = kYear; break;
        case L'd': token.type = kDay; break;
        case L'n': token.type = kMinute; break;
        case L's': token.type = kSecond; break;
        case L'a': token.type = kNothing; break;
        case L'm':
            if (token.count == 1 && variant == L'1')
                takeVariant(kMonthWord);
            else if (token.count == 1 && variant == L'2')
                takeVariant(kMonthShortWord);
            else
                token.type = kMonth;
            break;
        case L'h':
            if (variant == L'1')
                takeVariant(kHour12);
            else if (variant == L'2')
                takeVariant(kAmPm);
            else if (variant == L'3')
                takeVariant(kAmPmKorean);
            else
                token.type = kHour;
            break;
        case L'w':
            if (variant == L'1')
                takeVariant(kWeekdayEnglishShort);
            else if (variant == L'2')
                takeVariant(kWeekdayKoreanLetter);
            else if (variant == L'3')
                takeVariant(kWeekdayEnglish);
            else
                token.type = kWeekdayKorean;
            break;
        case L'x':
            if (variant == L'1')
                takeVariant(kSex);
            else if (variant == L'2')
                takeVariant(kSexLetter);
            else if (variant == L'3')
                takeVariant(kSexWord);
            else if (variant == L'4')
                takeVariant(kSexEnglish);
            else
                token.type = kSex;
            break;
        }
        tokens.push_back(token);
    }
    return tokens;
}

void CKXDataFormatter::ParseValue(const CString& text, _KXDataFormatValue& value)
{
    value.raw = text;
    int* parts[] = {&value.year, &value.month, &value.day, &value.hour, &value.minute, &value.second};
    size_t part = 0;
    bool stopped = false;
    bool point = false;
    int pending = 0;
    int pendingDigits = 0;
    for (int i = 0; i < text.GetLength(); ++i) {
        wchar_t c = text[i];
        if (c == L'-' || c == L'/' || c == L':' || c == L' ')
            continue;
        if (c == L'.') {
            if (!point)
                value.numberText += c;
            point = true;
            continue;
        }
        if (c < L'0' || c > L'9')
            continue;
        value.numberText += c;
        if (stopped || part >= std::size(parts))
            continue;
        pending = pending * 10 + (c - L'0');
        if (++pendingDigits < (part == 0 ? 4 : 2))
            continue;
        *parts[part] = pending;
        if (part == 1 && pending > 12) {
            value.month = -1;
            stopped = true;
        }
        ++part;
        pending = pendingDigits = 0;
    }
    if (!value.numberText.IsEmpty())
        value.number = std::wcstod(value.numberText, nullptr);
    // Only a leading "-" is a sign; dates use "-" as a separator.
    value.negative = text.GetAt(0) == L'-';
}

CString CKXDataFormatter::Format(const CString& valueText, const CString& mask)
{
    if (mask.IsEmpty())
        return valueText;
    bool blank = false;
    std::vector<_KXDataFormatTokenInfo> tokens = Tokenize(mask, blank);

    _KXDataFormatValue value;
    InitFormatRecord(value);
    ParseValue(valueText, value);

    const bool empty = valueText.IsEmpty();
    SYSTEMTIME now{};
    GetLocalTime(&now);
    std::wstring out;
    int pos = 0;
    const std::wstring& raw = value.raw.str();

    // The part a token needs: from the value, from today for an empty value, or "blank".
    // Returns false when the call must be abandoned.
    auto partOf = [&](int part, int today, int& result, bool& blankOut) {
        blankOut = false;
        if (part >= 0) {
            result = part;
            return true;
        }
        if (!empty)
            return false;
        if (blank)
            blankOut = true;
        else
            result = today;
        return true;
    };
    auto numeric = [&](int number, int count) { return count == 1 ? Printf("%d", number) : Printf("%02d", number); };
    auto spaces = [](int count) { return std::wstring(count == 1 ? 1 : 2, L' '); };

    for (const _KXDataFormatTokenInfo& token : tokens) {
        int n = 0;
        bool isBlank = false;
        switch (token.type) {
        case kLiteral:
            out += token.text.str();
            if (raw.compare(static_cast<size_t>(std::min<int>(pos, static_cast<int>(raw.size()))), token.text.GetLength(), token.text.str()) == 0)
                pos += token.text.GetLength();
            break;
        case kCopy:
            if (empty)
                out += L' ';
            else if (pos < static_cast<int>(raw.size()))
                out += raw.substr(static_cast<size_t>(pos), static_cast<size_t>(token.count));
            pos += token.count;
            break;
        case kHide:
            out.append(static_cast<size_t>(token.count), L'*');
            pos += token.count;
            break;
        case kNumber:
        case kGroupedNumber:
            out += FormatNumber(token, value);
            break;
        case kYear:
            if (!partOf(value.year, now.wYear, n, isBlank))
                return valueText;
            if (isBlank)
                out += std::wstring(token.count == 2 ? 2 : 4, L' ');
            else
                out += token.count == 2 ? Printf("%02d", n % 100) : Printf("%04d", n);
            pos += 4;
            break;
        case kMonth:
        case kDay:
        case kHour:
        case kHour12:
        case kMinute:
        case kSecond: {
            int part = value.month, today = now.wMonth;
            if (token.type == kDay)
                part = value.day, today = now.wDay;
            else if (token.type == kHour || token.type == kHour12)
                part = value.hour, today = now.wHour;
            else if (token.type == kMinute)
                part = value.minute, today = now.wMinute;
            else if (token.type == kSecond)
                part = value.second, today = now.wSecond;
            bool timeToken = token.type != kMonth && token.type != kDay;
            std::wstring two = pos < static_cast<int>(raw.size()) ? raw.substr(static_cast<size_t>(pos), 2) : std::wstring();
            if (blank && timeToken && !two.empty() && two.find_first_not_of(L" \t\r\n") == std::wstring::npos) {
                out += spaces(token.count);
                pos += 2;
                break;
            }
            if (!partOf(part, today, n, isBlank))
                return valueText;
            if (token.type == kHour12 && n > 12)
                n -= 12;
            out += isBlank ? spaces(token.count) : numeric(n, token.count);
            pos += 2;
            break;
        }
        case kMonthWord:
        case kMonthShortWord:
            if (!partOf(value.month, now.wMonth, n, isBlank))
                return valueText;
            if (!isBlank) {
                if (n < 1 || n > 12)
                    return valueText;
                out += (token.type == kMonthWord ? kMonthWords : kMonthShortWords)[n - 1];
            }
            pos += 2;
            break;
        case kAmPm:
        case kAmPmKorean:
            if (!partOf(value.hour, now.wHour, n, isBlank))
                return valueText;
            if (!isBlank)
                out += token.type == kAmPm ? (n >= 12 ? L"pm" : L"am") : (n >= 12 ? L"오후" : L"오전");
            break;
        case kWeekdayKorean:
        case kWeekdayEnglish:
        case kWeekdayKoreanLetter:
        case kWeekdayEnglishShort: {
            int y = 0, m = 0, d = 0;
            bool by = false, bm = false, bd = false;
            if (!partOf(value.year, now.wYear, y, by) || !partOf(value.month, now.wMonth, m, bm) ||
                !partOf(value.day, now.wDay, d, bd))
                return valueText;
            if (by || bm || bd)
                break;
            int weekday = Weekday(y, m, d);
            if (weekday < 0)
                return valueText;
            const wchar_t* const* table = token.type == kWeekdayKorean         ? kWeekdayKoreanWords
                                          : token.type == kWeekdayEnglish      ? kWeekdayEnglishWords
                                          : token.type == kWeekdayKoreanLetter ? kWeekdayKoreanLetterWords
                                                                               : kWeekdayEnglishShortWords;
            out += table[weekday];
            break;
        }
        case kSex:
        case kSexWord:
        case kSexLetter:
        case kSexEnglish: {
            static const wchar_t* const words[4][3] = {{L"남", L"여", L"불"},
                                                       {L"남자", L"여자", L"불명"},
                                                       {L"M", L"F", L"U"},
                                                       {L"Male", L"Female", L"Unknown"}};
            const wchar_t* const* row = words[token.type - kSex];
            wchar_t c = pos < static_cast<int>(raw.size()) ? raw[static_cast<size_t>(pos)] : L'\0';
            if (empty && blank) {
                // prints nothing
            } else if (c && std::wcschr(kMale, c)) {
                out += row[0];
            } else if (c && std::wcschr(kFemale, c)) {
                out += row[1];
            } else if (empty) {
                out += row[2];
            } else {
                return valueText;
            }
            pos += 1;
            break;
        }
        case kNothing:
        default:
            break;
        }
    }
    if (out.empty())
        return valueText;
    return CString(std::move(out));
}
