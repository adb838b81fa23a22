#include "framework/CKXCtrlWnd.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"

using namespace Gdiplus;

CKXCtrlWnd::CKXCtrlWnd() { kind = CTRLKIND_CONTAINER; }

CKXCtrlWnd::~CKXCtrlWnd()
{
    // Nothing below this container may stay captured, focused or active.
    CKXCtrlCursor::ForgetControl(this);
    std::vector<CKXCtrl*> list;
    list.swap(children);
    for (CKXCtrl* c : list) {
        c->parent = nullptr;
        if (c->deleteWithContainer)
            delete c;
    }
    hoverIndex = pressedIndex = -1;
}

void CKXCtrlWnd::ForgetChild(CKXCtrl* child)
{
    auto it = std::find(children.begin(), children.end(), child);
    if (it == children.end())
        return;
    children.erase(it);
    hoverIndex = pressedIndex = -1;
}

void CKXCtrlWnd::AddControl(CKXCtrl* ctrl)
{
    if (!ctrl)
        return;
    // A control lives in one container at a time.
    if (ctrl->parent && ctrl->parent != this)
        ctrl->parent->ForgetChild(ctrl);
    ctrl->parent = this;
    ctrl->deleteWithContainer = 0;
    ctrl->SetRect(ctrl->x, ctrl->y, ctrl->width, ctrl->height);
    children.push_back(ctrl);
}

void CKXCtrlWnd::AddStaticText(CString value, float px, float py, float w, float h, int align, int lineAlign)
{
    _KXStaticText t;
    t.text = value;
    t.x = px;
    t.y = py;
    t.width = w;
    t.height = h;
    t.align = align;
    t.lineAlign = lineAlign;
    t.font = CKXCtrlTheme::GetInstance()->window.font;
    staticTexts.push_back(t);
}

RectF CKXCtrlWnd::GetContentBounds()
{
    bool any = false;
    float minLeft = 0, minTop = 0, maxRight = 0, maxBottom = 0;
    auto add = [&](float l, float t, float w, float h) {
        if (!any) {
            minLeft = l;
            minTop = t;
            any = true;
        }
        minLeft = std::min(minLeft, l);
        minTop = std::min(minTop, t);
        maxRight = std::max(maxRight, l + w);
        maxBottom = std::max(maxBottom, t + h);
    };
    for (auto& t : staticTexts)
        add(t.x, t.y, t.width, t.height);
    for (CKXCtrl* c : children)
        add(c->x, c->y, c->width, c->height);
    if (!any)
        return RectF(0, 0, 0, 0);
    return RectF(0, 0, maxRight + 2 * minLeft, maxBottom + 2 * minTop);
}

PointF CKXCtrlWnd::GetAbsoluteOrigin()
{
    PointF p(originX, originY);
    if (parent) {
        PointF up = parent->GetAbsoluteOrigin();
        p.X += up.X;
        p.Y += up.Y;
    }
    return p;
}

void CKXCtrlWnd::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!ctx || !ctx->host || !ctx->host->GetSafeHwnd() || !g)
        return;
    float scale = hint ? hint->scale : 1.0f;
    if (eraseBackground)
        EraseBackground(g, ctx);
    float ox = offsetX + originX * scale, oy = offsetY + originY * scale;
    DrawStaticTexts(g, ox, oy, hint, ctx);
    CKXCtrlRenderHint h;
    h.scale = scale;
    for (int pass = 0; pass < 3; ++pass) {
        // The list may not change while drawing, but a child must not take the walk with it.
        std::vector<CKXCtrl*> list = children;
        for (size_t i = 0; i < list.size(); ++i) {
            CKXCtrl* c = list[i];
            h.hover = static_cast<int>(i) == hoverIndex;
            h.pressed = static_cast<int>(i) == pressedIndex;
            h.focused = c == ctx->focus;
            if (pass == 0)
                c->DrawBackground(g, ox, oy, &h, ctx);
            else if (pass == 1)
                c->Draw(g, ox, oy, &h, ctx);
            else
                c->DrawBorder(g, ox, oy, &h, ctx);
        }
    }
}

