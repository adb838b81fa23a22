// The filter-graph panel: boxes, pins, columns and rows of a real graph, the placing of boxes
// reached twice, start and stop, and a rendered picture for people to look at.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "monitor/CKXCtrlWndFilterManager.h"
#include "monitor/CKXMonitorTheme.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/gdi/Surface.h"
#include "platform/media/FilterBase.h"
#include "platform/com/com.h"
#include "platform/media/guids.h"
#include "platform/base/clock.h"
#include "platform/ui/uisystem.h"
#include "framework/CKXWnd.h"
#include "tests/support/TempDir.h"

using quiva::ComPtr;

namespace {

// A filter of the given pins that connects to anything.
class PlainFilter : public quiva::media::Filter {
public:
    PlainFilter(std::initializer_list<const wchar_t*> inputs, std::initializer_list<const wchar_t*> outputs)
        : Filter(GUID{})
    {
        for (const wchar_t* n : inputs)
            AddPin(n, PINDIR_INPUT);
        for (const wchar_t* n : outputs)
            AddPin(n, PINDIR_OUTPUT);
    }
    std::vector<quiva::media::MediaType> OutputTypes(quiva::media::Pin*) override { return {quiva::media::MediaType()}; }
    HRESULT CheckInputType(quiva::media::Pin*, const quiva::media::MediaType&, quiva::media::Pin*) override
    {
        return S_OK;
    }
};

class GraphPanel : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(nullptr, engine.EnsureGraph());
        panel.SetEngine(&engine);
        panel.Create(0, 0, 0, 900, 700);
    }
    PlainFilter* Add(const wchar_t* name, std::initializer_list<const wchar_t*> in,
                     std::initializer_list<const wchar_t*> out)
    {
        auto* f = new PlainFilter(in, out);
        EXPECT_EQ(S_OK, engine.GetGraph()->AddFilter(f, name));
        f->Release();
        return f;
    }
    void Connect(PlainFilter* from, const wchar_t* out, PlainFilter* to, const wchar_t* in)
    {
        ASSERT_EQ(S_OK, engine.GetGraph()->ConnectDirect(from->PinByName(out), to->PinByName(in), nullptr));
    }
    CKXCtrlDirectShowFilter* Box(const wchar_t* name)
    {
        for (INT_PTR i = 0; i < panel.m_boxes.GetSize(); ++i)
            if (panel.m_boxes[i]->m_strName == name)
                return panel.m_boxes[i];
        return nullptr;
    }

    CKXMCaptureEx engine;
    CKXCtrlWndFilterManager panel;
    _KXMCaptureDeviceInfo entry;
};

TEST_F(GraphPanel, CaptureTreeIsLaidOutInColumnsAndRows)
{
    PlainFilter* cam = Add(L"Camera", {}, {L"Capture", L"Still"});
    PlainFilter* tee = Add(L"Smart Tee", {L"Input"}, {L"Capture", L"Preview"});
    PlainFilter* renderer = Add(L"Video Renderer", {L"VMR Input0"}, {});
    PlainFilter* writer = Add(L"Writer", {L"In"}, {});
    Add(L"Lonely", {}, {});
    Connect(cam, L"Capture", tee, L"Input");
    Connect(tee, L"Preview", renderer, L"VMR Input0");
    Connect(tee, L"Capture", writer, L"In");

    entry.displayName = L"USB Camera";
    panel.ShowGraph(&entry);
    ASSERT_EQ(5, panel.m_boxes.GetSize());
    EXPECT_EQ(CString(L"USB Camera"), panel.m_nameEdit.GetEditText());

    CKXCtrlDirectShowFilter* camBox = Box(L"Camera");
    CKXCtrlDirectShowFilter* teeBox = Box(L"Smart Tee");
    ASSERT_TRUE(camBox && teeBox && Box(L"Video Renderer") && Box(L"Writer") && Box(L"Lonely"));
    // Columns 310 apart from x = 40, following first connected inputs.
    EXPECT_FLOAT_EQ(40.0f, camBox->x);
    EXPECT_FLOAT_EQ(350.0f, teeBox->x);
    EXPECT_FLOAT_EQ(660.0f, Box(L"Writer")->x);
    EXPECT_FLOAT_EQ(660.0f, Box(L"Video Renderer")->x);
    // No pins: the bare title band and body.
    EXPECT_FLOAT_EQ(60.0f, Box(L"Lonely")->height);
    // The two branches of the tee do not share a row.
    EXPECT_NE(Box(L"Writer")->y, Box(L"Video Renderer")->y);
    EXPECT_FLOAT_EQ(120.0f, camBox->y);
    EXPECT_GE(Box(L"Lonely")->y, camBox->y + camBox->height);

    // Connected pins know their peers on both sides; the unconnected still pin has none.
    _KXPinInfo* capture = camBox->FindPin(L"capture");
    ASSERT_TRUE(capture);
    EXPECT_EQ(teeBox, capture->peerBox);
    ASSERT_TRUE(capture->peerPin);
    EXPECT_EQ(CString(L"Input"), capture->peerPin->name);
    EXPECT_EQ(nullptr, camBox->FindPin(L"Still")->peerBox);
    EXPECT_EQ(camBox, teeBox->FindPin(L"Input")->peerBox);

    EXPECT_GT(panel.m_fContentWidth, 900.0f);
    EXPECT_TRUE(panel.m_hScroll.visible);

    // Nothing shown: no boxes, no name, no log.
    panel.m_log.AppendLine(L"x");
    panel.ShowGraph(nullptr);
    EXPECT_EQ(0, panel.m_boxes.GetSize());
    EXPECT_EQ(CString(), panel.m_nameEdit.GetEditText());
    EXPECT_EQ(0, panel.m_log.m_lines.GetSize());
    EXPECT_EQ(nullptr, panel.m_pCurrentEntry);
}

