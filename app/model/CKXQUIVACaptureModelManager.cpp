#include "app/model/CKXQUIVACaptureModelManager.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string_view>
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
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"

namespace {

const wchar_t* const kInfoTemplate = L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><QUIVA/>";

std::wstring_view Flag(int value)
{
    using namespace std::string_view_literals;
    return value ? L"TRUE"sv : L"FALSE"sv;
}

}  // namespace

CKXQUIVACaptureModelManager::CKXQUIVACaptureModelManager() { m_strImageRoot = ClinicDataFolder() + L"\\temp\\image"; }

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
        Store().MakeRoot();
}

CKXQUIVACaptureModel* CKXQUIVACaptureModelManager::GetModel(int index) const
{
    return index >= 0 && index < GetModelCount() ? m_models[static_cast<size_t>(index)].get() : nullptr;
}

quiva::WatchedFolderNames& CKXQUIVACaptureModelManager::FolderNames()
{
    if (!m_folderNames)
        m_folderNames = std::make_unique<quiva::WatchedFolderNames>();
    return *m_folderNames;
}

quiva::WatchedFolderNames& CKXQUIVACaptureModel::FolderNames()
{
    if (m_pManager)
        return m_pManager->FolderNames();
    if (!m_folderNames)
        m_folderNames = std::make_unique<quiva::WatchedFolderNames>();
    return *m_folderNames;
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
    // Out of the list, and let go of, before its destructor runs.
    std::unique_ptr<CKXQUIVACaptureModel> gone = std::move(*it);
    m_models.erase(it);
    gone->m_pManager = nullptr;
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
                                                         m_pConfig ? m_pConfig->GetImageDirectory() : CString()) !=
           CKXQUIVACaptureModel::InterruptedCommit::WentThrough;
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

void CKXQUIVACaptureModelManager::LoadFolder(const CString& folder)
{
    CKXQUIVATemporaryStore::Opening opening;
    opening.folderModel = [this](const CString& at, CKXXmlDocument& xml, CKXQUIVACaptureModel** model) {
        return FindFolderModel(at, xml, model);
    };
    opening.stillInStore = [this](const CString& path, const std::unordered_set<std::wstring>& journals) {
        return StillInStore(path, journals);
    };
    Store().OpenFolder(folder, opening);
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
    if (const CString chartNo = Store().UnlistedFolderChart(folder); !chartNo.IsEmpty()) {
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
        // Looked at without a copy of each path: a folder none of them is in reads them all.
        const std::wstring& within = folder.str();
        for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
            const std::wstring& path = (*it)->path.str();
            if (path.size() > within.size() && path[within.size()] == L'\\' &&
                path.find(L'\\', within.size() + 1) == std::wstring::npos && path.compare(0, within.size(), within) == 0) {
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
        // A file that has gone is left out. Each folder's names are known once for the whole
        // list, and looked up again only where the records' folder changes; a folder is read
        // only when the kernel cannot tell what changed in it since it was last read.
        quiva::WatchedFolderNames& folderNames = FolderNames();
        std::map<std::wstring, const quiva::WatchedFolderNames::Names*, std::less<>> present;
        const quiva::WatchedFolderNames::Names* names = nullptr;
        std::wstring_view namesFolder;  // of `names`, in a record's path (the records stay)
        std::string name;
        auto there = [&](const std::wstring& path) {
            size_t cut = path.size();
            while (cut > 0 && path[cut - 1] != L'\\' && path[cut - 1] != L'/')
                --cut;
            const std::wstring_view folder = std::wstring_view(path).substr(0, cut ? cut - 1 : 0);
            if (!names || folder != namesFolder) {
                auto listed = present.find(folder);
                if (listed == present.end()) {
                    const std::wstring key(folder);
                    listed = present.emplace(key, &folderNames.Of(key.c_str())).first;
                }
                names = listed->second;
                namesFolder = folder;
            }
            quiva::WatchedFolderNames::KeyOf(std::wstring_view(path).substr(cut), name);
            return names->Has(name);
        };
        // The list is written as it is read from the records: no path is looked up in the
        // document, and no node is made, for each record.
        size_t next = 0;
        return Store().WriteInfoXml(folder, xml, [&](std::wstring_view& value, std::vector<std::wstring_view>& values) {
            while (next < m_files.size() && !there(m_files[next]->path.str()))
                ++next;
            if (next == m_files.size())
                return false;
            const _KXCaptureFileInfo* info = m_files[next++].get();
            value = info->path.str();
            values = {info->study.str(), info->date.str(), Flag(info->saved), Flag(!info->present), Flag(info->isVideo)};
            return true;
        }, m_files.size());
    }
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

CString CKXQUIVACaptureModel::FindChartFolder() const { return Store().FindChartFolder(m_strChartNo); }

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
