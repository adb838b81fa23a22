// Commit: the model's unsaved files into the clinic records (MMAIN, MIMG), the clinic's image
// directory and, for stills, the PACS.
//
// A file leaves the store only when its rows and its copy are both safe: each file is one
// transaction (study row, image row, image count) that commits only after the copy is complete
// under its final name. A journal beside the file ("<file>.commit": image number, chart, copy,
// study number, the file itself) covers the moment between the database's commit and the removal
// of the file; whoever finds it next asks the database which way it went
// (ResolveInterruptedCommit). A journal settles only the file and the row it was written for: the
// row must be of its chart and study, and the copy it names must hold the file's bytes and be no
// older than the file. Wherever the image directory points meanwhile, the copy is found where the
// journal says; a copy is never made over one that is there.
#include "app/model/CKXQUIVACaptureModel.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <vector>

#include "app/model/CKXQUIVAConfig.h"
#include "app/model/CKXSendDicomModel.h"
#include "app/model/CKXQUIVATemporaryStore.h"
#include "framework/CKXAdoConnection.h"
#include "framework/CKXAdoRecord.h"
#include "framework/CKXRegistry.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/db/db.h"

namespace {

// No study title equals this.
const wchar_t* const kNoTitle = L"\x01no study\x01";
// Attempts at a study number that another station took at the same moment.
constexpr int kStudyNumberAttempts = 8;

CString Literal(const CString& text)
{
    CString out = text;
    out.Replace(L"'", L"''");
    return out;
}

CString Text(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring s = quiva::FormatWideV(format, args);
    va_end(args);
    return CString(s.c_str());
}

void Debug(const CString& text) { OutputDebugStringW(text + L"\n"); }

bool Exists(const CString& path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

// The highest study number of the chart + 1, or 1; 0 when the query fails.
int NextStudyNumber(CKXAdoRecord& record, const CString& chart)
{
    if (!record.Open(L"SELECT ONO FROM MMAIN WHERE CNO='" + Literal(chart) + L"' ORDER BY ONO DESC"))
        return 0;
    if (record.IsEOF() || record.GetFieldString(L"ONO").IsEmpty())
        return 1;
    return _wtoi(record.GetFieldString(L"ONO")) + 1;
}

struct Journal {
    int imgNo = 0;
    CString chart;
    CString target;
    // The row's study and the store file the journal was written for; an older version's journal
    // has neither.
    int ono = 0;
    CString file;
};

const auto JournalPath = CKXQUIVATemporaryStore::JournalPath;

// A journal known not to be there (in any case of its name) is written without the store's
// folder being read to look for it: that read grows with the stills the folder holds.
bool WriteJournal(const CKXQUIVATemporaryStore& store, const CString& file, const Journal& j, bool knownAbsent)
{
    const std::string text = quiva::WideToUtf8(Text(L"%d\n%s\n%s\n%d\n%s\n", j.imgNo, j.chart.GetString(),
                                                    j.target.GetString(), j.ono, j.file.GetString()).GetString());
    return store.WriteJournal(file, text, knownAbsent);
}

bool ReadJournal(const CString& file, Journal* j)
{
    std::string bytes;
    if (!quiva::ReadFileBytes(JournalPath(file), bytes, 1 << 16))
        return false;
    // Whole lines only: a line without its end was never written whole.
    const std::wstring text = quiva::Utf8ToWide(bytes);
    std::vector<std::wstring> lines;
    for (size_t at = 0, end; (end = text.find(L'\n', at)) != std::wstring::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    if (lines.size() < 3)
        return false;
    j->imgNo = _wtoi(lines[0].c_str());
    j->chart = lines[1].c_str();
    j->target = lines[2].c_str();
    if (lines.size() >= 5) {
        j->ono = _wtoi(lines[3].c_str());
        j->file = lines[4].c_str();
        if (j->ono <= 0 || j->file.IsEmpty())
            return false;
    }
    return j->imgNo > 0;
}

// Whether two files hold the same bytes (false when either cannot be read).
bool SameBytes(const CString& a, const CString& b)
{
    const std::optional<std::string> pa = quiva::NativePath(a), pb = quiva::NativePath(b);
    if (!pa || !pb)
        return false;
    std::ifstream fa(*pa, std::ios::binary), fb(*pb, std::ios::binary);
    if (!fa || !fb)
        return false;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
            return false;
        if (fa.gcount() == 0 || !fa || !fb)
            return fa.eof() && fb.eof() && fa.gcount() == fb.gcount();
    }
}

// A file's last write, in 100 ns steps; 0 when it cannot be read.
uint64_t LastWrite(const CString& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

// Whether `copy` can be the copy a commit made of the store file `file`: it holds the file's
// bytes and was written no earlier than the file. Stills of an unchanging picture hold the same
// bytes; the copy of one taken before is never this one's.
bool IsCopyOf(const CString& copy, const CString& file)
{
    const uint64_t copied = LastWrite(copy), taken = LastWrite(file);
    return copied != 0 && taken != 0 && copied >= taken && SameBytes(file, copy);
}

// The row of the journal's image number, whoever's it is, and whether it is of the journal's chart
// (and, when asked, its study): OWNED 1 or 0.
CString RowOwnerQuery(const Journal& j, bool study)
{
    const CString ono = study ? Text(L" AND ONO = %d", j.ono) : CString();
    return Text(L"SELECT IMGNO, CASE WHEN CNO = '%s'%s THEN 1 ELSE 0 END AS OWNED FROM MIMG WHERE IMGNO = %d",
                Literal(j.chart).GetString(), ono.GetString(), j.imgNo);
}

using InterruptedCommit = CKXQUIVACaptureModel::InterruptedCommit;
using CommitResult = CKXQUIVACaptureModel::CommitResult;

// Removes a journal that is not the record of this file's commit; the file stays unsaved.
InterruptedCommit RefuseJournal(const CString& file, const Journal& j, const wchar_t* why)
{
    Debug(CString(L"Commit: a journal ") + why + L" is refused: " + JournalPath(file) + L" (" + j.target + L")");
    CKXQUIVATemporaryStore::OfFile(file).RemoveJournal(file);
    return InterruptedCommit::NotThrough;
}

// Whether an image row is in the database, as far as the database can tell now.
enum class RowStored { Yes, No, Untold };

// Whether the image row of that number and chart is in the database. A database another program
// holds is waited for once, however often the connection must be opened again to ask.
RowStored ImageRowStored(CKXAdoConnection* db, int imgNo, const CString& chart)
{
    quiva::db::BeginSharedLockWait(quiva::db::Connection::kBusyTimeoutMs);
    CKXAdoRecord record(db);
    const bool asked =
        record.Open(Text(L"SELECT IMGNO FROM MIMG WHERE IMGNO = %d AND CNO = '%s'", imgNo, Literal(chart).GetString()));
    quiva::db::EndSharedLockWait();
    if (!asked)
        return RowStored::Untold;
    return record.IsEOF() ? RowStored::No : RowStored::Yes;
}

// What a statement that failed gives: the database refused it on a live connection, or the
// connection is gone.
CommitResult ConnectionFailure(CKXAdoConnection* db)
{
    return db->IsOpen() ? CommitResult::RowsRefused : CommitResult::NoConnection;
}

}  // namespace

CString CKXQUIVACaptureModel::ImageDirectoryPath(const CString& imageDirectory, int imgNo, const CString& tempPath)
{
    const CString h = Text(L"%08x", static_cast<unsigned>(imgNo / 255));
    const int slash = std::max(tempPath.ReverseFind(L'\\'), tempPath.ReverseFind(L'/'));
    const int dot = tempPath.ReverseFind(L'.');
    const CString ext = dot > slash ? tempPath.Mid(dot) : CString();
    return Text(L"%s\\%s\\%s\\%s\\%s\\%d%s", imageDirectory.GetString(), h.Mid(0, 2).GetString(), h.Mid(2, 2).GetString(),
                h.Mid(4, 2).GetString(), h.Mid(6, 2).GetString(), imgNo, ext.GetString());
}

std::unordered_set<std::wstring> CKXQUIVACaptureModel::CommitJournalsIn(const CString& folder)
{
    std::unordered_set<std::wstring> journals;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(folder + L"\\*.commit", &found);
    if (find == INVALID_HANDLE_VALUE)
        return journals;
    do
        AddCommitJournal(found.cFileName, found.dwFileAttributes, journals);
    while (FindNextFileW(find, &found));
    FindClose(find);
    return journals;
}

void CKXQUIVACaptureModel::AddCommitJournal(const wchar_t* name, DWORD attributes,
                                            std::unordered_set<std::wstring>& journals)
{
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) && quiva::WildcardMatch(L"*.commit", name))
        journals.insert(CString(name).MakeLower().str());
}

