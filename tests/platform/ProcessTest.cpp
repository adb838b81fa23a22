#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cstring>
#include <thread>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/filemapping.h"
#include "platform/base/lasterror.h"
#include "platform/base/process.h"
#include "platform/base/timerqueue.h"
#include "tests/support/TempDir.h"

using quiva::test::ScopedEnv;

namespace {

std::string UniqueSession() { return "t" + std::to_string(::getpid()) + "_" + std::to_string(std::rand()); }

// Process ids of the snapshot entries with this image name.
std::vector<DWORD> FindByImage(const wchar_t* image)
{
    std::vector<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W e{};
    e.dwSize = sizeof(e);
    for (BOOL ok = Process32FirstW(snap, &e); ok; ok = Process32NextW(snap, &e))
        if (std::wcscmp(e.szExeFile, image) == 0)
            pids.push_back(e.th32ProcessID);
    CloseHandle(snap);
    return pids;
}

BOOL Start(const std::wstring& commandLine, PROCESS_INFORMATION* pi)
{
    std::wstring buffer = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    *pi = {};
    return CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, pi);
}

TEST(ProcessTest, CommandLinesSplitAsWindowsProgramsSeeThem)
{
    using V = std::vector<std::wstring>;
    EXPECT_EQ((V{L"prog.exe", L"-device"}), quiva::SplitCommandLine(L"prog.exe  -device"));
    EXPECT_EQ((V{L"C:\\Program Files\\x.exe", L"a b", L"c"}), quiva::SplitCommandLine(L"\"C:\\Program Files\\x.exe\" \"a b\" c"));
    EXPECT_EQ((V{L"a\\\"b", L"c\\\\"}), quiva::SplitCommandLine(L"a\\\\\\\"b c\\\\"));
    EXPECT_EQ(L"QUIVACaptureManager.exe", quiva::ImageNameOf("/opt/bin/QUIVACaptureManager"));
    EXPECT_EQ(L"QUIVACaptureManager.exe", quiva::ImageNameOf("/opt/bin/QUIVACaptureManager (deleted)"));
    EXPECT_EQ(L"tool.bin", quiva::ImageNameOf("/usr/bin/tool.bin"));
}

