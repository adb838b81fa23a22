#include "app/ui/CKXQUIVAFrame.h"

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "app/ui/CKXQUIVACaptureView.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/ui/QUIVAColorControl.h"
#include "app/ui/QUIVAKeyboardHook.h"
#include "app/ui/QUIVATell.h"
#include "capture/CKXMCapture.h"
#include "framework/CKXAdoConnection.h"
#include "framework/CKXAdoRecord.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/wformat.h"
#include "platform/db/db.h"

namespace {
void Step(const wchar_t* marker) { OutputDebugStringW(marker); }

// What saving every model tells, kept to be told once the window no longer shows them: under
// the chart and patient when there is one (the manager names each of several itself).
CKXQUIVACaptureModelManager::Teller KeepTold(CKXQUIVACaptureModelManager& models, CString* text, CString* caption)
{
    CKXQUIVACaptureModel::Teller keep = [text, caption](const CString& told, const CString& title) {
        *text = told;
        *caption = title;
    };
    return models.GetModelCount() == 1 ? QUIVATellerOf(*models.GetModel(0), keep) : keep;
}
}  // namespace

CKXQUIVAFrame::CKXQUIVAFrame()
{
    config.SetModelManager(&modelManager);
    modelManager.m_pConfig = &config;
    // Every model has a view of its own, made with the model: its strip, tab, caption and title.
    modelManager.attachView = [](CKXQUIVACaptureModel* model) { CKXQUIVACaptureView::Of(model); };
    titleBar.config = &config;
    titleBar.studyCombo.config = &config;
}

CKXQUIVAFrame::~CKXQUIVAFrame()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow();
    StopRecordings();
    modelManager.DeleteAllModels();
}

void CKXQUIVAFrame::SetEngine(CKXMCapture* capture)
{
    engine = capture;
}

CString CKXQUIVAFrame::LookupPatientName(const CString& chart, bool* reached)
{
    bool ignored = false;
    bool& answered = reached ? *reached : ignored;
    answered = false;
    CKXAdoConnection* connection = config.ConnectDatabase();
    if (!connection) {
        Step(L"#ERR");
        return CString();
    }
    if (!connection->IsOpen())
        return CString();
    answered = true;
    // A chart number is a key of the clinic records: control characters never belong to one,
    // and a quote is doubled so that it cannot end the literal.
    for (int i = 0; i < chart.GetLength(); ++i)
        if (chart[i] < 0x20 || chart[i] == 0x7F)
            return CString();
    CString quoted = chart;
    quoted.Replace(L"'", L"''");
    CString sql;
    sql.Format(L"SELECT PATIENT FROM PATIENT WHERE CNO = '%s'", quoted.GetString());
    CKXAdoRecord record(connection);
    answered = record.Open(sql);
    if (answered && !record.IsEOF())
        return record.GetFieldString(L"PATIENT");
    return CString();
}

