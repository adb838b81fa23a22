// Dialogs built from in-memory templates, run modeless or modal. The system's dialogs draw
// everything themselves, so a template describes only the window: styles and size, no items,
// no menu, no font. Template sizes are taken as pixels.
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

namespace quiva::ui {

// The window class of dialogs (registered on first use). Its procedure runs the dialog
// procedure passed as the creation parameter and ends the dialog with IDCANCEL on WM_CLOSE.
LPCWSTR DialogClassName();

// The answer of the dialog window for the message being handled (see DLGPROC).
void SetDialogMsgResult(HWND dialog, LRESULT result);

// True once EndDialog was called for the dialog.
bool IsDialogEnded(HWND dialog);

// Runs the modal loop of an existing dialog on the calling thread: the owner is disabled for
// the duration (and enabled again before the loop returns, when it was enabled before), the
// dialog is shown and activated, and every retrieved message is first offered to
// `preTranslate` (true: swallowed) and otherwise translated and dispatched. The loop ends on
// EndDialog, when the dialog window is destroyed (-1) or on WM_QUIT (re-posted for the outer
// loop; -1). The dialog window is left to the caller. Nested loops are allowed.
INT_PTR RunModalDialog(HWND dialog, const std::function<bool(MSG*)>& preTranslate = {});

}  // namespace quiva::ui
