// The windows of one capture model, as its file listener: the frame makes one for each model the
// manager makes, and the model owns it. It hands each of the model's calls to the part of the
// capture window it concerns: the thumbnail strip (its own, which only draws the cells), the
// strip's tab, the window's caption and cursor while the files are saved, and the title bar's
// repaint from the recording tick.
#pragma once

#include <atomic>

#include "app/model/CKXCaptureFileListener.h"
#include "app/model/Forward.h"
#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"

class CKXQUIVACaptureView : public CKXCaptureFileListener {
public:
    explicit CKXQUIVACaptureView(CKXQUIVACaptureModel* model);

    // The model's view: the one attached to it, else a new one without windows made and attached
    // now (null for no model).
    static CKXQUIVACaptureView* Of(CKXQUIVACaptureModel* model);

    // The title bar's and the strip's host windows of the frame showing the model (not owned;
    // the frame outlives its models). Called on the window thread; the recording tick may be
    // reading the title host meanwhile.
    void AttachWindows(CKXWnd* titleHost, CKXWnd* thumbnailHost);

    CKXCtrlWndQUIVAThumbnail strip;

    void Relayout() override;
    // Scrolls the strip to the file and brings its tab to the front, also while another
    // patient's tab is up.
    void ShowNewest(int index) override;
    void KeepPicture(_KXCaptureFileInfo* info, Gdiplus::Image& picture) override;
    void KeepFile(_KXCaptureFileInfo* info) override;
    void NoteFile(_KXCaptureFileInfo* info, UINT width, UINT height) override;
    // While the model's files are saved: a busy cursor over the capture window and its title
    // (the caption bar and the window's text) saying that it saves; both are put back after.
    void Saving(bool saving) override;
    static constexpr const wchar_t* kSavingTitle = L" - 저장 중...";
    // The strip's host, asked to paint again.
    void Repaint() override;
    void TellRecordingEnd(const CString& text, const CString& caption) override;
    // The title bar's host, asked to paint again: only an invalidation, from any thread.
    void RecordingTimeChanged() override;
    void Detach() override;

private:
    std::atomic<CKXWnd*> m_titleHost{nullptr};  // the recording tick reads it
    CKXWnd* m_thumbnailHost = nullptr;
    // What Saving(true) replaced, for Saving(false).
    HWND m_savingFrame = nullptr;
    CString m_savedCaption;
    HCURSOR m_savedCursor = nullptr;
};