TEST_F(GraphPanel, EngineReportsReachTheLog)
{
    panel.LogDeviceStart(nullptr);
    engine.Log(L"그래프를 만들 수 없습니다.");
    ASSERT_EQ(1, panel.m_log.m_lines.GetSize());
    EXPECT_NE(-1, panel.m_log.m_lines[0].Find(L"그래프를 만들 수 없습니다."));
    panel.SetEngine(nullptr);
    engine.Log(L"dropped");
    EXPECT_EQ(1, panel.m_log.m_lines.GetSize());
}

TEST_F(GraphPanel, FiltersOfOneNameShareABox)
{
    auto* a = new PlainFilter({}, {L"Out"});
    auto* b = new PlainFilter({L"In"}, {});
    a->JoinFilterGraph(nullptr, L"Same");
    b->JoinFilterGraph(nullptr, L"same");
    EXPECT_NE(panel.AddFilterBox(a), nullptr);
    b->JoinFilterGraph(nullptr, L"Same");
    EXPECT_EQ(panel.AddFilterBox(a), panel.AddFilterBox(b));
    EXPECT_EQ(1, panel.m_boxes.GetSize());
    a->Release();
    b->Release();
}

// A box already placed through another path must not pull the next branch above the rows.
TEST(FilterBox, ABoxReachedTwiceTakesNoRoomAndMovesNothingUp)
{
    CKXCtrlDirectShowFilter first, second, mux, other;
    for (auto* b : {&first, &second, &mux, &other})
        b->Create(1000, 40, 140, 270, 60);
    mux.AddPin(L"In1", 0, &first, L"Out");
    mux.AddPin(L"In2", 0, &second, L"Out1");
    other.AddPin(L"In", 0, &second, L"Out2");
    first.AddPin(L"Out", 1, &mux, L"In1");
    second.AddPin(L"Out1", 1, &mux, L"In2");
    second.AddPin(L"OUT1", 1, &other, L"In");  // same name: ignored
    second.AddPin(L"Out2", 1, &other, L"In");
    EXPECT_EQ(2, second.m_nOutputs);
    for (auto* b : {&first, &second, &mux, &other})
        b->LayoutPins();

    float next = first.PlaceRows(120.0f);
    next = second.PlaceRows(next);
    EXPECT_FLOAT_EQ(120.0f, mux.y);
    EXPECT_GE(second.y, first.y + first.height);
    EXPECT_GE(other.y, second.y);
    EXPECT_GE(next, other.y + other.height);
}

