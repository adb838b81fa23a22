#include "framework/CKXXmlDocument.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"

namespace {

bool NeedsCData(const CString& value)
{
    for (const wchar_t c : value.str())
        if (c == L'<' || c == L'>' || c == L'\'' || c == L'"' || c == L'&')
            return true;
    return false;
}

// Text made only of blanks is dropped by the parser unless it is a CDATA section.
bool IsBlank(const CString& value)
{
    for (int i = 0; i < value.GetLength(); ++i)
        if (value[i] != L' ' && value[i] != L'\t' && value[i] != L'\n' && value[i] != L'\r')
            return false;
    return true;
}

// What a text is made of, as far as SetValueOf minds: whether it holds no control character and
// no markup (`clean`), and whether it is blanks only, or nothing (`blank`).
struct TextMakeup {
    bool clean = true, blank = true;
};

TextMakeup MakeupOf(std::wstring_view text)
{
    TextMakeup makeup;
    for (const wchar_t c : text) {
        makeup.clean = makeup.clean && !(c < L' ' || c == L'<' || c == L'>' || c == L'\'' || c == L'"' || c == L'&');
        makeup.blank = makeup.blank && c == L' ';
    }
    return makeup;
}

// Whether a text of this makeup is one SetValueOf keeps as one text node as it is: no control
// character, no markup, not blank (an empty value is a text node of nothing).
bool IsPlainText(TextMakeup makeup, bool empty) { return makeup.clean && (!makeup.blank || empty); }

TiXmlElement* NextElement(TiXmlNode* node)
{
    for (TiXmlNode* n = node ? node->NextSibling() : nullptr; n; n = n->NextSibling())
        if (TiXmlElement* e = n->ToElement())
            return e;
    return nullptr;
}

bool PathTooLong(const wchar_t* path) { return quiva::WideToMultiByte(path, CP_KOREAN).size() > CKXXmlDocument::kMaxPathBytes; }

bool StartsWith(const std::string& text, size_t at, const char* what)
{
    return text.compare(at, std::char_traits<char>::length(what), what) == 0;
}

bool NameStart(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x7F; }
bool NameChar(unsigned char c) { return NameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':'; }

// An element or attribute name as the parser reads one back.
bool IsXmlName(const std::string& name)
{
    if (name.empty() || !NameStart(static_cast<unsigned char>(name[0])))
        return false;
    for (char c : name)
        if (!NameChar(static_cast<unsigned char>(c)))
            return false;
    return true;
}

// Line ends become LF, as the library does for files it opens itself, and NUL bytes go: so no
// value in the tree holds a raw carriage return that a save and load would turn into a LF.
std::string NormalizedText(const std::string& bytes)
{
    std::string text;
    text.reserve(bytes.size());
    // The bytes between two carriage returns or NULs are copied at once.
    size_t nextReturn = std::min(bytes.find('\r'), bytes.size());
    size_t nextNul = std::min(bytes.find('\0'), bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        if (nextReturn < i)
            nextReturn = std::min(bytes.find('\r', i), bytes.size());
        if (nextNul < i)
            nextNul = std::min(bytes.find('\0', i), bytes.size());
        const size_t at = std::min(nextReturn, nextNul);
        text.append(bytes, i, at - i);
        if (at < bytes.size() && bytes[at] == '\r')
            text += '\n';
        i = at + (at + 1 < bytes.size() && bytes[at] == '\r' && bytes[at + 1] == '\n' ? 2 : 1);
    }
    return text;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// Reads a start tag's attributes from just past its name to its '>', the way the parser reads
// them; drops (through `drop`, with the attribute's span) one whose name came before in the tag,
// which the parser would refuse the whole text for, and each past `attributeLimit`, which the
// parser would check against every one before it (minutes for a tag of many thousands). Whether
// the tag is empty ("/>"); *kept counts the attributes kept.
template <typename Drop>
bool ShapeAttributes(const std::string& text, size_t& i, int attributeLimit, Drop drop, size_t* kept)
{
    const size_t n = text.size();
    std::vector<std::string_view> names;
    bool empty = false;
    while (i < n && text[i] != '>') {
        if (IsBlank(text[i]) || text[i] == '/') {
            empty = text[i] == '/' && i + 1 < n && text[i + 1] == '>';
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < n && !IsBlank(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/')
            ++i;
        const std::string_view name(text.data() + start, i - start);
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i >= n || text[i] != '=') {
            i += i == start && i < n && text[i] != '>';  // what the parser will refuse, passed over
            continue;
        }
        ++i;
        while (i < n && IsBlank(text[i]))
            ++i;
        if (i < n && (text[i] == '"' || text[i] == '\'')) {
            const size_t close = text.find(text[i], i + 1);
            i = close == std::string::npos ? n : close + 1;
        } else {
            while (i < n && !IsBlank(text[i]) && text[i] != '>')
                ++i;
        }
        const bool repeated = std::find(names.begin(), names.end(), name) != names.end();
        if (repeated || static_cast<int>(names.size()) >= attributeLimit)
            drop(start, i, name, repeated);
        else
            names.push_back(name);
    }
    *kept += names.size();
    return empty;
}

// Reads the text the way the parser will (comments, CDATA sections, declarations and other markup
// skipped as it skips them; quoted attribute values cannot close a tag) and leaves out of it the
// attributes ShapeAttributes drops, saying which in `dropped`. Why the text is refused (the text
// as it was) when elements nest deeper than `depthLimit` or the tree would hold more than
// `nodeLimit` nodes: elements, attributes kept, texts that are not blank, comments and other
// markup, each one the parser makes; empty when it is not.
std::wstring ShapeText(std::string& text, int depthLimit, int attributeLimit, size_t nodeLimit, std::string* dropped)
{
    int depth = 0;
    size_t nodes = 0;
    size_t i = 0;
    const size_t n = text.size();
    std::string out;
    size_t copied = 0;
    int repeats = 0, beyond = 0;
    auto drop = [&](size_t from, size_t to, std::string_view name, bool repeated) {
        out.append(text, copied, from - copied);
        copied = to;
        if ((repeated ? repeats++ : beyond++) == 0)
            *dropped += std::string(dropped->empty() ? "" : "; ") +
                        (repeated ? "the attribute \"" + std::string(name) + "\" repeated in a tag (the first kept)"
                                  : "attributes past " + std::to_string(attributeLimit) + " in one tag");
    };
    auto skipTo = [&](const char* end) {
        const size_t at = text.find(end, i);
        i = at == std::string::npos ? n : at + std::char_traits<char>::length(end);
    };
    while (i < n && depth <= depthLimit && nodes <= nodeLimit) {
        const size_t textStart = i;
        i = std::min(text.find('<', i), n);
        nodes += std::any_of(text.begin() + textStart, text.begin() + i, [](char c) { return !IsBlank(c); });
        if (i == n)
            break;
        // The markup at i, unless it is an end tag.
        nodes += i + 1 == n || text[i + 1] != '/';
        if (StartsWith(text, i, "<!--")) {
            i += 4;
            skipTo("-->");
        } else if (StartsWith(text, i, "<![CDATA[")) {
            i += 9;
            skipTo("]]>");
        } else if (i + 1 < n && text[i + 1] == '/') {
            depth = depth > 0 ? depth - 1 : 0;
            i += 2;
            skipTo(">");
        } else if (i + 1 < n && NameStart(static_cast<unsigned char>(text[i + 1]))) {
            ++i;
            while (i < n && !IsBlank(text[i]) && text[i] != '>' && text[i] != '/')
                ++i;
            const bool empty = ShapeAttributes(text, i, attributeLimit, drop, &nodes);
            ++i;
            if (!empty)
                ++depth;
        } else {
            ++i;
            skipTo(">");
        }
    }
    if (depth > depthLimit)
        return L"elements nested deeper than " + std::to_wstring(depthLimit);
    if (nodes > nodeLimit)
        return L"more than " + std::to_wstring(nodeLimit) + L" elements, attributes and texts";
    if (copied > 0) {
        out.append(text, copied, std::string::npos);
        text = std::move(out);
    }
    return std::wstring();
}

// The encoding named by the text's declaration, or "" when there is none.
std::string DeclaredEncoding(const std::string& text)
{
    size_t start = text.find_first_not_of(" \t\n\r");
    if (start == std::string::npos || !StartsWith(text, start, "<?xml"))
        return std::string();
    const size_t end = text.find("?>", start);
    const std::string decl = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const size_t at = decl.find("encoding");
    if (at == std::string::npos)
        return std::string();
    size_t q = decl.find_first_of("\"'", at);
    if (q == std::string::npos)
        return std::string();
    const size_t close = decl.find(decl[q], q + 1);
    return close == std::string::npos ? std::string() : decl.substr(q + 1, close - q - 1);
}

// Turns the bytes of a UTF-16 text that starts with its byte order mark (little- or big-endian)
// into the same text in UTF-8, its declaration naming UTF-8; false, the bytes untouched, for any
// other text.
bool FromUtf16(std::string& bytes)
{
    const std::optional<std::wstring> wide = quiva::Utf16WithMarkToWide(bytes);
    if (!wide)
        return false;
    std::string text = quiva::WideToUtf8(*wide);
    const std::string named = DeclaredEncoding(text);
    if (!named.empty()) {
        const size_t at = text.find(named, text.find("encoding"));
        text.replace(at, named.size(), "UTF-8");
    }
    bytes = std::move(text);
    return true;
}

bool SameName(const std::string& a, const char* b) { return CString(quiva::Utf8ToWide(a)).CompareNoCase(quiva::Utf8ToWide(b).c_str()) == 0; }

bool IsUtf8Name(const std::string& name) { return SameName(name, "UTF-8") || SameName(name, "UTF8"); }

bool IsKoreanName(const std::string& name)
{
    for (const char* known : {"euc-kr", "cp949", "ks_c_5601-1987", "windows-949", "x-windows-949", "uhc"})
        if (SameName(name, known))
            return true;
    return false;
}

bool IsUtf8(const std::string& text)
{
    return text.empty() ||
           MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0) > 0;
}

// The code page the bytes are in: UTF-8 only where the text declares UTF-8, or declares
// nothing, and is valid UTF-8 with something beyond ASCII; code page 949 otherwise, which is
// also what earlier saves wrote under a UTF-8 declaration.
UINT CodePageOf(const std::string& text)
{
    const std::string declared = DeclaredEncoding(text);
    if (!declared.empty() && !IsUtf8Name(declared))
        return CP_KOREAN;
    const bool ascii = std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!declared.empty())
        return IsUtf8(text) ? CP_UTF8 : CP_KOREAN;
    return !ascii && IsUtf8(text) ? CP_UTF8 : CP_KOREAN;
}

constexpr bool IsMarkup(unsigned char c) { return c < 32 || c == '&' || c == '<' || c == '>' || c == '"' || c == '\''; }

#if defined(__SSE2__) && WCHAR_MAX > 0xFFFF
// Four wide characters (`groups` 1, repeated) or sixteen (`groups` 4) packed to bytes: exact for
// ASCII; anything beyond saturates to 0 or to 255, never to a byte written as it is.
inline __m128i PackedBytes(const wchar_t* from, int groups)
{
    const auto* p = reinterpret_cast<const __m128i*>(from);
    if (groups == 1) {
        const __m128i words = _mm_packs_epi32(_mm_loadu_si128(p), _mm_loadu_si128(p));
        return _mm_packus_epi16(words, words);
    }
    return _mm_packus_epi16(_mm_packs_epi32(_mm_loadu_si128(p), _mm_loadu_si128(p + 1)),
                            _mm_packs_epi32(_mm_loadu_si128(p + 2), _mm_loadu_si128(p + 3)));
}

// Each byte that is not written as it is (beyond ASCII, or IsMarkup) set: signed, the bytes
// 128-255 are below 32.
inline __m128i NotAsItIsBytes(__m128i bytes)
{
    __m128i bad = _mm_cmplt_epi8(bytes, _mm_set1_epi8(32));
    for (const char markup : {'&', '<', '>', '"', '\''})
        bad = _mm_or_si128(bad, _mm_cmpeq_epi8(bytes, _mm_set1_epi8(markup)));
    return bad;
}
#endif

// `length` characters narrowed to bytes in `to`; whether every one of them is ASCII written as it
// is (not IsMarkup). The bytes of the characters that are not are left unspecified. The rows of
// thousands of stills go through here, their values mostly a few characters long: where the
// processor can, sixteen are taken at a time, then four, and only a value shorter than four one
// by one.
bool NarrowAsItIs(const wchar_t* __restrict from, size_t length, char* __restrict to)
{
    size_t i = 0;
    uint32_t other = 0;
#if defined(__SSE2__) && WCHAR_MAX > 0xFFFF
    __m128i bad = _mm_setzero_si128();
    for (; i + 16 <= length; i += 16) {
        const __m128i bytes = PackedBytes(from + i, 4);
        bad = _mm_or_si128(bad, NotAsItIsBytes(bytes));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(to + i), bytes);
    }
    auto four = [&](size_t at) {
        const __m128i bytes = PackedBytes(from + at, 1);
        bad = _mm_or_si128(bad, NotAsItIsBytes(bytes));
        const int narrowed = _mm_cvtsi128_si32(bytes);
        std::memcpy(to + at, &narrowed, 4);
    };
    for (; i + 4 <= length; i += 4)
        four(i);
    // The last few with the ones before them, again: a value's last characters are not worth a
    // loop of their own.
    if (i < length && length >= 4) {
        four(length - 4);
        i = length;
    }
    other = static_cast<uint32_t>(_mm_movemask_epi8(bad));
#endif
    for (; i < length; ++i) {
        const auto c = static_cast<uint32_t>(from[i]);
        other |= (c - 32u >= 96u ? 1u : 0u) | (c == '&' ? 1u : 0u) | (c == '<' ? 1u : 0u) | (c == '>' ? 1u : 0u) |
                 (c == '"' ? 1u : 0u) | (c == '\'' ? 1u : 0u);
        to[i] = static_cast<char>(c);
    }
    return !other;
}

