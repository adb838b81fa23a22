#include "tests/support/capture/CaptureTestSupport.h"

#include <sys/resource.h>

#include <csignal>
#include <filesystem>

#include "platform/base/debug.h"
#include "platform/gdi/ImageCodec.h"

using namespace quiva::test;

using CaptureStill = EngineTest;

TEST_F(CaptureStill, StillIsTheRenderersPictureAsABmpFile)
{
    for (int kind : { KXM_RENDERER_VMR9, KXM_RENDERER_VMR7, KXM_RENDERER_EVR }) {
        TestEngine engine;
        engine.Load(kList);
        engine.m_nRendererKind = kind;
        ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
        ASSERT_TRUE(WaitForPicture(engine).ok);
        // The camera is slow enough that the picture stays put between the two reads.
        engine.Stop();
        Stamped shown = WaitForPicture(engine);
        const std::string name = "still" + std::to_string(kind) + ".bmp";
        ASSERT_EQ(engine.SaveSnapshot(Win(name)), 1);

        std::string bytes = ReadAll(Native(name));
        ASSERT_EQ(bytes.size(), 14 + 40 + shown.pixels.size());
        uint32_t size, offset;
        std::memcpy(&size, bytes.data() + 2, 4);
        std::memcpy(&offset, bytes.data() + 10, 4);
        EXPECT_EQ(bytes.substr(0, 2), "BM");
        EXPECT_EQ(size, bytes.size());
        EXPECT_EQ(offset, 54u);
        EXPECT_EQ(bytes.substr(54), shown.pixels);

        quiva::DecodedImage image;
        ASSERT_TRUE(quiva::DecodeBmp(bytes, image)) << kind;
        EXPECT_EQ(image.width, shown.header.biWidth);
        EXPECT_EQ(image.height, shown.header.biHeight);
        // Top-left pixel of the file is the last row of the bottom-up picture.
        const auto* last = reinterpret_cast<const uint8_t*>(shown.pixels.data()) +
                           static_cast<size_t>(shown.header.biHeight - 1) * shown.header.biWidth * 4;
        const uint32_t rgb = static_cast<uint32_t>(last[2]) << 16 | last[1] << 8 | last[0];
        EXPECT_EQ(image.pixels[0] & 0xFFFFFFu, rgb);
    }
}

TEST_F(CaptureStill, NoPictureOrNoPlaceWritesNothing)
{
    TestEngine engine;
    engine.Load(kList);
    EXPECT_EQ(engine.SaveSnapshot(Win("none.bmp")), 0);
    EXPECT_EQ(engine.GrabFrame(), nullptr);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(WaitForPicture(engine).ok);
    EXPECT_EQ(engine.SaveSnapshot(Win("missing\\folder\\x.bmp")), 0);
    // A renderer kind the graph does not hold has no picture to give.
    engine.m_nRendererKind = KXM_RENDERER_EVR;
    EXPECT_EQ(engine.SaveSnapshot(Win("other.bmp")), 0);
    EXPECT_FALSE(std::filesystem::exists(Native("other.bmp")));

    // Before the first picture: no frame, the renderer's answer on the debugger output.
    UseDevices("camera \"Late Camera\" late_first_frame=5000\n");
    TestEngine late;
    late.Load(L"1@@Late Camera@@@@Late@@0@@0@@0\n");
    late.NewGraph();
    late.SelectDevice(L"Late", m_wnd);
    ASSERT_EQ(late.m_bRunning.load(), 1);
    quiva::DebugCapture debug;
    EXPECT_EQ(late.GrabFrame(), nullptr);
    EXPECT_TRUE(debug.Contains(L"Frame : "));
    EXPECT_EQ(late.SaveSnapshot(Win("late.bmp")), 0);
    EXPECT_FALSE(std::filesystem::exists(Native("late.bmp")));
}

TEST(CaptureStillFile, ShortWriteRemovesTheFile)
{
    BITMAPINFOHEADER h {};
    h.biSize = 40, h.biWidth = 2, h.biHeight = 2, h.biPlanes = 1, h.biBitCount = 32, h.biSizeImage = 16;
    std::string dib(reinterpret_cast<const char*>(&h), 40);
    dib.append(16, '\x7f');
    quiva::test::TempDir dir;
    EXPECT_TRUE(WriteDibFile(dir.Win("ok.bmp"), reinterpret_cast<const BYTE*>(dib.data())));
    EXPECT_EQ(ReadAll(dir.Native("ok.bmp")).size(), 14u + 40 + 16);

    // A disk that takes only part of the still: the cut file is not left claiming to be one.
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 40;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool written = WriteDibFile(dir.Win("cut.bmp"), reinterpret_cast<const BYTE*>(dib.data()));
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_FALSE(std::filesystem::exists(dir.Native("cut.bmp")));
    // Nor under another name beside it: the whole one alone is there.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Native("")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"ok.bmp"});
}
