// What the person at the capture window is told, through the stand-in host with the real module:
// every way of saving tells, once, the stills the PACS did not take, and a recording that cannot
// start says so instead of doing nothing.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/BmpFiles.h"
#include "tests/support/Command.h"
#include "tests/support/HostProgramSupport.h"
#include "tests/support/dicom/TestPeer.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

int Count(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

class Telling : public ClinicHost {
protected:
    // The clinic sends its stills to a PACS on `port`, and saves when the window closes.
    void UsePacs(int port)
    {
        ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                            "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"TRUE\" useVideo=\"TRUE\" "
               "recordLimitTime=\"30\" captureKey=\"32\"/><pacs><MWL ip=\"127.0.0.1\" port=\""
            << port << "\" aeTitle=\"PACS\" sendDICOM=\"1\"/></pacs></Configruation>";
    }
    int MissedShown(const HostRun& run) const { return Count(run.output, "dialog shown: \"PACS 전송 오류\""); }
    // The script's lines that wait for a message titled so and close it.
    static std::string CloseTold(const std::string& title)
    {
        return "wait-dialog \"" + title + "\" 60000\nkey escape\nwait-no-dialog 60000\n";
    }
    // How often the person was told of missed stills in a box beginning with `whose`.
    int MissedToldAs(const HostRun& run, const std::string& whose) const
    {
        return Count(run.output, "Told \"PACS 전송 오류\": " + whose + ": 영상 1장이 PACS에 저장되지 않았습니다.");
    }
};

// A still taken and then saved each way a person saves: Ctrl+S, the host's Clear, the close
// button (saving when the window closes). Nobody listens at the PACS's port: each save tells it
// once, and the stills are in the clinic records all the same.
TEST_F(Telling, EverySaveTellsOnceTheStillsThePacsDidNotTake)
{
    UsePacs(UnusedPort());
    const std::string still = "activate\nkey space\nwait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\n";
    const std::string told = "wait-dialog \"PACS 전송 오류\" 60000\nkey escape\nwait-no-dialog 60000\n";
    HostRun run = Run("parent\nshow 12345 2024-01-05\nwait-preview 60000\n" + still +  //
                      "key ctrl+s\n" + told + "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\n" + still +  //
                      "clear\n" + told + "wait-files d/HRB4100/IMAGE/*/*/*/*/* 2 60000\n" +             //
                      "show 12345 2024-01-05\nwait-preview 60000\n" + still +                            //
                      "click 20 50\n" + told + "wait-closed 60000\nexpect-shown 0\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(MissedShown(run), 3) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"3"});
    EXPECT_EQ(FilesBelow("IMAGE").size(), 3u);
}

// Another patient's still waits in the store; closing that patient's tab (its close box)
// saves it and tells that the PACS did not take it, naming that patient over the window that
// shows another.
TEST_F(Telling, ClosingAnotherPatientsTabTellsTheStillThePacsDidNotTake)
{
    UsePacs(UnusedPort());
    const std::string folder = Clinic() + "/temp/image/67890/Endo/20240105";
    fs::create_directories(folder);
    std::ofstream(folder + "/100000000.bmp", std::ios::binary) << MakeBmp(320, 240, 24, {}, [](int x, int y) {
        return static_cast<uint32_t>(x * 7 + y);
    });
    std::ofstream(folder + "/info.xml") << "<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"67890\">B</patient></QUIVA>";
    // The tabs: "12345-홍길동" first, then "67890-B" with its close box at 748,90.
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nclick 748 90\n"
                      "wait-dialog \"PACS 전송 오류\" 60000\nkey escape\nwait-no-dialog 60000\n"
                      "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(MissedShown(run), 1) << run.output;
    EXPECT_EQ(MissedToldAs(run, "차트 67890 B"), 1) << run.output;
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), std::vector<std::string>{"67890"});
}

// A clinic database the window cannot use (a PostgreSQL server nobody runs, a database file that
// is no database) is told once the window is up, and the window still files a still under the
// chart it was given.
TEST_F(Telling, AClinicDatabaseThatCannotBeUsedIsToldAtShow)
{
    const std::string unusable[] = {
        "postgres",  // DBServer.ini naming a server at a port nobody listens on
        "file",      // the SQLite file overwritten with text
    };
    for (const std::string& kind : unusable) {
        SCOPED_TRACE(kind);
        fs::remove_all(Clinic() + "/temp");
        if (kind == "postgres")
            std::ofstream(Clinic() + "/DBServer.ini")
                << "[Connection Config]\nDBMSKind=PostgreSQL\nPGHostIPAddress=127.0.0.1\nPGPort=" << UnusedPort() << "\n";
        else
            std::ofstream(Clinic() + "/HRB4100.db") << std::string(4096, 'x');
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"FALSE\"/></Configruation>";
        const std::string title = "데이터베이스 오류";
        HostRun run = Run("show 12345 2024-01-05\nwait-shown 60000\n" + CloseTold(title) +
                          "wait-preview 60000\nactivate\nkey space\nwait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\n"
                          "close\nunload\n");
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Count(run.output, "dialog shown: \"" + title + "\""), 1) << run.output;
        EXPECT_NE(run.output.find("Show: told \"" + title + "\": 데이터베이스에 연결할 수 없어"), std::string::npos) << run.output;
    }
}

