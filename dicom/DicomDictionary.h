// The DICOM data dictionary: VR codes and names, the element tables by group, and the UID lists
// proposed on an association. Constant data, safe to read from any thread.
#pragma once

#include "platform/base/wintypes.h"

// VR codes as stored in elements and in the dictionary.
enum DicomVR : DWORD {
    DICOM_VR_UNKNOWN = 0,  // also the end marker of an element table
    DICOM_VR_AE = 1,
    DICOM_VR_AS = 2,
    DICOM_VR_AT = 3,
    DICOM_VR_CS = 4,
    DICOM_VR_DA = 5,
    DICOM_VR_DS = 6,
    DICOM_VR_DT = 7,
    DICOM_VR_FL = 8,
    DICOM_VR_FD = 9,
    DICOM_VR_IS = 10,
    DICOM_VR_LO = 11,
    DICOM_VR_LT = 12,
    DICOM_VR_OB = 13,
    DICOM_VR_OF = 14,
    DICOM_VR_PIXEL = 15,  // Pixel Data (7FE0,0010) in the dictionary
    DICOM_VR_OW = 16,
    DICOM_VR_PN = 17,
    DICOM_VR_SH = 18,
    DICOM_VR_SL = 19,
    DICOM_VR_SQ = 20,
    DICOM_VR_SS = 21,
    DICOM_VR_ST = 22,
    DICOM_VR_TM = 23,
    DICOM_VR_UI = 24,
    DICOM_VR_UL = 25,
    DICOM_VR_UN = 26,
    DICOM_VR_US = 27,
    DICOM_VR_UT = 28,
    DICOM_VR_NOT_GIVEN = 29,  // the dictionary gives no VR
    DICOM_VR_EITHER = 30,     // US or SS, OB or OW
    DICOM_VR_ITEM = 31,       // items and delimiters
    // Newer VRs met in explicit-VR input. They all take the long header form; they are kept
    // so that such data is read and written back as it came.
    DICOM_VR_UC = 32,
    DICOM_VR_UR = 33,
    DICOM_VR_OD = 34,
    DICOM_VR_OL = 35,
    DICOM_VR_OV = 36,
    DICOM_VR_SV = 37,
    DICOM_VR_UV = 38,
};

struct DicomDictionaryEntry {
    DWORD tag;  // group << 16 | element
    DWORD vr;   // DicomVR code
    const char* name;
};

struct DicomDictionaryGroup {
    WORD group;
    const char* name;
    const DicomDictionaryEntry* table;
};

// Group index; ends with the row {0xFFFF, "", nullptr}.
extern const DicomDictionaryGroup DicomGroupTable[];
// The tables built but left out of the index (lookups never reach them); ends with nullptr.
extern const DicomDictionaryEntry* const DicomUnindexedTables[];

// Transfer syntaxes and SOP classes proposed when no presentation context is given, and the
// transfer syntax names; each list ends with an empty entry.
extern const wchar_t* const DicomTransferSyntaxUids[];
extern const wchar_t* const DicomSopClassUids[];
struct DicomTransferSyntaxName {
    const wchar_t* uid;
    const wchar_t* name;
};
extern const DicomTransferSyntaxName DicomTransferSyntaxNames[];

// VR code of a tag; 0 when the group is not indexed or the group's table lacks the tag.
DWORD DicomDictionaryLookup(WORD group, WORD element);
// VR code of two letters (either case); 0 when they name no VR.
DWORD DicomVRFromName(const char* name);
DWORD DicomVRFromName(const wchar_t* name);
// Two letters of a VR code; "" for the codes without a name.
const wchar_t* DicomVRName(DWORD vr);
// The VRs whose explicit header has a 32-bit length (OB, OF, OW, SQ, UN, UT and the newer ones).
bool DicomVRIsLongForm(DWORD vr);
