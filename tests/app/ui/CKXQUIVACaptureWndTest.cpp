// The video host: black while no graph runs, the engine's pictures while one does, transparent
// to hit testing so that a press on the preview drags the frame, and the mouse's own over a DVD
// menu button.
#include "app/ui/CKXQUIVACaptureWnd.h"

#include "tests/app/ui/AppWindowTestSupport.h"
#include "tests/support/capture/CaptureTestSupport.h"

using namespace quiva::test;

namespace {
using VideoHost = AppWindowTest;

// A press at a screen point, a move by (dx, dy) and the release there.
void DragBy(CPoint p, int dx, int dy)
{
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
    quiva::ui::InjectMouseMove(p.x + dx, p.y + dy);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, p.x + dx, p.y + dy);
}
}  // namespace

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
    DragBy(p, 30, 20);
    Pump();
    EXPECT_GT(frame.hitTests, 0);  // the frame answered for the preview's point
    CRect r;
    frame.GetWindowRect(&r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 120);
}

TEST_F(VideoHost, WhileTheDvdRunsItsButtonsTakeTheMouseAndTheRestOfThePictureDragsTheWindow)
{
    WhiteFrame frame;
    ASSERT_TRUE(frame.CreateAt(100, 100, 800, 600));
    CKXQUIVACaptureWnd video;
    ASSERT_TRUE(video.Create(&frame));
    video.MoveWindow(0, 100, 640, 360);
    TestEngine engine;
    engine.Load(L"3@@DVD@@@@CD-ROM@@0@@0@@0\n");
    video.engine = &engine;
    ASSERT_EQ(engine.StartPreview(L"CD-ROM", video), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    auto state = engine.Filter(L"DVD Navigator").As<IQuivaDvdMenuState>(IID_IQuivaDvdMenuState);
    ASSERT_TRUE(state);

    // The 720x480 menu letter-boxed in 640x360: the second button lies at x 252..387, y 255..315.
    CPoint p(300, 280);
    video.ClientToScreen(&p);
    quiva::ui::InjectMouseMove(p.x, p.y);
    Pump();
    LONG selected = -1, activated = -1;
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(selected, 1);  // highlighted under the mouse
    EXPECT_EQ(activated, -1);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, p.x, p.y);
    Pump();
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(activated, 1);
    CRect r;
    frame.GetWindowRect(&r);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);

    // Above the buttons the picture drags the window as any other does.
    CPoint q(300, 100);
    video.ClientToScreen(&q);
    DragBy(q, 30, 20);
    Pump();
    frame.GetWindowRect(&r);
    EXPECT_EQ(r.left, 130);
    EXPECT_EQ(r.top, 120);
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(activated, 1);
    engine.Close();
}
