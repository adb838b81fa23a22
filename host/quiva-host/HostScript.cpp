#include "host/quiva-host/HostScript.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/gdi/Surface.h"
#include "platform/ui/uisystem.h"

namespace {

HostScript* g_running = nullptr;

// The window classes of the capture frame and of its video area.
const wchar_t kFrameClass[] = L"QUIVACaptureWnd";
const wchar_t kVideoClass[] = L"QUIVACaptureWndClass";

std::wstring ClassName(HWND hwnd)
{
    wchar_t name[64] = {};
    if (hwnd)
        GetClassNameW(hwnd, name, 64);
    return name;
}

bool Tokenize(const std::string& line, std::vector<std::string>* out)
{
    size_t i = 0;
    while (i < line.size()) {
        if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
            ++i;
            continue;
        }
        if (line[i] == '#')
            break;
        std::string token;
        if (line[i] == '"') {
            size_t end = line.find('"', i + 1);
            if (end == std::string::npos)
                return false;
            token = line.substr(i + 1, end - i - 1);
            i = end + 1;
        } else {
            size_t end = line.find_first_of(" \t\r", i);
            if (end == std::string::npos)
                end = line.size();
            token = line.substr(i, end - i);
            i = end;
        }
        out->push_back(token);
    }
    return true;
}

// A whole decimal number that fits an int (a leading '-' allowed); false for anything else.
bool ToInt(const std::string& s, int* value)
{
    const char* end = s.data() + s.size();
    auto [stop, error] = std::from_chars(s.data(), end, *value);
    return error == std::errc() && stop == end;
}

// A number argument, which the parser has checked.
int Number(const std::string& s)
{
    int value = 0;
    ToInt(s, &value);
    return value;
}

// The virtual-key code of a key name, 0 when unknown.
unsigned KeyCode(const std::string& name)
{
    std::string n;
    for (char ch : name)
        n += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    int f = 0;
    if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'z')
        return static_cast<unsigned>('A' + (n[0] - 'a'));
    if (n.size() == 1 && n[0] >= '0' && n[0] <= '9')
        return static_cast<unsigned>(n[0]);
    if (n.size() >= 2 && n[0] == 'f' && ToInt(n.substr(1), &f))
        return f >= 1 && f <= 12 ? static_cast<unsigned>(VK_F1 + f - 1) : 0;
    if (n == "space")
        return VK_SPACE;
    if (n == "pause")
        return VK_PAUSE;
    if (n == "ctrl")
        return VK_LCONTROL;
    if (n == "enter")
        return VK_RETURN;
    if (n == "escape")
        return VK_ESCAPE;
    return 0;
}

// Why an argument of the kind its command's shape gives (see HostScript::Command) is not one of
// that kind, empty when it is.
std::string BadArgument(char kind, const std::string& a)
{
    int n = 0;
    if (kind == 'n' && !ToInt(a, &n))
        return "\"" + a + "\" is not a number";
    if (kind == 'b' && a != "0" && a != "1")
        return "expect-shown takes 0 or 1";
    if (kind == 'k' && !KeyCode(a) && a != "ctrl+s")
        return "unknown key \"" + a + "\"";
    return "";
}

std::string Ansi(const std::string& utf8) { return quiva::WideToMultiByte(quiva::Utf8ToWide(utf8)); }

LRESULT CALLBACK HostWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct FoundCapture {
    HWND hwnd = nullptr;
};

