// Media layer figures at 1920x1080:
//  1. frames per second and CPU per frame through source -> colour effect -> renderer painting
//     into a (headless) window;
//  2. Video 1 encoding time per frame, ours against `ffmpeg -c:v msvideo1` on the same frames,
//     alternated over [rounds] rounds (5 unless told), ffmpeg's time its own -benchmark real time.
// Usage: bench_media_pipeline [frames] [rounds] (frames 120 unless told)
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "bench/BenchClock.h"
#include "platform/media/FilterBase.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/MsVideo1.h"
#include "platform/media/SyntheticDevices.h"
#include "platform/ui/uisystem.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;
using namespace quiva::media;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A picture with flat bars, gradients and noise, so the encoder meets more than flat areas.
std::vector<uint8_t> Picture(uint32_t n)
{
    std::vector<uint32_t> px(static_cast<size_t>(kWidth) * kHeight);
    FrameStamp stamp;
    stamp.counter = n;
    stamp.label = "Bench";
    DrawSyntheticPicture(px.data(), kWidth, kHeight, stamp);
    uint32_t seed = 12345 + n;
    for (int y = kHeight / 2; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            seed = seed * 1103515245u + 12345u;
            const int noise = static_cast<int>((seed >> 16) & 15);
            const int r = (x * 255 / kWidth + noise) & 255, g = (y * 255 / kHeight + n) & 255, b = ((x + y) / 8 + noise) & 255;
            px[static_cast<size_t>(kHeight - 1 - y) * kWidth + static_cast<size_t>(x)] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    const auto* b = reinterpret_cast<const uint8_t*>(px.data());
    return std::vector<uint8_t>(b, b + px.size() * 4);
}

// Pushes prepared frames from the caller's thread.
class BenchSource final : public Filter {
public:
    BenchSource() : Filter(CLSID_QuivaDeviceFilter) { m_out = AddPin(L"Capture", PINDIR_OUTPUT); }
    std::vector<MediaType> OutputTypes(Pin*) override { return {MakeVideoType(MEDIASUBTYPE_RGB32, kWidth, kHeight, 333333)}; }
    bool IsSource() const override { return true; }
    Pin* Out() { return m_out; }

private:
    Pin* m_out;
};

ComPtr<IBaseFilter> Create(REFCLSID clsid)
{
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid());
    return f;
}

Pin* FirstPin(IBaseFilter* f, PIN_DIRECTION dir)
{
    for (Pin* p : dynamic_cast<Filter*>(f)->Pins())
        if (p->Direction() == dir)
            return p;
    return nullptr;
}

void PipelineBench(int frames)
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"BenchVideo";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, L"BenchVideo", L"", WS_POPUP | WS_VISIBLE, 0, 0, 1280, 720, nullptr, nullptr, nullptr, nullptr);

    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.PutVoid());
    auto* source = new BenchSource();
    ComPtr<IBaseFilter> src = ComPtr<IBaseFilter>::Adopt(source);
    graph->AddFilter(src.Get(), L"Source");
    auto colour = Create(CLSID_DMOWrapperFilter);
    colour.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter)->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory);
    graph->AddFilter(colour.Get(), L"Color Control");
    auto renderer = Create(CLSID_VideoMixingRenderer9);
    renderer.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9)->SetRenderingMode(VMR9Mode_Windowless);
    auto wcontrol = renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    wcontrol->SetVideoClippingWindow(window);
    wcontrol->SetAspectRatioMode(VMR9ARMode_LetterBox);
    RECT client{0, 0, 1280, 720};
    wcontrol->SetVideoPosition(nullptr, &client);
    graph->AddFilter(renderer.Get(), L"Video Mixing Renderer 9");
    graph->ConnectDirect(source->Out(), FirstPin(colour.Get(), PINDIR_INPUT), nullptr);
    graph->ConnectDirect(FirstPin(colour.Get(), PINDIR_OUTPUT), FirstPin(renderer.Get(), PINDIR_INPUT), nullptr);
    auto store = colour.As<IPropertyStore>(IID_IPropertyStore);
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_I4;
    for (DWORD pid = 1; pid <= 4; ++pid) {
        v.lVal = 20;
        store->SetValue({QUIVA_COLORCONTROL_FMTID, pid}, v);
    }
    SetRunWaitLimit(0);
    graph.As<IMediaControl>(IID_IMediaControl)->Run();

    std::vector<Frame> prepared;
    for (int i = 0; i < 4; ++i) {
        Frame f;
        f.data = std::make_shared<std::vector<uint8_t>>(Picture(static_cast<uint32_t>(i)));
        f.width = kWidth;
        f.height = kHeight;
        f.subtype = MEDIASUBTYPE_RGB32;
        prepared.push_back(f);
    }
    const bench::Sample t = bench::Time([&] {
        for (int i = 0; i < frames; ++i) {
            Frame f = prepared[static_cast<size_t>(i) % prepared.size()];
            f.index = static_cast<uint64_t>(i);
            source->Out()->Deliver(f);
            if (i % 8 == 0)
                quiva::ui::PumpPending();
        }
    });
    const double wall = t.wall / 1000, cpu = t.cpu / 1000;
    graph.As<IMediaControl>(IID_IMediaControl)->Stop();
    std::printf("pipeline 1920x1080 source -> colour effect -> renderer (1280x720 window): %.1f frames/s, %.2f ms CPU per frame\n",
                frames / wall, cpu * 1000.0 / frames);
    DestroyWindow(window);
}

// ffmpeg's own real time for coding the raw frames file, in ms; negative without ffmpeg.
double FfmpegMs(const std::string& raw)
{
    const std::string cmd = "ffmpeg -nostats -benchmark -f rawvideo -pix_fmt bgra -s 1920x1080 -i " + raw +
                            " -c:v msvideo1 -f null - 2>&1";
    double ms = -1;
    if (FILE* p = ::popen(cmd.c_str(), "r")) {
        char line[512];
        while (std::fgets(line, sizeof(line), p))
            if (const char* r = std::strstr(line, "rtime="))
                ms = std::atof(r + 6) * 1000;
        ::pclose(p);
    }
    return ms;
}

void EncodeBench(int frames, int rounds)
{
    const std::string raw = "/tmp/quiva-bench-" + std::to_string(::getpid()) + ".bgra";
    std::vector<std::vector<uint8_t>> pictures;
    FILE* out = std::fopen(raw.c_str(), "wb");
    for (int i = 0; i < frames; ++i) {
        pictures.push_back(Picture(static_cast<uint32_t>(i)));
        std::fwrite(pictures.back().data(), 1, pictures.back().size(), out);
    }
    std::fclose(out);
    std::vector<uint8_t> coded;
    size_t bytes = 0;
    std::vector<double> ours, theirs;
    const bool compared = bench::Alternate(
        rounds,
        [&](int) {
            bytes = 0;
            ours.push_back(bench::Time([&] {
                for (const auto& p : pictures) {
                    EncodeMsVideo1(p.data(), kWidth, kHeight, 10000, &coded);
                    bytes += coded.size();
                }
            }).wall / frames);
            return true;
        },
        [&](int) {
            theirs.push_back(FfmpegMs(raw) / frames);
            return theirs.back() > 0;
        });
    std::remove(raw.c_str());
    std::printf("Video 1 encode 1920x1080 (%.0f KiB a frame), ours against ffmpeg, ms a frame:\n", bytes / 1024.0 / frames);
    if (compared)
        bench::PrintRatio("video1-encode", ours, theirs, "ms");
    else
        std::printf("ffmpeg not found: no comparison\n");
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(8, std::atoi(argv[1])) : 120;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    CoInitialize(nullptr);
    PipelineBench(frames);
    EncodeBench(std::min(frames, 60), rounds);
    CoUninitialize();
    return 0;
}
