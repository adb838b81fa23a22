#include "platform/gdi/gdiplus.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

#include <pthread.h>

#include "platform/base/bitmap.h"
#include "platform/base/fileapi.h"
#include "platform/gdi/GdiObjects.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/gdi/TextEngine.h"

namespace quiva {

// Where a Graphics draws: a device context (looked up on every call, so a deleted DC is
// refused), an image's pixels, or nothing (a measuring graphics).
struct GraphicsTarget {
    HDC hdc = nullptr;
    Gdiplus::Image* image = nullptr;

    struct Open {
        std::unique_ptr<DeviceContext::CairoTarget> cairo;
        std::unique_lock<std::recursive_mutex> lock;
        cairo_t* cr() const { return cairo ? cairo->cr : nullptr; }
    };
    // A Cairo context in the target's logical coordinates, with the target locked; cr() is null
    // when there is nothing to draw into.
    Open Begin()
    {
        Open o;
        if (hdc) {
            DeviceContext* dc = LookupDC(hdc);
            if (!dc)
                return o;
            o.lock = std::unique_lock(dc->Mutex());
            o.cairo = dc->OpenCairo();
        } else if (image && image->Pixels()) {
            Surface* s = image->Pixels();
            o.lock = std::unique_lock(s->Mutex());
            o.cairo = std::make_unique<DeviceContext::CairoTarget>();
            if (s->Width() > 0 && s->Height() > 0) {
                o.cairo->surface = cairo_image_surface_create_for_data(
                    reinterpret_cast<unsigned char*>(s->Pixels()), CAIRO_FORMAT_ARGB32, s->Width(), s->Height(),
                    s->Stride());
                o.cairo->cr = cairo_create(o.cairo->surface);
            }
        }
        return o;
    }
};

namespace {

void SetSource(cairo_t* cr, Gdiplus::ARGB argb)
{
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
}

TextFont TextFontOf(const Gdiplus::Font* font)
{
    TextFont f;
    f.family = font->FamilyName();
    f.pixelSize = font->PixelSize();
    f.style = font->GetStyle();
    return f;
}

TextFormat TextFormatOf(const Gdiplus::StringFormat* format)
{
    TextFormat f;
    if (!format)
        return f;
    f.align = format->GetAlignment();
    f.lineAlign = format->GetLineAlignment();
    f.noWrap = (format->GetFormatFlags() & Gdiplus::StringFormatFlagsNoWrap) != 0;
    f.noClip = (format->GetFormatFlags() & Gdiplus::StringFormatFlagsNoClip) != 0;
    f.trimming = format->GetTrimming();
    if (!format->TabStops().empty())
        f.tabStop = format->FirstTabOffset() + format->TabStops().front();
    return f;
}

std::wstring StringArg(const WCHAR* s, INT length)
{
    if (!s)
        return std::wstring();
    return length < 0 ? std::wstring(s) : std::wstring(s, static_cast<size_t>(length));
}

// GUIDs of the file formats and encoders, in the registry form {...}.
constexpr GUID MakeGuid(uint32_t a, uint16_t b, uint16_t c, uint64_t d)
{
    GUID g{a, b, c, {}};
    for (int i = 0; i < 8; ++i)
        g.Data4[i] = static_cast<uint8_t>(d >> (56 - 8 * i));
    return g;
}

constexpr GUID kBmpEncoder = MakeGuid(0x557cf400, 0x1a04, 0x11d3, 0x9a730000f81ef32eull);
constexpr GUID kJpegEncoder = MakeGuid(0x557cf401, 0x1a04, 0x11d3, 0x9a730000f81ef32eull);
constexpr GUID kPngEncoder = MakeGuid(0x557cf406, 0x1a04, 0x11d3, 0x9a730000f81ef32eull);

const Gdiplus::ImageCodecInfo kCodecs[] = {
    {kBmpEncoder, MakeGuid(0xb96b3cab, 0x0728, 0x11d3, 0x9d7b0000f81ef32eull), L"Built-in BMP Codec", nullptr,
     L"BMP", L"*.BMP;*.DIB;*.RLE", L"image/bmp", 0x10007, 1, 0, 0, nullptr, nullptr},
    {kJpegEncoder, MakeGuid(0xb96b3cae, 0x0728, 0x11d3, 0x9d7b0000f81ef32eull), L"Built-in JPEG Codec", nullptr,
     L"JPEG", L"*.JPG;*.JPEG;*.JPE;*.JFIF", L"image/jpeg", 0x10007, 1, 0, 0, nullptr, nullptr},
    {kPngEncoder, MakeGuid(0xb96b3caf, 0x0728, 0x11d3, 0x9d7b0000f81ef32eull), L"Built-in PNG Codec", nullptr,
     L"PNG", L"*.PNG", L"image/png", 0x10007, 1, 0, 0, nullptr, nullptr},
};

Gdiplus::Status CodecList(UINT* count, UINT* size)
{
    if (!count || !size)
        return Gdiplus::InvalidParameter;
    *count = static_cast<UINT>(std::size(kCodecs));
    *size = static_cast<UINT>(sizeof kCodecs);
    return Gdiplus::Ok;
}

Gdiplus::Status CopyCodecs(UINT count, UINT size, Gdiplus::ImageCodecInfo* out)
{
    if (!out || count != std::size(kCodecs) || size < sizeof kCodecs)
        return Gdiplus::InvalidParameter;
    std::memcpy(static_cast<void*>(out), kCodecs, sizeof kCodecs);
    return Gdiplus::Ok;
}

}  // namespace
}  // namespace quiva

namespace Gdiplus {

const GUID EncoderQuality = quiva::MakeGuid(0x1d5be4b5, 0xfa4a, 0x452d, 0x9cdd5db35105e7ebull);
const GUID ImageFormatBMP = quiva::kCodecs[0].FormatID;
const GUID ImageFormatJPEG = quiva::kCodecs[1].FormatID;
const GUID ImageFormatPNG = quiva::kCodecs[2].FormatID;
const GUID ImageFormatMemoryBMP = quiva::MakeGuid(0xb96b3caa, 0x0728, 0x11d3, 0x9d7b0000f81ef32eull);

namespace {

// Loads the text engine's fonts once per process, on a thread of its own, so that the first
// text a window lays out does not wait for them while the caller goes on with other work.
struct FontLoader {
    std::mutex mutex;
    std::thread* thread = nullptr;  // kept until a shutdown joins it
    bool started = false;
};

FontLoader& TheFontLoader()
{
    static FontLoader* loader = new FontLoader();  // used until the process ends
    return *loader;
}

}  // namespace

Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output)
{
    if (!token || !input || input->GdiplusVersion != 1)
        return input && input->GdiplusVersion != 1 ? UnsupportedGdiplusVersion : InvalidParameter;
    *token = 1;
    if (output)
        *output = GdiplusStartupOutput{};
    FontLoader& loader = TheFontLoader();
    std::lock_guard lock(loader.mutex);
    if (!loader.started) {
        loader.started = true;
        loader.thread = new std::thread([] {
            quiva::MeasureText(L"영상얻기 Capture", quiva::TextFont{L"맑은 고딕", 13, 0}, quiva::TextBox{}, quiva::TextFormat{});
        });
        // Named here rather than by the thread itself, so that the name stands before the start-up
        // returns. Threads the text engine starts from it take the name too until they rename
        // themselves.
        pthread_setname_np(loader.thread->native_handle(), "quiva-fonts");
    }
    return Ok;
}

void GdiplusShutdown(ULONG_PTR)
{
    std::thread* thread = nullptr;
    {
        FontLoader& loader = TheFontLoader();
        std::lock_guard lock(loader.mutex);
        std::swap(thread, loader.thread);
    }
    if (thread) {
        thread->join();
        delete thread;
    }
}