BOOL CALLBACK FindCapture(HWND hwnd, LPARAM lParam)
{
    // The capture frame is the module's top-level window shown in the task bar; its drop-down
    // lists and dialogs are not.
    if (ClassName(hwnd) == kFrameClass && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW)) {
        reinterpret_cast<FoundCapture*>(lParam)->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The shown top-level windows with a title besides the capture window and the host's own: the
// module's message boxes and dialogs.
struct FoundDialogs {
    HWND capture = nullptr, host = nullptr;
    std::vector<std::pair<HWND, std::wstring>> shown;
};

BOOL CALLBACK FindDialogs(HWND hwnd, LPARAM lParam)
{
    auto* found = reinterpret_cast<FoundDialogs*>(lParam);
    wchar_t title[256] = {};
    if (hwnd != found->capture && hwnd != found->host && IsWindowVisible(hwnd) && GetWindowTextW(hwnd, title, 256) > 0)
        found->shown.emplace_back(hwnd, title);
    return TRUE;
}

// The capture window's video area: its child window 1, of the video class.
HWND VideoArea(HWND frame)
{
    HWND child = GetDlgItem(frame, 1);
    return ClassName(child) == kVideoClass ? child : nullptr;
}

// Regular files matching a pattern.
std::vector<std::string> MatchingFiles(const std::string& pattern)
{
    glob_t found {};
    std::vector<std::string> files;
    if (glob(pattern.c_str(), GLOB_NOSORT, nullptr, &found) == 0) {
        for (size_t i = 0; i < found.gl_pathc; ++i) {
            struct stat st {};
            if (::stat(found.gl_pathv[i], &st) == 0 && S_ISREG(st.st_mode))
                files.push_back(found.gl_pathv[i]);
        }
    }
    globfree(&found);
    return files;
}

bool AnyFileHolds(const std::string& pattern, const std::string& text)
{
    for (const std::string& file : MatchingFiles(pattern)) {
        std::ifstream in(file, std::ios::binary);
        std::stringstream bytes;
        bytes << in.rdbuf();
        if (bytes.str().find(text) != std::string::npos)
            return true;
    }
    return false;
}

// What a command needs before it can run.
enum class Needs { Module, Nothing };

}  // namespace

// A command of the script: its name; how many arguments it takes and of what kind, one letter
// each (t text, n number, k key name, b 0 or 1), the last letter standing for any after it; what
// it needs; and what runs it (calling Fail when it failed). A wait's last argument is its bound in
// milliseconds.
struct HostScript::Command {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
    const char* kinds;
    Needs needs;
    void (*run)(HostScript& script, const HostCommand& c);

    // Why the command's arguments do not fit, empty when they do.
    std::string Mismatch(const HostCommand& c) const;
};

const HostScript::Command HostScript::kCommands[] = {
    {"parent", 0, 0, "", Needs::Module, [](HostScript& s, const HostCommand&) { s.MakeHostWindow(); }},
    {"show", 1, 2, "t", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Show(c, false); }},
    {"showmodal", 1, 2, "t", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Show(c, true); }},
    {"close", 0, 0, "", Needs::Module, [](HostScript& s, const HostCommand&) { s.m_module.Close(); }},
    {"clear", 0, 0, "", Needs::Module, [](HostScript& s, const HostCommand&) { s.m_module.Clear(); }},
    {"open", 0, 0, "", Needs::Module, [](HostScript& s, const HostCommand&) { s.m_module.Open(); }},
    {"expect-shown", 1, 1, "b", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         const bool want = c.args[0] == "1";
         if ((s.m_module.IsShow() != 0) != want)
             s.Fail(c, want ? "the capture window is not shown" : "the capture window is shown");
     }},
    {"key", 1, 16, "k", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Keys(c); }},
    {"keydown", 1, 1, "k", Needs::Module,
     [](HostScript&, const HostCommand& c) { quiva::ui::InjectKey(KeyCode(c.args[0]), true); }},
    {"keyup", 1, 1, "k", Needs::Module,
     [](HostScript&, const HostCommand& c) { quiva::ui::InjectKey(KeyCode(c.args[0]), false); }},
    {"click", 2, 2, "n", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Pointer(c, false); }},
    {"drag", 4, 4, "n", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Pointer(c, true); }},
    {"wheel", 3, 3, "n", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         HWND w = s.CaptureWindow();
         if (!w)
             return s.Fail(c, "there is no capture window");
         POINT p{Number(c.args[0]), Number(c.args[1])};
         ClientToScreen(w, &p);
         quiva::ui::InjectMouseMove(p.x, p.y);
         quiva::ui::InjectWheel(Number(c.args[2]), p.x, p.y);
     }},
    {"activate", 0, 0, "", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Activate(c); }},
    {"deactivate", 0, 0, "", Needs::Module, [](HostScript&, const HostCommand&) { quiva::ui::InjectActivation(nullptr); }},
    {"wait", 1, 1, "n", Needs::Nothing, [](HostScript& s, const HostCommand& c) { s.BeginWait(c, nullptr, ""); }},
    {"wait-closed", 1, 1, "n", Needs::Nothing,
     [](HostScript& s, const HostCommand& c) { s.BeginWait(c, [&s] { return !s.CaptureWindow(); }, ""); }},
    {"wait-shown", 1, 1, "n", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         s.BeginWait(c, [&s] { return s.m_module.IsShow() != 0; }, "the capture window was not shown");
     }},
    {"wait-preview", 1, 1, "n", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         s.BeginWait(c, [&s] { return s.PreviewShown(); }, "the capture window showed no picture");
     }},
    {"wait-files", 3, 3, "tnn", Needs::Nothing,
     [](HostScript& s, const HostCommand& c) {
         const std::string pattern = c.args[0];
         const int want = Number(c.args[1]);
         s.BeginWait(c, [pattern, want] { return static_cast<int>(MatchingFiles(pattern).size()) == want; },
                     "not " + c.args[1] + " files matched " + pattern);
     }},
    {"wait-text", 3, 3, "ttn", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         const std::string pattern = c.args[0], text = c.args[1];
         s.BeginWait(c, [pattern, text] { return AnyFileHolds(pattern, text); },
                     "no file matching " + pattern + " held \"" + text + "\"");
     }},
    {"wait-dialog", 2, 2, "tn", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         const std::wstring title = quiva::Utf8ToWide(c.args[0]);
         s.BeginWait(c,
                     [&s, title] {
                         for (const auto& d : s.Dialogs())
                             if (d.second == title)
                                 return true;
                         return false;
                     },
                     "no dialog titled \"" + c.args[0] + "\" was shown");
     }},
    {"wait-no-dialog", 1, 1, "n", Needs::Module,
     [](HostScript& s, const HostCommand& c) {
         s.BeginWait(c, [&s] { return s.Dialogs().empty(); }, "a dialog stayed shown");
     }},
    {"picture", 1, 1, "t", Needs::Module, [](HostScript& s, const HostCommand& c) { s.Picture(c); }},
    {"print", 0, 0, "", Needs::Module, [](HostScript& s, const HostCommand&) { s.Print(); }},
    {"unload", 0, 0, "", Needs::Nothing, [](HostScript& s, const HostCommand&) { s.Unload(); }},
    {"wait-unloaded", 1, 1, "n", Needs::Nothing,
     [](HostScript& s, const HostCommand& c) {
         s.BeginWait(c, [&s] { return !s.m_module.CodeInProcess(); }, "the module's code stayed in the process");
     }},
};

