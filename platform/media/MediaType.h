// Media types as values, the frames that flow between filters, and the pixel formats the layer
// decodes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/media/dshow.h"

namespace quiva::media {

// An owning copy of an AM_MEDIA_TYPE (its format block held in a vector).
class MediaType {
public:
    MediaType();
    explicit MediaType(const AM_MEDIA_TYPE& mt);
    MediaType(const MediaType&) = default;
    MediaType& operator=(const MediaType&) = default;

    GUID majortype{};
    GUID subtype{};
    GUID formattype{};
    BOOL fixedSize = TRUE;
    BOOL temporalCompression = FALSE;
    ULONG sampleSize = 0;
    std::vector<BYTE> format;

    // A task-allocated copy for callers (free with DeleteMediaType).
    AM_MEDIA_TYPE* ToTaskMemory() const;
    void CopyTo(AM_MEDIA_TYPE* mt) const;

    bool IsVideo() const;
    // The bitmap header inside a video format block, or null.
    const BITMAPINFOHEADER* Bitmap() const;
    BITMAPINFOHEADER* Bitmap();
    REFERENCE_TIME AvgTimePerFrame() const;
    int Width() const;
    int Height() const;  // absolute value
    // Whether `partial` (GUID_NULL fields are wildcards) agrees with this type.
    bool Matches(const AM_MEDIA_TYPE& partial) const;
    bool operator==(const MediaType& o) const;
    // Text form for graph files: hex of the fields and the format block.
    std::string Serialise() const;
    static bool Deserialise(const std::string& text, MediaType* mt);
};

// A video type with a VIDEOINFOHEADER (or a VIDEOINFOHEADER2 when vih2) for an uncompressed or
// FOURCC subtype.
MediaType MakeVideoType(REFGUID subtype, int width, int height, REFERENCE_TIME avgTimePerFrame, bool vih2 = false);
// The analog NTSC video a crossbar's pins carry (no format block).
MediaType MakeAnalogVideoType();
// Bits per pixel and the DIB compression code of a subtype (0 bits for compressed ones).
WORD SubtypeBitCount(REFGUID subtype);
DWORD SubtypeCompression(REFGUID subtype);

// One picture flowing through the graph. RGB pictures are DIB rows (bottom-up, rows padded to
// 4 bytes); packed YUV pictures are top-down; compressed ones are whole frames.
struct Frame {
    std::shared_ptr<const std::vector<uint8_t>> data;
    int width = 0;
    int height = 0;
    GUID subtype{};
    uint64_t index = 0;  // counts frames since the source started

    const uint8_t* Bytes() const { return data ? data->data() : nullptr; }
    size_t Size() const { return data ? data->size() : 0; }
};

// Converts a frame of any subtype the layer decodes into 32-bit bottom-up DIB rows. False for a
// subtype it cannot decode or data too short for the size.
bool ConvertToRgb32(const Frame& in, std::vector<uint8_t>* out);
// Encodes 32-bit bottom-up DIB rows into another subtype (RGB24, YUY2, UYVY, NV12, MJPG, RGB32).
bool ConvertFromRgb32(const uint8_t* rgb32, int width, int height, REFGUID subtype, std::vector<uint8_t>* out);
bool CanDecode(REFGUID subtype);
// Whether the layer was built with JPEG support (MJPG sources and decoding).
bool HasJpeg();

}  // namespace quiva::media
