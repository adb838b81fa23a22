// A top-level drop-down host with its own modal loop: it takes the keys while it is open and
// closes on a click outside, Enter, Escape, loss of activation or of the focus.
#pragma once

#include "framework/CKXWnd.h"

class CKXWndPopup : public CKXWnd {
public:
    CKXWndPopup();
    ~CKXWndPopup() override;

    BOOL running = 0;
    float popupWidth = 0.0f, popupHeight = 0.0f;  // client pixels
    CWnd* owner = nullptr;                        // not owned
    BOOL forwardMoves = 0;
    BOOL cancelled = 0;  // closed by Escape: what was moved to inside it is not taken

    BOOL CreatePopup(CWnd* ownerWnd, int width, int height);
    // Opens the popup at (x, y) of the owner's client area and returns when it has closed;
    // 0 when it could not be created.
    BOOL Create(CWnd* ownerWnd, int x, int y, int width, int height, DWORD unused) override;
    BOOL IsPopup() override { return 1; }
    void ShowAt(int x, int y);
    void ClosePopup();
    virtual void Paint(HDC hdc);

    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    using CKXWnd::Create;
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnKeyDown(UINT ch, UINT repeat, UINT flags) override;
    void OnKeyUp(UINT ch, UINT repeat, UINT flags) override;
    void OnActivateApp(BOOL active, DWORD threadId) override;
    void OnKillFocus(CWnd* newWnd) override;
    void OnActivate(UINT, CWnd*, BOOL) override {}
    void OnNcLButtonDown(UINT, CPoint) override {}
};
