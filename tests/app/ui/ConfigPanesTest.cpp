// The PACS and options pages: what they show, what reaches the configuration and its file (and,
// for the PACS, the next send to storescp), and the values they refuse.
#include "app/ui/CKXCtrlWndQUIVAOptions.h"
#include "app/ui/CKXCtrlWndQUIVASendDICOM.h"
#include "app/model/CKXSendDicomModel.h"
#include "tests/support/dicom/JpegSamples.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/app/SettingTestSupport.h"

using namespace quiva::test;

namespace {

constexpr const wchar_t* kMWL = L"/pacs/MWL";

// The PACS page on a configuration with a PACS set.
class PacsPage : public SettingTest {
protected:
    void SetUp() override
    {
        SettingTest::SetUp();
        config = NewConfig();
        config->SetPacsServerIp(L"10.1.2.3");
        config->SetPacsPort(L"104");
        config->SetPacsAETitle(L"PACS");
        config->SetInstitutionNumber(L"31234567");
        CKXQUIVAConfig::Options options = config->GetOptions();
        options.m_bSendDICOM = 1;
        config->SetOptions(options);
        page.m_pConfig = config.get();
        page.Create(4, 0, 0, 0, 0);
    }
    std::unique_ptr<CKXQUIVAConfig> config;
    CKXCtrlWndQUIVASendDICOM page;
};

class OptionsPage : public SettingTest {
protected:
    void SetUp() override
    {
        SettingTest::SetUp();
        config = NewConfig();
    }
    // The page on the configuration as the test has set it.
    void Build()
    {
        page.m_pConfig = config.get();
        page.Create(3, 0, 0, 0, 0);
    }
    std::unique_ptr<CKXQUIVAConfig> config;
    CKXCtrlWndQUIVAOptions page;
};

}  // namespace

TEST_F(PacsPage, ShowsTheConfigurationAndStoresWhatWasTypedOnApply)
{
    EXPECT_EQ(page.m_sendCheck.checked, 1);
    EXPECT_EQ(page.m_hostEdit.GetEditText().str(), L"10.1.2.3");
    EXPECT_EQ(page.m_aeTitleEdit.GetEditText().str(), L"PACS");
    EXPECT_EQ(page.m_portEdit.GetEditText().str(), L"104");
    EXPECT_EQ(page.m_institutionEdit.GetEditText().str(), L"31234567");

    RunPage(page, [&](CKXFixDialog& d) {
        WriteDialogPicture(d, "setting-pacs.png");
        ClickControl(d, page.m_sendCheck);
        ClickControl(d, page.m_hostEdit);
        ReplaceText(L"127.0.0.1");
        ClickControl(d, page.m_aeTitleEdit);
        ReplaceText(L"STORE_SCP");
        ClickControl(d, page.m_portEdit);
        ReplaceText(L"11112");
        ClickControl(d, page.m_applyButton);
        ClickDialogButton(d, 8);
    });
    // Sending off is stored together with the four values.
    EXPECT_EQ(config->GetOptions().m_bSendDICOM, 0);
    EXPECT_EQ(config->GetPacsServerIp().str(), L"127.0.0.1");
    EXPECT_EQ(config->GetPacsAETitle().str(), L"STORE_SCP");
    EXPECT_EQ(config->GetPacsPort().str(), L"11112");
    const std::string file = Exe("QUIVA.Capture.Config");
    EXPECT_EQ(FileAttribute(file, kMWL, L"sendDICOM"), L"0");
    EXPECT_EQ(FileAttribute(file, kMWL, L"ip"), L"127.0.0.1");
    EXPECT_EQ(FileAttribute(file, kMWL, L"aeTitle"), L"STORE_SCP");
    EXPECT_EQ(FileAttribute(file, kMWL, L"port"), L"11112");
    EXPECT_EQ(FileAttribute(file, kMWL, L"machine"), L"31234567");

    auto reread = NewConfig();
    reread->LoadConfig();
    EXPECT_EQ(reread->GetPacsServerIp().str(), L"127.0.0.1");
    EXPECT_EQ(reread->GetPacsPort().str(), L"11112");
    EXPECT_EQ(reread->GetOptions().m_bSendDICOM, 0);
}

TEST_F(PacsPage, ClosingWithoutApplyChangesNothing)
{
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_portEdit);
        ReplaceText(L"2104");
        ClickControl(d, page.m_sendCheck);
        ClickDialogButton(d, 8);
    });
    page.Refresh();
    EXPECT_EQ(config->GetPacsPort().str(), L"104");
    EXPECT_EQ(config->GetOptions().m_bSendDICOM, 1);
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Config")));
}

