// The capture module as a clinic uses it, through the stand-in host program with no display:
// the module loads (usage record, the device monitor's list), shows the sample patient with a
// running preview, takes a still and a recording with the keys, keeps them in the temporary
// store across a close, saves them into the clinic records and the image directory with
// Ctrl+S (on PostgreSQL also sending the still to storescp as the PACS), and unloads leaving no
// thread and no window class behind.
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "platform/base/codepage.h"
#include "platform/gdi/gdiplus.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/support/HostProgramSupport.h"
#include "tests/support/Command.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {
using EndToEnd = ClinicHost;

enum class Records { SQLite, PostgreSQL };

std::string Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The embedded default as prepared, or the clinic on the PostgreSQL test server with storescp as
// its PACS (the PACS functions on, stills sent when saved).
class MainJob : public ClinicHost, public testing::WithParamInterface<Records> {
protected:
    void SetUp() override
    {
        ClinicHost::SetUp();
        if (GetParam() == Records::SQLite)
            return;
        QUIVA_REQUIRE_POSTGRES(server);
        std::string why;
        ASSERT_TRUE(UsePostgres(server, &why)) << why;
        fs::create_directories(Received());
        m_pacs = std::make_unique<Storescp>(Received(), std::vector<std::string>{"+xa"});
        ASSERT_TRUE(m_pacs->running());
        ASSERT_TRUE(UsePacs(m_pacs->port(), "saveWhenClose=\"TRUE\" useVideo=\"TRUE\" recordLimitTime=\"30\" captureKey=\"32\""));
    }
    std::string Received() const { return m_dir.Native("pacs"); }

    std::unique_ptr<Storescp> m_pacs;
};

std::string RecordsName(const testing::TestParamInfo<Records>& info)
{
    return info.param == Records::SQLite ? "SQLite" : "PostgreSQLWithPacs";
}

}  // namespace

