#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "capture/CKXMCapture.h"
#include "platform/base/codepage.h"

namespace {

using DeviceArray = CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*>;

struct Parsed {
    DeviceArray devices;
    ~Parsed()
    {
        for (INT_PTR i = 0; i < devices.GetSize(); ++i)
            delete devices[i];
    }
    _KXMCaptureDeviceInfo& operator[](INT_PTR i) { return *devices[i]; }
    INT_PTR size() const { return devices.GetSize(); }
};

void Parse(Parsed& p, const std::wstring& text, bool cutAtEnd = false)
{
    CKXMCapture::ParseDeviceText(text, cutAtEnd, p.devices);
}

}  // namespace

TEST(DeviceText, WellFormedLinesBecomeRecordsInOrder)
{
    Parsed p;
    Parse(p, L"0@@Card A@@S-Video@@Card A [S-Video]@@1@@4@@3\n"
             L"1@@Camera@@@@Camera@@0@@0@@0\n");
    ASSERT_EQ(p.size(), 2);
    EXPECT_EQ(p[0].type, 0);
    EXPECT_STREQ(p[0].sourceName, L"Card A");
    EXPECT_STREQ(p[0].connectorName, L"S-Video");
    EXPECT_STREQ(p[0].displayName, L"Card A [S-Video]");
    EXPECT_EQ(p[0].connectorKind, KXMSOURCE_TYPE_SVIDEO);
    EXPECT_EQ(p[0].pinIndex, 4);      // field 6
    EXPECT_EQ(p[0].physConnType, 3);  // field 7
    EXPECT_EQ(p[0].reserved0, 0);
    EXPECT_EQ(p[0].reserved1, -1);
    EXPECT_EQ(p[1].type, 1);
    EXPECT_STREQ(p[1].connectorName, L"");
    EXPECT_STREQ(p[1].displayName, L"Camera");
}

TEST(DeviceText, OnlyLinesOfSevenFieldsCount)
{
    Parsed p;
    Parse(p, L"0@@a@@b@@c@@0@@1\n"            // 6 fields
             L"0@@a@@b@@c@@0@@1@@2@@3\n"      // 8 fields
             L"0@@a@@b@@c@@0@@1@@\n"          // trailing separator: 6 fields
             L"\n\n"                          // empty pieces
             L"2@@/g.grf@@@@@@0@@0@@0\n"      // empty middle fields count
             L"3@@DVD@@@@CD-ROM@@0@@0@@0");   // last line without a line feed
    ASSERT_EQ(p.size(), 2);
    EXPECT_EQ(p[0].type, 2);
    EXPECT_STREQ(p[0].sourceName, L"/g.grf");
    EXPECT_STREQ(p[0].displayName, L"");
    EXPECT_STREQ(p[1].displayName, L"CD-ROM");

    Parsed q;
    Parse(q, L"1@@Camera@@@@Camera@@0@@0@@0\n0@@a@@b@@c@@0@@1");
    EXPECT_EQ(q.size(), 1);
}

TEST(DeviceText, CutLastLineIsDroppedOnlyWhenTheViewWasFull)
{
    // A list cut inside the pin number of its last line still counts seven fields.
    std::wstring text = L"1@@Camera@@@@Camera@@0@@0@@0\n0@@Card@@Video@@Card [Video]@@0@@1";
    Parsed cut;
    Parse(cut, text + L"@@2", true);
    ASSERT_EQ(cut.size(), 1);
    EXPECT_STREQ(cut[0].displayName, L"Camera");

    Parsed whole;
    Parse(whole, text + L"@@2", false);
    EXPECT_EQ(whole.size(), 2);

    // A full view whose text ends with a line feed loses nothing.
    Parsed fullEnded;
    Parse(fullEnded, text + L"@@2\n", true);
    EXPECT_EQ(fullEnded.size(), 2);
}

