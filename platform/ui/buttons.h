// The system button class: push buttons and check boxes. Always available; a window of the
// class "Button" (WC_BUTTONW) can be created without registering anything first.
#pragma once

#include "platform/ui/winuser.h"

#define WC_BUTTONW L"Button"

// Button styles (the low four bits select the kind)
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_CHECKBOX 0x00000002L
#define BS_AUTOCHECKBOX 0x00000003L
#define BS_TYPEMASK 0x0000000FL

// Button messages
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define BM_GETSTATE 0x00F2
#define BM_SETSTATE 0x00F3
#define BM_CLICK 0x00F5

#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#define BST_PUSHED 0x0004
#define BST_FOCUS 0x0008

// Notification code sent to the parent in WM_COMMAND (HIWORD of wParam; lParam is the button)
#define BN_CLICKED 0

namespace quiva::ui {

// Registers the button class once; true when it is registered.
bool RegisterButtonClass();

}  // namespace quiva::ui
