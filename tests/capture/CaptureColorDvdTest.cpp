#include "tests/support/capture/CaptureTestSupport.h"

#include "platform/base/debug.h"

using namespace quiva::test;
using quiva::ComPtr;

using CaptureColor = EngineTest;
using CaptureDvd = EngineTest;

TEST_F(CaptureColor, ValuesReachTheEffectInTheirOrder)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    engine.SetColorControls(10, 20, 30, 40);
    int h = 0, s = 0, b = 0, c = 0;
    ASSERT_EQ(engine.GetColorControls(&h, &s, &b, &c), 1);
    EXPECT_EQ(h, 10);
    EXPECT_EQ(s, 20);
    EXPECT_EQ(b, 30);
    EXPECT_EQ(c, 40);
    auto store = engine.Filter(L"Color Control").As<IPropertyStore>(IID_IPropertyStore);
    PROPVARIANT v;
    PropVariantInit(&v);
    store->GetValue(PROPERTYKEY { QUIVA_COLORCONTROL_FMTID, 3 }, &v);
    EXPECT_EQ(v.lVal, 10);

    engine.SetColorControl1(0);
    engine.SetColorControl2(-5);
    engine.SetColorControl3(7);
    engine.SetColorControl4(-127);
    engine.GetColorControls(&h, &s, &b, &c);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(s, -5);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(c, -127);
}

TEST_F(CaptureColor, BrightnessChangesThePicture)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    Stamped before = WaitForPicture(engine);
    ASSERT_TRUE(before.ok);
    engine.SetColorControl3(64);
    Stamped after = WaitForPicture(engine, before.stamp.counter + 1);
    ASSERT_TRUE(after.ok);
    EXPECT_GT(Brightness(after), Brightness(before) + 20);
}

TEST_F(CaptureColor, WithoutTheEffectNothingIsReadOrWritten)
{
    TestEngine engine;
    engine.Load(kList);
    engine.m_bColorControl = 0;
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    EXPECT_FALSE(engine.Filter(L"Color Control"));
    engine.SetColorControls(1, 2, 3, 4);
    int h = -1, s = -1, b = -1, c = -1;
    EXPECT_EQ(engine.GetColorControls(&h, &s, &b, &c), 0);
    EXPECT_EQ(h, -1);
    EXPECT_EQ(c, -1);

    // An effect whose values cannot be read does not say it read them.
    UseDevices(std::string(kDevices) + "fault colour_no_store\n");
    TestEngine noStore;
    noStore.Load(kList);
    ASSERT_EQ(noStore.StartPreview(L"Test Camera", m_wnd), 1);
    ASSERT_TRUE(noStore.Filter(L"Color Control"));
    EXPECT_EQ(noStore.GetColorControls(&h, &s, &b, &c), 0);
    EXPECT_EQ(h, -1);
}

TEST_F(CaptureColor, EffectThatRefusesThePictureIsBypassed)
{
    UseDevices(std::string(kDevices) + "fault colour_max_width=100\n");
    TestEngine engine;
    engine.Load(kList);
    quiva::DebugCapture debug;
    ASSERT_EQ(engine.StartPreview(L"Test Card [S-Video]", m_wnd), 1);
    EXPECT_TRUE(debug.Contains(L"Rebuild"));
    EXPECT_FALSE(engine.Filter(L"Color Control"));
    Stamped s = WaitForPicture(engine);
    ASSERT_TRUE(s.ok);
    // The graph built again without negotiation runs the device's own format, and the requested
    // format says so rather than naming the one the first attempt had set.
    EXPECT_EQ(engine.ReqWidth(), s.header.biWidth);
    EXPECT_EQ(engine.ReqHeight(), s.header.biHeight);
    EXPECT_STREQ(engine.ReqSubtype(), L"YUY2");
    EXPECT_NE(engine.FindRequestedFormat(), nullptr);

    TestEngine camera;
    camera.Load(kList);
    ASSERT_EQ(camera.StartPreview(L"Test Camera", m_wnd), 1);
    EXPECT_FALSE(camera.Filter(L"Color Control"));
    EXPECT_TRUE(WaitForPicture(camera).ok);
}

TEST_F(CaptureDvd, MenuButtonsAnswerTheMouse)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"CD-ROM", m_wnd), 1);
    EXPECT_EQ(engine.GetFormatCount(), 0);
    EXPECT_TRUE(engine.Filter(L"DVD Navigator"));
    EXPECT_TRUE(engine.Filter(L"Default DirectSound Device"));
    ASSERT_TRUE(WaitForPicture(engine).header.biWidth == 720);

    // The 720x480 menu letter-boxed in a 640x360 window: 540x360 from x = 50. The second button
    // (270..450, 340..420 in the picture) lies at window x 252..387, y 255..315.
    auto state = engine.Filter(L"DVD Navigator").As<IQuivaDvdMenuState>(IID_IQuivaDvdMenuState);
    ASSERT_TRUE(state);
    EXPECT_EQ(engine.SelectDvdAtPosition(POINT { 300, 280 }), 1);
    LONG selected = -1, activated = -1;
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(selected, 1);
    // On the bars nothing is chosen.
    EXPECT_EQ(engine.ActivateDvdAtPosition(POINT { 10, 280 }), 1);
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(activated, -1);
    EXPECT_EQ(engine.ActivateDvdAtPosition(POINT { 300, 280 }), 1);
    state->GetMenuState(&selected, &activated);
    EXPECT_EQ(activated, 1);
}

TEST_F(CaptureDvd, OtherSourcesAndFailures)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(engine.StartPreview(L"Test Camera", m_wnd), 1);
    EXPECT_EQ(engine.SelectDvdAtPosition(POINT { 10, 10 }), 0);

    // Without a window the format list goes, and nothing is built.
    TestEngine noWindow;
    noWindow.Load(kList);
    noWindow.NewGraph();
    noWindow.SelectDevice(L"Test Card [S-Video]", nullptr);
    ASSERT_GT(noWindow.GetFormatCount(), 0);
    noWindow.SelectDevice(L"CD-ROM", nullptr);
    EXPECT_EQ(noWindow.GetFormatCount(), 0);

    // No sound renderer: the video renderer stays, and the source is not running.
    quiva::SetComClassFailure(CLSID_DSoundRender, true);
    TestEngine noSound;
    noSound.Load(kList);
    quiva::DebugCapture debug;
    noSound.NewGraph();
    noSound.SelectDevice(L"CD-ROM", m_wnd);
    EXPECT_EQ(noSound.m_bRunning.load(), 0);
    EXPECT_TRUE(noSound.Filter(L"Video Mixing Renderer 9"));
    EXPECT_TRUE(debug.Contains(L"Fail to create Direct Sound Device"));
    // The partial graph's renderer is not re-attached for the next source: that one is built.
    noSound.SelectDevice(L"Test Camera", m_wnd);
    EXPECT_EQ(noSound.m_bRunning.load(), 1);
    EXPECT_TRUE(noSound.Filter(L"Test Camera"));
    EXPECT_FALSE(noSound.Filter(L"DVD Navigator"));
}
