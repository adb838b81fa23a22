// Connection, command and record set over unixODBC.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/winpath.h"
#include "platform/db/db.h"
#include "platform/db/odbcapi.h"

namespace quiva::db {

namespace {

std::mutex g_settingsMutex;
CString g_dataFolder;
std::atomic<unsigned> g_loginTimeout{3};

// The thread's shared wait for other programs' locks (BeginSharedLockWait).
struct SharedLockWait {
    int depth = 0;
    std::chrono::steady_clock::time_point end;
    bool held = false;
};
thread_local SharedLockWait t_sharedWait;

// The wait a lock may take now: what the thread's shared wait has left, or a connection's own.
// Never 0, which a server takes for no bound at all.
unsigned LockWaitNow()
{
    if (t_sharedWait.depth == 0)
        return Connection::kBusyTimeoutMs;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(t_sharedWait.end - std::chrono::steady_clock::now()).count();
    return static_cast<unsigned>(std::clamp<long long>(left, 1, Connection::kBusyTimeoutMs));
}

odbc::Text ToDriver(const std::wstring& text, bool narrow)
{
    odbc::Text t;
    t.narrow = narrow;
    if (narrow)
        t.bytes = WideToUtf8(text);
    else
        t.wide = WideToUtf16(text);
    return t;
}

CString FromDriver(const odbc::Text& text)
{
    return text.narrow ? CString(Utf8ToWide(text.bytes)) : CString(Utf16ToWide(text.wide));
}

void TakeErrors(const std::vector<odbc::Diagnostic>& diagnostics, std::vector<CString>& out)
{
    out.clear();
    for (const auto& d : diagnostics)
        out.push_back(FromDriver(d.message));
}

// One keyword=value pair of a connection string; the value is kept as written (braces too).
struct Attribute {
    std::wstring key;
    std::wstring value;
};

std::vector<Attribute> ParseConnectionString(const std::wstring& text)
{
    std::vector<Attribute> out;
    size_t i = 0;
    while (i < text.size()) {
        size_t eq = text.find(L'=', i);
        size_t semi = text.find(L';', i);
        if (eq == std::wstring::npos || (semi != std::wstring::npos && semi < eq)) {
            i = semi == std::wstring::npos ? text.size() : semi + 1;  // a fragment without "=" is dropped
            continue;
        }
        Attribute a;
        a.key = text.substr(i, eq - i);
        size_t v = eq + 1;
        size_t end;
        if (v < text.size() && text[v] == L'{') {
            end = v + 1;
            while (end < text.size()) {  // "}}" stands for one brace inside
                if (text[end] == L'}' && end + 1 < text.size() && text[end + 1] == L'}')
                    end += 2;
                else if (text[end] == L'}')
                    break;
                else
                    ++end;
            }
            end = std::min(end + 1, text.size());
            a.value = text.substr(v, end - v);
            end = text.find(L';', end);
        } else {
            end = text.find(L';', v);
            a.value = text.substr(v, end == std::wstring::npos ? std::wstring::npos : end - v);
        }
        while (!a.key.empty() && iswspace(a.key.front()))
            a.key.erase(a.key.begin());
        while (!a.key.empty() && iswspace(a.key.back()))
            a.key.pop_back();
        if (!a.key.empty())
            out.push_back(std::move(a));
        i = end == std::wstring::npos ? text.size() : end + 1;
    }
    return out;
}

std::wstring Unbraced(const std::wstring& value)
{
    if (value.size() >= 2 && value.front() == L'{' && value.back() == L'}') {
        std::wstring inner = value.substr(1, value.size() - 2);
        std::wstring out;
        for (size_t i = 0; i < inner.size(); ++i) {
            out += inner[i];
            if (inner[i] == L'}' && i + 1 < inner.size() && inner[i + 1] == L'}')
                ++i;
        }
        return out;
    }
    return value;
}

std::wstring Braced(const std::wstring& value)
{
    if (value.find_first_of(L";{}") == std::wstring::npos &&
        (value.empty() || (!iswspace(value.front()) && !iswspace(value.back()))))
        return value;
    std::wstring out = L"{";
    for (wchar_t c : value) {
        out += c;
        if (c == L'}')
            out += L'}';
    }
    return out + L"}";
}

bool IsKey(const Attribute& a, const wchar_t* key) { return EqualsNoCase(a.key, key); }

// ADO keywords that mean nothing to an ODBC driver.
bool IsAdoOnly(const Attribute& a)
{
    return IsKey(a, L"Provider") || IsKey(a, L"Persist Security Info") || IsKey(a, L"Mode") ||
           IsKey(a, L"Connect Timeout");
}

// Where a database named in an SQLite connection string lives: a bare name is "<name>.db" in the
// data folder; anything with a separator or drive is a Windows path.
bool ResolveSQLiteFile(const std::wstring& database, std::string& nativePath, std::vector<CString>& errors)
{
    if (database == L":memory:") {
        nativePath = ":memory:";
        return true;
    }
    CString windowsPath;
    if (database.find_first_of(L"\\/:") == std::wstring::npos) {
        CString folder = DataFolder();
        if (folder.IsEmpty()) {
            errors.push_back(CString(L"No data folder is set for the database \"") + database.c_str() + L"\".");
            return false;
        }
        windowsPath = PathJoin(folder, CString(database) + L".db");
    } else {
        windowsPath = database.c_str();
    }
    std::optional<std::string> native = NativePath(windowsPath);
    if (!native) {
        errors.push_back(CString(L"The database path \"") + windowsPath + L"\" is not reachable.");
        return false;
    }
    nativePath = *native;
    return true;
}

bool LibraryIs(const std::string& library, const char* name)
{
    std::string lower = library;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    return lower.find(name) != std::string::npos;
}

}  // namespace

CString ConnectionStringValue(const CString& value) { return CString(Braced(value.str())); }

void SetDataFolder(const CString& windowsFolder)
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    g_dataFolder = windowsFolder;
}

