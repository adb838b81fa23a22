#include "platform/base/filemapping.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/lasterror.h"

namespace quiva {

namespace {

// A creator holds a shared lock on the object for as long as its handle is open; the kernel
// drops it when the process ends. An opener that can take the exclusive lock knows that no
// creator is left, and removes the name.
class MappingObject final : public KernelObject {
public:
    MappingObject(int fd, std::string name, bool creator, bool writable)
        : m_fd(fd), m_name(std::move(name)), m_creator(creator), m_writable(writable)
    {
    }
    ~MappingObject() override
    {
        if (m_creator && !m_name.empty()) {
            // The last creator to go takes the name with it.
            ::flock(m_fd, LOCK_UN);
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0)
                ::shm_unlink(m_name.c_str());
        }
        ::close(m_fd);
    }
    int Fd() const { return m_fd; }
    bool Writable() const { return m_writable; }

private:
    int m_fd;
    std::string m_name;
    bool m_creator;
    bool m_writable;
};

std::mutex g_viewsLock;
std::map<const void*, size_t> g_views;

bool SameObject(int fd, const std::string& name)
{
    struct stat a{}, b{};
    return ::fstat(fd, &a) == 0 && ::stat(("/dev/shm" + name).c_str(), &b) == 0 && a.st_ino == b.st_ino && a.st_dev == b.st_dev;
}

}  // namespace

std::string SharedMemoryName(const wchar_t* name)
{
    std::string n = WideToUtf8(name ? name : L"");
    for (char& c : n)
        if (c == '/' || c == '\\')
            c = '_';
    const char* session = std::getenv("QUIVA_SESSION");
    return "/quiva." + std::to_string(::getuid()) + "." + (session ? session : "") + "." + n;
}

}  // namespace quiva

using quiva::MappingObject;

HANDLE CreateFileMappingW(HANDLE file, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD sizeHigh, DWORD sizeLow, LPCWSTR name)
{
    if (file != INVALID_HANDLE_VALUE || (protect & 0xFF) != PAGE_READWRITE) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    const uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    if (size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!name || !*name) {
        int fd = ::memfd_create("quiva-mapping", MFD_CLOEXEC);
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            quiva::SetLastErrorFromErrno();
            if (fd >= 0)
                ::close(fd);
            return nullptr;
        }
        SetLastError(ERROR_SUCCESS);
        return new MappingObject(fd, {}, true, true);
    }
    const std::string shm = quiva::SharedMemoryName(name);
    for (int attempt = 0; attempt < 10; ++attempt) {
        bool created = true;
        int fd = ::shm_open(shm.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
        if (fd < 0 && errno == EEXIST) {
            created = false;
            fd = ::shm_open(shm.c_str(), O_RDWR, 0600);
        }
        if (fd < 0) {
            if (errno == ENOENT)
                continue;  // removed between the two opens
            quiva::SetLastErrorFromErrno();
            return nullptr;
        }
        bool stale = false;
        if (!created) {
            // An object nobody holds was left by a creator that ended: start it afresh.
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                stale = true;
                ::flock(fd, LOCK_UN);
            }
        }
        if (::flock(fd, LOCK_SH) != 0 || !quiva::SameObject(fd, shm)) {
            ::close(fd);  // an opener removed the name meanwhile
            continue;
        }
        struct stat st{};
        ::fstat(fd, &st);
        if (stale)
            ::ftruncate(fd, 0);
        if (static_cast<uint64_t>(st.st_size) < size || stale)
            ::ftruncate(fd, static_cast<off_t>(size));
        SetLastError(created || stale ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
        return new MappingObject(fd, shm, true, true);
    }
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

HANDLE OpenFileMappingW(DWORD access, BOOL, LPCWSTR name)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string shm = quiva::SharedMemoryName(name);
    const bool writable = (access & FILE_MAP_WRITE) != 0;
    int fd = ::shm_open(shm.c_str(), writable ? O_RDWR : O_RDONLY, 0);
    if (fd < 0) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : quiva::Win32ErrorFromErrno(errno));
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        // No creator is alive: the object went with it.
        ::shm_unlink(shm.c_str());
        ::close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    // A creator names the object before it gives it its size: until then it is not there yet
    // (a view of it would fail), and the opener tries again as it would for a missing one.
    struct stat st{};
    if (::fstat(fd, &st) != 0 || st.st_size == 0) {
        ::close(fd);
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return new MappingObject(fd, {}, false, writable);
}

LPVOID MapViewOfFile(HANDLE mapping, DWORD access, DWORD offsetHigh, DWORD offsetLow, SIZE_T bytes)
{
    auto* m = quiva::HandleAs<MappingObject>(mapping);
    if (!m) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const bool write = (access & FILE_MAP_WRITE) != 0;
    if (write && !m->Writable()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    struct stat st{};
    ::fstat(m->Fd(), &st);
    const uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    if (offset % static_cast<uint64_t>(::sysconf(_SC_PAGESIZE)) != 0 || offset >= size || (bytes && offset + bytes > size)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    const size_t length = bytes ? bytes : static_cast<size_t>(size - offset);
    void* p = ::mmap(nullptr, length, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED, m->Fd(), static_cast<off_t>(offset));
    if (p == MAP_FAILED) {
        quiva::SetLastErrorFromErrno();
        return nullptr;
    }
    std::lock_guard lock(quiva::g_viewsLock);
    quiva::g_views[p] = length;
    return p;
}

BOOL UnmapViewOfFile(LPCVOID address)
{
    size_t length = 0;
    {
        std::lock_guard lock(quiva::g_viewsLock);
        auto it = quiva::g_views.find(address);
        if (it == quiva::g_views.end()) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        length = it->second;
        quiva::g_views.erase(it);
    }
    ::munmap(const_cast<void*>(address), length);
    return TRUE;
}
