// The renderer stage: a renderer drawing into the preview window without a window of its own,
// found again by its name in the graph whenever it is needed.
#include "capture/CKXMCapture.h"
#include "platform/base/debug.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;

LPCWSTR RendererFilterName(int kind)
{
    switch (kind) {
    case KXM_RENDERER_VMR9: return L"Video Mixing Renderer 9";
    case KXM_RENDERER_VMR7: return L"Video Mixing Renderer 7";
    case KXM_RENDERER_EVR: return L"Enhanced Video Renderer";
    default: return nullptr;
    }
}

namespace {

ComPtr<IMFVideoDisplayControl> DisplayControl(IBaseFilter* renderer)
{
    ComPtr<IMFGetService> service;
    ComPtr<IMFVideoDisplayControl> display;
    if (SUCCEEDED(renderer->QueryInterface(IID_IMFGetService, service.PutVoid())) && service)
        service->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl, display.PutVoid());
    return display;
}

template <typename Control>
bool BindMixingControl(IBaseFilter* renderer, REFIID iid, HWND hwnd, DWORD aspect, const RendererStepCheck& check)
{
    auto failed = [&](HRESULT hr, LPCWSTR context) { return FAILED(hr) && check && check(hr, context); };
    ComPtr<Control> control;
    const HRESULT hr = renderer->QueryInterface(iid, control.PutVoid());
    if (FAILED(hr) || !control) {
        failed(FAILED(hr) ? hr : E_NOINTERFACE, L"Mixing Render");
        return false;
    }
    RECT client {};
    GetClientRect(hwnd, &client);
    if (failed(control->SetVideoClippingWindow(hwnd), L"Set Video Clipping Window"))
        return false;
    control->SetAspectRatioMode(aspect);
    return !failed(control->SetVideoPosition(nullptr, &client), L"Set Video Position");
}

}  // namespace

bool BindMixing(IBaseFilter* renderer, int kind, HWND hwnd, DWORD aspect, const RendererStepCheck& check)
{
    if (kind == KXM_RENDERER_VMR9)
        return BindMixingControl<IVMRWindowlessControl9>(renderer, IID_IVMRWindowlessControl9, hwnd, aspect, check);
    return BindMixingControl<IVMRWindowlessControl>(renderer, IID_IVMRWindowlessControl, hwnd, aspect, check);
}

bool BindEnhanced(IBaseFilter* renderer, HWND hwnd, DWORD aspect)
{
    ComPtr<IMFVideoDisplayControl> display = DisplayControl(renderer);
    if (!display)
        return false;
    RECT client {};
    GetClientRect(hwnd, &client);
    display->SetVideoWindow(hwnd);
    display->SetAspectRatioMode(aspect);
    display->SetVideoPosition(nullptr, &client);
    return true;
}

HRESULT CreateRenderer(int kind, IBaseFilter** renderer)
{
    const CLSID& clsid = kind == KXM_RENDERER_EVR    ? CLSID_EnhancedVideoRenderer
                         : kind == KXM_RENDERER_VMR7 ? CLSID_VideoMixingRenderer
                                                     : CLSID_VideoMixingRenderer9;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IBaseFilter,
                            reinterpret_cast<void**>(renderer));
}

HRESULT MakeWindowless(IBaseFilter* renderer, int kind, HRESULT* modeResult)
{
    HRESULT hr, mode = E_NOINTERFACE;
    if (kind == KXM_RENDERER_VMR9) {
        ComPtr<IVMRFilterConfig9> config;
        hr = renderer->QueryInterface(IID_IVMRFilterConfig9, config.PutVoid());
        if (SUCCEEDED(hr) && config)
            mode = config->SetRenderingMode(VMR9Mode_Windowless);
    } else {
        ComPtr<IVMRFilterConfig> config;
        hr = renderer->QueryInterface(IID_IVMRFilterConfig, config.PutVoid());
        if (SUCCEEDED(hr) && config)
            mode = config->SetRenderingMode(VMRMode_Windowless);
    }
    if (modeResult)
        *modeResult = mode;
    return hr;
}

namespace {

// The aspect-ratio modes of the capture preview: letter-boxed, or stretched over the window.
DWORD MixingAspect(bool keepAspect)
{
    return keepAspect ? VMR_ARMODE_LETTER_BOX : VMR_ARMODE_NONE;
}

DWORD EnhancedAspect(bool keepAspect)
{
    return keepAspect ? (MFVideoARMode_PreservePicture | MFVideoARMode_PreservePixel | MFVideoARMode_NonLinearStretch)
                      : MFVideoARMode_None;
}

}  // namespace

