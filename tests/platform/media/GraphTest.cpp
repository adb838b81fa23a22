#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "MediaTestSupport.h"
#include "platform/media/ColourControl.h"
#include "platform/media/FilterBase.h"

using namespace quiva::test;
using quiva::ComPtr;

namespace {

// The graph's wait for first frames, set for one test and put back as it was after it.
struct ScopedRunWaitLimit {
    explicit ScopedRunWaitLimit(int ms) { quiva::media::SetRunWaitLimit(ms); }
    ~ScopedRunWaitLimit() { quiva::media::SetRunWaitLimit(previous); }
    const int previous = quiva::media::RunWaitLimit();
};

TEST(ComTest, ClassTableAnswersUnknownClassesAndInjectedFailures)
{
    ComPtr<IUnknown> u;
    const CLSID unknown = QUIVA_GUID(0x12345678, 0x1, 0x2, 1, 2, 3, 4, 5, 6, 7, 8);
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoCreateInstance(unknown, nullptr, CLSCTX_ALL, IID_IUnknown, u.PutVoid()));
    EXPECT_EQ(nullptr, u.Get());

    quiva::SetComClassFailure(CLSID_AVIDec, true);
    EXPECT_EQ(E_FAIL, CoCreateInstance(CLSID_AVIDec, nullptr, CLSCTX_ALL, IID_IBaseFilter, u.PutVoid()));
    quiva::SetComClassFailure(CLSID_AVIDec, false);
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_AVIDec, nullptr, CLSCTX_ALL, IID_IBaseFilter, u.PutVoid()));
    // Asking a filter for an interface it lacks.
    ComPtr<IAMCrossbar> none;
    EXPECT_EQ(E_NOINTERFACE, u->QueryInterface(IID_IAMCrossbar, none.PutVoid()));

    ScopedDevices devices("fail DVDNavigator\n");
    EXPECT_EQ(E_FAIL, CoCreateInstance(CLSID_DVDNavigator, nullptr, CLSCTX_ALL, IID_IBaseFilter, u.PutVoid()));
}

TEST(ComTest, GuidTextAndErrorTexts)
{
    WCHAR text[39];
    EXPECT_EQ(39, StringFromGUID2(CLSID_CColorControlDmo, text, 39));
    EXPECT_STREQ(L"{798059F0-89CA-4160-B325-AEB48EFE4F9A}", text);
    EXPECT_EQ(0, StringFromGUID2(CLSID_CColorControlDmo, text, 38));
    GUID back{};
    EXPECT_EQ(S_OK, CLSIDFromString(text, &back));
    EXPECT_TRUE(back == CLSID_CColorControlDmo);

    WCHAR buffer[160];
    EXPECT_GT(AMGetErrorTextW(VFW_E_NOT_CONNECTED, buffer, 160), 0u);
    EXPECT_EQ(0u, AMGetErrorTextW(static_cast<HRESULT>(0x80041234), buffer, 160));
    EXPECT_EQ(0u, AMGetErrorTextW(VFW_E_NOT_CONNECTED, buffer, 5));  // too small: nothing
}

TEST(DeviceTest, CategoriesListConfiguredDevicesInOrder)
{
    ScopedDevices devices(std::string(kStandardDevices) + "nameless\ncrossbar \"Test Card Crossbar\"\n");
    std::vector<std::wstring> video, crossbars;
    for (const auto& e : quiva::media::EnumerateCategory(CLSID_VideoInputDeviceCategory))
        video.push_back(e.hasFriendlyName ? e.friendlyName : L"<none>");
    for (const auto& e : quiva::media::EnumerateCategory(AM_KSCATEGORY_CROSSBAR))
        crossbars.push_back(e.friendlyName);
    EXPECT_EQ((std::vector<std::wstring>{L"Test Unpaired", L"Test Card Capture", L"Test Camera", L"<none>"}), video);
    EXPECT_EQ((std::vector<std::wstring>{L"Test Card Crossbar", L"Test Card Crossbar"}), crossbars);

    // The nameless device's bag has no friendly name.
    ComPtr<ICreateDevEnum> devEnum;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum, devEnum.PutVoid()));
    ComPtr<IEnumMoniker> monikers;
    ASSERT_EQ(S_OK, devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Put(), 0));
    monikers->Skip(3);
    IMoniker* m = nullptr;
    ASSERT_EQ(S_OK, monikers->Next(1, &m, nullptr));
    ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(m);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(S_OK, moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid()));
    VARIANT v;
    VariantInit(&v);
    EXPECT_TRUE(FAILED(bag->Read(L"FriendlyName", &v, nullptr)));
}

