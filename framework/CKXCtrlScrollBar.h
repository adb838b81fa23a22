// Windowless scroll bar: a range, a position, a page extent and a thumb that is dragged or
// moved by a click on the track. It shows itself only while the content does not fit.
#pragma once

#include "framework/CKXCtrl.h"

class CKXCtrlScrollBar : public CKXCtrl {
public:
    CKXCtrlScrollBar() = default;

    BOOL horizontal = 0;
    float minimum = 0.0f, maximum = 0.0f;
    float trackLength = 0.0f;  // control length less the 16 units of the two ends
    float position = 0.0f;
    float page = 0.0f;
    Gdiplus::RectF thumb;  // along the bar relative to its start, across it in layout units
    float ratio = 1.0f;    // track units per range unit
    BOOL dragging = 0;
    BOOL hot = 0;
    BOOL trackPressed = 0;
    float pressPoint[2] = {0.0f, 0.0f};
    float thumbStart = 0.0f;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetRect(float x, float y, float width, float height) override;

    void SetRange(float newMinimum, float newMaximum);
    void SetPosition(float newPosition, float newPage);
    float GetPosition();

    // Thumb offset and length along the bar.
    float ThumbOffset() const { return horizontal ? thumb.X : thumb.Y; }
    float ThumbLength() const { return horizontal ? thumb.Width : thumb.Height; }

private:
    float Length() const { return horizontal ? width : height; }
    float Along(float px, float py) const { return horizontal ? px - x : py - y; }
    void SetThumbOffset(float offset);
    // The thumb as drawn and hit: 16 units longer along the bar, in layout coordinates.
    Gdiplus::RectF ThumbArea() const;
};
