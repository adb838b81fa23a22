// The tab control of the settings dialog: the tab strip along the top and, below it, the page of
// the selected tab, which gets the drawing and the mouse with the strip's height taken off.
#pragma once

#include "framework/CKXCtrlWndTab.h"

class CKXQUIVASettingCtrlTab : public CKXCtrlWndTab {
public:
    CKXQUIVASettingCtrlTab() = default;
    ~CKXQUIVASettingCtrlTab() override;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetSize(float width, float height) override;
    // The page becomes the current one, without a background of its own (the strip's container
    // paints it), over the area below the strip.
    void ShowTabPage(CKXCtrlWnd* page) override;
    // The pages are let go of with their tabs.
    void RemoveAllTabs() override;

    // The bottom of the tab strip: where the page area starts.
    float StripHeight() const { return tabArea.GetBottom(); }

    CKXCtrlWnd* m_pCurrentPage = nullptr;  // not owned
};
