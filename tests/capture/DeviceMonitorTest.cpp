// The device list as the monitor program publishes it. Every test runs in a session of its own,
// so monitors started or ended here are invisible to other tests running at the same time.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "capture/CKXMCapture.h"
#include "platform/base/clock.h"
#include "platform/base/debug.h"
#include "platform/base/process.h"
#include "tests/support/TempDir.h"

using quiva::test::ScopedEnv;

namespace {

class DeviceMonitor : public ::testing::Test {
protected:
    DeviceMonitor()
        : m_session("QUIVA_SESSION", "engine-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name())
    {
    }
    static std::string HelperPath() { return std::string(QUIVA_BINARY_DIR) + "/tests/helpers"; }
    static std::string PathWithHelper()
    {
        const char* path = std::getenv("PATH");
        return HelperPath() + ":" + (path ? path : "");
    }
    static int MonitorsRunning()
    {
        int n = 0;
        HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        PROCESSENTRY32W e {};
        e.dwSize = sizeof e;
        for (BOOL more = Process32FirstW(snap, &e); more; more = Process32NextW(snap, &e))
            n += std::wstring(e.szExeFile) == KXM_MONITOR_IMAGE;
        CloseHandle(snap);
        return n;
    }

    ScopedEnv m_session;
};

}  // namespace

TEST_F(DeviceMonitor, AbsentMonitorLeavesTheListEmptyAfterItsRetries)
{
    ScopedEnv path("PATH", "/nonexistent");
    quiva::ScopedVirtualClock clock;
    const uint64_t start = clock->TickMs();
    quiva::DebugCapture debug;
    CKXMCapture engine;
    engine.ConstructDeviceList();
    std::vector<std::wstring> expected = { L"Failed to launch QUIVACaptureManager.exe\n" };
    for (int i = 0; i < 11; ++i)
        expected.push_back(L"Failed to open shared memory\n");
    expected.push_back(L"No data in shared memory\n");
    expected.push_back(L"ConstructDeviceList (3)");
    expected.push_back(L"ConstructDeviceList (4)");
    EXPECT_EQ(debug.Lines(), expected);
    EXPECT_EQ(clock->TickMs() - start, 500u + 11 * 500 + 300);
    EXPECT_EQ(engine.GetDeviceCount(), 0);
    EXPECT_STREQ(engine.GetDeviceName(0), L"");
    EXPECT_STREQ(engine.GetCurrentDeviceName(), L"");
}

TEST_F(DeviceMonitor, PublishedListIsReadAndEveryMonitorEnded)
{
    ScopedEnv path("PATH", PathWithHelper());
    ScopedEnv text("QUIVA_TEST_DEVICE_TEXT", "0@@Card@@S-Video@@Card [S-Video]@@1@@1@@3\n"
                                             "1@@카메라@@@@카메라@@0@@0@@0\n");
    // One started by hand before the module loads goes too.
    STARTUPINFOW si {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi {};
    std::wstring cmd = L"QUIVACaptureManager.exe";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);

    quiva::DebugCapture debug;
    CKXMCapture engine;
    engine.ConstructDeviceList();
    ASSERT_EQ(engine.GetDeviceCount(), 2);
    EXPECT_STREQ(engine.GetDeviceName(0), L"Card [S-Video]");
    EXPECT_STREQ(engine.GetDeviceName(1), L"카메라");
    EXPECT_STREQ(engine.GetDeviceName(2), L"");
    EXPECT_TRUE(quiva::WaitForProcessExit(pi.hProcess, 2000));
    CloseHandle(pi.hProcess);
    EXPECT_EQ(MonitorsRunning(), 0);
    // kill, kill, (3), (4); a slow start of the monitor adds retries of the opening.
    std::vector<std::wstring> lines = debug.Lines();
    std::erase(lines, std::wstring(L"Failed to open shared memory\n"));
    EXPECT_EQ(lines.size(), 4u);

    // The list went with the monitor: nothing stale is read on the next load.
    ScopedEnv noPath("PATH", "/nonexistent");
    quiva::ScopedVirtualClock clock;
    CKXMCapture next;
    next.ConstructDeviceList();
    EXPECT_EQ(next.GetDeviceCount(), 0);
}

// A monitor that publishes late is waited for: within the usual retries (6 s), and on a busy
// machine, while it runs, a while longer instead of leaving the list empty.
TEST_F(DeviceMonitor, LateListIsWaitedFor)
{
    ScopedEnv path("PATH", PathWithHelper());
    ScopedEnv text("QUIVA_TEST_DEVICE_TEXT", "3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    ScopedEnv delay("QUIVA_TEST_DEVICE_DELAY", "7500");
    quiva::DebugCapture debug;
    CKXMCapture engine;
    engine.ConstructDeviceList();
    ASSERT_EQ(engine.GetDeviceCount(), 1);
    EXPECT_TRUE(debug.Contains(L"Failed to open shared memory\n"));
    EXPECT_TRUE(debug.Contains(L"Waiting for the device monitor\n"));
    EXPECT_EQ(MonitorsRunning(), 0);
}

// A monitor that runs but never publishes holds the list no longer than the bound.
TEST_F(DeviceMonitor, AMonitorThatNeverPublishesIsWaitedForWithinABound)
{
    ScopedEnv path("PATH", PathWithHelper());
    ScopedEnv text("QUIVA_TEST_DEVICE_TEXT", "3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    ScopedEnv silent("QUIVA_TEST_DEVICE_SILENT", "1");
    quiva::ScopedVirtualClock clock;
    const uint64_t start = clock->TickMs();
    quiva::DebugCapture debug;
    CKXMCapture engine;
    engine.ConstructDeviceList();
    EXPECT_EQ(engine.GetDeviceCount(), 0);
    EXPECT_TRUE(debug.Contains(L"No data in shared memory\n"));
    EXPECT_GE(clock->TickMs() - start, 500u + 11 * 500 + KXM_MONITOR_LATE_WAIT_MS + 300);
    EXPECT_LE(clock->TickMs() - start, 500u + 11 * 500 + KXM_MONITOR_LATE_WAIT_MS + KXM_MONITOR_POLL_MS + 300);
    EXPECT_EQ(MonitorsRunning(), 0);
}

TEST_F(DeviceMonitor, ListCutAtTheViewLosesOnlyItsCutLine)
{
    ScopedEnv path("PATH", PathWithHelper());
    std::string list;
    for (int i = 0; i < 20; ++i)
        list += "0@@Capture Card " + std::to_string(i) + "@@Video@@Capture Card " + std::to_string(i) + " [Video]@@0@@" +
                std::to_string(i) + "@@2\n";
    ASSERT_GT(list.size(), 512u);
    ScopedEnv text("QUIVA_TEST_DEVICE_TEXT", list);
    CKXMCapture engine;
    engine.ConstructDeviceList();
    const int count = engine.GetDeviceCount();
    ASSERT_GT(count, 5);
    ASSERT_LT(count, 20);
    // Every record read is a whole line of the list.
    for (int i = 0; i < count; ++i)
        EXPECT_STREQ(engine.GetDeviceName(i), (L"Capture Card " + std::to_wstring(i) + L" [Video]").c_str());
}
