// One data element of a DICOM data set.
#pragma once

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

class CDicomElementList;

struct DicomElement {
    WORD group = 0;
    WORD element = 0;
    CString vrName;                   // two letters, or empty for the codes without a name
    DWORD vr = 0;                     // DicomVR code
    DWORD length = 0;                 // value length as declared; DICOM_UNDEFINED_LENGTH = undefined
    BYTE* value = nullptr;            // valueLength bytes, a 0x00 pad byte when odd, then one 0x00
    DWORD valueLength = 0;            // bytes held in value (even); may be less than a declared length
    CDicomElementList* children = nullptr;  // items, item contents or pixel fragments

    DicomElement() = default;
    DicomElement(const DicomElement&) = delete;
    DicomElement& operator=(const DicomElement&) = delete;
    ~DicomElement();

    DWORD Tag() const { return (static_cast<DWORD>(group) << 16) | element; }

    // Replaces the value with count bytes of data (a 0x00 pad byte makes an odd count even).
    // No data, or an undefined length, leaves no value and length 0. False when memory is short
    // (the old value is then kept).
    bool SetValueBytes(const void* data, DWORD count);
    // Sets the value from text by the element's VR: text VRs in the ANSI code page (PN with
    // blanks as "^"), padded to even length with a blank (UI and the binary VRs with 0x00);
    // numbers in their binary form. AT and the codes without a name keep their value.
    bool SetValueText(LPCWSTR text);
    // The value as text by VR (trimmed text, or the number); "" for the others.
    CString GetValueText() const;
    // The value as an integer by VR; 0 for the others.
    DWORD GetValueInt() const;

    // Frees the value buffer.
    void ReleaseValue();
};

// Bytes that text takes in the ANSI code page, without a terminator.
int DicomAnsiLength(LPCWSTR text);
