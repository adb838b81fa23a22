// The headless window system as the window tests use it: one 1920x1080 screen, plain window
// classes, and input left where the next test expects it.
#pragma once

#include "platform/ui/winuser.h"

namespace quiva::test {

// Selects the headless window system with a 1920x1080 screen whose work area ends 40 pixels
// above the bottom (the task bar).
void UseHeadlessScreen();

// Registers a window class that runs the default window procedure.
void RegisterPlainWindowClass(LPCWSTR name, UINT style, HCURSOR cursor = nullptr);

// Releases the capture, deactivates every window and moves the pointer to the screen's far
// corner (after a pause, so it is never half of a double click), then pumps what that posted.
void ParkInput();

}  // namespace quiva::test
