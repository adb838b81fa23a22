// GDI+: graphics, brushes, pens, fonts, string formats, paths and images, with the class, enum
// and status names and values the system's drawing code uses. Coordinates are floats in pixels;
// as in GDI+, pixel centres sit on integer coordinates.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/gdi.h"

namespace quiva {
class Surface;
struct GraphicsTarget;
struct DecodedImage;
}  // namespace quiva
struct BITMAPINFO;

namespace Gdiplus {

typedef float REAL;
typedef DWORD ARGB;
typedef DWORD PixelFormat;
typedef WORD LANGID;

enum Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
};

enum Unit { UnitWorld = 0, UnitDisplay = 1, UnitPixel = 2, UnitPoint = 3, UnitInch = 4, UnitDocument = 5, UnitMillimeter = 6 };

enum FontStyle {
    FontStyleRegular = 0,
    FontStyleBold = 1,
    FontStyleItalic = 2,
    FontStyleBoldItalic = 3,
    FontStyleUnderline = 4,
    FontStyleStrikeout = 8,
};

enum SmoothingMode {
    SmoothingModeInvalid = -1,
    SmoothingModeDefault = 0,
    SmoothingModeHighSpeed = 1,
    SmoothingModeHighQuality = 2,
    SmoothingModeNone = 3,
    SmoothingModeAntiAlias = 4,
    SmoothingModeAntiAlias8x4 = 4,
    SmoothingModeAntiAlias8x8 = 5,
};

enum InterpolationMode {
    InterpolationModeInvalid = -1,
    InterpolationModeDefault = 0,
    InterpolationModeLowQuality = 1,
    InterpolationModeHighQuality = 2,
    InterpolationModeBilinear = 3,
    InterpolationModeBicubic = 4,
    InterpolationModeNearestNeighbor = 5,
    InterpolationModeHighQualityBilinear = 6,
    InterpolationModeHighQualityBicubic = 7,
};

enum TextRenderingHint {
    TextRenderingHintSystemDefault = 0,
    TextRenderingHintSingleBitPerPixelGridFit = 1,
    TextRenderingHintSingleBitPerPixel = 2,
    TextRenderingHintAntiAliasGridFit = 3,
    TextRenderingHintAntiAlias = 4,
    TextRenderingHintClearTypeGridFit = 5,
};

enum StringAlignment { StringAlignmentNear = 0, StringAlignmentCenter = 1, StringAlignmentFar = 2 };

enum StringTrimming {
    StringTrimmingNone = 0,
    StringTrimmingCharacter = 1,
    StringTrimmingWord = 2,
    StringTrimmingEllipsisCharacter = 3,
    StringTrimmingEllipsisWord = 4,
    StringTrimmingEllipsisPath = 5,
};

enum StringFormatFlags {
    StringFormatFlagsDirectionRightToLeft = 0x0001,
    StringFormatFlagsDirectionVertical = 0x0002,
    StringFormatFlagsNoFitBlackBox = 0x0004,
    StringFormatFlagsDisplayFormatControl = 0x0020,
    StringFormatFlagsNoFontFallback = 0x0400,
    StringFormatFlagsMeasureTrailingSpaces = 0x0800,
    StringFormatFlagsNoWrap = 0x1000,
    StringFormatFlagsLineLimit = 0x2000,
    StringFormatFlagsNoClip = 0x4000,
};

enum LineCap { LineCapFlat = 0, LineCapSquare = 1, LineCapRound = 2, LineCapTriangle = 3 };
enum DashStyle { DashStyleSolid = 0, DashStyleDash = 1, DashStyleDot = 2, DashStyleDashDot = 3 };
enum FillMode { FillModeAlternate = 0, FillModeWinding = 1 };

// Pixel formats (the values GDI+ reports): bits per pixel in bits 8-15, indexed in bit 16.
constexpr PixelFormat PixelFormat1bppIndexed = 0x00030101;
constexpr PixelFormat PixelFormat4bppIndexed = 0x00030402;
constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr PixelFormat PixelFormat16bppRGB555 = 0x00021005;
constexpr PixelFormat PixelFormat16bppRGB565 = 0x00021006;
constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;
constexpr PixelFormat PixelFormat32bppPARGB = 0x000E200B;