Status GetImageEncodersSize(UINT* n, UINT* size) { return quiva::CodecList(n, size); }
Status GetImageEncoders(UINT n, UINT size, ImageCodecInfo* out) { return quiva::CopyCodecs(n, size, out); }
Status GetImageDecodersSize(UINT* n, UINT* size) { return quiva::CodecList(n, size); }
Status GetImageDecoders(UINT n, UINT size, ImageCodecInfo* out) { return quiva::CopyCodecs(n, size, out); }

BOOL RectF::Intersect(RectF& out, const RectF& a, const RectF& b)
{
    REAL l = std::max(a.X, b.X), t = std::max(a.Y, b.Y);
    REAL r = std::min(a.GetRight(), b.GetRight()), btm = std::min(a.GetBottom(), b.GetBottom());
    out = RectF(l, t, r - l, btm - t);
    return !out.IsEmptyArea();
}

// Fonts

FontFamily::FontFamily() = default;

FontFamily::FontFamily(const WCHAR* name, const FontCollection*) : m_name(name ? name : L"")
{
    m_available = quiva::IsFontFamilyInstalled(m_name);
    if (!m_available)
        SetStatus(FontFamilyNotFound);
}

Status FontFamily::GetFamilyName(WCHAR name[LF_FACESIZE], LANGID) const
{
    if (!name)
        return SetStatus(InvalidParameter);
    std::wcsncpy(name, m_name.c_str(), LF_FACESIZE - 1);
    name[LF_FACESIZE - 1] = 0;
    return Ok;
}

const FontFamily* FontFamily::GenericSansSerif()
{
    static const FontFamily f(L"Microsoft Sans Serif");
    return &f;
}
const FontFamily* FontFamily::GenericSerif()
{
    static const FontFamily f(L"Times New Roman");
    return &f;
}
const FontFamily* FontFamily::GenericMonospace()
{
    static const FontFamily f(L"Courier New");
    return &f;
}

Font::Font(const FontFamily* family, REAL emSize, INT style, Unit unit) : m_size(emSize), m_style(style), m_unit(unit)
{
    if (!family || !family->IsAvailable() || emSize <= 0 || unit == UnitDisplay) {
        SetStatus(family && !family->IsAvailable() ? FontFamilyNotFound : InvalidParameter);
        if (family)
            m_family = family->Name();
        return;
    }
    m_family = family->Name();
    m_available = true;
}

Font::Font(const WCHAR* familyName, REAL emSize, INT style, Unit unit, const FontCollection*)
    : Font(std::make_unique<FontFamily>(familyName).get(), emSize, style, unit)
{
    // GDI+ takes the generic sans-serif family for a name it does not know.
    if (!m_available && emSize > 0 && unit != UnitDisplay) {
        m_family = FontFamily::GenericSansSerif()->Name();
        m_available = true;
        m_lastStatus = Ok;
    }
}

void Font::InitFromLogFont(const LOGFONTW& lf)
{
    quiva::TextFont f = quiva::FontOf(lf);
    m_family = lf.lfFaceName[0] ? lf.lfFaceName : L"맑은 고딕";
    m_size = static_cast<REAL>(f.pixelSize);
    m_unit = UnitPixel;
    m_style = f.style;
    m_available = true;
    if (!quiva::IsFontFamilyInstalled(m_family))
        m_family = FontFamily::GenericSansSerif()->Name();
}

Font::Font(HDC, const LOGFONTW* logfont)
{
    if (!logfont) {
        SetStatus(InvalidParameter);
        return;
    }
    InitFromLogFont(*logfont);
}

Font::Font(HDC, HFONT hfont)
{
    auto* f = quiva::LookupGdi<quiva::GdiFont>(hfont);
    if (!f) {
        SetStatus(InvalidParameter);
        return;
    }
    InitFromLogFont(f->lf);
}

Font::Font(HDC hdc)
{
    quiva::DeviceContext* dc = quiva::LookupDC(hdc);
    if (!dc) {
        SetStatus(InvalidParameter);
        return;
    }
    InitFromLogFont(dc->font->lf);
}

Status Font::GetFamily(FontFamily* family) const
{
    if (!family)
        return SetStatus(InvalidParameter);
    *family = FontFamily(m_family.c_str());
    return Ok;
}

REAL Font::PixelSize() const
{
    switch (m_unit) {
    case UnitPoint: return m_size * 96.0f / 72.0f;
    case UnitInch: return m_size * 96.0f;
    case UnitDocument: return m_size * 96.0f / 300.0f;
    case UnitMillimeter: return m_size * 96.0f / 25.4f;
    default: return m_size;
    }
}

REAL Font::GetHeight(REAL dpi) const
{
    quiva::TextFont f = quiva::TextFontOf(this);
    double ascent = 0, descent = 0;
    quiva::FontMetrics(f, ascent, descent);
    return static_cast<REAL>((ascent + descent) * dpi / 96.0);
}

REAL Font::GetHeight(const Graphics*) const { return GetHeight(96.0f); }

Status Font::GetLogFontW(const Graphics*, LOGFONTW* lf) const
{
    if (!lf)
        return SetStatus(InvalidParameter);
    *lf = LOGFONTW{};
    lf->lfHeight = -static_cast<LONG>(std::lround(PixelSize()));
    lf->lfWeight = (m_style & FontStyleBold) ? FW_BOLD : FW_NORMAL;
    lf->lfItalic = (m_style & FontStyleItalic) ? 1 : 0;
    lf->lfUnderline = (m_style & FontStyleUnderline) ? 1 : 0;
    lf->lfStrikeOut = (m_style & FontStyleStrikeout) ? 1 : 0;
    lf->lfCharSet = DEFAULT_CHARSET;
    std::wcsncpy(lf->lfFaceName, m_family.c_str(), LF_FACESIZE - 1);
    return Ok;
}

StringFormat::StringFormat(const StringFormat* format)
{
    if (format)
        *this = *format;
}

Status StringFormat::SetMeasurableCharacterRanges(INT count, const CharacterRange* ranges)
{
    // GDI+ takes at most 32 ranges.
    if (count < 0 || count > 32 || (count > 0 && !ranges))
        return SetStatus(count > 32 ? ValueOverflow : InvalidParameter);
    m_ranges.assign(ranges, ranges + count);
    return Ok;
}

const StringFormat* StringFormat::GenericDefault()
{
    static const StringFormat f;
    return &f;
}

const StringFormat* StringFormat::GenericTypographic()
{
    static const StringFormat f = [] {
        StringFormat s(StringFormatFlagsNoClip | StringFormatFlagsLineLimit);
        s.SetTrimming(StringTrimmingNone);
        return s;
    }();
    return &f;
}

Status Region::GetBounds(RectF* rect, const Graphics*) const
{
    if (!rect)
        return SetStatus(InvalidParameter);
    if (m_rects.empty()) {
        *rect = RectF();
        return Ok;
    }
    REAL l = m_rects[0].X, t = m_rects[0].Y, r = m_rects[0].GetRight(), b = m_rects[0].GetBottom();
    for (const RectF& x : m_rects) {
        l = std::min(l, x.X), t = std::min(t, x.Y);
        r = std::max(r, x.GetRight()), b = std::max(b, x.GetBottom());
    }
    *rect = RectF(l, t, r - l, b - t);
    return Ok;
}

BOOL Region::IsEmpty(const Graphics*) const
{
    return std::all_of(m_rects.begin(), m_rects.end(), [](const RectF& r) { return r.IsEmptyArea(); });
}

// Paths

void GraphicsPath::LineOrMove(REAL x, REAL y)
{
    if (!m_figureOpen) {
        m_steps.push_back(Step{Op::Move, {PointF(x, y)}});
        m_figureOpen = true;
    } else {
        m_steps.push_back(Step{Op::Line, {PointF(x, y)}});
    }
}

