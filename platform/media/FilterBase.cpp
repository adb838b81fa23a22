#include "platform/media/FilterBase.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace quiva::media {

void CopyName(WCHAR* dest, size_t size, const std::wstring& name)
{
    size_t n = name.size() < size - 1 ? name.size() : size - 1;
    std::wmemcpy(dest, name.c_str(), n);
    dest[n] = 0;
}

// --- Pin ------------------------------------------------------------------------------------

Pin::Pin(Filter* filter, std::wstring name, PIN_DIRECTION dir) : m_filter(filter), m_name(std::move(name)), m_dir(dir) {}

HRESULT Pin::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *ppv = static_cast<IPin*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG Pin::AddRef() { return m_filter->AddRef(); }
ULONG Pin::Release() { return m_filter->Release(); }

MediaType Pin::Type() const
{
    std::lock_guard lock(m_typeLock);
    return m_type;
}

HRESULT Pin::Attach(Pin* peer, const MediaType& mt)
{
    {
        std::lock_guard lock(m_typeLock);
        m_type = mt;
    }
    peer->AddRef();
    m_peer.store(peer);
    return S_OK;
}

HRESULT Pin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt)
{
    if (!receivePin)
        return E_POINTER;
    if (m_dir != PINDIR_OUTPUT)
        return VFW_E_INVALID_DIRECTION;
    if (IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    auto* in = dynamic_cast<Pin*>(receivePin);
    if (!in)
        return VFW_E_CANNOT_CONNECT;
    if (in->m_dir != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    if (in->IsConnected())
        return VFW_E_ALREADY_CONNECTED;
    if (m_filter->State() != State_Stopped || in->m_filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    if (in->m_filter == m_filter)
        return VFW_E_CANNOT_CONNECT;
    for (const MediaType& t : m_filter->OutputTypes(this)) {
        if (mt && !t.Matches(*mt))
            continue;
        if (FAILED(in->m_filter->CheckInputType(in, t, this)))
            continue;
        Attach(in, t);
        in->Attach(this, t);
        m_filter->OnConnected(this);
        in->m_filter->OnConnected(in);
        return S_OK;
    }
    return mt ? VFW_E_TYPE_NOT_ACCEPTED : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT Pin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt)
{
    if (!connector || !mt)
        return E_POINTER;
    auto* out = dynamic_cast<Pin*>(connector);
    if (!out || m_dir != PINDIR_INPUT)
        return VFW_E_INVALID_DIRECTION;
    return out->Connect(this, mt);
}

HRESULT Pin::Disconnect()
{
    Pin* peer = m_peer.load();
    if (!peer)
        return S_FALSE;
    if (m_filter->State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    m_peer.store(nullptr);
    {
        std::lock_guard lock(m_typeLock);
        m_type = MediaType();
    }
    m_filter->OnDisconnected(this);
    peer->Release();
    return S_OK;
}

HRESULT Pin::ConnectedTo(IPin** pin)
{
    if (!pin)
        return E_POINTER;
    Pin* peer = m_peer.load();
    *pin = peer;
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    peer->AddRef();
    return S_OK;
}

HRESULT Pin::ConnectionMediaType(AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    if (!IsConnected()) {
        std::memset(mt, 0, sizeof(*mt));
        return VFW_E_NOT_CONNECTED;
    }
    Type().CopyTo(mt);
    return S_OK;
}

HRESULT Pin::QueryPinInfo(PIN_INFO* info)
{
    if (!info)
        return E_POINTER;
    info->pFilter = m_filter;
    m_filter->AddRef();
    info->dir = m_dir;
    CopyName(info->achName, MAX_PIN_NAME, m_name);
    return S_OK;
}

HRESULT Pin::QueryDirection(PIN_DIRECTION* dir)
{
    if (!dir)
        return E_POINTER;
    *dir = m_dir;
    return S_OK;
}

HRESULT Pin::QueryId(LPWSTR* id)
{
    if (!id)
        return E_POINTER;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc((m_name.size() + 1) * sizeof(wchar_t)));
    std::wmemcpy(*id, m_name.c_str(), m_name.size() + 1);
    return S_OK;
}

HRESULT Pin::QueryAccept(const AM_MEDIA_TYPE* mt)
{
    if (!mt)
        return E_POINTER;
    MediaType t(*mt);
    if (m_dir == PINDIR_INPUT)
        return SUCCEEDED(m_filter->CheckInputType(this, t, nullptr)) ? S_OK : S_FALSE;
    for (const MediaType& offered : m_filter->OutputTypes(this))
        if (offered.Matches(*mt))
            return S_OK;
    return S_FALSE;
}

HRESULT Pin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types)
        return E_POINTER;
    *types = MakeMediaTypeEnum(m_dir == PINDIR_OUTPUT ? m_filter->OutputTypes(this) : std::vector<MediaType>{});
    return S_OK;
}

void Pin::DropPeer()
{
    if (Pin* peer = m_peer.exchange(nullptr))
        peer->Release();
}

void Pin::Deliver(const Frame& frame)
{
    if (Pin* peer = m_peer.load())
        peer->m_filter->Receive(peer, frame);
}

// --- Filter ---------------------------------------------------------------------------------

Filter::Filter(REFCLSID clsid) : m_clsid(clsid) {}

Filter::~Filter()
{
    for (auto& p : m_pins)
        p->DropPeer();
}

HRESULT Filter::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter || riid == IID_IPersist) {
        *ppv = static_cast<IBaseFilter*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return QueryExtra(riid, ppv);
}

