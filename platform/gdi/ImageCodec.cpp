#include "platform/gdi/ImageCodec.h"

#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <limits>

#include "platform/base/bitmap.h"
#include "platform/base/bytes.h"
#include "platform/base/fileapi.h"
#include "platform/base/fullio.h"
#include "platform/base/handle.h"
#include "platform/gdi/JpegCodec.h"

namespace quiva {
namespace {

bool Fail(std::string* error, const char* why)
{
    if (error)
        *error = why;
    return false;
}

uint32_t Premultiply(uint32_t a, uint32_t r, uint32_t g, uint32_t b)
{
    if (a != 255) {
        r = (r * a + 127) / 255;
        g = (g * a + 127) / 255;
        b = (b * a + 127) / 255;
    }
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Straight (un-premultiplied) components of a pixel.
void Straight(uint32_t px, uint8_t& a, uint8_t& r, uint8_t& g, uint8_t& b)
{
    a = px >> 24;
    uint32_t pr = (px >> 16) & 0xFF, pg = (px >> 8) & 0xFF, pb = px & 0xFF;
    if (a == 255) {
        r = pr, g = pg, b = pb;
    } else if (a == 0) {
        r = g = b = 0;
    } else {
        r = static_cast<uint8_t>(std::min<uint32_t>(255, (pr * 255 + a / 2) / a));
        g = static_cast<uint8_t>(std::min<uint32_t>(255, (pg * 255 + a / 2) / a));
        b = static_cast<uint8_t>(std::min<uint32_t>(255, (pb * 255 + a / 2) / a));
    }
}


// Shift and width of a BMP channel mask, so that any mask expands to 8 bits.
struct Mask {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Mask(uint32_t m = 0) : mask(m)
    {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        while (bits + shift < 32 && ((m >> (shift + bits)) & 1))
            ++bits;
    }
    // A mask is one run of bits; one with gaps has no one value per channel.
    bool OneRun() const { return !mask || (mask >> shift) == (bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1)); }
    uint32_t Get(uint32_t v) const
    {
        if (!bits)
            return 255;
        uint32_t x = (v & mask) >> shift;
        uint32_t max = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
        return static_cast<uint32_t>((static_cast<uint64_t>(x) * 255 + max / 2) / max);
    }
};

}  // namespace

ImageFileKind SniffImage(std::string_view b)
{
    if (b.size() >= 2 && b[0] == 'B' && b[1] == 'M')
        return ImageFileKind::Bmp;
    if (b.size() >= 3 && static_cast<unsigned char>(b[0]) == 0xFF && static_cast<unsigned char>(b[1]) == 0xD8 &&
        static_cast<unsigned char>(b[2]) == 0xFF)
        return ImageFileKind::Jpeg;
    if (b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0)
        return ImageFileKind::Png;
    return ImageFileKind::Unknown;
}

namespace {
std::atomic<uint64_t> g_decodes{0};
}  // namespace

uint64_t ImageDecodeCount() { return g_decodes.load(std::memory_order_relaxed); }

bool DecodeImage(const std::string& bytes, DecodedImage& out, std::string* error)
{
    return DecodeImageAtLeast(bytes, 0, 0, out, error);
}

// BMP

namespace {

// What a BMP's file and info headers say of its pixels.
struct BmpHeader {
    uint32_t dataOffset = 0, headerSize = 0, planes = 0, bpp = 0, compression = 0, colorsUsed = 0;
    uint32_t rmask = 0, gmask = 0, bmask = 0, amask = 0;
    int64_t width = 0, height = 0;
    bool topDown = false;
};

// False, with the reason, for headers missing, cut short or giving no size a BMP may have.
bool ReadBmpHeader(const unsigned char* p, size_t n, BmpHeader& hd, std::string* error)
{
    if (n < 14 + 12 || p[0] != 'B' || p[1] != 'M')
        return Fail(error, "BMP header missing");
    hd.dataOffset = LoadLE32(p + 10);
    hd.headerSize = LoadLE32(p + 14);
    if (hd.headerSize < 12 || 14ull + hd.headerSize > n)
        return Fail(error, "BMP info header truncated");
    const unsigned char* h = p + 14;
    if (hd.headerSize == 12) {
        hd.width = LoadLE16(h + 4);
        hd.height = static_cast<int16_t>(LoadLE16(h + 6));
        hd.planes = LoadLE16(h + 8);
        hd.bpp = LoadLE16(h + 10);
    } else {
        if (hd.headerSize < 40)
            return Fail(error, "BMP info header of unknown size");
        hd.width = static_cast<int32_t>(LoadLE32(h + 4));
        hd.height = static_cast<int32_t>(LoadLE32(h + 8));
        hd.planes = LoadLE16(h + 12);
        hd.bpp = LoadLE16(h + 14);
        hd.compression = LoadLE32(h + 16);
        hd.colorsUsed = LoadLE32(h + 32);
        if (hd.headerSize >= 52) {
            hd.rmask = LoadLE32(h + 40);
            hd.gmask = LoadLE32(h + 44);
            hd.bmask = LoadLE32(h + 48);
        }
        if (hd.headerSize >= 56)
            hd.amask = LoadLE32(h + 52);
    }
    hd.topDown = hd.height < 0;
    if (hd.topDown)
        hd.height = -hd.height;
    if (hd.planes != 1)
        return Fail(error, "BMP plane count is not 1");
    if (!ImageSizeOk(hd.width, hd.height))
        return Fail(error, "BMP size out of range");
    return true;
}

}  // namespace

int ReadImageSize(std::string_view bytes, int* width, int* height)
{
    switch (SniffImage(bytes)) {
    case ImageFileKind::Bmp: {
        BmpHeader hd;
        // BI_RGB 0, BI_BITFIELDS 3, BI_ALPHABITFIELDS 6: the pixels DecodeBmp reads.
        if (!ReadBmpHeader(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), hd, nullptr) ||
            (hd.compression != 0 && hd.compression != 3 && hd.compression != 6))
            return -1;
        *width = static_cast<int>(hd.width);
        *height = static_cast<int>(hd.height);
        return 1;
    }
    case ImageFileKind::Jpeg:
        switch (ReadJpegSize(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), width, height)) {
        case JpegHeaderRead::Read: return 1;
        case JpegHeaderRead::TooShort: return 0;
        default: return -1;
        }
    default:
        return -1;
    }
}

