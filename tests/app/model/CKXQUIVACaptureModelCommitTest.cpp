#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "app/ui/CKXQUIVAThumbnailCtrlTab.h"
#include "app/ui/QUIVATell.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "dicom/DicomNetworkClient.h"
#include "framework/CKXAdoRecord.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/winpath.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/support/framework/ClinicDbFixture.h"
#include "tests/support/BmpFiles.h"
#include "tests/support/Command.h"

namespace fs = std::filesystem;
using quiva::test::ReadAll;
using quiva::test::WriteAll;

namespace {

using Result = CKXQUIVACaptureModel::CommitResult;
using Interrupted = CKXQUIVACaptureModel::InterruptedCommit;

class Commit : public ClinicDb {
protected:
    void SetUp() override
    {
        ClinicDb::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        fs::create_directories(m_dir.Native("store"));
        fs::create_directories(m_dir.Native("images"));
        config.SetImageDirectory(m_dir.Win("images"));
        auto c = std::make_unique<CKXAdoConnection>();
        c->connectionString = m_conn.connectionString;
        c->dbmsKind = m_conn.dbmsKind;
        config.UseConnection(std::move(c));
        manager.m_pConfig = &config;
        manager.EnsureImageRoot(m_dir.Win("store"));
    }
    CKXQUIVACaptureModel* Model(const wchar_t* chart = L"12345")
    {
        CKXQUIVACaptureModel* m = manager.GetOrCreateModel(chart, L"홍길동");
        m->SetStudyName(L"Endo");
        m->SetStudyDate(L"20240105");
        return m;
    }
    // A still of the model in its study folder (distinct bytes for each name).
    CString Still(CKXQUIVACaptureModel* m, const std::string& name, const wchar_t* study = L"Endo",
                  const wchar_t* date = L"20240105")
    {
        const CString folder = m->BuildStudyFolder();
        fs::create_directories(quiva::NativePath(folder).value());
        const CString path = folder + L"\\" + CString(quiva::Utf8ToWide(name).c_str());
        const uint32_t seed = static_cast<uint32_t>(std::hash<std::string>()(name));
        WriteAll(quiva::NativePath(path).value(),
                 quiva::test::MakeBmp(16, 8, 24, {}, [seed](int x, int y) { return seed + static_cast<uint32_t>(x * 7 + y); }));
        if (name.find(".avi") == std::string::npos) {
            m->AddFileInfo(CKXQUIVACaptureModel::MakeRecord(path, study, date, CKXQUIVACaptureModel::FileKind::Still));
        } else {
            // A recording's record as the model keeps it (its thumbnail is not what is tested).
            auto info = std::make_unique<_KXCaptureFileInfo>();
            info->path = path;
            info->study = study;
            info->date = date;
            info->isVideo = 1;
            info->present = 1;
            info->image = std::make_unique<Gdiplus::Bitmap>(4, 3);
            m->m_files.push_back(std::move(info));
        }
        return path;
    }
    std::vector<std::vector<CString>> Rows(const wchar_t* sql)
    {
        std::vector<std::vector<CString>> rows;
        CKXAdoRecord r(&m_conn);
        EXPECT_TRUE(r.Open(sql)) << CString(sql).ToUtf8();
        while (!r.IsEOF()) {
            std::vector<CString> row;
            for (int i = 0; i < r.GetRecordCount() || i < 8; ++i) {
                if (r.GetFieldName(i).IsEmpty())
                    break;
                row.push_back(r.GetFieldStringAt(i));
            }
            rows.push_back(row);
            r.MoveNext();
        }
        return rows;
    }
    int Count(const wchar_t* sql) { return _wtoi(Rows(sql).at(0).at(0)); }
    // Stills go to the PACS at the loopback port as institution 77.
    void SendTo(uint16_t port)
    {
        CKXQUIVAConfig::Options options = config.GetOptions();
        options.m_bSendDICOM = 1;
        config.SetOptions(options);
        config.SetPacsKind10Seen();
        config.SetPacsServerIp(L"127.0.0.1");
        config.SetPacsPort(CString(std::to_wstring(port).c_str()));
        config.SetPacsAETitle(L"PACS");
        config.SetInstitutionNumber(L"77");
    }
    std::vector<std::string> ImageFiles()
    {
        std::vector<std::string> out;
        for (const auto& e : fs::recursive_directory_iterator(m_dir.Native("images")))
            if (e.is_regular_file())
                out.push_back(fs::relative(e.path(), m_dir.Native("images")).string());
        std::sort(out.begin(), out.end());
        return out;
    }

    CKXQUIVAConfig config;
    CKXQUIVACaptureModelManager manager;
};

}  // namespace

TEST_P(Commit, StillsBecomeRowsAndCopiesAndLeaveTheStore)
{
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('12345',7,'2023-12-01','Old',1)", 0, 1));
    CKXQUIVACaptureModel* m = Model();
    const CString a = Still(m, "093015123.bmp"), b = Still(m, "093016000.bmp");
    const std::string bytesA = ReadAll(quiva::NativePath(a).value());
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Rows(L"SELECT ONO,MDATE,TITLE,IMGNO FROM MMAIN WHERE ONO = 8"),
              (std::vector<std::vector<CString>>{{L"8", L"2024-01-05", L"Endo", L"2"}}));
    auto images = Rows(L"SELECT IMGNO,CNO,ONO,IMGFORMAT,IMGTYPE,IMGNAME FROM MIMG ORDER BY IMGNO");
    ASSERT_EQ(images.size(), 2u);
    for (auto& row : images) {
        EXPECT_EQ(row[2], L"8");
        EXPECT_EQ(row[3], L"7");
        EXPECT_EQ(row[4], L"0");
        EXPECT_EQ(row[5], row[0]);
    }
    const int first = _wtoi(images[0][0]);
    const CString target = CKXQUIVACaptureModel::ImageDirectoryPath(m_dir.Win("images"), first, a);
    EXPECT_EQ(ReadAll(quiva::NativePath(target).value()), bytesA);
    EXPECT_EQ(ImageFiles().size(), 2u);
    EXPECT_FALSE(fs::exists(m_dir.Native("store/12345"))) << "files and emptied folders are gone";
    EXPECT_EQ(m->GetFileInfo(0)->saved, 1);
    EXPECT_EQ(m->GetFileInfo(0)->present, 0);

    // Before the next Show the study row is reused; after it a new one is made.
    Still(m, "100000000.bmp");
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 2);
    EXPECT_EQ(Rows(L"SELECT IMGNO FROM MMAIN WHERE ONO = 8")[0][0], L"3");
    m->SetPatient(L"12345", L"홍길동");
    Still(m, "110000000.bmp");
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Rows(L"SELECT ONO FROM MMAIN ORDER BY ONO DESC")[0][0], L"9");
}

