// The common controls' start-up call. The window system's own controls register themselves on
// first use; this registers the requested ones at once, so a class is known before any window
// of it exists.
#pragma once

#include "platform/ui/treeview.h"

struct INITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
};
typedef INITCOMMONCONTROLSEX* LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_STANDARD_CLASSES 0x00004000

// FALSE for a null or short structure, or when a requested class could not be registered.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init);
