#include "dicom/DicomDictionary.h"

namespace {

// Names in code order from AE (1); the empty slot is code 15, then the newer VRs from 32.
const wchar_t* const kVRNames[] = {
    L"",   L"AE", L"AS", L"AT", L"CS", L"DA", L"DS", L"DT", L"FL", L"FD", L"IS", L"LO", L"LT",
    L"OB", L"OF", L"",   L"OW", L"PN", L"SH", L"SL", L"SQ", L"SS", L"ST", L"TM", L"UI", L"UL",
    L"UN", L"US", L"UT", L"",   L"",   L"",   L"UC", L"UR", L"OD", L"OL", L"OV", L"SV", L"UV",
};
constexpr DWORD kVRCount = sizeof(kVRNames) / sizeof(kVRNames[0]);

}  // namespace

const wchar_t* const DicomTransferSyntaxUids[] = {
    L"1.2.840.10008.1.2",      L"1.2.840.10008.1.2.1",    L"1.2.840.10008.1.2.2",
    L"1.2.840.10008.1.2.4.50", L"1.2.840.10008.1.2.4.51", L"1.2.840.10008.1.2.4.70",
    L"1.2.840.10008.1.2.4.90", L"1.2.840.10008.1.2.4.91", L"",
};

const wchar_t* const DicomSopClassUids[] = {
    L"1.2.840.10008.1.1",
    L"1.2.840.10008.5.1.4.1.1.1",
    L"1.2.840.10008.5.1.4.1.1.2",
    L"1.2.840.10008.5.1.1.30",
    L"1.2.840.10008.5.1.1.29",
    L"1.2.840.10008.5.1.4.1.1.4",
    L"1.2.840.10008.5.1.4.1.1.20",
    L"1.2.840.10008.5.1.4.1.1.128",
    L"1.2.840.10008.5.1.4.1.1.481.2",
    L"1.2.840.10008.5.1.4.1.1.481.1",
    L"1.2.840.10008.5.1.4.1.1.481.5",
    L"1.2.840.10008.5.1.4.1.1.481.3",
    L"1.2.840.10008.5.1.4.1.1.481.4",
    L"1.2.840.10008.5.1.4.1.1.481.6",
    L"1.2.840.10008.5.1.4.1.1.481.7",
    L"1.2.840.10008.5.1.4.1.1.7",
    L"1.2.840.10008.5.1.4.1.1.9",
    L"1.2.840.10008.5.1.4.1.1.10",
    L"1.2.840.10008.5.1.4.1.1.8",
    L"1.2.840.10008.5.1.4.1.1.11",
    L"1.2.840.10008.5.1.4.1.1.129",
    L"1.2.840.10008.5.1.1.27",
    L"1.2.840.10008.5.1.4.1.1.6.1",
    L"1.2.840.10008.5.1.4.1.1.3.1",
    L"1.2.840.10008.5.1.4.1.1.12.1",
    L"1.2.840.10008.5.1.4.1.1.12.2",
    L"1.2.840.10008.5.1.4.1.1.1.1",
    L"1.2.840.10008.5.1.4.1.1.1.1.1",
    L"1.2.840.10008.5.1.4.1.1.1.2",
    L"1.2.840.10008.5.1.4.1.1.1.2.1",
    L"1.2.840.10008.5.1.4.1.1.1.3",
    L"1.2.840.10008.5.1.4.1.1.1.3.1",
    L"1.2.840.10008.5.1.4.1.1.77.1.1",
    L"1.2.840.10008.5.1.4.1.1.77.1.2",
    L"1.2.840.10008.5.1.4.1.1.77.1.3",
    L"1.2.840.10008.5.1.4.1.1.77.1.4",
    L"1.2.840.10008.5.1.4.1.1.3",
    L"1.2.840.10008.5.1.4.1.1.5",
    L"1.2.840.10008.5.1.4.1.1.6",
    L"1.2.840.10008.5.1.4.1.1.9.1",
    L"1.2.840.10008.5.1.4.1.1.9.1.1",
    L"1.2.840.10008.5.1.4.1.1.12.3",
    L"1.2.840.10008.5.1.4.1.2.1.1",
    L"1.2.840.10008.5.1.4.1.2.1.2",
    L"1.2.840.10008.5.1.4.1.2.1.3",
    L"1.2.840.10008.5.1.4.1.2.2.1",
    L"1.2.840.10008.5.1.4.1.2.2.2",
    L"1.2.840.10008.5.1.4.1.2.2.3",
    L"1.2.840.10008.5.1.4.1.2.3.1",
    L"1.2.840.10008.5.1.4.1.2.3.2",
    L"1.2.840.10008.5.1.4.1.2.3.3",
    L"1.2.840.10008.5.1.1.9",
    L"1.2.840.10008.5.1.1.18",
    L"1.2.840.10008.3.1.2.1.1",
    L"1.2.840.10008.3.1.2.2.1",
    L"1.2.840.10008.3.1.2.1.4",
    L"1.2.840.10008.3.1.2.3.1",
    L"1.2.840.10008.3.1.2.5.1",
    L"1.2.840.10008.3.1.2.6.1",
    L"1.2.840.10008.3.1.2.5.4",
    L"1.2.840.10008.3.1.2.3.2",
    L"1.2.840.10008.3.1.2.5.5",
    L"1.2.840.10008.1.20.1",
    L"1.2.840.10008.5.1.4.31",
    L"1.2.840.10008.5.1.4.32.1",
    L"1.2.840.10008.5.1.4.32.2",
    L"1.2.840.10008.5.1.4.32.3",
    L"1.2.840.10008.3.1.2.3.3",
    L"1.2.840.10008.5.1.4.1.1.11.1",
    L"1.2.840.10008.5.1.4.1.1.88.11",
    L"1.2.840.10008.5.1.4.1.1.88.22",
    L"1.2.840.10008.5.1.4.1.1.88.33",
    L"1.2.840.10008.5.1.4.1.1.88.59",
    L"1.2.840.10008.5.1.4.1.1.88.50",
    L"1.2.840.10008.5.1.4.1.1.11.1",
    L"1.3.46.670589.5.0.1",
    L"1.3.46.670589.5.0.2",
    L"1.3.46.670589.5.0.3",
    L"1.3.46.670589.5.0.4",
    L"1.3.46.670589.5.0.7",
    L"1.3.46.670589.5.0.8",
    L"1.3.46.670589.5.0.9",
    L"1.3.46.670589.5.0.10",
    L"",
};

