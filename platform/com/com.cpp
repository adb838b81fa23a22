#include "platform/com/com.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#include "platform/base/wformat.h"

namespace {

struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

struct ClassTable {
    std::mutex mutex;
    std::map<GUID, quiva::ClassFactory, GuidLess> factories;
    std::set<GUID, GuidLess> failing;
    quiva::ClassCreationVeto veto;
};

ClassTable& Table()
{
    static ClassTable table;
    return table;
}

thread_local int t_comInit = 0;

}  // namespace

namespace quiva {

void RegisterComClass(REFCLSID clsid, ClassFactory factory)
{
    std::lock_guard lock(Table().mutex);
    Table().factories[clsid] = std::move(factory);
}

void SetComClassFailure(REFCLSID clsid, bool fail)
{
    std::lock_guard lock(Table().mutex);
    if (fail)
        Table().failing.insert(clsid);
    else
        Table().failing.erase(clsid);
}

void ClearComClassFailures()
{
    std::lock_guard lock(Table().mutex);
    Table().failing.clear();
}

void SetComClassVeto(ClassCreationVeto veto)
{
    std::lock_guard lock(Table().mutex);
    Table().veto = std::move(veto);
}

int ComInitCount() { return t_comInit; }

std::wstring GuidToString(REFGUID g)
{
    return FormatWide(L"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3, g.Data4[0],
                      g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
}

bool GuidFromString(const std::wstring& text, GUID* guid)
{
    if (!guid || text.size() != 38 || text[0] != L'{' || text[37] != L'}')
        return false;
    static const int dashes[] = {9, 14, 19, 24};
    for (int d : dashes)
        if (text[static_cast<size_t>(d)] != L'-')
            return false;
    auto hex = [&](size_t pos, int digits, uint64_t* out) {
        uint64_t v = 0;
        for (int i = 0; i < digits; ++i) {
            wchar_t c = text[pos + static_cast<size_t>(i)];
            int n = (c >= L'0' && c <= L'9') ? c - L'0' : (c >= L'a' && c <= L'f') ? c - L'a' + 10 : (c >= L'A' && c <= L'F') ? c - L'A' + 10 : -1;
            if (n < 0)
                return false;
            v = v * 16 + static_cast<uint64_t>(n);
        }
        *out = v;
        return true;
    };
    uint64_t v;
    GUID g{};
    if (!hex(1, 8, &v))
        return false;
    g.Data1 = static_cast<uint32_t>(v);
    if (!hex(10, 4, &v))
        return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!hex(15, 4, &v))
        return false;
    g.Data3 = static_cast<uint16_t>(v);
    static const size_t bytePos[] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!hex(bytePos[i], 2, &v))
            return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *guid = g;
    return true;
}

}  // namespace quiva

HRESULT CoInitialize(LPVOID) { return CoInitializeEx(nullptr, 0); }

HRESULT CoInitializeEx(LPVOID, DWORD)
{
    return t_comInit++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize()
{
    if (t_comInit > 0)
        --t_comInit;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer)
        return CLASS_E_NOAGGREGATION;
    quiva::ClassFactory factory;
    {
        std::lock_guard lock(Table().mutex);
        if (Table().failing.count(clsid))
            return E_FAIL;
        if (Table().veto && Table().veto(clsid))
            return E_FAIL;
        auto it = Table().factories.find(clsid);
        if (it == Table().factories.end())
            return REGDB_E_CLASSNOTREG;
        factory = it->second;
    }
    IUnknown* object = factory();
    if (!object)
        return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

LPVOID CoTaskMemAlloc(SIZE_T size) { return std::malloc(size ? size : 1); }
LPVOID CoTaskMemRealloc(LPVOID p, SIZE_T size) { return std::realloc(p, size ? size : 1); }
void CoTaskMemFree(LPVOID p) { std::free(p); }

int StringFromGUID2(REFGUID guid, LPWSTR buffer, int size)
{
    if (!buffer || size < 39)
        return 0;
    std::wstring text = quiva::GuidToString(guid);
    std::wmemcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int>(text.size() + 1);
}

HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid)
{
    if (!text || !clsid)
        return E_INVALIDARG;
    return quiva::GuidFromString(text, clsid) ? S_OK : static_cast<HRESULT>(0x800401F3);
}

// A BSTR carries its length in bytes in the four bytes before the text.
BSTR SysAllocString(const OLECHAR* text)
{
    if (!text)
        return nullptr;
    size_t len = std::wcslen(text);
    auto* block = static_cast<char*>(std::malloc(sizeof(uint64_t) + (len + 1) * sizeof(wchar_t)));
    if (!block)
        return nullptr;
    uint64_t bytes = len * sizeof(wchar_t);
    std::memcpy(block, &bytes, sizeof(bytes));
    auto* s = reinterpret_cast<wchar_t*>(block + sizeof(uint64_t));
    std::wmemcpy(s, text, len + 1);
    return s;
}

void SysFreeString(BSTR text)
{
    if (text)
        std::free(reinterpret_cast<char*>(text) - sizeof(uint64_t));
}

UINT SysStringLen(BSTR text)
{
    if (!text)
        return 0;
    uint64_t bytes;
    std::memcpy(&bytes, reinterpret_cast<char*>(text) - sizeof(uint64_t), sizeof(bytes));
    return static_cast<UINT>(bytes / sizeof(wchar_t));
}

void VariantInit(VARIANT* v)
{
    if (v)
        std::memset(v, 0, sizeof(*v));
}

HRESULT VariantClear(VARIANT* v)
{
    if (!v)
        return E_INVALIDARG;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if (v->vt == VT_UNKNOWN && v->punkVal)
        v->punkVal->Release();
    else if ((v->vt & VT_ARRAY) && v->parray)
        SafeArrayDestroy(v->parray);
    std::memset(v, 0, sizeof(*v));
    return S_OK;
}

void PropVariantInit(PROPVARIANT* v)
{
    if (v)
        std::memset(v, 0, sizeof(*v));
}

HRESULT PropVariantClear(PROPVARIANT* v)
{
    if (!v)
        return E_INVALIDARG;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if (v->vt == VT_LPWSTR)
        CoTaskMemFree(v->pwszVal);
    else if (v->vt == VT_UNKNOWN && v->punkVal)
        v->punkVal->Release();
    std::memset(v, 0, sizeof(*v));
    return S_OK;
}