void CKXCtrlWnd::DrawStaticTexts(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor*)
{
    float scale = hint ? hint->scale : 1.0f;
    auto alignment = [](int a) {
        return a == 1 ? StringAlignmentCenter : a == 2 ? StringAlignmentFar : StringAlignmentNear;
    };
    for (auto& t : staticTexts) {
        RectF r(t.x * scale + offsetX, t.y * scale + offsetY, t.width * scale, t.height * scale);
        kxctrl::DrawText(g, t.text, t.font, scale, r, alignment(t.align), alignment(t.lineAlign), StringTrimmingCharacter, 0);
    }
}

void CKXCtrlWnd::EraseBackground(Graphics* g, CKXCtrlCursor* ctx)
{
    if (parent || !g || !ctx || !ctx->host || !ctx->host->GetSafeHwnd())
        return;
    RECT c;
    ctx->host->GetClientRect(&c);
    SolidBrush brush{Color(ThemeOf(ctx)->window.style.back)};
    g->FillRectangle(&brush, RectF(0, 0, static_cast<REAL>(c.right), static_cast<REAL>(c.bottom)));
}

int CKXCtrlWnd::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    pressedIndex = -1;
    float cx = px - originX, cy = py - originY;
    std::vector<CKXCtrl*> list = children;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i]->OnLButtonDown(cx, cy, handled, ctx)) {
            pressedIndex = static_cast<int>(i);
            return 1;
        }
        if (handled && *handled)
            return 0;
    }
    return 0;
}

int CKXCtrlWnd::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    pressedIndex = -1;
    if (!isRoot || !ctx || !ctx->captured || ctx->captured == this)
        return 0;
    return ctx->captured->OnLButtonUp(px - originX, py - originY, handled, ctx) ? 1 : 0;
}

int CKXCtrlWnd::RouteToChildren(int (CKXCtrl::*handler)(float, float, BOOL*, CKXCtrlCursor*), float px, float py,
                                BOOL* handled, CKXCtrlCursor* ctx)
{
    float cx = px - originX, cy = py - originY;
    std::vector<CKXCtrl*> list = children;
    for (CKXCtrl* c : list) {
        if (c == this)
            continue;
        if ((c->*handler)(cx, cy, handled, ctx))
            return 1;
        if (handled && *handled)
            return 0;
    }
    return 0;
}

int CKXCtrlWnd::OnLButtonDblClk(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    return RouteToChildren(&CKXCtrl::OnLButtonDblClk, px, py, handled, ctx);
}

int CKXCtrlWnd::OnRButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    return RouteToChildren(&CKXCtrl::OnRButtonDown, px, py, handled, ctx);
}

int CKXCtrlWnd::OnRButtonDblClk(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    return RouteToChildren(&CKXCtrl::OnLButtonDblClk, px, py, handled, ctx);
}

int CKXCtrlWnd::OnRButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!ctx || !ctx->captured || ctx->captured == this)
        return 0;
    return ctx->captured->OnRButtonUp(px - originX, py - originY, handled, ctx) ? 1 : 0;
}

int CKXCtrlWnd::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    float cx = px - originX, cy = py - originY;
    if (ctx && ctx->captured && ctx->buttonDown && isRoot) {
        if (ctx->captured == this)
            return 0;
        return ctx->captured->OnMouseMove(cx, cy, handled, ctx) ? 1 : 0;
    }
    hoverIndex = -1;
    std::vector<CKXCtrl*> list = children;
    int hover = -1;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i]->HitTest(cx, cy)) {
            list[i]->OnMouseMove(cx, cy, handled, ctx);
            hover = static_cast<int>(i);
        } else {
            list[i]->OnMouseLeave(ctx);
        }
    }
    // A child's handler may have changed the list; only a current index is kept.
    hoverIndex = list == children ? hover : -1;
    return 0;
}

int CKXCtrlWnd::OnMouseLeave(CKXCtrlCursor* ctx)
{
    std::vector<CKXCtrl*> list = children;
    for (CKXCtrl* c : list)
        c->OnMouseLeave(ctx);
    hoverIndex = pressedIndex = -1;
    return 0;
}

int CKXCtrlWnd::OnMouseWheel(int flags, float delta, float px, float py, CKXCtrlCursor* ctx)
{
    if (!ctx || !ctx->active || ctx->active == this)
        return 0;
    return ctx->active->OnMouseWheel(flags, delta, px - originX, py - originY, ctx);
}

