// The capture module as a clinic uses it, through the stand-in host program with no display:
// the module loads (usage record, the device monitor's list), shows the sample patient with a
// running preview, takes a still and a recording with the keys, keeps them in the temporary
// store across a close, saves them into the clinic records and the image directory with
// Ctrl+S, and unloads leaving no thread and no window class behind.
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/host/HostTestSupport.h"
#include "tests/support/Command.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {
using EndToEnd = ClinicHost;

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
}  // namespace

TEST_F(EndToEnd, StillAndRecordingStayInTheStoreUntilCtrlSSavesThemIntoTheClinicRecords)
{
    // First session: capture, then the host closes the window (nothing is committed).
    HostRun first = Run(R"(parent
show 12345 2024-01-05
wait 1500
expect-shown 1
print
activate
key space
wait 500
key f6
wait 1500
key f6
wait 800
keydown ctrl
keydown s
keyup ctrl
keyup s
wait 300
close
expect-shown 0
unload
)");
    ASSERT_EQ(first.status, 0) << first.output;
    // Loading: usage record, the device list read from the monitor program.
    EXPECT_NE(first.output.find("CKXEULAdmit end"), std::string::npos);
    EXPECT_NE(first.output.find("m_capture.ConstructDeviceList() end"), std::string::npos);
    EXPECT_NE(first.output.find("RegisterClassQUIVA end"), std::string::npos);
    EXPECT_NE(first.output.find("capture window: \"영상얻기 (12345-홍길동)\" at 560,240 size 800x600 visible topmost"),
              std::string::npos)
        << first.output;
    EXPECT_NE(first.output.find("CREATEWND#7"), std::string::npos);
    EXPECT_NE(first.output.find("P#6"), std::string::npos);  // the preview runs
    EXPECT_NE(first.output.find("Terminate App"), std::string::npos);
    // The window classes go with the module. (The platform's timer-queue and sound threads stay
    // with the process that loaded it.)
    EXPECT_NE(first.output.find(" threads, 0 window classes"), std::string::npos) << first.output;
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
    EXPECT_TRUE(fs::exists(Clinic() + "/exe/QUIVA.Capture.LastSave"));
    std::string stillBytes = Bytes(Clinic() + "/temp/image/" + jpg);
    std::string videoBytes = Bytes(Clinic() + "/temp/image/" + avi);

    // Second session: the store's captures come back; Ctrl+S saves them; the close button ends it.
    HostRun second = Run(R"(show 12345 2024-01-05
wait 1500
activate
key ctrl+s
wait 1500
click 20 50
wait 500
expect-shown 0
unload
)");
    ASSERT_EQ(second.status, 0) << second.output;
    EXPECT_NE(second.output.find("Close#1"), std::string::npos);
    EXPECT_NE(second.output.find("Destroy#8"), std::string::npos);
    EXPECT_EQ(Rows("SELECT CNO, ONO, MDATE FROM MMAIN"), (std::vector<std::string>{"12345|1|2024-01-05"}));
    EXPECT_EQ(Rows("SELECT CNO, ONO, IMGFORMAT, IMGTYPE, IMGNAME FROM MIMG ORDER BY IMGNO"),
              (std::vector<std::string>{"12345|1|7|0|1", "12345|1|7|1|2"}));
    EXPECT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.jpg", "00/00/00/00/2.avi"}));
    EXPECT_EQ(Bytes(Clinic() + "/IMAGE/00/00/00/00/1.jpg"), stillBytes);
    EXPECT_EQ(Bytes(Clinic() + "/IMAGE/00/00/00/00/2.avi"), videoBytes);
    EXPECT_FALSE(fs::exists(Clinic() + "/temp/image/12345"));
}

// ShowModal keeps the host waiting while its loop runs; a Show from inside the loop re-targets
// the open window to another patient, whose tab goes in front of the first one's. The close
// button ends the loop (saving both patients' captures) and takes the host's window with it.
TEST_F(EndToEnd, AShowInsideTheModalLoopAddsTheSecondPatientsTabAndTheCloseButtonEndsTheLoop)
{
    std::string picture = std::string(QUIVA_BINARY_DIR) + "/reference-pictures/capture-window-two-patients.png";
    fs::create_directories(fs::path(picture).parent_path());
    HostRun modal = Run(R"(parent
showmodal 12345 2024-01-05
wait 1500
activate
key space
wait 600
show 67890 2024-01-06
wait 1000
activate
key space
wait 600
print
picture )" + picture + R"(
click 20 50
wait 500
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
    EXPECT_TRUE(fs::exists(picture));
    EXPECT_EQ(Rows("SELECT CNO, MDATE FROM MMAIN ORDER BY CNO"), (std::vector<std::string>{"12345|2024-01-05", "67890|2024-01-06"}));
    EXPECT_EQ(FilesBelow("IMAGE").size(), 2u);
}

// QUIVACaptureClose during ShowModal ends the modal loop with the window; a later Show builds
// and shows a window again instead of reusing the closed one.
TEST_F(EndToEnd, CloseEndsAModalShowAndTheNextShowShowsAWindowAgain)
{
    HostRun run = Run(R"(showmodal 12345 2024-01-05
wait 1200
close
wait 300
expect-shown 0
print
show 12345 2024-01-05
wait 1200
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
