#include "platform/base/wformat.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "platform/base/codepage.h"

namespace quiva {
namespace {

enum class Size { Default, Char, Short, Long32, Long64, Ptr, LongDouble };
enum class Width { Default, Narrow, Wide };

struct Spec {
    std::string flags;
    int width = -1;
    int precision = -1;
    bool leftAlign = false;
    Size size = Size::Default;
    Width strWidth = Width::Default;
    char conv = 0;
};

// Appends `text` padded to the conversion's width (strings and characters).
template <typename Out>
void Pad(Out& out, const Out& text, const Spec& spec)
{
    size_t len = text.size();
    size_t width = spec.width > 0 ? static_cast<size_t>(spec.width) : 0;
    if (len >= width) {
        out += text;
        return;
    }
    if (spec.leftAlign) {
        out += text;
        out.append(width - len, ' ');
    } else {
        out.append(width - len, ' ');
        out += text;
    }
}

// Formats one numeric conversion through the C library with a narrow spec.
std::string FormatNumber(const Spec& spec, va_list& args)
{
    std::string f = "%" + spec.flags;
    if (spec.width >= 0)
        f += std::to_string(spec.width);
    if (spec.precision >= 0)
        f += "." + std::to_string(spec.precision);
    char buf[64];
    std::string out;
    auto run = [&](auto value, const char* len) {
        std::string full = f + len + spec.conv;
        int n = std::snprintf(buf, sizeof buf, full.c_str(), value);
        if (n < 0)
            return;
        if (static_cast<size_t>(n) < sizeof buf) {
            out.assign(buf, static_cast<size_t>(n));
        } else {
            out.resize(static_cast<size_t>(n) + 1);
            std::snprintf(out.data(), out.size(), full.c_str(), value);
            out.resize(static_cast<size_t>(n));
        }
    };
    switch (spec.conv) {
    case 'd':
    case 'i':
        switch (spec.size) {
        case Size::Char: run(static_cast<int>(static_cast<signed char>(va_arg(args, int))), ""); break;
        case Size::Short: run(static_cast<int>(static_cast<short>(va_arg(args, int))), ""); break;
        case Size::Long64:
        case Size::Ptr: run(static_cast<long long>(va_arg(args, long long)), "ll"); break;
        default: run(va_arg(args, int), ""); break;
        }
        break;
    case 'u':
    case 'o':
    case 'x':
    case 'X':
        switch (spec.size) {
        case Size::Char: run(static_cast<unsigned>(static_cast<unsigned char>(va_arg(args, unsigned))), ""); break;
        case Size::Short: run(static_cast<unsigned>(static_cast<unsigned short>(va_arg(args, unsigned))), ""); break;
        case Size::Long64:
        case Size::Ptr: run(static_cast<unsigned long long>(va_arg(args, unsigned long long)), "ll"); break;
        default: run(va_arg(args, unsigned), ""); break;
        }
        break;
    case 'f':
    case 'F':
    case 'e':
    case 'E':
    case 'g':
    case 'G':
    case 'a':
    case 'A':
        if (spec.size == Size::LongDouble)
            run(va_arg(args, long double), "L");
        else
            run(va_arg(args, double), "");
        break;
    default:
        break;
    }
    return out;
}

// Parses one conversion spec starting after '%'. Returns the position after it.
template <typename Ch>
const Ch* ParseSpec(const Ch* p, Spec& spec, va_list& args)
{
    for (;; ++p) {
        if (*p == '-') {
            spec.leftAlign = true;
            spec.flags += '-';
        } else if (*p == '+' || *p == ' ' || *p == '#' || *p == '0') {
            spec.flags += static_cast<char>(*p);
        } else {
            break;
        }
    }
    if (*p == '*') {
        spec.width = va_arg(args, int);
        if (spec.width < 0) {
            spec.leftAlign = true;
            spec.flags += '-';
            spec.width = -spec.width;
        }
        ++p;
    } else {
        int w = -1;
        while (*p >= '0' && *p <= '9') {
            w = (w < 0 ? 0 : w * 10) + (*p - '0');
            if (w > 100000)
                w = 100000;
            ++p;
        }
        spec.width = w;
    }
    if (*p == '.') {
        ++p;
        if (*p == '*') {
            spec.precision = va_arg(args, int);
            if (spec.precision < 0)
                spec.precision = -1;
            ++p;
        } else {
            int pr = 0;
            while (*p >= '0' && *p <= '9') {
                pr = pr * 10 + (*p - '0');
                if (pr > 100000)
                    pr = 100000;
                ++p;
            }
            spec.precision = pr;
        }
    }
    // Length modifiers.
    for (;;) {
        if (*p == 'h') {
            if (p[1] == 'h') {
                spec.size = Size::Char;
                p += 2;
            } else {
                spec.size = Size::Short;
                spec.strWidth = Width::Narrow;
                ++p;
            }
        } else if (*p == 'l') {
            if (p[1] == 'l') {
                spec.size = Size::Long64;
                p += 2;
            } else {
                spec.size = Size::Long32;
                spec.strWidth = Width::Wide;
                ++p;
            }
        } else if (*p == 'w') {
            spec.strWidth = Width::Wide;
            ++p;
        } else if (*p == 'I') {
            if (p[1] == '6' && p[2] == '4') {
                spec.size = Size::Long64;
                p += 3;
            } else if (p[1] == '3' && p[2] == '2') {
                spec.size = Size::Long32;
                p += 3;
            } else {
                spec.size = Size::Ptr;
                ++p;
            }
        } else if (*p == 'q' || *p == 'j') {
            spec.size = Size::Long64;
            ++p;
        } else if (*p == 'z' || *p == 't') {
            spec.size = Size::Ptr;
            ++p;
        } else if (*p == 'L') {
            spec.size = Size::LongDouble;
            ++p;
        } else {
            break;
        }
    }
    spec.conv = static_cast<char>(*p);
    return *p ? p + 1 : p;
}

// Shared engine: Ch is the format's character type. In a wide format plain %s is wide;
// in a narrow one plain %s is narrow. Capital S/C take the other width.
template <typename Ch, typename Out>
Out FormatEngine(const Ch* format, va_list& args)
{
    constexpr bool wideFormat = sizeof(Ch) == sizeof(wchar_t);
    Out out;
    if (!format)
        return out;
    const Ch* p = format;
    while (*p) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        ++p;
        if (*p == '%') {
            out += '%';
            ++p;
            continue;
        }
        Spec spec;
        p = ParseSpec(p, spec, args);
        char c = spec.conv;
        if (c == 's' || c == 'S' || c == 'c' || c == 'C' || c == 'Z') {
            bool wide;
            if (spec.strWidth == Width::Wide)
                wide = true;
            else if (spec.strWidth == Width::Narrow)
                wide = false;
            else
                wide = (c == 's' || c == 'c') ? wideFormat : !wideFormat;
            std::wstring text;
            if (c == 's' || c == 'S' || c == 'Z') {
                if (wide) {
                    const wchar_t* s = va_arg(args, const wchar_t*);
                    if (!s)
                        s = L"(null)";
                    text = spec.precision >= 0 ? std::wstring(s, wcsnlen(s, static_cast<size_t>(spec.precision))) : std::wstring(s);
                } else {
                    const char* s = va_arg(args, const char*);
                    if (!s)
                        s = "(null)";
                    std::string narrow = spec.precision >= 0 ? std::string(s, strnlen(s, static_cast<size_t>(spec.precision))) : std::string(s);
                    text = MultiByteToWide(narrow, CP_ACP);
                }
            } else {
                int ch = va_arg(args, int);
                if (wide) {
                    text.assign(1, static_cast<wchar_t>(ch));
                } else {
                    char b = static_cast<char>(ch);
                    text = MultiByteToWide(std::string_view(&b, 1), CP_ACP);
                }
            }
            if constexpr (wideFormat) {
                Pad(out, text, spec);
            } else {
                Pad(out, WideToMultiByte(text, CP_ACP), spec);
            }
        } else if (c == 'p') {
            void* ptr = va_arg(args, void*);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(ptr)));
            Out text(buf, buf + std::strlen(buf));
            Pad(out, text, spec);
        } else if (c == 'n') {
            (void)va_arg(args, void*);  // never written
        } else if (c == 0) {
            break;
        } else {
            std::string num = FormatNumber(spec, args);
            out.append(num.begin(), num.end());
        }
    }
    return out;
}

}  // namespace

