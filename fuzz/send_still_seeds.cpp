// Writes the seed corpus of the send model's still harness: stills as the capture saves them
// (24-bit BMP, JPEG), a PNG, and 8-bit and 4-bit palette BMPs, grey and coloured.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/gdi/ImageCodec.h"

namespace {

void Put32(std::string& s, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>(v >> (8 * i));
}

// A bottom-up BI_RGB palette BMP of 8 or 4 bits a pixel.
std::string PaletteBmp(int width, int height, int bits, const std::vector<uint32_t>& palette)
{
    const uint32_t stride = (static_cast<uint32_t>(width * bits) + 31) / 32 * 4;
    const uint32_t offset = 14 + 40 + static_cast<uint32_t>(palette.size()) * 4;
    std::string s = "BM";
    Put32(s, offset + stride * static_cast<uint32_t>(height));
    Put32(s, 0);
    Put32(s, offset);
    Put32(s, 40);
    Put32(s, static_cast<uint32_t>(width));
    Put32(s, static_cast<uint32_t>(height));
    Put32(s, 1u | (static_cast<uint32_t>(bits) << 16));
    for (uint32_t v : {0u, stride * static_cast<uint32_t>(height), 2835u, 2835u, static_cast<uint32_t>(palette.size()), 0u})
        Put32(s, v);
    for (uint32_t entry : palette)
        Put32(s, entry);
    for (int y = 0; y < height; ++y)
        for (uint32_t x = 0; x < stride; ++x)
            s += static_cast<char>((x * 17 + static_cast<uint32_t>(y) * 5) % (bits == 8 ? palette.size() : 0x100));
    return s;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    std::vector<uint32_t> pixels(24 * 16);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | static_cast<uint32_t>((i * 11 % 256) << 16 | (i * 7 % 256) << 8 | (i * 3 % 256));
    bool ok = true;
    std::string bytes;
    ok &= quiva::EncodeBmp(pixels.data(), 24, 16, bytes) && fuzz::SaveSeed(folder, "still.bmp", bytes);
    ok &= quiva::EncodeJpeg(pixels.data(), 24, 16, 90, bytes) && fuzz::SaveSeed(folder, "still.jpg", bytes);
    ok &= quiva::EncodePng(pixels.data(), 24, 16, bytes) && fuzz::SaveSeed(folder, "still.png", bytes);
    std::vector<uint32_t> greys, colours;
    for (uint32_t i = 0; i < 16; ++i) {
        greys.push_back(i * 0x111111u);
        colours.push_back(i * 0x100F07u & 0xFFFFFFu);
    }
    ok &= fuzz::SaveSeed(folder, "grey8.bmp", PaletteBmp(9, 5, 8, greys));
    ok &= fuzz::SaveSeed(folder, "colour4.bmp", PaletteBmp(7, 3, 4, colours));
    return ok ? 0 : 1;
}
