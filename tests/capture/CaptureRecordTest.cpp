#include "tests/support/capture/CaptureTestSupport.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include "capture/CKXMXVideoModel.h"
#include "platform/base/clock.h"
#include "platform/base/debug.h"
#include "platform/base/timerqueue.h"
#include "tests/support/Command.h"
#include "tests/support/HeadlessScreen.h"

using namespace quiva::test;

namespace {

// What ffprobe says of a file's video stream (frames counted by decoding).
std::map<std::string, std::string> Probe(const std::string& path)
{
    std::map<std::string, std::string> out;
    const std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                            "stream=codec_name,width,height,r_frame_rate,nb_read_frames,duration -of default=nw=1 '" +
                            path + "'";
    std::istringstream lines(quiva::test::RunCommand(cmd));
    for (std::string l; std::getline(lines, l);) {
        while (!l.empty() && l.back() == '\r')
            l.pop_back();
        const size_t eq = l.find('=');
        if (eq != std::string::npos)
            out[l.substr(0, eq)] = l.substr(eq + 1);
        else
            out["error"] += l;
    }
    return out;
}

// Whether ffmpeg decodes every frame without a complaint.
bool DecodesCleanly(const std::string& path)
{
    int status = -1;
    const std::string errors = quiva::test::RunCommand("ffmpeg -v error -i '" + path + "' -f null -", &status);
    return status == 0 && errors.empty();
}

class CaptureRecord : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        RegisterPlainWindowClass(L"QUIVACaptureWnd", 0);
    }
    void TearDown() override
    {
        UnregisterClassW(L"QUIVACaptureWnd", nullptr);
        EngineTest::TearDown();
    }
};

}  // namespace

