// The monitor program's application object: registers the window class of its preview and panel
// host windows, starts drawing and the common controls, installs the monitor's theme, runs the
// main dialog and ends when the dialog ends; its exit undoes the start-up.
#pragma once

#include <string>
#include <vector>

#include "platform/base/wintypes.h"

class CQUIVACaptureManagerDlg;

// Window class of the preview window and of the panel's host window.
inline constexpr const wchar_t* KXM_MONITOR_WINDOW_CLASS = L"QUIVACaptureWnd";

class CQUIVACaptureManagerApp {
public:
    // `arguments`: the command line split into arguments, the program path first.
    BOOL InitInstance(const std::vector<std::wstring>& arguments);
    int ExitInstance();

    CQUIVACaptureManagerDlg* m_pMainDlg = nullptr;  // while the dialog runs
    ULONG_PTR m_gdiplusToken = 0;
};
