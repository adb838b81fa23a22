// Whole dialog templates: caption, font and controls laid out in the font's dialog units; the
// static control; the system colours.
#include "platform/gdi/gdi.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/buttons.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/dialog.h"
#include "platform/ui/staticcontrol.h"
#include "platform/ui/syscolor.h"
#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;
using quiva::ui::DialogItem;
using quiva::ui::DialogTemplate;

namespace {

const DialogItem kItems[] = {
    {{SS_LEFT, 0, 10, 10, 100, 8, 100}, WC_STATICW, L"이름"},
    {{BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 60, 40, 50, 14, IDOK}, WC_BUTTONW, L"확인"},
    {{SS_ICON, 0, 10, 30, 21, 20, 101}, WC_STATICW, L"#10001"},
};

const DialogTemplate kTemplate = {
    {WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, 3, 20, 10, 120, 60},
    L"대화상자",
    9,
    L"MS Shell Dlg",
    kItems,
};

const DialogItem kBoxItems[] = {{{BS_AUTOCHECKBOX, 0, 5, 5, 60, 10, 7}, WC_BUTTONW, L"켜기"}};
const DialogTemplate kBox = {{WS_POPUP | DS_SETFONT, 0, 1, 0, 0, 100, 40}, L"", 9, L"MS Shell Dlg", kBoxItems};

INT_PTR CALLBACK QuietProc(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

class DialogTemplates : public UiTest {};

}  // namespace

TEST_F(DialogTemplates, AWholeTemplateMakesItsControlsInDialogUnitsOfItsFont)
{
    const SIZE units = quiva::ui::FontBaseUnits(L"MS Shell Dlg", 9);
    EXPECT_GT(units.cx, 4);
    EXPECT_GT(units.cy, 10);
    // A larger font makes larger units.
    EXPECT_GT(quiva::ui::FontBaseUnits(L"MS Shell Dlg", 18).cy, units.cy);

    HWND dlg = CreateDialogIndirectParamW(nullptr, &kTemplate.t, nullptr, QuietProc, 0);
    ASSERT_NE(dlg, nullptr);
    created.push_back(dlg);
    wchar_t text[64] = {};
    GetWindowTextW(dlg, text, 64);
    EXPECT_STREQ(text, L"대화상자");

    // The client area is the template's size in units; the window is placed in units too.
    RECT client{}, window{};
    GetClientRect(dlg, &client);
    GetWindowRect(dlg, &window);
    EXPECT_NEAR(client.right, 120 * units.cx / 4, 1);
    EXPECT_NEAR(client.bottom, 60 * units.cy / 8, 1);
    EXPECT_NEAR(window.left, 20 * units.cx / 4, 1);

    RECT button{60, 40, 110, 54};
    ASSERT_TRUE(MapDialogRect(dlg, &button));
    HWND ok = GetDlgItem(dlg, IDOK);
    ASSERT_NE(ok, nullptr);
    RECT actual{};
    GetWindowRect(ok, &actual);
    MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&actual), 2);
    EXPECT_EQ(actual.left, button.left);
    EXPECT_EQ(actual.top, button.top);
    EXPECT_EQ(actual.right, button.right);
    EXPECT_EQ(actual.bottom, button.bottom);
    GetWindowTextW(ok, text, 64);
    EXPECT_STREQ(text, L"확인");
    EXPECT_TRUE(GetWindowLongW(ok, GWL_STYLE) & WS_VISIBLE);

    // The icon static loaded its icon resource.
    EXPECT_NE(SendMessageW(GetDlgItem(dlg, 101), STM_GETICON, 0, 0), 0);
    // A window that is no dialog has no units.
    RECT r{0, 0, 4, 8};
    EXPECT_FALSE(MapDialogRect(Top(0, 0, 10, 10), &r));
}

TEST_F(DialogTemplates, ABareTemplateKeepsPixelUnits)
{
    DLGTEMPLATE bare{WS_POPUP, 0, 0, 5, 6, 200, 100};
    HWND dlg = CreateDialogIndirectParamW(nullptr, &bare, nullptr, QuietProc, 0);
    ASSERT_NE(dlg, nullptr);
    created.push_back(dlg);
    RECT w{};
    GetWindowRect(dlg, &w);
    EXPECT_EQ(w.right - w.left, 200);
    EXPECT_EQ(w.bottom - w.top, 100);
    RECT r{1, 2, 30, 40};
    ASSERT_TRUE(MapDialogRect(dlg, &r));
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.bottom, 40);
}

