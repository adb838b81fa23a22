#include "tests/support/capture/CaptureTestSupport.h"

#include <filesystem>

#include "platform/base/debug.h"
#include "platform/ui/uisystem.h"

using namespace quiva::test;
using quiva::ComPtr;

using CaptureGraph = EngineTest;

TEST_F(CaptureGraph, CrossbarInputBuildsRunsAndShowsTheRoutedInput)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"test card [s-video]", m_wnd), 1);
    EXPECT_EQ(engine.m_bRunning.load(), 1);
    EXPECT_STREQ(engine.GetCurrentDeviceName(), L"Test Card [S-Video]");
    for (LPCWSTR name : { L"Test Card Crossbar", L"Test Card Capture", L"AVI Decoder", L"Color Space Converter",
                          L"Color Control", L"Video Mixing Renderer 9" })
        EXPECT_TRUE(engine.Filter(name)) << name;
    EXPECT_TRUE(IsWindowVisible(m_wnd));

    // The picture is the S-Video input's (input 2), and it keeps coming.
    Stamped first = WaitForPicture(engine);
    ASSERT_TRUE(first.ok);
    EXPECT_EQ(first.stamp.input, 2);
    EXPECT_TRUE(WaitForPicture(engine, first.stamp.counter).ok);

    // The finished graph is kept in "cross.Grf" and loads back with the same filters.
    ASSERT_TRUE(std::filesystem::exists(Native("cross.Grf")));
    ComPtr<IGraphBuilder> loaded;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, loaded.PutVoid()));
    EXPECT_EQ(S_OK, LoadGraphFile(loaded.Get(), L"cross.Grf"));
    ComPtr<IBaseFilter> f;
    EXPECT_EQ(S_OK, loaded->FindFilterByName(L"Color Control", f.Put()));

    EXPECT_EQ(engine.Stop(), 1);
    EXPECT_EQ(engine.m_bRunning.load(), 0);
    engine.Close();
    EXPECT_EQ(engine.GetGraph(), nullptr);
    EXPECT_EQ(engine.Stop(), 0);
}

TEST_F(CaptureGraph, SelectionByNameFallsBackToTheFirstRecord)
{
    TestEngine empty;
    empty.NewGraph();
    EXPECT_EQ(empty.SelectDevice(L"Test Camera", m_wnd), 0);
    EXPECT_EQ(empty.m_bRunning.load(), 0);

    TestEngine engine;
    engine.Load(kList);
    engine.NewGraph();
    quiva::DebugCapture debug;
    EXPECT_EQ(engine.SelectDevice(L"No Such Device", nullptr), 1);
    EXPECT_STREQ(engine.GetCurrentDeviceName(), L"Test Card [S-Video]");
    EXPECT_TRUE(debug.Contains(L"0 Test Card [S-Video]\n"));
    EXPECT_EQ(engine.SelectDevice(L"TEST CAMERA", nullptr), 1);
    EXPECT_STREQ(engine.GetCurrentDeviceName(), L"Test Camera");
    EXPECT_TRUE(engine.Filter(L"Test Camera"));
}

TEST_F(CaptureGraph, StartNeedsAGraphAndAWindow)
{
    TestEngine engine;
    engine.Load(kList);
    EXPECT_EQ(engine.Start(m_wnd), 0);
    engine.NewGraph();
    EXPECT_EQ(engine.Start(nullptr), 0);
    EXPECT_FALSE(IsWindowVisible(m_wnd));
}

