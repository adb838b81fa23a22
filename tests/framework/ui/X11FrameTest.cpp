#include "tests/framework/ui/TestFrame.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;

TEST(X11Frame, ThemedFrameIsShownAndItsButtonClickedThroughTheServer)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 1024, 768);
    XvfbServer& xvfb = session.server();
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = KX_WINDOW_CLASS;
    RegisterClassW(&wc);
    {
        TestFrame f;
        ASSERT_TRUE(f.Build(L"영상얻기", 50, 40, 640, 480));
        unsigned long xwin = quiva::ui::CurrentBackend().NativeHandle(f.m_hWnd);
        ASSERT_NE(xwin, 0u);
        CKXCtrlTheme* theme = CKXCtrlTheme::GetInstance();
        unsigned long windowBack = theme->window.style.back & 0xFFFFFF;
        // Client origin on the screen: the window at (50, 40) plus the 4-pixel sizing border.
        EXPECT_TRUE(PumpUntil([&] {
            xvfb.Sync();
            return xvfb.ScreenPixel(54 + 250, 44 + 28 + 150) == windowBack;
        }));
        unsigned long caption = xvfb.ScreenPixel(54 + 300, 44 + 3);
        EXPECT_TRUE(caption == (theme->captionActive.back & 0xFFFFFF) || caption == (theme->captionInactive.back & 0xFFFFFF))
            << std::hex << caption;

        // The OK button of the panel, clicked by the server (window-relative and root points).
        int bx = 4 + 30, by = 4 + 28 + 22;
        xvfb.SendClick(xwin, bx, by, 50 + bx, 40 + by);
        EXPECT_TRUE(PumpUntil([&] { return !f.panel.commands.empty(); }));
        EXPECT_EQ(f.panel.commands, std::vector<int>{101});

        TempDir dir;
        EXPECT_TRUE(xvfb.Screenshot(dir.Native("screen.png")));
        EXPECT_GT(ReadAll(dir.Native("screen.png")).size(), 100u);
        xvfb.Screenshot(ReferencePictureDir() + "/frame-x11.png");
        f.DestroyWindow();
    }
    UnregisterClassW(KX_WINDOW_CLASS, nullptr);
}
