#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/TextEngine.h"

namespace quiva {
namespace {

std::mutex& TableMutex()
{
    static std::mutex m;
    return m;
}
std::unordered_map<const void*, std::unique_ptr<GdiObject>>& Table()
{
    static auto* t = new std::unordered_map<const void*, std::unique_ptr<GdiObject>>();
    return *t;
}

template <typename T>
T* Stock(GdiObject*& slot, T* obj)
{
    obj->stock = true;
    slot = RegisterGdiObject(std::unique_ptr<GdiObject>(obj));
    return obj;
}

struct StockObjects {
    GdiObject* items[DC_PEN + 1] = {};
    GdiBitmap* bitmap = nullptr;
    StockObjects()
    {
        const COLORREF greys[] = {RGB(255, 255, 255), RGB(192, 192, 192), RGB(128, 128, 128), RGB(64, 64, 64),
                                  RGB(0, 0, 0)};
        for (int i = WHITE_BRUSH; i <= BLACK_BRUSH; ++i)
            Stock(items[i], new GdiBrush())->color = greys[i];
        Stock(items[NULL_BRUSH], new GdiBrush())->hollow = true;
        Stock(items[WHITE_PEN], new GdiPen())->color = RGB(255, 255, 255);
        Stock(items[BLACK_PEN], new GdiPen())->color = RGB(0, 0, 0);
        Stock(items[NULL_PEN], new GdiPen())->style = PS_NULL;
        GdiFont* f = Stock(items[DEFAULT_GUI_FONT], new GdiFont());
        f->lf.lfHeight = -12;
        f->lf.lfWeight = FW_NORMAL;
        f->lf.lfCharSet = DEFAULT_CHARSET;
        std::wcscpy(f->lf.lfFaceName, L"맑은 고딕");
        Stock(items[DC_BRUSH], new GdiBrush())->dcBrush = true;
        Stock(items[DC_PEN], new GdiPen())->dcPen = true;
        GdiObject* slot = nullptr;
        bitmap = Stock(slot, new GdiBitmap(1, 1));
    }
};
StockObjects& Stocks()
{
    static StockObjects* s = new StockObjects();
    return *s;
}

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (r.right < r.left)
        r.right = r.left;
    if (r.bottom < r.top)
        r.bottom = r.top;
    return r;
}

// Fills a logical rectangle of the DC with one opaque pixel value, clipped.
void FillPixels(DeviceContext* dc, const RECT& logical, uint32_t px)
{
    std::lock_guard lock(dc->Mutex());
    POINT o = dc->DeviceOrigin();
    RECT r = Intersect(RECT{logical.left + o.x, logical.top + o.y, logical.right + o.x, logical.bottom + o.y},
                       dc->DeviceClip());
    Surface* s = dc->Target();
    for (LONG y = r.top; y < r.bottom; ++y)
        std::fill_n(s->Pixels() + static_cast<size_t>(y) * s->Width() + r.left, r.right - r.left, px);
}

COLORREF BrushColor(DeviceContext* dc, GdiBrush* b) { return b->dcBrush ? dc->dcBrushColor : b->color; }
COLORREF PenColor(DeviceContext* dc, GdiPen* p) { return p->dcPen ? dc->dcPenColor : p->color; }

}  // namespace

GdiObject* RegisterGdiObject(std::unique_ptr<GdiObject> obj)
{
    GdiObject* raw = obj.get();
    std::lock_guard lock(TableMutex());
    Table()[raw] = std::move(obj);
    return raw;
}

void UnregisterGdiObject(const void* handle)
{
    std::unique_ptr<GdiObject> gone;
    std::lock_guard lock(TableMutex());
    auto it = Table().find(handle);
    if (it != Table().end()) {
        gone = std::move(it->second);
        Table().erase(it);
    }
}

GdiObject* LookupGdiObject(const void* handle)
{
    if (!handle)
        return nullptr;
    std::lock_guard lock(TableMutex());
    auto it = Table().find(handle);
    return it == Table().end() ? nullptr : it->second.get();
}

COLORREF ColorOfPixel(uint32_t px)
{
    uint32_t a = px >> 24;
    auto un = [a](uint32_t c) { return a == 0 ? 0u : std::min(255u, (c * 255 + a / 2) / a); };
    return RGB(un((px >> 16) & 0xFF), un((px >> 8) & 0xFF), un(px & 0xFF));
}