bool ReadImageFileSize(const wchar_t* path, int* width, int* height)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool read = ReadImageFileSize(FileDescriptor(file), width, height);
    CloseHandle(file);
    return read;
}

bool ReadImageFileSize(int fd, int* width, int* height)
{
    // The headers of a still are well inside its first 4 KiB; a JPEG with a long metadata block
    // before its frame header is read on, four times as much each time, to the file's end.
    char first[4096];
    const size_t got = ReadUpToAt(fd, 0, first, sizeof first);
    int read = ReadImageSize(std::string_view(first, got), width, height);
    if (read != 0 || got < sizeof first)
        return read > 0;
    std::string bytes(first, got);
    for (size_t want = 4 * sizeof first; read == 0; want *= 4) {
        const size_t had = bytes.size();
        bytes.resize(want);
        bytes.resize(had + ReadUpToAt(fd, had, bytes.data() + had, want - had));
        read = ReadImageSize(bytes, width, height);
        if (bytes.size() < want || want >= kMaxImageHeaderBytes)
            break;
    }
    return read > 0;
}

namespace {

// Bytes from the start a BMP's headers give it (`head`, its first bytes, at least 26): to the end
// of its pixel rows for the kinds DecodeBmp reads, else the file size its file header states. 0
// when its headers are cut or refused; `cut` says which.
uint64_t BmpLength(std::string_view head, uint64_t size, bool* cut)
{
    const auto* p = reinterpret_cast<const unsigned char*>(head.data());
    BmpHeader hd;
    if (!ReadBmpHeader(p, head.size(), hd, nullptr)) {
        // Only the whole file can show that headers run past its end (it holds the file header).
        *cut = head.size() == size && 14ull + LoadLE32(p + 14) > size;
        return 0;
    }
    *cut = false;
    if (hd.compression != 0 && hd.compression != 3 && hd.compression != 6)
        return LoadLE32(p + 2);
    const uint64_t stride = ((static_cast<uint64_t>(hd.width) * hd.bpp + 31) / 32) * 4;
    return hd.dataOffset + stride * static_cast<uint64_t>(hd.height);
}

}  // namespace

