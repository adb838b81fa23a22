// File and folder calls with Win32 names and results, over POSIX, through the path
// translation of platform/base/winpath.h. Failures set the last error.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/base/CString.h"
#include "platform/base/wintypes.h"

struct stat;

#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_WRITE_THROUGH 0x00000008

struct SECURITY_ATTRIBUTES {
    DWORD nLength;
    LPVOID lpSecurityDescriptor;
    BOOL bInheritHandle;
};
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;

struct WIN32_FIND_DATAW {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    WCHAR cFileName[MAX_PATH];
    WCHAR cAlternateFileName[14];
};
typedef WIN32_FIND_DATAW* LPWIN32_FIND_DATAW;

// What GetFileAttributesExW tells of one file (its only level, GetFileExInfoStandard).
struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard };

DWORD GetFileAttributesW(LPCWSTR path);
BOOL GetFileAttributesExW(LPCWSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data);
BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES sa);
BOOL RemoveDirectoryW(LPCWSTR path);
// Creates every missing folder of the path; ERROR_SUCCESS, ERROR_ALREADY_EXISTS,
// ERROR_FILE_EXISTS (a file stands there) or the error that stopped it.
int SHCreateDirectoryExW(HWND hwnd, LPCWSTR path, const SECURITY_ATTRIBUTES* sa);
BOOL DeleteFileW(LPCWSTR path);
BOOL CopyFileW(LPCWSTR from, LPCWSTR to, BOOL failIfExists);
BOOL MoveFileW(LPCWSTR from, LPCWSTR to);
BOOL MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL PathFileExistsW(LPCWSTR path);
BOOL PathIsDirectoryW(LPCWSTR path);

// Pattern: a folder and a last component with '*' and '?' ("c:\data\*", "d:\x\*.jpg"),
// matched without regard to ASCII case. "." and ".." are listed like any entry.
// Names longer than MAX_PATH-1 characters are skipped.
HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL FindClose(HANDLE find);

DWORD GetCurrentDirectoryW(DWORD size, LPWSTR buffer);
BOOL SetCurrentDirectoryW(LPCWSTR path);
// Path of the program (module null) or of a loaded library (a handle from LoadLibraryW);
// in the Windows form of platform/base/winpath.h.
DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);

// Files as handles (closed with CloseHandle). Share modes are accepted and not enforced.
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa, DWORD disposition,
                   DWORD flags, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh, DWORD method);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL FlushFileBuffers(HANDLE file);

namespace quiva {
// The file descriptor behind a file handle, or -1.
int FileDescriptor(HANDLE file);
// Whole-file helpers on Windows paths. A file longer than maxBytes is not read (false, with
// ERROR_FILE_TOO_LARGE), so a reader can bound what a file may make it hold.
bool ReadFileBytes(const wchar_t* path, std::string& bytes, size_t maxBytes = SIZE_MAX);
// The largest settings or store file read (XML or INI): the largest the system writes is an
// info.xml listing a study folder's stills, some 200 bytes a still, 2 MB for 10,000 stills.
// A larger file is none the system wrote; a reader refuses it, saying so in a debug line.
constexpr size_t kMaxDataFileBytes = 8u << 20;
// Writes to a temporary file beside the target and renames it over, so the old file is
// never left half-written.
bool WriteFileAtomically(const wchar_t* path, const std::string& bytes);
// The same from pieces written one after another (a header and a picture kept apart in memory).
bool WriteFileAtomically(const wchar_t* path, std::initializer_list<std::string_view> pieces);
// A file written piece by piece to a temporary beside its target and renamed over the target
// once whole, as WriteFileAtomically writes it: until Commit the target stays as it was, and a
// writer let go without Commit removes its temporary. For a file too large to be held whole.
class AtomicFileWriter {
public:
    // IsOpen() is false when the path cannot be resolved or no temporary can be made.
    explicit AtomicFileWriter(const wchar_t* path);
    // The same for a path already native.
    struct NativeTarget {
        std::string path;
    };
    explicit AtomicFileWriter(NativeTarget target);
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // Appends the bytes; false once any write failed.
    bool Write(std::string_view bytes);
    // Puts what was written on the disk and renames it over the target; false, with the last
    // error set and the temporary removed, when any step failed.
    bool Commit();

private:
    void Open();
    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    int m_error = 0;  // the first failure's errno
};
// WriteFileAtomically and CopyFileW (over a file there) to a target whose folder the caller has
// read (FolderNames) without finding the target's name in any case: the name is taken as
// written, where the plain calls would read the folder again to look for it.
bool WriteNewFileAtomically(const wchar_t* path, const std::string& bytes);
bool CopyToNewFile(const wchar_t* from, const wchar_t* to);
// Simple wildcard match ('*', '?') without regard to ASCII case.
bool WildcardMatch(const wchar_t* pattern, const wchar_t* name);
// The names in a folder ("." and ".." left out), ASCII letters in lower case as names are matched:
// whether many files are there, from one read of the folder. Empty when it cannot be read.
std::unordered_set<std::wstring> FolderNames(const wchar_t* folder);
// The names of folders as FolderNames gives them, each with how many entries spell it so, kept
// from one call to the next: a folder is read once, then the kernel tells of each name added to
// it or taken from it (inotify), and it is read again only where that cannot be told: after the
// folder went, was moved or replaced, after the notices overflowed, on a file system whose changes
// other machines may make, or when no watch could be had. For one thread.
class WatchedFolderNames {
public:
    // The names of a folder by their keys (KeyOf), in the keys' order.
    class Names {
    public:
        // Whether an entry has the key. The search starts beside the key found last, so that keys
        // looked up in their order (a study's stills by their time names) are found at once.
        bool Has(std::string_view key) const;
        // One entry of the key more, or one fewer.
        void Add(const std::string& key);
        void Remove(const std::string& key);
        // The keys of all the entries, in any order (sorted here unless they come sorted).
        void Assign(std::vector<std::string> keys);

