// The monitor's main dialog: at start-up it finds the capture sources, publishes them in the
// shared memory the capture module reads, and then either waits minimised (started with
// "-device") or runs as the device manager.
#pragma once

#include <string>
#include <vector>

#include "monitor/CKXCtrlWndFilterManager.h"
#include "monitor/CKXMCaptureEx.h"
#include "platform/ui/CDialog.h"

// The published text with its terminator fits in the view: at most 511 characters.
inline constexpr int KXM_DEVICE_TEXT_MAX = KXM_SHARED_MEMORY_SIZE / 2 - 1;

class CQUIVACaptureManagerDlg : public CDialog {
public:
    // `arguments`: the command line split into arguments, the program path first.
    explicit CQUIVACaptureManagerDlg(std::vector<std::wstring> arguments);
    ~CQUIVACaptureManagerDlg() override;

    BOOL OnInitDialog() override;

    void PublishDeviceList();
    static HANDLE CreateDeviceSharedMemory();
    static void WriteSharedMemory(HANDLE mapping, const CString& text);

    // Whether the arguments ask for the publishing role ("-device" in any case, at any place).
    static bool IsDeviceMode(const std::vector<std::wstring>& arguments);

    CKXMCaptureEx& Capture() { return m_capture; }
    CKXCtrlWndFilterManager& Panel() { return m_panel; }

    // Device manager commands; the source tree hands over the entry of the chosen item (none
    // for the root and the groups).
    // Starts the chosen source: a fresh log, its graph built and shown, the preview running
    // when the graph runs.
    void OnSelectDevice(_KXMCaptureDeviceInfo* entry);
    // Deletes a graph-file entry (stopping the preview first when it is the one shown); any
    // other entry is refused with FALSE.
    BOOL OnDeleteGraphFile(_KXMCaptureDeviceInfo* entry);
    // The DVD check box: on gives the entry to show under the extension group (the listed one,
    // else a new one); off gives none and leaves the entry listed until the program ends.
    _KXMCaptureDeviceInfo* OnDvdCheck(BOOL on);
    // Writes the graph list with the DVD flag as last exchanged.
    void OnSaveList();
    bool DeviceMode() const { return m_bDeviceMode; }

protected:
    // The device manager's contents: source tree, preview, panel and their layout.
    virtual void BuildContents() {}

    CKXMCaptureEx m_capture;
    std::vector<std::wstring> m_arguments;
    bool m_bDeviceMode = false;
    BOOL m_bDvd = FALSE;
    HWND m_hPreview = nullptr;
    // After the engine, so it goes first and lets go of the engine's reports.
    CKXCtrlWndFilterManager m_panel;
    // Open as long as the dialog, which lives until the program ends, so the text stays readable.
    HANDLE m_hSharedMemory = nullptr;
    DLGTEMPLATE m_template {};
};
