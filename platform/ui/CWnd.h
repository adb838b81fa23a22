// The window object the framework's windows derive from: binds one object to one window
// handle, turns messages into virtual handlers, and runs the modal loop.
#pragma once

#include <map>

#include "platform/base/CString.h"
#include "platform/ui/winuser.h"

struct CPoint : public POINT {
    CPoint() : POINT{0, 0} {}
    CPoint(int x0, int y0) : POINT{x0, y0} {}
    CPoint(POINT p) : POINT(p) {}
    // From a message's packed coordinates.
    explicit CPoint(LPARAM lp) : POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)} {}
};

struct CRect : public RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& r) : RECT(r) {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    BOOL PtInRect(POINT pt) const { return ::PtInRect(this, pt); }
    operator LPRECT() { return this; }
    operator LPCRECT() const { return this; }
};

// Modal loop flags and state bits.
#define MLF_NOIDLEMSG 0x0001
#define MLF_NOKICKIDLE 0x0002
#define MLF_SHOWONIDLE 0x0004
#define WF_MODALLOOP 0x0002
#define WF_CONTINUEMODAL 0x0004
#define MSGF_DIALOGBOX 0

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return GetSafeHwnd(); }

    // The object bound to a handle; for a handle without one, a temporary object that lives
    // until the window is destroyed. Null for a null or dead handle.
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd);
    // Whether a message handler of a window object lying in the `size` bytes at `object` runs on
    // this thread: an object whose windows are among its members is in use until they return
    // (a dialog or a message box may be running its loop inside one).
    static bool HandlingMessageWithin(const void* object, size_t size);
    BOOL Attach(HWND hwnd);
    HWND Detach();

    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
    virtual BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, int x, int y,
                          int width, int height, HWND parent, HMENU idOrMenu, LPVOID param = nullptr);
    BOOL CreateEx(DWORD exStyle, LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                  CWnd* parent, UINT id, LPVOID param = nullptr);
    virtual BOOL DestroyWindow();

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Default processing of the message being handled.
    LRESULT Default();
    // Called for each message the modal loop takes from the queue for this window or one of
    // its children; TRUE means it was handled and is not dispatched.
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual void PostNcDestroy() {}

    // Modal loop
    int RunModalLoop(DWORD flags = 0);
    virtual BOOL ContinueModal();
    virtual void EndModalLoop(int result);
    int m_nFlags = 0;
    int m_nModalResult = 0;

    // Window operations
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const;
    BOOL ShowWindow(int cmd) const;
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags) const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const;
    void MoveWindow(LPCRECT r, BOOL repaint = TRUE) const;
    void GetClientRect(LPRECT r) const;
    void GetWindowRect(LPRECT r) const;
    void ClientToScreen(LPPOINT pt) const;
    void ScreenToClient(LPPOINT pt) const;
    void ClientToScreen(LPRECT r) const;
    void ScreenToClient(LPRECT r) const;
    void Invalidate(BOOL erase = TRUE) const;
    void InvalidateRect(LPCRECT r, BOOL erase = TRUE) const;
    void UpdateWindow() const;
    BOOL IsWindowVisible() const;
    BOOL IsWindowEnabled() const;
    BOOL EnableWindow(BOOL enable = TRUE) const;
    BOOL IsIconic() const;
    BOOL IsZoomed() const;
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    CWnd* GetParent() const;
    CWnd* SetFocus() const;
    static CWnd* GetFocus();
    CWnd* SetCapture() const;
    static CWnd* GetCapture();
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, TIMERPROC proc = nullptr) const;
    BOOL KillTimer(UINT_PTR id) const;
    void SetWindowText(LPCWSTR text) const;
    void GetWindowText(CString& text) const;
    CString GetWindowText() const;
    BOOL GetWindowPlacement(WINDOWPLACEMENT* wp) const;
    BOOL GetWindowInfo(WINDOWINFO* info) const;
    int GetDlgCtrlID() const;

protected:
    // Message handlers; the base versions do the default processing.
    virtual int OnCreate(LPCREATESTRUCT cs);
    virtual void OnDestroy();
    virtual void OnNcDestroy();
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(HDC hdc);
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMove(int x, int y);
    virtual void OnClose();
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual void OnRButtonDblClk(UINT flags, CPoint point);
    virtual void OnMouseMove(UINT flags, CPoint point);
    virtual void OnMouseLeave();
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    virtual void OnKeyDown(UINT ch, UINT repeat, UINT flags);
    virtual void OnKeyUp(UINT ch, UINT repeat, UINT flags);
    virtual void OnChar(UINT ch, UINT repeat, UINT flags);
    virtual void OnSetFocus(CWnd* oldWnd);
    virtual void OnKillFocus(CWnd* newWnd);
    virtual BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnActivate(UINT state, CWnd* other, BOOL minimized);
    virtual void OnActivateApp(BOOL active, DWORD threadId);
    virtual LRESULT OnNcHitTest(CPoint point);
    virtual void OnGetMinMaxInfo(MINMAXINFO* mmi);
    virtual void OnNcLButtonDown(UINT hitTest, CPoint point);
    virtual void OnNcLButtonDblClk(UINT hitTest, CPoint point);
    virtual void OnCaptureChanged(CWnd* wnd);

private:
    static LRESULT CALLBACK StdWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    WNDPROC m_superProc = nullptr;
    MSG m_current{};
};
