// The capture module on an X display (a private Xvfb), driven by real X key and mouse events
// through xdotool: a still by Space while the capture window has the focus, a recording by F6
// twice, no still by Space while another X client has the focus, one by Pause there (seen
// through the raw key events), Ctrl+S saving them, and the close button clicked; and with "방해받지 않기" ticked, the configured capture key typed into another
// client takes a still and still reaches that client; a key held down acts once, when it is
// released. Screenshots are left in <build>/reference-pictures/.
#include <X11/cursorfont.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "tests/support/BmpFiles.h"
#include "tests/support/HostProgramSupport.h"
#include "tests/support/Command.h"
#include "tests/support/Xvfb.h"
#include "tests/support/dicom/TestPeer.h"

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
    // empty when the test was skipped (no Xvfb, no xdotool, no openbox, no nabi) or failed. The
    // host runs with `environment` added, under openbox when `windowManager`, with nabi serving
    // the display as its input method when `inputMethod`.
    void ShowWindow(std::string* window, const std::string& environment = "", bool windowManager = false,
                    bool inputMethod = false)
    {
        std::string why;
        if (!m_xvfb.Start(1920, 1080, &why) || (windowManager && !m_xvfb.StartWindowManager(&why)) ||
            (inputMethod && !m_xvfb.StartInputMethod(m_dir.Native(""), &why))) {
            if (XvfbServer::Required())
                FAIL() << why;
            GTEST_SKIP() << why;
        }
        StartHost(window, environment);
    }
    // Runs the host on the display already started, as ShowWindow does.
    void StartHost(std::string* window, const std::string& environment = "")
    {
        m_host = std::async(std::launch::async, [this, environment] {
            // The test closes the window; the bound is only for a test that never does.
            return Run("parent\nshow 12345 2024-01-05\nwait-closed 600000\nexpect-shown 0\nunload\n",
                       environment + " QUIVA_HEADLESS=0 DISPLAY=" + m_xvfb.display());
        });
        std::string said;
        const bool shown = Eventually([&] { return m_xvfb.Xdotool("search --name '^영상얻기 \\(12345-'", &said) == 0; });
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
    // Where a window (X id) stands on the screen: its top left corner.
    std::pair<int, int> WindowOrigin(const std::string& window)
    {
        std::string said;
        m_xvfb.Xdotool("getwindowgeometry --shell " + window, &said);
        int x = 0, y = 0;
        std::sscanf(said.c_str(), "WINDOW=%*d X=%d Y=%d", &x, &y);
        return {x, y};
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
    // The X id of a shown window whose name matches `pattern` (as xdotool searches), once there
    // is one; empty when none comes within the bound (`said`: what the search said last).
    std::string ShownWindowNamed(const std::string& pattern, std::string* said)
    {
        std::string id;
        Eventually([&] {
            if (m_xvfb.Xdotool("search --onlyvisible --name '" + pattern + "'", said) != 0)
                return false;
            id = said->substr(0, said->find('\n'));
            return true;
        });
        return id;
    }
    // Shows the capture window with nabi serving the display as its input method and opens the
    // settings dialog by its button: the dialog's X id, empty when the test was skipped or failed.
    std::string SettingsUnderInputMethod(std::string* window)
    {
        ShowWindow(window, "LANG=C.UTF-8 LC_ALL= LC_CTYPE= XMODIFIERS=@im=nabi", false, true);
        if (window->empty())
            return "";
        m_xvfb.Xdotool("mousemove --window " + *window + " 658 50 click 1");  // the settings button
        std::string said;
        const std::string dialog = ShownWindowNamed("^설정$", &said);
        EXPECT_FALSE(dialog.empty()) << said;
        return dialog;
    }
    int Stills() const { return ::Stills(FilesBelow("temp/image")); }
    // Stills, or recordings, listed in the store's info.xml files.
    int Listed(bool videos) const
    {
        const std::string entry = videos ? "IsVideo=\"TRUE\"" : "IsVideo=\"FALSE\"";
        int n = 0;
        for (const std::string& f : FilesBelow("temp/image"))
            if (f.size() > 8 && f.compare(f.size() - 8, 8, "info.xml") == 0)
                n += std::atoi(RunCommand("grep -o '" + entry + "' '" + Clinic() + "/temp/image/" + f + "' | wc -l").c_str());
        return n;
    }
    int ListedStills() const { return Listed(false); }
    // The recordings in the store (paths below temp/image).
    std::vector<std::string> Videos() const
    {
        std::vector<std::string> files = FilesBelow("temp/image");
        std::erase_if(files, [](const std::string& f) { return !f.ends_with(".avi"); });
        return files;
    }
    // Holds `key` down until the X server, its auto-repeat on, has repeated it a few times at
    // `window` (X id), then lets it go; false when no repeat came.
    bool HoldKey(const std::string& key, unsigned long window)
    {
        if (!m_xvfb.HearKeyRepeatsAt(window))
            return false;
        const int before = m_xvfb.KeyPressesAt(window);
        m_xvfb.Xdotool("keydown " + key);
        const bool repeated = Eventually([&] { return m_xvfb.KeyPressesAt(window) > before + 5; });
        m_xvfb.Xdotool("keyup " + key);
        return repeated;
    }
    // Whether the store comes to hold and list `n` stills. The module takes keys again a moment
    // after it has listed a still (its keyboard hook is out while it takes one).
    bool StillsComeTo(int n) const
    {
        bool listed = Eventually([&] { return ListedStills() >= n; });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return listed && Stills() == n && ListedStills() == n;
    }
    // Clicks the title bar's close button of the capture window `window` and waits for the host
    // to end, which it must do cleanly.
    HostRun CloseWindow(const std::string& window)
    {
        m_xvfb.Xdotool("mousemove --window " + window + " 20 50 click 1");
        HostRun run = m_host.get();
        EXPECT_EQ(run.status, 0) << run.output;
        return run;
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

    // The host is waited for last: a test that fails before it closes the window ends the
    // display first (members go in the reverse of this order), which ends the host with it,
    // rather than leaving it to its ten-minute bound.
    std::future<HostRun> m_host;
    XvfbServer m_xvfb;
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
    std::string why;
    // The recording is listed once it has ended whole.
    EXPECT_TRUE(Eventually([&] { return Listed(true) == 1; }));
    const std::vector<std::string> videos = Videos();
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
    HostRun run = CloseWindow(window);
    EXPECT_NE(run.output.find("Close#1"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("unloaded: 1 threads"), std::string::npos) << run.output;
}

// A key held down until the X server (its auto-repeat on) has repeated it acts once, when it
// is released: Space in the capture window takes one still, F6 starts one recording that the
// next F6 stops, and, with "방해받지 않기" ticked, Space held in another client (seen through the
// raw key events) takes one still while that client gets every repeat.
TEST_F(X11EndToEnd, AKeyHeldDownActsOnceWhenItIsReleased)
{
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    const unsigned long id = std::stoul(window);
    m_xvfb.Xdotool("windowfocus --sync " + window);
    ASSERT_TRUE(HoldKey("space", id));
    EXPECT_TRUE(StillsComeTo(1));

    // The frames the recording under way has written (its record beside it: a header, then an
    // entry of 16 bytes a frame).
    auto framesWritten = [&] {
        for (const std::string& f : FilesBelow("temp/image")) {
            std::error_code e;
            const auto size = fs::file_size(Clinic() + "/temp/image/" + f, e);
            if (f.size() > 11 && f.compare(f.size() - 11, 11, ".avi.frames") == 0 && !e && size >= 16)
                return static_cast<int>((size - 16) / 16);
        }
        return 0;
    };
    ASSERT_TRUE(HoldKey("F6", id));
    EXPECT_TRUE(Eventually([&] { return framesWritten() > 2; }));
    m_xvfb.Xdotool("key F6");
    EXPECT_TRUE(Eventually([&] { return Listed(true) == 1; }));
    const std::vector<std::string> videos = Videos();
    ASSERT_EQ(videos.size(), 1u);
    std::string probe;
    EXPECT_TRUE(ProbesAsAvi(Clinic() + "/temp/image/" + videos[0], &probe)) << probe;
    const size_t frames = probe.find("video,");
    EXPECT_GT(frames == std::string::npos ? 0 : std::atoi(probe.c_str() + frames + 6), 2) << probe;

    m_xvfb.Xdotool("mousemove --window " + window + " 700 50 click 1");  // 방해받지 않기
    const unsigned long other = FocusAnotherClient();
    ASSERT_TRUE(HoldKey("space", other));
    EXPECT_TRUE(StillsComeTo(2));

    CloseWindow(window);
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

    // Unticked by a click: the click activates the capture window and, with no window manager to
    // do it, gives it the X focus too; once another client has the focus, Space is that client's.
    m_xvfb.Xdotool("mousemove --window " + window + " 700 50 click 1");
    std::string focused;
    EXPECT_TRUE(Eventually([&] {
        return m_xvfb.Xdotool("getwindowfocus", &focused) == 0 &&
               std::strtoul(focused.c_str(), nullptr, 10) == std::strtoul(window.c_str(), nullptr, 10);
    })) << focused;
    other = FocusAnotherClient();
    m_xvfb.Xdotool("key space");
    m_xvfb.Xdotool("key Pause");
    EXPECT_TRUE(StillsComeTo(4));
    EXPECT_EQ(m_xvfb.KeyPressesAt(other), 2);

    HostRun run = CloseWindow(window);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"4"}));
}

