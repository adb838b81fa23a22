#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/dicom/JpegSamples.h"
#include "dicom/CSecondaryCaptureDicomDocument.h"
#include "dicom/DicomDictionary.h"
#include "dicom/DicomJpegHeader.h"
#include "platform/base/memoryapi.h"
#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

using quiva::test::JpegKind;

using quiva::test::RunCommand;

namespace {

void Fill(CSecondaryCaptureDicomDocument& doc, LPCWSTR name = L"HONG GIL DONG")
{
    doc.SetPatient(L"12345", name, L"19800101", L"M");
    doc.SetStudy(L"1.2.999.424242.1.20261209.12345", L"20261209001", L"20261209", L"000000", L"Endoscopy", L"20261209001",
                 L"SC", L"0");
    doc.SetSeries(L"1.2.999.424242.2.20261209.12345", L"Endoscopy", L"1", L"");
}

std::string Encode(CSecondaryCaptureDicomDocument& doc, bool part10 = true)
{
    DicomCodingState& state = doc.GetCodingState();
    state.preamble = state.dicmPrefix = state.fileMeta = part10 ? 1 : 0;
    DWORD length = 0;
    BYTE* bytes = doc.Encode(&length);
    std::string out;
    if (bytes) {
        out.assign(reinterpret_cast<char*>(bytes), length);
        VirtualFree(bytes, 0, MEM_RELEASE);
    }
    return out;
}

// Reads a binary PGM or PPM file: the samples, with the size and sample count.
std::vector<unsigned char> ReadPnm(const std::string& bytes, int* width, int* height, int* components)
{
    int maxValue = 0;
    int consumed = 0;
    char magic[3] = {};
    if (std::sscanf(bytes.c_str(), "%2s %d %d %d%n", magic, width, height, &maxValue, &consumed) != 4)
        return {};
    *components = std::strcmp(magic, "P6") == 0 ? 3 : 1;
    const size_t start = static_cast<size_t>(consumed) + 1;
    return std::vector<unsigned char>(bytes.begin() + static_cast<long>(start), bytes.end());
}

const DicomElement* Find(CDicomElementList& list, WORD group, WORD element)
{
    return list.FindElement(group, element);
}

}  // namespace

TEST(SecondaryCaptureDocument, Part10StreamBeginsWithTheFileMeta)
{
    CSecondaryCaptureDicomDocument doc;
    Fill(doc);
    const std::string bytes = Encode(doc);
    ASSERT_GT(bytes.size(), 146u);
    EXPECT_EQ(bytes.substr(0, 128), std::string(128, '\0'));
    EXPECT_EQ(bytes.substr(128, 4), "DICM");
    EXPECT_EQ(bytes.substr(132, 14), std::string("\x02\x00\x01\x00OB\x00\x00\x02\x00\x00\x00\x00\x01", 14));

    EXPECT_EQ(doc.GetSopClassUid(), L"1.2.840.10008.5.1.4.1.1.7");
    EXPECT_EQ(doc.GetText(DICOM_TAG(0x0002, 0x0012)), L"1.2.999.424242.3.11.1.0");
    const DicomElement* type = Find(doc, 0x0008, 0x0008);
    EXPECT_EQ(type->length, 18u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(type->value), 18), "DERIVED\\SECONDARY ");
    EXPECT_EQ(std::string(reinterpret_cast<char*>(Find(doc, 0x0008, 0x0064)->value), 4), "WSD ");

    // Written in tag order; nothing the object does not carry.
    DWORD previous = 0;
    for (DicomElement* e = doc.First(); e; e = doc.Next()) {
        EXPECT_GT(e->Tag(), previous);
        previous = e->Tag();
    }
    EXPECT_EQ(Find(doc, 0x0002, 0x0000), nullptr);
    EXPECT_EQ(Find(doc, 0x0002, 0x0013), nullptr);
    EXPECT_EQ(Find(doc, 0x0008, 0x0005), nullptr);
}

