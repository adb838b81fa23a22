// The temporary store as the stand-in host meets it: the store folder the configuration names,
// and a recording whose host was killed in the middle of it.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>

#include "platform/base/fileapi.h"
#include "platform/base/winpath.h"
#include "platform/media/vfw.h"
#include "tests/support/BmpFiles.h"
#include "tests/host/ClinicWithPacs.h"
#include "tests/support/HostProgramSupport.h"
#include "tests/support/Command.h"
#include "tests/support/dicom/NetTestSupport.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

class TemporaryStore : public ClinicHost {
protected:
    // Runs a script in a host killed at the file call `spec` names; what the kill mark says.
    std::string RunKilled(const std::string& script, const std::string& spec)
    {
        HostRun run = Run(script, KillAt(spec));
        EXPECT_NE(run.status, 0) << run.output;
        const std::string mark = KillMark();
        fs::remove(m_dir.Native("kill-mark"));
        return mark;
    }
};

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

// Whether a file is a whole RIFF form as every reader may take it: its size is the file's, and
// its chunks (the header list, the movie list, the index) follow one another to its end, each
// as long as its size says.
bool RiffTilesTheFile(const std::string& bytes, std::string* why)
{
    auto le32 = [&](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, bytes.data() + at, 4);
        return static_cast<uint64_t>(v);
    };
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || le32(4) + 8 != bytes.size()) {
        *why = "the RIFF size is not the file's";
        return false;
    }
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const std::string id = bytes.substr(pos, 4);
        if (id != "LIST" && id != "idx1" && id != "JUNK") {
            *why = "a chunk '" + id + "' at " + std::to_string(pos);
            return false;
        }
        pos += 8 + le32(pos + 4) + (le32(pos + 4) & 1);
    }
    *why = "the chunks end at " + std::to_string(pos) + " of " + std::to_string(bytes.size());
    return pos == bytes.size();
}

// The frames a recording's headers give, the frames ffprobe decodes, and the frames the
// system's own reader finds, checked to agree and to be at least `least`, in a whole file.
void ExpectWholeRecording(const std::string& native, const CString& path, long least)
{
    std::string why;
    EXPECT_TRUE(ProbesAsAvi(native, &why)) << why;
    EXPECT_TRUE(RiffTilesTheFile(ReadAll(native), &why)) << why;
    const std::string probe = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                         "stream=nb_frames,nb_read_frames -of csv=p=0 '" + native + "'");
    const size_t comma = probe.find(',');
    const long header = std::atol(probe.substr(0, comma).c_str());
    const long decoded = comma == std::string::npos ? -1 : std::atol(probe.c_str() + comma + 1);
    EXPECT_GE(decoded, least) << probe;
    EXPECT_EQ(header, decoded) << probe;
    EXPECT_EQ(FramesIn(path), decoded) << probe;
}

std::string Finding(const std::string& name) { return std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/cut_recording/" + name; }

constexpr const char* kStoreAvi = "*/temp/image/*.avi";
// A recording of 800 ms, ended by F6, in a window shown and active; the script ends once
// info.xml lists it.
constexpr const char* kRecord = "key f6\nwait 800\nkey f6\nwait-text d/HRB4100/temp/image/12345/*/*/info.xml .avi 60000\nclose\nunload\n";
constexpr const char* kShown = "show 12345 2024-01-05\nwait-preview 60000\nactivate\n";
const std::string kRecording = std::string(kShown) + kRecord;
// The window opened again and saved with Ctrl+S, until the store holds no recording.
constexpr const char* kSaveRecordings = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
                                        "wait-files d/HRB4100/temp/image/12345/*/*/*.avi 0 60000\nclose\nunload\n";

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

const char* const kStudy = "12345|2024-01-05|\xEC\x9C\x84\xEB\x82\xB4\xEC\x8B\x9C\xEA\xB2\xBD";  // the first study title offered
const char* const kDeleteAllButton = "click 635 120\n";  // the strip's delete all, then restore all

// The next session's Ctrl+S, until `copies` files are in the image directory.
std::string SaveScript(int copies)
{
    return std::string(kShown) + "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* " + std::to_string(copies) +
           " 60000\nclose\nunload\n";
}

}  // namespace

