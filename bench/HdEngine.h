// The capture engine on the benchmarks' 1920x1080 camera, previewing into a headless window of
// the given class: what the engine and still benchmarks start from.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "bench/HdCamera.h"
#include "capture/CKXMCapture.h"
#include "platform/ui/uisystem.h"
#include "platform/ui/winuser.h"

namespace quiva::media {

class BenchEngine : public CKXMCapture {
public:
    void Load(const std::wstring& text) { ParseDeviceText(text, false, m_devices); }
    int FrameIndex() const { return m_nFrameIndex; }

    // Lists "Bench HD Camera" alone and starts its preview in a new 960x540 window of
    // `windowClass` (registered here); false, said on stderr, when the source does not start.
    bool StartHd(const wchar_t* windowClass, HWND* preview)
    {
        quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = windowClass;
        RegisterClassW(&wc);
        *preview = CreateWindowExW(0, windowClass, L"", WS_POPUP, 0, 0, 960, 540, nullptr, nullptr, nullptr, nullptr);
        SetSyntheticConfig(std::string());
        AddDeviceProvider(std::make_shared<HdProvider>());
        Load(L"1@@Bench HD Camera@@@@Bench HD Camera@@0@@0@@0\n");
        EnsureGraph();
        SelectDevice(L"Bench HD Camera", *preview);
        if (!m_bRunning || !Start(*preview)) {
            std::fprintf(stderr, "the 1920x1080 source did not start\n");
            return false;
        }
        return true;
    }
};

}  // namespace quiva::media
