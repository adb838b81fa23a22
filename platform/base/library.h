// Dynamic libraries, as LoadLibraryW / GetProcAddress / FreeLibrary, over dlopen.
//
// A library is loaded only from an absolute path (a drive path such as "c:\HRB4100\exe\x.dll",
// or a native path from the root) or, given a bare file name, from the folder of the module that
// holds the calling code. The working folder and the library search path are never consulted, so
// a library planted there is never loaded. The file name is taken as written ("HRBSConst.dll").
// A handle is also a module handle for GetModuleFileNameW.
#pragma once

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

#ifndef ERROR_BAD_EXE_FORMAT
#define ERROR_BAD_EXE_FORMAT 193L
#endif

typedef INT_PTR (*FARPROC)();

// Null with ERROR_MOD_NOT_FOUND (no such file, or a relative path with folders),
// ERROR_BAD_EXE_FORMAT (a file that is no library for this machine) or ERROR_INVALID_PARAMETER.
HMODULE LoadLibraryW(LPCWSTR fileName);
// Null with ERROR_PROC_NOT_FOUND when the library has no such export.
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
BOOL FreeLibrary(HMODULE module);

namespace quiva {
// The folder (Windows form) of the module that holds this code: the program, or the shared
// library the platform is built into.
CString OwnModuleFolder();
}  // namespace quiva
