#include "monitor/CQUIVACaptureManagerDlg.h"

#include <algorithm>
#include <cstring>

#include "monitor/CQUIVACaptureManagerApp.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/filemapping.h"
#include "platform/gdi/gdi.h"
#include "platform/media/guids.h"
#include "platform/ui/buttons.h"
#include "platform/ui/dialog.h"
#include "platform/ui/filedialogs.h"
#include "platform/ui/menu.h"
#include "platform/ui/msgbox.h"
#include "platform/ui/staticcontrol.h"
#include "platform/ui/syscolor.h"
#include "platform/ui/windowicon.h"

namespace {

using quiva::ui::DialogItem;
using quiva::ui::DialogTemplate;

constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;

const DialogItem kManagerItems[] = {
    {{WS_BORDER | WS_TABSTOP | WS_HSCROLL | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS |
          TVS_TRACKSELECT,
      0, 7, 25, 153, 278, IDC_TREE_DEVICE},
     WC_TREEVIEWW, L""},
    {{kButton, 0, 7, 7, 50, 14, IDC_BUTTON_IMPORT}, WC_BUTTONW, L"가져오기"},
    {{kButton, 0, 59, 7, 50, 14, IDC_BUTTON_EXPORT}, WC_BUTTONW, L"내보내기"},
    {{kButton, 0, 110, 7, 50, 14, IDC_BUTTON_SAVE}, WC_BUTTONW, L"저장하기"},
    {{kButton, 0, 162, 7, 50, 14, IDC_BUTTON_DELETE}, WC_BUTTONW, L"삭제하기"},
    {{BS_AUTOCHECKBOX | WS_TABSTOP, 0, 218, 8, 59, 10, IDC_CHECK_DVD}, WC_BUTTONW, L"DVD기능 적용"},
    {{kButton, 0, 277, 7, 50, 14, IDC_BUTTON_CLOSE}, WC_BUTTONW, L"종료"},
};

const DialogTemplate kManagerTemplate = {
    {WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | DS_SETFONT | DS_FIXEDSYS, WS_EX_APPWINDOW,
     static_cast<WORD>(std::size(kManagerItems)), 0, 0, 550, 310},
    L"QUIVA 캡쳐장비 관리자",
    9,
    L"MS Shell Dlg",
    kManagerItems,
};

const DialogItem kAboutItems[] = {
    {{SS_ICON, 0, 14, 14, 21, 20, 0xFFFF}, WC_STATICW, L"#128"},
    {{SS_LEFT | SS_NOPREFIX, 0, 42, 14, 114, 8, 0xFFFF}, WC_STATICW, L"QUIVACaptureManager, 버전 1.0"},
    {{SS_LEFT, 0, 42, 26, 114, 8, 0xFFFF}, WC_STATICW, L"캡쳐장비 목록과 필터 그래프"},
    {{BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP, 0, 113, 41, 50, 14, IDOK}, WC_BUTTONW, L"확인"},
};

const DialogTemplate kAboutTemplate = {
    {DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS, 0,
     static_cast<WORD>(std::size(kAboutItems)), 0, 0, 170, 62},
    L"QUIVACaptureManager 정보",
    9,
    L"MS Shell Dlg",
    kAboutItems,
};

constexpr const wchar_t kGraphFilter[] = L"GraphFiles(*.grf)\0*.grf\0All Files (*.*)\0*.*\0";

// The path the person chose in a graph-file dialog, or empty when cancelled.
CString AskGraphFile(HWND owner, bool save)
{
    wchar_t file[MAX_PATH] = L"*.grf";
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kGraphFilter;
    ofn.lpstrFile = file;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = save ? L"Graph파일저장" : L"Graph파일 불러오기";
    ofn.Flags = OFN_FILEMUSTEXIST;
    // The extension a typed name without one gets.
    ofn.lpstrDefExt = L"grf";
    const BOOL ok = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    return ok ? CString(file) : CString();
}

// Whether the file is a graph file: a compound file holding the graph's stream.
bool IsGraphFile(LPCWSTR path)
{
    if (StgIsStorageFile(path) != S_OK)
        return false;
    quiva::ComPtr<IStorage> storage;
    quiva::ComPtr<IStream> stream;
    return SUCCEEDED(StgOpenStorage(path, nullptr, STGM_TRANSACTED | STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                    storage.Put())) &&
           SUCCEEDED(storage->OpenStream(L"ActiveMovieGraph", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                         stream.Put()));
}

}  // namespace