// An info.xml grown past the bound every reader keeps (edited by hand, or damaged) is not read:
// a debug line names it, its folder's stills come back as loose captures of the chart the
// folder's place names, nothing is removed, and the next save commits them.
TEST_F(TemporaryStore, AnInfoXmlPastTheBoundIsRefusedAndItsStillsComeBackAsLooseCaptures)
{
    HostRun took = Run(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\n"
                       "key space\nwait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 2 60000\nclose\nunload\n");
    ASSERT_EQ(took.status, 0) << took.output;
    const std::vector<std::string> stills = Ending(FilesBelow("temp/image"), ".jpg");
    const std::vector<std::string> infos = Ending(FilesBelow("temp/image"), "info.xml");
    ASSERT_EQ(stills.size(), 2u) << took.output;
    ASSERT_EQ(infos.size(), 1u) << took.output;
    const std::string info = Clinic() + "/temp/image/" + infos[0];
    std::string text = ReadAll(info);
    ASSERT_NE(text.find(".jpg"), std::string::npos);
    text.resize(quiva::kMaxDataFileBytes + 1, '\n');
    std::ofstream(info, std::ios::binary) << text;

    HostRun shown = Run("show 12345 2024-01-05\nwait-shown 60000\nclose\nunload\n");
    ASSERT_EQ(shown.status, 0) << shown.output;
    EXPECT_NE(shown.output.find("\\info.xml is not read (the file is larger than " + std::to_string(quiva::kMaxDataFileBytes) +
                                " bytes); the folder's captures are taken as loose files"),
              std::string::npos)
        << shown.output.substr(0, 20000);
    EXPECT_EQ(Ending(FilesBelow("temp/image"), ".jpg"), stills);

    HostRun saved = Run(SaveScript(2));
    ASSERT_EQ(saved.status, 0) << saved.output.substr(0, 20000);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"2"});
}

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

// A recording whose host was killed just after the sixth write of its file (its headers and five
// frames), then the fifth frame torn by the cut and zeros after it, as the disk may keep a file
// cut short; and beside it, lying unlisted in the study folder when the window opens, another
// program's AVI cut short (video and sound) and a recording cut inside its third chunk, then
// zeros, neither with the recorder's record of its frames. The next open mends the recording to
// its four whole frames, keeps the other two byte for byte, and the save stores all three so.
TEST_F(TemporaryStore, OnlyTheRecordersOwnCutFilesAreMendedAndOnlyAsFarAsTheirWholeFrames)
{
    if (RunCommand("command -v ffprobe").empty())
        GTEST_SKIP() << "ffprobe is not installed";
    const std::string mark = RunKilled(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n"
                                                             "key f6\nwait 120000\nclose\nunload\n",
                                       std::string("after:pwrite:") + kStoreAvi + ":6");
    ASSERT_NE(mark.find("kill-at-call: pwrite "), std::string::npos) << mark;
    const std::vector<std::string> cut = Ending(FilesBelow("temp/image"), ".avi");
    ASSERT_EQ(cut.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    const std::string own = Clinic() + "/temp/image/" + cut[0];
    std::string torn = ReadAll(own);
    ASSERT_GT(torn.size(), 64u);
    std::memset(&torn[torn.size() - 64], 0, 64);
    WriteAll(own, torn + std::string(4096, '\0'));

    const fs::path folder = fs::path(own).parent_path();
    const std::string foreign = ReadAll(Finding("repair1-foreign-av-truncated.avi"));
    const std::string cutInChunk = ReadAll(Finding("repair2-torn-id-zeros.avi"));
    WriteAll((folder / "080000000.avi").string(), foreign);
    WriteAll((folder / "080001000.avi").string(), cutInChunk);

    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
                      "wait-files d/HRB4100/IMAGE/*/*/*/*/* 4 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_NE(run.output.find("could not be mended: "), std::string::npos) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG").at(0), "4");
    int kept = 0, mended = 0;
    for (const std::string& f : Ending(FilesBelow("IMAGE"), ".avi")) {
        const std::string copy = Clinic() + "/IMAGE/" + f;
        const std::string bytes = ReadAll(copy);
        if (bytes == foreign || bytes == cutInChunk) {
            ++kept;
            continue;
        }
        ++mended;
        ExpectWholeRecording(copy, m_dir.Win("d/HRB4100/IMAGE/" + f), 4);
        EXPECT_EQ(RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 '" +
                             copy + "'"),
                  "4\n");
    }
    EXPECT_EQ(kept, 2) << "another program's file was changed";
    EXPECT_EQ(mended, 1);
    for (const char* tail : {".avi", ".frames"})
        EXPECT_TRUE(Ending(FilesBelow("temp/image"), tail).empty()) << ::testing::PrintToString(FilesBelow("temp/image"));
    EXPECT_TRUE(Ending(FilesBelow("IMAGE"), ".frames").empty()) << ::testing::PrintToString(FilesBelow("IMAGE"));
}