TEST(SecondaryCaptureDocument, EmptyValuesStayAsZeroLengthElements)
{
    CSecondaryCaptureDicomDocument doc;
    doc.SetPatient(L"1", L"A", L"", L"");
    for (WORD element : {0x0030, 0x0040}) {
        const DicomElement* e = Find(doc, 0x0010, element);
        ASSERT_NE(e, nullptr) << element;
        EXPECT_EQ(e->length, 0u);
    }
    ASSERT_NE(Find(doc, 0x0020, 0x0020), nullptr);
    EXPECT_EQ(Find(doc, 0x0020, 0x0020)->length, 0u);
}

TEST(SecondaryCaptureDocument, ImageDescription)
{
    CSecondaryCaptureDicomDocument gray;
    gray.SetImage(L"1.2.3", 640, 480, TRUE, 7, 8);
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0028, 0x0002)), L"1");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0028, 0x0004)), L"MONOCHROME2");
    EXPECT_EQ(Find(gray, 0x0028, 0x0006), nullptr) << "planar configuration is for colour only";
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0028, 0x0010)), L"480");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0028, 0x0011)), L"640");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0028, 0x0100)), L"8");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0028, 0x0102)), L"7");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0020, 0x0013)), L"7");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0002, 0x0003)), L"1.2.3");
    EXPECT_EQ(gray.GetText(DICOM_TAG(0x0008, 0x0018)), L"1.2.3");

    CSecondaryCaptureDicomDocument colour;
    colour.SetImage(L"1.2.4", 2, 2, FALSE, 1, 8);
    EXPECT_EQ(colour.GetText(DICOM_TAG(0x0028, 0x0002)), L"3");
    EXPECT_EQ(colour.GetText(DICOM_TAG(0x0028, 0x0004)), L"RGB");
    EXPECT_EQ(colour.GetText(DICOM_TAG(0x0028, 0x0006)), L"0");
    const BYTE pixels[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    colour.SetPixelData(pixels, sizeof pixels);
    EXPECT_EQ(colour.GetTransferSyntaxUid(), L"1.2.840.10008.1.2.1");
    EXPECT_EQ(Find(colour, 0x7FE0, 0x0010)->length, 12u);

    // Twelve-bit samples are stored in sixteen bits.
    CSecondaryCaptureDicomDocument deep;
    deep.SetImage(L"1.2.5", 8, 8, TRUE, 1, 12);
    EXPECT_EQ(deep.GetText(DICOM_TAG(0x0028, 0x0100)), L"16");
    EXPECT_EQ(deep.GetText(DICOM_TAG(0x0028, 0x0101)), L"12");
    EXPECT_EQ(deep.GetText(DICOM_TAG(0x0028, 0x0102)), L"11");
}

TEST(SecondaryCaptureDocument, JpegColourModelFollowsTheStream)
{
    struct Case {
        JpegKind kind;
        const wchar_t* photometric;
        const wchar_t* samples;
    } cases[] = {
        {JpegKind::Gray, L"MONOCHROME2", L"1"},
        {JpegKind::YCbCrJfif, L"YBR_FULL_422", L"3"},
        {JpegKind::RgbAdobe, L"RGB", L"3"},
    };
    for (const Case& c : cases) {
        const std::string jpeg = quiva::test::MakeJpeg(32, 16, c.kind);
        CSecondaryCaptureDicomDocument doc;
        doc.SetImage(L"1.2.3", 32, 16, c.kind == JpegKind::Gray, 1, 8);
        doc.SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, DICOM_VR_UI);
        doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()));
        EXPECT_EQ(doc.GetText(DICOM_TAG(0x0028, 0x0004)), c.photometric);
        EXPECT_EQ(doc.GetText(DICOM_TAG(0x0028, 0x0002)), c.samples);
        EXPECT_EQ(doc.GetText(DICOM_TAG(0x0028, 0x2110)), L"01");
        EXPECT_EQ(doc.GetText(DICOM_TAG(0x0028, 0x2114)), L"ISO_10918_1");
        EXPECT_EQ(doc.GetTransferSyntaxUid(), L"1.2.840.10008.1.2.4.50");
        // Describing the image again keeps what the stream says.
        doc.SetImage(L"1.2.3", 32, 16, c.kind == JpegKind::Gray, 1, 8);
        EXPECT_EQ(doc.GetText(DICOM_TAG(0x0028, 0x0004)), c.photometric);
    }
}

