// A window's icons (WM_SETICON / WM_GETICON, kept by the default window procedure and shown by
// the display: on X11 as the window's icon property), and the messages of a minimised window's
// icon.
#pragma once

#include "platform/ui/winuser.h"

#define WM_QUERYDRAGICON 0x0037
#define WM_GETICON 0x007F
#define WM_SETICON 0x0080
#define WM_ICONERASEBKGND 0x0027

#define ICON_SMALL 0
#define ICON_BIG 1
#define ICON_SMALL2 2

namespace quiva::ui {

// The icon the window was given (big or small; the other when only one was set), or null.
HICON WindowIcon(HWND hwnd, bool big);

}  // namespace quiva::ui
