// A script that drives the capture module the way a clinic-records program and its user would:
// one command per line ('#' starts a comment; arguments may be double-quoted):
//
//   parent                   make the host's own window and pass it (QUIVACaptureParentWnd)
//   show CHART [DATE]        QUIVACaptureShow; returns at once
//   showmodal CHART [DATE]   QUIVACaptureShowModal; the rest of the script runs inside its loop
//   close | clear | open     QUIVACaptureClose, QUIVACaptureClear, QUIVACaptureOpen
//   expect-shown 0|1         QUIVACaptureIsShow must answer so
//   key NAME...              a press and release of each key (space, pause, f1-f12, a-z, 0-9,
//                            enter, escape); "ctrl+s" holds Ctrl around the S
//   keydown NAME | keyup NAME
//   click X Y                a left click at a client point of the capture window
//   drag X1 Y1 X2 Y2         a press, a move and a release there
//   wheel X Y DELTA          the pointer moved to a client point, and a turn of the wheel
//                            there (120 a notch away from the person, -120 towards)
//   activate | deactivate    the capture window gains or loses the activation
//   wait MS                  lets the message loop run that long (for what time itself decides,
//                            such as a recording's length)
//   wait-closed MS           the same, ending early when the capture window has gone
//   wait-shown MS            until the capture window is shown
//   wait-preview MS          until the capture window's video area shows a picture
//   wait-files PATTERN N MS  until exactly N files match PATTERN (a path with * and ? in
//                            any of its parts, relative to the working folder): N captures
//                            in a store folder, a commit's copies, a store emptied by a commit.
//                            Keys typed before a wait have been handled when it first looks.
//   wait-text PATTERN TEXT MS  until a file matching PATTERN holds TEXT (a recording listed
//                            in its folder's info.xml)
//                            These fail the script, naming what did not happen, when it
//                            has not happened within MS milliseconds of the message loop.
//   wait-dialog TITLE MS     until a message box or dialog with that title is shown (each one
//                            shown is printed as it appears: dialog shown: "TITLE"); "key
//                            escape" then closes it
//   wait-no-dialog MS        until no message box or dialog is shown (the commands after a
//                            box's key run inside its loop until it has closed)
//   picture PATH             writes the capture window as a PNG file
//   print                    prints the capture window's caption, rectangle and state, and
//                            whether the host's own window is still there
//   unload                   unloads the module and says how many threads and window classes
//                            it left (and how many threads there were before it was loaded)
//   wait-unloaded MS         until the module's code has left the process (an unload asked for
//                            while a loop of the module ran finishes after that loop)
//
// Text arguments are UTF-8 and reach the module in its ANSI code page. The table of commands in
// HostScript.cpp gives each its argument shape and the function that runs it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/quiva-host/CaptureModule.h"

struct HostCommand {
    int line = 0;
    std::string name;
    std::vector<std::string> args;
};

// Threads of this process (names in `names`, space-separated, when given).
int ProcessThreads(std::string* names = nullptr);

class HostScript {
public:
    HostScript(CaptureModule& module, std::vector<HostCommand> commands, int threadsBeforeLoad)
        : m_module(module), m_commands(std::move(commands)), m_threadsBeforeLoad(threadsBeforeLoad)
    {
    }

    // Splits a script into commands; false with `error` ("line N: ...") for a line that is not one.
    static bool Parse(const std::string& text, std::vector<HostCommand>* commands, std::string* error);

    // Runs the commands on the calling thread's message loop; returns when the last one ran or
    // one failed. 0 when every command ran and every expectation held, else 1.
    int Run();
    // The host's own window (made by "parent"), null when none.
    HWND HostWindow() const { return m_hostWindow; }

private:
    struct Command;  // a command's name, argument shape and what runs it
    static const Command kCommands[];
    static const Command* Find(const std::string& name);

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    // Runs commands until one waits, ends the script or fails.
    void Step();
    // Whether no wait holds the script back any longer; a wait whose event did not come in time
    // fails it.
    bool WaitOver();
    void Execute(const HostCommand& c);
    // Says why the command failed and ends the script with status 1.
    void Fail(const HostCommand& c, const std::string& why);
    // Lets the message loop run until `done` answers true or the command's last argument in
    // milliseconds has passed; with a `what`, the script fails at the bound saying that it did
    // not happen.
    void BeginWait(const HostCommand& c, std::function<bool()> done, std::string what);

    // The commands that take more than a call or two.
    void MakeHostWindow();
    void Show(const HostCommand& c, bool modal);
    void Keys(const HostCommand& c);
    void Pointer(const HostCommand& c, bool drag);  // a click, or a drag
    void Activate(const HostCommand& c);
    void Picture(const HostCommand& c);
    void Print();
    void Unload();
    // The module's shown message boxes and dialogs (top-level windows with a title besides the
    // capture window and the host's own), and the note of each newly shown one.
    std::vector<std::pair<HWND, std::wstring>> Dialogs() const;
    void NoteDialogs();

    // The capture window, null when none.
    HWND CaptureWindow() const;
    // Whether the capture window's video area shows a picture (colour, not black or text).
    bool PreviewShown() const;

    CaptureModule& m_module;
    std::vector<HostCommand> m_commands;
    size_t m_next = 0;
    DWORD m_resumeAt = 0;
    bool m_waiting = false;
    std::function<bool()> m_until;
    std::string m_untilWhat;  // what must happen, for the failure at the bound
    const HostCommand* m_waitCommand = nullptr;
    bool m_done = false;
    int m_status = 0;
    int m_modalDepth = 0;  // showmodal commands running
    HWND m_hostWindow = nullptr;
    std::vector<HWND> m_dialogsSeen;  // shown at the last look
    int m_threadsBeforeLoad = 0;
};
