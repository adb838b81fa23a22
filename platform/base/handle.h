// Kernel-object handles: files, processes, events, mappings and the like all derive from
// KernelObject, so CloseHandle can close any of them.
#pragma once
#include "platform/base/wintypes.h"

namespace quiva {
class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// The object behind a handle, or null for null and INVALID_HANDLE_VALUE.
inline KernelObject* ObjectFromHandle(HANDLE h)
{
    if (!h || h == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<KernelObject*>(h);
}
template <typename T>
T* HandleAs(HANDLE h)
{
    return dynamic_cast<T*>(ObjectFromHandle(h));
}
}  // namespace quiva

BOOL CloseHandle(HANDLE h);
