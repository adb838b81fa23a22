// Writes the seed corpus of the XML document harness: settings and list files as the system
// saves them, in code page 949 and in UTF-8, with comments, CDATA values and attributes.
#include <cstdio>
#include <string>

#include "framework/CKXXmlDocument.h"
#include "fuzz/FuzzSupport.h"
#include "platform/base/winpath.h"

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    bool ok = true;
    auto save = [&](CKXXmlDocument& doc, const char* name) { ok &= doc.Save(quiva::WindowsPath(folder + "/" + name)); };

    CKXXmlDocument config;
    config.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><Config><!-- 0 to 100 --></Config>");
    config.SetValue(L"/Quality", L"90");
    config.SetValue(L"/Name", L"홍 길동");
    config.SetValue(L"/Folder/Image", L"c:\\image\\<patient>");
    config.SetValue(L"/Blank", L"  ");
    config.SetAttribute(L"/Folder", 0, L"kind", L"a&b");
    save(config, "config.xml");

    CKXXmlDocument list;
    list.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphList/>");
    for (int i = 0; i < 4; ++i)
        list.SetValue(L"/Graph", (L"c:\\graphs\\" + std::to_wstring(i) + L".grf").c_str(), i);
    list.SetValue(L"/DVD", L"1");
    save(list, "graph-list.xml");

    CKXXmlDocument utf8;
    utf8.LoadXml(L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><Name>x</Name></Config>");
    utf8.SetValue(L"/Name", L"김 \U0001F600");
    save(utf8, "utf8.xml");

    CKXXmlDocument bare;
    bare.LoadXml(L"<r><a>1</a><a>2</a><b><c>3</c></b></r>");
    save(bare, "bare.xml");
    return ok ? 0 : 1;
}
