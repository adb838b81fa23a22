// Thin layer over the unixODBC calls platform/db makes. Kept apart because the driver manager's
// headers declare their own Windows type names; nothing here includes a project header.
//
// Text crosses this boundary in the form the driver takes: UTF-16 for drivers with the wide
// entry points, UTF-8 bytes through the narrow entry points for drivers without them (the
// driver manager would otherwise convert through the process locale).
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace quiva::db::odbc {

struct Text {
    bool narrow = false;
    std::u16string wide;
    std::string bytes;
};

struct Diagnostic {
    std::string state;
    int32_t native = 0;
    Text message;
};

enum class Rc { Ok, NoData, Error };

// The folder whose odbcinst.ini names the drivers, used unless ODBCSYSINI is set; takes effect
// when set before the first connection.
void SetConfigFolder(const std::string& folder);

// The library file a driver name is registered with (odbcinst.ini), or "" when none.
std::string DriverLibrary(const std::string& driverName);
// A value of the driver's section in odbcinst.ini, or "" when absent.
std::string DriverAttribute(const std::string& driverName, const std::string& key);

class Stmt;

// The statements allocated on one connection handle, so that the connection can free them
// before it disconnects: a driver refuses to disconnect while a statement is active, and the
// handle and its database session would stay behind.
struct StmtList {
    std::mutex mutex;
    std::set<Stmt*> live;
};

class Dbc {
public:
    Dbc() = default;
    ~Dbc();
    Dbc(const Dbc&) = delete;
    Dbc& operator=(const Dbc&) = delete;

    // Allocates a handle and connects without prompting; loginTimeout is in seconds.
    bool Connect(const Text& connectionString, unsigned loginTimeout);
    // Disconnects (when connected) and frees the handle; never fails.
    void Release();
    bool Connected() const { return m_connected; }
    // The driver noticed that the server side went away.
    bool Dead();
    // Manual commit (statements join one transaction) or automatic commit; ends a transaction
    // by committing or rolling it back.
    bool SetAutoCommit(bool on, bool narrow);
    bool EndTransaction(bool commit, bool narrow);
    void* handle() const { return m_dbc; }
    const std::vector<Diagnostic>& diagnostics() const { return m_diag; }

private:
    friend class Stmt;
    void* m_dbc = nullptr;
    bool m_connected = false;
    std::vector<Diagnostic> m_diag;
    std::shared_ptr<StmtList> m_stmts = std::make_shared<StmtList>();
};

enum class ColumnKind { Text, Binary };

class Stmt {
public:
    Stmt(Dbc& dbc, bool narrow);
    ~Stmt();
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;

    bool valid() const { return m_stmt != nullptr; }
    Rc ExecDirect(const Text& sql);
    Rc Prepare(const Text& sql);
    Rc Execute();
    Rc MoreResults();
    // Closes the cursor so the handle can run another statement.
    void CloseCursor();
    int NumResultCols();
    bool DescribeCol(int column, Text& name, ColumnKind& kind);
    Rc Fetch();
    // Column of the current row (1-based) in full. `isNull` tells a NULL from an empty value.
    bool GetText(int column, Text& value, bool& isNull);
    bool GetBytes(int column, std::vector<uint8_t>& value, bool& isNull);
    // Input parameters (1-based); the data must stay alive until Execute.
    bool BindText(int param, const Text& value);
    bool BindBytes(int param, const std::vector<uint8_t>& value);
    bool BindNull(int param);
    const std::vector<Diagnostic>& diagnostics() const { return m_diag; }

private:
    friend class Dbc;
    Rc Check(short rc);
    void* m_stmt = nullptr;  // null once its connection has been released
    std::shared_ptr<StmtList> m_owner;
    bool m_narrow;
    std::vector<Diagnostic> m_diag;
    std::deque<long> m_lengths;  // indicator storage for bound parameters (stable addresses)
};

}  // namespace quiva::db::odbc
