// The device manager's commands on a synthetic camera: choosing a source builds, shows and runs
// its graph with a fresh log; choosing a group does nothing; only graph files can be deleted.
#include <gtest/gtest.h>

#include "monitor/CQUIVACaptureManagerDlg.h"
#include "tests/capture/CaptureTestSupport.h"

namespace {

class ManagerDlg : public CQUIVACaptureManagerDlg {
public:
    explicit ManagerDlg(HWND preview) : CQUIVACaptureManagerDlg({L"QUIVACaptureManager.exe"}) { m_hPreview = preview; }
    _KXMCaptureDeviceInfo* Entry(LPCWSTR name)
    {
        for (int i = 0; i < m_capture.GetDeviceCount(); ++i)
            if (m_capture.GetEntry(i)->displayName == name)
                return const_cast<_KXMCaptureDeviceInfo*>(m_capture.GetEntry(i));
        return nullptr;
    }
};

class DeviceManager : public quiva::test::EngineTest {};

TEST_F(DeviceManager, ChoosingASourceShowsAndRunsItsGraph)
{
    ManagerDlg dlg(m_wnd);
    dlg.Capture().EnumerateDevices(CLSID_VideoInputDeviceCategory, 1);
    _KXMCaptureDeviceInfo* camera = dlg.Entry(L"Test Camera");
    ASSERT_TRUE(camera);

    dlg.OnSelectDevice(nullptr);  // a group item
    EXPECT_EQ(nullptr, dlg.Capture().m_pGraph);
    EXPECT_EQ(0, dlg.Panel().m_boxes.GetSize());

    dlg.OnSelectDevice(camera);
    EXPECT_EQ(KXM_RENDERER_EVR, dlg.Capture().m_nRendererKind);
    EXPECT_EQ(camera, dlg.Panel().m_pCurrentEntry);
    EXPECT_GE(dlg.Panel().m_boxes.GetSize(), 2);
    EXPECT_TRUE(dlg.Panel().m_bRunning);
    EXPECT_FALSE(dlg.Panel().m_startButton.enabled);
    EXPECT_TRUE(dlg.Panel().m_stopButton.enabled);
    ASSERT_GE(dlg.Panel().m_log.m_lines.GetSize(), 1);
    EXPECT_NE(-1, dlg.Panel().m_log.m_lines[0].Find(L"[Test Camera]장치를 시작합니다."));

    // A source entry is not a graph file: refused, still listed and still shown.
    EXPECT_FALSE(dlg.OnDeleteGraphFile(camera));
    EXPECT_EQ(camera, dlg.Entry(L"Test Camera"));
    EXPECT_EQ(camera, dlg.Panel().m_pCurrentEntry);
    EXPECT_FALSE(dlg.OnDeleteGraphFile(nullptr));
    dlg.Capture().Stop();
}

TEST_F(DeviceManager, DeletingTheShownGraphFileStopsAndClearsThePanel)
{
    ManagerDlg dlg(m_wnd);
    dlg.Capture().EnumerateDevices(CLSID_VideoInputDeviceCategory, 1);
    dlg.OnSelectDevice(dlg.Entry(L"Test Camera"));
    ASSERT_TRUE(dlg.Capture().ExportGraph(L"camera.grf"));
    _KXMCaptureDeviceInfo* file = dlg.Capture().ImportGraph(L"camera.grf");
    ASSERT_TRUE(file);
    dlg.OnSelectDevice(file);
    EXPECT_EQ(file, dlg.Panel().m_pCurrentEntry);
    int before = dlg.Capture().GetDeviceCount();

    EXPECT_TRUE(dlg.OnDeleteGraphFile(file));
    EXPECT_EQ(before - 1, dlg.Capture().GetDeviceCount());
    EXPECT_EQ(nullptr, dlg.Panel().m_pCurrentEntry);
    EXPECT_EQ(0, dlg.Panel().m_boxes.GetSize());
    EXPECT_FALSE(dlg.Panel().m_bRunning);
    EXPECT_EQ(0, dlg.Capture().m_bRunning);
}

TEST_F(DeviceManager, TheDvdBoxReusesItsEntryAndDecidesTheSavedList)
{
    ManagerDlg dlg(m_wnd);
    _KXMCaptureDeviceInfo* dvd = dlg.OnDvdCheck(TRUE);
    ASSERT_TRUE(dvd);
    EXPECT_EQ(KXM_DEVICE_DVD, dvd->type);
    EXPECT_EQ(nullptr, dlg.OnDvdCheck(FALSE));
    EXPECT_EQ(dvd, dlg.OnDvdCheck(TRUE));
    EXPECT_EQ(dvd, dlg.OnDvdCheck(TRUE));
    EXPECT_EQ(1, dlg.Capture().GetDeviceCount());

    dlg.OnDvdCheck(FALSE);
    dlg.OnSaveList();
    EXPECT_EQ(std::string::npos, quiva::test::ReadAll("QUIVACapture.GraphList").find("Extension"));
    EXPECT_EQ(1, dlg.Capture().GetDeviceCount());  // listed until the program ends
    dlg.OnDvdCheck(TRUE);
    dlg.OnSaveList();
    EXPECT_NE(std::string::npos, quiva::test::ReadAll("QUIVACapture.GraphList").find("Extension"));
}

}  // namespace
