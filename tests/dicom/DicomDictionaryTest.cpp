#include <gtest/gtest.h>

#include <set>
#include <string>

#include "dicom/DicomDictionary.h"

TEST(DicomDictionary, LooksUpTheTagsTheSystemReads)
{
    EXPECT_EQ(DicomDictionaryLookup(0x0028, 0x0010), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0002, 0x0010), DICOM_VR_UI);
    EXPECT_EQ(DicomDictionaryLookup(0x7FE0, 0x0010), DICOM_VR_PIXEL);
    EXPECT_EQ(DicomDictionaryLookup(0x0008, 0x0016), DICOM_VR_UI);
    EXPECT_EQ(DicomDictionaryLookup(0x0010, 0x0010), DICOM_VR_PN);
    EXPECT_EQ(DicomDictionaryLookup(0x0028, 0x0004), DICOM_VR_CS);
    EXPECT_EQ(DicomDictionaryLookup(0x0028, 0x0106), DICOM_VR_EITHER);
    EXPECT_EQ(DicomDictionaryLookup(0x0028, 0x1201), DICOM_VR_OW);
    EXPECT_EQ(DicomDictionaryLookup(0x300A, 0x0002), DICOM_VR_SH);
    EXPECT_EQ(DicomDictionaryLookup(0x6002, 0x3000), DICOM_VR_EITHER);
}

TEST(DicomDictionary, CommandGroupIsComplete)
{
    // The C-STORE response is read in implicit VR, so every command field needs its VR.
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0000), DICOM_VR_UL);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0002), DICOM_VR_UI);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0100), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0110), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0120), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0700), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0800), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0900), DICOM_VR_US);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0901), DICOM_VR_AT);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x0902), DICOM_VR_LO);
    EXPECT_EQ(DicomDictionaryLookup(0x0000, 0x1000), DICOM_VR_UI);
}

TEST(DicomDictionary, AbsentTagsGiveZero)
{
    EXPECT_EQ(DicomDictionaryLookup(0xFFFE, 0xE000), 0u);  // delimiter table is not indexed
    EXPECT_EQ(DicomDictionaryLookup(0x0009, 0x0010), 0u);
    EXPECT_EQ(DicomDictionaryLookup(0x0029, 0x1010), 0u);
    EXPECT_EQ(DicomDictionaryLookup(0x0028, 0x0001), 0u);  // indexed group, tag not in its table
}

TEST(DicomDictionary, VRNames)
{
    EXPECT_EQ(DicomVRFromName("OB"), DICOM_VR_OB);
    EXPECT_EQ(DicomVRFromName("ob"), DICOM_VR_OB);
    EXPECT_EQ(DicomVRFromName(L"Ut"), DICOM_VR_UT);
    EXPECT_EQ(DicomVRFromName("QQ"), 0u);
    EXPECT_EQ(DicomVRFromName(""), 0u);
    EXPECT_EQ(DicomVRFromName("\x01\x02"), 0u);
    EXPECT_EQ(DicomVRFromName("UC"), DICOM_VR_UC);
    for (DWORD code : {0u, 15u, 29u, 30u, 31u, 99u})
        EXPECT_STREQ(DicomVRName(code), L"") << code;
    EXPECT_STREQ(DicomVRName(DICOM_VR_AE), L"AE");
    EXPECT_STREQ(DicomVRName(DICOM_VR_UT), L"UT");
    // Every named code reads back to itself.
    for (DWORD code = 1; code <= DICOM_VR_UV; ++code) {
        const std::wstring name = DicomVRName(code);
        if (!name.empty()) {
            EXPECT_EQ(DicomVRFromName(name.c_str()), code) << code;
        }
    }
}

TEST(DicomDictionary, TablesAreWellFormed)
{
    int groups = 0;
    for (const DicomDictionaryGroup* row = DicomGroupTable; row->table; ++row, ++groups) {
        std::set<DWORD> seen;
        for (const DicomDictionaryEntry* e = row->table; e->vr != 0; ++e) {
            EXPECT_EQ(e->tag >> 16, row->group) << std::hex << e->tag;
            EXPECT_LE(e->vr, static_cast<DWORD>(DICOM_VR_ITEM)) << std::hex << e->tag;
            EXPECT_TRUE(seen.insert(e->tag).second) << std::hex << e->tag;
        }
    }
    EXPECT_EQ(groups, 37);
    int unindexed = 0;
    for (const DicomDictionaryEntry* const* t = DicomUnindexedTables; *t; ++t)
        ++unindexed;
    EXPECT_EQ(unindexed, 6);
}

TEST(DicomDictionary, UidLists)
{
    int count = 0;
    while (DicomTransferSyntaxUids[count][0])
        ++count;
    EXPECT_EQ(count, 8);
    EXPECT_STREQ(DicomTransferSyntaxUids[3], L"1.2.840.10008.1.2.4.50");
    count = 0;
    while (DicomSopClassUids[count][0])
        ++count;
    EXPECT_EQ(count, 83);
    EXPECT_STREQ(DicomSopClassUids[68], L"1.2.840.10008.5.1.4.1.1.11.1");
    EXPECT_STREQ(DicomSopClassUids[74], L"1.2.840.10008.5.1.4.1.1.11.1");
    count = 0;
    while (DicomTransferSyntaxNames[count].uid[0])
        ++count;
    EXPECT_EQ(count, 28);
}
