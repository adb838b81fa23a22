// The captured stills and recordings of one patient in the temporary image store, with the
// current study name and date; takes stills and recordings through the engine and commits them
// into the clinic records.
//
// Threads: everything runs on the host's UI thread except the recording tick, which runs on the
// timer-queue thread. The tick only writes frames, has the listener repaint the title bar and,
// when the recording ends, closes the AVI and posts the rest (record, info.xml, strip) to the UI
// thread.
// The file list is touched on the UI thread only: the tick never reaches it, and the commit and
// the PACS send run on the UI thread too. A lock around it would never be contended, so it has
// none: every walk of the records (the model's and the strip's) asserts instead, in debug
// builds, that it runs on the thread that made the model (AssertWindowThread). That does not
// stop a re-entry on the UI thread; the commit walks a copy of the list.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <cassert>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "app/model/CKXCaptureFileListener.h"
#include "app/model/Forward.h"
#include "platform/base/CString.h"
#include "platform/base/wintypes.h"
#include "platform/gdi/gdiplus.h"

namespace quiva {
class WatchedFolderNames;
}

// One captured file of a model.
struct _KXCaptureFileInfo {
    _KXCaptureFileInfo() = default;
    _KXCaptureFileInfo(const _KXCaptureFileInfo&) = delete;
    _KXCaptureFileInfo& operator=(const _KXCaptureFileInfo&) = delete;

    CString study;  // study title ("None" for a loose file found in the store)
    CString date;   // yyyymmdd
    CString path;   // full path in the temporary store
    int isVideo = 0;
    int saved = 0;      // committed (stored or discarded)
    int discarded = 0;  // removed at commit without being stored
    int present = 0;    // kept; 0 = marked deleted by the user
    std::unique_ptr<Gdiplus::Image> image;  // the still or the video's first frame
    // The still's own size when `image` is kept smaller than it (at its cell's size, see
    // CKXCaptureFileListener::KeepPicture) or not read yet; 0 when `image` is at its own size.
    UINT width = 0, height = 0;
    // A still listed by its own size alone (CKXCaptureFileListener::NoteFile): `image` is null
    // until the strip first needs the picture and reads it from the file.
    bool pictureDeferred = false;
    // Whether the record has a picture to lay out, read or still to be read.
    bool HasPicture() const { return image || pictureDeferred; }
    // The picture scaled once to the strip's cell: a full-size still scaled on every paint
    // costs more than the capture itself. Made and read on the window thread only.
    std::unique_ptr<Gdiplus::Image> cellPicture;
};

// Sounds of the module.
#define IDW_CAPTURE_STILL 10011
#define IDW_RECORD_STOP 10014
#define IDW_RECORD_START 10015

// Frames per second of a recording.
#define KX_RECORD_FRAME_RATE 13

class CKXQUIVACaptureModel {
public:
    CKXQUIVACaptureModel();
    // Stops a recording (waiting for a tick in progress; the AVI is recorded in its info.xml)
    // and deletes the file records. A model the manager made is the manager's alone and goes
    // through its DeleteModel; debug builds stop at one deleted otherwise.
    virtual ~CKXQUIVACaptureModel();
    CKXQUIVACaptureModel(const CKXQUIVACaptureModel&) = delete;
    CKXQUIVACaptureModel& operator=(const CKXQUIVACaptureModel&) = delete;

