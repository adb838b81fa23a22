// One XML file or string, addressed by paths of "/"-separated element names.
//
// A segment "name@N" takes the first child element called name and steps N element siblings on;
// the index argument of the getters and setters steps further siblings after the path. Setters
// create what is missing; getters never do. Names and values are wide strings; in the tree and
// on disk they are code page 949 (the files declare "euc-kr"), except in a document that
// declares UTF-8 and is UTF-8, which stays UTF-8, and one given a value code page 949 cannot
// spell, which becomes UTF-8. A save writes the declaration of the bytes it
// writes, so every saved document loads again to the same values.
//
// A file is refused before parsing when it is larger than quiva::kMaxDataFileBytes, would make
// more than kMaxNodes nodes of the tree or nests elements deeper than kMaxDepth, so a hostile
// file cannot exhaust the stack or memory, nor take seconds to load; an attribute
// repeated in a tag, or past the first kMaxAttributes of one, is left out (the first kept, a
// debug line naming the file), so neither refuses the rest nor holds the parser for hours. A
// UTF-16 file with its byte order mark is read as UTF-8.
#pragma once

#include <tinyxml.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/base/CString.h"
#include "platform/base/fileapi.h"
#include "platform/base/wintypes.h"

class CKXXmlDocument {
public:
    CKXXmlDocument();
    ~CKXXmlDocument();
    CKXXmlDocument(const CKXXmlDocument&) = delete;
    CKXXmlDocument& operator=(const CKXXmlDocument&) = delete;

    // Reads and parses a file of at most maxBytes (and never more than quiva::kMaxDataFileBytes).
    // On failure the document is left empty and the remembered path is kept; a file that is too
    // large leaves ERROR_FILE_TOO_LARGE as the last error.
    bool Load(const wchar_t* path, size_t maxBytes = quiva::kMaxDataFileBytes);
    // Why the last Load or LoadXml did not parse; empty after one that did.
    CString GetLoadError() const { return CString(m_loadError); }
    // Writes the document to path (empty: the remembered path) through a temporary file that is
    // renamed over the target, so a failed save leaves the old file as it was. False when
    // nothing was written.
    bool Save(const wchar_t* path = L"");
    // The rows of a list to save: each call gives the next row's value and the values of its
    // attributes, in their order, or answers false when there is none.
    using ListRows = std::function<bool(std::wstring_view& value, std::vector<std::wstring_view>& values)>;
    // Save with a list appended to the element at listPath (made when missing), as AppendList and
    // then Save write it, without the list joining the tree: the rows are printed one by one
    // through one element given each row's values in turn, so a list of thousands makes no node
    // of its own. The strings `next` gives must live, unchanged, until the save returns. `rows`:
    // about how many rows `next` gives, for the memory set aside at once (0 when not known).
    bool SaveWithList(const wchar_t* path, const wchar_t* listPath, const wchar_t* name,
                      std::initializer_list<const wchar_t*> attributes, const ListRows& next, size_t rows = 0);
    // Replaces the document with the parsed text; a text that does not parse leaves what was
    // read before its error (possibly no root element).
    void LoadXml(const wchar_t* xml);

    CString GetValue(const wchar_t* path, int index = 0);
    // 0, or -1 when the path cannot be resolved even with creation. Control characters other
    // than tab and line ends are stored as spaces.
    int SetValue(const wchar_t* path, const wchar_t* value, int index = 0, BOOL wrap = TRUE);
    CString GetAttribute(const wchar_t* path, const wchar_t* name, int index = 0);
    int SetAttribute(const wchar_t* path, int index, const wchar_t* name, const wchar_t* value);

    // Appends an element to the one at path (made when missing) with the value and the
    // attributes, in their order, as SetValue and SetAttribute set them: a list written entry by
    // entry is not walked again for every value. 0, or -1 when the element cannot be made.
    int AppendElement(const wchar_t* path, const wchar_t* name, const wchar_t* value,
                      std::initializer_list<std::pair<const wchar_t*, const wchar_t*>> attributes);
    // Appends a list in one go: an element called name to the element at path (made when missing)
    // for every row `next` gives (its value and the values of the attributes named, in their
    // order; null is empty), as AppendElement appends one, until `next` returns false. The
    // parent is found and the names converted once. 0, or -1 when no element can be made.
    int AppendList(const wchar_t* path, const wchar_t* name, std::initializer_list<const wchar_t*> attributes,
                   const std::function<bool(const wchar_t*& value, std::vector<const wchar_t*>& values)>& next);
    // Reads a list in one walk: the element at path and each element sibling after it, in order,
    // as GetValue and GetAttribute read "path@N" for N = 0, 1, ...: its value and the attributes
    // named, in their order, until `visit` returns false.
    void ReadList(const wchar_t* path, std::initializer_list<const wchar_t*> attributes,
                  const std::function<bool(const CString& value, const std::vector<CString>& attributes)>& visit);
    // Reads the child elements of the element at path in one walk: each one's name and the
    // attributes named, in their order, until `visit` returns false. `visit` may keep (move
    // away) the attributes it is given.
    void ReadChildren(const wchar_t* path, const std::vector<const wchar_t*>& attributes,
                      const std::function<bool(const CString& name, std::vector<CString>& attributes)>& visit);
    // The key an element's name is found by, as paths compare names: ASCII letters folded.
    static std::wstring NameKey(const CString& name);

