#include "app/ui/CKXQUIVASettingCtrlTab.h"

CKXQUIVASettingCtrlTab::~CKXQUIVASettingCtrlTab() { CKXQUIVASettingCtrlTab::RemoveAllTabs(); }

void CKXQUIVASettingCtrlTab::RemoveAllTabs()
{
    for (CKXCtrlTabItem* tab : tabs)
        if (tab->page && tab->page->parent == this)
            tab->page->parent = nullptr;
    CKXCtrlWndTab::RemoveAllTabs();
}

void CKXQUIVASettingCtrlTab::ShowTabPage(CKXCtrlWnd* page)
{
    if (page) {
        page->eraseBackground = 0;
        // The page is drawn and reached through this control, below its strip: its controls find
        // their place on the host (a caret, a drop-down) through this parent.
        page->parent = this;
    }
    CKXCtrlWndTab::ShowTabPage(page);
}