TEST_F(PacsPage, ValuesEverySendWouldFailOnAreRefusedWithTheReason)
{
    std::vector<std::wstring> told;
    std::vector<std::wstring> portWhenTold;
    auto answer = [&](CKXBaseDialog& box) {
        auto& b = dynamic_cast<CKXMsgBox&>(box);
        told.push_back(b.captionBar.caption.str() + L": " + b.text.str());
        portWhenTold.push_back(config->GetPacsPort().str());
        ClickBoxButton(b, IDOK);
    };
    // Each step that opens a box goes on in that box's script, once it is answered.
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_portEdit);
        ReplaceText(L"104abc");
        WhenDialogStands([&](CKXBaseDialog& box) {
            answer(box);
            ClickControl(d, page.m_aeTitleEdit);
            ReplaceText(L"ABCDEFGHIJKLMNOPQ");  // 17 characters
            ClickControl(d, page.m_portEdit);
            ReplaceText(L"4242");
            WhenDialogStands([&](CKXBaseDialog& second) {
                answer(second);
                ClickControl(d, page.m_aeTitleEdit);
                ReplaceText(L"STORE_SCP");
                ClickControl(d, page.m_applyButton);
                ClickDialogButton(d, 8);
            });
            ClickControl(d, page.m_applyButton);
        });
        ClickControl(d, page.m_applyButton);
    });
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0], L"PACS연동: Port는 1에서 65535 사이의 숫자로 입력하세요.");
    EXPECT_NE(told[1].find(L"AE Title"), std::wstring::npos);
    // Refused values never reached the configuration; mended, they are stored.
    EXPECT_EQ(portWhenTold, (std::vector<std::wstring>{L"104", L"104"}));
    EXPECT_EQ(config->GetPacsAETitle().str(), L"STORE_SCP");
    EXPECT_EQ(config->GetPacsPort().str(), L"4242");
}

TEST_F(PacsPage, TheStoredValuesAreThoseTheNextSendUses)
{
    TempDir received;
    Storescp pacs(received.Native(""), {"+xa"});
    ASSERT_TRUE(pacs.running());
    const std::wstring port = std::to_wstring(pacs.port());
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_hostEdit);
        ReplaceText(L"127.0.0.1");
        ClickControl(d, page.m_aeTitleEdit);
        ReplaceText(L"STORE PACS");
        ClickControl(d, page.m_portEdit);
        ReplaceText(port);
        ClickControl(d, page.m_applyButton);
        ClickDialogButton(d, 8);
    });
    // The next send reads the file the page wrote.
    auto reread = NewConfig();
    reread->LoadConfig();
    ASSERT_EQ(reread->GetOptions().m_bSendDICOM, 1);
    WriteAll(m_dir.Native("still.jpg"), MakeJpeg(64, 48, JpegKind::YCbCrJfif));
    CKXSendDicomModel model;
    model.chartNo = L"1234";
    model.patientName = L"HONG^GILDONG";
    model.SetNetwork(reread->GetPacsServerIp(), reread->GetPacsAETitle(), reread->GetPacsPort(),
                     reread->GetInstitutionNumber());
    model.SetDates(L"2024-01-05", L"Endo");
    EXPECT_TRUE(model.BuildAndSend(77, m_dir.Win("still.jpg"), 1));
    int stored = 0;
    for (const std::string& f : FilesIn(received.Native("")))
        stored += f.rfind("SC", 0) == 0;
    EXPECT_EQ(stored, 1);
}

TEST(PacsValues, PortsAndTitlesAPeerTakes)
{
    auto check = [](BOOL send, const wchar_t* host, const wchar_t* title, const wchar_t* port) {
        return CKXCtrlWndQUIVASendDICOM::CheckValues(send, host, title, port).IsEmpty();
    };
    EXPECT_TRUE(check(1, L"pacs", L"STORESCP", L"104"));
    EXPECT_TRUE(check(1, L"pacs", L"ABCDEFGHIJKLMNOP", L"65535"));
    EXPECT_TRUE(check(1, L"pacs", L"A B", L"1"));
    EXPECT_FALSE(check(1, L"pacs", L"STORESCP", L"0"));
    EXPECT_FALSE(check(1, L"pacs", L"STORESCP", L"65536"));
    EXPECT_FALSE(check(1, L"pacs", L"STORESCP", L"104abc"));
    EXPECT_FALSE(check(1, L"pacs", L"STORESCP", L" 104"));
    EXPECT_FALSE(check(1, L"pacs", L"STORESCP", L"-104"));
    EXPECT_FALSE(check(1, L"pacs", L"STORESCP", L"0000104"));
    EXPECT_FALSE(check(1, L"pacs", L"ABCDEFGHIJKLMNOPQ", L"104"));
    EXPECT_FALSE(check(1, L"pacs", L"AB\\CD", L"104"));
    EXPECT_FALSE(check(1, L"pacs", L"    ", L"104"));
    EXPECT_FALSE(check(1, L"pacs", L"판독실", L"104"));
    EXPECT_FALSE(check(1, L"pacs", L"", L"104"));
    EXPECT_FALSE(check(1, L"", L"STORESCP", L"104"));
    // With sending off, what is left empty is not asked for; what is given must still be right.
    EXPECT_TRUE(check(0, L"", L"", L""));
    EXPECT_FALSE(check(0, L"", L"", L"99999"));
}

