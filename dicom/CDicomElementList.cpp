#include "dicom/CDicomElementList.h"

#include <cstring>
#include <new>

#include "dicom/DicomDictionary.h"
#include "platform/base/bytes.h"
#include "platform/base/memoryapi.h"

namespace {

// Deepest nesting of sequences and items the parser follows.
constexpr int kMaxDepth = 64;

bool IsItemOrDelimiter(WORD group, WORD element)
{
    return group == DICOM_ITEM_GROUP && (element == DICOM_ITEM || element == DICOM_ITEM_DELIMITER || element == DICOM_SEQUENCE_DELIMITER);
}

// Zero bytes where an element should begin: the end of the data. Command elements are read in
// implicit VR, so the dictionary names a VR even for this one.
bool IsEmptyElement(const DicomElement* e)
{
    return e->group == 0 && e->element == 0 && e->length == 0 && !e->value && !e->children;
}

bool PutU16(DicomBuffer& out, DWORD v)
{
    const BYTE b[2] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8)};
    return out.Append(b, 2);
}

bool PutU32(DicomBuffer& out, DWORD v)
{
    const BYTE b[4] = {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
    return out.Append(b, 4);
}

// Appends one element, and its children when withChildren, coded under mode. The length field
// always states what follows: the value bytes held, or the children's bytes; a container made
// with length 0 or an undefined length is written with an undefined length (its children carry
// their own delimiters).
bool AppendElement(DicomBuffer& out, DWORD mode, const DicomElement* e, bool withChildren);

bool PutDelimiter(DicomBuffer& out, WORD element)
{
    return PutU16(out, DICOM_ITEM_GROUP) && PutU16(out, element) && PutU32(out, 0);
}

bool IsUndefinedItem(const DicomElement* e)
{
    return e->group == DICOM_ITEM_GROUP && e->element == DICOM_ITEM && e->length == DICOM_UNDEFINED_LENGTH;
}

// Appends the elements of a list. An item of undefined length that input left without its
// delimiter gets one, so that what is written always reads back the same way.
bool AppendList(DicomBuffer& out, DWORD mode, CDicomElementList* list)
{
    list->GetCodingState().vrMode = mode;
    DicomElement* e = list->First();
    while (e) {
        if (!AppendElement(out, mode, e, true))
            return false;
        DicomElement* next = list->Next();
        if (IsUndefinedItem(e) && !(next && next->group == DICOM_ITEM_GROUP && next->element == DICOM_ITEM_DELIMITER)) {
            if (!PutDelimiter(out, DICOM_ITEM_DELIMITER))
                return false;
        }
        e = next;
    }
    return true;
}

bool AppendElement(DicomBuffer& out, DWORD mode, const DicomElement* e, bool withChildren)
{
    const bool implicitForm = e->group == DICOM_ITEM_GROUP || e->group == 0x0000 || mode == DICOM_VR_MODE_IMPLICIT ||
                              mode == DICOM_VR_MODE_FRAGMENTS;
    // In explicit VR an element whose VR has no name is written as UN, which every reader takes.
    const bool named = e->vrName.GetLength() == 2;
    const bool longForm = !named || DicomVRIsLongForm(e->vr);
    DicomBuffer childBytes;
    bool undefined = false;
    if (e->children) {
        undefined = e->length == 0 || e->length == DICOM_UNDEFINED_LENGTH;
        // Children are written as they are read back: in the list's mode, but implicit under a
        // command element or an element with a 16-bit length.
        const bool implicitChildren = e->group == 0x0000 || (!implicitForm && !longForm);
        // Encapsulated pixel data holds fragments, each with the 8-byte header.
        const bool fragments = e->group == 0x7FE0 && undefined && !implicitForm && longForm;
        const DWORD childMode = fragments ? DICOM_VR_MODE_FRAGMENTS : implicitChildren ? DICOM_VR_MODE_IMPLICIT : mode;
        bool ok = AppendList(childBytes, childMode, e->children);
        // A sequence or pixel data of undefined length ends with its delimiter, also when the
        // input it was read from broke off before it (an item's delimiter follows the item).
        if (ok && undefined && !(e->group == DICOM_ITEM_GROUP && e->element == DICOM_ITEM)) {
            const DicomElement* last = nullptr;
            for (const DicomElement* c = e->children->First(); c; c = e->children->Next())
                last = c;
            if (!last || last->group != DICOM_ITEM_GROUP || last->element != DICOM_SEQUENCE_DELIMITER)
                ok = PutDelimiter(childBytes, DICOM_SEQUENCE_DELIMITER);
        }
        if (!ok) {
            childBytes.Reset();
            return false;
        }
    }
    const uint64_t body = static_cast<uint64_t>(e->value ? e->valueLength : 0) + childBytes.length;
    bool ok = true;
    if (!undefined && body > 0xFFFFFFFEull)
        ok = false;
    const DWORD lengthField = undefined ? DICOM_UNDEFINED_LENGTH : static_cast<DWORD>(body);
    if (ok) {
        ok = PutU16(out, e->group) && PutU16(out, e->element);
        if (ok) {
            if (implicitForm) {
                ok = PutU32(out, lengthField);
            } else {
                BYTE letters[2] = {'U', 'N'};
                if (named) {
                    letters[0] = static_cast<BYTE>(e->vrName[0]);
                    letters[1] = static_cast<BYTE>(e->vrName[1]);
                }
                if (longForm) {
                    const BYTE reserved[2] = {0, 0};
                    ok = out.Append(letters, 2) && out.Append(reserved, 2) && PutU32(out, lengthField);
                } else if (lengthField > 0xFFFF) {
                    // A 16-bit length field cannot state this value; cutting it would corrupt the stream.
                    ok = false;
                } else {
                    ok = out.Append(letters, 2) && PutU16(out, lengthField);
                }
            }
        }
    }
    if (ok && e->value)
        ok = out.Append(e->value, e->valueLength);
    if (ok && withChildren)
        ok = out.Append(childBytes.bytes, childBytes.length);
    childBytes.Reset();
    return ok;
}

}  // namespace

