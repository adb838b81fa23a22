// The capture keys: a low-level keyboard hook, installed on the host's thread while the capture
// window shows a running preview, that takes a still on Pause, Space or the configured capture
// key, starts or stops a recording on F6 and commits on Ctrl+S, acting on the key's release.
// It never swallows a key: the program that has the focus gets it too. While the capture window
// is inactive only Pause acts, unless the do-not-disturb option is set.
#pragma once

#include "platform/ui/winuser.h"

class CKXQUIVACaptureModel;

// Module-wide state, 0 at load.
extern CKXQUIVACaptureModel* g_pCurrentCaptureModel;  // the model shown; keys do nothing without one
extern HHOOK g_hKeyboardHook;
extern BOOL g_bCaptureKeyActive;  // keys besides Pause act
extern DWORD g_captureKey;        // the extra still key (virtual-key code)

void InstallKeyboardHook();
void RemoveKeyboardHook();
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
