// The filter-graph interfaces of the media layer: filters, pins, media types, the graph manager,
// device enumeration, crossbar, stream configuration, renderers, the colour-control effect and
// the DVD navigator, with the constants and error codes callers test for.
#pragma once

#include "platform/base/bitmap.h"
#include "platform/com/com.h"
#include "platform/media/guids.h"
#include "platform/media/storage.h"

typedef LONGLONG REFERENCE_TIME;
typedef LONG OAFilterState;

// Results.
#define VFW_S_PARTIAL_RENDER static_cast<HRESULT>(0x00040242)
#define VFW_S_DUPLICATE_NAME static_cast<HRESULT>(0x0004022D)
#define VFW_S_STATE_INTERMEDIATE static_cast<HRESULT>(0x00040237)
#define VFW_E_INVALIDMEDIATYPE static_cast<HRESULT>(0x80040200)
#define VFW_E_ALREADY_CONNECTED static_cast<HRESULT>(0x80040204)
#define VFW_E_NO_ACCEPTABLE_TYPES static_cast<HRESULT>(0x80040207)
#define VFW_E_INVALID_DIRECTION static_cast<HRESULT>(0x80040208)
#define VFW_E_NOT_CONNECTED static_cast<HRESULT>(0x80040209)
#define VFW_E_NOT_FOUND static_cast<HRESULT>(0x80040216)
#define VFW_E_CANNOT_CONNECT static_cast<HRESULT>(0x80040217)
#define VFW_E_CANNOT_RENDER static_cast<HRESULT>(0x80040218)
#define VFW_E_NOT_STOPPED static_cast<HRESULT>(0x80040224)
#define VFW_E_WRONG_STATE static_cast<HRESULT>(0x80040227)
#define VFW_E_TYPE_NOT_ACCEPTED static_cast<HRESULT>(0x8004022A)
#define VFW_E_TIMEOUT static_cast<HRESULT>(0x8004022E)
#define VFW_E_UNKNOWN_FILE_TYPE static_cast<HRESULT>(0x80040240)
#define VFW_E_CANNOT_LOAD_SOURCE_FILTER static_cast<HRESULT>(0x80040241)
#define VFW_E_NOT_IN_GRAPH static_cast<HRESULT>(0x8004025F)
#define VFW_E_NO_CAPTURE_HARDWARE static_cast<HRESULT>(0x80040263)
#define VFW_E_DVD_INVALIDDOMAIN static_cast<HRESULT>(0x80040281)
#define VFW_E_DVD_NO_BUTTON static_cast<HRESULT>(0x80040287)
#define VFW_E_DVD_OPERATION_INHIBITED static_cast<HRESULT>(0x80040276)

// Text of a media error code, at most `size` characters with the terminator; the number of
// characters written without it, 0 for a code the layer has no text for.
DWORD AMGetErrorTextW(HRESULT hr, WCHAR* buffer, DWORD size);

struct AM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    BOOL bFixedSizeSamples;
    BOOL bTemporalCompression;
    ULONG lSampleSize;
    GUID formattype;
    IUnknown* pUnk;
    ULONG cbFormat;
    BYTE* pbFormat;
};

struct VIDEOINFOHEADER {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);

struct VIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    DWORD dwControlFlags;
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);

enum PIN_DIRECTION { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 };
enum FILTER_STATE { State_Stopped = 0, State_Paused = 1, State_Running = 2 };
#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

struct IBaseFilter;
struct IFilterGraph;
struct IPin;
struct IEnumMediaTypes;

struct PIN_INFO {
    IBaseFilter* pFilter;  // AddRef'ed
    PIN_DIRECTION dir;
    WCHAR achName[MAX_PIN_NAME];
};

struct FILTER_INFO {
    WCHAR achName[MAX_FILTER_NAME];
    IFilterGraph* pGraph;  // AddRef'ed, or null outside a graph
};

struct IPin : IUnknown {
    virtual HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT ConnectedTo(IPin** pin) = 0;
    virtual HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT QueryPinInfo(PIN_INFO* info) = 0;
    virtual HRESULT QueryDirection(PIN_DIRECTION* dir) = 0;
    virtual HRESULT QueryId(LPWSTR* id) = 0;
    virtual HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT EnumMediaTypes(IEnumMediaTypes** types) = 0;
};

struct IEnumPins : IUnknown {
    virtual HRESULT Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumPins** clone) = 0;
};

struct IEnumMediaTypes : IUnknown {
    // Each type and its format block come from the task allocator (DeleteMediaType frees them).
    virtual HRESULT Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMediaTypes** clone) = 0;
};

struct IMediaFilter : IPersist {
    virtual HRESULT Stop() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Run(REFERENCE_TIME start) = 0;
    virtual HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) = 0;
};

struct IBaseFilter : IMediaFilter {
    virtual HRESULT EnumPins(IEnumPins** pins) = 0;
    virtual HRESULT FindPin(LPCWSTR id, IPin** pin) = 0;
    virtual HRESULT QueryFilterInfo(FILTER_INFO* info) = 0;
    virtual HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
};

