#include "platform/base/registry.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/base/codepage.h"
#include "tests/support/TempDir.h"

using quiva::test::ReadAll;
using quiva::test::ScopedEnv;
using quiva::test::TempDir;

namespace {
const wchar_t* kKey = L"SOFTWARE\\Kexano\\ServiceLink\\Custom\\QUIVACapture";

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value)
{
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

std::wstring QueryString(HKEY root, const wchar_t* subKey, const wchar_t* name, LSTATUS* status = nullptr)
{
    HKEY key = nullptr;
    LSTATUS s = RegOpenKeyExW(root, subKey, 0, KEY_READ, &key);
    std::wstring out;
    if (s == ERROR_SUCCESS) {
        DWORD size = 0;
        DWORD type = 0;
        s = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
        if (s == ERROR_SUCCESS) {
            std::wstring buffer(size / sizeof(wchar_t), L'\0');
            s = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
            out = buffer.c_str();
        }
        RegCloseKey(key);
    }
    if (status)
        *status = s;
    return out;
}
}  // namespace

TEST(Registry, CreateSetAndQuery)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.Native("reg"));
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(key, nullptr);
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                              &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    EXPECT_EQ(SetString(key, L"lastUse", L"2024-01-05"), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, L"LASTUSE", L"2024-01-06"), ERROR_SUCCESS);
    const std::wstring tricky = L"a \"quoted\" \\path\\\nline 둘 [x]";
    EXPECT_EQ(SetString(key, L"with \"odd\" name", tricky), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);

    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, L"software\\kexano\\servicelink\\custom\\quivacapture", L"lastuse"), L"2024-01-06");
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, kKey, L"with \"odd\" name"), tricky);
    LSTATUS status = 0;
    QueryString(HKEY_LOCAL_MACHINE, kKey, L"version", &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
    QueryString(HKEY_CURRENT_USER, kKey, L"lastUse", &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);  // the other hive
    // Parents were created with the key.
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Kexano", 0, KEY_READ, &key), ERROR_SUCCESS);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, L"ServiceLink\\Custom\\QUIVACapture", 0, nullptr, 0, KEY_READ, nullptr, &child, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    // A read handle does not write.
    EXPECT_EQ(SetString(child, L"lastUse", L"x"), ERROR_ACCESS_DENIED);
    BYTE small[8];
    DWORD size = sizeof(small);
    EXPECT_EQ(RegQueryValueExW(child, L"lastUse", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 11 * sizeof(wchar_t));
    RegCloseKey(child);
    RegCloseKey(key);
    EXPECT_EQ(RegEnableReflectionKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY user = nullptr;
    EXPECT_EQ(RegOpenCurrentUser(KEY_ALL_ACCESS, &user), ERROR_SUCCESS);
    EXPECT_EQ(user, HKEY_CURRENT_USER);
}

TEST(Registry, ReadOnlyStoreOpensForReading)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.path());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, L"version", L"1.0"), ERROR_SUCCESS);
    RegCloseKey(key);
    std::string file = dir.Native("HKEY_LOCAL_MACHINE.reg");
    std::string before = ReadAll(file);
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);

    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, L"version", L"2.0"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    // Even a handle that could write meets the read-only file.
    HKEY other = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Other", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &other, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegSetValueExW(HKEY_LOCAL_MACHINE, L"v", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 2 * sizeof(wchar_t)),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, kKey, L"version"), L"1.0");
    EXPECT_EQ(ReadAll(file), before);

    // The user hive beside it is still writable.
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, L"version", L"3.0"), ERROR_SUCCESS);
    RegCloseKey(key);
    ::chmod(file.c_str(), 0644);

    // A read-only folder makes every hive in it read-only.
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, kKey, L"version"), L"3.0");
    ::chmod(dir.path().c_str(), 0755);
}

