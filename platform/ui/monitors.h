// The attached monitors. Headless, they are a list that tests set (one 1920x1080 monitor at the
// origin unless set); on X11 the display's screen is one monitor.
#pragma once

#include <vector>

#include "platform/ui/winuser.h"

typedef BOOL(CALLBACK* MONITORENUMPROC)(HMONITOR monitor, HDC dc, LPRECT rect, LPARAM data);

// Calls proc with each monitor (in the list's order, the primary first) that meets the clip
// rectangle (all of them without one) until it answers FALSE. Device contexts are not offered:
// dc must be null.
BOOL EnumDisplayMonitors(HDC dc, LPCRECT clip, MONITORENUMPROC proc, LPARAM data);

namespace quiva::ui {

struct MonitorArea {
    RECT monitor;
    RECT work;
};

// Replaces the monitors; the first is the primary. The virtual screen becomes the rectangle
// around them and the work area the primary's. An empty list gives one monitor again, the
// virtual screen as it then stands.
void SetMonitors(const std::vector<MonitorArea>& monitors);
std::vector<MonitorArea> Monitors();

}  // namespace quiva::ui
