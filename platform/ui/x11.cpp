// X11 backend: each top-level window is an X window showing its surface; X input events go
// into the same input path as injected input.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XInput2.h>
#include <X11/cursorfont.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include <vector>

#include "platform/base/codepage.h"
#include "platform/gdi/gdi.h"
#include "platform/ui/dialog.h"
#include "platform/ui/internal.h"
#include "platform/ui/windowicon.h"

namespace quiva::ui {

namespace {

// While the window system reads a property of a window that may be gone (another program's),
// the server's refusal of that read is expected: the error handler lets it pass and marks it.
std::atomic<unsigned long> g_probedWindow{0};
std::atomic<bool> g_probeRefused{false};
// X_GetProperty of the protocol's request codes (X11/Xproto.h, whose types clash with ours).
constexpr unsigned char kGetPropertyRequest = 20;

UINT VirtualKeyOf(KeySym ks)
{
    if (ks >= XK_a && ks <= XK_z)
        return static_cast<UINT>('A' + (ks - XK_a));
    if (ks >= XK_A && ks <= XK_Z)
        return static_cast<UINT>('A' + (ks - XK_A));
    if (ks >= XK_0 && ks <= XK_9)
        return static_cast<UINT>('0' + (ks - XK_0));
    if (ks >= XK_KP_0 && ks <= XK_KP_9)
        return static_cast<UINT>(VK_NUMPAD0 + (ks - XK_KP_0));
    if (ks >= XK_F1 && ks <= XK_F12)
        return static_cast<UINT>(VK_F1 + (ks - XK_F1));
    switch (ks) {
    case XK_BackSpace:
        return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return VK_TAB;
    case XK_Return:
    case XK_KP_Enter:
        return VK_RETURN;
    case XK_Escape:
        return VK_ESCAPE;
    case XK_space:
        return VK_SPACE;
    case XK_Pause:
        return VK_PAUSE;
    case XK_Prior:
        return VK_PRIOR;
    case XK_Next:
        return VK_NEXT;
    case XK_End:
        return VK_END;
    case XK_Home:
        return VK_HOME;
    case XK_Left:
        return VK_LEFT;
    case XK_Up:
        return VK_UP;
    case XK_Right:
        return VK_RIGHT;
    case XK_Down:
        return VK_DOWN;
    case XK_Insert:
        return VK_INSERT;
    case XK_Delete:
        return VK_DELETE;
    case XK_Shift_L:
        return VK_LSHIFT;
    case XK_Shift_R:
        return VK_RSHIFT;
    case XK_Control_L:
        return VK_LCONTROL;
    case XK_Control_R:
        return VK_RCONTROL;
    case XK_Alt_L:
        return VK_LMENU;
    case XK_Alt_R:
        return VK_RMENU;
    case XK_Caps_Lock:
        return VK_CAPITAL;
    case XK_Hangul:
        return VK_HANGUL;
    case XK_Hangul_Hanja:
        return VK_HANJA;
    case XK_KP_Decimal:
        return VK_DECIMAL;
    case XK_KP_Add:
        return VK_ADD;
    case XK_KP_Subtract:
        return VK_SUBTRACT;
    case XK_KP_Multiply:
        return VK_MULTIPLY;
    case XK_KP_Divide:
        return VK_DIVIDE;
    default:
        return 0;
    }
}

// The cursor font's shape for a system cursor; anything else shows the arrow.
unsigned FontCursorShape(HCURSOR cursor)
{
    static const std::map<LPCWSTR, unsigned> shapes = {
        {IDC_IBEAM, XC_xterm},
        {IDC_WAIT, XC_watch},
        {IDC_SIZENWSE, XC_bottom_right_corner},
        {IDC_SIZENESW, XC_bottom_left_corner},
        {IDC_SIZEWE, XC_sb_h_double_arrow},
        {IDC_SIZENS, XC_sb_v_double_arrow},
        {IDC_SIZEALL, XC_fleur},
        {IDC_HAND, XC_hand2},
    };
    auto it = shapes.find(reinterpret_cast<LPCWSTR>(cursor));
    return it == shapes.end() ? XC_left_ptr : it->second;
}

class X11Backend : public Backend {
public:
    explicit X11Backend(Display* display) : m_display(display)
    {
        int screen = DefaultScreen(m_display);
        m_root = RootWindow(m_display, screen);
        m_visual = DefaultVisual(m_display, screen);
        m_depth = DefaultDepth(m_display, screen);
        m_deleteAtom = XInternAtom(m_display, "WM_DELETE_WINDOW", False);
        m_motifAtom = XInternAtom(m_display, "_MOTIF_WM_HINTS", False);
        m_iconAtom = XInternAtom(m_display, "_NET_WM_ICON", False);
        m_netNameAtom = XInternAtom(m_display, "_NET_WM_NAME", False);
        m_netIconNameAtom = XInternAtom(m_display, "_NET_WM_ICON_NAME", False);
        m_utf8Atom = XInternAtom(m_display, "UTF8_STRING", False);
        m_wmCheckAtom = XInternAtom(m_display, "_NET_SUPPORTING_WM_CHECK", False);
        RECT s{0, 0, DisplayWidth(m_display, screen), DisplayHeight(m_display, screen)};
        SetVirtualScreen(s, s);
        OpenInputMethod();
        // A key held down repeats as further presses and is released once, when it goes up,
        // as the keyboard's own messages say it (a repeat is a key-down of a key already down):
        // by default the server sends a release and a press a repeat, each taken as a new key.
        Bool detectable = False;
        XkbSetDetectableAutoRepeat(m_display, True, &detectable);
        // Every change of the X focus that involves the root window (another program taking the
        // focus while the root window had it, with none of our windows involved) is heard here.
        XSelectInput(m_display, m_root, FocusChangeMask);
        int event, error, major = 2, minor = 0;
        m_xi = XQueryExtension(m_display, "XInputExtension", &m_xiOpcode, &event, &error) &&
               XIQueryVersion(m_display, &major, &minor) == Success;
    }

