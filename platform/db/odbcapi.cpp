#include "platform/db/odbcapi.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <odbcinst.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC must use 16-bit SQLWCHAR");

namespace quiva::db::odbc {

namespace {

std::mutex g_configMutex;
std::string g_configFolder;  // set by SetConfigFolder; empty = built-in default
bool g_configApplied = false;

// Points the driver manager at the system's own driver configuration, unless the environment
// already names one. Done once, before the first environment handle exists.
void ApplyConfig()
{
    std::lock_guard<std::mutex> lock(g_configMutex);
    if (g_configApplied)
        return;
    g_configApplied = true;
    if (std::getenv("ODBCSYSINI"))
        return;
    std::string folder = g_configFolder;
#ifdef QUIVA_ODBC_CONFIG_DIR
    if (folder.empty())
        folder = QUIVA_ODBC_CONFIG_DIR;
#endif
    if (!folder.empty())
        setenv("ODBCSYSINI", folder.c_str(), 0);
}

SQLHENV Env()
{
    static SQLHENV env = [] {
        ApplyConfig();
        SQLHENV h = SQL_NULL_HENV;
        if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h)))
            return static_cast<SQLHENV>(SQL_NULL_HENV);
        SQLSetEnvAttr(h, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return h;
    }();
    return env;
}

const SQLWCHAR* W(const std::u16string& s) { return reinterpret_cast<const SQLWCHAR*>(s.c_str()); }
const SQLCHAR* N(const std::string& s) { return reinterpret_cast<const SQLCHAR*>(s.c_str()); }

void ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle, bool narrow, std::vector<Diagnostic>& out)
{
    out.clear();
    if (!handle)
        return;
    for (SQLSMALLINT i = 1; i < 64; ++i) {
        Diagnostic d;
        d.message.narrow = narrow;
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc;
        if (narrow) {
            SQLCHAR state[6] = {};
            std::string msg(1024, '\0');
            rc = SQLGetDiagRec(type, handle, i, state, &native, reinterpret_cast<SQLCHAR*>(msg.data()),
                               static_cast<SQLSMALLINT>(msg.size()), &length);
            if (!SQL_SUCCEEDED(rc))
                break;
            msg.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), msg.size() - 1));
            d.state = reinterpret_cast<char*>(state);
            d.message.bytes = std::move(msg);
        } else {
            SQLWCHAR state[6] = {};
            std::u16string msg(1024, u'\0');
            rc = SQLGetDiagRecW(type, handle, i, state, &native, reinterpret_cast<SQLWCHAR*>(msg.data()),
                                static_cast<SQLSMALLINT>(msg.size()), &length);
            if (!SQL_SUCCEEDED(rc))
                break;
            msg.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), msg.size() - 1));
            for (int k = 0; k < 5 && state[k]; ++k)
                d.state += static_cast<char>(state[k]);
            d.message.wide = std::move(msg);
        }
        d.native = native;
        out.push_back(std::move(d));
    }
}

void EnvDiagnostics(std::vector<Diagnostic>& out, const char* what)
{
    out.clear();
    Diagnostic d;
    d.state = "HY000";
    d.message.narrow = true;
    d.message.bytes = what;
    out.push_back(std::move(d));
}

}  // namespace

void SetConfigFolder(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(g_configMutex);
    g_configFolder = folder;
}

std::string DriverAttribute(const std::string& driverName, const std::string& key)
{
    ApplyConfig();
    char value[1024] = {};
    int n = SQLGetPrivateProfileString(driverName.c_str(), key.c_str(), "", value, sizeof value, "ODBCINST.INI");
    if (n <= 0)
        return std::string();
    return std::string(value);
}

std::string DriverLibrary(const std::string& driverName) { return DriverAttribute(driverName, "Driver"); }

// ---- connection ----

Dbc::~Dbc() { Release(); }

