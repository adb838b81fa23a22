#include "platform/base/version.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/base/CString.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"
#include "platform/base/resources.h"
#include "platform/base/winpath.h"

namespace {

const char kMarker[] = "QUIVA-FILE-VERSION ";
constexpr DWORD kBlockTag = 0x49565651;  // "QVVI"

// What GetFileVersionInfoW hands out.
struct VersionBlock {
    DWORD length;
    DWORD tag;
    VS_FIXEDFILEINFO fixed;
};

// "a.b.c.d" right after a marker at `at`; four numbers of 0-65535.
std::optional<VS_FIXEDFILEINFO> ParseVersion(const char* text, size_t size)
{
    unsigned parts[4] = {};
    size_t i = 0;
    for (int p = 0; p < 4; ++p) {
        if (p > 0) {
            if (i >= size || text[i] != '.')
                return std::nullopt;
            ++i;
        }
        size_t start = i;
        unsigned long value = 0;
        while (i < size && text[i] >= '0' && text[i] <= '9' && i - start < 5)
            value = value * 10 + static_cast<unsigned long>(text[i++] - '0');
        if (i == start || value > 0xFFFF)
            return std::nullopt;
        parts[p] = static_cast<unsigned>(value);
    }
    VS_FIXEDFILEINFO f{};
    f.dwSignature = VS_FFI_SIGNATURE;
    f.dwStrucVersion = VS_FFI_STRUCVERSION;
    f.dwFileVersionMS = (parts[0] << 16) | parts[1];
    f.dwFileVersionLS = (parts[2] << 16) | parts[3];
    f.dwProductVersionMS = f.dwFileVersionMS;
    f.dwProductVersionLS = f.dwFileVersionLS;
    f.dwFileFlagsMask = 0x3F;
    f.dwFileOS = VOS_NT_WINDOWS32;
    f.dwFileType = VFT_DLL;
    return f;
}

// The first marker in the bytes that a version follows. (This code holds the marker text too, but
// without a number after it.)
std::optional<VS_FIXEDFILEINFO> FindVersion(const std::string& bytes)
{
    const size_t n = sizeof kMarker - 1;
    for (size_t at = bytes.find(kMarker, 0, n); at != std::string::npos; at = bytes.find(kMarker, at + 1, n)) {
        auto version = ParseVersion(bytes.data() + at + n, bytes.size() - at - n);
        if (version)
            return version;
    }
    return std::nullopt;
}

bool HasFolder(const CString& name) { return name.FindOneOf(L"\\/") >= 0 || (name.GetLength() >= 2 && name[1] == L':'); }

// The file a bare name leads to: the program's folder, the working folder, then PATH.
std::optional<CString> SearchFile(const CString& name)
{
    wchar_t program[1024];
    if (GetModuleFileNameW(nullptr, program, 1024) > 0) {
        CString candidate = quiva::PathJoin(quiva::PathParent(program), name);
        if (PathFileExistsW(candidate))
            return candidate;
    }
    if (PathFileExistsW(name))
        return name;
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder[0] != '/')
            continue;
        CString candidate = quiva::PathJoin(quiva::WindowsPath(folder), name);
        if (PathFileExistsW(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::optional<VS_FIXEDFILEINFO> VersionOf(LPCWSTR fileName)
{
    CString name(fileName ? fileName : L"");
    if (name.IsEmpty())
        return std::nullopt;
    std::optional<CString> file;
    if (HasFolder(name)) {
        file = name;
    } else {
        // A loaded module answers from its own resources.
        HMODULE module = GetModuleHandleW(name);
        if (module) {
            const quiva::EmbeddedResource* r = quiva::FindEmbeddedResource(module, L"VERSION", MAKEINTRESOURCEW(1));
            if (r)
                return FindVersion(std::string(reinterpret_cast<const char*>(r->data), r->size));
        }
        file = SearchFile(name);
    }
    std::string bytes;
    if (!file || !quiva::ReadFileBytes(*file, bytes)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return std::nullopt;
    }
    return FindVersion(bytes);
}

}  // namespace

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle)
{
    if (handle)
        *handle = 0;
    if (!VersionOf(fileName)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return sizeof(VersionBlock);
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD, DWORD size, LPVOID data)
{
    if (!data || size < sizeof(VersionBlock)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto version = VersionOf(fileName);
    if (!version) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    VersionBlock block{sizeof(VersionBlock), kBlockTag, *version};
    std::memcpy(data, &block, sizeof block);
    return TRUE;
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, UINT* length)
{
    if (!block || !subBlock || !buffer || std::wcscmp(subBlock, L"\\") != 0)
        return FALSE;
    auto* b = static_cast<const VersionBlock*>(block);
    if (b->tag != kBlockTag)
        return FALSE;
    *buffer = const_cast<VS_FIXEDFILEINFO*>(&b->fixed);
    if (length)
        *length = sizeof(VS_FIXEDFILEINFO);
    return TRUE;
}
