#include "framework/CKXCaptionBar.h"

#include "framework/CKXCtrlCursor.h"
#include "platform/gdi/gdi.h"

using namespace Gdiplus;

namespace {
bool In(const RectF& r, float x, float y) { return x >= r.X && x < r.X + r.Width && y >= r.Y && y < r.Y + r.Height; }
}  // namespace

void CKXCaptionBar::Buttons(Button out[4])
{
    out[0] = {CAPTION_EXIT, showExit, &exitRect};
    out[1] = {CAPTION_MAXIMIZE, showMaximize, &maximizeRect};
    out[2] = {CAPTION_MINIMIZE, showMinimize, &minimizeRect};
    out[3] = {CAPTION_SETTING, showSetting, &settingRect};
}

int CKXCaptionBar::ButtonAt(float px, float py)
{
    Button b[4];
    Buttons(b);
    int found = CAPTION_NONE;
    for (auto& button : b)
        if (button.shown && In(*button.rect, px, py))
            found = button.id;
    return found;
}

void CKXCaptionBar::SetRect(float px, float py, float w, float h)
{
    x = px;
    y = py;
    width = w;
    height = h;
    if (h == 0.0f)
        height = CKXCtrlTheme::GetInstance()->GetCaptionButtonSize().Width + 4.0f;
    SetSize(width, height);
}

void CKXCaptionBar::SetSize(float w, float)
{
    width = w;
    float s = CKXCtrlTheme::GetInstance()->GetCaptionButtonSize().Width;
    float right = w - 4.0f;
    Button b[4];
    Buttons(b);
    for (auto& button : b) {
        if (!button.shown)
            continue;
        *button.rect = RectF(right - s, 4.0f, s, s);
        right -= s;
        height = s + 8.0f;
    }
}

int CKXCaptionBar::OnLButtonDown(float px, float py, BOOL*, CKXCtrlCursor*)
{
    if (!HitTest(px, py))
        return 0;
    pressedButton = ButtonAt(px, py);
    return 1;
}

int CKXCaptionBar::OnLButtonUp(float px, float py, BOOL*, CKXCtrlCursor*)
{
    clickedButton = CAPTION_NONE;
    if (!HitTest(px, py)) {
        pressedButton = CAPTION_NONE;
        return 0;
    }
    int at = ButtonAt(px, py);
    if (at != CAPTION_NONE && at == pressedButton)
        clickedButton = at;
    pressedButton = CAPTION_NONE;
    return 1;
}

int CKXCaptionBar::OnMouseMove(float px, float py, BOOL*, CKXCtrlCursor*)
{
    hoverButton = CAPTION_NONE;
    if (!HitTest(px, py))
        return 0;
    hoverButton = ButtonAt(px, py);
    return 1;
}

int CKXCaptionBar::OnMouseLeave(CKXCtrlCursor*)
{
    hoverButton = pressedButton = CAPTION_NONE;
    return 1;
}

BOOL CKXCaptionBar::IsDragArea(float px, float py)
{
    if (ButtonAt(px, py) != CAPTION_NONE)
        return 0;
    if (!HitTest(px, py))
        return 0;
    hoverButton = pressedButton = CAPTION_NONE;
    return 1;
}

void CKXCaptionBar::DrawBackground(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    SolidBrush brush{Color(active ? theme->captionActive.back : theme->captionInactive.back)};
    g->FillRectangle(&brush, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}

void CKXCaptionBar::DrawButton(Graphics* g, int buttonId, const RectF& r, const _KXCtrlSysButtonStyle& style, CKXCtrlTheme* theme)
{
    const _KXCtrlStateStyle& s = pressedButton == buttonId ? style.pressed : hoverButton == buttonId ? style.over : style.normal;
    if (!s.noBack) {
        SolidBrush brush{Color(s.back)};
        g->FillRectangle(&brush, r);
    }
    if (style.icon.icon) {
        static const int iconSizes[4] = {16, 24, 32, 48};
        int size = theme->captionButtonSize >= 0 && theme->captionButtonSize < 4 ? iconSizes[theme->captionButtonSize] : 16;
        int ix = static_cast<int>(r.X + r.Width / 2 - size / 2);
        int iy = static_cast<int>(r.Y + r.Height / 2 - size / 2);
        HDC dc = g->GetHDC();
        DrawIconEx(dc, ix, iy, style.icon.icon, size, size, 0, nullptr, DI_NORMAL);
        g->ReleaseHDC(dc);
    }
    Pen pen(Color(s.fore), s.width);
    g->DrawRectangle(&pen, r);
}

void CKXCaptionBar::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    float scale = hint ? hint->scale : 1.0f;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    RectF text = ScaleDrawRect(Rect(), scale, offsetX, offsetY);
    Button b[4];
    Buttons(b);
    int shown = 0;
    for (auto& button : b) {
        if (!button.shown)
            continue;
        ++shown;
        const _KXCtrlSysButtonStyle& style = button.id == CAPTION_EXIT       ? theme->exitButton
                                             : button.id == CAPTION_MAXIMIZE ? (maximized ? theme->restoreButton : theme->maximizeButton)
                                             : button.id == CAPTION_MINIMIZE ? theme->minimizeButton
                                                                             : theme->settingButton;
        RectF r = ScaleDrawRect(*button.rect, scale, offsetX, offsetY);
        DrawButton(g, button.id, r, style, theme);
        text.Width -= r.Width;
    }
    // Keep the text clear of the buttons' right margin too, and scale the text margins.
    if (shown)
        text.Width -= 4.0f * scale;
    const _KXCtrlFont& font = active ? theme->captionActiveFont : theme->captionInactiveFont;
    RectF r(text.X + 6.0f * scale, text.Y, text.Width - 12.0f * scale, text.Height);
    kxctrl::DrawText(g, caption, font, scale, r, StringAlignmentNear, StringAlignmentCenter, StringTrimmingEllipsisPath,
                     StringFormatFlagsNoWrap);
}

void CKXCaptionBar::DrawBorder(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor*)
{
    if (!g)
        return;
    float scale = hint ? hint->scale : 1.0f;
    int hot = pressedButton != CAPTION_NONE ? pressedButton : hoverButton;
    if (hot != CAPTION_NONE) {
        Button b[4];
        Buttons(b);
        for (auto& button : b) {
            if (button.id != hot || !button.shown)
                continue;
            RectF r = ScaleDrawRect(*button.rect, scale, offsetX, offsetY);
            Pen faint(Color(0x1EFFFFFFu), 1.0f);
            g->DrawRectangle(&faint, r);
            Pen light(Color(0x32FFFFFFu), 1.0f);
            g->DrawRectangle(&light, r);
        }
    }
    if (active) {
        float lineY = (y + height) * scale - 1.0f;
        Pen line(Color(0x0FFFFFFFu), 1.0f);
        g->DrawLine(&line, 0.0f, lineY, width * scale, lineY);
    }
}

void CKXCaptionBar::ReadWindowState(HWND hwnd)
{
    if (!hwnd)
        return;
    WINDOWPLACEMENT wp{};
    wp.length = sizeof(wp);
    ::GetWindowPlacement(hwnd, &wp);
    maximized = wp.showCmd == SW_MAXIMIZE;
    WINDOWINFO wi{};
    wi.cbSize = sizeof(wi);
    ::GetWindowInfo(hwnd, &wi);
    active = wi.dwWindowStatus == WS_ACTIVECAPTION;
}
