#include "platform/media/MediaType.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gdi/JpegCodec.h"

namespace quiva::media {

MediaType::MediaType() = default;

MediaType::MediaType(const AM_MEDIA_TYPE& mt)
    : majortype(mt.majortype),
      subtype(mt.subtype),
      formattype(mt.formattype),
      fixedSize(mt.bFixedSizeSamples),
      temporalCompression(mt.bTemporalCompression),
      sampleSize(mt.lSampleSize)
{
    if (mt.cbFormat && mt.pbFormat)
        format.assign(mt.pbFormat, mt.pbFormat + mt.cbFormat);
}

void MediaType::CopyTo(AM_MEDIA_TYPE* mt) const
{
    std::memset(mt, 0, sizeof(*mt));
    mt->majortype = majortype;
    mt->subtype = subtype;
    mt->formattype = formattype;
    mt->bFixedSizeSamples = fixedSize;
    mt->bTemporalCompression = temporalCompression;
    mt->lSampleSize = sampleSize;
    if (!format.empty()) {
        mt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(format.size()));
        std::memcpy(mt->pbFormat, format.data(), format.size());
        mt->cbFormat = static_cast<ULONG>(format.size());
    }
}

AM_MEDIA_TYPE* MediaType::ToTaskMemory() const
{
    auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    CopyTo(mt);
    return mt;
}

bool MediaType::IsVideo() const { return majortype == MEDIATYPE_Video && Bitmap() != nullptr; }

const BITMAPINFOHEADER* MediaType::Bitmap() const
{
    if (formattype == FORMAT_VideoInfo && format.size() >= sizeof(VIDEOINFOHEADER))
        return &reinterpret_cast<const VIDEOINFOHEADER*>(format.data())->bmiHeader;
    if (formattype == FORMAT_VideoInfo2 && format.size() >= sizeof(VIDEOINFOHEADER2))
        return &reinterpret_cast<const VIDEOINFOHEADER2*>(format.data())->bmiHeader;
    return nullptr;
}

BITMAPINFOHEADER* MediaType::Bitmap() { return const_cast<BITMAPINFOHEADER*>(static_cast<const MediaType*>(this)->Bitmap()); }

REFERENCE_TIME MediaType::AvgTimePerFrame() const
{
    if (formattype == FORMAT_VideoInfo && format.size() >= sizeof(VIDEOINFOHEADER))
        return reinterpret_cast<const VIDEOINFOHEADER*>(format.data())->AvgTimePerFrame;
    if (formattype == FORMAT_VideoInfo2 && format.size() >= sizeof(VIDEOINFOHEADER2))
        return reinterpret_cast<const VIDEOINFOHEADER2*>(format.data())->AvgTimePerFrame;
    return 0;
}

int MediaType::Width() const
{
    const BITMAPINFOHEADER* b = Bitmap();
    return b ? b->biWidth : 0;
}

int MediaType::Height() const
{
    const BITMAPINFOHEADER* b = Bitmap();
    if (!b)
        return 0;
    const int64_t h = DibRows(b->biHeight);
    return h > INT32_MAX ? INT32_MAX : static_cast<int>(h);
}

bool MediaType::Matches(const AM_MEDIA_TYPE& p) const
{
    if (p.majortype != GUID_NULL && p.majortype != majortype)
        return false;
    if (p.subtype != GUID_NULL && p.subtype != subtype)
        return false;
    if (p.formattype != GUID_NULL) {
        if (p.formattype != formattype)
            return false;
        if (p.cbFormat && p.pbFormat) {
            MediaType other(p);
            const BITMAPINFOHEADER* a = Bitmap();
            const BITMAPINFOHEADER* b = other.Bitmap();
            if (a && b)
                return a->biWidth == b->biWidth && a->biHeight == b->biHeight && a->biBitCount == b->biBitCount &&
                       a->biCompression == b->biCompression &&
                       (other.AvgTimePerFrame() == 0 || other.AvgTimePerFrame() == AvgTimePerFrame());
            return p.cbFormat == format.size() && std::memcmp(p.pbFormat, format.data(), format.size()) == 0;
        }
    }
    return true;
}

