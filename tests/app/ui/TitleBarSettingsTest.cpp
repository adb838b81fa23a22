// The settings dialog and the study-name dialog as the capture window opens them: from the title
// bar's settings button and from the study combo's last entry, with injected input, on the
// clinic databases. What the pages change reaches the files, the study list, the keyboard hook
// and the stills, recordings and sends that follow.
#include <filesystem>
#include <thread>

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "app/ui/CKXCtrlWndQUIVAOptions.h"
#include "app/ui/CKXCtrlWndQUIVASendDICOM.h"
#include "app/ui/CKXCtrlWndQUIVAStudy.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/CKXQUIVAFrame.h"
#include "app/ui/QUIVAKeyboardHook.h"
#include "app/ui/QUIVAWindowClasses.h"
#include "framework/CKXAdoRecord.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"
#include "tests/app/ClinicDbSupport.h"
#include "tests/app/SettingTestSupport.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

const wchar_t kDevices[] = L"0@@Test Card Crossbar@@S-Video@@Test Card [S-Video]@@1@@2@@3\n"
                           L"1@@Test Camera@@@@Test Camera@@0@@0@@0\n";
const wchar_t kManage[] = L"검사이름관리";
const std::vector<std::wstring> kAllPages = {L"색상조정", L"해상도설정", L"검사이름 관리", L"PACS연동", L"환경설정"};

// The capture window of patient 12345 on the clinic database, with the study names "Endo" and
// "위내시경" and a PACS server option; the preview runs on the synthetic card when asked.
class TitleBarDialogs : public ClinicMachine {
protected:
    void SetUp() override
    {
        ClinicMachine::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
        quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
        SetCursorPos(960, 540);
        RegisterQUIVAWindowClasses();
        WatchDialogs();
        quiva::media::SetSyntheticConfig(std::string("card \"Test Card\"\ncamera \"Test Camera\"\n"));
        ASSERT_TRUE(m_direct.Execute(L"INSERT INTO FOPTION VALUES ('ORBITA','CATAGORY','Endo','2');"
                                     L"INSERT INTO FOPTION VALUES ('ORBITA','CATAGORY','위내시경','2');"
                                     L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','VEXARIS SERVER','ris01');"
                                     L"INSERT INTO PATIENT (CNO, PATIENT) VALUES ('12345','홍길동')",
                                     0, TRUE))
            << m_direct.GetErrorText().ToUtf8();
        m_ready = true;
    }
    void TearDown() override
    {
        if (!m_ready)
            return;
        frame.reset();
        m_engine.Close();
        RemoveKeyboardHook();
        g_bNoPrevent = 0;
        EXPECT_EQ(DropUnusedScripts(), 0) << "a dialog the test waited for did not open";
        ReleaseCapture();
        SetActiveWindow(nullptr);
        quiva::ui::PumpPending();
        UnregisterQUIVAWindowClasses();
        quiva::media::SetSyntheticConfig(std::nullopt);
    }

