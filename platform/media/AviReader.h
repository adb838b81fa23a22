// Reading AVI files: headers, streams and where each frame lies. Damaged files are read as far
// as they go: wrong RIFF and LIST sizes are clamped to the file, a missing or broken index is
// replaced by walking the movie data. A chunk too large to be a frame is passed over.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/media/vfw.h"

namespace quiva::media {

// The largest chunk read as a frame or sample: above any picture within the pixel limit even
// uncompressed, and within what a LONG size reports. Larger chunks are not taken for data.
constexpr uint32_t kMaxAviChunkBytes = 512u << 20;

struct AviChunk {
    uint64_t offset = 0;  // of the data, in the file
    uint32_t size = 0;
    uint32_t flags = 0;
};

struct AviStreamData {
    AVISTREAMINFOW info{};  // from the stream header; dwLength is the number of frames found
    std::string format;     // the stream format chunk (BITMAPINFOHEADER and palette for video)
    std::vector<AviChunk> chunks;
};

class AviFileReader {
public:
    ~AviFileReader();
    // Opens and indexes a file; null with the reason in *hr.
    static std::shared_ptr<AviFileReader> Open(const std::wstring& windowsPath, HRESULT* hr);
    const std::vector<AviStreamData>& Streams() const { return m_streams; }
    bool ReadChunk(const AviChunk& chunk, std::string* bytes);

private:
    HRESULT Parse();
    int m_fd = -1;
    uint64_t m_size = 0;
    std::mutex m_lock;
    std::vector<AviStreamData> m_streams;
};

}  // namespace quiva::media
