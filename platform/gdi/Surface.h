// The pixel store a top-level window (or an off-screen bitmap) draws into: 32-bit
// premultiplied ARGB in native byte order, the layout Cairo calls ARGB32.
// The window system owns one per top-level window; drawing code reaches it through a device
// context made by CreateSurfaceDC.
#pragma once

#include <cstdint>
#include <mutex>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/base/wintypes.h"

namespace quiva {

class Surface {
public:
    // The largest surface there is: 2^28 pixels (1 GiB), as for any bitmap.
    static constexpr int64_t kMaxPixels = int64_t{1} << 28;
    static bool CanHave(int width, int height)
    {
        const int64_t w = width > 0 ? width : 0, h = height > 0 ? height : 0;
        return w * h <= kMaxPixels;
    }

    // Throws std::bad_alloc for a size it cannot have; the window system sizes its surfaces
    // with Resize instead.
    Surface(int width = 0, int height = 0)
    {
        if (!Resize(width, height))
            throw std::bad_alloc();
    }
    // A surface that takes width x height pixels (top row first) as they are.
    Surface(std::vector<uint32_t>&& pixels, int width, int height)
    {
        if (width < 0 || height < 0 || pixels.size() != static_cast<size_t>(width) * static_cast<size_t>(height))
            throw std::invalid_argument("Surface: the pixels are not width x height");
        m_pixels = std::move(pixels);
        m_width = width;
        m_height = height;
    }
    // A surface over width x height pixels that someone else owns (top row first, no gaps
    // between rows), which must outlive it: nothing is copied or filled.
    Surface(uint32_t* borrowed, int width, int height)
        : m_width(borrowed && width > 0 && height > 0 ? width : 0),
          m_height(borrowed && width > 0 && height > 0 ? height : 0),
          m_borrowed(m_width > 0 ? borrowed : nullptr)
    {
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
    // Opaque black at the new size (a negative size is 0), in pixels of its own; false, with the
    // surface as it was, when it cannot have that size or the memory is not there.
    bool Resize(int width, int height)
    {
        if (!CanHave(width, height))
            return false;
        const int w = width > 0 ? width : 0, h = height > 0 ? height : 0;
        try {
            std::vector<uint32_t> pixels(static_cast<size_t>(w) * static_cast<size_t>(h), 0xFF000000u);
            m_pixels.swap(pixels);
        } catch (const std::bad_alloc&) {
            return false;
        } catch (const std::length_error&) {
            return false;
        }
        m_width = w;
        m_height = h;
        m_borrowed = nullptr;
        return true;
    }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Stride() const { return m_width * 4; }
    uint32_t* Pixels() { return m_borrowed ? m_borrowed : m_pixels.data(); }
    const uint32_t* Pixels() const { return m_borrowed ? m_borrowed : m_pixels.data(); }
    // Pixel at (x, y) or 0 outside.
    uint32_t At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height)
            return 0;
        return Pixels()[static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)];
    }
    // Held while drawing into or reading from the surface from more than one thread.
    std::recursive_mutex& Mutex() { return m_mutex; }

private:
    int m_width = 0;
    int m_height = 0;
    uint32_t* m_borrowed = nullptr;
    std::vector<uint32_t> m_pixels;
    std::recursive_mutex m_mutex;
};

// A device context drawing into `surface`, with its origin at `origin` (the window's client
// origin within the top-level surface) and everything clipped to `clip` (surface coordinates).
// Released with ReleaseDC/DeleteDC as the caller's API requires.
HDC CreateSurfaceDC(Surface* surface, POINT origin, RECT clip);

}  // namespace quiva
