#include <gtest/gtest.h>

#include "platform/gdi/Surface.h"
#include "platform/gdi/gdi.h"
#include "platform/gdi/gdiplus.h"

using namespace Gdiplus;

TEST(Clip, GraphicsClipIsSavedAndRestoredAsARegion)
{
    Bitmap target(20, 20);
    Graphics g(&target);
    Region none;
    ASSERT_EQ(g.GetClip(&none), Ok);
    EXPECT_TRUE(none.IsInfinite(&g));
    g.SetClip(RectF(0, 0, 5, 5));
    Region saved;
    g.GetClip(&saved);
    g.SetClip(RectF(10, 10, 5, 5));
    g.SetClip(&saved);
    SolidBrush red{Color(0xFFFF0000u)};
    g.FillRectangle(&red, RectF(0, 0, 20, 20));
    Color c;
    target.GetPixel(2, 2, &c);
    EXPECT_EQ(c.GetValue(), 0xFFFF0000u);
    target.GetPixel(12, 12, &c);
    EXPECT_EQ(c.GetA(), 0);
    // Back to no clip at all.
    g.SetClip(&none);
    g.FillRectangle(&red, RectF(0, 0, 20, 20));
    target.GetPixel(12, 12, &c);
    EXPECT_EQ(c.GetValue(), 0xFFFF0000u);
}

TEST(Clip, IconsDrawnThroughTheDeviceContextKeepToItsClip)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(nullptr, 40, 40);
    HGDIOBJ old = SelectObject(dc, bmp);
    const int level = SaveDC(dc);
    EXPECT_EQ(level, 1);
    EXPECT_EQ(IntersectClipRect(dc, 0, 0, 10, 40), SIMPLEREGION);
    RECT all{0, 0, 40, 40};
    HBRUSH brush = CreateSolidBrush(RGB(255, 0, 0));
    FillRect(dc, &all, brush);
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
    EXPECT_NE(GetPixel(dc, 20, 5), RGB(255, 0, 0));
    EXPECT_TRUE(RestoreDC(dc, -1));
    EXPECT_FALSE(RestoreDC(dc, 1));  // nothing saved any more
    FillRect(dc, &all, brush);
    EXPECT_EQ(GetPixel(dc, 20, 5), RGB(255, 0, 0));
    DeleteObject(brush);
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);
}
