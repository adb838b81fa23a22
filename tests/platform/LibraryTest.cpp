#include "platform/base/library.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"
#include "tests/support/TempDir.h"

namespace {

std::string MathLibrary()
{
    Dl_info info{};
    double (*cosine)(double) = &::cos;
    EXPECT_TRUE(dladdr(reinterpret_cast<void*>(cosine), &info));
    return std::filesystem::canonical(info.dli_fname).string();
}

}  // namespace

TEST(Library, LoadsByAbsolutePathAndFindsExports)
{
    HMODULE m = LoadLibraryW(quiva::WindowsPath(MathLibrary()));
    ASSERT_NE(m, nullptr);
    EXPECT_NE(GetProcAddress(m, "cos"), nullptr);
    EXPECT_EQ(GetProcAddress(m, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    wchar_t path[1024];
    EXPECT_GT(GetModuleFileNameW(m, path, 1024), 0u);
    EXPECT_TRUE(FreeLibrary(m));

    // Through a drive letter.
    quiva::test::TempDir dir;
    quiva::test::ScopedEnv drive("QUIVA_DRIVE_Q", dir.path());
    std::filesystem::copy_file(MathLibrary(), dir.Native("Math.dll"));
    m = LoadLibraryW(L"q:\\math.DLL");
    ASSERT_NE(m, nullptr);
    FreeLibrary(m);
}

TEST(Library, NeverLoadsFromTheWorkingFolderOrTheSearchPath)
{
    quiva::test::TempDir dir;
    std::filesystem::copy_file(MathLibrary(), dir.Native("planted.dll"));
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(dir.path().c_str()), 0);
    EXPECT_EQ(LoadLibraryW(L"planted.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(LoadLibraryW(L".\\planted.dll"), nullptr);
    EXPECT_EQ(LoadLibraryW(L"libm.so.6"), nullptr);  // on the search path, not beside the program
    EXPECT_EQ(chdir(old), 0);
    EXPECT_EQ(LoadLibraryW(L""), nullptr);
    EXPECT_EQ(LoadLibraryW(L"z:\\HRB4100\\exe\\HRBSConst.dll"), nullptr);
}

TEST(Library, ABareNameIsLookedForBesideTheProgram)
{
    CString folder = quiva::OwnModuleFolder();
    auto native = quiva::NativePath(folder);
    ASSERT_TRUE(native);
    EXPECT_TRUE(std::filesystem::exists(*native + "/test_platform"));
    // A program is no library to load.
    EXPECT_EQ(LoadLibraryW(L"QUIVATestChild"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
}