TEST(DeviceTest, EmptyCategoryAndFailingDevice)
{
    ScopedDevices devices("camera \"Broken\" fail_create\n");
    ComPtr<ICreateDevEnum> devEnum;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum, devEnum.PutVoid()));
    ComPtr<IEnumMoniker> monikers;
    EXPECT_EQ(S_FALSE, devEnum->CreateClassEnumerator(AM_KSCATEGORY_CROSSBAR, monikers.Put(), 0));
    EXPECT_EQ(nullptr, monikers.Get());
    auto g = NewGraph();
    EXPECT_FALSE(AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Broken"));
}

TEST(DeviceTest, ConfigurationErrorsNameTheLine)
{
    quiva::media::SyntheticConfig c;
    std::string error;
    EXPECT_FALSE(quiva::media::ParseSyntheticConfig("card \"A\"\ncard \"B\" bogus\n", &c, &error));
    EXPECT_NE(std::string::npos, error.find("line 2"));
    EXPECT_FALSE(quiva::media::ParseSyntheticConfig("camera \"unterminated\n", &c, &error));
    EXPECT_TRUE(quiva::media::ParseSyntheticConfig("fault colour_refuses=RGB32,YUY2\nfail AVIDec\n", &c, &error));
    EXPECT_EQ(2u, c.faults.colourRefusedSubtypes.size());
    EXPECT_EQ(1u, c.failingClasses.size());
}

TEST(CrossbarTest, PinsAndRoutes)
{
    ScopedDevices devices(kStandardDevices);
    auto g = NewGraph();
    auto xbarFilter = AddDevice(g.Get(), AM_KSCATEGORY_CROSSBAR, L"Test Card Crossbar");
    ASSERT_TRUE(xbarFilter);
    auto xbar = xbarFilter.As<IAMCrossbar>(IID_IAMCrossbar);
    LONG outs = 0, ins = 0;
    ASSERT_EQ(S_OK, xbar->get_PinCounts(&outs, &ins));
    EXPECT_EQ(2, outs);
    EXPECT_EQ(8, ins);
    std::vector<LONG> types;
    for (LONG i = 0; i < ins; ++i) {
        LONG related, type;
        xbar->get_CrossbarPinInfo(TRUE, i, &related, &type);
        types.push_back(type);
        if (i == 1) {
            EXPECT_EQ(7, related);
        }
    }
    EXPECT_EQ((std::vector<LONG>{1, 2, 3, 2, 5, 6, 4, 0x1001}), types);
    LONG related, type;
    xbar->get_CrossbarPinInfo(FALSE, 0, &related, &type);
    EXPECT_EQ(PhysConn_Video_VideoDecoder, type);
    xbar->get_CrossbarPinInfo(FALSE, 1, &related, &type);
    EXPECT_EQ(PhysConn_Audio_AudioDecoder, type);
    EXPECT_TRUE(FAILED(xbar->get_CrossbarPinInfo(TRUE, 8, &related, &type)));

    EXPECT_TRUE(FAILED(xbar->Route(0, 7)));  // audio input to the video output
    EXPECT_TRUE(FAILED(xbar->Route(1, 2)));
    EXPECT_EQ(S_OK, xbar->Route(0, 5));
    EXPECT_EQ(S_OK, xbar->Route(1, 7));
    LONG routed = -1;
    xbar->get_IsRoutedTo(0, &routed);
    EXPECT_EQ(5, routed);
}

TEST(CrossbarTest, OnlyItsOwnCardsCaptureFilterTakesIt)
{
    ScopedDevices devices(std::string(kStandardDevices) + "card \"Other Card\"\n");
    auto g = NewGraph();
    auto xbar = AddDevice(g.Get(), AM_KSCATEGORY_CROSSBAR, L"Test Card Crossbar");
    auto unpaired = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Unpaired");
    auto other = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Other Card Capture");
    auto own = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Card Capture");
    EXPECT_TRUE(FAILED(ConnectFilters(g.Get(), xbar.Get(), unpaired.Get())));
    EXPECT_TRUE(FAILED(ConnectFilters(g.Get(), xbar.Get(), other.Get())));
    EXPECT_EQ(S_OK, ConnectFilters(g.Get(), xbar.Get(), own.Get()));
}

