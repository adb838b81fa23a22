#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "framework/CKXXmlDocument.h"
#include "platform/base/clock.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "tests/app/CaptureStoreTestSupport.h"

namespace fs = std::filesystem;
using quiva::test::ReadAll;
using quiva::test::WriteAll;

namespace {

// A still file the loader can read.
void Still(const std::string& path)
{
    fs::create_directories(fs::path(path).parent_path());
    WriteAll(path, quiva::test::MakeBmpForStore());
}

// A folder of stills named 100000.bmp on, every one listed by its info.xml under the chart;
// `windowsFolder` is the folder's Windows path with a separator at its end.
void ListedStills(const std::string& folder, const CString& windowsFolder, const CString& chart, int stills)
{
    CString xml = CString(L"<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"") + chart + L"\">A</patient>";
    for (int i = 0; i < stills; ++i) {
        const std::string name = std::to_string(100000 + i) + ".bmp";
        Still(folder + "/" + name);
        xml += CString(L"<image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"FALSE\" "
                       L"IsVideo=\"FALSE\">") +
               windowsFolder + quiva::Utf8ToWide(name).c_str() + L"</image>";
    }
    WriteAll(folder + "/info.xml", (xml + L"</QUIVA>").ToUtf8());
}

// The paths an info.xml lists, in its order; none when it cannot be read.
std::vector<CString> ListedPaths(const CString& infoXml)
{
    CKXXmlDocument xml;
    std::vector<CString> listed;
    if (xml.Load(infoXml))
        for (int i = 0; !xml.GetValue(quiva::FormatWide(L"/image@%d", i).c_str()).IsEmpty(); ++i)
            listed.push_back(xml.GetValue(quiva::FormatWide(L"/image@%d", i).c_str()));
    return listed;
}

// A view that lays the stills of an open out by the sizes their headers give, as the strip does,
// and reads no picture.
class SizeNotingView : public CKXCaptureFileListener {
public:
    void Relayout() override {}
    void ShowNewest(int) override {}
    void KeepPicture(_KXCaptureFileInfo*, Gdiplus::Image&) override { ADD_FAILURE() << "a picture kept"; }
    void KeepFile(_KXCaptureFileInfo* info) override
    {
        ADD_FAILURE() << "a picture read at the open";
        NoteFile(info, 0, 0);
    }
    void NoteFile(_KXCaptureFileInfo* info, UINT width, UINT height) override
    {
        info->width = width;
        info->height = height;
        info->pictureDeferred = true;
    }
};

}  // namespace

using ModelManager = CaptureStore;

TEST_F(ModelManager, InfoXmlInItsExactForm)
{
    CKXQUIVACaptureModel* m = manager.GetOrCreateModel(L"12345", L"O'Neil & 홍");
    m->SetStudyName(L"Endo");
    m->SetStudyDate(L"20240105");
    const std::string folder = Store("12345/Endo/20240105");
    Still(folder + "/093015123.bmp");
    Still(folder + "/093016000.bmp");
    Still(folder + "/093017000.bmp");
    const CString base = Win("store") + L"\\12345\\Endo\\20240105\\";
    const auto still = [&](const wchar_t* name) {
        return CKXQUIVACaptureModel::MakeRecord(base + name, L"Endo", L"20240105", CKXQUIVACaptureModel::FileKind::Still);
    };
    m->AddFileInfo(still(L"093015123.bmp"));
    auto deleted = still(L"093016000.bmp");
    deleted->present = 0;
    m->AddFileInfo(std::move(deleted));
    auto saved = still(L"093017000.bmp");
    saved->saved = 1;
    saved->present = 0;
    m->AddFileInfo(std::move(saved));
    fs::remove(folder + "/093016000.bmp");  // gone: left out without a gap
    m->WriteInfoXml(L"");
    const std::string expected = std::string("<?xml version=\"1.0\" encoding=\"euc-kr\" ?>\n<QUIVA>\n") +
                                 "    <patient chartNo=\"12345\" Study=\"Endo\" StudyDate=\"20240105\">\n        <![CDATA[O'Neil & \xC8\xAB]]>\n    </patient>\n" +
                                 "    <image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" +
                                 (base + L"093015123.bmp").ToUtf8() + "</image>\n" +
                                 "    <image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"TRUE\" Deleted=\"TRUE\" IsVideo=\"FALSE\">" +
                                 (base + L"093017000.bmp").ToUtf8() + "</image>\n</QUIVA>\n";
    EXPECT_EQ(ReadAll(folder + "/info.xml"), expected);
    EXPECT_FALSE(fs::exists(folder + "/info.xml.tmp"));
}

TEST_F(ModelManager, StoreIsReadBackAsItWasLeft)
{
    const std::string d1 = Store("12345/Endo/20240105"), d2 = Store("12345/Colon/20240106");
    Still(d1 + "/1.bmp");
    Still(d1 + "/2.bmp");
    Still(d2 + "/3.bmp");
    Still(d2 + "/LOOSE.JPG");
    Still(d2 + "/x.png");
    Still(Store("other/outside.bmp"));
    const CString w1 = Win("store") + L"\\12345\\Endo\\20240105\\", w2 = Win("store") + L"\\12345\\Colon\\20240106\\";
    WriteAll(d1 + "/info.xml",
             (CString(L"<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"Ab12\">A</patient>") +
                               L"<image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"true\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" + w1 + L"1.bmp</image>" +
                               L"<image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" + w1 + L"gone.bmp</image>" +
                               L"<image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"TRUE\" IsVideo=\"FALSE\">" + w1 + L"2.bmp</image>" +
                               L"<image Study=\"X\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" + Win("store") + L"\\other\\outside.bmp</image>" +
                               L"<image></image><image Study=\"Endo\">" + w1 + L"never.bmp</image></QUIVA>").ToUtf8());
    WriteAll(d2 + "/info.xml",
             (CString(L"<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"Ab12\">B</patient>") +
                               L"<image Study=\"Colon\" StudyDate=\"20240106\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" + w2 + L"3.bmp</image></QUIVA>").ToUtf8());
    // Another chart in the first one's upper case is another patient's (with no file here, its
    // model goes); a folder without a chart number is skipped with everything below it.
    WriteAll(Store("12345/info.xml"), "<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"AB12\">C</patient></QUIVA>");
    Still(Store("nochart/a/1.bmp"));
    WriteAll(Store("nochart/info.xml"), "<?xml version=\"1.0\"?><QUIVA><patient>D</patient></QUIVA>");
    WriteAll(Store("nochart/a/info.xml"), "<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"zz\">E</patient></QUIVA>");
    // An info.xml that does not parse: its loose files are not read.
    Still(Store("broken/1/1.bmp"));
    WriteAll(Store("broken/1/info.xml"), "<QUIVA><patient chartNo=");

    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 1) << "models without files are dropped";
    CKXQUIVACaptureModel* m = manager.GetModel(0);
    // Folders are read in name order (Colon before Endo); the name read last stays.
    EXPECT_EQ(m->GetPatientName(), L"A");
    ASSERT_EQ(m->GetFileCount(), 4);
    EXPECT_EQ(m->GetFileInfo(0)->path, w2 + L"3.bmp");
    EXPECT_EQ(m->GetFileInfo(1)->path, w2 + L"LOOSE.JPG");
    EXPECT_EQ(m->GetFileInfo(1)->study, L"Colon") << "the study its folder names";
    EXPECT_EQ(m->GetFileInfo(1)->present, 1) << "a capture nobody deleted is kept";
    EXPECT_EQ(m->GetFileInfo(1)->date, L"20240106");
    EXPECT_EQ(m->GetFileInfo(2)->path, w1 + L"1.bmp");
    EXPECT_EQ(m->GetFileInfo(2)->saved, 0) << "only \"TRUE\" is true";
    EXPECT_EQ(m->GetFileInfo(3)->path, w1 + L"2.bmp");
    EXPECT_EQ(m->GetFileInfo(3)->present, 0);
    EXPECT_TRUE(fs::exists(Store("other/outside.bmp")));
}

