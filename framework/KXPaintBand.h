// Flicker-free painting of a band of a window: drawn into a memory bitmap with the windows' text,
// image and line quality, then copied to the window in one go.
#pragma once

#include <functional>

#include "platform/gdi/gdiplus.h"

namespace quiva {

// Paints `paint` into a memory bitmap `width` by `height` pixels, whose (0, 0) is the band's top
// left corner, and copies it to `dc` at (0, top).
void PaintBand(HDC dc, int top, int width, int height, const std::function<void(Gdiplus::Graphics&)>& paint);

}  // namespace quiva
