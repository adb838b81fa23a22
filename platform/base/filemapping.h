// Named shared memory with the Windows lifetime: the object lives while a process that created
// it keeps its handle, and is gone for everyone once the last creator has closed it or ended.
// Objects are private to the user (owner-only) and, with QUIVA_SESSION set, to that session.
#pragma once

#include "platform/base/fileapi.h"
#include "platform/base/handle.h"
#include "platform/base/memoryapi.h"
#include "platform/base/wintypes.h"

#define FILE_MAP_COPY 0x0001
#define FILE_MAP_WRITE 0x0002
#define FILE_MAP_READ 0x0004
#define FILE_MAP_ALL_ACCESS 0x000F001F

// Only page-file-backed mappings (file INVALID_HANDLE_VALUE) are supported. A second creator of
// an existing name gets the same object and the last error ERROR_ALREADY_EXISTS.
HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES attributes, DWORD protect, DWORD sizeHigh, DWORD sizeLow, LPCWSTR name);
// Null with ERROR_FILE_NOT_FOUND when no living creator holds the name.
HANDLE OpenFileMappingW(DWORD access, BOOL inheritHandle, LPCWSTR name);
LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes);
BOOL UnmapViewOfFile(LPCVOID address);

namespace quiva {
// The POSIX shared-memory name behind a mapping name.
std::string SharedMemoryName(const wchar_t* name);
}  // namespace quiva
