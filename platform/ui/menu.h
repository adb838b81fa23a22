// Pop-up menus and the window menu (the "system menu"). A menu is a list of commands and
// separators; shown, it runs its own modal loop on the calling thread (arrow keys, Enter, the
// underlined letter, Escape, clicks), so injected input answers it as a person would.
//
// The window menu of a window with WS_SYSMENU opens with Alt+Space (and WM_SYSCOMMAND SC_KEYMENU
// or SC_MOUSEMENU); the command chosen there comes back to the window as WM_SYSCOMMAND.
#pragma once

#include "platform/ui/winuser.h"

// Menu item flags
#define MF_STRING 0x0000u
#define MF_GRAYED 0x0001u
#define MF_DISABLED 0x0002u
#define MF_BYCOMMAND 0x0000u
#define MF_BYPOSITION 0x0400u
#define MF_SEPARATOR 0x0800u

// TrackPopupMenu flags
#define TPM_LEFTALIGN 0x0000u
#define TPM_NONOTIFY 0x0080u
#define TPM_RETURNCMD 0x0100u

// WM_SYSCOMMAND commands (the low four bits are the system's own)
#define SC_SIZE 0xF000
#define SC_MOVE 0xF010
#define SC_MINIMIZE 0xF020
#define SC_MAXIMIZE 0xF030
#define SC_CLOSE 0xF060
#define SC_MOUSEMENU 0xF090
#define SC_KEYMENU 0xF100
#define SC_RESTORE 0xF120

HMENU CreatePopupMenu();
BOOL DestroyMenu(HMENU menu);
// Appends a command (MF_STRING; "&" marks the letter that chooses it, a tab starts the part
// shown at the right) or a separator (MF_SEPARATOR).
BOOL AppendMenuW(HMENU menu, UINT flags, UINT_PTR id, LPCWSTR text);
// -1 for a handle that is no menu.
int GetMenuItemCount(HMENU menu);
// The command of the item at a position; -1 (as UINT) for a separator or no such item.
UINT GetMenuItemID(HMENU menu, int position);
// The text of an item (by command or, with MF_BYPOSITION, by position); its length, 0 for none.
int GetMenuStringW(HMENU menu, UINT item, LPWSTR buffer, int max, UINT flags);
// Shows the menu with its top-left corner at the screen point and lets the user choose. With
// TPM_RETURNCMD the command chosen is returned (0: none); otherwise it is posted to `owner` as
// WM_COMMAND and the result is non-zero when something was chosen.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* ignored);

// The window menu of a top-level window, made with the standard commands for its style on first
// use; the window may append its own. `revert` puts the standard one back and returns null.
HMENU GetSystemMenu(HWND hwnd, BOOL revert);

namespace quiva::ui {

// The menu being shown on the calling thread (its pop-up window), or null.
HWND CurrentMenuWindow();

}  // namespace quiva::ui
