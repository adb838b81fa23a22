// The system message box: a modal box with a text, an icon and a row of buttons, run on the
// calling thread's own message loop so it can be answered with injected input.
#pragma once

#include "platform/ui/dialog.h"

// Buttons
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ABORTRETRYIGNORE 0x00000002L
#define MB_YESNOCANCEL 0x00000003L
#define MB_YESNO 0x00000004L
#define MB_RETRYCANCEL 0x00000005L
#define MB_TYPEMASK 0x0000000FL
// Icons
#define MB_ICONHAND 0x00000010L
#define MB_ICONERROR 0x00000010L
#define MB_ICONSTOP 0x00000010L
#define MB_ICONQUESTION 0x00000020L
#define MB_ICONEXCLAMATION 0x00000030L
#define MB_ICONWARNING 0x00000030L
#define MB_ICONASTERISK 0x00000040L
#define MB_ICONINFORMATION 0x00000040L
#define MB_ICONMASK 0x000000F0L
// Default button
#define MB_DEFBUTTON1 0x00000000L
#define MB_DEFBUTTON2 0x00000100L
#define MB_DEFBUTTON3 0x00000200L
#define MB_DEFMASK 0x00000F00L
// Modality and placement (accepted; the box is always modal to its owner's thread)
#define MB_APPLMODAL 0x00000000L
#define MB_SYSTEMMODAL 0x00001000L
#define MB_TASKMODAL 0x00002000L
#define MB_SETFOREGROUND 0x00010000L
#define MB_TOPMOST 0x00040000L

// Shows `text` under `caption` ("Error" when null) with the buttons and icon `type` asks for,
// owned by the top-level window holding `owner`, which is disabled while the box is up.
// Returns the id of the button chosen (IDOK, IDCANCEL, IDYES...); Escape and closing the box
// answer IDCANCEL where there is a Cancel button (IDOK for a lone OK button) and are ignored
// otherwise. Returns 0 when the box cannot be shown.
int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
