// How the capture window tells the person what a save or a capture came to: one message box a
// message (or the strip's test replacement, CKXCtrlWndQUIVAThumbnail::showMessage).
#pragma once

#include "app/model/CKXQUIVACaptureModel.h"
#include "platform/base/CString.h"

void QUIVATell(const CString& text, const CString& caption);
// A still's or the record button's result, when it is one the person is told.
void QUIVATellCapture(CKXQUIVACaptureModel::CaptureResult result);
// The window came up without what the clinic database holds (patient name, study names, image
// directory): another program held it past the wait.
void QUIVATellDatabaseHeld();
// The same, because the clinic database could not be reached or read at all.
void QUIVATellDatabaseUnreachable();
