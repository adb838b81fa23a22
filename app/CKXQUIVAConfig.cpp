#include "app/CKXQUIVAConfig.h"

#include <algorithm>

#include "app/CKXQUIVACaptureModelManager.h"
#include "app/KXConfigFile.h"
#include "framework/CKXAdoConnection.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/fileapi.h"
#include "platform/base/winpath.h"

BOOL g_bNoPrevent = 0;

namespace quiva::app {

CString ExeFilePath(const CString& imageRoot, const wchar_t* name)
{
    CString path;
    path.Format(L"%s\\exe\\%s", imageRoot.GetString(), name);
    return path;
}

bool LoadSettingsFile(CKXXmlDocument& document, const CString& imageRoot, const wchar_t* name,
                      bool* fromCurrentFolder)
{
    CString path = ExeFilePath(imageRoot, name);
    *fromCurrentFolder = false;
    if (!PathFileExistsW(path)) {
        path = name;
        *fromCurrentFolder = true;
    }
    return document.Load(path);
}

void StartSettingsFile(CKXXmlDocument& document, const wchar_t* rootElement)
{
    CString xml;
    xml.Format(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><%s/>", rootElement);
    document.LoadXml(xml);
}

CString DecimalText(int value)
{
    CString text;
    text.Format(L"%d", value);
    return text;
}

}  // namespace quiva::app

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

}  // namespace

CKXQUIVAConfig::CKXQUIVAConfig()
{
    // The clinic-records data folder: the first of d:, e:, f: that holds it, else c:.
    m_strImageRoot = L"c:\\HRB4100";
    for (const wchar_t* candidate : {L"d:\\HRB4100", L"e:\\HRB4100", L"f:\\HRB4100"}) {
        if (PathFileExistsW(candidate)) {
            m_strImageRoot = candidate;
            break;
        }
    }
    m_strTempFolder = DefaultTempFolder(m_strImageRoot);
    ReadDBServerIni();
}

CKXQUIVAConfig::~CKXQUIVAConfig() { DeleteDevices(); }

void CKXQUIVAConfig::DeleteDevices()
{
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i)
        delete m_devices[i];
    m_devices.RemoveAll();
}

CString CKXQUIVAConfig::GetDatabasePort() const { return m_bPostgreSQL ? m_strPGPort : CString(); }

