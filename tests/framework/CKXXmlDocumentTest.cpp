#include "framework/CKXXmlDocument.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <vector>
#include <unistd.h>

#include "platform/base/codepage.h"
#include "tests/support/TempDir.h"

using quiva::test::ReadAll;
using quiva::test::TempDir;
using quiva::test::WriteAll;

namespace {
const wchar_t* kTemplate = L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><QUIVA/>";

size_t Count(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}
}  // namespace

TEST(XmlDocument, SetAndGetByPath)
{
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    EXPECT_EQ(doc.SetValue(L"/patient", L"12345", 0, TRUE), 0);
    EXPECT_EQ(doc.SetValue(L"/patient", L"67890", 0, TRUE), 0);
    EXPECT_EQ(doc.GetValue(L"/patient"), L"67890");
    EXPECT_EQ(doc.GetValue(L"/PATIENT"), L"67890");
    EXPECT_EQ(doc.GetValue(L"//patient/"), L"67890");
    // Relative paths name the top-level element exactly.
    EXPECT_EQ(doc.GetValue(L"QUIVA/patient"), L"67890");
    EXPECT_EQ(doc.GetValue(L"quiva/patient"), L"");
    EXPECT_EQ(doc.SetValue(L"quiva/other", L"x"), -1);
    EXPECT_EQ(doc.GetValue(L"/other"), L"");
    // Nested creation and attributes.
    EXPECT_EQ(doc.SetValue(L"/folder/temp", L"c:\\temp"), 0);
    EXPECT_EQ(doc.GetValue(L"/folder/temp"), L"c:\\temp");
    EXPECT_EQ(doc.SetAttribute(L"/folder", 0, L"kind", L"a&b"), 0);
    EXPECT_EQ(doc.SetAttribute(L"/folder", 0, L"kind", L"c\"d"), 0);
    EXPECT_EQ(doc.GetAttribute(L"/folder", L"kind"), L"c\"d");
    EXPECT_EQ(doc.GetAttribute(L"/folder", L"KIND"), L"");
    EXPECT_EQ(doc.GetAttribute(L"/nothing", L"kind"), L"");
    EXPECT_EQ(doc.GetValue(L"/a@/folder/temp"), L"c:\\temp");
    // The path "/" is the root element itself.
    EXPECT_EQ(doc.SetAttribute(L"/", 0, L"v", L"1"), 0);
    EXPECT_EQ(doc.GetAttribute(L"QUIVA", L"v"), L"1");
}

TEST(XmlDocument, SiblingSteps)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<r><a>1</a><image>i0</image><b>2</b><!-- note --><image>i1</image>text</r>");
    EXPECT_EQ(doc.GetValue(L"/image@0"), L"i0");
    EXPECT_EQ(doc.GetValue(L"/image@1"), L"2");  // whatever element follows
    // The comment is not a sibling step, and a text sibling never ends a read loop early.
    EXPECT_EQ(doc.GetValue(L"/image@2"), L"i1");
    EXPECT_EQ(doc.GetValue(L"/image@3"), L"");
    EXPECT_EQ(doc.GetValue(L"/image", 2), L"i1");
    EXPECT_EQ(doc.GetValue(L"/image@1", 1), L"i1");
    EXPECT_EQ(doc.GetValue(L"/note"), L"");
    EXPECT_EQ(doc.GetValue(L"/text"), L"");

    CKXXmlDocument empty;
    empty.LoadXml(kTemplate);
    EXPECT_EQ(empty.GetValue(L"/image@1"), L"");
    EXPECT_EQ(empty.SetValue(L"/image@2", L"third"), 0);
    EXPECT_EQ(empty.GetValue(L"/image@0"), L"");
    EXPECT_EQ(empty.GetValue(L"/image@2"), L"third");
    // An index past the last sibling appends until that sibling exists.
    EXPECT_EQ(empty.SetValue(L"/image", L"sixth", 5), 0);
    EXPECT_EQ(empty.GetValue(L"/image@5"), L"sixth");
    EXPECT_EQ(empty.GetValue(L"/image", 4), L"");
    EXPECT_EQ(empty.SetAttribute(L"/image", 6, L"n", L"7"), 0);
    EXPECT_EQ(empty.GetAttribute(L"/image@6", L"n"), L"7");
}

TEST(XmlDocument, TextAndCommentNodesAreNotPathTargets)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<r><a>b</a><!--c--></r>");
    // "b" is the text of a, not an element under it.
    EXPECT_EQ(doc.GetValue(L"/a/b"), L"");
    EXPECT_EQ(doc.SetValue(L"/a/b", L"x"), 0);
    EXPECT_EQ(doc.GetValue(L"/a/b"), L"x");
    EXPECT_EQ(doc.SetValue(L"/c", L"y"), 0);
    EXPECT_EQ(doc.GetValue(L"/c"), L"y");
}

