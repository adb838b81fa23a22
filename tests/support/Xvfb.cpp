#include "tests/support/Xvfb.h"

#include "platform/base/codepage.h"
#include "platform/ui/uisystem.h"
#include "tests/support/Command.h"
#include "tests/support/TempDir.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <png.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

namespace quiva::test {

namespace {
bool Exists(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}
std::string FindXvfb()
{
    for (const char* p : {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"})
        if (access(p, X_OK) == 0)
            return p;
    return "";
}
}  // namespace

bool XvfbServer::Required()
{
    const char* ci = std::getenv("CI");
    return ci && *ci && std::string(ci) != "0" && std::string(ci) != "false";
}

bool XvfbServer::Start(int width, int height, std::string* why)
{
    std::string xvfb = FindXvfb();
    if (xvfb.empty()) {
        *why = "Xvfb is not installed";
        return false;
    }
    for (int n = 90 + static_cast<int>(getpid() % 400); n < 1000; ++n) {
        std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        std::string sock = "/tmp/.X11-unix/X" + std::to_string(n);
        if (Exists(lock) || Exists(sock))
            continue;
        std::string display = ":" + std::to_string(n);
        std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
        pid_t pid = fork();
        if (pid < 0)
            break;
        if (pid == 0) {
            execl(xvfb.c_str(), "Xvfb", display.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp",
                  "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            int status;
            if (waitpid(pid, &status, WNOHANG) == pid)
                break;  // it died: the number was taken after all
            Display* d = XOpenDisplay(display.c_str());
            if (d) {
                XCloseDisplay(d);
                m_pid = pid;
                m_display = display;
                return true;
            }
        }
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    *why = "Xvfb did not start";
    return false;
}

void* XvfbServer::Connection()
{
    if (!m_connection && !m_display.empty())
        m_connection = XOpenDisplay(m_display.c_str());
    return m_connection;
}

unsigned long XvfbServer::ScreenPixel(int x, int y)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return 0xFFFFFFFFul;
    XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!img)
        return 0xFFFFFFFFul;
    unsigned long p = XGetPixel(img, 0, 0) & 0xFFFFFF;
    XDestroyImage(img);
    return p;
}

std::vector<unsigned long> XvfbServer::ScreenPixels(int x, int y, int width, int height)
{
    std::vector<unsigned long> pixels;
    Display* d = static_cast<Display*>(Connection());
    if (!d || width <= 0 || height <= 0)
        return pixels;
    XImage* img = XGetImage(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                            AllPlanes, ZPixmap);
    if (!img)
        return pixels;
    pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row)
        for (int col = 0; col < width; ++col)
            pixels.push_back(XGetPixel(img, col, row) & 0xFFFFFF);
    XDestroyImage(img);
    return pixels;
}

void XvfbServer::PutWindowProperty(unsigned long window, const char* name, unsigned long named)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return;
    long value = static_cast<long>(named);
    XChangeProperty(d, window, XInternAtom(d, name, False), XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&value), 1);
    XSync(d, False);
}

void XvfbServer::DestroyOwnWindow(unsigned long window)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return;
    XDestroyWindow(d, window);
    XSync(d, False);
}

void XvfbServer::SendClick(unsigned long window, int x, int y, int rootX, int rootY)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return;
    for (int type : {ButtonPress, ButtonRelease}) {
        XEvent ev{};
        ev.xbutton.type = type;
        ev.xbutton.display = d;
        ev.xbutton.window = window;
        ev.xbutton.root = DefaultRootWindow(d);
        ev.xbutton.x = x;
        ev.xbutton.y = y;
        ev.xbutton.x_root = rootX;
        ev.xbutton.y_root = rootY;
        ev.xbutton.button = Button1;
        ev.xbutton.same_screen = True;
        XSendEvent(d, window, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &ev);
    }
    XFlush(d);
}

void XvfbServer::Sync()
{
    if (Display* d = static_cast<Display*>(Connection()))
        XSync(d, False);
}

