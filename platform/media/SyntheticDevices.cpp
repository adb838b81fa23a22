#include "platform/media/SyntheticDevices.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/media/CaptureFilter.h"
#include "platform/media/Devices.h"
#include "platform/media/FilterBase.h"

namespace quiva::media {

// --- configuration ----------------------------------------------------------------------------

namespace {

std::vector<std::string> Tokens(const std::string& line, bool* ok)
{
    std::vector<std::string> out;
    *ok = true;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        if (i >= line.size() || line[i] == '#')
            break;
        std::string tok;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos) {
                *ok = false;
                return out;
            }
            tok = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
                tok += line[i++];
        }
        out.push_back(tok);
    }
    return out;
}

struct NamedClass {
    const char* name;
    const CLSID* clsid;
};
const NamedClass kClasses[] = {
    {"FilterGraph", &CLSID_FilterGraph},
    {"CaptureGraphBuilder2", &CLSID_CaptureGraphBuilder2},
    {"SystemDeviceEnum", &CLSID_SystemDeviceEnum},
    {"AVIDec", &CLSID_AVIDec},
    {"Colour", &CLSID_Colour},
    {"DMOWrapperFilter", &CLSID_DMOWrapperFilter},
    {"VideoMixingRenderer9", &CLSID_VideoMixingRenderer9},
    {"VideoMixingRenderer", &CLSID_VideoMixingRenderer},
    {"EnhancedVideoRenderer", &CLSID_EnhancedVideoRenderer},
    {"DVDNavigator", &CLSID_DVDNavigator},
    {"DSoundRender", &CLSID_DSoundRender},
};

bool SubtypeByName(const std::string& name, GUID* g)
{
    static const struct {
        const char* name;
        const GUID* guid;
    } names[] = {{"RGB32", &MEDIASUBTYPE_RGB32}, {"RGB24", &MEDIASUBTYPE_RGB24}, {"YUY2", &MEDIASUBTYPE_YUY2},
                 {"UYVY", &MEDIASUBTYPE_UYVY},   {"MJPG", &MEDIASUBTYPE_MJPG},   {"NV12", &MEDIASUBTYPE_NV12}};
    for (const auto& n : names)
        if (name == n.name) {
            *g = *n.guid;
            return true;
        }
    return false;
}

}  // namespace

bool ParseSyntheticConfig(const std::string& text, SyntheticConfig* config, std::string* error)
{
    SyntheticConfig c;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(lineNo) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++lineNo;
        bool ok;
        std::vector<std::string> t = Tokens(line, &ok);
        if (!ok)
            return fail("unterminated quote");
        if (t.empty())
            continue;
        const std::string& kind = t[0];
        if (kind == "fail") {
            if (t.size() != 2)
                return fail("fail takes one class");
            CLSID clsid{};
            bool found = false;
            for (const NamedClass& n : kClasses)
                if (t[1] == n.name) {
                    clsid = *n.clsid;
                    found = true;
                }
            if (!found && !GuidFromString(Utf8ToWide(t[1]), &clsid))
                return fail("unknown class " + t[1]);
            c.failingClasses.push_back(clsid);
            continue;
        }
        if (kind == "fault") {
            if (t.size() != 2)
                return fail("fault takes one switch");
            const std::string& f = t[1];
            if (f == "renderer_no_windowless")
                c.faults.rendererNoWindowless = true;
            else if (f == "renderer_mode_refused")
                c.faults.rendererModeRefused = true;
            else if (f == "colour_no_store")
                c.faults.colourNoStore = true;
            else if (f == "dvd_no_disc")
                c.faults.dvdNoDisc = true;
            else if (f.rfind("colour_max_width=", 0) == 0)
                c.faults.colourMaxWidth = std::atoi(f.c_str() + 17);
            else if (f.rfind("colour_refuses=", 0) == 0) {
                std::istringstream list(f.substr(15));
                std::string name;
                while (std::getline(list, name, ',')) {
                    GUID g;
                    if (!SubtypeByName(name, &g))
                        return fail("unknown subtype " + name);
                    c.faults.colourRefusedSubtypes.push_back(g);
                }
            } else
                return fail("unknown fault " + f);
            continue;
        }
        SyntheticDevice d;
        size_t first = 2;
        if (kind == "card")
            d.kind = SyntheticDevice::Card;
        else if (kind == "camera")
            d.kind = SyntheticDevice::Camera;
        else if (kind == "unpaired")
            d.kind = SyntheticDevice::Unpaired;
        else if (kind == "crossbar")
            d.kind = SyntheticDevice::CrossbarOnly;
        else if (kind == "nameless") {
            d.kind = SyntheticDevice::Nameless;
            first = 1;
        } else
            return fail("unknown entry " + kind);
        if (first == 2) {
            if (t.size() < 2 || t[1].empty())
                return fail(kind + " needs a name");
            d.name = Utf8ToWide(t[1]);
        }
        for (size_t i = first; i < t.size(); ++i) {
            const std::string& o = t[i];
            if (o == "fail_create")
                d.failCreate = true;
            else if (o == "setformat_refused")
                d.setFormatRefused = true;
            else if (o == "no_stream_config")
                d.noStreamConfig = true;
            else if (o == "no_frames")
                d.noFrames = true;
            else if (o == "route_fails")
                d.routeFails = true;
            else if (o.rfind("late_first_frame=", 0) == 0)
                d.firstFrameDelayMs = std::atoi(o.c_str() + 17);
            else
                return fail("unknown option " + o);
        }
        c.devices.push_back(d);
    }
    *config = std::move(c);
    return true;
}

