// The capture module on an X display (a private Xvfb), driven by real X key and mouse events
// through xdotool: a still by Space while the capture window has the focus, a recording by F6
// twice, no still by Space while another X client has the focus, one by Pause there (seen
// through the raw key events), Ctrl+S saving them, and the close button clicked; and with "방해받지 않기" ticked, the configured capture key typed into another
// client takes a still and still reaches that client. Screenshots are left in
// <build>/reference-pictures/.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "tests/host/HostTestSupport.h"
#include "tests/support/Command.h"
#include "tests/support/Xvfb.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

int Stills(const std::vector<std::string>& files)
{
    int n = 0;
    for (const std::string& f : files)
        n += f.size() > 4 && f.compare(f.size() - 4, 4, ".jpg") == 0;
    return n;
}

// Runs the host on a private X display while the test types and clicks as a person would.
class X11EndToEnd : public ClinicHost {
protected:
    // Starts the display and the host showing the sample patient until the window is closed;
    // `window` is the capture window's X id once it is up with its preview running. It stays
    // empty when the test was skipped (no Xvfb, no xdotool) or failed.
    void ShowWindow(std::string* window)
    {
        std::string why;
        if (!m_xvfb.Start(1920, 1080, &why)) {
            if (XvfbServer::Required())
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        m_host = std::async(std::launch::async, [&] {
            // The test closes the window; the bound is only for a test that never does.
            return Run("parent\nshow 12345 2024-01-05\nwait-closed 600000\nexpect-shown 0\nunload\n",
                       "QUIVA_HEADLESS=0 DISPLAY=" + m_xvfb.display());
        });
        std::string said;
        bool shown = false;
        shown = Eventually([&] { return m_xvfb.Xdotool("search --name \"QUIVA Capture\"", &said) == 0; });
        if (m_xvfb.Xdotool("version") == -1 && !XvfbServer::Required())
            GTEST_SKIP() << "xdotool is not installed";
        ASSERT_TRUE(shown) << said;
        std::string id = said.substr(0, said.find('\n'));
        // The preview runs (and the keyboard hook with it) once the middle of the video area,
        // black before, shows the picture.
        m_xvfb.Xdotool("getwindowgeometry --shell " + id, &said);
        int x = 0, y = 0;
        std::sscanf(said.c_str(), "WINDOW=%*d X=%d Y=%d", &x, &y);
        ASSERT_TRUE(Eventually([&] { return m_xvfb.ScreenPixel(x + 288, y + 330) != 0; })) << said;
        *window = id;
    }
    // Polls until `done` holds, for at most 60 s (the host is another process, busy or not).
    static bool Eventually(const std::function<bool()>& done)
    {
        for (int i = 0; i < 1200; ++i) {
            if (done())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return done();
    }
    int Stills() const { return ::Stills(FilesBelow("temp/image")); }
    // Stills listed in the store's info.xml files.
    int ListedStills() const
    {
        int n = 0;
        for (const std::string& f : FilesBelow("temp/image"))
            if (f.size() > 8 && f.compare(f.size() - 8, 8, "info.xml") == 0)
                n += std::atoi(RunCommand("grep -o 'IsVideo=\"FALSE\"' '" + Clinic() + "/temp/image/" + f + "' | wc -l").c_str());
        return n;
    }
    // Whether the store comes to hold and list `n` stills. The module takes keys again a moment
    // after it has listed a still (its keyboard hook is out while it takes one).
    bool StillsComeTo(int n) const
    {
        bool listed = Eventually([&] { return ListedStills() >= n; });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return listed && Stills() == n && ListedStills() == n;
    }
    // Opens another client's window and waits until the X server has given it the focus.
    unsigned long FocusAnotherClient()
    {
        unsigned long other = m_xvfb.OpenFocusedWindow(50, 50, 200, 100);
        std::string focused;
        EXPECT_TRUE(Eventually([&] {
            return m_xvfb.Xdotool("getwindowfocus", &focused) == 0 && std::strtoul(focused.c_str(), nullptr, 10) == other;
        })) << focused;
        return other;
    }

    XvfbServer m_xvfb;
    std::future<HostRun> m_host;
};

}  // namespace

TEST_F(X11EndToEnd, KeysAndClicksFromTheXServerTakeStillsAndCloseTheWindow)
{
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    std::string pictures = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    fs::create_directories(pictures);

    // Space with the capture window focused takes a still; F6 twice records.
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key space");
    EXPECT_TRUE(StillsComeTo(1));
    m_xvfb.Screenshot(pictures + "/x11-capture-window.png");
    m_xvfb.Xdotool("key F6");
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    m_xvfb.Screenshot(pictures + "/x11-capture-window-recording.png");
    m_xvfb.Xdotool("key F6");
    std::vector<std::string> videos;
    std::string why;
    // The recording is listed once it has ended whole.
    EXPECT_TRUE(Eventually([&] {
        std::string info;
        for (const std::string& f : FilesBelow("temp/image"))
            if (f.size() > 8 && f.compare(f.size() - 8, 8, "info.xml") == 0)
                info = RunCommand("grep -c 'IsVideo=\"TRUE\"' '" + Clinic() + "/temp/image/" + f + "'");
        return info.rfind("1", 0) == 0;
    }));
    for (const std::string& f : FilesBelow("temp/image"))
        if (f.size() > 4 && f.compare(f.size() - 4, 4, ".avi") == 0)
            videos.push_back(f);
    ASSERT_EQ(videos.size(), 1u);
    EXPECT_TRUE(ProbesAsAvi(Clinic() + "/temp/image/" + videos[0], &why)) << why;

    // Another client has the focus: Space belongs to it; Pause still takes a still.
    unsigned long other = FocusAnotherClient();
    // Keys are handled in the order typed: once Pause's still is there, Space has been seen.
    m_xvfb.Xdotool("key space");
    m_xvfb.Xdotool("key Pause");
    EXPECT_TRUE(StillsComeTo(2));
    EXPECT_EQ(m_xvfb.KeyPressesAt(other), 2);  // the other client got both keys

    // Back in the capture window, Ctrl+S saves the two stills and the recording.
    m_xvfb.Xdotool("windowfocus --sync " + window);
    // The module learns of the focus from its own X events, after the server: a moment is
    // left for that, which nothing outside the module can observe.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // (xdotool's "key ctrl+s" lets Ctrl go before S, which saves nothing, by design.)
    m_xvfb.Xdotool("keydown ctrl key s keyup ctrl");
    EXPECT_TRUE(Eventually([&] { return FilesBelow("IMAGE").size() == 3u && Stills() == 0; }));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"3"}));

    // The close button of the title bar.
    m_xvfb.Xdotool("mousemove --window " + window + " 20 50 click 1");
    HostRun run = m_host.get();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("Close#1"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("unloaded: 1 threads"), std::string::npos) << run.output;
}

// The capture key is F2 here. With "방해받지 않기" ticked, F2 and Space typed into another client
// take stills, and that client receives them all the same.
TEST_F(X11EndToEnd, WithNoPreventTheCaptureKeyTypedIntoAnotherClientTakesAStillAndReachesIt)
{
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
        << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options recordLimitTime=\"30\" "
           "captureKey=\"113\"/></Configruation>";
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key F2");
    EXPECT_TRUE(StillsComeTo(1));
    m_xvfb.Xdotool("mousemove --window " + window + " 700 50 click 1");  // 방해받지 않기

    unsigned long other = FocusAnotherClient();
    m_xvfb.Xdotool("key F2");
    EXPECT_TRUE(StillsComeTo(2));
    m_xvfb.Xdotool("key space");
    EXPECT_TRUE(StillsComeTo(3));
    EXPECT_EQ(m_xvfb.KeyPressesAt(other), 2);

    m_xvfb.Xdotool("mousemove --window " + window + " 20 50 click 1");
    HostRun run = m_host.get();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"3"}));
}
