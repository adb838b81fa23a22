#include <fcntl.h>
#include <glob.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/media/CaptureFilter.h"
#include "platform/media/Devices.h"
#include "platform/media/FilterBase.h"
#include "platform/media/V4l2.h"

namespace quiva::media {

namespace {

class SystemIo final : public V4l2Io {
public:
    std::vector<std::string> ListDevices() override
    {
        std::vector<std::string> out;
        glob_t g{};
        if (::glob("/dev/video*", 0, nullptr, &g) == 0)
            for (size_t i = 0; i < g.gl_pathc; ++i)
                out.push_back(g.gl_pathv[i]);
        ::globfree(&g);
        std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
            return std::atoi(a.c_str() + 10) < std::atoi(b.c_str() + 10);
        });
        return out;
    }
    int Open(const std::string& path) override { return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }
    void Close(int fd) override { ::close(fd); }
    int Ioctl(int fd, unsigned long request, void* arg) override
    {
        int r;
        do
            r = ::ioctl(fd, request, arg);
        while (r < 0 && errno == EINTR);
        return r;
    }
    void* Map(int fd, size_t length, off_t offset) override
    {
        void* p = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        return p == MAP_FAILED ? nullptr : p;
    }
    void Unmap(void* address, size_t length) override { ::munmap(address, length); }
    int Poll(int fd, int timeoutMs) override
    {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, timeoutMs);
    }
};

std::mutex g_ioLock;
std::shared_ptr<V4l2Io> g_io;

std::shared_ptr<V4l2Io> CurrentIo()
{
    std::lock_guard lock(g_ioLock);
    if (!g_io)
        g_io = std::make_shared<SystemIo>();
    return g_io;
}

std::string Text(const uint8_t* s, size_t n)
{
    size_t len = 0;
    while (len < n && s[len])
        ++len;
    return std::string(reinterpret_cast<const char*>(s), len);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Sizes a stepwise range stands for: the common ones that fit it.
std::vector<std::pair<int, int>> RepresentativeSizes(const v4l2_frmsize_stepwise& s)
{
    static const int common[][2] = {{320, 240}, {640, 480}, {800, 600}, {1280, 720}, {1920, 1080}};
    std::vector<std::pair<int, int>> out;
    for (const auto& c : common) {
        const auto w = static_cast<uint32_t>(c[0]), h = static_cast<uint32_t>(c[1]);
        if (w < s.min_width || w > s.max_width || h < s.min_height || h > s.max_height)
            continue;
        if ((s.step_width && (w - s.min_width) % s.step_width) || (s.step_height && (h - s.min_height) % s.step_height))
            continue;
        out.emplace_back(c[0], c[1]);
    }
    if (out.empty())
        out.emplace_back(static_cast<int>(s.max_width), static_cast<int>(s.max_height));
    return out;
}

REFERENCE_TIME FrameTime(const v4l2_fract& f) { return f.denominator ? 10000000LL * f.numerator / f.denominator : 0; }

}  // namespace

std::shared_ptr<V4l2Io> SystemV4l2Io() { return std::make_shared<SystemIo>(); }

void SetV4l2Io(std::shared_ptr<V4l2Io> io)
{
    std::lock_guard lock(g_ioLock);
    g_io = std::move(io);
}

LONG PhysicalTypeOfInput(const std::string& name, uint32_t type)
{
    if (type == V4L2_INPUT_TYPE_TUNER)
        return PhysConn_Video_Tuner;
    const std::string n = Lower(name);
    if (n.find("s-video") != std::string::npos || n.find("svideo") != std::string::npos || n.find("s video") != std::string::npos)
        return PhysConn_Video_SVideo;
    if (n.find("component") != std::string::npos || n.find("ypbpr") != std::string::npos)
        return PhysConn_Video_YRYBY;
    if (n.find("hdmi") != std::string::npos || n.find("sdi") != std::string::npos || n.find("dvi") != std::string::npos)
        return PhysConn_Video_SerialDigital;
    if (n.find("rgb") != std::string::npos || n.find("vga") != std::string::npos)
        return PhysConn_Video_RGB;
    return PhysConn_Video_Composite;  // composite, camera and anything unnamed
}

