// The capture window: caption bar, the title bar strip, and below it the video host, the
// splitter and the thumbnail tabs. It looks the patient up, makes the chart's capture model
// current, runs the preview on the last used source with the keyboard hook, and can run its
// own modal loop for the host's ShowModal.
#pragma once

#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/Forward.h"
#include "app/ui/CKXQUIVACaptureWnd.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/ui/CKXQUIVASplitWnd.h"
#include "app/ui/CKXQUIVAThumbnailCtrlTab.h"
#include "app/ui/CKXQUIVATitleBar.h"
#include "framework/CKXFrameWnd.h"
#include "framework/CKXWnd.h"

class CKXQUIVAFrame : public CKXFrameWnd {
public:
    CKXQUIVAFrame();
    ~CKXQUIVAFrame() override;

    CKXWnd titleHost;  // id 100
    CKXQUIVATitleBar titleBar;
    CKXQUIVACaptureWnd videoHost;  // id 1
    CKXMCapture* engine = nullptr;  // not owned; the application's
    CKXQUIVACaptureModelManager modelManager;
    CKXQUIVASplitWnd splitter;  // id 999
    CKXWnd thumbnailHost;       // id 2
    CKXQUIVAThumbnailCtrlTab thumbnailTab;
    CString title = L"QUIVA Capture";
    BOOL inModal = 0;
    CKXQUIVAConfig config;
    HWND hostWnd = nullptr;

    // The engine for the frame and its configuration.
    void SetEngine(CKXMCapture* capture);
    void Show(const CString& chart, const CString& date, BOOL modal);
    // Whether the frame is in use on this thread: its modal loop runs (also after its window has
    // gone, until the loop returns), or a handler of it or of a window among its members does,
    // where a dialog or a message box may run a loop of its own.
    BOOL IsInUse() const { return (m_nFlags & WF_MODALLOOP) || CWnd::HandlingMessageWithin(this, sizeof *this); }
    void Clear();
    BOOL CreateFrame();
    void StartPreview();
    // Ends every model's running recording, waiting for a tick in progress; done before the
    // engine stops or a model goes.
    void StopRecordings();
    // Deletes every model (committed or not) with its tab; no model is current and no capture
    // key acts.
    void DropModels();
    // The patient's name of the chart; *reached (when given) says whether the clinic database
    // could be connected to and answered.
    CString LookupPatientName(const CString& chart, bool* reached = nullptr);

    int CreateChildren() override;
    int RecalcLayout(int width, int height) override;
    int CanClose() override;
    void OnActivateChanged(BOOL active) override;

protected:
    void OnDestroy() override;
    void OnGetMinMaxInfo(MINMAXINFO* mmi) override;
    LRESULT OnNcHitTest(CPoint point) override;
    // The wheel goes to the window with the focus; over the strip it scrolls the strip, clicked
    // or not.
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    bool forwardingWheel = false;
    int CaptionPixels() const { return static_cast<int>(captionBar.height); }
};
