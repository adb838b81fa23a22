// Thumbnails of recorded AVI files.
#pragma once

#include "platform/gdi/gdiplus.h"

class CKXMXVideoModel {
public:
    virtual ~CKXMXVideoModel() = default;
    // A picture of the file's beginning fitted into the box without enlarging it, or null. Runs
    // on any thread (the recording tick asks for one when a recording ends); the caller deletes
    // the image.
    Gdiplus::Image* GetThumbnail(LPCWSTR path, float boxWidth, float boxHeight);
};

// The size of a picture fitted into a box without enlarging: the longer side rules.
SIZE FitThumbnail(int width, int height, float boxWidth, float boxHeight);
