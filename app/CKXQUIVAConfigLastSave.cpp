// The configuration's window placement and the file "QUIVA.Capture.LastSave".
#include "app/CKXQUIVAConfig.h"

#include "app/KXConfigFile.h"
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

}  // namespace

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
    m_nWindowX = screen.left + (screen.right - screen.left) / 2 - 400;
    m_nWindowY = screen.top + (screen.bottom - screen.top) / 2 - 300;
    m_nWindowWidth = 800;
    m_nWindowHeight = 600;
    m_bThumbnailShow = 1;
    m_strDeviceName.Empty();
    m_nThumbnailSize = 200;

    CKXXmlDocument doc;
    bool fromCurrentFolder = false;
    if (!LoadSettingsFile(doc, m_strImageRoot, kLastSaveFile, &fromCurrentFolder))
        return;
    const int x = Decimal(doc.GetAttribute(L"/window", L"x", 0));
    const int y = Decimal(doc.GetAttribute(L"/window", L"y", 0));
    const int width = Decimal(doc.GetAttribute(L"/window", L"width", 0));
    const int height = Decimal(doc.GetAttribute(L"/window", L"height", 0));
    // A rectangle no window can have keeps the default placement, and a strip wider than any
    // window the default width.
    if (WindowCanHave(x, y, width, height)) {
        m_nWindowX = x;
        m_nWindowY = y;
        m_nWindowWidth = width;
        m_nWindowHeight = height;
    }
    m_bThumbnailShow = Is(doc.GetAttribute(L"/thumbnail", L"show", 0), L"TRUE");
    const int thumbnailSize = Decimal(doc.GetAttribute(L"/thumbnail", L"size", 0));
    if (Within(thumbnailSize, 0, kFarthest))
        m_nThumbnailSize = thumbnailSize;
    m_strDeviceName = doc.GetValue(L"/device", 0);
    g_bNoPrevent = Is(doc.GetAttribute(L"/options", L"noPrevent", 0), L"1");
    KeepOnScreen(m_nWindowX, m_nWindowY);

    if (fromCurrentFolder)
        doc.Save(ExeFilePath(m_strImageRoot, kLastSaveFile));
}

void CKXQUIVAConfig::SaveLastSave()
{
    CKXXmlDocument doc;
    StartSettingsFile(doc, L"Last.Save");
    doc.SetAttribute(L"/window", 0, L"x", DecimalText(m_nWindowX));
    doc.SetAttribute(L"/window", 0, L"y", DecimalText(m_nWindowY));
    doc.SetAttribute(L"/window", 0, L"width", DecimalText(m_nWindowWidth));
    doc.SetAttribute(L"/window", 0, L"height", DecimalText(m_nWindowHeight));
    doc.SetAttribute(L"/thumbnail", 0, L"show", TrueFalse(m_bThumbnailShow));
    doc.SetAttribute(L"/thumbnail", 0, L"size", DecimalText(m_nThumbnailSize));
    doc.SetValue(L"/device", m_strDeviceName, 0, TRUE);
    doc.SetAttribute(L"/options", 0, L"noPrevent", OneZero(g_bNoPrevent));
    doc.Save(ExeFilePath(m_strImageRoot, kLastSaveFile));
}

void CKXQUIVAConfig::SetWindowRect(int x, int y, int width, int height)
{
    KeepOnScreen(x, y);
    m_nWindowX = x;
    m_nWindowY = y;
    m_nWindowWidth = width;
    m_nWindowHeight = height;
}

void CKXQUIVAConfig::SetDeviceName(const CString& name) { m_strDeviceName = name; }

CString CKXQUIVAConfig::GetDeviceName() const { return m_strDeviceName; }
