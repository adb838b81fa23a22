// The configuration's clinic-records connection settings (DBServer.ini) and its connection.
#include "app/CKXQUIVAConfig.h"

#include "framework/CKXAdoConnection.h"
#include "platform/base/fileapi.h"
#include "platform/base/inifile.h"

namespace {

const wchar_t kSection[] = L"Connection Config";
// The profile reader's buffers: values are cut at 254 characters.
constexpr DWORD kValueChars = 255;

CString ReadText(const CString& file, const wchar_t* key, const wchar_t* defaultValue)
{
    wchar_t buffer[kValueChars] = {};
    GetPrivateProfileStringW(kSection, key, defaultValue, buffer, kValueChars, file);
    return CString(buffer);
}

// The text between the first "=" and the first "}" of a CommLinks value ("tcpip{host=db01}").
CString CommLinksHost(const CString& links)
{
    int equals = links.Find(L'=');
    int brace = links.Find(L'}');
    int start = equals + 1;
    int length = brace - equals - 1;
    if (start < 0)
        start = 0;
    if (length < 0)
        length = 0;
    return links.Mid(start, length);
}

}  // namespace

void CKXQUIVAConfig::ReadDBServerIni()
{
    CString file;
    file.Format(L"%s\\DBServer.ini", m_strImageRoot.GetString());
    if (PathFileExistsW(file)) {
        m_bConnPriority = GetPrivateProfileIntW(kSection, L"DBMSConnPriority", 0, file) != 1;
        m_strEngineName = ReadText(file, L"EngineName", L"HRB4100");
        CString links = ReadText(file, L"CommLinks", L"tcpip{host=127.0.0.1}");
        if (m_strCommLinksHost.IsEmpty())
            m_strCommLinksHost = CommLinksHost(links);
        m_strPGHost = ReadText(file, L"PGHostIPAddress", m_strCommLinksHost);
        m_strPGPort = ReadText(file, L"PGPort", L"");
        m_bPostgreSQL = ReadText(file, L"DBMSKind", L"").CompareNoCase(L"POSTGRESQL") == 0;
    }
    if (m_strCommLinksHost.IsEmpty())
        m_strCommLinksHost = L"127.0.0.1";
}
