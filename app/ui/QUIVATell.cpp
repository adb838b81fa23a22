#include "app/ui/QUIVATell.h"

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "framework/CKXMsgBox.h"

void QUIVATell(const CString& text, const CString& caption)
{
    if (CKXCtrlWndQUIVAThumbnail::showMessage) {
        CKXCtrlWndQUIVAThumbnail::showMessage(text, caption);
        return;
    }
    CKXMsgBox box;
    box.Show(text, caption, 0);
}

void QUIVATellCapture(CKXQUIVACaptureModel::CaptureResult result)
{
    CString text, caption;
    if (CKXQUIVACaptureModel::CaptureResultMessage(result, &text, &caption))
        QUIVATell(text, caption);
}