TEST_F(CaptureGraph, WindowReattachesWhileNoWindowRebuilds)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    ComPtr<IBaseFilter> renderer = engine.Renderer();
    ASSERT_TRUE(renderer);

    // A new capture window gets the running graph: the same renderer, drawing into it.
    HWND other = NewWindow(320, 240);
    EXPECT_EQ(engine.SelectDevice(L"Test Card [S-Video]", other), 1);
    EXPECT_EQ(engine.Renderer().Get(), renderer.Get());
    EXPECT_STREQ(engine.GetCurrentDeviceName(), L"Test Camera");
    auto control = renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    RECT dest {};
    control->GetVideoPosition(nullptr, &dest);
    EXPECT_EQ(dest.right, 320);

    // Without a window the caller wants a new graph (a format or renderer change): also for the
    // same source.
    engine.m_nRendererKind = KXM_RENDERER_EVR;
    EXPECT_EQ(engine.SelectDevice(L"Test Camera", nullptr), 1);
    EXPECT_EQ(engine.m_bRunning.load(), 1);
    EXPECT_TRUE(engine.Filter(L"Enhanced Video Renderer"));
    EXPECT_FALSE(engine.Filter(L"Video Mixing Renderer 9"));

    // A renderer kind the graph does not hold cannot be re-attached: the graph is built anew.
    engine.m_nRendererKind = KXM_RENDERER_VMR7;
    EXPECT_EQ(engine.SelectDevice(L"Test Camera", m_wnd), 1);
    EXPECT_TRUE(engine.Filter(L"Video Mixing Renderer 7"));
    EXPECT_EQ(engine.Start(m_wnd), 1);
    EXPECT_TRUE(WaitForPicture(engine).ok);
}

TEST_F(CaptureGraph, CloseThenShowAgainBuildsInsteadOfReattaching)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    engine.Close();
    HWND again = NewWindow(640, 480);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", again), 1);
    EXPECT_TRUE(engine.Filter(L"Test Camera"));
    EXPECT_TRUE(WaitForPicture(engine).ok);
}

TEST_F(CaptureGraph, MissingSourcesAreNotRunning)
{
    TestEngine engine;
    engine.Load(L"1@@Unplugged Camera@@@@Unplugged@@0@@0@@0\n"
                L"0@@Gone Crossbar@@Video@@Gone [Video]@@0@@0@@2\n"
                L"2@@C:\\missing.grf@@@@Missing graph@@0@@0@@0\n"
                L"1@@Test Camera@@@@Test Camera@@0@@0@@0\n");
    engine.NewGraph();
    quiva::DebugCapture debug;
    for (LPCWSTR name : { L"Unplugged", L"Gone [Video]", L"Missing graph" }) {
        EXPECT_EQ(engine.SelectDevice(name, m_wnd), 1) << name;
        EXPECT_EQ(engine.m_bRunning.load(), 0) << name;
        EXPECT_STREQ(engine.GetCurrentDeviceName(), name);
    }
    EXPECT_TRUE(debug.Contains(L"Cannot found CrossBar"));
    // After a failed build a call with a window builds the source it names.
    EXPECT_EQ(engine.SelectDevice(L"Test Camera", m_wnd), 1);
    EXPECT_EQ(engine.m_bRunning.load(), 1);
    EXPECT_TRUE(engine.Filter(L"Test Camera"));
}

TEST_F(CaptureGraph, SavedGraphIsBoundToThePreviewWindow)
{
    // A graph file holding a camera and a mixing renderer in its own window.
    {
        ComPtr<IGraphBuilder> g;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, g.PutVoid()));
        TestEngine helper;
        helper.Load(kList);
        helper.NewGraph();
        helper.m_bColorControl = 0;
        helper.SelectDevice(L"Test Camera", m_wnd);
        ASSERT_TRUE(helper.Filter(L"Video Mixing Renderer 9"));
        SaveGraphFile(helper.GetGraph());
        std::filesystem::rename(Native("cross.Grf"), Native("saved.grf"));
    }
    TestEngine engine;
    engine.Load(L"2@@" + std::wstring(Win("saved.grf")) + L"@@@@Saved@@0@@0@@0\n");
    engine.m_nRendererKind = KXM_RENDERER_EVR;
    ASSERT_EQ(engine.StartPreview(L"Saved", m_wnd), 1);
    EXPECT_EQ(engine.m_nRendererKind, KXM_RENDERER_VMR9);
    EXPECT_EQ(engine.GetFormatCount(), 0);
    ComPtr<IBaseFilter> renderer = engine.Renderer();
    ASSERT_TRUE(renderer);
    auto control = renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    ASSERT_TRUE(control);
    EXPECT_TRUE(WaitForPicture(engine).ok);

    // Text that is not a graph file is refused.
    quiva::test::WriteAll(Native("text.grf"), "not a graph");
    TestEngine refused;
    refused.Load(L"2@@" + std::wstring(Win("text.grf")) + L"@@@@Text@@0@@0@@0\n");
    refused.NewGraph();
    refused.SelectDevice(L"Text", m_wnd);
    EXPECT_EQ(refused.m_bRunning.load(), 0);
}

