#include "platform/base/fileapi.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/codepage.h"
#include "platform/base/fullio.h"
#include "platform/base/handle.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"

namespace {

using quiva::NativePath;

// What the copy and the atomic write add to their target's name for their temporary.
const char kCopySuffix[] = ".quiva-copy-";
const char kWriteSuffix[] = ".quiva-tmp-";

std::atomic<uint64_t> g_flushes{0};
std::atomic<uint64_t> g_statuses{0};

// fsync, counted for FlushCount.
int Fsync(int fd)
{
    g_flushes.fetch_add(1, std::memory_order_relaxed);
    return ::fsync(fd);
}

class FileObject : public quiva::KernelObject {
public:
    explicit FileObject(int fd) : fd(fd) {}
    ~FileObject() override
    {
        if (fd >= 0)
            ::close(fd);
    }
    int fd;
};

class FindObject : public quiva::KernelObject {
public:
    std::vector<WIN32_FIND_DATAW> entries;
    size_t next = 0;
};

// Translates a path; on failure sets ERROR_PATH_NOT_FOUND.
bool Native(LPCWSTR path, std::string& out)
{
    auto p = NativePath(path);
    if (!p) {
        SetLastError(path && *path ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return false;
    }
    out = *p;
    while (out.size() > 1 && out.back() == '/')
        out.pop_back();
    return true;
}

FILETIME ToFileTime(const struct timespec& ts)
{
    // 100 ns intervals since 1601-01-01.
    uint64_t t = (static_cast<uint64_t>(ts.tv_sec) + 11644473600ULL) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100;
    return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFF), static_cast<DWORD>(t >> 32)};
}

DWORD AttributesOf(const struct stat& st, const std::string& name)
{
    DWORD a = 0;
    if (S_ISDIR(st.st_mode))
        a |= FILE_ATTRIBUTE_DIRECTORY;
    if (S_ISLNK(st.st_mode))
        a |= FILE_ATTRIBUTE_REPARSE_POINT;
    if (!(st.st_mode & S_IWUSR))
        a |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == '.' && name != "." && name != "..")
        a |= FILE_ATTRIBUTE_HIDDEN;
    if (a == 0)
        a = S_ISREG(st.st_mode) ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_NORMAL;
    return a;
}

// The attributes, times and size of a file's status, as a find or GetFileAttributesExW gives them.
template <class Data>
void FillFileData(Data& fd, const struct stat& st, const std::string& name, FILETIME created)
{
    fd.dwFileAttributes = AttributesOf(st, name);
    fd.ftCreationTime = created;
    fd.ftLastAccessTime = ToFileTime(st.st_atim);
    fd.ftLastWriteTime = ToFileTime(st.st_mtim);
    const uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
    fd.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    fd.nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
}

bool CopyFd(int in, int out)
{
    std::vector<char> buf(1 << 16);
    for (;;) {
        errno = 0;
        const size_t n = quiva::ReadUpTo(in, buf.data(), buf.size());
        if (n < buf.size() && errno != 0)
            return false;
        if (n == 0)
            return true;
        if (quiva::WriteUpTo(out, buf.data(), n) != n)
            return false;
    }
}

