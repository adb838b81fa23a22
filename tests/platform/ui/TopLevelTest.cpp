// Top-level windows: enumeration, and the minimum tracking size a program's own sizing keeps.
#include "platform/base/lasterror.h"
#include "platform/gdi/Surface.h"
#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;

namespace {
using TopLevel = UiTest;

BOOL CALLBACK Collect(HWND hwnd, LPARAM lp)
{
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return TRUE;
}
BOOL CALLBACK StopAtFirst(HWND hwnd, LPARAM lp)
{
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
    return FALSE;
}
}  // namespace

TEST_F(TopLevel, EnumWindowsListsTopLevelsFrontFirstUntilTold)
{
    HWND a = Top(0, 0, 100, 100);
    HWND b = Top(10, 10, 100, 100);
    Child(b, 0, 0, 10, 10);
    std::vector<HWND> seen;
    EXPECT_TRUE(EnumWindows(Collect, reinterpret_cast<LPARAM>(&seen)));
    ASSERT_GE(seen.size(), 2u);
    auto ia = std::find(seen.begin(), seen.end(), a), ib = std::find(seen.begin(), seen.end(), b);
    ASSERT_NE(ia, seen.end());
    ASSERT_NE(ib, seen.end());
    EXPECT_LT(ib, ia);  // the newer window is in front
    EXPECT_EQ(seen.size(), 2u);  // children are not top-level
    seen.clear();
    EnumWindows(StopAtFirst, reinterpret_cast<LPARAM>(&seen));
    EXPECT_EQ(seen.size(), 1u);
    EXPECT_FALSE(EnumWindows(nullptr, 0));
}

TEST_F(TopLevel, SizingAThickFrameWindowKeepsItsMinimumTrackingSize)
{
    handlers[WM_GETMINMAXINFO] = [](HWND, WPARAM, LPARAM lp, bool* handled) -> LRESULT {
        reinterpret_cast<MINMAXINFO*>(lp)->ptMinTrackSize = POINT{800, 600};
        *handled = true;
        return 0;
    };
    HWND sizable = Top(0, 0, 900, 700, WS_POPUP | WS_THICKFRAME | WS_VISIBLE);
    SetWindowPos(sizable, HWND_TOPMOST, 50, 60, 0, 0, SWP_SHOWWINDOW);  // a saved 0 x 0 rectangle
    RECT r;
    GetWindowRect(sizable, &r);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);
    MoveWindow(sizable, 0, 0, 1000, 300, TRUE);
    GetWindowRect(sizable, &r);
    EXPECT_EQ(r.right - r.left, 1000);
    EXPECT_EQ(r.bottom - r.top, 600);
    // Without a sizing border the program's size stands.
    HWND fixed = Top(0, 0, 900, 700);
    MoveWindow(fixed, 0, 0, 100, 50, TRUE);
    GetWindowRect(fixed, &r);
    EXPECT_EQ(r.right - r.left, 100);
}

// A top-level window whose surface cannot be had, or whose far edge lies beyond the coordinates,
// is refused with an error; a window asked to grow so is left as it was.
TEST_F(TopLevel, ASizeNoSurfaceCanHaveIsRefusedWithAnError)
{
    for (int side : {100000, 2147483647}) {
        SetLastError(0);
        EXPECT_EQ(Top(0, 0, side, side), nullptr) << side;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << side;
    }
    SetLastError(0);
    EXPECT_EQ(Top(2147483000, 0, 800, 600), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    HWND shown = Top(10, 20, 800, 600);
    ASSERT_NE(shown, nullptr);
    HWND child = Child(shown, 0, 0, 10, 10);
    SetLastError(0);
    EXPECT_FALSE(MoveWindow(shown, 10, 20, 100000, 100000, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(SetWindowPos(shown, nullptr, 2147483000, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER));
    EXPECT_FALSE(MoveWindow(child, 1, 0, 2147483647, 10, TRUE));
    RECT r;
    GetWindowRect(shown, &r);
    EXPECT_EQ(r.left, 10);
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.right - r.left, 800);
    EXPECT_EQ(r.bottom - r.top, 600);
    EXPECT_EQ(quiva::ui::WindowSurface(shown)->Width(), 800);
}
