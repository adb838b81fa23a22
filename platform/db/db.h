// Database access in the shape the framework's database classes were designed against: a
// connection opened from a connection string, a command that runs SQL text, and a forward-only
// record set whose current row is read as text by field name or position.
//
// Built on unixODBC. Two drivers are used:
//  - "PostgreSQL Unicode" for the clinic-records server (wide entry points);
//  - the SQLite3 driver for a database file, also under the name "SQL Anywhere 12" (the system's
//    driver configuration binds that name to it). It has only narrow entry points: text goes to
//    it as UTF-8, never through the process locale. A bare database name ("HRB4100") names the
//    file "<name>.db" in the clinic's data folder (SetDataFolder), never one in the working folder.
//
// SQLite's dialect differences are handled here: one statement per driver call (a batch is split
// outside quoted text and run in order), "@@identity" answered by last_insert_rowid(), and
// "INSERT ... RETURNING" turned into the INSERT and a SELECT of the new row.
//
// Nothing here throws; every failure is a false result with the driver's messages in Errors().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/CString.h"

namespace quiva::db {

namespace odbc {
class Dbc;
class Stmt;
}  // namespace odbc

enum class Dialect { Standard, SQLite };

// The clinic's data folder (Windows form) in which bare SQLite database names resolve.
void SetDataFolder(const CString& windowsFolder);
CString DataFolder();

// The folder holding the system's odbcinst.ini (native path); used unless ODBCSYSINI is set.
void SetDriverConfigFolder(const std::string& nativeFolder);

// Seconds a connection attempt may take (default 3).
void SetLoginTimeout(unsigned seconds);
unsigned LoginTimeout();

// One bound on the waits for another program's locks, shared by every connect and statement this
// thread makes from BeginSharedLockWait to EndSharedLockWait: a piece of work of several queries
// (the capture window's show) waits `ms` in all, not Connection::kBusyTimeoutMs each. Once the
// bound has passed, a statement still runs but no longer waits for a lock. A begin while one
// runs joins it (and its bound); the matching end leaves it.
void BeginSharedLockWait(unsigned ms);
// Leaves the thread's shared wait (nothing when none runs); whether a connect or statement in it
// found the database held by another program past its wait.
bool EndSharedLockWait();

class RecordSet;

class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Connects with the connection string (ADO-only keywords such as Provider are dropped).
    // A connection already held is disconnected and released first.
    bool Open(const CString& connectionString);
    // Disconnects and releases the driver's handle.
    void Close();
    // Connected, and the driver has not noticed the server going away.
    bool IsOpen();
    // Runs SQL text whose rows, if any, nobody wants; every statement of a batch runs.
    bool Execute(const CString& sql);

    // One transaction from BeginTransaction to EndTransaction (commit, or roll back); outside
    // one every statement commits on its own. While a transaction is open the connection is not
    // opened again (that would lose it silently); a transaction whose connection died cannot
    // commit. A commit that fails is rolled back (on a server that had applied it before it
    // failed to say so, nothing is undone: a caller asks the rows). On an SQLite file a commit
    // waits for readers' locks twice kBusyTimeoutMs: the driver tries it once more after a wait.
    bool BeginTransaction();
    bool EndTransaction(bool commit);
    bool InTransaction() const { return m_transaction; }