    ~X11Backend() override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        for (auto& [hwnd, win] : m_windows) {
            if (win.xic)
                XDestroyIC(win.xic);
            XDestroyWindow(m_display, win.xwin);
        }
        if (m_xim)
            XCloseIM(m_xim);
        if (m_fontSet)
            XFreeFontSet(m_display, m_fontSet);
        for (auto& [shape, cursor] : m_cursors)
            XFreeCursor(m_display, cursor);
        if (m_invertGc)
            XFreeGC(m_display, m_invertGc);
        XCloseDisplay(m_display);
    }

    const char* Name() const override { return "x11"; }

    void WindowCreated(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        RECT r;
        GetWindowRect(hwnd, &r);
        DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
        XSetWindowAttributes attrs{};
        attrs.override_redirect = PassesWindowManager(hwnd) ? True : False;
        attrs.background_pixel = BlackPixel(m_display, DefaultScreen(m_display));
        attrs.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | LeaveWindowMask |
                           KeyPressMask | KeyReleaseMask | FocusChangeMask | StructureNotifyMask;
        Window xwin = XCreateWindow(m_display, m_root, r.left, r.top, static_cast<unsigned>(std::max(1L, static_cast<long>(r.right - r.left))),
                                    static_cast<unsigned>(std::max(1L, static_cast<long>(r.bottom - r.top))), 0, m_depth, InputOutput,
                                    m_visual, CWOverrideRedirect | CWBackPixel | CWEventMask, &attrs);
        if ((style & WS_CAPTION) != WS_CAPTION) {
            // No decorations from the window manager: the framework draws its own caption.
            long hints[5] = {2, 0, 0, 0, 0};
            XChangeProperty(m_display, xwin, m_motifAtom, m_motifAtom, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(hints), 5);
        }
        XSetWMProtocols(m_display, xwin, &m_deleteAtom, 1);
        PutClass(xwin, hwnd);
        // A window without a cursor of its own shows the root window's, which is the server's
        // "X" when no window manager set another: a new window shows the shape last set until the
        // pointer over it sets one (a window asking for the shape already shown changes nothing).
        XDefineCursor(m_display, xwin, FontCursor(m_cursorShape));
        PutTitle(xwin, hwnd);
        PutPlacement(xwin, r);
        HWND owner = GetWindow(hwnd, GW_OWNER);
        auto ownerWin = owner ? m_windows.find(TopLevelOfWindow(owner)) : m_windows.end();
        if (ownerWin != m_windows.end())
            XSetTransientForHint(m_display, xwin, ownerWin->second.xwin);
        XWin w{xwin, r, false, nullptr, {-1, -1}, false, {}};
        if (m_xim)
            w.xic = CreateInputContext(xwin, &w.composesHere);
        m_windows[hwnd] = w;
        m_byX[xwin] = hwnd;
        XFlush(m_display);
    }

