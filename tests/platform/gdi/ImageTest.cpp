#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/base/bitmap.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/gdi/Surface.h"
#include "platform/gdi/gdiplus.h"
#include "tests/support/BmpFiles.h"
#include "tests/support/TempDir.h"

using namespace Gdiplus;
using quiva::test::ReadAll;
using quiva::test::ScopedEnv;
using quiva::test::TempDir;
using quiva::test::WriteAll;

namespace {

// A test card: colour bars over a gradient, odd width so BMP rows need padding.
std::vector<uint32_t> TestCard(int w, int h)
{
    const uint32_t bars[] = {0xFFFFFFFFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFF00FF00u, 0xFFFF00FFu, 0xFFFF0000u, 0xFF0000FFu};
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint32_t v = static_cast<uint32_t>(x * 255 / (w - 1));
            px[static_cast<size_t>(y) * w + x] = y < h / 2 ? bars[x * 7 / w] : 0xFF000000u | (v << 16) | (v << 8) | v;
        }
    return px;
}

CLSID EncoderFor(const wchar_t* mime)
{
    UINT n = 0, size = 0;
    GetImageEncodersSize(&n, &size);
    std::vector<char> buffer(size);
    auto* codecs = reinterpret_cast<ImageCodecInfo*>(buffer.data());
    GetImageEncoders(n, size, codecs);
    for (UINT i = 0; i < n; ++i)
        if (std::wcscmp(codecs[i].MimeType, mime) == 0)
            return codecs[i].Clsid;
    return GUID_NULL;
}

// Mean absolute difference per channel, for lossy comparisons.
double MeanDifference(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b)
{
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int s = 0; s < 24; s += 8)
            sum += std::abs(static_cast<int>((a[i] >> s) & 0xFF) - static_cast<int>((b[i] >> s) & 0xFF));
    return sum / (3.0 * static_cast<double>(a.size()));
}

}  // namespace

TEST(ImageCodec, BmpRoundTripIsExactAndWellFormed)
{
    const int w = 641, h = 20;  // 641 * 3 = 1923 bytes, padded to 1924
    auto card = TestCard(w, h);
    std::string bmp;
    ASSERT_TRUE(quiva::EncodeBmp(card.data(), w, h, bmp));
    EXPECT_EQ(bmp.size(), 54u + 1924u * h);
    uint32_t sizeField;
    std::memcpy(&sizeField, bmp.data() + 2, 4);
    EXPECT_EQ(sizeField, bmp.size());
    EXPECT_EQ(bmp[28], 24);  // bits per pixel
    // Bottom-up: the first stored row is the gradient's last row.
    EXPECT_EQ(static_cast<unsigned char>(bmp[54 + 3 * (w - 1)]), 255);

    quiva::DecodedImage d;
    ASSERT_TRUE(quiva::DecodeBmp(bmp, d));
    EXPECT_EQ(d.width, w);
    EXPECT_EQ(d.height, h);
    EXPECT_EQ(d.pixels, card);
    EXPECT_EQ(d.bitsPerPixel, 24);
}

