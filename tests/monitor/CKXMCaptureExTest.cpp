// The monitor's device list: sources found on the machine, the graph list file, the text that is
// published, and reports to the on-screen log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "monitor/CKXMCaptureEx.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/media/guids.h"
#include "tests/monitor/MonitorTestSupport.h"

using quiva::test::InTempFolder;
using quiva::test::ReadAll;
using quiva::test::ScopedDevices;
using quiva::test::WriteAll;

namespace {

std::vector<std::wstring> Lines(const CKXMCaptureEx& engine)
{
    std::vector<std::wstring> lines;
    for (int i = 0; const _KXMCaptureDeviceInfo* e = engine.GetEntry(i); ++i)
        lines.push_back(FormatDeviceLine(*e).GetString());
    return lines;
}

void EnumerateAll(CKXMCaptureEx& engine)
{
    engine.EnumerateDevices(AM_KSCATEGORY_CROSSBAR, 0);
    engine.EnumerateDevices(CLSID_VideoInputDeviceCategory, 1);
}

}  // namespace

TEST(MonitorSources, CrossbarInputsAreNamedByConnectorAndNumberedPerKind)
{
    InTempFolder folder;
    ScopedDevices devices("card \"Card\"\ncamera \"Cam\"\n");
    CKXMCaptureEx engine;
    std::vector<std::wstring> log;
    engine.SetMessageSink([&](const CString& t) { log.push_back(t.GetString()); });
    EnumerateAll(engine);
    // Tuner and audio inputs make no entry; RGB counts with the composite inputs.
    EXPECT_EQ(Lines(engine), (std::vector<std::wstring> {
                                 L"0@@Card Crossbar@@Video@@Card Crossbar [Video]@@0@@1@@2\n",
                                 L"0@@Card Crossbar@@S-Video@@Card Crossbar [S-Video]@@1@@2@@3\n",
                                 L"0@@Card Crossbar@@Video@@Card Crossbar [Video] #2@@0@@3@@2\n",
                                 L"0@@Card Crossbar@@Component@@Card Crossbar [Component]@@2@@4@@5\n",
                                 L"0@@Card Crossbar@@HDMI@@Card Crossbar [HDMI]@@3@@5@@6\n",
                                 L"0@@Card Crossbar@@Video@@Card Crossbar [Video] #3@@0@@6@@4\n",
                                 L"1@@Card Capture@@@@Card Capture@@0@@0@@0\n",
                                 L"1@@Cam@@@@Cam@@0@@0@@0\n",
                             }));
    EXPECT_EQ(log, (std::vector<std::wstring> { L"Device : Card Crossbar [Video] #2 - 3",
                                                L"Device : Card Crossbar [Video] #3 - 6" }));
}

TEST(MonitorSources, EveryDisplayNameStaysUniqueSoEachSourceCanBeSelected)
{
    InTempFolder folder;
    // Two cards of one model, and a camera that carries a crossbar input's display name.
    ScopedDevices devices("card \"Twin\"\ncard \"Twin\"\ncamera \"Twin Crossbar [HDMI]\"\n");
    CKXMCaptureEx engine;
    EnumerateAll(engine);
    std::vector<std::wstring> names;
    for (int i = 0; const _KXMCaptureDeviceInfo* e = engine.GetEntry(i); ++i)
        if (e->type == 0 && e->connectorName == L"Video")
            names.push_back(e->displayName.GetString());
    EXPECT_EQ(names, (std::vector<std::wstring> { L"Twin Crossbar [Video]", L"Twin Crossbar [Video] #2",
                                                  L"Twin Crossbar [Video] #3", L"Twin Crossbar [Video] #4",
                                                  L"Twin Crossbar [Video] #5", L"Twin Crossbar [Video] #6" }));
    for (int i = 0; const _KXMCaptureDeviceInfo* a = engine.GetEntry(i); ++i)
        for (int j = i + 1; const _KXMCaptureDeviceInfo* b = engine.GetEntry(j); ++j)
            EXPECT_NE(_wcsicmp(a->displayName, b->displayName), 0) << a->displayName.GetString();
    // The camera named like an input is not listed; the capture filters of both cards are once.
    int cameras = 0;
    for (int i = 0; const _KXMCaptureDeviceInfo* e = engine.GetEntry(i); ++i)
        cameras += e->type == 1;
    EXPECT_EQ(cameras, 1);
}