unsigned long XvfbServer::OpenFocusedWindow(int x, int y, int width, int height)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return 0;
    ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0,
                                     0x808080);
    XSelectInput(d, w, KeyPressMask | KeyReleaseMask);
    XMapRaised(d, w);
    XSync(d, False);
    XSetInputFocus(d, w, RevertToParent, CurrentTime);
    XSync(d, False);
    return w;
}

unsigned long XvfbServer::FocusedWindow()
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return 0;
    ::Window focus = None;
    int revert = 0;
    XGetInputFocus(d, &focus, &revert);
    return focus;
}

unsigned long XvfbServer::Root()
{
    Display* d = static_cast<Display*>(Connection());
    return d ? DefaultRootWindow(d) : 0;
}

void XvfbServer::FocusRoot()
{
    if (Display* d = static_cast<Display*>(Connection())) {
        XSetInputFocus(d, DefaultRootWindow(d), RevertToParent, CurrentTime);
        XSync(d, False);
    }
}

int XvfbServer::KeyPressesAt(unsigned long window)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return 0;
    XSync(d, False);
    XEvent ev;
    while (XCheckTypedWindowEvent(d, window, KeyPress, &ev))
        ++m_keyPresses[window];
    return m_keyPresses[window];
}

bool XvfbServer::HearKeyRepeatsAt(unsigned long window)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return false;
    XAutoRepeatOn(d);
    XSelectInput(d, window, KeyPressMask | KeyReleaseMask);
    XKeyboardState state{};
    XGetKeyboardControl(d, &state);
    return state.global_auto_repeat == AutoRepeatModeOn;
}

int XvfbServer::Xdotool(const std::string& arguments, std::string* said)
{
    int status = 0;
    std::string out = RunCommand("command -v xdotool >/dev/null || exit 127; DISPLAY=" + m_display + " xdotool " + arguments + " 2>&1",
                                 &status);
    if (said)
        *said = out;
    return WIFEXITED(status) && WEXITSTATUS(status) == 127 ? -1 : status;
}

void XvfbServer::SendKey(unsigned long window, const char* keysym, bool down)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return;
    XEvent ev{};
    ev.xkey.type = down ? KeyPress : KeyRelease;
    ev.xkey.display = d;
    ev.xkey.window = window;
    ev.xkey.root = DefaultRootWindow(d);
    ev.xkey.same_screen = True;
    ev.xkey.keycode = XKeysymToKeycode(d, XStringToKeysym(keysym));
    XSendEvent(d, window, True, down ? KeyPressMask : KeyReleaseMask, &ev);
    XFlush(d);
}

// Hands `take` the data of a property of an X window that has the given format (its items
// and its type's name); does nothing when the window has no such property.
void XvfbServer::ReadProperty(unsigned long window, const char* name, int wantedFormat,
                              const std::function<void(const unsigned char*, unsigned long, const std::string&)>& take)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, window, XInternAtom(d, name, False), 0, 1 << 20, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) == Success &&
        data && format == wantedFormat && type != None) {
        char* typeName = XGetAtomName(d, type);
        take(data, count, typeName ? typeName : "");
        if (typeName)
            XFree(typeName);
    }
    if (data)
        XFree(data);
}

std::vector<unsigned long> XvfbServer::CardinalProperty(unsigned long window, const char* name)
{
    std::vector<unsigned long> values;
    ReadProperty(window, name, 32, [&](const unsigned char* data, unsigned long count, const std::string&) {
        // Format 32 comes as longs whatever their width.
        const auto* longs = reinterpret_cast<const unsigned long*>(data);
        values.assign(longs, longs + count);
    });
    return values;
}

std::string XvfbServer::TextProperty(unsigned long window, const char* name, std::string* typeName)
{
    std::string bytes;
    typeName->clear();
    ReadProperty(window, name, 8, [&](const unsigned char* data, unsigned long count, const std::string& type) {
        bytes.assign(reinterpret_cast<const char*>(data), count);
        *typeName = type;
    });
    return bytes;
}

bool XvfbServer::OverrideRedirect(unsigned long window)
{
    Display* d = static_cast<Display*>(Connection());
    XWindowAttributes attrs{};
    return d && XGetWindowAttributes(d, window, &attrs) && attrs.override_redirect;
}

