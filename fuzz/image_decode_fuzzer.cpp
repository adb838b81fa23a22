// Feeds arbitrary bytes to the BMP, JPEG and PNG decoders, directly and as a file opened by
// Gdiplus::Bitmap::FromFile, and checks that what decodes is within the pixel limit and
// encodes again.
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/base/bitmap.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/gdi/gdiplus.h"

namespace {

void Decoded(const quiva::DecodedImage& image)
{
    fuzz::Check(quiva::ImageSizeOk(image.width, image.height), "a decoded picture is within the pixel limit");
    fuzz::Check(image.pixels.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height),
                "a decoded picture holds its pixels");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 20))
        return 0;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    quiva::DecodedImage image;
    for (auto decode : {quiva::DecodeBmp, quiva::DecodeJpeg, quiva::DecodePng}) {
        std::string error;
        if (decode(bytes, image, &error)) {
            Decoded(image);
            std::string again;
            fuzz::Check(quiva::EncodePng(image.pixels.data(), image.width, image.height, again), "a decoded picture encodes");
        } else {
            fuzz::Check(!error.empty(), "a refused picture says why");
        }
    }
    if (quiva::DecodeImage(bytes, image))
        Decoded(image);

    const std::string file = fuzz::WriteScratch("in.img", data, size);
    Gdiplus::Bitmap* bitmap = Gdiplus::Bitmap::FromFile(quiva::WindowsPath(file));
    if (bitmap) {
        fuzz::Check(bitmap->GetLastStatus() != Gdiplus::Ok || quiva::ImageSizeOk(bitmap->GetWidth(), bitmap->GetHeight()),
                    "an opened bitmap is within the pixel limit");
        delete bitmap;
    }
    return 0;
}
