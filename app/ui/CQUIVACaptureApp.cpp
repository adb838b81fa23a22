#include "app/ui/CQUIVACaptureApp.h"

#include "app/model/CKXEULAdmit.h"
#include "app/ui/CKXQUIVAFrame.h"
#include "app/ui/QUIVAWindowClasses.h"
#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlTheme.h"
#include "platform/base/debug.h"
#include "platform/base/servicethreads.h"
#include "platform/db/db.h"

CQUIVACaptureApp::CQUIVACaptureApp()
{
    // The ANSI code page is the platform's (949, Korean) already: nothing to set here.
    m_gdiplusStartupInput.GdiplusVersion = 1;
}

CQUIVACaptureApp::~CQUIVACaptureApp() { OutputDebugStringW(L"Terminate App"); }

BOOL CQUIVACaptureApp::InitInstance()
{
    OutputDebugStringW(L"CKXEULAdmit start");
    {
        CKXEULAdmit admit;
        admit.Record();
    }
    OutputDebugStringW(L"CKXEULAdmit end");
    m_gdiplusStartupInput.SuppressBackgroundThread = TRUE;
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &m_gdiplusStartupInput, &m_gdiplusStartupOutput);
    OutputDebugStringW(L"GdiplusStartup end");
    m_capture.ConstructDeviceList();
    OutputDebugStringW(L"m_capture.ConstructDeviceList() end");
    RegisterQUIVAWindowClasses();
    OutputDebugStringW(L"RegisterClassQUIVA end");
    m_pFrame = new CKXQUIVAFrame();
    m_pFrame->SetEngine(&m_capture);
    return TRUE;
}

void CQUIVACaptureApp::DestroyFrame()
{
    if (!m_pFrame)
        return;
    if (m_pFrame->GetSafeHwnd())
        m_pFrame->DestroyWindow();
    // A Show from the host while the frame's modal loop, or a dialog's, runs: the loop ends with
    // the window, but the frame is in use until it returns.
    if (m_pFrame->IsInUse())
        m_endingFrames.push_back(m_pFrame);
    else
        delete m_pFrame;
    m_pFrame = nullptr;
}

void CQUIVACaptureApp::DeleteEndedFrames()
{
    std::erase_if(m_endingFrames, [](CKXQUIVAFrame* frame) {
        if (frame->IsInUse())
            return false;
        delete frame;
        return true;
    });
}

int CQUIVACaptureApp::ExitInstance()
{
    // The frame object is destroyed, not dropped: its configuration holds a database connection.
    DestroyFrame();
    DeleteEndedFrames();
    UnregisterQUIVAWindowClasses();
    delete CKXCtrlMouseCursorInternal::GetInstance();
    delete CKXCtrlTheme::GetInstance();
    Gdiplus::GdiplusShutdown(m_gdiplusToken);
    // The layer's timer and sound threads this module started end with it.
    quiva::StopServiceThreads();
    return 0;
}

void CQUIVACaptureApp::ShowCapture(const CString& chart, const CString& date, BOOL modal)
{
    OutputDebugStringW(L"0");
    // A start-up that found no capture source (the device monitor late, absent or without
    // sources) leaves the window saying so; each Show asks the monitor again.
    if (m_capture.GetDeviceCount() == 0)
        m_capture.ConstructDeviceList();
    // The show's queries (options, patient, the store's interrupted commits) wait for a database
    // another program holds once, for one bound in all; the frame's Show ends the wait and tells.
    quiva::db::BeginSharedLockWait(quiva::db::Connection::kBusyTimeoutMs);
    if (m_pFrame && m_pFrame->inModal) {
        m_pFrame->SetEngine(&m_capture);
        m_pFrame->Show(chart, date, TRUE);
        quiva::db::EndSharedLockWait();
        return;
    }
    if (m_pFrame) {
        m_pFrame->Clear();
        DestroyFrame();
    }
    CKXQUIVAFrame* frame = new CKXQUIVAFrame();
    m_pFrame = frame;
    frame->hostWnd = m_hHostWnd;
    frame->config.LoadDatabaseOptions();
    frame->titleBar.studyCombo.ReloadStudies();
    frame->SetEngine(&m_capture);
    // With `modal`, the host may have let this frame go by the time its loop returns.
    frame->Show(chart, date, modal);
    quiva::db::EndSharedLockWait();  // a Show that made no window left it running
    DeleteEndedFrames();
}

void CQUIVACaptureApp::Close()
{
    DeleteEndedFrames();
    // A recording ends whole (its last tick done) before the graph is taken apart.
    if (m_pFrame)
        m_pFrame->StopRecordings();
    m_capture.Close();
    if (m_pFrame && m_pFrame->GetSafeHwnd())
        m_pFrame->DestroyWindow();
}

void CQUIVACaptureApp::Clear()
{
    DeleteEndedFrames();
    if (m_pFrame)
        m_pFrame->Clear();
}

BOOL CQUIVACaptureApp::IsShow() const
{
    return m_pFrame && m_pFrame->GetSafeHwnd() && m_pFrame->IsWindowVisible();
}

void CQUIVACaptureApp::SetParentWnd(HWND host)
{
    m_hHostWnd = host;
    if (m_pFrame)
        m_pFrame->hostWnd = host;
}
