// The window system's own control classes, registered the first time a window of one is made.
#include "platform/base/CString.h"
#include "platform/ui/buttons.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/internal.h"
#include "platform/ui/staticcontrol.h"
#include "platform/ui/treeview.h"

namespace quiva::ui::detail {

bool RegisterOwnClass(LPCWSTR className, WNDPROC proc, UINT style)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    WNDCLASSW existing{};
    if (GetClassInfoW(nullptr, className, &existing))
        return true;
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = proc;
    wc.lpszClassName = className;
    return RegisterClassW(&wc) != 0;
}

bool RegisterSystemClass(LPCWSTR className)
{
    if (!className || reinterpret_cast<ULONG_PTR>(className) < 0x10000)
        return false;
    if (_wcsicmp(className, WC_BUTTONW) == 0)
        return RegisterButtonClass();
    if (_wcsicmp(className, WC_TREEVIEWW) == 0)
        return RegisterTreeViewClass();
    if (_wcsicmp(className, WC_STATICW) == 0)
        return RegisterStaticClass();
    return false;
}

}  // namespace quiva::ui::detail

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* init)
{
    if (!init || init->dwSize < sizeof(INITCOMMONCONTROLSEX))
        return FALSE;
    bool ok = true;
    if (init->dwICC & ICC_TREEVIEW_CLASSES)
        ok = quiva::ui::RegisterTreeViewClass() && ok;
    if (init->dwICC & ICC_STANDARD_CLASSES)
        ok = quiva::ui::RegisterButtonClass() && quiva::ui::RegisterStaticClass() && ok;
    return ok ? TRUE : FALSE;
}