TEST(XmlDocument, RootNamedXmlAndMissingRoot)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<XmL/><data><v>1</v></data>");
    EXPECT_EQ(doc.GetValue(L"/v"), L"1");
    EXPECT_EQ(doc.SetValue(L"/w", L"2"), 0);
    EXPECT_EQ(doc.GetValue(L"data/w"), L"2");

    doc.LoadXml(L"<xml/>");
    EXPECT_EQ(doc.SetValue(L"/w", L"2"), -1);

    doc.LoadXml(L"garbage <<<");
    EXPECT_EQ(doc.GetValue(L"/a"), L"");
    EXPECT_EQ(doc.SetValue(L"/a", L"1"), -1);
    EXPECT_EQ(doc.SetAttribute(L"/a", 0, L"n", L"1"), -1);
}

TEST(XmlDocument, TextAfterChildElements)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<r><a><c/></a></r>");
    EXPECT_EQ(doc.SetValue(L"/a", L"t"), 0);
    EXPECT_EQ(doc.GetValue(L"/a"), L"");
    EXPECT_EQ(doc.GetValue(L"/a/c"), L"");
}

TEST(XmlDocument, MarkupValuesSurviveSaveAndLoad)
{
    TempDir dir;
    CString file = dir.Win("doc.xml");
    const wchar_t* values[] = {L"a<b", L"a>b", L"it's", L"say \"x\"", L"R&D", L"x]]>y", L"]]>]]>", L"]]]>"};
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    for (size_t i = 0; i < std::size(values); ++i)
        ASSERT_EQ(doc.SetValue(CString(L"/v@") + CString(std::to_wstring(i)), values[i]), 0);
    ASSERT_EQ(doc.SetValue(L"/plain", L"  two  spaces "), 0);
    ASSERT_TRUE(doc.Save(file));

    std::string bytes = ReadAll(dir.Native("doc.xml"));
    EXPECT_NE(bytes.find("encoding=\"euc-kr\""), std::string::npos);
    EXPECT_NE(bytes.find("<![CDATA[a<b]]>"), std::string::npos);
    EXPECT_NE(bytes.find("<![CDATA[x]]]]>"), std::string::npos);
    EXPECT_EQ(Count(bytes, "<![CDATA[a<b"), 1u);
    EXPECT_NE(bytes.find("<plain>  two  spaces </plain>"), std::string::npos);

    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(file));
    for (size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(back.GetValue(CString(L"/v@") + CString(std::to_wstring(i))), values[i]) << i;
    EXPECT_EQ(back.GetValue(L"/plain"), L"  two  spaces ");
    // Replacing a split value leaves one value, not the old sections.
    EXPECT_EQ(back.SetValue(L"/v@5", L"new"), 0);
    EXPECT_EQ(back.GetValue(L"/v@5"), L"new");
}

TEST(XmlDocument, KoreanTextIsCodePage949OnDisk)
{
    TempDir dir;
    CKXXmlDocument doc;
    doc.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><설정/>");
    ASSERT_EQ(doc.SetValue(L"/이름", L"홍길동"), 0);
    ASSERT_EQ(doc.SetAttribute(L"/이름", 0, L"종류", L"환자"), 0);
    ASSERT_TRUE(doc.Save(dir.Win("k.xml")));
    std::string bytes = ReadAll(dir.Native("k.xml"));
    EXPECT_NE(bytes.find(quiva::WideToMultiByte(L"<이름 종류=\"환자\">홍길동</이름>", CP_KOREAN)), std::string::npos);
    EXPECT_EQ(bytes.find(quiva::WideToUtf8(L"홍길동")), std::string::npos);

    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("k.xml")));
    EXPECT_EQ(back.GetValue(L"/이름"), L"홍길동");
    EXPECT_EQ(back.GetValue(L"설정/이름"), L"홍길동");
    EXPECT_EQ(back.GetAttribute(L"/이름", L"종류"), L"환자");
}

TEST(XmlDocument, ValuesCodePage949CannotSpellMakeTheDocumentUtf8)
{
    TempDir dir;
    CKXXmlDocument doc;
    doc.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><설정/>");
    ASSERT_EQ(doc.SetValue(L"/이름", L"홍길동"), 0);
    ASSERT_EQ(doc.SetValue(L"/camera", L"Caméra"), 0);
    ASSERT_EQ(doc.SetAttribute(L"/이름", 0, L"종류", L"😀"), 0);
    ASSERT_TRUE(doc.Save(dir.Win("u.xml")));
    EXPECT_NE(ReadAll(dir.Native("u.xml")).find("encoding=\"UTF-8\""), std::string::npos);
    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("u.xml")));
    EXPECT_EQ(back.GetValue(L"/이름"), L"홍길동");
    EXPECT_EQ(back.GetValue(L"/camera"), L"Caméra");
    EXPECT_EQ(back.GetAttribute(L"/이름", L"종류"), L"😀");
}

TEST(XmlDocument, LoadAndSavePaths)
{
    TempDir dir;
    CString file = dir.Win("a.xml");
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    doc.SetValue(L"/v", L"1");
    EXPECT_FALSE(doc.Save(L""));  // nothing remembered: nothing written
    EXPECT_TRUE(doc.Save(file));

    CKXXmlDocument other;
    ASSERT_TRUE(other.Load(file));
    other.SetValue(L"/v", L"2");
    EXPECT_TRUE(other.Save(L""));  // back to the loaded file
    EXPECT_FALSE(other.Load(dir.Win("missing.xml")));
    EXPECT_EQ(other.GetValue(L"/v"), L"");
    other.LoadXml(kTemplate);
    other.SetValue(L"/v", L"3");
    EXPECT_TRUE(other.Save());  // the failed load kept the remembered path
    CKXXmlDocument check;
    ASSERT_TRUE(check.Load(file));
    EXPECT_EQ(check.GetValue(L"/v"), L"3");

    // CR LF files read as LF files.
    WriteAll(dir.Native("crlf.xml"), "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<r>\r\n<v><![CDATA[a\r\nb<]]></v>\r\n</r>\r\n");
    ASSERT_TRUE(check.Load(dir.Win("crlf.xml")));
    EXPECT_EQ(check.GetValue(L"/v"), L"a\nb<");
}

TEST(XmlDocument, FailedLoadClearsTheDocument)
{
    TempDir dir;
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    doc.SetValue(L"/a", L"1");
    doc.SetValue(L"/b", L"2");
    ASSERT_TRUE(doc.Save(dir.Win("full.xml")));
    std::string bytes = ReadAll(dir.Native("full.xml"));
    WriteAll(dir.Native("cut.xml"), bytes.substr(0, bytes.find("<b>")));
    CKXXmlDocument cut;
    EXPECT_FALSE(cut.Load(dir.Win("cut.xml")));
    EXPECT_EQ(cut.GetValue(L"/a"), L"");
    EXPECT_EQ(cut.SetValue(L"/a", L"x"), -1);
    WriteAll(dir.Native("empty.xml"), "");
    EXPECT_FALSE(cut.Load(dir.Win("empty.xml")));
}

TEST(XmlDocument, FailedSaveKeepsTheOldFile)
{
    TempDir dir;
    CString file = dir.Win("c.xml");
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    doc.SetValue(L"/v", L"old");
    ASSERT_TRUE(doc.Save(file));
    std::string before = ReadAll(dir.Native("c.xml"));

    // A write that runs out of room (here a file size limit) must not touch the old file.
    doc.SetValue(L"/v", CString(L'x', 200000));
    struct rlimit old {};
    ::getrlimit(RLIMIT_FSIZE, &old);
    struct rlimit small = old;
    small.rlim_cur = 4096;
    auto previous = ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &small);
    bool saved = doc.Save(file);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved);
    EXPECT_EQ(ReadAll(dir.Native("c.xml")), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(XmlDocument, SaveIntoMissingFolderFailsAndOverlongPathsAreRefused)
{
    TempDir dir;
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    EXPECT_FALSE(doc.Save(dir.Win("no/such/folder/x.xml")));

    // 779 bytes is the limit; a Hangul syllable is two bytes. Folder names stay under the
    // file system's 255-byte limit.
    CString path = dir.Win("") + L"\\";
    std::string native = dir.path();
    while (path.GetLength() < 600) {
        path += CString(L'd', 100) + L"\\";
        native += "/" + std::string(100, 'd');
        ASSERT_EQ(::mkdir(native.c_str(), 0755), 0);
    }
    int room = static_cast<int>(CKXXmlDocument::kMaxPathBytes) - path.GetLength() - 4;
    ASSERT_GT(room, 10);
    EXPECT_TRUE(doc.Save(path + CString(L'a', room) + L".xml"));
    EXPECT_TRUE(doc.Load(path + CString(L'a', room) + L".xml"));
    CString tooLong = path + CString(L'a', room - 1) + L"가.xml";
    EXPECT_FALSE(doc.Save(tooLong));
    EXPECT_FALSE(doc.Load(tooLong));
    EXPECT_EQ(doc.GetValue(L"/"), L"");
}

namespace {
std::string Finding(const std::string& name) { return std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/xml_document/" + name; }
}  // namespace

TEST(XmlDocument, DeeplyNestedFilesAreRefusedAndShallowOnesLoad)
{
    TempDir dir;
    std::string nested, closing;
    for (int i = 0; i < 50000; ++i) {
        nested += "<a>";
        closing += "</a>";
    }
    WriteAll(dir.Native("nested.xml"), nested + closing);
    WriteAll(dir.Native("unclosed.xml"), std::string(nested) + nested.substr(0, 30000));
    // Quoted values and comments cannot hide the nesting from the count.
    std::string quoted;
    for (int i = 0; i < 1000; ++i)
        quoted += "<a v=\"</a>\"><!-- </a> -->";
    WriteAll(dir.Native("quoted.xml"), quoted);
    CKXXmlDocument doc;
    EXPECT_FALSE(doc.Load(dir.Win("nested.xml")));
    EXPECT_FALSE(doc.Load(dir.Win("unclosed.xml")));
    EXPECT_FALSE(doc.Load(dir.Win("quoted.xml")));
    doc.LoadXml(CString(quiva::Utf8ToWide(nested + closing)));
    EXPECT_EQ(doc.SetValue(L"/a", L"x"), -1);

    std::string fine;
    for (int i = 0; i < CKXXmlDocument::kMaxDepth - 1; ++i)
        fine += "<a>";
    fine += "deep";
    for (int i = 0; i < CKXXmlDocument::kMaxDepth - 1; ++i)
        fine += "</a>";
    WriteAll(dir.Native("fine.xml"), fine);
    ASSERT_TRUE(doc.Load(dir.Win("fine.xml")));
    std::wstring path;
    for (int i = 0; i < CKXXmlDocument::kMaxDepth - 2; ++i)
        path += L"/a";
    EXPECT_EQ(doc.GetValue(path.c_str()), L"deep");
}

// The worst files just under the bounds every reader keeps (quiva::kMaxDataFileBytes bytes,
// kMaxNodes nodes): dense with empty elements, with elements holding text, with attributes, with
// comments, and one long text. Each loads and has a setting looked up among the root's children
// well within the generous bound here (a file at the old bound took minutes under the
// sanitizers); one node or one byte more is refused, and the load says why.
TEST(XmlDocument, FilesJustUnderTheBoundsLoadQuicklyAndOnePastAreRefused)
{
    TempDir dir;
    const std::string head = "<?xml version=\"1.0\" encoding=\"euc-kr\"?><r>", tail = "</r>";
    // Pieces of `each` nodes after the declaration and the root, `nodes` in all.
    auto dense = [&](const std::string& piece, size_t each, size_t nodes) {
        std::string text = head;
        for (size_t made = 2; made + each <= nodes; made += each)
            text += piece;
        return text + tail;
    };
    std::string attributes = "<a";
    for (int i = 0; i < CKXXmlDocument::kMaxAttributes - 1; ++i)
        attributes += " b" + std::to_string(i) + "=\"\"";
    attributes += "/>";
    const size_t nodes = CKXXmlDocument::kMaxNodes;
    const std::vector<std::pair<std::string, size_t>> pieces = {
        {"<a/>", 1}, {"<a>x</a>", 2}, {attributes, static_cast<size_t>(CKXXmlDocument::kMaxAttributes)}, {"<!---->", 1}};
    const std::string file = dir.Native("worst.xml");
    CKXXmlDocument doc;
    for (const auto& [piece, each] : pieces) {
        WriteAll(file, dense(piece, each, nodes));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(doc.Load(dir.Win("worst.xml"))) << piece.substr(0, 8) << ": " << doc.GetLoadError().GetString();
        EXPECT_EQ(doc.GetValue(L"/window"), L"");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << piece.substr(0, 8);
        WriteAll(file, dense(piece, each, nodes + each));
        EXPECT_FALSE(doc.Load(dir.Win("worst.xml"))) << piece.substr(0, 8);
        EXPECT_NE(doc.GetLoadError().Find(L"more than"), -1) << doc.GetLoadError().GetString();
    }
    // The file at the byte bound dense with empty elements is refused before a tree is made.
    WriteAll(file, dense("<a/>", 1, quiva::kMaxDataFileBytes / 4 - head.size()));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(doc.Load(dir.Win("worst.xml")));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));

    const std::string text = std::string(quiva::kMaxDataFileBytes - head.size() - tail.size(), 'x');
    WriteAll(file, head + text + tail);
    start = std::chrono::steady_clock::now();
    ASSERT_TRUE(doc.Load(dir.Win("worst.xml"))) << doc.GetLoadError().GetString();
    EXPECT_EQ(doc.GetValue(L"/").GetLength(), static_cast<int>(text.size()));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    WriteAll(file, head + text + "x" + tail);
    EXPECT_FALSE(doc.Load(dir.Win("worst.xml")));
    EXPECT_NE(doc.GetLoadError().Find(L"larger than"), -1) << doc.GetLoadError().GetString();
}

