#include "app/ui/QUIVAWindowClasses.h"

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/CKXQUIVACaptureWnd.h"
#include "framework/CKXWnd.h"
#include "platform/gdi/gdi.h"

namespace {

struct ModuleClass {
    const wchar_t* name;
    UINT style;
    WNDPROC proc;
    int stockBrush;  // -1: none
};

// Every class the module registers: its window procedures live in the module, so none may
// outlive it.
const ModuleClass kModuleClasses[] = {
    // No CS_DBLCLKS: the controls count their own double clicks.
    {KX_WINDOW_CLASS, CS_VREDRAW | CS_HREDRAW | CS_SAVEBITS, DefWindowProcW, -1},
    {QUIVA_VIDEO_WINDOW_CLASS, 0, DefWindowProcW, BLACK_BRUSH},
    {CKXQUIVACaptureModel::kNotifyClass, 0, CKXQUIVACaptureModel::NotifyWindowProc, -1},
};

}  // namespace

void RegisterQUIVAWindowClasses()
{
    HINSTANCE instance = QUIVAModuleInstance();
    for (const ModuleClass& c : kModuleClasses) {
        WNDCLASSW wc{};
        wc.style = c.style;
        wc.lpfnWndProc = c.proc;
        wc.hInstance = instance;
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        if (c.stockBrush >= 0)
            wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(c.stockBrush));
        wc.lpszClassName = c.name;
        RegisterClassW(&wc);
    }
}

void UnregisterQUIVAWindowClasses()
{
    HINSTANCE instance = QUIVAModuleInstance();
    for (const ModuleClass& c : kModuleClasses)
        UnregisterClassW(c.name, instance);
}