TEST(ProcessTest, StartedByNameFoundInTheSnapshotAndTerminated)
{
    ScopedEnv session("QUIVA_SESSION", UniqueSession());
    PROCESS_INFORMATION pi;
    // The program carries no extension; ".exe" in the command line still finds it beside us.
    ASSERT_TRUE(Start(L"QUIVATestChild.exe sleep", &pi));
    EXPECT_NE(0u, pi.dwProcessId);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::vector<DWORD> pids;
    for (int i = 0; i < 2000 && pids.empty(); ++i) {
        pids = FindByImage(L"QUIVATestChild.exe");
        if (pids.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(1u, pids.size());
    EXPECT_EQ(pi.dwProcessId, pids[0]);
    // Image names match exactly, case included.
    EXPECT_TRUE(FindByImage(L"quivatestchild.exe").empty());

    HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pids[0]);
    ASSERT_NE(nullptr, h);
    EXPECT_TRUE(TerminateProcess(h, 0));
    CloseHandle(h);
    // The end is asynchronous, as on Windows: a loaded machine may take a while to reap it.
    bool gone = false;
    for (int i = 0; i < 2000 && !gone; ++i) {
        gone = FindByImage(L"QUIVATestChild.exe").empty();
        if (!gone)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(gone);

    // Another session does not see this session's programs.
    ASSERT_TRUE(Start(L"QUIVATestChild sleep", &pi));
    {
        ScopedEnv other("QUIVA_SESSION", UniqueSession());
        EXPECT_TRUE(FindByImage(L"QUIVATestChild.exe").empty());
    }
    TerminateProcess(pi.hProcess, 0);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
}

TEST(ProcessTest, MissingProgramAndExitCodes)
{
    PROCESS_INFORMATION pi;
    EXPECT_FALSE(Start(L"NoSuchProgram.exe -device", &pi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    EXPECT_FALSE(Start(L"", &pi));
    ASSERT_TRUE(Start(L"QUIVATestChild exit 7", &pi));
    EXPECT_TRUE(quiva::WaitForProcessExit(pi.hProcess, 5000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(pi.hProcess, &code));
    EXPECT_EQ(7u, code);
    // Ending a process that has already ended is harmless.
    EXPECT_TRUE(TerminateProcess(pi.hProcess, 0));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(nullptr, OpenProcess(PROCESS_ALL_ACCESS, FALSE, 0x7FFFFFF0));
}

TEST(SharedMemoryTest, PublishedByOneProcessReadByAnotherGoneWithItsCreator)
{
    ScopedEnv session("QUIVA_SESSION", UniqueSession());
    const wchar_t* name = L"KXMSharedMemory";
    EXPECT_EQ(nullptr, OpenFileMappingW(FILE_MAP_READ, FALSE, name));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(Start(L"QUIVATestChild publish KXMSharedMemory \"0@@Card@@Video@@Card [Video]@@0@@1@@2\"", &pi));
    HANDLE m = nullptr;
    for (int i = 0; i < 400 && !m; ++i) {
        m = OpenFileMappingW(FILE_MAP_READ, FALSE, name);
        if (!m)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_NE(nullptr, m);
    std::wstring text;
    for (int i = 0; i < 400 && text.empty(); ++i) {
        const auto* view = static_cast<const char*>(MapViewOfFile(m, FILE_MAP_READ, 0, 0, 1024));
        ASSERT_NE(nullptr, view);
        size_t n = 0;
        while (n + 1 < 1024 && (view[n] || view[n + 1]))
            n += 2;
        text = quiva::Utf16LEToWide(view, n);
        UnmapViewOfFile(view);
        if (text.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(L"0@@Card@@Video@@Card [Video]@@0@@1@@2", text);
    // A read-only handle gives no writable view, and no view past the object.
    EXPECT_EQ(nullptr, MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 1024));
    EXPECT_EQ(nullptr, MapViewOfFile(m, FILE_MAP_READ, 0, 0, 1 << 20));
    CloseHandle(m);

    ASSERT_TRUE(TerminateProcess(pi.hProcess, 0));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_EQ(nullptr, OpenFileMappingW(FILE_MAP_READ, FALSE, name));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

TEST(SharedMemoryTest, SecondCreatorSharesTheObjectAndLastCloseRemovesIt)
{
    ScopedEnv session("QUIVA_SESSION", UniqueSession());
    HANDLE a = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1024, L"Shared");
    ASSERT_NE(nullptr, a);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetLastError());
    HANDLE b = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1024, L"Shared");
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(static_cast<DWORD>(ERROR_ALREADY_EXISTS), GetLastError());
    auto* va = static_cast<char*>(MapViewOfFile(a, FILE_MAP_ALL_ACCESS, 0, 0, 1024));
    auto* vb = static_cast<char*>(MapViewOfFile(b, FILE_MAP_ALL_ACCESS, 0, 0, 1024));
    std::strcpy(va, "hello");
    EXPECT_STREQ("hello", vb);
    UnmapViewOfFile(va);
    UnmapViewOfFile(vb);
    EXPECT_FALSE(UnmapViewOfFile(va));
    // Objects are private to the user.
    struct stat st{};
    ASSERT_EQ(0, ::stat(("/dev/shm" + quiva::SharedMemoryName(L"Shared")).c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 0777);
    CloseHandle(a);
    HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Shared");
    EXPECT_NE(nullptr, opened);
    CloseHandle(opened);
    CloseHandle(b);
    EXPECT_EQ(nullptr, OpenFileMappingW(FILE_MAP_READ, FALSE, L"Shared"));
    EXPECT_NE(0, ::stat(("/dev/shm" + quiva::SharedMemoryName(L"Shared")).c_str(), &st));
}

TEST(SharedMemoryTest, ObjectNamedButNotYetSizedIsNotThereYet)
{
    ScopedEnv session("QUIVA_SESSION", UniqueSession());
    // What a creator holds between naming the object and giving it its size.
    const std::string shm = quiva::SharedMemoryName(L"Half");
    const int fd = ::shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::flock(fd, LOCK_SH));
    EXPECT_EQ(nullptr, OpenFileMappingW(FILE_MAP_READ, FALSE, L"Half"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    ASSERT_EQ(0, ::ftruncate(fd, 1024));
    HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, L"Half");
    ASSERT_NE(nullptr, opened);
    void* view = MapViewOfFile(opened, FILE_MAP_READ, 0, 0, 0);
    EXPECT_NE(nullptr, view);
    UnmapViewOfFile(view);
    CloseHandle(opened);
    ::shm_unlink(shm.c_str());
    ::close(fd);
}

struct TickCounter {
    std::atomic<int> ticks{0};
    std::atomic<HANDLE> timer{nullptr};
    HANDLE queue = nullptr;
    int deleteAt = 0;
};

void CALLBACK Tick(PVOID p, BOOLEAN)
{
    auto* c = static_cast<TickCounter*>(p);
    const int n = ++c->ticks;
    if (c->deleteAt && n == c->deleteAt)
        DeleteTimerQueueTimer(c->queue, c->timer.load(), INVALID_HANDLE_VALUE);  // from inside: no wait
}

TEST(TimerQueueTest, PeriodicTimerFollowsTheVirtualClock)
{
    quiva::ScopedVirtualClock clock;
    TickCounter c;
    HANDLE timer = nullptr;
    ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, Tick, &c, 10, 10, WT_EXECUTEINTIMERTHREAD));
    c.timer = timer;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(0, c.ticks.load());  // no virtual time has passed
    for (int i = 0; i < 5; ++i) {
        clock->Advance(10);
        for (int w = 0; w < 500 && c.ticks.load() < i + 1; ++w)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(5, c.ticks.load());
    EXPECT_TRUE(DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE));
    clock->Advance(100);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(5, c.ticks.load());
    EXPECT_FALSE(DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE));
}

TEST(TimerQueueTest, DeletedFromItsOwnCallback)
{
    TickCounter c;
    c.deleteAt = 3;
    HANDLE queue = CreateTimerQueue();
    c.queue = queue;
    // The first tick comes late enough for the handle to be stored before it.
    HANDLE timer = nullptr;
    ASSERT_TRUE(CreateTimerQueueTimer(&timer, queue, Tick, &c, 50, 1, WT_EXECUTEINTIMERTHREAD));
    c.timer = timer;
    for (int w = 0; w < 500 && c.ticks.load() < 3; ++w)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(3, c.ticks.load());
    EXPECT_TRUE(DeleteTimerQueueEx(queue, INVALID_HANDLE_VALUE));
}

std::atomic<bool> g_inCallback{false};
std::atomic<bool> g_callbackDone{false};
void CALLBACK SlowTick(PVOID, BOOLEAN)
{
    g_inCallback = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_callbackDone = true;
}

TEST(TimerQueueTest, DeletingWaitsForARunningCallback)
{
    HANDLE timer = nullptr;
    ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, SlowTick, nullptr, 0, 1000, 0));
    while (!g_inCallback)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE));
    EXPECT_TRUE(g_callbackDone.load());

    // Without waiting: reported as still running.
    g_inCallback = false;
    g_callbackDone = false;
    ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, SlowTick, nullptr, 0, 1000, 0));
    while (!g_inCallback)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(DeleteTimerQueueTimer(nullptr, timer, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), GetLastError());
    while (!g_callbackDone)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace
