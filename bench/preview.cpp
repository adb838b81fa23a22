// The live preview's figures: the synthetic capture card through the graph the capture engine
// builds (crossbar, capture, decoder, colour converter, colour control, mixing renderer 9) into
// a child window, with this thread as the window's thread, for a number of seconds. Prints the
// frames the card sent, the frames the renderer painted, what the window system handed to the
// display per frame (surface rectangles and bytes), and, on X11, the bytes and write calls the
// process sent per frame (the X connection is all it writes meanwhile), with the CPU per frame.
// Usage: bench_preview [seconds] [width height]  (default 10 s, 1280x720 as the card offers it);
// X11 when DISPLAY is set, else the headless window system (then nothing goes to a display).
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "platform/media/Devices.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/SyntheticDevices.h"
#include "platform/media/VideoWindow.h"
#include "platform/media/dshow.h"
#include "platform/ui/uisystem.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;
using namespace quiva::media;

namespace {

double CpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Bytes and write calls the process has sent (its sockets included), from /proc/self/io.
struct Written {
    unsigned long long bytes = 0, calls = 0;
};
Written WrittenSoFar()
{
    Written w;
    std::ifstream io("/proc/self/io");
    std::string key;
    unsigned long long value = 0;
    while (io >> key >> value) {
        if (key == "wchar:")
            w.bytes = value;
        else if (key == "syscw:")
            w.calls = value;
    }
    return w;
}

ComPtr<IBaseFilter> Device(IGraphBuilder* graph, REFGUID category, const wchar_t* name)
{
    ComPtr<ICreateDevEnum> devices;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, devices.PutVoid());
    ComPtr<IEnumMoniker> list;
    if (!devices || devices->CreateClassEnumerator(category, list.Put(), 0) != S_OK)
        return {};
    for (ComPtr<IMoniker> m; list->Next(1, m.Put(), nullptr) == S_OK;) {
        ComPtr<IPropertyBag> bag;
        m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid());
        VARIANT v;
        VariantInit(&v);
        const bool match = bag && SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.bstrVal && std::wstring(v.bstrVal) == name;
        VariantClear(&v);
        ComPtr<IBaseFilter> f;
        if (match && SUCCEEDED(m->BindToObject(nullptr, nullptr, IID_IBaseFilter, f.PutVoid()))) {
            graph->AddFilter(f.Get(), name);
            return f;
        }
    }
    return {};
}

ComPtr<IBaseFilter> Add(IGraphBuilder* graph, REFCLSID clsid, const wchar_t* name)
{
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid());
    if (f)
        graph->AddFilter(f.Get(), name);
    return f;
}

ComPtr<IPin> FirstPin(IBaseFilter* f, PIN_DIRECTION dir)
{
    ComPtr<IEnumPins> pins;
    f->EnumPins(pins.Put());
    for (ComPtr<IPin> p; pins && pins->Next(1, p.Put(), nullptr) == S_OK;) {
        PIN_DIRECTION d;
        p->QueryDirection(&d);
        if (d == dir)
            return p;
    }
    return {};
}

bool Connect(IGraphBuilder* graph, IBaseFilter* up, IBaseFilter* down)
{
    ComPtr<IPin> out = FirstPin(up, PINDIR_OUTPUT), in = FirstPin(down, PINDIR_INPUT);
    return out && in && SUCCEEDED(graph->Connect(out.Get(), in.Get()));
}

// The card's format of that size at 30 frames a second, if it offers one.
bool ChooseFormat(IBaseFilter* capture, int width, int height)
{
    auto config = ComPtr<IBaseFilter>(capture).As<IAMStreamConfig>(IID_IAMStreamConfig);
    int count = 0, size = 0;
    if (!config || FAILED(config->GetNumberOfCapabilities(&count, &size)))
        return false;
    std::vector<BYTE> caps(static_cast<size_t>(size > 0 ? size : 1));
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* mt = nullptr;
        if (FAILED(config->GetStreamCaps(i, &mt, caps.data())) || !mt)
            continue;
        const MediaType type(*mt);
        const bool match = type.Width() == width && type.Height() == height && type.AvgTimePerFrame() == 333333;
        const bool set = match && SUCCEEDED(config->SetFormat(mt));
        DeleteMediaType(mt);
        if (set)
            return true;
    }
    return false;
}