CAboutDlg::CAboutDlg(CWnd* owner)
{
    InitModalIndirect(&kAboutTemplate.t, owner);
}

BOOL CAboutDlg::OnInitDialog()
{
    const BOOL result = CDialog::OnInitDialog();
    // The template places the box at the screen's corner: it opens over its owner instead.
    CRect r;
    GetWindowRect(&r);
    quiva::ui::CentreOverOwner(m_hWnd, r.Width(), r.Height());
    return result;
}

CQUIVACaptureManagerDlg::CQUIVACaptureManagerDlg(std::vector<std::wstring> arguments)
    : m_arguments(std::move(arguments))
{
    m_hIcon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    InitModalIndirect(&kManagerTemplate.t, nullptr);
    m_preview.m_pEngine = &m_capture;
    m_panel.SetEngine(&m_capture);
}

CQUIVACaptureManagerDlg::~CQUIVACaptureManagerDlg()
{
    if (m_hSharedMemory)
        CloseHandle(m_hSharedMemory);
    if (m_hIcon)
        DestroyIcon(m_hIcon);
}

bool CQUIVACaptureManagerDlg::IsDeviceMode(const std::vector<std::wstring>& arguments)
{
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::wstring& a) { return _wcsicmp(a.c_str(), L"-device") == 0; });
}

BOOL CQUIVACaptureManagerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    // The About item of the window menu.
    wchar_t about[128] = {};
    if (LoadStringW(nullptr, IDS_ABOUTBOX, about, 128) > 0) {
        HMENU menu = GetSystemMenu(m_hWnd, FALSE);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about);
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    CoInitialize(nullptr);
    // The list is complete before anything is published: crossbar inputs, video input devices,
    // then the saved graphs and the DVD entry.
    m_capture.EnumerateDevices(AM_KSCATEGORY_CROSSBAR, 0);
    m_capture.EnumerateDevices(CLSID_VideoInputDeviceCategory, 1);
    m_capture.LoadGraphList();

    m_bDeviceMode = IsDeviceMode(m_arguments);
    PublishDeviceList();
    if (m_bDeviceMode) {
        // Waits minimised until the capture module ends the process.
        ShowWindow(SW_SHOWMINIMIZED);
        PostMessageW(m_hWnd, WM_SHOWWINDOW, FALSE, 4);
        return TRUE;
    }
    BuildContents();
    return TRUE;
}

void CQUIVACaptureManagerDlg::BuildContents()
{
    UpdateData(TRUE);  // binds the tree
    FillDeviceTree();
    m_preview.Create(this);
    m_host.Create(this, 0, 0, 0, 0, 0);
    m_host.SetRootControl(&m_panel);
    // A saved list with the DVD function keeps it when saved again.
    m_bDvd = m_capture.HasDvdEntry();
    UpdateData(FALSE);
    RecalcLayout();
    // Published before the panel was there to hear it.
    ReportUnpublishedSources();
}

void CQUIVACaptureManagerDlg::DoDataExchange(CDataExchange* dx)
{
    DDX_Check(dx, IDC_CHECK_DVD, m_bDvd);
    DDX_Control(dx, IDC_TREE_DEVICE, m_tree);
}