const DicomTransferSyntaxName DicomTransferSyntaxNames[] = {
    {L"1.2.840.10008.1.2", L"Implicit VR, Little Endian"},
    {L"1.2.840.10008.1.2.1", L"Explicit VR, Little Endian"},
    {L"1.2.840.10008.1.2.2", L"Explicit VR, Big Endian"},
    {L"1.2.840.10008.1.2.4.50", L"JPEG Baseline (Process 1)"},
    {L"1.2.840.10008.1.2.4.51", L"JPEG Extended (Process 2 & 4)"},
    {L"1.2.840.10008.1.2.4.52", L"JPEG Extended (Process 3 & 5)"},
    {L"1.2.840.10008.1.2.4.53", L"JPEG Spectral Selection, Non-Hierarchical (Process 6 & 8)"},
    {L"1.2.840.10008.1.2.4.54", L"JPEG Spectral Selection, Non-Hierarchical (Process 7 & 9)"},
    {L"1.2.840.10008.1.2.4.55", L"JPEG Full Progression, Non-Hierarchical (Process 10 & 12)"},
    {L"1.2.840.10008.1.2.4.56", L"JPEG Full Progression, Non-Hierarchical (Process 11 & 13)"},
    {L"1.2.840.10008.1.2.4.57", L"JPEG Lossless, Non-Hierarchical (Process 14)"},
    {L"1.2.840.10008.1.2.4.58", L"JPEG Lossless, Non-Hierarchical (Process 15)"},
    {L"1.2.840.10008.1.2.4.59", L"JPEG Extended, Hierarchical (Process 16 & 18)"},
    {L"1.2.840.10008.1.2.4.60", L"JPEG Extended, Hierarchical (Process 17 & 19)"},
    {L"1.2.840.10008.1.2.4.61", L"JPEG Spectral Selection, Hierarchical (Process 20 & 22)"},
    {L"1.2.840.10008.1.2.4.62", L"JPEG Spectral Selection, Hierarchical (Process 21 & 23)"},
    {L"1.2.840.10008.1.2.4.63", L"JPEG Full Progression, Hierarchical (Process 24 & 26)"},
    {L"1.2.840.10008.1.2.4.64", L"JPEG Full Progression, Hierarchical (Process 25 & 27)"},
    {L"1.2.840.10008.1.2.4.65", L"JPEG Lossless, Hierarchical (Process 28)"},
    {L"1.2.840.10008.1.2.4.66", L"JPEG Lossless, Hierarchical (Process 29)"},
    {L"1.2.840.10008.1.2.4.70", L"JPEG LS, Lossless"},
    {L"1.2.840.10008.1.2.4.80", L"JPEG-LS Lossless Image Compression"},
    {L"1.2.840.10008.1.2.4.81", L"JPEG-LS Lossy (Near-Lossless) Image Compression"},
    {L"1.2.840.10008.1.2.4.90", L"JPEG 2000 Image Compression (Lossless Only)"},
    {L"1.2.840.10008.1.2.4.91", L"JPEG 2000 Image Compression"},
    {L"1.2.840.10008.1.2.4.100", L"MPEG2 Main Profile"},
    {L"1.2.840.10008.1.2.5", L"RLE Lossless"},
    {L"1.2.840.10008.1.2.9906091601", L"Private Bit Compression"},
    {L"", L""},
};

