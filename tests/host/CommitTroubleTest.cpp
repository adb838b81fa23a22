// A save through the stand-in host that meets trouble outside the station: a commit journal it
// did not write, or its own left behind when the image directory has moved since, another program
// holding the clinic database (at the save, or already when the window is shown), the store's
// disk full. Each keeps every capture in the store, or saved once, and tells the person what
// stands in the way.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/db/db.h"
#include "tests/support/Command.h"
#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

// A still taken, and the window closed with it unsaved in the store.
const char* const kOneStill = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                              "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\nclose\nunload\n";
// The window shown again, the save button pressed once the file "go" appears, and the window
// left open on what the save tells.
const char* const kSaveOnGo = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nwait-files go 1 600000\n"
                              "click 60 50\nwait 600000\n";
// Ctrl+S saves what the store holds.
const char* const kSaveAll = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
                             "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\n"
                             "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 0 60000\nclose\nunload\n";
const char* const kTold = "Commit: told";
const char* const kNotSaved = "다른 프로그램이 데이터베이스를 사용하고 있어 저장하지 못했습니다.";
// The window shown while the database is held: what the person is told is closed, a still is
// taken, and once the file "go" appears Ctrl+S saves it.
const char* const kShowWhileHeld = "show 12345 2024-01-05\nwait-shown 60000\nprint\n"
                                   "wait-dialog \"데이터베이스 오류\" 60000\nkey escape\nwait-no-dialog 60000\n"
                                   "wait-preview 60000\nactivate\nkey space\n"
                                   "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\nwait-files go 1 600000\n"
                                   "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n";

// Ctrl+S, waiting until the image directory below `folder` holds `copies` files and the store
// no still.
std::string SaveAllInto(const std::string& folder, int copies)
{
    return "show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\nwait-files d/HRB4100/" + folder +
           "/*/*/*/*/* " + std::to_string(copies) +
           " 60000\nwait-files d/HRB4100/temp/image/12345/*/*/*.jpg 0 60000\nclose\nunload\n";
}

