// The title strip of the borderless windows: caption text and the minimise, maximise/restore,
// exit and setting buttons. The host asks it which button was clicked and where it may be
// dragged.
#pragma once

#include "framework/CKXCtrl.h"

enum CaptionButtonId {
    CAPTION_NONE = -1,
    CAPTION_MINIMIZE = 0x8001,
    CAPTION_MAXIMIZE = 0x8002,
    CAPTION_EXIT = 0x8003,
    CAPTION_SETTING = 0x8004,
};

class CKXCaptionBar : public CKXCtrl {
public:
    CKXCaptionBar() = default;

    BOOL showMinimize = 1, showMaximize = 1, showExit = 1, showSetting = 0;
    Gdiplus::RectF minimizeRect, maximizeRect, exitRect, settingRect;
    int hoverButton = CAPTION_NONE;
    int pressedButton = CAPTION_NONE;
    int clickedButton = CAPTION_NONE;
    CString caption;
    BOOL maximized = 0;
    BOOL active = 0;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                        CKXCtrlCursor* ctx) override;
    void DrawBorder(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonDblClk(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnRButtonDblClk(float, float, BOOL*, CKXCtrlCursor*) override { return 0; }
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetSize(float width, float height) override;
    void SetRect(float x, float y, float width, float height) override;

    void SetCaption(CString value) { caption = value; }
    CString GetCaption() { return caption; }
    // The maximised and active flags from the state of the window the bar belongs to.
    void ReadWindowState(HWND hwnd);
    // In the bar and on no shown button; clears hover and press when so.
    BOOL IsDragArea(float x, float y);

private:
    struct Button {
        int id;
        BOOL shown;
        Gdiplus::RectF* rect;
    };
    // Exit, maximise, minimise, setting: the order buttons are laid out, hit and drawn in.
    void Buttons(Button out[4]);
    int ButtonAt(float x, float y);
    void DrawButton(Gdiplus::Graphics* g, int id, const Gdiplus::RectF& rect, const _KXCtrlSysButtonStyle& style,
                    CKXCtrlTheme* theme);
};
