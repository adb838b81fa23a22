#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "platform/gdi/Surface.h"
#include "platform/gdi/gdi.h"

namespace {

constexpr uint32_t kBlack = 0xFF000000u;
constexpr uint32_t kRed = 0xFFFF0000u;
constexpr uint32_t kBlue = 0xFF0000FFu;

}  // namespace

TEST(SurfaceDC, FillsAtTheOriginAndStopsAtTheClip)
{
    quiva::Surface s(40, 30);
    // A child window at (10, 5) whose visible part ends at x = 20.
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{10, 5}, RECT{10, 5, 20, 30});
    ASSERT_NE(dc, nullptr);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT rc{0, 0, 100, 3};
    EXPECT_EQ(FillRect(dc, &rc, red), 1);
    EXPECT_EQ(s.At(10, 5), kRed);
    EXPECT_EQ(s.At(19, 7), kRed);
    EXPECT_EQ(s.At(20, 5), kBlack);  // outside the clip
    EXPECT_EQ(s.At(10, 8), kBlack);  // below the rectangle
    EXPECT_EQ(s.At(9, 5), kBlack);
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 15, 0), CLR_INVALID);

    // Negative and oversized rectangles never write outside the surface.
    HDC whole = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{-100, -100, 1000, 1000});
    RECT huge{-50, -50, 500, 500};
    EXPECT_EQ(FillRect(whole, &huge, red), 1);
    EXPECT_EQ(s.At(39, 29), kRed);
    EXPECT_TRUE(DeleteDC(whole));

    EXPECT_FALSE(DeleteObject(dc));  // a DC is not an object
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));  // already gone: refused, not followed
    EXPECT_EQ(FillRect(dc, &rc, red), 0);
    EXPECT_TRUE(DeleteObject(red));
    EXPECT_FALSE(DeleteObject(red));
    EXPECT_EQ(quiva::CreateSurfaceDC(nullptr, POINT{0, 0}, RECT{0, 0, 1, 1}), nullptr);
}

TEST(MemoryDC, DoubleBufferedPaintReachesTheWindow)
{
    quiva::Surface window(50, 50);
    HDC target = quiva::CreateSurfaceDC(&window, POINT{5, 5}, RECT{5, 5, 45, 45});
    HDC mem = CreateCompatibleDC(target);
    HBITMAP bmp = CreateCompatibleBitmap(target, 40, 40);
    HGDIOBJ old = SelectObject(mem, bmp);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(GetObjectType(mem), static_cast<DWORD>(OBJ_MEMDC));
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(bmp, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 40);

    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT all{0, 0, 40, 40};
    FillRect(mem, &all, blue);
    SetDCBrushColor(mem, RGB(255, 0, 0));
    RECT spot{3, 4, 5, 6};
    FillRect(mem, &spot, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));

    // A selected bitmap is not freed, and cannot sit in two DCs.
    EXPECT_FALSE(DeleteObject(bmp));
    HDC other = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SelectObject(other, bmp), nullptr);
    DeleteDC(other);

    // Copy wider than the bitmap: only what the source holds arrives.
    EXPECT_TRUE(BitBlt(target, 0, 0, 60, 60, mem, 0, 0, SRCCOPY));
    EXPECT_EQ(window.At(5, 5), kBlue);
    EXPECT_EQ(window.At(8, 9), kRed);
    EXPECT_EQ(window.At(44, 44), kBlue);
    EXPECT_EQ(window.At(45, 45), kBlack);
    EXPECT_EQ(window.At(4, 5), kBlack);

    // Source offset past the bitmap's edge copies the remaining part only.
    quiva::Surface w2(10, 10);
    HDC t2 = quiva::CreateSurfaceDC(&w2, POINT{0, 0}, RECT{0, 0, 10, 10});
    EXPECT_TRUE(BitBlt(t2, 0, 0, 10, 10, mem, 36, 36, SRCCOPY));
    EXPECT_EQ(w2.At(3, 3), kBlue);
    EXPECT_EQ(w2.At(4, 4), kBlack);
    EXPECT_FALSE(BitBlt(t2, 0, 0, 10, 10, mem, 0, 0, 0x00EE0086u));  // unsupported raster op

    SelectObject(mem, old);
    EXPECT_TRUE(DeleteObject(bmp));
    EXPECT_TRUE(DeleteObject(blue));
    DeleteDC(mem);
    DeleteDC(t2);
    DeleteDC(target);
}

