// The splitter bar: dragging its handle within the limits, hiding and showing the thumbnail
// pane, cursors, and its look.
#include "app/ui/CKXQUIVASplitWnd.h"

#include "app/ui/CKXQUIVACaptureWnd.h"
#include "framework/CKXWnd.h"
#include "tests/app/ui/AppWindowTestSupport.h"

using namespace quiva::test;

namespace {

class Splitter : public AppWindowTest {
protected:
    void SetUp() override
    {
        AppWindowTest::SetUp();
        // Client area 1000 x 700 (the thick frame adds its border around it).
        int border = quiva::ui::FrameWidth(WS_POPUP | WS_THICKFRAME);
        ASSERT_TRUE(frame.CreateAt(0, 0, 1000 + 2 * border, 700 + 2 * border));
        ASSERT_TRUE(video.Create(&frame));
        ASSERT_TRUE(thumbs.CreateEx(0, KX_WINDOW_CLASS, L"", WS_CHILD | WS_VISIBLE, CRect(0, 0, 0, 0), &frame, 2));
        ASSERT_EQ(bar.Create(&frame, kTop, &video, &thumbs), 1);
        bar.thumbnailWidth = 200;
        bar.Relayout();
    }
    CRect InFrame(CWnd& w)
    {
        CRect r;
        w.GetWindowRect(&r);
        frame.ScreenToClient(&r);
        return r;
    }
    POINT BarPoint(int x, int y)
    {
        CPoint p(x, y);
        bar.ClientToScreen(&p);
        return p;
    }
    void Press(int x, int y)
    {
        POINT p = BarPoint(x, y);
        quiva::ui::InjectPause(1000);
        quiva::ui::InjectMouseMove(p.x, p.y);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
        Pump();
        m_pressAt = p;
    }
    void MoveBy(int dx)
    {
        quiva::ui::InjectMouseMove(m_pressAt.x + dx, m_pressAt.y);
        Pump();
    }
    void Release(int dx)
    {
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, m_pressAt.x + dx, m_pressAt.y);
        Pump();
    }
    void Click(int x, int y)
    {
        Press(x, y);
        Release(0);
    }

    static constexpr int kTop = 60;
    WhiteFrame frame;
    CKXQUIVACaptureWnd video;
    CWnd thumbs;
    CKXQUIVASplitWnd bar;
    POINT m_pressAt{};
};

}  // namespace

TEST_F(Splitter, RelayoutPlacesVideoBarAndThumbnailsAcrossTheClientWidth)
{
    EXPECT_EQ(bar.GetDlgCtrlID(), 999);
    EXPECT_EQ(RectText(InFrame(video)), RectText(CRect(0, kTop, 776, 700)));
    EXPECT_EQ(RectText(InFrame(bar)), RectText(CRect(776, kTop, 800, 700)));
    EXPECT_EQ(RectText(InFrame(thumbs)), RectText(CRect(800, kTop, 1000, 700)));
}

TEST_F(Splitter, DraggingTheHandleKeepsTheLimitsAndDropsRefusedMovement)
{
    Press(4, 100);
    EXPECT_TRUE(bar.dragging);
    MoveBy(-50);
    EXPECT_EQ(bar.thumbnailWidth, 250);
    EXPECT_EQ(InFrame(video).Width(), 726);
    EXPECT_EQ(InFrame(bar).left, 726);
    EXPECT_EQ(RectText(InFrame(thumbs)), RectText(CRect(750, kTop, 1000, 700)));
    MoveBy(-250);  // thumbnails would be 450 wide: refused
    EXPECT_EQ(bar.thumbnailWidth, 250);
    MoveBy(-230);  // back 20 from where the cursor is now, not from where the bar stands
    EXPECT_EQ(bar.thumbnailWidth, 230);
    MoveBy(100);  // 100 wide: refused
    EXPECT_EQ(bar.thumbnailWidth, 230);
    Release(100);
    EXPECT_FALSE(bar.dragging);
    EXPECT_FALSE(bar.collapsed);  // a press on the handle is no click on the button zone
    EXPECT_TRUE(debug.Contains(L"746 230\n"));

    // The video must stay wider than 400.
    frame.MoveWindow(0, 0, 640, 700);
    bar.Relayout();
    int before = bar.thumbnailWidth;
    Press(4, 100);
    MoveBy(-40);
    EXPECT_EQ(bar.thumbnailWidth, before);
    Release(-40);
}

TEST_F(Splitter, TheButtonZoneHidesAndShowsTheThumbnailsAtTheirWidth)
{
    Click(16, 100);
    EXPECT_TRUE(bar.collapsed);
    EXPECT_FALSE(thumbs.IsWindowVisible());
    EXPECT_EQ(RectText(InFrame(video)), RectText(CRect(0, kTop, 976, 700)));
    EXPECT_EQ(RectText(InFrame(bar)), RectText(CRect(976, kTop, 1000, 700)));

    // Collapsed: the cursor stays an arrow and the handle does not drag; the whole bar clicks.
    POINT p = BarPoint(3, 100);
    quiva::ui::InjectMouseMove(p.x, p.y);
    Pump();
    EXPECT_EQ(GetCursor(), bar.arrowCursor);
    EXPECT_FALSE(bar.handleHover);
    Press(3, 100);
    EXPECT_FALSE(bar.dragging);
    Release(0);
    EXPECT_FALSE(bar.collapsed);
    EXPECT_TRUE(thumbs.IsWindowVisible());
    EXPECT_EQ(RectText(InFrame(thumbs)), RectText(CRect(800, kTop, 1000, 700)));

    // Shown: over the handle the cursor becomes the sizing one (from the move after the one
    // that found the handle, as the cursor is asked for before the move is handled).
    p = BarPoint(3, 100);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectMouseMove(p.x + 1, p.y);
    Pump();
    EXPECT_EQ(GetCursor(), bar.sizeCursor);
}

TEST_F(Splitter, LosingTheCaptureEndsADrag)
{
    Press(4, 100);
    ASSERT_TRUE(bar.dragging);
    frame.SetCapture();
    Pump();
    EXPECT_FALSE(bar.dragging);
    ReleaseCapture();
    MoveBy(-50);
    EXPECT_EQ(bar.thumbnailWidth, 200);
}

TEST_F(Splitter, PaintsADarkerHandleOnlyWhileShown)
{
    bar.Redraw();
    unsigned handle = Pixel(bar, 4, 50), zone = Pixel(bar, 16, 50);
    EXPECT_NE(handle, zone);
    EXPECT_LT(handle & 0xFF, zone & 0xFF);  // 0x28000000 over the window colour
    quiva::ui::WriteWindowPng(frame, ReferencePictureDir() + "/splitter.png");
    Click(16, 100);
    bar.Redraw();
    EXPECT_EQ(Pixel(bar, 4, 50), Pixel(bar, 16, 50));
}
