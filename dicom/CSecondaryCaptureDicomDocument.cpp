#include "dicom/CSecondaryCaptureDicomDocument.h"

#include "dicom/DicomDictionary.h"
#include "dicom/DicomJpegHeader.h"
#include <new>

#include "platform/base/wformat.h"

namespace {

CString Number(int value)
{
    return CString(quiva::FormatWide(L"%d", value));
}

}  // namespace

CSecondaryCaptureDicomDocument::CSecondaryCaptureDicomDocument()
{
    const BYTE version[2] = {0x00, 0x01};
    const CString implementationClass = CString(DICOM_ORGANISATION_ROOT) + L".3." + L"11" + L"." + L"1" + L"." + L"0";
    SetBytes(DICOM_TAG(0x0002, 0x0001), version, 2, DICOM_VR_OB);
    SetString(DICOM_TAG(0x0002, 0x0002), DICOM_SOP_CLASS_SECONDARY_CAPTURE, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0002, 0x0012), implementationClass, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0008, 0x0008), L"DERIVED\\SECONDARY", DICOM_VR_CS);
    SetString(DICOM_TAG(0x0008, 0x0016), DICOM_SOP_CLASS_SECONDARY_CAPTURE, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0008, 0x0064), L"WSD", DICOM_VR_CS);
}

void CSecondaryCaptureDicomDocument::SetPatient(LPCWSTR patientId, LPCWSTR patientName, LPCWSTR birthDate, LPCWSTR sex)
{
    SetString(DICOM_TAG(0x0010, 0x0010), patientName, DICOM_VR_PN);
    SetString(DICOM_TAG(0x0010, 0x0020), patientId, DICOM_VR_LO);
    SetString(DICOM_TAG(0x0010, 0x0030), birthDate, DICOM_VR_DA);
    SetString(DICOM_TAG(0x0010, 0x0040), sex, DICOM_VR_CS);
    SetString(DICOM_TAG(0x0020, 0x0020), L"", DICOM_VR_CS);
}

void CSecondaryCaptureDicomDocument::SetStudy(LPCWSTR studyUid, LPCWSTR studyId, LPCWSTR studyDate, LPCWSTR studyTime,
                                              LPCWSTR description, LPCWSTR accessionNumber, LPCWSTR modality,
                                              LPCWSTR referringPhysician)
{
    SetString(DICOM_TAG(0x0008, 0x0012), studyDate, DICOM_VR_DA);
    SetString(DICOM_TAG(0x0008, 0x0020), studyDate, DICOM_VR_DA);
    SetString(DICOM_TAG(0x0008, 0x0021), studyDate, DICOM_VR_DA);
    SetString(DICOM_TAG(0x0008, 0x0030), studyTime, DICOM_VR_TM);
    SetString(DICOM_TAG(0x0008, 0x0031), studyTime, DICOM_VR_TM);
    SetString(DICOM_TAG(0x0008, 0x0050), accessionNumber, DICOM_VR_SH);
    SetString(DICOM_TAG(0x0008, 0x0060), modality, DICOM_VR_CS);
    SetString(DICOM_TAG(0x0008, 0x0090), referringPhysician, DICOM_VR_PN);
    SetString(DICOM_TAG(0x0020, 0x000D), studyUid, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0020, 0x0010), studyId, DICOM_VR_SH);
    SetString(DICOM_TAG(0x0008, 0x1030), description, DICOM_VR_LO);
}

void CSecondaryCaptureDicomDocument::SetSeries(LPCWSTR seriesUid, LPCWSTR description, LPCWSTR seriesNumber, LPCWSTR bodyPart)
{
    SetString(DICOM_TAG(0x0020, 0x000E), seriesUid, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0020, 0x0011), seriesNumber, DICOM_VR_IS);
    SetString(DICOM_TAG(0x0008, 0x103E), description, DICOM_VR_LO);
    SetString(DICOM_TAG(0x0018, 0x0015), bodyPart, DICOM_VR_CS);
}

