// The tab control of the settings dialog: the tab strip along the top and, below it, the page of
// the selected tab, which the strip's container paints behind and whose controls find their
// place on the host through this control.
#pragma once

#include "framework/CKXCtrlWndTab.h"

class CKXQUIVASettingCtrlTab : public CKXCtrlWndTab {
public:
    CKXQUIVASettingCtrlTab() = default;
    ~CKXQUIVASettingCtrlTab() override;

    // The page becomes the current one, without a background of its own (the strip's container
    // paints it), over the area below the strip.
    void ShowTabPage(CKXCtrlWnd* page) override;
    // The pages are let go of with their tabs.
    void RemoveAllTabs() override;
};