TEST(XmlDocument, SavedDocumentsAreWrittenInTheirDeclaredEncoding)
{
    TempDir dir;
    // No encoding declared, an unquoted value in code page 949: saved, it says so and loads.
    CKXXmlDocument doc;
    ASSERT_TRUE(doc.Load(CString(quiva::Utf8ToWide(Finding("xml2-saved-not-loadable-min.xml")))));
    const CString before = doc.GetAttribute(L"/", L"i");
    ASSERT_TRUE(doc.Save(dir.Win("a.xml")));
    EXPECT_NE(ReadAll(dir.Native("a.xml")).find("encoding=\"euc-kr\""), std::string::npos);
    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("a.xml")));
    EXPECT_EQ(back.GetAttribute(L"/", L"i"), before);

    // A UTF-8 document stays UTF-8 under its declaration, Korean and all.
    ASSERT_TRUE(doc.Load(CString(quiva::Utf8ToWide(Finding("xml2-utf8-declared.xml")))));
    ASSERT_EQ(doc.SetValue(L"/Name", L"김"), 0);
    ASSERT_TRUE(doc.Save(dir.Win("u.xml")));
    const std::string bytes = ReadAll(dir.Native("u.xml"));
    EXPECT_NE(bytes.find("encoding=\"UTF-8\""), std::string::npos);
    EXPECT_NE(bytes.find(quiva::WideToUtf8(L"<Name>김</Name>")), std::string::npos);
    ASSERT_TRUE(back.Load(dir.Win("u.xml")));
    EXPECT_EQ(back.GetValue(L"/Name"), L"김");

    // A file an earlier save wrote in code page 949 under a UTF-8 declaration reads as what it
    // holds, and is saved under the declaration of its bytes.
    WriteAll(dir.Native("old.xml"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Config><Name>" +
                                        quiva::WideToMultiByte(L"김", CP_KOREAN) + "</Name></Config>");
    ASSERT_TRUE(doc.Load(dir.Win("old.xml")));
    EXPECT_EQ(doc.GetValue(L"/Name"), L"김");
    ASSERT_TRUE(doc.Save());
    EXPECT_NE(ReadAll(dir.Native("old.xml")).find("encoding=\"euc-kr\""), std::string::npos);
    ASSERT_TRUE(back.Load(dir.Win("old.xml")));
    EXPECT_EQ(back.GetValue(L"/Name"), L"김");
}

