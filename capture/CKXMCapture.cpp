#include "capture/CKXMCapture.h"

#include <algorithm>

#include <cstdint>
#include <cstring>
#include <cwchar>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/filemapping.h"
#include "platform/base/process.h"

CKXMCapture::CKXMCapture()
{
    CoInitialize(nullptr);
}

CKXMCapture::~CKXMCapture()
{
    // A recording still open is finished first, so its file is complete and no tick can reach
    // a graph that is going away.
    EndRecording();
    std::lock_guard lock(m_lock);
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i)
        delete m_devices[i];
    m_devices.RemoveAll();
    m_pCurrentDevice = nullptr;
    Stop();
    if (m_pGraph) {
        m_pGraph->Abort();
        RemoveAllFilters(0);
    }
    m_pCaptureBuilder.Reset();
    CoUninitialize();
}

void CKXMCapture::ConstructDeviceList()
{
    HANDLE monitor = LaunchMonitor(L"-device");
    // Read without the lock: the waits are long, and the list is only appended to below.
    CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*> read;
    ReadDeviceRecords(read, monitor);
    if (monitor)
        CloseHandle(monitor);
    {
        std::lock_guard lock(m_lock);
        for (INT_PTR i = 0; i < read.GetSize(); ++i)
            m_devices.Add(read[i]);
    }
    Sleep(300);
    KillMonitor();
    OutputDebugStringW(L"ConstructDeviceList (3)");
    OutputDebugStringW(L"ConstructDeviceList (4)");
}

HANDLE CKXMCapture::LaunchMonitor(LPCWSTR arguments)
{
    std::wstring commandLine = std::wstring(KXM_MONITOR_IMAGE) + L" " + (arguments ? arguments : L"");
    STARTUPINFOW si {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        OutputDebugStringW(L"Failed to launch QUIVACaptureManager.exe\n");
        return nullptr;
    }
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

namespace {

// The text the monitor published, empty while it has published nothing (no shared memory yet,
// or one opened between its creation and its writing).
std::wstring PublishedText(bool* filled)
{
    std::wstring text;
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, KXM_SHARED_MEMORY);
    if (!mapping)
        return text;
    if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, KXM_SHARED_MEMORY_SIZE)) {
        text = DeviceTextFromView(view, KXM_SHARED_MEMORY_SIZE, filled);
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    return text;
}

bool StillRunning(HANDLE process)
{
    DWORD code = 0;
    return GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
}

}  // namespace

void CKXMCapture::ReadDeviceRecords(CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*>& devices, HANDLE monitor)
{
    Sleep(500);
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, KXM_SHARED_MEMORY);
    for (int retry = 0; !mapping && retry <= 10000; retry += 1000) {
        OutputDebugStringW(L"Failed to open shared memory\n");
        Sleep(500);
        mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, KXM_SHARED_MEMORY);
    }
    const bool opened = mapping != nullptr;
    if (mapping)
        CloseHandle(mapping);
    bool filled = false;
    std::wstring text = PublishedText(&filled);
    // A monitor started on a busy machine may publish later than the waits above; one that was
    // caught between making its shared memory and writing it publishes at once. Either is waited
    // for while it runs, within a bound, instead of leaving the module without sources.
    if (text.empty() && monitor) {
        const DWORD bound = opened ? KXM_MONITOR_WRITE_WAIT_MS : KXM_MONITOR_LATE_WAIT_MS;
        const DWORD start = GetTickCount();
        OutputDebugStringW(L"Waiting for the device monitor\n");
        while (text.empty() && StillRunning(monitor) && GetTickCount() - start < bound) {
            Sleep(KXM_MONITOR_POLL_MS);
            text = PublishedText(&filled);
        }
    }
    if (text.empty()) {
        OutputDebugStringW(L"No data in shared memory\n");
        return;
    }
    ParseDeviceText(text, filled, devices);
}

void CKXMCapture::KillMonitor()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (std::wcscmp(entry.szExeFile, KXM_MONITOR_IMAGE) != 0)
            continue;
        // Monitors of other users on the same machine are theirs.
        struct stat st {};
        const std::string proc = "/proc/" + std::to_string(entry.th32ProcessID);
        if (::stat(proc.c_str(), &st) != 0 || st.st_uid != ::geteuid())
            continue;
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
        if (!process)
            continue;
        OutputDebugStringW(L"kill");
        TerminateProcess(process, 0);
        CloseHandle(process);
    }
    CloseHandle(snapshot);
}

int CKXMCapture::GetDeviceCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_devices.GetSize());
}

CString CKXMCapture::GetDeviceName(int index) const
{
    std::lock_guard lock(m_lock);
    if (index < 0 || index >= m_devices.GetSize())
        return CString();
    return m_devices[index]->displayName;
}

CString CKXMCapture::GetCurrentDeviceName() const
{
    std::lock_guard lock(m_lock);
    return m_pCurrentDevice ? m_pCurrentDevice->displayName : CString();
}

int SourceTypeFromName(const std::wstring& text)
{
    if (text == L"0")
        return KXMSOURCE_TYPE_COMPOSITE;
    if (text == L"1")
        return KXMSOURCE_TYPE_SVIDEO;
    if (text == L"2")
        return KXMSOURCE_TYPE_COMPONENT;
    if (text == L"3")
        return KXMSOURCE_TYPE_HDMI;
    return KXMSOURCE_TYPE_UNKNOWN;
}

std::wstring DeviceTextFromView(const void* view, size_t bytes, bool* filled)
{
    const auto* p = static_cast<const unsigned char*>(view);
    size_t units = bytes / 2;
    size_t n = 0;
    while (n < units && (p[2 * n] | p[2 * n + 1]) != 0)
        ++n;
    // The writer keeps the last unit for the terminator: text up to it filled the view.
    if (filled)
        *filled = units > 0 && n + 1 >= units;
    return quiva::Utf16LEToWide(p, n * 2);
}

namespace {

// The fields of one line, split at "@@": the text before each separator is a field, even when
// empty; the rest after the last separator only when it is not empty.
std::vector<std::wstring> SplitFields(const std::wstring& line)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (;;) {
        size_t at = line.find(L"@@", start);
        if (at == std::wstring::npos)
            break;
        fields.push_back(line.substr(start, at - start));
        start = at + 2;
    }
    if (start < line.size())
        fields.push_back(line.substr(start));
    return fields;
}

}  // namespace

void CKXMCapture::ParseDeviceText(const std::wstring& text, bool cutAtEnd,
                                  CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*>& devices)
{
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        bool lastPiece = (end == std::wstring::npos);
        if (lastPiece)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        start = end + 1;
        // A list longer than the view is cut at its end; a last line without its line feed was
        // cut there and its numbers cannot be trusted.
        if (line.empty() || (lastPiece && cutAtEnd))
            continue;
        std::vector<std::wstring> f = SplitFields(line);
        // A field starting with "@" was split from a name that held one next to a separator:
        // the line does not say which source it means.
        if (f.size() != 7 || std::any_of(f.begin(), f.end(), [](const std::wstring& x) { return !x.empty() && x[0] == L'@'; }))
            continue;
        auto* info = new _KXMCaptureDeviceInfo;
        info->type = _wtoi(f[0].c_str());
        info->sourceName = f[1].c_str();
        info->connectorName = f[2].c_str();
        info->displayName = f[3].c_str();
        info->connectorKind = SourceTypeFromName(f[4]);
        info->pinIndex = _wtoi(f[5].c_str());
        info->physConnType = _wtoi(f[6].c_str());
        devices.Add(info);
    }
}
