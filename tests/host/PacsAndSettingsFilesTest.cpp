// The PACS and the settings files as the stand-in host meets them: a PACS that drops the
// association in the middle of a still, an AE title in the settings no association can carry,
// and settings files that are too large or name a window larger than the screen.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "framework/CKXXmlDocument.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

namespace {

// How often `text` occurs in `in`.
int Occurrences(const std::string& in, const std::string& text)
{
    int n = 0;
    for (size_t at = in.find(text); at != std::string::npos; at = in.find(text, at + text.size()))
        ++n;
    return n;
}

class PacsAndSettingsFiles : public ClinicHost {
protected:
    // The clinic sends stills to the PACS at the loopback port under the called AE title
    // (`options`: more attributes of the options element).
    void SendTo(uint16_t port, const std::string& aeTitle, const std::string& options = "")
    {
        ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                            "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"TRUE\" "
            << options << "/><pacs><MWL ip=\"127.0.0.1\" port=\""
            << port << "\" aeTitle=\"" << aeTitle << "\" machine=\"77\" sendDICOM=\"1\"/></pacs></Configruation>";
    }
    // Takes `stills` stills one after another, saves them with Ctrl+S and waits for their copies
    // in the image directory; the message the save shows is closed with Enter.
    HostRun SaveStills(int stills, const std::string& kind = "jpg")
    {
        std::string script = "show 12345 2024-01-05\nwait-preview 60000\nactivate\n";
        for (int i = 1; i <= stills; ++i)
            script += "key space\nwait-files d/HRB4100/temp/image/12345/*/20240105/*." + kind + " " + std::to_string(i) + " 60000\n";
        // The stills the PACS did not take are told once the save ends.
        script += "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* " + std::to_string(stills) +
                  " 60000\nwait-dialog \"PACS 전송 오류\" 60000\nkey escape\nwait-no-dialog 60000\nclose\nunload\n";
        return Run(script);
    }
    // A save of two stills whose first met a fault of the PACS settings (`why`): told once, the
    // second still not tried, both filed.
    void ExpectSettingsFaultToldOnce(const HostRun& run, const std::string& why)
    {
        EXPECT_EQ(Occurrences(run.output, why), 1) << run.output;
        EXPECT_EQ(Occurrences(run.output, "the still is not tried"), 1) << run.output;
        EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"2"});
    }
    // Saves one still more than `drops` has scripts: the PACS drops each of the first stills'
    // connections as its script says, and stores the last still, whose data set `stored` gets.
    HostRun SaveThroughDrops(std::vector<TestPeer::Script> drops, std::vector<uint8_t>* stored)
    {
        const int stills = static_cast<int>(drops.size()) + 1;
        drops.push_back([stored](PeerConnection& c) { *stored = StoreOne(c); });
        TestPeer pacs(std::move(drops));
        SendTo(pacs.port(), "PACS");
        HostRun run = SaveStills(stills);
        EXPECT_TRUE(pacs.Join());
        EXPECT_EQ(pacs.accepted(), stills) << run.output;
        return run;
    }
    // Shows the sample patient and prints the window.
    HostRun ShowAndPrint() { return Run("show 12345 2024-01-05\nwait-shown 60000\nprint\nclose\nunload\n"); }
    void WriteLastSave(const std::string& body)
    {
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.LastSave", std::ios::binary)
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n" << body;
    }
};

}  // namespace

TEST_F(PacsAndSettingsFiles, APacsThatDropsTheAssociationMidStillGetsTheNextStillOnANewOne)
{
    // The first still's association ends in an A-ABORT, the second's in a TCP reset, each in the
    // middle of the still; the third still is stored.
    std::vector<uint8_t> stored;
    HostRun run = SaveThroughDrops(
        {[](PeerConnection& c) { DropInTheMiddle(c, false); }, [](PeerConnection& c) { DropInTheMiddle(c, true); }}, &stored);
    ASSERT_EQ(run.status, 0) << run.output;
    // The third still arrived whole: its data set ends in the JPEG's end marker.
    ASSERT_GT(stored.size(), 1000u) << run.output;
    EXPECT_NE(std::string(stored.end() - 16, stored.end()).find("\xFF\xD9"), std::string::npos);
    EXPECT_EQ(Occurrences(run.output, "it dropped the association"), 2) << run.output;
    EXPECT_EQ(Occurrences(run.output, "no response was read"), 0) << run.output;
    EXPECT_EQ(Occurrences(run.output, "the still is not tried"), 0) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"3"});
}