GUID SubtypeOfPixelFormat(uint32_t pf)
{
    switch (pf) {
    case V4L2_PIX_FMT_YUYV:
        return MEDIASUBTYPE_YUY2;
    case V4L2_PIX_FMT_UYVY:
        return MEDIASUBTYPE_UYVY;
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG:
        return MEDIASUBTYPE_MJPG;
    case V4L2_PIX_FMT_BGR24:
        return MEDIASUBTYPE_RGB24;
    default: {
        GUID g = MEDIASUBTYPE_YUY2;
        g.Data1 = pf;
        return g;
    }
    }
}

bool ProbeV4l2Device(V4l2Io& io, const std::string& path, V4l2DeviceInfo* info)
{
    const int fd = io.Open(path);
    if (fd < 0)
        return false;
    v4l2_capability cap{};
    bool ok = io.Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    ok = ok && (caps & V4L2_CAP_VIDEO_CAPTURE) && (caps & V4L2_CAP_STREAMING);
    if (ok) {
        V4l2DeviceInfo d;
        d.path = path;
        d.card = Text(cap.card, sizeof(cap.card));
        d.busInfo = Text(cap.bus_info, sizeof(cap.bus_info));
        for (uint32_t i = 0; i < 64; ++i) {
            v4l2_input in{};
            in.index = i;
            if (io.Ioctl(fd, VIDIOC_ENUMINPUT, &in) != 0)
                break;
            V4l2Input x;
            x.name = Text(in.name, sizeof(in.name));
            x.type = in.type;
            x.physicalType = PhysicalTypeOfInput(x.name, in.type);
            d.inputs.push_back(x);
        }
        d.hasCrossbar = d.inputs.size() > 1 ||
                        (d.inputs.size() == 1 && d.inputs[0].type != V4L2_INPUT_TYPE_CAMERA);
        for (uint32_t f = 0; f < 64; ++f) {
            v4l2_fmtdesc desc{};
            desc.index = f;
            desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (io.Ioctl(fd, VIDIOC_ENUM_FMT, &desc) != 0)
                break;
            // A format no filter here can show is not offered: its preview would stay black.
            if (!CanDecode(SubtypeOfPixelFormat(desc.pixelformat)))
                continue;
            std::vector<std::pair<int, int>> sizes;
            for (uint32_t s = 0; s < 64; ++s) {
                v4l2_frmsizeenum size{};
                size.index = s;
                size.pixel_format = desc.pixelformat;
                if (io.Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) != 0)
                    break;
                if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
                    sizes.emplace_back(static_cast<int>(size.discrete.width), static_cast<int>(size.discrete.height));
                } else {
                    sizes = RepresentativeSizes(size.stepwise);
                    break;
                }
            }
            for (const auto& [w, h] : sizes) {
                std::vector<REFERENCE_TIME> times;
                for (uint32_t k = 0; k < 32; ++k) {
                    v4l2_frmivalenum iv{};
                    iv.index = k;
                    iv.pixel_format = desc.pixelformat;
                    iv.width = static_cast<uint32_t>(w);
                    iv.height = static_cast<uint32_t>(h);
                    if (io.Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &iv) != 0)
                        break;
                    if (iv.type == V4L2_FRMIVAL_TYPE_DISCRETE) {
                        times.push_back(FrameTime(iv.discrete));
                    } else {
                        times.push_back(FrameTime(iv.stepwise.min));  // the fastest the range allows
                        break;
                    }
                }
                if (times.empty())
                    times.push_back(333333);
                for (REFERENCE_TIME t : times)
                    d.formats.push_back({SubtypeOfPixelFormat(desc.pixelformat), desc.pixelformat, w, h, t});
            }
        }
        *info = d;
    }
    io.Close(fd);
    return ok;
}