TEST(DicomJpegHeader, ReadsTheFrameHeaderAndStopsAtBrokenSegments)
{
    const std::string jpeg = quiva::test::MakeJpeg(40, 24, JpegKind::YCbCrJfif);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(jpeg.data());
    DicomJpegHeader header;
    ASSERT_TRUE(ReadDicomJpegHeader(bytes, static_cast<DWORD>(jpeg.size()), &header));
    EXPECT_EQ(header.frameMarker, 0xC0);
    EXPECT_EQ(header.precision, 8);
    EXPECT_EQ(header.columns, 40);
    EXPECT_EQ(header.rows, 24);
    EXPECT_EQ(header.components, 3);
    EXPECT_TRUE(header.jfif);
    EXPECT_FALSE(header.adobe);
    EXPECT_FALSE(header.IsLossless());

    // Cut inside the segments before the frame header, or not a JPEG at all: no header.
    EXPECT_FALSE(ReadDicomJpegHeader(bytes, 30, &header));
    EXPECT_FALSE(ReadDicomJpegHeader(bytes, 1, &header));
    const BYTE notJpeg[] = {'B', 'M', 0, 0};
    EXPECT_FALSE(ReadDicomJpegHeader(notJpeg, sizeof notJpeg, &header));
    // A segment length below 2 ends the walk.
    const BYTE broken[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xC0, 0, 11, 8, 0, 2, 0, 4, 1, 1, 0x11, 0};
    EXPECT_FALSE(ReadDicomJpegHeader(broken, sizeof broken, &header));
    // Fill bytes before a marker are skipped.
    const BYTE filled[] = {0xFF, 0xD8, 0xFF, 0xFF, 0xC0, 0, 11, 8, 0, 2, 0, 4, 1, 1, 0x11, 0};
    ASSERT_TRUE(ReadDicomJpegHeader(filled, sizeof filled, &header));
    EXPECT_EQ(header.components, 1);
    EXPECT_STREQ(DicomJpegPhotometric(header), L"MONOCHROME2");
}

TEST(SecondaryCaptureDocument, JpegFragments)
{
    const std::string odd = "\xFF\xD8\xFF\xD9z";  // five bytes
    CSecondaryCaptureDicomDocument doc;
    doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(odd.data()), 5);
    doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(odd.data()), 4);
    CDicomElementList* fragments = Find(doc, 0x7FE0, 0x0010)->children;
    ASSERT_NE(fragments, nullptr);
    std::vector<std::pair<DWORD, DWORD>> items;
    for (DicomElement* e = fragments->First(); e; e = fragments->Next())
        items.emplace_back(e->Tag(), e->length);
    EXPECT_EQ(items, (std::vector<std::pair<DWORD, DWORD>>{
                         {0xFFFEE000, 0}, {0xFFFEE000, 6}, {0xFFFEE000, 4}, {0xFFFEE0DD, 0}}));

    const std::string bytes = Encode(doc, false);
    std::string expected("\xE0\x7F\x10\x00OB\x00\x00\xFF\xFF\xFF\xFF", 12);
    expected += std::string("\xFE\xFF\x00\xE0\x00\x00\x00\x00", 8);
    expected += std::string("\xFE\xFF\x00\xE0\x06\x00\x00\x00", 8) + odd + std::string(1, '\0');
    expected += std::string("\xFE\xFF\x00\xE0\x04\x00\x00\x00", 8) + odd.substr(0, 4);
    expected += std::string("\xFE\xFF\xDD\xE0\x00\x00\x00\x00", 8);
    ASSERT_GE(bytes.size(), expected.size());
    EXPECT_EQ(bytes.substr(bytes.size() - expected.size()), expected);
}