TEST(MemoryDC, OverlappingCopyWithinOneSurfaceKeepsRows)
{
    quiva::Surface s(4, 6);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 4, 6});
    for (int y = 0; y < 6; ++y)
        SetPixel(dc, 0, y, RGB(y * 10, 0, 0));
    EXPECT_TRUE(BitBlt(dc, 0, 2, 1, 4, dc, 0, 0, SRCCOPY));
    for (int y = 0; y < 4; ++y)
        EXPECT_EQ(GetPixel(dc, 0, y + 2), RGB(y * 10, 0, 0)) << y;
    DeleteDC(dc);
}

TEST(GdiObjects, SelectionBookkeepingAndStockObjects)
{
    quiva::Surface s(20, 20);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 20, 20});
    HBRUSH green = CreateSolidBrush(RGB(0, 255, 0));
    HPEN white = CreatePen(PS_SOLID, 2, RGB(255, 255, 255));
    HGDIOBJ oldBrush = SelectObject(dc, green);
    HGDIOBJ oldPen = SelectObject(dc, white);
    EXPECT_EQ(oldBrush, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(oldPen, GetStockObject(BLACK_PEN));
    EXPECT_EQ(GetCurrentObject(dc, OBJ_BRUSH), green);
    EXPECT_FALSE(DeleteObject(green));  // selected: the DC would be left pointing at nothing

    // Rectangle: pen border of its width around a brush fill.
    EXPECT_TRUE(Rectangle(dc, 2, 2, 12, 12));
    EXPECT_EQ(s.At(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(s.At(3, 6), 0xFFFFFFFFu);
    EXPECT_EQ(s.At(4, 6), 0xFF00FF00u);
    EXPECT_EQ(s.At(12, 6), 0xFF000000u);

    // A window DC takes no bitmap.
    HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
    EXPECT_EQ(SelectObject(dc, bmp), nullptr);

    // Deleting the DC releases what it held.
    DeleteDC(dc);
    EXPECT_TRUE(DeleteObject(green));
    EXPECT_TRUE(DeleteObject(white));
    EXPECT_TRUE(DeleteObject(bmp));

    // Stock objects survive DeleteObject.
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetStockObject(-1), nullptr);
    EXPECT_EQ(GetStockObject(99), nullptr);

    // Handles that were never ours are refused.
    int junk = 0;
    EXPECT_EQ(SelectObject(reinterpret_cast<HDC>(&junk), GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_FALSE(DeleteObject(&junk));
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, -1, 5), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 1 << 16, 1 << 16), nullptr);
}

TEST(GdiObjects, LinesFramesAndViewport)
{
    quiva::Surface s(20, 20);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 20, 20});
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    RECT r{1, 1, 6, 6};
    EXPECT_EQ(FrameRect(dc, &r, red), 1);
    EXPECT_EQ(s.At(1, 1), 0xFFFF0000u);
    EXPECT_EQ(s.At(5, 5), 0xFFFF0000u);
    EXPECT_EQ(s.At(3, 3), 0xFF000000u);
    EXPECT_EQ(s.At(6, 6), 0xFF000000u);

    SelectObject(dc, GetStockObject(WHITE_PEN));
    MoveToEx(dc, 8, 10, nullptr);
    EXPECT_TRUE(LineTo(dc, 18, 10));
    EXPECT_EQ(s.At(12, 10), 0xFFFFFFFFu);
    EXPECT_EQ(s.At(12, 11), 0xFF000000u);
    POINT at{};
    MoveToEx(dc, 0, 0, &at);
    EXPECT_EQ(at.x, 18);

    POINT old{};
    SetViewportOrgEx(dc, 10, 10, &old);
    RECT cell{0, 0, 2, 2};
    FillRect(dc, &cell, red);
    EXPECT_EQ(s.At(10, 10), 0xFFFF0000u);
    EXPECT_EQ(s.At(12, 12), 0xFF000000u);
    DeleteDC(dc);
    DeleteObject(red);
}

TEST(GdiObjects, OneBrushSelectedFromSeveralThreadsIsCountedExactly)
{
    // Streaming threads and the UI thread make and drop DCs at once; every DC selects the stock
    // objects, so their counts are shared. A lost count would make a selected brush deletable,
    // or an unselected one undeletable.
    HBRUSH shared = CreateSolidBrush(RGB(1, 2, 3));
    auto work = [shared] {
        quiva::Surface s(4, 4);
        for (int i = 0; i < 2000; ++i) {
            HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 4, 4});
            SelectObject(dc, shared);
            DeleteDC(dc);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(work);
    quiva::Surface s(4, 4);
    HDC held = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 4, 4});
    SelectObject(held, shared);
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(DeleteObject(shared));  // still selected into `held`
    DeleteDC(held);
    EXPECT_TRUE(DeleteObject(shared));
}
