#include "app/ui/KXQUIVASettingDialog.h"

#include "app/ui/CKXCtrlWndQUIVAOptions.h"
#include "app/ui/CKXCtrlWndQUIVAResolution.h"
#include "app/ui/CKXCtrlWndQUIVASendDICOM.h"
#include "app/ui/CKXCtrlWndQUIVAStudy.h"
#include "app/ui/CKXCtrlWndQUIVAVideoControl.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/ui/CKXQUIVASettingCtrlTab.h"
#include "framework/CKXFixDialog.h"

namespace {

// The close button's command id; its caption is the module's string of that id ("닫기").
constexpr int kCloseButton = 8;

}  // namespace

void KXQUIVARunSettingDialog(CKXMCapture* engine, CKXQUIVAConfig* config)
{
    CKXFixDialog dialog;
    CKXQUIVASettingCtrlTab tab;
    CKXCtrlWndQUIVAVideoControl videoPage;
    CKXCtrlWndQUIVAResolution resolutionPage;
    CKXCtrlWndQUIVAStudy studyPage;
    CKXCtrlWndQUIVASendDICOM pacsPage;
    CKXCtrlWndQUIVAOptions optionsPage;
    videoPage.m_pEngine = resolutionPage.m_pEngine = engine;
    videoPage.m_pConfig = resolutionPage.m_pConfig = studyPage.m_pConfig = pacsPage.m_pConfig =
        optionsPage.m_pConfig = config;

    dialog.SetCaption(L"설정");
    tab.endMargin = 0;  // the first tab starts at the strip's left edge
    // Tabs as wide as their captions: all five fit the dialog's width without scrolling.
    tab.fixedWidth = 0;
    dialog.contentPage = &tab;
    dialog.host.SetRootControl(&tab);
    dialog.width = 400;
    dialog.height = 400;
    dialog.AddButton(kCloseButton);

    const bool running = engine && engine->m_bRunning;
    if (running) {
        videoPage.Create(1, 0, 0, 0, 0);
        if (videoPage.visible)
            tab.AddTab(videoPage.GetCaption(), &videoPage, 0);
        resolutionPage.Create(5, 0, 0, 0, 0);
        if (resolutionPage.visible)
            tab.AddTab(resolutionPage.GetCaption(), &resolutionPage, 0);
    }
    studyPage.Create(2, 0, 0, 0, 0);
    tab.AddTab(studyPage.GetCaption(), &studyPage, 0);
    if (config && config->IsPacsKind10()) {
        pacsPage.Create(4, 0, 0, 0, 0);
        tab.AddTab(L"PACS연동", &pacsPage, 0);
    }
    if (running) {
        optionsPage.Create(3, 0, 0, 0, 0);
        tab.AddTab(optionsPage.GetCaption(), &optionsPage, 0);
    }
    tab.SelectTab(0);

    dialog.CenterOnCursorMonitor();
    // However the dialog was closed, each page stores or undoes its values.
    tab.RefreshPages();
    tab.RemoveAllTabs();
}

void KXQUIVARunStudyDialog(CKXQUIVAConfig* config)
{
    CKXFixDialog dialog;
    CKXCtrlWndQUIVAStudy studyPage;
    studyPage.m_pConfig = config;
    studyPage.Create(0, 0, 0, 0, 0);
    dialog.contentPage = &studyPage;
    dialog.host.SetRootControl(&studyPage);
    dialog.width = 400;
    dialog.height = 370;
    dialog.AddButton(kCloseButton);
    dialog.CenterOnCursorMonitor();
}
