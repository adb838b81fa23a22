// The registry: string values under keys of two hives, kept in files.
//
// Each hive is one text file (UTF-8) in the registry folder: QUIVA_REGISTRY_DIR, else
// $XDG_DATA_HOME/quiva/registry, else ~/.local/share/quiva/registry. Every call reads the file
// anew, so a value set by one process is seen by the next; writes take an exclusive lock on a
// lock file beside it and replace the file atomically, so two processes writing at once lose
// nothing. A hive whose file or folder is not writable (no write permission, or a read-only
// file system) opens for reading only: asking for write access gives ERROR_ACCESS_DENIED.
//
// REG_SZ data are wchar_t text; sizes count bytes of wchar_t, the terminator included.
// Key and value names compare without regard to ASCII case.
#pragma once

#include <string>

#include "platform/base/fileapi.h"
#include "platform/base/wintypes.h"

typedef DWORD REGSAM;
typedef LONG LSTATUS;

#define HKEY_CLASSES_ROOT (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000000u)))
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_ALL_ACCESS 0xF003F

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4

#define REG_OPTION_NON_VOLATILE 0x00000000
#define REG_CREATED_NEW_KEY 0x00000001
#define REG_OPENED_EXISTING_KEY 0x00000002

LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options, REGSAM access,
                        LPSECURITY_ATTRIBUTES sa, PHKEY result, LPDWORD disposition);
LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD size);
// data null: only the type and size are returned. A buffer too small gives ERROR_MORE_DATA
// with the size needed.
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size);
LSTATUS RegCloseKey(HKEY key);
// The calling process's user hive: HKEY_CURRENT_USER itself.
LSTATUS RegOpenCurrentUser(REGSAM access, PHKEY result);
// There is one view of the registry; nothing to reflect.
LSTATUS RegEnableReflectionKey(HKEY key);

namespace quiva {
// The folder that holds the hive files.
std::string RegistryFolder();
}  // namespace quiva