// A capture no info.xml lists takes the study and date its folder was named after: the title
// a listed capture of that folder name carries (the folder's name has "_" for some characters),
// or the folder's name; a folder of an untitled study has none. Only where the folder names no
// study date does it come back under "None" and the day of its file.
TEST_F(ModelManager, ALooseCaptureIsListedUnderTheStudyAndDateItsFolderNames)
{
    const CString chart = L"<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"12345\">A</patient>";
    const std::string titled = Store("12345/A_B/20240107"), named = Store("12345/Colon/20240108"),
                      untitled = Store("12345/20240109"), other = Store("12345/misc");
    ListedStills(titled, Win("store") + L"\\12345\\A_B\\20240107\\", L"12345", 1);
    // The listed still's title is "Endo" (ListedStills); the one whose folder this is, "A/B".
    std::string xml = ReadAll(titled + "/info.xml");
    xml.insert(xml.find("</QUIVA>"), "<image Study=\"A/B\" StudyDate=\"20240107\">c:\\elsewhere\\1.bmp</image>");
    WriteAll(titled + "/info.xml", xml);
    Still(titled + "/loose.bmp");
    for (const std::string& folder : {named, untitled, other}) {
        Still(folder + "/loose.bmp");
        WriteAll(folder + "/info.xml", (chart + L"</QUIVA>").ToUtf8());
    }
    // A folder whose info.xml was written before its first capture names the title beside the chart.
    const std::string beside = Store("12345/X_Y/20240110");
    Still(beside + "/loose.bmp");
    WriteAll(beside + "/info.xml", "<QUIVA><patient chartNo=\"12345\" Study=\"X:Y\" StudyDate=\"20240110\">A</patient></QUIVA>");
    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 1);
    CKXQUIVACaptureModel* m = manager.GetModel(0);
    std::map<std::wstring, std::pair<std::wstring, std::wstring>> found;  // path: study, date
    for (int i = 0; i < m->GetFileCount(); ++i)
        found[m->GetFileInfo(i)->path.str()] = {m->GetFileInfo(i)->study.str(), m->GetFileInfo(i)->date.str()};
    const CString root = Win("store") + L"\\12345\\";
    using Pair = std::pair<std::wstring, std::wstring>;
    EXPECT_EQ(found[(root + L"A_B\\20240107\\loose.bmp").str()], (Pair{L"A/B", L"20240107"}));
    EXPECT_EQ(found[(root + L"Colon\\20240108\\loose.bmp").str()], (Pair{L"Colon", L"20240108"}));
    EXPECT_EQ(found[(root + L"20240109\\loose.bmp").str()], (Pair{L"", L"20240109"}));
    EXPECT_EQ(found[(root + L"X_Y\\20240110\\loose.bmp").str()], (Pair{L"X:Y", L"20240110"}));
    const Pair none = found[(root + L"misc\\loose.bmp").str()];
    EXPECT_EQ(none.first, L"None");
    EXPECT_EQ(none.second.size(), 8u);
    EXPECT_NE(none.second, L"20240109");
}

