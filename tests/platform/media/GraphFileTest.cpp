#include <gtest/gtest.h>

#include "MediaTestSupport.h"
#include "platform/base/fileapi.h"
#include "tests/support/TempDir.h"

using namespace quiva::test;
using quiva::ComPtr;

namespace {

HRESULT SaveGraph(IGraphBuilder* g, const CString& path)
{
    ComPtr<IStorage> storage;
    HRESULT hr = StgCreateDocfile(path, STGM_CREATE | STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, storage.Put());
    if (FAILED(hr))
        return hr;
    ComPtr<IStream> stream;
    hr = storage->CreateStream(L"ActiveMovieGraph", STGM_WRITE | STGM_CREATE | STGM_SHARE_EXCLUSIVE, 0, 0, stream.Put());
    if (FAILED(hr))
        return hr;
    hr = ComPtr<IGraphBuilder>(g).As<IPersistStream>(IID_IPersistStream)->Save(stream.Get(), TRUE);
    if (FAILED(hr))
        return hr;
    return storage->Commit(STGC_DEFAULT);
}

HRESULT LoadGraph(IGraphBuilder* g, const CString& path)
{
    if (StgIsStorageFile(path) != S_OK)
        return E_FAIL;
    ComPtr<IStorage> storage;
    HRESULT hr = StgOpenStorage(path, nullptr, STGM_TRANSACTED | STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, storage.Put());
    if (FAILED(hr))
        return hr;
    ComPtr<IStream> stream;
    hr = storage->OpenStream(L"ActiveMovieGraph", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put());
    if (FAILED(hr))
        return hr;
    return ComPtr<IGraphBuilder>(g).As<IPersistStream>(IID_IPersistStream)->Load(stream.Get());
}

TEST(GraphFileTest, CardGraphComesBackWithRouteFormatAndWindowedRenderer)
{
    ScopedDevices devices(kStandardDevices);
    TempDir dir;
    auto g = NewGraph();
    auto xbar = AddDevice(g.Get(), AM_KSCATEGORY_CROSSBAR, L"Test Card Crossbar");
    auto capture = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Card Capture");
    xbar.As<IAMCrossbar>(IID_IAMCrossbar)->Route(0, 4);
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), xbar.Get(), capture.Get()));
    auto uyvy = quiva::media::MakeVideoType(MEDIASUBTYPE_UYVY, 320, 240, 333333);
    AM_MEDIA_TYPE mt;
    uyvy.CopyTo(&mt);
    ASSERT_EQ(S_OK, capture.As<IAMStreamConfig>(IID_IAMStreamConfig)->SetFormat(&mt));
    FreeMediaTypeContents(mt);
    auto colour = Create(CLSID_DMOWrapperFilter);
    colour.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter)->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory);
    g->AddFilter(colour.Get(), L"Color Control");
    auto r = AddWindowlessVmr9(g.Get());
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), capture.Get(), colour.Get()));
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), colour.Get(), r.Get()));
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_I4;
    v.lVal = -20;
    colour.As<IPropertyStore>(IID_IPropertyStore)->SetValue({QUIVA_COLORCONTROL_FMTID, 3}, v);
    const CString path = dir.Win("card.grf");
    ASSERT_EQ(S_OK, SaveGraph(g.Get(), path));
    EXPECT_EQ(S_OK, StgIsStorageFile(path));

    auto loaded = NewGraph();
    ASSERT_EQ(S_OK, LoadGraph(loaded.Get(), path));
    ComPtr<IBaseFilter> r2, colour2, xbar2;
    ASSERT_EQ(S_OK, loaded->FindFilterByName(L"Video Mixing Renderer 9", r2.Put()));
    ASSERT_EQ(S_OK, loaded->FindFilterByName(L"Color Control", colour2.Put()));
    ASSERT_EQ(S_OK, loaded->FindFilterByName(L"Test Card Crossbar", xbar2.Put()));
    // The renderer is back windowed: no windowless control until the mode is switched.
    EXPECT_FALSE(r2.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9));
    ComPtr<IPin> peer;
    EXPECT_EQ(S_OK, FindPin(r2.Get(), PINDIR_INPUT)->ConnectedTo(peer.Put()));
    colour2.As<IPropertyStore>(IID_IPropertyStore)->GetValue({QUIVA_COLORCONTROL_FMTID, 3}, &v);
    EXPECT_EQ(-20, v.lVal);
    LONG routed = -1;
    xbar2.As<IAMCrossbar>(IID_IAMCrossbar)->get_IsRoutedTo(0, &routed);
    EXPECT_EQ(4, routed);
    AM_MEDIA_TYPE got;
    ASSERT_EQ(S_OK, FindPin(r2.Get(), PINDIR_INPUT)->ConnectionMediaType(&got));
    EXPECT_TRUE(got.subtype == MEDIASUBTYPE_UYVY);
    FreeMediaTypeContents(got);

    // The engine's saved-graph switch: disconnect, windowless, reconnect, run.
    auto in = FindPin(r2.Get(), PINDIR_INPUT);
    loaded->Disconnect(peer.Get());
    loaded->Disconnect(in.Get());
    ASSERT_EQ(S_OK, r2.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9)->SetRenderingMode(VMR9Mode_Windowless));
    ASSERT_EQ(S_OK, loaded->Connect(peer.Get(), in.Get()));
    auto control = loaded.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    Grabbed frame = WaitForFrame(r2.Get(), 0);
    control->Stop();
    EXPECT_EQ("Component", frame.stamp.label);
    EXPECT_EQ(320, frame.header.biWidth);
}

