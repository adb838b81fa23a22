// Writes the seed corpus of the element parser harness: the objects and command sets this
// system makes and reads, in the forms the parser meets.
#include <cstdio>
#include <string>

#include "dicom/CSecondaryCaptureDicomDocument.h"
#include "dicom/DicomDictionary.h"
#include "platform/base/memoryapi.h"

namespace {

bool Save(const std::string& folder, const char* name, CDicomElementList& list)
{
    DWORD length = 0;
    BYTE* bytes = list.Encode(&length);
    if (!bytes)
        return false;
    const std::string path = folder + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(bytes, 1, length, f) == length;
    if (f)
        std::fclose(f);
    VirtualFree(bytes, 0, MEM_RELEASE);
    return ok;
}

void Describe(CSecondaryCaptureDicomDocument& doc, BOOL grayscale)
{
    doc.SetPatient(L"12345", L"홍 길동", L"19800101", L"M");
    doc.SetStudy(L"1.2.999.424242.1.1", L"1", L"20261209", L"000000", L"Study", L"1", L"SC", L"0");
    doc.SetSeries(L"1.2.999.424242.2.1", L"Study", L"1", L"");
    doc.SetImage(L"1.2.999.424242.4.1", 4, 2, grayscale, 1, 8);
}

void Part10(CDicomElementList& doc, bool on)
{
    DicomCodingState& state = doc.GetCodingState();
    state.preamble = state.dicmPrefix = state.fileMeta = on ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = true;

    CSecondaryCaptureDicomDocument raw;
    Describe(raw, TRUE);
    const BYTE pixels[8] = {0, 32, 64, 96, 128, 160, 192, 255};
    raw.SetPixelData(pixels, sizeof pixels);
    Part10(raw, true);
    ok &= Save(folder, "raw-part10", raw);
    Part10(raw, false);
    ok &= Save(folder, "raw-dataset", raw);

    // A JPEG-shaped fragment: start of image, a frame header, end of image.
    static const BYTE jpeg[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x07, 'J',  'F',  'I',  'F',  0x00, 0xFF, 0xC0,
                                0x00, 0x11, 0x08, 0x00, 0x02, 0x00, 0x04, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11,
                                0x01, 0x03, 0x11, 0x01, 0xFF, 0xD9};
    // The fragment alone, for the JPEG marker walk.
    if (FILE* f = std::fopen((folder + "/jpeg-stream").c_str(), "wb")) {
        ok &= std::fwrite(jpeg, 1, sizeof jpeg, f) == sizeof jpeg;
        std::fclose(f);
    }

    CSecondaryCaptureDicomDocument encapsulated;
    Describe(encapsulated, FALSE);
    encapsulated.SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_JPEG_BASELINE, DICOM_VR_UI);
    encapsulated.SetEncapsulatedPixelData(jpeg, sizeof jpeg);
    encapsulated.SetEncapsulatedPixelData(jpeg, sizeof jpeg - 1);
    Part10(encapsulated, true);
    ok &= Save(folder, "jpeg-part10", encapsulated);

    // The same object in implicit VR, as a transfer syntax of 1.2.840.10008.1.2 reads it.
    CSecondaryCaptureDicomDocument implicitDoc;
    Describe(implicitDoc, TRUE);
    implicitDoc.SetPixelData(pixels, sizeof pixels);
    implicitDoc.SetString(DICOM_TAG(0x0002, 0x0010), L"1.2.840.10008.1.2", DICOM_VR_UI);
    implicitDoc.GetCodingState().vrMode = DICOM_VR_MODE_IMPLICIT;
    ok &= Save(folder, "implicit-dataset", implicitDoc);

    // A C-STORE response command set.
    CDicomElementList response;
    response.SetString(DICOM_TAG(0x0000, 0x0000), L"84", DICOM_VR_UL);
    response.SetString(DICOM_TAG(0x0000, 0x0002), DICOM_SOP_CLASS_SECONDARY_CAPTURE, DICOM_VR_UI);
    response.SetString(DICOM_TAG(0x0000, 0x0100), L"32769", DICOM_VR_US);
    response.SetString(DICOM_TAG(0x0000, 0x0120), L"1", DICOM_VR_US);
    response.SetString(DICOM_TAG(0x0000, 0x0800), L"257", DICOM_VR_US);
    response.SetString(DICOM_TAG(0x0000, 0x0900), L"0", DICOM_VR_US);
    response.SetString(DICOM_TAG(0x0000, 0x1000), L"1.2.999.424242.4.1", DICOM_VR_UI);
    ok &= Save(folder, "store-response", response);

    // A sequence of two undefined-length items.
    CDicomElementList withSequence;
    withSequence.SetString(DICOM_TAG(0x0008, 0x0060), L"SC", DICOM_VR_CS);
    DicomElement* sequence = CDicomElementList::CreateElement(0x0040, 0xA730, nullptr, 0, DICOM_UNDEFINED_LENGTH, DICOM_VR_SQ);
    sequence->children = new CDicomElementList();
    for (int i = 0; i < 2; ++i) {
        DicomElement* item = CDicomElementList::CreateElement(0xFFFE, 0xE000, nullptr, 0, DICOM_UNDEFINED_LENGTH, DICOM_VR_ITEM);
        item->children = new CDicomElementList();
        item->children->SetString(DICOM_TAG(0x0040, 0xA160), i ? L"second" : L"first", DICOM_VR_UT);
        sequence->children->Insert(item);
        sequence->children->Insert(CDicomElementList::CreateElement(0xFFFE, 0xE00D, nullptr, 0, 0, DICOM_VR_ITEM));
    }
    sequence->children->Insert(CDicomElementList::CreateElement(0xFFFE, 0xE0DD, nullptr, 0, 0, DICOM_VR_ITEM));
    withSequence.Insert(sequence);
    ok &= Save(folder, "sequence", withSequence);

    return ok ? 0 : 1;
}
