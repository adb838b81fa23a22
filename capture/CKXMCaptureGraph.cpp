// Source selection and the graphs of the source kinds: crossbar input, video input device and
// saved graph file, with the graph tools they share.
#include <cstdarg>

#include "capture/CKXMCapture.h"
#include "platform/base/debug.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;

void CKXMCapture::Trace(LPCWSTR format, ...)
{
    va_list args;
    va_start(args, format);
    CString text;
    text.FormatV(format, args);
    va_end(args);
    OutputDebugStringW(text);
}

bool CKXMCapture::Failed(HRESULT hr, LPCWSTR context)
{
    if (!CheckResult(hr, context))
        return false;
    LogFailure(context);
    return true;
}

void CKXMCapture::CaptureFilterFound(IBaseFilter* capture, int negotiate)
{
    if (negotiate)
        NegotiateFormat(capture);
}

bool CKXMCapture::AddSoundRenderer(IBaseFilter* source)
{
    ComPtr<IBaseFilter> sound;
    if (Failed(CoCreateInstance(CLSID_DSoundRender, nullptr, CLSCTX_ALL, IID_IBaseFilter, sound.PutVoid()),
               L"Fail to create Direct Sound Device"))
        return false;
    if (Failed(m_pGraph->AddFilter(sound.Get(), L"Default DirectSound Device"),
               L"Fail to add filter 'Direct Sound Device'"))
        return false;
    Log(L"사운드장치를 찾았습니다.");
    if (source && ConnectPins(source, sound.Get()))
        Log(L"Capture source와 사운드장치를 연결하였습니다.");
    return true;
}

int CKXMCapture::SelectDevice(LPCWSTR displayName, HWND hwnd)
{
    std::lock_guard lock(m_lock);
    // The engine makes its graph itself: on the first selection and on the first after Close.
    EnsureGraph();
    if (m_devices.IsEmpty()) {
        m_bRunning = 0;
        return 0;
    }
    if (hwnd)
        m_hPreviewWnd = hwnd;
    OutputDebugStringW(displayName ? displayName : L"");

    _KXMCaptureDeviceInfo* chosen = nullptr;
    if (displayName && *displayName) {
        for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
            if (_wcsicmp(m_devices[i]->displayName, displayName) == 0) {
                chosen = m_devices[i];
                break;
            }
            Trace(L"%d %s\n", static_cast<int>(i), static_cast<LPCWSTR>(m_devices[i]->displayName));
        }
    }
    if (!chosen)
        chosen = m_devices[0];

    Stop();
    // With a window the renderer of the graph in place is tied to it again (a rebuilt capture
    // window gets the running preview back). Without one the caller asks for a new graph: a
    // format, renderer or colour change must take effect.
    if (m_pCurrentDevice && m_bGraphBuilt && hwnd && AttachRenderer(hwnd)) {
        m_bRunning = 1;
        return 1;
    }

    m_pCurrentDevice = chosen;
    int built = 0;
    switch (chosen->type) {
    case 0: built = BuildCrossbarGraph(1); break;
    case 1: built = BuildCaptureGraph(1); break;
    case 2: built = BuildSavedGraph(chosen->sourceName); break;
    case 3: built = BuildDvdGraph(); break;
    default: break;
    }
    // A graph that did not build is not running, and the next selection with a window builds
    // instead of re-attaching whatever renderer the partial graph holds.
    m_bGraphBuilt = built != 0;
    m_bRunning = built ? 1 : 0;
    return 1;
}

int CKXMCapture::Start(HWND hwnd)
{
    std::lock_guard lock(m_lock);
    if (!m_pGraph)
        return 0;
    if (hwnd)
        m_hPreviewWnd = hwnd;
    if (!m_hPreviewWnd)
        return 0;
    ShowWindow(m_hPreviewWnd, SW_SHOW);
    ComPtr<IMediaControl> control;
    if (FAILED(m_pGraph->QueryInterface(IID_IMediaControl, control.PutVoid())) || !control)
        return 0;
    HRESULT hr = control->Run();
    if (hr == S_OK) {
        m_bRunning = 1;
        return 1;
    }
    WCHAR text[160] = {};
    if (AMGetErrorTextW(hr, text, 160))
        Trace(L"Start Error %x: %s\n", static_cast<unsigned>(hr), text);
    else
        Trace(L"Start Error %x: \n", static_cast<unsigned>(hr));
    return 0;
}