TEST(Registry, ConcurrentWritersLoseNothing)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.path());
    const int processes = 6;
    const int values = 15;
    std::vector<pid_t> children;
    for (int p = 0; p < processes; ++p) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int v = 0; v < values; ++v) {
                HKEY key = nullptr;
                std::wstring sub = L"SOFTWARE\\Test\\P" + std::to_wstring(p);
                if (RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS ||
                    SetString(key, (L"v" + std::to_wstring(v)).c_str(), std::to_wstring(p * 100 + v)) != ERROR_SUCCESS)
                    ++failures;
                RegCloseKey(key);
            }
            ::_exit(failures == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int p = 0; p < processes; ++p)
        for (int v = 0; v < values; ++v)
            EXPECT_EQ(QueryString(HKEY_CURRENT_USER, (L"SOFTWARE\\Test\\P" + std::to_wstring(p)).c_str(), (L"v" + std::to_wstring(v)).c_str()),
                      std::to_wstring(p * 100 + v));
}

// Run by ValuesSurviveANewProcess in a fresh process of this program.
TEST(Registry, ChildProcessReadsValue)
{
    const char* expected = std::getenv("QUIVA_REGISTRY_CHILD_EXPECT");
    if (!expected)
        GTEST_SKIP() << "runs only as the child of ValuesSurviveANewProcess";
    EXPECT_EQ(QueryString(HKEY_LOCAL_MACHINE, kKey, L"lastUse"), quiva::Utf8ToWide(expected));
}

TEST(Registry, ValuesSurviveANewProcess)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.path());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, L"lastUse", L"2024-01-05 한글"), ERROR_SUCCESS);
    RegCloseKey(key);

    auto runChild = [](const char* expect) {
        ScopedEnv childEnv("QUIVA_REGISTRY_CHILD_EXPECT", expect);
        pid_t pid = ::fork();
        if (pid == 0) {
            char filter[] = "--gtest_filter=Registry.ChildProcessReadsValue";
            char* argv[] = {const_cast<char*>("/proc/self/exe"), filter, nullptr};
            int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 1);
            ::execv("/proc/self/exe", argv);
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(runChild("2024-01-05 한글"), 0);
    EXPECT_NE(runChild("something else"), 0);  // the child does check
}

TEST(Registry, DeepAndLargeHivesAnswerAtOnce)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.path());
    // The 15 KB hive with one 5,000-level key path: the path is past the depth any key may
    // have, so it is passed over, and the rest of the hive still reads.
    std::string hive = ReadAll(std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/registry_hive/reg1-depth-5000.reg");
    hive += "[Software\\\\Shallow]\n\"Name\"=\"kept\"\n";  // the file escapes backslashes
    quiva::test::WriteAll(dir.Native("HKEY_CURRENT_USER.reg"), hive);
    std::wstring deep;
    for (int i = 0; i < 5000; ++i)
        deep += i ? L"\\a" : L"a";
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, deep.c_str(), 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, deep.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BAD_PATHNAME);
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, L"Software\\Shallow", L"Name"), L"kept");
    const std::wstring longName(256, L'n');
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, longName.c_str(), 0, KEY_READ, &key), ERROR_BAD_PATHNAME);

    // 20,000 keys: every open and query reads the file but parses it only when it changed.
    std::string many = "; registry hive, UTF-8\n";
    for (int i = 0; i < 20000; ++i)
        many += "[Software\\\\Many\\\\K" + std::to_string(i) + "]\n\"V\"=\"" + std::to_string(i) + "\"\n";
    quiva::test::WriteAll(dir.Native("HKEY_CURRENT_USER.reg"), many);
    for (int i = 0; i < 20000; i += 997)
        EXPECT_EQ(QueryString(HKEY_CURRENT_USER, (L"Software\\many\\k" + std::to_wstring(i)).c_str(), L"v"), std::to_wstring(i));
    // A write is seen at once, and keeps every key.
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Many\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, L"V", L"new"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, L"Software\\Many\\New", L"V"), L"new");
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, L"Software\\Many\\K19999", L"V"), L"19999");
    EXPECT_EQ(QueryString(HKEY_CURRENT_USER, L"Software\\Many", L"V", nullptr), L"");
    LSTATUS status = ERROR_SUCCESS;
    QueryString(HKEY_CURRENT_USER, L"Software\\Many\\Nothing", L"V", &status);
    EXPECT_EQ(status, ERROR_FILE_NOT_FOUND);
}
