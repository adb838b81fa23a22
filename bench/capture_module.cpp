// Capture module benchmark, as a clinic-records program sees it: the time from loading
// QUIVA.Capture.dll to its window shown with the preview running (the module's own waits for
// the device monitor come to 0.8 s), and from a Space key press to the JPEG file on disk.
//
//   bench_capture_module [stills]
//
// It prepares the embedded default in a scratch folder (scripts/prepare-clinic.sh), with the
// synthetic capture card, whose largest picture is 1280x720, on the headless display.
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

#include "platform/base/debug.h"
#include "platform/ui/uisystem.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

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
    int stills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
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
    setenv("PATH", (std::string(QUIVA_BINARY_DIR "/monitor/bin:") + std::getenv("PATH")).c_str(), 1);
    if (chdir(data.c_str()) != 0)
        return 1;
    std::atomic<bool> previewing{false};
    quiva::SetDebugSink([&](const std::wstring& line) {
        if (line == L"P#6")
            previewing = true;
    });

    auto t0 = Clock::now();
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
    std::sort(times.begin(), times.end());
    if (!times.empty())
        std::printf("Space to JPEG on disk (1280x720): median %.1f ms, min %.1f ms, max %.1f ms over %zu stills\n",
                    times[times.size() / 2], times.front(), times.back(), times.size());
    dlclose(module);
    quiva::SetDebugSink(nullptr);
    fs::remove_all(data);
    return 0;
}
