#include <gtest/gtest.h>

#include <cwchar>
#include <thread>

#include "platform/gdi/Surface.h"
#include "platform/gdi/gdiplus.h"

using namespace Gdiplus;

namespace {

// A window-sized surface with a DC and a graphics on it, as a host's paint handler has them.
struct Canvas {
    quiva::Surface surface;
    HDC dc;
    std::unique_ptr<Graphics> g;
    Canvas(int w, int h, POINT origin = {0, 0}) : surface(w, h)
    {
        dc = quiva::CreateSurfaceDC(&surface, origin, RECT{0, 0, w, h});
        g = std::make_unique<Graphics>(dc);
        g->SetSmoothingMode(SmoothingModeAntiAlias);
        g->SetInterpolationMode(InterpolationModeHighQuality);
        g->SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
    }
    ~Canvas()
    {
        g.reset();
        DeleteDC(dc);
    }
    uint32_t At(int x, int y) const { return surface.At(x, y); }
    // Pixels in a rectangle that differ from `background`.
    int Changed(int l, int t, int r, int b, uint32_t background = 0xFF000000u) const
    {
        int n = 0;
        for (int y = t; y < b; ++y)
            for (int x = l; x < r; ++x)
                n += At(x, y) != background;
        return n;
    }
};

}  // namespace

TEST(Graphics, ShapesLandOnThePixelsAsked)
{
    Canvas c(60, 40, POINT{5, 5});
    SolidBrush red(Color(255, 255, 0, 0));
    EXPECT_EQ(c.g->FillRectangle(&red, RectF(0, 0, 10, 10)), Ok);
    EXPECT_EQ(c.At(5, 5), 0xFFFF0000u);    // origin honoured
    EXPECT_EQ(c.At(14, 14), 0xFFFF0000u);
    EXPECT_EQ(c.At(15, 15), 0xFF000000u);  // the rectangle is 10 wide, not 11

    // A one-pixel pen on integer coordinates is one crisp pixel wide.
    Pen white(Color(255, 255, 255, 255), 1.0f);
    c.g->DrawRectangle(&white, RectF(20, 0, 10, 10));
    EXPECT_EQ(c.At(25, 5), 0xFFFFFFFFu);
    EXPECT_EQ(c.At(24, 10), 0xFF000000u);
    EXPECT_EQ(c.At(26, 10), 0xFF000000u);
    EXPECT_EQ(c.At(35, 10), 0xFFFFFFFFu);
    EXPECT_EQ(c.At(30, 10), 0xFF000000u);  // inside stays unfilled

    // Half-transparent fill blends with what is below.
    SolidBrush half(Color(128, 0, 0, 255));
    c.g->FillRectangle(&half, RectF(0, 0, 4, 4));
    uint32_t px = c.At(6, 6);
    EXPECT_EQ(px >> 24, 0xFFu);
    EXPECT_NEAR(static_cast<int>((px >> 16) & 0xFF), 127, 2);
    EXPECT_NEAR(static_cast<int>(px & 0xFF), 128, 2);

    SolidBrush green(Color(255, 0, 255, 0));
    c.g->FillEllipse(&green, RectF(40, 0, 10, 10));
    EXPECT_EQ(c.At(50, 10), 0xFF00FF00u);  // centre
    EXPECT_EQ(c.At(45, 5), 0xFF000000u);   // corner of the bounding box stays clear

    // Null arguments are refused, not followed.
    EXPECT_EQ(c.g->FillRectangle(nullptr, RectF(0, 0, 1, 1)), InvalidParameter);
    EXPECT_EQ(c.g->DrawLine(nullptr, 0.f, 0.f, 1.f, 1.f), InvalidParameter);
}

TEST(Graphics, RoundedPathFillsInsideAndLeavesCorners)
{
    Canvas c(40, 40);
    GraphicsPath path;
    RectF r(5, 5, 30, 20);
    float d = 10;
    path.AddArc(r.X, r.Y, d, d, 180, 90);
    path.AddArc(r.GetRight() - d, r.Y, d, d, 270, 90);
    path.AddArc(r.GetRight() - d, r.GetBottom() - d, d, d, 0, 90);
    path.AddArc(r.X, r.GetBottom() - d, d, d, 90, 90);
    path.CloseFigure();
    RectF bounds;
    path.GetBounds(&bounds);
    EXPECT_NEAR(bounds.X, 5, 0.01);
    EXPECT_NEAR(bounds.GetRight(), 35, 0.01);
    SolidBrush blue(Color(255, 0, 0, 255));
    c.g->FillPath(&blue, &path);
    EXPECT_EQ(c.At(20, 15), 0xFF0000FFu);
    EXPECT_EQ(c.At(6, 15), 0xFF0000FFu);   // straight left edge
    EXPECT_EQ(c.At(5, 5), 0xFF000000u);    // rounded-off corner
    EXPECT_EQ(c.At(34, 24), 0xFF000000u);
    EXPECT_EQ(c.At(36, 15), 0xFF000000u);
}

