// Starts a private Xvfb server on a free display number for one test.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

struct _XDisplay;  // Xlib's Display

namespace quiva::test {

class XvfbServer {
public:
    XvfbServer() = default;
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // False when Xvfb is not installed or does not come up; `why` says which.
    bool Start(int width, int height, std::string* why);
    const std::string& display() const { return m_display; }
    // Whether a missing Xvfb must fail the test rather than skip it (in CI).
    static bool Required();

    // Through a connection of the test's own: one pixel of the screen as 0xRRGGBB, a left
    // click sent by the server to an X window (window and root coordinates), and a wait
    // until the server has handled every request.
    unsigned long ScreenPixel(int x, int y);
    // A rectangle of the screen as 0xRRGGBB pixels, row by row (empty when it cannot be read).
    std::vector<unsigned long> ScreenPixels(int x, int y, int width, int height);
    void SendClick(unsigned long window, int x, int y, int rootX, int rootY);
    // A key (an X key symbol name such as "space" or "Alt_L") pressed or released, sent by the
    // server to an X window.
    void SendKey(unsigned long window, const char* keysym, bool down);
    void Sync();
    // A window of this connection (another X client than the window system), mapped and given
    // the input focus; then the key presses that reached it so far.
    unsigned long OpenFocusedWindow(int x, int y, int width, int height);
    int KeyPressesAt(unsigned long window);
    // Turns the server's key auto-repeat on (as "xset r on" does) and has this connection hear
    // the key presses the server gives `window` too, another client's or its own, which
    // KeyPressesAt then counts: a key held down there reaches it again at each repeat. False when
    // the server's repeat is not on.
    bool HearKeyRepeatsAt(unsigned long window);
    // The window holding the X input focus (1: the window under the pointer, 0: none), and the
    // focus given to the root window, as when the focused window of a closed program reverted it.
    unsigned long FocusedWindow();
    unsigned long Root();
    void FocusRoot();
    // Runs xdotool on this display with `arguments`; its exit status (-1: not installed).
    int Xdotool(const std::string& arguments, std::string* said = nullptr);
    // The whole screen as a PNG file, as the server shows it.
    bool Screenshot(const std::string& pngPath);
    // A 32-bit property of an X window (CARDINAL values), empty when the window has none.
    std::vector<unsigned long> CardinalProperty(unsigned long window, const char* name);
    // Gives an X window a property of type WINDOW naming `named`, and destroys a window of this
    // connection (OpenFocusedWindow).
    void PutWindowProperty(unsigned long window, const char* name, unsigned long named);
    void DestroyOwnWindow(unsigned long window);
    // An 8-bit property of an X window as its bytes, and the name of its type ("" when the
    // window has no such property).
    std::string TextProperty(unsigned long window, const char* name, std::string* type);
    // Whether window managers leave an X window alone (its override-redirect attribute).
    bool OverrideRedirect(unsigned long window);
    // Gives each character of UTF-8 `text` a key of its own in the server's keyboard map (keys
    // that had none), so that xdotool types it without remapping a key while it types.
    bool BindCharacters(const std::string& text);
    // The pointer's shape as the server shows it now: width, height, hot spot, then its ARGB
    // pixels; and that of a shape of the X cursor font (X11/cursorfont.h), shown for the
    // purpose over a window of this connection at the screen's top left corner.
    std::vector<unsigned long> PointerImage();
    std::vector<unsigned long> FontCursorImage(unsigned shape);
    // Moves the pointer to a point of the screen.
    void MovePointer(int x, int y);
    // Has this connection map the windows other clients ask to map, as a window manager does, but
    // only when told (MapHeldWindow); the server no longer maps them itself. Then the window whose
    // mapping waits, once one does (0 when none came within the bound), and its mapping.
    void HoldMaps();
    unsigned long HeldMap();
    void MapHeldWindow(unsigned long window);
    // Runs openbox as the display's window manager until the server goes; false with `why`
    // when it is not installed or does not take the display.
    bool StartWindowManager(std::string* why);
    // Runs nabi as the display's input method (XMODIFIERS=@im=nabi), with `home` as its home
    // folder, until the server goes; false with `why` when it is not installed or does not serve.
    bool StartInputMethod(const std::string& home, std::string* why);

private:
    void* Connection();
    pid_t StartClient(const char* program, const std::vector<std::string>& arguments, const std::string& home,
                      const std::function<bool(_XDisplay*)>& ready, std::string* why);
    void ReadProperty(unsigned long window, const char* name, int format,
                      const std::function<void(const unsigned char*, unsigned long, const std::string&)>& take);
    pid_t m_pid = 0;
    pid_t m_windowManager = 0;
    pid_t m_inputMethod = 0;
    std::map<unsigned long, int> m_keyPresses;
    void* m_connection = nullptr;
    std::string m_display;
};

// A private Xvfb with the window system switched to its X11 display for one test; the
// headless display comes back afterwards.
class X11Session {
public:
    X11Session() = default;
    ~X11Session();
    // False with `why` when there is no X server to use.
    bool Start(int width, int height, std::string* why);
    XvfbServer& server() { return m_server; }

private:
    XvfbServer m_server;
    std::unique_ptr<class ScopedEnv> m_display;
    std::unique_ptr<class ScopedEnv> m_headless;
    bool m_started = false;
};

// Pumps the calling thread's messages until `done` holds or about a minute passed.
bool PumpUntil(const std::function<bool()>& done);

}  // namespace quiva::test

// Starts an X11Session, or skips the test when no Xvfb can be had (fails it in CI).
#define QUIVA_X11_SESSION_OR_SKIP(session, width, height)     \
    do {                                                      \
        std::string why_;                                     \
        if (!(session).Start((width), (height), &why_)) {     \
            if (::quiva::test::XvfbServer::Required())        \
                FAIL() << why_;                               \
            GTEST_SKIP() << why_;                             \
        }                                                     \
    } while (0)
