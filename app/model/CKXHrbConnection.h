// Connections to the clinic-records database with the clinic's own account. Connect loads the
// clinic's helper libraries HRBSConst.dll and HRBCrypto.dll from the library folder, takes
// credential set 0 (then set 1) from them and opens the connection string built with it; the last
// string built stays for the later Open calls.
//
// CKXHrbConnection reaches the "SQL Anywhere 12" server; CKXHrbPGConnection (kDbmsPostgreSQL) the
// PostgreSQL server through "PostgreSQL Unicode".
#pragma once

#include "framework/CKXAdoConnection.h"

class CKXHrbConnection : public CKXAdoConnection {
public:
    CKXHrbConnection() = default;
    ~CKXHrbConnection() override;

    // The folder the helper libraries are loaded from; a backslash is appended when missing.
    void BuildHelperPath(const CString& folder);
    void Connect(CString host, CString port, CString user, CString password, CString database) override;
    // A new connection of the same class with the stored parameters and library folder,
    // connected and opened; the caller owns it.
    CKXDataConnection* Clone() override;

    // The key text the clinic's decryption takes.
    static constexpr char kDecryptKey[] = "804417259";

    CString m_strLibraryFolder;

protected:
    virtual CKXHrbConnection* NewConnection();
    virtual CString BuildConnectionString(const CString& host, const CString& port, const CString& user,
                                          const CString& password);
    // Debug line for a helper library that could not be used.
    virtual void ReportLibraryFailure(const wchar_t* library, DWORD error);
};

class CKXHrbPGConnection : public CKXHrbConnection {
public:
    CKXHrbPGConnection();
    ~CKXHrbPGConnection() override;

protected:
    CKXHrbConnection* NewConnection() override;
    CString BuildConnectionString(const CString& host, const CString& port, const CString& user,
                                  const CString& password) override;
    void ReportLibraryFailure(const wchar_t* library, DWORD error) override;
};
