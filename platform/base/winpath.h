// Windows paths on Linux.
// - A drive letter maps to the directory named by QUIVA_DRIVE_<LETTER> (QUIVA_DRIVE_C, ...);
//   a letter without that variable does not exist.
// - "\" and "/" are both separators; a path starting with one is a native absolute path.
// - A relative path is taken from the process's current directory.
// - Names are matched without regard to ASCII case against what exists on disk, so
//   "c:\HRB4100\EXE" finds "hrb4100/exe".
// Native paths are UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/base/CString.h"

namespace quiva {

// The native path for a Windows path, or nothing when it names a drive that does not exist
// (or a network path). Components that do not exist yet are kept as written.
std::optional<std::string> NativePath(const wchar_t* windowsPath);

// How many file-system lookups (a name's status or a folder's listing) the resolution of
// paths has made in this process so far.
uint64_t PathLookupCount();
// How many of those were a folder's listing, read to match a name without regard to case.
uint64_t PathListingCount();

// The native path for a name about to be made in a folder whose names the caller has read,
// finding none equal to it without regard to case: the folder resolved and the name as written,
// where NativePath would read the folder again to look for the name.
std::optional<std::string> NativePathOfNewName(const wchar_t* windowsPath);

// The Windows form of a native path: "X:\..." when it lies under a mapped drive, else the
// native path with "\" separators (which NativePath reads back as the same native path).
CString WindowsPath(const std::string& nativePath);

// The directory a drive letter maps to, or nothing.
std::optional<std::string> DriveDirectory(wchar_t letter);

// Final component and parent of a Windows path (either separator).
CString PathFileName(const CString& path);
CString PathParent(const CString& path);
// Joins with one "\" between.
CString PathJoin(const CString& folder, const CString& name);
// A path rooted without a drive ("\x") on the drive of `onDrive` (a path that names one), as
// Windows reads it there; any other path (a drive path, a network path, a relative one) as it is.
CString PathOnDriveOf(const CString& onDrive, const CString& path);

}  // namespace quiva