TEST_F(CaptureRecord, TenSecondsPlayForTenSeconds)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    quiva::ScopedVirtualClock clock;
    engine.SetRecordFile(Win("rec.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    EXPECT_EQ(engine.m_bRecording.load(), 1);
    // The recording tick every 10 ms for ten seconds.
    for (int tick = 0; tick < 1000; ++tick) {
        clock->Advance(10);
        EXPECT_EQ(engine.WriteRecordFrame(), 1);
    }
    EXPECT_EQ(engine.FrameIndex(), 130);
    EXPECT_STREQ(engine.EndRecording(), Win("rec.avi"));
    EXPECT_STREQ(engine.EndRecording(), L"");

    auto info = Probe(Native("rec.avi"));
    EXPECT_EQ(info["codec_name"], "msvideo1") << info["error"];
    EXPECT_EQ(info["r_frame_rate"], "13/1");
    EXPECT_EQ(info["nb_read_frames"], "131");
    EXPECT_NEAR(std::stod(info["duration"].empty() ? "0" : info["duration"]), 10.0, 0.1);
    EXPECT_TRUE(DecodesCleanly(Native("rec.avi")));

}

TEST_F(CaptureRecord, ThumbnailOfARecordingFitsItsBox)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    Stamped shown = WaitForPicture(engine);
    ASSERT_TRUE(shown.ok);
    engine.SetRecordFile(Win("thumb.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    engine.WriteRecordFrame();
    ASSERT_STREQ(engine.EndRecording(), Win("thumb.avi"));

    CKXMXVideoModel model;
    std::unique_ptr<Gdiplus::Image> small(model.GetThumbnail(Win("thumb.avi"), 160, 120));
    ASSERT_TRUE(small);
    EXPECT_EQ(static_cast<LONG>(small->GetWidth()), 160);
    EXPECT_EQ(static_cast<LONG>(small->GetHeight()), 160 * shown.header.biHeight / shown.header.biWidth);
    std::unique_ptr<Gdiplus::Image> big(model.GetThumbnail(Win("thumb.avi"), 4000, 3000));
    ASSERT_TRUE(big);
    EXPECT_EQ(static_cast<LONG>(big->GetWidth()), shown.header.biWidth);
    EXPECT_EQ(static_cast<LONG>(big->GetHeight()), shown.header.biHeight);

    EXPECT_FALSE(model.GetThumbnail(Win("missing.avi"), 160, 120));
    WriteAll(Native("text.avi"), "not a video");
    EXPECT_FALSE(model.GetThumbnail(Win("text.avi"), 160, 120));
}

TEST(Thumbnail, FitsTheLongerSideAndNeverEnlarges)
{
    auto fit = [](int w, int h, float bw, float bh) {
        SIZE s = FitThumbnail(w, h, bw, bh);
        return std::make_pair(static_cast<int>(s.cx), static_cast<int>(s.cy));
    };
    EXPECT_EQ(fit(640, 480, 640, 480), std::make_pair(640, 480));
    EXPECT_EQ(fit(640, 480, 160, 120), std::make_pair(160, 120));
    EXPECT_EQ(fit(640, 480, 1280, 960), std::make_pair(640, 480));
    EXPECT_EQ(fit(480, 640, 100, 100), std::make_pair(75, 100));
    EXPECT_EQ(fit(640, 480, 0, 0), std::make_pair(0, 0));
}

TEST_F(CaptureRecord, StartsThatFailLeaveNoFile)
{
    TestEngine engine;
    engine.Load(kList);
    engine.SetRecordFile(Win("idle.avi"), 13, 0);
    EXPECT_EQ(engine.StartRecording(), 0);
    EXPECT_FALSE(std::filesystem::exists(Native("idle.avi")));

    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    // The renderer asked for is not the one in the graph: no picture to start with.
    engine.m_nRendererKind = KXM_RENDERER_EVR;
    engine.SetRecordFile(Win("nopicture.avi"), 13, 0);
    EXPECT_EQ(engine.StartRecording(), 0);
    EXPECT_FALSE(std::filesystem::exists(Native("nopicture.avi")));
    EXPECT_STREQ(engine.EndRecording(), L"");
    engine.m_nRendererKind = KXM_RENDERER_VMR9;
    engine.SetRecordFile(Win("missing\\folder\\x.avi"), 13, 0);
    EXPECT_EQ(engine.StartRecording(), 0);

    // A file already under the name that cannot be opened for writing (here: a program running
    // from it) is not the recording's: it stays.
    const std::string taken = Native("taken.avi");
    std::filesystem::copy_file("/bin/sleep", taken);
    std::filesystem::permissions(taken, std::filesystem::perms::owner_all);
    pid_t pid = -1;
    char* argv[] = { const_cast<char*>(taken.c_str()), const_cast<char*>("30"), nullptr };
    ASSERT_EQ(posix_spawn(&pid, taken.c_str(), nullptr, nullptr, argv, environ), 0);
    bool busy = false;
    for (int i = 0; i < 200 && !busy; ++i) {
        const int fd = ::open(taken.c_str(), O_RDWR);
        busy = fd < 0 && errno == ETXTBSY;
        if (fd >= 0)
            ::close(fd);
        if (!busy)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    engine.SetRecordFile(Win("taken.avi"), 13, 0);
    if (busy) {
        EXPECT_EQ(engine.StartRecording(), 0);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ASSERT_TRUE(busy);
    EXPECT_TRUE(std::filesystem::exists(taken));
    EXPECT_FALSE(engine.IsRecordingOpen());
}

TEST_F(CaptureRecord, NewStartWaitsUntilTheLastRecordingIsEnded)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    engine.SetRecordFile(Win("first.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    // The title bar ends a recording by clearing the flag; the tick has not closed it yet.
    engine.m_bRecording = 0;
    EXPECT_EQ(engine.WriteRecordFrame(), 0);
    engine.SetRecordFile(Win("second.avi"), 13, 0);
    EXPECT_EQ(engine.StartRecording(), 0);
    EXPECT_STREQ(engine.GetRecordFile(), Win("first.avi"));
    EXPECT_STREQ(engine.EndRecording(), Win("first.avi"));
    EXPECT_FALSE(std::filesystem::exists(Native("second.avi")));

    // Now the next one starts, again from frame 0.
    engine.SetRecordFile(Win("second.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    EXPECT_EQ(engine.FrameIndex(), 0);
    EXPECT_STREQ(engine.EndRecording(), Win("second.avi"));
    EXPECT_EQ(Probe(Native("first.avi"))["nb_read_frames"], "1");
    EXPECT_EQ(Probe(Native("second.avi"))["nb_read_frames"], "1");
}

TEST_F(CaptureRecord, PictureOfAnotherSizeEndsTheRecording)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    quiva::ScopedVirtualClock clock;
    engine.SetRecordFile(Win("switch.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    clock->Advance(1000);
    EXPECT_EQ(engine.WriteRecordFrame(), 1);
    // The card's widest format replaces the camera's picture.
    ASSERT_EQ(engine.SelectDevice(L"Test Card [S-Video]", nullptr), 1);
    ASSERT_EQ(engine.Start(m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    clock->Advance(1000);
    EXPECT_EQ(engine.WriteRecordFrame(), 0);
    EXPECT_EQ(engine.m_bRecording.load(), 0);
    EXPECT_TRUE(engine.IsRecordingOpen());
    EXPECT_STREQ(engine.EndRecording(), Win("switch.avi"));
    auto info = Probe(Native("switch.avi"));
    EXPECT_EQ(info["nb_read_frames"], "14") << info["error"];
    EXPECT_TRUE(DecodesCleanly(Native("switch.avi")));
}

namespace {

// The capture model's recording tick: a frame while the flag is set; once it is cleared, the
// recording is ended and its thumbnail taken, on the timer thread. The timer goes with the
// recorder, after the tick it may be running, however the test leaves.
struct Recorder {
    CKXMCapture* engine = nullptr;
    HANDLE timer = nullptr;
    std::atomic<int> ticks {0};
    std::atomic<bool> done {false};
    CString finished;
    std::unique_ptr<Gdiplus::Image> thumbnail;

    ~Recorder()
    {
        if (timer)
            DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    }

    static void CALLBACK Tick(PVOID self, BOOLEAN)
    {
        auto* r = static_cast<Recorder*>(self);
        if (r->done)
            return;
        ++r->ticks;
        if (r->engine->m_bRecording) {
            r->engine->WriteRecordFrame();
            return;
        }
        r->finished = r->engine->EndRecording();
        CKXMXVideoModel model;
        r->thumbnail.reset(model.GetThumbnail(r->finished, 160, 120));
        // The ticks after this one do nothing; the timer itself goes with the recorder.
        r->done = true;
    }
};

}  // namespace

TEST_F(CaptureRecord, TickOnTheTimerThreadWhileTheWindowChangesTheSource)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    engine.SetRecordFile(Win("busy.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    Recorder r;
    r.engine = &engine;
    ASSERT_TRUE(CreateTimerQueueTimer(&r.timer, nullptr, Recorder::Tick, &r, 10, 10, WT_EXECUTEINTIMERTHREAD));

    // Meanwhile the capture window works on the engine.
    for (int i = 0; i < 10; ++i) {
        SetWindowPos(m_wnd, nullptr, 0, 0, 600 + i * 10, 360, SWP_NOZORDER | SWP_NOMOVE);
        engine.UpdateVideoPosition();
        engine.SetColorControls(i, i, i, i);
        if (i == 4) {
            engine.Stop();
            engine.SelectDevice(L"Test Camera", nullptr);
            engine.Start(m_wnd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    engine.m_bRecording = 0;
    // The next tick ends the recording and reads its thumbnail: slow under a sanitizer on a
    // busy machine, so the bound is only for a tick that never comes.
    const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(3);
    while (!r.done && std::chrono::steady_clock::now() < bound)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(r.done);
    EXPECT_STREQ(r.finished, Win("busy.avi"));
    EXPECT_TRUE(r.thumbnail);
    engine.Close();
    auto info = Probe(Native("busy.avi"));
    EXPECT_GE(std::stoi(info["nb_read_frames"].empty() ? "0" : info["nb_read_frames"]), 2) << info["error"];
    EXPECT_TRUE(DecodesCleanly(Native("busy.avi")));
}

TEST_F(CaptureRecord, FullFileEndsTheRecordingPlayable)
{
    struct Limit {
        Limit() { quiva::media::SetAviSizeLimit(400 * 1024); }
        ~Limit() { quiva::media::SetAviSizeLimit(1ull << 30); }
    } limit;
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    quiva::ScopedVirtualClock clock;
    engine.SetRecordFile(Win("full.avi"), 13, 0);
    ASSERT_EQ(engine.StartRecording(), 1);
    quiva::DebugCapture debug;
    int ticks = 0;
    while (engine.m_bRecording && ticks < 100000) {
        clock->Advance(77);
        engine.WriteRecordFrame();
        ++ticks;
    }
    EXPECT_EQ(engine.m_bRecording.load(), 0);
    EXPECT_TRUE(debug.Contains(L"AVIERR : "));
    const int written = engine.FrameIndex() + 1;
    EXPECT_STREQ(engine.EndRecording(), Win("full.avi"));
    EXPECT_LE(std::filesystem::file_size(Native("full.avi")), 400u * 1024);
    auto info = Probe(Native("full.avi"));
    EXPECT_EQ(info["nb_read_frames"], std::to_string(written)) << info["error"];
    EXPECT_TRUE(DecodesCleanly(Native("full.avi")));
}

TEST_F(CaptureRecord, UnloadDuringARecordingFinishesItsFile)
{
    {
        TestEngine engine;
        engine.Load(kList);
        ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
        ASSERT_TRUE(WaitForPicture(engine).ok);
        quiva::ScopedVirtualClock clock;
        engine.SetRecordFile(Win("unload.avi"), 13, 0);
        ASSERT_EQ(engine.StartRecording(), 1);
        clock->Advance(1000);
        engine.WriteRecordFrame();
    }
    auto info = Probe(Native("unload.avi"));
    EXPECT_EQ(info["nb_read_frames"], "14") << info["error"];
    EXPECT_TRUE(DecodesCleanly(Native("unload.avi")));
}