TEST_P(Commit, ResultsAndWhatIsNotStored)
{
    CKXQUIVACaptureModel* m = Model();
    EXPECT_EQ(m->Commit(), Result::Done);  // nothing to do
    const CString kept = Still(m, "1.bmp");
    const CString deleted = Still(m, "2.bmp");
    const CString missing = Still(m, "3.bmp");
    m->GetFileInfo(1)->present = 0;
    fs::remove(quiva::NativePath(missing).value());
    m->m_pConfig = nullptr;
    EXPECT_EQ(m->Commit(), Result::NoConfiguration);
    m->m_pConfig = &config;
    config.SetImageDirectory(L"");
    EXPECT_EQ(m->Commit(), Result::NoImageDirectory);
    config.SetImageDirectory(m_dir.Win("images"));
    config.GetConnection()->connectionString = L"Driver={SQL Anywhere 12};Database=" + m_dir.Win("nowhere") + L"\\x.db";
    EXPECT_EQ(m->Commit(), Result::NoConnection);
    EXPECT_EQ(m->GetFileInfo(0)->saved, 0);
    config.GetConnection()->connectionString = m_conn.connectionString;
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(m->GetFileInfo(1)->discarded, 1);
    EXPECT_FALSE(fs::exists(quiva::NativePath(deleted).value()));
    EXPECT_EQ(m->GetFileInfo(2)->discarded, 1);
    EXPECT_EQ(m->GetFileInfo(0)->discarded, 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 1);
    // Every file saved: 0 without the database.
    config.GetConnection()->connectionString = L"";
    EXPECT_EQ(m->Commit(), Result::Done);
}

TEST_P(Commit, QuotesInTitlesAndChartNumbers)
{
    CKXQUIVACaptureModel* m = Model(L"O'1");
    m->SetStudyName(L"O'Neil");
    Still(m, "1.bmp", L"O'Neil");
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Rows(L"SELECT CNO,TITLE FROM MMAIN"), (std::vector<std::vector<CString>>{{L"O'1", L"O'Neil"}}));
    EXPECT_EQ(Rows(L"SELECT CNO FROM MIMG")[0][0], L"O'1");
}

TEST_P(Commit, AFileOfAnotherDateStartsItsOwnStudy)
{
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp", L"Endo", L"20240105");
    Still(m, "2.bmp", L"Endo", L"20240106");
    Still(m, "3.avi", L"Endo", L"20240106");
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Rows(L"SELECT ONO,MDATE,IMGNO FROM MMAIN ORDER BY ONO"),
              (std::vector<std::vector<CString>>{{L"1", L"2024-01-05", L"1"}, {L"2", L"2024-01-06", L"2"}}));
    EXPECT_EQ(Rows(L"SELECT IMGTYPE FROM MIMG ORDER BY IMGNO")[2][0], L"1");
}

// A commit asks for no journal by name that the store folder does not hold, and makes no journal
// or copy by a name that must be matched against its folder's names: such a search or match reads
// the whole folder, once a still, and a commit of thousands of stills would grow with their square.
// Before a still's rows commit, its journal and its copy are on the disk, and so are both their
// names: four flushes a still beside the database's own.
TEST_P(Commit, ACommitLooksUpAndFlushesEachStillABoundedNumberOfTimes)
{
    struct Counts {
        uint64_t lookups, listings, flushes;
    };
    auto countsToCommit = [this](const wchar_t* chart, int stills) {
        CKXQUIVACaptureModel* m = Model(chart);
        for (int i = 0; i < stills; ++i)
            Still(m, std::to_string(100000 + i) + ".bmp");
        const Counts before{quiva::PathLookupCount(), quiva::PathListingCount(), quiva::FlushCount()};
        EXPECT_EQ(m->Commit(), Result::Done);
        return Counts{quiva::PathLookupCount() - before.lookups, quiva::PathListingCount() - before.listings,
                      quiva::FlushCount() - before.flushes};
    };
    const Counts small = countsToCommit(L"1", 4), large = countsToCommit(L"2", 16);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 20);
    // About thirty a still (the store file, its copy's folders, the journal written and removed);
    // a search for a missing journal would add ten more.
    EXPECT_LE(large.lookups - small.lookups, 12u * 34) << small.lookups << " lookups for 4 stills, " << large.lookups << " for 16";
    // The store's folder and the image directory's are read once a commit (the first also reads
    // the folders it makes), not once a still.
    EXPECT_LE(large.listings, small.listings) << small.listings << " folders read for 4 stills, " << large.listings << " for 16";
    EXPECT_EQ(large.flushes - small.flushes, 4u * 12) << small.flushes << " flushes for 4 stills, " << large.flushes << " for 16";
}

TEST_P(Commit, AJournalSettlesOnlyTheFileRowAndCopyItWasWrittenFor)
{
    CKXQUIVACaptureModel* m = Model();
    const CString stills[] = {Still(m, "1.bmp"), Still(m, "2.bmp")};
    std::string bytes[2], targets[2], numbers[2], studies[2];
    for (int i = 0; i < 2; ++i)
        bytes[i] = ReadAll(quiva::NativePath(stills[i]).value());
    ASSERT_EQ(m->Commit(), Result::Done);
    const auto rows = Rows(L"SELECT IMGNO, ONO FROM MIMG ORDER BY IMGNO");
    ASSERT_EQ(rows.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        numbers[i] = rows[i][0].ToUtf8();
        studies[i] = rows[i][1].ToUtf8();
        targets[i] = CKXQUIVACaptureModel::ImageDirectoryPath(m_dir.Win("images"), _wtoi(rows[i][0]), stills[i]).ToUtf8();
    }
    // What a kill after the rows' commit leaves: the file, as it was before its copy was made,
    // beside its journal.
    auto leave = [&](int i, const std::string& journal) {
        const std::string still = quiva::NativePath(stills[i]).value();
        fs::create_directories(fs::path(still).parent_path());
        WriteAll(still, bytes[i]);
        fs::last_write_time(still, fs::file_time_type::clock::now() - std::chrono::hours(1));
        WriteAll(still + ".commit", journal);
        return still;
    };
    const CString images = m_dir.Win("images");
    // The previous version's journal: image number, chart, copy.
    std::string still = leave(0, numbers[0] + "\n12345\n" + targets[0] + "\n");
    EXPECT_EQ(CKXQUIVACaptureModel::ResolveInterruptedCommit(stills[0], &m_conn, images), Interrupted::WentThrough);
    EXPECT_FALSE(fs::exists(still));
    EXPECT_FALSE(fs::exists(still + ".commit"));
    // A journal of another chart's row (of either version), or written for another file, is
    // removed; the file stays unsaved and the copy is left as it is.
    const std::string own = numbers[1] + "\n12345\n" + targets[1] + "\n" + studies[1] + "\n" + stills[1].ToUtf8() + "\n";
    for (const std::string& journal : {numbers[1] + "\n54321\n" + targets[1] + "\n",
                                       numbers[1] + "\n54321\n" + targets[1] + "\n" + studies[1] + "\n" + stills[1].ToUtf8() + "\n",
                                       numbers[1] + "\n12345\n" + targets[1] + "\n" + studies[1] + "\n" + stills[0].ToUtf8() + "\n"}) {
        still = leave(1, journal);
        EXPECT_EQ(CKXQUIVACaptureModel::ResolveInterruptedCommit(stills[1], &m_conn, images), Interrupted::NotThrough) << journal;
        EXPECT_TRUE(fs::exists(still));
        EXPECT_FALSE(fs::exists(still + ".commit"));
        EXPECT_EQ(ReadAll(quiva::NativePath(CString(quiva::Utf8ToWide(targets[1]).c_str())).value()), bytes[1]);
    }
    // Its own journal settles it, wherever the image directory points now.
    still = leave(1, own);
    EXPECT_EQ(CKXQUIVACaptureModel::ResolveInterruptedCommit(stills[1], &m_conn, m_dir.Win("moved")), Interrupted::WentThrough);
    EXPECT_FALSE(fs::exists(still));
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 2);
    EXPECT_EQ(ImageFiles().size(), 2u);
}

