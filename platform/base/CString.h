// Wide string with the operations the system uses, over std::wstring.
// Narrow text given to it is taken in the ANSI code page. Indexes and lengths count wchar_t.
// Case-insensitive operations fold ASCII letters only (as names and paths need).
#pragma once

#include <cstdarg>
#include <functional>
#include <string>
#include <string_view>

#include "platform/base/wintypes.h"

class CString {
public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    CString(const wchar_t* s) : m_s(s ? s : L"") {}
    CString(const wchar_t* s, int length) : m_s(s && length > 0 ? std::wstring(s, static_cast<size_t>(length)) : std::wstring()) {}
    CString(const char* s);  // ANSI code page
    CString(wchar_t ch, int repeat = 1) : m_s(repeat > 0 ? static_cast<size_t>(repeat) : 0, ch) {}
    CString(const std::wstring& s) : m_s(s) {}
    CString(std::wstring&& s) noexcept : m_s(std::move(s)) {}
    CString(std::wstring_view s) : m_s(s) {}

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(const wchar_t* s)
    {
        m_s = s ? s : L"";
        return *this;
    }
    CString& operator=(const char* s);
    CString& operator=(wchar_t ch)
    {
        m_s.assign(1, ch);
        return *this;
    }
    CString& operator=(const std::wstring& s)
    {
        m_s = s;
        return *this;
    }

    operator const wchar_t*() const { return m_s.c_str(); }
    const wchar_t* GetString() const { return m_s.c_str(); }
    const std::wstring& str() const { return m_s; }
    std::wstring& str() { return m_s; }

    int GetLength() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    wchar_t GetAt(int i) const { return (i >= 0 && i < GetLength()) ? m_s[static_cast<size_t>(i)] : L'\0'; }
    void SetAt(int i, wchar_t ch)
    {
        if (i >= 0 && i < GetLength())
            m_s[static_cast<size_t>(i)] = ch;
    }
    wchar_t operator[](int i) const { return GetAt(i); }

    // Writable buffer of at least minLength characters plus a terminator. ReleaseBuffer(-1)
    // takes the length up to the first null.
    wchar_t* GetBuffer(int minLength = 0);
    wchar_t* GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);
    void Preallocate(int length) { m_s.reserve(length > 0 ? static_cast<size_t>(length) : 0); }

    CString& operator+=(const CString& s)
    {
        m_s += s.m_s;
        return *this;
    }
    CString& operator+=(const wchar_t* s)
    {
        if (s)
            m_s += s;
        return *this;
    }
    CString& operator+=(wchar_t ch)
    {
        m_s += ch;
        return *this;
    }
    CString& operator+=(const char* s) { return *this += CString(s); }
    void Append(const wchar_t* s, int length)
    {
        if (s && length > 0)
            m_s.append(s, static_cast<size_t>(length));
    }
    void AppendChar(wchar_t ch) { m_s += ch; }

    int Compare(const wchar_t* s) const;
    int CompareNoCase(const wchar_t* s) const;
    int Collate(const wchar_t* s) const { return Compare(s); }
    int CollateNoCase(const wchar_t* s) const { return CompareNoCase(s); }

    CString Mid(int first) const;
    CString Mid(int first, int count) const;
    CString Left(int count) const;
    CString Right(int count) const;
    CString SpanIncluding(const wchar_t* charSet) const;
    CString SpanExcluding(const wchar_t* charSet) const;

    int Find(wchar_t ch, int start = 0) const;
    int Find(const wchar_t* sub, int start = 0) const;
    int ReverseFind(wchar_t ch) const;
    int FindOneOf(const wchar_t* charSet) const;

    int Replace(wchar_t oldCh, wchar_t newCh);
    int Replace(const wchar_t* oldText, const wchar_t* newText);
    int Remove(wchar_t ch);
    int Insert(int index, wchar_t ch);
    int Insert(int index, const wchar_t* s);
    int Delete(int index, int count = 1);

    CString& Trim();
    CString& Trim(wchar_t ch);
    CString& Trim(const wchar_t* chars);
    CString& TrimLeft();
    CString& TrimLeft(wchar_t ch);
    CString& TrimLeft(const wchar_t* chars);
    CString& TrimRight();
    CString& TrimRight(wchar_t ch);
    CString& TrimRight(const wchar_t* chars);

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // Windows wide-printf convention: %s wide, %S narrow (see platform/base/wformat.h).
    void Format(const wchar_t* format, ...);
    void FormatV(const wchar_t* format, va_list args);
    void AppendFormat(const wchar_t* format, ...);

    // Next token delimited by any of `tokens`, starting at `start`; advances `start`
    // (to -1 at the end, with an empty result).
    CString Tokenize(const wchar_t* tokens, int& start) const;

    // Text in the ANSI code page (or another).
    std::string ToMultiByte(UINT codePage = 0) const;
    std::string ToUtf8() const;

private:
    std::wstring m_s;
};

CString operator+(const CString& a, const CString& b);
CString operator+(const CString& a, const wchar_t* b);
CString operator+(const wchar_t* a, const CString& b);
CString operator+(const CString& a, wchar_t b);
CString operator+(wchar_t a, const CString& b);

inline bool operator==(const CString& a, const CString& b) { return a.str() == b.str(); }
inline bool operator==(const CString& a, const wchar_t* b) { return a.Compare(b) == 0; }
inline bool operator==(const wchar_t* a, const CString& b) { return b.Compare(a) == 0; }
inline bool operator!=(const CString& a, const CString& b) { return !(a == b); }
inline bool operator!=(const CString& a, const wchar_t* b) { return !(a == b); }
inline bool operator!=(const wchar_t* a, const CString& b) { return !(b == a); }
inline bool operator<(const CString& a, const CString& b) { return a.str() < b.str(); }
inline bool operator>(const CString& a, const CString& b) { return b.str() < a.str(); }
inline bool operator<=(const CString& a, const CString& b) { return !(b < a); }
inline bool operator>=(const CString& a, const CString& b) { return !(a < b); }

typedef CString CStringW;

template <>
struct std::hash<CString> {
    size_t operator()(const CString& s) const noexcept { return std::hash<std::wstring>()(s.str()); }
};

namespace quiva {
// ASCII case folding of one character.
inline wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }
bool EqualsNoCase(std::wstring_view a, std::wstring_view b);
int CompareNoCase(std::wstring_view a, std::wstring_view b);
}  // namespace quiva

// C runtime style helpers the system's code calls on wide text.
int _wcsicmp(const wchar_t* a, const wchar_t* b);
int _wcsnicmp(const wchar_t* a, const wchar_t* b, size_t n);
int _stricmp(const char* a, const char* b);
int _wtoi(const wchar_t* s);       // 32-bit, C locale, like atoi
double _wtof(const wchar_t* s);    // C locale