CString DataFolder()
{
    std::lock_guard<std::mutex> lock(g_settingsMutex);
    return g_dataFolder;
}

void SetDriverConfigFolder(const std::string& nativeFolder) { odbc::SetConfigFolder(nativeFolder); }

void SetLoginTimeout(unsigned seconds) { g_loginTimeout = seconds; }

unsigned LoginTimeout() { return g_loginTimeout; }

void BeginSharedLockWait(unsigned ms)
{
    if (t_sharedWait.depth++ == 0) {
        t_sharedWait.end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        t_sharedWait.held = false;
    }
}

bool EndSharedLockWait()
{
    if (t_sharedWait.depth == 0)
        return false;
    --t_sharedWait.depth;
    return t_sharedWait.held;
}

// ---- Connection ----

Connection::Connection() = default;

Connection::~Connection() { Close(); }

bool Connection::Open(const CString& connectionString)
{
    if (m_transaction) {
        m_errors.assign(1, CString(L"A transaction is open on the connection."));
        return false;
    }
    Close();
    m_errors.clear();
    m_dialect = Dialect::Standard;
    m_narrow = false;
    m_lockWaitMs = 0;

    std::vector<Attribute> attributes = ParseConnectionString(connectionString.str());
    std::string driver;
    for (const auto& a : attributes)
        if (IsKey(a, L"Driver"))
            driver = WideToUtf8(Unbraced(a.value));
    if (!driver.empty() && LibraryIs(odbc::DriverLibrary(driver), "sqlite")) {
        m_dialect = Dialect::SQLite;
        m_narrow = true;
    }

    std::wstring text;
    bool hasNoCreat = false, hasTimeout = false;
    for (const auto& a : attributes) {
        if (IsAdoOnly(a))
            continue;
        std::wstring value = a.value;
        if (m_dialect == Dialect::SQLite && IsKey(a, L"Database")) {
            std::string native;
            if (!ResolveSQLiteFile(Unbraced(a.value), native, m_errors))
                return false;
            value = Braced(Utf8ToWide(native));
        }
        if (IsKey(a, L"NoCreat"))
            hasNoCreat = true;
        if (IsKey(a, L"Timeout"))
            hasTimeout = true;
        text += a.key + L"=" + value + L";";
    }
    // The driver reads its options from the connection string only; carry over the ones the
    // driver's entry in the configuration sets.
    if (m_dialect == Dialect::SQLite && !hasNoCreat) {
        std::string noCreat = odbc::DriverAttribute(driver, "NoCreat");
        if (!noCreat.empty())
            text += L"NoCreat=" + Utf8ToWide(noCreat) + L";";
    }
    // The driver waits 100 s for a file another program holds, the caller's window frozen all
    // along; a bounded wait ends in a failure that Busy() tells apart.
    if (m_dialect == Dialect::SQLite && !hasTimeout) {
        m_lockWaitMs = LockWaitNow();
        text += L"Timeout=" + std::to_wstring(m_lockWaitMs) + L";";
    }

    auto dbc = std::make_unique<odbc::Dbc>();
    if (!dbc->Connect(ToDriver(text, m_narrow), LoginTimeout())) {
        TakeErrors(dbc->diagnostics(), m_errors);
        NoteHeld();
        return false;
    }
    m_dbc = std::move(dbc);
    if (m_dialect == Dialect::SQLite)
        MakeCommitsDurable();
    else if (!driver.empty() && LibraryIs(odbc::DriverLibrary(driver), "psqlodbc"))
        BoundLockWaits();
    return true;
}

