// Database connection over the platform's ADO-shaped ODBC layer. A derived class writes
// connectionString before calling Open.
#pragma once

#include <memory>

#include "framework/CKXDataConnection.h"
#include "platform/db/db.h"

class CKXAdoConnection : public CKXDataConnection {
public:
    CKXAdoConnection();
    ~CKXAdoConnection() override;

    // Makes a new connection object in place of the one held (which is disconnected first).
    BOOL Open(int tag) override;
    // Closes an open connection, then up to 10 attempts with 200 ms pauses.
    BOOL Reconnect(int tag) override;
    BOOL Close(int tag) override;
    BOOL IsOpen() override;
    BOOL Execute(CString sql, int tag, BOOL logErrors) override;
    CString EscapeLike(CString text, int* hasWildcard) override;
    CString EscapeQuote(CString text) override;
    CString BuildWhere(CString field, CString value, BOOL allowWildcards) override;
    CString BuildWhereLike(CString field, CString value, BOOL contains) override;

    // One transaction over the statements that follow, ended by CommitTrans or RollbackTrans.
    // While it is open a lost connection is not opened again: the transaction fails instead.
    BOOL BeginTrans();
    BOOL CommitTrans();
    BOOL RollbackTrans();

    // The connection object (not owned by the caller), or null when there is none.
    quiva::db::Connection* GetConnection() { return connection.get(); }
    // The driver's messages of the last failure: one as it is, several each followed by "\n\n".
    CString GetErrorText() const;
    // The last failure (or the last Open) found the database held by another program past the
    // bounded wait: trying again later may succeed.
    BOOL IsBusy() const { return connection && connection->Busy() ? TRUE : FALSE; }

    static const int kReconnectAttempts = 10;
    static const DWORD kReconnectPauseMs = 200;

    std::unique_ptr<quiva::db::Connection> connection;
    CString connectionString;

private:
    // Error text to the sink (level 1) and to the debugger output.
    void ReportError(const CString& what, int tag);
    CString BuildTerms(CString field, CString value, bool like, BOOL flag);
};