TEST(MonitorSources, NoHardwareGivesAnEmptyList)
{
    InTempFolder folder;
    ScopedDevices devices("");
    CKXMCaptureEx engine;
    EnumerateAll(engine);
    engine.LoadGraphList();
    EXPECT_EQ(engine.GetDeviceCount(), 0);
    EXPECT_STREQ(engine.DeviceText(511), L"");
}

TEST(MonitorGraphList, LoadSkipsMissingFilesAndNamesByAttributeOrFileName)
{
    InTempFolder folder;
    const auto& dir = folder.dir();
    WriteAll(dir.Native("a.grf"), "x");
    WriteAll(dir.Native("b.grf"), "x");
    const std::string list = "<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphFiles>"
                             "<Extension DVD=\"1\"/>"
                             "<GraphFile name=\"Endoscope\">" + quiva::WideToMultiByte(dir.Win("a.grf").GetString()) + "</GraphFile>"
                             "<GraphFile name=\"Gone\">" + quiva::WideToMultiByte(dir.Win("gone.grf").GetString()) + "</GraphFile>"
                             "<GraphFile>" + quiva::WideToMultiByte(dir.Win("b.grf").GetString()) + "</GraphFile>"
                             "</GraphFiles>";
    WriteAll(dir.Native("QUIVACapture.GraphList"), list);
    CKXMCaptureEx engine;
    engine.LoadGraphList();
    ASSERT_EQ(engine.GetDeviceCount(), 3);
    EXPECT_EQ(engine.GetEntry(0)->type, 2);
    EXPECT_STREQ(engine.GetEntry(0)->displayName, L"Endoscope");
    EXPECT_STREQ(engine.GetEntry(0)->sourceName, dir.Win("a.grf"));
    EXPECT_STREQ(engine.GetEntry(1)->displayName, L"b.grf");
    EXPECT_STREQ(FormatDeviceLine(*engine.GetEntry(2)), L"3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    EXPECT_TRUE(engine.HasDvdEntry());

    // Saved again, the graph files are numbered from 0 without the missing one; with the DVD
    // function off the Extension element goes.
    engine.SaveGraphList(FALSE);
    CKXMCaptureEx again;
    again.LoadGraphList();
    ASSERT_EQ(again.GetDeviceCount(), 2);
    EXPECT_STREQ(again.GetEntry(0)->displayName, L"Endoscope");
    EXPECT_STREQ(again.GetEntry(1)->displayName, L"b.grf");
    EXPECT_FALSE(again.HasDvdEntry());
    const std::string saved = ReadAll(dir.Native("QUIVACapture.GraphList"));
    EXPECT_NE(saved.find("encoding=\"euc-kr\""), std::string::npos);
    EXPECT_EQ(saved.find("Extension"), std::string::npos);

    again.AddDvdEntry();
    again.SaveGraphList(TRUE);
    CKXMCaptureEx third;
    third.LoadGraphList();
    EXPECT_EQ(third.GetDeviceCount(), 3);
    EXPECT_TRUE(third.HasDvdEntry());
}

TEST(MonitorGraphList, UnreadableListAddsNothing)
{
    InTempFolder folder;
    CKXMCaptureEx engine;
    engine.LoadGraphList();
    WriteAll(folder.dir().Native("QUIVACapture.GraphList"), "not xml <<<");
    engine.LoadGraphList();
    EXPECT_EQ(engine.GetDeviceCount(), 0);
}

TEST(MonitorGraphList, KoreanNamesSurviveTheAnsiFile)
{
    InTempFolder folder;
    WriteAll(folder.dir().Native("내시경.grf"), "x");
    CKXMCaptureEx engine;
    engine.ImportGraph(folder.dir().Win("내시경.grf"));
    engine.SaveGraphList(FALSE);
    CKXMCaptureEx again;
    again.LoadGraphList();
    ASSERT_EQ(again.GetDeviceCount(), 1);
    EXPECT_STREQ(again.GetEntry(0)->displayName, L"내시경");
    EXPECT_STREQ(again.GetEntry(0)->sourceName, folder.dir().Win("내시경.grf"));
}

TEST(MonitorGraphList, NamesOutsideTheCodePageSurviveARestart)
{
    InTempFolder folder;
    const auto& dir = folder.dir();
    std::filesystem::create_directory(dir.Native("😀"));
    const std::vector<std::wstring> files = {L"내시경.grf", L"Caméra.grf", L"😀/scope.grf"};
    CKXMCaptureEx engine;
    for (const std::wstring& file : files) {
        WriteAll(dir.Native(quiva::WideToUtf8(file)), "x");
        ASSERT_NE(engine.ImportGraph(dir.Win(quiva::WideToUtf8(file))), nullptr);
    }
    ASSERT_TRUE(engine.SaveGraphList(FALSE));
    CKXMCaptureEx again;
    again.LoadGraphList();
    ASSERT_EQ(again.GetDeviceCount(), 3);
    EXPECT_STREQ(again.GetEntry(1)->displayName, L"Caméra");
    EXPECT_STREQ(again.GetEntry(2)->sourceName, dir.Win("😀/scope.grf"));

    // A list another save wrote in UTF-8 keeps its entry through a load and a save.
    WriteAll(dir.Native("a.grf"), "x");
    WriteAll(dir.Native("QUIVACapture.GraphList"), ReadAll(std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/graph_list/graphlist1-name-artifact.xml"));
    CKXMCaptureEx loaded;
    loaded.LoadGraphList();
    ASSERT_EQ(loaded.GetDeviceCount(), 2);
    const CString name = loaded.GetEntry(0)->displayName;
    ASSERT_TRUE(loaded.SaveGraphList(TRUE));
    CKXMCaptureEx reloaded;
    reloaded.LoadGraphList();
    ASSERT_EQ(reloaded.GetDeviceCount(), 2);
    EXPECT_STREQ(reloaded.GetEntry(0)->displayName, name);
}

// A list naming folders (the working folder itself, a folder beside it) lists no source for
// them: a folder is no graph file, and selecting it could build nothing.
TEST(MonitorGraphList, FoldersNamedInTheListAreNotGraphFiles)
{
    InTempFolder folder;
    const auto& dir = folder.dir();
    std::filesystem::create_directory(dir.Native("sub"));
    WriteAll(dir.Native("QUIVACapture.GraphList"),
             ReadAll(std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/graph_list/graphlist2-folders.xml"));
    CKXMCaptureEx engine;
    engine.LoadGraphList();
    EXPECT_EQ(Lines(engine), std::vector<std::wstring>{});

    // A graph file among them is still listed.
    WriteAll(dir.Native("sub/scope.grf"), "x");
    WriteAll(dir.Native("QUIVACapture.GraphList"),
             "<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphFiles><GraphFile>sub</GraphFile>"
             "<GraphFile name=\"scope\">sub\\scope.grf</GraphFile><GraphFile>.\\</GraphFile></GraphFiles>");
    CKXMCaptureEx mixed;
    mixed.LoadGraphList();
    EXPECT_EQ(Lines(mixed), std::vector<std::wstring>{L"2@@sub\\scope.grf@@@@scope@@0@@0@@0\n"});
}

TEST(MonitorGraphList, ImportRefusesAListedSourceAndNamesByTheFileName)
{
    InTempFolder folder;
    ScopedDevices devices("");
    CKXMCaptureEx engine;
    _KXMCaptureDeviceInfo* first = engine.ImportGraph(L"C:\\Graphs\\scope.v2.grf");
    ASSERT_NE(first, nullptr);
    EXPECT_STREQ(first->displayName, L"scope.v2");
    EXPECT_EQ(engine.ImportGraph(L"c:\\graphs\\SCOPE.V2.GRF"), nullptr);
    // A name without a full stop is kept whole.
    _KXMCaptureDeviceInfo* plain = engine.ImportGraph(L"C:\\Graphs\\scope");
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(plain->displayName, L"scope");
    EXPECT_EQ(engine.GetDeviceCount(), 2);

    engine.RemoveEntry(first);
    _KXMCaptureDeviceInfo stranger;
    engine.RemoveEntry(&stranger);
    ASSERT_EQ(engine.GetDeviceCount(), 1);
    EXPECT_EQ(engine.GetEntry(0), plain);
}

TEST(MonitorDeviceText, TrailingLinesThatDoNotFitAreDroppedWhole)
{
    CKXMCaptureEx engine;
    for (int i = 0; i < 40; ++i)
        engine.ImportGraph(CString(L"C:\\graph") + CString(std::to_wstring(i).c_str()) + L".grf");
    const CString text = engine.DeviceText(511);
    EXPECT_LE(text.GetLength(), 511);
    ASSERT_GT(text.GetLength(), 0);
    EXPECT_EQ(text[text.GetLength() - 1], L'\n');
    EXPECT_TRUE(std::wstring(text.GetString()).starts_with(L"2@@C:\\graph0.grf@@@@graph0@@0@@0@@0\n"));
}

TEST(MonitorLog, ReportsReachThePanelOnlyOnceOneIsAttached)
{
    quiva::DebugCapture debug;
    CKXMCaptureEx engine;
    engine.Log(L"lost");
    EXPECT_EQ(engine.CheckResult(S_OK, L"fine"), 0);
    EXPECT_EQ(engine.CheckResult(E_FAIL, L"Connect Pin"), 1);
    std::vector<std::wstring> log;
    engine.SetMessageSink([&](const CString& t) { log.push_back(t.GetString()); });
    engine.Log(L"shown");
    engine.CheckResult(E_FAIL, L"Connect Pin");
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], L"shown");
    EXPECT_TRUE(log[1].starts_with(L" (0x80004005) ")) << log[1];
    EXPECT_EQ(debug.Lines().size(), 2u);
}

namespace {

class ListedEngine : public CKXMCaptureEx {
public:
    void Add(int type, const wchar_t* source, const wchar_t* connector, const wchar_t* display, int pin)
    {
        auto* e = new _KXMCaptureDeviceInfo;
        e->type = type;
        e->sourceName = source;
        e->connectorName = connector;
        e->displayName = display;
        e->pinIndex = pin;
        m_devices.Add(e);
    }
};

}  // namespace

TEST(MonitorDeviceText, EntriesThatWouldReadBackAsOthersAreLeftOut)
{
    ListedEngine engine;
    engine.Add(0, L"Card@", L"Video", L"Card@ [Video]", 1);      // "Card" with connector "@Video"
    engine.Add(0, L"Card", L"@Video", L"Card [@Video]", 2);
    engine.Add(1, L"Cam@@era", L"", L"Cam", 0);
    engine.Add(1, L"Cam\nera", L"", L"Cam", 0);
    engine.Add(1, std::wstring(1, static_cast<wchar_t>(0xD800)).c_str(), L"", L"lone surrogate", 0);
    engine.Add(1, L"Cam@era", L"", L"카메라 \U0001F4F7", 7);          // "@" inside a name reads back
    const std::wstring text = engine.DeviceText(511).GetString();
    EXPECT_EQ(text, L"1@@Cam@era@@@@카메라 \U0001F4F7@@0@@7@@0\n");
    CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*> read;
    CKXMCapture::ParseDeviceText(text, false, read);
    ASSERT_EQ(read.GetSize(), 1);
    EXPECT_STREQ(read[0]->displayName, L"카메라 \U0001F4F7");
    delete read[0];
}

TEST(MonitorDeviceText, TheViewIsCountedInUtf16Units)
{
    // Names beyond the Basic Multilingual Plane take two units each in the view.
    ListedEngine engine;
    const std::wstring camera(20, L'\U0001F4F7');
    for (int i = 0; i < 12; ++i)
        engine.Add(1, camera.c_str(), L"", (camera + std::to_wstring(i)).c_str(), 1234);
    const std::wstring text = engine.DeviceText(KXM_SHARED_MEMORY_SIZE / 2 - 1).GetString();
    EXPECT_LE(quiva::Utf16Length(text), static_cast<size_t>(KXM_SHARED_MEMORY_SIZE / 2 - 1));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), L'\n');
    CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*> read;
    CKXMCapture::ParseDeviceText(text, false, read);
    ASSERT_GT(read.GetSize(), 0);
    for (INT_PTR i = 0; i < read.GetSize(); ++i) {
        EXPECT_EQ(read[i]->pinIndex, 1234);
        EXPECT_STREQ(read[i]->displayName, (camera + std::to_wstring(i)).c_str());
        delete read[i];
    }
}