Status GraphicsPath::AddLine(REAL x1, REAL y1, REAL x2, REAL y2)
{
    LineOrMove(x1, y1);
    m_steps.push_back(Step{Op::Line, {PointF(x2, y2)}});
    return Ok;
}

Status GraphicsPath::AddArc(REAL x, REAL y, REAL w, REAL h, REAL start, REAL sweep)
{
    if (w <= 0 || h <= 0)
        return SetStatus(InvalidParameter);
    // Bezier segments of at most 90 degrees on the ellipse inscribed in the rectangle.
    double cx = x + w / 2.0, cy = y + h / 2.0, rx = w / 2.0, ry = h / 2.0;
    sweep = std::clamp(sweep, -360.0f, 360.0f);
    int segments = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / 90.0 - 1e-6)));
    double step = sweep / segments * M_PI / 180.0;
    double a = start * M_PI / 180.0;
    LineOrMove(static_cast<REAL>(cx + rx * std::cos(a)), static_cast<REAL>(cy + ry * std::sin(a)));
    double k = 4.0 / 3.0 * std::tan(step / 4.0);
    for (int i = 0; i < segments; ++i) {
        double b = a + step;
        Step s{Op::Curve, {}};
        s.p[0] = PointF(static_cast<REAL>(cx + rx * (std::cos(a) - k * std::sin(a))),
                        static_cast<REAL>(cy + ry * (std::sin(a) + k * std::cos(a))));
        s.p[1] = PointF(static_cast<REAL>(cx + rx * (std::cos(b) + k * std::sin(b))),
                        static_cast<REAL>(cy + ry * (std::sin(b) - k * std::cos(b))));
        s.p[2] = PointF(static_cast<REAL>(cx + rx * std::cos(b)), static_cast<REAL>(cy + ry * std::sin(b)));
        m_steps.push_back(s);
        a = b;
    }
    return Ok;
}

Status GraphicsPath::AddBezier(REAL x1, REAL y1, REAL x2, REAL y2, REAL x3, REAL y3, REAL x4, REAL y4)
{
    LineOrMove(x1, y1);
    m_steps.push_back(Step{Op::Curve, {PointF(x2, y2), PointF(x3, y3), PointF(x4, y4)}});
    return Ok;
}

Status GraphicsPath::AddRectangle(const RectF& r)
{
    StartFigure();
    LineOrMove(r.X, r.Y);
    m_steps.push_back(Step{Op::Line, {PointF(r.GetRight(), r.Y)}});
    m_steps.push_back(Step{Op::Line, {PointF(r.GetRight(), r.GetBottom())}});
    m_steps.push_back(Step{Op::Line, {PointF(r.X, r.GetBottom())}});
    return CloseFigure();
}

Status GraphicsPath::AddEllipse(REAL x, REAL y, REAL w, REAL h)
{
    StartFigure();
    Status s = AddArc(x, y, w, h, 0, 360);
    CloseFigure();
    return s;
}

Status GraphicsPath::StartFigure()
{
    m_figureOpen = false;
    return Ok;
}

Status GraphicsPath::CloseFigure()
{
    if (m_figureOpen)
        m_steps.push_back(Step{Op::Close, {}});
    m_figureOpen = false;
    return Ok;
}

Status GraphicsPath::Reset()
{
    m_steps.clear();
    m_figureOpen = false;
    return Ok;
}

Status GraphicsPath::GetBounds(RectF* bounds) const
{
    if (!bounds)
        return SetStatus(InvalidParameter);
    bool any = false;
    REAL l = 0, t = 0, r = 0, b = 0;
    for (const Step& s : m_steps) {
        int n = s.op == Op::Curve ? 3 : s.op == Op::Close ? 0 : 1;
        for (int i = 0; i < n; ++i) {
            const PointF& p = s.p[i];
            if (!any)
                l = r = p.X, t = b = p.Y, any = true;
            l = std::min(l, p.X), r = std::max(r, p.X), t = std::min(t, p.Y), b = std::max(b, p.Y);
        }
    }
    *bounds = RectF(l, t, r - l, b - t);
    return Ok;
}

// Images

Image::Image() = default;
Image::~Image() = default;

namespace {

PixelFormat FormatOf(const quiva::DecodedImage& d)
{
    if (d.kind == quiva::ImageFileKind::Bmp) {
        switch (d.bitsPerPixel) {
        case 1: return PixelFormat1bppIndexed;
        case 4: return PixelFormat4bppIndexed;
        case 8: return PixelFormat8bppIndexed;
        case 16: return d.rgb565 ? PixelFormat16bppRGB565 : PixelFormat16bppRGB555;
        case 24: return PixelFormat24bppRGB;
        default: return d.hasAlpha ? PixelFormat32bppARGB : PixelFormat32bppRGB;
        }
    }
    if (d.hasAlpha)
        return PixelFormat32bppARGB;
    if (d.bitsPerPixel <= 8 && d.kind != quiva::ImageFileKind::Jpeg)
        return PixelFormat8bppIndexed;
    return d.bitsPerPixel == 32 ? PixelFormat32bppRGB : PixelFormat24bppRGB;
}

GUID RawFormatOf(quiva::ImageFileKind k)
{
    switch (k) {
    case quiva::ImageFileKind::Bmp: return ImageFormatBMP;
    case quiva::ImageFileKind::Jpeg: return ImageFormatJPEG;
    case quiva::ImageFileKind::Png: return ImageFormatPNG;
    default: return ImageFormatMemoryBMP;
    }
}

}  // namespace

Image* Image::FromFile(const WCHAR* filename, BOOL) { return Bitmap::FromFile(filename); }

// The image keeps no pixels when the bytes are refused.
Status Image::TakeDecoded(const std::string& bytes, int minWidth, int minHeight, Size* file)
{
    quiva::DecodedImage d;
    if (!quiva::DecodeImageAtLeast(bytes, minWidth, minHeight, d))
        return quiva::SniffImage(bytes) == quiva::ImageFileKind::Unknown ? UnknownImageFormat : GenericError;
    m_pixels = std::make_unique<quiva::Surface>(std::move(d.pixels), d.width, d.height);
    if (file)
        *file = Size(d.fileWidth, d.fileHeight);
    m_pixelFormat = FormatOf(d);
    m_rawFormat = RawFormatOf(d.kind);
    m_grey = d.grey;
    m_sourceRows = std::move(d.sourceRows);
    m_sourceStride = d.sourceStride;
    m_palette = std::move(d.palette);
    return Ok;
}

INT Image::GetPaletteSize()
{
    return static_cast<INT>(sizeof(ColorPalette) + (m_palette.empty() ? 0 : m_palette.size() - 1) * sizeof(ARGB));
}

Status Image::GetPalette(ColorPalette* palette, INT size)
{
    if (!palette || size < GetPaletteSize())
        return SetStatus(InvalidParameter);
    palette->Count = static_cast<UINT>(m_palette.size());
    palette->Flags = m_grey ? PaletteFlagsGrayScale : 0;
    std::copy(m_palette.begin(), m_palette.end(), palette->Entries);
    return Ok;
}

UINT Image::GetWidth() const { return m_pixels ? static_cast<UINT>(m_pixels->Width()) : 0; }
UINT Image::GetHeight() const { return m_pixels ? static_cast<UINT>(m_pixels->Height()) : 0; }

Status Image::GetRawFormat(GUID* format) const
{
    if (!format)
        return SetStatus(InvalidParameter);
    *format = m_rawFormat;
    return Ok;
}

Image* Image::Clone() const
{
    auto* b = new Bitmap();
    if (m_pixels) {
        b->m_pixels = std::make_unique<quiva::Surface>(m_pixels->Width(), m_pixels->Height());
        std::copy(m_pixels->Pixels(), m_pixels->Pixels() + m_pixels->Width() * m_pixels->Height(),
                  b->m_pixels->Pixels());
    } else {
        b->SetStatus(InvalidParameter);
    }
    b->m_pixelFormat = m_pixelFormat;
    b->m_rawFormat = m_rawFormat;
    b->m_grey = m_grey;
    b->m_sourceRows = m_sourceRows;
    b->m_sourceStride = m_sourceStride;
    b->m_palette = m_palette;
    return b;
}

