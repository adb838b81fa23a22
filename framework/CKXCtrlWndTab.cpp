#include "framework/CKXCtrlWndTab.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"

using namespace Gdiplus;

namespace {
const float kEpsilon = 1.1920929e-07f;
}

CKXCtrlWndTab::~CKXCtrlWndTab() { RemoveAllTabs(); }

void CKXCtrlWndTab::ShowTabPage(CKXCtrlWnd* page)
{
    currentPage = page;
    if (!page)
        return;
    if (!page->created)
        page->Create(9, 0.0f, 0.0f, width, height - PageTop());
    else
        page->SetRect(0.0f, 0.0f, width, height - PageTop());
}

BOOL CKXCtrlWndTab::CanCloseTab(CKXCtrlTabItem*, CKXCtrlCursor*) { return 1; }

void CKXCtrlWndTab::RemoveAllTabs()
{
    for (CKXCtrlTabItem* tab : tabs) {
        tab->parent = nullptr;
        delete tab;
    }
    tabs.clear();
    pendingClose = nullptr;
    currentPage = nullptr;
    selectedIndex = pressedTab = hoverTab = -1;
}

float CKXCtrlWndTab::TotalLength() const
{
    float sum = 0.0f;
    for (const CKXCtrlTabItem* tab : tabs)
        sum += LengthOf(tab);
    return sum;
}

void CKXCtrlWndTab::SetSize(float w, float h)
{
    CKXCtrl::SetSize(w, h);
    RecalcLayout();
    if (currentPage)
        currentPage->SetSize(w, h - PageTop());
}

void CKXCtrlWndTab::RecalcLayout()
{
    tabArea = RectF(x, y, width, height);
    originX = originY = 0.0f;
    if (tabs.empty() && hideWhenEmpty)
        return;
    switch (side) {
    case 0:
        tabArea.Y = edgeMargin;
        tabArea.Height = tabHeight - 5.0f;
        originY = tabHeight;
        break;
    case 1:
        tabArea.Y = height - tabHeight;
        tabArea.Height = tabHeight - 5.0f;
        break;
    case 2:
        tabArea.X = edgeMargin;
        tabArea.Width = tabHeight - 5.0f;
        originX = tabHeight;
        break;
    case 3:
        tabArea.X = width - tabHeight;
        tabArea.Width = tabHeight - 5.0f;
        break;
    }
    float sum = 0.0f;
    for (CKXCtrlTabItem* tab : tabs) {
        // The side first: the close mark and label are placed by it.
        tab->side = side;
        float length = tabWidth;
        if (!fixedWidth) {
            const RectF wanted = tab->Measure(tabArea);
            length = Horizontal() ? wanted.Width : wanted.Height;
        }
        if (Horizontal())
            tab->SetRect(0.0f, 0.0f, length, tabArea.Height);
        else
            tab->SetRect(0.0f, 0.0f, tabArea.Width, length);
        sum += length;
    }
    if (Horizontal()) {
        overflow = width < sum + endMargin;
        const float arrowY = tabArea.Y + tabArea.Height * 0.5f - 4.0f;
        leftArrowRect = RectF(tabArea.Width - 36.0f, arrowY, 16.0f, 16.0f);
        rightArrowRect = RectF(tabArea.Width - 20.0f, arrowY, 16.0f, 16.0f);
    } else {
        overflow = height < sum + endMargin;
        const float mid = tabArea.X + tabArea.Width * 0.5f;
        leftArrowRect = RectF(mid - 16.0f, tabArea.Height - 20.0f, 16.0f, 16.0f);
        rightArrowRect = RectF(mid, tabArea.Height - 20.0f, 16.0f, 16.0f);
    }
    if (!overflow)
        scrollOffset = 0.0f;
}

RectF CKXCtrlWndTab::TabRect(int index) const
{
    float along = scrollOffset + endMargin;
    for (int i = 0; i < index; ++i)
        along += LengthOf(tabs[static_cast<size_t>(i)]);
    const CKXCtrlTabItem* tab = tabs[static_cast<size_t>(index)];
    if (Horizontal())
        return RectF(along, tabArea.Y, tab->width, tab->height);
    return RectF(tabArea.X, along, tab->width, tab->height);
}

