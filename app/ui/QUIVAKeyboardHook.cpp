#include "app/ui/QUIVAKeyboardHook.h"

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/QUIVATell.h"
#include "app/ui/QUIVAWindowClasses.h"
#include "capture/CKXMCapture.h"
#include "platform/base/debug.h"
#include "platform/base/wformat.h"

QUIVACaptureKeys g_captureKeys;

void InstallKeyboardHook()
{
    if (g_captureKeys.hook)
        UnhookWindowsHookEx(g_captureKeys.hook);
    g_captureKeys.hook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, QUIVAModuleInstance(), 0);
}

void RemoveKeyboardHook()
{
    if (g_captureKeys.hook)
        UnhookWindowsHookEx(g_captureKeys.hook);
    g_captureKeys.hook = nullptr;
}

void WithoutCaptureKeys(const std::function<void()>& dialog, const std::function<bool()>& putBack)
{
    const bool hooked = g_captureKeys.hook != nullptr;
    RemoveKeyboardHook();
    dialog();
    if (putBack ? putBack() : hooked)
        InstallKeyboardHook();
}

namespace {

// A still, or a recording start or stop: the hook is out of the chain while it runs (each may
// tell of a failure in a message box). A save keeps it in: see the saving branch below.
template <typename Action>
void WithoutHook(Action action)
{
    WithoutCaptureKeys([&action] {
        if (g_captureKeys.model)
            action(*g_captureKeys.model);
    });
}

void TakeStill() { WithoutHook([](CKXQUIVACaptureModel& m) { QUIVATellCapture(m.CaptureStill()); }); }

}  // namespace

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == WM_KEYUP) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        DWORD vk = key->vkCode;
        // A still key acts alone: with Ctrl or Alt down it is a shortcut (Ctrl+S saves even when
        // S is the configured capture key).
        const bool ctrl = (GetAsyncKeyState(VK_CONTROL) & 0x8000) != 0;
        const bool alone = !ctrl && !(GetAsyncKeyState(VK_MENU) & 0x8000);
        const bool stillKey = vk == VK_PAUSE || vk == VK_SPACE || vk == g_captureKeys.stillKey;
        if (g_captureKeys.model && g_captureKeys.model->IsSaving()) {
            // The keys typed while the save ran are read only now, while it tells what it came
            // to: a still key asks for the still the save takes when it ends; no other key acts.
            // The save's message box has the keys then, not the capture window.
            if (stillKey && alone && (g_captureKeys.active || ::GetActiveWindow() || vk == VK_PAUSE))
                g_captureKeys.model->CaptureStill();
        } else if (g_captureKeys.active) {
            if (vk == 'S' && ctrl) {
                // The commit's own result is the save button's to tell; what the PACS missed
                // is told by every save. The hook stays in, for the still keys above.
                if (CKXQUIVACaptureModel* m = g_captureKeys.model)
                    m->CommitAndTell(QUIVATellerOf(*m), false);
            } else if (stillKey && alone) {
                OutputDebugStringW(quiva::FormatWide(L"Key : %d %d(%x) %d %d\n", static_cast<int>(vk), static_cast<int>(key->scanCode),
                                                     static_cast<unsigned>(key->scanCode), static_cast<int>(key->time),
                                                     static_cast<int>(key->flags))
                                       .c_str());
                TakeStill();
            } else if (vk == VK_F6) {
                WithoutHook([](CKXQUIVACaptureModel& m) { QUIVATellCapture(m.ToggleRecording()); });
            }
        } else if (vk == VK_PAUSE && alone) {
            TakeStill();
        }
    }
    return CallNextHookEx(g_captureKeys.hook, code, wParam, lParam);
}
