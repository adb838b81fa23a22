// The temporary image store: the stills, recordings, info.xml files and commit journals of the
// patients captured here and not yet saved into the clinic records, below one root:
//
//     <root>\<chart>\<study>\<yyyymmdd>\{HHMMSSmmm.bmp|.jpg|.avi, <file>.avi.frames,
//                                        <file>.commit, info.xml}
//
// This class alone names and writes the store's files (the engine writes a still's BMP and a
// recording's frames to the names it gives), lists its folders (the open), settles what a crash
// left in them and removes its files; the model (captures, marks, recordings), the manager (the
// open, with the models) and the commit call it.
//
// What holds, and the tests that hold it:
//
//  1. Durable when, under which name. A still's name (NewStillName) never holds part of a
//     picture: the engine writes the BMP under a temporary name, flushed and renamed; a JPEG is
//     written atomically, and its BMP goes only once the folder holding the JPEG's name is
//     flushed (KeepAsJpeg). A recording's AVI
//     is durable as far as the whole frames its frame record (`<file>.avi.frames`) names.
//     info.xml is replaced atomically and its folder flushed (WriteInfoXml); a study folder's
//     info.xml, naming the chart, study and date, is written before its first capture. A commit
//     journal (`<file>.commit`, WriteJournal) is written atomically and flushed with its folder
//     before the rows are committed.
//     (CaptureModel.AStillIsOnTheDiskBeforeItIsListedOrItsBmpGoes,
//     CaptureModel.AJpegThatCannotBeWrittenKeepsAndListsTheBmp,
//     CommitStations.NewNamesReachTheDiskBeforeAnythingReliesOnThem,
//     TemporaryStore.AStudysFirstStillCutByACrashKeepsItsTitle,
//     TemporaryStore.MarksAndTheirUndoOutliveACrash)
//  2. What the open settles, and how (SettleFolder's steps, before a folder's files are listed):
//     the temporaries a crash cut short are removed (RemoveLeftovers); a still cut short is
//     never listed, and removed only when its name is one of the store's own time names
//     (SetAsideCutStill); a BMP and the JPEG made from it are one still, the BMP giving way
//     (SettleTwinStills; two different pictures are both kept); a journal whose file has gone is
//     removed (SettleFinishedJournal), one whose file is there is settled by the commit
//     (CKXQUIVACaptureModel::ResolveInterruptedCommit); a cut recording is mended to the whole
//     frames its record names, and removed with its record only when it is listed nowhere and
//     its record names no frame (SettleRecording).
//     (StoreWithPacs.CutPicturesAreNeitherShownNorSavedAndOnlyTheStoresOwnAreRemoved,
//     StoreWithPacs.ABmpAndAJpegOfOneNameThatAreTwoPicturesAreBothSaved,
//     TemporaryStore.ARecordingCutByACrashComesBackPlayableAndIsSavedWhole,
//     TemporaryStore.OnlyTheRecordersOwnCutFilesAreMendedAndOnlyAsFarAsTheirWholeFrames,
//     TemporaryStore.ARecordingCutBeforeItsFirstFrameIsRemovedAtTheNextOpen,
//     TemporaryStore.AListedRecordingHoldingNoFrameIsKept,
//     CommitStations.TemporariesLeftByACrashAreRemovedAndNeverTakenForCaptures,
//     CommitTrouble.ACommitCutBeforeTheStillLeftTheStoreIsSettledOnceAfterTheImageDirectoryChanged,
//     TemporaryStore.AJournalWhoseFileHasGoneIsRemovedAndNothingElse)
//  3. Who may remove what. Only this class removes a file of the store, only a file of the
//     store's own kinds (stills, recordings, journals; leftovers by their temporary names) and
//     only inside its root; debug builds check both, and the thread (AssertOwn). The open never
//     removes a listed capture nor a file of another program's naming; a capture leaves the store
//     only at the commit, once its rows and copy are safe (LeaveStore), or when it is discarded
//     there (RemoveCapture), and its journal only with it. The copies a commit makes and removes
//     are in the clinic's image directory, not the store: the commit keeps them.
//     (TemporaryStoreChecks.ARemovalOutsideTheRootOrOfAFileNotTheStoresStopsADebugBuildAndRemovesNothing,
//     CommitStations.AKilledCommitLeavesEveryCaptureInExactlyOnePlace,
//     CommitStations.AStoreFileThatCannotBeRemovedIsNeverCommittedTwice,
//     Commit.AJournalSettlesOnlyTheFileRowAndCopyItWasWrittenFor,
//     TemporaryStore.AnotherProgramsCutVideoWithFramesOfNoDataKeepsEveryFrame,
//     ModelManager.EmptiedFoldersAreRemovedUpToTheFirstThatHoldsAFile)
//  4. Which chart, study and date a file belongs to: the chart the first info.xml in or below
//     its chart folder names; a chart whose cleaned name another chart's folder holds takes
//     `<name>~2`, `~3`, ... (FindChartFolder); the study and date its folder's
//     info.xml lists it under (`<image Study= StudyDate=>`), else the ones the folder was made
//     for (`<patient Study= StudyDate=>`), else those its place names.
//     (ModelManager.AChartFolderBelongsToTheChartItsInfoXmlNames,
//     RecordValues.ChartsWhoseFolderNamesCleanAlikeKeepTheirOwnStills,
//     ModelManager.ALooseCaptureIsListedUnderTheStudyAndDateItsFolderNames,
//     ModelManager.AStudyFolderWithoutInfoXmlComesBackToTheChartItsPlaceNames,
//     ModelManager.StoreIsReadBackAsItWasLeft)
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_set>
#include <vector>

