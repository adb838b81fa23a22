// Writes the seed corpus of the registry harness: hive files written by the registry calls
// themselves, with nested keys, Korean names and values that need escapes.
#include <stdlib.h>

#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/base/registry.h"

namespace {

bool Set(const wchar_t* path, const wchar_t* name, const std::wstring& value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    setenv("QUIVA_REGISTRY_DIR", fuzz::ScratchFolder().c_str(), 1);
    bool ok = Set(L"Software\\QUIVA\\Capture", L"Path", L"c:\\image");
    ok &= Set(L"Software\\QUIVA\\Capture", L"", L"기본값");
    ok &= Set(L"Software\\QUIVA\\Capture\\Device", L"Name", L"Card \"A\" [S-Video]\nline");
    ok &= Set(L"Software\\Other", L"이름", L"홍길동");
    ok &= fuzz::SaveSeed(folder, "hive.reg", fuzz::ReadWhole(fuzz::ScratchFolder() + "/HKEY_CURRENT_USER.reg"));
    return ok ? 0 : 1;
}
