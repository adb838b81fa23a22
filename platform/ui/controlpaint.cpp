#include "platform/ui/controlpaint.h"

namespace quiva::ui::detail {

ControlPaint::ControlPaint(HWND hwnd, COLORREF background) : m_hwnd(hwnd)
{
    dc = BeginPaint(hwnd, &m_ps);
    if (!dc)
        return;
    GetClientRect(hwnd, &client);
    SetBkMode(dc, TRANSPARENT);
    Fill(client, background);
}

ControlPaint::~ControlPaint()
{
    if (dc)
        EndPaint(m_hwnd, &m_ps);
}

void ControlPaint::Fill(const RECT& r, COLORREF colour)
{
    HBRUSH b = CreateSolidBrush(colour);
    FillRect(dc, &r, b);
    DeleteObject(b);
}

void ControlPaint::Frame(const RECT& r, COLORREF colour)
{
    HBRUSH b = CreateSolidBrush(colour);
    FrameRect(dc, &r, b);
    DeleteObject(b);
}

void ControlPaint::Text(const wchar_t* text, RECT r, UINT format, COLORREF colour)
{
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &r, format);
}

}  // namespace quiva::ui::detail