TEST_P(Commit, FailuresKeepTheFileAndLeaveNoRows)
{
    CKXQUIVACaptureModel* m = Model();
    const CString still = Still(m, "1.bmp");
    // The image directory cannot be written (a file stands where its folders would go): the
    // folder's result, not the database's.
    fs::remove_all(m_dir.Native("images"));
    WriteAll(m_dir.Native("images"), "a file");
    EXPECT_EQ(m->Commit(), Result::NoImageDirectory);
    EXPECT_TRUE(fs::exists(quiva::NativePath(still).value()));
    EXPECT_EQ(m->GetFileInfo(0)->saved, 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 0);
    EXPECT_FALSE(fs::exists(quiva::NativePath(still + L".commit").value()));
    // The image row is refused by the database, whose connection is fine.
    fs::remove(m_dir.Native("images"));
    fs::create_directories(m_dir.Native("images"));
    ASSERT_TRUE(m_conn.Execute(L"ALTER TABLE MIMG RENAME TO MIMG_AWAY", 0, 1));
    EXPECT_EQ(m->Commit(), Result::RowsRefused);
    EXPECT_EQ(m->GetFileInfo(0)->saved, 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 0);
    EXPECT_TRUE(ImageFiles().empty());
    // Once the database takes it, the same file commits.
    ASSERT_TRUE(m_conn.Execute(L"ALTER TABLE MIMG_AWAY RENAME TO MIMG", 0, 1));
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 1);
    EXPECT_EQ(ImageFiles().size(), 1u);
}

TEST_P(Commit, AChartNumberLongerThanItsColumnIsARefusalNotALostConnection)
{
    CKXQUIVACaptureModel* m = Model(L"123456789012345678901234");  // 24 characters; the column holds 20
    const CString still = Still(m, "1.bmp");
    // The server's column is bounded; the embedded database keeps any length.
    EXPECT_EQ(m->Commit(), Pg() ? Result::RowsRefused : Result::Done);
    EXPECT_EQ(m->GetFileInfo(0)->saved, Pg() ? 0 : 1);
    EXPECT_EQ(fs::exists(quiva::NativePath(still).value()), Pg());
}

TEST_P(Commit, APacsThatIsDownDoesNotHoldTheCommit)
{
    SendTo(1);
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    Still(m, "2.avi");
    quiva::DebugCapture debug;
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 2);
    int sends = 0;
    for (const std::wstring& line : debug.Lines())
        sends += line.rfind(L"Send DICOM #1", 0) == 0;
    EXPECT_EQ(sends, 1) << "only the still is sent";
    EXPECT_FALSE(fs::exists(m_dir.Native("store/12345")));
}

TEST_P(Commit, StillsArriveAtThePacsUnderTheirRowsNumbers)
{
    fs::create_directories(m_dir.Native("pacs"));
    quiva::test::Storescp pacs(m_dir.Native("pacs"), {});
    ASSERT_TRUE(pacs.running());
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO PATIENT (CNO,PATIENT,GENDER,BIRTHDAY) VALUES('12345','HONG^GILDONG','M','19800105')", 0, 1));
    SendTo(pacs.port());
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    Still(m, "2.avi");
    Still(m, "3.bmp");
    EXPECT_EQ(m->Commit(), Result::Done);
    std::string dumps;
    for (const std::string& f : quiva::test::FilesIn(m_dir.Native("pacs")))
        if (f.rfind("SC", 0) == 0)
            dumps += quiva::test::RunCommand("dcmdump -Un \"" + m_dir.Native("pacs/" + f) + "\"");
    const auto stills = Rows(L"SELECT IMGNO,ONO FROM MIMG WHERE IMGTYPE = 0 ORDER BY IMGNO");
    ASSERT_EQ(stills.size(), 2u);
    for (const auto& row : stills) {
        const std::string uid = "[1.2.999.424242.1.11.77.1.12345.20240105." + row[1].ToUtf8() + ".1." + row[0].ToUtf8() + "]";
        EXPECT_NE(dumps.find(uid), std::string::npos) << uid << "\n" << dumps;
    }
    EXPECT_NE(dumps.find("[1.2.840.10008.5.1.4.1.1.7]"), std::string::npos) << dumps;
    EXPECT_NE(dumps.find("[HONG^GILDONG]"), std::string::npos);
    EXPECT_NE(dumps.find("[19800105]"), std::string::npos);
    EXPECT_NE(dumps.find("[M]"), std::string::npos);
    // A PACS that refuses the station holds nothing up: the still is stored all the same.
    fs::create_directories(m_dir.Native("strict"));
    quiva::test::Storescp strict(m_dir.Native("strict"), {"--refuse"});
    ASSERT_TRUE(strict.running());
    config.SetPacsPort(CString(std::to_wstring(strict.port()).c_str()));
    Still(m, "4.bmp");
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 4);
    EXPECT_EQ(ImageFiles().size(), 4u);
    EXPECT_FALSE(fs::exists(m_dir.Native("store/12345")));
}

TEST_P(Commit, AModelRebuiltFromTheStoreLeavesNoFolderOfItsChartBehind)
{
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    Still(m, "2.bmp");
    m->WriteInfoXml(L"");
    manager.DeleteAllModels();
    // The restart: the model comes back from the store without a study or date of its own.
    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 1);
    EXPECT_EQ(manager.GetModel(0)->Commit(), Result::Done);
    EXPECT_EQ(ImageFiles().size(), 2u);
    EXPECT_FALSE(fs::exists(m_dir.Native("store/12345")));
    EXPECT_TRUE(fs::exists(m_dir.Native("store")));
}

