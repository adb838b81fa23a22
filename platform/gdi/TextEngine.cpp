#include "platform/gdi/TextEngine.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cwctype>
#include <map>
#include <mutex>
#include <set>

namespace quiva {
namespace {

// Pango font maps are not thread-safe; every use of the text engine holds this lock.
std::recursive_mutex& TextMutex()
{
    static std::recursive_mutex m;
    return m;
}

PangoContext* Context()
{
    static PangoContext* ctx = [] {
        PangoFontMap* map = pango_cairo_font_map_new();
        pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(map), 96.0);
        PangoContext* c = pango_font_map_create_context(map);
        g_object_unref(map);
        cairo_font_options_t* opts = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(opts, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(opts, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_antialias(opts, CAIRO_ANTIALIAS_GRAY);
        pango_cairo_context_set_font_options(c, opts);
        cairo_font_options_destroy(opts);
        pango_context_set_round_glyph_positions(c, FALSE);
        return c;
    }();
    return ctx;
}

std::wstring Lower(std::wstring s)
{
    for (auto& c : s)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return s;
}

std::string Utf8(std::wstring_view w, std::vector<int>* offsets = nullptr)
{
    std::string out;
    for (wchar_t wc : w) {
        if (offsets)
            offsets->push_back(static_cast<int>(out.size()));
        uint32_t c = static_cast<uint32_t>(wc);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    if (offsets)
        offsets->push_back(static_cast<int>(out.size()));
    return out;
}

const std::set<std::string>& InstalledFamilies()
{
    static const std::set<std::string> names = [] {
        std::set<std::string> s;
        PangoFontFamily** families = nullptr;
        int n = 0;
        pango_font_map_list_families(pango_context_get_font_map(Context()), &families, &n);
        for (int i = 0; i < n; ++i) {
            std::string name = pango_font_family_get_name(families[i]);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            s.insert(name);
        }
        g_free(families);
        return s;
    }();
    return names;
}

bool Installed(const std::string& family)
{
    std::string l = family;
    std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return std::tolower(c); });
    return InstalledFamilies().count(l) > 0;
}

constexpr const char* kSymbolFamily = "DejaVu Sans";

bool IsSymbolFont(const std::wstring& name) { return Lower(name) == L"wingdings"; }

// The glyphs of the symbol font that the controls draw, as ordinary characters.
std::wstring MapSymbols(const std::wstring& text)
{
    std::wstring out = text;
    for (auto& c : out) {
        unsigned code = static_cast<unsigned>(c);
        if (code >= 0xF000 && code <= 0xF0FF)
            code -= 0xF000;
        switch (code) {
        case 254: c = L'\u2611'; break;  // checked box
        case 253: c = L'\u2612'; break;  // crossed box
        case 111: c = L'\u2610'; break;  // empty box
        case 252: c = L'\u2714'; break;  // check mark
        case 251: c = L'\u2718'; break;  // cross mark
        case 161: c = L'\u25CB'; break;  // circle
        default: break;
        }
    }
    return out;
}

struct Layout {
    PangoLayout* layout = nullptr;
    std::vector<int> offsets;  // byte offset of each character
    ~Layout()
    {
        if (layout)
            g_object_unref(layout);
    }
};

void BuildLayout(Layout& out, const std::wstring& text, const TextFont& font, const TextBox& box,
                 const TextFormat& format)
{
    std::string family = ResolveFontFamily(font.family);
    if (family.empty())
        family = "NanumGothic";
    std::wstring shown = IsSymbolFont(font.family) ? MapSymbols(text) : text;
    out.layout = pango_layout_new(Context());
    std::string utf8 = Utf8(shown, &out.offsets);
    pango_layout_set_text(out.layout, utf8.data(), static_cast<int>(utf8.size()));

    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, family.c_str());
    pango_font_description_set_absolute_size(desc, std::max(1.0, font.pixelSize) * PANGO_SCALE);
    pango_font_description_set_weight(desc, (font.style & 1) ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, (font.style & 2) ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    pango_layout_set_font_description(out.layout, desc);
    pango_font_description_free(desc);
    if (font.style & 12) {
        PangoAttrList* attrs = pango_attr_list_new();
        if (font.style & 4)
            pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (font.style & 8)
            pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
        pango_layout_set_attributes(out.layout, attrs);
        pango_attr_list_unref(attrs);
    }

    bool ellipsis = format.trimming >= 3 && format.trimming <= 5;
    if (box.width > 0 && (!format.noWrap || ellipsis)) {
        pango_layout_set_width(out.layout, static_cast<int>(box.width * PANGO_SCALE));
        pango_layout_set_wrap(out.layout, format.trimming == 2 || format.trimming == 4 || format.trimming == 0
                                              ? PANGO_WRAP_WORD_CHAR
                                              : PANGO_WRAP_CHAR);
    }
    if (ellipsis && box.width > 0) {
        pango_layout_set_ellipsize(out.layout, format.trimming == 5 ? PANGO_ELLIPSIZE_MIDDLE : PANGO_ELLIPSIZE_END);
        if (!format.noWrap && box.height > 0)
            pango_layout_set_height(out.layout, static_cast<int>(box.height * PANGO_SCALE));
    }
    pango_layout_set_alignment(out.layout, format.align == 1   ? PANGO_ALIGN_CENTER
                                           : format.align == 2 ? PANGO_ALIGN_RIGHT
                                                               : PANGO_ALIGN_LEFT);
    if (format.tabStop > 0) {
        // One stop; the layout repeats it at the same distance.
        PangoTabArray* tabs = pango_tab_array_new_with_positions(1, FALSE, PANGO_TAB_LEFT,
                                                                 static_cast<int>(format.tabStop * PANGO_SCALE));
        pango_layout_set_tabs(out.layout, tabs);
        pango_tab_array_free(tabs);
    }
}

// Where the layout's top-left goes so that it sits in the box as the format asks.
void Place(const Layout& l, const TextBox& box, const TextFormat& format, double& x, double& y, PangoRectangle& logical)
{
    pango_layout_get_extents(l.layout, nullptr, &logical);
    double w = logical.width / double(PANGO_SCALE);
    double h = logical.height / double(PANGO_SCALE);
    double factorX = format.align == 1 ? 0.5 : format.align == 2 ? 1.0 : 0.0;
    double factorY = format.lineAlign == 1 ? 0.5 : format.lineAlign == 2 ? 1.0 : 0.0;
    // An empty box is a point: centred or far text sits around or before it.
    x = box.x;
    if (pango_layout_get_width(l.layout) < 0)
        x += (box.width - w) * factorX - logical.x / double(PANGO_SCALE);
    y = box.y + (box.height - h) * factorY;
}

// A layout built for a box and placed in it.
struct Placed {
    Layout layout;
    PangoRectangle logical;
    double x = 0, y = 0;
    Placed(const std::wstring& text, const TextFont& font, const TextBox& box, const TextFormat& format)
    {
        BuildLayout(layout, text, font, box, format);
        Place(layout, box, format, x, y, logical);
    }
};

}  // namespace

std::string ResolveFontFamily(const std::wstring& windowsName)
{
    static const std::map<std::wstring, const char*> aliases = {
        {L"맑은 고딕", "NanumGothic"}, {L"malgun gothic", "NanumGothic"}, {L"굴림", "NanumGothic"},
        {L"gulim", "NanumGothic"},     {L"굴림체", "NanumGothicCoding"}, {L"gulimche", "NanumGothicCoding"},
        {L"돋움", "NanumGothic"},      {L"dotum", "NanumGothic"},       {L"돋움체", "NanumGothicCoding"},
        {L"dotumche", "NanumGothicCoding"}, {L"바탕", "NanumMyeongjo"}, {L"batang", "NanumMyeongjo"},
        {L"궁서", "NanumMyeongjo"},    {L"gungsuh", "NanumMyeongjo"},   {L"arial", "DejaVu Sans"},
        {L"tahoma", "DejaVu Sans"},    {L"verdana", "DejaVu Sans"},     {L"segoe ui", "DejaVu Sans"},
        {L"microsoft sans serif", "DejaVu Sans"}, {L"ms shell dlg", "DejaVu Sans"},
        {L"ms shell dlg 2", "DejaVu Sans"}, {L"courier new", "DejaVu Sans Mono"}, {L"consolas", "DejaVu Sans Mono"},
        {L"times new roman", "DejaVu Serif"}, {L"wingdings", kSymbolFamily},
    };
    std::lock_guard lock(TextMutex());
    auto it = aliases.find(Lower(windowsName));
    std::string family = it != aliases.end() ? it->second : Utf8(windowsName);
    return Installed(family) ? family : std::string();
}

bool IsFontFamilyInstalled(const std::wstring& windowsName) { return !ResolveFontFamily(windowsName).empty(); }

void FontMetrics(const TextFont& font, double& ascent, double& descent)
{
    std::lock_guard lock(TextMutex());
    Layout l;
    BuildLayout(l, L"", font, TextBox{}, TextFormat{});
    PangoLayoutIter* it = pango_layout_get_iter(l.layout);
    PangoRectangle logical;
    pango_layout_iter_get_line_extents(it, nullptr, &logical);
    int baseline = pango_layout_iter_get_baseline(it);
    pango_layout_iter_free(it);
    ascent = baseline / double(PANGO_SCALE);
    descent = (logical.height - baseline) / double(PANGO_SCALE);
}

TextBox MeasureText(const std::wstring& text, const TextFont& font, const TextBox& box, const TextFormat& format)
{
    std::lock_guard lock(TextMutex());
    Placed p(text, font, box, format);
    const PangoRectangle& logical = p.logical;
    double x = p.x, y = p.y;
    TextBox r{x + logical.x / double(PANGO_SCALE), y, logical.width / double(PANGO_SCALE),
              logical.height / double(PANGO_SCALE)};
    if (text.empty())
        r.width = 0, r.height = 0;
    if (box.width > 0)
        r.width = std::min(r.width, box.width);
    if (box.height > 0)
        r.height = std::min(r.height, box.height);
    return r;
}

void DrawText(cairo_t* cr, const std::wstring& text, const TextFont& font, const TextBox& box, const TextFormat& format,
              uint32_t argb)
{
    if (text.empty() || !cr)
        return;
    std::lock_guard lock(TextMutex());
    Placed p(text, font, box, format);
    double x = p.x, y = p.y;
    cairo_save(cr);
    if (!format.noClip && box.width > 0 && box.height > 0) {
        cairo_rectangle(cr, box.x, box.y, box.width, box.height);
        cairo_clip(cr);
    }
    cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                          (argb >> 24) / 255.0);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, p.layout.layout);
    cairo_restore(cr);
}

std::vector<TextBox> CharacterBoxes(const std::wstring& text, const TextFont& font, const TextBox& box,
                                    const TextFormat& format, int first, int count)
{
    std::vector<TextBox> out;
    std::lock_guard lock(TextMutex());
    Placed p(text, font, box, format);
    const Layout& l = p.layout;
    double x = p.x, y = p.y;
    int n = static_cast<int>(text.size());
    for (int i = std::max(0, first); i < std::min(n, first + count); ++i) {
        PangoRectangle pos;
        pango_layout_index_to_pos(l.layout, l.offsets[static_cast<size_t>(i)], &pos);
        double left = std::min(pos.x, pos.x + pos.width) / double(PANGO_SCALE);
        out.push_back(TextBox{x + left, y + pos.y / double(PANGO_SCALE), std::abs(pos.width) / double(PANGO_SCALE),
                              pos.height / double(PANGO_SCALE)});
    }
    return out;
}

}  // namespace quiva
