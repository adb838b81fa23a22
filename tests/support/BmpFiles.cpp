#include "tests/support/BmpFiles.h"

namespace quiva::test {

namespace {

void Put16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

}  // namespace

std::string MakeBmp(int width, int height, int bpp, const std::vector<uint32_t>& palette,
                    const std::function<uint32_t(int x, int y)>& value, bool topDown)
{
    const size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    const uint32_t dataOffset = static_cast<uint32_t>(14 + 40 + palette.size() * 4);
    std::string out = "BM";
    Put32(out, static_cast<uint32_t>(dataOffset + stride * height));
    Put32(out, 0);
    Put32(out, dataOffset);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(topDown ? -height : height));
    Put16(out, 1);
    Put16(out, static_cast<uint32_t>(bpp));
    Put32(out, 0);
    Put32(out, static_cast<uint32_t>(stride * height));
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, static_cast<uint32_t>(palette.size()));
    Put32(out, 0);
    for (uint32_t entry : palette)
        Put32(out, entry & 0xFFFFFF);  // blue, green, red, 0
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        std::string bytes(stride, '\0');
        for (int x = 0; x < width; ++x) {
            const uint32_t v = value(x, y);
            if (bpp <= 8) {
                const size_t bit = static_cast<size_t>(x) * bpp;
                bytes[bit / 8] = static_cast<char>(bytes[bit / 8] | (v << (8 - bpp - bit % 8)));
            } else if (bpp == 16) {
                bytes[x * 2] = static_cast<char>(v & 0xFF);
                bytes[x * 2 + 1] = static_cast<char>(v >> 8);
            } else {
                const size_t n = bpp / 8;
                bytes[x * n] = static_cast<char>(v & 0xFF);
                bytes[x * n + 1] = static_cast<char>((v >> 8) & 0xFF);
                bytes[x * n + 2] = static_cast<char>((v >> 16) & 0xFF);
                if (n == 4)
                    bytes[x * n + 3] = static_cast<char>(0x7F);  // a reserved byte readers must ignore
            }
        }
        out += bytes;
    }
    return out;
}

}  // namespace quiva::test