void CQUIVACaptureManagerDlg::PublishDeviceList()
{
    HANDLE mapping = CreateDeviceSharedMemory();
    if (!mapping) {
        OutputDebugStringW(L"Failed to create shared memory\n");
        return;
    }
    WriteSharedMemory(mapping, m_capture.DeviceText(KXM_DEVICE_TEXT_MAX));
    // Started by hand, the device manager reports them once its panel is up.
    if (m_bDeviceMode)
        ReportUnpublishedSources();
    if (m_hSharedMemory)
        CloseHandle(m_hSharedMemory);
    m_hSharedMemory = mapping;
}

void CQUIVACaptureManagerDlg::ReportUnpublishedSources()
{
    std::vector<CString> notFitting, unreadable;
    m_capture.DeviceText(KXM_DEVICE_TEXT_MAX, &notFitting, &unreadable);
    auto report = [&](const std::vector<CString>& names, LPCWSTR format) {
        for (const CString& name : names) {
            CString line;
            line.Format(format, static_cast<LPCWSTR>(name), KXM_DEVICE_TEXT_MAX);
            OutputDebugStringW(line + L"\n");
            m_capture.Log(line);
        }
    };
    report(notFitting, L"[%s]: 캡처 창에 넘기는 장치목록(%d자)이 가득 차서 넘기지 못합니다.");
    report(unreadable, L"[%s]: 이름에 \"@@\"나 줄바꿈이 있어 캡처 창에 넘기지 못합니다(%d자 목록).");
}

HANDLE CQUIVACaptureManagerDlg::CreateDeviceSharedMemory()
{
    return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, KXM_SHARED_MEMORY_SIZE,
                              KXM_SHARED_MEMORY);
}

void CQUIVACaptureManagerDlg::WriteSharedMemory(HANDLE mapping, const CString& text)
{
    void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, KXM_SHARED_MEMORY_SIZE);
    if (!view)
        return;
    // UTF-16LE with its terminator, never beyond the view; a text cut here still ends in a zero.
    std::string units = quiva::WideToUtf16LE(text.GetString());
    units.resize(std::min<size_t>(units.size(), KXM_SHARED_MEMORY_SIZE - 2) & ~size_t(1));
    units.append(2, '\0');
    std::memcpy(view, units.data(), units.size());
    UnmapViewOfFile(view);
    OutputDebugStringW(L"WriteToSharedMemory");
}

void CQUIVACaptureManagerDlg::FillDeviceTree()
{
    if (!m_tree.m_hWnd)
        return;
    m_tree.DeleteAllItems();
    m_hRoot = m_tree.InsertItem(L"장치목록");
    m_hSearched = m_tree.InsertItem(L"검색장치", m_hRoot);
    m_hGraphFiles = m_tree.InsertItem(L"Graph파일", m_hRoot);
    m_hExtension = m_tree.InsertItem(L"확장", m_hRoot);
    for (int i = 0; const _KXMCaptureDeviceInfo* e = m_capture.GetEntry(i); ++i) {
        // The item carries the entry itself: two entries of one name stay apart.
        m_tree.InsertItem(e->displayName, reinterpret_cast<LPARAM>(e), GroupItem(e->type));
    }
    for (HTREEITEM item : {m_hRoot, m_hSearched, m_hGraphFiles, m_hExtension})
        m_tree.Expand(item, TVE_EXPAND);
}

HTREEITEM CQUIVACaptureManagerDlg::GroupItem(int type) const
{
    switch (type) {
    case KXM_DEVICE_CROSSBAR:
    case KXM_DEVICE_CAPTURE: return m_hSearched;
    case KXM_DEVICE_GRAPH_FILE: return m_hGraphFiles;
    default: return m_hExtension;
    }
}

_KXMCaptureDeviceInfo* CQUIVACaptureManagerDlg::EntryOf(HTREEITEM item) const
{
    return item && m_tree.m_hWnd ? reinterpret_cast<_KXMCaptureDeviceInfo*>(m_tree.GetItemData(item)) : nullptr;
}

