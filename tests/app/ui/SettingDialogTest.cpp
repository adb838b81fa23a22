// The settings dialog: which pages it offers in which order, that every page applies when it
// closes however it is closed, pictures of each page, and the dialog on the X11 display.
#include <filesystem>

#include "app/ui/CKXCtrlWndQUIVAOptions.h"
#include "app/ui/CKXCtrlWndQUIVAStudy.h"
#include "app/ui/CKXCtrlWndQUIVAVideoControl.h"
#include "app/ui/KXQUIVASettingDialog.h"
#include "framework/CKXAdoConnection.h"
#include "platform/db/db.h"
#include "tests/app/SettingTestSupport.h"
#include "tests/support/Databases.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;

namespace {

using SettingDialog = EngineSettingTest;

const std::vector<std::wstring> kAllPages = {L"색상조정", L"해상도설정", L"검사이름 관리", L"PACS연동", L"환경설정"};

// Runs the dialog and gives the captions of its tabs and their close marks; closes it with the
// close button.
std::vector<std::wstring> OfferedPages(CKXMCapture* engine, CKXQUIVAConfig* config)
{
    std::vector<std::wstring> captions;
    WhenDialogStands([&](CKXBaseDialog& dialog) {
        auto& d = dynamic_cast<CKXFixDialog&>(dialog);
        EXPECT_EQ(d.captionBar.caption.str(), L"설정");
        captions = TabCaptions(d);
        CKXCtrlWndTab* tab = TabControl(d);
        EXPECT_EQ(tab->selectedIndex, 0);
        for (CKXCtrlTabItem* item : tab->tabs)
            EXPECT_EQ(item->closable, 0) << item->caption.ToUtf8();
        ClickDialogButton(d, 8);
    });
    KXQUIVARunSettingDialog(engine, config);
    return captions;
}

}  // namespace

TEST_F(SettingDialog, WithThePreviewStoppedOnlyStudyNamesAndThePacsLinkAreOffered)
{
    EXPECT_EQ(OfferedPages(&m_engine, m_config.get()), std::vector<std::wstring>{L"검사이름 관리"});
    EXPECT_EQ(OfferedPages(nullptr, nullptr), std::vector<std::wstring>{L"검사이름 관리"});

    // The clinic's PACS kind 10, asked of the database: the PACS link follows the study names.
    ASSERT_TRUE(CreateSqliteClinicDb(m_dir.Native("HRB4100.db")));
    quiva::db::SetDataFolder(m_dir.Win());
    auto connection = std::make_unique<CKXAdoConnection>();
    connection->connectionString = L"Driver={SQL Anywhere 12};Host=127.0.0.1;Database=HRB4100;User ID=dba;Password=sql";
    ASSERT_TRUE(connection->Open(0));
    ASSERT_TRUE(connection->Execute(L"INSERT INTO FOPTION (SETUPUSER,SETUPROOM,SETUPSECT,SETUPVALUE) "
                                    L"VALUES('ORBITA','ORBITA','CHECK MOLTRIX PACS KIND','10')",
                                    0, TRUE));
    m_config->UseConnection(std::move(connection));
    m_config->SetPacsServerOption(L"ris01");
    EXPECT_EQ(OfferedPages(&m_engine, m_config.get()), (std::vector<std::wstring>{L"검사이름 관리", L"PACS연동"}));
    // The options page is not there to store anything.
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Config")));
}

TEST_F(SettingDialog, WithThePreviewRunningEveryPageIsOfferedInItsOrderAndPictured)
{
    Start(kCard);
    m_config->SetPacsKind10Seen();
    EXPECT_EQ(OfferedPages(&m_engine, m_config.get()), kAllPages);

    WhenDialogStands([&](CKXBaseDialog& dialog) {
        auto& d = dynamic_cast<CKXFixDialog&>(dialog);
        const char* files[] = {"setting-dialog-color.png", "setting-dialog-resolution.png",
                               "setting-dialog-study.png", "setting-dialog-pacs.png", "setting-dialog-options.png"};
        for (size_t i = 0; i < kAllPages.size(); ++i) {
            TabControl(d)->SelectTab(static_cast<int>(i));
            WriteDialogPicture(d, files[i]);
        }
        ClickDialogButton(d, 8);
    });
    KXQUIVARunSettingDialog(&m_engine, m_config.get());
    for (const char* name : {"setting-dialog-color.png", "setting-dialog-options.png"})
        EXPECT_GT(std::filesystem::file_size(SettingPictureDir() + "/" + name), 1000u) << name;
}

