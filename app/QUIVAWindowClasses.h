// The two window classes of the capture module: "QUIVACaptureWnd" for the capture frame, the
// control hosts, popups and the splitter, and "QUIVACaptureWndClass" (black background) for the
// video host. The module registers them at load and unregisters them at unload.
#pragma once

#include "platform/ui/winuser.h"

// The instance handle the module registers its classes with (the module's own).
HINSTANCE QUIVAModuleInstance();
// Both classes, "QUIVACaptureWnd" first; failures are ignored (a class already there stays).
void RegisterQUIVAWindowClasses();
void UnregisterQUIVAWindowClasses();