int CKXMCapture::Stop()
{
    std::lock_guard lock(m_lock);
    if (!m_pGraph)
        return 0;
    ComPtr<IMediaControl> control;
    if (FAILED(m_pGraph->QueryInterface(IID_IMediaControl, control.PutVoid())) || !control)
        return 0;
    if (control->Stop() != S_OK)
        return 0;
    m_bRunning = 0;
    return 1;
}

void CKXMCapture::Close()
{
    std::lock_guard lock(m_lock);
    Stop();
    if (m_pGraph) {
        m_pGraph->Abort();
        RemoveAllFilters(0);
    }
    if (m_pGraph) {
        m_pGraph->Release();
        m_pGraph = nullptr;
    }
    m_pCaptureBuilder.Reset();
    // The graph is gone: the next selection builds for its record, window or not.
    m_bGraphBuilt = false;
    m_bRunning = 0;
}

void CKXMCapture::RemoveAllFilters(int newGraph)
{
    std::lock_guard lock(m_lock);
    if (!m_pGraph)
        return;
    RemoveEveryFilter(m_pGraph);
    m_pGraph->Release();
    m_pGraph = nullptr;
    if (newGraph)
        EnsureGraph();
}

IGraphBuilder* CKXMCapture::EnsureGraph()
{
    std::lock_guard lock(m_lock);
    if (!m_pGraph)
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, reinterpret_cast<void**>(&m_pGraph));
    return m_pGraph;
}

IBaseFilter* CKXMCapture::FindDeviceFilter(REFCLSID category, IBaseFilter* upstream, CString& name, int byName)
{
    if (!m_pGraph)
        return nullptr;
    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                                devEnum.PutVoid())) || !devEnum)
        return nullptr;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK || !monikers)
        return nullptr;
    IMoniker* m = nullptr;
    while (monikers->Next(1, &m, nullptr) == S_OK) {
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(m);
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())) || !bag)
            continue;
        VARIANT v;
        VariantInit(&v);
        if (FAILED(bag->Read(L"FriendlyName", &v, nullptr)) || v.vt != VT_BSTR) {
            VariantClear(&v);
            continue;
        }
        CString friendly = v.bstrVal ? v.bstrVal : L"";
        VariantClear(&v);
        if (byName && _wcsicmp(friendly, name) != 0)
            continue;
        ComPtr<IBaseFilter> filter;
        if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())) || !filter)
            continue;
        if (FAILED(m_pGraph->AddFilter(filter.Get(), friendly)))
            continue;
        if (upstream && !ConnectPins(upstream, filter.Get())) {
            m_pGraph->RemoveFilter(filter.Get());
            continue;
        }
        if (!byName)
            name = friendly;
        return filter.Detach();
    }
    return nullptr;
}

namespace {

bool IsFreePin(IPin* pin, PIN_DIRECTION wanted)
{
    PIN_DIRECTION dir;
    if (FAILED(pin->QueryDirection(&dir)) || dir != wanted)
        return false;
    ComPtr<IPin> peer;
    return pin->ConnectedTo(peer.Put()) == VFW_E_NOT_CONNECTED || !peer;
}

std::vector<ComPtr<IPin>> Pins(IBaseFilter* filter)
{
    std::vector<ComPtr<IPin>> pins;
    ComPtr<IEnumPins> e;
    if (filter && SUCCEEDED(filter->EnumPins(e.Put())) && e) {
        IPin* p = nullptr;
        while (e->Next(1, &p, nullptr) == S_OK)
            pins.push_back(ComPtr<IPin>::Adopt(p));
    }
    return pins;
}

}  // namespace