void Connection::MakeCommitsDurable()
{
    RecordSet mode;
    Command query(*this);
    query.SetCommandText(L"PRAGMA journal_mode");
    if (query.Execute(mode) && !mode.IsEOF() && mode.FieldText(0).CompareNoCase(L"wal") == 0)
        Execute(L"PRAGMA synchronous=FULL");
    // A database that cannot say keeps the driver's setting; one held by another program says
    // so through Busy(), and its caller need not wait for it once more.
    if (!Busy())
        m_errors.clear();
}

void Connection::BoundLockWaits()
{
    const unsigned wait = LockWaitNow();
    if (Execute(L"SET lock_timeout = " + std::to_wstring(wait)))
        m_lockWaitMs = wait;
    m_errors.clear();  // a server that cannot keeps waiting as it did
}

void Connection::FitLockWait()
{
    const unsigned wait = LockWaitNow();
    if (m_lockWaitMs == 0 || wait == m_lockWaitMs || !m_dbc)
        return;
    // Neither statement takes a lock of the database: it is answered at once, held or not.
    const std::wstring sql =
        (m_dialect == Dialect::SQLite ? L"PRAGMA busy_timeout = " : L"SET lock_timeout = ") + std::to_wstring(wait);
    odbc::Stmt stmt(*m_dbc, m_narrow);
    if (stmt.valid() && stmt.ExecDirect(ToDriver(sql, m_narrow)) != odbc::Rc::Error)
        m_lockWaitMs = wait;
}

void Connection::NoteHeld()
{
    if (t_sharedWait.depth > 0 && Busy())
        t_sharedWait.held = true;
}

void Connection::Close() { m_dbc.reset(); }

bool Connection::BeginTransaction()
{
    m_errors.clear();
    if (m_transaction || !IsOpen()) {
        m_errors.push_back(m_transaction ? L"A transaction is already open." : L"The connection is not open.");
        return false;
    }
    if (!m_dbc->SetAutoCommit(false, m_narrow)) {
        TakeErrors(m_dbc->diagnostics(), m_errors);
        return false;
    }
    m_transaction = true;
    return true;
}

