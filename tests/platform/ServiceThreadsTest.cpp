// The layer's service threads (the default timer queue's, the sound player's) end when they are
// stopped with nothing left to do, stay while a timer is set, and start again when needed; the
// font loader that the imaging start-up begins ends by its shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <thread>

#include "platform/base/resources.h"
#include "platform/base/servicethreads.h"
#include "platform/base/timerqueue.h"
#include "platform/gdi/gdiplus.h"
#include "platform/sound/mmsystem.h"

namespace {

// Threads of this process with that name. A thread that ends while the list is read can make the
// read fail part way; the list is then read again.
int ThreadsNamed(const std::string& name)
{
    for (;;) {
        int n = 0;
        std::error_code error;
        std::filesystem::directory_iterator task("/proc/self/task", error);
        for (; !error && task != std::filesystem::directory_iterator(); task.increment(error)) {
            std::ifstream comm(task->path() / "comm");
            std::string line;
            std::getline(comm, line);
            n += line == name;
        }
        if (!error)
            return n;
    }
}

std::atomic<int> g_ticks{0};
void CALLBACK Count(PVOID, BOOLEAN) { ++g_ticks; }

bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 20000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
}

// A thread that has been joined may still be listed for a moment, until the kernel has reaped it.
bool NoneLeft(const std::string& name)
{
    return WaitFor([&] { return ThreadsNamed(name) == 0; });
}

}  // namespace

TEST(ServiceThreads, StoppedWhenIdleAndStartedAgainWhenNeeded)
{
    // A timer that is set keeps its thread.
    HANDLE timer = nullptr;
    ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, Count, nullptr, 0, 5, 0));
    ASSERT_TRUE(WaitFor([] { return g_ticks > 0; }));
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10011), GetModuleHandleW(L"QUIVA.Capture.dll"), SND_RESOURCE | SND_SYNC));
    EXPECT_EQ(ThreadsNamed("quiva-timers"), 1);
    EXPECT_EQ(ThreadsNamed("quiva-sound"), 1);
    quiva::StopServiceThreads();
    EXPECT_EQ(ThreadsNamed("quiva-timers"), 1);
    EXPECT_TRUE(NoneLeft("quiva-sound"));
    int before = g_ticks;
    ASSERT_TRUE(WaitFor([&] { return g_ticks > before + 2; })) << "the timer still runs";

    ASSERT_TRUE(DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE));
    quiva::StopServiceThreads();
    EXPECT_TRUE(NoneLeft("quiva-timers"));
    quiva::StopServiceThreads();  // nothing left to stop

    // Needed again: a new timer and a new sound run on new threads.
    std::atomic<int> once{0};
    ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, [](PVOID p, BOOLEAN) { ++*static_cast<std::atomic<int>*>(p); }, &once,
                                      0, 0, WT_EXECUTEONLYONCE));
    EXPECT_TRUE(WaitFor([&] { return once == 1; }));
    EXPECT_TRUE(PlaySoundW(MAKEINTRESOURCEW(10014), GetModuleHandleW(L"QUIVA.Capture.dll"), SND_RESOURCE | SND_SYNC));
    EXPECT_EQ(ThreadsNamed("quiva-sound"), 1);
    quiva::StopServiceThreads();
    EXPECT_TRUE(NoneLeft("quiva-timers"));
    EXPECT_TRUE(NoneLeft("quiva-sound"));
}

// Timers set while the thread is being stopped are not lost: each either keeps the old thread or
// starts a new one.
TEST(ServiceThreads, ATimerSetWhileStoppingStillFires)
{
    std::atomic<int> fired{0};
    for (int round = 0; round < 200; ++round) {
        std::thread stopper([] { quiva::StopServiceThreads(); });
        HANDLE timer = nullptr;
        ASSERT_TRUE(CreateTimerQueueTimer(&timer, nullptr, [](PVOID p, BOOLEAN) { ++*static_cast<std::atomic<int>*>(p); },
                                          &fired, 0, 0, WT_EXECUTEONLYONCE));
        stopper.join();
        ASSERT_TRUE(WaitFor([&] { return fired == round + 1; })) << "round " << round;
    }
}

// The loader's name is set before the start-up returns, so a second loader would be seen at once.
// Threads the text engine starts from the loader carry its name for a moment, so the loader is not
// counted while it runs; it is counted when no loader should be running.
TEST(ServiceThreads, TheFontsLoadOnceOnAThreadThatTheImagingShutdownEnds)
{
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    Gdiplus::GdiplusShutdown(token);
    EXPECT_TRUE(NoneLeft("quiva-fonts"));
    ASSERT_EQ(Gdiplus::GdiplusStartup(&token, &input, nullptr), Gdiplus::Ok);
    EXPECT_EQ(ThreadsNamed("quiva-fonts"), 0) << "the fonts were loaded again";
    Gdiplus::GdiplusShutdown(token);
    Gdiplus::GdiplusShutdown(token);  // nothing left to wait for
}