// Writes a tree as the parser reads it back. Laid out like the library's own printer (four
// spaces a level, one node a line), except that an element holding text is written on one line
// as it stands: indenting there would add blanks to its value.
class Printer : public TiXmlVisitor {
public:
    explicit Printer(UINT codePage) : m_codePage(codePage) {}

    // Rows printed as the last children of `parent` (see CKXXmlDocument::SaveWithList): when the
    // printer leaves it, `rows` prints each through this printer. `any`: there is at least one.
    void ListAt(const TiXmlElement* parent, bool any, std::function<void(Printer&)> rows)
    {
        m_listParent = parent;
        m_listAny = any;
        m_listRows = std::move(rows);
    }

    // The parts every row of a list prints alike: "<name", each attribute's ` name="` (empty for
    // an attribute whose name is no XML name, which is left out) and "</name>".
    struct RowParts {
        RowParts(const std::string& name, const std::vector<std::string>& names, const std::vector<bool>& isName)
            : open("<" + name), close("</" + name + ">")
        {
            for (size_t i = 0; i < names.size(); ++i)
                attributes.push_back(isName[i] ? " " + names[i] + "=\"" : std::string());
        }
        std::string open, close;
        std::vector<std::string> attributes;
    };

    // An element of a list holding plain text (IsPlainText), as VisitEnter, Visit and VisitExit
    // print it, from the values of its first `count` attributes and its text, in two pieces, each
    // as the tree spells it and escaped (AppendEscaped); laid out at the end of the print at once.
    void TextRow(const RowParts& parts, const std::string* const* values, size_t count, const std::string& text,
                 const std::string& textEnd)
    {
        const size_t indent = m_inline ? 0 : 4 * static_cast<size_t>(m_depth);
        size_t bytes = indent + parts.open.size() + 1 + text.size() + textEnd.size() + parts.close.size() + (m_inline ? 0 : 1);
        for (size_t i = 0; i < count; ++i)
            if (!parts.attributes[i].empty())
                bytes += parts.attributes[i].size() + values[i]->size() + 1;
        const size_t start = m_out.size();
        m_out.resize(start + bytes);
        char* to = std::fill_n(m_out.data() + start, indent, ' ');
        to = Put(to, parts.open);
        for (size_t i = 0; i < count; ++i)
            if (!parts.attributes[i].empty()) {
                to = Put(Put(to, parts.attributes[i]), *values[i]);
                *to++ = '"';
            }
        *to++ = '>';
        to = Put(Put(Put(to, text), textEnd), parts.close);
        if (!m_inline)
            *to = '\n';
    }

