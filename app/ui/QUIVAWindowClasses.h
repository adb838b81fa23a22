// The window classes of the capture module: "QUIVACaptureWnd" for the capture frame, the
// control hosts, popups and the splitter, "QUIVACaptureWndClass" (black background) for the
// video host, and "QUIVACaptureModelNotify" for the capture models' hidden windows (a model
// used without the module registers that one itself). The module registers them, with its own
// instance, at load and unregisters them at unload.
#pragma once

#include "app/model/QUIVAModuleInstance.h"
#include "platform/ui/winuser.h"

// Every class, "QUIVACaptureWnd" first; failures are ignored (a class already there stays).
void RegisterQUIVAWindowClasses();
void UnregisterQUIVAWindowClasses();
