// The capture module's entry: its one application object, started when the library is loaded
// and shut down when it is unloaded, and the seven exports a clinic-records program calls. Only
// the exports are visible outside the library.
#include "app/CQUIVACaptureApp.h"
#include "platform/base/codepage.h"

#define QUIVA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CQUIVACaptureApp theApp;

// After the application object is made (same file, so in order) and before it goes.
struct ModuleLifetime {
    ModuleLifetime() { theApp.InitInstance(); }
    ~ModuleLifetime() { theApp.ExitInstance(); }
} lifetime;

// The host's text is in the ANSI code page; a null pointer is an empty text.
CString FromHost(const char* text) { return text ? CString(quiva::MultiByteToWide(text).c_str()) : CString(); }

}  // namespace

QUIVA_EXPORT int QUIVACaptureShow(const char* chart, const char* date)
{
    theApp.ShowCapture(FromHost(chart), FromHost(date), FALSE);
    return 0;
}

QUIVA_EXPORT int QUIVACaptureClose()
{
    theApp.Close();
    return 0;
}

QUIVA_EXPORT int QUIVACaptureOpen() { return 0; }

QUIVA_EXPORT int QUIVACaptureClear()
{
    theApp.Clear();
    return 0;
}

QUIVA_EXPORT BOOL QUIVACaptureIsShow() { return theApp.IsShow(); }

QUIVA_EXPORT int QUIVACaptureShowModal(const char* chart, const char* date)
{
    theApp.ShowCapture(FromHost(chart), FromHost(date), TRUE);
    return 0;
}

QUIVA_EXPORT void QUIVACaptureParentWnd(HWND host) { theApp.SetParentWnd(host); }