    // A markup or control character as its reference, appended to `out`.
    static void AppendReference(std::string& out, unsigned char c)
    {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: {
            static const char hex[] = "0123456789ABCDEF";
            out += "&#x";
            out += hex[c >> 4];
            out += hex[c & 15];
            out += ';';
        }
        }
    }

    // Markup characters and control characters of `text` as references, everything else as it
    // is, appended to `out`.
    static void AppendEscaped(std::string& out, const std::string& text)
    {
        size_t plain = 0;  // the start of the characters written as they are, copied at once
        for (size_t i = 0; i < text.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(text[i]);
            if (!IsMarkup(c))
                continue;
            out.append(text, plain, i - plain);
            plain = i + 1;
            AppendReference(out, c);
        }
        out.append(text, plain, std::string::npos);
    }

    // The file the print goes to: Finish writes it. Rows may be written before (Spill).
    void WriteTo(quiva::AtomicFileWriter* file) { m_file = file; }
    size_t Size() const { return m_out.size(); }
    // `count` rows to come, about `bytes` each: the memory for them set aside at once, or where
    // they are written out as they are printed (Spill), for a block of them.
    void ExpectRows(size_t count, size_t bytes)
    {
        // Result changes nothing of a document whose head declares the code page it is in, other
        // than UTF-8 (whose bytes it checks): its bytes may go to the file a block at a time.
        const std::string declared = DeclaredEncoding(m_out);
        m_spill = m_file && m_codePage == CP_KOREAN && !declared.empty() && !IsUtf8Name(declared);
        const size_t rows = count * bytes / 4 * 5;
        m_out.reserve(m_out.size() + (m_spill ? std::min(rows, kSpillBytes / 4 * 5) : rows));
    }
    // The rows printed so far written to the file once they make a block, where ExpectRows found
    // that they may be: a list of thousands is never held whole, nor its memory touched first.
    void Spill()
    {
        if (!m_spill || m_out.size() < kSpillBytes)
            return;
        m_file->Write(m_out);
        m_out.clear();
        m_spilled = true;
    }
    // Writes the rest of the print (all of it as Result gives it, when none was written before)
    // and commits the file; whether it was written.
    bool Finish()
    {
        const bool written = m_spilled ? m_file->Write(m_out) : m_file->Write(Result());
        return written && m_file->Commit();
    }

    bool VisitEnter(const TiXmlElement& element, const TiXmlAttribute* attribute) override
    {
        Indent();
        m_out += '<';
        m_out += element.Value();
        for (; attribute; attribute = attribute->Next()) {
            m_out += ' ';
            m_out += attribute->Name();
            m_out += "=\"";
            Escape(attribute->ValueStr());
            m_out += '"';
        }
        if (!HasChildren(element)) {
            m_out += " />";
            LineBreak();
        } else {
            m_out += '>';
            if (m_inline || HoldsText(element))
                ++m_inline;
            else
                LineBreak();
        }
        ++m_depth;
        return true;
    }

    bool VisitExit(const TiXmlElement& element) override
    {
        if (&element == m_listParent && m_listRows)
            m_listRows(*this);
        --m_depth;
        if (!HasChildren(element))
            return true;
        // Inside a line every element with children counted itself in; the one that began
        // the line is the last to count out, and ends the line.
        const bool wasInline = m_inline > 0;
        if (wasInline)
            --m_inline;
        else
            Indent();
        m_out += "</";
        m_out += element.Value();
        m_out += '>';
        LineBreak();
        return true;
    }

    bool Visit(const TiXmlText& text) override
    {
        Indent();
        if (text.CDATA()) {
            m_out += "<![CDATA[";
            m_out += text.ValueStr();
            m_out += "]]>";
        } else {
            Escape(text.ValueStr());
        }
        LineBreak();
        return true;
    }

    // Laid out as the library writes one, with its values escaped: a quote or a ">" read from
    // a reference would otherwise end the declaration early and lose the document behind it.
    bool Visit(const TiXmlDeclaration& declaration) override
    {
        Indent();
        m_out += "<?xml ";
        auto attribute = [this](const char* name, const std::string& value) {
            if (value.empty())
                return;
            m_out += name;
            m_out += "=\"";
            Escape(value);
            m_out += "\" ";
        };
        attribute("version", declaration.Version());
        attribute("encoding", EncodingFor(declaration.Encoding()));
        attribute("standalone", declaration.Standalone());
        m_out += "?>";
        LineBreak();
        return true;
    }

    bool Visit(const TiXmlComment& comment) override
    {
        Indent();
        m_out += "<!--";
        m_out += comment.Value();
        m_out += "-->";
        LineBreak();
        return true;
    }

    bool Visit(const TiXmlUnknown& unknown) override
    {
        Indent();
        m_out += '<';
        m_out += unknown.Value();
        m_out += '>';
        LineBreak();
        return true;
    }

    // The text as Load will read it, taken once: in UTF-8, bytes that are no UTF-8 are written as the
    // replacement character they read as; a declaration of the code page goes in front when
    // the text would otherwise be taken for the other one.
    std::string Result()
    {
        std::string out = std::move(m_out);
        if (m_codePage == CP_UTF8 && !IsUtf8(out))
            out = quiva::WideToUtf8(quiva::Utf8ToWide(out));
        if (CodePageOf(out) != m_codePage)
            out = std::string("<?xml version=\"1.0\" encoding=\"") + (m_codePage == CP_UTF8 ? "UTF-8" : "euc-kr") + "\" ?>\n" + out;
        return out;
    }

