// Check box: a symbol glyph and a caption; a click toggles it and tells the container.
#pragma once

#include "framework/CKXCtrl.h"

class CKXCtrlCheckBox : public CKXCtrl {
public:
    CKXCtrlCheckBox() { tabStop = 1; }

    BOOL checked = 0;
    int style = 0;
    CString caption;
    BOOL forceChecked = 0;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    void DrawBorder(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    // Space toggles the box that has the keyboard, as a click does.
    int OnFocusKey(UINT vk, CKXCtrlCursor* ctx) override;
    int HitTest(float x, float y) override;
    // One character of the symbol font for the state.
    virtual CString GetGlyphText(BOOL isChecked);
    void SetCaption(CString value) { caption = value; }

private:
    bool InGlyphBox(float px, float py) const;
};
