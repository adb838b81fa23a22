// VARIANT and SAFEARRAY, as far as the system uses them: empty, null, 32-bit integers and
// one-dimensional byte arrays (binary database fields).
#pragma once

#include "platform/base/wintypes.h"

typedef unsigned short VARTYPE;

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I4 = 3,
    VT_UI1 = 17,
    VT_ARRAY = 0x2000,
};

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

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BYTE bVal;
        SAFEARRAY* parray;
        void* byref;
    };
};
typedef VARIANT* LPVARIANT;

void VariantInit(VARIANT* v);
// Frees what the variant owns (an array) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* v);
// Deep copy; the destination is cleared first.
HRESULT VariantCopy(VARIANT* dst, const VARIANT* src);

// One-dimensional arrays of VT_UI1 elements (the only element type supported); null when the
// type is another or memory runs out.
SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements);
SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds);
HRESULT SafeArrayDestroy(SAFEARRAY* array);
HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data);
HRESULT SafeArrayUnaccessData(SAFEARRAY* array);
HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound);
HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound);