TEST(ImageCodec, BmpVariantsDecode)
{
    // 8-bit grey palette, top-down, 3 x 2.
    std::string f = "BM";
    auto put32 = [&](uint32_t v) { f.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { f.append(reinterpret_cast<const char*>(&v), 2); };
    put32(0), put32(0), put32(54 + 1024);
    put32(40), put32(3), put32(static_cast<uint32_t>(-2)), put16(1), put16(8), put32(0), put32(8), put32(0), put32(0),
        put32(0), put32(0);
    for (int i = 0; i < 256; ++i)
        put32(static_cast<uint32_t>(i * 0x010101));
    f += std::string("\x00\x80\xff\x00\x10\x20\x30\x00", 8);
    quiva::DecodedImage d;
    std::string why;
    ASSERT_TRUE(quiva::DecodeBmp(f, d, &why)) << why;
    EXPECT_TRUE(d.grey);
    EXPECT_EQ(d.pixels[0], 0xFF000000u);
    EXPECT_EQ(d.pixels[1], 0xFF808080u);
    EXPECT_EQ(d.pixels[2], 0xFFFFFFFFu);
    EXPECT_EQ(d.pixels[3], 0xFF101010u);  // top-down: second row second in memory

    // 32-bit with an alpha mask keeps its alpha.
    std::string a = "BM";
    auto p32 = [&](uint32_t v) { a.append(reinterpret_cast<const char*>(&v), 4); };
    auto p16 = [&](uint16_t v) { a.append(reinterpret_cast<const char*>(&v), 2); };
    p32(0), p32(0), p32(14 + 56);
    p32(56), p32(1), p32(1), p16(1), p16(32), p32(3), p32(4), p32(0), p32(0), p32(0), p32(0);
    p32(0x00FF0000), p32(0x0000FF00), p32(0x000000FF), p32(0xFF000000);
    p32(0x80FF0000);
    ASSERT_TRUE(quiva::DecodeBmp(a, d, &why)) << why;
    EXPECT_TRUE(d.hasAlpha);
    EXPECT_EQ(d.pixels[0], 0x80800000u);  // premultiplied
}

TEST(ImageCodec, BadAndTruncatedFilesAreRefused)
{
    auto card = TestCard(64, 48);
    std::string bmp, jpeg, png;
    ASSERT_TRUE(quiva::EncodeBmp(card.data(), 64, 48, bmp));
    ASSERT_TRUE(quiva::EncodeJpeg(card.data(), 64, 48, 90, jpeg));
    ASSERT_TRUE(quiva::EncodePng(card.data(), 64, 48, png));
    quiva::DecodedImage d;
    std::string why;
    for (const std::string* file : {&bmp, &jpeg, &png}) {
        for (size_t cut : {size_t{1}, size_t{10}, file->size() / 2, file->size() - 3}) {
            EXPECT_FALSE(quiva::DecodeImage(file->substr(0, cut), d, &why)) << cut;
            EXPECT_FALSE(why.empty());
        }
        EXPECT_TRUE(quiva::DecodeImage(*file, d));
    }
    EXPECT_FALSE(quiva::DecodeImage("", d));
    EXPECT_FALSE(quiva::DecodeImage("GIF89a.....", d));

    // Headers that lie about their size.
    std::string huge = bmp;
    int32_t bigWidth = 1 << 30;
    std::memcpy(&huge[18], &bigWidth, 4);
    EXPECT_FALSE(quiva::DecodeBmp(huge, d, &why));
    std::string offset = bmp;
    uint32_t farOffset = 0xFFFFFFF0u;
    std::memcpy(&offset[10], &farOffset, 4);
    EXPECT_FALSE(quiva::DecodeBmp(offset, d, &why));
    std::string rle = bmp;
    rle[30] = 1;  // BI_RLE8
    EXPECT_FALSE(quiva::DecodeBmp(rle, d, &why));
    std::string corrupt = jpeg;
    for (size_t i = jpeg.size() / 2; i < jpeg.size() / 2 + 64; ++i)
        corrupt[i] = static_cast<char>(0xFF);
    EXPECT_FALSE(quiva::DecodeJpeg(corrupt, d, &why));
    std::string badCrc = png;
    badCrc[40] ^= 0x55;
    EXPECT_FALSE(quiva::DecodePng(badCrc, d, &why));
}

TEST(ImageCodec, JpegQualityAndPngExactness)
{
    auto card = TestCard(320, 240);
    std::string low, high, png;
    ASSERT_TRUE(quiva::EncodeJpeg(card.data(), 320, 240, 10, low));
    ASSERT_TRUE(quiva::EncodeJpeg(card.data(), 320, 240, 95, high));
    EXPECT_LT(low.size(), high.size());
    // Baseline coding even at low quality: readers look for the SOF0 marker for the geometry.
    EXPECT_NE(low.find("\xFF\xC0"), std::string::npos);
    quiva::DecodedImage d;
    ASSERT_TRUE(quiva::DecodeJpeg(high, d));
    EXPECT_EQ(d.width, 320);
    EXPECT_LT(MeanDifference(d.pixels, card), 3.0);
    ASSERT_TRUE(quiva::EncodePng(card.data(), 320, 240, png));
    ASSERT_TRUE(quiva::DecodePng(png, d));
    EXPECT_EQ(d.pixels, card);
}

TEST(GdiplusImage, BmpResavedAsJpegThroughTheEncoderList)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    auto card = TestCard(101, 60);
    std::string bmp;
    quiva::EncodeBmp(card.data(), 101, 60, bmp);
    WriteAll(dir.Native("still.bmp"), bmp);

    CLSID jpegClsid = EncoderFor(L"image/jpeg");
    ASSERT_NE(jpegClsid, GUID_NULL);
    std::unique_ptr<Image> image(Image::FromFile(L"c:\\still.bmp"));
    ASSERT_EQ(image->GetLastStatus(), Ok);
    EXPECT_EQ(image->GetWidth(), 101u);
    GUID raw;
    image->GetRawFormat(&raw);
    EXPECT_EQ(raw, ImageFormatBMP);

    ULONG quality = 30;
    EncoderParameters params;
    params.Count = 1;
    params.Parameter[0] = EncoderParameter{EncoderQuality, 1, EncoderParameterValueTypeLong, &quality};
    EXPECT_EQ(image->Save(L"c:\\still.jpg", &jpegClsid, &params), Ok);
    std::string jpeg30 = ReadAll(dir.Native("still.jpg"));
    quality = 100;
    EXPECT_EQ(image->Save(L"c:\\still100.jpg", &jpegClsid, &params), Ok);
    std::string jpeg100 = ReadAll(dir.Native("still100.jpg"));
    EXPECT_LT(jpeg30.size(), jpeg100.size());
    quiva::DecodedImage d;
    ASSERT_TRUE(quiva::DecodeJpeg(jpeg100, d));
    EXPECT_LT(MeanDifference(d.pixels, card), 8.0);  // small picture, sharp colour edges

    quality = 101;
    EXPECT_EQ(image->Save(L"c:\\bad.jpg", &jpegClsid, &params), InvalidParameter);
    EXPECT_TRUE(ReadAll(dir.Native("bad.jpg")).empty());
    EXPECT_NE(image->Save(L"c:\\nofolder\\x.jpg", &jpegClsid, nullptr), Ok);

    CLSID bmpClsid = EncoderFor(L"image/bmp");
    EXPECT_EQ(image->Save(L"c:\\copy.bmp", &bmpClsid), Ok);
    EXPECT_EQ(ReadAll(dir.Native("copy.bmp")), bmp);

    // A broken or missing file gives an image that says so and draws nothing.
    WriteAll(dir.Native("broken.bmp"), bmp.substr(0, 100));
    std::unique_ptr<Image> broken(Image::FromFile(L"c:\\broken.bmp"));
    EXPECT_NE(broken->GetLastStatus(), Ok);
    EXPECT_EQ(broken->GetWidth(), 0u);
    std::unique_ptr<Image> missing(Image::FromFile(L"c:\\missing.bmp"));
    EXPECT_EQ(missing->GetLastStatus(), FileNotFound);
    EXPECT_NE(broken->Save(L"c:\\x.jpg", &jpegClsid), Ok);
    EXPECT_EQ(broken->GetThumbnailImage(10, 10), nullptr);
}