void CSecondaryCaptureDicomDocument::SetImage(LPCWSTR instanceUid, int columns, int rows, BOOL grayscale, int instanceNumber, int bits)
{
    if (bits < 1)
        bits = 8;
    // Samples are stored in whole bytes: 12-bit samples take 16 bits.
    const int allocated = ((bits + 7) / 8) * 8;
    SetString(DICOM_TAG(0x0002, 0x0003), instanceUid, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0008, 0x0018), instanceUid, DICOM_VR_UI);
    SetString(DICOM_TAG(0x0020, 0x0013), Number(instanceNumber), DICOM_VR_IS);
    SetString(DICOM_TAG(0x0028, 0x0002), grayscale ? L"1" : L"3", DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0004), grayscale ? L"MONOCHROME2" : L"RGB", DICOM_VR_CS);
    // Planar Configuration describes colour samples only.
    if (grayscale)
        RemoveElement(0x0028, 0x0006);
    else
        SetString(DICOM_TAG(0x0028, 0x0006), L"0", DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0010), Number(rows), DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0011), Number(columns), DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0100), Number(allocated), DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0101), Number(bits), DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0102), Number(bits - 1), DICOM_VR_US);
    SetString(DICOM_TAG(0x0028, 0x0103), L"0", DICOM_VR_US);
    DescribeJpegPixels();
}

void CSecondaryCaptureDicomDocument::SetPixelData(const BYTE* bytes, DWORD length)
{
    SetString(DICOM_TAG(0x0002, 0x0010), DICOM_TRANSFER_SYNTAX_EXPLICIT_LE, DICOM_VR_UI);
    // Samples wider than a byte are words (OW); byte samples are OB.
    const bool words = _wtoi(GetText(DICOM_TAG(0x0028, 0x0100))) > 8;
    SetBytes(DICOM_TAG(0x7FE0, 0x0010), bytes, length, words ? DICOM_VR_OW : DICOM_VR_OB);
}

void CSecondaryCaptureDicomDocument::SetEncapsulatedPixelData(const BYTE* bytes, DWORD length)
{
    SetBytes(DICOM_TAG(0x7FE0, 0x0010), nullptr, DICOM_UNDEFINED_LENGTH, DICOM_VR_OB);
    DicomElement* pixels = FindElement(0x7FE0, 0x0010);
    if (!pixels)
        return;
    if (!pixels->children) {
        pixels->children = new (std::nothrow) CDicomElementList();
        if (!pixels->children)
            return;
        pixels->children->SetParentElement(pixels);
    }
    CDicomElementList* fragments = pixels->children;
    // The empty basic offset table comes first.
    if (!fragments->FindElement(0xFFFE, 0xE000))
        fragments->SetBytes(DICOM_TAG(0xFFFE, 0xE000), nullptr, 0, DICOM_VR_ITEM);
    DicomElement* fragment = CreateElement(0xFFFE, 0xE000, bytes, 0, length, DICOM_VR_ITEM);
    if (fragment) {
        fragment->length = fragment->valueLength;
        if (!fragments->Insert(fragment))
            delete fragment;
    }
    fragments->SetBytes(DICOM_TAG(0xFFFE, 0xE0DD), nullptr, 0, DICOM_VR_ITEM);
    DescribeJpegPixels();
}

// Describes the pixels as the first JPEG fragment codes them: YCbCr colour is labelled as such
// (viewers convert it only when told), and lossy coding is recorded.
void CSecondaryCaptureDicomDocument::DescribeJpegPixels()
{
    DicomElement* pixels = FindElement(0x7FE0, 0x0010);
    if (!pixels || !pixels->children)
        return;
    const DicomElement* frame = nullptr;
    int items = 0;
    for (DicomElement* e = pixels->children->First(); e; e = pixels->children->Next()) {
        if (e->group == 0xFFFE && e->element == 0xE000 && ++items == 2) {
            frame = e;
            break;
        }
    }
    DicomJpegHeader header;
    if (!frame || !ReadDicomJpegHeader(frame->value, frame->valueLength, &header))
        return;
    const wchar_t* photometric = DicomJpegPhotometric(header);
    if (photometric[0]) {
        const bool colour = header.components == 3;
        SetString(DICOM_TAG(0x0028, 0x0002), colour ? L"3" : L"1", DICOM_VR_US);
        SetString(DICOM_TAG(0x0028, 0x0004), photometric, DICOM_VR_CS);
        if (colour)
            SetString(DICOM_TAG(0x0028, 0x0006), L"0", DICOM_VR_US);
        else
            RemoveElement(0x0028, 0x0006);
    }
    if (!header.IsLossless()) {
        SetString(DICOM_TAG(0x0028, 0x2110), L"01", DICOM_VR_CS);
        SetString(DICOM_TAG(0x0028, 0x2114), L"ISO_10918_1", DICOM_VR_CS);
    }
}

CString CSecondaryCaptureDicomDocument::GetSopClassUid()
{
    return GetText(DICOM_TAG(0x0008, 0x0016));
}

CString CSecondaryCaptureDicomDocument::GetTransferSyntaxUid()
{
    return GetText(DICOM_TAG(0x0002, 0x0010));
}
