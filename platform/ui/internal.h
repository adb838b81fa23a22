// Shared state of the window system (not for use outside platform/ui).
//
// Files: window.cpp (the window table and its helpers), classes.cpp, windows.cpp (create,
// destroy, relations, window data), geometry.cpp (position, z-order, show, enable),
// paint.cpp, defproc.cpp (DefWindowProc and the move/size loop), monitors.cpp; messages.cpp
// (queues, send/post/get, timers), input.cpp (raw input to messages, pointer, injection),
// focus.cpp (focus, activation, key state, hooks, caret, input method).
//
// The global lock, Lock(), a recursive mutex, guards: the class list, the window table
// (g_windows and every Window in it, including a child's place in its parent's list), the
// top-level order, the virtual screen, and the input state shared by all threads (focus,
// active window, capture, mouse-leave tracking, cursor position and shape, key state, the hook
// list). Find() and everything returning a Window* is only valid while it is held. It is never
// held while a window procedure, a hook or a timer procedure runs: code copies what it needs,
// lets go, then calls out (SendMessageW, CallProc, CallHooks). Anything a procedure may have
// changed is looked up again afterwards, because the window may be gone.
//
// Lock order (take left before right, never the other way round):
//   backend (X11) mutex -> Lock() -> g_queuesMutex -> a ThreadQueue's mutex
//   Lock() -> a top-level window's Surface mutex (painting from other threads, destroying)
// The GDI and text-engine mutexes come last, under any of these. A ThreadQueue's mutex guards
// only that queue's lists, timers and flags; nothing else is locked under it: a message made
// with the queue locked reads the cursor, and a read filtered to one window that window's
// tree, before taking the queue's mutex.
//
// Window lifecycle: CreateWindowExW enters the window in the table under the lock, then,
// without it, runs the creation hook and sends WM_NCCREATE, WM_NCCALCSIZE, WM_CREATE, WM_SIZE
// and WM_MOVE; any of them may destroy it, so each step checks IsWindow again. DestroyWindow
// destroys owned windows first, hides the window, drops its thread state (focus, capture,
// timers, caret), marks it `destroying`, sends WM_DESTROY, destroys the children last-first,
// sends WM_NCDESTROY, and only then removes it from the table; a top-level window's surface
// is released after taking its mutex, so a painter on another thread finishes first.
//
// Threads: a window belongs to the thread that created it (Window::thread). Its procedure
// runs only on that thread: messages sent from another thread wait in the owner's queue
// (ThreadQueue::sent) and run when the owner reads messages, while the sender handles the
// messages sent to itself. Each thread's queue (posted messages, raw input, timers, caret,
// input-method strings) is made on first use and read only by that thread; other threads
// only add to it under its mutex. Painting from other threads goes through
// PaintWindowSurface, which holds the lock so the window cannot go meanwhile.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui/uisystem.h"

namespace quiva::ui::detail {

struct ClassInfo {
    std::wstring name;
    WNDCLASSW wc;
};

struct Window {
    HWND handle = nullptr;
    std::shared_ptr<ClassInfo> cls;
    std::wstring title;
    DWORD style = 0;
    DWORD exStyle = 0;
    HWND parent = nullptr;  // child windows: the parent
    HWND owner = nullptr;   // top-level windows: the owner
    std::vector<HWND> children;  // bottom first
    RECT window{};  // top-level: screen; child: parent client coordinates
    RECT client{};  // same coordinates as `window`
    WNDPROC proc = nullptr;
    LONG_PTR userData = 0;
    LONG_PTR id = 0;
    bool visible = false;
    bool enabled = true;
    bool destroying = false;
    bool minimized = false;
    bool maximized = false;
    RECT normalRect{};
    bool hasUpdate = false;
    bool erase = false;
    RECT update{};  // client coordinates
    DWORD thread = 0;
    std::unique_ptr<Surface> surface;  // top-level windows only
};

struct RawInput {
    enum Kind { Move, Button, Wheel, Key, ImeCompose, ImeResult, Activate, Pause } kind = Move;
    explicit RawInput(Kind k = Move) : kind(k) {}
    int button = 0;
    bool down = false;
    POINT pt{};
    int delta = 0;
    UINT vk = 0;
    wchar_t ch = 0;
    std::wstring text;
    HWND window = nullptr;
    DWORD ms = 0;
    // A key typed into another program: offered to the keyboard hooks, never delivered.
    bool observed = false;
};

struct SentMessage {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result = 0;
    bool done = false;
    DWORD sender = 0;
};

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    UINT elapse;
    uint64_t due;
    TIMERPROC proc;
};

