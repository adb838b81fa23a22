// The window menu (Alt+Space, keys, letters, clicks, WM_SYSCOMMAND), pop-up menus and window
// icons, on the headless display and, for the icon property, on X11.
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/menu.h"
#include "platform/ui/windowicon.h"
#include "tests/platform/ui/UiTestSupport.h"
#include "tests/support/TempDir.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;
using quiva::ui::InjectKey;
using quiva::ui::InjectKeyStroke;

namespace {

class WindowMenu : public UiTest {
protected:
    // A shown window with a window menu, active, with its WM_SYSCOMMANDs recorded.
    HWND MenuWindow(DWORD extra = 0)
    {
        HWND w = Top(100, 100, 400, 300, WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | extra);
        SetActiveWindow(w);
        quiva::ui::PumpPending();
        Clear();
        return w;
    }
    std::vector<WPARAM> Commands(HWND w) const
    {
        std::vector<WPARAM> out;
        for (const auto& r : Of(w, WM_SYSCOMMAND))
            out.push_back(r.wParam);
        return out;
    }
    static void AltSpace()
    {
        InjectKey(VK_MENU, true);
        InjectKeyStroke(VK_SPACE, L' ');
        InjectKey(VK_MENU, false);
    }
};

}  // namespace

TEST_F(WindowMenu, StandardCommandsFollowTheStyleAndTheWindowMayAddItsOwn)
{
    HWND w = MenuWindow(WS_MINIMIZEBOX);
    HMENU menu = GetSystemMenu(w, FALSE);
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu, GetSystemMenu(w, FALSE));
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        ids.push_back(GetMenuItemID(menu, i));
    EXPECT_EQ(ids, (std::vector<UINT>{SC_RESTORE, SC_MINIMIZE, static_cast<UINT>(-1), SC_CLOSE}));
    EXPECT_TRUE(AppendMenuW(menu, MF_SEPARATOR, 0, nullptr));
    EXPECT_TRUE(AppendMenuW(menu, MF_STRING, 0x10, L"정보(&A)..."));
    wchar_t text[32] = {};
    EXPECT_EQ(GetMenuStringW(menu, 0x10, text, 32, MF_BYCOMMAND), 9);
    EXPECT_STREQ(text, L"정보(&A)...");
    EXPECT_EQ(GetMenuStringW(menu, 5, text, 32, MF_BYPOSITION), 9);
    EXPECT_EQ(GetMenuStringW(menu, 0x99, text, 32, MF_BYCOMMAND), 0);
    // Reverting drops what was added.
    EXPECT_EQ(GetSystemMenu(w, TRUE), nullptr);
    EXPECT_EQ(GetMenuItemCount(GetSystemMenu(w, FALSE)), 4);
    EXPECT_EQ(GetSystemMenu(Child(w, 0, 0, 10, 10), FALSE), nullptr);
    EXPECT_EQ(GetMenuItemCount(reinterpret_cast<HMENU>(12345)), -1);
}

TEST_F(WindowMenu, AltSpaceOpensItAndTheCommandComesBackAsWmSysCommand)
{
    HWND w = MenuWindow();
    AppendMenuW(GetSystemMenu(w, FALSE), MF_STRING, 0x10, L"정보(&A)...");
    // By the underlined letter.
    AltSpace();
    InjectKeyStroke('A', L'a');
    quiva::ui::PumpPending();
    EXPECT_EQ(Commands(w), (std::vector<WPARAM>{SC_KEYMENU, 0x10}));
    EXPECT_EQ(quiva::ui::CurrentMenuWindow(), nullptr);

    // By the arrow keys and Enter (the first command is lit when the menu opens).
    Clear();
    AltSpace();
    InjectKeyStroke(VK_DOWN);
    InjectKeyStroke(VK_RETURN);
    quiva::ui::PumpPending();
    EXPECT_EQ(Commands(w), (std::vector<WPARAM>{SC_KEYMENU, 0x10}));

    // Escape chooses nothing.
    Clear();
    AltSpace();
    InjectKeyStroke(VK_ESCAPE);
    quiva::ui::PumpPending();
    EXPECT_EQ(Commands(w), std::vector<WPARAM>{SC_KEYMENU});
    EXPECT_TRUE(IsWindow(w));
}