bool Connection::EndTransaction(bool commit)
{
    m_errors.clear();
    if (!m_transaction)
        return false;
    m_transaction = false;
    if (!m_dbc || !m_dbc->Connected()) {
        m_errors.push_back(L"The connection was lost during the transaction.");
        return false;
    }
    const bool ended = m_dbc->EndTransaction(commit, m_narrow);
    if (!ended) {
        TakeErrors(m_dbc->diagnostics(), m_errors);
        // A commit reported failed is rolled back: committing every statement again would make
        // the SQLite driver commit it then, after its wait for the lock once more, behind the
        // failure just reported. A transaction that cannot be rolled back goes with the session.
        if (commit && !m_dbc->EndTransaction(false, m_narrow)) {
            Close();
            return false;
        }
    }
    // Back to committing every statement; a connection that cannot is not used again.
    if (!m_dbc->SetAutoCommit(true, m_narrow))
        Close();
    return ended;
}

bool Connection::Busy() const
{
    // SQLite's answer, and PostgreSQL's, once the wait for another program's lock has run out.
    return std::any_of(m_errors.begin(), m_errors.end(), [](const CString& e) {
        return e.Find(L"database is locked") >= 0 || e.Find(L"due to lock timeout") >= 0;
    });
}

bool Connection::IsOpen() { return m_dbc && m_dbc->Connected() && !m_dbc->Dead(); }

bool Connection::Execute(const CString& sql)
{
    Command command(*this);
    command.SetCommandText(sql);
    return command.Execute();
}

// ---- Command ----

void Command::AddParameter(const CString& text) { m_params.push_back({Param::Text, text, {}}); }

void Command::AddParameter(const std::vector<uint8_t>& bytes) { m_params.push_back({Param::Bytes, {}, bytes}); }

void Command::AddNullParameter() { m_params.push_back({Param::Null, {}, {}}); }

bool Command::Execute() { return Run(nullptr); }

bool Command::Execute(RecordSet& records)
{
    records.Close();
    records.m_errors.clear();
    return Run(&records);
}

bool Command::Run(RecordSet* records)
{
    Connection& c = m_connection;
    c.m_errors.clear();
    if (!c.m_dbc || !c.m_dbc->Connected()) {
        c.m_errors.push_back(L"The connection is not open.");
        if (records)
            records->m_errors = c.m_errors;
        return false;
    }
    std::vector<std::wstring> statements;
    if (c.m_dialect == Dialect::SQLite) {
        for (const auto& s : SplitStatements(m_sql.str()))
            for (auto& part : RewriteForSQLite(s))
                statements.push_back(std::move(part));
    } else {
        statements.push_back(m_sql.str());  // the server runs a batch itself
    }
    if (statements.empty())
        statements.push_back(std::wstring());  // let the driver judge empty text

    auto fail = [&](const odbc::Stmt& stmt) {
        TakeErrors(stmt.diagnostics(), c.m_errors);
        c.NoteHeld();
        if (records) {
            records->Close();
            records->m_errors = c.m_errors;
        }
        return false;
    };

    std::vector<odbc::Text> texts;  // bound parameters point into these until the call ends
    texts.reserve(m_params.size());
    for (const auto& p : m_params)
        texts.push_back(ToDriver(p.text.str(), c.m_narrow));
    c.FitLockWait();

    for (const auto& sql : statements) {
        auto stmt = std::make_unique<odbc::Stmt>(*c.m_dbc, c.m_narrow);
        if (!stmt->valid())
            return fail(*stmt);
        odbc::Rc rc;
        if (m_params.empty()) {
            rc = stmt->ExecDirect(ToDriver(sql, c.m_narrow));
        } else {
            // Parameters belong to a single statement.
            if (stmt->Prepare(ToDriver(sql, c.m_narrow)) == odbc::Rc::Error)
                return fail(*stmt);
            for (size_t i = 0; i < m_params.size(); ++i) {
                int n = static_cast<int>(i + 1);
                bool ok = m_params[i].kind == Param::Text    ? stmt->BindText(n, texts[i])
                          : m_params[i].kind == Param::Bytes ? stmt->BindBytes(n, m_params[i].bytes)
                                                             : stmt->BindNull(n);
                if (!ok)
                    return fail(*stmt);
            }
            rc = stmt->Execute();
        }
        // A searched UPDATE or DELETE that touches no row answers "no data": that is success.
        if (rc == odbc::Rc::Error)
            return fail(*stmt);
        for (;;) {
            if (rc == odbc::Rc::Ok && records && !records->IsOpen() && stmt->NumResultCols() > 0) {
                if (!records->Attach(std::move(stmt), c.m_narrow)) {
                    c.m_errors = records->m_errors;
                    c.NoteHeld();
                    records->Close();
                    return false;
                }
                break;
            }
            rc = stmt->MoreResults();
            if (rc == odbc::Rc::NoData)
                break;
            if (rc == odbc::Rc::Error)
                return fail(*stmt);
        }
    }
    return true;
}

