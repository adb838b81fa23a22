// The thumbnail strip as a person uses it through the stand-in host with the real module.
#include <fstream>
#include <string>

#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

namespace {

using StripInTheHost = ClinicHost;

}  // namespace

// Eight stills fill more than the strip shows; the wheel over the strip scrolls it though
// nothing in it was clicked (the focus is elsewhere in the window).
TEST_F(StripInTheHost, TheWheelScrollsTheStripBeforeItIsClicked)
{
    const std::string before = m_dir.Native("before.png"), after = m_dir.Native("after.png");
    const std::string stored = "wait-files d/HRB4100/temp/image/12345/*/20240105/*.jpg 8 60000\n";
    HostRun run = Run("show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space space space space space space space space\n" +
                      stored + "picture " + before + "\nwheel 700 300 360\n" + stored + "picture " + after + "\nclose\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_GT(DifferingOnTheRight(before, after, 190), 1000) << before << " " << after;
}

// The disk of the store fills after "delete all"; the "restore all" that follows cannot reach the
// folder's info.xml, so it is told and not shown as made: the strip shows the still as deleted,
// as the next open brings it back. (The strip's cells are the right-hand 190 columns below the
// delete-all button.)
TEST_F(StripInTheHost, AMarkTheStoreCannotKeepIsToldAndNotShown)
{
    const std::string shown = m_dir.Native("shown.png"), reopened = m_dir.Native("reopened.png");
    const std::string marks = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nkey space\n"
                              "wait-files d/HRB4100/temp/image/12345/*/*/*.jpg 1 60000\nclick 635 120\n"
                              "wait-text d/HRB4100/temp/image/12345/*/*/info.xml Deleted=\"TRUE\" 60000\n"
                              "wait-files full 1 600000\nclick 635 120\n"
                              "wait-dialog \"폴더오류\" 60000\nkey escape\nwait-no-dialog 60000\npicture " +
                              shown + "\nclose\nunload\n";
    const std::string reopen = "show 12345 2024-01-05\nwait-preview 60000\npicture " + reopened + "\nclose\nunload\n";
    std::ofstream(m_dir.Native("host.sh")) << HostCommand({marks, reopen}) << "\n";
    // The disk is filled once the delete marks are in info.xml; the host goes on from there.
    const std::string script =
        "sh \"$2/host.sh\" > \"$2/host.txt\" 2>&1 & host=$!\n"
        "i=0; until grep -qs 'Deleted=\"TRUE\"' \"$1\"/12345/*/*/info.xml || ! kill -0 $host 2>/dev/null || [ $i -ge 1800 ]; "
        "do sleep 0.1; i=$((i+1)); done\n"
        "head -c 16m /dev/zero > \"$1/fill\" 2>/dev/null; touch \"$2/full\"\n"
        "wait $host; echo $? > \"$2/status.txt\"\n";
    std::string said;
    if (!RunOnSmallStore("8m", script, &said))
        GTEST_SKIP() << said;
    const std::string output = ReadAll(m_dir.Native("host.txt"));
    ASSERT_EQ(ReadAll(m_dir.Native("status.txt")), "0\n") << output << said;
    const std::string told = "dialog shown: \"폴더오류\"";
    EXPECT_EQ(output.find(told), output.rfind(told)) << output;  // once
    // The same marks: no more differs than the still read back from its JPEG file (a cell
    // darkened or not differs all over).
    EXPECT_LT(DifferingOnTheRight(shown, reopened, 190, 150), 1000) << shown << " " << reopened;
}
