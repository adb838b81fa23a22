#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "platform/base/bytes.h"
#include "platform/base/fullio.h"
#include "platform/base/lasterror.h"
#include "platform/base/winpath.h"
#include "platform/media/AviReader.h"
#include "platform/media/MediaType.h"
#include "platform/media/MsVideo1.h"

// The stream and file objects behind the AVI handles.
struct IAVIStream : quiva::RefCounted {
    ULONG AddRef() { return AddRefImpl(); }
    ULONG Release() { return ReleaseImpl(); }
    virtual HRESULT SetFormat(LONG position, const void* format, LONG bytes) = 0;
    virtual HRESULT Write(LONG start, LONG samples, const void* data, LONG bytes, DWORD flags, LONG* samplesWritten, LONG* bytesWritten) = 0;
    virtual HRESULT Info(AVISTREAMINFOW* info) = 0;
    virtual HRESULT ReadFormat(LONG, void*, LONG*) { return AVIERR_UNSUPPORTED; }
    virtual HRESULT Read(LONG, LONG, void*, LONG, LONG*, LONG*) { return AVIERR_UNSUPPORTED; }
    virtual LONG Length() { return 0; }
};

struct IAVIFile : quiva::RefCounted {
    ULONG AddRef() { return AddRefImpl(); }
    ULONG Release() { return ReleaseImpl(); }
    virtual HRESULT CreateStream(PAVISTREAM* stream, const AVISTREAMINFOW* info) = 0;
    virtual HRESULT GetStream(PAVISTREAM* stream, DWORD fccType, LONG param) = 0;
};