// The capture key is S here: S alone takes a still, Ctrl+S saves it and takes none.
TEST_F(X11EndToEnd, ACaptureKeyThatIsAlsoAShortcutActsOnlyAlone)
{
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
        << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options recordLimitTime=\"30\" "
           "captureKey=\"83\"/></Configruation>";
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key s");
    EXPECT_TRUE(StillsComeTo(1));
    m_xvfb.Xdotool("keydown ctrl key s keyup ctrl");
    EXPECT_TRUE(Eventually([&] { return Rows("SELECT COUNT(*) FROM MIMG") == std::vector<std::string>{"1"}; }));
    EXPECT_TRUE(StillsComeTo(0));
    HostRun run = CloseWindow(window);
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), (std::vector<std::string>{"1"}));
}

// Under a window manager, in a UTF-8 locale with the X server's own input method: punctuation
// and Hangul typed into the settings dialog's edits are stored as typed, once each; the
// dialog's title reads back from the server as UTF-8, the dialog opens centred and the pointer
// is an I-beam over its edits.
TEST_F(X11EndToEnd, TextTypedIntoTheSettingsDialogIsStoredAsTyped)
{
    ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                        "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
    std::string window;
    ShowWindow(&window, "LANG=C.UTF-8 LC_ALL= LC_CTYPE= XMODIFIERS=", true);
    if (window.empty())
        return;
    std::string pictures = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    fs::create_directories(pictures);
    const std::vector<unsigned long> ibeam = m_xvfb.FontCursorImage(XC_xterm);
    m_xvfb.Xdotool("mousemove --window " + window + " 658 50 click 1");  // the settings button
    std::string said;
    const std::string dialog = ShownWindowNamed("^설정$", &said);
    ASSERT_FALSE(dialog.empty()) << said;
    std::string type;
    EXPECT_EQ(m_xvfb.TextProperty(std::stoul(dialog), "_NET_WM_NAME", &type), "설정");
    EXPECT_EQ(type, "UTF8_STRING");
    EXPECT_EQ(m_xvfb.TextProperty(std::stoul(window), "_NET_WM_NAME", &type), "영상얻기 (12345-홍길동)");
    m_xvfb.Xdotool("getwindowgeometry --shell " + dialog, &said);
    int x = 0, y = 0, width = 0, height = 0;
    std::sscanf(said.c_str(), "WINDOW=%*d X=%d Y=%d WIDTH=%d HEIGHT=%d", &x, &y, &width, &height);
    EXPECT_NEAR(x + width / 2, 960, 2) << said;
    EXPECT_NEAR(y + height / 2, 540, 2) << said;
    m_xvfb.Screenshot(pictures + "/x11-settings-dialog.png");
    // Clicks at a point of the dialog.
    auto click = [&](int dx, int dy) {
        m_xvfb.Xdotool("mousemove --window " + dialog + " " + std::to_string(dx) + " " + std::to_string(dy) + " click 1");
    };
    // Clicks a tab of the dialog until the pixels around (px, py) of the dialog change.
    auto pixelsAround = [&](int px, int py) {
        std::vector<unsigned long> pixels;
        for (int i = -3; i <= 3; ++i)
            pixels.push_back(m_xvfb.ScreenPixel(x + px + i, y + py));
        return pixels;
    };
    auto showTab = [&](int dx, int dy, int px, int py) {
        const std::vector<unsigned long> before = pixelsAround(px, py);
        int polls = 0;
        return Eventually([&] {
            if (polls++ % 40 == 0)
                click(dx, dy);
            return pixelsAround(px, py) != before;
        });
    };
    // Replaces the text of the edit at a point of the dialog with `text`.
    auto typeInto = [&](int dx, int dy, const std::string& text) {
        click(dx, dy);
        m_xvfb.Xdotool("key End key --repeat 40 BackSpace");
        m_xvfb.Xdotool("type '" + text + "'");
    };

    // "검사이름 관리": a study name added.
    const std::string name = "Colono-2.a_b,c/d;e=f 위내시경";
    // (Failures from here on go on to close the dialog, which the host waits for.)
    EXPECT_TRUE(m_xvfb.BindCharacters("위내시경"));
    EXPECT_TRUE(showTab(157, 45, 21, 200));  // the list's left edge
    typeInto(178, 321, name);
    // Over the edit the pointer is an I-beam.
    int step = 0;
    EXPECT_TRUE(Eventually([&] {
        m_xvfb.MovePointer(x + 178 + (++step % 2), y + 321);
        return m_xvfb.PointerImage() == ibeam;
    }));
    click(325, 111);  // 추가
    EXPECT_TRUE(Eventually([&] {
        return !Rows("SELECT SETUPSECT FROM FOPTION WHERE SETUPROOM = 'CATAGORY' AND SETUPSECT LIKE 'Colono%'").empty();
    }));
    EXPECT_EQ(Rows("SELECT SETUPSECT FROM FOPTION WHERE SETUPROOM = 'CATAGORY' AND SETUPSECT LIKE 'Colono%'"),
              std::vector<std::string>{name});

    // "PACS연동": the server's address and AE title applied.
    EXPECT_TRUE(showTab(226, 45, 141, 142));  // the address edit's left edge
    typeInto(216, 142, "127.0.0.1");
    typeInto(216, 172, "STORE_SCP");
    click(243, 292);  // 적용
    const std::string config = Clinic() + "/exe/QUIVA.Capture.Config";
    auto stored = [&] { return RunCommand("cat '" + config + "' 2>/dev/null"); };
    EXPECT_TRUE(Eventually([&] { return stored().find("aeTitle=\"STORE_SCP\"") != std::string::npos; })) << stored();
    EXPECT_NE(stored().find("ip=\"127.0.0.1\""), std::string::npos) << stored();

    click(384, 14);  // the dialog's close box
    CloseWindow(window);
}

