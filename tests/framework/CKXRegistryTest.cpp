#include "framework/CKXRegistry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

using quiva::test::ReadAll;
using quiva::test::ScopedEnv;
using quiva::test::TempDir;
using quiva::test::WriteAll;

namespace {
const wchar_t* kUsageKey = L"SOFTWARE\\Kexano\\ServiceLink\\Custom\\QUIVACapture";

std::wstring Query(HKEY hive, const wchar_t* sub, const wchar_t* name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(hive, sub, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return L"<no key>";
    std::wstring buffer(20000, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    LSTATUS s = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()), &size);
    RegCloseKey(key);
    return s == ERROR_SUCCESS ? std::wstring(buffer.c_str()) : L"<no value>";
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}
}  // namespace

TEST(KXRegistry, OpenCreateAndSetString)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.path());
    CKXRegistry reg;
    EXPECT_EQ(reg.hive, HKEY_CURRENT_USER);
    reg.hive = HKEY_LOCAL_MACHINE;
    HKEY out = reinterpret_cast<HKEY>(1);
    EXPECT_FALSE(reg.Open(kUsageKey, &out, FALSE));
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(reg.SetString(L"lastUse", L"x"));  // nothing opened

    ASSERT_TRUE(reg.Open(kUsageKey, &out, TRUE));
    EXPECT_NE(out, nullptr);
    EXPECT_EQ(reg.root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(reg.token, nullptr);
    EXPECT_TRUE(reg.SetString(L"lastUse", L"2024-01-05"));
    // No fixed-size buffer: a long value is written whole.
    std::wstring longValue(17000, L'가');
    EXPECT_TRUE(reg.SetString(L"version", longValue.c_str()));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kUsageKey, L"lastUse"), L"2024-01-05");
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kUsageKey, L"version"), longValue);

    reg.Close();
    EXPECT_FALSE(reg.SetString(L"lastUse", L"after close"));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kUsageKey, L"lastUse"), L"2024-01-05");

    // The default hive is the user's.
    CKXRegistry user;
    ASSERT_TRUE(user.Open(L"SOFTWARE\\Test", nullptr, TRUE));
    EXPECT_TRUE(user.SetString(L"v", L"u"));
    EXPECT_EQ(Query(HKEY_CURRENT_USER, L"SOFTWARE\\Test", L"v"), L"u");
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Test", L"v"), L"<no key>");
}

TEST(KXRegistry, ReadOnlyKeyOpensButDoesNotWrite)
{
    TempDir dir;
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.path());
    {
        CKXRegistry reg;
        reg.hive = HKEY_LOCAL_MACHINE;
        ASSERT_TRUE(reg.Open(kUsageKey, nullptr, TRUE));
        ASSERT_TRUE(reg.SetString(L"version", L"1.0"));
    }
    ASSERT_EQ(::chmod(dir.Native("HKEY_LOCAL_MACHINE.reg").c_str(), 0444), 0);
    CKXRegistry reg;
    reg.hive = HKEY_LOCAL_MACHINE;
    HKEY out = nullptr;
    EXPECT_TRUE(reg.Open(kUsageKey, &out, TRUE));
    EXPECT_NE(out, nullptr);
    EXPECT_FALSE(reg.SetString(L"version", L"2.0"));
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kUsageKey, L"version"), L"1.0");
    ::chmod(dir.Native("HKEY_LOCAL_MACHINE.reg").c_str(), 0644);
}

TEST(KXRegistry, FailedCreateIsReportedAndRetriedOnWrite)
{
    TempDir dir;
    WriteAll(dir.Native("not-a-folder"), "x");
    CKXRegistry reg;
    reg.hive = HKEY_LOCAL_MACHINE;
    {
        ScopedEnv env("QUIVA_REGISTRY_DIR", dir.Native("not-a-folder/reg"));
        HKEY out = nullptr;
        EXPECT_FALSE(reg.Open(kUsageKey, &out, TRUE));
        EXPECT_EQ(out, nullptr);
        EXPECT_EQ(reg.path, kUsageKey);
        EXPECT_FALSE(reg.SetString(L"lastUse", L"x"));
    }
    ScopedEnv env("QUIVA_REGISTRY_DIR", dir.Native("reg"));
    EXPECT_TRUE(reg.SetString(L"lastUse", L"2024-01-05"));
    EXPECT_NE(reg.key, nullptr);
    EXPECT_EQ(Query(HKEY_LOCAL_MACHINE, kUsageKey, L"lastUse"), L"2024-01-05");
}

