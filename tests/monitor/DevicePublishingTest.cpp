// The monitor program publishing its device list, read back by the capture engine as the capture
// module reads it. Every test runs in a session of its own, so mappings and monitors of other
// tests running at the same time stay apart.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/CKXMCapture.h"
#include "monitor/CQUIVACaptureManagerDlg.h"
#include "platform/base/codepage.h"
#include "platform/base/filemapping.h"
#include "platform/base/process.h"
#include "tests/monitor/MonitorTestSupport.h"

using quiva::test::InTempFolder;
using quiva::test::ScopedEnv;
using quiva::test::WriteAll;

namespace {

class DevicePublishing : public ::testing::Test {
protected:
    DevicePublishing()
        : m_session("QUIVA_SESSION", "monitor-" + std::to_string(::getpid()) + "-" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name()),
          m_headless("QUIVA_HEADLESS", "1")
    {
    }

    ScopedEnv m_session;
    ScopedEnv m_headless;
};

// The capture engine with its records in reach.
struct Reader : CKXMCapture {
    const _KXMCaptureDeviceInfo& Record(int i) const { return *m_devices[i]; }
};

std::wstring ViewText(HANDLE mapping)
{
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, KXM_SHARED_MEMORY_SIZE);
    EXPECT_NE(view, nullptr);
    if (!view)
        return {};
    std::wstring text = DeviceTextFromView(view, KXM_SHARED_MEMORY_SIZE, nullptr);
    UnmapViewOfFile(view);
    return text;
}

}  // namespace

TEST_F(DevicePublishing, EngineReadsWhatTheRealMonitorFindsAndLists)
{
    InTempFolder folder;
    const auto& dir = folder.dir();
    WriteAll(dir.Native("devices.conf"), "card \"Card\"\ncamera \"카메라\"\n");
    ScopedEnv devices("QUIVA_DEVICES", dir.Native("devices.conf"));
    WriteAll(dir.Native("scope.grf"), "x");
    WriteAll(dir.Native("QUIVACapture.GraphList"),
             "<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphFiles><Extension DVD=\"1\"/>"
             "<GraphFile name=\"Scope\">" + quiva::WideToMultiByte(dir.Win("scope.grf").GetString()) +
                 "</GraphFile></GraphFiles>");
    const char* path = std::getenv("PATH");
    ScopedEnv onPath("PATH", std::string(QUIVA_BINARY_DIR) + "/monitor/bin:" + (path ? path : ""));

    Reader engine;
    engine.ConstructDeviceList();
    ASSERT_EQ(engine.GetDeviceCount(), 10);
    const wchar_t* expected[] = {
        L"Card Crossbar [Video]", L"Card Crossbar [S-Video]", L"Card Crossbar [Video] #2",
        L"Card Crossbar [Component]", L"Card Crossbar [HDMI]", L"Card Crossbar [Video] #3",
        L"Card Capture", L"카메라", L"Scope", L"CD-ROM",
    };
    for (int i = 0; i < 10; ++i)
        EXPECT_STREQ(engine.GetDeviceName(i), expected[i]) << i;
    const _KXMCaptureDeviceInfo& svideo = engine.Record(1);
    EXPECT_EQ(svideo.type, 0);
    EXPECT_STREQ(svideo.sourceName, L"Card Crossbar");
    EXPECT_STREQ(svideo.connectorName, L"S-Video");
    EXPECT_EQ(svideo.connectorKind, KXMSOURCE_TYPE_SVIDEO);
    EXPECT_EQ(svideo.pinIndex, 2);
    EXPECT_EQ(svideo.physConnType, 3);
    EXPECT_EQ(engine.Record(4).connectorKind, KXMSOURCE_TYPE_HDMI);
    EXPECT_EQ(engine.Record(7).type, 1);
    EXPECT_EQ(engine.Record(8).type, 2);
    EXPECT_STREQ(engine.Record(8).sourceName, dir.Win("scope.grf"));
    EXPECT_EQ(engine.Record(9).type, 3);
    EXPECT_STREQ(engine.Record(9).sourceName, L"DVD");
}

