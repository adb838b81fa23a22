// Per-thread last-error value, as GetLastError/SetLastError.
#pragma once
#include "platform/base/wintypes.h"

DWORD GetLastError();
void SetLastError(DWORD code);

namespace quiva {
// Maps an errno value to the nearest Win32 error code.
DWORD Win32ErrorFromErrno(int err);
// Sets the last error from errno and returns it.
DWORD SetLastErrorFromErrno();
}  // namespace quiva