TEST(CrossbarTest, RouteFaultSwitch)
{
    ScopedDevices devices("card \"Flaky\" route_fails\n");
    auto g = NewGraph();
    auto xbar = AddDevice(g.Get(), AM_KSCATEGORY_CROSSBAR, L"Flaky Crossbar").As<IAMCrossbar>(IID_IAMCrossbar);
    ASSERT_TRUE(xbar);
    EXPECT_EQ(E_FAIL, xbar->Route(0, 2));
}

// The engine's chain: crossbar, capture, AVI decoder, converter, colour control, renderer.
struct CardChain {
    ComPtr<IGraphBuilder> graph;
    ComPtr<IBaseFilter> xbar, capture, decoder, converter, colour, renderer;
};

CardChain BuildCardChain(const AM_MEDIA_TYPE* format = nullptr)
{
    CardChain c;
    c.graph = NewGraph();
    c.xbar = AddDevice(c.graph.Get(), AM_KSCATEGORY_CROSSBAR, L"Test Card Crossbar");
    c.capture = AddDevice(c.graph.Get(), CLSID_VideoInputDeviceCategory, L"Test Card Capture");
    EXPECT_EQ(S_OK, ConnectFilters(c.graph.Get(), c.xbar.Get(), c.capture.Get()));
    if (format) {
        auto config = c.capture.As<IAMStreamConfig>(IID_IAMStreamConfig);
        EXPECT_EQ(S_OK, config->SetFormat(const_cast<AM_MEDIA_TYPE*>(format)));
    }
    c.decoder = Create(CLSID_AVIDec);
    c.graph->AddFilter(c.decoder.Get(), L"AVI Decoder");
    c.converter = Create(CLSID_Colour);
    c.graph->AddFilter(c.converter.Get(), L"Color Space Converter");
    c.colour = Create(CLSID_DMOWrapperFilter);
    EXPECT_EQ(S_OK, c.colour.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter)->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory));
    c.graph->AddFilter(c.colour.Get(), L"Color Control");
    c.renderer = AddWindowlessVmr9(c.graph.Get());
    EXPECT_EQ(S_OK, ConnectFilters(c.graph.Get(), c.capture.Get(), c.decoder.Get()));
    EXPECT_EQ(S_OK, ConnectFilters(c.graph.Get(), c.decoder.Get(), c.converter.Get()));
    EXPECT_EQ(S_OK, ConnectFilters(c.graph.Get(), c.converter.Get(), c.colour.Get()));
    EXPECT_EQ(S_OK, ConnectFilters(c.graph.Get(), c.colour.Get(), c.renderer.Get()));
    return c;
}

