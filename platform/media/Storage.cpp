#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/media/storage.h"

namespace quiva {

namespace {

// A stream over bytes that may be shared with the storage it belongs to.
class MemoryStream final : public IStream, public RefCounted {
public:
    explicit MemoryStream(std::shared_ptr<std::string> data) : m_data(std::move(data)) {}

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IStream || riid == IID_ISequentialStream) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL

    HRESULT Read(void* pv, ULONG cb, ULONG* read) override
    {
        if (!pv && cb)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_lock);
        const size_t avail = m_pos < m_data->size() ? m_data->size() - m_pos : 0;
        const size_t n = std::min<size_t>(cb, avail);
        if (n)
            std::memcpy(pv, m_data->data() + m_pos, n);
        m_pos += n;
        if (read)
            *read = static_cast<ULONG>(n);
        return n == cb ? S_OK : S_FALSE;
    }
    HRESULT Write(const void* pv, ULONG cb, ULONG* written) override
    {
        if (!pv && cb)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_lock);
        if (m_pos + cb > m_data->size())
            m_data->resize(m_pos + cb);
        if (cb)
            std::memcpy(m_data->data() + m_pos, pv, cb);
        m_pos += cb;
        if (written)
            *written = cb;
        return S_OK;
    }
    HRESULT Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPos) override
    {
        std::lock_guard lock(m_lock);
        long long base = origin == STREAM_SEEK_SET ? 0 : origin == STREAM_SEEK_CUR ? static_cast<long long>(m_pos)
                         : origin == STREAM_SEEK_END ? static_cast<long long>(m_data->size())
                                                     : -1;
        if (base < 0)
            return STG_E_INVALIDFUNCTION;
        const long long target = base + move.QuadPart;
        if (target < 0)
            return STG_E_INVALIDFUNCTION;
        m_pos = static_cast<size_t>(target);
        if (newPos)
            newPos->QuadPart = m_pos;
        return S_OK;
    }
    HRESULT SetSize(ULARGE_INTEGER size) override
    {
        std::lock_guard lock(m_lock);
        m_data->resize(static_cast<size_t>(size.QuadPart));
        return S_OK;
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Stat(STATSTG* stat, DWORD) override
    {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        std::lock_guard lock(m_lock);
        std::memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_data->size();
        return S_OK;
    }

    std::string Bytes()
    {
        std::lock_guard lock(m_lock);
        return *m_data;
    }

private:
    std::mutex m_lock;
    std::shared_ptr<std::string> m_data;
    size_t m_pos = 0;
};

// --- compound files -------------------------------------------------------------------------
// Version 3: 512-byte sectors, 64-byte mini sectors below 4096 bytes, one level of streams
// under the root.

constexpr uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSect = 0xFFFFFFFD, kNoStream = 0xFFFFFFFF;
constexpr size_t kSector = 512, kMini = 64, kCutoff = 4096;

uint32_t Get32(const std::string& b, size_t at)
{
    if (at + 4 > b.size())
        return kEnd;
    uint32_t v;
    std::memcpy(&v, b.data() + at, 4);
    return v;
}
uint16_t Get16(const std::string& b, size_t at)
{
    if (at + 2 > b.size())
        return 0;
    uint16_t v;
    std::memcpy(&v, b.data() + at, 2);
    return v;
}
void Put32(std::string& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }
void Put16(std::string& b, size_t at, uint16_t v) { std::memcpy(b.data() + at, &v, 2); }

using StreamMap = std::map<std::wstring, std::shared_ptr<std::string>>;

// Follows a chain through a table; false for a chain that loops or leaves the table.
bool Chain(const std::vector<uint32_t>& table, uint32_t start, std::vector<uint32_t>* out)
{
    out->clear();
    for (uint32_t s = start; s != kEnd; s = table[s]) {
        if (s >= table.size() || out->size() > table.size())
            return false;
        out->push_back(s);
    }
    return true;
}