DeviceContext::DeviceContext(Surface* window, POINT origin, RECT clip) : m_window(window), m_origin(origin), m_clip(clip)
{
    StockObjects& s = Stocks();
    Select(s.items[WHITE_BRUSH]);
    Select(s.items[BLACK_PEN]);
    Select(s.items[DEFAULT_GUI_FONT]);
}

DeviceContext::DeviceContext() : DeviceContext(nullptr, POINT{0, 0}, RECT{0, 0, 0, 0})
{
    Select(Stocks().bitmap);
}

DeviceContext::~DeviceContext()
{
    for (GdiObject* o : {static_cast<GdiObject*>(bitmap), static_cast<GdiObject*>(brush),
                         static_cast<GdiObject*>(pen), static_cast<GdiObject*>(font)})
        if (o)
            --o->selections;
}

Surface* DeviceContext::Target()
{
    if (m_window)
        return m_window;
    return bitmap ? &bitmap->pixels : &Stocks().bitmap->pixels;
}

RECT DeviceContext::DeviceClip()
{
    Surface* s = Target();
    RECT bounds{0, 0, s->Width(), s->Height()};
    RECT clip = m_window ? Intersect(m_clip, bounds) : bounds;
    return userClip ? Intersect(clip, *userClip) : clip;
}

DeviceContext::CairoTarget::~CairoTarget()
{
    if (cr)
        cairo_destroy(cr);
    if (surface)
        cairo_surface_destroy(surface);
}

std::unique_ptr<DeviceContext::CairoTarget> DeviceContext::OpenCairo()
{
    auto t = std::make_unique<CairoTarget>();
    Surface* s = Target();
    RECT clip = DeviceClip();
    if (s->Width() <= 0 || s->Height() <= 0)
        return t;
    t->surface = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(s->Pixels()),
                                                     CAIRO_FORMAT_ARGB32, s->Width(), s->Height(), s->Stride());
    t->cr = cairo_create(t->surface);
    cairo_rectangle(t->cr, clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
    cairo_clip(t->cr);
    POINT o = DeviceOrigin();
    cairo_translate(t->cr, o.x, o.y);
    return t;
}

HGDIOBJ DeviceContext::Select(GdiObject* obj)
{
    GdiObject** slot = nullptr;
    switch (obj->Type()) {
    case OBJ_BITMAP: {
        int none = 0;  // a bitmap lives in one memory DC at a time
        if (m_window || !obj->selections.compare_exchange_strong(none, 1))
            return nullptr;
        slot = reinterpret_cast<GdiObject**>(&bitmap);
        break;
    }
    case OBJ_BRUSH: slot = reinterpret_cast<GdiObject**>(&brush); break;
    case OBJ_PEN: slot = reinterpret_cast<GdiObject**>(&pen); break;
    case OBJ_FONT: slot = reinterpret_cast<GdiObject**>(&font); break;
    default: return nullptr;
    }
    GdiObject* old = *slot;
    if (old)
        --old->selections;
    *slot = obj;
    if (obj->Type() != OBJ_BITMAP)  // counted when claimed above
        ++obj->selections;
    // A caller's "no previous object" must not read as failure.
    return old ? static_cast<HGDIOBJ>(old) : static_cast<HGDIOBJ>(obj);
}

HDC CreateSurfaceDC(Surface* surface, POINT origin, RECT clip)
{
    if (!surface)
        return nullptr;
    return reinterpret_cast<HDC>(RegisterGdiObject(std::make_unique<DeviceContext>(surface, origin, clip)));
}

}  // namespace quiva

using quiva::DeviceContext;
using quiva::LookupDC;
using quiva::LookupGdi;

HDC CreateCompatibleDC(HDC)
{
    return reinterpret_cast<HDC>(quiva::RegisterGdiObject(std::make_unique<DeviceContext>()));
}

BOOL DeleteDC(HDC hdc)
{
    if (!LookupDC(hdc))
        return FALSE;
    quiva::UnregisterGdiObject(hdc);
    return TRUE;
}

int GetDeviceCaps(HDC hdc, int index)
{
    DeviceContext* dc = LookupDC(hdc);
    switch (index) {
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case BITSPIXEL: return 32;
    case HORZRES: return dc ? dc->Target()->Width() : 0;
    case VERTRES: return dc ? dc->Target()->Height() : 0;
    default: return 0;
    }
}