namespace {

struct ConfigCache {
    std::mutex mutex;
    std::optional<std::string> override;
    std::string path;
    time_t mtime = 0;
    off_t size = -1;
    bool loaded = false;
    SyntheticConfig config;
};

ConfigCache& Cache()
{
    static ConfigCache c;
    return c;
}

}  // namespace

void SetSyntheticConfig(const std::optional<std::string>& text)
{
    ConfigCache& c = Cache();
    std::lock_guard lock(c.mutex);
    c.override = text;
    c.loaded = false;
}

SyntheticConfig CurrentSyntheticConfig()
{
    ConfigCache& c = Cache();
    std::lock_guard lock(c.mutex);
    if (c.override) {
        if (!c.loaded) {
            SyntheticConfig parsed;
            if (!ParseSyntheticConfig(*c.override, &parsed, nullptr))
                parsed = SyntheticConfig();
            c.config = parsed;
            c.loaded = true;
            c.path.clear();
        }
        return c.config;
    }
    const char* env = std::getenv("QUIVA_DEVICES");
    std::string path = env ? env : "";
    struct stat st{};
    const bool exists = !path.empty() && ::stat(path.c_str(), &st) == 0;
    if (c.loaded && path == c.path && (!exists || (st.st_mtime == c.mtime && st.st_size == c.size)))
        return c.config;
    SyntheticConfig parsed;
    if (exists) {
        std::string bytes;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof(buf), f)) > 0)
                bytes.append(buf, n);
            std::fclose(f);
        }
        std::string error;
        if (!ParseSyntheticConfig(bytes, &parsed, &error)) {
            OutputDebugStringA(("QUIVA_DEVICES: " + error + "\n").c_str());
            parsed = SyntheticConfig();
        }
    }
    c.path = path;
    c.mtime = exists ? st.st_mtime : 0;
    c.size = exists ? st.st_size : -1;
    c.loaded = true;
    c.config = parsed;
    return parsed;
}

MediaFaults CurrentFaults() { return CurrentSyntheticConfig().faults; }

bool ConfigSaysClassFails(REFCLSID clsid)
{
    for (const CLSID& c : CurrentSyntheticConfig().failingClasses)
        if (c == clsid)
            return true;
    return false;
}

// --- the picture ----------------------------------------------------------------------------