HRESULT ParseCompound(const std::string& file, StreamMap* streams)
{
    if (file.size() < kSector || std::memcmp(file.data(), kSignature, 8) != 0)
        return STG_E_INVALIDHEADER;
    if (Get16(file, 30) != 9 || Get16(file, 32) != 6)
        return STG_E_INVALIDHEADER;
    const size_t sectors = (file.size() - kSector + kSector - 1) / kSector;
    auto sectorData = [&](uint32_t s) { return file.substr(kSector * (static_cast<size_t>(s) + 1), kSector); };
    // FAT sectors from the header's DIFAT (and DIFAT sectors, when present).
    std::vector<uint32_t> fatSectors;
    const uint32_t fatCount = Get32(file, 44);
    for (int i = 0; i < 109 && fatSectors.size() < fatCount; ++i)
        fatSectors.push_back(Get32(file, 76 + static_cast<size_t>(i) * 4));
    uint32_t difat = Get32(file, 68);
    for (size_t guard = 0; difat != kEnd && difat != kFree && fatSectors.size() < fatCount && guard < sectors; ++guard) {
        if (difat >= sectors)
            return STG_E_DOCFILECORRUPT;
        std::string d = sectorData(difat);
        for (int i = 0; i < 127 && fatSectors.size() < fatCount; ++i)
            fatSectors.push_back(Get32(d, static_cast<size_t>(i) * 4));
        difat = Get32(d, 127 * 4);
    }
    std::vector<uint32_t> fat;
    for (uint32_t s : fatSectors) {
        if (s >= sectors)
            return STG_E_DOCFILECORRUPT;
        std::string d = sectorData(s);
        for (size_t i = 0; i + 4 <= kSector; i += 4)
            fat.push_back(Get32(d, i));
    }
    fat.resize(std::min(fat.size(), sectors));
    auto readChain = [&](uint32_t start, size_t size, std::string* out) {
        std::vector<uint32_t> chain;
        if (size == 0) {
            out->clear();
            return true;
        }
        if (!Chain(fat, start, &chain))
            return false;
        out->clear();
        for (uint32_t s : chain)
            *out += sectorData(s);
        if (out->size() < size)
            return false;
        out->resize(size);
        return true;
    };
    std::vector<uint32_t> dirChain;
    if (!Chain(fat, Get32(file, 48), &dirChain))
        return STG_E_DOCFILECORRUPT;
    std::string dir;
    for (uint32_t s : dirChain)
        dir += sectorData(s);
    const size_t entries = dir.size() / 128;
    if (entries == 0 || static_cast<uint8_t>(dir[66]) != 5)
        return STG_E_DOCFILECORRUPT;
    // Mini stream and its table.
    std::string miniStream;
    if (!readChain(Get32(dir, 116), Get32(dir, 120), &miniStream))
        return STG_E_DOCFILECORRUPT;
    std::vector<uint32_t> miniFat;
    std::vector<uint32_t> miniFatChain;
    if (Get32(file, 60) != kEnd && !Chain(fat, Get32(file, 60), &miniFatChain))
        return STG_E_DOCFILECORRUPT;
    for (uint32_t s : miniFatChain) {
        std::string d = sectorData(s);
        for (size_t i = 0; i + 4 <= kSector; i += 4)
            miniFat.push_back(Get32(d, i));
    }
    const uint32_t cutoff = Get32(file, 56);
    // Walk the root's children.
    std::vector<uint32_t> pending{Get32(dir, 76)};
    std::vector<bool> seen(entries, false);
    while (!pending.empty()) {
        uint32_t id = pending.back();
        pending.pop_back();
        if (id == kNoStream)
            continue;
        if (id >= entries || seen[id])
            return STG_E_DOCFILECORRUPT;
        seen[id] = true;
        const size_t at = static_cast<size_t>(id) * 128;
        pending.push_back(Get32(dir, at + 68));
        pending.push_back(Get32(dir, at + 72));
        if (static_cast<uint8_t>(dir[at + 66]) != 2)
            continue;
        const uint16_t nameBytes = std::min<uint16_t>(Get16(dir, at + 64), 64);
        std::wstring name = Utf16LEToWide(dir.data() + at, nameBytes >= 2 ? nameBytes - 2 : 0);
        const uint32_t start = Get32(dir, at + 116);
        const size_t size = Get32(dir, at + 120);
        auto data = std::make_shared<std::string>();
        if (size < cutoff) {
            std::vector<uint32_t> chain;
            if (size && !Chain(miniFat, start, &chain))
                return STG_E_DOCFILECORRUPT;
            for (uint32_t m : chain) {
                if (static_cast<size_t>(m) * kMini + kMini > miniStream.size())
                    return STG_E_DOCFILECORRUPT;
                *data += miniStream.substr(static_cast<size_t>(m) * kMini, kMini);
            }
            if (data->size() < size)
                return STG_E_DOCFILECORRUPT;
            data->resize(size);
        } else if (!readChain(start, size, data.get())) {
            return STG_E_DOCFILECORRUPT;
        }
        (*streams)[name] = data;
    }
    return S_OK;
}