void CKXQUIVAFrame::Show(const CString& givenChart, const CString& date, BOOL modal)
{
    // The chart as the records key it, once for every use (look-up, folder, rows, the PACS): the
    // blanks around it are no part of it, and one of blanks or control characters names no
    // patient: it is shown and filed as no chart at all.
    const CString chart = CKXQUIVACaptureModel::TrimChartNo(givenChart);
    bool reached = false;
    CString name = LookupPatientName(chart, &reached);
    if (!m_hWnd) {
        CreateFrame();
    } else {
        CRect r;
        GetWindowRect(&r);
        config.SetWindowRect(r.left, r.top, r.Width(), r.Height());
    }
    const CKXQUIVAConfig::Placement& place = config.GetPlacement();
    int x = place.m_nWindowX, y = place.m_nWindowY, w = place.m_nWindowWidth, h = place.m_nWindowHeight;
    // A capture belongs to a patient: without a chart number the window shows the preview, but no
    // model is current, so nothing is captured or filed under an empty number.
    CKXQUIVACaptureModel* model = chart.IsEmpty() ? nullptr : modelManager.GetOrCreateModel(chart, name);
    g_captureKeys.model = model;
    CString day = date;
    day.Remove(L'-');
    if (model) {
        model->SetStudyDate(day);
        model->SetEngine(engine);
        CKXQUIVACaptureView::Of(model)->AttachWindows(&titleHost, &thumbnailHost);
    }
    titleBar.SetModel(model);
    titleBar.UpdateSource();
    // Control characters the clinic records may hold in a chart or a name are shown as blanks.
    const CString shownChart(quiva::ReplaceControlCharacters(chart.str(), L' '));
    const CString shownName(quiva::ReplaceControlCharacters(name.str(), L' '));
    CString caption = L"영상얻기";
    if (!chart.IsEmpty())
        caption.Format(L"영상얻기 (%s-%s)", shownChart.GetString(), shownName.GetString());
    captionBar.SetCaption(caption);
    title = caption;
    // A window that could not be made shows nothing and runs no loop: nothing could end it.
    if (!m_hWnd)
        return;
    SetWindowText(caption);
    CString tabCaption;
    tabCaption.Format(L"%s-%s", shownChart.GetString(), shownName.GetString());
    if (model)
        thumbnailTab.RebuildTabs(tabCaption, CKXCtrlWndQUIVAThumbnail::Of(model));
    if (!thumbnailTab.tabs.empty())
        thumbnailTab.SelectTab(0);
    thumbnailTab.RecalcLayout();
    thumbnailHost.Redraw();
    if (!inModal)
        ::SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, w, h, SWP_SHOWWINDOW);
    UpdateWindow();
    Invalidate(TRUE);
    if (!engine || !engine->m_bRunning) {
        StartPreview();
    } else {
        titleBar.UpdateSource();
        engine->Start(videoHost);
        titleHost.Redraw();
        RemoveKeyboardHook();
        InstallKeyboardHook();
    }
    // What the clinic database could not give in time is told once the window is up; the loop
    // that may follow is the person's time, not the show's.
    if (quiva::db::EndSharedLockWait())
        QUIVATellDatabaseHeld();
    else if (!reached)
        QUIVATellDatabaseUnreachable();
    if (!inModal) {
        inModal = modal;
        if (modal) {
            SetFocus();
            RunModalLoop(MLF_SHOWONIDLE | ((GetStyle() & 0x100) ? MLF_NOIDLEMSG : 0));
            // The loop is over: the next Show builds a new frame instead of reusing this one.
            inModal = 0;
        }
    }
}

BOOL CKXQUIVAFrame::CreateFrame()
{
    Step(L"-----");
    Step(L"CREATEWND#1");
    captionBar.showMinimize = captionBar.showMaximize = captionBar.showExit = 1;
    captionBar.showSetting = 0;
    Step(L"CREATEWND#2");
    config.LoadLastSave();
    Step(L"CREATEWND#3");
    config.LoadConfig();
    Step(L"CREATEWND#4");
    config.LoadDeviceConfig();
    Step(L"-----");
    Step(L"CREATEWND#5");
    g_captureKeys.stillKey = static_cast<DWORD>(config.GetOptions().m_nCaptureKey);
    Step(L"CREATEWND#5-1");
    const CKXQUIVAConfig::Placement& place = config.GetPlacement();
    int x = place.m_nWindowX, y = place.m_nWindowY, w = place.m_nWindowWidth, h = place.m_nWindowHeight;
    Step(L"CREATEWND#5-2");
    splitter.collapsed = !config.GetPlacement().m_bThumbnailShow;
    if (splitter.videoPane)
        splitter.Relayout();
    Step(L"CREATEWND#5-3");
    if (config.GetPlacement().m_bThumbnailShow && config.GetPlacement().m_nThumbnailSize == 0)
        config.SetThumbnail(1, 200);
    Step(L"CREATEWND#5-4");
    splitter.thumbnailWidth = config.GetPlacement().m_nThumbnailSize;
    Step(L"CREATEWND#5-5");
    titleBar.engine = engine;
    titleBar.recordTimer.engine = engine;
    Step(L"CREATEWND#5-6");
    titleHost.SetRootControl(&titleBar);
    Step(L"CREATEWND#5-7");
    thumbnailHost.SetRootControl(&thumbnailTab);
    Step(L"CREATEWND#5-8");
    thumbnailTab.fixedWidth = 0;
    Step(L"CREATEWND#5-9");
    splitter.engine = engine;
    Step(L"CREATEWND#5-10");
    modelManager.LoadAll();
    Step(L"CREATEWND#5-11");
    for (int i = 0; i < modelManager.GetModelCount(); ++i) {
        CKXQUIVACaptureModel* m = modelManager.GetModel(i);
        CString caption;
        caption.Format(L"%s-%s", m->GetChartNo().GetString(), m->GetPatientName().GetString());
        thumbnailTab.AddTab(caption, CKXCtrlWndQUIVAThumbnail::Of(m), 1);
    }
    Step(L"CREATEWND#6");
    if (!CKXFrameWnd::Create(title, x, y, w, h))
        return FALSE;
    Step(L"CREATEWND#7");
    return TRUE;
}