// ---- RecordSet ----

RecordSet::RecordSet() = default;

RecordSet::~RecordSet() { Close(); }

void RecordSet::Close()
{
    m_stmt.reset();
    m_eof = true;
    m_empty = true;
    m_columns.clear();
    m_row.clear();
}

bool RecordSet::Attach(std::unique_ptr<odbc::Stmt> stmt, bool narrow)
{
    Close();
    m_narrow = narrow;
    int n = stmt->NumResultCols();
    for (int i = 1; i <= n; ++i) {
        odbc::Text name;
        odbc::ColumnKind kind = odbc::ColumnKind::Text;
        if (!stmt->DescribeCol(i, name, kind)) {
            TakeErrors(stmt->diagnostics(), m_errors);
            m_columns.clear();
            return false;
        }
        m_columns.push_back({FromDriver(name), kind == odbc::ColumnKind::Binary});
    }
    m_stmt = std::move(stmt);
    m_eof = false;
    if (!FetchRow()) {
        Close();
        return false;
    }
    m_empty = m_eof;
    return true;
}

bool RecordSet::FetchRow()
{
    m_row.clear();
    odbc::Rc rc = m_stmt->Fetch();
    if (rc == odbc::Rc::NoData) {
        m_eof = true;
        return true;
    }
    if (rc == odbc::Rc::Error) {
        TakeErrors(m_stmt->diagnostics(), m_errors);
        return false;
    }
    // The whole row is read now, so fields can be read in any order and more than once.
    m_row.resize(m_columns.size());
    for (size_t i = 0; i < m_columns.size(); ++i) {
        Value& v = m_row[i];
        bool isNull = true;
        bool ok;
        if (m_columns[i].binary) {
            ok = m_stmt->GetBytes(static_cast<int>(i + 1), v.bytes, isNull);
        } else {
            odbc::Text text;
            ok = m_stmt->GetText(static_cast<int>(i + 1), text, isNull);
            if (ok && !isNull)
                v.text = FromDriver(text);
        }
        if (!ok) {
            TakeErrors(m_stmt->diagnostics(), m_errors);
            m_row.clear();
            return false;
        }
        v.null = isNull;
    }
    return true;
}

bool RecordSet::MoveNext()
{
    if (!m_stmt || m_eof)
        return false;
    return FetchRow();
}

CString RecordSet::FieldName(int index) const
{
    return index >= 0 && index < FieldCount() ? m_columns[static_cast<size_t>(index)].name : CString();
}

int RecordSet::FieldIndex(const CString& name) const
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        if (EqualsNoCase(m_columns[i].name.str(), name.str()))
            return static_cast<int>(i);
    return -1;
}

CString RecordSet::FieldText(int index) const
{
    if (index < 0 || static_cast<size_t>(index) >= m_row.size())
        return CString();
    return m_row[static_cast<size_t>(index)].text;
}

bool RecordSet::FieldIsNull(int index) const
{
    return index < 0 || static_cast<size_t>(index) >= m_row.size() || m_row[static_cast<size_t>(index)].null;
}

const std::vector<uint8_t>& RecordSet::FieldBytes(int index) const
{
    static const std::vector<uint8_t> none;
    if (index < 0 || static_cast<size_t>(index) >= m_row.size())
        return none;
    return m_row[static_cast<size_t>(index)].bytes;
}

}  // namespace quiva::db