bool MediaType::operator==(const MediaType& o) const
{
    return majortype == o.majortype && subtype == o.subtype && formattype == o.formattype && format == o.format;
}

namespace {
// NV12: a plane of luma rows, then half as many rows of U and V pairs, one pair for each 2x2
// block (an odd last column or row has a block of its own).
uint64_t Nv12Bytes(int width, int height)
{
    const uint64_t w = static_cast<uint64_t>(std::max(width, 0));
    const uint64_t h = static_cast<uint64_t>(std::max(height, 0));
    return w * h + (w + 1) / 2 * 2 * ((h + 1) / 2);
}
void AppendHex(std::string& s, const void* data, size_t n)
{
    static const char digits[] = "0123456789abcdef";
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < n; ++i) {
        s += digits[p[i] >> 4];
        s += digits[p[i] & 15];
    }
}
bool ReadHex(const std::string& s, size_t& pos, void* out, size_t n)
{
    auto* p = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < n; ++i) {
        if (pos + 2 > s.size())
            return false;
        int v = 0;
        for (int k = 0; k < 2; ++k) {
            char c = s[pos++];
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        p[i] = static_cast<uint8_t>(v);
    }
    return true;
}
}  // namespace

std::string MediaType::Serialise() const
{
    std::string s;
    AppendHex(s, &majortype, sizeof(GUID));
    AppendHex(s, &subtype, sizeof(GUID));
    AppendHex(s, &formattype, sizeof(GUID));
    uint32_t flags[3] = {static_cast<uint32_t>(fixedSize), static_cast<uint32_t>(temporalCompression), sampleSize};
    AppendHex(s, flags, sizeof(flags));
    AppendHex(s, format.data(), format.size());
    return s;
}

bool MediaType::Deserialise(const std::string& text, MediaType* mt)
{
    size_t pos = 0;
    MediaType r;
    uint32_t flags[3];
    if (!ReadHex(text, pos, &r.majortype, sizeof(GUID)) || !ReadHex(text, pos, &r.subtype, sizeof(GUID)) ||
        !ReadHex(text, pos, &r.formattype, sizeof(GUID)) || !ReadHex(text, pos, flags, sizeof(flags)))
        return false;
    if ((text.size() - pos) % 2 != 0 || (text.size() - pos) / 2 > (1u << 20))
        return false;
    r.format.resize((text.size() - pos) / 2);
    if (!ReadHex(text, pos, r.format.data(), r.format.size()))
        return false;
    r.fixedSize = static_cast<BOOL>(flags[0]);
    r.temporalCompression = static_cast<BOOL>(flags[1]);
    r.sampleSize = flags[2];
    *mt = std::move(r);
    return true;
}

WORD SubtypeBitCount(REFGUID s)
{
    if (s == MEDIASUBTYPE_RGB32)
        return 32;
    if (s == MEDIASUBTYPE_RGB24)
        return 24;
    if (s == MEDIASUBTYPE_RGB565 || s == MEDIASUBTYPE_RGB555 || s == MEDIASUBTYPE_YUY2 || s == MEDIASUBTYPE_UYVY)
        return 16;
    if (s == MEDIASUBTYPE_NV12)
        return 12;
    if (s == MEDIASUBTYPE_MJPG)
        return 24;
    return 16;
}

DWORD SubtypeCompression(REFGUID s)
{
    if (s == MEDIASUBTYPE_RGB32 || s == MEDIASUBTYPE_RGB24 || s == MEDIASUBTYPE_RGB555)
        return BI_RGB;
    if (s == MEDIASUBTYPE_RGB565)
        return BI_BITFIELDS;
    return s.Data1;  // FOURCC subtypes carry their code in the first field
}

