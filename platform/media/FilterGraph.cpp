#include "platform/media/FilterGraph.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>

#include "platform/base/codepage.h"
#include "platform/base/wformat.h"
#include "platform/media/AviSource.h"
#include "platform/media/Devices.h"

#define VFW_E_INVALID_FILE_FORMAT static_cast<HRESULT>(0x8004022F)

namespace quiva::media {

namespace {

// A slow machine (or one busy with other work) may take seconds to make, decode and paint a
// source's first frame; the bound is for a source that sends none, not for a late picture.
std::atomic<int> g_runWaitMs{30000};

Filter* AsFilter(IBaseFilter* f) { return dynamic_cast<Filter*>(f); }
Pin* AsPin(IPin* p) { return dynamic_cast<Pin*>(p); }

std::string Hex(const std::string& bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s.empty() ? "-" : s;
}

bool Unhex(const std::string& text, std::string* out)
{
    out->clear();
    if (text == "-")
        return true;
    if (text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2) {
        int v = 0;
        for (int k = 0; k < 2; ++k) {
            char c = text[i + static_cast<size_t>(k)];
            int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
            if (d < 0)
                return false;
            v = v * 16 + d;
        }
        *out += static_cast<char>(v);
    }
    return true;
}

struct Transform {
    const CLSID* clsid;
    const wchar_t* name;
};
const Transform kTransforms[] = {{&CLSID_AVIDec, L"AVI Decoder"}, {&CLSID_Colour, L"Color Space Converter"}};

}  // namespace

void SetRunWaitLimit(int ms) { g_runWaitMs.store(ms); }
int RunWaitLimit() { return g_runWaitMs.load(); }

class FilterGraph final : public IFilterGraph2, public IMediaControl, public IMediaSeeking, public IPersistStream, public RefCounted {
public:
    ~FilterGraph() override
    {
        Stop();
        std::vector<Filter*> filters;
        {
            std::lock_guard lock(m_lock);
            filters.swap(m_filters);
        }
        for (Filter* f : filters) {
            for (Pin* p : f->Pins())
                p->Disconnect();
            f->JoinFilterGraph(nullptr, nullptr);
        }
        for (Filter* f : filters)
            f->Release();
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IFilterGraph || riid == IID_IGraphBuilder || riid == IID_IFilterGraph2)
            *ppv = static_cast<IFilterGraph2*>(this);
        else if (riid == IID_IMediaControl)
            *ppv = static_cast<IMediaControl*>(this);
        else if (riid == IID_IMediaSeeking)
            *ppv = static_cast<IMediaSeeking*>(this);
        else if (riid == IID_IPersistStream || riid == IID_IPersist)
            *ppv = static_cast<IPersistStream*>(this);
        else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    QUIVA_REFCOUNT_IMPL

    // --- IFilterGraph ---
    HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) override
    {
        Filter* f = AsFilter(filter);
        if (!f)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (std::find(m_filters.begin(), m_filters.end(), f) != m_filters.end())
            return VFW_E_WRONG_STATE;
        std::wstring base = (name && *name) ? name : L"Filter";
        std::wstring unique = base;
        HRESULT hr = S_OK;
        for (int n = 1; NameTaken(unique); ++n) {
            unique = base + FormatWide(L" %04d", n);
            hr = VFW_S_DUPLICATE_NAME;
        }
        f->AddRef();
        m_filters.push_back(f);
        f->JoinFilterGraph(this, unique.c_str());
        if (m_state != State_Stopped) {
            // A filter joining a running graph runs with it.
            f->Run(0);
        }
        return hr;
    }