    // What the module does for the host's Show: database options, study list, the window.
    void ShowPatient(bool preview, const wchar_t* devices = kDevices)
    {
        if (preview)
            m_engine.Load(devices);
        frame = std::make_unique<CKXQUIVAFrame>();
        frame->SetEngine(&m_engine);
        frame->config.LoadDatabaseOptions();
        frame->titleBar.studyCombo.ReloadStudies();
        frame->Show(L"12345", L"2024-01-05", FALSE);
        quiva::ui::PumpPending();
        if (preview) {
            ASSERT_TRUE(m_engine.m_bRunning);
            ASSERT_TRUE(WaitForPicture(m_engine).ok);
        }
    }
    void AllowPacs() { ASSERT_TRUE(m_direct.Execute(L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','CHECK MOLTRIX PACS KIND','10')", 0, TRUE)); }

    CKXQUIVACaptureModel& Model() { return *g_captureKeys.model; }
    CKXCtrlQUIVAStudyComboBox& Combo() { return frame->titleBar.studyCombo; }

    // A point of the title bar (layout units) on the screen.
    POINT TitlePoint(float x, float y)
    {
        const float scale = frame->titleHost.renderHint.scale;
        POINT p{static_cast<int>(x * scale), static_cast<int>(y * scale)};
        ::ClientToScreen(frame->titleHost.m_hWnd, &p);
        return p;
    }
    void ClickTitle(const CKXCtrl& c)
    {
        ClickScreen(TitlePoint(c.x + c.width / 2, c.y + c.height / 2));
        quiva::ui::PumpPending();
    }
    // Opens the study combo and chooses a row of its list.
    void ChooseStudyRow(int row)
    {
        CKXCtrlQUIVAStudyComboBox& combo = Combo();
        ClickScreen(TitlePoint(combo.x + combo.width / 2, combo.y + combo.height / 2));
        ClickScreen(TitlePoint(combo.x + 50, combo.y + combo.height + 25.0f * static_cast<float>(row) + 12));
        quiva::ui::PumpPending();
    }
    std::vector<std::wstring> ComboItems()
    {
        std::vector<std::wstring> items;
        for (const _KXListStringItem* item : Combo().dropList.items)
            items.push_back(item->text.str() + (item->data ? L" (1)" : L""));
        return items;
    }

    struct Opened {
        bool ran = false;
        std::vector<std::wstring> tabs;
        bool hookOff = false;
    };
    // The settings button; `drive` gets the dialog once it stands and must close it.
    Opened OpenSettings(std::function<void(CKXFixDialog&)> drive)
    {
        Opened opened;
        WhenDialogStands([&opened, drive](CKXBaseDialog& dialog) {
            auto& d = dynamic_cast<CKXFixDialog&>(dialog);
            opened.ran = true;
            opened.tabs = TabCaptions(d);
            opened.hookOff = g_captureKeys.hook == nullptr;
            drive(d);
        });
        ClickTitle(frame->titleBar.settingsButton);
        EXPECT_TRUE(opened.ran) << "the settings dialog did not open";
        return opened;
    }
    // The page of the tab with that caption, whose tab is clicked (it shows once the click is
    // taken, after the script has returned).
    template <class Page>
    static Page* PageOf(CKXFixDialog& d, const wchar_t* caption)
    {
        for (CKXCtrlTabItem* item : TabControl(d)->tabs)
            if (item->caption == caption && ClickTab(d, caption))
                return dynamic_cast<Page*>(item->page);
        return nullptr;
    }

    std::vector<std::wstring> StoredNames()
    {
        std::vector<std::wstring> names;
        CKXAdoRecord record(&m_direct);
        if (record.Open(L"SELECT SETUPSECT FROM FOPTION WHERE SETUPUSER='ORBITA' AND SETUPROOM='CATAGORY' ORDER BY SETUPSECT"))
            for (; !record.IsEOF(); record.MoveNext())
                names.push_back(record.GetFieldString(L"SETUPSECT").str());
        return names;
    }
    // The newest file record of the current model and its native path.
    _KXCaptureFileInfo* Newest() { return Model().GetFileInfo(Model().GetFileCount() - 1); }
    std::string NewestPath() { return quiva::NativePath(Newest()->path.GetString()).value_or(""); }
    void PressPause()
    {
        quiva::ui::InjectObservedKey(VK_PAUSE, true);
        quiva::ui::InjectObservedKey(VK_PAUSE, false);
    }

    bool m_ready = false;
    TestEngine m_engine;
    std::unique_ptr<CKXQUIVAFrame> frame;
};

// Answers the next message box with `answer` (noting its text), then runs `next`.
void AnswerBox(std::vector<std::wstring>* texts, int answer, std::function<void()> next)
{
    WhenDialogStands([=](CKXBaseDialog& d) {
        auto& box = dynamic_cast<CKXMsgBox&>(d);
        texts->push_back(box.text.str());
        ClickBoxButton(box, answer);
        next();
    });
}

}  // namespace

TEST_P(TitleBarDialogs, TheSettingsButtonOffersThePagesOfTheMomentWithTheKeysOff)
{
    ShowPatient(false);
    EXPECT_EQ(g_captureKeys.hook, nullptr);
    // No preview: the study names only, and the hook stays off after the dialog, however closed.
    Opened opened = OpenSettings([](CKXFixDialog& d) { ClickCaptionExit(d); });
    EXPECT_EQ(opened.tabs, std::vector<std::wstring>{L"검사이름 관리"});
    EXPECT_TRUE(opened.hookOff);
    EXPECT_EQ(g_captureKeys.hook, nullptr);

    // The clinic's PACS kind 10 adds the PACS link after the study names.
    AllowPacs();
    opened = OpenSettings([](CKXFixDialog& d) { ClickDialogButton(d, 8); });
    EXPECT_EQ(opened.tabs, (std::vector<std::wstring>{L"검사이름 관리", L"PACS연동"}));
    EXPECT_EQ(g_captureKeys.hook, nullptr);

    // With the preview running every page is offered; Pause pressed in another program while the
    // dialog is open takes nothing, and once it has closed the keys act again.
    m_engine.Load(kDevices);
    frame->StartPreview();
    ASSERT_TRUE(m_engine.m_bRunning);
    ASSERT_NE(g_captureKeys.hook, nullptr);
    ASSERT_TRUE(WaitForPicture(m_engine).ok);
    opened = OpenSettings([&](CKXFixDialog& d) {
        PressPause();
        ClickCaptionExit(d);
    });
    EXPECT_EQ(opened.tabs, kAllPages);
    EXPECT_TRUE(opened.hookOff);
    EXPECT_NE(g_captureKeys.hook, nullptr);
    EXPECT_EQ(Model().GetFileCount(), 0);
    PressPause();
    quiva::ui::PumpPending();
    EXPECT_EQ(Model().GetFileCount(), 1);

    // A preview that has stopped meanwhile leaves the keys off after the dialog.
    m_engine.Stop();
    m_engine.m_bRunning = 0;
    opened = OpenSettings([](CKXFixDialog& d) { ClickDialogButton(d, 8); });
    EXPECT_EQ(opened.tabs, (std::vector<std::wstring>{L"검사이름 관리", L"PACS연동"}));
    EXPECT_EQ(g_captureKeys.hook, nullptr);
}

TEST_P(TitleBarDialogs, StudyNamesChangedInTheSettingsAreListedInTheStudyCombo)
{
    ShowPatient(false);
    EXPECT_EQ(ComboItems(), (std::vector<std::wstring>{L"Endo", L"위내시경", L"검사이름관리 (1)"}));
    EXPECT_EQ(Combo().GetEditText(), L"Endo");
    std::vector<std::wstring> boxes;
    OpenSettings([&](CKXFixDialog& d) {
        auto* page = dynamic_cast<CKXCtrlWndQUIVAStudy*>(TabControl(d)->tabs[0]->page);
        ASSERT_NE(page, nullptr);
        ClickControl(d, page->m_nameEdit);
        TypeText(L"MRI");
        ClickControl(d, page->m_addButton);
        ClickRow(d, page->m_list, 0);
        ClickControl(d, page->m_nameEdit);
        ReplaceText(L"Colon");
        AnswerBox(&boxes, IDYES, [&boxes, &d, page] {
            AnswerBox(&boxes, IDYES, [&d] { ClickDialogButton(d, 8); });
            ClickRow(d, page->m_list, 1);
            ClickControl(d, page->m_deleteButton);
        });
        ClickControl(d, page->m_modifyButton);
    });
    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"검사이름[Endo]을 검사이름[Colon]으로 변경하시겠습니까?",
                                                 L"검사이름[위내시경]을 삭제하시겠습니까?"}));
    EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Colon", L"MRI"}));
    // Right after closing: the names as the page left them, before the entry that manages them.
    EXPECT_EQ(ComboItems(), (std::vector<std::wstring>{L"Colon", L"MRI", L"검사이름관리 (1)"}));
    // The study in force stays what it was, renamed or not.
    EXPECT_EQ(Combo().GetEditText(), L"Endo");
}

