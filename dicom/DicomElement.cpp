#include "dicom/DicomElement.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <string>
#include <utility>
#include <vector>

#include "dicom/CDicomElementList.h"
#include "dicom/DicomDictionary.h"
#include "platform/base/codepage.h"
#include "platform/base/memoryapi.h"
#include "platform/base/wformat.h"

namespace {

enum class ValueKind { Text, Uid, Person, Float, Double, Signed32, Unsigned32, Signed16, Unsigned16, Raw, None };

ValueKind KindOf(DWORD vr)
{
    switch (vr) {
    case DICOM_VR_AE:
    case DICOM_VR_AS:
    case DICOM_VR_CS:
    case DICOM_VR_DA:
    case DICOM_VR_DS:
    case DICOM_VR_DT:
    case DICOM_VR_IS:
    case DICOM_VR_LO:
    case DICOM_VR_LT:
    case DICOM_VR_SH:
    case DICOM_VR_ST:
    case DICOM_VR_TM:
    case DICOM_VR_UT:
    case DICOM_VR_UC:
    case DICOM_VR_UR:
        return ValueKind::Text;
    case DICOM_VR_UI:
        return ValueKind::Uid;
    case DICOM_VR_PN:
        return ValueKind::Person;
    case DICOM_VR_FL:
        return ValueKind::Float;
    case DICOM_VR_FD:
        return ValueKind::Double;
    case DICOM_VR_SL:
        return ValueKind::Signed32;
    case DICOM_VR_UL:
        return ValueKind::Unsigned32;
    case DICOM_VR_SS:
        return ValueKind::Signed16;
    case DICOM_VR_US:
        return ValueKind::Unsigned16;
    case DICOM_VR_OB:
    case DICOM_VR_OF:
    case DICOM_VR_OW:
    case DICOM_VR_SQ:
    case DICOM_VR_UN:
    case DICOM_VR_OD:
    case DICOM_VR_OL:
    case DICOM_VR_OV:
    case DICOM_VR_SV:
    case DICOM_VR_UV:
        return ValueKind::Raw;
    default:
        return ValueKind::None;
    }
}

bool IsTextKind(ValueKind kind)
{
    return kind == ValueKind::Text || kind == ValueKind::Uid || kind == ValueKind::Person;
}

// A character string as it may stand in a value of `vr`. No value carries a control character:
// each becomes a blank. Only the free texts (LT, ST, UT) keep their line breaks, tabs and form
// feeds. Escape goes too: no value here names a character set that switches by escapes.
std::wstring PrintableText(std::wstring text, DWORD vr)
{
    const bool freeText = vr == DICOM_VR_LT || vr == DICOM_VR_ST || vr == DICOM_VR_UT;
    for (wchar_t& ch : text) {
        if (!quiva::IsControlCharacter(ch))
            continue;
        if (!(freeText && (ch == L'\t' || ch == L'\n' || ch == L'\f' || ch == L'\r')))
            ch = L' ';
    }
    return text;
}

// One component group of a person's name: blanks separate its components as "^" does, and it
// has at most five, so from the fifth on its blanks and carets stay in the last one as blanks.
// The last component's blanks at its ends and empty components at the group's end are dropped.
std::wstring PersonNameGroup(std::wstring_view group)
{
    std::vector<std::wstring> components(1);
    for (const wchar_t ch : group) {
        if ((ch == L' ' || ch == L'^') && components.size() < 5)
            components.emplace_back();
        else
            components.back() += ch == L'^' ? L' ' : ch;
    }
    std::wstring& last = components.back();
    last.erase(last.find_last_not_of(L' ') + 1);
    last.erase(0, last.find_first_not_of(L' '));
    while (!components.empty() && components.back().empty())
        components.pop_back();
    std::wstring out;
    for (size_t i = 0; i < components.size(); ++i)
        out += (i ? L"^" : L"") + components[i];
    return out;
}

// A person's name as its value: at most three component groups ("=" between them; a further
// "=" stays in the third as a blank), empty groups at the end dropped. A name of blanks is empty.
std::wstring PersonNameText(std::wstring_view text)
{
    std::vector<std::wstring> groups(1);
    for (const wchar_t ch : text) {
        if (ch == L'=' && groups.size() < 3)
            groups.emplace_back();
        else
            groups.back() += ch == L'=' ? L' ' : ch;
    }
    std::wstring out;
    size_t kept = 0;
    for (size_t i = 0; i < groups.size(); ++i) {
        const std::wstring group = PersonNameGroup(groups[i]);
        out += (i ? L"=" : L"") + group;
        if (!group.empty())
            kept = out.size();
    }
    out.resize(kept);
    return out;
}

std::wstring Trimmed(std::wstring text)
{
    const wchar_t* blanks = L" \t\r\n\f\v";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::wstring::npos)
        return std::wstring();
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

int DicomAnsiLength(LPCWSTR text)
{
    if (!text)
        return 0;
    return static_cast<int>(quiva::WideToMultiByte(text, CP_ACP).size());
}

DicomElement::~DicomElement()
{
    ReleaseValue();
    delete children;
}

void DicomElement::ReleaseValue()
{
    if (value)
        VirtualFree(value, 0, MEM_RELEASE);
    value = nullptr;
    valueLength = 0;
}

bool DicomElement::SetValueBytes(const void* data, DWORD count)
{
    if (!data || count == 0 || count == DICOM_UNDEFINED_LENGTH) {
        ReleaseValue();
        length = 0;
        return true;
    }
    const DWORD even = count + (count & 1);
    BYTE* block = static_cast<BYTE*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(even) + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!block)
        return false;
    std::memcpy(block, data, count);
    ReleaseValue();
    value = block;
    valueLength = even;
    length = even;
    return true;
}

