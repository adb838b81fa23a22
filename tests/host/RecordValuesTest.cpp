// What the clinic records hand the module, as they may hold it: control characters and blanks in
// a chart number, a patient's name and the study names, and a configured image directory whose
// ".." reaches for more than its drive. Through the stand-in host and the real module, with
// storescp as the PACS and dcmdump reading what arrived.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "tests/support/dicom/NetTestSupport.h"
#include "tests/host/ClinicWithPacs.h"
#include "tests/support/HostProgramSupport.h"
#include "tests/support/Command.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

class RecordValues : public ClinicWithPacs {
protected:
    // The value dcmdump shows for a tag ("(0010,0020)") of a received object, between its brackets.
    static std::string ValueOf(const std::string& dump, const std::string& tag)
    {
        std::istringstream lines(dump);
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(tag, 0) != 0)
                continue;
            const size_t open = line.find('['), close = line.rfind(']');
            if (open == std::string::npos || close == std::string::npos || close < open)
                return "(no value) " + line;
            return line.substr(open + 1, close - open - 1);
        }
        return "(missing)";
    }

};

bool HasControlCharacter(const std::string& text)
{
    for (unsigned char c : text)
        if (c < 0x20 || c == 0x7F)
            return true;
    return false;
}

}  // namespace

// A chart number, a name and a study name holding a line break, a carriage return, a tab, BEL,
// U+0001 or DEL: the PACS gets blanks where they stood, the name has five components at most,
// no folder's name holds one, the window shows blanks, and the rows keep the chart as the
// clinic records hold it.
TEST_F(RecordValues, ControlCharactersReachNeitherThePacsNorAFolderName)
{
    ASSERT_TRUE(Execute("UPDATE PATIENT SET CNO = '12' || char(9) || '34' || char(1) || 'X', "
                        "PATIENT = 'KIM' || char(10) || 'MIN' || char(127) || 'SU A B C D' WHERE CNO = '12345';"
                        "UPDATE FOPTION SET SETUPSECT = 'Upper' || char(13) || char(10) || 'GI' || char(7) WHERE SETUPSECT = '위내시경';"
                        "UPDATE FOPTION SET SETUPSECT = 'Lower' || char(9) || 'GI' WHERE SETUPSECT = '대장내시경'"));
    // First the still, kept in the store; then Ctrl+S files it and sends it.
    const std::string show = "show \"12\t34\x01X\" 2024-01-05\n";
    HostRun run = Run("parent\n" + show + R"(wait-preview 60000
activate
key space
wait-files d/HRB4100/temp/image/*/*/20240105/*.jpg 1 60000
print
close
unload
)");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("capture window: \"영상얻기 (12 34 X-"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("34\x01X"), std::string::npos) << "shown raw in the caption";
    const std::vector<std::string> stored = FilesBelow("temp/image");
    ASSERT_FALSE(stored.empty());
    for (const std::string& path : stored)
        EXPECT_FALSE(HasControlCharacter(path)) << ::testing::PrintToString(path);

    run = Run("parent\n" + show + R"(wait-preview 60000
activate
key ctrl+s
wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000
wait-files d/HRB4100/temp/image/*/*/*/*.jpg 0 60000
close
unload
)");
    ASSERT_EQ(run.status, 0) << run.output;
    // The rows keep the chart as the clinic records hold it.
    EXPECT_EQ(Rows("SELECT CNO FROM MMAIN"), (std::vector<std::string>{"12\t34\x01X"}));
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12\t34\x01X"}));

    std::vector<std::string> received = FilesIn(Received());
    ASSERT_EQ(received.size(), 1u) << run.output;
    const std::string dump = RunCommand("dcmdump -Un '" + Received() + "/" + received[0] + "'");
    EXPECT_EQ(ValueOf(dump, "(0008,0020)"), "20240105") << dump;  // the store gave the still back whole
    EXPECT_EQ(ValueOf(dump, "(0010,0020)"), "12 34 X") << dump;
    EXPECT_EQ(ValueOf(dump, "(0010,0010)"), "KIM^MIN^SU^A^B C D") << dump;
    const std::string study = ValueOf(dump, "(0008,1030)");
    EXPECT_TRUE(study == "Upper  GI" || study == "Lower GI") << dump;
    EXPECT_EQ(ValueOf(dump, "(0008,103e)"), study) << dump;
    for (const char* tag : {"(0010,0020)", "(0010,0010)", "(0008,1030)", "(0008,103e)"})
        EXPECT_FALSE(HasControlCharacter(ValueOf(dump, tag))) << tag;
}

// Names as the clinic records may hold them: Hangul kept decomposed (conjoining jamo), a line
// break between the words or at the end, only blanks, more component groups than a name has.
// The PACS gets the syllables in the code page, no empty or blank component at a group's end, no
// value for a name of blanks, three groups at most.
TEST_F(RecordValues, NamesReachThePacsComposedAndWithoutEmptyComponentsAtTheirEnd)
{
    const std::vector<std::pair<std::string, std::string>> patients = {
        {"901", "char(4370, 4457, 4540, 4352, 4469, 4527, 4355, 4457, 4540)"},  // 홍길동, decomposed
        {"902", "'Kim' || char(13) || char(10) || 'Lee'"},
        {"903", "'Kim Lee' || char(13) || char(10)"},
        {"904", "'        '"},
        {"905", "'A=B=C=D=E'"}};
    for (const auto& [chart, name] : patients)
        ASSERT_TRUE(Execute("INSERT INTO PATIENT VALUES ('" + chart + "', " + name + ", 'F', '19800101')"));
    for (size_t i = 0; i < patients.size(); ++i) {
        const std::string& chart = patients[i].first;
        HostRun run = Run("parent\nshow " + chart + " 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                          "wait-files d/HRB4100/temp/image/" + chart + "/*/20240105/*.jpg 1 60000\nkey ctrl+s\n"
                          "wait-files d/HRB4100/IMAGE/*/*/*/*/* " + std::to_string(i + 1) + " 60000\nclose\nunload\n");
        ASSERT_EQ(run.status, 0) << run.output;
    }
    std::map<std::string, std::string> names;  // by chart
    for (const std::string& file : FilesIn(Received())) {
        const std::string dump = RunCommand("dcmdump -Un '" + Received() + "/" + file + "'");
        names[ValueOf(dump, "(0010,0020)")] = ValueOf(dump, "(0010,0010)");
    }
    ASSERT_EQ(names.size(), patients.size()) << ::testing::PrintToString(names);
    EXPECT_EQ(names["901"], "\xC8\xAB\xB1\xE6\xB5\xBF");  // 홍길동 in code page 949
    EXPECT_EQ(names["902"], "Kim^^Lee");
    EXPECT_EQ(names["903"], "Kim^Lee");
    EXPECT_EQ(names["904"].rfind("(no value)", 0), 0u) << names["904"];
    EXPECT_EQ(names["905"], "A=B=C^D^E");
}

