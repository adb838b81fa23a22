#include "platform/base/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"

extern char** environ;

namespace quiva {

namespace {

int PidfdOpen(pid_t pid) { return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)); }
int PidfdSignal(int fd, int sig) { return static_cast<int>(::syscall(SYS_pidfd_send_signal, fd, sig, nullptr, 0)); }

// Exit codes of the children this process started; their waiter threads reap them so that no
// zombie is left whatever happens to the handles.
struct ChildTable {
    std::mutex mutex;
    std::vector<std::pair<pid_t, int>> exited;  // pid, exit code
};
ChildTable& Children()
{
    // Never destroyed: a waiter thread may still record its child while the process exits.
    static ChildTable& t = *new ChildTable;
    return t;
}

class ProcessObject final : public KernelObject {
public:
    ProcessObject(pid_t pid, int pidfd) : m_pid(pid), m_pidfd(pidfd) {}
    ~ProcessObject() override
    {
        if (m_pidfd >= 0)
            ::close(m_pidfd);
    }
    pid_t Pid() const { return m_pid; }
    int Pidfd() const { return m_pidfd; }

private:
    pid_t m_pid;
    int m_pidfd;
};

class SnapshotObject final : public KernelObject {
public:
    std::vector<PROCESSENTRY32W> entries;
    size_t next = 0;
};

class ThreadStub final : public KernelObject {};

bool IsExecutableFile(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

bool EndsWithExe(const std::wstring& s)
{
    if (s.size() < 4)
        return false;
    std::wstring tail = s.substr(s.size() - 4);
    for (auto& c : tail)
        c = static_cast<wchar_t>(std::towlower(c));
    return tail == L".exe";
}

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The value of QUIVA_SESSION in a process's environment ("" when unset or unreadable).
std::string SessionOf(pid_t pid)
{
    const std::string env = ReadSmallFile("/proc/" + std::to_string(pid) + "/environ");
    size_t pos = 0;
    while (pos < env.size()) {
        size_t end = env.find('\0', pos);
        if (end == std::string::npos)
            end = env.size();
        if (env.compare(pos, 14, "QUIVA_SESSION=") == 0)
            return env.substr(pos + 14, end - pos - 14);
        pos = end + 1;
    }
    return {};
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& line)
{
    std::vector<std::wstring> args;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= line.size())
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < line.size() && (quoted || (line[i] != L' ' && line[i] != L'\t'))) {
            if (line[i] == L'\\') {
                size_t n = 0;
                while (i < line.size() && line[i] == L'\\')
                    ++n, ++i;
                if (i < line.size() && line[i] == L'"') {
                    arg.append(n / 2, L'\\');
                    if (n % 2) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(n, L'\\');
                }
            } else if (line[i] == L'"') {
                quoted = !quoted;
                ++i;
            } else {
                arg += line[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::string FindProgram(const std::wstring& token)
{
    if (token.empty())
        return {};
    std::vector<std::wstring> names{token};
    if (EndsWithExe(token))
        names.push_back(token.substr(0, token.size() - 4));
    auto tryIn = [&](const std::wstring& folder) -> std::string {
        for (const std::wstring& n : names) {
            auto native = NativePath(folder.empty() ? n.c_str() : PathJoin(folder.c_str(), n.c_str()).GetString());
            if (native && IsExecutableFile(*native))
                return *native;
        }
        return {};
    };
    if (token.find_first_of(L"\\/:") != std::wstring::npos)
        return tryIn(L"");
    char self[4096];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n > 0) {
        std::string dir(self, static_cast<size_t>(n));
        dir = dir.substr(0, dir.rfind('/'));
        if (auto found = tryIn(WindowsPath(dir).GetString()); !found.empty())
            return found;
    }
    if (auto found = tryIn(L"."); !found.empty())
        return found;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream ss(path);
        std::string dir;
        while (std::getline(ss, dir, ':'))
            if (!dir.empty())
                if (auto found = tryIn(WindowsPath(dir).GetString()); !found.empty())
                    return found;
    }
    return {};
}

std::wstring ImageNameOf(const std::string& exePath)
{
    std::string path = exePath;
    const std::string deleted = " (deleted)";
    if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
        path.resize(path.size() - deleted.size());
    std::string base = path.substr(path.rfind('/') + 1);
    if (base.find('.') == std::string::npos)
        base += ".exe";
    return Utf8ToWide(base);
}

bool WaitForProcessExit(HANDLE process, DWORD ms)
{
    auto* p = HandleAs<ProcessObject>(process);
    if (!p)
        return false;
    pollfd pfd{p->Pidfd(), POLLIN, 0};
    return ::poll(&pfd, 1, ms == INFINITE ? -1 : static_cast<int>(ms)) > 0;
}

}  // namespace quiva

using quiva::ProcessObject;

