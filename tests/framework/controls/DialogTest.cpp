#include <filesystem>

#include "framework/CKXCtrlComboBox.h"
#include "framework/CKXCtrlSlider.h"
#include "framework/CKXCtrlWndTab.h"
#include "framework/CKXFixDialog.h"
#include "framework/CKXMsgBox.h"
#include "platform/base/resources.h"
#include "tests/support/framework/ControlTestSupport.h"
#include "tests/framework/ui/InProcessWindowSupport.h"

using namespace quiva::test;
using Gdiplus::RectF;

namespace {

class DialogTest : public HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        SetCursorPos(960, 540);
    }
    void TearDown() override
    {
        CKXMsgBox::measurer = nullptr;
        HostTest::TearDown();
    }
};

// Runs `script` once the dialog window stands, before its modal loop takes input.
template <class Base>
class Scripted : public Base {
public:
    using Base::Base;
    std::function<void(Scripted&)> onInit;
    std::vector<int> dialogButtons;
    BOOL OnInitDialog() override
    {
        const BOOL r = Base::OnInitDialog();
        if (onInit)
            onInit(*this);
        return r;
    }
    void OnDialogButtonSeen(int id) { dialogButtons.push_back(id); }
    // Queues a click at a client point of the dialog.
    void ClickClient(float x, float y)
    {
        POINT p{static_cast<int>(x), static_cast<int>(y)};
        ::ClientToScreen(this->m_hWnd, &p);
        quiva::ui::InjectMouseMove(p.x, p.y);
        quiva::ui::InjectClick(p.x, p.y);
        quiva::ui::InjectPause(1000);
    }
    // Client point of the centre of a button (button coordinates are below the caption for the
    // message box, dialog coordinates for the fixed dialog).
    void ClickButton(CKXCtrlButton* b, float captionOffset)
    {
        ClickClient(b->x + b->width / 2, b->y + b->height / 2 + captionOffset);
    }
    void ClickExit() { ClickClient(this->captionBar.exitRect.X + 4, this->captionBar.exitRect.Y + 4); }
    void WritePicture(const std::string& name)
    {
        ::UpdateWindow(this->m_hWnd);
        quiva::ui::PumpPending();
        EXPECT_TRUE(quiva::ui::WriteWindowPng(this->m_hWnd, ReferencePictureDir() + "/" + name));
    }
};

class RecordingFixDialog : public Scripted<CKXFixDialog> {
public:
    void OnDialogButton(int id) override { OnDialogButtonSeen(id); }
};

std::wstring Caption(int id)
{
    wchar_t buffer[32] = {};
    LoadStringW(GetModuleHandleW(L"QUIVA.Capture.DLL"), static_cast<UINT>(id), buffer, 32);
    return buffer;
}

}  // namespace

TEST_F(DialogTest, SizesFallBackToTheDefaultsAndContentPages)
{
    CKXBaseDialog base(WS_POPUP | WS_VISIBLE, 0);
    base.SetDialogSize(0, 0);
    EXPECT_EQ(base.width, 320);
    EXPECT_EQ(base.height, 240);

    // No content page: the defaults, never a null page.
    CKXFixBaseDialog noPage;
    noPage.SetDialogSize(0, 0);
    EXPECT_EQ(noPage.width, 320);
    EXPECT_EQ(noPage.height, 240);

    CKXFixBaseDialog withPage;
    CKXCtrlWnd page;
    CKXCtrlEdit edit;
    edit.Create(1, 10, 20, 100, 30);
    page.AddControl(&edit);
    withPage.contentPage = &page;
    withPage.SetDialogSize(0, 0);
    EXPECT_EQ(withPage.width, 130);
    EXPECT_EQ(withPage.height, 90 + static_cast<int>(withPage.captionBar.height));
}

TEST_F(DialogTest, CentredByHalvesOnTheMonitorUnderTheCursor)
{
    quiva::ui::SetVirtualScreen(RECT{0, 0, 1921, 1080}, RECT{0, 0, 1921, 1040});
    Scripted<CKXBaseDialog> dialog(WS_POPUP | WS_VISIBLE, 0);
    dialog.onInit = [](Scripted<CKXBaseDialog>& d) { d.EndDialog(IDOK); };
    EXPECT_EQ(dialog.CenterOnCursorMonitor(), IDOK);
    EXPECT_EQ(dialog.posX, 800);
    EXPECT_EQ(dialog.posY, 540 - 120);
}