TEST_F(CaptureGraph, GraphToolsDisconnectAndEmpty)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Card [S-Video]", m_wnd), 1);
    const int count = engine.FilterCount();
    EXPECT_GE(count, 5);
    IGraphBuilder* old = engine.GetGraph();
    old->AddRef();
    engine.RemoveAllFilters(1);
    ASSERT_NE(engine.GetGraph(), nullptr);
    EXPECT_EQ(engine.FilterCount(), 0);
    ComPtr<IEnumFilters> e;
    ASSERT_EQ(S_OK, old->EnumFilters(e.Put()));
    IBaseFilter* f = nullptr;
    EXPECT_NE(e->Next(1, &f, nullptr), S_OK);
    old->Release();

    ComPtr<IBaseFilter> renderer;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_VideoMixingRenderer9, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                     renderer.PutVoid()));
    ComPtr<IEnumPins> pins;
    renderer->EnumPins(pins.Put());
    IPin* pin = nullptr;
    ASSERT_EQ(S_OK, pins->Next(1, &pin, nullptr));
    EXPECT_EQ(DisconnectPin(engine.GetGraph(), pin), S_OK);
    EXPECT_EQ(DisconnectPin(nullptr, pin), E_POINTER);
    pin->Release();
}

TEST_F(CaptureGraph, RendererFailuresGoToTheDebuggerAndTheLog)
{
    TestEngine engine;
    engine.Load(kList);
    quiva::SetComClassFailure(CLSID_VideoMixingRenderer9, true);
    quiva::DebugCapture debug;
    engine.NewGraph();
    engine.SelectDevice(L"Test Camera", m_wnd);
    EXPECT_EQ(engine.m_bRunning.load(), 0);
    EXPECT_TRUE(debug.Contains(L": Fail to create Video mixing renderer\n"));
    std::string log = ReadAll(Native("quivacapture.log.txt"));
    EXPECT_NE(log.find(" Fail to create Video mixing renderer\n"), std::string::npos);
    // The filters added before the failure stay in the graph.
    EXPECT_TRUE(engine.Filter(L"Test Camera"));
}