private:
    // `part` copied to `to`; where it ends. A row's parts are mostly a few bytes each, copied
    // in two overlapping moves rather than by a call.
    static char* Put(char* to, const std::string& part)
    {
        const size_t n = part.size();
        const char* from = part.data();
        if (n >= 8 && n <= 16) {
            std::memcpy(to, from, 8);
            std::memcpy(to + n - 8, from + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::memcpy(to, from, 4);
            std::memcpy(to + n - 4, from + n - 4, 4);
        } else if (n < 4) {
            for (size_t i = 0; i < n; ++i)
                to[i] = from[i];
        } else {
            std::memcpy(to, from, n);
        }
        return to + n;
    }

    bool HasChildren(const TiXmlElement& element) const
    {
        return element.FirstChild() || (&element == m_listParent && m_listAny);
    }

    static bool HoldsText(const TiXmlElement& element)
    {
        for (const TiXmlNode* n = element.FirstChild(); n; n = n->NextSibling())
            if (const TiXmlText* t = n->ToText(); t && !t->CDATA())
                return true;
        return false;
    }

    // The declared encoding when it names the bytes' code page, else the code page's name.
    std::string EncodingFor(const std::string& declared) const
    {
        if (m_codePage == CP_UTF8)
            return declared.empty() || IsUtf8Name(declared) ? declared : "UTF-8";
        return IsKoreanName(declared) ? declared : "euc-kr";
    }

    void Indent()
    {
        if (!m_inline)
            for (int i = 0; i < m_depth; ++i)
                m_out += "    ";
    }

    void LineBreak()
    {
        if (!m_inline)
            m_out += '\n';
    }

    void Escape(const std::string& text) { AppendEscaped(m_out, text); }

    UINT m_codePage;
    std::string m_out;
    static constexpr size_t kSpillBytes = 256 * 1024;
    quiva::AtomicFileWriter* m_file = nullptr;
    bool m_spill = false, m_spilled = false;
    int m_depth = 0;
    int m_inline = 0;
    const TiXmlElement* m_listParent = nullptr;
    bool m_listAny = false;
    std::function<void(Printer&)> m_listRows;
};

}  // namespace