bool XvfbServer::BindCharacters(const std::string& text)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return false;
    std::wstring characters = quiva::Utf8ToWide(text);
    int low = 0, high = 0, perKey = 0;
    XDisplayKeycodes(d, &low, &high);
    KeySym* map = XGetKeyboardMapping(d, static_cast<KeyCode>(low), high - low + 1, &perKey);
    if (!map)
        return false;
    int code = high;
    for (wchar_t c : characters) {
        const KeySym wanted = 0x1000000ul | static_cast<unsigned long>(c);
        if (XKeysymToKeycode(d, wanted) != 0)
            continue;
        auto unused = [&](int k) {
            for (int i = 0; i < perKey; ++i)
                if (map[(k - low) * perKey + i] != NoSymbol)
                    return false;
            return true;
        };
        while (code >= low && !unused(code))
            --code;
        if (code < low) {
            XFree(map);
            return false;
        }
        KeySym both[2] = {wanted, wanted};
        XChangeKeyboardMapping(d, code, 2, both, 1);
        map[(code - low) * perKey] = wanted;
        --code;
    }
    XFree(map);
    XSync(d, False);
    return true;
}

std::vector<unsigned long> XvfbServer::PointerImage()
{
    std::vector<unsigned long> image;
    Display* d = static_cast<Display*>(Connection());
    int event = 0, error = 0;
    if (!d || !XFixesQueryExtension(d, &event, &error))
        return image;
    XSync(d, False);
    XFixesCursorImage* cursor = XFixesGetCursorImage(d);
    if (!cursor)
        return image;
    image = {cursor->width, cursor->height, cursor->xhot, cursor->yhot};
    image.insert(image.end(), cursor->pixels, cursor->pixels + static_cast<size_t>(cursor->width) * cursor->height);
    XFree(cursor);
    return image;
}

std::vector<unsigned long> XvfbServer::FontCursorImage(unsigned shape)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return {};
    ::Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 20, 20, 0, 0, 0);
    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    XChangeWindowAttributes(d, w, CWOverrideRedirect, &attrs);
    Cursor cursor = XCreateFontCursor(d, shape);
    XDefineCursor(d, w, cursor);
    XMapRaised(d, w);
    XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, 10, 10);
    std::vector<unsigned long> image = PointerImage();
    XDestroyWindow(d, w);
    XFreeCursor(d, cursor);
    XSync(d, False);
    return image;
}

void XvfbServer::MovePointer(int x, int y)
{
    if (Display* d = static_cast<Display*>(Connection())) {
        XWarpPointer(d, None, DefaultRootWindow(d), 0, 0, 0, 0, x, y);
        XSync(d, False);
    }
}

void XvfbServer::HoldMaps()
{
    if (Display* d = static_cast<Display*>(Connection())) {
        XSelectInput(d, DefaultRootWindow(d), SubstructureRedirectMask);
        XSync(d, False);
    }
}