int CKXMCapture::ConnectPins(IBaseFilter* upstream, IBaseFilter* downstream)
{
    if (!m_pGraph || !upstream || !downstream)
        return 0;
    // The last refusal is reported; without a free pair of pins nothing was tried.
    HRESULT last = S_OK;
    for (auto& out : Pins(upstream)) {
        Trace(L"PIN %x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(out.Get())));
        if (!IsFreePin(out.Get(), PINDIR_OUTPUT))
            continue;
        for (auto& in : Pins(downstream)) {
            Trace(L"POUT %x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(in.Get())));
            if (!IsFreePin(in.Get(), PINDIR_INPUT))
                continue;
            if (SUCCEEDED(last = m_pGraph->Connect(out.Get(), in.Get())) ||
                SUCCEEDED(last = m_pGraph->ConnectDirect(out.Get(), in.Get(), nullptr)))
                return 1;
        }
    }
    CheckResult(last, L"Connect Pin");
    return 0;
}

IBaseFilter* CKXMCapture::AddColorControl()
{
    if (!m_bColorControl || !m_pGraph)
        return nullptr;
    ComPtr<IBaseFilter> effect;
    if (FAILED(CoCreateInstance(CLSID_DMOWrapperFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                effect.PutVoid())) || !effect)
        return nullptr;
    auto wrapper = effect.As<IDMOWrapperFilter>(IID_IDMOWrapperFilter);
    if (!wrapper || FAILED(wrapper->Init(CLSID_CColorControlDmo, CLSID_LegacyAmFilterCategory)))
        return nullptr;
    if (FAILED(m_pGraph->AddFilter(effect.Get(), L"Color Control")))
        return nullptr;
    if (m_nRendererKind == KXM_RENDERER_VMR9)
        OutputDebugStringW(L"DMO");
    Log(L"DMO Filter를 찾았습니다(Color Control)");
    return effect.Detach();
}

int CKXMCapture::LinkThroughEffect(IBaseFilter* tail, IBaseFilter* effect, bool effectLinked, IBaseFilter* renderer,
                                   bool logLinks)
{
    if (effect) {
        if (effectLinked && ConnectPins(effect, renderer))
            return 1;
        if (logLinks)
            Log(effectLinked ? L"DMO Filter와 Render와의 연결을 실패했습니다." : L"WDM장치와 DMO Filter의 연결을 실패했습니다.");
        // The effect will not take this picture: it is taken out and the picture goes to the
        // renderer without it, rather than leaving a broken chain.
        DisconnectAndRemoveFilter(m_pGraph, effect);
    }
    return ConnectPins(tail, renderer);
}

namespace {

// Lets go of the engine's capture-graph builder when a build ends, whichever way it ends.
class BuilderRelease {
public:
    explicit BuilderRelease(ComPtr<ICaptureGraphBuilder2>& builder) : m_builder(builder) {}
    ~BuilderRelease() { m_builder.Reset(); }
    BuilderRelease(const BuilderRelease&) = delete;
    BuilderRelease& operator=(const BuilderRelease&) = delete;

private:
    ComPtr<ICaptureGraphBuilder2>& m_builder;
};

// The crossbar input type a connector kind wants.
LONG WantedInputType(int connectorKind)
{
    switch (connectorKind) {
    case KXMSOURCE_TYPE_SVIDEO: return PhysConn_Video_SVideo;
    case KXMSOURCE_TYPE_COMPONENT: return PhysConn_Video_YRYBY;
    case KXMSOURCE_TYPE_HDMI: return PhysConn_Video_SerialDigital;
    default: return PhysConn_Video_Composite;
    }
}

}  // namespace

bool CKXMCapture::BeginBuild(bool withBuilder)
{
    m_pCaptureBuilder.Reset();
    RemoveAllFilters(1);
    if (!m_pGraph)
        return false;
    if (withBuilder &&
        SUCCEEDED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_ICaptureGraphBuilder2,
                                   m_pCaptureBuilder.PutVoid())) && m_pCaptureBuilder) {
        OutputDebugStringW(L"Building Graph... OK\n");
        if (SUCCEEDED(m_pCaptureBuilder->SetFiltergraph(m_pGraph)))
            OutputDebugStringW(L"Assign Graph... OK\n");
    }
    return true;
}

