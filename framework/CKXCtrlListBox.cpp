#include "framework/CKXCtrlListBox.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"
#include "platform/base/clock.h"

using namespace Gdiplus;

namespace {
const float kEpsilon = 1.1920929e-07f;
}

CKXCtrlListBox::CKXCtrlListBox()
{
    kind = CTRLKIND_LISTBOX;
    tabStop = 1;
    scrollBar.kind = 7;
}

int CKXCtrlListBox::OnFocusKey(UINT vk, CKXCtrlCursor* ctx)
{
    const int n = static_cast<int>(items.size());
    const bool move = vk == VK_UP || vk == VK_DOWN || vk == VK_HOME || vk == VK_END;
    if (!move || n == 0 || multiSelect || !enabled)
        return 0;
    int current = -1;
    for (int i = 0; i < n && current < 0; ++i)
        if (items[static_cast<size_t>(i)]->selected)
            current = i;
    int next = vk == VK_HOME ? 0 : vk == VK_END ? n - 1 : current < 0 ? 0 : current + (vk == VK_UP ? -1 : 1);
    next = std::clamp(next, 0, n - 1);
    ClearSelection();
    items[static_cast<size_t>(next)]->selected = 1;
    float top = 0.0f;
    for (int i = 0; i < next; ++i)
        top += items[static_cast<size_t>(i)]->height;
    const float bottom = top + items[static_cast<size_t>(next)]->height;
    if (top < -originY)
        ScrollTo(-top);
    else if (bottom > height - originY)
        ScrollTo(height - bottom);
    if (parent)
        parent->OnValueChanged(id, this, ctx);
    return 1;
}

int CKXCtrlListBox::OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx)
{
    // A list that is the whole of its window (a drop-down) takes the keys itself.
    if (isRoot && !FocusKeyboard(ctx))
        return OnFocusKey(vk, ctx);
    return CKXCtrlWnd::OnKeyDown(vk, repeat, flags, ctx);
}

CKXCtrlListBox::~CKXCtrlListBox() { RemoveAll(); }

float CKXCtrlListBox::ContentHeight() const
{
    float sum = 0.0f;
    for (const _KXListStringItem* item : items)
        sum += item->height;
    return sum;
}

int CKXCtrlListBox::ItemAt(float localY) const
{
    float top = originY;
    for (size_t i = 0; i < items.size(); ++i) {
        if (localY >= top && localY < top + items[i]->height)
            return static_cast<int>(i);
        top += items[i]->height;
    }
    return -1;
}

void CKXCtrlListBox::FollowThumb() { originY = -scrollBar.GetPosition(); }

void CKXCtrlListBox::ScrollTo(float newOriginY)
{
    // The items never leave the list: at most the part that does not fit is scrolled away.
    const float lowest = std::min(0.0f, -(ContentHeight() - height));
    originY = std::max(lowest, std::min(newOriginY, 0.0f));
    scrollBar.SetPosition(-originY, height);
    FollowThumb();
}

void CKXCtrlListBox::UpdateScrollBar()
{
    scrollBar.SetRect(width - 16.0f, 0.0f, 16.0f, height);
    scrollBar.SetRange(0.0f, ContentHeight());
    FollowThumb();
    // The page is what the list shows: its height.
    scrollBar.SetPosition(-originY, height);
    FollowThumb();
}

int CKXCtrlListBox::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrlWnd::Create(newId, nx, ny, w, h);
    scrollBar.position = 0.0f;
    originY = 0.0f;
    UpdateScrollBar();
    return 1;
}

void CKXCtrlListBox::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrl::SetRect(nx, ny, w, h);
    UpdateScrollBar();
}

void CKXCtrlListBox::AddItem(CString text, intptr_t data)
{
    auto* item = new _KXListStringItem;
    item->text = text;
    item->data = data;
    items.push_back(item);
}

CString CKXCtrlListBox::GetItemText(int index)
{
    if (index < 0 || index >= static_cast<int>(items.size()))
        return CString();
    return items[static_cast<size_t>(index)]->text;
}

void CKXCtrlListBox::ClearSelection()
{
    for (_KXListStringItem* item : items)
        item->selected = 0;
}

std::vector<_KXListStringItem*>& CKXCtrlListBox::GetSelection()
{
    selection.clear();
    for (_KXListStringItem* item : items)
        if (item->selected)
            selection.push_back(item);
    return selection;
}

void CKXCtrlListBox::RemoveAll()
{
    for (_KXListStringItem* item : items)
        delete item;
    items.clear();
    selection.clear();
    pressedItem = hoverItem = -1;
}

void CKXCtrlListBox::DeleteItem(int index)
{
    if (index < 0 || index >= static_cast<int>(items.size()))
        return;
    delete items[static_cast<size_t>(index)];
    items.erase(items.begin() + index);
    selection.clear();
    pressedItem = hoverItem = -1;
}

void CKXCtrlListBox::SelectString(CString text)
{
    if (!multiSelect)
        ClearSelection();
    for (_KXListStringItem* item : items) {
        if (item->text == text) {
            item->selected = 1;
            return;
        }
    }
}