HRESULT Filter::GetClassID(CLSID* clsid)
{
    if (!clsid)
        return E_POINTER;
    *clsid = m_clsid;
    return S_OK;
}

HRESULT Filter::Stop()
{
    if (m_state.load() != State_Stopped)
        OnStop();
    m_state.store(State_Stopped);
    return S_OK;
}

HRESULT Filter::Pause()
{
    if (m_state.load() == State_Stopped) {
        HRESULT hr = OnRun();
        if (FAILED(hr))
            return hr;
    }
    m_state.store(State_Paused);
    return S_OK;
}

HRESULT Filter::Run(REFERENCE_TIME)
{
    if (m_state.load() == State_Stopped) {
        HRESULT hr = OnRun();
        if (FAILED(hr))
            return hr;
    }
    m_state.store(State_Running);
    return S_OK;
}

HRESULT Filter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state)
        return E_POINTER;
    *state = State();
    return S_OK;
}

HRESULT Filter::EnumPins(IEnumPins** pins)
{
    if (!pins)
        return E_POINTER;
    std::vector<IPin*> list;
    for (Pin* p : Pins())
        list.push_back(p);
    *pins = MakePinEnum(std::move(list));
    return S_OK;
}

HRESULT Filter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin)
        return E_POINTER;
    *pin = PinByName(id);
    if (!*pin)
        return VFW_E_NOT_FOUND;
    (*pin)->AddRef();
    return S_OK;
}

HRESULT Filter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info)
        return E_POINTER;
    std::lock_guard lock(m_filterLock);
    CopyName(info->achName, MAX_FILTER_NAME, m_name);
    info->pGraph = m_graph;
    if (m_graph)
        m_graph->AddRef();
    return S_OK;
}

HRESULT Filter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    std::lock_guard lock(m_filterLock);
    m_graph = graph;
    m_name = (graph && name) ? name : L"";
    return S_OK;
}

Pin* Filter::AddPin(const std::wstring& name, PIN_DIRECTION dir)
{
    std::lock_guard lock(m_filterLock);
    m_pins.push_back(std::make_unique<Pin>(this, name, dir));
    return m_pins.back().get();
}

std::vector<Pin*> Filter::Pins() const
{
    std::lock_guard lock(m_filterLock);
    std::vector<Pin*> r;
    for (const auto& p : m_pins)
        r.push_back(p.get());
    return r;
}

Pin* Filter::PinByName(const std::wstring& name) const
{
    for (Pin* p : Pins())
        if (p->Name() == name)
            return p;
    return nullptr;
}

std::wstring Filter::NameInGraph() const
{
    std::lock_guard lock(m_filterLock);
    return m_name;
}

IFilterGraph* Filter::Graph() const
{
    std::lock_guard lock(m_filterLock);
    return m_graph;
}

// --- TransformFilter ------------------------------------------------------------------------

TransformFilter::TransformFilter(REFCLSID clsid, const std::wstring& inName, const std::wstring& outName) : Filter(clsid)
{
    m_in = AddPin(inName, PINDIR_INPUT);
    m_out = AddPin(outName, PINDIR_OUTPUT);
}

std::vector<MediaType> TransformFilter::OutputTypes(Pin*)
{
    std::vector<MediaType> r;
    if (!m_in->IsConnected())
        return r;
    MediaType in = m_in->Type();
    for (const GUID& s : OutputSubtypes(in))
        r.push_back(MakeVideoType(s, in.Width(), in.Height(), in.AvgTimePerFrame()));
    return r;
}