bool DicomElement::SetValueText(LPCWSTR text)
{
    const std::wstring source = text ? text : L"";
    const ValueKind kind = KindOf(vr);
    switch (kind) {
    case ValueKind::Text:
    case ValueKind::Uid:
    case ValueKind::Person:
    case ValueKind::Raw: {
        std::wstring wide = source;
        // Hangul kept decomposed would reach the code page as one "?" a jamo.
        if (kind == ValueKind::Text || kind == ValueKind::Person)
            wide = PrintableText(quiva::ComposeHangul(wide), vr);
        if (kind == ValueKind::Person)
            wide = PersonNameText(wide);
        std::string bytes = quiva::WideToMultiByte(wide, CP_ACP);
        // Character strings are padded with a blank; UIDs and binary values with 0x00.
        if ((bytes.size() & 1) && (kind == ValueKind::Text || kind == ValueKind::Person))
            bytes.push_back(' ');
        if (bytes.size() >= DICOM_UNDEFINED_LENGTH)
            return false;
        return SetValueBytes(bytes.data(), static_cast<DWORD>(bytes.size()));
    }
    case ValueKind::Float: {
        const float number = static_cast<float>(std::wcstod(source.c_str(), nullptr));
        return SetValueBytes(&number, sizeof number);
    }
    case ValueKind::Double: {
        const double number = std::wcstod(source.c_str(), nullptr);
        return SetValueBytes(&number, sizeof number);
    }
    case ValueKind::Signed32:
    case ValueKind::Unsigned32: {
        const int32_t number = _wtoi(source.c_str());
        BYTE bytes[4];
        for (int i = 0; i < 4; ++i)
            bytes[i] = static_cast<BYTE>(static_cast<uint32_t>(number) >> (8 * i));
        return SetValueBytes(bytes, 4);
    }
    case ValueKind::Signed16:
    case ValueKind::Unsigned16: {
        const uint32_t number = static_cast<uint32_t>(_wtoi(source.c_str()));
        const BYTE bytes[2] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8)};
        return SetValueBytes(bytes, 2);
    }
    case ValueKind::None:
        break;
    }
    return true;
}

namespace {

// Up to n value bytes as a little-endian number; missing bytes count as zero.
uint64_t ReadLittleEndian(const DicomElement& e, DWORD n)
{
    uint64_t number = 0;
    const DWORD have = e.value ? (e.valueLength < n ? e.valueLength : n) : 0;
    for (DWORD i = 0; i < have; ++i)
        number |= static_cast<uint64_t>(e.value[i]) << (8 * i);
    return number;
}

std::wstring ValueAsText(const DicomElement& e)
{
    if (!e.value || e.valueLength == 0)
        return std::wstring();
    const char* bytes = reinterpret_cast<const char*>(e.value);
    const size_t count = strnlen(bytes, e.valueLength);
    return Trimmed(quiva::MultiByteToWide(std::string_view(bytes, count), CP_ACP));
}

}  // namespace

CString DicomElement::GetValueText() const
{
    const ValueKind kind = KindOf(vr);
    if (IsTextKind(kind)) {
        std::wstring text = ValueAsText(*this);
        if (kind == ValueKind::Person) {
            for (wchar_t& ch : text) {
                if (ch == L'^')
                    ch = L' ';
            }
        }
        return CString(text);
    }
    if (!value || valueLength == 0)
        return CString();
    switch (kind) {
    case ValueKind::Float: {
        float number = 0;
        const uint32_t bits = static_cast<uint32_t>(ReadLittleEndian(*this, 4));
        std::memcpy(&number, &bits, sizeof number);
        return CString(quiva::FormatWide(L"%f", static_cast<double>(number)));
    }
    case ValueKind::Double: {
        double number = 0;
        const uint64_t bits = ReadLittleEndian(*this, 8);
        std::memcpy(&number, &bits, sizeof number);
        return CString(quiva::FormatWide(L"%f", number));
    }
    case ValueKind::Signed32:
        return CString(quiva::FormatWide(L"%d", static_cast<int32_t>(ReadLittleEndian(*this, 4))));
    case ValueKind::Unsigned32:
        return CString(quiva::FormatWide(L"%u", static_cast<uint32_t>(ReadLittleEndian(*this, 4))));
    case ValueKind::Signed16:
        return CString(quiva::FormatWide(L"%d", static_cast<int>(static_cast<int16_t>(ReadLittleEndian(*this, 2)))));
    case ValueKind::Unsigned16:
        return CString(quiva::FormatWide(L"%u", static_cast<unsigned>(ReadLittleEndian(*this, 2))));
    default:
        return CString();
    }
}

DWORD DicomElement::GetValueInt() const
{
    const ValueKind kind = KindOf(vr);
    if (IsTextKind(kind))
        return static_cast<DWORD>(_wtoi(ValueAsText(*this).c_str()));
    switch (kind) {
    case ValueKind::Signed32:
    case ValueKind::Unsigned32:
    case ValueKind::Float:
    case ValueKind::Double:
        return static_cast<DWORD>(ReadLittleEndian(*this, 4));
    case ValueKind::Signed16:
    case ValueKind::Unsigned16:
        return static_cast<DWORD>(ReadLittleEndian(*this, 2));
    default:
        return 0;
    }
}