namespace {

// The part of each source pixel that falls in one target pixel, along one side: the target pixel
// i covers source [i * scale, (i + 1) * scale), whose first and last pixels count in part.
struct Span {
    int first = 0, last = 0;         // source pixels first..last (inclusive)
    uint32_t headWeight = 0, tailWeight = 0;  // of the first and the last, in 1/256
    uint64_t total = 0;              // the weights of all, in 1/256
};

std::vector<Span> Spans(int source, int target)
{
    std::vector<Span> spans(static_cast<size_t>(target));
    const double scale = static_cast<double>(source) / target;
    for (int i = 0; i < target; ++i) {
        const double a = i * scale, b = std::min<double>(source, (i + 1) * scale);
        Span& s = spans[static_cast<size_t>(i)];
        s.first = static_cast<int>(a);
        s.last = std::max(s.first, static_cast<int>(std::ceil(b)) - 1);
        if (s.first == s.last) {
            s.headWeight = s.tailWeight = static_cast<uint32_t>(std::lround((b - a) * 256));
            s.total = s.headWeight;
        } else {
            s.headWeight = static_cast<uint32_t>(std::lround((s.first + 1 - a) * 256));
            s.tailWeight = static_cast<uint32_t>(std::lround((b - s.last) * 256));
            s.total = s.headWeight + s.tailWeight + 256u * static_cast<uint64_t>(s.last - s.first - 1);
        }
        if (s.total == 0) {  // a sliver of a pixel
            s.headWeight = s.tailWeight = 1;
            s.total = 1;
        }
    }
    return spans;
}

// `src` reduced to width x height (each at most half the source's) by the exact mean of the area
// each target pixel covers, premultiplied channels rounded: what the high-quality filter gives for
// a large reduction, in one pass over the source. The rows a target row covers whole are first
// summed column by column (two channels a word, in 16-bit lanes), and only those sums, and the
// rows it covers in part, are reduced along the row.
std::unique_ptr<Bitmap> AreaMean(const quiva::Surface& src, int width, int height)
{
    auto out = std::make_unique<Bitmap>(width, height, PixelFormat32bppPARGB);
    if (!out->Pixels())
        return nullptr;
    const int sw = src.Width();
    const std::vector<Span> columns = Spans(sw, width), rows = Spans(src.Height(), height);
    std::vector<uint64_t> line(static_cast<size_t>(width) * 4), sums(static_cast<size_t>(width) * 4);
    // Per source column, alpha and green (ag) and red and blue (rb) of the rows summed so far;
    // 257 rows of 255 fill a lane.
    std::vector<uint32_t> ag(static_cast<size_t>(sw)), rb(static_cast<size_t>(sw));
    int summed = 0;
    // Each target column of `line` the weighted sum (in 1/256) of its source columns' channels
    // (alpha, red, green, blue).
    auto add = [&](uint64_t weight) {
        for (size_t i = 0; i < sums.size(); ++i)
            sums[i] += line[i] * weight;
    };
    // The rows summed so far, at their whole weight, into the target row's sums.
    auto addSummed = [&] {
        if (!summed)
            return;
        auto channels = [&](int x, uint64_t* v) {
            const uint32_t a = ag[static_cast<size_t>(x)], b = rb[static_cast<size_t>(x)];
            v[0] = a >> 16, v[1] = b >> 16, v[2] = a & 0xFFFF, v[3] = b & 0xFFFF;
        };
        uint64_t* o = line.data();
        for (const Span& c : columns) {
            uint64_t mid[4] = {0, 0, 0, 0}, v[4], h[4], t[4];
            for (int x = c.first + 1; x < c.last; ++x) {
                channels(x, v);
                for (int ch = 0; ch < 4; ++ch)
                    mid[ch] += v[ch];
            }
            channels(c.first, h);
            channels(c.last, t);
            const bool one = c.first == c.last;
            for (int ch = 0; ch < 4; ++ch)
                *o++ = one ? h[ch] * c.headWeight : 256u * mid[ch] + h[ch] * c.headWeight + t[ch] * c.tailWeight;
        }
        add(256u);
        std::fill(ag.begin(), ag.end(), 0u);
        std::fill(rb.begin(), rb.end(), 0u);
        summed = 0;
    };
    // A row the target row covers in part, at its weight.
    auto addRow = [&](int y, uint64_t weight) {
        const uint32_t* row = src.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(sw);
        uint64_t* o = line.data();
        for (const Span& c : columns) {
            uint32_t mid[4] = {0, 0, 0, 0};
            if (c.last - c.first - 1 <= 257) {
                // Two channels a word, in 16-bit lanes that 257 pixels cannot overflow.
                uint32_t pag = 0, prb = 0;
                for (int x = c.first + 1; x < c.last; ++x) {
                    pag += (row[x] >> 8) & 0x00FF00FFu;
                    prb += row[x] & 0x00FF00FFu;
                }
                mid[0] = pag >> 16, mid[1] = prb >> 16, mid[2] = pag & 0xFFFF, mid[3] = prb & 0xFFFF;
            } else {
                for (int x = c.first + 1; x < c.last; ++x) {
                    const uint32_t p = row[x];
                    mid[0] += p >> 24, mid[1] += (p >> 16) & 0xFF, mid[2] += (p >> 8) & 0xFF, mid[3] += p & 0xFF;
                }
            }
            const uint32_t head = row[c.first], tail = row[c.last];
            const bool one = c.first == c.last;
            for (int ch = 0; ch < 4; ++ch) {
                const int shift = 24 - 8 * ch;
                const uint64_t h = (head >> shift) & 0xFF, t = (tail >> shift) & 0xFF;
                *o++ = one ? h * c.headWeight : 256u * static_cast<uint64_t>(mid[ch]) + h * c.headWeight + t * c.tailWeight;
            }
        }
        add(weight);
    };
    uint32_t* dst = out->Pixels()->Pixels();
    for (int oy = 0; oy < height; ++oy) {
        const Span& r = rows[static_cast<size_t>(oy)];
        std::fill(sums.begin(), sums.end(), 0u);
        addRow(r.first, r.headWeight);
        for (int y = r.first + 1; y < r.last; ++y) {
            const uint32_t* row = src.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(sw);
            uint32_t* a = ag.data();
            uint32_t* b = rb.data();
            for (int x = 0; x < sw; ++x) {
                a[x] += (row[x] >> 8) & 0x00FF00FFu;
                b[x] += row[x] & 0x00FF00FFu;
            }
            if (++summed == 257)
                addSummed();
        }
        addSummed();
        if (r.last != r.first)
            addRow(r.last, r.tailWeight);
        for (int ox = 0; ox < width; ++ox, ++dst) {
            const uint64_t n = columns[static_cast<size_t>(ox)].total * r.total;
            const uint64_t* v = sums.data() + static_cast<size_t>(ox) * 4;
            auto mean = [n](uint64_t x) { return static_cast<uint32_t>(std::min<uint64_t>(255, (x + n / 2) / n)); };
            *dst = mean(v[0]) << 24 | mean(v[1]) << 16 | mean(v[2]) << 8 | mean(v[3]);
        }
    }
    return out;
}

}  // namespace

