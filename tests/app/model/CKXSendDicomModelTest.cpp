#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "app/model/CKXSendDicomModel.h"
#include "dicom/DicomJpegHeader.h"
#include "framework/CKXAdoConnection.h"
#include "platform/base/debug.h"
#include "platform/base/memoryapi.h"
#include "platform/base/winpath.h"
#include "tests/support/dicom/JpegSamples.h"
#include "tests/support/dicom/NetTestSupport.h"
#include "tests/support/dicom/TestPeer.h"
#include "tests/support/BmpFiles.h"
#include "tests/support/Command.h"
#include "tests/support/Databases.h"
#include "tests/support/TempDir.h"

using quiva::test::JpegKind;
using quiva::test::MakeBmp;
using quiva::test::TempDir;
using quiva::test::WriteAll;

namespace {

struct Pixels {
    BYTE* data = nullptr;
    int columns = 0, rows = 0, bits = 0;
    BOOL grey = 0, jpeg = 0;
    DWORD length = 0;
    ~Pixels()
    {
        if (data)
            VirtualFree(data, 0, MEM_RELEASE);
    }
};

void Read(CKXSendDicomModel& model, const CString& path, Pixels& p)
{
    p.data = model.ReadImage(path, &p.columns, &p.rows, &p.grey, &p.bits, &p.length, &p.jpeg);
}

// The JPEG with its frame marker replaced (the walk reads only the marker).
std::string WithFrameMarker(std::string jpeg, unsigned char marker)
{
    for (size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xFF && static_cast<unsigned char>(jpeg[i + 1]) == 0xC0) {
            jpeg[i + 1] = static_cast<char>(marker);
            break;
        }
    return jpeg;
}

std::string Dump(const std::string& file)
{
    return quiva::test::RunCommand("dcmdump -Un +P 0002,0010 +P 0008,0018 +P 0010,0010 +P 0010,0030 +P 0010,0040 "
                                   "+P 0020,000d +P 0020,000e +P 0020,0010 +P 0028,0004 +P 0028,0002 +P 0028,0010 "
                                   "+P 0028,0011 +P 0008,0016 \"" + file + "\"");
}

}  // namespace

TEST(SendDicomModel, TextFormsForTheObject)
{
    EXPECT_EQ(CKXSendDicomModel::DigitsOnly(L"A7"), L"657");
    EXPECT_EQ(CKXSendDicomModel::DigitsOnly(L"00123"), L"00123");
    EXPECT_EQ(CKXSendDicomModel::DicomDate(L"1980-01-05"), L"19800105");
    EXPECT_EQ(CKXSendDicomModel::DicomDate(L"1980/01/05"), L"19800105");
    EXPECT_EQ(CKXSendDicomModel::DicomDate(L"19801305"), L"");
    EXPECT_EQ(CKXSendDicomModel::DicomDate(L"800105"), L"");
    EXPECT_EQ(CKXSendDicomModel::DicomSex(L"m"), L"M");
    EXPECT_EQ(CKXSendDicomModel::DicomSex(L"여"), L"F");
    EXPECT_EQ(CKXSendDicomModel::DicomSex(L"2"), L"F");
    EXPECT_EQ(CKXSendDicomModel::DicomSex(L"?"), L"O");
    EXPECT_EQ(CKXSendDicomModel::DicomSex(L""), L"");
    EXPECT_TRUE(CKXSendDicomModel::IsValidUid(L"1.2.999.424242.1.11.77.1.00123.20240105.3"));
    EXPECT_FALSE(CKXSendDicomModel::IsValidUid(L"1.2..3"));
    EXPECT_FALSE(CKXSendDicomModel::IsValidUid(L"1.2.3."));
    EXPECT_FALSE(CKXSendDicomModel::IsValidUid(CString(L"1.") + CString(std::wstring(63, L'1').c_str())));
    CKXSendDicomModel model;
    model.SetDates(L"2024-01-05", L"Endo");
    EXPECT_EQ(model.studyDate, L"20240105");
    model.SetDates(L"2024/01/05", L"Endo");
    EXPECT_EQ(model.studyDate, L"20240105");
}

