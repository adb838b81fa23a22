// Backend selection, the headless backend and PNG output of window surfaces.
#include <png.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <shared_mutex>
#include <vector>

#include "platform/ui/internal.h"

namespace quiva::ui {

std::unique_ptr<Backend> CreateX11Backend();  // null when no display can be opened

namespace {

// Keeps surfaces in memory; input comes only from the injection functions.
class HeadlessBackend : public Backend {
public:
    const char* Name() const override { return "headless"; }
    bool Pump(int) override { return false; }
};

std::mutex g_backendMutex;
std::unique_ptr<Backend> g_backend;
// Held shared by a thread that presents a surface without the window system's lock (a video
// renderer's streaming thread), so that the backend it uses is not replaced meanwhile.
std::shared_mutex g_backendInUse;
std::atomic<uint64_t> g_presents{0};
std::atomic<uint64_t> g_presentedPixels{0};

bool WantHeadless()
{
    const char* forced = std::getenv("QUIVA_HEADLESS");
    if (forced && std::strcmp(forced, "1") == 0)
        return true;
    const char* display = std::getenv("DISPLAY");
    return !display || !*display;
}

}  // namespace

bool SelectBackend(BackendKind kind)
{
    std::unique_lock<std::shared_mutex> swap(g_backendInUse);
    std::lock_guard<std::mutex> l(g_backendMutex);
    bool ok = true;
    if (kind == BackendKind::Automatic)
        kind = WantHeadless() ? BackendKind::Headless : BackendKind::X11;
    if (kind == BackendKind::X11) {
        g_backend = CreateX11Backend();
        ok = g_backend != nullptr;
    }
    if (!g_backend || kind == BackendKind::Headless)
        g_backend = std::make_unique<HeadlessBackend>();
    return ok;
}

Backend& CurrentBackend()
{
    {
        std::lock_guard<std::mutex> l(g_backendMutex);
        if (g_backend)
            return *g_backend;
    }
    SelectBackend(BackendKind::Automatic);
    return *g_backend;
}

void PresentFromAnyThread(HWND top, const RECT& surfaceRect)
{
    std::shared_lock<std::shared_mutex> hold(g_backendInUse);
    Backend* backend;
    {
        std::lock_guard<std::mutex> l(g_backendMutex);
        backend = g_backend.get();
    }
    if (backend) {
        detail::CountPresent(surfaceRect);
        backend->Present(top, surfaceRect);
    }
}

void detail::CountPresent(const RECT& surfaceRect)
{
    g_presents.fetch_add(1, std::memory_order_relaxed);
    if (surfaceRect.right > surfaceRect.left && surfaceRect.bottom > surfaceRect.top)
        g_presentedPixels.fetch_add(static_cast<uint64_t>(surfaceRect.right - surfaceRect.left) *
                                        static_cast<uint64_t>(surfaceRect.bottom - surfaceRect.top),
                                    std::memory_order_relaxed);
}

PresentTally PresentedSoFar() { return {g_presents.load(), g_presentedPixels.load()}; }

bool IsHeadless() { return std::strcmp(CurrentBackend().Name(), "headless") == 0; }

bool WriteWindowPng(HWND hwnd, const std::string& nativePath)
{
    Surface* surface = WindowSurface(hwnd);
    if (!surface)
        return false;
    std::lock_guard<std::recursive_mutex> s(surface->Mutex());
    int w = surface->Width(), h = surface->Height();
    if (w <= 0 || h <= 0)
        return false;
    std::vector<unsigned char> rgba(static_cast<size_t>(w) * static_cast<size_t>(h) * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint32_t p = surface->At(x, y);
            unsigned a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (a && a != 255) {  // premultiplied in the surface
                r = r * 255 / a;
                g = g * 255 / a;
                b = b * 255 / a;
            }
            unsigned char* o = &rgba[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 4];
            o[0] = static_cast<unsigned char>(r);
            o[1] = static_cast<unsigned char>(g);
            o[2] = static_cast<unsigned char>(b);
            o[3] = static_cast<unsigned char>(a);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof(image));
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGBA;
    std::string tmp = nativePath + ".tmp";
    if (!png_image_write_to_file(&image, tmp.c_str(), 0, rgba.data(), 0, nullptr))
        return false;
    return std::rename(tmp.c_str(), nativePath.c_str()) == 0;
}

}  // namespace quiva::ui
