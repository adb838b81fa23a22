#include <gtest/gtest.h>

#include <set>

#include "framework/CKXAdoRecord.h"
#include "platform/base/debug.h"
#include "platform/base/memoryapi.h"
#include "tests/support/framework/ClinicDbFixture.h"

namespace {

class RecordingLog : public CKXDataLog {
public:
    void Log(CString message, int level, int tag) override { lines.push_back({message, level, tag}); }
    struct Line {
        CString message;
        int level;
        int tag;
    };
    std::vector<Line> lines;
};

void FreeBuffer(ByteBuffer& b)
{
    if (b.data)
        VirtualFree(b.data, 0, MEM_RELEASE);
    b = ByteBuffer{};
}

}  // namespace

TEST_P(ClinicDb, ReadsRowsByNameAndPositionWithNullAsEmpty)
{
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO PATIENT VALUES ('12345', '홍길동', 'M', '19800101');"
                               L"INSERT INTO PATIENT (CNO, PATIENT) VALUES ('A7', '김영희')",
                               0, TRUE));
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO, ONO, MDATE, TITLE) VALUES ('12345', 42, '2023-12-01', '내시경 ''위''')", 0, TRUE));

    CKXAdoRecord r(&m_conn);
    ASSERT_TRUE(r.Open(L"SELECT CNO, PATIENT, GENDER, BIRTHDAY FROM PATIENT ORDER BY CNO"));
    EXPECT_FALSE(r.IsBOF());
    ASSERT_FALSE(r.IsEOF());
    EXPECT_EQ(r.GetRecordCount(), -1);
    // PostgreSQL hands the names back in lower case; lookup ignores case either way.
    EXPECT_TRUE(r.GetFieldName(1).CompareNoCase(L"PATIENT") == 0);
    EXPECT_EQ(r.GetFieldString(L"BIRTHDAY"), L"19800101");
    EXPECT_EQ(r.GetFieldString(L"patient"), L"홍길동");
    EXPECT_EQ(r.GetFieldStringAt(0), L"12345");
    EXPECT_EQ(r.GetFieldString(L"PATIENT"), L"홍길동");  // again, after a later column
    EXPECT_EQ(r.GetFieldString(L"NOSUCH"), L"");
    EXPECT_EQ(r.GetFieldStringAt(9), L"");
    ASSERT_TRUE(r.MoveNext());
    EXPECT_EQ(r.GetFieldString(L"CNO"), L"A7");
    EXPECT_EQ(r.GetFieldString(L"PATIENT"), L"김영희");
    EXPECT_EQ(r.GetFieldString(L"GENDER"), L"");
    // Onto the end succeeds, past it fails.
    EXPECT_TRUE(r.MoveNext());
    EXPECT_TRUE(r.IsEOF());
    EXPECT_EQ(r.GetFieldString(L"CNO"), L"");
    EXPECT_FALSE(r.MoveNext());

    ASSERT_TRUE(r.Open(L"SELECT ONO, TITLE, IMGNO FROM MMAIN WHERE CNO='12345'"));
    EXPECT_EQ(r.GetFieldString(L"ONO"), L"42");
    EXPECT_EQ(r.GetFieldString(L"IMGNO"), L"0");
    EXPECT_EQ(r.GetFieldString(L"TITLE"), L"내시경 '위'");
}

TEST_P(ClinicDb, EmptyResultEndsTheLoopAtOnce)
{
    CKXAdoRecord r(&m_conn);
    ASSERT_TRUE(r.Open(L"SELECT ONO FROM MMAIN WHERE CNO='none' ORDER BY ONO DESC"));
    EXPECT_TRUE(r.IsEOF());
    EXPECT_TRUE(r.IsBOF());
    EXPECT_EQ(r.GetFieldString(L"ONO"), L"");
    EXPECT_FALSE(r.MoveNext());
}

TEST_P(ClinicDb, BatchOfInsertAndSelectYieldsTheSelectRow)
{
    CKXAdoRecord r(&m_conn);
    ASSERT_TRUE(r.Open(L"INSERT INTO PATIENT (CNO, PATIENT) VALUES ('77', 'semi;colon');"
                       L"SELECT PATIENT FROM PATIENT WHERE CNO = '77'"));
    ASSERT_FALSE(r.IsEOF());
    EXPECT_EQ(r.GetFieldString(L"PATIENT"), L"semi;colon");

    // A statement without rows leaves a set that is at its end and reads "".
    ASSERT_TRUE(r.Open(L"UPDATE PATIENT SET GENDER = 'F' WHERE CNO = '77'"));
    EXPECT_TRUE(r.IsEOF());
    EXPECT_TRUE(r.IsBOF());
    EXPECT_EQ(r.GetFieldStringAt(0), L"");
    EXPECT_EQ(r.GetRecordCount(), 0);
}