TEST(SendDicomModel, JpegStillsAreTakenWholeOnlyWhenSequential)
{
    TempDir dir;
    CKXSendDicomModel model;
    const std::string colour = quiva::test::MakeJpeg(40, 24, JpegKind::YCbCrJfif);
    WriteAll(dir.Native("c.jpg"), colour);
    Pixels p;
    Read(model, dir.Win("c.jpg"), p);
    ASSERT_NE(p.data, nullptr);
    EXPECT_TRUE(p.jpeg);
    EXPECT_EQ(p.columns, 40);
    EXPECT_EQ(p.rows, 24);
    EXPECT_EQ(p.bits, 8);
    EXPECT_FALSE(p.grey);
    ASSERT_EQ(p.length, colour.size());
    EXPECT_EQ(std::memcmp(p.data, colour.data(), colour.size()), 0);

    WriteAll(dir.Native("g.jpg"), quiva::test::MakeJpeg(16, 8, JpegKind::Gray));
    Pixels grey;
    Read(model, dir.Win("g.jpg"), grey);
    ASSERT_NE(grey.data, nullptr);
    EXPECT_TRUE(grey.grey);

    // Extended sequential is read; progressive and lossless are not, nor a stream without a frame.
    WriteAll(dir.Native("e.jpg"), WithFrameMarker(colour, 0xC1));
    Pixels extended;
    Read(model, dir.Win("e.jpg"), extended);
    EXPECT_NE(extended.data, nullptr);
    for (unsigned char marker : {0xC2, 0xC3, 0xCA}) {
        WriteAll(dir.Native("x.jpg"), WithFrameMarker(colour, marker));
        Pixels refused;
        Read(model, dir.Win("x.jpg"), refused);
        EXPECT_EQ(refused.data, nullptr) << std::hex << int(marker);
    }
    WriteAll(dir.Native("t.jpg"), colour.substr(0, 20));
    Pixels cut;
    Read(model, dir.Win("t.jpg"), cut);
    EXPECT_EQ(cut.data, nullptr);
    WriteAll(dir.Native("one.jpg"), std::string("\xFF", 1));
    Pixels one;
    Read(model, dir.Win("one.jpg"), one);
    EXPECT_EQ(one.data, nullptr);
}

TEST(SendDicomModel, BitmapsBecomeRowsTopFirstWithoutShear)
{
    TempDir dir;
    CKXSendDicomModel model;
    // 641 pixels: rows of 1923 bytes padded to 1924.
    auto colour = [](int x, int y) { return static_cast<uint32_t>(((x & 0xFF) << 16) | ((y & 0xFF) << 8) | ((x + y) & 0xFF)); };
    for (bool topDown : {false, true}) {
        WriteAll(dir.Native("c.bmp"), MakeBmp(641, 480, 24, {}, colour, topDown));
        Pixels p;
        Read(model, dir.Win("c.bmp"), p);
        ASSERT_NE(p.data, nullptr);
        EXPECT_FALSE(p.jpeg);
        EXPECT_FALSE(p.grey);
        ASSERT_EQ(p.length, 641u * 480u * 3u);
        for (int y : {0, 1, 479})
            for (int x : {0, 1, 640}) {
                const BYTE* px = p.data + (static_cast<size_t>(y) * 641 + x) * 3;
                ASSERT_EQ(px[0], x & 0xFF) << x << "," << y;
                ASSERT_EQ(px[1], y & 0xFF) << x << "," << y;
                ASSERT_EQ(px[2], (x + y) & 0xFF) << x << "," << y;
            }
    }
    // An all-grey palette gives one sample a pixel; 1 and 4 bits are unpacked high bits first.
    std::vector<uint32_t> greys;
    for (uint32_t i = 0; i < 256; ++i)
        greys.push_back(i * 0x010101);
    WriteAll(dir.Native("g.bmp"), MakeBmp(9, 3, 8, greys, [](int x, int y) { return static_cast<uint32_t>(x * 20 + y); }));
    Pixels g;
    Read(model, dir.Win("g.bmp"), g);
    ASSERT_NE(g.data, nullptr);
    EXPECT_TRUE(g.grey);
    ASSERT_EQ(g.length, 27u);
    EXPECT_EQ(g.data[2 * 9 + 4], 82);
    WriteAll(dir.Native("b.bmp"), MakeBmp(10, 2, 1, {0x000000, 0xFFFFFF}, [](int x, int) { return x % 3 == 0 ? 1u : 0u; }));
    Pixels b;
    Read(model, dir.Win("b.bmp"), b);
    ASSERT_NE(b.data, nullptr);
    EXPECT_TRUE(b.grey);
    EXPECT_EQ(std::vector<BYTE>(b.data, b.data + 10), (std::vector<BYTE>{255, 0, 0, 255, 0, 0, 255, 0, 0, 255}));
    // A colour palette of three entries at 4 bits.
    WriteAll(dir.Native("n.bmp"), MakeBmp(3, 1, 4, {0xFF0000, 0x00FF00, 0x0000FF}, [](int x, int) { return static_cast<uint32_t>(x); }));
    Pixels n;
    Read(model, dir.Win("n.bmp"), n);
    ASSERT_NE(n.data, nullptr);
    EXPECT_FALSE(n.grey);
    EXPECT_EQ(std::vector<BYTE>(n.data, n.data + 9), (std::vector<BYTE>{255, 0, 0, 0, 255, 0, 0, 0, 255}));
    // 16 bits as 5-5-5 and 32 bits with the fourth byte ignored.
    WriteAll(dir.Native("w.bmp"), MakeBmp(2, 1, 16, {}, [](int x, int) { return x ? 0x001Fu : 0x7C00u; }));
    Pixels w;
    Read(model, dir.Win("w.bmp"), w);
    ASSERT_NE(w.data, nullptr);
    EXPECT_EQ(std::vector<BYTE>(w.data, w.data + 6), (std::vector<BYTE>{255, 0, 0, 0, 0, 255}));
    WriteAll(dir.Native("d.bmp"), MakeBmp(1, 1, 32, {}, [](int, int) { return 0x102030u; }));
    Pixels d;
    Read(model, dir.Win("d.bmp"), d);
    ASSERT_NE(d.data, nullptr);
    EXPECT_EQ(std::vector<BYTE>(d.data, d.data + 3), (std::vector<BYTE>{0x10, 0x20, 0x30}));
    // Not an image, and no file at all.
    WriteAll(dir.Native("z.bmp"), "BMnot really");
    Pixels z, missing;
    Read(model, dir.Win("z.bmp"), z);
    Read(model, dir.Win("none.bmp"), missing);
    EXPECT_EQ(z.data, nullptr);
    EXPECT_EQ(missing.data, nullptr);
}