    private:
        std::vector<std::pair<std::string, unsigned>> m_keys;  // each with its entries
        mutable size_t m_hint = 0;
    };
    // The key a name is kept under: UTF-8, ASCII letters in lower case as names are matched.
    static void KeyOf(std::wstring_view name, std::string& key);
    WatchedFolderNames();
    ~WatchedFolderNames();
    WatchedFolderNames(const WatchedFolderNames&) = delete;
    WatchedFolderNames& operator=(const WatchedFolderNames&) = delete;
    // The names in `folder` now; empty when it cannot be read. The names stay this object's, and
    // later calls keep them up to date.
    const Names& Of(const wchar_t* folder);
    // For one who reads a folder anyway: BeforeRead with the folder open, before the first entry
    // is read, then AfterRead with every name the read gave, as the folder spells them. Of the
    // folder then answers without reading it again, unless it changed meanwhile.
    void BeforeRead(int folder);
    void AfterRead(int folder, std::vector<std::string> names);

private:
    struct State;
    std::unique_ptr<State> m_state;
};
// How many times this process has read a folder's names for FolderNames or WatchedFolderNames.
uint64_t FolderReadCount();
// Puts a folder's entries (a name that a rename gave or a delete took) on the disk.
bool FlushFolder(const wchar_t* folder);
// Puts a file's contents, written by whoever wrote them, on the disk.
bool FlushFile(const wchar_t* path);
// A file's status (fstatat: `name` relative to the open folder `folder`, or AT_FDCWD for a native
// path; "" with AT_EMPTY_PATH for the descriptor itself). Every status the calls here ask for
// goes through it.
int FileStatusAt(int folder, const char* name, struct stat* st, int flags);
// A file's creation time: its birth time where the file system keeps one, else its last change;
// `name` as for FileStatusAt, never followed when it is a link. Zero when there is no such file.
FILETIME FileCreationTimeAt(int folder, const char* name);
// How many times the calls here have asked the file system for one file's status (its kind, size
// or times, above) in this process so far.
uint64_t FileStatusCount();
// How many flushes to the disk (of a file or a folder) the calls here have made in this process.
uint64_t FlushCount();
// Removes from a folder the temporaries that CopyFileW and WriteFileAtomically write beside
// their targets, when nothing has written them for kLeftoverSeconds: a copy or a write cut
// short by a crash, never one that another process has under way. Returns how many it removed.
constexpr int kLeftoverSeconds = 10 * 60;
int RemoveLeftoverTemporaries(const wchar_t* folder);
}  // namespace quiva