// Another program's Video 1 file cut short, whose dropped frames are chunks of no data, one of
// them first in its movie list: lying unlisted in a study folder when the window opens, each
// keeps every frame, byte for byte, through the open and the save.
TEST_F(TemporaryStore, AnotherProgramsCutVideoWithFramesOfNoDataKeepsEveryFrame)
{
    if (RunCommand("command -v ffprobe").empty())
        GTEST_SKIP() << "ffprobe is not installed";
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> stills = Ending(FilesBelow("temp/image"), ".jpg");
    ASSERT_EQ(stills.size(), 1u);
    const fs::path folder = fs::path(Clinic() + "/temp/image/" + stills[0]).parent_path();
    // The frames ffprobe decodes (its last line; the decoder's warnings come before it).
    auto frames = [](const std::string& path) {
        const std::string out = RunCommand("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                           "stream=nb_read_frames -of csv=p=0 '" + path + "'");
        const size_t line = out.find_last_of('\n', out.size() >= 2 ? out.size() - 2 : 0);
        return std::atol(out.c_str() + (line == std::string::npos ? 0 : line + 1));
    };
    const std::vector<std::string> findings = {"repair3-foreign-dropframes-cut.avi", "repair3-empty-first-chunk.avi"};
    ASSERT_EQ(frames(Finding(findings[0])), 23);
    for (size_t i = 0; i < findings.size(); ++i)
        WriteAll((folder / ("08000" + std::to_string(i) + "000.avi")).string(), ReadAll(Finding(findings[i])));

    run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
              "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 0 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    // Each is in the clinic records or still in the store, as it was laid down.
    std::vector<std::string> found;
    for (const std::string& f : Ending(FilesBelow("IMAGE"), ".avi"))
        found.push_back(Clinic() + "/IMAGE/" + f);
    for (const std::string& f : Ending(FilesBelow("temp/image"), ".avi"))
        found.push_back(Clinic() + "/temp/image/" + f);
    ASSERT_EQ(found.size(), 2u) << ::testing::PrintToString(FilesBelow(""));
    for (const std::string& finding : findings) {
        const std::string bytes = ReadAll(Finding(finding));
        const auto same = std::find_if(found.begin(), found.end(), [&](const std::string& f) { return ReadAll(f) == bytes; });
        ASSERT_NE(same, found.end()) << finding << " was changed";
        EXPECT_EQ(frames(*same), frames(Finding(finding))) << finding;
    }
}

// The host killed around the write that marks a recording closed, in the recorder's close and
// in the mending of a cut recording: whatever the moment, the next open and save stores the
// recording with every frame its headers, its index and its players agree on.
TEST_F(TemporaryStore, AKillAroundTheClosedMarkLeavesARecordingTheNextOpenSavesWhole)
{
    if (RunCommand("command -v ffprobe").empty())
        GTEST_SKIP() << "ffprobe is not installed";
    size_t saved = 0;
    auto saveAndCheck = [&](const std::string& when) {
        SCOPED_TRACE(when);
        HostRun run = Run(kSaveRecordings);
        ASSERT_EQ(run.status, 0) << run.output;
        const std::vector<std::string> videos = Ending(FilesBelow("IMAGE"), ".avi");
        ASSERT_EQ(videos.size(), ++saved) << ::testing::PrintToString(FilesBelow(""));
        const std::string last = "00/00/00/00/" + std::to_string(saved) + ".avi";
        ExpectWholeRecording(Clinic() + "/IMAGE/" + last, m_dir.Win("d/HRB4100/IMAGE/" + last), 1);
    };
    // The recorder's close, killed just after its closed mark and just before it.
    for (const char* when : {"after", "before"}) {
        const std::string mark = RunKilled(kRecording, std::string(when) + ":pwrite@4:" + kStoreAvi);
        ASSERT_NE(mark.find("kill-at-call: pwrite@4 "), std::string::npos) << when << ": " << mark;
        saveAndCheck(std::string("the close, ") + when + " its mark");
    }
    // A recording cut before its close wrote its headers again (its index written), then the
    // mending at the next open killed just after its own closed mark.
    std::string mark = RunKilled(kRecording, std::string("before:pwrite@0:") + kStoreAvi + ":2");
    ASSERT_NE(mark.find("kill-at-call: pwrite@0 "), std::string::npos) << mark;
    mark = RunKilled("show 12345 2024-01-05\nwait-preview 60000\nclose\nunload\n", std::string("after:pwrite@4:") + kStoreAvi);
    ASSERT_NE(mark.find("kill-at-call: pwrite@4 "), std::string::npos) << mark;
    saveAndCheck("the mending, after its mark");
}

// A recording cut between its headers and its first frame (as the folder's first capture, before
// its info.xml, and beside a still), and an empty one cut before its headers, hold no picture:
// the next open removes them, says so, and the save stores the still alone.
TEST_F(TemporaryStore, ARecordingCutBeforeItsFirstFrameIsRemovedAtTheNextOpen)
{
    const std::string headersOnly = std::string("after:pwrite@0:") + kStoreAvi;
    std::string mark = RunKilled(kRecording, headersOnly);
    ASSERT_NE(mark.find("kill-at-call: pwrite@0 "), std::string::npos) << mark;
    ASSERT_EQ(Ending(FilesBelow("temp/image"), ".avi").size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    const std::string gone = "wait-files d/HRB4100/temp/image/12345/*/*/*.avi 0 60000\n";
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\n" + gone + "close\nunload\n");
    EXPECT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_NE(run.output.find("cut before its first frame is removed: "), std::string::npos) << run.output;

    mark = RunKilled(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n" + kRecord,
                     headersOnly);
    ASSERT_NE(mark.find("kill-at-call: pwrite@0 "), std::string::npos) << mark;
    const std::vector<std::string> stills = Ending(FilesBelow("temp/image"), ".jpg");
    ASSERT_EQ(stills.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    const fs::path folder = fs::path(Clinic() + "/temp/image/" + stills[0]).parent_path();
    ASSERT_TRUE(fs::exists(folder / "info.xml"));
    // An empty file the recorder has no record of is not its to remove: it stays, holding nothing
    // to list.
    WriteAll((folder / "080000000.avi").string(), "");
    ASSERT_EQ(Ending(FilesBelow("temp/image"), ".avi").size(), 2u) << ::testing::PrintToString(FilesBelow(""));
    run = Run("show 12345 2024-01-05\nwait-preview 60000\nwait-files d/HRB4100/temp/image/12345/*/*/*.avi 1 60000\n"
              "activate\nkey ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    EXPECT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(Rows("SELECT IMGTYPE FROM MIMG"), (std::vector<std::string>{"0"})) << run.output;
    EXPECT_TRUE(fs::exists(folder / "080000000.avi")) << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(Ending(FilesBelow("temp/image"), ".avi").size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    EXPECT_TRUE(Ending(FilesBelow("temp/image"), ".frames").empty()) << ::testing::PrintToString(FilesBelow(""));
}

// A recording cut between its headers and its first frame that the folder's info.xml lists
// holds no picture, yet nothing listed is removed: the next open keeps it, with the record of its
// frames.
TEST_F(TemporaryStore, AListedRecordingHoldingNoFrameIsKept)
{
    const std::string mark = RunKilled(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n" +
                                           "wait-text d/HRB4100/temp/image/12345/*/*/info.xml .jpg 60000\n" + kRecord,
                                       std::string("after:pwrite@0:") + kStoreAvi);
    ASSERT_NE(mark.find("kill-at-call: pwrite@0 "), std::string::npos) << mark;
    const std::vector<std::string> cut = Ending(FilesBelow("temp/image"), ".avi");
    const std::vector<std::string> infos = Ending(FilesBelow("temp/image"), "info.xml");
    ASSERT_EQ(cut.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    ASSERT_EQ(infos.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    // The still's entry copied for the recording.
    const std::string info = Clinic() + "/temp/image/" + infos[0];
    std::string xml = ReadAll(info);
    const size_t start = xml.find("<image ");
    const size_t end = xml.find("</image>", start);
    ASSERT_TRUE(start != std::string::npos && end != std::string::npos) << xml;
    std::string entry = xml.substr(start, end + 8 - start);
    const std::string still = fs::path(Ending(FilesBelow("temp/image"), ".jpg").at(0)).filename().string();
    const std::string video = fs::path(cut[0]).filename().string();
    entry.replace(entry.find(still), still.size(), video);
    entry.replace(entry.find("IsVideo=\"FALSE\""), 15, "IsVideo=\"TRUE\"");
    WriteAll(info, xml.insert(end + 8, entry));

    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("cut before its first frame is removed: "), std::string::npos) << run.output;
    EXPECT_TRUE(fs::exists(Clinic() + "/temp/image/" + cut[0])) << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(Ending(FilesBelow("temp/image"), ".frames").size(), 1u) << ::testing::PrintToString(FilesBelow(""));
}

// A commit journal whose still has left the store is the record of a commit that was finished:
// the next open removes it, and nothing else of its folder.
TEST_F(TemporaryStore, AJournalWhoseFileHasGoneIsRemovedAndNothingElse)
{
    HostRun run = Run(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> stills = Ending(FilesBelow("temp/image"), ".jpg");
    ASSERT_EQ(stills.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    const fs::path folder = fs::path(Clinic() + "/temp/image/" + stills[0]).parent_path();
    WriteAll((folder / "235959999.jpg.commit").string(), "1\n12345\nD:\\HRB4100\\IMAGE\\00\\00\\00\\00\\1.jpg\n");
    WriteAll((folder / "notes.txt").string(), "the clinic's own");

    run = Run("show 12345 2024-01-05\nwait-preview 60000\n"
              "wait-files d/HRB4100/temp/image/12345/*/*/*.commit 0 60000\nclose\nunload\n");
    EXPECT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_FALSE(fs::exists(folder / "235959999.jpg.commit")) << ::testing::PrintToString(FilesBelow(""));
    EXPECT_TRUE(fs::exists(Clinic() + "/temp/image/" + stills[0])) << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(ReadAll((folder / "notes.txt").string()), "the clinic's own");
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
    testing::Values(StillCut{"FirstOnceItsBmpIsWritten", "after:rename:*/temp/image/*.bmp", 0},
                    StillCut{"FirstOnceItsJpegHasItsName", "after:rename:*/temp/image/*.jpg", 0},
                    StillCut{"FirstOnceItsJpegHasItsNameButNotItsBytes", "after:rename:*/temp/image/*.jpg", 0, true},
                    StillCut{"FirstOnceItsBmpHasGone", "after:unlink:*/temp/image/*.bmp", 0},
                    StillCut{"FirstBeforeItIsListed", "before:rename:*/temp/image/*/info.xml:2", 0},
                    StillCut{"SecondOnceItsJpegHasItsName", "after:rename:*/temp/image/*.jpg:2", 1}),
    [](const testing::TestParamInfo<StillCut>& info) { return std::string(info.param.name); });

// The store of a clinic that sends its stills to a PACS.
class StoreWithPacs : public ClinicWithPacs {
protected:
    // One still taken and listed in a session of its own: its folder, its name and its JPEG's bytes.
    void TakeOneStill(fs::path* folder, std::string* name, std::string* jpeg)
    {
        HostRun run = Run(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n"
                                                "wait-text d/HRB4100/temp/image/12345/*/*/info.xml .jpg 60000\nclose\nunload\n");
        ASSERT_EQ(run.status, 0) << run.output;
        const std::vector<std::string> stills = Ending(FilesBelow("temp/image"), ".jpg");
        ASSERT_EQ(stills.size(), 1u);
        *folder = fs::path(Clinic() + "/temp/image/" + stills[0]).parent_path();
        *name = fs::path(stills[0]).filename().string();
        *jpeg = ReadAll((*folder / *name).string());
    }
    static int MissedShown(const HostRun& run) { return Count(run.output, "dialog shown: \"PACS 전송 오류\""); }

    // A new still and Ctrl+S in the next session: the new still alone is in the clinic records,
    // with its copy, and at the PACS, and nobody is told of a still the PACS missed.
    void ExpectOnlyTheNewStillSaved()
    {
        HostRun run = Run(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n"
                                                "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
        EXPECT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
        EXPECT_EQ(Rows("SELECT CNO, IMGTYPE, IMGNAME FROM MIMG"), (std::vector<std::string>{"12345|0|1"})) << run.output;
        const std::vector<std::string> copies = FilesBelow("IMAGE");
        ASSERT_EQ(copies, (std::vector<std::string>{"00/00/00/00/1.jpg"}));
        std::string why;
        EXPECT_TRUE(DecodesAsJpeg(Clinic() + "/IMAGE/" + copies[0], 1280, 720, &why)) << why;
        EXPECT_EQ(FilesIn(Received()).size(), 1u);
        EXPECT_EQ(MissedShown(run), 0) << run.output;
    }

};

struct BmpCut {
    const char* name;
    const char* spec;
};

void PrintTo(const BmpCut& cut, std::ostream* out) { *out << cut.name; }

class CutBmp : public StoreWithPacs, public testing::WithParamInterface<BmpCut> {};

// The host killed while a still's BMP is written (before its first byte, after its file header,
// halfway through its picture): no file under a still's name holds part of it, and the next
// session neither shows nor saves anything of it.
TEST_P(CutBmp, IsNeverUnderTheStillsNameNorSaved)
{
    const BmpCut& cut = GetParam();
    HostRun crashed = Run(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\n"
                                                "close\nunload\n",
                          KillAt(cut.spec));
    ASSERT_NE(KillMark().find("kill-at-call: write@"), std::string::npos) << cut.spec << "\n" << crashed.output;
    for (const std::string& f : FilesBelow("temp/image"))
        EXPECT_TRUE(Ending({f}, ".bmp").empty() && Ending({f}, ".jpg").empty()) << "a cut still under its name: " << f;
    ExpectOnlyTheNewStillSaved();
}

INSTANTIATE_TEST_SUITE_P(TemporaryStore, CutBmp,
                         testing::Values(BmpCut{"BeforeItsFirstByte", "before:write@0:*/temp/image/*.bmp*"},
                                         BmpCut{"AfterItsFileHeader", "after:write@0:*/temp/image/*.bmp*"},
                                         BmpCut{"HalfwayThroughItsPicture", "within:write@14:*/temp/image/*.bmp*"}),
                         [](const testing::TestParamInfo<BmpCut>& info) { return std::string(info.param.name); });

// Pictures cut short lying in a study folder (as a crash of an older version, or a power cut,
// leaves them), loose or listed: none is shown or saved. Those of the store's own naming are
// removed, and said so; another program's files are left byte for byte.
TEST_F(StoreWithPacs, CutPicturesAreNeitherShownNorSavedAndOnlyTheStoresOwnAreRemoved)
{
    fs::path folder;
    std::string name, jpeg;
    TakeOneStill(&folder, &name, &jpeg);
    if (HasFatalFailure())
        return;
    const std::string bmp = MakeBmp(1280, 720, 24, {}, [](int x, int y) { return static_cast<uint32_t>(x * 3 + y * 5); });
    const std::vector<std::pair<std::string, std::string>> own = {
        {"080000000.bmp", bmp.substr(0, 14)},
        {"080001000.bmp", bmp.substr(0, bmp.size() / 2)},
        {"080002000.jpg", jpeg.substr(0, jpeg.size() / 2)},
        {"080003000.jpg", ""},  // listed
    };
    const std::vector<std::pair<std::string, std::string>> foreign = {
        {"scan.bmp", bmp.substr(0, bmp.size() / 2)},
        {"Scan 2.jpg", jpeg.substr(0, 1000)},
    };
    for (const auto& [name, bytes] : own)
        WriteAll((folder / name).string(), bytes);
    for (const auto& [name, bytes] : foreign)
        WriteAll((folder / name).string(), bytes);
    // info.xml lists one of them as it lists the whole still.
    std::string info = ReadAll((folder / "info.xml").string());
    const size_t from = info.find("<image"), to = info.find("</image>");
    ASSERT_NE(to, std::string::npos) << info;
    std::string listed = info.substr(from, to + 8 - from);
    listed.replace(listed.find(name), name.size(), "080003000.jpg");
    info.insert(info.find("</QUIVA>"), listed);
    WriteAll((folder / "info.xml").string(), info);

    HostRun run = Run(std::string(kShown) + "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    EXPECT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(Rows("SELECT CNO, IMGTYPE, IMGNAME FROM MIMG"), (std::vector<std::string>{"12345|0|1"})) << run.output;
    EXPECT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.jpg"}));
    EXPECT_EQ(FilesIn(Received()).size(), 1u);
    EXPECT_EQ(MissedShown(run), 0) << run.output;
    for (const auto& [name, bytes] : own)
        EXPECT_FALSE(fs::exists(folder / name)) << name;
    EXPECT_EQ(Count(run.output, "a still cut short by a crash is removed: "), 4) << run.output;
    for (const auto& [name, bytes] : foreign)
        EXPECT_TRUE(fs::exists(folder / name) && ReadAll((folder / name).string()) == bytes) << name << " was changed";
    EXPECT_EQ(Count(run.output, "a picture cut short is not listed and is left as it is: "), 2) << run.output;
}

// A BMP and a JPEG of one name that are two pictures (of other sizes; of one size, but another
// picture) are not one still cut between its two files: both are kept and saved, byte for byte.
TEST_F(StoreWithPacs, ABmpAndAJpegOfOneNameThatAreTwoPicturesAreBothSaved)
{
    fs::path folder;
    std::string name, jpeg;
    TakeOneStill(&folder, &name, &jpeg);
    if (HasFatalFailure())
        return;
    const std::string small = MakeBmp(320, 240, 24, {}, [](int x, int y) { return static_cast<uint32_t>(x * 7 + y); });
    const std::string board = MakeBmp(1280, 720, 24, {}, [](int x, int y) { return (x / 64 + y / 64) % 2 ? 0xFFFFFFu : 0u; });
    const std::vector<std::pair<std::string, std::string>> planted = {
        {"090000000.bmp", small}, {"090000000.jpg", jpeg}, {"090001000.bmp", board}, {"090001000.jpg", jpeg}};
    for (const auto& [name, bytes] : planted)
        WriteAll((folder / name).string(), bytes);

    HostRun run = Run(SaveScript(5));
    EXPECT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"5"})) << run.output;
    EXPECT_EQ(Count(run.output, "both are kept: "), 2) << run.output;
    std::vector<std::string> saved;
    for (const std::string& f : FilesBelow("IMAGE"))
        saved.push_back(ReadAll(Clinic() + "/IMAGE/" + f));
    for (const auto& [name, bytes] : planted)
        EXPECT_NE(std::find(saved.begin(), saved.end(), bytes), saved.end()) << name << " was not saved as it was";
    for (const std::string& f : FilesBelow("temp/image"))
        EXPECT_TRUE(Ending({f}, ".jpg").empty() && Ending({f}, ".bmp").empty()) << "left in the store: " << f;
}

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

// The first still of a study whose title no folder name holds ("위/대장" is "위_대장" there), cut
// by a crash before it was listed: the next session's Ctrl+S files it under "위/대장".
TEST_F(TemporaryStore, AStudysFirstStillCutByACrashKeepsItsTitle)
{
    const std::string title = "\xEC\x9C\x84/\xEB\x8C\x80\xEC\x9E\xA5";  // 위/대장, offered first
    ASSERT_TRUE(Execute("UPDATE FOPTION SET SETUPSECT = '" + title + "' WHERE SETUPSECT = '\xEC\x9C\x84\xEB\x82\xB4\xEC\x8B\x9C\xEA\xB2\xBD'"));
    const std::string mark = RunKilled(std::string(kShown) + "key space\nwait-files d/HRB4100/temp/image/12345/*/*/*.bmp 1 60000\n"
                                                             "close\nunload\n",
                                       "after:rename:*/temp/image/*.bmp");
    ASSERT_NE(mark.find("kill-at-call: rename "), std::string::npos) << mark;
    ASSERT_EQ(Ending(FilesBelow("temp/image"), ".bmp").size(), 1u) << ::testing::PrintToString(FilesBelow(""));

    HostRun run = Run(SaveScript(1));
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT CNO, MDATE, TITLE FROM MMAIN"), (std::vector<std::string>{"12345|2024-01-05|" + title}));
    EXPECT_EQ(Rows("SELECT CNO, IMGTYPE FROM MIMG"), (std::vector<std::string>{"12345|0"}));
}