// A study title edited into a still's info.xml by hand reaches the clinic records no longer than a
// study name can be, and the PACS within its own limit.
TEST_F(RecordValues, AStudyTitleEditedIntoInfoXmlIsNoLongerThanAStudyName)
{
    HostRun run = Run("parent\nshow 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                      "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    std::string title;
    for (int i = 0; i < 30; ++i)
        title += "T" + std::to_string(100 + i) + "-long-study-name.";  // 21 characters
    std::vector<std::string> infos;
    for (const std::string& f : FilesBelow("temp/image"))
        if (f.size() > 8 && f.compare(f.size() - 8, 8, "info.xml") == 0)
            infos.push_back(Clinic() + "/temp/image/" + f);
    ASSERT_EQ(infos.size(), 1u);
    std::string xml = ReadAll(infos[0]);
    const size_t at = xml.find("Study=\"", xml.find("<image"));
    ASSERT_NE(at, std::string::npos) << xml;
    xml.replace(at + 7, xml.find('"', at + 7) - at - 7, title);
    WriteAll(infos[0], xml);

    run = Run("parent\nshow 12345 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
              "wait-files d/HRB4100/IMAGE/*/*/*/*/* 1 60000\nclose\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT TITLE FROM MMAIN"), (std::vector<std::string>{title.substr(0, 100)}));
    const std::vector<std::string> received = FilesIn(Received());
    ASSERT_EQ(received.size(), 1u) << run.output;
    const std::string dump = RunCommand("dcmdump -Un '" + Received() + "/" + received[0] + "'");
    EXPECT_EQ(ValueOf(dump, "(0008,1030)"), title.substr(0, 64)) << dump;
}

