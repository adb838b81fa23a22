// Numeric slider: a track with an 8-unit thumb beside an editable value box. Dragging,
// clicking the track, the arrow keys or typing a number change the value and tell the container.
#pragma once

#include "framework/CKXCtrlEdit.h"

class CKXCtrlSlider : public CKXCtrlEdit {
public:
    CKXCtrlSlider();

    BOOL horizontal = 1;
    float minimum = 0.0f, maximum = 0.0f;
    float trackLength = 0.0f;  // track length less the thumb
    float valueOffset = 0.0f;  // value - minimum
    Gdiplus::RectF track;      // relative to the control
    BOOL trackPressed = 0;
    float valueBoxSize = 40.0f;
    Gdiplus::RectF thumb;  // relative to the control
    float ratio = 1.0f;    // track units per value unit
    BOOL dragging = 0;
    BOOL thumbHot = 0;
    float pressPoint[2] = {0.0f, 0.0f};
    float thumbStart = 0.0f;
    BOOL editable = 1;
    BOOL integerValues = 0;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBorder(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    int Create(int id, float x, float y, float width, float height) override;
    void SetRect(float x, float y, float width, float height) override;
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    int KillFocus(CKXCtrlCursor* ctx) override;
    virtual void DrawTrack(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                           CKXCtrlCursor* ctx);
    virtual void DrawThumb(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                           CKXCtrlCursor* ctx);

    void SetRange(float newMinimum, float newMaximum);
    void SetValue(float value);
    float GetValue() const { return minimum + valueOffset; }
    // The value truncated toward zero as a whole number. The value passes through the thumb's
    // position, so a whole number set may read back a hair below itself; that noise (under a
    // thousandth) is not taken as a fraction.
    int GetTruncatedValue() const;

private:
    float ThumbOffset() const { return horizontal ? thumb.X : thumb.Y; }
    void SetThumbOffset(float offset);
    float Along(float px, float py) const { return horizontal ? px - x : py - y; }
    bool EmptyRange() const { return !(maximum > minimum); }
    // The value text from valueOffset (whole numbers when integerValues).
    void UpdateValueText();
    void Notify(CKXCtrlCursor* ctx);
};
