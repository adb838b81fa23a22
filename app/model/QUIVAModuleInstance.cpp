#include "app/model/QUIVAModuleInstance.h"

#include "platform/base/resources.h"

HINSTANCE QUIVAModuleInstance() { return GetModuleHandleW(L"QUIVA.CAPTURE.DLL"); }
