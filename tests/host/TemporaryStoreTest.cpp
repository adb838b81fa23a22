// The temporary store as the stand-in host meets it: the store folder the configuration names,
// and a recording whose host was killed in the middle of it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/base/winpath.h"
#include "platform/media/vfw.h"
#include "tests/support/HostProgramSupport.h"
#include "tests/support/Command.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

using TemporaryStore = ClinicHost;

// The files whose names end in `tail`.
std::vector<std::string> Ending(const std::vector<std::string>& files, const std::string& tail)
{
    std::vector<std::string> out;
    for (const std::string& f : files)
        if (f.size() >= tail.size() && f.compare(f.size() - tail.size(), tail.size(), tail) == 0)
            out.push_back(f);
    return out;
}

// Frames a recording on disk holds so far, as the system's own reader finds them.
long FramesIn(const CString& path)
{
    PAVISTREAM stream = nullptr;
    if (AVIStreamOpenFromFileW(&stream, path, streamtypeVIDEO, 0, OF_READ, nullptr) != AVIERR_OK)
        return 0;
    const long frames = AVIStreamLength(stream);
    AVIStreamRelease(stream);
    return frames;
}

// Starts `command` in a process group of its own; KillHost ends the group with SIGKILL.
pid_t StartHost(const std::string& command)
{
    const pid_t host = ::fork();
    if (host == 0) {
        ::setpgid(0, 0);
        ::execl("/bin/sh", "sh", "-c", (command + " >/dev/null 2>&1").c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    if (host > 0)
        ::setpgid(host, host);
    return host;
}

void KillHost(pid_t host)
{
    ::kill(-host, SIGKILL);
    int status = 0;
    ::waitpid(host, &status, 0);
}

// Waits, up to a minute, for `done`.
bool WaitFor(const std::function<bool()>& done)
{
    for (int tries = 0; tries < 600; ++tries) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return done();
}

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

const char* const kShown = "show 12345 2024-01-05\nwait-preview 60000\nactivate\n";
const char* const kStudy = "12345|2024-01-05|\xEC\x9C\x84\xEB\x82\xB4\xEC\x8B\x9C\xEA\xB2\xBD";  // the first study title offered
const char* const kDeleteAllButton = "click 635 120\n";  // the strip's delete all, then restore all

// The next session's Ctrl+S, until `copies` files are in the image directory.
std::string SaveScript(int copies)
{
    return std::string(kShown) + "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* " + std::to_string(copies) +
           " 60000\nclose\nunload\n";
}

}  // namespace

TEST_F(TemporaryStore, StillsGoToTheConfiguredFolderAndNeverOutsideTheDataFolder)
{
    // A still, taken once the preview runs, and the window closed once it is in `store`.
    auto still = [](const std::string& store) {
        return "show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\nwait-files d/HRB4100/" + store +
               "/12345/*/*/*.jpg 1 60000\nclose\nunload\n";
    };
    auto configure = [&](const std::string& temp) {
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options/><folder><temp>" << temp
            << "</temp></folder></Configruation>";
    };
    configure("captures\\store");
    HostRun run = Run(still("captures/store"));
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> stills = Ending(FilesBelow("captures/store"), ".jpg");
    ASSERT_EQ(stills.size(), 1u) << ::testing::PrintToString(FilesBelow("")) << run.output;
    EXPECT_EQ(stills[0].rfind("12345/", 0), 0u) << stills[0];
    EXPECT_TRUE(Ending(FilesBelow("temp/image"), ".jpg").empty());

    // A folder that would leave the data folder is not taken: the store stays where it belongs.
    configure("..\\..\\outside");
    run = Run(still("temp/image"));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Ending(FilesBelow("temp/image"), ".jpg").size(), 1u) << ::testing::PrintToString(FilesBelow("")) << run.output;
    EXPECT_FALSE(fs::exists(Data() + "/outside"));
}

TEST_F(TemporaryStore, ARecordingCutByACrashComesBackPlayableAndIsSavedWhole)
{
    // The host records until it is killed.
    const pid_t host = StartHost(HostCommand({std::string(kShown) + "key f6\nwait 600000\n"}));
    ASSERT_GT(host, 0);
    std::string avi;
    for (int tries = 0; tries < 1200 && avi.empty(); ++tries) {
        for (const std::string& f : Ending(FilesBelow("temp/image"), ".avi"))
            if (FramesIn(m_dir.Win("d/HRB4100/temp/image/" + f)) >= 5)
                avi = f;
        if (avi.empty())
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    KillHost(host);
    ASSERT_FALSE(avi.empty()) << "no recording under way: " << ::testing::PrintToString(FilesBelow(""));
    for (const std::string& f : Ending(FilesBelow("temp/image"), "info.xml"))
        EXPECT_EQ(ReadAll(Clinic() + "/temp/image/" + f).find(".avi"), std::string::npos) << "listed before the crash";

    // The next window shows it kept; Ctrl+S saves it into the clinic records, mended.
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
                      "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT CNO, IMGTYPE, IMGNAME FROM MIMG"), (std::vector<std::string>{"12345|1|1"})) << run.output;
    // Under the study and date its folder names, not a study of its own.
    EXPECT_EQ(Rows("SELECT CNO, MDATE, TITLE FROM MMAIN"), (std::vector<std::string>{kStudy}));
    ASSERT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.avi"}));
    const std::string saved = Clinic() + "/IMAGE/00/00/00/00/1.avi";
    std::string why;
    EXPECT_TRUE(ProbesAsAvi(saved, &why)) << why;
    const std::string frames =
        RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 '" + saved + "'");
    EXPECT_GE(std::atoi(frames.c_str()), 5) << frames;
    EXPECT_TRUE(Ending(FilesBelow("temp/image"), ".avi").empty());
}

