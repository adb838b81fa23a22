// The right-hand side of the device manager: the name of the shown source, start and stop
// buttons, a scrollable drawing of the source's filter graph and the on-screen log below it.
#pragma once

#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlEdit.h"
#include "framework/CKXCtrlScrollBar.h"
#include "framework/CKXCtrlWnd.h"
#include "monitor/CKXCtrlDirectShowFilter.h"
#include "monitor/CKXCtrlWndMessage.h"
#include "monitor/CKXMCaptureEx.h"

class CKXCtrlWndFilterManager : public CKXCtrlWnd {
public:
    enum { ID_NAME = 1, ID_START = 2, ID_STOP = 3, ID_LOG = 10, ID_FIRST_BOX = 1000 };

    CKXCtrlWndFilterManager();
    ~CKXCtrlWndFilterManager() override;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetSize(float w, float h) override;
    int Create(int id, float x, float y, float w, float h) override;
    void SetRect(float x, float y, float w, float h) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;

    // Shows the graph the engine holds for the entry; none clears the panel and the log.
    void ShowGraph(_KXMCaptureDeviceInfo* entry);
    // Clears the log, restarts its clock and notes the source being started.
    void LogDeviceStart(_KXMCaptureDeviceInfo* entry);
    // The box of a filter (an existing box of the same name, else a new one with its pins and,
    // through them, the boxes of every filter connected to it), or null.
    CKXCtrlDirectShowFilter* AddFilterBox(IBaseFilter* filter);
    // Button states and the running flag after a start (TRUE) or a stop; "시작" only while a
    // source is shown.
    void SetRunning(BOOL running);
    // The engine whose graph is shown; its reports go to the log from then on.
    void SetEngine(CKXMCaptureEx* engine);
    void DeleteAllBoxes();

    BOOL m_bRunning = 0;
    _KXMCaptureDeviceInfo* m_pCurrentEntry = nullptr;
    float m_fScrollX = 0.0f, m_fScrollY = 0.0f;  // 0 or negative
    CKXCtrlScrollBar m_vScroll;
    CKXCtrlScrollBar m_hScroll;
    CKXCtrlEdit m_nameEdit;
    CKXCtrlButton m_startButton;
    CKXCtrlButton m_stopButton;
    CKXCtrlWndMessage m_log;
    CArray<CKXCtrlDirectShowFilter*, CKXCtrlDirectShowFilter*> m_boxes;
    CKXMCaptureEx* m_pEngine = nullptr;
    DWORD m_dwTick = 0;
    float m_fContentWidth = 0.0f, m_fContentHeight = 0.0f;

    // The drawing area of the graph in layout units.
    Gdiplus::RectF GraphArea() const;

private:
    void PlaceScrollBars();
    void ApplyScroll();
};