// A study folder left without info.xml (its first still cut before the folder was listed, as an
// older version wrote it only after the still): the still comes back to the chart the folder's
// place names, under its study and date, and the chart's patient keeps the name another folder
// gave it. A chart folder whose name may stand for another chart ('_' for a character no folder
// name holds) is not taken for one.
TEST_F(ModelManager, AStudyFolderWithoutInfoXmlComesBackToTheChartItsPlaceNames)
{
    const std::string listed = Store("12345/Endo/20240105"), unlisted = Store("12345/Colon/20240106"),
                      otherChart = Store("67890/20240107"), unsure = Store("12_34/Endo/20240108"),
                      noStudy = Store("55555/misc");
    ListedStills(listed, Win("store") + L"\\12345\\Endo\\20240105\\", L"12345", 1);
    for (const std::string& folder : {unlisted, otherChart, unsure, noStudy})
        Still(folder + "/loose.bmp");
    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 2);
    std::map<std::wstring, std::vector<std::wstring>> found;  // chart: "path study date"
    std::map<std::wstring, std::wstring> names;
    for (int m = 0; m < manager.GetModelCount(); ++m) {
        CKXQUIVACaptureModel* model = manager.GetModel(m);
        names[model->GetChartNo().str()] = model->GetPatientName().str();
        for (int i = 0; i < model->GetFileCount(); ++i) {
            const _KXCaptureFileInfo* f = model->GetFileInfo(i);
            found[model->GetChartNo().str()].push_back(f->path.str() + L" " + f->study.str() + L" " + f->date.str());
        }
    }
    const CString root = Win("store");
    EXPECT_EQ(found[L"12345"].size(), 2u);
    EXPECT_NE(std::find(found[L"12345"].begin(), found[L"12345"].end(),
                        (root + L"\\12345\\Colon\\20240106\\loose.bmp Colon 20240106").str()),
              found[L"12345"].end());
    EXPECT_EQ(names[L"12345"], L"A");
    EXPECT_EQ(found[L"67890"], (std::vector<std::wstring>{(root + L"\\67890\\20240107\\loose.bmp  20240107").str()}));
    EXPECT_EQ(found.count(L"12_34"), 0u);
    EXPECT_EQ(found.count(L"55555"), 0u);
}

