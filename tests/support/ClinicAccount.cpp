#include "tests/support/ClinicAccount.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/db/db.h"

namespace quiva::test {

namespace {

const char kClinicDatabase[] = "hrb4100";

struct Role {
    std::mutex mutex;
    std::optional<Account> account;
    std::optional<PgServer> server;
};
Role g_role;

CString Wide(const std::string& text) { return CString(Utf8ToWide(text)); }

CString ConnectionString(const PgServer& server, const std::string& database, const std::string& user,
                         const std::string& password)
{
    return Wide("Driver=PostgreSQL Unicode;Server=" + server.host + ";Port=" + server.port + ";UID=" + user +
                ";password=") +
           db::ConnectionStringValue(Wide(password)) + Wide(";DATABASE=" + database + ";");
}

class DropRole : public testing::Environment {
public:
    void TearDown() override
    {
        std::lock_guard<std::mutex> lock(g_role.mutex);
        if (!g_role.account || !g_role.server)
            return;
        const std::string& name = g_role.account->user;
        db::Connection c;
        if (c.Open(PgConnectionString(*g_role.server, kClinicDatabase)))
            c.Execute(Wide("DROP SCHEMA IF EXISTS " + name + " CASCADE; DROP ROLE IF EXISTS " + name));
        g_role.account.reset();
    }
};
testing::Environment* const g_dropRole = testing::AddGlobalTestEnvironment(new DropRole);

}  // namespace

std::string RandomText(size_t bytes)
{
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string out;
    const char* hex = "0123456789abcdef";
    for (size_t i = 0; i < bytes; ++i) {
        unsigned char c = static_cast<unsigned char>(random.get());
        out += hex[c >> 4];
        out += hex[c & 15];
    }
    return out;
}

std::string HelperLibraryPath(const std::string& fileName) { return std::string(QUIVA_BINARY_DIR) + "/host/" + fileName; }

bool WriteAccountFile(const std::string& nativeFolder, const std::vector<Account>& sets)
{
    std::string text;
    for (size_t i = 0; i < sets.size(); ++i)
        text += "[" + std::to_string(i) + "]\nuser=" + sets[i].user + "\npassword=" + sets[i].password + "\n";
    std::string path = nativeFolder + "/HRBAccount.ini";
    ::unlink(path.c_str());
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return ok;
}

bool InstallHelperLibraries(const std::string& nativeFolder, const std::vector<Account>& sets, std::string* why)
{
    std::error_code ec;
    for (const char* name : {"HRBSConst.dll", "HRBCrypto.dll"}) {
        // A new file, never one rewritten in place: a loaded library's file must not change.
        std::filesystem::remove(nativeFolder + "/" + name, ec);
        std::filesystem::copy_file(HelperLibraryPath(name), nativeFolder + "/" + name, ec);
        if (ec) {
            if (why)
                *why = std::string("cannot copy ") + name + ": " + ec.message();
            return false;
        }
    }
    if (!WriteAccountFile(nativeFolder, sets)) {
        if (why)
            *why = "cannot write the account file";
        return false;
    }
    return true;
}

std::optional<Account> ClinicPgAccount(const PgServer& server, std::string* why)
{
    std::lock_guard<std::mutex> lock(g_role.mutex);
    if (!g_role.account) {
        // Every test process shares the database; a role's own schema comes first in its search
        // path, so its unqualified tables are its own.
        db::Connection admin;
        if (admin.Open(PgConnectionString(server, server.database)))
            admin.Execute(Wide(std::string("CREATE DATABASE ") + kClinicDatabase));  // fails when it exists
        db::Connection c;
        Account account{"quiva_clinic_" + std::to_string(getpid()), "pw;x}" + RandomText(8) + "}"};
        std::string quoted = account.password;
        for (size_t p = quoted.find('\''); p != std::string::npos; p = quoted.find('\'', p + 2))
            quoted.insert(p, 1, '\'');
        if (!c.Open(PgConnectionString(server, kClinicDatabase)) ||
            !c.Execute(Wide("DROP SCHEMA IF EXISTS " + account.user + " CASCADE; DROP ROLE IF EXISTS " + account.user)) ||
            !c.Execute(Wide("CREATE ROLE " + account.user + " LOGIN PASSWORD '" + quoted + "'")) ||
            !c.Execute(Wide("CREATE SCHEMA " + account.user + " AUTHORIZATION " + account.user))) {
            if (why)
                *why = c.Errors().empty() ? "cannot make the clinic role" : c.Errors()[0].ToUtf8();
            return std::nullopt;
        }
        g_role.account = account;
        g_role.server = server;
        db::Connection own;
        if (!own.Open(ConnectionString(server, kClinicDatabase, account.user, account.password)) ||
            !own.Execute(Wide(ResourceText("resources/db/postgresql.sql")))) {
            if (why)
                *why = own.Errors().empty() ? "cannot make the clinic tables" : own.Errors()[0].ToUtf8();
            return std::nullopt;
        }
    }
    db::Connection own;
    if (!own.Open(ConnectionString(server, kClinicDatabase, g_role.account->user, g_role.account->password)) ||
        !own.Execute(L"DELETE FROM PATIENT; DELETE FROM MMAIN; DELETE FROM MIMG; DELETE FROM FOPTION; DELETE FROM HOSINFO")) {
        if (why)
            *why = own.Errors().empty() ? "cannot empty the clinic tables" : own.Errors()[0].ToUtf8();
        return std::nullopt;
    }
    return g_role.account;
}

}  // namespace quiva::test
