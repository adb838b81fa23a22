#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "dicom/CDicomElementList.h"
#include "dicom/DicomDictionary.h"
#include "platform/base/memoryapi.h"

namespace {

using Bytes = std::vector<BYTE>;

Bytes ValueOf(const DicomElement* e)
{
    if (!e || !e->value)
        return {};
    return Bytes(e->value, e->value + e->valueLength);
}

Bytes EncodeList(CDicomElementList& list)
{
    DWORD length = 0;
    BYTE* bytes = list.Encode(&length);
    Bytes out;
    if (bytes) {
        out.assign(bytes, bytes + length);
        VirtualFree(bytes, 0, MEM_RELEASE);
    }
    return out;
}

Bytes EncodeOne(DWORD mode, const DicomElement* e)
{
    DicomCodingState state;
    state.vrMode = mode;
    DicomBuffer* buffer = CDicomElementList::EncodeElement(state, e);
    Bytes out;
    if (buffer) {
        out.assign(buffer->bytes, buffer->bytes + buffer->length);
        DicomBuffer::Free(buffer);
    }
    return out;
}

void ParseInto(CDicomElementList& list, const Bytes& bytes, DWORD mode = DICOM_VR_MODE_EXPLICIT)
{
    DicomCodingState& state = list.GetCodingState();
    state.vrMode = mode;
    state.inputLength = static_cast<DWORD>(bytes.size());
    // Copy to an exactly sized heap block so that the sanitizer sees any read past its end.
    std::unique_ptr<BYTE[]> exact(new BYTE[bytes.size() ? bytes.size() : 1]);
    if (!bytes.empty())
        std::memcpy(exact.get(), bytes.data(), bytes.size());
    list.Parse(exact.get(), &state);
}

void Put16(Bytes& b, unsigned v)
{
    b.push_back(static_cast<BYTE>(v));
    b.push_back(static_cast<BYTE>(v >> 8));
}

void Put32(Bytes& b, DWORD v)
{
    Put16(b, v & 0xFFFF);
    Put16(b, v >> 16);
}

void PutText(Bytes& b, const std::string& s)
{
    b.insert(b.end(), s.begin(), s.end());
}

// Explicit VR element with a 16-bit length.
void PutShort(Bytes& b, unsigned group, unsigned element, const char* vr, const std::string& value)
{
    Put16(b, group);
    Put16(b, element);
    PutText(b, vr);
    Put16(b, static_cast<unsigned>(value.size()));
    PutText(b, value);
}

void PutImplicit(Bytes& b, unsigned group, unsigned element, const std::string& value)
{
    Put16(b, group);
    Put16(b, element);
    Put32(b, static_cast<DWORD>(value.size()));
    PutText(b, value);
}

void PutTag(Bytes& b, unsigned group, unsigned element, DWORD length)
{
    Put16(b, group);
    Put16(b, element);
    Put32(b, length);
}

std::vector<DWORD> TagsOf(CDicomElementList& list)
{
    std::vector<DWORD> tags;
    for (DicomElement* e = list.First(); e; e = list.Next())
        tags.push_back(e->Tag());
    return tags;
}

}  // namespace

TEST(DicomElementValues, TextIsPaddedToEvenLengthWithABlankAndUidsWithZero)
{
    CDicomElementList list;
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0008, 0x0064), L"WSD", DICOM_VR_CS));
    const DicomElement* cs = list.FindElement(0x0008, 0x0064);
    EXPECT_EQ(cs->length, 4u);
    EXPECT_EQ(ValueOf(cs), (Bytes{'W', 'S', 'D', ' '}));
    EXPECT_EQ(cs->value[4], 0) << "a value is always followed by a zero byte";
    EXPECT_EQ(cs->GetValueText(), L"WSD");

    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0008, 0x0016), L"1.2.840.10008.5.1.4.1.1.7", DICOM_VR_UI));
    const DicomElement* ui = list.FindElement(0x0008, 0x0016);
    EXPECT_EQ(ui->length, 26u);
    EXPECT_EQ(ui->value[25], 0);
    EXPECT_EQ(ui->GetValueText(), L"1.2.840.10008.5.1.4.1.1.7");

    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0040), L"", DICOM_VR_CS));
    EXPECT_EQ(list.FindElement(0x0010, 0x0040)->length, 0u);
    EXPECT_EQ(list.FindElement(0x0010, 0x0040)->value, nullptr);
}