std::string HostScript::Command::Mismatch(const HostCommand& c) const
{
    if (c.args.size() < minArgs || c.args.size() > maxArgs)
        return "wrong number of arguments for \"" + c.name + "\"";
    const size_t last = std::strlen(kinds) - 1;
    for (size_t i = 0; i < c.args.size(); ++i) {
        std::string why = BadArgument(kinds[std::min(i, last)], c.args[i]);
        if (!why.empty())
            return why;
    }
    return "";
}

const HostScript::Command* HostScript::Find(const std::string& name)
{
    for (const Command& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

bool HostScript::Parse(const std::string& text, std::vector<HostCommand>* commands, std::string* error)
{
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::vector<std::string> tokens;
        auto fail = [&](const std::string& why) {
            if (error)
                *error = "line " + std::to_string(number) + ": " + why;
            return false;
        };
        if (!Tokenize(line, &tokens))
            return fail("unclosed quote");
        if (tokens.empty())
            continue;
        HostCommand c;
        c.line = number;
        c.name = tokens[0];
        c.args.assign(tokens.begin() + 1, tokens.end());
        const Command* command = Find(c.name);
        if (!command)
            return fail("unknown command \"" + c.name + "\"");
        std::string mismatch = command->Mismatch(c);
        if (!mismatch.empty())
            return fail(mismatch);
        commands->push_back(std::move(c));
    }
    return true;
}

int ProcessThreads(std::string* names)
{
    int threads = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (names)
            *names += " " + name;
        ++threads;
    }
    return threads;
}

int HostScript::Run()
{
    g_running = this;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, Tick);
    Step();
    MSG msg;
    while (!m_done && GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    KillTimer(nullptr, timer);
    // Once more to the queue, as a program's loop goes on: a module unloaded while a loop of its
    // own ran finishes unloading here, before a next script would load it again.
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    g_running = nullptr;
    if (m_hostWindow && IsWindow(m_hostWindow))
        DestroyWindow(m_hostWindow);
    return m_status;
}

