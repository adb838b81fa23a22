#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "MediaTestSupport.h"
#include "platform/base/codepage.h"
#include "platform/media/AviReader.h"
#include "platform/media/AviSource.h"
#include "platform/media/MediaType.h"
#include "platform/media/MsVideo1.h"
#include "platform/media/vfw.h"
#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

using namespace quiva::test;
using quiva::ComPtr;

namespace {

bool HaveFfmpeg() { return !RunCommand("command -v ffprobe").empty() && !RunCommand("command -v ffmpeg").empty(); }

// A synthetic picture as the renderer gives it: 32-bit bottom-up rows.
std::vector<uint8_t> Picture(int w, int h, uint32_t counter)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    quiva::media::FrameStamp stamp;
    stamp.counter = counter;
    stamp.input = 3;
    stamp.label = "Recorded";
    quiva::media::DrawSyntheticPicture(px.data(), w, h, stamp);
    const auto* b = reinterpret_cast<const uint8_t*>(px.data());
    return std::vector<uint8_t>(b, b + px.size() * 4);
}

// Writes frames the way the engine records: a 13 fps stream through a compressing stream.
// `whileOpen` runs after the last frame, before the file is closed.
HRESULT Record(const CString& path, DWORD handler, int w, int h, int frames, HRESULT* lastWrite = nullptr,
               const std::function<void()>& whileOpen = {})
{
    AVIFileInit();
    PAVIFILE file = nullptr;
    PAVISTREAM stream = nullptr, compressed = nullptr;
    HRESULT hr = AVIFileOpenW(&file, path, OF_WRITE | OF_CREATE, nullptr);
    if (hr == AVIERR_OK) {
        AVISTREAMINFOW info{};
        info.fccType = streamtypeVIDEO;
        info.dwScale = 1;
        info.dwRate = 13;
        info.dwSuggestedBufferSize = static_cast<DWORD>(w * h * 4);
        info.rcFrame = {0, 0, w, h};
        hr = AVIFileCreateStreamW(file, &stream, &info);
    }
    if (hr == AVIERR_OK) {
        AVICOMPRESSOPTIONS opts{};
        opts.fccType = streamtypeVIDEO;
        opts.fccHandler = handler;
        opts.dwQuality = 10000;
        opts.dwFlags = AVICOMPRESSF_KEYFRAMES;
        hr = AVIMakeCompressedStream(&compressed, stream, &opts, nullptr);
    }
    if (hr == AVIERR_OK) {
        BITMAPINFOHEADER bih{};
        bih.biSize = sizeof(bih);
        bih.biWidth = w;
        bih.biHeight = h;
        bih.biPlanes = 1;
        bih.biBitCount = 32;
        bih.biCompression = BI_RGB;
        bih.biSizeImage = static_cast<DWORD>(w * h * 4);
        hr = AVIStreamSetFormat(compressed, 0, &bih, sizeof(bih));
    }
    for (int i = 0; hr == AVIERR_OK && i < frames; ++i) {
        std::vector<uint8_t> px = Picture(w, h, static_cast<uint32_t>(i));
        HRESULT w2 = AVIStreamWrite(compressed, i, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr);
        if (lastWrite)
            *lastWrite = w2;
        if (w2 != AVIERR_OK)
            break;
    }
    if (whileOpen)
        whileOpen();
    if (compressed)
        AVIStreamRelease(compressed);
    if (stream)
        AVIStreamRelease(stream);
    if (file)
        AVIFileRelease(file);
    AVIFileExit();
    return hr;
}

std::string Probe(const std::string& native, const std::string& entries)
{
    return RunCommand("ffprobe -v error -select_streams v:0 -count_frames -show_entries stream=" + entries +
               " -of default=noprint_wrappers=1 '" + native + "'");
}