TEST_F(PacsAndSettingsFiles, AnAETitleTooLongForAnAssociationIsTheSettingsFaultToldOnce)
{
    TestPeer pacs([](PeerConnection& c) { StoreOne(c); });
    SendTo(pacs.port(), "PACS_ARCHIVE_MAIN1");  // 18 characters
    HostRun run = SaveStills(2);
    ASSERT_EQ(run.status, 0) << run.output;
    ExpectSettingsFaultToldOnce(run, "is not a valid AE title");
    // Nothing went out under a title the PACS would read cut short.
    EXPECT_EQ(pacs.accepted(), 0);
    EXPECT_FALSE(pacs.HasPendingConnection());
}

// A PACS that closes or resets the connection before it answers the association request dropped
// it: the next still is tried on a new one.
TEST_F(PacsAndSettingsFiles, APacsThatDropsTheConnectionBeforeItAnswersGetsTheNextStill)
{
    std::vector<uint8_t> stored;
    HostRun run = SaveThroughDrops({[](PeerConnection& c) {
                                        c.ReadPdu();
                                        c.Close();
                                    },
                                    [](PeerConnection& c) {
                                        c.ReadPdu();
                                        c.Reset();
                                    }},
                                   &stored);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(stored.size(), 1000u) << run.output;
    EXPECT_EQ(Occurrences(run.output, "it dropped the connection before it answered"), 2) << run.output;
    EXPECT_EQ(Occurrences(run.output, "it did not answer"), 0) << run.output;
    EXPECT_EQ(Occurrences(run.output, "the still is not tried"), 0) << run.output;
}

// A PACS that rejects the association because it knows no AE title it was called by: the
// settings' fault, told once; the save's other stills are not tried.
TEST_F(PacsAndSettingsFiles, AnAETitleThePacsDoesNotKnowIsTheSettingsFault)
{
    TestPeer pacs([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(Reject(1, 1, 7));
        c.ReadToEnd(2000);
    });
    SendTo(pacs.port(), "NOSUCHPACS");
    HostRun run = SaveStills(2);
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(pacs.Join());
    ExpectSettingsFaultToldOnce(run, "it knows no AE title NOSUCHPACS");
    EXPECT_EQ(Occurrences(run.output, "(it refused)"), 0) << run.output;
    EXPECT_EQ(pacs.accepted(), 1);
    EXPECT_FALSE(pacs.HasPendingConnection());
}

// The answers a fuzzing run found (tests/data/findings/storage_client/): an accept, a C-STORE-RSP
// whose Status declares 256 bytes where its command set has 2 left (reading 0000), a release
// reply. The still, a bitmap sent as it is, does not count as stored.
TEST_F(PacsAndSettingsFiles, AStatusRunningPastItsCommandSetDoesNotCountTheStillAsStored)
{
    const auto answers =
        RecordedAnswers(std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/storage_client/dicom2-status-overruns-command.bin");
    ASSERT_EQ(answers.size(), 3u);
    TestPeer pacs([&](PeerConnection& c) { PlayAnswers(c, answers); });
    SendTo(pacs.port(), "PACS", "saveJpegFormat=\"0\"");
    HostRun run = SaveStills(1, "bmp");
    ASSERT_EQ(run.status, 0) << run.output;
    ASSERT_TRUE(pacs.Join());
    EXPECT_EQ(Occurrences(run.output, "DICOM: the PACS did not store"), 1) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"1"});
}

