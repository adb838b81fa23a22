// The module as a host drives it when something is amiss: export calls made together in one
// message while a loop runs inside the module, the module loaded a second time, a damaged file of the
// clinic's data folder, a Show without a chart number.
#include <fstream>
#include <string>

#include "tests/support/Command.h"
#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

namespace {

// A loop that runs inside the module, and export calls the host makes together in one message
// while it runs.
struct InOneMessage {
    const char* name;
    const char* loop;   // script lines that start the loop and wait in it
    const char* calls;  // script lines run together, inside the loop
};

const char* const kShowModal = "showmodal 12345 2024-01-05\nwait-shown 60000\nexpect-shown 1\n";
// The title bar's settings button opens the settings dialog (a click is handled, and so the
// dialog's loop runs, before a wait lets the script go on).
const char* const kSettingsDialog = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nclick 655 50\nwait 0\n";
// The title bar's source combo drops its list down, and the list's loop runs.
const char* const kSourceDropDown = "show 12345 2024-01-05\nwait-preview 60000\nactivate\nclick 500 50\nwait 0\n";

void PrintTo(const InOneMessage& calls, std::ostream* out) { *out << calls.name; }

using DamagedFiles = ClinicHost;
using LoadedAgain = ClinicHost;
using WithoutAPatient = ClinicHost;

class LoopInside : public ClinicHost, public testing::WithParamInterface<InOneMessage> {};
using UnloadedInsideALoop = LoopInside;

std::string CallsName(const testing::TestParamInfo<InOneMessage>& info) { return info.param.name; }

}  // namespace