TEST(XmlDocument, DeclarationValuesHoldingQuotesAreWrittenEscaped)
{
    TempDir dir;
    // The quote and ">" in the version come from references; written back bare, they would end
    // the declaration early and the saved file would load empty.
    WriteAll(dir.Native("d.xml"), ReadAll(Finding("xml6-escaped-declaration-min.xml")) + "><Name>a</Name></C>");
    CKXXmlDocument doc;
    ASSERT_TRUE(doc.Load(dir.Win("d.xml")));
    ASSERT_EQ(doc.SetValue(L"/added/value", L"김"), 0);
    ASSERT_TRUE(doc.Save());
    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("d.xml"))) << ReadAll(dir.Native("d.xml"));
    EXPECT_EQ(back.GetValue(L"/Name"), L"a");
    EXPECT_EQ(back.GetValue(L"/added/value"), L"김");
}

TEST(XmlDocument, TextBesideCommentsIsReadAndReplacedWhole)
{
    TempDir dir;
    CKXXmlDocument doc;
    ASSERT_TRUE(doc.Load(CString(quiva::Utf8ToWide(Finding("xml3-comment-in-leaf.xml")))));
    EXPECT_EQ(doc.GetValue(L"/Quality"), L"90");
    ASSERT_EQ(doc.SetValue(L"/Quality", L"80"), 0);
    EXPECT_EQ(doc.GetValue(L"/Quality"), L"80");
    ASSERT_TRUE(doc.Save(dir.Win("q.xml")));
    const std::string bytes = ReadAll(dir.Native("q.xml"));
    EXPECT_NE(bytes.find("<Quality><!-- 0 to 100 -->80</Quality>"), std::string::npos) << bytes;
    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("q.xml")));
    EXPECT_EQ(back.GetValue(L"/Quality"), L"80");

    doc.LoadXml(L"<r><v>a<!--1-->b<!--2-->c<e/>d</v></r>");
    EXPECT_EQ(doc.GetValue(L"/v"), L"abc");
    ASSERT_EQ(doc.SetValue(L"/v", L"new"), 0);
    EXPECT_EQ(doc.GetValue(L"/v"), L"new");
    EXPECT_EQ(doc.SetValue(L"/v/e", L"kept"), 0);  // the child element stayed
    EXPECT_EQ(doc.GetValue(L"/v/e"), L"kept");
}

TEST(XmlDocument, BlankValuesSurviveSaveAndLoad)
{
    TempDir dir;
    for (const char* file : {"xml4-blank-value.xml", "xml4-blank-value-lost-min.xml"}) {
        CKXXmlDocument doc;
        if (!doc.Load(CString(quiva::Utf8ToWide(Finding(file)))))
            doc.LoadXml(kTemplate);
        for (const wchar_t* blank : {L" ", L"  ", L"\t", L"\n \n"}) {
            ASSERT_EQ(doc.SetValue(L"/Name", blank), 0);
            ASSERT_TRUE(doc.Save(dir.Win("b.xml")));
            CKXXmlDocument back;
            ASSERT_TRUE(back.Load(dir.Win("b.xml"))) << file;
            EXPECT_EQ(back.GetValue(L"/Name"), blank) << file;
        }
    }
    // Reading a file makes every line end a line feed; a carriage return in a value survives
    // as a reference in text, and in a value of blanks only it is a line feed from the start.
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    ASSERT_EQ(doc.SetValue(L"/markup", L"a<b\r\nc"), 0);
    ASSERT_EQ(doc.SetValue(L"/blank", L"\r\n"), 0);
    EXPECT_EQ(doc.GetValue(L"/blank"), L"\n");
    ASSERT_TRUE(doc.Save(dir.Win("r.xml")));
    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("r.xml")));
    EXPECT_EQ(back.GetValue(L"/markup"), L"a<b\r\nc");
    EXPECT_EQ(back.GetValue(L"/blank"), L"\n");
    // Form feeds and vertical tabs cannot be carried by XML (a value of one read back empty):
    // they are kept as spaces, as are the other control characters.
    ASSERT_EQ(doc.SetValue(L"/feed", L"\f"), 0);
    ASSERT_EQ(doc.SetValue(L"/tab", L"\v"), 0);
    ASSERT_EQ(doc.SetValue(L"/mixed", L"a\x01" L"b\f"), 0);
    ASSERT_TRUE(doc.Save(dir.Win("r.xml")));
    ASSERT_TRUE(back.Load(dir.Win("r.xml")));
    EXPECT_EQ(back.GetValue(L"/feed"), L" ");
    EXPECT_EQ(back.GetValue(L"/tab"), L" ");
    EXPECT_EQ(back.GetValue(L"/mixed"), L"a b ");
    // Text given as a string has its line ends made LF as a file's would.
    doc.LoadXml(L"<r><v><![CDATA[a\r\nb\r]]></v></r>");
    EXPECT_EQ(doc.GetValue(L"/v"), L"a\nb\n");
}

