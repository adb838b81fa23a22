#include "platform/ui/controlpaint.h"

#include "platform/ui/syscolor.h"
#include "platform/ui/uisystem.h"

namespace quiva::ui::detail {

namespace {

constexpr int kTitleBand = 24;

}  // namespace

int TitleBandHeight() { return quiva::ui::CurrentBackend().ShowsTitles() ? 0 : kTitleBand; }

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

void ControlPaint::Tick(const RECT& r, COLORREF colour)
{
    HPEN pen = CreatePen(PS_SOLID, 1, colour);
    HGDIOBJ old = SelectObject(dc, pen);
    for (int i = 0; i < 3; ++i) {
        MoveToEx(dc, r.left - 1, r.top + 1 + i, nullptr);
        LineTo(dc, r.left + 2, r.top + 4 + i);
        LineTo(dc, r.left + 7, r.top - 1 + i);
    }
    SelectObject(dc, old);
    DeleteObject(pen);
}

void ControlPaint::Text(const wchar_t* text, RECT r, UINT format, COLORREF colour)
{
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &r, format);
}

void ControlPaint::TitleBand(int height)
{
    if (height <= 0)
        return;
    const RECT band{client.left, client.top, client.right, client.top + height};
    Fill(band, GetSysColor(COLOR_ACTIVECAPTION));
    wchar_t title[256] = {};
    GetWindowTextW(m_hwnd, title, 256);
    Text(title, RECT{band.left + 8, band.top, band.right - 8, band.bottom},
         DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS, GetSysColor(COLOR_CAPTIONTEXT));
}

}  // namespace quiva::ui::detail
