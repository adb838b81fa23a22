// Capture module benchmark, as a clinic-records program sees it: the time from loading
// QUIVA.Capture.dll to its window shown with the preview running (the module's own waits for
// the device monitor come to 0.8 s), and from a Space key press to the JPEG file on disk.
//
//   bench_capture_module [stills] [--hd]
//
// It prepares the embedded default in a scratch folder (scripts/prepare-clinic.sh) on the
// headless display, with the synthetic capture card (largest picture 1280x720) listed by the
// device monitor program; with --hd, with a 1920x1080 camera of this process's own, listed by
// the test monitor that publishes what it is given. BENCH_TRACE=1 prints the module's debugger
// output with the milliseconds since the load began.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/BenchClock.h"
#include "bench/HdCamera.h"
#include "platform/base/debug.h"
#include "platform/ui/uisystem.h"

namespace fs = std::filesystem;
using bench::Clock;
using bench::Ms;

namespace {

size_t Stills(const fs::path& store)
{
    size_t n = 0;
    if (fs::exists(store))
        for (const auto& e : fs::recursive_directory_iterator(store))
            n += e.path().extension() == ".jpg";
    return n;
}

template <typename Done>
bool PumpUntil(Done done, int timeoutMs = 15000)
{
    auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        quiva::ui::PumpPending();
        if (done())
            return true;
        usleep(1000);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    int stills = 10;
    bool hd = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--hd")
            hd = true;
        else
            stills = std::max(1, std::atoi(argv[i]));
    }
    char tmpl[] = "/tmp/quiva-bench-XXXXXX";
    std::string data = mkdtemp(tmpl);
    std::string command = "bash " QUIVA_SOURCE_DIR "/scripts/prepare-clinic.sh " + data + " " QUIVA_BINARY_DIR;
    if (std::system(command.c_str()) != 0)
        return 1;
    setenv("QUIVA_DRIVE_D", (data + "/d").c_str(), 1);
    setenv("QUIVA_DEVICES", (data + "/devices.txt").c_str(), 1);
    setenv("QUIVA_REGISTRY_DIR", (data + "/registry").c_str(), 1);
    setenv("QUIVA_SESSION", fs::path(data).filename().c_str(), 1);
    setenv("QUIVA_HEADLESS", "1", 1);
    std::string monitorFolder = QUIVA_BINARY_DIR "/monitor/bin";
    if (hd) {
        // The camera is this process's, so the module (sharing its platform runtime) finds it;
        // the test monitor names it in the device list.
        quiva::media::AddDeviceProvider(std::make_shared<quiva::media::HdProvider>());
        monitorFolder = QUIVA_BINARY_DIR "/tests/helpers";
        setenv("QUIVA_TEST_DEVICE_TEXT", "1@@Bench HD Camera@@@@Bench HD Camera@@0@@0@@0\n", 1);
        if (!fs::exists(monitorFolder + "/QUIVACaptureManager")) {
            std::fprintf(stderr, "--hd needs the test monitor (build the QUIVATestMonitor target)\n");
            return 1;
        }
    }
    setenv("PATH", (monitorFolder + ":" + std::getenv("PATH")).c_str(), 1);
    if (chdir(data.c_str()) != 0)
        return 1;
    std::atomic<bool> previewing{false};
    const bool trace = std::getenv("BENCH_TRACE") != nullptr;
    auto t0 = Clock::now();
    quiva::SetDebugSink([&](const std::wstring& line) {
        if (trace)
            std::fprintf(stderr, "%8.1f %ls\n", Ms(Clock::now() - t0), line.c_str());
        if (line == L"P#6")
            previewing = true;
    });

    t0 = Clock::now();
    void* module = dlopen(QUIVA_BINARY_DIR "/bin/QUIVA.Capture.dll", RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto t1 = Clock::now();
    auto show = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(module, "QUIVACaptureShow"));
    show("12345", "");
    if (!PumpUntil([&] { return previewing.load(); })) {
        std::fprintf(stderr, "the preview did not start\n");
        return 1;
    }
    auto t2 = Clock::now();
    std::printf("load %.0f ms, show to preview running %.0f ms, in all %.0f ms (the module's own waits: 800 ms)\n", Ms(t1 - t0),
                Ms(t2 - t1), Ms(t2 - t0));

    fs::path store = data + "/d/HRB4100/temp/image";
    HWND top = nullptr;
    EnumWindows([](HWND h, LPARAM lp) -> BOOL {
        *reinterpret_cast<HWND*>(lp) = h;
        return FALSE;
    }, reinterpret_cast<LPARAM>(&top));
    quiva::ui::InjectActivation(top);
    std::vector<double> times;
    for (int i = 0; i < stills; ++i) {
        size_t before = Stills(store);
        auto k = Clock::now();
        quiva::ui::InjectKeyStroke(VK_SPACE);
        if (!PumpUntil([&] { return Stills(store) > before; }))
            break;
        times.push_back(Ms(Clock::now() - k));
        usleep(20000);  // one file name per millisecond of the time of day
    }
    if (!times.empty()) {
        std::printf("Space to JPEG on disk (%s), ms:\n", hd ? "1920x1080" : "1280x720");
        bench::PrintFigure(hd ? "module-still-hd" : "module-still", times, "ms");
    }
    dlclose(module);
    quiva::SetDebugSink(nullptr);
    fs::remove_all(data);
    return 0;
}
