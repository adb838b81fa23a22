#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <cstdlib>

#include "framework/CKXAdoRecord.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "tests/support/Databases.h"
#include "tests/support/TempDir.h"

using quiva::test::TempDir;

namespace {

class RecordingLog : public CKXDataLog {
public:
    void Log(CString message, int level, int) override { lines.push_back({message, level}); }
    std::vector<std::pair<CString, int>> lines;
};

// A loopback port with a listener that accepts connections and never answers (the kernel
// completes the handshake from the backlog).
class SilentListener {
public:
    SilentListener()
    {
        m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(m_fd, 16);
        socklen_t len = sizeof a;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
    }
    ~SilentListener() { close(m_fd); }
    int port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

// A loopback port that nobody listens on.
int ClosedPort()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

CString PgString(int port)
{
    CString s;
    s.Format(L"Provider=MSDASQL;Driver=PostgreSQL Unicode;Server=127.0.0.1;Port=%d;UID=u;password=p;DATABASE=hrb4100;", port);
    return s;
}

int Count(CKXAdoConnection& c, const CString& sql)
{
    CKXAdoRecord r(&c);
    return r.Open(sql) ? _wtoi(r.GetFieldStringAt(0)) : -1;
}

}  // namespace

TEST(CKXAdoConnection, ReconnectIsBoundedAndSaysSo)
{
    CKXAdoConnection empty;
    quiva::ScopedVirtualClock clock;
    uint64_t start = clock->TickMs();
    EXPECT_FALSE(empty.Reconnect(0));  // no connection string: at once
    EXPECT_EQ(clock->TickMs(), start);

    CKXAdoConnection c;
    RecordingLog sink;
    c.log = &sink;
    c.connectionString = PgString(ClosedPort());
    auto realStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(c.Reconnect(3));
    EXPECT_EQ(clock->TickMs() - start, 10u * 200u);  // ten attempts, a pause after each
    EXPECT_LT(std::chrono::steady_clock::now() - realStart, std::chrono::seconds(20));
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].first, L"재접속에 실패했습니다.");
    EXPECT_EQ(sink.lines[0].second, 1);
    EXPECT_FALSE(c.IsOpen());
}

TEST(CKXAdoConnection, SilentServerFailsWithinTheLoginTimeout)
{
    SilentListener listener;
    CKXAdoConnection c;
    c.connectionString = PgString(listener.port());
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(c.Open(0));
    auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(quiva::db::LoginTimeout() + 3));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(c.GetErrorText().IsEmpty());
}

TEST(CKXAdoConnection, ExecuteNeedsAConnectionObjectAndReconnectsAfterAFailedOpen)
{
    TempDir dir;
    quiva::db::SetDataFolder(dir.Win());
    CKXAdoConnection c;
    c.connectionString = L"Driver={SQL Anywhere 12};Host=127.0.0.1;Database=HRB4100;User ID=dba;Password=sql";
    EXPECT_FALSE(c.Execute(L"SELECT 1", 0, TRUE));  // never opened: no reconnect
    EXPECT_EQ(c.GetConnection(), nullptr);

    // The file is missing and is not created.
    EXPECT_FALSE(c.Open(0));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_NE(access(dir.Native("HRB4100.db").c_str(), F_OK), 0);

    ASSERT_TRUE(quiva::test::CreateSqliteClinicDb(dir.Native("HRB4100.db")));
    quiva::ScopedVirtualClock clock;
    EXPECT_TRUE(c.Execute(L"INSERT INTO HOSINFO VALUES ('77')", 0, TRUE));  // through Reconnect
    EXPECT_TRUE(c.IsOpen());
    EXPECT_EQ(Count(c, L"SELECT COUNT(*) FROM HOSINFO"), 1);
    EXPECT_TRUE(c.Close(0));
    EXPECT_EQ(c.GetConnection(), nullptr);
}