TEST(DicomElementValues, PersonNamesJoinWordsWithCarets)
{
    CDicomElementList list;
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"JOHN DOE SMIT", DICOM_VR_PN));
    const DicomElement* pn = list.FindElement(0x0010, 0x0010);
    EXPECT_EQ(pn->length, 14u);
    const std::string stored(reinterpret_cast<const char*>(pn->value), 14);
    EXPECT_EQ(stored, "JOHN^DOE^SMIT ");
    EXPECT_EQ(pn->GetValueText(), L"JOHN DOE SMIT");
}

// A value never carries a control character (a strict PACS refuses the object): each becomes a
// blank, except the line breaks, tabs and form feeds that the free texts allow.
TEST(DicomElementValues, ControlCharactersBecomeBlanks)
{
    CDicomElementList list;
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0020), L"12\n34\r\t\a\x01\x1B\x7F\x85", DICOM_VR_LO));
    const DicomElement* lo = list.FindElement(0x0010, 0x0020);
    EXPECT_EQ(ValueOf(lo), (Bytes{'1', '2', ' ', '3', '4', ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0020, 0x0010), L"\x02" L"A", DICOM_VR_SH));
    EXPECT_EQ(ValueOf(list.FindElement(0x0020, 0x0010)), (Bytes{' ', 'A'}));
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"KIM\nMIN\x07SU", DICOM_VR_PN));
    EXPECT_EQ(ValueOf(list.FindElement(0x0010, 0x0010)), (Bytes{'K', 'I', 'M', '^', 'M', 'I', 'N', '^', 'S', 'U'}));
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0020, 0x4000), L"a\r\nb\tc\x01", DICOM_VR_LT));
    EXPECT_EQ(ValueOf(list.FindElement(0x0020, 0x4000)), (Bytes{'a', '\r', '\n', 'b', '\t', 'c', ' ', ' '}));
}

// A name of many words keeps five components per group at most: the rest stays in the fifth.
TEST(DicomElementValues, PersonNamesHaveAtMostFiveComponentsPerGroup)
{
    CDicomElementList list;
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"A B C D E F G", DICOM_VR_PN));
    const DicomElement* pn = list.FindElement(0x0010, 0x0010);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pn->value), pn->length), "A^B^C^D^E F G ");
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"A^B C^D E^F=G H I J K L", DICOM_VR_PN));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pn->value), pn->length), "A^B^C^D^E F=G^H^I^J^K L ");
}

// What a name's blanks, line breaks and "=" may leave: no empty or blank component at a group's
// end, no empty group at the name's end, three groups at most (a further "=" is a blank in the
// third). A name of blanks is no name.
TEST(DicomElementValues, PersonNamesEndInAComponentThatHoldsSomething)
{
    CDicomElementList list;
    auto stored = [&](const wchar_t* name) {
        EXPECT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), name, DICOM_VR_PN));
        const DicomElement* pn = list.FindElement(0x0010, 0x0010);
        return pn->value ? std::string(reinterpret_cast<const char*>(pn->value), pn->length) : std::string();
    };
    EXPECT_EQ(stored(L"Kim\r\nLee"), "Kim^^Lee");
    EXPECT_EQ(stored(L"Kim\r\nLee\r\n"), "Kim^^Lee");
    EXPECT_EQ(stored(L"     "), "");
    EXPECT_EQ(stored(L"        "), "");
    EXPECT_EQ(stored(L"A B C D      "), "A^B^C^D ");
    EXPECT_EQ(stored(L"A B C D   E F  "), "A^B^C^D^E F ");
    EXPECT_EQ(stored(L"Kim= "), "Kim ");
    EXPECT_EQ(stored(L" = = "), "");
    EXPECT_EQ(stored(L"=Kim"), "=Kim");
    EXPECT_EQ(stored(L"A=B=C=D=E"), "A=B=C^D^E ");
    EXPECT_EQ(stored(L"A====E"), "A==^^E");
}

TEST(DicomElementValues, KoreanTextIsStoredInCodePage949)
{
    CDicomElementList list;
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"홍길동", DICOM_VR_PN));
    const DicomElement* name = list.FindElement(0x0010, 0x0010);
    EXPECT_EQ(name->length, 6u);
    EXPECT_EQ(ValueOf(name), (Bytes{0xC8, 0xAB, 0xB1, 0xE6, 0xB5, 0xBF}));
    EXPECT_EQ(name->GetValueText(), L"홍길동");
    // The same name kept decomposed (conjoining jamo) is the same value.
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"\x1112\x1169\x11BC\x1100\x1175\x11AF\x1103\x1169\x11BC", DICOM_VR_PN));
    EXPECT_EQ(ValueOf(name), (Bytes{0xC8, 0xAB, 0xB1, 0xE6, 0xB5, 0xBF}));
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0008, 0x1030), L"\x1103\x1162\x110C\x1161\x11BC", DICOM_VR_LO));
    EXPECT_EQ(list.FindElement(0x0008, 0x1030)->GetValueText(), L"대장");

    // A syllable outside EUC-KR still has its code-page form.
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"똠방각하", DICOM_VR_PN));
    EXPECT_EQ(ValueOf(name), (Bytes{0x8C, 0x63, 0xB9, 0xE6, 0xB0, 0xA2, 0xC7, 0xCF}));
    EXPECT_EQ(name->GetValueText(), L"똠방각하");

    // Hanja, compatibility Jamo and the middle dot lie below U+8000 but take two bytes each.
    EXPECT_EQ(DicomAnsiLength(L"金ㄱ·A"), 7);
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0010, 0x0010), L"金ㄱ·A", DICOM_VR_PN));
    EXPECT_EQ(name->length, 8u);
    EXPECT_EQ(name->GetValueText(), L"金ㄱ·A");
}