// A still whose host was killed at a step of its saving: `earlier` stills of the folder were
// taken whole before it.
struct StillCut {
    const char* name;
    const char* spec;
    int earlier;
    bool tornJpeg = false;  // the JPEG lost its tail with the crash (its bytes had not reached the disk)
};

void PrintTo(const StillCut& cut, std::ostream* out) { *out << cut.name; }

class CutStill : public ClinicHost, public testing::WithParamInterface<StillCut> {};

// The next session lists it (the strip, under the study and date it was taken under) and Ctrl+S
// saves it once, with the stills before it: one row and one copy each, nothing left behind.
TEST_P(CutStill, ComesBackUnderItsStudyAndIsSavedOnce)
{
    const StillCut& cut = GetParam();
    std::string script = kShown;
    for (int n = 1; n <= cut.earlier + 1; ++n)
        script += "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg " + std::to_string(n) +
                  " 60000\nwait-text d/HRB4100/temp/image/12345/*/*/info.xml .jpg 60000\n";
    HostRun crashed = Run(script + "close\nunload\n", KillAt(cut.spec));
    ASSERT_FALSE(KillMark().empty()) << "not killed at " << cut.spec << "\n" << crashed.output;
    if (cut.tornJpeg) {
        const std::vector<std::string> jpegs = Ending(FilesBelow("temp/image"), ".jpg");
        ASSERT_EQ(jpegs.size(), 1u);
        const std::string jpeg = Clinic() + "/temp/image/" + jpegs[0];
        fs::resize_file(jpeg, fs::file_size(jpeg) / 2);
    }

    const int stills = cut.earlier + 1;
    HostRun run = Run(SaveScript(stills));
    EXPECT_EQ(run.status, 0) << KillMark() << run.output;
    std::vector<std::string> rows;
    for (int n = 1; n <= stills; ++n)
        rows.push_back("12345|0|" + std::to_string(n));
    EXPECT_EQ(Rows("SELECT CNO, IMGTYPE, IMGNAME FROM MIMG ORDER BY IMGNAME"), rows) << KillMark();
    EXPECT_EQ(Rows("SELECT CNO, MDATE, TITLE FROM MMAIN"), (std::vector<std::string>{kStudy})) << KillMark();
    const std::vector<std::string> copies = FilesBelow("IMAGE");
    ASSERT_EQ(copies.size(), static_cast<size_t>(stills)) << ::testing::PrintToString(copies);
    std::string why;
    for (const std::string& copy : Ending(copies, ".jpg"))
        EXPECT_TRUE(DecodesAsJpeg(Clinic() + "/IMAGE/" + copy, 1280, 720, &why)) << copy << ": " << why;
    if (cut.tornJpeg) {  // the whole BMP, not the torn JPEG
        EXPECT_EQ(Ending(copies, ".bmp").size(), 1u) << ::testing::PrintToString(copies);
    }
    for (const std::string& f : FilesBelow("temp/image"))
        EXPECT_TRUE(Ending({f}, ".jpg").empty() && Ending({f}, ".bmp").empty()) << "left in the store: " << f;
}

INSTANTIATE_TEST_SUITE_P(
    TemporaryStore, CutStill,
    testing::Values(StillCut{"FirstOnceItsBmpIsWritten", "after:close:*/temp/image/*.bmp", 0},
                    StillCut{"FirstOnceItsJpegHasItsName", "after:rename:*/temp/image/*.jpg", 0},
                    StillCut{"FirstOnceItsJpegHasItsNameButNotItsBytes", "after:rename:*/temp/image/*.jpg", 0, true},
                    StillCut{"FirstOnceItsBmpHasGone", "after:unlink:*/temp/image/*.bmp", 0},
                    StillCut{"FirstBeforeItIsListed", "before:rename:*/temp/image/*/info.xml:2", 0},
                    StillCut{"SecondOnceItsJpegHasItsName", "after:rename:*/temp/image/*.jpg:2", 1}),
    [](const testing::TestParamInfo<StillCut>& info) { return std::string(info.param.name); });

// Delete all, a still (which writes the first one marked deleted), restore all, then a crash:
// every still comes back as the person left it, kept, and Ctrl+S saves both.
TEST_F(TemporaryStore, MarksAndTheirUndoOutliveACrash)
{
    const pid_t host = StartHost(HostCommand({std::string(kShown) +
                                              "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n" +
                                              kDeleteAllButton +
                                              "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 2 60000\n"
                                              "wait-text d/HRB4100/temp/image/12345/*/*/info.xml Deleted=\"TRUE\" 60000\n" +
                                              kDeleteAllButton + "wait 600000\n"}));
    ASSERT_GT(host, 0);
    // The restore has reached the disk: two stills listed, neither marked deleted.
    auto info = [&] {
        const std::vector<std::string> files = Ending(FilesBelow("temp/image"), "info.xml");
        return files.size() == 1 ? ReadAll(Clinic() + "/temp/image/" + files[0]) : std::string();
    };
    const bool restored = WaitFor([&] {
        const std::string text = info();
        return Count(text, "<image") == 2 && Count(text, "Deleted=\"FALSE\"") == 2;
    });
    KillHost(host);
    EXPECT_TRUE(restored) << info();

    HostRun run = Run(SaveScript(2));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT CNO, IMGTYPE, IMGNAME FROM MIMG ORDER BY IMGNAME"),
              (std::vector<std::string>{"12345|0|1", "12345|0|2"}));
    EXPECT_EQ(FilesBelow("IMAGE").size(), 2u);
    EXPECT_TRUE(Ending(FilesBelow("temp/image"), ".jpg").empty());
}