TEST(XmlDocument, ListsReadEntryByEntryInAnyOrder)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphList><DVD>1</DVD></GraphList>");
    const int count = 20000;
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(doc.SetValue(L"/Graph", std::to_wstring(i).c_str(), i), 0);
    // Read in order, as the graph list is; the walk continues where the last read stopped.
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(doc.GetValue((L"/Graph@" + std::to_wstring(i)).c_str()), std::to_wstring(i).c_str());
    EXPECT_EQ(doc.GetValue((L"/Graph@" + std::to_wstring(count)).c_str()), L"");
    // Backwards, after a change and from another start, the answers stay right.
    EXPECT_EQ(doc.GetValue(L"/Graph@7"), L"7");
    EXPECT_EQ(doc.GetValue(L"/Graph", 3), L"3");
    ASSERT_EQ(doc.SetValue(L"/Graph", L"last", count + 1), 0);
    EXPECT_EQ(doc.GetValue((L"/Graph@" + std::to_wstring(count + 1)).c_str()), L"last");
    EXPECT_EQ(doc.GetValue(L"/DVD@1"), L"0");
    doc.LoadXml(L"<r><Graph>a</Graph><Graph>b</Graph></r>");
    EXPECT_EQ(doc.GetValue(L"/Graph@1"), L"b");
}

// A list appended in one go and read in one walk: the names it converted once are converted again
// when a value midway turns the document to UTF-8, so every name reads back.
TEST(XmlDocument, ListsAppendedInOneGoReadBackAsAppended)
{
    TempDir dir;
    CKXXmlDocument doc;
    doc.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><목록/>");
    const std::vector<std::vector<const wchar_t*>> rows = {
        {L"하나", L"가", L"A"}, {L"둘", L"Caméra", L"B"}, {L"셋", L"다", nullptr}};
    size_t next = 0;
    ASSERT_EQ(doc.AppendList(L"/", L"항목", {L"종류", L"kind"},
                             [&](const wchar_t*& value, std::vector<const wchar_t*>& values) {
                                 if (next == rows.size())
                                     return false;
                                 value = rows[next][0];
                                 values = {rows[next][1], rows[next][2]};
                                 ++next;
                                 return true;
                             }),
              0);
    ASSERT_TRUE(doc.Save(dir.Win("l.xml")));
    CKXXmlDocument back;
    ASSERT_TRUE(back.Load(dir.Win("l.xml")));
    std::vector<std::wstring> read;
    back.ReadList(L"/항목", {L"종류", L"kind"}, [&](const CString& value, const std::vector<CString>& values) {
        read.push_back(value.str() + L"|" + values[0].str() + L"|" + values[1].str());
        return true;
    });
    EXPECT_EQ(read, (std::vector<std::wstring>{L"하나|가|A", L"둘|Caméra|B", L"셋|다|"}));
}

