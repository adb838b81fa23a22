// Text shaping, measuring and drawing for GDI and GDI+ on Pango. All layout runs on one font map
// at 96 dpi with hinting off, so the same text in the same font set measures the same everywhere.
// Windows font names are mapped to installed families here.
#pragma once

#include <cairo.h>

#include <string>
#include <vector>

namespace quiva {

struct TextFont {
    std::wstring family;     // as the caller named it
    double pixelSize = 12;   // em size in device pixels
    int style = 0;           // 1 bold, 2 italic, 4 underline, 8 strikeout
};

struct TextFormat {
    int align = 0;           // 0 near, 1 centre, 2 far
    int lineAlign = 0;
    bool noWrap = false;
    bool noClip = false;
    int trimming = 0;        // 0 none, 1 character, 2 word, 3 ellipsis, 4 word ellipsis, 5 path ellipsis
    double tabStop = 0;      // distance between tab stops in pixels; 0: the engine's own
};

struct TextBox {
    double x = 0, y = 0, width = 0, height = 0;
};

// The installed family a Windows family name stands for, or empty when none does.
std::string ResolveFontFamily(const std::wstring& windowsName);
// True when the name maps to an installed family.
bool IsFontFamilyInstalled(const std::wstring& windowsName);
// Ascent and descent in pixels of a font.
void FontMetrics(const TextFont& font, double& ascent, double& descent);

// Measures text laid out in `box` (width or height 0 = unbounded); returns the box the text
// takes.
TextBox MeasureText(const std::wstring& text, const TextFont& font, const TextBox& box, const TextFormat& format);
// Draws text into `box` on `cr` in the colour argb (straight alpha).
void DrawText(cairo_t* cr, const std::wstring& text, const TextFont& font, const TextBox& box, const TextFormat& format,
              uint32_t argb);
// The box of each character `first`..`first+count-1` as laid out in `box`.
std::vector<TextBox> CharacterBoxes(const std::wstring& text, const TextFont& font, const TextBox& box,
                                    const TextFormat& format, int first, int count);

}  // namespace quiva
