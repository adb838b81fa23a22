#include "framework/CKXDataConnection.h"

BOOL CKXDataConnection::Open(int) { return FALSE; }
BOOL CKXDataConnection::Reconnect(int) { return FALSE; }
BOOL CKXDataConnection::Close(int) { return FALSE; }
BOOL CKXDataConnection::IsOpen() { return FALSE; }
BOOL CKXDataConnection::Execute(CString, int, BOOL) { return FALSE; }

void CKXDataConnection::Connect(CString server_, CString port_, CString user_, CString password_, CString extra_)
{
    server = server_;
    port = port_;
    extra = extra_;
    if (!user_.IsEmpty())
        user = user_;
    if (!password_.IsEmpty())
        password = password_;
}

CString CKXDataConnection::EscapeLike(CString text, int* hasWildcard)
{
    if (hasWildcard)
        *hasWildcard = 0;
    return text;
}

CString CKXDataConnection::EscapeQuote(CString text) { return text; }

CString CKXDataConnection::BuildWhere(CString field, CString value, BOOL)
{
    CString out;
    out.Format(L"(%s = '%s')", field.GetString(), EscapeQuote(value).GetString());
    return out;
}

CString CKXDataConnection::BuildWhereLike(CString field, CString value, BOOL contains)
{
    // The value goes through EscapeQuote like in every other builder: a quote in it must not end
    // the literal.
    CString out;
    out.Format(contains ? L"(%s LIKE '%%%s%%')" : L"(%s LIKE '%s%%')", field.GetString(),
               EscapeQuote(value).GetString());
    return out;
}

CString CKXDataConnection::BuildRange(CString field, CString from, CString to, BOOL fromInclusive, BOOL toInclusive)
{
    if (from.IsEmpty() && to.IsEmpty())
        return CString();
    CString lower, upper;
    if (!from.IsEmpty())
        lower.Format(fromInclusive ? L"(%s >= '%s')" : L"(%s > '%s')", field.GetString(), EscapeQuote(from).GetString());
    if (!to.IsEmpty())
        upper.Format(toInclusive ? L"(%s <= '%s')" : L"(%s < '%s')", field.GetString(), EscapeQuote(to).GetString());
    if (!lower.IsEmpty() && !upper.IsEmpty())
        return L"(" + lower + L" AND " + upper + L")";
    return lower.IsEmpty() ? upper : lower;
}

CString CKXDataConnection::FilterText(CString text) { return text; }

CString CKXDataConnection::JoinAnd(CString first, CString& second)
{
    if (second.IsEmpty())
        return first;
    CString out = first.IsEmpty() ? second : first + L" AND " + second;
    second.Empty();
    return out;
}

CKXDataConnection* CKXDataConnection::Clone() { return nullptr; }

CString CKXDataConnection::EmptyText(CString) { return CString(); }
