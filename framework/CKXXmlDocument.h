// One XML file or string, addressed by paths of "/"-separated element names.
//
// A segment "name@N" takes the first child element called name and steps N element siblings on;
// the index argument of the getters and setters steps further siblings after the path. Setters
// create what is missing; getters never do. Names and values are wide strings; in the tree and
// on disk they are code page 949 (the files declare "euc-kr").
#pragma once

#include <tinyxml.h>

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

class CKXXmlDocument {
public:
    CKXXmlDocument();
    ~CKXXmlDocument();
    CKXXmlDocument(const CKXXmlDocument&) = delete;
    CKXXmlDocument& operator=(const CKXXmlDocument&) = delete;

    // Reads and parses a file. On failure the document is left empty and the remembered
    // path is kept.
    bool Load(const wchar_t* path);
    // Writes the document to path (empty: the remembered path) through a temporary file that is
    // renamed over the target, so a failed save leaves the old file as it was. False when
    // nothing was written.
    bool Save(const wchar_t* path = L"");
    // Replaces the document with the parsed text; a text that does not parse leaves what was
    // read before its error (possibly no root element).
    void LoadXml(const wchar_t* xml);

    CString GetValue(const wchar_t* path, int index = 0);
    // 0, or -1 when the path cannot be resolved even with creation.
    int SetValue(const wchar_t* path, const wchar_t* value, int index = 0, BOOL wrap = TRUE);
    CString GetAttribute(const wchar_t* path, const wchar_t* name, int index = 0);
    int SetAttribute(const wchar_t* path, int index, const wchar_t* name, const wchar_t* value);

    // Longest file path accepted, in code-page-949 bytes.
    static constexpr size_t kMaxPathBytes = 779;

protected:
    TiXmlElement* FindNode(const wchar_t* path, bool create);
    TiXmlElement* FindChild(TiXmlNode* parent, const CString& name);
    TiXmlElement* AddChild(TiXmlNode* parent, const CString& name);
    void SetText(TiXmlElement* element, const CString& text, bool cdata);

private:
    // The element `index` element siblings after `element`; when creating, elements of the
    // same name are appended to its parent until that sibling exists.
    TiXmlElement* StepSiblings(TiXmlElement* element, int index, bool create, const CString& name);
    TiXmlElement* Resolve(const wchar_t* path, int index, bool create);

    CString m_path;
    TiXmlDocument m_document;
};