TEST_F(CaptureGraph, RendererFollowsTheWindow)
{
    TestEngine engine;
    engine.Load(kList);
    EXPECT_EQ(engine.UpdateVideoPosition(), 0);
    for (int kind : { KXM_RENDERER_VMR9, KXM_RENDERER_VMR7, KXM_RENDERER_EVR }) {
        engine.m_nRendererKind = kind;
        ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1) << kind;
        ASSERT_TRUE(engine.Filter(RendererFilterName(kind))) << kind;
        SetWindowPos(m_wnd, nullptr, 0, 0, 800, 450, SWP_NOZORDER | SWP_NOMOVE);
        EXPECT_EQ(engine.UpdateVideoPosition(), 1);
        RECT dest {};
        DWORD mode = 99;
        if (kind == KXM_RENDERER_EVR) {
            auto service = engine.Renderer().As<IMFGetService>(IID_IMFGetService);
            ComPtr<IMFVideoDisplayControl> display;
            service->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl, display.PutVoid());
            display->GetVideoPosition(nullptr, &dest);
            display->GetAspectRatioMode(&mode);
            EXPECT_EQ(mode, 7u);
        } else if (kind == KXM_RENDERER_VMR7) {
            auto control = engine.Renderer().As<IVMRWindowlessControl>(IID_IVMRWindowlessControl);
            control->GetVideoPosition(nullptr, &dest);
            control->GetAspectRatioMode(&mode);
            EXPECT_EQ(mode, 1u);
        } else {
            auto control = engine.Renderer().As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
            control->GetVideoPosition(nullptr, &dest);
            control->GetAspectRatioMode(&mode);
            EXPECT_EQ(mode, 1u);
        }
        EXPECT_EQ(dest.right, 800) << kind;
        EXPECT_EQ(dest.bottom, 450) << kind;
        EXPECT_TRUE(WaitForPicture(engine).ok) << kind;
        SetWindowPos(m_wnd, nullptr, 0, 0, 640, 360, SWP_NOZORDER | SWP_NOMOVE);
        engine.Close();
    }
}

TEST_F(CaptureGraph, PreviewIsDrawnIntoTheWindow)
{
    TestEngine engine;
    engine.Load(kList);
    engine.m_bColorControl = 0;
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    Stamped shown = WaitForPicture(engine);
    ASSERT_TRUE(shown.ok);
    ASSERT_EQ(shown.header.biWidth * 3, shown.header.biHeight * 4);
    engine.Stop();
    EXPECT_EQ(engine.UpdateVideoPosition(), 1);  // repaints the last picture at once

    const quiva::Surface* s = quiva::ui::WindowSurface(m_wnd);
    ASSERT_NE(s, nullptr);
    const POINT o = quiva::ui::ClientOriginInSurface(m_wnd);
    auto rgb = [&](int x, int y) { return s->At(o.x + x, o.y + y) & 0xFFFFFFu; };
    // 4:3 in 640x360 keeping the aspect: 480 wide from x = 80, black bars beside.
    EXPECT_EQ(rgb(40, 300), 0u);
    EXPECT_EQ(rgb(600, 300), 0u);
    EXPECT_EQ(rgb(85, 300), quiva::media::SyntheticBarColour(0, 8));
    EXPECT_EQ(rgb(555, 300), quiva::media::SyntheticBarColour(7, 8));

    // Without keeping the aspect the picture fills the window.
    engine.m_bKeepAspect = 0;
    EXPECT_EQ(engine.AttachRenderer(m_wnd), 1);
    EXPECT_EQ(engine.UpdateVideoPosition(), 1);
    EXPECT_EQ(rgb(5, 300), quiva::media::SyntheticBarColour(0, 8));
    EXPECT_EQ(rgb(635, 300), quiva::media::SyntheticBarColour(7, 8));
}

TEST_F(CaptureGraph, CrossbarRoutesOnlyTheInputOfTheNamedKindAndPin)
{
    TestEngine engine;
    // HDMI on pin 5 is routed; "S-Video" on pin 3 (a composite pin) routes nothing and the chain
    // is built all the same.
    engine.Load(L"0@@Test Card Crossbar@@HDMI@@Card [HDMI]@@3@@5@@6\n"
                L"0@@Test Card Crossbar@@S-Video@@Card [wrong]@@1@@3@@3\n");
    ASSERT_EQ(engine.StartPreview(L"Card [HDMI]", m_wnd), 1);
    Stamped hdmi = WaitForPicture(engine);
    ASSERT_TRUE(hdmi.ok);
    EXPECT_EQ(hdmi.stamp.input, 5);
    engine.Close();
    ASSERT_EQ(engine.StartPreview(L"Card [wrong]", m_wnd), 1);
    Stamped wrong = WaitForPicture(engine);
    ASSERT_TRUE(wrong.ok);
    EXPECT_NE(wrong.stamp.input, 3);
}
