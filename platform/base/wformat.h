// printf-style formatting with the Windows wide-character conventions:
//   %s, %c      wide string / wide character (in a wide format)
//   %S, %C      narrow string / narrow character, converted from the ANSI code page
//   %hs, %hc    narrow;  %ls, %lc, %ws, %wc  wide
//   %l          32 bits (LONG, DWORD);  %ll, %I64, %q, %j  64 bits;  %I, %z, %t  pointer-sized
// Numeric conversions follow C (flags, width, precision, '*'). Output is unbounded.
// A null string pointer prints "(null)".
#pragma once

#include <cstdarg>
#include <string>

#include "platform/base/wintypes.h"

namespace quiva {

std::wstring FormatWideV(const wchar_t* format, va_list args);
std::wstring FormatWide(const wchar_t* format, ...);

// The narrow counterpart: %s and %c are narrow here, %S and %C wide (converted to the ANSI code page).
std::string FormatNarrowV(const char* format, va_list args);
std::string FormatNarrow(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace quiva

// Bounded formatting into a caller's buffer; always terminates. Returns S_OK, or
// STRSAFE_E_INSUFFICIENT_BUFFER when the text was cut to fit.
#define STRSAFE_E_INSUFFICIENT_BUFFER static_cast<HRESULT>(0x8007007A)
HRESULT StringCchPrintfW(wchar_t* dest, size_t cchDest, const wchar_t* format, ...);
HRESULT StringCchCopyW(wchar_t* dest, size_t cchDest, const wchar_t* src);