TEST(DicomElementValues, BinaryValuesFromText)
{
    CDicomElementList list;
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0028, 0x0010), L"480", DICOM_VR_US));
    const DicomElement* rows = list.FindElement(0x0028, 0x0010);
    EXPECT_EQ(ValueOf(rows), (Bytes{0xE0, 0x01}));
    EXPECT_EQ(rows->GetValueText(), L"480");
    EXPECT_EQ(rows->GetValueInt(), 480u);

    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0018, 0x9219), L"-2", DICOM_VR_SS));
    EXPECT_EQ(list.FindElement(0x0018, 0x9219)->GetValueText(), L"-2");
    EXPECT_EQ(list.FindElement(0x0018, 0x9219)->GetValueInt(), 0xFFFEu) << "2-byte values are zero-extended";

    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0000, 0x0000), L"132", DICOM_VR_UL));
    EXPECT_EQ(ValueOf(list.FindElement(0x0000, 0x0000)), (Bytes{132, 0, 0, 0}));
    // Numbers read as the 32-bit runtime reads them: out of range clamps, non-numbers give 0.
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0018, 0x9220), L"3000000000", DICOM_VR_SL));
    EXPECT_EQ(list.FindElement(0x0018, 0x9220)->GetValueText(), L"2147483647");
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0018, 0x9220), L"abc", DICOM_VR_SL));
    EXPECT_EQ(list.FindElement(0x0018, 0x9220)->GetValueInt(), 0u);

    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0018, 0x9221), L"1.5", DICOM_VR_FD));
    EXPECT_EQ(list.FindElement(0x0018, 0x9221)->length, 8u);
    EXPECT_EQ(list.FindElement(0x0018, 0x9221)->GetValueText(), L"1.500000");
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0018, 0x9222), L"0.25", DICOM_VR_FL));
    EXPECT_EQ(list.FindElement(0x0018, 0x9222)->GetValueText(), L"0.250000");

    // IS read as an integer; AT takes no text.
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0020, 0x0013), L" 42 ", DICOM_VR_IS));
    EXPECT_EQ(list.FindElement(0x0020, 0x0013)->GetValueInt(), 42u);
    ASSERT_TRUE(list.SetString(DICOM_TAG(0x0000, 0x0901), L"1234", DICOM_VR_AT));
    EXPECT_EQ(list.FindElement(0x0000, 0x0901)->value, nullptr);
}

TEST(DicomElementValues, ShortValuesReadWithoutOverrun)
{
    // A US value that came with a single byte must not be read as two.
    DicomElement* e = CDicomElementList::CreateElement(0x0028, 0x0010, "\x07", 1, 1, DICOM_VR_US);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->GetValueInt(), 7u);
    DicomElement* none = CDicomElementList::CreateElement(0x0028, 0x0011, nullptr, 0, 2, DICOM_VR_US);
    EXPECT_EQ(none->GetValueInt(), 0u);
    EXPECT_EQ(none->GetValueText(), L"");
    delete e;
    delete none;
}