bool ImageFileCut(int fd)
{
    const off_t end = ::lseek(fd, 0, SEEK_END);
    if (end < 0)
        return false;
    const uint64_t size = static_cast<uint64_t>(end);
    // A BMP's file header and its shortest info header: no picture at all is shorter.
    if (size < 26)
        return true;
    char first[4096];
    const size_t want = static_cast<size_t>(std::min<uint64_t>(size, sizeof first));
    if (ReadUpToAt(fd, 0, first, want) != want)
        return false;
    const std::string_view head(first, want);
    switch (SniffImage(head)) {
    case ImageFileKind::Bmp: {
        bool cut = false;
        const uint64_t length = BmpLength(head, size, &cut);
        return cut || size < length;
    }
    case ImageFileKind::Jpeg: {
        unsigned char tail[2];
        if (!ReadFullyAt(fd, size - 2, tail, sizeof tail))
            return false;
        if (tail[0] == 0xFF && tail[1] == 0xD9)
            return false;
        // Bytes after the marker (some writers pad their files): whole when it decodes whole.
        std::string bytes(static_cast<size_t>(std::min<uint64_t>(size, kMaxImageHeaderBytes * 16)), '\0');
        if (bytes.size() < size || !ReadFullyAt(fd, 0, bytes.data(), bytes.size()))
            return false;
        DecodedImage decoded;
        return !DecodeJpeg(bytes, decoded);
    }
    default:
        return false;
    }
}

bool SamePictureWithinJpegError(const DecodedImage& a, const DecodedImage& b)
{
    if (a.width != b.width || a.height != b.height || a.width <= 0 || a.height <= 0 ||
        a.pixels.size() != b.pixels.size() || a.pixels.size() != static_cast<size_t>(a.width) * static_cast<size_t>(a.height))
        return false;
    // A tile's mean is what JPEG keeps best: its blocks' DC terms. At the coarsest tables a DC
    // step of 255 moves a block's mean by at most 16 in luma and in each chroma, so a colour by
    // some 40 at worst; pictures that differ further in any tile are two pictures.
    constexpr int kTile = 16;
    constexpr int64_t kMostMeanMove = 48;
    for (int ty = 0; ty < a.height; ty += kTile) {
        for (int tx = 0; tx < a.width; tx += kTile) {
            int64_t sum[2][3] = {};
            const int h = std::min(kTile, a.height - ty), w = std::min(kTile, a.width - tx);
            for (int y = ty; y < ty + h; ++y) {
                const size_t row = static_cast<size_t>(y) * static_cast<size_t>(a.width);
                for (int x = tx; x < tx + w; ++x) {
                    const uint32_t pa = a.pixels[row + static_cast<size_t>(x)], pb = b.pixels[row + static_cast<size_t>(x)];
                    for (int c = 0; c < 3; ++c) {
                        sum[0][c] += (pa >> (8 * c)) & 0xFF;
                        sum[1][c] += (pb >> (8 * c)) & 0xFF;
                    }
                }
            }
            const int64_t count = static_cast<int64_t>(w) * h;
            for (int c = 0; c < 3; ++c)
                if (std::abs(sum[0][c] - sum[1][c]) > kMostMeanMove * count)
                    return false;
        }
    }
    return true;
}

