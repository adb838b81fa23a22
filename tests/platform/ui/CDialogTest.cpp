#include "platform/ui/CDialog.h"

#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;

namespace {
using DialogObject = UiTest;

class ClickDialog : public CDialog {
public:
    explicit ClickDialog(CWnd* parent = nullptr)
    {
        tmpl.style = WS_POPUP | WS_VISIBLE;
        tmpl.x = 100;
        tmpl.y = 100;
        tmpl.cx = 300;
        tmpl.cy = 200;
        InitModalIndirect(&tmpl, parent);
    }
    BOOL OnInitDialog() override
    {
        inits++;
        if (endAtInit)
            EndDialog(IDABORT);
        if (withChild)
            child = ::CreateWindowExW(0, L"QuivaTestWnd", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, m_hWnd, nullptr,
                                      nullptr, nullptr);
        return TRUE;
    }
    BOOL PreTranslateMessage(MSG* msg) override
    {
        if (msg->message == WM_CHAR)
            chars.push_back({msg->hwnd, static_cast<wchar_t>(msg->wParam)});
        return CDialog::PreTranslateMessage(msg);
    }
    void OnLButtonUp(UINT, CPoint point) override
    {
        ownerEnabled = owner ? ::IsWindowEnabled(owner) : TRUE;
        EndDialog(point.x);
    }

    DLGTEMPLATE tmpl{};
    int inits = 0;
    bool endAtInit = false;
    bool withChild = false;
    HWND child = nullptr;
    HWND owner = nullptr;
    BOOL ownerEnabled = TRUE;
    std::vector<std::pair<HWND, wchar_t>> chars;
};
}  // namespace

TEST_F(DialogObject, RunsModallyWithItsOwnerDisabledAndReturnsTheEndCode)
{
    HWND ownerWnd = Top(0, 0, 800, 600);
    CWnd* owner = CWnd::FromHandle(ownerWnd);
    ClickDialog dialog(owner);
    dialog.owner = ownerWnd;
    quiva::ui::InjectClick(142, 150);  // client x 42
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_FALSE(dialog.ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(ownerWnd));
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(DialogObject, EnterAndEscapeEndItAndTheChainSeesChildMessages)
{
    ClickDialog escape;
    escape.withChild = true;
    quiva::ui::InjectKeyStroke('A', L'a');
    quiva::ui::InjectKeyStroke(VK_ESCAPE);
    EXPECT_EQ(escape.DoModal(), IDCANCEL);
    // The character typed into the child reached the dialog's filter on its way.
    ASSERT_FALSE(escape.chars.empty());
    EXPECT_EQ(escape.chars.front().second, L'a');

    ClickDialog enter;
    quiva::ui::InjectKeyStroke(VK_RETURN);
    EXPECT_EQ(enter.DoModal(), IDOK);
}

TEST_F(DialogObject, EndedDuringInitAndWithoutTemplate)
{
    ClickDialog early;
    early.endAtInit = true;
    EXPECT_EQ(early.DoModal(), IDABORT);
    EXPECT_EQ(early.m_hWnd, nullptr);

    CDialog none;
    EXPECT_EQ(none.DoModal(), -1);
}