    HRESULT RemoveFilter(IBaseFilter* filter) override
    {
        Filter* f = AsFilter(filter);
        if (!f)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        auto it = std::find(m_filters.begin(), m_filters.end(), f);
        if (it == m_filters.end())
            return VFW_E_NOT_FOUND;
        // Pins cannot be taken apart under a streaming thread: the graph stops first.
        if (m_state != State_Stopped)
            StopLocked();
        for (Pin* p : f->Pins()) {
            if (Pin* peer = p->Peer())
                peer->Disconnect();
            p->Disconnect();
        }
        m_filters.erase(it);
        f->JoinFilterGraph(nullptr, nullptr);
        f->Release();
        return S_OK;
    }

    HRESULT EnumFilters(IEnumFilters** filters) override
    {
        if (!filters)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        std::vector<IBaseFilter*> list(m_filters.begin(), m_filters.end());
        *filters = MakeFilterEnum(std::move(list));
        return S_OK;
    }

    HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) override
    {
        if (!name || !filter)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        *filter = nullptr;
        for (Filter* f : m_filters)
            if (f->NameInGraph() == name) {
                f->AddRef();
                *filter = f;
                return S_OK;
            }
        return VFW_E_NOT_FOUND;
    }

    HRESULT ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override
    {
        std::lock_guard lock(m_lock);
        return ConnectDirectLocked(out, in, mt);
    }

    HRESULT Reconnect(IPin*) override { return E_NOTIMPL; }

    HRESULT Disconnect(IPin* pin) override
    {
        Pin* p = AsPin(pin);
        if (!p)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (!InGraph(p->Owner()))
            return VFW_E_NOT_IN_GRAPH;
        if (m_state != State_Stopped)
            return VFW_E_NOT_STOPPED;
        return p->Disconnect();
    }

    HRESULT SetDefaultSyncSource() override { return S_OK; }

    // --- IGraphBuilder ---
    HRESULT Connect(IPin* out, IPin* in) override
    {
        std::lock_guard lock(m_lock);
        return ConnectLocked(out, in);
    }

    HRESULT Render(IPin* out) override { return RenderEx(out, 0, nullptr); }
    HRESULT RenderFile(LPCWSTR, LPCWSTR) override { return E_NOTIMPL; }

    HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) override;

    HRESULT SetLogFile(DWORD_PTR) override { return S_OK; }
    HRESULT Abort() override { return S_OK; }
    HRESULT ShouldOperationContinue() override { return S_OK; }

    // --- IFilterGraph2 ---
    HRESULT RenderEx(IPin* out, DWORD, DWORD* reserved) override
    {
        if (reserved)
            return E_INVALIDARG;
        Pin* p = AsPin(out);
        if (!p)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        if (p->Direction() != PINDIR_OUTPUT)
            return VFW_E_INVALID_DIRECTION;
        if (p->IsConnected())
            return VFW_E_ALREADY_CONNECTED;
        // Render to the renderers already in the graph; this layer adds none of its own.
        for (Filter* f : m_filters) {
            if (!f->IsRenderer())
                continue;
            for (Pin* in : f->Pins())
                if (in->Direction() == PINDIR_INPUT && !in->IsConnected() && SUCCEEDED(ConnectLocked(p, in)))
                    return S_OK;
        }
        return VFW_E_CANNOT_RENDER;
    }

    // --- IMediaControl ---
    HRESULT Run() override
    {
        std::vector<Filter*> renderers;
        {
            std::lock_guard lock(m_lock);
            if (m_state == State_Running)
                return S_OK;
            // Downstream filters first, then the sources start pushing.
            for (Filter* f : m_filters)
                if (!f->IsSource())
                    f->Run(0);
            for (Filter* f : m_filters) {
                if (!f->IsSource())
                    continue;
                HRESULT hr = f->Run(0);
                if (FAILED(hr)) {
                    StopLocked();
                    return hr;
                }
            }
            m_state = State_Running;
            for (Filter* f : m_filters)
                if (f->IsRenderer() && HasConnectedInput(f)) {
                    f->AddRef();
                    renderers.push_back(f);
                }
        }
        // Wait, without the graph lock, until every renderer holds a picture.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(RunWaitLimit());
        bool all = false;
        for (;;) {
            all = std::all_of(renderers.begin(), renderers.end(), [](Filter* f) { return f->HasFrame(); });
            if (all || std::chrono::steady_clock::now() >= deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        for (Filter* f : renderers)
            f->Release();
        return all ? S_OK : S_FALSE;
    }

    HRESULT Pause() override
    {
        std::lock_guard lock(m_lock);
        for (Filter* f : m_filters)
            if (!f->IsSource())
                f->Pause();
        for (Filter* f : m_filters)
            if (f->IsSource())
                f->Pause();
        m_state = State_Paused;
        return S_OK;
    }

    HRESULT Stop() override
    {
        std::lock_guard lock(m_lock);
        StopLocked();
        return S_OK;
    }

    HRESULT GetState(LONG, OAFilterState* state) override
    {
        if (!state)
            return E_POINTER;
        std::lock_guard lock(m_lock);
        *state = m_state;
        return S_OK;
    }

    // --- IMediaSeeking ---
    HRESULT GetDuration(LONGLONG* duration) override
    {
        if (!duration)
            return E_POINTER;
        *duration = 0;
        return E_NOTIMPL;
    }

    // --- IPersistStream ---
    HRESULT GetClassID(CLSID* clsid) override
    {
        if (!clsid)
            return E_POINTER;
        *clsid = CLSID_FilterGraph;
        return S_OK;
    }
    HRESULT IsDirty() override { return S_OK; }
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, BOOL clearDirty) override;
    HRESULT GetSizeMax(ULARGE_INTEGER* size) override
    {
        if (size)
            size->QuadPart = 1 << 20;
        return S_OK;
    }

private:
    bool NameTaken(const std::wstring& name) const
    {
        for (Filter* f : m_filters)
            if (f->NameInGraph() == name)
                return true;
        return false;
    }
    bool InGraph(Filter* f) const { return std::find(m_filters.begin(), m_filters.end(), f) != m_filters.end(); }
    static bool HasConnectedInput(Filter* f)
    {
        for (Pin* p : f->Pins())
            if (p->Direction() == PINDIR_INPUT && p->IsConnected())
                return true;
        return false;
    }

    void StopLocked()
    {
        // Sources first: their threads are joined before anything downstream changes state.
        for (Filter* f : m_filters)
            if (f->IsSource())
                f->Stop();
        for (Filter* f : m_filters)
            if (!f->IsSource())
                f->Stop();
        m_state = State_Stopped;
    }

    HRESULT ConnectDirectLocked(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt)
    {
        Pin* o = AsPin(out);
        Pin* i = AsPin(in);
        if (!o || !i)
            return E_POINTER;
        if (!InGraph(o->Owner()) || !InGraph(i->Owner()))
            return VFW_E_NOT_IN_GRAPH;
        if (m_state != State_Stopped)
            return VFW_E_NOT_STOPPED;
        return o->Connect(i, mt);
    }

    HRESULT ConnectLocked(IPin* out, IPin* in)
    {
        Pin* o = AsPin(out);
        Pin* i = AsPin(in);
        if (!o || !i)
            return E_POINTER;
        if (o->Direction() != PINDIR_OUTPUT || i->Direction() != PINDIR_INPUT)
            return VFW_E_INVALID_DIRECTION;
        if (o->IsConnected() || i->IsConnected())
            return VFW_E_ALREADY_CONNECTED;
        HRESULT hr = ConnectDirectLocked(o, i, nullptr);
        if (SUCCEEDED(hr) || hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_NOT_STOPPED)
            return hr;
        // One converter in between, taken from the layer's transforms.
        for (const Transform& t : kTransforms) {
            ComPtr<IBaseFilter> tf;
            if (FAILED(CoCreateInstance(*t.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, tf.PutVoid())))
                continue;
            Filter* f = AsFilter(tf.Get());
            Pin* tin = nullptr;
            Pin* tout = nullptr;
            for (Pin* p : f->Pins())
                (p->Direction() == PINDIR_INPUT ? tin : tout) = p;
            if (!tin || !tout)
                continue;
            // Ask first, so that no filter is added for nothing.
            if (o->Owner()->OutputTypes(o).empty())
                break;
            bool inputOk = false;
            for (const MediaType& mt : o->Owner()->OutputTypes(o))
                if (SUCCEEDED(f->CheckInputType(tin, mt, o)))
                    inputOk = true;
            if (!inputOk)
                continue;
            AddFilter(tf.Get(), t.name);
            if (SUCCEEDED(o->Connect(tin, nullptr)) && SUCCEEDED(tout->Connect(i, nullptr)))
                return S_OK;
            tin->Disconnect();
            o->Disconnect();
            tout->Disconnect();
            i->Disconnect();
            RemoveFilter(tf.Get());
        }
        return VFW_E_CANNOT_CONNECT;
    }

    std::recursive_mutex m_lock;
    std::vector<Filter*> m_filters;  // each holds one reference
    OAFilterState m_state = State_Stopped;
};