ComPtr<IBaseFilter> CKXMCapture::FindCrossbar(CString& name)
{
    ComPtr<IBaseFilter> crossbar =
        ComPtr<IBaseFilter>::Adopt(FindDeviceFilter(AM_KSCATEGORY_CROSSBAR, nullptr, name, name.IsEmpty() ? 0 : 1));
    if (!crossbar) {
        OutputDebugStringW(L"Cannot found CrossBar");
        return {};
    }
    Trace(L"Found CrossBar... OK(%s)\n", static_cast<LPCWSTR>(name));
    Logf(L"(CrossBar) %s가 선택되었습니다.", static_cast<LPCWSTR>(name));
    return crossbar;
}

bool CKXMCapture::RouteCrossbarInput(IBaseFilter* crossbar, LPCWSTR name, int connectorKind, int pinIndex)
{
    ComPtr<IAMCrossbar> xbar;
    crossbar->QueryInterface(IID_IAMCrossbar, xbar.PutVoid());
    LONG outputs = 0, inputs = 0;
    if (xbar)
        xbar->get_PinCounts(&outputs, &inputs);
    LONG videoOut = -1, audioOut = -1;
    for (LONG i = 0; xbar && i < outputs; ++i) {
        LONG related = -1, type = 0;
        if (FAILED(xbar->get_CrossbarPinInfo(FALSE, i, &related, &type)))
            continue;
        if (type == PhysConn_Video_VideoDecoder) {
            videoOut = i;
            Trace(L"Video Pin : %d\n", static_cast<int>(i));
        } else if (type == PhysConn_Audio_AudioDecoder) {
            audioOut = i;
        }
    }
    OutputDebugStringW(L"LINK");
    const LONG wanted = WantedInputType(connectorKind);
    for (LONG i = 0; xbar && i < inputs; ++i) {
        LONG related = -1, type = 0;
        if (FAILED(xbar->get_CrossbarPinInfo(TRUE, i, &related, &type)) || type != wanted || i != pinIndex)
            continue;
        if (Failed(xbar->Route(videoOut, i), L"Fail to connect Video Pin"))
            return false;
        Logf(L"(CrossBar) %s의 입력 (%d)에 연결", name, static_cast<int>(i));
        if (related != -1)
            xbar->Route(audioOut, related);
        break;
    }
    return true;
}

ComPtr<IBaseFilter> CKXMCapture::FindCaptureSource(IBaseFilter* crossbar, int negotiate)
{
    CString captureName;
    ComPtr<IBaseFilter> source =
        ComPtr<IBaseFilter>::Adopt(FindDeviceFilter(CLSID_VideoInputDeviceCategory, crossbar, captureName, 0));
    Trace(L"CaptureSource : %x %d", static_cast<unsigned>(reinterpret_cast<uintptr_t>(source.Get())), negotiate);
    if (!source) {
        // No capture filter takes the crossbar's picture: there is no chain to build.
        LogFailure(L"Fail to connect Crossbar to captureSource #1");
        OutputDebugStringW(L"Fail to connect Crossbar to captureSource #1\n");
        return {};
    }
    OutputDebugStringW(L"CONNECTED");
    CaptureFilterFound(source.Get(), negotiate);
    return source;
}

ComPtr<IBaseFilter> CKXMCapture::AddFilterOfClass(REFCLSID clsid, LPCWSTR name, LPCWSTR failContext)
{
    ComPtr<IBaseFilter> filter;
    if (Failed(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IBaseFilter, filter.PutVoid()), failContext))
        return {};
    m_pGraph->AddFilter(filter.Get(), name);
    return filter;
}

bool CKXMCapture::AddRenderStage(RenderStage& stage)
{
    stage.effect = ComPtr<IBaseFilter>::Adopt(AddColorControl());
    return AddRenderer(stage.renderer.Put()) != 0;
}

