#include "app/ui/CKXQUIVAThumbnailCtrlTab.h"

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/ui/QUIVATell.h"
#include "framework/CKXCtrlCursor.h"

using namespace Gdiplus;

int CKXQUIVAThumbnailCtrlTab::OnLButtonDblClk(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int r = CKXCtrlWnd::OnLButtonDblClk(px, py, handled, ctx);
    if (currentPage)
        r |= currentPage->OnLButtonDblClk(px, py - PageTop(), handled, ctx);
    return r;
}

int CKXQUIVAThumbnailCtrlTab::OnMouseWheel(int flags, float delta, float px, float py, CKXCtrlCursor* ctx)
{
    if (currentPage)
        return currentPage->OnMouseWheel(flags, delta, px, py, ctx);
    return CKXCtrlWnd::OnMouseWheel(flags, delta, px, py, ctx);
}

int CKXQUIVAThumbnailCtrlTab::OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    if (currentPage && currentPage->OnKeyDown(vk, repeat, flags, ctx))
        return 1;
    if (IKXCtrlKeyboard* focus = FocusKeyboard(ctx))
        return focus->OnKeyDown(vk, repeat, flags, ctx);
    return 0;
}

BOOL CKXQUIVAThumbnailCtrlTab::CanCloseTab(CKXCtrlTabItem* item, CKXCtrlCursor*)
{
    auto* strip = item ? dynamic_cast<CKXCtrlWndQUIVAThumbnail*>(item->page) : nullptr;
    CKXQUIVACaptureModel* model = strip ? strip->model : nullptr;
    if (model && model->m_pConfig && model->m_pConfig->GetOptions().m_bSaveWhenClose) {
        model->CommitAndTell(QUIVATellerOf(*model), false);
        // The patient goes with the tab, through the manager that owns the model, and the strip
        // with its model: nothing may draw or route to it any more.
        if (CKXQUIVACaptureModelManager* manager = model->GetManager()) {
            if (currentPage == item->page)
                currentPage = nullptr;
            item->page = nullptr;
            manager->DeleteModel(model);
        }
    }
    return 1;
}

void CKXQUIVAThumbnailCtrlTab::RebuildTabs(const CString& caption, CKXCtrlWnd* page)
{
    for (size_t i = 0; i < tabs.size(); ++i) {
        CKXCtrlTabItem* tab = tabs[i];
        if (!page || tab->page != page) {
            tab->closable = 1;
            tab->selected = 0;
            continue;
        }
        tabs.erase(tabs.begin() + static_cast<std::ptrdiff_t>(i));
        tabs.insert(tabs.begin(), tab);
        tab->closable = 0;
        tab->SetCaption(caption);
        page->SetCaption(caption);
        return;
    }
    InsertTab(0, caption, page, 0);
}

void CKXQUIVAThumbnailCtrlTab::SelectTabOf(CKXCtrlWnd* page)
{
    if (!page || currentPage == page)
        return;
    for (size_t i = 0; i < tabs.size(); ++i)
        if (tabs[i]->page == page) {
            SelectTab(static_cast<int>(i));
            return;
        }
}