// Reads elements from one input. Every read is bounded by the end of the list being read, which
// never lies past the end of the real input.
class CDicomElementList::Reader {
public:
    explicit Reader(const BYTE* bytes) : m_bytes(bytes) {}

    // One element at pos, or null when none comes back. taken receives the bytes consumed, also
    // when a sequence delimiter was inserted into `into` and none is returned. With `into` null
    // the delimiter is dropped.
    DicomElement* ReadElement(size_t pos, size_t end, DWORD mode, DWORD bigEndian, int depth, CDicomElementList* into,
                              size_t* taken)
    {
        *taken = 0;
        if (depth > kMaxDepth || pos > end || end - pos < 8)
            return nullptr;
        const BYTE* p = m_bytes + pos;
        const WORD group = quiva::LoadLE16(p);
        const WORD element = quiva::LoadLE16(p + 2);
        const size_t remaining = end - pos;
        // Command elements are always implicit VR, wherever they stand.
        if (group == 0x0000 && mode != DICOM_VR_MODE_FRAGMENTS)
            mode = DICOM_VR_MODE_IMPLICIT;

        if (mode == DICOM_VR_MODE_FRAGMENTS && group == 0 && element == 0)
            return nullptr;
        if (group == DICOM_ITEM_GROUP && element == DICOM_SEQUENCE_DELIMITER) {
            // A sequence delimiter ends the list being read; it is kept in that list.
            *taken = 8;
            Keep(into, Make(group, element, DICOM_VR_ITEM, quiva::LoadLE32(p + 4), nullptr, 0));
            return nullptr;
        }

        DicomElement* e = nullptr;
        if (mode == DICOM_VR_MODE_FRAGMENTS) {
            const DWORD length = quiva::LoadLE32(p + 4);
            const size_t copy = Bounded(length, remaining - 8);
            e = Make(group, element, DicomDictionaryLookup(group, element), length, p + 8, copy);
            *taken = 8 + copy;
        } else if (mode == DICOM_VR_MODE_IMPLICIT) {
            const DWORD length = quiva::LoadLE32(p + 4);
            const bool startsWithItem = StartsWithItem(p + 8, remaining - 8, length);
            const bool container = (group == DICOM_ITEM_GROUP && element == DICOM_ITEM) || startsWithItem ||
                                   (length == DICOM_UNDEFINED_LENGTH && !IsItemOrDelimiter(group, element));
            const DWORD vr = group == DICOM_ITEM_GROUP ? (IsItemOrDelimiter(group, element) ? DICOM_VR_ITEM : DICOM_VR_UNKNOWN)
                                                 : DicomDictionaryLookup(group, element);
            if (container) {
                e = Make(group, element, vr, length, nullptr, 0);
                *taken = 8;
                if (e && length != 0)
                    *taken += ReadContainer(e, pos + 8, end, length, DICOM_VR_MODE_IMPLICIT, bigEndian, depth);
            } else {
                const size_t copy = length == DICOM_UNDEFINED_LENGTH ? 0 : Bounded(length, remaining - 8);
                e = Make(group, element, vr, length, p + 8, copy);
                *taken = 8 + copy;
            }
        } else if (IsItemOrDelimiter(group, element)) {
            const DWORD length = quiva::LoadLE32(p + 4);
            e = Make(group, element, DICOM_VR_ITEM, length, nullptr, 0);
            *taken = 8;
            if (e && length != 0)
                *taken += ReadContainer(e, pos + 8, end, length, mode, bigEndian, depth);
        } else if (group == DICOM_ITEM_GROUP) {
            // Any other tag of the item group has the 8-byte header it is written with in either
            // VR mode, so it is read as in implicit VR: a sequence when its length is undefined
            // or its value begins with an item (its contents in this list's mode, as they are
            // written). Read otherwise here, a list whose VR mode changes at its first
            // identifying element would read it back differently once written in implicit VR.
            const DWORD length = quiva::LoadLE32(p + 4);
            if (length == DICOM_UNDEFINED_LENGTH || StartsWithItem(p + 8, remaining - 8, length)) {
                e = Make(group, element, DICOM_VR_UNKNOWN, length, nullptr, 0);
                *taken = 8 + (e ? ReadContainer(e, pos + 8, end, length, mode, bigEndian, depth) : 0);
            } else {
                const size_t copy = Bounded(length, remaining - 8);
                e = Make(group, element, DICOM_VR_UNKNOWN, length, p + 8, copy);
                *taken = 8 + copy;
            }
        } else {
            const char letters[3] = {static_cast<char>(p[4]), static_cast<char>(p[5]), 0};
            const DWORD vr = DicomVRFromName(letters);
            if (DicomVRIsLongForm(vr)) {
                if (remaining < 12)
                    return nullptr;
                const DWORD length = quiva::LoadLE32(p + 8);
                if (length == DICOM_UNDEFINED_LENGTH) {
                    e = Make(group, element, vr, length, nullptr, 0);
                    const DWORD childMode = group == 0x7FE0 ? DICOM_VR_MODE_FRAGMENTS : mode;
                    *taken = 12 + (e ? ReadContainer(e, pos + 12, end, length, childMode, bigEndian, depth) : 0);
                } else {
                    const size_t copy = Bounded(length, remaining - 12);
                    e = Make(group, element, vr, length, p + 12, copy);
                    *taken = 12 + copy;
                }
            } else {
                const DWORD length = quiva::LoadLE16(p + 6);
                // Items need room for their 8-byte header: a shorter value that merely begins
                // with the item tag's bytes is a value.
                if (StartsWithItem(p + 8, remaining - 8, length)) {
                    e = Make(group, element, vr, length, nullptr, 0);
                    *taken = 8 + (e ? ReadContainer(e, pos + 8, end, length, DICOM_VR_MODE_IMPLICIT, bigEndian, depth) : 0);
                } else {
                    const size_t copy = Bounded(length, remaining - 8);
                    e = Make(group, element, vr, length, p + 8, copy);
                    *taken = 8 + copy;
                }
            }
        }
        if (!e) {
            // Out of memory: stop reading here.
            *taken = 0;
            return nullptr;
        }

        return e;
    }

private:
    static size_t Bounded(DWORD length, size_t available) { return length < available ? length : available; }