    void WindowChanged(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end())
            return;
        XWin& w = it->second;
        RECT r;
        GetWindowRect(hwnd, &r);
        if (!EqualRect(&r, &w.rect)) {
            w.rect = r;
            PutPlacement(w.xwin, r);
            XMoveResizeWindow(m_display, w.xwin, r.left, r.top, static_cast<unsigned>(std::max(1L, static_cast<long>(r.right - r.left))),
                              static_cast<unsigned>(std::max(1L, static_cast<long>(r.bottom - r.top))));
        }
        bool shown = IsWindowVisible(hwnd) && !IsIconic(hwnd);
        if (shown != w.mapped) {
            w.mapped = shown;
            if (shown) {
                XMapRaised(m_display, w.xwin);
            } else {
                XUnmapWindow(m_display, w.xwin);
            }
        } else if (shown && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST)) {
            XRaiseWindow(m_display, w.xwin);
        }
        XFlush(m_display);
    }

    void WindowDestroyed(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end())
            return;
        if (it->second.xic)
            XDestroyIC(it->second.xic);
        if (m_caret.top == hwnd)
            m_caret = CaretOverlay{};
        m_byX.erase(it->second.xwin);
        XDestroyWindow(m_display, it->second.xwin);
        m_windows.erase(it);
        XFlush(m_display);
    }

    void Present(HWND hwnd, const RECT& area) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        PutArea(hwnd, area);
        // The surface has no caret in it: put the overlay back over fresh pixels.
        RECT overlap;
        if (m_caret.on && m_caret.top == hwnd && IntersectRect(&overlap, &m_caret.rect, &area))
            InvertCaret();
        XFlush(m_display);
    }

    void CaptureChanged(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        if (!hwnd) {
            XUngrabPointer(m_display, CurrentTime);
        } else {
            auto it = m_windows.find(TopLevelOfWindow(hwnd));
            if (it != m_windows.end() && it->second.mapped)
                XGrabPointer(m_display, it->second.xwin, False, ButtonPressMask | ButtonReleaseMask | PointerMotionMask,
                             GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        }
        XFlush(m_display);
    }

    bool Pump(int) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        UpdateCaret();
        bool any = false;
        bool focusLost = false;
        bool focusGained = false;
        while (XPending(m_display)) {
            XEvent ev;
            XNextEvent(m_display, &ev);
            any = true;
            if (XFilterEvent(&ev, None))
                continue;
            auto found = m_byX.find(ev.xany.window);
            HWND hwnd = found == m_byX.end() ? nullptr : found->second;
            switch (ev.type) {
            case MotionNotify:
                InjectMouseMove(ev.xmotion.x_root, ev.xmotion.y_root);
                break;
            case ButtonPress:
            case ButtonRelease: {
                int b = ev.xbutton.button;
                bool down = ev.type == ButtonPress;
                if (b == 4 || b == 5) {
                    if (down)
                        InjectWheel(b == 4 ? WHEEL_DELTA : -WHEEL_DELTA, ev.xbutton.x_root, ev.xbutton.y_root);
                } else if (b >= 1 && b <= 3) {
                    MouseButton mb = b == 1 ? ButtonLeft : b == 3 ? ButtonRight : ButtonMiddle;
                    InjectMouseButton(mb, down, ev.xbutton.x_root, ev.xbutton.y_root);
                }
                // A click on the window that is already active activates nothing: the X focus,
                // which may be elsewhere (on the root window once another of our windows went),
                // follows the click here. A click that activates a window moves it there too.
                if (down && hwnd && hwnd == GetActiveWindow())
                    TakeFocus(ev.xbutton.window);
                break;
            }
            case LeaveNotify:
                // The pointer went off the window (to another client or the desktop): no motion
                // of ours follows, so the move out is given here, and whatever it hovered hears
                // that it has left.
                if (hwnd && ev.xcrossing.mode == NotifyNormal && ev.xcrossing.detail != NotifyInferior)
                    InjectMouseMove(ev.xcrossing.x_root, ev.xcrossing.y_root);
                break;
            case MapNotify:
                // A window shown as the active one takes the keys once it is on the screen.
                if (hwnd && hwnd == GetActiveWindow())
                    TakeFocus(ev.xmap.window);
                break;
            case KeyPress:
            case KeyRelease:
                Key(hwnd, ev.xkey, ev.type == KeyPress);
                break;
            case FocusIn:
            case FocusOut:
                FocusChange(hwnd, ev.xfocus, &focusLost, &focusGained);
                break;
            case Expose:
                if (hwnd) {
                    RECT r{ev.xexpose.x, ev.xexpose.y, ev.xexpose.x + ev.xexpose.width, ev.xexpose.y + ev.xexpose.height};
                    Present(hwnd, r);
                }
                break;
            case ConfigureNotify:
                if (hwnd && ev.xconfigure.send_event) {
                    // Moved by the window manager.
                    RECT& known = m_windows[hwnd].rect;
                    if (known.left != ev.xconfigure.x || known.top != ev.xconfigure.y) {
                        OffsetRect(&known, ev.xconfigure.x - known.left, ev.xconfigure.y - known.top);
                        PostMessageW(hwnd, WM_NULL, 0, 0);
                        SetWindowPos(hwnd, nullptr, known.left, known.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
                    }
                }
                break;
            case GenericEvent:
                RawKey(ev.xcookie);
                break;
            case ClientMessage:
                if (hwnd && static_cast<Atom>(ev.xclient.data.l[0]) == m_deleteAtom)
                    PostMessageW(hwnd, WM_CLOSE, 0, 0);
                break;
            default:
                break;
            }
        }
        // The input focus went to another program's window. Focus on the root window with the
        // pointer over ours still brings the keys here: the window stays active.
        if (focusLost && !focusGained && !FocusIsOurs())
            InjectActivation(nullptr);
        return any;
    }

    // Raw key events of the whole display: they report keys typed into any program without
    // taking them from it (no grab). Asked for only while a keyboard hook listens.
    void ObserveKeys(bool on) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        if (!m_xi || on == m_observing)
            return;
        m_observing = on;
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        if (on) {
            XISetMask(bits, XI_RawKeyPress);
            XISetMask(bits, XI_RawKeyRelease);
        }
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
        XISelectEvents(m_display, m_root, &mask, 1);
        XFlush(m_display);
    }

    // Every window of ours shows the shape; the pointer is over one of them at most, and the
    // one it enters sets its own again.
    void CursorChanged(HCURSOR cursor) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        m_cursorShape = FontCursorShape(cursor);
        const Cursor shown = FontCursor(m_cursorShape);
        for (auto& [hwnd, win] : m_windows)
            XDefineCursor(m_display, win.xwin, shown);
        XFlush(m_display);
    }

    void ActivationChanged(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        // Focus events the server sent before it saw this request are older than the choice.
        m_activatedAt = NextRequest(m_display);
        XNoOp(m_display);
        XFlush(m_display);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.mapped)
            return;
        // Without a window manager nothing else moves the X focus: a click that activates our
        // window would leave the keys with the program typed into before. A window activated
        // as it is shown is not on the screen yet: it takes the focus once mapped (MapNotify).
        TakeFocus(it->second.xwin);
    }

    void TitleChanged(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end())
            return;
        PutTitle(it->second.xwin, hwnd);
        XFlush(m_display);
    }

    void IconChanged(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end())
            return;
        // _NET_WM_ICON: width, height, then ARGB pixels, once per size; format 32 is passed as
        // longs whatever their width.
        std::vector<long> data;
        HICON big = WindowIcon(hwnd, true), small = WindowIcon(hwnd, false);
        std::vector<HICON> icons{big};
        if (small != big)
            icons.push_back(small);
        for (HICON icon : icons) {
            int w = 0, h = 0;
            std::vector<uint32_t> argb;
            if (!icon || !quiva::IconPixels(icon, &w, &h, &argb))
                continue;
            data.push_back(w);
            data.push_back(h);
            for (uint32_t px : argb)
                data.push_back(static_cast<long>(px));
        }
        if (data.empty())
            XDeleteProperty(m_display, it->second.xwin, m_iconAtom);
        else
            XChangeProperty(m_display, it->second.xwin, m_iconAtom, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(data.data()), static_cast<int>(data.size()));
        XFlush(m_display);
    }

    bool InputMethodSpot(HWND hwnd, POINT* spot) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.xic || !spot)
            return false;
        XPoint* at = nullptr;
        XVaNestedList preedit = XVaCreateNestedList(0, XNSpotLocation, &at, nullptr);
        const bool read = !XGetICValues(it->second.xic, XNPreeditAttributes, preedit, nullptr) && at;
        XFree(preedit);
        if (read)
            *spot = POINT{at->x, at->y};
        if (at)
            XFree(at);
        return read;
    }

    // Only where the composition comes to us (on-the-spot) has a control taken it; where the
    // input method draws it itself, it keeps it, to commit it later. The text being composed is
    // forgotten first, so that the input method's clearing of it hands nothing on.
    void DropComposition(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.xic || !it->second.composesHere)
            return;
        it->second.preedit.clear();
        if (char* left = Xutf8ResetIC(it->second.xic))
            XFree(left);
        XFlush(m_display);
    }

    unsigned long NativeHandle(HWND hwnd) override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        auto it = m_windows.find(hwnd);
        return it == m_windows.end() ? 0 : it->second.xwin;
    }

    // A running window manager names its check window on the root window, and that window names
    // itself; one that went may have left the root's name behind, naming a window that is gone.
    bool ShowsTitles() override
    {
        std::lock_guard<std::recursive_mutex> l(m_mutex);
        const ::Window check = CheckWindowNamedBy(m_root);
        return check != None && CheckWindowNamedBy(check) == check;
    }