void CQUIVACaptureManagerDlg::RecalcLayout()
{
    if (!m_hWnd || !m_preview.m_hWnd || !m_tree.m_hWnd)
        return;
    CRect client;
    GetClientRect(&client);
    CRect tree;
    m_tree.GetWindowRect(&tree);
    ScreenToClient(&tree);
    const int width = tree.Width();
    const int previewHeight = width * 3 / 4;
    tree.bottom = client.bottom - previewHeight - 15;
    m_tree.MoveWindow(&tree);
    m_preview.MoveWindow(tree.left, tree.bottom + 5, width, previewHeight);
    m_host.MoveWindow(tree.right + 5, tree.top, client.right - tree.right - 5, client.bottom - tree.top);
}

void CQUIVACaptureManagerDlg::StartPreview()
{
    if (m_capture.m_bRunning) {
        // The buttons follow what the graph does, not what was asked of it.
        m_panel.SetRunning(m_capture.Start(m_preview.m_hWnd) ? TRUE : FALSE);
    } else {
        m_panel.SetRunning(FALSE);
        m_preview.Invalidate();
    }
}

void CQUIVACaptureManagerDlg::OnSelectDevice(_KXMCaptureDeviceInfo* entry)
{
    if (!entry)
        return;
    m_panel.LogDeviceStart(entry);
    m_capture.EnsureGraph();
    m_capture.m_nRendererKind = KXM_RENDERER_EVR;
    m_capture.SelectEntry(m_preview.m_hWnd, entry);
    m_panel.ShowGraph(entry);
    StartPreview();
    m_host.Invalidate();
}

void CQUIVACaptureManagerDlg::OnImportGraph()
{
    const CString path = AskGraphFile(m_hWnd, false);
    if (!path.IsEmpty()) {
        m_capture.EnsureGraph();
        m_capture.m_nRendererKind = KXM_RENDERER_EVR;
        m_capture.m_hPreviewWnd = m_preview.m_hWnd;
        if (!IsGraphFile(path)) {
            // A file that is no graph file is not listed: the list stays as it was.
            ShowError(L"그래프파일을 불러올 수 없습니다.");
        } else if (_KXMCaptureDeviceInfo* entry = m_capture.ImportGraph(path)) {
            m_panel.ShowGraph(entry);
            StartPreview();
            m_host.Invalidate();
            ReportUnpublishedSources();
        }
    }
    FillDeviceTree();
}

void CQUIVACaptureManagerDlg::OnExportGraph()
{
    const CString path = AskGraphFile(m_hWnd, true);
    if (!path.IsEmpty() && !m_capture.ExportGraph(path))
        ShowError(L"그래프파일을 저장할 수 없습니다.");
}

void CQUIVACaptureManagerDlg::OnSaveList()
{
    if (!m_capture.SaveGraphList(m_bDvd))
        ShowError(L"그래프파일 목록을 저장할 수 없습니다.");
}

void CQUIVACaptureManagerDlg::OnDeleteGraphFile()
{
    HTREEITEM item = m_tree.m_hWnd ? m_tree.GetSelectedItem() : nullptr;
    _KXMCaptureDeviceInfo* entry = EntryOf(item);
    if (!item || !entry || m_tree.GetParentItem(item) != m_hGraphFiles) {
        MessageBoxW(m_hWnd, L"외부 그래프파일만 삭제할 수 있습니다.", L"선택오류", MB_OK);
        return;
    }
    if (m_panel.m_pCurrentEntry == entry || m_capture.GetCurrentEntry() == entry) {
        // The graph shown goes with its entry: stopped and taken apart first.
        m_capture.Stop();
        m_capture.RemoveAllFilters(1);
        m_panel.ShowGraph(nullptr);
        m_panel.SetRunning(FALSE);
        m_preview.Invalidate();
    }
    m_capture.RemoveEntry(entry);
    m_host.Invalidate();
    FillDeviceTree();
}

