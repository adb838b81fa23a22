// Whole-block allocations in the shape of VirtualAlloc/VirtualFree. Blocks come zero-filled;
// a request for zero bytes fails, as it does on Windows, so callers that treat "no block" as
// "nothing to hand on" keep working. Only committed read-write blocks are given.
#pragma once

#include "platform/base/wintypes.h"

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_DECOMMIT 0x00004000
#define MEM_RELEASE 0x00008000
#define PAGE_NOACCESS 0x01
#define PAGE_READONLY 0x02
#define PAGE_READWRITE 0x04

// Returns a new zero-filled block of size bytes, or NULL (last error set) when size is 0, an
// address is asked for, or memory is short.
LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
// Releases a block from VirtualAlloc (MEM_RELEASE with size 0). NULL is refused.
BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);