struct IEnumFilters : IUnknown {
    virtual HRESULT Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFilters** clone) = 0;
};

struct IFilterGraph : IUnknown {
    virtual HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
    virtual HRESULT RemoveFilter(IBaseFilter* filter) = 0;
    virtual HRESULT EnumFilters(IEnumFilters** filters) = 0;
    virtual HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
    virtual HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT Reconnect(IPin* pin) = 0;
    virtual HRESULT Disconnect(IPin* pin) = 0;
    virtual HRESULT SetDefaultSyncSource() = 0;
};

struct IGraphBuilder : IFilterGraph {
    virtual HRESULT Connect(IPin* out, IPin* in) = 0;
    virtual HRESULT Render(IPin* out) = 0;
    virtual HRESULT RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
    virtual HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) = 0;
    virtual HRESULT SetLogFile(DWORD_PTR file) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ShouldOperationContinue() = 0;
};

#define AM_RENDEREX_RENDERTOEXISTINGRENDERERS 0x01
struct IFilterGraph2 : IGraphBuilder {
    virtual HRESULT RenderEx(IPin* out, DWORD flags, DWORD* context) = 0;
};

struct IMediaControl : IUnknown {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* state) = 0;
};

// Given out by the graph; the system only asks for it and releases it.
struct IMediaSeeking : IUnknown {
    virtual HRESULT GetDuration(LONGLONG* duration) = 0;
};

struct ICaptureGraphBuilder2 : IUnknown {
    virtual HRESULT SetFiltergraph(IGraphBuilder* graph) = 0;
    virtual HRESULT GetFiltergraph(IGraphBuilder** graph) = 0;
};

// Device enumeration.
struct IBindCtx;
struct IErrorLog;
struct IMoniker : IUnknown {
    virtual HRESULT BindToObject(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
    virtual HRESULT BindToStorage(IBindCtx* ctx, IMoniker* left, REFIID riid, void** ppv) = 0;
    virtual HRESULT GetDisplayName(IBindCtx* ctx, IMoniker* left, LPOLESTR* name) = 0;
};

struct IEnumMoniker : IUnknown {
    virtual HRESULT Next(ULONG count, IMoniker** monikers, ULONG* fetched) = 0;
    virtual HRESULT Skip(ULONG count) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumMoniker** clone) = 0;
};

struct ICreateDevEnum : IUnknown {
    // S_FALSE and no enumerator for a category without devices.
    virtual HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator, DWORD flags) = 0;
};

struct IPropertyBag : IUnknown {
    virtual HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) = 0;
    virtual HRESULT Write(LPCOLESTR name, VARIANT* value) = 0;
};

// Crossbar.
enum PhysicalConnectorType {
    PhysConn_Video_Tuner = 1,
    PhysConn_Video_Composite = 2,
    PhysConn_Video_SVideo = 3,
    PhysConn_Video_RGB = 4,
    PhysConn_Video_YRYBY = 5,
    PhysConn_Video_SerialDigital = 6,
    PhysConn_Video_ParallelDigital = 7,
    PhysConn_Video_SCSI = 8,
    PhysConn_Video_AUX = 9,
    PhysConn_Video_1394 = 10,
    PhysConn_Video_USB = 11,
    PhysConn_Video_VideoDecoder = 12,
    PhysConn_Video_VideoEncoder = 13,
    PhysConn_Video_SCART = 14,
    PhysConn_Video_Black = 15,
    PhysConn_Audio_Tuner = 0x1000,
    PhysConn_Audio_Line = 0x1001,
    PhysConn_Audio_Mic = 0x1002,
    PhysConn_Audio_AESDigital = 0x1003,
    PhysConn_Audio_SPDIFDigital = 0x1004,
    PhysConn_Audio_SCSI = 0x1005,
    PhysConn_Audio_AUX = 0x1006,
    PhysConn_Audio_1394 = 0x1007,
    PhysConn_Audio_USB = 0x1008,
    PhysConn_Audio_AudioDecoder = 0x1009,
};

struct IAMCrossbar : IUnknown {
    virtual HRESULT get_PinCounts(LONG* outputs, LONG* inputs) = 0;
    virtual HRESULT CanRoute(LONG output, LONG input) = 0;
    virtual HRESULT Route(LONG output, LONG input) = 0;
    virtual HRESULT get_IsRoutedTo(LONG output, LONG* input) = 0;
    virtual HRESULT get_CrossbarPinInfo(BOOL isInput, LONG index, LONG* related, LONG* physicalType) = 0;
};

struct IAMStreamConfig : IUnknown {
    virtual HRESULT SetFormat(AM_MEDIA_TYPE* mt) = 0;
    virtual HRESULT GetFormat(AM_MEDIA_TYPE** mt) = 0;
    virtual HRESULT GetNumberOfCapabilities(int* count, int* size) = 0;
    // caps: a VIDEO_STREAM_CONFIG_CAPS block of `size` bytes; only its first GUID is filled.
    virtual HRESULT GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) = 0;
};