RectF CKXCtrlWndTab::ArrowZone() const
{
    const float left = std::min(leftArrowRect.X, rightArrowRect.X);
    const float top = std::min(leftArrowRect.Y, rightArrowRect.Y);
    const RectF zone(left, top, std::max(leftArrowRect.GetRight(), rightArrowRect.GetRight()) - left,
                     std::max(leftArrowRect.GetBottom(), rightArrowRect.GetBottom()) - top);
    return RectF(zone.X - 4.0f, zone.Y - 4.0f, zone.Width + 8.0f, zone.Height + 8.0f);
}

CKXCtrlTabItem* CKXCtrlWndTab::AddTab(CString caption, CKXCtrlWnd* page, int closable)
{
    auto* item = new CKXCtrlTabItem;
    item->parent = this;
    item->caption = caption;
    item->page = page;
    item->closable = closable;
    item->side = side;
    tabs.push_back(item);
    RecalcLayout();
    return item;
}

CKXCtrlTabItem* CKXCtrlWndTab::InsertTab(int index, CString caption, CKXCtrlWnd* page, int closable)
{
    if (index < 0 || index >= static_cast<int>(tabs.size()))
        return AddTab(caption, page, closable);
    auto* item = new CKXCtrlTabItem;
    item->parent = this;
    item->caption = caption;
    item->page = page;
    item->closable = closable;
    item->side = side;
    tabs.insert(tabs.begin() + index, item);
    if (selectedIndex >= index)
        ++selectedIndex;
    RecalcLayout();
    return item;
}

void CKXCtrlWndTab::SelectTab(int index)
{
    if (index < 0 || index >= static_cast<int>(tabs.size()))
        return;
    // One selected tab at a time: the outline and the page shown follow the same tab.
    for (CKXCtrlTabItem* tab : tabs)
        tab->selected = 0;
    selectedIndex = index;
    tabs[static_cast<size_t>(index)]->selected = 1;
    ShowTabPage(tabs[static_cast<size_t>(index)]->page);
}

int CKXCtrlWndTab::OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    const int n = static_cast<int>(tabs.size());
    const bool pageKey = vk == VK_TAB || vk == VK_PRIOR || vk == VK_NEXT;
    if (!ctx || !ctx->reachEveryControl || !pageKey || GetKeyState(VK_CONTROL) >= 0 || n == 0)
        return CKXCtrlWnd::OnKeyDown(vk, repeat, flags, ctx);
    // The control holding the keyboard lets it go first, an edit keeping what was typed.
    if (IKXCtrlKeyboard* k = FocusKeyboard(ctx))
        k->KillFocus(ctx);
    ctx->focus = nullptr;
    const bool back = vk == VK_PRIOR || (vk == VK_TAB && GetKeyState(VK_SHIFT) < 0);
    SelectTab(((selectedIndex < 0 ? 0 : selectedIndex) + (back ? n - 1 : 1)) % n);
    return 1;
}

void CKXCtrlWndTab::RemoveTab(CKXCtrlTabItem* item)
{
    auto it = std::find(tabs.begin(), tabs.end(), item);
    if (it == tabs.end())
        return;
    const int index = static_cast<int>(it - tabs.begin());
    // The selected tab stays selected when another one goes.
    CKXCtrlTabItem* current = nullptr;
    if (selectedIndex >= 0 && selectedIndex < static_cast<int>(tabs.size()) && selectedIndex != index &&
        tabs[static_cast<size_t>(selectedIndex)]->selected)
        current = tabs[static_cast<size_t>(selectedIndex)];
    tabs.erase(it);
    if (pendingClose == item)
        pendingClose = nullptr;
    item->parent = nullptr;
    delete item;
    pressedTab = hoverTab = pressedArrow = hoverArrow = -1;
    selectedIndex = -1;
    if (!tabs.empty()) {
        const auto keep = std::find(tabs.begin(), tabs.end(), current);
        SelectTab(current && keep != tabs.end() ? static_cast<int>(keep - tabs.begin()) : std::max(index - 1, 0));
    } else if (hideWhenEmpty) {
        originX = originY = 0.0f;
    }
    RecalcLayout();
}

void CKXCtrlWndTab::RefreshPages()
{
    for (CKXCtrlTabItem* tab : tabs)
        if (tab->page)
            tab->page->Refresh();
}

void CKXCtrlWndTab::FlushPendingClose()
{
    if (CKXCtrlTabItem* item = pendingClose) {
        pendingClose = nullptr;
        RemoveTab(item);
    }
}

