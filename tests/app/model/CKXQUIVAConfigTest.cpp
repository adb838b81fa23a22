#include "app/model/CKXQUIVAConfig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "framework/CKXXmlDocument.h"
#include "tests/app/AppTestSupport.h"

using quiva::test::ReadAll;
using quiva::test::WriteAll;

namespace {

class ConfigFile : public AppMachine {
protected:
    void WriteConfig(const std::string& body) { WriteAll(Exe("QUIVA.Capture.Config"), kHeader + body); }
};

void ExpectDefaults(const CKXQUIVAConfig& c, int recordLimit)
{
    EXPECT_EQ(c.GetOptions().m_bSaveWhenClose, 1);
    EXPECT_EQ(c.GetOptions().m_bWriteGraphFile, 0);
    EXPECT_EQ(c.GetOptions().m_bUseVideo, 1);
    EXPECT_EQ(c.GetOptions().m_bSaveJpegFormat, 1);
    EXPECT_EQ(c.GetOptions().m_nJpegQuality, 100);
    EXPECT_EQ(c.GetOptions().m_nRecordLimitTime, recordLimit);
    EXPECT_EQ(c.GetOptions().m_nCaptureKey, 32);
    EXPECT_EQ(c.GetOptions().m_bApplyColor, 1);
    EXPECT_EQ(c.GetOptions().m_bSourceFile, 0);
    EXPECT_EQ(c.GetOptions().m_bSourceDvd, 0);
    EXPECT_EQ(c.GetOptions().m_bSendDICOM, 0);
    EXPECT_EQ(c.GetOptions().m_strTempFolder, L"c:\\HRB4100\\temp\\image");
}

}  // namespace

TEST_F(ConfigFile, WithoutAFileTheDefaultsHoldAndNothingIsWritten)
{
    CKXQUIVAConfig c;
    EXPECT_EQ(c.GetImageRoot(), L"c:\\HRB4100");
    c.LoadConfig();
    ExpectDefaults(c, 30);
    EXPECT_TRUE(c.GetPacsServerIp().IsEmpty());
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Config")));
}

TEST_F(ConfigFile, AnOptionsElementWithoutAttributesGivesTheDefaultsButNoRecordingLimit)
{
    WriteConfig("<Configruation><options/></Configruation>");
    CKXQUIVAConfig c;
    c.LoadConfig();
    // A file without /folder/temp keeps the store under the data folder.
    ExpectDefaults(c, 0);
}

TEST_F(ConfigFile, AFileAsTheApplicationWritesItLoadsEveryValue)
{
    WriteConfig("<Configruation>\n"
                "  <options saveWhenClose=\"FALSE\" writeGraphFile=\"TRUE\" useVideo=\"FALSE\" saveJpegFormat=\"0\""
                " JpegQuality=\"85\" recordLimitTime=\"120\" captureKey=\"123\" applyColor=\"0\" />\n"
                "  <folder><temp>e:\\store\\images</temp></folder>\n"
                "  <extent><source file=\"TRUE\" dvd=\"TRUE\" /></extent>\n"
                "  <pacs><MWL ip=\"10.1.2.3\" port=\"104\" aeTitle=\"PACS1\" machine=\"12345678\" sendDICOM=\"1\" /></pacs>\n"
                "</Configruation>\n");
    CKXQUIVAConfig c;
    c.SetInstitutionNumber(L"77");  // from the database, read before the file
    c.LoadConfig();
    EXPECT_EQ(c.GetOptions().m_bSaveWhenClose, 0);
    EXPECT_EQ(c.GetOptions().m_bWriteGraphFile, 1);
    EXPECT_EQ(c.GetOptions().m_bUseVideo, 0);
    EXPECT_EQ(c.GetOptions().m_bSaveJpegFormat, 0);
    EXPECT_EQ(c.GetOptions().m_nJpegQuality, 85);
    EXPECT_EQ(c.GetOptions().m_nRecordLimitTime, 120);
    EXPECT_EQ(c.GetOptions().m_nCaptureKey, 123);
    EXPECT_EQ(c.GetOptions().m_bApplyColor, 0);
    EXPECT_EQ(c.GetOptions().m_strTempFolder, L"e:\\store\\images");
    EXPECT_EQ(c.GetOptions().m_bSourceFile, 1);
    EXPECT_EQ(c.GetOptions().m_bSourceDvd, 1);
    EXPECT_EQ(c.GetPacsServerIp(), L"10.1.2.3");
    EXPECT_EQ(c.GetPacsPort(), L"104");
    EXPECT_EQ(c.GetPacsAETitle(), L"PACS1");
    EXPECT_EQ(c.GetInstitutionNumber(), L"12345678");
    EXPECT_EQ(c.GetOptions().m_bSendDICOM, 1);
}