inline UINT GetPixelFormatSize(PixelFormat format) { return (format >> 8) & 0xFF; }
inline BOOL IsIndexedPixelFormat(PixelFormat format) { return (format & 0x00010000) != 0; }

enum ImageLockMode { ImageLockModeRead = 1, ImageLockModeWrite = 2, ImageLockModeUserInputBuf = 4 };
enum PaletteFlags { PaletteFlagsHasAlpha = 1, PaletteFlagsGrayScale = 2, PaletteFlagsHalftone = 4 };

// Rows of a locked bitmap: Scan0 is the top row, Stride the bytes from one row to the next.
struct BitmapData {
    UINT Width;
    UINT Height;
    INT Stride;
    ::Gdiplus::PixelFormat PixelFormat;
    VOID* Scan0;
    UINT_PTR Reserved;
};

// A palette as GDI+ hands it out: Count entries follow in the caller's block.
struct ColorPalette {
    UINT Flags;
    UINT Count;
    ARGB Entries[1];
};

enum EncoderParameterValueType { EncoderParameterValueTypeByte = 1, EncoderParameterValueTypeLong = 4 };

struct GdiplusStartupInput {
    UINT GdiplusVersion = 1;
    void* DebugEventCallback = nullptr;
    BOOL SuppressBackgroundThread = FALSE;
    BOOL SuppressExternalCodecs = FALSE;
};
struct GdiplusStartupOutput {
    void* NotificationHook = nullptr;
    void* NotificationUnhook = nullptr;
};
// The first start-up in a process begins loading the text engine's fonts on a thread of its own
// (the first text laid out waits for it, if it is still running); a shutdown waits for that
// thread to end.
Status GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
void GdiplusShutdown(ULONG_PTR token);

class Color {
public:
    Color() : m_argb(0xFF000000u) {}
    Color(BYTE r, BYTE g, BYTE b) : m_argb(MakeARGB(255, r, g, b)) {}
    Color(BYTE a, BYTE r, BYTE g, BYTE b) : m_argb(MakeARGB(a, r, g, b)) {}
    Color(ARGB argb) : m_argb(argb) {}
    ARGB GetValue() const { return m_argb; }
    void SetValue(ARGB argb) { m_argb = argb; }
    BYTE GetA() const { return static_cast<BYTE>(m_argb >> 24); }
    BYTE GetR() const { return static_cast<BYTE>(m_argb >> 16); }
    BYTE GetG() const { return static_cast<BYTE>(m_argb >> 8); }
    BYTE GetB() const { return static_cast<BYTE>(m_argb); }
    COLORREF ToCOLORREF() const { return RGB(GetR(), GetG(), GetB()); }
    static ARGB MakeARGB(BYTE a, BYTE r, BYTE g, BYTE b)
    {
        return (static_cast<ARGB>(a) << 24) | (static_cast<ARGB>(r) << 16) | (static_cast<ARGB>(g) << 8) | b;
    }

private:
    ARGB m_argb;
};

struct PointF {
    REAL X = 0, Y = 0;
    PointF() = default;
    PointF(REAL x, REAL y) : X(x), Y(y) {}
};
struct Point {
    INT X = 0, Y = 0;
    Point() = default;
    Point(INT x, INT y) : X(x), Y(y) {}
};
struct SizeF {
    REAL Width = 0, Height = 0;
    SizeF() = default;
    SizeF(REAL w, REAL h) : Width(w), Height(h) {}
};
struct Size {
    INT Width = 0, Height = 0;
    Size() = default;
    Size(INT w, INT h) : Width(w), Height(h) {}
};

struct RectF {
    REAL X = 0, Y = 0, Width = 0, Height = 0;
    RectF() = default;
    RectF(REAL x, REAL y, REAL w, REAL h) : X(x), Y(y), Width(w), Height(h) {}
    REAL GetLeft() const { return X; }
    REAL GetTop() const { return Y; }
    REAL GetRight() const { return X + Width; }
    REAL GetBottom() const { return Y + Height; }
    void GetBounds(RectF* r) const { *r = *this; }
    BOOL IsEmptyArea() const { return Width <= 1.1920929e-07f || Height <= 1.1920929e-07f; }
    BOOL Contains(REAL x, REAL y) const { return x >= X && x < X + Width && y >= Y && y < Y + Height; }
    BOOL Contains(const PointF& p) const { return Contains(p.X, p.Y); }
    void Inflate(REAL dx, REAL dy)
    {
        X -= dx, Y -= dy, Width += 2 * dx, Height += 2 * dy;
    }
    void Offset(REAL dx, REAL dy) { X += dx, Y += dy; }
    BOOL Equals(const RectF& r) const { return X == r.X && Y == r.Y && Width == r.Width && Height == r.Height; }
    RectF* Clone() const { return new RectF(*this); }
    static BOOL Intersect(RectF& out, const RectF& a, const RectF& b);
};