int CKXCtrlWnd::Create(int newId, float px, float py, float w, float h)
{
    CKXCtrl::Create(newId, px, py, w, h);
    created = 1;
    return 1;
}

void CKXCtrlWnd::Activate(CKXCtrlCursor*) {}

CKXCtrl* CKXCtrlWnd::GetNextTabStop(CKXCtrl* from, BOOL search, int wanted)
{
    auto it = std::find(children.begin(), children.end(), from);
    if (it != children.end() && search) {
        for (++it; it != children.end(); ++it)
            if ((*it)->tabStop && (wanted == 0 || (*it)->kind == wanted))
                return *it;
    }
    return search ? from : nullptr;
}

CKXCtrl* CKXCtrlWnd::GetPrevTabStop(CKXCtrl* from, BOOL search, int wanted)
{
    auto it = std::find(children.begin(), children.end(), from);
    if (it != children.end() && search) {
        while (it != children.begin()) {
            --it;
            if ((*it)->tabStop && (wanted == 0 || (*it)->kind == wanted))
                return *it;
        }
    }
    return search ? from : nullptr;
}

CKXCtrl* CKXCtrlWnd::NextKeyboardStop(CKXCtrl* from, bool back)
{
    const int n = static_cast<int>(children.size());
    const auto at = std::find(children.begin(), children.end(), from);
    const int start = at == children.end() ? (back ? n : -1) : static_cast<int>(at - children.begin());
    for (int step = 1; step <= n; ++step) {
        CKXCtrl* c = children[static_cast<size_t>(((start + (back ? -step : step)) % n + n) % n)];
        if (c->tabStop && c->visible && c->enabled)
            return c;
    }
    return nullptr;
}

void CKXCtrlWnd::OnCommand(int, CKXCtrl*, CKXCtrlCursor*) {}
void CKXCtrlWnd::OnEditEnd(int, CKXCtrl*, CKXCtrlCursor*) {}
void CKXCtrlWnd::OnValueChanged(int, CKXCtrl*, CKXCtrlCursor*) {}

int CKXCtrlWnd::OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    if (IKXCtrlKeyboard* k = FocusKeyboard(ctx))
        return k->OnKeyDown(vk, repeat, flags, ctx);
    return ctx && ctx->focus ? ctx->focus->OnFocusKey(vk, ctx) : 0;
}

int CKXCtrlWnd::OnKeyUp(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    IKXCtrlKeyboard* k = FocusKeyboard(ctx);
    return k ? k->OnKeyUp(vk, repeat, flags, ctx) : 0;
}

int CKXCtrlWnd::OnChar(UINT ch, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    if (IKXCtrlKeyboard* k = FocusKeyboard(ctx))
        return k->OnChar(ch, repeat, flags, ctx);
    // Tab from a button or a box, or into the page when nothing has the keyboard yet (Ctrl+Tab
    // belongs to a tab strip).
    if (ch != 9 || !ctx || !ctx->reachEveryControl || GetKeyState(VK_CONTROL) < 0)
        return 0;
    CKXCtrlWnd* within = ctx->focus && ctx->focus->parent ? ctx->focus->parent : KeyboardPage();
    CKXCtrl* next = within ? within->NextKeyboardStop(ctx->focus, GetKeyState(VK_SHIFT) < 0) : nullptr;
    if (next)
        next->TakeKeyboard(ctx);
    return next ? 1 : 0;
}

int CKXCtrlWnd::OnImeComposition(WPARAM wParam, LPARAM lParam, CKXCtrlCursor* ctx)
{
    IKXCtrlKeyboard* k = FocusKeyboard(ctx);
    return k ? k->OnImeComposition(wParam, lParam, ctx) : 0;
}

void CKXCtrlWnd::OnKillFocus(CKXCtrlCursor*) {}
int CKXCtrlWnd::OnTimer(UINT) { return 0; }
void CKXCtrlWnd::CreateChildren(CKXCtrlCursor*) {}
void CKXCtrlWnd::Refresh() {}
CString CKXCtrlWnd::GetCaption() { return caption; }
void CKXCtrlWnd::RecalcLayout() {}
void CKXCtrlWnd::OnPageClose() {}