// The counter the card stamped into the renderer's last frame (-1: none yet).
long long LastCounter(IBaseFilter* renderer)
{
    auto control = ComPtr<IBaseFilter>(renderer).As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    BYTE* dib = nullptr;
    if (!control || FAILED(control->GetCurrentImage(&dib)) || !dib)
        return -1;
    const auto* h = reinterpret_cast<const BITMAPINFOHEADER*>(dib);
    FrameStamp stamp;
    const bool ok = ReadFrameStamp(dib + h->biSize, h->biWidth, h->biHeight, &stamp);
    CoTaskMemFree(dib);
    return ok ? static_cast<long long>(stamp.counter) : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    const int width = argc > 3 ? std::atoi(argv[2]) : 1280, height = argc > 3 ? std::atoi(argv[3]) : 720;
    CoInitialize(nullptr);
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Automatic);
    SetSyntheticConfig(std::string("card \"Bench Card\"\n"));

    // The window and the renderer's painting, counted on the way to the window system.
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"BenchPreview";
    RegisterClassW(&wc);
    HWND top = CreateWindowExW(0, L"BenchPreview", L"bench_preview", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                               nullptr, nullptr, nullptr);
    HWND video = CreateWindowExW(0, L"BenchPreview", L"", WS_CHILD | WS_VISIBLE, 0, 0, width, height, top, nullptr, nullptr, nullptr);
    UseWindowSystemForVideo();
    VideoWindowHooks hooks = GetVideoWindowHooks();
    std::atomic<long> painted{0};
    const auto paint = hooks.paint;
    hooks.paint = [&](HWND w, const std::function<void(quiva::Surface&, POINT, RECT)>& draw) {
        ++painted;
        return paint(w, draw);
    };
    SetVideoWindowHooks(hooks);

    ComPtr<IGraphBuilder> graph;
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.PutVoid());
    auto xbar = Device(graph.Get(), AM_KSCATEGORY_CROSSBAR, L"Bench Card Crossbar");
    auto capture = Device(graph.Get(), CLSID_VideoInputDeviceCategory, L"Bench Card Capture");
    if (!xbar || !capture || !Connect(graph.Get(), xbar.Get(), capture.Get())) {
        std::fprintf(stderr, "the synthetic card is not there\n");
        return 1;
    }
    if (!ChooseFormat(capture.Get(), width, height))
        std::printf("the card offers no %dx%d at 30 frames/s: its first format is used\n", width, height);
    auto decoder = Add(graph.Get(), CLSID_AVIDec, L"AVI Decoder");
    auto converter = Add(graph.Get(), CLSID_Colour, L"Color Space Converter");
    auto colour = Add(graph.Get(), CLSID_DMOWrapperFilter, L"Color Control");
    colour.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter)->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory);
    auto renderer = Add(graph.Get(), CLSID_VideoMixingRenderer9, L"Video Mixing Renderer 9");
    renderer.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9)->SetRenderingMode(VMR9Mode_Windowless);
    auto windowless = renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    windowless->SetVideoClippingWindow(video);
    windowless->SetAspectRatioMode(VMR9ARMode_LetterBox);
    RECT client{0, 0, width, height};
    windowless->SetVideoPosition(nullptr, &client);
    Connect(graph.Get(), capture.Get(), decoder.Get());
    Connect(graph.Get(), decoder.Get(), converter.Get());
    Connect(graph.Get(), converter.Get(), colour.Get());
    Connect(graph.Get(), colour.Get(), renderer.Get());
    auto control = graph.As<IMediaControl>(IID_IMediaControl);
    control->Run();

    // A second to settle, then the measured run; this thread is the window's all along.
    auto pumpFor = [](double s) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(s);
        while (std::chrono::steady_clock::now() < end) {
            MSG m;
            while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageW(&m);
            WaitMessage();
        }
    };
    pumpFor(1.0);
    const long long firstCounter = LastCounter(renderer.Get());
    const long painted0 = painted.load();
    const quiva::ui::PresentTally shown0 = quiva::ui::PresentedSoFar();
    const Written written0 = WrittenSoFar();
    const double cpu0 = CpuNow();
    const auto t0 = std::chrono::steady_clock::now();
    pumpFor(seconds);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuNow() - cpu0;
    const Written written = WrittenSoFar();
    const quiva::ui::PresentTally shown = quiva::ui::PresentedSoFar();
    const long frames = painted.load() - painted0;
    const long long sent = LastCounter(renderer.Get()) - firstCounter;
    control->Stop();

    const double perFrame = frames > 0 ? 1.0 / static_cast<double>(frames) : 0.0;
    std::printf("preview %dx%d of the synthetic card, %s window system, %.1f s:\n", width, height,
                quiva::ui::CurrentBackend().Name(), wall);
    std::printf("  card sent %lld frames (%.1f/s), renderer painted %ld (%.1f/s)\n", sent, sent / wall, frames, frames / wall);
    std::printf("  handed to the display: %.2f surface rectangles and %.2f MB a frame painted (%.1f MB/s)\n",
                static_cast<double>(shown.presents - shown0.presents) * perFrame,
                static_cast<double>(shown.pixels - shown0.pixels) * 4 / 1e6 * perFrame,
                static_cast<double>(shown.pixels - shown0.pixels) * 4 / 1e6 / wall);
    if (!quiva::ui::IsHeadless())
        std::printf("  sent to the X server: %.2f MB and %.1f write calls a frame (%.1f MB/s)\n",
                    static_cast<double>(written.bytes - written0.bytes) / 1e6 * perFrame,
                    static_cast<double>(written.calls - written0.calls) * perFrame,
                    static_cast<double>(written.bytes - written0.bytes) / 1e6 / wall);
    std::printf("  CPU %.2f ms a frame\n", cpu * 1000.0 * perFrame);
    DestroyWindow(top);
    CoUninitialize();
    return 0;
}