bool CKXQUIVACaptureModel::HasCommitJournal(const CString& path, const std::unordered_set<std::wstring>& journals)
{
    CString name = JournalPath(quiva::PathFileName(path));
    return journals.count(name.MakeLower().str()) != 0;
}

namespace {

// ResolveInterruptedCommit of this version's journal.
InterruptedCommit ResolveJournal(const CString& path, const Journal& j, CKXAdoConnection* db)
{
    // Written for this file, naming a copy where a copy of its number is named (in whatever image
    // directory the commit had then).
    const CString named = CKXQUIVACaptureModel::ImageDirectoryPath(CString(), j.imgNo, path);
    if (!CKXQUIVACaptureModel::SamePath(j.file, path, false) || j.target.GetLength() <= named.GetLength() ||
        j.target.Right(named.GetLength()).CompareNoCase(named) != 0)
        return RefuseJournal(path, j, L"not written for this file");
    if (!db)
        return InterruptedCommit::CannotTell;
    CKXAdoRecord record(db);
    if (!record.Open(RowOwnerQuery(j, true)))
        return InterruptedCommit::CannotTell;
    const bool ownCopy = IsCopyOf(j.target, path);
    if (record.IsEOF()) {
        // The rows were never committed: the copy, if it is this file's, is nobody's.
        if (ownCopy)
            DeleteFileW(j.target);
        CKXQUIVATemporaryStore::OfFile(path).RemoveJournal(path);
        return InterruptedCommit::NotThrough;
    }
    // The number is another file's (its row or its copy): the copy is left as it is.
    if (record.GetFieldString(L"OWNED") != L"1" || !ownCopy)
        return RefuseJournal(path, j, L"naming another file's row or copy");
    Debug(L"Commit: an interrupted commit of " + path + L" had gone through; the file leaves the store");
    CKXQUIVATemporaryStore::OfFile(path).LeaveStore(path);
    return InterruptedCommit::WentThrough;
}

}  // namespace

