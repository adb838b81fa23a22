#include "app/CKXQUIVASettingCtrlTab.h"

CKXQUIVASettingCtrlTab::~CKXQUIVASettingCtrlTab() { CKXQUIVASettingCtrlTab::RemoveAllTabs(); }

void CKXQUIVASettingCtrlTab::RemoveAllTabs()
{
    for (CKXCtrlTabItem* tab : tabs)
        if (tab->page && tab->page->parent == this)
            tab->page->parent = nullptr;
    m_pCurrentPage = nullptr;
    CKXCtrlWndTab::RemoveAllTabs();
}

void CKXQUIVASettingCtrlTab::Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                                  CKXCtrlCursor* ctx)
{
    CKXCtrlWndTab::Draw(g, offsetX, offsetY, hint, ctx);
    const float scale = hint ? hint->scale : 1.0f;
    if (m_pCurrentPage)
        m_pCurrentPage->Draw(g, offsetX, offsetY + StripHeight() * scale, hint, ctx);
}

int CKXQUIVASettingCtrlTab::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    BOOL stripHandled = 0;
    const int result = CKXCtrlWndTab::OnLButtonDown(px, py, &stripHandled, ctx);
    if (handled && stripHandled)
        *handled = 1;
    if (result || stripHandled || !m_pCurrentPage)
        return result;
    return m_pCurrentPage->OnLButtonDown(px, py - StripHeight(), handled, ctx);
}

int CKXQUIVASettingCtrlTab::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = CKXCtrlWndTab::OnLButtonUp(px, py, handled, ctx);
    // The page hears every release, so a press it took always ends.
    if (m_pCurrentPage)
        result |= m_pCurrentPage->OnLButtonUp(px, py - StripHeight(), handled, ctx);
    return result;
}

int CKXQUIVASettingCtrlTab::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    BOOL stripHandled = 0;
    const int result = CKXCtrlWndTab::OnMouseMove(px, py, &stripHandled, ctx);
    if (handled && stripHandled)
        *handled = 1;
    if (result || stripHandled || !m_pCurrentPage)
        return result;
    return m_pCurrentPage->OnMouseMove(px, py - StripHeight(), handled, ctx);
}

int CKXQUIVASettingCtrlTab::OnMouseLeave(CKXCtrlCursor* ctx)
{
    hoverTab = pressedTab = hoverArrow = pressedArrow = -1;
    const int result = CKXCtrlWnd::OnMouseLeave(ctx);
    if (result == 0 && m_pCurrentPage)
        return m_pCurrentPage->OnMouseLeave(ctx);
    return result;
}

void CKXQUIVASettingCtrlTab::SetSize(float w, float h)
{
    CKXCtrl::SetSize(w, h);
    RecalcLayout();
    if (m_pCurrentPage)
        m_pCurrentPage->SetSize(w, h - StripHeight());
}

void CKXQUIVASettingCtrlTab::ShowTabPage(CKXCtrlWnd* page)
{
    m_pCurrentPage = page;
    if (!page)
        return;
    page->eraseBackground = 0;
    // The page is drawn and reached through this control, below its strip: its controls find
    // their place on the host (a caret, a drop-down) through this parent.
    page->parent = this;
    if (!page->created)
        page->Create(9, 0.0f, 0.0f, width, height - StripHeight());
    else
        page->SetRect(0.0f, 0.0f, width, height - StripHeight());
}
