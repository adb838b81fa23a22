#include "framework/CKXMsgBox.h"

#include <algorithm>
#include <memory>

#include "framework/CKXFixDialog.h"
#include "platform/base/resources.h"

using namespace Gdiplus;

std::function<RectF(const CString&)> CKXMsgBox::measurer;

CKXMsgBox::CKXMsgBox() : CKXBaseDialog(0x90000000u, 0), resourceModule(GetModuleHandleW(L"QUIVA.Capture.DLL")) {}

CKXMsgBox::~CKXMsgBox()
{
    for (CKXCtrlButton* b : buttons)
        delete b;
}

std::vector<int> CKXMsgBox::ButtonsOfType(int type)
{
    switch (type) {
    case 0:
        return {IDOK};
    case 1:
        return {IDOK, IDCANCEL};
    case 2:
        return {IDABORT, IDRETRY, IDIGNORE};
    case 3:
        return {IDYES, IDNO, IDCANCEL};
    case 4:
        return {IDYES, IDNO};
    case 5:
        return {IDRETRY, IDCANCEL};
    default:
        return {IDCLOSE};
    }
}

void CKXMsgBox::AddButton(int id) { buttons.push_back(kxdialog::MakeButton(resourceModule, id)); }

int CKXMsgBox::Show(CString message, CString caption, int type)
{
    captionBar.SetCaption(caption);
    captionBar.showMinimize = captionBar.showMaximize = captionBar.showSetting = 0;
    captionBar.showExit = 1;
    text = message;
    for (int id : ButtonsOfType(type))
        AddButton(id);
    focusIndex = static_cast<int>(buttons.size()) - 1;
    return static_cast<int>(CenterOnCursorMonitor());
}

Font* CKXMsgBox::MakeFont(float scale, FontFamily& named)
{
    const _KXCtrlFont& f = (context.theme ? context.theme : CKXCtrlTheme::GetInstance())->window.font;
    named = FontFamily(f.name.GetString());
    return new Font(named.IsAvailable() ? &named : FontFamily::GenericSansSerif(), f.size * scale, f.style);
}

RectF CKXMsgBox::MeasureText()
{
    if (text.IsEmpty())
        return RectF();
    if (measurer)
        return measurer(text);
    FontFamily family;
    std::unique_ptr<Font> font(MakeFont(1.0f, family));
    Graphics g(m_hWnd);
    RectF box;
    g.MeasureString(text.GetString(), text.GetLength(), font.get(), PointF(0.0f, 0.0f), &box);
    return box;
}

void CKXMsgBox::SetDialogSize(int, int)
{
    const RectF box = MeasureText();
    const int n = static_cast<int>(buttons.size());
    width = std::max(static_cast<int>(box.Width) + 100, (n * 110 - 10) + 100);
    captionBar.SetRect(0.0f, 0.0f, static_cast<float>(width) / renderHint.scale, 0.0f);
    height = static_cast<int>(box.Height + CaptionOffset() + 110.0f);
}

BOOL CKXMsgBox::RecalcLayout()
{
    if (!m_hWnd)
        return 0;
    const int n = static_cast<int>(buttons.size());
    float bx = static_cast<float>(width) * 0.5f - 0.5f * static_cast<float>(n * 110 - 10);
    for (CKXCtrlButton* b : buttons) {
        b->SetPos(bx, static_cast<float>(height) - 45.0f - captionBar.height);
        bx += b->width + 10.0f;
    }
    return 1;
}

