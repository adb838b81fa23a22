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
    RemoveEveryFilter(m_pGraph);
}

int CKXMXVideoControl::Open(LPCWSTR path)
{
    if (!m_pGraph)
        return 0;
    ComPtr<IBaseFilter> source;
    if (FAILED(m_pGraph->AddSourceFilter(path, L"SOURCE", source.Put())) || !source)
        return 0;

    // The thumbnail's renderer: windowless on the grabber's window, the whole picture letter-boxed
    // (the enhanced one stretched).
    if (LPCWSTR name = RendererFilterName(m_nRendererKind)) {
        ComPtr<IBaseFilter> renderer;
        if (FAILED(CreateRenderer(m_nRendererKind, renderer.Put())) || !renderer)
            return 0;
        if (m_nRendererKind == KXM_RENDERER_EVR) {
            BindEnhanced(renderer.Get(), m_hWnd, MFVideoARMode_None);
        } else {
            MakeWindowless(renderer.Get(), m_nRendererKind);
            BindMixing(renderer.Get(), m_nRendererKind, m_hWnd, VMR_ARMODE_LETTER_BOX);
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
