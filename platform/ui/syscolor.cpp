#include "platform/ui/syscolor.h"

#include <array>
#include <mutex>

#include "platform/gdi/gdi.h"

namespace {

constexpr int kColours = COLOR_MENUBAR + 1;
constexpr COLORREF kNone = 0xFFFFFFFFu;

constexpr std::array<COLORREF, kColours> kScheme = {
    RGB(0xC8, 0xC8, 0xC8),  // scroll bar
    RGB(0x00, 0x00, 0x00),  // desktop
    RGB(0x99, 0xB4, 0xD1),  // active caption
    RGB(0xBF, 0xCD, 0xDB),  // inactive caption
    RGB(0xF0, 0xF0, 0xF0),  // menu
    RGB(0xFF, 0xFF, 0xFF),  // window
    RGB(0x64, 0x64, 0x64),  // window frame
    RGB(0x00, 0x00, 0x00),  // menu text
    RGB(0x00, 0x00, 0x00),  // window text
    RGB(0x00, 0x00, 0x00),  // caption text
    RGB(0xB4, 0xB4, 0xB4),  // active border
    RGB(0xF4, 0xF7, 0xFC),  // inactive border
    RGB(0xAB, 0xAB, 0xAB),  // application workspace
    RGB(0x33, 0x99, 0xFF),  // highlight
    RGB(0xFF, 0xFF, 0xFF),  // highlighted text
    RGB(0xF0, 0xF0, 0xF0),  // button face
    RGB(0xA0, 0xA0, 0xA0),  // button shadow
    RGB(0x6D, 0x6D, 0x6D),  // grey text
    RGB(0x00, 0x00, 0x00),  // button text
    RGB(0x00, 0x00, 0x00),  // inactive caption text
    RGB(0xFF, 0xFF, 0xFF),  // button highlight
    RGB(0x69, 0x69, 0x69),  // 3D dark shadow
    RGB(0xE3, 0xE3, 0xE3),  // 3D light
    RGB(0x00, 0x00, 0x00),  // tooltip text
    RGB(0xFF, 0xFF, 0xE1),  // tooltip background
    kNone,
    RGB(0x00, 0x66, 0xCC),  // hot-tracked item
    RGB(0xB9, 0xD1, 0xEA),  // active caption gradient
    RGB(0xD7, 0xE4, 0xF2),  // inactive caption gradient
    RGB(0x33, 0x99, 0xFF),  // highlighted menu item
    RGB(0xF0, 0xF0, 0xF0),  // menu bar
};

bool Known(int index) { return index >= 0 && index < kColours && kScheme[static_cast<size_t>(index)] != kNone; }

}  // namespace

DWORD GetSysColor(int index)
{
    return Known(index) ? kScheme[static_cast<size_t>(index)] : 0;
}

HBRUSH GetSysColorBrush(int index)
{
    if (!Known(index))
        return nullptr;
    static std::mutex lock;
    static std::array<HBRUSH, kColours> brushes {};
    std::lock_guard<std::mutex> g(lock);
    HBRUSH& b = brushes[static_cast<size_t>(index)];
    if (!b)
        b = quiva::CreateStockBrush(kScheme[static_cast<size_t>(index)]);
    return b;
}