int CKXCtrlListBox::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible || !HitTest(px, py))
        return 0;
    if (ctx)
        ctx->captured = this;
    const float lx = px - x, ly = py - y;
    if (scrollBar.OnLButtonDown(lx, ly, handled, ctx))
        return 1;
    if (!enabled)
        return 0;
    pressedItem = ItemAt(ly);
    return pressedItem >= 0 ? 1 : 0;
}

int CKXCtrlListBox::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    if (ctx && ctx->captured == this)
        ctx->captured = nullptr;
    const float lx = px - x, ly = py - y;
    if (scrollBar.OnLButtonUp(lx, ly, handled, ctx)) {
        if (handled)
            *handled = 0;
        FollowThumb();
        pressedItem = hoverItem = -1;
        return 1;
    }
    if (!enabled)
        return 0;
    const int index = HitTest(px, py) ? ItemAt(ly) : -1;
    if (index < 0)
        return 0;
    if (index == pressedItem) {
        _KXListStringItem* item = items[static_cast<size_t>(index)];
        if (!multiSelect) {
            ClearSelection();
            item->selected = 1;
            if (parent)
                parent->OnValueChanged(id, this, ctx);
            if (handled)
                *handled = 1;
        } else {
            item->selected = !item->selected;
            if (item->selected && parent)
                parent->OnValueChanged(id, this, ctx);
        }
    }
    pressedItem = -1;
    return 1;
}

int CKXCtrlListBox::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    hoverItem = -1;
    const float lx = px - x, ly = py - y;
    BOOL barHandled = 0;
    if (scrollBar.OnMouseMove(lx, ly, &barHandled, ctx)) {
        if (barHandled) {
            FollowThumb();
            if (handled)
                *handled = 1;
        }
        return 1;
    }
    if (!enabled)
        return 0;
    if (ctx && ctx->buttonDown && GetTickCount() - ctx->pressTime > 100 && scrollBar.visible) {
        ScrollTo(originY - static_cast<float>(ctx->dragDelta[1]));
        pressedItem = -1;
        return 1;
    }
    if (HitTest(px, py))
        hoverItem = ItemAt(ly);
    return 1;
}

int CKXCtrlListBox::OnMouseLeave(CKXCtrlCursor* ctx)
{
    if (!visible)
        return 0;
    hoverItem = pressedItem = -1;
    scrollBar.OnMouseLeave(ctx);
    return 1;
}

int CKXCtrlListBox::OnMouseWheel(int, float delta, float, float, CKXCtrlCursor*)
{
    ScrollTo(originY + delta);
    return visible ? 1 : 0;
}

void CKXCtrlListBox::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible || !g)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    g->SetClip(ScaleDrawRect(Rect(), scale, offsetX, offsetY));
    float top = originY;
    for (size_t i = 0; i < items.size(); ++i) {
        _KXListStringItem* item = items[i];
        const float itemTop = top;
        top += item->height;
        RectF row(0.0f, itemTop, width, item->height);
        RectF inside;
        if (RectF::Intersect(inside, row, RectF(0.0f, 0.0f, width, height)) && inside.Width > kEpsilon &&
            inside.Height > kEpsilon) {
            CKXCtrlRenderHint itemHint;
            itemHint.scale = scale;
            itemHint.pressed = static_cast<int>(i) == pressedItem;
            itemHint.hover = static_cast<int>(i) == hoverItem;
            DrawItem(g, offsetX, offsetY, itemTop, item, &itemHint, ctx);
        }
        if (top > height)
            break;
    }
    CKXCtrlRenderHint barHint;
    barHint.scale = scale;
    scrollBar.Draw(g, offsetX + x * scale, offsetY + y * scale, &barHint, ctx);
    g->ResetClip();
}

void CKXCtrlListBox::DrawItem(Graphics* g, float offsetX, float offsetY, float itemTop, _KXListStringItem* item,
                              CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!g || !item)
        return;
    const float scale = hint ? hint->scale : 1.0f;
    const float rowWidth = width - (scrollBar.visible ? scrollBar.width : 0.0f);
    const RectF r = ScaleDrawRect(RectF(x, y + itemTop, rowWidth, item->height), scale, offsetX, offsetY);
    int state = KXLIST_NORMAL;
    if (hint && hint->pressed)
        state = KXLIST_PRESSED;
    else if (hint && hint->hover)
        state = KXLIST_OVER;
    else if (item->selected)
        state = KXLIST_SELECTED;
    // A disabled list takes no clicks and shows it: its rows are drawn in the disabled style.
    const _KXCtrlTextStyle& style = enabled ? ThemeOf(ctx)->list[state] : StandardText(nullptr, ctx);
    if (!style.style.noBack) {
        SolidBrush brush{Color(style.style.back)};
        g->FillRectangle(&brush, r);
    }
    const RectF textRect(r.X + 2.0f * scale, r.Y, r.Width - 4.0f * scale, r.Height);
    kxctrl::DrawText(g, item->text, style.font, scale, textRect, StringAlignmentNear, StringAlignmentCenter,
                     StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
}
