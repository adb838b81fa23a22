// Resources (strings, icons, sounds) embedded in a program or library at build time, found by
// module name as a Windows program finds the resources of its DLL.
//
// A module's resources are the files under one folder of resources/, turned into a generated
// source by quiva_embed_resources() (cmake/QuivaResources.cmake) and registered under the
// module's name when the program or library starts:
//   strings.txt          string table, one "id<TAB>text" line each (UTF-8; '#' starts a comment)
//   icons/<id>.png       icon resource <id>
//   <type>/<name>.<ext>  any other resource: type and name from the folder and the file's stem
#pragma once

#include <cstddef>

#include "platform/base/wintypes.h"

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)

// The handle of a loaded module by its file name ("QUIVA.Capture.dll": case and the extension
// do not matter), or of the program for null; null with ERROR_MOD_NOT_FOUND for a name that
// no loaded module has. Nothing is loaded.
HMODULE GetModuleHandleW(LPCWSTR moduleName);

// String-table entry `id` of the module, copied into buffer (at most max-1 characters and a
// NUL); with max 0 the buffer receives a pointer to the read-only text. Returns the length,
// 0 when there is no such string.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int max);

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL data);
DWORD SizeofResource(HMODULE module, HRSRC resource);

namespace quiva {

struct EmbeddedResource {
    const wchar_t* type;  // "ICON", "STRINGS" or the folder name, upper case
    int id;               // numeric name, or -1 when the resource is named
    const wchar_t* name;  // the name when not numeric
    const unsigned char* data;
    size_t size;
};

// Called by the generated source of a module at start-up. `anchor` is any object of that
// module, so its handle can be told apart from other modules'.
void RegisterResourceModule(const wchar_t* moduleName, const EmbeddedResource* items, size_t count, const void* anchor);
// Called when that module unloads: its resources are gone with it.
void UnregisterResourceModule(const void* anchor);

// The bytes of a resource of a module (type "ICON", "WAVE"...), or null.
const EmbeddedResource* FindEmbeddedResource(HMODULE module, const wchar_t* type, LPCWSTR name);

}  // namespace quiva