Image* Image::GetThumbnailImage(UINT width, UINT height, GetThumbnailImageAbort, VOID*)
{
    if (!m_pixels || width == 0 || height == 0 || width > 16384 || height > 16384) {
        SetStatus(InvalidParameter);
        return nullptr;
    }
    {
        // A reduction to half or less is the mean of the area each pixel covers, which the
        // high-quality filter also converges to, made directly at a fraction of its cost.
        std::lock_guard lock(m_pixels->Mutex());
        if (static_cast<UINT>(m_pixels->Width()) >= 2 * width && static_cast<UINT>(m_pixels->Height()) >= 2 * height)
            if (std::unique_ptr<Bitmap> thumb = AreaMean(*m_pixels, static_cast<int>(width), static_cast<int>(height)))
                return thumb.release();
    }
    auto* thumb = new Bitmap(static_cast<INT>(width), static_cast<INT>(height), PixelFormat32bppPARGB);
    {
        Graphics g(thumb);
        g.SetInterpolationMode(InterpolationModeHighQualityBilinear);
        g.DrawImage(this, RectF(0, 0, REAL(width), REAL(height)));
    }
    thumb->m_rawFormat = ImageFormatMemoryBMP;
    return thumb;
}

Status Image::Save(const WCHAR* filename, const CLSID* encoder, const EncoderParameters* params)
{
    if (!filename || !encoder)
        return SetStatus(InvalidParameter);
    if (!m_pixels)
        return SetStatus(WrongState);
    std::string bytes;
    bool ok;
    const uint32_t* px = m_pixels->Pixels();
    int w = m_pixels->Width(), h = m_pixels->Height();
    if (*encoder == quiva::kBmpEncoder) {
        ok = quiva::EncodeBmp(px, w, h, bytes);
    } else if (*encoder == quiva::kPngEncoder) {
        ok = quiva::EncodePng(px, w, h, bytes);
    } else if (*encoder == quiva::kJpegEncoder) {
        long quality = 75;
        if (params) {
            for (UINT i = 0; i < params->Count; ++i) {
                const EncoderParameter& p = params->Parameter[i];
                if (p.Guid == EncoderQuality) {
                    if (p.Type != EncoderParameterValueTypeLong || p.NumberOfValues != 1 || !p.Value)
                        return SetStatus(InvalidParameter);
                    quality = *static_cast<const ULONG*>(p.Value);
                    if (quality < 0 || quality > 100)
                        return SetStatus(InvalidParameter);
                }
            }
        }
        ok = quiva::EncodeJpeg(px, w, h, static_cast<int>(quality), bytes);
    } else {
        return SetStatus(FileNotFound);  // GDI+ reports an unknown encoder this way
    }
    if (!ok)
        return SetStatus(GenericError);
    // Written beside the target and renamed over it, so a failed save never leaves half a file.
    if (!quiva::WriteFileAtomically(filename, bytes))
        return SetStatus(Win32Error);
    return Ok;
}

Bitmap::Bitmap(INT width, INT height, PixelFormat format)
{
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > (int64_t{1} << 28)) {
        SetStatus(InvalidParameter);
        return;
    }
    m_pixels = std::make_unique<quiva::Surface>(width, height);
    std::fill_n(m_pixels->Pixels(), static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
    m_pixelFormat = format;
    m_rawFormat = ImageFormatMemoryBMP;
}

Bitmap::Bitmap(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0)
{
    if (!scan0 || width <= 0 || height <= 0 || format != PixelFormat32bppPARGB ||
        static_cast<int64_t>(stride) != int64_t{4} * width || !quiva::Surface::CanHave(width, height)) {
        SetStatus(InvalidParameter);
        return;
    }
    m_pixels = std::make_unique<quiva::Surface>(reinterpret_cast<uint32_t*>(scan0), width, height);
    m_pixelFormat = format;
    m_rawFormat = ImageFormatMemoryBMP;
}

Bitmap::Bitmap(const WCHAR* filename, BOOL)
{
    std::string bytes;
    if (!filename || !quiva::ReadFileBytes(filename, bytes)) {
        SetStatus(filename ? FileNotFound : InvalidParameter);
        return;
    }
    SetStatus(TakeDecoded(bytes));
}

Bitmap* Bitmap::FromFile(const WCHAR* filename, BOOL icm) { return new Bitmap(filename, icm); }

Bitmap* Bitmap::FromFileAtLeast(const WCHAR* filename, UINT width, UINT height, Size* fileSize)
{
    auto* b = new Bitmap();
    std::string bytes;
    if (!filename || !quiva::ReadFileBytes(filename, bytes)) {
        b->SetStatus(filename ? FileNotFound : InvalidParameter);
        return b;
    }
    const int w = static_cast<int>(std::min(width, 65535u)), h = static_cast<int>(std::min(height, 65535u));
    b->SetStatus(b->TakeDecoded(bytes, w, h, fileSize));
    return b;
}

Bitmap* Bitmap::FromMemory(const void* bytes, size_t length)
{
    auto* b = new Bitmap();
    if (!bytes) {
        b->SetStatus(InvalidParameter);
        return b;
    }
    std::string data(static_cast<const char*>(bytes), length);
    b->SetStatus(b->TakeDecoded(data));
    return b;
}

Bitmap::Bitmap(HBITMAP hbitmap, void*)
{
    auto* src = quiva::LookupGdi<quiva::GdiBitmap>(hbitmap);
    if (!src) {
        SetStatus(InvalidParameter);
        return;
    }
    std::lock_guard lock(src->pixels.Mutex());
    int w = src->pixels.Width(), h = src->pixels.Height();
    m_pixels = std::make_unique<quiva::Surface>(w, h);
    // A GDI bitmap has no alpha: its pixels come across opaque.
    for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); ++i)
        m_pixels->Pixels()[i] = src->pixels.Pixels()[i] | 0xFF000000u;
    m_pixelFormat = PixelFormat32bppRGB;
    m_rawFormat = ImageFormatMemoryBMP;
}

Bitmap* Bitmap::FromHBITMAP(HBITMAP hbitmap, void* palette) { return new Bitmap(hbitmap, palette); }

Bitmap::Bitmap(const BITMAPINFO* info, VOID* bits)
{
    if (!info || !bits || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
        SetStatus(InvalidParameter);
        return;
    }
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const int64_t rows = quiva::DibRows(h.biHeight);
    if (!quiva::ImageSizeOk(h.biWidth, rows)) {
        SetStatus(InvalidParameter);
        return;
    }
    const size_t stride = quiva::DibRowBytes(h.biWidth, h.biBitCount);
    const auto* src = static_cast<const uint8_t*>(bits);
    if (h.biCompression == BI_RGB && (h.biBitCount == 24 || h.biBitCount == 32)) {
        // The usual capture format: straight into the pixels, row order turned, opaque.
        const int w = h.biWidth, height = static_cast<int>(rows);
        m_pixels = std::make_unique<quiva::Surface>(w, height);
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = src + stride * static_cast<size_t>(h.biHeight > 0 ? height - 1 - y : y);
            uint32_t* out = m_pixels->Pixels() + static_cast<size_t>(y) * static_cast<size_t>(w);
            if (h.biBitCount == 32 && std::endian::native == std::endian::little) {
                // B, G, R, X in memory is the pixel word itself.
                std::memcpy(out, in, static_cast<size_t>(w) * 4);
                for (int x = 0; x < w; ++x)
                    out[x] |= 0xFF000000u;
            } else if (h.biBitCount == 32) {
                for (int x = 0; x < w; ++x, in += 4)
                    out[x] = 0xFF000000u | static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[0];
            } else {
                for (int x = 0; x < w; ++x, in += 3)
                    out[x] = 0xFF000000u | static_cast<uint32_t>(in[2]) << 16 | static_cast<uint32_t>(in[1]) << 8 | in[0];
            }
        }
        m_pixelFormat = h.biBitCount == 32 ? PixelFormat32bppRGB : PixelFormat24bppRGB;
        m_rawFormat = ImageFormatMemoryBMP;
        return;
    }
    // Any other layout is read as the BMP file it would make.
    if (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS) {
        SetStatus(InvalidParameter);
        return;
    }
    const size_t head = h.biSize + 4u * quiva::DibColorCount(h);
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = static_cast<DWORD>(sizeof fh + head);
    fh.bfSize = static_cast<DWORD>(sizeof fh + head + stride * static_cast<size_t>(rows));
    std::string file(reinterpret_cast<const char*>(&fh), sizeof fh);
    file.append(reinterpret_cast<const char*>(info), head);
    file.append(reinterpret_cast<const char*>(src), stride * static_cast<size_t>(rows));
    SetStatus(TakeDecoded(file));
    m_rawFormat = ImageFormatMemoryBMP;
}

