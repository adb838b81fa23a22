// Reads and writes of a whole buffer on a file descriptor, written once. The system calls may
// move fewer bytes than asked (a short count) or be cut off by a signal (EINTR); these loops go on
// from where the call stopped until the buffer is done. The positioned ones (...At) leave the
// file offset of the descriptor where it was; the others move it on, as read and write do.
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

// At the file offset, how many bytes were moved of `size`: fewer only at the end of the file or
// when a call fails or writes nothing. errno is left alone at the end of the file, so a caller
// that cleared it can tell the end from a failure.
size_t ReadUpTo(int fd, void* data, size_t size);
size_t WriteUpTo(int fd, const void* data, size_t size);

}  // namespace quiva
