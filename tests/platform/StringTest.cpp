#include <gtest/gtest.h>

#include "platform/base/CArray.h"
#include "platform/base/CString.h"
#include "platform/base/codepage.h"
#include "platform/base/lasterror.h"
#include "platform/base/wformat.h"

TEST(Format, FollowsWindowsWideConventions)
{
    CString s;
    s.Format(L"%s|%S|%ws|%hs|%c|%C", L"와이드", "narrow", L"ws", "hs", L'가', 'n');
    EXPECT_EQ(s, L"와이드|narrow|ws|hs|가|n");
    s.Format(L"%02d:%02d:%02d %ws\n", 9, 5, 7, L"log");
    EXPECT_EQ(s, L"09:05:07 log\n");
    s.Format(L"%-5s|%5s|%.2s", L"ab", L"cd", L"efgh");
    EXPECT_EQ(s, L"ab   |   cd|ef");
    s.Format(L"%s %S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr));
    EXPECT_EQ(s, L"(null) (null)");
}

TEST(Format, NumbersUseWindowsWidths)
{
    CString s;
    // %ld is 32 bits as on Windows; %I64d and %lld are 64.
    s.Format(L"%ld %lu %I64d %lld %u %x %X %08.3f %5.1f%%", -5, 4000000000u, -9000000000LL, 9000000000LL, 7u, 255u, 255u,
             3.14159, 2.25);
    EXPECT_EQ(s, L"-5 4000000000 -9000000000 9000000000 7 ff FF 0003.142   2.2%");
    s.Format(L"%*d|%-*d|%.*f", 4, 7, 3, 1, 2, 1.005);
    EXPECT_EQ(s, L"   7|1  |1.00");
    s.Format(L"%0d", 0);
    EXPECT_EQ(s, L"0");
    // A format longer than any fixed buffer.
    std::wstring big(5000, L'x');
    s.Format(L"%s%d", big.c_str(), 1);
    EXPECT_EQ(s.GetLength(), 5001);
}

TEST(Format, NarrowFormatTakesAnsiAndWide)
{
    EXPECT_EQ(quiva::FormatNarrow("%s=%d %S", "a", 3, L"가"), std::string("a=3 \xB0\xA1"));
    wchar_t buf[6];
    EXPECT_EQ(StringCchPrintfW(buf, 6, L"%s", L"abcdefgh"), STRSAFE_E_INSUFFICIENT_BUFFER);
    EXPECT_STREQ(buf, L"abcde");
}

TEST(CStringOps, SubstringsAndSearch)
{
    CString s(L"c:\\HRB4100\\exe\\QUIVA.Capture.Config");
    EXPECT_EQ(s.Left(2), L"c:");
    EXPECT_EQ(s.Right(6), L"Config");
    EXPECT_EQ(s.Mid(3, 7), L"HRB4100");
    EXPECT_EQ(s.Mid(100), L"");
    EXPECT_EQ(s.Mid(-4, 2), L"c:");
    EXPECT_EQ(s.Left(-1), L"");
    EXPECT_EQ(s.Right(1000), s);
    EXPECT_EQ(s.ReverseFind(L'\\'), 14);
    EXPECT_EQ(s.Find(L"exe"), 11);
    EXPECT_EQ(s.Find(L'x', 13), -1);
    EXPECT_EQ(s.Find(L"", 0), 0);
    EXPECT_EQ(s.Find(L'c', 99), -1);
    EXPECT_EQ(s.FindOneOf(L".:"), 1);
    EXPECT_EQ(s.GetAt(999), L'\0');
}

TEST(CStringOps, EditingAndCase)
{
    CString s(L"  a-b-c  ");
    s.Trim();
    EXPECT_EQ(s, L"a-b-c");
    EXPECT_EQ(s.Replace(L"-", L"--"), 2);
    EXPECT_EQ(s, L"a--b--c");
    EXPECT_EQ(s.Replace(L"", L"x"), 0);
    EXPECT_EQ(s.Remove(L'-'), 4);
    s.Insert(1, L"XY");
    EXPECT_EQ(s, L"aXYbc");
    s.Delete(1, 2);
    EXPECT_EQ(s, L"abc");
    s.Delete(2, 99);
    EXPECT_EQ(s, L"ab");
    CString k(L"Hrb4100한글");
    EXPECT_EQ(CString(k).MakeUpper(), L"HRB4100한글");
    EXPECT_EQ(CString(k).MakeLower(), L"hrb4100한글");
    EXPECT_EQ(k.CompareNoCase(L"HRB4100한글"), 0);
    EXPECT_NE(k.CompareNoCase(L"HRB4100한"), 0);
    EXPECT_EQ(CString(L"xxhixx").Trim(L'x'), L"hi");
}

TEST(CStringOps, BufferAndTokens)
{
    CString s;
    wchar_t* p = s.GetBuffer(10);
    wcscpy(p, L"abc");
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), 3);
    int pos = 0;
    CString line(L"1@@cam@@@@x");
    std::vector<std::wstring> tokens;
    for (CString t = line.Tokenize(L"@", pos); pos != -1; t = line.Tokenize(L"@", pos))
        tokens.push_back(t.str());
    EXPECT_EQ(tokens, (std::vector<std::wstring>{L"1", L"cam", L"x"}));
    EXPECT_EQ(CString("\xB0\xA1"), L"가");  // narrow text is ANSI (949)
    EXPECT_EQ(CString(L"a") + L"b" + L'c' + CString(L"d"), L"abcd");
}

