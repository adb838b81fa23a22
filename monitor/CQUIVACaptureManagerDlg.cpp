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
