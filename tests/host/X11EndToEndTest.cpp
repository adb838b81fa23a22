// The capture module on an X display (a private Xvfb), driven by real X key and mouse events
// through xdotool: a still by Space while the capture window has the focus, none by Space while
// another X client has it, one by Pause there (seen through the raw key events), and the close
// button clicked. Screenshots are left in <build>/reference-pictures/.
#include <filesystem>
#include <future>
#include <thread>

#include "tests/host/HostTestSupport.h"
#include "tests/support/Command.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {
using X11EndToEnd = ClinicHost;

int Stills(const std::vector<std::string>& files)
{
    int n = 0;
    for (const std::string& f : files)
        n += f.size() > 4 && f.compare(f.size() - 4, 4, ".jpg") == 0;
    return n;
}
}  // namespace

TEST_F(X11EndToEnd, KeysAndClicksFromTheXServerTakeStillsAndCloseTheWindow)
{
    XvfbServer xvfb;
    std::string why;
    if (!xvfb.Start(1920, 1080, &why)) {
        if (XvfbServer::Required())
            FAIL() << why;
        GTEST_SKIP() << why;
    }
    std::string pictures = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    fs::create_directories(pictures);
    // The host runs on the display while this test types and clicks as a person would.
    auto host = std::async(std::launch::async, [&] {
        return Run("parent\nshow 12345 2024-01-05\nwait-closed 30000\nexpect-shown 0\nunload\n",
                   "QUIVA_HEADLESS=0 DISPLAY=" + xvfb.display());
    });
    std::string said;
    bool shown = false;
    for (int i = 0; i < 100 && !shown; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        shown = xvfb.Xdotool("search --name \"QUIVA Capture\"", &said) == 0;
    }
    if (xvfb.Xdotool("version") == -1 && !XvfbServer::Required())
        GTEST_SKIP() << "xdotool is not installed";
    ASSERT_TRUE(shown) << said;
    std::string window = said.substr(0, said.find('\n'));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the preview starts

    // Space with the capture window focused takes a still.
    xvfb.Xdotool("windowfocus --sync " + window);
    xvfb.Xdotool("key space");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(Stills(FilesBelow("temp/image")), 1);
    xvfb.Screenshot(pictures + "/x11-capture-window.png");

    // Another client has the focus: Space belongs to it; Pause still takes a still.
    unsigned long other = xvfb.OpenFocusedWindow(50, 50, 200, 100);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    xvfb.Xdotool("key space");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(Stills(FilesBelow("temp/image")), 1);
    xvfb.Xdotool("key Pause");
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_EQ(Stills(FilesBelow("temp/image")), 2);
    EXPECT_EQ(xvfb.KeyPressesAt(other), 2);  // the other client got both keys

    // The close button of the title bar (saving the stills on the way out).
    xvfb.Xdotool("mousemove --window " + window + " 20 50 click 1");
    HostRun run = host.get();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Close#1"), std::string::npos) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"2"}));
}
