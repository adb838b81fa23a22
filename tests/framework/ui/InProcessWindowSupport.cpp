#include "tests/framework/ui/InProcessWindowSupport.h"

#include "framework/CKXWnd.h"
#include "tests/support/HeadlessScreen.h"

namespace quiva::test {

void HostTest::SetUp()
{
    UseHeadlessScreen();
    RegisterPlainWindowClass(KX_WINDOW_CLASS, CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW));
    Pump();
}

void HostTest::TearDown()
{
    ParkInput();
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
