// One read of a folder: the names of its entries ("." and ".." left out, as FindFirstFileW lists
// them: in name order without regard to case, names of MAX_PATH characters or more passed over)
// and what each is, as the listing itself tells it, without a status asked of each entry; the
// folder stays open, so an entry's file is opened and its times read relative to it, with no
// path resolved again.
#pragma once

#include <string>
#include <vector>

#include "platform/base/wintypes.h"

struct __dirstream;

namespace quiva {

class WatchedFolderNames;

class FolderListing {
public:
    struct Entry {
        std::wstring name;   // as the folder spells it
        std::string native;  // the same, as the file system has it
        // FILE_ATTRIBUTE_DIRECTORY, FILE_ATTRIBUTE_REPARSE_POINT (a link, which is never
        // followed), else FILE_ATTRIBUTE_ARCHIVE (a file or any other kind of entry).
        DWORD attributes = 0;
    };

    // The folder as a Windows path; resolved once. Empty when it cannot be read. `names`, when
    // given, is handed every name the read gives, long ones too, so that it need not read the
    // folder itself.
    explicit FolderListing(const wchar_t* folder, WatchedFolderNames* names = nullptr);
    ~FolderListing();
    FolderListing(const FolderListing&) = delete;
    FolderListing& operator=(const FolderListing&) = delete;

    bool IsOpen() const { return m_dir != nullptr; }
    const std::vector<Entry>& Entries() const { return m_entries; }
    // The entry's file opened for reading (a descriptor the caller closes), never through a link
    // and never waiting for a pipe's writer; -1 when it cannot be opened.
    int Open(const Entry& entry) const;
    // The entry's creation time (FileCreationTimeAt).
    FILETIME CreationTime(const Entry& entry) const;

private:
    __dirstream* m_dir = nullptr;
    std::vector<Entry> m_entries;
};

}  // namespace quiva
