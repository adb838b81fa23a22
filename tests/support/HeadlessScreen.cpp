#include "tests/support/HeadlessScreen.h"

#include "platform/ui/uisystem.h"

namespace quiva::test {

void UseHeadlessScreen()
{
    quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
    quiva::ui::SetVirtualScreen(RECT{0, 0, 1920, 1080}, RECT{0, 0, 1920, 1040});
}

void RegisterPlainWindowClass(LPCWSTR name, UINT style, HCURSOR cursor)
{
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hCursor = cursor;
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

void ParkInput()
{
    ReleaseCapture();
    SetActiveWindow(nullptr);
    quiva::ui::InjectPause(1000);
    quiva::ui::InjectMouseMove(1919, 1079);
    quiva::ui::PumpPending();
}

}  // namespace quiva::test