TEST(CKXAdoConnection, SqliteNamesResolveInTheDataFolderOnly)
{
    TempDir dir, other;
    ASSERT_TRUE(quiva::test::CreateSqliteClinicDb(dir.Native("HRB4100.db")));
    ASSERT_TRUE(quiva::test::CreateSqliteClinicDb(other.Native("HRB4100.db")));
    ASSERT_EQ(chdir(other.path().c_str()), 0);  // a file in the working folder must not be used

    CKXAdoConnection c;
    c.connectionString = L"Driver={SQL Anywhere 12};Host=127.0.0.1;Database=HRB4100;User ID=dba;Password=sql";
    quiva::db::SetDataFolder(L"");
    EXPECT_FALSE(c.Open(0));
    EXPECT_NE(c.GetErrorText().Find(L"data folder"), -1);

    quiva::db::SetDataFolder(dir.Win());
    ASSERT_TRUE(c.Open(0)) << c.GetErrorText().ToUtf8();
    EXPECT_TRUE(c.Execute(L"INSERT INTO HOSINFO VALUES ('1')", 0, TRUE));
    CKXAdoConnection direct;
    direct.connectionString = CString(L"Driver=SQLite3;Database=") + dir.Win("HRB4100.db") + L";";
    ASSERT_TRUE(direct.Open(0));
    EXPECT_EQ(Count(direct, L"SELECT COUNT(*) FROM HOSINFO"), 1);

    // A path that names no file fails instead of making an empty database.
    c.connectionString = CString(L"Driver={SQL Anywhere 12};Database=") + dir.Win() + L"\\missing\\HRB4100.db";
    EXPECT_FALSE(c.Open(0));
    EXPECT_NE(access(dir.Native("missing").c_str(), F_OK), 0);
    ASSERT_EQ(chdir("/"), 0);
}

TEST(CKXAdoConnection, RepeatedOpensKeepTheServerSessionCountFlat)
{
    QUIVA_REQUIRE_POSTGRES(server);
    std::string why;
    std::string name = quiva::test::PrivatePgDatabase(server, &why);
    ASSERT_FALSE(name.empty()) << why;
    CKXAdoConnection monitor;  // watches from the other database
    monitor.connectionString = quiva::test::PgConnectionString(server, server.database);
    ASSERT_TRUE(monitor.Open(0));
    CString sessions = L"SELECT COUNT(*) FROM pg_stat_activity WHERE datname = '" + CString(quiva::Utf8ToWide(name)) + L"'";

    CKXAdoConnection c;
    c.dbmsKind = 3;
    c.connectionString = quiva::test::PgConnectionString(server, name);
    for (int i = 0; i < 150; ++i)
        ASSERT_TRUE(c.Open(0)) << i << ": " << c.GetErrorText().ToUtf8();
    EXPECT_TRUE(c.Execute(L"SELECT 1", 0, TRUE));
    // Backends of closed sessions take a moment to leave the list.
    int count = -1;
    for (int i = 0; i < 300 && count != 1; ++i) {
        count = Count(monitor, sessions);
        if (count != 1)
            usleep(100000);
    }
    EXPECT_EQ(count, 1);
}

TEST(CKXAdoConnection, LostSessionFailsOneStatementThenReconnects)
{
    QUIVA_REQUIRE_POSTGRES(server);
    std::string why;
    std::string name = quiva::test::PrivatePgDatabase(server, &why);
    ASSERT_FALSE(name.empty()) << why;
    CKXAdoConnection c, admin;
    c.dbmsKind = admin.dbmsKind = 3;
    c.connectionString = quiva::test::PgConnectionString(server, name);
    admin.connectionString = quiva::test::PgConnectionString(server, server.database);
    ASSERT_TRUE(c.Open(0));
    ASSERT_TRUE(admin.Open(0));
    int pid = Count(c, L"SELECT pg_backend_pid()");
    ASSERT_GT(pid, 0);
    CString kill;
    kill.Format(L"SELECT pg_terminate_backend(%d)", pid);
    ASSERT_TRUE(admin.Execute(kill, 0, TRUE));
    // The server ends the session on its own time: it is gone once it leaves the list.
    CString alive;
    alive.Format(L"SELECT COUNT(*) FROM pg_stat_activity WHERE pid = %d", pid);
    for (int i = 0; i < 300 && Count(admin, alive) != 0; ++i)
        usleep(100000);
    ASSERT_EQ(Count(admin, alive), 0);

    EXPECT_FALSE(c.Execute(L"SELECT 1", 0, TRUE));  // never retried behind the caller's back
    EXPECT_FALSE(c.IsOpen());
    EXPECT_TRUE(c.Execute(L"INSERT INTO HOSINFO VALUES ('after')", 0, TRUE));
    EXPECT_TRUE(c.IsOpen());
    EXPECT_EQ(Count(c, L"SELECT COUNT(*) FROM HOSINFO WHERE YOYANGNUM = 'after'"), 1);
}

