#include "platform/base/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "platform/base/CString.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAbsolute(const CString& path)
{
    return (path.GetLength() >= 3 && path[1] == L':' && IsSeparator(path[2])) || IsSeparator(path[0]);
}

}  // namespace

namespace quiva {

CString OwnModuleFolder()
{
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&OwnModuleFolder), &info) || !info.dli_fname)
        return CString();
    std::string path = info.dli_fname;
    // The program's own entry is named as it was started, possibly relative to a folder that is
    // no longer the working one; /proc knows its real path. Libraries carry absolute names.
    if (path.empty() || path[0] != '/') {
        char buf[4096];
        ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
        if (n <= 0)
            return CString();
        path.assign(buf, static_cast<size_t>(n));
    }
    return PathParent(WindowsPath(path));
}

}  // namespace quiva

HMODULE LoadLibraryW(LPCWSTR fileName)
{
    CString name(fileName ? fileName : L"");
    if (name.IsEmpty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    CString path;
    if (IsAbsolute(name)) {
        path = name;
    } else if (name.FindOneOf(L"\\/") < 0 && !(name.GetLength() >= 2 && name[1] == L':')) {
        path = quiva::PathJoin(quiva::OwnModuleFolder(), name);
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    std::optional<std::string> native = quiva::NativePath(path);
    if (!native || ::access(native->c_str(), F_OK) != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    void* handle = ::dlopen(native->c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = ::dlerror();
        OutputDebugStringW(CString(L"LoadLibrary: ") + quiva::Utf8ToWide(why ? why : "").c_str());
        SetLastError(ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return reinterpret_cast<HMODULE>(handle);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name)
{
    if (!module || !name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ::dlerror();
    void* symbol = ::dlsym(reinterpret_cast<void*>(module), name);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE module)
{
    if (!module || ::dlclose(reinterpret_cast<void*>(module)) != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return TRUE;
}
