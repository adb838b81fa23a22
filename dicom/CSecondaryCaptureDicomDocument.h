// The Secondary Capture Image object that a captured still is sent as.
#pragma once

#include "dicom/CDicomDocument.h"

#define DICOM_SOP_CLASS_SECONDARY_CAPTURE L"1.2.840.10008.5.1.4.1.1.7"
#define DICOM_TRANSFER_SYNTAX_EXPLICIT_LE L"1.2.840.10008.1.2.1"
#define DICOM_TRANSFER_SYNTAX_JPEG_BASELINE L"1.2.840.10008.1.2.4.50"
#define DICOM_TRANSFER_SYNTAX_JPEG_EXTENDED L"1.2.840.10008.1.2.4.51"

class CSecondaryCaptureDicomDocument : public CDicomDocument {
public:
    // Sets the file meta information and the SOP common attributes.
    CSecondaryCaptureDicomDocument();
    ~CSecondaryCaptureDicomDocument() override = default;

    void SetPatient(LPCWSTR patientId, LPCWSTR patientName, LPCWSTR birthDate, LPCWSTR sex);
    void SetStudy(LPCWSTR studyUid, LPCWSTR studyId, LPCWSTR studyDate, LPCWSTR studyTime, LPCWSTR description,
                  LPCWSTR accessionNumber, LPCWSTR modality, LPCWSTR referringPhysician);
    void SetSeries(LPCWSTR seriesUid, LPCWSTR description, LPCWSTR seriesNumber, LPCWSTR bodyPart);
    // grayscale: one sample per pixel; bits: bits per sample.
    void SetImage(LPCWSTR instanceUid, int columns, int rows, BOOL grayscale, int instanceNumber, int bits);
    // Native pixels; also sets the explicit VR little endian transfer syntax.
    void SetPixelData(const BYTE* bytes, DWORD length);
    // One JPEG frame as encapsulated pixel data; the caller sets the transfer syntax. The image
    // description follows the JPEG's own header (colour model, lossy compression).
    void SetEncapsulatedPixelData(const BYTE* bytes, DWORD length);

    CString GetSopClassUid();
    CString GetTransferSyntaxUid();

private:
    void DescribeJpegPixels();
};