TEST_F(ModelManager, OnlyFilesAreCaptures)
{
    // An entry naming the study folder itself is no still: it is not listed, and a commit never
    // takes the folder for a file. Nor is a link, listed or not, to a still or to a folder of
    // stills: it is never followed (a commit would copy and delete what it points at).
    const std::string folder = Store("12345/Endo/20261209");
    Still(folder + "/1.bmp");
    Still(Native("elsewhere/2.bmp"));
    Still(Native("elsewhere/sub/3.bmp"));
    fs::create_symlink(Native("elsewhere/2.bmp"), folder + "/2.bmp");
    fs::create_symlink(Native("elsewhere/2.bmp"), folder + "/loose.bmp");
    fs::create_directory_symlink(Native("elsewhere/sub"), folder + "/sub");
    const CString base = Win("store") + L"\\12345\\Endo\\20261209\\";
    WriteAll(folder + "/info.xml", (CString(L"<QUIVA><patient chartNo=\"12345\">A</patient><image>") + base +
                                    L"</image><image>" + base + L"1.bmp</image><image>" + base +
                                    L"2.bmp</image><image>" + base + L"sub\\3.bmp</image></QUIVA>").ToUtf8());
    WriteAll(Native("elsewhere/sub/info.xml"), "<QUIVA><patient chartNo=\"12345\">A</patient></QUIVA>");
    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 1);
    ASSERT_EQ(manager.GetModel(0)->GetFileCount(), 1);
    EXPECT_EQ(manager.GetModel(0)->GetFileInfo(0)->path, base + L"1.bmp");
}

// Opening a store resolves each listed path a bounded number of times: the lookups grow with the
// stills, not with their pairs (a store of thousands of stills would take minutes to open).
TEST_F(ModelManager, OpeningAStoreLooksUpEachStillABoundedNumberOfTimes)
{
    auto lookupsToOpen = [this](const std::string& chart, int stills) {
        ListedStills(Store(chart + "/Endo/20240105"),
                     Win("store") + L"\\" + CString(quiva::Utf8ToWide(chart).c_str()) + L"\\Endo\\20240105\\",
                     quiva::Utf8ToWide(chart).c_str(), stills);
        CKXQUIVACaptureModelManager opened;
        opened.EnsureImageRoot(Win("store"));
        const uint64_t before = quiva::PathLookupCount();
        opened.LoadAll();
        const uint64_t lookups = quiva::PathLookupCount() - before;
        EXPECT_EQ(opened.GetModelCount(), 1);
        EXPECT_EQ(opened.GetModel(0)->GetFileCount(), stills);
        opened.DeleteAllModels();
        fs::remove_all(Store(chart));
        return lookups;
    };
    const uint64_t small = lookupsToOpen("small", 40);
    const uint64_t large = lookupsToOpen("large", 160);
    // Four times the stills: four times the lookups and some slack, where pairs would give sixteen.
    EXPECT_LT(large, small * 6) << small << " lookups for 40 stills, " << large << " for 160";
    // A few lookups a still (its status, its keys, its picture): none for a commit journal it does not
    // have, whose search by name would read the whole folder once a still.
    EXPECT_LE(large - small, 120u * 8) << small << " lookups for 40 stills, " << large << " for 160";
}

