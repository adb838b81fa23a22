// Helpers for the media tests: a synthetic device set, graph building by name, and reading
// back the renderer's picture.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/Devices.h"
#include "platform/media/FilterGraph.h"
#include "platform/media/SyntheticDevices.h"
#include "platform/media/dshow.h"

namespace quiva::test {

using quiva::ComPtr;

// Installs a synthetic configuration for one test.
class ScopedDevices {
public:
    explicit ScopedDevices(const std::string& text) { quiva::media::SetSyntheticConfig(text); }
    ~ScopedDevices()
    {
        quiva::media::SetSyntheticConfig(std::nullopt);
        quiva::ClearComClassFailures();
    }
};

inline const char* kStandardDevices =
    "unpaired \"Test Unpaired\"\n"
    "card \"Test Card\"\n"
    "camera \"Test Camera\"\n";

inline ComPtr<IGraphBuilder> NewGraph()
{
    ComPtr<IGraphBuilder> g;
    EXPECT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, g.PutVoid()));
    return g;
}

inline ComPtr<IBaseFilter> Create(REFCLSID clsid)
{
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid());
    return f;
}

// The device of a category with this friendly name, bound and added to the graph.
inline ComPtr<IBaseFilter> AddDevice(IGraphBuilder* graph, REFGUID category, const std::wstring& name)
{
    ComPtr<ICreateDevEnum> devEnum;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum, devEnum.PutVoid());
    ComPtr<IEnumMoniker> monikers;
    if (!devEnum || devEnum->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK)
        return {};
    IMoniker* m = nullptr;
    while (monikers->Next(1, &m, nullptr) == S_OK) {
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(m);
        ComPtr<IPropertyBag> bag;
        moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid());
        VARIANT v;
        VariantInit(&v);
        if (bag && SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && name == v.bstrVal) {
            VariantClear(&v);
            ComPtr<IBaseFilter> f;
            if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, f.PutVoid())))
                return {};
            graph->AddFilter(f.Get(), name.c_str());
            return f;
        }
        VariantClear(&v);
    }
    return {};
}

inline ComPtr<IPin> FindPin(IBaseFilter* f, PIN_DIRECTION dir, int index = 0)
{
    ComPtr<IEnumPins> pins;
    f->EnumPins(pins.Put());
    IPin* p = nullptr;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        PIN_DIRECTION d;
        pin->QueryDirection(&d);
        if (d == dir && index-- == 0)
            return pin;
    }
    return {};
}

inline HRESULT ConnectFilters(IGraphBuilder* g, IBaseFilter* up, IBaseFilter* down)
{
    ComPtr<IPin> out = FindPin(up, PINDIR_OUTPUT);
    ComPtr<IPin> in = FindPin(down, PINDIR_INPUT);
    if (!out || !in)
        return E_FAIL;
    return g->Connect(out.Get(), in.Get());
}

// A mixing renderer 9 in windowless mode, added as "Video Mixing Renderer 9".
inline ComPtr<IBaseFilter> AddWindowlessVmr9(IGraphBuilder* g)
{
    ComPtr<IBaseFilter> r = Create(CLSID_VideoMixingRenderer9);
    ComPtr<IVMRFilterConfig9> config = r.As<IVMRFilterConfig9>(IID_IVMRFilterConfig9);
    EXPECT_EQ(S_OK, config->SetRenderingMode(VMR9Mode_Windowless));
    g->AddFilter(r.Get(), L"Video Mixing Renderer 9");
    return r;
}

struct Grabbed {
    BITMAPINFOHEADER header{};
    std::vector<uint8_t> pixels;
    quiva::media::FrameStamp stamp;
    bool stampOk = false;
};

inline Grabbed GrabVmr9(IBaseFilter* renderer)
{
    Grabbed g;
    ComPtr<IVMRWindowlessControl9> wc = ComPtr<IBaseFilter>(renderer).As<IVMRWindowlessControl9>(IID_IVMRWindowlessControl9);
    BYTE* dib = nullptr;
    if (!wc || FAILED(wc->GetCurrentImage(&dib)))
        return g;
    std::memcpy(&g.header, dib, sizeof(g.header));
    g.pixels.assign(dib + g.header.biSize, dib + g.header.biSize + g.header.biSizeImage);
    CoTaskMemFree(dib);
    g.stampOk = quiva::media::ReadFrameStamp(g.pixels.data(), g.header.biWidth, g.header.biHeight, &g.stamp);
    return g;
}

// Runs until the renderer shows a frame with a counter past `after`.
inline Grabbed WaitForFrame(IBaseFilter* renderer, uint32_t after, int timeoutMs = 3000)
{
    Grabbed g;
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        g = GrabVmr9(renderer);
        if (g.stampOk && g.stamp.counter > after)
            return g;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return g;
}

}  // namespace quiva::test