BOOL SetViewportOrgEx(HDC hdc, int x, int y, LPPOINT old)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return FALSE;
    if (old)
        *old = dc->m_viewport;
    dc->m_viewport = POINT{x, y};
    return TRUE;
}

BOOL GetViewportOrgEx(HDC hdc, LPPOINT org)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc || !org)
        return FALSE;
    *org = dc->m_viewport;
    return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ obj)
{
    DeviceContext* dc = LookupDC(hdc);
    quiva::GdiObject* o = quiva::LookupGdiObject(obj);
    if (!dc || !o)
        return nullptr;
    return dc->Select(o);
}

BOOL DeleteObject(HGDIOBJ obj)
{
    quiva::GdiObject* o = quiva::LookupGdiObject(obj);
    if (!o || o->Type() == 0 || dynamic_cast<DeviceContext*>(o))  // icons go through DestroyIcon
        return FALSE;
    if (o->stock)
        return TRUE;
    if (o->selections > 0)  // still selected into a DC: freeing it would leave the DC dangling
        return FALSE;
    quiva::UnregisterGdiObject(obj);
    return TRUE;
}

HGDIOBJ GetStockObject(int index)
{
    if (index < 0 || index > DC_PEN)
        return nullptr;
    return quiva::Stocks().items[index];
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return nullptr;
    switch (type) {
    case OBJ_BITMAP: return dc->bitmap;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_PEN: return dc->pen;
    case OBJ_FONT: return dc->font;
    default: return nullptr;
    }
}

DWORD GetObjectType(HGDIOBJ obj)
{
    quiva::GdiObject* o = quiva::LookupGdiObject(obj);
    return o ? o->Type() : 0;
}

int GetObjectW(HGDIOBJ obj, int size, LPVOID out)
{
    quiva::GdiObject* o = quiva::LookupGdiObject(obj);
    if (auto* b = dynamic_cast<quiva::GdiBitmap*>(o)) {
        if (!out)
            return sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP)))
            return 0;
        BITMAP bm{0, b->pixels.Width(), b->pixels.Height(), b->pixels.Stride(), 1, 32, nullptr};
        std::memcpy(out, &bm, sizeof bm);
        return sizeof bm;
    }
    if (auto* f = dynamic_cast<quiva::GdiFont*>(o)) {
        if (!out)
            return sizeof(LOGFONTW);
        if (size < static_cast<int>(sizeof(LOGFONTW)))
            return 0;
        std::memcpy(out, &f->lf, sizeof f->lf);
        return sizeof f->lf;
    }
    return 0;
}

HBITMAP CreateCompatibleBitmap(HDC, int cx, int cy)
{
    if (cx < 0 || cy < 0 || static_cast<int64_t>(cx) * cy > (int64_t{1} << 28))
        return nullptr;
    return reinterpret_cast<HBITMAP>(quiva::RegisterGdiObject(std::make_unique<quiva::GdiBitmap>(cx, cy)));
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto b = std::make_unique<quiva::GdiBrush>();
    b->color = color & 0xFFFFFF;
    return reinterpret_cast<HBRUSH>(quiva::RegisterGdiObject(std::move(b)));
}

HBRUSH quiva::CreateStockBrush(COLORREF color)
{
    auto b = std::make_unique<quiva::GdiBrush>();
    b->color = color & 0xFFFFFF;
    b->stock = true;
    return reinterpret_cast<HBRUSH>(quiva::RegisterGdiObject(std::move(b)));
}

HPEN CreatePen(int style, int width, COLORREF color)
{
    auto p = std::make_unique<quiva::GdiPen>();
    p->style = style;
    p->width = std::max(1, width);
    p->color = color & 0xFFFFFF;
    return reinterpret_cast<HPEN>(quiva::RegisterGdiObject(std::move(p)));
}

HFONT CreateFontIndirectW(const LOGFONTW* lf)
{
    if (!lf)
        return nullptr;
    auto f = std::make_unique<quiva::GdiFont>();
    f->lf = *lf;
    f->lf.lfFaceName[LF_FACESIZE - 1] = 0;
    return reinterpret_cast<HFONT>(quiva::RegisterGdiObject(std::move(f)));
}