struct Rect {
    INT X = 0, Y = 0, Width = 0, Height = 0;
    Rect() = default;
    Rect(INT x, INT y, INT w, INT h) : X(x), Y(y), Width(w), Height(h) {}
    INT GetLeft() const { return X; }
    INT GetTop() const { return Y; }
    INT GetRight() const { return X + Width; }
    INT GetBottom() const { return Y + Height; }
    operator RectF() const { return RectF(REAL(X), REAL(Y), REAL(Width), REAL(Height)); }
};

struct CharacterRange {
    INT First = 0, Length = 0;
    CharacterRange() = default;
    CharacterRange(INT first, INT length) : First(first), Length(length) {}
};

class GdiplusBase {
public:
    Status GetLastStatus() const
    {
        Status s = m_lastStatus;
        m_lastStatus = Ok;
        return s;
    }

protected:
    Status SetStatus(Status s) const
    {
        if (s != Ok)
            m_lastStatus = s;
        return s;
    }
    mutable Status m_lastStatus = Ok;
};

class Brush : public GdiplusBase {
public:
    virtual ~Brush() = default;
    virtual Brush* Clone() const = 0;
    // The colour the brush paints with; every brush here is solid.
    virtual ARGB PaintColor() const = 0;
};

class SolidBrush : public Brush {
public:
    explicit SolidBrush(const Color& c) : m_color(c) {}
    Status GetColor(Color* c) const
    {
        if (!c)
            return SetStatus(InvalidParameter);
        *c = m_color;
        return Ok;
    }
    Status SetColor(const Color& c)
    {
        m_color = c;
        return Ok;
    }
    Brush* Clone() const override { return new SolidBrush(m_color); }
    ARGB PaintColor() const override { return m_color.GetValue(); }

private:
    Color m_color;
};

class Pen : public GdiplusBase {
public:
    Pen(const Color& c, REAL width = 1.0f) : m_color(c), m_width(width) {}
    Pen(const Brush* brush, REAL width = 1.0f) : m_color(brush ? brush->PaintColor() : 0xFF000000u), m_width(width) {}
    Status SetColor(const Color& c)
    {
        m_color = c;
        return Ok;
    }
    Status GetColor(Color* c) const
    {
        if (!c)
            return SetStatus(InvalidParameter);
        *c = m_color;
        return Ok;
    }
    Status SetWidth(REAL w)
    {
        m_width = w;
        return Ok;
    }
    REAL GetWidth() const { return m_width; }
    Status SetStartCap(LineCap c)
    {
        m_startCap = c;
        return Ok;
    }
    Status SetEndCap(LineCap c)
    {
        m_endCap = c;
        return Ok;
    }
    Status SetLineCap(LineCap start, LineCap end, int /*dashCap*/)
    {
        m_startCap = start;
        m_endCap = end;
        return Ok;
    }
    LineCap GetStartCap() const { return m_startCap; }
    LineCap GetEndCap() const { return m_endCap; }
    Status SetDashStyle(DashStyle d)
    {
        m_dash = d;
        return Ok;
    }
    DashStyle GetDashStyle() const { return m_dash; }
    Pen* Clone() const { return new Pen(*this); }

private:
    Color m_color;
    REAL m_width;
    LineCap m_startCap = LineCapFlat;
    LineCap m_endCap = LineCapFlat;
    DashStyle m_dash = DashStyleSolid;
};

class FontCollection;

class FontFamily : public GdiplusBase {
public:
    FontFamily();
    FontFamily(const WCHAR* name, const FontCollection* collection = nullptr);
    BOOL IsAvailable() const { return m_available; }
    Status GetFamilyName(WCHAR name[LF_FACESIZE], LANGID language = 0) const;
    FontFamily* Clone() const { return new FontFamily(*this); }
    static const FontFamily* GenericSansSerif();
    static const FontFamily* GenericSerif();
    static const FontFamily* GenericMonospace();
    const std::wstring& Name() const { return m_name; }

private:
    std::wstring m_name;
    bool m_available = false;
};