TEST(CaptureGraphTest, CardFramesCarryTheRoutedInputAndCount)
{
    ScopedDevices devices(kStandardDevices);
    CardChain c = BuildCardChain();
    auto control = c.graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    Grabbed first = WaitForFrame(c.renderer.Get(), 0);
    ASSERT_TRUE(first.stampOk);
    EXPECT_EQ(640, first.header.biWidth);
    EXPECT_EQ(480, first.header.biHeight);
    EXPECT_EQ(32, first.header.biBitCount);
    EXPECT_EQ(640u * 480u * 4u, first.header.biSizeImage);
    EXPECT_EQ(0u, first.header.biClrUsed);
    EXPECT_EQ(1, first.stamp.input);
    EXPECT_EQ("Composite", first.stamp.label);
    EXPECT_EQ(30, first.stamp.fps);
    EXPECT_EQ(MEDIASUBTYPE_YUY2.Data1, first.stamp.fourcc);
    Grabbed later = WaitForFrame(c.renderer.Get(), first.stamp.counter);
    EXPECT_GT(later.stamp.counter, first.stamp.counter);

    // Another route shows after a restart; the last picture stays readable while stopped.
    ASSERT_EQ(S_OK, control->Stop());
    EXPECT_TRUE(GrabVmr9(c.renderer.Get()).stampOk);
    ASSERT_EQ(S_OK, c.xbar.As<IAMCrossbar>(IID_IAMCrossbar)->Route(0, 2));
    ASSERT_EQ(S_OK, control->Run());
    Grabbed svideo;
    for (int i = 0; i < 200 && svideo.stamp.label != "S-Video"; ++i) {
        svideo = WaitForFrame(c.renderer.Get(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ("S-Video", svideo.stamp.label);
    EXPECT_EQ(2, svideo.stamp.input);
    control->Stop();
}

// A source's streaming thread keeps the source's rate however long its frames take on their way
// (converters, a busy display): it waits only for what is left of the frame time, and not at
// all once a frame took longer than that. Waiting a whole frame time after each frame took a 30
// frames/s card down to about 22. What is measured is the time spent waiting, which a loaded
// machine can only shorten (the frames' own work running late), apart from waking up.
TEST(CaptureGraphTest, ASourceWaitsOnlyForWhatIsLeftOfItsFrameTime)
{
    auto waitsWhileEachFrameTakes = [](int workMs) {
        std::vector<double> waits;
        std::atomic<bool> done{false};
        quiva::media::StreamThread thread;
        thread.Start([&](quiva::media::StreamThread& t) {
            for (int i = 0; i < 6; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(workMs));  // the frame on its way
                const auto before = std::chrono::steady_clock::now();
                if (!t.WaitForNextFrame(1000000))  // 10 frames a second
                    break;
                waits.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - before).count());
            }
            done = true;
        });
        for (int waited = 0; waited < 20000 && !done; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        thread.Stop();
        double total = 0;
        for (double w : waits)
            total += w;
        return waits.size() == 6 ? total / 6 : -1.0;
    };
    const double shortFrames = waitsWhileEachFrameTakes(60);
    EXPECT_GE(shortFrames, 0.0);
    EXPECT_LT(shortFrames, 75.0) << "ms waited after frames of 60 ms at 100 ms a frame";
    const double longFrames = waitsWhileEachFrameTakes(150);
    EXPECT_GE(longFrames, 0.0);
    EXPECT_LT(longFrames, 50.0) << "ms waited after frames of 150 ms at 100 ms a frame";
}

TEST(CaptureGraphTest, SetFormatDecidesWhatThePinDelivers)
{
    ScopedDevices devices(kStandardDevices);
    auto mjpg = quiva::media::MakeVideoType(MEDIASUBTYPE_MJPG, 1280, 720, 333333);
    AM_MEDIA_TYPE mt;
    mjpg.CopyTo(&mt);
    CardChain c = BuildCardChain(&mt);
    auto config = c.capture.As<IAMStreamConfig>(IID_IAMStreamConfig);
    // Connected: the format can no longer change.
    EXPECT_TRUE(FAILED(config->SetFormat(&mt)));
    FreeMediaTypeContents(mt);
    auto control = c.graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    Grabbed g = WaitForFrame(c.renderer.Get(), 0);
    control->Stop();
    ASSERT_TRUE(g.stampOk);
    EXPECT_EQ(1280, g.header.biWidth);
    EXPECT_EQ(720, g.header.biHeight);
    EXPECT_EQ(MEDIASUBTYPE_MJPG.Data1, g.stamp.fourcc);

    int count = 0, size = 0;
    ASSERT_EQ(S_OK, config->GetNumberOfCapabilities(&count, &size));
    EXPECT_EQ(6, count);
    AM_MEDIA_TYPE* caps = nullptr;
    std::vector<BYTE> scc(static_cast<size_t>(size));
    ASSERT_EQ(S_OK, config->GetStreamCaps(4, &caps, scc.data()));
    EXPECT_TRUE(caps->formattype == FORMAT_VideoInfo2);
    EXPECT_EQ(112u, caps->cbFormat);
    DeleteMediaType(caps);
}

TEST(CaptureGraphTest, FormatFaultsAndMissingStreamConfig)
{
    ScopedDevices devices("camera \"Stubborn\" setformat_refused\ncamera \"Plain\" no_stream_config\n");
    auto g = NewGraph();
    auto stubborn = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Stubborn");
    auto config = stubborn.As<IAMStreamConfig>(IID_IAMStreamConfig);
    ASSERT_TRUE(config);
    AM_MEDIA_TYPE* current = nullptr;
    ASSERT_EQ(S_OK, config->GetFormat(&current));
    EXPECT_EQ(E_FAIL, config->SetFormat(current));
    DeleteMediaType(current);
    auto plain = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Plain");
    EXPECT_FALSE(plain.As<IAMStreamConfig>(IID_IAMStreamConfig));
}

TEST(CaptureGraphTest, ColourValuesChangeThePixels)
{
    ScopedDevices devices(kStandardDevices);
    CardChain c = BuildCardChain();
    auto store = c.colour.As<IPropertyStore>(IID_IPropertyStore);
    ASSERT_TRUE(store);
    auto control = c.graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    Grabbed neutral = WaitForFrame(c.renderer.Get(), 0);
    ASSERT_TRUE(neutral.stampOk);
    // A pixel of the green bar, below the stamp rows.
    auto pixelAt = [](const Grabbed& g, int x, int y) {
        const uint8_t* p = g.pixels.data() + (static_cast<size_t>(g.header.biHeight - 1 - y) * static_cast<size_t>(g.header.biWidth) + static_cast<size_t>(x)) * 4;
        return std::array<int, 3>{p[2], p[1], p[0]};
    };
    const auto before = pixelAt(neutral, 3 * 640 / 8 + 10, 300);

    PROPVARIANT v;
    PropVariantInit(&v);
    ASSERT_EQ(S_OK, store->GetValue({QUIVA_COLORCONTROL_FMTID, 1}, &v));
    EXPECT_EQ(VT_I4, v.vt);
    EXPECT_EQ(0, v.lVal);
    v.lVal = 100;  // brightness, on the next frame without Commit
    ASSERT_EQ(S_OK, store->SetValue({QUIVA_COLORCONTROL_FMTID, 1}, v));
    Grabbed bright;
    for (int i = 0; i < 100; ++i) {
        bright = WaitForFrame(c.renderer.Get(), neutral.stamp.counter + 1);
        if (pixelAt(bright, 3 * 640 / 8 + 10, 300)[1] > before[1] + 50)
            break;
    }
    const auto after = pixelAt(bright, 3 * 640 / 8 + 10, 300);
    EXPECT_GT(after[0] + after[1] + after[2], before[0] + before[1] + before[2] + 150);

    // Saturation -127 takes the colour out of the green bar.
    v.lVal = 0;
    store->SetValue({QUIVA_COLORCONTROL_FMTID, 1}, v);
    v.lVal = -127;
    store->SetValue({QUIVA_COLORCONTROL_FMTID, 4}, v);
    Grabbed grey;
    for (int i = 0; i < 100; ++i) {
        grey = WaitForFrame(c.renderer.Get(), bright.stamp.counter + 1);
        auto p = pixelAt(grey, 3 * 640 / 8 + 10, 300);
        if (std::abs(p[1] - p[0]) < 12)
            break;
    }
    auto p = pixelAt(grey, 3 * 640 / 8 + 10, 300);
    EXPECT_LT(std::abs(p[1] - p[0]), 12);
    EXPECT_LT(std::abs(p[1] - p[2]), 12);
    control->Stop();

    // Out of range values are refused and leave the value as it was.
    v.lVal = 500;
    EXPECT_EQ(E_INVALIDARG, store->SetValue({QUIVA_COLORCONTROL_FMTID, 2}, v));
    store->GetValue({QUIVA_COLORCONTROL_FMTID, 2}, &v);
    EXPECT_EQ(0, v.lVal);
    store->GetValue({QUIVA_COLORCONTROL_FMTID, 4}, &v);
    EXPECT_EQ(-127, v.lVal);
}

TEST(CaptureGraphTest, ColourEffectFaults)
{
    ScopedDevices devices(std::string(kStandardDevices) + "fault colour_max_width=640\nfault colour_no_store\n");
    auto mjpg = quiva::media::MakeVideoType(MEDIASUBTYPE_MJPG, 1280, 720, 333333);
    AM_MEDIA_TYPE mt;
    mjpg.CopyTo(&mt);
    auto g = NewGraph();
    auto capture = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    auto colour = Create(CLSID_DMOWrapperFilter);
    // Before Init the wrapper has no pins and no store.
    EXPECT_FALSE(FindPin(colour.Get(), PINDIR_INPUT));
    colour.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter)->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory);
    EXPECT_FALSE(colour.As<IPropertyStore>(IID_IPropertyStore));
    g->AddFilter(colour.Get(), L"Color Control");
    // 640 wide passes, wider is refused.
    auto config = capture.As<IAMStreamConfig>(IID_IAMStreamConfig);
    AM_MEDIA_TYPE* wide = nullptr;
    std::vector<BYTE> scc(128);
    config->GetStreamCaps(1, &wide, scc.data());
    EXPECT_EQ(S_OK, config->SetFormat(wide));
    DeleteMediaType(wide);
    EXPECT_EQ(S_OK, ConnectFilters(g.Get(), capture.Get(), colour.Get()));
    FreeMediaTypeContents(mt);

    ScopedDevices refusing(std::string(kStandardDevices) + "fault colour_refuses=RGB24\n");
    auto g2 = NewGraph();
    auto camera = AddDevice(g2.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    auto colour2 = Create(CLSID_DMOWrapperFilter);
    colour2.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter)->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory);
    g2->AddFilter(colour2.Get(), L"Color Control");
    EXPECT_TRUE(FAILED(g2->ConnectDirect(FindPin(camera.Get(), PINDIR_OUTPUT).Get(), FindPin(colour2.Get(), PINDIR_INPUT).Get(), nullptr)));
}