std::wstring FormatWideV(const wchar_t* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    std::wstring out = FormatEngine<wchar_t, std::wstring>(format, copy);
    va_end(copy);
    return out;
}

std::wstring FormatWide(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring out = FormatWideV(format, args);
    va_end(args);
    return out;
}

std::string FormatNarrowV(const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    std::string out = FormatEngine<char, std::string>(format, copy);
    va_end(copy);
    return out;
}

std::string FormatNarrow(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string out = FormatNarrowV(format, args);
    va_end(args);
    return out;
}

}  // namespace quiva

HRESULT StringCchCopyW(wchar_t* dest, size_t cchDest, const wchar_t* src)
{
    if (!dest || cchDest == 0)
        return E_INVALIDARG;
    size_t len = src ? wcslen(src) : 0;
    if (len < cchDest) {
        if (len)
            wmemcpy(dest, src, len);
        dest[len] = 0;
        return S_OK;
    }
    wmemcpy(dest, src, cchDest - 1);
    dest[cchDest - 1] = 0;
    return STRSAFE_E_INSUFFICIENT_BUFFER;
}

HRESULT StringCchPrintfW(wchar_t* dest, size_t cchDest, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = quiva::FormatWideV(format, args);
    va_end(args);
    return StringCchCopyW(dest, cchDest, text.c_str());
}
