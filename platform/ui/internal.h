// Shared state of the window system (not for use outside platform/ui).
#pragma once

#include <algorithm>
#include <condition_variable>
#include <deque>
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

}  // namespace quiva::ui::detail