// Opening a store resolves each folder's path a fixed number of times and no still's path, and
// asks the file system for no still's status (but the creation date of a still no info.xml
// lists): the folder's one listing says which listed files are there and what they are, a
// record's key is made from the folder's key and the listed name, and a still's header is read
// relative to its folder. Resolving each listed path again, and a status of every entry listed,
// made the open cost several look-ups a still.
TEST_F(ModelManager, OpeningAStoreResolvesItsFoldersNotItsStills)
{
    constexpr int kStills = 60;  // listed in each date folder, besides one loose still
    for (const char* date : {"20240105", "20240106"}) {
        const std::string folder = Store(std::string("12345/Endo/") + date);
        ListedStills(folder, Win("store") + L"\\12345\\Endo\\" + quiva::Utf8ToWide(date).c_str() + L"\\", L"12345", kStills);
        Still(folder + "/loose.bmp");
    }
    manager.attachView = [](CKXQUIVACaptureModel* model) { model->SetFileListener(std::make_unique<SizeNotingView>()); };
    const uint64_t before = quiva::PathLookupCount(), statusesBefore = quiva::FileStatusCount();
    manager.LoadAll();
    const uint64_t lookups = quiva::PathLookupCount() - before, statuses = quiva::FileStatusCount() - statusesBefore;
    ASSERT_EQ(manager.GetModelCount(), 1);
    constexpr int kFiles = 2 * (kStills + 1);
    EXPECT_EQ(manager.GetModel(0)->GetFileCount(), kFiles);
    EXPECT_EQ(manager.GetModel(0)->GetFileInfo(kFiles - 1)->width, 32u) << "the size its header gives";
    // The root and four folders below it (chart, study, two dates), ten of each at most.
    EXPECT_LE(lookups, 5u * 10) << lookups << " look-ups for " << kFiles << " stills";
    EXPECT_LE(statuses, 5u * 10) << statuses << " statuses asked for " << kFiles << " stills";
}

// The info.xml written after every still reads its folder's names once, not each listed file's
// status: a folder of thousands of stills made every still cost thousands of lookups. A file
// listed in other letter case is still there; one that has gone is left out.
TEST_F(ModelManager, RewritingInfoXmlReadsItsFolderOnce)
{
    CKXQUIVACaptureModel* m = manager.GetOrCreateModel(L"12345", L"A");
    m->SetStudyName(L"Endo");
    m->SetStudyDate(L"20240105");
    const std::string folder = Store("12345/Endo/20240105");
    const CString base = Win("store") + L"\\12345\\Endo\\20240105\\";
    const auto still = [&](const CString& name) {
        return CKXQUIVACaptureModel::MakeRecord(base + name, L"Endo", L"20240105", CKXQUIVACaptureModel::FileKind::Still);
    };
    for (int i = 0; i < 100; ++i) {
        const std::string name = std::to_string(100000 + i) + ".bmp";
        Still(folder + "/" + name);
        m->AddFileInfo(still(quiva::Utf8ToWide(name).c_str()));
    }
    Still(folder + "/upper.bmp");
    m->AddFileInfo(still(L"UPPER.BMP"));
    fs::remove(folder + "/100007.bmp");
    const uint64_t before = quiva::PathLookupCount();
    m->WriteInfoXml(L"");
    EXPECT_LT(quiva::PathLookupCount() - before, 20u);
    CKXXmlDocument xml;
    ASSERT_TRUE(xml.Load(base + L"info.xml"));
    EXPECT_EQ(xml.GetValue(L"/image@6"), base + L"100006.bmp");
    EXPECT_EQ(xml.GetValue(L"/image@7"), base + L"100008.bmp");
    EXPECT_EQ(xml.GetValue(L"/image@99"), base + L"UPPER.BMP");
    EXPECT_EQ(xml.GetValue(L"/image@100"), L"");
    // The next rewrite does not read the folder again, and still leaves out what went since: a
    // file removed, one renamed away, one renamed over another and then removed. A listed name
    // whose file went while another file of its name in other letters came stays.
    Still(folder + "/UPPER.bmp");
    fs::remove(folder + "/upper.bmp");
    fs::remove(folder + "/100010.bmp");
    fs::rename(folder + "/100011.bmp", Store("12345/Endo") + "/100011.bmp");
    fs::rename(folder + "/100013.bmp", folder + "/100012.bmp");
    fs::remove(folder + "/100012.bmp");
    const uint64_t reads = quiva::FolderReadCount();
    m->WriteInfoXml(L"");
    EXPECT_EQ(quiva::FolderReadCount() - reads, 0u);
    const std::vector<CString> listed = ListedPaths(base + L"info.xml");
    ASSERT_EQ(listed.size(), 96u);
    EXPECT_EQ(listed[8], base + L"100009.bmp");
    EXPECT_EQ(listed[9], base + L"100014.bmp");
    EXPECT_EQ(listed[95], base + L"UPPER.BMP");
}

