// The enlarged view of one thumbnail: the image stretched over the whole control; a press ends
// the drop-down popup that shows it.
#pragma once

#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndViewThumbnail : public CKXCtrlWnd {
public:
    CKXCtrlWndViewThumbnail() = default;

    Gdiplus::Image* image = nullptr;  // not owned
    float imageWidth = 0.0f, imageHeight = 0.0f;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
};
