#include "monitor/CQUIVACaptureManagerDlg.h"

#include <algorithm>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/filemapping.h"
#include "platform/media/guids.h"

CQUIVACaptureManagerDlg::CQUIVACaptureManagerDlg(std::vector<std::wstring> arguments)
    : m_arguments(std::move(arguments))
{
    m_template.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    m_template.cx = 640;
    m_template.cy = 480;
    InitModalIndirect(&m_template, nullptr);
    m_panel.SetEngine(&m_capture);
}

CQUIVACaptureManagerDlg::~CQUIVACaptureManagerDlg()
{
    if (m_hSharedMemory)
        CloseHandle(m_hSharedMemory);
}

bool CQUIVACaptureManagerDlg::IsDeviceMode(const std::vector<std::wstring>& arguments)
{
    return std::any_of(arguments.begin(), arguments.end(),
                       [](const std::wstring& a) { return _wcsicmp(a.c_str(), L"-device") == 0; });
}

BOOL CQUIVACaptureManagerDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
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

void CQUIVACaptureManagerDlg::PublishDeviceList()
{
    HANDLE mapping = CreateDeviceSharedMemory();
    if (!mapping) {
        OutputDebugStringW(L"Failed to create shared memory\n");
        return;
    }
    WriteSharedMemory(mapping, m_capture.DeviceText(KXM_DEVICE_TEXT_MAX));
    if (m_hSharedMemory)
        CloseHandle(m_hSharedMemory);
    m_hSharedMemory = mapping;
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

void CQUIVACaptureManagerDlg::OnSelectDevice(_KXMCaptureDeviceInfo* entry)
{
    if (!entry)
        return;
    m_panel.LogDeviceStart(entry);
    if (!m_capture.m_pGraph)
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                         reinterpret_cast<void**>(&m_capture.m_pGraph));
    m_capture.m_nRendererKind = KXM_RENDERER_EVR;
    m_capture.SelectDevice(m_hPreview, entry->displayName);
    m_panel.ShowGraph(entry);
    if (m_capture.m_bRunning) {
        // The buttons follow what the graph does, not what was asked of it.
        m_panel.SetRunning(m_capture.Start(m_hPreview) ? TRUE : FALSE);
    } else {
        m_panel.SetRunning(FALSE);
        if (m_hPreview)
            ::InvalidateRect(m_hPreview, nullptr, TRUE);
    }
}

BOOL CQUIVACaptureManagerDlg::OnDeleteGraphFile(_KXMCaptureDeviceInfo* entry)
{
    if (!entry || entry->type != KXM_DEVICE_GRAPH_FILE)
        return FALSE;
    if (m_panel.m_pCurrentEntry == entry) {
        m_capture.Stop();
        m_panel.ShowGraph(nullptr);
        m_panel.SetRunning(FALSE);
    }
    m_capture.RemoveEntry(entry);
    return TRUE;
}

_KXMCaptureDeviceInfo* CQUIVACaptureManagerDlg::OnDvdCheck(BOOL on)
{
    m_bDvd = on ? TRUE : FALSE;
    if (!m_bDvd)
        return nullptr;
    for (int i = 0; i < m_capture.GetDeviceCount(); ++i) {
        const _KXMCaptureDeviceInfo* e = m_capture.GetEntry(i);
        if (e && e->type == KXM_DEVICE_DVD)
            return const_cast<_KXMCaptureDeviceInfo*>(e);
    }
    return m_capture.AddDvdEntry();
}

void CQUIVACaptureManagerDlg::OnSaveList()
{
    m_capture.SaveGraphList(m_bDvd);
}
