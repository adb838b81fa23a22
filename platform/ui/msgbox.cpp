#include "platform/ui/msgbox.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"
#include "platform/ui/buttons.h"
#include "platform/ui/controlpaint.h"
#include "platform/ui/uisystem.h"

namespace {

constexpr int kMargin = 16;
constexpr int kIcon = 32;
constexpr int kButtonW = 88;
constexpr int kButtonH = 26;
constexpr int kButtonGap = 8;
constexpr int kTextWidth = 360;

struct Box {
    std::wstring text;
    UINT type = 0;
    std::vector<int> ids;  // buttons, left to right
    int defaultId = IDOK;
    int cancelId = 0;  // 0: Escape and closing are ignored
    RECT textRect{};
    RECT iconRect{};
    int titleBand = 0;  // the title shown at the top, where the display shows none
};

const wchar_t* ButtonText(int id)
{
    switch (id) {
    case IDOK: return L"확인";
    case IDCANCEL: return L"취소";
    case IDABORT: return L"중단";
    case IDRETRY: return L"다시 시도";
    case IDIGNORE: return L"무시";
    case IDYES: return L"예";
    case IDNO: return L"아니요";
    default: return L"";
    }
}

void ChooseButtons(Box& box)
{
    switch (box.type & MB_TYPEMASK) {
    case MB_OKCANCEL: box.ids = {IDOK, IDCANCEL}; box.cancelId = IDCANCEL; break;
    case MB_ABORTRETRYIGNORE: box.ids = {IDABORT, IDRETRY, IDIGNORE}; break;
    case MB_YESNOCANCEL: box.ids = {IDYES, IDNO, IDCANCEL}; box.cancelId = IDCANCEL; break;
    case MB_YESNO: box.ids = {IDYES, IDNO}; break;
    case MB_RETRYCANCEL: box.ids = {IDRETRY, IDCANCEL}; box.cancelId = IDCANCEL; break;
    default: box.ids = {IDOK}; box.cancelId = IDOK; break;
    }
    const size_t def = ((box.type & MB_DEFMASK) >> 8);
    box.defaultId = box.ids[def < box.ids.size() ? def : 0];
}

COLORREF IconColour(UINT icon)
{
    switch (icon) {
    case MB_ICONERROR: return RGB(0xC4, 0x2B, 0x1C);
    case MB_ICONQUESTION: return RGB(0x1C, 0x5F, 0xC4);
    case MB_ICONWARNING: return RGB(0xE0, 0xA0, 0x00);
    default: return RGB(0x1C, 0x5F, 0xC4);
    }
}

const wchar_t* IconGlyph(UINT icon)
{
    switch (icon) {
    case MB_ICONERROR: return L"X";
    case MB_ICONQUESTION: return L"?";
    case MB_ICONWARNING: return L"!";
    default: return L"i";
    }
}

// Sizes the box around its text (below its title's band, when it has one), centres it on the
// owner (or the work area) and adds the buttons.
void Layout(HWND hwnd, Box& box)
{
    box.titleBand = quiva::ui::detail::TitleBandHeight();
    const int top = box.titleBand + kMargin;
    const bool hasIcon = (box.type & MB_ICONMASK) != 0;
    RECT measure{0, 0, kTextWidth, 0};
    if (HDC dc = GetDC(hwnd)) {
        DrawTextW(dc, box.text.c_str(), -1, &measure, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS);
        ReleaseDC(hwnd, dc);
    }
    const int textW = std::max<int>(measure.right - measure.left, 1);
    const int textH = std::max<int>(measure.bottom - measure.top, hasIcon ? kIcon : 16);
    const int textLeft = kMargin + (hasIcon ? kIcon + kMargin : 0);
    const int n = static_cast<int>(box.ids.size());
    const int rowW = n * kButtonW + (n - 1) * kButtonGap;
    const int clientW = std::max(textLeft + textW + kMargin, rowW + 2 * kMargin);
    const int clientH = top + textH + kMargin + kButtonH + kMargin;
    box.textRect = RECT{textLeft, top, textLeft + textW, top + textH};
    box.iconRect = RECT{kMargin, top, kMargin + kIcon, top + kIcon};

    RECT window{}, client{};
    GetWindowRect(hwnd, &window);
    GetClientRect(hwnd, &client);
    const int w = clientW + (window.right - window.left) - (client.right - client.left);
    const int h = clientH + (window.bottom - window.top) - (client.bottom - client.top);
    quiva::ui::CentreOverOwner(hwnd, w, h);

    int bx = (clientW - rowW) / 2;
    const int by = clientH - kMargin - kButtonH;
    for (int id : box.ids) {
        const DWORD kind = id == box.defaultId ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
        CreateWindowExW(0, WC_BUTTONW, ButtonText(id), WS_CHILD | WS_VISIBLE | WS_TABSTOP | kind, bx, by, kButtonW,
                        kButtonH, hwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        bx += kButtonW + kButtonGap;
    }
}

void Paint(HWND hwnd, const Box& box)
{
    quiva::ui::detail::ControlPaint p(hwnd, RGB(0xF0, 0xF0, 0xF0));
    if (!p)
        return;
    p.TitleBand(box.titleBand);
    if (const UINT icon = box.type & MB_ICONMASK) {
        p.Fill(box.iconRect, IconColour(icon));
        p.Text(IconGlyph(icon), box.iconRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE, RGB(0xFF, 0xFF, 0xFF));
    }
    p.Text(box.text.c_str(), box.textRect, DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS, RGB(0, 0, 0));
}

Box* BoxOf(HWND hwnd) { return reinterpret_cast<Box*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

INT_PTR CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        auto* box = reinterpret_cast<Box*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, lParam);
        Layout(hwnd, *box);
        return TRUE;
    }
    case WM_PAINT:
        if (Box* box = BoxOf(hwnd))
            Paint(hwnd, *box);
        return TRUE;
    case WM_ERASEBKGND:
        quiva::ui::SetDialogMsgResult(hwnd, 1);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam)
            EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        if (Box* box = BoxOf(hwnd); box && box->cancelId)
            EndDialog(hwnd, box->cancelId);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    Box box;
    box.text = text ? text : L"";
    box.type = type;
    ChooseButtons(box);

    DLGTEMPLATE tmpl{};
    tmpl.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    tmpl.dwExtendedStyle = (type & MB_TOPMOST) ? WS_EX_TOPMOST : 0;
    tmpl.cx = 300;
    tmpl.cy = 120;
    HWND top = owner ? GetAncestor(owner, GA_ROOT) : nullptr;
    HWND hwnd = CreateDialogIndirectParamW(nullptr, &tmpl, top, BoxProc, reinterpret_cast<LPARAM>(&box));
    if (!hwnd)
        return 0;
    SetWindowTextW(hwnd, caption ? caption : L"오류");

    std::vector<HWND> buttons;
    for (int id : box.ids)
        buttons.push_back(GetDlgItem(hwnd, id));
    auto focusedIndex = [&]() -> int {
        HWND f = GetFocus();
        for (size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i] == f)
                return static_cast<int>(i);
        return -1;
    };
    const INT_PTR result = quiva::ui::RunModalDialog(hwnd, [&](MSG* m) {
        if (m->message != WM_KEYDOWN || (m->hwnd != hwnd && !IsChild(hwnd, m->hwnd)))
            return false;
        switch (m->wParam) {
        case VK_RETURN: {
            const int i = focusedIndex();
            EndDialog(hwnd, i >= 0 ? box.ids[static_cast<size_t>(i)] : box.defaultId);
            return true;
        }
        case VK_ESCAPE:
            if (box.cancelId)
                EndDialog(hwnd, box.cancelId);
            return true;
        case VK_TAB:
        case VK_LEFT:
        case VK_RIGHT: {
            if (buttons.empty())
                return true;
            const int n = static_cast<int>(buttons.size());
            int i = focusedIndex();
            if (i < 0)
                i = static_cast<int>(std::find(box.ids.begin(), box.ids.end(), box.defaultId) - box.ids.begin());
            const bool back = m->wParam == VK_LEFT || (m->wParam == VK_TAB && GetKeyState(VK_SHIFT) < 0);
            SetFocus(buttons[static_cast<size_t>((i + (back ? n - 1 : 1)) % n)]);
            return true;
        }
        default:
            return false;
        }
    });
    DestroyWindow(hwnd);
    return result > 0 ? static_cast<int>(result) : 0;
}