CKXXmlDocument::CKXXmlDocument()
{
    // Values keep their blanks: a name with two spaces reads back with two spaces.
    static std::once_flag once;
    std::call_once(once, [] { TiXmlBase::SetCondenseWhiteSpace(false); });
}

CKXXmlDocument::~CKXXmlDocument() = default;

// Both code pages of the tree spell ASCII as ASCII: names and most values need no conversion.
std::string CKXXmlDocument::ToTree(const CString& text) const
{
    const std::wstring& wide = text.str();
    if (std::all_of(wide.begin(), wide.end(), [](wchar_t c) { return c > 0 && c < 0x80; }))
        return std::string(wide.begin(), wide.end());
    return quiva::WideToMultiByte(wide, m_codePage);
}

std::string CKXXmlDocument::ValueToTree(std::wstring_view text)
{
    if (std::all_of(text.begin(), text.end(), [](wchar_t c) { return c > 0 && c < 0x80; }))
        return std::string(text.begin(), text.end());
    bool lost = false;
    std::string bytes = quiva::WideToMultiByte(text, m_codePage, &lost);
    if (!lost || m_codePage == CP_UTF8)
        return bytes;
    // Code page 949 cannot spell the value (an accented letter, an emoji): the document becomes
    // UTF-8, every text already in it too, so that nothing reads back as "?".
    auto recode = [](const std::string& cp949) { return quiva::WideToUtf8(quiva::MultiByteToWide(cp949, CP_KOREAN)); };
    std::vector<TiXmlNode*> nodes{m_document.FirstChild()};
    while (!nodes.empty()) {
        TiXmlNode* node = nodes.back();
        nodes.pop_back();
        if (!node)
            continue;
        nodes.push_back(node->NextSibling());
        nodes.push_back(node->FirstChild());
        if (node->ToDeclaration())
            continue;  // the printer writes the declaration of the bytes it writes
        node->SetValue(recode(node->ValueStr()));
        if (TiXmlElement* element = node->ToElement())
            for (TiXmlAttribute* a = element->FirstAttribute(); a; a = a->Next()) {
                a->SetName(recode(a->NameTStr()));
                a->SetValue(recode(a->ValueStr()));
            }
    }
    m_codePage = CP_UTF8;
    return quiva::WideToUtf8(text);
}

CString CKXXmlDocument::FromTree(const char* text) const
{
    if (!text)
        return CString();
    const std::string_view bytes(text);
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return CString(std::wstring(bytes.begin(), bytes.end()));
    return CString(quiva::MultiByteToWide(text, m_codePage));
}

void CKXXmlDocument::ReadChildren(
    const wchar_t* path, const std::vector<const wchar_t*>& attributes,
    const std::function<bool(const CString& name, std::vector<CString>& attributes)>& visit)
{
    std::vector<std::string> names;
    for (const wchar_t* name : attributes)
        names.push_back(ToTree(name ? name : L""));
    std::vector<CString> values;
    TiXmlElement* parent = Resolve(path, 0, false);
    for (TiXmlElement* element = parent ? parent->FirstChildElement() : nullptr; element; element = element->NextSiblingElement()) {
        values.resize(names.size());
        for (size_t i = 0; i < names.size(); ++i)
            values[i] = FromTree(element->Attribute(names[i].c_str()));
        if (!visit(FromTree(element->Value()), values))
            return;
    }
}

bool CKXXmlDocument::ParseText(std::string text)
{
    m_document.Clear();
    m_document.ClearError();
    m_walk = Walk();
    m_children.clear();
    m_dropped.clear();
    m_loadError = ShapeText(text, kMaxDepth, kMaxAttributes, kMaxNodes, &m_dropped);
    if (!m_loadError.empty())
        return false;
    m_document.Parse(text.c_str(), nullptr, m_codePage == CP_UTF8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY);
    if (m_document.Error())
        m_loadError = quiva::Utf8ToWide(std::string(m_document.ErrorDesc()) + " at line " +
                                        std::to_string(m_document.ErrorRow()));
    return !m_document.Error();
}

bool CKXXmlDocument::Load(const wchar_t* path, size_t maxBytes)
{
    std::string bytes;
    const size_t bound = std::min(maxBytes, quiva::kMaxDataFileBytes);
    if (!path || !*path || PathTooLong(path) || !quiva::ReadFileBytes(path, bytes, bound)) {
        m_document.Clear();
        m_walk = Walk();
        m_children.clear();
        m_loadError = GetLastError() == ERROR_FILE_TOO_LARGE ? L"the file is larger than " + std::to_wstring(bound) + L" bytes"
                                                             : L"the file cannot be read whole";
        return false;
    }
    // A UTF-16 file with its byte order mark, as Windows saves one, is read as the same text in
    // UTF-8, which its declaration then names. A UTF-8 byte order mark says the same as a UTF-8
    // declaration.
    const bool utf16 = FromUtf16(bytes);
    const bool bom = utf16 || (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0);
    if (bom && !utf16)
        bytes.erase(0, 3);
    const std::string text = NormalizedText(bytes);
    m_codePage = bom && IsUtf8(text) ? CP_UTF8 : CodePageOf(text);
    m_loadError.clear();
    if (!ParseText(text)) {
        // A truncated file leaves a partial tree behind; none of it is trusted.
        m_document.Clear();
        m_children.clear();
        return false;
    }
    if (!m_dropped.empty())
        OutputDebugStringW(CString(path) + L": " + CString(quiva::Utf8ToWide(m_dropped)) + L", left out\n");
    m_path = path;
    return true;
}

bool CKXXmlDocument::Save(const wchar_t* path)
{
    CString target = (path && *path) ? CString(path) : m_path;
    if (target.IsEmpty() || PathTooLong(target))
        return false;
    Printer printer(m_codePage);
    m_document.Accept(&printer);
    return quiva::WriteFileAtomically(target, printer.Result());
}

