#include "monitor/CQUIVACaptureManagerApp.h"

#include "monitor/CQUIVACaptureManagerDlg.h"
#include "platform/base/resources.h"
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

    CQUIVACaptureManagerDlg dlg(arguments);
    m_pMainDlg = &dlg;
    dlg.DoModal();
    m_pMainDlg = nullptr;
    // The program ends with its dialog.
    return FALSE;
}

int CQUIVACaptureManagerApp::ExitInstance()
{
    UnregisterClassW(KXM_MONITOR_WINDOW_CLASS, GetModuleHandleW(nullptr));
    return 0;
}