TEST(SendDicomModel, BitFieldBitmapsKeepTheirColours)
{
    // Red, green and blue pixels under 32-bit masks in R, G, B, A byte order and 16-bit 4-4-4
    // masks: the pixels sent have the colours the file's masks give.
    CKXSendDicomModel model;
    for (const char* name : {"bf32-rgba-order.bmp", "bf16-444.bmp"}) {
        const std::string path = std::string(QUIVA_SOURCE_DIR) + "/tests/data/findings/image_decode/" + name;
        Pixels p;
        Read(model, quiva::WindowsPath(path), p);
        ASSERT_NE(p.data, nullptr) << name;
        ASSERT_EQ(p.length, 9u) << name;
        EXPECT_EQ(std::vector<BYTE>(p.data, p.data + 9), (std::vector<BYTE>{255, 0, 0, 0, 255, 0, 0, 0, 255})) << name;
    }
}

TEST(SendDicomModel, StillsArriveAtThePacsAsSecondaryCaptures)
{
    TempDir dir;
    quiva::test::Storescp pacs(dir.Native(""), {"+xa"});
    ASSERT_TRUE(pacs.running());
    WriteAll(dir.Native("still.jpg"), quiva::test::MakeJpeg(64, 48, JpegKind::YCbCrJfif));
    std::vector<uint32_t> greys;
    for (uint32_t i = 0; i < 256; ++i)
        greys.push_back(i * 0x010101);
    WriteAll(dir.Native("still.bmp"), MakeBmp(9, 3, 8, greys, [](int x, int) { return static_cast<uint32_t>(x); }));

    CKXSendDicomModel model;
    model.chartNo = L"A7";
    model.patientName = L"HONG^GILDONG";
    model.birthDate = L"1980-01-05";
    model.sex = L"남";
    model.SetNetwork(L"127.0.0.1", L"PACS", CString(std::to_wstring(pacs.port()).c_str()) + L"x", L"H77");
    model.SetDates(L"2024-01-05", L"Endo");
    quiva::DebugCapture debug;
    EXPECT_TRUE(model.BuildAndSend(5678, dir.Win("still.jpg"), 3)) << testing::PrintToString(debug.Lines());
    EXPECT_EQ(model.studyUid, L"1.2.999.424242.1.11.77.1.657.20240105.3");
    EXPECT_EQ(model.instanceUid, L"1.2.999.424242.1.11.77.1.657.20240105.3.1.5678");
    EXPECT_EQ(model.studyId, L"202401050003");
    EXPECT_TRUE(debug.Contains(L"SendFileName#5"));
    EXPECT_TRUE(debug.Contains(L"DICOM#3"));
    EXPECT_TRUE(model.BuildAndSend(5679, dir.Win("still.bmp"), 3));

    const std::vector<std::string> files = quiva::test::FilesIn(dir.Native(""));
    std::string jpegDump, rawDump;
    for (const std::string& f : files) {
        if (f.rfind("SC", 0) != 0)
            continue;
        const std::string d = Dump(dir.Native(f));
        (d.find("5678") != std::string::npos && d.find("5679") == std::string::npos ? jpegDump : rawDump) = d;
    }
    ASSERT_FALSE(jpegDump.empty()) << testing::PrintToString(files);
    EXPECT_NE(jpegDump.find("1.2.840.10008.1.2.4.50"), std::string::npos) << jpegDump;
    EXPECT_NE(jpegDump.find("1.2.840.10008.5.1.4.1.1.7"), std::string::npos);
    EXPECT_NE(jpegDump.find("[1.2.999.424242.1.11.77.1.657.20240105.3.1]"), std::string::npos);
    EXPECT_NE(jpegDump.find("[202401050003]"), std::string::npos);
    EXPECT_NE(jpegDump.find("[19800105]"), std::string::npos);
    EXPECT_NE(jpegDump.find("[M]"), std::string::npos);
    EXPECT_NE(jpegDump.find("YBR_FULL_422"), std::string::npos);
    EXPECT_NE(jpegDump.find("HONG^GILDONG"), std::string::npos);
    ASSERT_FALSE(rawDump.empty());
    EXPECT_NE(rawDump.find("1.2.840.10008.1.2.1"), std::string::npos) << rawDump;
    EXPECT_NE(rawDump.find("MONOCHROME2"), std::string::npos);
    EXPECT_NE(rawDump.find("(0028,0011) US 9"), std::string::npos);
}