TEST(CaptureGraphTest, RunWaitsForAFirstFrameWithinItsLimit)
{
    ScopedDevices devices("camera \"Slow\" late_first_frame=1500\ncamera \"Dead\" no_frames\n");
    ScopedRunWaitLimit limit(300);
    for (const wchar_t* name : {L"Slow", L"Dead"}) {
        auto g = NewGraph();
        auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, name);
        auto r = AddWindowlessVmr9(g.Get());
        ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), r.Get()));
        auto control = g.As<IMediaControl>(IID_IMediaControl);
        EXPECT_EQ(S_FALSE, control->Run());
        OAFilterState state;
        control->GetState(0, &state);
        EXPECT_EQ(State_Running, state);
        BYTE* dib = nullptr;
        EXPECT_TRUE(FAILED(r.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9)->GetCurrentImage(&dib)));
        EXPECT_EQ(S_OK, control->Stop());
    }
}

TEST(GraphTest, NamesAreMadeUniqueAndFiltersFoundByName)
{
    auto g = NewGraph();
    auto a = Create(CLSID_AVIDec);
    auto b = Create(CLSID_AVIDec);
    EXPECT_EQ(S_OK, g->AddFilter(a.Get(), L"AVI Decoder"));
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, g->AddFilter(b.Get(), L"AVI Decoder"));
    FILTER_INFO info;
    b->QueryFilterInfo(&info);
    EXPECT_STREQ(L"AVI Decoder 0001", info.achName);
    EXPECT_EQ(static_cast<IFilterGraph*>(g.Get()), info.pGraph);
    info.pGraph->Release();
    ComPtr<IBaseFilter> found;
    EXPECT_EQ(S_OK, g->FindFilterByName(L"AVI Decoder 0001", found.Put()));
    EXPECT_EQ(b.Get(), found.Get());
    EXPECT_EQ(VFW_E_NOT_FOUND, g->FindFilterByName(L"Nothing", found.Put()));

    EXPECT_EQ(S_OK, g->RemoveFilter(a.Get()));
    EXPECT_EQ(VFW_E_NOT_FOUND, g->RemoveFilter(a.Get()));
    ComPtr<IEnumFilters> filters;
    g->EnumFilters(filters.Put());
    IBaseFilter* f[2] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, filters->Next(2, f, &fetched));
    EXPECT_EQ(1u, fetched);
    f[0]->Release();
}

