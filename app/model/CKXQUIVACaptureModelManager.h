// Owns the capture models, one per chart number, and the temporary image store they live in:
// rebuilds the models from the store's info.xml files and loose files, hands the frame the model
// of a chart, commits or drops them all.
//
// Store layout below the root: <chart>\<study>\<yyyymmdd>\{HHMMSSmmm.jpg|.bmp|.avi, info.xml}
// (<chart>~<n> for a chart whose folder name another chart's folder has, see
// CKXQUIVACaptureModel::ChartFolder).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/model/Forward.h"

namespace quiva {
class WatchedFolderNames;
}
#include "platform/base/CString.h"

class CKXQUIVACaptureModelManager {
public:
    // The root is "<data folder>\temp\image" of the clinic's data folder (ClinicDataFolder).
    CKXQUIVACaptureModelManager();
    virtual ~CKXQUIVACaptureModelManager();
    CKXQUIVACaptureModelManager(const CKXQUIVACaptureModelManager&) = delete;
    CKXQUIVACaptureModelManager& operator=(const CKXQUIVACaptureModelManager&) = delete;

    // Makes the folder the root and creates it; an empty folder is refused (the root stays).
    void EnsureImageRoot(const CString& folder);
    CKXQUIVACaptureModel* GetOrCreateModel(const CString& chartNo, const CString& patientName);
    // Rebuilds the models from the store; models left without a file are deleted.
    void LoadAll();
    void LoadFolder(const CString& folder);
    // Commits every model, last to first, and deletes it. Then, through `tell` when given, the
    // stills the PACS missed, all models' in one message.
    using Teller = std::function<void(const CString& text, const CString& caption)>;
    void CommitAll(const Teller& tell = nullptr);
    void DeleteAllModels();
    // Takes the model out of the list and deletes it: the one way a model made here goes.
    void DeleteModel(CKXQUIVACaptureModel* model);

    // Whether LoadAll is reading the store (the strips are laid out once, at its end).
    bool IsLoading() const { return m_bLoading; }
    int GetModelCount() const { return static_cast<int>(m_models.size()); }
    CKXQUIVACaptureModel* GetModel(int index) const;
    // The names of the store's folders as its models' info.xml files look them up, one set
    // kept up to date by the kernel's notices for all the models; the open hands it each folder
    // it reads.
    quiva::WatchedFolderNames& FolderNames();

    CString m_strImageRoot;
    std::vector<std::unique_ptr<CKXQUIVACaptureModel>> m_models;  // in order of creation
    CKXQUIVAConfig* m_pConfig = nullptr;                           // not owned
    // Called with every model made here, before it lists a file: the windows give it its view
    // (the frame's view of the model). Programs without windows leave it empty.
    std::function<void(CKXQUIVACaptureModel*)> attachView;

protected:
    // Whether a file found in the store is still there after settling a commit of it that was
    // cut short (see CKXQUIVACaptureModel::ResolveInterruptedCommit); `journals` are the names of
    // the commit journals in its folder, ASCII letters in lower case.
    bool StillInStore(const CString& path, const std::unordered_set<std::wstring>& journals);
    // The store below the root, which settles and removes its files.
    CKXQUIVATemporaryStore Store() const;
    // The clinic-records connection for settling, asked for once per LoadAll.
    CKXAdoConnection* RecoveryConnection();
    CKXAdoConnection* m_pRecoveryDb = nullptr;
    bool m_bRecoveryTried = false;
    bool m_bLoading = false;

private:
    std::unique_ptr<quiva::WatchedFolderNames> m_folderNames;
    // The model a folder's captures join: the chart its info.xml names, else the chart its place
    // names when it has no info.xml (none when that cannot be told). False when its info.xml
    // names no patient: the folder is nobody's to file and is left as it is.
    bool FindFolderModel(const CString& folder, CKXXmlDocument& xml, CKXQUIVACaptureModel** model);
};