TEST_P(Commit, TextTheStationDidNotMakeArrivesAsOneValueWithinItsLimitAndOnlyRealDates)
{
    fs::create_directories(m_dir.Native("pacs"));
    quiva::test::Storescp pacs(m_dir.Native("pacs"), {});
    ASSERT_TRUE(pacs.running());
    // A name twice what a person name holds, in two-byte characters of the code page.
    std::wstring name(64, L'가');
    ASSERT_TRUE(m_conn.Execute(CString(L"INSERT INTO PATIENT (CNO,PATIENT,GENDER,BIRTHDAY) VALUES('12\\34\\\\56','") +
                                   name.c_str() + L"','M','19800105')",
                               0, 1));
    SendTo(pacs.port());
    CKXQUIVACaptureModel* m = Model(L"12\\34\\\\56");
    m->SetStudyName(L"a/b\\c");
    m->SetStudyDate(L"20261345");
    Still(m, "1.bmp", L"a/b\\c", L"20261345");
    EXPECT_EQ(m->Commit(), Result::Done);
    EXPECT_EQ(m->GetPacsMissedMessage(), L"");
    const CString today = CKXQUIVACaptureModel::BuildTodayDate();
    const CString mdate = today.Mid(0, 4) + L"-" + today.Mid(4, 2) + L"-" + today.Mid(6, 2);
    EXPECT_EQ(Rows(L"SELECT MDATE,TITLE FROM MMAIN"), (std::vector<std::vector<CString>>{{mdate, L"a/b\\c"}}));

    std::string dump;
    for (const std::string& f : quiva::test::FilesIn(m_dir.Native("pacs")))
        if (f.rfind("SC", 0) == 0)
            dump += quiva::test::RunCommand("dcmdump -Un +P 0010,0010 +P 0010,0020 +P 0008,0020 +P 0008,1030 +P 0008,103e \"" +
                                            m_dir.Native("pacs/" + f) + "\"");
    auto line = [&](const std::string& keyword) {
        const size_t at = dump.find(keyword);
        const size_t start = at == std::string::npos ? 0 : dump.rfind('\n', at) + 1;
        return at == std::string::npos ? std::string() : dump.substr(start, at + keyword.size() - start);
    };
    EXPECT_NE(line("PatientID").find("[12_34__56]"), std::string::npos) << dump;
    EXPECT_NE(line("PatientID").find(", 1 PatientID"), std::string::npos) << dump;
    EXPECT_NE(line("StudyDescription").find("[a/b_c]"), std::string::npos) << dump;
    EXPECT_NE(line("StudyDescription").find(", 1 StudyDescription"), std::string::npos) << dump;
    EXPECT_NE(line("SeriesDescription").find("[a/b_c]"), std::string::npos) << dump;
    // 32 characters of two bytes: the limit, and not half a character past it.
    EXPECT_NE(line("PatientName").find("64, 1 PatientName"), std::string::npos) << dump;
    EXPECT_NE(line("StudyDate").find("[" + today.ToUtf8() + "]"), std::string::npos) << dump;
}

namespace {

// The messages the strip's save shows.
struct ShownMessages {
    ShownMessages()
    {
        quivaTellReplacement = [this](const CString& text, const CString& caption) {
            shown.push_back({caption, text});
        };
    }
    ~ShownMessages() { quivaTellReplacement = nullptr; }
    std::vector<std::pair<CString, CString>> shown;
};

}  // namespace

TEST_P(Commit, ThePersonLearnsHowManyStillsMissedThePacsAndWhy)
{
    CKXQUIVACaptureModel* m = Model();
    auto save = [&] {
        ShownMessages messages;
        CKXCtrlWndQUIVAThumbnail::Of(m)->OnCommand(KXTHUMB_CMD_COMMIT, nullptr, nullptr);
        return messages.shown;
    };
    using Shown = std::vector<std::pair<CString, CString>>;
    // Nobody listens: the stills and the recording are committed all the same.
    SendTo(quiva::test::UnusedPort());
    Still(m, "1.bmp");
    Still(m, "2.avi");
    Still(m, "3.bmp");
    EXPECT_EQ(save(), (Shown{{L"PACS 전송 오류", L"차트 12345 홍길동: 영상 2장이 PACS에 저장되지 않았습니다.\nPACS에 연결할 수 없습니다: 2장"}}));
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 3);
    // A PACS that refuses the station.
    fs::create_directories(m_dir.Native("strict"));
    quiva::test::Storescp strict(m_dir.Native("strict"), {"--refuse"});
    ASSERT_TRUE(strict.running());
    config.SetPacsPort(CString(std::to_wstring(strict.port()).c_str()));
    Still(m, "4.bmp");
    EXPECT_EQ(save(), (Shown{{L"PACS 전송 오류", L"차트 12345 홍길동: 영상 1장이 PACS에 저장되지 않았습니다.\nPACS가 영상을 받지 않았습니다: 1장"}}));
    // A PACS that takes the still, and one that is not sendable (no institution number for its
    // UIDs) with it.
    fs::create_directories(m_dir.Native("pacs"));
    quiva::test::Storescp pacs(m_dir.Native("pacs"), {});
    ASSERT_TRUE(pacs.running());
    config.SetPacsPort(CString(std::to_wstring(pacs.port()).c_str()));
    Still(m, "5.bmp");
    EXPECT_EQ(save(), Shown{});
    config.SetInstitutionNumber(L"");
    Still(m, "6.bmp");
    EXPECT_EQ(save(), (Shown{{L"PACS 전송 오류", L"차트 12345 홍길동: 영상 1장이 PACS에 저장되지 않았습니다.\n보낼 수 없는 영상입니다: 1장"}}));
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 6);
}

// Closing another patient's tab saves that patient's stills (save-when-close is on) and
// tells the one the PACS did not take, as the save buttons do, under whose still it is.
TEST_P(Commit, ATabsCloseTellsTheStillsThePacsMissed)
{
    SendTo(quiva::test::UnusedPort());
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    CKXQUIVAThumbnailCtrlTab tabs;
    CKXCtrlTabItem* tab = tabs.AddTab(L"12345-", CKXCtrlWndQUIVAThumbnail::Of(m), 1);
    ShownMessages messages;
    EXPECT_TRUE(tabs.CanCloseTab(tab, nullptr));
    EXPECT_EQ(messages.shown, (std::vector<std::pair<CString, CString>>{
                                  {L"PACS 전송 오류", L"차트 12345 홍길동: 영상 1장이 PACS에 저장되지 않았습니다.\nPACS에 연결할 수 없습니다: 1장"}}));
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 1);
}

