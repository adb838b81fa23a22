#include "app/model/CKXEULAdmit.h"

#include <vector>

#include "framework/CKXRegistry.h"
#include "platform/base/clock.h"
#include "platform/base/version.h"

BOOL CKXEULAdmit::Record()
{
    const wchar_t* module = L"QUIVA.Capture.dll";
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(module, &handle);
    if (size == 0)
        return 0;
    CString version;
    std::vector<BYTE> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (GetFileVersionInfoW(module, handle, size, data.data()) &&
        VerQueryValueW(data.data(), L"\\", reinterpret_cast<LPVOID*>(&fixed), &length) && fixed)
        version.Format(L"%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                       HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));

    CKXRegistry registry;
    registry.hive = HKEY_LOCAL_MACHINE;
    HKEY key = nullptr;
    if (registry.Open(L"SOFTWARE\\Kexano\\ServiceLink\\Custom\\QUIVACapture", &key, TRUE)) {
        SYSTEMTIME now{};
        GetLocalTime(&now);
        CString date;
        date.Format(L"%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
        registry.SetString(L"lastUse", date);
        registry.SetString(L"version", version);
        registry.Close();
    }
    return 1;
}
