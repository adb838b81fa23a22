#include "tests/framework/ui/HostTestSupport.h"

#include "framework/CKXWnd.h"

#include <filesystem>

namespace quiva::test {

std::string ReferencePictureDir()
{
    std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    std::filesystem::create_directories(dir);
    return dir;
}

void HostTest::SetUp()
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = KX_WINDOW_CLASS;
    RegisterClassW(&wc);
    Pump();
}

void HostTest::TearDown()
{
    ReleaseCapture();
    SetActiveWindow(nullptr);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseMove(1919, 1079);
    Pump();
    UnregisterClassW(KX_WINDOW_CLASS, nullptr);
}

POINT HostTest::Screen(HWND wnd, int x, int y)
{
    POINT p{x, y};
    ClientToScreen(wnd, &p);
    return p;
}

void HostTest::Click(HWND wnd, int x, int y)
{
    POINT p = Screen(wnd, x, y);
    quiva::ui::InjectPause(1000);  // never the second half of a double click
    quiva::ui::InjectMouseMove(p.x, p.y);
    quiva::ui::InjectClick(p.x, p.y);
    quiva::ui::InjectPause(1000);
}

}  // namespace quiva::test
