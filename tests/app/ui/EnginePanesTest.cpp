// The resolution and colour pages on the real engine with synthetic sources: formats tried live,
// stored or undone, colour values on the preview's pixels, and what reaches the device file.
#include <filesystem>

#include "app/ui/CKXCtrlWndQUIVAResolution.h"
#include "app/ui/CKXCtrlWndQUIVAVideoControl.h"
#include "framework/CKXWnd.h"
#include "tests/app/SettingTestSupport.h"

using namespace quiva::test;

namespace {

using ResolutionPage = EngineSettingTest;
using VideoControlPage = EngineSettingTest;



}  // namespace

TEST_F(ResolutionPage, ARowTriedButNotAppliedIsUndoneWhenTheDialogCloses)
{
    Start(kCard);
    ASSERT_EQ(PictureWidth(), 1280);
    CKXCtrlWndQUIVAResolution page;
    Build(page, 5);
    // No stored format: automatic, and the rows wait until that is switched off.
    EXPECT_EQ(page.m_autoCheck.checked, 1);
    EXPECT_EQ(page.m_list.enabled, 0);
    EXPECT_EQ(page.m_list.items.size(), 5u);
    EXPECT_EQ(page.m_current.caption.str(), L"1280x720/30fps MJPG");
    RunPage(page, [&](CKXFixDialog& d) {
        WriteDialogPicture(d, "setting-resolution.png");
        ClickRow(d, page.m_list, 3);  // disabled: nothing is tried
        ClickControl(d, page.m_autoCheck);
        ClickRow(d, page.m_list, 3);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(page.m_autoCheck.checked, 0);
    EXPECT_EQ(page.m_current.caption.str(), L"320x240/30fps UYVY");
    EXPECT_EQ(PictureWidth(), 320);
    page.Refresh();
    EXPECT_EQ(PictureWidth(), 1280);
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.Device.Config")));
}

TEST_F(ResolutionPage, AnAppliedRowIsStoredForTheSourceAndStays)
{
    Start(kCard);
    CKXCtrlWndQUIVAResolution page;
    Build(page, 5);
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_autoCheck);
        ClickRow(d, page.m_list, 1);
        ClickControl(d, page.m_applyButton);
        ClickDialogButton(d, 8);
    });
    page.Refresh();
    EXPECT_EQ(m_engine.ReqWidth(), 640);
    EXPECT_EQ(m_engine.ReqRate(), 15);
    EXPECT_EQ(DeviceFile(L"device"), kCard);
    EXPECT_EQ(DeviceFile(L"width"), L"640");
    EXPECT_EQ(DeviceFile(L"height"), L"480");
    EXPECT_EQ(DeviceFile(L"fps"), L"15");
    EXPECT_EQ(DeviceFile(L"mediaType"), L"YUY2");
}

TEST_F(ResolutionPage, TheAutomaticChoiceCanBeStoredAgain)
{
    _KXCaptureStudyConfig record;
    record.width = 640, record.height = 480, record.fps = 15, record.mediaType = L"yuy2";
    m_config->SetDeviceSettings(kCard, record);
    Start(kCard);
    CKXCtrlWndQUIVAResolution page;
    Build(page, 5);
    // The stored format is found whatever the case of its subtype.
    EXPECT_EQ(page.m_autoCheck.checked, 0);
    ASSERT_EQ(page.m_list.GetSelection().size(), 1u);
    EXPECT_EQ(page.m_list.GetSelection().front()->text.str(), L"640x480/15fps YUY2");
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_autoCheck);
        ClickControl(d, page.m_applyButton);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(page.m_list.enabled, 0);
    EXPECT_EQ(PictureWidth(), 1280);
    page.Refresh();
    EXPECT_EQ(PictureWidth(), 1280);
    EXPECT_EQ(DeviceFile(L"width"), L"0");
    EXPECT_EQ(DeviceFile(L"mediaType"), L"");
    auto reread = NewConfig();
    reread->LoadDeviceConfig();
    EXPECT_EQ(reread->GetDeviceSettings(kCard).width, 0);
}