TEST(DicomElementList, KeepsTagOrderAndRefusesDuplicates)
{
    CDicomElementList list;
    list.SetString(DICOM_TAG(0x0028, 0x0010), L"480", DICOM_VR_US);
    list.SetString(DICOM_TAG(0x0008, 0x0016), L"1.2", DICOM_VR_UI);
    list.SetString(DICOM_TAG(0x0010, 0x0010), L"A", DICOM_VR_PN);
    EXPECT_EQ(TagsOf(list), (std::vector<DWORD>{0x00080016, 0x00100010, 0x00280010}));

    // Setting again replaces the value; a second element with the tag is refused.
    list.SetString(DICOM_TAG(0x0028, 0x0010), L"640", DICOM_VR_US);
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetText(DICOM_TAG(0x0028, 0x0010)), L"640");
    DicomElement* dup = CDicomElementList::CreateElement(0x0010, 0x0010, "B ", 0, 2, DICOM_VR_PN);
    EXPECT_FALSE(list.Insert(dup));
    EXPECT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.GetText(DICOM_TAG(0x0010, 0x0010)), L"A");
    delete dup;  // still the caller's

    // Group 8000 sorts above group 0028 (unsigned comparison).
    list.SetString(DICOM_TAG(0x8000, 0x0001), L"X", DICOM_VR_LO);
    EXPECT_EQ(TagsOf(list).back(), 0x80000001u);

    EXPECT_TRUE(list.RemoveCommandGroup());
    list.SetString(DICOM_TAG(0x0000, 0x0100), L"1", DICOM_VR_US);
    list.RemoveCommandGroup();
    EXPECT_EQ(list.FindElement(0x0000, 0x0100), nullptr);
    EXPECT_EQ(list.GetText(DICOM_TAG(0x0009, 0x0001)), L"");
}

TEST(DicomElementList, ItemsKeepInsertionOrderAndGoBeforeTheDelimiter)
{
    CDicomElementList list;
    auto item = [](WORD element, BYTE marker) {
        return CDicomElementList::CreateElement(0xFFFE, element, &marker, 0, 1, DICOM_VR_ITEM);
    };
    ASSERT_TRUE(list.Insert(item(0xE000, 1)));
    ASSERT_TRUE(list.Insert(item(0xE00D, 2)));
    ASSERT_TRUE(list.Insert(item(0xE000, 3)));
    ASSERT_TRUE(list.Insert(item(0xE0DD, 4)));
    ASSERT_TRUE(list.Insert(item(0xE000, 5)));
    std::vector<BYTE> order;
    for (DicomElement* e = list.First(); e; e = list.Next())
        order.push_back(e->value[0]);
    EXPECT_EQ(order, (std::vector<BYTE>{1, 2, 3, 5, 4}));
}

TEST(DicomEncoding, HeaderForms)
{
    DicomElement* uid = CDicomElementList::CreateElement(0x0008, 0x0016, nullptr, 0, 0, DICOM_VR_UI);
    uid->SetValueText(L"1.2.3.4");
    const Bytes expectedValue = {'1', '.', '2', '.', '3', '.', '4', 0};
    Bytes explicitForm = {0x08, 0x00, 0x16, 0x00, 'U', 'I', 0x08, 0x00};
    explicitForm.insert(explicitForm.end(), expectedValue.begin(), expectedValue.end());
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_EXPLICIT, uid), explicitForm);
    Bytes implicitForm = {0x08, 0x00, 0x16, 0x00, 0x08, 0x00, 0x00, 0x00};
    implicitForm.insert(implicitForm.end(), expectedValue.begin(), expectedValue.end());
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_IMPLICIT, uid), implicitForm);

    // Command elements are always implicit.
    DicomElement* command = CDicomElementList::CreateElement(0x0000, 0x0100, nullptr, 0, 0, DICOM_VR_US);
    command->SetValueText(L"1");
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_EXPLICIT, command), (Bytes{0, 0, 0, 1, 2, 0, 0, 0, 1, 0}));

    // Long form; an element with a length but no value states the bytes that follow: none.
    DicomElement* ob = CDicomElementList::CreateElement(0x0002, 0x0001, "\x00\x01", 0, 2, DICOM_VR_OB);
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_EXPLICIT, ob), (Bytes{2, 0, 1, 0, 'O', 'B', 0, 0, 2, 0, 0, 0, 0, 1}));
    DicomElement* hollow = CDicomElementList::CreateElement(0x0010, 0x0020, nullptr, 0, 10, DICOM_VR_LO);
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_EXPLICIT, hollow), (Bytes{0x10, 0, 0x20, 0, 'L', 'O', 0, 0}));

    // A VR without a name goes out as UN, which every reader takes.
    DicomElement* unnamed = CDicomElementList::CreateElement(0x0009, 0x0010, "ab", 0, 2, DICOM_VR_UNKNOWN);
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_EXPLICIT, unnamed), (Bytes{9, 0, 0x10, 0, 'U', 'N', 0, 0, 2, 0, 0, 0, 'a', 'b'}));
    delete unnamed;

    // A value too long for a 16-bit length field is refused in explicit VR, not cut.
    DicomElement* longText = CDicomElementList::CreateElement(0x0010, 0x4000, nullptr, 0, 0, DICOM_VR_LT);
    longText->SetValueText(std::wstring(70000, L'x').c_str());
    EXPECT_TRUE(EncodeOne(DICOM_VR_MODE_EXPLICIT, longText).empty());
    EXPECT_EQ(EncodeOne(DICOM_VR_MODE_IMPLICIT, longText).size(), 8u + 70000u);
    CDicomElementList list;
    list.Insert(longText);
    DWORD length = 123;
    EXPECT_EQ(list.Encode(&length), nullptr);
    EXPECT_EQ(length, 0u);

    delete uid;
    delete command;
    delete ob;
    delete hollow;
}

