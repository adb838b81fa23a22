// What a video renderer needs of the window system: a window's client size and its pixels.
// By default the renderers paint into the windows of platform/ui; tests may put other hooks in
// place (empty hooks: frames are kept and current images answered, nothing is painted).
#pragma once

#include <functional>

#include "platform/base/wintypes.h"
#include "platform/gdi/Surface.h"

namespace quiva::media {

struct VideoWindowHooks {
    // The client rectangle of a window; false when there is no such window.
    std::function<bool(HWND, RECT*)> clientRect;
    // Calls paint with the top-level surface holding the window (locked for the call), the
    // client origin within it and the clip; false when the window has no surface.
    std::function<bool(HWND, const std::function<void(Surface&, POINT, RECT)>&)> paint;
    // Tells the window system that a window's pixels changed (from any thread).
    std::function<void(HWND)> changed;
};

void SetVideoWindowHooks(VideoWindowHooks hooks);
// Puts the window system's hooks back.
void UseWindowSystemForVideo();
VideoWindowHooks GetVideoWindowHooks();

}  // namespace quiva::media