    // Whether a value of `length` bytes at `value` is a sequence: it begins with an item whose
    // header fits and whose own defined length fits in the value. A value that merely begins
    // with the item tag's bytes is a value (the padding the encoder adds must not turn it into
    // a sequence). An odd length is judged as the even length the value is held and written
    // with, so that the value reads back the same way once written.
    static bool StartsWithItem(const BYTE* value, size_t available, DWORD length)
    {
        if (available < 4 || quiva::LoadLE16(value) != DICOM_ITEM_GROUP || quiva::LoadLE16(value + 2) != DICOM_ITEM)
            return false;
        if (length == DICOM_UNDEFINED_LENGTH)
            return true;
        if (length < 8 || available < 8)
            return false;
        const DWORD itemLength = quiva::LoadLE32(value + 4);
        const DWORD held = length + (length & 1);
        return itemLength == DICOM_UNDEFINED_LENGTH || itemLength <= held - 8;
    }

    static DicomElement* Make(WORD group, WORD element, DWORD vr, DWORD length, const BYTE* source, size_t copy)
    {
        return CDicomElementList::CreateElement(group, element, copy ? source : nullptr, static_cast<DWORD>(copy), length, vr);
    }

    static void Keep(CDicomElementList* into, DicomElement* e)
    {
        if (!e)
            return;
        if (!into || !into->Insert(e))
            delete e;
    }

