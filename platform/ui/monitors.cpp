// Monitors and system metrics.
#include "platform/ui/monitors.h"

#include <algorithm>
#include <climits>
#include <mutex>

#include "platform/base/winrect.h"
#include "platform/ui/internal.h"
#include "platform/ui/uisystem.h"

namespace {

std::mutex g_mutex;
std::vector<quiva::ui::MonitorArea> g_monitors;  // empty: the virtual screen alone

HMONITOR Handle(size_t index) { return reinterpret_cast<HMONITOR>(index + 1); }

// Squared distance from a point to a rectangle (0 inside).
long long Distance(const RECT& r, POINT pt)
{
    long long dx = pt.x < r.left ? r.left - pt.x : (pt.x >= r.right ? pt.x - r.right + 1 : 0);
    long long dy = pt.y < r.top ? r.top - pt.y : (pt.y >= r.bottom ? pt.y - r.bottom + 1 : 0);
    return dx * dx + dy * dy;
}

HMONITOR Fallback(const std::vector<quiva::ui::MonitorArea>& list, POINT pt, DWORD flags)
{
    if (flags == MONITOR_DEFAULTTONULL)
        return nullptr;
    if (flags == MONITOR_DEFAULTTOPRIMARY)
        return Handle(0);
    size_t best = 0;
    for (size_t i = 1; i < list.size(); ++i)
        if (Distance(list[i].monitor, pt) < Distance(list[best].monitor, pt))
            best = i;
    return Handle(best);
}

}  // namespace

namespace quiva::ui {

void SetMonitors(const std::vector<MonitorArea>& monitors)
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_monitors = monitors;
    }
    if (monitors.empty())
        return;
    RECT around = monitors[0].monitor;
    for (const MonitorArea& m : monitors)
        UnionRect(&around, &around, &m.monitor);
    SetVirtualScreen(around, monitors[0].work);
}

std::vector<MonitorArea> Monitors()
{
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!g_monitors.empty())
            return g_monitors;
    }
    return {MonitorArea{VirtualScreen(), WorkArea()}};
}

}  // namespace quiva::ui

HMONITOR MonitorFromPoint(POINT pt, DWORD flags)
{
    std::vector<quiva::ui::MonitorArea> list = quiva::ui::Monitors();
    for (size_t i = 0; i < list.size(); ++i)
        if (PtInRect(&list[i].monitor, pt))
            return Handle(i);
    return Fallback(list, pt, flags);
}

HMONITOR MonitorFromRect(LPCRECT r, DWORD flags)
{
    std::vector<quiva::ui::MonitorArea> list = quiva::ui::Monitors();
    if (!r)
        return flags == MONITOR_DEFAULTTONULL ? nullptr : Handle(0);
    long long bestArea = 0;
    HMONITOR best = nullptr;
    for (size_t i = 0; i < list.size(); ++i) {
        RECT common;
        if (IntersectRect(&common, r, &list[i].monitor)) {
            long long area = static_cast<long long>(common.right - common.left) * (common.bottom - common.top);
            if (area > bestArea) {
                bestArea = area;
                best = Handle(i);
            }
        }
    }
    if (best)
        return best;
    POINT centre{r->left + (r->right - r->left) / 2, r->top + (r->bottom - r->top) / 2};
    return Fallback(list, centre, flags);
}

HMONITOR MonitorFromWindow(HWND hwnd, DWORD flags)
{
    RECT r;
    if (!GetWindowRect(hwnd, &r))
        return flags == MONITOR_DEFAULTTONULL ? nullptr : Handle(0);
    return MonitorFromRect(&r, flags);
}

BOOL GetMonitorInfoW(HMONITOR monitor, LPMONITORINFO info)
{
    std::vector<quiva::ui::MonitorArea> list = quiva::ui::Monitors();
    size_t index = reinterpret_cast<size_t>(monitor);
    if (index == 0 || index > list.size() || !info || info->cbSize < sizeof(MONITORINFO))
        return FALSE;
    info->rcMonitor = list[index - 1].monitor;
    info->rcWork = list[index - 1].work;
    info->dwFlags = index == 1 ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
}

BOOL EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data)
{
    if (dc || !proc)
        return FALSE;
    std::vector<quiva::ui::MonitorArea> list = quiva::ui::Monitors();
    for (size_t i = 0; i < list.size(); ++i) {
        RECT r = list[i].monitor;
        if (clip && !IntersectRect(&r, clip, &list[i].monitor))
            continue;
        if (!proc(Handle(i), nullptr, &r, data))
            break;
    }
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
        return static_cast<int>(quiva::ui::Monitors().size());
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
