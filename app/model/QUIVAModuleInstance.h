// The capture module's own instance handle: its window classes, its hook and its resources are
// registered and found with it.
#pragma once

#include "platform/base/wintypes.h"

HINSTANCE QUIVAModuleInstance();
