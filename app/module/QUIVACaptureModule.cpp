// The capture module's entry: its one application object, started when the library is loaded
// and shut down when it is unloaded, and the seven exports a clinic-records program calls. Only
// the exports are visible outside the library.
#include <exception>

#include "app/ui/CQUIVACaptureApp.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"

#define QUIVA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CQUIVACaptureApp theApp;

// The last guard of every export, and of loading and unloading: the host is not built to meet
// an exception, so one that gets this far is written to the debugger output and the call
// returns `failed`.
template <typename Result, typename Call>
Result Guarded(const wchar_t* name, Result failed, Call call) noexcept
{
    try {
        return call();
    } catch (const std::exception& e) {
        OutputDebugStringW((std::wstring(name) + L": stopped by an exception: " + quiva::Utf8ToWide(e.what())).c_str());
    } catch (...) {
        OutputDebugStringW((std::wstring(name) + L": stopped by an exception").c_str());
    }
    return failed;
}

// After the application object is made (same file, so in order) and before it goes.
struct ModuleLifetime {
    ModuleLifetime() { Guarded(L"InitInstance", FALSE, [] { return theApp.InitInstance(); }); }
    ~ModuleLifetime() { Guarded(L"ExitInstance", 0, [] { return theApp.ExitInstance(); }); }
} lifetime;

// The host's text is in the ANSI code page; a null pointer is an empty text.
CString FromHost(const char* text) { return text ? CString(quiva::MultiByteToWide(text).c_str()) : CString(); }

}  // namespace

QUIVA_EXPORT int QUIVACaptureShow(const char* chart, const char* date)
{
    return Guarded(L"QUIVACaptureShow", 0, [&] {
        theApp.ShowCapture(FromHost(chart), FromHost(date), FALSE);
        return 0;
    });
}

QUIVA_EXPORT int QUIVACaptureClose()
{
    return Guarded(L"QUIVACaptureClose", 0, [] {
        theApp.Close();
        return 0;
    });
}

QUIVA_EXPORT int QUIVACaptureOpen() { return 0; }

QUIVA_EXPORT int QUIVACaptureClear()
{
    return Guarded(L"QUIVACaptureClear", 0, [] {
        theApp.Clear();
        return 0;
    });
}

QUIVA_EXPORT BOOL QUIVACaptureIsShow()
{
    return Guarded(L"QUIVACaptureIsShow", BOOL{FALSE}, [] { return theApp.IsShow(); });
}

QUIVA_EXPORT int QUIVACaptureShowModal(const char* chart, const char* date)
{
    return Guarded(L"QUIVACaptureShowModal", 0, [&] {
        theApp.ShowCapture(FromHost(chart), FromHost(date), TRUE);
        return 0;
    });
}

QUIVA_EXPORT void QUIVACaptureParentWnd(HWND host)
{
    Guarded(L"QUIVACaptureParentWnd", 0, [&] {
        theApp.SetParentWnd(host);
        return 0;
    });
}