// A save waiting on a PACS that takes the connection and never answers: while it waits, the
// capture window says that it saves (its title, a busy pointer over it) and its preview goes
// on; afterwards the title is the patient's again and the person is told of the missed still.
TEST_F(X11EndToEnd, AWindowWaitingOnASilentPacsShowsThatItSavesAndKeepsItsPreview)
{
    TestPeer silent([](PeerConnection& c) { c.ReadToEnd(120000); });
    ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                        "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
        << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"TRUE\" useVideo=\"TRUE\" "
           "recordLimitTime=\"30\" captureKey=\"32\"/><pacs><MWL ip=\"127.0.0.1\" port=\""
        << silent.port() << "\" aeTitle=\"PACS\" sendDICOM=\"1\"/></pacs></Configruation>";
    std::string window;
    ShowWindow(&window, "", true);
    if (window.empty())
        return;
    const unsigned long id = std::stoul(window);
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key space");
    ASSERT_TRUE(StillsComeTo(1));
    m_xvfb.Xdotool("mousemove --window " + window + " 300 300");
    // As above: the module learns of the focus from its own X events.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_xvfb.Xdotool("keydown ctrl key s keyup ctrl");
    // The save waits on the PACS from here until the send's bound.
    ASSERT_TRUE(Eventually([&] { return silent.accepted() > 0; }));
    std::string type;
    auto title = [&] { return m_xvfb.TextProperty(id, "_NET_WM_NAME", &type); };
    EXPECT_EQ(title(), "영상얻기 (12345-홍길동) - 저장 중...");
    // The busy pointer, set over the window as the save began (compared below with the one
    // the window shows afterwards at the same place). The cursor theme's busy pointer is
    // animated: until its first frame's time is up, a few milliseconds, the server answers
    // XFixes with a 1x1 stand-in, and the PACS may take the connection sooner than that.
    std::vector<unsigned long> busy;
    EXPECT_TRUE(Eventually([&] {
        busy = m_xvfb.PointerImage();
        return busy.size() > 4 && busy[0] > 1;
    }));
    // The preview's pictures (each frame carries its number) keep reaching the screen while
    // the window still says that it saves.
    const std::string first = m_dir.Native("saving-1.png"), next = m_dir.Native("saving-2.png");
    ASSERT_TRUE(m_xvfb.Screenshot(first));
    const std::string firstBytes = RunCommand("md5sum < '" + first + "'");
    bool changed = false;
    for (int i = 0; i < 100 && !changed; ++i) {
        m_xvfb.Screenshot(next);
        changed = RunCommand("md5sum < '" + next + "'") != firstBytes;
    }
    EXPECT_TRUE(changed);
    EXPECT_EQ(title(), "영상얻기 (12345-홍길동) - 저장 중...");
    // Once the send gives up, the missed still is told; the title is the patient's again.
    std::string said;
    const std::string box = ShownWindowNamed("^PACS 전송 오류$", &said);
    ASSERT_FALSE(box.empty()) << said;
    EXPECT_EQ(title(), "영상얻기 (12345-홍길동)");
    m_xvfb.Xdotool("windowfocus --sync " + box);
    m_xvfb.Xdotool("key Escape");
    EXPECT_TRUE(Eventually([&] { return m_xvfb.Xdotool("search --onlyvisible --name '^PACS 전송 오류$'") != 0; }));
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"1"});
    m_xvfb.Xdotool("mousemove --window " + window + " 310 310 mousemove --window " + window + " 300 300");
    std::vector<unsigned long> normal;
    EXPECT_TRUE(Eventually([&] { return (normal = m_xvfb.PointerImage()) != busy; }));
    EXPECT_TRUE(busy.size() > 4 && busy[0] > 1 && normal.size() > 4 && normal[0] > 1);
    CloseWindow(window);
}

// Space, and a click on the still button, pressed while a save waits on a silent PACS are not
// lost: once the save and its box are over, one still is taken for them (a person presses
// again when nothing seems to happen), filed and listed like any other.
TEST_F(X11EndToEnd, AStillAskedForWhileASaveWaitsOnThePacsIsTakenOnceWhenItEnds)
{
    // Two saves meet a PACS that never answers; the last one's send is refused at once.
    auto silent = [](PeerConnection& c) { c.ReadToEnd(120000); };
    TestPeer pacs({silent, silent, [](PeerConnection& c) { c.Reset(); }});
    ASSERT_TRUE(UsePacs(pacs.port(), "saveWhenClose=\"TRUE\" useVideo=\"TRUE\" recordLimitTime=\"30\" captureKey=\"32\""));
    std::string window;
    ShowWindow(&window, "", true);
    if (window.empty())
        return;
    const unsigned long id = std::stoul(window);
    std::string type;
    auto title = [&] { return m_xvfb.TextProperty(id, "_NET_WM_NAME", &type); };
    // Ctrl+S, `press` twice while the window says it saves (the refused send of the last save
    // is over at once), then the box of the missed still answered.
    auto saveWhilePressing = [&](const std::string& press) {
        const int sends = pacs.accepted();
        m_xvfb.Xdotool("windowfocus --sync " + window);
        m_xvfb.Xdotool("keydown ctrl key s keyup ctrl");
        EXPECT_TRUE(Eventually([&] { return pacs.accepted() > sends; }));
        if (!press.empty()) {
            EXPECT_TRUE(Eventually([&] { return title() == "영상얻기 (12345-홍길동) - 저장 중..."; })) << title();
            m_xvfb.Xdotool(press);
            m_xvfb.Xdotool(press);
        }
        std::string said;
        const std::string box = ShownWindowNamed("^PACS 전송 오류$", &said);
        EXPECT_FALSE(box.empty()) << said;
        m_xvfb.Xdotool("windowfocus --sync " + box);
        m_xvfb.Xdotool("key Escape");
        EXPECT_TRUE(Eventually([&] { return m_xvfb.Xdotool("search --onlyvisible --name '^PACS 전송 오류$'") != 0; }));
    };
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key space");
    ASSERT_TRUE(StillsComeTo(1));
    saveWhilePressing("key space");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"1"});
    ASSERT_TRUE(StillsComeTo(1));
    saveWhilePressing("mousemove --window " + window + " 103 50 click 1");  // the still button
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"2"});
    ASSERT_TRUE(StillsComeTo(1));
    // Saved before the close, which would otherwise save it and tell of the refused send.
    saveWhilePressing("");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"3"});
    EXPECT_EQ(Stills(), 0);
    CloseWindow(window);
}

