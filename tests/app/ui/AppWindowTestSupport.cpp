#include "tests/app/ui/AppWindowTestSupport.h"

#include "framework/CKXWnd.h"
#include "platform/gdi/gdi.h"
#include "tests/support/HeadlessScreen.h"

namespace quiva::test {

BOOL WhiteFrame::CreateAt(int x, int y, int w, int h)
{
    return CreateEx(WS_EX_APPWINDOW, KX_WINDOW_CLASS, L"frame", WS_POPUP | WS_THICKFRAME | WS_VISIBLE, x, y, w, h, nullptr,
                    nullptr);
}

BOOL WhiteFrame::OnEraseBkgnd(HDC hdc)
{
    RECT r;
    GetClientRect(&r);
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(hdc, &r, white);
    return TRUE;
}

LRESULT WhiteFrame::OnNcHitTest(CPoint point)
{
    ++hitTests;
    LRESULT hit = CWnd::OnNcHitTest(point);
    return hit == HTCLIENT ? HTCAPTION : hit;
}

void AppWindowTest::SetUp()
{
    UseHeadlessScreen();
    RegisterQUIVAWindowClasses();
    Pump();
}

void AppWindowTest::TearDown()
{
    ParkInput();
    UnregisterQUIVAWindowClasses();
}

unsigned AppWindowTest::Pixel(HWND hwnd, int x, int y)
{
    quiva::Surface* s = quiva::ui::WindowSurface(hwnd);
    if (!s)
        return 0xFFFFFFFFu;
    POINT o = quiva::ui::ClientOriginInSurface(hwnd);
    std::lock_guard<std::recursive_mutex> l(s->Mutex());
    return s->At(o.x + x, o.y + y) & 0xFFFFFFu;
}

std::string RectText(const RECT& r)
{
    return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + ")-(" + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + ")";
}

}  // namespace quiva::test