TEST(GdiplusImage, ADibInMemoryGivesWhatItsBmpFileGives)
{
    // Padded 24-bit rows bottom-up, 32-bit rows top-down, and an 8-bit palette picture (read
    // through the file decoder); the JPEG coded from memory matches the picture.
    struct Case {
        int bpp;
        bool topDown;
        PixelFormat format;
    } cases[] = {{24, false, PixelFormat24bppRGB}, {32, true, PixelFormat32bppRGB}, {8, false, PixelFormat8bppIndexed}};
    const std::vector<uint32_t> palette = {0x000000, 0xFF8000, 0x2040FF, 0xFFFFFF};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp);
        const int w = 641, h = 37;
        const std::string file = quiva::test::MakeBmp(w, h, c.bpp, c.bpp == 8 ? palette : std::vector<uint32_t>{},
                                                      [&](int x, int y) {
                                                          return c.bpp == 8 ? static_cast<uint32_t>((x / 16 + y) % 4)
                                                                            : static_cast<uint32_t>(x * 0x010203 + y * 0x070000);
                                                      },
                                                      c.topDown);
        std::unique_ptr<Bitmap> fromFile(Bitmap::FromMemory(file.data(), file.size()));
        BITMAPFILEHEADER fh;
        std::memcpy(&fh, file.data(), sizeof fh);
        std::string dib = file.substr(sizeof fh);  // header and colour table, then the rows
        std::unique_ptr<Bitmap> fromDib(Bitmap::FromBITMAPINFO(reinterpret_cast<const BITMAPINFO*>(dib.data()),
                                                               dib.data() + (fh.bfOffBits - sizeof fh)));
        ASSERT_EQ(fromDib->GetLastStatus(), Ok);
        ASSERT_EQ(fromDib->GetWidth(), static_cast<UINT>(w));
        ASSERT_EQ(fromDib->GetHeight(), static_cast<UINT>(h));
        EXPECT_EQ(fromDib->GetPixelFormat(), c.format);
        const std::vector<uint32_t> a(fromDib->Pixels()->Pixels(), fromDib->Pixels()->Pixels() + w * h);
        const std::vector<uint32_t> b(fromFile->Pixels()->Pixels(), fromFile->Pixels()->Pixels() + w * h);
        EXPECT_EQ(a, b);
        if (c.bpp == 8)
            continue;  // hard colour edges on every row: what JPEG does worst
        std::string jpeg;
        ASSERT_TRUE(quiva::EncodeJpeg(fromDib->Pixels()->Pixels(), w, h, 95, jpeg));
        quiva::DecodedImage decoded;
        ASSERT_TRUE(quiva::DecodeJpeg(jpeg, decoded));
        EXPECT_LT(MeanDifference(decoded.pixels, a), 6.0);
    }
    // Translucent pixels are coded with their own colour, not their premultiplied one.
    std::vector<uint32_t> half(64 * 8, 0x80400000u);  // red 0x80 at half alpha
    std::string jpeg;
    ASSERT_TRUE(quiva::EncodeJpeg(half.data(), 64, 8, 100, jpeg));
    quiva::DecodedImage decoded;
    ASSERT_TRUE(quiva::DecodeJpeg(jpeg, decoded));
    EXPECT_NEAR(static_cast<int>((decoded.pixels[100] >> 16) & 0xFF), 0x80, 3);
    // What is not a whole DIB is refused.
    BITMAPINFO bad{};
    uint32_t pixel = 0;
    EXPECT_EQ(std::unique_ptr<Bitmap>(Bitmap::FromBITMAPINFO(&bad, &pixel))->GetLastStatus(), InvalidParameter);
    bad.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, 1, 1, 32, BI_JPEG, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::unique_ptr<Bitmap>(Bitmap::FromBITMAPINFO(&bad, &pixel))->GetLastStatus(), InvalidParameter);
    bad.bmiHeader.biCompression = BI_RGB;
    bad.bmiHeader.biWidth = 100000;
    EXPECT_EQ(std::unique_ptr<Bitmap>(Bitmap::FromBITMAPINFO(&bad, &pixel))->GetLastStatus(), InvalidParameter);
    EXPECT_EQ(std::unique_ptr<Bitmap>(Bitmap::FromBITMAPINFO(nullptr, &pixel))->GetLastStatus(), InvalidParameter);
}