TEST(FilterBox, PinsSitEvenlyBelowTheTitleBand)
{
    CKXCtrlDirectShowFilter box;
    box.Create(1000, 40, 140, 270, 60);
    box.AddPin(L"In", 0, nullptr, L"");
    box.AddPin(L"A", 1, nullptr, L"");
    box.AddPin(L"B", 1, nullptr, L"");
    box.AddPin(L"C", 1, nullptr, L"");
    box.LayoutPins();
    EXPECT_FLOAT_EQ(90.0f, box.height);  // 60 for three pins, plus the band
    const _KXPinInfo* in = box.m_pins[0];
    EXPECT_FLOAT_EQ(-2.0f, in->x);
    EXPECT_FLOAT_EQ(30.0f + 28.0f, in->y);
    EXPECT_FLOAT_EQ(268.0f, box.m_pins[1]->x);
    EXPECT_FLOAT_EQ(box.m_pins[2]->y - box.m_pins[1]->y, 50.0f / 3.0f);
    EXPECT_FALSE(box.HasConnectedInput());
}

TEST_F(GraphPanel, StartAndStopFollowTheEngine)
{
    // No source shown: nothing to start.
    panel.SetRunning(FALSE);
    EXPECT_FALSE(panel.m_startButton.enabled);
    EXPECT_FALSE(panel.m_stopButton.enabled);

    // A source shown whose graph cannot run: the press leaves the panel stopped.
    _KXMCaptureDeviceInfo shown;
    shown.displayName = L"Cam";
    panel.m_pCurrentEntry = &shown;
    panel.SetRunning(FALSE);
    panel.OnCommand(CKXCtrlWndFilterManager::ID_START, &panel.m_startButton, nullptr);
    EXPECT_FALSE(panel.m_bRunning);
    EXPECT_TRUE(panel.m_startButton.enabled);
    EXPECT_FALSE(panel.m_stopButton.enabled);

    panel.SetRunning(TRUE);
    panel.OnCommand(CKXCtrlWndFilterManager::ID_STOP, &panel.m_stopButton, nullptr);
    EXPECT_FALSE(panel.m_bRunning);
    EXPECT_TRUE(panel.m_startButton.enabled);
    EXPECT_FALSE(panel.m_stopButton.enabled);
    panel.m_pCurrentEntry = nullptr;
}

// A headless window whose host shows the panel.
class PanelHost {
public:
    explicit PanelHost(CKXCtrlWndFilterManager& panel, int width = 900, int height = 700)
    {
        quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
        quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = KX_WINDOW_CLASS;
        RegisterClassW(&wc);
        top = CreateWindowExW(0, KX_WINDOW_CLASS, L"", WS_POPUP | WS_VISIBLE, 100, 100, width, height, nullptr,
                              nullptr, nullptr, nullptr);
        wnd.Create(CWnd::FromHandle(top), 0, 0, width, height, 1);
        wnd.SetRootControl(&panel);
        SetActiveWindow(top);
        quiva::ui::PumpPending();
    }
    ~PanelHost()
    {
        ReleaseCapture();
        wnd.DestroyWindow();
        DestroyWindow(top);
        SetActiveWindow(nullptr);
        quiva::ui::InjectPause(1000);
        quiva::ui::InjectMouseMove(1919, 1079);
        quiva::ui::PumpPending();
    }
    HWND top = nullptr;
    CKXWnd wnd;
};

class GraphPanelOnScreen : public GraphPanel {
protected:
    void ShowChain()
    {
        PlainFilter* cam = Add(L"Camera", {}, {L"Capture", L"Still"});
        PlainFilter* colour = Add(L"Color Control", {L"Input"}, {L"Output"});
        PlainFilter* tee = Add(L"Smart Tee", {L"Input"}, {L"Capture", L"Preview"});
        PlainFilter* renderer = Add(L"Enhanced Video Renderer", {L"EVR Input0"}, {});
        PlainFilter* grabber = Add(L"Grabber", {L"In"}, {});
        Connect(cam, L"Capture", colour, L"Input");
        Connect(colour, L"Output", tee, L"Input");
        Connect(tee, L"Preview", renderer, L"EVR Input0");
        Connect(tee, L"Capture", grabber, L"In");
        entry.displayName = L"Camera";
        panel.LogDeviceStart(&entry);
        panel.m_log.AppendLine(L"그래프를 만들었습니다.");
        panel.ShowGraph(&entry);
    }
};

