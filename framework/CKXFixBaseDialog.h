// Dialog showing one windowless content page in a host window below its caption.
#pragma once

#include "framework/CKXBaseDialog.h"
#include "framework/CKXWnd.h"

class CKXFixBaseDialog : public CKXBaseDialog {
public:
    CKXFixBaseDialog();

    CKXCtrlWnd* contentPage = nullptr;  // not owned; also the host's root
    CKXWnd host;
    int closeOnKey = 0;

    // A zero dimension is taken from the content page; without a page the defaults hold.
    void SetDialogSize(int newWidth, int newHeight) override;
    BOOL RecalcLayout() override;
    BOOL OnClientSize(int widthPx, int heightPx) override;
    BOOL OnClientKeyDown(UINT key, UINT repeat, UINT flags) override;
    // Escape cancels the dialog; an edit being typed into keeps what was typed.
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    // The focus given to the dialog goes on to its page.
    void OnSetFocus(CWnd* oldWnd) override;
    // Caption offset in pixels while the caption shows.
    int CaptionPixels() const;
};