TEST_F(OptionsPage, ValuesGoToTheConfigurationAndItsFileWhenTheDialogCloses)
{
    CKXQUIVAConfig::Options options = config->GetOptions();
    options.m_bUseVideo = 1;
    options.m_nRecordLimitTime = 30;
    options.m_bSaveJpegFormat = 1;
    options.m_nJpegQuality = 90;
    config->SetOptions(options);
    Build();
    EXPECT_EQ(page.m_recordLimitEdit.GetEditText().str(), L"30");
    EXPECT_FLOAT_EQ(page.m_qualitySlider.GetValue(), 90.0f);
    RunPage(page, [&](CKXFixDialog& d) {
        WriteDialogPicture(d, "setting-options.png");
        ClickControl(d, page.m_useVideoCheck);
        ClickControl(d, page.m_recordLimitEdit);
        ReplaceText(L"120");
        ClickControl(d, page.m_jpegCheck);
        ClickDialogButton(d, 8);
    });
    // Nothing is stored before the dialog has closed and the page is refreshed.
    EXPECT_EQ(config->GetOptions().m_bUseVideo, 1);
    page.m_qualitySlider.SetValue(72.9f);
    page.Refresh();
    EXPECT_EQ(config->GetOptions().m_bUseVideo, 0);
    EXPECT_EQ(config->GetOptions().m_nRecordLimitTime, 120);
    EXPECT_EQ(config->GetOptions().m_bSaveJpegFormat, 0);
    EXPECT_EQ(config->GetOptions().m_nJpegQuality, 72);  // truncated, not rounded
    const std::string file = Exe("QUIVA.Capture.Config");
    EXPECT_EQ(FileAttribute(file, L"/options", L"useVideo"), L"FALSE");
    EXPECT_EQ(FileAttribute(file, L"/options", L"recordLimitTime"), L"120");
    EXPECT_EQ(FileAttribute(file, L"/options", L"saveJpegFormat"), L"0");
    EXPECT_EQ(FileAttribute(file, L"/options", L"JpegQuality"), L"72");
}

TEST_F(OptionsPage, ALimitOutsideADayIsRefusedAndTheOneInForceStays)
{
    CKXQUIVAConfig::Options options = config->GetOptions();
    options.m_nRecordLimitTime = 45;
    options.m_bUseVideo = 1;
    config->SetOptions(options);
    Build();
    page.m_recordLimitEdit.SetEditText(L"-5", nullptr);
    page.m_useVideoCheck.checked = 0;
    std::wstring told;
    WhenDialogStands([&](CKXBaseDialog& box) {
        told = dynamic_cast<CKXMsgBox&>(box).text.str();
        ClickBoxButton(dynamic_cast<CKXMsgBox&>(box), IDOK);
    });
    page.Refresh();
    EXPECT_NE(told.find(L"86400"), std::wstring::npos);
    EXPECT_NE(told.find(L"45"), std::wstring::npos);
    EXPECT_EQ(config->GetOptions().m_nRecordLimitTime, 45);
    // The other values are stored all the same.
    EXPECT_EQ(config->GetOptions().m_bUseVideo, 0);
    EXPECT_EQ(FileAttribute(Exe("QUIVA.Capture.Config"), L"/options", L"recordLimitTime"), L"45");
}

TEST(RecordLimit, DecimalTextWithinADay)
{
    auto parse = [](const wchar_t* text) {
        int seconds = -1;
        return CKXCtrlWndQUIVAOptions::ParseRecordLimit(text, &seconds) ? seconds : -1;
    };
    EXPECT_EQ(parse(L""), 0);
    EXPECT_EQ(parse(L"abc"), 0);
    EXPECT_EQ(parse(L"  90"), 90);
    EXPECT_EQ(parse(L"12abc"), 12);
    EXPECT_EQ(parse(L"86400"), 86400);
    EXPECT_EQ(parse(L"-0"), 0);
    EXPECT_EQ(parse(L"-5"), -1);
    EXPECT_EQ(parse(L"86401"), -1);
    EXPECT_EQ(parse(L"4294967296"), -1);
    EXPECT_EQ(parse(L"99999999999999999999999"), -1);
}

TEST_F(OptionsPage, WithoutAConfigurationNothingIsStored)
{
    page.Create(3, 0, 0, 0, 0);
    EXPECT_EQ(page.m_useVideoCheck.checked, 0);
    EXPECT_EQ(page.m_recordLimitEdit.GetEditText().str(), L"");
    page.Refresh();
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Config")));
}