TEST_F(GraphPanelOnScreen, DrawsTheGraphAndTheLog)
{
    CKXMonitorTheme theme;
    EXPECT_EQ(nullptr, theme.exitButton.icon.icon);
    PanelHost host(panel);
    host.wnd.context.theme = &theme;
    ShowChain();
    host.wnd.Redraw();
    std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    std::filesystem::create_directories(dir);
    std::string path = dir + "/monitor-filter-graph.png";
    ASSERT_TRUE(quiva::ui::WriteWindowPng(host.wnd.GetSafeHwnd(), path));

    quiva::DecodedImage picture;
    ASSERT_TRUE(quiva::DecodePng(quiva::test::ReadAll(path), picture));
    auto at = [&](int px, int py) { return picture.pixels[static_cast<size_t>(py) * picture.width + px] | 0xFF000000u; };
    // The monitor's window colour behind the controls; the log is black.
    EXPECT_EQ(0xFF1E1E1Eu, at(600, 60));
    EXPECT_EQ(0xFF000000u, at(450, 700 - 20));
    // Connected pins are yellow, the unconnected still pin grey (inside the square, clear of the
    // curve that leaves from its middle).
    const CKXCtrlDirectShowFilter* camBox = Box(L"Camera");
    const _KXPinInfo* capture = camBox->FindPin(L"Capture");
    const _KXPinInfo* still = camBox->FindPin(L"Still");
    EXPECT_EQ(0xFFFFFF00u, at(static_cast<int>(camBox->x + capture->x) + 1, static_cast<int>(camBox->y + capture->y) + 1));
    EXPECT_EQ(0xFF969696u, at(static_cast<int>(camBox->x + still->x) + 1, static_cast<int>(camBox->y + still->y) + 1));
    // The pin names are light enough to read on the box: the still pin's name, beside its square.
    int lightest = 0;
    const float labelWidth = camBox->width / 2.0f - 8.0f;
    for (int py = static_cast<int>(camBox->y + still->y) - 6; py < static_cast<int>(camBox->y + still->y) + 10; ++py)
        for (int px = static_cast<int>(camBox->x + still->x - 4.0f - labelWidth); px < static_cast<int>(camBox->x + still->x) - 4; ++px)
            lightest = std::max(lightest, static_cast<int>(at(px, py) & 0xFF));
    EXPECT_GE(lightest, 0xA0);
    // Each box's white name stays in the band above its pins: below it only the grey pin names.
    for (const wchar_t* name : {L"Camera", L"Color Control", L"Smart Tee", L"Enhanced Video Renderer"}) {
        const CKXCtrlDirectShowFilter* box = Box(name);
        int bright = 0;
        for (int py = static_cast<int>(box->y) + 31; py < static_cast<int>(box->y + box->height) - 2; ++py)
            for (int px = static_cast<int>(box->x) + 3; px < static_cast<int>(box->x + box->width) - 3; ++px) {
                const uint32_t p = at(px, py);
                bright += ((p >> 16) & 0xFF) >= 0xC0 && ((p >> 8) & 0xFF) >= 0xC0 && (p & 0xFF) >= 0xC0;
            }
        EXPECT_EQ(bright, 0) << quiva::WideToUtf8(name);
    }
}

TEST_F(GraphPanelOnScreen, HoldingTheButtonOnTheGraphDragsTheDrawing)
{
    // The 100 ms that tell a click from a drag pass only when the test says so.
    quiva::ScopedVirtualClock clock;
    PanelHost host(panel, 700, 500);
    ShowChain();
    ASSERT_TRUE(panel.m_hScroll.visible);
    POINT origin{100, 100};
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, origin.x + 400, origin.y + 200);
    quiva::ui::PumpPending();
    // Moves within the first 100 ms of a press are not a drag.
    quiva::ui::InjectMouseMove(origin.x + 390, origin.y + 200);
    quiva::ui::PumpPending();
    EXPECT_EQ(0.0f, panel.m_fScrollX);
    Sleep(150);
    quiva::ui::InjectMouseMove(origin.x + 350, origin.y + 200);
    quiva::ui::InjectMouseMove(origin.x + 300, origin.y + 200);
    quiva::ui::PumpPending();
    EXPECT_FLOAT_EQ(-90.0f, panel.m_fScrollX);  // followed from 390 to 300
    EXPECT_FLOAT_EQ(-90.0f, Box(L"Camera")->m_fScrollX);
    // Far to the left: the bar stops the drawing at the end of the content.
    quiva::ui::InjectMouseMove(origin.x - 1500, origin.y + 200);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, origin.x - 1500, origin.y + 200);
    quiva::ui::PumpPending();
    EXPECT_FLOAT_EQ(-panel.m_hScroll.GetPosition(), panel.m_fScrollX);
    EXPECT_GT(panel.m_fScrollX, -(panel.m_fContentWidth + 40.0f));
}

}  // namespace
