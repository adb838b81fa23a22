#include "tests/support/capture/CaptureTestSupport.h"

#include "platform/base/debug.h"

using namespace quiva::test;

// The card offers YUY2 640x480 at 30 and 15, MJPG 1280x720 at 30, UYVY 320x240 at 30 (with both
// header kinds) and NV12 640x480 at 30; the camera RGB24 at 10 and 15 only.
using CaptureFormat = EngineTest;

namespace {

int Negotiated(TestEngine& engine, LPCWSTR name, HWND hwnd)
{
    engine.NewGraph();
    engine.SelectDevice(name, hwnd);
    return engine.m_bRunning.load();
}

}  // namespace

TEST_F(CaptureFormat, NothingRequestedTakesTheWidestAtThirty)
{
    TestEngine engine;
    engine.Load(kList);
    ASSERT_EQ(Negotiated(engine, L"Test Card [S-Video]", m_wnd), 1);
    EXPECT_EQ(engine.ReqWidth(), 1280);
    EXPECT_EQ(engine.ReqHeight(), 720);
    EXPECT_EQ(engine.ReqRate(), 30);
    EXPECT_STREQ(engine.ReqSubtype(), L"MJPG");
    // Every format once, the one listed with both header kinds too, unknown subtypes by GUID.
    ASSERT_EQ(engine.GetFormatCount(), 5);
    EXPECT_STREQ(engine.GetFormat(3).subtype, L"UYVY");
    EXPECT_STREQ(engine.GetFormat(4).subtype, L"{3231564E-0000-0010-8000-00AA00389B71}");
    const _KXMCaptureResolutionInfo* chosen = engine.FindRequestedFormat();
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(chosen, &engine.GetFormat(2));
    ASSERT_EQ(engine.Start(m_wnd), 1);
    Stamped s = WaitForPicture(engine);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.header.biWidth, 1280);
}

TEST_F(CaptureFormat, RequestedFormatMatchesWithoutRegardToCase)
{
    TestEngine engine;
    engine.Load(kList);
    engine.SetRequestedFormat(640, 480, 15, L"yuy2");
    ASSERT_EQ(Negotiated(engine, L"Test Card [S-Video]", m_wnd), 1);
    EXPECT_EQ(engine.ReqWidth(), 640);
    EXPECT_EQ(engine.ReqRate(), 15);
    EXPECT_STREQ(engine.ReqSubtype(), L"YUY2");
    ASSERT_EQ(engine.Start(m_wnd), 1);
    Stamped s = WaitForPicture(engine);
    ASSERT_TRUE(s.ok);
    EXPECT_EQ(s.stamp.fps, 15);

    // Not offered: the widest at 30 or more.
    engine.SetRequestedFormat(800, 600, 30, L"YUY2");
    ASSERT_EQ(Negotiated(engine, L"Test Card [S-Video]", nullptr), 1);
    EXPECT_EQ(engine.ReqWidth(), 1280);
}

TEST_F(CaptureFormat, EveryListedFormatIsPreviewed)
{
    // NV12 is the one the card lists that the graph once could not connect.
    std::vector<_KXMCaptureResolutionInfo> formats;
    {
        TestEngine engine;
        engine.Load(kList);
        ASSERT_EQ(Negotiated(engine, L"Test Card [S-Video]", m_wnd), 1);
        for (int i = 0; i < engine.GetFormatCount(); ++i)
            formats.push_back(engine.GetFormat(i));
    }
    ASSERT_EQ(formats.size(), 5u);
    EXPECT_STREQ(formats[4].subtype, L"{3231564E-0000-0010-8000-00AA00389B71}");
    for (const _KXMCaptureResolutionInfo& f : formats) {
        TestEngine engine;
        engine.Load(kList);
        engine.SetRequestedFormat(f.width, f.height, f.frameRate, f.subtype);
        ASSERT_EQ(Negotiated(engine, L"Test Card [S-Video]", m_wnd), 1) << f.subtype.GetString();
        ASSERT_EQ(engine.Start(m_wnd), 1) << f.subtype.GetString();
        Stamped s = WaitForPicture(engine, 0, 30000);
        ASSERT_TRUE(s.ok) << f.subtype.GetString();
        EXPECT_STREQ(engine.ReqSubtype(), f.subtype) << f.subtype.GetString();
        EXPECT_EQ(s.header.biWidth, f.width) << f.subtype.GetString();
    }
}

TEST_F(CaptureFormat, SlowDeviceKeepsItsOwnFormat)
{
    TestEngine engine;
    engine.Load(kList);
    engine.SetRequestedFormat(800, 600, 30, L"RGB24");
    ASSERT_EQ(Negotiated(engine, L"Test Camera", m_wnd), 1);
    EXPECT_EQ(engine.GetFormatCount(), 2);
    EXPECT_EQ(engine.ReqWidth(), 800);
    EXPECT_EQ(engine.FindRequestedFormat(), nullptr);
}

TEST_F(CaptureFormat, RefusedFormatLeavesTheRequestAlone)
{
    UseDevices("camera \"Stubborn\" setformat_refused\n");
    TestEngine engine;
    engine.Load(L"1@@Stubborn@@@@Stubborn@@0@@0@@0\n");
    engine.SetRequestedFormat(640, 480, 15, L"RGB24");
    quiva::DebugCapture debug;
    ASSERT_EQ(Negotiated(engine, L"Stubborn", m_wnd), 1);
    EXPECT_TRUE(debug.Contains(L"MATCH : 640 480 RGB24 15"));
    EXPECT_TRUE(debug.Contains(L"Error : "));
    EXPECT_STREQ(engine.ReqSubtype(), L"RGB24");
    EXPECT_EQ(engine.ReqRate(), 15);

    // A device without stream configuration lists its formats and sets nothing.
    UseDevices("camera \"Plain\" no_stream_config\n");
    TestEngine plain;
    plain.Load(L"1@@Plain@@@@Plain@@0@@0@@0\n");
    ASSERT_EQ(Negotiated(plain, L"Plain", m_wnd), 1);
    EXPECT_EQ(plain.GetFormatCount(), 2);
    EXPECT_EQ(plain.ReqWidth(), 0);
}