bool CKXXmlDocument::SaveWithList(const wchar_t* path, const wchar_t* listPath, const wchar_t* name,
                                  std::initializer_list<const wchar_t*> attributes, const ListRows& next, size_t rows)
{
    const CString target(path ? path : L""), wideName(name ? name : L"");
    TiXmlElement* parent = Resolve(listPath, 0, true);
    if (target.IsEmpty() || PathTooLong(target) || !parent || !IsXmlName(ToTree(wideName)))
        return false;
    // The rows are taken as they are printed, each kept as its value and the values of its
    // attributes (`given` of them): a value the tree's code page cannot spell turns the document to
    // UTF-8, and the print then begins again in it with the rows taken. A row is printed while
    // what it names is fresh in memory.
    const std::vector<const wchar_t*> names(attributes);
    std::vector<std::wstring_view> cells, values(names.size());
    std::vector<size_t> given;
    cells.reserve(rows * (1 + names.size()));
    given.reserve(rows);
    bool takenAll = false;
    auto take = [&] {  // the next row; false when there is none
        std::wstring_view value;
        if (takenAll || !next(value, values)) {
            takenAll = true;
            return false;
        }
        given.push_back(std::min(values.size(), names.size()));
        cells.push_back(value);
        cells.insert(cells.end(), values.begin(), values.begin() + static_cast<std::ptrdiff_t>(given.back()));
        return true;
    };
    take();  // whether there is any
    for (;;) {
        const UINT page = m_codePage;
        const std::string treeName = ToTree(wideName);
        std::vector<std::string> treeNames;
        for (const wchar_t* attribute : names)
            treeNames.push_back(ToTree(attribute ? attribute : L""));
        bool recoded = false;
        quiva::AtomicFileWriter file(target);
        if (!file.IsOpen())
            return false;
        Printer printer(page);
        printer.WriteTo(&file);
        std::vector<bool> isName;
        for (const std::string& treeAttribute : treeNames)
            isName.push_back(IsXmlName(treeAttribute));
        const Printer::RowParts parts(treeName, treeNames, isName);
        printer.ListAt(parent, !given.empty(), [&](Printer& out) {
            // A row whose value is plain text is printed straight away; any other is given to one
            // element, with its attributes in their order, as AppendList gives a new element its own.
            std::unique_ptr<TiXmlElement> row;
            size_t rowAttributes = 0;
            std::vector<std::string> treeValues(names.size());
            // Each value as printed, kept with the value of the row before: the rows of a study
            // repeat its title, date and marks, and their paths its folder, which are spelt and
            // escaped once, not for every row, and only a still's name is new to each row.
            struct Spelt {
                std::wstring_view value;
                std::string printed;
                TextMakeup makeup;
                bool known = false;
            };
            std::vector<Spelt> spelt(names.size());
            Spelt speltFolder, speltName;
            std::vector<const std::string*> printed(names.size());
            auto spell = [this](Spelt& kept, std::wstring_view value) -> const Spelt& {
                // The same string, or one alike.
                if (kept.known && kept.value.size() == value.size() &&
                    (kept.value.data() == value.data() || kept.value == value))
                    return kept;
                kept.printed.resize(value.size());
                if (NarrowAsItIs(value.data(), value.size(), kept.printed.data())) {
                    // ASCII with nothing to escape: printed as it stands.
                    kept.makeup = {true, std::all_of(value.begin(), value.end(), [](wchar_t c) { return c == L' '; })};
                } else {
                    kept.printed.clear();
                    Printer::AppendEscaped(kept.printed, ValueToTree(value));
                    kept.makeup = MakeupOf(value);
                }
                kept.value = value;
                kept.known = true;
                return kept;
            };
            auto recode = [&] {  // the print begins again, with every row taken
                while (take()) {
                }
                recoded = true;
            };
            const size_t head = out.Size();
            for (size_t r = 0, at = 0; r < given.size() || take(); ++r) {
                if (r == 1)
                    out.ExpectRows(rows > 1 ? rows - 1 : 0, out.Size() - head);
                out.Spill();
                const size_t count = given[r];
                const std::wstring_view* const cell = cells.data() + at;
                at += 1 + count;
                // The text spelt apart after its last separator, as the whole would be: no
                // character spans the cut. Whether it is plain follows from its two parts.
                const std::wstring_view text = cell[0];
                size_t cut = text.size();
                while (cut > 0 && text[cut - 1] != L'\\' && text[cut - 1] != L'/')
                    --cut;
                const Spelt& folder = spell(speltFolder, text.substr(0, cut));
                const Spelt& leaf = spell(speltName, text.substr(cut));
                if (IsPlainText({folder.makeup.clean && leaf.makeup.clean, folder.makeup.blank && leaf.makeup.blank},
                                text.empty())) {
                    for (size_t i = 0; i < count; ++i)
                        if (!parts.attributes[i].empty())  // its name is an XML name
                            printed[i] = &spell(spelt[i], cell[1 + i]).printed;
                    if (m_codePage != page)
                        return recode();
                    out.TextRow(parts, printed.data(), count, folder.printed, leaf.printed);
                    continue;
                }
                for (size_t i = 0; i < count; ++i)
                    if (isName[i])
                        treeValues[i] = ValueToTree(cell[1 + i]);
                if (m_codePage != page)
                    return recode();
                if (!row || count != rowAttributes)
                    row = std::make_unique<TiXmlElement>(treeName);
                rowAttributes = count;
                SetValueOf(row.get(), std::wstring(text).c_str());
                for (size_t i = 0; i < count; ++i)
                    if (isName[i])
                        row->SetAttribute(treeNames[i], treeValues[i]);
                if (m_codePage != page)
                    return recode();
                row->Accept(&out);
            }
        });
        m_document.Accept(&printer);
        if (!recoded)
            return printer.Finish();
    }
}

