// Writes the seed corpus of the AVI harness: short recordings made by the system's AVI writer,
// uncompressed, in Video 1, and with packed YUV and motion-JPEG frames as devices deliver them.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/base/winpath.h"
#include "platform/media/MediaType.h"
#include "platform/media/vfw.h"

using namespace quiva::media;

namespace {

constexpr int kWidth = 16, kHeight = 8;

// Three frames of `subtype` (made from RGB32 by the layer's own converter), through the
// Video 1 compressor when `compress` is set.
bool Record(const std::string& path, REFGUID subtype, bool compress)
{
    PAVIFILE file = nullptr;
    if (AVIFileOpenW(&file, quiva::WindowsPath(path), OF_WRITE | OF_CREATE, nullptr) != AVIERR_OK)
        return false;
    AVISTREAMINFOW info{};
    info.fccType = streamtypeVIDEO;
    info.dwScale = 1;
    info.dwRate = 13;
    PAVISTREAM stream = nullptr, compressed = nullptr;
    bool ok = AVIFileCreateStreamW(file, &stream, &info) == AVIERR_OK;
    if (ok && compress) {
        AVICOMPRESSOPTIONS options{};
        options.fccType = streamtypeVIDEO;
        options.fccHandler = mmioFOURCC('M', 'S', 'V', 'C');
        ok = AVIMakeCompressedStream(&compressed, stream, &options, nullptr) == AVIERR_OK;
    }
    PAVISTREAM target = compressed ? compressed : stream;
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = kWidth;
    h.biHeight = kHeight;
    h.biPlanes = 1;
    h.biBitCount = compress ? 24 : SubtypeBitCount(subtype);
    h.biCompression = compress ? BI_RGB : SubtypeCompression(subtype);
    ok = ok && AVIStreamSetFormat(target, 0, &h, sizeof h) == AVIERR_OK;
    std::vector<uint8_t> rgb32(kWidth * kHeight * 4);
    for (int frame = 0; ok && frame < 3; ++frame) {
        for (size_t i = 0; i < rgb32.size(); ++i)
            rgb32[i] = static_cast<uint8_t>(i * 7 + frame * 40);
        std::vector<uint8_t> bytes;
        ok = ConvertFromRgb32(rgb32.data(), kWidth, kHeight, compress ? MEDIASUBTYPE_RGB24 : subtype, &bytes) &&
             AVIStreamWrite(target, frame, 1, bytes.data(), static_cast<LONG>(bytes.size()), AVIIF_KEYFRAME, nullptr, nullptr) ==
                 AVIERR_OK;
    }
    if (compressed)
        AVIStreamRelease(compressed);
    if (stream)
        AVIStreamRelease(stream);
    AVIFileRelease(file);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    bool ok = Record(folder + "/rgb24.avi", MEDIASUBTYPE_RGB24, false);
    ok &= Record(folder + "/msvc.avi", MEDIASUBTYPE_RGB24, true);
    ok &= Record(folder + "/yuy2.avi", MEDIASUBTYPE_YUY2, false);
    ok &= Record(folder + "/mjpg.avi", MEDIASUBTYPE_MJPG, false);
    return ok ? 0 : 1;
}
