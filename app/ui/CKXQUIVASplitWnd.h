// The bar between the video host (left) and the thumbnail host (right) of the capture window:
// its left 8 pixels are a handle that drags the thumbnail width within fixed limits; the rest
// of it hides or shows the thumbnail pane.
#pragma once

#include "app/model/Forward.h"
#include "platform/ui/CWnd.h"

class CKXQUIVASplitWnd : public CWnd {
public:
    CKXQUIVASplitWnd();
    ~CKXQUIVASplitWnd() override;

    CWnd* videoPane = nullptr;      // not owned
    CWnd* thumbnailPane = nullptr;  // not owned
    CWnd* frame = nullptr;          // the capture frame; not owned
    BOOL collapsed = 0;             // the thumbnail pane is hidden
    BOOL handleHover = 0;
    BOOL dragging = 0;
    BOOL pressed = 0;
    POINT dragPoint{0, 0};  // last cursor position while dragging (screen)
    int thumbnailWidth = 0;
    int barWidth = 24;
    int top = 0;  // where the panes start: the frame's caption bottom + 40
    CKXMCapture* engine = nullptr;  // not owned
    HCURSOR arrowCursor = nullptr;
    HCURSOR sizeCursor = nullptr;

    static constexpr int kHandleWidth = 8;
    static constexpr int kId = 999;

    // A visible child of `parent` (id 999) whose rectangle the frame's layout sets. 0 without a
    // parent or when the window cannot be made.
    int Create(CWnd* parent, int topY, CWnd* video, CWnd* thumbnail);
    // Places the panes and the bar for the collapsed or shown state.
    void Relayout();
    // Paints the bar at once, double-buffered.
    void Redraw();

protected:
    void Paint(HDC hdc);
    bool InButtonZone(CPoint point) const;
    void Drag();

    BOOL OnEraseBkgnd(HDC) override { return 0; }
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnCaptureChanged(CWnd* wnd) override;
};
