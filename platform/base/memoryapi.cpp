#include "platform/base/memoryapi.h"

#include <cstdlib>

#include "platform/base/lasterror.h"

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect)
{
    if (address || size == 0 || !(allocationType & MEM_COMMIT) || protect != PAGE_READWRITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void* block = std::calloc(1, size);
    if (!block)
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType)
{
    if (!address || size != 0 || freeType != MEM_RELEASE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::free(address);
    return TRUE;
}