TEST_P(ClinicDb, NewImageNumberIsReadBackInTheDialect)
{
    // The commit's statements: RETURNING on PostgreSQL, @@identity on the other server kind.
    const wchar_t* returning =
        L"INSERT INTO MIMG (CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME) VALUES ('%s', %d, %d, %d, '1') RETURNING IMGNO AS IMAGENUMBER;";
    const wchar_t* identity =
        L"INSERT INTO MIMG (CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME) VALUES ('%s', %d, %d, %d, '1');SELECT @@identity AS IMAGENUMBER;";
    std::vector<const wchar_t*> forms = {returning};
    if (!Pg())
        forms.push_back(identity);
    std::set<int> numbers;
    CKXAdoRecord r(&m_conn);
    for (const wchar_t* form : forms) {
        for (int video = 0; video < 2; ++video) {
            CString sql;
            sql.Format(form, L"12345", 1, 7, video);
            ASSERT_TRUE(r.Open(sql)) << sql.ToUtf8();
            ASSERT_FALSE(r.IsEOF());
            int number = _wtoi(r.GetFieldString(L"IMAGENUMBER"));
            EXPECT_GT(number, 0);
            numbers.insert(number);
            CKXAdoRecord check(&m_conn);
            CString q;
            q.Format(L"SELECT IMGTYPE FROM MIMG WHERE IMGNO = %d", number);
            ASSERT_TRUE(check.Open(q));
            EXPECT_EQ(check.GetFieldString(L"IMGTYPE"), video ? L"1" : L"0");
        }
    }
    EXPECT_EQ(numbers.size(), forms.size() * 2);
}

TEST_P(ClinicDb, ExecuteRunsEveryStatementAndNoRowIsNoError)
{
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('12345',1,'2024-01-05','Endo',0)", 0, 0));
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MIMG (CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME) VALUES ('12345', 1, 7, 0, '1')", 0, 0));
    CKXAdoRecord r(&m_conn);
    ASSERT_TRUE(r.Open(L"SELECT IMGNO FROM MIMG"));
    int imgno = _wtoi(r.GetFieldString(L"IMGNO"));
    CString s5;
    s5.Format(L"UPDATE MIMG SET IMGNAME = '%d' WHERE IMGNO = %d;UPDATE MMAIN SET IMGNO = IMGNO + 1 WHERE CNO='%s' AND ONO = %d",
              imgno, imgno, L"12345", 1);
    EXPECT_TRUE(m_conn.Execute(s5, 0, 0));
    ASSERT_TRUE(r.Open(L"SELECT M.IMGNO AS N, I.IMGNAME AS NAME FROM MMAIN M, MIMG I WHERE M.CNO = I.CNO"));
    EXPECT_EQ(r.GetFieldString(L"N"), L"1");
    EXPECT_EQ(r.GetFieldString(L"NAME"), CString(std::to_wstring(imgno)));
    EXPECT_TRUE(m_conn.Execute(L"UPDATE MMAIN SET IMGNO = 5 WHERE CNO = 'nobody'", 0, 0));
}

TEST_P(ClinicDb, FailuresAnswerFalseWithTheDriverText)
{
    RecordingLog sink;
    m_conn.log = &sink;
    m_conn.server = L"db01";
    ASSERT_TRUE(m_conn.Open(7));
    ASSERT_EQ(sink.lines.size(), 1u);
    EXPECT_EQ(sink.lines[0].message, L"(db01)데이터베이스에 연결되었습니다.");
    EXPECT_EQ(sink.lines[0].level, 3);
    EXPECT_EQ(sink.lines[0].tag, 7);
    sink.lines.clear();
    quiva::DebugCapture debug;
    EXPECT_FALSE(m_conn.Execute(L"SELEC 1", 5, TRUE));
    EXPECT_FALSE(m_conn.GetErrorText().IsEmpty());
    ASSERT_EQ(sink.lines.size(), 2u);
    EXPECT_EQ(sink.lines[0].level, 1);
    EXPECT_EQ(sink.lines[0].tag, 5);
    EXPECT_EQ(sink.lines[1].message, L"SELEC 1");
    EXPECT_EQ(sink.lines[1].level, 4);
    EXPECT_TRUE(debug.Contains(L"SELEC 1"));
    EXPECT_FALSE(m_conn.Execute(L"SELEC 2", 5, FALSE));
    EXPECT_EQ(sink.lines.size(), 2u);  // logErrors off

    CKXAdoRecord r(&m_conn);
    ASSERT_TRUE(r.Open(L"SELECT CNO FROM PATIENT"));
    EXPECT_FALSE(r.Open(L"SELECT NOSUCH FROM PATIENT"));
    EXPECT_TRUE(r.IsEOF());
    EXPECT_TRUE(r.IsBOF());
    EXPECT_EQ(r.GetFieldStringAt(0), L"");
    // The connection is still good afterwards.
    EXPECT_TRUE(r.Open(L"SELECT COUNT(*) AS N FROM PATIENT"));
    EXPECT_EQ(r.GetFieldString(L"N"), L"0");
    m_conn.log = nullptr;
}