TEST_F(DialogTemplates, UpdateDataMovesACheckBoxStateBothWays)
{
    struct Dlg : CDialog {
        Dlg() { InitModalIndirect(&kBox.t); }
        BOOL OnInitDialog() override
        {
            checked = 1;
            UpdateData(FALSE);
            seenAfterSet = SendMessageW(GetDlgItem(7), BM_GETCHECK, 0, 0) == BST_CHECKED;
            SendMessageW(GetDlgItem(7), BM_SETCHECK, BST_UNCHECKED, 0);
            UpdateData(TRUE);
            EndDialog(IDOK);
            return TRUE;
        }
        void DoDataExchange(CDataExchange* dx) override { DDX_Check(dx, 7, checked); }
        int checked = 0;
        bool seenAfterSet = false;
    } dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(dlg.seenAfterSet);
    EXPECT_EQ(dlg.checked, 0);
}

TEST_F(DialogTemplates, StaticTextIsDrawnOnTheDialogFaceAndKeepsAnIconGivenToIt)
{
    HWND parent = Top(0, 0, 300, 100);
    HWND label = CreateWindowExW(0, WC_STATICW, L"ABC", WS_CHILD | WS_VISIBLE | SS_LEFT, 10, 10, 200, 30, parent,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(label, nullptr);
    quiva::ui::PumpPending();
    UpdateWindow(label);
    quiva::Surface* s = quiva::ui::WindowSurface(parent);
    const POINT o = quiva::ui::ClientOriginInSurface(label);
    EXPECT_EQ(s->At(o.x + 190, o.y + 25) & 0xFFFFFF, GetSysColor(COLOR_BTNFACE) & 0xFFFFFF);
    bool ink = false;
    for (int x = 0; x < 40 && !ink; ++x)
        for (int y = 0; y < 20 && !ink; ++y)
            ink = (s->At(o.x + x, o.y + y) & 0xFF) < 0x40;
    EXPECT_TRUE(ink);

    HWND iconic = CreateWindowExW(0, WC_STATICW, L"", WS_CHILD | WS_VISIBLE | SS_ICON, 10, 50, 32, 32, parent,
                                  nullptr, nullptr, nullptr);
    HICON icon = LoadIconW(GetModuleHandleW(L"QUIVA.Capture.dll"), MAKEINTRESOURCEW(10001));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(SendMessageW(iconic, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0), 0);
    EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(iconic, STM_GETICON, 0, 0)), icon);
    DestroyWindow(iconic);
    // Not destroyed with the control: the icon was the caller's.
    EXPECT_TRUE(DestroyIcon(icon));
}

TEST(SystemColours, EachElementHasItsColourAndALastingBrush)
{
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(0xF0, 0xF0, 0xF0));
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(0xFF, 0xFF, 0xFF));
    EXPECT_EQ(GetSysColor(-1), 0u);
    EXPECT_EQ(GetSysColorBrush(25), nullptr);
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    ASSERT_NE(face, nullptr);
    EXPECT_EQ(face, GetSysColorBrush(COLOR_3DFACE));
    DeleteObject(face);  // the system's brush stays usable
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bmp = CreateCompatibleBitmap(dc, 4, 4);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 4, 4};
    EXPECT_TRUE(FillRect(dc, &all, face));
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0xF0, 0xF0, 0xF0));
    SelectObject(dc, old);
    DeleteObject(bmp);
    DeleteDC(dc);

    INITCOMMONCONTROLSEX init{sizeof(INITCOMMONCONTROLSEX), ICC_TREEVIEW_CLASSES | ICC_STANDARD_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&init));
    WNDCLASSW wc{};
    EXPECT_TRUE(GetClassInfoW(nullptr, WC_TREEVIEWW, &wc));
    EXPECT_TRUE(GetClassInfoW(nullptr, WC_STATICW, &wc));
    EXPECT_FALSE(InitCommonControlsEx(nullptr));
}