TEST_F(WindowMenu, AClickChoosesAnItemAndAClickElsewhereClosesTheMenu)
{
    HWND w = MenuWindow();
    // The menu opens at the top-left corner of the client area: its first row is the close
    // command.
    POINT at{0, 0};
    ClientToScreen(w, &at);
    AltSpace();
    quiva::ui::InjectClick(at.x + 300, at.y + 300);  // off the menu
    quiva::ui::PumpPending();
    EXPECT_EQ(Commands(w), std::vector<WPARAM>{SC_KEYMENU});
    EXPECT_TRUE(IsWindow(w));

    Clear();
    AltSpace();
    quiva::ui::InjectClick(at.x + 30, at.y + 10);
    quiva::ui::PumpPending();
    EXPECT_EQ(Commands(w), (std::vector<WPARAM>{SC_KEYMENU, SC_CLOSE}));
    // The default processing of SC_CLOSE closes the window.
    EXPECT_FALSE(IsWindow(w));
}

TEST_F(WindowMenu, AWindowWithoutAWindowMenuOpensNone)
{
    HWND w = Top(0, 0, 200, 100, WS_POPUP | WS_VISIBLE);
    SetActiveWindow(w);
    quiva::ui::PumpPending();
    Clear();
    AltSpace();
    InjectKeyStroke(VK_ESCAPE);
    quiva::ui::PumpPending();
    EXPECT_EQ(quiva::ui::CurrentMenuWindow(), nullptr);
    EXPECT_TRUE(IsWindow(w));
    // Minimise and restore by command.
    SendMessageW(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
    EXPECT_TRUE(IsIconic(w));
    SendMessageW(w, WM_SYSCOMMAND, SC_RESTORE, 0);
    EXPECT_FALSE(IsIconic(w));
}

TEST_F(WindowMenu, WindowIconsAreKeptPerSizeAndGoWithTheWindow)
{
    HWND w = Top(0, 0, 200, 100);
    HICON big = LoadIconW(GetModuleHandleW(L"QUIVA.Capture.dll"), MAKEINTRESOURCEW(10001));
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(SendMessageW(w, WM_GETICON, ICON_BIG, 0), 0);
    EXPECT_EQ(SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big)), 0);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_BIG, 0)), big);
    // Only a big one: it stands for the small one too.
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_GETICON, ICON_SMALL, 0)), big);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(w, WM_SETICON, ICON_BIG, 0)), big);
    EXPECT_EQ(quiva::ui::WindowIcon(w, true), nullptr);

    // A minimised window's icon background, as the default procedure erases it.
    HDC dc = GetDC(w);
    EXPECT_EQ(SendMessageW(w, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
    ReleaseDC(w, dc);
    EXPECT_EQ(SendMessageW(w, WM_QUERYDRAGICON, 0, 0), 0);
    SendMessageW(w, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(big));
    DestroyWindow(w);
    EXPECT_EQ(quiva::ui::WindowIcon(w, false), nullptr);
    DestroyIcon(big);
}

TEST(X11WindowIcon, TheIconBecomesTheWindowsIconProperty)
{
    X11Session session;
    QUIVA_X11_SESSION_OR_SKIP(session, 640, 480);
    WNDCLASSW wc{};
    wc.lpszClassName = L"QuivaX11IconTest";
    wc.lpfnWndProc = DefWindowProcW;
    ASSERT_TRUE(RegisterClassW(&wc));
    HWND w = CreateWindowExW(WS_EX_APPWINDOW, L"QuivaX11IconTest", L"icon", WS_POPUP | WS_VISIBLE | WS_CAPTION, 10,
                             10, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(w, nullptr);
    const unsigned long xwin = quiva::ui::CurrentBackend().NativeHandle(w);
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(L"QUIVA.Capture.dll"), MAKEINTRESOURCEW(10001), IMAGE_ICON, 32, 32, 0));
    ASSERT_NE(icon, nullptr);
    SendMessageW(w, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    // The window's connection to the server is not this test's: its requests are flushed, but
    // the server may answer this test's before it reads them.
    std::vector<unsigned long> property;
    EXPECT_TRUE(PumpUntil([&] {
        property = session.server().CardinalProperty(xwin, "_NET_WM_ICON");
        return !property.empty();
    }));
    ASSERT_EQ(property.size(), 2u + 32u * 32u);
    EXPECT_EQ(property[0], 32u);
    EXPECT_EQ(property[1], 32u);
    std::vector<uint32_t> argb;
    int width = 0, height = 0;
    ASSERT_TRUE(quiva::IconPixels(icon, &width, &height, &argb));
    EXPECT_EQ(property[2 + 16 * 32 + 16] & 0xFFFFFFFFu, argb[16 * 32 + 16]);
    // Taking the icon away removes the property.
    SendMessageW(w, WM_SETICON, ICON_BIG, 0);
    EXPECT_TRUE(PumpUntil([&] { return session.server().CardinalProperty(xwin, "_NET_WM_ICON").empty(); }));
    DestroyWindow(w);
    DestroyIcon(icon);
    UnregisterClassW(L"QuivaX11IconTest", nullptr);
}