TEST_P(TitleBarDialogs, TheManageEntryRunsTheStudyNamesAndLeavesTheStudyChosen)
{
    ShowPatient(true);
    ChooseStudyRow(1);
    EXPECT_EQ(Combo().GetEditText(), L"위내시경");
    EXPECT_EQ(Model().GetStudyName(), L"위내시경");

    bool hookOff = false;
    std::wstring caption = L"(none)";
    std::vector<std::wstring> boxes;
    WhenDialogStands([&](CKXBaseDialog& dialog) {
        auto& d = dynamic_cast<CKXFixDialog&>(dialog);
        hookOff = g_captureKeys.hook == nullptr;
        caption = d.captionBar.caption.str();
        auto* page = dynamic_cast<CKXCtrlWndQUIVAStudy*>(d.contentPage);
        ASSERT_NE(page, nullptr);
        WriteDialogPicture(d, "study-combo-manage.png");
        ClickControl(d, page->m_nameEdit);
        TypeText(L"MRI");
        ClickControl(d, page->m_addButton);
        // The study in force is deleted.
        AnswerBox(&boxes, IDYES, [&d] { ClickCaptionExit(d); });
        ClickRow(d, page->m_list, 1);
        ClickControl(d, page->m_deleteButton);
    });
    ChooseStudyRow(2);
    EXPECT_TRUE(hookOff);
    // Given no caption of its own, the dialog shows its page's.
    EXPECT_EQ(caption, L"검사이름 관리");
    EXPECT_NE(g_captureKeys.hook, nullptr);
    EXPECT_EQ(boxes, std::vector<std::wstring>{L"검사이름[위내시경]을 삭제하시겠습니까?"});
    EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Endo", L"MRI"}));
    EXPECT_EQ(ComboItems(), (std::vector<std::wstring>{L"Endo", L"MRI", L"검사이름관리 (1)"}));
    // The entry is no study: the text stays (a deleted study too), nothing is chosen in the list.
    EXPECT_EQ(Combo().GetEditText(), L"위내시경");
    EXPECT_EQ(Model().GetStudyName(), L"위내시경");
    EXPECT_TRUE(Combo().dropList.GetSelection().empty());

    // With a listed study the list marks it again after the dialog.
    ChooseStudyRow(0);
    EXPECT_EQ(Model().GetStudyName(), L"Endo");
    WhenDialogStands([](CKXBaseDialog& d) { ClickDialogButton(dynamic_cast<CKXFixDialog&>(d), 8); });
    ChooseStudyRow(2);
    ASSERT_EQ(Combo().dropList.GetSelection().size(), 1u);
    EXPECT_EQ(Combo().dropList.GetSelection().front()->text, L"Endo");
    EXPECT_EQ(Combo().GetEditText(), L"Endo");

    // A still after all this is filed under the study shown.
    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 1);
    EXPECT_EQ(Newest()->study, L"Endo");

    // Without a running preview the keys had no hook, and the entry's dialog does not add one.
    RemoveKeyboardHook();
    WhenDialogStands([](CKXBaseDialog& d) { ClickDialogButton(dynamic_cast<CKXFixDialog&>(d), 8); });
    ChooseStudyRow(2);
    EXPECT_EQ(g_captureKeys.hook, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Databases, TitleBarDialogs, testing::Values(ClinicBackend::SQLite, ClinicBackend::PostgreSQL),
                         ClinicBackendName);