void CKXQUIVAFrame::StartPreview()
{
    RemoveKeyboardHook();
    if (!engine)
        return;
    // Without sources the black area would say nothing and the capture keys do nothing.
    videoHost.SetNotice(engine->GetDeviceCount() == 0 ? CString(L"캡처 장치를 찾을 수 없습니다.") : CString());
    _KXCaptureStudyConfig settings = config.GetDeviceSettings(config.GetDeviceName());
    videoHost.engine = engine;
    Step(L"P#1");
    engine->m_nRendererKind = settings.render;
    Step(L"P#2");
    engine->SetRequestedFormat(settings.width, settings.height, settings.fps, settings.mediaType);
    Step(L"P#3");
    OutputDebugStringW(quiva::FormatWide(L"%s %x", config.GetDeviceName().GetString(),
                                         static_cast<unsigned>(reinterpret_cast<uintptr_t>(videoHost.GetSafeHwnd())))
                           .c_str());
    QUIVAApplyColorOption(*engine, config);
    engine->SelectDevice(config.GetDeviceName(), videoHost);
    Step(L"P#4");
    if (engine->m_bRunning) {
        titleBar.UpdateSource();
        engine->SetColorControls(settings.hue, settings.saturation, settings.brightness, settings.contrast);
        Step(L"P#5");
        engine->Start(videoHost);
        Step(L"P#6");
        titleHost.Redraw();
        InstallKeyboardHook();
    } else if (videoHost.GetSafeHwnd()) {
        videoHost.Invalidate(TRUE);
    }
}

int CKXQUIVAFrame::CreateChildren()
{
    int h = CaptionPixels();
    titleHost.Create(this, 0, h, 800, 40, 100);
    if (!thumbnailHost.Create(this, 0, 0, 0, 0, 2))
        return FALSE;
    if (!videoHost.Create(this))
        return FALSE;
    splitter.Create(this, h + 40, &videoHost, &thumbnailHost);
    return TRUE;
}

int CKXQUIVAFrame::RecalcLayout(int, int)
{
    if (!m_hWnd || !titleHost.GetSafeHwnd())
        return FALSE;
    CRect c;
    GetClientRect(&c);
    int W = c.Width(), H = c.Height(), h = CaptionPixels(), top = h + 40, D = H - top;
    int b = splitter.barWidth, T = splitter.thumbnailWidth;
    titleHost.MoveWindow(0, h, W, 40);
    titleHost.Invalidate(FALSE);
    if (splitter.collapsed) {
        videoHost.MoveWindow(0, top, W - b, D);
        splitter.MoveWindow(W - b, top, b, D);
        splitter.Redraw();
    } else {
        videoHost.MoveWindow(0, top, W - T - b, D);
        splitter.MoveWindow(W - T - b, top, b, D);
        thumbnailHost.MoveWindow(W - T, top, T, D);
        splitter.Redraw();
        videoHost.Invalidate(TRUE);
        thumbnailHost.Invalidate(TRUE);
    }
    if (engine && engine->m_bRunning)
        engine->UpdateVideoPosition();
    return TRUE;
}

void CKXQUIVAFrame::StopRecordings()
{
    for (int i = 0; i < modelManager.GetModelCount(); ++i)
        if (CKXQUIVACaptureModel* m = modelManager.GetModel(i))
            m->StopRecording();
}

int CKXQUIVAFrame::CanClose()
{
    Step(L"Close#1");
    StopRecordings();
    CString missed, missedCaption;
    if (config.GetOptions().m_bSaveWhenClose) {
        modelManager.CommitAll(KeepTold(modelManager, &missed, &missedCaption));
        // The models are gone: nothing may show or key into them while the person is told.
        DropModels();
    }
    Step(L"Close#2");
    if (engine)
        engine->Stop();
    // What the PACS missed is told once the window is out of sight, before it goes.
    if (!missed.IsEmpty()) {
        if (IsWindowVisible())
            ShowWindow(SW_HIDE);
        QUIVATell(missed, missedCaption);
    }
    if (inModal) {
        if (IsWindowVisible())
            ShowWindow(SW_HIDE);
        EndModalLoop(0);
        // Hosts rely on this: the window they gave is destroyed with the modal capture window.
        if (hostWnd)
            ::DestroyWindow(hostWnd);
    }
    return TRUE;
}

