// The in-memory form of a DICOM data set: data elements in tag order with their coding state,
// an encoder to little-endian bytes and a parser of explicit and implicit VR input.
#pragma once

#include "dicom/DicomBuffer.h"
#include "dicom/DicomCodingState.h"
#include "dicom/DicomElement.h"
#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

#define DICOM_TAG(group, element) ((static_cast<DWORD>(group) << 16) | static_cast<DWORD>(element))

// The group of items and delimiters, and its elements.
constexpr WORD DICOM_ITEM_GROUP = 0xFFFE;
constexpr WORD DICOM_ITEM = 0xE000;                 // an item (or a pixel-data fragment)
constexpr WORD DICOM_ITEM_DELIMITER = 0xE00D;       // ends an item of undefined length
constexpr WORD DICOM_SEQUENCE_DELIMITER = 0xE0DD;   // ends a sequence of undefined length

class CDicomElementList {
public:
    CDicomElementList();
    virtual ~CDicomElementList();
    CDicomElementList(const CDicomElementList&) = delete;
    CDicomElementList& operator=(const CDicomElementList&) = delete;

    // Reads the preamble, "DICM" and the elements up to the first group 0008 element and sets
    // the file-meta flag, VR mode and byte-order flag of state as Parse would; inserts nothing.
    virtual void DetectEncoding(const BYTE* bytes, DicomCodingState* state);
    // Reads state->inputLength bytes (from state->readOffset) into this list. Stops silently at
    // the end of the input, at the first missing or empty element and at a top-level sequence
    // delimiter; what was read stays in the list.
    virtual void Parse(const BYTE* bytes, DicomCodingState* state);

    // Deletes every element and sets the coding state to zero.
    void Clear();

    // A new element, not inserted (the caller owns it). The value gets min(length, copyLimit)
    // bytes of source (all length bytes when copyLimit is 0); no source, or an undefined
    // length, leaves it without value. Null when memory is short.
    static DicomElement* CreateElement(WORD group, WORD element, const void* source, DWORD copyLimit, DWORD length, DWORD vr);
    // Takes ownership of element and keeps the list in tag order. False (the caller still owns
    // the element) when the tag is already present, unless its group is 0xFFFE: items and
    // delimiters repeat, follow the data elements and keep the order they were inserted in, a
    // new item going before a trailing sequence delimiter.
    bool Insert(DicomElement* element);
    DicomElement* FindElement(WORD group, WORD element);
    // Replace the value of the element with this tag, or make and insert a new element of vr.
    bool SetString(DWORD tag, LPCWSTR text, DWORD vr);
    bool SetBytes(DWORD tag, const void* bytes, DWORD length, DWORD vr);
    CString GetText(DWORD tag);
    // Deletes every element of group 0000.
    bool RemoveCommandGroup();
    // Deletes the element with this tag; false when there is none.
    bool RemoveElement(WORD group, WORD element);

    DicomElement* First();
    DicomElement* Next();
    int GetCount() const { return m_count; }

    // The whole list as a new VirtualAlloc block that the caller releases with VirtualFree.
    // Null and length 0 when there is nothing to write, memory is short or an element cannot
    // be coded (a value too long for its 16-bit length field).
    BYTE* Encode(DWORD* outLength);
    // One element's header and value under state (its children are not included). Groups 0000
    // and FFFE are always written in implicit VR; in explicit VR an element whose VR code has
    // no name is written as UN. Null when the element cannot be coded or memory is short.
    // Release with DicomBuffer::Free.
    static DicomBuffer* EncodeElement(const DicomCodingState& state, const DicomElement* element);

    DicomCodingState& GetCodingState() { return m_state; }
    const DicomCodingState& GetCodingState() const { return m_state; }
    DicomElement* GetParentElement() const { return m_parent; }
    void SetParentElement(DicomElement* parent) { m_parent = parent; }

private:
    struct Entry {
        WORD group;
        WORD element;
        DicomElement* item;
        Entry* prev;
        Entry* next;
    };
    class Reader;
    friend class Reader;

    void LinkBefore(Entry* entry, Entry* before);
    void Unlink(Entry* entry);
    void ParseOrDetect(const BYTE* bytes, DicomCodingState* state, bool insert);

    Entry* m_head = nullptr;
    Entry* m_tail = nullptr;
    Entry* m_cursor = nullptr;
    int m_count = 0;
    DicomCodingState m_state;
    DicomElement* m_parent = nullptr;
};
