// Writes the seed corpus of the graph-file harness: graph files saved by the filter graph (as
// the device manager exports them), and a compound file whose streams use both the mini
// stream and regular sectors.
#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/base/winpath.h"
#include "platform/com/com.h"
#include "platform/media/dshow.h"
#include "platform/media/storage.h"

namespace {

bool WriteStreams(const std::string& path, const std::wstring& name, const std::string& bytes, IGraphBuilder* graph)
{
    IStorage* storage = nullptr;
    if (FAILED(StgCreateDocfile(quiva::WindowsPath(path), STGM_CREATE | STGM_TRANSACTED | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                                &storage)))
        return false;
    IStream* stream = nullptr;
    bool ok = SUCCEEDED(storage->CreateStream(name.c_str(), STGM_WRITE | STGM_CREATE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream));
    if (ok && graph) {
        IPersistStream* persist = nullptr;
        ok = SUCCEEDED(graph->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&persist))) &&
             SUCCEEDED(persist->Save(stream, TRUE));
        if (persist)
            persist->Release();
    } else if (ok) {
        ok = SUCCEEDED(quiva::WriteWholeStream(stream, bytes));
    }
    if (stream)
        stream->Release();
    IStream* other = nullptr;
    if (ok && SUCCEEDED(storage->CreateStream(L"Notes", STGM_WRITE | STGM_CREATE | STGM_SHARE_EXCLUSIVE, 0, 0, &other))) {
        ok = SUCCEEDED(quiva::WriteWholeStream(other, std::string(5000, 'n')));
        other->Release();
    }
    ok = ok && SUCCEEDED(storage->Commit(STGC_DEFAULT));
    storage->Release();
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    CoInitialize(nullptr);
    IGraphBuilder* graph = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         reinterpret_cast<void**>(&graph)));
    for (const CLSID& clsid : {CLSID_AVIDec, CLSID_Colour}) {
        IBaseFilter* filter = nullptr;
        if (ok && SUCCEEDED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(&filter)))) {
            graph->AddFilter(filter, L"필터");
            filter->Release();
        }
    }
    ok = ok && WriteStreams(folder + "/graph.grf", L"ActiveMovieGraph", "", graph);
    if (graph)
        graph->Release();
    ok &= WriteStreams(folder + "/text.grf", L"ActiveMovieGraph", "QUIVA-GRAPH 1\nFILTER 0 41 {CF49D4E0-1115-11CE-B03A-0020AF0BA770} - -\nEND\n",
                       nullptr);
    return ok ? 0 : 1;
}