bool Dbc::Connect(const Text& connectionString, unsigned loginTimeout)
{
    Release();
    SQLHENV env = Env();
    if (!env) {
        EnvDiagnostics(m_diag, "The ODBC driver manager could not be initialised.");
        return false;
    }
    SQLHDBC dbc = SQL_NULL_HDBC;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc))) {
        ReadDiagnostics(SQL_HANDLE_ENV, env, true, m_diag);
        if (m_diag.empty())
            EnvDiagnostics(m_diag, "No ODBC connection handle could be allocated.");
        return false;
    }
    m_dbc = dbc;
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<uintptr_t>(loginTimeout)), 0);
    SQLRETURN rc;
    SQLSMALLINT outLength = 0;
    if (connectionString.narrow) {
        std::string out(2048, '\0');
        rc = SQLDriverConnect(dbc, nullptr, const_cast<SQLCHAR*>(N(connectionString.bytes)), SQL_NTS,
                              reinterpret_cast<SQLCHAR*>(out.data()), static_cast<SQLSMALLINT>(out.size()),
                              &outLength, SQL_DRIVER_NOPROMPT);
    } else {
        std::u16string out(2048, u'\0');
        rc = SQLDriverConnectW(dbc, nullptr, const_cast<SQLWCHAR*>(W(connectionString.wide)), SQL_NTS,
                               reinterpret_cast<SQLWCHAR*>(out.data()), static_cast<SQLSMALLINT>(out.size()),
                               &outLength, SQL_DRIVER_NOPROMPT);
    }
    if (!SQL_SUCCEEDED(rc)) {
        ReadDiagnostics(SQL_HANDLE_DBC, dbc, connectionString.narrow, m_diag);
        if (m_diag.empty())
            EnvDiagnostics(m_diag, "The connection failed without a message from the driver.");
        return false;
    }
    m_diag.clear();
    m_connected = true;
    return true;
}

void Dbc::Release()
{
    {
        // A record set may still hold a statement of this connection.
        std::lock_guard<std::mutex> lock(m_stmts->mutex);
        for (Stmt* s : m_stmts->live) {
            if (s->m_stmt)
                SQLFreeHandle(SQL_HANDLE_STMT, s->m_stmt);
            s->m_stmt = nullptr;
        }
        m_stmts->live.clear();
    }
    if (m_dbc) {
        if (m_connected)
            SQLDisconnect(m_dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, m_dbc);
    }
    m_dbc = nullptr;
    m_connected = false;
}

bool Dbc::Dead()
{
    if (!m_connected)
        return true;
    SQLUINTEGER dead = SQL_CD_FALSE;
    if (!SQL_SUCCEEDED(SQLGetConnectAttr(m_dbc, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)))
        return false;  // a driver that cannot tell is taken at its word that it is connected
    return dead == SQL_CD_TRUE;
}

bool Dbc::SetAutoCommit(bool on, bool narrow)
{
    if (!m_connected)
        return false;
    const SQLRETURN rc = SQLSetConnectAttr(m_dbc, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
    if (!SQL_SUCCEEDED(rc)) {
        ReadDiagnostics(SQL_HANDLE_DBC, m_dbc, narrow, m_diag);
        return false;
    }
    return true;
}

bool Dbc::EndTransaction(bool commit, bool narrow)
{
    if (!m_connected)
        return false;
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, m_dbc, commit ? SQL_COMMIT : SQL_ROLLBACK);
    if (!SQL_SUCCEEDED(rc)) {
        ReadDiagnostics(SQL_HANDLE_DBC, m_dbc, narrow, m_diag);
        return false;
    }
    return true;
}

// ---- statement ----

Stmt::Stmt(Dbc& dbc, bool narrow) : m_narrow(narrow)
{
    SQLHSTMT h = SQL_NULL_HSTMT;
    if (dbc.Connected() && SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc.handle(), &h))) {
        m_stmt = h;
        m_owner = dbc.m_stmts;
        std::lock_guard<std::mutex> lock(m_owner->mutex);
        m_owner->live.insert(this);
    } else
        ReadDiagnostics(SQL_HANDLE_DBC, dbc.handle(), narrow, m_diag);
    if (!m_stmt && m_diag.empty())
        EnvDiagnostics(m_diag, "No statement could be allocated on the connection.");
}

