// Code-page conversion between the ANSI code page (949 by default), UTF-8 and wide text.
// Wide text is wchar_t (UTF-32 on Linux); UTF-16LE bytes have their own helpers for the
// places where bytes must be UTF-16. Nothing here reads or changes the process locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/base/wintypes.h"

#define CP_ACP 0
#define CP_OEMCP 1
#define CP_THREAD_ACP 3
#define CP_UTF8 65001
#define CP_KOREAN 949

#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

// Windows semantics: a source length of -1 means null-terminated (the terminator is converted
// and counted); a zero destination size returns the size needed; a destination that is too
// small returns 0 with ERROR_INSUFFICIENT_BUFFER. Characters the target cannot represent
// become the default character ('?'); invalid source bytes become U+FFFD unless
// MB_ERR_INVALID_CHARS is given, in which case the call fails with ERROR_NO_UNICODE_TRANSLATION.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR src, int cbSrc, LPWSTR dst, int cchDst);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR src, int cchSrc, LPSTR dst, int cbDst,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar);

// The ANSI code page that CP_ACP names; 949 unless set otherwise.
UINT GetACP();

namespace quiva {

void SetAnsiCodePage(UINT codePage);

std::wstring MultiByteToWide(std::string_view text, UINT codePage = CP_ACP);
// usedDefault, when given, is set when a character could not be represented.
std::string WideToMultiByte(std::wstring_view text, UINT codePage = CP_ACP, bool* usedDefault = nullptr);

inline std::string WideToUtf8(std::wstring_view text) { return WideToMultiByte(text, CP_UTF8); }
inline std::wstring Utf8ToWide(std::string_view text) { return MultiByteToWide(text, CP_UTF8); }

// UTF-16LE bytes (no terminator); characters outside the BMP become surrogate pairs.
std::string WideToUtf16LE(std::wstring_view text);
// Reads UTF-16LE bytes; an odd trailing byte is ignored, lone surrogates become U+FFFD.
std::wstring Utf16LEToWide(const void* bytes, size_t byteCount);
// The text of bytes that start with a UTF-16 byte order mark (little- or big-endian), as Windows
// reads a "Unicode" file; nullopt for bytes without one.
std::optional<std::wstring> Utf16WithMarkToWide(std::string_view bytes);
std::u16string WideToUtf16(std::wstring_view text);
std::wstring Utf16ToWide(std::u16string_view text);

// Number of UTF-16 code units of a wide text.
size_t Utf16Length(std::wstring_view text);

// C0 controls (line breaks, tab and escape among them), DEL and the C1 controls.
bool IsControlCharacter(wchar_t c);
// The text with each control character replaced by `replacement`.
std::wstring ReplaceControlCharacters(std::wstring_view text, wchar_t replacement);

// The text with its conjoining Hangul jamo (U+1100-U+11FF) composed into syllables, as
// normalisation form C composes them: a leading consonant and a vowel, and a trailing consonant
// after them, become one syllable. The code page has the syllables but not the jamo, so text
// kept decomposed (NFD) must pass here before it is converted. Every other character stays.
std::wstring ComposeHangul(std::wstring_view text);

}  // namespace quiva