TEST_F(DialogTest, FixDialogButtonsEndItOnlyWhenPressAndReleaseMeet)
{
    RecordingFixDialog dialog;
    dialog.width = 400;
    dialog.height = 300;
    dialog.AddButton(IDYES);
    dialog.AddButton(IDCLOSE);
    EXPECT_EQ(dialog.buttons[1]->caption.str(), Caption(IDCLOSE));
    dialog.onInit = [](Scripted<CKXFixDialog>& d) {
        EXPECT_FLOAT_EQ(d.buttons[1]->x, 400 - 100 - 15);
        EXPECT_FLOAT_EQ(d.buttons[1]->y, 300 - 40);
        EXPECT_FLOAT_EQ(d.buttons[0]->x, 400 - 210 - 15);
        // Enter, Tab and a press on one button released on the other end nothing (Escape
        // cancels the dialog: X11EndToEnd's dialog test).
        quiva::ui::InjectKeyStroke(VK_RETURN);
        quiva::ui::InjectKeyStroke(VK_TAB);
        POINT a{static_cast<int>(d.buttons[0]->x + 50), static_cast<int>(d.buttons[0]->y + 12)};
        POINT b{static_cast<int>(d.buttons[1]->x + 50), static_cast<int>(d.buttons[1]->y + 12)};
        ::ClientToScreen(d.m_hWnd, &a);
        ::ClientToScreen(d.m_hWnd, &b);
        quiva::ui::InjectMouseMove(a.x, a.y);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, a.x, a.y);
        quiva::ui::InjectMouseMove(b.x, b.y);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, b.x, b.y);
        quiva::ui::InjectPause(1000);
        d.ClickButton(d.buttons[1], 0);
    };
    EXPECT_EQ(dialog.CenterOnCursorMonitor(), IDCLOSE);
    EXPECT_EQ(dialog.dialogButtons, std::vector<int>{IDCLOSE});
}

TEST_F(DialogTest, ExitButtonCancelsAndCloseOnKeyTakesAnyKey)
{
    Scripted<CKXFixDialog> exit;
    exit.AddButton(IDCLOSE);
    exit.onInit = [](Scripted<CKXFixDialog>& d) { d.ClickExit(); };
    EXPECT_EQ(exit.CenterOnCursorMonitor(), IDCANCEL);

    Scripted<CKXFixDialog> anyKey;
    anyKey.closeOnKey = 1;
    anyKey.onInit = [](Scripted<CKXFixDialog>&) { quiva::ui::InjectKeyStroke('Q'); };
    EXPECT_EQ(anyKey.CenterOnCursorMonitor(), IDCANCEL);
}

TEST_F(DialogTest, MessageBoxButtonsByType)
{
    EXPECT_EQ(CKXMsgBox::ButtonsOfType(0), std::vector<int>{IDOK});
    EXPECT_EQ(CKXMsgBox::ButtonsOfType(2), (std::vector<int>{IDABORT, IDRETRY, IDIGNORE}));
    EXPECT_EQ(CKXMsgBox::ButtonsOfType(3), (std::vector<int>{IDYES, IDNO, IDCANCEL}));
    EXPECT_EQ(CKXMsgBox::ButtonsOfType(5), (std::vector<int>{IDRETRY, IDCANCEL}));
    EXPECT_EQ(CKXMsgBox::ButtonsOfType(17), std::vector<int>{IDCLOSE});
    EXPECT_EQ(CKXMsgBox::ButtonsOfType(-1), std::vector<int>{IDCLOSE});
    EXPECT_EQ(Caption(IDYES), L"예");
    EXPECT_EQ(Caption(IDNO), L"아니오");
}

TEST_F(DialogTest, MessageBoxSizeAndButtonRow)
{
    CKXMsgBox::measurer = [](const CString&) { return RectF(0, 0, 350, 20); };
    Scripted<CKXMsgBox> box;
    box.onInit = [](Scripted<CKXMsgBox>& d) {
        EXPECT_EQ(d.width, 450);
        EXPECT_EQ(d.height, static_cast<int>(20 + d.captionBar.height + 110));
        EXPECT_FLOAT_EQ(d.buttons[0]->x, 65.0f);
        EXPECT_FLOAT_EQ(d.buttons[0]->y, d.height - 45.0f - d.captionBar.height);
        d.WritePicture("msgbox.png");
        d.ClickButton(d.buttons[1], d.captionBar.height);
    };
    EXPECT_EQ(box.Show(L"데이터베이스 연결에 문제가 있습니다.", L"확인", 3), IDNO);

    Scripted<CKXMsgBox> empty;
    empty.onInit = [](Scripted<CKXMsgBox>& d) {
        EXPECT_EQ(d.width, 200);
        EXPECT_EQ(d.height, static_cast<int>(d.captionBar.height + 110));
        d.ClickExit();
    };
    EXPECT_EQ(empty.Show(L"", L"", 0), IDCANCEL);
}