    Dialect dialect() const { return m_dialect; }
    // The driver's messages for the last failed call, in order.
    const std::vector<CString>& Errors() const { return m_errors; }
    // The last failed call found the database held by another program for longer than the
    // bounded wait (kBusyTimeoutMs). Also after an Open that succeeded on such a database.
    bool Busy() const;
    // A statement's wait for another program's lock. On an SQLite file the driver's connect
    // waits once and Open's first statement once more: a caller that stops at Busy() waits
    // 20 s at most (less within a shared wait, BeginSharedLockWait).
    static constexpr unsigned kBusyTimeoutMs = 10000;

private:
    friend class Command;
    // The SQLite driver runs its connections with synchronous=NORMAL. With a rollback journal
    // (what a database file has unless it was set otherwise) a commit still syncs the journal
    // and the file before it returns; in WAL mode it syncs nothing, and a commit that returned
    // can be lost to a power cut. On a file kept in WAL mode this connection syncs the WAL at
    // every commit (synchronous=FULL); the file's own settings, read by other programs, stay.
    void MakeCommitsDurable();
    // A PostgreSQL session waits for another session's lock as long as it is held; this one
    // gives up after kBusyTimeoutMs, and Busy() tells it.
    void BoundLockWaits();
    // Gives the session the wait the thread's shared wait leaves (kBusyTimeoutMs outside one)
    // when it has another; a failed statement that found the database held tells the shared wait.
    void FitLockWait();
    void NoteHeld();
    std::unique_ptr<odbc::Dbc> m_dbc;
    Dialect m_dialect = Dialect::Standard;
    bool m_narrow = false;
    bool m_transaction = false;
    unsigned m_lockWaitMs = 0;  // the session's lock wait as last set; 0: the caller's own
    std::vector<CString> m_errors;
};

// SQL text run on a connection, with optional input parameters ("?" markers).
class Command {
public:
    explicit Command(Connection& connection) : m_connection(connection) {}
    void SetCommandText(const CString& sql) { m_sql = sql; }
    void AddParameter(const CString& text);
    void AddParameter(const std::vector<uint8_t>& bytes);
    void AddNullParameter();

    // Runs every statement and drops their results.
    bool Execute();
    // Runs every statement; the first result that has columns becomes the record set's (results
    // without columns, such as an INSERT's, are skipped). A batch without such a result leaves the
    // record set closed and still succeeds.
    bool Execute(RecordSet& records);

private:
    struct Param {
        enum { Text, Bytes, Null } kind;
        CString text;
        std::vector<uint8_t> bytes;
    };
    bool Run(RecordSet* records);
    Connection& m_connection;
    CString m_sql;
    std::vector<Param> m_params;
};

class RecordSet {
public:
    RecordSet();
    ~RecordSet();
    RecordSet(const RecordSet&) = delete;
    RecordSet& operator=(const RecordSet&) = delete;

    bool IsOpen() const { return m_stmt != nullptr; }
    void Close();
    // No current row (also when not open).
    bool IsEOF() const { return !m_stmt || m_eof; }
    // The result has no row at all (also when not open).
    bool IsBOF() const { return !m_stmt || m_empty; }
    // Next row; moving onto the end succeeds, moving from the end fails.
    bool MoveNext();

    int FieldCount() const { return static_cast<int>(m_columns.size()); }
    CString FieldName(int index) const;
    // Position of a field by name, ignoring ASCII case; -1 when there is none.
    int FieldIndex(const CString& name) const;
    // Current row, any order and any number of times. NULL and missing fields read as "".
    CString FieldText(int index) const;
    bool FieldIsNull(int index) const;
    // Bytes of a binary field (empty for other fields).
    const std::vector<uint8_t>& FieldBytes(int index) const;

    const std::vector<CString>& Errors() const { return m_errors; }

private:
    friend class Command;
    struct Column {
        CString name;
        bool binary = false;
    };
    struct Value {
        bool null = true;
        CString text;
        std::vector<uint8_t> bytes;
    };
    bool Attach(std::unique_ptr<odbc::Stmt> stmt, bool narrow);
    bool FetchRow();

    std::unique_ptr<odbc::Stmt> m_stmt;
    bool m_narrow = false;
    bool m_eof = true;
    bool m_empty = true;
    std::vector<Column> m_columns;
    std::vector<Value> m_row;
    std::vector<CString> m_errors;
};

// A connection-string value as the drivers read it: in braces, with "}" doubled, when it holds
// ";", "{", "}" or blanks at either end, so that it can neither end early nor add keywords.
CString ConnectionStringValue(const CString& value);

// Dialect helpers, public for their tests.
// Cuts SQL text at ";" outside quotes and comments; statements come back trimmed, empty ones
// dropped.
std::vector<std::wstring> SplitStatements(std::wstring_view sql);
// The statements the SQLite driver runs for one statement of the text.
std::vector<std::wstring> RewriteForSQLite(const std::wstring& statement);

}  // namespace quiva::db
