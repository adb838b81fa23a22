#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "platform/base/FolderListing.h"
#include "platform/base/base.h"
#include "platform/base/fullio.h"
#include "tests/support/TempDir.h"

using quiva::test::ReadAll;
using quiva::test::ScopedEnv;
using quiva::test::TempDir;
using quiva::test::WriteAll;

TEST(WinPath, DriveLettersMapToFolders)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    ::unsetenv("QUIVA_DRIVE_Q");
    EXPECT_EQ(*quiva::NativePath(L"c:\\HRB4100\\exe\\a.xml"), dir.path() + "/HRB4100/exe/a.xml");
    EXPECT_EQ(*quiva::NativePath(L"C:/x//y\\"), dir.path() + "/x/y/");
    EXPECT_FALSE(quiva::NativePath(L"q:\\anything").has_value());
    EXPECT_FALSE(quiva::NativePath(L"\\\\server\\share\\f").has_value());
    EXPECT_EQ(*quiva::NativePath(L"\\tmp\\x"), "/tmp/x");
    EXPECT_EQ(quiva::WindowsPath(dir.path() + "/a/b.txt"), L"C:\\a\\b.txt");
    EXPECT_EQ(quiva::WindowsPath("/elsewhere/f"), L"\\elsewhere\\f");
    EXPECT_EQ(*quiva::NativePath(quiva::WindowsPath("/elsewhere/f")), "/elsewhere/f");
}