// A list saved row by row is the file AppendList and Save write, byte for byte: rows holding
// markup, blanks, nothing or control characters (in a plain ASCII row's values too, short and
// long), rows giving fewer values, a row that turns the document to UTF-8 after others (ASCII and
// not) were printed, under an element that had no children or holds text, and no rows; lists of
// thousands.
TEST(XmlDocument, AListSavedRowByRowIsTheFileTheTreeWouldWrite)
{
    TempDir dir;
    using Rows = std::vector<std::vector<const wchar_t*>>;
    // The rows as AppendList takes them, or (`Text` std::wstring_view) as SaveWithList does: null
    // is empty.
    auto rowsOf = [](const Rows& rows, auto text) {
        using Text = decltype(text);
        return [&rows, at = size_t{0}](Text& value, std::vector<Text>& values) mutable {
            if (at == rows.size())
                return false;
            auto cell = [](const wchar_t* given) { return given ? Text(given) : Text(L""); };
            value = cell(rows[at][0]);
            values.clear();
            for (size_t i = 1; i < rows[at].size(); ++i)
                values.push_back(cell(rows[at][i]));
            ++at;
            return true;
        };
    };
    const Rows plain = {{L"c:\\a\\1.jpg", L"내시경", L"TRUE"}, {L"c:\\a\\2.jpg", L"Endo", nullptr}};
    const Rows awkward = {{L"c:\\a&b\\<1>.jpg", L"\"x\"", L"FALSE"}, {L"  ", L"", L"y"}, {L"", L"a]]>b", L"z"},
                          {L"tab\tand\vform", L"q"}, {L"c:\\a\\3.jpg", L"a&\"b'<>", L"\x01x\x7f"},
                          {nullptr}, {L"c:\\r\r\n.jpg", L"r", L"s"},
                          {L"c:\\store\\12345\\Endo&Co\\2024'\\\x1f.jpg", L"ab\x01-EFGH", L"'abc"}};
    // Characters beyond ASCII whose low byte is a letter or markup, in long and short values.
    const Rows recoding = {{L"c:\\a\\1.jpg", L"Endo", L"TRUE"}, {L"가", L"나", L"다"}, {L"c:\\Caméra.jpg", L"é", L"F"},
                           {L"c:\\Łódź\\store\\12345\\Endo\\1.jpg", L"Endo", L"F"}, {L"c:\\2.jpg", L"Łódź", L"F"},
                           {L"c:\\3.jpg", L"E", L"ĦĦĦĦ"}, {L"라", L"마", L"바"}};
    // Lists long enough to be written out in blocks as they are printed, one of them turned to
    // UTF-8 by its last row, after blocks were written.
    std::vector<std::wstring> paths;
    for (int i = 0; i < 4000; ++i)
        paths.push_back(L"c:\\store\\12345\\Endo\\20240105\\" + std::to_wstring(100000000 + i) + L".jpg");
    Rows many, manyRecoding;
    for (const std::wstring& path : paths)
        many.push_back({path.c_str(), L"Endo", L"FALSE"});
    manyRecoding = many;
    manyRecoding.push_back({L"c:\\Caméra.jpg", L"é", L"F"});
    // Rows of studies titled in Hangul, in folders named after them, then of one titled in ASCII:
    // the title, the folder and the marks of a row kept by the next, and changed between rows.
    std::vector<std::wstring> hangulPaths;
    const wchar_t* const studies[] = {L"내시경", L"위&장", L"Endo"};
    const wchar_t* const folders[] = {L"c:\\영상\\12345\\내시경\\", L"c:\\영상\\12345\\위장\\", L"c:\\img\\12345\\Endo\\"};
    for (int i = 0; i < 300; ++i)
        hangulPaths.push_back(folders[i / 100] + std::to_wstring(100 + i) + L".jpg");
    Rows hangul;
    for (int i = 0; i < 300; ++i)
        hangul.push_back({hangulPaths[i].c_str(), studies[i / 100], i % 3 ? L"FALSE" : L"TRUE"});
    int file = 0;
    for (const wchar_t* document : {L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><QUIVA><patient>P</patient></QUIVA>",
                                    kTemplate, L"<r><a><b/></a></r>", L"<r><a>text</a></r>"}) {
        for (const Rows* rows :
             std::initializer_list<const Rows*>{&plain, &awkward, &recoding, &many, &manyRecoding, &hangul, nullptr}) {
            const Rows none;
            const Rows& given = rows ? *rows : none;
            const std::string tree = "t" + std::to_string(file) + ".xml", rowByRow = "r" + std::to_string(file++) + ".xml";
            CKXXmlDocument built, printed;
            built.LoadXml(document);
            printed.LoadXml(document);
            ASSERT_EQ(built.AppendList(L"/a", L"image", {L"Study", L"Saved"}, rowsOf(given, L"")), 0);
            ASSERT_TRUE(built.Save(dir.Win(tree)));
            ASSERT_TRUE(printed.SaveWithList(dir.Win(rowByRow), L"/a", L"image", {L"Study", L"Saved"},
                                             rowsOf(given, std::wstring_view()), given.size()));
            EXPECT_EQ(ReadAll(dir.Native(rowByRow)), ReadAll(dir.Native(tree))) << tree;
        }
    }
}

TEST(XmlDocument, NamesThatWouldNotLoadAgainAreNotCreated)
{
    CKXXmlDocument doc;
    doc.LoadXml(kTemplate);
    EXPECT_EQ(doc.SetValue(L"/two words", L"x"), -1);
    EXPECT_EQ(doc.SetValue(L"/a<b", L"x"), -1);
    EXPECT_EQ(doc.SetValue(L"/1st", L"x"), -1);
    EXPECT_EQ(doc.SetAttribute(L"/ok", 0, L"", L"x"), -1);
    EXPECT_EQ(doc.SetAttribute(L"/ok", 0, L"a=b", L"x"), -1);
    EXPECT_EQ(doc.SetValue(L"/이름_1.a-b:c", L"x"), 0);
    EXPECT_EQ(doc.GetValue(L"/이름_1.a-b:c"), L"x");
}

