// How the capture window tells the person what a save or a capture came to: one message box a
// message (or the strip's test replacement, CKXCtrlWndQUIVAThumbnail::showMessage).
#pragma once

#include "platform/base/CString.h"

void QUIVATell(const CString& text, const CString& caption);
