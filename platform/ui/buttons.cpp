#include "platform/ui/buttons.h"

#include <map>
#include <mutex>

#include "platform/ui/controlpaint.h"
#include "platform/ui/internal.h"

namespace {

constexpr COLORREF kFace = RGB(0xF0, 0xF0, 0xF0);
constexpr COLORREF kPushedFace = RGB(0xD0, 0xD0, 0xD0);
constexpr COLORREF kEdge = RGB(0x70, 0x70, 0x70);

struct ButtonState {
    bool checked = false;
    bool pushed = false;    // drawn pressed: mouse held down over it, or space held
    bool tracking = false;  // the left button went down on it and the capture is ours
    bool spaceDown = false;
};

std::mutex& StateLock()
{
    static std::mutex m;
    return m;
}

std::map<HWND, ButtonState>& States()
{
    static std::map<HWND, ButtonState> states;
    return states;
}

// Runs `f` on the button's state under the lock and returns its result.
template <typename F>
auto WithState(HWND hwnd, F f)
{
    std::lock_guard<std::mutex> l(StateLock());
    return f(States()[hwnd]);
}

DWORD Kind(HWND hwnd)
{
    return static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE)) & BS_TYPEMASK;
}

bool IsCheckBox(DWORD kind) { return kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX; }

bool Inside(HWND hwnd, LPARAM lParam)
{
    RECT rc{};
    GetClientRect(hwnd, &rc);
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);
    return x >= rc.left && x < rc.right && y >= rc.top && y < rc.bottom;
}

// A completed click: an automatic check box toggles first, then the parent hears BN_CLICKED.
void Clicked(HWND hwnd)
{
    if (Kind(hwnd) == BS_AUTOCHECKBOX)
        WithState(hwnd, [](ButtonState& s) { s.checked = !s.checked; return 0; });
    InvalidateRect(hwnd, nullptr, TRUE);
    HWND parent = GetParent(hwnd);
    if (parent)
        SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), BN_CLICKED),
                     reinterpret_cast<LPARAM>(hwnd));
}

void Paint(HWND hwnd)
{
    const ButtonState s = WithState(hwnd, [](ButtonState& st) { return st; });
    const DWORD kind = Kind(hwnd);
    quiva::ui::detail::ControlPaint p(hwnd, s.pushed && !IsCheckBox(kind) ? kPushedFace : kFace);
    if (!p)
        return;
    const RECT rc = p.client;
    const COLORREF ink = IsWindowEnabled(hwnd) ? RGB(0, 0, 0) : RGB(0xA0, 0xA0, 0xA0);
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    if (IsCheckBox(kind)) {
        const int box = 13;
        const int top = (rc.bottom - rc.top - box) / 2;
        const RECT b{rc.left, top, rc.left + box, top + box};
        p.Fill(b, s.pushed ? kPushedFace : RGB(0xFF, 0xFF, 0xFF));
        p.Frame(b, kEdge);
        if (s.checked)
            p.Tick(RECT{b.left + 3, b.top + 3, b.right - 3, b.bottom - 3}, ink);
        p.Text(text.c_str(), RECT{rc.left + box + 4, rc.top, rc.right, rc.bottom},
               DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, ink);
    } else {
        p.Frame(rc, kEdge);
        if (kind == BS_DEFPUSHBUTTON)
            p.Frame(RECT{rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1}, kEdge);
        p.Text(text.c_str(), rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX, ink);
    }
}

void SetPushed(HWND hwnd, bool pushed)
{
    const bool changed = WithState(hwnd, [pushed](ButtonState& s) {
        const bool c = s.pushed != pushed;
        s.pushed = pushed;
        return c;
    });
    if (changed)
        InvalidateRect(hwnd, nullptr, TRUE);
}

LRESULT CALLBACK ButtonProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NCDESTROY: {
        std::lock_guard<std::mutex> l(StateLock());
        States().erase(hwnd);
        break;
    }
    case WM_PAINT:
        Paint(hwnd);
        return 0;
    case WM_ERASEBKGND:
        return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        SetFocus(hwnd);
        SetCapture(hwnd);
        WithState(hwnd, [](ButtonState& s) { s.tracking = true; return 0; });
        SetPushed(hwnd, true);
        return 0;
    case WM_MOUSEMOVE:
        if (WithState(hwnd, [](ButtonState& s) { return s.tracking; }))
            SetPushed(hwnd, Inside(hwnd, lParam));
        return 0;
    case WM_LBUTTONUP: {
        const bool tracking = WithState(hwnd, [](ButtonState& s) {
            const bool t = s.tracking;
            s.tracking = false;
            return t;
        });
        if (!tracking)
            return 0;
        SetPushed(hwnd, false);
        if (GetCapture() == hwnd)
            ReleaseCapture();
        // Released outside the button: no click.
        if (Inside(hwnd, lParam))
            Clicked(hwnd);
        return 0;
    }
    case WM_CAPTURECHANGED:
        if (reinterpret_cast<HWND>(lParam) != hwnd) {
            WithState(hwnd, [](ButtonState& s) { s.tracking = false; return 0; });
            SetPushed(hwnd, false);
        }
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_SPACE) {
            WithState(hwnd, [](ButtonState& s) { s.spaceDown = true; return 0; });
            SetPushed(hwnd, true);
            return 0;
        }
        break;
    case WM_KEYUP:
        if (wParam == VK_SPACE) {
            const bool was = WithState(hwnd, [](ButtonState& s) {
                const bool d = s.spaceDown;
                s.spaceDown = false;
                return d;
            });
            SetPushed(hwnd, false);
            if (was)
                Clicked(hwnd);
            return 0;
        }
        break;
    case WM_KILLFOCUS:
        WithState(hwnd, [](ButtonState& s) { s.spaceDown = false; return 0; });
        if (GetCapture() != hwnd)
            SetPushed(hwnd, false);
        break;
    case WM_ENABLE:
        InvalidateRect(hwnd, nullptr, TRUE);
        break;
    case WM_SETTEXT: {
        const LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
        InvalidateRect(hwnd, nullptr, TRUE);
        return r;
    }
    case BM_GETCHECK:
        return WithState(hwnd, [](ButtonState& s) { return s.checked ? BST_CHECKED : BST_UNCHECKED; });
    case BM_SETCHECK:
        if (IsCheckBox(Kind(hwnd))) {
            WithState(hwnd, [wParam](ButtonState& s) { s.checked = (wParam == BST_CHECKED); return 0; });
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    case BM_GETSTATE: {
        LRESULT st = WithState(hwnd, [](ButtonState& s) {
            return (s.checked ? BST_CHECKED : 0) | (s.pushed ? BST_PUSHED : 0);
        });
        if (GetFocus() == hwnd)
            st |= BST_FOCUS;
        return st;
    }
    case BM_SETSTATE:
        SetPushed(hwnd, wParam != 0);
        return 0;
    case BM_CLICK:
        if (IsWindowEnabled(hwnd))
            Clicked(hwnd);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

namespace quiva::ui {

bool RegisterButtonClass()
{
    return detail::RegisterOwnClass(WC_BUTTONW, ButtonProc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
}

}  // namespace quiva::ui
