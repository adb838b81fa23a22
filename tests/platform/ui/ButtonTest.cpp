#include "platform/ui/buttons.h"

#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;

namespace {

class Buttons : public UiTest {
protected:
    // A button at (20, 20) 100x30 inside a 400x300 popup at the screen origin.
    HWND Make(DWORD kind, int id = 7)
    {
        parent = Top(0, 0, 400, 300);
        HWND b = CreateWindowExW(0, L"BUTTON", L"Apply", WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind, 20, 20, 100, 30,
                                 parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        quiva::ui::PumpPending();
        Clear();
        return b;
    }
    std::vector<Recorded> Clicks() const
    {
        std::vector<Recorded> out;
        for (const auto& r : Of(parent, WM_COMMAND))
            if (HIWORD(r.wParam) == BN_CLICKED)
                out.push_back(r);
        return out;
    }
    void Press(int x, int y, int releaseX, int releaseY)
    {
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, x, y);
        quiva::ui::InjectMouseMove(releaseX, releaseY);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, releaseX, releaseY);
        quiva::ui::PumpPending();
    }
    HWND parent = nullptr;
};

}  // namespace

TEST_F(Buttons, PushButtonClickNotifiesTheParentOnceWithItsIdAndHandle)
{
    HWND b = Make(BS_PUSHBUTTON, 42);
    ASSERT_NE(b, nullptr);
    quiva::ui::InjectClick(60, 35);
    quiva::ui::PumpPending();
    auto clicks = Clicks();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(LOWORD(clicks[0].wParam), 42);
    EXPECT_EQ(reinterpret_cast<HWND>(clicks[0].lParam), b);
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(SendMessageW(b, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);

    // Pressed on the button but released outside it: no click, nothing left pressed.
    Clear();
    Press(60, 35, 300, 200);
    EXPECT_TRUE(Clicks().empty());
    EXPECT_EQ(SendMessageW(b, BM_GETSTATE, 0, 0) & BST_PUSHED, 0);
    EXPECT_EQ(GetCapture(), nullptr);

    // Pressed outside and released on it: no click either.
    Press(300, 200, 60, 35);
    EXPECT_TRUE(Clicks().empty());

    // Space on the focused button clicks it; a push button never becomes checked.
    SetFocus(b);
    quiva::ui::InjectKeyStroke(VK_SPACE, L' ');
    quiva::ui::PumpPending();
    EXPECT_EQ(Clicks().size(), 1u);
    EXPECT_EQ(SendMessageW(b, BM_SETCHECK, BST_CHECKED, 0), 0);
    EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
}

TEST_F(Buttons, AutoCheckBoxTogglesBeforeTheParentHearsOfIt)
{
    HWND b = Make(BS_AUTOCHECKBOX);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);
    LRESULT seen = -1;
    handlers[WM_COMMAND] = [&](HWND, WPARAM, LPARAM lParam, bool*) -> LRESULT {
        seen = SendMessageW(reinterpret_cast<HWND>(lParam), BM_GETCHECK, 0, 0);
        return 0;
    };
    quiva::ui::InjectClick(30, 35);
    quiva::ui::PumpPending();
    EXPECT_EQ(seen, BST_CHECKED);
    EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_CHECKED);

    SetFocus(b);
    quiva::ui::InjectKeyStroke(VK_SPACE, L' ');
    quiva::ui::PumpPending();
    EXPECT_EQ(seen, BST_UNCHECKED);
    EXPECT_EQ(Clicks().size(), 2u);

    // Set by the program: no notification.
    SendMessageW(b, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Clicks().size(), 2u);
}

TEST_F(Buttons, PlainCheckBoxLeavesItsStateToTheProgramAndDisabledButtonsStayQuiet)
{
    HWND b = Make(BS_CHECKBOX);
    ASSERT_NE(b, nullptr);
    quiva::ui::InjectClick(30, 35);
    quiva::ui::PumpPending();
    EXPECT_EQ(Clicks().size(), 1u);
    EXPECT_EQ(SendMessageW(b, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    EnableWindow(b, FALSE);
    SendMessageW(b, BM_CLICK, 0, 0);
    quiva::ui::InjectClick(30, 35);
    quiva::ui::PumpPending();
    EXPECT_EQ(Clicks().size(), 1u);

    // The class name is matched without regard to case, as for every class.
    HWND other = CreateWindowExW(0, L"button", L"", WS_CHILD | BS_PUSHBUTTON, 0, 0, 10, 10, parent, nullptr,
                                 nullptr, nullptr);
    EXPECT_NE(other, nullptr);
}
