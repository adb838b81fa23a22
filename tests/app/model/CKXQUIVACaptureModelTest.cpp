#include <gtest/gtest.h>

#include "framework/CKXXmlDocument.h"
#include "platform/base/clock.h"
#include "platform/base/fileapi.h"
#include "platform/gdi/ImageCodec.h"
#include "tests/app/CaptureStoreTestSupport.h"
#include "tests/app/SettingTestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesOf(const std::string& folder)
{
    std::vector<std::string> names;
    if (fs::exists(folder))
        for (const auto& e : fs::directory_iterator(folder))
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

class CaptureModel : public CaptureStore {
protected:
    using Result = CKXQUIVACaptureModel::CaptureResult;
    using Start = CKXQUIVACaptureModel::RecordingStart;
    using Kind = CKXQUIVACaptureModel::FileKind;
};

TEST_F(CaptureModel, StudyFoldersNeverLeaveTheStore)
{
    CKXQUIVACaptureModel m;
    m.m_strImageRoot = L"c:\\store";
    m.SetPatient(L"123", L"");
    m.SetStudyName(L"A/B:C?D\\E*F<G>H|I\"");
    m.SetStudyDate(L"20240105");
    EXPECT_EQ(m.BuildStudyFolder(), L"c:\\store\\123\\A_B_C_D_E_F_G_H_I\"\\20240105");
    EXPECT_EQ(m.GetStudyName(), L"A/B:C?D\\E*F<G>H|I\"");
    // Dots, separators in chart numbers and dates that are not 8 digits.
    quiva::ScopedVirtualClock clock;  // 2024-01-05
    m.SetPatient(L"..", L"");
    m.SetStudyName(L".");
    m.SetStudyDate(L"../../x");
    EXPECT_EQ(m.BuildStudyFolder(), L"c:\\store\\__\\_\\20240105");
    m.SetPatient(L"a\\..\\b", L"");
    m.SetStudyName(L"Endo. ");
    m.SetStudyDate(L"2024/01/05");
    EXPECT_EQ(m.BuildStudyFolder(), L"c:\\store\\a_.._b\\Endo\\20240105");
    m.SetStudyDate(L"");
    m.BuildStudyFolder();
    EXPECT_EQ(m.GetStudyDate(), L"20240105");
}

TEST_F(CaptureModel, StillsAsBmpOrJpegWithTheShutterSound)
{
    quiva::ScopedVirtualClock clock;
    CKXQUIVACaptureModel* m = Model();
    m->CaptureStill();
    const std::string folder = Store("12345/Endo/20240105");
    EXPECT_EQ(FilesOf(folder), (std::vector<std::string>{"143000000.bmp", "info.xml"}));
    EXPECT_EQ(sounds.Played(), std::vector<int>{IDW_CAPTURE_STILL});
    ASSERT_EQ(m->GetFileCount(), 1);
    EXPECT_EQ(m->GetFileInfo(0)->present, 1);
    EXPECT_GT(m->GetFileInfo(0)->image->GetWidth(), 0u);

    // JPEG: only the .jpg remains, it decodes, and the quality is applied. A second still in the
    // same millisecond takes the next name instead of replacing the first.
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bSaveJpegFormat = 1;
    options.m_nJpegQuality = 100;
    config.SetOptions(options);
    m->CaptureStill();
    options.m_nJpegQuality = 10;
    config.SetOptions(options);
    m->CaptureStill();
    options.m_nJpegQuality = 150;  // clamped, not refused
    config.SetOptions(options);
    m->CaptureStill();
    EXPECT_EQ(FilesOf(folder), (std::vector<std::string>{"143000000.bmp", "143000001.jpg", "143000002.jpg",
                                                          "143000003.jpg", "info.xml"}));
    quiva::DecodedImage decoded;
    EXPECT_TRUE(quiva::DecodeImage(quiva::test::ReadAll(folder + "/143000001.jpg"), decoded));
    EXPECT_LT(fs::file_size(folder + "/143000002.jpg"), fs::file_size(folder + "/143000001.jpg"));
    EXPECT_EQ(m->GetFileCount(), 4);
    EXPECT_EQ(sounds.Played().size(), 4u);
}

// A power cut after a still must not lose it: the folder's first still finds an info.xml naming
// the chart already there, a BMP is flushed before it takes its name, and a JPEG's name is
// on the disk before its BMP is removed (the folder is flushed between).
TEST_F(CaptureModel, AStillIsOnTheDiskBeforeItIsListedOrItsBmpGoes)
{
    quiva::ScopedVirtualClock clock;
    CKXQUIVACaptureModel* m = Model();
    const auto flushes = [&] {
        const uint64_t before = quiva::FlushCount();
        m->CaptureStill();
        return quiva::FlushCount() - before;
    };
    EXPECT_EQ(flushes(), 5u);  // the chart's info.xml and its folder, the BMP, then info.xml and its folder
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bSaveJpegFormat = 1;
    config.SetOptions(options);
    EXPECT_EQ(flushes(), 5u);  // the BMP, the JPEG and its folder, then info.xml and its folder
    EXPECT_EQ(FilesOf(Store("12345/Endo/20240105")),
              (std::vector<std::string>{"143000000.bmp", "143000001.jpg", "info.xml"}));
}

TEST_F(CaptureModel, AJpegThatCannotBeWrittenKeepsAndListsTheBmp)
{
    quiva::ScopedVirtualClock clock;
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bSaveJpegFormat = 1;
    config.SetOptions(options);
    CKXQUIVACaptureModel* m = Model();
    const std::string folder = Store("12345/Endo/20240105");
    // Between the BMP and its JPEG (at the shutter sound) a folder takes the JPEG's name, so
    // the JPEG cannot be put in place.
    quiva::SoundSink chained;
    chained = quiva::SetSoundSink([&](const quiva::SoundEvent& e) {
        if (e.resourceId == IDW_CAPTURE_STILL)
            fs::create_directories(folder + "/143000000.jpg");
        if (chained)
            chained(e);
    });
    m->CaptureStill();
    quiva::SetSoundSink(chained);
    EXPECT_EQ(FilesOf(folder), (std::vector<std::string>{"143000000.bmp", "143000000.jpg", "info.xml"}))
        << "no half-written JPEG is left";
    EXPECT_TRUE(fs::is_directory(folder + "/143000000.jpg"));
    // The shutter sounded for a still that is kept: the BMP, listed and in info.xml.
    EXPECT_EQ(sounds.Played(), std::vector<int>{IDW_CAPTURE_STILL});
    ASSERT_EQ(m->GetFileCount(), 1);
    EXPECT_TRUE(m->GetFileInfo(0)->path.Right(4) == L".bmp");
    EXPECT_GT(m->GetFileInfo(0)->image->GetWidth(), 0u);
    CKXXmlDocument xml;
    ASSERT_TRUE(xml.Load(Win("store") + L"\\12345\\Endo\\20240105\\info.xml"));
    EXPECT_EQ(xml.GetValue(L"/image@0"), m->GetFileInfo(0)->path);
    // With the name free again the next still is a JPEG only.
    fs::remove(folder + "/143000000.jpg");
    m->CaptureStill();
    EXPECT_EQ(FilesOf(folder), (std::vector<std::string>{"143000000.bmp", "143000001.jpg", "info.xml"}));
}

TEST_F(CaptureModel, NoStillWithoutARunningPreview)
{
    CKXQUIVACaptureModel* m = Model();
    // A grab that gives no file (a file stands where the study folder would go) lists nothing,
    // makes no shutter sound and says so, for the windows to tell; with video switched off the
    // record button's still says the same.
    fs::create_directories(Store("12345"));
    quiva::test::WriteAll(Store("12345/Endo"), "a file");
    EXPECT_EQ(m->CaptureStill(), Result::StillNotFiled);
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bUseVideo = 0;
    config.SetOptions(options);
    EXPECT_EQ(m->StartRecording(30), Start::StillNotFiled);
    EXPECT_EQ(m->ToggleRecording(), Result::StillNotFiled);
    EXPECT_EQ(m->GetFileCount(), 0);
    EXPECT_TRUE(sounds.Played().empty());
    fs::remove(Store("12345/Endo"));
    EXPECT_EQ(m->ToggleRecording(), Result::Done);
    EXPECT_EQ(m->GetFileCount(), 1);
    options.m_bUseVideo = 1;
    config.SetOptions(options);
    // Without a running preview nothing is taken and nothing is told.
    Engine().Stop();
    EXPECT_EQ(m->CaptureStill(), Result::Done);
    m->SetEngine(nullptr);
    EXPECT_EQ(m->CaptureStill(), Result::Done);
    EXPECT_EQ(m->GetFileCount(), 1);
    EXPECT_EQ(sounds.Played(), std::vector<int>{IDW_CAPTURE_STILL});
    EXPECT_EQ(m->StartRecording(30), Start::NoEngine);
    EXPECT_EQ(m->ToggleRecording(), Result::RecordingRefused);
}

TEST_F(CaptureModel, RecordingStopsAtItsLimitAndIsFiledWhereItStarted)
{
    quiva::ScopedVirtualClock clock;
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_nRecordLimitTime = 1;
    config.SetOptions(options);
    CKXQUIVACaptureModel* m = Model();
    ASSERT_EQ(m->StartRecording(30), Start::Started);
    EXPECT_TRUE(m->IsRecordingPending());
    // A second start while it runs is refused.
    EXPECT_EQ(m->StartRecording(30), Start::NotStarted);
    // The study changes during the recording: the file stays with the study it started in.
    m->SetStudyName(L"Colon");
    for (int i = 0; i < 60 && m->IsRecordingPending(); ++i) {
        clock->Advance(100);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Pump();
    }
    EXPECT_FALSE(m->IsRecordingPending());
    EXPECT_EQ(sounds.Played(), (std::vector<int>{IDW_RECORD_START, IDW_RECORD_STOP}));
    ASSERT_EQ(m->GetFileCount(), 1);
    _KXCaptureFileInfo* info = m->GetFileInfo(0);
    EXPECT_EQ(info->isVideo, 1);
    EXPECT_EQ(info->study, L"Endo");
    EXPECT_TRUE(fs::exists(Store("12345/Endo/20240105/143000000.avi")));
    CKXXmlDocument xml;
    ASSERT_TRUE(xml.Load(Win("store") + L"\\12345\\Endo\\20240105\\info.xml"));
    EXPECT_EQ(xml.GetAttribute(L"/image@0", L"IsVideo"), L"TRUE");
    EXPECT_FALSE(fs::exists(Store("12345/Colon")));
}

TEST_F(CaptureModel, UserStopAndDestructionKeepTheRecording)
{
    quiva::ScopedVirtualClock clock;
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_nRecordLimitTime = 0;
    config.SetOptions(options);
    CKXQUIVACaptureModel* m = Model();
    ASSERT_EQ(m->StartRecording(30), Start::Started);
    clock->Advance(500);
    // The user's stop: the flag is cleared and the next tick ends the recording.
    Engine().m_bRecording = 0;
    for (int i = 0; i < 200 && m->GetFileCount() == 0; ++i) {
        clock->Advance(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        Pump();
    }
    ASSERT_EQ(m->GetFileCount(), 1);
    // A model destroyed while it records: the timer is gone before the model, and the file is
    // listed in its folder's info.xml.
    ASSERT_EQ(m->StartRecording(30), Start::Started);
    clock->Advance(300);
    manager.DeleteModel(m);
    EXPECT_FALSE(Engine().IsRecordingOpen());
    CKXQUIVACaptureModelManager again;
    again.EnsureImageRoot(Win("store"));
    again.LoadAll();
    ASSERT_EQ(again.GetModelCount(), 1);
    EXPECT_EQ(again.GetModel(0)->GetFileCount(), 2);
    EXPECT_EQ(again.GetModel(0)->GetFileInfo(1)->present, 1);
}

TEST_F(CaptureModel, AStartTheEngineRefusesRecordsNothing)
{
    CKXQUIVACaptureModel* m = Model();
    Engine().Stop();
    EXPECT_EQ(m->StartRecording(30), Start::NotStarted);
    EXPECT_FALSE(m->IsRecordingPending());
    EXPECT_TRUE(sounds.Played().empty());
    EXPECT_EQ(FilesOf(Store("12345/Endo/20240105")), std::vector<std::string>{});
    // Video switched off: the record key takes a still (when the preview runs).
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bUseVideo = 0;
    config.SetOptions(options);
    EXPECT_EQ(m->StartRecording(30), Start::Started);
    EXPECT_EQ(m->GetFileCount(), 0);
}

TEST_F(CaptureModel, FileRecords)
{
    CKXQUIVACaptureModel* m = Model();
    quiva::test::WriteAll(Native("a.bmp"), "not a picture");
    m->AddFileInfo(CKXQUIVACaptureModel::MakeRecord(Win("a.bmp"), L"Endo", L"20240105", Kind::Still));
    m->AddFileInfo(CKXQUIVACaptureModel::MakeRecord(Win("A.BMP"), L"Endo", L"20240105", Kind::Still));  // same path, other case
    auto otherSpelling =
        CKXQUIVACaptureModel::MakeRecord(CString(quiva::Utf8ToWide(Native("a.bmp")).c_str()), L"None", L"20240105", Kind::Still);
    otherSpelling->present = 0;
    m->AddFileInfo(std::move(otherSpelling));
    quiva::test::WriteAll(Native("v.avi"), "RIFF");
    m->AddFileInfo(CKXQUIVACaptureModel::MakeRecord(Win("v.avi"), L"Endo", L"20240105", Kind::Video));  // no thumbnail: not listed
    ASSERT_EQ(m->GetFileCount(), 1);
    EXPECT_EQ(m->GetFileInfo(0)->image->GetWidth(), 0u);  // unreadable: listed, empty
    EXPECT_EQ(m->GetFileInfo(-1), nullptr);
    EXPECT_EQ(m->GetFileInfo(1), nullptr);
    const auto savedStill = [&] {
        auto saved = CKXQUIVACaptureModel::MakeRecord(Win("b.bmp"), L"Endo", L"20240105", Kind::Still);
        saved->saved = 1;
        saved->present = 0;
        return saved;
    };
    m->AddFileInfo(savedStill());
    quiva::test::WriteAll(Native("b.bmp"), "x");
    m->AddFileInfo(savedStill());
    ASSERT_EQ(m->GetFileCount(), 2);
    m->DeleteUnsaved();
    EXPECT_EQ(m->GetFileInfo(0)->present, 0);
    m->GetFileInfo(1)->present = 1;
    m->DeleteUnsaved();
    EXPECT_EQ(m->GetFileInfo(1)->present, 1);  // saved: untouched
    m->GetFileInfo(1)->present = 0;
    m->RestoreUnsaved();
    EXPECT_EQ(m->GetFileInfo(0)->present, 1);
    EXPECT_EQ(m->GetFileInfo(1)->present, 0);
}
