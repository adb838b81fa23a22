#include <gtest/gtest.h>

#include <cstring>

#include "MediaTestSupport.h"
#include "platform/base/lasterror.h"
#include "platform/base/process.h"
#include "platform/base/winpath.h"

#include <sys/stat.h>
#include "platform/media/vfw.h"
#include "tests/support/TempDir.h"

using namespace quiva::test;
using quiva::ComPtr;
using quiva::media::Frame;
using quiva::media::MediaType;

namespace {

std::vector<uint8_t> Bars(int w, int h)
{
    std::vector<uint32_t> px(static_cast<size_t>(w) * static_cast<size_t>(h));
    quiva::media::FrameStamp stamp;
    quiva::media::DrawSyntheticPicture(px.data(), w, h, stamp);
    const auto* b = reinterpret_cast<const uint8_t*>(px.data());
    return std::vector<uint8_t>(b, b + px.size() * 4);
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size())
        return 1e9;
    double sum = 0;
    for (size_t i = 0; i < a.size(); i += 4)
        sum += std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]);
    return sum / (a.size() / 4 * 3.0);
}

// Every format the layer encodes comes back close to the picture, odd sizes included.
TEST(PixelFormatTest, ConversionsRoundTrip)
{
    struct Case {
        const GUID* subtype;
        double tolerance;
    };
    const Case cases[] = {{&MEDIASUBTYPE_RGB32, 0.0}, {&MEDIASUBTYPE_RGB24, 0.0}, {&MEDIASUBTYPE_YUY2, 12.0},
                          {&MEDIASUBTYPE_UYVY, 12.0}, {&MEDIASUBTYPE_NV12, 12.0}, {&MEDIASUBTYPE_MJPG, 12.0}};
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{320, 240}, {327, 241}}) {
        const std::vector<uint8_t> picture = Bars(w, h);
        for (const Case& c : cases) {
            auto coded = std::make_shared<std::vector<uint8_t>>();
            ASSERT_TRUE(quiva::media::ConvertFromRgb32(picture.data(), w, h, *c.subtype, coded.get()));
            Frame f;
            f.data = coded;
            f.width = w;
            f.height = h;
            f.subtype = *c.subtype;
            std::vector<uint8_t> back;
            ASSERT_TRUE(quiva::media::ConvertToRgb32(f, &back)) << quiva::GuidToString(*c.subtype).c_str();
            EXPECT_LE(MeanDifference(picture, back), c.tolerance) << w << " " << quiva::GuidToString(*c.subtype).c_str();
        }
    }
    // Data shorter than the picture, and formats the layer cannot decode, are refused.
    Frame shortFrame;
    shortFrame.data = std::make_shared<std::vector<uint8_t>>(100);
    shortFrame.width = 320;
    shortFrame.height = 240;
    std::vector<uint8_t> out;
    for (const GUID* s : {&MEDIASUBTYPE_RGB32, &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_YUY2, &MEDIASUBTYPE_MJPG, &MEDIASUBTYPE_NV12}) {
        shortFrame.subtype = *s;
        EXPECT_FALSE(quiva::media::ConvertToRgb32(shortFrame, &out));
    }
}

TEST(MediaTypeTest, TextFormAndPartialMatches)
{
    MediaType uyvy2 = quiva::media::MakeVideoType(MEDIASUBTYPE_UYVY, 320, 240, 333333, true);
    EXPECT_EQ(112u, uyvy2.format.size());
    EXPECT_EQ(320, uyvy2.Width());
    EXPECT_EQ(333333, uyvy2.AvgTimePerFrame());
    MediaType back;
    ASSERT_TRUE(MediaType::Deserialise(uyvy2.Serialise(), &back));
    EXPECT_TRUE(back == uyvy2);
    EXPECT_FALSE(MediaType::Deserialise("abc", &back));
    EXPECT_FALSE(MediaType::Deserialise(uyvy2.Serialise() + "0", &back));

    AM_MEDIA_TYPE partial{};
    partial.majortype = MEDIATYPE_Video;
    EXPECT_TRUE(uyvy2.Matches(partial));
    partial.subtype = MEDIASUBTYPE_YUY2;
    EXPECT_FALSE(uyvy2.Matches(partial));
    // The same picture with the other header kind is another type.
    MediaType uyvy1 = quiva::media::MakeVideoType(MEDIASUBTYPE_UYVY, 320, 240, 333333, false);
    AM_MEDIA_TYPE full;
    uyvy1.CopyTo(&full);
    EXPECT_FALSE(uyvy2.Matches(full));
    EXPECT_TRUE(uyvy1.Matches(full));
    FreeMediaTypeContents(full);
    EXPECT_EQ(0u, full.cbFormat);
    EXPECT_EQ(nullptr, full.pbFormat);
}