namespace quiva::media {

namespace {

std::atomic<uint64_t> g_sizeLimit{1ull << 30};
std::atomic<int> g_initCount{0};

constexpr DWORD FourCC(const char (&s)[5]) { return QuivaFourCC(s[0], s[1], s[2], s[3]); }

// --- the record of the frames written ------------------------------------------------------
// Beside a recording open for writing lies "<file>.frames", the record of its frames: a header,
// then one entry a frame (the chunk's offset in the file, its length and a check), each appended
// only once the frame's bytes were all written. A crash leaves a record naming whole frames
// only, and the mending of a cut recording goes by it alone. It goes once the file is closed
// whole. The record is created before the file, so a recording file never lies without it
// until its close.

constexpr char kRecordMagic[8] = {'Q', 'V', 'A', 'V', 'I', 'R', 'E', 'C'};
constexpr size_t kRecordHeaderBytes = 16;
constexpr size_t kRecordEntryBytes = 16;

std::string RecordPathOf(const std::string& native) { return native + ".frames"; }

uint32_t RecordCheck(uint64_t offset, uint32_t length)
{
    // Never 0 for an entry of zeros, so a stretch of zeros names no frame.
    return static_cast<uint32_t>(offset) ^ static_cast<uint32_t>(offset >> 32) ^ length ^ 0x5156524Du;
}

// Creates the record for a recording at `native`: its descriptor, or -1.
int CreateFrameRecord(const std::string& native)
{
    const int fd = ::open(RecordPathOf(native).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return -1;
    std::string header(kRecordMagic, sizeof(kRecordMagic));
    AppendLE32(header, 1);  // its version
    AppendLE32(header, static_cast<uint32_t>(kRecordEntryBytes));
    if (!WriteFullyAt(fd, 0, header.data(), header.size())) {
        ::close(fd);
        ::unlink(RecordPathOf(native).c_str());
        return -1;
    }
    return fd;
}

struct RecordedFrame {
    uint64_t offset;  // of the chunk's id
    uint32_t length;  // of its data
};

// The frames the record beside `native` names, in the order written; false when there is no
// record of this writer's.
bool ReadFrameRecord(const std::string& native, std::vector<RecordedFrame>* frames)
{
    const int fd = ::open(RecordPathOf(native).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t header[kRecordHeaderBytes];
    const bool ours = ReadFullyAt(fd, 0, header, sizeof(header)) && std::memcmp(header, kRecordMagic, 8) == 0 &&
                      LoadLE32(header + 8) == 1 && LoadLE32(header + 12) == kRecordEntryBytes;
    uint8_t e[kRecordEntryBytes];
    for (uint64_t at = kRecordHeaderBytes; ours && ReadFullyAt(fd, at, e, sizeof(e)); at += sizeof(e)) {
        const uint64_t offset = LoadLE32(e) | static_cast<uint64_t>(LoadLE32(e + 4)) << 32;
        const uint32_t length = LoadLE32(e + 8);
        if (LoadLE32(e + 12) != RecordCheck(offset, length))
            break;  // the end of what was written
        frames->push_back({offset, length});
    }
    ::close(fd);
    return ours;
}

// --- writing --------------------------------------------------------------------------------
// Layout: RIFF 'AVI ' { LIST 'hdrl' { avih, LIST 'strl' { strh, strf } }, LIST 'movi' { 00dc... },
// idx1 }. Headers go out with the first frame; the counts and sizes are filled in when the file
// is closed.

class AviWriterFile final : public IAVIFile {
public:
    AviWriterFile(int fd, int recordFd, std::string recordPath)
        : m_fd(fd), m_recordFd(recordFd), m_recordPath(std::move(recordPath))
    {
    }
    ~AviWriterFile() override { Finish(); }

    HRESULT CreateStream(PAVISTREAM* stream, const AVISTREAMINFOW* info) override;
    HRESULT GetStream(PAVISTREAM*, DWORD, LONG) override { return AVIERR_NODATA; }

    HRESULT SetFormat(const void* format, LONG bytes)
    {
        std::lock_guard lock(m_lock);
        if (bytes < static_cast<LONG>(sizeof(BITMAPINFOHEADER)) || !format)
            return AVIERR_BADFORMAT;
        if (m_headerWritten)
            return AVIERR_UNSUPPORTED;  // the format cannot change once frames are written
        BITMAPINFOHEADER h;
        std::memcpy(&h, format, sizeof(h));
        if (!ImageSizeOk(h.biWidth, DibRows(h.biHeight)))
            return AVIERR_BADFORMAT;
        m_format.assign(static_cast<const char*>(format), static_cast<size_t>(bytes));
        m_width = h.biWidth;
        m_height = static_cast<LONG>(DibRows(h.biHeight));
        m_chunkId = h.biCompression == BI_RGB ? FourCC("00db") : FourCC("00dc");
        return AVIERR_OK;
    }

    HRESULT WriteFrame(LONG start, const void* data, LONG bytes, DWORD flags)
    {
        std::lock_guard lock(m_lock);
        if (m_format.empty())
            return AVIERR_BADFORMAT;
        if (bytes < 0 || (bytes > 0 && !data))
            return AVIERR_BADPARAM;
        if (start != -1 && start != static_cast<LONG>(m_index.size()))
            return AVIERR_BADPARAM;  // frames are written in order
        if (m_failed)
            return AVIERR_FILEWRITE;
        if (!m_headerWritten && !WriteHeaders())
            return AVIERR_FILEWRITE;
        const uint64_t chunkSize = 8 + static_cast<uint64_t>(bytes) + (bytes & 1);
        // Room for this chunk, its index entry and the index header.
        if (m_end + chunkSize + 16 * (m_index.size() + 1) + 8 > g_sizeLimit.load())
            return AVIERR_FILEWRITE;
        std::string chunk;
        AppendLE32(chunk, m_chunkId);
        AppendLE32(chunk, static_cast<uint32_t>(bytes));
        chunk.append(static_cast<const char*>(data), static_cast<size_t>(bytes));
        if (bytes & 1)
            chunk += '\0';
        // The disk's room for the chunk and the index after it is taken first: a disk that fills
        // leaves the file whole up to its last frame, with room for Finish to close it.
        if (!ReserveRoom(chunk.size() + 16 * (m_index.size() + 1) + 8)) {
            SetLastErrorFromErrno();
            return AVIERR_FILEWRITE;
        }
        if (!WriteFullyAt(m_fd, m_end, chunk.data(), chunk.size())) {
            SetLastErrorFromErrno();
            // What went out of the cut chunk is given back, so Finish closes the frames before it.
            if (::ftruncate(m_fd, static_cast<off_t>(m_end)) != 0)
                m_failed = true;
            return AVIERR_FILEWRITE;
        }
        m_index.push_back({m_chunkId, static_cast<uint32_t>(flags & AVIIF_KEYFRAME), static_cast<uint32_t>(m_end - m_moviFourcc), static_cast<uint32_t>(bytes)});
        RecordFrame(m_end, static_cast<uint32_t>(bytes));
        m_end += chunk.size();
        m_maxChunk = std::max<uint32_t>(m_maxChunk, static_cast<uint32_t>(bytes));
        return AVIERR_OK;
    }

    LONG Frames()
    {
        std::lock_guard lock(m_lock);
        return static_cast<LONG>(m_index.size());
    }

    AVISTREAMINFOW StreamInfo()
    {
        std::lock_guard lock(m_lock);
        AVISTREAMINFOW i = m_info;
        i.dwLength = static_cast<DWORD>(m_index.size());
        return i;
    }

    void SetInfo(const AVISTREAMINFOW& info) { m_info = info; }

private:
    struct IndexEntry {
        uint32_t id, flags, offset, size;
    };

    std::string Headers()
    {
        const uint32_t scale = m_info.dwScale ? m_info.dwScale : 1;
        const uint32_t rate = m_info.dwRate ? m_info.dwRate : 1;
        const uint32_t frames = static_cast<uint32_t>(m_index.size());
        const uint32_t suggested = std::max(m_maxChunk, m_info.dwSuggestedBufferSize);
        std::string strf = m_format;
        if (strf.size() & 1)
            strf += '\0';
        std::string strl;
        strl += "strh";
        AppendLE32(strl, 56);
        AppendLE32(strl, streamtypeVIDEO);
        AppendLE32(strl, m_handler);
        AppendLE32(strl, m_info.dwFlags);
        AppendLE16(strl, m_info.wPriority);
        AppendLE16(strl, m_info.wLanguage);
        AppendLE32(strl, 0);  // initial frames
        AppendLE32(strl, scale);
        AppendLE32(strl, rate);
        AppendLE32(strl, m_info.dwStart);
        AppendLE32(strl, frames);
        AppendLE32(strl, suggested);
        AppendLE32(strl, m_info.dwQuality);
        AppendLE32(strl, 0);  // sample size: frames vary
        auto clamp16 = [](LONG v) { return static_cast<uint16_t>(static_cast<int16_t>(std::clamp<LONG>(v, -32768, 32767))); };
        AppendLE16(strl, clamp16(m_info.rcFrame.left));
        AppendLE16(strl, clamp16(m_info.rcFrame.top));
        AppendLE16(strl, clamp16(m_info.rcFrame.right));
        AppendLE16(strl, clamp16(m_info.rcFrame.bottom));
        strl += "strf";
        AppendLE32(strl, static_cast<uint32_t>(m_format.size()));
        strl += strf;

        std::string hdrl;
        hdrl += "avih";
        AppendLE32(hdrl, 56);
        const uint32_t usPerFrame = static_cast<uint32_t>(1000000ull * scale / rate);
        AppendLE32(hdrl, usPerFrame);
        AppendLE32(hdrl, static_cast<uint32_t>(static_cast<uint64_t>(suggested) * rate / scale));
        AppendLE32(hdrl, 0);
        AppendLE32(hdrl, AVIF_HASINDEX);
        AppendLE32(hdrl, frames);
        AppendLE32(hdrl, 0);
        AppendLE32(hdrl, 1);
        AppendLE32(hdrl, suggested);
        AppendLE32(hdrl, static_cast<uint32_t>(m_width));
        AppendLE32(hdrl, static_cast<uint32_t>(m_height));
        for (int i = 0; i < 4; ++i)
            AppendLE32(hdrl, 0);
        hdrl += "LIST";
        AppendLE32(hdrl, static_cast<uint32_t>(4 + strl.size()));
        hdrl += "strl";
        hdrl += strl;

        std::string out = "RIFF";
        AppendLE32(out, 0);  // patched on close
        out += "AVI LIST";
        AppendLE32(out, static_cast<uint32_t>(4 + hdrl.size()));
        out += "hdrl";
        out += hdrl;
        out += "LIST";
        AppendLE32(out, 0);  // patched on close
        out += "movi";
        return out;
    }

    // Appends the frame just written whole to the record, in write order and without a flush:
    // what a killed process wrote reaches the file. Once an entry fails, none follows it.
    void RecordFrame(uint64_t offset, uint32_t length)
    {
        if (m_recordFd < 0)
            return;
        std::string entry;
        AppendLE32(entry, static_cast<uint32_t>(offset));
        AppendLE32(entry, static_cast<uint32_t>(offset >> 32));
        AppendLE32(entry, length);
        AppendLE32(entry, RecordCheck(offset, length));
        const uint64_t at = kRecordHeaderBytes + kRecordEntryBytes * (m_index.size() - 1);
        if (!WriteFullyAt(m_recordFd, at, entry.data(), entry.size())) {
            ::close(m_recordFd);
            m_recordFd = -1;
        }
    }

    // Allocates `bytes` from the end of the frames on, the file's size unchanged; false (errno
    // set) only when the disk has no room. A file system that allocates nothing ahead is left to
    // the writes.
    bool ReserveRoom(uint64_t bytes)
    {
        if (::fallocate(m_fd, FALLOC_FL_KEEP_SIZE, static_cast<off_t>(m_end), static_cast<off_t>(bytes)) == 0)
            return true;
        return errno != ENOSPC && errno != EDQUOT;
    }

    bool WriteHeaders()
    {
        std::string h = Headers();
        if (!WriteFullyAt(m_fd, 0, h.data(), h.size())) {
            m_failed = true;
            return false;
        }
        m_headerWritten = true;
        m_moviFourcc = h.size() - 4;
        m_end = h.size();
        return true;
    }

    void Finish()
    {
        if (m_fd < 0)
            return;
        if (!m_format.empty() && !m_failed && (m_headerWritten || WriteHeaders())) {
            std::string idx = "idx1";
            AppendLE32(idx, static_cast<uint32_t>(m_index.size() * 16));
            for (const IndexEntry& e : m_index) {
                AppendLE32(idx, e.id);
                AppendLE32(idx, e.flags);
                AppendLE32(idx, e.offset);
                AppendLE32(idx, e.size);
            }
            const uint64_t moviEnd = m_end;
            bool ok = WriteFullyAt(m_fd, m_end, idx.data(), idx.size());
            m_end += idx.size();
            // Headers again, now with the counts, and the movie list's size; all of it on the
            // disk before the file's own size, which marks it closed, goes last: a file cut
            // before that mark is mended at the next load, never taken as closed half done.
            std::string h = Headers();
            ok = ok && WriteFullyAt(m_fd, 0, h.data(), h.size());
            std::string sizes(4, '\0');
            StoreLE32(sizes.data() + 0, static_cast<uint32_t>(moviEnd - m_moviFourcc));
            ok = ok && WriteFullyAt(m_fd, m_moviFourcc - 4, sizes.data(), 4) && ::fdatasync(m_fd) == 0;
            StoreLE32(sizes.data() + 0, static_cast<uint32_t>(m_end - 8));
            ok = ok && WriteFullyAt(m_fd, 4, sizes.data(), 4);
            // Closed whole: the record of its frames has done its work. A file left cut keeps it
            // for its mending.
            if (ok && ::fdatasync(m_fd) == 0)
                ::unlink(m_recordPath.c_str());
        }
        ::close(m_fd);
        m_fd = -1;
        if (m_recordFd >= 0)
            ::close(m_recordFd);
        m_recordFd = -1;
    }

    friend class AviWriterStream;
    int m_fd;
    int m_recordFd;
    std::string m_recordPath;
    std::mutex m_lock;
    AVISTREAMINFOW m_info{};
    DWORD m_handler = 0;
    std::string m_format;
    LONG m_width = 0, m_height = 0;
    DWORD m_chunkId = FourCC("00db");
    bool m_headerWritten = false;
    bool m_failed = false;
    bool m_hasStream = false;
    uint64_t m_moviFourcc = 0;
    uint64_t m_end = 0;
    uint32_t m_maxChunk = 0;
    std::vector<IndexEntry> m_index;
};

class AviWriterStream final : public IAVIStream {
public:
    explicit AviWriterStream(AviWriterFile* file) : m_file(file) { m_file->AddRef(); }
    ~AviWriterStream() override { m_file->Release(); }
    HRESULT SetFormat(LONG position, const void* format, LONG bytes) override
    {
        if (position != 0)
            return AVIERR_UNSUPPORTED;
        return m_file->SetFormat(format, bytes);
    }
    HRESULT Write(LONG start, LONG samples, const void* data, LONG bytes, DWORD flags, LONG* samplesWritten, LONG* bytesWritten) override
    {
        if (samples != 1)
            return AVIERR_BADPARAM;
        HRESULT hr = m_file->WriteFrame(start, data, bytes, flags);
        if (samplesWritten)
            *samplesWritten = hr == AVIERR_OK ? 1 : 0;
        if (bytesWritten)
            *bytesWritten = hr == AVIERR_OK ? bytes : 0;
        return hr;
    }
    HRESULT Info(AVISTREAMINFOW* info) override
    {
        *info = m_file->StreamInfo();
        return AVIERR_OK;
    }
    LONG Length() override { return m_file->Frames(); }
    void SetHandler(DWORD handler) { m_file->m_handler = handler; }

private:
    AviWriterFile* m_file;
};

HRESULT AviWriterFile::CreateStream(PAVISTREAM* stream, const AVISTREAMINFOW* info)
{
    std::lock_guard lock(m_lock);
    if (m_hasStream)
        return AVIERR_UNSUPPORTED;  // one video stream a file
    if (info->fccType != streamtypeVIDEO)
        return AVIERR_UNSUPPORTED;
    m_info = *info;
    m_handler = info->fccHandler;
    m_hasStream = true;
    *stream = new AviWriterStream(this);
    return AVIERR_OK;
}

// The compressing stream: takes 16-, 24- or 32-bit frames and writes Video 1 (or the frames
// as they are for the pass-through handlers) to the stream beneath.
class CompressedStream final : public IAVIStream {
public:
    CompressedStream(AviWriterStream* base, DWORD handler, DWORD quality) : m_base(base), m_handler(handler), m_quality(quality)
    {
        m_base->AddRef();
        if (m_handler == FourCC("MSVC"))
            m_base->SetHandler(FourCC("MSVC"));
        else
            m_base->SetHandler(FourCC("DIB "));
    }
    ~CompressedStream() override { m_base->Release(); }

    HRESULT SetFormat(LONG position, const void* format, LONG bytes) override
    {
        if (position != 0)
            return AVIERR_UNSUPPORTED;
        if (!format || bytes < static_cast<LONG>(sizeof(BITMAPINFOHEADER)))
            return AVIERR_BADFORMAT;
        BITMAPINFOHEADER in;
        std::memcpy(&in, format, sizeof(in));
        if (in.biCompression != BI_RGB || (in.biBitCount != 16 && in.biBitCount != 24 && in.biBitCount != 32) || in.biWidth <= 0 ||
            in.biHeight == 0 || in.biWidth > 16384 || in.biHeight > 16384 || in.biHeight < -16384)
            return AVIERR_BADFORMAT;
        m_in = in;
        m_coded.clear();
        if (!Compressing())
            return m_base->SetFormat(0, format, bytes);
        BITMAPINFOHEADER out{};
        out.biSize = sizeof(out);
        out.biWidth = in.biWidth;
        out.biHeight = in.biHeight < 0 ? -in.biHeight : in.biHeight;
        out.biPlanes = 1;
        out.biBitCount = 16;
        out.biCompression = FourCC("MSVC");
        out.biSizeImage = static_cast<DWORD>(out.biWidth) * static_cast<DWORD>(out.biHeight) * 2;
        return m_base->SetFormat(0, &out, sizeof(out));
    }

    HRESULT Write(LONG start, LONG samples, const void* data, LONG bytes, DWORD flags, LONG* samplesWritten, LONG* bytesWritten) override
    {
        if (!m_in.biSize)
            return AVIERR_BADFORMAT;
        if (!Compressing())
            return m_base->Write(start, samples, data, bytes, flags | AVIIF_KEYFRAME, samplesWritten, bytesWritten);
        if (samples != 1)
            return AVIERR_BADPARAM;
        const int w = m_in.biWidth;
        const int h = m_in.biHeight < 0 ? -m_in.biHeight : m_in.biHeight;
        const size_t stride = DibRowBytes(w, m_in.biBitCount);
        if (!data || bytes < 0 || static_cast<size_t>(bytes) < stride * static_cast<size_t>(h))
            return AVIERR_BADSIZE;
        // A recording that fell behind the clock fills its slots with the same picture: it is
        // coded once, or a machine too slow to code one frame a slot would fall further behind
        // with every tick.
        const auto* in = static_cast<const uint8_t*>(data);
        const size_t inBytes = stride * static_cast<size_t>(h);
        if (!m_buffer.empty() && m_coded.size() == inBytes && std::memcmp(m_coded.data(), in, inBytes) == 0)
            return m_base->Write(start, 1, m_buffer.data(), static_cast<LONG>(m_buffer.size()), AVIIF_KEYFRAME, samplesWritten, bytesWritten);
        m_coded.clear();
        Frame f;
        f.width = w;
        f.height = h;
        f.subtype = m_in.biBitCount == 32 ? MEDIASUBTYPE_RGB32 : m_in.biBitCount == 24 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_RGB555;
        auto raw = std::make_shared<std::vector<uint8_t>>(in, in + inBytes);
        if (m_in.biHeight < 0) {  // top-down rows: turn them over
            std::vector<uint8_t> row(stride);
            for (int y = 0; y < h / 2; ++y) {
                uint8_t* a = raw->data() + stride * static_cast<size_t>(y);
                uint8_t* b = raw->data() + stride * static_cast<size_t>(h - 1 - y);
                std::memcpy(row.data(), a, stride);
                std::memcpy(a, b, stride);
                std::memcpy(b, row.data(), stride);
            }
        }
        f.data = raw;
        std::vector<uint8_t> rgb32;
        if (!ConvertToRgb32(f, &rgb32))
            return AVIERR_BADFORMAT;
        EncodeMsVideo1(rgb32.data(), w, h, static_cast<int>(m_quality), &m_buffer);
        m_coded.assign(in, in + inBytes);
        // Every frame is intra coded, so every frame is a key frame.
        return m_base->Write(start, 1, m_buffer.data(), static_cast<LONG>(m_buffer.size()), AVIIF_KEYFRAME, samplesWritten, bytesWritten);
    }

    HRESULT Info(AVISTREAMINFOW* info) override { return m_base->Info(info); }
    LONG Length() override { return m_base->Length(); }

private:
    bool Compressing() const { return m_handler == FourCC("MSVC"); }
    AviWriterStream* m_base;
    DWORD m_handler;
    DWORD m_quality;
    BITMAPINFOHEADER m_in{};
    std::vector<uint8_t> m_buffer;  // the last frame as coded
    std::vector<uint8_t> m_coded;   // the frame it was coded from, as given
};

// --- reading --------------------------------------------------------------------------------

class AviReaderStream final : public IAVIStream {
public:
    AviReaderStream(std::shared_ptr<AviFileReader> reader, size_t index) : m_reader(std::move(reader)), m_index(index) {}
    const AviStreamData& Data() const { return m_reader->Streams()[m_index]; }
    HRESULT SetFormat(LONG, const void*, LONG) override { return AVIERR_READONLY; }
    HRESULT Write(LONG, LONG, const void*, LONG, DWORD, LONG*, LONG*) override { return AVIERR_READONLY; }
    HRESULT Info(AVISTREAMINFOW* info) override
    {
        *info = Data().info;
        return AVIERR_OK;
    }
    HRESULT ReadFormat(LONG, void* format, LONG* bytes) override
    {
        if (!bytes)
            return AVIERR_BADPARAM;
        const std::string& f = Data().format;
        if (!format) {
            *bytes = static_cast<LONG>(f.size());
            return AVIERR_OK;
        }
        const size_t n = std::min<size_t>(f.size(), static_cast<size_t>(std::max<LONG>(*bytes, 0)));
        std::memcpy(format, f.data(), n);
        *bytes = static_cast<LONG>(f.size());
        return n < f.size() ? AVIERR_BUFFERTOOSMALL : AVIERR_OK;
    }
    HRESULT Read(LONG start, LONG samples, void* buffer, LONG bufferBytes, LONG* bytes, LONG* samplesRead) override
    {
        const auto& chunks = Data().chunks;
        if (start < 0 || static_cast<size_t>(start) >= chunks.size() || samples < 1)
            return AVIERR_NODATA;
        // Chunks are at most kMaxAviChunkBytes, so the size fits; the copy never passes the
        // caller's buffer.
        const AviChunk& c = chunks[static_cast<size_t>(start)];
        if (bytes)
            *bytes = static_cast<LONG>(c.size);
        if (samplesRead)
            *samplesRead = 1;
        if (!buffer)
            return AVIERR_OK;
        if (bufferBytes < 0 || static_cast<uint64_t>(bufferBytes) < c.size)
            return AVIERR_BUFFERTOOSMALL;
        std::string data;
        if (!m_reader->ReadChunk(c, &data) || data.size() > static_cast<size_t>(bufferBytes))
            return AVIERR_FILEREAD;
        std::memcpy(buffer, data.data(), data.size());
        return AVIERR_OK;
    }
    LONG Length() override { return static_cast<LONG>(Data().chunks.size()); }

private:
    std::shared_ptr<AviFileReader> m_reader;
    size_t m_index;
};

class AviReaderFile final : public IAVIFile {
public:
    explicit AviReaderFile(std::shared_ptr<AviFileReader> reader) : m_reader(std::move(reader)) {}
    HRESULT CreateStream(PAVISTREAM*, const AVISTREAMINFOW*) override { return AVIERR_READONLY; }
    HRESULT GetStream(PAVISTREAM* stream, DWORD fccType, LONG param) override
    {
        LONG n = 0;
        const auto& streams = m_reader->Streams();
        for (size_t i = 0; i < streams.size(); ++i) {
            if (fccType && streams[i].info.fccType != fccType)
                continue;
            if (n++ == param) {
                *stream = new AviReaderStream(m_reader, i);
                return AVIERR_OK;
            }
        }
        return AVIERR_NODATA;
    }

private:
    std::shared_ptr<AviFileReader> m_reader;
};

}  // namespace

void SetAviSizeLimit(uint64_t bytes) { g_sizeLimit.store(bytes); }

// --- a recording cut short -------------------------------------------------------------------

namespace {

// Where the mending writes in a cut recording's headers, as its writer laid them out.
struct CutAviLayout {
    uint64_t avih = 0, strh = 0, movi = 0;  // the chunks' data; the movie list's type
    DWORD chunkId = 0;                      // its frames' id
};

bool Read32At(int fd, uint64_t size, uint64_t at, uint32_t* v)
{
    uint8_t b[4];
    if (at + 4 > size || !ReadFullyAt(fd, at, b, 4))
        return false;
    *v = LoadLE32(b);
    return true;
}

bool Write32At(int fd, uint64_t at, uint32_t v)
{
    uint8_t b[4];
    StoreLE32(b, v);
    return WriteFullyAt(fd, at, b, 4);
}

// Reads the headers of the recording open on `fd`, `size` bytes long: false unless they are the
// writer's own, one video stream of its codec. The headers go out whole with the first frame:
// the main header, the one stream's list, then the movie list, whose size is still 0.
bool ReadCutAviLayout(int fd, uint64_t size, CutAviLayout* layout)
{
    auto read32 = [&](uint64_t at, uint32_t* v) { return Read32At(fd, size, at, v); };
    uint64_t avih = 0, strh = 0, strf = 0, movi = 0;
    int streams = 0;
    for (uint64_t pos = 12; pos + 12 <= size && !movi;) {
        uint32_t id = 0, len = 0, type = 0;
        read32(pos, &id);
        read32(pos + 4, &len);
        read32(pos + 8, &type);
        if (id == FourCC("LIST") && type == FourCC("movi")) {
            movi = pos + 8;
        } else if (id == FourCC("LIST") && type == FourCC("hdrl")) {
            const uint64_t end = std::min<uint64_t>(pos + 8 + len, size);
            for (uint64_t p = pos + 12; p + 8 <= end;) {
                uint32_t cid = 0, clen = 0, ctype = 0, sid = 0, slen = 0, fid = 0, flen = 0;
                read32(p, &cid);
                read32(p + 4, &clen);
                if (cid == FourCC("avih") && clen >= 56) {
                    avih = p + 8;
                } else if (cid == FourCC("LIST") && read32(p + 8, &ctype) && ctype == FourCC("strl")) {
                    ++streams;
                    if (read32(p + 12, &sid) && read32(p + 16, &slen) && sid == FourCC("strh") && slen == 56 &&
                        read32(p + 76, &fid) && read32(p + 80, &flen) && fid == FourCC("strf") &&
                        flen >= sizeof(BITMAPINFOHEADER)) {
                        strh = p + 20;
                        strf = p + 84;
                    }
                }
                p += 8 + static_cast<uint64_t>(clen) + (clen & 1);
            }
        }
        pos += 8 + static_cast<uint64_t>(len) + (len & 1);
    }
    uint32_t type = 0, handler = 0, compression = 0;
    if (!avih || !strh || !movi || streams != 1 || !read32(strh, &type) || !read32(strh + 4, &handler) ||
        !read32(strf + 16, &compression) || type != streamtypeVIDEO)
        return false;
    if (handler == FourCC("MSVC") && compression == FourCC("MSVC"))
        layout->chunkId = FourCC("00dc");
    else if (handler == FourCC("DIB ") && compression == BI_RGB)
        layout->chunkId = FourCC("00db");
    else
        return false;
    layout->avih = avih;
    layout->strh = strh;
    layout->movi = movi;
    return true;
}

// Whether the frames a record names are this file's: one after another from the start of the
// movie data, each a chunk of the stream's id and of its recorded length, whole in the file.
// `end` receives where the last one ends.
bool RecordedFramesLieInFile(int fd, uint64_t size, const CutAviLayout& layout, const std::vector<RecordedFrame>& frames,
                             uint64_t* end)
{
    uint64_t at = layout.movi + 4;
    for (const RecordedFrame& f : frames) {
        uint32_t id = 0, len = 0;
        const uint64_t next = at + 8 + static_cast<uint64_t>(f.length) + (f.length & 1);
        if (f.offset != at || f.length > kMaxAviChunkBytes || next > size || !Read32At(fd, size, at, &id) ||
            !Read32At(fd, size, at + 4, &len) || id != layout.chunkId || len != f.length)
            return false;
        at = next;
    }
    *end = at;
    return true;
}

}  // namespace

namespace {

// The index of the frames a record names, as an 'idx1' chunk: each a key frame of the stream's
// id, its offset from the movie list's type.
std::string IndexOfRecordedFrames(const CutAviLayout& layout, const std::vector<RecordedFrame>& frames)
{
    std::string index = "idx1";
    AppendLE32(index, static_cast<uint32_t>(frames.size() * 16));
    for (const RecordedFrame& f : frames) {
        AppendLE32(index, layout.chunkId);
        AppendLE32(index, AVIIF_KEYFRAME);  // the recorder makes every frame a key frame
        AppendLE32(index, static_cast<uint32_t>(f.offset - layout.movi));
        AppendLE32(index, f.length);
    }
    return index;
}

// Closes a cut recording after the last frame its record names, which ends at `end`: what
// follows is the recorder's own (a frame not yet named, torn or whole, the index of a close
// that never finished) and is cut off. The index, the counts and the movie list's size go on
// the disk first; the file's own size, which marks it closed, last.
bool CloseCutAvi(int fd, uint64_t size, const CutAviLayout& layout, const std::vector<RecordedFrame>& frames, uint64_t end)
{
    const std::string index = IndexOfRecordedFrames(layout, frames);
    const uint32_t count = static_cast<uint32_t>(frames.size());
    uint32_t flags = 0;
    Read32At(fd, size, layout.avih + 12, &flags);
    return ::ftruncate(fd, static_cast<off_t>(end)) == 0 && WriteFullyAt(fd, end, index.data(), index.size()) &&
           Write32At(fd, layout.movi - 4, static_cast<uint32_t>(end - layout.movi)) &&
           Write32At(fd, layout.avih + 12, flags | AVIF_HASINDEX) && Write32At(fd, layout.avih + 16, count) &&
           Write32At(fd, layout.strh + 32, count) && ::fdatasync(fd) == 0 &&
           Write32At(fd, 4, static_cast<uint32_t>(end + index.size() - 8)) && ::fdatasync(fd) == 0;
}

// RepairCutAvi on the recording `native`, open for writing on `fd`, `size` bytes long.
AviRepair RepairOpenAvi(int fd, uint64_t size, const std::string& native)
{
    std::vector<RecordedFrame> frames;
    const bool recorded = ReadFrameRecord(native, &frames);
    const std::string record = RecordPathOf(native);
    uint32_t riff = 0, riffSize = 0, form = 0;
    const bool avi = Read32At(fd, size, 0, &riff) && Read32At(fd, size, 4, &riffSize) && Read32At(fd, size, 8, &form) &&
                     riff == FourCC("RIFF") && form == FourCC("AVI ");
    if (avi && riffSize != 0 && 8 + static_cast<uint64_t>(riffSize) <= size) {
        if (recorded)  // its close was cut just after its last write
            ::unlink(record.c_str());
        return AviRepair::Whole;  // closed by its writer
    }
    // Only what the recorder's record names is mended, and only as far as it names: a file
    // without it (another program's, or one recorded before the record was kept) is left exactly
    // as it is, whatever it holds.
    if (!recorded)
        return AviRepair::Refused;
    if (frames.empty())
        return AviRepair::NoFrame;  // cut before its first frame was whole
    CutAviLayout layout;
    uint64_t end = 0;
    if (!avi || !ReadCutAviLayout(fd, size, &layout) || !RecordedFramesLieInFile(fd, size, layout, frames, &end) ||
        !CloseCutAvi(fd, size, layout, frames, end))
        return AviRepair::Refused;
    // The record goes once the file is whole.
    ::unlink(record.c_str());
    return AviRepair::Mended;
}

}  // namespace

AviRepair RepairCutAvi(const wchar_t* path)
{
    auto native = NativePath(path);
    const int fd = native ? ::open(native->c_str(), O_RDWR | O_CLOEXEC) : -1;
    if (fd < 0)
        return AviRepair::Refused;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return AviRepair::Refused;
    return RepairOpenAvi(fd, static_cast<uint64_t>(st.st_size), *native);
}

bool RemoveRecording(const wchar_t* path)
{
    auto native = NativePath(path);
    if (!native || ::unlink(native->c_str()) != 0)
        return false;
    // The file first: a crash in between leaves a record of nothing, never a recording whose
    // record has gone.
    ::unlink(RecordPathOf(*native).c_str());
    return true;
}

// --- AviFileReader ---------------------------------------------------------------------------

AviFileReader::~AviFileReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::shared_ptr<AviFileReader> AviFileReader::Open(const std::wstring& windowsPath, HRESULT* hr)
{
    auto native = NativePath(windowsPath.c_str());
    int fd = native ? ::open(native->c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        *hr = AVIERR_FILEOPEN;
        return nullptr;
    }
    auto r = std::shared_ptr<AviFileReader>(new AviFileReader());
    r->m_fd = fd;
    struct stat st{};
    ::fstat(fd, &st);
    r->m_size = static_cast<uint64_t>(st.st_size);
    *hr = r->Parse();
    if (FAILED(*hr))
        return nullptr;
    return r;
}

bool AviFileReader::ReadChunk(const AviChunk& chunk, std::string* bytes)
{
    if (chunk.offset + chunk.size > m_size)
        return false;
    bytes->resize(chunk.size);
    std::lock_guard lock(m_lock);
    return ReadFullyAt(m_fd, chunk.offset, bytes->data(), chunk.size);
}

namespace {

// A stream header's fields, `avail` bytes of it (48 at least) at `at`.
void ReadStreamHeader(int fd, uint64_t at, uint64_t avail, AVISTREAMINFOW* info)
{
    uint8_t h[64] = {};
    ReadFullyAt(fd, at, h, static_cast<size_t>(std::min<uint64_t>(avail, 64)));
    auto u32 = [&](int off) { return LoadLE32(h + off); };
    auto i16 = [&](int off) { return static_cast<LONG>(static_cast<int16_t>(LoadLE16(h + off))); };
    info->fccType = u32(0);
    info->fccHandler = u32(4);
    info->dwFlags = u32(8);
    info->wPriority = LoadLE16(h + 12);
    info->wLanguage = LoadLE16(h + 14);
    info->dwInitialFrames = u32(16);
    info->dwScale = u32(20);
    info->dwRate = u32(24);
    info->dwStart = u32(28);
    info->dwLength = u32(32);
    info->dwSuggestedBufferSize = u32(36);
    info->dwQuality = u32(40);
    info->dwSampleSize = u32(44);
    if (avail >= 56)
        info->rcFrame = {i16(48), i16(50), i16(52), i16(54)};
}

// A stream's list ('strl') from `pos` to `end`: its header and format. False without a header.
bool ReadStreamList(int fd, uint64_t size, uint64_t pos, uint64_t end, AviStreamData* s)
{
    bool haveHeader = false;
    while (pos + 8 <= end) {
        uint32_t id = 0, chunkSize = 0;
        Read32At(fd, size, pos, &id);
        Read32At(fd, size, pos + 4, &chunkSize);
        const uint64_t dataEnd = std::min<uint64_t>(pos + 8 + chunkSize, end);
        const uint64_t avail = dataEnd - (pos + 8);
        if (id == FourCC("strh") && avail >= 48) {
            ReadStreamHeader(fd, pos + 8, avail, &s->info);
            haveHeader = true;
        } else if (id == FourCC("strf") && avail > 0 && avail < (1u << 20)) {
            s->format.resize(static_cast<size_t>(avail));
            ReadFullyAt(fd, pos + 8, s->format.data(), s->format.size());
        }
        pos = pos + 8 + chunkSize + (chunkSize & 1);
    }
    if (!haveHeader)
        return false;
    // A frame rectangle left empty by the writer: the picture's own size.
    if (s->info.fccType == streamtypeVIDEO && s->info.rcFrame.right == 0 && s->info.rcFrame.bottom == 0 &&
        s->format.size() >= sizeof(BITMAPINFOHEADER)) {
        BITMAPINFOHEADER b;
        std::memcpy(&b, s->format.data(), sizeof(b));
        if (ImageSizeOk(b.biWidth, DibRows(b.biHeight)))
            s->info.rcFrame = {0, 0, b.biWidth, static_cast<LONG>(DibRows(b.biHeight))};
    }
    return true;
}

// The header list ('hdrl') from `pos` to `end`: each stream list in it, in order.
void ReadHeaderList(int fd, uint64_t size, uint64_t pos, uint64_t end, std::vector<AviStreamData>* streams)
{
    while (pos + 8 <= end) {
        uint32_t cid = 0, csize = 0, ctype = 0;
        Read32At(fd, size, pos, &cid);
        Read32At(fd, size, pos + 4, &csize);
        const uint64_t cend = std::min<uint64_t>(pos + 8 + csize, end);
        AviStreamData s;
        if (cid == FourCC("LIST") && Read32At(fd, size, pos + 8, &ctype) && ctype == FourCC("strl") &&
            ReadStreamList(fd, size, pos + 12, cend, &s))
            streams->push_back(std::move(s));
        pos = pos + 8 + csize + (csize & 1);
    }
}

// What the file's top-level chunks hold.
struct AviTopLevel {
    std::vector<AviStreamData> streams;
    bool haveMovi = false;
    uint64_t moviFourcc = 0, moviEnd = 0;  // the movie list's type and its end
    std::string idx1;                      // the index's entries
};

// Walks the chunks of the RIFF form up to `riffEnd`: the header list's streams, the movie
// list's place and the index's entries.
void ReadTopLevel(int fd, uint64_t size, uint64_t riffEnd, AviTopLevel* top)
{
    uint64_t pos = 12;
    while (pos + 8 <= riffEnd) {
        uint32_t id = 0, chunkSize = 0;
        Read32At(fd, size, pos, &id);
        Read32At(fd, size, pos + 4, &chunkSize);
        uint64_t end = pos + 8 + static_cast<uint64_t>(chunkSize);
        if (end > riffEnd || (id == FourCC("LIST") && chunkSize == 0))
            end = riffEnd;
        if (id == FourCC("LIST") && end >= pos + 12) {
            uint32_t type = 0;
            Read32At(fd, size, pos + 8, &type);
            if (type == FourCC("hdrl")) {
                ReadHeaderList(fd, size, pos + 12, end, &top->streams);
            } else if (type == FourCC("movi")) {
                top->haveMovi = true;
                top->moviFourcc = pos + 8;
                top->moviEnd = end;
            }
        } else if (id == FourCC("idx1") && end > pos + 8) {
            top->idx1.resize(static_cast<size_t>(end - pos - 8));
            ReadFullyAt(fd, pos + 8, top->idx1.data(), top->idx1.size());
        }
        pos = end + (chunkSize & 1);
        if (pos <= 12)
            break;
    }
}

// The stream a chunk id ("00dc", "01wb", ...) names among `streams`; -1 for none.
int StreamOfChunk(uint32_t id, size_t streams)
{
    const char c0 = static_cast<char>(id & 0xFF), c1 = static_cast<char>((id >> 8) & 0xFF);
    if (c0 < '0' || c0 > '9' || c1 < '0' || c1 > '9')
        return -1;
    const int n = (c0 - '0') * 10 + (c1 - '0');
    return n < static_cast<int>(streams) ? n : -1;
}

// An index entry: chunk id, flags, offset, size.
void IndexEntry(const std::string& idx1, size_t i, uint32_t (&e)[4])
{
    for (size_t k = 0; k < 4; ++k)
        e[k] = LoadLE32(&idx1[i * 16 + k * 4]);
}

// What the index's offsets count from: the 'movi' tag, or the start of the file in some
// writers, as its first entry of a stream shows; -1 when that entry lies elsewhere.
int64_t IndexBase(int fd, uint64_t size, const AviTopLevel& top)
{
    auto chunkAt = [&](uint64_t at, uint32_t expectId, uint32_t expectSize) {
        uint32_t id = 0, chunkSize = 0;
        return Read32At(fd, size, at, &id) && Read32At(fd, size, at + 4, &chunkSize) && id == expectId &&
               chunkSize == expectSize;
    };
    const size_t entries = top.idx1.size() / 16;
    for (size_t i = 0; i < entries; ++i) {
        uint32_t e[4];
        IndexEntry(top.idx1, i, e);
        if (StreamOfChunk(e[0], top.streams.size()) < 0)
            continue;
        if (chunkAt(top.moviFourcc + e[2], e[0], e[3]))
            return static_cast<int64_t>(top.moviFourcc);
        if (chunkAt(e[2], e[0], e[3]))
            return 0;
        return -1;
    }
    return -1;
}

// The streams' chunks as the index lists them; false when the index does not fit the file.
bool ReadIndex(int fd, uint64_t size, AviTopLevel* top)
{
    const int64_t base = IndexBase(fd, size, *top);
    if (base < 0)
        return false;
    const size_t entries = top->idx1.size() / 16;
    for (size_t i = 0; i < entries; ++i) {
        uint32_t e[4];
        IndexEntry(top->idx1, i, e);
        const int s = StreamOfChunk(e[0], top->streams.size());
        const uint64_t data = static_cast<uint64_t>(base) + e[2] + 8;
        if (s < 0 || (e[1] & AVIIF_LIST) || data + e[3] > size || e[3] > kMaxAviChunkBytes)
            continue;
        top->streams[static_cast<size_t>(s)].chunks.push_back({data, e[3], e[1]});
    }
    return true;
}

// The streams' chunks found by walking the movie data, into 'rec ' lists, until it ends or
// breaks off.
void WalkMovieData(int fd, uint64_t size, AviTopLevel* top)
{
    uint64_t p = top->moviFourcc + 4;
    const uint64_t listEnd = top->moviEnd;
    while (p + 8 <= listEnd) {
        uint32_t id = 0, chunkSize = 0;
        Read32At(fd, size, p, &id);
        Read32At(fd, size, p + 4, &chunkSize);
        if (id == FourCC("LIST")) {
            p += 12;
            continue;
        }
        if (p + 8 + chunkSize > size)
            break;
        const int s = StreamOfChunk(id, top->streams.size());
        if (s >= 0 && chunkSize <= kMaxAviChunkBytes)
            top->streams[static_cast<size_t>(s)].chunks.push_back({p + 8, chunkSize, AVIIF_KEYFRAME});
        p += 8 + static_cast<uint64_t>(chunkSize) + (chunkSize & 1);
    }
}

}  // namespace

HRESULT AviFileReader::Parse()
{
    uint32_t riff = 0, riffSize = 0, form = 0;
    if (!Read32At(m_fd, m_size, 0, &riff) || !Read32At(m_fd, m_size, 4, &riffSize) || !Read32At(m_fd, m_size, 8, &form) ||
        riff != FourCC("RIFF") || form != FourCC("AVI "))
        return AVIERR_BADFORMAT;
    // A size of 0 or past the end (a recording that was never closed) runs to the end.
    uint64_t riffEnd = 8 + static_cast<uint64_t>(riffSize);
    if (riffSize == 0 || riffEnd > m_size)
        riffEnd = m_size;
    AviTopLevel top;
    ReadTopLevel(m_fd, m_size, riffEnd, &top);
    if (top.streams.empty())
        return AVIERR_BADFORMAT;
    const bool indexed = !top.idx1.empty() && top.haveMovi && ReadIndex(m_fd, m_size, &top);
    if (!indexed && top.haveMovi)
        WalkMovieData(m_fd, m_size, &top);
    for (AviStreamData& s : top.streams)
        s.info.dwLength = static_cast<DWORD>(s.chunks.size());
    m_streams = std::move(top.streams);
    return AVIERR_OK;
}

}  // namespace quiva::media

// --- the C functions -------------------------------------------------------------------------

using quiva::media::AviFileReader;

void AVIFileInit() { ++quiva::media::g_initCount; }
void AVIFileExit()
{
    if (quiva::media::g_initCount > 0)
        --quiva::media::g_initCount;
}

HRESULT AVIFileOpenW(PAVIFILE* file, LPCWSTR path, UINT mode, CLSID*)
{
    if (!file || !path)
        return AVIERR_BADPARAM;
    *file = nullptr;
    if (mode & (OF_WRITE | OF_READWRITE)) {
        auto native = quiva::NativePath(path);
        if (!native)
            return AVIERR_FILEOPEN;
        // The record first: a crash between the two leaves no recording without its record.
        const int record = quiva::media::CreateFrameRecord(*native);
        if (record < 0)
            return AVIERR_FILEOPEN;
        int flags = O_RDWR | O_CLOEXEC | ((mode & OF_CREATE) ? O_CREAT | O_TRUNC : 0);
        int fd = ::open(native->c_str(), flags, 0644);
        if (fd < 0) {
            ::close(record);
            ::unlink(quiva::media::RecordPathOf(*native).c_str());
            return AVIERR_FILEOPEN;
        }
        *file = new quiva::media::AviWriterFile(fd, record, quiva::media::RecordPathOf(*native));
        return AVIERR_OK;
    }
    HRESULT hr = AVIERR_OK;
    auto reader = AviFileReader::Open(path, &hr);
    if (!reader)
        return hr;
    *file = new quiva::media::AviReaderFile(reader);
    return AVIERR_OK;
}

ULONG AVIFileAddRef(PAVIFILE file) { return file ? file->AddRef() : 0; }
ULONG AVIFileRelease(PAVIFILE file) { return file ? file->Release() : 0; }

HRESULT AVIFileCreateStreamW(PAVIFILE file, PAVISTREAM* stream, AVISTREAMINFOW* info)
{
    if (!file || !stream || !info)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    return file->CreateStream(stream, info);
}

HRESULT AVIFileGetStream(PAVIFILE file, PAVISTREAM* stream, DWORD fccType, LONG param)
{
    if (!file || !stream)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    return file->GetStream(stream, fccType, param);
}

HRESULT AVIMakeCompressedStream(PAVISTREAM* compressed, PAVISTREAM source, AVICOMPRESSOPTIONS* options, CLSID*)
{
    if (!compressed || !source || !options)
        return AVIERR_BADPARAM;
    *compressed = nullptr;
    auto* base = dynamic_cast<quiva::media::AviWriterStream*>(source);
    if (!base)
        return AVIERR_READONLY;
    const DWORD handler = options->fccHandler;
    if (handler != mmioFOURCC('M', 'S', 'V', 'C') && handler != mmioFOURCC('m', 's', 'v', 'c') && handler != 0 &&
        handler != mmioFOURCC('D', 'I', 'B', ' '))
        return AVIERR_NOCOMPRESSOR;
    const DWORD normalised = (handler == mmioFOURCC('m', 's', 'v', 'c')) ? mmioFOURCC('M', 'S', 'V', 'C') : handler;
    *compressed = new quiva::media::CompressedStream(base, normalised, options->dwQuality ? options->dwQuality : 7500);
    return AVIERR_OK;
}

HRESULT AVIStreamSetFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG formatBytes)
{
    if (!stream)
        return AVIERR_BADHANDLE;
    return stream->SetFormat(position, format, formatBytes);
}

HRESULT AVIStreamWrite(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferBytes, DWORD flags,
                       LONG* samplesWritten, LONG* bytesWritten)
{
    if (!stream)
        return AVIERR_BADHANDLE;
    return stream->Write(start, samples, buffer, bufferBytes, flags, samplesWritten, bytesWritten);
}

ULONG AVIStreamAddRef(PAVISTREAM stream) { return stream ? stream->AddRef() : 0; }
ULONG AVIStreamRelease(PAVISTREAM stream) { return stream ? stream->Release() : 0; }

HRESULT AVIStreamOpenFromFileW(PAVISTREAM* stream, LPCWSTR path, DWORD fccType, LONG param, UINT, CLSID*)
{
    if (!stream || !path)
        return AVIERR_BADPARAM;
    *stream = nullptr;
    HRESULT hr = AVIERR_OK;
    auto reader = AviFileReader::Open(path, &hr);
    if (!reader)
        return hr;
    quiva::media::AviReaderFile file(reader);
    return file.GetStream(stream, fccType, param);
}

HRESULT AVIStreamInfoW(PAVISTREAM stream, AVISTREAMINFOW* info, LONG size)
{
    if (!stream || !info)
        return AVIERR_BADPARAM;
    AVISTREAMINFOW i{};
    HRESULT hr = stream->Info(&i);
    std::memcpy(info, &i, std::min<size_t>(sizeof(i), static_cast<size_t>(std::max<LONG>(size, 0))));
    return hr;
}

HRESULT AVIStreamReadFormat(PAVISTREAM stream, LONG position, LPVOID format, LONG* formatBytes)
{
    if (!stream)
        return AVIERR_BADHANDLE;
    return stream->ReadFormat(position, format, formatBytes);
}

HRESULT AVIStreamRead(PAVISTREAM stream, LONG start, LONG samples, LPVOID buffer, LONG bufferBytes, LONG* bytes, LONG* samplesRead)
{
    if (!stream)
        return AVIERR_BADHANDLE;
    return stream->Read(start, samples, buffer, bufferBytes, bytes, samplesRead);
}

LONG AVIStreamStart(PAVISTREAM stream)
{
    AVISTREAMINFOW i{};
    return stream && SUCCEEDED(stream->Info(&i)) ? static_cast<LONG>(i.dwStart) : -1;
}

LONG AVIStreamLength(PAVISTREAM stream) { return stream ? stream->Length() : -1; }
