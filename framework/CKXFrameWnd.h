// The borderless top-level window: a sizing border, the caption bar drawn at its top, dragging
// by the caption, caption double click, a minimum tracking size and a close veto; the rest of
// the input goes to hooks of the subclass.
#pragma once

#include "framework/CKXCaptionBar.h"
#include "framework/CKXCtrlCursor.h"
#include "framework/CKXWnd.h"

class CKXFrameWnd : public CWnd {
public:
    CKXFrameWnd();
    ~CKXFrameWnd() override;

    CKXCtrlCursor context;
    CKXCtrlRenderHint renderHint;
    CKXCaptionBar captionBar;
    BOOL captionShown = 1;
    TRACKMOUSEEVENT trackMouse{sizeof(TRACKMOUSEEVENT), TME_LEAVE, nullptr, 0};
    // Kept for callers that look at it; the frame never deletes itself.
    BOOL deleteAfterCommand = 0;

    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;

    virtual BOOL Create(CString title, int x, int y, int width, int height);
    virtual void ShowCaption(BOOL show) { captionShown = show; }
    virtual void Refresh(float scale);
    virtual void Draw(HDC hdc);
    virtual int RecalcLayout(int width, int height);
    virtual int CreateChildren();
    virtual int CanClose();
    virtual void Close();
    virtual void ToggleMaximize();
    virtual void Minimize();
    virtual void OnSettingButton();
    virtual int OnClientLButtonDown(float x, float y);
    virtual int OnClientLButtonUp(float x, float y);
    virtual int OnClientMouseMove(float x, float y);
    virtual int OnClientMouseLeave(CKXCtrlCursor* ctx);
    virtual void OnActivateChanged(BOOL active);
    virtual int OnClientKeyDown(UINT vk, UINT repeat, UINT flags);
    virtual void OnScaleChanged(float scale);

    // Paints the caption at once through a client device context.
    void Redraw();
    // The caption bar's maximised and active flags from the window's state.
    void RefreshCaptionFlags();

protected:
    float Scaled(int v) const { return static_cast<float>(v) / renderHint.scale; }
    float CaptionHeight() const { return captionShown ? captionBar.height : 0.0f; }
    void DispatchCaptionCommand(int id);

    void OnPaint() override;
    BOOL OnEraseBkgnd(HDC hdc) override;
    void OnSize(UINT type, int cx, int cy) override;
    LRESULT OnNcHitTest(CPoint point) override;
    void OnGetMinMaxInfo(MINMAXINFO* mmi) override;
    void OnClose() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
    void OnNcLButtonDblClk(UINT hitTest, CPoint point) override;
};
