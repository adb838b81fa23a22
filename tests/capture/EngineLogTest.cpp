#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "capture/CKXMCapture.h"
#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "tests/support/TempDir.h"

namespace {

// Runs a test body with the current folder in a fresh temporary folder.
class InTempFolder {
public:
    InTempFolder() : m_old(getcwd(nullptr, 0)) { EXPECT_EQ(chdir(m_dir.path().c_str()), 0); }
    ~InTempFolder()
    {
        EXPECT_EQ(chdir(m_old), 0);
        free(m_old);
    }
    std::string Log() const { return quiva::test::ReadAll(m_dir.Native("quivacapture.log.txt")); }

private:
    quiva::test::TempDir m_dir;
    char* m_old;
};

}  // namespace

TEST(EngineLog, LinesAreAppendedWithTheLocalTime)
{
    InTempFolder folder;
    quiva::ScopedVirtualClock clock;
    SYSTEMTIME t {};
    t.wYear = 2024, t.wMonth = 3, t.wDay = 7, t.wHour = 9, t.wMinute = 5, t.wSecond = 2;
    clock->SetLocalTime(t);
    WriteLog(L"Fail to create Video mixing renderer");
    WriteLog(L"Fail to create Video mixing renderer");
    EXPECT_EQ(folder.Log(), "09:05:02 Fail to create Video mixing renderer\n"
                            "09:05:02 Fail to create Video mixing renderer\n");
}

TEST(EngineLog, LongMessageIsCutAndKeepsItsLineFeed)
{
    InTempFolder folder;
    WriteLog(std::wstring(400, L'x').c_str());
    // Korean text in the ANSI code page takes two bytes a character; none is split.
    WriteLog(std::wstring(200, L'가').c_str());
    std::string log = folder.Log();
    size_t first = log.find('\n');
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(first + 1, 254u);
    std::string second = log.substr(first + 1);
    ASSERT_FALSE(second.empty());
    EXPECT_EQ(second.back(), '\n');
    EXPECT_LE(second.size(), 254u);
    EXPECT_EQ((second.size() - 10) % 2, 0u);
    std::wstring back = quiva::MultiByteToWide(second.substr(9, second.size() - 10));
    EXPECT_EQ(back, std::wstring(back.size(), L'가'));
}

TEST(EngineLog, CheckResultReportsOnlyFailures)
{
    CKXMCapture engine;
    quiva::DebugCapture debug;
    EXPECT_EQ(engine.CheckResult(S_OK, L"Run"), 0);
    EXPECT_EQ(engine.CheckResult(S_FALSE, L"Run"), 0);
    EXPECT_TRUE(debug.Lines().empty());
    // A code the media layer has a text for gets it on a line of its own; others go without.
    EXPECT_EQ(engine.CheckResult(VFW_E_NOT_CONNECTED, L"Disconnect Pin"), 1);
    EXPECT_EQ(engine.CheckResult(static_cast<HRESULT>(0x8badf00d), L"Fail to DVD Navigator"), 1);
    ASSERT_EQ(debug.Lines().size(), 2u);
    WCHAR system[160] = {};
    ASSERT_GT(AMGetErrorTextW(VFW_E_NOT_CONNECTED, system, 160), 0u);
    EXPECT_EQ(debug.Lines()[0], L"Error 80040209: Disconnect Pin\n" + std::wstring(system) + L"\n");
    EXPECT_EQ(debug.Lines()[1], L"Error 8badf00d: Fail to DVD Navigator\n");
}
