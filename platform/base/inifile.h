// Reading INI files, as GetPrivateProfileString/GetPrivateProfileInt.
// The file is read in the ANSI code page (a UTF-8 file with a byte-order mark is also taken);
// section and key names compare without regard to ASCII case. Lines are "[section]" or
// "key=value"; ';' starts a comment line; blanks around names and values are dropped, and a
// value in matching double quotes loses them.
#pragma once

#include "platform/base/wintypes.h"

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName);
UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);