TEST(GraphTest, ConnectInsertsOneConverterAndPinsReportTheirPeers)
{
    ScopedDevices devices(kStandardDevices);
    auto mjpg = quiva::media::MakeVideoType(MEDIASUBTYPE_MJPG, 1280, 720, 333333);
    AM_MEDIA_TYPE mt;
    mjpg.CopyTo(&mt);
    auto g = NewGraph();
    auto capture = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Card Capture");
    capture.As<IAMStreamConfig>(IID_IAMStreamConfig)->SetFormat(&mt);
    FreeMediaTypeContents(mt);
    auto r = AddWindowlessVmr9(g.Get());
    auto out = FindPin(capture.Get(), PINDIR_OUTPUT);
    auto in = FindPin(r.Get(), PINDIR_INPUT);
    EXPECT_EQ(VFW_E_NO_ACCEPTABLE_TYPES, g->ConnectDirect(out.Get(), in.Get(), nullptr));
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, out->ConnectedTo(peer.Put()));
    ASSERT_EQ(S_OK, g->Connect(out.Get(), in.Get()));
    ComPtr<IBaseFilter> decoder;
    ASSERT_EQ(S_OK, g->FindFilterByName(L"AVI Decoder", decoder.Put()));
    ASSERT_EQ(S_OK, out->ConnectedTo(peer.Put()));
    PIN_INFO info;
    peer->QueryPinInfo(&info);
    EXPECT_EQ(decoder.Get(), info.pFilter);
    EXPECT_EQ(PINDIR_INPUT, info.dir);
    info.pFilter->Release();
    AM_MEDIA_TYPE got;
    ASSERT_EQ(S_OK, in->ConnectionMediaType(&got));
    EXPECT_TRUE(got.subtype == MEDIASUBTYPE_RGB32);
    FreeMediaTypeContents(got);

    // Connected pins refuse a second connection and a direction mix-up.
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, g->Connect(out.Get(), in.Get()));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, g->Connect(in.Get(), out.Get()));

    // Without any usable converter the connection fails and leaves nothing behind.
    auto g2 = NewGraph();
    auto cam = AddDevice(g2.Get(), CLSID_VideoInputDeviceCategory, L"Test Card Capture");
    auto sound = Create(CLSID_DSoundRender);
    g2->AddFilter(sound.Get(), L"Default DirectSound Device");
    EXPECT_EQ(VFW_E_CANNOT_CONNECT, ConnectFilters(g2.Get(), cam.Get(), sound.Get()));
    ComPtr<IEnumFilters> filters;
    g2->EnumFilters(filters.Put());
    ULONG n = 0;
    IBaseFilter* fs[4] = {};
    filters->Next(4, fs, &n);
    for (ULONG i = 0; i < n; ++i)
        fs[i]->Release();
    EXPECT_EQ(2u, n);
}

