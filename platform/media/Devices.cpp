#include "platform/media/Devices.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/media/FilterBase.h"

namespace quiva::media {

std::shared_ptr<DeviceProvider> MakeSyntheticProvider();
std::shared_ptr<DeviceProvider> MakeV4l2Provider();

namespace {

struct Providers {
    std::mutex mutex;
    std::vector<std::shared_ptr<DeviceProvider>> list;
    bool builtins = false;
};

Providers& TheProviders()
{
    static Providers p;
    return p;
}

std::vector<std::shared_ptr<DeviceProvider>> Snapshot()
{
    Providers& p = TheProviders();
    std::lock_guard lock(p.mutex);
    if (!p.builtins) {
        p.builtins = true;
        p.list.insert(p.list.begin(), {MakeSyntheticProvider(), MakeV4l2Provider()});
    }
    return p.list;
}

class PropertyBag final : public IPropertyBag, public RefCounted {
public:
    explicit PropertyBag(DeviceEntry entry) : m_entry(std::move(entry)) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IPropertyBag) {
            *ppv = static_cast<IPropertyBag*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL
    HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override
    {
        if (!name || !value)
            return E_POINTER;
        std::wstring key = name;
        std::wstring text;
        if (key == L"FriendlyName" && m_entry.hasFriendlyName)
            text = m_entry.friendlyName;
        else if (key == L"DevicePath")
            text = m_entry.moniker;
        else
            return E_INVALIDARG;
        if (value->vt != VT_EMPTY && value->vt != VT_BSTR)
            return E_FAIL;
        VariantClear(value);
        value->vt = VT_BSTR;
        value->bstrVal = SysAllocString(text.c_str());
        return S_OK;
    }
    HRESULT Write(LPCOLESTR, VARIANT*) override { return E_FAIL; }

private:
    DeviceEntry m_entry;
};

class DeviceMoniker final : public IMoniker, public RefCounted {
public:
    explicit DeviceMoniker(DeviceEntry entry) : m_entry(std::move(entry)) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IMoniker) {
            *ppv = static_cast<IMoniker*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL
    HRESULT BindToObject(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        IBaseFilter* f = m_entry.create ? m_entry.create() : nullptr;
        if (!f)
            return VFW_E_NO_CAPTURE_HARDWARE;
        HRESULT hr = f->QueryInterface(riid, ppv);
        f->Release();
        return hr;
    }
    HRESULT BindToStorage(IBindCtx*, IMoniker*, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (riid != IID_IPropertyBag)
            return E_NOINTERFACE;
        *ppv = static_cast<IPropertyBag*>(new PropertyBag(m_entry));
        return S_OK;
    }
    HRESULT GetDisplayName(IBindCtx*, IMoniker*, LPOLESTR* name) override
    {
        if (!name)
            return E_POINTER;
        *name = static_cast<LPOLESTR>(CoTaskMemAlloc((m_entry.moniker.size() + 1) * sizeof(wchar_t)));
        std::wmemcpy(*name, m_entry.moniker.c_str(), m_entry.moniker.size() + 1);
        return S_OK;
    }

private:
    DeviceEntry m_entry;
};

class SystemDeviceEnum final : public ICreateDevEnum, public RefCounted {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICreateDevEnum) {
            *ppv = static_cast<ICreateDevEnum*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL
    HRESULT CreateClassEnumerator(REFCLSID category, IEnumMoniker** enumerator, DWORD) override
    {
        if (!enumerator)
            return E_POINTER;
        *enumerator = nullptr;
        std::vector<DeviceEntry> entries = EnumerateCategory(category);
        if (entries.empty())
            return S_FALSE;
        std::vector<IMoniker*> monikers;
        for (DeviceEntry& e : entries)
            monikers.push_back(new DeviceMoniker(std::move(e)));
        *enumerator = MakeMonikerEnum(monikers);
        for (IMoniker* m : monikers)
            m->Release();
        return S_OK;
    }
};

}  // namespace

void AddDeviceProvider(std::shared_ptr<DeviceProvider> provider)
{
    Snapshot();
    Providers& p = TheProviders();
    std::lock_guard lock(p.mutex);
    p.list.push_back(std::move(provider));
}

void RemoveDeviceProvider(const std::shared_ptr<DeviceProvider>& provider)
{
    Providers& p = TheProviders();
    std::lock_guard lock(p.mutex);
    p.list.erase(std::remove(p.list.begin(), p.list.end(), provider), p.list.end());
}

std::vector<DeviceEntry> EnumerateCategory(REFGUID category)
{
    std::vector<DeviceEntry> entries;
    for (const auto& provider : Snapshot())
        provider->Enumerate(category, entries);
    return entries;
}

IBaseFilter* BindDeviceMoniker(const std::wstring& moniker)
{
    for (const GUID* cat : {&AM_KSCATEGORY_CROSSBAR, &CLSID_VideoInputDeviceCategory})
        for (const DeviceEntry& e : EnumerateCategory(*cat))
            if (e.moniker == moniker)
                return e.create ? e.create() : nullptr;
    return nullptr;
}

IUnknown* CreateSystemDeviceEnum() { return new SystemDeviceEnum(); }

}  // namespace quiva::media
