// The thumbnail tabs of the capture window: one tab per capture model over the thumbnail strips.
// Besides what the tab control routes to the page below the strip, double clicks, the wheel and
// the keys go to it too.
#pragma once

#include "framework/CKXCtrlWndTab.h"

class CKXQUIVAThumbnailCtrlTab : public CKXCtrlWndTab {
public:
    int OnLButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseWheel(int flags, float delta, float x, float y, CKXCtrlCursor* ctx) override;
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    BOOL CanCloseTab(CKXCtrlTabItem* item, CKXCtrlCursor* ctx) override;
    // The page starts at the strip's height, its top margin not counted.
    float PageTop() const override { return tabArea.Height; }

    // The tab of the model whose strip is `page` goes to the front with `caption` (chart-name),
    // not closable, the other tabs closable; without one a new front tab is made. Tabs are told
    // apart by their model's strip, never by their caption.
    void RebuildTabs(const CString& caption, CKXCtrlWnd* page);
    // Brings the tab whose page is `page` to the screen, unless it is shown already.
    void SelectTabOf(CKXCtrlWnd* page);
};