HFONT CreateFontW(int height, int width, int escapement, int orientation, int weight, DWORD italic, DWORD underline,
                  DWORD strikeOut, DWORD charSet, DWORD outPrecision, DWORD clipPrecision, DWORD quality,
                  DWORD pitchAndFamily, LPCWSTR faceName)
{
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfWidth = width;
    lf.lfEscapement = escapement;
    lf.lfOrientation = orientation;
    lf.lfWeight = weight;
    lf.lfItalic = static_cast<BYTE>(italic);
    lf.lfUnderline = static_cast<BYTE>(underline);
    lf.lfStrikeOut = static_cast<BYTE>(strikeOut);
    lf.lfCharSet = static_cast<BYTE>(charSet);
    lf.lfOutPrecision = static_cast<BYTE>(outPrecision);
    lf.lfClipPrecision = static_cast<BYTE>(clipPrecision);
    lf.lfQuality = static_cast<BYTE>(quality);
    lf.lfPitchAndFamily = static_cast<BYTE>(pitchAndFamily);
    if (faceName)
        std::wcsncpy(lf.lfFaceName, faceName, LF_FACESIZE - 1);
    return CreateFontIndirectW(&lf);
}

#define QUIVA_DC_SETTER(Name, field, type, fail)  \
    type Set##Name(HDC hdc, type value)          \
    {                                            \
        DeviceContext* dc = LookupDC(hdc);       \
        if (!dc)                                 \
            return fail;                         \
        type old = dc->field;                    \
        dc->field = value;                       \
        return old;                              \
    }
QUIVA_DC_SETTER(TextColor, textColor, COLORREF, CLR_INVALID)
QUIVA_DC_SETTER(BkColor, bkColor, COLORREF, CLR_INVALID)
QUIVA_DC_SETTER(DCBrushColor, dcBrushColor, COLORREF, CLR_INVALID)
QUIVA_DC_SETTER(DCPenColor, dcPenColor, COLORREF, CLR_INVALID)
#undef QUIVA_DC_SETTER

int SetBkMode(HDC hdc, int mode)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE))
        return 0;
    int old = dc->bkMode;
    dc->bkMode = mode;
    return old;
}
COLORREF GetTextColor(HDC hdc)
{
    DeviceContext* dc = LookupDC(hdc);
    return dc ? dc->textColor : CLR_INVALID;
}
COLORREF GetBkColor(HDC hdc)
{
    DeviceContext* dc = LookupDC(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}
int GetBkMode(HDC hdc)
{
    DeviceContext* dc = LookupDC(hdc);
    return dc ? dc->bkMode : 0;
}

COLORREF GetPixel(HDC hdc, int x, int y)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return CLR_INVALID;
    std::lock_guard lock(dc->Mutex());
    POINT o = dc->DeviceOrigin();
    POINT p{x + o.x, y + o.y};
    RECT clip = dc->DeviceClip();
    if (!PtInRect(&clip, p))
        return CLR_INVALID;
    return quiva::ColorOfPixel(dc->Target()->At(p.x, p.y));
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return CLR_INVALID;
    quiva::FillPixels(dc, RECT{x, y, x + 1, y + 1}, quiva::PixelOf(color));
    return color & 0xFFFFFF;
}

int FillRect(HDC hdc, const RECT* rc, HBRUSH hbrush)
{
    DeviceContext* dc = LookupDC(hdc);
    auto* brush = LookupGdi<quiva::GdiBrush>(hbrush);
    if (!dc || !rc || !brush)
        return 0;
    if (!brush->hollow)
        quiva::FillPixels(dc, *rc, quiva::PixelOf(quiva::BrushColor(dc, brush)));
    return 1;
}