Stmt::~Stmt()
{
    if (!m_owner)
        return;
    std::lock_guard<std::mutex> lock(m_owner->mutex);
    m_owner->live.erase(this);
    if (m_stmt)
        SQLFreeHandle(SQL_HANDLE_STMT, m_stmt);
}

Rc Stmt::Check(short rc)
{
    if (rc == SQL_NO_DATA)
        return Rc::NoData;
    if (SQL_SUCCEEDED(rc))
        return Rc::Ok;
    ReadDiagnostics(SQL_HANDLE_STMT, m_stmt, m_narrow, m_diag);
    if (m_diag.empty())
        EnvDiagnostics(m_diag, "The driver reported an error without a message.");
    return Rc::Error;
}

Rc Stmt::ExecDirect(const Text& sql)
{
    if (!m_stmt)
        return Rc::Error;
    if (m_narrow)
        return Check(SQLExecDirect(m_stmt, const_cast<SQLCHAR*>(N(sql.bytes)), SQL_NTS));
    return Check(SQLExecDirectW(m_stmt, const_cast<SQLWCHAR*>(W(sql.wide)), SQL_NTS));
}

Rc Stmt::Prepare(const Text& sql)
{
    if (!m_stmt)
        return Rc::Error;
    if (m_narrow)
        return Check(SQLPrepare(m_stmt, const_cast<SQLCHAR*>(N(sql.bytes)), SQL_NTS));
    return Check(SQLPrepareW(m_stmt, const_cast<SQLWCHAR*>(W(sql.wide)), SQL_NTS));
}

Rc Stmt::Execute() { return m_stmt ? Check(SQLExecute(m_stmt)) : Rc::Error; }

Rc Stmt::MoreResults() { return m_stmt ? Check(SQLMoreResults(m_stmt)) : Rc::Error; }

void Stmt::CloseCursor()
{
    if (m_stmt)
        SQLFreeStmt(m_stmt, SQL_CLOSE);
}

int Stmt::NumResultCols()
{
    SQLSMALLINT n = 0;
    if (!m_stmt || !SQL_SUCCEEDED(SQLNumResultCols(m_stmt, &n)))
        return 0;
    return n;
}

bool Stmt::DescribeCol(int column, Text& name, ColumnKind& kind)
{
    if (!m_stmt)
        return false;
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc;
    name.narrow = m_narrow;
    if (m_narrow) {
        std::string buf(512, '\0');
        rc = SQLDescribeCol(m_stmt, static_cast<SQLUSMALLINT>(column), reinterpret_cast<SQLCHAR*>(buf.data()),
                            static_cast<SQLSMALLINT>(buf.size()), &length, &type, &size, &digits, &nullable);
        buf.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), buf.size() - 1));
        name.bytes = std::move(buf);
    } else {
        std::u16string buf(512, u'\0');
        rc = SQLDescribeColW(m_stmt, static_cast<SQLUSMALLINT>(column), reinterpret_cast<SQLWCHAR*>(buf.data()),
                             static_cast<SQLSMALLINT>(buf.size()), &length, &type, &size, &digits, &nullable);
        buf.resize(std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), buf.size() - 1));
        name.wide = std::move(buf);
    }
    if (Check(rc) == Rc::Error)
        return false;
    kind = (type == SQL_BINARY || type == SQL_VARBINARY || type == SQL_LONGVARBINARY) ? ColumnKind::Binary
                                                                                      : ColumnKind::Text;
    return true;
}

Rc Stmt::Fetch() { return m_stmt ? Check(SQLFetch(m_stmt)) : Rc::Error; }

