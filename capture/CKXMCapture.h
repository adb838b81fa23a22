// The capture engine: the device list published by the device monitor, the graph of the chosen
// source, its renderer in the preview window, capture formats, colour control, stills, AVI
// recording, DVD menus, and the failure log.
#pragma once

#include <string>
#include <vector>

#include "platform/base/CArray.h"
#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

// Connector kind of a crossbar input as the monitor publishes it.
enum KXMSOURCE_TYPE {
    KXMSOURCE_TYPE_UNKNOWN = -1,
    KXMSOURCE_TYPE_COMPOSITE = 0,
    KXMSOURCE_TYPE_SVIDEO = 1,
    KXMSOURCE_TYPE_COMPONENT = 2,
    KXMSOURCE_TYPE_HDMI = 3,
};

// One capture source: one line of the monitor's device text.
struct _KXMCaptureDeviceInfo {
    int type = 0;  // 0 crossbar input, 1 video input device, 2 saved graph file, 3 DVD
    CString displayName;
    CString sourceName;
    CString connectorName;
    int connectorKind = 0;  // KXMSOURCE_TYPE
    int physConnType = 0;
    int pinIndex = 0;
    int reserved0 = 0;
    int reserved1 = -1;
};

// The device monitor's program, its switch for publishing the list, and the mapping it publishes.
inline constexpr const wchar_t* KXM_MONITOR_IMAGE = L"QUIVACaptureManager.exe";
inline constexpr const wchar_t* KXM_SHARED_MEMORY = L"KXMSharedMemory";
inline constexpr int KXM_SHARED_MEMORY_SIZE = 1024;

class CKXMCapture {
public:
    CKXMCapture();
    virtual ~CKXMCapture();
    CKXMCapture(const CKXMCapture&) = delete;
    CKXMCapture& operator=(const CKXMCapture&) = delete;

    // Device list.
    int GetDeviceCount() const;
    CString GetDeviceName(int index) const;
    CString GetCurrentDeviceName() const;

    // A failed COM call: 0 for a success code, else 1 after a message on the debugger output.
    static int CheckResult(HRESULT hr, LPCWSTR context);

    // Appends the records of a device text (what the monitor published) to `devices`. `cutAtEnd`
    // says the text filled the whole view without a terminator: its last piece without a line
    // feed was cut and is dropped.
    static void ParseDeviceText(const std::wstring& text, bool cutAtEnd,
                                CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*>& devices);

protected:
    HWND m_hPreviewWnd = nullptr;
    CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*> m_devices;
    _KXMCaptureDeviceInfo* m_pCurrentDevice = nullptr;
};

// The connector-kind field of a device line: exactly "0".."3", anything else -1.
int SourceTypeFromName(const std::wstring& text);

// The UTF-16LE text at the start of a shared-memory view, up to its first NUL and never beyond
// `bytes`. `filled` tells whether the text ran to the view's end without a NUL.
std::wstring DeviceTextFromView(const void* view, size_t bytes, bool* filled);

// Appends one time-stamped line to the engine log "quivacapture.log.txt" in the current folder.
void WriteLog(LPCWSTR message);