int CKXCtrlWndTab::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    BOOL stripHandled = 0;
    const int result = StripLButtonDown(px, py, &stripHandled, ctx);
    if (handled && stripHandled)
        *handled = 1;
    if (result || stripHandled || !currentPage)
        return result;
    return currentPage->OnLButtonDown(px, py - PageTop(), handled, ctx);
}

int CKXCtrlWndTab::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = StripLButtonUp(px, py, handled, ctx);
    // The page hears every release, so a press it took always ends.
    if (currentPage)
        result |= currentPage->OnLButtonUp(px, py - PageTop(), handled, ctx);
    return result;
}

int CKXCtrlWndTab::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    BOOL stripHandled = 0;
    const int result = StripMouseMove(px, py, &stripHandled, ctx);
    if (handled && stripHandled)
        *handled = 1;
    if (stripHandled || !currentPage)
        return result;
    // Over a tab too, so the page's controls hear that the pointer has left them.
    return currentPage->OnMouseMove(px, py - PageTop(), handled, ctx);
}

int CKXCtrlWndTab::OnMouseLeave(CKXCtrlCursor* ctx)
{
    pressedArrow = hoverArrow = pressedTab = hoverTab = -1;
    const int result = CKXCtrlWnd::OnMouseLeave(ctx);
    if (result == 0 && currentPage)
        return currentPage->OnMouseLeave(ctx);
    return result;
}

int CKXCtrlWndTab::ArrowAt(float px, float py) const
{
    if (!overflow)
        return -1;
    if (leftArrowRect.Contains(px, py))
        return 0;
    if (rightArrowRect.Contains(px, py))
        return 1;
    return ArrowZone().Contains(px, py) ? kArrowZone : -1;
}

int CKXCtrlWndTab::TabAt(float px, float py) const
{
    for (int i = 0; i < static_cast<int>(tabs.size()); ++i)
        if (TabRect(i).Contains(px, py))
            return i;
    return -1;
}

int CKXCtrlWndTab::StripLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    FlushPendingClose();
    if (CKXCtrlWnd::OnLButtonDown(px, py, handled, ctx))
        return 1;
    if (handled && *handled)
        return 0;
    if (tabs.empty() && hideWhenEmpty)
        return 0;
    pressedArrow = pressedTab = -1;
    if (const int arrow = ArrowAt(px, py); arrow != -1) {
        if (arrow != kArrowZone)
            pressedArrow = arrow;
        return 0;
    }
    const int i = TabAt(px, py);
    if (i < 0)
        return 0;
    const RectF r = TabRect(i);
    tabs[static_cast<size_t>(i)]->OnLButtonDown(px - r.X, py - r.Y, handled, ctx);
    pressedTab = i;
    return 1;
}

int CKXCtrlWndTab::StripLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    FlushPendingClose();
    if (const int arrow = tabs.empty() ? -1 : ArrowAt(px, py); arrow != -1) {
        if (arrow == kArrowZone)
            return 0;
        if (arrow == 0 && pressedArrow == 0) {
            scrollOffset = std::min(scrollOffset + tabWidth * 0.5f, 0.0f);
        } else if (arrow == 1 && pressedArrow == 1) {
            scrollOffset -= tabWidth * 0.5f;
            const float total = TotalLength();
            if (scrollOffset + total + 32.0f < RowLength())
                scrollOffset = RowLength() - total - 32.0f;
        }
        pressedArrow = pressedTab = -1;
        return 1;
    }
    if (const int i = TabAt(px, py); i >= 0) {
        const RectF r = TabRect(i);
        if (i == pressedTab) {
            CKXCtrlTabItem* tab = tabs[static_cast<size_t>(i)];
            const int answer = tab->OnLButtonUp(px - r.X, py - r.Y, handled, ctx);
            if (pendingClose) {
                FlushPendingClose();
            } else if (answer) {
                for (CKXCtrlTabItem* other : tabs)
                    other->selected = 0;
                tab->selected = 1;
                selectedIndex = i;
            }
        }
        pressedArrow = pressedTab = -1;
        return 1;
    }
    const int result = CKXCtrlWnd::OnLButtonUp(px, py, handled, ctx);
    pressedArrow = pressedTab = -1;
    return result;
}

