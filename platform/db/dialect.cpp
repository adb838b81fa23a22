// SQL text rewriting for the SQLite driver: statement splitting and the identity read-back.
#include "platform/db/db.h"

namespace quiva::db {

namespace {

// For every character: whether it is SQL code (not inside a quoted text, a quoted name or a
// comment).
std::vector<bool> CodeMask(std::wstring_view sql)
{
    std::vector<bool> code(sql.size(), true);
    enum { Code, Quote, Name, LineComment, BlockComment } state = Code;
    for (size_t i = 0; i < sql.size(); ++i) {
        wchar_t c = sql[i];
        wchar_t next = i + 1 < sql.size() ? sql[i + 1] : L'\0';
        switch (state) {
        case Code:
            if (c == L'\'') {
                state = Quote;
                code[i] = false;
            } else if (c == L'"') {
                state = Name;
                code[i] = false;
            } else if (c == L'-' && next == L'-') {
                state = LineComment;
                code[i] = false;
            } else if (c == L'/' && next == L'*') {
                state = BlockComment;
                code[i] = code[i + 1] = false;
                ++i;
            }
            break;
        case Quote:  // a doubled quote leaves and re-enters the text, which marks it the same
            code[i] = false;
            if (c == L'\'')
                state = Code;
            break;
        case Name:
            code[i] = false;
            if (c == L'"')
                state = Code;
            break;
        case LineComment:
            code[i] = false;
            if (c == L'\n')
                state = Code;
            break;
        case BlockComment:
            code[i] = false;
            if (c == L'*' && next == L'/') {
                code[i + 1] = false;
                ++i;
                state = Code;
            }
            break;
        }
    }
    return code;
}

bool IsWordChar(wchar_t c) { return iswalnum(c) || c == L'_' || c == L'@' || c == L'$'; }

// First occurrence of `word` (ASCII case ignored) in code, standing as a word of its own.
size_t FindWord(std::wstring_view sql, const std::vector<bool>& code, std::wstring_view word, size_t from = 0)
{
    if (word.empty() || sql.size() < word.size())
        return std::wstring_view::npos;
    for (size_t i = from; i + word.size() <= sql.size(); ++i) {
        if (!code[i] || !EqualsNoCase(sql.substr(i, word.size()), word))
            continue;
        bool startOk = i == 0 || !IsWordChar(sql[i - 1]);
        bool endOk = i + word.size() == sql.size() || !IsWordChar(sql[i + word.size()]);
        if (startOk && endOk)
            return i;
    }
    return std::wstring_view::npos;
}

std::wstring Trimmed(std::wstring_view s)
{
    size_t b = 0, e = s.size();
    while (b < e && iswspace(s[b]))
        ++b;
    while (e > b && iswspace(s[e - 1]))
        --e;
    return std::wstring(s.substr(b, e - b));
}

// The table name after INSERT INTO (as written, quotes kept), or "".
std::wstring InsertTable(std::wstring_view sql, const std::vector<bool>& code)
{
    size_t into = FindWord(sql, code, L"INTO");
    if (into == std::wstring_view::npos)
        return std::wstring();
    size_t i = into + 4;
    while (i < sql.size() && iswspace(sql[i]))
        ++i;
    size_t start = i;
    if (i < sql.size() && sql[i] == L'"') {
        size_t close = sql.find(L'"', i + 1);
        return close == std::wstring_view::npos ? std::wstring() : std::wstring(sql.substr(start, close + 1 - start));
    }
    while (i < sql.size() && (IsWordChar(sql[i]) || sql[i] == L'.'))
        ++i;
    return std::wstring(sql.substr(start, i - start));
}

}  // namespace

std::vector<std::wstring> SplitStatements(std::wstring_view sql)
{
    std::vector<std::wstring> out;
    std::vector<bool> code = CodeMask(sql);
    size_t start = 0;
    for (size_t i = 0; i <= sql.size(); ++i) {
        if (i == sql.size() || (sql[i] == L';' && code[i])) {
            std::wstring statement = Trimmed(sql.substr(start, i - start));
            if (!statement.empty())
                out.push_back(std::move(statement));
            start = i + 1;
        }
    }
    return out;
}

std::vector<std::wstring> RewriteForSQLite(const std::wstring& statement)
{
    std::wstring sql = statement;
    // @@identity: the key of the row this connection inserted last.
    for (;;) {
        std::vector<bool> code = CodeMask(sql);
        size_t at = FindWord(sql, code, L"@@identity");
        if (at == std::wstring::npos)
            break;
        sql.replace(at, 10, L"last_insert_rowid()");
    }
    // INSERT ... RETURNING list: the driver gives no rows for it, so the list is selected from the
    // new row afterwards.
    std::vector<bool> code = CodeMask(sql);
    size_t first = 0;
    while (first < sql.size() && iswspace(sql[first]))
        ++first;
    if (FindWord(sql, code, L"INSERT") == first) {
        size_t returning = FindWord(sql, code, L"RETURNING");
        std::wstring table = InsertTable(sql, code);
        if (returning != std::wstring::npos && !table.empty()) {
            std::wstring insert = Trimmed(std::wstring_view(sql).substr(0, returning));
            std::wstring list = Trimmed(std::wstring_view(sql).substr(returning + 9));
            return {insert, L"SELECT " + list + L" FROM " + table + L" WHERE rowid = last_insert_rowid()"};
        }
    }
    return {sql};
}

}  // namespace quiva::db
