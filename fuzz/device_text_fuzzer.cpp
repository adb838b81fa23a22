// Turns arbitrary bytes into a device list (names with separators, line ends, Korean and
// characters beyond the Basic Multilingual Plane), publishes it the way the device monitor
// does into a shared view, and reads it back with the capture engine's parser: what comes
// back is, in order, the entries whose lines read back as themselves, cut only at a whole line.
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "capture/CKXMCapture.h"
#include "fuzz/FuzzSupport.h"
#include "monitor/CKXMCaptureEx.h"
#include "monitor/CQUIVACaptureManagerDlg.h"
#include "platform/base/codepage.h"
#include "platform/base/filemapping.h"

namespace {

// Characters a name is made of: the ones that meet separators, line ends and code units.
const wchar_t kAlphabet[] = {L'A', L'b', L'1', L' ', L'@', L'\n', L'\r', L'[', L']', L'카', L'\U0001F4F7', L'\U00010000',
                             L'\uFFFD', L'\0', L'-', L'/'};

class Input {
public:
    Input(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_pos < m_size; }
    uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    CString Name()
    {
        std::wstring s;
        for (size_t n = Byte() % 40; n > 0 && More(); --n)
            s += kAlphabet[Byte() % std::size(kAlphabet)];
        return CString(s);
    }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

class Monitor : public CKXMCaptureEx {
public:
    void Add(_KXMCaptureDeviceInfo* e) { m_devices.Add(e); }
};

bool Same(const _KXMCaptureDeviceInfo& a, const _KXMCaptureDeviceInfo& b)
{
    const int kind = a.connectorKind >= 0 && a.connectorKind <= 3 ? a.connectorKind : KXMSOURCE_TYPE_UNKNOWN;
    return a.type == b.type && a.sourceName == b.sourceName && a.connectorName == b.connectorName &&
           a.displayName == b.displayName && kind == b.connectorKind && a.pinIndex == b.pinIndex && a.physConnType == b.physConnType;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 8192)
        return 0;
    Input in(data, size);
    Monitor monitor;
    std::vector<const _KXMCaptureDeviceInfo*> expected;
    while (in.More()) {
        auto* e = new _KXMCaptureDeviceInfo;
        e->type = in.Byte() % 4;
        e->sourceName = in.Name();
        e->connectorName = in.Name();
        e->displayName = in.Name();
        e->connectorKind = static_cast<int8_t>(in.Byte()) % 6;
        e->pinIndex = in.Byte() * 97;
        e->physConnType = in.Byte() * 1234;
        monitor.Add(e);
        if (DeviceLineRoundTrips(*e))
            expected.push_back(e);
    }

    static const std::wstring name = L"QUIVA.Fuzz.DeviceText." + std::to_wstring(getpid());
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, KXM_SHARED_MEMORY_SIZE, name.c_str());
    fuzz::Check(mapping != nullptr, "the view is made");
    CQUIVACaptureManagerDlg::WriteSharedMemory(mapping, monitor.DeviceText(KXM_DEVICE_TEXT_MAX));
    const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, KXM_SHARED_MEMORY_SIZE);
    fuzz::Check(view != nullptr, "the view maps");
    bool filled = false;
    const std::wstring text = DeviceTextFromView(view, KXM_SHARED_MEMORY_SIZE, &filled);
    UnmapViewOfFile(view);
    CloseHandle(mapping);

    CArray<_KXMCaptureDeviceInfo*, _KXMCaptureDeviceInfo*> read;
    CKXMCapture::ParseDeviceText(text, filled, read);
    fuzz::Check(static_cast<size_t>(read.GetSize()) <= expected.size(), "no entry is read that was not written");
    for (INT_PTR i = 0; i < read.GetSize(); ++i) {
        fuzz::Check(Same(*expected[static_cast<size_t>(i)], *read[i]), "every entry reads back as itself, in order");
        delete read[i];
    }
    // Everything that fits is published: a line is left out only when it would not fit.
    if (static_cast<size_t>(read.GetSize()) < expected.size()) {
        const CString next = FormatDeviceLine(*expected[static_cast<size_t>(read.GetSize())]);
        fuzz::Check(quiva::Utf16Length(text) + quiva::Utf16Length(next.str()) > static_cast<size_t>(KXM_DEVICE_TEXT_MAX),
                    "a line that fits is published");
    }
    return 0;
}
