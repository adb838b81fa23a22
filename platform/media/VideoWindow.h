// What a video renderer needs of the window system: a window's client size and its pixels.
// The window system installs the hooks; without them a renderer keeps its frames and answers
// current-image requests but paints nowhere.
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
VideoWindowHooks GetVideoWindowHooks();

}  // namespace quiva::media
