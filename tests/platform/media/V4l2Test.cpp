#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <map>

#include "MediaTestSupport.h"
#include "platform/media/V4l2.h"

using namespace quiva::test;
using quiva::ComPtr;
using quiva::media::V4l2DeviceInfo;

namespace {

// A capture device as the kernel would describe it, answering the calls the layer makes.
struct FakeDevice {
    std::string card;
    std::string bus;
    uint32_t caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    std::vector<std::pair<std::string, uint32_t>> inputs;
    struct Format {
        uint32_t pixelFormat;
        std::vector<std::pair<int, int>> sizes;  // empty: stepwise 160x120..1920x1080 step 16
        std::vector<int> fps;                    // empty: continuous 1/60..1/1
    };
    std::vector<Format> formats;
    bool busy = false;
    // State while streaming.
    int input = 0;
    int width = 0, height = 0;
    uint32_t pixelFormat = 0;
    std::vector<std::vector<uint8_t>> buffers;
    std::deque<uint32_t> queued;
    bool streaming = false;
    uint32_t frames = 0;
};

class FakeIo final : public quiva::media::V4l2Io {
public:
    std::map<std::string, FakeDevice> devices;
    std::map<int, std::string> open;
    int nextFd = 100;

    std::vector<std::string> ListDevices() override
    {
        std::vector<std::string> r;
        for (auto& [path, d] : devices)
            r.push_back(path);
        return r;
    }
    int Open(const std::string& path) override
    {
        if (!devices.count(path)) {
            errno = ENOENT;
            return -1;
        }
        open[nextFd] = path;
        return nextFd++;
    }
    void Close(int fd) override { open.erase(fd); }
    void* Map(int fd, size_t length, off_t offset) override
    {
        FakeDevice& d = devices[open[fd]];
        const size_t i = static_cast<size_t>(offset) / 0x100000;
        return i < d.buffers.size() && d.buffers[i].size() == length ? d.buffers[i].data() : nullptr;
    }
    void Unmap(void*, size_t) override {}
    int Poll(int fd, int) override
    {
        FakeDevice& d = devices[open[fd]];
        return d.streaming && !d.queued.empty() ? 1 : 0;
    }