    // What a commit came to; the values are the numbers the commit has always given.
    enum class CommitResult {
        Done = 0,
        NoConfiguration = 1,
        // No image directory, or a file could not be put into it.
        NoImageDirectory = 2,
        NoConnection = 3,
        // The database refused a file's rows.
        RowsRefused = 4,
        // Another program held the database past the bounded wait.
        DatabaseHeld = 5,
        // The disk holding the store has no room for a journal.
        StoreDiskFull = 6,
        // A file's rows were reported not committed and the database cannot yet tell whether they
        // were (the file stays, and the next commit asks again).
        RowsUntold = 7,
    };
    virtual CommitResult Commit();
    // The message box text and caption that tell the person a commit's result; false for a
    // result that is told nothing.
    static bool CommitResultMessage(CommitResult result, CString* text, CString* caption);
    // A commit, then what the person is told of it, each as text and caption through `tell`:
    // the result's message (none for a result told nothing; only with `tellResult`, which the
    // save button and the strip's save give), then, whatever the result, the stills the PACS
    // missed. Every save tells those: Ctrl+S and a tab's close tell them alone.
    // Stills asked for until it has told everything (the keys and clicks that came while the
    // window thread was busy are read only then) are taken as one still once it has.
    using Teller = std::function<void(const CString& text, const CString& caption)>;
    void CommitAndTell(const Teller& tell, bool tellResult = true);
    // Whether a CommitAndTell is under way: a still asked for now waits for its end.
    bool IsSaving() const { return m_savesUnderWay > 0; }
    // After a commit: how many of its stills the PACS did not store and why, for the person;
    // empty when every still sent was stored (or none was sent).
    CString GetPacsMissedMessage() const { return m_strPacsMissed; }

    void SetPatient(const CString& chartNo, const CString& patientName);
    void SetStudyName(const CString& name) { m_strStudyName = name; }
    // The study title of a capture made while no study name could be had (the clinic database's
    // names not read): the study combo shows it, and a commit gives it to a file without a title,
    // so that no study row is ever made without one.
    static constexpr const wchar_t* kUntitledStudy = L"검사명 미지정";
    // yyyymmdd; anything that is not a calendar date in 8 digits is replaced by today when a
    // folder is built or the still is committed.
    void SetStudyDate(const CString& date) { m_strStudyDate = date; }
    // The manager that made the model and owns it; null for a model made without one, which its
    // maker owns.
    CKXQUIVACaptureModelManager* GetManager() const { return m_pManager; }
    // The names of the folders its info.xml files look its files up in: its manager's, else its own.
    quiva::WatchedFolderNames& FolderNames();
    // The engine the model works with; a recording tick may be reading it. The model reaches
    // no window: its view (the listener) does.
    void SetEngine(CKXMCapture* engine);
    CString GetChartNo() const { return m_strChartNo; }
    CString GetPatientName() const { return m_strPatientName; }
    CString GetStudyName() const { return m_strStudyName; }
    CString GetStudyDate() const { return m_strStudyDate; }