    // Gives e a child list and fills it from pos. A defined length bounds the children and is
    // consumed whole; an undefined one runs to the children's own delimiter. Returns the bytes
    // consumed after the header.
    size_t ReadContainer(DicomElement* e, size_t pos, size_t end, DWORD length, DWORD mode, DWORD bigEndian, int depth)
    {
        CDicomElementList* child = new (std::nothrow) CDicomElementList();
        if (!child)
            return 0;
        child->SetParentElement(e);
        e->children = child;
        DicomCodingState& state = child->GetCodingState();
        state.inputLength = length;
        state.vrMode = mode;
        state.bigEndian = bigEndian;
        size_t childEnd = end;
        if (length != DICOM_UNDEFINED_LENGTH && end - pos > length)
            childEnd = pos + length;

        // The contents of an item end before the next item or delimiter tag, which belongs to the
        // enclosing sequence: so an item of undefined length ends where the next one begins.
        const bool itemContents = e->group == DICOM_ITEM_GROUP && e->element == DICOM_ITEM;
        size_t at = pos;
        while (at < childEnd) {
            if (itemContents && childEnd - at >= 4 && IsItemOrDelimiter(quiva::LoadLE16(m_bytes + at), quiva::LoadLE16(m_bytes + at + 2)))
                break;
            size_t taken = 0;
            DicomElement* item = ReadElement(at, childEnd, mode, bigEndian, depth + 1, child, &taken);
            at += taken;
            if (!item)
                break;
            Keep(child, item);
        }
        const size_t consumed = length != DICOM_UNDEFINED_LENGTH ? childEnd - pos : at - pos;
        state.readOffset = static_cast<DWORD>(consumed);
        return consumed;
    }

    const BYTE* m_bytes;
};

CDicomElementList::CDicomElementList() = default;

CDicomElementList::~CDicomElementList()
{
    Clear();
}

void CDicomElementList::Clear()
{
    Entry* entry = m_head;
    while (entry) {
        Entry* next = entry->next;
        delete entry->item;
        delete entry;
        entry = next;
    }
    m_head = m_tail = m_cursor = nullptr;
    m_count = 0;
    m_state = DicomCodingState();
}

DicomElement* CDicomElementList::CreateElement(WORD group, WORD element, const void* source, DWORD copyLimit, DWORD length, DWORD vr)
{
    DicomElement* e = new (std::nothrow) DicomElement();
    if (!e)
        return nullptr;
    e->group = group;
    e->element = element;
    e->vr = vr;
    e->vrName = DicomVRName(vr);
    if (source && length != 0 && length != DICOM_UNDEFINED_LENGTH) {
        const DWORD count = (copyLimit == 0 || copyLimit > length) ? length : copyLimit;
        if (!e->SetValueBytes(source, count)) {
            delete e;
            return nullptr;
        }
    }
    e->length = length;
    return e;
}

void CDicomElementList::LinkBefore(Entry* entry, Entry* before)
{
    entry->next = before;
    entry->prev = before ? before->prev : m_tail;
    if (entry->prev)
        entry->prev->next = entry;
    else
        m_head = entry;
    if (before)
        before->prev = entry;
    else
        m_tail = entry;
    ++m_count;
}

