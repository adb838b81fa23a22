#include "monitor/CKXMCaptureEx.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

#include "framework/CKXRegistry.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/codepage.h"
#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/wformat.h"
#include "platform/base/winpath.h"
#include "platform/com/com.h"
#include "platform/ui/winuser.h"

using quiva::ComPtr;

namespace {

// The file name part of a path (after the last separator of either kind).
CString FileNamePart(const CString& path)
{
    std::wstring p = path.GetString();
    size_t at = p.find_last_of(L"\\/");
    return CString(at == std::wstring::npos ? p.c_str() : p.c_str() + at + 1);
}

// The friendly name in a moniker's property bag; false when it cannot be read.
bool ReadFriendlyName(IMoniker* moniker, CString& name)
{
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.PutVoid())) || !bag)
        return false;
    VARIANT v;
    VariantInit(&v);
    bool ok = SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR;
    if (ok)
        name = v.bstrVal ? v.bstrVal : L"";
    VariantClear(&v);
    return ok;
}

struct ConnectorRow {
    const wchar_t* name;
    int kind;
    int counter;  // which of the four counters the input counts with
};

// Connector name, kind and counter of a crossbar input's physical type (2..11).
ConnectorRow ConnectorOf(LONG physicalType)
{
    switch (physicalType) {
    case PhysConn_Video_SVideo:
        return { L"S-Video", KXMSOURCE_TYPE_SVIDEO, 1 };
    case PhysConn_Video_YRYBY:
        return { L"Component", KXMSOURCE_TYPE_COMPONENT, 2 };
    case PhysConn_Video_SerialDigital:
        return { L"HDMI", KXMSOURCE_TYPE_HDMI, 3 };
    default:
        return { L"Video", KXMSOURCE_TYPE_COMPOSITE, 0 };
    }
}

}  // namespace

CKXMCaptureEx::CKXMCaptureEx()
{
    // The monitor's graphs carry the sound renderer; its crossbar graph is not kept in a file.
    m_bAudio = 1;
    m_bKeepCrossbarGraph = false;
}

CString FormatDeviceLine(const _KXMCaptureDeviceInfo& e)
{
    CString line;
    line.Format(L"%d@@%s@@%s@@%s@@%d@@%d@@%d\n", e.type, e.sourceName.GetString(), e.connectorName.GetString(),
                e.displayName.GetString(), e.connectorKind, e.pinIndex, e.physConnType);
    return line;
}

// Its names hold no line end, no NUL and no separator, and do not start or end with "@" (which
// would join a separator); every character survives UTF-16. An entry that would read back as
// another is left out rather than offered under a wrong name.
bool DeviceLineRoundTrips(const _KXMCaptureDeviceInfo& e)
{
    for (const CString* name : {&e.sourceName, &e.connectorName, &e.displayName}) {
        const std::wstring& text = name->str();
        if (text.find_first_of(std::wstring(L"\n\0", 2)) != std::wstring::npos || text.find(L"@@") != std::wstring::npos ||
            (!text.empty() && (text.front() == L'@' || text.back() == L'@')) || quiva::Utf16ToWide(quiva::WideToUtf16(text)) != text)
            return false;
    }
    return true;
}

void CKXMCaptureEx::EnumerateDevices(REFCLSID category, int kind)
{
    ComPtr<ICreateDevEnum> devEnum;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC, IID_ICreateDevEnum,
                                devEnum.PutVoid())) || !devEnum)
        return;
    ComPtr<IEnumMoniker> monikers;
    if (devEnum->CreateClassEnumerator(category, monikers.Put(), 0) != S_OK || !monikers)
        return;
    IMoniker* m = nullptr;
    while (monikers->Next(1, &m, nullptr) == S_OK) {
        ComPtr<IMoniker> moniker = ComPtr<IMoniker>::Adopt(m);
        CString friendly;
        if (!ReadFriendlyName(moniker.Get(), friendly))
            continue;
        if (kind == 0) {
            AddCrossbarInputs(moniker.Get(), friendly);
            continue;
        }
        if (FindByDisplayName(friendly))
            continue;
        auto* entry = new _KXMCaptureDeviceInfo;
        entry->type = KXM_DEVICE_CAPTURE;
        entry->sourceName = friendly;
        entry->displayName = friendly;
        std::lock_guard lock(m_lock);
        m_devices.Add(entry);
    }
}

