#include "app/QUIVAWindowClasses.h"

#include "app/CKXQUIVACaptureWnd.h"
#include "framework/CKXWnd.h"
#include "platform/gdi/gdi.h"

HINSTANCE QUIVAModuleInstance() { return GetModuleHandleW(L"QUIVA.CAPTURE.DLL"); }

void RegisterQUIVAWindowClasses()
{
    HINSTANCE instance = QUIVAModuleInstance();
    WNDCLASSW wc{};
    // No CS_DBLCLKS: the controls count their own double clicks.
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_SAVEBITS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = KX_WINDOW_CLASS;
    RegisterClassW(&wc);

    wc.style = 0;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = QUIVA_VIDEO_WINDOW_CLASS;
    RegisterClassW(&wc);
}

void UnregisterQUIVAWindowClasses()
{
    HINSTANCE instance = QUIVAModuleInstance();
    UnregisterClassW(KX_WINDOW_CLASS, instance);
    UnregisterClassW(QUIVA_VIDEO_WINDOW_CLASS, instance);
}