CKXQUIVACaptureModel::InterruptedCommit CKXQUIVACaptureModel::ResolveInterruptedCommit(const CString& path,
                                                                                       CKXAdoConnection* db,
                                                                                       const CString& imageDirectory)
{
    Journal j;
    if (!Exists(JournalPath(path)))
        return InterruptedCommit::NotThrough;
    if (!ReadJournal(path, &j)) {
        // Never written whole: the database was not committed after it either.
        CKXQUIVATemporaryStore::OfFile(path).RemoveJournal(path);
        return InterruptedCommit::NotThrough;
    }
    if (imageDirectory.IsEmpty())
        return InterruptedCommit::CannotTell;
    if (!j.file.IsEmpty())
        return ResolveJournal(path, j, db);
    // An older version's journal. A commit writes the one path its image number gives; a journal
    // naming any other is not one of ours, and its path would take the file out of the image
    // directory.
    if (!SamePath(j.target, ImageDirectoryPath(imageDirectory, j.imgNo, path), false))
        return RefuseJournal(path, j, L"naming a copy outside the image directory");
    if (!db)
        return InterruptedCommit::CannotTell;
    // A database another program holds is waited for once, however often it is asked.
    CKXAdoRecord record(db);
    quiva::db::BeginSharedLockWait(quiva::db::Connection::kBusyTimeoutMs);
    const bool asked = record.Open(RowOwnerQuery(j, false));
    quiva::db::EndSharedLockWait();
    if (!asked)
        return InterruptedCommit::CannotTell;
    // A database that hands out a rolled-back number again (SQLite) may have given it to another
    // file since: the copy under that number is this file's only while it holds this file's bytes.
    const bool ownCopy = IsCopyOf(j.target, path);
    if (!record.IsEOF() && (record.GetFieldString(L"OWNED") != L"1" || (Exists(j.target) && !ownCopy)))
        return RefuseJournal(path, j, L"naming another file's copy");
    if (record.IsEOF()) {
        // The rows were never committed: the copy, if it is this file's, is nobody's.
        if (ownCopy)
            DeleteFileW(j.target);
        CKXQUIVATemporaryStore::OfFile(path).RemoveJournal(path);
        return InterruptedCommit::NotThrough;
    }
    // The copy made again is on the disk, name and all, before the file leaves the store.
    const CString targetFolder = j.target.Left(std::max(j.target.ReverseFind(L'\\'), 0));
    if (!ownCopy && !(EnsureFolder(targetFolder) && quiva::CopyToNewFile(path, j.target) && quiva::FlushFolder(targetFolder)))
        return InterruptedCommit::CannotTell;
    Debug(L"Commit: an interrupted commit of " + path + L" had gone through; the file leaves the store");
    // The journal goes only with the file: without it a file left behind would be committed again.
    CKXQUIVATemporaryStore::OfFile(path).LeaveStore(path);
    return InterruptedCommit::WentThrough;
}