TEST(DicomEncoding, Part10PrefixAndContainers)
{
    CDicomElementList list;
    DWORD length = 7;
    EXPECT_EQ(list.Encode(&length), nullptr) << "nothing to encode gives no block";
    EXPECT_EQ(length, 0u);

    list.SetString(DICOM_TAG(0x0008, 0x0060), L"SC", DICOM_VR_CS);
    list.GetCodingState().preamble = 1;
    list.GetCodingState().dicmPrefix = 1;
    Bytes out = EncodeList(list);
    ASSERT_EQ(out.size(), 128u + 4 + 10);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 128), Bytes(128, 0));
    EXPECT_EQ(std::string(out.begin() + 128, out.begin() + 132), "DICM");
    list.GetCodingState().preamble = 0;
    list.GetCodingState().dicmPrefix = 0;
    EXPECT_EQ(EncodeList(list).front(), 0x08);

    // An OB with children and length 0: undefined length, children in the 8-byte form.
    CDicomElementList doc;
    doc.SetBytes(DICOM_TAG(0x7FE0, 0x0010), nullptr, DICOM_UNDEFINED_LENGTH, DICOM_VR_OB);
    DicomElement* pixels = doc.FindElement(0x7FE0, 0x0010);
    pixels->children = new CDicomElementList();
    pixels->children->Insert(CDicomElementList::CreateElement(0xFFFE, 0xE000, nullptr, 0, 0, DICOM_VR_ITEM));
    pixels->children->Insert(CDicomElementList::CreateElement(0xFFFE, 0xE000, "abc", 0, 3, DICOM_VR_ITEM));
    pixels->children->Insert(CDicomElementList::CreateElement(0xFFFE, 0xE0DD, nullptr, 0, 0, DICOM_VR_ITEM));
    Bytes expected = {0xE0, 0x7F, 0x10, 0x00, 'O', 'B', 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    PutTag(expected, 0xFFFE, 0xE000, 0);
    PutTag(expected, 0xFFFE, 0xE000, 4);
    PutText(expected, std::string("abc\0", 4));
    PutTag(expected, 0xFFFE, 0xE0DD, 0);
    EXPECT_EQ(EncodeList(doc), expected);
}

TEST(DicomParsing, EntryPoints)
{
    Bytes body;
    PutShort(body, 0x0008, 0x0060, "CS", "SC");

    Bytes part10(128, 0);
    PutText(part10, "DICM");
    part10.insert(part10.end(), body.begin(), body.end());
    CDicomElementList a;
    ParseInto(a, part10);
    EXPECT_EQ(a.GetCodingState().preamble, 1u);
    EXPECT_EQ(a.GetCodingState().dicmPrefix, 1u);
    EXPECT_EQ(a.GetText(DICOM_TAG(0x0008, 0x0060)), L"SC");
    EXPECT_EQ(a.GetCodingState().readOffset, part10.size());

    Bytes dicm;
    PutText(dicm, "DICM");
    dicm.insert(dicm.end(), body.begin(), body.end());
    CDicomElementList b;
    ParseInto(b, dicm);
    EXPECT_EQ(b.GetCodingState().preamble, 0u);
    EXPECT_EQ(b.GetCodingState().dicmPrefix, 1u);
    EXPECT_EQ(b.GetText(DICOM_TAG(0x0008, 0x0060)), L"SC");

    CDicomElementList c;
    ParseInto(c, body);
    EXPECT_EQ(c.GetCodingState().dicmPrefix, 0u);
    EXPECT_EQ(c.GetCount(), 1);
}

