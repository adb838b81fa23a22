// Painting helper for the window system's own controls and dialogs (not for use outside
// platform/ui): begins the paint, fills the client area and ends the paint when it goes.
#pragma once

#include "platform/gdi/gdi.h"
#include "platform/ui/winuser.h"

namespace quiva::ui::detail {

// The height of the band across the top of a dialog's client area in which the window system's
// own dialogs show their title where the display shows none (no window manager on X11); 0 where
// the display shows it. The dialog lays itself out below the band.
int TitleBandHeight();

class ControlPaint {
public:
    ControlPaint(HWND hwnd, COLORREF background);
    ~ControlPaint();
    ControlPaint(const ControlPaint&) = delete;
    ControlPaint& operator=(const ControlPaint&) = delete;

    // False when the window could not be painted (nothing else may be called then).
    explicit operator bool() const { return dc != nullptr; }
    void Fill(const RECT& r, COLORREF colour);
    void Frame(const RECT& r, COLORREF colour);
    // A check mark three pixels thick filling the 7 x 7 square at the rectangle's top left.
    void Tick(const RECT& r, COLORREF colour);
    // Text in `colour` with a transparent background.
    void Text(const wchar_t* text, RECT r, UINT format, COLORREF colour);
    // The window's title in a band `height` pixels high across the top of the client area
    // (nothing when it is 0).
    void TitleBand(int height);

    HDC dc = nullptr;
    RECT client{};

private:
    HWND m_hwnd;
    PAINTSTRUCT m_ps{};
};

}  // namespace quiva::ui::detail
