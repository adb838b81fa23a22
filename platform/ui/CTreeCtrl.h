// The window object of a tree view control: the tree's messages as member functions.
#pragma once

#include "platform/ui/CWnd.h"
#include "platform/ui/treeview.h"

class CTreeCtrl : public CWnd {
public:
    // A new item with its text and value, under `parent` (TVI_ROOT: at the top), after
    // `insertAfter`; null when it could not be added.
    HTREEITEM InsertItem(LPCWSTR text, LPARAM data, HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST);
    HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM insertAfter = TVI_LAST)
    {
        return InsertItem(text, 0, parent, insertAfter);
    }
    BOOL DeleteItem(HTREEITEM item);
    BOOL DeleteAllItems();
    BOOL Expand(HTREEITEM item, UINT code);
    BOOL EnsureVisible(HTREEITEM item);
    BOOL SelectItem(HTREEITEM item);
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const;
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    // The item's value; 0 for an item that is not there.
    DWORD_PTR GetItemData(HTREEITEM item) const;
    CString GetItemText(HTREEITEM item) const;
    UINT GetCount() const;
    // The item's row in client coordinates (only its text part when `textOnly`).
    BOOL GetItemRect(HTREEITEM item, LPRECT rect, BOOL textOnly) const;
};
