// One open registry key under a chosen hive, and the folder utilities the capture store uses.
#pragma once

#include "platform/base/CString.h"
#include "platform/base/registry.h"
#include "platform/base/wintypes.h"

class CKXRegistry {
public:
    CKXRegistry() = default;
    ~CKXRegistry();
    CKXRegistry(const CKXRegistry&) = delete;
    CKXRegistry& operator=(const CKXRegistry&) = delete;

    // Opens subkey under `hive` with full access, or read access where writing is denied;
    // creates it when asked. TRUE when a key is open afterwards. After a create that failed the
    // path is still remembered, and SetString tries to open it again.
    virtual BOOL Open(const wchar_t* subkey, HKEY* outKey, BOOL create);
    void Close();
    // Sets a REG_SZ value on the open (or remembered) key; TRUE when it was written.
    BOOL SetString(const wchar_t* name, const wchar_t* value);

    HKEY hive = HKEY_CURRENT_USER;
    HKEY key = nullptr;
    CString path;
    HKEY root = nullptr;
    HANDLE token = nullptr;
    HDESK desktop = nullptr;
    HWINSTA windowStation = nullptr;
    HWINSTA previousStation = nullptr;
};

// The clinic-records data folder: the first of "d:\HRB4100", "e:\HRB4100", "f:\HRB4100" that
// exists, else "c:\HRB4100".
CString ClinicDataFolder();

// Creates the folder and every missing parent; TRUE when the folder exists afterwards.
BOOL EnsureFolder(const wchar_t* path);
BOOL CreateFolderTree(const wchar_t* path);
// Deletes the files and sub-folders of folder (folders whose names begin with "." are kept),
// then the folder itself when removeFolder is set. Symbolic links are removed, never followed.
void DeleteFolderTree(const wchar_t* folder, BOOL removeFolder);