TEST(CArrays, GrowAndBounds)
{
    CStringArray a;
    a.Add(L"one");
    a.Add(L"two");
    a.InsertAt(1, L"mid");
    EXPECT_EQ(a.GetSize(), 3);
    EXPECT_EQ(a[1], L"mid");
    a.RemoveAt(0, 10);
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetAt(5), L"");
    a.SetAtGrow(3, L"x");
    EXPECT_EQ(a.GetSize(), 4);
    a.RemoveAt(-1);
    EXPECT_EQ(a.GetSize(), 4);
}

TEST(CodePage, Korean949RoundTrip)
{
    // "똠" exists only in the extended (UHC) part of 949, not in plain EUC-KR.
    std::wstring text = L"홍길동 똠 ABC";
    std::string bytes = quiva::WideToMultiByte(text, 949);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xC8\xAB"));
    EXPECT_NE(bytes.find("\x8C\x63"), std::string::npos);
    EXPECT_EQ(quiva::MultiByteToWide(bytes, CP_ACP), text);
    bool used = false;
    EXPECT_EQ(quiva::WideToMultiByte(L"a\x263A" L"b", 949, &used), "a?b");
    EXPECT_TRUE(used);
    // Invalid and truncated bytes never vanish silently.
    EXPECT_EQ(quiva::MultiByteToWide(std::string("a\xFF", 2), 949), L"a\xFFFD");
    EXPECT_EQ(quiva::MultiByteToWide(std::string("a\xB0", 2), 949), L"a\xFFFD");
}

TEST(CodePage, DecomposedHangulComposesIntoTheSyllablesThe949CodePageHas)
{
    // 홍길동 as conjoining jamo: ᄒ ᅩ ᆼ, ᄀ ᅵ ᆯ, ᄃ ᅩ ᆼ.
    const std::wstring decomposed = L"\x1112\x1169\x11BC\x1100\x1175\x11AF\x1103\x1169\x11BC";
    EXPECT_EQ(quiva::ComposeHangul(decomposed), L"홍길동");
    // A syllable without a final consonant takes one that follows it; one with a final does not.
    EXPECT_EQ(quiva::ComposeHangul(L"가\x11A8"), L"각");
    EXPECT_EQ(quiva::ComposeHangul(L"각\x11A8"), L"각\x11A8");
    // Lone jamo, jamo in the wrong order and archaic jamo stay as they are; so does other text.
    EXPECT_EQ(quiva::ComposeHangul(L"\x1100 \x1161\x11A8"), L"\x1100 \x1161\x11A8");
    EXPECT_EQ(quiva::ComposeHangul(L"\x1161\x1100"), L"\x1161\x1100");
    EXPECT_EQ(quiva::ComposeHangul(L"\x1113\x1161"), L"\x1113\x1161");
    EXPECT_EQ(quiva::ComposeHangul(L"Kim 홍길동"), L"Kim 홍길동");
}

TEST(CodePage, WindowsCallSemantics)
{
    const char* src = "\xB0\xA1\xB3\xAA";  // 가나
    int need = MultiByteToWideChar(CP_ACP, 0, src, -1, nullptr, 0);
    EXPECT_EQ(need, 3);  // two characters and the terminator
    wchar_t out[3];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, src, -1, out, 3), 3);
    EXPECT_STREQ(out, L"가나");
    wchar_t small[2];
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, src, -1, small, 2), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, "\xFF", 1, out, 3), 0);
    char narrow[8];
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"가", -1, narrow, 8, nullptr, nullptr), 4);
    EXPECT_STREQ(narrow, "\xEA\xB0\x80");
}

TEST(CodePage, Utf16Bytes)
{
    std::wstring text = L"A가\U0001F600";
    std::string le = quiva::WideToUtf16LE(text);
    ASSERT_EQ(le.size(), 8u);
    EXPECT_EQ(le.substr(0, 4), std::string("A\0\0\xAC", 4));
    EXPECT_EQ(quiva::Utf16LEToWide(le.data(), le.size()), text);
    EXPECT_EQ(quiva::Utf16Length(text), 4u);
    EXPECT_EQ(quiva::Utf16LEToWide("\x00\xD8" "A", 3), L"\xFFFD");
}

TEST(CRuntime, NumberParsing)
{
    EXPECT_EQ(_wtoi(L" -42x"), -42);
    EXPECT_EQ(_wtoi(L"3000000000"), 2147483647);
    EXPECT_EQ(_wtoi(L"-3000000000"), -2147483647 - 1);
    EXPECT_EQ(_wtoi(nullptr), 0);
    EXPECT_DOUBLE_EQ(_wtof(L"3.5e2abc"), 350.0);
    EXPECT_EQ(_wcsicmp(L"ABC", L"abc"), 0);
    EXPECT_LT(_wcsicmp(L"ab", L"abc"), 0);
    EXPECT_EQ(_stricmp("Exe", "EXE"), 0);
}
