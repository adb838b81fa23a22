// Enumeration of the top-level windows.
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

BOOL EnumWindows(WNDENUMPROC proc, LPARAM lParam)
{
    if (!proc)
        return FALSE;
    // A snapshot: the callback may create or destroy windows.
    for (HWND hwnd : TopLevels())
        if (IsWindow(hwnd) && !proc(hwnd, lParam))
            break;
    return TRUE;
}