void CKXMCaptureEx::AddCrossbarInputs(IMoniker* moniker, const CString& friendly)
{
    ComPtr<IBaseFilter> filter;
    if (FAILED(moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.PutVoid())) || !filter)
        return;
    ComPtr<IAMCrossbar> crossbar;
    if (FAILED(filter->QueryInterface(IID_IAMCrossbar, crossbar.PutVoid())) || !crossbar)
        return;
    LONG outputs = 0, inputs = 0;
    if (FAILED(crossbar->get_PinCounts(&outputs, &inputs)))
        return;
    int counters[4] = {};
    for (LONG i = 0; i < inputs; ++i) {
        LONG related = 0, physical = 0;
        if (FAILED(crossbar->get_CrossbarPinInfo(TRUE, i, &related, &physical)))
            continue;
        if (physical < PhysConn_Video_Composite || physical > PhysConn_Video_USB)
            continue;
        const ConnectorRow row = ConnectorOf(physical);
        const int n = ++counters[row.counter];
        auto* entry = new _KXMCaptureDeviceInfo;
        entry->type = KXM_DEVICE_CROSSBAR;
        entry->sourceName = friendly;
        entry->connectorName = row.name;
        entry->connectorKind = row.kind;
        entry->physConnType = static_cast<int>(physical);
        entry->pinIndex = static_cast<int>(i);
        entry->displayName.Format(L"%s [%s]", friendly.GetString(), row.name);
        if (FindByDisplayName(entry->displayName)) {
            // The display name selects the source, so it must be unique: a name another entry
            // holds already (a second crossbar of the same name) takes the next free number.
            for (int k = std::max(n, 2); FindByDisplayName(entry->displayName); ++k)
                entry->displayName.Format(L"%s [%s] #%d", friendly.GetString(), row.name, k);
            Logf(L"Device : %s - %d", entry->displayName.GetString(), entry->pinIndex);
        }
        std::lock_guard lock(m_lock);
        m_devices.Add(entry);
    }
}

_KXMCaptureDeviceInfo* CKXMCaptureEx::FindByDisplayName(const CString& name) const
{
    std::lock_guard lock(m_lock);
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i)
        if (_wcsicmp(m_devices[i]->displayName, name) == 0)
            return m_devices[i];
    return nullptr;
}

void CKXMCaptureEx::LoadGraphList()
{
    CKXXmlDocument doc;
    if (!doc.Load(KXM_GRAPH_LIST_FILE))
        return;
    const CString dataFolder = ClinicDataFolder();
    for (int n = 0;; ++n) {
        CString node;
        node.Format(L"/GraphFile@%d", n);
        CString path = doc.GetValue(node);
        if (path.IsEmpty())
            break;
        // A graph file named without a drive (\graphs\a.grf) lies on the drive of the
        // clinic's data folder, never at the machine's own root; where that drive is not there
        // the path is read as it is.
        if (quiva::DriveDirectory(dataFolder[0]))
            path = quiva::PathOnDriveOf(dataFolder, path);
        // A file that has gone, or a folder, is no graph to list.
        if (!PathFileExistsW(path) || PathIsDirectoryW(path))
            continue;
        auto* entry = new _KXMCaptureDeviceInfo;
        entry->type = KXM_DEVICE_GRAPH_FILE;
        entry->sourceName = path;
        entry->displayName = doc.GetAttribute(node, L"name");
        if (entry->displayName.IsEmpty())
            entry->displayName = FileNamePart(path);
        std::lock_guard lock(m_lock);
        m_devices.Add(entry);
    }
    if (doc.GetAttribute(L"/Extension", L"DVD") == L"1")
        AddDvdEntry();
}

BOOL CKXMCaptureEx::SaveGraphList(BOOL dvdOn)
{
    CKXXmlDocument doc;
    doc.LoadXml(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><GraphFiles/>");
    if (dvdOn)
        doc.SetAttribute(L"/Extension", 0, L"DVD", L"1");
    std::lock_guard lock(m_lock);
    int n = 0;
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        const _KXMCaptureDeviceInfo* e = m_devices[i];
        if (e->type != KXM_DEVICE_GRAPH_FILE)
            continue;
        CString node;
        node.Format(L"/GraphFile@%d", n++);
        doc.SetValue(node, e->sourceName);
        doc.SetAttribute(node, 0, L"name", e->displayName);
    }
    return doc.Save(KXM_GRAPH_LIST_FILE) ? TRUE : FALSE;
}

_KXMCaptureDeviceInfo* CKXMCaptureEx::ImportGraph(LPCWSTR path)
{
    CString source = path ? path : L"";
    {
        std::lock_guard lock(m_lock);
        for (INT_PTR i = 0; i < m_devices.GetSize(); ++i)
            if (_wcsicmp(m_devices[i]->sourceName, source) == 0)
                return nullptr;
    }
    auto* entry = new _KXMCaptureDeviceInfo;
    entry->type = KXM_DEVICE_GRAPH_FILE;
    entry->sourceName = source;
    // The file name cut before its last full stop; a name without one is kept whole.
    std::wstring name = FileNamePart(source).GetString();
    size_t dot = name.rfind(L'.');
    entry->displayName = (dot == std::wstring::npos ? name : name.substr(0, dot)).c_str();
    {
        std::lock_guard lock(m_lock);
        m_devices.Add(entry);
    }
    Stop();
    // The graph shown is the new entry's.
    m_pCurrentDevice = entry;
    m_bGraphBuilt = BuildSavedGraph(source) != 0;
    m_bRunning = m_bGraphBuilt ? 1 : 0;
    return entry;
}