    // Longest file path accepted, in code-page-949 bytes.
    static constexpr size_t kMaxPathBytes = 779;
    // Nodes of the tree a text may make: elements, attributes, texts, comments and other markup.
    // Each costs some 240 bytes with the index of its parent's children, so this holds a file
    // at the bound under 100 MB and a second; an info.xml makes seven a still it lists (about
    // 40,000 stills, as the byte bound), and a file at the byte bound dense with empty elements
    // would make two million.
    static constexpr size_t kMaxNodes = 300000;
    static constexpr int kMaxDepth = 256;
    // The files of this system give an element a dozen attributes or so.
    static constexpr int kMaxAttributes = 64;

protected:
    TiXmlElement* FindNode(const wchar_t* path, bool create);
    TiXmlElement* FindChild(TiXmlNode* parent, const CString& name);
    TiXmlElement* AddChild(TiXmlNode* parent, const CString& name);
    // `treeText` is `text` in the tree's code page.
    void SetText(TiXmlElement* element, const CString& text, const std::string& treeText, bool cdata);
    // The setters' work on an element found.
    void SetValueOf(TiXmlElement* element, const wchar_t* value);
    int SetAttributeOf(TiXmlElement* element, const wchar_t* name, const wchar_t* value);
    // AppendList's work, with the attributes' names in a vector.
    int AppendRows(const wchar_t* path, const wchar_t* name, const std::vector<const wchar_t*>& attributes,
                   const std::function<bool(const wchar_t*& value, std::vector<const wchar_t*>& values)>& next);
    // Text between the tree's code page and wide text.
    std::string ToTree(const CString& text) const;
    CString FromTree(const char* text) const;
    // The text of an element before its first child element, its pieces joined.
    CString TextOf(TiXmlElement* element) const;
    // A value in the tree's code page; a value code page 949 cannot spell first makes the
    // document UTF-8.
    std::string ValueToTree(std::wstring_view text);

private:
    // The element `index` element siblings after `element`; when creating, elements of the
    // same name are appended to its parent until that sibling exists.
    TiXmlElement* StepSiblings(TiXmlElement* element, int index, bool create, const CString& name);
    TiXmlElement* Resolve(const wchar_t* path, int index, bool create);
    // Parses text in the tree's code page, an attribute repeated in a tag or past the bound left
    // out (m_dropped says which); false when it does not parse or nests too deeply (m_loadError
    // says why).
    bool ParseText(std::string text);
    // Keeps the index of the parent (when it has one) up to date with an element appended to it.
    void Indexed(TiXmlNode* parent, TiXmlElement* added, const CString& name);

    CString m_path;
    std::string m_dropped;
    std::wstring m_loadError;
    TiXmlDocument m_document;
    UINT m_codePage = 949;  // of the tree and the file: CP_KOREAN or CP_UTF8
    // The last sibling walk, so reading a list entry by entry ("/Name@0", "/Name@1", ...)
    // continues where the previous read stopped instead of walking from the start. Elements
    // are only ever appended or cleared all at once, so a remembered walk stays true until the
    // document is replaced.
    struct Walk {
        TiXmlElement* from = nullptr;
        int steps = 0;
        TiXmlElement* to = nullptr;
    } m_walk;
    // The child elements of each parent looked up by name, the first of each name, made on the
    // parent's first look-up: reading N settings of N differently named siblings ("device0",
    // "device1", ...) costs N, not N squared. Elements are only ever appended or cleared all at
    // once, so an index is kept up to date as they are appended and dropped with the tree.
    std::unordered_map<const TiXmlNode*, std::unordered_map<std::wstring, TiXmlElement*>> m_children;
};