// The pointer rests on another patient's tab (highlighted) and then leaves the window over
// its right edge, by the strip, to the desktop: the tab is drawn plain again without the
// pointer coming back.
TEST_F(X11EndToEnd, ATabHoveredAsThePointerLeavesTheWindowIsNoLongerHighlighted)
{
    // Another patient's still in the store: the window opens with that patient's tab too.
    const std::string folder = Clinic() + "/temp/image/67890/Endo/20240105";
    fs::create_directories(folder);
    std::ofstream(folder + "/100000000.bmp", std::ios::binary) << MakeBmp(320, 240, 24, {}, [](int x, int y) {
        return static_cast<uint32_t>(x * 7 + y);
    });
    std::ofstream(folder + "/info.xml") << "<?xml version=\"1.0\"?><QUIVA><patient chartNo=\"67890\">B</patient></QUIVA>";
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    std::string said;
    m_xvfb.Xdotool("getwindowgeometry --shell " + window, &said);
    int x = 0, y = 0;
    std::sscanf(said.c_str(), "WINDOW=%*d X=%d Y=%d", &x, &y);
    // A row of pixels across the tab "67890-B", the second of the strip's row.
    auto tab = [&] {
        std::vector<unsigned long> row;
        for (int dx = 690; dx < 740; dx += 2)
            row.push_back(m_xvfb.ScreenPixel(x + dx, y + 92));
        return row;
    };
    m_xvfb.MovePointer(x + 300, y + 300);
    const std::vector<unsigned long> plain = tab();
    m_xvfb.MovePointer(x + 712, y + 92);
    EXPECT_TRUE(Eventually([&] { return tab() != plain; }));
    m_xvfb.MovePointer(x + 900, y + 92);
    EXPECT_TRUE(Eventually([&] { return tab() == plain; }));
    CloseWindow(window);
}

// Without a window manager the X focus reverts to the root window when the focused capture window
// closes, and nothing else moves it. The next capture window, in a new start of the host, takes
// the focus when it shows and after a click on it; a key typed while the root window has the
// focus and the pointer is over the window acts once all the same.
TEST_F(X11EndToEnd, WithNoWindowManagerTheNextCaptureWindowTakesEachKeyOnce)
{
    std::string first;
    ShowWindow(&first);
    if (first.empty())
        return;
    m_xvfb.Xdotool("windowfocus --sync " + first);
    m_xvfb.Xdotool("mousemove --window " + first + " 20 50 click 1");  // the close button
    HostRun run = m_host.get();
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(m_xvfb.FocusedWindow(), m_xvfb.Root());

    std::string second;
    StartHost(&second);
    ASSERT_FALSE(second.empty());
    const unsigned long secondId = std::strtoul(second.c_str(), nullptr, 10);
    auto focusIs = [&](unsigned long wanted) { return Eventually([&] { return m_xvfb.FocusedWindow() == wanted; }); };
    EXPECT_TRUE(focusIs(secondId)) << m_xvfb.FocusedWindow();
    // The pointer over the window, one Space: one still.
    m_xvfb.Xdotool("mousemove --window " + second + " 288 330");
    m_xvfb.Xdotool("key space");
    EXPECT_TRUE(StillsComeTo(1));

    // The root window focused with the pointer over the window: the key comes through the
    // window's own key events only.
    m_xvfb.FocusRoot();
    m_xvfb.Xdotool("key space");
    EXPECT_TRUE(StillsComeTo(2));
    // A click on the active window gives it the focus back.
    m_xvfb.Xdotool("mousemove --window " + second + " 288 330 click 1");
    EXPECT_TRUE(focusIs(secondId)) << m_xvfb.FocusedWindow();
    m_xvfb.Xdotool("key space");
    EXPECT_TRUE(StillsComeTo(3));

    m_xvfb.Xdotool("mousemove --window " + second + " 20 50 click 1");
    run = m_host.get();
    EXPECT_EQ(run.status, 0) << run.output;
}

// Dialogs by keyboard, with no window manager: Escape cancels the settings dialog, and Enter, the
// main key or the keypad's, presses the one button of a message box (here the one telling that
// an AE title is too long), which leaves the dialog standing.
TEST_F(X11EndToEnd, EnterPressesAMessageBoxsButtonAndEscapeCancelsTheSettingsDialog)
{
    // The PACS functions on: the dialog offers its "PACS연동" page.
    ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                        "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    std::string said;
    auto shown = [&](const std::string& title) {
        return m_xvfb.Xdotool("search --onlyvisible --name '^" + title + "$'", &said) == 0;
    };
    auto openSettings = [&] {
        m_xvfb.Xdotool("mousemove --window " + window + " 658 50 click 1");
        return Eventually([&] { return shown("설정"); });
    };
    ASSERT_TRUE(openSettings()) << said;
    m_xvfb.Xdotool("key Escape");
    EXPECT_TRUE(Eventually([&] { return !shown("설정"); })) << said;

    ASSERT_TRUE(openSettings()) << said;
    const std::string dialog = said.substr(0, said.find('\n'));
    m_xvfb.Xdotool("getwindowgeometry --shell " + dialog, &said);
    int x = 0, y = 0;
    std::sscanf(said.c_str(), "WINDOW=%*d X=%d Y=%d", &x, &y);
    auto click = [&](int dx, int dy) {
        m_xvfb.Xdotool("mousemove --window " + dialog + " " + std::to_string(dx) + " " + std::to_string(dy) + " click 1");
    };
    // The "PACS연동" tab, clicked until the address edit's left edge is drawn.
    const unsigned long before = m_xvfb.ScreenPixel(x + 141, y + 142);
    int polls = 0;
    EXPECT_TRUE(Eventually([&] {
        if (polls++ % 40 == 0)
            click(226, 45);
        return m_xvfb.ScreenPixel(x + 141, y + 142) != before;
    }));
    click(216, 172);  // the AE title
    m_xvfb.Xdotool("key End key --repeat 40 BackSpace");
    m_xvfb.Xdotool("type ABCDEFGHIJKLMNOPQRS");
    for (const char* enter : {"Return", "KP_Enter"}) {
        click(243, 292);  // 적용
        EXPECT_TRUE(Eventually([&] { return shown("PACS연동"); })) << enter;
        m_xvfb.Xdotool(std::string("key ") + enter);
        EXPECT_TRUE(Eventually([&] { return !shown("PACS연동"); })) << enter;
        EXPECT_TRUE(shown("설정")) << enter;
    }
    // Escape closes the dialog; the edit last typed into keeps its text, which was never applied.
    polls = 0;
    EXPECT_TRUE(Eventually([&] {
        if (polls++ % 20 == 0)
            m_xvfb.Xdotool("key Escape");
        return !shown("설정");
    })) << said;
    EXPECT_EQ(RunCommand("grep -c ABCDEFGHIJKLMNOPQRS '" + Clinic() + "/exe/QUIVA.Capture.Config' 2>/dev/null").rfind("0", 0), 0u);

    if (shown("설정"))
        click(384, 14);  // the dialog's close box, for a failed test
    CloseWindow(window);
}

