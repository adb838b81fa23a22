// The facts of a JPEG stream that its DICOM description needs, read from its markers.
#pragma once

#include "platform/base/wintypes.h"

struct DicomJpegHeader {
    BYTE frameMarker = 0;  // the SOF marker (0xC0 to 0xCF, without 0xC4, 0xC8 and 0xCC)
    int precision = 0;     // bits per sample
    int rows = 0;
    int columns = 0;
    int components = 0;
    BYTE componentIds[4] = {};
    BYTE sampling[4] = {};   // horizontal factor in the high nibble, vertical in the low one
    bool jfif = false;       // APP0 "JFIF" segment
    bool adobe = false;      // APP14 "Adobe" segment
    int adobeTransform = -1; // its colour transform: 0 none (RGB or CMYK), 1 YCbCr, 2 YCCK

    bool IsLossless() const { return frameMarker == 0xC3 || frameMarker == 0xC7 || frameMarker == 0xCB || frameMarker == 0xCF; }
};

// Walks the markers up to the first scan. False when the bytes are not a JPEG stream or hold
// no frame header before the scan or the end.
bool ReadDicomJpegHeader(const BYTE* bytes, DWORD length, DicomJpegHeader* header);

// Photometric Interpretation of the JPEG's decoded samples: "MONOCHROME2" for one component;
// for three, "RGB" when the samples were coded without a colour transform, else "YBR_FULL_422"
// when the chroma is subsampled and "YBR_FULL" when every component has the same sampling;
// "" for other component counts.
const wchar_t* DicomJpegPhotometric(const DicomJpegHeader& header);
