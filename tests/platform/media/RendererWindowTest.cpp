#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "MediaTestSupport.h"
#include "platform/media/FilterBase.h"
#include "platform/media/VideoWindow.h"
#include "platform/ui/winuser.h"
#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;
using quiva::ComPtr;

namespace {

class RendererWindowTest : public UiTest {};

uint32_t Rgb(const quiva::Surface& s, int x, int y) { return s.At(x, y) & 0xFFFFFFu; }

// The camera's picture painted into a child window: letter-boxed, then stretched after the
// aspect mode and position change, and repainted on request.
TEST_F(RendererWindowTest, PaintsTheLatestFrameIntoItsWindow)
{
    ScopedDevices devices(kStandardDevices);
    quiva::media::UseWindowSystemForVideo();
    HWND top = Top(0, 0, 700, 400);
    HWND video = Child(top, 20, 10, 640, 240);
    auto g = NewGraph();
    auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    auto r = AddWindowlessVmr9(g.Get());
    auto wc = r.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_EQ(S_OK, wc->SetVideoClippingWindow(video));
    ASSERT_EQ(S_OK, wc->SetAspectRatioMode(VMR9ARMode_LetterBox));
    RECT client;
    GetClientRect(video, &client);
    ASSERT_EQ(S_OK, wc->SetVideoPosition(nullptr, &client));
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), r.Get()));
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    control->Stop();

    quiva::Surface* s = quiva::ui::WindowSurface(video);
    ASSERT_NE(nullptr, s);
    const POINT o = quiva::ui::ClientOriginInSurface(video);
    // 320x240 into 640x240 keeping the aspect: a 320-wide picture centred, black bars beside.
    EXPECT_EQ(0u, Rgb(*s, o.x + 50, o.y + 200));
    EXPECT_EQ(0u, Rgb(*s, o.x + 600, o.y + 200));
    EXPECT_EQ(quiva::media::SyntheticBarColour(0, 8), Rgb(*s, o.x + 160 + 5, o.y + 200));
    EXPECT_EQ(quiva::media::SyntheticBarColour(7, 8), Rgb(*s, o.x + 480 - 5, o.y + 200));
    // Nothing outside the video window was touched.
    EXPECT_NE(quiva::media::SyntheticBarColour(0, 8), Rgb(*s, o.x + 165, o.y + 245));

    ASSERT_EQ(S_OK, wc->SetAspectRatioMode(VMR9ARMode_None));
    ASSERT_EQ(S_OK, wc->RepaintVideo(video, nullptr));
    EXPECT_EQ(quiva::media::SyntheticBarColour(0, 8), Rgb(*s, o.x + 5, o.y + 200));
    EXPECT_EQ(quiva::media::SyntheticBarColour(7, 8), Rgb(*s, o.x + 635, o.y + 200));
    quiva::ui::PumpPending();
}

// The window goes while the camera keeps streaming into it: the renderer's paints stop touching
// it, the frames are still kept, and a new window takes the picture.
TEST_F(RendererWindowTest, WindowDestroyedWhileFramesStream)
{
    ScopedDevices devices(kStandardDevices);
    quiva::media::UseWindowSystemForVideo();
    auto g = NewGraph();
    auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    auto r = AddWindowlessVmr9(g.Get());
    auto wc = r.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), r.Get()));
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    // The first window is already gone when streaming starts.
    HWND gone = Top(0, 0, 100, 100);
    ASSERT_EQ(S_OK, wc->SetVideoClippingWindow(gone));
    DestroyWindow(gone);
    ASSERT_EQ(S_OK, control->Run());
    // Repaints asked for from another thread as fast as it can, besides the camera's own.
    std::atomic<bool> done{false};
    std::thread repaint([&] {
        while (!done)
            wc->RepaintVideo(nullptr, nullptr);
    });
    HWND video = nullptr;
    for (int round = 0; round < 6; ++round) {
        HWND top = Top(0, 0, 360 + round, 260);
        video = Child(top, 10, 10, 320, 240);
        ASSERT_EQ(S_OK, wc->SetVideoClippingWindow(video));
        quiva::Surface* s = quiva::ui::WindowSurface(video);
        ASSERT_NE(nullptr, s);
        const POINT o = quiva::ui::ClientOriginInSurface(video);
        // Wait for a frame painted into this window, then destroy it under the stream.
        bool shown = false;
        for (int i = 0; i < 200 && !shown; ++i) {
            quiva::ui::PumpPending();
            {
                std::lock_guard lock(s->Mutex());
                shown = Rgb(*s, o.x + 5, o.y + 120) == quiva::media::SyntheticBarColour(0, 8);
            }
            if (!shown)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EXPECT_TRUE(shown) << "round " << round;
        DestroyWindow(top);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(80));  // frames for a window that is gone
    done = true;
    repaint.join();
    control->Stop();
    EXPECT_FALSE(IsWindow(video));
    BYTE* dib = nullptr;
    ASSERT_EQ(S_OK, wc->GetCurrentImage(&dib));
    EXPECT_EQ(320, reinterpret_cast<BITMAPINFOHEADER*>(dib)->biWidth);
    CoTaskMemFree(dib);
}

