#include "platform/base/FolderListing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/base/CString.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/base/winpath.h"

namespace quiva {

FolderListing::FolderListing(const wchar_t* folder, WatchedFolderNames* names)
{
    const std::optional<std::string> native = NativePath(folder);
    if (!native)
        return;
    m_dir = ::opendir(native->c_str());
    if (!m_dir)
        return;
    std::vector<std::string> longNames;  // for `names`, which takes every name
    if (names)
        names->BeforeRead(::dirfd(m_dir));
    while (const dirent* e = ::readdir(m_dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        Entry entry;
        entry.name = Utf8ToWide(e->d_name);
        if (entry.name.size() >= MAX_PATH) {
            if (names)
                longNames.emplace_back(e->d_name);
            continue;
        }
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {  // a file system that does not say: its status is asked
            struct stat st;
            if (FileStatusAt(::dirfd(m_dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_REG;
        }
        entry.attributes = type == DT_DIR   ? FILE_ATTRIBUTE_DIRECTORY
                           : type == DT_LNK ? FILE_ATTRIBUTE_REPARSE_POINT
                                            : FILE_ATTRIBUTE_ARCHIVE;
        entry.native = e->d_name;
        m_entries.push_back(std::move(entry));
    }
    std::stable_sort(m_entries.begin(), m_entries.end(),
                     [](const Entry& a, const Entry& b) { return CompareNoCase(a.name, b.name) < 0; });
    if (names) {
        // In the entries' order, which is the names' own as they keep them: they need no sort.
        std::vector<std::string> spelt;
        spelt.reserve(m_entries.size() + longNames.size());
        for (const Entry& entry : m_entries)
            spelt.push_back(entry.native);
        spelt.insert(spelt.end(), longNames.begin(), longNames.end());
        names->AfterRead(::dirfd(m_dir), std::move(spelt));
    }
}

FolderListing::~FolderListing()
{
    if (m_dir)
        ::closedir(m_dir);
}

int FolderListing::Open(const Entry& entry) const
{
    return m_dir ? ::openat(::dirfd(m_dir), entry.native.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK) : -1;
}

FILETIME FolderListing::CreationTime(const Entry& entry) const
{
    return m_dir ? FileCreationTimeAt(::dirfd(m_dir), entry.native.c_str()) : FILETIME{};
}

}  // namespace quiva