class Graphics;

class Font : public GdiplusBase {
public:
    Font(const FontFamily* family, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint);
    Font(const WCHAR* familyName, REAL emSize, INT style = FontStyleRegular, Unit unit = UnitPoint,
         const FontCollection* collection = nullptr);
    Font(HDC hdc, const LOGFONTW* logfont);
    Font(HDC hdc, HFONT hfont);
    explicit Font(HDC hdc);
    BOOL IsAvailable() const { return m_available; }
    REAL GetSize() const { return m_size; }
    INT GetStyle() const { return m_style; }
    Unit GetUnit() const { return m_unit; }
    Status GetFamily(FontFamily* family) const;
    // Line spacing in pixels at 96 dpi (the graphics argument is accepted for its shape).
    REAL GetHeight(const Graphics* graphics) const;
    REAL GetHeight(REAL dpi) const;
    Status GetLogFontW(const Graphics* graphics, LOGFONTW* logfont) const;
    Font* Clone() const { return new Font(*this); }
    // Em size in device pixels.
    REAL PixelSize() const;
    const std::wstring& FamilyName() const { return m_family; }

private:
    void InitFromLogFont(const LOGFONTW& lf);
    std::wstring m_family;
    REAL m_size = 0;
    INT m_style = 0;
    Unit m_unit = UnitPoint;
    bool m_available = false;
};

class StringFormat : public GdiplusBase {
public:
    StringFormat(INT formatFlags = 0, LANGID language = 0) : m_flags(formatFlags) { (void)language; }
    StringFormat(const StringFormat* format);
    Status SetAlignment(StringAlignment a)
    {
        m_align = a;
        return Ok;
    }
    StringAlignment GetAlignment() const { return m_align; }
    Status SetLineAlignment(StringAlignment a)
    {
        m_lineAlign = a;
        return Ok;
    }
    StringAlignment GetLineAlignment() const { return m_lineAlign; }
    Status SetTrimming(StringTrimming t)
    {
        m_trimming = t;
        return Ok;
    }
    StringTrimming GetTrimming() const { return m_trimming; }
    Status SetFormatFlags(INT flags)
    {
        m_flags = flags;
        return Ok;
    }
    INT GetFormatFlags() const { return m_flags; }
    // Tab stops as distances, each from the one before; the last distance repeats.
    Status SetTabStops(REAL firstTabOffset, INT count, const REAL* tabStops)
    {
        m_firstTabOffset = firstTabOffset;
        m_tabStops.assign(tabStops, tabStops + (count > 0 && tabStops ? count : 0));
        return Ok;
    }
    const std::vector<REAL>& TabStops() const { return m_tabStops; }
    REAL FirstTabOffset() const { return m_firstTabOffset; }
    Status SetMeasurableCharacterRanges(INT count, const CharacterRange* ranges);
    INT GetMeasurableCharacterRangeCount() const { return static_cast<INT>(m_ranges.size()); }
    const std::vector<CharacterRange>& Ranges() const { return m_ranges; }
    StringFormat* Clone() const { return new StringFormat(this); }
    static const StringFormat* GenericDefault();
    static const StringFormat* GenericTypographic();

private:
    INT m_flags = 0;
    StringAlignment m_align = StringAlignmentNear;
    StringAlignment m_lineAlign = StringAlignmentNear;
    StringTrimming m_trimming = StringTrimmingCharacter;
    std::vector<CharacterRange> m_ranges;
    REAL m_firstTabOffset = 0;
    std::vector<REAL> m_tabStops;
};

// A region is kept as the rectangles it was made of; what the system asks of one is its bounds.
class Region : public GdiplusBase {
public:
    Region() = default;
    explicit Region(const RectF& r) : m_rects{r} {}
    Status GetBounds(RectF* rect, const Graphics* graphics) const;
    Status MakeEmpty()
    {
        m_rects.clear();
        return Ok;
    }
    Status Union(const RectF& r)
    {
        m_rects.push_back(r);
        return Ok;
    }
    BOOL IsEmpty(const Graphics* graphics) const;
    // The region without bounds (what a graphics without a clip has).
    Status MakeInfinite()
    {
        m_rects.clear();
        m_infinite = true;
        return Ok;
    }
    BOOL IsInfinite(const Graphics* graphics) const
    {
        (void)graphics;
        return m_infinite;
    }

private:
    std::vector<RectF> m_rects;
    bool m_infinite = false;
};