TEST(WinPath, NamesMatchWithoutCase)
{
    TempDir dir;
    ScopedEnv d("QUIVA_DRIVE_D", dir.path());
    ::mkdir(dir.Native("hrb4100").c_str(), 0777);
    ::mkdir(dir.Native("hrb4100/exe").c_str(), 0777);
    WriteAll(dir.Native("hrb4100/exe/DBServer.ini"), "x");
    EXPECT_EQ(*quiva::NativePath(L"d:\\HRB4100\\EXE\\dbserver.INI"), dir.Native("hrb4100/exe/DBServer.ini"));
    EXPECT_EQ(*quiva::NativePath(L"d:\\HRB4100\\new\\f"), dir.Native("hrb4100/new/f"));
    EXPECT_NE(GetFileAttributesW(L"d:\\Hrb4100\\Exe"), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(PathIsDirectoryW(L"d:\\hrb4100\\exe"));
    EXPECT_FALSE(PathFileExistsW(L"d:\\hrb4100\\nothing"));
    EXPECT_EQ(GetFileAttributesW(L"z:\\x"), INVALID_FILE_ATTRIBUTES);
}

// ".." steps back by name and stops at a drive's root, as on Windows: no configured folder,
// however many ".." it holds, reaches outside the folder that stands for its drive.
TEST(WinPath, DotDotNeverClimbsAboveADrivesRoot)
{
    TempDir dir;
    ::mkdir(dir.Native("d").c_str(), 0777);
    ::mkdir(dir.Native("d/HRB4100").c_str(), 0777);
    ScopedEnv d("QUIVA_DRIVE_D", dir.Native("d"));
    const std::string root = dir.Native("d");
    EXPECT_EQ(*quiva::NativePath(L"D:\\HRB4100\\..\\..\\x"), root + "/x");
    EXPECT_EQ(*quiva::NativePath(L"D:\\..\\..\\..\\..\\etc\\x"), root + "/etc/x");
    EXPECT_EQ(*quiva::NativePath(L"d:/hrb4100/./temp/../image\\\\.\\"), root + "/HRB4100/image/");
    EXPECT_EQ(*quiva::NativePath(L"D:\\.."), root);
    EXPECT_EQ(*quiva::NativePath(L"D:\\HRB4100\\.."), root);
    EXPECT_EQ(*quiva::NativePathOfNewName(L"D:\\..\\..\\new"), root + "/new");
    // A rooted path stops at the root; a relative one still climbs out of the current folder.
    EXPECT_EQ(*quiva::NativePath(L"\\..\\..\\tmp\\x"), "/tmp/x");
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = cwd;
    EXPECT_EQ(*quiva::NativePath(L"..\\a"), (here == "/" ? "" : here) + "/../a");

    // Files and folders made through such paths land inside the drive's folder.
    ASSERT_TRUE(CreateDirectoryW(L"D:\\HRB4100\\..\\..\\kept", nullptr));
    EXPECT_TRUE(PathIsDirectoryW(L"D:\\kept"));
    struct stat st;
    EXPECT_EQ(::stat(dir.Native("d/kept").c_str(), &st), 0);
    EXPECT_NE(::stat(dir.Native("kept").c_str(), &st), 0) << "made beside the drive's folder";
}

TEST(Files, FoldersCopyMoveDelete)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, L"c:\\a\\b\\c", nullptr), ERROR_SUCCESS);
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, L"c:\\a\\b\\c", nullptr), ERROR_ALREADY_EXISTS);
    WriteAll(dir.Native("a/f.bin"), "data");
    EXPECT_EQ(SHCreateDirectoryExW(nullptr, L"c:\\a\\f.bin", nullptr), ERROR_FILE_EXISTS);
    EXPECT_TRUE(CopyFileW(L"c:\\a\\f.bin", L"c:\\a\\b\\g.bin", TRUE));
    EXPECT_FALSE(CopyFileW(L"c:\\a\\f.bin", L"c:\\a\\b\\g.bin", TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(ReadAll(dir.Native("a/b/g.bin")), "data");
    EXPECT_FALSE(CopyFileW(L"c:\\a\\missing", L"c:\\a\\x", FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(MoveFileW(L"c:\\a\\b\\g.bin", L"c:\\a\\h.bin"));
    EXPECT_FALSE(PathFileExistsW(L"c:\\a\\b\\g.bin"));
    EXPECT_FALSE(MoveFileExW(L"c:\\a\\h.bin", L"c:\\a\\f.bin", 0));
    EXPECT_TRUE(MoveFileExW(L"c:\\a\\h.bin", L"c:\\a\\f.bin", MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileW(L"c:\\a\\b"));  // a folder is not a file
    EXPECT_TRUE(DeleteFileW(L"c:\\a\\f.bin"));
    EXPECT_FALSE(RemoveDirectoryW(L"c:\\a"));  // not empty
    EXPECT_TRUE(RemoveDirectoryW(L"c:\\a\\b\\c"));
}

TEST(Files, FindFirstNextWithWildcards)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    for (const char* n : {"103015.jpg", "103020.JPG", "rec.avi", "info.xml"})
        WriteAll(dir.Native(n), n);
    ::mkdir(dir.Native("sub").c_str(), 0777);
    auto list = [](const wchar_t* pattern) {
        std::set<std::wstring> names;
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW(pattern, &fd);
        if (h == INVALID_HANDLE_VALUE)
            return names;
        do
            names.insert(fd.cFileName);
        while (FindNextFileW(h, &fd));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        FindClose(h);
        return names;
    };
    EXPECT_EQ(list(L"c:\\*.jpg"), (std::set<std::wstring>{L"103015.jpg", L"103020.JPG"}));
    EXPECT_EQ(list(L"c:\\*").size(), 7u);  // with "." and ".."
    EXPECT_EQ(list(L"c:\\*.*").size(), 7u);
    EXPECT_EQ(list(L"c:\\10302?.jpg"), (std::set<std::wstring>{L"103020.JPG"}));
    EXPECT_TRUE(list(L"c:\\*.bmp").empty());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    WIN32_FIND_DATAW fd;
    EXPECT_EQ(FindFirstFileW(L"c:\\nowhere\\*", &fd), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(Files, HandlesReadWriteSeek)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    HANDLE h = CreateFileW(L"c:\\f.bin", GENERIC_WRITE | GENERIC_READ, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileW(L"c:\\f.bin", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    DWORD n = 0;
    EXPECT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
    EXPECT_EQ(n, 11u);
    EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
    char buf[16] = {};
    EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
    EXPECT_EQ(std::string(buf, n), "world");
    EXPECT_EQ(GetFileSize(h, nullptr), 11u);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_FALSE(ReadFile(nullptr, buf, 1, &n, nullptr));
}

TEST(Files, AtomicWriteKeepsOldFileOnFailure)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    EXPECT_TRUE(quiva::WriteFileAtomically(L"c:\\conf.xml", "first"));
    EXPECT_TRUE(quiva::WriteFileAtomically(L"c:\\conf.xml", "second"));
    EXPECT_EQ(ReadAll(dir.Native("conf.xml")), "second");
    if (::geteuid() != 0) {  // root ignores folder permissions
        ::chmod(dir.path().c_str(), 0500);
        EXPECT_FALSE(quiva::WriteFileAtomically(L"c:\\conf.xml", "third"));
        ::chmod(dir.path().c_str(), 0700);
        EXPECT_EQ(ReadAll(dir.Native("conf.xml")), "second");
    }
    EXPECT_FALSE(quiva::WriteFileAtomically(L"c:\\no\\such\\folder\\f", "x"));
    std::string bytes;
    EXPECT_TRUE(quiva::ReadFileBytes(L"c:\\CONF.XML", bytes));
    EXPECT_EQ(bytes, "second");
}

// Names kept between calls follow what is at the folder's path: a name added is known without
// reading the folder again; a folder moved away, or another put in its place, or gone, is read
// again (or found empty), never answered from the names of the one that was there.
TEST(Files, WatchedFolderNamesFollowTheFolderAtTheirPath)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    ::mkdir(dir.Native("a").c_str(), 0700);
    WriteAll(dir.Native("a/X.bmp"), "x");
    quiva::WatchedFolderNames names;
    EXPECT_TRUE(names.Of(L"c:\\A").Has("x.bmp"));
    WriteAll(dir.Native("a/y.bmp"), "y");
    WriteAll(dir.Native("a/\xEB\x82\xB4\xEC\x8B\x9C\xEA\xB2\xBD A.jpg"), "k");  // "내시경 A.jpg"
    const uint64_t reads = quiva::FolderReadCount();
    EXPECT_TRUE(names.Of(L"c:\\a").Has("y.bmp"));
    std::string key;
    quiva::WatchedFolderNames::KeyOf(L"\uB0B4\uC2DC\uACBD a.JPG", key);
    EXPECT_TRUE(names.Of(L"c:\\a").Has(key)) << "a name beyond ASCII, its ASCII letters in other case";
    EXPECT_EQ(quiva::FolderReadCount(), reads);
    ASSERT_EQ(::rename(dir.Native("a").c_str(), dir.Native("b").c_str()), 0);
    ::mkdir(dir.Native("a").c_str(), 0700);
    WriteAll(dir.Native("a/z.bmp"), "z");
    EXPECT_TRUE(names.Of(L"c:\\a").Has("z.bmp"));
    EXPECT_FALSE(names.Of(L"c:\\a").Has("x.bmp"));
    EXPECT_TRUE(names.Of(L"c:\\b").Has("y.bmp"));
    ::unlink(dir.Native("b/X.bmp").c_str());
    ::unlink(dir.Native("b/y.bmp").c_str());
    ::rmdir(dir.Native("b").c_str());
    EXPECT_FALSE(names.Of(L"c:\\b").Has("y.bmp"));
}

// A folder read by someone else is taken from their read, unless it changed while they read it:
// then the names are read again rather than answered without what came meanwhile.
TEST(Files, WatchedFolderNamesTakeAnotherReadOfTheFolder)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    ::mkdir(dir.Native("a").c_str(), 0700);
    WriteAll(dir.Native("a/X.bmp"), "x");
    quiva::WatchedFolderNames names;
    const uint64_t reads = quiva::FolderReadCount();
    {
        const quiva::FolderListing listing(L"c:\\a", &names);
        ASSERT_EQ(listing.Entries().size(), 1u);
    }
    WriteAll(dir.Native("a/y.bmp"), "y");
    EXPECT_TRUE(names.Of(L"c:\\a").Has("x.bmp"));
    EXPECT_TRUE(names.Of(L"c:\\a").Has("y.bmp"));
    EXPECT_EQ(quiva::FolderReadCount(), reads);

    ::mkdir(dir.Native("b").c_str(), 0700);
    const int folder = ::open(dir.Native("b").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    names.BeforeRead(folder);
    WriteAll(dir.Native("b/came-meanwhile.bmp"), "m");
    names.AfterRead(folder, {});
    ::close(folder);
    EXPECT_TRUE(names.Of(L"c:\\b").Has("came-meanwhile.bmp"));
    EXPECT_EQ(quiva::FolderReadCount(), reads + 1);
}

TEST(Files, CurrentDirectoryAndModulePath)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    wchar_t old[1024];
    ASSERT_GT(GetCurrentDirectoryW(1024, old), 0u);
    ::mkdir(dir.Native("work").c_str(), 0777);
    ASSERT_TRUE(SetCurrentDirectoryW(L"c:\\WORK"));
    wchar_t cur[1024];
    GetCurrentDirectoryW(1024, cur);
    EXPECT_STREQ(cur, L"C:\\work");
    WriteAll(dir.Native("work/rel.txt"), "r");
    EXPECT_TRUE(PathFileExistsW(L"rel.txt"));
    ASSERT_TRUE(SetCurrentDirectoryW(old));
    wchar_t exe[1024];
    DWORD n = GetModuleFileNameW(nullptr, exe, 1024);
    ASSERT_GT(n, 0u);
    EXPECT_TRUE(CString(exe).Right(14) == L"\\test_platform");
    wchar_t tiny[4];
    EXPECT_EQ(GetModuleFileNameW(nullptr, tiny, 4), 4u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

TEST(Clock, VirtualTimeAndCalendar)
{
    quiva::ScopedVirtualClock clock;
    DWORD t0 = GetTickCount();
    Sleep(17000);
    EXPECT_EQ(GetTickCount() - t0, 17000u);
    SYSTEMTIME st;
    GetLocalTime(&st);
    EXPECT_EQ(st.wYear, 2024);
    EXPECT_EQ(st.wDay, 5);
    EXPECT_EQ(st.wDayOfWeek, 5);  // Friday
    EXPECT_EQ(st.wMinute, 30);
    EXPECT_EQ(st.wSecond, 17);
    SYSTEMTIME leap{2024, 2, 0, 29, 23, 59, 59, 999};
    clock->SetLocalTime(leap);
    clock->Advance(1);
    GetLocalTime(&st);
    EXPECT_EQ(st.wMonth, 3);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wDayOfWeek, 5);
    EXPECT_EQ(quiva::EpochMsToSystemTime(0).wDayOfWeek, 4);  // 1970-01-01, Thursday
}

TEST(Debug, SinkCapturesOutput)
{
    quiva::DebugCapture capture;
    OutputDebugStringW(L"CREATEWND#1");
    OutputDebugStringA("\xB0\xA1");
    EXPECT_TRUE(capture.Contains(L"CREATEWND#1"));
    EXPECT_TRUE(capture.Contains(L"가"));
    EXPECT_EQ(capture.Lines().size(), 2u);
}

#include "platform/base/inifile.h"

TEST(IniFile, ReadsSectionsKeysAndDefaults)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    WriteAll(dir.Native("DBServer.ini"), "; clinic\r\n[DB]\r\nServer = 127.0.0.1 \r\nName=\"\xC8\xAB\xB1\xE6\xB5\xBF\"\r\nPort=5432\r\n[Other]\r\nServer=x\r\n");
    wchar_t buf[64];
    EXPECT_EQ(GetPrivateProfileStringW(L"db", L"SERVER", L"none", buf, 64, L"c:\\dbserver.ini"), 9u);
    EXPECT_STREQ(buf, L"127.0.0.1");
    GetPrivateProfileStringW(L"DB", L"Name", L"", buf, 64, L"c:\\DBServer.ini");
    EXPECT_STREQ(buf, L"홍길동");
    GetPrivateProfileStringW(L"DB", L"Missing", L" dflt ", buf, 64, L"c:\\DBServer.ini");
    EXPECT_STREQ(buf, L"dflt");
    EXPECT_EQ(GetPrivateProfileStringW(L"DB", L"Server", L"", buf, 4, L"c:\\DBServer.ini"), 3u);
    EXPECT_STREQ(buf, L"127");
    EXPECT_EQ(GetPrivateProfileIntW(L"DB", L"Port", 1, L"c:\\DBServer.ini"), 5432u);
    EXPECT_EQ(GetPrivateProfileIntW(L"DB", L"Nope", 7, L"c:\\DBServer.ini"), 7u);
    EXPECT_EQ(GetPrivateProfileIntW(L"DB", L"Port", 7, L"c:\\missing.ini"), 7u);
}

// A /proc table read page by page, as the kernel gives it.
static std::string WholeTable(int table)
{
    std::string whole;
    char chunk[4096];
    for (ssize_t n; (n = ::read(table, chunk, sizeof chunk)) > 0;)
        whole.append(chunk, static_cast<size_t>(n));
    return whole;
}

// The kernel's own short counts: a /proc table comes one page a call, and no write moves more
// than about 2 GiB at once (the null device takes a read-only, never touched mapping).
TEST(FullIo, PositionedLoopsGoOnAfterShortCounts)
{
    const int table = ::open("/proc/crypto", O_RDONLY | O_CLOEXEC);
    if (table < 0)
        GTEST_SKIP() << "no /proc/crypto";
    const std::string whole = WholeTable(table);
    std::vector<char> got(whole.size() + 1);
    ASSERT_LT(::pread(table, got.data(), whole.size(), 0), static_cast<ssize_t>(whole.size())) << "no short read to test";
    ASSERT_TRUE(quiva::ReadFullyAt(table, 0, got.data(), whole.size()));
    EXPECT_EQ(std::string(got.data(), whole.size()), whole);
    ASSERT_TRUE(quiva::ReadFullyAt(table, 100, got.data(), whole.size() - 100));
    EXPECT_EQ(std::string(got.data(), whole.size() - 100), whole.substr(100));
    // The end of the file comes before the buffer is full.
    EXPECT_FALSE(quiva::ReadFullyAt(table, 0, got.data(), whole.size() + 1));
    ::close(table);

    const size_t size = (size_t{2} << 30) + 4096;
    void* source = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(source, MAP_FAILED);
    const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(sink, 0);
    ASSERT_LT(::pwrite(sink, source, size, 0), static_cast<ssize_t>(size)) << "no short write to test";
    EXPECT_TRUE(quiva::WriteFullyAt(sink, 0, source, size));
    ::close(sink);
    ::munmap(source, size);

    // A descriptor that cannot take the call fails at once, in both directions.
    char byte = 0;
    EXPECT_FALSE(quiva::ReadFullyAt(-1, 0, &byte, 1));
    EXPECT_FALSE(quiva::WriteFullyAt(-1, 0, &byte, 1));
}

// The same loops at the descriptor's offset, as ReadFile, WriteFile and the whole-file helpers
// use them: a /proc table read in one call comes whole, the offset moves on past what was read,
// and the end of the file is told from a failure by errno.
TEST(FullIo, LoopsAtTheOffsetGoOnAndMoveIt)
{
    const int table = ::open("/proc/crypto", O_RDONLY | O_CLOEXEC);
    if (table < 0)
        GTEST_SKIP() << "no /proc/crypto";
    const std::string whole = WholeTable(table);
    ASSERT_GT(whole.size(), size_t{8192}) << "no short read to test";
    ASSERT_EQ(::lseek(table, 0, SEEK_SET), 0);
    std::vector<char> got(whole.size() + 1);
    EXPECT_EQ(quiva::ReadUpTo(table, got.data(), 100), 100u);
    errno = 0;
    EXPECT_EQ(quiva::ReadUpTo(table, got.data() + 100, got.size() - 100), whole.size() - 100);
    EXPECT_EQ(errno, 0) << "the end of the file is no failure";
    EXPECT_EQ(std::string(got.data(), whole.size()), whole);
    EXPECT_EQ(quiva::ReadUpTo(table, got.data(), 1), 0u);
    ::close(table);

    TempDir dir;
    const std::string path = dir.path() + "/out.bin";
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(out, 0);
    EXPECT_EQ(quiva::WriteUpTo(out, whole.data(), 10), 10u);
    EXPECT_EQ(quiva::WriteUpTo(out, whole.data() + 10, whole.size() - 10), whole.size() - 10);
    ::close(out);
    EXPECT_EQ(ReadAll(path), whole);

    char byte = 0;
    errno = 0;
    EXPECT_EQ(quiva::ReadUpTo(-1, &byte, 1), 0u);
    EXPECT_NE(errno, 0);
    EXPECT_EQ(quiva::WriteUpTo(-1, &byte, 1), 0u);
}