MediaType MakeAnalogVideoType()
{
    MediaType mt;
    mt.majortype = MEDIATYPE_AnalogVideo;
    mt.subtype = MEDIASUBTYPE_AnalogVideo_NTSC_M;
    mt.formattype = FORMAT_None;
    return mt;
}

MediaType MakeVideoType(REFGUID subtype, int width, int height, REFERENCE_TIME avgTime, bool vih2)
{
    MediaType mt;
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = subtype;
    BITMAPINFOHEADER bmi{};
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biPlanes = 1;
    bmi.biBitCount = SubtypeBitCount(subtype);
    bmi.biCompression = SubtypeCompression(subtype);
    // In 64 bits: a size past 4 GB (never a picture within the pixel limit) is written as 0,
    // "not given", rather than wrapped.
    const uint64_t pixels = static_cast<uint64_t>(std::max(width, 0)) * static_cast<uint64_t>(std::max(height, 0));
    uint64_t imageBytes = DibRowBytes(width, bmi.biBitCount) * static_cast<uint64_t>(std::max(height, 0));
    if (subtype == MEDIASUBTYPE_MJPG)
        imageBytes = pixels * 3;
    else if (subtype == MEDIASUBTYPE_NV12)
        imageBytes = Nv12Bytes(width, height);
    bmi.biSizeImage = imageBytes <= UINT32_MAX ? static_cast<DWORD>(imageBytes) : 0;
    mt.sampleSize = bmi.biSizeImage;
    mt.fixedSize = subtype != MEDIASUBTYPE_MJPG;
    mt.temporalCompression = FALSE;
    const DWORD bitRate = avgTime > 0 ? static_cast<DWORD>(static_cast<uint64_t>(bmi.biSizeImage) * 8ull * 10000000ull / static_cast<uint64_t>(avgTime)) : 0;
    if (vih2) {
        VIDEOINFOHEADER2 v{};
        v.rcSource = {0, 0, width, height};
        v.rcTarget = v.rcSource;
        v.dwBitRate = bitRate;
        v.AvgTimePerFrame = avgTime;
        v.dwPictAspectRatioX = static_cast<DWORD>(width);
        v.dwPictAspectRatioY = static_cast<DWORD>(height);
        v.bmiHeader = bmi;
        mt.formattype = FORMAT_VideoInfo2;
        mt.format.assign(reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + sizeof(v));
    } else {
        VIDEOINFOHEADER v{};
        v.rcSource = {0, 0, width, height};
        v.rcTarget = v.rcSource;
        v.dwBitRate = bitRate;
        v.AvgTimePerFrame = avgTime;
        v.bmiHeader = bmi;
        mt.formattype = FORMAT_VideoInfo;
        mt.format.assign(reinterpret_cast<BYTE*>(&v), reinterpret_cast<BYTE*>(&v) + sizeof(v));
    }
    return mt;
}

// --- pixel conversion ---------------------------------------------------------------------