void CQUIVACaptureManagerDlg::OnDvdCheck()
{
    UpdateData(TRUE);
    if (!m_bDvd) {
        // The entry stays listed until the program ends.
        if (HTREEITEM first = m_tree.GetChildItem(m_hExtension))
            m_tree.DeleteItem(first);
        return;
    }
    for (int i = 0; const _KXMCaptureDeviceInfo* e = m_capture.GetEntry(i); ++i) {
        if (e->type == KXM_DEVICE_DVD) {
            m_tree.InsertItem(e->displayName, reinterpret_cast<LPARAM>(e), m_hExtension);
            return;
        }
    }
    _KXMCaptureDeviceInfo* dvd = m_capture.AddDvdEntry();
    HTREEITEM item = m_tree.InsertItem(dvd->displayName, reinterpret_cast<LPARAM>(dvd), m_hExtension);
    m_tree.EnsureVisible(item);
    m_tree.Expand(m_hExtension, TVE_EXPAND);
    // The capture window gets the list at its next start: say now what it will not get.
    ReportUnpublishedSources();
}

void CQUIVACaptureManagerDlg::ShowError(LPCWSTR text)
{
    MessageBoxW(m_hWnd, text, L"QUIVA 캡쳐장비 관리자", MB_OK | MB_ICONWARNING);
}

void CQUIVACaptureManagerDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.DoModal();
        return;
    }
    DefWindowProc(WM_SYSCOMMAND, id, lParam);
}

BOOL CQUIVACaptureManagerDlg::OnCommand(UINT id, UINT code)
{
    if (code != BN_CLICKED)
        return FALSE;
    switch (id) {
    case IDC_BUTTON_IMPORT: OnImportGraph(); return TRUE;
    case IDC_BUTTON_EXPORT: OnExportGraph(); return TRUE;
    case IDC_BUTTON_SAVE: OnSaveList(); return TRUE;
    case IDC_BUTTON_DELETE: OnDeleteGraphFile(); return TRUE;
    case IDC_CHECK_DVD: OnDvdCheck(); return TRUE;
    case IDC_BUTTON_CLOSE: OnOK(); return TRUE;
    default: return FALSE;
    }
}

LRESULT CQUIVACaptureManagerDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        OnSysCommand(static_cast<UINT>(wParam), lParam);
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hIcon);
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL && OnCommand(LOWORD(wParam), HIWORD(wParam)))
            return 0;
        break;
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(lParam);
        if (hdr && hdr->idFrom == IDC_TREE_DEVICE && hdr->code == TVN_SELCHANGEDW) {
            const auto* nm = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            OnSelectDevice(reinterpret_cast<_KXMCaptureDeviceInfo*>(nm->itemNew.lParam));
            return 0;
        }
        break;
    }
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CQUIVACaptureManagerDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    PAINTSTRUCT ps;
    HDC dc = ::BeginPaint(m_hWnd, &ps);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    CRect client;
    GetClientRect(&client);
    const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

BOOL CQUIVACaptureManagerDlg::OnEraseBkgnd(HDC hdc)
{
    // The dialog face above the tree and down its left side; the preview and the panel paint
    // the rest.
    if (!m_tree.m_hWnd)
        return CDialog::OnEraseBkgnd(hdc);
    CRect client, tree;
    GetClientRect(&client);
    m_tree.GetWindowRect(&tree);
    ScreenToClient(&tree);
    HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
    const RECT top{0, 0, client.right, tree.top};
    const RECT left{0, 0, tree.right + 5, client.bottom};
    FillRect(hdc, &top, face);
    FillRect(hdc, &left, face);
    return FALSE;
}

void CQUIVACaptureManagerDlg::OnSize(UINT type, int cx, int cy)
{
    CDialog::OnSize(type, cx, cy);
    RecalcLayout();
}

void CQUIVACaptureManagerDlg::OnGetMinMaxInfo(MINMAXINFO* mmi)
{
    mmi->ptMinTrackSize = POINT{640, 480};
}
