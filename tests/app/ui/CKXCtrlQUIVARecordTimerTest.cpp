// The recording indicator: elapsed time since the engine's recording start, its red dot, and
// nothing while hidden.
#include "app/ui/CKXCtrlQUIVARecordTimer.h"

#include <gtest/gtest.h>

#include "capture/CKXMCapture.h"
#include "platform/base/clock.h"
#include "platform/gdi/gdi.h"

using namespace Gdiplus;

TEST(RecordTimer, ShowsHoursUnwrappedAndMinutesAndSecondsModSixty)
{
    EXPECT_EQ(CKXCtrlQUIVARecordTimer::ElapsedText(0), CString(L"녹화중 : 00:00:00"));
    EXPECT_EQ(CKXCtrlQUIVARecordTimer::ElapsedText(5999), CString(L"녹화중 : 00:00:05"));
    EXPECT_EQ(CKXCtrlQUIVARecordTimer::ElapsedText(3723000), CString(L"녹화중 : 01:02:03"));
    EXPECT_EQ(CKXCtrlQUIVARecordTimer::ElapsedText(360000000), CString(L"녹화중 : 100:00:00"));
    EXPECT_EQ(CKXCtrlQUIVARecordTimer::ElapsedText(360000000 + 61000), CString(L"녹화중 : 100:01:01"));
}

TEST(RecordTimer, DrawsTheTimeSinceTheRecordingStartWithARedDot)
{
    quiva::ScopedVirtualClock clock;
    // The recording started just before the 32-bit tick wrapped.
    clock.clock().Advance(0x100000000ull - 1000000 - 3000);
    CKXMCapture engine;
    engine.m_dwRecordStart = GetTickCount();
    clock.clock().Advance(5000);

    CKXCtrlQUIVARecordTimer timer;
    timer.engine = &engine;
    timer.Create(107, 0, 0, 200, 32);
    Bitmap bitmap(200, 32, PixelFormat32bppARGB);
    {
        Graphics g(&bitmap);
        SolidBrush black{Color(0xFF000000u)};
        g.FillRectangle(&black, 0, 0, 200, 32);
        CKXCtrlRenderHint hint;
        timer.Draw(&g, 0, 0, &hint, nullptr);
        g.Flush();
    }
    Color c;
    bitmap.GetPixel(200 - 32 + 16, 16, &c);  // the dot's centre
    EXPECT_EQ(c.GetValue(), 0xFFFF0000u);
    int white = 0;
    for (int x = 0; x < 168; ++x)
        for (int y = 0; y < 32; ++y) {
            bitmap.GetPixel(x, y, &c);
            white += c.GetR() > 200 && c.GetG() > 200;
        }
    EXPECT_GT(white, 20);  // the text

    // Hidden: nothing is drawn.
    timer.visible = 0;
    Bitmap empty(200, 32, PixelFormat32bppARGB);
    {
        Graphics g(&empty);
        CKXCtrlRenderHint hint;
        timer.Draw(&g, 0, 0, &hint, nullptr);
        g.Flush();
    }
    empty.GetPixel(184, 16, &c);
    EXPECT_EQ(c.GetA(), 0);
}
