#include "platform/ui/CDialog.h"

#include "platform/ui/buttons.h"

HWND CDataExchange::Control(int id) const
{
    return m_pDlgWnd ? ::GetDlgItem(m_pDlgWnd->m_hWnd, id) : nullptr;
}

void DDX_Check(CDataExchange* dx, int id, int& value)
{
    HWND box = dx->Control(id);
    if (!box)
        return;
    if (dx->m_bSaveAndValidate)
        value = ::SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    else
        ::SendMessageW(box, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control)
{
    HWND hwnd = dx->Control(id);
    if (!hwnd || control.m_hWnd == hwnd)
        return;
    if (control.m_hWnd)
        control.Detach();
    control.Attach(hwnd);
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    if (!m_hWnd)
        return FALSE;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::InitModalIndirect(LPCDLGTEMPLATEW tmpl, CWnd* parent)
{
    m_lpDialogTemplate = tmpl;
    m_pParentWnd = parent;
    return tmpl != nullptr;
}

INT_PTR CDialog::DoModal()
{
    if (!m_lpDialogTemplate || m_hWnd || !quiva::ui::DialogClassName())
        return -1;
    HWND owner = m_pParentWnd && m_pParentWnd->m_hWnd ? ::GetAncestor(m_pParentWnd->m_hWnd, GA_ROOT)
                                                      : ::GetActiveWindow();
    const bool reenable = owner && ::IsWindowEnabled(owner);
    if (reenable)
        ::EnableWindow(owner, FALSE);

    const DLGTEMPLATE t = *m_lpDialogTemplate;
    const RECT r = quiva::ui::TemplateWindowRect(m_lpDialogTemplate);
    m_nModalResult = -1;
    // Set before WM_INITDIALOG so that an EndDialog there is kept.
    m_nFlags |= WF_CONTINUEMODAL;
    if (CreateEx(t.dwExtendedStyle, quiva::ui::DialogClassName(), quiva::ui::TemplateCaption(m_lpDialogTemplate),
                 t.style & ~static_cast<DWORD>(WS_VISIBLE), r.left, r.top, r.right - r.left, r.bottom - r.top, owner,
                 nullptr, nullptr) &&
        quiva::ui::CreateTemplateItems(m_hWnd, m_lpDialogTemplate, nullptr)) {
        SendMessage(WM_INITDIALOG, 0, 0);
        if (ContinueModal() && ::IsWindow(m_hWnd)) {
            // Shown before the loop starts, so input already queued finds it.
            if (!(GetStyle() & WS_VISIBLE))
                ShowWindow(SW_SHOWNORMAL);
            ::SetActiveWindow(m_hWnd);
            RunModalLoop();
        }
        if (m_hWnd)
            ::SetWindowPos(m_hWnd, nullptr, 0, 0, 0, 0,
                           SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_NOZORDER);
    }
    m_nFlags &= ~(WF_CONTINUEMODAL | WF_MODALLOOP);
    if (reenable && ::IsWindow(owner))
        ::EnableWindow(owner, TRUE);
    if (owner && ::IsWindow(owner) && m_hWnd && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(owner);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int result)
{
    EndModalLoop(result);
    if (m_hWnd)
        ::EndDialog(m_hWnd, result);
}

BOOL CDialog::OnInitDialog() { return TRUE; }
void CDialog::OnOK() { EndDialog(IDOK); }
void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::PreTranslateMessage(MSG* msg)
{
    if (!msg || !m_hWnd || msg->message != WM_KEYDOWN)
        return FALSE;
    if (msg->hwnd != m_hWnd && !::IsChild(m_hWnd, msg->hwnd))
        return FALSE;
    if (msg->wParam == VK_RETURN) {
        SendMessage(WM_COMMAND, IDOK, 0);
        return TRUE;
    }
    if (msg->wParam == VK_ESCAPE) {
        SendMessage(WM_COMMAND, IDCANCEL, 0);
        return TRUE;
    }
    return FALSE;
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            OnOK();
            return 0;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return 0;
        }
        break;
    case WM_CLOSE:
        OnCancel();
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}
