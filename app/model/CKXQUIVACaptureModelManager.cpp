#include "app/model/CKXQUIVACaptureModelManager.h"

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/model/CKXQUIVATemporaryStore.h"
#include "app/model/CKXSendDicomModel.h"
#include "framework/CKXRegistry.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/FolderListing.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/filetime.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"

namespace {

const wchar_t* const kInfoTemplate = L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><QUIVA/>";

const wchar_t* Flag(int value) { return value ? L"TRUE" : L"FALSE"; }

// "yyyymmdd" of a file's creation time in local time.
CString CreationDate(const FILETIME& created)
{
    FILETIME local{};
    SYSTEMTIME t{};
    if (!FileTimeToLocalFileTime(&created, &local) || !FileTimeToSystemTime(&local, &t))
        return CString();
    return quiva::FormatWide(L"%04d%02d%02d", t.wYear, t.wMonth, t.wDay).c_str();
}

// The chart a folder of the store belongs to: the first chart number an info.xml names, the
// folder's own, then those of the folders `levels` deep below it; empty when none names one.
// Each folder is listed once; only an info.xml its listing holds is read.
CString ChartNamedIn(const CString& folder, int levels)
{
    const quiva::FolderListing listing(folder);
    for (const quiva::FolderListing::Entry& entry : listing.Entries()) {
        CKXXmlDocument xml;
        if (!(entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
            CString(entry.name.c_str()).CompareNoCase(L"info.xml") == 0 && xml.Load(folder + L"\\" + entry.name.c_str()))
            if (CString chart = CKXQUIVACaptureModel::TrimChartNo(xml.GetAttribute(L"/patient", L"chartNo")); !chart.IsEmpty())
                return chart;
    }
    if (levels == 0)
        return CString();
    for (const quiva::FolderListing::Entry& entry : listing.Entries())
        if ((entry.attributes & FILE_ATTRIBUTE_DIRECTORY) && !(entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
            if (CString chart = ChartNamedIn(folder + L"\\" + entry.name.c_str(), levels - 1); !chart.IsEmpty())
                return chart;
    return CString();
}

// Below the chart folder: the study and date levels, where info.xml files are written.
constexpr int kChartFolderLevels = 2;

}  // namespace

CKXQUIVACaptureModelManager::CKXQUIVACaptureModelManager()
{
    CString data = L"c:\\HRB4100";
    for (const wchar_t* drive : {L"d:\\HRB4100", L"e:\\HRB4100", L"f:\\HRB4100"}) {
        if (PathIsDirectoryW(drive)) {
            data = drive;
            break;
        }
    }
    m_strImageRoot = data + L"\\temp\\image";
}

CKXQUIVACaptureModelManager::~CKXQUIVACaptureModelManager() { DeleteAllModels(); }

CKXQUIVATemporaryStore CKXQUIVACaptureModelManager::Store() const { return CKXQUIVATemporaryStore(m_strImageRoot); }

void CKXQUIVACaptureModelManager::EnsureImageRoot(const CString& folder)
{
    // An empty root would put the store at the top of a drive and scan all of it.
    if (folder.IsEmpty()) {
        OutputDebugStringW(L"EnsureImageRoot: an empty store folder is refused\n");
        return;
    }
    m_strImageRoot = folder;
    if (!PathIsDirectoryW(folder))
        EnsureFolder(folder);
}

CKXQUIVACaptureModel* CKXQUIVACaptureModelManager::GetModel(int index) const
{
    return index >= 0 && index < GetModelCount() ? m_models[static_cast<size_t>(index)].get() : nullptr;
}

CKXQUIVACaptureModel* CKXQUIVACaptureModelManager::GetOrCreateModel(const CString& chartNo, const CString& patientName)
{
    // Exactly the chart given: "a123" and "A123" are two patients to the clinic.
    for (const auto& model : m_models) {
        if (model->m_strChartNo == chartNo) {
            model->SetPatient(chartNo, patientName);
            return model.get();
        }
    }
    auto owned = std::make_unique<CKXQUIVACaptureModel>();
    CKXQUIVACaptureModel* model = owned.get();
    model->SetPatient(chartNo, patientName);
    model->m_strImageRoot = m_strImageRoot;
    model->m_pConfig = m_pConfig;
    model->m_pManager = this;
    if (attachView)
        attachView(model);
    m_models.push_back(std::move(owned));
    return model;
}

void CKXQUIVACaptureModelManager::DeleteModel(CKXQUIVACaptureModel* model)
{
    auto it = std::find_if(m_models.begin(), m_models.end(), [model](const auto& m) { return m.get() == model; });
    if (it == m_models.end())
        return;
    // Out of the list before its destructor runs: RemoveModel then finds nothing to let go.
    std::unique_ptr<CKXQUIVACaptureModel> gone = std::move(*it);
    m_models.erase(it);
}

void CKXQUIVACaptureModelManager::RemoveModel(CKXQUIVACaptureModel* model)
{
    auto it = std::find_if(m_models.begin(), m_models.end(), [model](const auto& m) { return m.get() == model; });
    if (it == m_models.end())
        return;
    (void)it->release();  // being destroyed by whoever deleted it
    m_models.erase(it);
}

CKXAdoConnection* CKXQUIVACaptureModelManager::RecoveryConnection()
{
    if (!m_bRecoveryTried && m_pConfig) {
        m_bRecoveryTried = true;
        m_pRecoveryDb = m_pConfig->ConnectDatabase();
    }
    return m_pRecoveryDb;
}

bool CKXQUIVACaptureModelManager::StillInStore(const CString& path, const std::unordered_set<std::wstring>& journals)
{
    if (journals.empty() || !CKXQUIVACaptureModel::HasCommitJournal(path, journals))
        return true;
    return CKXQUIVACaptureModel::ResolveInterruptedCommit(path, RecoveryConnection(),
                                                         m_pConfig ? m_pConfig->GetImageDirectory() : CString()) <= 0;
}

void CKXQUIVACaptureModelManager::LoadAll()
{
    if (m_strImageRoot.IsEmpty())
        return;
    m_bRecoveryTried = false;
    m_pRecoveryDb = nullptr;
    const quiva::FolderListing root(m_strImageRoot);
    if (!root.Entries().empty()) {
        // A strip laid out again for every record read would cost the square of the records.
        m_bLoading = true;
        for (const quiva::FolderListing::Entry& entry : root.Entries())
            if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)
                LoadFolder(m_strImageRoot + L"\\" + entry.name.c_str());
        m_bLoading = false;
        for (const auto& model : m_models)
            model->RelayoutView();
    }
    for (size_t i = m_models.size(); i-- > 0;) {
        if (m_models[i]->GetFileCount() == 0)
            DeleteModel(m_models[i].get());
    }
}

// What LoadFolder knows of one folder while it reads it: its one listing (nothing of the folder
// is looked up by name again, and a still's header is read relative to the folder), the model its
// captures join (none for a folder that names no chart) and what the listed files leave to the
// loose ones.
struct CKXQUIVACaptureModelManager::FolderScan {
    FolderScan(const CString& folder, CKXQUIVACaptureModel* model)
        : folder(folder),
          model(model),
          listing(folder),
          entries(listing.Entries()),
          noteSizes(model && model->GetFileListener()),
          taken(entries.size()),
          gone(entries.size()),
          listedRecording(entries.size()),
          cut(entries.size()),
          keptOf(entries.size(), entries.size())
    {
    }
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    // Whether a still's file holds a whole picture, and the size its header gives (`sized`; read
    // only for a view that lays stills out by their own sizes): one open of the file, relative to
    // the folder. A file that cannot be opened is not judged.
    bool WholeStill(const quiva::FolderListing::Entry& entry, Gdiplus::Size* own, bool* sized) const
    {
        *sized = false;
        const int fd = listing.Open(entry);
        if (fd < 0)
            return true;
        const bool cut = quiva::ImageFileCut(fd);
        if (!cut && noteSizes)
            *sized = quiva::ReadImageFileSize(fd, &own->Width, &own->Height);
        ::close(fd);
        return !cut;
    }

    // A name finds its entry as the file system matches names: as spelt, else the first entry
    // that differs in ASCII case only.
    void IndexNames()
    {
        for (size_t i = 0; i < entries.size(); ++i) {
            std::wstring name = entries[i].name;
            exact.emplace(name, i);
            for (wchar_t& c : name)
                c = quiva::FoldAscii(c);
            folded.emplace(std::move(name), i);
        }
    }
    // The entry `name` finds (folded in place when it is not found as spelt); entries.size() when
    // none.
    size_t Find(std::wstring& name) const
    {
        auto at = exact.find(name);
        if (at != exact.end())
            return at->second;
        for (wchar_t& c : name)
            c = quiva::FoldAscii(c);
        at = folded.find(name);
        return at == folded.end() ? entries.size() : at->second;
    }

    // Whether a folder as a listed path spells it is this folder. Each spelling of a folder in the
    // list (one, as the model writes it) is resolved once.
    bool IsThisFolder(std::wstring_view listedFolder)
    {
        if (!spelling || std::wstring_view(spelling->first) != listedFolder) {
            auto known = spellings.try_emplace(std::wstring(listedFolder), false);
            if (known.second)
                known.first->second = CKXQUIVACaptureModel::PathKey(CString(known.first->first), true) == sameFolder;
            spelling = &*known.first;
        }
        return spelling->second;
    }

    const CString& folder;
    CKXQUIVACaptureModel* const model;
    const quiva::FolderListing listing;
    const std::vector<quiva::FolderListing::Entry>& entries;
    const bool noteSizes;
    // The folder is resolved once, case kept as the file system keeps it; the records' keys are
    // made from its key and the names as listed.
    CString sameFolder, folderKey;
    std::unordered_set<std::wstring> journals;
    // A listed file that is listed now, or whose interrupted commit left it out: the loose files
    // pass it over.
    std::vector<bool> taken, gone;
    std::vector<bool> listedRecording;  // a recording info.xml lists
    std::vector<bool> cut;              // a still cut short, set aside
    std::vector<size_t> keptOf;
    std::vector<CString> titles;  // the study titles info.xml lists
    std::unordered_map<std::wstring, size_t> exact, folded;
    std::unordered_map<std::wstring, bool> spellings;
    const std::pair<const std::wstring, bool>* spelling = nullptr;  // the last record's
    std::wstring name;  // the last record's file name
};

void CKXQUIVACaptureModelManager::LoadFolder(const CString& folder)
{
    CKXXmlDocument xml;
    CKXQUIVACaptureModel* model = nullptr;
    if (!FindFolderModel(folder, xml, &model))
        return;
    // Of an info.xml, a journal or a still cut by a crash.
    Store().RemoveLeftovers(folder);
    FolderScan scan(folder, model);
    if (scan.entries.empty())
        return;
    if (model)
        TakeListedFiles(scan, xml);
    TakeLooseFiles(scan);
}

bool CKXQUIVACaptureModelManager::FindFolderModel(const CString& folder, CKXXmlDocument& xml,
                                                  CKXQUIVACaptureModel** model)
{
    const CString info = folder + L"\\info.xml";
    if (xml.Load(info)) {
        const CString chartNo = CKXQUIVACaptureModel::TrimChartNo(xml.GetAttribute(L"/patient", L"chartNo"));
        // Blanks name no patient, as no number does: such a folder is nobody's to file.
        if (chartNo.IsEmpty())
            return false;
        *model = GetOrCreateModel(chartNo, xml.GetValue(L"/patient"));
        return true;
    }
    // A damaged or oversized info.xml is left as it is; its folder is opened as one without.
    if (PathFileExistsW(info))
        OutputDebugStringW(L"LoadFolder: " + info + L" is not read (" + xml.GetLoadError() +
                           L"); the folder's captures are taken as loose files\n");
    if (const CString chartNo = UnlistedFolderChart(folder); !chartNo.IsEmpty()) {
        // A study folder whose first capture was cut before its info.xml was written (an older
        // version wrote it after the first still): its captures come back to the chart its place
        // names; the patient's name is the one the chart's model has, or comes with the next Show.
        for (const auto& known : m_models)
            if (known->m_strChartNo == chartNo)
                *model = known.get();
        if (!*model)
            *model = GetOrCreateModel(chartNo, CString());
    }
    return true;
}

void CKXQUIVACaptureModelManager::TakeListedFiles(FolderScan& scan, CKXXmlDocument& xml)
{
    scan.sameFolder = CKXQUIVACaptureModel::PathKey(scan.folder, true);
    scan.folderKey = CString(scan.sameFolder).MakeLower();
    for (const quiva::FolderListing::Entry& entry : scan.entries)
        CKXQUIVACaptureModel::AddCommitJournal(entry.name.c_str(), entry.attributes, scan.journals);
    Store().SettleTwinStills(scan.folder, scan.entries, scan.journals, scan.gone, scan.keptOf);
    scan.IndexNames();
    // The title the folder was made for, first (older info.xml files name none).
    scan.titles.push_back(xml.GetAttribute(L"/patient", L"Study").Left(CKXQUIVAConfig::kMaxStudyName));
    xml.ReadList(L"/image", {L"Study", L"StudyDate", L"Saved", L"Deleted", L"IsVideo"},
                 [&](const CString& path, const std::vector<CString>& attributes) {
        return TakeListedFile(scan, path, attributes);
    });
}

bool CKXQUIVACaptureModelManager::TakeListedFile(FolderScan& scan, const CString& path,
                                                 const std::vector<CString>& attributes)
{
    if (path.IsEmpty())
        return false;
    // A study title is a study name, also when info.xml was edited by hand.
    const CString study = attributes[0].Left(CKXQUIVAConfig::kMaxStudyName);
    if (std::find(scan.titles.begin(), scan.titles.end(), study) == scan.titles.end())
        scan.titles.push_back(study);
    // Only files of this folder: a listed path anywhere else is never taken (it would be copied
    // and deleted by the next commit).
    const std::wstring& text = path.str();
    const size_t cut = text.find_last_of(L"\\/");
    const size_t folderLength = cut == std::wstring::npos ? 0 : cut;
    if (!scan.IsThisFolder(std::wstring_view(text).substr(0, folderLength))) {
        OutputDebugStringW(L"LoadFolder: a listed file outside its folder is ignored: " + path + L"\n");
        return true;
    }
    scan.name.assign(text, folderLength + 1);
    size_t index = scan.Find(scan.name);
    if (index == scan.entries.size())
        return true;
    // A listed still whose twin was kept in its place is listed by the kept file.
    CString listedPath = path;
    if (scan.gone[index]) {
        index = scan.keptOf[index];
        listedPath = CString(text.substr(0, folderLength + 1)) + scan.entries[index].name.c_str();
    }
    // Only files are captures: an entry naming a folder (the study folder itself) is not, nor a
    // link, which is never followed.
    const quiva::FolderListing::Entry& entry = scan.entries[index];
    if (entry.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return true;
    if (!StillInStore(listedPath, scan.journals)) {
        scan.taken[index] = true;
        return true;
    }
    const bool video = attributes[4] == L"TRUE";
    Gdiplus::Size own;
    bool sized = false;
    if (scan.cut[index] || (!video && !scan.WholeStill(entry, &own, &sized))) {
        if (!scan.cut[index])
            Store().SetAsideCutStill(scan.folder, entry.name);
        scan.cut[index] = scan.taken[index] = true;
        return true;
    }
    const bool listed = scan.model->AddKeyedFileInfo(
        CKXQUIVACaptureModel::EntryPathKey(scan.folderKey, entry.name.c_str(), false), listedPath, study,
        attributes[1], video, attributes[2] == L"TRUE", attributes[3] == L"TRUE" ? 0 : 1, sized ? &own : nullptr);
    // A listed recording is still mended with the loose files, as a loose one is.
    scan.taken[index] = listed && !video;
    scan.listedRecording[index] = video;  // kept even when it gives no picture now
    return true;
}

void CKXQUIVACaptureModelManager::TakeLooseFiles(FolderScan& scan)
{
    for (size_t i = 0; i < scan.entries.size(); ++i) {
        const quiva::FolderListing::Entry& found = scan.entries[i];
        if (found.attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            continue;  // links are not followed
        if (found.attributes & FILE_ATTRIBUTE_DIRECTORY)
            LoadFolder(scan.folder + L"\\" + found.name.c_str());
        else
            TakeLooseFile(scan, i);
    }
}

void CKXQUIVACaptureModelManager::TakeLooseFile(FolderScan& scan, size_t index)
{
    const quiva::FolderListing::Entry& found = scan.entries[index];
    const std::wstring_view name(found.name);
    const size_t dot = name.rfind(L'.');
    // A commit journal whose file has gone: that commit was finished.
    if (dot != std::wstring_view::npos && name.substr(dot) == std::wstring_view(L".commit") &&
        Store().SettleFinishedJournal(scan.folder + L"\\" + found.name.c_str()))
        return;
    if (scan.taken[index] || scan.gone[index])
        return;
    const CString ext = dot == std::wstring_view::npos ? CString() : CString(found.name.substr(dot));
    int video;
    if (ext.CompareNoCase(L".jpg") == 0 || ext.CompareNoCase(L".jpeg") == 0 || ext.CompareNoCase(L".bmp") == 0)
        video = 0;
    else if (ext.CompareNoCase(L".avi") == 0)
        video = 1;
    else
        return;
    // A folder without info.xml lists nothing; only a recording cut short is looked at there (its
    // first frame goes out before the folder's info.xml).
    if (!scan.model && !video)
        return;
    // A capture that no info.xml lists lost its listing to a crash (a recording cut short, most
    // often): it comes back kept, for the person to decide on, never to be deleted unasked, under
    // the study and date its folder names.
    const CString path = scan.folder + L"\\" + found.name.c_str();
    if (!StillInStore(path, scan.journals))
        return;
    if (video && !Store().SettleRecording(path, scan.listedRecording[index]))
        return;
    if (!scan.model)
        return;
    Gdiplus::Size own;
    bool sized = false;
    if (!video && !scan.WholeStill(found, &own, &sized))
        return Store().SetAsideCutStill(scan.folder, found.name);
    CString study, date;
    if (!FolderStudy(scan.folder, scan.titles, &study, &date)) {
        study = L"None";
        date = CreationDate(scan.listing.CreationTime(found));
    }
    scan.model->AddKeyedFileInfo(CKXQUIVACaptureModel::EntryPathKey(scan.folderKey, found.name.c_str(), false), path,
                                 study, date, video, 0, 1, sized ? &own : nullptr);
}

CString CKXQUIVACaptureModelManager::UnlistedFolderChart(const CString& folder) const
{
    CString study, date;
    if (!FolderStudy(folder, {}, &study, &date))
        return CString();
    const CString below = folder.Mid(m_strImageRoot.GetLength() + 1);
    const int cut = below.Find(L'\\');
    const CString chart = cut < 0 ? below : below.Left(cut);
    // The chart the other info.xml files of its chart folder name (a chart whose name another's
    // folder took has a folder "<name>~<n>", see CKXQUIVACaptureModel::ChartFolder).
    if (const CString owner = ChartNamedIn(m_strImageRoot + L"\\" + chart, kChartFolderLevels); !owner.IsEmpty())
        return owner;
    if (chart.Find(L'_') >= 0 || chart.Find(L'~') >= 0 || CKXQUIVACaptureModel::CleanFolderName(chart) != chart ||
        CKXQUIVACaptureModel::TrimChartNo(chart) != chart)
        return CString();
    return chart;
}

bool CKXQUIVACaptureModelManager::FolderStudy(const CString& folder, const std::vector<CString>& titles, CString* study,
                                              CString* date) const
{
    // LoadAll reaches every folder below the root as "<root>\<name>\<name>...".
    const CString root = m_strImageRoot + L"\\";
    if (folder.GetLength() <= root.GetLength() || folder.Left(root.GetLength()) != root)
        return false;
    std::vector<CString> levels;
    const std::wstring& below = folder.str();
    for (size_t at = static_cast<size_t>(root.GetLength()); at <= below.size();) {
        const size_t cut = std::min(below.find(L'\\', at), below.size());
        levels.emplace_back(below.substr(at, cut - at).c_str());
        at = cut + 1;
    }
    if ((levels.size() != 2 && levels.size() != 3) || !CKXQUIVACaptureModel::IsStudyDate(levels.back()))
        return false;
    *date = levels.back();
    *study = levels.size() == 2 ? CString() : levels[1];
    for (const CString& title : titles)
        if (levels.size() == 3 && CKXQUIVACaptureModel::CleanFolderName(title) == levels[1]) {
            *study = title;
            break;
        }
    return true;
}

void CKXQUIVACaptureModelManager::CommitAll(const Teller& tell)
{
    std::vector<std::pair<CString, CString>> missed;  // chart and patient, what was missed
    while (!m_models.empty()) {
        CKXQUIVACaptureModel* model = m_models.back().get();
        model->Commit();
        if (!model->GetPacsMissedMessage().IsEmpty())
            missed.emplace_back(model->GetChartNo() + L"-" + model->GetPatientName(), model->GetPacsMissedMessage());
        DeleteModel(model);
    }
    if (!tell || missed.empty())
        return;
    if (missed.size() == 1)
        return tell(missed[0].second, KX_PACS_MISSED_CAPTION);
    // Several patients' stills: each under the patient they belong to.
    CString text;
    for (const auto& [patient, what] : missed)
        text += (text.IsEmpty() ? CString() : CString(L"\n\n")) + patient + L"\n" + what;
    tell(text, KX_PACS_MISSED_CAPTION);
}

void CKXQUIVACaptureModelManager::DeleteAllModels()
{
    OutputDebugStringW(quiva::FormatWide(L"Model Count : %d", GetModelCount()).c_str());
    while (!m_models.empty())
        DeleteModel(m_models.back().get());
}

bool CKXQUIVACaptureModel::WriteInfoXml(CString folder)
{
    if (folder.IsEmpty())
        folder = BuildStudyFolder();
    CKXXmlDocument xml;
    xml.LoadXml(kInfoTemplate);
    xml.SetValue(L"/patient", m_strPatientName);
    xml.SetAttribute(L"/patient", 0, L"chartNo", m_strChartNo);
    // Beside the chart, the study title and date the folder was made for, written with the chart
    // before its first capture (NameChartIn): a capture a crash left unlisted comes back under the
    // title it was taken under, which the folder's name may have lost ("/" is "_" there). The
    // newest record of the folder gives them, or, before its first, the study being captured.
    CString folderStudy = m_strStudyName, folderDate = m_strStudyDate;
    {
        AssertWindowThread();
        for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
            const CString& path = (*it)->path;
            if (path.GetLength() > folder.GetLength() && path[folder.GetLength()] == L'\\' &&
                path.Find(L'\\', folder.GetLength() + 1) < 0 && path.Left(folder.GetLength()) == folder) {
                folderStudy = (*it)->study;
                folderDate = (*it)->date;
                break;
            }
        }
    }
    xml.SetAttribute(L"/patient", 0, L"Study", folderStudy);
    xml.SetAttribute(L"/patient", 0, L"StudyDate", folderDate);
    {
        AssertWindowThread();
        // A file that has gone is left out; the names of each folder are read once, and looked
        // up again only where the records' folder changes.
        std::map<std::wstring, std::unordered_set<std::wstring>, std::less<>> present;
        const std::unordered_set<std::wstring>* names = nullptr;
        std::wstring_view namesFolder;  // of `names`, in a record's path (the records stay)
        std::wstring name;
        auto there = [&](const std::wstring& path) {
            const size_t cut = path.find_last_of(L"\\/");
            const std::wstring_view folder = cut == std::wstring::npos ? std::wstring_view() : std::wstring_view(path).substr(0, cut);
            if (!names || folder != namesFolder) {
                auto listed = present.find(folder);
                if (listed == present.end()) {
                    const std::wstring key(folder);
                    listed = present.emplace(key, quiva::FolderNames(key.c_str())).first;
                }
                names = &listed->second;
                namesFolder = folder;
            }
            name.assign(path, cut == std::wstring::npos ? 0 : cut + 1);
            for (wchar_t& c : name)
                c = quiva::FoldAscii(c);
            return names->count(name) != 0;
        };
        // The list is appended in one go: no path is looked up in the document for each record.
        size_t next = 0;
        xml.AppendList(L"/", L"image", {L"Study", L"StudyDate", L"Saved", L"Deleted", L"IsVideo"},
                       [&](const wchar_t*& value, std::vector<const wchar_t*>& values) {
            while (next < m_files.size() && !there(m_files[next]->path.str()))
                ++next;
            if (next == m_files.size())
                return false;
            const _KXCaptureFileInfo* info = m_files[next++].get();
            value = info->path;
            values = {info->study, info->date, Flag(info->saved), Flag(!info->present), Flag(info->isVideo)};
            return true;
        });
    }
    if (!xml.Save(folder + L"\\info.xml")) {
        OutputDebugStringW(L"WriteInfoXml: not written: " + folder + L"\n");
        return false;
    }
    quiva::FlushFolder(folder);  // the new info.xml's name on the disk
    return true;
}

// A chart's folder is named by its chart number made a folder name (CleanFolderName), matched as
// the file system matches names, without regard to case. Charts whose names clean alike
// ("12345." and "12345", "1/2" and "1_2", "a123" and "A123") would share it, and one's info.xml
// would list the other's captures: so a folder belongs to the one chart its info.xml files name
// (each study folder's info.xml is written, naming the chart, before its first capture). A chart
// whose name is taken by another's folder takes the first of "<name>~2", "<name>~3", ... that is
// its own or free. A folder no info.xml names (an older version's first capture cut before its
// info.xml) is taken only by the chart it is named exactly after, as the store's open gives it.
CString CKXQUIVACaptureModel::ChartFolder() const
{
    // Found once and kept while it stands: telling a folder's owner reads an info.xml, which for
    // a folder of thousands of stills costs more than the still itself. The folder goes only
    // through this model's RemoveEmptyFolders, which forgets it.
    const CString key = m_strImageRoot + L"|" + m_strChartNo;
    if (m_chartFolderKey == key && PathIsDirectoryW(m_chartFolder))
        return m_chartFolder;
    const CString folder = FindChartFolder();
    if (PathIsDirectoryW(folder)) {
        m_chartFolder = folder;
        m_chartFolderKey = key;
    }
    return folder;
}

CString CKXQUIVACaptureModel::FindChartFolder() const
{
    const CString name = CleanFolderName(m_strChartNo);
    for (int n = 1; n < 10000; ++n) {
        const CString folder =
            m_strImageRoot + L"\\" + name + (n == 1 ? CString() : CString(quiva::FormatWide(L"~%d", n).c_str()));
        const DWORD attributes = GetFileAttributesW(folder);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return folder;
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        const CString owner = ChartNamedIn(folder, kChartFolderLevels);
        if (owner == m_strChartNo || (owner.IsEmpty() && n == 1 && name == m_strChartNo))
            return folder;
    }
    return m_strImageRoot + L"\\" + name;
}

void CKXQUIVACaptureModel::NameChartIn(const CString& folder)
{
    if (GetFileAttributesW(folder + L"\\info.xml") == INVALID_FILE_ATTRIBUTES)
        WriteInfoXml(folder);
}

void CKXQUIVACaptureModel::RemoveEmptyFolders()
{
    const CString dateFolder = BuildStudyFolder();
    const CString chartFolder = ChartFolder();
    const CString studyFolder = chartFolder + L"\\" + CleanFolderName(m_strStudyName);
    // A level that is not there (a model rebuilt from the store has no study of its own) is
    // passed over: the levels above it may still be empty.
    for (const CString& level : {dateFolder, studyFolder, chartFolder}) {
        if (!PathIsDirectoryW(level))
            continue;
        if (!Store().RemoveEmptyFolder(level))
            return;
        m_chartFolderKey.Empty();
    }
}