// Whatever the host calls inside the loop, the frame it runs in lives until the loop has
// returned: a window shows the chart last asked for, ShowModal returns, and nothing touches freed
// memory (the host runs under the address sanitizer).
TEST_P(LoopInside, CallsInOneMessageLeaveTheFrameItRunsInUntilItReturns)
{
    const bool modal = GetParam().loop == kShowModal;
    HostRun run = Run(std::string("parent\n") + GetParam().loop + GetParam().calls +
                      "\nwait-shown 60000\nexpect-shown 1\nprint\nclose\nexpect-shown 0\nunload\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("AddressSanitizer"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("showmodal returned") != std::string::npos, modal) << run.output;
    EXPECT_NE(run.output.find("capture window: \"영상얻기 (67890-김영희)\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("unloaded: 1 threads"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Exports, LoopInside,
    testing::Values(InOneMessage{"ModalCloseThenShow", kShowModal, "close\nshow 67890 2024-01-06"},
                    InOneMessage{"ModalShowCloseShow", kShowModal, "show 11111\nclose\nshow 67890 2024-01-06"},
                    InOneMessage{"ModalClearCloseShow", kShowModal, "clear\nclose\nshow 67890 2024-01-06"},
                    InOneMessage{"ModalCloseClearParentShow", kShowModal, "close\nclear\nparent\nshow 67890 2024-01-06"},
                    InOneMessage{"ModalCloseThenShowModal", kShowModal,
                                 "close\nshowmodal 67890 2024-01-06\nclose\nshow 67890 2024-01-06\nwait-shown 60000"},
                    InOneMessage{"DialogShow", kSettingsDialog, "show 67890 2024-01-06"},
                    InOneMessage{"DialogCloseThenShow", kSettingsDialog, "close\nshow 67890 2024-01-06"}),
    CallsName);

// The host closes the capture window and unloads the module in one message while a loop of the
// module runs: the loop ends with the window, and the module finishes unloading after it (its
// shut-down runs and it leaves no window class), without the host coming down.
TEST_P(UnloadedInsideALoop, TheLoopEndsAndTheModuleUnloadsAfterIt)
{
    HostRun run = Run(std::string("parent\n") + GetParam().loop + GetParam().calls + "\nwait-unloaded 60000\n");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("AddressSanitizer"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Terminate App"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("window classes the module left: 0\n"), std::string::npos) << run.output;
}

INSTANTIATE_TEST_SUITE_P(
    Exports, UnloadedInsideALoop,
    testing::Values(InOneMessage{"ShowModal", kShowModal, "close\nunload"},
                    InOneMessage{"SettingsDialog", kSettingsDialog, "close\nunload"},
                    InOneMessage{"SourceDropDown", kSourceDropDown, "close\nunload"}),
    CallsName);

// A host that links nothing of ours loads the module alone, so the platform library comes in
// with it, and frees it inside the module's modal loop: the loop ends, ShowModal returns into the
// host, the module's shut-down runs and it is unloaded where the host next looks at its queue, and
// the host ends normally.
TEST_F(UnloadedInsideALoop, AHostThatLoadsOnlyTheModuleFreesItInsideTheModalLoop)
{
    std::string command = HostCommand({});
    command.replace(command.rfind("/bin/quiva-host"), std::string::npos,
                    "/tests/bare-host/BareHost " + std::string(QUIVA_BINARY_DIR) + "/bin/QUIVA.Capture.dll 12345 2024-01-05");
    HostRun run;
    run.output = RunCommand(command, &run.status);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("AddressSanitizer"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("showmodal returned\n"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("Terminate App"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("module mapped: no\n"), std::string::npos) << run.output;
}

// A host that loads the module again after unloading it inside a loop gets a module started
// afresh, which shows its window again.
TEST_F(LoadedAgain, AModuleUnloadedInsideItsLoopStartsAfreshWhenLoadedAgain)
{
    HostRun run = RunScripts({std::string(kSourceDropDown) + "close\nunload\n",
                              "show 12345 2024-01-05\nwait-preview 60000\nexpect-shown 1\nclose\nunload\n"});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("AddressSanitizer"), std::string::npos) << run.output;
    size_t first = run.output.find("window classes the module left: 0\n");
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_NE(run.output.find("window classes the module left: 0\n", first + 1), std::string::npos) << run.output;
    size_t started = run.output.find("CKXEULAdmit start");
    ASSERT_NE(started, std::string::npos) << run.output;
    EXPECT_NE(run.output.find("CKXEULAdmit start", started + 1), std::string::npos) << run.output;
}

// The module leaves no window class behind, so a module loaded again (at other addresses: the
// host keeps the old ones unmapped) records with its own code, and its recording ends whole.
TEST_F(LoadedAgain, AModuleLoadedASecondTimeRecordsAndLeavesNoWindowClass)
{
    // A recording of 800 ms, ended by F6 and so by the window thread's handling of its end.
    auto session = [](const std::string& chart) {
        return "show " + chart + " 2024-01-05\nwait-preview 60000\nactivate\nkey f6\nwait 800\nkey f6\nwait-text d/HRB4100/temp/image/" +
               chart + "/*/*/info.xml .avi 60000\nclose\nunload\n";
    };
    HostRun run = RunScripts({session("12345"), session("67890")});
    ASSERT_EQ(run.status, 0) << run.output;
    size_t first = run.output.find("window classes the module left: 0\n");
    ASSERT_NE(first, std::string::npos) << run.output;
    EXPECT_NE(run.output.find("window classes the module left: 0\n", first + 1), std::string::npos) << run.output;
    std::vector<std::string> videos;
    for (const std::string& f : FilesBelow("temp/image"))
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".avi") == 0)
            videos.push_back(f);
    ASSERT_EQ(videos.size(), 2u) << ::testing::PrintToString(FilesBelow("temp/image")) << run.output;
    for (const std::string& v : videos) {
        std::string why;
        EXPECT_TRUE(ProbesAsAvi(Clinic() + "/temp/image/" + v, &why)) << v << ": " << why;
    }
}

// A last-save rectangle no window can have (sizes past what memory holds, an edge past the
// coordinates) shows the window at the default place; it never takes the host down.
TEST_F(DamagedFiles, ALastSaveRectangleNoWindowCanHaveShowsTheWindowAtTheDefaultPlace)
{
    const char* const rectangles[] = {
        R"(x="10" y="10" width="2147483647" height="2147483647")",
        R"(x="10" y="10" width="100000" height="100000")",
        R"(x="2147483000" y="2147483000" width="800" height="600")",
    };
    for (const char* rectangle : rectangles) {
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.LastSave")
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Last.Save><window " << rectangle
            << "/><thumbnail show=\"TRUE\" size=\"2147483647\"/></Last.Save>";
        HostRun run = Run("show 12345 2024-01-05\nwait-shown 60000\nexpect-shown 1\nprint\nclose\nunload\n");
        ASSERT_EQ(run.status, 0) << rectangle << "\n" << run.output;
        EXPECT_NE(run.output.find("capture window: \"영상얻기 (12345-홍길동)\" at 560,240 size 800x600 visible"), std::string::npos)
            << rectangle << "\n" << run.output;
    }
}

// A still belongs to a patient: a Show without a chart number shows the window and its preview,
// but the capture keys take nothing and Ctrl+S files nothing.
TEST_F(WithoutAPatient, AShowWithoutAChartNumberTakesNoStillAndFilesNothing)
{
    HostRun run = Run(R"(show "" 2024-01-05
wait-preview 60000
expect-shown 1
print
activate
key space
key f6
wait 800
key f6
key ctrl+s
wait-files d/HRB4100/temp/image/*/*/*/* 0 60000
close
unload
)");
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("capture window: \"영상얻기\""), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("P#6"), std::string::npos) << run.output;  // the preview runs
    EXPECT_EQ(FilesBelow("temp/image"), std::vector<std::string>{});
    EXPECT_EQ(FilesBelow("IMAGE"), std::vector<std::string>{});
    EXPECT_TRUE(Rows("SELECT * FROM MMAIN").empty());
    EXPECT_TRUE(Rows("SELECT * FROM MIMG").empty());
}