CKXQUIVACaptureModel::CommitResult CKXQUIVACaptureModel::Commit()
{
    CKXSendDicomModel send;
    m_strPacsMissed.Empty();
    if (GetFileCount() == 0)
        return CommitResult::Done;
    if (!m_pConfig)
        return CommitResult::NoConfiguration;
    CString imageDirectory = m_pConfig->GetImageDirectory();
    // A show that found the clinic database held or away could not read where the copies go: it
    // is read now, rather than every save of the session doing nothing.
    if (imageDirectory.IsEmpty() && !m_pConfig->IsDatabaseOptionsLoaded()) {
        quiva::db::BeginSharedLockWait(quiva::db::Connection::kBusyTimeoutMs);
        m_pConfig->LoadDatabaseOptions();
        const bool held = quiva::db::EndSharedLockWait();
        imageDirectory = m_pConfig->GetImageDirectory();
        if (imageDirectory.IsEmpty() && !m_pConfig->IsDatabaseOptionsLoaded())
            return held ? CommitResult::DatabaseHeld : CommitResult::NoConnection;
    }
    if (imageDirectory.IsEmpty())
        return CommitResult::NoImageDirectory;
    std::vector<_KXCaptureFileInfo*> files;
    {
        AssertWindowThread();
        // Records stay while the model lives; only this thread adds them.
        for (const auto& info : m_files)
            files.push_back(info.get());
    }
    if (std::all_of(files.begin(), files.end(), [](const _KXCaptureFileInfo* f) { return f->saved != 0; }))
        return CommitResult::Done;
    // From here the commit may take seconds: the view shows it is saving until it returns.
    struct SavingShown {
        CKXCaptureFileListener* view;
        ~SavingShown()
        {
            if (view)
                view->Saving(false);
        }
    } shown{m_pFileListener.get()};
    if (shown.view)
        shown.view->Saving(true);
    CKXAdoConnection* db = m_pConfig->ConnectDatabase();
    if (!db || !db->IsOpen())
        return CommitResult::NoConnection;

    CKXAdoRecord record(db);
    // A database another program holds is waited for once, for a bounded time; every file
    // stays unsaved for the next save.
    int nextOno = db->IsBusy() ? 0 : NextStudyNumber(record, m_strChartNo);
    if (nextOno == 0 && db->IsBusy()) {
        Debug(L"Commit: the database is held by another program; nothing is saved");
        return CommitResult::DatabaseHeld;
    }
    if (nextOno == 0)
        nextOno = 1;
    send.connection = db;
    send.LoadPatient(m_strChartNo);

    CommitState state;
    state.db = db;
    state.nextOno = nextOno;
    state.prevTitle = kNoTitle;
    state.imageDirectory = imageDirectory;
    const CommitResult result = CommitFiles(files, state, send);
    m_strPacsMissed = send.MissedMessage();
    RemoveEmptyFolders();
    if (m_pFileListener)
        m_pFileListener->Repaint();
    return result;
}