namespace {

// The same window on the SQLite default, for the options and the PACS: what they govern does not
// depend on the database kind.
class TitleBarOptions : public TitleBarDialogs {};

}  // namespace

TEST_P(TitleBarOptions, EachOptionReachesItsFileAndWhatItGoverns)
{
    quiva::ScopedVirtualClock clock;
    ShowPatient(true);
    const std::string file = Exe("QUIVA.Capture.Config");
    // Sets the options page's controls; the dialog closes with its close button.
    auto setOptions = [&](std::function<void(CKXFixDialog&, CKXCtrlWndQUIVAOptions&)> change) {
        OpenSettings([&](CKXFixDialog& d) {
            auto* page = PageOf<CKXCtrlWndQUIVAOptions>(d, L"환경설정");
            ASSERT_NE(page, nullptr);
            change(d, *page);
            ClickDialogButton(d, 8);
        });
    };

    // JPEG quality: a low quality gives a smaller JPEG of the same picture size.
    setOptions([](CKXFixDialog& d, CKXCtrlWndQUIVAOptions& page) { TypeSlider(d, page.m_qualitySlider, L"10"); });
    EXPECT_EQ(FileAttribute(file, L"/options", L"JpegQuality"), L"10");
    EXPECT_EQ(FileAttribute(file, L"/options", L"saveJpegFormat"), L"1");
    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 1);
    const std::string low = NewestPath();
    setOptions([](CKXFixDialog& d, CKXCtrlWndQUIVAOptions& page) { TypeSlider(d, page.m_qualitySlider, L"95"); });
    EXPECT_EQ(FileAttribute(file, L"/options", L"JpegQuality"), L"95");
    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 2);
    const std::string high = NewestPath();
    quiva::DecodedImage lowImage, highImage;
    ASSERT_TRUE(quiva::DecodeImage(ReadAll(low), lowImage)) << low;
    ASSERT_TRUE(quiva::DecodeImage(ReadAll(high), highImage)) << high;
    EXPECT_EQ(lowImage.width, highImage.width);
    EXPECT_EQ(fs::path(low).extension(), ".jpg");
    EXPECT_LT(fs::file_size(low) * 3, fs::file_size(high) * 2);

    // JPEG off: the still stays a BMP.
    setOptions([](CKXFixDialog& d, CKXCtrlWndQUIVAOptions& page) { ClickControl(d, page.m_jpegCheck); });
    EXPECT_EQ(FileAttribute(file, L"/options", L"saveJpegFormat"), L"0");
    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 3);
    EXPECT_EQ(fs::path(NewestPath()).extension(), ".bmp");
    EXPECT_EQ(ReadAll(NewestPath()).substr(0, 2), "BM");

    // Video off: the video button takes a still instead of recording.
    setOptions([](CKXFixDialog& d, CKXCtrlWndQUIVAOptions& page) { ClickControl(d, page.m_useVideoCheck); });
    EXPECT_EQ(FileAttribute(file, L"/options", L"useVideo"), L"FALSE");
    ClickTitle(frame->titleBar.videoButton);
    ASSERT_EQ(Model().GetFileCount(), 4);
    EXPECT_EQ(Newest()->isVideo, 0);
    EXPECT_FALSE(m_engine.m_bRecording);

    // Video on with a limit of 2 seconds: the recording ends by itself after 2 seconds.
    setOptions([](CKXFixDialog& d, CKXCtrlWndQUIVAOptions& page) {
        ClickControl(d, page.m_useVideoCheck);
        ClickControl(d, page.m_recordLimitEdit);
        ReplaceText(L"2");
    });
    EXPECT_EQ(FileAttribute(file, L"/options", L"useVideo"), L"TRUE");
    EXPECT_EQ(FileAttribute(file, L"/options", L"recordLimitTime"), L"2");
    ClickTitle(frame->titleBar.videoButton);
    ASSERT_TRUE(Model().IsRecordingPending());
    const DWORD start = GetTickCount();
    DWORD ended = 0;
    for (int i = 0; i < 100 && !ended; ++i) {
        clock->Advance(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        quiva::ui::PumpPending();
        if (!Model().IsRecordingPending())
            ended = GetTickCount();
    }
    ASSERT_NE(ended, 0u) << "the recording did not stop at its limit";
    EXPECT_GE(ended - start, 2000u);
    EXPECT_LE(ended - start, 3000u);
    ASSERT_EQ(Model().GetFileCount(), 5);
    EXPECT_EQ(Newest()->isVideo, 1);
    EXPECT_EQ(fs::path(NewestPath()).extension(), ".avi");
    // The bar was repainted when the recording ended: the timer gave way to the settings button.
    EXPECT_FALSE(frame->titleBar.recordTimer.visible);
    EXPECT_TRUE(frame->titleBar.settingsButton.visible);

    // A limit outside a day is refused with the reason; the one in force stays. (The recording
    // that ended by itself asked for no repaint: the settings button answers all the same.)
    std::wstring told;
    setOptions([&](CKXFixDialog& d, CKXCtrlWndQUIVAOptions& page) {
        ClickControl(d, page.m_recordLimitEdit);
        ReplaceText(L"-5");
        WhenDialogStands([&](CKXBaseDialog& box) {
            told = dynamic_cast<CKXMsgBox&>(box).text.str();
            ClickBoxButton(dynamic_cast<CKXMsgBox&>(box), IDOK);
        });
    });
    EXPECT_NE(told.find(L"86400"), std::wstring::npos) << quiva::WideToUtf8(told);
    EXPECT_EQ(frame->config.GetOptions().m_nRecordLimitTime, 2);
    EXPECT_EQ(FileAttribute(file, L"/options", L"recordLimitTime"), L"2");
}

