// Base classes of the layer's filters: a filter owns its pins, pins connect by media type and
// push frames downstream on the source's streaming thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/media/MediaType.h"
#include "platform/media/dshow.h"

namespace quiva::media {

class Filter;

class Pin final : public IPin {
public:
    Pin(Filter* filter, std::wstring name, PIN_DIRECTION dir);

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* mt) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT QueryId(LPWSTR* id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* mt) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;

    Filter* Owner() const { return m_filter; }
    const std::wstring& Name() const { return m_name; }
    PIN_DIRECTION Direction() const { return m_dir; }
    bool IsConnected() const { return m_peer.load() != nullptr; }
    // The connected pin; stable while the graph is stopped and on the streaming thread.
    Pin* Peer() const { return m_peer.load(); }
    MediaType Type() const;
    // Output pins: hands a frame to the connected input (on the caller's thread).
    void Deliver(const Frame& frame);
    // Lets go of the peer without telling anyone; only for a filter being destroyed.
    void DropPeer();

private:
    HRESULT Attach(Pin* peer, const MediaType& mt);

    Filter* m_filter;
    std::wstring m_name;
    PIN_DIRECTION m_dir;
    std::atomic<Pin*> m_peer{nullptr};
    mutable std::mutex m_typeLock;
    MediaType m_type;
};

class Filter : public IBaseFilter, public RefCounted {
public:
    explicit Filter(REFCLSID clsid);
    ~Filter() override;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    QUIVA_REFCOUNT_IMPL

    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME start) override;
    HRESULT GetState(DWORD msTimeout, FILTER_STATE* state) override;
    HRESULT EnumPins(IEnumPins** pins) override;
    HRESULT FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;

    // What a subclass decides.
    virtual HRESULT QueryExtra(REFIID, void**) { return E_NOINTERFACE; }
    // Types an output pin offers, in order of preference.
    virtual std::vector<MediaType> OutputTypes(Pin*) { return {}; }
    // Whether an input pin takes a type from the pin `from` (null when only asked).
    virtual HRESULT CheckInputType(Pin*, const MediaType&, Pin* /*from*/) { return VFW_E_TYPE_NOT_ACCEPTED; }
    virtual void OnConnected(Pin*) {}
    virtual void OnDisconnected(Pin*) {}
    // A frame arrives at an input pin (on the upstream streaming thread).
    virtual void Receive(Pin*, const Frame&) {}
    // Starts and stops streaming; OnStop returns only when no streaming thread is left.
    virtual HRESULT OnRun() { return S_OK; }
    virtual void OnStop() {}
    virtual bool IsSource() const { return false; }
    virtual bool IsRenderer() const { return false; }
    virtual bool HasFrame() const { return false; }
    // Graph files: the device moniker a filter was bound from, and private state.
    virtual std::wstring MonikerName() const { return {}; }
    virtual std::string SaveState() const { return {}; }
    virtual bool LoadState(const std::string&) { return true; }

    Pin* AddPin(const std::wstring& name, PIN_DIRECTION dir);
    std::vector<Pin*> Pins() const;
    Pin* PinByName(const std::wstring& name) const;
    FILTER_STATE State() const { return static_cast<FILTER_STATE>(m_state.load()); }
    std::wstring NameInGraph() const;
    IFilterGraph* Graph() const;

protected:
    CLSID m_clsid;
    std::atomic<int> m_state{State_Stopped};
    mutable std::mutex m_filterLock;  // pins list, graph membership
    std::vector<std::unique_ptr<Pin>> m_pins;
    IFilterGraph* m_graph = nullptr;  // not AddRef'ed: the graph holds the filter
    std::wstring m_name;
};

// A filter with one input and one output whose output type follows from the input's.
class TransformFilter : public Filter {
public:
    TransformFilter(REFCLSID clsid, const std::wstring& inName, const std::wstring& outName);

    std::vector<MediaType> OutputTypes(Pin* out) override;
    HRESULT CheckInputType(Pin* in, const MediaType& mt, Pin* from) override;
    void Receive(Pin* in, const Frame& frame) override;

protected:
    virtual bool AcceptsInput(const MediaType& mt) const = 0;
    // Output subtypes for an input type, in order of preference.
    virtual std::vector<GUID> OutputSubtypes(const MediaType& in) const = 0;
    // Makes the output frame; false drops the frame.
    virtual bool Transform(const Frame& in, REFGUID outSubtype, Frame* out) = 0;

    Pin* m_in;
    Pin* m_out;
};

// One streaming thread: runs `body` until asked to stop; the body waits with WaitFor.
class StreamThread {
public:
    ~StreamThread() { Stop(); }
    void Start(std::function<void(StreamThread&)> body);
    void Stop();
    bool Running() const { return m_thread.joinable(); }
    // Sleeps up to ms milliseconds; false when the thread is being stopped.
    bool WaitFor(int ms);
    // Sleeps until the next frame is due, `period` (100 ns units, a media type's frame time)
    // after the one before it, the first counted from Start: the time a frame took to make and
    // deliver is not added to the wait, so a source keeps its rate. Less than a frame behind,
    // the next frame goes at once; further behind, the rate starts afresh from now rather than
    // sending the missed frames in a burst. False when the thread is being stopped.
    bool WaitForNextFrame(REFERENCE_TIME period);
    bool Stopping() const { return m_stop.load(); }

private:
    std::thread m_thread;
    std::chrono::steady_clock::time_point m_due;  // the streaming thread's own after Start
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_cv;
};

// Enumerators over snapshots.
IEnumPins* MakePinEnum(std::vector<IPin*> pins);
IEnumFilters* MakeFilterEnum(std::vector<IBaseFilter*> filters);
IEnumMediaTypes* MakeMediaTypeEnum(std::vector<MediaType> types);
IEnumMoniker* MakeMonikerEnum(std::vector<IMoniker*> monikers);

// Copies a name into a fixed WCHAR array, cut to fit.
void CopyName(WCHAR* dest, size_t size, const std::wstring& name);

}  // namespace quiva::media