bool DecodeBmp(const std::string& bytes, DecodedImage& out, std::string* error)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    BmpHeader hd;
    if (!ReadBmpHeader(p, n, hd, error))
        return false;
    const uint32_t dataOffset = hd.dataOffset, headerSize = hd.headerSize, bpp = hd.bpp, compression = hd.compression,
                   colorsUsed = hd.colorsUsed;
    uint32_t rmask = hd.rmask, gmask = hd.gmask, bmask = hd.bmask, amask = hd.amask;
    const int64_t width = hd.width, height = hd.height;
    const bool topDown = hd.topDown;
    const unsigned char* h = p + 14;
    // BI_RGB 0, BI_BITFIELDS 3, BI_ALPHABITFIELDS 6; run-length and embedded JPEG/PNG are not read.
    if (compression == 3 || compression == 6) {
        if (bpp != 16 && bpp != 32)
            return Fail(error, "BMP bit fields with an unsupported depth");
        if (headerSize < 52) {
            size_t masks = compression == 6 ? 16 : 12;
            if (14ull + headerSize + masks > n)
                return Fail(error, "BMP colour masks truncated");
            const unsigned char* m = h + headerSize;
            rmask = LoadLE32(m), gmask = LoadLE32(m + 4), bmask = LoadLE32(m + 8);
            if (compression == 6)
                amask = LoadLE32(m + 12);
        }
    } else if (compression != 0) {
        return Fail(error, "compressed BMP is not supported");
    } else {
        amask = 0;
        if (bpp == 16)
            rmask = 0x7C00, gmask = 0x03E0, bmask = 0x001F;
        else if (bpp == 32)
            rmask = 0xFF0000, gmask = 0xFF00, bmask = 0xFF;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return Fail(error, "BMP bit depth not supported");

    std::vector<uint32_t> palette;
    bool greyPalette = true;
    if (bpp <= 8) {
        uint32_t entries = colorsUsed ? colorsUsed : (1u << bpp);
        if (entries > (1u << bpp))
            return Fail(error, "BMP palette too large");
        size_t entrySize = headerSize == 12 ? 3 : 4;
        size_t palStart = 14 + headerSize;
        if (palStart + entries * entrySize > n)
            return Fail(error, "BMP palette truncated");
        for (uint32_t i = 0; i < entries; ++i) {
            const unsigned char* e = p + palStart + i * entrySize;
            palette.push_back(0xFF000000u | (e[2] << 16) | (e[1] << 8) | e[0]);
            greyPalette = greyPalette && e[0] == e[1] && e[1] == e[2];
        }
    }
    uint64_t stride = ((static_cast<uint64_t>(width) * bpp + 31) / 32) * 4;
    uint64_t need = stride * static_cast<uint64_t>(height);
    if (dataOffset < 14 + headerSize || dataOffset > n || need > n - dataOffset)
        return Fail(error, "BMP pixel data truncated");

    Mask mr(rmask), mg(gmask), mb(bmask), ma(amask);
    if ((bpp == 16 || bpp == 32) && (!rmask || !gmask || !bmask))
        return Fail(error, "BMP colour masks missing");
    if ((bpp == 16 || bpp == 32) && (!mr.OneRun() || !mg.OneRun() || !mb.OneRun() || !ma.OneRun()))
        return Fail(error, "BMP colour mask with gaps");
    out = DecodedImage{};
    out.width = static_cast<int>(width);
    out.height = static_cast<int>(height);
    out.kind = ImageFileKind::Bmp;
    out.bitsPerPixel = static_cast<int>(bpp);
    out.grey = bpp <= 8 && greyPalette;
    out.palette = palette;
    out.rgb565 = bpp == 16 && rmask == 0xF800 && gmask == 0x07E0 && bmask == 0x001F;
    // The rows are handed out labelled 5-5-5 or 5-6-5 (16 bits) or B, G, R, A bytes (32 bits):
    // rows with other masks are rewritten in that layout.
    const bool labelledLayout =
        (bpp == 16 && (out.rgb565 || (rmask == 0x7C00 && gmask == 0x03E0 && bmask == 0x001F))) ||
        (bpp == 32 && rmask == 0xFF0000 && gmask == 0xFF00 && bmask == 0xFF && (amask == 0 || amask == 0xFF000000u)) ||
        (bpp != 16 && bpp != 32);
    out.sourceStride = static_cast<size_t>(stride);
    out.sourceRows.resize(static_cast<size_t>(need));
    for (int64_t y = 0; y < height; ++y)
        std::memcpy(out.sourceRows.data() + stride * static_cast<uint64_t>(y),
                    p + dataOffset + stride * static_cast<uint64_t>(topDown ? y : height - 1 - y), static_cast<size_t>(stride));
    out.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    bool anyAlpha = false;
    for (int64_t y = 0; y < height; ++y) {
        const unsigned char* row = p + dataOffset + stride * static_cast<uint64_t>(topDown ? y : height - 1 - y);
        uint32_t* dst = out.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int64_t x = 0; x < width; ++x) {
            uint32_t px;
            if (bpp <= 8) {
                uint32_t bitPos = static_cast<uint32_t>(x) * bpp;
                uint32_t index = (row[bitPos / 8] >> (8 - bpp - bitPos % 8)) & ((1u << bpp) - 1);
                if (index >= palette.size())
                    return Fail(error, "BMP pixel refers past the palette");
                px = palette[index];
            } else if (bpp == 24) {
                const unsigned char* s = row + x * 3;
                px = 0xFF000000u | (s[2] << 16) | (s[1] << 8) | s[0];
            } else {
                uint32_t v = bpp == 16 ? LoadLE16(row + x * 2) : LoadLE32(row + x * 4);
                uint32_t a = amask ? ma.Get(v) : 255;
                anyAlpha = anyAlpha || a != 255;
                const uint32_t r = mr.Get(v), g = mg.Get(v), b = mb.Get(v);
                px = Premultiply(a, r, g, b);
                if (!labelledLayout) {
                    uint8_t* own = out.sourceRows.data() + stride * static_cast<uint64_t>(y);
                    if (bpp == 16) {
                        auto five = [](uint32_t c) { return (c * 31 + 127) / 255; };
                        const uint32_t w = (five(r) << 10) | (five(g) << 5) | five(b);
                        own[x * 2] = static_cast<uint8_t>(w);
                        own[x * 2 + 1] = static_cast<uint8_t>(w >> 8);
                    } else {
                        own[x * 4] = static_cast<uint8_t>(b);
                        own[x * 4 + 1] = static_cast<uint8_t>(g);
                        own[x * 4 + 2] = static_cast<uint8_t>(r);
                        own[x * 4 + 3] = static_cast<uint8_t>(a);
                    }
                }
            }
            dst[x] = px;
        }
    }
    out.hasAlpha = anyAlpha;
    return true;
}

