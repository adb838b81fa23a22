// The configuration's clinic-records connection settings (DBServer.ini) and its connection.
#include "app/model/CKXQUIVAConfig.h"

#include <utility>

#include "app/model/CKXHrbConnection.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/inifile.h"
#include "platform/db/db.h"

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
        m_dbServer.m_bConnPriority = GetPrivateProfileIntW(kSection, L"DBMSConnPriority", 0, file) != 1;
        m_dbServer.m_strEngineName = ReadText(file, L"EngineName", L"HRB4100");
        CString links = ReadText(file, L"CommLinks", L"tcpip{host=127.0.0.1}");
        if (m_dbServer.m_strCommLinksHost.IsEmpty())
            m_dbServer.m_strCommLinksHost = CommLinksHost(links);
        m_dbServer.m_strPGHost = ReadText(file, L"PGHostIPAddress", m_dbServer.m_strCommLinksHost);
        m_dbServer.m_strPGPort = ReadText(file, L"PGPort", L"");
        m_dbServer.m_bPostgreSQL = ReadText(file, L"DBMSKind", L"").CompareNoCase(L"POSTGRESQL") == 0;
    }
    if (m_dbServer.m_strCommLinksHost.IsEmpty())
        m_dbServer.m_strCommLinksHost = L"127.0.0.1";
}

CKXAdoConnection* CKXQUIVAConfig::ConnectDatabase()
{
    if (!m_pConnection) {
        std::unique_ptr<CKXHrbConnection> connection;
        if (m_dbServer.m_bPostgreSQL)
            connection = std::make_unique<CKXHrbPGConnection>();
        else
            connection = std::make_unique<CKXHrbConnection>();
        CString folder;
        folder.Format(L"%s\\exe", m_strImageRoot.GetString());
        connection->BuildHelperPath(folder);
        OutputDebugStringW(m_dbServer.m_strCommLinksHost);
        // The file database standing in for the SQL Anywhere server lives in the data folder.
        if (!m_dbServer.m_bPostgreSQL)
            quiva::db::SetDataFolder(m_strImageRoot);
        connection->Connect(m_dbServer.m_bPostgreSQL ? m_dbServer.m_strPGHost : m_dbServer.m_strCommLinksHost, GetDatabasePort(), L"", L"", L"");
        m_pConnection = std::move(connection);
    }
    return m_pConnection->Open(0) ? m_pConnection.get() : nullptr;
}

void CKXQUIVAConfig::UseConnection(std::unique_ptr<CKXAdoConnection> connection)
{
    m_pConnection = std::move(connection);
}