CKXMCapture::Link CKXMCapture::LinkRenderStage(RenderStage& stage, IBaseFilter* tail, bool effectMayJoin,
                                               int negotiate, bool fromDevice)
{
    bool effectLinked = false;
    if (effectMayJoin && stage.effect) {
        // As designed: the same link is asked for twice; a source that settles its format on the
        // first request may take the second.
        effectLinked = ConnectPins(tail, stage.effect.Get()) || ConnectPins(tail, stage.effect.Get());
        if (!effectLinked && negotiate)
            return Link::Retry;
    }
    if (!LinkThroughEffect(tail, stage.effect.Get(), effectLinked, stage.renderer.Get(), fromDevice)) {
        OutputDebugStringW(L"Fail to connect capturesource to mixrender #2\n");
        return Link::Failed;
    }
    return Link::Linked;
}

int CKXMCapture::BuildCrossbarGraph(int negotiate)
{
    if (!m_pCurrentDevice)
        return 0;
    // 1. An empty graph with a new capture-graph builder on it.
    BuilderRelease release(m_pCaptureBuilder);
    if (!BeginBuild(true))
        return 0;

    // 2. The record's crossbar.
    CString name = m_pCurrentDevice->sourceName;
    ComPtr<IBaseFilter> crossbar = FindCrossbar(name);
    if (!crossbar)
        return 0;

    // 3. The record's input routed to the crossbar's video output.
    if (!RouteCrossbarInput(crossbar.Get(), name, m_pCurrentDevice->connectorKind, m_pCurrentDevice->pinIndex))
        return 0;

    // 4. The capture filter that takes the crossbar's picture.
    ComPtr<IBaseFilter> source = FindCaptureSource(crossbar.Get(), negotiate);
    if (!source)
        return 0;
    crossbar.Reset();
    OutputDebugStringW(L"FIND STREAM");

    // 5. Decoder and colour space converter.
    ComPtr<IBaseFilter> decoder = AddFilterOfClass(CLSID_AVIDec, L"AVI Decoder", L"Not found AVI Decoder");
    if (!decoder)
        return 0;
    OutputDebugStringW(L"AVI Decoder");
    Log(L"AVI Decoder를 찾았습니다.(DirectShowFilter)");
    ComPtr<IBaseFilter> converter =
        AddFilterOfClass(CLSID_Colour, L"Color Space Converter", L"Not found Color SpaceConvertor");
    if (!converter)
        return 0;
    OutputDebugStringW(L"Converter");
    Log(L"Color Space Convertor를 찾았습니다.(DirectShowFilter)");

    // 6. Effect and renderer, and the chain source -> decoder -> converter -> effect -> renderer,
    //    leaving out a filter that takes no part.
    if (RendererFilterName(m_nRendererKind)) {
        OutputDebugStringW(m_nRendererKind == KXM_RENDERER_EVR    ? L"EVR"
                           : m_nRendererKind == KXM_RENDERER_VMR7 ? L"RENDER 7"
                                                                  : L"RENDER 9");
        RenderStage stage;
        if (!AddRenderStage(stage))
            return 0;
        IBaseFilter* tail = source.Get();
        if (ConnectPins(tail, decoder.Get()))
            tail = decoder.Get();
        const bool converted = ConnectPins(tail, converter.Get());
        if (converted)
            tail = converter.Get();
        switch (LinkRenderStage(stage, tail, converted, negotiate)) {
        case Link::Linked:
            break;
        case Link::Failed:
            return 0;
        case Link::Retry:
            OutputDebugStringW(L"Rebuild");
            // Everything this attempt holds goes before the second one starts, so no filter of
            // the first keeps its device open.
            stage = {};
            decoder.Reset();
            converter.Reset();
            source.Reset();
            m_pCaptureBuilder.Reset();
            return BuildCrossbarGraph(0);
        }
    }

    // 7. The sound renderer, when sound is wanted.
    if (m_bAudio && !AddSoundRenderer(source.Get()))
        return 0;

    // 8. The finished graph, kept as a graph file.
    OutputDebugStringW(L"FINAL");
    if (!negotiate)
        TakeConnectedFormat(source.Get());
    source.Reset();
    m_pCaptureBuilder.Reset();
    if (m_bKeepCrossbarGraph)
        SaveGraphFile(m_pGraph);
    OutputDebugStringW(L"COMPLETED");
    return 1;
}

