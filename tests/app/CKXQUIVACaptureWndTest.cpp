// The video host: black while no graph runs, the engine's pictures while one does, and
// transparent to hit testing so that a press on the preview drags the frame.
#include "app/CKXQUIVACaptureWnd.h"

#include "tests/app/AppWindowTestSupport.h"
#include "tests/capture/CaptureTestSupport.h"

using namespace quiva::test;

namespace {
using VideoHost = AppWindowTest;
}

TEST_F(VideoHost, StartsEmptyAndPaintsBlackUntilAGraphRuns)
{
    WhiteFrame frame;
    ASSERT_TRUE(frame.CreateAt(100, 100, 800, 600));
    CKXQUIVACaptureWnd video;
    ASSERT_TRUE(video.Create(&frame));
    EXPECT_EQ(video.GetDlgCtrlID(), 1);
    CRect r;
    video.GetClientRect(&r);
    EXPECT_EQ(r.Width(), 0);  // the frame's layout gives it its size
    EXPECT_EQ(r.Height(), 0);
    EXPECT_TRUE(debug.Contains(L"CaptureWnd : "));

    video.MoveWindow(10, 10, 320, 240);
    frame.Invalidate();
    frame.UpdateWindow();
    video.UpdateWindow();
    EXPECT_EQ(Pixel(frame, 5, 5), 0xFFFFFFu);
    EXPECT_EQ(Pixel(video, 160, 120), 0x000000u);  // no engine

    CKXMCapture engine;
    video.engine = &engine;
    video.Invalidate();
    video.UpdateWindow();
    EXPECT_EQ(Pixel(video, 1, 1), 0x000000u);  // an engine that does not run
    // A preview that cannot start says so in the middle of the black area.
    int lit = 0;
    for (int y = 100; y < 140; ++y)
        for (int x = 0; x < 320; ++x)
            lit += Pixel(video, x, y) != 0x000000u;
    EXPECT_GT(lit, 50);

    // While a graph runs the erase leaves the area to the renderer.
    engine.m_bRunning = 1;
    {
        quiva::Surface* s = quiva::ui::WindowSurface(video);
        POINT o = quiva::ui::ClientOriginInSurface(video);
        std::lock_guard<std::recursive_mutex> l(s->Mutex());
        s->Pixels()[static_cast<size_t>(o.y + 5) * static_cast<size_t>(s->Width()) + static_cast<size_t>(o.x + 5)] = 0xFF123456u;
    }
    video.Invalidate();
    video.UpdateWindow();
    EXPECT_EQ(Pixel(video, 5, 5), 0x123456u);
    engine.m_bRunning = 0;
    video.Invalidate();
    video.UpdateWindow();
    EXPECT_EQ(Pixel(video, 5, 5), 0x000000u);  // stopped: black again
}

TEST_F(VideoHost, APressOnThePreviewDragsTheFrame)
{
    WhiteFrame frame;
    ASSERT_TRUE(frame.CreateAt(100, 100, 800, 600));
    CKXQUIVACaptureWnd video;
    ASSERT_TRUE(video.Create(&frame));
    video.MoveWindow(0, 100, 500, 400);
    CKXMCapture engine;  // no DVD graph: the forwards do nothing
    video.engine = &engine;
    CPoint p(200, 200);
    video.ClientToScreen(&p);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
    quiva::ui::InjectMouseMove(p.x + 30, p.y + 20);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, p.x + 30, p.y + 20);
    Pump();
    EXPECT_GT(frame.hitTests, 0);  // the frame answered for the preview's point
    CRect r;
    frame.GetWindowRect(&r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 120);
}
