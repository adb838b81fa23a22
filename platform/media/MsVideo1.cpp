#include "platform/media/MsVideo1.h"

#include <cstring>

#include "platform/base/bitmap.h"
#include "platform/base/bytes.h"

namespace quiva::media {

namespace {

// Blocks run left to right from the bottom row of the picture upwards, which is the order of
// bottom-up DIB rows; inside a block, flag bit y*4+x is pixel x of the block's row y counted
// from its bottom row. A set bit takes the first colour.

inline uint16_t To555(int r, int g, int b)
{
    return static_cast<uint16_t>(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
}

inline uint32_t From555(uint16_t c)
{
    const uint32_t r = (c >> 10) & 31, g = (c >> 5) & 31, b = c & 31;
    return 0xFF000000u | (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
}

}  // namespace

void EncodeMsVideo1(const uint8_t* rgb32, int width, int height, int quality, std::vector<uint8_t>* out)
{
    out->clear();
    const int bw = width / 4;
    const int bh = height / 4;
    out->reserve(static_cast<size_t>(bw) * static_cast<size_t>(bh) * 6);
    if (quality < 0)
        quality = 0;
    if (quality > 10000)
        quality = 10000;
    // Largest squared distance (in 8-bit units, summed over r, g, b) a pixel may have from the
    // block's mean for the block to be coded as one colour.
    const int fillLimit = 12 + (10000 - quality) / 20;
    int r[16], g[16], b[16];
    for (int by = 0; by < bh; ++by) {
        for (int bx = 0; bx < bw; ++bx) {
            int sr = 0, sg = 0, sb = 0;
            for (int y = 0; y < 4; ++y) {
                const uint8_t* p = rgb32 + (static_cast<size_t>(by * 4 + y) * static_cast<size_t>(width) + static_cast<size_t>(bx * 4)) * 4;
                for (int x = 0; x < 4; ++x, p += 4) {
                    const int i = y * 4 + x;
                    b[i] = p[0];
                    g[i] = p[1];
                    r[i] = p[2];
                    sr += r[i];
                    sg += g[i];
                    sb += b[i];
                }
            }
            const int mr = sr / 16, mg = sg / 16, mb = sb / 16;
            int maxDist = 0;
            int luma[16];
            int meanLuma = 0;
            for (int i = 0; i < 16; ++i) {
                const int d = (r[i] - mr) * (r[i] - mr) + (g[i] - mg) * (g[i] - mg) + (b[i] - mb) * (b[i] - mb);
                if (d > maxDist)
                    maxDist = d;
                luma[i] = r[i] * 2 + g[i] * 4 + b[i];
                meanLuma += luma[i];
            }
            meanLuma /= 16;
            if (maxDist <= fillLimit) {
                const uint16_t c = To555(mr, mg, mb);
                const int hi = (c >> 8) | 0x80;
                if ((hi & 0xFC) != 0x84) {
                    AppendLE16(*out, static_cast<uint16_t>(c | 0x8000));
                    continue;
                }
                // Red of exactly 1 would read as a skip code: write a two-colour block instead.
                AppendLE16(*out, 0);
                AppendLE16(*out, c);
                AppendLE16(*out, c);
                continue;
            }
            // Two colours: split at the mean brightness, then refine the split once.
            int flags = 0;
            for (int i = 0; i < 16; ++i)
                if (luma[i] > meanLuma)
                    flags |= 1 << i;
            int c0[3] = {0, 0, 0}, c1[3] = {0, 0, 0}, n0 = 0, n1 = 0;
            for (int pass = 0; pass < 2; ++pass) {
                c0[0] = c0[1] = c0[2] = c1[0] = c1[1] = c1[2] = n0 = n1 = 0;
                for (int i = 0; i < 16; ++i) {
                    int* c = (flags >> i) & 1 ? c0 : c1;
                    c[0] += r[i];
                    c[1] += g[i];
                    c[2] += b[i];
                    ((flags >> i) & 1 ? n0 : n1)++;
                }
                if (n0)
                    c0[0] /= n0, c0[1] /= n0, c0[2] /= n0;
                if (n1)
                    c1[0] /= n1, c1[1] /= n1, c1[2] /= n1;
                if (pass == 1 || !n0 || !n1)
                    break;
                int next = 0;
                for (int i = 0; i < 16; ++i) {
                    const int d0 = (r[i] - c0[0]) * (r[i] - c0[0]) + (g[i] - c0[1]) * (g[i] - c0[1]) + (b[i] - c0[2]) * (b[i] - c0[2]);
                    const int d1 = (r[i] - c1[0]) * (r[i] - c1[0]) + (g[i] - c1[1]) * (g[i] - c1[1]) + (b[i] - c1[2]) * (b[i] - c1[2]);
                    if (d0 < d1)
                        next |= 1 << i;
                }
                if (next == 0 || next == 0xFFFF)
                    break;
                flags = next;
            }
            if (!n0) {
                c0[0] = c1[0], c0[1] = c1[1], c0[2] = c1[2];
            }
            if (!n1) {
                c1[0] = c0[0], c1[1] = c0[1], c1[2] = c0[2];
            }
            uint16_t first = To555(c0[0], c0[1], c0[2]);
            uint16_t second = To555(c1[0], c1[1], c1[2]);
            // The top flag bit must be clear (a set one would read as a one-colour block).
            if (flags & 0x8000) {
                flags = ~flags & 0xFFFF;
                std::swap(first, second);
            }
            AppendLE16(*out, static_cast<uint16_t>(flags));
            AppendLE16(*out, first);
            AppendLE16(*out, second);
        }
    }
}

bool DecodeMsVideo1(const uint8_t* data, size_t size, int width, int height, std::vector<uint8_t>* rgb32,
                    const std::vector<uint8_t>* previous)
{
    // Every 4x4 block is coded or skipped, and one code skips at most 1023 blocks: data too
    // short to cover the picture is refused before the picture's memory is taken.
    if (!ImageSizeOk(width, height))
        return false;
    const uint64_t blocks = static_cast<uint64_t>(width / 4) * static_cast<uint64_t>(height / 4);
    if (static_cast<uint64_t>(size / 2) * 1023 < blocks)
        return false;
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (previous && previous->size() == bytes)
        *rgb32 = *previous;
    else
        rgb32->assign(bytes, 0);
    for (size_t i = 3; i < bytes; i += 4)
        (*rgb32)[i] = 0xFF;
    auto* pixels = reinterpret_cast<uint32_t*>(rgb32->data());
    const int bw = width / 4;
    const int bh = height / 4;
    const int total = bw * bh;
    size_t pos = 0;
    int skip = 0;
    auto read16 = [&](uint16_t* v) {
        if (pos + 2 > size)
            return false;
        *v = static_cast<uint16_t>(data[pos] | (data[pos + 1] << 8));
        pos += 2;
        return true;
    };
    for (int block = 0; block < total; ++block) {
        if (skip > 0) {
            --skip;
            continue;
        }
        const int bx = block % bw;
        const int by = block / bw;
        uint32_t* base = pixels + static_cast<size_t>(by * 4) * static_cast<size_t>(width) + static_cast<size_t>(bx * 4);
        uint16_t code;
        if (!read16(&code))
            return false;
        const int hi = code >> 8;
        if ((hi & 0xFC) == 0x84) {
            skip = ((hi - 0x84) << 8) + (code & 0xFF) - 1;
            continue;
        }
        uint32_t colours[8];
        if (hi < 0x80) {
            uint16_t c[8];
            if (!read16(&c[0]) || !read16(&c[1]))
                return false;
            const bool eight = (c[0] & 0x8000) != 0;
            if (eight)
                for (int i = 2; i < 8; ++i)
                    if (!read16(&c[i]))
                        return false;
            for (int i = 0; i < (eight ? 8 : 2); ++i)
                colours[i] = From555(c[i]);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x) {
                    const int bit = (code >> (y * 4 + x)) & 1;
                    const int index = eight ? ((y & 2) << 1) + (x & 2) + (bit ^ 1) : (bit ^ 1);
                    base[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = colours[index];
                }
        } else {
            const uint32_t c = From555(code);
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 4; ++x)
                    base[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] = c;
        }
    }
    return true;
}

}  // namespace quiva::media
