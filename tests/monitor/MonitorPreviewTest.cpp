// The monitor's preview of one source at a time: choosing the entry, building its graph as the
// device delivers it, starting it, and what reaches the on-screen log.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "monitor/CKXMCaptureEx.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/guids.h"
#include "tests/support/capture/CaptureTestSupport.h"

namespace {

class MonitorEngine : public CKXMCaptureEx {
public:
    void NewGraph() { EnsureGraph(); }
    bool Has(LPCWSTR name) const
    {
        quiva::ComPtr<IBaseFilter> f;
        return GetGraph() && SUCCEEDED(GetGraph()->FindFilterByName(name, f.Put())) && f;
    }
};

class MonitorPreview : public quiva::test::EngineTest {
protected:
    void Fill(MonitorEngine& engine)
    {
        engine.EnumerateDevices(AM_KSCATEGORY_CROSSBAR, 0);
        engine.EnumerateDevices(CLSID_VideoInputDeviceCategory, 1);
        engine.NewGraph();
    }
};

}  // namespace

TEST_F(MonitorPreview, ChoosesByDisplayNameKeepsTheCurrentOneOtherwise)
{
    MonitorEngine engine;
    EXPECT_FALSE(engine.SelectDevice(m_wnd, L"Test Camera"));  // nothing listed yet
    EXPECT_EQ(engine.m_bRunning, 0);
    Fill(engine);

    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"test camera"));
    EXPECT_STREQ(engine.GetCurrentEntry()->displayName, L"Test Camera");
    EXPECT_EQ(engine.m_bRunning, 1);
    EXPECT_TRUE(engine.Has(L"Test Camera"));
    EXPECT_TRUE(engine.Start(nullptr));

    // An unknown name keeps the entry shown.
    ASSERT_TRUE(engine.SelectDevice(nullptr, L"No Such Source"));
    EXPECT_STREQ(engine.GetCurrentEntry()->displayName, L"Test Camera");

    ASSERT_TRUE(engine.SelectDevice(nullptr, L"Test Card Crossbar [S-Video]"));
    EXPECT_EQ(engine.GetCurrentEntry()->type, 0);
    EXPECT_EQ(engine.m_bRunning, 1);
    EXPECT_TRUE(engine.Start(nullptr));
}

TEST_F(MonitorPreview, RemovingTheShownEntryLeavesNoDanglingChoice)
{
    MonitorEngine engine;
    Fill(engine);
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Camera"));
    engine.RemoveEntry(const_cast<_KXMCaptureDeviceInfo*>(engine.GetCurrentEntry()));
    EXPECT_EQ(engine.GetCurrentEntry(), nullptr);
    // The next choice without a name falls back to the first entry.
    ASSERT_TRUE(engine.SelectDevice(nullptr, L""));
    EXPECT_EQ(engine.GetCurrentEntry(), engine.GetEntry(0));
}

TEST_F(MonitorPreview, GraphStillStartingCountsAsStartedButNotRunning)
{
    UseDevices("camera \"Slow Camera\" late_first_frame=4000\n");
    MonitorEngine engine;
    Fill(engine);
    std::vector<std::wstring> log;
    engine.SetMessageSink([&](const CString& t) { log.push_back(t.GetString()); });
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Slow Camera"));
    engine.m_bRunning = 0;
    log.clear();  // the build's own steps
    quiva::DebugCapture debug;
    const int wait = quiva::media::RunWaitLimit();
    quiva::media::SetRunWaitLimit(100);
    EXPECT_TRUE(engine.Start(nullptr));
    quiva::media::SetRunWaitLimit(wait);
    EXPECT_EQ(engine.m_bRunning, 0);
    ASSERT_FALSE(debug.Lines().empty());
    EXPECT_TRUE(debug.Lines().back().starts_with(L"Start Error 1: ")) << debug.Lines().back();
    EXPECT_TRUE(log.empty());
}

TEST_F(MonitorPreview, StartNeedsAGraphAndAWindow)
{
    MonitorEngine engine;
    EXPECT_FALSE(engine.Start(m_wnd));
    engine.NewGraph();
    EXPECT_FALSE(engine.Start(nullptr));
}

TEST_F(MonitorPreview, ExportedGraphIsPreviewedAgainFromItsFile)
{
    MonitorEngine engine;
    EXPECT_FALSE(engine.ExportGraph(Win("none.grf")));  // no graph yet: nothing written
    EXPECT_FALSE(PathFileExistsW(Win("none.grf")));
    Fill(engine);
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Camera"));
    ASSERT_TRUE(engine.ExportGraph(Win("camera.grf")));

    MonitorEngine other;
    other.NewGraph();
    other.m_hPreviewWnd = m_wnd;
    _KXMCaptureDeviceInfo* entry = other.ImportGraph(Win("camera.grf"));
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->displayName, L"camera");
    EXPECT_TRUE(other.Has(L"Test Camera"));
    EXPECT_EQ(other.m_bRunning, 1);
    EXPECT_TRUE(other.Start(nullptr));
    ASSERT_TRUE(other.SelectDevice(nullptr, L"camera"));
    EXPECT_EQ(other.m_bRunning, 1);
    EXPECT_TRUE(other.Start(nullptr));
}