class GraphicsPath : public GdiplusBase {
public:
    explicit GraphicsPath(FillMode mode = FillModeAlternate) : m_fillMode(mode) {}
    Status AddLine(REAL x1, REAL y1, REAL x2, REAL y2);
    Status AddLine(const PointF& a, const PointF& b) { return AddLine(a.X, a.Y, b.X, b.Y); }
    Status AddArc(REAL x, REAL y, REAL width, REAL height, REAL startAngle, REAL sweepAngle);
    Status AddArc(const RectF& r, REAL startAngle, REAL sweepAngle)
    {
        return AddArc(r.X, r.Y, r.Width, r.Height, startAngle, sweepAngle);
    }
    Status AddRectangle(const RectF& r);
    Status AddEllipse(REAL x, REAL y, REAL width, REAL height);
    Status AddEllipse(const RectF& r) { return AddEllipse(r.X, r.Y, r.Width, r.Height); }
    Status AddBezier(REAL x1, REAL y1, REAL x2, REAL y2, REAL x3, REAL y3, REAL x4, REAL y4);
    Status StartFigure();
    Status CloseFigure();
    Status Reset();
    Status GetBounds(RectF* bounds) const;
    FillMode GetFillMode() const { return m_fillMode; }
    Status SetFillMode(FillMode m)
    {
        m_fillMode = m;
        return Ok;
    }

    // The path as drawing steps: move, line, curve (three points), close.
    enum class Op { Move, Line, Curve, Close };
    struct Step {
        Op op;
        PointF p[3];
    };
    const std::vector<Step>& Steps() const { return m_steps; }

private:
    void LineOrMove(REAL x, REAL y);
    std::vector<Step> m_steps;
    bool m_figureOpen = false;
    FillMode m_fillMode;
};

struct EncoderParameter {
    GUID Guid;
    ULONG NumberOfValues;
    ULONG Type;
    VOID* Value;
};
struct EncoderParameters {
    UINT Count;
    EncoderParameter Parameter[1];
};

struct ImageCodecInfo {
    CLSID Clsid;
    GUID FormatID;
    const WCHAR* CodecName;
    const WCHAR* DllName;
    const WCHAR* FormatDescription;
    const WCHAR* FilenameExtension;
    const WCHAR* MimeType;
    DWORD Flags;
    DWORD Version;
    DWORD SigCount;
    DWORD SigSize;
    const BYTE* SigPattern;
    const BYTE* SigMask;
};

// The encoder parameter of JPEG quality, and the file formats.
extern const GUID EncoderQuality;
extern const GUID ImageFormatBMP;
extern const GUID ImageFormatJPEG;
extern const GUID ImageFormatPNG;
extern const GUID ImageFormatMemoryBMP;

Status GetImageEncodersSize(UINT* numEncoders, UINT* size);
Status GetImageEncoders(UINT numEncoders, UINT size, ImageCodecInfo* encoders);
Status GetImageDecodersSize(UINT* numDecoders, UINT* size);
Status GetImageDecoders(UINT numDecoders, UINT size, ImageCodecInfo* decoders);

typedef BOOL (*GetThumbnailImageAbort)(void* data);

