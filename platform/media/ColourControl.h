// The colour-control effect: brightness, contrast, hue and saturation applied to each frame in
// software. Values run from -127 to 127, 0 leaves the picture as it is.
#pragma once

#include <cstdint>

#include "platform/media/dshow.h"

namespace quiva::media {

struct ColourSettings {
    int brightness = 0;  // property 1
    int contrast = 0;    // property 2
    int hue = 0;         // property 3
    int saturation = 0;  // property 4
    bool Neutral() const { return !brightness && !contrast && !hue && !saturation; }
};

// Applies the settings to 32-bit (bytesPerPixel 4) or 24-bit rows in place.
void ApplyColourRgb(uint8_t* pixels, size_t pixelCount, int bytesPerPixel, const ColourSettings& s);
// Applies them to packed 4:2:2 (YUY2 when yuy2, else UYVY) in place.
void ApplyColourYuv422(uint8_t* data, size_t bytes, bool yuy2, const ColourSettings& s);

IUnknown* CreateDmoWrapper();

}  // namespace quiva::media
