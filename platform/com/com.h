// COM-lite: the object model the media classes are built on, and the automation strings,
// variants and byte arrays the database record uses. Interfaces are abstract classes derived
// from IUnknown, asked for by 16-byte interface id; objects are created by class id from a class
// table the areas above fill in (see RegisterComClass); memory handed between caller and object
// comes from the task allocator.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <utility>

#include "platform/base/wintypes.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_REMOTE_SERVER 0x10
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)

#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0)
#define STG_E_FILENOTFOUND static_cast<HRESULT>(0x80030002)
#define STG_E_ACCESSDENIED static_cast<HRESULT>(0x80030005)
#define STG_E_INVALIDPOINTER static_cast<HRESULT>(0x80030009)
#define STG_E_INVALIDFUNCTION static_cast<HRESULT>(0x80030001)
#define STG_E_READFAULT static_cast<HRESULT>(0x8003001E)
#define STG_E_WRITEFAULT static_cast<HRESULT>(0x8003001D)
#define STG_E_FILEALREADYEXISTS static_cast<HRESULT>(0x80030050)
#define STG_E_INVALIDHEADER static_cast<HRESULT>(0x800300FB)
#define STG_E_DOCFILECORRUPT static_cast<HRESULT>(0x80030109)
#define STG_E_INVALIDNAME static_cast<HRESULT>(0x800300FC)
#define STG_E_INVALIDFLAG static_cast<HRESULT>(0x800300FF)

// Builds a GUID constant from its text groups: QUIVA_GUID(0x12345678, 0x1234, 0x1234, 0x12, ...).
#define QUIVA_GUID(l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    GUID { l, w1, w2, { b1, b2, b3, b4, b5, b6, b7, b8 } }

// Interface ids of the object model's own interfaces (storage, persistence, monikers,
// property bags); the interfaces themselves are declared where they are implemented.
inline constexpr IID IID_IUnknown = QUIVA_GUID(0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IPersist = QUIVA_GUID(0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IPersistStream = QUIVA_GUID(0x00000109, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_ISequentialStream = QUIVA_GUID(0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D);
inline constexpr IID IID_IStream = QUIVA_GUID(0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IStorage = QUIVA_GUID(0x0000000B, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IMoniker = QUIVA_GUID(0x0000000F, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IEnumMoniker = QUIVA_GUID(0x00000102, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
inline constexpr IID IID_IPropertyBag = QUIVA_GUID(0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;

HRESULT CoInitialize(LPVOID reserved);
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID riid, LPVOID* ppv);
// Task memory is the C heap's: a block from CoTaskMemAlloc may be released with free and one from
// malloc with CoTaskMemFree.
LPVOID CoTaskMemAlloc(SIZE_T size);
LPVOID CoTaskMemRealloc(LPVOID p, SIZE_T size);
void CoTaskMemFree(LPVOID p);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case; returns the characters written with the
// terminator (39), or 0 when the buffer is too small.
int StringFromGUID2(REFGUID guid, LPWSTR buffer, int size);
HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid);

// Automation strings and variants, as far as property bags and stores use them.
typedef wchar_t OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* LPOLESTR;
BSTR SysAllocString(const OLECHAR* text);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

typedef unsigned short VARTYPE;
enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_UI4 = 19,
    VT_UI1 = 17,
    VT_INT = 22,
    VT_LPWSTR = 31,
    VT_ARRAY = 0x2000,
};

// One-dimensional arrays of VT_UI1 elements (binary database fields).
struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};
struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};
// Null when the element type is not VT_UI1, the bounds are not one-dimensional, or memory is short.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        SHORT iVal;
        ULONG ulVal;
        INT intVal;
        SHORT boolVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        LONGLONG llVal;
        BYTE bVal;
        SAFEARRAY* parray;
    };
};
typedef VARIANT VARIANTARG;
void VariantInit(VARIANT* v);
HRESULT VariantClear(VARIANT* v);
// Deep copy (strings, arrays; interfaces gain a reference); the destination is cleared first.
HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);

struct PROPVARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        ULONG ulVal;
        INT intVal;
        SHORT boolVal;
        LPWSTR pwszVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        LONGLONG hVal;
    };
};
typedef const PROPVARIANT& REFPROPVARIANT;
void PropVariantInit(PROPVARIANT* v);
HRESULT PropVariantClear(PROPVARIANT* v);

struct PROPERTYKEY {
    GUID fmtid;
    DWORD pid;
};
typedef const PROPERTYKEY& REFPROPERTYKEY;
inline bool operator==(const PROPERTYKEY& a, const PROPERTYKEY& b) { return a.fmtid == b.fmtid && a.pid == b.pid; }

namespace quiva {

// Owning pointer to an interface: releases on destruction, AddRefs on copy.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(T* p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.m_p) {}
    ComPtr(ComPtr&& o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& o)
    {
        if (o.m_p)
            o.m_p->AddRef();
        Reset();
        m_p = o.m_p;
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept
    {
        if (this != &o) {
            Reset();
            m_p = std::exchange(o.m_p, nullptr);
        }
        return *this;
    }
    // Takes over a reference the caller already holds.
    static ComPtr Adopt(T* p)
    {
        ComPtr r;
        r.m_p = p;
        return r;
    }
    void Reset()
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out parameters: releases what is held and gives the slot.
    T** Put()
    {
        Reset();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() { return std::exchange(m_p, nullptr); }
    // QueryInterface into another pointer type.
    template <typename U>
    ComPtr<U> As(REFIID iid) const
    {
        ComPtr<U> r;
        if (m_p)
            m_p->QueryInterface(iid, r.PutVoid());
        return r;
    }

private:
    T* m_p = nullptr;
};

// Reference count shared by the layer's objects.
class RefCounted {
public:
    virtual ~RefCounted() = default;
    ULONG AddRefImpl() { return ++m_refs; }
    ULONG ReleaseImpl()
    {
        ULONG r = --m_refs;
        if (r == 0)
            delete this;
        return r;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

// Class table behind CoCreateInstance: a factory gives a new object with one reference.
using ClassFactory = std::function<IUnknown*()>;
void RegisterComClass(REFCLSID clsid, ClassFactory factory);
// Makes CoCreateInstance of one class fail (E_FAIL) or work again; for fault tests.
void SetComClassFailure(REFCLSID clsid, bool fail);
void ClearComClassFailures();
// A second say over creation, asked on every CoCreateInstance: true makes it fail with E_FAIL
// (the synthetic devices' configuration names classes that fail this way). One veto at a time;
// an empty function removes it.
using ClassCreationVeto = std::function<bool(REFCLSID)>;
void SetComClassVeto(ClassCreationVeto veto);

// GUID text helpers.
std::wstring GuidToString(REFGUID guid);
bool GuidFromString(const std::wstring& text, GUID* guid);

// The number of CoInitialize calls not yet balanced on this thread.
int ComInitCount();

}  // namespace quiva

// Implements AddRef and Release of a class deriving from quiva::RefCounted.
#define QUIVA_REFCOUNT_IMPL                              \
    ULONG AddRef() override { return AddRefImpl(); }     \
    ULONG Release() override { return ReleaseImpl(); }
