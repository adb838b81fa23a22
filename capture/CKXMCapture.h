// The capture engine: the device list published by the device monitor, the graph of the chosen
// source, its renderer in the preview window, capture formats, colour control, stills, AVI
// recording, DVD menus, and the failure log.
//
// Threads: every operation runs on the UI thread except the recording tick (WriteRecordFrame),
// which runs on the timer-queue thread. One engine lock serialises the tick with everything that
// reads or changes the graph or the recording.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/base/CArray.h"
#include "platform/base/CString.h"
#include "platform/base/bitmap.h"
#include "platform/media/dshow.h"
#include "platform/media/vfw.h"

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

// One format a capture device offers.
struct _KXMCaptureResolutionInfo {
    int width = 0;
    int height = 0;
    int frameRate = 0;  // frames per second
    CString subtype;    // "YUY2", "RGB24", "UYVY", "MJPG" or the GUID text
    CString text;       // left empty by the engine
};

// Renderer kinds and the names under which the renderers stand in a graph.
enum {
    KXM_RENDERER_VMR9 = 0,
    KXM_RENDERER_VMR7 = 1,
    KXM_RENDERER_EVR = 2,
};
// The filter name of a renderer kind, or null for a kind without a renderer.
LPCWSTR RendererFilterName(int kind);
// The renderer of a kind in a graph, found by its name (a new reference), or null.
IBaseFilter* FindRendererOfKind(IGraphBuilder* graph, int kind);
// A new renderer of a kind (not yet in any graph).
HRESULT CreateRenderer(int kind, IBaseFilter** renderer);
// Puts a mixing renderer (VMR9 or VMR7) in windowless mode. Gives the answer to the request for
// its configuration; `modeResult`, when given, receives the answer to the mode change.
HRESULT MakeWindowless(IBaseFilter* renderer, int kind, HRESULT* modeResult = nullptr);
// A step of binding a renderer that failed, with its context; answering true ends the binding.
using RendererStepCheck = std::function<bool(HRESULT hr, LPCWSTR context)>;
// Ties a windowless mixing renderer (VMR9 or VMR7) to a window: clipping window, aspect-ratio mode
// (VMR_ARMODE_*), destination = the window's client area. Without `check` a failing step is passed
// over; false only when the renderer has no windowless control (or `check` ended the binding).
bool BindMixing(IBaseFilter* renderer, int kind, HWND hwnd, DWORD aspect, const RendererStepCheck& check = {});
// Ties an enhanced renderer to a window: video window, aspect-ratio mode (MFVideoARMode_*),
// destination = the window's client area. False when it has no display control.
bool BindEnhanced(IBaseFilter* renderer, HWND hwnd, DWORD aspect);

// The device monitor's program, its switch for publishing the list, and the mapping it publishes.
inline constexpr const wchar_t* KXM_MONITOR_IMAGE = L"QUIVACaptureManager.exe";
inline constexpr const wchar_t* KXM_SHARED_MEMORY = L"KXMSharedMemory";
inline constexpr int KXM_SHARED_MEMORY_SIZE = 1024;
// After its usual waits, the device list waits this long more for a monitor that runs but has
// not published (a busy machine), and this long for one whose shared memory was found empty
// (caught between making and writing it; a monitor with no sources publishes an empty text).
inline constexpr DWORD KXM_MONITOR_LATE_WAIT_MS = 8000;
inline constexpr DWORD KXM_MONITOR_WRITE_WAIT_MS = 500;
inline constexpr DWORD KXM_MONITOR_POLL_MS = 50;

// Frames per second of every recording.
inline constexpr int KXM_RECORD_RATE = 13;

class CKXMCapture {
public:
    CKXMCapture();
    virtual ~CKXMCapture();
    CKXMCapture(const CKXMCapture&) = delete;
    CKXMCapture& operator=(const CKXMCapture&) = delete;

    // Device list.
    void ConstructDeviceList();
    int GetDeviceCount() const;
    CString GetDeviceName(int index) const;
    CString GetCurrentDeviceName() const;

