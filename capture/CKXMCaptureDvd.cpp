// The DVD source: a playback graph around the navigator, and its menus worked with the mouse.
#include "capture/CKXMCapture.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;

int CKXMCapture::BuildDvdGraph()
{
    m_formats.RemoveAll();
    if (!m_hPreviewWnd)
        return 0;
    if (!BeginBuild(false))
        return 0;
    ComPtr<IBaseFilter> navigator;
    if (Failed(CoCreateInstance(CLSID_DVDNavigator, nullptr, CLSCTX_ALL, IID_IBaseFilter, navigator.PutVoid()),
               L"Fail to DVD Navigator"))
        return 0;
    m_pGraph->AddFilter(navigator.Get(), L"DVD Navigator");
    // A graph without its renderers shows nothing: it is not a running source.
    return RenderDvdGraph(m_hPreviewWnd, navigator.Get());
}

int CKXMCapture::RenderDvdGraph(HWND hwnd, IBaseFilter* navigator)
{
    if (hwnd)
        m_hPreviewWnd = hwnd;
    if (!m_hPreviewWnd || !m_pGraph)
        return 0;
    ComPtr<IBaseFilter> renderer;
    if (!AddRenderer(renderer.Put()))
        return 0;
    // The navigator's sound reaches the sound renderer when its outputs are rendered below.
    if (!AddSoundRenderer(nullptr))
        return 0;
    ComPtr<IFilterGraph2> graph2;
    ComPtr<IEnumPins> pins;
    if (FAILED(m_pGraph->QueryInterface(IID_IFilterGraph2, graph2.PutVoid())) || !graph2 ||
        FAILED(navigator->EnumPins(pins.Put())) || !pins)
        return 1;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
        graph2->RenderEx(pin, AM_RENDEREX_RENDERTOEXISTINGRENDERERS, nullptr);
        pin->Release();
    }
    return 1;
}

bool CKXMCapture::WindowToVideo(POINT& pt)
{
    ComPtr<IBaseFilter> renderer = ComPtr<IBaseFilter>::Adopt(FindRenderer());
    if (!renderer)
        return true;
    // Where the picture stands in the window (the whole destination, or its letter-boxed part)
    // and its own size.
    RECT dest {};
    LONG width = 0, height = 0;
    bool keepAspect = false;
    if (m_nRendererKind == KXM_RENDERER_EVR) {
        ComPtr<IMFGetService> service;
        ComPtr<IMFVideoDisplayControl> display;
        if (SUCCEEDED(renderer->QueryInterface(IID_IMFGetService, service.PutVoid())) && service)
            service->GetService(MR_VIDEO_RENDER_SERVICE, IID_IMFVideoDisplayControl, display.PutVoid());
        SIZE size {};
        DWORD mode = 0;
        if (!display || FAILED(display->GetNativeVideoSize(&size, nullptr)) ||
            FAILED(display->GetVideoPosition(nullptr, &dest)))
            return true;
        display->GetAspectRatioMode(&mode);
        width = size.cx, height = size.cy, keepAspect = (mode & MFVideoARMode_PreservePicture) != 0;
    } else {
        auto query = [&](auto* control) {
            DWORD mode = 0;
            if (FAILED(control->GetNativeVideoSize(&width, &height, nullptr, nullptr)) ||
                FAILED(control->GetVideoPosition(nullptr, &dest)))
                return false;
            control->GetAspectRatioMode(&mode);
            keepAspect = mode == VMR_ARMODE_LETTER_BOX;
            return true;
        };
        bool ok = false;
        if (m_nRendererKind == KXM_RENDERER_VMR9) {
            ComPtr<IVMRWindowlessControl9> control;
            if (SUCCEEDED(renderer->QueryInterface(IID_IVMRWindowlessControl9, control.PutVoid())) && control)
                ok = query(control.Get());
        } else {
            ComPtr<IVMRWindowlessControl> control;
            if (SUCCEEDED(renderer->QueryInterface(IID_IVMRWindowlessControl, control.PutVoid())) && control)
                ok = query(control.Get());
        }
        if (!ok)
            return true;
    }
    long long dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    if (width <= 0 || height <= 0 || dw <= 0 || dh <= 0)
        return true;
    RECT pic = dest;
    if (keepAspect) {
        if (dw * height > dh * width) {
            const long long w = dh * width / height;
            pic.left = static_cast<LONG>(dest.left + (dw - w) / 2);
            pic.right = static_cast<LONG>(pic.left + w);
        } else {
            const long long h = dw * height / width;
            pic.top = static_cast<LONG>(dest.top + (dh - h) / 2);
            pic.bottom = static_cast<LONG>(pic.top + h);
        }
    }
    // A point on the bars is over no part of the picture.
    if (pt.x < pic.left || pt.x >= pic.right || pt.y < pic.top || pt.y >= pic.bottom)
        return false;
    pt.x = static_cast<LONG>((pt.x - pic.left) * static_cast<long long>(width) / (pic.right - pic.left));
    pt.y = static_cast<LONG>((pt.y - pic.top) * static_cast<long long>(height) / (pic.bottom - pic.top));
    return true;
}

int CKXMCapture::DvdAtPosition(POINT pt, bool activate, HRESULT* answer)
{
    std::lock_guard lock(m_lock);
    if (!m_pGraph)
        return 0;
    ComPtr<IBaseFilter> navigator;
    if (FAILED(m_pGraph->FindFilterByName(L"DVD Navigator", navigator.Put())) || !navigator)
        return 0;
    ComPtr<IDvdControl2> control;
    if (FAILED(navigator->QueryInterface(IID_IDvdControl2, control.PutVoid())) || !control)
        return 0;
    if (!WindowToVideo(pt))
        return 1;
    const HRESULT hr = activate ? control->ActivateAtPosition(pt) : control->SelectAtPosition(pt);
    if (answer)
        *answer = hr;
    return 1;
}

int CKXMCapture::DvdButtonAtPosition(POINT pt)
{
    HRESULT answer = E_FAIL;
    return DvdAtPosition(pt, false, &answer) && answer == S_OK ? 1 : 0;
}

int CKXMCapture::SelectDvdAtPosition(POINT pt)
{
    return DvdAtPosition(pt, false);
}

int CKXMCapture::ActivateDvdAtPosition(POINT pt)
{
    return DvdAtPosition(pt, true);
}
