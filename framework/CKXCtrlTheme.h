// The look of every windowless control: colours, border widths, fonts and caption-button icons,
// per control family and per state. One process-wide theme, created on first use with the
// built-in dark scheme; it can be written to and read from a theme file (root "KXTheme").
#pragma once

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"
#include "platform/gdi/gdiplus.h"

// A font record. Style bits: 1 bold, 2 italic, 4 underline, 8 strikeout.
struct _KXCtrlFont {
    CString name;
    float size;
    int style;
    DWORD color;  // ARGB

    _KXCtrlFont();
    _KXCtrlFont(const wchar_t* name, float size, int style, DWORD color);
    // The order the built-in defaults are written in: name, size, colour, style.
    void Set(const wchar_t* name, float size, DWORD color, int style);
};

// The style of one state: fill, line colour, whether to fill, border width.
struct _KXCtrlStateStyle {
    DWORD back = 0xFFFFFFFFu;
    DWORD fore = 0xFF000000u;
    int noBack = 0;
    float width = 1.0f;

    void Set(DWORD back, DWORD fore, int noBack, float width);
};

// One state of a family that draws text.
struct _KXCtrlTextStyle {
    _KXCtrlFont font;
    _KXCtrlStateStyle style;
};

// The icon of one caption button; the theme owns `icon`.
struct _KXCtrlIconInfo {
    HICON icon = nullptr;
    int resourceId = 0;
    HINSTANCE module = nullptr;
    int reserved = 0;
    int cx = 0;
    int cy = 0;
};

// One caption button: its icon and five states.
struct _KXCtrlSysButtonStyle {
    _KXCtrlIconInfo icon;
    _KXCtrlStateStyle normal;
    _KXCtrlStateStyle pressed;
    _KXCtrlStateStyle over;
    _KXCtrlStateStyle selected;
    _KXCtrlStateStyle disable;
};

// Indexes of the state arrays.
enum KXStandardState { KXSTANDARD_NORMAL, KXSTANDARD_PRESSED, KXSTANDARD_OVER, KXSTANDARD_SELECTED, KXSTANDARD_DISABLE };
enum KXEditState { KXEDIT_NORMAL, KXEDIT_OVER, KXEDIT_FOCUS, KXEDIT_DISABLE, KXEDIT_READONLY };
enum KXListState { KXLIST_NORMAL, KXLIST_PRESSED, KXLIST_OVER, KXLIST_SELECTED };
enum KXSmallButtonState { KXSMALL_NORMAL, KXSMALL_PRESSED, KXSMALL_OVER, KXSMALL_DISABLE };

class CKXCtrlTheme {
public:
    CKXCtrlTheme();
    virtual ~CKXCtrlTheme();
    CKXCtrlTheme(const CKXCtrlTheme&) = delete;
    CKXCtrlTheme& operator=(const CKXCtrlTheme&) = delete;

    // The process theme, created with the built-in values on the first call. Deleting it
    // clears the stored pointer, so a later call makes a fresh one instead of returning freed
    // memory.
    static CKXCtrlTheme* GetInstance();
    // The process theme when one exists, without making one.
    static CKXCtrlTheme* ExistingInstance() { return s_instance; }
    // Makes `theme` (a program's own defaults) the process theme; the process owns it from then
    // on, and a theme held before is deleted.
    static void SetInstance(CKXCtrlTheme* theme);

    // Reads a theme file into the members; a file that cannot be read changes nothing.
    virtual void Load(CString path);
    // Writes every member to a theme file; nothing is reported.
    virtual void Save(CString path);
    // The built-in values and the four caption-button icons.
    virtual void LoadDefaults();

    // (0, 0, s, s) with s = 20, 28, 36 or 52 for size classes 0-3; empty otherwise.
    Gdiplus::RectF GetCaptionButtonSize();

    int captionButtonSize = 0;
    _KXCtrlFont captionActiveFont;
    _KXCtrlFont captionInactiveFont;
    _KXCtrlStateStyle captionActive;
    _KXCtrlStateStyle captionInactive;
    _KXCtrlTextStyle window;
    _KXCtrlSysButtonStyle minimizeButton;
    _KXCtrlSysButtonStyle maximizeButton;
    _KXCtrlSysButtonStyle restoreButton;
    _KXCtrlSysButtonStyle exitButton;
    _KXCtrlSysButtonStyle settingButton;
    _KXCtrlTextStyle standard[5];
    _KXCtrlTextStyle edit[5];
    DWORD editSelectColor = 0xFF000000u;
    DWORD checkCheckedColor = 0xFF000000u;
    DWORD checkUncheckedColor = 0xFF000000u;
    DWORD smallButtonColor[4] = {0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};
    _KXCtrlTextStyle list[4];
    _KXCtrlTextStyle header[4];
    DWORD listGridColor = 0xFF000000u;
    _KXCtrlStateStyle calendar[3];
    _KXCtrlFont calendarFont[8];

private:
    class Visitor;
    // Walks every stored member in file order.
    void Visit(Visitor& v);
    static CKXCtrlTheme* s_instance;
};