TEST_F(PacsAndSettingsFiles, ALastSaveFileFarLargerThanOursIsRefusedAndASavedSizeFitsTheScreen)
{
    // A window the screen (1920 by 1080) cannot show whole opens at the screen's size.
    WriteLastSave("<Last.Save><window x=\"0\" y=\"0\" width=\"16384\" height=\"16384\"/><thumbnail show=\"TRUE\" "
                  "size=\"200\"/></Last.Save>\n");
    HostRun huge = ShowAndPrint();
    ASSERT_EQ(huge.status, 0) << huge.output;
    EXPECT_NE(huge.output.find("\" at 0,0 size 1920x1080 visible"), std::string::npos) << huge.output;

    // A file of the program's own placement followed by megabytes of empty elements is no file
    // the program wrote: the default placement, and a debug line that says why.
    std::string empty;
    for (int i = 0; i < 2400000; ++i)
        empty += "<a/>";
    WriteLastSave("<Last.Save><window x=\"100\" y=\"100\" width=\"640\" height=\"480\"/>" + empty + "</Last.Save>\n");
    HostRun large = ShowAndPrint();
    ASSERT_EQ(large.status, 0) << large.output;
    EXPECT_NE(large.output.find("QUIVA.Capture.LastSave: the file is larger than"), std::string::npos) << large.output;
    EXPECT_NE(large.output.find("\" at 560,240 size 800x600 visible"), std::string::npos) << large.output;
}

// The settings files and DBServer.ini meet one bound: a configuration file and a DBServer.ini
// just past its bytes, and a last-save file well within them but dense with more elements than a
// file of ours holds, are each refused with a debug line naming the file; the window opens with
// the default placement and the still is filed in the local database as without them.
TEST_F(PacsAndSettingsFiles, SettingsFilesAndDBServerIniPastTheBoundAreRefusedNamingTheFile)
{
    const std::string bound = std::to_string(quiva::kMaxDataFileBytes);
    std::string config = "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"TRUE\"/></Configruation>";
    config.resize(quiva::kMaxDataFileBytes + 1, ' ');
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config", std::ios::binary) << config;
    std::string ini = "[Connection Config]\r\nDBMSKind=PostgreSQL\r\nPGHostIPAddress=192.0.2.1\r\n";
    ini.resize(quiva::kMaxDataFileBytes + 1, ';');
    std::ofstream(Clinic() + "/DBServer.ini", std::ios::binary) << ini;
    std::string dense;
    for (size_t i = 0; i < CKXXmlDocument::kMaxNodes; ++i)
        dense += "<a/>";
    WriteLastSave("<Last.Save><window x=\"100\" y=\"100\" width=\"640\" height=\"480\"/>" + dense + "</Last.Save>\n");

    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nprint\nactivate\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\nkey ctrl+s\n"
                      "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output.substr(0, 20000);
    const std::string excerpt = run.output.substr(0, 20000);
    EXPECT_NE(run.output.find("QUIVA.Capture.Config: the file is larger than " + bound), std::string::npos) << excerpt;
    EXPECT_EQ(Occurrences(run.output, "DBServer.ini: the file is larger than " + bound + " bytes and is not read"), 1) << excerpt;
    EXPECT_NE(run.output.find("QUIVA.Capture.LastSave: the file is not read (more than " + std::to_string(CKXXmlDocument::kMaxNodes)),
              std::string::npos)
        << excerpt;
    EXPECT_NE(run.output.find("\" at 560,240 size 800x600 visible"), std::string::npos) << excerpt;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"1"});
}