DWORD DicomDictionaryLookup(WORD group, WORD element)
{
    const DWORD key = (static_cast<DWORD>(group) << 16) | element;
    const DicomDictionaryEntry* table = nullptr;
    for (const DicomDictionaryGroup* row = DicomGroupTable; row->table; ++row) {
        if (row->group == group) {
            table = row->table;
            break;
        }
    }
    if (!table)
        return DICOM_VR_UNKNOWN;
    for (const DicomDictionaryEntry* entry = table; entry->vr != DICOM_VR_UNKNOWN; ++entry) {
        if (entry->tag == key)
            return entry->vr;
    }
    return DICOM_VR_UNKNOWN;
}

DWORD DicomVRFromName(const wchar_t* name)
{
    if (!name || !name[0] || !name[1] || name[2])
        return DICOM_VR_UNKNOWN;
    // ASCII letters only: the bytes come from the input and no locale may widen the match.
    auto upper = [](wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; };
    const wchar_t a = upper(name[0]);
    const wchar_t b = upper(name[1]);
    for (DWORD code = 1; code < kVRCount; ++code) {
        const wchar_t* vr = kVRNames[code];
        if (vr[0] == a && vr[0] && vr[1] == b)
            return code;
    }
    return DICOM_VR_UNKNOWN;
}

DWORD DicomVRFromName(const char* name)
{
    if (!name)
        return DICOM_VR_UNKNOWN;
    const wchar_t wide[3] = {static_cast<wchar_t>(static_cast<unsigned char>(name[0])),
                             name[0] ? static_cast<wchar_t>(static_cast<unsigned char>(name[1])) : L'\0', L'\0'};
    return DicomVRFromName(wide);
}

const wchar_t* DicomVRName(DWORD vr)
{
    return vr < kVRCount ? kVRNames[vr] : L"";
}

bool DicomVRIsLongForm(DWORD vr)
{
    switch (vr) {
    case DICOM_VR_OB:
    case DICOM_VR_OF:
    case DICOM_VR_OW:
    case DICOM_VR_SQ:
    case DICOM_VR_UN:
    case DICOM_VR_UT:
    case DICOM_VR_UC:
    case DICOM_VR_UR:
    case DICOM_VR_OD:
    case DICOM_VR_OL:
    case DICOM_VR_OV:
    case DICOM_VR_SV:
    case DICOM_VR_UV:
        return true;
    default:
        return false;
    }
}
