#include "monitor/CQUIVACaptureManagerApp.h"

#include "framework/CKXCtrlCursor.h"
#include "monitor/CKXMonitorTheme.h"
#include "monitor/CQUIVACaptureManagerDlg.h"
#include "platform/base/resources.h"
#include "platform/gdi/gdiplus.h"
#include "platform/ui/commctrl.h"
#include "platform/ui/winuser.h"

#ifndef CS_SAVEBITS
#define CS_SAVEBITS 0x0800
#endif

BOOL CQUIVACaptureManagerApp::InitInstance(const std::vector<std::wstring>& arguments)
{
    WNDCLASSW wc {};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_SAVEBITS;
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = KXM_MONITOR_WINDOW_CLASS;
    RegisterClassW(&wc);

    Gdiplus::GdiplusStartupInput input;
    input.SuppressBackgroundThread = TRUE;
    Gdiplus::GdiplusStartupOutput output {};
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, &output);
    INITCOMMONCONTROLSEX controls {sizeof(INITCOMMONCONTROLSEX), 0xFF};
    InitCommonControlsEx(&controls);
    // The panel and the log draw in the monitor's dark look.
    CKXCtrlTheme::SetInstance(new CKXMonitorTheme());

    CQUIVACaptureManagerDlg dlg(arguments);
    m_pMainDlg = &dlg;
    dlg.DoModal();
    m_pMainDlg = nullptr;
    // The program ends with its dialog.
    return FALSE;
}

int CQUIVACaptureManagerApp::ExitInstance()
{
    if (m_gdiplusToken)
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
    m_gdiplusToken = 0;
    delete CKXCtrlMouseCursorInternal::ExistingInstance();
    delete CKXCtrlTheme::ExistingInstance();
    UnregisterClassW(KXM_MONITOR_WINDOW_CLASS, GetModuleHandleW(nullptr));
    return 0;
}