TEST(DeviceText, NumbersReadAsWtoiAndConnectorKindsExactly)
{
    Parsed p;
    Parse(p, L" 12x@@s@@c@@d@@2@@-3@@x\n"
             L"1@@s@@c@@d@@3@@0@@0\n");
    ASSERT_EQ(p.size(), 2);
    EXPECT_EQ(p[0].type, 12);
    EXPECT_EQ(p[0].pinIndex, -3);
    EXPECT_EQ(p[0].physConnType, 0);
    EXPECT_EQ(p[0].connectorKind, KXMSOURCE_TYPE_COMPONENT);
    EXPECT_EQ(p[1].connectorKind, KXMSOURCE_TYPE_HDMI);

    EXPECT_EQ(SourceTypeFromName(L"0"), KXMSOURCE_TYPE_COMPOSITE);
    EXPECT_EQ(SourceTypeFromName(L"1"), KXMSOURCE_TYPE_SVIDEO);
    for (const wchar_t* bad : { L"7", L"a", L"", L" 1", L"01", L"-1", L"1 " })
        EXPECT_EQ(SourceTypeFromName(bad), -1) << bad;
}

TEST(DeviceText, ViewIsReadUpToTheNulAndNeverBeyond)
{
    // The view sits right before an inaccessible page, so a read past it faults.
    long page = sysconf(_SC_PAGESIZE);
    auto* base = static_cast<unsigned char*>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(base, MAP_FAILED);
    ASSERT_EQ(mprotect(base + page, page, PROT_NONE), 0);
    unsigned char* view = base + page - KXM_SHARED_MEMORY_SIZE;

    // 512 units of text and no terminator.
    std::string units = quiva::WideToUtf16LE(std::wstring(512, L'A'));
    std::memcpy(view, units.data(), units.size());
    bool filled = false;
    std::wstring text = DeviceTextFromView(view, KXM_SHARED_MEMORY_SIZE, &filled);
    EXPECT_EQ(text.size(), 512u);
    EXPECT_TRUE(filled);

    // Korean names and a terminator in the middle.
    std::string korean = quiva::WideToUtf16LE(L"1@@카메라@@@@카메라@@0@@0@@0\n");
    std::memcpy(view, korean.data(), korean.size());
    view[korean.size()] = 0;
    view[korean.size() + 1] = 0;
    text = DeviceTextFromView(view, KXM_SHARED_MEMORY_SIZE, &filled);
    EXPECT_EQ(text, L"1@@카메라@@@@카메라@@0@@0@@0\n");
    EXPECT_FALSE(filled);
    munmap(base, 2 * page);
}

TEST(DeviceList, GettersOutsideTheListAreEmpty)
{
    CKXMCapture engine;
    EXPECT_EQ(engine.GetDeviceCount(), 0);
    EXPECT_STREQ(engine.GetDeviceName(0), L"");
    EXPECT_STREQ(engine.GetDeviceName(-1), L"");
    EXPECT_STREQ(engine.GetCurrentDeviceName(), L"");
}

TEST(DeviceText, LinesWhoseSeparatorsAreAmbiguousAreRefused)
{
    Parsed p;
    Parse(p, L"0@@Card@@@Video@@Card [Video]@@0@@1@@2\n"   // a name ending in "@"
             L"0@@Card@@@@@Video@@x@@0@@1@@2\n"
             L"0@@Cam@era@@@@Cam@@0@@1@@2\n");            // "@" inside a name is fine
    ASSERT_EQ(p.size(), 1);
    EXPECT_STREQ(p[0].sourceName, L"Cam@era");
}

TEST(DeviceText, AViewFilledToTheTerminatorIsACutView)
{
    // The monitor always leaves the last unit for the terminator: 511 units of text filled it.
    std::vector<unsigned char> view(KXM_SHARED_MEMORY_SIZE, 0);
    std::string units = quiva::WideToUtf16LE(std::wstring(511, L'1'));
    std::memcpy(view.data(), units.data(), units.size());
    bool filled = false;
    EXPECT_EQ(DeviceTextFromView(view.data(), view.size(), &filled).size(), 511u);
    EXPECT_TRUE(filled);
    view[1020] = view[1021] = 0;
    DeviceTextFromView(view.data(), view.size(), &filled);
    EXPECT_FALSE(filled);
}
