// The thumbnail tabs of the capture window: one tab per capture model over the thumbnail strips.
// Drawing, the mouse and the keys go to the current page below the tab strip.
#pragma once

#include "framework/CKXCtrlWndTab.h"

class CKXQUIVAThumbnailCtrlTab : public CKXCtrlWndTab {
public:
    CKXCtrlWnd* currentPage = nullptr;  // not owned

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    int OnMouseWheel(int flags, float delta, float x, float y, CKXCtrlCursor* ctx) override;
    void SetSize(float width, float height) override;
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    void ShowTabPage(CKXCtrlWnd* page) override;
    BOOL CanCloseTab(CKXCtrlTabItem* item, CKXCtrlCursor* ctx) override;
    void RemoveAllTabs() override;

    // The tab of the model whose strip is `page` goes to the front with `caption` (chart-name),
    // not closable, the other tabs closable; without one a new front tab is made. Tabs are told
    // apart by their model's strip, never by their caption.
    void RebuildTabs(const CString& caption, CKXCtrlWnd* page);
    // Brings the tab whose page is `page` to the screen, unless it is shown already.
    void SelectTabOf(CKXCtrlWnd* page);

protected:
    float StripHeight() const { return tabArea.Height; }
};
