// The system file dialogs: a small modal dialog with a file-name field over the list of the
// folder's entries that match the chosen filter, run on the calling thread's message loop.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/ui/winuser.h"

typedef UINT_PTR(CALLBACK* LPOFNHOOKPROC)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEW {
    DWORD lStructSize;
    HWND hwndOwner;
    HINSTANCE hInstance;
    LPCWSTR lpstrFilter;  // pairs of "text\0pattern[;pattern]\0", ended by an empty text
    LPWSTR lpstrCustomFilter;
    DWORD nMaxCustFilter;
    DWORD nFilterIndex;  // 1-based; 0: the first
    LPWSTR lpstrFile;    // in: initial name (a pattern filters the list); out: the full path
    DWORD nMaxFile;
    LPWSTR lpstrFileTitle;
    DWORD nMaxFileTitle;
    LPCWSTR lpstrInitialDir;
    LPCWSTR lpstrTitle;
    DWORD Flags;
    WORD nFileOffset;
    WORD nFileExtension;
    LPCWSTR lpstrDefExt;
    LPARAM lCustData;
    LPOFNHOOKPROC lpfnHook;
    LPCWSTR lpTemplateName;
    void* pvReserved;
    DWORD dwReserved;
    DWORD FlagsEx;
};
typedef OPENFILENAMEW* LPOPENFILENAMEW;

#define OFN_READONLY 0x00000001
#define OFN_OVERWRITEPROMPT 0x00000002
#define OFN_HIDEREADONLY 0x00000004
#define OFN_NOCHANGEDIR 0x00000008
#define OFN_PATHMUSTEXIST 0x00000800
#define OFN_FILEMUSTEXIST 0x00001000
#define OFN_CREATEPROMPT 0x00002000
#define OFN_EXPLORER 0x00080000
#define OFN_ENABLESIZING 0x00800000

// CommDlgExtendedError
#define CDERR_STRUCTSIZE 0x0001
#define CDERR_INITIALIZATION 0x0002
#define FNERR_BUFFERTOOSMALL 0x3003
#define FNERR_INVALIDFILENAME 0x3002

// TRUE with the chosen path in lpstrFile; FALSE when cancelled (CommDlgExtendedError 0) or on
// an error (CommDlgExtendedError says which; for a buffer too small the first WORD of
// lpstrFile holds the length needed).
BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn);
BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn);
DWORD CommDlgExtendedError();

namespace quiva::ui {

// Lets tests answer file dialogs without showing one: while set, the dialogs ask `answer`
// (with the request and whether it is a save dialog) and take the path it returns, or a
// cancel for nothing. An empty function shows the dialogs again.
using FileDialogAnswer = std::function<std::optional<std::wstring>(const OPENFILENAMEW&, bool save)>;
void SetFileDialogAnswer(FileDialogAnswer answer);

}  // namespace quiva::ui