namespace {

// The formats the preview reported, the widest of 30 frames per second or more among them, and
// the line naming the one detected.
struct Detection {
    int offered = 0;
    int widestFast = 0;
    std::wstring detected;
};

Detection DetectionOf(const std::vector<std::wstring>& lines)
{
    Detection d;
    for (const std::wstring& line : lines) {
        wchar_t subtype[64] = {};
        int w = 0, h = 0, fps = 0;
        if (std::swscanf(line.c_str(), L"-- MediaType : %63ls (%dx%d) %dfps", subtype, &w, &h, &fps) == 4) {
            ++d.offered;
            if (fps >= 30)
                d.widestFast = std::max(d.widestFast, w);
        } else if (line.starts_with(L"Detected MediaType : ")) {
            d.detected = line;
        }
    }
    return d;
}

}  // namespace

TEST_F(MonitorPreview, DetectedFormatIsTheWidestAtThirtyFramesOrMore)
{
    MonitorEngine engine;
    Fill(engine);
    {
        quiva::DebugCapture debug;
        ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Card Crossbar [S-Video]"));
        const Detection d = DetectionOf(debug.Lines());
        ASSERT_GT(d.offered, 1);
        ASSERT_GT(d.widestFast, 0);
        EXPECT_NE(d.detected.find(L"(" + std::to_wstring(d.widestFast) + L"x"), std::wstring::npos) << d.detected;
    }
    {
        // Formats all below 30 frames per second: nothing is detected.
        quiva::DebugCapture debug;
        ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Camera"));
        const Detection d = DetectionOf(debug.Lines());
        EXPECT_GT(d.offered, 0);
        EXPECT_EQ(d.widestFast, 0);
        EXPECT_TRUE(d.detected.empty());
    }
}

namespace {

bool Contains(const std::vector<std::wstring>& lines, const std::wstring& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

TEST_F(MonitorPreview, BuildStepsReachTheLogAndTheGraphCarriesTheSoundRenderer)
{
    MonitorEngine engine;
    Fill(engine);
    std::vector<std::wstring> log;
    engine.SetMessageSink([&](const CString& t) { log.push_back(t.GetString()); });
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Card Crossbar [S-Video]"));
    EXPECT_EQ(engine.m_bRunning, 1);
    EXPECT_EQ(log, (std::vector<std::wstring> {
                       L"(CrossBar) Test Card Crossbar가 선택되었습니다.",
                       L"(CrossBar) Test Card Crossbar의 입력 (2)에 연결",
                       L"AVI Decoder를 찾았습니다.(DirectShowFilter)",
                       L"Color Space Convertor를 찾았습니다.(DirectShowFilter)",
                       L"DMO Filter를 찾았습니다(Color Control)",
                       L"사운드장치를 찾았습니다.",
                   }));
    EXPECT_TRUE(engine.Has(L"Default DirectSound Device"));

    log.clear();
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Camera"));
    EXPECT_EQ(engine.m_bRunning, 1);
    EXPECT_EQ(log.front(), L"WDM장치[Test Camera]를 찾았습니다.");
    EXPECT_TRUE(Contains(log, L"사운드장치를 찾았습니다."));
    EXPECT_TRUE(engine.Has(L"Default DirectSound Device"));
    // The monitor keeps no graph file of its crossbar build.
    EXPECT_FALSE(PathFileExistsW(L"cross.Grf"));
}

TEST_F(MonitorPreview, BuildFailuresReachTheLogAndNoLogFileIsWritten)
{
    MonitorEngine engine;
    Fill(engine);
    std::vector<std::wstring> log;
    engine.SetMessageSink([&](const CString& t) { log.push_back(t.GetString()); });
    quiva::SetComClassFailure(CLSID_AVIDec, true);
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Card Crossbar [S-Video]"));
    EXPECT_EQ(engine.m_bRunning, 0);
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().starts_with(L" (0x")) << log.back();
    EXPECT_FALSE(Contains(log, L"AVI Decoder를 찾았습니다.(DirectShowFilter)"));
    EXPECT_FALSE(PathFileExistsW(L"quivacapture.log.txt"));
    EXPECT_FALSE(PathFileExistsW(L"cross.Grf"));
}

TEST_F(MonitorPreview, FormatsAreReportedWhileTheGraphIsBuiltEvenWhenItFailsLater)
{
    MonitorEngine engine;
    Fill(engine);
    engine.m_nRendererKind = KXM_RENDERER_EVR;
    quiva::SetComClassFailure(CLSID_EnhancedVideoRenderer, true);
    quiva::DebugCapture debug;
    ASSERT_TRUE(engine.SelectDevice(m_wnd, L"Test Card Crossbar [S-Video]"));
    EXPECT_EQ(engine.m_bRunning, 0);
    EXPECT_GT(DetectionOf(debug.Lines()).offered, 1);
    EXPECT_FALSE(DetectionOf(debug.Lines()).detected.empty());
}