namespace {

inline uint8_t Clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// BT.601 limited range, as capture devices deliver it.
inline void YuvToRgb(int y, int u, int v, uint8_t* bgr)
{
    int c = (y - 16) * 298;
    int d = u - 128;
    int e = v - 128;
    bgr[2] = Clamp8((c + 409 * e + 128) >> 8);
    bgr[1] = Clamp8((c - 100 * d - 208 * e + 128) >> 8);
    bgr[0] = Clamp8((c + 516 * d + 128) >> 8);
}

inline void RgbToYuv(int r, int g, int b, int* y, int* u, int* v)
{
    *y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    *u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    *v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

// Motion-JPEG frames are bottom-up BGRA once decoded, like every other frame here. A frame
// whose picture is not the size its media type says is refused; a damaged one decodes as far as
// it goes, as a device's stream would be shown.
bool DecodeJpeg(const Frame& in, std::vector<uint8_t>* out)
{
    const int w = in.width, h = in.height;
    JpegDecodeOptions options;
    options.keepGrey = false;
    options.strict = false;
    auto start = [&](const JpegRowsInfo& info) {
        if (info.width != w || info.height != h)
            return false;
        out->assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
        return true;
    };
    auto row = [&](int y, const uint8_t* rgb) {
        uint8_t* dst = out->data() + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) * 4;
        for (int x = 0; x < w; ++x) {
            dst[x * 4 + 0] = rgb[x * 3 + 2];
            dst[x * 4 + 1] = rgb[x * 3 + 1];
            dst[x * 4 + 2] = rgb[x * 3 + 0];
            dst[x * 4 + 3] = 0xFF;
        }
    };
    return DecodeJpegRows(in.Bytes(), in.Size(), options, start, row);
}

bool EncodeJpeg(const uint8_t* rgb32, int w, int h, std::vector<uint8_t>* out)
{
    std::string bytes;
    const bool ok = EncodeJpegRows(w, h, 90, 0, [&](int y, uint8_t* rgb) {
        const uint8_t* src = rgb32 + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) * 4;
        for (int x = 0; x < w; ++x) {
            rgb[x * 3 + 0] = src[x * 4 + 2];
            rgb[x * 3 + 1] = src[x * 4 + 1];
            rgb[x * 3 + 2] = src[x * 4 + 0];
        }
    }, bytes);
    if (ok)
        out->assign(bytes.begin(), bytes.end());
    return ok;
}

}  // namespace

bool HasJpeg() { return true; }

bool CanDecode(REFGUID s)
{
    return s == MEDIASUBTYPE_RGB32 || s == MEDIASUBTYPE_RGB24 || s == MEDIASUBTYPE_RGB565 || s == MEDIASUBTYPE_RGB555 ||
           s == MEDIASUBTYPE_YUY2 || s == MEDIASUBTYPE_UYVY || s == MEDIASUBTYPE_NV12 || s == MEDIASUBTYPE_MJPG;
}

