// The two converters the graph inserts between filters that do not agree on a type: the AVI
// decoder (packed YUV, NV12, motion JPEG, Video 1 and 16-bit RGB to RGB) and the colour-space
// converter (between RGB depths and from packed YUV and NV12).
#include "platform/media/FilterBase.h"
#include "platform/media/MsVideo1.h"

namespace quiva::media {

namespace {

// `previous` keeps the last Video 1 picture, whose blocks a frame may skip.
bool ToRgb(const Frame& in, REFGUID outSubtype, Frame* out, std::vector<uint8_t>* previous = nullptr)
{
    std::vector<uint8_t> rgb32;
    if (in.subtype == MEDIASUBTYPE_MSVC) {
        if (!DecodeMsVideo1(in.Bytes(), in.Size(), in.width, in.height, &rgb32, previous))
            return false;
        if (previous)
            *previous = rgb32;
    } else if (!ConvertToRgb32(in, &rgb32)) {
        return false;
    }
    auto bytes = std::make_shared<std::vector<uint8_t>>();
    if (outSubtype == MEDIASUBTYPE_RGB32)
        *bytes = std::move(rgb32);
    else if (!ConvertFromRgb32(rgb32.data(), in.width, in.height, outSubtype, bytes.get()))
        return false;
    *out = in;
    out->data = bytes;
    out->subtype = outSubtype;
    return true;
}

class AviDecoder final : public TransformFilter {
public:
    AviDecoder() : TransformFilter(CLSID_AVIDec, L"XForm In", L"XForm Out") {}

protected:
    bool AcceptsInput(const MediaType& mt) const override
    {
        if (!mt.IsVideo())
            return false;
        const GUID& s = mt.subtype;
        return s == MEDIASUBTYPE_YUY2 || s == MEDIASUBTYPE_UYVY || s == MEDIASUBTYPE_NV12 || s == MEDIASUBTYPE_MJPG ||
               s == MEDIASUBTYPE_MSVC || s == MEDIASUBTYPE_RGB565 || s == MEDIASUBTYPE_RGB555;
    }
    std::vector<GUID> OutputSubtypes(const MediaType&) const override { return {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24}; }
    bool Transform(const Frame& in, REFGUID outSubtype, Frame* out) override
    {
        // Frames arrive one at a time on the streaming thread.
        return ToRgb(in, outSubtype, out, &m_previous);
    }
    void OnStop() override { m_previous.clear(); }

private:
    std::vector<uint8_t> m_previous;
};

class ColourSpaceConverter final : public TransformFilter {
public:
    ColourSpaceConverter() : TransformFilter(CLSID_Colour, L"Input", L"XForm Out") {}

protected:
    bool AcceptsInput(const MediaType& mt) const override
    {
        if (!mt.IsVideo())
            return false;
        const GUID& s = mt.subtype;
        return s == MEDIASUBTYPE_RGB32 || s == MEDIASUBTYPE_RGB24 || s == MEDIASUBTYPE_RGB565 || s == MEDIASUBTYPE_RGB555 ||
               s == MEDIASUBTYPE_YUY2 || s == MEDIASUBTYPE_UYVY || s == MEDIASUBTYPE_NV12;
    }
    std::vector<GUID> OutputSubtypes(const MediaType& in) const override
    {
        // The input's own depth first, so an RGB chain passes through unchanged.
        if (in.subtype == MEDIASUBTYPE_RGB24)
            return {MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32};
        return {MEDIASUBTYPE_RGB32, MEDIASUBTYPE_RGB24};
    }
    bool Transform(const Frame& in, REFGUID outSubtype, Frame* out) override
    {
        if (in.subtype == outSubtype) {
            *out = in;
            return true;
        }
        return ToRgb(in, outSubtype, out);
    }
};

}  // namespace

IUnknown* CreateAviDecoder() { return static_cast<IBaseFilter*>(new AviDecoder()); }
IUnknown* CreateColourSpaceConverter() { return static_cast<IBaseFilter*>(new ColourSpaceConverter()); }

}  // namespace quiva::media