TEST_P(ClinicDb, EscapedValuesRoundTripThroughEveryBuilder)
{
    CString name = L"O'NEIL '; DROP TABLE PATIENT; --";
    CString sql;
    sql.Format(L"INSERT INTO PATIENT (CNO, PATIENT, BIRTHDAY) VALUES ('1', '%s', '19700101')", m_conn.EscapeQuote(name).GetString());
    ASSERT_TRUE(m_conn.Execute(sql, 0, TRUE));
    CKXAdoRecord r(&m_conn);
    const CString where[] = {
        m_conn.BuildWhere(L"PATIENT", name, FALSE),
        m_conn.BuildWhereLike(L"PATIENT", L"NEIL '; DROP", TRUE),
        m_conn.BuildWhereLike(L"PATIENT", L"O'NEIL", FALSE),
        m_conn.BuildRange(L"PATIENT", L"O'", L"O'z", TRUE, FALSE),
    };
    for (const auto& w : where) {
        ASSERT_TRUE(r.Open(L"SELECT PATIENT FROM PATIENT WHERE " + w)) << w.ToUtf8();
        EXPECT_EQ(r.GetFieldString(L"PATIENT"), name) << w.ToUtf8();
    }
}

TEST_P(ClinicDb, AddNewStoresBoundValuesAndChunksReadThemBack)
{
    ASSERT_TRUE(m_conn.Execute(Pg() ? L"CREATE TABLE IF NOT EXISTS BLOBS (NAME VARCHAR(40), DATA BYTEA)"
                                    : L"CREATE TABLE IF NOT EXISTS BLOBS (NAME TEXT, DATA BLOB)",
                               0, TRUE));
    ASSERT_TRUE(m_conn.Execute(L"DELETE FROM BLOBS", 0, TRUE));
    std::vector<BYTE> bytes(10000);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<BYTE>(i * 7);
    ByteBuffer in;
    ASSERT_TRUE(CKXAdoRecord::AppendBytes(&in, static_cast<DWORD>(bytes.size()), bytes.data()));

    CKXAdoRecord r(&m_conn);
    EXPECT_FALSE(r.OpenForUpdate(L"BLOBS"));
    ASSERT_TRUE(r.OpenForAddNew(L"BLOBS"));
    r.SetFieldString(L"NAME", L"사진 'one'");
    ASSERT_TRUE(r.SetFieldBytes(L"DATA", &in));
    FreeBuffer(in);

    ASSERT_TRUE(r.Open(L"SELECT NAME, DATA FROM BLOBS"));
    ASSERT_FALSE(r.IsEOF());
    EXPECT_EQ(r.GetFieldString(L"NAME"), L"사진 'one'");
    EXPECT_EQ(r.GetFieldSize(1), 10000);
    ByteBuffer out;
    while (r.ReadChunk(1, 4096, &out)) {
    }
    ASSERT_EQ(out.size, bytes.size());
    EXPECT_EQ(std::vector<BYTE>(out.data, out.data + out.size), bytes);
    FreeBuffer(out);
}

INSTANTIATE_TEST_SUITE_P(Backends, ClinicDb, testing::Values(Backend::SQLite, Backend::PostgreSQL), BackendName);

TEST(CKXAdoRecord, WithoutAConnectionEverythingIsEmpty)
{
    CKXAdoRecord r;
    EXPECT_FALSE(r.Open(L"SELECT 1"));
    EXPECT_TRUE(r.IsEOF());
    EXPECT_TRUE(r.IsBOF());
    EXPECT_EQ(r.GetFieldString(L"X"), L"");
    EXPECT_EQ(r.GetFieldStringAt(0), L"");
    EXPECT_EQ(r.GetFieldName(0), L"");
    EXPECT_EQ(r.GetRecordCount(), 0);
    EXPECT_FALSE(r.MoveNext());
    EXPECT_FALSE(r.MoveFirst());
    EXPECT_TRUE(r.Close());
    VARIANT v;
    VariantInit(&v);
    EXPECT_FALSE(r.GetChunk(0, 10, &v));
    EXPECT_EQ(r.GetFieldSize(0), 0);

    // A connection of a kind the record set does not know is not touched.
    CKXAdoConnection other;
    other.dbmsKind = 0;
    other.connectionString = L"Driver=SQLite3;Database=:memory:";
    CKXAdoRecord k(&other);
    EXPECT_FALSE(k.Open(L"SELECT 1"));
    EXPECT_EQ(other.GetConnection(), nullptr);

    std::unique_ptr<CKXDatabaseRecordSet> created(k.CreateRecord());
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(static_cast<CKXAdoRecord*>(created.get())->connection, &other);
}

TEST(CKXAdoRecord, AppendBytesChecksTheBlock)
{
    ByteBuffer b;
    const char first[] = "abc";
    ASSERT_TRUE(CKXAdoRecord::AppendBytes(&b, 3, first));
    ASSERT_TRUE(CKXAdoRecord::AppendBytes(&b, 2, "de"));
    ASSERT_EQ(b.size, 5u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data), 5), "abcde");
    BYTE* before = b.data;
    // A size that would wrap around is refused and the buffer stays as it was.
    EXPECT_FALSE(CKXAdoRecord::AppendBytes(&b, 0xFFFFFFFFu - 2, first));
    EXPECT_EQ(b.size, 5u);
    EXPECT_EQ(b.data, before);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(b.data), 5), "abcde");
    FreeBuffer(b);
}
