// How the capture window tells the person what a save or a capture came to: one message box a
// message (or what a test puts in its place, quivaTellReplacement).
#pragma once

#include <functional>

#include "app/model/CKXQUIVACaptureModel.h"
#include "platform/base/CString.h"

void QUIVATell(const CString& text, const CString& caption);
// Shows what QUIVATell is given in place of the message box when set (a test's record of it).
extern std::function<void(const CString& text, const CString& caption)> quivaTellReplacement;
// `tell`, each text put under the chart and patient of `model` ("차트 12345 홍길동: ..."): what a
// commit tells is said by every save, also of a patient the window does not show (a tab's close,
// the store saved when another chart is shown), so each box names whose files it is about. The
// chart and name are taken now: the teller may tell after the model has gone.
CKXQUIVACaptureModel::Teller QUIVATellerOf(const CKXQUIVACaptureModel& model,
                                           CKXQUIVACaptureModel::Teller tell = QUIVATell);
// A still's or the record button's result, when it is one the person is told.
void QUIVATellCapture(CKXQUIVACaptureModel::CaptureResult result);
// The window came up without what the clinic database holds (patient name, study names, image
// directory): another program held it past the wait.
void QUIVATellDatabaseHeld();
// The same, because the clinic database could not be reached or read at all.
void QUIVATellDatabaseUnreachable();
