// The system static control: a text or an icon on the dialog face, never focused, never
// clicked. Always available as the class "Static" (WC_STATICW).
#pragma once

#include "platform/ui/winuser.h"

#define WC_STATICW L"Static"

// Styles (the low five bits select the kind)
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define SS_CENTERIMAGE 0x00000200L

// Messages
#define STM_SETICON 0x0170
#define STM_GETICON 0x0171

namespace quiva::ui {

// Registers the static class once; true when it is registered.
bool RegisterStaticClass();

}  // namespace quiva::ui