TEST(GdiplusImage, ThumbnailKeepsTheContent)
{
    Bitmap bmp(40, 20);
    Graphics g(&bmp);
    SolidBrush red(Color(255, 255, 0, 0)), blue(Color(255, 0, 0, 255));
    g.FillRectangle(&red, RectF(0, 0, 20, 20));
    g.FillRectangle(&blue, RectF(20, 0, 20, 20));
    std::unique_ptr<Image> thumb(bmp.GetThumbnailImage(8, 4));
    ASSERT_NE(thumb, nullptr);
    EXPECT_EQ(thumb->GetWidth(), 8u);
    Color c;
    static_cast<Bitmap*>(thumb.get())->GetPixel(1, 2, &c);
    EXPECT_EQ(c.GetValue(), 0xFFFF0000u);
    static_cast<Bitmap*>(thumb.get())->GetPixel(6, 2, &c);
    EXPECT_EQ(c.GetValue(), 0xFF0000FFu);

    // A large reduction averages what it drops: fine black and white lines give grey, not one of
    // the two (which would show stripes that are not in the picture).
    Bitmap lines(400, 200);
    Graphics lg(&lines);
    SolidBrush black(Color(255, 0, 0, 0)), white(Color(255, 255, 255, 255));
    for (int x = 0; x < 400; ++x)
        lg.FillRectangle(x % 2 ? &white : &black, RectF(REAL(x), 0, 1, 200));
    std::unique_ptr<Image> small(lines.GetThumbnailImage(37, 20));
    ASSERT_NE(small, nullptr);
    for (int x = 1; x < 36; ++x) {
        static_cast<Bitmap*>(small.get())->GetPixel(x, 10, &c);
        EXPECT_NEAR(c.GetR(), 128, 24) << x;
    }
}