TEST_F(ResolutionPage, ASourceWithoutFormatsHidesThePage)
{
    ASSERT_EQ(m_engine.StartPreview(kDvd, m_preview), 1);
    CKXCtrlWndQUIVAResolution page;
    Build(page, 5);
    EXPECT_EQ(page.visible, 0);

    // Without an engine there is nothing to list either.
    CKXCtrlWndQUIVAResolution alone;
    alone.Create(5, 0, 0, 0, 0);
    EXPECT_EQ(alone.visible, 0);
}

TEST_F(ResolutionPage, RowsAreFreedWhenThePageGoesWithoutRefresh)
{
    Start(kCard);
    // LeakSanitizer checks the rows' format copies of a page never refreshed.
    auto page = std::make_unique<CKXCtrlWndQUIVAResolution>();
    page->m_pEngine = &m_engine;
    page->Create(5, 0, 0, 0, 0);
    EXPECT_EQ(page->m_list.items.size(), 5u);
    page.reset();
}

TEST_F(ResolutionPage, AFormatTheEngineNamesByItsGuidIsListedByItsCode)
{
    Start(kCard);
    CKXCtrlWndQUIVAResolution page;
    Build(page, 5);
    std::vector<std::wstring> rows;
    for (const _KXListStringItem* item : page.m_list.items)
        rows.push_back(item->text.str());
    EXPECT_NE(std::find(rows.begin(), rows.end(), L"640x480/30fps NV12"), rows.end());
    // The stored name of the row stays the engine's.
    const auto* nv12 = reinterpret_cast<const _KXMCaptureResolutionInfo*>(page.m_list.items[4]->data);
    ASSERT_NE(nv12, nullptr);
    EXPECT_EQ(nv12->subtype.str(), L"{3231564E-0000-0010-8000-00AA00389B71}");
}

TEST_F(VideoControlPage, MovesChangeThePictureAndAreUndoneUnlessStored)
{
    _KXCaptureStudyConfig record;
    record.brightness = 10;
    m_config->SetDeviceSettings(kCamera, record);
    Start(kCamera);
    CKXCtrlWndQUIVAVideoControl page;
    Build(page, 1);
    EXPECT_EQ(page.m_previous[2], 10);
    EXPECT_EQ(page.SliderValue(2), 10);
    EXPECT_EQ(page.m_noColorText.visible, 0);
    const double before = PictureBrightness();
    RunPage(page, [&](CKXFixDialog& d) {
        WriteDialogPicture(d, "setting-video-control.png");
        TypeSlider(d, page.m_sliders[2], L"70.9");
        TypeSlider(d, page.m_sliders[0], L"-20");
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(EngineColors(), (std::vector<int>{-20, 0, 70, 0}));
    EXPECT_GT(PictureBrightness(), before + 20);
    // "전체 이전값" brings the picture back.
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_previousAllButton);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(EngineColors(), (std::vector<int>{0, 0, 10, 0}));
    EXPECT_NEAR(PictureBrightness(), before, 2.0);
    RunPage(page, [&](CKXFixDialog& d) {
        TypeSlider(d, page.m_sliders[2], L"70");
        ClickDialogButton(d, 8);
    });
    EXPECT_GT(PictureBrightness(), before + 20);
    // Closing the dialog returns to the previous values.
    page.Refresh();
    EXPECT_EQ(EngineColors(), (std::vector<int>{0, 0, 10, 0}));
    EXPECT_NEAR(PictureBrightness(), before, 2.0);
}

TEST_F(VideoControlPage, ResetAndPreviousButtonsActPerRowAndForAll)
{
    Start(kCamera);
    m_engine.SetColorControls(5, 6, 7, 8);
    CKXCtrlWndQUIVAVideoControl page;
    Build(page, 1);
    EXPECT_EQ(std::vector<int>(page.m_previous, page.m_previous + 4), (std::vector<int>{5, 6, 7, 8}));
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_resetButtons[1]);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(EngineColors(), (std::vector<int>{5, 0, 7, 8}));
    EXPECT_EQ(page.SliderValue(1), 0);
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_resetAllButton);
        ClickControl(d, page.m_previousButtons[3]);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(EngineColors(), (std::vector<int>{0, 0, 0, 8}));
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_previousAllButton);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(EngineColors(), (std::vector<int>{5, 6, 7, 8}));
    EXPECT_EQ(page.SliderValue(0), 5);
}