TEST_P(TitleBarOptions, PacsValuesSetInTheDialogAreUsedByTheNextSave)
{
    AllowPacs();
    fs::create_directories(Root("IMAGE"));
    ASSERT_TRUE(m_direct.Execute(L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','Image Directory','c:\\HRB4100\\IMAGE')", 0, TRUE));
    TempDir received;
    Storescp pacs(received.Native(""), {"+xa"});
    ASSERT_TRUE(pacs.running());
    ShowPatient(true);
    OpenSettings([&](CKXFixDialog& d) {
        auto* page = PageOf<CKXCtrlWndQUIVASendDICOM>(d, L"PACS연동");
        ASSERT_NE(page, nullptr);
        EXPECT_EQ(page->m_sendCheck.checked, 0);
        ClickControl(d, page->m_sendCheck);
        ClickControl(d, page->m_hostEdit);
        ReplaceText(L"127.0.0.1");
        ClickControl(d, page->m_aeTitleEdit);
        ReplaceText(L"STORE PACS");
        ClickControl(d, page->m_portEdit);
        ReplaceText(std::to_wstring(pacs.port()));
        ClickControl(d, page->m_institutionEdit);
        ReplaceText(L"31234567");
        ClickControl(d, page->m_applyButton);
        ClickDialogButton(d, 8);
    });
    const std::string file = Exe("QUIVA.Capture.Config");
    EXPECT_EQ(FileAttribute(file, L"/pacs/MWL", L"sendDICOM"), L"1");
    EXPECT_EQ(FileAttribute(file, L"/pacs/MWL", L"port"), std::to_wstring(pacs.port()));
    EXPECT_EQ(FileAttribute(file, L"/pacs/MWL", L"machine"), L"31234567");

    ClickTitle(frame->titleBar.stillButton);
    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 2);
    ClickTitle(frame->titleBar.saveButton);
    EXPECT_EQ(Scalar(L"SELECT COUNT(*) FROM MIMG"), L"2");
    int stored = 0;
    for (const std::string& f : FilesIn(received.Native("")))
        stored += f.rfind("SC", 0) == 0;
    EXPECT_EQ(stored, 2);
}

TEST_P(TitleBarOptions, DoNotDisturbIsKeptForTheNextWindow)
{
    ShowPatient(false);
    EXPECT_EQ(frame->titleBar.noPreventCheck.checked, 0);
    ClickTitle(frame->titleBar.noPreventCheck);
    EXPECT_EQ(g_bNoPrevent, 1);
    frame.reset();
    EXPECT_EQ(FileAttribute(Exe("QUIVA.Capture.LastSave"), L"/options", L"noPrevent"), L"1");
    g_bNoPrevent = 0;
    ShowPatient(false);
    EXPECT_EQ(g_bNoPrevent, 1);
    EXPECT_EQ(frame->titleBar.noPreventCheck.checked, 1);
}


TEST_P(TitleBarOptions, OptionsKeptOnlyInTheFileGovernTheWindowToo)
{
    // Neither has a control: saving when the window closes, and the extra still key (F9).
    constexpr UINT kF9 = 0x78;
    auto writeOptions = [kF9](BOOL saveWhenClose) {
        CKXQUIVAConfig c;
        CKXQUIVAConfig::Options options = c.GetOptions();
        options.m_bSaveWhenClose = saveWhenClose;
        options.m_nCaptureKey = kF9;
        c.SetOptions(options);
        c.SaveConfig();
    };
    fs::create_directories(Root("IMAGE"));
    ASSERT_TRUE(m_direct.Execute(L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','Image Directory','c:\\HRB4100\\IMAGE')", 0, TRUE));
    writeOptions(FALSE);
    ShowPatient(true);
    // A new patient's study is the one the study combo offers.
    EXPECT_EQ(Combo().GetEditText(), L"Endo");
    EXPECT_EQ(Model().GetStudyName(), L"Endo");
    EXPECT_EQ(g_captureKeys.stillKey, static_cast<DWORD>(kF9));
    quiva::ui::InjectActivation(frame->m_hWnd);
    quiva::ui::InjectObservedKey(kF9, true);
    quiva::ui::InjectObservedKey(kF9, false);
    quiva::ui::PumpPending();
    ASSERT_EQ(Model().GetFileCount(), 1);
    EXPECT_EQ(Newest()->study, L"Endo");
    // Closed with its close button: nothing is committed, the still waits in the store.
    ClickTitle(frame->titleBar.closeButton);
    EXPECT_FALSE(::IsWindow(frame->m_hWnd));
    EXPECT_EQ(Scalar(L"SELECT COUNT(*) FROM MIMG"), L"0");

    writeOptions(TRUE);
    ShowPatient(true);
    ASSERT_EQ(Model().GetFileCount(), 1);
    ClickTitle(frame->titleBar.closeButton);
    EXPECT_EQ(Scalar(L"SELECT COUNT(*) FROM MIMG"), L"1");
}

// Two inputs of the card; the first runs. The second, chosen in the source combo by the X
// server's pointer, becomes the running source, the picture and the source kept for next time.
TEST_P(TitleBarOptions, AnotherInputChosenInTheSourceComboRunsAndIsKept)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 1920, 1080);
    ShowPatient(true, L"0@@Test Card Crossbar@@Composite@@Test Card [Composite]@@0@@1@@2\n"
                      L"0@@Test Card Crossbar@@S-Video@@Test Card [S-Video]@@1@@2@@3\n");
    ASSERT_EQ(m_engine.GetCurrentDeviceName(), CString(L"Test Card [Composite]"));
    EXPECT_EQ(WaitForPicture(m_engine).stamp.label, "Composite");
    XvfbServer& xvfb = session.server();
    if (xvfb.Xdotool("version") == -1 && !XvfbServer::Required())
        GTEST_SKIP() << "xdotool is not installed";

    // The combo opens on the first click; its second row is clicked in the list it drops.
    CKXCtrlComboBox& combo = frame->titleBar.sourceCombo;
    const POINT open = TitlePoint(combo.x + combo.width / 2, combo.y + combo.height / 2);
    const POINT row = TitlePoint(combo.x + 50, combo.y + combo.height + 25.0f + 12);
    ASSERT_TRUE(PumpUntil([&] {
        xvfb.Sync();
        return xvfb.ScreenPixel(open.x, open.y) != 0;
    }));
    ASSERT_EQ(xvfb.Xdotool("mousemove " + std::to_string(open.x) + " " + std::to_string(open.y) + " click 1 mousemove " +
                           std::to_string(row.x) + " " + std::to_string(row.y) + " click 1"),
              0);
    EXPECT_TRUE(PumpUntil([&] { return m_engine.GetCurrentDeviceName() == CString(L"Test Card [S-Video]"); }))
        << m_engine.GetCurrentDeviceName().ToUtf8();
    EXPECT_EQ(combo.GetEditText(), CString(L"Test Card [S-Video]"));
    EXPECT_TRUE(m_engine.m_bRunning);
    const Stamped picture = WaitForPicture(m_engine);
    EXPECT_EQ(picture.stamp.label, "S-Video");
    EXPECT_EQ(picture.stamp.input, 2);

    frame.reset();
    CKXXmlDocument lastSave;
    ASSERT_TRUE(lastSave.Load(quiva::WindowsPath(Exe("QUIVA.Capture.LastSave"))));
    EXPECT_EQ(lastSave.GetValue(L"/device", 0), CString(L"Test Card [S-Video]"));
}

// With "방해받지 않기" ticked the capture keys act while another program is active; unticked,
// Space typed there takes nothing at once, before any change of the active window.
TEST_P(TitleBarOptions, UntickingDoNotDisturbStopsTheKeysAtOnce)
{
    ShowPatient(true);
    ClickTitle(frame->titleBar.noPreventCheck);
    ASSERT_EQ(g_bNoPrevent, 1);
    CWnd records;
    ASSERT_TRUE(records.CreateEx(0, L"STATIC", L"records", WS_POPUP | WS_VISIBLE, CRect(0, 0, 200, 100), nullptr, 0));
    quiva::ui::InjectActivation(records.m_hWnd);
    quiva::ui::PumpPending();
    auto pressSpace = [] {
        quiva::ui::InjectObservedKey(VK_SPACE, true);
        quiva::ui::InjectObservedKey(VK_SPACE, false);
        quiva::ui::PumpPending();
    };
    pressSpace();
    ASSERT_EQ(Model().GetFileCount(), 1);

    // The box is pressed, the records program takes the focus back, the button is let go.
    const CKXCtrlCheckBox& box = frame->titleBar.noPreventCheck;
    const POINT p = TitlePoint(box.x + box.width / 2, box.y + box.height / 2);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
    quiva::ui::InjectActivation(records.m_hWnd);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, p.x, p.y);
    quiva::ui::PumpPending();
    ASSERT_EQ(g_bNoPrevent, 0);
    ASSERT_NE(::GetActiveWindow(), frame->m_hWnd);
    pressSpace();
    EXPECT_EQ(Model().GetFileCount(), 1);
    PressPause();  // Pause still acts
    quiva::ui::PumpPending();
    EXPECT_EQ(Model().GetFileCount(), 2);
    records.DestroyWindow();
}