bool EncodeBmp(const uint32_t* pixels, int width, int height, std::string& out)
{
    if (!pixels || !ImageSizeOk(width, height))
        return false;
    uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) & ~uint64_t{3};
    uint64_t imageSize = stride * static_cast<uint64_t>(height);
    if (imageSize + 54 > std::numeric_limits<uint32_t>::max())
        return false;
    out.clear();
    out.reserve(static_cast<size_t>(imageSize + 54));
    out += "BM";
    AppendLE32(out, static_cast<uint32_t>(54 + imageSize));
    AppendLE32(out, 0);
    AppendLE32(out, 54);
    AppendLE32(out, 40);
    AppendLE32(out, static_cast<uint32_t>(width));
    AppendLE32(out, static_cast<uint32_t>(height));
    AppendLE16(out, 1);
    AppendLE16(out, 24);
    AppendLE32(out, 0);
    AppendLE32(out, static_cast<uint32_t>(imageSize));
    AppendLE32(out, 3780);  // 96 dpi in pixels per metre
    AppendLE32(out, 3780);
    AppendLE32(out, 0);
    AppendLE32(out, 0);
    std::string row(static_cast<size_t>(stride), '\0');
    for (int y = height - 1; y >= 0; --y) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            uint8_t a, r, g, b;
            Straight(src[x], a, r, g, b);
            row[static_cast<size_t>(x) * 3] = static_cast<char>(b);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<char>(g);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<char>(r);
        }
        out += row;
    }
    return true;
}

// JPEG

namespace {

bool DecodeJpegAtLeast(const std::string& bytes, int minWidth, int minHeight, DecodedImage& out, std::string* error)
{
    DecodedImage result;
    auto start = [&](const JpegRowsInfo& info) {
        result.width = info.width;
        result.height = info.height;
        result.fileWidth = info.fileWidth;
        result.fileHeight = info.fileHeight;
        result.kind = ImageFileKind::Jpeg;
        result.grey = info.components == 1;
        result.bitsPerPixel = result.grey ? 8 : 24;
        result.pixels.resize(static_cast<size_t>(info.width) * static_cast<size_t>(info.height));
        return true;
    };
    auto row = [&](int y, const uint8_t* s) {
        uint32_t* dst = result.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(result.width);
        for (int x = 0; x < result.width; ++x) {
            if (result.grey) {
                const uint32_t v = s[x];
                dst[x] = 0xFF000000u | (v << 16) | (v << 8) | v;
            } else {
                const uint8_t* p = s + static_cast<size_t>(x) * 3;
                dst[x] = 0xFF000000u | (p[0] << 16) | (p[1] << 8) | p[2];
            }
        }
    };
    JpegDecodeOptions options;
    options.minWidth = minWidth;
    options.minHeight = minHeight;
    if (!DecodeJpegRows(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), options, start, row, error))
        return false;
    out = std::move(result);
    return true;
}

}  // namespace

bool DecodeJpeg(const std::string& bytes, DecodedImage& out, std::string* error)
{
    return DecodeJpegAtLeast(bytes, 0, 0, out, error);
}

bool DecodeImageAtLeast(const std::string& bytes, int minWidth, int minHeight, DecodedImage& out, std::string* error)
{
    g_decodes.fetch_add(1, std::memory_order_relaxed);
    bool ok;
    switch (SniffImage(bytes)) {
    case ImageFileKind::Bmp: ok = DecodeBmp(bytes, out, error); break;
    case ImageFileKind::Jpeg: return DecodeJpegAtLeast(bytes, minWidth, minHeight, out, error);
    case ImageFileKind::Png: ok = DecodePng(bytes, out, error); break;
    default: return Fail(error, "not a BMP, JPEG or PNG file");
    }
    if (ok) {
        out.fileWidth = out.width;
        out.fileHeight = out.height;
    }
    return ok;
}

