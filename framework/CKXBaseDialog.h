// Borderless modal dialog run from an in-memory template: draws its own caption bar and turns
// mouse and key messages into hooks in layout units below the caption.
#pragma once

#include <vector>

#include "framework/CKXCaptionBar.h"
#include "framework/CKXCtrlCursor.h"
#include "platform/ui/CDialog.h"

class CKXBaseDialog : public CDialog {
public:
    CKXBaseDialog(DWORD style, DWORD exStyle);
    ~CKXBaseDialog() override;

    CKXCtrlCursor context;
    CKXCtrlRenderHint renderHint;
    CKXCaptionBar captionBar;
    int captionVisible = 1;
    int width = 0, height = 0;  // layout units
    int posX = 0, posY = 0;     // screen pixels
    TRACKMOUSEEVENT trackMouse{};

    virtual void SetDialogSize(int newWidth, int newHeight);
    virtual void ShowCaption(int show) { captionVisible = show; }
    virtual void Draw(HDC dc);
    virtual BOOL RecalcLayout();
    virtual BOOL OnClientSize(int widthPx, int heightPx);
    virtual void Accept();
    virtual void ToggleMaximize();
    virtual void Minimize();
    virtual void OnSettingButton() {}
    virtual BOOL OnClientLButtonDown(float x, float y);
    virtual BOOL OnClientLButtonUp(float x, float y);
    virtual BOOL OnClientMouseMove(float x, float y);
    virtual BOOL OnClientKeyDown(UINT key, UINT repeat, UINT flags);
    virtual void Reserved(int) {}

    // Sizes the dialog, centres it on the monitor under the cursor and runs it modally.
    INT_PTR CenterOnCursorMonitor();
    void SetCaption(CString value) { captionBar.SetCaption(value); }
    void RedrawNow();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void OnPaint() override;
    BOOL OnEraseBkgnd(HDC) override { return FALSE; }
    void OnSize(UINT type, int cx, int cy) override;
    LRESULT OnNcHitTest(CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnMouseLeave() override;
    void OnActivate(UINT state, CWnd* other, BOOL minimized) override;
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
    void OnNcLButtonDblClk(UINT hitTest, CPoint point) override;
    void OnGetMinMaxInfo(MINMAXINFO*) override {}

    // Maximised and active flags of the caption bar from the window's state.
    void RefreshCaptionFlags();
    // Caption bar height while it is shown, else 0 (layout units).
    float CaptionOffset() const { return captionVisible ? captionBar.height : 0.0f; }
    // Client point in layout units.
    Gdiplus::PointF Layout(CPoint point) const;
    // Paints `paint` into a memory bitmap of the client width by `bandHeight` pixels and copies
    // it to `dc` at (0, top).
    void PaintBand(HDC dc, int top, int bandHeight, const std::function<void(Gdiplus::Graphics&)>& paint);

private:
    std::vector<BYTE> templateBlock;
};