HRESULT FilterGraph::AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter)
{
    if (!file || !filter)
        return E_POINTER;
    *filter = nullptr;
    HRESULT hr = S_OK;
    IBaseFilter* source = CreateAviSourceFilter(file, &hr);
    if (!source)
        return FAILED(hr) ? hr : VFW_E_CANNOT_LOAD_SOURCE_FILTER;
    hr = AddFilter(source, filterName ? filterName : file);
    if (FAILED(hr)) {
        source->Release();
        return hr;
    }
    *filter = source;
    return S_OK;
}

// --- graph files ----------------------------------------------------------------------------
// Text, UTF-8, one record a line:
//   QUIVA-GRAPH 1
//   FILTER <id> <hex name> <class id> <hex moniker> <hex private state>
//   CONNECT <out id> <hex pin name> <in id> <hex pin name> <media type>
//   END

HRESULT FilterGraph::Save(IStream* stream, BOOL)
{
    if (!stream)
        return E_POINTER;
    std::string text = "QUIVA-GRAPH 1\n";
    std::lock_guard lock(m_lock);
    for (size_t id = 0; id < m_filters.size(); ++id) {
        Filter* f = m_filters[id];
        CLSID clsid{};
        f->GetClassID(&clsid);
        text += FormatNarrow("FILTER %zu %s %s %s %s\n", id, Hex(WideToUtf8(f->NameInGraph())).c_str(),
                             WideToUtf8(GuidToString(clsid)).c_str(), Hex(WideToUtf8(f->MonikerName())).c_str(),
                             Hex(f->SaveState()).c_str());
    }
    for (size_t id = 0; id < m_filters.size(); ++id) {
        for (Pin* p : m_filters[id]->Pins()) {
            Pin* peer = p->Peer();
            if (p->Direction() != PINDIR_OUTPUT || !peer)
                continue;
            auto it = std::find(m_filters.begin(), m_filters.end(), peer->Owner());
            if (it == m_filters.end())
                continue;
            text += FormatNarrow("CONNECT %zu %s %zu %s %s\n", id, Hex(WideToUtf8(p->Name())).c_str(),
                                 static_cast<size_t>(it - m_filters.begin()), Hex(WideToUtf8(peer->Name())).c_str(),
                                 p->Type().Serialise().c_str());
        }
    }
    text += "END\n";
    return WriteWholeStream(stream, text);
}

