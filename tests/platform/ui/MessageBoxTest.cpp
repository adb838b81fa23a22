#include "platform/ui/msgbox.h"

#include "platform/ui/buttons.h"
#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;

namespace {

using MessageBox = UiTest;

// Where the button `id` of the box now up is, in screen coordinates (for clicks queued from
// inside the box's own loop).
POINT ButtonCentre(HWND box, int id)
{
    RECT r{};
    GetWindowRect(GetDlgItem(box, id), &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

}  // namespace

TEST_F(MessageBox, EnterAndEscapeAnswerWithTheDefaultAndCancelButtons)
{
    HWND owner = Top(0, 0, 800, 600);
    quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    EXPECT_EQ(MessageBoxW(owner, L"Saved.", L"Device manager", MB_OK | MB_ICONINFORMATION), IDOK);
    EXPECT_TRUE(IsWindowEnabled(owner));

    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    EXPECT_EQ(MessageBoxW(owner, L"Saved.", nullptr, MB_OK), IDOK);

    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    EXPECT_EQ(MessageBoxW(owner, L"Delete it?", nullptr, MB_YESNOCANCEL | MB_ICONQUESTION), IDCANCEL);

    quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    EXPECT_EQ(MessageBoxW(owner, L"Delete it?", nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);

    // Escape means nothing where there is no Cancel button; the box waits for a real answer.
    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    quiva::ui::InjectKeyStroke(VK_TAB);
    quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    EXPECT_EQ(MessageBoxW(owner, L"Delete it?", nullptr, MB_YESNO), IDNO);
}

TEST_F(MessageBox, AClickOnAButtonAnswersWithItsIdAndClosingCancels)
{
    HWND owner = Top(0, 0, 800, 600);
    int shown = 0;
    // The owner hears the box being set up (activation changes); the click is queued once the
    // box stands, so it lands on the box's own button.
    handlers[WM_ENABLE] = [&](HWND hwnd, WPARAM wParam, LPARAM, bool*) -> LRESULT {
        if (hwnd != owner || wParam)
            return 0;
        ++shown;
        return 0;
    };
    HWND seen = nullptr;
    SetTimer(owner, 1, 1, nullptr);
    handlers[WM_TIMER] = [&](HWND, WPARAM, LPARAM, bool*) -> LRESULT {
        HWND box = GetActiveWindow();
        if (box == owner || seen)
            return 0;
        seen = box;
        POINT p = ButtonCentre(box, IDCANCEL);
        quiva::ui::InjectClick(p.x, p.y);
        return 0;
    };
    EXPECT_EQ(MessageBoxW(owner, L"Retry the transfer?", L"PACS", MB_RETRYCANCEL | MB_ICONWARNING), IDCANCEL);
    EXPECT_EQ(shown, 1);
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
    KillTimer(owner, 1);

    // Closed from its caption: counted as Cancel.
    seen = nullptr;
    handlers[WM_TIMER] = [&](HWND, WPARAM, LPARAM, bool*) -> LRESULT {
        HWND box = GetActiveWindow();
        if (box == owner || seen)
            return 0;
        seen = box;
        PostMessageW(box, WM_CLOSE, 0, 0);
        return 0;
    };
    SetTimer(owner, 1, 1, nullptr);
    EXPECT_EQ(MessageBoxW(owner, L"Retry?", nullptr, MB_OKCANCEL), IDCANCEL);
    KillTimer(owner, 1);
}
