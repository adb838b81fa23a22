#include "platform/base/fullio.h"

#include <errno.h>
#include <sys/types.h>
#include <unistd.h>

namespace quiva {

namespace {

// The loop of both directions: `call` moves bytes at a file offset and answers as pread does.
template <typename Byte, typename Call>
bool Fully(uint64_t offset, Byte* p, size_t size, Call call)
{
    while (size > 0) {
        const ssize_t n = call(p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        offset += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

bool ReadFullyAt(int fd, uint64_t offset, void* data, size_t size)
{
    return Fully(offset, static_cast<char*>(data), size,
                 [fd](char* p, size_t n, off_t at) { return ::pread(fd, p, n, at); });
}

bool WriteFullyAt(int fd, uint64_t offset, const void* data, size_t size)
{
    return Fully(offset, static_cast<const char*>(data), size,
                 [fd](const char* p, size_t n, off_t at) { return ::pwrite(fd, p, n, at); });
}

}  // namespace quiva
