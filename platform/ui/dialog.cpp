#include "platform/ui/dialog.h"

#include <map>
#include <mutex>

#include "platform/base/ModuleHold.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/syscolor.h"
#include "platform/ui/uisystem.h"

namespace {

const wchar_t kDialogClass[] = L"QuivaDialog";

struct DialogState {
    DLGPROC proc = nullptr;
    LRESULT msgResult = 0;
    bool ended = false;
    INT_PTR result = -1;
    SIZE units{4, 8};  // pixel units until a whole template says otherwise
};

// value * numerator / denominator, rounded to the nearest.
int Scaled(int value, int numerator, int denominator)
{
    const long long p = static_cast<long long>(value) * numerator;
    return static_cast<int>((p >= 0 ? p + denominator / 2 : p - denominator / 2) / denominator);
}

bool IsWholeTemplate(LPCDLGTEMPLATEW tmpl) { return tmpl && (tmpl->style & DS_SETFONT); }

const quiva::ui::DialogTemplate& Whole(LPCDLGTEMPLATEW tmpl)
{
    return *reinterpret_cast<const quiva::ui::DialogTemplate*>(tmpl);
}

SIZE UnitsOf(LPCDLGTEMPLATEW tmpl)
{
    if (!IsWholeTemplate(tmpl))
        return SIZE{4, 8};
    const auto& w = Whole(tmpl);
    return quiva::ui::FontBaseUnits(w.typeface, w.pointSize);
}

RECT ToPixels(RECT r, SIZE units)
{
    return RECT{Scaled(r.left, units.cx, 4), Scaled(r.top, units.cy, 8), Scaled(r.right, units.cx, 4),
                Scaled(r.bottom, units.cy, 8)};
}

std::mutex& StateLock()
{
    static std::mutex m;
    return m;
}

std::map<HWND, DialogState>& States()
{
    static std::map<HWND, DialogState> states;
    return states;
}

DialogState* StateOf(HWND hwnd)
{
    auto it = States().find(hwnd);
    return it == States().end() ? nullptr : &it->second;
}

LRESULT CALLBACK DialogWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        std::lock_guard<std::mutex> l(StateLock());
        DialogState& s = States()[hwnd];
        s.proc = cs ? reinterpret_cast<DLGPROC>(cs->lpCreateParams) : nullptr;
    }
    DLGPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> l(StateLock());
        if (DialogState* s = StateOf(hwnd)) {
            proc = s->proc;
            s->msgResult = 0;
        }
    }
    LRESULT answer = 0;
    bool handled = false;
    if (proc) {
        const INT_PTR r = proc(hwnd, msg, wParam, lParam);
        if (r) {
            handled = true;
            if (msg == WM_INITDIALOG) {
                answer = r;
            } else {
                std::lock_guard<std::mutex> l(StateLock());
                DialogState* s = StateOf(hwnd);
                answer = s ? s->msgResult : 0;
            }
        }
    }
    if (!handled) {
        if (msg == WM_CLOSE) {
            // Closing a dialog ends it like its cancel button; the window stays for its owner
            // to destroy.
            EndDialog(hwnd, IDCANCEL);
            answer = 0;
        } else if (msg == WM_ERASEBKGND) {
            // A dialog's background is the face colour of controls.
            RECT client{};
            GetClientRect(hwnd, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
            answer = 1;
        } else {
            answer = DefWindowProcW(hwnd, msg, wParam, lParam);
        }
    }
    if (msg == WM_NCDESTROY) {
        std::lock_guard<std::mutex> l(StateLock());
        States().erase(hwnd);
    }
    return answer;
}

bool RegisterDialogClass()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        WNDCLASSW wc{};
        wc.style = CS_DBLCLKS;
        wc.lpfnWndProc = DialogWindowProc;
        wc.lpszClassName = kDialogClass;
        ok = RegisterClassW(&wc) != 0;
    });
    return ok;
}

}  // namespace

HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM init)
{
    if (!tmpl || !RegisterDialogClass())
        return nullptr;
    if (owner)
        owner = GetAncestor(owner, GA_ROOT);
    const DWORD style = tmpl->style & ~static_cast<DWORD>(WS_VISIBLE);
    const RECT r = quiva::ui::TemplateWindowRect(tmpl);
    HWND hwnd = CreateWindowExW(tmpl->dwExtendedStyle, kDialogClass, quiva::ui::TemplateCaption(tmpl), style, r.left,
                                r.top, r.right - r.left, r.bottom - r.top, owner, nullptr, instance,
                                reinterpret_cast<LPVOID>(proc));
    if (!hwnd)
        return nullptr;
    if (!quiva::ui::CreateTemplateItems(hwnd, tmpl, instance)) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    SendMessageW(hwnd, WM_INITDIALOG, 0, init);
    if (IsWindow(hwnd) && (tmpl->style & WS_VISIBLE) && !quiva::ui::IsDialogEnded(hwnd))
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM init)
{
    // Created hidden whatever the template says: the modal loop shows it.
    quiva::ui::DialogTemplate hidden{};
    if (tmpl) {
        hidden = IsWholeTemplate(tmpl) ? Whole(tmpl) : quiva::ui::DialogTemplate{*tmpl, nullptr, 0, nullptr, nullptr};
        hidden.t.style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    HWND dialog = CreateDialogIndirectParamW(instance, tmpl ? &hidden.t : nullptr, owner, proc, init);
    if (!dialog)
        return -1;
    const INT_PTR result = quiva::ui::RunModalDialog(dialog);
    if (IsWindow(dialog))
        DestroyWindow(dialog);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result)
{
    {
        std::lock_guard<std::mutex> l(StateLock());
        DialogState* s = StateOf(dialog);
        if (!s)
            return FALSE;
        s->ended = true;
        s->result = result;
    }
    // Wakes a loop that waits for its next message.
    PostMessageW(dialog, WM_NULL, 0, 0);
    return TRUE;
}

BOOL MapDialogRect(HWND dialog, LPRECT rect)
{
    if (!rect)
        return FALSE;
    SIZE units{};
    {
        std::lock_guard<std::mutex> l(StateLock());
        DialogState* s = StateOf(dialog);
        if (!s)
            return FALSE;
        units = s->units;
    }
    *rect = ToPixels(*rect, units);
    return TRUE;
}

namespace quiva::ui {

SIZE FontBaseUnits(LPCWSTR typeface, int pointSize)
{
    static const wchar_t kAlphabet[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontW(-Scaled(pointSize > 0 ? pointSize : 9, 96, 72), 0, 0, 0, FW_NORMAL, 0, 0, 0,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, 0, 0,
                             typeface ? typeface : L"MS Shell Dlg");
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    TEXTMETRICW tm{};
    GetTextExtentPoint32W(dc, kAlphabet, 52, &extent);
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    // The average of the 52 letters, rounded.
    SIZE units{(extent.cx / 26 + 1) / 2, tm.tmHeight};
    if (units.cx <= 0 || units.cy <= 0)
        units = SIZE{4, 8};
    return units;
}

RECT TemplateWindowRect(LPCDLGTEMPLATEW tmpl)
{
    if (!tmpl)
        return RECT{};
    if (!IsWholeTemplate(tmpl))
        return RECT{tmpl->x, tmpl->y, tmpl->x + tmpl->cx, tmpl->y + tmpl->cy};
    RECT r = ToPixels(RECT{tmpl->x, tmpl->y, tmpl->x + tmpl->cx, tmpl->y + tmpl->cy}, UnitsOf(tmpl));
    const int frame = FrameWidth(tmpl->style);
    return RECT{r.left, r.top, r.right + 2 * frame, r.bottom + 2 * frame};
}

LPCWSTR TemplateCaption(LPCDLGTEMPLATEW tmpl)
{
    return IsWholeTemplate(tmpl) && Whole(tmpl).caption ? Whole(tmpl).caption : L"";
}

void CentreOverOwner(HWND dialog, int width, int height)
{
    RECT area = WorkArea();
    if (HWND owner = GetWindow(dialog, GW_OWNER); owner && IsWindowVisible(owner))
        GetWindowRect(owner, &area);
    const int x = area.left + ((area.right - area.left) - width) / 2;
    const int y = area.top + ((area.bottom - area.top) - height) / 2;
    MoveWindow(dialog, x, y, width, height, FALSE);
}

bool CreateTemplateItems(HWND dialog, LPCDLGTEMPLATEW tmpl, HINSTANCE instance)
{
    const SIZE units = UnitsOf(tmpl);
    {
        std::lock_guard<std::mutex> l(StateLock());
        if (DialogState* s = StateOf(dialog))
            s->units = units;
    }
    if (!IsWholeTemplate(tmpl) || !Whole(tmpl).items)
        return true;
    for (WORD i = 0; i < tmpl->cdit; ++i) {
        const DialogItem& item = Whole(tmpl).items[i];
        const DLGITEMTEMPLATE& t = item.t;
        const RECT r = ToPixels(RECT{t.x, t.y, t.x + t.cx, t.y + t.cy}, units);
        HWND child = CreateWindowExW(t.dwExtendedStyle, item.className, item.text ? item.text : L"",
                                     t.style | WS_CHILD | WS_VISIBLE, r.left, r.top, r.right - r.left,
                                     r.bottom - r.top, dialog, reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(t.id)),
                                     instance, nullptr);
        if (!child)
            return false;
    }
    return true;
}

LPCWSTR DialogClassName()
{
    return RegisterDialogClass() ? kDialogClass : nullptr;
}

void SetDialogMsgResult(HWND dialog, LRESULT result)
{
    std::lock_guard<std::mutex> l(StateLock());
    if (DialogState* s = StateOf(dialog))
        s->msgResult = result;
}

bool IsDialogEnded(HWND dialog)
{
    std::lock_guard<std::mutex> l(StateLock());
    DialogState* s = StateOf(dialog);
    return s && s->ended;
}

INT_PTR RunModalDialog(HWND dialog, const std::function<bool(MSG*)>& preTranslate)
{
    // The code that runs this loop stays loaded until it has returned.
    quiva::ModuleHold hold;
    {
        std::lock_guard<std::mutex> l(StateLock());
        if (!StateOf(dialog))
            return -1;
    }
    HWND owner = GetWindow(dialog, GW_OWNER);
    const bool disableOwner = owner && IsWindowEnabled(owner);
    if (disableOwner)
        EnableWindow(owner, FALSE);
    if (!IsDialogEnded(dialog)) {
        ShowWindow(dialog, SW_SHOW);
        SetActiveWindow(dialog);
        SetFocus(dialog);
    }
    INT_PTR result = -1;
    for (;;) {
        {
            std::lock_guard<std::mutex> l(StateLock());
            DialogState* s = StateOf(dialog);
            if (!s)
                break;  // destroyed under the loop
            if (s->ended) {
                result = s->result;
                break;
            }
        }
        MSG msg{};
        if (!GetMessageW(&msg, nullptr, 0, 0)) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            std::lock_guard<std::mutex> l(StateLock());
            if (DialogState* s = StateOf(dialog); s && s->ended)
                result = s->result;
            break;
        }
        if (preTranslate && preTranslate(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    // The owner comes back before the dialog goes away, so activation can return to it.
    if (disableOwner && IsWindow(owner))
        EnableWindow(owner, TRUE);
    if (IsWindow(dialog)) {
        ShowWindow(dialog, SW_HIDE);
        if (owner && IsWindow(owner))
            SetActiveWindow(owner);
    }
    return result;
}

}  // namespace quiva::ui
