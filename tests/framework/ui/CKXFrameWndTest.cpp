#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlStatic.h"
#include "framework/CKXFrameWnd.h"
#include "tests/framework/ui/InProcessWindowSupport.h"
#include "tests/framework/ui/TestFrame.h"

using namespace quiva::test;

namespace {
using CKXFrameWndTest = HostTest;

uint32_t Pixel(HWND hwnd, int clientX, int clientY)
{
    quiva::Surface* s = quiva::ui::WindowSurface(hwnd);
    POINT o = quiva::ui::ClientOriginInSurface(hwnd);
    return s ? s->At(o.x + clientX, o.y + clientY) | 0xFF000000u : 0;
}
}  // namespace

TEST_F(CKXFrameWndTest, CreatesTheWindowWithCaptionAndChildren)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"영상얻기", 100, 100, 640, 480));
    EXPECT_EQ(f.captionBar.GetCaption(), CString(L"영상얻기"));
    EXPECT_TRUE(f.GetStyle() & WS_THICKFRAME);
    EXPECT_TRUE(f.GetExStyle() & WS_EX_APPWINDOW);
    RECT c;
    f.GetClientRect(&c);
    EXPECT_EQ(c.right, 632);  // the sizing border is outside the client area
    EXPECT_EQ(f.layouts.back(), std::make_pair(632, 472));
    EXPECT_FLOAT_EQ(f.captionBar.width, 632);
    EXPECT_FLOAT_EQ(f.captionBar.height, 28);
    EXPECT_TRUE(f.captionBar.active);

    // Children that cannot be made leave the window standing and report failure.
    TestFrame broken;
    broken.failChildren = true;
    EXPECT_FALSE(broken.Build(L"x", 0, 0, 500, 400));
    EXPECT_TRUE(IsWindow(broken.m_hWnd));
    broken.DestroyWindow();
}

TEST_F(CKXFrameWndTest, CaptionButtonsHoverPressAndDispatchOnRelease)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"t", 100, 100, 640, 480));
    Pump();
    // Hit test: a shown button is client area, the text and a hidden button's place are caption.
    POINT exitPt = Screen(f.m_hWnd, 620, 10);
    POINT textPt = Screen(f.m_hWnd, 100, 10);
    POINT minPt = Screen(f.m_hWnd, 580, 10);
    EXPECT_EQ(f.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(exitPt.x, exitPt.y)), HTCLIENT);
    EXPECT_EQ(f.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(textPt.x, textPt.y)), HTCAPTION);
    f.captionBar.showMinimize = 0;
    EXPECT_EQ(f.SendMessage(WM_NCHITTEST, 0, MAKELPARAM(minPt.x, minPt.y)), HTCAPTION);
    f.captionBar.showMinimize = 1;

    quiva::ui::InjectMouseMove(exitPt.x, exitPt.y);
    Pump();
    EXPECT_EQ(f.captionBar.hoverButton, CAPTION_EXIT);
    // Press on maximise, release on exit: nothing.
    POINT maxPt = Screen(f.m_hWnd, 600, 10);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, maxPt.x, maxPt.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, exitPt.x, exitPt.y);
    Pump();
    EXPECT_TRUE(IsWindow(f.m_hWnd));
    EXPECT_FALSE(f.IsZoomed());

    // Maximise, then restore, with the caption buttons.
    Click(f.m_hWnd, 600, 10);
    Pump();
    EXPECT_TRUE(f.IsZoomed());
    EXPECT_TRUE(f.captionBar.maximized);
    RECT c;
    f.GetClientRect(&c);
    Click(f.m_hWnd, c.right - 24 - 10, 10);
    Pump();
    EXPECT_FALSE(f.IsZoomed());
    EXPECT_FALSE(f.captionBar.maximized);
    EXPECT_EQ(f.captionBar.hoverButton, CAPTION_NONE);  // cleared after the command

    // Setting and minimise.
    f.captionBar.showSetting = 1;
    f.Refresh(1.0f);
    Click(f.m_hWnd, 560, 10);
    Pump();
    EXPECT_EQ(f.settings, 1);
    Click(f.m_hWnd, 580, 10);
    Pump();
    EXPECT_TRUE(f.IsIconic());
    f.ShowWindow(SW_RESTORE);
}

