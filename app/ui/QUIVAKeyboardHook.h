// The capture keys: a low-level keyboard hook, installed on the host's thread while the capture
// window shows a running preview, that takes a still on Pause, Space or the configured capture
// key, starts or stops a recording on F6 and commits on Ctrl+S, acting on the key's release.
// It never swallows a key: the program that has the focus gets it too. While the capture window
// is inactive only Pause acts, unless the do-not-disturb option is set.
#pragma once

#include <functional>

#include "app/model/Forward.h"
#include "platform/ui/winuser.h"

// The capture keys' module-wide state, empty at load.
struct QUIVACaptureKeys {
    CKXQUIVACaptureModel* model = nullptr;  // the model shown; keys do nothing without one
    HHOOK hook = nullptr;                   // in the chain while set
    BOOL active = 0;                        // keys besides Pause act
    DWORD stillKey = 0;                     // the extra still key (virtual-key code)
};
extern QUIVACaptureKeys g_captureKeys;

void InstallKeyboardHook();
void RemoveKeyboardHook();
LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);

// Runs `dialog` (or any action that may show one) with the capture keys out of the chain, so no
// key acts while it is open. Afterwards they are put back when `putBack` says so; without it,
// when they were in before.
void WithoutCaptureKeys(const std::function<void()>& dialog, const std::function<bool()>& putBack = nullptr);