private:
    struct XWin {
        Window xwin;
        RECT rect;
        bool mapped;
        XIC xic;
        POINT spot{-1, -1};  // the composition's spot last given to the input context
        bool composesHere = false;  // on-the-spot: the composition comes to us (Composed)
        std::wstring preedit;       // the text being composed, when it comes to us
    };

    struct CaretOverlay {
        HWND top = nullptr;
        RECT rect{};
        bool on = false;
        DWORD thread = 0;
    };

    // Shows the surface's pixels of `area` (surface coordinates) in the window.
    void PutArea(HWND hwnd, const RECT& area)
    {
        auto it = m_windows.find(hwnd);
        if (it == m_windows.end() || !it->second.mapped)
            return;
        Surface* s = WindowSurface(hwnd);
        if (!s)
            return;
        std::lock_guard<std::recursive_mutex> sl(s->Mutex());
        RECT full{0, 0, s->Width(), s->Height()}, r;
        if (!IntersectRect(&r, &area, &full))
            return;
        XImage* image = XCreateImage(m_display, m_visual, static_cast<unsigned>(m_depth), ZPixmap, 0,
                                     reinterpret_cast<char*>(s->Pixels()), static_cast<unsigned>(s->Width()),
                                     static_cast<unsigned>(s->Height()), 32, s->Stride());
        if (!image)
            return;
        GC gc = DefaultGC(m_display, DefaultScreen(m_display));
        XPutImage(m_display, it->second.xwin, gc, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.right - r.left),
                  static_cast<unsigned>(r.bottom - r.top));
        image->data = nullptr;  // the surface keeps its pixels
        XDestroyImage(image);
    }

    void InvertCaret()
    {
        auto it = m_windows.find(m_caret.top);
        if (it == m_windows.end() || !it->second.mapped)
            return;
        if (!m_invertGc) {
            m_invertGc = XCreateGC(m_display, it->second.xwin, 0, nullptr);
            XSetFunction(m_display, m_invertGc, GXinvert);
        }
        XFillRectangle(m_display, it->second.xwin, m_invertGc, m_caret.rect.left, m_caret.rect.top,
                       static_cast<unsigned>(m_caret.rect.right - m_caret.rect.left),
                       static_cast<unsigned>(m_caret.rect.bottom - m_caret.rect.top));
    }

    // The calling thread's caret, blinking: drawn inverted over the window and taken away by
    // showing the surface's pixels again.
    void UpdateCaret()
    {
        CaretState c = GetCaretState();
        DWORD self = GetCurrentThreadId();
        if (!c.owner && m_caret.thread && m_caret.thread != self)
            return;  // another thread's caret
        HWND top = c.owner ? GetAncestor(c.owner, GA_ROOT) : nullptr;
        if (top)
            PutSpot(top, c);
        RECT want{};
        bool show = top && c.hideCount == 0 && IsWindowVisible(c.owner);
        if (show) {
            POINT o = ClientOriginInSurface(c.owner);
            want = RECT{o.x + c.pos.x, o.y + c.pos.y, o.x + c.pos.x + c.width, o.y + c.pos.y + c.height};
        }
        auto now = std::chrono::steady_clock::now();
        if (now - m_lastBlink >= std::chrono::milliseconds(GetCaretBlinkTime())) {
            m_blinkOn = !m_blinkOn;
            m_lastBlink = now;
        }
        bool on = show && m_blinkOn;
        if (m_caret.on && (!on || m_caret.top != top || !EqualRect(&m_caret.rect, &want))) {
            PutArea(m_caret.top, m_caret.rect);
            m_caret.on = false;
        }
        if (on && !m_caret.on) {
            m_caret = CaretOverlay{top, want, true, self};
            InvertCaret();
        }
        XFlush(m_display);
    }

    static std::wstring WindowTitle(HWND hwnd)
    {
        wchar_t buf[256] = {};
        GetWindowTextW(hwnd, buf, 256);
        return buf;
    }

    // The title as UTF-8 in _NET_WM_NAME, which window managers prefer, and as text of the
    // locale's encoding in WM_NAME for those that read only that.
    void PutTitle(::Window xwin, HWND hwnd)
    {
        std::string title = quiva::WideToUtf8(WindowTitle(hwnd));
        auto* bytes = reinterpret_cast<unsigned char*>(title.data());
        const int length = static_cast<int>(title.size());
        for (Atom name : {m_netNameAtom, m_netIconNameAtom})
            XChangeProperty(m_display, xwin, name, m_utf8Atom, 8, PropModeReplace, bytes, length);
        char* list[] = {title.data()};
        XTextProperty text{};
        if (Xutf8TextListToTextProperty(m_display, list, 1, XStdICCTextStyle, &text) == Success) {
            XSetWMName(m_display, xwin, &text);
            XSetWMIconName(m_display, xwin, &text);
            XFree(text.value);
        } else {
            for (Atom name : {static_cast<Atom>(XA_WM_NAME), static_cast<Atom>(XA_WM_ICON_NAME)})
                XChangeProperty(m_display, xwin, name, m_utf8Atom, 8, PropModeReplace, bytes, length);
        }
    }

    // WM_CLASS: the program's name and the window's class, by which a window manager or the
    // person's settings tell the program's windows apart.
    void PutClass(::Window xwin, HWND hwnd)
    {
        wchar_t className[256] = {};
        GetClassNameW(hwnd, className, 256);
        std::string name = program_invocation_short_name, windowClass = quiva::WideToUtf8(className);
        XClassHint hint{name.data(), windowClass.data()};
        XSetClassHint(m_display, xwin, &hint);
    }

    // Menus, drop-down lists and tool windows open over their owner for a moment and go: the
    // window manager does not take them (override-redirect), so it neither frames nor moves
    // them. A dialog, with a caption or drawing its own, is the window manager's to title and
    // move like any other window.
    static bool PassesWindowManager(HWND hwnd)
    {
        const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
        const auto ex = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
        if (ex & WS_EX_TOOLWINDOW)
            return true;
        wchar_t className[256] = {};
        GetClassNameW(hwnd, className, 256);
        const bool dialog = (style & WS_CAPTION) == WS_CAPTION || std::wcscmp(className, DialogClassName()) == 0;
        return (style & WS_POPUP) && GetParent(hwnd) && !(ex & WS_EX_APPWINDOW) && !dialog;
    }

    // Where the window put itself: a window manager places the window there instead of by its
    // own rule.
    void PutPlacement(::Window xwin, const RECT& r)
    {
        XSizeHints hints{};
        hints.flags = USPosition | USSize | PPosition | PSize;
        hints.x = r.left;
        hints.y = r.top;
        hints.width = static_cast<int>(std::max(1L, static_cast<long>(r.right - r.left)));
        hints.height = static_cast<int>(std::max(1L, static_cast<long>(r.bottom - r.top)));
        XSetWMNormalHints(m_display, xwin, &hints);
    }

    static HWND TopLevelOfWindow(HWND hwnd) { return GetAncestor(hwnd, GA_ROOT); }

    // The window `xwin`'s _NET_SUPPORTING_WM_CHECK names; None when it names none or `xwin` is
    // gone.
    ::Window CheckWindowNamedBy(::Window xwin)
    {
        XSync(m_display, False);  // errors of earlier requests go to their handler first
        g_probeRefused = false;
        g_probedWindow = xwin;
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        // A round trip: the server's refusal, if any, was handled when it returns.
        const int status = XGetWindowProperty(m_display, xwin, m_wmCheckAtom, 0, 1, False, XA_WINDOW, &type, &format,
                                              &count, &after, &data);
        g_probedWindow = 0;
        ::Window named = None;
        if (status == Success && !g_probeRefused && type == XA_WINDOW && format == 32 && count == 1 && data)
            named = static_cast<::Window>(reinterpret_cast<unsigned long*>(data)[0]);
        if (data)
            XFree(data);
        return named;
    }

    Cursor FontCursor(unsigned shape)
    {
        auto known = m_cursors.find(shape);
        if (known == m_cursors.end())
            known = m_cursors.emplace(shape, XCreateFontCursor(m_display, shape)).first;
        return known->second;
    }

    // An input context for a window: on-the-spot when the input method offers it (the text
    // being composed comes to us, Composed, and the focused control shows it among its own text,
    // in its own font and on its own line), else over-the-spot (the input method draws the
    // composition at the caret in a font of its own, PutSpot), else one that shows no
    // composition (the window system's controls show the text as it is committed).
    XIC CreateInputContext(::Window xwin, bool* composesHere)
    {
        *composesHere = false;
        if (m_onTheSpot) {
            XVaNestedList preedit = XVaCreateNestedList(0, XNPreeditStartCallback, &m_preeditStart, XNPreeditDoneCallback,
                                                        &m_preeditDone, XNPreeditDrawCallback, &m_preeditDraw,
                                                        XNPreeditCaretCallback, &m_preeditCaret, nullptr);
            XIC xic = XCreateIC(m_xim, XNInputStyle, XIMPreeditCallbacks | XIMStatusNothing, XNClientWindow, xwin,
                                XNFocusWindow, xwin, XNPreeditAttributes, preedit, nullptr);
            XFree(preedit);
            *composesHere = xic != nullptr;
            if (xic)
                return xic;
        }
        if (m_overTheSpot) {
            XPoint spot{0, 0};
            XVaNestedList preedit = m_fontSet ? XVaCreateNestedList(0, XNSpotLocation, &spot, XNFontSet, m_fontSet, nullptr)
                                              : XVaCreateNestedList(0, XNSpotLocation, &spot, nullptr);
            XIC xic = XCreateIC(m_xim, XNInputStyle, XIMPreeditPosition | XIMStatusNothing, XNClientWindow, xwin, XNFocusWindow,
                                xwin, XNPreeditAttributes, preedit, nullptr);
            XFree(preedit);
            if (xic)
                return xic;
        }
        return XCreateIC(m_xim, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow, xwin, XNFocusWindow, xwin,
                         nullptr);
    }

    // The composition's spot in a top-level window: the caret's bottom left corner (the
    // baseline the text being composed sits on), in the window's coordinates. It is given to the
    // window's input context whenever it moves, so the syllable being composed shows at the
    // caret of the focused edit.
    void PutSpot(HWND top, const CaretState& c)
    {
        auto it = m_windows.find(top);
        if (it == m_windows.end() || !it->second.xic || it->second.composesHere)
            return;
        POINT o = ClientOriginInSurface(c.owner);
        POINT spot{o.x + c.pos.x, o.y + c.pos.y + c.height};
        XWin& w = it->second;
        if (spot.x == w.spot.x && spot.y == w.spot.y)
            return;
        w.spot = spot;
        XPoint at{static_cast<short>(std::clamp<LONG>(spot.x, -32768, 32767)), static_cast<short>(std::clamp<LONG>(spot.y, -32768, 32767))};
        XVaNestedList preedit = XVaCreateNestedList(0, XNSpotLocation, &at, nullptr);
        XSetICValues(w.xic, XNPreeditAttributes, preedit, nullptr);
        XFree(preedit);
    }

    void OpenInputMethod()
    {
        // The input method works only in a multibyte character locale; the layer does not set
        // one itself, so it is used when the hosting program has chosen such a locale.
        const char* ctype = std::setlocale(LC_CTYPE, nullptr);
        if (!ctype || std::strcmp(ctype, "C") == 0 || std::strcmp(ctype, "POSIX") == 0)
            return;
        if (!XSupportsLocale())
            return;
        XSetLocaleModifiers("");
        m_xim = XOpenIM(m_display, nullptr, nullptr, nullptr);
        XIMStyles* styles = nullptr;
        if (!m_xim || XGetIMValues(m_xim, XNQueryInputStyle, &styles, nullptr) || !styles)
            return;
        for (unsigned short i = 0; i < styles->count_styles; ++i) {
            if (styles->supported_styles[i] == (XIMPreeditPosition | XIMStatusNothing))
                m_overTheSpot = true;
            if (styles->supported_styles[i] == (XIMPreeditCallbacks | XIMStatusNothing))
                m_onTheSpot = true;
        }
        XFree(styles);
        const XPointer self = reinterpret_cast<XPointer>(this);
        m_preeditStart = XICCallback{self, PreeditStarted};
        m_preeditDone = XIMCallback{self, reinterpret_cast<XIMProc>(PreeditDone)};
        m_preeditDraw = XIMCallback{self, reinterpret_cast<XIMProc>(PreeditDrawn)};
        m_preeditCaret = XIMCallback{self, reinterpret_cast<XIMProc>(PreeditCaretMoved)};
        if (m_overTheSpot) {
            // The input method draws the composition itself, in a font set of the locale.
            char** missing = nullptr;
            int missingCount = 0;
            char* fallback = nullptr;
            m_fontSet = XCreateFontSet(m_display, "-*-*-medium-r-normal--16-*-*-*-*-*-*-*,-*-*-*-*-*--16-*-*-*-*-*-*-*,*",
                                       &missing, &missingCount, &fallback);
            if (missing)
                XFreeStringList(missing);
        }
    }

    // The input method's calls about the text being composed in an input context of ours
    // (XIMPreeditCallbacks), made while it filters an event (Pump, under m_mutex).
    static int PreeditStarted(XIC, XPointer, XPointer) { return -1; }  // no limit to its length
    static void PreeditDone(XIC xic, XPointer self, XPointer)
    {
        reinterpret_cast<X11Backend*>(self)->Composed(xic, nullptr);
    }
    static void PreeditDrawn(XIC xic, XPointer self, XPointer draw)
    {
        reinterpret_cast<X11Backend*>(self)->Composed(xic, reinterpret_cast<XIMPreeditDrawCallbackStruct*>(draw));
    }
    static void PreeditCaretMoved(XIC, XPointer, XPointer) {}

    // The composition of a window's input context changed as `draw` says (chg_length of its
    // characters from chg_first replaced by draw's text), or ended (no `draw`). The focused
    // control is given the whole of it; one emptied without being committed takes back the
    // character the control showed (Escape as the composition: the composition's cancel).
    void Composed(XIC xic, const XIMPreeditDrawCallbackStruct* draw)
    {
        auto it = std::find_if(m_windows.begin(), m_windows.end(), [&](const auto& w) { return w.second.xic == xic; });
        if (it == m_windows.end())
            return;
        std::wstring& text = it->second.preedit;
        const std::wstring before = text;
        if (!draw) {
            text.clear();
        } else {
            const size_t first = std::min<size_t>(static_cast<size_t>(std::max(0, draw->chg_first)), text.size());
            const size_t length = std::min<size_t>(static_cast<size_t>(std::max(0, draw->chg_length)), text.size() - first);
            text.replace(first, length, draw->text ? PreeditText(*draw->text) : std::wstring());
        }
        if (text != before)
            InjectImeComposition(text.empty() ? std::wstring(1, L'\x1b') : text);
    }

    // The characters of a piece of composed text: wide, or multibyte in the locale's encoding.
    static std::wstring PreeditText(const XIMText& t)
    {
        if (t.encoding_is_wchar)
            return t.string.wide_char ? std::wstring(t.string.wide_char, t.length) : std::wstring();
        if (!t.string.multi_byte)
            return std::wstring();
        std::wstring wide(std::strlen(t.string.multi_byte) + 1, L'\0');
        const size_t n = std::mbstowcs(wide.data(), t.string.multi_byte, wide.size());
        wide.resize(n == static_cast<size_t>(-1) ? 0 : n);
        return wide;
    }

    // A focus event of one of our windows (`hwnd`) or of the root window: whether the focus
    // came to ours or went (to the root window, or past it to another program). An event the
    // server sent before it saw the program's last activation tells of the focus as it was
    // before the program chose that window, and changes nothing of its choice.
    void FocusChange(HWND hwnd, const XFocusChangeEvent& ev, bool* lost, bool* gained)
    {
        const bool stale = static_cast<long>(ev.serial - m_activatedAt) < 0;
        if (ev.mode != NotifyNormal)
            return;
        if (ev.type == FocusIn && hwnd) {
            if (!stale) {
                *gained = true;
                *lost = false;
                if (GetActiveWindow() != hwnd)
                    InjectActivation(hwnd);
            }
            auto it = m_windows.find(hwnd);
            if (it != m_windows.end() && it->second.xic)
                XSetICFocus(it->second.xic);
        } else if (!stale && (ev.window == m_root || (ev.type == FocusOut && hwnd && ev.detail != NotifyInferior))) {
            *lost = true;
        }
    }

    // Gives an X window of ours the input focus unless it has it. Only a window on the screen
    // can take it (anything else is an X error, which ends the program).
    void TakeFocus(::Window xwin)
    {
        ::Window focus;
        int revert;
        XGetInputFocus(m_display, &focus, &revert);
        XWindowAttributes attrs{};
        if (focus == xwin || !XGetWindowAttributes(m_display, xwin, &attrs) || attrs.map_state != IsViewable)
            return;
        XSetInputFocus(m_display, xwin, RevertToParent, CurrentTime);
        XFlush(m_display);
    }

    // One of our windows receives the keys through its own key events. With the focus on the
    // pointer's window (PointerRoot) or on the root window (where it reverts to when the focused
    // window goes, as when a previous capture window closed, and nothing else moves it without
    // a window manager), the server gives keys to the window under the pointer: ours when the
    // pointer is over one of them, also inside a window manager's frame.
    bool FocusIsOurs()
    {
        ::Window focus;
        int revert;
        XGetInputFocus(m_display, &focus, &revert);
        if (focus == PointerRoot || focus == m_root) {
            ::Window under = m_root;
            for (int depth = 0; under != None && depth < 8 && !m_byX.count(under); ++depth) {
                ::Window root, child = None;
                int rx, ry, wx, wy;
                unsigned mask;
                if (!XQueryPointer(m_display, under, &root, &child, &rx, &ry, &wx, &wy, &mask))
                    break;
                under = child;
            }
            focus = under;
        }
        return focus != None && m_byX.count(focus) != 0;
    }

    void RawKey(XGenericEventCookie& cookie)
    {
        if (!m_xi || cookie.extension != m_xiOpcode || !XGetEventData(m_display, &cookie))
            return;
        if (cookie.evtype == XI_RawKeyPress || cookie.evtype == XI_RawKeyRelease) {
            const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
            KeySym ks = XkbKeycodeToKeysym(m_display, static_cast<KeyCode>(raw->detail), 0, 0);
            UINT vk = VirtualKeyOf(ks);
            if (vk && m_observing && !FocusIsOurs())
                InjectObservedKey(vk, cookie.evtype == XI_RawKeyPress);
        }
        XFreeEventData(m_display, &cookie);
    }

    // Whether a key event comes to the window as a key: a release only when the key's press
    // came here before it. The input method takes presses of its own keys (Shift+Space, its
    // switch, among them) and hands their releases on, and it hands on the presses it lets through
    // later than keys typed after them, so a release older than the key's press seen here
    // belongs to a press it took.
    bool PressCameHere(const XKeyEvent& ev, bool down)
    {
        if (down) {
            m_pressedAt[ev.keycode] = ev.time;
            return true;
        }
        auto pressed = m_pressedAt.find(ev.keycode);
        if (pressed == m_pressedAt.end()) {
            // Its press may still be with the input method, which hands it on after this.
            m_releasedAt[ev.keycode] = ev.time;
            return false;
        }
        if (static_cast<int32_t>(static_cast<uint32_t>(ev.time - pressed->second)) < 0)
            return false;
        m_pressedAt.erase(pressed);
        return true;
    }

    void Key(HWND hwnd, XKeyEvent& ev, bool down)
    {
        if (!PressCameHere(ev, down))
            return;
        KeyAsItCame(hwnd, ev, down);
        // A press the input method handed on after the key's release had come here: the key was
        // let go after this press, so it is released now (a release older than the press belongs
        // to an earlier press the input method took).
        auto released = m_releasedAt.find(ev.keycode);
        if (!down || released == m_releasedAt.end())
            return;
        XKeyEvent up = ev;
        up.type = KeyRelease;
        up.time = released->second;
        m_releasedAt.erase(released);
        if (static_cast<int32_t>(static_cast<uint32_t>(up.time - ev.time)) >= 0 && PressCameHere(up, false))
            KeyAsItCame(hwnd, up, false);
    }

    void KeyAsItCame(HWND hwnd, XKeyEvent& ev, bool down)
    {
        char buf[64] = {};
        KeySym ks = NoSymbol;
        int n = 0;
        auto it = hwnd ? m_windows.find(hwnd) : m_windows.end();
        if (down && it != m_windows.end() && it->second.xic) {
            Status status;
            n = Xutf8LookupString(it->second.xic, &ev, buf, sizeof(buf) - 1, &ks, &status);
            if (status == XLookupChars) {
                // Text committed by the input method.
                InjectImeResult(quiva::Utf8ToWide(std::string(buf, static_cast<size_t>(n))));
                return;
            }
            if (status != XLookupKeySym && status != XLookupBoth)
                n = 0;
        } else {
            n = XLookupString(&ev, buf, sizeof(buf) - 1, &ks, nullptr);
        }
        UINT vk = VirtualKeyOf(ks);
        std::wstring text = n > 0 ? quiva::Utf8ToWide(std::string(buf, static_cast<size_t>(n))) : std::wstring();
        wchar_t ch = text.size() == 1 ? text[0] : 0;
        if (!vk && ch) {
            // A character key without a key code of its own gives its character once, when it
            // goes down.
            if (down)
                InjectImeResult(text);
            return;
        }
        if (vk)
            InjectKey(vk, down, down ? ch : 0);
    }

    std::recursive_mutex m_mutex;
    Display* m_display;
    ::Window m_root;
    Visual* m_visual;
    int m_depth;
    Atom m_deleteAtom;
    Atom m_motifAtom;
    Atom m_iconAtom;
    Atom m_netNameAtom;
    Atom m_netIconNameAtom;
    Atom m_utf8Atom;
    Atom m_wmCheckAtom;
    XIM m_xim = nullptr;
    bool m_overTheSpot = false;  // the input method draws the composition at a spot we give
    bool m_onTheSpot = false;    // the input method hands us the composition to show
    XICCallback m_preeditStart{};
    XIMCallback m_preeditDone{}, m_preeditDraw{}, m_preeditCaret{};
    XFontSet m_fontSet = nullptr;
    bool m_xi = false;
    int m_xiOpcode = 0;
    bool m_observing = false;
    GC m_invertGc = nullptr;
    CaretOverlay m_caret;
    bool m_blinkOn = false;
    std::chrono::steady_clock::time_point m_lastBlink{};
    std::map<HWND, XWin> m_windows;
    std::map<unsigned, Cursor> m_cursors;  // by cursor-font shape
    unsigned m_cursorShape = XC_left_ptr;  // the shape last set
    std::map<::Window, HWND> m_byX;
    std::map<unsigned, Time> m_pressedAt;  // by key code: the time of its press that came here
    std::map<unsigned, Time> m_releasedAt;  // by key code: a release that came before any press
    unsigned long m_activatedAt = 0;       // the request serial at the program's last activation
};

}  // namespace

