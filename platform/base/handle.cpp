#include "platform/base/handle.h"

#include "platform/base/lasterror.h"

BOOL CloseHandle(HANDLE h)
{
    quiva::KernelObject* obj = quiva::ObjectFromHandle(h);
    if (!obj) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete obj;
    return TRUE;
}