TEST_F(VideoControlPage, StoredValuesGetTheSourceARecordAndStay)
{
    Start(kCamera);
    CKXCtrlWndQUIVAVideoControl page;
    Build(page, 1);
    RunPage(page, [&](CKXFixDialog& d) {
        TypeSlider(d, page.m_sliders[1], L"33");
        ClickControl(d, page.m_saveButton);
        ClickDialogButton(d, 8);
    });
    page.Refresh();
    EXPECT_EQ(EngineColors(), (std::vector<int>{0, 33, 0, 0}));
    EXPECT_EQ(DeviceFile(L"device"), kCamera);
    EXPECT_EQ(DeviceFile(L"saturation"), L"33");
    EXPECT_EQ(m_config->GetDeviceSettings(kCamera).saturation, 33);
}

TEST_F(VideoControlPage, ColourApplicationOffRebuildsThePreviewWithoutTheEffect)
{
    Start(kCamera);
    m_engine.SetColorControls(0, 0, 40, 0);
    CKXCtrlWndQUIVAVideoControl page;
    Build(page, 1);
    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_applyColorCheck);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(m_config->GetOptions().m_bApplyColor, 0);
    EXPECT_EQ(FileAttribute(Exe("QUIVA.Capture.Config"), L"/options", L"applyColor"), L"0");
    EXPECT_FALSE(m_engine.Filter(L"Color Control"));
    EXPECT_TRUE(m_engine.m_bRunning);
    EXPECT_TRUE(WaitForPicture(m_engine).ok);
    // The sliders keep their place; off by choice is no fault to report.
    EXPECT_EQ(page.SliderValue(2), 40);
    EXPECT_EQ(page.m_noColorText.visible, 0);

    RunPage(page, [&](CKXFixDialog& d) {
        ClickControl(d, page.m_applyColorCheck);
        ClickDialogButton(d, 8);
    });
    EXPECT_EQ(m_config->GetOptions().m_bApplyColor, 1);
    EXPECT_TRUE(m_engine.Filter(L"Color Control"));
    EXPECT_EQ(EngineColors(), (std::vector<int>{0, 0, 40, 0}));
}

TEST_F(VideoControlPage, WithoutColourApplicationThePreviousValuesAreTheStoredOnes)
{
    CKXQUIVAConfig::Options options = m_config->GetOptions();
    options.m_bApplyColor = 0;
    m_config->SetOptions(options);
    _KXCaptureStudyConfig record;
    record.hue = 1, record.saturation = 2, record.brightness = 3, record.contrast = 4;
    m_config->SetDeviceSettings(kCamera, record);
    Start(kCamera);
    CKXCtrlWndQUIVAVideoControl page;
    Build(page, 1);
    EXPECT_EQ(page.m_applyColorCheck.checked, 0);
    EXPECT_EQ(std::vector<int>(page.m_previous, page.m_previous + 4), (std::vector<int>{1, 2, 3, 4}));
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(page.SliderValue(row), 0);
}

class VideoControlWithoutEffect : public EngineSettingTest {
protected:
    void SetUp() override
    {
        m_extraDevices = "fault colour_max_width=100\n";
        EngineSettingTest::SetUp();
    }
};

TEST_F(VideoControlWithoutEffect, ThePageSaysSoAndTheStoredValuesAreKept)
{
    _KXCaptureStudyConfig record;
    record.hue = 1, record.saturation = 2, record.brightness = 3, record.contrast = 4;
    m_config->SetDeviceSettings(kCamera, record);
    Start(kCamera);
    ASSERT_FALSE(m_engine.Filter(L"Color Control"));
    CKXCtrlWndQUIVAVideoControl page;
    Build(page, 1);
    // The values to return to are the stored ones, never undefined ones.
    EXPECT_EQ(std::vector<int>(page.m_previous, page.m_previous + 4), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(page.visible, 1);
    EXPECT_EQ(page.m_noColorText.visible, 1);
    EXPECT_FALSE(page.m_colorAvailable);
    RunPage(page, [&](CKXFixDialog& d) {
        WriteDialogPicture(d, "setting-video-control-no-effect.png");
        ClickControl(d, page.m_previousAllButton);
        ClickDialogButton(d, 8);
    });
    page.Refresh();
    EXPECT_EQ(page.SliderValue(3), 4);
    EXPECT_TRUE(m_engine.m_bRunning);
}