// A source that sends the frames a test gives it, from the thread the test calls it on.
class PushSource final : public quiva::media::Filter {
public:
    PushSource() : Filter(CLSID_QuivaDeviceFilter) { m_out = AddPin(L"Capture", PINDIR_OUTPUT); }
    std::vector<quiva::media::MediaType> OutputTypes(quiva::media::Pin*) override
    {
        return {quiva::media::MakeVideoType(MEDIASUBTYPE_RGB32, 320, 240, 333333)};
    }
    bool IsSource() const override { return true; }
    quiva::media::Pin* Out() { return m_out; }

private:
    quiva::media::Pin* m_out;
};

// Each frame the renderer paints from its streaming thread reaches the display once: the window's
// own thread does not show the same pixels again, while a part of the window really exposed is
// still shown from the surface, picture and all.
TEST_F(RendererWindowTest, EachFrameIsPresentedOnce)
{
    quiva::media::UseWindowSystemForVideo();
    HWND top = Top(0, 0, 400, 300);
    HWND video = Child(top, 20, 10, 320, 240);
    auto g = NewGraph();
    auto* source = new PushSource();
    ComPtr<IBaseFilter> src = ComPtr<IBaseFilter>::Adopt(static_cast<IBaseFilter*>(source));
    ASSERT_EQ(S_OK, g->AddFilter(src.Get(), L"Source"));
    auto r = AddWindowlessVmr9(g.Get());
    auto wc = r.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_EQ(S_OK, wc->SetVideoClippingWindow(video));
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), src.Get(), r.Get()));
    const int runWait = quiva::media::RunWaitLimit();
    quiva::media::SetRunWaitLimit(0);
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    control->Run();
    quiva::media::SetRunWaitLimit(runWait);
    quiva::ui::PumpPending();

    std::vector<uint32_t> picture(320 * 240);
    const quiva::ui::PresentTally before = quiva::ui::PresentedSoFar();
    constexpr int kFrames = 5;
    for (int i = 0; i < kFrames; ++i) {
        quiva::media::FrameStamp stamp;
        stamp.counter = static_cast<uint32_t>(i);
        quiva::media::DrawSyntheticPicture(picture.data(), 320, 240, stamp);
        quiva::media::Frame f;
        const auto* bytes = reinterpret_cast<const uint8_t*>(picture.data());
        f.data = std::make_shared<std::vector<uint8_t>>(bytes, bytes + picture.size() * 4);
        f.width = 320;
        f.height = 240;
        f.subtype = MEDIASUBTYPE_RGB32;
        f.index = static_cast<uint64_t>(i);
        std::thread streaming([&] { source->Out()->Deliver(f); });
        streaming.join();
        quiva::ui::PumpPending();  // the window's thread: whatever the frame left it to do
    }
    const quiva::ui::PresentTally shown = quiva::ui::PresentedSoFar();
    EXPECT_EQ(static_cast<uint64_t>(kFrames), shown.presents - before.presents);
    EXPECT_EQ(static_cast<uint64_t>(kFrames) * 320 * 240, shown.pixels - before.pixels);
    EXPECT_FALSE(GetUpdateRect(video, nullptr, FALSE));

    // Exposed: that part is shown again, from the surface that holds the last frame.
    RECT exposed{0, 100, 100, 150};
    InvalidateRect(video, &exposed, FALSE);
    quiva::ui::PumpPending();
    const quiva::ui::PresentTally repainted = quiva::ui::PresentedSoFar();
    EXPECT_EQ(shown.presents + 1, repainted.presents);
    EXPECT_EQ(shown.pixels + 100 * 50, repainted.pixels);
    quiva::Surface* s = quiva::ui::WindowSurface(video);
    ASSERT_NE(nullptr, s);
    const POINT o = quiva::ui::ClientOriginInSurface(video);
    EXPECT_EQ(quiva::media::SyntheticBarColour(0, 8), Rgb(*s, o.x + 5, o.y + 120));
    control->Stop();
}

}  // namespace
