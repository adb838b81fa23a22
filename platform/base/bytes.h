// Byte order of file and wire formats, written once. Loads and stores name the order of the
// format (LE for RIFF/AVI, BMP, compound files and DICOM data sets; BE for JPEG markers and DICOM
// PDUs), never the host's, so a reader states what the bytes are instead of what the machine is.
// Loads take unaligned pointers; Append adds to any byte container with push_back (std::string,
// std::vector<uint8_t>).
//
// Host order is kept on purpose in only two kinds of place, both outside this header: structures
// copied whole into files and out of them (BITMAPINFOHEADER, AVISTREAMINFO), whose layout is the
// file's on the little-endian hosts this system runs on, and the UTF-16 text of the shared device
// list, which both ends read as wchar16 in memory.
#pragma once

#include <cstdint>

namespace quiva {

inline uint16_t LoadLE16(const void* at)
{
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t LoadLE32(const void* at)
{
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint16_t LoadBE16(const void* at)
{
    const auto* p = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t LoadBE32(const void* at)
{
    const auto* p = static_cast<const uint8_t*>(at);
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 8) |
           static_cast<uint32_t>(p[3]);
}

inline void StoreLE16(void* at, uint16_t v)
{
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void StoreLE32(void* at, uint32_t v)
{
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

inline void StoreBE32(void* at, uint32_t v)
{
    auto* p = static_cast<uint8_t*>(at);
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

template <class Bytes>
void AppendLE16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<typename Bytes::value_type>(v & 0xFF));
    out.push_back(static_cast<typename Bytes::value_type>(v >> 8));
}

template <class Bytes>
void AppendLE32(Bytes& out, uint32_t v)
{
    AppendLE16(out, static_cast<uint16_t>(v));
    AppendLE16(out, static_cast<uint16_t>(v >> 16));
}

template <class Bytes>
void AppendBE16(Bytes& out, uint16_t v)
{
    out.push_back(static_cast<typename Bytes::value_type>(v >> 8));
    out.push_back(static_cast<typename Bytes::value_type>(v & 0xFF));
}

template <class Bytes>
void AppendBE32(Bytes& out, uint32_t v)
{
    AppendBE16(out, static_cast<uint16_t>(v >> 16));
    AppendBE16(out, static_cast<uint16_t>(v));
}

}  // namespace quiva