namespace {

class V4l2Crossbar final : public Filter, public IAMCrossbar {
public:
    explicit V4l2Crossbar(V4l2DeviceInfo info) : Filter(CLSID_QuivaDeviceFilter), m_info(std::move(info))
    {
        for (size_t i = 0; i < m_info.inputs.size(); ++i)
            AddPin(std::to_wstring(i) + L": " + Utf8ToWide(m_info.inputs[i].name), PINDIR_INPUT);
        m_out = AddPin(L"Video Decoder Out", PINDIR_OUTPUT);
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override { return Filter::QueryInterface(riid, ppv); }
    ULONG AddRef() override { return AddRefImpl(); }
    ULONG Release() override { return ReleaseImpl(); }
    HRESULT QueryExtra(REFIID riid, void** ppv) override
    {
        if (riid != IID_IAMCrossbar)
            return E_NOINTERFACE;
        *ppv = static_cast<IAMCrossbar*>(this);
        AddRef();
        return S_OK;
    }
    std::vector<MediaType> OutputTypes(Pin*) override { return {MakeAnalogVideoType()}; }

    HRESULT get_PinCounts(LONG* outputs, LONG* inputs) override
    {
        if (!outputs || !inputs)
            return E_POINTER;
        *outputs = 1;
        *inputs = static_cast<LONG>(m_info.inputs.size());
        return S_OK;
    }
    HRESULT CanRoute(LONG output, LONG input) override
    {
        return output == 0 && input >= 0 && input < static_cast<LONG>(m_info.inputs.size()) ? S_OK : E_INVALIDARG;
    }
    // The input is selected on the device when streaming starts.
    HRESULT Route(LONG output, LONG input) override
    {
        HRESULT hr = CanRoute(output, input);
        if (hr == S_OK)
            m_routed.store(input);
        return hr;
    }
    HRESULT get_IsRoutedTo(LONG output, LONG* input) override
    {
        if (!input)
            return E_POINTER;
        if (output != 0)
            return E_INVALIDARG;
        *input = m_routed.load();
        return S_OK;
    }
    HRESULT get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* type) override
    {
        if (!related || !type)
            return E_POINTER;
        *related = -1;
        if (isInput) {
            if (index < 0 || index >= static_cast<LONG>(m_info.inputs.size()))
                return E_INVALIDARG;
            *type = m_info.inputs[static_cast<size_t>(index)].physicalType;
            return S_OK;
        }
        if (index != 0)
            return E_INVALIDARG;
        *type = PhysConn_Video_VideoDecoder;
        return S_OK;
    }
    std::wstring MonikerName() const override { return Utf8ToWide("@v4l2:" + m_info.path + "|" + m_info.busInfo + "/crossbar"); }
    std::string SaveState() const override { return std::to_string(m_routed.load()); }
    bool LoadState(const std::string& s) override
    {
        if (!s.empty())
            m_routed.store(std::atoi(s.c_str()));
        return true;
    }
    const V4l2DeviceInfo& Info() const { return m_info; }
    int Routed() const { return m_routed.load(); }

private:
    V4l2DeviceInfo m_info;
    Pin* m_out;
    std::atomic<int> m_routed{0};
};

class V4l2Capture final : public CaptureFilter {
public:
    explicit V4l2Capture(V4l2DeviceInfo info) : CaptureFilter(CLSID_QuivaDeviceFilter), m_info(std::move(info))
    {
        for (const V4l2Format& f : m_info.formats)
            m_caps.push_back(MakeVideoType(f.subtype, f.width, f.height, f.avgTimePerFrame));
        if (m_info.hasCrossbar)
            m_analogIn = AddPin(L"Analog Video In", PINDIR_INPUT);
        m_out = AddPin(L"Capture", PINDIR_OUTPUT);
    }
    ~V4l2Capture() override { m_thread.Stop(); }

    HRESULT CheckInputType(Pin* in, const MediaType& mt, Pin* from) override
    {
        if (in != m_analogIn || mt.majortype != MEDIATYPE_AnalogVideo)
            return VFW_E_TYPE_NOT_ACCEPTED;
        if (from) {
            auto* xbar = dynamic_cast<V4l2Crossbar*>(from->Owner());
            if (!xbar || xbar->Info().path != m_info.path)
                return VFW_E_CANNOT_CONNECT;
        }
        return S_OK;
    }