// The window closes while a save's message box is up (the box leaves the window's buttons
// their clicks), and the patient's model goes with it: the save that told it ends there.
TEST_P(Commit, AModelGoneWhileItsSaveTellsIsNotTouchedAgain)
{
    SendTo(quiva::test::UnusedPort());
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    int told = 0;
    m->CommitAndTell(
        [&](const CString&, const CString&) {
            ++told;
            manager.DeleteModel(m);
        },
        false);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(manager.GetModelCount(), 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 1);
}

// The pointer rests on a still's cell, its delete icon shown, while the strip's save runs:
// afterwards the saved cell shows no icon, which would offer a mark the cell no longer takes.
TEST_P(Commit, ASaveLeavesNoCellHovered)
{
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    CKXCtrlWndQUIVAThumbnail* strip = CKXCtrlWndQUIVAThumbnail::Of(m);
    strip->SetSize(230.0f, 600.0f);
    float over = 60.0f;  // a point over the cell
    while (over < 560.0f && strip->HitTest(50, over, nullptr) < 0)
        over += 10.0f;
    strip->OnMouseMove(50, over, nullptr, nullptr);
    ASSERT_EQ(strip->hoverCell, 0);
    ShownMessages messages;
    strip->OnCommand(KXTHUMB_CMD_COMMIT, nullptr, nullptr);
    ASSERT_EQ(m->GetFileInfo(0)->saved, 1);
    EXPECT_EQ(strip->hoverCell, -1);
}

TEST_P(Commit, ASilentPacsHoldsACommitOfFiveStillsForOneBound)
{
    // A PACS that takes the connection and never answers; later connections wait unaccepted.
    quiva::test::TestPeer silent([](quiva::test::PeerConnection& c) { c.ReadToEnd(120000); });
    SendTo(silent.port());
    CKXQUIVACaptureModel* m = Model();
    for (int i = 1; i <= 5; ++i)
        Still(m, std::to_string(i) + ".bmp");
    const std::chrono::milliseconds bound(CDicomNetworkClient().StallLimitMs());
    ShownMessages messages;
    const auto start = std::chrono::steady_clock::now();
    CKXCtrlWndQUIVAThumbnail::Of(m)->OnCommand(KXTHUMB_CMD_COMMIT, nullptr, nullptr);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 5);
    EXPECT_EQ(ImageFiles().size(), 5u);
    EXPECT_FALSE(fs::exists(m_dir.Native("store/12345")));
    EXPECT_EQ(messages.shown, (std::vector<std::pair<CString, CString>>{
                                  {L"PACS 전송 오류", L"차트 12345 홍길동: 영상 5장이 PACS에 저장되지 않았습니다.\nPACS가 응답하지 않습니다: 5장"}}));
    // One association was tried: the other four stills did not wait again.
    EXPECT_EQ(silent.accepted(), 1);
    EXPECT_FALSE(silent.HasPendingConnection());
    EXPECT_LT(took, 2 * bound);
}

TEST_P(Commit, ADroppedAssociationIsToldAsSuchAndTheNextStillGoesOnANewOne)
{
    // The PACS drops the first still's association with an A-ABORT and the second's with a TCP
    // reset, each in the middle of the still, then stores the next two.
    std::vector<std::vector<uint8_t>> stored(2);
    quiva::test::TestPeer pacs({[](quiva::test::PeerConnection& c) { quiva::test::DropInTheMiddle(c, false); },
                                [](quiva::test::PeerConnection& c) { quiva::test::DropInTheMiddle(c, true); },
                                [&](quiva::test::PeerConnection& c) { stored[0] = quiva::test::StoreOne(c); },
                                [&](quiva::test::PeerConnection& c) { stored[1] = quiva::test::StoreOne(c); }});
    SendTo(pacs.port());
    CKXQUIVACaptureModel* m = Model();
    for (int i = 1; i <= 4; ++i)
        Still(m, std::to_string(i) + ".bmp");
    ShownMessages messages;
    CKXCtrlWndQUIVAThumbnail::Of(m)->OnCommand(KXTHUMB_CMD_COMMIT, nullptr, nullptr);
    EXPECT_TRUE(pacs.Join());
    EXPECT_EQ(pacs.accepted(), 4);
    EXPECT_FALSE(stored[0].empty());
    EXPECT_FALSE(stored[1].empty());
    EXPECT_EQ(messages.shown, (std::vector<std::pair<CString, CString>>{
                                  {L"PACS 전송 오류", L"차트 12345 홍길동: 영상 2장이 PACS에 저장되지 않았습니다.\nPACS가 연결을 끊었습니다: 2장"}}));
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 4);
}

TEST_P(Commit, AnAETitleNoAssociationCanCarryIsToldOnceAsTheSettingsFault)
{
    quiva::test::TestPeer pacs([](quiva::test::PeerConnection& c) { quiva::test::StoreOne(c); });
    SendTo(pacs.port());
    config.SetPacsAETitle(L"PACS_ARCHIVE_MAIN1");  // 18 characters
    CKXQUIVACaptureModel* m = Model();
    for (int i = 1; i <= 3; ++i)
        Still(m, std::to_string(i) + ".bmp");
    ShownMessages messages;
    CKXCtrlWndQUIVAThumbnail::Of(m)->OnCommand(KXTHUMB_CMD_COMMIT, nullptr, nullptr);
    EXPECT_EQ(messages.shown, (std::vector<std::pair<CString, CString>>{
                                  {L"PACS 전송 오류", L"차트 12345 홍길동: 영상 3장이 PACS에 저장되지 않았습니다.\nPACS 설정 오류입니다 (AE Title): 3장"}}));
    // Nothing went to the network under a title the PACS would have read cut short.
    EXPECT_EQ(pacs.accepted(), 0);
    EXPECT_FALSE(pacs.HasPendingConnection());
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 3);
}

INSTANTIATE_TEST_SUITE_P(Backends, Commit, testing::Values(Backend::SQLite, Backend::PostgreSQL), BackendName);