// The store's open hands the folders it reads to the info.xml files written after it: the first
// rewrite reads no folder again (with thousands of stills listed that read cost more than the
// write), and still leaves out a still removed since the open and keeps one whose name came back.
TEST_F(ModelManager, TheFirstRewriteAfterTheOpenReadsNoFolder)
{
    const std::string first = Store("12345/Endo/20240105"), second = Store("12345/Endo/20240106");
    const CString firstWin = Win("store") + L"\\12345\\Endo\\20240105\\";
    ListedStills(first, firstWin, L"12345", 30);
    ListedStills(second, Win("store") + L"\\12345\\Endo\\20240106\\", L"12345", 30);
    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 1);
    CKXQUIVACaptureModel* m = manager.GetModel(0);
    ASSERT_EQ(m->GetFileCount(), 60);
    fs::remove(first + "/100003.bmp");
    fs::remove(second + "/100004.bmp");
    fs::rename(first + "/100005.bmp", Store("12345") + "/100005.bmp");
    fs::rename(Store("12345") + "/100005.bmp", first + "/100005.bmp");
    const uint64_t reads = quiva::FolderReadCount();
    ASSERT_TRUE(m->WriteInfoXml(firstWin.Left(firstWin.GetLength() - 1)));
    EXPECT_EQ(quiva::FolderReadCount() - reads, 0u);
    const std::vector<CString> listed = ListedPaths(firstWin + L"info.xml");
    ASSERT_EQ(listed.size(), 58u);
    EXPECT_EQ(listed[3], firstWin + L"100004.bmp");
    EXPECT_EQ(listed[4], firstWin + L"100005.bmp");
}

// The inotify instances this process holds (there are 128 to a user, shared with every program).
int InotifyInstances()
{
    int instances = 0;
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", error))
        if (fs::read_symlink(fd.path(), error).string() == "anon_inode:inotify")
            ++instances;
    return instances;
}

// The folder names of all a manager's models are kept under one set of kernel notices: a store of
// many charts does not take an inotify instance a chart.
TEST_F(ModelManager, AllTheModelsShareOneSetOfFolderNotices)
{
    std::vector<CString> folders;
    for (int chart = 1; chart <= 5; ++chart) {
        const std::string name = std::to_string(10000 + chart);
        folders.push_back(Win("store") + L"\\" + quiva::Utf8ToWide(name).c_str() + L"\\Endo\\20240105");
        ListedStills(Store(name + "/Endo/20240105"), folders.back() + L"\\", quiva::Utf8ToWide(name).c_str(), 2);
    }
    const int before = InotifyInstances();
    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(manager.GetModel(i)->WriteInfoXml(folders[static_cast<size_t>(i)]));
    EXPECT_LE(InotifyInstances() - before, 1);
}

// "Delete all" and "restore all" group the marked stills by their folder once: the look-ups do not
// grow with the stills (resolving each still's folder again made a click on a strip of thousands
// freeze the window). Each folder's info.xml keeps the marks, a folder spelt in other letter case
// with the one it names.
TEST_F(ModelManager, MarkingEveryStillLooksUpEachFolderOnce)
{
    CKXQUIVACaptureModel* m = manager.GetOrCreateModel(L"12345", L"A");
    const std::string dates[] = {"20240105", "20240106"};
    for (const std::string& date : dates) {
        const std::string folder = Store("12345/Endo/" + date);
        for (int i = 0; i < 150; ++i) {
            const std::string name = std::to_string(100000 + i) + ".bmp";
            Still(folder + "/" + name);
            // Every other still of the second folder is listed under its folder spelt in capitals.
            const CString endo = date == dates[1] && i % 2 ? L"\\ENDO\\" : L"\\Endo\\";
            m->AddFileInfo(CKXQUIVACaptureModel::MakeRecord(
                Win("store") + L"\\12345" + endo + quiva::Utf8ToWide(date + "\\" + name).c_str(), L"Endo",
                quiva::Utf8ToWide(date).c_str(), CKXQUIVACaptureModel::FileKind::Still));
        }
    }
    ASSERT_EQ(m->GetFileCount(), 300);
    // Some dozens for the two folders' info.xml, whatever their stills; once a still, over a thousand.
    // Each folder is read once for both info.xml files, not once for each.
    const uint64_t before = quiva::PathLookupCount(), reads = quiva::FolderReadCount();
    EXPECT_TRUE(m->DeleteUnsaved());
    EXPECT_LT(quiva::PathLookupCount() - before, 100u);
    EXPECT_LE(quiva::FolderReadCount() - reads, 2u);
    for (const std::string& date : dates) {
        CKXXmlDocument xml;
        ASSERT_TRUE(xml.Load(Win("store") + L"\\12345\\Endo\\" + quiva::Utf8ToWide(date).c_str() + L"\\info.xml"));
        EXPECT_EQ(xml.GetAttribute(L"/image@0", L"Deleted"), L"TRUE") << date;
        EXPECT_EQ(xml.GetAttribute(L"/image@299", L"Deleted"), L"TRUE") << date;
    }
    const uint64_t restoring = quiva::PathLookupCount(), rereads = quiva::FolderReadCount();
    EXPECT_TRUE(m->RestoreUnsaved());
    EXPECT_LT(quiva::PathLookupCount() - restoring, 100u);
    EXPECT_LE(quiva::FolderReadCount() - rereads, 2u);
    for (int i = 0; i < m->GetFileCount(); ++i)
        ASSERT_EQ(m->GetFileInfo(i)->present, 1) << i;
}

