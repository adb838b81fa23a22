// Feeds arbitrary bytes, as a graph file, to the compound-file reader (open, read the graph
// stream, open again for writing and commit) and to the filter graph's loader; checks that a
// committed file reads back with the same stream, and that a small file never becomes much
// data.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/base/winpath.h"
#include "platform/com/com.h"
#include "platform/media/dshow.h"
#include "platform/media/storage.h"

namespace {

constexpr const wchar_t* kGraphStream = L"ActiveMovieGraph";

// The named stream's bytes; false when the file or the stream does not open.
bool ReadStream(const CString& path, DWORD mode, std::string* bytes, IStorage** keep = nullptr)
{
    IStorage* storage = nullptr;
    if (FAILED(StgOpenStorage(path, nullptr, mode, nullptr, 0, &storage)) || !storage)
        return false;
    IStream* stream = nullptr;
    bool ok = SUCCEEDED(storage->OpenStream(kGraphStream, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream)) && stream &&
              SUCCEEDED(quiva::ReadWholeStream(stream, bytes));
    if (stream)
        stream->Release();
    if (keep && ok)
        *keep = storage;
    else
        storage->Release();
    return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (2u << 20))
        return 0;
    const CString path = quiva::WindowsPath(fuzz::WriteScratch("in.grf", data, size));
    if (StgIsStorageFile(path) != S_OK)
        return 0;
    std::string graph;
    if (!ReadStream(path, STGM_TRANSACTED | STGM_READ | STGM_SHARE_DENY_WRITE, &graph))
        return 0;
    fuzz::Check(graph.size() <= size, "a stream holds no more than its file");

    // The loader, into a graph of its own.
    IGraphBuilder* builder = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                   reinterpret_cast<void**>(&builder))) && builder) {
        IPersistStream* persist = nullptr;
        IStream* stream = nullptr;
        if (SUCCEEDED(builder->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist))) && persist &&
            SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) && stream &&
            SUCCEEDED(quiva::WriteWholeStream(stream, graph))) {
            LARGE_INTEGER start{};
            stream->Seek(start, STREAM_SEEK_SET, nullptr);
            persist->Load(stream);
        }
        if (stream)
            stream->Release();
        if (persist)
            persist->Release();
        builder->Release();
    }

    // Opened for writing and committed, the file reads back with the same graph stream.
    IStorage* writable = nullptr;
    std::string before;
    if (ReadStream(path, STGM_TRANSACTED | STGM_READWRITE, &before, &writable)) {
        const HRESULT committed = writable->Commit(STGC_DEFAULT);
        writable->Release();
        std::string after;
        if (SUCCEEDED(committed))
            fuzz::Check(ReadStream(path, STGM_READ, &after) && after == before, "a committed graph file reads back the same");
    }
    return 0;
}
