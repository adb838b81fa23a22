#include "platform/ui/CTreeCtrl.h"

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, LPARAM data, HTREEITEM parent, HTREEITEM insertAfter)
{
    TVINSERTSTRUCTW ins{};
    ins.hParent = parent;
    ins.hInsertAfter = insertAfter;
    ins.item.mask = TVIF_TEXT | TVIF_PARAM;
    ins.item.pszText = const_cast<LPWSTR>(text ? text : L"");
    ins.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM item)
{
    return SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) ? TRUE : FALSE;
}

BOOL CTreeCtrl::DeleteAllItems() { return DeleteItem(TVI_ROOT); }

BOOL CTreeCtrl::Expand(HTREEITEM item, UINT code)
{
    return SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)) ? TRUE : FALSE;
}

BOOL CTreeCtrl::EnsureVisible(HTREEITEM item)
{
    return SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)) ? TRUE : FALSE;
}

BOOL CTreeCtrl::SelectItem(HTREEITEM item)
{
    return SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) ? TRUE : FALSE;
}

HTREEITEM CTreeCtrl::GetNextItem(HTREEITEM item, UINT code) const
{
    return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const
{
    TVITEMW it{};
    it.mask = TVIF_HANDLE | TVIF_PARAM;
    it.hItem = item;
    return item && SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)) ? static_cast<DWORD_PTR>(it.lParam) : 0;
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const
{
    wchar_t buffer[260] = {};
    TVITEMW it{};
    it.mask = TVIF_HANDLE | TVIF_TEXT;
    it.hItem = item;
    it.pszText = buffer;
    it.cchTextMax = 260;
    return item && SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)) ? CString(buffer) : CString();
}

UINT CTreeCtrl::GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }

BOOL CTreeCtrl::GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const
{
    if (!rect)
        return FALSE;
    *reinterpret_cast<HTREEITEM*>(rect) = item;
    return SendMessage(TVM_GETITEMRECT, textOnly, reinterpret_cast<LPARAM>(rect)) ? TRUE : FALSE;
}