TEST(SecondaryCaptureDocument, StreamParsesBackToTheSameDataSet)
{
    // What the storage client does with the stream: parse it, drop the Part 10 prefix, encode.
    const std::string jpeg = quiva::test::MakeJpeg(64, 48, JpegKind::YCbCrJfif);
    CSecondaryCaptureDicomDocument doc;
    Fill(doc, L"홍 길동");
    doc.SetImage(L"1.2.999.424242.4.1", 64, 48, FALSE, 3, 8);
    doc.SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, DICOM_VR_UI);
    doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()));
    const std::string stream = Encode(doc);
    const std::string dataSet = Encode(doc, false);

    CDicomElementList parsed;
    DicomCodingState& state = parsed.GetCodingState();
    state.inputLength = static_cast<DWORD>(stream.size());
    parsed.Parse(reinterpret_cast<const BYTE*>(stream.data()), &state);
    EXPECT_EQ(state.preamble, 1u);
    EXPECT_EQ(state.fileMeta, 1u);
    EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0010, 0x0010)), L"홍 길동");
    state.preamble = state.dicmPrefix = state.fileMeta = 0;
    DWORD length = 0;
    BYTE* again = parsed.Encode(&length);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(again), length), dataSet);
    VirtualFree(again, 0, MEM_RELEASE);
}

// DCMTK's tools read what we write.
class SecondaryCapturePeers : public ::testing::Test {
protected:
    std::string Write(CSecondaryCaptureDicomDocument& doc, const std::string& name)
    {
        const std::string path = dir.Native(name);
        quiva::test::WriteAll(path, Encode(doc));
        return path;
    }
    // dcmj2pnm's rendering of a file; empty when it fails.
    std::vector<unsigned char> Render(const std::string& path, int* width, int* height, int* components)
    {
        int status = -1;
        const std::string log = RunCommand("dcmj2pnm " + path + " " + path + ".pnm", &status);
        EXPECT_EQ(status, 0) << log;
        if (status != 0)
            return {};
        return ReadPnm(quiva::test::ReadAll(path + ".pnm"), width, height, components);
    }
    quiva::test::TempDir dir;
};

TEST_F(SecondaryCapturePeers, DcmdumpReadsTheObject)
{
    CSecondaryCaptureDicomDocument doc;
    Fill(doc, L"홍 길동");
    doc.SetImage(L"1.2.999.424242.4.2", 4, 2, TRUE, 1, 8);
    const BYTE pixels[8] = {0, 32, 64, 96, 128, 160, 192, 255};
    doc.SetPixelData(pixels, sizeof pixels);
    const std::string path = Write(doc, "gray.dcm");
    int status = -1;
    const std::string dump = RunCommand("dcmdump -q " + path, &status);
    EXPECT_EQ(status, 0) << dump;
    EXPECT_NE(dump.find("(0002,0010) UI =LittleEndianExplicit"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(0008,0016) UI =SecondaryCaptureImageStorage"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(0008,0064) CS [WSD]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(0008,0008) CS [DERIVED\\SECONDARY]"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(0028,0010) US 2"), std::string::npos) << dump;
    EXPECT_NE(dump.find("(7fe0,0010) OB 00\\20\\40\\60\\80\\a0\\c0\\ff"), std::string::npos) << dump;
    // The name goes out as its code-page 949 bytes.
    EXPECT_NE(dump.find("(0010,0010) PN [\xC8\xAB^\xB1\xE6\xB5\xBF]"), std::string::npos) << dump;
}

TEST_F(SecondaryCapturePeers, RawPixelsRenderExactly)
{
    for (bool grayscale : {true, false}) {
        const int width = 24, height = 10, components = grayscale ? 1 : 3;
        const std::vector<unsigned char> pixels = quiva::test::TestPattern(width, height, components);
        CSecondaryCaptureDicomDocument doc;
        Fill(doc);
        doc.SetImage(L"1.2.999.424242.4.3", width, height, grayscale, 1, 8);
        doc.SetPixelData(pixels.data(), static_cast<DWORD>(pixels.size()));
        const std::string path = Write(doc, grayscale ? "gray.dcm" : "colour.dcm");
        int w = 0, h = 0, c = 0;
        const std::vector<unsigned char> rendered = Render(path, &w, &h, &c);
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        EXPECT_EQ(c, components);
        EXPECT_EQ(rendered, pixels) << (grayscale ? "grayscale" : "colour");
    }
}

TEST_F(SecondaryCapturePeers, JpegObjectsDecodeToTheSourceImage)
{
    for (JpegKind kind : {JpegKind::Gray, JpegKind::YCbCrJfif, JpegKind::RgbAdobe}) {
        const std::string jpeg = quiva::test::MakeJpeg(40, 24, kind);
        int width = 0, height = 0, components = 0;
        const std::vector<unsigned char> reference = quiva::test::DecodeJpeg(jpeg, &width, &height, &components);
        CSecondaryCaptureDicomDocument doc;
        Fill(doc);
        doc.SetImage(L"1.2.999.424242.4.4", width, height, components == 1, 1, 8);
        doc.SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, DICOM_VR_UI);
        doc.SetEncapsulatedPixelData(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()));
        const std::string path = Write(doc, "jpeg.dcm");

        const std::string dump = RunCommand("dcmdump -q " + path);
        EXPECT_NE(dump.find("=JPEGBaseline"), std::string::npos) << dump;
        EXPECT_NE(dump.find("(7fe0,0010) OB (PixelSequence #=2)"), std::string::npos) << dump;
        EXPECT_NE(dump.find("(0028,2110) CS [01]"), std::string::npos) << dump;

        int w = 0, h = 0, c = 0;
        const std::vector<unsigned char> rendered = Render(path, &w, &h, &c);
        ASSERT_EQ(w, width);
        ASSERT_EQ(h, height);
        ASSERT_EQ(c, components);
        ASSERT_EQ(rendered.size(), reference.size());
        // The two decoders may differ by rounding; a wrong colour model differs by far more.
        long total = 0;
        int worst = 0;
        for (size_t i = 0; i < rendered.size(); ++i) {
            const int d = std::abs(static_cast<int>(rendered[i]) - static_cast<int>(reference[i]));
            total += d;
            worst = std::max(worst, d);
        }
        EXPECT_LE(worst, 8) << static_cast<int>(kind);
        EXPECT_LT(static_cast<double>(total) / static_cast<double>(rendered.size()), 1.0) << static_cast<int>(kind);
    }
}

