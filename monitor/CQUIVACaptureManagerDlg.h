// The monitor's main dialog: at start-up it finds the capture sources, publishes them in the
// shared memory the capture module reads, and then either waits minimised (started with
// "-device") or runs as the device manager: a tree of the sources, the preview of the chosen
// one, the panel with its filter graph and log, and the buttons that import, export and delete
// graph files, save the graph list and switch the DVD entry on and off.
#pragma once

#include <string>
#include <vector>

#include "framework/CKXWnd.h"
#include "monitor/CKXCtrlWndFilterManager.h"
#include "monitor/CKXMCaptureEx.h"
#include "monitor/CKXQUIVACaptureWnd.h"
#include "platform/ui/CDialog.h"
#include "platform/ui/CTreeCtrl.h"

// The published text with its terminator fits in the view: at most 511 characters.
inline constexpr int KXM_DEVICE_TEXT_MAX = KXM_SHARED_MEMORY_SIZE / 2 - 1;

// Resources and controls of the device manager.
enum {
    IDS_ABOUTBOX = 101,
    IDR_MAINFRAME = 128,
    IDC_TREE_DEVICE = 1000,
    IDC_BUTTON_IMPORT = 1001,
    IDC_BUTTON_SAVE = 1002,
    IDC_BUTTON_DELETE = 1003,
    IDC_BUTTON_CLOSE = 1004,
    IDC_CHECK_DVD = 1005,
    IDC_BUTTON_EXPORT = 1007,
    IDM_ABOUTBOX = 0x0010,
};

// The About box, centred over the window that opens it.
class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(CWnd* owner = nullptr);
    BOOL OnInitDialog() override;
};

class CQUIVACaptureManagerDlg : public CDialog {
public:
    // `arguments`: the command line split into arguments, the program path first.
    explicit CQUIVACaptureManagerDlg(std::vector<std::wstring> arguments);
    ~CQUIVACaptureManagerDlg() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    void PublishDeviceList();
    // Names the sources the device text cannot carry to the capture window (the text is full,
    // or a name would not read back) on the debugger output and, once the panel exists, in its
    // log.
    void ReportUnpublishedSources();
    static HANDLE CreateDeviceSharedMemory();
    static void WriteSharedMemory(HANDLE mapping, const CString& text);

    // Whether the arguments ask for the publishing role ("-device" in any case, at any place).
    static bool IsDeviceMode(const std::vector<std::wstring>& arguments);

    CKXMCaptureEx& Capture() { return m_capture; }
    CKXCtrlWndFilterManager& Panel() { return m_panel; }
    CTreeCtrl& Tree() { return m_tree; }
    CKXQUIVACaptureWnd& Preview() { return m_preview; }
    CKXWnd& Host() { return m_host; }
    bool DeviceMode() const { return m_bDeviceMode; }

    // The tree: the root "장치목록" with the groups "검색장치", "Graph파일" and "확장", and an
    // item per entry carrying the entry.
    void FillDeviceTree();
    // Tree, preview (below the tree, 3/4 of its width high) and panel (to its right) fitted to
    // the client area.
    void RecalcLayout();

    // Device manager commands.
    // Starts the chosen source (none: a group or the root, nothing happens): a fresh log, its
    // graph built and shown, the preview running when the graph runs.
    void OnSelectDevice(_KXMCaptureDeviceInfo* entry);
    void OnImportGraph();
    void OnExportGraph();
    // Writes the graph list with the DVD flag as last exchanged.
    void OnSaveList();
    // Deletes the graph file chosen in the tree (stopping the preview first when it is the one
    // shown); anything else is refused with a message box.
    void OnDeleteGraphFile();
    // The DVD check box: on shows the DVD entry under "확장" (the listed one, else a new one);
    // off takes its item away, the entry staying listed until the program ends.
    void OnDvdCheck();

    // The entry of a tree item (none for the root and the groups).
    _KXMCaptureDeviceInfo* EntryOf(HTREEITEM item) const;
    HTREEITEM GroupItem(int type) const;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(HDC hdc) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnGetMinMaxInfo(MINMAXINFO* mmi) override;
    void OnSysCommand(UINT id, LPARAM lParam);
    BOOL OnCommand(UINT id, UINT code);
    // The device manager's contents: tree, preview, panel, DVD box, layout.
    void BuildContents();
    // A failure the person must hear of.
    void ShowError(LPCWSTR text);
    // Runs the preview when the graph was built, else shows its placeholder; the panel's
    // buttons follow.
    void StartPreview();

    HICON m_hIcon = nullptr;
    int m_bDvd = FALSE;
    CTreeCtrl m_tree;
    CKXMCaptureEx m_capture;
    CKXQUIVACaptureWnd m_preview;
    CKXWnd m_host;
    // After the engine, so it goes first and lets go of the engine's reports.
    CKXCtrlWndFilterManager m_panel;
    HTREEITEM m_hRoot = nullptr;
    HTREEITEM m_hSearched = nullptr;
    HTREEITEM m_hGraphFiles = nullptr;
    HTREEITEM m_hExtension = nullptr;

    std::vector<std::wstring> m_arguments;
    bool m_bDeviceMode = false;
    // Open as long as the dialog, which lives until the program ends, so the text stays readable.
    HANDLE m_hSharedMemory = nullptr;
};