TEST(DicomParsing, ImplicitTransferSyntaxTakesEffectAtTheFirstIdentifyingElement)
{
    Bytes in;
    PutShort(in, 0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2\0", 18));
    PutImplicit(in, 0x0008, 0x0060, "SC");
    PutImplicit(in, 0x0028, 0x0010, "\xE0\x01");
    PutImplicit(in, 0x0009, 0x1001, "ab");  // not in the dictionary
    CDicomElementList list;
    ParseInto(list, in);
    EXPECT_EQ(list.GetCodingState().fileMeta, 1u);
    EXPECT_EQ(list.GetCodingState().vrMode, static_cast<DWORD>(DICOM_VR_MODE_IMPLICIT));
    EXPECT_EQ(list.FindElement(0x0008, 0x0060)->vr, static_cast<DWORD>(DICOM_VR_CS));
    EXPECT_EQ(list.GetText(DICOM_TAG(0x0028, 0x0010)), L"480");
    EXPECT_EQ(list.FindElement(0x0009, 0x1001)->vr, 0u);
    EXPECT_EQ(ValueOf(list.FindElement(0x0009, 0x1001)), (Bytes{'a', 'b'}));

    // DetectEncoding reaches the same conclusion without keeping anything.
    CDicomElementList probe;
    DicomCodingState state;
    state.inputLength = static_cast<DWORD>(in.size());
    probe.DetectEncoding(in.data(), &state);
    EXPECT_EQ(state.vrMode, static_cast<DWORD>(DICOM_VR_MODE_IMPLICIT));
    EXPECT_EQ(state.fileMeta, 1u);
    EXPECT_EQ(probe.GetCount(), 0);
}

TEST(DicomParsing, CommandSetInImplicitVR)
{
    Bytes in;
    PutImplicit(in, 0x0000, 0x0000, std::string("\x4A\x00\x00\x00", 4));
    PutImplicit(in, 0x0000, 0x0100, std::string("\x01\x80", 2));
    PutImplicit(in, 0x0000, 0x0120, std::string("\x05\x00", 2));
    PutImplicit(in, 0x0000, 0x0900, std::string("\x00\x00", 2));
    CDicomElementList response;
    ParseInto(response, in);  // a response is far shorter than a preamble
    EXPECT_EQ(response.GetCodingState().preamble, 0u);
    ASSERT_NE(response.FindElement(0x0000, 0x0100), nullptr);
    EXPECT_EQ(response.FindElement(0x0000, 0x0100)->GetValueInt(), 0x8001u);
    EXPECT_EQ(response.FindElement(0x0000, 0x0120)->GetValueInt(), 5u);
    EXPECT_EQ(response.GetCount(), 4);
}

TEST(DicomParsing, TruncatedInputStopsWithoutReadingPastTheEnd)
{
    // An element that declares more bytes than remain keeps what there is and ends the parse.
    Bytes in;
    PutShort(in, 0x0008, 0x0060, "CS", "SC");
    Put16(in, 0x0010);
    Put16(in, 0x0010);
    PutText(in, "PN");
    Put16(in, 40);
    PutText(in, "DOE");
    CDicomElementList list;
    ParseInto(list, in);
    const DicomElement* name = list.FindElement(0x0010, 0x0010);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->length, 40u);
    EXPECT_EQ(name->valueLength, 4u) << "the value is sized by the bytes present";
    EXPECT_EQ(list.GetCodingState().readOffset, in.size());

    // Every prefix of a data set parses within its bounds (the sanitizer checks the reads).
    Bytes full(128, 0);
    PutText(full, "DICM");
    PutShort(full, 0x0002, 0x0010, "UI", std::string("1.2.840.10008.1.2\0", 18));
    PutImplicit(full, 0x0008, 0x0060, "SC");
    PutTag(full, 0x0040, 0xA730, DICOM_UNDEFINED_LENGTH);  // sequence of undefined length
    PutTag(full, 0xFFFE, 0xE000, DICOM_UNDEFINED_LENGTH);
    PutImplicit(full, 0x0040, 0xA160, "text");
    PutTag(full, 0xFFFE, 0xE00D, 0);
    PutTag(full, 0xFFFE, 0xE0DD, 0);
    PutImplicit(full, 0x7FE0, 0x0010, "pixels");
    for (size_t n = 0; n <= full.size(); ++n) {
        CDicomElementList prefix;
        ParseInto(prefix, Bytes(full.begin(), full.begin() + static_cast<long>(n)));
        EXPECT_LE(prefix.GetCodingState().readOffset, n);
    }

    // A length field near 4 GiB with 12 bytes of input asks for no large block.
    Bytes huge;
    Put16(huge, 0x0009);
    Put16(huge, 0x0010);
    PutText(huge, "OB");
    Put16(huge, 0);
    Put32(huge, 0xFFFFFFF0u);
    CDicomElementList big;
    ParseInto(big, huge);
    ASSERT_NE(big.FindElement(0x0009, 0x0010), nullptr);
    EXPECT_EQ(big.FindElement(0x0009, 0x0010)->value, nullptr);
}

