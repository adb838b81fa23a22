// The recording side of the capture model: the timer-queue tick, the end of a recording and its
// hand-over to the UI thread.
#include "app/model/CKXQUIVACaptureModel.h"

#include "app/model/QUIVAModuleInstance.h"
#include "capture/CKXMCapture.h"
#include "platform/base/clock.h"
#include "platform/base/debug.h"
#include "platform/base/timerqueue.h"
#include "platform/base/wformat.h"
#include "platform/ui/winuser.h"

LRESULT CALLBACK CKXQUIVACaptureModel::NotifyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    // The window goes with its model, and posted messages with the window: lParam is alive.
    if (msg == kRecordingEndedMessage) {
        reinterpret_cast<CKXQUIVACaptureModel*>(lParam)->RecordingEndedOnUiThread();
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

HWND CKXQUIVACaptureModel::NotifyWindow()
{
    if (m_hNotify)
        return m_hNotify;
    // The module registers the class with its others when it loads (QUIVAWindowClasses.cpp); a
    // model used without the module registers it here.
    WNDCLASSW wc{};
    if (!GetClassInfoW(QUIVAModuleInstance(), kNotifyClass, &wc)) {
        wc = WNDCLASSW{};
        wc.lpfnWndProc = NotifyWindowProc;
        wc.hInstance = QUIVAModuleInstance();
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kNotifyClass;
        RegisterClassW(&wc);
    }
    m_hNotify = CreateWindowExW(0, kNotifyClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, QUIVAModuleInstance(), nullptr);
    return m_hNotify;
}

void CALLBACK CKXQUIVACaptureModel::RecordTimerProc(PVOID parameter, BOOLEAN)
{
    static_cast<CKXQUIVACaptureModel*>(parameter)->RecordTick();
}

void CKXQUIVACaptureModel::SetEngine(CKXMCapture* engine)
{
    std::lock_guard lock(m_recordLock);
    m_pEngine = engine;
}

CKXQUIVACaptureModel::CaptureResult CKXQUIVACaptureModel::ToggleRecording()
{
    if (m_pEngine && (m_pEngine->m_bRecording || IsRecordingPending())) {
        m_pEngine->m_bRecording = 0;
        return CaptureResult::Done;
    }
    switch (StartRecording(0)) {  // the model's configuration gives the limit
    case RecordingStart::Started:
        return CaptureResult::Done;
    case RecordingStart::StillNotFiled:
        return CaptureResult::StillNotFiled;
    case RecordingStart::NoEngine:
    case RecordingStart::NotStarted:
        break;
    }
    return CaptureResult::RecordingRefused;
}

bool CKXQUIVACaptureModel::Recording::Move(State to)
{
    const bool allowed = (state == State::Idle && to == State::Running) ||
                         (state == State::Running && (to == State::Stopping || to == State::EndPosted)) ||
                         ((state == State::Stopping || state == State::EndPosted) && to == State::Idle);
    if (!allowed) {
        OutputDebugStringW(quiva::FormatWide(L"Record: a move of the recording from state %d to %d is refused\n",
                                             static_cast<int>(state), static_cast<int>(to))
                               .c_str());
        // A fault of the caller: debug builds stop at it; a release build goes on as it was.
        assert(!"a move of the recording outside its four states' moves");
        return false;
    }
    state = to;
    return true;
}

HANDLE CKXQUIVACaptureModel::TakeTimer()
{
    std::lock_guard lock(m_recordLock);
    if (m_recording.state != Recording::State::Running)
        return nullptr;
    HANDLE timer = m_recording.timer;
    m_recording.timer = nullptr;
    m_recording.Move(Recording::State::Stopping);
    return timer;
}

void CKXQUIVACaptureModel::WaitForTickToLeave()
{
    // A tick holds the lock for the whole of its run; the lock taken and let go again is the
    // moment none is at work any more.
    std::lock_guard lock(m_recordLock);
}

bool CKXQUIVACaptureModel::IsRecordingPending()
{
    std::lock_guard lock(m_recordLock);
    return m_recording.state != Recording::State::Idle;
}

void CKXQUIVACaptureModel::RecordTick()
{
    // The whole tick runs under the recording lock, so whoever takes the lock after claiming the
    // timer knows no tick is still at work on this model.
    std::lock_guard lock(m_recordLock);
    if (m_recording.state != Recording::State::Running)
        return;  // being deleted
    bool end = false;
    if (!m_pEngine) {
        end = true;
    } else if (m_pEngine->m_bRecording) {
        m_pEngine->WriteRecordFrame();
        if (m_recording.limit != 0 && GetTickCount() - m_recording.start >= m_recording.limit)
            end = true;
        else if (m_pFileListener)
            m_pFileListener->RecordingTimeChanged();
    } else {
        end = true;
    }
    if (!end)
        return;
    // Only the file is closed here; the record, info.xml and the strip are the UI thread's.
    m_recording.endedOutOfRoom = m_pEngine && m_pEngine->RecordingOutOfRoom();
    m_recording.endedFile = m_pEngine ? m_pEngine->EndRecording() : CString();
    DeleteTimerQueueTimer(nullptr, m_recording.timer, nullptr);
    m_recording.timer = nullptr;
    m_recording.Move(Recording::State::EndPosted);
    if (!m_hNotify || !PostMessageW(m_hNotify, CKXQUIVACaptureModel::kRecordingEndedMessage, 0, reinterpret_cast<LPARAM>(this)))
        OutputDebugStringW(L"Record: the end of a recording could not be handed to the window thread\n");
}

void CKXQUIVACaptureModel::RecordingEndedOnUiThread()
{
    // Listed first, then told: the person sees the recording kept while reading why it stopped.
    const CaptureResult ended = FinishPostedRecording();
    CString text, caption;
    if (m_pFileListener && CaptureResultMessage(ended, &text, &caption)) {
        OutputDebugStringW(L"Record: told \"" + caption + L"\": " + text + L"\n");
        m_pFileListener->TellRecordingEnd(text, caption);
    }
}

CKXQUIVACaptureModel::CaptureResult CKXQUIVACaptureModel::FinishPostedRecording()
{
    CString path;
    bool outOfRoom;
    {
        std::lock_guard lock(m_recordLock);
        if (m_recording.state != Recording::State::EndPosted)
            return CaptureResult::Done;
        m_recording.Move(Recording::State::Idle);
        path = m_recording.endedFile;
        outOfRoom = m_recording.endedOutOfRoom;
    }
    FinishRecording(path);
    return outOfRoom ? CaptureResult::RecordingStoppedDiskFull : CaptureResult::Done;
}

void CKXQUIVACaptureModel::StopRecording()
{
    if (!m_pEngine)
        return;
    // A tick in progress is waited for; after the barrier none can start.
    if (HANDLE timer = TakeTimer())
        DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
    bool owned;
    {
        std::lock_guard lock(m_recordLock);
        owned = m_recording.state == Recording::State::Stopping;
        if (owned)
            m_recording.Move(Recording::State::Idle);
    }
    FinishPostedRecording();
    if (owned)
        FinishRecording(m_pEngine->EndRecording());
}

void CKXQUIVACaptureModel::FinishRecording(const CString& path)
{
    PlaySound(IDW_RECORD_STOP);
    // The title bar shows the recording's timer until it is painted again.
    if (m_pFileListener)
        m_pFileListener->RecordingTimeChanged();
    if (path.IsEmpty())
        return;
    // Filed where it started: the study and date at the start, in the folder of the start.
    auto info = MakeRecord(path, m_strRecordStudy, m_strRecordDate, FileKind::Video);
    info->image.reset(LoadVideoThumbnail(path));
    if (!info->image) {
        // The file stays in the store and is found again as a loose file.
        OutputDebugStringW(L"Record: the recording gave no picture and is not listed: " + path + L"\n");
        return;
    }
    AppendAndShow(std::move(info), m_strRecordFolder);
}