TEST_P(MainJob, StillAndRecordingStayInTheStoreUntilCtrlSSavesThemIntoTheClinicRecords)
{
    // First session: capture, then the host closes the window (nothing is committed).
    HostRun first = Run(R"(parent
show 12345 2024-01-05
wait-preview 60000
expect-shown 1
print
activate
key space
wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000
key f6
wait 1500
key f6
keydown ctrl
keydown s
keyup ctrl
keyup s
wait-files d/HRB4100/IMAGE/*/*/*/*/* 0 60000
close
expect-shown 0
unload
)");
    ASSERT_EQ(first.status, 0) << first.output;
    // Loading: usage record, the device list read from the monitor program, which is gone.
    EXPECT_NE(first.output.find("CKXEULAdmit end"), std::string::npos);
    EXPECT_NE(first.output.find("m_capture.ConstructDeviceList() end"), std::string::npos);
    EXPECT_NE(first.output.find("kill"), std::string::npos);
    EXPECT_EQ(SessionProcesses("QUIVACaptureMan"), 0);
    EXPECT_NE(first.output.find("RegisterClassQUIVA end"), std::string::npos);
    EXPECT_NE(first.output.find("capture window: \"영상얻기 (12345-홍길동)\" at 560,240 size 800x600 visible topmost"),
              std::string::npos)
        << first.output;
    EXPECT_NE(first.output.find("CREATEWND#7"), std::string::npos);
    EXPECT_NE(first.output.find("P#6"), std::string::npos);  // the preview runs
    EXPECT_NE(first.output.find("Terminate App"), std::string::npos);
    // Nothing of the module stays: no thread, no window class.
    EXPECT_NE(first.output.find("unloaded: 1 threads (1 before loading), 0 window classes"), std::string::npos) << first.output;
    std::string registry = RunCommand("grep -rl lastUse " + Data() + "/registry");
    EXPECT_FALSE(registry.empty());

    std::vector<std::string> stored = FilesBelow("temp/image");
    std::string jpg, avi;
    for (const std::string& f : stored) {
        if (EndsWith(f, ".jpg"))
            jpg = f;
        if (EndsWith(f, ".avi"))
            avi = f;
    }
    ASSERT_FALSE(jpg.empty()) << ::testing::PrintToString(stored);
    ASSERT_FALSE(avi.empty()) << ::testing::PrintToString(stored);
    EXPECT_EQ(jpg.rfind("12345/", 0), 0u);
    EXPECT_NE(jpg.find("/20240105/"), std::string::npos);
    std::string why;
    EXPECT_TRUE(DecodesAsJpeg(Clinic() + "/temp/image/" + jpg, 1280, 720, &why)) << why;
    EXPECT_TRUE(ProbesAsAvi(Clinic() + "/temp/image/" + avi, &why)) << why;
    // Ctrl let go before S commits nothing, and the host's close does not commit either.
    EXPECT_TRUE(Rows("SELECT * FROM MMAIN").empty());
    std::string lastSave = Bytes(Clinic() + "/exe/QUIVA.Capture.LastSave");
    EXPECT_NE(lastSave.find("<window x=\"560\" y=\"240\" width=\"800\" height=\"600\""), std::string::npos) << lastSave;
    EXPECT_NE(lastSave.find("QUIVA Capture Card"), std::string::npos) << lastSave;  // the monitor's device
    std::string stillBytes = Bytes(Clinic() + "/temp/image/" + jpg);
    std::string videoBytes = Bytes(Clinic() + "/temp/image/" + avi);

    // Second session: the store's captures come back; Ctrl+S saves them; the close button ends it.
    HostRun second = Run(R"(show 12345 2024-01-05
wait-preview 60000
activate
key ctrl+s
wait-files d/HRB4100/IMAGE/*/*/*/*/* 2 60000
wait-files d/HRB4100/temp/image/12345/*/*/* 0 60000
click 20 50
wait-closed 60000
expect-shown 0
unload
)");
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_NE(second.output.find("Close#1"), std::string::npos);
    EXPECT_NE(second.output.find("Destroy#8"), std::string::npos);
    EXPECT_NE(second.output.find("unloaded: 1 threads (1 before loading), 0 window classes"), std::string::npos) << second.output;
    EXPECT_EQ(Rows("SELECT CNO, ONO, MDATE FROM MMAIN"), (std::vector<std::string>{"12345|1|2024-01-05"}));
    EXPECT_EQ(Rows("SELECT CNO, ONO, IMGFORMAT, IMGTYPE, IMGNAME FROM MIMG ORDER BY IMGNO"),
              (std::vector<std::string>{"12345|1|7|0|1", "12345|1|7|1|2"}));
    EXPECT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.jpg", "00/00/00/00/2.avi"}));
    EXPECT_EQ(Bytes(Clinic() + "/IMAGE/00/00/00/00/1.jpg"), stillBytes);
    EXPECT_EQ(Bytes(Clinic() + "/IMAGE/00/00/00/00/2.avi"), videoBytes);
    EXPECT_FALSE(fs::exists(Clinic() + "/temp/image/12345"));

    if (!m_pacs) {
        EXPECT_EQ(second.output.find("Send DICOM #1"), std::string::npos);  // no PACS
        return;
    }
    // The still, not the recording, reached the PACS as a Secondary Capture in JPEG Baseline.
    std::vector<std::string> received = FilesIn(Received());
    ASSERT_EQ(received.size(), 1u) << ::testing::PrintToString(received) << second.output;
    std::string dump = RunCommand("dcmdump -Un '" + Received() + "/" + received[0] + "'");
    EXPECT_NE(dump.find("1.2.840.10008.5.1.4.1.1.7"), std::string::npos) << dump;
    EXPECT_NE(dump.find("1.2.840.10008.1.2.4.50"), std::string::npos) << dump;
    EXPECT_NE(dump.find("[1.2.999.424242.1.11.12345678.1.12345.20240105.1.1.1]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(0010,0020) LO [12345]"), std::string::npos) << dump;
}

INSTANTIATE_TEST_SUITE_P(Records, MainJob, testing::Values(Records::SQLite, Records::PostgreSQL), RecordsName);

