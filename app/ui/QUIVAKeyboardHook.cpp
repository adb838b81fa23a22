#include "app/ui/QUIVAKeyboardHook.h"

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/QUIVATell.h"
#include "app/ui/QUIVAWindowClasses.h"
#include "capture/CKXMCapture.h"
#include "platform/base/debug.h"
#include "platform/base/wformat.h"

CKXQUIVACaptureModel* g_pCurrentCaptureModel = nullptr;
HHOOK g_hKeyboardHook = nullptr;
BOOL g_bCaptureKeyActive = 0;
DWORD g_captureKey = 0;

void InstallKeyboardHook()
{
    if (g_hKeyboardHook)
        UnhookWindowsHookEx(g_hKeyboardHook);
    g_hKeyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc, QUIVAModuleInstance(), 0);
}

void RemoveKeyboardHook()
{
    if (g_hKeyboardHook)
        UnhookWindowsHookEx(g_hKeyboardHook);
    g_hKeyboardHook = nullptr;
}

namespace {

// A still, a recording start or stop, or a commit: the hook is out of the chain while it runs
// (a commit may show message boxes and take seconds).
template <typename Action>
void WithoutHook(Action action)
{
    RemoveKeyboardHook();
    if (g_pCurrentCaptureModel)
        action(*g_pCurrentCaptureModel);
    InstallKeyboardHook();
}

void TakeStill() { WithoutHook([](CKXQUIVACaptureModel& m) { QUIVATellCapture(m.CaptureStill()); }); }

}  // namespace

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == WM_KEYUP) {
        const auto* key = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        DWORD vk = key->vkCode;
        if (g_bCaptureKeyActive) {
            if (vk == VK_PAUSE || vk == VK_SPACE || vk == g_captureKey) {
                OutputDebugStringW(quiva::FormatWide(L"Key : %d %d(%x) %d %d\n", static_cast<int>(vk), static_cast<int>(key->scanCode),
                                                     static_cast<unsigned>(key->scanCode), static_cast<int>(key->time),
                                                     static_cast<int>(key->flags))
                                       .c_str());
                TakeStill();
            } else if (vk == 0x75) {  // F6
                WithoutHook([](CKXQUIVACaptureModel& m) { QUIVATellCapture(m.ToggleRecording()); });
            } else if (vk == 'S' && (GetAsyncKeyState(VK_CONTROL) & 0x8000)) {
                // The commit's own result is the save button's to tell; what the PACS missed
                // is told by every save.
                WithoutHook([](CKXQUIVACaptureModel& m) { m.CommitAndTell(QUIVATell, false); });
            }
        } else if (vk == VK_PAUSE) {
            TakeStill();
        }
    }
    return CallNextHookEx(g_hKeyboardHook, code, wParam, lParam);
}