TEST_F(ModelManager, ModelsByChartAndTheirEnd)
{
    CKXQUIVACaptureModel* a = manager.GetOrCreateModel(L"ab12", L"A");
    a->m_matchedTitles.push_back(L"Endo");
    EXPECT_EQ(manager.GetOrCreateModel(L"ab12", L"B"), a);
    EXPECT_EQ(a->GetPatientName(), L"B");
    EXPECT_TRUE(a->m_matchedTitles.empty());
    // Two patients to the clinic, whatever the case of their letters.
    EXPECT_NE(manager.GetOrCreateModel(L"AB12", L"C"), a);
    EXPECT_EQ(a->GetPatientName(), L"B");
    manager.GetOrCreateModel(L"2", L"");
    quiva::DebugCapture debug;
    manager.DeleteAllModels();
    EXPECT_TRUE(debug.Contains(L"Model Count : 3"));
    EXPECT_EQ(manager.GetModelCount(), 0);
    // An empty root is refused: the store would be the top of a drive.
    const CString root = manager.m_strImageRoot;
    manager.EnsureImageRoot(L"");
    EXPECT_EQ(manager.m_strImageRoot, root);
}

// A chart folder is the one chart's its info.xml files name. A store an older version wrote (a
// folder named by the cleaned chart) opens the same: its chart keeps it, and a chart whose name
// cleans alike takes the next free "~<n>"; a folder no info.xml names is taken only by the chart
// it is named exactly after.
TEST_F(ModelManager, AChartFolderBelongsToTheChartItsInfoXmlNames)
{
    ListedStills(Store("12345/Endo/20240105"), Win("store") + L"\\12345\\Endo\\20240105\\", L"12345", 1);
    ListedStills(Store("12345~2/Endo/20240105"), Win("store") + L"\\12345~2\\Endo\\20240105\\", L"12345.", 1);
    Still(Store("67890/Endo/20240105/1.bmp"));
    auto folderOf = [&](const wchar_t* chart) { return manager.GetOrCreateModel(chart, L"")->ChartFolder(); };
    EXPECT_EQ(folderOf(L"12345"), Win("store") + L"\\12345");
    EXPECT_EQ(folderOf(L"12345."), Win("store") + L"\\12345~2");
    EXPECT_EQ(folderOf(L"12345 "), Win("store") + L"\\12345~3");
    EXPECT_EQ(folderOf(L"67890"), Win("store") + L"\\67890");
    EXPECT_EQ(folderOf(L"67890."), Win("store") + L"\\67890~2");
    EXPECT_EQ(folderOf(L"1/2"), Win("store") + L"\\1_2");
}

TEST_F(ModelManager, EmptiedFoldersAreRemovedUpToTheFirstThatHoldsAFile)
{
    CKXQUIVACaptureModel* m = manager.GetOrCreateModel(L"12345", L"");
    m->SetStudyName(L"Endo");
    m->SetStudyDate(L"20240105");
    fs::create_directories(Store("12345/Endo/20240105"));
    WriteAll(Store("12345/Endo/20240105/info.xml"), "x");
    Still(Store("12345/Endo/20240101/1.bmp"));
    m->RemoveEmptyFolders();
    EXPECT_FALSE(fs::exists(Store("12345/Endo/20240105")));
    EXPECT_TRUE(fs::exists(Store("12345/Endo/20240101/1.bmp")));
    fs::remove(Store("12345/Endo/20240101/1.bmp"));
    fs::create_directories(Store("12345/Endo/20240105"));
    m->RemoveEmptyFolders();
    EXPECT_FALSE(fs::exists(Store("12345")));
    EXPECT_TRUE(fs::exists(Store("")));
}