int CKXCtrlWndTab::StripMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    FlushPendingClose();
    if (CKXCtrlWnd::OnMouseMove(px, py, handled, ctx)) {
        hoverTab = hoverArrow = -1;
        return 1;
    }
    if (tabs.empty() && hideWhenEmpty)
        return 0;
    hoverTab = hoverArrow = -1;
    if (const int arrow = ArrowAt(px, py); arrow != -1) {
        if (arrow == kArrowZone)
            return 0;
        hoverArrow = arrow;
        return 1;
    }
    hoverTab = TabAt(px, py);
    for (int i = 0; i < static_cast<int>(tabs.size()); ++i) {
        CKXCtrlTabItem* tab = tabs[static_cast<size_t>(i)];
        if (i == hoverTab) {
            const RectF r = TabRect(i);
            tab->OnMouseMove(px - r.X, py - r.Y, handled, ctx);
        } else {
            tab->OnMouseLeave(ctx);
        }
    }
    return hoverTab >= 0 ? 1 : 0;
}

void CKXCtrlWndTab::DrawTab(int index, float pos, BOOL hover, BOOL pressed, Graphics* g, float offsetX, float offsetY,
                            float scale, CKXCtrlCursor* ctx)
{
    CKXCtrlRenderHint hint;
    hint.scale = scale;
    hint.hover = hover;
    hint.pressed = pressed;
    const float ox = Horizontal() ? pos * scale + offsetX : tabArea.X * scale + offsetX;
    const float oy = Horizontal() ? tabArea.Y * scale + offsetY : pos * scale + offsetY;
    CKXCtrlTabItem* tab = tabs[static_cast<size_t>(index)];
    tab->DrawBackground(g, ox, oy, &hint, ctx);
    tab->Draw(g, ox, oy, &hint, ctx);
}

void CKXCtrlWndTab::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    DrawStrip(g, offsetX, offsetY, hint, ctx);
    if (currentPage)
        currentPage->Draw(g, offsetX, offsetY + PageTop() * (hint ? hint->scale : 1.0f), hint, ctx);
}

