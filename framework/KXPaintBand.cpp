#include "framework/KXPaintBand.h"

using namespace Gdiplus;

namespace quiva {

void PaintBand(HDC dc, int top, int width, int height, const std::function<void(Graphics&)>& paint)
{
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    {
        Graphics g(memory);
        g.SetTextRenderingHint(TextRenderingHintClearTypeGridFit);
        g.SetInterpolationMode(InterpolationModeHighQuality);
        g.SetSmoothingMode(SmoothingModeAntiAlias);
        paint(g);
        g.Flush();
    }
    BitBlt(dc, 0, top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
}

}  // namespace quiva
