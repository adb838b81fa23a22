// The objects behind GDI handles. A handle is the object's address, and every use goes through
// the live-object table first, so a stale, foreign or already deleted handle is refused instead
// of followed.
#pragma once

#include <optional>
#include <vector>

#include <cairo.h>

#include <atomic>
#include <memory>
#include <mutex>

#include "platform/gdi/Surface.h"
#include "platform/gdi/gdi.h"

namespace quiva {

class GdiObject {
public:
    virtual ~GdiObject() = default;
    virtual DWORD Type() const = 0;
    // How many DCs have it selected; a selected object is not deleted. Stock objects are selected
    // into every new DC, from whichever thread makes it.
    std::atomic<int> selections{0};
    bool stock = false;  // stock objects outlive every DeleteObject
};

class GdiBitmap : public GdiObject {
public:
    GdiBitmap(int w, int h) : pixels(w, h) {}
    DWORD Type() const override { return OBJ_BITMAP; }
    Surface pixels;
};

class GdiBrush : public GdiObject {
public:
    DWORD Type() const override { return OBJ_BRUSH; }
    COLORREF color = 0;
    bool hollow = false;
    bool dcBrush = false;  // DC_BRUSH: the colour comes from the DC
};

class GdiPen : public GdiObject {
public:
    DWORD Type() const override { return OBJ_PEN; }
    int style = PS_SOLID;
    int width = 1;
    COLORREF color = 0;
    bool dcPen = false;
};

class GdiFont : public GdiObject {
public:
    DWORD Type() const override { return OBJ_FONT; }
    LOGFONTW lf{};
};

// An icon: premultiplied pixels with alpha. Not a GDI object to GetObjectType or DeleteObject.
class GdiIcon : public GdiObject {
public:
    GdiIcon(int w, int h) : pixels(w, h) {}
    DWORD Type() const override { return 0; }
    Surface pixels;
};

// Registers an object in the live table and returns it; the table owns it from then on.
GdiObject* RegisterGdiObject(std::unique_ptr<GdiObject> obj);
// Removes an object from the live table and frees it.
void UnregisterGdiObject(const void* handle);
// The live object behind a handle, of the wanted kind, or null.
GdiObject* LookupGdiObject(const void* handle);
template <typename T>
T* LookupGdi(const void* handle)
{
    return dynamic_cast<T*>(LookupGdiObject(handle));
}

// Premultiplied opaque pixel of a COLORREF.
inline uint32_t PixelOf(COLORREF c)
{
    return 0xFF000000u | (static_cast<uint32_t>(GetRValue(c)) << 16) | (static_cast<uint32_t>(GetGValue(c)) << 8) |
           GetBValue(c);
}
// COLORREF of a premultiplied pixel (alpha undone).
COLORREF ColorOfPixel(uint32_t px);

// A device context: a target surface, the device position of the logical origin, a clip in
// surface coordinates and the selected objects.
class DeviceContext : public GdiObject {
public:
    DeviceContext(Surface* window, POINT origin, RECT clip);  // window DC
    DeviceContext();                                          // memory DC with the 1x1 stock bitmap
    ~DeviceContext() override;
    DWORD Type() const override { return m_window ? OBJ_DC : OBJ_MEMDC; }

    // What the DC draws into; the bitmap's pixels for a memory DC.
    Surface* Target();
    std::recursive_mutex& Mutex() { return Target()->Mutex(); }
    // Device position of logical (0, 0).
    POINT DeviceOrigin() const { return POINT{m_origin.x + m_viewport.x, m_origin.y + m_viewport.y}; }
    // Clip in surface coordinates, already limited to the target's bounds.
    RECT DeviceClip();
    // A rectangle (surface coordinates) the clip is narrowed to, if any, and the saved ones.
    std::optional<RECT> userClip;
    std::vector<std::optional<RECT>> savedClips;

    // A Cairo context on the target, clipped and translated so user space is logical
    // coordinates. The caller holds Mutex() while using it and destroys both afterwards.
    struct CairoTarget {
        cairo_surface_t* surface = nullptr;
        cairo_t* cr = nullptr;
        ~CairoTarget();
        explicit operator bool() const { return cr != nullptr; }
    };
    std::unique_ptr<CairoTarget> OpenCairo();

    HGDIOBJ Select(GdiObject* obj);

    GdiBitmap* bitmap = nullptr;
    GdiBrush* brush = nullptr;
    GdiPen* pen = nullptr;
    GdiFont* font = nullptr;
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    COLORREF dcBrushColor = RGB(255, 255, 255);
    COLORREF dcPenColor = RGB(0, 0, 0);
    POINT current{0, 0};
    POINT m_viewport{0, 0};

private:
    Surface* m_window = nullptr;
    POINT m_origin{0, 0};
    RECT m_clip{0, 0, 0, 0};
};

struct TextFont;
// The text font a GDI font stands for.
TextFont FontOf(const LOGFONTW& lf);

inline DeviceContext* LookupDC(HDC hdc) { return LookupGdi<DeviceContext>(hdc); }

}  // namespace quiva