void CALLBACK HostScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_running)
        g_running->Step();
}

void HostScript::Step()
{
    // A command that runs a modal loop (showmodal, a message box) keeps this call open while
    // the loop's ticks run the commands after it.
    NoteDialogs();
    if (m_done || !WaitOver())
        return;
    while (!m_done && m_next < m_commands.size()) {
        Execute(m_commands[m_next++]);
        // The command began a wait, or a modal loop that ran the commands after it left one of
        // them waiting.
        if (m_waiting)
            return;
    }
    if (m_next >= m_commands.size())
        m_done = true;
    if (m_done)
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);  // wakes the loop in Run
}

bool HostScript::WaitOver()
{
    if (!m_waiting)
        return true;
    const bool happened = m_until && m_until();
    if (!happened && static_cast<int>(m_resumeAt - GetTickCount()) > 0)
        return false;
    m_waiting = false;
    m_until = nullptr;
    if (!happened && !m_untilWhat.empty())
        Fail(*m_waitCommand, m_untilWhat + " within " + m_waitCommand->args.back() + " ms");
    return true;
}

void HostScript::Execute(const HostCommand& c)
{
    const Command* command = Find(c.name);  // the parser let no other command through
    if (command->needs == Needs::Module && !m_module.Loaded())
        return Fail(c, "the module is not loaded");
    command->run(*this, c);
}

void HostScript::Fail(const HostCommand& c, const std::string& why)
{
    std::fprintf(stderr, "quiva-host: line %d (%s): %s\n", c.line, c.name.c_str(), why.c_str());
    m_status = 1;
    m_done = true;
    // Inside the capture window's modal loop, or a message box's that the script will not close
    // now, nothing would end that loop: the host ends.
    if (m_modalDepth > 0 || !Dialogs().empty()) {
        std::fflush(nullptr);
        std::_Exit(m_status);
    }
}

void HostScript::BeginWait(const HostCommand& c, std::function<bool()> done, std::string what)
{
    m_resumeAt = GetTickCount() + static_cast<DWORD>(std::max(0, Number(c.args.back())));
    m_until = std::move(done);
    m_untilWhat = std::move(what);
    m_waitCommand = &c;
    m_waiting = true;
}

void HostScript::MakeHostWindow()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = HostWindowProc;
    wc.lpszClassName = L"QuivaHostWindow";
    RegisterClassW(&wc);
    m_hostWindow = CreateWindowExW(0, L"QuivaHostWindow", L"quiva-host", WS_OVERLAPPED, 0, 0, 320, 200, nullptr, nullptr,
                                   nullptr, nullptr);
    m_module.ParentWnd(m_hostWindow);
}

void HostScript::Show(const HostCommand& c, bool modal)
{
    const std::string chart = Ansi(c.args[0]), date = c.args.size() > 1 ? Ansi(c.args[1]) : std::string();
    if (!modal) {
        m_module.Show(chart.c_str(), date.c_str());
        return;
    }
    ++m_modalDepth;
    m_module.ShowModal(chart.c_str(), date.c_str());
    --m_modalDepth;
    std::printf("showmodal returned\n");
    std::fflush(stdout);
}

void HostScript::Keys(const HostCommand& c)
{
    for (const std::string& k : c.args) {
        if (k == "ctrl+s") {
            quiva::ui::InjectKey(VK_LCONTROL, true);
            quiva::ui::InjectKeyStroke('S');
            quiva::ui::InjectKey(VK_LCONTROL, false);
        } else {
            quiva::ui::InjectKeyStroke(KeyCode(k));
        }
    }
}

void HostScript::Pointer(const HostCommand& c, bool drag)
{
    HWND w = CaptureWindow();
    if (!w)
        return Fail(c, "there is no capture window");
    const auto& a = c.args;
    POINT p{Number(a[0]), Number(a[1])};
    ClientToScreen(w, &p);
    quiva::ui::InjectPause(1000);  // never the second half of a double click
    quiva::ui::InjectMouseMove(p.x, p.y);
    if (!drag) {
        quiva::ui::InjectClick(p.x, p.y);
    } else {
        POINT q{Number(a[2]), Number(a[3])};
        ClientToScreen(w, &q);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
        quiva::ui::InjectMouseMove((p.x + q.x) / 2, (p.y + q.y) / 2);
        quiva::ui::InjectMouseMove(q.x, q.y);
        quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, q.x, q.y);
    }
    quiva::ui::InjectPause(1000);
}