void CDicomElementList::Unlink(Entry* entry)
{
    if (entry->prev)
        entry->prev->next = entry->next;
    else
        m_head = entry->next;
    if (entry->next)
        entry->next->prev = entry->prev;
    else
        m_tail = entry->prev;
    if (m_cursor == entry)
        m_cursor = nullptr;
    --m_count;
}

bool CDicomElementList::Insert(DicomElement* element)
{
    if (!element)
        return false;
    const DWORD key = element->Tag();
    Entry* before = nullptr;
    if (element->group != DICOM_ITEM_GROUP) {
        // Data elements in tag order, ahead of any items and delimiters.
        for (Entry* e = m_head; e; e = e->next) {
            const DWORD other = DICOM_TAG(e->group, e->element);
            if (other == key)
                return false;
            if (other > key || e->group == DICOM_ITEM_GROUP) {
                before = e;
                break;
            }
        }
    } else if (m_tail && m_tail->group == DICOM_ITEM_GROUP && m_tail->element == DICOM_SEQUENCE_DELIMITER &&
               element->element != DICOM_SEQUENCE_DELIMITER) {
        // Items and delimiters keep their order at the end; a new item goes before a trailing
        // sequence delimiter, which closes the list.
        before = m_tail;
    }
    Entry* entry = new (std::nothrow) Entry{element->group, element->element, element, nullptr, nullptr};
    if (!entry)
        return false;
    LinkBefore(entry, before);
    m_cursor = m_head;
    return true;
}

DicomElement* CDicomElementList::FindElement(WORD group, WORD element)
{
    for (Entry* e = m_head; e; e = e->next) {
        if (e->group == group && e->element == element) {
            m_cursor = e;
            return e->item;
        }
    }
    return nullptr;
}

bool CDicomElementList::SetString(DWORD tag, LPCWSTR text, DWORD vr)
{
    const WORD group = static_cast<WORD>(tag >> 16);
    const WORD element = static_cast<WORD>(tag);
    DicomElement* e = (m_cursor && m_cursor->item->Tag() == tag) ? m_cursor->item : FindElement(group, element);
    if (e)
        return e->SetValueText(text);
    e = CreateElement(group, element, nullptr, 0, 0, vr);
    if (!e)
        return false;
    if (!e->SetValueText(text) || !Insert(e)) {
        delete e;
        return false;
    }
    return true;
}

bool CDicomElementList::SetBytes(DWORD tag, const void* bytes, DWORD length, DWORD vr)
{
    const WORD group = static_cast<WORD>(tag >> 16);
    const WORD element = static_cast<WORD>(tag);
    DicomElement* e = (m_cursor && m_cursor->item->Tag() == tag) ? m_cursor->item : FindElement(group, element);
    if (e)
        return e->SetValueBytes(bytes, length);
    e = CreateElement(group, element, nullptr, 0, 0, vr);
    if (!e)
        return false;
    if (!e->SetValueBytes(bytes, length) || !Insert(e)) {
        delete e;
        return false;
    }
    return true;
}

CString CDicomElementList::GetText(DWORD tag)
{
    const DicomElement* e = FindElement(static_cast<WORD>(tag >> 16), static_cast<WORD>(tag));
    return e ? e->GetValueText() : CString();
}

bool CDicomElementList::RemoveCommandGroup()
{
    Entry* e = m_head;
    while (e) {
        Entry* next = e->next;
        if (e->group == 0x0000) {
            Unlink(e);
            delete e->item;
            delete e;
        }
        e = next;
    }
    m_cursor = m_head;
    return true;
}

bool CDicomElementList::RemoveElement(WORD group, WORD element)
{
    for (Entry* e = m_head; e; e = e->next) {
        if (e->group == group && e->element == element) {
            Unlink(e);
            delete e->item;
            delete e;
            m_cursor = m_head;
            return true;
        }
    }
    return false;
}

DicomElement* CDicomElementList::First()
{
    m_cursor = m_head;
    return m_cursor ? m_cursor->item : nullptr;
}

DicomElement* CDicomElementList::Next()
{
    if (m_cursor)
        m_cursor = m_cursor->next;
    return m_cursor ? m_cursor->item : nullptr;
}