CKXQUIVACaptureModel::CommitResult CKXQUIVACaptureModel::CommitFiles(const std::vector<_KXCaptureFileInfo*>& files,
                                                                     CommitState& state, CKXSendDicomModel& send)
{
    CommitResult result = CommitResult::Done;
    for (_KXCaptureFileInfo* info : files) {
        if (info->saved)
            continue;
        const FileStep settled = SettleFile(info, state);
        if (settled == FileStep::Undecided) {
            const bool busy = state.db->IsBusy();
            if (result == CommitResult::Done)
                result = busy ? CommitResult::DatabaseHeld : CommitResult::NoConnection;
            if (busy)
                break;
            continue;
        }
        if (settled == FileStep::Settled)
            continue;
        int imgNo = 0, ono = 0;
        if (!CommitFile(info, state, &imgNo, &ono)) {
            if (result == CommitResult::Done)
                result = state.failure;
            if (state.stop)
                break;
            continue;
        }
        SendStill(send, info, state, imgNo, ono);
        LeaveStore(info);
    }
    return result;
}

CKXQUIVACaptureModel::FileStep CKXQUIVACaptureModel::SettleFile(_KXCaptureFileInfo* info, CommitState& state)
{
    const CString folder = quiva::PathParent(info->path);
    auto listed = state.journals.find(folder.str());
    if (listed == state.journals.end())
        listed = state.journals.emplace(folder.str(), CommitJournalsIn(folder)).first;
    state.journalListed = HasCommitJournal(info->path, listed->second);
    const InterruptedCommit resolved = state.journalListed
                                           ? ResolveInterruptedCommit(info->path, state.db, state.imageDirectory)
                                           : InterruptedCommit::NotThrough;
    if (resolved == InterruptedCommit::CannotTell)
        return FileStep::Undecided;
    if (resolved == InterruptedCommit::WentThrough) {
        info->saved = 1;
        info->present = 0;
        return FileStep::Settled;
    }
    if (!Exists(info->path)) {
        info->discarded = 1;
        info->saved = 1;
        info->present = 0;
        return FileStep::Settled;
    }
    if (!info->present) {
        info->discarded = 1;
        Store().RemoveCapture(info->path);
        info->saved = 1;
        info->present = 0;
        return FileStep::Settled;
    }
    return FileStep::ToCommit;
}

void CKXQUIVACaptureModel::SendStill(CKXSendDicomModel& send, const _KXCaptureFileInfo* info, CommitState& state,
                                     int imgNo, int ono)
{
    if (!m_pConfig->IsPacsKind10() || !m_pConfig->GetOptions().m_bSendDICOM || info->isVideo)
        return;
    Debug(L"Send DICOM #1");
    send.SetNetwork(m_pConfig->GetPacsServerIp(), m_pConfig->GetPacsAETitle(), m_pConfig->GetPacsPort(),
                    m_pConfig->GetInstitutionNumber());
    Debug(L"Send DICOM #2");
    send.SetDates(state.mdate, info->study);
    Debug(L"Send DICOM #3");
    Debug(Text(L"%d %s %d %d", imgNo, info->path.GetString(), ono, state.sends));
    send.BuildAndSend(imgNo, info->path, ono);
    Debug(L"Send DICOM #4");
    ++state.sends;
}

void CKXQUIVACaptureModel::LeaveStore(_KXCaptureFileInfo* info)
{
    const CKXQUIVATemporaryStore store = Store();
    const bool removed = store.RemoveCapture(info->path);
    Debug(L"Commit#7");  // the file has left the store
    // A file that cannot be removed keeps its journal, which tells the next load that it is
    // committed already.
    if (removed)
        store.RemoveJournal(info->path);
    else
        Debug(L"Commit: a committed file could not be removed from the store: " + info->path);
    Debug(L"Commit#8");
    info->saved = 1;
    info->present = 0;
}