// Our parser reads what DCMTK writes: its implicit and explicit VR conversions of our object,
// and the JPEG object its converter makes from a JPEG file.
TEST_F(SecondaryCapturePeers, ParsesWhatDcmtkWrites)
{
    CSecondaryCaptureDicomDocument doc;
    Fill(doc, L"홍 길동");
    const BYTE pixels[8] = {0, 32, 64, 96, 128, 160, 192, 255};
    doc.SetImage(L"1.2.999.424242.4.5", 4, 2, TRUE, 1, 8);
    doc.SetPixelData(pixels, sizeof pixels);
    const std::string path = Write(doc, "ours.dcm");
    struct Conversion {
        const char* option;
        const wchar_t* syntax;
        DWORD mode;
    } conversions[] = {
        {"+ti", L"1.2.840.10008.1.2", DICOM_VR_MODE_IMPLICIT},
        {"+te", L"1.2.840.10008.1.2.1", DICOM_VR_MODE_EXPLICIT},
    };
    for (const Conversion& c : conversions) {
        const std::string converted = path + c.option + ".dcm";
        int status = -1;
        const std::string log = RunCommand(std::string("dcmconv ") + c.option + " " + path + " " + converted, &status);
        ASSERT_EQ(status, 0) << log;
        const std::string bytes = quiva::test::ReadAll(converted);
        CDicomElementList parsed;
        DicomCodingState& state = parsed.GetCodingState();
        state.inputLength = static_cast<DWORD>(bytes.size());
        parsed.Parse(reinterpret_cast<const BYTE*>(bytes.data()), &state);
        EXPECT_EQ(state.readOffset, bytes.size()) << c.option;
        EXPECT_EQ(state.vrMode, c.mode) << c.option;
        EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0002, 0x0010)), c.syntax);
        EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0010, 0x0010)), L"홍 길동");
        EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0008, 0x0016)), L"1.2.840.10008.5.1.4.1.1.7");
        EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0028, 0x0011)), L"4");
        const DicomElement* data = parsed.FindElement(0x7FE0, 0x0010);
        ASSERT_NE(data, nullptr);
        ASSERT_EQ(data->valueLength, 8u);
        EXPECT_EQ(std::memcmp(data->value, pixels, 8), 0);
    }

    const std::string jpeg = quiva::test::MakeJpeg(40, 24, JpegKind::YCbCrJfif);
    quiva::test::WriteAll(dir.Native("still.jpg"), jpeg);
    int status = -1;
    const std::string log = RunCommand("img2dcm -i JPEG " + dir.Native("still.jpg") + " " + dir.Native("theirs.dcm"), &status);
    ASSERT_EQ(status, 0) << log;
    const std::string bytes = quiva::test::ReadAll(dir.Native("theirs.dcm"));
    CDicomElementList parsed;
    DicomCodingState& state = parsed.GetCodingState();
    state.inputLength = static_cast<DWORD>(bytes.size());
    parsed.Parse(reinterpret_cast<const BYTE*>(bytes.data()), &state);
    EXPECT_EQ(state.readOffset, bytes.size());
    EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0028, 0x0010)), L"24");
    EXPECT_EQ(parsed.GetText(DICOM_TAG(0x0028, 0x0004)), L"YBR_FULL_422");
    const DicomElement* data = parsed.FindElement(0x7FE0, 0x0010);
    ASSERT_NE(data, nullptr);
    ASSERT_NE(data->children, nullptr);
    std::string fragments;
    int items = 0;
    bool delimited = false;
    for (DicomElement* e = data->children->First(); e; e = data->children->Next()) {
        if (e->Tag() == 0xFFFEE000u && items++ > 0 && e->value)
            fragments.append(reinterpret_cast<char*>(e->value), e->valueLength);
        delimited = e->Tag() == 0xFFFEE0DDu;
    }
    EXPECT_TRUE(delimited);
    // The converter drops the JFIF segment (18 bytes after the start-of-image marker).
    const std::string withoutJfif = jpeg.substr(0, 2) + jpeg.substr(20);
    EXPECT_EQ(fragments.substr(0, withoutJfif.size()), withoutJfif);
}

