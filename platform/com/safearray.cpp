// Byte arrays and variant copies.
#include <cstdlib>
#include <cstring>

#include "platform/com/com.h"

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements)
{
    if (vt != VT_UI1)
        return nullptr;
    auto* a = static_cast<SAFEARRAY*>(std::calloc(1, sizeof(SAFEARRAY)));
    if (!a)
        return nullptr;
    a->cDims = 1;
    a->cbElements = 1;
    a->rgsabound[0].cElements = elements;
    a->rgsabound[0].lLbound = lowerBound;
    a->pvData = std::calloc(elements ? elements : 1, 1);
    if (!a->pvData) {
        std::free(a);
        return nullptr;
    }
    return a;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds)
{
    if (dims != 1 || !bounds)
        return nullptr;
    return SafeArrayCreateVector(vt, bounds[0].lLbound, bounds[0].cElements);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array)
{
    if (!array)
        return S_OK;
    std::free(array->pvData);
    std::free(array);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data)
{
    if (!array || !data)
        return E_INVALIDARG;
    ++array->cLocks;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array)
{
    if (!array || array->cLocks == 0)
        return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound)
{
    if (!array || !bound || dim != 1)
        return E_INVALIDARG;
    *bound = array->rgsabound[0].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound)
{
    if (!array || !bound || dim != 1)
        return E_INVALIDARG;
    *bound = array->rgsabound[0].lLbound + static_cast<LONG>(array->rgsabound[0].cElements) - 1;
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dst, const VARIANT* src)
{
    if (!dst || !src)
        return E_INVALIDARG;
    if (dst == src)
        return S_OK;
    VARIANT copy = *src;
    if ((src->vt & VT_ARRAY) && src->parray) {
        const SAFEARRAY* a = src->parray;
        SAFEARRAY* b = SafeArrayCreateVector(static_cast<VARTYPE>(src->vt & ~VT_ARRAY), a->rgsabound[0].lLbound,
                                             a->rgsabound[0].cElements);
        if (!b)
            return E_OUTOFMEMORY;
        if (a->rgsabound[0].cElements)
            std::memcpy(b->pvData, a->pvData, a->rgsabound[0].cElements * a->cbElements);
        copy.parray = b;
    } else if (src->vt == VT_BSTR && src->bstrVal) {
        copy.bstrVal = SysAllocString(src->bstrVal);
        if (!copy.bstrVal)
            return E_OUTOFMEMORY;
    } else if (src->vt == VT_UNKNOWN && src->punkVal) {
        src->punkVal->AddRef();
    }
    VariantClear(dst);
    *dst = copy;
    return S_OK;
}