TEST_F(DevicePublishing, StartedByHandItPublishesTooAndRunsOn)
{
    InTempFolder folder;
    WriteAll(folder.dir().Native("devices.conf"), "camera \"Cam\"\n");
    ScopedEnv devices("QUIVA_DEVICES", folder.dir().Native("devices.conf"));
    const char* path = std::getenv("PATH");
    ScopedEnv onPath("PATH", std::string(QUIVA_BINARY_DIR) + "/monitor/bin:" + (path ? path : ""));
    STARTUPINFOW si {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi {};
    std::wstring cmd = L"QUIVACaptureManager.exe";
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    CloseHandle(pi.hThread);
    HANDLE mapping = nullptr;
    for (int waited = 0; !mapping && waited < 10000; waited += 50) {
        ::usleep(50 * 1000);
        mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, KXM_SHARED_MEMORY);
    }
    ASSERT_NE(mapping, nullptr);
    std::wstring text;
    for (int waited = 0; text.empty() && waited < 5000; waited += 50) {
        text = ViewText(mapping);
        if (text.empty())
            ::usleep(50 * 1000);
    }
    EXPECT_EQ(text, L"1@@Cam@@@@Cam@@0@@0@@0\n");
    // The device manager keeps running until it is closed.
    EXPECT_FALSE(quiva::WaitForProcessExit(pi.hProcess, 200));
    TerminateProcess(pi.hProcess, 0);
    EXPECT_TRUE(quiva::WaitForProcessExit(pi.hProcess, 5000));
    CloseHandle(pi.hProcess);
    CloseHandle(mapping);
}

TEST_F(DevicePublishing, EmptyListPublishesTheTerminatorAlone)
{
    InTempFolder folder;
    quiva::test::ScopedDevices none("");
    CQUIVACaptureManagerDlg dlg({ L"QUIVACaptureManager.exe", L"-DeViCe" });
    dlg.PublishDeviceList();
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, KXM_SHARED_MEMORY);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(ViewText(mapping), L"");
    CloseHandle(mapping);
}

TEST_F(DevicePublishing, TextIsCutWithinTheViewAndAlwaysTerminated)
{
    HANDLE mapping = CQUIVACaptureManagerDlg::CreateDeviceSharedMemory();
    ASSERT_NE(mapping, nullptr);
    CQUIVACaptureManagerDlg::WriteSharedMemory(mapping, CString(std::wstring(600, L'x').c_str()));
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, KXM_SHARED_MEMORY_SIZE);
    ASSERT_NE(view, nullptr);
    bool filled = false;
    EXPECT_EQ(DeviceTextFromView(view, KXM_SHARED_MEMORY_SIZE, &filled), std::wstring(511, L'x'));
    // Text up to the terminator's unit was cut there: its last line is not to be trusted.
    EXPECT_TRUE(filled);
    UnmapViewOfFile(view);

    // A second monitor's text replaces the first one's in the same mapping.
    HANDLE second = CQUIVACaptureManagerDlg::CreateDeviceSharedMemory();
    ASSERT_NE(second, nullptr);
    CQUIVACaptureManagerDlg::WriteSharedMemory(second, L"3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    EXPECT_EQ(ViewText(mapping), L"3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    CloseHandle(second);
    CloseHandle(mapping);
}

TEST(MonitorCommandLine, DeviceSwitchInAnyCaseAndAnyPlace)
{
    using Dlg = CQUIVACaptureManagerDlg;
    EXPECT_TRUE(Dlg::IsDeviceMode({ L"QUIVACaptureManager.exe", L"-DEVICE" }));
    EXPECT_TRUE(Dlg::IsDeviceMode({ L"-device" }));
    EXPECT_TRUE(Dlg::IsDeviceMode({ L"x", L"y", L"-Device" }));
    EXPECT_FALSE(Dlg::IsDeviceMode({ L"QUIVACaptureManager.exe" }));
    EXPECT_FALSE(Dlg::IsDeviceMode({ L"x", L"-devices", L"device" }));
}