// A second patient is current; the first one's tab is up. A still taken by the still button
// brings up the strip that received it.
TEST_P(TitleBarOptions, AStillBringsUpTheStripThatReceivedIt)
{
    ShowPatient(true);
    CKXQUIVACaptureModel* first = g_captureKeys.model;
    frame->Show(L"67890", L"2024-01-06", FALSE);
    quiva::ui::PumpPending();
    CKXQUIVAThumbnailCtrlTab& tabs = frame->thumbnailTab;
    ASSERT_EQ(tabs.tabs.size(), 2u);
    ASSERT_NE(g_captureKeys.model, first);
    tabs.SelectTab(1);
    ASSERT_EQ(tabs.currentPage, CKXCtrlWndQUIVAThumbnail::Of(first));

    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 1);
    EXPECT_EQ(tabs.currentPage, CKXCtrlWndQUIVAThumbnail::Of(&Model()));
    EXPECT_EQ(tabs.selectedIndex, 0);
}

// A study name too long for a folder name: a still cannot be filed. The still button, the Pause
// key and, with video switched off, the video button each tell it once, in the one message
// box; nothing of the still stays, not even the chart folder made on the way.
TEST_P(TitleBarOptions, AStillThatCannotBeFiledIsToldAndLeavesNothingBehind)
{
    ShowPatient(true);
    const std::wstring tooLong(200, L'위');
    Combo().SetEditText(tooLong.c_str(), nullptr);
    const std::wstring notFiled = L"정지영상을 저장하지 못했습니다.";
    std::vector<std::wstring> boxes;
    AnswerBox(&boxes, IDOK, [] {});
    ClickTitle(frame->titleBar.stillButton);
    EXPECT_EQ(boxes, std::vector<std::wstring>{notFiled});
    ASSERT_EQ(Model().GetStudyName(), tooLong.c_str());
    AnswerBox(&boxes, IDOK, [] {});
    PressPause();
    quiva::ui::PumpPending();
    EXPECT_EQ(boxes, std::vector<std::wstring>(2, notFiled));
    CKXQUIVAConfig::Options options = frame->config.GetOptions();
    options.m_bUseVideo = 0;
    frame->config.SetOptions(options);
    AnswerBox(&boxes, IDOK, [] {});
    ClickTitle(frame->titleBar.videoButton);
    EXPECT_EQ(boxes, std::vector<std::wstring>(3, notFiled));
    EXPECT_FALSE(m_engine.m_bRecording);
    EXPECT_EQ(Model().GetFileCount(), 0);
    const std::string store = quiva::NativePath(Model().m_strImageRoot.GetString()).value_or("");
    ASSERT_FALSE(store.empty());
    EXPECT_FALSE(fs::exists(store + "/12345"));

    // A study that fits: the next still is filed and nothing is told.
    Combo().SetEditText(L"Endo", nullptr);
    ClickTitle(frame->titleBar.stillButton);
    EXPECT_EQ(Model().GetFileCount(), 1);
    EXPECT_EQ(boxes.size(), 3u);
}