std::string BuildCompound(const StreamMap& streams)
{
    // Sorted the way the format orders siblings: by length, then by upper-case name.
    std::vector<std::pair<std::wstring, std::shared_ptr<std::string>>> list(streams.begin(), streams.end());
    std::sort(list.begin(), list.end(), [](const auto& a, const auto& b) {
        if (a.first.size() != b.first.size())
            return a.first.size() < b.first.size();
        std::wstring ua = a.first, ub = b.first;
        for (auto& c : ua)
            c = static_cast<wchar_t>(std::towupper(c));
        for (auto& c : ub)
            c = static_cast<wchar_t>(std::towupper(c));
        return ua < ub;
    });
    std::string mini;
    std::vector<uint32_t> miniFat;
    std::vector<uint32_t> start(list.size(), kEnd);
    std::vector<std::string> big;  // streams in regular sectors, in list order
    for (size_t i = 0; i < list.size(); ++i) {
        const std::string& d = *list[i].second;
        if (d.size() < kCutoff) {
            if (d.empty())
                continue;
            const uint32_t first = static_cast<uint32_t>(mini.size() / kMini);
            const size_t count = (d.size() + kMini - 1) / kMini;
            for (size_t k = 0; k < count; ++k)
                miniFat.push_back(k + 1 < count ? first + static_cast<uint32_t>(k) + 1 : kEnd);
            start[i] = first;
            mini += d;
            mini.resize(mini.size() + (kMini - mini.size() % kMini) % kMini, '\0');
        }
    }
    const size_t dirSectors = ((list.size() + 1) * 128 + kSector - 1) / kSector;
    const size_t miniFatSectors = (miniFat.size() * 4 + kSector - 1) / kSector;
    const size_t miniSectors = (mini.size() + kSector - 1) / kSector;
    size_t bigSectors = 0;
    for (const auto& e : list)
        if (e.second->size() >= kCutoff)
            bigSectors += (e.second->size() + kSector - 1) / kSector;
    const size_t others = dirSectors + miniFatSectors + miniSectors + bigSectors;
    size_t fatSectors = 1;
    while (fatSectors * 128 < fatSectors + others)
        ++fatSectors;
    if (fatSectors > 109)
        return {};
    std::vector<uint32_t> fat(fatSectors * 128, kFree);
    uint32_t next = 0;
    for (size_t i = 0; i < fatSectors; ++i)
        fat[next++] = kFatSect;
    auto chainOf = [&](size_t count) {
        const uint32_t first = next;
        for (size_t k = 0; k < count; ++k, ++next)
            fat[next] = k + 1 < count ? next + 1 : kEnd;
        return count ? first : kEnd;
    };
    const uint32_t dirStart = chainOf(dirSectors);
    const uint32_t miniFatStart = chainOf(miniFatSectors);
    const uint32_t miniStart = chainOf(miniSectors);
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].second->size() >= kCutoff)
            start[i] = chainOf((list[i].second->size() + kSector - 1) / kSector);

    std::string out(kSector, '\0');
    std::memcpy(out.data(), kSignature, 8);
    Put16(out, 24, 0x003E);
    Put16(out, 26, 0x0003);
    Put16(out, 28, 0xFFFE);
    Put16(out, 30, 9);
    Put16(out, 32, 6);
    Put32(out, 44, static_cast<uint32_t>(fatSectors));
    Put32(out, 48, dirStart);
    Put32(out, 56, kCutoff);
    Put32(out, 60, miniFatSectors ? miniFatStart : kEnd);
    Put32(out, 64, static_cast<uint32_t>(miniFatSectors));
    Put32(out, 68, kEnd);
    for (int i = 0; i < 109; ++i)
        Put32(out, 76 + static_cast<size_t>(i) * 4, static_cast<size_t>(i) < fatSectors ? static_cast<uint32_t>(i) : kFree);
    auto pad = [&]() { out.resize(out.size() + (kSector - out.size() % kSector) % kSector, '\0'); };
    {
        std::string f(fat.size() * 4, '\0');
        for (size_t i = 0; i < fat.size(); ++i)
            Put32(f, i * 4, fat[i]);
        out += f;
    }
    {
        std::string dir(dirSectors * kSector, '\0');
        auto entry = [&](size_t id, const std::wstring& name, uint8_t type, uint32_t child, uint32_t right, uint32_t first, uint32_t size) {
            const size_t at = id * 128;
            std::string n = WideToUtf16LE(name);
            std::memcpy(dir.data() + at, n.data(), std::min<size_t>(n.size(), 62));
            Put16(dir, at + 64, static_cast<uint16_t>(std::min<size_t>(n.size(), 62) + 2));
            dir[at + 66] = static_cast<char>(type);
            dir[at + 67] = 1;  // black
            Put32(dir, at + 68, kNoStream);
            Put32(dir, at + 72, right);
            Put32(dir, at + 76, child);
            Put32(dir, at + 116, first);
            Put32(dir, at + 120, size);
        };
        entry(0, L"Root Entry", 5, list.empty() ? kNoStream : 1, kNoStream, mini.empty() ? kEnd : miniStart,
              static_cast<uint32_t>(mini.size()));
        for (size_t i = 0; i < list.size(); ++i)
            entry(i + 1, list[i].first, 2, kNoStream, i + 1 < list.size() ? static_cast<uint32_t>(i + 2) : kNoStream,
                  start[i], static_cast<uint32_t>(list[i].second->size()));
        for (size_t id = list.size() + 1; id < dirSectors * 4; ++id) {
            Put32(dir, id * 128 + 68, kNoStream);
            Put32(dir, id * 128 + 72, kNoStream);
            Put32(dir, id * 128 + 76, kNoStream);
        }
        out += dir;
    }
    {
        std::string mf(miniFatSectors * kSector, '\xFF');
        for (size_t i = 0; i < miniFat.size(); ++i)
            Put32(mf, i * 4, miniFat[i]);
        out += mf;
    }
    out += mini;
    pad();
    for (const auto& e : list)
        if (e.second->size() >= kCutoff) {
            out += *e.second;
            pad();
        }
    return out;
}