namespace {

std::string Child() { return std::string(QUIVA_BINARY_DIR) + "/tests/helpers/QUIVACommitChild"; }

// Starts the station; returns its pid.
pid_t Station(const std::vector<std::string>& args)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<char*> argv;
        std::string program = Child();
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        FILE* quiet = std::freopen("/dev/null", "w", stdout);
        (void)quiet;
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// Starts a program found on the search path; returns its pid.
pid_t Spawn(const std::vector<std::string>& args)
{
    pid_t pid = ::fork();
    if (pid == 0) {
        std::vector<std::string> copy = args;
        std::vector<char*> argv;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        FILE* quiet = std::freopen("/dev/null", "w", stdout);
        (void)quiet;
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

int Wait(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

}  // namespace

class CommitStations : public Commit {
protected:
    // The clinic records as another process names them (the database file itself for SQLite).
    std::string StationConnection() const
    {
        return Pg() ? m_conn.connectionString.ToUtf8() : "Driver=SQLite3;Database=" + m_dir.Native("HRB4100.db") + ";";
    }
};

TEST_P(CommitStations, AKilledCommitLeavesEveryCaptureInExactlyOnePlace)
{
    // The other process names the database file itself.
    const std::string connection = Pg() ? m_conn.connectionString.ToUtf8()
                                        : "Driver=SQLite3;Database=" + m_dir.Native("HRB4100.db") + ";";
    const std::string kind = std::to_string(m_conn.dbmsKind);
    for (int step = 1; step <= 8; ++step) {
        SCOPED_TRACE("killed after Commit#" + std::to_string(step));
        ASSERT_TRUE(m_conn.Execute(L"DELETE FROM MMAIN; DELETE FROM MIMG", 0, 1));
        fs::remove_all(m_dir.Native("images"));
        fs::create_directories(m_dir.Native("images"));
        {
            CKXQUIVACaptureModel* m = Model();
            Still(m, "1.bmp");
            Still(m, "2.bmp");
            m->WriteInfoXml(L"");
            manager.DeleteAllModels();
        }
        const int status = Wait(Station({m_dir.Native("store"), m_dir.Native("images"), connection, kind, "12345",
                                         "Commit#" + std::to_string(step)}));
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        // The restart: the store is read again.
        CKXQUIVACaptureModelManager again;
        again.m_pConfig = &config;
        again.EnsureImageRoot(m_dir.Win("store"));
        again.LoadAll();
        int inStore = 0;
        for (int i = 0; i < again.GetModelCount(); ++i)
            inStore += again.GetModel(i)->GetFileCount();
        const int rows = Count(L"SELECT COUNT(*) FROM MIMG");
        EXPECT_EQ(inStore + rows, 2);
        EXPECT_EQ(static_cast<int>(ImageFiles().size()), rows) << testing::PrintToString(ImageFiles());
        EXPECT_EQ(Count(L"SELECT COALESCE(SUM(IMGNO), 0) FROM MMAIN"), rows);
        // What is left commits, and then everything is stored once.
        CKXQUIVACaptureModel* m = again.GetOrCreateModel(L"12345", L"");
        EXPECT_EQ(m->Commit(), Result::Done);
        EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 2);
        EXPECT_EQ(ImageFiles().size(), 2u);
        again.DeleteAllModels();
        fs::remove_all(m_dir.Native("store/12345"));
    }
}

TEST_P(CommitStations, TwoStationsCommittingTogetherShareNoNumbers)
{
    if (!Pg())
        GTEST_SKIP() << "the stations share a database server";
    const std::string connection = m_conn.connectionString.ToUtf8();
    ASSERT_TRUE(m_conn.Execute(L"INSERT INTO MMAIN (CNO,ONO,MDATE,TITLE,IMGNO) VALUES('12345',7,'2023-12-01','Old',0)", 0, 1));
    const int perStation = 5;
    std::vector<pid_t> stations;
    for (int s = 0; s < 2; ++s) {
        const std::string store = m_dir.Native("store" + std::to_string(s));
        fs::create_directories(store);
        manager.EnsureImageRoot(m_dir.Win("store" + std::to_string(s)));
        CKXQUIVACaptureModel* m = Model();
        m->m_strImageRoot = manager.m_strImageRoot;
        for (int i = 0; i < perStation; ++i)
            Still(m, "s" + std::to_string(s) + "_" + std::to_string(i) + ".bmp");
        m->WriteInfoXml(L"");
        manager.DeleteAllModels();
        stations.push_back(Station({store, m_dir.Native("images"), connection, "3", "12345"}));
    }
    for (pid_t pid : stations) {
        const int status = Wait(pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 2 * perStation);
    EXPECT_EQ(Rows(L"SELECT ONO FROM MMAIN ORDER BY ONO"), (std::vector<std::vector<CString>>{{L"7"}, {L"8"}, {L"9"}}));
    EXPECT_EQ(Count(L"SELECT SUM(IMGNO) FROM MMAIN"), 2 * perStation);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG WHERE ONO IN (8, 9)"), 2 * perStation);
    EXPECT_EQ(static_cast<int>(ImageFiles().size()), 2 * perStation);
}

INSTANTIATE_TEST_SUITE_P(Backends, CommitStations, testing::Values(Backend::SQLite, Backend::PostgreSQL), BackendName);

namespace {

std::multiset<std::string> Contents(const std::string& folder)
{
    std::multiset<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.is_regular_file())
            out.insert(ReadAll(e.path().string()));
    return out;
}

}  // namespace

TEST_P(CommitStations, AStationCutShortBeforeItsCommitLosesNothingToTheNextNumber)
{
    // SQLite hands a number out again once the transaction that took it was rolled back: the
    // number in the cut station's journal may by now be another still's, with its copy.
    const std::string connection = Pg() ? m_conn.connectionString.ToUtf8()
                                        : "Driver=SQLite3;Database=" + m_dir.Native("HRB4100.db") + ";";
    std::string first, second;
    for (int s = 0; s < 2; ++s) {
        fs::create_directories(m_dir.Native("store" + std::to_string(s)));
        manager.EnsureImageRoot(m_dir.Win("store" + std::to_string(s)));
        CKXQUIVACaptureModel* m = Model();
        m->m_strImageRoot = manager.m_strImageRoot;
        (s == 0 ? first : second) = ReadAll(quiva::NativePath(Still(m, "s" + std::to_string(s) + ".bmp")).value());
        if (s == 0) {
            m->WriteInfoXml(L"");
            manager.DeleteAllModels();
            const int status = Wait(Station({m_dir.Native("store0"), m_dir.Native("images"), connection,
                                             std::to_string(m_conn.dbmsKind), "12345", "Commit#5"}));
            ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        } else {
            EXPECT_EQ(m->Commit(), Result::Done);  // the other station, same chart
            manager.DeleteAllModels();
        }
    }
    CKXQUIVACaptureModelManager again;
    again.m_pConfig = &config;
    again.EnsureImageRoot(m_dir.Win("store0"));
    again.LoadAll();
    ASSERT_EQ(again.GetModelCount(), 1);
    EXPECT_EQ(again.GetModel(0)->Commit(), Result::Done);
    again.DeleteAllModels();
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 2);
    EXPECT_EQ(Contents(m_dir.Native("images")), (std::multiset<std::string>{first, second}));
    for (const auto& e : fs::recursive_directory_iterator(m_dir.Native("store0")))
        EXPECT_FALSE(e.is_regular_file() && e.path().filename() != "info.xml") << e.path();
}

TEST_P(CommitStations, AFullImageDirectoryKeepsEveryFileInTheStore)
{
    // The station sees the image directory as a file system of its own that is full: a one-page
    // memory file system in a mount namespace of its own (no privileges needed). It names the
    // store in the native spelling, so the stills listed in info.xml are also found as loose files.
    if (std::system("unshare -Urm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "user namespaces are not available here";
    const std::string connection = Pg() ? m_conn.connectionString.ToUtf8()
                                        : "Driver=SQLite3;Database=" + m_dir.Native("HRB4100.db") + ";";
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    Still(m, "2.bmp");
    m->WriteInfoXml(L"");
    manager.DeleteAllModels();
    const std::string script =
        "mount -t tmpfs -o size=4k quiva-full \"$1\" && head -c 4096 /dev/zero > \"$1/full\" || exit 99; "
        "\"$2\" \"$3\" \"$1\" \"$4\" \"$5\" 12345; r=$?; find \"$1\" -type f > \"$6\"; exit $r";
    const int status = Wait(Spawn({"unshare", "-Urm", "sh", "-c", script, "sh", m_dir.Native("images"), Child(),
                                   m_dir.Native("store"), connection, std::to_string(m_conn.dbmsKind),
                                   m_dir.Native("left.txt")}));
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);  // the image directory's result
    EXPECT_EQ(ReadAll(m_dir.Native("left.txt")), m_dir.Native("images") + "/full\n") << "no part of a copy is left";
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MMAIN"), 0);
    // Both stills wait in the store, without a journal, and go once there is room.
    for (const auto& e : fs::recursive_directory_iterator(m_dir.Native("store")))
        EXPECT_NE(e.path().extension(), ".commit") << e.path();
    CKXQUIVACaptureModelManager again;
    again.m_pConfig = &config;
    again.EnsureImageRoot(m_dir.Win("store"));
    again.LoadAll();
    ASSERT_EQ(again.GetModelCount(), 1);
    EXPECT_EQ(again.GetModel(0)->GetFileCount(), 2);
    EXPECT_EQ(again.GetModel(0)->Commit(), Result::Done);
    again.DeleteAllModels();
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 2);
    EXPECT_EQ(ImageFiles().size(), 2u);
}

TEST_P(CommitStations, ADatabaseServerStoppedMidCommitLosesNothing)
{
    if (!Pg())
        GTEST_SKIP() << "a database server is stopped";
    auto server = quiva::test::FindPostgres(nullptr);
    ASSERT_TRUE(server);
    // The second cluster, which a test may stop, is shared by every test run on the machine.
    const int lock = ::open((server->restartData + "/../restart.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    const std::string runAs = ::geteuid() == 0 ? "runuser -u " + server->owner + " -- " : "";
    auto pgctl = [&](const std::string& args) {
        return std::system((runAs + server->pgCtl + " -D " + server->restartData + " " + args + " >/dev/null 2>&1").c_str());
    };
    const std::string name = "quiva_r" + std::to_string(::getpid());
    CKXAdoConnection admin;
    admin.connectionString = quiva::test::PgConnectionString(*server, server->database, server->restartPort);
    ASSERT_TRUE(admin.Open(0));
    ASSERT_TRUE(admin.Execute(CString(quiva::Utf8ToWide("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)").c_str()), 0, 1));
    ASSERT_TRUE(admin.Execute(CString(quiva::Utf8ToWide("CREATE DATABASE " + name).c_str()), 0, 1));
    m_conn.Close(0);
    m_conn.connectionString = quiva::test::PgConnectionString(*server, name, server->restartPort);
    ASSERT_TRUE(m_conn.Open(0));
    ASSERT_TRUE(m_conn.Execute(CString(quiva::Utf8ToWide(quiva::test::ResourceText("resources/db/postgresql.sql")).c_str()), 0, 1));
    config.GetConnection()->connectionString = m_conn.connectionString;
    quiva::ScopedVirtualClock clock;  // the reconnection attempts wait in virtual time

    // The server goes down after the study row, after the copy (before the commit) and after the
    // first file's commit.
    for (const wchar_t* step : {L"Commit#1", L"Commit#5", L"Commit#6"}) {
        SCOPED_TRACE(CString(step).ToUtf8());
        CKXQUIVACaptureModel* m = Model();
        const CString stills[] = {Still(m, "1.bmp"), Still(m, "2.bmp"), Still(m, "3.bmp")};
        bool stopped = false;
        quiva::DebugSink previous = quiva::SetDebugSink([&](const std::wstring& line) {
            if (!stopped && line.rfind(step, 0) == 0) {
                stopped = true;
                pgctl("-m fast -w stop");
            }
        });
        EXPECT_EQ(m->Commit(), Result::NoConnection);
        quiva::SetDebugSink(previous);
        ASSERT_TRUE(stopped);
        ASSERT_EQ(pgctl("-l " + server->restartData + "/server.log -w -t 60 start"), 0);
        m_conn.Close(0);
        ASSERT_TRUE(m_conn.Open(0));
        // Each still is in the store, unsaved, or saved with its row and its copy.
        for (int i = 0; i < 3; ++i) {
            _KXCaptureFileInfo* info = m->GetFileInfo(i);
            const bool inStore = fs::exists(quiva::NativePath(stills[i]).value());
            EXPECT_NE(inStore, info->saved != 0) << i;
        }
        const int rows = Count(L"SELECT COUNT(*) FROM MIMG");
        for (const auto& row : Rows(L"SELECT IMGNO FROM MIMG")) {
            const CString target = CKXQUIVACaptureModel::ImageDirectoryPath(m_dir.Win("images"), _wtoi(row[0]), L".bmp");
            EXPECT_TRUE(fs::exists(quiva::NativePath(target).value())) << "row " << row[0].ToUtf8() << " without its copy";
        }
        EXPECT_EQ(Count(L"SELECT COALESCE(SUM(IMGNO), 0) FROM MMAIN"), rows);
        // The next commit with the server back finishes the job, and no copy is left over.
        EXPECT_EQ(m->Commit(), Result::Done);
        EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 3);
        EXPECT_EQ(ImageFiles().size(), 3u);
        EXPECT_FALSE(fs::exists(m_dir.Native("store/12345")));
        manager.DeleteAllModels();
        ASSERT_TRUE(m_conn.Execute(L"DELETE FROM MMAIN; DELETE FROM MIMG", 0, 1));
        fs::remove_all(m_dir.Native("images"));
        fs::create_directories(m_dir.Native("images"));
    }
    m_conn.Close(0);
    admin.Close(0);
    ASSERT_TRUE(admin.Open(0));
    admin.Execute(CString(quiva::Utf8ToWide("DROP DATABASE IF EXISTS " + name + " WITH (FORCE)").c_str()), 0, 1);
    ::flock(lock, LOCK_UN);
    ::close(lock);
}

TEST_P(CommitStations, AStoreFileThatCannotBeRemovedIsNeverCommittedTwice)
{
    // In the station's own mount namespace the still is a mount point, which nobody can remove.
    if (std::system("unshare -Urm true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "user namespaces are not available here";
    CKXQUIVACaptureModel* m = Model();
    const std::string still = quiva::NativePath(Still(m, "1.bmp")).value();
    m->WriteInfoXml(L"");
    manager.DeleteAllModels();
    // The station commits the still and cannot remove it; started again in the same namespace,
    // it settles the commit it left and still cannot remove it.
    const std::string script = "mount --bind \"$1\" \"$1\" || exit 99; "
                               "\"$2\" \"$3\" \"$4\" \"$5\" \"$6\" 12345 && \"$2\" \"$3\" \"$4\" \"$5\" \"$6\" 12345";
    const int status = Wait(Spawn({"unshare", "-Urm", "sh", "-c", script, "sh", still, Child(), m_dir.Native("store"),
                                   m_dir.Native("images"), StationConnection(), std::to_string(m_conn.dbmsKind)}));
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 1);
    EXPECT_TRUE(fs::exists(still));
    // The restart, where the still can go at last: it is not committed again.
    CKXQUIVACaptureModelManager again;
    again.m_pConfig = &config;
    again.EnsureImageRoot(m_dir.Win("store"));
    again.LoadAll();
    EXPECT_EQ(again.GetModelCount(), 0);
    EXPECT_EQ(Count(L"SELECT COUNT(*) FROM MIMG"), 1);
    EXPECT_EQ(ImageFiles().size(), 1u);
    EXPECT_FALSE(fs::exists(still));
    EXPECT_FALSE(fs::exists(still + ".commit"));
}

TEST_P(CommitStations, TemporariesLeftByACrashAreRemovedAndNeverTakenForCaptures)
{
    // What a crash leaves: a half-written info.xml and journal beside the store's captures, and a
    // partial copy in the image directory.
    CKXQUIVACaptureModel* m = Model();
    const std::string still = quiva::NativePath(Still(m, "093015123.bmp")).value();
    m->WriteInfoXml(L"");
    manager.DeleteAllModels();
    const std::string folder = fs::path(still).parent_path().string();
    const std::string copies = m_dir.Native("images/00/00/00/00");
    fs::create_directories(copies);
    const std::string bmp = ReadAll(still);
    const std::vector<std::string> leftovers = {folder + "/info.xml.quiva-tmp-Ab3dE9",
                                                folder + "/093015123.bmp.commit.quiva-tmp-x1Y2z3",
                                                folder + "/093016000.bmp.quiva-copy-Qw3rty", copies + "/1.bmp.quiva-copy-k9LmN0"};
    for (const std::string& f : leftovers) {
        WriteAll(f, bmp.substr(0, bmp.size() / 2));
        fs::last_write_time(f, fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    // A copy another station is writing at this moment stays.
    WriteAll(copies + "/2.bmp.quiva-copy-Busy01", "in progress");

    manager.LoadAll();
    ASSERT_EQ(manager.GetModelCount(), 1);
    EXPECT_EQ(manager.GetModel(0)->GetFileCount(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(fs::exists(leftovers[static_cast<size_t>(i)])) << leftovers[static_cast<size_t>(i)];
    EXPECT_EQ(manager.GetModel(0)->Commit(), Result::Done);
    EXPECT_FALSE(fs::exists(leftovers[3]));
    EXPECT_EQ(ImageFiles(), (std::vector<std::string>{"00/00/00/00/1.bmp", "00/00/00/00/2.bmp.quiva-copy-Busy01"}));
    EXPECT_EQ(ReadAll(m_dir.Native("images/00/00/00/00/1.bmp")), bmp);
}

namespace {

// Whether this process is being traced, waiting up to a minute for it.
bool WaitForTracer()
{
    for (int tries = 0; tries < 6000; ++tries) {
        std::ifstream status("/proc/self/status");
        for (std::string line; std::getline(status, line);)
            if (line.rfind("TracerPid:", 0) == 0 && std::atoi(line.c_str() + 10) != 0)
                return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// The first line at or after `from` holding every one of `parts`; the lines' count when none.
size_t FindLine(const std::vector<std::string>& lines, size_t from, std::initializer_list<std::string> parts)
{
    for (size_t i = from; i < lines.size(); ++i)
        if (std::all_of(parts.begin(), parts.end(), [&](const std::string& p) { return lines[i].find(p) != std::string::npos; }))
            return i;
    return lines.size();
}

}  // namespace

TEST_P(CommitStations, NewNamesReachTheDiskBeforeAnythingReliesOnThem)
{
    if (quiva::test::RunCommand("command -v strace").empty())
        GTEST_SKIP() << "strace is not installed";
    CKXQUIVACaptureModel* m = Model();
    Still(m, "1.bmp");
    const std::string trace = m_dir.Native("trace.txt");
    const pid_t tracer = Spawn({"strace", "-f", "-qq", "-y", "-e", "trace=rename,renameat,renameat2,fsync,access", "-o", trace,
                                "-p", std::to_string(::getpid())});
    ASSERT_TRUE(WaitForTracer());
    // The rows are committed right after this line.
    quiva::DebugSink previous = quiva::SetDebugSink([](const std::wstring& line) {
        if (line.rfind(L"Commit#5", 0) == 0)
            ::access("/quiva-rows-are-committed-next", F_OK);
    });
    m->WriteInfoXml(L"");
    EXPECT_EQ(m->Commit(), Result::Done);
    quiva::SetDebugSink(previous);
    ::kill(tracer, SIGINT);
    Wait(tracer);
    std::vector<std::string> lines;
    std::ifstream in(trace);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    const std::string text = testing::PrintToString(lines);
    // info.xml replaced, then its folder flushed.
    const std::string store = m_dir.Native("store/12345/Endo/20240105");
    const size_t info = FindLine(lines, 0, {"rename(", "\"" + store + "/info.xml\""});
    ASSERT_LT(info, lines.size()) << text;
    EXPECT_LT(FindLine(lines, info, {"fsync(", "<" + store + ">"}), lines.size()) << text;
    // The copy takes its name, its folder is flushed, then the rows are committed.
    const std::string copies = m_dir.Native("images/00/00/00/00");
    const size_t copy = FindLine(lines, 0, {"rename(", "\"" + copies + "/1.bmp\""});
    const size_t rows = FindLine(lines, 0, {"access(", "quiva-rows-are-committed-next"});
    ASSERT_LT(rows, lines.size()) << text;
    ASSERT_LT(copy, rows) << text;
    EXPECT_LT(FindLine(lines, copy, {"fsync(", "<" + copies + ">"}), rows) << text;
}
