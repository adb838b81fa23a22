#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "platform/gdi/gdiplus.h"
#include "tests/support/BmpFiles.h"

using namespace Gdiplus;

namespace {

std::unique_ptr<Bitmap> FromBytes(const std::string& bytes)
{
    return std::unique_ptr<Bitmap>(Bitmap::FromMemory(bytes.data(), bytes.size()));
}

std::vector<ARGB> PaletteOf(Bitmap& b)
{
    std::vector<BYTE> block(static_cast<size_t>(b.GetPaletteSize()));
    auto* p = reinterpret_cast<ColorPalette*>(block.data());
    if (b.GetPalette(p, static_cast<INT>(block.size())) != Ok)
        return {};
    return std::vector<ARGB>(p->Entries, p->Entries + p->Count);
}

}  // namespace

TEST(ImageLock, IndexedBmpGivesItsOwnRowsAndTheEntriesItHas)
{
    // 1, 4 and 8 bits; fewer palette entries than the depth allows; bottom-up and top-down.
    struct Case {
        int bpp;
        PixelFormat format;
        bool topDown;
    } cases[] = {{1, PixelFormat1bppIndexed, false}, {4, PixelFormat4bppIndexed, true}, {8, PixelFormat8bppIndexed, false}};
    for (const Case& c : cases) {
        const int w = 13, h = 5;
        std::vector<uint32_t> palette = {0x000000, 0xFFFFFF};
        if (c.bpp > 1)
            palette.push_back(0x123456);
        auto index = [&](int x, int y) { return static_cast<uint32_t>((x + 2 * y) % palette.size()); };
        auto bmp = FromBytes(quiva::test::MakeBmp(w, h, c.bpp, palette, index, c.topDown));
        ASSERT_EQ(bmp->GetLastStatus(), Ok) << c.bpp;
        EXPECT_EQ(bmp->GetPixelFormat(), c.format);
        EXPECT_EQ(GetPixelFormatSize(bmp->GetPixelFormat()), static_cast<UINT>(c.bpp));
        std::vector<ARGB> entries = PaletteOf(*bmp);
        ASSERT_EQ(entries.size(), palette.size()) << c.bpp;
        EXPECT_EQ(entries[1], 0xFFFFFFFFu);
        BitmapData data{};
        ASSERT_EQ(bmp->LockBits(nullptr, ImageLockModeRead, c.format, &data), Ok);
        EXPECT_EQ(data.Width, static_cast<UINT>(w));
        for (int y = 0; y < h; ++y) {
            const BYTE* row = static_cast<const BYTE*>(data.Scan0) + static_cast<size_t>(y) * data.Stride;
            for (int x = 0; x < w; ++x) {
                const int bit = x * c.bpp;
                const uint32_t v = (row[bit / 8] >> (8 - c.bpp - bit % 8)) & ((1u << c.bpp) - 1);
                ASSERT_EQ(v, index(x, y)) << c.bpp << " at " << x << "," << y;
            }
        }
        // One lock at a time.
        BitmapData second{};
        EXPECT_EQ(bmp->LockBits(nullptr, ImageLockModeRead, c.format, &second), WrongState);
        EXPECT_EQ(bmp->UnlockBits(&data), Ok);
    }
}

TEST(ImageLock, DeepBmpRowsAndConvertedRows)
{
    const int w = 3, h = 2;
    auto colour = [](int x, int y) { return static_cast<uint32_t>(0x102030 * (x + 1) + 0x010000 * y); };
    auto bmp = FromBytes(quiva::test::MakeBmp(w, h, 24, {}, colour));
    EXPECT_EQ(bmp->GetPixelFormat(), PixelFormat24bppRGB);
    EXPECT_EQ(bmp->GetPaletteSize(), static_cast<INT>(sizeof(ColorPalette)));
    EXPECT_TRUE(PaletteOf(*bmp).empty());
    BitmapData data{};
    ASSERT_EQ(bmp->LockBits(nullptr, ImageLockModeRead, PixelFormat24bppRGB, &data), Ok);
    const BYTE* second = static_cast<const BYTE*>(data.Scan0) + data.Stride;  // y = 1
    EXPECT_EQ(second[0], 0x30);  // blue first
    EXPECT_EQ(second[2], 0x11);
    bmp->UnlockBits(&data);

    auto words = FromBytes(quiva::test::MakeBmp(w, h, 16, {}, [](int x, int) { return x == 0 ? 0x7C00u : 0x001Fu; }));
    EXPECT_EQ(words->GetPixelFormat(), PixelFormat16bppRGB555);
    ASSERT_EQ(words->LockBits(nullptr, ImageLockModeRead, PixelFormat16bppRGB555, &data), Ok);
    EXPECT_EQ(static_cast<const BYTE*>(data.Scan0)[1], 0x7C);
    words->UnlockBits(&data);
    // The same pixels converted: red, then blue.
    ASSERT_EQ(words->LockBits(nullptr, ImageLockModeRead, PixelFormat32bppARGB, &data), Ok);
    const BYTE* px = static_cast<const BYTE*>(data.Scan0);
    EXPECT_EQ(px[2], 255);
    EXPECT_EQ(px[4], 255);
    EXPECT_EQ(px[3], 255);
    words->UnlockBits(&data);

    // A rectangle outside the image, a write lock and a format nobody offers are refused.
    Rect outside(2, 0, 2, 1);
    EXPECT_EQ(bmp->LockBits(&outside, ImageLockModeRead, PixelFormat24bppRGB, &data), InvalidParameter);
    EXPECT_EQ(bmp->LockBits(nullptr, ImageLockModeWrite, PixelFormat24bppRGB, &data), InvalidParameter);
    EXPECT_EQ(bmp->LockBits(nullptr, ImageLockModeRead, PixelFormat8bppIndexed, &data), InvalidParameter);
}
