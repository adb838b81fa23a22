#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXAdoRecord.h"
#include "tests/app/ClinicDbSupport.h"

namespace {

class DatabaseOptions : public ClinicMachine {
protected:
    void SetUp() override
    {
        ClinicMachine::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        ASSERT_TRUE(m_direct.Execute(L"INSERT INTO FOPTION VALUES ('ORBITA','CATAGORY','Endo','2');"
                                     L"INSERT INTO FOPTION VALUES ('ORBITA','CATAGORY','위내시경','2');"
                                     L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','Image Directory','d:\\images');"
                                     L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','VEXARIS SERVER','');"
                                     L"INSERT INTO FOPTION VALUES ('OTHER','X','VEXARIS SERVER','ris01');"
                                     L"INSERT INTO FOPTION VALUES ('ORBITA','ORBITA','CHECK MOLTRIX PACS KIND','10');"
                                     L"INSERT INTO FOPTION VALUES ('SOMEONE','CATAGORY','Not ours','2');"
                                     L"INSERT INTO HOSINFO VALUES ('77')",
                                     0, TRUE))
            << m_direct.GetErrorText().ToUtf8();
    }
    // The study-name rows as stored, in order.
    std::vector<std::wstring> StoredNames()
    {
        std::vector<std::wstring> names;
        CKXAdoRecord record(&m_direct);
        if (record.Open(L"SELECT SETUPSECT FROM FOPTION WHERE SETUPUSER='ORBITA' AND SETUPROOM='CATAGORY' "
                        L"ORDER BY SETUPSECT"))
            for (; !record.IsEOF(); record.MoveNext())
                names.push_back(record.GetFieldString(L"SETUPSECT").str());
        return names;
    }
    static std::vector<std::wstring> Listed(const CKXQUIVAConfig& c)
    {
        std::vector<std::wstring> names;
        for (int i = 0; i < c.GetStudyNames().GetSize(); ++i)
            names.push_back(c.GetStudyName(i).str());
        return names;
    }
};

}  // namespace

TEST_P(DatabaseOptions, StudyNamesDirectoryPacsServerAndInstitutionLoadOnce)
{
    CKXQUIVAConfig c;
    c.LoadDatabaseOptions();
    EXPECT_EQ(c.IsDatabaseOptionsLoaded(), 1);
    EXPECT_EQ(Listed(c), (std::vector<std::wstring>{L"Endo", L"위내시경"}));
    EXPECT_EQ(c.GetImageDirectory(), L"d:\\images");
    EXPECT_EQ(c.GetPacsServerOption(), L"ris01");  // the first value that is not empty
    EXPECT_EQ(c.GetInstitutionNumber(), L"77");
    EXPECT_TRUE(c.GetStudyName(-1).IsEmpty());
    EXPECT_TRUE(c.GetStudyName(2).IsEmpty());

    // Loaded once per object; a new object reads again.
    ASSERT_TRUE(m_direct.Execute(L"DELETE FROM FOPTION WHERE SETUPSECT='Image Directory'; DELETE FROM HOSINFO", 0, TRUE));
    c.LoadDatabaseOptions();
    EXPECT_EQ(c.GetImageDirectory(), L"d:\\images");
    CKXQUIVAConfig next;
    next.SetInstitutionNumber(L"from file");
    next.LoadDatabaseOptions();
    EXPECT_TRUE(next.GetImageDirectory().IsEmpty());
    EXPECT_EQ(next.GetInstitutionNumber(), L"from file");  // no row: unchanged
    EXPECT_EQ(next.GetStudyNames().GetSize(), 2);
}

