// Version information of a module file, as GetFileVersionInfoSizeW / GetFileVersionInfoW /
// VerQueryValueW with the fixed file information of the root block.
//
// A module's version resource is embedded at build time (quiva_embed_resources with VERSION; the
// number is the project's version). A bare file name is looked up as the loader would: a loaded
// module of that name first, then the program's folder, the working folder and the folders of
// PATH. A file is read for the resource's marker ("QUIVA-FILE-VERSION " and the number). Only the
// root block ("\") is offered.
#pragma once

#include "platform/base/wintypes.h"

#define VS_FFI_SIGNATURE 0xFEEF04BDu
#define VS_FFI_STRUCVERSION 0x00010000u
#define VOS_NT_WINDOWS32 0x00040004u
#define VFT_DLL 0x00000002u

struct VS_FIXEDFILEINFO {
    DWORD dwSignature;
    DWORD dwStrucVersion;
    DWORD dwFileVersionMS;
    DWORD dwFileVersionLS;
    DWORD dwProductVersionMS;
    DWORD dwProductVersionLS;
    DWORD dwFileFlagsMask;
    DWORD dwFileFlags;
    DWORD dwFileOS;
    DWORD dwFileType;
    DWORD dwFileSubtype;
    DWORD dwFileDateMS;
    DWORD dwFileDateLS;
};

// 0 (ERROR_RESOURCE_TYPE_NOT_FOUND, or ERROR_FILE_NOT_FOUND) when there is no version.
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD size, LPVOID data);
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length);
