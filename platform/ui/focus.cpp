// Focus, activation, key state, keyboard hooks, the caret and the input method.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cwctype>

#include "platform/base/clock.h"
#include "platform/ui/internal.h"

using namespace quiva::ui::detail;

HWND SetFocus(HWND hwnd)
{
    HWND old;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = FindLocked(g_focus) ? g_focus : nullptr;
        if (hwnd && !FindLocked(hwnd))
            return nullptr;
        if (old == hwnd)
            return old;
    }
    if (hwnd) {
        HWND top = TopLevelOf(hwnd);
        if (top != GetActiveWindow() && IsWindowVisible(top))
            Activate(top, false);
        std::lock_guard<std::recursive_mutex> g(Lock());
        old = FindLocked(g_focus) ? g_focus : nullptr;
        if (old == hwnd)
            return old;
    }
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        g_focus = hwnd;
    }
    if (old)
        SendMessageW(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && GetFocus() == hwnd)
        SendMessageW(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return old;
}

HWND GetFocus()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return FindLocked(g_focus) ? g_focus : nullptr;
}

HWND SetActiveWindow(HWND hwnd)
{
    if (hwnd && !IsWindow(hwnd))
        return nullptr;
    return Activate(hwnd ? TopLevelOf(hwnd) : nullptr, false);
}

HWND GetActiveWindow()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return FindLocked(g_active) ? g_active : nullptr;
}

SHORT GetKeyState(int vk)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    BYTE s = g_keys[vk & 0xFF];
    return static_cast<SHORT>(((s & 0x80) ? 0x8000 : 0) | (s & 0x01));
}

SHORT GetAsyncKeyState(int vk)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    return static_cast<SHORT>((g_keys[vk & 0xFF] & 0x80) ? 0x8000 : 0);
}

HHOOK SetWindowsHookExW(int idHook, HOOKPROC proc, HINSTANCE, DWORD)
{
    if (idHook != WH_KEYBOARD_LL || !proc)
        return nullptr;
    DWORD thread = GetCurrentThreadId();
    HHOOK h;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        h = reinterpret_cast<HHOOK>(g_nextHook);
        g_nextHook += 4;
        g_hooks.insert(g_hooks.begin(), Hook{h, proc, thread});
    }
    // The backend is told outside the lock: its event pump takes the lock under its own.
    quiva::ui::CurrentBackend().ObserveKeys(true);
    return h;
}

BOOL UnhookWindowsHookEx(HHOOK hook)
{
    bool any;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [&](const Hook& h) { return h.handle == hook; });
        if (it == g_hooks.end())
            return FALSE;
        g_hooks.erase(it);
        any = !g_hooks.empty();
    }
    if (!any)
        quiva::ui::CurrentBackend().ObserveKeys(false);
    return TRUE;
}

LRESULT CallNextHookEx(HHOOK hook, int code, WPARAM wParam, LPARAM lParam)
{
    size_t next;
    {
        std::lock_guard<std::recursive_mutex> g(Lock());
        auto it = std::find_if(g_hooks.begin(), g_hooks.end(), [&](const Hook& h) { return h.handle == hook; });
        if (it == g_hooks.end())
            return 0;
        next = static_cast<size_t>(it - g_hooks.begin()) + 1;
    }
    return CallHooks(next, code, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Caret

BOOL CreateCaret(HWND hwnd, HBITMAP, int width, int height)
{
    if (!IsWindow(hwnd))
        return FALSE;
    ThreadQueue& q = CurrentQueue();
    if (q.caret.owner && q.caret.owner != hwnd)
        DestroyCaret();
    q.caret = quiva::ui::CaretState{hwnd, {0, 0}, width ? width : 1, height ? height : 1, 1};
    return TRUE;
}

BOOL DestroyCaret()
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner)
        return FALSE;
    q.caret = quiva::ui::CaretState{nullptr, {0, 0}, 0, 0, 1};
    return TRUE;
}

BOOL SetCaretPos(int x, int y)
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner)
        return FALSE;
    q.caret.pos = POINT{x, y};
    return TRUE;
}

BOOL GetCaretPos(LPPOINT pt)
{
    if (!pt)
        return FALSE;
    *pt = CurrentQueue().caret.pos;
    return TRUE;
}

BOOL ShowCaret(HWND hwnd)
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner || (hwnd && hwnd != q.caret.owner) || q.caret.hideCount == 0)
        return FALSE;
    --q.caret.hideCount;
    return TRUE;
}

BOOL HideCaret(HWND hwnd)
{
    ThreadQueue& q = CurrentQueue();
    if (!q.caret.owner || (hwnd && hwnd != q.caret.owner))
        return FALSE;
    ++q.caret.hideCount;
    return TRUE;
}

UINT GetCaretBlinkTime() { return 530; }

// ---------------------------------------------------------------------------------------------
// Input method

HIMC ImmGetContext(HWND hwnd) { return IsWindow(hwnd) ? reinterpret_cast<HIMC>(hwnd) : nullptr; }
BOOL ImmReleaseContext(HWND, HIMC) { return TRUE; }

LONG ImmGetCompositionStringW(HIMC imc, DWORD index, LPVOID buffer, DWORD bufferBytes)
{
    if (!imc)
        return -1;  // IMM_ERROR_NODATA
    ThreadQueue& q = CurrentQueue();
    const std::wstring* s = index == GCS_RESULTSTR ? &q.imeResult : index == GCS_COMPSTR ? &q.imeComposition : nullptr;
    if (!s)
        return -1;
    // Wide strings are two bytes per character for the callers that size buffers.
    LONG bytes = static_cast<LONG>(s->size() * sizeof(wchar_t));
    if (!buffer || bufferBytes == 0)
        return bytes;
    DWORD n = std::min<DWORD>(bufferBytes / sizeof(wchar_t), static_cast<DWORD>(s->size()));
    std::copy(s->begin(), s->begin() + n, static_cast<wchar_t*>(buffer));
    return static_cast<LONG>(n * sizeof(wchar_t));
}

BOOL ImmNotifyIME(HIMC imc, DWORD action, DWORD index, DWORD)
{
    HWND hwnd = reinterpret_cast<HWND>(imc);
    if (!imc || action != NI_COMPOSITIONSTR || index != CPS_CANCEL || !IsWindow(hwnd))
        return FALSE;
    quiva::ui::CurrentBackend().DropComposition(TopLevelOf(hwnd));
    ThreadQueue& q = CurrentQueue();
    std::lock_guard<std::mutex> l(q.mutex);
    q.imeComposition.clear();
    q.composing = false;
    return TRUE;
}