TEST_F(ConfigFile, BooleansAreComparedAsExactCaseSensitiveTexts)
{
    WriteConfig("<Configruation><options saveWhenClose=\"false\" writeGraphFile=\"true\" useVideo=\"no\""
                " saveJpegFormat=\"no\" applyColor=\"false\"/><extent><source file=\"True\" dvd=\"1\"/></extent>"
                "<pacs><MWL sendDICOM=\"TRUE\"/></pacs></Configruation>");
    CKXQUIVAConfig c;
    c.LoadConfig();
    EXPECT_EQ(c.GetOptions().m_bSaveWhenClose, 1);
    EXPECT_EQ(c.GetOptions().m_bWriteGraphFile, 0);
    EXPECT_EQ(c.GetOptions().m_bUseVideo, 1);
    EXPECT_EQ(c.GetOptions().m_bSaveJpegFormat, 1);
    EXPECT_EQ(c.GetOptions().m_bApplyColor, 1);
    EXPECT_EQ(c.GetOptions().m_bSourceFile, 0);
    EXPECT_EQ(c.GetOptions().m_bSourceDvd, 0);
    EXPECT_EQ(c.GetOptions().m_bSendDICOM, 0);
}

TEST_F(ConfigFile, NumbersAreReadAsDecimalsAndKeptInRange)
{
    struct Case {
        const char* quality;
        int expectedQuality;
        const char* limit;
        int expectedLimit;
        const char* key;
        int expectedKey;
    } cases[] = {
        {"abc", 0, "abc", 0, "", 32},          // no digits give 0; an empty key is the space bar
        {"", 100, "", 0, "x", 0},              // an empty quality is full quality
        {" 42x", 42, " +15s", 15, "121", 121},  // blanks, sign, digits, then anything
        {"250", 100, "-3", 0, "-1", -1},        // a quality above 100 would lose every still
        {"-7", 0, "99999999", CKXQUIVAConfig::kMaxRecordLimitSeconds, "32", 32},
    };
    for (const Case& k : cases) {
        WriteConfig(std::string("<Configruation><options JpegQuality=\"") + k.quality + "\" recordLimitTime=\"" +
                    k.limit + "\" captureKey=\"" + k.key + "\"/></Configruation>");
        CKXQUIVAConfig c;
        c.LoadConfig();
        EXPECT_EQ(c.GetOptions().m_nJpegQuality, k.expectedQuality) << k.quality;
        EXPECT_EQ(c.GetOptions().m_nRecordLimitTime, k.expectedLimit) << k.limit;
        EXPECT_EQ(c.GetOptions().m_nCaptureKey, k.expectedKey) << k.key;
    }
}

TEST_F(ConfigFile, TheTemporaryFolderStaysUnderTheDataFolder)
{
    struct Case {
        const char* element;
        const wchar_t* expected;
    } cases[] = {
        {"<folder><temp></temp></folder>", L"c:\\HRB4100\\temp\\image"},
        {"<folder/>", L"c:\\HRB4100\\temp\\image"},
        {"<folder><temp>store\\img</temp></folder>", L"c:\\HRB4100\\store\\img"},
        {"<folder><temp>..\\..\\elsewhere</temp></folder>", L"c:\\HRB4100\\temp\\image"},
        {"<folder><temp>store/../../elsewhere</temp></folder>", L"c:\\HRB4100\\temp\\image"},
        {"<folder><temp>store\\..img</temp></folder>", L"c:\\HRB4100\\store\\..img"},
        {"<folder><temp>d:\\captures</temp></folder>", L"d:\\captures"},
        {"<folder><temp>\\captures</temp></folder>", L"c:\\captures"},  // on the data folder's drive
        {"<folder><temp><![CDATA[c:\\a&b\\img]]></temp></folder>", L"c:\\a&b\\img"},
    };
    for (const Case& k : cases) {
        WriteConfig(std::string("<Configruation><options/>") + k.element + "</Configruation>");
        CKXQUIVAConfig c;
        c.LoadConfig();
        EXPECT_EQ(c.GetOptions().m_strTempFolder, k.expected) << k.element;
    }
}

