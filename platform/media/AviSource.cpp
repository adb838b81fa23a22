#include "platform/media/AviSource.h"

#include <cstring>

#include "platform/media/AviReader.h"
#include "platform/media/FilterBase.h"

namespace quiva::media {

namespace {

// The subtype of a stored video format: the DIB depth for uncompressed frames, the FOURCC for
// the others (Video 1 under any of its names).
GUID SubtypeOf(const BITMAPINFOHEADER& b)
{
    if (b.biCompression == BI_RGB || b.biCompression == BI_BITFIELDS) {
        switch (b.biBitCount) {
        case 32:
            return MEDIASUBTYPE_RGB32;
        case 24:
            return MEDIASUBTYPE_RGB24;
        case 16:
            return b.biCompression == BI_BITFIELDS ? MEDIASUBTYPE_RGB565 : MEDIASUBTYPE_RGB555;
        default:
            return GUID_NULL;
        }
    }
    const DWORD c = b.biCompression;
    if (c == QuivaFourCC('m', 's', 'v', 'c') || c == QuivaFourCC('C', 'R', 'A', 'M') || c == QuivaFourCC('c', 'r', 'a', 'm') ||
        c == QuivaFourCC('W', 'H', 'A', 'M') || c == QuivaFourCC('w', 'h', 'a', 'm'))
        return MEDIASUBTYPE_MSVC;
    GUID g = MEDIASUBTYPE_YUY2;
    g.Data1 = c;
    return g;
}

class AviSource final : public Filter {
public:
    explicit AviSource(std::shared_ptr<AviFileReader> reader) : Filter(CLSID_AviSplitter), m_reader(std::move(reader))
    {
        const auto& streams = m_reader->Streams();
        for (size_t i = 0; i < streams.size(); ++i) {
            wchar_t name[16];
            std::swprintf(name, 16, L"Stream %02zu", i);
            Pin* p = AddPin(name, PINDIR_OUTPUT);
            m_streamOfPin.push_back({p, i});
        }
    }
    ~AviSource() override { m_thread.Stop(); }

    bool IsSource() const override { return true; }

    std::vector<MediaType> OutputTypes(Pin* out) override
    {
        const AviStreamData* s = StreamOf(out);
        if (!s)
            return {};
        if (s->info.fccType == streamtypeVIDEO && s->format.size() >= sizeof(BITMAPINFOHEADER)) {
            BITMAPINFOHEADER b;
            std::memcpy(&b, s->format.data(), sizeof(b));
            const GUID sub = SubtypeOf(b);
            // A picture beyond the pixel limit is no stream this source plays.
            const int64_t height = DibRows(b.biHeight);
            if (sub == GUID_NULL || !ImageSizeOk(b.biWidth, height))
                return {};
            const REFERENCE_TIME avg = s->info.dwRate ? static_cast<REFERENCE_TIME>(10000000ll * s->info.dwScale / s->info.dwRate) : 0;
            MediaType mt = MakeVideoType(sub, b.biWidth, static_cast<int>(height), avg);
            mt.Bitmap()->biCompression = b.biCompression;
            mt.Bitmap()->biBitCount = b.biBitCount;
            return {mt};
        }
        if (s->info.fccType == streamtypeAUDIO) {
            MediaType mt;
            mt.majortype = MEDIATYPE_Audio;
            mt.subtype = MEDIASUBTYPE_PCM;
            mt.formattype = FORMAT_WaveFormatEx;
            mt.format.assign(s->format.begin(), s->format.end());
            return {mt};
        }
        return {};
    }

    HRESULT OnRun() override
    {
        for (const auto& entry : m_streamOfPin) {
            Pin* pin = entry.first;
            const auto index = entry.second;
            const AviStreamData& s = m_reader->Streams()[index];
            if (s.info.fccType != streamtypeVIDEO || !pin->IsConnected() || s.chunks.empty())
                continue;
            Pin* out = pin;
            const MediaType mt = out->Type();
            const REFERENCE_TIME period = s.info.dwRate ? static_cast<REFERENCE_TIME>(10000000ll * s.info.dwScale / s.info.dwRate) : 400000;
            m_thread.Start([this, out, index, mt, period](StreamThread& t) { Stream(t, out, index, mt, period); });
            break;  // one video stream is played
        }
        return S_OK;
    }
    void OnStop() override { m_thread.Stop(); }

private:
    const AviStreamData* StreamOf(Pin* p) const
    {
        for (const auto& [pin, index] : m_streamOfPin)
            if (pin == p)
                return &m_reader->Streams()[index];
        return nullptr;
    }

    // Frame 0 at once, then the others at the stream's rate; the last one stays on show.
    void Stream(StreamThread& t, Pin* out, size_t index, const MediaType& mt, REFERENCE_TIME period)
    {
        const AviStreamData& s = m_reader->Streams()[index];
        for (size_t i = 0; i < s.chunks.size() && !t.Stopping(); ++i) {
            auto bytes = std::make_shared<std::vector<uint8_t>>();
            std::string data;
            if (m_reader->ReadChunk(s.chunks[i], &data) && !data.empty()) {
                bytes->assign(data.begin(), data.end());
                Frame f;
                f.data = bytes;
                f.width = mt.Width();
                f.height = mt.Height();
                f.subtype = mt.subtype;
                f.index = i;
                out->Deliver(f);
            }
            if (!t.WaitForNextFrame(period))
                break;
        }
    }

    std::shared_ptr<AviFileReader> m_reader;
    std::vector<std::pair<Pin*, size_t>> m_streamOfPin;
    StreamThread m_thread;
};

}  // namespace

IBaseFilter* CreateAviSourceFilter(const std::wstring& windowsPath, HRESULT* hr)
{
    *hr = S_OK;
    auto reader = AviFileReader::Open(windowsPath, hr);
    if (!reader) {
        *hr = *hr == AVIERR_FILEOPEN ? VFW_E_NOT_FOUND : VFW_E_UNKNOWN_FILE_TYPE;
        return nullptr;
    }
    return new AviSource(reader);
}

}  // namespace quiva::media
