// Feeds arbitrary bytes, as a still file, to the send model's still reader and checks that what
// it would send is the picture the image decoder gives: the same size, and for a still sent as
// pixels the same colour at every opaque pixel.
#include <cstdint>
#include <string>

#include "app/model/CKXSendDicomModel.h"
#include "fuzz/FuzzSupport.h"
#include "platform/base/memoryapi.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const CString file = quiva::WindowsPath(fuzz::WriteScratch("still", data, size));
    CKXSendDicomModel model;
    int columns = 0, rows = 0, bits = 0;
    BOOL grey = FALSE, jpeg = FALSE;
    DWORD length = 0;
    BYTE* pixels = model.ReadImage(file, &columns, &rows, &grey, &bits, &length, &jpeg);
    if (!pixels)
        return 0;
    quiva::DecodedImage image;
    const bool decoded = quiva::DecodeImage(bytes, image);
    if (jpeg) {
        // A JPEG is sent whole, as its frame header describes it.
        fuzz::Check(!decoded || (columns == image.width && rows == image.height), "a JPEG still is sent at its decoded size");
    } else {
        fuzz::Check(decoded, "a still sent as pixels is one the image decoder reads");
        fuzz::Check(columns == image.width && rows == image.height, "a still is sent at its decoded size");
        const size_t samples = grey ? 1 : 3;
        fuzz::Check(length == static_cast<size_t>(columns) * static_cast<size_t>(rows) * samples, "a still's pixels fill its size");
        // 16-bit rows whose masks are neither 5-5-5 nor 5-6-5 are handed out as 5-5-5: their
        // colours reach the PACS to five bits, within half a step of the decoder's.
        const int slack = image.bitsPerPixel == 16 ? 5 : 0;
        auto near = [slack](int a, int b) { return a - b <= slack && b - a <= slack; };
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            const uint32_t argb = image.pixels[i];
            if ((argb >> 24) != 0xFF)
                continue;  // premultiplied colours of a see-through pixel are not what is sent
            const BYTE* sent = pixels + i * samples;
            const BYTE r = static_cast<BYTE>(argb >> 16), g = static_cast<BYTE>(argb >> 8), b = static_cast<BYTE>(argb);
            fuzz::Check(grey ? sent[0] == r && r == g && g == b : near(sent[0], r) && near(sent[1], g) && near(sent[2], b),
                        "a still is sent in the colours the image decoder gives");
        }
    }
    VirtualFree(pixels, 0, MEM_RELEASE);
    return 0;
}