HRESULT TransformFilter::CheckInputType(Pin*, const MediaType& mt, Pin*)
{
    return AcceptsInput(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

void TransformFilter::Receive(Pin*, const Frame& frame)
{
    if (!m_out->IsConnected() || State() == State_Stopped)
        return;
    Frame out;
    if (Transform(frame, m_out->Type().subtype, &out))
        m_out->Deliver(out);
}

// --- StreamThread ---------------------------------------------------------------------------

void StreamThread::Start(std::function<void(StreamThread&)> body)
{
    Stop();
    m_stop.store(false);
    m_due = std::chrono::steady_clock::now();
    m_thread = std::thread([this, body = std::move(body)] { body(*this); });
}

void StreamThread::Stop()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_mutex);
        m_stop.store(true);
    }
    m_cv.notify_all();
    m_thread.join();
}

bool StreamThread::WaitFor(int ms)
{
    std::unique_lock lock(m_mutex);
    if (ms > 0)
        m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stop.load(); });
    return !m_stop.load();
}

bool StreamThread::WaitForNextFrame(REFERENCE_TIME period)
{
    const auto frame = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::nanoseconds(std::max<REFERENCE_TIME>(period, 1) * 100));
    const auto now = std::chrono::steady_clock::now();
    m_due += frame;
    if (now - m_due > frame)
        m_due = now;
    std::unique_lock lock(m_mutex);
    m_cv.wait_until(lock, m_due, [this] { return m_stop.load(); });
    return !m_stop.load();
}

// --- enumerators ----------------------------------------------------------------------------

namespace {

template <typename Interface, typename Item, const IID& Iid>
class ComEnum final : public Interface, public RefCounted {
public:
    explicit ComEnum(std::vector<Item*> items) : m_items(std::move(items))
    {
        for (Item* i : m_items)
            i->AddRef();
    }
    ~ComEnum() override
    {
        for (Item* i : m_items)
            i->Release();
    }
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == Iid) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL
    HRESULT Next(ULONG count, Item** out, ULONG* fetched) override
    {
        if (!out)
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_pos < m_items.size()) {
            out[n] = m_items[m_pos++];
            out[n]->AddRef();
            ++n;
        }
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        m_pos += count;
        if (m_pos > m_items.size()) {
            m_pos = m_items.size();
            return S_FALSE;
        }
        return S_OK;
    }
    HRESULT Reset() override
    {
        m_pos = 0;
        return S_OK;
    }
    HRESULT Clone(Interface** clone) override
    {
        if (!clone)
            return E_POINTER;
        auto* c = new ComEnum(m_items);
        c->m_pos = m_pos;
        *clone = c;
        return S_OK;
    }

private:
    std::vector<Item*> m_items;
    size_t m_pos = 0;
};

class MediaTypeEnum final : public IEnumMediaTypes, public RefCounted {
public:
    explicit MediaTypeEnum(std::vector<MediaType> types) : m_types(std::move(types)) {}
    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
            *ppv = static_cast<IEnumMediaTypes*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL
    HRESULT Next(ULONG count, AM_MEDIA_TYPE** out, ULONG* fetched) override
    {
        if (!out)
            return E_POINTER;
        ULONG n = 0;
        while (n < count && m_pos < m_types.size())
            out[n++] = m_types[m_pos++].ToTaskMemory();
        if (fetched)
            *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG count) override
    {
        m_pos += count;
        if (m_pos > m_types.size()) {
            m_pos = m_types.size();
            return S_FALSE;
        }
        return S_OK;
    }
    HRESULT Reset() override
    {
        m_pos = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumMediaTypes** clone) override
    {
        if (!clone)
            return E_POINTER;
        auto* c = new MediaTypeEnum(m_types);
        c->m_pos = m_pos;
        *clone = c;
        return S_OK;
    }

private:
    std::vector<MediaType> m_types;
    size_t m_pos = 0;
};

}  // namespace

IEnumPins* MakePinEnum(std::vector<IPin*> pins) { return new ComEnum<IEnumPins, IPin, IID_IEnumPins>(std::move(pins)); }
IEnumFilters* MakeFilterEnum(std::vector<IBaseFilter*> filters)
{
    return new ComEnum<IEnumFilters, IBaseFilter, IID_IEnumFilters>(std::move(filters));
}
IEnumMediaTypes* MakeMediaTypeEnum(std::vector<MediaType> types) { return new MediaTypeEnum(std::move(types)); }
IEnumMoniker* MakeMonikerEnum(std::vector<IMoniker*> monikers)
{
    return new ComEnum<IEnumMoniker, IMoniker, IID_IEnumMoniker>(std::move(monikers));
}

}  // namespace quiva::media