void CKXCtrlWndTab::DrawStrip(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    FlushPendingClose();
    CKXCtrlWnd::Draw(g, offsetX, offsetY, hint, ctx);
    if ((tabs.empty() && hideWhenEmpty) || !g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    SolidBrush window{Color(ThemeOf(ctx)->window.style.back)};
    g->FillRectangle(&window, ScaleDrawRect(tabArea, scale, offsetX, offsetY));

    float pos = scrollOffset + endMargin;
    float selStart = 0.0f, selEnd = 0.0f;
    int laterHover = -1, laterPressed = -1;
    float hoverPos = 0.0f, pressedPos = 0.0f;
    for (int i = 0; i < static_cast<int>(tabs.size()); ++i) {
        const float length = LengthOf(tabs[static_cast<size_t>(i)]);
        RectF inside;
        const RectF r = TabRect(i);
        if (RectF::Intersect(inside, r, tabArea) && inside.Width > kEpsilon && inside.Height > kEpsilon) {
            if (tabs[static_cast<size_t>(i)]->selected) {
                selStart = pos;
                selEnd = pos + length;
            }
            if (i == pressedTab) {
                laterPressed = i;
                pressedPos = pos;
            } else if (i == hoverTab) {
                laterHover = i;
                hoverPos = pos;
            } else {
                DrawTab(i, pos, 0, 0, g, offsetX, offsetY, scale, ctx);
            }
        }
        pos += length;
        if (pos > RowLength())
            break;
    }
    if (laterHover >= 0)
        DrawTab(laterHover, hoverPos, 1, 0, g, offsetX, offsetY, scale, ctx);
    if (laterPressed >= 0)
        DrawTab(laterPressed, pressedPos, 0, 1, g, offsetX, offsetY, scale, ctx);
    DrawTabShape(g, offsetX, offsetY, selStart, selEnd, hint, ctx);
    if (overflow) {
        g->FillRectangle(&window, ScaleDrawRect(ArrowZone(), scale, offsetX, offsetY));
        DrawLeftArrow(g, offsetX, offsetY, hint, ctx);
        DrawRightArrow(g, offsetX, offsetY, hint, ctx);
    }
}

void CKXCtrlWndTab::TabShapePoints(float u, float v, PointF p[6]) const
{
    const float X = tabArea.X, Y = tabArea.Y, W = tabArea.Width, H = tabArea.Height, s = scrollOffset;
    const float e = Horizontal() ? (W > v ? W : v + 5.0f) : (H > v ? H : v + 5.0f);
    switch (side) {
    case 0:
        p[0] = {s, Y + H}, p[1] = {u, Y + H}, p[2] = {u, Y}, p[3] = {v, Y}, p[4] = {v, Y + H}, p[5] = {e, Y + H};
        break;
    case 1:
        p[0] = {s, Y}, p[1] = {u, Y}, p[2] = {u, Y + H}, p[3] = {v, Y + H}, p[4] = {v, Y}, p[5] = {e, Y};
        break;
    case 2:
        p[0] = {X + W, s}, p[1] = {X + W, u}, p[2] = {X, u}, p[3] = {X, v}, p[4] = {X + W, v}, p[5] = {X + W, e};
        break;
    case 3:
        p[0] = {X, s}, p[1] = {X, u}, p[2] = {X + W, u}, p[3] = {X + W, v}, p[4] = {X, v}, p[5] = {X, e};
        break;
    default:
        for (int i = 0; i < 6; ++i)
            p[i] = PointF(0.0f, 0.0f);
    }
}

void CKXCtrlWndTab::DrawTabShape(Graphics* g, float offsetX, float offsetY, float selStart, float selEnd,
                                 CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    PointF p[6];
    TabShapePoints(selStart, selEnd, p);
    for (PointF& q : p)
        q = PointF(q.X * scale + offsetX, q.Y * scale + offsetY);
    GraphicsPath path;
    if (selStart == selEnd) {
        path.AddLine(p[0], p[5]);
    } else {
        for (int i = 0; i < 5; ++i)
            path.AddLine(p[i], p[i + 1]);
    }
    Pen pen(Color(ThemeOf(ctx)->standard[KXSTANDARD_OVER].style.fore), 1.0f);
    g->DrawPath(&pen, &path);
}

void CKXCtrlWndTab::DrawLeftArrow(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    DrawArrow(0, g, offsetX, offsetY, hint, ctx);
}

void CKXCtrlWndTab::DrawRightArrow(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    DrawArrow(1, g, offsetX, offsetY, hint, ctx);
}

void CKXCtrlWndTab::DrawArrow(int arrow, Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                              CKXCtrlCursor* ctx)
{
    if (!g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    CKXCtrlTheme* theme = ThemeOf(ctx);
    int state = KXSTANDARD_NORMAL;
    if (pressedArrow == arrow)
        state = KXSTANDARD_PRESSED;
    else if (hoverArrow == arrow)
        state = KXSTANDARD_OVER;
    const RectF& rect = arrow == 0 ? leftArrowRect : rightArrowRect;
    const RectF box = ScaleDrawRect(rect, scale, offsetX, offsetY);
    SolidBrush back{Color(theme->standard[state].style.back)};
    g->FillRectangle(&back, box);

    const bool horizontal = Horizontal();
    const RectF shrunk = horizontal ? RectF(rect.X + 5.0f, rect.Y + 4.0f, rect.Width - 10.0f, rect.Height - 8.0f)
                                    : RectF(rect.X + 4.0f, rect.Y + 5.0f, rect.Width - 8.0f, rect.Height - 10.0f);
    const RectF t = ScaleDrawRect(shrunk, scale, offsetX, offsetY);
    const float L = t.X, T = t.Y, R = t.GetRight(), B = t.GetBottom();
    const float midX = t.X + t.Width * 0.5f, midY = t.Y + t.Height * 0.5f;
    PointF tri[3];
    if (horizontal)
        arrow == 0 ? (tri[0] = {L, midY}, tri[1] = {R, T}, tri[2] = {R, B}) : (tri[0] = {L, T}, tri[1] = {R, midY}, tri[2] = {L, B});
    else
        arrow == 0 ? (tri[0] = {L, B}, tri[1] = {midX, T}, tri[2] = {R, B}) : (tri[0] = {L, T}, tri[1] = {R, T}, tri[2] = {midX, B});
    const DWORD fore = theme->standard[KXSTANDARD_OVER].style.fore;
    SolidBrush fill{Color(fore)};
    if (side >= 0 && side <= 3)
        g->FillPolygon(&fill, tri, 3);
    Pen frame(Color(fore), 1.0f);
    g->DrawRectangle(&frame, box);
}
