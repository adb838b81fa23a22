// The dialog object: a window object run from an in-memory template (see dialog.h), modal through the window object's modal loop, so PreTranslateMessage of the dialog and of
// every window between a message's target and the dialog sees the message first.
#pragma once

#include "platform/ui/CWnd.h"
#include "platform/ui/dialog.h"

// Moves values between a dialog's controls and its members: from the controls into the members
// when saving, the other way round otherwise.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    HWND Control(int id) const;

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
};
// A check box's state and an int member (0 unchecked, 1 checked).
void DDX_Check(CDataExchange* dx, int id, int& value);
// Binds a window object to the dialog's control of that id (once; the control stays the dialog's).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

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
    // Runs DoDataExchange: TRUE moves the controls' values into the members.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);
    virtual void DoDataExchange(CDataExchange*) {}
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    virtual void OnOK();
    virtual void OnCancel();
    // Dialog keys of the dialog and its child windows: Enter is IDOK and Escape IDCANCEL.
    BOOL PreTranslateMessage(MSG* msg) override;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    LPCDLGTEMPLATEW m_lpDialogTemplate = nullptr;
    CWnd* m_pParentWnd = nullptr;
};