// Frame `index` decoded by ffmpeg, as 24-bit top-down RGB.
std::string FfmpegFrame(const std::string& native, int index)
{
    return RunCommand("ffmpeg -v error -i '" + native + "' -vf 'select=eq(n\\," + std::to_string(index) +
               ")' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
}

// Mean absolute difference between ffmpeg's RGB24 top-down frame and our 32-bit bottom-up one.
double MeanDifference(const std::string& rgb24, const std::vector<uint8_t>& rgb32, int w, int h)
{
    if (rgb24.size() != static_cast<size_t>(w * h * 3))
        return 1e9;
    double sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* a = reinterpret_cast<const uint8_t*>(rgb24.data()) + (static_cast<size_t>(y) * w + x) * 3;
            const uint8_t* b = rgb32.data() + (static_cast<size_t>(h - 1 - y) * w + x) * 4;
            sum += std::abs(a[0] - b[2]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[0]);
        }
    return sum / (w * h * 3.0);
}

TEST(AviFileTest, VideoOneRecordingPlaysInOtherPlayersAndReadsBack)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const int w = 320, h = 240, frames = 20;
    ASSERT_EQ(AVIERR_OK, Record(dir.Win("msvc.avi"), mmioFOURCC('M', 'S', 'V', 'C'), w, h, frames));
    const std::string native = dir.Native("msvc.avi");
    const std::string probe = Probe(native, "codec_name,width,height,r_frame_rate,nb_read_frames");
    EXPECT_NE(std::string::npos, probe.find("codec_name=msvideo1")) << probe;
    EXPECT_NE(std::string::npos, probe.find("width=320")) << probe;
    EXPECT_NE(std::string::npos, probe.find("height=240")) << probe;
    EXPECT_NE(std::string::npos, probe.find("r_frame_rate=13/1")) << probe;
    EXPECT_NE(std::string::npos, probe.find("nb_read_frames=20")) << probe;
    // Every frame is a key frame.
    const std::string keys = RunCommand("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" + native + "'");
    EXPECT_EQ(20, std::count(keys.begin(), keys.end(), 'K')) << keys;

    // ffmpeg's picture equals what was written, within the codec's loss.
    const std::string decoded = FfmpegFrame(native, 7);
    EXPECT_LT(MeanDifference(decoded, Picture(w, h, 7), w, h), 6.0);

    // Our reader: header, frame count and the frames themselves.
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIStreamOpenFromFileW(&s, dir.Win("msvc.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    AVISTREAMINFOW info{};
    ASSERT_EQ(AVIERR_OK, AVIStreamInfoW(s, &info, sizeof(info)));
    EXPECT_EQ(mmioFOURCC('M', 'S', 'V', 'C'), info.fccHandler);
    EXPECT_EQ(13u, info.dwRate);
    EXPECT_EQ(1u, info.dwScale);
    EXPECT_EQ(20u, info.dwLength);
    EXPECT_EQ(320, info.rcFrame.right - info.rcFrame.left);
    EXPECT_EQ(240, info.rcFrame.bottom - info.rcFrame.top);
    LONG bytes = 0;
    ASSERT_EQ(AVIERR_OK, AVIStreamRead(s, 12, 1, nullptr, 0, &bytes, nullptr));
    std::vector<uint8_t> chunk(static_cast<size_t>(bytes));
    ASSERT_EQ(AVIERR_OK, AVIStreamRead(s, 12, 1, chunk.data(), bytes, &bytes, nullptr));
    std::vector<uint8_t> rgb;
    ASSERT_TRUE(quiva::media::DecodeMsVideo1(chunk.data(), chunk.size(), w, h, &rgb));
    quiva::media::FrameStamp stamp;
    ASSERT_TRUE(quiva::media::ReadFrameStamp(rgb.data(), w, h, &stamp));
    EXPECT_EQ(12u, stamp.counter);
    EXPECT_EQ("Recorded", stamp.label);
    AVIStreamRelease(s);
}

TEST(AviFileTest, UncompressedRecordingIsExact)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const int w = 320, h = 240;
    ASSERT_EQ(AVIERR_OK, Record(dir.Win("raw.avi"), 0, w, h, 5));
    const std::string native = dir.Native("raw.avi");
    const std::string probe = Probe(native, "codec_name,width,height,r_frame_rate,nb_read_frames");
    EXPECT_NE(std::string::npos, probe.find("codec_name=rawvideo")) << probe;
    EXPECT_NE(std::string::npos, probe.find("nb_read_frames=5")) << probe;
    EXPECT_NE(std::string::npos, probe.find("r_frame_rate=13/1")) << probe;
    EXPECT_EQ(0.0, MeanDifference(FfmpegFrame(native, 3), Picture(w, h, 3), w, h));
}

