#include "dicom/DicomBuffer.h"

#include <cstring>
#include <new>

#include "platform/base/memoryapi.h"

DicomBuffer* DicomBuffer::Create()
{
    return new (std::nothrow) DicomBuffer();
}

bool DicomBuffer::Append(const void* data, DWORD count)
{
    if (count == 0)
        return true;
    if (!data)
        return false;
    const uint64_t total = static_cast<uint64_t>(length) + count;
    if (total > 0xFFFFFFFFull)
        return false;
    if (total > capacity) {
        // Grow geometrically: an encoder appends many small pieces.
        uint64_t grown = capacity ? static_cast<uint64_t>(capacity) * 2 : 256;
        if (grown < total)
            grown = total;
        if (grown > 0xFFFFFFFFull)
            grown = 0xFFFFFFFFull;
        BYTE* block = static_cast<BYTE*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(grown), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (!block)
            return false;
        if (bytes) {
            std::memcpy(block, bytes, length);
            VirtualFree(bytes, 0, MEM_RELEASE);
        }
        bytes = block;
        capacity = static_cast<DWORD>(grown);
    }
    std::memcpy(bytes + length, data, count);
    length = static_cast<DWORD>(total);
    return true;
}

void DicomBuffer::Reset()
{
    if (bytes)
        VirtualFree(bytes, 0, MEM_RELEASE);
    bytes = nullptr;
    length = 0;
    capacity = 0;
}

BYTE* DicomBuffer::Detach(DWORD* outLength)
{
    BYTE* result = bytes;
    if (outLength)
        *outLength = result ? length : 0;
    bytes = nullptr;
    length = 0;
    capacity = 0;
    return result;
}

void DicomBuffer::Free(DicomBuffer* buffer)
{
    if (!buffer)
        return;
    buffer->Reset();
    delete buffer;
}
