// Capture engine benchmark at 1920x1080: the time from a still request to the BMP file on disk,
// and the recording's sustained frame rate and CPU time with the 10 ms recording tick.
//   bench_capture_engine [folder] [seconds]
// A 1920x1080 RGB32 camera at 30 frames per second stands in for a capture card; the engine
// builds its usual graph (camera, colour control, mixing renderer 9) in a hidden window.
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
#include "bench/BenchClock.h"
#include "bench/HdEngine.h"

using namespace quiva::media;

namespace {

std::atomic<int> g_ticks {0};
std::atomic<int> g_slowTicks {0};

void CALLBACK RecordTick(PVOID engine, BOOLEAN)
{
    auto* e = static_cast<BenchEngine*>(engine);
    const auto start = bench::Clock::now();
    if (e->m_bRecording)
        e->WriteRecordFrame();
    ++g_ticks;
    if (bench::Clock::now() - start > std::chrono::milliseconds(10))
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
        int ok = 0;
        ms.push_back(bench::Time([&] { ok = engine.SaveSnapshot(path.c_str()); }).wall);
        if (!ok) {
            std::fprintf(stderr, "still %d was not written\n", i);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::printf("still 1920x1080 (%zu bytes), request to BMP on disk, ms:\n",
                static_cast<size_t>(std::filesystem::file_size(folder + "/still0.bmp")));
    bench::PrintFigure("engine-still", ms, "ms");

    // Recording with the 10 ms tick on the timer-queue thread.
    const std::wstring avi = quiva::Utf8ToWide(folder + "/record.avi");
    engine.SetRecordFile(avi.c_str(), 13, 0);
    const double cpu0 = bench::CpuMs();
    const auto t0 = bench::Clock::now();
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
    const double wall = bench::MsSince(t0) / 1000;
    const double cpu = (bench::CpuMs() - cpu0) / 1000;
    std::printf("recording 1920x1080 for %.1f s: %d frames (%.2f frames/s, target 13), file %zu bytes\n", wall, frames,
                frames / wall, static_cast<size_t>(std::filesystem::file_size(folder + "/record.avi")));
    std::printf("recording CPU: %.2f s for %.1f s (%.0f%% of one core, source and renderer included); "
                "%d of %d ticks over 10 ms\n",
                cpu, wall, 100 * cpu / wall, g_slowTicks.load(), g_ticks.load());
    engine.Close();
    DestroyWindow(preview);
    return 0;
}
