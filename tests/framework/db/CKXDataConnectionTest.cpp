#include <gtest/gtest.h>

#include "framework/CKXAdoConnection.h"

namespace {

// A connection of some other kind that only knows how to escape quotes.
class QuotingConnection : public CKXDataConnection {
public:
    CString EscapeQuote(CString text) override
    {
        text.Replace(L"'", L"''");
        return text;
    }
};

}  // namespace

TEST(CKXDataConnection, ConnectKeepsTheAccountWhenNoneIsGiven)
{
    CKXDataConnection c;
    c.Connect(L"x", L"y", L"u", L"p", L"z");
    c.Connect(L"a", L"b", L"", L"", L"e");
    EXPECT_EQ(c.server, L"a");
    EXPECT_EQ(c.port, L"b");
    EXPECT_EQ(c.user, L"u");
    EXPECT_EQ(c.password, L"p");
    EXPECT_EQ(c.extra, L"e");
    EXPECT_EQ(c.dbmsKind, 0);
    EXPECT_EQ(CKXAdoConnection().dbmsKind, 1);
}

TEST(CKXDataConnection, BaseAnswersTheEmptyDefaults)
{
    CKXDataConnection c;
    int flag = 7;
    EXPECT_EQ(c.EscapeLike(L"A*", &flag), L"A*");
    EXPECT_EQ(flag, 0);
    EXPECT_FALSE(c.Open(0));
    EXPECT_FALSE(c.IsOpen());
    EXPECT_FALSE(c.Execute(L"SELECT 1", 0, TRUE));
    EXPECT_EQ(c.Clone(), nullptr);
    EXPECT_EQ(c.FilterText(L"x'"), L"x'");
    EXPECT_EQ(c.EmptyText(L"x"), L"");
    EXPECT_EQ(c.BuildWhere(L"F", L"A|B", TRUE), L"(F = 'A|B')");
}

TEST(CKXDataConnection, BaseLikeBuilderEscapesQuotesLikeTheOthers)
{
    QuotingConnection c;
    EXPECT_EQ(c.BuildWhereLike(L"F", L"O'NEIL", TRUE), L"(F LIKE '%O''NEIL%')");
    EXPECT_EQ(c.BuildWhereLike(L"F", L"O'NEIL", FALSE), L"(F LIKE 'O''NEIL%')");
    EXPECT_EQ(c.BuildWhere(L"F", L"O'NEIL", FALSE), L"(F = 'O''NEIL')");
    EXPECT_EQ(c.BuildRange(L"D", L"A'", L"B'", TRUE, TRUE), L"((D >= 'A''') AND (D <= 'B'''))");
}

TEST(CKXAdoConnection, EscapingRules)
{
    CKXAdoConnection c;
    int flag = 9;
    EXPECT_EQ(c.EscapeLike(L"50%", &flag), L"50%");
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(c.EscapeLike(L"A*B?", &flag), L"A%B_");
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(c.EscapeQuote(L"O'NEIL''"), L"O''NEIL''''");
}

TEST(CKXAdoConnection, BuildWhereSplitsAlternatives)
{
    CKXAdoConnection c;
    EXPECT_EQ(c.BuildWhere(L"F", L"", FALSE), L"");
    EXPECT_EQ(c.BuildWhere(L"F", L"O'NEIL", FALSE), L"(F = 'O''NEIL')");
    EXPECT_EQ(c.BuildWhere(L"F", L"A&B", FALSE), L"((F = 'A') AND (F = 'B'))");
    EXPECT_EQ(c.BuildWhere(L"F", L"A|B&C", FALSE), L"((F = 'A') OR (F = 'B&C'))");
    EXPECT_EQ(c.BuildWhere(L"F", L"|A||", FALSE), L"(F = 'A')");
    EXPECT_EQ(c.BuildWhere(L"NAME", L"KIM*|LEE", TRUE), L"((NAME LIKE 'KIM%') OR (NAME = 'LEE'))");
    EXPECT_EQ(c.BuildWhere(L"NAME", L"KIM*|LEE", FALSE), L"((NAME = 'KIM*') OR (NAME = 'LEE'))");
    EXPECT_EQ(c.BuildWhere(L"F", L"O'*|B'C", TRUE), L"((F LIKE 'O''%') OR (F = 'B''C'))");
}

TEST(CKXAdoConnection, BuildWhereLikeAndRange)
{
    CKXAdoConnection c;
    EXPECT_EQ(c.BuildWhereLike(L"F", L"KIM", TRUE), L"(F LIKE '%KIM%')");
    EXPECT_EQ(c.BuildWhereLike(L"F", L"KIM", FALSE), L"(F LIKE 'KIM%')");
    EXPECT_EQ(c.BuildWhereLike(L"F", L"K?M", TRUE), L"(F LIKE 'K_M')");
    EXPECT_EQ(c.BuildWhereLike(L"F", L"K?M", FALSE), L"(F LIKE 'K_M')");
    EXPECT_EQ(c.BuildWhereLike(L"F", L"O'N|A", TRUE), L"((F LIKE '%O''N%') OR (F LIKE '%A%'))");
    EXPECT_EQ(c.BuildRange(L"D", L"A", L"", TRUE, TRUE), L"(D >= 'A')");
    EXPECT_EQ(c.BuildRange(L"D", L"", L"B", FALSE, FALSE), L"(D < 'B')");
    EXPECT_EQ(c.BuildRange(L"D", L"A", L"B", FALSE, FALSE), L"((D > 'A') AND (D < 'B'))");
    EXPECT_EQ(c.BuildRange(L"D", L"", L"", TRUE, TRUE), L"");
    EXPECT_EQ(c.BuildRange(L"D", L"O'", L"", TRUE, TRUE), L"(D >= 'O''')");
}

TEST(CKXAdoConnection, JoinAndConsumesTheSecond)
{
    CKXAdoConnection c;
    CString second = L"B";
    EXPECT_EQ(c.JoinAnd(L"A", second), L"A AND B");
    EXPECT_TRUE(second.IsEmpty());
    EXPECT_EQ(c.JoinAnd(L"A", second), L"A");
    second = L"B";
    EXPECT_EQ(c.JoinAnd(L"", second), L"B");
    EXPECT_TRUE(second.IsEmpty());
}
