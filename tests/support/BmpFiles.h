// BMP files of any depth for tests: the header, palette and rows written out by hand, so that
// readers are checked against files they did not make themselves.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quiva::test {

// A BITMAPINFOHEADER file (BI_RGB) of width x height at bpp 1, 4, 8, 16, 24 or 32 bits.
// `value(x, y)` gives the raw pixel value of the top-left based pixel: a palette index for
// 8 bits and fewer, a 5-5-5 word for 16, 0x00RRGGBB for 24 and 32. Rows are stored bottom-up
// unless topDown. `palette` holds 0x00RRGGBB entries (its size is written as the colours used).
std::string MakeBmp(int width, int height, int bpp, const std::vector<uint32_t>& palette,
                    const std::function<uint32_t(int x, int y)>& value, bool topDown = false);

}  // namespace quiva::test
