#include "tests/support/Databases.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/base/codepage.h"
#include "platform/base/inifile.h"
#include "platform/db/db.h"

namespace quiva::test {

namespace {

std::string ReadIni(const std::string& file, const wchar_t* section, const wchar_t* key)
{
    wchar_t buf[1024] = {};
    std::wstring path = Utf8ToWide(file);
    GetPrivateProfileStringW(section, key, L"", buf, 1024, path.c_str());
    return WideToUtf8(buf);
}

std::string ServicesDir()
{
    const char* dir = std::getenv("QUIVA_PG_DIR");
    return dir && *dir ? dir : "/tmp/quiva-pg";
}

struct PrivateDb {
    std::mutex mutex;
    std::string name;
    std::optional<PgServer> server;
};
PrivateDb g_private;

// Drops this process's database after the last test (before static objects go away).
class DropPrivateDb : public testing::Environment {
public:
    void TearDown() override
    {
        std::lock_guard<std::mutex> lock(g_private.mutex);
        if (g_private.name.empty() || !g_private.server)
            return;
        db::Connection c;
        if (c.Open(PgConnectionString(*g_private.server, g_private.server->database)))
            c.Execute(CString(Utf8ToWide("DROP DATABASE IF EXISTS " + g_private.name + " WITH (FORCE)")));
        g_private.name.clear();
    }
};
testing::Environment* const g_dropPrivateDb = testing::AddGlobalTestEnvironment(new DropPrivateDb);

}  // namespace

bool InCI()
{
    const char* ci = std::getenv("CI");
    return ci && std::string(ci) == "true";
}

std::optional<PgServer> FindPostgres(std::string* why)
{
    std::string file = ServicesDir() + "/connection.ini";
    if (access(file.c_str(), R_OK) != 0) {
        if (why)
            *why = file + " does not exist";
        return std::nullopt;
    }
    PgServer s;
    s.host = ReadIni(file, L"postgresql", L"host");
    s.port = ReadIni(file, L"postgresql", L"port");
    s.user = ReadIni(file, L"postgresql", L"user");
    s.password = ReadIni(file, L"postgresql", L"password");
    s.database = ReadIni(file, L"postgresql", L"database");
    s.restartPort = ReadIni(file, L"restart", L"port");
    s.pgCtl = ReadIni(file, L"restart", L"pg_ctl");
    s.restartData = ReadIni(file, L"restart", L"data");
    s.owner = ReadIni(file, L"restart", L"owner");
    db::Connection probe;
    if (!probe.Open(PgConnectionString(s, s.database))) {
        if (why)
            *why = "no server answers on " + s.host + ":" + s.port + " (" +
                   (probe.Errors().empty() ? std::string() : probe.Errors()[0].ToUtf8()) + ")";
        return std::nullopt;
    }
    return s;
}

CString PgConnectionString(const PgServer& s, const std::string& database, const std::string& port)
{
    std::string text = "Provider=MSDASQL;Driver=PostgreSQL Unicode;Server=" + s.host + ";Port=" +
                       (port.empty() ? s.port : port) + ";UID=" + s.user + ";password=" + s.password +
                       ";DATABASE=" + database + ";";
    return CString(Utf8ToWide(text));
}

std::string PrivatePgDatabase(const PgServer& server, std::string* why)
{
    std::lock_guard<std::mutex> lock(g_private.mutex);
    if (!g_private.name.empty())
        return g_private.name;
    std::string name = "quiva_t" + std::to_string(getpid());
    db::Connection admin;
    if (!admin.Open(PgConnectionString(server, server.database)) ||
        !admin.Execute(CString(Utf8ToWide("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)"))) ||
        !admin.Execute(CString(Utf8ToWide("CREATE DATABASE " + name)))) {
        if (why)
            *why = admin.Errors().empty() ? "cannot create " + name : admin.Errors()[0].ToUtf8();
        return std::string();
    }
    g_private.name = name;
    g_private.server = server;
    db::Connection c;
    if (!c.Open(PgConnectionString(server, name)) ||
        !c.Execute(CString(Utf8ToWide(ResourceText("resources/db/postgresql.sql"))))) {
        if (why)
            *why = c.Errors().empty() ? "cannot create the tables" : c.Errors()[0].ToUtf8();
        return std::string();
    }
    return name;
}

std::string ResourceText(const std::string& relativePath)
{
    std::ifstream in(std::string(QUIVA_SOURCE_DIR) + "/" + relativePath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool CreateSqliteClinicDb(const std::string& nativePath)
{
    db::Connection c;
    return c.Open(CString(Utf8ToWide("Driver=SQLite3;Database=" + nativePath + ";"))) &&
           c.Execute(CString(Utf8ToWide(ResourceText("resources/db/sqlite.sql"))));
}

}  // namespace quiva::test