int CKXMCapture::AddRenderer(IBaseFilter** out)
{
    *out = nullptr;
    LPCWSTR name = RendererFilterName(m_nRendererKind);
    if (!name)
        return 1;
    ComPtr<IBaseFilter> renderer;
    if (Failed(CreateRenderer(m_nRendererKind, renderer.Put()), L"Fail to create Video mixing renderer"))
        return 0;
    if (m_nRendererKind == KXM_RENDERER_EVR) {
        BindEnhanced(renderer.Get(), m_hPreviewWnd, EnhancedAspect(m_bKeepAspect != 0));
    } else {
        if (Failed(MakeWindowless(renderer.Get(), m_nRendererKind), L"Fail to query interface VMR filter config"))
            return 0;
        if (m_nRendererKind == KXM_RENDERER_VMR9) {
            OutputDebugStringW(L"Config");
            Trace(L"Clip window : %x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hPreviewWnd)));
        }
        BindMixing(renderer.Get(), m_nRendererKind, m_hPreviewWnd, MixingAspect(m_bKeepAspect != 0));
    }
    if (Failed(m_pGraph->AddFilter(renderer.Get(), name), L"Fail to add filter 'Video Renderer'"))
        return 0;
    *out = renderer.Detach();
    return 1;
}

IBaseFilter* FindRendererOfKind(IGraphBuilder* graph, int kind)
{
    LPCWSTR name = RendererFilterName(kind);
    IBaseFilter* renderer = nullptr;
    if (!graph || !name || FAILED(graph->FindFilterByName(name, &renderer)))
        return nullptr;
    return renderer;
}

IBaseFilter* CKXMCapture::FindRenderer() const
{
    return FindRendererOfKind(m_pGraph, m_nRendererKind);
}

int CKXMCapture::UpdateVideoPosition()
{
    std::lock_guard lock(m_lock);
    if (!m_pCurrentDevice)
        return 0;
    if (m_pCurrentDevice->type == 4)
        return 1;
    if (!m_pGraph || !m_hPreviewWnd)
        return 0;
    ComPtr<IBaseFilter> renderer = ComPtr<IBaseFilter>::Adopt(FindRenderer());
    if (!renderer)
        return 1;
    RECT client {};
    GetClientRect(m_hPreviewWnd, &client);
    if (m_nRendererKind == KXM_RENDERER_VMR9) {
        ComPtr<IVMRWindowlessControl9> control;
        if (Failed(renderer->QueryInterface(IID_IVMRWindowlessControl9, control.PutVoid()), L"Mixing Render"))
            return 0;
        if (Failed(control->SetVideoPosition(nullptr, &client), L"Set Video Position"))
            return 0;
        HDC dc = GetDC(m_hPreviewWnd);
        control->RepaintVideo(m_hPreviewWnd, dc);
        ReleaseDC(m_hPreviewWnd, dc);
    } else if (m_nRendererKind == KXM_RENDERER_VMR7) {
        ComPtr<IVMRWindowlessControl> control;
        if (Failed(renderer->QueryInterface(IID_IVMRWindowlessControl, control.PutVoid()), L"Mixing Render"))
            return 0;
        if (Failed(control->SetVideoPosition(nullptr, &client), L"Set Video Position"))
            return 0;
    } else {
        if (ComPtr<IMFVideoDisplayControl> display = DisplayControl(renderer.Get()))
            display->SetVideoPosition(nullptr, &client);
    }
    return 1;
}

int CKXMCapture::AttachRenderer(HWND hwnd)
{
    std::lock_guard lock(m_lock);
    if ((m_pCurrentDevice && m_pCurrentDevice->type == 4) || !m_pGraph || !hwnd)
        return 0;
    // A renderer missing from the graph (another kind was asked for, or the graph is new) cannot
    // be re-attached: the caller builds instead.
    ComPtr<IBaseFilter> renderer = ComPtr<IBaseFilter>::Adopt(FindRenderer());
    if (!renderer)
        return 0;
    if (m_nRendererKind == KXM_RENDERER_EVR) {
        BindEnhanced(renderer.Get(), m_hPreviewWnd, EnhancedAspect(m_bKeepAspect != 0));
        return 1;
    }
    return BindMixing(renderer.Get(), m_nRendererKind, m_hPreviewWnd, MixingAspect(m_bKeepAspect != 0)) ? 1 : 0;
}
