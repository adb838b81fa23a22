#include "framework/CKXAdoRecord.h"
#include "tests/support/framework/ClinicDbFixture.h"

namespace {

class Transactions : public ClinicDb {
protected:
    long Count(const wchar_t* sql)
    {
        CKXAdoRecord r(&m_conn);
        EXPECT_TRUE(r.Open(sql));
        return r.IsEOF() ? -1 : _wtoi(r.GetFieldStringAt(0));
    }
};

}  // namespace

TEST_P(Transactions, RowsStayOnlyWhenCommitted)
{
    ASSERT_TRUE(m_conn.BeginTrans());
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('1',1,'2024-01-05','a',0)", 0, 1));
    // Inside the transaction its own rows are seen.
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 1);
    EXPECT_TRUE(m_conn.RollbackTrans());
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 0);

    ASSERT_TRUE(m_conn.BeginTrans());
    EXPECT_FALSE(m_conn.BeginTrans());  // one at a time
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('1',2,'2024-01-05','b',0)", 0, 1));
    EXPECT_TRUE(m_conn.CommitTrans());
    EXPECT_FALSE(m_conn.CommitTrans());  // nothing open any more
    // Back to committing every statement.
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('1',3,'2024-01-05','c',0)", 0, 1));
    CKXAdoConnection other;
    other.connectionString = m_conn.connectionString;
    other.dbmsKind = m_conn.dbmsKind;
    ASSERT_TRUE(other.Open(0));
    CKXAdoRecord r(&other);
    ASSERT_TRUE(r.Open(L"SELECT COUNT(*) FROM MMAIN"));
    EXPECT_EQ(r.GetFieldStringAt(0), L"2");
}

TEST_P(Transactions, ALostConnectionIsNotOpenedAgainInsideATransaction)
{
    ASSERT_TRUE(m_conn.BeginTrans());
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('1',1,'2024-01-05','a',0)", 0, 1));
    m_conn.GetConnection()->Close();
    // Statements fail instead of running on a new session outside the transaction.
    EXPECT_FALSE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('1',2,'2024-01-05','b',0)", 0, 1));
    CKXAdoRecord r(&m_conn);
    EXPECT_FALSE(r.Open(L"SELECT COUNT(*) FROM MMAIN"));
    EXPECT_FALSE(m_conn.CommitTrans());
    // Afterwards the connection comes back, and nothing of the transaction was kept.
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 0);
}

INSTANTIATE_TEST_SUITE_P(Backends, Transactions, testing::Values(Backend::SQLite, Backend::PostgreSQL), BackendName);
