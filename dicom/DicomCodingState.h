// How a data set is (to be) coded, and how far the parser has read its input.
#pragma once

#include "platform/base/wintypes.h"

#define DICOM_VR_MODE_EXPLICIT 0
#define DICOM_VR_MODE_IMPLICIT 2
#define DICOM_VR_MODE_FRAGMENTS 3  // encapsulated pixel fragments (parser only)

#define DICOM_UNDEFINED_LENGTH 0xFFFFFFFFu

struct DicomCodingState {
    DWORD preamble = 0;     // 1: a 128-byte preamble was found / is to be written
    DWORD dicmPrefix = 0;   // 1: "DICM" was found / is to be written
    DWORD fileMeta = 0;     // 1: a group 0002 element was read
    DWORD vrMode = 0;       // DICOM_VR_MODE_*; any other value is explicit VR
    DWORD bigEndian = 0;    // 1: the transfer syntax read was explicit VR big endian (recorded only)
    DWORD inputLength = 0;  // bytes the parser may read; DICOM_UNDEFINED_LENGTH in undefined-length children
    DWORD readOffset = 0;   // bytes consumed so far
};
