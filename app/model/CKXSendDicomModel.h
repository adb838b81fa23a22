// Sends a committed still to the PACS: reads the image file, wraps it in a Secondary Capture
// object with the patient row and the study and image numbers the commit gave it, and stores it
// with one C-STORE over one association. One model serves one commit; nothing it meets reaches
// the commit's result, every failure is written to the debugger output.
#pragma once

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

class CKXDataConnection;

// The AE title this module calls the PACS with.
#define KX_DICOM_CALLING_AE L"HRBIMAGE"
// Images larger than this (pixels a side, the DICOM limit) or whose pixel buffer would pass the
// byte cap are not sent.
#define KX_DICOM_MAX_SIDE 65535
#define KX_DICOM_MAX_PIXEL_BYTES (512u * 1024u * 1024u)
// Longest DICOM UID.
#define KX_DICOM_MAX_UID 64
// Longest long string (LO) and person name component group (PN), in bytes.
#define KX_DICOM_MAX_LO 64
#define KX_DICOM_MAX_PN_GROUP 64

// Why a still did not reach the PACS.
// A dropped association (an A-ABORT, a connection closed or reset in the middle of a still or
// before the PACS answered the association request) is the PACS's answer, not its silence; a
// PACS setting no association can be made with, or an AE title the PACS says it does not know,
// is the settings' fault, not the still's.
enum KXPacsMiss {
    KX_PACS_UNREACHABLE,
    KX_PACS_REFUSED,
    KX_PACS_SILENT,
    KX_PACS_UNSENDABLE,
    KX_PACS_DROPPED,
    KX_PACS_SETTINGS,
    KX_PACS_MISS_KINDS
};
// The caption of the message that tells the person which stills missed the PACS.
#define KX_PACS_MISSED_CAPTION L"PACS 전송 오류"

class CKXSendDicomModel {
public:
    CKXSendDicomModel();
    virtual ~CKXSendDicomModel();
    CKXSendDicomModel(const CKXSendDicomModel&) = delete;
    CKXSendDicomModel& operator=(const CKXSendDicomModel&) = delete;

    // The patient's name, sex and birth date from PATIENT (the chart number as a quoted literal).
    void LoadPatient(const CString& chartNo);
    void SetNetwork(const CString& host, const CString& calledAETitle, const CString& port, const CString& institution);
    // The study date without "-" and "/", and the still's study title.
    void SetDates(const CString& date, const CString& title);
    // Builds and stores the still; TRUE when the PACS answered that it stored it. Otherwise the
    // still is counted in `missed`; once the PACS could not be reached or did not answer, or its
    // settings cannot make an association, the model's later stills for that PACS are counted
    // under the same reason without trying again. A dropped association is not held against
    // the next still, which goes on a new one.
    BOOL BuildAndSend(int imgNo, const CString& path, int ono);
    // How many stills missed the PACS and why, for the person; empty when none did.
    CString MissedMessage() const;
    // The file as DICOM pixels: a baseline or extended sequential JPEG whole, anything else
    // decoded to RGB or 8-bit grey. A buffer from VirtualAlloc (the caller frees it), or null.
    BYTE* ReadImage(const CString& path, int* columns, int* rows, BOOL* grayscale, int* bits, DWORD* byteLength,
                    BOOL* jpeg);

    // Digits as they are, any other UTF-16 unit as its decimal code ("A7" gives "657").
    static CString DigitsOnly(const CString& text);
    // A stored birth date as DICOM DA (yyyymmdd), empty when it is not a date.
    static CString DicomDate(const CString& text);
    // A text for an element of one value: "\" (the value separator) becomes "_", as in the
    // store's folder names, and the text is cut to maxBytes bytes of the code page, between
    // characters.
    static CString SingleValue(const CString& text, int maxBytes);
    // A person's name as SingleValue, each component group ("=" between them, three at most, the
    // rest in the third) cut on its own.
    static CString PersonName(const CString& text);
    // A stored sex as DICOM M, F or O; empty stays empty.
    static CString DicomSex(const CString& text);
    // Whether a text is a UID DICOM accepts: at most 64 characters, digits in dot-separated
    // non-empty components. Leading zeros are let through: studies already on the PACS carry them.
    static bool IsValidUid(const CString& uid);
    // Whether a text is an AE title DICOM accepts: 1 to 16 printable ASCII characters, not
    // all blank, without "\".
    static bool IsValidAETitle(const CString& title);

    CKXDataConnection* connection = nullptr;  // borrowed, set by the commit
    CString host;
    CString port;
    CString calledAETitle;
    CString institution;
    CString chartNo;
    CString patientName;
    CString birthDate;
    CString sex;
    CString studyDate;
    CString studyTitle;
    int columns = 0;
    int rows = 0;
    BOOL grayscale = 0;
    int bits = 0;
    DWORD pixelByteLength = 0;
    BOOL jpegFlag = 0;
    BYTE jpegFrameMarker = 0;  // the SOF marker of a JPEG still
    CString studyUid;
    CString seriesUid;
    CString studyId;
    CString instanceUid;
    int missed[KX_PACS_MISS_KINDS] = {};
    int heldBack = -1;  // the reason later stills are not tried for, or -1

    // The still's bytes for a still that is not JPEG; null on any failure.
    BYTE* DecodePixels(const BYTE* file, DWORD size);

private:
    // Counts the still under `why` and returns FALSE.
    BOOL Missed(int why);
    // Sends the encoded object; the reason it missed, or -1 when the PACS stored it.
    int Store(const BYTE* bytes, DWORD length, const CString& sopClass, const CString& transferSyntax);
};
