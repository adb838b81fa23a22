// Helpers shared by the readers and writers of the capture application's XML settings files.
#pragma once

#include "framework/CKXXmlDocument.h"
#include "platform/base/CString.h"

namespace quiva::app {

// "<root>\exe\<name>".
CString ExeFilePath(const CString& imageRoot, const wchar_t* name);

// Loads "<root>\exe\<name>", or, when no file is there, the file of that name in the current
// folder; *fromCurrentFolder tells the caller to copy what it loaded into the exe folder. The
// current-folder file is trusted as the clinic's own: whatever it says is taken.
bool LoadSettingsFile(CKXXmlDocument& document, const CString& imageRoot, const wchar_t* name,
                      bool* fromCurrentFolder);

// A new document of one empty root element, declared "euc-kr".
void StartSettingsFile(CKXXmlDocument& document, const wchar_t* rootElement);

// Decimal text: leading blanks, a sign, digits; anything else ends it; no digits give 0.
inline int Decimal(const CString& text) { return _wtoi(text); }
// Whole, case-sensitive comparison, as the stored files are read.
inline bool Is(const CString& text, const wchar_t* value) { return text.Compare(value) == 0; }
CString DecimalText(int value);
inline const wchar_t* TrueFalse(BOOL on) { return on ? L"TRUE" : L"FALSE"; }
inline const wchar_t* OneZero(BOOL on) { return on ? L"1" : L"0"; }

}  // namespace quiva::app