int CKXMCapture::BuildCaptureGraph(int negotiate)
{
    if (!m_pCurrentDevice)
        return 0;
    // 1. An empty graph.
    if (!BeginBuild(false))
        return 0;

    // 2. The record's capture device.
    CString name = m_pCurrentDevice->sourceName;
    ComPtr<IBaseFilter> device =
        ComPtr<IBaseFilter>::Adopt(FindDeviceFilter(CLSID_VideoInputDeviceCategory, nullptr, name, 1));
    if (!device) {
        // An unplugged camera is not a running preview.
        Trace(L"Cannot found device %s\n", static_cast<LPCWSTR>(name));
        return 0;
    }
    Logf(L"WDM장치[%s]를 찾았습니다.", static_cast<LPCWSTR>(name));
    CaptureFilterFound(device.Get(), negotiate);

    // 3. Effect and renderer, and the chain device -> effect -> renderer.
    if (!RendererFilterName(m_nRendererKind))
        return 1;
    RenderStage stage;
    if (!AddRenderStage(stage))
        return 0;
    switch (LinkRenderStage(stage, device.Get(), true, negotiate, true)) {
    case Link::Linked:
        break;
    case Link::Failed:
        return 0;
    case Link::Retry:
        stage = {};
        device.Reset();
        return BuildCaptureGraph(0);
    }

    // 4. The sound renderer, when sound is wanted.
    if (m_bAudio && !AddSoundRenderer(device.Get()))
        return 0;
    if (!negotiate)
        TakeConnectedFormat(device.Get());
    return 1;
}

ComPtr<IBaseFilter> CKXMCapture::FindSavedRenderer(int* kind)
{
    ComPtr<IBaseFilter> renderer;
    for (int k : { KXM_RENDERER_VMR9, KXM_RENDERER_EVR, KXM_RENDERER_VMR7 }) {
        if (SUCCEEDED(m_pGraph->FindFilterByName(RendererFilterName(k), renderer.Put())) && renderer) {
            *kind = k;
            return renderer;
        }
    }
    return {};
}

bool CKXMCapture::ReconnectWindowless(IBaseFilter* renderer, int kind)
{
    for (auto& pin : Pins(renderer)) {
        PIN_DIRECTION dir;
        ComPtr<IPin> peer;
        if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_INPUT || FAILED(pin->ConnectedTo(peer.Put())) || !peer)
            continue;
        if (Failed(DisconnectPin(m_pGraph, pin.Get()), L"Disconnect Pin"))
            return false;
        HRESULT mode = E_NOINTERFACE;
        if (Failed(MakeWindowless(renderer, kind, &mode), L"VMR Filter Config"))
            return false;
        if (Failed(mode, L"Set Rendering Mode"))
            return false;
        if (Failed(m_pGraph->Connect(peer.Get(), pin.Get()), L"Reconnect"))
            return false;
    }
    return true;
}

int CKXMCapture::BuildSavedGraph(LPCWSTR path)
{
    m_formats.RemoveAll();
    if (!m_hPreviewWnd)
        return 0;
    // 1. An empty graph with a new capture-graph builder on it.
    BuilderRelease release(m_pCaptureBuilder);
    if (!BeginBuild(true))
        return 0;

    // 2. The graph file. A missing or damaged file is no running preview; a partial load goes on
    //    to find its renderer.
    HRESULT hr = LoadGraphFile(m_pGraph, path);
    if (FAILED(hr)) {
        Failed(hr, L"Load Graph File");
        return 0;
    }

    // 3. The renderer the file holds, whose kind becomes the engine's.
    int kind = -1;
    ComPtr<IBaseFilter> renderer = FindSavedRenderer(&kind);
    if (!renderer)
        return 0;
    m_nRendererKind = kind;

    // 4. The renderer tied to the preview window.
    if (kind == KXM_RENDERER_EVR) {
        BindEnhanced(renderer.Get(), m_hPreviewWnd, MFVideoARMode_NonLinearStretch);
        return 1;
    }
    if (!ReconnectWindowless(renderer.Get(), kind))
        return 0;
    const DWORD aspect = m_bKeepAspect ? VMR_ARMODE_LETTER_BOX : VMR_ARMODE_NONE;
    const bool bound = BindMixing(renderer.Get(), kind, m_hPreviewWnd, aspect,
                                  [this](HRESULT failure, LPCWSTR context) { return Failed(failure, context); });
    if (bound)
        OutputDebugStringW(L"Success Render");
    return bound ? 1 : 0;
}

