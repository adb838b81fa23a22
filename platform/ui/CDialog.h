// The dialog object: a window object run from an in-memory template (styles and size only),
// modal through the window object's modal loop, so PreTranslateMessage of the dialog and of
// every window between a message's target and the dialog sees the message first.
#pragma once

#include "platform/ui/CWnd.h"
#include "platform/ui/dialog.h"

class CDialog : public CWnd {
public:
    CDialog() = default;

    // The template must stay valid until DoModal returns.
    BOOL InitModalIndirect(LPCDLGTEMPLATEW tmpl, CWnd* parent = nullptr);
    // Creates the dialog hidden, owned by the parent's top-level window (or the active window),
    // disables the owner, sends WM_INITDIALOG, shows the dialog and runs the modal loop. The
    // owner is enabled and re-activated before the window is destroyed. Returns the EndDialog
    // code, -1 without a template or when the window cannot be created or vanishes.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Dialog keys of the dialog and its child windows: Enter is IDOK and Escape IDCANCEL.
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    LPCDLGTEMPLATEW m_lpDialogTemplate = nullptr;
    CWnd* m_pParentWnd = nullptr;
};