TEST(GraphFileTest, UnknownClassesLoadPartly)
{
    ScopedDevices devices(kStandardDevices);
    TempDir dir;
    auto g = NewGraph();
    auto evr = Create(CLSID_EnhancedVideoRenderer);
    g->AddFilter(evr.Get(), L"Enhanced Video Renderer");
    auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), evr.Get()));
    const CString path = dir.Win("evr.grf");
    ASSERT_EQ(S_OK, SaveGraph(g.Get(), path));

    // The same file read where the renderer's class cannot be made.
    quiva::SetComClassFailure(CLSID_EnhancedVideoRenderer, true);
    auto partial = NewGraph();
    EXPECT_EQ(S_FALSE, LoadGraph(partial.Get(), path));
    ComPtr<IBaseFilter> found;
    EXPECT_EQ(S_OK, partial->FindFilterByName(L"Test Camera", found.Put()));
    EXPECT_EQ(VFW_E_NOT_FOUND, partial->FindFilterByName(L"Enhanced Video Renderer", found.Put()));
    quiva::SetComClassFailure(CLSID_EnhancedVideoRenderer, false);
}

TEST(GraphFileTest, FilesThatAreNotGraphs)
{
    TempDir dir;
    WriteAll(dir.Native("plain.grf"), "not a compound file at all");
    EXPECT_EQ(S_FALSE, StgIsStorageFile(dir.Win("plain.grf")));
    EXPECT_EQ(STG_E_FILENOTFOUND, StgIsStorageFile(dir.Win("missing.grf")));
    ComPtr<IStorage> storage;
    EXPECT_EQ(STG_E_INVALIDHEADER, StgOpenStorage(dir.Win("plain.grf"), nullptr, STGM_READ, nullptr, 0, storage.Put()));

    // A storage without the graph stream.
    {
        ASSERT_EQ(S_OK, StgCreateDocfile(dir.Win("other.grf"), STGM_CREATE | STGM_READWRITE, 0, storage.Put()));
        ComPtr<IStream> s;
        ASSERT_EQ(S_OK, storage->CreateStream(L"Contents", STGM_WRITE | STGM_CREATE, 0, 0, s.Put()));
        s->Write("abc", 3, nullptr);
        storage->Commit(STGC_DEFAULT);
    }
    storage.Reset();
    ASSERT_EQ(S_OK, StgOpenStorage(dir.Win("other.grf"), nullptr, STGM_READ, nullptr, 0, storage.Put()));
    ComPtr<IStream> s;
    EXPECT_EQ(STG_E_FILENOTFOUND, storage->OpenStream(L"ActiveMovieGraph", nullptr, STGM_READ, 0, s.Put()));

    // A graph stream of garbage.
    auto g = NewGraph();
    ComPtr<IStream> mem;
    CreateStreamOnHGlobal(nullptr, TRUE, mem.Put());
    mem->Write("QUIVA-GRAPH 1\nFILTER x\n", 23, nullptr);
    LARGE_INTEGER zero{};
    mem->Seek(zero, STREAM_SEEK_SET, nullptr);
    EXPECT_TRUE(FAILED(g.As<IPersistStream>(IID_IPersistStream)->Load(mem.Get())));
}

