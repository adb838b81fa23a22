// Feeds arbitrary bytes, as an AVI file, to the AVI source filter (its pins list their media
// types), to the decoders the graph puts behind it (Video 1, packed YUV, motion JPEG, RGB) over
// the first frames of every video stream, and to the file functions the thumbnail grabber
// reads frames with; checks that no frame passes the pixel limit or the caller's buffer.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/base/bitmap.h"
#include "platform/base/winpath.h"
#include "platform/media/AviReader.h"
#include "platform/media/AviSource.h"
#include "platform/media/MediaType.h"
#include "platform/media/MsVideo1.h"
#include "platform/media/vfw.h"

using namespace quiva::media;

namespace {

std::vector<MediaType> PinTypes(IPin* pin)
{
    std::vector<MediaType> types;
    IEnumMediaTypes* e = nullptr;
    if (FAILED(pin->EnumMediaTypes(&e)) || !e)
        return types;
    AM_MEDIA_TYPE* mt = nullptr;
    while (types.size() < 8 && e->Next(1, &mt, nullptr) == S_OK) {
        types.emplace_back(*mt);
        DeleteMediaType(mt);
    }
    e->Release();
    return types;
}

// The first frames of a stream through the decoder that takes its type.
void Decode(AviFileReader& reader, size_t stream, const MediaType& mt)
{
    if (!mt.IsVideo() || !mt.Bitmap())
        return;
    fuzz::Check(quiva::ImageSizeOk(mt.Width(), mt.Height()), "a listed video type is within the pixel limit");
    const AviStreamData& s = reader.Streams()[stream];
    std::vector<uint8_t> previous;
    for (size_t i = 0; i < s.chunks.size() && i < 3; ++i) {
        std::string bytes;
        if (!reader.ReadChunk(s.chunks[i], &bytes))
            continue;
        Frame f;
        f.data = std::make_shared<std::vector<uint8_t>>(bytes.begin(), bytes.end());
        f.width = mt.Width();
        f.height = mt.Height();
        f.subtype = mt.subtype;
        std::vector<uint8_t> rgb32;
        const bool ok = mt.subtype == MEDIASUBTYPE_MSVC ? DecodeMsVideo1(f.Bytes(), f.Size(), f.width, f.height, &rgb32, &previous)
                                                        : ConvertToRgb32(f, &rgb32);
        if (ok) {
            fuzz::Check(rgb32.size() == static_cast<size_t>(f.width) * static_cast<size_t>(f.height) * 4, "a decoded frame is whole");
            previous = rgb32;
        }
    }
}

void ThroughTheSource(const std::wstring& path)
{
    HRESULT hr = S_OK;
    IBaseFilter* source = CreateAviSourceFilter(path, &hr);
    if (!source)
        return;
    auto reader = AviFileReader::Open(path, &hr);
    IEnumPins* pins = nullptr;
    if (reader && SUCCEEDED(source->EnumPins(&pins)) && pins) {
        IPin* pin = nullptr;
        for (size_t stream = 0; pins->Next(1, &pin, nullptr) == S_OK; ++stream) {
            for (const MediaType& mt : PinTypes(pin))
                if (stream < reader->Streams().size())
                    Decode(*reader, stream, mt);
            pin->Release();
        }
        pins->Release();
    }
    source->Release();
}

// Frames as the thumbnail grabber reads them: the size first, then into a buffer of that size
// (or a smaller one), which is exactly allocated so a copy past it is caught.
void ThroughTheFileFunctions(const std::wstring& path)
{
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, path.c_str(), OF_READ, nullptr) != AVIERR_OK)
        return;
    PAVISTREAM stream = nullptr;
    if (AVIFileGetStream(file, &stream, streamtypeVIDEO, 0) == AVIERR_OK) {
        for (LONG i = 0; i < 3 && i < AVIStreamLength(stream); ++i) {
            LONG bytes = -1;
            if (AVIStreamRead(stream, i, 1, nullptr, 0, &bytes, nullptr) != AVIERR_OK)
                continue;
            fuzz::Check(bytes >= 0, "a frame's size is never negative");
            const LONG room = bytes > 4096 ? 4096 : bytes;
            void* buffer = std::malloc(room > 0 ? static_cast<size_t>(room) : 1);
            LONG got = -1;
            const HRESULT read = AVIStreamRead(stream, i, 1, buffer, room, &got, nullptr);
            fuzz::Check(got == bytes, "a read reports the frame's real size");
            fuzz::Check(room == bytes || read == AVIERR_BUFFERTOOSMALL, "a frame larger than the buffer is refused");
            std::free(buffer);
        }
        AVIStreamRelease(stream);
    }
    AVIFileRelease(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const std::wstring path = quiva::WindowsPath(fuzz::WriteScratch("in.avi", data, size)).str();
    ThroughTheSource(path);
    ThroughTheFileFunctions(path);
    return 0;
}
