#include "platform/base/fullio.h"

#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

namespace quiva {

namespace {

// The loop of both directions: `call` moves bytes at a file offset and answers as pread does.
// How many bytes were moved: fewer than `size` when a call moved nothing or failed.
template <typename Byte, typename Call>
size_t Fully(uint64_t offset, Byte* p, size_t size, Call call)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t n = call(p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

}  // namespace

size_t ReadUpToAt(int fd, uint64_t offset, void* data, size_t size)
{
    return Fully(offset, static_cast<char*>(data), size,
                 [fd](char* p, size_t n, off_t at) { return ::pread(fd, p, n, at); });
}

bool ReadFullyAt(int fd, uint64_t offset, void* data, size_t size)
{
    return ReadUpToAt(fd, offset, data, size) == size;
}

bool WriteFullyAt(int fd, uint64_t offset, const void* data, size_t size)
{
    return Fully(offset, static_cast<const char*>(data), size,
                 [fd](const char* p, size_t n, off_t at) { return ::pwrite(fd, p, n, at); }) == size;
}

size_t ReadUpTo(int fd, void* data, size_t size)
{
    return Fully(0, static_cast<char*>(data), size, [fd](char* p, size_t n, off_t) { return ::read(fd, p, n); });
}

size_t WriteUpTo(int fd, const void* data, size_t size)
{
    return Fully(0, static_cast<const char*>(data), size,
                 [fd](const char* p, size_t n, off_t) { return ::write(fd, p, n); });
}

}  // namespace quiva
