#include "framework/CKXFixBaseDialog.h"

CKXFixBaseDialog::CKXFixBaseDialog() : CKXBaseDialog(0x90800000u, 0x00040100u)
{
    captionBar.showMinimize = 0;
    captionBar.showMaximize = 0;
    captionBar.showSetting = 0;
    captionBar.showExit = 1;
    host.context.reachEveryControl = 1;
}

void CKXFixBaseDialog::SetDialogSize(int newWidth, int newHeight)
{
    if ((newWidth == 0 || newHeight == 0) && !contentPage) {
        CKXBaseDialog::SetDialogSize(newWidth, newHeight);
        return;
    }
    Gdiplus::RectF bounds;
    if (newWidth == 0 || newHeight == 0)
        bounds = contentPage->GetContentBounds();
    width = newWidth ? newWidth : static_cast<int>(bounds.Width);
    captionBar.SetRect(0.0f, 0.0f, static_cast<float>(width) / renderHint.scale, 0.0f);
    height = newHeight;
    if (newHeight == 0)
        height = static_cast<int>(bounds.Height) + (captionVisible ? static_cast<int>(captionBar.height) : 0);
}

BOOL CKXFixBaseDialog::RecalcLayout()
{
    if (m_hWnd && !host.m_hWnd)
        host.Create(this, 0, 0, 0, 0, 0);
    if (captionBar.caption.IsEmpty() && contentPage)
        captionBar.SetCaption(contentPage->GetCaption());
    return m_hWnd != nullptr;
}

int CKXFixBaseDialog::CaptionPixels() const
{
    return captionVisible ? static_cast<int>(captionBar.height * renderHint.scale) : 0;
}

BOOL CKXFixBaseDialog::OnClientSize(int widthPx, int heightPx)
{
    if (host.m_hWnd) {
        const int o = CaptionPixels();
        host.MoveWindow(0, o, widthPx, heightPx - o, FALSE);
    }
    return 1;
}

BOOL CKXFixBaseDialog::OnClientKeyDown(UINT, UINT, UINT)
{
    if (closeOnKey)
        EndDialog(IDCANCEL);
    return 0;
}

BOOL CKXFixBaseDialog::PreTranslateMessage(MSG* msg)
{
    const bool mine = msg && m_hWnd && (msg->hwnd == m_hWnd || ::IsChild(m_hWnd, msg->hwnd));
    if (mine && closeOnKey && msg->message == WM_KEYDOWN) {
        EndDialog(IDCANCEL);  // the page has the keys: any of them ends the dialog here
        return TRUE;
    }
    if (mine && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
        // Escape closes the dialog as its close button does, wherever the keyboard is: an edit
        // being typed into ends with its text as typed, so nothing typed is undone unseen.
        if (auto* k = dynamic_cast<IKXCtrlKeyboard*>(host.context.focus))
            k->KillFocus(&host.context);
        EndDialog(IDCANCEL);
        return TRUE;
    }
    return CKXBaseDialog::PreTranslateMessage(msg);
}

void CKXFixBaseDialog::OnSetFocus(CWnd*)
{
    // The page takes the keys: Tab walks its controls from the start.
    if (host.m_hWnd)
        host.SetFocus();
}