TEST(GraphTest, DisconnectAndRemoveWhileRunningAreSafe)
{
    ScopedDevices devices(kStandardDevices);
    CardChain c = BuildCardChain();
    auto control = c.graph.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    auto pin = FindPin(c.renderer.Get(), PINDIR_INPUT);
    EXPECT_EQ(VFW_E_NOT_STOPPED, c.graph->Disconnect(pin.Get()));
    EXPECT_EQ(VFW_E_NOT_STOPPED, pin->Disconnect());
    // Removing a filter from a running graph stops the graph first.
    EXPECT_EQ(S_OK, c.graph->RemoveFilter(c.colour.Get()));
    OAFilterState state;
    control->GetState(0, &state);
    EXPECT_EQ(State_Stopped, state);
    ComPtr<IPin> peer;
    EXPECT_EQ(VFW_E_NOT_CONNECTED, pin->ConnectedTo(peer.Put()));
    EXPECT_EQ(S_FALSE, pin->Disconnect());
}

TEST(RendererTest, ModesAndWindowlessControl)
{
    ScopedDevices devices(kStandardDevices);
    auto r = Create(CLSID_VideoMixingRenderer9);
    EXPECT_FALSE(r.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9));  // windowed by default
    EXPECT_FALSE(r.As<IVMRFilterConfig>(IID_IVMRFilterConfig));            // that is the 7's
    auto config = r.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
    EXPECT_EQ(E_INVALIDARG, config->SetRenderingMode(4));
    ASSERT_EQ(S_OK, config->SetRenderingMode(VMR9Mode_Windowless));
    auto wc = r.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_TRUE(wc);
    BYTE* dib = nullptr;
    EXPECT_TRUE(FAILED(wc->GetCurrentImage(&dib)));
    EXPECT_EQ(S_OK, wc->SetAspectRatioMode(VMR9ARMode_LetterBox));
    EXPECT_EQ(E_INVALIDARG, wc->SetAspectRatioMode(7));
    RECT dst{0, 0, 320, 200};
    EXPECT_EQ(S_OK, wc->SetVideoPosition(nullptr, &dst));

    // Connected: the mode is fixed.
    auto g = NewGraph();
    g->AddFilter(r.Get(), L"Video Mixing Renderer 9");
    auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), r.Get()));
    EXPECT_EQ(VFW_E_WRONG_STATE, config->SetRenderingMode(VMR9Mode_Windowed));

    auto vmr7 = Create(CLSID_VideoMixingRenderer);
    EXPECT_TRUE(vmr7.As<IVMRFilterConfig>(IID_IVMRFilterConfig));
    EXPECT_FALSE(vmr7.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9));

    ScopedDevices faulty(std::string(kStandardDevices) + "fault renderer_no_windowless\nfault renderer_mode_refused\n");
    auto r2 = Create(CLSID_VideoMixingRenderer9);
    EXPECT_EQ(E_FAIL, r2.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9)->SetRenderingMode(VMR9Mode_Windowless));
    EXPECT_FALSE(r2.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9));
}