    // Source selection and the graph. A selection makes the engine's graph when it has none.
    int SelectDevice(LPCWSTR displayName, HWND hwnd);
    // The engine's filter graph, made on first use (and again after Close); null only when no
    // graph can be made.
    IGraphBuilder* EnsureGraph();
    // The graph as it stands, without making one: null before the first EnsureGraph and after Close.
    IGraphBuilder* GetGraph() const { return m_pGraph; }
    int Start(HWND hwnd);
    int Stop();
    void Close();
    void RemoveAllFilters(int newGraph);
    IBaseFilter* FindDeviceFilter(REFCLSID category, IBaseFilter* upstream, CString& name, int byName);
    int ConnectPins(IBaseFilter* upstream, IBaseFilter* downstream);

    // Renderer and preview window.
    int UpdateVideoPosition();
    int AttachRenderer(HWND hwnd);

    // Capture formats.
    void SetRequestedFormat(int width, int height, int frameRate, LPCWSTR subtype);
    const _KXMCaptureResolutionInfo* FindRequestedFormat() const;
    void NegotiateFormat(IBaseFilter* filter);
    int GetFormatCount() const { return static_cast<int>(m_formats.GetSize()); }
    const _KXMCaptureResolutionInfo& GetFormat(int i) const { return m_formats[i]; }

    // Colour control: hue, saturation, brightness, contrast.
    void SetColorControl1(int value);
    void SetColorControl2(int value);
    void SetColorControl3(int value);
    void SetColorControl4(int value);
    void SetColorControls(int hue, int saturation, int brightness, int contrast);
    int GetColorControls(int* hue, int* saturation, int* brightness, int* contrast);

    // Stills and recording.
    int SaveSnapshot(LPCWSTR path);
    // The same, handing the picture that was written to the caller as a packed DIB from malloc
    // (null when nothing was written), so that it need not be read back from the file.
    int SaveSnapshot(LPCWSTR path, BYTE** picture);
    BYTE* GrabFrame();  // a packed DIB from malloc, or null
    void SetRecordFile(LPCWSTR path, int frameRate, intptr_t value);
    int StartRecording();
    int WriteRecordFrame();
    // Closes the recording and gives the finished file's path (empty when none was open).
    CString EndRecording();
    // Whether the disk had no room for the next frame of the recording, which WriteRecordFrame
    // then closed with the frames written so far (until the next recording starts).
    bool RecordingOutOfRoom() const;
    CString GetRecordFile() const;
    bool IsRecordingOpen() const;

    // DVD menus. DvdButtonAtPosition selects the menu button at a point of the preview window
    // and gives 1 when there is one there.
    int SelectDvdAtPosition(POINT pt);
    int DvdButtonAtPosition(POINT pt);
    int ActivateDvdAtPosition(POINT pt);

    // Reports. A failed COM step: 0 for a success code, else 1 after a message on the debugger
    // output. A step line of a build: for an on-screen log, which the module has none of.
    virtual int CheckResult(HRESULT hr, LPCWSTR context);
    virtual void Log(LPCWSTR text);
    void Logf(LPCWSTR format, ...);

    // Appends the records of a device text (what the monitor published) to `devices`. `cutAtEnd`
    // says the text filled the whole view without a terminator: its last piece without a line
    // feed was cut and is dropped.
    static void ParseDeviceText(const std::wstring& text, bool cutAtEnd,
                                CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*>& devices);

    // Members the capture application reads and writes directly.
    HWND m_hPreviewWnd = nullptr;
    // Made by a build that needs it and let go when that build ends, whichever way it ends.
    quiva::ComPtr<ICaptureGraphBuilder2> m_pCaptureBuilder;
    int m_bKeepAspect = 1;
    int m_nRendererKind = 0;
    std::atomic<int> m_bRunning {0};
    std::atomic<int> m_bRecording {0};
    int m_bAudio = 0;
    int m_bColorControl = 1;
    DWORD m_dwRecordStart = 0;

protected:
    enum class RecordState { Idle, Recording, Stopping };

    // Device list.
    // The started monitor's process (closed by the caller), null when it could not be started.
    HANDLE LaunchMonitor(LPCWSTR arguments);
    void ReadDeviceRecords(CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*>& devices, HANDLE monitor);
    void KillMonitor();

