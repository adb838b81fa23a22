// One-line text label; never takes the mouse.
#pragma once

#include "framework/CKXCtrl.h"

class CKXCtrlStatic : public CKXCtrl {
public:
    CKXCtrlStatic() = default;

    CString caption;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    void DrawBorder(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    int OnLButtonDown(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnLButtonUp(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnLButtonDblClk(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnMouseMove(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnRButtonDown(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnRButtonUp(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnRButtonDblClk(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    virtual void SetCaption(CString value) { caption = value; }
    virtual CString GetCaption() { return caption; }
};
