// Device-independent bitmap headers as they are laid out in BMP files, AVI format chunks and
// packed DIBs.
#pragma once

#include <cstdint>

#include "platform/base/wintypes.h"

#define BI_RGB 0L
#define BI_RLE8 1L
#define BI_RLE4 2L
#define BI_BITFIELDS 3L
#define BI_JPEG 4L
#define BI_PNG 5L

#pragma pack(push, 2)
struct BITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
};
#pragma pack(pop)
static_assert(sizeof(BITMAPFILEHEADER) == 14);

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};
typedef BITMAPINFOHEADER* LPBITMAPINFOHEADER;
typedef BITMAPINFOHEADER* PBITMAPINFOHEADER;
static_assert(sizeof(BITMAPINFOHEADER) == 40);

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};
typedef BITMAPINFO* LPBITMAPINFO;

namespace quiva {
// The most pixels any decoded picture or video frame may have (8k x 8k, twice a 4K frame each
// way), and the longest side (twice that). Every decoder checks a file's dimensions against
// them from the header, before allocating, so a small hostile header cannot make it take
// gigabytes or minutes.
constexpr uint64_t kMaxImagePixels = 8192ull * 8192ull;
constexpr int64_t kMaxImageSide = 16384;
inline bool ImageSizeOk(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxImagePixels;
}
// The number of rows a header's height means (negative for top-down rows), in 64 bits: the
// most negative height has no positive twin in a LONG.
inline int64_t DibRows(LONG height) { return height < 0 ? -static_cast<int64_t>(height) : height; }
// Bytes of one row of a DIB: rows are padded to 4 bytes.
inline DWORD DibRowBytes(LONG width, WORD bitCount)
{
    const uint64_t w = width < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(width)) : static_cast<uint64_t>(width);
    return static_cast<DWORD>(((w * bitCount + 31u) / 32u) * 4u);
}
// Entries of the colour table that follows a header.
inline DWORD DibColorCount(const BITMAPINFOHEADER& h)
{
    if (h.biClrUsed)
        return h.biClrUsed;
    if (h.biBitCount <= 8)
        return 1u << h.biBitCount;
    return h.biCompression == BI_BITFIELDS ? 3u : 0u;
}
}  // namespace quiva