// Waits (at most `seconds`) until `path` holds `text`.
bool WaitForText(const std::string& path, const std::string& text, int seconds)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (ReadAll(path).find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

class CommitTrouble : public ClinicHost {
protected:
    // Another program opens the clinic's database file and runs `sql` in it, keeping what it
    // takes until Let() (the file "held.txt" says when it holds).
    bool Hold(const std::string& sql)
    {
        const std::string said = m_dir.Native("held.txt");
        // Not handed down to the host started later ("e"): it would keep the other program's
        // input open, and the other program from ever ending.
        m_other = ::popen(("sqlite3 '" + Clinic() + "/HRB4100.db' >'" + said + "' 2>&1").c_str(), "we");
        if (!m_other)
            return false;
        std::fputs((sql + "\n.print held\n").c_str(), m_other);
        std::fflush(m_other);
        return WaitForText(said, "held", 60);
    }
    void Let()
    {
        if (m_other) {
            std::fputs("ROLLBACK;\n", m_other);
            ::pclose(m_other);
            m_other = nullptr;
        }
    }
    void TearDown() override { Let(); }
    // On the clinic server: `scene` runs while another session locks `tables`, reads and all.
    using Scene = std::function<void(const std::function<bool()>& hold, const std::function<void()>& release)>;
    void WhileServerTablesLocked(const wchar_t* tables, const Scene& scene)
    {
        QUIVA_REQUIRE_POSTGRES(server);
        std::string why;
        ASSERT_TRUE(UsePostgres(server, &why)) << why;
        quiva::db::Connection other;
        scene(
            [&] {
                return other.Open(CString(quiva::Utf8ToWide(m_database))) && other.BeginTransaction() &&
                       other.Execute(CString(L"LOCK TABLE ") + tables + L" IN ACCESS EXCLUSIVE MODE");
            },
            [&] { other.EndTransaction(false); });
    }
    // Waits (at most `seconds`) for the host to end by itself.
    static bool Ended(pid_t host, int seconds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        int status = 0;
        while (::waitpid(host, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }
    std::vector<std::string> Stills() const
    {
        std::vector<std::string> out;
        for (const std::string& f : FilesBelow("temp/image"))
            if (f.size() > 4 && f.compare(f.size() - 4, 4, ".jpg") == 0)
                out.push_back(f);
        return out;
    }
    // Starts the host on `command` in a process group of its own, its words into `output`.
    pid_t Start(const std::string& command, const std::string& output)
    {
        const pid_t host = ::fork();
        if (host == 0) {
            ::setpgid(0, 0);
            ::execl("/bin/sh", "sh", "-c", (command + " >'" + output + "' 2>&1").c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::setpgid(host, host);
        return host;
    }
    static void End(pid_t host)
    {
        ::kill(-host, SIGKILL);
        int status = 0;
        ::waitpid(host, &status, 0);
    }
    // A still taken and left in the store; the window shown again, and its save button pressed
    // once `hold` holds the clinic database. The host, its words going into `output`.
    pid_t SaveOnceHeld(const std::function<bool()>& hold, const std::string& output, bool* previewed, bool* holding)
    {
        HostRun run = Run(kOneStill);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Stills().size(), 1u);
        const pid_t host = Start(HostCommand({kSaveOnGo}), output);
        *previewed = WaitForText(output, "P#6", 120);  // the window is up and its preview runs
        *holding = *previewed && hold();
        if (*holding)
            std::ofstream(m_dir.Native("go")) << "go";
        return host;
    }
    // A still in the store; the save button pressed while `hold` keeps the clinic database from
    // the station: the save tells the person so within its bound and nothing is recorded; once
    // `release` has let it go, Ctrl+S saves the still.
    void SaveWhileHeld(const std::function<bool()>& hold, const std::function<void()>& release)
    {
        const std::string output = m_dir.Native("host.txt");
        bool previewed = false, holding = false;
        const pid_t host = SaveOnceHeld(hold, output, &previewed, &holding);
        const auto pressed = std::chrono::steady_clock::now();
        // Left to itself the wait has no end (a file: 100 s a statement); the save tells within
        // its bound.
        const bool told = holding && WaitForText(output, kTold, 90);
        const auto waited = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - pressed);
        End(host);
        release();
        const std::string said = ReadAll(output);
        ASSERT_TRUE(previewed && holding) << said;
        ASSERT_TRUE(told) << said;
        EXPECT_NE(said.find(kNotSaved), std::string::npos) << said;
        EXPECT_LE(waited.count(), 60) << said;
        EXPECT_TRUE(Rows("SELECT IMGNO FROM MIMG").empty());
        EXPECT_EQ(Stills().size(), 1u) << ::testing::PrintToString(FilesBelow(""));

        const HostRun run = Run(kSaveAll);
        ASSERT_EQ(run.status, 0) << run.output;
        EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12345"}));
        EXPECT_EQ(FilesBelow("IMAGE").size(), 1u) << ::testing::PrintToString(FilesBelow("IMAGE"));
    }
    // The window shown while `hold` keeps the clinic database from the station: it is up within
    // one bound for all its queries and says why it knows no patient and no study; a still taken
    // then is filed under the study the window shows, and Ctrl+S saves it under that title once
    // `release` has let the database go.
    void ShowWhileHeld(const std::function<bool()>& hold, const std::function<void()>& release)
    {
        ASSERT_TRUE(hold());
        const std::string output = m_dir.Native("host.txt");
        const auto started = std::chrono::steady_clock::now();
        const pid_t host = Start(HostCommand({kShowWhileHeld}), output);
        ASSERT_GT(host, 0);
        // Left to itself the show waited for each of its queries in turn: 40 s and more.
        const bool shown = WaitForText(output, "capture window:", 150);
        const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
        const bool taken = shown && WaitFor([&] { return Stills().size() == 1; }, 120);
        release();
        std::ofstream(m_dir.Native("go")) << "go";
        const bool ended = Ended(host, 180);
        if (!ended)
            End(host);
        const std::string said = ReadAll(output);
        ASSERT_TRUE(shown) << said;
        EXPECT_LT(took.count(), 20) << said;
        EXPECT_NE(said.find("Show: told \"데이터베이스 오류\": 다른 프로그램이 데이터베이스를 사용하고 있어"), std::string::npos)
            << said;
        EXPECT_TRUE(taken) << said << ::testing::PrintToString(FilesBelow(""));
        ASSERT_TRUE(ended) << said;
        EXPECT_EQ(Rows("SELECT TITLE, MDATE FROM MMAIN"), (std::vector<std::string>{"검사명 미지정|2024-01-05"})) << said;
        EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12345"}));
        EXPECT_EQ(FilesBelow("IMAGE").size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    }
    // Waits (at most `seconds`) until `done` answers true.
    static bool WaitFor(const std::function<bool()>& done, int seconds)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return true;
    }

    FILE* m_other = nullptr;
};

}  // namespace

TEST_F(CommitTrouble, AJournalNamingACopyOutsideTheImageDirectoryIsRefusedAndTheStillIsSavedOnce)
{
    HostRun run = Run(kOneStill);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> stills = Stills();
    ASSERT_EQ(stills.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    // A journal beside it naming a path elsewhere, and a row of that image number for the chart,
    // as if the commit had gone through.
    std::ofstream(Clinic() + "/temp/image/" + stills[0] + ".commit") << "1\n12345\nD:\\HRB4100\\exe\\planted\\x.jpg\n";
    ASSERT_TRUE(Execute("INSERT INTO MIMG (IMGNO,CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME) VALUES (1,'12345',1,7,0,'1')"));

    run = Run(kSaveAll);
    ASSERT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_NE(run.output.find("a journal naming a copy outside the image directory is refused"), std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(Clinic() + "/exe/planted"));
    EXPECT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/2.jpg"}));
    EXPECT_EQ(Rows("SELECT IMGNO, CNO FROM MIMG ORDER BY IMGNO"), (std::vector<std::string>{"1|12345", "2|12345"}));
    for (const std::string& f : FilesBelow("temp/image"))
        EXPECT_EQ(f.find(".jpg"), std::string::npos) << f;  // the still, and its journal, have gone
}

TEST_F(CommitTrouble, ACommitCutBeforeTheStillLeftTheStoreIsSettledOnceAfterTheImageDirectoryChanged)
{
    HostRun run = Run(kOneStill);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(Stills().size(), 1u);
    // Killed with the rows committed and the copy made, as the still is removed from the store.
    run = Run(kSaveAll, KillAt("before:unlink:*/temp/image/*.jpg"));
    EXPECT_NE(run.status, 0) << run.output;
    ASSERT_NE(KillMark().find("kill-at-call: unlink "), std::string::npos) << KillMark() << run.output;
    ASSERT_EQ(Rows("SELECT IMGNO, CNO FROM MIMG"), (std::vector<std::string>{"1|12345"}));
    ASSERT_EQ(Stills().size(), 1u);
    // The clinic moves its image directory before the station starts again.
    ASSERT_TRUE(Execute("UPDATE FOPTION SET SETUPVALUE = 'D:\\HRB4100\\IMAGE2' WHERE SETUPSECT = 'Image Directory'"));

    run = Run(SaveAllInto("IMAGE", 1));
    ASSERT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_EQ(Rows("SELECT IMGNO, CNO FROM MIMG"), (std::vector<std::string>{"1|12345"}));
    EXPECT_EQ(Rows("SELECT IMGNO FROM MMAIN"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.jpg"}));
    EXPECT_TRUE(FilesBelow("IMAGE2").empty()) << ::testing::PrintToString(FilesBelow("IMAGE2"));
    EXPECT_TRUE(Stills().empty()) << ::testing::PrintToString(FilesBelow("temp/image"));
}

TEST_F(CommitTrouble, AJournalNamingAnotherStillsNumberAndCopyIsRefusedAndThatCopyIsLeftAlone)
{
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 2 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    run = Run(SaveAllInto("IMAGE", 2));
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.jpg", "00/00/00/00/2.jpg"}));
    const std::string first = ReadAll(Clinic() + "/IMAGE/00/00/00/00/1.jpg");
    run = Run(kOneStill);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> stills = Stills();
    ASSERT_EQ(stills.size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    // Beside the new still, a journal naming the first still's number and its copy. The test
    // source's picture does not change: that copy holds the new still's bytes too.
    std::ofstream(Clinic() + "/temp/image/" + stills[0] + ".commit") << "1\n12345\nD:\\HRB4100\\IMAGE\\00\\00\\00\\00\\1.jpg\n";
    const std::string still = ReadAll(Clinic() + "/temp/image/" + stills[0]);

    run = Run(SaveAllInto("IMAGE", 3));
    ASSERT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow(""));
    EXPECT_NE(run.output.find("Commit: a journal naming another file's copy is refused"), std::string::npos) << run.output;
    EXPECT_EQ(ReadAll(Clinic() + "/IMAGE/00/00/00/00/1.jpg"), first) << "the first still's copy was overwritten";
    EXPECT_EQ(Rows("SELECT IMGNO, CNO FROM MIMG ORDER BY IMGNO"), (std::vector<std::string>{"1|12345", "2|12345", "3|12345"}));
    EXPECT_EQ(FilesBelow("IMAGE"),
              (std::vector<std::string>{"00/00/00/00/1.jpg", "00/00/00/00/2.jpg", "00/00/00/00/3.jpg"}));
    EXPECT_EQ(ReadAll(Clinic() + "/IMAGE/00/00/00/00/3.jpg"), still);
    EXPECT_TRUE(Stills().empty()) << ::testing::PrintToString(FilesBelow("temp/image"));
}

TEST_F(CommitTrouble, ADatabaseAnotherProgramHoldsIsWaitedForABoundedTimeThenToldAndTheStillIsSavedLater)
{
    // Another program takes the database file for itself and keeps it.
    SaveWhileHeld([&] { return Hold("BEGIN EXCLUSIVE;"); }, [&] { Let(); });
}

TEST_F(CommitTrouble, AWindowShownWhileAnotherProgramHoldsTheDatabaseIsUpWithinTheBoundAndItsStillIsSavedLater)
{
    ShowWhileHeld([&] { return Hold("BEGIN EXCLUSIVE;"); }, [&] { Let(); });
}

TEST_F(CommitTrouble, AWindowShownWhileAnotherSessionLocksTheClinicServersTablesIsUpWithinTheBound)
{
    // Another session locks the options and the patients, reads and all, and keeps them.
    WhileServerTablesLocked(L"FOPTION, PATIENT", [this](auto& hold, auto& release) { ShowWhileHeld(hold, release); });
}

// A reader keeps the database file while the save commits, and lets it go while the commit
// still waits: whatever the save then says is so. Told it was not saved, nothing of the still
// is in the clinic records and the still waits in the store; told nothing, it is recorded and
// has left the store. Either way Ctrl+S leaves it recorded once.
TEST_F(CommitTrouble, ACommitAReaderHoldsUpSaysNotSavedOnlyWhenNothingWasRecorded)
{
    const std::string output = m_dir.Native("host.txt");
    bool previewed = false, holding = false;
    const pid_t host = SaveOnceHeld([&] { return Hold("BEGIN; SELECT COUNT(*) FROM MMAIN;"); }, output, &previewed, &holding);
    // The rows and the copy are made; the commit of the rows waits for the reader, who lets go
    // half a minute later unless the save has told its end before.
    const bool committing = holding && WaitForText(output, "Commit#5", 90);
    const bool told = committing && WaitForText(output, kTold, 30);
    Let();
    const bool settled = committing && (told || WaitFor([&] {
                                            const std::string text = ReadAll(output);
                                            return text.find(kTold) != std::string::npos || text.find("Commit#8") != std::string::npos;
                                        }, 60));
    End(host);
    const std::string said = ReadAll(output);
    ASSERT_TRUE(committing) << said;
    ASSERT_TRUE(settled) << said;
    if (said.find(kNotSaved) != std::string::npos) {
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"0"})) << said;
        EXPECT_EQ(Stills().size(), 1u) << said;
    } else {
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"1"})) << said;
        EXPECT_TRUE(Stills().empty()) << said;
    }
    const HostRun run = Run(kSaveAll);
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12345"})) << run.output;
    EXPECT_EQ(FilesBelow("IMAGE").size(), 1u) << ::testing::PrintToString(FilesBelow(""));
    EXPECT_TRUE(Stills().empty()) << ::testing::PrintToString(FilesBelow(""));
}

