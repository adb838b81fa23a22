// The capture module's application object: it owns the capture engine and the capture window
// object, starts up when the module loads (usage record, imaging, the engine's device list, the
// window classes) and shuts down when it unloads. The seven exports call it.
#pragma once

#include <vector>

#include "capture/CKXMCapture.h"
#include "platform/base/CString.h"
#include "platform/gdi/gdiplus.h"

class CKXQUIVAFrame;

class CQUIVACaptureApp {
public:
    CQUIVACaptureApp();
    // Writes "Terminate App"; the engine goes with the object.
    virtual ~CQUIVACaptureApp();
    CQUIVACaptureApp(const CQUIVACaptureApp&) = delete;
    CQUIVACaptureApp& operator=(const CQUIVACaptureApp&) = delete;

    // Start-up; never fails the load.
    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // The two Show exports: a capture window for the chart and study date; with `modal` it
    // returns when the window's own loop has ended.
    void ShowCapture(const CString& chart, const CString& date, BOOL modal);
    // QUIVACaptureClose: stops the engine and destroys the window, committing nothing.
    void Close();
    void Clear();
    BOOL IsShow() const;
    void SetParentWnd(HWND host);

    Gdiplus::GdiplusStartupInput m_gdiplusStartupInput;
    ULONG_PTR m_gdiplusToken = 0;
    Gdiplus::GdiplusStartupOutput m_gdiplusStartupOutput{};
    CKXQUIVAFrame* m_pFrame = nullptr;  // owned; also the main window
    CKXMCapture m_capture;
    HWND m_hHostWnd = nullptr;

protected:
    // Destroys the frame's window and lets the object go: at once, or, while it is still in use
    // below this call (the host calling from a loop that runs inside it), once it is not.
    void DestroyFrame();
    // Deletes the let-go frames no longer in use.
    void DeleteEndedFrames();

    std::vector<CKXQUIVAFrame*> m_endingFrames;  // owned; each still in use when let go
};