TEST(DicomParsing, EncapsulatedPixelDataAndWhatFollows)
{
    Bytes in;
    PutShort(in, 0x0008, 0x0060, "CS", "SC");
    Put16(in, 0x7FE0);
    Put16(in, 0x0010);
    PutText(in, "OB");
    Put16(in, 0);
    Put32(in, DICOM_UNDEFINED_LENGTH);
    PutTag(in, 0xFFFE, 0xE000, 0);
    PutTag(in, 0xFFFE, 0xE000, 4);
    PutText(in, "\xFF\xD8\xFF\xD9");
    PutTag(in, 0xFFFE, 0xE000, 2);
    PutText(in, "zz");
    PutTag(in, 0xFFFE, 0xE0DD, 0);
    PutShort(in, 0xFFFC, 0xFFFC, "SH", "pd");  // an element after the pixel data
    CDicomElementList list;
    ParseInto(list, in);
    const DicomElement* pixels = list.FindElement(0x7FE0, 0x0010);
    ASSERT_NE(pixels, nullptr);
    ASSERT_NE(pixels->children, nullptr);
    std::vector<DWORD> lengths;
    for (DicomElement* e = pixels->children->First(); e; e = pixels->children->Next())
        lengths.push_back(e->Tag() == 0xFFFEE0DDu ? 0xDDu : e->length);
    EXPECT_EQ(lengths, (std::vector<DWORD>{0, 4, 2, 0xDD}));
    EXPECT_NE(list.FindElement(0xFFFC, 0xFFFC), nullptr);
    // Re-encoded, the stream is the same bytes.
    EXPECT_EQ(EncodeList(list), in);
}

TEST(DicomParsing, SequencesRoundTripInReadOrder)
{
    // Two undefined-length items: each keeps its own delimiter when written back.
    Bytes in;
    PutShort(in, 0x0008, 0x0060, "CS", "SC");
    Put16(in, 0x0040);
    Put16(in, 0xA730);
    PutText(in, "SQ");
    Put16(in, 0);
    Put32(in, DICOM_UNDEFINED_LENGTH);
    for (const char* text : {"first ", "second"}) {
        PutTag(in, 0xFFFE, 0xE000, DICOM_UNDEFINED_LENGTH);
        PutShort(in, 0x0040, 0xA160, "UT", "");
        in.resize(in.size() - 2);  // UT takes the long header
        PutText(in, std::string("\0\0", 2));
        Put32(in, 6);
        PutText(in, text);
        PutTag(in, 0xFFFE, 0xE00D, 0);
    }
    PutTag(in, 0xFFFE, 0xE000, 10);  // a defined-length item
    PutShort(in, 0x0008, 0x0100, "SH", "ab");
    PutTag(in, 0xFFFE, 0xE0DD, 0);
    PutShort(in, 0x0040, 0xA731, "LO", "after ");
    CDicomElementList list;
    ParseInto(list, in);
    const DicomElement* sequence = list.FindElement(0x0040, 0xA730);
    ASSERT_NE(sequence, nullptr);
    ASSERT_NE(sequence->children, nullptr);
    EXPECT_EQ(TagsOf(*sequence->children),
              (std::vector<DWORD>{0xFFFEE000, 0xFFFEE00D, 0xFFFEE000, 0xFFFEE00D, 0xFFFEE000, 0xFFFEE0DD}));
    EXPECT_EQ(list.GetText(DICOM_TAG(0x0040, 0xA731)), L"after");
    EXPECT_EQ(EncodeList(list), in);

    // Input that breaks off inside an item is written back closed: the item's and the
    // sequence's delimiters follow, so the stream reads back the same.
    const size_t cut = 10 + 12 + 8 + 18;  // an element, the sequence header, the item and its text
    CDicomElementList truncated;
    ParseInto(truncated, Bytes(in.begin(), in.begin() + cut));
    Bytes closed(in.begin(), in.begin() + cut);
    PutTag(closed, 0xFFFE, 0xE00D, 0);
    PutTag(closed, 0xFFFE, 0xE0DD, 0);
    EXPECT_EQ(EncodeList(truncated), closed);
}

TEST(DicomParsing, StrayItemGroupContainerReadsBackAsWritten)
{
    // Implicit VR: an undefined-length (FFFE,0000), not an item, holding an item that breaks
    // off. It is written with its children and a sequence delimiter, and must read back so.
    const Bytes in{0x08, 0x62, 0x60, 0x00, 0x06, 0x00, 0x00, 0x00, 'f', 'i', 'r', 's', 't', 0x00,
                   0xFE, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0xE0, 0xFF, 0x4F};
    Bytes encoded;
    for (int pass = 0; pass < 2; ++pass) {
        const Bytes& source = pass == 0 ? in : encoded;
        CDicomElementList list;
        list.GetCodingState().vrMode = DICOM_VR_MODE_IMPLICIT;
        list.GetCodingState().inputLength = static_cast<DWORD>(source.size());
        list.Parse(source.data(), &list.GetCodingState());
        const DicomElement* stray = list.FindElement(0xFFFE, 0x0000);
        ASSERT_NE(stray, nullptr);
        EXPECT_NE(stray->children, nullptr) << "pass " << pass;
        Bytes out = EncodeList(list);
        if (pass == 1) {
            EXPECT_EQ(out, encoded);
        }
        encoded = out;
    }
}