namespace {

uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void Put32BE(std::string& s, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// A PNG made by our encoder whose header then claims another size (with its checksum right).
std::string PngClaiming(uint32_t width, uint32_t height)
{
    const std::vector<uint32_t> px(4, 0xFF336699u);
    std::string png;
    EXPECT_TRUE(quiva::EncodePng(px.data(), 2, 2, png));
    Put32BE(png, 16, width);
    Put32BE(png, 20, height);
    Put32BE(png, 29, Crc32(png.substr(12, 17)));
    return png;
}

// A BMP whose header claims another size.
std::string BmpClaiming(int32_t width, int32_t height)
{
    const std::vector<uint32_t> px(4, 0xFF336699u);
    std::string bmp;
    EXPECT_TRUE(quiva::EncodeBmp(px.data(), 2, 2, bmp));
    std::memcpy(&bmp[18], &width, 4);
    std::memcpy(&bmp[22], &height, 4);
    return bmp;
}

}  // namespace

TEST(ImageCodec, OnePixelLimitForEveryDecoderFromTheHeader)
{
    std::string error;
    quiva::DecodedImage image;
    // The 74-byte PNG that announced 16384 x 16384.
    const std::string finding = ReadAll(std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/image_decode/img1-png-16384-74bytes.png");
    ASSERT_EQ(finding.size(), 74u);
    EXPECT_FALSE(quiva::DecodePng(finding, image, &error));
    EXPECT_NE(error.find("size"), std::string::npos) << error;
    TempDir dir;
    WriteAll(dir.Native("big.png"), finding);
    Bitmap* bitmap = Bitmap::FromFile(dir.Win("big.png"));
    EXPECT_TRUE(!bitmap || bitmap->GetLastStatus() != Ok);
    delete bitmap;

    for (auto [w, h] : {std::pair{8193u, 8192u}, std::pair{16385u, 1u}, std::pair{1u, 40000u}}) {
        EXPECT_FALSE(quiva::DecodePng(PngClaiming(w, h), image, &error)) << w << "x" << h;
        EXPECT_FALSE(quiva::DecodeBmp(BmpClaiming(static_cast<int32_t>(w), static_cast<int32_t>(h)), image, &error)) << w << "x" << h;
    }
    EXPECT_FALSE(quiva::DecodeBmp(BmpClaiming(2, INT32_MIN), image, &error));
    // Within the limit, a file far too short for its rows is refused before its memory is taken.
    EXPECT_FALSE(quiva::DecodePng(PngClaiming(8192, 8192), image, &error));
    EXPECT_NE(error.find("truncated"), std::string::npos) << error;
    EXPECT_TRUE(quiva::DecodePng(PngClaiming(2, 2), image, &error)) << error;
}

// A picture's size from its headers alone, decoding nothing: a JPEG whose metadata runs past the
// first read is read on; a kind or header the decoder would not take gives none.
TEST(ImageCodec, SizeFromTheHeadersAlone)
{
    TempDir dir;
    auto card = TestCard(321, 240);
    std::string jpeg, bmp, png;
    ASSERT_TRUE(quiva::EncodeJpeg(card.data(), 321, 240, 90, jpeg));
    ASSERT_TRUE(quiva::EncodeBmp(card.data(), 321, 240, bmp));
    ASSERT_TRUE(quiva::EncodePng(card.data(), 321, 240, png));
    const std::string metadata = std::string("\xFF\xE1\x4E\x22", 4) + std::string(20000, 'm');  // 20,002 bytes
    jpeg.insert(2, metadata);
    const uint64_t decodes = quiva::ImageDecodeCount();
    int w = 0, h = 0;
    EXPECT_EQ(quiva::ReadImageSize(jpeg.substr(0, 4096), &w, &h), 0);
    for (const auto& [name, bytes] : {std::pair{"long.jpg", jpeg}, std::pair{"still.bmp", bmp}}) {
        WriteAll(dir.Native(name), bytes);
        w = h = 0;
        EXPECT_TRUE(quiva::ReadImageFileSize(dir.Win(name), &w, &h)) << name;
        EXPECT_EQ(w, 321) << name;
        EXPECT_EQ(h, 240) << name;
    }
    EXPECT_EQ(quiva::ImageDecodeCount(), decodes);
    WriteAll(dir.Native("cut.jpg"), jpeg.substr(0, 10000));
    WriteAll(dir.Native("card.png"), png);
    for (const char* name : {"cut.jpg", "card.png", "none.bmp"})
        EXPECT_FALSE(quiva::ReadImageFileSize(dir.Win(name), &w, &h)) << name;
    EXPECT_EQ(quiva::ReadImageSize(BmpClaiming(16385, 1), &w, &h), -1);
}

// A picture file cut short is told from a whole one by its length and its headers: nothing, a
// BMP's file header alone or part of its rows, a JPEG without its end; a BMP with bytes after its
// rows and a JPEG padded after its end are whole, and a file of no picture kind is not judged.
TEST(ImageCodec, CutFilesAreToldFromWholeOnes)
{
    TempDir dir;
    auto card = TestCard(321, 240);
    std::string jpeg, bmp, png;
    ASSERT_TRUE(quiva::EncodeJpeg(card.data(), 321, 240, 90, jpeg));
    ASSERT_TRUE(quiva::EncodeBmp(card.data(), 321, 240, bmp));
    ASSERT_TRUE(quiva::EncodePng(card.data(), 321, 240, png));
    auto cut = [&](const std::string& bytes) {
        WriteAll(dir.Native("picture"), bytes);
        const int fd = ::open(dir.Native("picture").c_str(), O_RDONLY | O_CLOEXEC);
        const bool result = quiva::ImageFileCut(fd);
        ::close(fd);
        return result;
    };
    for (const std::string& whole : {bmp, bmp + "tail", jpeg, jpeg + std::string(64, '\0'), png,
                                     std::string("neither a BMP nor a JPEG, but text")})
        EXPECT_FALSE(cut(whole)) << whole.size() << " bytes";
    for (const std::string& part : {std::string(), bmp.substr(0, 14), bmp.substr(0, 54), bmp.substr(0, bmp.size() - 1),
                                    jpeg.substr(0, jpeg.size() / 2), jpeg.substr(0, 600)})
        EXPECT_TRUE(cut(part)) << part.size() << " bytes";
}

// A picture and a JPEG made from it are one picture at any quality; another picture of the same
// size (even one that differs in one small patch) or of another size is not.
TEST(ImageCodec, APictureAndItsJpegAreOnePictureWithinJpegError)
{
    auto card = TestCard(321, 240);
    // Noise over the card as a camera gives it, hardest on JPEG.
    uint32_t seed = 7;
    for (uint32_t& px : card) {
        seed = seed * 1103515245u + 12345u;
        const int n = static_cast<int>((seed >> 16) % 41) - 20;
        uint32_t out = 0xFF000000u;
        for (int s = 0; s < 24; s += 8)
            out |= static_cast<uint32_t>(std::clamp(static_cast<int>((px >> s) & 0xFF) + n, 0, 255)) << s;
        px = out;
    }
    std::string bytes;
    quiva::DecodedImage picture, other;
    ASSERT_TRUE(quiva::EncodeBmp(card.data(), 321, 240, bytes));
    ASSERT_TRUE(quiva::DecodeBmp(bytes, picture));
    for (int quality : {0, 1, 10, 50, 90, 100}) {
        ASSERT_TRUE(quiva::EncodeJpeg(card.data(), 321, 240, quality, bytes));
        ASSERT_TRUE(quiva::DecodeJpeg(bytes, other));
        EXPECT_TRUE(quiva::SamePictureWithinJpegError(picture, other)) << "quality " << quality;
    }
    std::vector<uint32_t> mirrored(card.size()), patched = card;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 321; ++x)
            mirrored[static_cast<size_t>(y) * 321 + x] = card[static_cast<size_t>(y) * 321 + (320 - x)];
    for (int y = 8; y < 40; ++y)
        for (int x = 8; x < 40; ++x)
            patched[static_cast<size_t>(y) * 321 + x] = 0xFF000000u;
    for (const auto* pixels : {&mirrored, &patched}) {
        ASSERT_TRUE(quiva::EncodeJpeg(pixels->data(), 321, 240, 90, bytes));
        ASSERT_TRUE(quiva::DecodeJpeg(bytes, other));
        EXPECT_FALSE(quiva::SamePictureWithinJpegError(picture, other));
    }
    auto wider = TestCard(322, 240);
    ASSERT_TRUE(quiva::EncodeJpeg(wider.data(), 322, 240, 90, bytes));
    ASSERT_TRUE(quiva::DecodeJpeg(bytes, other));
    EXPECT_FALSE(quiva::SamePictureWithinJpegError(picture, other));
}
