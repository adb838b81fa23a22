#include "framework/CKXXmlDocument.h"

#include <mutex>
#include <string>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"

namespace {

// XML text in the tree is code page 949 whatever the process's ANSI code page is.
std::string ToTree(const CString& text) { return quiva::WideToMultiByte(text.str(), CP_KOREAN); }
CString FromTree(const char* text) { return text ? CString(quiva::MultiByteToWide(text, CP_KOREAN)) : CString(); }

bool NeedsCData(const CString& value) { return value.FindOneOf(L"<>'\"&") >= 0; }

TiXmlElement* NextElement(TiXmlNode* node)
{
    for (TiXmlNode* n = node ? node->NextSibling() : nullptr; n; n = n->NextSibling())
        if (TiXmlElement* e = n->ToElement())
            return e;
    return nullptr;
}

bool PathTooLong(const wchar_t* path) { return quiva::WideToMultiByte(path, CP_KOREAN).size() > CKXXmlDocument::kMaxPathBytes; }

}  // namespace

CKXXmlDocument::CKXXmlDocument()
{
    // Values keep their blanks: a name with two spaces reads back with two spaces.
    static std::once_flag once;
    std::call_once(once, [] { TiXmlBase::SetCondenseWhiteSpace(false); });
}

CKXXmlDocument::~CKXXmlDocument() = default;

bool CKXXmlDocument::Load(const wchar_t* path)
{
    if (!path || !*path || PathTooLong(path)) {
        m_document.Clear();
        return false;
    }
    std::string bytes;
    if (!quiva::ReadFileBytes(path, bytes)) {
        m_document.Clear();
        return false;
    }
    // Line ends become LF, as the library does for files it opens itself.
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r') {
            text += '\n';
            if (i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else if (bytes[i] != '\0') {
            text += bytes[i];
        }
    }
    m_document.Clear();
    m_document.ClearError();
    m_document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    if (m_document.Error()) {
        // A truncated file leaves a partial tree behind; none of it is trusted.
        m_document.Clear();
        return false;
    }
    m_path = path;
    return true;
}

bool CKXXmlDocument::Save(const wchar_t* path)
{
    CString target = (path && *path) ? CString(path) : m_path;
    if (target.IsEmpty() || PathTooLong(target))
        return false;
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    m_document.Accept(&printer);
    return quiva::WriteFileAtomically(target, printer.Str());
}

void CKXXmlDocument::LoadXml(const wchar_t* xml)
{
    m_document.Clear();
    m_document.ClearError();
    std::string text = ToTree(xml ? xml : L"");
    m_document.Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
}

TiXmlElement* CKXXmlDocument::FindChild(TiXmlNode* parent, const CString& name)
{
    if (!parent)
        return nullptr;
    for (TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement())
        if (FromTree(e->Value()).CompareNoCase(name) == 0)
            return e;
    return nullptr;
}

TiXmlElement* CKXXmlDocument::AddChild(TiXmlNode* parent, const CString& name)
{
    if (!parent)
        return nullptr;
    TiXmlNode* added = parent->LinkEndChild(new TiXmlElement(ToTree(name)));
    return added ? added->ToElement() : nullptr;
}

TiXmlElement* CKXXmlDocument::StepSiblings(TiXmlElement* element, int index, bool create, const CString& name)
{
    for (int i = 0; element && i < index; ++i) {
        TiXmlElement* next = NextElement(element);
        if (!next && create)
            next = AddChild(element->Parent(), name);
        element = next;
    }
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

void CKXXmlDocument::SetText(TiXmlElement* element, const CString& text, bool cdata)
{
    TiXmlNode* firstChild = element->FirstChild();
    if (firstChild && firstChild->ToText())
        element->Clear();
    if (!cdata) {
        element->LinkEndChild(new TiXmlText(ToTree(text)));
        return;
    }
    // A CDATA section cannot hold "]]>": the value is split after "]]" into consecutive
    // sections, which GetValue joins again.
    std::wstring rest = text.str();
    for (;;) {
        size_t end = rest.find(L"]]>");
        std::wstring piece = end == std::wstring::npos ? rest : rest.substr(0, end + 2);
        auto* node = new TiXmlText(ToTree(piece));
        node->SetCDATA(true);
        element->LinkEndChild(node);
        if (end == std::wstring::npos)
            break;
        rest = rest.substr(end + 2);
    }
}

CString CKXXmlDocument::GetValue(const wchar_t* path, int index)
{
    TiXmlElement* element = Resolve(path, index, false);
    if (!element)
        return CString();
    std::string joined;
    for (TiXmlNode* n = element->FirstChild(); n && n->ToText(); n = n->NextSibling())
        joined += n->Value();
    return FromTree(joined.c_str());
}

int CKXXmlDocument::SetValue(const wchar_t* path, const wchar_t* value, int index, BOOL /*wrap*/)
{
    TiXmlElement* element = Resolve(path, index, true);
    if (!element)
        return -1;
    CString text(value ? value : L"");
    SetText(element, text, NeedsCData(text));
    return 0;
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
    TiXmlElement* element = Resolve(path, index, true);
    if (!element)
        return -1;
    element->SetAttribute(ToTree(name ? name : L""), ToTree(value ? value : L""));
    return 0;
}
