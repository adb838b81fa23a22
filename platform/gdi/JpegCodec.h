// libjpeg behind one error plumbing, row by row: the image files and the motion-JPEG frames of
// the media layer both decode and encode through here. libjpeg reports errors by a long jump;
// it never leaves this unit, and every failure comes back as false with libjpeg's message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace quiva {

struct JpegRowsInfo {
    int width = 0;        // of the rows given (smaller than the file's when decoded reduced)
    int height = 0;
    int components = 3;   // 1 for grey output, 3 for RGB
    int fileWidth = 0;    // the picture's own size, as the file gives it
    int fileHeight = 0;
};

struct JpegDecodeOptions {
    bool keepGrey = true;  // grey files give 1-component rows; false expands every file to RGB
    bool strict = true;    // a warning about corrupt or missing data refuses the file
    // Above 0: the picture is decoded at the smallest of its reduced sizes (n/8 of its own, n = 1
    // to 8) that is at least this large, which the decoder makes at a fraction of the cost.
    int minWidth = 0;
    int minHeight = 0;
};

// Decodes a JPEG held in memory. The size in the header is checked against the image pixel
// limit before anything is allocated; `start` sees it next and may refuse the picture. `row`
// then gets every row, top first, as `components` bytes a pixel (R, G, B or grey).
bool DecodeJpegRows(const uint8_t* data, size_t size, const JpegDecodeOptions& options,
                    const std::function<bool(const JpegRowsInfo&)>& start,
                    const std::function<void(int y, const uint8_t* row)>& row, std::string* error = nullptr);

// What the header of a JPEG says of the picture's own size, read from its first `size` bytes
// without decoding a pixel: Read (width and height set), TooShort when the header runs on past
// the bytes given (give more of the file), Bad when it is no header the decoder would take.
enum class JpegHeaderRead { Read, TooShort, Bad };
JpegHeaderRead ReadJpegSize(const uint8_t* data, size_t size, int* width, int* height);

// Encodes width x height RGB rows that `fill` writes (3 bytes a pixel, top row first) at
// quality 0-100; `dpi` above 0 is written as the file's density.
bool EncodeJpegRows(int width, int height, int quality, int dpi, const std::function<void(int y, uint8_t* rgb)>& fill,
                    std::string& out);

// The same for rows of 32-bit pixels held as native-endian 0xAARRGGBB words whose alpha byte is
// ignored: `row` returns row y (top first), its own or one it wrote into `scratch` (width words).
// libjpeg takes such rows as they are, without a pass that repacks them.
bool EncodeJpegPixelRows(int width, int height, int quality, int dpi,
                         const std::function<const uint32_t*(int y, uint32_t* scratch)>& row, std::string& out);

}  // namespace quiva