TEST(CompoundFileTest, LargeAndSmallStreamsRoundTripAndTruncationIsRefused)
{
    TempDir dir;
    std::string big(70000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7 + i / 300);
    {
        ComPtr<IStorage> st;
        ASSERT_EQ(S_OK, StgCreateDocfile(dir.Win("two.stg"), STGM_CREATE | STGM_READWRITE | STGM_TRANSACTED, 0, st.Put()));
        ComPtr<IStream> a, b;
        st->CreateStream(L"Big", STGM_CREATE | STGM_WRITE, 0, 0, a.Put());
        st->CreateStream(L"Small", STGM_CREATE | STGM_WRITE, 0, 0, b.Put());
        quiva::WriteWholeStream(a.Get(), big);
        quiva::WriteWholeStream(b.Get(), "tiny");
        ASSERT_EQ(S_OK, st->Commit(STGC_DEFAULT));
    }
    ComPtr<IStorage> st;
    ASSERT_EQ(S_OK, StgOpenStorage(dir.Win("two.stg"), nullptr, STGM_READ, nullptr, 0, st.Put()));
    ComPtr<IStream> a, b;
    ASSERT_EQ(S_OK, st->OpenStream(L"Big", nullptr, STGM_READ, 0, a.Put()));
    ASSERT_EQ(S_OK, st->OpenStream(L"Small", nullptr, STGM_READ, 0, b.Put()));
    std::string gotBig, gotSmall;
    quiva::ReadWholeStream(a.Get(), &gotBig);
    quiva::ReadWholeStream(b.Get(), &gotSmall);
    EXPECT_EQ(big, gotBig);
    EXPECT_EQ("tiny", gotSmall);

    std::string file = ReadAll(dir.Native("two.stg"));
    WriteAll(dir.Native("cut.stg"), file.substr(0, file.size() / 2));
    st.Reset();
    EXPECT_EQ(STG_E_DOCFILECORRUPT, StgOpenStorage(dir.Win("cut.stg"), nullptr, STGM_READ, nullptr, 0, st.Put()));
}

}  // namespace

