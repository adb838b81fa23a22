// The system tree view control: a tree of text items, each with a 32-bit value of the
// program's, expanded and collapsed by click or key, one item selected. Selection changes are
// reported to the parent as TVN_SELCHANGED in WM_NOTIFY. Always available as the class
// "SysTreeView32" (WC_TREEVIEWW).
#pragma once

#include "platform/ui/winuser.h"

#define WC_TREEVIEWW L"SysTreeView32"

QUIVA_DECLARE_HANDLE(HTREEITEM);

#define TVI_ROOT (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x10000)))
#define TVI_FIRST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFF)))
#define TVI_LAST (reinterpret_cast<HTREEITEM>(static_cast<ULONG_PTR>(-0x0FFFE)))

// Styles
#define TVS_HASBUTTONS 0x0001
#define TVS_HASLINES 0x0002
#define TVS_LINESATROOT 0x0004
#define TVS_SHOWSELALWAYS 0x0020
#define TVS_TRACKSELECT 0x0200

// TVITEMW.mask
#define TVIF_TEXT 0x0001
#define TVIF_IMAGE 0x0002
#define TVIF_PARAM 0x0004
#define TVIF_STATE 0x0008
#define TVIF_HANDLE 0x0010
#define TVIF_SELECTEDIMAGE 0x0020
#define TVIF_CHILDREN 0x0040

// Item states
#define TVIS_SELECTED 0x0002
#define TVIS_EXPANDED 0x0020

struct TVITEMW {
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
};
typedef TVITEMW* LPTVITEMW;

struct TVINSERTSTRUCTW {
    HTREEITEM hParent;
    HTREEITEM hInsertAfter;
    TVITEMW item;
};
typedef TVINSERTSTRUCTW* LPTVINSERTSTRUCTW;

// Messages
#define TV_FIRST 0x1100
#define TVM_DELETEITEM (TV_FIRST + 1)
#define TVM_EXPAND (TV_FIRST + 2)
#define TVM_GETITEMRECT (TV_FIRST + 4)
#define TVM_GETCOUNT (TV_FIRST + 5)
#define TVM_GETNEXTITEM (TV_FIRST + 10)
#define TVM_SELECTITEM (TV_FIRST + 11)
#define TVM_ENSUREVISIBLE (TV_FIRST + 20)
#define TVM_INSERTITEMW (TV_FIRST + 50)
#define TVM_GETITEMW (TV_FIRST + 62)
#define TVM_SETITEMW (TV_FIRST + 63)

// TVM_EXPAND
#define TVE_COLLAPSE 0x0001
#define TVE_EXPAND 0x0002
#define TVE_TOGGLE 0x0003

// TVM_GETNEXTITEM / TVM_SELECTITEM
#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_PREVIOUS 0x0002
#define TVGN_PARENT 0x0003
#define TVGN_CHILD 0x0004
#define TVGN_FIRSTVISIBLE 0x0005
#define TVGN_NEXTVISIBLE 0x0006
#define TVGN_PREVIOUSVISIBLE 0x0007
#define TVGN_CARET 0x0009

// Notifications
#define TVN_FIRST (0U - 400U)
#define TVN_SELCHANGEDW (TVN_FIRST - 51)

// How the selection changed (NMTREEVIEWW.action)
#define TVC_UNKNOWN 0x0000
#define TVC_BYMOUSE 0x0001
#define TVC_BYKEYBOARD 0x0002

struct NMTREEVIEWW {
    NMHDR hdr;
    UINT action;
    TVITEMW itemOld;  // mask TVIF_HANDLE | TVIF_STATE | TVIF_PARAM; null hItem: none
    TVITEMW itemNew;
    POINT ptDrag;
};
typedef NMTREEVIEWW* LPNMTREEVIEWW;

namespace quiva::ui {

// Registers the tree view class once; true when it is registered.
bool RegisterTreeViewClass();

// Height of one row, in pixels.
constexpr int kTreeRowHeight = 18;

}  // namespace quiva::ui