// nabi serves the display as its input method, switched to Hangul and back by Shift+Space: the
// switch, which the input method takes, takes no still, and each Space after a switch takes one.
TEST_F(X11EndToEnd, AKeyTheInputMethodTakesTakesNoStill)
{
    std::string window;
    ShowWindow(&window, "LANG=C.UTF-8 LC_ALL= LC_CTYPE= XMODIFIERS=@im=nabi", false, true);
    if (window.empty())
        return;
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key space");
    ASSERT_TRUE(StillsComeTo(1));
    // Keys are handled in the order typed: once a Space's still is listed, the switch before it
    // has been handled, and a still it took is there too.
    int stills = 1;
    for (int round = 0; round < 3; ++round) {
        for (const char* mode : {"Hangul", "Latin"}) {
            m_xvfb.Xdotool("key shift+space");
            m_xvfb.Xdotool("key space");
            EXPECT_TRUE(StillsComeTo(++stills)) << "round " << round << ", after the switch to " << mode;
        }
    }
    CloseWindow(window);
}

// No window manager. The X focus goes to the root window while the pointer is over the capture
// window, which stays active (the keys come to it); the pointer moves on and another program
// takes the focus: the capture window turns inactive (its caption says so), so a Space typed
// there takes no still with "방해받지 않기" unticked, and Pause takes one.
TEST_F(X11EndToEnd, WithTheFocusTakenFromTheRootWindowByAnotherClientSpaceThereTakesNoStill)
{
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    const auto [x, y] = WindowOrigin(window);
    // The caption's colour, active or not.
    auto caption = [&] { return m_xvfb.ScreenPixel(x + 400, y + 10); };
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("mousemove --window " + window + " 288 330");
    m_xvfb.FocusRoot();
    m_xvfb.Xdotool("key space");
    ASSERT_TRUE(StillsComeTo(1));
    EXPECT_EQ(caption(), 0x324650u);

    m_xvfb.MovePointer(x + 900, y + 300);  // off the window, over the desktop
    const unsigned long other = FocusAnotherClient();
    EXPECT_TRUE(Eventually([&] { return caption() == 0x0A1E28u; })) << std::hex << caption();
    // Keys are handled in the order typed: once Pause's still is there, Space has been seen.
    m_xvfb.Xdotool("key space");
    m_xvfb.Xdotool("key Pause");
    EXPECT_TRUE(StillsComeTo(2));
    EXPECT_EQ(m_xvfb.KeyPressesAt(other), 2);

    CloseWindow(window);
}

// No window manager: a close that saves a still the PACS does not take (nobody listens at its
// port) tells so in a box that takes the keyboard as it shows: Return, typed without a click on
// the box, answers it and the window goes. The box is on the screen only a while after the
// capture window left it (this test's connection maps it, once the capture window is seen gone),
// so the X focus news of the capture window going comes before the box is there to take it.
TEST_F(X11EndToEnd, WithNoWindowManagerTheBoxACloseShowsTakesTheKeyboard)
{
    ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                        "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
    std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
        << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options saveWhenClose=\"TRUE\" recordLimitTime=\"30\" "
           "captureKey=\"32\"/><pacs><MWL ip=\"127.0.0.1\" port=\""
        << UnusedPort() << "\" aeTitle=\"PACS\" sendDICOM=\"1\"/></pacs></Configruation>";
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key space");
    EXPECT_TRUE(StillsComeTo(1));
    m_xvfb.HoldMaps();
    m_xvfb.Xdotool("mousemove --window " + window + " 20 50 click 1");  // the close button
    const unsigned long box = m_xvfb.HeldMap();
    ASSERT_NE(box, 0u);
    std::string said;
    EXPECT_TRUE(Eventually([&] { return m_xvfb.Xdotool("search --onlyvisible --name '^영상얻기 \\(12345-'", &said) != 0; })) << said;
    m_xvfb.MapHeldWindow(box);
    EXPECT_FALSE(ShownWindowNamed("^PACS 전송 오류$", &said).empty()) << said;
    // The box takes the X focus once the server has mapped it and the module has heard so; a
    // key typed before that is the root window's (a person sees the box first, then answers).
    std::string focused;
    EXPECT_TRUE(Eventually([&] {
        return m_xvfb.Xdotool("getwindowfocus", &focused) == 0 && std::strtoul(focused.c_str(), nullptr, 10) == box;
    })) << focused;
    m_xvfb.Xdotool("key Return");
    const bool answered = Eventually([&] { return m_xvfb.Xdotool("search --onlyvisible --name '^PACS 전송 오류$'") != 0; });
    EXPECT_TRUE(answered);
    if (!answered)  // lets the host go on
        m_xvfb.Xdotool("windowfocus --sync " + std::to_string(box) + " key Return");
    HostRun run = m_host.get();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM MIMG"), std::vector<std::string>{"1"});
}

namespace {

// Whether two 0xRRGGBB pixels are far apart in any of their colours.
bool FarApart(unsigned long p, unsigned long q)
{
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((q >> shift) & 0xFF)) > 0x30)
            return true;
    return false;
}

// The rows of a rectangle of the screen (`pixels`, `width` wide) with anything drawn on their
// background, which each row's last pixel gives: how tall the text in it is.
int InkedRows(const std::vector<unsigned long>& pixels, int width)
{
    int rows = 0;
    for (size_t row = 0; (row + 1) * static_cast<size_t>(width) <= pixels.size(); ++row) {
        const auto first = pixels.begin() + static_cast<long>(row * static_cast<size_t>(width));
        const unsigned long background = *(first + width - 1);
        rows += std::any_of(first, first + width, [&](unsigned long p) { return FarApart(p, background); });
    }
    return rows;
}

}  // namespace