namespace {

// A compound file written by hand: `streams` streams of `chainSectors` sectors each. With
// `shared` every stream points at the first one's chain; with `loop` that chain runs back on
// itself and the streams claim twice its length.
std::string HandMadeCompound(size_t streams, size_t chainSectors, bool shared, bool loop)
{
    const uint32_t kEnd = 0xFFFFFFFE, kFree = 0xFFFFFFFF, kFat = 0xFFFFFFFD;
    const size_t dataSectors = chainSectors * (shared ? 1 : streams);
    const size_t dirSectors = ((streams + 1) * 128 + 511) / 512;
    size_t fatSectors = 1;
    while (fatSectors * 128 < dataSectors + dirSectors + fatSectors)
        ++fatSectors;
    std::vector<uint32_t> fat(fatSectors * 128, kFree);
    for (size_t s = 0; s < dataSectors; ++s)
        fat[s] = (s + 1) % chainSectors == 0 ? kEnd : static_cast<uint32_t>(s + 1);
    if (loop)
        fat[chainSectors - 1] = 0;
    for (size_t s = 0; s < dirSectors; ++s)
        fat[dataSectors + s] = s + 1 < dirSectors ? static_cast<uint32_t>(dataSectors + s + 1) : kEnd;
    for (size_t s = 0; s < fatSectors; ++s)
        fat[dataSectors + dirSectors + s] = kFat;
    auto put16 = [](std::string& b, size_t at, uint16_t v) { std::memcpy(&b[at], &v, 2); };
    auto put32 = [](std::string& b, size_t at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
    std::string file(512, '\0');
    const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    std::memcpy(&file[0], signature, 8);
    put16(file, 24, 0x3E);
    put16(file, 26, 3);
    put16(file, 28, 0xFFFE);
    put16(file, 30, 9);
    put16(file, 32, 6);
    put32(file, 44, static_cast<uint32_t>(fatSectors));
    put32(file, 48, static_cast<uint32_t>(dataSectors));
    put32(file, 56, 4096);
    put32(file, 60, kEnd);
    put32(file, 68, kEnd);
    for (size_t i = 0; i < 109; ++i)
        put32(file, 76 + i * 4, i < fatSectors ? static_cast<uint32_t>(dataSectors + dirSectors + i) : kFree);
    file.append(dataSectors * 512, 'd');
    std::string dir(dirSectors * 512, '\0');
    for (size_t id = 0; id <= streams; ++id) {
        const size_t at = id * 128;
        const std::u16string name = id == 0 ? u"Root Entry" : u"S" + std::u16string(1, static_cast<char16_t>(u'A' + id % 26)) +
                                                                   std::u16string(1, static_cast<char16_t>(0x100 + id));
        std::memcpy(&dir[at], name.data(), name.size() * 2);
        put16(dir, at + 64, static_cast<uint16_t>(name.size() * 2 + 2));
        dir[at + 66] = id == 0 ? 5 : 2;
        put32(dir, at + 68, kFree);
        put32(dir, at + 72, id > 0 && id < streams ? static_cast<uint32_t>(id + 1) : kFree);
        put32(dir, at + 76, id == 0 && streams ? 1 : kFree);
        put32(dir, at + 116, id == 0 ? kEnd : static_cast<uint32_t>(shared ? 0 : (id - 1) * chainSectors));
        put32(dir, at + 120, id == 0 ? 0 : static_cast<uint32_t>(chainSectors * 512 * (loop ? 2 : 1)));
    }
    file += dir;
    for (uint32_t v : fat)
        file.append(reinterpret_cast<const char*>(&v), 4);
    return file;
}

}  // namespace

TEST(GraphFileTest, SharedAndLoopingChainsAreRefusedWithoutReadingThem)
{
    TempDir dir;
    // Two honest streams open and read whole.
    WriteAll(dir.Native("two.stg"), HandMadeCompound(2, 9, false, false));
    ComPtr<IStorage> st;
    ASSERT_EQ(S_OK, StgOpenStorage(dir.Win("two.stg"), nullptr, STGM_READ, nullptr, 0, st.Put()));
    ComPtr<IStream> s;
    const std::wstring name = {L'S', L'B', static_cast<wchar_t>(0x101)};
    ASSERT_EQ(S_OK, st->OpenStream(name.c_str(), nullptr, STGM_READ, 0, s.Put()));
    std::string bytes;
    ASSERT_EQ(S_OK, quiva::ReadWholeStream(s.Get(), &bytes));
    EXPECT_EQ(bytes, std::string(9 * 512, 'd'));

    // 4,095 streams on one 1,024-sector chain: 1 MB that would have been read as 2 GB.
    const std::string shared = HandMadeCompound(4095, 1024, true, false);
    EXPECT_LT(shared.size(), 2u << 20);
    WriteAll(dir.Native("shared.stg"), shared);
    EXPECT_EQ(STG_E_DOCFILECORRUPT, StgOpenStorage(dir.Win("shared.stg"), nullptr, STGM_READ, nullptr, 0, st.Put()));
    WriteAll(dir.Native("loop.stg"), HandMadeCompound(1, 8, false, true));
    EXPECT_EQ(STG_E_DOCFILECORRUPT, StgOpenStorage(dir.Win("loop.stg"), nullptr, STGM_READ, nullptr, 0, st.Put()));
    // A file past what a graph file may be is not read at all.
    WriteAll(dir.Native("huge.stg"), shared + std::string(16u << 20, '\0'));
    EXPECT_EQ(STG_E_DOCFILECORRUPT, StgOpenStorage(dir.Win("huge.stg"), nullptr, STGM_READ, nullptr, 0, st.Put()));
    EXPECT_EQ(S_OK, StgIsStorageFile(dir.Win("huge.stg")));
}
