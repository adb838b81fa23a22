#include "framework/CKXAdoConnection.h"

#include "platform/base/clock.h"
#include "platform/base/debug.h"

namespace {
// What the failure of a database call says when the driver gave no further text.
const wchar_t kUnspecifiedError[] = L"Unspecified error";
}  // namespace

CKXAdoConnection::CKXAdoConnection() { dbmsKind = kDbmsAdo; }

CKXAdoConnection::~CKXAdoConnection()
{
    if (connection)
        Close(0);
}

CString CKXAdoConnection::GetErrorText() const
{
    if (!connection)
        return CString();
    const auto& errors = connection->Errors();
    if (errors.size() == 1)
        return errors[0];
    CString text;
    for (const auto& e : errors)
        text += e + L"\n\n";
    return text;
}

void CKXAdoConnection::ReportError(const CString& text, int tag)
{
    if (log)
        log->Log(text, 1, tag);
    OutputDebugStringW(text);
    OutputDebugStringW(kUnspecifiedError);
}

BOOL CKXAdoConnection::Open(int tag)
{
    connection = std::make_unique<quiva::db::Connection>();
    if (!connection->Open(connectionString)) {
        ReportError(GetErrorText(), tag);
        return FALSE;
    }
    if (log) {
        CString message;
        message.Format(L"(%s)데이터베이스에 연결되었습니다.", server.GetString());
        log->Log(message, 3, tag);
    }
    return TRUE;
}

BOOL CKXAdoConnection::BeginTrans()
{
    if (!connection || (!IsOpen() && !Reconnect(0)))
        return FALSE;
    if (connection->BeginTransaction())
        return TRUE;
    ReportError(GetErrorText(), 0);
    return FALSE;
}

BOOL CKXAdoConnection::CommitTrans()
{
    if (connection && connection->EndTransaction(true))
        return TRUE;
    if (connection)
        ReportError(GetErrorText(), 0);
    return FALSE;
}

BOOL CKXAdoConnection::RollbackTrans()
{
    return connection && connection->EndTransaction(false) ? TRUE : FALSE;
}

BOOL CKXAdoConnection::Reconnect(int tag)
{
    if (connectionString.IsEmpty())
        return FALSE;
    // A new session would lose the open transaction's statements without a word.
    if (connection && connection->InTransaction())
        return FALSE;
    // Only an open connection is closed; after a failed Open there is nothing to close.
    if (connection && connection->IsOpen())
        connection->Close();
    if (!connection)
        connection = std::make_unique<quiva::db::Connection>();
    for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
        if (connection->Open(connectionString))
            return TRUE;
        Sleep(kReconnectPauseMs);
    }
    const wchar_t* message = L"재접속에 실패했습니다.";
    if (log)
        log->Log(message, 1, tag);
    OutputDebugStringW(message);
    return FALSE;
}

BOOL CKXAdoConnection::Close(int)
{
    if (connection)
        connection->Close();
    connection.reset();
    return TRUE;
}

BOOL CKXAdoConnection::IsOpen() { return connection && connection->IsOpen() ? TRUE : FALSE; }

BOOL CKXAdoConnection::Execute(CString sql, int tag, BOOL logErrors)
{
    if (!connection)
        return FALSE;
    if (!IsOpen() && !Reconnect(tag))
        return FALSE;
    if (connection->Execute(sql))
        return TRUE;
    CString text = GetErrorText();
    if (log && logErrors) {
        log->Log(text, 1, tag);
        log->Log(sql, 4, tag);
    }
    OutputDebugStringW(text);
    OutputDebugStringW(kUnspecifiedError);
    OutputDebugStringW(sql);
    return FALSE;
}

CString CKXAdoConnection::EscapeLike(CString text, int* hasWildcard)
{
    int found = (text.Find(L'*') >= 0 || text.Find(L'?') >= 0) ? 1 : 0;
    if (found) {
        text.Replace(L'*', L'%');
        text.Replace(L'?', L'_');
    }
    if (hasWildcard)
        *hasWildcard = found;
    return text;
}

CString CKXAdoConnection::EscapeQuote(CString text)
{
    text.Replace(L"'", L"''");
    return text;
}

CString CKXAdoConnection::BuildWhere(CString field, CString value, BOOL allowWildcards)
{
    return BuildTerms(field, value, false, allowWildcards);
}

CString CKXAdoConnection::BuildWhereLike(CString field, CString value, BOOL contains)
{
    return BuildTerms(field, value, true, contains);
}

// The value is a list of alternatives joined by "|" (OR) or, without any "|", by "&" (AND).
CString CKXAdoConnection::BuildTerms(CString field, CString value, bool like, BOOL flag)
{
    if (value.IsEmpty())
        return CString();
    const wchar_t* separator = value.Find(L'|') >= 0 ? L"|" : L"&";
    const wchar_t* word = separator[0] == L'|' ? L"OR" : L"AND";
    CString text;
    int terms = 0;
    int position = 0;
    for (;;) {
        CString token = value.Tokenize(separator, position);
        if (token.IsEmpty())
            break;
        const wchar_t* pattern;
        if (like) {
            int wildcard = 0;
            token = EscapeLike(token, &wildcard);
            pattern = wildcard ? L"(%s LIKE '%s')" : (flag ? L"(%s LIKE '%%%s%%')" : L"(%s LIKE '%s%%')");
        } else if (flag) {
            int wildcard = 0;
            token = EscapeLike(token, &wildcard);
            pattern = wildcard ? L"(%s LIKE '%s')" : L"(%s = '%s')";
        } else {
            pattern = L"(%s = '%s')";
        }
        CString term;
        term.Format(pattern, field.GetString(), EscapeQuote(token).GetString());
        text = terms == 0 ? term : text + L" " + word + L" " + term;
        ++terms;
    }
    return terms > 1 ? L"(" + text + L")" : text;
}
