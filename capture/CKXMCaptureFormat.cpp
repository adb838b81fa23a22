// Capture formats: the formats a device offers, the requested one, and the one set on it.
#include "capture/CKXMCapture.h"
#include "platform/base/debug.h"

using quiva::ComPtr;

CString SubtypeName(REFGUID subtype)
{
    if (subtype == MEDIASUBTYPE_YUY2)
        return L"YUY2";
    if (subtype == MEDIASUBTYPE_RGB24)
        return L"RGB24";
    if (subtype == MEDIASUBTYPE_UYVY)
        return L"UYVY";
    if (subtype == MEDIASUBTYPE_MJPG)
        return L"MJPG";
    WCHAR text[40] = {};
    StringFromGUID2(subtype, text, 40);
    return text;
}

void CKXMCapture::SetRequestedFormat(int width, int height, int frameRate, LPCWSTR subtype)
{
    std::lock_guard lock(m_lock);
    m_nReqWidth = width;
    m_nReqHeight = height;
    m_nReqFrameRate = frameRate;
    m_strReqSubtype = subtype ? subtype : L"";
}

bool VideoFormat(const AM_MEDIA_TYPE& mt, int* kind, LONG* width, LONG* height, REFERENCE_TIME* frameTime)
{
    if (mt.majortype != MEDIATYPE_Video || !mt.pbFormat)
        return false;
    if (mt.formattype == FORMAT_VideoInfo && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
        *kind = 0, *width = vih->bmiHeader.biWidth, *height = vih->bmiHeader.biHeight;
        *frameTime = vih->AvgTimePerFrame;
        return true;
    }
    if (mt.formattype == FORMAT_VideoInfo2 && mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt.pbFormat);
        *kind = 1, *width = vih->bmiHeader.biWidth, *height = vih->bmiHeader.biHeight;
        *frameTime = vih->AvgTimePerFrame;
        return true;
    }
    return false;
}

namespace {

bool SameFormat(const _KXMCaptureResolutionInfo& a, int width, int height, int rate, LPCWSTR subtype)
{
    return a.width == width && a.height == height && a.frameRate == rate && _wcsicmp(a.subtype, subtype) == 0;
}

// Frames per second of a frame time in 100 ns units; 0 for a frame time of 0 or less.
int FrameRate(REFERENCE_TIME frameTime)
{
    return frameTime > 0 ? static_cast<int>(10000000 / frameTime) : 0;
}

struct MediaTypeDeleter {
    void operator()(AM_MEDIA_TYPE* mt) const { DeleteMediaType(mt); }
};
using MediaTypePtr = std::unique_ptr<AM_MEDIA_TYPE, MediaTypeDeleter>;

}  // namespace

const _KXMCaptureResolutionInfo* CKXMCapture::FindRequestedFormat() const
{
    std::lock_guard lock(m_lock);
    for (INT_PTR i = 0; i < m_formats.GetSize(); ++i)
        if (SameFormat(m_formats[i], m_nReqWidth, m_nReqHeight, m_nReqFrameRate, m_strReqSubtype))
            return &m_formats[i];
    return nullptr;
}

