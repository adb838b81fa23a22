// Streams and structured storage: memory streams, file streams, and compound files as far as
// graph files use them (a root storage holding streams).
#pragma once

#include "platform/com/com.h"
#include "platform/media/guids.h"

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    ULONGLONG QuadPart;
};

#define STREAM_SEEK_SET 0
#define STREAM_SEEK_CUR 1
#define STREAM_SEEK_END 2

#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_DENY_NONE 0x00000040L
#define STGM_SHARE_DENY_READ 0x00000030L
#define STGM_SHARE_DENY_WRITE 0x00000020L
#define STGM_SHARE_EXCLUSIVE 0x00000010L
#define STGM_DIRECT 0x00000000L
#define STGM_TRANSACTED 0x00010000L
#define STGM_CREATE 0x00001000L
#define STGM_FAILIFTHERE 0x00000000L
#define STGC_DEFAULT 0
#define STATFLAG_DEFAULT 0
#define STATFLAG_NONAME 1

struct STATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime, ctime, atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
};
#define STGTY_STORAGE 1
#define STGTY_STREAM 2

struct ISequentialStream : IUnknown {
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : ISequentialStream {
    virtual HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) = 0;
    virtual HRESULT SetSize(ULARGE_INTEGER size) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Stat(STATSTG* stat, DWORD flags) = 0;
};
typedef IStream* LPSTREAM;

typedef LPOLESTR* SNB;
struct IStorage : IUnknown {
    virtual HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1, DWORD reserved2, IStream** stream) = 0;
    virtual HRESULT OpenStream(const OLECHAR* name, void* reserved1, DWORD mode, DWORD reserved2, IStream** stream) = 0;
    virtual HRESULT Commit(DWORD flags) = 0;
    virtual HRESULT Revert() = 0;
};
typedef IStorage* LPSTORAGE;

struct IPersist : IUnknown {
    virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

struct IPersistStream : IPersist {
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, BOOL clearDirty) = 0;
    virtual HRESULT GetSizeMax(ULARGE_INTEGER* size) = 0;
};

// Memory stream. A null memory handle makes a new, empty stream; the stream always owns its
// memory here, whatever deleteOnRelease says.
HRESULT CreateStreamOnHGlobal(HGLOBAL memory, BOOL deleteOnRelease, LPSTREAM* stream);

HRESULT StgIsStorageFile(const WCHAR* path);
HRESULT StgOpenStorage(const WCHAR* path, IStorage* priority, DWORD mode, SNB exclude, DWORD reserved, IStorage** storage);
HRESULT StgCreateDocfile(const WCHAR* path, DWORD mode, DWORD reserved, IStorage** storage);

namespace quiva {
// The bytes a memory stream holds (for callers that made it with CreateStreamOnHGlobal).
bool MemoryStreamBytes(IStream* stream, std::string* bytes);
// Reads or writes a whole stream from its current position.
HRESULT ReadWholeStream(IStream* stream, std::string* bytes);
HRESULT WriteWholeStream(IStream* stream, const std::string& bytes);
}  // namespace quiva