// A configuration file with an attribute written twice, one with more attributes in an element
// than any of ours, and one saved as UTF-16: each keeps every setting that reads cleanly (here
// the capture key F2) and says in a debug line what it left out. A file that does not parse at
// all is named with the cause.
TEST_F(PacsAndSettingsFiles, ASettingsFileKeepsWhatReadsCleanlyAndSaysWhatItLeftOut)
{
    std::string many;
    for (int i = 0; i < 70; ++i)
        many += " x" + std::to_string(i) + "=\"1\"";
    const std::string head = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>";
    const std::string twice = head + "<Configruation><options captureKey=\"113\" useVideo=\"TRUE\" useVideo=\"FALSE\"/></Configruation>";
    const std::string wide = "\xFF\xFE" + quiva::WideToUtf16LE(L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><Configruation>"
                                                              L"<options captureKey=\"113\"/></Configruation>");
    for (const std::string& config : {twice, head + "<Configruation><options captureKey=\"113\"" + many + "/></Configruation>", wide}) {
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config", std::ios::binary) << config;
        HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey f2\n"
                          "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\nclose\nunload\n");
        EXPECT_EQ(run.status, 0) << config << "\n" << run.output;
        if (config != wide) {
            EXPECT_TRUE(run.output.find("QUIVA.Capture.Config: the attribute \"useVideo\" repeated") != std::string::npos ||
                        run.output.find("QUIVA.Capture.Config: attributes past 64") != std::string::npos)
                << run.output;
        }
        std::filesystem::remove_all(Clinic() + "/temp/image");
    }
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config", std::ios::binary) << head + "<Configruation><options";
    HostRun cut = Run("show 12345 2024-01-05\nwait-shown 60000\nclose\nunload\n");
    EXPECT_EQ(cut.status, 0) << cut.output;
    EXPECT_NE(cut.output.find("QUIVA.Capture.Config: the file is not read ("), std::string::npos) << cut.output;
}

// DBServer.ini saved as UTF-16 with its byte order mark, as Windows' editors save it, naming the
// clinic's PostgreSQL server: the still goes to that server, not to the local file database.
TEST_F(PacsAndSettingsFiles, ADBServerIniSavedAsUtf16NamesTheServerTheStillGoesTo)
{
    QUIVA_REQUIRE_POSTGRES(server);
    std::string why;
    ASSERT_TRUE(UsePostgres(server, &why)) << why;
    const std::string ini = "[Connection Config]\r\nDBMSKind=PostgreSQL\r\nPGHostIPAddress=" + server.host +
                            "\r\nPGPort=" + server.port + "\r\n";
    std::ofstream(Clinic() + "/DBServer.ini", std::ios::binary)
        << "\xFF\xFE" + quiva::WideToUtf16LE(quiva::Utf8ToWide(ini));
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\nkey ctrl+s\n"
                      "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12345"}));
}

// The device monitor's graph list naming a graph file without a drive ("\x\scope.grf"): the
// file is found on the drive of the clinic's data folder, never at the machine's own root, and
// the capture window shows that graph's picture when it is the chosen source.
TEST_F(PacsAndSettingsFiles, AGraphFileNamedWithoutADriveIsFoundOnTheDataFoldersDrive)
{
    // A graph of the capture card, as the crossbar build keeps it in the working folder. The
    // card's name is short, so that the device list has room for the graph file's line.
    std::ofstream(Data() + "/devices.txt") << "card \"C\"\n";
    HostRun first = Run("show 12345 2024-01-05\nwait-preview 60000\nclose\nunload\n");
    ASSERT_EQ(first.status, 0) << first.output;
    ASSERT_TRUE(std::filesystem::exists(Data() + "/cross.Grf")) << first.output;
    const std::string folder = "QUIVA-GRAPHS-" + std::to_string(getpid());
    std::filesystem::create_directories(Data() + "/d/" + folder);
    std::filesystem::rename(Data() + "/cross.Grf", Data() + "/d/" + folder + "/scope.grf");
    std::ofstream(Data() + "/QUIVACapture.GraphList") << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphFiles>"
                                                         "<GraphFile name=\"Scope\">\\" << folder << "\\scope.grf</GraphFile></GraphFiles>";
    WriteLastSave("<Last.Save><device>Scope</device></Last.Save>");
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Occurrences(run.output, "Found CrossBar"), 0) << "the saved graph was not the source\n" << run.output;
    EXPECT_FALSE(std::filesystem::exists("/" + folder));
}
