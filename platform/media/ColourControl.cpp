#include "platform/media/ColourControl.h"

#include <cmath>
#include <cstdio>
#include <vector>
#include <mutex>

#include "platform/media/FilterBase.h"
#include "platform/media/MediaFaults.h"

namespace quiva::media {

namespace {

constexpr int kLimit = 127;

// The effect works on luma and chroma: brightness shifts luma, contrast scales it around mid
// grey, saturation scales chroma and hue turns it.
struct Tables {
    uint8_t luma[256];
    int cosFix;  // chroma matrix in 1/4096
    int sinFix;

    explicit Tables(const ColourSettings& s)
    {
        const double contrast = 1.0 + s.contrast / 128.0;  // 0 .. ~2
        for (int y = 0; y < 256; ++y) {
            const int v = static_cast<int>(std::lround((y - 128) * contrast + 128 + s.brightness));
            luma[y] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
        const double saturation = 1.0 + s.saturation / 128.0;
        const double angle = s.hue * 3.14159265358979 / 127.0;  // -180 .. 180 degrees
        cosFix = static_cast<int>(std::lround(std::cos(angle) * saturation * 4096));
        sinFix = static_cast<int>(std::lround(std::sin(angle) * saturation * 4096));
    }
    void Chroma(int& u, int& v) const
    {
        const int du = u - 128, dv = v - 128;
        int nu = ((du * cosFix - dv * sinFix) >> 12) + 128;
        int nv = ((du * sinFix + dv * cosFix) >> 12) + 128;
        u = nu < 0 ? 0 : nu > 255 ? 255 : nu;
        v = nv < 0 ? 0 : nv > 255 ? 255 : nv;
    }
};

inline uint8_t Clamp8(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

ColourSettings Clamped(ColourSettings s)
{
    auto c = [](int v) { return v < -kLimit ? -kLimit : v > kLimit ? kLimit : v; };
    s.brightness = c(s.brightness);
    s.contrast = c(s.contrast);
    s.hue = c(s.hue);
    s.saturation = c(s.saturation);
    return s;
}

}  // namespace

void ApplyColourRgb(uint8_t* p, size_t count, int bpp, const ColourSettings& settings)
{
    const ColourSettings s = Clamped(settings);
    if (s.Neutral())
        return;
    // On RGB the effect is one affine map (luma scaled and shifted, chroma turned and scaled):
    // out = A * in + c, taken from the map's value at 0 and at each unit colour, then applied
    // through per-channel tables in 1/256.
    const double contrast = 1.0 + s.contrast / 128.0;
    const double saturation = 1.0 + s.saturation / 128.0;
    const double angle = s.hue * 3.14159265358979 / 127.0;
    const double cs = std::cos(angle) * saturation, sn = std::sin(angle) * saturation;
    auto map = [&](double r, double g, double b, double out[3]) {
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        const double u = -0.169 * r - 0.331 * g + 0.5 * b;
        const double v = 0.5 * r - 0.419 * g - 0.081 * b;
        const double nu = u * cs - v * sn, nv = u * sn + v * cs;
        const double ny = (y - 128.0) * contrast + 128.0 + s.brightness;
        out[2] = ny + 1.402 * nv;                 // red
        out[1] = ny - 0.344 * nu - 0.714 * nv;    // green
        out[0] = ny + 1.772 * nu;                 // blue
    };
    double c[3], unit[3][3];
    map(0, 0, 0, c);
    map(0, 0, 1, unit[0]);  // blue
    map(0, 1, 0, unit[1]);  // green
    map(1, 0, 0, unit[2]);  // red
    std::vector<int> table(3 * 3 * 256);
    for (int out = 0; out < 3; ++out)
        for (int in = 0; in < 3; ++in)
            for (int x = 0; x < 256; ++x)
                table[static_cast<size_t>((out * 3 + in) * 256 + x)] =
                    static_cast<int>(std::lround((unit[in][out] - c[out]) * x * 256.0 + (in == 0 ? c[out] * 256.0 + 128.0 : 0.0)));
    const int* t = table.data();
    for (size_t i = 0; i < count; ++i, p += bpp) {
        const int b = p[0], g = p[1], r = p[2];
        for (int out = 0; out < 3; ++out) {
            const int* row = t + out * 3 * 256;
            p[out] = Clamp8((row[b] + row[256 + g] + row[512 + r]) >> 8);
        }
    }
}

void ApplyColourYuv422(uint8_t* d, size_t bytes, bool yuy2, const ColourSettings& settings)
{
    const ColourSettings s = Clamped(settings);
    if (s.Neutral())
        return;
    const Tables t(s);
    const int y0 = yuy2 ? 0 : 1, u0 = yuy2 ? 1 : 0, y1 = yuy2 ? 2 : 3, v0 = yuy2 ? 3 : 2;
    for (size_t i = 0; i + 4 <= bytes; i += 4) {
        int u = d[i + u0], v = d[i + v0];
        t.Chroma(u, v);
        d[i + u0] = static_cast<uint8_t>(u);
        d[i + v0] = static_cast<uint8_t>(v);
        d[i + y0] = t.luma[d[i + y0]];
        d[i + y1] = t.luma[d[i + y1]];
    }
}

namespace {

// The DMO wrapper filter. It has no pins until Init names the effect it wraps; the colour
// control is the only effect this layer has.
class DmoWrapper final : public Filter, public IDMOWrapperFilter, public IPropertyStore {
public:
    DmoWrapper() : Filter(CLSID_DMOWrapperFilter) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
    HRESULT QueryExtra(REFIID riid, void** ppv) override
    {
        if (riid == IID_IDMOWrapperFilter) {
            *ppv = static_cast<IDMOWrapperFilter*>(this);
            AddRef();
            return S_OK;
        }
        if (riid == IID_IPropertyStore && m_in && !CurrentFaults().colourNoStore) {
            *ppv = static_cast<IPropertyStore*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    HRESULT Init(REFCLSID dmo, REFCLSID) override
    {
        if (dmo != CLSID_CColorControlDmo)
            return REGDB_E_CLASSNOTREG;
        if (m_in)
            return E_UNEXPECTED;
        m_in = AddPin(L"in0", PINDIR_INPUT);
        m_out = AddPin(L"out0", PINDIR_OUTPUT);
        return S_OK;
    }

    HRESULT CheckInputType(Pin*, const MediaType& mt, Pin*) override
    {
        if (!mt.IsVideo())
            return VFW_E_TYPE_NOT_ACCEPTED;
        const GUID& s = mt.subtype;
        if (s != MEDIASUBTYPE_RGB32 && s != MEDIASUBTYPE_RGB24 && s != MEDIASUBTYPE_YUY2 && s != MEDIASUBTYPE_UYVY)
            return VFW_E_TYPE_NOT_ACCEPTED;
        const MediaFaults faults = CurrentFaults();
        for (const GUID& refused : faults.colourRefusedSubtypes)
            if (refused == s)
                return VFW_E_TYPE_NOT_ACCEPTED;
        if (faults.colourMaxWidth > 0 && mt.Width() > faults.colourMaxWidth)
            return VFW_E_TYPE_NOT_ACCEPTED;
        return S_OK;
    }

    std::vector<MediaType> OutputTypes(Pin*) override
    {
        if (!m_in || !m_in->IsConnected())
            return {};
        return {m_in->Type()};
    }

    void Receive(Pin*, const Frame& frame) override
    {
        if (!m_out->IsConnected() || State() == State_Stopped)
            return;
        ColourSettings s;
        {
            std::lock_guard lock(m_valueLock);
            s = m_values;
        }
        if (Clamped(s).Neutral()) {
            m_out->Deliver(frame);
            return;
        }
        auto bytes = std::make_shared<std::vector<uint8_t>>(*frame.data);
        const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
        if (frame.subtype == MEDIASUBTYPE_RGB32) {
            ApplyColourRgb(bytes->data(), std::min(pixels, bytes->size() / 4), 4, s);
        } else if (frame.subtype == MEDIASUBTYPE_RGB24) {
            const size_t stride = DibRowBytes(frame.width, 24);
            for (int y = 0; y < frame.height && stride * static_cast<size_t>(y + 1) <= bytes->size(); ++y)
                ApplyColourRgb(bytes->data() + stride * static_cast<size_t>(y), static_cast<size_t>(frame.width), 3, s);
        } else {
            ApplyColourYuv422(bytes->data(), bytes->size(), frame.subtype == MEDIASUBTYPE_YUY2, s);
        }
        Frame out = frame;
        out.data = bytes;
        m_out->Deliver(out);
    }

    // IPropertyStore: the four effect values, 32-bit integers.
    HRESULT GetCount(DWORD* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 4;
        return S_OK;
    }
    HRESULT GetAt(DWORD index, PROPERTYKEY* key) override
    {
        if (!key)
            return E_POINTER;
        if (index >= 4)
            return E_INVALIDARG;
        *key = {QUIVA_COLORCONTROL_FMTID, index + 1};
        return S_OK;
    }
    HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
    {
        if (!value)
            return E_POINTER;
        PropVariantInit(value);
        int* slot = Slot(key);
        if (!slot)
            return S_OK;  // unknown keys read as empty
        std::lock_guard lock(m_valueLock);
        value->vt = VT_I4;
        value->lVal = *slot;
        return S_OK;
    }
    HRESULT SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override
    {
        int* slot = Slot(key);
        if (!slot)
            return E_INVALIDARG;
        if (value.vt != VT_I4 && value.vt != VT_INT)
            return E_INVALIDARG;
        if (value.lVal < -kLimit || value.lVal > kLimit)
            return E_INVALIDARG;
        std::lock_guard lock(m_valueLock);
        *slot = value.lVal;
        return S_OK;
    }
    HRESULT Commit() override { return S_OK; }

    // Graph files keep the wrapped effect and its values.
    std::string SaveState() const override
    {
        if (!m_in)
            return {};
        std::lock_guard lock(m_valueLock);
        return "colorcontrol " + std::to_string(m_values.brightness) + " " + std::to_string(m_values.contrast) + " " +
               std::to_string(m_values.hue) + " " + std::to_string(m_values.saturation);
    }
    bool LoadState(const std::string& state) override
    {
        if (state.empty())
            return true;
        ColourSettings v;
        char name[16] = {};
        if (std::sscanf(state.c_str(), "%15s %d %d %d %d", name, &v.brightness, &v.contrast, &v.hue, &v.saturation) != 5 ||
            std::string(name) != "colorcontrol")
            return false;
        if (!m_in && FAILED(Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory)))
            return false;
        std::lock_guard lock(m_valueLock);
        m_values = Clamped(v);
        return true;
    }

private:
    int* Slot(const PROPERTYKEY& key)
    {
        if (key.fmtid != QUIVA_COLORCONTROL_FMTID)
            return nullptr;
        switch (key.pid) {
        case 1:
            return &m_values.brightness;
        case 2:
            return &m_values.contrast;
        case 3:
            return &m_values.hue;
        case 4:
            return &m_values.saturation;
        default:
            return nullptr;
        }
    }

    Pin* m_in = nullptr;
    Pin* m_out = nullptr;
    mutable std::mutex m_valueLock;
    ColourSettings m_values;
};

}  // namespace

IUnknown* CreateDmoWrapper() { return static_cast<IBaseFilter*>(new DmoWrapper()); }

}  // namespace quiva::media