void CKXQUIVAConfig::LoadConfig()
{
    m_bUseVideo = 1;
    m_bSaveWhenClose = 1;
    m_nRecordLimitTime = 30;
    m_nCaptureKey = 32;
    m_bSourceFile = 0;
    m_bSourceDvd = 0;

    CKXXmlDocument doc;
    bool fromCurrentFolder = false;
    if (LoadSettingsFile(doc, m_strImageRoot, kConfigFile, &fromCurrentFolder)) {
        m_bSaveWhenClose = !Is(doc.GetAttribute(L"/options", L"saveWhenClose", 0), L"FALSE");
        m_bWriteGraphFile = Is(doc.GetAttribute(L"/options", L"writeGraphFile", 0), L"TRUE");
        m_bUseVideo = !Is(doc.GetAttribute(L"/options", L"useVideo", 0), L"FALSE");
        m_bSaveJpegFormat = !Is(doc.GetAttribute(L"/options", L"saveJpegFormat", 0), L"0");

        CString quality = doc.GetAttribute(L"/options", L"JpegQuality", 0);
        // A quality outside 0-100 would make every JPEG re-save fail and lose the still.
        m_nJpegQuality = quality.IsEmpty() ? 100 : std::clamp(Decimal(quality), 0, 100);
        // The capture model counts the limit in milliseconds in 32 bits.
        m_nRecordLimitTime =
            std::clamp(Decimal(doc.GetAttribute(L"/options", L"recordLimitTime", 0)), 0, kMaxRecordLimitSeconds);
        CString key = doc.GetAttribute(L"/options", L"captureKey", 0);
        m_nCaptureKey = key.IsEmpty() ? 32 : Decimal(key);
        m_bApplyColor = !Is(doc.GetAttribute(L"/options", L"applyColor", 0), L"0");

        // An empty folder would put the store at the root of the drive; a relative one would
        // depend on the host's working folder, and one with ".." would leave the data folder.
        CString temp = doc.GetValue(L"/folder/temp", 0);
        if (temp.IsEmpty() || (IsRelativeFolder(temp) && NamesParentLevel(temp)))
            m_strTempFolder = DefaultTempFolder(m_strImageRoot);
        else if (IsRelativeFolder(temp))
            m_strTempFolder = quiva::PathJoin(m_strImageRoot, temp);
        else
            m_strTempFolder = temp;

        m_bSourceFile = Is(doc.GetAttribute(L"/extent/source", L"file", 0), L"TRUE");
        m_bSourceDvd = Is(doc.GetAttribute(L"/extent/source", L"dvd", 0), L"TRUE");

        m_strPacsHost = doc.GetAttribute(L"/pacs/MWL", L"ip", 0);
        m_strPacsPort = doc.GetAttribute(L"/pacs/MWL", L"port", 0);
        m_strPacsAETitle = doc.GetAttribute(L"/pacs/MWL", L"aeTitle", 0);
        CString machine = doc.GetAttribute(L"/pacs/MWL", L"machine", 0);
        if (!machine.IsEmpty())
            m_strInstitutionNumber = machine;
        m_bSendDICOM = Is(doc.GetAttribute(L"/pacs/MWL", L"sendDICOM", 0), L"1");

        if (fromCurrentFolder)
            doc.Save(ExeFilePath(m_strImageRoot, kConfigFile));
    }
    // The store follows the configuration, also when no file was read.
    if (m_pModelManager)
        m_pModelManager->EnsureImageRoot(m_strTempFolder);
}

void CKXQUIVAConfig::SaveConfig()
{
    CKXXmlDocument doc;
    StartSettingsFile(doc, L"Configruation");
    doc.SetAttribute(L"/options", 0, L"saveWhenClose", TrueFalse(m_bSaveWhenClose));
    doc.SetAttribute(L"/options", 0, L"writeGraphFile", TrueFalse(m_bWriteGraphFile));
    doc.SetAttribute(L"/options", 0, L"useVideo", TrueFalse(m_bUseVideo));
    doc.SetAttribute(L"/options", 0, L"saveJpegFormat", OneZero(m_bSaveJpegFormat));
    doc.SetAttribute(L"/options", 0, L"JpegQuality", DecimalText(m_nJpegQuality));
    doc.SetAttribute(L"/options", 0, L"recordLimitTime", DecimalText(m_nRecordLimitTime));
    doc.SetAttribute(L"/options", 0, L"captureKey", DecimalText(m_nCaptureKey));
    doc.SetValue(L"/folder/temp", m_strTempFolder, 0, TRUE);
    doc.SetAttribute(L"/extent/source", 0, L"file", TrueFalse(m_bSourceFile));
    doc.SetAttribute(L"/extent/source", 0, L"dvd", TrueFalse(m_bSourceDvd));
    doc.SetAttribute(L"/options", 0, L"applyColor", OneZero(m_bApplyColor));
    doc.SetAttribute(L"/pacs/MWL", 0, L"ip", m_strPacsHost);
    doc.SetAttribute(L"/pacs/MWL", 0, L"port", m_strPacsPort);
    doc.SetAttribute(L"/pacs/MWL", 0, L"aeTitle", m_strPacsAETitle);
    doc.SetAttribute(L"/pacs/MWL", 0, L"machine", m_strInstitutionNumber);
    doc.SetAttribute(L"/pacs/MWL", 0, L"sendDICOM", OneZero(m_bSendDICOM));
    doc.Save(ExeFilePath(m_strImageRoot, kConfigFile));
}