unsigned long XvfbServer::HeldMap()
{
    Display* d = static_cast<Display*>(Connection());
    for (int i = 0; d && i < 1200; ++i) {
        XEvent ev;
        if (XCheckTypedEvent(d, MapRequest, &ev))
            return ev.xmaprequest.window;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return 0;
}

void XvfbServer::MapHeldWindow(unsigned long window)
{
    if (Display* d = static_cast<Display*>(Connection())) {
        XMapWindow(d, window);
        XSync(d, False);
    }
}

// Runs `program` with `arguments` on this display (and `home` as its home folder when given)
// until it is `ready`, for at most 30 s; its process id, or 0 with `why` when it went or never
// became ready.
pid_t XvfbServer::StartClient(const char* program, const std::vector<std::string>& arguments, const std::string& home,
                              const std::function<bool(Display*)>& ready, std::string* why)
{
    const std::string name = program;
    if (access(program, X_OK) != 0) {
        *why = name + " is not installed";
        return 0;
    }
    Display* d = static_cast<Display*>(Connection());
    if (!d) {
        *why = "the display is not open";
        return 0;
    }
    pid_t pid = fork();
    if (pid < 0) {
        *why = "fork failed";
        return 0;
    }
    if (pid == 0) {
        setenv("DISPLAY", m_display.c_str(), 1);
        if (!home.empty())
            setenv("HOME", home.c_str(), 1);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program, argv.data());
        _exit(127);
    }
    for (int i = 0; i < 600; ++i) {
        if (ready(d))
            return pid;
        int status;
        if (waitpid(pid, &status, WNOHANG) == pid)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (waitpid(pid, nullptr, WNOHANG) == 0) {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    *why = name + " did not take the display";
    return 0;
}

bool XvfbServer::StartWindowManager(std::string* why)
{
    // The window manager has taken the display once it names its check window on the root.
    m_windowManager = StartClient("/usr/bin/openbox", {"--sm-disable"}, "", [this](Display* d) {
        return !CardinalProperty(DefaultRootWindow(d), "_NET_SUPPORTING_WM_CHECK").empty();
    }, why);
    return m_windowManager != 0;
}

bool XvfbServer::StartInputMethod(const std::string& home, std::string* why)
{
    // The input method serves the display once the root window lists it among the servers.
    m_inputMethod = StartClient("/usr/bin/nabi", {}, home, [](Display* d) {
        const Atom servers = XInternAtom(d, "XIM_SERVERS", False);
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool listed = false;
        if (XGetWindowProperty(d, DefaultRootWindow(d), servers, 0, 64, False, XA_ATOM, &type, &format, &count, &after,
                               &data) == Success && data && format == 32) {
            const auto* atoms = reinterpret_cast<const Atom*>(data);
            for (unsigned long i = 0; i < count && !listed; ++i) {
                char* name = XGetAtomName(d, atoms[i]);
                listed = name && std::string(name) == "@server=nabi";
                if (name)
                    XFree(name);
            }
        }
        if (data)
            XFree(data);
        return listed;
    }, why);
    return m_inputMethod != 0;
}

bool XvfbServer::Screenshot(const std::string& pngPath)
{
    Display* d = static_cast<Display*>(Connection());
    if (!d)
        return false;
    int w = DisplayWidth(d, DefaultScreen(d)), h = DisplayHeight(d, DefaultScreen(d));
    XImage* img = XGetImage(d, DefaultRootWindow(d), 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!img)
        return false;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            unsigned char* o = &rgb[(static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x)) * 3];
            o[0] = static_cast<unsigned char>(p >> 16);
            o[1] = static_cast<unsigned char>(p >> 8);
            o[2] = static_cast<unsigned char>(p);
        }
    XDestroyImage(img);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&image, pngPath.c_str(), 0, rgb.data(), 0, nullptr) != 0;
}

XvfbServer::~XvfbServer()
{
    if (m_connection)
        XCloseDisplay(static_cast<Display*>(m_connection));
    for (pid_t client : {m_inputMethod, m_windowManager}) {
        if (client > 0) {
            kill(client, SIGTERM);
            waitpid(client, nullptr, 0);
        }
    }
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

X11Session::~X11Session()
{
    if (m_started)
        quiva::ui::SelectBackend(quiva::ui::BackendKind::Headless);
}

bool X11Session::Start(int width, int height, std::string* why)
{
    if (!m_server.Start(width, height, why))
        return false;
    m_display = std::make_unique<ScopedEnv>("DISPLAY", m_server.display());
    m_headless = std::make_unique<ScopedEnv>("QUIVA_HEADLESS", "0");
    if (!quiva::ui::SelectBackend(quiva::ui::BackendKind::Automatic)) {
        *why = "the X11 display did not open";
        return false;
    }
    m_started = true;
    return true;
}

bool PumpUntil(const std::function<bool()>& done)
{
    // Up to a minute: generous for a machine whose cores are all busy, or a sanitizer's slowdown.
    for (int i = 0; i < 6000; ++i) {
        quiva::ui::PumpPending();
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

}  // namespace quiva::test