class CompoundStorage final : public IStorage, public RefCounted {
public:
    CompoundStorage(std::wstring path, StreamMap streams, bool writable, bool transacted)
        : m_path(std::move(path)), m_streams(std::move(streams)), m_writable(writable), m_transacted(transacted)
    {
    }
    ~CompoundStorage() override
    {
        if (m_writable && !m_transacted)
            Commit(0);
    }

    HRESULT QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IStorage) {
            *ppv = static_cast<IStorage*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    QUIVA_REFCOUNT_IMPL

    HRESULT CreateStream(const OLECHAR* name, DWORD mode, DWORD, DWORD, IStream** stream) override
    {
        if (!name || !stream)
            return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        if (!m_writable)
            return STG_E_ACCESSDENIED;
        if (std::wcslen(name) > 31)
            return STG_E_INVALIDNAME;
        std::lock_guard lock(m_lock);
        auto it = m_streams.find(name);
        if (it != m_streams.end() && !(mode & STGM_CREATE))
            return STG_E_FILEALREADYEXISTS;
        auto data = std::make_shared<std::string>();
        m_streams[name] = data;
        *stream = new MemoryStream(data);
        return S_OK;
    }
    HRESULT OpenStream(const OLECHAR* name, void*, DWORD, DWORD, IStream** stream) override
    {
        if (!name || !stream)
            return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        std::lock_guard lock(m_lock);
        auto it = m_streams.find(name);
        if (it == m_streams.end())
            return STG_E_FILENOTFOUND;
        *stream = new MemoryStream(m_writable ? it->second : std::make_shared<std::string>(*it->second));
        return S_OK;
    }
    HRESULT Commit(DWORD) override
    {
        if (!m_writable)
            return STG_E_ACCESSDENIED;
        std::lock_guard lock(m_lock);
        std::string bytes = BuildCompound(m_streams);
        if (bytes.empty())
            return STG_E_WRITEFAULT;
        return WriteFileAtomically(m_path.c_str(), bytes) ? S_OK : STG_E_WRITEFAULT;
    }
    HRESULT Revert() override { return S_OK; }

private:
    std::mutex m_lock;
    std::wstring m_path;
    StreamMap m_streams;
    bool m_writable;
    bool m_transacted;
};

}  // namespace

