#include "platform/ui/monitors.h"

#include <gtest/gtest.h>

#include "platform/ui/uisystem.h"

using quiva::ui::MonitorArea;

namespace {

class Monitors : public testing::Test {
protected:
    Monitors() : m_screen(quiva::ui::VirtualScreen()), m_work(quiva::ui::WorkArea()) {}
    ~Monitors() override
    {
        quiva::ui::SetMonitors({});
        quiva::ui::SetVirtualScreen(m_screen, m_work);
    }
    RECT m_screen, m_work;
};

BOOL CALLBACK Collect(HMONITOR monitor, HDC, LPRECT rect, LPARAM data)
{
    reinterpret_cast<std::vector<std::pair<HMONITOR, RECT>>*>(data)->push_back({monitor, *rect});
    return TRUE;
}

}  // namespace

TEST_F(Monitors, SeveralMonitorsAreFoundByPointRectangleAndEnumeration)
{
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
                            MonitorArea{{-1280, 56, 0, 1080}, {-1280, 56, 0, 1080}}});
    RECT screen = quiva::ui::VirtualScreen();
    EXPECT_EQ(screen.left, -1280);
    EXPECT_EQ(screen.right, 1920);
    EXPECT_EQ(quiva::ui::WorkArea().bottom, 1040);

    HMONITOR primary = MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONULL);
    HMONITOR left = MonitorFromPoint(POINT{-10, 500}, MONITOR_DEFAULTTONULL);
    ASSERT_TRUE(primary && left);
    EXPECT_NE(primary, left);
    EXPECT_EQ(MonitorFromPoint(POINT{-600, 10}, MONITOR_DEFAULTTONULL), nullptr);  // above the left one
    EXPECT_EQ(MonitorFromPoint(POINT{-600, 10}, MONITOR_DEFAULTTONEAREST), left);
    EXPECT_EQ(MonitorFromPoint(POINT{-10, 10}, MONITOR_DEFAULTTONEAREST), primary);
    EXPECT_EQ(MonitorFromPoint(POINT{5000, 10}, MONITOR_DEFAULTTONEAREST), primary);
    EXPECT_EQ(MonitorFromPoint(POINT{-5000, 10}, MONITOR_DEFAULTTOPRIMARY), primary);
    RECT mostlyLeft{-600, 100, 200, 400};
    EXPECT_EQ(MonitorFromRect(&mostlyLeft, MONITOR_DEFAULTTONULL), left);

    MONITORINFO info{};
    info.cbSize = sizeof info;
    ASSERT_TRUE(GetMonitorInfoW(left, &info));
    EXPECT_EQ(info.rcMonitor.left, -1280);
    EXPECT_EQ(info.rcMonitor.top, 56);
    EXPECT_EQ(info.dwFlags, 0u);
    ASSERT_TRUE(GetMonitorInfoW(primary, &info));
    EXPECT_EQ(info.dwFlags, static_cast<DWORD>(MONITORINFOF_PRIMARY));
    EXPECT_EQ(info.rcWork.bottom, 1040);
    EXPECT_FALSE(GetMonitorInfoW(reinterpret_cast<HMONITOR>(7), &info));

    std::vector<std::pair<HMONITOR, RECT>> seen;
    EXPECT_TRUE(EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&seen)));
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, primary);
    EXPECT_EQ(seen[1].second.left, -1280);
    seen.clear();
    RECT clip{-100, 0, 0, 100};
    EnumDisplayMonitors(nullptr, &clip, Collect, reinterpret_cast<LPARAM>(&seen));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].first, left);
    EXPECT_EQ(seen[0].second.left, -100);  // the part inside the clip

    // Back to one monitor: the virtual screen.
    quiva::ui::SetMonitors({});
    quiva::ui::SetVirtualScreen(RECT{0, 0, 1024, 768}, RECT{0, 0, 1024, 740});
    seen.clear();
    EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&seen));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].second.right, 1024);
}
