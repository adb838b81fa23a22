#include "framework/CKXCtrlComboBox.h"

#include <algorithm>

#include "framework/CKXWndPopup.h"

CString CKXCtrlComboBox::GetEditText()
{
    if (!editText->IsEmpty())
        return *editText;
    std::vector<_KXListStringItem*>& selected = dropList.GetSelection();
    if (!selected.empty() && selected.front()->data == 0 && !selected.front()->text.IsEmpty())
        return selected.front()->text;
    if (!dropList.items.empty() && dropList.items.front()->data == 0)
        return dropList.items.front()->text;
    return CString();
}

int CKXCtrlComboBox::AddItem(CString text, intptr_t data)
{
    dropList.AddItem(text, data);
    return static_cast<int>(dropList.items.size());
}

void CKXCtrlComboBox::SetCurSel(int index)
{
    const CString text = dropList.GetItemText(index);
    if (!text.IsEmpty())
        SetEditText(text, nullptr);
}

int CKXCtrlComboBox::DropHeight(float scale) const
{
    const int rows = std::min(static_cast<int>(dropList.items.size()), maxRows);
    return static_cast<int>(static_cast<float>(rows) * 25.0f * scale) + 1;
}

void CKXCtrlComboBox::DropDown(float dropX, float dropY, float dropWidth, float scale, CKXCtrlCursor* ctx)
{
    CKXWndPopup popup;
    popup.renderHint.scale = scale;
    dropList.Create(0, 0.0f, 0.0f, 0.0f, 0.0f);
    dropList.pressedItem = dropList.hoverItem = -1;
    popup.SetRootControl(&dropList);
    dropList.SelectString(*editText);
    CWnd* owner = ctx ? ctx->host : nullptr;
    if (popup.CreatePopup(owner, static_cast<int>(dropWidth), DropHeight(scale)))
        popup.ShowAt(static_cast<int>(dropX), static_cast<int>(dropY));
    // Escape leaves the text as it was, whatever item the arrow keys had moved to.
    if (popup.cancelled)
        dropList.SelectString(*editText);
    std::vector<_KXListStringItem*>& selected = dropList.GetSelection();
    if (!selected.empty() && !popup.cancelled)
        *editText = selected.front()->text;
    popup.root = nullptr;
    dropList.isRoot = 0;
}