void CKXXmlDocument::LoadXml(const wchar_t* xml)
{
    const std::wstring wide = xml ? xml : L"";
    m_codePage = IsUtf8Name(DeclaredEncoding(quiva::WideToUtf8(wide.substr(0, wide.find(L"?>"))))) ? CP_UTF8 : CP_KOREAN;
    ParseText(NormalizedText(ToTree(CString(wide))));
}

std::wstring CKXXmlDocument::NameKey(const CString& name)
{
    std::wstring key = name.str();
    for (wchar_t& c : key)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return key;
}

TiXmlElement* CKXXmlDocument::FindChild(TiXmlNode* parent, const CString& name)
{
    if (!parent)
        return nullptr;
    auto [at, made] = m_children.try_emplace(parent);
    if (made)
        for (TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement())
            at->second.try_emplace(NameKey(FromTree(e->Value())), e);
    const auto found = at->second.find(NameKey(name));
    return found == at->second.end() ? nullptr : found->second;
}

void CKXXmlDocument::Indexed(TiXmlNode* parent, TiXmlElement* added, const CString& name)
{
    const auto at = m_children.find(parent);
    if (added && at != m_children.end())
        at->second.try_emplace(NameKey(name), added);
}

TiXmlElement* CKXXmlDocument::AddChild(TiXmlNode* parent, const CString& name)
{
    // A name that would not read back as one (blank, markup, characters the code page lacks)
    // is not created: the saved file would no longer load.
    const std::string treeName = ToTree(name);
    if (!parent || !IsXmlName(treeName))
        return nullptr;
    TiXmlNode* added = parent->LinkEndChild(new TiXmlElement(treeName));
    TiXmlElement* element = added ? added->ToElement() : nullptr;
    Indexed(parent, element, name);
    return element;
}

TiXmlElement* CKXXmlDocument::StepSiblings(TiXmlElement* element, int index, bool create, const CString& name)
{
    TiXmlElement* const from = element;
    int i = 0;
    if (from && from == m_walk.from && m_walk.to && m_walk.steps <= index) {
        element = m_walk.to;
        i = m_walk.steps;
    }
    for (; element && i < index; ++i) {
        TiXmlElement* next = NextElement(element);
        if (!next && create)
            next = AddChild(element->Parent(), name);
        element = next;
    }
    if (from && element && index > 0)
        m_walk = Walk{from, index, element};
    return element;
}

TiXmlElement* CKXXmlDocument::FindNode(const wchar_t* path, bool create)
{
    CString p(path ? path : L"");
    std::vector<CString> segments;
    for (int start = 0; start <= p.GetLength();) {
        int slash = p.Find(L'/', start);
        if (slash < 0)
            slash = p.GetLength();
        if (slash > start)
            segments.push_back(p.Mid(start, slash - start));
        start = slash + 1;
    }

    TiXmlElement* current = nullptr;
    size_t first = 0;
    if (p.GetAt(0) == L'/') {
        current = m_document.RootElement();
        if (current && CString(FromTree(current->Value())).CompareNoCase(L"xml") == 0)
            current = NextElement(current);
    } else {
        if (segments.empty())
            return nullptr;
        std::string top = ToTree(segments[0]);
        for (TiXmlElement* e = m_document.FirstChildElement(); e; e = e->NextSiblingElement())
            if (top == e->Value()) {
                current = e;
                break;
            }
        first = 1;
    }

    for (size_t i = first; current && i < segments.size(); ++i) {
        const CString& segment = segments[i];
        CString name = segment;
        int steps = 0;
        int at = segment.Find(L'@');
        if (at > 0) {
            name = segment.Left(at);
            CString suffix = segment.Mid(at + 1);
            if (suffix.IsEmpty())
                continue;
            for (int k = 0; k < suffix.GetLength() && suffix[k] >= L'0' && suffix[k] <= L'9' && steps < 1000000; ++k)
                steps = steps * 10 + (suffix[k] - L'0');
        }
        TiXmlElement* found = FindChild(current, name);
        if (!found && create)
            found = AddChild(current, name);
        current = StepSiblings(found, steps, create, name);
    }
    return current;
}

TiXmlElement* CKXXmlDocument::Resolve(const wchar_t* path, int index, bool create)
{
    TiXmlElement* element = FindNode(path, create);
    if (!element || index <= 0)
        return element;
    return StepSiblings(element, index, create, FromTree(element->Value()));
}

void CKXXmlDocument::SetText(TiXmlElement* element, const CString& text, const std::string& treeText, bool cdata)
{
    // The old value goes, wherever comments stand between its pieces; the new one takes the
    // place of its first piece (or goes last). Comments and child elements stay.
    bool found = false;
    TiXmlNode* after = nullptr;
    for (TiXmlNode* n = element->FirstChild(); n && !n->ToElement();) {
        TiXmlNode* next = n->NextSibling();
        if (n->ToText()) {
            if (!found)
                after = n->PreviousSibling();
            found = true;
            element->RemoveChild(n);
        }
        n = next;
    }
    auto place = [&](TiXmlText* node) {
        if (!found)
            element->LinkEndChild(node);
        else if (after)
            after = element->InsertAfterChild(after, *node);
        else
            after = element->FirstChild() ? element->InsertBeforeChild(element->FirstChild(), *node) : element->InsertEndChild(*node);
        if (found)
            delete node;  // inserted as a copy
    };
    if (!cdata) {
        place(new TiXmlText(treeText));
        return;
    }
    // A CDATA section cannot hold "]]>": the value is split after "]]" into consecutive
    // sections, which GetValue joins again.
    std::wstring rest = text.str();
    for (;;) {
        size_t end = rest.find(L"]]>");
        auto* node = new TiXmlText(end == std::wstring::npos && rest.size() == text.str().size() ? treeText
                                   : ToTree(end == std::wstring::npos ? rest : rest.substr(0, end + 2)));
        node->SetCDATA(true);
        place(node);
        if (end == std::wstring::npos)
            break;
        rest = rest.substr(end + 2);
    }
}

CString CKXXmlDocument::GetValue(const wchar_t* path, int index)
{
    TiXmlElement* element = Resolve(path, index, false);
    return element ? TextOf(element) : CString();
}