TEST_F(CKXFrameWndTest, CloseIsVetoedByCanCloseAndTheHandlerLetsGoOfTheWindow)
{
    auto* f = new TestFrame();
    ASSERT_TRUE(f->Build(L"t", 100, 100, 640, 480));
    Pump();
    f->allowClose = false;
    Click(f->m_hWnd, 620, 10);
    Pump();
    EXPECT_EQ(f->closeAsked, 1);
    EXPECT_TRUE(IsWindow(f->m_hWnd));
    f->allowClose = true;
    HWND h = f->m_hWnd;
    Click(h, 620, 10);
    Pump();
    EXPECT_EQ(f->closeAsked, 2);
    EXPECT_FALSE(IsWindow(h));
    EXPECT_EQ(f->m_hWnd, nullptr);
    delete f;
}

TEST_F(CKXFrameWndTest, CaptionDragMovesDoubleClickTogglesAndSizingStopsAtTheMinimum)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"t", 100, 100, 640, 480));
    Pump();
    POINT p = Screen(f.m_hWnd, 200, 10);
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
    quiva::ui::InjectMouseMove(p.x + 40, p.y + 30);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, p.x + 40, p.y + 30);
    Pump();
    RECT r;
    f.GetWindowRect(&r);
    EXPECT_EQ(r.left, 140);
    EXPECT_EQ(r.top, 130);

    quiva::ui::InjectPause(1000);
    p = Screen(f.m_hWnd, 200, 10);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    Pump();
    EXPECT_TRUE(f.IsZoomed());
    quiva::ui::InjectPause(1000);
    p = Screen(f.m_hWnd, 200, 10);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    Pump();
    EXPECT_FALSE(f.IsZoomed());
    // Only with the maximise button shown.
    f.captionBar.showMaximize = 0;
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    Pump();
    EXPECT_FALSE(f.IsZoomed());

    // Drag the bottom-right corner towards the top-left: 400 x 300 at least.
    f.GetWindowRect(&r);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseMove(r.right - 2, r.bottom - 2);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, r.right - 2, r.bottom - 2);
    quiva::ui::InjectMouseMove(r.left + 50, r.top + 50);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, r.left + 50, r.top + 50);
    Pump();
    RECT after;
    f.GetWindowRect(&after);
    EXPECT_EQ(after.right - after.left, 400);
    EXPECT_EQ(after.bottom - after.top, 300);
    EXPECT_EQ(f.layouts.back(), std::make_pair(392, 292));
    EXPECT_FLOAT_EQ(f.captionBar.width, 392);
}

TEST_F(CKXFrameWndTest, ClientHooksGetLayoutUnitsBelowTheCaption)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"t", 100, 100, 640, 480));
    f.Refresh(2.0f);
    EXPECT_FLOAT_EQ(f.captionBar.width, 316);
    EXPECT_EQ(f.scaleChanges, 1);
    Pump();
    // The panel window sits below the caption; press on the frame's own client area left of it.
    f.panelWnd.ShowWindow(SW_HIDE);
    Click(f.m_hWnd, 100, 100);
    Pump();
    ASSERT_FALSE(f.clientDowns.empty());
    EXPECT_FLOAT_EQ(f.clientDowns.back().X, 50);
    EXPECT_FLOAT_EQ(f.clientDowns.back().Y, 50 - 28);
    f.ShowCaption(0);
    Click(f.m_hWnd, 100, 100);
    Pump();
    EXPECT_FLOAT_EQ(f.clientDowns.back().Y, 50);
    // Keys reach the frame's hook; leaving clears the button state.
    f.SetFocus();
    quiva::ui::InjectKeyStroke('K');
    Pump();
    EXPECT_EQ(f.keys.back(), static_cast<UINT>('K'));
    f.context.buttonDown = 1;
    f.SendMessage(WM_MOUSELEAVE);
    EXPECT_FALSE(f.context.buttonDown);
}

