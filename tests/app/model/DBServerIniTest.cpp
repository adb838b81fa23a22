#include <gtest/gtest.h>

#include "app/model/CKXQUIVAConfig.h"
#include "tests/app/AppTestSupport.h"

using quiva::test::WriteAll;

namespace {

class DBServerIni : public AppMachine {
protected:
    void WriteIni(const std::string& keys) { WriteAll(Root("DBServer.ini"), "[Connection Config]\r\n" + keys); }
};

}  // namespace

TEST_F(DBServerIni, WithoutTheFileSqlAnywhereOnTheLocalMachine)
{
    CKXQUIVAConfig c;
    EXPECT_EQ(c.GetConnectionSettings().m_bConnPriority, 0);
    EXPECT_TRUE(c.GetConnectionSettings().m_strEngineName.IsEmpty());
    EXPECT_EQ(c.GetConnectionSettings().m_strCommLinksHost, L"127.0.0.1");
    EXPECT_EQ(c.GetConnectionSettings().m_bPostgreSQL, 0);
    EXPECT_TRUE(c.GetConnectionSettings().m_strPGHost.IsEmpty());
    EXPECT_TRUE(c.GetDatabasePort().IsEmpty());
}

TEST_F(DBServerIni, TheCommLinksHostIsWhatStandsBetweenTheFirstEqualsAndTheFirstBrace)
{
    struct Case {
        const char* links;
        const wchar_t* host;
    } cases[] = {
        {"tcpip{host=db01}", L"db01"},
        {"tcpip{host=db01", L"127.0.0.1"},
        {"db01}", L"db01"},
        {"tcpip{host=10.0.0.5;port=2638}", L"10.0.0.5;port=2638"},
        {"tcpip{host=}", L"127.0.0.1"},
        {"}{host=x", L"127.0.0.1"},
    };
    for (const Case& k : cases) {
        WriteIni(std::string("CommLinks=") + k.links + "\r\n");
        CKXQUIVAConfig c;
        EXPECT_EQ(c.GetConnectionSettings().m_strCommLinksHost, k.host) << k.links;
    }
    WriteIni("EngineName=X\r\n");
    CKXQUIVAConfig c;
    EXPECT_EQ(c.GetConnectionSettings().m_strCommLinksHost, L"127.0.0.1");
    EXPECT_EQ(c.GetConnectionSettings().m_strPGHost, L"127.0.0.1");  // the CommLinks host as read
    EXPECT_EQ(c.GetConnectionSettings().m_bConnPriority, 1);         // a missing priority is not 1
}

TEST_F(DBServerIni, TheDbmsKindSelectsPostgreSQLWhateverTheCase)
{
    struct Case {
        const char* kind;
        BOOL pg;
    } cases[] = {{"postgresql", 1}, {"PostgreSQL", 1}, {"POSTGRESQL", 1}, {"PG", 0}, {"", 0}, {"postgres", 0}};
    for (const Case& k : cases) {
        WriteIni(std::string("DBMSKind=") + k.kind + "\r\nPGPort=5433\r\n");
        CKXQUIVAConfig c;
        EXPECT_EQ(c.GetConnectionSettings().m_bPostgreSQL, k.pg) << k.kind;
        EXPECT_EQ(c.GetDatabasePort(), k.pg ? L"5433" : L"") << k.kind;
    }
}

TEST_F(DBServerIni, EveryKeyIsReadWithItsDefault)
{
    WriteIni("dbmsconnpriority=1\r\nEngineName=HRB_MAIN\r\nCommLinks=tcpip{host=db01}\r\n"
             "PGHostIPAddress=pg.clinic\r\nPGPort=54315\r\nDBMSKind=PostgreSQL\r\n");
    CKXQUIVAConfig c;
    EXPECT_EQ(c.GetConnectionSettings().m_bConnPriority, 0);
    EXPECT_EQ(c.GetConnectionSettings().m_strEngineName, L"HRB_MAIN");
    EXPECT_EQ(c.GetConnectionSettings().m_strCommLinksHost, L"db01");
    EXPECT_EQ(c.GetConnectionSettings().m_strPGHost, L"pg.clinic");
    EXPECT_EQ(c.GetDatabasePort(), L"54315");

    WriteIni("DBMSConnPriority=2\r\nCommLinks=tcpip{host=db02}\r\nDBMSKind=PostgreSQL\r\n");
    CKXQUIVAConfig d;
    EXPECT_EQ(d.GetConnectionSettings().m_bConnPriority, 1);
    EXPECT_EQ(d.GetConnectionSettings().m_strEngineName, L"HRB4100");
    EXPECT_EQ(d.GetConnectionSettings().m_strPGHost, L"db02");
    EXPECT_TRUE(d.GetDatabasePort().IsEmpty());

    // No host in CommLinks and no PostgreSQL host: the PostgreSQL host stays empty.
    WriteIni("CommLinks=tcpip\r\nDBMSKind=PostgreSQL\r\n");
    CKXQUIVAConfig e;
    EXPECT_EQ(e.GetConnectionSettings().m_strCommLinksHost, L"127.0.0.1");
    EXPECT_TRUE(e.GetConnectionSettings().m_strPGHost.IsEmpty());
}

TEST_F(DBServerIni, ValuesAreCutAt254Characters)
{
    std::string longHost(300, 'h');
    WriteIni("PGHostIPAddress=" + longHost + "\r\nEngineName=" + std::string(254, 'e') + "\r\n");
    CKXQUIVAConfig c;
    EXPECT_EQ(c.GetConnectionSettings().m_strPGHost.GetLength(), 254);
    EXPECT_EQ(c.GetConnectionSettings().m_strEngineName.GetLength(), 254);
}