bool CKXQUIVACaptureModel::CommitFile(_KXCaptureFileInfo* info, CommitState& s, int* outImgNo, int* outOno)
{
    // A capture filed without a study title is recorded under the untitled study, the title the
    // window shows while it has no study name: never a study row without a title.
    if (info->study.IsEmpty())
        info->study = kUntitledStudy;
    const CString date = IsStudyDate(info->date) ? info->date : CString(BuildTodayDate().GetString());
    s.mdate = date.Mid(0, 4) + L"-" + date.Mid(4, 2) + L"-" + date.Mid(6, 2);
    const CString matchKey = info->study + L"\x1F" + date;
    for (int attempt = 0; attempt < kStudyNumberAttempts; ++attempt) {
        if (!s.db->BeginTrans()) {
            Debug(L"Commit: no transaction could be started");
            s.stop = true;
            s.failure = CommitResult::NoConnection;
            return false;
        }
        int ono = 0;
        bool newStudy = false;
        const StudyStep study = FindOrAddStudy(info, s, date, matchKey, &ono, &newStudy);
        if (study == StudyStep::TakenNumber)
            continue;
        if (study == StudyStep::Failed)
            return false;
        Debug(L"Commit#1");  // study row
        int imgNo = 0;
        if (!AddImageRow(info, s, ono, &imgNo) || !CopyUnderJournal(info, s, imgNo, ono) || !CommitRows(info, s, imgNo))
            return false;
        if (newStudy) {
            ++s.nextOno;
            if (std::none_of(m_matchedTitles.begin(), m_matchedTitles.end(),
                             [&](const CString& t) { return t.CompareNoCase(matchKey) == 0; }))
                m_matchedTitles.push_back(matchKey);
        }
        s.currentOno = ono;
        s.prevTitle = info->study;
        s.prevDate = date;
        *outImgNo = imgNo;
        *outOno = ono;
        return true;
    }
    Debug(L"Commit: no free study number was found: " + info->path);
    s.failure = CommitResult::RowsRefused;
    return false;
}

bool CKXQUIVACaptureModel::FailCommit(const _KXCaptureFileInfo* info, CommitState& s, const wchar_t* why,
                                      CommitResult failure)
{
    // A statement the database refused on a live connection is not a connection failure; one
    // that found the database held by another program past the wait ends the commit.
    if (failure == CommitResult::Done && s.db->IsBusy()) {
        failure = CommitResult::DatabaseHeld;
        s.stop = true;
    }
    s.failure = failure != CommitResult::Done ? failure : ConnectionFailure(s.db);
    Debug(CString(L"Commit: ") + why + L": " + info->path);
    s.db->RollbackTrans();
    return false;
}

CKXQUIVACaptureModel::StudyStep CKXQUIVACaptureModel::FindOrAddStudy(const _KXCaptureFileInfo* info, CommitState& s,
                                                                     const CString& date, const CString& matchKey,
                                                                     int* ono, bool* newStudy)
{
    // The file continues the previous file's study only when title and date both match.
    if (info->study == s.prevTitle && date == s.prevDate) {
        if (s.currentOno < 0) {
            s.stop = true;
            FailCommit(info, s, L"no study number to continue");
            return StudyStep::Failed;
        }
        *ono = s.currentOno;
        return StudyStep::Found;
    }
    const CString chart = Literal(m_strChartNo);
    CKXAdoRecord record(s.db);
    if (!record.Open(Text(L"SELECT ONO,IMGNO FROM MMAIN WHERE CNO='%s' AND MDATE='%s' AND TITLE='%s' ORDER BY ONO DESC",
                          chart.GetString(), s.mdate.GetString(), Literal(info->study).GetString()))) {
        FailCommit(info, s, L"the study could not be looked up");
        return StudyStep::Failed;
    }
    const bool listed = std::any_of(m_matchedTitles.begin(), m_matchedTitles.end(),
                                    [&](const CString& t) { return t.CompareNoCase(matchKey) == 0; });
    if (listed && !record.IsEOF() && !record.GetFieldString(L"ONO").IsEmpty()) {
        *ono = _wtoi(record.GetFieldString(L"ONO"));
        return StudyStep::Found;
    }
    *ono = s.nextOno;
    *newStudy = true;
    if (s.db->Execute(Text(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('%s',%d,'%s','%s',0)", chart.GetString(),
                           *ono, s.mdate.GetString(), Literal(info->study).GetString()),
                      0, 1))
        return StudyStep::Found;
    if (s.db->IsBusy()) {
        FailCommit(info, s, L"the database is held by another program");
        return StudyStep::Failed;
    }
    s.db->RollbackTrans();
    // Another station may have taken the number at the same moment: take the next free one and
    // try again.
    CKXAdoRecord numbers(s.db);
    const int highest = NextStudyNumber(numbers, m_strChartNo);
    if (highest > *ono) {
        s.nextOno = highest;
        return StudyStep::TakenNumber;
    }
    Debug(L"Commit: the study row could not be inserted: " + info->path);
    s.failure = ConnectionFailure(s.db);
    return StudyStep::Failed;
}

