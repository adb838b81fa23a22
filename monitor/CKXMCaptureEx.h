// The device monitor's engine: the capture engine's graph building for the preview, plus the
// device list this machine offers (crossbar inputs, video input devices, saved graph files and
// the DVD entry), the graph list file that names the saved graphs, and reports that reach the
// panel's on-screen log once the panel exists.
#pragma once

#include <functional>
#include <vector>

#include "capture/CKXMCapture.h"

// The graph list, in the process's current directory.
inline constexpr const wchar_t* KXM_GRAPH_LIST_FILE = L"QUIVACapture.GraphList";

// Entry types of the device list.
enum {
    KXM_DEVICE_CROSSBAR = 0,
    KXM_DEVICE_CAPTURE = 1,
    KXM_DEVICE_GRAPH_FILE = 2,
    KXM_DEVICE_DVD = 3,
};

class CKXMCaptureEx : public CKXMCapture {
public:
    using MessageSink = std::function<void(const CString&)>;

    CKXMCaptureEx();
    ~CKXMCaptureEx() override = default;

    // Appends the entries of one device category: kind 0 the inputs of every crossbar, kind 1
    // the video input devices.
    void EnumerateDevices(REFCLSID category, int kind);
    // Appends the graph-file entries and the DVD entry the graph list names.
    void LoadGraphList();
    // Rewrites the graph list from the graph-file entries and the DVD flag; FALSE when it could
    // not be written (the old list stays whole).
    BOOL SaveGraphList(BOOL dvdOn);
    // The new graph-file entry, or null when a source of that path is listed already.
    _KXMCaptureDeviceInfo* ImportGraph(LPCWSTR path);
    // Writes the current filter graph as a graph file; false without a graph or when the file
    // could not be written.
    BOOL ExportGraph(LPCWSTR path);
    _KXMCaptureDeviceInfo* AddDvdEntry();
    // Removes and frees an entry; one not in the list is ignored.
    void RemoveEntry(_KXMCaptureDeviceInfo* entry);

    // Previews the entry of that display name (empty: the current entry, else the first one) in
    // the window (null: the one stored). TRUE whenever an entry was chosen, whatever its graph
    // gave; the running flag tells whether the graph was built.
    BOOL SelectDevice(HWND window, LPCWSTR displayName);
    // The same for the entry itself (a listed one; null: the current entry, else the first one),
    // so two entries of one display name stay apart.
    BOOL SelectEntry(HWND window, _KXMCaptureDeviceInfo* entry);
    // Runs the graph in the window. A graph still starting (S_FALSE) counts as started but does
    // not set the running flag.
    BOOL Start(HWND window);

    // Reports the formats the capture filter offers on the debugger output and which one the
    // preview would take: the widest at 30 frames per second or more. Nothing is set on the pin.
    void DetectMediaType(IBaseFilter* capture);

    const _KXMCaptureDeviceInfo* GetEntry(int index) const;
    const _KXMCaptureDeviceInfo* GetCurrentEntry() const;
    BOOL HasDvdEntry() const;

    // The device text: one line per entry, in list order. Whole trailing lines are left out when
    // the text would not fit in `maxChars` UTF-16 units (what the shared view holds); entries
    // whose line would read back as another entry are left out. The display names of those left
    // out go to `notFitting` and `unreadable` when given.
    CString DeviceText(int maxChars, std::vector<CString>* notFitting = nullptr,
                       std::vector<CString>* unreadable = nullptr) const;

    // Reports to the on-screen log; dropped while no panel is attached.
    void Log(LPCWSTR text) override;
    // A failed COM step: reported on the debugger output and, with a panel, in its log. 0 for
    // a success code, else 1.
    int CheckResult(HRESULT hr, LPCWSTR context) override;
    void SetMessageSink(MessageSink sink) { m_messageSink = std::move(sink); }

protected:
    // The monitor keeps no log file: failures are in the on-screen log.
    void LogFailure(LPCWSTR) override {}
    // The preview takes the device's own format; the formats it offers are reported.
    void CaptureFilterFound(IBaseFilter* capture, int) override { DetectMediaType(capture); }

private:
    void AddCrossbarInputs(IMoniker* moniker, const CString& friendlyName);
    _KXMCaptureDeviceInfo* FindByDisplayName(const CString& name) const;

    MessageSink m_messageSink;
};

// One device line of the shared-memory text.
CString FormatDeviceLine(const _KXMCaptureDeviceInfo& entry);
// Whether the entry's line reads back as the same entry (DeviceText leaves out those that do not).
bool DeviceLineRoundTrips(const _KXMCaptureDeviceInfo& entry);