int FrameRect(HDC hdc, const RECT* rc, HBRUSH hbrush)
{
    DeviceContext* dc = LookupDC(hdc);
    auto* brush = LookupGdi<quiva::GdiBrush>(hbrush);
    if (!dc || !rc || !brush)
        return 0;
    if (brush->hollow || IsRectEmpty(rc))
        return 1;
    uint32_t px = quiva::PixelOf(quiva::BrushColor(dc, brush));
    quiva::FillPixels(dc, RECT{rc->left, rc->top, rc->right, rc->top + 1}, px);
    quiva::FillPixels(dc, RECT{rc->left, rc->bottom - 1, rc->right, rc->bottom}, px);
    quiva::FillPixels(dc, RECT{rc->left, rc->top, rc->left + 1, rc->bottom}, px);
    quiva::FillPixels(dc, RECT{rc->right - 1, rc->top, rc->right, rc->bottom}, px);
    return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return FALSE;
    if (!dc->brush->hollow)
        quiva::FillPixels(dc, RECT{left, top, right, bottom}, quiva::PixelOf(quiva::BrushColor(dc, dc->brush)));
    if (dc->pen->style != PS_NULL) {
        uint32_t px = quiva::PixelOf(quiva::PenColor(dc, dc->pen));
        int w = dc->pen->width;
        quiva::FillPixels(dc, RECT{left, top, right, top + w}, px);
        quiva::FillPixels(dc, RECT{left, bottom - w, right, bottom}, px);
        quiva::FillPixels(dc, RECT{left, top, left + w, bottom}, px);
        quiva::FillPixels(dc, RECT{right - w, top, right, bottom}, px);
    }
    return TRUE;
}

BOOL MoveToEx(HDC hdc, int x, int y, LPPOINT old)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return FALSE;
    if (old)
        *old = dc->current;
    dc->current = POINT{x, y};
    return TRUE;
}

BOOL LineTo(HDC hdc, int x, int y)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return FALSE;
    POINT from = dc->current;
    dc->current = POINT{x, y};
    if (dc->pen->style == PS_NULL)
        return TRUE;
    std::lock_guard lock(dc->Mutex());
    auto t = dc->OpenCairo();
    if (!*t)
        return TRUE;
    COLORREF c = quiva::PenColor(dc, dc->pen);
    cairo_set_antialias(t->cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgb(t->cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
    cairo_set_line_width(t->cr, dc->pen->width);
    cairo_move_to(t->cr, from.x + 0.5, from.y + 0.5);
    cairo_line_to(t->cr, x + 0.5, y + 0.5);
    cairo_stroke(t->cr);
    return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int cx, int cy, DWORD rop)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc)
        return FALSE;
    uint32_t px;
    if (rop == BLACKNESS)
        px = 0xFF000000u;
    else if (rop == WHITENESS)
        px = 0xFFFFFFFFu;
    else
        return FALSE;
    quiva::FillPixels(dc, RECT{x, y, x + cx, y + cy}, px);
    return TRUE;
}

BOOL BitBlt(HDC hdst, int x, int y, int cx, int cy, HDC hsrc, int x1, int y1, DWORD rop)
{
    DeviceContext* dst = LookupDC(hdst);
    if (!dst)
        return FALSE;
    if (rop == BLACKNESS || rop == WHITENESS)
        return PatBlt(hdst, x, y, cx, cy, rop);
    DeviceContext* src = LookupDC(hsrc);
    if (!src || rop != SRCCOPY)
        return FALSE;
    std::scoped_lock lock(dst->Mutex(), src->Mutex());
    POINT so = src->DeviceOrigin();
    POINT dor = dst->DeviceOrigin();
    // Source rectangle in source device coordinates, limited to what the source holds.
    RECT sr = quiva::Intersect(RECT{x1 + so.x, y1 + so.y, x1 + so.x + cx, y1 + so.y + cy}, src->DeviceClip());
    // The same area in destination device coordinates, then clipped there.
    int dx = x + dor.x - (x1 + so.x);
    int dy = y + dor.y - (y1 + so.y);
    RECT dr = quiva::Intersect(RECT{sr.left + dx, sr.top + dy, sr.right + dx, sr.bottom + dy}, dst->DeviceClip());
    int w = dr.right - dr.left;
    if (w <= 0 || dr.bottom <= dr.top)
        return TRUE;
    quiva::Surface* s = src->Target();
    quiva::Surface* d = dst->Target();
    auto row = [&](LONG yy) {
        std::memmove(d->Pixels() + static_cast<size_t>(yy) * d->Width() + dr.left,
                     s->Pixels() + static_cast<size_t>(yy - dy) * s->Width() + (dr.left - dx),
                     static_cast<size_t>(w) * 4);
    };
    // Rows go bottom-up when copying downwards within one surface, so no row is read after it was written.
    if (s == d && dy > 0)
        for (LONG yy = dr.bottom - 1; yy >= dr.top; --yy)
            row(yy);
    else
        for (LONG yy = dr.top; yy < dr.bottom; ++yy)
            row(yy);
    return TRUE;
}

// Text

