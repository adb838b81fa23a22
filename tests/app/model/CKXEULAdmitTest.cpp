#include "app/model/CKXEULAdmit.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/base/clock.h"
#include "platform/base/registry.h"
#include "platform/base/version.h"
#include "tests/support/TempDir.h"

using quiva::test::ScopedEnv;
using quiva::test::TempDir;

namespace {

const wchar_t kKey[] = L"SOFTWARE\\Kexano\\ServiceLink\\Custom\\QUIVACapture";

std::wstring Query(const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    std::wstring buffer(256, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    LSTATUS s = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    return s == ERROR_SUCCESS ? std::wstring(buffer.c_str()) : L"<no value>";
}

std::wstring BuiltVersion() { return CString(QUIVA_VERSION).str(); }

}  // namespace

TEST(UsageRecord, RecordsTheDateAndTheVersionOfTheBuiltModule)
{
    TempDir dir;
    ScopedEnv registry("QUIVA_REGISTRY_DIR", dir.path());
    quiva::ScopedVirtualClock clock;
    clock->SetLocalTime(SYSTEMTIME{2026, 3, 0, 7, 9, 30, 0, 0});
    CKXEULAdmit usage;
    EXPECT_EQ(usage.Record(), 1);
    EXPECT_EQ(Query(L"lastUse"), L"20260307");
    EXPECT_EQ(Query(L"version"), BuiltVersion());
    // Another load the next day replaces the date.
    clock->SetLocalTime(SYSTEMTIME{2026, 3, 0, 8, 8, 0, 0, 0});
    EXPECT_EQ(CKXEULAdmit().Record(), 1);
    EXPECT_EQ(Query(L"lastUse"), L"20260308");
}

TEST(UsageRecord, ARegistryThatCannotBeWrittenChangesNothingElse)
{
    TempDir dir;
    // The registry's folder cannot be made: a file stands where its parent would be.
    quiva::test::WriteAll(dir.Native("blocker"), "");
    ScopedEnv registry("QUIVA_REGISTRY_DIR", dir.Native("blocker/registry"));
    EXPECT_EQ(CKXEULAdmit().Record(), 1);
    EXPECT_EQ(Query(L"lastUse"), L"<no key>");
}

TEST(VersionInfo, TheModuleVersionIsFoundByNameInTheProgramOrInAFile)
{
    DWORD handle = 1;
    DWORD size = GetFileVersionInfoSizeW(L"quiva.capture.DLL", &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(L"QUIVA.Capture.dll", 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length));
    EXPECT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, VS_FFI_SIGNATURE);
    CString text;
    text.Format(L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(text.str(), BuiltVersion());
    LPVOID other = nullptr;
    EXPECT_FALSE(VerQueryValueW(data.data(), L"\\StringFileInfo\\041204b0\\FileVersion", &other, &length));

    // A file carrying the resource: this very program, by path and as a bare name found beside it.
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(n, 0);
    std::string exe(self, static_cast<size_t>(n));
    CString windows = CString(exe.c_str());
    EXPECT_EQ(GetFileVersionInfoSizeW(windows, nullptr), size);
    EXPECT_EQ(GetFileVersionInfoSizeW(CString(std::filesystem::path(exe).filename().c_str()), nullptr), size);

    // A module nobody has and no file holds: no version, so no usage record.
    EXPECT_EQ(GetFileVersionInfoSizeW(L"NoSuch.Module.dll", nullptr), 0u);
    TempDir dir;
    quiva::test::WriteAll(dir.Native("plain.dll"), "QUIVA-FILE-VERSION x.1 no number here");
    EXPECT_EQ(GetFileVersionInfoSizeW(CString(dir.Native("plain.dll").c_str()), nullptr), 0u);
}
