#include "framework/CKXRegistry.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/fileapi.h"
#include "platform/base/winpath.h"

CKXRegistry::~CKXRegistry() { Close(); }

BOOL CKXRegistry::Open(const wchar_t* subkey, HKEY* outKey, BOOL create)
{
    RegEnableReflectionKey(hive);
    if (key)
        Close();
    root = hive;
    token = nullptr;
    desktop = nullptr;
    windowStation = nullptr;
    previousStation = nullptr;
    // HKEY_CURRENT_USER is the hive of the user running the program: no other user's hive is
    // borrowed, so no token is taken and no window station switched.

    CString sub(subkey ? subkey : L"");
    LSTATUS status = RegOpenKeyExW(root, sub, 0, KEY_ALL_ACCESS, &key);
    if (status == ERROR_ACCESS_DENIED)
        status = RegOpenKeyExW(root, sub, 0, KEY_READ, &key);
    if (outKey)
        *outKey = key;
    if (!key) {
        if (!create)
            return FALSE;
        RegCreateKeyExW(root, sub, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        if (outKey)
            *outKey = key;
    }
    path = sub;
    return key ? TRUE : FALSE;
}

void CKXRegistry::Close()
{
    if (key) {
        RegCloseKey(key);
        key = nullptr;
    }
    path.Empty();
    // No window station was switched and no user borrowed (see Open).
    previousStation = nullptr;
    windowStation = nullptr;
    desktop = nullptr;
    token = nullptr;
}

BOOL CKXRegistry::SetString(const wchar_t* name, const wchar_t* value)
{
    if (path.IsEmpty())
        return FALSE;
    if (!key) {
        CString remembered = path;
        Open(remembered, &key, TRUE);
    }
    if (!key)
        return FALSE;
    CString text(value ? value : L"");
    LSTATUS status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                                    static_cast<DWORD>((text.GetLength() + 1) * sizeof(wchar_t)));
    return status == ERROR_SUCCESS ? TRUE : FALSE;
}

CString ClinicDataFolder()
{
    for (const wchar_t* candidate : {L"d:\\HRB4100", L"e:\\HRB4100", L"f:\\HRB4100"})
        if (PathFileExistsW(candidate))
            return candidate;
    return L"c:\\HRB4100";
}

BOOL EnsureFolder(const wchar_t* path) { return CreateFolderTree(path); }

BOOL CreateFolderTree(const wchar_t* path)
{
    CString p(path ? path : L"");
    if (p.IsEmpty())
        return FALSE;
    for (int i = 1; i < p.GetLength(); ++i)
        if (p[i] == L'\\' || p[i] == L'/')
            CreateDirectoryW(p.Left(i + 1), nullptr);
    wchar_t last = p[p.GetLength() - 1];
    if (last != L'\\' && last != L'/')
        p += L'\\';
    CreateDirectoryW(p, nullptr);
    DWORD attributes = GetFileAttributesW(p);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TRUE : FALSE;
}

void DeleteFolderTree(const wchar_t* folder, BOOL removeFolder)
{
    CString dir(folder ? folder : L"");
    if (dir.IsEmpty())
        return;
    // A folder that is itself a link: the link goes, what it points at stays.
    if (std::optional<std::string> native = quiva::NativePath(dir)) {
        while (native->size() > 1 && native->back() == '/')
            native->pop_back();
        struct stat st {};
        if (::lstat(native->c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            if (removeFolder)
                ::unlink(native->c_str());
            return;
        }
    }
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(quiva::PathJoin(dir, L"*"), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            CString name = found.cFileName;
            CString full = quiva::PathJoin(dir, name);
            bool dotName = name.GetAt(0) == L'.';
            if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link is removed as itself; one that leads to a dot folder is kept like one.
                DWORD target = GetFileAttributesW(full);
                if (!(dotName && target != INVALID_FILE_ATTRIBUTES && (target & FILE_ATTRIBUTE_DIRECTORY)))
                    DeleteFileW(full);
            } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                if (!dotName)
                    DeleteFolderTree(full, TRUE);
            } else {
                DeleteFileW(full);
            }
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    if (removeFolder)
        RemoveDirectoryW(dir);
}