Status Bitmap::GetPixel(INT x, INT y, Color* color) const
{
    if (!color || !m_pixels || x < 0 || y < 0 || x >= m_pixels->Width() || y >= m_pixels->Height())
        return SetStatus(InvalidParameter);
    uint32_t px = m_pixels->At(x, y);
    COLORREF c = quiva::ColorOfPixel(px);
    *color = Color(static_cast<BYTE>(px >> 24), GetRValue(c), GetGValue(c), GetBValue(c));
    return Ok;
}

Status Bitmap::SetPixel(INT x, INT y, const Color& color)
{
    if (!m_pixels || x < 0 || y < 0 || x >= m_pixels->Width() || y >= m_pixels->Height())
        return SetStatus(InvalidParameter);
    uint32_t a = color.GetA();
    auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
    m_pixels->Pixels()[static_cast<size_t>(y) * m_pixels->Width() + x] =
        (a << 24) | (pm(color.GetR()) << 16) | (pm(color.GetG()) << 8) | pm(color.GetB());
    return Ok;
}

Status Bitmap::GetHBITMAP(const Color& background, HBITMAP* out) const
{
    if (!out || !m_pixels)
        return SetStatus(InvalidParameter);
    HBITMAP h = CreateCompatibleBitmap(nullptr, m_pixels->Width(), m_pixels->Height());
    auto* dst = quiva::LookupGdi<quiva::GdiBitmap>(h);
    if (!dst)
        return SetStatus(OutOfMemory);
    // Composited over the background, since a GDI bitmap is opaque.
    uint32_t bg = quiva::PixelOf(background.ToCOLORREF());
    for (size_t i = 0; i < static_cast<size_t>(m_pixels->Width()) * static_cast<size_t>(m_pixels->Height()); ++i) {
        uint32_t s = m_pixels->Pixels()[i];
        uint32_t inv = 255 - (s >> 24);
        auto ch = [&](int shift) { return (((s >> shift) & 0xFF) + (((bg >> shift) & 0xFF) * inv + 127) / 255) << shift; };
        dst->pixels.Pixels()[i] = 0xFF000000u | ch(16) | ch(8) | ch(0);
    }
    *out = h;
    return Ok;
}

Status Bitmap::LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* data)
{
    if (!data || !m_pixels || (flags & (ImageLockModeWrite | ImageLockModeUserInputBuf)))
        return SetStatus(InvalidParameter);
    if (m_locked)
        return SetStatus(WrongState);
    const int w = m_pixels->Width(), h = m_pixels->Height();
    Rect r = rect ? *rect : Rect(0, 0, w, h);
    if (r.X < 0 || r.Y < 0 || r.Width <= 0 || r.Height <= 0 || r.Width > w - r.X || r.Height > h - r.Y)
        return SetStatus(InvalidParameter);
    const size_t bits = GetPixelFormatSize(format);
    if (format == m_pixelFormat && !m_sourceRows.empty()) {
        // The file's own rows; a rectangle must start on a whole byte.
        if ((static_cast<size_t>(r.X) * bits) % 8)
            return SetStatus(InvalidParameter);
        data->Scan0 = m_sourceRows.data() + static_cast<size_t>(r.Y) * m_sourceStride + static_cast<size_t>(r.X) * bits / 8;
        data->Stride = static_cast<INT>(m_sourceStride);
    } else if (format == PixelFormat24bppRGB || format == PixelFormat32bppARGB || format == PixelFormat32bppRGB) {
        const size_t bytesPerPixel = bits / 8;
        const size_t stride = (static_cast<size_t>(r.Width) * bytesPerPixel + 3) & ~size_t{3};
        m_lockBuffer.assign(stride * static_cast<size_t>(r.Height), 0);
        for (int y = 0; y < r.Height; ++y) {
            BYTE* out = m_lockBuffer.data() + static_cast<size_t>(y) * stride;
            for (int x = 0; x < r.Width; ++x, out += bytesPerPixel) {
                const uint32_t px = m_pixels->At(r.X + x, r.Y + y);
                const uint32_t a = px >> 24;
                auto channel = [&](int shift) {
                    uint32_t c = (px >> shift) & 0xFF;
                    return static_cast<BYTE>(a == 0 ? 0 : a == 255 ? c : std::min<uint32_t>(255, (c * 255 + a / 2) / a));
                };
                out[0] = channel(0);
                out[1] = channel(8);
                out[2] = channel(16);
                if (bytesPerPixel == 4)
                    out[3] = format == PixelFormat32bppRGB ? 0xFF : static_cast<BYTE>(a);
            }
        }
        data->Scan0 = m_lockBuffer.data();
        data->Stride = static_cast<INT>(stride);
    } else {
        return SetStatus(InvalidParameter);
    }
    data->Width = static_cast<UINT>(r.Width);
    data->Height = static_cast<UINT>(r.Height);
    data->PixelFormat = format;
    data->Reserved = 0;
    m_locked = true;
    return Ok;
}

Status Bitmap::UnlockBits(BitmapData* data)
{
    if (!data || !m_locked)
        return SetStatus(WrongState);
    m_locked = false;
    m_lockBuffer.clear();
    m_lockBuffer.shrink_to_fit();
    return Ok;
}

// Graphics

Graphics::Graphics(HDC hdc) : m_target(std::make_unique<quiva::GraphicsTarget>())
{
    if (!quiva::LookupDC(hdc)) {
        SetStatus(InvalidParameter);
        return;
    }
    m_target->hdc = hdc;
}

Graphics::Graphics(HWND, BOOL) : m_target(std::make_unique<quiva::GraphicsTarget>()) {}

Graphics::Graphics(Image* image) : m_target(std::make_unique<quiva::GraphicsTarget>())
{
    if (!image || !image->Pixels()) {
        SetStatus(InvalidParameter);
        return;
    }
    m_target->image = image;
}

Graphics::~Graphics() = default;

Status Graphics::SetSmoothingMode(SmoothingMode m)
{
    if (m < SmoothingModeDefault || m > SmoothingModeAntiAlias8x8)
        return SetStatus(InvalidParameter);
    m_smoothing = m;
    return Ok;
}

Status Graphics::SetInterpolationMode(InterpolationMode m)
{
    if (m < InterpolationModeDefault || m > InterpolationModeHighQualityBicubic)
        return SetStatus(InvalidParameter);
    m_interpolation = m;
    return Ok;
}

Status Graphics::SetTextRenderingHint(TextRenderingHint h)
{
    if (h < TextRenderingHintSystemDefault || h > TextRenderingHintClearTypeGridFit)
        return SetStatus(InvalidParameter);
    m_textHint = h;
    return Ok;
}


// Opens the target for one drawing call with the transform, the clip and, for shapes, the
// anti-aliasing and the half-pixel shift that puts integer coordinates on pixel centres.
#define QUIVA_BEGIN(shape)                                             \
    quiva::GraphicsTarget::Open open = m_target->Begin();              \
    cairo_t* cr = open.cr();                                           \
    if (!cr)                                                           \
        return Ok;                                                     \
    cairo_translate(cr, m_dx, m_dy);                                   \
    if (m_hasClip) {                                                   \
        cairo_rectangle(cr, m_clip.X, m_clip.Y, m_clip.Width, m_clip.Height); \
        cairo_clip(cr);                                                \
    }                                                                  \
    if (shape) {                                                       \
        cairo_translate(cr, 0.5, 0.5);                                 \
        bool smooth = m_smoothing == SmoothingModeAntiAlias || m_smoothing == SmoothingModeHighQuality || \
                      m_smoothing == SmoothingModeAntiAlias8x8;        \
        cairo_set_antialias(cr, smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE); \
    }

