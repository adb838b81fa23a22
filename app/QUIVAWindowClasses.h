// The window classes of the capture module: "QUIVACaptureWnd" for the capture frame, the
// control hosts, popups and the splitter, "QUIVACaptureWndClass" (black background) for the
// video host, and "QUIVACaptureModelNotify" for the capture models' hidden windows. The module
// registers them, with its own instance, at load and unregisters them at unload.
#pragma once

#include "platform/ui/winuser.h"

// The instance handle the module registers its classes with (the module's own).
HINSTANCE QUIVAModuleInstance();
// Every class, "QUIVACaptureWnd" first; failures are ignored (a class already there stays).
void RegisterQUIVAWindowClasses();
void UnregisterQUIVAWindowClasses();
