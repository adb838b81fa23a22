#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "platform/base/bytes.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/base/fullio.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"
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
    return LoadLE32(b.data() + at);
}
uint16_t Get16(const std::string& b, size_t at)
{
    if (at + 2 > b.size())
        return 0;
    return LoadLE16(b.data() + at);
}

using StreamMap = std::map<std::wstring, std::shared_ptr<std::string>>;

// The most a graph file may be: far above any graph, and what reading one may cost.
constexpr size_t kMaxCompoundBytes = 16u << 20;

// A compound file's tables, checked once: every chain reached ends, and no sector belongs to
// two chains, so all streams together hold no more than the file. A stream's bytes are read
// only when it is opened.
struct CompoundFile {
    struct Entry {
        uint32_t start = kEnd;
        size_t size = 0;
    };
    std::string bytes;
    size_t sectors = 0;
    std::vector<uint32_t> fat;
    std::vector<uint32_t> miniFat;
    std::string miniStream;
    uint32_t cutoff = kCutoff;
    std::map<std::wstring, Entry> entries;

    std::string Sector(uint32_t s) const { return bytes.substr(kSector * (static_cast<size_t>(s) + 1), kSector); }
    bool Mini(const Entry& e) const { return e.size < cutoff; }
    // The sectors of a chain that hold `size` bytes; false for a chain that loops, leaves the
    // table or ends early.
    static bool Chain(const std::vector<uint32_t>& table, uint32_t start, size_t size, size_t unit, std::vector<uint32_t>* out)
    {
        out->clear();
        const size_t count = (size + unit - 1) / unit;
        if (count > table.size())
            return false;
        for (uint32_t s = start; out->size() < count; s = table[s]) {
            if (s >= table.size())
                return false;
            out->push_back(s);
        }
        return true;
    }
    HRESULT Read(const Entry& e, std::string* out) const
    {
        out->clear();
        std::vector<uint32_t> chain;
        if (!Chain(Mini(e) ? miniFat : fat, e.start, e.size, Mini(e) ? kMini : kSector, &chain))
            return STG_E_DOCFILECORRUPT;
        for (uint32_t s : chain)
            *out += Mini(e) ? miniStream.substr(static_cast<size_t>(s) * kMini, kMini) : Sector(s);
        if (out->size() < e.size)
            return STG_E_DOCFILECORRUPT;
        out->resize(e.size);
        return S_OK;
    }
};

// Marks the sectors of a chain as taken; false when one already was (a shared chain).
bool Claim(std::vector<bool>& taken, const std::vector<uint32_t>& chain)
{
    for (uint32_t s : chain) {
        if (s >= taken.size() || taken[s])
            return false;
        taken[s] = true;
    }
    return true;
}

// The whole chain from start to its end mark, for tables whose length is not stored.
bool WholeChain(const std::vector<uint32_t>& table, uint32_t start, std::vector<uint32_t>* out)
{
    out->clear();
    for (uint32_t s = start; s != kEnd; s = table[s]) {
        if (s >= table.size() || out->size() >= table.size())
            return false;
        out->push_back(s);
    }
    return true;
}

