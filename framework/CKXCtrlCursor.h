// The control context of one host window, and the process-wide mouse-cursor cache.
#pragma once

#include "framework/CKXCtrl.h"
#include "platform/base/CArray.h"
#include "platform/ui/CWnd.h"

struct _KXCtrlCursorInfo {
    DWORD id = 0;
    HCURSOR cursors[3] = {nullptr, nullptr, nullptr};
    BOOL shared = 0;
};

class CKXWnd;

class CKXCtrlCursor {
public:
    CKXCtrlCursor();
    // Frees the entries that own their cursors; `cursor` is not destroyed.
    virtual ~CKXCtrlCursor();
    CKXCtrlCursor(const CKXCtrlCursor&) = delete;
    CKXCtrlCursor& operator=(const CKXCtrlCursor&) = delete;

    BOOL buttonDown = 0;
    int cursorShape = 0;
    POINT pressPoint{0, 0};
    POINT releasePoint{0, 0};
    int dragDelta[2] = {0, 0};
    POINT lastPoint{0, 0};
    DWORD pressTime = 0;
    CWnd* host = nullptr;
    CKXCtrl* captured = nullptr;
    CKXCtrl* focus = nullptr;
    CKXCtrl* active = nullptr;
    int imeState = 0;
    CKXCtrlTheme* theme = nullptr;
    HCURSOR cursor = nullptr;
    std::vector<_KXCtrlCursorInfo*> cursorEntries;

    // A white frame with a black outline, unless hidden.
    virtual void DrawDragFrame(Gdiplus::Graphics* g, float x, float y, float width, float height, BOOL hidden);
    // The render scale of the host: 1.0 without one.
    float GetHostScale() const;

    // Called when a control goes away: every context forgets it (and whatever lies below it
    // when it is a container).
    static void ForgetControl(CKXCtrl* ctrl);
    // Host windows are told when their root goes away.
    static void RegisterHost(CKXWnd* wnd, bool add);
};

class CKXCtrlMouseCursorInternal {
public:
    static CKXCtrlMouseCursorInternal* GetInstance();
    // The cache when one exists, without making one.
    static CKXCtrlMouseCursorInternal* ExistingInstance() { return s_instance; }
    // Frees the entries; clears the stored singleton pointer.
    virtual ~CKXCtrlMouseCursorInternal();

    std::vector<_KXCtrlCursorInfo*> entries;
    HMODULE module = nullptr;

private:
    CKXCtrlMouseCursorInternal();
    static CKXCtrlMouseCursorInternal* s_instance;
};