TEST(DicomParsing, HostileInput)
{
    // Deep nesting stops at a bounded depth.
    Bytes deep;
    for (int i = 0; i < 5000; ++i) {
        PutTag(deep, 0x0040, 0xA730, DICOM_UNDEFINED_LENGTH);
        PutTag(deep, 0xFFFE, 0xE000, DICOM_UNDEFINED_LENGTH);
    }
    CDicomElementList nested;
    ParseInto(nested, deep, DICOM_VR_MODE_IMPLICIT);
    EXPECT_EQ(nested.GetCount(), 1);

    // A repeated tag keeps the first value; the second element is freed (the leak checker
    // would report it otherwise).
    Bytes twice;
    PutShort(twice, 0x0010, 0x0010, "PN", "A ");
    PutShort(twice, 0x0010, 0x0010, "PN", "B ");
    CDicomElementList dup;
    ParseInto(dup, twice);
    EXPECT_EQ(dup.GetCount(), 1);
    EXPECT_EQ(dup.GetText(DICOM_TAG(0x0010, 0x0010)), L"A");

    // Unknown VR letters read with a 16-bit length; zeros end the parse.
    Bytes odd;
    PutShort(odd, 0x0009, 0x0010, "Q?", "xy");
    odd.insert(odd.end(), 8, 0);
    PutShort(odd, 0x0010, 0x0010, "PN", "A ");
    CDicomElementList unknown;
    ParseInto(unknown, odd);
    EXPECT_EQ(unknown.GetCount(), 1);
    EXPECT_EQ(unknown.FindElement(0x0009, 0x0010)->vr, 0u);

    // Newer VRs take the long header.
    Bytes modern;
    Put16(modern, 0x0008);
    Put16(modern, 0x0119);
    PutText(modern, "UC");
    Put16(modern, 0);
    Put32(modern, 4);
    PutText(modern, "abcd");
    PutShort(modern, 0x0010, 0x0010, "PN", "A ");
    CDicomElementList newer;
    ParseInto(newer, modern);
    EXPECT_EQ(newer.GetText(DICOM_TAG(0x0008, 0x0119)), L"abcd");
    EXPECT_EQ(newer.GetText(DICOM_TAG(0x0010, 0x0010)), L"A");
    EXPECT_EQ(EncodeList(newer), modern);

    // A value too short to hold an item header is a value, even when its bytes and those after
    // it read like an item tag.
    for (DWORD mode : {DWORD(DICOM_VR_MODE_EXPLICIT), DWORD(DICOM_VR_MODE_IMPLICIT)}) {
        Bytes shortValue;
        if (mode == DICOM_VR_MODE_EXPLICIT) {
            PutShort(shortValue, 0x0008, 0x0060, "CS", "\xFE\xFF");
        } else {
            PutTag(shortValue, 0x0008, 0x0060, 2);
            PutText(shortValue, "\xFE\xFF");
        }
        Put16(shortValue, 0xE000);
        PutShort(shortValue, 0x0010, 0x0010, "PN", "A ");
        CDicomElementList value;
        ParseInto(value, shortValue, mode);
        const DicomElement* modality = value.FindElement(0x0008, 0x0060);
        ASSERT_NE(modality, nullptr);
        EXPECT_EQ(modality->children, nullptr);
        EXPECT_EQ(modality->valueLength, 2u);
    }
}

TEST(DicomBuffer, AppendsAndDetaches)
{
    DicomBuffer* buffer = DicomBuffer::Create();
    ASSERT_NE(buffer, nullptr);
    std::string expected;
    for (int i = 0; i < 1000; ++i) {
        const std::string piece = std::to_string(i);
        ASSERT_TRUE(buffer->Append(piece.data(), static_cast<DWORD>(piece.size())));
        expected += piece;
    }
    EXPECT_TRUE(buffer->Append(nullptr, 0));
    EXPECT_FALSE(buffer->Append(nullptr, 3));
    ASSERT_EQ(buffer->length, expected.size());
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer->bytes), buffer->length), expected);
    DWORD length = 0;
    BYTE* bytes = buffer->Detach(&length);
    EXPECT_EQ(length, expected.size());
    EXPECT_EQ(buffer->length, 0u);
    VirtualFree(bytes, 0, MEM_RELEASE);
    DicomBuffer::Free(buffer);
}
