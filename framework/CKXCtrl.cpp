#include "framework/CKXCtrl.h"

#include "framework/CKXCtrlCursor.h"
#include "framework/CKXCtrlWnd.h"

using namespace Gdiplus;

CKXCtrl::CKXCtrl() = default;

CKXCtrl::~CKXCtrl()
{
    CKXCtrlCursor::ForgetControl(this);
    if (parent)
        parent->ForgetChild(this);
}

void CKXCtrl::Draw(Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) {}

CKXCtrlTheme* CKXCtrl::ThemeOf(CKXCtrlCursor* ctx)
{
    return ctx && ctx->theme ? ctx->theme : CKXCtrlTheme::GetInstance();
}

IKXCtrlKeyboard* CKXCtrl::FocusKeyboard(CKXCtrlCursor* ctx)
{
    return ctx ? dynamic_cast<IKXCtrlKeyboard*>(ctx->focus) : nullptr;
}

const _KXCtrlStateStyle& CKXCtrl::StandardState(CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) const
{
    return StandardText(hint, ctx).style;
}

const _KXCtrlTextStyle& CKXCtrl::StandardText(CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx, bool selected) const
{
    CKXCtrlTheme* theme = ThemeOf(ctx);
    if (!enabled)
        return theme->standard[KXSTANDARD_DISABLE];
    if (hint && hint->pressed)
        return theme->standard[KXSTANDARD_PRESSED];
    if (hint && hint->hover)
        return theme->standard[KXSTANDARD_OVER];
    if (selected)
        return theme->standard[KXSTANDARD_SELECTED];
    return theme->standard[KXSTANDARD_NORMAL];
}

void CKXCtrl::DrawBackground(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    const _KXCtrlStateStyle& s = StandardState(hint, ctx);
    if (s.noBack)
        return;
    SolidBrush brush{Color(s.back)};
    g->FillRectangle(&brush, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}

void CKXCtrl::DrawBorder(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !border || !g)
        return;
    const _KXCtrlStateStyle& s = StandardState(hint, ctx);
    Pen pen(Color(s.fore), s.width);  // the width is not scaled
    g->DrawRectangle(&pen, ScaleDrawRect(Rect(), hint ? hint->scale : 1.0f, offsetX, offsetY));
}

int CKXCtrl::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible || !enabled || !HitTest(px, py))
        return 0;
    if (ctx)
        ctx->captured = this;
    if (handled)
        *handled = 1;
    Activate(ctx);
    return 1;
}

int CKXCtrl::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible || !enabled)
        return 0;
    int result = 0;
    if (HitTest(px, py)) {
        if (handled)
            *handled = 1;
        result = ctx && ctx->captured == this ? 1 : 0;
    }
    if (ctx) {
        if (ctx->captured == this)
            ctx->captured = nullptr;
        if (IKXCtrlKeyboard* edit = FocusKeyboard(ctx))
            edit->KillFocus(ctx);  // a click released anywhere ends editing
        else
            ctx->focus = nullptr;  // and any other control's hold of the keyboard
    }
    return result;
}

int CKXCtrl::OnLButtonDblClk(float, float, BOOL*, CKXCtrlCursor*) { return 0; }
int CKXCtrl::OnMouseMove(float, float, BOOL*, CKXCtrlCursor*) { return 0; }

int CKXCtrl::OnRButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible || !enabled || !HitTest(px, py))
        return 0;
    if (ctx)
        ctx->captured = this;
    if (handled)
        *handled = 1;
    return 0;
}

int CKXCtrl::OnRButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible || !enabled)
        return 0;
    if (HitTest(px, py) && ctx && ctx->captured == this && handled)
        *handled = 1;
    if (ctx)
        ctx->captured = nullptr;
    return 0;
}

int CKXCtrl::OnRButtonDblClk(float, float, BOOL*, CKXCtrlCursor*) { return 0; }
int CKXCtrl::OnMouseLeave(CKXCtrlCursor*) { return 0; }
int CKXCtrl::OnMouseWheel(int, float, float, float, CKXCtrlCursor*) { return 0; }

void CKXCtrl::SetSize(float w, float h)
{
    width = w;
    height = h;
}

void CKXCtrl::SetPos(float px, float py)
{
    x = px;
    y = py;
}

int CKXCtrl::Create(int newId, float px, float py, float w, float h)
{
    id = newId;
    x = px;
    y = py;
    width = w;
    height = h;
    return 1;
}

void CKXCtrl::SetRect(float px, float py, float w, float h)
{
    x = px;
    y = py;
    width = w;
    height = h;
}

int CKXCtrl::HitTest(float px, float py) { return px >= x && px < x + width && py >= y && py < y + height ? 1 : 0; }

void CKXCtrl::Activate(CKXCtrlCursor* ctx)
{
    if (ctx)
        ctx->active = this;
}

void CKXCtrl::TakeKeyboard(CKXCtrlCursor* ctx)
{
    if (!ctx)
        return;
    ctx->focus = this;
    Activate(ctx);
}

int CKXCtrl::OnFocusKey(UINT, CKXCtrlCursor*) { return 0; }

CKXCtrl* CKXCtrl::GetNextTabStop(CKXCtrl*, BOOL, int) { return nullptr; }
CKXCtrl* CKXCtrl::GetPrevTabStop(CKXCtrl*, BOOL, int) { return nullptr; }
void CKXCtrl::Reserved(DWORD, DWORD) {}

RectF CKXCtrl::ScaleDrawRect(RectF rect, float scale, float offsetX, float offsetY)
{
    return RectF(rect.X * scale + offsetX, rect.Y * scale + offsetY, rect.Width * scale, rect.Height * scale);
}

namespace kxctrl {

void DrawText(Graphics* g, const CString& text, const _KXCtrlFont& font, float scale, const RectF& rect,
              StringAlignment align, StringAlignment lineAlign, StringTrimming trimming, INT flags, float sizeFactor,
              const wchar_t* family, DWORD color)
{
    if (!g || text.IsEmpty())
        return;
    FontFamily named(family ? family : font.name.GetString());
    const FontFamily* use = named.IsAvailable() ? &named : FontFamily::GenericSansSerif();
    Font f(use, font.size * scale * sizeFactor, font.style, UnitPoint);
    SolidBrush brush{Color(color ? color : font.color)};
    StringFormat format;
    format.SetAlignment(align);
    format.SetLineAlignment(lineAlign);
    format.SetTrimming(trimming);
    format.SetFormatFlags(flags);
    g->DrawString(text.GetString(), text.GetLength(), &f, rect, &format, &brush);
}

void DrawFocusMark(Graphics* g, const RectF& rect, DWORD color)
{
    if (!g || rect.Width < 6.0f || rect.Height < 6.0f)
        return;
    Pen pen{Color(color), 1.0f};
    pen.SetDashStyle(DashStyleDot);
    g->DrawRectangle(&pen, RectF(rect.X + 2.0f, rect.Y + 2.0f, rect.Width - 5.0f, rect.Height - 5.0f));
}

}  // namespace kxctrl