    // "<root>\<chart>\<study>\<yyyymmdd>"; fills an empty or malformed study date with today.
    CString BuildStudyFolder();
    // "<root>\<chart>": the chart's own folder of the store, which no other chart's captures
    // share (see its definition for how it is named and told).
    CString ChartFolder() const;
    // Where ChartFolder found it, without looking in the model's memory of it.
    CString FindChartFolder() const;
    // What a still or the record button came to; the windows tell the person what it says
    // (CaptureResultMessage). Done: nothing to tell, a still filed, a recording started or
    // told to stop, or a still asked for without a running preview (which takes nothing).
    // RecordingStoppedDiskFull: the disk of the store filled during a recording, which ended
    // there and was kept as far as it went (told when the end is handled, not by a caller).
    enum class CaptureResult { Done, StillNotFiled, RecordingRefused, RecordingStoppedDiskFull };
    // The message box text and caption that tell the person a capture's result; false for
    // Done, which is told nothing.
    static bool CaptureResultMessage(CaptureResult result, CString* text, CString* caption);
    // A still of the running preview, filed in the study's folder and listed; StillNotFiled
    // when a grab was asked for and no still was filed (nothing of it stays). During a save it
    // is only noted (Done) and taken when the save ends (CommitAndTell).
    CaptureResult CaptureStill();
    // What a start of a recording came to (the values are the numbers it has always given).
    enum class RecordingStart {
        NoEngine = 0,
        // A recording started, or, video switched off, a still was taken instead.
        Started = 1,
        // Nothing is recorded: a start while a recording or its stop is pending, or one the
        // engine refuses.
        NotStarted = 2,
        // Video is switched off and the still taken instead could not be filed.
        StillNotFiled = 3,
    };
    RecordingStart StartRecording(int limitSeconds);
    // The record button and F6: a running recording is told to stop (the engine's recording
    // flag is cleared and the next tick ends it), otherwise one starts with the configured
    // limit. A recording whose end the tick has not handled yet still counts as running, so a
    // second press never opens a recording over the first. RecordingRefused when a start was
    // asked for and no recording started; with video switched off, what the still came to.
    CaptureResult ToggleRecording();
    static constexpr const wchar_t* kRecordingRefused = L"동영상 녹화를 시작하지 못했습니다.";
    static constexpr const wchar_t* kStillNotFiled = L"정지영상을 저장하지 못했습니다.";
    static constexpr const wchar_t* kCaptureErrorCaption = L"영상획득 오류";
    static constexpr const wchar_t* kRecordingStoppedDiskFull =
        L"임시 저장 폴더가 있는 디스크가 가득 차서 동영상 녹화를 멈추었습니다. 그때까지 녹화한 영상은 보관되었습니다.";
    // A full disk under the store, whether it stopped a recording or a save.
    static constexpr const wchar_t* kDiskFullCaption = L"디스크오류";
    static void CALLBACK RecordTimerProc(PVOID parameter, BOOLEAN timerFired);
    void RecordTick();
    // Ends the recording now, from the UI thread.
    void StopRecording();
    // Whether a recording runs or its end has not been handled yet.
    bool IsRecordingPending();
    // The posted end of a recording, on the UI thread.
    void RecordingEndedOnUiThread();
    // The message (WM_APP + 0x151) the tick posts to the model's hidden window.
    static constexpr UINT kRecordingEndedMessage = 0x8000 + 0x151;
    // The class of that window and its procedure, which hands the message to the model; the
    // module registers the class with its window classes (QUIVAWindowClasses.h), and the model
    // itself when it is used without the module.
    static constexpr const wchar_t* kNotifyClass = L"QUIVACaptureModelNotify";
    static LRESULT CALLBACK NotifyWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // Whether two Windows paths name the same file or folder: separators and their repeats are
    // folded; names are compared with or without regard to case.
    static bool SamePath(const CString& a, const CString& b, bool caseSensitive);
    // What SamePath compares: two paths name the same file exactly when their keys are equal.
    // Resolving a path costs file-system lookups, so a key is made once a path and kept.
    static CString PathKey(const CString& path, bool caseSensitive);
    // PathKey of the entry `name`, spelt as the folder's listing spells it, of the folder whose
    // key is `folderKey` (PathKey of the folder, same regard to case): no look-up.
    static CString EntryPathKey(const CString& folderKey, const wchar_t* name, bool caseSensitive);
    // Lists a record made by MakeRecord, its marks (saved, present) as the caller set them, with
    // its picture read from its file; a file listed already, however its path is spelt, is not
    // listed again.
    void AddFileInfo(std::unique_ptr<_KXCaptureFileInfo> record);
    // AddFileInfo of a record whose path's case-blind key (PathKey(path, false)) the caller has
    // made; in the store's open, with the still's own size that its file's header gave (null:
    // none, or not read). True when the file is listed (now or already).
    bool AddKeyedFileInfo(const CString& key, std::unique_ptr<_KXCaptureFileInfo> record,
                          const Gdiplus::Size* own = nullptr);
    // Null when the index is outside the list. The record stays valid while the model lives;
    // only the UI thread adds records.
    _KXCaptureFileInfo* GetFileInfo(int index);
    int GetFileCount();
    // The delete marks: each change reaches the info.xml of the folders of the files it marks
    // before the strip can show it, so a crash leaves every file as the person last saw it. A
    // folder whose info.xml cannot be written keeps its files' marks as they were, and the
    // result is false: the person is told the marks were not changed (kMarksNotKept).
    bool RestoreUnsaved();
    bool DeleteUnsaved();
    bool TogglePresent(int index);
    static constexpr const wchar_t* kMarksNotKept = L"임시 저장 폴더에 기록할 수 없어 삭제 표시를 바꾸지 못했습니다.";
    static constexpr const wchar_t* kMarksNotKeptCaption = L"폴더오류";
    // A copy of the picture at its own size; an empty image when the file cannot be read.
    static Gdiplus::Image* LoadImageCopy(const CString& path);
    // A picture of the file at least `width` wide where the file allows it cheaply (a JPEG is
    // decoded reduced; anything else at its own size), with the still's own size in `own`; an
    // empty image (own 0 x 0) when the file cannot be read.
    static Gdiplus::Image* LoadImageAtLeast(const CString& path, UINT width, Gdiplus::Size* own);
    static Gdiplus::Image* LoadVideoThumbnail(const CString& path);
    // What a record's file is (its isVideo).
    enum class FileKind { Still = 0, Video = 1 };
    // A record of a file in the store, kept and not committed, without its picture yet.
    static std::unique_ptr<_KXCaptureFileInfo> MakeRecord(const CString& path, const CString& study, const CString& date,
                                                          FileKind kind);

