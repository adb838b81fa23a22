#include "host/quiva-host/HostScript.h"

#include <glob.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/base/clock.h"
#include "platform/base/codepage.h"
#include "platform/gdi/Surface.h"
#include "platform/ui/uisystem.h"

namespace {

HostScript* g_running = nullptr;

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

struct Shape {
    const char* name;
    size_t minArgs;
    size_t maxArgs;
};
const Shape kShapes[] = {
    {"parent", 0, 0}, {"show", 1, 2}, {"showmodal", 1, 2}, {"close", 0, 0}, {"clear", 0, 0}, {"open", 0, 0},
    {"expect-shown", 1, 1}, {"key", 1, 16}, {"keydown", 1, 1}, {"keyup", 1, 1}, {"click", 2, 2}, {"drag", 4, 4},
    {"activate", 0, 0}, {"deactivate", 0, 0}, {"wait", 1, 1}, {"wait-closed", 1, 1}, {"wait-shown", 1, 1}, {"wait-preview", 1, 1},
    {"wait-files", 3, 3}, {"wait-text", 3, 3}, {"picture", 1, 1}, {"print", 0, 0}, {"unload", 0, 0},
};

bool IsNumber(const std::string& s)
{
    if (s.empty())
        return false;
    for (size_t i = (s[0] == '-' ? 1 : 0); i < s.size(); ++i)
        if (s[i] < '0' || s[i] > '9')
            return false;
    return s != "-";
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
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    // The capture frame is the module's top-level window shown in the task bar; its drop-down
    // lists and dialogs are not.
    if (std::wstring(cls) == L"QUIVACaptureWnd" && (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW)) {
        reinterpret_cast<FoundCapture*>(lParam)->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

// The capture window's video area: its child window 1, of the video class.
HWND VideoArea(HWND frame)
{
    HWND child = GetDlgItem(frame, 1);
    wchar_t cls[64] = {};
    if (child)
        GetClassNameW(child, cls, 64);
    return std::wstring(cls) == L"QUIVACaptureWndClass" ? child : nullptr;
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

}  // namespace

bool ParseHostScript(const std::string& text, std::vector<HostCommand>* commands, std::string* error)
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
        const Shape* shape = nullptr;
        for (const Shape& s : kShapes)
            if (c.name == s.name)
                shape = &s;
        if (!shape)
            return fail("unknown command \"" + c.name + "\"");
        if (c.args.size() < shape->minArgs || c.args.size() > shape->maxArgs)
            return fail("wrong number of arguments for \"" + c.name + "\"");
        bool numeric = c.name == "click" || c.name == "drag" || c.name.rfind("wait", 0) == 0;
        for (size_t i = c.name == "wait-files" ? 1 : c.name == "wait-text" ? 2 : 0; i < c.args.size(); ++i)
            if (numeric && !IsNumber(c.args[i]))
                return fail("\"" + c.args[i] + "\" is not a number");
        if (c.name == "expect-shown" && c.args[0] != "0" && c.args[0] != "1")
            return fail("expect-shown takes 0 or 1");
        if (c.name == "key" || c.name == "keydown" || c.name == "keyup")
            for (const std::string& a : c.args)
                if (!HostKeyCode(a) && a != "ctrl+s")
                    return fail("unknown key \"" + a + "\"");
        commands->push_back(std::move(c));
    }
    return true;
}

unsigned HostKeyCode(const std::string& name)
{
    std::string n;
    for (char ch : name)
        n += static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch - 'A' + 'a' : ch);
    if (n.size() == 1 && n[0] >= 'a' && n[0] <= 'z')
        return static_cast<unsigned>('A' + (n[0] - 'a'));
    if (n.size() == 1 && n[0] >= '0' && n[0] <= '9')
        return static_cast<unsigned>(n[0]);
    if (n.size() >= 2 && n[0] == 'f' && IsNumber(n.substr(1))) {
        int f = std::stoi(n.substr(1));
        return f >= 1 && f <= 12 ? static_cast<unsigned>(VK_F1 + f - 1) : 0;
    }
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
    if (m_done)
        return;
    if (m_waiting) {
        const bool happened = m_until && m_until();
        if (!happened && static_cast<int>(m_resumeAt - GetTickCount()) > 0)
            return;
        m_waiting = false;
        m_until = nullptr;
        if (!happened && !m_untilWhat.empty()) {
            Fail(*m_waitCommand, m_untilWhat + " within " + m_waitCommand->args.back() + " ms");
            m_done = true;
        }
    }
    while (!m_done && m_next < m_commands.size()) {
        const HostCommand& c = m_commands[m_next++];
        bool yield = false;
        if (!Execute(c, &yield)) {
            m_done = true;
            break;
        }
        // A modal loop that ran the commands after it may have left one of them waiting.
        if (yield || m_waiting)
            return;
    }
    if (m_next >= m_commands.size())
        m_done = true;
    if (m_done)
        PostThreadMessageW(GetCurrentThreadId(), WM_NULL, 0, 0);  // wakes the loop in Run
}