struct ThreadQueue {
    DWORD id = 0;
    std::mutex mutex;
    std::condition_variable cv;
    std::deque<MSG> posted;
    std::deque<RawInput> input;
    std::deque<SentMessage*> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    // Last key message made from input, with the character it produces.
    MSG lastKey{};
    wchar_t lastKeyChar = 0;
    // Input method strings for the messages being dispatched.
    std::wstring imeComposition;
    std::wstring imeResult;
    bool composing = false;
    // Caret
    CaretState caret{nullptr, {0, 0}, 0, 0, 1};
    MSG current{};
    // Double-click synthesis
    HWND lastClickWindow = nullptr;
    UINT lastClickMsg = 0;
    DWORD lastClickTime = 0;
    POINT lastClickPt{};
    bool lastWasDouble = false;
    DWORD clockBias = 0;  // added by InjectPause
};

// The global lock guards windows, classes and input state; it is never held while a
// window procedure runs.
std::recursive_mutex& Lock();
Window* Find(HWND hwnd);  // under Lock()
std::shared_ptr<ThreadQueue> QueueOf(DWORD threadId);
ThreadQueue& CurrentQueue();
void Wake(DWORD threadId);

// Top-level window holding hwnd (itself when top-level).
HWND TopLevelOf(HWND hwnd);
// Client rectangle / origin in screen coordinates.
RECT ClientScreenRect(HWND hwnd);
void QueueInput(DWORD threadId, RawInput in);
DWORD ThreadForInput();
// Activation with the click/other reason.
HWND Activate(HWND hwnd, bool click);
void DestroyThreadState(HWND hwnd);
// Called from DefWindowProc: the modal move/size loop.
void MoveSizeLoop(HWND hwnd, int hit, POINT start);
void RecalcClient(HWND hwnd);
// Registers the system class called `className` (the window system's own controls) when it
// is one; false for any other name.
bool RegisterSystemClass(LPCWSTR className);
// Registers one of those classes once (true when it is registered).
bool RegisterOwnClass(LPCWSTR className, WNDPROC proc, UINT style);
// The deepest visible child of `w` at a screen point (`w` itself when none is there).
HWND DeepestChildAt(Window* w, POINT screen);  // under Lock()
// The window that answers for a point in place of `hwnd`, which answered HTTRANSPARENT: a lower
// sibling of the same thread at the point, else the parent when it belongs to that thread; null
// when nothing below can answer.
HWND WindowBelow(HWND hwnd, POINT screen);
// Top-level windows, front first.
std::vector<HWND> TopLevels();
// DefWindowProcW's handling of the window menu, window icons and minimised windows (defaults.cpp);
// false for a message it leaves to the rest of DefWindowProcW.
bool DefWindowExtras(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
// Drops the window menu of a window that goes away (menu.cpp).
void ForgetSystemMenu(HWND hwnd);

// Keyboard hooks, newest first in g_hooks.
struct Hook {
    HHOOK handle;
    HOOKPROC proc;
    DWORD thread;  // the installing thread, which hears keys typed into other programs
};

// State and helpers shared by the window system's files; all under Lock() unless said.
extern std::vector<std::shared_ptr<ClassInfo>> g_classes;
extern std::map<uintptr_t, std::unique_ptr<Window>> g_windows;
extern std::vector<HWND> g_topLevels;  // front first
extern uintptr_t g_nextHandle;
extern thread_local std::function<void(HWND)> t_createHook;  // per thread, no lock
bool SameName(const std::wstring& a, LPCWSTR b);
std::shared_ptr<ClassInfo> FindClass(LPCWSTR name);
void RaiseTopLevel(HWND hwnd);
bool ReallyVisible(const Window* w);
void InvalidateTree(HWND hwnd);
// The rectangle of a window at (x, y) of the given size (a negative size is 0); false when its
// right or bottom edge lies beyond the coordinates there are.
bool WindowRectAt(int x, int y, int width, int height, RECT* out);
// Gives a top-level window's surface the size of `rect`; false, with the surface as it was, when
// it cannot have that size. True for a child window.
bool ResizeSurface(Window* w, const RECT& rect);
// Counts a surface rectangle handed to the backend to show (PresentedSoFar); any thread.
void CountPresent(const RECT& surfaceRect);

// Input state shared by all threads (one pointer, one keyboard).
extern HWND g_focus;
extern HWND g_active;
extern HWND g_capture;
extern HWND g_trackLeave;
extern POINT g_cursor;
extern HCURSOR g_currentCursor;
extern BYTE g_keys[256];
extern std::vector<Hook> g_hooks;
extern uintptr_t g_nextHook;
// Message time on the calling thread's queue (tick count plus injected pauses).
DWORD Now();
Window* FindLocked(HWND h);
// The pointer position, read under Lock(); for messages made while a queue is locked, read
// before locking it.
POINT CursorNow();
// MK_* flags from the key state (takes Lock()).
WPARAM MouseKeyFlags();
void PostLeave(HWND hwnd);
// Turns one input event into the message it means now, or into nothing. Returns true and
// fills `out` when a message results.
bool ConvertInput(ThreadQueue& q, RawInput in, MSG* out);
LRESULT CallHooks(size_t from, int code, WPARAM wParam, LPARAM lParam);

}  // namespace quiva::ui::detail
