// Icons loaded from embedded PNG resources and drawn through device contexts.
#include <cairo.h>

#include <algorithm>
#include <string>

#include "platform/base/lasterror.h"
#include "platform/base/resources.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/gdi/gdi.h"

namespace quiva {
namespace {

// Paints `src` scaled into the rectangle (x, y, w, h) of `cr` with the best filter.
void PaintScaled(cairo_t* cr, Surface& src, double x, double y, double w, double h, cairo_operator_t op)
{
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(src.Pixels()),
                                                             CAIRO_FORMAT_ARGB32, src.Width(), src.Height(),
                                                             src.Stride());
    cairo_save(cr);
    cairo_set_operator(cr, op);
    cairo_rectangle(cr, x, y, w, h);
    cairo_clip(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, w / src.Width(), h / src.Height());
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(s);
}

}  // namespace
}  // namespace quiva

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags)
{
    if (type != IMAGE_ICON || !name || cx < 0 || cy < 0 || cx > 1024 || cy > 1024) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const quiva::EmbeddedResource* r = quiva::FindEmbeddedResource(instance, L"ICON", name);
    if (!r) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    quiva::DecodedImage d;
    if (!quiva::DecodeImage(std::string(reinterpret_cast<const char*>(r->data), r->size), d)) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    if (flags & LR_DEFAULTSIZE) {
        cx = cx ? cx : 32;
        cy = cy ? cy : 32;
    }
    int w = cx ? cx : d.width, h = cy ? cy : d.height;
    auto icon = std::make_unique<quiva::GdiIcon>(w, h);
    quiva::Surface src(d.width, d.height);
    std::copy(d.pixels.begin(), d.pixels.end(), src.Pixels());
    std::fill_n(icon->pixels.Pixels(), static_cast<size_t>(w) * static_cast<size_t>(h), 0u);
    cairo_surface_t* target = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(icon->pixels.Pixels()), CAIRO_FORMAT_ARGB32, w, h, icon->pixels.Stride());
    cairo_t* cr = cairo_create(target);
    quiva::PaintScaled(cr, src, 0, 0, w, h, CAIRO_OPERATOR_SOURCE);
    cairo_destroy(cr);
    cairo_surface_destroy(target);
    return quiva::RegisterGdiObject(std::move(icon));
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name)
{
    return static_cast<HICON>(LoadImageW(instance, name, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
}

BOOL DestroyIcon(HICON icon)
{
    if (!quiva::LookupGdi<quiva::GdiIcon>(icon))
        return FALSE;
    quiva::UnregisterGdiObject(icon);
    return TRUE;
}

BOOL DrawIconEx(HDC hdc, int x, int y, HICON hicon, int cx, int cy, UINT, HBRUSH, UINT flags)
{
    quiva::DeviceContext* dc = quiva::LookupDC(hdc);
    auto* icon = quiva::LookupGdi<quiva::GdiIcon>(hicon);
    if (!dc || !icon)
        return FALSE;
    if (!(flags & DI_IMAGE))
        return TRUE;
    int w = cx ? cx : icon->pixels.Width(), h = cy ? cy : icon->pixels.Height();
    std::lock_guard lock(dc->Mutex());
    auto t = dc->OpenCairo();
    if (*t)
        quiva::PaintScaled(t->cr, icon->pixels, x, y, w, h, CAIRO_OPERATOR_OVER);
    return TRUE;
}

BOOL DrawIcon(HDC hdc, int x, int y, HICON icon) { return DrawIconEx(hdc, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL); }

bool quiva::IconPixels(HICON icon, int* width, int* height, std::vector<uint32_t>* argb)
{
    auto* i = quiva::LookupGdi<quiva::GdiIcon>(icon);
    if (!i)
        return false;
    *width = i->pixels.Width();
    *height = i->pixels.Height();
    const uint32_t* p = i->pixels.Pixels();
    argb->resize(static_cast<size_t>(*width) * static_cast<size_t>(*height));
    for (size_t n = 0; n < argb->size(); ++n) {
        // The surface holds premultiplied colour.
        const uint32_t px = p[n], a = px >> 24;
        auto channel = [&](int shift) {
            const uint32_t c = (px >> shift) & 0xFF;
            return a == 0 ? 0u : std::min<uint32_t>(255, (c * 255 + a / 2) / a);
        };
        (*argb)[n] = (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
    }
    return true;
}
