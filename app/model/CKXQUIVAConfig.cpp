#include "app/model/CKXQUIVAConfig.h"

#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/KXConfigFile.h"
#include "framework/CKXAdoConnection.h"
#include "framework/CKXRegistry.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/fileapi.h"
#include "platform/base/winpath.h"

BOOL g_bNoPrevent = 0;

using namespace quiva::app;

namespace {

const wchar_t kConfigFile[] = L"QUIVA.Capture.Config";

CString DefaultTempFolder(const CString& imageRoot)
{
    CString folder;
    folder.Format(L"%s\\temp\\image", imageRoot.GetString());
    return folder;
}

// A folder without a drive and not starting at a root.
bool IsRelativeFolder(const CString& folder)
{
    if (folder.GetLength() >= 2 && folder[1] == L':')
        return false;
    return folder[0] != L'\\' && folder[0] != L'/';
}

// Whether a path names a ".." level, which joining keeps.
bool NamesParentLevel(const CString& folder)
{
    const int length = folder.GetLength();
    for (int start = 0; start <= length;) {
        int end = start;
        while (end < length && folder[end] != L'\\' && folder[end] != L'/')
            ++end;
        if (end - start == 2 && folder[start] == L'.' && folder[start + 1] == L'.')
            return true;
        start = end + 1;
    }
    return false;
}

// The temporary store as the file names it. An empty folder would put the store at the root of the
// drive; a relative one would depend on the host's working folder, and one with ".." would leave
// the data folder.
CString TempFolder(const CString& imageRoot, const CString& named)
{
    if (named.IsEmpty() || (IsRelativeFolder(named) && NamesParentLevel(named)))
        return DefaultTempFolder(imageRoot);
    return CKXQUIVAConfig::OnDataDrive(imageRoot, named);
}

}  // namespace

CString CKXQUIVAConfig::OnDataDrive(const CString& dataFolder, const CString& folder)
{
    if (folder.IsEmpty() || !IsRelativeFolder(folder))
        return quiva::PathOnDriveOf(dataFolder, folder);
    return quiva::PathJoin(dataFolder, folder);
}

CKXQUIVAConfig::CKXQUIVAConfig()
{
    m_strImageRoot = ClinicDataFolder();
    m_options.m_strTempFolder = DefaultTempFolder(m_strImageRoot);
    ReadDBServerIni();
}

CKXQUIVAConfig::~CKXQUIVAConfig() { DeleteDevices(); }

void CKXQUIVAConfig::DeleteDevices()
{
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i)
        delete m_devices[i];
    m_devices.RemoveAll();
}

CString CKXQUIVAConfig::GetDatabasePort() const { return m_dbServer.m_bPostgreSQL ? m_dbServer.m_strPGPort : CString(); }

SettingTable CKXQUIVAConfig::ConfigSettings()
{
    return {
        {L"/options", L"saveWhenClose", &m_options.m_bSaveWhenClose, kTrueFalseOn},
        {L"/options", L"writeGraphFile", &m_options.m_bWriteGraphFile, kTrueFalseOff},
        {L"/options", L"useVideo", &m_options.m_bUseVideo, kTrueFalseOn},
        {L"/options", L"saveJpegFormat", &m_options.m_bSaveJpegFormat, kOneZeroOn},
        // A quality outside 0-100 would make every JPEG re-save fail and lose the still.
        {L"/options", L"JpegQuality", &m_options.m_nJpegQuality, Number(0, 100, true, 0, L"100")},
        // The capture model counts the limit in milliseconds in 32 bits.
        {L"/options", L"recordLimitTime", &m_options.m_nRecordLimitTime, Number(0, kMaxRecordLimitSeconds, true)},
        {L"/options", L"captureKey", &m_options.m_nCaptureKey, Number(INT_MIN, INT_MAX, true, 0, L"32")},
        {L"/folder/temp", nullptr, &m_options.m_strTempFolder, kText},
        {L"/extent/source", L"file", &m_options.m_bSourceFile, kTrueFalseOff},
        {L"/extent/source", L"dvd", &m_options.m_bSourceDvd, kTrueFalseOff},
        {L"/options", L"applyColor", &m_options.m_bApplyColor, kOneZeroOn},
        {L"/pacs/MWL", L"ip", &m_options.m_strPacsHost, kText},
        {L"/pacs/MWL", L"port", &m_options.m_strPacsPort, kText},
        {L"/pacs/MWL", L"aeTitle", &m_options.m_strPacsAETitle, kText},
        {L"/pacs/MWL", L"machine", &m_options.m_strInstitutionNumber, kTextKeptWhenEmpty},
        {L"/pacs/MWL", L"sendDICOM", &m_options.m_bSendDICOM, kOneZeroOff},
    };
}

void CKXQUIVAConfig::LoadConfig()
{
    // These settings start from their defaults at every load; the others keep what they held.
    const Options defaults;
    for (int Options::*setting : {&Options::m_bUseVideo, &Options::m_bSaveWhenClose, &Options::m_nRecordLimitTime,
                                  &Options::m_nCaptureKey, &Options::m_bSourceFile, &Options::m_bSourceDvd})
        m_options.*setting = defaults.*setting;

    CKXXmlDocument doc;
    bool fromCurrentFolder = false;
    if (LoadSettingsFile(doc, m_strImageRoot, kConfigFile, &fromCurrentFolder)) {
        ReadSettings(doc, CString(), ConfigSettings());
        m_options.m_strTempFolder = TempFolder(m_strImageRoot, m_options.m_strTempFolder);
        if (fromCurrentFolder)
            doc.Save(ExeFilePath(m_strImageRoot, kConfigFile));
    }
    // The store follows the configuration, also when no file was read.
    if (m_pModelManager)
        m_pModelManager->EnsureImageRoot(m_options.m_strTempFolder);
}

void CKXQUIVAConfig::SaveConfig()
{
    CKXXmlDocument doc;
    StartSettingsFile(doc, L"Configruation");
    WriteSettings(doc, CString(), ConfigSettings());
    doc.Save(ExeFilePath(m_strImageRoot, kConfigFile));
}