// The capture window names the program and its class to the X server (WM_CLASS). The study
// combo shows its study as tall as its list shows it; a kept still's caption begins clear of the
// frame round its cell, its first character whole.
TEST_F(X11EndToEnd, TheStudyComboAndTheStripShowTheirTextWhole)
{
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    const unsigned long id = std::stoul(window);
    std::string type;
    EXPECT_EQ(m_xvfb.TextProperty(id, "WM_CLASS", &type), std::string("quiva-host\0QUIVACaptureWnd\0", 27));
    std::string said;
    m_xvfb.Xdotool("getwindowgeometry --shell " + window, &said);
    int x = 0, y = 0;
    std::sscanf(said.c_str(), "WINDOW=%*d X=%d Y=%d", &x, &y);
    m_xvfb.Xdotool("windowfocus --sync " + window);
    m_xvfb.Xdotool("key space");
    ASSERT_TRUE(StillsComeTo(1));

    // The cell's frame: its top left corner is the first pixel of its colour in the strip.
    const int stripLeft = x + 580, stripTop = y + 100;
    const std::vector<unsigned long> strip = m_xvfb.ScreenPixels(stripLeft, stripTop, 220, 200);
    ASSERT_EQ(strip.size(), 220u * 200u);
    const auto corner = std::find(strip.begin(), strip.end(), 0xFFFFDCul);
    ASSERT_NE(corner, strip.end());
    const int frameX = stripLeft + static_cast<int>((corner - strip.begin()) % 220);
    const int frameY = stripTop + static_cast<int>((corner - strip.begin()) / 220);
    int inner = frameX;
    while (m_xvfb.ScreenPixel(inner, frameY + 30) == 0xFFFFDCul)
        ++inner;
    // The caption bar's rows below the frame: the column next to the frame is the bar's shade
    // (black at alpha 160 over the picture, 0x5F at the brightest), no stroke of a character.
    for (int row = frameY + 3; row < frameY + 20; ++row) {
        const unsigned long p = m_xvfb.ScreenPixel(inner, row);
        EXPECT_TRUE(((p >> 16) & 0xFF) <= 0x5F && ((p >> 8) & 0xFF) <= 0x5F && (p & 0xFF) <= 0x5F)
            << "row " << row - frameY << ": " << std::hex << p;
    }

    // The combo's text, then the same study in the list it drops down (whose first row it is).
    const int comboTextRows = InkedRows(m_xvfb.ScreenPixels(x + 176, y + 37, 160, 28), 160);
    m_xvfb.Xdotool("mousemove --window " + window + " 270 50 click 1");
    int listTextRows = 0;
    EXPECT_TRUE(Eventually([&] {
        // The list, below the combo: its first row's text, clear of the list's edges.
        return InkedRows(m_xvfb.ScreenPixels(x + 176, y + 69, 170, 22), 170) > 0;
    }));
    listTextRows = InkedRows(m_xvfb.ScreenPixels(x + 176, y + 69, 170, 22), 170);
    m_xvfb.Xdotool("mousemove --window " + window + " 270 80 click 1");  // the same study again
    EXPECT_GT(comboTextRows, 0);
    EXPECT_NEAR(comboTextRows, listTextRows, 1);

    CloseWindow(window);
}

// The settings dialog by keys alone, with no window manager. Ctrl+Tab and Ctrl+Shift+Tab walk
// its pages, round; Tab walks every control of a page, round: the arrow keys move a colour
// slider, Enter presses a button, Space ticks a box, Up, Down, Home and End choose in a list;
// Enter in the study-name edit adds the name; the question before a deletion takes Tab and
// Enter; and one Escape in an edit being typed into closes the dialog as its close button does,
// keeping what was typed.
TEST_F(X11EndToEnd, TheSettingsDialogIsWalkedAndUsedByKeysAlone)
{
    ASSERT_TRUE(Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                        "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"));
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    std::string said;
    auto shown = [&](const std::string& title) {
        return m_xvfb.Xdotool("search --onlyvisible --name '^" + title + "$'", &said) == 0;
    };
    m_xvfb.Xdotool("mousemove --window " + window + " 658 50 click 1");  // the settings button
    ASSERT_TRUE(Eventually([&] { return shown("설정"); })) << said;
    const std::string dialog = said.substr(0, said.find('\n'));
    auto keys = [&](const std::string& typed) { m_xvfb.Xdotool("key --delay 40 " + typed); };
    const std::string exe = Clinic() + "/exe/";
    auto file = [&](const std::string& name) { return RunCommand("cat '" + exe + name + "' 2>/dev/null"); };
    auto studies = [&](const std::string& like) {
        return Rows("SELECT SETUPSECT FROM FOPTION WHERE SETUPROOM = 'CATAGORY' AND SETUPSECT LIKE '" + like + "'");
    };

    // "색상조정", the first page: the hue three steps up, stored by "설정저장", two controls
    // back round from the first slider.
    keys("Tab Right Right Right shift+Tab shift+Tab Return");
    EXPECT_TRUE(Eventually([&] { return file("QUIVA.Capture.Device.Config").find("hue=\"3\"") != std::string::npos; }))
        << file("QUIVA.Capture.Device.Config");

    // Back round past "환경설정" and "PACS연동" to "검사이름 관리": a name typed and entered.
    keys("ctrl+shift+Tab ctrl+shift+Tab ctrl+shift+Tab Tab Tab");
    m_xvfb.Xdotool("type Keyboard-1");
    keys("Return");
    EXPECT_TRUE(Eventually([&] { return studies("Keyboard-%") == std::vector<std::string>{"Keyboard-1"}; }));
    // The list, its last name (the one added), and "삭제", past the edit, "추가" and "수정":
    // the question's Tab moves from "아니오" round to "예", which Enter presses.
    keys("shift+Tab End Tab Tab Tab Tab Return");
    EXPECT_TRUE(Eventually([&] { return shown("검사이름 삭제확인"); })) << said;
    keys("Tab Return");
    EXPECT_TRUE(Eventually([&] { return studies("Keyboard-%").empty(); }));
    EXPECT_TRUE(Eventually([&] { return !shown("검사이름 삭제확인"); })) << said;

    // "PACS연동": the box turned over by Space, the server typed into the edits that follow it and
    // applied by Enter on "적용".
    const std::string sent = file("QUIVA.Capture.Config").find("sendDICOM=\"1\"") != std::string::npos ? "0" : "1";
    keys("ctrl+Tab Tab space Tab");
    m_xvfb.Xdotool("type 127.0.0.1");
    keys("Tab");
    m_xvfb.Xdotool("type STORE_SCP");
    keys("Tab");
    m_xvfb.Xdotool("type 104");
    keys("Tab Tab Return");
    EXPECT_TRUE(Eventually([&] { return file("QUIVA.Capture.Config").find("aeTitle=\"STORE_SCP\"") != std::string::npos; }))
        << file("QUIVA.Capture.Config");
    EXPECT_NE(file("QUIVA.Capture.Config").find("sendDICOM=\"" + sent + "\""), std::string::npos) << file("QUIVA.Capture.Config");

    // "환경설정": the longest recording typed; one Escape closes the dialog and the page stores
    // the time as typed.
    keys("ctrl+Tab Tab Tab");
    m_xvfb.Xdotool("type 45");
    keys("Escape");
    EXPECT_TRUE(Eventually([&] { return !shown("설정"); })) << said;
    EXPECT_TRUE(Eventually([&] { return file("QUIVA.Capture.Config").find("recordLimitTime=\"45\"") != std::string::npos; }))
        << file("QUIVA.Capture.Config");
    EXPECT_EQ(Stills(), 0);

    if (shown("설정"))
        m_xvfb.Xdotool("mousemove --window " + dialog + " 384 14 click 1");  // the close box, for a failed test
    CloseWindow(window);
}

