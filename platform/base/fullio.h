// Positioned reads and writes of a whole buffer on a file descriptor, written once. The system
// calls may move fewer bytes than asked (a short count) or be cut off by a signal (EINTR); these
// loops go on from where the call stopped until the buffer is done. The file offset of the
// descriptor is left where it was.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quiva {

// Reads `size` bytes at `offset`; false when the file ends first or a read fails (errno says
// which: 0 is left alone at the end of the file). What was read before is in `data`.
bool ReadFullyAt(int fd, uint64_t offset, void* data, size_t size);
// Reads up to `size` bytes at `offset`: how many were read, fewer only at the end of the file or
// when a read fails.
size_t ReadUpToAt(int fd, uint64_t offset, void* data, size_t size);

// Writes `size` bytes at `offset`; false when a write fails or writes nothing (errno says why).
bool WriteFullyAt(int fd, uint64_t offset, const void* data, size_t size);

}  // namespace quiva