namespace {

XErrorHandler g_previousErrorHandler = nullptr;
// X_SetInputFocus of the protocol's request codes (X11/Xproto.h, whose types clash with ours).
constexpr unsigned char kSetInputFocusRequest = 42;

// A window given the focus can leave the screen before the server handles the request (a window
// manager unmapping it): the server's refusal is no fault of ours, and Xlib's own handler would
// end the program over it. So is its refusal to read a property of a window that went, which
// the reader is told of (g_probeRefused). Every other error goes to the handler there was.
int IgnoreFocusRace(Display* display, XErrorEvent* error)
{
    if (error->request_code == kSetInputFocusRequest)
        return 0;
    if (error->request_code == kGetPropertyRequest && g_probedWindow != 0 && error->resourceid == g_probedWindow) {
        g_probeRefused = true;
        return 0;
    }
    return g_previousErrorHandler ? g_previousErrorHandler(display, error) : 0;
}

}  // namespace

std::unique_ptr<Backend> CreateX11Backend()
{
    static std::once_flag threads;
    std::call_once(threads, [] {
        XInitThreads();
        g_previousErrorHandler = XSetErrorHandler(IgnoreFocusRace);
    });
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return nullptr;
    if (DefaultDepth(d, DefaultScreen(d)) < 24) {
        XCloseDisplay(d);
        return nullptr;
    }
    return std::make_unique<X11Backend>(d);
}

}  // namespace quiva::ui
