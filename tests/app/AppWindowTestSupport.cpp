#include "tests/app/AppWindowTestSupport.h"

#include <filesystem>

#include "framework/CKXWnd.h"
#include "platform/gdi/gdi.h"

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
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
    RegisterQUIVAWindowClasses();
    Pump();
}

void AppWindowTest::TearDown()
{
    ReleaseCapture();
    SetActiveWindow(nullptr);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseMove(1919, 1079);
    Pump();
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

std::string AppReferencePictureDir()
{
    std::string dir = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    std::filesystem::create_directories(dir);
    return dir;
}

}  // namespace quiva::test