// The capture window's drop-down and enlarged still by keys: in the open study list Down and
// Enter choose the next study, under which the next still is filed, and Escape leaves the study
// as it was wherever Down had gone; a still enlarged by a double click closes with Escape.
TEST_F(X11EndToEnd, TheStudyListAndTheEnlargedStillAreUsedByKeys)
{
    std::string window;
    ShowWindow(&window);
    if (window.empty())
        return;
    m_xvfb.Xdotool("windowfocus --sync " + window);
    auto keys = [&](const std::string& typed) { m_xvfb.Xdotool("key --delay 40 " + typed); };
    // The shown windows (a drop-down or an enlarged still is one of them while it is open).
    auto windows = [&] {
        std::string list;
        m_xvfb.Xdotool("search --onlyvisible --maxdepth 1 --name ''", &list);
        return static_cast<int>(std::count(list.begin(), list.end(), '\n'));
    };
    const int alone = windows();
    auto openList = [&] {
        m_xvfb.Xdotool("mousemove --window " + window + " 355 50 click 1");  // the study list's arrow
        return Eventually([&] { return windows() > alone; });
    };
    auto studyFolders = [&](const std::string& study) {
        int n = 0;
        for (const std::string& f : FilesBelow("temp/image"))
            n += f.find("/" + study + "/") != std::string::npos && f.ends_with(".jpg");
        return n;
    };

    // "위내시경" is shown: Down and Enter choose "대장내시경".
    ASSERT_TRUE(openList()) << alone;
    keys("Down Return");
    EXPECT_TRUE(Eventually([&] { return windows() == alone; }));
    keys("space");
    EXPECT_TRUE(StillsComeTo(1));
    EXPECT_EQ(studyFolders("대장내시경"), 1);
    // Down to the last entry ("검사이름관리", which would open the study-name dialog) and Escape:
    // the study stays.
    ASSERT_TRUE(openList());
    keys("Down Down Escape");
    EXPECT_TRUE(Eventually([&] { return windows() == alone; }));
    keys("space");
    EXPECT_TRUE(StillsComeTo(2));
    EXPECT_EQ(studyFolders("대장내시경"), 2);

    // The first still, enlarged by a double click on its cell, closes with Escape.
    m_xvfb.Xdotool("mousemove --window " + window + " 690 200 click --repeat 2 --delay 80 1");
    EXPECT_TRUE(Eventually([&] { return windows() > alone; }));
    keys("Escape");
    EXPECT_TRUE(Eventually([&] { return windows() == alone; }));

    CloseWindow(window);
}

namespace {

// A rectangle of a screen picture: columns left to right and rows top to bottom, inclusive.
struct Box {
    int left = 0, top = 0, right = -1, bottom = -1;
    bool empty() const { return right < left; }
    int width() const { return right - left + 1; }
    int height() const { return bottom - top + 1; }
};

std::ostream& operator<<(std::ostream& out, const Box& b)
{
    return out << "(" << b.left << "," << b.top << ")-(" << b.right << "," << b.bottom << ")";
}

// What is drawn on `background` in a rectangle of the screen (`pixels`, `width` wide), from
// column `from` on: the box round the pixels far from the background, in the rectangle's
// coordinates. A caret, the background inverted bit by bit, counts for nothing.
Box InkBox(const std::vector<unsigned long>& pixels, int width, unsigned long background, int from = 0)
{
    const unsigned long caret = ~background & 0xFFFFFF;
    Box box{width, static_cast<int>(pixels.size()), -1, -1};
    for (size_t i = 0; i < pixels.size(); ++i) {
        const int column = static_cast<int>(i % static_cast<size_t>(width)), row = static_cast<int>(i / static_cast<size_t>(width));
        if (column < from || !FarApart(pixels[i], background) || pixels[i] == caret)
            continue;
        box = Box{std::min(box.left, column), std::min(box.top, row), std::max(box.right, column), std::max(box.bottom, row)};
    }
    return box.empty() ? Box{} : box;
}

// The inside of an edit (screen coordinates) and its background, as the screen shows it round a
// point of it right of its text.
struct EditInside {
    int left = 0, top = 0, width = 0, height = 0;
    unsigned long background = 0;
    // What is drawn inside it from column `from` on.
    Box Ink(XvfbServer& xvfb, int from = 0) const
    {
        return InkBox(xvfb.ScreenPixels(left, top, width, height), width, background, from);
    }
};

EditInside EditInsideAt(XvfbServer& xvfb, int insideX, int insideY)
{
    EditInside edit;
    edit.background = xvfb.ScreenPixel(insideX, insideY);
    auto reach = [&](int px, int py, int dx, int dy) {  // how far the background goes on from a point
        int n = 0;
        while (n < 300 && !FarApart(xvfb.ScreenPixel(px + (n + 1) * dx, py + (n + 1) * dy), edit.background))
            ++n;
        return n;
    };
    edit.top = insideY - reach(insideX, insideY, 0, -1);
    edit.height = insideY + reach(insideX, insideY, 0, 1) - edit.top + 1;
    edit.left = insideX - reach(insideX, edit.top, -1, 0);
    edit.width = insideX + reach(insideX, edit.top, 1, 0) - edit.left + 1;
    return edit;
}

}  // namespace