// The captions under the close and save icons are drawn whole inside their buttons.
TEST_P(TitleBarOptions, TheCloseAndSaveCaptionsAreWhole)
{
    ShowPatient(false);
    const std::string png = SettingPictureDir() + "/title-bar.png";
    ASSERT_TRUE(quiva::ui::WriteWindowPng(frame->titleHost.m_hWnd, png));
    quiva::DecodedImage shown;
    ASSERT_TRUE(quiva::DecodeImage(ReadAll(png), shown));
    const float scale = frame->titleHost.renderHint.scale;
    const POINT origin = quiva::ui::ClientOriginInSurface(frame->titleHost.m_hWnd);  // the picture is the window's surface
    for (const CKXCtrlButton* button : {&frame->titleBar.closeButton, &frame->titleBar.saveButton}) {
        // Rows of the button below its icon that hold bright caption pixels.
        const int left = origin.x + static_cast<int>(button->x * scale);
        const int right = origin.x + static_cast<int>((button->x + button->width) * scale);
        const int top = origin.y + static_cast<int>((button->y + static_cast<float>(button->iconHeight)) * scale);
        const int bottom = origin.y + static_cast<int>((button->y + button->height) * scale);
        int first = -1, last = -1;
        for (int y = top; y < std::min(bottom, static_cast<int>(shown.height)); ++y)
            for (int x = left; x < right; ++x)
                if ((shown.pixels[static_cast<size_t>(y) * shown.width + x] & 0xFF) > 0xA0) {
                    first = first < 0 ? y : first;
                    last = y;
                }
        ASSERT_GE(first, 0) << button->caption.ToUtf8() << " shows no caption";
        // A whole line of Hangul is at least 9 pixels tall and ends above the button's edge.
        EXPECT_GE(last - first + 1, 9) << button->caption.ToUtf8();
        EXPECT_LT(last, bottom - 1) << button->caption.ToUtf8();
    }
}