namespace quiva {

TextFont FontOf(const LOGFONTW& lf)
{
    TextFont f;
    f.family = lf.lfFaceName[0] ? std::wstring(lf.lfFaceName) : std::wstring(L"맑은 고딕");
    f.style = (lf.lfWeight >= FW_SEMIBOLD ? 1 : 0) | (lf.lfItalic ? 2 : 0) | (lf.lfUnderline ? 4 : 0) |
              (lf.lfStrikeOut ? 8 : 0);
    if (lf.lfHeight < 0) {
        f.pixelSize = -lf.lfHeight;
    } else if (lf.lfHeight > 0) {
        // A positive height is the cell (ascent + descent); find the em size that gives it.
        TextFont probe = f;
        probe.pixelSize = 100;
        double ascent = 0, descent = 0;
        FontMetrics(probe, ascent, descent);
        f.pixelSize = ascent + descent > 0 ? lf.lfHeight * 100.0 / (ascent + descent) : lf.lfHeight;
    } else {
        f.pixelSize = 12;
    }
    return f;
}

namespace {

// "&x" underlines x in Windows; here the marker is dropped and "&&" becomes "&".
std::wstring StripPrefixes(const std::wstring& s)
{
    std::wstring out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == L'&' && i + 1 < s.size())
            ++i;
        else if (s[i] == L'&')
            continue;
        out += s[i];
    }
    return out;
}

std::wstring TextArg(LPCWSTR text, int count)
{
    if (!text)
        return std::wstring();
    return count < 0 ? std::wstring(text) : std::wstring(text, static_cast<size_t>(count));
}

void FillBackground(DeviceContext* dc, const TextBox& b)
{
    if (dc->bkMode != OPAQUE || b.width <= 0)
        return;
    FillPixels(dc,
               RECT{static_cast<LONG>(std::floor(b.x)), static_cast<LONG>(std::floor(b.y)),
                    static_cast<LONG>(std::ceil(b.x + b.width)), static_cast<LONG>(std::ceil(b.y + b.height))},
               PixelOf(dc->bkColor));
}

uint32_t ArgbOf(COLORREF c) { return PixelOf(c); }

}  // namespace
}  // namespace quiva

int DrawTextW(HDC hdc, LPCWSTR text, int count, LPRECT rc, UINT format)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc || !rc || !text)
        return 0;
    std::wstring s = quiva::TextArg(text, count);
    if (!(format & DT_NOPREFIX))
        s = quiva::StripPrefixes(s);
    if (format & DT_SINGLELINE)
        std::replace_if(s.begin(), s.end(), [](wchar_t c) { return c == L'\n' || c == L'\r'; }, L' ');
    quiva::TextFont font = quiva::FontOf(dc->font->lf);
    quiva::TextFormat f;
    f.align = (format & DT_CENTER) ? 1 : (format & DT_RIGHT) ? 2 : 0;
    if (format & DT_SINGLELINE)
        f.lineAlign = (format & DT_VCENTER) ? 1 : (format & DT_BOTTOM) ? 2 : 0;
    f.noWrap = !(format & DT_WORDBREAK);
    f.noClip = (format & DT_NOCLIP) != 0;
    f.trimming = (format & DT_END_ELLIPSIS) ? 3 : (format & DT_WORD_ELLIPSIS) ? 4 : (format & DT_PATH_ELLIPSIS) ? 5 : 0;
    quiva::TextBox box{double(rc->left), double(rc->top), double(rc->right - rc->left), double(rc->bottom - rc->top)};
    if (format & DT_CALCRECT) {
        quiva::TextBox unbounded{box.x, box.y, (format & DT_WORDBREAK) ? box.width : 0, 0};
        quiva::TextFormat calc = f;
        calc.align = 0;
        calc.lineAlign = 0;
        quiva::TextBox m = quiva::MeasureText(s, font, unbounded, calc);
        rc->right = rc->left + static_cast<LONG>(std::ceil(m.width));
        rc->bottom = rc->top + static_cast<LONG>(std::ceil(m.height));
        return static_cast<int>(std::ceil(m.height));
    }
    quiva::TextBox m = quiva::MeasureText(s, font, box, f);
    std::lock_guard lock(dc->Mutex());
    quiva::FillBackground(dc, m);
    auto t = dc->OpenCairo();
    if (*t)
        quiva::DrawText(t->cr, s, font, box, f, quiva::ArgbOf(dc->textColor));
    return static_cast<int>(std::ceil(m.height));
}