class Image : public GdiplusBase {
public:
    virtual ~Image();
    static Image* FromFile(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    UINT GetWidth() const;
    UINT GetHeight() const;
    PixelFormat GetPixelFormat() const { return m_pixelFormat; }
    Status GetRawFormat(GUID* format) const;
    Image* GetThumbnailImage(UINT width, UINT height, GetThumbnailImageAbort callback = nullptr,
                             VOID* callbackData = nullptr);
    Status Save(const WCHAR* filename, const CLSID* clsidEncoder, const EncoderParameters* params = nullptr);
    Image* Clone() const;

    // The palette of an indexed image: its size in bytes for GetPalette, which copies the
    // entries the file has (none for other images).
    INT GetPaletteSize();
    Status GetPalette(ColorPalette* palette, INT size);

    // The pixels (premultiplied ARGB); null for an image that failed to load.
    quiva::Surface* Pixels() { return m_pixels.get(); }
    const quiva::Surface* Pixels() const { return m_pixels.get(); }

protected:
    Image();
    // Takes the pixels, format and (for a BMP) the file's rows and palette of a decoded file; a
    // JPEG is decoded at the smallest of its reduced sizes at least minWidth x minHeight, and
    // the file's own size given in `file` (when not null).
    Status TakeDecoded(const std::string& bytes, int minWidth = 0, int minHeight = 0, Size* file = nullptr);
    std::unique_ptr<quiva::Surface> m_pixels;
    PixelFormat m_pixelFormat = PixelFormat32bppARGB;
    GUID m_rawFormat{};
    bool m_grey = false;
    // A BMP file's own rows (top row first) and palette, for LockBits in the image's own format.
    std::vector<uint8_t> m_sourceRows;
    size_t m_sourceStride = 0;
    std::vector<ARGB> m_palette;
    std::vector<uint8_t> m_lockBuffer;
    bool m_locked = false;
    friend class Graphics;
    friend class Bitmap;
};

class Bitmap : public Image {
public:
    Bitmap(INT width, INT height, PixelFormat format = PixelFormat32bppARGB);
    Bitmap(const WCHAR* filename, BOOL useIcm = FALSE);
    // A copy of a GDI bitmap's pixels.
    Bitmap(HBITMAP hbitmap, void* palette);
    static Bitmap* FromFile(const WCHAR* filename, BOOL useIcm = FALSE);
    // A picture of the file at least width x height, as cheaply as the file allows: a JPEG is
    // decoded at the smallest of its reduced sizes (1/8 to 8/8 of its own) that is as large, any
    // other file at its own size. `fileSize` (when not null) gets the picture's own size.
    static Bitmap* FromFileAtLeast(const WCHAR* filename, UINT width, UINT height, Size* fileSize);
    static Bitmap* FromHBITMAP(HBITMAP hbitmap, void* palette);
    // A copy of a device-independent bitmap: its header (with the colour table or masks that
    // follow it) and its rows, bottom row first unless the height is negative.
    Bitmap(const BITMAPINFO* info, VOID* bits);
    // A bitmap over the caller's rows, which must outlive it: drawn from and into as they lie,
    // nothing copied. Only premultiplied 32-bit rows without gaps (stride = 4 * width) are taken.
    Bitmap(INT width, INT height, INT stride, PixelFormat format, BYTE* scan0);
    static Bitmap* FromBITMAPINFO(const BITMAPINFO* info, VOID* bits) { return new Bitmap(info, bits); }
    // Decodes an image file held in memory (the same formats as files).
    static Bitmap* FromMemory(const void* bytes, size_t length);
    Status GetPixel(INT x, INT y, Color* color) const;
    Status SetPixel(INT x, INT y, const Color& color);
    Status GetHBITMAP(const Color& background, HBITMAP* out) const;
    // Read access to rows: in the image's own pixel format (a BMP's rows as the file has them,
    // palette indexes included) or converted to 24bppRGB or 32bppARGB (blue first, not
    // premultiplied). One lock at a time; writing is not offered.
    Status LockBits(const Rect* rect, UINT flags, PixelFormat format, BitmapData* data);
    Status UnlockBits(BitmapData* data);

private:
    Bitmap() = default;
    friend class Image;
};

class Graphics : public GdiplusBase {
public:
    explicit Graphics(HDC hdc);
    // Graphics of a window; the window system's surfaces are reached through device contexts, so
    // this one measures (at 96 dpi) and draws nothing. A null window means the screen.
    explicit Graphics(HWND hwnd, BOOL icm = FALSE);
    explicit Graphics(Image* image);
    ~Graphics();
    Graphics(const Graphics&) = delete;
    Graphics& operator=(const Graphics&) = delete;
    static Graphics* FromHDC(HDC hdc) { return new Graphics(hdc); }
    static Graphics* FromHWND(HWND hwnd, BOOL icm = FALSE) { return new Graphics(hwnd, icm); }
    static Graphics* FromImage(Image* image) { return new Graphics(image); }

