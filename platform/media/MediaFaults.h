// Fault switches of the media classes, set by the synthetic devices' configuration
// ("fault <switch>" lines, see SyntheticDevices.h) so tests can make a renderer, the colour
// effect or the DVD navigator misbehave the way real ones do.
#pragma once

#include <vector>

#include "platform/base/wintypes.h"

namespace quiva::media {

struct MediaFaults {
    bool rendererNoWindowless = false;
    bool rendererModeRefused = false;
    bool colourNoStore = false;
    std::vector<GUID> colourRefusedSubtypes;
    int colourMaxWidth = 0;  // 0: any width
    bool dvdNoDisc = false;
};

// The switches in force now.
MediaFaults CurrentFaults();

}  // namespace quiva::media
