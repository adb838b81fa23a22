// Feeds arbitrary bytes, as a hive file in the registry folder, to the registry calls: keys
// named by the file's own lines are opened and queried, a value is set, and the hive then holds
// it and every key it held before. Deep or huge hives must answer within the per-input time.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"
#include "platform/base/registry.h"

namespace {

// Key paths as the file's "[...]" lines spell them (escapes left as they are).
std::vector<std::wstring> KeyPaths(const uint8_t* data, size_t size)
{
    std::vector<std::wstring> paths{L"", L"Software\\QUIVA"};
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (size_t pos = 0; pos < text.size() && paths.size() < 16;) {
        size_t end = text.find('\n', pos);
        const std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
        pos = end == std::string::npos ? text.size() : end + 1;
        if (line.size() >= 2 && line[0] == '[' && line.back() == ']')
            paths.push_back(quiva::Utf8ToWide(line.substr(1, line.size() - 2)));
    }
    return paths;
}

std::wstring Query(HKEY key, const wchar_t* name)
{
    wchar_t buffer[64];
    DWORD size = sizeof buffer;
    DWORD type = 0;
    const LSTATUS status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    fuzz::Check(status != ERROR_SUCCESS || size <= sizeof buffer, "a value fits the buffer it was read into");
    return status == ERROR_SUCCESS ? std::wstring(buffer) : std::wstring(L"<none>");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("QUIVA_REGISTRY_DIR", fuzz::ScratchFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 256 * 1024)
        return 0;
    fuzz::WriteScratch("HKEY_CURRENT_USER.reg", data, size);
    const std::vector<std::wstring> paths = KeyPaths(data, size);
    std::vector<bool> opened;
    for (const std::wstring& path : paths) {
        HKEY key = nullptr;
        const bool ok = RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
        opened.push_back(ok);
        if (ok) {
            Query(key, L"");
            Query(key, L"Path");
            RegCloseKey(key);
        }
    }
    // A value set lands, and no key the hive held is lost by the rewrite.
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\QUIVA\\Fuzz", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return 0;
    const wchar_t value[] = L"값 \"1\"\\";
    if (RegSetValueExW(key, L"Probe", 0, REG_SZ, reinterpret_cast<const BYTE*>(value), sizeof value) == ERROR_SUCCESS)
        fuzz::Check(Query(key, L"Probe") == value, "a value set reads back");
    RegCloseKey(key);
    for (size_t i = 0; i < paths.size(); ++i) {
        HKEY again = nullptr;
        const bool ok = RegOpenKeyExW(HKEY_CURRENT_USER, paths[i].c_str(), 0, KEY_READ, &again) == ERROR_SUCCESS;
        fuzz::Check(ok || !opened[i], "a key the hive held is still there after a write");
        if (ok)
            RegCloseKey(again);
    }
    return 0;
}
