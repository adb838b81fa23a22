// The window system's own interface: backends, the input path shared by injected and real
// input, the virtual screen and access to window surfaces.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/gdi/Surface.h"
#include "platform/ui/winuser.h"

namespace quiva::ui {

// A display backend. The window system calls it from the thread that owns the window.
class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;
    // A top-level window was created, moved or resized, shown or hidden, or destroyed.
    virtual void WindowCreated(HWND) {}
    virtual void WindowChanged(HWND) {}
    virtual void WindowDestroyed(HWND) {}
    // Part of a top-level window's surface (surface coordinates) was painted.
    virtual void Present(HWND, const RECT&) {}
    // The capture moved to `hwnd` (null: released).
    virtual void CaptureChanged(HWND) {}
    // The mouse pointer's shape was set (SetCursor): the system cursor's resource number, or
    // 0 for none.
    virtual void CursorChanged(HCURSOR) {}
    // A top-level window's text (its title) was set.
    virtual void TitleChanged(HWND) {}
    // A top-level window was given another icon (quiva::ui::WindowIcon).
    virtual void IconChanged(HWND) {}
    // A top-level window became the active window (a click on it, SetActiveWindow): the display
    // gives it the keyboard focus too, so that keys typed next reach the window that is active.
    virtual void ActivationChanged(HWND) {}
    // Turns pending display events into input; waits at most `timeoutMs` for one
    // (0: do not wait). Returns true when it handled something.
    virtual bool Pump(int timeoutMs) = 0;
    // Keys typed into other programs are wanted (a low-level keyboard hook is installed) or no
    // longer wanted. A backend that can observe them passes them to InjectObservedKey; it
    // never takes them away from the program they were typed into.
    virtual void ObserveKeys(bool) {}
    // Where the display's input method is told to show the text being composed in a top-level
    // window (window coordinates: the caret's bottom left corner); false when it has no input
    // method.
    virtual bool InputMethodSpot(HWND, POINT*) { return false; }
    // The display's input method forgets the text being composed in a top-level window, which
    // the focused control has taken as typed: none of it comes to the program again.
    virtual void DropComposition(HWND) {}
    // The display system's own id of a top-level window (0: none).
    virtual unsigned long NativeHandle(HWND) { return 0; }
    // Whether the display shows the titles of top-level windows that have a caption (on X11, a
    // window manager runs and draws them); asked anew each time, as a window manager may come
    // or go. False: such a window shows its title itself where it matters.
    virtual bool ShowsTitles() { return true; }
};

// A registered window class as the window system holds it.
struct RegisteredClass {
    std::wstring name;
    HINSTANCE instance;
    WNDPROC proc;
};
// Every registered window class, in the order of registration.
std::vector<RegisteredClass> RegisteredClasses();

enum class BackendKind { Automatic, Headless, X11 };
// Chooses the backend for the process; must be called before the first window is created
// (Automatic: X11 when DISPLAY is set and QUIVA_HEADLESS is not 1, else headless).
// Returns false when the chosen backend cannot start (the headless one is used then).
bool SelectBackend(BackendKind kind);
Backend& CurrentBackend();
// Presents a top-level window's surface rectangle from a thread that holds none of the window
// system's locks (a renderer's streaming thread); the backend is not replaced meanwhile.
void PresentFromAnyThread(HWND top, const RECT& surfaceRect);
// What has been handed to the backend to show since the process began, over every window and
// thread: the surface rectangles and their pixels (for tests and benchmarks).
struct PresentTally {
    uint64_t presents = 0;
    uint64_t pixels = 0;
};
PresentTally PresentedSoFar();
bool IsHeadless();

// The virtual screen: one monitor. Headless default 1920x1080 at (0, 0) with the whole
// screen as work area.
void SetVirtualScreen(const RECT& screen, const RECT& work);
RECT VirtualScreen();
RECT WorkArea();

// Input. Injected input and the X11 backend's events go through these; they are queued to
// the thread that owns the window they are meant for and turned into window messages there,
// in order, when that thread reads its queue. Points are screen coordinates.
enum MouseButton { ButtonLeft = 0, ButtonRight = 1, ButtonMiddle = 2 };
void InjectMouseMove(int x, int y);
void InjectMouseButton(MouseButton button, bool down, int x, int y);
void InjectClick(int x, int y, MouseButton button = ButtonLeft);
void InjectWheel(int delta, int x, int y);
// A key press or release with the character it produces (0: derived from the key).
void InjectKey(UINT vk, bool down, wchar_t ch = 0);
void InjectKeyStroke(UINT vk, wchar_t ch = 0);
// A key press or release typed into another program: the keyboard hooks see it (on the thread
// that installed the newest one) and the key state follows it; no window receives it.
void InjectObservedKey(UINT vk, bool down);
// Input method: a composition in progress, then the finished text.
void InjectImeComposition(const std::wstring& composing);
void InjectImeResult(const std::wstring& result);
// The application gains (`window` becomes active) or loses activation (window null).
void InjectActivation(HWND window);
// Makes the time between two injected events look longer than the double-click time.
void InjectPause(DWORD ms);

// Dispatches everything pending for the calling thread (sent and posted messages, input,
// paints, due timers) without waiting. Returns the number of messages dispatched.
int PumpPending();

// The surface of the top-level window that holds `hwnd`, and the position of `hwnd`'s
// client area inside it.
Surface* WindowSurface(HWND hwnd);
POINT ClientOriginInSurface(HWND hwnd);
// For painting from any thread: calls `paint` with that surface (locked), the client origin and
// the client area in surface coordinates while the window system is locked, so the window cannot
// be destroyed under it. False, without calling, when `hwnd` is not (or no longer) a window.
bool PaintWindowSurface(HWND hwnd, const std::function<void(Surface&, POINT, RECT)>& paint);
// Shows `hwnd`'s client area as the surface holds it now, from any thread and with nothing of
// the window system locked: what another thread painted (a video frame) is seen at once, also
// while the window's own thread is busy and paints nothing.
void PresentWindowSurface(HWND hwnd);
// Writes the top-level window holding `hwnd` (its whole surface) as a PNG file.
bool WriteWindowPng(HWND hwnd, const std::string& nativePath);

// Called with each new window handle before WM_NCCREATE reaches it, on the creating thread,
// once; lets an object bind itself to the window it is creating.
void SetNextCreateHook(std::function<void(HWND)> hook);

// The caret of the calling thread, as the layer draws it.
struct CaretState {
    HWND owner;
    POINT pos;
    int width;
    int height;
    int hideCount;
};
CaretState GetCaretState();

// Non-client border width for a style (thick frame, thin border, none).
int FrameWidth(DWORD style);

}  // namespace quiva::ui