TEST(RendererTest, EnhancedRendererGivesHeaderAndPixelsSeparately)
{
    ScopedDevices devices(kStandardDevices);
    auto g = NewGraph();
    auto cam = AddDevice(g.Get(), CLSID_VideoInputDeviceCategory, L"Test Camera");
    auto evr = Create(CLSID_EnhancedVideoRenderer);
    g->AddFilter(evr.Get(), L"Enhanced Video Renderer");
    ASSERT_EQ(S_OK, ConnectFilters(g.Get(), cam.Get(), evr.Get()));
    auto service = evr.As<IMFGetService>(IID_IMFGetService);
    ASSERT_TRUE(service);
    ComPtr<IMFVideoDisplayControl> display;
    ASSERT_EQ(S_OK, service->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl, display.PutVoid()));
    EXPECT_EQ(S_OK, display->SetAspectRatioMode(MFVideoARMode_PreservePicture | MFVideoARMode_PreservePixel | MFVideoARMode_NonLinearStretch));
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    control->Stop();
    BITMAPINFOHEADER h{};
    BYTE* pixels = nullptr;
    DWORD bytes = 0;
    LONGLONG ts = 0;
    EXPECT_EQ(E_INVALIDARG, display->GetCurrentImage(&h, &pixels, &bytes, &ts));
    h.biSize = sizeof(h);
    ASSERT_EQ(S_OK, display->GetCurrentImage(&h, &pixels, &bytes, &ts));
    EXPECT_EQ(320, h.biWidth);
    EXPECT_EQ(240, h.biHeight);
    EXPECT_EQ(320u * 240u * 4u, bytes);
    quiva::media::FrameStamp stamp;
    ASSERT_TRUE(quiva::media::ReadFrameStamp(pixels, 320, 240, &stamp));
    EXPECT_EQ("Camera", stamp.label);
    EXPECT_EQ(10, stamp.fps);
    CoTaskMemFree(pixels);
}

TEST(DvdTest, MenuButtonsAnswerSelectAndActivate)
{
    auto g = NewGraph();
    auto nav = Create(CLSID_DVDNavigator);
    ASSERT_TRUE(nav);
    g->AddFilter(nav.Get(), L"DVD Navigator");
    auto r = AddWindowlessVmr9(g.Get());
    auto sound = Create(CLSID_DSoundRender);
    g->AddFilter(sound.Get(), L"Default DirectSound Device");
    auto g2 = g.As<IFilterGraph2>(IID_IFilterGraph2);
    std::vector<HRESULT> results;
    for (int i = 0; i < 3; ++i)
        results.push_back(g2->RenderEx(FindPin(nav.Get(), PINDIR_OUTPUT, i).Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr));
    EXPECT_EQ(S_OK, results[0]);                  // video to the mixing renderer
    EXPECT_EQ(VFW_E_CANNOT_RENDER, results[1]);   // sub-picture: nothing takes it
    EXPECT_EQ(S_OK, results[2]);                  // sound
    auto dvd = nav.As<IDvdControl2>(IID_IDvdControl2);
    auto state = nav.As<IQuivaDvdMenuState>(IID_IQuivaDvdMenuState);
    EXPECT_EQ(VFW_E_DVD_NO_BUTTON, dvd->SelectAtPosition({10, 10}));
    EXPECT_EQ(S_OK, dvd->SelectAtPosition({300, 380}));
    EXPECT_EQ(S_OK, dvd->ActivateAtPosition({500, 360}));
    LONG selected, activated;
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(2, selected);
    EXPECT_EQ(2, activated);
    auto control = g.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    Grabbed menu = WaitForFrame(r.Get(), 0);
    control->Stop();
    EXPECT_EQ(720, menu.header.biWidth);
    EXPECT_EQ("Play 3", menu.stamp.label);

    // No disc in the drive: the graph runs but never shows a picture.
    ScopedDevices noDisc("fault dvd_no_disc\n");
    auto empty = NewGraph();
    auto nav2 = Create(CLSID_DVDNavigator);
    empty->AddFilter(nav2.Get(), L"DVD Navigator");
    auto r2 = AddWindowlessVmr9(empty.Get());
    ASSERT_EQ(S_OK, ConnectFilters(empty.Get(), nav2.Get(), r2.Get()));
    ScopedRunWaitLimit limit(200);
    EXPECT_EQ(S_FALSE, empty.As<IMediaControl>(IID_IMediaControl)->Run());
    empty.As<IMediaControl>(IID_IMediaControl)->Stop();
}

TEST(ColourEffectTest, NeutralLeavesPixelsAndRangeIsClamped)
{
    uint8_t px[8] = {10, 200, 30, 255, 128, 128, 128, 255};
    uint8_t copy[8];
    std::memcpy(copy, px, 8);
    quiva::media::ApplyColourRgb(px, 2, 4, {});
    EXPECT_EQ(0, std::memcmp(px, copy, 8));
    quiva::media::ColourSettings dark;
    dark.brightness = -1000;  // treated as -127
    quiva::media::ApplyColourRgb(px, 2, 4, dark);
    EXPECT_LT(px[5], 10);
    EXPECT_EQ(255, px[7]);
}

}  // namespace