TEST_F(ConfigFile, TheInstitutionNumberOfTheFileWinsOnlyWhenNotEmpty)
{
    WriteConfig("<Configruation><pacs><MWL machine=\"\"/></pacs></Configruation>");
    CKXQUIVAConfig c;
    c.SetInstitutionNumber(L"77");
    c.LoadConfig();
    EXPECT_EQ(c.GetInstitutionNumber(), L"77");
    WriteConfig("<Configruation><pacs><MWL machine=\"4100\"/></pacs></Configruation>");
    c.LoadConfig();
    EXPECT_EQ(c.GetInstitutionNumber(), L"4100");
}

TEST_F(ConfigFile, ADamagedFileLeavesTheDefaults)
{
    std::string full = std::string(kHeader) +
                       "<Configruation><options saveWhenClose=\"FALSE\" JpegQuality=\"50\"/><folder><temp>d:\\x</temp>"
                       "</folder></Configruation>";
    for (size_t cut : {full.size() / 3, full.size() / 2, full.size() - 5}) {
        WriteAll(Exe("QUIVA.Capture.Config"), full.substr(0, cut));
        CKXQUIVAConfig c;
        c.LoadConfig();
        ExpectDefaults(c, 30);
    }
    WriteAll(Exe("QUIVA.Capture.Config"), std::string("\0\xff\xfe<options", 11));
    CKXQUIVAConfig c;
    c.LoadConfig();
    ExpectDefaults(c, 30);
}

TEST_F(ConfigFile, AFileInTheWorkingFolderIsReadAndCopiedAsLoaded)
{
    std::string text = std::string(kHeader) +
                       "<Configruation><options JpegQuality=\"70\" extra=\"kept\"/><other>x</other></Configruation>";
    WriteAll(Cwd("QUIVA.Capture.Config"), text);
    CKXQUIVAConfig c;
    c.LoadConfig();
    EXPECT_EQ(c.GetOptions().m_nJpegQuality, 70);
    ASSERT_TRUE(std::filesystem::exists(Exe("QUIVA.Capture.Config")));
    std::string copy = ReadAll(Exe("QUIVA.Capture.Config"));
    // What was read, not a document made from the options.
    EXPECT_NE(copy.find("extra=\"kept\""), std::string::npos) << copy;
    EXPECT_NE(copy.find("<other>x</other>"), std::string::npos) << copy;
    EXPECT_EQ(copy.find("saveWhenClose"), std::string::npos) << copy;

    // Once there, the exe folder's file is the one read.
    WriteAll(Cwd("QUIVA.Capture.Config"), std::string(kHeader) + "<Configruation><options JpegQuality=\"10\"/></Configruation>");
    c.LoadConfig();
    EXPECT_EQ(c.GetOptions().m_nJpegQuality, 70);
}

TEST_F(ConfigFile, NoCopyFromTheWorkingFolderOfAFileThatDoesNotParseOrWithoutAnExeFolder)
{
    WriteAll(Cwd("QUIVA.Capture.Config"), "<Configruation><options");
    {
        CKXQUIVAConfig c;
        c.LoadConfig();
        ExpectDefaults(c, 30);
        EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Config")));
    }
    std::filesystem::remove_all(Root("exe"));
    WriteAll(Cwd("QUIVA.Capture.Config"), std::string(kHeader) + "<Configruation><options JpegQuality=\"60\"/></Configruation>");
    CKXQUIVAConfig c;
    c.LoadConfig();
    EXPECT_EQ(c.GetOptions().m_nJpegQuality, 60);
    EXPECT_FALSE(std::filesystem::exists(Root("exe")));
    // Saving does not make the folder either.
    c.SaveConfig();
    EXPECT_FALSE(std::filesystem::exists(Root("exe")));
}