TEST_F(DialogTest, MessageBoxEscapeCancelsAndPressesMustMeet)
{
    Scripted<CKXMsgBox> box;
    box.onInit = [](Scripted<CKXMsgBox>& d) {
        // Press on Yes, release on No: the box stays.
        const float o = d.captionBar.height;
        POINT a{static_cast<int>(d.buttons[0]->x + 50), static_cast<int>(d.buttons[0]->y + 12 + o)};
        POINT b{static_cast<int>(d.buttons[1]->x + 50), static_cast<int>(d.buttons[1]->y + 12 + o)};
        ::ClientToScreen(d.m_hWnd, &a);
        ::ClientToScreen(d.m_hWnd, &b);
        quiva::ui::InjectMouseMove(a.x, a.y);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, a.x, a.y);
        quiva::ui::InjectMouseMove(b.x, b.y);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, b.x, b.y);
        quiva::ui::InjectPause(1000);
        // Text area drags the window; a button does not.
        POINT text{d.width / 2, static_cast<int>(o) + 20};
        ::ClientToScreen(d.m_hWnd, &text);
        EXPECT_EQ(::SendMessageW(d.m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(text.x, text.y)), HTCAPTION);
        EXPECT_NE(::SendMessageW(d.m_hWnd, WM_NCHITTEST, 0, MAKELPARAM(a.x, a.y)), HTCAPTION);
        quiva::ui::InjectKeyStroke(VK_ESCAPE);
    };
    EXPECT_EQ(box.Show(L"저장할 폴더가 존재하지 않습니다.", L"", 4), IDCANCEL);
}

// Enter presses the marked button: a question starts on the answer that changes nothing, Tab and
// the arrow keys move the mark round the row; Space (the capture key) answers nothing.
TEST_F(DialogTest, MessageBoxEnterPressesTheButtonTabAndTheArrowsMark)
{
    Scripted<CKXMsgBox> no;
    no.onInit = [](Scripted<CKXMsgBox>&) {
        quiva::ui::InjectKeyStroke(VK_SPACE, L' ');
        quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    };
    EXPECT_EQ(no.Show(L"검사이름[CT]을 삭제하시겠습니까?", L"", 4), IDNO);

    Scripted<CKXMsgBox> yes;
    yes.onInit = [](Scripted<CKXMsgBox>&) {
        quiva::ui::InjectKeyStroke(VK_TAB, L'\t');
        quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    };
    EXPECT_EQ(yes.Show(L"검사이름[CT]을 삭제하시겠습니까?", L"", 4), IDYES);

    Scripted<CKXMsgBox> round;
    round.onInit = [](Scripted<CKXMsgBox>&) {
        // From 취소 round to 예 and on to 아니오, then back round past 예 and 취소 to 아니오.
        quiva::ui::InjectKeyStroke(VK_RIGHT);
        quiva::ui::InjectKeyStroke(VK_RIGHT);
        quiva::ui::InjectKeyStroke(VK_LEFT);
        quiva::ui::InjectKeyStroke(VK_LEFT);
        quiva::ui::InjectKeyStroke(VK_LEFT);
        quiva::ui::InjectKeyStroke(VK_RETURN, L'\r');
    };
    EXPECT_EQ(round.Show(L"", L"", 3), IDNO);

    Scripted<CKXMsgBox> one;
    one.onInit = [](Scripted<CKXMsgBox>&) { quiva::ui::InjectKeyStroke(VK_RETURN, L'\r'); };
    EXPECT_EQ(one.Show(L"", L"", 0), IDOK);
}

TEST_F(DialogTest, DialogWithControlsIsRendered)
{
    FixedMeasurer measure(7.0f, 16.0f);
    class Panel : public CKXCtrlWnd {
    public:
        Panel()
        {
            edit.Create(1, 20, 20, 200, 24);
            edit.SetCueText(L"검사이름입력");
            combo.Create(2, 20, 60, 200, 24);
            combo.AddItem(L"위내시경", 0);
            combo.SetCurSel(0);
            slider.Create(3, 20, 100, 260, 24);
            slider.SetRange(0, 100);
            slider.integerValues = 1;
            slider.SetValue(75);
            list.Create(4, 20, 140, 200, 100);
            for (const wchar_t* s : {L"대장내시경", L"위내시경", L"초음파", L"기관지내시경", L"복강경"})
                list.AddItem(s, 0);
            list.UpdateScrollBar();
            list.SelectString(L"초음파");
            AddControl(&edit);
            AddControl(&combo);
            AddControl(&slider);
            AddControl(&list);
        }
        CKXCtrlEdit edit;
        CKXCtrlComboBox combo;
        CKXCtrlSlider slider;
        CKXCtrlListBox list;
    } panel;
    Scripted<CKXFixDialog> dialog;
    dialog.contentPage = &panel;
    dialog.host.SetRootControl(&panel);
    dialog.width = 400;
    dialog.height = 370;
    dialog.SetCaption(L"검사이름");
    dialog.AddButton(IDCLOSE);
    dialog.onInit = [](Scripted<CKXFixDialog>& d) {
        ::UpdateWindow(d.host.m_hWnd);
        d.WritePicture("dialog.png");
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dialog.CenterOnCursorMonitor(), IDOK);
    EXPECT_TRUE(std::filesystem::file_size(ReferencePictureDir() + "/dialog.png") > 1000);
}