TEST(XmlDocument, NamesAreFoundAsFirstOfTheirNameAcrossAppendsAndAWalkSeesEveryChild)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<r><Item v=\"1\"/><x/><item v=\"2\"/><항목 v=\"3\"/></r>");
    // The first of a name, its letter case aside, before and after elements are appended to the
    // same parent, one at a time and as a list.
    EXPECT_EQ(doc.GetAttribute(L"/ITEM", L"v"), L"1");
    ASSERT_EQ(doc.SetAttribute(L"/added", 0, L"v", L"4"), 0);
    ASSERT_EQ(doc.AppendElement(L"/", L"later", L"", {{L"v", L"5"}}), 0);
    ASSERT_EQ(doc.AppendElement(L"/", L"item", L"", {{L"v", L"6"}}), 0);
    EXPECT_EQ(doc.GetAttribute(L"/item", L"v"), L"1");
    EXPECT_EQ(doc.GetAttribute(L"/item@1", L"v"), L"");  // the element after it, <x/>
    EXPECT_EQ(doc.GetAttribute(L"/added", L"v"), L"4");
    EXPECT_EQ(doc.GetAttribute(L"/Later", L"v"), L"5");
    EXPECT_EQ(doc.GetAttribute(L"/항목", L"v"), L"3");
    // A document loaded again is looked up afresh.
    doc.LoadXml(L"<r><item v=\"7\"/></r>");
    EXPECT_EQ(doc.GetAttribute(L"/item", L"v"), L"7");
    EXPECT_TRUE(doc.GetAttribute(L"/added", L"v").IsEmpty());

    std::vector<std::pair<CString, CString>> seen;
    doc.LoadXml(L"<r><list><a v=\"1\"/><B v=\"2\"/><a/></list></r>");
    doc.ReadChildren(L"/list", {L"v", L"none"}, [&](const CString& name, std::vector<CString>& values) {
        EXPECT_TRUE(values.at(1).IsEmpty());
        seen.emplace_back(name, values.at(0));
        return name != L"B";
    });
    EXPECT_EQ(seen, (std::vector<std::pair<CString, CString>>{{L"a", L"1"}, {L"B", L"2"}}));
}

TEST(XmlDocument, AttributesRepeatedOrBeyondTheBoundAreLeftOutAndTheRestIsRead)
{
    // The parser refuses a whole text for one repeated attribute, and checks each attribute
    // against all before it: a tag of a hundred thousand would take hours. The first of a
    // repeated name and the first kMaxAttributes of a tag are kept, at once.
    auto tag = [](int attributes, const char* value) {
        std::string text = "<r><e ";
        for (int i = 0; i < attributes; ++i)
            text += "a" + std::to_string(i) + "=\"" + value + "\" ";
        return text + "/><f k=\"1\"/></r>";
    };
    TempDir dir;
    CKXXmlDocument doc;
    WriteAll(dir.Native("bound.xml"), tag(CKXXmlDocument::kMaxAttributes, "v"));
    ASSERT_TRUE(doc.Load(dir.Win("bound.xml")));
    EXPECT_EQ(doc.GetAttribute(L"/e", L"a63"), L"v");
    // Quoted "=" signs and ">" are values, not attributes nor the tag's end.
    WriteAll(dir.Native("quoted.xml"), tag(CKXXmlDocument::kMaxAttributes, "x=y>z"));
    ASSERT_TRUE(doc.Load(dir.Win("quoted.xml")));
    EXPECT_EQ(doc.GetAttribute(L"/e", L"a63"), L"x=y>z");
    WriteAll(dir.Native("past.xml"), tag(CKXXmlDocument::kMaxAttributes + 1, "v"));
    ASSERT_TRUE(doc.Load(dir.Win("past.xml")));
    EXPECT_EQ(doc.GetAttribute(L"/e", L"a63"), L"v");
    EXPECT_TRUE(doc.GetAttribute(L"/e", L"a64").IsEmpty());
    EXPECT_EQ(doc.GetAttribute(L"/f", L"k"), L"1");
    WriteAll(dir.Native("huge.xml"), tag(100000, "w"));
    ASSERT_TRUE(doc.Load(dir.Win("huge.xml")));
    EXPECT_EQ(doc.GetAttribute(L"/e", L"a0"), L"w");
    EXPECT_TRUE(doc.GetAttribute(L"/e", L"a99999").IsEmpty());
    doc.LoadXml(CString(quiva::Utf8ToWide(tag(100000, "u"))));
    EXPECT_EQ(doc.GetAttribute(L"/e", L"a0"), L"u");
    WriteAll(dir.Native("repeated.xml"), "<r><e q=\"80\" useVideo='TRUE' q=\"20\"/><f k=\"2\"/></r>");
    ASSERT_TRUE(doc.Load(dir.Win("repeated.xml")));
    EXPECT_EQ(doc.GetAttribute(L"/e", L"q"), L"80");
    EXPECT_EQ(doc.GetAttribute(L"/e", L"useVideo"), L"TRUE");
    EXPECT_EQ(doc.GetAttribute(L"/f", L"k"), L"2");
}

TEST(XmlDocument, AUtf16FileWithItsByteOrderMarkIsReadAndSavedAgainReadably)
{
    TempDir dir;
    const std::wstring text = L"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r><e name=\"김영희\">홍길동</e></r>";
    std::string little = "\xFF\xFE" + quiva::WideToUtf16LE(text), big = "\xFE\xFF";
    for (size_t i = 2; i + 1 < little.size(); i += 2)
        big += std::string{little[i + 1], little[i]};
    for (const std::string& bytes : {little, big}) {
        WriteAll(dir.Native("wide.xml"), bytes);
        CKXXmlDocument doc;
        ASSERT_TRUE(doc.Load(dir.Win("wide.xml")));
        EXPECT_EQ(doc.GetValue(L"/e"), L"홍길동");
        EXPECT_EQ(doc.GetAttribute(L"/e", L"name"), L"김영희");
        ASSERT_TRUE(doc.Save(dir.Win("again.xml")));
        CKXXmlDocument again;
        ASSERT_TRUE(again.Load(dir.Win("again.xml")));
        EXPECT_EQ(again.GetValue(L"/e"), L"홍길동");
    }
}