TEST(Graphics, DrawingThroughADeletedDCDoesNothing)
{
    quiva::Surface s(10, 10);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 10, 10});
    Graphics g(dc);
    DeleteDC(dc);
    SolidBrush red(Color(255, 255, 0, 0));
    EXPECT_EQ(g.FillRectangle(&red, RectF(0, 0, 10, 10)), Ok);
    EXPECT_EQ(s.At(5, 5), 0xFF000000u);
    Graphics bad(static_cast<HDC>(nullptr));
    EXPECT_EQ(bad.GetLastStatus(), InvalidParameter);
}

TEST(Graphics, ImagesAreDrawnScaled)
{
    Bitmap bmp(2, 2);
    bmp.SetPixel(0, 0, Color(255, 255, 0, 0));
    bmp.SetPixel(1, 0, Color(255, 0, 255, 0));
    bmp.SetPixel(0, 1, Color(255, 0, 0, 255));
    bmp.SetPixel(1, 1, Color(255, 255, 255, 255));
    Canvas c(30, 30);
    c.g->SetInterpolationMode(InterpolationModeNearestNeighbor);
    EXPECT_EQ(c.g->DrawImage(&bmp, RectF(5, 5, 20, 20)), Ok);
    EXPECT_EQ(c.At(6, 6), 0xFFFF0000u);
    EXPECT_EQ(c.At(24, 6), 0xFF00FF00u);
    EXPECT_EQ(c.At(6, 24), 0xFF0000FFu);
    EXPECT_EQ(c.At(24, 24), 0xFFFFFFFFu);
    EXPECT_EQ(c.At(4, 4), 0xFF000000u);
    EXPECT_EQ(c.At(25, 25), 0xFF000000u);

    // Smooth scaling of one colour stays that colour all the way to the edges.
    Bitmap grey(3, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            grey.SetPixel(x, y, Color(255, 100, 100, 100));
    Canvas d(20, 20);
    d.g->DrawImage(&grey, RectF(0, 0, 20, 20));
    EXPECT_EQ(d.At(0, 0), 0xFF646464u);
    EXPECT_EQ(d.At(19, 19), 0xFF646464u);

    // A graphics on a bitmap draws into its pixels.
    Bitmap target(4, 4);
    {
        Graphics g(&target);
        SolidBrush b(Color(255, 10, 20, 30));
        g.FillRectangle(&b, RectF(0, 0, 4, 4));
    }
    Color got;
    target.GetPixel(3, 3, &got);
    EXPECT_EQ(got.GetValue(), 0xFF0A141Eu);
}

TEST(GraphicsText, FontsMapToInstalledFamilies)
{
    FontFamily korean(L"맑은 고딕");
    EXPECT_TRUE(korean.IsAvailable());
    FontFamily missing(L"No Such Family 123");
    EXPECT_FALSE(missing.IsAvailable());
    EXPECT_EQ(missing.GetLastStatus(), FontFamilyNotFound);
    EXPECT_TRUE(FontFamily::GenericSansSerif()->IsAvailable());

    Font points(&korean, 9.0f, FontStyleBold, UnitPoint);
    EXPECT_TRUE(points.IsAvailable());
    EXPECT_FLOAT_EQ(points.PixelSize(), 12.0f);
    Font pixels(&korean, 12.0f, FontStyleRegular, UnitPixel);
    EXPECT_FLOAT_EQ(pixels.PixelSize(), 12.0f);
    Font fallback(&missing, 9.0f);
    EXPECT_FALSE(fallback.IsAvailable());
    Font byName(L"No Such Family 123", 9.0f);
    EXPECT_TRUE(byName.IsAvailable());  // the generic sans-serif family stands in
}

TEST(GraphicsText, MeasurementIsDeterministicAndHonoursTheFormat)
{
    Graphics g(static_cast<HWND>(nullptr));
    Font font(L"맑은 고딕", 9.0f);
    RectF a, b;
    EXPECT_EQ(g.MeasureString(L"영상얻기 test", -1, &font, PointF(0, 0), &a), Ok);
    g.MeasureString(L"영상얻기 test", -1, &font, PointF(0, 0), &b);
    EXPECT_TRUE(a.Equals(b));
    EXPECT_GT(a.Width, 40);
    EXPECT_GT(a.Height, 10);
    EXPECT_LT(a.Height, 25);

    RectF empty;
    g.MeasureString(L"", 0, &font, PointF(0, 0), &empty);
    EXPECT_EQ(empty.Width, 0);

    // Wrapping inside a narrow box makes more lines; no-wrap with ellipsis keeps one line within the width.
    std::wstring longText = L"a fairly long caption that cannot fit in the box";
    RectF wrapped, trimmed;
    g.MeasureString(longText.c_str(), -1, &font, RectF(0, 0, 60, 0), nullptr, &wrapped);
    StringFormat oneLine(StringFormatFlagsNoWrap);
    oneLine.SetTrimming(StringTrimmingEllipsisCharacter);
    g.MeasureString(longText.c_str(), -1, &font, RectF(0, 0, 60, 40), &oneLine, &trimmed);
    EXPECT_GT(wrapped.Height, 2 * a.Height);
    EXPECT_LE(trimmed.Width, 60);
    EXPECT_LT(trimmed.Height, 1.5 * a.Height);

    // At a point, centred text sits around it.
    StringFormat centred;
    centred.SetAlignment(StringAlignmentCenter);
    RectF around;
    g.MeasureString(L"test", -1, &font, PointF(100, 0), &centred, &around);
    EXPECT_NEAR(around.X + around.Width / 2, 100, 0.5);

    // Per-character boxes run left to right without overlap.
    StringFormat ranges;
    CharacterRange r[3] = {{0, 1}, {1, 1}, {2, 1}};
    ranges.SetMeasurableCharacterRanges(3, r);
    Region regions[3];
    EXPECT_EQ(g.MeasureCharacterRanges(L"가AB", 3, &font, RectF(10, 0, 0, 0), &ranges, 3, regions), Ok);
    RectF box[3];
    for (int i = 0; i < 3; ++i)
        regions[i].GetBounds(&box[i], &g);
    EXPECT_NEAR(box[0].X, 10, 0.5);
    EXPECT_GT(box[0].Width, 0);
    EXPECT_NEAR(box[1].X, box[0].GetRight(), 0.01);
    EXPECT_NEAR(box[2].X, box[1].GetRight(), 0.01);
    CharacterRange past{2, 5};
    ranges.SetMeasurableCharacterRanges(1, &past);
    EXPECT_EQ(g.MeasureCharacterRanges(L"가AB", 3, &font, RectF(), &ranges, 1, regions), InvalidParameter);
}

TEST(GraphicsText, DrawStringStaysInItsBoxAndAligns)
{
    Canvas c(200, 40);
    Font font(L"맑은 고딕", 10.0f, FontStyleBold);
    SolidBrush white(Color(255, 255, 255, 255));
    StringFormat centre(StringFormatFlagsNoWrap);
    centre.SetAlignment(StringAlignmentCenter);
    centre.SetLineAlignment(StringAlignmentCenter);
    centre.SetTrimming(StringTrimmingEllipsisCharacter);
    EXPECT_EQ(c.g->DrawString(L"확인", -1, &font, RectF(50, 0, 100, 40), &centre, &white), Ok);
    EXPECT_GT(c.Changed(50, 0, 150, 40), 10);
    EXPECT_EQ(c.Changed(0, 0, 50, 40), 0);
    EXPECT_EQ(c.Changed(150, 0, 200, 40), 0);
    // Centred: the ink sits in the middle third, not at the left edge.
    EXPECT_EQ(c.Changed(50, 0, 80, 40), 0);
    EXPECT_EQ(c.Changed(120, 0, 150, 40), 0);

    // A long caption is cut inside its box, never spilling past it.
    Canvas d(200, 40);
    d.g->DrawString(L"영상얻기 (12345678-홍길동) 아주 긴 제목입니다", -1, &font, RectF(0, 0, 80, 40), &centre, &white);
    EXPECT_GT(d.Changed(0, 0, 80, 40), 10);
    EXPECT_EQ(d.Changed(80, 0, 200, 40), 0);
}

TEST(GraphicsText, SymbolGlyphsOfTheControlsAreDrawn)
{
    Canvas c(40, 40);
    Font symbols(L"Wingdings", 12.0f, FontStyleRegular, UnitPixel);
    EXPECT_TRUE(symbols.IsAvailable());
    SolidBrush white(Color(255, 255, 255, 255));
    for (wchar_t code : {wchar_t(254), wchar_t(253), wchar_t(111), wchar_t(252), wchar_t(251), wchar_t(161)}) {
        Canvas one(20, 20);
        wchar_t text[2] = {code, 0};
        one.g->DrawString(text, 1, &symbols, PointF(2, 2), &white);
        EXPECT_GT(one.Changed(0, 0, 20, 20), 5) << static_cast<int>(code);
    }
}

TEST(GdiText, DrawTextFlagsAndMeasurement)
{
    quiva::Surface s(200, 40);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 200, 40});
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"맑은 고딕");
    HGDIOBJ old = SelectObject(dc, font);
    SIZE ext{};
    EXPECT_TRUE(GetTextExtentPoint32W(dc, L"닫기", 2, &ext));
    EXPECT_GT(ext.cx, 10);
    EXPECT_GE(ext.cy, 12);
    TEXTMETRICW tm{};
    EXPECT_TRUE(GetTextMetricsW(dc, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);

    RECT calc{0, 0, 0, 0};
    int h = DrawTextW(dc, L"&Close", -1, &calc, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_GT(h, 0);
    EXPECT_GT(calc.right, 0);
    EXPECT_EQ(s.At(1, 1), 0xFF000000u);  // measuring draws nothing

    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    RECT rc{100, 0, 200, 40};
    DrawTextW(dc, L"닫기", -1, &rc, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
    int lit = 0, litLeft = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 200; ++x)
            if (s.At(x, y) != 0xFF000000u)
                (x < 170 ? litLeft : lit)++;
    EXPECT_GT(lit, 5);
    EXPECT_EQ(litLeft, 0);  // right-aligned into the far end of the box

    // Opaque mode paints the background behind the text.
    SetBkMode(dc, OPAQUE);
    SetBkColor(dc, RGB(0, 0, 255));
    TextOutW(dc, 2, 2, L"x", 1);
    EXPECT_EQ(s.At(2, 3), 0xFF0000FFu);

    SelectObject(dc, old);
    EXPECT_TRUE(DeleteObject(font));
    DeleteDC(dc);
}

TEST(Graphics, ClipTransformAndClear)
{
    Canvas c(30, 30);
    SolidBrush red(Color(255, 255, 0, 0));
    c.g->SetClip(RectF(0, 0, 10, 30));
    c.g->FillRectangle(&red, RectF(0, 0, 30, 5));
    EXPECT_EQ(c.At(9, 2), 0xFFFF0000u);
    EXPECT_EQ(c.At(10, 2), 0xFF000000u);
    c.g->ResetClip();
    c.g->TranslateTransform(20, 20);
    c.g->FillRectangle(&red, RectF(0, 0, 5, 5));
    EXPECT_EQ(c.At(22, 22), 0xFFFF0000u);
    EXPECT_EQ(c.At(2, 22), 0xFF000000u);
    c.g->ResetTransform();
    c.g->Clear(Color(255, 1, 2, 3));
    EXPECT_EQ(c.At(0, 0), 0xFF010203u);
    EXPECT_EQ(c.At(29, 29), 0xFF010203u);
}

TEST(Graphics, GdiBitmapsCrossIntoImagesAndBack)
{
    HDC mem = CreateCompatibleDC(nullptr);
    HBITMAP hbmp = CreateCompatibleBitmap(mem, 6, 4);
    HGDIOBJ old = SelectObject(mem, hbmp);
    HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
    RECT right{3, 0, 6, 4};
    FillRect(mem, &right, blue);
    SelectObject(mem, old);

    std::unique_ptr<Bitmap> image(Bitmap::FromHBITMAP(hbmp, nullptr));
    ASSERT_EQ(image->GetLastStatus(), Ok);
    Color c;
    image->GetPixel(4, 1, &c);
    EXPECT_EQ(c.GetValue(), 0xFF0000FFu);
    image->GetPixel(0, 1, &c);
    EXPECT_EQ(c.GetValue(), 0xFF000000u);

    // Translucent pixels meet the background colour on the way back.
    image->SetPixel(0, 0, Color(128, 255, 255, 255));
    HBITMAP back = nullptr;
    EXPECT_EQ(image->GetHBITMAP(Color(255, 0, 0, 0), &back), Ok);
    HDC check = CreateCompatibleDC(nullptr);
    SelectObject(check, back);
    COLORREF px = GetPixel(check, 0, 0);
    EXPECT_NEAR(GetRValue(px), 128, 2);
    EXPECT_EQ(GetPixel(check, 4, 1), RGB(0, 0, 255));
    DeleteDC(check);
    DeleteDC(mem);
    EXPECT_TRUE(DeleteObject(back));
    EXPECT_TRUE(DeleteObject(hbmp));
    DeleteObject(blue);

    // Drawing an image into itself is refused rather than reading what is being written.
    Graphics g(image.get());
    EXPECT_EQ(g.DrawImage(image.get(), RectF(0, 0, 3, 3)), InvalidParameter);
    // A source rectangle picks part of the image.
    Bitmap target(2, 2);
    Graphics t(&target);
    t.SetInterpolationMode(InterpolationModeNearestNeighbor);
    EXPECT_EQ(t.DrawImage(image.get(), RectF(0, 0, 2, 2), 3, 0, 3, 4, UnitPixel), Ok);
    target.GetPixel(1, 1, &c);
    EXPECT_EQ(c.GetValue(), 0xFF0000FFu);
}

TEST(GraphicsText, FontsFromGdiMatchTheirHeight)
{
    HFONT hf = CreateFontW(-16, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"맑은 고딕");
    Font f(static_cast<HDC>(nullptr), hf);
    EXPECT_TRUE(f.IsAvailable());
    EXPECT_FLOAT_EQ(f.PixelSize(), 16.0f);
    EXPECT_EQ(f.GetStyle() & FontStyleBold, FontStyleBold);
    LOGFONTW lf{};
    f.GetLogFontW(nullptr, &lf);
    EXPECT_EQ(lf.lfHeight, -16);
    EXPECT_GT(f.GetHeight(96.0f), 16.0f);
    DeleteObject(hf);

    // A positive GDI height is the cell height, so the em is smaller than it.
    LOGFONTW cell{};
    cell.lfHeight = 20;
    std::wcscpy(cell.lfFaceName, L"Arial");
    Font fromCell(static_cast<HDC>(nullptr), &cell);
    EXPECT_LT(fromCell.PixelSize(), 20.0f);
    EXPECT_GT(fromCell.PixelSize(), 12.0f);
}

TEST(GraphicsText, DrawingFromSeveralThreadsAtOnce)
{
    // The engine's thumbnail grabber draws on its own thread while the UI thread paints.
    auto work = [] {
        Canvas c(120, 30);
        Font font(L"맑은 고딕", 9.0f);
        SolidBrush white(Color(255, 255, 255, 255));
        for (int i = 0; i < 40; ++i)
            c.g->DrawString(L"영상 0123", -1, &font, RectF(0, 0, 120, 30), nullptr, &white);
        return c.Changed(0, 0, 120, 30);
    };
    int a = 0, b = 0;
    std::thread t1([&] { a = work(); });
    std::thread t2([&] { b = work(); });
    t1.join();
    t2.join();
    EXPECT_GT(a, 0);
    EXPECT_EQ(a, b);
}

TEST(GdiText, WrappingEllipsisAndPrefixes)
{
    quiva::Surface s(100, 60);
    HDC dc = quiva::CreateSurfaceDC(&s, POINT{0, 0}, RECT{0, 0, 100, 60});
    const wchar_t* text = L"several words that need more than one line";
    RECT single{0, 0, 60, 0}, wrapped{0, 0, 60, 0};
    DrawTextW(dc, text, -1, &single, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, text, -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_GT(single.right, 60);
    EXPECT_LE(wrapped.right, 60);
    EXPECT_GT(wrapped.bottom, 2 * single.bottom);

    // "&&" is one ampersand; a lone "&" marks the next letter and takes no room.
    RECT a{0, 0, 0, 0}, b{0, 0, 0, 0}, c{0, 0, 0, 0};
    DrawTextW(dc, L"a&&b", -1, &a, DT_CALCRECT | DT_SINGLELINE);
    DrawTextW(dc, L"a&b", -1, &b, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    DrawTextW(dc, L"&ab", -1, &c, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(a.right, b.right);
    EXPECT_LT(c.right, b.right);

    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    RECT box{0, 0, 50, 20};
    DrawTextW(dc, text, -1, &box, DT_SINGLELINE | DT_END_ELLIPSIS);
    int outside = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 50; x < 100; ++x)
            outside += s.At(x, y) != 0xFF000000u;
    EXPECT_EQ(outside, 0);
    DeleteDC(dc);
}
