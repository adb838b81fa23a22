// Dialogs built from in-memory templates, run modeless or modal.
//
// A bare template (a DLGTEMPLATE alone, without DS_SETFONT) describes only the window: styles and
// size in pixels, no caption, no items; the system's own dialogs draw everything themselves. A
// whole template (quiva::ui::DialogTemplate, DS_SETFONT set) adds the caption, the font and the
// controls, and gives every position and size in dialog units of that font: a horizontal unit is
// a quarter of the font's average character width, a vertical one an eighth of its height.
#pragma once

#include <functional>

#include "platform/ui/winuser.h"

#pragma pack(push, 2)
struct DLGTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
};
#pragma pack(pop)
typedef DLGTEMPLATE* LPDLGTEMPLATEW;
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;

#pragma pack(push, 2)
struct DLGITEMTEMPLATE {
    DWORD style;
    DWORD dwExtendedStyle;
    short x;
    short y;
    short cx;
    short cy;
    WORD id;
};
#pragma pack(pop)

// Dialog styles
#define DS_FIXEDSYS 0x0008L
#define DS_SETFONT 0x0040L
#define DS_MODALFRAME 0x0080L
#define DS_CENTER 0x0800L

namespace quiva::ui {

// One control of a whole template: created as a visible child (WS_CHILD | WS_VISIBLE added) of
// the class with the text, at its place in dialog units. For an SS_ICON static the text names the
// icon resource ("#128").
struct DialogItem {
    DLGITEMTEMPLATE t;
    LPCWSTR className;
    LPCWSTR text;
};

// A whole template. `t` comes first and has DS_SETFONT, so a pointer to it stands for the whole
// template wherever a template is taken; t.cdit is the number of `items`. t.cx and t.cy give the
// client area.
struct DialogTemplate {
    DLGTEMPLATE t;
    LPCWSTR caption;
    WORD pointSize;
    LPCWSTR typeface;
    const DialogItem* items;
};

}  // namespace quiva::ui

// Dialog procedure: non-zero means the message was handled. The window procedure then answers
// the value set with quiva::ui::SetDialogMsgResult (0 when none was set), except for
// WM_INITDIALOG, whose answer is the procedure's own result.
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7
#define IDCLOSE 8
#define IDHELP 9

// Creates the dialog window hidden, sends WM_INITDIALOG (wParam 0, lParam = init) and shows it
// when the template has WS_VISIBLE. Returns null when the window cannot be created.
HWND CreateDialogIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM init);
// Creates the dialog, runs it modally (quiva::ui::RunModalDialog), destroys it and returns the
// EndDialog code; -1 when it could not be created or ended without EndDialog.
INT_PTR DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW tmpl, HWND owner, DLGPROC proc, LPARAM init);
// Marks the dialog ended with `result`; its modal loop returns once the current message is
// handled. FALSE for a window that is no dialog.
BOOL EndDialog(HWND dialog, INT_PTR result);
// Converts a rectangle in the dialog's units into pixels of its client area. FALSE for a window
// that is no dialog. (A dialog from a bare template has pixel units: the rectangle stays.)
BOOL MapDialogRect(HWND dialog, LPRECT rect);

namespace quiva::ui {

// The window class of dialogs (registered on first use). Its procedure runs the dialog
// procedure passed as the creation parameter and ends the dialog with IDCANCEL on WM_CLOSE.
LPCWSTR DialogClassName();

// The answer of the dialog window for the message being handled (see DLGPROC).
void SetDialogMsgResult(HWND dialog, LRESULT result);

// True once EndDialog was called for the dialog.
bool IsDialogEnded(HWND dialog);

// The dialog units of a font (typeface and point size at 96 dots per inch): the average width of
// its Latin letters and its cell height, in pixels.
SIZE FontBaseUnits(LPCWSTR typeface, int pointSize);
// The window rectangle a template asks for, in pixels (a whole template's client size with the
// frame around it), and the caption (empty for a bare template).
RECT TemplateWindowRect(LPCDLGTEMPLATEW tmpl);
LPCWSTR TemplateCaption(LPCDLGTEMPLATEW tmpl);
// For a dialog window just made from a template, before WM_INITDIALOG: records its units and
// creates the template's controls with `instance` (whose resources they load). False when a
// control could not be created.
bool CreateTemplateItems(HWND dialog, LPCDLGTEMPLATEW tmpl, HINSTANCE instance);

// Moves a dialog, made `width` by `height` pixels, to the middle of its owner's window (when
// the owner is shown) or of the work area.
void CentreOverOwner(HWND dialog, int width, int height);

// Runs the modal loop of an existing dialog on the calling thread: the owner is disabled for
// the duration (and enabled again before the loop returns, when it was enabled before), the
// dialog is shown and activated, and every retrieved message is first offered to
// `preTranslate` (true: swallowed) and otherwise translated and dispatched. The loop ends on
// EndDialog, when the dialog window is destroyed (-1) or on WM_QUIT (re-posted for the outer
// loop; -1). The dialog window is left to the caller. Nested loops are allowed.
INT_PTR RunModalDialog(HWND dialog, const std::function<bool(MSG*)>& preTranslate = {});

}  // namespace quiva::ui