    Status SetSmoothingMode(SmoothingMode m);
    SmoothingMode GetSmoothingMode() const { return m_smoothing; }
    Status SetInterpolationMode(InterpolationMode m);
    InterpolationMode GetInterpolationMode() const { return m_interpolation; }
    Status SetTextRenderingHint(TextRenderingHint h);
    TextRenderingHint GetTextRenderingHint() const { return m_textHint; }
    REAL GetDpiX() const { return 96.0f; }
    REAL GetDpiY() const { return 96.0f; }

    Status Clear(const Color& color);
    Status FillRectangle(const Brush* brush, const RectF& rect);
    Status FillRectangle(const Brush* brush, REAL x, REAL y, REAL width, REAL height);
    Status FillRectangle(const Brush* brush, const Rect& rect);
    Status FillRectangle(const Brush* brush, INT x, INT y, INT width, INT height);
    Status DrawRectangle(const Pen* pen, const RectF& rect);
    Status DrawRectangle(const Pen* pen, REAL x, REAL y, REAL width, REAL height);
    Status DrawRectangle(const Pen* pen, const Rect& rect);
    Status DrawRectangle(const Pen* pen, INT x, INT y, INT width, INT height);
    Status DrawLine(const Pen* pen, REAL x1, REAL y1, REAL x2, REAL y2);
    Status DrawLine(const Pen* pen, const PointF& a, const PointF& b);
    Status DrawLine(const Pen* pen, INT x1, INT y1, INT x2, INT y2);
    Status FillEllipse(const Brush* brush, const RectF& rect);
    Status FillEllipse(const Brush* brush, REAL x, REAL y, REAL width, REAL height);
    Status DrawEllipse(const Pen* pen, const RectF& rect);
    Status DrawEllipse(const Pen* pen, REAL x, REAL y, REAL width, REAL height);
    Status FillPath(const Brush* brush, const GraphicsPath* path);
    Status DrawPath(const Pen* pen, const GraphicsPath* path);
    Status FillPolygon(const Brush* brush, const PointF* points, INT count);
    Status DrawImage(Image* image, const RectF& dest);
    Status DrawImage(Image* image, REAL x, REAL y, REAL width, REAL height);
    Status DrawImage(Image* image, const Rect& dest);
    Status DrawImage(Image* image, INT x, INT y, INT width, INT height);
    Status DrawImage(Image* image, REAL x, REAL y);
    Status DrawImage(Image* image, INT x, INT y);
    Status DrawImage(Image* image, const RectF& dest, REAL srcX, REAL srcY, REAL srcWidth, REAL srcHeight, Unit srcUnit);

    Status DrawString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                      const StringFormat* format, const Brush* brush);
    Status DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                      const StringFormat* format, const Brush* brush);
    Status DrawString(const WCHAR* string, INT length, const Font* font, const PointF& origin, const Brush* brush);
    Status MeasureString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                         const StringFormat* format, RectF* boundingBox, INT* codepointsFitted = nullptr,
                         INT* linesFilled = nullptr) const;
    Status MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                         const StringFormat* format, RectF* boundingBox) const;
    Status MeasureString(const WCHAR* string, INT length, const Font* font, const PointF& origin,
                         RectF* boundingBox) const;
    Status MeasureString(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                         RectF* boundingBox) const;
    Status MeasureCharacterRanges(const WCHAR* string, INT length, const Font* font, const RectF& layoutRect,
                                  const StringFormat* format, INT regionCount, Region* regions) const;

    Status SetClip(const RectF& rect);
    Status SetClip(const Rect& rect) { return SetClip(RectF(rect)); }
    // The clip as a region (infinite without a clip), and back: saving and restoring a clip.
    Status GetClip(Region* region) const;
    Status SetClip(const Region* region);
    Status IntersectClip(const RectF& rect);
    Status ResetClip();
    Status TranslateTransform(REAL dx, REAL dy);
    Status ResetTransform();
    Status Flush(int intention = 0);
    // The device context the graphics draws through (a memory DC for an image graphics).
    HDC GetHDC();
    void ReleaseHDC(HDC hdc);

private:
    std::unique_ptr<quiva::GraphicsTarget> m_target;
    SmoothingMode m_smoothing = SmoothingModeNone;
    InterpolationMode m_interpolation = InterpolationModeBilinear;
    TextRenderingHint m_textHint = TextRenderingHintSystemDefault;
    bool m_hasClip = false;
    RectF m_clip;
    REAL m_dx = 0, m_dy = 0;
};

}  // namespace Gdiplus
