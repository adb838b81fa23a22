#include "platform/ui/dialog.h"

#include <map>
#include <mutex>

namespace {

const wchar_t kDialogClass[] = L"QuivaDialog";

struct DialogState {
    DLGPROC proc = nullptr;
    LRESULT msgResult = 0;
    bool ended = false;
    INT_PTR result = -1;
};

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
    HWND hwnd = CreateWindowExW(tmpl->dwExtendedStyle, kDialogClass, L"", style, tmpl->x, tmpl->y, tmpl->cx, tmpl->cy,
                                owner, nullptr, instance, reinterpret_cast<LPVOID>(proc));
    if (!hwnd)
        return nullptr;
    SendMessageW(hwnd, WM_INITDIALOG, 0, init);
    if (IsWindow(hwnd) && (tmpl->style & WS_VISIBLE) && !quiva::ui::IsDialogEnded(hwnd))
        ShowWindow(hwnd, SW_SHOW);
    return IsWindow(hwnd) ? hwnd : nullptr;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM init)
{
    DLGTEMPLATE hidden{};
    if (tmpl) {
        hidden = *tmpl;
        hidden.style &= ~static_cast<DWORD>(WS_VISIBLE);
    }
    HWND dialog = CreateDialogIndirectParamW(instance, tmpl ? &hidden : nullptr, owner, proc, init);
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

namespace quiva::ui {

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