// nabi serves the display and hands the program the syllable being composed. In the study-name
// edit of the settings dialog, reached by keys alone, a syllable being composed shows as the
// edit shows its text: on the edit's text line, clear of its top edge, as tall as a committed
// syllable, where it stands once committed; the names entered hold each syllable once, also
// after a composition taken back by BackSpace.
TEST_F(X11EndToEnd, ASyllableBeingComposedShowsInTheEditsOwnFontAndLine)
{
    std::string window;
    const std::string dialog = SettingsUnderInputMethod(&window);
    if (dialog.empty())
        return;
    const auto [x, y] = WindowOrigin(dialog);
    auto keys = [&](const std::string& typed) { m_xvfb.Xdotool("key --delay 40 " + typed); };
    auto studies = [&] {
        return Rows("SELECT SETUPSECT FROM FOPTION WHERE SETUPROOM = 'CATAGORY' AND SETUPSECT LIKE '하%' ORDER BY SETUPSECT");
    };
    const std::string pictures = std::string(QUIVA_BINARY_DIR) + "/reference-pictures";
    fs::create_directories(pictures);

    // "검사이름 관리", two pages on, and its name edit, two controls on; nabi switched to Hangul
    // by Shift+Space and back, which commits 하 ("g k"), and the name entered.
    keys("ctrl+Tab ctrl+Tab Tab Tab shift+space g k shift+space Return");
    EXPECT_TRUE(Eventually([&] { return studies() == std::vector<std::string>{"하"}; }));
    // The edit's inner rectangle, round a point of it right of its text.
    const EditInside edit = EditInsideAt(m_xvfb, x + 178, y + 321);
    const int width = edit.width, height = edit.height;
    ASSERT_GT(height, 10);
    auto ink = [&](int from) { return edit.Ink(m_xvfb, from); };
    Box committed;
    EXPECT_TRUE(Eventually([&] { return !(committed = ink(0)).empty(); }));
    ASSERT_FALSE(committed.empty());

    // A second 하 composed after it: beside the first, as the first shows.
    keys("shift+space g k");
    Box composing;
    auto likeCommitted = [&](const Box& b) {
        return !b.empty() && std::abs(b.top - committed.top) <= 1 && std::abs(b.bottom - committed.bottom) <= 1 &&
               std::abs(b.width() - committed.width()) <= 1;
    };
    EXPECT_TRUE(Eventually([&] { return likeCommitted(composing = ink(committed.right + 1)); }))
        << "composing " << composing << ", committed " << committed << " in the edit's " << width << "x" << height;
    m_xvfb.Screenshot(pictures + "/x11-syllable-composed.png");
    EXPECT_GT(composing.top, 1) << composing;
    EXPECT_LT(composing.bottom, height - 1) << composing;
    // Committed, it stays where it was composed.
    keys("shift+space Return");
    EXPECT_TRUE(Eventually([&] { return studies() == std::vector<std::string>{"하", "하하"}; }));
    EXPECT_TRUE(Eventually([&] {
        const Box b = ink(committed.right + 1);
        return b.left == composing.left && b.top == composing.top && b.right == composing.right && b.bottom == composing.bottom;
    })) << composing;

    // A third committed by the next syllable's first key, and that one taken back jamo by jamo:
    // the name holds the third once and no trace of the fourth.
    keys("shift+space g k g k BackSpace BackSpace shift+space a Return");
    EXPECT_TRUE(Eventually([&] { return studies() == std::vector<std::string>{"하", "하하", "하하하a"}; }))
        << ::testing::PrintToString(studies());

    m_xvfb.Xdotool("mousemove --window " + dialog + " 384 14 click 1");  // the dialog's close box
    CloseWindow(window);
}

// A syllable being composed when the keys go to another control, or to another program, or when
// a click moves the caret in its own edit, stays in the edit where it was typed, once, as it
// showed there: "추가" clicked enters it, and the input method does not go on with it when the
// person types into the edit again (ㅁ typed gives ㅁ, not 함); Tab to "추가" and Enter there
// enter the syllable once.
TEST_F(X11EndToEnd, ASyllableBeingComposedStaysInItsEditWhenTheKeysGoElsewhere)
{
    std::string window;
    const std::string dialog = SettingsUnderInputMethod(&window);
    if (dialog.empty())
        return;
    auto keys = [&](const std::string& typed) { m_xvfb.Xdotool("key --delay 40 " + typed); };
    auto click = [&](int dx, int dy) {
        m_xvfb.Xdotool("mousemove --window " + dialog + " " + std::to_string(dx) + " " + std::to_string(dy) + " click 1");
    };
    auto added = [&] {
        return Rows("SELECT SETUPSECT FROM FOPTION WHERE SETUPROOM = 'CATAGORY' AND SETUPSECT NOT LIKE '%내시경' ORDER BY SETUPSECT");
    };

    // "검사이름 관리" and its name edit by keys; 하 being composed there ("g k" in Hangul) when
    // "추가" is clicked.
    keys("ctrl+Tab ctrl+Tab Tab Tab shift+space g k");
    click(325, 111);
    EXPECT_TRUE(Eventually([&] { return added() == std::vector<std::string>{"하"}; }))
        << ::testing::PrintToString(added());
    // Back in the edit, which chooses its text, ㅁ typed and entered.
    click(178, 321);
    keys("a shift+space Return");
    EXPECT_TRUE(Eventually([&] { return added() == std::vector<std::string>{"ㅁ", "하"}; }))
        << ::testing::PrintToString(added());
    // 하 composed after it, Tab to "추가" and Enter there.
    keys("shift+space g k Tab Return");
    EXPECT_TRUE(Eventually([&] { return added() == std::vector<std::string>{"ㅁ", "ㅁ하", "하"}; }))
        << ::testing::PrintToString(added());
    // 하 composed after the edit's text (the edit chooses its text when clicked; End goes past
    // it). The keys go elsewhere once the syllable shows: the input method hands it over a
    // moment after its keys.
    const auto [x, y] = WindowOrigin(dialog);
    const EditInside edit = EditInsideAt(m_xvfb, x + 178, y + 321);
    auto composeAfterTheText = [&](const std::string& typed) {
        Box text;
        EXPECT_TRUE(Eventually([&] { return !(text = edit.Ink(m_xvfb)).empty(); }));
        click(178, 321);
        keys(typed);
        EXPECT_TRUE(Eventually([&] { return edit.Ink(m_xvfb, text.right + 2).right > text.right + 4; }));
    };
    // A click inside the same edit while 하 is composed there: ㅁ typed after it is a syllable of
    // its own, and 하 is neither carried along nor left behind twice.
    composeAfterTheText("End g k");
    click(178, 321);
    keys("a shift+space Return");
    EXPECT_TRUE(Eventually([&] { return added() == std::vector<std::string>{"ㅁ", "ㅁ하", "ㅁ하하ㅁ", "하"}; }))
        << ::testing::PrintToString(added());
    // The same when another program takes the keys and a click brings them back: on a busy
    // machine the window may hear of the focus going and coming back together, with the click.
    composeAfterTheText("End shift+space g k");  // Hangul again: Shift+Space above left it
    FocusAnotherClient();
    click(178, 321);
    keys("a shift+space Return");
    EXPECT_TRUE(Eventually([&] {
        return added() == std::vector<std::string>{"ㅁ", "ㅁ하", "ㅁ하하ㅁ", "ㅁ하하ㅁ하ㅁ", "하"};
    })) << ::testing::PrintToString(added());

    click(384, 14);  // the dialog's close box
    CloseWindow(window);
}
