// Databases for tests: the PostgreSQL servers that scripts/start-services.sh runs, and SQLite
// files with the clinic-records tables (schemas in resources/db/).
#pragma once

#include <optional>
#include <string>

#include "platform/base/CString.h"

namespace quiva::test {

struct PgServer {
    std::string host, port, user, password, database;
    // The second cluster, which a test may stop and start.
    std::string restartPort, pgCtl, restartData, owner;
};

// The running test server, or nothing with the reason in *why.
std::optional<PgServer> FindPostgres(std::string* why);
// Under CI a missing server fails the test instead of skipping it.
bool InCI();

// "Driver=PostgreSQL Unicode;..." for the database (and port, when given).
CString PgConnectionString(const PgServer& server, const std::string& database, const std::string& port = "");
// A database of this test process's own, with the clinic-records tables, made on first use and
// dropped when the process ends; "" (with *why) when it cannot be made.
std::string PrivatePgDatabase(const PgServer& server, std::string* why);

// The text of resources/db/<file>.
std::string ResourceText(const std::string& relativePath);
// Creates an SQLite file with the clinic-records tables; false when that fails.
bool CreateSqliteClinicDb(const std::string& nativePath);

}  // namespace quiva::test

// Gives `server` (a PgServer) or skips the test; fails it under CI.
#define QUIVA_REQUIRE_POSTGRES(server)                                    \
    std::string server##Why;                                              \
    auto server##Found = quiva::test::FindPostgres(&server##Why);        \
    if (!server##Found) {                                                 \
        if (quiva::test::InCI())                                          \
            FAIL() << "PostgreSQL test server missing: " << server##Why;  \
        else                                                              \
            GTEST_SKIP() << "PostgreSQL test server missing: " << server##Why \
                         << " (run scripts/start-services.sh)";           \
    }                                                                     \
    const quiva::test::PgServer& server = *server##Found