bool ConvertToRgb32(const Frame& in, std::vector<uint8_t>* out)
{
    const int w = in.width;
    const int h = in.height;
    if (!ImageSizeOk(w, h) || !in.data)
        return false;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    const uint8_t* src = in.Bytes();
    if (in.subtype == MEDIASUBTYPE_RGB32) {
        if (in.Size() < pixels * 4)
            return false;
        out->assign(src, src + pixels * 4);
        return true;
    }
    if (in.subtype == MEDIASUBTYPE_MJPG)
        return DecodeJpeg(in, out);
    // The frame must hold the whole picture before the picture's memory is taken.
    size_t needed = 0;
    if (in.subtype == MEDIASUBTYPE_RGB24 || in.subtype == MEDIASUBTYPE_RGB565 || in.subtype == MEDIASUBTYPE_RGB555)
        needed = static_cast<size_t>(DibRowBytes(w, in.subtype == MEDIASUBTYPE_RGB24 ? 24 : 16)) * static_cast<size_t>(h);
    else if (in.subtype == MEDIASUBTYPE_YUY2 || in.subtype == MEDIASUBTYPE_UYVY)
        needed = static_cast<size_t>((w + 1) / 2) * 4 * static_cast<size_t>(h);
    else if (in.subtype == MEDIASUBTYPE_NV12)
        needed = static_cast<size_t>(Nv12Bytes(w, h));
    if (needed == 0 || in.Size() < needed)
        return false;
    out->resize(pixels * 4);
    uint8_t* dst = out->data();
    if (in.subtype == MEDIASUBTYPE_RGB24 || in.subtype == MEDIASUBTYPE_RGB565 || in.subtype == MEDIASUBTYPE_RGB555) {
        const WORD bits = in.subtype == MEDIASUBTYPE_RGB24 ? 24 : 16;
        const size_t stride = DibRowBytes(w, bits);
        if (in.Size() < stride * static_cast<size_t>(h))
            return false;
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src + stride * static_cast<size_t>(y);
            uint8_t* d = dst + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
            for (int x = 0; x < w; ++x, d += 4) {
                if (bits == 24) {
                    d[0] = s[x * 3];
                    d[1] = s[x * 3 + 1];
                    d[2] = s[x * 3 + 2];
                } else {
                    const unsigned v = static_cast<unsigned>(s[x * 2]) | (static_cast<unsigned>(s[x * 2 + 1]) << 8);
                    if (in.subtype == MEDIASUBTYPE_RGB565) {
                        d[2] = static_cast<uint8_t>(((v >> 11) & 31) * 255 / 31);
                        d[1] = static_cast<uint8_t>(((v >> 5) & 63) * 255 / 63);
                    } else {
                        d[2] = static_cast<uint8_t>(((v >> 10) & 31) * 255 / 31);
                        d[1] = static_cast<uint8_t>(((v >> 5) & 31) * 255 / 31);
                    }
                    d[0] = static_cast<uint8_t>((v & 31) * 255 / 31);
                }
                d[3] = 0xFF;
            }
        }
        return true;
    }
    if (in.subtype == MEDIASUBTYPE_YUY2 || in.subtype == MEDIASUBTYPE_UYVY) {
        const size_t stride = static_cast<size_t>((w + 1) / 2) * 4;
        if (in.Size() < stride * static_cast<size_t>(h))
            return false;
        const bool yuy2 = in.subtype == MEDIASUBTYPE_YUY2;
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = src + stride * static_cast<size_t>(y);
            uint8_t* d = dst + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) * 4;
            for (int x = 0; x < w; x += 2, s += 4) {
                const int y0 = yuy2 ? s[0] : s[1];
                const int y1 = yuy2 ? s[2] : s[3];
                const int u = yuy2 ? s[1] : s[0];
                const int v = yuy2 ? s[3] : s[2];
                YuvToRgb(y0, u, v, d + x * 4);
                d[x * 4 + 3] = 0xFF;
                if (x + 1 < w) {
                    YuvToRgb(y1, u, v, d + (x + 1) * 4);
                    d[(x + 1) * 4 + 3] = 0xFF;
                }
            }
        }
        return true;
    }
    if (in.subtype == MEDIASUBTYPE_NV12) {
        const size_t width = static_cast<size_t>(w);
        const size_t chromaStride = static_cast<size_t>((w + 1) / 2) * 2;
        for (int y = 0; y < h; ++y) {
            const uint8_t* luma = src + width * static_cast<size_t>(y);
            const uint8_t* chroma = src + pixels + chromaStride * static_cast<size_t>(y / 2);
            uint8_t* d = dst + static_cast<size_t>(h - 1 - y) * width * 4;
            for (size_t x = 0; x < width; ++x) {
                YuvToRgb(luma[x], chroma[x / 2 * 2], chroma[x / 2 * 2 + 1], d + x * 4);
                d[x * 4 + 3] = 0xFF;
            }
        }
        return true;
    }
    return false;
}