TEST(AviFileTest, DamagedFilesAreReadAsFarAsTheyGo)
{
    TempDir dir;
    const int w = 320, h = 240;
    ASSERT_EQ(AVIERR_OK, Record(dir.Win("full.avi"), mmioFOURCC('M', 'S', 'V', 'C'), w, h, 10));
    const std::string full = ReadAll(dir.Native("full.avi"));
    // Cut in the middle of the movie data: no index, the frames before the cut remain.
    WriteAll(dir.Native("cut.avi"), full.substr(0, full.size() / 2));
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIStreamOpenFromFileW(&s, dir.Win("cut.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    const LONG length = AVIStreamLength(s);
    EXPECT_GT(length, 2);
    EXPECT_LT(length, 10);
    LONG bytes = 0;
    EXPECT_EQ(AVIERR_OK, AVIStreamRead(s, 0, 1, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(AVIERR_NODATA, AVIStreamRead(s, length, 1, nullptr, 0, &bytes, nullptr));
    AVIStreamRelease(s);
    // Cut inside the headers, and not an AVI at all.
    WriteAll(dir.Native("head.avi"), full.substr(0, 100));
    EXPECT_EQ(AVIERR_BADFORMAT, AVIStreamOpenFromFileW(&s, dir.Win("head.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    WriteAll(dir.Native("text.avi"), "RIFF....WAVEfmt ");
    EXPECT_EQ(AVIERR_BADFORMAT, AVIStreamOpenFromFileW(&s, dir.Win("text.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    EXPECT_EQ(AVIERR_FILEOPEN, AVIStreamOpenFromFileW(&s, dir.Win("missing.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    // Garbage sizes in every chunk header do not lead the reader astray.
    std::string wild = full;
    for (size_t at = 4; at + 4 < 300; at += 37)
        std::memset(&wild[at], 0xFF, 4);
    WriteAll(dir.Native("wild.avi"), wild);
    if (AVIStreamOpenFromFileW(&s, dir.Win("wild.avi"), streamtypeVIDEO, 0, OF_READ, nullptr) == AVIERR_OK)
        AVIStreamRelease(s);
}

TEST(AviFileTest, ARecordingCutShortIsMadePlayableWithTheWholeFramesItsRecordNames)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const int w = 160, h = 120;
    // The file as a crash leaves it: never closed, with the writer's record of its frames beside
    // it, and its last frame half written; and copies, with and without the record.
    const std::string cut = dir.Native("cut.avi");
    auto copyOpen = [&](const std::string& name, bool withRecord) {
        std::filesystem::copy_file(dir.Native("rec.avi"), dir.Native(name));
        if (withRecord)
            std::filesystem::copy_file(dir.Native("rec.avi.frames"), dir.Native(name + ".frames"));
    };
    ASSERT_EQ(AVIERR_OK, Record(dir.Win("rec.avi"), mmioFOURCC('M', 'S', 'V', 'C'), w, h, 6, nullptr, [&] {
                  copyOpen("cut.avi", true);
                  copyOpen("sound.avi", false);
                  copyOpen("unsized.avi", true);
                  copyOpen("short.avi", true);
              }));
    EXPECT_FALSE(std::filesystem::exists(dir.Native("rec.avi.frames"))) << "the record outlived the close";
    const std::string whole = ReadAll(dir.Native("rec.avi"));
    const size_t idx1 = whole.rfind("idx1");
    ASSERT_NE(idx1, std::string::npos);
    const size_t last = whole.rfind("00dc", idx1);
    ASSERT_NE(last, std::string::npos);
    const std::string torn = whole.substr(last, (idx1 - last) / 2);
    WriteAll(cut, ReadAll(cut) + torn);

    ASSERT_EQ(quiva::media::RepairCutAvi(dir.Win("cut.avi")), quiva::media::AviRepair::Mended);
    EXPECT_FALSE(std::filesystem::exists(cut + ".frames"));
    const std::string probe = Probe(cut, "codec_name,nb_frames,nb_read_frames");
    EXPECT_NE(std::string::npos, probe.find("codec_name=msvideo1")) << probe;
    EXPECT_NE(std::string::npos, probe.find("nb_frames=6")) << probe;
    EXPECT_NE(std::string::npos, probe.find("nb_read_frames=6")) << probe;
    EXPECT_LT(MeanDifference(FfmpegFrame(cut, 5), Picture(w, h, 5), w, h), 6.0);
    // What its writer closed, and what was mended once, are left as they are.
    const std::string mended = ReadAll(cut);
    EXPECT_EQ(quiva::media::RepairCutAvi(dir.Win("cut.avi")), quiva::media::AviRepair::Whole);
    EXPECT_EQ(ReadAll(cut), mended);
    EXPECT_EQ(quiva::media::RepairCutAvi(dir.Win("rec.avi")), quiva::media::AviRepair::Whole);
    EXPECT_EQ(ReadAll(dir.Native("rec.avi")), whole);
    WriteAll(dir.Native("text.avi"), "RIFF....WAVEfmt ");
    EXPECT_EQ(quiva::media::RepairCutAvi(dir.Win("text.avi")), quiva::media::AviRepair::Refused);
    // A cut file without the record is no recording of the writer's to mend, whatever it holds.
    const std::string sound = ReadAll(dir.Native("sound.avi")) + torn;
    WriteAll(dir.Native("sound.avi"), sound);
    EXPECT_EQ(quiva::media::RepairCutAvi(dir.Win("sound.avi")), quiva::media::AviRepair::Refused);
    EXPECT_EQ(ReadAll(dir.Native("sound.avi")), sound);
    // Nor one whose record names a frame it does not hold whole.
    const std::string shorter = ReadAll(dir.Native("short.avi")).substr(0, last + 16);
    WriteAll(dir.Native("short.avi"), shorter);
    EXPECT_EQ(quiva::media::RepairCutAvi(dir.Win("short.avi")), quiva::media::AviRepair::Refused);
    EXPECT_EQ(ReadAll(dir.Native("short.avi")), shorter);
    // What follows the frames named is cut off, whatever it is.
    WriteAll(dir.Native("unsized.avi"), ReadAll(dir.Native("unsized.avi")) + "00dc" + std::string(60, '\0'));
    EXPECT_EQ(quiva::media::RepairCutAvi(dir.Win("unsized.avi")), quiva::media::AviRepair::Mended);
    const std::string unsized = Probe(dir.Native("unsized.avi"), "nb_frames,nb_read_frames");
    EXPECT_NE(std::string::npos, unsized.find("nb_frames=6")) << unsized;
    EXPECT_NE(std::string::npos, unsized.find("nb_read_frames=6")) << unsized;
}

TEST(AviFileTest, WriterRefusesWhatItCannotDo)
{
    TempDir dir;
    HRESULT last = AVIERR_OK;
    // Unknown compressor.
    EXPECT_EQ(AVIERR_NOCOMPRESSOR, Record(dir.Win("x.avi"), mmioFOURCC('X', 'V', 'I', 'D'), 64, 64, 1));
    // The size guard stops a recording with an error; what was written stays a valid file.
    quiva::media::SetAviSizeLimit(200000);
    EXPECT_EQ(AVIERR_OK, Record(dir.Win("big.avi"), 0, 160, 120, 50, &last));
    quiva::media::SetAviSizeLimit(1ull << 30);
    EXPECT_EQ(AVIERR_FILEWRITE, last);
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIStreamOpenFromFileW(&s, dir.Win("big.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    EXPECT_GT(AVIStreamLength(s), 0);
    EXPECT_LT(AVIStreamLength(s), 50);
    AVIStreamRelease(s);

    // Out-of-order frames, a short buffer and a missing format are refused.
    AVIFileInit();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIFileOpenW(&file, dir.Win("order.avi"), OF_WRITE | OF_CREATE, nullptr));
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 13;
    PAVISTREAM stream = nullptr, comp = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIFileCreateStreamW(file, &stream, &info));
    PAVISTREAM second = nullptr;
    EXPECT_EQ(AVIERR_UNSUPPORTED, AVIFileCreateStreamW(file, &second, &info));
    AVICOMPRESSOPTIONS opts{};
    opts.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
    ASSERT_EQ(AVIERR_OK, AVIMakeCompressedStream(&comp, stream, &opts, nullptr));
    std::vector<uint8_t> px = Picture(64, 64, 0);
    EXPECT_EQ(AVIERR_BADFORMAT, AVIStreamWrite(comp, 0, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr));
    BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), 64, 64, 1, 8, BI_RGB, 0, 0, 0, 0, 0};
    EXPECT_EQ(AVIERR_BADFORMAT, AVIStreamSetFormat(comp, 0, &bih, sizeof(bih)));
    bih.biBitCount = 32;
    ASSERT_EQ(AVIERR_OK, AVIStreamSetFormat(comp, 0, &bih, sizeof(bih)));
    EXPECT_EQ(AVIERR_BADSIZE, AVIStreamWrite(comp, 0, 1, px.data(), 100, AVIIF_KEYFRAME, nullptr, nullptr));
    EXPECT_EQ(AVIERR_OK, AVIStreamWrite(comp, 0, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr));
    EXPECT_EQ(AVIERR_BADPARAM, AVIStreamWrite(comp, 5, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr));
    // Releasing the file first: the streams keep it open until they go.
    AVIFileRelease(file);
    EXPECT_EQ(AVIERR_OK, AVIStreamWrite(comp, 1, 1, px.data(), static_cast<LONG>(px.size()), AVIIF_KEYFRAME, nullptr, nullptr));
    AVIStreamRelease(comp);
    AVIStreamRelease(stream);
    AVIFileExit();
    ASSERT_EQ(AVIERR_OK, AVIStreamOpenFromFileW(&s, dir.Win("order.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    EXPECT_EQ(2, AVIStreamLength(s));
    AVIStreamRelease(s);
}

TEST(AviFileTest, FileWithSoundFromAnotherWriterPlaysThroughTheGraph)
{
    if (!HaveFfmpeg())
        GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string native = dir.Native("av.avi");
    RunCommand("ffmpeg -v error -f lavfi -i testsrc=size=160x120:rate=10 -f lavfi -i sine=frequency=440 -t 1 "
        "-c:v msvideo1 -c:a pcm_s16le '" + native + "'");
    ASSERT_FALSE(ReadAll(native).empty());
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIStreamOpenFromFileW(&s, dir.Win("av.avi"), streamtypeVIDEO, 0, OF_READ, nullptr));
    AVISTREAMINFOW info{};
    AVIStreamInfoW(s, &info, sizeof(info));
    EXPECT_EQ(160, info.rcFrame.right - info.rcFrame.left);
    EXPECT_EQ(10, AVIStreamLength(s));
    AVIStreamRelease(s);

    // The thumbnail graph: source, a renderer, each pin rendered to existing renderers.
    auto g = NewGraph();
    ComPtr<IBaseFilter> source;
    ASSERT_EQ(S_OK, g->AddSourceFilter(dir.Win("av.avi"), L"SOURCE", source.Put()));
    auto r = AddWindowlessVmr9(g.Get());
    auto g2 = g.As<IFilterGraph2>(IID_IFilterGraph2);
    int rendered = 0;
    for (int i = 0; i < 2; ++i)
        if (SUCCEEDED(g2->RenderEx(FindPin(source.Get(), PINDIR_OUTPUT, i).Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr)))
            ++rendered;
    EXPECT_EQ(1, rendered);  // the picture; the sound finds no renderer
    ComPtr<IBaseFilter> decoder;
    EXPECT_EQ(S_OK, g->FindFilterByName(L"AVI Decoder", decoder.Put()));
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    EXPECT_EQ(S_OK, control->Run());
    Grabbed frame = GrabVmr9(r.Get());
    control->Stop();
    EXPECT_EQ(160, frame.header.biWidth);
    EXPECT_EQ(120, frame.header.biHeight);

    ComPtr<IBaseFilter> none;
    EXPECT_TRUE(FAILED(g->AddSourceFilter(dir.Win("missing.avi"), L"SOURCE 2", none.Put())));
}

TEST(AviFileTest, RecordingReadBackThroughTheSourceFilter)
{
    TempDir dir;
    ASSERT_EQ(AVIERR_OK, Record(dir.Win("rec.avi"), mmioFOURCC('M', 'S', 'V', 'C'), 320, 240, 3));
    auto g = NewGraph();
    ComPtr<IBaseFilter> source;
    ASSERT_EQ(S_OK, g->AddSourceFilter(dir.Win("rec.avi"), L"SOURCE", source.Put()));
    auto r = AddWindowlessVmr9(g.Get());
    ASSERT_EQ(S_OK, g.As<IFilterGraph2>(IID_IFilterGraph2)->RenderEx(FindPin(source.Get(), PINDIR_OUTPUT).Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr));
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    Grabbed first = GrabVmr9(r.Get());
    control->Stop();
    ASSERT_TRUE(first.stampOk);
    EXPECT_EQ("Recorded", first.stamp.label);
}

TEST(MsVideo1Test, DecoderHandlesEveryBlockKind)
{
    // 8x4 picture: block 0 eight colours, block 1 skipped (keeps the previous picture).
    std::vector<uint8_t> data;
    auto put = [&](uint16_t v) {
        data.push_back(static_cast<uint8_t>(v));
        data.push_back(static_cast<uint8_t>(v >> 8));
    };
    put(0x0000);  // flags: every pixel takes the second colour of its quadrant
    const uint16_t colours[8] = {0x8000 | 0x7C00, 0x001F, 0x7C00, 0x03E0, 0x001F, 0x7FFF, 0x0000, 0x3DEF};
    for (uint16_t c : colours)
        put(c);
    put(0x8401);  // skip one block
    std::vector<uint8_t> previous(8 * 4 * 4, 0x55);
    std::vector<uint8_t> out;
    ASSERT_TRUE(quiva::media::DecodeMsVideo1(data.data(), data.size(), 8, 4, &out, &previous));
    auto px = [&](int x, int y) {
        const uint8_t* p = out.data() + (static_cast<size_t>(y) * 8 + x) * 4;
        return (p[2] << 16) | (p[1] << 8) | p[0];
    };
    EXPECT_EQ(0x0000FF, px(0, 0));  // bottom-left quadrant, second colour: blue
    EXPECT_EQ(0x00FF00, px(2, 0));  // bottom-right: green
    EXPECT_EQ(0xFFFFFF, px(0, 2));  // top-left: white
    EXPECT_EQ(0x7B7B7B, px(3, 3));
    EXPECT_EQ(0x555555, px(5, 1));  // the skipped block
    // Data that ends early is refused.
    EXPECT_FALSE(quiva::media::DecodeMsVideo1(data.data(), 5, 8, 4, &out));
}

TEST(MsVideo1Test, EncoderKeepsEdgesOfColourBars)
{
    const int w = 320, h = 240;
    std::vector<uint8_t> px = Picture(w, h, 99);
    std::vector<uint8_t> coded, decoded;
    quiva::media::EncodeMsVideo1(px.data(), w, h, 10000, &coded);
    EXPECT_LT(coded.size(), px.size() / 8);  // far smaller than the 32-bit picture
    ASSERT_TRUE(quiva::media::DecodeMsVideo1(coded.data(), coded.size(), w, h, &decoded));
    quiva::media::FrameStamp stamp;
    ASSERT_TRUE(quiva::media::ReadFrameStamp(decoded.data(), w, h, &stamp));
    EXPECT_EQ(99u, stamp.counter);
    // A colour whose red is exactly 1/31 cannot be a one-colour block; it still comes back.
    std::vector<uint8_t> odd(16 * 4 * 4);
    for (size_t i = 0; i < odd.size(); i += 4) {
        odd[i] = 0;
        odd[i + 1] = 0;
        odd[i + 2] = 8;
        odd[i + 3] = 255;
    }
    quiva::media::EncodeMsVideo1(odd.data(), 16, 4, 10000, &coded);
    ASSERT_TRUE(quiva::media::DecodeMsVideo1(coded.data(), coded.size(), 16, 4, &decoded));
    EXPECT_EQ(8, decoded[2]);
}

}  // namespace

namespace {

std::string AviFinding(const std::string& name)
{
    return std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/avi_source/" + name;
}

// The media types the source filter's pins list for a file.
std::vector<quiva::media::MediaType> SourceTypes(const CString& path, HRESULT* hr)
{
    std::vector<quiva::media::MediaType> types;
    ComPtr<IBaseFilter> source = ComPtr<IBaseFilter>::Adopt(quiva::media::CreateAviSourceFilter(path.str(), hr));
    if (!source)
        return types;
    ComPtr<IEnumPins> pins;
    EXPECT_EQ(source->EnumPins(pins.Put()), S_OK);
    IPin* pin = nullptr;
    while (pins && pins->Next(1, &pin, nullptr) == S_OK) {
        ComPtr<IEnumMediaTypes> list;
        if (SUCCEEDED(pin->EnumMediaTypes(list.Put())) && list) {
            AM_MEDIA_TYPE* mt = nullptr;
            while (list->Next(1, &mt, nullptr) == S_OK) {
                types.emplace_back(*mt);
                DeleteMediaType(mt);
            }
        }
        pin->Release();
    }
    return types;
}

}  // namespace

TEST(AviFileTest, HostileSizesListNoTypeAndDecodeNothing)
{
    CString dir = CString(quiva::Utf8ToWide(AviFinding("")));
    for (const char* name : {"avi1-mjpg-50000.avi", "avi1-mjpg-size-overflow-min.avi", "avi2-height-intmin.avi",
                             "avi3-msvc-30000x30000.avi", "avi3-yuy2-30000x30000.avi"}) {
        HRESULT hr = S_OK;
        for (const auto& mt : SourceTypes(dir + CString(quiva::Utf8ToWide(name)), &hr)) {
            ASSERT_NE(mt.Bitmap(), nullptr) << name;
            EXPECT_TRUE(quiva::ImageSizeOk(mt.Width(), mt.Height())) << name;
            EXPECT_EQ(mt.sampleSize, mt.Bitmap()->biSizeImage) << name;
        }
    }
    // The decoders check the size and the data before taking the picture's memory.
    std::vector<uint8_t> out;
    const uint8_t two[2] = {0, 0};
    EXPECT_FALSE(quiva::media::DecodeMsVideo1(two, 2, 30000, 30000, &out));
    EXPECT_FALSE(quiva::media::DecodeMsVideo1(two, 2, 8192, 8192, &out));
    EXPECT_TRUE(out.empty());
    quiva::media::Frame f;
    f.data = std::make_shared<std::vector<uint8_t>>(two, two + 2);
    f.width = f.height = 8192;
    f.subtype = MEDIASUBTYPE_YUY2;
    EXPECT_FALSE(quiva::media::ConvertToRgb32(f, &out));
    EXPECT_TRUE(out.empty());
    const auto mjpg = quiva::media::MakeVideoType(MEDIASUBTYPE_MJPG, 8192, 8192, 0);
    EXPECT_EQ(mjpg.Bitmap()->biSizeImage, 8192u * 8192u * 3u);
}

TEST(AviFileTest, ChunkLargerThanAnyFrameIsNeverCopiedIntoTheCallersBuffer)
{
    // The base file's movie list is replaced by one video chunk declaring 0x90000000 bytes, in
    // a sparse file long enough to hold it.
    std::string base = ReadAll(AviFinding("avi4-base-own-msvc.avi"));
    const size_t movi = base.find("movi");
    ASSERT_NE(movi, std::string::npos);
    std::string file = base.substr(0, movi - 8);
    const uint32_t chunk = 0x90000000u;
    auto put32 = [&](uint32_t v) { file.append(reinterpret_cast<const char*>(&v), 4); };
    file += "LIST";
    put32(4 + 8 + chunk);
    file += "movi00dc";
    put32(chunk);
    const uint32_t riffSize = static_cast<uint32_t>(file.size() - 8 + chunk);
    std::memcpy(&file[4], &riffSize, 4);
    TempDir dir;
    WriteAll(dir.Native("sparse.avi"), file);
    ASSERT_EQ(::truncate(dir.Native("sparse.avi").c_str(), static_cast<off_t>(file.size()) + chunk), 0);

    PAVISTREAM stream = nullptr;
    ASSERT_EQ(AVIStreamOpenFromFileW(&stream, dir.Win("sparse.avi"), streamtypeVIDEO, 0, OF_READ, nullptr), AVIERR_OK);
    std::vector<char> buffer(4096 + 64, '\x5A');
    LONG bytes = 0;
    const HRESULT hr = AVIStreamRead(stream, 0, 1, buffer.data(), 4096, &bytes, nullptr);
    EXPECT_NE(hr, AVIERR_OK);
    EXPECT_GE(bytes, 0);
    EXPECT_EQ(std::count(buffer.begin() + 4096, buffer.end(), '\x5A'), 64);
    EXPECT_EQ(AVIStreamLength(stream), 0);  // a 2.4 GB chunk is no frame
    AVIStreamRelease(stream);

    // A frame larger than the buffer is refused with its real size, and nothing is copied.
    const CString small = dir.Win("small.avi");
    ASSERT_EQ(Record(small, mmioFOURCC('D', 'I', 'B', ' '), 64, 48, 1), AVIERR_OK);
    ASSERT_EQ(AVIStreamOpenFromFileW(&stream, small, streamtypeVIDEO, 0, OF_READ, nullptr), AVIERR_OK);
    std::fill(buffer.begin(), buffer.end(), '\x5A');
    EXPECT_EQ(AVIStreamRead(stream, 0, 1, buffer.data(), 4096, &bytes, nullptr), AVIERR_BUFFERTOOSMALL);
    EXPECT_EQ(bytes, 64 * 48 * 4);  // the 32-bit frames the engine records
    EXPECT_EQ(std::count(buffer.begin(), buffer.end(), '\x5A'), static_cast<long>(buffer.size()));
    AVIStreamRelease(stream);
}