// A chart number of blanks, of control characters or of ideographic spaces names nobody: the
// window shows no patient and nothing is filed.
TEST_F(RecordValues, AChartOfBlanksIsNoChart)
{
    std::string script = "parent\n";
    const char* const charts[] = {"   ", "\x01\x7f", "\xE3\x80\x80\xE3\x80\x80", " \t\x02\xE3\x80\x80 "};
    for (const char* chart : charts)
        script += std::string("show \"") + chart + "\" 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                  "wait-files d/HRB4100/temp/image/*/*/*/*.jpg 0 60000\nprint\nkey ctrl+s\n";
    HostRun run = Run(script + "close\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    size_t shown = 0;
    for (size_t at = run.output.find("capture window: \"영상얻기\""); at != std::string::npos;
         at = run.output.find("capture window: \"영상얻기\"", at + 1))
        ++shown;
    EXPECT_EQ(shown, std::size(charts)) << run.output;
    EXPECT_TRUE(FilesBelow("temp/image").empty()) << ::testing::PrintToString(FilesBelow("temp/image"));
    EXPECT_TRUE(Rows("SELECT CNO FROM MMAIN").empty());
    EXPECT_TRUE(FilesIn(Received()).empty());
}

// The blanks around a chart number (ASCII and ideographic spaces) are no part of it: each still
// is filed under the patient's chart, its rows carry it and the PACS gets it as the PatientID.
TEST_F(RecordValues, BlanksAroundAChartAreNoPartOfIt)
{
    const char* const charts[] = {"12345 ", " 12345", "\xE3\x80\x80" "12345\xE3\x80\x80", "\t12345 \xE3\x80\x80"};
    std::string script = "parent\n";
    int stills = 0;
    for (const char* chart : charts)
        script += std::string("show \"") + chart + "\" 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                  "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg " + std::to_string(++stills) + " 60000\nprint\n";
    script += "key ctrl+s\nwait-files d/HRB4100/IMAGE/*/*/*/*/* " + std::to_string(stills) + " 60000\nclose\nunload\n";
    HostRun run = Run(script);
    ASSERT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow("temp/image"));
    size_t named = 0;
    for (size_t at = run.output.find("capture window: \"영상얻기 (12345-홍길동)\""); at != std::string::npos;
         at = run.output.find("capture window: \"영상얻기 (12345-홍길동)\"", at + 1))
        ++named;
    EXPECT_EQ(named, std::size(charts)) << run.output;
    for (const std::string& path : FilesBelow("temp/image"))
        EXPECT_EQ(path.rfind("12345/", 0), 0u) << path;
    EXPECT_EQ(Rows("SELECT DISTINCT CNO FROM MMAIN"), (std::vector<std::string>{"12345"}));
    EXPECT_EQ(Rows("SELECT DISTINCT CNO FROM MIMG"), (std::vector<std::string>{"12345"}));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{std::to_string(stills)}));
    const std::vector<std::string> received = FilesIn(Received());
    EXPECT_EQ(received.size(), static_cast<size_t>(stills)) << run.output;
    for (const std::string& file : received) {
        const std::string dump = RunCommand("dcmdump -Un '" + Received() + "/" + file + "'");
        EXPECT_EQ(ValueOf(dump, "(0010,0020)"), "12345") << dump;
    }
}