HRESULT FilterGraph::Load(IStream* stream)
{
    if (!stream)
        return E_POINTER;
    std::string text;
    HRESULT hr = ReadWholeStream(stream, &text);
    if (FAILED(hr))
        return hr;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != "QUIVA-GRAPH 1")
        return VFW_E_INVALID_FILE_FORMAT;
    std::vector<ComPtr<IBaseFilter>> byId;
    bool partial = false;
    bool ended = false;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string kind;
        fields >> kind;
        if (kind == "END") {
            ended = true;
            break;
        }
        if (kind == "FILTER") {
            size_t id = 0;
            std::string name, clsidText, moniker, state;
            if (!(fields >> id >> name >> clsidText >> moniker >> state) || id != byId.size())
                return VFW_E_INVALID_FILE_FORMAT;
            std::string nameBytes, monikerBytes, stateBytes;
            CLSID clsid{};
            if (!Unhex(name, &nameBytes) || !Unhex(moniker, &monikerBytes) || !Unhex(state, &stateBytes) ||
                !GuidFromString(Utf8ToWide(clsidText), &clsid))
                return VFW_E_INVALID_FILE_FORMAT;
            ComPtr<IBaseFilter> f;
            if (!monikerBytes.empty())
                f = ComPtr<IBaseFilter>::Adopt(BindDeviceMoniker(Utf8ToWide(monikerBytes)));
            else
                CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, f.PutVoid());
            if (f && !AsFilter(f.Get())->LoadState(stateBytes))
                partial = true;
            if (f && FAILED(AddFilter(f.Get(), Utf8ToWide(nameBytes).c_str())))
                f.Reset();
            if (!f)
                partial = true;
            byId.push_back(f);
        } else if (kind == "CONNECT") {
            size_t outId = 0, inId = 0;
            std::string outPin, inPin, mtText;
            if (!(fields >> outId >> outPin >> inId >> inPin >> mtText))
                return VFW_E_INVALID_FILE_FORMAT;
            std::string outName, inName;
            MediaType mt;
            if (!Unhex(outPin, &outName) || !Unhex(inPin, &inName) || !MediaType::Deserialise(mtText, &mt))
                return VFW_E_INVALID_FILE_FORMAT;
            if (outId >= byId.size() || inId >= byId.size() || !byId[outId] || !byId[inId]) {
                partial = true;
                continue;
            }
            Pin* o = AsFilter(byId[outId].Get())->PinByName(Utf8ToWide(outName));
            Pin* i = AsFilter(byId[inId].Get())->PinByName(Utf8ToWide(inName));
            if (!o || !i) {
                partial = true;
                continue;
            }
            AM_MEDIA_TYPE amt;
            mt.CopyTo(&amt);
            HRESULT c = ConnectDirect(o, i, &amt);
            FreeMediaTypeContents(amt);
            if (FAILED(c) && FAILED(Connect(o, i)))
                partial = true;
        } else if (!kind.empty()) {
            return VFW_E_INVALID_FILE_FORMAT;
        }
    }
    if (!ended)
        return VFW_E_INVALID_FILE_FORMAT;
    return partial ? S_FALSE : S_OK;
}

// --- capture graph builder --------------------------------------------------------------------

class CaptureGraphBuilder final : public ICaptureGraphBuilder2, public RefCounted {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ICaptureGraphBuilder2) {
            *ppv = static_cast<ICaptureGraphBuilder2*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL
    HRESULT SetFiltergraph(IGraphBuilder* graph) override
    {
        if (!graph)
            return E_POINTER;
        if (m_graph)
            return E_UNEXPECTED;
        m_graph = graph;
        return S_OK;
    }
    HRESULT GetFiltergraph(IGraphBuilder** graph) override
    {
        if (!graph)
            return E_POINTER;
        *graph = m_graph.Get();
        if (!*graph)
            return E_UNEXPECTED;
        (*graph)->AddRef();
        return S_OK;
    }

private:
    ComPtr<IGraphBuilder> m_graph;
};

IUnknown* CreateFilterGraph() { return static_cast<IFilterGraph2*>(new FilterGraph()); }
IUnknown* CreateCaptureGraphBuilder() { return new CaptureGraphBuilder(); }

}  // namespace quiva::media
