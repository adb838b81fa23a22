// Feeds arbitrary bytes to the XML document as a file and as text, reads every element's value
// and attributes by path, changes values to the kinds users type (Korean, blanks, markup),
// and checks that each saved document loads again to the same values.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "framework/CKXXmlDocument.h"
#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"
#include "platform/base/winpath.h"

namespace {

using Snapshot = std::map<std::wstring, std::wstring>;

// Gives the harness the document's elements, to name each one by a path.
class Document : public CKXXmlDocument {
public:
    // Paths "/first@k/first@k..." of up to `limit` elements below the root, where first is the
    // name of the parent's first element child and k the element's place among them.
    std::vector<std::wstring> ElementPaths(size_t limit)
    {
        std::vector<std::wstring> paths{L"/"};
        TiXmlElement* root = FindNode(L"/", false);
        if (root)
            Walk(root, L"", paths, limit);
        return paths;
    }

    bool HasRoot() { return FindNode(L"/", false) != nullptr; }

    Snapshot Take(const std::vector<std::wstring>& paths)
    {
        Snapshot s;
        for (const std::wstring& p : paths) {
            s[p] = GetValue(p.c_str()).str();
            if (TiXmlElement* e = FindNode(p.c_str(), false))
                for (const TiXmlAttribute* a = e->FirstAttribute(); a; a = a->Next()) {
                    const std::wstring name = FromTree(a->Name()).str();
                    s[p + L"@" + name] = GetAttribute(p.c_str(), name.c_str()).str();
                }
        }
        return s;
    }

private:
    void Walk(TiXmlElement* parent, const std::wstring& path, std::vector<std::wstring>& paths, size_t limit)
    {
        TiXmlElement* first = parent->FirstChildElement();
        if (!first)
            return;
        const std::wstring name = FromTree(first->Value()).str();
        int k = 0;
        for (TiXmlElement* e = first; e && paths.size() < limit; e = e->NextSiblingElement(), ++k) {
            const std::wstring p = path + L"/" + name + L"@" + std::to_wstring(k);
            paths.push_back(p);
            Walk(e, p, paths, limit);
        }
    }
};

// Values of the kinds a user's settings hold, and pasted control characters XML cannot carry.
const wchar_t* const kValues[] = {L"김", L"홍 길동", L"  ", L"\t", L" x ", L"a<b&c", L"x]]>y", L"", L"80",
                                  L"line\nnext", L"\r", L"it's \"q\"", L"\U0001F600", L"&#x41;", L"]]>",
                                  L"\f", L"\v", L"a\x01" L"b"};

void RoundTrip(Document& doc, const std::vector<std::wstring>& paths, const char* what)
{
    // A document without a root element holds no values, and its file is no document.
    if (!doc.HasRoot())
        return;
    const Snapshot before = doc.Take(paths);
    const std::string file = fuzz::ScratchFolder() + "/doc.xml";
    if (!doc.Save(quiva::WindowsPath(file)))
        return;
    Document back;
    fuzz::Check(back.Load(quiva::WindowsPath(file)), what);
    fuzz::Check(back.Take(paths) == before, what);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string file = fuzz::WriteScratch("in.xml", data, size);

    Document doc;
    if (!doc.Load(quiva::WindowsPath(file)))
        doc.LoadXml(quiva::MultiByteToWide(bytes, CP_KOREAN).c_str());
    std::vector<std::wstring> paths = doc.ElementPaths(64);
    RoundTrip(doc, paths, "a loaded document saves and loads to the same values");

    // Values set by the input's last bytes, on the elements it names and on a new one.
    size_t pick = size;
    for (size_t i = 0; i < paths.size() && i < 8 && pick > 0; ++i) {
        const wchar_t* value = kValues[data[--pick] % std::size(kValues)];
        doc.SetValue(paths[i].c_str(), value);
        if (pick > 0 && (data[pick - 1] & 1))
            doc.SetAttribute(paths[i].c_str(), 0, L"kind", value);
    }
    if (pick > 0) {
        doc.SetValue(L"/added/value", kValues[data[pick - 1] % std::size(kValues)]);
        paths.push_back(L"/added@0");
        paths.push_back(L"/added@0/value@0");
    }
    RoundTrip(doc, paths, "a changed document saves and loads to the same values");
    return 0;
}
