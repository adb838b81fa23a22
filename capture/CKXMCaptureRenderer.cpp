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

// Ties a renderer of a kind to a window: clipping or video window, aspect mode, destination.
// False when a mixing renderer refuses its windowless control.
template <typename Control>
bool BindMixing(IBaseFilter* renderer, REFIID iid, HWND hwnd, bool keepAspect)
{
    ComPtr<Control> control;
    if (FAILED(renderer->QueryInterface(iid, control.PutVoid())) || !control)
        return false;
    RECT client {};
    GetClientRect(hwnd, &client);
    control->SetVideoClippingWindow(hwnd);
    control->SetAspectRatioMode(keepAspect ? VMR_ARMODE_LETTER_BOX : VMR_ARMODE_NONE);
    control->SetVideoPosition(nullptr, &client);
    return true;
}

bool BindEnhanced(IBaseFilter* renderer, HWND hwnd, bool keepAspect)
{
    ComPtr<IMFVideoDisplayControl> display = DisplayControl(renderer);
    if (!display)
        return false;
    RECT client {};
    GetClientRect(hwnd, &client);
    display->SetVideoWindow(hwnd);
    display->SetAspectRatioMode(keepAspect ? (MFVideoARMode_PreservePicture | MFVideoARMode_PreservePixel |
                                              MFVideoARMode_NonLinearStretch)
                                           : MFVideoARMode_None);
    display->SetVideoPosition(nullptr, &client);
    return true;
}

}  // namespace

int CKXMCapture::AddRenderer(IBaseFilter** out)
{
    *out = nullptr;
    LPCWSTR name = RendererFilterName(m_nRendererKind);
    if (!name)
        return 1;
    const CLSID& clsid = m_nRendererKind == KXM_RENDERER_EVR    ? CLSID_EnhancedVideoRenderer
                         : m_nRendererKind == KXM_RENDERER_VMR7 ? CLSID_VideoMixingRenderer
                                                                : CLSID_VideoMixingRenderer9;
    ComPtr<IBaseFilter> renderer;
    if (Failed(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IBaseFilter,
                                renderer.PutVoid()),
               L"Fail to create Video mixing renderer"))
        return 0;
    if (m_nRendererKind == KXM_RENDERER_EVR) {
        BindEnhanced(renderer.Get(), m_hPreviewWnd, m_bKeepAspect != 0);
    } else {
        HRESULT hr;
        if (m_nRendererKind == KXM_RENDERER_VMR9) {
            ComPtr<IVMRFilterConfig9> config;
            hr = renderer->QueryInterface(IID_IVMRFilterConfig9, config.PutVoid());
            if (SUCCEEDED(hr))
                config->SetRenderingMode(VMR9Mode_Windowless);
        } else {
            ComPtr<IVMRFilterConfig> config;
            hr = renderer->QueryInterface(IID_IVMRFilterConfig, config.PutVoid());
            if (SUCCEEDED(hr))
                config->SetRenderingMode(VMRMode_Windowless);
        }
        if (Failed(hr, L"Fail to query interface VMR filter config"))
            return 0;
        if (m_nRendererKind == KXM_RENDERER_VMR9) {
            OutputDebugStringW(L"Config");
            Trace(L"Clip window : %x\n", static_cast<unsigned>(reinterpret_cast<uintptr_t>(m_hPreviewWnd)));
            BindMixing<IVMRWindowlessControl9>(renderer.Get(), IID_IVMRWindowlessControl9, m_hPreviewWnd,
                                               m_bKeepAspect != 0);
        } else {
            BindMixing<IVMRWindowlessControl>(renderer.Get(), IID_IVMRWindowlessControl, m_hPreviewWnd,
                                              m_bKeepAspect != 0);
        }
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
    switch (m_nRendererKind) {
    case KXM_RENDERER_VMR9:
        return BindMixing<IVMRWindowlessControl9>(renderer.Get(), IID_IVMRWindowlessControl9, m_hPreviewWnd,
                                                  m_bKeepAspect != 0) ? 1 : 0;
    case KXM_RENDERER_VMR7:
        return BindMixing<IVMRWindowlessControl>(renderer.Get(), IID_IVMRWindowlessControl, m_hPreviewWnd,
                                                 m_bKeepAspect != 0) ? 1 : 0;
    default:
        BindEnhanced(renderer.Get(), m_hPreviewWnd, m_bKeepAspect != 0);
        return 1;
    }
}
