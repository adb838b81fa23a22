#include "framework/CKXFixDialog.h"

#include "platform/base/debug.h"
#include "platform/base/resources.h"

using namespace Gdiplus;

namespace kxdialog {

CKXCtrlButton* MakeButton(HMODULE module, int id)
{
    auto* button = new CKXCtrlButton;
    button->Create(id, 0.0f, 0.0f, 100.0f, 25.0f);
    wchar_t caption[64] = {};
    if (LoadStringW(module, static_cast<UINT>(id), caption, 64) > 0)
        button->SetCaption(caption);
    return button;
}

void DrawButtons(Graphics* g, const std::vector<CKXCtrlButton*>& buttons, float offsetX, float offsetY,
                 int pressedIndex, int hoverIndex, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx, int focusIndex)
{
    for (int pass = 0; pass < 3; ++pass) {
        for (size_t i = 0; i < buttons.size(); ++i) {
            hint->pressed = static_cast<int>(i) == pressedIndex;
            hint->hover = static_cast<int>(i) == hoverIndex;
            hint->focused = static_cast<int>(i) == focusIndex;
            if (pass == 0)
                buttons[i]->DrawBackground(g, offsetX, offsetY, hint, ctx);
            else if (pass == 1)
                buttons[i]->Draw(g, offsetX, offsetY, hint, ctx);
            else
                buttons[i]->DrawBorder(g, offsetX, offsetY, hint, ctx);
        }
    }
    hint->pressed = hint->hover = hint->focused = 0;
}

int TrackHover(const std::vector<CKXCtrlButton*>& buttons, float x, float y, CKXCtrlCursor* ctx)
{
    int hover = -1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        BOOL handled = 0;
        if (buttons[i]->HitTest(x, y)) {
            hover = static_cast<int>(i);
            buttons[i]->OnMouseMove(x, y, &handled, ctx);
        } else {
            buttons[i]->OnMouseLeave(ctx);
        }
    }
    return hover;
}

int PressButton(const std::vector<CKXCtrlButton*>& buttons, float x, float y, CKXCtrlCursor* ctx, int* pressedIndex)
{
    *pressedIndex = -1;
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (!buttons[i]->HitTest(x, y))
            continue;
        *pressedIndex = static_cast<int>(i);
        BOOL handled = 0;
        if (buttons[i]->OnLButtonDown(x, y, &handled, ctx))
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace kxdialog

CKXFixDialog::CKXFixDialog() : resourceModule(GetModuleHandleW(L"QUIVA.Capture.DLL")) {}

CKXFixDialog::~CKXFixDialog()
{
    for (CKXCtrlButton* b : buttons)
        delete b;
}

void CKXFixDialog::AddButton(int id) { buttons.push_back(kxdialog::MakeButton(resourceModule, id)); }

BOOL CKXFixDialog::RecalcLayout()
{
    const BOOL result = CKXFixBaseDialog::RecalcLayout();
    const int n = static_cast<int>(buttons.size());
    float bx = static_cast<float>(width) - static_cast<float>(n * 110 - 10) - 15.0f;
    for (CKXCtrlButton* b : buttons) {
        b->SetPos(bx, static_cast<float>(height) - 40.0f);
        bx += b->width + 10.0f;
    }
    return result;
}

BOOL CKXFixDialog::OnClientSize(int, int)
{
    if (host.m_hWnd) {
        RECT client{};
        GetClientRect(&client);
        const int o = CaptionPixels();
        // The bottom 50 pixels are the button band.
        host.MoveWindow(0, o, client.right, client.bottom - o - 50, FALSE);
    }
    return 1;
}

void CKXFixDialog::Draw(HDC dc)
{
    CKXBaseDialog::Draw(dc);
    if (!dc)
        return;
    RECT client{};
    GetClientRect(&client);
    const int band = static_cast<int>(renderHint.scale * 50.0f);
    const float bandTop = static_cast<float>(client.bottom - band);
    CKXCtrlTheme* theme = context.theme ? context.theme : CKXCtrlTheme::GetInstance();
    PaintBand(dc, static_cast<int>(bandTop), band, [&](Graphics& g) {
        SolidBrush back{Color(theme->window.style.back)};
        g.FillRectangle(&back, 0, 0, client.right, client.bottom);
        CString line;
        line.Format(L"%f\n", static_cast<double>(bandTop));
        OutputDebugStringW(line);
        kxdialog::DrawButtons(&g, buttons, 0.0f, -bandTop, pressedIndex, hoverIndex, &renderHint, &context);
    });
}

BOOL CKXFixDialog::OnClientLButtonDown(float px, float py)
{
    py += CaptionOffset() * renderHint.scale;
    return kxdialog::PressButton(buttons, px, py, &context, &pressedIndex) >= 0;
}

BOOL CKXFixDialog::OnClientMouseMove(float px, float py)
{
    py += CaptionOffset() * renderHint.scale;
    hoverIndex = kxdialog::TrackHover(buttons, px, py, &context);
    return 1;
}

BOOL CKXFixDialog::OnClientLButtonUp(float px, float py)
{
    py += CaptionOffset() * renderHint.scale;
    int released = -1;
    for (size_t i = 0; i < buttons.size() && released < 0; ++i) {
        BOOL handled = 0;
        if (buttons[i]->OnLButtonUp(px, py, &handled, &context))
            released = static_cast<int>(i);
    }
    if (released < 0) {
        pressedIndex = -1;
        return 1;
    }
    if (released == pressedIndex) {
        const int id = buttons[static_cast<size_t>(released)]->id;
        OnDialogButton(id);
        EndDialog(id);
    }
    pressedIndex = -1;
    return 0;
}