    // Graph builders.
    int BuildCrossbarGraph(int negotiate);
    int BuildCaptureGraph(int negotiate);
    int BuildSavedGraph(LPCWSTR path);
    int BuildDvdGraph();
    int RenderDvdGraph(HWND hwnd, IBaseFilter* navigator);

    // Steps of the builders.
    // Every build starts from a new, empty graph; `withBuilder` also makes a capture-graph builder
    // on it. False when there is no graph.
    bool BeginBuild(bool withBuilder);
    // The crossbar of that friendly name (any crossbar for an empty name) in the graph, or null.
    quiva::ComPtr<IBaseFilter> FindCrossbar(CString& name);
    // Routes the crossbar input of the connector kind and pin index to its video output. False
    // only when the crossbar refused the route; an input that matches nothing routes nothing.
    bool RouteCrossbarInput(IBaseFilter* crossbar, LPCWSTR name, int connectorKind, int pinIndex);
    // The video input device that takes the crossbar's picture, in the graph, or null.
    quiva::ComPtr<IBaseFilter> FindCaptureSource(IBaseFilter* crossbar, int negotiate);
    // A filter of a class added to the graph under a name; null (reported with `failContext`)
    // when the class cannot be made.
    quiva::ComPtr<IBaseFilter> AddFilterOfClass(REFCLSID clsid, LPCWSTR name, LPCWSTR failContext);
    // The last stage of a capture chain: the colour-control effect (when on) and the renderer.
    struct RenderStage {
        quiva::ComPtr<IBaseFilter> effect;
        quiva::ComPtr<IBaseFilter> renderer;
    };
    bool AddRenderStage(RenderStage& stage);
    enum class Link { Linked, Failed, Retry };
    // Joins `tail` to the render stage, through the effect when `effectMayJoin`. Retry: the effect
    // would not take the negotiated picture and the graph should be built again without
    // negotiating. `fromDevice`: the tail is the capture device itself (failed links are step lines).
    Link LinkRenderStage(RenderStage& stage, IBaseFilter* tail, bool effectMayJoin, int negotiate,
                         bool fromDevice = false);
    // The renderer a saved graph holds, found by name (VMR9, EVR, VMR7), with its kind; null when
    // it holds none of them.
    quiva::ComPtr<IBaseFilter> FindSavedRenderer(int* kind);
    // A saved graph's mixing renderer made windowless: every connected input is taken off, the
    // mode changed and the input connected again. False after a failed step (reported).
    bool ReconnectWindowless(IBaseFilter* renderer, int kind);
    // The crossbar build keeps its finished graph in "cross.Grf".
    bool m_bKeepCrossbarGraph = true;

    // The renderer stage: a renderer of the current kind in windowless mode on the preview window,
    // added to the graph. Gives the renderer (null for a kind without one) and 1, or 0 on failure.
    int AddRenderer(IBaseFilter** renderer);
    // The colour-control effect in the graph when the flag is set, or null.
    IBaseFilter* AddColorControl();
    // The last link of a chain: effect -> renderer when the effect took the tail's picture; an
    // effect that did not (or cannot reach the renderer) is taken out and the tail goes straight
    // to the renderer. Gives 1 when the renderer was reached.
    // `logLinks`: a failed link through the effect is a step line.
    int LinkThroughEffect(IBaseFilter* tail, IBaseFilter* effect, bool effectLinked, IBaseFilter* renderer,
                          bool logLinks = false);
    IBaseFilter* FindRenderer() const;
    // The requested format becomes the one the source's output really delivers (a graph built
    // again without negotiation keeps the device's own format).
    void TakeConnectedFormat(IBaseFilter* source);
    // The renderer's picture as a malloc'ed packed DIB, or null.
    BYTE* CurrentImage(HRESULT* hr);
    // Maps a point of the preview window to the picture's own coordinates.
    bool WindowToVideo(POINT& pt);
    // `answer`, when given, receives the navigator's answer (left alone off the picture).
    int DvdAtPosition(POINT pt, bool activate, HRESULT* answer = nullptr);
    void SetColorProperty(DWORD pid, int value);
    void CloseRecording(bool deleteFile);
    int WriteFrameAt(LONG index, const BYTE* frame);
    bool FrameMatchesStream(const BYTE* frame) const;

