// An edit control with a drop-down arrow square at its right end.
#pragma once

#include "framework/CKXCtrlEdit.h"

class CKXCtrlComboBase : public CKXCtrlEdit {
public:
    CKXCtrlComboBase() = default;

    Gdiplus::RectF arrowRect;  // relative to the control
    BOOL arrowHot = 0;
    BOOL arrowPressed = 0;
    BOOL droppedDown = 0;
    BOOL listOnly = 0;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBorder(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    int Create(int id, float x, float y, float width, float height) override;
    void SetRect(float x, float y, float width, float height) override;
    // A list-only combo shows an item of its list, in the size the list draws it (points).
    Gdiplus::Unit TextUnit() const override { return listOnly ? Gdiplus::UnitPoint : Gdiplus::UnitPixel; }

    // Opens the drop-down at (x, y) host pixels, `width` pixels wide; returns when it closes.
    virtual void DropDown(float x, float y, float width, float scale, CKXCtrlCursor* ctx);
    virtual void DrawArrow(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                           CKXCtrlCursor* ctx);

    // The arrow square in layout coordinates.
    Gdiplus::RectF ArrowArea() const;
    // The V glyph's box inside the arrow square, in layout coordinates.
    Gdiplus::RectF GlyphBox() const;
};