namespace {
constexpr int kBlock = 8;  // stamp bits are 8x8 blocks: they survive YUV, JPEG and Video 1
constexpr int kBitsPerBand = 40;
const uint32_t kBars[8] = {0xC0C0C0, 0xC0C000, 0x00C0C0, 0x00C000, 0xC000C0, 0xC00000, 0x0000C0, 0x101010};

// Band layout: 0 counter (32) + input (8); 1..3 label, 5 bytes each; 4 fps (8) + fourcc (32).
void PutBits(std::vector<bool>& bits, uint64_t value, int count)
{
    for (int i = count - 1; i >= 0; --i)
        bits.push_back((value >> i) & 1);
}
}  // namespace

uint32_t SyntheticBarColour(int x, int width)
{
    int i = width > 0 ? x * 8 / width : 0;
    return kBars[i < 0 ? 0 : i > 7 ? 7 : i];
}

void DrawSyntheticPicture(uint32_t* rgb, int w, int h, const FrameStamp& s)
{
    // Rows are bottom-up: row h-1 is the top of the picture.
    for (int y = 0; y < h; ++y) {
        uint32_t* row = rgb + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x)
            row[x] = 0xFF000000u | SyntheticBarColour(x, w);
    }
    std::vector<bool> bits;
    PutBits(bits, s.counter, 32);
    PutBits(bits, static_cast<uint8_t>(s.input), 8);
    std::string label = s.label.substr(0, 15);
    label.resize(15, '\0');
    for (char ch : label)
        PutBits(bits, static_cast<uint8_t>(ch), 8);
    PutBits(bits, static_cast<uint8_t>(s.fps), 8);
    PutBits(bits, s.fourcc, 32);
    for (size_t i = 0; i < bits.size(); ++i) {
        const int band = static_cast<int>(i) / kBitsPerBand;
        const int col = static_cast<int>(i) % kBitsPerBand;
        const uint32_t colour = bits[i] ? 0xFFFFFFFFu : 0xFF000000u;
        for (int dy = 0; dy < kBlock; ++dy) {
            const int y = band * kBlock + dy;
            if (y >= h)
                break;
            uint32_t* row = rgb + static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w);
            for (int dx = 0; dx < kBlock && col * kBlock + dx < w; ++dx)
                row[col * kBlock + dx] = colour;
        }
    }
}