TEST(FolderUtilities, CreateFolderTree)
{
    TempDir dir;
    ScopedEnv drive("QUIVA_DRIVE_C", dir.path());
    EXPECT_TRUE(CreateFolderTree(L"C:\\a/b\\c"));
    EXPECT_TRUE(Exists(dir.Native("a/b/c")));
    EXPECT_TRUE(CreateFolderTree(L"C:\\a/b\\c"));
    EXPECT_TRUE(EnsureFolder(L"c:\\A\\B\\d\\"));  // names match without regard to case
    EXPECT_TRUE(Exists(dir.Native("a/b/d")));
    WriteAll(dir.Native("file"), "x");
    EXPECT_FALSE(CreateFolderTree(L"C:\\file"));
    EXPECT_FALSE(CreateFolderTree(L"C:\\file\\sub"));
    EXPECT_FALSE(CreateFolderTree(L""));
}

TEST(FolderUtilities, DeleteFolderTreeKeepsDotFolders)
{
    TempDir dir;
    ScopedEnv drive("QUIVA_DRIVE_C", dir.path());
    ASSERT_TRUE(CreateFolderTree(L"C:\\study\\sub\\deeper"));
    ASSERT_TRUE(CreateFolderTree(L"C:\\study\\.cache"));
    WriteAll(dir.Native("study/1.jpg"), "x");
    WriteAll(dir.Native("study/sub/2.jpg"), "x");
    WriteAll(dir.Native("study/sub/deeper/3.avi"), "x");
    WriteAll(dir.Native("study/.cache/keep"), "x");
    DeleteFolderTree(L"C:\\study", TRUE);
    EXPECT_FALSE(Exists(dir.Native("study/1.jpg")));
    EXPECT_FALSE(Exists(dir.Native("study/sub")));
    EXPECT_TRUE(Exists(dir.Native("study/.cache/keep")));

    ASSERT_TRUE(CreateFolderTree(L"C:\\other\\sub"));
    WriteAll(dir.Native("other/sub/f"), "x");
    DeleteFolderTree(L"C:\\other", FALSE);
    EXPECT_TRUE(Exists(dir.Native("other")));
    EXPECT_FALSE(Exists(dir.Native("other/sub")));
    DeleteFolderTree(L"C:\\other\\", TRUE);
    EXPECT_FALSE(Exists(dir.Native("other")));
}

TEST(FolderUtilities, DeleteFolderTreeNeverFollowsLinks)
{
    TempDir dir;
    ScopedEnv drive("QUIVA_DRIVE_C", dir.path());
    ASSERT_TRUE(CreateFolderTree(L"C:\\outside\\inner"));
    WriteAll(dir.Native("outside/precious.jpg"), "keep me");
    WriteAll(dir.Native("outside/inner/also.jpg"), "keep me");
    ASSERT_TRUE(CreateFolderTree(L"C:\\study\\sub"));
    WriteAll(dir.Native("study/a.jpg"), "x");
    ASSERT_EQ(::symlink(dir.Native("outside").c_str(), dir.Native("study/link").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Native("outside").c_str(), dir.Native("study/sub/link2").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Native("outside/precious.jpg").c_str(), dir.Native("study/filelink").c_str()), 0);
    ASSERT_EQ(::symlink(dir.Native("outside").c_str(), dir.Native("studylink").c_str()), 0);

    DeleteFolderTree(L"C:\\study", TRUE);
    EXPECT_FALSE(Exists(dir.Native("study")));
    EXPECT_EQ(ReadAll(dir.Native("outside/precious.jpg")), "keep me");
    EXPECT_EQ(ReadAll(dir.Native("outside/inner/also.jpg")), "keep me");

    // A folder given as a link loses the link only.
    DeleteFolderTree(L"C:\\studylink", TRUE);
    EXPECT_FALSE(Exists(dir.Native("studylink")));
    EXPECT_EQ(ReadAll(dir.Native("outside/precious.jpg")), "keep me");
}
