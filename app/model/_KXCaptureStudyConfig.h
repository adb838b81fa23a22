// The saved settings of one capture source, keyed by its device name: colour values, renderer
// and the frame format asked of the device. Copied whole, by value.
#pragma once

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

struct _KXCaptureStudyConfig {
    _KXCaptureStudyConfig() = default;
    ~_KXCaptureStudyConfig() = default;

    CString device;       // the source's device name
    CString study;        // read and written back only
    int hue = 0;
    int saturation = 0;
    int brightness = 0;
    int contrast = 0;
    int render = 0;       // renderer kind: 0 VMR-9, 1 VMR-7, 2 EVR
    BOOL preserve = 1;
    int width = 0;        // 0: no requested format
    int height = 0;
    int fps = 0;
    CString mediaType;    // subtype name of the requested format
    CString formatType;   // "VideoInfo" whenever it is read or written empty
};