// Charts whose folder names clean alike ("12345." and "12345", "1/2" and "1_2", "a123" and
// "A123"), each with a still kept in the store: each chart's still is listed in a folder whose
// info.xml names that chart alone, and the next session's Ctrl+S files each under its own chart
// and sends it with that chart as the PatientID.
TEST_F(RecordValues, ChartsWhoseFolderNamesCleanAlikeKeepTheirOwnStills)
{
    const std::vector<std::string> charts = {"12345.", "12345", "1/2", "1_2", "a123", "A123"};
    for (const std::string& chart : charts)
        if (chart != "12345")
            ASSERT_TRUE(Execute("INSERT INTO PATIENT (CNO, PATIENT) VALUES ('" + chart + "', 'P')"));
    std::string script = "parent\n";
    for (size_t n = 0; n < charts.size(); ++n)
        script += "show \"" + charts[n] + "\" 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                  "wait-files d/HRB4100/temp/image/*/*/*/*.jpg " + std::to_string(n + 1) + " 60000\n";
    HostRun run = Run(script + "close\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output << ::testing::PrintToString(FilesBelow("temp/image"));
    // Each chart named by one info.xml, which lists one still.
    std::map<std::string, std::vector<std::string>> named;
    for (const std::string& file : FilesBelow("temp/image")) {
        if (fs::path(file).filename() != "info.xml")
            continue;
        const std::string text = ReadAll(Clinic() + "/temp/image/" + file);
        const size_t at = text.find("chartNo=\"");
        ASSERT_NE(at, std::string::npos) << file << ": " << text;
        named[text.substr(at + 9, text.find('"', at + 9) - at - 9)].push_back(text);
    }
    for (const std::string& chart : charts) {
        ASSERT_EQ(named[chart].size(), 1u) << chart << ::testing::PrintToString(FilesBelow("temp/image"));
        const std::string& text = named[chart][0];
        const size_t first = text.find("<image");
        EXPECT_TRUE(first != std::string::npos && text.find("<image", first + 1) == std::string::npos) << chart << ": " << text;
    }

    script = "parent\n";
    for (size_t n = 0; n < charts.size(); ++n)
        script += "show \"" + charts[n] + "\" 2024-01-05\nwait-preview 60000\nactivate\nkey ctrl+s\n"
                  "wait-files d/HRB4100/IMAGE/*/*/*/*/* " + std::to_string(n + 1) + " 60000\n";
    run = Run(script + "close\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    std::multiset<std::string> rows;
    for (const std::string& chart : charts)
        rows.insert(chart + "|1");
    for (const char* table : {"MIMG", "MMAIN"}) {
        const std::vector<std::string> found = Rows(std::string("SELECT CNO, COUNT(*) FROM ") + table + " GROUP BY CNO");
        EXPECT_EQ(std::multiset<std::string>(found.begin(), found.end()), rows) << table;
    }
    std::multiset<std::string> sent;
    for (const std::string& file : FilesIn(Received()))
        sent.insert(ValueOf(RunCommand("dcmdump -Un '" + Received() + "/" + file + "'"), "(0010,0020)"));
    EXPECT_EQ(sent, std::multiset<std::string>(charts.begin(), charts.end()));
}

// A configured image directory whose ".." would climb above drive D's root stays on drive D, as
// on Windows: the copies land in the folder that stands for the drive, never beside it.
TEST_F(RecordValues, AnImageDirectoryWithDotDotStaysOnItsDrive)
{
    ASSERT_TRUE(Execute("UPDATE FOPTION SET SETUPVALUE = 'D:\\HRB4100\\..\\..\\STORE' WHERE SETUPSECT = 'Image Directory'"));
    HostRun run = Run(R"(parent
show 12345 2024-01-05
wait-preview 60000
activate
key space
wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 1 60000
key ctrl+s
wait-files d/STORE/*/*/*/*/* 1 60000
close
unload
)");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(fs::exists(m_dir.Native("STORE"))) << "the copy was made beside drive D's folder";
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12345"}));
    EXPECT_EQ(FilesIn(Received()).size(), 1u) << run.output;
}

// A store folder and an image directory named without a drive ("\x") lie on the drive of the
// clinic's data folder, as Windows reads them there: nothing is made at the machine's own root.
TEST_F(RecordValues, FoldersNamedWithoutADriveLieOnTheDataFoldersDrive)
{
    const std::string store = "QUIVA-STORE-" + std::to_string(getpid()), images = "QUIVA-IMAGES-" + std::to_string(getpid());
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
        << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"FALSE\" "
           "captureKey=\"32\"/><folder><temp>\\" << store << "\\image</temp></folder></Configruation>";
    ASSERT_TRUE(Execute("UPDATE FOPTION SET SETUPVALUE = '\\" + images + "' WHERE SETUPSECT = 'Image Directory'"));
    HostRun run = Run("parent\nshow 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                      "wait-files d/" + store + "/image/12345/*/20240105/*.jpg 1 60000\nkey ctrl+s\n"
                      "wait-files d/" + images + "/*/*/*/*/* 1 60000\nclose\nunload\n");
    const bool atRoot = fs::exists("/" + store) || fs::exists("/" + images);
    fs::remove_all("/" + store);
    fs::remove_all("/" + images);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_FALSE(atRoot) << "a folder was made at the machine's root";
    EXPECT_EQ(Rows("SELECT CNO FROM MIMG"), (std::vector<std::string>{"12345"}));
}
