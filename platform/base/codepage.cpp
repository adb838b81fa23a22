#include "platform/base/codepage.h"

#include <iconv.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>
#include <map>
#include <memory>
#include <vector>

#include "platform/base/lasterror.h"

namespace {

std::atomic<UINT> g_ansiCodePage{949};

UINT Resolve(UINT codePage)
{
    if (codePage == CP_ACP || codePage == CP_OEMCP || codePage == CP_THREAD_ACP)
        return g_ansiCodePage.load();
    return codePage;
}

std::string IconvName(UINT codePage)
{
    switch (codePage) {
    case CP_UTF8: return "UTF-8";
    case 949: return "CP949";
    case 20127: return "ASCII";
    case 28591: return "ISO-8859-1";
    default: return "CP" + std::to_string(codePage);
    }
}

constexpr const char* kWideName = "UTF-32LE";

// Code pages whose first 128 byte values are the first 128 characters: text of only those needs
// no converter (most of what is converted: paths, element names, numbers).
bool AsciiAsItIs(UINT codePage)
{
    return codePage == CP_UTF8 || codePage == 949 || codePage == 20127 || codePage == 28591;
}

template <class Text>
bool AllAscii(const Text& text)
{
    return std::all_of(text.begin(), text.end(), [](auto c) { return static_cast<uint32_t>(c) < 0x80; });
}

// One converter per thread, code page and direction: iconv descriptors are not thread-safe.
class Converter {
public:
    Converter(const std::string& to, const std::string& from) : m_cd(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter()
    {
        if (Ok())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);  // reset shift state
        return m_cd;
    }

private:
    iconv_t m_cd;
};

Converter* GetConverter(UINT codePage, bool toWide)
{
    thread_local std::map<std::pair<UINT, bool>, std::unique_ptr<Converter>> cache;
    auto key = std::make_pair(codePage, toWide);
    auto it = cache.find(key);
    if (it == cache.end()) {
        std::string name = IconvName(codePage);
        auto conv = toWide ? std::make_unique<Converter>(kWideName, name) : std::make_unique<Converter>(name, kWideName);
        it = cache.emplace(key, std::move(conv)).first;
    }
    return it->second->Ok() ? it->second.get() : nullptr;
}

// Converts bytes to wide text. Returns false when a byte sequence is invalid and strict is set.
bool DecodeBytes(UINT codePage, std::string_view in, std::wstring& out, bool strict)
{
    out.clear();
    if (AsciiAsItIs(codePage) && AllAscii(in)) {
        out.assign(in.begin(), in.end());
        return true;
    }
    Converter* conv = GetConverter(codePage, true);
    if (!conv) {
        // Unknown code page: take bytes as Latin-1 so nothing is lost silently.
        for (unsigned char c : in)
            out += static_cast<wchar_t>(c);
        return true;
    }
    iconv_t cd = conv->Get();
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    std::vector<char> buf(in.size() * 4 + 16);
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        size_t produced = (buf.size() - dstLeft) / 4;
        const char* p = buf.data();
        for (size_t i = 0; i < produced; ++i) {
            uint32_t u;
            std::memcpy(&u, p + i * 4, 4);
            out += static_cast<wchar_t>(u);
        }
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            if (strict)
                return false;
            out += L'\xFFFD';
            // EILSEQ: skip one byte; EINVAL (incomplete at the end): skip the rest one by one.
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
}

std::string EncodeWide(UINT codePage, std::wstring_view in, bool& usedDefault)
{
    usedDefault = false;
    std::string out;
    if (AsciiAsItIs(codePage) && AllAscii(in))
        return std::string(in.begin(), in.end());
    Converter* conv = GetConverter(codePage, false);
    if (!conv) {
        for (wchar_t c : in) {
            if (static_cast<uint32_t>(c) < 0x80) {
                out += static_cast<char>(c);
            } else {
                out += '?';
                usedDefault = true;
            }
        }
        return out;
    }
    iconv_t cd = conv->Get();
    std::vector<uint32_t> units(in.begin(), in.end());
    char* src = reinterpret_cast<char*>(units.data());
    size_t srcLeft = units.size() * 4;
    std::vector<char> buf(units.size() * 4 + 16);
    while (srcLeft > 0) {
        char* dst = buf.data();
        size_t dstLeft = buf.size();
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buf.data(), buf.size() - dstLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            out += '?';
            usedDefault = true;
            size_t skip = srcLeft < 4 ? srcLeft : 4;
            src += skip;
            srcLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return out;
}

}  // namespace

UINT GetACP() { return g_ansiCodePage.load(); }

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int cbSrc, LPWSTR dst, int cchDst)
{
    if (!src || cbSrc == 0 || cbSrc < -1 || cchDst < 0 || (cchDst > 0 && !dst)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t len = cbSrc == -1 ? std::strlen(src) + 1 : static_cast<size_t>(cbSrc);
    std::wstring out;
    if (!DecodeBytes(Resolve(codePage), std::string_view(src, len), out, (flags & MB_ERR_INVALID_CHARS) != 0)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (cchDst == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cchDst)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::wmemcpy(dst, out.data(), out.size());
    return static_cast<int>(out.size());
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWSTR src, int cchSrc, LPSTR dst, int cbDst,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar)
{
    if (!src || cchSrc == 0 || cchSrc < -1 || cbDst < 0 || (cbDst > 0 && !dst)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t len = cchSrc == -1 ? std::wcslen(src) + 1 : static_cast<size_t>(cchSrc);
    UINT cp = Resolve(codePage);
    bool used = false;
    std::string out = EncodeWide(cp, std::wstring_view(src, len), used);
    if (used && defaultChar && cp != CP_UTF8 && *defaultChar != '?') {
        // Replace the '?' placed for unmappable characters with the caller's default character.
        std::string redo;
        for (wchar_t c : std::wstring_view(src, len)) {
            bool u = false;
            std::string one = EncodeWide(cp, std::wstring_view(&c, 1), u);
            redo += u ? std::string(1, *defaultChar) : one;
        }
        out = redo;
    }
    if (usedDefaultChar)
        *usedDefaultChar = used ? TRUE : FALSE;
    if (cbDst == 0)
        return static_cast<int>(out.size());
    if (out.size() > static_cast<size_t>(cbDst)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(dst, out.data(), out.size());
    return static_cast<int>(out.size());
}

namespace quiva {

void SetAnsiCodePage(UINT codePage)
{
    if (codePage != CP_ACP && codePage != CP_OEMCP && codePage != CP_THREAD_ACP)
        g_ansiCodePage.store(codePage);
}

std::wstring MultiByteToWide(std::string_view text, UINT codePage)
{
    std::wstring out;
    DecodeBytes(Resolve(codePage), text, out, false);
    return out;
}

std::string WideToMultiByte(std::wstring_view text, UINT codePage, bool* usedDefault)
{
    bool used = false;
    std::string out = EncodeWide(Resolve(codePage), text, used);
    if (usedDefault)
        *usedDefault = used;
    return out;
}

std::u16string WideToUtf16(std::wstring_view text)
{
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else if (c > 0x10FFFF) {
            out += u'\xFFFD';
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

std::wstring Utf16ToWide(std::u16string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            out += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            out += L'\xFFFD';
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}

std::string WideToUtf16LE(std::wstring_view text)
{
    std::u16string u = WideToUtf16(text);
    std::string out;
    out.reserve(u.size() * 2);
    for (char16_t c : u) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::wstring Utf16LEToWide(const void* bytes, size_t byteCount)
{
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::u16string u;
    u.reserve(byteCount / 2);
    for (size_t i = 0; i + 1 < byteCount; i += 2)
        u += static_cast<char16_t>(p[i] | (p[i + 1] << 8));
    return Utf16ToWide(u);
}

std::optional<std::wstring> Utf16WithMarkToWide(std::string_view bytes)
{
    const bool little = bytes.size() >= 2 && bytes.substr(0, 2) == "\xFF\xFE";
    const bool big = bytes.size() >= 2 && bytes.substr(0, 2) == "\xFE\xFF";
    if (!little && !big)
        return std::nullopt;
    std::string units(bytes.substr(2, (bytes.size() - 2) & ~size_t(1)));
    if (big)
        for (size_t i = 0; i + 1 < units.size(); i += 2)
            std::swap(units[i], units[i + 1]);
    return Utf16LEToWide(units.data(), units.size());
}

size_t Utf16Length(std::wstring_view text)
{
    size_t n = 0;
    for (wchar_t c : text)
        n += static_cast<uint32_t>(c) >= 0x10000 ? 2 : 1;
    return n;
}

bool IsControlCharacter(wchar_t c)
{
    const uint32_t u = static_cast<uint32_t>(c);
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

std::wstring ReplaceControlCharacters(std::wstring_view text, wchar_t replacement)
{
    std::wstring out(text);
    for (wchar_t& c : out)
        if (IsControlCharacter(c))
            c = replacement;
    return out;
}

std::wstring ComposeHangul(std::wstring_view text)
{
    constexpr uint32_t kSyllables = 0xAC00, kLeads = 0x1100, kVowels = 0x1161, kTrails = 0x11A7;
    constexpr uint32_t kLeadCount = 19, kVowelCount = 21, kTrailCount = 28, kSyllableCount = 11172;
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        const uint32_t u = static_cast<uint32_t>(c);
        const uint32_t last = out.empty() ? 0 : static_cast<uint32_t>(out.back());
        if (last - kLeads < kLeadCount && u - kVowels < kVowelCount) {
            out.back() = static_cast<wchar_t>(kSyllables + ((last - kLeads) * kVowelCount + (u - kVowels)) * kTrailCount);
        } else if (last - kSyllables < kSyllableCount && (last - kSyllables) % kTrailCount == 0 && u - kTrails - 1 < kTrailCount - 1) {
            out.back() = static_cast<wchar_t>(last + (u - kTrails));
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace quiva
