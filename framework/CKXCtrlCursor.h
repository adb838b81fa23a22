// The control context of one host window, and the process-wide mouse-cursor cache.
#pragma once

#include "framework/CKXCtrl.h"
#include "framework/Forward.h"
#include "platform/base/CArray.h"
#include "platform/ui/CWnd.h"

struct _KXCtrlCursorInfo {
    DWORD id = 0;
    HCURSOR cursors[3] = {nullptr, nullptr, nullptr};
    BOOL shared = 0;
};

// The cursor shape a control asks for at the pointer (CKXCtrlCursor::cursorShape); recorded
// only, never turned into a mouse cursor.
enum KXCursorShape {
    KXCURSOR_NONE = 0,
    KXCURSOR_ARROW = 1,   // the default, also a combo box's arrow area
    KXCURSOR_TEXT = 5,    // over an edit control's text
    KXCURSOR_THUMB = 12,  // over a slider's thumb
};

class CKXCtrlCursor {
public:
    CKXCtrlCursor();
    // Frees the entries that own their cursors; `cursor` is not destroyed.
    virtual ~CKXCtrlCursor();
    CKXCtrlCursor(const CKXCtrlCursor&) = delete;
    CKXCtrlCursor& operator=(const CKXCtrlCursor&) = delete;

    BOOL buttonDown = 0;
    int cursorShape = KXCURSOR_NONE;
    POINT pressPoint{0, 0};
    POINT releasePoint{0, 0};
    int dragDelta[2] = {0, 0};
    POINT lastPoint{0, 0};
    DWORD pressTime = 0;
    CWnd* host = nullptr;
    CKXCtrl* captured = nullptr;
    CKXCtrl* focus = nullptr;
    // Set by a dialog for its page: Tab reaches every control that takes the keyboard (buttons,
    // check boxes and sliders as well as edits), round from the last to the first, and Space or
    // Enter presses the button or ticks the box that has it.
    BOOL reachEveryControl = 0;
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
