// A clinic-records database for one test, on the SQLite file (through the "SQL Anywhere 12"
// driver name) or on the PostgreSQL test server.
#pragma once

#include <gtest/gtest.h>

#include "framework/CKXAdoConnection.h"
#include "platform/db/db.h"
#include "tests/support/Databases.h"
#include "tests/support/TempDir.h"

enum class Backend { SQLite, PostgreSQL };

inline std::string BackendName(const testing::TestParamInfo<Backend>& info)
{
    return info.param == Backend::SQLite ? "SQLite" : "PostgreSQL";
}

class ClinicDb : public testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        if (GetParam() == Backend::SQLite) {
            ASSERT_TRUE(quiva::test::CreateSqliteClinicDb(m_dir.Native("HRB4100.db")));
            quiva::db::SetDataFolder(m_dir.Win());
            m_conn.connectionString = L"Driver={SQL Anywhere 12};Host=127.0.0.1;Database=HRB4100;User ID=dba;Password=sql";
        } else {
            std::string why;
            auto server = quiva::test::FindPostgres(&why);
            if (!server) {
                if (quiva::test::InCI())
                    FAIL() << "PostgreSQL test server missing: " << why;
                GTEST_SKIP() << "PostgreSQL test server missing: " << why << " (run scripts/start-services.sh)";
            }
            std::string name = quiva::test::PrivatePgDatabase(*server, &why);
            ASSERT_FALSE(name.empty()) << why;
            m_conn.connectionString = quiva::test::PgConnectionString(*server, name);
            m_conn.dbmsKind = 3;
        }
        ASSERT_TRUE(m_conn.Open(0)) << m_conn.GetErrorText().ToUtf8();
        ASSERT_TRUE(m_conn.Execute(L"DELETE FROM PATIENT; DELETE FROM MMAIN; DELETE FROM MIMG; DELETE FROM FOPTION; "
                                   L"DELETE FROM HOSINFO",
                                   0, TRUE));
    }

    bool Pg() const { return GetParam() == Backend::PostgreSQL; }

    quiva::test::TempDir m_dir;
    CKXAdoConnection m_conn;
};
