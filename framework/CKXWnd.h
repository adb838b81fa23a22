// The child window that hosts one tree of windowless controls: window messages become calls
// on the root container; painting is double-buffered.
#pragma once

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWnd.h"
#include "platform/ui/CWnd.h"

// The window class every framework window is created with.
#define KX_WINDOW_CLASS L"QUIVACaptureWnd"

class CKXWnd : public CWnd {
public:
    CKXWnd();
    ~CKXWnd() override;

    CKXCtrlWnd* root = nullptr;  // not owned
    CKXCtrlCursor context;
    CKXCtrlRenderHint renderHint;
    TRACKMOUSEEVENT trackMouse{sizeof(TRACKMOUSEEVENT), TME_LEAVE, nullptr, 0};
    BOOL drawFrame = 0;

    void SetRootControl(CKXCtrlWnd* newRoot);
    virtual BOOL Create(CWnd* parent, int x, int y, int width, int height, UINT id);
    // Whether this host is a drop-down popup.
    virtual BOOL IsPopup() { return 0; }
    // Paints at once through a client device context.
    void Redraw();
    void CreateControlCaret();
    void SetControlCaretPos();

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

protected:
    // Lays the root out over (width, height) client pixels.
    void SizeRoot(int width, int height);
    // Paints the tree into `hdc` through a memory bitmap of the client size; `background`
    // fills the bitmap first (the popup's look), `frame` draws its outline last.
    void PaintTree(HDC hdc, bool popupLook);
    // The client point in layout units.
    float Scaled(int v) const { return static_cast<float>(v) / renderHint.scale; }
    void NoteMove(CPoint point);
    // Shows the pointer shape the control under the mouse asked for.
    void ShowCursorShape() const;

    void OnPaint() override;
    BOOL OnEraseBkgnd(HDC hdc) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnRButtonDown(UINT flags, CPoint point) override;
    void OnRButtonUp(UINT flags, CPoint point) override;
    void OnRButtonDblClk(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message) override;
    void OnMouseLeave() override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
    void OnKeyUp(UINT ch, UINT repeat, UINT flags) override;
    void OnChar(UINT ch, UINT repeat, UINT flags) override;
    void OnSetFocus(CWnd* oldWnd) override;
    void OnKillFocus(CWnd* newWnd) override;
    void OnTimer(UINT_PTR id) override;
};