// ShowModal keeps the host waiting while its loop runs; a Show from inside the loop re-targets
// the open window to another patient, whose tab goes in front of the first one's. The close
// button ends the loop (saving both patients' captures) and takes the host's window with it.
TEST_F(EndToEnd, AShowInsideTheModalLoopAddsTheSecondPatientsTabAndTheCloseButtonEndsTheLoop)
{
    std::string picture = std::string(QUIVA_BINARY_DIR) + "/reference-pictures/capture-window-two-patients.png";
    fs::create_directories(fs::path(picture).parent_path());
    HostRun modal = Run(R"(parent
showmodal 12345 2024-01-05
wait-preview 60000
activate
key space
wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000
show 67890 2024-01-06
wait-preview 60000
activate
key space
wait-files d/HRB4100/temp/image/67890/*/*/*.jpg 1 60000
print
picture )" + picture + R"(
click 20 50
wait-closed 60000
print
expect-shown 0
unload
)");
    ASSERT_EQ(modal.status, 0) << modal.output;
    EXPECT_NE(modal.output.find("capture window: \"영상얻기 (67890-김영희)\""), std::string::npos) << modal.output;
    // The loop ended only after the close: the print inside it saw the window, the one after saw none.
    size_t inside = modal.output.find("capture window: \"영상얻기 (67890-김영희)\"");
    size_t returned = modal.output.find("showmodal returned");
    ASSERT_NE(returned, std::string::npos);
    EXPECT_LT(inside, returned);
    // The capture window's modal close took the window the host gave it, as hosts expect.
    EXPECT_NE(modal.output.find("host window: present"), std::string::npos);
    EXPECT_NE(modal.output.find("host window: gone", returned), std::string::npos) << modal.output;
    EXPECT_TRUE(fs::exists(picture));
    EXPECT_EQ(Rows("SELECT CNO, MDATE FROM MMAIN ORDER BY CNO"), (std::vector<std::string>{"12345|2024-01-05", "67890|2024-01-06"}));
    EXPECT_EQ(FilesBelow("IMAGE").size(), 2u);
}