namespace {

void ApplyPen(cairo_t* cr, const Pen* pen)
{
    Color c;
    pen->GetColor(&c);
    quiva::SetSource(cr, c.GetValue());
    cairo_set_line_width(cr, std::max(pen->GetWidth(), 1.0f / 64));
    cairo_set_line_cap(cr, pen->GetStartCap() == LineCapRound    ? CAIRO_LINE_CAP_ROUND
                           : pen->GetStartCap() == LineCapSquare ? CAIRO_LINE_CAP_SQUARE
                                                                 : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
    if (pen->GetDashStyle() != DashStyleSolid) {
        double w = std::max(1.0f, pen->GetWidth());
        double dash[] = {pen->GetDashStyle() == DashStyleDot ? w : 3 * w, w};
        cairo_set_dash(cr, dash, 2, 0);
    }
}

void TracePath(cairo_t* cr, const GraphicsPath* path)
{
    for (const GraphicsPath::Step& s : path->Steps()) {
        switch (s.op) {
        case GraphicsPath::Op::Move: cairo_move_to(cr, s.p[0].X, s.p[0].Y); break;
        case GraphicsPath::Op::Line: cairo_line_to(cr, s.p[0].X, s.p[0].Y); break;
        case GraphicsPath::Op::Curve:
            cairo_curve_to(cr, s.p[0].X, s.p[0].Y, s.p[1].X, s.p[1].Y, s.p[2].X, s.p[2].Y);
            break;
        case GraphicsPath::Op::Close: cairo_close_path(cr); break;
        }
    }
}

void Ellipse(cairo_t* cr, const RectF& r)
{
    cairo_save(cr);
    cairo_translate(cr, r.X + r.Width / 2.0, r.Y + r.Height / 2.0);
    cairo_scale(cr, r.Width / 2.0, r.Height / 2.0);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_restore(cr);
}

}  // namespace

Status Graphics::Clear(const Color& color)
{
    QUIVA_BEGIN(false)
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    quiva::SetSource(cr, color.GetValue());
    cairo_paint(cr);
    return Ok;
}

Status Graphics::FillRectangle(const Brush* brush, const RectF& r)
{
    if (!brush)
        return SetStatus(InvalidParameter);
    QUIVA_BEGIN(true)
    quiva::SetSource(cr, brush->PaintColor());
    // Fills cover pixel areas, not centres: undo the half-pixel shift.
    cairo_rectangle(cr, r.X - 0.5, r.Y - 0.5, r.Width, r.Height);
    cairo_fill(cr);
    return Ok;
}
Status Graphics::FillRectangle(const Brush* b, REAL x, REAL y, REAL w, REAL h) { return FillRectangle(b, RectF(x, y, w, h)); }
Status Graphics::FillRectangle(const Brush* b, const Rect& r) { return FillRectangle(b, RectF(r)); }
Status Graphics::FillRectangle(const Brush* b, INT x, INT y, INT w, INT h) { return FillRectangle(b, RectF(REAL(x), REAL(y), REAL(w), REAL(h))); }

Status Graphics::DrawRectangle(const Pen* pen, const RectF& r)
{
    if (!pen)
        return SetStatus(InvalidParameter);
    QUIVA_BEGIN(true)
    ApplyPen(cr, pen);
    cairo_rectangle(cr, r.X, r.Y, r.Width, r.Height);
    cairo_stroke(cr);
    return Ok;
}
Status Graphics::DrawRectangle(const Pen* p, REAL x, REAL y, REAL w, REAL h) { return DrawRectangle(p, RectF(x, y, w, h)); }
Status Graphics::DrawRectangle(const Pen* p, const Rect& r) { return DrawRectangle(p, RectF(r)); }
Status Graphics::DrawRectangle(const Pen* p, INT x, INT y, INT w, INT h) { return DrawRectangle(p, RectF(REAL(x), REAL(y), REAL(w), REAL(h))); }

Status Graphics::DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2)
{
    if (!pen)
        return SetStatus(InvalidParameter);
    QUIVA_BEGIN(true)
    ApplyPen(cr, pen);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
    return Ok;
}
Status Graphics::DrawLine(const Pen* p, const PointF& a, const PointF& b) { return DrawLine(p, a.X, a.Y, b.X, b.Y); }
Status Graphics::DrawLine(const Pen* p, INT x1, INT y1, INT x2, INT y2) { return DrawLine(p, REAL(x1), REAL(y1), REAL(x2), REAL(y2)); }

Status Graphics::FillEllipse(const Brush* brush, const RectF& r)
{
    if (!brush)
        return SetStatus(InvalidParameter);
    if (r.Width <= 0 || r.Height <= 0)
        return Ok;
    QUIVA_BEGIN(true)
    quiva::SetSource(cr, brush->PaintColor());
    Ellipse(cr, RectF(r.X - 0.5f, r.Y - 0.5f, r.Width, r.Height));
    cairo_fill(cr);
    return Ok;
}
Status Graphics::FillEllipse(const Brush* b, REAL x, REAL y, REAL w, REAL h) { return FillEllipse(b, RectF(x, y, w, h)); }

Status Graphics::DrawEllipse(const Pen* pen, const RectF& r)
{
    if (!pen)
        return SetStatus(InvalidParameter);
    if (r.Width <= 0 || r.Height <= 0)
        return Ok;
    QUIVA_BEGIN(true)
    ApplyPen(cr, pen);
    Ellipse(cr, r);
    cairo_stroke(cr);
    return Ok;
}
Status Graphics::DrawEllipse(const Pen* p, REAL x, REAL y, REAL w, REAL h) { return DrawEllipse(p, RectF(x, y, w, h)); }

Status Graphics::FillPath(const Brush* brush, const GraphicsPath* path)
{
    if (!brush || !path)
        return SetStatus(InvalidParameter);
    QUIVA_BEGIN(true)
    cairo_translate(cr, -0.5, -0.5);
    quiva::SetSource(cr, brush->PaintColor());
    cairo_set_fill_rule(cr, path->GetFillMode() == FillModeWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    TracePath(cr, path);
    cairo_fill(cr);
    return Ok;
}

Status Graphics::DrawPath(const Pen* pen, const GraphicsPath* path)
{
    if (!pen || !path)
        return SetStatus(InvalidParameter);
    QUIVA_BEGIN(true)
    ApplyPen(cr, pen);
    TracePath(cr, path);
    cairo_stroke(cr);
    return Ok;
}

Status Graphics::FillPolygon(const Brush* brush, const PointF* points, INT count)
{
    if (!brush || !points || count < 3)
        return SetStatus(InvalidParameter);
    GraphicsPath path;
    for (INT i = 0; i + 1 < count; ++i)
        path.AddLine(points[i], points[i + 1]);
    path.CloseFigure();
    return FillPath(brush, &path);
}

Status Graphics::DrawImage(Image* image, const RectF& dest, REAL sx, REAL sy, REAL sw, REAL sh, Unit unit)
{
    if (!image || !image->Pixels() || unit != UnitPixel || sw <= 0 || sh <= 0)
        return SetStatus(InvalidParameter);
    if (dest.Width == 0 || dest.Height == 0)
        return Ok;
    QUIVA_BEGIN(false)
    quiva::Surface* src = image->Pixels();
    // Drawing an image into itself would read pixels while they are written.
    if (m_target->image == image)
        return SetStatus(InvalidParameter);
    std::lock_guard srcLock(src->Mutex());
    cairo_surface_t* s = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(src->Pixels()),
                                                             CAIRO_FORMAT_ARGB32, src->Width(), src->Height(),
                                                             src->Stride());
    cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
    cairo_matrix_t m;
    cairo_matrix_init_translate(&m, sx, sy);
    cairo_matrix_scale(&m, sw / dest.Width, sh / dest.Height);
    cairo_matrix_translate(&m, -dest.X, -dest.Y);
    cairo_pattern_set_matrix(pat, &m);
    cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
    cairo_filter_t filter = CAIRO_FILTER_GOOD;
    switch (m_interpolation) {
    case InterpolationModeNearestNeighbor: filter = CAIRO_FILTER_NEAREST; break;
    // Bilinear with a box prefilter: a large reduction without aliasing, at a fraction of the cost.
    case InterpolationModeHighQualityBilinear: filter = CAIRO_FILTER_GOOD; break;
    case InterpolationModeHighQuality:
    case InterpolationModeHighQualityBicubic:
    case InterpolationModeBicubic: filter = CAIRO_FILTER_BEST; break;
    default: filter = CAIRO_FILTER_BILINEAR; break;
    }
    cairo_pattern_set_filter(pat, filter);
    cairo_set_source(cr, pat);
    cairo_rectangle(cr, dest.X, dest.Y, dest.Width, dest.Height);
    cairo_fill(cr);
    cairo_pattern_destroy(pat);
    cairo_surface_destroy(s);
    return Ok;
}