void CKXQUIVAFrame::Clear()
{
    captionBar.SetCaption(L"영상얻기");
    if (m_hWnd)
        SetWindowText(L"영상얻기");
    StopRecordings();
    CString missed, missedCaption;
    if (config.GetOptions().m_bSaveWhenClose)
        modelManager.CommitAll(KeepTold(modelManager, &missed, &missedCaption));
    DropModels();
    if (m_hWnd) {
        thumbnailHost.Invalidate(TRUE);
        Invalidate(TRUE);
    }
    // Told once the window shows no model any more.
    if (!missed.IsEmpty())
        QUIVATell(missed, missedCaption);
}

void CKXQUIVAFrame::DropModels()
{
    modelManager.DeleteAllModels();
    thumbnailTab.RemoveAllTabs();
    titleBar.SetModel(nullptr);
    g_captureKeys.model = nullptr;
    RemoveKeyboardHook();
}

void CKXQUIVAFrame::OnDestroy()
{
    // The restored rectangle: a minimised or maximised window comes back as the user left it.
    WINDOWPLACEMENT wp{};
    wp.length = sizeof wp;
    GetWindowPlacement(&wp);
    CRect r = wp.rcNormalPosition;
    config.SetWindowRect(r.left, r.top, r.Width(), r.Height());
    Step(L"Destroy#1");
    config.SetThumbnail(!splitter.collapsed, splitter.thumbnailWidth);
    if (engine)
        config.SetDeviceName(engine->GetCurrentDeviceName());
    config.SaveLastSave();
    Step(L"Destroy#2");
    Step(L"Destroy#3");
    RemoveKeyboardHook();
    Step(L"Destroy : StopCapture\n");
    StopRecordings();
    if (engine)
        engine->Stop();
    Step(L"Destroy : Close\n");
    modelManager.DeleteAllModels();
    g_captureKeys.model = nullptr;
    // A handler of the bar may still be running below (a dialog's loop): it finds no model.
    titleBar.SetModel(nullptr);
    Step(L"Destroy#4");
    thumbnailTab.RemoveAllTabs();
    Step(L"Destroy#5");
    if (titleHost.GetSafeHwnd())
        titleHost.DestroyWindow();
    Step(L"Destroy#6");
    if (videoHost.GetSafeHwnd())
        videoHost.DestroyWindow();
    Step(L"Destroy#7");
    // A modal loop waiting on this window ends with it.
    if (inModal && (m_nFlags & WF_MODALLOOP))
        EndModalLoop(0);
    inModal = 0;
    CKXFrameWnd::OnDestroy();
    Step(L"Destroy#8");
}

void CKXQUIVAFrame::OnGetMinMaxInfo(MINMAXINFO* mmi)
{
    if (mmi)
        mmi->ptMinTrackSize = POINT{800, 600};
}

LRESULT CKXQUIVAFrame::OnNcHitTest(CPoint point)
{
    CPoint p = point;
    ScreenToClient(&p);
    CRect video;
    if (videoHost.GetSafeHwnd()) {
        videoHost.GetWindowRect(&video);
        ScreenToClient(&video);
    }
    if (captionShown && captionBar.IsDragArea(Scaled(p.x), Scaled(p.y))) {
        RefreshCaptionFlags();
        Redraw();
        return HTCAPTION;
    }
    if (video.PtInRect(p))
        return HTCAPTION;
    return CWnd::OnNcHitTest(point);
}

BOOL CKXQUIVAFrame::OnMouseWheel(UINT flags, short delta, CPoint point)
{
    HWND strip = thumbnailHost.GetSafeHwnd();
    CRect area;
    // A wheel the strip has had already (it has the focus) comes up to here after it.
    if (!forwardingWheel && strip && ::IsWindowVisible(strip) && ::GetFocus() != strip) {
        thumbnailHost.GetWindowRect(&area);
        if (area.PtInRect(point)) {
            forwardingWheel = true;
            ::SendMessageW(strip, WM_MOUSEWHEEL, MAKEWPARAM(flags, static_cast<WORD>(delta)),
                           MAKELPARAM(static_cast<WORD>(point.x), static_cast<WORD>(point.y)));
            forwardingWheel = false;
            return TRUE;
        }
    }
    return CKXFrameWnd::OnMouseWheel(flags, delta, point);
}

void CKXQUIVAFrame::OnActivateChanged(BOOL active)
{
    g_captureKeys.active = active;
    if (g_bNoPrevent)
        g_captureKeys.active = 1;
}