TEST(SendDicomModel, NothingIsSentWithoutNumbersAddressOrValidUids)
{
    TempDir dir;
    WriteAll(dir.Native("still.jpg"), quiva::test::MakeJpeg(16, 16, JpegKind::YCbCrJfif));
    CKXSendDicomModel model;
    model.chartNo = L"1234";
    model.SetDates(L"2024-01-05", L"Endo");
    quiva::DebugCapture debug;
    // No image number.
    model.SetNetwork(L"127.0.0.1", L"PACS", L"104", L"77");
    EXPECT_FALSE(model.BuildAndSend(0, dir.Win("still.jpg"), 1));
    EXPECT_FALSE(debug.Contains(L"SendFileName#2"));
    // No port: no connection is tried.
    model.SetNetwork(L"127.0.0.1", L"PACS", L"", L"77");
    EXPECT_FALSE(model.BuildAndSend(5, dir.Win("still.jpg"), 1));
    EXPECT_TRUE(debug.Contains(L"no PACS address"));
    // An empty institution number, and a chart number whose UID passes 64 characters.
    model.SetNetwork(L"127.0.0.1", L"PACS", L"104", L"");
    debug.Clear();
    EXPECT_FALSE(model.BuildAndSend(5, dir.Win("still.jpg"), 1));
    EXPECT_TRUE(debug.Contains(L"not valid DICOM UIDs"));
    model.SetNetwork(L"127.0.0.1", L"PACS", L"104", L"77");
    model.chartNo = L"ABCDEFGHIJKLMNOPQRST";
    debug.Clear();
    EXPECT_FALSE(model.BuildAndSend(5, dir.Win("still.jpg"), 1));
    EXPECT_TRUE(debug.Contains(L"not valid DICOM UIDs"));
    EXPECT_FALSE(debug.Contains(L"DICOM#1"));
}