BOOL CreateProcessW(LPCWSTR applicationName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL, DWORD,
                    LPVOID environment, LPCWSTR currentDirectory, LPSTARTUPINFOW, LPPROCESS_INFORMATION info)
{
    if (applicationName || !commandLine || environment) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::vector<std::wstring> args = quiva::SplitCommandLine(commandLine);
    if (args.empty()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string program = quiva::FindProgram(args[0]);
    if (program.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    std::vector<std::string> argStrings;
    argStrings.push_back(program);
    for (size_t i = 1; i < args.size(); ++i)
        argStrings.push_back(quiva::WideToUtf8(args[i]));
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    if (currentDirectory) {
        auto dir = quiva::NativePath(currentDirectory);
        if (!dir) {
            posix_spawn_file_actions_destroy(&actions);
            SetLastError(ERROR_DIRECTORY);
            return FALSE;
        }
        posix_spawn_file_actions_addchdir_np(&actions, dir->c_str());
    }
    pid_t pid = 0;
    const int rc = ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        SetLastError(quiva::Win32ErrorFromErrno(rc));
        return FALSE;
    }
    const int pidfd = quiva::PidfdOpen(pid);
    // Reap the child whenever it ends and keep its exit code.
    std::thread([pid] {
        int status = 0;
        if (::waitpid(pid, &status, 0) == pid) {
            std::lock_guard lock(quiva::Children().mutex);
            quiva::Children().exited.emplace_back(pid, WIFEXITED(status) ? WEXITSTATUS(status) : 1);
        }
    }).detach();
    if (info) {
        info->hProcess = new ProcessObject(pid, pidfd);
        info->hThread = new quiva::ThreadStub();
        info->dwProcessId = static_cast<DWORD>(pid);
        info->dwThreadId = static_cast<DWORD>(pid);
    } else if (pidfd >= 0) {
        ::close(pidfd);
    }
    return TRUE;
}

HANDLE OpenProcess(DWORD, BOOL, DWORD processId)
{
    const int fd = quiva::PidfdOpen(static_cast<pid_t>(processId));
    if (fd < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return new ProcessObject(static_cast<pid_t>(processId), fd);
}

BOOL TerminateProcess(HANDLE process, UINT)
{
    auto* p = quiva::HandleAs<ProcessObject>(process);
    if (!p || p->Pidfd() < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (quiva::PidfdSignal(p->Pidfd(), SIGKILL) != 0 && errno != ESRCH) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    quiva::WaitForProcessExit(process, 1000);
    return TRUE;
}

BOOL GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    auto* p = quiva::HandleAs<ProcessObject>(process);
    if (!p || !exitCode) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!quiva::WaitForProcessExit(process, 0)) {
        *exitCode = STILL_ACTIVE;
        return TRUE;
    }
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard lock(quiva::Children().mutex);
            for (const auto& [pid, code] : quiva::Children().exited)
                if (pid == p->Pid()) {
                    *exitCode = static_cast<DWORD>(code);
                    return TRUE;
                }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    *exitCode = 1;  // not our child, or reaped elsewhere
    return TRUE;
}

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD)
{
    if (!(flags & TH32CS_SNAPPROCESS)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    const char* session = std::getenv("QUIVA_SESSION");
    auto* snap = new quiva::SnapshotObject();
    DIR* d = ::opendir("/proc");
    while (dirent* e = d ? ::readdir(d) : nullptr) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (!end || *end || pid <= 0)
            continue;
        const std::string dir = "/proc/" + std::string(e->d_name);
        if (session && *session && quiva::SessionOf(static_cast<pid_t>(pid)) != session)
            continue;
        PROCESSENTRY32W entry{};
        entry.dwSize = sizeof(entry);
        entry.th32ProcessID = static_cast<DWORD>(pid);
        char exe[4096];
        const ssize_t n = ::readlink((dir + "/exe").c_str(), exe, sizeof(exe) - 1);
        std::wstring name;
        if (n > 0) {
            name = quiva::ImageNameOf(std::string(exe, static_cast<size_t>(n)));
        } else {
            std::string comm = quiva::ReadSmallFile(dir + "/comm");
            while (!comm.empty() && comm.back() == '\n')
                comm.pop_back();
            if (comm.empty())
                continue;  // gone meanwhile
            name = quiva::Utf8ToWide(comm);
        }
        const std::string stat = quiva::ReadSmallFile(dir + "/stat");
        const size_t close = stat.rfind(')');
        if (close != std::string::npos) {
            std::istringstream fields(stat.substr(close + 2));
            std::string state;
            long ppid = 0;
            fields >> state >> ppid;
            entry.th32ParentProcessID = static_cast<DWORD>(ppid);
            std::string skip;
            for (int i = 0; i < 15 && fields >> skip; ++i) {
            }
            long threads = 0;
            fields >> threads;
            entry.cntThreads = static_cast<DWORD>(threads);
        }
        const size_t len = std::min<size_t>(name.size(), MAX_PATH - 1);
        std::wmemcpy(entry.szExeFile, name.c_str(), len);
        entry.szExeFile[len] = 0;
        snap->entries.push_back(entry);
    }
    if (d)
        ::closedir(d);
    return snap;
}

BOOL Process32FirstW(HANDLE snapshot, LPPROCESSENTRY32W entry)
{
    auto* s = quiva::HandleAs<quiva::SnapshotObject>(snapshot);
    if (!s || !entry || entry->dwSize < sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s->next = 0;
    return Process32NextW(snapshot, entry);
}

BOOL Process32NextW(HANDLE snapshot, LPPROCESSENTRY32W entry)
{
    auto* s = quiva::HandleAs<quiva::SnapshotObject>(snapshot);
    if (!s || !entry || entry->dwSize < sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (s->next >= s->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *entry = s->entries[s->next++];
    return TRUE;
}