bool ReadFrameStamp(const uint8_t* rgb, int w, int h, FrameStamp* s)
{
    if (!rgb || !s || w < kBitsPerBand * kBlock || h < kStampRows + kBlock)
        return false;
    size_t pos = 0;
    auto bit = [&]() {
        const int band = static_cast<int>(pos) / kBitsPerBand;
        const int col = static_cast<int>(pos) % kBitsPerBand;
        ++pos;
        const int y = band * kBlock + kBlock / 2;
        const int x = col * kBlock + kBlock / 2;
        const uint8_t* p = rgb + (static_cast<size_t>(h - 1 - y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4;
        return (p[0] + 2 * p[1] + p[2]) / 4 >= 128;
    };
    auto take = [&](int count) {
        uint64_t v = 0;
        for (int i = 0; i < count; ++i)
            v = (v << 1) | (bit() ? 1 : 0);
        return v;
    };
    FrameStamp r;
    r.counter = static_cast<uint32_t>(take(32));
    r.input = static_cast<int8_t>(take(8));
    for (int i = 0; i < 15; ++i) {
        char ch = static_cast<char>(take(8));
        if (ch)
            r.label += ch;
    }
    r.fps = static_cast<int>(take(8));
    r.fourcc = static_cast<DWORD>(take(32));
    *s = r;
    return true;
}

// --- filters --------------------------------------------------------------------------------

namespace {

struct CrossbarInput {
    const wchar_t* pinName;
    const char* label;
    LONG type;
    LONG related;
};
const CrossbarInput kCardInputs[] = {
    {L"0: Video Tuner In", "Tuner", PhysConn_Video_Tuner, -1},
    {L"1: Video Composite In", "Composite", PhysConn_Video_Composite, 7},
    {L"2: Video SVideo In", "S-Video", PhysConn_Video_SVideo, -1},
    {L"3: Video Composite In", "Composite 2", PhysConn_Video_Composite, -1},
    {L"4: Video YRYBY In", "Component", PhysConn_Video_YRYBY, -1},
    {L"5: Video SerialDigital In", "HDMI", PhysConn_Video_SerialDigital, -1},
    {L"6: Video RGB In", "RGB", PhysConn_Video_RGB, -1},
    {L"7: Audio Line In", "Audio Line", PhysConn_Audio_Line, 1},
};
constexpr LONG kInputCount = 8;

class SyntheticCrossbar final : public Filter, public IAMCrossbar {
public:
    SyntheticCrossbar(int cardId, std::wstring moniker, bool routeFails)
        : Filter(CLSID_QuivaDeviceFilter), m_cardId(cardId), m_moniker(std::move(moniker)), m_routeFails(routeFails)
    {
        for (const CrossbarInput& in : kCardInputs)
            AddPin(in.pinName, PINDIR_INPUT);
        m_videoOut = AddPin(L"Video Decoder Out", PINDIR_OUTPUT);
        m_audioOut = AddPin(L"Audio Decoder Out", PINDIR_OUTPUT);
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
    HRESULT QueryExtra(REFIID riid, void** ppv) override
    {
        if (riid == IID_IAMCrossbar) {
            *ppv = static_cast<IAMCrossbar*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }

    std::vector<MediaType> OutputTypes(Pin* out) override
    {
        if (out == m_videoOut)
            return {MakeAnalogVideoType()};
        MediaType mt;
        mt.majortype = MEDIATYPE_AnalogAudio;
        mt.formattype = FORMAT_None;
        return {mt};
    }

    HRESULT get_PinCounts(LONG* outputs, LONG* inputs) override
    {
        if (!outputs || !inputs)
            return E_POINTER;
        *outputs = 2;
        *inputs = kInputCount;
        return S_OK;
    }
    HRESULT CanRoute(LONG output, LONG input) override
    {
        if (output < 0 || output > 1 || input < 0 || input >= kInputCount)
            return E_INVALIDARG;
        const bool audioIn = kCardInputs[input].type >= 0x1000;
        return (output == 1) == audioIn ? S_OK : S_FALSE;
    }
    HRESULT Route(LONG output, LONG input) override
    {
        HRESULT hr = CanRoute(output, input);
        if (hr != S_OK)
            return hr == S_FALSE ? VFW_E_CANNOT_CONNECT : hr;
        if (m_routeFails)
            return E_FAIL;
        std::lock_guard lock(m_routeLock);
        m_routes[output] = input;
        return S_OK;
    }
    HRESULT get_IsRoutedTo(LONG output, LONG* input) override
    {
        if (!input)
            return E_POINTER;
        if (output < 0 || output > 1)
            return E_INVALIDARG;
        std::lock_guard lock(m_routeLock);
        *input = m_routes[output];
        return S_OK;
    }
    HRESULT get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override
    {
        if (!related || !type)
            return E_POINTER;
        if (isInput) {
            if (index < 0 || index >= kInputCount)
                return E_INVALIDARG;
            *related = kCardInputs[index].related;
            *type = kCardInputs[index].type;
        } else {
            if (index < 0 || index > 1)
                return E_INVALIDARG;
            *related = index == 0 ? 1 : 0;
            *type = index == 0 ? PhysConn_Video_VideoDecoder : PhysConn_Audio_AudioDecoder;
        }
        return S_OK;
    }

    // The input routed to the video output and its label.
    int RoutedVideoInput(std::string* label)
    {
        std::lock_guard lock(m_routeLock);
        int in = m_routes[0];
        if (label)
            *label = in >= 0 && in < kInputCount ? kCardInputs[in].label : "";
        return in;
    }
    int CardId() const { return m_cardId; }
    bool IsVideoOut(Pin* p) const { return p == m_videoOut; }

    std::wstring MonikerName() const override { return m_moniker; }
    std::string SaveState() const override
    {
        std::lock_guard lock(m_routeLock);
        return std::to_string(m_routes[0]) + " " + std::to_string(m_routes[1]);
    }
    bool LoadState(const std::string& s) override
    {
        std::istringstream in(s);
        LONG v = -1, a = -1;
        if (!(in >> v >> a))
            return false;
        std::lock_guard lock(m_routeLock);
        m_routes[0] = v;
        m_routes[1] = a;
        return true;
    }

private:
    int m_cardId;
    std::wstring m_moniker;
    bool m_routeFails;
    Pin* m_videoOut;
    Pin* m_audioOut;
    mutable std::mutex m_routeLock;
    LONG m_routes[2] = {1, 7};
};

struct FormatSpec {
    const GUID* subtype;
    int width, height, fps;
    bool vih2;
};

class SyntheticCapture final : public CaptureFilter {
public:
    SyntheticCapture(const SyntheticDevice& device, int cardId, std::wstring moniker, std::vector<FormatSpec> formats)
        : CaptureFilter(CLSID_QuivaDeviceFilter), m_device(device), m_cardId(cardId), m_moniker(std::move(moniker))
    {
        for (const FormatSpec& f : formats)
            m_caps.push_back(MakeVideoType(*f.subtype, f.width, f.height, 10000000LL / f.fps, f.vih2));
        m_keepAskedHeader = true;
        if (device.kind == SyntheticDevice::Card || device.kind == SyntheticDevice::Unpaired)
            m_analogIn = AddPin(L"Analog Video In", PINDIR_INPUT);
        m_out = AddPin(L"Capture", PINDIR_OUTPUT);
    }
    ~SyntheticCapture() override { m_thread.Stop(); }

    HRESULT CheckInputType(Pin* in, const MediaType& mt, Pin* from) override
    {
        if (in != m_analogIn || mt.majortype != MEDIATYPE_AnalogVideo)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (m_device.kind == SyntheticDevice::Unpaired)
            return VFW_E_CANNOT_CONNECT;
        if (from) {
            auto* xbar = dynamic_cast<SyntheticCrossbar*>(from->Owner());
            if (!xbar || xbar->CardId() != m_cardId || !xbar->IsVideoOut(from))
                return VFW_E_CANNOT_CONNECT;
        }
        return S_OK;
    }

    HRESULT OnRun() override
    {
        if (!m_out->IsConnected())
            return S_OK;
        const MediaType mt = m_out->Type();
        const int fps = mt.AvgTimePerFrame() > 0 ? static_cast<int>(10000000LL / mt.AvgTimePerFrame()) : 30;
        m_thread.Start([this, mt, fps](StreamThread& t) { Stream(t, mt, fps); });
        return S_OK;
    }
    void OnStop() override { m_thread.Stop(); }

    std::wstring MonikerName() const override { return m_moniker; }

protected:
    bool OffersStreamConfig() const override { return !m_device.noStreamConfig; }
    HRESULT DeviceAcceptsFormat() const override { return m_device.setFormatRefused ? E_FAIL : S_OK; }

private:
    void Stream(StreamThread& t, const MediaType& mt, int fps)
    {
        if (m_device.noFrames)
            return;
        if (m_device.firstFrameDelayMs > 0 && !t.WaitFor(m_device.firstFrameDelayMs))
            return;
        const int w = mt.Width();
        const int h = mt.Height();
        const REFERENCE_TIME period = mt.AvgTimePerFrame() > 0 ? mt.AvgTimePerFrame() : 10000000 / 30;
        std::vector<uint32_t> picture(static_cast<size_t>(w) * static_cast<size_t>(h));
        for (uint32_t counter = 0; !t.Stopping(); ++counter) {
            FrameStamp stamp;
            stamp.counter = counter;
            stamp.fps = fps;
            stamp.fourcc = mt.subtype.Data1;
            if (m_device.kind == SyntheticDevice::Camera) {
                stamp.input = 0;
                stamp.label = "Camera";
            } else {
                Pin* peer = m_analogIn ? m_analogIn->Peer() : nullptr;
                auto* xbar = peer ? dynamic_cast<SyntheticCrossbar*>(peer->Owner()) : nullptr;
                stamp.input = xbar ? xbar->RoutedVideoInput(&stamp.label) : -1;
                if (!xbar)
                    stamp.label = "No Input";
            }
            DrawSyntheticPicture(picture.data(), w, h, stamp);
            auto bytes = std::make_shared<std::vector<uint8_t>>();
            if (ConvertFromRgb32(reinterpret_cast<const uint8_t*>(picture.data()), w, h, mt.subtype, bytes.get())) {
                Frame f;
                f.data = bytes;
                f.width = w;
                f.height = h;
                f.subtype = mt.subtype;
                f.index = counter;
                m_out->Deliver(f);
            }
            if (!t.WaitForNextFrame(period))
                break;
        }
    }

    SyntheticDevice m_device;
    int m_cardId;
    std::wstring m_moniker;
    Pin* m_analogIn = nullptr;
    StreamThread m_thread;
};

std::vector<FormatSpec> CardFormats()
{
    return {
        {&MEDIASUBTYPE_YUY2, 640, 480, 30, false}, {&MEDIASUBTYPE_YUY2, 640, 480, 15, false},
        {&MEDIASUBTYPE_MJPG, 1280, 720, 30, false}, {&MEDIASUBTYPE_UYVY, 320, 240, 30, false},
        {&MEDIASUBTYPE_UYVY, 320, 240, 30, true},  {&MEDIASUBTYPE_NV12, 640, 480, 30, false},
    };
}

std::vector<FormatSpec> CameraFormats()
{
    return {{&MEDIASUBTYPE_RGB24, 320, 240, 10, false}, {&MEDIASUBTYPE_RGB24, 640, 480, 15, false}};
}

class SyntheticProvider final : public DeviceProvider {
public:
    void Enumerate(REFGUID category, std::vector<DeviceEntry>& out) override
    {
        const SyntheticConfig config = CurrentSyntheticConfig();
        for (size_t i = 0; i < config.devices.size(); ++i) {
            const SyntheticDevice d = config.devices[i];
            const int id = static_cast<int>(i);
            const std::wstring prefix = L"@synth:" + std::to_wstring(i) + L"/";
            if (category == AM_KSCATEGORY_CROSSBAR && (d.kind == SyntheticDevice::Card || d.kind == SyntheticDevice::CrossbarOnly)) {
                DeviceEntry e;
                e.moniker = prefix + L"crossbar";
                e.friendlyName = d.kind == SyntheticDevice::Card ? d.name + L" Crossbar" : d.name;
                e.create = [d, id, m = e.moniker]() -> IBaseFilter* {
                    if (d.failCreate)
                        return nullptr;
                    return new SyntheticCrossbar(id, m, d.routeFails);
                };
                out.push_back(e);
            }
            if (category == CLSID_VideoInputDeviceCategory && d.kind != SyntheticDevice::CrossbarOnly) {
                DeviceEntry e;
                e.moniker = prefix + L"capture";
                e.friendlyName = d.kind == SyntheticDevice::Card ? d.name + L" Capture" : d.name;
                e.hasFriendlyName = d.kind != SyntheticDevice::Nameless;
                e.create = [d, id, m = e.moniker]() -> IBaseFilter* {
                    if (d.failCreate)
                        return nullptr;
                    return new SyntheticCapture(d, id, m, d.kind == SyntheticDevice::Camera ? CameraFormats() : CardFormats());
                };
                out.push_back(e);
            }
        }
    }
};

}  // namespace

std::shared_ptr<DeviceProvider> MakeSyntheticProvider() { return std::make_shared<SyntheticProvider>(); }

}  // namespace quiva::media