TEST_F(ConfigFile, ASavedFileHoldsTheFourElementsInOrderAndReadsBack)
{
    WriteConfig("<Configruation><junk/><pacs><MWL ip=\"old\"/></pacs><options useVideo=\"FALSE\"/></Configruation>");
    CKXQUIVAConfig c;
    c.LoadConfig();
    CKXQUIVAConfig::Options options = c.GetOptions();
    options.m_bSaveWhenClose = 0;
    options.m_bWriteGraphFile = 1;
    options.m_nJpegQuality = 90;
    options.m_nRecordLimitTime = 600;
    options.m_nCaptureKey = 19;
    options.m_bApplyColor = 0;
    options.m_strTempFolder = L"c:\\a<b>\\img";
    options.m_strPacsHost = L"192.168.0.9";
    options.m_strPacsPort = L"11112";
    options.m_strPacsAETitle = L"STORE_SCP";
    options.m_strInstitutionNumber = L"31200";
    options.m_bSendDICOM = 1;
    c.SetOptions(options);
    c.SaveConfig();

    std::string text = ReadAll(Exe("QUIVA.Capture.Config"));
    EXPECT_NE(text.find("encoding=\"euc-kr\""), std::string::npos);
    EXPECT_EQ(text.find("junk"), std::string::npos);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("<Configruation>\\s*<options ([^>]*)/>\\s*<folder>\\s*<temp>"
                                                      "\\s*<!\\[CDATA\\[c:\\\\a<b>\\\\img\\]\\]>\\s*</temp>\\s*</folder>\\s*"
                                                      "<extent>\\s*<source ([^>]*)/>\\s*</extent>\\s*<pacs>\\s*"
                                                      "<MWL ([^>]*)/>\\s*</pacs>\\s*</Configruation>")))
        << text;
    EXPECT_EQ(std::regex_replace(m[1].str(), std::regex("\\s+$"), ""),
              "saveWhenClose=\"FALSE\" writeGraphFile=\"TRUE\" useVideo=\"FALSE\" saveJpegFormat=\"1\" "
              "JpegQuality=\"90\" recordLimitTime=\"600\" captureKey=\"19\" applyColor=\"0\"");
    EXPECT_EQ(std::regex_replace(m[2].str(), std::regex("\\s+$"), ""), "file=\"FALSE\" dvd=\"FALSE\"");
    EXPECT_EQ(std::regex_replace(m[3].str(), std::regex("\\s+$"), ""),
              "ip=\"192.168.0.9\" port=\"11112\" aeTitle=\"STORE_SCP\" machine=\"31200\" sendDICOM=\"1\"");

    CKXQUIVAConfig back;
    back.LoadConfig();
    EXPECT_EQ(back.GetOptions().m_bSaveWhenClose, 0);
    EXPECT_EQ(back.GetOptions().m_bWriteGraphFile, 1);
    EXPECT_EQ(back.GetOptions().m_bUseVideo, 0);
    EXPECT_EQ(back.GetOptions().m_nJpegQuality, 90);
    EXPECT_EQ(back.GetOptions().m_nRecordLimitTime, 600);
    EXPECT_EQ(back.GetOptions().m_nCaptureKey, 19);
    EXPECT_EQ(back.GetOptions().m_bApplyColor, 0);
    EXPECT_EQ(back.GetOptions().m_strTempFolder, L"c:\\a<b>\\img");
    EXPECT_EQ(back.GetInstitutionNumber(), L"31200");
    EXPECT_EQ(back.GetOptions().m_bSendDICOM, 1);
}

TEST_F(ConfigFile, TheImageRootIsTheFirstOfDEFHoldingTheDataFolderElseC)
{
    std::filesystem::remove_all(m_dir.Native("c/HRB4100"));
    {
        CKXQUIVAConfig c;  // c: is taken even without the folder
        EXPECT_EQ(c.GetImageRoot(), L"c:\\HRB4100");
        EXPECT_EQ(c.GetOptions().m_strTempFolder, L"c:\\HRB4100\\temp\\image");
    }
    MapDrive('d', false);
    MapDrive('f', true);
    {
        CKXQUIVAConfig c;
        EXPECT_EQ(c.GetImageRoot(), L"f:\\HRB4100");
        EXPECT_EQ(c.GetOptions().m_strTempFolder, L"f:\\HRB4100\\temp\\image");
    }
    MapDrive('e', true);
    CKXQUIVAConfig c;
    EXPECT_EQ(c.GetImageRoot(), L"e:\\HRB4100");
}