#include "app/model/Forward.h"
#include "platform/base/CString.h"
#include "platform/base/FolderListing.h"
#include "platform/base/wintypes.h"
#include "platform/gdi/gdiplus.h"

class CKXQUIVATemporaryStore {
public:
    // A store below `root`; its files are removed on the thread given (the model's window
    // thread), which debug builds check.
    explicit CKXQUIVATemporaryStore(CString root, std::thread::id thread = std::this_thread::get_id());
    // The store a file's folder is to code that knows no root (a journal settled by itself).
    static CKXQUIVATemporaryStore OfFile(const CString& path);

    const CString& Root() const { return m_root; }

    // The journal of a store file: "<file>.commit".
    static CString JournalPath(const CString& file);
    // Whether a name is one the capture gives its stills: "hhmmssmmm" and ".bmp" or ".jpg".
    static bool IsOwnStillName(std::wstring_view name);

    // Creation (1.).
    // The root folder, with the folders above it.
    bool MakeRoot() const;
    // "<folder>\HHMMSSmmm.bmp" of the time `now`, its folder made first, for a still the engine
    // writes: a name neither a BMP nor a JPEG has (a capture within the same millisecond moves on
    // by one); empty when the folder cannot be made.
    CString NewStillName(const CString& folder, const SYSTEMTIME& now) const;
    // "<folder>\HHMMSSmmm.avi" likewise, for a recording.
    CString NewRecordingName(const CString& folder, const SYSTEMTIME& now) const;
    // The still `bmp` of `folder`, written by the engine, kept as a JPEG of `picture`: the JPEG is
    // written atomically and the folder flushed before the BMP goes. The path to list: the
    // JPEG's, or the BMP's when the JPEG could not be written (no JPEG is left then).
    CString KeepAsJpeg(Gdiplus::Image* picture, const CString& folder, const CString& bmp, int quality) const;

    // "<folder>\info.xml" replaced atomically by `xml` with the captures `images` gives (each its
    // path and the values of its `<image Study= StudyDate= Saved= Deleted= IsVideo=>`), then the
    // folder flushed; false when it could not be written (the old one stays). `rows`: about how
    // many captures `images` gives.
    using ImageRows = std::function<bool(std::wstring_view& path, std::vector<std::wstring_view>& values)>;
    bool WriteInfoXml(const CString& folder, CKXXmlDocument& xml, const ImageRows& images, size_t rows = 0) const;
    // The journal of `file`, written atomically; `knownAbsent`: no journal of it is there in any
    // case of its name, and the folder is not read to look for one.
    bool WriteJournal(const CString& file, const std::string& text, bool knownAbsent) const;

    // Removals (3.). Each returns whether the file is gone.
    // A capture, still or recording, by its own name only (a still that could not be filed, a
    // BMP whose JPEG is durable, a file discarded at the commit).
    bool RemoveCapture(const CString& path) const;
    // A recording and its frame record.
    bool RemoveRecording(const CString& path) const;
    // The journal of `file`.
    bool RemoveJournal(const CString& file) const;
    // A committed file out of the store, its journal with it only when the file went: a file
    // left behind keeps the journal that says it is committed.
    bool LeaveStore(const CString& file) const;
    // A folder that holds no file but info.xml files, with its subfolders; false when it holds
    // one (nothing is removed).
    bool RemoveEmptyFolder(const CString& folder) const;

