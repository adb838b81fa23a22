// Colour control: the four properties of the "Color Control" effect in the graph.
#include "capture/CKXMCapture.h"

using quiva::ComPtr;

namespace {

enum : DWORD { kBrightness = 1, kContrast = 2, kHue = 3, kSaturation = 4 };

PROPERTYKEY ColorKey(DWORD pid)
{
    return PROPERTYKEY { QUIVA_COLORCONTROL_FMTID, pid };
}

// The effect's property store; `found` tells whether the effect stands in the graph at all.
ComPtr<IPropertyStore> ColorStore(IGraphBuilder* graph, bool* found)
{
    *found = false;
    ComPtr<IPropertyStore> store;
    if (!graph)
        return store;
    ComPtr<IBaseFilter> effect;
    if (FAILED(graph->FindFilterByName(L"Color Control", effect.Put())) || !effect)
        return store;
    *found = true;
    effect->QueryInterface(IID_IPropertyStore, store.PutVoid());
    return store;
}

}  // namespace

void CKXMCapture::SetColorProperty(DWORD pid, int value)
{
    bool found;
    ComPtr<IPropertyStore> store = ColorStore(m_pGraph, &found);
    if (!store)
        return;
    // The value is always stored as a 32-bit integer, whatever the effect held before.
    PROPVARIANT v;
    PropVariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    store->SetValue(ColorKey(pid), v);
}

void CKXMCapture::SetColorControl1(int value)
{
    std::lock_guard lock(m_lock);
    SetColorProperty(kHue, value);
}

void CKXMCapture::SetColorControl2(int value)
{
    std::lock_guard lock(m_lock);
    SetColorProperty(kSaturation, value);
}

void CKXMCapture::SetColorControl3(int value)
{
    std::lock_guard lock(m_lock);
    SetColorProperty(kBrightness, value);
}

void CKXMCapture::SetColorControl4(int value)
{
    std::lock_guard lock(m_lock);
    SetColorProperty(kContrast, value);
}

void CKXMCapture::SetColorControls(int hue, int saturation, int brightness, int contrast)
{
    std::lock_guard lock(m_lock);
    SetColorProperty(kHue, hue);
    SetColorProperty(kSaturation, saturation);
    SetColorProperty(kBrightness, brightness);
    SetColorProperty(kContrast, contrast);
}

int CKXMCapture::GetColorControls(int* hue, int* saturation, int* brightness, int* contrast)
{
    std::lock_guard lock(m_lock);
    bool found;
    ComPtr<IPropertyStore> store = ColorStore(m_pGraph, &found);
    // Values that cannot be read are not reported as read.
    if (!store)
        return 0;
    const DWORD pids[4] = { kHue, kSaturation, kBrightness, kContrast };
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        PROPVARIANT v;
        PropVariantInit(&v);
        if (FAILED(store->GetValue(ColorKey(pids[i]), &v)))
            return 0;
        values[i] = (v.vt == VT_I4 || v.vt == VT_INT) ? v.lVal : 0;
        PropVariantClear(&v);
    }
    int* places[4] = { hue, saturation, brightness, contrast };
    for (int i = 0; i < 4; ++i)
        if (places[i])
            *places[i] = values[i];
    return 1;
}