    // Lists every record whose file exists in "<folder>\info.xml" (empty: the current study
    // folder), written atomically; false when it could not be written (the old one stays).
    bool WriteInfoXml(CString folder);
    void RemoveEmptyFolders();
    // Writes the folder's info.xml when it has none, before the folder's first capture is
    // written: the file names the chart, without which the loader would pass the capture over,
    // and the study title and date the capture is taken under.
    void NameChartIn(const CString& folder);

    // "<image directory>\aa\bb\cc\dd\<n><ext>" with aabbccdd the "%08x" of n / 255 and the
    // temporary file's extension as it is.
    static CString ImageDirectoryPath(const CString& imageDirectory, int imgNo, const CString& tempPath);
    // How a commit of a file cut short by the end of the process was settled by the database
    // (the values are the numbers the settling has always given).
    enum class InterruptedCommit {
        // It cannot be told now (the journal stays).
        CannotTell = -1,
        // It did not go through, or there was none: the file is unsaved.
        NotThrough = 0,
        // It went through: the file has left the store.
        WentThrough = 1,
    };
    // A commit of the file cut short by the end of the process, settled by the database.
    // A journal is taken only for the file and the row it was written for, its copy holding the
    // file's bytes; an older version's journal only when it names the path its image number gives
    // in `imageDirectory` (-1 while the image directory is not known). Any other is removed and the
    // file is unsaved.
    static InterruptedCommit ResolveInterruptedCommit(const CString& path, CKXAdoConnection* db,
                                                      const CString& imageDirectory);
    // The names of the commit journals in a folder, ASCII letters in lower case, and whether a
    // file of that folder has one among them. One listing answers for every file of the folder:
    // a journal that is not there, looked for by name, costs a read of the whole folder.
    static std::unordered_set<std::wstring> CommitJournalsIn(const CString& folder);
    // Adds a folder's entry to its journals when it is one.
    static void AddCommitJournal(const wchar_t* name, DWORD attributes, std::unordered_set<std::wstring>& journals);
    static bool HasCommitJournal(const CString& path, const std::unordered_set<std::wstring>& journals);
    static CString BuildTodayDate();

    // The view of the files (the capture window's, app/ui/CKXQUIVACaptureView), owned; none until
    // the windows attach one.
    // The tick may be calling the one it replaces: the swap is made under the recording lock.
    void SetFileListener(std::unique_ptr<CKXCaptureFileListener> listener);
    CKXCaptureFileListener* GetFileListener() const { return m_pFileListener.get(); }

    // The file list is the window thread's, the thread that made the model: a walk of the
    // records from any other thread is a fault, which debug builds stop at.
    void AssertWindowThread() const { assert(std::this_thread::get_id() == m_windowThread); }
    // The store below the root, which alone removes its files, on the window thread.
    CKXQUIVATemporaryStore Store() const;

    // Chart numbers, study names and dates as single folder names of the store: separators and
    // the characters / : ? \ * < > | become "_", "." and ".." are replaced, trailing dots and
    // spaces are dropped.
    static CString CleanFolderName(const CString& name);
    // A chart number as the clinic's records key it: without the blanks (ASCII and the
    // ideographic space U+3000) around it, as the PACS takes it. Empty when nothing but blanks
    // and control characters was given: such a chart names no patient.
    static CString TrimChartNo(const CString& chart);
    static bool IsStudyDate(const CString& date);