// A file stands where the image directory should be: the save button says the folder is the
// trouble, not the database, and the still waits in the store.
TEST_P(TitleBarOptions, ASaveThatCannotReachTheImageDirectorySaysSo)
{
    quiva::test::WriteAll(Root("IMAGE"), "a file");
    ASSERT_TRUE(m_direct.Execute(L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','Image Directory','c:\\HRB4100\\IMAGE')", 0, TRUE));
    ShowPatient(true);
    ClickTitle(frame->titleBar.stillButton);
    ASSERT_EQ(Model().GetFileCount(), 1);
    std::vector<std::wstring> boxes;
    AnswerBox(&boxes, IDOK, [] {});
    ClickTitle(frame->titleBar.saveButton);
    EXPECT_EQ(boxes, (std::vector<std::wstring>{L"차트 12345 홍길동: 저장할 폴더가 존재하지 않습니다."}));
    EXPECT_EQ(Model().GetFileInfo(0)->saved, 0);
    EXPECT_EQ(Scalar(L"SELECT COUNT(*) FROM MIMG"), L"0");
}

INSTANTIATE_TEST_SUITE_P(Default, TitleBarOptions, testing::Values(ClinicBackend::SQLite), ClinicBackendName);

TEST(StudyCombo, ReloadKeepsTheTextAndNeverMakesTheEntryAStudy)
{
    CKXQUIVAConfig config;
    CKXCtrlQUIVAStudyComboBox combo;
    combo.config = &config;
    // Only the entry: the text is the untitled study a capture is then filed under.
    combo.ReloadStudies();
    ASSERT_EQ(combo.dropList.items.size(), 1u);
    EXPECT_EQ(combo.dropList.items[0]->data, 1);
    EXPECT_EQ(combo.GetEditText(), CString(CKXQUIVACaptureModel::kUntitledStudy));
    // The untitled text becomes the first study once names come; a text no longer listed stays.
    CArray<CString> names;
    names.Add(L"CT");
    names.Add(L"MRI");
    config.SetStudyNames(names);
    combo.ReloadStudies();
    EXPECT_EQ(combo.GetEditText(), L"CT");
    EXPECT_EQ(combo.dropList.items.size(), 3u);
    combo.SetEditText(L"Endo", nullptr);
    combo.ReloadStudies();
    EXPECT_EQ(combo.GetEditText(), L"Endo");
}
