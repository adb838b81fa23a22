// The recording indicator of the title bar: "녹화중 : HH:MM:SS" since the engine's recording
// started, with a red dot, shown in the source chooser's place while a recording runs.
#pragma once

#include "app/model/Forward.h"
#include "framework/CKXCtrl.h"

class CKXCtrlQUIVARecordTimer : public CKXCtrl {
public:
    CKXMCapture* engine = nullptr;  // not owned

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    void DrawBorder(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;

    // The text for a recording `elapsedMs` long: hours not wrapped, minutes and seconds mod 60.
    static CString ElapsedText(DWORD elapsedMs);
};
