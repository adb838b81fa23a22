// Capture engine benchmark at 1920x1080: the time from a still request to the BMP file on disk,
// and the recording's sustained frame rate and CPU time with the 10 ms recording tick.
//   bench_capture_engine [folder] [seconds]
// A 1920x1080 RGB32 camera at 30 frames per second stands in for a capture card; the engine
// builds its usual graph (camera, colour control, mixing renderer 9) in a hidden window.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "capture/CKXMCapture.h"
#include "platform/base/codepage.h"
#include "platform/base/timerqueue.h"
#include "platform/media/Devices.h"
#include "platform/media/FilterBase.h"
#include "platform/media/SyntheticDevices.h"
#include "platform/ui/uisystem.h"
#include "platform/ui/winuser.h"
#include "bench/HdEngine.h"

using namespace quiva::media;

namespace {

double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

std::atomic<int> g_ticks {0};
std::atomic<int> g_slowTicks {0};

void CALLBACK RecordTick(PVOID engine, BOOLEAN)
{
    auto* e = static_cast<BenchEngine*>(engine);
    const auto start = std::chrono::steady_clock::now();
    if (e->m_bRecording)
        e->WriteRecordFrame();
    ++g_ticks;
    if (std::chrono::steady_clock::now() - start > std::chrono::milliseconds(10))
        ++g_slowTicks;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string() + "/quiva-bench";
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);

    BenchEngine engine;
    HWND preview = nullptr;
    if (!engine.StartHd(L"BenchPreview", &preview))
        return 1;
    for (int i = 0; i < 300; ++i) {
        if (BYTE* f = engine.GrabFrame()) {
            std::free(f);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // Stills: request to file on disk, flushed by the close.
    std::vector<double> ms;
    for (int i = 0; i < 40; ++i) {
        const std::wstring path = quiva::Utf8ToWide(folder + "/still" + std::to_string(i) + ".bmp");
        const auto t0 = std::chrono::steady_clock::now();
        const int ok = engine.SaveSnapshot(path.c_str());
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
        if (!ok) {
            std::fprintf(stderr, "still %d was not written\n", i);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::sort(ms.begin(), ms.end());
    std::printf("still 1920x1080 (%zu bytes): median %.1f ms, fastest %.1f ms, slowest %.1f ms\n",
                static_cast<size_t>(std::filesystem::file_size(folder + "/still0.bmp")), ms[ms.size() / 2], ms.front(),
                ms.back());

    // Recording with the 10 ms tick on the timer-queue thread.
    const std::wstring avi = quiva::Utf8ToWide(folder + "/record.avi");
    engine.SetRecordFile(avi.c_str(), 13, 0);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (!engine.StartRecording()) {
        std::fprintf(stderr, "the recording did not start\n");
        return 1;
    }
    HANDLE timer = nullptr;
    CreateTimerQueueTimer(&timer, nullptr, RecordTick, &engine, 10, 10, WT_EXECUTEINTIMERTHREAD);
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    const int frames = engine.FrameIndex() + 1;
    engine.EndRecording();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("recording 1920x1080 for %.1f s: %d frames (%.2f frames/s, target 13), file %zu bytes\n", wall, frames,
                frames / wall, static_cast<size_t>(std::filesystem::file_size(folder + "/record.avi")));
    std::printf("recording CPU: %.2f s for %.1f s (%.0f%% of one core, source and renderer included); "
                "%d of %d ticks over 10 ms\n",
                cpu, wall, 100 * cpu / wall, g_slowTicks.load(), g_ticks.load());
    engine.Close();
    DestroyWindow(preview);
    return 0;
}