BOOL CKXMCaptureEx::ExportGraph(LPCWSTR path)
{
    std::lock_guard lock(m_lock);
    return m_pGraph && SaveGraphFile(m_pGraph, path) ? TRUE : FALSE;
}

_KXMCaptureDeviceInfo* CKXMCaptureEx::AddDvdEntry()
{
    auto* entry = new _KXMCaptureDeviceInfo;
    entry->type = KXM_DEVICE_DVD;
    entry->sourceName = L"DVD";
    entry->displayName = L"CD-ROM";
    std::lock_guard lock(m_lock);
    m_devices.Add(entry);
    return entry;
}

void CKXMCaptureEx::RemoveEntry(_KXMCaptureDeviceInfo* entry)
{
    std::lock_guard lock(m_lock);
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        if (m_devices[i] != entry)
            continue;
        // The preview's entry going away leaves no current entry behind that points at it.
        if (m_pCurrentDevice == entry)
            m_pCurrentDevice = nullptr;
        m_devices.RemoveAt(i);
        delete entry;
        return;
    }
}

BOOL CKXMCaptureEx::SelectDevice(HWND window, LPCWSTR displayName)
{
    std::lock_guard lock(m_lock);
    _KXMCaptureDeviceInfo* found = displayName && *displayName ? FindByDisplayName(displayName) : nullptr;
    return SelectEntry(window, found);
}

BOOL CKXMCaptureEx::SelectEntry(HWND window, _KXMCaptureDeviceInfo* entry)
{
    std::lock_guard lock(m_lock);
    if (m_devices.IsEmpty()) {
        m_bRunning = 0;
        return FALSE;
    }
    if (window)
        m_hPreviewWnd = window;
    for (INT_PTR i = 0; entry && i < m_devices.GetSize(); ++i)
        if (m_devices[i] == entry)
            m_pCurrentDevice = entry;
    if (!m_pCurrentDevice)
        m_pCurrentDevice = m_devices[0];
    Stop();
    // The preview shows the device as it comes: no format is negotiated here.
    int built = 0;
    switch (m_pCurrentDevice->type) {
    case KXM_DEVICE_CROSSBAR: built = BuildCrossbarGraph(0); break;
    case KXM_DEVICE_CAPTURE: built = BuildCaptureGraph(0); break;
    case KXM_DEVICE_GRAPH_FILE: built = BuildSavedGraph(m_pCurrentDevice->sourceName); break;
    case KXM_DEVICE_DVD: built = BuildDvdGraph(); break;
    default: break;
    }
    m_bGraphBuilt = built != 0;
    m_bRunning = built ? 1 : 0;
    return TRUE;
}

namespace {

// The stream configuration of a filter's first output pin that has one.
ComPtr<IAMStreamConfig> OutputStreamConfig(IBaseFilter* filter)
{
    ComPtr<IEnumPins> pins;
    if (!filter || FAILED(filter->EnumPins(pins.Put())) || !pins)
        return {};
    IPin* p = nullptr;
    while (pins->Next(1, &p, nullptr) == S_OK) {
        ComPtr<IPin> pin = ComPtr<IPin>::Adopt(p);
        PIN_DIRECTION dir;
        if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT)
            continue;
        if (auto config = pin.As<IAMStreamConfig>(IID_IAMStreamConfig))
            return config;
        // A filter with a single capture output may answer for it itself.
        ComPtr<IAMStreamConfig> config;
        if (SUCCEEDED(filter->QueryInterface(IID_IAMStreamConfig, config.PutVoid())) && config)
            return config;
    }
    return {};
}

}  // namespace