bool CopyNative(const std::string& from, const std::string& to, bool failIfExists)
{
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        quiva::SetLastErrorFromErrno();
        return false;
    }
    struct stat st;
    if (quiva::FileStatusAt(in, "", &st, AT_EMPTY_PATH) != 0 || S_ISDIR(st.st_mode)) {
        ::close(in);
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    // Copy into a temporary beside the target, then rename: the target is whole or untouched.
    std::string tmp = to + kCopySuffix + "XXXXXX";
    std::vector<char> tmpl(tmp.begin(), tmp.end());
    tmpl.push_back(0);
    int out = ::mkstemp(tmpl.data());
    if (out < 0) {
        quiva::SetLastErrorFromErrno();
        ::close(in);
        return false;
    }
    bool ok = CopyFd(in, out);
    int err = errno;
    // On the disk before it takes the target's name, so a crash leaves the old file or the whole
    // new one.
    if (ok && Fsync(out) != 0) {
        ok = false;
        err = errno;
    }
    ::fchmod(out, st.st_mode & 0777);
    if (::close(out) != 0 && ok) {
        ok = false;
        err = errno;
    }
    ::close(in);
    if (ok) {
        if (failIfExists) {
            // link() fails when the target exists, which rename() would not.
            if (::link(tmpl.data(), to.c_str()) != 0) {
                err = errno;
                ok = false;
            }
            ::unlink(tmpl.data());
        } else if (::rename(tmpl.data(), to.c_str()) != 0) {
            err = errno;
            ok = false;
        }
    }
    if (!ok) {
        ::unlink(tmpl.data());
        SetLastError(err == EEXIST ? ERROR_FILE_EXISTS : quiva::Win32ErrorFromErrno(err));
    }
    return ok;
}

}  // namespace

DWORD GetFileAttributesW(LPCWSTR path)
{
    std::string p;
    if (!Native(path, p))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st;
    if (quiva::FileStatusAt(AT_FDCWD, p.c_str(), &st, 0) != 0) {
        quiva::SetLastErrorFromErrno();
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(st, p.substr(p.find_last_of('/') + 1));
}

BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data)
{
    std::string p;
    if (level != GetFileExInfoStandard || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!Native(path, p))
        return FALSE;
    struct stat st;
    if (quiva::FileStatusAt(AT_FDCWD, p.c_str(), &st, 0) != 0) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    auto* out = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(data);
    *out = WIN32_FILE_ATTRIBUTE_DATA{};
    FillFileData(*out, st, p.substr(p.find_last_of('/') + 1), quiva::FileCreationTimeAt(AT_FDCWD, p.c_str()));
    return TRUE;
}