BYTE* CDicomElementList::Encode(DWORD* outLength)
{
    if (outLength)
        *outLength = 0;
    DicomBuffer out;
    bool ok = true;
    if (m_state.preamble) {
        const BYTE zeros[128] = {};
        ok = out.Append(zeros, sizeof zeros);
    }
    if (ok && m_state.dicmPrefix)
        ok = out.Append("DICM", 4);
    if (ok)
        ok = AppendList(out, m_state.vrMode, this);
    if (!ok || out.length == 0) {
        out.Reset();
        return nullptr;
    }
    // Hand over a block of exactly the encoded size.
    BYTE* result = static_cast<BYTE*>(VirtualAlloc(nullptr, out.length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (result) {
        std::memcpy(result, out.bytes, out.length);
        if (outLength)
            *outLength = out.length;
    }
    out.Reset();
    return result;
}

DicomBuffer* CDicomElementList::EncodeElement(const DicomCodingState& state, const DicomElement* element)
{
    if (!element)
        return nullptr;
    DicomBuffer* out = DicomBuffer::Create();
    if (!out)
        return nullptr;
    if (!AppendElement(*out, state.vrMode, element, false)) {
        DicomBuffer::Free(out);
        return nullptr;
    }
    return out;
}

void CDicomElementList::Parse(const BYTE* bytes, DicomCodingState* state)
{
    ParseOrDetect(bytes, state, true);
}

void CDicomElementList::DetectEncoding(const BYTE* bytes, DicomCodingState* state)
{
    ParseOrDetect(bytes, state, false);
}

void CDicomElementList::ParseOrDetect(const BYTE* bytes, DicomCodingState* state, bool insert)
{
    if (!bytes || !state)
        return;
    const size_t end = state->inputLength;
    size_t pos = state->readOffset;
    if (pos >= end)
        return;

    // Part 10 preamble and prefix, when present.
    bool zeros = end - pos >= 128;
    for (size_t i = 0; zeros && i < 128; ++i)
        zeros = bytes[pos + i] == 0;
    if (zeros || (end - pos >= 132 && std::memcmp(bytes + pos + 128, "DICM", 4) == 0)) {
        pos += 128;
        state->preamble = 1;
    }
    if (end - pos >= 4 && std::memcmp(bytes + pos, "DICM", 4) == 0) {
        pos += 4;
        state->dicmPrefix = 1;
    }

    Reader reader(bytes);
    bool noteImplicit = false;
    bool noteBigEndian = false;
    bool seenIdentifying = false;
    while (pos < end) {
        const size_t start = pos;
        const BYTE* p = bytes + pos;
        if (end - pos < 8)
            break;
        const WORD group = quiva::LoadLE16(p);
        // A group length written in implicit VR: its length field reads 4.
        if (quiva::LoadLE16(p + 2) == 0x0000 && group != 0x0000 && quiva::LoadLE32(p + 4) == 4)
            noteImplicit = true;
        // The transfer syntax of the file meta takes effect at the first group 0008 element.
        if (group == 0x0008 && !seenIdentifying) {
            seenIdentifying = true;
            const char letters[3] = {static_cast<char>(p[4]), static_cast<char>(p[5]), 0};
            if (DicomVRFromName(letters) == DICOM_VR_UNKNOWN)
                noteImplicit = true;
            if (noteImplicit)
                state->vrMode = DICOM_VR_MODE_IMPLICIT;
            if (noteBigEndian)
                state->bigEndian = 1;
            if (!insert)
                break;
        }
        size_t taken = 0;
        DicomElement* e = reader.ReadElement(pos, end, state->vrMode, state->bigEndian, 0, insert ? this : nullptr, &taken);
        if (!e) {
            pos += taken;
            break;
        }
        if (IsEmptyElement(e)) {
            delete e;
            break;
        }
        if (e->group == 0x0002) {
            state->fileMeta = 1;
            if (e->element == 0x0010) {
                const CString syntax = e->GetValueText();
                if (syntax == L"1.2.840.10008.1.2")
                    noteImplicit = true;
                else if (syntax == L"1.2.840.10008.1.2.2")
                    noteBigEndian = true;
            }
        }
        if (!insert || !Insert(e))
            delete e;
        pos = start + taken;
    }
    state->readOffset = static_cast<DWORD>(pos);
}