void CKXMCaptureEx::DetectMediaType(IBaseFilter* capture)
{
    ComPtr<IAMStreamConfig> config = OutputStreamConfig(capture);
    int count = 0, size = 0;
    if (!config || FAILED(config->GetNumberOfCapabilities(&count, &size)) || size <= 0)
        return;
    std::vector<BYTE> caps(static_cast<size_t>(size));
    bool chosen = false;
    CString name;
    LONG bestWidth = 0, bestHeight = 0;
    int bestRate = 0;
    for (int i = 0; i < count; ++i) {
        AM_MEDIA_TYPE* mt = nullptr;
        if (config->GetStreamCaps(i, &mt, caps.data()) != S_OK || !mt)
            continue;
        int kind = 0;
        LONG width = 0, height = 0;
        REFERENCE_TIME frameTime = 0;
        if (VideoFormat(*mt, &kind, &width, &height, &frameTime)) {
            const int rate = frameTime > 0 ? static_cast<int>(10000000 / frameTime) : 0;
            const CString subtype = SubtypeName(mt->subtype);
            Trace(L"-- MediaType : %s (%dx%d) %dfps\n", subtype.GetString(), static_cast<int>(width),
                  static_cast<int>(height), rate);
            if (rate >= 30 && (!chosen || width > bestWidth)) {
                chosen = true;
                name = subtype;
                bestWidth = width, bestHeight = height, bestRate = rate;
            }
        }
        DeleteMediaType(mt);
    }
    if (chosen)
        Trace(L"Detected MediaType : %s (%dx%d) %dfps\n", name.GetString(), static_cast<int>(bestWidth),
              static_cast<int>(bestHeight), bestRate);
}

BOOL CKXMCaptureEx::Start(HWND window)
{
    std::lock_guard lock(m_lock);
    if (!m_pGraph)
        return FALSE;
    if (window)
        m_hPreviewWnd = window;
    if (!m_hPreviewWnd)
        return FALSE;
    ShowWindow(m_hPreviewWnd, SW_SHOW);
    ComPtr<IMediaControl> control;
    if (FAILED(m_pGraph->QueryInterface(IID_IMediaControl, control.PutVoid())) || !control)
        return FALSE;
    const HRESULT hr = control->Run();
    if (hr == S_OK) {
        m_bRunning = 1;
        return TRUE;
    }
    WCHAR text[160] = {};
    const bool hasText = AMGetErrorTextW(hr, text, 160) != 0;
    const unsigned code = static_cast<unsigned>(hr);
    Trace(hasText ? L"Start Error %x: %s\n" : L"Start Error %x: \n", code, text);
    if (hr == S_FALSE)
        return TRUE;
    if (hasText)
        Logf(L" (0x%x) %s", code, text);
    else
        Logf(L" (0x%x) 오류", code);
    return FALSE;
}

const _KXMCaptureDeviceInfo* CKXMCaptureEx::GetCurrentEntry() const
{
    std::lock_guard lock(m_lock);
    return m_pCurrentDevice;
}

const _KXMCaptureDeviceInfo* CKXMCaptureEx::GetEntry(int index) const
{
    std::lock_guard lock(m_lock);
    return index >= 0 && index < m_devices.GetSize() ? m_devices[index] : nullptr;
}

BOOL CKXMCaptureEx::HasDvdEntry() const
{
    std::lock_guard lock(m_lock);
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i)
        if (m_devices[i]->type == KXM_DEVICE_DVD)
            return TRUE;
    return FALSE;
}

CString CKXMCaptureEx::DeviceText(int maxChars, std::vector<CString>* notFitting, std::vector<CString>* unreadable) const
{
    std::lock_guard lock(m_lock);
    CString text;
    size_t units = 0;
    bool full = false;
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        const _KXMCaptureDeviceInfo& e = *m_devices[i];
        if (!DeviceLineRoundTrips(e)) {
            if (unreadable)
                unreadable->push_back(e.displayName);
            continue;
        }
        CString line = FormatDeviceLine(e);
        const size_t lineUnits = quiva::Utf16Length(line.str());
        // Once a line does not fit, none after it is written: the text keeps the list's order.
        full = full || units + lineUnits > static_cast<size_t>(std::max(maxChars, 0));
        if (full) {
            if (notFitting)
                notFitting->push_back(e.displayName);
            continue;
        }
        text += line;
        units += lineUnits;
    }
    return text;
}

void CKXMCaptureEx::Log(LPCWSTR text)
{
    if (m_messageSink)
        m_messageSink(CString(text ? text : L""));
}

int CKXMCaptureEx::CheckResult(HRESULT hr, LPCWSTR context)
{
    if (hr >= 0)
        return 0;
    const LPCWSTR what = context ? context : L"";
    WCHAR system[160] = {};
    const bool hasText = AMGetErrorTextW(hr, system, 160) != 0;
    CString trace;
    if (hasText)
        trace.Format(L"Error %x: %s\n%s\n", static_cast<unsigned>(hr), what, system);
    else
        trace.Format(L"Error 0x%x: %s\n", static_cast<unsigned>(hr), what);
    OutputDebugStringW(trace);
    if (m_messageSink)
        Logf(L" (0x%x) %s", static_cast<unsigned>(hr), hasText ? system : what);
    return 1;
}
