// Push button with a caption and an optional icon; tells its container on release.
#pragma once

#include "framework/CKXCtrl.h"

class CKXCtrlButton : public CKXCtrl {
public:
    CKXCtrlButton();
    // Destroys the icon.
    ~CKXCtrlButton() override;

    CString caption;
    HICON icon = nullptr;  // owned
    BOOL showBackground = 1;
    int iconWidth = 0, iconHeight = 0;
    int layout = 0;  // 0 text, 1 icon, 2 icon above text, 3 icon left of text
    BOOL selected = 0;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                        CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    // Space or Enter presses the button that has the keyboard.
    int OnFocusKey(UINT vk, CKXCtrlCursor* ctx) override;
    virtual void SetCaption(CString value) { caption = value; }

    // The text and icon areas of a drawn rectangle for the layout; false for a layout that
    // draws nothing.
    bool LayoutAreas(const Gdiplus::RectF& r, Gdiplus::RectF* textArea, Gdiplus::RectF* iconArea, bool* hasText,
                     bool* hasIcon) const;
};