void HostScript::Activate(const HostCommand& c)
{
    HWND w = CaptureWindow();
    if (!w)
        return Fail(c, "there is no capture window");
    quiva::ui::InjectActivation(w);
}

void HostScript::Picture(const HostCommand& c)
{
    HWND w = CaptureWindow();
    if (!w || !quiva::ui::WriteWindowPng(w, c.args[0]))
        return Fail(c, "no picture of the capture window was written");
}

std::vector<std::pair<HWND, std::wstring>> HostScript::Dialogs() const
{
    FoundDialogs found;
    found.capture = CaptureWindow();
    found.host = m_hostWindow;
    EnumWindows(FindDialogs, reinterpret_cast<LPARAM>(&found));
    return found.shown;
}

void HostScript::NoteDialogs()
{
    const auto shown = Dialogs();
    for (const auto& [hwnd, title] : shown)
        if (std::find(m_dialogsSeen.begin(), m_dialogsSeen.end(), hwnd) == m_dialogsSeen.end()) {
            std::printf("dialog shown: \"%s\"\n", quiva::WideToUtf8(title).c_str());
            std::fflush(stdout);
        }
    m_dialogsSeen.clear();
    for (const auto& d : shown)
        m_dialogsSeen.push_back(d.first);
}

void HostScript::Print()
{
    HWND w = CaptureWindow();
    if (!w) {
        std::printf("capture window: none\n");
    } else {
        wchar_t title[256] = {};
        GetWindowTextW(w, title, 256);
        RECT r;
        GetWindowRect(w, &r);
        std::printf("capture window: \"%s\" at %d,%d size %dx%d %s%s\n", quiva::WideToUtf8(title).c_str(),
                    static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
                    static_cast<int>(r.bottom - r.top), IsWindowVisible(w) ? "visible" : "hidden",
                    (GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST) ? " topmost" : "");
    }
    if (m_hostWindow)
        std::printf("host window: %s\n", IsWindow(m_hostWindow) ? "present" : "gone");
    std::fflush(stdout);
}

void HostScript::Unload()
{
    m_module.Unload();
    // What the module left behind: threads of this process and its window classes. A thread
    // the unload joined may still be listed for a moment, until the kernel has reaped it.
    std::string names;
    // A module that is still running a loop of its own has kept itself loaded: its threads stay.
    int threads = ProcessThreads();
    for (DWORD start = GetTickCount(); threads > m_threadsBeforeLoad && !m_module.CodeInProcess() && GetTickCount() - start < 10000;
         threads = ProcessThreads())
        Sleep(5);
    threads = ProcessThreads(&names);
    WNDCLASSW wc;
    int classes = (GetClassInfoW(nullptr, kFrameClass, &wc) ? 1 : 0) + (GetClassInfoW(nullptr, kVideoClass, &wc) ? 1 : 0);
    std::printf("unloaded: %d threads (%d before loading), %d window classes (threads:%s)\n", threads, m_threadsBeforeLoad,
                classes, names.c_str());
    std::fflush(stdout);
}

bool HostScript::PreviewShown() const
{
    HWND frame = CaptureWindow();
    if (!frame || !IsWindowVisible(frame))
        return false;
    HWND video = VideoArea(frame);
    if (!video)
        return false;
    // The renderer paints the source's picture there; a black area, or one with only a line of
    // white text on it, shows none. A picture has colour in a good part of it.
    int samples = 0, coloured = 0;
    quiva::ui::PaintWindowSurface(video, [&](quiva::Surface& surface, POINT, RECT area) {
        for (LONG y = area.top; y < area.bottom; y += 4)
            for (LONG x = area.left; x < area.right; x += 4) {
                const uint32_t p = surface.At(x, y);
                const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                ++samples;
                coloured += std::max({r, g, b}) - std::min({r, g, b}) > 48;
            }
    });
    return samples > 0 && coloured * 10 >= samples;
}

HWND HostScript::CaptureWindow() const
{
    FoundCapture found;
    EnumWindows(FindCapture, reinterpret_cast<LPARAM>(&found));
    return found.hwnd;
}