TEST_F(CommitTrouble, AClinicServerTableAnotherSessionLocksIsWaitedForABoundedTimeThenTold)
{
    // Another session locks the studies table, reads and all, and keeps it.
    WhileServerTablesLocked(L"MMAIN", [this](auto& hold, auto& release) { SaveWhileHeld(hold, release); });
}

TEST_F(CommitTrouble, AFullStoreDiskIsToldAsSuchAndTheStillIsSavedOnceThereIsRoom)
{
    // The store is a small memory file system of its own, filled to the last byte after the
    // still is in it.
    HostRun run = Run(kOneStill);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_EQ(Stills().size(), 1u);
    // The two runs, each with a script file of its own.
    std::string saveAll = HostCommand({kSaveAll});
    const std::string first = m_dir.Native("script.txt"), second = m_dir.Native("script-all.txt");
    fs::rename(first, second);
    saveAll.replace(saveAll.find(first), first.size(), second);
    std::ofstream(m_dir.Native("save.sh")) << HostCommand({kSaveOnGo}) << "\n";
    std::ofstream(m_dir.Native("save-all.sh")) << saveAll << "\n";
    const std::string script =
        "head -c 16m /dev/zero > \"$1/fill\" 2>/dev/null\n"
        "touch \"$2/go\"\n"
        "setsid sh \"$2/save.sh\" > \"$2/host.txt\" 2>&1 & host=$!\n"
        "i=0; until grep -q 'Commit: told' \"$2/host.txt\" || [ $i -ge 1800 ]; do sleep 0.1; i=$((i+1)); done\n"
        "kill -9 -$host; wait $host\n"
        "find \"$1\" -type f ! -name fill | sort > \"$2/left.txt\"\n"
        "rm \"$1/fill\"; sh \"$2/save-all.sh\" > \"$2/host-all.txt\" 2>&1; echo $? > \"$2/status-all.txt\"\n"
        "find \"$1\" -type f | sort > \"$2/left-all.txt\"\n";
    std::string said;
    if (!RunOnSmallStore("8m", script, &said))
        GTEST_SKIP() << said;
    const std::string told = ReadAll(m_dir.Native("host.txt"));
    EXPECT_NE(told.find("임시 저장 폴더가 있는 디스크가 가득 찼습니다."), std::string::npos) << told << said;
    // Nothing left the store, nothing was recorded, no journal was left behind.
    const std::string left = ReadAll(m_dir.Native("left.txt"));
    EXPECT_NE(left.find(".jpg\n"), std::string::npos) << left;
    EXPECT_EQ(left.find(".commit"), std::string::npos) << left;
    // With room again, Ctrl+S saves the still once.
    EXPECT_EQ(ReadAll(m_dir.Native("status-all.txt")), "0\n") << ReadAll(m_dir.Native("host-all.txt"));
    EXPECT_EQ(Rows("SELECT IMGNO, CNO FROM MIMG"), (std::vector<std::string>{"1|12345"}));
    EXPECT_EQ(FilesBelow("IMAGE"), (std::vector<std::string>{"00/00/00/00/1.jpg"}));
    EXPECT_EQ(ReadAll(m_dir.Native("left-all.txt")).find(".jpg"), std::string::npos) << ReadAll(m_dir.Native("left-all.txt"));
}