HRESULT ParseCompound(std::string file, CompoundFile* cf)
{
    if (file.size() < kSector || std::memcmp(file.data(), kSignature, 8) != 0)
        return STG_E_INVALIDHEADER;
    if (Get16(file, 30) != 9 || Get16(file, 32) != 6)
        return STG_E_INVALIDHEADER;
    cf->bytes = std::move(file);
    const std::string& bytes = cf->bytes;
    const size_t sectors = (bytes.size() - 1) / kSector;
    cf->sectors = sectors;
    // The FAT, from the sectors the header's DIFAT (and DIFAT sectors, when present) lists,
    // up to one entry a sector of the file: more could describe nothing.
    std::vector<uint32_t>& fat = cf->fat;
    const uint32_t fatCount = Get32(bytes, 44);
    uint32_t listed = 0;
    auto addFatSector = [&](uint32_t s) {
        if (s >= sectors)
            return false;
        const std::string d = cf->Sector(s);
        for (size_t i = 0; i + 4 <= kSector && fat.size() < sectors; i += 4)
            fat.push_back(Get32(d, i));
        ++listed;
        return true;
    };
    for (int i = 0; i < 109 && listed < fatCount && fat.size() < sectors; ++i)
        if (!addFatSector(Get32(bytes, 76 + static_cast<size_t>(i) * 4)))
            return STG_E_DOCFILECORRUPT;
    uint32_t difat = Get32(bytes, 68);
    for (size_t guard = 0; difat != kEnd && difat != kFree && listed < fatCount && fat.size() < sectors; ++guard) {
        if (difat >= sectors || guard >= sectors)
            return STG_E_DOCFILECORRUPT;
        const std::string d = cf->Sector(difat);
        for (int i = 0; i < 127 && listed < fatCount && fat.size() < sectors; ++i)
            if (!addFatSector(Get32(d, static_cast<size_t>(i) * 4)))
                return STG_E_DOCFILECORRUPT;
        difat = Get32(d, 127 * 4);
    }
    std::vector<bool> taken(sectors, false);
    std::vector<uint32_t> chain;
    if (!WholeChain(fat, Get32(bytes, 48), &chain) || !Claim(taken, chain))
        return STG_E_DOCFILECORRUPT;
    std::string dir;
    for (uint32_t s : chain)
        dir += cf->Sector(s);
    const size_t entries = dir.size() / 128;
    if (entries == 0 || static_cast<uint8_t>(dir[66]) != 5)
        return STG_E_DOCFILECORRUPT;
    // The mini stream and its table.
    const CompoundFile::Entry root{Get32(dir, 116), Get32(dir, 120)};
    if (!CompoundFile::Chain(fat, root.start, root.size, kSector, &chain) || !Claim(taken, chain))
        return STG_E_DOCFILECORRUPT;
    for (uint32_t s : chain)
        cf->miniStream += cf->Sector(s);
    if (cf->miniStream.size() < root.size)
        return STG_E_DOCFILECORRUPT;
    cf->miniStream.resize(root.size);
    if (Get32(bytes, 60) != kEnd) {
        if (!WholeChain(fat, Get32(bytes, 60), &chain) || !Claim(taken, chain))
            return STG_E_DOCFILECORRUPT;
        for (uint32_t s : chain) {
            const std::string d = cf->Sector(s);
            for (size_t i = 0; i + 4 <= kSector; i += 4)
                cf->miniFat.push_back(Get32(d, i));
        }
    }
    cf->miniFat.resize(std::min(cf->miniFat.size(), cf->miniStream.size() / kMini));
    cf->cutoff = Get32(bytes, 56);
    std::vector<bool> miniTaken(cf->miniFat.size(), false);
    // Walk the root's children; every stream's chain is checked here and read when opened.
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
        const CompoundFile::Entry e{Get32(dir, at + 116), Get32(dir, at + 120)};
        if (e.size > 0) {
            const bool mini = cf->Mini(e);
            if (!CompoundFile::Chain(mini ? cf->miniFat : fat, e.start, e.size, mini ? kMini : kSector, &chain) ||
                !Claim(mini ? miniTaken : taken, chain))
                return STG_E_DOCFILECORRUPT;
        }
        cf->entries[name] = e;
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
    StoreLE16(out.data() + 24, 0x003E);
    StoreLE16(out.data() + 26, 0x0003);
    StoreLE16(out.data() + 28, 0xFFFE);
    StoreLE16(out.data() + 30, 9);
    StoreLE16(out.data() + 32, 6);
    StoreLE32(out.data() + 44, static_cast<uint32_t>(fatSectors));
    StoreLE32(out.data() + 48, dirStart);
    StoreLE32(out.data() + 56, kCutoff);
    StoreLE32(out.data() + 60, miniFatSectors ? miniFatStart : kEnd);
    StoreLE32(out.data() + 64, static_cast<uint32_t>(miniFatSectors));
    StoreLE32(out.data() + 68, kEnd);
    for (int i = 0; i < 109; ++i)
        StoreLE32(out.data() + 76 + static_cast<size_t>(i) * 4, static_cast<size_t>(i) < fatSectors ? static_cast<uint32_t>(i) : kFree);
    auto pad = [&]() { out.resize(out.size() + (kSector - out.size() % kSector) % kSector, '\0'); };
    {
        std::string f(fat.size() * 4, '\0');
        for (size_t i = 0; i < fat.size(); ++i)
            StoreLE32(f.data() + i * 4, fat[i]);
        out += f;
    }
    {
        std::string dir(dirSectors * kSector, '\0');
        auto entry = [&](size_t id, const std::wstring& name, uint8_t type, uint32_t child, uint32_t right, uint32_t first, uint32_t size) {
            const size_t at = id * 128;
            std::string n = WideToUtf16LE(name);
            std::memcpy(dir.data() + at, n.data(), std::min<size_t>(n.size(), 62));
            StoreLE16(dir.data() + at + 64, static_cast<uint16_t>(std::min<size_t>(n.size(), 62) + 2));
            dir[at + 66] = static_cast<char>(type);
            dir[at + 67] = 1;  // black
            StoreLE32(dir.data() + at + 68, kNoStream);
            StoreLE32(dir.data() + at + 72, right);
            StoreLE32(dir.data() + at + 76, child);
            StoreLE32(dir.data() + at + 116, first);
            StoreLE32(dir.data() + at + 120, size);
        };
        entry(0, L"Root Entry", 5, list.empty() ? kNoStream : 1, kNoStream, mini.empty() ? kEnd : miniStart,
              static_cast<uint32_t>(mini.size()));
        for (size_t i = 0; i < list.size(); ++i)
            entry(i + 1, list[i].first, 2, kNoStream, i + 1 < list.size() ? static_cast<uint32_t>(i + 2) : kNoStream,
                  start[i], static_cast<uint32_t>(list[i].second->size()));
        for (size_t id = list.size() + 1; id < dirSectors * 4; ++id) {
            StoreLE32(dir.data() + id * 128 + 68, kNoStream);
            StoreLE32(dir.data() + id * 128 + 72, kNoStream);
            StoreLE32(dir.data() + id * 128 + 76, kNoStream);
        }
        out += dir;
    }
    {
        std::string mf(miniFatSectors * kSector, '\xFF');
        for (size_t i = 0; i < miniFat.size(); ++i)
            StoreLE32(mf.data() + i * 4, miniFat[i]);
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
    CompoundStorage(std::wstring path, std::shared_ptr<const CompoundFile> file, bool writable, bool transacted)
        : m_path(std::move(path)), m_file(std::move(file)), m_writable(writable), m_transacted(transacted)
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
        if (it == m_streams.end()) {
            HRESULT hr = Load(name, &it);
            if (FAILED(hr))
                return hr;
        }
        *stream = new MemoryStream(m_writable ? it->second : std::make_shared<std::string>(*it->second));
        return S_OK;
    }
    HRESULT Commit(DWORD) override
    {
        if (!m_writable)
            return STG_E_ACCESSDENIED;
        std::lock_guard lock(m_lock);
        // Everything the file held is written again, read now if it was never opened.
        if (m_file)
            for (const auto& [name, entry] : m_file->entries) {
                StreamMap::iterator it;
                if (!m_streams.count(name) && FAILED(Load(name, &it)))
                    return STG_E_DOCFILECORRUPT;
            }
        std::string bytes = BuildCompound(m_streams);
        if (bytes.empty())
            return STG_E_WRITEFAULT;
        return WriteFileAtomically(m_path.c_str(), bytes) ? S_OK : STG_E_WRITEFAULT;
    }
    HRESULT Revert() override { return S_OK; }

private:
    // Reads a stream of the file into m_streams; the caller holds m_lock.
    HRESULT Load(const std::wstring& name, StreamMap::iterator* it)
    {
        if (!m_file)
            return STG_E_FILENOTFOUND;
        const auto entry = m_file->entries.find(name);
        if (entry == m_file->entries.end())
            return STG_E_FILENOTFOUND;
        auto data = std::make_shared<std::string>();
        HRESULT hr = m_file->Read(entry->second, data.get());
        if (FAILED(hr))
            return hr;
        *it = m_streams.emplace(name, std::move(data)).first;
        return S_OK;
    }

    std::mutex m_lock;
    std::wstring m_path;
    std::shared_ptr<const CompoundFile> m_file;  // as opened; null for a new file
    StreamMap m_streams;                         // streams opened or made since
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
    auto native = quiva::NativePath(path);
    const int fd = native ? ::open(native->c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return STG_E_FILENOTFOUND;
    // The signature and a whole header are enough to say; the rest is not read.
    char header[512];
    const bool whole = quiva::ReadFullyAt(fd, 0, header, sizeof header);
    ::close(fd);
    return whole && std::memcmp(header, quiva::kSignature, 8) == 0 ? S_OK : S_FALSE;
}

HRESULT StgOpenStorage(const WCHAR* path, IStorage*, DWORD mode, SNB, DWORD, IStorage** storage)
{
    if (!path || !storage)
        return STG_E_INVALIDPOINTER;
    *storage = nullptr;
    std::string bytes;
    if (!quiva::ReadFileBytes(path, bytes, quiva::kMaxCompoundBytes))
        return GetLastError() == ERROR_FILE_TOO_LARGE ? STG_E_DOCFILECORRUPT : STG_E_FILENOTFOUND;
    auto file = std::make_shared<quiva::CompoundFile>();
    HRESULT hr = quiva::ParseCompound(std::move(bytes), file.get());
    if (FAILED(hr))
        return hr;
    const bool writable = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
    *storage = new quiva::CompoundStorage(path, std::move(file), writable, (mode & STGM_TRANSACTED) != 0);
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
    *storage = new quiva::CompoundStorage(path, nullptr, true, (mode & STGM_TRANSACTED) != 0);
    return S_OK;
}