HRESULT DisconnectPin(IGraphBuilder* graph, IPin* pin)
{
    if (!graph || !pin)
        return E_POINTER;
    ComPtr<IPin> peer;
    HRESULT hr = pin->ConnectedTo(peer.Put());
    if (hr == VFW_E_NOT_CONNECTED)
        return S_OK;
    if (FAILED(hr))
        return hr;
    hr = graph->Disconnect(pin);
    pin->Disconnect();
    if (peer) {
        graph->Disconnect(peer.Get());
        peer->Disconnect();
    }
    return hr;
}

HRESULT DisconnectAndRemoveFilter(IGraphBuilder* graph, IBaseFilter* filter)
{
    if (!graph || !filter)
        return E_POINTER;
    for (auto& pin : Pins(filter))
        DisconnectPin(graph, pin.Get());
    return graph->RemoveFilter(filter);
}

void RemoveEveryFilter(IGraphBuilder* graph)
{
    if (!graph)
        return;
    // Taken out of the enumeration first: removing changes what it walks.
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<IEnumFilters> e;
    if (SUCCEEDED(graph->EnumFilters(e.Put())) && e) {
        IBaseFilter* f = nullptr;
        while (e->Next(1, &f, nullptr) == S_OK)
            filters.push_back(ComPtr<IBaseFilter>::Adopt(f));
    }
    for (auto& f : filters)
        DisconnectAndRemoveFilter(graph, f.Get());
}

HRESULT LoadGraphFile(IGraphBuilder* graph, LPCWSTR path)
{
    if (!graph || !path)
        return E_POINTER;
    if (StgIsStorageFile(path) != S_OK)
        return E_FAIL;
    ComPtr<IStorage> storage;
    HRESULT hr = StgOpenStorage(path, nullptr, STGM_TRANSACTED | STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0,
                                storage.Put());
    if (FAILED(hr))
        return hr;
    ComPtr<IPersistStream> persist;
    hr = graph->QueryInterface(IID_IPersistStream, persist.PutVoid());
    if (FAILED(hr))
        return hr;
    ComPtr<IStream> stream;
    hr = storage->OpenStream(L"ActiveMovieGraph", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, stream.Put());
    if (FAILED(hr))
        return hr;
    return persist->Load(stream.Get());
}

bool SaveGraphFile(IGraphBuilder* graph, LPCWSTR path)
{
    if (!graph)
        return false;
    ComPtr<IStorage> storage;
    if (FAILED(StgCreateDocfile(path, STGM_CREATE | STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                0, storage.Put())) || !storage)
        return false;
    ComPtr<IStream> stream;
    if (FAILED(storage->CreateStream(L"ActiveMovieGraph", STGM_WRITE | STGM_CREATE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                     stream.Put())) || !stream)
        return false;
    ComPtr<IPersistStream> persist;
    if (FAILED(graph->QueryInterface(IID_IPersistStream, persist.PutVoid())) || !persist)
        return false;
    HRESULT hr = persist->Save(stream.Get(), TRUE);
    stream.Reset();
    return SUCCEEDED(hr) && SUCCEEDED(storage->Commit(STGC_DEFAULT));
}

void FreeMediaType(AM_MEDIA_TYPE& mt)
{
    if (mt.cbFormat != 0) {
        CoTaskMemFree(mt.pbFormat);
        mt.cbFormat = 0;
        mt.pbFormat = nullptr;
    }
    if (mt.pUnk) {
        mt.pUnk->Release();
        mt.pUnk = nullptr;
    }
}
