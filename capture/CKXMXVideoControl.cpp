#include "capture/CKXMXVideoControl.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "capture/CKXMCapture.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;

CKXMXVideoControl::CKXMXVideoControl()
{
    CoInitialize(nullptr);
}

CKXMXVideoControl::~CKXMXVideoControl()
{
    Stop();
    if (m_pGraph) {
        RemoveAllFilters();
        m_pGraph->Release();
        m_pGraph = nullptr;
    }
    CoUninitialize();
}

void CKXMXVideoControl::RemoveAllFilters()
{
    std::vector<ComPtr<IBaseFilter>> filters;
    ComPtr<IEnumFilters> e;
    if (SUCCEEDED(m_pGraph->EnumFilters(e.Put())) && e) {
        IBaseFilter* f = nullptr;
        while (e->Next(1, &f, nullptr) == S_OK)
            filters.push_back(ComPtr<IBaseFilter>::Adopt(f));
    }
    for (auto& f : filters)
        DisconnectAndRemoveFilter(m_pGraph, f.Get());
}

int CKXMXVideoControl::Open(LPCWSTR path)
{
    if (!m_pGraph)
        return 0;
    ComPtr<IBaseFilter> source;
    if (FAILED(m_pGraph->AddSourceFilter(path, L"SOURCE", source.Put())) || !source)
        return 0;

    LPCWSTR name = RendererFilterName(m_nRendererKind);
    if (name) {
        const CLSID& clsid = m_nRendererKind == KXM_RENDERER_EVR    ? CLSID_EnhancedVideoRenderer
                             : m_nRendererKind == KXM_RENDERER_VMR7 ? CLSID_VideoMixingRenderer
                                                                    : CLSID_VideoMixingRenderer9;
        ComPtr<IBaseFilter> renderer;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IBaseFilter,
                                    renderer.PutVoid())) || !renderer)
            return 0;
        RECT client {};
        GetClientRect(m_hWnd, &client);
        if (m_nRendererKind == KXM_RENDERER_EVR) {
            auto service = renderer.As<IMFGetService>(IID_IMFGetService);
            ComPtr<IMFVideoDisplayControl> display;
            if (service)
                service->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl, display.PutVoid());
            if (display) {
                display->SetVideoWindow(m_hWnd);
                display->SetAspectRatioMode(MFVideoARMode_None);
                display->SetVideoPosition(nullptr, &client);
            }
        } else if (m_nRendererKind == KXM_RENDERER_VMR9) {
            if (auto config = renderer.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9))
                config->SetRenderingMode(VMR9Mode_Windowless);
            if (auto control = renderer.As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9)) {
                control->SetVideoClippingWindow(m_hWnd);
                control->SetAspectRatioMode(VMR9ARMode_LetterBox);
                control->SetVideoPosition(nullptr, &client);
            }
        } else {
            if (auto config = renderer.As<IVMRFilterConfig>(IID_IVMRFilterConfig))
                config->SetRenderingMode(VMRMode_Windowless);
            if (auto control = renderer.As<IVMRWindowlessControl>(IID_IVMRWindowlessControl)) {
                control->SetVideoClippingWindow(m_hWnd);
                control->SetAspectRatioMode(VMR_ARMODE_LETTER_BOX);
                control->SetVideoPosition(nullptr, &client);
            }
        }
        if (FAILED(m_pGraph->AddFilter(renderer.Get(), name)))
            return 0;
    }

    ComPtr<IFilterGraph2> graph2;
    ComPtr<IEnumPins> pins;
    if (FAILED(m_pGraph->QueryInterface(IID_IFilterGraph2, graph2.PutVoid())) || !graph2 ||
        FAILED(source->EnumPins(pins.Put())) || !pins)
        return 0;
    IPin* p = nullptr;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        HRESULT hr = graph2->RenderEx(pin.Get(), AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr);
        if (hr == S_OK || hr == VFW_S_PARTIAL_RENDER)
            return 1;
    }
    return 0;
}

int CKXMXVideoControl::Play()
{
    if (!m_pGraph)
        return 0;
    if (!m_pSeeking && (FAILED(m_pGraph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&m_pSeeking))) ||
                        !m_pSeeking)) {
        m_pSeeking = nullptr;
        return 0;
    }
    ComPtr<IMediaControl> control;
    if (SUCCEEDED(m_pGraph->QueryInterface(IID_IMediaControl, control.PutVoid())) && control)
        control->Run();
    return 1;
}

int CKXMXVideoControl::Stop()
{
    if (!m_pGraph)
        return 0;
    if (m_pSeeking) {
        m_pSeeking->Release();
        m_pSeeking = nullptr;
    }
    ComPtr<IMediaControl> control;
    if (FAILED(m_pGraph->QueryInterface(IID_IMediaControl, control.PutVoid())) || !control)
        return 0;
    return control->Stop() == S_OK ? 1 : 0;
}

bool CKXMXVideoControl::GrabCurrentImage(IStream* stream)
{
    ComPtr<IBaseFilter> renderer = ComPtr<IBaseFilter>::Adopt(FindRendererOfKind(m_pGraph, m_nRendererKind));
    if (!renderer || !stream)
        return false;
    HRESULT hr;
    BYTE* dib = ReadRendererImage(renderer.Get(), m_nRendererKind, &hr);
    if (!dib)
        return false;
    const std::string file = DibAsBmpFile(dib);
    std::free(dib);
    ULONG written = 0;
    return SUCCEEDED(stream->Write(file.data(), static_cast<ULONG>(file.size()), &written)) && written == file.size();
}