BOOL PathFileExistsW(LPCWSTR path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

BOOL PathIsDirectoryW(LPCWSTR path)
{
    DWORD a = GetFileAttributesW(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES)
{
    std::string p;
    if (!Native(path, p))
        return FALSE;
    if (::mkdir(p.c_str(), 0777) != 0) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path)
{
    std::string p;
    if (!Native(path, p))
        return FALSE;
    if (::rmdir(p.c_str()) != 0) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

int SHCreateDirectoryExW(HWND, LPCWSTR path, const SECURITY_ATTRIBUTES*)
{
    std::string p;
    if (!Native(path, p))
        return static_cast<int>(GetLastError() == ERROR_INVALID_PARAMETER ? ERROR_BAD_PATHNAME : ERROR_PATH_NOT_FOUND);
    struct stat st;
    if (quiva::FileStatusAt(AT_FDCWD, p.c_str(), &st, 0) == 0)
        return S_ISDIR(st.st_mode) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i == p.size() || p[i] == '/') {
            std::string prefix = p.substr(0, i);
            if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
                DWORD e = quiva::SetLastErrorFromErrno();
                return static_cast<int>(e);
            }
        }
    }
    if (quiva::FileStatusAt(AT_FDCWD, p.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
        return ERROR_PATH_NOT_FOUND;
    return ERROR_SUCCESS;
}

BOOL DeleteFileW(LPCWSTR path)
{
    std::string p;
    if (!Native(path, p))
        return FALSE;
    struct stat st;
    if (quiva::FileStatusAt(AT_FDCWD, p.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(p.c_str()) != 0) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists)
{
    std::string a, b;
    if (!Native(from, a) || !Native(to, b))
        return FALSE;
    return CopyNative(a, b, failIfExists != FALSE) ? TRUE : FALSE;
}

BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags)
{
    std::string a, b;
    if (!Native(from, a) || !Native(to, b))
        return FALSE;
    struct stat st;
    if (!(flags & MOVEFILE_REPLACE_EXISTING) && quiva::FileStatusAt(AT_FDCWD, b.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    if (::rename(a.c_str(), b.c_str()) == 0)
        return TRUE;
    if (errno == EXDEV && (flags & MOVEFILE_COPY_ALLOWED)) {
        if (!CopyNative(a, b, !(flags & MOVEFILE_REPLACE_EXISTING)))
            return FALSE;
        ::unlink(a.c_str());
        return TRUE;
    }
    quiva::SetLastErrorFromErrno();
    return FALSE;
}

BOOL MoveFileW(LPCWSTR from, LPCWSTR to)
{
    return MoveFileExW(from, to, MOVEFILE_COPY_ALLOWED);
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data)
{
    if (!pattern || !data) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    CString pat(pattern);
    CString folder = quiva::PathParent(pat);
    CString mask = quiva::PathFileName(pat);
    if (folder.IsEmpty() && pat.GetLength() > 0 && (pat[0] == L'\\' || pat[0] == L'/'))
        folder = L"/";
    std::string dir;
    if (!Native(folder.IsEmpty() ? L"." : folder.GetString(), dir))
        return INVALID_HANDLE_VALUE;
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        DWORD e = quiva::SetLastErrorFromErrno();
        if (e == ERROR_FILE_NOT_FOUND)
            SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    auto* find = new FindObject;
    while (dirent* e = ::readdir(d)) {
        std::wstring name = quiva::Utf8ToWide(e->d_name);
        if (name.size() >= MAX_PATH || !quiva::WildcardMatch(mask, name.c_str()))
            continue;
        struct stat st;
        if (quiva::FileStatusAt(::dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        WIN32_FIND_DATAW fd{};
        FillFileData(fd, st, e->d_name, quiva::FileCreationTimeAt(::dirfd(d), e->d_name));
        std::wmemcpy(fd.cFileName, name.c_str(), name.size() + 1);
        find->entries.push_back(fd);
    }
    ::closedir(d);
    // In the order NTFS lists a folder: by name, without regard to case.
    std::stable_sort(find->entries.begin(), find->entries.end(), [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
        return quiva::CompareNoCase(a.cFileName, b.cFileName) < 0;
    });
    if (find->entries.empty()) {
        delete find;
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    *data = find->entries[0];
    find->next = 1;
    return static_cast<HANDLE>(static_cast<quiva::KernelObject*>(find));
}

BOOL FindNextFileW(HANDLE h, LPWIN32_FIND_DATAW data)
{
    auto* find = quiva::HandleAs<FindObject>(h);
    if (!find || !data) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (find->next >= find->entries.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    *data = find->entries[find->next++];
    return TRUE;
}

BOOL FindClose(HANDLE h)
{
    if (!quiva::HandleAs<FindObject>(h)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return CloseHandle(h);
}

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer)
{
    std::vector<char> buf(4096);
    while (!::getcwd(buf.data(), buf.size())) {
        if (errno != ERANGE) {
            quiva::SetLastErrorFromErrno();
            return 0;
        }
        buf.resize(buf.size() * 2);
    }
    CString w = quiva::WindowsPath(buf.data());
    DWORD need = static_cast<DWORD>(w.GetLength());
    if (!buffer || size <= need)
        return need + 1;
    std::wmemcpy(buffer, w.GetString(), need + 1);
    return need;
}

BOOL SetCurrentDirectoryW(LPCWSTR path)
{
    std::string p;
    if (!Native(path, p))
        return FALSE;
    if (::chdir(p.c_str()) != 0) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size)
{
    std::string path;
    struct link_map* map = nullptr;
    // The program's own handle (from dlopen of null) has an empty name in its link map.
    bool program = !module || (::dlinfo(module, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name && !map->l_name[0]);
    if (program) {
        std::vector<char> buf(4096);
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
        if (n <= 0) {
            quiva::SetLastErrorFromErrno();
            return 0;
        }
        path.assign(buf.data(), static_cast<size_t>(n));
    } else {
        if (!map || !map->l_name) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        path = map->l_name;
    }
    CString w = quiva::WindowsPath(path);
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD len = static_cast<DWORD>(w.GetLength());
    if (len >= size) {
        std::wmemcpy(buffer, w.GetString(), size - 1);
        buffer[size - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::wmemcpy(buffer, w.GetString(), len + 1);
    SetLastError(ERROR_SUCCESS);
    return len;
}

HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE)
{
    std::string p;
    if (!Native(path, p))
        return INVALID_HANDLE_VALUE;
    int flags = O_CLOEXEC;
    bool r = access & GENERIC_READ, w = access & GENERIC_WRITE;
    flags |= (r && w) ? O_RDWR : (w ? O_WRONLY : O_RDONLY);
    switch (disposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(p.c_str(), flags, 0666);
    if (fd < 0) {
        DWORD e = quiva::SetLastErrorFromErrno();
        if (e == ERROR_ALREADY_EXISTS)
            SetLastError(ERROR_FILE_EXISTS);
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (quiva::FileStatusAt(fd, "", &st, AT_EMPTY_PATH) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return static_cast<HANDLE>(static_cast<quiva::KernelObject*>(new FileObject(fd)));
}

BOOL ReadFile(HANDLE h, LPVOID buffer, DWORD toRead, LPDWORD read, void*)
{
    auto* f = quiva::HandleAs<FileObject>(h);
    if (read)
        *read = 0;
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    errno = 0;
    const size_t total = quiva::ReadUpTo(f->fd, buffer, toRead);
    if (total < toRead && errno != 0) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    if (read)
        *read = static_cast<DWORD>(total);
    return TRUE;
}

BOOL WriteFile(HANDLE h, LPCVOID buffer, DWORD toWrite, LPDWORD written, void*)
{
    auto* f = quiva::HandleAs<FileObject>(h);
    if (written)
        *written = 0;
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const size_t total = quiva::WriteUpTo(f->fd, buffer, toWrite);
    if (written)
        *written = static_cast<DWORD>(total);
    if (total < toWrite) {
        quiva::SetLastErrorFromErrno();
        return FALSE;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE h, LONG distance, PLONG distanceHigh, DWORD method)
{
    auto* f = quiva::HandleAs<FileObject>(h);
    if (!f) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t off = distanceHigh ? (static_cast<int64_t>(*distanceHigh) << 32) | static_cast<uint32_t>(distance) : distance;
    int whence = method == FILE_BEGIN ? SEEK_SET : (method == FILE_CURRENT ? SEEK_CUR : SEEK_END);
    off_t r = ::lseek(f->fd, off, whence);
    if (r < 0) {
        quiva::SetLastErrorFromErrno();
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh)
        *distanceHigh = static_cast<LONG>(static_cast<uint64_t>(r) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<uint64_t>(r) & 0xFFFFFFFF);
}

DWORD GetFileSize(HANDLE h, LPDWORD sizeHigh)
{
    auto* f = quiva::HandleAs<FileObject>(h);
    struct stat st;
    if (!f || quiva::FileStatusAt(f->fd, "", &st, AT_EMPTY_PATH) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    return static_cast<DWORD>(size & 0xFFFFFFFF);
}

BOOL FlushFileBuffers(HANDLE h)
{
    auto* f = quiva::HandleAs<FileObject>(h);
    if (!f || Fsync(f->fd) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

namespace quiva {

int FileDescriptor(HANDLE file)
{
    auto* f = HandleAs<FileObject>(file);
    return f ? f->fd : -1;
}

bool ReadFileBytes(const wchar_t* path, std::string& bytes, size_t maxBytes)
{
    bytes.clear();
    std::string p;
    if (!Native(path, p))
        return false;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    char buf[65536];
    for (;;) {
        errno = 0;
        const size_t n = ReadUpTo(fd, buf, sizeof buf);
        if (n < sizeof buf && errno != 0) {
            SetLastErrorFromErrno();
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        if (n > maxBytes - bytes.size()) {
            bytes.clear();
            ::close(fd);
            SetLastError(ERROR_FILE_TOO_LARGE);
            return false;
        }
        bytes.append(buf, n);
    }
    ::close(fd);
    return true;
}

namespace {

// A target known to be new: its folder resolved, its name as written.
bool NativeOfNewName(LPCWSTR path, std::string& out)
{
    auto p = NativePathOfNewName(path);
    if (!p) {
        SetLastError(path && *path ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return false;
    }
    out = *p;
    return true;
}

bool WriteNativeAtomically(const std::string& p, std::initializer_list<std::string_view> pieces)
{
    AtomicFileWriter file(AtomicFileWriter::NativeTarget{p});
    for (std::string_view piece : pieces)
        file.Write(piece);
    return file.Commit();
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const wchar_t* path)
{
    if (Native(path, m_target))
        Open();
    else
        m_error = ENOENT;
}

AtomicFileWriter::AtomicFileWriter(NativeTarget target) : m_target(std::move(target.path)) { Open(); }

void AtomicFileWriter::Open()
{
    std::vector<char> name(m_target.begin(), m_target.end());
    name.insert(name.end(), kWriteSuffix, kWriteSuffix + std::strlen(kWriteSuffix));
    name.insert(name.end(), {'X', 'X', 'X', 'X', 'X', 'X', '\0'});
    m_fd = ::mkstemp(name.data());
    if (m_fd < 0) {
        m_error = errno;
        SetLastErrorFromErrno();
        return;
    }
    m_temporary = name.data();
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
    }
}

bool AtomicFileWriter::Write(std::string_view bytes)
{
    if (m_fd < 0 || m_error)
        return false;
    if (WriteUpTo(m_fd, bytes.data(), bytes.size()) != bytes.size())
        m_error = errno ? errno : EIO;
    return !m_error;
}

bool AtomicFileWriter::Commit()
{
    if (m_fd < 0)
        return false;
    if (!m_error && Fsync(m_fd) != 0)
        m_error = errno;
    ::fchmod(m_fd, 0644);
    if (::close(m_fd) != 0 && !m_error)
        m_error = errno;
    m_fd = -1;
    if (!m_error && ::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        m_error = errno;
    if (!m_error)
        return true;
    ::unlink(m_temporary.c_str());
    SetLastError(Win32ErrorFromErrno(m_error));
    return false;
}

bool WriteFileAtomically(const wchar_t* path, const std::string& bytes)
{
    std::string p;
    return Native(path, p) && WriteNativeAtomically(p, {bytes});
}

bool WriteFileAtomically(const wchar_t* path, std::initializer_list<std::string_view> pieces)
{
    std::string p;
    return Native(path, p) && WriteNativeAtomically(p, pieces);
}

bool WriteNewFileAtomically(const wchar_t* path, const std::string& bytes)
{
    std::string p;
    return NativeOfNewName(path, p) && WriteNativeAtomically(p, {bytes});
}

bool CopyToNewFile(const wchar_t* from, const wchar_t* to)
{
    std::string a, b;
    return Native(from, a) && NativeOfNewName(to, b) && CopyNative(a, b, false);
}

uint64_t FlushCount() { return g_flushes.load(std::memory_order_relaxed); }

uint64_t FileStatusCount() { return g_statuses.load(std::memory_order_relaxed); }

int FileStatusAt(int folder, const char* name, struct stat* st, int flags)
{
    g_statuses.fetch_add(1, std::memory_order_relaxed);
    return ::fstatat(folder, name, st, flags);
}

FILETIME FileCreationTimeAt(int folder, const char* name)
{
    g_statuses.fetch_add(1, std::memory_order_relaxed);
    struct statx sx {};
    if (::statx(folder, name, AT_SYMLINK_NOFOLLOW, STATX_BTIME | STATX_MTIME, &sx) != 0) {
        struct stat st;
        return FileStatusAt(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? ToFileTime(st.st_mtim) : FILETIME{};
    }
    struct timespec ts {};
    const struct statx_timestamp& t = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime;
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return ToFileTime(ts);
}

namespace {

bool FlushPath(const wchar_t* path, int flags)
{
    std::string p;
    if (!Native(path, p))
        return false;
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0) {
        SetLastErrorFromErrno();
        return false;
    }
    const bool ok = Fsync(fd) == 0;
    if (!ok)
        SetLastErrorFromErrno();
    ::close(fd);
    return ok;
}

}  // namespace

bool FlushFolder(const wchar_t* folder) { return FlushPath(folder, O_DIRECTORY); }

bool FlushFile(const wchar_t* path) { return FlushPath(path, 0); }

namespace {

std::atomic<uint64_t> g_folderReads{0};

// A name as FolderNames gives it: ASCII letters in lower case.
std::wstring FoldedName(const char* name)
{
    std::wstring folded = Utf8ToWide(name);
    for (wchar_t& c : folded)
        c = FoldAscii(c);
    return folded;
}

}  // namespace

std::unordered_set<std::wstring> FolderNames(const wchar_t* folder)
{
    std::unordered_set<std::wstring> names;
    std::string p;
    if (!Native(folder, p))
        return names;
    DIR* dir = ::opendir(p.c_str());
    if (!dir)
        return names;
    g_folderReads.fetch_add(1, std::memory_order_relaxed);
    while (const dirent* e = ::readdir(dir))
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.insert(FoldedName(e->d_name));
    ::closedir(dir);
    return names;
}

uint64_t FolderReadCount() { return g_folderReads.load(std::memory_order_relaxed); }

struct WatchedFolderNames::State {
    using Id = std::pair<dev_t, ino_t>;
    struct Folder {
        int watch = -1;
        bool known = false;    // `names` holds what the folder holds
        bool touched = false;  // a notice of it came (while it was read)
        std::unordered_set<std::string> exact;  // its names as they are spelt
        Names names;                            // the same by their keys
        static std::string Key(std::string name)
        {
            for (char& c : name)
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            return name;
        }
        void Add(std::string name)
        {
            const std::string key = Key(name);
            if (exact.insert(std::move(name)).second)
                names.Add(key);
        }
        void Remove(const std::string& name)
        {
            if (exact.erase(name))
                names.Remove(Key(name));
        }
    };
    int notices = -1;  // the inotify instance; -1 when none could be had
    std::map<Id, Folder> folders;
    std::unordered_map<int, Id> byWatch;
    const Names none{};  // what a folder that cannot be read holds

    // Every notice queued so far, applied to the folder it is of.
    void TakeNotices()
    {
        alignas(inotify_event) char buffer[16384];
        for (ssize_t n; notices >= 0 && (n = ::read(notices, buffer, sizeof buffer)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                Take(*e);
            }
    }

    void Take(const inotify_event& e)
    {
        if (e.mask & IN_Q_OVERFLOW) {
            for (auto& [id, folder] : folders)
                folder.known = false, folder.touched = true;
            return;
        }
        const auto of = byWatch.find(e.wd);
        if (of == byWatch.end())
            return;
        Folder& folder = folders[of->second];
        folder.touched = true;
        if (e.mask & IN_IGNORED) {  // the watch ended with the folder
            byWatch.erase(of);
            folder = Folder();
        } else if ((e.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) || !e.len) {
            folder.known = false;
        } else if (folder.known && (e.mask & (IN_CREATE | IN_MOVED_TO))) {
            folder.Add(e.name);  // a rename over a name there adds nothing
        } else if (folder.known && (e.mask & (IN_DELETE | IN_MOVED_FROM))) {
            folder.Remove(e.name);
        }
    }

    // The folder open as `dir` (the folder `id`) watched where the kernel can tell of its changes,
    // before it is read (BeginRead, then EndRead with what the read gave).
    Folder& BeginRead(int dir, const Id& id)
    {
        Folder& folder = folders[id];
        if (notices >= 0 && folder.watch < 0 && Watchable(dir)) {
            // The watch is set on the folder open here, wherever its path leads by now.
            const std::string self = "/proc/self/fd/" + std::to_string(dir);
            folder.watch = ::inotify_add_watch(notices, self.c_str(),
                                               IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                                   IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
            if (folder.watch >= 0)
                byWatch[folder.watch] = id;
        }
        TakeNotices();
        folder.touched = false;
        return folder;
    }

    // The names a read of the folder gave since its BeginRead, kept when no notice of it came
    // meanwhile; whether they were.
    bool EndRead(Folder& folder, std::vector<std::string> spelt)
    {
        folder.exact.clear();
        folder.exact.reserve(spelt.size());
        std::vector<std::string> keys;
        keys.reserve(spelt.size());
        for (std::string& name : spelt)
            if (folder.exact.insert(name).second)
                keys.push_back(Folder::Key(std::move(name)));
        folder.names.Assign(std::move(keys));
        TakeNotices();
        folder.known = folder.watch >= 0 && !folder.touched;
        return folder.known;
    }

    // Reads `dir`, the folder `id`, and watches it where the kernel can tell of its changes; its
    // names are kept when no notice of it came while they were read.
    const Names& Read(DIR* dir, const Id& id)
    {
        for (int tries = 0; tries < 3; ++tries) {
            Folder& folder = BeginRead(::dirfd(dir), id);
            std::vector<std::string> spelt;
            g_folderReads.fetch_add(1, std::memory_order_relaxed);
            ::rewinddir(dir);
            while (const dirent* e = ::readdir(dir))
                if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
                    spelt.emplace_back(e->d_name);
            if (EndRead(folder, std::move(spelt)) || folder.watch < 0)
                break;
        }
        return folders[id].names;
    }

    // Whether every change of the folder is made on this machine, where the kernel sees it.
    static bool Watchable(int dir)
    {
        struct statfs fs {};
        if (::fstatfs(dir, &fs) != 0)
            return false;
        switch (static_cast<unsigned long>(fs.f_type)) {
        case 0xEF53:      // ext2, ext3, ext4
        case 0x58465342:  // xfs
        case 0x9123683E:  // btrfs
        case 0x01021994:  // tmpfs
        case 0xF2F52010:  // f2fs
            return true;
        default:
            return false;
        }
    }
};

namespace {

auto KeyBefore = [](const std::pair<std::string, unsigned>& entry, std::string_view key) { return entry.first < key; };

}  // namespace

bool WatchedFolderNames::Names::Has(std::string_view key) const
{
    for (const size_t at : {m_hint, m_hint + 1})
        if (at < m_keys.size() && m_keys[at].first == key) {
            m_hint = at;
            return true;
        }
    const auto found = std::lower_bound(m_keys.begin(), m_keys.end(), key, KeyBefore);
    if (found == m_keys.end() || found->first != key)
        return false;
    m_hint = static_cast<size_t>(found - m_keys.begin());
    return true;
}

void WatchedFolderNames::Names::Add(const std::string& key)
{
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), key, KeyBefore);
    if (at != m_keys.end() && at->first == key)
        ++at->second;
    else
        m_keys.emplace(at, key, 1u);
}

void WatchedFolderNames::Names::Remove(const std::string& key)
{
    const auto at = std::lower_bound(m_keys.begin(), m_keys.end(), key, KeyBefore);
    if (at != m_keys.end() && at->first == key && --at->second == 0)
        m_keys.erase(at);
}

void WatchedFolderNames::Names::Assign(std::vector<std::string> keys)
{
    if (!std::is_sorted(keys.begin(), keys.end()))
        std::sort(keys.begin(), keys.end());
    m_keys.clear();
    m_hint = 0;
    for (std::string& key : keys)
        if (!m_keys.empty() && m_keys.back().first == key)
            ++m_keys.back().second;
        else
            m_keys.emplace_back(std::move(key), 1u);
}

void WatchedFolderNames::KeyOf(std::wstring_view name, std::string& key)
{
    key.resize(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const wchar_t c = name[i];
        if (c <= 0 || c >= 0x80) {
            key = State::Folder::Key(WideToUtf8(name));
            return;
        }
        key[i] = static_cast<char>(FoldAscii(c));
    }
}

WatchedFolderNames::WatchedFolderNames() : m_state(std::make_unique<State>())
{
    m_state->notices = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
}

WatchedFolderNames::~WatchedFolderNames()
{
    if (m_state->notices >= 0)
        ::close(m_state->notices);
}

const WatchedFolderNames::Names& WatchedFolderNames::Of(const wchar_t* folder)
{
    State& s = *m_state;
    s.TakeNotices();
    std::string p;
    struct stat st {};
    if (!Native(folder, p) || FileStatusAt(AT_FDCWD, p.c_str(), &st, 0) != 0 || !S_ISDIR(st.st_mode))
        return s.none;
    if (const auto kept = s.folders.find({st.st_dev, st.st_ino}); kept != s.folders.end() && kept->second.known)
        return kept->second.names;
    DIR* dir = ::opendir(p.c_str());
    if (!dir || ::fstat(::dirfd(dir), &st) != 0) {
        if (dir)
            ::closedir(dir);
        return s.none;
    }
    const Names& names = s.Read(dir, {st.st_dev, st.st_ino});
    ::closedir(dir);
    return names;
}

void WatchedFolderNames::BeforeRead(int folder)
{
    struct stat st {};
    if (::fstat(folder, &st) == 0)
        m_state->BeginRead(folder, {st.st_dev, st.st_ino});
}

void WatchedFolderNames::AfterRead(int folder, std::vector<std::string> names)
{
    struct stat st {};
    if (::fstat(folder, &st) != 0)
        return;
    const auto read = m_state->folders.find({st.st_dev, st.st_ino});
    if (read != m_state->folders.end() && read->second.watch >= 0)
        m_state->EndRead(read->second, std::move(names));
}

int RemoveLeftoverTemporaries(const wchar_t* folder)
{
    std::string p;
    if (!Native(folder, p))
        return 0;
    DIR* dir = ::opendir(p.c_str());
    if (!dir)
        return 0;
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* e = ::readdir(dir)) {
        // "<target><suffix>XXXXXX", as mkstemp makes it.
        const std::string name = e->d_name;
        auto isTemporary = [&](const std::string& suffix) {
            const size_t at = name.rfind(suffix);
            return at != std::string::npos && at > 0 && name.size() == at + suffix.size() + 6;
        };
        if (!isTemporary(kCopySuffix) && !isTemporary(kWriteSuffix))
            continue;
        struct stat st;
        if (FileStatusAt(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
            now - st.st_mtime < kLeftoverSeconds)
            continue;
        if (::unlinkat(::dirfd(dir), e->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

bool WildcardMatch(const wchar_t* pattern, const wchar_t* name)
{
    // Iterative match with backtracking on the last '*'.
    const wchar_t* p = pattern;
    const wchar_t* n = name;
    const wchar_t* star = nullptr;
    const wchar_t* mark = nullptr;
    while (*n) {
        if (*p == L'*') {
            star = p++;
            mark = n;
        } else if (*p == L'?' || (*p && FoldAscii(*p) == FoldAscii(*n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++mark;
        } else {
            return false;
        }
    }
    while (*p == L'*')
        ++p;
    // Windows treats "*.*" as "everything", including names without a dot.
    if (*p == L'.' && p[1] == L'*' && p[2] == 0)
        return true;
    return *p == 0;
}

}  // namespace quiva