CString CKXXmlDocument::TextOf(TiXmlElement* element) const
{
    // The text before the first child element; comments between its pieces are passed over.
    std::string joined;
    for (TiXmlNode* n = element->FirstChild(); n && !n->ToElement(); n = n->NextSibling())
        if (n->ToText())
            joined += n->Value();
    return FromTree(joined.c_str());
}

void CKXXmlDocument::ReadList(const wchar_t* path, std::initializer_list<const wchar_t*> attributes,
                              const std::function<bool(const CString& value, const std::vector<CString>& attributes)>& visit)
{
    std::vector<std::string> names;
    for (const wchar_t* name : attributes)
        names.push_back(ToTree(name ? name : L""));
    std::vector<CString> values(names.size());
    for (TiXmlElement* element = Resolve(path, 0, false); element; element = NextElement(element)) {
        for (size_t i = 0; i < names.size(); ++i)
            values[i] = FromTree(element->Attribute(names[i].c_str()));
        if (!visit(TextOf(element), values))
            return;
    }
}

int CKXXmlDocument::SetValue(const wchar_t* path, const wchar_t* value, int index, BOOL /*wrap*/)
{
    TiXmlElement* element = Resolve(path, index, true);
    if (!element)
        return -1;
    SetValueOf(element, value);
    return 0;
}

void CKXXmlDocument::SetValueOf(TiXmlElement* element, const wchar_t* value)
{
    CString text(value ? value : L"");
    // Control characters XML cannot carry (form feed, vertical tab and the like) become spaces:
    // the parser reads them back as blanks at best, and a value of nothing else as no value.
    for (int i = 0; i < text.GetLength(); ++i)
        if (text[i] < L' ' && text[i] != L'\t' && text[i] != L'\n' && text[i] != L'\r')
            text.SetAt(i, L' ');
    // Markup goes into CDATA sections, unless a carriage return is in it: reading a file turns
    // every line end into a line feed, and only escaped text keeps one. A value of blanks only
    // must be CDATA (blank text is not kept), so its line ends are line feeds from the start.
    const bool blank = !text.IsEmpty() && IsBlank(text);
    if (blank) {
        text.Replace(L"\r\n", L"\n");
        text.Replace(L"\r", L"\n");
    }
    // The document's code page is one that spells the value.
    SetText(element, text, ValueToTree(text.str()), blank || (NeedsCData(text) && text.Find(L'\r') < 0));
}

CString CKXXmlDocument::GetAttribute(const wchar_t* path, const wchar_t* name, int index)
{
    TiXmlElement* element = Resolve(path, index, false);
    if (!element || !name)
        return CString();
    return FromTree(element->Attribute(ToTree(name).c_str()));
}

int CKXXmlDocument::SetAttribute(const wchar_t* path, int index, const wchar_t* name, const wchar_t* value)
{
    if (!IsXmlName(ToTree(name ? name : L"")))
        return -1;
    TiXmlElement* element = Resolve(path, index, true);
    if (!element)
        return -1;
    return SetAttributeOf(element, name, value);
}

int CKXXmlDocument::SetAttributeOf(TiXmlElement* element, const wchar_t* name, const wchar_t* value)
{
    const std::string treeName = ToTree(name ? name : L"");
    if (!IsXmlName(treeName))
        return -1;
    const std::string treeValue = ValueToTree(value ? value : L"");
    element->SetAttribute(treeName, treeValue);
    return 0;
}

int CKXXmlDocument::AppendElement(const wchar_t* path, const wchar_t* name, const wchar_t* value,
                                  std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> attributes)
{
    std::vector<const wchar_t*> names, values;
    for (const auto& [attribute, text] : attributes) {
        names.push_back(attribute);
        values.push_back(text);
    }
    bool given = false;
    return AppendRows(path, name, names, [&](const wchar_t*& rowValue, std::vector<const wchar_t*>& rowValues) {
        if (given)
            return false;
        rowValue = value;
        rowValues = values;
        return given = true;
    });
}

int CKXXmlDocument::AppendList(const wchar_t* path, const wchar_t* name, std::initializer_list<const wchar_t*> attributes,
                               const std::function<bool(const wchar_t*& value, std::vector<const wchar_t*>& values)>& next)
{
    return AppendRows(path, name, std::vector<const wchar_t*>(attributes), next);
}

int CKXXmlDocument::AppendRows(const wchar_t* path, const wchar_t* name, const std::vector<const wchar_t*>& attributes,
                               const std::function<bool(const wchar_t*& value, std::vector<const wchar_t*>& values)>& next)
{
    TiXmlElement* parent = Resolve(path, 0, true);
    // A name that would not read back as one is not created (see AddChild).
    const CString wideName(name ? name : L"");
    if (!parent || !IsXmlName(ToTree(wideName)))
        return -1;
    // The names in the tree's code page, made again when a value turns the document to UTF-8.
    UINT namesPage = 0;
    std::string treeName;
    std::vector<std::string> treeNames(attributes.size());
    std::vector<bool> isName(attributes.size());
    auto convertNames = [&] {
        if (namesPage == m_codePage)
            return;
        namesPage = m_codePage;
        treeName = ToTree(wideName);
        for (size_t i = 0; i < attributes.size(); ++i) {
            treeNames[i] = ToTree(attributes[i] ? attributes[i] : L"");
            isName[i] = IsXmlName(treeNames[i]);
        }
    };
    const wchar_t* value = nullptr;
    std::vector<const wchar_t*> values(attributes.size());
    while (next(value, values)) {
        convertNames();
        auto* element = new TiXmlElement(treeName);
        parent->LinkEndChild(element);
        Indexed(parent, element, wideName);
        SetValueOf(element, value);
        for (size_t i = 0; i < attributes.size() && i < values.size(); ++i) {
            convertNames();
            // A name that is no XML name is left out, as SetAttribute leaves it.
            if (!isName[i])
                continue;
            std::string treeValue = ValueToTree(values[i] ? values[i] : L"");
            convertNames();
            element->SetAttribute(treeNames[i], treeValue);
        }
    }
    return 0;
}