void CKXMsgBox::Draw(HDC dc)
{
    if (!dc)
        return;
    RECT client{};
    GetClientRect(&client);
    CKXCtrlTheme* theme = context.theme ? context.theme : CKXCtrlTheme::GetInstance();
    const float scale = renderHint.scale;
    PaintBand(dc, 0, client.bottom, [&](Graphics& g) {
        SolidBrush back{Color(theme->window.style.back)};
        g.FillRectangle(&back, 0, 0, client.right, client.bottom);
        const float o = CaptionOffset() * scale;
        const RectF layout(0.0f, o, static_cast<float>(width) * scale,
                           (static_cast<float>(height) - o - 40.0f) * scale);
        StringFormat format;
        format.SetAlignment(StringAlignmentCenter);
        format.SetLineAlignment(StringAlignmentCenter);
        FontFamily family;
        std::unique_ptr<Font> font(MakeFont(scale, family));
        SolidBrush ink{Color(theme->window.font.color)};
        g.DrawString(text.GetString(), text.GetLength(), font.get(), layout, &format, &ink);
        kxdialog::DrawButtons(&g, buttons, 0.0f, o, pressedIndex, hoverIndex, &renderHint, &context, focusIndex);
        if (captionVisible) {
            captionBar.DrawBackground(&g, 0.0f, 0.0f, &renderHint, &context);
            captionBar.Draw(&g, 0.0f, 0.0f, &renderHint, &context);
            captionBar.DrawBorder(&g, 0.0f, 0.0f, &renderHint, &context);
        }
        Pen border(Color(theme->window.style.fore), theme->window.style.width);
        g.DrawRectangle(&border, 0.0f, 0.0f, static_cast<float>(client.right - 1), static_cast<float>(client.bottom - 1));
    });
}

LRESULT CKXMsgBox::OnNcHitTest(CPoint point)
{
    ScreenToClient(&point);
    PointF p = Layout(point);
    auto drag = [&]() -> LRESULT {
        hoverIndex = pressedIndex = -1;
        RefreshCaptionFlags();
        RedrawNow();
        return HTCAPTION;
    };
    if (captionVisible && captionBar.IsDragArea(p.X, p.Y))
        return drag();
    if (captionVisible && captionBar.HitTest(p.X, p.Y))
        return Default();
    RECT client{};
    GetClientRect(&client);
    const bool draggable = PtInRect(&client, point) != 0;
    if (captionVisible)
        p.Y -= captionBar.height;
    for (CKXCtrlButton* b : buttons)
        if (b->HitTest(p.X, p.Y))
            return Default();
    return draggable ? drag() : Default();
}

BOOL CKXMsgBox::OnClientLButtonDown(float px, float py)
{
    return kxdialog::PressButton(buttons, px, py, &context, &pressedIndex) >= 0;
}

BOOL CKXMsgBox::OnClientMouseMove(float px, float py)
{
    hoverIndex = kxdialog::TrackHover(buttons, px, py, &context);
    return 1;
}

BOOL CKXMsgBox::OnClientLButtonUp(float px, float py)
{
    pressedIndex = -1;
    for (CKXCtrlButton* b : buttons) {
        BOOL handled = 0;
        if (b->OnLButtonUp(px, py, &handled, &context)) {
            EndDialog(b->id);
            return 0;
        }
    }
    return 1;
}

BOOL CKXMsgBox::OnClientKeyDown(UINT key, UINT, UINT)
{
    const int n = static_cast<int>(buttons.size());
    switch (key) {
    case VK_ESCAPE:
        EndDialog(IDCANCEL);
        return 0;
    case VK_RETURN:  // the main or the keypad key (Space is the capture key: it answers nothing)
        if (focusIndex >= 0 && focusIndex < n)
            EndDialog(buttons[static_cast<size_t>(focusIndex)]->id);
        return 0;
    case VK_TAB:
    case VK_LEFT:
    case VK_RIGHT: {
        if (n == 0)
            return 0;
        const bool back = key == VK_LEFT || (key == VK_TAB && GetKeyState(VK_SHIFT) < 0);
        focusIndex = ((focusIndex < 0 ? 0 : focusIndex) + (back ? n - 1 : 1)) % n;
        RedrawNow();
        return 1;
    }
    default:
        return 0;
    }
}
