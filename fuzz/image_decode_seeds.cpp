// Writes the seed corpus of the image harness: BMP, JPEG and PNG files made by the system's own
// encoders, in colour, grey and with transparency.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/gdi/ImageCodec.h"

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    const int w = 13, h = 7;
    std::vector<uint32_t> colour(w * h), grey(w * h), clear(w * h);
    for (int i = 0; i < w * h; ++i) {
        colour[i] = 0xFF000000u | static_cast<uint32_t>(i * 2654435761u & 0xFFFFFF);
        const uint32_t v = static_cast<uint32_t>(i * 3 % 256);
        grey[i] = 0xFF000000u | (v << 16) | (v << 8) | v;
        clear[i] = (static_cast<uint32_t>(i % 256) << 24);
    }
    bool ok = true;
    std::string bytes;
    ok &= quiva::EncodeBmp(colour.data(), w, h, bytes) && fuzz::SaveSeed(folder, "colour.bmp", bytes);
    ok &= quiva::EncodeJpeg(colour.data(), w, h, 90, bytes) && fuzz::SaveSeed(folder, "colour.jpg", bytes);
    ok &= quiva::EncodeJpeg(grey.data(), w, h, 50, bytes) && fuzz::SaveSeed(folder, "grey.jpg", bytes);
    ok &= quiva::EncodePng(colour.data(), w, h, bytes) && fuzz::SaveSeed(folder, "colour.png", bytes);
    ok &= quiva::EncodePng(clear.data(), w, h, bytes) && fuzz::SaveSeed(folder, "alpha.png", bytes);
    return ok ? 0 : 1;
}
