// Monitors and system metrics.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"
#include "platform/gdi/gdi.h"
#include <unistd.h>
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

HMONITOR MonitorFromPoint(POINT pt, DWORD flags)
{
    RECT s = quiva::ui::VirtualScreen();
    if (PtInRect(&s, pt) || flags != MONITOR_DEFAULTTONULL)
        return reinterpret_cast<HMONITOR>(1);
    return nullptr;
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags)
{
    RECT r;
    if (!GetWindowRect(hwnd, &r))
        return flags == MONITOR_DEFAULTTONULL ? nullptr : reinterpret_cast<HMONITOR>(1);
    return MonitorFromRect(&r, flags);
}

HMONITOR MonitorFromRect(LPCRECT r, DWORD flags)
{
    RECT s = quiva::ui::VirtualScreen(), i;
    if ((r && IntersectRect(&i, r, &s)) || flags != MONITOR_DEFAULTTONULL)
        return reinterpret_cast<HMONITOR>(1);
    return nullptr;
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info)
{
    if (monitor != reinterpret_cast<HMONITOR>(1) || !info || info->cbSize < sizeof(MONITORINFO))
        return FALSE;
    info->rcMonitor = quiva::ui::VirtualScreen();
    info->rcWork = quiva::ui::WorkArea();
    info->dwFlags = MONITORINFOF_PRIMARY;
    return TRUE;
}

int GetSystemMetrics(int index)
{
    RECT s = quiva::ui::VirtualScreen();
    switch (index) {
    case SM_CXSCREEN:
    case SM_CXVIRTUALSCREEN:
        return s.right - s.left;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN:
        return s.bottom - s.top;
    case SM_XVIRTUALSCREEN:
        return s.left;
    case SM_YVIRTUALSCREEN:
        return s.top;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return 1;
    case SM_CXICON:
    case SM_CYICON:
        return 32;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return 16;
    case SM_CXSIZEFRAME:
    case SM_CYSIZEFRAME:
        return quiva::ui::FrameWidth(WS_THICKFRAME);
    case SM_CXDOUBLECLK:
    case SM_CYDOUBLECLK:
        return 4;
    case SM_CXMINTRACK:
        return 136;
    case SM_CYMINTRACK:
        return 39;
    case SM_CMONITORS:
        return 1;
    default:
        return 0;
    }
}

BOOL SystemParametersInfoW(UINT action, UINT, PVOID data, UINT)
{
    if (action == SPI_GETWORKAREA && data) {
        *static_cast<RECT*>(data) = quiva::ui::WorkArea();
        return TRUE;
    }
    return FALSE;
}
