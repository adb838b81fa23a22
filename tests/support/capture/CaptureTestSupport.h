// Helpers for the engine tests: an engine with a device list given as monitor text, synthetic
// devices, a preview window of the window system, a scratch current folder, and reading back
// the stamp every synthetic picture carries.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "capture/CKXMCapture.h"
#include "platform/media/SyntheticDevices.h"
#include "platform/ui/uisystem.h"
#include "platform/ui/winuser.h"
#include "tests/support/TempDir.h"

namespace quiva::test {

// The engine with its device list filled from text, and its inner steps open to tests.
class TestEngine : public CKXMCapture {
public:
    void Load(const std::wstring& text) { ParseDeviceText(text, false, m_devices); }
    void NewGraph() { EnsureGraph(); }
    // The capture window's preview start: graph, settings, selection, colours, start.
    int StartPreview(LPCWSTR name, HWND hwnd)
    {
        NewGraph();
        SelectDevice(name, hwnd);
        return m_bRunning ? Start(hwnd) : 0;
    }
    ComPtr<IBaseFilter> Filter(LPCWSTR name) const
    {
        ComPtr<IBaseFilter> f;
        if (GetGraph())
            GetGraph()->FindFilterByName(name, f.Put());
        return f;
    }
    ComPtr<IBaseFilter> Renderer() const { return ComPtr<IBaseFilter>::Adopt(FindRenderer()); }
    int FilterCount() const
    {
        int n = 0;
        ComPtr<IEnumFilters> e;
        if (GetGraph() && SUCCEEDED(GetGraph()->EnumFilters(e.Put()))) {
            IBaseFilter* f = nullptr;
            while (e->Next(1, &f, nullptr) == S_OK) {
                f->Release();
                ++n;
            }
        }
        return n;
    }
    int ReqWidth() const { return m_nReqWidth; }
    int ReqHeight() const { return m_nReqHeight; }
    int ReqRate() const { return m_nReqFrameRate; }
    CString ReqSubtype() const { return m_strReqSubtype; }
    int FrameIndex() const { return m_nFrameIndex; }

    using CKXMCapture::BuildDvdGraph;
    using CKXMCapture::RenderDvdGraph;
};

struct Stamped {
    BITMAPINFOHEADER header {};
    std::string pixels;
    media::FrameStamp stamp;
    bool ok = false;
};

// The engine's current picture, waiting up to `timeoutMs` for one whose counter is past `after`.
inline Stamped WaitForPicture(CKXMCapture& engine, uint32_t after = 0, int timeoutMs = 3000)
{
    Stamped s;
    for (int waited = 0; waited <= timeoutMs; waited += 10) {
        if (BYTE* dib = engine.GrabFrame()) {
            std::memcpy(&s.header, dib, sizeof s.header);
            s.pixels.assign(reinterpret_cast<char*>(dib) + s.header.biSize, s.header.biSizeImage);
            std::free(dib);
            s.ok = media::ReadFrameStamp(reinterpret_cast<const uint8_t*>(s.pixels.data()), s.header.biWidth,
                                         s.header.biHeight, &s.stamp);
            if (s.ok && (after == 0 || s.stamp.counter > after))
                return s;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return s;
}

// Mean of the colour bytes of a picture's lower half (below the stamp).
inline double Brightness(const Stamped& s)
{
    const int rows = s.header.biHeight / 2;
    const auto* p = reinterpret_cast<const uint8_t*>(s.pixels.data());
    double sum = 0;
    size_t n = 0;
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < s.header.biWidth; ++x, n += 3) {
            const uint8_t* px = p + (static_cast<size_t>(y) * s.header.biWidth + x) * 4;
            sum += px[0] + px[1] + px[2];
        }
    return n ? sum / n : 0;
}

// Synthetic devices, a preview window and a scratch current folder for one test.
class EngineTest : public ::testing::Test {
protected:
    static constexpr const char* kDevices = "card \"Test Card\"\ncamera \"Test Camera\"\n";
    // Crossbar S-Video input (pin 2), the camera, and the DVD.
    static constexpr const wchar_t* kList = L"0@@Test Card Crossbar@@S-Video@@Test Card [S-Video]@@1@@2@@3\n"
                                            L"1@@Test Camera@@@@Test Camera@@0@@0@@0\n"
                                            L"3@@DVD@@@@CD-ROM@@0@@0@@0\n";

    void SetUp() override
    {
        ASSERT_EQ(chdir(m_dir.path().c_str()), 0);
        ui::SelectBackend(ui::BackendKind::Headless);
        WNDCLASSW wc {};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = L"EngineTestWnd";
        RegisterClassW(&wc);
        UseDevices(kDevices);
        m_wnd = NewWindow(640, 360);
    }
    void TearDown() override
    {
        for (HWND w : m_windows)
            if (IsWindow(w))
                DestroyWindow(w);
        UnregisterClassW(L"EngineTestWnd", nullptr);
        media::SetSyntheticConfig(std::nullopt);
        ClearComClassFailures();
        ASSERT_EQ(chdir(m_oldDir.c_str()), 0);
    }
    void UseDevices(const std::string& text) { media::SetSyntheticConfig(text); }
    HWND NewWindow(int w, int h)
    {
        HWND hwnd = CreateWindowExW(0, L"EngineTestWnd", L"preview", WS_POPUP, 0, 0, w, h, nullptr, nullptr, nullptr,
                                    nullptr);
        m_windows.push_back(hwnd);
        return hwnd;
    }
    std::string Native(const std::string& name) const { return m_dir.Native(name); }
    CString Win(const std::string& name) const { return m_dir.Win(name); }

    TempDir m_dir;
    std::string m_oldDir = std::filesystem::current_path().string();
    std::vector<HWND> m_windows;
    HWND m_wnd = nullptr;
};

}  // namespace quiva::test