// QUIVACaptureClose during ShowModal ends the modal loop with the window; a later Show builds
// and shows a window again instead of reusing the closed one.
TEST_F(EndToEnd, CloseEndsAModalShowAndTheNextShowShowsAWindowAgain)
{
    HostRun run = Run(R"(showmodal 12345 2024-01-05
wait-preview 60000
close
wait-closed 60000
expect-shown 0
print
show 12345 2024-01-05
wait-shown 60000
expect-shown 1
print
close
expect-shown 0
unload
)");
    ASSERT_EQ(run.status, 0) << run.output;
    size_t returned = run.output.find("showmodal returned");
    ASSERT_NE(returned, std::string::npos) << run.output;
    EXPECT_NE(run.output.find("capture window: \"영상얻기 (12345-홍길동)\" at 560,240 size 800x600 visible topmost", returned),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(Rows("SELECT * FROM MMAIN").empty());
}

// Space is the capture window's own while it is active; Pause is seen always. With "방해받지
// 않기" ticked, Space takes stills while another window is active too, and the choice is kept in
// the LastSave file for the next window.
TEST_F(EndToEnd, WithNoPreventTheCaptureKeyIsSeenWhileAnotherWindowIsActive)
{
    auto stills = [&] {
        int n = 0;
        for (const std::string& f : FilesBelow("temp/image"))
            n += EndsWith(f, ".jpg");
        return n;
    };
    // The sample patient's window, made active, and then another window active instead.
    // A wait for files runs once the keys typed before it have been handled.
    const std::string shown = "show 12345 2024-01-05\nwait-preview 60000\nactivate\ndeactivate\n";
    const std::string stored = "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg ";
    HostRun run = Run(shown + "key space\n" + stored + "0 60000\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(stills(), 0);
    run = Run(shown + "key pause\n" + stored + "1 60000\nactivate\nclick 700 50\ndeactivate\nkey space\n" + stored +
              "2 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(stills(), 2);
    EXPECT_NE(Bytes(Clinic() + "/exe/QUIVA.Capture.LastSave").find("noPrevent=\"1\""), std::string::npos);
    run = Run(shown + "key space\n" + stored + "3 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(stills(), 3);
}

// A recording running when the window goes ends whole first, whichever way it goes: the host's
// Close, Clear, a Show for another patient, the close button, and unloading the module.
TEST_F(EndToEnd, EveryWayOfClosingEndsARunningRecordingWhole)
{
    // The recording's length is what a fixed wait is for here.
    const std::string recording = "wait-preview 60000\nactivate\nkey f6\nwait 700\n";
    HostRun run = Run("parent\nshow 12345 2024-01-05\n" + recording + "close\n" +  //
                      "show 12345 2024-01-05\n" + recording + "clear\n" +            //
                      "show 12345 2024-01-05\n" + recording + "show 67890 2024-01-06\n" + recording +
                      "click 20 50\nwait-closed 60000\n" +  //
                      "show 67890 2024-01-06\n" + recording + "unload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    std::vector<std::string> videos;
    for (const std::string& folder : {std::string("temp/image"), std::string("IMAGE")})
        for (const std::string& f : FilesBelow(folder))
            if (EndsWith(f, ".avi"))
                videos.push_back(Clinic() + "/" + folder + "/" + f);
    ASSERT_EQ(videos.size(), 5u) << ::testing::PrintToString(videos) << run.output;
    for (const std::string& v : videos) {
        std::string why;
        EXPECT_TRUE(ProbesAsAvi(v, &why)) << v << ": " << why;
    }
    // The last one, ended by the unload, is listed in its folder for the next window.
    std::vector<std::string> stored = FilesBelow("temp/image/67890");
    ASSERT_EQ(stored.size(), 2u) << ::testing::PrintToString(stored);
    std::string info = Bytes(Clinic() + "/temp/image/67890/" + (EndsWith(stored[0], "info.xml") ? stored[0] : stored[1]));
    EXPECT_NE(info.find("IsVideo=\"TRUE\""), std::string::npos) << info;
}

// A device monitor that ends without publishing its list, at the load and at the first Show: the
// window says that no capture device was found instead of staying black with keys that do
// nothing; the next Show asks the monitor again and the preview runs.
TEST_F(EndToEnd, WithoutASourceListTheWindowSaysSoAndTheNextShowAsksTheMonitorAgain)
{
    const std::string picture = m_dir.Native("no-device.png");
    const std::string monitor = std::string(QUIVA_BINARY_DIR) + "/tests/helpers";
    HostRun run = Run("show 12345 2024-01-05\nwait-shown 60000\npicture " + picture +
                          "\nclose\nshow 12345 2024-01-05\nwait-preview 60000\nclose\nunload\n",
                      "PATH=" + monitor + ":$PATH QUIVA_TEST_DEVICE_STARTS=" + m_dir.Native("starts") + " QUIVA_TEST_DEVICE_FROM=3" +
                          " 'QUIVA_TEST_DEVICE_TEXT=0@@QUIVA Capture Card Crossbar@@Video@@QUIVA Capture Card Crossbar "
                          "[Video]@@0@@1@@2'");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("No data in shared memory"), std::string::npos) << run.output;
    // The notice: white text in the middle of the black video area (left of the strip).
    std::unique_ptr<Gdiplus::Bitmap> shot(Gdiplus::Bitmap::FromFile(quiva::Utf8ToWide(picture).c_str()));
    ASSERT_TRUE(shot && shot->GetWidth() > 0);
    const int w = static_cast<int>(shot->GetWidth()), h = static_cast<int>(shot->GetHeight());
    int white = 0;
    for (int y = h * 2 / 5; y < h * 3 / 5; ++y)
        for (int x = w / 10; x < w / 2; ++x) {
            Gdiplus::Color c;
            shot->GetPixel(x, y, &c);
            white += c.GetR() > 200 && c.GetG() > 200 && c.GetB() > 200;
        }
    EXPECT_GT(white, 50) << "no notice in " << picture;
}
