#include "app/model/CKXHrbConnection.h"

#include <array>
#include <cstring>

#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/lasterror.h"
#include "platform/base/library.h"
#include "platform/db/db.h"

namespace {

typedef BOOL (*GetDBConstDataProc)(int set, char* user, char* password);
typedef void (*HRBDecryptCommonProc)(const char* key, const char* encrypted, char* plain);

// The libraries fill 255 bytes; one more byte, always 0, keeps every buffer terminated.
using Buffer = std::array<char, 256>;

CString Plain(HRBDecryptCommonProc decrypt, const Buffer& encrypted)
{
    Buffer plain{};
    decrypt(CKXHrbConnection::kDecryptKey, encrypted.data(), plain.data());
    plain.back() = 0;
    return CString(quiva::MultiByteToWide(std::string_view(plain.data(), strnlen(plain.data(), plain.size())), CP_ACP));
}

// A loaded library freed when the scope ends.
class Library {
public:
    explicit Library(const CString& path) : m_module(LoadLibraryW(path)) {}
    ~Library()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
    HMODULE get() const { return m_module; }

private:
    HMODULE m_module;
};

using quiva::db::ConnectionStringValue;

}  // namespace

CKXHrbConnection::~CKXHrbConnection() = default;

void CKXHrbConnection::BuildHelperPath(const CString& folder)
{
    m_strLibraryFolder = folder;
    if (m_strLibraryFolder.IsEmpty() || m_strLibraryFolder[m_strLibraryFolder.GetLength() - 1] != L'\\')
        m_strLibraryFolder += L'\\';
}

void CKXHrbConnection::Connect(CString host, CString port, CString user, CString password, CString database)
{
    CKXDataConnection::Connect(host, port, user, password, database);

    Library accounts(m_strLibraryFolder + L"HRBSConst.dll");
    if (!accounts.get()) {
        ReportLibraryFailure(L"HRBSConst", GetLastError());
        return;
    }
    Library crypto(m_strLibraryFolder + L"HRBCrypto.dll");
    if (!crypto.get()) {
        ReportLibraryFailure(L"HRBCrypto", GetLastError());
        return;
    }
    // A library without its export is one that cannot be used.
    auto getAccount = reinterpret_cast<GetDBConstDataProc>(reinterpret_cast<void*>(GetProcAddress(accounts.get(), "GetDBConstData")));
    if (!getAccount) {
        ReportLibraryFailure(L"HRBSConst", GetLastError());
        return;
    }
    auto decrypt = reinterpret_cast<HRBDecryptCommonProc>(
        reinterpret_cast<void*>(GetProcAddress(crypto.get(), "HRBDecryptCommon")));
    if (!decrypt) {
        ReportLibraryFailure(L"HRBCrypto", GetLastError());
        return;
    }

    CString previous;
    Buffer encryptedUser{}, encryptedPassword{};
    if (!getAccount(0, encryptedUser.data(), encryptedPassword.data()))
        return;
    for (;;) {
        encryptedUser.back() = 0;
        encryptedPassword.back() = 0;
        CString text = BuildConnectionString(host, port, Plain(decrypt, encryptedUser), Plain(decrypt, encryptedPassword));
        if (text.CompareNoCase(previous) == 0)
            break;
        connectionString = text;
        if (Open(0))
            break;
        previous = text;
        encryptedUser.fill(0);
        encryptedPassword.fill(0);
        if (!getAccount(1, encryptedUser.data(), encryptedPassword.data()))
            break;
    }
}

CString CKXHrbConnection::BuildConnectionString(const CString& host, const CString&, const CString& user,
                                                const CString& password)
{
    CString text;
    text.Format(L"Driver={SQL Anywhere 12};Host=%s;Database=HRB4100;User ID=%s;Password=%s",
                ConnectionStringValue(host).GetString(), ConnectionStringValue(user).GetString(),
                ConnectionStringValue(password).GetString());
    return text;
}

void CKXHrbConnection::ReportLibraryFailure(const wchar_t* library, DWORD error)
{
    CString line;
    if (std::wcscmp(library, L"HRBSConst") == 0)
        line.Format(L"HRBSConst %s %d", m_strLibraryFolder.GetString(), static_cast<int>(error));
    else
        line.Format(L"%s %d", library, static_cast<int>(error));
    OutputDebugStringW(line);
}

CKXHrbConnection* CKXHrbConnection::NewConnection() { return new CKXHrbConnection; }

CKXDataConnection* CKXHrbConnection::Clone()
{
    CKXHrbConnection* copy = NewConnection();
    copy->dbmsKind = dbmsKind;
    copy->server = server;
    copy->port = port;
    copy->user = user;
    copy->password = password;
    copy->extra = extra;
    // The libraries come from the same folder, never from wherever a bare name would lead.
    copy->m_strLibraryFolder = m_strLibraryFolder;
    copy->Connect(copy->server, copy->port, copy->user, copy->password, copy->extra);
    copy->Open(0);
    return copy;
}

CKXHrbPGConnection::CKXHrbPGConnection() { dbmsKind = kDbmsPostgreSQL; }

CKXHrbPGConnection::~CKXHrbPGConnection() = default;

CKXHrbConnection* CKXHrbPGConnection::NewConnection() { return new CKXHrbPGConnection; }

CString CKXHrbPGConnection::BuildConnectionString(const CString& host, const CString& port, const CString& user,
                                                  const CString& password)
{
    CString text;
    text.Format(L"Provider=MSDASQL;Driver=PostgreSQL Unicode;Server=%s;Port=%s;UID=%s;password=%s;DATABASE=%s;",
                ConnectionStringValue(host).GetString(), ConnectionStringValue(port).GetString(),
                ConnectionStringValue(user).GetString(), ConnectionStringValue(password).GetString(), L"hrb4100");
    return text;
}

void CKXHrbPGConnection::ReportLibraryFailure(const wchar_t*, DWORD error)
{
    CString line;
    line.Format(L"%d", static_cast<int>(error));
    OutputDebugStringW(line);
}