bool MemoryStreamBytes(IStream* stream, std::string* bytes)
{
    auto* m = dynamic_cast<MemoryStream*>(stream);
    if (!m || !bytes)
        return false;
    *bytes = m->Bytes();
    return true;
}

HRESULT ReadWholeStream(IStream* stream, std::string* bytes)
{
    if (!stream || !bytes)
        return E_POINTER;
    bytes->clear();
    char buf[4096];
    for (;;) {
        ULONG n = 0;
        HRESULT hr = stream->Read(buf, sizeof(buf), &n);
        if (FAILED(hr))
            return hr;
        bytes->append(buf, n);
        if (n < sizeof(buf))
            return S_OK;
        if (bytes->size() > (64u << 20))
            return E_OUTOFMEMORY;
    }
}

HRESULT WriteWholeStream(IStream* stream, const std::string& bytes)
{
    if (!stream)
        return E_POINTER;
    ULONG written = 0;
    HRESULT hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (FAILED(hr))
        return hr;
    return written == bytes.size() ? S_OK : STG_E_WRITEFAULT;
}

}  // namespace quiva

HRESULT CreateStreamOnHGlobal(HGLOBAL, BOOL, LPSTREAM* stream)
{
    if (!stream)
        return E_INVALIDARG;
    *stream = new quiva::MemoryStream(std::make_shared<std::string>());
    return S_OK;
}

HRESULT StgIsStorageFile(const WCHAR* path)
{
    if (!path)
        return STG_E_INVALIDPOINTER;
    std::string bytes;
    if (!quiva::ReadFileBytes(path, bytes))
        return STG_E_FILENOTFOUND;
    return bytes.size() >= 512 && std::memcmp(bytes.data(), quiva::kSignature, 8) == 0 ? S_OK : S_FALSE;
}

HRESULT StgOpenStorage(const WCHAR* path, IStorage*, DWORD mode, SNB, DWORD, IStorage** storage)
{
    if (!path || !storage)
        return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    std::string bytes;
    if (!quiva::ReadFileBytes(path, bytes))
        return STG_E_FILENOTFOUND;
    quiva::StreamMap streams;
    HRESULT hr = quiva::ParseCompound(bytes, &streams);
    if (FAILED(hr))
        return hr;
    const bool writable = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
    *storage = new quiva::CompoundStorage(path, std::move(streams), writable, (mode & STGM_TRANSACTED) != 0);
    return S_OK;
}

HRESULT StgCreateDocfile(const WCHAR* path, DWORD mode, DWORD, IStorage** storage)
{
    if (!path || !storage)
        return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    if (!(mode & STGM_CREATE) && GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES)
        return STG_E_FILEALREADYEXISTS;
    if (!quiva::WriteFileAtomically(path, quiva::BuildCompound({})))
        return STG_E_ACCESSDENIED;
    *storage = new quiva::CompoundStorage(path, {}, true, (mode & STGM_TRANSACTED) != 0);
    return S_OK;
}