// Showing another chart saves the one shown before (save-when-close is on): the box telling
// what the PACS missed names the patient it was, not the one now asked for.
TEST_F(Telling, ShowingAnotherChartNamesWhoseStillsThePacsMissed)
{
    UsePacs(UnusedPort());
    HostRun run = Run("parent\nshow 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\nshow 67890 2024-01-05\n"
                      "wait-dialog \"PACS 전송 오류\" 60000\nkey escape\nwait-no-dialog 60000\n"
                      "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nwait-preview 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(MissedShown(run), 1) << run.output;
    EXPECT_EQ(MissedToldAs(run, "차트 12345 홍길동"), 1) << run.output;
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), std::vector<std::string>{"12345"});
}

// A source whose first picture is far off: the preview runs, but the engine has no frame to
// start a recording with. F6 and the video button each say that no recording started.
TEST_F(Telling, ARecordingThatCannotStartIsTold)
{
    std::ofstream(Data() + "/devices.txt") << "card \"QUIVA Capture Card\" late_first_frame=600000\n";
    HostRun run = Run("show 12345 2024-01-05\nwait-shown 60000\nactivate\nkey f6\n"
                      "wait-dialog \"영상획득 오류\" 60000\nkey escape\nwait-no-dialog 60000\n"
                      "click 143 50\nwait-dialog \"영상획득 오류\" 60000\nkey escape\nwait-no-dialog 60000\n"
                      "close\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Count(run.output, "dialog shown: \"영상획득 오류\""), 2) << run.output;
    for (const std::string& f : FilesBelow("temp/image"))
        EXPECT_EQ(f.find(".avi"), std::string::npos) << f;
}

// A recording the platform gives no timer to is refused as any refused recording is told, and
// leaves no file behind (no one-frame recording listed as the patient's).
TEST_F(Telling, ARecordingWithoutItsTimerIsRefusedAndLeavesNoFile)
{
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string noTimer = "LD_PRELOAD=" + std::string(QUIVA_BINARY_DIR) +
                                "/tests/helpers/libNoRecordingTimer.so ASAN_OPTIONS='" +
                                (asan ? std::string(asan) + ":" : std::string()) + "verify_asan_link_order=0'";
    HostRun run = Run("show 12345 2024-01-05\nwait-shown 60000\nwait-preview 60000\nactivate\nkey f6\n"
                      "wait-dialog \"영상획득 오류\" 60000\nkey escape\nwait-no-dialog 60000\n"
                      "close\nunload\n",
                      noTimer);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Count(run.output, "dialog shown: \"영상획득 오류\""), 1) << run.output;
    for (const std::string& f : FilesBelow("temp/image"))
        EXPECT_EQ(f.find(".avi"), std::string::npos) << f;
}

// The disk of the store fills while a recording runs: the recording stops there and the person
// is told why, once; what was recorded is listed at once and, with room again, saved whole.
TEST_F(Telling, ARecordingStoppedByAFullDiskIsToldAndKeptWhole)
{
    const std::string before = m_dir.Native("before.png"), after = m_dir.Native("after.png");
    const std::string record = "show 12345 2024-01-05\nwait-preview 60000\nactivate\npicture " + before +
                               "\nkey f6\nwait-dialog \"디스크오류\" 60000\nkey escape\nwait-no-dialog 60000\npicture " +
                               after + "\nclose\nunload\n";
    const std::string save = "wait-files room 1 600000\nshow 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
                             "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\n"
                             "wait-files d/HRB4100/temp/image/12345/*/*/*.avi 0 60000\nclose\nunload\n";
    std::ofstream(Data() + "/host.sh") << HostCommand({record, save}) << "\n";
    // The disk is filled once the recording's first frame is going into its file, and emptied
    // once the host has told (or its script has failed).
    const std::string script =
        "sh \"$2/host.sh\" > \"$2/host.txt\" 2>&1 & host=$!\n"
        "i=0; until find \"$1\" -name '*.avi' -size +2k | grep -q . || ! kill -0 $host 2>/dev/null || [ $i -ge 1800 ]; "
        "do sleep 0.1; i=$((i+1)); done\n"
        "head -c 16m /dev/zero > \"$1/fill\" 2>/dev/null\n"
        "i=0; until grep -q -e 'Record: told' -e 'quiva-host: line' \"$2/host.txt\" || ! kill -0 $host 2>/dev/null || "
        "[ $i -ge 1800 ]; do sleep 0.1; i=$((i+1)); done\n"
        "rm -f \"$1/fill\"; touch \"$2/room\"\n"
        "wait $host; echo $? > \"$2/status.txt\"\n";
    std::string said;
    if (!RunOnSmallStore("8m", script, &said))
        GTEST_SKIP() << said;
    const std::string output = ReadAll(Data() + "/host.txt");
    ASSERT_EQ(ReadAll(Data() + "/status.txt"), "0\n") << output << said;
    EXPECT_EQ(Count(output, "dialog shown: \"디스크오류\""), 1) << output;
    EXPECT_NE(output.find("디스크가 가득 차서 동영상 녹화를 멈추었습니다."), std::string::npos) << output;
    // The stopped recording has its cell in the strip.
    EXPECT_GT(DifferingOnTheRight(before, after, 190, 150), 1000) << before << " " << after;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"1"});
    const std::vector<std::string> copies = FilesBelow("IMAGE");
    ASSERT_EQ(copies.size(), 1u);
    std::string why;
    EXPECT_TRUE(ProbesAsAvi(Clinic() + "/IMAGE/" + copies[0], &why)) << why;
}

}  // namespace