TEST(SendDicomModel, APacsThatIsDownOrRefusesIsReportedAndReturns)
{
    TempDir dir;
    WriteAll(dir.Native("still.jpg"), quiva::test::MakeJpeg(16, 16, JpegKind::YCbCrJfif));
    CKXSendDicomModel model;
    model.chartNo = L"1234";
    model.SetDates(L"20240105", L"Endo");
    quiva::DebugCapture debug;
    // A port nobody listens on.
    model.SetNetwork(L"127.0.0.1", L"PACS", CString(std::to_wstring(quiva::test::UnusedPort()).c_str()), L"77");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(model.BuildAndSend(5, dir.Win("still.jpg"), 1));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_TRUE(debug.Contains(L"no association"));
    // A PACS that refuses this calling AE title.
    quiva::test::Storescp strict(dir.Native(""), {"--refuse"});
    ASSERT_TRUE(strict.running());
    model.SetNetwork(L"127.0.0.1", L"PACS", CString(std::to_wstring(strict.port()).c_str()), L"77");
    debug.Clear();
    EXPECT_FALSE(model.BuildAndSend(6, dir.Win("still.jpg"), 1));
    EXPECT_TRUE(debug.Contains(L"no association"));
}

TEST(SendDicomModel, AStoreWithoutAResponseSaysWhatHappenedInsteadOfAStatus)
{
    using quiva::test::PeerConnection;
    TempDir dir;
    WriteAll(dir.Native("still.jpg"), quiva::test::MakeJpeg(16, 16, JpegKind::YCbCrJfif));
    quiva::DebugCapture debug;
    // A PACS that takes the association but not the still's kind.
    quiva::test::TestPeer refusing([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(quiva::test::AssociateAccept(3, quiva::test::kJpegBaselineUid, 16384));
        c.ReadPdu();
        c.Write(quiva::test::ReleaseReply());
        c.ReadToEnd();
    });
    CKXSendDicomModel model;
    model.chartNo = L"1234";
    model.SetDates(L"20240105", L"Endo");
    model.SetNetwork(L"127.0.0.1", L"PACS", CString(std::to_wstring(refusing.port()).c_str()), L"77");
    EXPECT_FALSE(model.BuildAndSend(5, dir.Win("still.jpg"), 1));
    EXPECT_TRUE(debug.Contains(L"did not accept")) << testing::PrintToString(debug.Lines());
    EXPECT_EQ(model.missed[KX_PACS_REFUSED], 1);
    // One that drops the association once the still has come.
    quiva::test::TestPeer dropping([](PeerConnection& c) {
        c.ReadPdu();
        c.Write(quiva::test::AssociateAccept(0, quiva::test::kJpegBaselineUid, 16384));
        quiva::test::ReadMessage(c);
        quiva::test::ReadMessage(c);
        c.Write(quiva::test::Abort());
        c.ReadToEnd();
    });
    model.SetNetwork(L"127.0.0.1", L"PACS", CString(std::to_wstring(dropping.port()).c_str()), L"77");
    EXPECT_FALSE(model.BuildAndSend(6, dir.Win("still.jpg"), 1));
    EXPECT_TRUE(debug.Contains(L"it dropped the association")) << testing::PrintToString(debug.Lines());
    EXPECT_EQ(model.missed[KX_PACS_DROPPED], 1);
    EXPECT_EQ(model.missed[KX_PACS_SILENT], 0);
    for (const std::wstring& line : debug.Lines())
        EXPECT_EQ(line.find(L"FFFF"), std::wstring::npos) << CString(line.c_str()).ToUtf8();
}

TEST(SendDicomModel, PatientRowIsReadWithTheChartNumberQuoted)
{
    TempDir dir;
    ASSERT_TRUE(quiva::test::CreateSqliteClinicDb(dir.Native("HRB4100.db")));
    CKXAdoConnection db;
    db.connectionString = CString(L"Driver=SQLite3;Database=") + dir.Win("HRB4100.db") + L";";
    ASSERT_TRUE(db.Open(0));
    ASSERT_TRUE(db.Execute(L"INSERT INTO PATIENT VALUES ('O''1', '홍길동', 'F', '1980-01-05')", 0, 1));
    CKXSendDicomModel model;
    model.connection = &db;
    model.LoadPatient(L"O'1");
    EXPECT_EQ(model.patientName, L"홍길동");
    EXPECT_EQ(model.sex, L"F");
    EXPECT_EQ(model.birthDate, L"1980-01-05");
    // A chart number made to break out of the literal finds nothing and changes nothing.
    CKXSendDicomModel other;
    other.connection = &db;
    other.LoadPatient(L"x' OR '1'='1");
    EXPECT_EQ(other.patientName, L"");
    EXPECT_EQ(other.chartNo, L"x' OR '1'='1");
}