void CKXMCapture::NegotiateFormat(IBaseFilter* filter)
{
    std::lock_guard lock(m_lock);
    m_formats.RemoveAll();
    Trace(L"Current : %d %d %s %d", m_nReqWidth, m_nReqHeight, static_cast<LPCWSTR>(m_strReqSubtype), m_nReqFrameRate);
    if (!filter)
        return;
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Put())) || !pins)
        return;
    bool matched = false;
    IPin* p = nullptr;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        PIN_INFO info {};
        if (FAILED(pin->QueryPinInfo(&info)))
            return;
        ComPtr<IBaseFilter> owner = ComPtr<IBaseFilter>::Adopt(info.pFilter);
        if (info.dir != PINDIR_OUTPUT)
            continue;
        // The stream configuration belongs to the output pin; filters with a single capture
        // output may answer for it themselves.
        auto config = pin.As<IAMStreamConfig>(IID_IAMStreamConfig);
        if (!config && owner)
            config = owner.As<IAMStreamConfig>(IID_IAMStreamConfig);
        ComPtr<IEnumMediaTypes> types;
        if (FAILED(pin->EnumMediaTypes(types.Put())) || !types)
            continue;

        MediaTypePtr candidate;
        int candidateKind = 0;
        LONG candidateWidth = 0;
        AM_MEDIA_TYPE* raw = nullptr;
        while (types->Next(1, &raw, nullptr) == S_OK) {
            MediaTypePtr mt(raw);
            int kind;
            LONG width, height;
            REFERENCE_TIME frameTime;
            if (!VideoFormat(*mt, &kind, &width, &height, &frameTime))
                continue;
            const int rate = FrameRate(frameTime);
            const CString name = SubtypeName(mt->subtype);
            Trace(kind == 0 ? L"MediaType : %s %dx%d %d\n" : L"MediaType2 : %s %dx%d %d\n",
                  static_cast<LPCWSTR>(name), static_cast<int>(width), static_cast<int>(height), rate);
            bool isNew = true;
            for (INT_PTR i = 0; i < m_formats.GetSize() && isNew; ++i)
                isNew = !SameFormat(m_formats[i], width, height, rate, name);
            if (isNew) {
                _KXMCaptureResolutionInfo r;
                r.width = width, r.height = height, r.frameRate = rate, r.subtype = name;
                m_formats.Add(r);
            }
            if (matched)
                continue;
            if (m_nReqWidth != 0 && isNew &&
                SameFormat(m_formats[m_formats.GetSize() - 1], m_nReqWidth, m_nReqHeight, m_nReqFrameRate, m_strReqSubtype)) {
                candidate = std::move(mt);
                candidateKind = kind;
                matched = true;
                Trace(L"MATCH : %d %d %s %d", m_nReqWidth, m_nReqHeight, static_cast<LPCWSTR>(m_strReqSubtype),
                      m_nReqFrameRate);
                continue;
            }
            if (rate >= 30 && (!candidate || width > candidateWidth)) {
                candidate = std::move(mt);
                candidateKind = kind;
                candidateWidth = width;
            }
        }
        if (!candidate)
            continue;
        int kind;
        LONG width, height;
        REFERENCE_TIME frameTime;
        VideoFormat(*candidate, &kind, &width, &height, &frameTime);
        const int rate = FrameRate(frameTime);
        const CString name = SubtypeName(candidate->subtype);
        Trace(candidateKind == 0 ? L"Detected MediaType : %s %dx%d %d\n" : L"Detected MediaType Info2 : %s %dx%d %d\n",
              static_cast<LPCWSTR>(name), static_cast<int>(width), static_cast<int>(height), rate);
        // The requested format follows what the device really takes, and only that.
        HRESULT hr = config ? config->SetFormat(candidate.get()) : E_NOINTERFACE;
        if (hr == S_OK) {
            m_nReqWidth = width;
            m_nReqHeight = height;
            m_nReqFrameRate = rate;
            m_strReqSubtype = name;
        } else if (config) {
            Trace(L"Error : %x", static_cast<unsigned>(hr));
        }
    }
}

void CKXMCapture::TakeConnectedFormat(IBaseFilter* source)
{
    ComPtr<IEnumPins> pins;
    if (!source || FAILED(source->EnumPins(pins.Put())) || !pins)
        return;
    IPin* p = nullptr;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        PIN_DIRECTION dir;
        AM_MEDIA_TYPE mt {};
        if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT || FAILED(pin->ConnectionMediaType(&mt)))
            continue;
        int kind;
        LONG width, height;
        REFERENCE_TIME frameTime;
        if (VideoFormat(mt, &kind, &width, &height, &frameTime)) {
            m_nReqWidth = width;
            m_nReqHeight = height < 0 ? -height : height;
            m_nReqFrameRate = FrameRate(frameTime);
            m_strReqSubtype = SubtypeName(mt.subtype);
            FreeMediaType(mt);
            return;
        }
        FreeMediaType(mt);
    }
}