    // Debugger output of a formatted text.
    static void Trace(LPCWSTR format, ...);
    // A failed step: reported (CheckResult) and kept (LogFailure); false for a success code.
    bool Failed(HRESULT hr, LPCWSTR context);
    // Keeps the context of a failed build step: the module appends it to its log file.
    virtual void LogFailure(LPCWSTR context);
    // The capture filter of a crossbar or capture build is in the graph: the module negotiates
    // the requested format on it when `negotiate` is set.
    virtual void CaptureFilterFound(IBaseFilter* capture, int negotiate);
    // With the audio flag set: the default sound renderer, fed from the capture source when it
    // has sound. False when the renderer cannot be added (reported).
    bool AddSoundRenderer(IBaseFilter* source);

    mutable std::recursive_mutex m_lock;

    // Made only by EnsureGraph; let go by Close.
    IGraphBuilder* m_pGraph = nullptr;

    CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*> m_devices;
    _KXMCaptureDeviceInfo* m_pCurrentDevice = nullptr;
    bool m_bGraphBuilt = false;  // the current record's graph was built whole

    PAVIFILE m_pAviFile = nullptr;
    PAVISTREAM m_pAviStream = nullptr;
    PAVISTREAM m_pAviCompressed = nullptr;
    int m_nFrameIndex = 0;
    int m_nRecordParam1 = 0;
    CString m_strRecordFile;
    intptr_t m_nRecordParam2 = 0;
    RecordState m_recordState = RecordState::Idle;
    bool m_recordOutOfRoom = false;
    bool m_aviInit = false;
    BITMAPINFOHEADER m_recordHeader {};

    int m_nReqWidth = 0;
    int m_nReqHeight = 0;
    int m_nReqFrameRate = 0;
    CString m_strReqSubtype;
    CArray<_KXMCaptureResolutionInfo, const _KXMCaptureResolutionInfo&> m_formats;
};

// The connector-kind field of a device line: exactly "0".."3", anything else -1.
int SourceTypeFromName(const std::wstring& text);

// The UTF-16LE text at the start of a shared-memory view, up to its first NUL and never beyond
// `bytes`. `filled` tells whether the text ran to the view's end without a NUL.
std::wstring DeviceTextFromView(const void* view, size_t bytes, bool* filled);

// The picture of a video media type: header kind (0 VIDEOINFOHEADER, 1 VIDEOINFOHEADER2), size
// and frame time. False for any other type.
bool VideoFormat(const AM_MEDIA_TYPE& mt, int* kind, LONG* width, LONG* height, REFERENCE_TIME* frameTime);

// The name of a media subtype: "YUY2", "RGB24", "UYVY", "MJPG" or its GUID text.
CString SubtypeName(REFGUID subtype);

// Graph tools shared with the device monitor.
HRESULT DisconnectPin(IGraphBuilder* graph, IPin* pin);
HRESULT DisconnectAndRemoveFilter(IGraphBuilder* graph, IBaseFilter* filter);
// Disconnects and removes every filter of the graph.
void RemoveEveryFilter(IGraphBuilder* graph);
HRESULT LoadGraphFile(IGraphBuilder* graph, LPCWSTR path);
// Writes the graph as a graph file; false when nothing whole was written.
bool SaveGraphFile(IGraphBuilder* graph, LPCWSTR path = L"cross.Grf");
void FreeMediaType(AM_MEDIA_TYPE& mt);

// Writes a packed DIB as a BMP file (file header, then the bitmap), flushed under a temporary name
// and then renamed, so the name never holds part of a picture. False when the file could not be
// written whole; nothing is left under the name then.
bool WriteDibFile(LPCWSTR path, const BYTE* dib);
// The BMP file of a packed DIB: the 14-byte file header, then the bitmap.
std::string DibAsBmpFile(const BYTE* dib);
// Bytes of a packed DIB: header, colour table and pixels.
size_t DibSize(const BITMAPINFOHEADER& h);
// The picture a renderer of a kind currently shows, as a packed DIB from malloc, or null; `result`
// is the renderer's answer.
BYTE* ReadRendererImage(IBaseFilter* renderer, int kind, HRESULT* result);

// Appends one time-stamped line to the engine log "quivacapture.log.txt" in the current folder.
void WriteLog(LPCWSTR message);
