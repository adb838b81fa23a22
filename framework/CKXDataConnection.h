// Abstract database connection: five connection parameters, an optional log sink, the DBMS kind,
// and builders for WHERE clauses.
#pragma once

#include "framework/CKXDataLog.h"
#include "platform/base/CString.h"

class CKXDataConnection {
public:
    CKXDataConnection() = default;
    virtual ~CKXDataConnection() = default;
    CKXDataConnection(const CKXDataConnection&) = delete;
    CKXDataConnection& operator=(const CKXDataConnection&) = delete;

    virtual BOOL Open(int tag);
    virtual BOOL Reconnect(int tag);
    virtual BOOL Close(int tag);
    virtual BOOL IsOpen();
    virtual BOOL Execute(CString sql, int tag, BOOL logErrors);
    // Stores the parameters; user and password only when the new ones are not empty.
    virtual void Connect(CString server, CString port, CString user, CString password, CString extra);
    virtual CString EscapeLike(CString text, int* hasWildcard);
    virtual CString EscapeQuote(CString text);
    virtual CString BuildWhere(CString field, CString value, BOOL allowWildcards);
    virtual CString BuildWhereLike(CString field, CString value, BOOL contains);
    virtual CString BuildRange(CString field, CString from, CString to, BOOL fromInclusive, BOOL toInclusive);
    virtual CString FilterText(CString text);
    // first AND second; a non-empty second is consumed (emptied).
    virtual CString JoinAnd(CString first, CString& second);
    virtual CKXDataConnection* Clone();
    virtual CString EmptyText(CString text);

    CString server;
    CString port;
    CString user;
    CString password;
    CString extra;
    CKXDataLog* log = nullptr;  // not owned
    // The kinds of server a connection reaches, as dbmsKind holds them.
    static constexpr int kDbmsAdo = 1;
    static constexpr int kDbmsPostgreSQL = 3;  // PostgreSQL over ADO
    int dbmsKind = 0;                          // kDbmsAdo or kDbmsPostgreSQL
    int reserved = 0;
};