TEST_F(CKXFrameWndTest, ActivationReachesTheCaptionAndTheHook)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"t", 100, 100, 640, 480));
    HWND other = CreateWindowExW(0, KX_WINDOW_CLASS, L"", WS_POPUP | WS_VISIBLE, 900, 100, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    Pump();
    EXPECT_FALSE(f.captionBar.active);
    EXPECT_EQ(f.activations.back(), 0);
    Click(f.m_hWnd, 200, 10);
    Pump();
    EXPECT_TRUE(f.captionBar.active);
    EXPECT_EQ(f.activations.back(), 1);
    DestroyWindow(other);
}

TEST_F(CKXFrameWndTest, ControlsInThePanelAreDrivenByInput)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"t", 100, 100, 640, 480));
    Pump();
    HWND panel = f.panelWnd.m_hWnd;
    // Hover, press and click the button; commands reach the panel's OnCommand.
    POINT b = Screen(panel, 30, 22);
    quiva::ui::InjectMouseMove(b.x, b.y);
    Pump();
    EXPECT_EQ(f.panel.hoverIndex, 0);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, b.x, b.y);
    Pump();
    EXPECT_EQ(f.panel.pressedIndex, 0);
    EXPECT_EQ(f.panelWnd.context.captured, &f.panel.okButton);
    quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, b.x, b.y);
    Pump();
    EXPECT_EQ(f.panel.commands, std::vector<int>{101});
    // The check box toggles; the label takes nothing.
    quiva::ui::InjectPause(1000);
    Click(panel, 18, 62);
    Pump();
    EXPECT_TRUE(f.panel.check.checked);
    EXPECT_EQ(f.panel.commands, (std::vector<int>{101, 102}));
    Click(panel, 30, 102);
    Pump();
    EXPECT_EQ(f.panel.commands.size(), 2u);
    EXPECT_EQ(GetFocus(), panel);
}

TEST_F(CKXFrameWndTest, RenderedFrameShowsThemeColours)
{
    TestFrame f;
    ASSERT_TRUE(f.Build(L"영상얻기 (12345-홍길동)", 100, 100, 640, 480));
    f.panel.okButton.selected = 1;
    f.captionBar.active = 1;
    Pump();
    // Hover the exit button so that it paints its red back.
    POINT exitPt = Screen(f.m_hWnd, 620, 10);
    quiva::ui::InjectMouseMove(exitPt.x, exitPt.y);
    Pump();
    f.UpdateWindow();
    f.panelWnd.Redraw();
    CKXCtrlTheme* theme = CKXCtrlTheme::GetInstance();
    EXPECT_EQ(Pixel(f.m_hWnd, 300, 3), theme->captionActive.back);           // caption strip
    EXPECT_EQ(Pixel(f.m_hWnd, 622, 6), theme->exitButton.over.back);         // hovered exit button
    EXPECT_EQ(Pixel(f.panelWnd.m_hWnd, 250, 150), theme->window.style.back);  // panel background
    EXPECT_EQ(Pixel(f.panelWnd.m_hWnd, 12, 12), theme->standard[KXSTANDARD_SELECTED].style.back);
    // Text pixels differ from the background somewhere in the caption's text area.
    int differing = 0;
    for (int x = 6; x < 200; ++x)
        for (int y = 8; y < 20; ++y)
            differing += Pixel(f.m_hWnd, x, y) != theme->captionActive.back;
    EXPECT_GT(differing, 20);

    // A reference picture for people, not for the assertions.
    EXPECT_TRUE(quiva::ui::WriteWindowPng(f.m_hWnd, ReferencePictureDir() + "/frame.png"));
}
