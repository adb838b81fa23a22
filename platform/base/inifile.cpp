#include "platform/base/inifile.h"

#include <cwchar>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/base/CString.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"

namespace {

struct Entry {
    std::wstring section;
    std::wstring key;
    std::wstring value;
};

std::wstring TrimBlanks(const std::wstring& s)
{
    size_t b = s.find_first_not_of(L" \t\r");
    if (b == std::wstring::npos)
        return L"";
    size_t e = s.find_last_not_of(L" \t\r");
    return s.substr(b, e - b + 1);
}

// Says in a debug line that a file is too large to read, once while it stays so: its reader asks
// for one key at a time, each time reading the file.
void TellTooLarge(const std::wstring& fileName, bool tooLarge)
{
    static std::mutex lock;
    static std::wstring told;
    std::lock_guard<std::mutex> hold(lock);
    if (!tooLarge) {
        if (told == fileName)
            told.clear();
        return;
    }
    if (told == fileName)
        return;
    told = fileName;
    OutputDebugStringW((fileName + L": the file is larger than " + std::to_wstring(quiva::kMaxDataFileBytes) +
                        L" bytes and is not read\n").c_str());
}

std::vector<Entry> ReadIni(LPCWSTR fileName)
{
    std::vector<Entry> entries;
    std::string bytes;
    // Settings files are small; a larger one is not taken for one.
    const bool read = fileName && quiva::ReadFileBytes(fileName, bytes, quiva::kMaxDataFileBytes);
    if (fileName)
        TellTooLarge(fileName, !read && GetLastError() == ERROR_FILE_TOO_LARGE);
    if (!read)
        return entries;
    std::wstring text;
    // A "Unicode" file is UTF-16 after its byte order mark, as Windows' profile functions read it.
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = quiva::Utf8ToWide(std::string_view(bytes).substr(3));
    else if (auto wide = quiva::Utf16WithMarkToWide(bytes))
        text = std::move(*wide);
    else
        text = quiva::MultiByteToWide(bytes, CP_ACP);
    std::wstring section;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = TrimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line[0] == L';')
            continue;
        if (line[0] == L'[') {
            size_t close = line.find(L']');
            section = TrimBlanks(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            continue;
        }
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        std::wstring value = TrimBlanks(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == L'"' && value.back() == L'"')
            value = value.substr(1, value.size() - 2);
        entries.push_back({section, TrimBlanks(line.substr(0, eq)), value});
    }
    return entries;
}

// Copies with Windows truncation rules; returns the characters copied without the terminator.
DWORD CopyOut(const std::wstring& value, LPWSTR buffer, DWORD size)
{
    if (!buffer || size == 0)
        return 0;
    DWORD n = static_cast<DWORD>(value.size());
    if (n > size - 1)
        n = size - 1;
    std::wmemcpy(buffer, value.data(), n);
    buffer[n] = 0;
    return n;
}

}  // namespace

DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName)
{
    std::wstring def = TrimBlanks(defaultValue ? defaultValue : L"");
    if (!section || !key) {
        // Listing sections or keys is not needed by the system.
        return CopyOut(def, buffer, size);
    }
    for (const auto& e : ReadIni(fileName)) {
        if (quiva::EqualsNoCase(e.section, section) && quiva::EqualsNoCase(e.key, key))
            return CopyOut(e.value, buffer, size);
    }
    return CopyOut(def, buffer, size);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName)
{
    wchar_t buf[64];
    DWORD n = GetPrivateProfileStringW(section, key, L"", buf, 64, fileName);
    if (n == 0)
        return static_cast<UINT>(defaultValue);
    return static_cast<UINT>(_wtoi(buf));
}
