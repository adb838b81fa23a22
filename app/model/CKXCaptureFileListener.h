// What a capture model tells its view (the capture window's parts showing it: app/ui/
// CKXQUIVACaptureView, made by the frame for each model): the list changed, a
// file was added and wants to be seen, the files or the recording's time want painting again,
// and how much of a still's picture its record keeps and when it is read. The model reaches its
// windows through this alone. It owns its listener and calls it on the window thread only, but
// for RecordingTimeChanged, which the recording tick calls too; a model without one (a program
// without windows) keeps every picture whole.
#pragma once

#include "app/model/Forward.h"
#include "platform/base/CString.h"
#include "platform/gdi/gdiplus.h"

class CKXCaptureFileListener {
public:
    virtual ~CKXCaptureFileListener() = default;

    // The files changed: lay them out again.
    virtual void Relayout() = 0;
    // The file at `index` was appended: bring it, and this view, before the person.
    virtual void ShowNewest(int index) = 0;
    // Gives a still's record a picture of its own made from `picture`, the still at its own
    // size (not kept: the caller's), no larger than this view needs of it.
    virtual void KeepPicture(_KXCaptureFileInfo* info, Gdiplus::Image& picture) = 0;
    // The same from the still's file, read no larger than this view needs (an empty picture
    // when the file cannot be read).
    virtual void KeepFile(_KXCaptureFileInfo* info) = 0;
    // Lists a still of the store being opened by its own size, which the open read from its
    // file's header, leaving the picture to be read (as KeepFile reads it) when this view first
    // needs it: an open then reads no picture that is not shown. (A still whose size its header
    // does not give is kept with KeepFile.)
    virtual void NoteFile(_KXCaptureFileInfo* info, UINT width, UINT height) = 0;
    // A commit of the files begins (true) or has ended (false): it runs on the window thread
    // and may wait many seconds on the database and the PACS, so the view says it is saving.
    virtual void Saving(bool) {}
    // The files' marks changed (a commit saved some): paint them again.
    virtual void Repaint() {}
    // A recording ended by itself for a reason the person must hear (the model's message, text
    // and caption), after it was listed: the view tells it. On the window thread.
    virtual void TellRecordingEnd(const CString&, const CString&) {}
    // The recording's running time changed, or the recording ended: the title bar paints it
    // again. Called from the recording tick on the timer queue's thread (holding the model's
    // recording lock) as well as on the window thread, so it must be thread-safe: it may ask
    // for a repaint (InvalidateRect, which is) and read the title bar's host the view keeps,
    // and touches nothing else of the windows or the model, takes no lock and never waits for
    // the window thread.
    virtual void RecordingTimeChanged() {}
    // The model starts to go, and its windows may be gone before it: the view reaches no window
    // from here on. Called under the model's recording lock, so no tick is painting meanwhile.
    virtual void Detach() {}
};
