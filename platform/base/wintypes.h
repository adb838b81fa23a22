// Basic types, constants and macros with the names and values the system's code uses.
// Widths follow the Windows data model (LLP64): LONG and DWORD are 32 bits, pointers are 64.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cwchar>

typedef int BOOL;
typedef unsigned char BOOLEAN;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef int INT;
typedef unsigned int UINT;
typedef short SHORT;
typedef unsigned short USHORT;
typedef char CHAR;
typedef unsigned char UCHAR;
typedef wchar_t WCHAR;
typedef wchar_t TCHAR;
typedef float FLOAT;
typedef double DOUBLE;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int64_t INT_PTR;
typedef uint64_t UINT_PTR;
typedef int64_t LONG_PTR;
typedef uint64_t ULONG_PTR;
typedef uint64_t DWORD_PTR;
typedef uint64_t DWORD64;
typedef uint64_t QWORD;
typedef size_t SIZE_T;
typedef int32_t HRESULT;
typedef DWORD COLORREF;
typedef WORD ATOM;
typedef DWORD LCID;
typedef LONG_PTR LRESULT;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;

typedef void VOID;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef BYTE* LPBYTE;
typedef BYTE* PBYTE;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef LONG* PLONG;
typedef LONG* LPLONG;
typedef BOOL* LPBOOL;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef wchar_t* LPWSTR;
typedef const wchar_t* LPCWSTR;
typedef wchar_t* LPTSTR;
typedef const wchar_t* LPCTSTR;
typedef wchar_t* PWSTR;
typedef const wchar_t* PCWSTR;

typedef void* HANDLE;
typedef HANDLE* PHANDLE;
typedef HANDLE* LPHANDLE;
#define QUIVA_DECLARE_HANDLE(name) \
    struct name##__ {              \
        int unused;                \
    };                             \
    typedef struct name##__* name
QUIVA_DECLARE_HANDLE(HWND);
QUIVA_DECLARE_HANDLE(HINSTANCE);
QUIVA_DECLARE_HANDLE(HKEY);
QUIVA_DECLARE_HANDLE(HDC);
QUIVA_DECLARE_HANDLE(HBITMAP);
QUIVA_DECLARE_HANDLE(HBRUSH);
QUIVA_DECLARE_HANDLE(HPEN);
QUIVA_DECLARE_HANDLE(HFONT);
QUIVA_DECLARE_HANDLE(HRGN);
QUIVA_DECLARE_HANDLE(HICON);
QUIVA_DECLARE_HANDLE(HMENU);
QUIVA_DECLARE_HANDLE(HMONITOR);
QUIVA_DECLARE_HANDLE(HHOOK);
QUIVA_DECLARE_HANDLE(HRSRC);
QUIVA_DECLARE_HANDLE(HWINSTA);
QUIVA_DECLARE_HANDLE(HDESK);
typedef HINSTANCE HMODULE;
typedef HICON HCURSOR;
typedef HANDLE HGDIOBJ;
typedef HANDLE HGLOBAL;
typedef HKEY* PHKEY;

#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<intptr_t>(-1)))
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu

#define MAKEWORD(a, b) (static_cast<WORD>((static_cast<BYTE>(a)) | ((static_cast<WORD>(static_cast<BYTE>(b))) << 8)))
#define MAKELONG(a, b) (static_cast<LONG>((static_cast<WORD>(a)) | ((static_cast<DWORD>(static_cast<WORD>(b))) << 16)))
#define LOWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l)) & 0xffff))
#define HIWORD(l) (static_cast<WORD>(((static_cast<DWORD_PTR>(l)) >> 16) & 0xffff))
#define LOBYTE(w) (static_cast<BYTE>((static_cast<DWORD_PTR>(w)) & 0xff))
#define HIBYTE(w) (static_cast<BYTE>(((static_cast<DWORD_PTR>(w)) >> 8) & 0xff))
#define RGB(r, g, b) (static_cast<COLORREF>((static_cast<BYTE>(r) | (static_cast<WORD>(static_cast<BYTE>(g)) << 8)) | ((static_cast<DWORD>(static_cast<BYTE>(b))) << 16)))
#define GetRValue(rgb) (LOBYTE(rgb))
#define GetGValue(rgb) (LOBYTE((static_cast<WORD>(rgb)) >> 8))
#define GetBValue(rgb) (LOBYTE((rgb) >> 16))

// HRESULT
#define S_OK static_cast<HRESULT>(0)
#define S_FALSE static_cast<HRESULT>(1)
#define E_FAIL static_cast<HRESULT>(0x80004005)
#define E_NOTIMPL static_cast<HRESULT>(0x80004001)
#define E_NOINTERFACE static_cast<HRESULT>(0x80004002)
#define E_POINTER static_cast<HRESULT>(0x80004003)
#define E_ABORT static_cast<HRESULT>(0x80004004)
#define E_UNEXPECTED static_cast<HRESULT>(0x8000FFFF)
#define E_OUTOFMEMORY static_cast<HRESULT>(0x8007000E)
#define E_INVALIDARG static_cast<HRESULT>(0x80070057)
#define E_ACCESSDENIED static_cast<HRESULT>(0x80070005)
#define E_HANDLE static_cast<HRESULT>(0x80070006)
#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#define HRESULT_FROM_WIN32(x) \
    (static_cast<HRESULT>(x) <= 0 ? static_cast<HRESULT>(x) : static_cast<HRESULT>(((x) & 0x0000FFFF) | (7 << 16) | 0x80000000))

// Win32 error codes used by the system.
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_WRITE_FAULT 29L
#define ERROR_READ_FAULT 30L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_DISK_FULL 112L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_FILENAME_EXCED_RANGE 206L
#define ERROR_FILE_TOO_LARGE 223L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DIRECTORY 267L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_TLW_WITH_WSCHILD 1406L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_TIMEOUT 1460L
#define ERROR_CANCELLED 1223L

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;
typedef POINT* PPOINT;

struct SIZE {
    LONG cx;
    LONG cy;
};
typedef SIZE* LPSIZE;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

struct POINTS {
    SHORT x;
    SHORT y;
};

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};
typedef SYSTEMTIME* LPSYSTEMTIME;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};
typedef FILETIME* LPFILETIME;

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    LONGLONG QuadPart;
};

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(const GUID& a, const GUID& b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

#ifndef min_of
template <typename T>
constexpr const T& min_of(const T& a, const T& b) { return b < a ? b : a; }
template <typename T>
constexpr const T& max_of(const T& a, const T& b) { return a < b ? b : a; }
#endif

#define UNREFERENCED_PARAMETER(P) (void)(P)
#define _countof(a) (sizeof(a) / sizeof((a)[0]))
#define WINAPI
#define CALLBACK
#define APIENTRY
#define STDMETHODCALLTYPE
#define __stdcall
#define __cdecl
