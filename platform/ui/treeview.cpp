#include "platform/ui/treeview.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/ui/controlpaint.h"
#include "platform/ui/internal.h"

namespace {

constexpr int kIndent = 19;
constexpr int kButtonBox = 9;
constexpr int kBar = 16;  // height of the horizontal scroll bar
using quiva::ui::kTreeRowHeight;

struct Node {
    std::wstring text;
    LPARAM param = 0;
    UINT state = 0;  // TVIS_EXPANDED only; the selection is the tree's
    int image = 0;
    int selectedImage = 0;
    Node* parent = nullptr;  // null: top level
    std::vector<std::unique_ptr<Node>> children;
};

// A tree's data. Only the thread that owns the window touches it (messages from other threads
// are sent through to that thread), so the lock below guards only the map of trees.
struct Tree {
    std::vector<std::unique_ptr<Node>> roots;
    std::set<const Node*> live;
    Node* selected = nullptr;
    int top = 0;   // first visible row shown
    int left = 0;  // pixels the rows are scrolled to the left
    bool dragging = false;  // the scroll bar's thumb follows the pointer
    int grab = 0;           // where in the thumb it was taken
};

std::mutex& TreesLock()
{
    static std::mutex m;
    return m;
}

std::map<HWND, std::unique_ptr<Tree>>& Trees()
{
    static std::map<HWND, std::unique_ptr<Tree>> trees;
    return trees;
}

Tree* TreeOf(HWND hwnd)
{
    std::lock_guard<std::mutex> l(TreesLock());
    auto& slot = Trees()[hwnd];
    if (!slot)
        slot = std::make_unique<Tree>();
    return slot.get();
}

HTREEITEM Handle(const Node* n) { return reinterpret_cast<HTREEITEM>(const_cast<Node*>(n)); }

Node* NodeOf(Tree& t, HTREEITEM item)
{
    auto* n = reinterpret_cast<Node*>(item);
    return t.live.count(n) ? n : nullptr;
}

std::vector<std::unique_ptr<Node>>& Siblings(Tree& t, Node* n) { return n->parent ? n->parent->children : t.roots; }

bool Expanded(const Node* n) { return (n->state & TVIS_EXPANDED) != 0; }

int Depth(const Node* n)
{
    int d = 0;
    for (const Node* p = n->parent; p; p = p->parent)
        ++d;
    return d;
}

void CollectVisible(const std::vector<std::unique_ptr<Node>>& level, std::vector<Node*>& out)
{
    for (const auto& n : level) {
        out.push_back(n.get());
        if (Expanded(n.get()))
            CollectVisible(n->children, out);
    }
}

std::vector<Node*> VisibleRows(Tree& t)
{
    std::vector<Node*> rows;
    CollectVisible(t.roots, rows);
    return rows;
}

int RowOf(Tree& t, const Node* n)
{
    auto rows = VisibleRows(t);
    auto it = std::find(rows.begin(), rows.end(), n);
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

// Left edge of an item's button column; items start one indent further right.
int IndentOf(HWND hwnd, const Node* n)
{
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    const bool rootLines = (style & TVS_LINESATROOT) && (style & (TVS_HASLINES | TVS_HASBUTTONS));
    return 2 + (Depth(n) + (rootLines ? 1 : 0)) * kIndent;
}

// The horizontal scroll bar a tree with WS_HSCROLL shows along its bottom while an item's text
// reaches past the right edge.
struct HorizontalBar {
    bool shown = false;
    RECT track{};
    RECT thumb{};
    int range = 0;  // how far the rows can be scrolled
};

HorizontalBar BarOf(HWND hwnd, Tree& t)
{
    HorizontalBar bar;
    RECT rc{};
    GetClientRect(hwnd, &rc);
    if (!(GetWindowLongW(hwnd, GWL_STYLE) & WS_HSCROLL) || rc.bottom - rc.top < 2 * kBar || rc.right <= rc.left)
        return bar;
    int content = 0;
    HDC dc = CreateCompatibleDC(nullptr);
    for (const Node* n : VisibleRows(t)) {
        SIZE s{};
        GetTextExtentPoint32W(dc, n->text.c_str(), static_cast<int>(n->text.size()), &s);
        content = std::max<int>(content, IndentOf(hwnd, n) + s.cx + 4);
    }
    DeleteDC(dc);
    const int width = rc.right - rc.left;
    if (content <= width)
        return bar;
    bar.shown = true;
    bar.range = content - width;
    bar.track = RECT{rc.left, rc.bottom - kBar, rc.right, rc.bottom};
    const int thumb = std::max(kBar, width * width / content);
    const int x = rc.left + (width - thumb) * std::clamp(t.left, 0, bar.range) / bar.range;
    bar.thumb = RECT{x, bar.track.top, x + thumb, bar.track.bottom};
    return bar;
}

void ScrollTo(HWND hwnd, Tree& t, int left)
{
    left = std::clamp(left, 0, BarOf(hwnd, t).range);
    if (left != t.left) {
        t.left = left;
        InvalidateRect(hwnd, nullptr, TRUE);
    }
}

int RowsInView(HWND hwnd, Tree& t)
{
    RECT rc{};
    GetClientRect(hwnd, &rc);
    const int height = rc.bottom - rc.top - (BarOf(hwnd, t).shown ? kBar : 0);
    return std::max(1, height / kTreeRowHeight);
}

void EnsureVisible(HWND hwnd, Tree& t, Node* n)
{
    for (Node* p = n->parent; p; p = p->parent)
        p->state |= TVIS_EXPANDED;
    const int row = RowOf(t, n);
    const int view = RowsInView(hwnd, t);
    if (row < t.top)
        t.top = row;
    else if (row >= t.top + view)
        t.top = row - view + 1;
    InvalidateRect(hwnd, nullptr, TRUE);
}

TVITEMW Describe(const Node* n, bool selected)
{
    TVITEMW it{};
    it.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    it.stateMask = TVIS_SELECTED | TVIS_EXPANDED;
    if (n) {
        it.hItem = Handle(n);
        it.state = n->state | (selected ? TVIS_SELECTED : 0);
        it.lParam = n->param;
    }
    return it;
}

// Makes `n` (null: none) the selected item and tells the parent when that changed.
void Select(HWND hwnd, Tree& t, Node* n, UINT action)
{
    if (t.selected == n)
        return;
    Node* old = t.selected;
    t.selected = n;
    if (n)
        EnsureVisible(hwnd, t, n);
    InvalidateRect(hwnd, nullptr, TRUE);
    NMTREEVIEWW nm{};
    nm.hdr.hwndFrom = hwnd;
    nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(hwnd));
    nm.hdr.code = TVN_SELCHANGEDW;
    nm.action = action;
    nm.itemOld = Describe(old, false);
    nm.itemNew = Describe(n, true);
    if (HWND parent = GetParent(hwnd))
        SendMessageW(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

bool IsWithin(const Node* n, const Node* ancestor)
{
    for (const Node* p = n; p; p = p->parent)
        if (p == ancestor)
            return true;
    return false;
}

bool Expand(HWND hwnd, Tree& t, Node* n, UINT code)
{
    const bool open = code == TVE_EXPAND || (code == TVE_TOGGLE && !Expanded(n));
    if (code != TVE_EXPAND && code != TVE_COLLAPSE && code != TVE_TOGGLE)
        return false;
    if (open)
        n->state |= TVIS_EXPANDED;
    else
        n->state &= ~static_cast<UINT>(TVIS_EXPANDED);
    // A selection hidden by the collapse moves to the collapsed item.
    if (!open && t.selected && t.selected != n && IsWithin(t.selected, n))
        Select(hwnd, t, n, TVC_UNKNOWN);
    t.top = std::clamp(t.top, 0, std::max(0, static_cast<int>(VisibleRows(t).size()) - 1));
    InvalidateRect(hwnd, nullptr, TRUE);
    return true;
}

void Forget(Tree& t, Node* n)
{
    for (auto& c : n->children)
        Forget(t, c.get());
    t.live.erase(n);
    if (t.selected == n)
        t.selected = nullptr;
}

// Removes an item and everything under it (TVI_ROOT or null: every item). A removed selection
// leaves the tree without one; the parent is not told, as the items it would hear of are gone.
bool Delete(HWND hwnd, Tree& t, HTREEITEM item)
{
    if (!item || item == TVI_ROOT) {
        t.roots.clear();
        t.live.clear();
        t.selected = nullptr;
        t.top = 0;
    } else {
        Node* n = NodeOf(t, item);
        if (!n)
            return false;
        Forget(t, n);
        auto& level = Siblings(t, n);
        level.erase(std::find_if(level.begin(), level.end(), [n](const auto& p) { return p.get() == n; }));
        t.top = std::clamp(t.top, 0, std::max(0, static_cast<int>(VisibleRows(t).size()) - 1));
    }
    InvalidateRect(hwnd, nullptr, TRUE);
    return true;
}

void Apply(Node* n, const TVITEMW& it)
{
    if ((it.mask & TVIF_TEXT) && it.pszText)
        n->text = it.pszText;
    if (it.mask & TVIF_PARAM)
        n->param = it.lParam;
    if (it.mask & TVIF_IMAGE)
        n->image = it.iImage;
    if (it.mask & TVIF_SELECTEDIMAGE)
        n->selectedImage = it.iSelectedImage;
    if (it.mask & TVIF_STATE)
        n->state = (n->state & ~(it.stateMask & TVIS_EXPANDED)) | (it.state & it.stateMask & TVIS_EXPANDED);
}

HTREEITEM Insert(HWND hwnd, Tree& t, const TVINSERTSTRUCTW* ins)
{
    if (!ins)
        return nullptr;
    Node* parent = nullptr;
    if (ins->hParent && ins->hParent != TVI_ROOT) {
        parent = NodeOf(t, ins->hParent);
        if (!parent)
            return nullptr;
    }
    auto& level = parent ? parent->children : t.roots;
    auto where = level.end();
    if (ins->hInsertAfter == TVI_FIRST) {
        where = level.begin();
    } else if (ins->hInsertAfter && ins->hInsertAfter != TVI_LAST && ins->hInsertAfter != TVI_ROOT) {
        auto* after = reinterpret_cast<Node*>(ins->hInsertAfter);
        auto it = std::find_if(level.begin(), level.end(), [after](const auto& p) { return p.get() == after; });
        if (it != level.end())
            where = it + 1;
    }
    auto node = std::make_unique<Node>();
    node->parent = parent;
    Apply(node.get(), ins->item);
    Node* raw = node.get();
    level.insert(where, std::move(node));
    t.live.insert(raw);
    InvalidateRect(hwnd, nullptr, TRUE);
    return Handle(raw);
}

Node* Neighbour(Tree& t, Node* n, int step)
{
    auto& level = Siblings(t, n);
    auto it = std::find_if(level.begin(), level.end(), [n](const auto& p) { return p.get() == n; });
    const auto i = (it - level.begin()) + step;
    return i >= 0 && i < static_cast<long>(level.size()) ? level[static_cast<size_t>(i)].get() : nullptr;
}

Node* VisibleStep(Tree& t, Node* n, int step)
{
    auto rows = VisibleRows(t);
    const int row = RowOf(t, n);
    const int next = row + step;
    return row >= 0 && next >= 0 && next < static_cast<int>(rows.size()) ? rows[static_cast<size_t>(next)] : nullptr;
}

HTREEITEM Next(Tree& t, UINT code, HTREEITEM item)
{
    if (code == TVGN_ROOT)
        return t.roots.empty() ? nullptr : Handle(t.roots.front().get());
    if (code == TVGN_CARET)
        return t.selected ? Handle(t.selected) : nullptr;
    if (code == TVGN_FIRSTVISIBLE) {
        auto rows = VisibleRows(t);
        return t.top < static_cast<int>(rows.size()) ? Handle(rows[static_cast<size_t>(t.top)]) : nullptr;
    }
    if (code == TVGN_CHILD && (!item || item == TVI_ROOT))
        return t.roots.empty() ? nullptr : Handle(t.roots.front().get());
    Node* n = NodeOf(t, item);
    if (!n)
        return nullptr;
    switch (code) {
    case TVGN_NEXT: return Handle(Neighbour(t, n, 1));
    case TVGN_PREVIOUS: return Handle(Neighbour(t, n, -1));
    case TVGN_PARENT: return Handle(n->parent);
    case TVGN_CHILD: return n->children.empty() ? nullptr : Handle(n->children.front().get());
    case TVGN_NEXTVISIBLE: return Handle(VisibleStep(t, n, 1));
    case TVGN_PREVIOUSVISIBLE: return Handle(VisibleStep(t, n, -1));
    default: return nullptr;
    }
}

BOOL GetItem(Tree& t, TVITEMW* it)
{
    if (!it)
        return FALSE;
    Node* n = NodeOf(t, it->hItem);
    if (!n)
        return FALSE;
    if ((it->mask & TVIF_TEXT) && it->pszText && it->cchTextMax > 0) {
        const size_t count = std::min(n->text.size(), static_cast<size_t>(it->cchTextMax - 1));
        std::copy_n(n->text.c_str(), count, it->pszText);
        it->pszText[count] = L'\0';
    }
    if (it->mask & TVIF_PARAM)
        it->lParam = n->param;
    if (it->mask & TVIF_IMAGE)
        it->iImage = n->image;
    if (it->mask & TVIF_SELECTEDIMAGE)
        it->iSelectedImage = n->selectedImage;
    if (it->mask & TVIF_CHILDREN)
        it->cChildren = n->children.empty() ? 0 : 1;
    if (it->mask & TVIF_STATE)
        it->state = (n->state | (t.selected == n ? TVIS_SELECTED : 0)) & it->stateMask;
    return TRUE;
}

void Paint(HWND hwnd, Tree& t)
{
    quiva::ui::detail::ControlPaint p(hwnd, RGB(0xFF, 0xFF, 0xFF));
    if (!p)
        return;
    const RECT rc = p.client;
    const DWORD style = static_cast<DWORD>(GetWindowLongW(hwnd, GWL_STYLE));
    const bool focused = GetFocus() == hwnd;
    const COLORREF line = RGB(0xA0, 0xA0, 0xA0);
    const HorizontalBar bar = BarOf(hwnd, t);
    t.left = std::clamp(t.left, 0, bar.range);
    const int bottom = bar.shown ? bar.track.top : rc.bottom;
    auto rows = VisibleRows(t);
    for (int r = t.top; r < static_cast<int>(rows.size()); ++r) {
        const Node* n = rows[static_cast<size_t>(r)];
        const int y = (r - t.top) * kTreeRowHeight;
        if (y >= bottom)
            break;
        const int x = IndentOf(hwnd, n) - t.left;
        const int mid = y + kTreeRowHeight / 2;
        if ((style & TVS_HASBUTTONS) && !n->children.empty() && (n->parent || (style & TVS_LINESATROOT))) {
            const int bx = x - kIndent + (kIndent - kButtonBox) / 2;
            const RECT box{bx, mid - kButtonBox / 2, bx + kButtonBox, mid - kButtonBox / 2 + kButtonBox};
            p.Frame(box, line);
            p.Fill(RECT{box.left + 2, mid, box.right - 2, mid + 1}, line);
            if (!Expanded(n))
                p.Fill(RECT{bx + kButtonBox / 2, box.top + 2, bx + kButtonBox / 2 + 1, box.bottom - 2}, line);
        }
        const bool sel = t.selected == n && (focused || (style & TVS_SHOWSELALWAYS));
        if (sel)
            p.Fill(RECT{x - 2, y, rc.right, y + kTreeRowHeight}, focused ? RGB(0x33, 0x66, 0xCC) : RGB(0xD8, 0xD8, 0xD8));
        p.Text(n->text.c_str(), RECT{x, y, rc.right, y + kTreeRowHeight},
               DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX,
               sel && focused ? RGB(0xFF, 0xFF, 0xFF) : RGB(0, 0, 0));
    }
    if (bar.shown) {
        p.Fill(bar.track, RGB(0xF0, 0xF0, 0xF0));
        p.Fill(bar.thumb, t.dragging ? RGB(0xA0, 0xA0, 0xA0) : RGB(0xC8, 0xC8, 0xC8));
        p.Frame(bar.thumb, line);
    }
}

void OnClick(HWND hwnd, Tree& t, LPARAM lParam)
{
    SetFocus(hwnd);
    const HorizontalBar bar = BarOf(hwnd, t);
    t.left = std::clamp(t.left, 0, bar.range);
    if (bar.shown && GET_Y_LPARAM(lParam) >= bar.track.top) {
        // The thumb is taken to be dragged; the track on either side of it pages.
        const int x = GET_X_LPARAM(lParam);
        if (x >= bar.thumb.left && x < bar.thumb.right) {
            t.dragging = true;
            t.grab = x - bar.thumb.left;
            SetCapture(hwnd);
            InvalidateRect(hwnd, nullptr, TRUE);
        } else {
            const int page = bar.track.right - bar.track.left - kIndent;
            ScrollTo(hwnd, t, t.left + (x < bar.thumb.left ? -page : page));
        }
        return;
    }
    auto rows = VisibleRows(t);
    const int row = t.top + GET_Y_LPARAM(lParam) / kTreeRowHeight;
    if (GET_Y_LPARAM(lParam) < 0 || row >= static_cast<int>(rows.size()))
        return;
    Node* n = rows[static_cast<size_t>(row)];
    const int x = GET_X_LPARAM(lParam) + t.left;
    const int itemLeft = IndentOf(hwnd, n);
    // The button column in front of the item toggles it; the rest of the row selects it.
    if (x < itemLeft && x >= itemLeft - kIndent) {
        if (!n->children.empty())
            Expand(hwnd, t, n, TVE_TOGGLE);
        return;
    }
    if (x >= itemLeft - 2)
        Select(hwnd, t, n, TVC_BYMOUSE);
}

bool OnKey(HWND hwnd, Tree& t, WPARAM vk)
{
    auto rows = VisibleRows(t);
    if (rows.empty())
        return false;
    Node* cur = t.selected;
    Node* to = nullptr;
    switch (vk) {
    case VK_UP: to = cur ? VisibleStep(t, cur, -1) : rows.front(); break;
    case VK_DOWN: to = cur ? VisibleStep(t, cur, 1) : rows.front(); break;
    case VK_HOME: to = rows.front(); break;
    case VK_END: to = rows.back(); break;
    case VK_PRIOR: to = cur ? rows[static_cast<size_t>(std::max(0, RowOf(t, cur) - RowsInView(hwnd, t) + 1))] : rows.front(); break;
    case VK_NEXT:
        to = cur ? rows[static_cast<size_t>(std::min<int>(static_cast<int>(rows.size()) - 1, RowOf(t, cur) + RowsInView(hwnd, t) - 1))]
                 : rows.front();
        break;
    case VK_LEFT:
        if (!cur)
            return true;
        if (Expanded(cur) && !cur->children.empty())
            Expand(hwnd, t, cur, TVE_COLLAPSE);
        else
            to = cur->parent;
        break;
    case VK_RIGHT:
        if (!cur || cur->children.empty())
            return true;
        if (!Expanded(cur))
            Expand(hwnd, t, cur, TVE_EXPAND);
        else
            to = cur->children.front().get();
        break;
    case VK_ADD:
    case VK_SUBTRACT:
        if (cur && !cur->children.empty())
            Expand(hwnd, t, cur, vk == VK_ADD ? TVE_EXPAND : TVE_COLLAPSE);
        return true;
    default:
        return false;
    }
    if (to)
        Select(hwnd, t, to, TVC_BYKEYBOARD);
    return true;
}

LRESULT CALLBACK TreeProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_NCDESTROY) {
        std::unique_ptr<Tree> gone;
        {
            std::lock_guard<std::mutex> l(TreesLock());
            auto it = Trees().find(hwnd);
            if (it != Trees().end()) {
                gone = std::move(it->second);
                Trees().erase(it);
            }
        }
        return DefWindowProcW(hwnd, msg, wParam, lParam);
    }
    Tree& t = *TreeOf(hwnd);
    switch (msg) {
    case WM_PAINT: Paint(hwnd, t); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: OnClick(hwnd, t, lParam); return 0;
    case WM_MOUSEMOVE:
        if (t.dragging) {
            const HorizontalBar bar = BarOf(hwnd, t);
            const int free = (bar.track.right - bar.track.left) - (bar.thumb.right - bar.thumb.left);
            if (bar.shown && free > 0)
                ScrollTo(hwnd, t, (GET_X_LPARAM(lParam) - t.grab - bar.track.left) * bar.range / free);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (t.dragging)
            ReleaseCapture();
        return 0;
    case WM_CAPTURECHANGED:
        if (t.dragging) {
            t.dragging = false;
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        break;
    case WM_KEYDOWN:
        if (OnKey(hwnd, t, wParam))
            return 0;
        break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_SIZE: InvalidateRect(hwnd, nullptr, TRUE); break;
    case WM_MOUSEWHEEL: {
        const int step = -static_cast<short>(HIWORD(wParam)) / 120 * 3;
        // With Shift held the wheel scrolls the rows sideways.
        if (LOWORD(wParam) & MK_SHIFT) {
            ScrollTo(hwnd, t, t.left + step * kIndent);
            return 0;
        }
        const int rows = static_cast<int>(VisibleRows(t).size());
        t.top = std::clamp(t.top + step, 0, std::max(0, rows - RowsInView(hwnd, t)));
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
    }
    case TVM_INSERTITEMW: return reinterpret_cast<LRESULT>(Insert(hwnd, t, reinterpret_cast<const TVINSERTSTRUCTW*>(lParam)));
    case TVM_DELETEITEM: return Delete(hwnd, t, reinterpret_cast<HTREEITEM>(lParam));
    case TVM_EXPAND: {
        Node* n = NodeOf(t, reinterpret_cast<HTREEITEM>(lParam));
        return n && Expand(hwnd, t, n, static_cast<UINT>(wParam));
    }
    case TVM_GETCOUNT: return static_cast<LRESULT>(t.live.size());
    case TVM_GETNEXTITEM: return reinterpret_cast<LRESULT>(Next(t, static_cast<UINT>(wParam), reinterpret_cast<HTREEITEM>(lParam)));
    case TVM_SELECTITEM: {
        if (wParam != TVGN_CARET)
            return FALSE;
        Node* n = nullptr;
        if (lParam && !(n = NodeOf(t, reinterpret_cast<HTREEITEM>(lParam))))
            return FALSE;
        Select(hwnd, t, n, TVC_UNKNOWN);
        return TRUE;
    }
    case TVM_ENSUREVISIBLE: {
        Node* n = NodeOf(t, reinterpret_cast<HTREEITEM>(lParam));
        if (!n)
            return FALSE;
        EnsureVisible(hwnd, t, n);
        return TRUE;
    }
    case TVM_GETITEMRECT: {
        auto* r = reinterpret_cast<RECT*>(lParam);
        Node* n = r ? NodeOf(t, *reinterpret_cast<HTREEITEM*>(r)) : nullptr;
        const int row = n ? RowOf(t, n) : -1;
        if (row < 0)
            return FALSE;
        RECT client{};
        GetClientRect(hwnd, &client);
        const int y = (row - t.top) * kTreeRowHeight;
        *r = RECT{wParam ? IndentOf(hwnd, n) - t.left : 0, y, client.right, y + kTreeRowHeight};
        return TRUE;
    }
    case TVM_GETITEMW: return GetItem(t, reinterpret_cast<TVITEMW*>(lParam));
    case TVM_SETITEMW: {
        auto* it = reinterpret_cast<TVITEMW*>(lParam);
        Node* n = it ? NodeOf(t, it->hItem) : nullptr;
        if (!n)
            return FALSE;
        Apply(n, *it);
        InvalidateRect(hwnd, nullptr, TRUE);
        return TRUE;
    }
    default: break;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace

namespace quiva::ui {

bool RegisterTreeViewClass()
{
    return detail::RegisterOwnClass(WC_TREEVIEWW, TreeProc, CS_DBLCLKS);
}

}  // namespace quiva::ui
