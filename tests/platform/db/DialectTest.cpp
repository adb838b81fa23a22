#include <gtest/gtest.h>

#include "platform/db/db.h"

using quiva::db::RewriteForSQLite;
using quiva::db::SplitStatements;

TEST(SqlDialect, SplitsOnlyOutsideQuotesAndComments)
{
    auto parts = SplitStatements(L"INSERT INTO T VALUES ('a;b', 'it''s; fine');SELECT \"x;y\" FROM T; -- c;d\n"
                                 L"/* e;f */ UPDATE T SET A = 1;;  ");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0], L"INSERT INTO T VALUES ('a;b', 'it''s; fine')");
    EXPECT_EQ(parts[1], L"SELECT \"x;y\" FROM T");
    EXPECT_EQ(parts[2], L"-- c;d\n/* e;f */ UPDATE T SET A = 1");
    EXPECT_TRUE(SplitStatements(L" ; ;").empty());
}

TEST(SqlDialect, IdentityBecomesLastInsertRowidOutsideText)
{
    auto out = RewriteForSQLite(L"SELECT @@identity AS IMAGENUMBER, '@@identity' AS T, @@IDENTITY2 AS U");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], L"SELECT last_insert_rowid() AS IMAGENUMBER, '@@identity' AS T, @@IDENTITY2 AS U");
    EXPECT_EQ(RewriteForSQLite(L"SELECT @@Identity")[0], L"SELECT last_insert_rowid()");
}

TEST(SqlDialect, InsertReturningBecomesInsertAndSelectOfTheNewRow)
{
    auto out = RewriteForSQLite(L"INSERT INTO MIMG (CNO,IMGNAME) VALUES ('a RETURNING b', '1') RETURNING IMGNO AS IMAGENUMBER");
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], L"INSERT INTO MIMG (CNO,IMGNAME) VALUES ('a RETURNING b', '1')");
    EXPECT_EQ(out[1], L"SELECT IMGNO AS IMAGENUMBER FROM MIMG WHERE rowid = last_insert_rowid()");
    // Without RETURNING, or in another statement kind, nothing changes.
    EXPECT_EQ(RewriteForSQLite(L"INSERT INTO T VALUES (1)").size(), 1u);
    EXPECT_EQ(RewriteForSQLite(L"SELECT RETURNING FROM T").size(), 1u);
}