TEST(CKXAdoConnection, ServerRestartFailsOneStatementThenReconnects)
{
    QUIVA_REQUIRE_POSTGRES(server);
    // The restart cluster is shared by every test run on the machine: one restart at a time.
    std::string lockPath = server.restartData + "/../restart.lock";
    int lock = open(lockPath.c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    std::string runAs = geteuid() == 0 ? "runuser -u " + server.owner + " -- " : "";
    auto pgctl = [&](const std::string& args) {
        std::string cmd = runAs + server.pgCtl + " -D " + server.restartData + " " + args + " >/dev/null 2>&1";
        return std::system(cmd.c_str());
    };

    CKXAdoConnection c;
    c.dbmsKind = 3;
    c.connectionString = quiva::test::PgConnectionString(server, server.database, server.restartPort);
    ASSERT_TRUE(c.Open(0)) << c.GetErrorText().ToUtf8();
    EXPECT_TRUE(c.Execute(L"SELECT 1", 0, TRUE));
    ASSERT_EQ(pgctl("-m fast -w stop"), 0);
    ASSERT_EQ(pgctl("-l " + server.restartData + "/server.log -w -t 60 start"), 0);

    EXPECT_FALSE(c.Execute(L"SELECT 1", 0, TRUE));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_TRUE(c.Execute(L"SELECT 1", 0, TRUE));
    CKXAdoRecord r(&c);
    ASSERT_TRUE(r.Open(L"SELECT '다시' AS T"));
    EXPECT_EQ(r.GetFieldString(L"T"), L"다시");
    flock(lock, LOCK_UN);
    close(lock);
}

// Descriptors of this process open on the given file.
static int OpenDescriptorsOn(const std::string& file)
{
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (std::filesystem::read_symlink(entry.path(), ec) == file)
            ++n;
    }
    return n;
}

TEST(CKXAdoConnection, ReopenWhileARecordSetIsReadingReleasesTheOldConnection)
{
    TempDir dir;
    CKXAdoConnection c;
    c.connectionString = CString(L"Driver=SQLite3;Database=") + dir.Win() + L"\\clinic.db";
    ASSERT_TRUE(c.Open(0)) << c.GetErrorText().ToUtf8();
    ASSERT_TRUE(c.Execute(L"CREATE TABLE T (A INTEGER); INSERT INTO T VALUES (1); INSERT INTO T VALUES (2);", 0, TRUE));
    const std::string file = std::filesystem::canonical(dir.Native("clinic.db"));
    const int before = OpenDescriptorsOn(file);
    for (int i = 0; i < 5; ++i) {
        CKXAdoRecord r(&c);
        ASSERT_TRUE(r.Open(L"SELECT A FROM T"));
        ASSERT_FALSE(r.IsEOF());
        // The application opens its connection again on every window while a reader may be alive.
        ASSERT_TRUE(c.Open(0)) << c.GetErrorText().ToUtf8();
        EXPECT_EQ(r.GetFieldStringAt(0), L"1");  // the row already read stays readable
        EXPECT_FALSE(r.MoveNext());              // the old cursor is gone, and says so
    }
    EXPECT_EQ(OpenDescriptorsOn(file), before);
    CKXAdoRecord r(&c);
    ASSERT_TRUE(r.Open(L"SELECT COUNT(*) FROM T"));
    EXPECT_EQ(r.GetFieldStringAt(0), L"2");
}

// A commit on a database file that another program keeps in WAL mode is on the disk when it
// returns, as it is with the rollback journal a file has by default; the file keeps its mode.
TEST(CKXAdoConnection, SqliteCommitsAreSyncedInEitherJournalModeAndTheFileKeepsItsMode)
{
    TempDir dir;
    CKXAdoConnection c;
    c.connectionString = CString(L"Driver=SQLite3;Database=") + dir.Win() + L"\\clinic.db";
    ASSERT_TRUE(c.Open(0)) << c.GetErrorText().ToUtf8();
    EXPECT_EQ(Count(c, L"PRAGMA synchronous"), 1);  // NORMAL syncs the journal and the file
    ASSERT_TRUE(c.Execute(L"PRAGMA journal_mode=WAL", 0, TRUE));
    ASSERT_TRUE(c.Open(0)) << c.GetErrorText().ToUtf8();
    EXPECT_EQ(Count(c, L"PRAGMA synchronous"), 2);  // FULL syncs the WAL at every commit
    CKXAdoRecord mode(&c);
    ASSERT_TRUE(mode.Open(L"PRAGMA journal_mode"));
    EXPECT_EQ(mode.GetFieldStringAt(0), L"wal");
}