TEST(SecondaryCaptureDocument, ChromaSamplingDecidesTheYbrLabelAndWideSamplesAreWords)
{
    // The same stream with every component sampled alike (4:4:4) is YBR_FULL.
    std::string jpeg = quiva::test::MakeJpeg(32, 16, JpegKind::YCbCrJfif);
    DicomJpegHeader subsampled;
    ASSERT_TRUE(ReadDicomJpegHeader(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()), &subsampled));
    EXPECT_STREQ(DicomJpegPhotometric(subsampled), L"YBR_FULL_422");
    const size_t sof = jpeg.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    for (int c = 0; c < 3; ++c)
        jpeg[sof + 2 + 2 + 6 + 3 * c + 1] = 0x11;
    DicomJpegHeader full;
    ASSERT_TRUE(ReadDicomJpegHeader(reinterpret_cast<const BYTE*>(jpeg.data()), static_cast<DWORD>(jpeg.size()), &full));
    EXPECT_EQ(full.sampling[0], 0x11);
    EXPECT_STREQ(DicomJpegPhotometric(full), L"YBR_FULL");

    CSecondaryCaptureDicomDocument doc;
    doc.SetImage(L"1.2.3", 2, 1, TRUE, 1, 12);
    const BYTE words[4] = {1, 0, 2, 0};
    doc.SetPixelData(words, 4);
    ASSERT_NE(doc.FindElement(0x7FE0, 0x0010), nullptr);
    EXPECT_EQ(doc.FindElement(0x7FE0, 0x0010)->vr, static_cast<DWORD>(DICOM_VR_OW));
    CSecondaryCaptureDicomDocument bytes;
    bytes.SetImage(L"1.2.3", 2, 1, TRUE, 1, 8);
    bytes.SetPixelData(words, 2);
    EXPECT_EQ(bytes.FindElement(0x7FE0, 0x0010)->vr, static_cast<DWORD>(DICOM_VR_OB));
}