bool ConvertFromRgb32(const uint8_t* rgb, int w, int h, REFGUID subtype, std::vector<uint8_t>* out)
{
    if (w <= 0 || h <= 0 || !rgb)
        return false;
    const size_t pixels = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (subtype == MEDIASUBTYPE_RGB32) {
        out->assign(rgb, rgb + pixels * 4);
        return true;
    }
    if (subtype == MEDIASUBTYPE_MJPG)
        return EncodeJpeg(rgb, w, h, out);
    if (subtype == MEDIASUBTYPE_RGB24) {
        const size_t stride = DibRowBytes(w, 24);
        out->assign(stride * static_cast<size_t>(h), 0);
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = rgb + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
            uint8_t* d = out->data() + stride * static_cast<size_t>(y);
            for (int x = 0; x < w; ++x) {
                d[x * 3] = s[x * 4];
                d[x * 3 + 1] = s[x * 4 + 1];
                d[x * 3 + 2] = s[x * 4 + 2];
            }
        }
        return true;
    }
    if (subtype == MEDIASUBTYPE_YUY2 || subtype == MEDIASUBTYPE_UYVY) {
        const size_t stride = static_cast<size_t>((w + 1) / 2) * 4;
        out->assign(stride * static_cast<size_t>(h), 0);
        const bool yuy2 = subtype == MEDIASUBTYPE_YUY2;
        for (int y = 0; y < h; ++y) {
            const uint8_t* s = rgb + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) * 4;
            uint8_t* d = out->data() + stride * static_cast<size_t>(y);
            for (int x = 0; x < w; x += 2, d += 4) {
                int y0, u0, v0, y1, u1, v1;
                RgbToYuv(s[x * 4 + 2], s[x * 4 + 1], s[x * 4], &y0, &u0, &v0);
                const int x1 = x + 1 < w ? x + 1 : x;
                RgbToYuv(s[x1 * 4 + 2], s[x1 * 4 + 1], s[x1 * 4], &y1, &u1, &v1);
                const auto u = static_cast<uint8_t>((u0 + u1) / 2);
                const auto v = static_cast<uint8_t>((v0 + v1) / 2);
                if (yuy2) {
                    d[0] = static_cast<uint8_t>(y0);
                    d[1] = u;
                    d[2] = static_cast<uint8_t>(y1);
                    d[3] = v;
                } else {
                    d[0] = u;
                    d[1] = static_cast<uint8_t>(y0);
                    d[2] = v;
                    d[3] = static_cast<uint8_t>(y1);
                }
            }
        }
        return true;
    }
    if (subtype == MEDIASUBTYPE_NV12) {
        const size_t width = static_cast<size_t>(w);
        const size_t chromaStride = static_cast<size_t>((w + 1) / 2) * 2;
        out->assign(static_cast<size_t>(Nv12Bytes(w, h)), 0);
        uint8_t* luma = out->data();
        uint8_t* chroma = luma + pixels;
        // Rows top first, from bottom-up source rows; each block's chroma is its pixels' mean.
        auto source = [&](int x, int y) { return rgb + (static_cast<size_t>(h - 1 - y) * width + static_cast<size_t>(x)) * 4; };
        for (int y = 0; y < h; y += 2) {
            for (int x = 0; x < w; x += 2) {
                int su = 0, sv = 0, n = 0;
                for (int by = y; by < y + 2 && by < h; ++by)
                    for (int bx = x; bx < x + 2 && bx < w; ++bx, ++n) {
                        const uint8_t* p = source(bx, by);
                        int yy, u, v;
                        RgbToYuv(p[2], p[1], p[0], &yy, &u, &v);
                        luma[static_cast<size_t>(by) * width + static_cast<size_t>(bx)] = static_cast<uint8_t>(yy);
                        su += u;
                        sv += v;
                    }
                uint8_t* c = chroma + chromaStride * static_cast<size_t>(y / 2) + static_cast<size_t>(x);
                c[0] = static_cast<uint8_t>(su / n);
                c[1] = static_cast<uint8_t>(sv / n);
            }
        }
        return true;
    }
    return false;
}

}  // namespace quiva::media

// --- AM_MEDIA_TYPE helpers ---------------------------------------------------------------------

void FreeMediaTypeContents(AM_MEDIA_TYPE& mt)
{
    if (mt.cbFormat != 0 || mt.pbFormat) {
        CoTaskMemFree(mt.pbFormat);
        mt.cbFormat = 0;
        mt.pbFormat = nullptr;
    }
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}

void DeleteMediaType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return;
    FreeMediaTypeContents(*mt);
    CoTaskMemFree(mt);
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source)
{
    if (!target || !source)
        return E_POINTER;
    quiva::media::MediaType(*source).CopyTo(target);
    return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source)
{
    return source ? quiva::media::MediaType(*source).ToTaskMemory() : nullptr;
}