Status Graphics::DrawImage(Image* image, const RectF& dest)
{
    if (!image || !image->Pixels())
        return SetStatus(InvalidParameter);
    return DrawImage(image, dest, 0, 0, REAL(image->GetWidth()), REAL(image->GetHeight()), UnitPixel);
}
Status Graphics::DrawImage(Image* i, REAL x, REAL y, REAL w, REAL h) { return DrawImage(i, RectF(x, y, w, h)); }
Status Graphics::DrawImage(Image* i, const Rect& r) { return DrawImage(i, RectF(r)); }
Status Graphics::DrawImage(Image* i, INT x, INT y, INT w, INT h) { return DrawImage(i, RectF(REAL(x), REAL(y), REAL(w), REAL(h))); }
Status Graphics::DrawImage(Image* i, REAL x, REAL y)
{
    if (!i)
        return SetStatus(InvalidParameter);
    return DrawImage(i, RectF(x, y, REAL(i->GetWidth()), REAL(i->GetHeight())));
}
Status Graphics::DrawImage(Image* i, INT x, INT y) { return DrawImage(i, REAL(x), REAL(y)); }

Status Graphics::DrawString(const WCHAR* string, INT length, const Font* font, const RectF& layout,
                            const StringFormat* format, const Brush* brush)
{
    if (!string || !font || !brush || !font->IsAvailable())
        return SetStatus(InvalidParameter);
    QUIVA_BEGIN(false)
    quiva::DrawText(cr, quiva::StringArg(string, length), quiva::TextFontOf(font),
                    quiva::TextBox{layout.X, layout.Y, layout.Width, layout.Height}, quiva::TextFormatOf(format),
                    brush->PaintColor());
    return Ok;
}

Status Graphics::DrawString(const WCHAR* s, INT n, const Font* f, const PointF& o, const StringFormat* fmt, const Brush* b)
{
    return DrawString(s, n, f, RectF(o.X, o.Y, 0, 0), fmt, b);
}

Status Graphics::DrawString(const WCHAR* s, INT n, const Font* f, const PointF& o, const Brush* b)
{
    return DrawString(s, n, f, RectF(o.X, o.Y, 0, 0), nullptr, b);
}

Status Graphics::MeasureString(const WCHAR* string, INT length, const Font* font, const RectF& layout,
                               const StringFormat* format, RectF* box, INT* fitted, INT* lines) const
{
    if (!string || !font || !box || !font->IsAvailable())
        return SetStatus(InvalidParameter);
    std::wstring s = quiva::StringArg(string, length);
    quiva::TextBox m = quiva::MeasureText(s, quiva::TextFontOf(font),
                                          quiva::TextBox{layout.X, layout.Y, layout.Width, layout.Height},
                                          quiva::TextFormatOf(format));
    *box = RectF(REAL(m.x), REAL(m.y), REAL(m.width), REAL(m.height));
    if (fitted)
        *fitted = static_cast<INT>(s.size());
    if (lines) {
        double lineHeight = font->GetHeight(96.0f);
        *lines = s.empty() ? 0 : std::max(1, static_cast<INT>(std::lround(m.height / std::max(1.0, lineHeight))));
    }
    return Ok;
}

Status Graphics::MeasureString(const WCHAR* s, INT n, const Font* f, const PointF& o, const StringFormat* fmt, RectF* box) const
{
    return MeasureString(s, n, f, RectF(o.X, o.Y, 0, 0), fmt, box);
}

Status Graphics::MeasureString(const WCHAR* s, INT n, const Font* f, const PointF& o, RectF* box) const
{
    return MeasureString(s, n, f, RectF(o.X, o.Y, 0, 0), nullptr, box);
}

Status Graphics::MeasureString(const WCHAR* s, INT n, const Font* f, const RectF& r, RectF* box) const
{
    return MeasureString(s, n, f, r, nullptr, box);
}

Status Graphics::MeasureCharacterRanges(const WCHAR* string, INT length, const Font* font, const RectF& layout,
                                        const StringFormat* format, INT regionCount, Region* regions) const
{
    if (!string || !font || !format || !regions || !font->IsAvailable() ||
        regionCount < format->GetMeasurableCharacterRangeCount())
        return SetStatus(InvalidParameter);
    std::wstring s = quiva::StringArg(string, length);
    quiva::TextBox box{layout.X, layout.Y, layout.Width, layout.Height};
    for (INT i = 0; i < format->GetMeasurableCharacterRangeCount(); ++i) {
        const CharacterRange& r = format->Ranges()[static_cast<size_t>(i)];
        if (r.First < 0 || r.Length < 0 || r.First + r.Length > static_cast<INT>(s.size()))
            return SetStatus(InvalidParameter);
        regions[i].MakeEmpty();
        for (const quiva::TextBox& b :
             quiva::CharacterBoxes(s, quiva::TextFontOf(font), box, quiva::TextFormatOf(format), r.First, r.Length))
            regions[i].Union(RectF(REAL(b.x), REAL(b.y), REAL(b.width), REAL(b.height)));
    }
    return Ok;
}

Status Graphics::SetClip(const RectF& rect)
{
    m_hasClip = true;
    m_clip = rect;
    return Ok;
}

Status Graphics::GetClip(Region* region) const
{
    if (!region)
        return SetStatus(InvalidParameter);
    if (!m_hasClip)
        return region->MakeInfinite();
    *region = Region(m_clip);
    return Ok;
}

Status Graphics::SetClip(const Region* region)
{
    if (!region)
        return SetStatus(InvalidParameter);
    if (region->IsInfinite(this))
        return ResetClip();
    RectF bounds;
    region->GetBounds(&bounds, this);
    return SetClip(bounds);
}

Status Graphics::IntersectClip(const RectF& rect)
{
    if (!m_hasClip)
        return SetClip(rect);
    RectF::Intersect(m_clip, m_clip, rect);
    return Ok;
}

Status Graphics::ResetClip()
{
    m_hasClip = false;
    return Ok;
}

Status Graphics::TranslateTransform(REAL dx, REAL dy)
{
    m_dx += dx;
    m_dy += dy;
    return Ok;
}

Status Graphics::ResetTransform()
{
    m_dx = m_dy = 0;
    return Ok;
}

Status Graphics::Flush(int) { return Ok; }

HDC Graphics::GetHDC() { return m_target->hdc; }
void Graphics::ReleaseHDC(HDC) {}

}  // namespace Gdiplus