// Renderers.
#define VMRMode_Windowed 0x1
#define VMRMode_Windowless 0x2
#define VMR9Mode_Windowed 0x1
#define VMR9Mode_Windowless 0x2
#define VMR_ARMODE_NONE 0
#define VMR_ARMODE_LETTER_BOX 1
#define VMR9ARMode_None 0
#define VMR9ARMode_LetterBox 1
#define MFVideoARMode_None 0
#define MFVideoARMode_PreservePicture 0x1
#define MFVideoARMode_PreservePixel 0x2
#define MFVideoARMode_NonLinearStretch 0x4

struct IVMRFilterConfig9 : IUnknown {
    virtual HRESULT SetRenderingMode(DWORD mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* mode) = 0;
};
struct IVMRFilterConfig : IUnknown {
    virtual HRESULT SetRenderingMode(DWORD mode) = 0;
    virtual HRESULT GetRenderingMode(DWORD* mode) = 0;
};

// The windowless controls of the two mixing renderers.
struct IVMRWindowlessControl9 : IUnknown {
    virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) = 0;
    virtual HRESULT SetVideoPosition(const RECT* source, const RECT* dest) = 0;
    virtual HRESULT GetVideoPosition(RECT* source, RECT* dest) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT SetVideoClippingWindow(HWND hwnd) = 0;
    virtual HRESULT RepaintVideo(HWND hwnd, HDC hdc) = 0;
    virtual HRESULT DisplayModeChanged() = 0;
    // A packed DIB (header, pixels) from the task allocator.
    virtual HRESULT GetCurrentImage(BYTE** dib) = 0;
};
struct IVMRWindowlessControl : IUnknown {
    virtual HRESULT GetNativeVideoSize(LONG* width, LONG* height, LONG* arWidth, LONG* arHeight) = 0;
    virtual HRESULT SetVideoPosition(const RECT* source, const RECT* dest) = 0;
    virtual HRESULT GetVideoPosition(RECT* source, RECT* dest) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT SetVideoClippingWindow(HWND hwnd) = 0;
    virtual HRESULT RepaintVideo(HWND hwnd, HDC hdc) = 0;
    virtual HRESULT DisplayModeChanged() = 0;
    virtual HRESULT GetCurrentImage(BYTE** dib) = 0;
};

struct MFVideoNormalizedRect {
    float left, top, right, bottom;
};

struct IMFGetService : IUnknown {
    virtual HRESULT GetService(REFGUID service, REFIID riid, LPVOID* ppv) = 0;
};

struct IMFVideoDisplayControl : IUnknown {
    virtual HRESULT GetNativeVideoSize(SIZE* video, SIZE* aspect) = 0;
    virtual HRESULT SetVideoPosition(const MFVideoNormalizedRect* source, const RECT* dest) = 0;
    virtual HRESULT GetVideoPosition(MFVideoNormalizedRect* source, RECT* dest) = 0;
    virtual HRESULT SetAspectRatioMode(DWORD mode) = 0;
    virtual HRESULT GetAspectRatioMode(DWORD* mode) = 0;
    virtual HRESULT SetVideoWindow(HWND hwnd) = 0;
    virtual HRESULT GetVideoWindow(HWND* hwnd) = 0;
    virtual HRESULT RepaintVideo() = 0;
    // Fills the header (biSize must be set by the caller) and gives the pixels from the task
    // allocator.
    virtual HRESULT GetCurrentImage(BITMAPINFOHEADER* header, BYTE** dib, DWORD* dibBytes, LONGLONG* timeStamp) = 0;
};

// The DMO wrapper and the property store of the effect it wraps.
struct IDMOWrapperFilter : IUnknown {
    virtual HRESULT Init(REFCLSID dmo, REFCLSID category) = 0;
};

struct IPropertyStore : IUnknown {
    virtual HRESULT GetCount(DWORD* count) = 0;
    virtual HRESULT GetAt(DWORD index, PROPERTYKEY* key) = 0;
    virtual HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* value) = 0;
    virtual HRESULT SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) = 0;
    virtual HRESULT Commit() = 0;
};

// DVD navigator: menu buttons chosen by a point in native video coordinates.
struct IDvdControl2 : IUnknown {
    virtual HRESULT SelectAtPosition(POINT point) = 0;
    virtual HRESULT ActivateAtPosition(POINT point) = 0;
};

// The navigator's menu state, for tests and diagnostics.
struct IQuivaDvdMenuState : IUnknown {
    // Index of the highlighted button (-1 none) and of the last activated one (-1 none).
    virtual HRESULT GetMenuState(LONG* selected, LONG* activated) = 0;
};

// Media-type helpers with the names of the DirectShow base classes.
void FreeMediaTypeContents(AM_MEDIA_TYPE& mt);
void DeleteMediaType(AM_MEDIA_TYPE* mt);
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);