    // The open's settling of one folder (2.), before its captures are listed.
    // The temporaries a crash cut short; how many were removed.
    int RemoveLeftovers(const CString& folder) const;
    // A still cut short: removed when its name is the store's own, otherwise left as it is.
    void SetAsideCutStill(const CString& folder, const std::wstring& name) const;
    // A still left in two files, "X.bmp" and "X.jpg", after a cut between the JPEG taking its
    // name and the BMP's removal: the BMP gives way to the JPEG made from it; a file of the
    // store's own naming that does not decode whole gives way to a whole twin; two whole pictures
    // that differ are both kept. `gone[i]` marks a removed entry, `keptOf[i]` the entry kept in
    // its place. A still with a commit journal is left to the commit's settling.
    void SettleTwinStills(const CString& folder, const std::vector<quiva::FolderListing::Entry>& entries,
                          const std::unordered_set<std::wstring>& journals, std::vector<bool>& gone,
                          std::vector<size_t>& keptOf) const;
    // A commit journal whose file has gone (that commit was finished) is removed; true when
    // `path` was such a journal.
    bool SettleFinishedJournal(const CString& path) const;
    // A recording cut short, mended to the whole frames its record names; one listed nowhere
    // whose record names no frame is removed with it. False when it was removed.
    bool SettleRecording(const CString& path, bool listed) const;

    // The open (2., 4.): one folder of the store read once (platform/base/FolderListing.h), what
    // a crash left in it settled, its captures given to the model of its chart, then its
    // subfolders. What it asks of its caller, the manager:
    struct Opening {
        // The model a folder's captures join (none for a folder that names no chart), its
        // info.xml read into `xml`; false when the folder is nobody's to file (left as it is).
        std::function<bool(const CString& folder, CKXXmlDocument& xml, CKXQUIVACaptureModel** model)> folderModel;
        // Whether a file with a commit journal is still in the store once that commit is settled.
        std::function<bool(const CString& path, const std::unordered_set<std::wstring>& journals)> stillInStore;
    };
    void OpenFolder(const CString& folder, const Opening& opening) const;

    // Whose a file is (4.).
    // The chart a chart folder belongs to: the first chart number an info.xml names, the
    // folder's own, then those of its study and date folders; empty when none names one.
    static CString ChartOfFolder(const CString& chartFolder);
    // The chart's own folder below the root: "<root>\<cleaned chart>" when it is free or this
    // chart's (or, named by no info.xml, named exactly after it), else the first of "~2", "~3",
    // ... that is (see CKXQUIVACaptureModel::ChartFolder).
    CString FindChartFolder(const CString& chartNo) const;
    // The chart a study folder without info.xml belongs to: the one the other info.xml files of
    // its chart folder name, else the one its place names when the name can only be that chart's
    // (a name with '_' may stand for characters no folder name holds, one with '~' for a second
    // chart of a cleaned name); empty when the folder is no study folder or its chart cannot be
    // told.
    CString UnlistedFolderChart(const CString& folder) const;
    // The study title and date a capture found in `folder` but listed nowhere was taken under,
    // as the folder names them: "<root>\<chart>\<study>\<yyyymmdd>" (or "<root>\<chart>\<yyyymmdd>"
    // for an untitled study). `titles` are titles the store lists, of which the one whose folder
    // name the folder has is the title (else the folder's name). False when the folder is no
    // study folder.
    bool FolderStudy(const CString& folder, const std::vector<CString>& titles, CString* study, CString* date) const;

private:
    struct FolderScan;  // one folder as OpenFolder reads it
    // Takes the files the folder's info.xml lists into its model, after settling the stills left
    // in two files; marks what the loose files pass over.
    void TakeListedFiles(FolderScan& scan, CKXXmlDocument& xml) const;
    // One record of info.xml; false at a record without a path (the list ends there).
    bool TakeListedFile(FolderScan& scan, const CString& path, const std::vector<CString>& attributes) const;
    // The folder's files no info.xml lists, under the study and date its place names, and its
    // subfolders.
    void TakeLooseFiles(FolderScan& scan) const;
    void TakeLooseFile(FolderScan& scan, size_t index) const;

    // Debug builds: `path` is inside the root, of one of the store's own kinds, and the caller
    // is on the store's thread.
    void AssertOwn(const CString& path) const;

    CString m_root;
    std::thread::id m_thread;
};
