// A growing byte block: the encoder's output and the PDU builders' working buffer.
#pragma once

#include "platform/base/wintypes.h"

struct DicomBuffer {
    BYTE* bytes = nullptr;  // page allocation; null while empty
    DWORD length = 0;       // bytes in use
    DWORD capacity = 0;     // bytes allocated

    // A new empty buffer record, or null when memory is short.
    static DicomBuffer* Create();
    // Appends count bytes (data may be null for zero bytes). False, with the buffer unchanged,
    // when the total would pass 4 GiB or memory is short.
    bool Append(const void* data, DWORD count);
    // Empties the buffer and releases its bytes; the record stays.
    void Reset();
    // Hands the bytes to the caller (who releases them with VirtualFree) and empties the buffer.
    BYTE* Detach(DWORD* outLength);
    // Releases the bytes and the record.
    static void Free(DicomBuffer* buffer);
};