namespace {

// Reads a column in pieces until the driver has handed over all of it.
template <typename Unit>
bool ReadAllData(SQLHSTMT stmt, int column, SQLSMALLINT cType, bool terminated, std::basic_string<Unit>& out,
                 bool& isNull, SQLRETURN& lastRc)
{
    out.clear();
    isNull = false;
    const size_t capacity = 4096;
    std::basic_string<Unit> buf(capacity, Unit());
    const SQLLEN capacityBytes = static_cast<SQLLEN>(capacity * sizeof(Unit));
    const size_t usable = terminated ? capacity - 1 : capacity;
    for (;;) {
        SQLLEN indicator = 0;
        SQLRETURN rc = SQLGetData(stmt, static_cast<SQLUSMALLINT>(column), cType, buf.data(), capacityBytes, &indicator);
        lastRc = rc;
        if (rc == SQL_NO_DATA)
            return true;  // nothing (more) to read
        if (!SQL_SUCCEEDED(rc))
            return false;
        if (indicator == SQL_NULL_DATA) {
            isNull = true;
            return true;
        }
        bool more = rc == SQL_SUCCESS_WITH_INFO &&
                    (indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) / sizeof(Unit) > usable);
        size_t got = more ? usable : static_cast<size_t>(indicator) / sizeof(Unit);
        out.append(buf.data(), std::min(got, usable));
        if (!more)
            return true;
    }
}

}  // namespace

bool Stmt::GetText(int column, Text& value, bool& isNull)
{
    if (!m_stmt)
        return false;
    value.narrow = m_narrow;
    SQLRETURN rc = SQL_SUCCESS;
    bool ok = m_narrow ? ReadAllData<char>(m_stmt, column, SQL_C_CHAR, true, value.bytes, isNull, rc)
                       : ReadAllData<char16_t>(m_stmt, column, SQL_C_WCHAR, true, value.wide, isNull, rc);
    if (!ok)
        Check(rc);
    return ok;
}

bool Stmt::GetBytes(int column, std::vector<uint8_t>& value, bool& isNull)
{
    if (!m_stmt)
        return false;
    std::basic_string<char> raw;
    SQLRETURN rc = SQL_SUCCESS;
    bool ok = ReadAllData<char>(m_stmt, column, SQL_C_BINARY, false, raw, isNull, rc);
    if (!ok) {
        Check(rc);
        return false;
    }
    value.assign(raw.begin(), raw.end());
    return true;
}

bool Stmt::BindText(int param, const Text& value)
{
    if (!m_stmt)
        return false;
    m_lengths.push_back(SQL_NTS);
    SQLRETURN rc;
    if (m_narrow)
        rc = SQLBindParameter(m_stmt, static_cast<SQLUSMALLINT>(param), SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                              std::max<size_t>(value.bytes.size(), 1), 0,
                              const_cast<char*>(value.bytes.c_str()), 0, &m_lengths.back());
    else
        rc = SQLBindParameter(m_stmt, static_cast<SQLUSMALLINT>(param), SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR,
                              std::max<size_t>(value.wide.size(), 1), 0,
                              const_cast<char16_t*>(value.wide.c_str()), 0, &m_lengths.back());
    return Check(rc) != Rc::Error;
}

bool Stmt::BindBytes(int param, const std::vector<uint8_t>& value)
{
    if (!m_stmt)
        return false;
    m_lengths.push_back(static_cast<SQLLEN>(value.size()));
    SQLRETURN rc = SQLBindParameter(m_stmt, static_cast<SQLUSMALLINT>(param), SQL_PARAM_INPUT, SQL_C_BINARY,
                                    SQL_LONGVARBINARY, std::max<size_t>(value.size(), 1), 0,
                                    const_cast<uint8_t*>(value.data()), static_cast<SQLLEN>(value.size()),
                                    &m_lengths.back());
    return Check(rc) != Rc::Error;
}

bool Stmt::BindNull(int param)
{
    if (!m_stmt)
        return false;
    m_lengths.push_back(SQL_NULL_DATA);
    SQLRETURN rc = SQLBindParameter(m_stmt, static_cast<SQLUSMALLINT>(param), SQL_PARAM_INPUT, SQL_C_CHAR,
                                    SQL_VARCHAR, 1, 0, nullptr, 0, &m_lengths.back());
    return Check(rc) != Rc::Error;
}

}  // namespace quiva::db::odbc