bool CKXQUIVACaptureModel::AddImageRow(const _KXCaptureFileInfo* info, CommitState& s, int ono, int* imgNo)
{
    const CString chart = Literal(m_strChartNo);
    const CString insert =
        Text(s.db->dbmsKind == CKXDataConnection::kDbmsPostgreSQL
                 ? L"INSERT INTO MIMG (CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME) VALUES ('%s', %d, %d, %d, '1') RETURNING IMGNO AS IMAGENUMBER;"
                 : L"INSERT INTO MIMG (CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME) VALUES ('%s', %d, %d, %d, '1');SELECT @@identity AS IMAGENUMBER;",
             chart.GetString(), ono, 7, info->isVideo ? 1 : 0);
    CKXAdoRecord record(s.db);
    if (!record.Open(insert))
        return FailCommit(info, s, L"the image row could not be inserted");
    *imgNo = record.IsEOF() ? 0 : _wtoi(record.GetFieldString(L"IMAGENUMBER"));
    if (*imgNo <= 0)
        return FailCommit(info, s, L"the image row gave no image number");
    Debug(L"Commit#2");  // image row
    if (!s.db->Execute(Text(L"UPDATE MIMG SET IMGNAME = '%d' WHERE IMGNO = %d;UPDATE MMAIN SET IMGNO = IMGNO + 1 WHERE CNO='%s' AND ONO = %d",
                            *imgNo, *imgNo, chart.GetString(), ono),
                       0, 1))
        return FailCommit(info, s, L"the image count could not be updated");
    Debug(L"Commit#3");  // image count
    return true;
}

bool CKXQUIVACaptureModel::CopyUnderJournal(const _KXCaptureFileInfo* info, CommitState& s, int imgNo, int ono)
{
    // The copy is whole under its own name before the rows are committed; the journal says where
    // it went in case the process ends between the commit and the file's removal.
    const CString target = ImageDirectoryPath(s.imageDirectory, imgNo, info->path);
    const CString targetFolder = target.Left(target.ReverseFind(L'\\'));
    const Journal journal{imgNo, m_strChartNo, target, ono, info->path};
    // The store's folder was read for journals when the commit began, the image directory's
    // folder when its first copy comes: neither is read again for each file.
    if (!EnsureFolder(targetFolder))
        return FailCommit(info, s, L"the image directory or the journal cannot be written",
                          CommitResult::NoImageDirectory);
    if (!WriteJournal(Store(), info->path, journal, !s.journalListed)) {
        if (GetLastError() != ERROR_DISK_FULL)
            return FailCommit(info, s, L"the image directory or the journal cannot be written",
                          CommitResult::NoImageDirectory);
        // No file of the store can be committed until there is room for its journal.
        s.stop = true;
        return FailCommit(info, s, L"the store's disk is full; the journal cannot be written",
                          CommitResult::StoreDiskFull);
    }
    Debug(L"Commit#4");  // journal
    if (s.cleanedFolder != targetFolder) {
        quiva::RemoveLeftoverTemporaries(targetFolder);  // copies cut short by a crash
        s.cleanedFolder = targetFolder;
        s.cleanedNames = quiva::FolderNames(targetFolder);
    }
    // A name there already in another case is the one the copy replaces.
    const CString targetName = quiva::PathFileName(target).MakeLower();
    const bool copied = s.cleanedNames.count(targetName.str()) ? CopyFileW(info->path, target, FALSE)
                                                               : quiva::CopyToNewFile(info->path, target);
    s.cleanedNames.insert(targetName.str());
    if (!copied) {
        Store().RemoveJournal(info->path);
        return FailCommit(info, s, L"the file could not be copied to the image directory",
                          CommitResult::NoImageDirectory);
    }
    // The copy's name, and the journal's, reach the disk before the rows that point at the copy
    // (the journal's folder may be on another disk than the image directory). The journal's goes
    // second: on one disk the copy's flushes have carried it there already, and it costs little.
    if (!quiva::FlushFolder(targetFolder) || !quiva::FlushFolder(quiva::PathParent(info->path))) {
        DeleteFileW(target);  // the image directory's, not the store's
        Store().RemoveJournal(info->path);
        return FailCommit(info, s, L"the image directory or the store could not be flushed",
                          CommitResult::NoImageDirectory);
    }
    Debug(L"Commit#5");  // copy
    return true;
}

