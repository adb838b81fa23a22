// Window classes.
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/base/clock.h"
#include "platform/base/lasterror.h"
#include "platform/gdi/gdi.h"
#include <unistd.h>
#include "platform/ui/internal.h"
#include "platform/ui/uisystem.h"

using namespace quiva::ui::detail;

ATOM RegisterClassW(const WNDCLASSW* wc)
{
    if (!wc || !wc->lpszClassName || !*wc->lpszClassName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard<std::recursive_mutex> g(Lock());
    if (FindClass(wc->lpszClassName)) {
        SetLastError(ERROR_CLASS_ALREADY_EXISTS);
        return 0;
    }
    auto c = std::make_shared<ClassInfo>();
    c->name = wc->lpszClassName;
    c->wc = *wc;
    c->wc.lpszClassName = nullptr;
    c->wc.lpszMenuName = nullptr;
    if (!c->wc.lpfnWndProc)
        c->wc.lpfnWndProc = DefWindowProcW;
    g_classes.push_back(c);
    return static_cast<ATOM>(0xC000 + g_classes.size());
}

BOOL UnregisterClassW(LPCWSTR className, HINSTANCE)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
        if (SameName((*it)->name, className)) {
            g_classes.erase(it);  // windows keep their own reference
            return TRUE;
        }
    }
    SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
    return FALSE;
}

BOOL GetClassInfoW(HINSTANCE, LPCWSTR className, WNDCLASSW* out)
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    auto c = FindClass(className);
    if (!c) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return FALSE;
    }
    if (out) {
        *out = c->wc;
        out->lpszClassName = c->name.c_str();
    }
    return TRUE;
}

std::vector<quiva::ui::RegisteredClass> quiva::ui::RegisteredClasses()
{
    std::lock_guard<std::recursive_mutex> g(Lock());
    std::vector<RegisteredClass> classes;
    for (const auto& c : g_classes)
        classes.push_back(RegisteredClass{c->name, c->wc.hInstance, c->wc.lpfnWndProc});
    return classes;
}
