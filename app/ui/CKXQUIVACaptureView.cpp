#include "app/ui/CKXQUIVACaptureView.h"

#include <memory>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/CKXQUIVAThumbnailCtrlTab.h"
#include "app/ui/QUIVATell.h"
#include "framework/CKXFrameWnd.h"
#include "framework/CKXWnd.h"
#include "platform/ui/winuser.h"

CKXQUIVACaptureView::CKXQUIVACaptureView(CKXQUIVACaptureModel* model)
{
    strip.model = model;
}

CKXQUIVACaptureView* CKXQUIVACaptureView::Of(CKXQUIVACaptureModel* model)
{
    if (!model)
        return nullptr;
    if (auto* view = dynamic_cast<CKXQUIVACaptureView*>(model->GetFileListener()))
        return view;
    auto view = std::make_unique<CKXQUIVACaptureView>(model);
    CKXQUIVACaptureView* attached = view.get();
    model->SetFileListener(std::move(view));
    return attached;
}

void CKXQUIVACaptureView::AttachWindows(CKXWnd* titleHost, CKXWnd* thumbnailHost)
{
    m_titleHost.store(titleHost);
    m_thumbnailHost = thumbnailHost;
}

void CKXQUIVACaptureView::Detach()
{
    m_titleHost.store(nullptr);
    m_thumbnailHost = nullptr;
}

void CKXQUIVACaptureView::Relayout()
{
    strip.Relayout();
}

void CKXQUIVACaptureView::ShowNewest(int index)
{
    strip.EnsureVisible(index);
    CKXWnd* host = m_thumbnailHost;
    if (!host)
        return;
    if (auto* tabs = dynamic_cast<CKXQUIVAThumbnailCtrlTab*>(host->root))
        tabs->SelectTabOf(&strip);
    if (host->GetSafeHwnd())
        host->Redraw();
}

void CKXQUIVACaptureView::KeepPicture(_KXCaptureFileInfo* info, Gdiplus::Image& picture)
{
    strip.KeepPicture(info, picture);
}

void CKXQUIVACaptureView::KeepFile(_KXCaptureFileInfo* info)
{
    strip.KeepFile(info);
}

void CKXQUIVACaptureView::NoteFile(_KXCaptureFileInfo* info, UINT width, UINT height)
{
    strip.NoteFile(info, width, height);
}

void CKXQUIVACaptureView::Saving(bool saving)
{
    CKXWnd* host = m_thumbnailHost;
    HWND frameWnd = host && host->GetSafeHwnd() ? ::GetParent(host->GetSafeHwnd()) : nullptr;
    auto* frame = frameWnd ? dynamic_cast<CKXFrameWnd*>(CWnd::FromHandlePermanent(frameWnd)) : nullptr;
    if (saving) {
        m_savedCursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        m_savingFrame = frame ? frameWnd : nullptr;
        if (!frame)
            return;
        // Painted now: the window's thread paints nothing else until the save is over.
        m_savedCaption = frame->captionBar.caption;
        frame->captionBar.SetCaption(m_savedCaption + kSavingTitle);
        ::SetWindowTextW(frameWnd, frame->captionBar.caption);
        frame->Redraw();
        return;
    }
    SetCursor(m_savedCursor ? m_savedCursor : LoadCursorW(nullptr, IDC_ARROW));
    strip.Saved();
    if (frame && frameWnd == m_savingFrame) {
        frame->captionBar.SetCaption(m_savedCaption);
        ::SetWindowTextW(frameWnd, m_savedCaption);
        frame->Redraw();
    }
    m_savingFrame = nullptr;
}

void CKXQUIVACaptureView::Repaint()
{
    CKXWnd* host = m_thumbnailHost;
    if (host && host->GetSafeHwnd())
        InvalidateRect(host->GetSafeHwnd(), nullptr, TRUE);
}

void CKXQUIVACaptureView::TellRecordingEnd(const CString& text, const CString& caption)
{
    QUIVATell(text, caption);
}

void CKXQUIVACaptureView::RecordingTimeChanged()
{
    // The tick's thread (under the model's recording lock): the title host is read once, and an
    // invalidation is safe from any thread.
    CKXWnd* title = m_titleHost.load();
    if (title && title->GetSafeHwnd())
        InvalidateRect(title->GetSafeHwnd(), nullptr, TRUE);
}