TEST_F(SettingDialog, HoweverItClosesThePagesApply)
{
    Start(kCamera);
    CKXQUIVAConfig::Options options = m_config->GetOptions();
    options.m_nRecordLimitTime = 30;
    m_config->SetOptions(options);
    WhenDialogStands([&](CKXBaseDialog& dialog) {
        auto& d = dynamic_cast<CKXFixDialog&>(dialog);
        auto* tab = TabControl(d);
        // The colour page is first: a brightness move, then the options page.
        auto* colors = dynamic_cast<CKXCtrlWndQUIVAVideoControl*>(tab->tabs[0]->page);
        ASSERT_NE(colors, nullptr);
        TypeSlider(d, colors->m_sliders[2], L"60");
        ClickTab(d, L"환경설정");
        auto* options = dynamic_cast<CKXCtrlWndQUIVAOptions*>(tab->tabs.back()->page);
        ASSERT_NE(options, nullptr);
        ClickControl(d, options->m_recordLimitEdit);
        ReplaceText(L"600");
        // The caption's exit button, not the close button.
        ClickCaptionExit(d);
    });
    KXQUIVARunSettingDialog(&m_engine, m_config.get());
    EXPECT_EQ(m_config->GetOptions().m_nRecordLimitTime, 600);
    EXPECT_EQ(FileAttribute(Exe("QUIVA.Capture.Config"), L"/options", L"recordLimitTime"), L"600");
    // The brightness move was not stored: undone.
    EXPECT_EQ(EngineColors(), (std::vector<int>{0, 0, 0, 0}));
}

TEST_F(SettingDialog, ASourceWithoutFormatsHasNoResolutionPage)
{
    ASSERT_EQ(m_engine.StartPreview(kDvd, m_preview), 1);
    EXPECT_EQ(OfferedPages(&m_engine, m_config.get()),
              (std::vector<std::wstring>{L"색상조정", L"검사이름 관리", L"환경설정"}));
}

using SettingDialogX11 = SettingTest;

TEST_F(SettingDialogX11, IsShownOnTheX11Display)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 1024, 768);
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = KX_WINDOW_CLASS;
    RegisterClassW(&wc);
    SetCursorPos(512, 384);
    XvfbServer& xvfb = session.server();
    bool clicked = false;
    WhenDialogStands([&](CKXBaseDialog& dialog) {
        auto& d = dynamic_cast<CKXFixDialog&>(dialog);
        EXPECT_TRUE(PumpUntil([&] {
            xvfb.Sync();
            return xvfb.ScreenPixel(d.posX + 200, d.posY + 200) != 0;
        }));
        xvfb.Screenshot(SettingPictureDir() + "/setting-dialog-x11.png");
        // The close button, clicked by the server.
        CKXCtrlButton* close = d.buttons.front();
        POINT p{static_cast<int>(close->x + close->width / 2), static_cast<int>(close->y + close->height / 2)};
        ::ClientToScreen(d.m_hWnd, &p);
        xvfb.SendClick(quiva::ui::CurrentBackend().NativeHandle(d.m_hWnd), p.x - d.posX, p.y - d.posY, p.x, p.y);
        clicked = true;
    });
    auto config = NewConfig();
    KXQUIVARunSettingDialog(nullptr, config.get());
    EXPECT_TRUE(clicked);
    EXPECT_GT(std::filesystem::file_size(SettingPictureDir() + "/setting-dialog-x11.png"), 1000u);
}
