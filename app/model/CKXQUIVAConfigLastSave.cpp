// The configuration's window placement and the file "QUIVA.Capture.LastSave".
#include "app/model/CKXQUIVAConfig.h"

#include <algorithm>

#include "app/model/KXConfigFile.h"
#include "framework/CKXXmlDocument.h"
#include "platform/gdi/Surface.h"
#include "platform/ui/monitors.h"

using namespace quiva::app;

namespace {

const wchar_t kLastSaveFile[] = L"QUIVA.Capture.LastSave";

struct PointOnMonitor {
    POINT point;
    bool found = false;
};

BOOL CALLBACK TestMonitor(HMONITOR, HDC, LPRECT rect, LPARAM data)
{
    auto* test = reinterpret_cast<PointOnMonitor*>(data);
    // Edges included: a window at the very left edge of a monitor stays there.
    if (rect->left <= test->point.x && test->point.x <= rect->right && rect->top <= test->point.y &&
        test->point.y <= rect->bottom) {
        test->found = true;
        return FALSE;
    }
    return TRUE;
}

bool OnSomeMonitor(int x, int y)
{
    PointOnMonitor test{POINT{x, y}};
    EnumDisplayMonitors(nullptr, nullptr, TestMonitor, reinterpret_cast<LPARAM>(&test));
    return test.found;
}

// A negative coordinate is kept only where the point lies on an attached monitor; both tests use
// the x as given. Coordinates of 0 or more are not tested.
void KeepOnScreen(int& x, int& y)
{
    int givenX = x;
    if (x < 0 && !OnSomeMonitor(x, y))
        x = 0;
    if (y < 0 && !OnSomeMonitor(givenX, y))
        y = 0;
}

// The farthest a window's edge may lie from the origin: window messages carry coordinates in 16
// bits.
constexpr int kFarthest = 32767;

bool Within(int value, int low, int high) { return low <= value && value <= high; }

// Whether a window can have the rectangle (a damaged file can hold any number).
bool WindowCanHave(int x, int y, int width, int height)
{
    return Within(x, -kFarthest, kFarthest) && Within(y, -kFarthest, kFarthest) && Within(width, 0, kFarthest) &&
           Within(height, 0, kFarthest) && Within(x + width, -kFarthest, kFarthest) &&
           Within(y + height, -kFarthest, kFarthest) && quiva::Surface::CanHave(width, height);
}

// A saved size larger than the screen the window opens on (the monitor nearest its rectangle)
// is brought down to that screen's: a window no screen shows whole only costs memory.
void FitScreen(int x, int y, int& width, int& height)
{
    const RECT placed{x, y, x + width, y + height};
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(MonitorFromRect(&placed, MONITOR_DEFAULTTONEAREST), &info))
        return;
    width = std::min<int>(width, info.rcMonitor.right - info.rcMonitor.left);
    height = std::min<int>(height, info.rcMonitor.bottom - info.rcMonitor.top);
}

}  // namespace

SettingTable CKXQUIVAConfig::LastSaveSettings()
{
    return {
        {L"/window", L"x", &m_placement.m_nWindowX, kNumber},
        {L"/window", L"y", &m_placement.m_nWindowY, kNumber},
        {L"/window", L"width", &m_placement.m_nWindowWidth, kNumber},
        {L"/window", L"height", &m_placement.m_nWindowHeight, kNumber},
        {L"/thumbnail", L"show", &m_placement.m_bThumbnailShow, kTrueFalseOff},
        // A strip wider than any window keeps the default width.
        {L"/thumbnail", L"size", &m_placement.m_nThumbnailSize, Number(0, kFarthest, false, Placement().m_nThumbnailSize)},
        {L"/device", nullptr, &m_placement.m_strDeviceName, kText},
        {L"/options", L"noPrevent", &g_bNoPrevent, kOneZeroOff},
    };
}

void CKXQUIVAConfig::LoadLastSave()
{
    // 800 by 600, centred on the monitor nearest the cursor.
    POINT cursor{0, 0};
    GetCursorPos(&cursor);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    RECT screen{0, 0, 0, 0};
    if (GetMonitorInfoW(MonitorFromPoint(cursor, MONITOR_DEFAULTTONEAREST), &info))
        screen = info.rcMonitor;
    const int x = screen.left + (screen.right - screen.left) / 2 - 400;
    const int y = screen.top + (screen.bottom - screen.top) / 2 - 300;
    PlaceWindow(x, y, 800, 600);
    const Placement defaults;
    m_placement.m_bThumbnailShow = defaults.m_bThumbnailShow;
    m_placement.m_strDeviceName = defaults.m_strDeviceName;
    m_placement.m_nThumbnailSize = defaults.m_nThumbnailSize;

    CKXXmlDocument doc;
    bool fromCurrentFolder = false;
    if (!LoadSettingsFile(doc, m_strImageRoot, kLastSaveFile, &fromCurrentFolder))
        return;
    ReadSettings(doc, CString(), LastSaveSettings());
    // A rectangle no window can have keeps the default placement.
    if (!WindowCanHave(m_placement.m_nWindowX, m_placement.m_nWindowY, m_placement.m_nWindowWidth, m_placement.m_nWindowHeight))
        PlaceWindow(x, y, 800, 600);
    KeepOnScreen(m_placement.m_nWindowX, m_placement.m_nWindowY);
    FitScreen(m_placement.m_nWindowX, m_placement.m_nWindowY, m_placement.m_nWindowWidth, m_placement.m_nWindowHeight);

    if (fromCurrentFolder)
        doc.Save(ExeFilePath(m_strImageRoot, kLastSaveFile));
}

void CKXQUIVAConfig::SaveLastSave()
{
    CKXXmlDocument doc;
    StartSettingsFile(doc, L"Last.Save");
    WriteSettings(doc, CString(), LastSaveSettings());
    doc.Save(ExeFilePath(m_strImageRoot, kLastSaveFile));
}

void CKXQUIVAConfig::SetWindowRect(int x, int y, int width, int height)
{
    KeepOnScreen(x, y);
    PlaceWindow(x, y, width, height);
}

void CKXQUIVAConfig::PlaceWindow(int x, int y, int width, int height)
{
    m_placement.m_nWindowX = x;
    m_placement.m_nWindowY = y;
    m_placement.m_nWindowWidth = width;
    m_placement.m_nWindowHeight = height;
}

void CKXQUIVAConfig::SetThumbnail(BOOL show, int size)
{
    m_placement.m_bThumbnailShow = show;
    m_placement.m_nThumbnailSize = size;
}

void CKXQUIVAConfig::SetDeviceName(const CString& name) { m_placement.m_strDeviceName = name; }

CString CKXQUIVAConfig::GetDeviceName() const { return m_placement.m_strDeviceName; }