TEST_P(DatabaseOptions, NamesWithQuotesAndBackslashesAreStoredAndFoundExactly)
{
    CKXQUIVAConfig c;
    c.LoadDatabaseOptions();
    EXPECT_TRUE(c.AddStudyName(L"O'Neil"));
    EXPECT_TRUE(c.AddStudyName(L"c:\\x\\'; DROP TABLE FOPTION; --"));
    EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Endo", L"O'Neil", L"c:\\x\\'; DROP TABLE FOPTION; --", L"위내시경"}));
    EXPECT_EQ(c.GetStudyName(2), L"O'Neil");

    EXPECT_TRUE(c.RenameStudyName(L"O'Neil", L"O'Brien's"));
    EXPECT_EQ(c.GetStudyName(2), L"O'Brien's");
    EXPECT_TRUE(c.DeleteStudyName(L"c:\\x\\'; DROP TABLE FOPTION; --"));
    EXPECT_EQ(StoredNames(), (std::vector<std::wstring>{L"Endo", L"O'Brien's", L"위내시경"}));
    EXPECT_EQ(Listed(c), (std::vector<std::wstring>{L"Endo", L"위내시경", L"O'Brien's"}));

    CKXQUIVAConfig again;
    again.LoadDatabaseOptions();
    EXPECT_EQ(again.GetStudyNames().GetSize(), 3);
}

TEST_P(DatabaseOptions, AddingANameListedInAnotherCaseWritesNothing)
{
    CKXQUIVAConfig c;
    c.LoadDatabaseOptions();
    EXPECT_TRUE(c.AddStudyName(L"ENDO"));
    EXPECT_EQ(StoredNames().size(), 2u);
    EXPECT_EQ(c.GetStudyNames().GetSize(), 2);
    // Delete and rename change the first entry that matches without regard to case, whether or
    // not the server found a row of that exact spelling.
    EXPECT_TRUE(c.RenameStudyName(L"endo", L"Colon"));
    EXPECT_EQ(c.GetStudyName(0), L"Colon");
    EXPECT_EQ(StoredNames()[0], L"Endo");
    EXPECT_TRUE(c.DeleteStudyName(L"COLON"));
    EXPECT_EQ(c.GetStudyNames().GetSize(), 1);
}

TEST_P(DatabaseOptions, AnEditTheDatabaseRefusesLeavesTheList)
{
    CKXQUIVAConfig c;
    c.LoadDatabaseOptions();
    ASSERT_TRUE(m_direct.Execute(L"ALTER TABLE FOPTION RENAME TO FOPTION_AWAY", 0, TRUE));
    EXPECT_FALSE(c.AddStudyName(L"Colon"));
    EXPECT_FALSE(c.RenameStudyName(L"Endo", L"Gastro"));
    EXPECT_FALSE(c.DeleteStudyName(L"위내시경"));
    EXPECT_EQ(Listed(c), (std::vector<std::wstring>{L"Endo", L"위내시경"}));
    ASSERT_TRUE(m_direct.Execute(L"ALTER TABLE FOPTION_AWAY RENAME TO FOPTION", 0, TRUE));
    // Nothing connected yet: nothing to run the statement on.
    CKXQUIVAConfig none;
    EXPECT_FALSE(none.AddStudyName(L"Colon"));
    EXPECT_EQ(none.GetStudyNames().GetSize(), 0);
}

TEST_P(DatabaseOptions, ADatabaseDownAtTheFirstLoadIsReadAtALaterOne)
{
    if (Pg()) {
        quiva::test::WriteAll(Root("DBServer.ini"), "[Connection Config]\nDBMSKind=PostgreSQL\nPGHostIPAddress=" +
                                                        m_server.host + "\nPGPort=1\n");
    } else {
        std::filesystem::rename(Root("HRB4100.db"), Root("HRB4100.db.away"));
    }
    CKXQUIVAConfig down;
    down.LoadDatabaseOptions();
    EXPECT_EQ(down.IsDatabaseOptionsLoaded(), 0);
    EXPECT_EQ(down.GetStudyNames().GetSize(), 0);
    EXPECT_TRUE(down.GetImageDirectory().IsEmpty());
    EXPECT_FALSE(down.IsPacsKind10());
    if (Pg()) {
        quiva::test::WriteAll(Root("DBServer.ini"), "[Connection Config]\nDBMSKind=PostgreSQL\nPGHostIPAddress=" +
                                                        m_server.host + "\nPGPort=" + m_server.port + "\n");
        CKXQUIVAConfig up;
        up.LoadDatabaseOptions();
        EXPECT_EQ(up.IsDatabaseOptionsLoaded(), 1);
        EXPECT_EQ(up.GetStudyNames().GetSize(), 2);
    } else {
        // The same object reads them once the database is back.
        std::filesystem::rename(Root("HRB4100.db.away"), Root("HRB4100.db"));
        down.LoadDatabaseOptions();
        EXPECT_EQ(down.IsDatabaseOptionsLoaded(), 1);
        EXPECT_EQ(down.GetStudyNames().GetSize(), 2);
    }
}