    HRESULT OnRun() override
    {
        if (!m_out->IsConnected())
            return S_OK;
        const MediaType mt = m_out->Type();
        int input = 0;
        if (Pin* peer = m_analogIn ? m_analogIn->Peer() : nullptr)
            if (auto* xbar = dynamic_cast<V4l2Crossbar*>(peer->Owner()))
                input = xbar->Routed();
        HRESULT hr = StartDevice(mt, input);
        if (FAILED(hr))
            return hr;
        m_thread.Start([this, mt](StreamThread& t) { Stream(t, mt); });
        return S_OK;
    }
    void OnStop() override
    {
        m_thread.Stop();
        StopDevice();
    }

    std::wstring MonikerName() const override { return Utf8ToWide("@v4l2:" + m_info.path + "|" + m_info.busInfo + "/capture"); }

private:
    struct Buffer {
        void* address;
        size_t length;
    };

    HRESULT StartDevice(const MediaType& mt, int input)
    {
        m_io = CurrentIo();
        m_fd = m_io->Open(m_info.path);
        if (m_fd < 0)
            return VFW_E_NO_CAPTURE_HARDWARE;
        uint32_t pixelFormat = 0;
        for (const V4l2Format& f : m_info.formats)
            if (f.subtype == mt.subtype && f.width == mt.Width() && f.height == mt.Height())
                pixelFormat = f.pixelFormat;
        auto fail = [&](HRESULT hr) {
            StopDevice();
            return hr;
        };
        if (!m_info.inputs.empty()) {
            int index = input;
            if (m_io->Ioctl(m_fd, VIDIOC_S_INPUT, &index) != 0)
                return fail(VFW_E_NO_CAPTURE_HARDWARE);
        }
        v4l2_format fmt{};
        fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        fmt.fmt.pix.pixelformat = pixelFormat;
        fmt.fmt.pix.width = static_cast<uint32_t>(mt.Width());
        fmt.fmt.pix.height = static_cast<uint32_t>(mt.Height());
        fmt.fmt.pix.field = V4L2_FIELD_ANY;
        if (m_io->Ioctl(m_fd, VIDIOC_S_FMT, &fmt) != 0 || fmt.fmt.pix.pixelformat != pixelFormat ||
            static_cast<int>(fmt.fmt.pix.width) != mt.Width() || static_cast<int>(fmt.fmt.pix.height) != mt.Height())
            return fail(VFW_E_NO_CAPTURE_HARDWARE);  // busy, or the device changed its mind
        m_bytesPerLine = fmt.fmt.pix.bytesperline;
        if (mt.AvgTimePerFrame() > 0) {
            v4l2_streamparm parm{};
            parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            parm.parm.capture.timeperframe.numerator = static_cast<uint32_t>(mt.AvgTimePerFrame());
            parm.parm.capture.timeperframe.denominator = 10000000;
            m_io->Ioctl(m_fd, VIDIOC_S_PARM, &parm);  // a device may keep its own rate
        }
        v4l2_requestbuffers req{};
        req.count = 4;
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        if (m_io->Ioctl(m_fd, VIDIOC_REQBUFS, &req) != 0 || req.count == 0)
            return fail(VFW_E_NO_CAPTURE_HARDWARE);
        for (uint32_t i = 0; i < req.count; ++i) {
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            buf.index = i;
            if (m_io->Ioctl(m_fd, VIDIOC_QUERYBUF, &buf) != 0)
                return fail(VFW_E_NO_CAPTURE_HARDWARE);
            void* p = m_io->Map(m_fd, buf.length, static_cast<off_t>(buf.m.offset));
            if (!p)
                return fail(E_OUTOFMEMORY);
            m_buffers.push_back({p, buf.length});
            if (m_io->Ioctl(m_fd, VIDIOC_QBUF, &buf) != 0)
                return fail(VFW_E_NO_CAPTURE_HARDWARE);
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        if (m_io->Ioctl(m_fd, VIDIOC_STREAMON, &type) != 0)
            return fail(VFW_E_NO_CAPTURE_HARDWARE);
        m_streaming = true;
        return S_OK;
    }

    void StopDevice()
    {
        if (m_fd < 0)
            return;
        if (m_streaming) {
            int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            m_io->Ioctl(m_fd, VIDIOC_STREAMOFF, &type);
            m_streaming = false;
        }
        for (const Buffer& b : m_buffers)
            m_io->Unmap(b.address, b.length);
        m_buffers.clear();
        v4l2_requestbuffers req{};
        req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        req.memory = V4L2_MEMORY_MMAP;
        m_io->Ioctl(m_fd, VIDIOC_REQBUFS, &req);
        m_io->Close(m_fd);
        m_fd = -1;
    }

    void Stream(StreamThread& t, const MediaType& mt)
    {
        const int w = mt.Width(), h = mt.Height();
        for (uint64_t counter = 0; !t.Stopping();) {
            const int ready = m_io->Poll(m_fd, 100);
            if (ready < 0)
                break;
            if (ready == 0)
                continue;
            v4l2_buffer buf{};
            buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            buf.memory = V4L2_MEMORY_MMAP;
            if (m_io->Ioctl(m_fd, VIDIOC_DQBUF, &buf) != 0) {
                if (errno == EAGAIN)
                    continue;
                break;
            }
            if (buf.index < m_buffers.size()) {
                const auto* p = static_cast<const uint8_t*>(m_buffers[buf.index].address);
                const size_t used = std::min<size_t>(buf.bytesused, m_buffers[buf.index].length);
                auto bytes = std::make_shared<std::vector<uint8_t>>();
                if (mt.subtype == MEDIASUBTYPE_RGB24) {
                    // BGR24 rows come top-down: the DIB wants them bottom-up and padded.
                    const size_t stride = DibRowBytes(w, 24);
                    const size_t in = m_bytesPerLine ? m_bytesPerLine : static_cast<size_t>(w) * 3;
                    bytes->assign(stride * static_cast<size_t>(h), 0);
                    for (int y = 0; y < h && in * static_cast<size_t>(y + 1) <= used; ++y)
                        std::memcpy(bytes->data() + stride * static_cast<size_t>(h - 1 - y), p + in * static_cast<size_t>(y), static_cast<size_t>(w) * 3);
                } else {
                    bytes->assign(p, p + used);
                }
                Frame f;
                f.data = bytes;
                f.width = w;
                f.height = h;
                f.subtype = mt.subtype;
                f.index = counter++;
                m_out->Deliver(f);
            }
            m_io->Ioctl(m_fd, VIDIOC_QBUF, &buf);
        }
    }

    V4l2DeviceInfo m_info;
    Pin* m_analogIn = nullptr;
    std::shared_ptr<V4l2Io> m_io;
    int m_fd = -1;
    bool m_streaming = false;
    uint32_t m_bytesPerLine = 0;
    std::vector<Buffer> m_buffers;
    StreamThread m_thread;
};

class V4l2Provider final : public DeviceProvider {
public:
    void Enumerate(REFGUID category, std::vector<DeviceEntry>& out) override
    {
        const char* enabled = std::getenv("QUIVA_V4L2");
        if (enabled && std::string(enabled) == "0")
            return;
        if (category != AM_KSCATEGORY_CROSSBAR && category != CLSID_VideoInputDeviceCategory)
            return;
        auto io = CurrentIo();
        for (const std::string& path : io->ListDevices()) {
            V4l2DeviceInfo info;
            if (!ProbeV4l2Device(*io, path, &info) || info.formats.empty())
                continue;
            DeviceEntry e;
            e.moniker = Utf8ToWide("@v4l2:" + path + "|" + info.busInfo + (category == AM_KSCATEGORY_CROSSBAR ? "/crossbar" : "/capture"));
            if (category == AM_KSCATEGORY_CROSSBAR) {
                if (!info.hasCrossbar)
                    continue;
                e.friendlyName = Utf8ToWide(info.card + " Crossbar");
                e.create = [info]() -> IBaseFilter* { return new V4l2Crossbar(info); };
            } else {
                e.friendlyName = Utf8ToWide(info.card);
                e.create = [info]() -> IBaseFilter* { return new V4l2Capture(info); };
            }
            out.push_back(e);
        }
    }
};

}  // namespace

std::shared_ptr<DeviceProvider> MakeV4l2Provider() { return std::make_shared<V4l2Provider>(); }

}  // namespace quiva::media