    int Ioctl(int fd, unsigned long request, void* arg) override
    {
        FakeDevice& d = devices[open[fd]];
        auto fail = [](int e) {
            errno = e;
            return -1;
        };
        switch (request) {
        case VIDIOC_QUERYCAP: {
            auto* c = static_cast<v4l2_capability*>(arg);
            std::memset(c, 0, sizeof(*c));
            std::strncpy(reinterpret_cast<char*>(c->card), d.card.c_str(), sizeof(c->card) - 1);
            std::strncpy(reinterpret_cast<char*>(c->bus_info), d.bus.c_str(), sizeof(c->bus_info) - 1);
            c->capabilities = d.caps | V4L2_CAP_DEVICE_CAPS;
            c->device_caps = d.caps;
            return 0;
        }
        case VIDIOC_ENUMINPUT: {
            auto* in = static_cast<v4l2_input*>(arg);
            if (in->index >= d.inputs.size())
                return fail(EINVAL);
            std::strncpy(reinterpret_cast<char*>(in->name), d.inputs[in->index].first.c_str(), sizeof(in->name) - 1);
            in->type = d.inputs[in->index].second;
            return 0;
        }
        case VIDIOC_ENUM_FMT: {
            auto* f = static_cast<v4l2_fmtdesc*>(arg);
            if (f->index >= d.formats.size())
                return fail(EINVAL);
            f->pixelformat = d.formats[f->index].pixelFormat;
            return 0;
        }
        case VIDIOC_ENUM_FRAMESIZES: {
            auto* s = static_cast<v4l2_frmsizeenum*>(arg);
            const FakeDevice::Format* f = Find(d, s->pixel_format);
            if (!f)
                return fail(EINVAL);
            if (f->sizes.empty()) {
                if (s->index > 0)
                    return fail(EINVAL);
                s->type = V4L2_FRMSIZE_TYPE_STEPWISE;
                s->stepwise = {160, 1920, 16, 120, 1080, 8};
                return 0;
            }
            if (s->index >= f->sizes.size())
                return fail(EINVAL);
            s->type = V4L2_FRMSIZE_TYPE_DISCRETE;
            s->discrete.width = static_cast<uint32_t>(f->sizes[s->index].first);
            s->discrete.height = static_cast<uint32_t>(f->sizes[s->index].second);
            return 0;
        }
        case VIDIOC_ENUM_FRAMEINTERVALS: {
            auto* iv = static_cast<v4l2_frmivalenum*>(arg);
            const FakeDevice::Format* f = Find(d, iv->pixel_format);
            if (!f)
                return fail(EINVAL);
            if (f->fps.empty()) {
                if (iv->index > 0)
                    return fail(EINVAL);
                iv->type = V4L2_FRMIVAL_TYPE_CONTINUOUS;
                iv->stepwise.min = {1, 60};
                iv->stepwise.max = {1, 1};
                iv->stepwise.step = {1, 1};
                return 0;
            }
            if (iv->index >= f->fps.size())
                return fail(EINVAL);
            iv->type = V4L2_FRMIVAL_TYPE_DISCRETE;
            iv->discrete = {1, static_cast<uint32_t>(f->fps[iv->index])};
            return 0;
        }
        case VIDIOC_S_INPUT:
            d.input = *static_cast<int*>(arg);
            return d.input < static_cast<int>(d.inputs.size()) ? 0 : fail(EINVAL);
        case VIDIOC_S_FMT: {
            auto* f = static_cast<v4l2_format*>(arg);
            if (d.busy)
                return fail(EBUSY);
            d.width = static_cast<int>(f->fmt.pix.width);
            d.height = static_cast<int>(f->fmt.pix.height);
            d.pixelFormat = f->fmt.pix.pixelformat;
            f->fmt.pix.bytesperline = static_cast<uint32_t>(d.width * (d.pixelFormat == V4L2_PIX_FMT_BGR24 ? 3 : d.pixelFormat == V4L2_PIX_FMT_NV12 ? 1 : 2));
            return 0;
        }
        case VIDIOC_S_PARM:
            return 0;
        case VIDIOC_REQBUFS: {
            auto* r = static_cast<v4l2_requestbuffers*>(arg);
            d.buffers.assign(r->count, std::vector<uint8_t>(static_cast<size_t>(d.width * d.height * 3)));
            d.queued.clear();
            return 0;
        }
        case VIDIOC_QUERYBUF: {
            auto* b = static_cast<v4l2_buffer*>(arg);
            b->length = static_cast<uint32_t>(d.buffers[b->index].size());
            b->m.offset = b->index * 0x100000;
            return 0;
        }
        case VIDIOC_QBUF:
            d.queued.push_back(static_cast<v4l2_buffer*>(arg)->index);
            return 0;
        case VIDIOC_STREAMON:
            d.streaming = true;
            return 0;
        case VIDIOC_STREAMOFF:
            d.streaming = false;
            return 0;
        case VIDIOC_DQBUF: {
            if (d.queued.empty())
                return fail(EAGAIN);
            auto* b = static_cast<v4l2_buffer*>(arg);
            b->index = d.queued.front();
            d.queued.pop_front();
            Fill(d, d.buffers[b->index], &b->bytesused);
            return 0;
        }
        default:
            return fail(ENOTTY);
        }
    }

private:
    static const FakeDevice::Format* Find(const FakeDevice& d, uint32_t pf)
    {
        for (const auto& f : d.formats)
            if (f.pixelFormat == pf)
                return &f;
        return nullptr;
    }
    // A synthetic picture naming the selected input, in the device's pixel format.
    static void Fill(FakeDevice& d, std::vector<uint8_t>& buf, uint32_t* used)
    {
        std::vector<uint32_t> rgb(static_cast<size_t>(d.width * d.height));
        quiva::media::FrameStamp stamp;
        stamp.counter = d.frames++;
        stamp.input = d.input;
        stamp.label = d.inputs.empty() ? "none" : d.inputs[static_cast<size_t>(d.input)].first;
        quiva::media::DrawSyntheticPicture(rgb.data(), d.width, d.height, stamp);
        std::vector<uint8_t> out;
        const auto* px = reinterpret_cast<const uint8_t*>(rgb.data());
        if (d.pixelFormat == V4L2_PIX_FMT_BGR24) {
            // Top-down rows, as the device sends them.
            out.resize(static_cast<size_t>(d.width * d.height * 3));
            for (int y = 0; y < d.height; ++y)
                for (int x = 0; x < d.width; ++x)
                    std::memcpy(&out[static_cast<size_t>((y * d.width + x) * 3)], px + ((d.height - 1 - y) * d.width + x) * 4, 3);
        } else {
            quiva::media::ConvertFromRgb32(px, d.width, d.height, quiva::media::SubtypeOfPixelFormat(d.pixelFormat), &out);
        }
        std::memcpy(buf.data(), out.data(), std::min(out.size(), buf.size()));
        *used = static_cast<uint32_t>(out.size());
    }
};

struct FakeIoScope {
    std::shared_ptr<FakeIo> io = std::make_shared<FakeIo>();
    FakeIoScope() { quiva::media::SetV4l2Io(io); }
    ~FakeIoScope() { quiva::media::SetV4l2Io(nullptr); }
};

FakeDevice CaptureCard()
{
    FakeDevice d;
    d.card = "Grabber X";
    d.bus = "PCI:0000:03:00.0";
    d.inputs = {{"Composite", V4L2_INPUT_TYPE_CAMERA}, {"S-Video", V4L2_INPUT_TYPE_CAMERA}, {"HDMI 1", V4L2_INPUT_TYPE_CAMERA},
                {"Television", V4L2_INPUT_TYPE_TUNER}};
    d.formats = {{V4L2_PIX_FMT_YUYV, {{640, 480}, {320, 240}}, {30, 15}}, {V4L2_PIX_FMT_NV12, {{640, 480}}, {30}}};
    return d;
}

FakeDevice Webcam()
{
    FakeDevice d;
    d.card = "Webcam";
    d.bus = "usb-0000:00:14.0-1";
    d.inputs = {{"Camera 1", V4L2_INPUT_TYPE_CAMERA}};
    d.formats = {{V4L2_PIX_FMT_BGR24, {}, {}}};
    return d;
}

TEST(V4l2Test, InputsBecomeCrossbarPinsByTheirNames)
{
    using quiva::media::PhysicalTypeOfInput;
    EXPECT_EQ(PhysConn_Video_Composite, PhysicalTypeOfInput("Composite 1", V4L2_INPUT_TYPE_CAMERA));
    EXPECT_EQ(PhysConn_Video_SVideo, PhysicalTypeOfInput("S-Video", V4L2_INPUT_TYPE_CAMERA));
    EXPECT_EQ(PhysConn_Video_YRYBY, PhysicalTypeOfInput("Component (YPbPr)", V4L2_INPUT_TYPE_CAMERA));
    EXPECT_EQ(PhysConn_Video_SerialDigital, PhysicalTypeOfInput("HDMI 2", V4L2_INPUT_TYPE_CAMERA));
    EXPECT_EQ(PhysConn_Video_SerialDigital, PhysicalTypeOfInput("SDI", V4L2_INPUT_TYPE_CAMERA));
    EXPECT_EQ(PhysConn_Video_Tuner, PhysicalTypeOfInput("Television", V4L2_INPUT_TYPE_TUNER));
    EXPECT_EQ(PhysConn_Video_Composite, PhysicalTypeOfInput("Camera 1", V4L2_INPUT_TYPE_CAMERA));
    EXPECT_TRUE(quiva::media::SubtypeOfPixelFormat(V4L2_PIX_FMT_YUYV) == MEDIASUBTYPE_YUY2);
    EXPECT_TRUE(quiva::media::SubtypeOfPixelFormat(V4L2_PIX_FMT_MJPEG) == MEDIASUBTYPE_MJPG);
    EXPECT_TRUE(quiva::media::SubtypeOfPixelFormat(V4L2_PIX_FMT_BGR24) == MEDIASUBTYPE_RGB24);
    EXPECT_TRUE(quiva::media::SubtypeOfPixelFormat(V4L2_PIX_FMT_NV12) == MEDIASUBTYPE_NV12);

    FakeIoScope scope;
    scope.io->devices["/dev/video0"] = CaptureCard();
    ScopedDevices none("");
    auto g = NewGraph();
    auto xbar = AddDevice(g.Get(), AM_KSCATEGORY_CROSSBAR, L"Grabber X Crossbar").As<IAMCrossbar>(IID_IAMCrossbar);
    ASSERT_TRUE(xbar);
    LONG outs, ins;
    xbar->get_PinCounts(&outs, &ins);
    EXPECT_EQ(1, outs);
    EXPECT_EQ(4, ins);
    std::vector<LONG> types;
    for (LONG i = 0; i < ins; ++i) {
        LONG related, type;
        xbar->get_CrossbarPinInfo(TRUE, i, &related, &type);
        types.push_back(type);
    }
    EXPECT_EQ((std::vector<LONG>{2, 3, 6, 1}), types);
}

TEST(V4l2Test, FormatsComeFromSizesAndIntervals)
{
    FakeIoScope scope;
    scope.io->devices["/dev/video0"] = CaptureCard();
    scope.io->devices["/dev/video1"] = Webcam();
    V4l2DeviceInfo card, cam;
    ASSERT_TRUE(quiva::media::ProbeV4l2Device(*scope.io, "/dev/video0", &card));
    EXPECT_TRUE(card.hasCrossbar);
    ASSERT_EQ(5u, card.formats.size());  // 640x480 at 30 and 15, 320x240 at 30 and 15, NV12
    EXPECT_EQ(640, card.formats[0].width);
    EXPECT_EQ(333333, card.formats[0].avgTimePerFrame);
    EXPECT_EQ(666666, card.formats[1].avgTimePerFrame);
    EXPECT_TRUE(card.formats[4].subtype == MEDIASUBTYPE_NV12);
    // A format no filter can show is not offered.
    scope.io->devices["/dev/video0"].formats.push_back({V4L2_PIX_FMT_GREY, {{640, 480}}, {30}});
    ASSERT_TRUE(quiva::media::ProbeV4l2Device(*scope.io, "/dev/video0", &card));
    EXPECT_EQ(5u, card.formats.size());

    ASSERT_TRUE(quiva::media::ProbeV4l2Device(*scope.io, "/dev/video1", &cam));
    EXPECT_FALSE(cam.hasCrossbar);  // one camera input
    // A stepwise range stands for the common sizes inside it, at its fastest rate.
    std::vector<std::pair<int, int>> sizes;
    for (const auto& f : cam.formats) {
        sizes.emplace_back(f.width, f.height);
        EXPECT_EQ(166666, f.avgTimePerFrame);
    }
    EXPECT_EQ((std::vector<std::pair<int, int>>{{320, 240}, {640, 480}, {800, 600}, {1280, 720}, {1920, 1080}}), sizes);

    // Devices that cannot capture are not listed.
    FakeDevice output = Webcam();
    output.caps = V4L2_CAP_VIDEO_OUTPUT;
    scope.io->devices["/dev/video2"] = output;
    V4l2DeviceInfo out;
    EXPECT_FALSE(quiva::media::ProbeV4l2Device(*scope.io, "/dev/video2", &out));
    ScopedDevices none("");
    EXPECT_EQ(2u, quiva::media::EnumerateCategory(CLSID_VideoInputDeviceCategory).size());
    EXPECT_EQ(1u, quiva::media::EnumerateCategory(AM_KSCATEGORY_CROSSBAR).size());
}

TEST(V4l2Test, StreamsTheRoutedInputAndTurnsBgrRowsOver)
{
    FakeIoScope scope;
    scope.io->devices["/dev/video0"] = CaptureCard();
    scope.io->devices["/dev/video1"] = Webcam();
    FakeDevice nv12 = Webcam();
    nv12.card = "NV12 Cam";
    nv12.formats = {{V4L2_PIX_FMT_NV12, {{640, 480}}, {30}}};
    scope.io->devices["/dev/video2"] = nv12;
    ScopedDevices none("");
    {
        auto g = NewGraph();
        auto xbar = AddDevice(g.Get(), AM_KSCATEGORY_CROSSBAR, L"Grabber X Crossbar");
        auto capture = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Grabber X");
        ASSERT_EQ(S_OK, ConnectFilters(g.Get(), xbar.Get(), capture.Get()));
        xbar.As<IAMCrossbar>(IID_IAMCrossbar)->Route(0, 2);
        auto r = AddWindowlessVmr9(g.Get());
        ASSERT_EQ(S_OK, ConnectFilters(g.Get(), capture.Get(), r.Get()));
        auto control = g.As<IMediaControl>(IID_IMediaControl);
        ASSERT_EQ(S_OK, control->Run());
        Grabbed frame = WaitForFrame(r.Get(), 0);
        control->Stop();
        EXPECT_EQ("HDMI 1", frame.stamp.label);
        EXPECT_EQ(2, frame.stamp.input);
        EXPECT_TRUE(scope.io->open.empty());  // the device is closed again
    }
    // A BGR24 camera, and one that offers only NV12 (the graph converts it).
    for (const wchar_t* name : {L"Webcam", L"NV12 Cam"}) {
        auto g = NewGraph();
        auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, name);
        auto r = AddWindowlessVmr9(g.Get());
        ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), r.Get()));
        auto control = g.As<IMediaControl>(IID_IMediaControl);
        ASSERT_EQ(S_OK, control->Run());
        Grabbed frame = WaitForFrame(r.Get(), 0, 30000);
        control->Stop();
        ASSERT_TRUE(frame.stampOk);  // the stamp sits at the top only when rows were turned over
        EXPECT_EQ("Camera 1", frame.stamp.label);
    }
}

TEST(V4l2Test, BusyDeviceMakesRunFail)
{
    FakeIoScope scope;
    FakeDevice cam = Webcam();
    cam.busy = true;
    scope.io->devices["/dev/video0"] = cam;
    ScopedDevices none("");
    auto g = NewGraph();
    auto c = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Webcam");
    auto r = AddWindowlessVmr9(g.Get());
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), c.Get(), r.Get()));
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    EXPECT_EQ(VFW_E_NO_CAPTURE_HARDWARE, control->Run());
    OAFilterState state;
    control->GetState(0, &state);
    EXPECT_EQ(State_Stopped, state);
    EXPECT_TRUE(scope.io->open.empty());
}

}  // namespace
