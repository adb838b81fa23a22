// The window system's own control classes, registered the first time a window of one is made.
#include "platform/base/CString.h"
#include "platform/ui/buttons.h"
#include "platform/ui/internal.h"
#include "platform/ui/treeview.h"

namespace quiva::ui::detail {

bool RegisterSystemClass(LPCWSTR className)
{
    if (!className || reinterpret_cast<ULONG_PTR>(className) < 0x10000)
        return false;
    const std::wstring name(className);
    if (_wcsicmp(name.c_str(), WC_BUTTONW) == 0)
        return RegisterButtonClass();
    if (_wcsicmp(name.c_str(), WC_TREEVIEWW) == 0)
        return RegisterTreeViewClass();
    return false;
}

}  // namespace quiva::ui::detail