TEST(EnumeratorTest, OneAtATimeSkipResetAndClone)
{
    ScopedDevices devices(kStandardDevices);
    auto g = NewGraph();
    auto capture = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Card Capture");
    ComPtr<IEnumPins> pins;
    ASSERT_EQ(S_OK, capture->EnumPins(pins.Put()));
    std::vector<std::wstring> names;
    IPin* p = nullptr;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        PIN_INFO info;
        p->QueryPinInfo(&info);
        names.push_back(info.achName);
        info.pFilter->Release();
        p->Release();
    }
    EXPECT_EQ((std::vector<std::wstring>{L"Analog Video In", L"Capture"}), names);
    pins->Reset();
    EXPECT_EQ(S_OK, pins->Skip(1));
    ComPtr<IEnumPins> clone;
    ASSERT_EQ(S_OK, pins->Clone(clone.Put()));
    ASSERT_EQ(S_OK, clone->Next(1, &p, nullptr));
    PIN_DIRECTION dir;
    p->QueryDirection(&dir);
    EXPECT_EQ(PINDIR_OUTPUT, dir);
    ComPtr<IEnumMediaTypes> types;
    ASSERT_EQ(S_OK, p->EnumMediaTypes(types.Put()));
    p->Release();
    AM_MEDIA_TYPE* mt = nullptr;
    int count = 0;
    while (types->Next(1, &mt, nullptr) == S_OK) {
        EXPECT_TRUE(mt->majortype == MEDIATYPE_Video);
        DeleteMediaType(mt);
        ++count;
    }
    EXPECT_EQ(6, count);
    EXPECT_EQ(S_FALSE, pins->Skip(5));
}

TEST(RenderExTest, OnlyFreePinsAreRendered)
{
    ScopedDevices devices(kStandardDevices);
    auto g = NewGraph();
    auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    auto g2 = g.As<IFilterGraph2>(IID_IFilterGraph2);
    auto out = FindPin(cam.Get(), PINDIR_OUTPUT);
    // No renderer in the graph yet: this layer adds none by itself.
    EXPECT_EQ(VFW_E_CANNOT_RENDER, g2->RenderEx(out.Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr));
    auto r = AddWindowlessVmr9(g.Get());
    EXPECT_EQ(S_OK, g2->RenderEx(out.Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr));
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, g2->RenderEx(out.Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, g2->RenderEx(FindPin(r.Get(), PINDIR_INPUT).Get(), 0, nullptr));
}