    // Set once by the manager (or a test's own model) before the model is used.
    CString m_strImageRoot;
    std::vector<std::unique_ptr<_KXCaptureFileInfo>> m_files;
    CKXQUIVAConfig* m_pConfig = nullptr;                 // not owned
    std::vector<CString> m_matchedTitles;

protected:
    CString m_strChartNo;
    CString m_strPatientName;
    CString m_strStudyName;
    CString m_strStudyDate;
    CKXMCapture* m_pEngine = nullptr;  // not owned; the tick reads it under the recording lock
    int m_bJpeg = 1;
    HMODULE m_hSoundModule = nullptr;
    CKXQUIVACaptureModelManager* m_pManager = nullptr;  // not owned

    // What one commit carries from file to file.
    struct CommitState {
        CKXAdoConnection* db = nullptr;
        CString imageDirectory;
        int nextOno = 1;
        int currentOno = -1;
        CString prevTitle;
        CString prevDate;
        CString mdate;  // of the file being committed, yyyy-mm-dd
        int sends = 0;
        bool stop = false;  // the commit cannot go on (no transaction, no study to continue)
        CString cleanedFolder;  // of the image directory, rid of leftover copies
        std::unordered_set<std::wstring> cleanedNames;  // in it, in lower case as FolderNames gives them
        bool journalListed = false;  // the file being committed had a journal when the commit began
        // The journals of each folder of the store, listed when its first file comes.
        std::map<std::wstring, std::unordered_set<std::wstring>> journals;
        CommitResult failure = CommitResult::Done;  // the result the failed file gives
    };
    // The unsaved of `files`, one after the other, as far as the commit can go; the result of
    // the first file that failed, or Done.
    CommitResult CommitFiles(const std::vector<_KXCaptureFileInfo*>& files, CommitState& state, CKXSendDicomModel& send);
    // What a file's journal and its flags decide before it is committed: an interrupted commit
    // the database cannot tell yet (Undecided), a file that has left the store or is discarded
    // now (Settled), or one to commit (ToCommit).
    enum class FileStep { ToCommit, Settled, Undecided };
    FileStep SettleFile(_KXCaptureFileInfo* info, CommitState& state);
    // A committed still to the PACS, when the configuration sends stills.
    void SendStill(CKXSendDicomModel& send, const _KXCaptureFileInfo* info, CommitState& state, int imgNo, int ono);
    // A committed file out of the store, its journal with it when it could be removed.
    void LeaveStore(_KXCaptureFileInfo* info);
    // One file in one transaction: study row, image row, image count, the copy, the commit.
    bool CommitFile(_KXCaptureFileInfo* info, CommitState& state, int* imgNo, int* ono);
    // Its steps; each that fails has rolled the transaction back, but for a commit cut short.
    enum class StudyStep { Found, TakenNumber, Failed };  // TakenNumber: rolled back, try the next number
    StudyStep FindOrAddStudy(const _KXCaptureFileInfo* info, CommitState& state, const CString& date,
                             const CString& matchKey, int* ono, bool* newStudy);
    bool AddImageRow(const _KXCaptureFileInfo* info, CommitState& state, int ono, int* imgNo);
    bool CopyUnderJournal(const _KXCaptureFileInfo* info, CommitState& state, int imgNo, int ono);
    bool CommitRows(const _KXCaptureFileInfo* info, CommitState& state, int imgNo);
    // Rolls the file's transaction back; `failure` is the result it gives, Done: the one the
    // connection's state tells (held, lost or refused).
    static bool FailCommit(const _KXCaptureFileInfo* info, CommitState& state, const wchar_t* why,
                           CommitResult failure = CommitResult::Done);