BOOL TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc || !text || count < 0)
        return FALSE;
    std::wstring s = quiva::TextArg(text, count);
    quiva::TextFont font = quiva::FontOf(dc->font->lf);
    quiva::TextFormat f;
    f.noWrap = true;
    f.noClip = true;
    quiva::TextBox box{double(x), double(y), 0, 0};
    std::lock_guard lock(dc->Mutex());
    quiva::FillBackground(dc, quiva::MeasureText(s, font, box, f));
    auto t = dc->OpenCairo();
    if (*t)
        quiva::DrawText(t->cr, s, font, box, f, quiva::ArgbOf(dc->textColor));
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, LPSIZE size)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc || !size || (!text && count > 0) || count < 0)
        return FALSE;
    quiva::TextFont font = quiva::FontOf(dc->font->lf);
    quiva::TextFormat f;
    f.noWrap = true;
    std::wstring s = quiva::TextArg(text, count);
    quiva::TextBox m = quiva::MeasureText(s, font, quiva::TextBox{}, f);
    double ascent = 0, descent = 0;
    quiva::FontMetrics(font, ascent, descent);
    size->cx = static_cast<LONG>(std::ceil(m.width));
    size->cy = static_cast<LONG>(std::ceil(ascent + descent));
    return TRUE;
}

BOOL GetTextMetricsW(HDC hdc, LPTEXTMETRICW tm)
{
    DeviceContext* dc = LookupDC(hdc);
    if (!dc || !tm)
        return FALSE;
    quiva::TextFont font = quiva::FontOf(dc->font->lf);
    double ascent = 0, descent = 0;
    quiva::FontMetrics(font, ascent, descent);
    quiva::TextFormat f;
    f.noWrap = true;
    quiva::TextBox x = quiva::MeasureText(L"x", font, quiva::TextBox{}, f);
    quiva::TextBox w = quiva::MeasureText(L"W", font, quiva::TextBox{}, f);
    *tm = TEXTMETRICW{};
    tm->tmAscent = static_cast<LONG>(std::ceil(ascent));
    tm->tmDescent = static_cast<LONG>(std::ceil(descent));
    tm->tmHeight = tm->tmAscent + tm->tmDescent;
    tm->tmInternalLeading = std::max<LONG>(0, tm->tmHeight - static_cast<LONG>(std::lround(font.pixelSize)));
    tm->tmAveCharWidth = static_cast<LONG>(std::lround(x.width));
    tm->tmMaxCharWidth = static_cast<LONG>(std::lround(w.width));
    tm->tmWeight = dc->font->lf.lfWeight ? dc->font->lf.lfWeight : FW_NORMAL;
    return TRUE;
}

int IntersectClipRect(HDC hdc, int left, int top, int right, int bottom)
{
    quiva::DeviceContext* dc = quiva::LookupDC(hdc);
    if (!dc)
        return ERROR_REGION;
    std::lock_guard lock(dc->Mutex());
    const POINT o = dc->DeviceOrigin();
    RECT r{left + o.x, top + o.y, right + o.x, bottom + o.y};
    dc->userClip = dc->userClip ? quiva::Intersect(*dc->userClip, r) : r;
    const RECT c = dc->DeviceClip();
    return c.right > c.left && c.bottom > c.top ? SIMPLEREGION : NULLREGION;
}

int SaveDC(HDC hdc)
{
    quiva::DeviceContext* dc = quiva::LookupDC(hdc);
    if (!dc)
        return 0;
    std::lock_guard lock(dc->Mutex());
    dc->savedClips.push_back(dc->userClip);
    return static_cast<int>(dc->savedClips.size());
}

BOOL RestoreDC(HDC hdc, int savedDC)
{
    quiva::DeviceContext* dc = quiva::LookupDC(hdc);
    if (!dc)
        return FALSE;
    std::lock_guard lock(dc->Mutex());
    const int count = static_cast<int>(dc->savedClips.size());
    const int level = savedDC < 0 ? count + 1 + savedDC : savedDC;
    if (level < 1 || level > count)
        return FALSE;
    dc->userClip = dc->savedClips[static_cast<size_t>(level - 1)];
    dc->savedClips.resize(static_cast<size_t>(level - 1));
    return TRUE;
}