TEST(AviFormatTest, StoredFormatAndFramesReadBack)
{
    TempDir dir;
    AVIFileInit();
    PAVIFILE file = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIFileOpenW(&file, dir.Win("f.avi"), OF_WRITE | OF_CREATE, nullptr));
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 13;
    PAVISTREAM s = nullptr;
    ASSERT_EQ(AVIERR_OK, AVIFileCreateStreamW(file, &s, &info));
    BITMAPINFOHEADER bih{sizeof(BITMAPINFOHEADER), 8, 4, 1, 24, BI_RGB, 96, 0, 0, 0, 0};
    ASSERT_EQ(AVIERR_OK, AVIStreamSetFormat(s, 0, &bih, sizeof(bih)));
    uint8_t pixels[96];
    for (int i = 0; i < 96; ++i)
        pixels[i] = static_cast<uint8_t>(i);
    ASSERT_EQ(AVIERR_OK, AVIStreamWrite(s, 0, 1, pixels, 96, AVIIF_KEYFRAME, nullptr, nullptr));
    ASSERT_EQ(AVIERR_OK, AVIStreamWrite(s, 1, 1, pixels, 95, 0, nullptr, nullptr));  // odd size: padded
    ASSERT_EQ(AVIERR_OK, AVIStreamWrite(s, 2, 1, pixels, 96, AVIIF_KEYFRAME, nullptr, nullptr));
    AVIStreamRelease(s);
    AVIFileRelease(file);

    ASSERT_EQ(AVIERR_OK, AVIFileOpenW(&file, dir.Win("f.avi"), OF_READ, nullptr));
    ASSERT_EQ(AVIERR_OK, AVIFileGetStream(file, &s, streamtypeVIDEO, 0));
    PAVISTREAM audio = nullptr;
    EXPECT_EQ(AVIERR_NODATA, AVIFileGetStream(file, &audio, streamtypeAUDIO, 0));
    LONG size = 0;
    ASSERT_EQ(AVIERR_OK, AVIStreamReadFormat(s, 0, nullptr, &size));
    EXPECT_EQ(40, size);
    BITMAPINFOHEADER stored{};
    ASSERT_EQ(AVIERR_OK, AVIStreamReadFormat(s, 0, &stored, &size));
    EXPECT_EQ(24, stored.biBitCount);
    EXPECT_EQ(8, stored.biWidth);
    EXPECT_EQ(3, AVIStreamLength(s));
    uint8_t back[96] = {};
    LONG bytes = 0;
    ASSERT_EQ(AVIERR_OK, AVIStreamRead(s, 2, 1, back, sizeof(back), &bytes, nullptr));
    EXPECT_EQ(96, bytes);
    EXPECT_EQ(0, std::memcmp(back, pixels, 96));
    ASSERT_EQ(AVIERR_OK, AVIStreamRead(s, 1, 1, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(95, bytes);
    EXPECT_EQ(AVIERR_BUFFERTOOSMALL, AVIStreamRead(s, 2, 1, back, 10, &bytes, nullptr));
    EXPECT_EQ(AVIERR_READONLY, AVIStreamWrite(s, 3, 1, pixels, 96, 0, nullptr, nullptr));
    AVIStreamRelease(s);
    AVIFileRelease(file);
    AVIFileExit();
}

TEST(StorageTest, CreateRefusesAnExistingFileWithoutCreateFlag)
{
    TempDir dir;
    ComPtr<IStorage> st;
    ASSERT_EQ(S_OK, StgCreateDocfile(dir.Win("g.grf"), STGM_CREATE | STGM_READWRITE, 0, st.Put()));
    st.Reset();
    EXPECT_EQ(STG_E_FILEALREADYEXISTS, StgCreateDocfile(dir.Win("g.grf"), STGM_READWRITE, 0, st.Put()));
    // A read-only storage refuses new streams.
    ASSERT_EQ(S_OK, StgOpenStorage(dir.Win("g.grf"), nullptr, STGM_READ, nullptr, 0, st.Put()));
    ComPtr<IStream> s;
    EXPECT_EQ(STG_E_ACCESSDENIED, st->CreateStream(L"ActiveMovieGraph", STGM_CREATE | STGM_WRITE, 0, 0, s.Put()));
    // A memory stream reports its size and reads back from a seek.
    ComPtr<IStream> mem;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, mem.Put()));
    ASSERT_EQ(S_OK, mem->Write("BM0123", 6, nullptr));
    STATSTG stat;
    mem->Stat(&stat, STATFLAG_NONAME);
    EXPECT_EQ(6u, stat.cbSize.QuadPart);
    LARGE_INTEGER two{};
    two.QuadPart = 2;
    mem->Seek(two, STREAM_SEEK_SET, nullptr);
    char buf[8] = {};
    ULONG got = 0;
    EXPECT_EQ(S_FALSE, mem->Read(buf, 8, &got));
    EXPECT_EQ(4u, got);
    EXPECT_STREQ("0123", buf);
}

TEST(ProcessStartTest, QuotedProgramPathsAndTheCurrentFolder)
{
    TempDir dir;
    // A program in a folder with a space, named by its full path in quotes.
    const std::string folder = dir.Native("with space");
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
    WriteAll(folder + "/tool", "#!/bin/sh\npwd > out.txt\n");
    ::chmod((folder + "/tool").c_str(), 0755);
    std::wstring cmd = L"\"" + quiva::WindowsPath(folder + "/tool.exe").str() + L"\" arg";
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    const CString cwd = dir.Win();
    ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd, &si, &pi));
    EXPECT_TRUE(quiva::WaitForProcessExit(pi.hProcess, 5000));
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    std::string out = ReadAll(dir.Native("out.txt"));
    EXPECT_EQ(dir.path() + "\n", out);
    // A file that is not executable is not a program.
    WriteAll(dir.Native("plain"), "data");
    std::wstring plain = quiva::WindowsPath(dir.Native("plain")).str();
    EXPECT_FALSE(CreateProcessW(nullptr, plain.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
}

}  // namespace