// Another program keeps the options (a session locking the table, a process holding the file):
// the load waits once for its four queries, not for each, and leaves them to a later load.
TEST_P(DatabaseOptions, OptionsAHeldDatabaseKeepsAreWaitedForOnceAndReadAtALaterLoad)
{
    FILE* holder = nullptr;
    if (Pg()) {
        ASSERT_TRUE(m_direct.BeginTrans());
        ASSERT_TRUE(m_direct.Execute(L"LOCK TABLE FOPTION IN ACCESS EXCLUSIVE MODE", 0, TRUE));
    } else {
        const std::string said = Root("held.txt");
        holder = ::popen(("sqlite3 '" + Root("HRB4100.db") + "' >'" + said + "' 2>&1").c_str(), "w");
        ASSERT_NE(holder, nullptr);
        std::fputs("BEGIN EXCLUSIVE;\n.print held\n", holder);
        std::fflush(holder);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (quiva::test::ReadAll(said).find("held") == std::string::npos && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    CKXQUIVAConfig c;
    const auto started = std::chrono::steady_clock::now();
    c.LoadDatabaseOptions();
    const auto took = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);
    EXPECT_EQ(c.IsDatabaseOptionsLoaded(), 0);
    EXPECT_TRUE(c.GetImageDirectory().IsEmpty());
    EXPECT_LT(took.count(), 25);  // one bound of 10 s for all, where each query waited 10 s
    if (Pg()) {
        m_direct.RollbackTrans();
    } else {
        std::fputs("ROLLBACK;\n", holder);
        ::pclose(holder);
    }
    c.LoadDatabaseOptions();
    EXPECT_EQ(c.IsDatabaseOptionsLoaded(), 1);
    EXPECT_EQ(c.GetImageDirectory(), L"d:\\images");
    EXPECT_EQ(Listed(c), (std::vector<std::wstring>{L"Endo", L"위내시경"}));
}

TEST_P(DatabaseOptions, ThePacsKindNeedsTheServerOptionAndExactlyTen)
{
    {
        CKXQUIVAConfig c;
        c.LoadDatabaseOptions();
        c.SetPacsServerOption(L"");
        EXPECT_FALSE(c.IsPacsKind10());  // no server option: no query
        c.SetPacsServerOption(L"ris01");
        EXPECT_TRUE(c.IsPacsKind10());
        // Once seen, kept.
        ASSERT_TRUE(m_direct.Execute(L"UPDATE FOPTION SET SETUPVALUE='0' WHERE SETUPSECT='CHECK MOLTRIX PACS KIND'", 0, TRUE));
        EXPECT_TRUE(c.IsPacsKind10());
    }
    CKXQUIVAConfig c;
    c.LoadDatabaseOptions();
    EXPECT_FALSE(c.IsPacsKind10());
    for (const wchar_t* value : {L"010", L"10 ", L"1"}) {
        CString sql;
        sql.Format(L"UPDATE FOPTION SET SETUPVALUE='%s' WHERE SETUPSECT='CHECK MOLTRIX PACS KIND'", value);
        ASSERT_TRUE(m_direct.Execute(sql, 0, TRUE));
        EXPECT_FALSE(c.IsPacsKind10()) << CString(value).ToUtf8();
    }
    // A FALSE answer is asked again every time.
    ASSERT_TRUE(m_direct.Execute(L"UPDATE FOPTION SET SETUPVALUE='10' WHERE SETUPSECT='CHECK MOLTRIX PACS KIND'", 0, TRUE));
    EXPECT_TRUE(c.IsPacsKind10());
    c.SetPacsServerOption(L"");
    EXPECT_TRUE(c.IsPacsKind10());  // kept: not asked again, though the server option is gone
}

INSTANTIATE_TEST_SUITE_P(Databases, DatabaseOptions, testing::Values(ClinicBackend::SQLite, ClinicBackend::PostgreSQL),
                         ClinicBackendName);