bool EncodeJpeg(const uint32_t* pixels, int width, int height, int quality, std::string& out)
{
    if (!pixels)
        return false;
    return EncodeJpegPixelRows(width, height, quality, 96, [&](int y, uint32_t* scratch) -> const uint32_t* {
        const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        // An opaque row is coded as it lies; translucent colours are first taken out of their
        // premultiplication. The row's alpha bytes are tested together, in a loop without an
        // early exit that the compiler makes wide.
        uint32_t alpha = 0xFF000000u;
        for (int x = 0; x < width; ++x)
            alpha &= src[x];
        if (alpha == 0xFF000000u)
            return src;
        for (int x = 0; x < width; ++x) {
            uint8_t a, r, g, b;
            Straight(src[x], a, r, g, b);
            scratch[x] = 0xFF000000u | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 | b;
        }
        return scratch;
    }, out);
}

// PNG

namespace {

struct PngReader {
    const std::string* bytes;
    size_t pos = 8;
};

void PngRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* r = static_cast<PngReader*>(png_get_io_ptr(png));
    if (length > r->bytes->size() - r->pos)
        png_error(png, "PNG data truncated");
    std::memcpy(data, r->bytes->data() + r->pos, length);
    r->pos += length;
}

void PngWrite(png_structp png, png_bytep data, png_size_t length)
{
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<const char*>(data), length);
}

void PngFlush(png_structp) {}

void PngErrorFn(png_structp png, png_const_charp msg)
{
    auto* message = static_cast<std::string*>(png_get_error_ptr(png));
    if (message)
        *message = msg;
    png_longjmp(png, 1);
}

void PngWarningFn(png_structp, png_const_charp) {}

}  // namespace

bool DecodePng(const std::string& bytes, DecodedImage& out, std::string* error)
{
    if (SniffImage(bytes) != ImageFileKind::Png)
        return Fail(error, "PNG signature missing");
    std::string message;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &message, PngErrorFn, PngWarningFn);
    if (!png)
        return Fail(error, "PNG reader unavailable");
    png_infop info = png_create_info_struct(png);
    PngReader reader{&bytes};
    DecodedImage result;
    std::vector<png_bytep> rows;
    std::vector<unsigned char> data;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        if (error)
            *error = message.empty() ? "PNG decoding failed" : message;
        return false;
    }
    png_set_read_fn(png, &reader, PngRead);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colorType = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colorType, nullptr, nullptr, nullptr);
    result.grey = !(colorType & PNG_COLOR_MASK_COLOR);
    result.bitsPerPixel = depth * png_get_channels(png, info);
    if (!ImageSizeOk(w, h))
        png_error(png, "PNG size out of range");
    // Deflate packs at most 1032 bytes into one, so a file too short to hold its own rows is
    // refused before the picture's memory is taken.
    const uint64_t rawBytes = ((static_cast<uint64_t>(w) * static_cast<uint64_t>(result.bitsPerPixel) + 7) / 8 + 1) * h;
    if (rawBytes > static_cast<uint64_t>(bytes.size()) * 1032)
        png_error(png, "PNG data truncated");
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(w) * 4)
        png_error(png, "PNG row layout unexpected");
    data.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = data.data() + static_cast<size_t>(y) * w * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    result.width = static_cast<int>(w);
    result.height = static_cast<int>(h);
    result.kind = ImageFileKind::Png;
    result.pixels.resize(static_cast<size_t>(w) * h);
    for (size_t i = 0; i < result.pixels.size(); ++i) {
        const unsigned char* s = data.data() + i * 4;
        result.hasAlpha = result.hasAlpha || s[3] != 255;
        result.pixels[i] = Premultiply(s[3], s[0], s[1], s[2]);
    }
    out = std::move(result);
    return true;
}

bool EncodePng(const uint32_t* pixels, int width, int height, std::string& out)
{
    if (!pixels || !ImageSizeOk(width, height))
        return false;
    std::string message;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &message, PngErrorFn, PngWarningFn);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    std::string result;
    std::vector<unsigned char> row(static_cast<size_t>(width) * 4);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_set_write_fn(png, &result, PngWrite, PngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x) {
            uint8_t a, r, g, b;
            Straight(src[x], a, r, g, b);
            unsigned char* d = row.data() + static_cast<size_t>(x) * 4;
            d[0] = r, d[1] = g, d[2] = b, d[3] = a;
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    out = std::move(result);
    return true;
}

}  // namespace quiva