bool CKXQUIVACaptureModel::CommitRows(const _KXCaptureFileInfo* info, CommitState& s, int imgNo)
{
    if (!s.db->CommitTrans()) {
        const bool busy = s.db->IsBusy(), open = s.db->IsOpen();
        // A commit reported failed (its wait ran out, the connection went) may have gone through
        // all the same: the database is asked before anything is said. The copy is this file's
        // only while it holds this file's bytes (another station may have had the number since).
        const RowStored stored = ImageRowStored(s.db, imgNo, m_strChartNo);
        if (stored == RowStored::Yes && SameBytes(info->path, ImageDirectoryPath(s.imageDirectory, imgNo, info->path))) {
            Debug(L"Commit: the rows' commit was reported failed, yet the rows are there: " + info->path);
            Debug(L"Commit#6");  // rows committed
            return true;
        }
        // Not known to have failed: the copy and the journal stay, and the file with them, until
        // the database can tell. A lost connection is told as such; nothing says the rows were
        // not recorded or refused.
        const CommitResult failure =
            busy ? CommitResult::DatabaseHeld : (open ? CommitResult::RowsRefused : CommitResult::NoConnection);
        if (stored == RowStored::Untold && failure != CommitResult::NoConnection) {
            Debug(L"Commit: whether the rows were committed cannot be told yet: " + info->path);
            s.failure = CommitResult::RowsUntold;
            s.stop = true;
            return false;
        }
        Debug(L"Commit: the rows could not be committed: " + info->path);
        s.failure = failure;
        s.stop = s.stop || s.failure == CommitResult::DatabaseHeld;
        return false;
    }
    Debug(L"Commit#6");  // rows committed
    return true;
}

CString CKXQUIVACaptureModel::BuildTodayDate()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    return Text(L"%04d%02d%02d", now.wYear, now.wMonth, now.wDay);
}

bool CKXQUIVACaptureModel::CommitResultMessage(CommitResult result, CString* text, CString* caption)
{
    switch (result) {
    case CommitResult::NoImageDirectory:
        *text = L"저장할 폴더가 존재하지 않습니다.";
        *caption = L"폴더오류";
        return true;
    case CommitResult::NoConnection:
        *text = L"데이터베이스 연결에 문제가 있습니다.";
        *caption = L"데이터베이스 오류";
        return true;
    case CommitResult::RowsRefused:
        *text = L"데이터베이스가 영상 기록을 받아들이지 않았습니다.";
        *caption = L"데이터베이스 오류";
        return true;
    case CommitResult::DatabaseHeld:
        *text = L"다른 프로그램이 데이터베이스를 사용하고 있어 저장하지 못했습니다. 잠시 후 다시 저장하십시오.";
        *caption = L"데이터베이스 오류";
        return true;
    case CommitResult::StoreDiskFull:
        *text = L"임시 저장 폴더가 있는 디스크가 가득 찼습니다. 디스크 공간을 확보한 후 다시 저장하십시오.";
        *caption = kDiskFullCaption;
        return true;
    case CommitResult::RowsUntold:
        *text = L"영상 기록이 데이터베이스에 저장되었는지 아직 확인할 수 없습니다. 영상은 임시 폴더에 "
                L"남아 있으며, 잠시 후 다시 저장하면 확인됩니다.";
        *caption = L"데이터베이스 오류";
        return true;
    case CommitResult::Done:
    case CommitResult::NoConfiguration:
        return false;
    }
    return false;
}