    // The UI thread's part of a recording's end: sound, record, info.xml, strip.
    void FinishRecording(const CString& path);
    // Runs the end that the tick posted, if it has not run yet; RecordingStoppedDiskFull when
    // the disk's want of room ended that recording, else Done.
    CaptureResult FinishPostedRecording();
    // Appends a record, rewrites the folder's info.xml and shows the newest cell.
    void AppendAndShow(std::unique_ptr<_KXCaptureFileInfo> info, const CString& folder);
    // Gives a still's record its picture, from the still at its own size or from its file, as
    // the view keeps it; whole without a view.
    void KeepPicture(_KXCaptureFileInfo* info, Gdiplus::Image& picture);
    void KeepFile(_KXCaptureFileInfo* info);
    // A still of the store's open: listed by its own size (`own`, from its file's header), its
    // picture read when the view first needs it; without a size or a view, kept as KeepFile keeps it.
    void NoteFile(_KXCaptureFileInfo* info, const Gdiplus::Size* own);
    void KeepWhole(_KXCaptureFileInfo* info, Gdiplus::Image* picture);
    // Sets the present flag of every unsaved file to `present`; false when a mark was not kept.
    bool MarkUnsaved(int present);
    // Rewrites the info.xml of each folder that holds one of `marked`, records whose present
    // flag was just turned over; in a folder whose info.xml could not be written, the flags are
    // turned back. False when one could not.
    bool WriteInfoXmlOf(const std::vector<_KXCaptureFileInfo*>& marked);
    // Lays the view out again, if there is one.
    void RelayoutView();
    void PlaySound(int id);
    // Claims the recording timer under the recording lock; null when there is none.
    HANDLE TakeTimer();
    // Returns once no tick is at work on the model. A tick that ended the recording dropped its
    // timer itself, so no deletion of the timer waits for it: it may still be at its end.
    void WaitForTickToLeave();
    // The hidden window the tick posts the end of a recording to (made on the UI thread).
    HWND NotifyWindow();

    const std::thread::id m_windowThread = std::this_thread::get_id();  // the file list's
    std::unique_ptr<CKXCaptureFileListener> m_pFileListener;
    // The case-blind path keys of the first m_keyedFiles records (records are only appended).
    std::unordered_set<std::wstring> m_pathKeys;
    size_t m_keyedFiles = 0;
    // The names of the folders whose files WriteInfoXml looked for, for a model no manager
    // keeps (a manager keeps them for all of its models).
    std::unique_ptr<quiva::WatchedFolderNames> m_folderNames;
    HWND m_hNotify = nullptr;
    CString m_strPacsMissed;  // of the last commit
    int m_savesUnderWay = 0;        // CommitAndTell calls not yet returned (a click may nest one)
    bool m_stillAfterSave = false;  // a still asked for during them, taken when they end
    // Goes with the model: a CommitAndTell whose message box outlived the model (the window
    // closed meanwhile) sees that it is gone.
    std::shared_ptr<const bool> m_lifetime = std::make_shared<const bool>(true);
    // The chart's folder as ChartFolder last found it, for the root and chart in the key.
    mutable CString m_chartFolder, m_chartFolderKey;

    friend class CKXQUIVACaptureModelManager;

private:
    // The recording, all of it under m_recordLock.
    struct Recording {
        enum class State {
            // No timer, nothing owned, nothing posted.
            Idle,
            // StartRecording set the timer and owns the engine's recording; each tick
            // (timer-queue thread) writes a frame and checks the limit.
            Running,
            // StopRecording or the model's end (UI thread) took the timer, waiting for a tick in
            // progress; the engine's recording is still owned: StopRecording takes the ownership
            // next and files the recording itself (idle again). An end already posted is finished
            // first.
            Stopping,
            // The tick (or a timer that could not be made) closed the file into endedFile,
            // dropped the timer and ownership, and posted kRecordingEndedMessage to the UI thread;
            // there FinishPostedRecording takes endedFile and files it (idle again).
            EndPosted,
        };
        // Moves to `to` when the move is one of the above (Idle to Running, Running to Stopping
        // or EndPosted, Stopping or EndPosted to Idle); any other is a fault of the caller,
        // written to the debug log, which debug builds stop at and a release build refuses,
        // the state left as it was.
        bool Move(State to);
        State state = State::Idle;
        HANDLE timer = nullptr;  // while Running
        UINT limit = 0;     // ms, 0 = none
        DWORD start = 0;    // GetTickCount() at the start
        CString endedFile;  // the file the tick closed, while EndPosted
        bool endedOutOfRoom = false;  // the disk had no room for its next frame, while EndPosted
    };
    std::mutex m_recordLock;
    Recording m_recording;  // guarded by m_recordLock
    // Where the running recording files itself: the folder, study and date at its start. Set
    // by StartRecording and read by FinishRecording, both on the UI thread; the tick never
    // reads them.
    CString m_strRecordFolder;
    CString m_strRecordStudy;
    CString m_strRecordDate;
};