void HostScript::BeginWait(const HostCommand& c, int ms, std::function<bool()> done, std::string what)
{
    m_resumeAt = GetTickCount() + static_cast<DWORD>(std::max(0, ms));
    m_until = std::move(done);
    m_untilWhat = std::move(what);
    m_waitCommand = &c;
    m_waiting = true;
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

bool HostScript::Fail(const HostCommand& c, const std::string& why)
{
    std::fprintf(stderr, "quiva-host: line %d (%s): %s\n", c.line, c.name.c_str(), why.c_str());
    m_status = 1;
    // Inside the capture window's modal loop nothing would end that loop: the host ends.
    if (m_modalDepth > 0) {
        std::fflush(nullptr);
        std::_Exit(m_status);
    }
    return false;
}

HWND HostScript::CaptureWindow() const
{
    FoundCapture found;
    EnumWindows(FindCapture, reinterpret_cast<LPARAM>(&found));
    return found.hwnd;
}

bool HostScript::Execute(const HostCommand& c, bool* yield)
{
    const auto& a = c.args;
    bool needsModule = c.name != "wait" && c.name != "wait-closed" && c.name != "wait-files" && c.name != "unload";
    if (needsModule && !m_module.Loaded())
        return Fail(c, "the module is not loaded");
    if (c.name == "parent") {
        WNDCLASSW wc{};
        wc.lpfnWndProc = HostWindowProc;
        wc.lpszClassName = L"QuivaHostWindow";
        RegisterClassW(&wc);
        m_hostWindow = CreateWindowExW(0, L"QuivaHostWindow", L"quiva-host", WS_OVERLAPPED, 0, 0, 320, 200, nullptr, nullptr,
                                       nullptr, nullptr);
        m_module.ParentWnd(m_hostWindow);
    } else if (c.name == "show" || c.name == "showmodal") {
        std::string chart = Ansi(a[0]), date = a.size() > 1 ? Ansi(a[1]) : std::string();
        if (c.name == "show") {
            m_module.Show(chart.c_str(), date.c_str());
        } else {
            ++m_modalDepth;
            m_module.ShowModal(chart.c_str(), date.c_str());
            --m_modalDepth;
            std::printf("showmodal returned\n");
        }
    } else if (c.name == "close") {
        m_module.Close();
    } else if (c.name == "clear") {
        m_module.Clear();
    } else if (c.name == "open") {
        m_module.Open();
    } else if (c.name == "expect-shown") {
        bool want = a[0] == "1";
        if ((m_module.IsShow() != 0) != want)
            return Fail(c, want ? "the capture window is not shown" : "the capture window is shown");
    } else if (c.name == "key") {
        for (const std::string& k : a) {
            if (k == "ctrl+s") {
                quiva::ui::InjectKey(VK_LCONTROL, true);
                quiva::ui::InjectKeyStroke('S');
                quiva::ui::InjectKey(VK_LCONTROL, false);
            } else {
                quiva::ui::InjectKeyStroke(HostKeyCode(k));
            }
        }
    } else if (c.name == "keydown" || c.name == "keyup") {
        quiva::ui::InjectKey(HostKeyCode(a[0]), c.name == "keydown");
    } else if (c.name == "click" || c.name == "drag") {
        HWND w = CaptureWindow();
        if (!w)
            return Fail(c, "there is no capture window");
        POINT p{std::stoi(a[0]), std::stoi(a[1])};
        ClientToScreen(w, &p);
        quiva::ui::InjectPause(1000);  // never the second half of a double click
        quiva::ui::InjectMouseMove(p.x, p.y);
        if (c.name == "click") {
            quiva::ui::InjectClick(p.x, p.y);
        } else {
            POINT q{std::stoi(a[2]), std::stoi(a[3])};
            ClientToScreen(w, &q);
            quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, true, p.x, p.y);
            quiva::ui::InjectMouseMove((p.x + q.x) / 2, (p.y + q.y) / 2);
            quiva::ui::InjectMouseMove(q.x, q.y);
            quiva::ui::InjectMouseButton(quiva::ui::ButtonLeft, false, q.x, q.y);
        }
        quiva::ui::InjectPause(1000);
    } else if (c.name == "activate" || c.name == "deactivate") {
        HWND w = CaptureWindow();
        if (c.name == "activate" && !w)
            return Fail(c, "there is no capture window");
        quiva::ui::InjectActivation(c.name == "activate" ? w : nullptr);
    } else if (c.name == "wait") {
        BeginWait(c, std::stoi(a[0]), nullptr, "");
        *yield = true;
    } else if (c.name == "wait-closed") {
        BeginWait(c, std::stoi(a[0]), [this] { return !CaptureWindow(); }, "");
        *yield = true;
    } else if (c.name == "wait-shown") {
        BeginWait(c, std::stoi(a[0]), [this] { return m_module.IsShow() != 0; }, "the capture window was not shown");
        *yield = true;
    } else if (c.name == "wait-preview") {
        BeginWait(c, std::stoi(a[0]), [this] { return PreviewShown(); }, "the capture window showed no picture");
        *yield = true;
    } else if (c.name == "wait-files") {
        const std::string pattern = a[0];
        const int want = std::stoi(a[1]);
        BeginWait(c, std::stoi(a[2]), [pattern, want] { return static_cast<int>(MatchingFiles(pattern).size()) == want; },
                  "not " + a[1] + " files matched " + pattern);
        *yield = true;
    } else if (c.name == "wait-text") {
        const std::string pattern = a[0], text = a[1];
        BeginWait(c, std::stoi(a[2]), [pattern, text] { return AnyFileHolds(pattern, text); },
                  "no file matching " + pattern + " held \"" + text + "\"");
        *yield = true;    } else if (c.name == "picture") {
        HWND w = CaptureWindow();
        if (!w || !quiva::ui::WriteWindowPng(w, a[0]))
            return Fail(c, "no picture of the capture window was written");
    } else if (c.name == "print") {
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
    } else if (c.name == "unload") {
        m_module.Unload();
        // What the module left behind: threads of this process and its window classes. A thread
        // the unload joined may still be listed for a moment, until the kernel has reaped it.
        std::string names;
        int threads = ProcessThreads();
        for (DWORD start = GetTickCount(); threads > m_threadsBeforeLoad && GetTickCount() - start < 10000;
             threads = ProcessThreads())
            Sleep(5);
        threads = ProcessThreads(&names);
        WNDCLASSW wc;
        int classes = (GetClassInfoW(nullptr, L"QUIVACaptureWnd", &wc) ? 1 : 0) +
                      (GetClassInfoW(nullptr, L"QUIVACaptureWndClass", &wc) ? 1 : 0);
        std::printf("unloaded: %d threads (%d before loading), %d window classes (threads:%s)\n", threads, m_threadsBeforeLoad,
                    classes, names.c_str());
        std::fflush(stdout);
    }
    return true;
}
