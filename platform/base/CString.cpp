#include "platform/base/CString.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "platform/base/codepage.h"
#include "platform/base/wformat.h"

namespace quiva {

bool EqualsNoCase(std::wstring_view a, std::wstring_view b)
{
    return CompareNoCase(a, b) == 0;
}

int CompareNoCase(std::wstring_view a, std::wstring_view b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = FoldAscii(a[i]);
        wchar_t y = FoldAscii(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace quiva

namespace {
bool InSet(wchar_t c, const wchar_t* set)
{
    return set && std::wcschr(set, c) != nullptr && c != 0;
}
}  // namespace

CString::CString(const char* s) : m_s(s ? quiva::MultiByteToWide(s, CP_ACP) : std::wstring()) {}

CString& CString::operator=(const char* s)
{
    m_s = s ? quiva::MultiByteToWide(s, CP_ACP) : std::wstring();
    return *this;
}

wchar_t* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_s.resize(static_cast<size_t>(minLength));
    return m_s.data();
}

wchar_t* CString::GetBufferSetLength(int length)
{
    m_s.resize(length > 0 ? static_cast<size_t>(length) : 0);
    return m_s.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(std::wcslen(m_s.c_str()));
    if (newLength < GetLength())
        m_s.resize(static_cast<size_t>(newLength));
}

int CString::Compare(const wchar_t* s) const
{
    int r = m_s.compare(s ? s : L"");
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CString::CompareNoCase(const wchar_t* s) const
{
    return quiva::CompareNoCase(m_s, s ? s : L"");
}

CString CString::Mid(int first) const
{
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const
{
    if (first < 0)
        first = 0;
    if (count < 0)
        count = 0;
    if (first >= GetLength())
        return CString();
    return CString(m_s.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

CString CString::Left(int count) const
{
    return Mid(0, count);
}

CString CString::Right(int count) const
{
    if (count <= 0)
        return CString();
    if (count >= GetLength())
        return *this;
    return CString(m_s.substr(m_s.size() - static_cast<size_t>(count)));
}

CString CString::SpanIncluding(const wchar_t* charSet) const
{
    size_t i = 0;
    while (i < m_s.size() && InSet(m_s[i], charSet))
        ++i;
    return CString(m_s.substr(0, i));
}

CString CString::SpanExcluding(const wchar_t* charSet) const
{
    size_t i = 0;
    while (i < m_s.size() && !InSet(m_s[i], charSet))
        ++i;
    return CString(m_s.substr(0, i));
}

int CString::Find(wchar_t ch, int start) const
{
    if (start < 0 || start >= GetLength())
        return -1;
    size_t p = m_s.find(ch, static_cast<size_t>(start));
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::Find(const wchar_t* sub, int start) const
{
    if (!sub || start < 0 || start > GetLength())
        return -1;
    size_t p = m_s.find(sub, static_cast<size_t>(start));
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::ReverseFind(wchar_t ch) const
{
    size_t p = m_s.rfind(ch);
    return p == std::wstring::npos ? -1 : static_cast<int>(p);
}

int CString::FindOneOf(const wchar_t* charSet) const
{
    for (size_t i = 0; i < m_s.size(); ++i)
        if (InSet(m_s[i], charSet))
            return static_cast<int>(i);
    return -1;
}

int CString::Replace(wchar_t oldCh, wchar_t newCh)
{
    int n = 0;
    for (auto& c : m_s) {
        if (c == oldCh) {
            c = newCh;
            ++n;
        }
    }
    return n;
}

int CString::Replace(const wchar_t* oldText, const wchar_t* newText)
{
    if (!oldText || !*oldText)
        return 0;
    std::wstring from(oldText);
    std::wstring to(newText ? newText : L"");
    int n = 0;
    size_t pos = 0;
    std::wstring out;
    for (;;) {
        size_t p = m_s.find(from, pos);
        if (p == std::wstring::npos)
            break;
        out.append(m_s, pos, p - pos);
        out += to;
        pos = p + from.size();
        ++n;
    }
    if (n) {
        out.append(m_s, pos, std::wstring::npos);
        m_s.swap(out);
    }
    return n;
}

int CString::Remove(wchar_t ch)
{
    size_t before = m_s.size();
    m_s.erase(std::remove(m_s.begin(), m_s.end(), ch), m_s.end());
    return static_cast<int>(before - m_s.size());
}

int CString::Insert(int index, wchar_t ch)
{
    index = std::clamp(index, 0, GetLength());
    m_s.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, const wchar_t* s)
{
    index = std::clamp(index, 0, GetLength());
    if (s)
        m_s.insert(static_cast<size_t>(index), s);
    return GetLength();
}

int CString::Delete(int index, int count)
{
    if (index < 0)
        index = 0;
    if (count > 0 && index < GetLength())
        m_s.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    return GetLength();
}

namespace {
const wchar_t kWhite[] = L" \t\r\n\v\f";
}

CString& CString::Trim() { return TrimRight().TrimLeft(); }
CString& CString::Trim(wchar_t ch) { return TrimRight(ch).TrimLeft(ch); }
CString& CString::Trim(const wchar_t* chars) { return TrimRight(chars).TrimLeft(chars); }
CString& CString::TrimLeft() { return TrimLeft(kWhite); }
CString& CString::TrimRight() { return TrimRight(kWhite); }

CString& CString::TrimLeft(wchar_t ch)
{
    wchar_t set[2] = {ch, 0};
    return TrimLeft(set);
}

CString& CString::TrimRight(wchar_t ch)
{
    wchar_t set[2] = {ch, 0};
    return TrimRight(set);
}

CString& CString::TrimLeft(const wchar_t* chars)
{
    size_t i = 0;
    while (i < m_s.size() && InSet(m_s[i], chars))
        ++i;
    m_s.erase(0, i);
    return *this;
}

CString& CString::TrimRight(const wchar_t* chars)
{
    size_t n = m_s.size();
    while (n > 0 && InSet(m_s[n - 1], chars))
        --n;
    m_s.resize(n);
    return *this;
}

CString& CString::MakeUpper()
{
    for (auto& c : m_s)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - 32);
    return *this;
}

CString& CString::MakeLower()
{
    for (auto& c : m_s)
        c = quiva::FoldAscii(c);
    return *this;
}

CString& CString::MakeReverse()
{
    std::reverse(m_s.begin(), m_s.end());
    return *this;
}

void CString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    m_s = quiva::FormatWideV(format, args);
    va_end(args);
}

void CString::FormatV(const wchar_t* format, va_list args)
{
    m_s = quiva::FormatWideV(format, args);
}

void CString::AppendFormat(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    m_s += quiva::FormatWideV(format, args);
    va_end(args);
}

CString CString::Tokenize(const wchar_t* tokens, int& start) const
{
    if (start < 0 || start >= GetLength()) {
        start = -1;
        return CString();
    }
    size_t i = static_cast<size_t>(start);
    while (i < m_s.size() && InSet(m_s[i], tokens))
        ++i;
    if (i >= m_s.size()) {
        start = -1;
        return CString();
    }
    size_t j = i;
    while (j < m_s.size() && !InSet(m_s[j], tokens))
        ++j;
    start = static_cast<int>(j < m_s.size() ? j + 1 : j);
    return CString(m_s.substr(i, j - i));
}

std::string CString::ToMultiByte(UINT codePage) const
{
    return quiva::WideToMultiByte(m_s, codePage);
}

std::string CString::ToUtf8() const
{
    return quiva::WideToUtf8(m_s);
}

CString operator+(const CString& a, const CString& b) { return CString(a.str() + b.str()); }
CString operator+(const CString& a, const wchar_t* b) { return CString(a.str() + (b ? b : L"")); }
CString operator+(const wchar_t* a, const CString& b) { return CString((a ? std::wstring(a) : std::wstring()) + b.str()); }
CString operator+(const CString& a, wchar_t b) { return CString(a.str() + b); }
CString operator+(wchar_t a, const CString& b) { return CString(std::wstring(1, a) + b.str()); }

int _wcsicmp(const wchar_t* a, const wchar_t* b)
{
    return quiva::CompareNoCase(a ? a : L"", b ? b : L"");
}

int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n)
{
    std::wstring_view x(a ? a : L"");
    std::wstring_view y(b ? b : L"");
    return quiva::CompareNoCase(x.substr(0, std::min(n, x.size())), y.substr(0, std::min(n, y.size())));
}

int _stricmp(const char* a, const char* b)
{
    const unsigned char* x = reinterpret_cast<const unsigned char*>(a ? a : "");
    const unsigned char* y = reinterpret_cast<const unsigned char*>(b ? b : "");
    for (;; ++x, ++y) {
        int cx = (*x >= 'A' && *x <= 'Z') ? *x + 32 : *x;
        int cy = (*y >= 'A' && *y <= 'Z') ? *y + 32 : *y;
        if (cx != cy || !cx)
            return cx < cy ? -1 : (cx > cy ? 1 : 0);
    }
}

int _wtoi(const wchar_t* s)
{
    if (!s)
        return 0;
    while (*s == L' ' || *s == L'\t' || *s == L'\n' || *s == L'\r')
        ++s;
    bool neg = false;
    if (*s == L'-' || *s == L'+')
        neg = *s++ == L'-';
    int64_t v = 0;
    while (*s >= L'0' && *s <= L'9') {
        v = v * 10 + (*s++ - L'0');
        if (v > 0x80000000LL)
            v = 0x80000000LL;
    }
    if (neg)
        v = -v;
    if (v > 0x7FFFFFFFLL)
        v = 0x7FFFFFFFLL;
    return static_cast<int>(v);
}

double _wtof(const wchar_t* s)
{
    if (!s)
        return 0.0;
    // Only ASCII digits, sign, point and exponent take part; the C locale is assumed.
    std::string narrow;
    while (*s == L' ' || *s == L'\t')
        ++s;
    for (; *s; ++s) {
        wchar_t c = *s;
        if ((c >= L'0' && c <= L'9') || c == L'.' || c == L'-' || c == L'+' || c == L'e' || c == L'E')
            narrow += static_cast<char>(c);
        else
            break;
    }
    char* end = nullptr;
    return std::strtod(narrow.c_str(), &end);
}
