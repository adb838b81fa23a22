// The capture application's machine with a clinic-records database reached the way the
// application reaches it: DBServer.ini under the data folder, the clinic's helper libraries and
// their account in the exe folder, and the database either the SQLite file HRB4100.db in the data
// folder (through the "SQL Anywhere 12" driver name) or the PostgreSQL test server.
#pragma once

#include "framework/CKXAdoConnection.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/ClinicAccount.h"

enum class ClinicBackend { SQLite, PostgreSQL };

inline std::string ClinicBackendName(const testing::TestParamInfo<ClinicBackend>& info)
{
    return info.param == ClinicBackend::SQLite ? "SQLite" : "PostgreSQL";
}

class ClinicMachine : public AppMachine, public testing::WithParamInterface<ClinicBackend> {
protected:
    void SetUp() override
    {
        std::string why;
        if (Pg()) {
            auto server = quiva::test::FindPostgres(&why);
            if (!server) {
                if (quiva::test::InCI())
                    FAIL() << "PostgreSQL test server missing: " << why;
                GTEST_SKIP() << "PostgreSQL test server missing: " << why << " (run scripts/start-services.sh)";
            }
            m_server = *server;
            auto account = quiva::test::ClinicPgAccount(m_server, &why);
            ASSERT_TRUE(account) << why;
            m_account = *account;
            quiva::test::WriteAll(Root("DBServer.ini"), "[Connection Config]\nDBMSKind=PostgreSQL\nPGHostIPAddress=" +
                                                            m_server.host + "\nPGPort=" + m_server.port + "\n");
            m_direct.connectionString = L"Driver=PostgreSQL Unicode;Server=" + CString(m_server.host.c_str()) +
                                        L";Port=" + CString(m_server.port.c_str()) + L";UID=" +
                                        CString(m_account.user.c_str()) + L";password=" +
                                        quiva::db::ConnectionStringValue(CString(m_account.password.c_str())) +
                                        L";DATABASE=hrb4100;";
        } else {
            ASSERT_TRUE(quiva::test::CreateSqliteClinicDb(Root("HRB4100.db")));
            m_account = {"dba", "pw;Database=elsewhere}" + quiva::test::RandomText(4)};
            quiva::test::WriteAll(Root("DBServer.ini"), "[Connection Config]\nCommLinks=tcpip{host=127.0.0.1}\n");
            m_direct.connectionString = L"Driver=SQLite3;Database=" + CString(Root("HRB4100.db").c_str()) + L";";
        }
        ASSERT_TRUE(quiva::test::InstallHelperLibraries(Exe(""), {m_account}, &why)) << why;
        ASSERT_TRUE(m_direct.Open(0)) << m_direct.GetErrorText().ToUtf8();
    }

    bool Pg() const { return GetParam() == ClinicBackend::PostgreSQL; }

    // The first column of the first row of a query on the direct connection ("" without rows).
    std::wstring Scalar(const wchar_t* sql);

    quiva::test::PgServer m_server;
    quiva::test::Account m_account;
    // A connection of the test's own to the same database, for seeding and checking.
    CKXAdoConnection m_direct;
};
