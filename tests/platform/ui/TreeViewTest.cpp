#include "platform/ui/treeview.h"

#include <string>

#include "tests/platform/ui/UiTestSupport.h"

using namespace quiva::test;
using quiva::ui::kTreeRowHeight;

namespace {

class TreeView : public UiTest {
protected:
    // A tree at (10, 10) 200x300 inside a popup at the screen origin, with
    // root / {devices / {cam A, cam B}, graphs / {g1}}, all expanded.
    void SetUp() override
    {
        UiTest::SetUp();
        parent = Top(0, 0, 400, 400);
        tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES |
                                   TVS_LINESATROOT | TVS_SHOWSELALWAYS, 10, 10, 200, 300, parent,
                               reinterpret_cast<HMENU>(1000), nullptr, nullptr);
        ASSERT_NE(tree, nullptr);
        root = Add(TVI_ROOT, L"root", 0);
        devices = Add(root, L"devices", 0);
        graphs = Add(root, L"graphs", 0);
        camA = Add(devices, L"cam A", 11);
        camB = Add(devices, L"cam B", 12);
        g1 = Add(graphs, L"g1", 21);
        for (HTREEITEM i : {root, devices, graphs})
            SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(i));
        quiva::ui::PumpPending();
        Clear();
    }
    HTREEITEM Add(HTREEITEM under, const wchar_t* text, LPARAM data, HTREEITEM after = TVI_LAST)
    {
        TVINSERTSTRUCTW ins{};
        ins.hParent = under;
        ins.hInsertAfter = after;
        ins.item.mask = TVIF_TEXT | TVIF_PARAM;
        ins.item.pszText = const_cast<wchar_t*>(text);
        ins.item.lParam = data;
        return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&ins)));
    }
    HTREEITEM Get(UINT code, HTREEITEM item = nullptr)
    {
        return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    std::wstring Text(HTREEITEM item)
    {
        wchar_t buf[64] = {};
        TVITEMW it{};
        it.mask = TVIF_TEXT;
        it.hItem = item;
        it.pszText = buf;
        it.cchTextMax = 64;
        return SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)) ? buf : L"<none>";
    }
    // The TVN_SELCHANGED notifications the parent got: (action, old data, new item, new data).
    struct Change {
        UINT action;
        LPARAM oldData;
        HTREEITEM item;
        LPARAM data;
    };
    std::vector<Change> changes;
    void Listen()
    {
        handlers[WM_NOTIFY] = [this](HWND, WPARAM id, LPARAM lParam, bool*) -> LRESULT {
            const auto* nm = reinterpret_cast<const NMTREEVIEWW*>(lParam);
            EXPECT_EQ(id, 1000u);
            EXPECT_EQ(nm->hdr.hwndFrom, tree);
            if (nm->hdr.code == TVN_SELCHANGEDW)
                changes.push_back({nm->action, nm->itemOld.lParam, nm->itemNew.hItem, nm->itemNew.lParam});
            return 0;
        };
    }
    // Screen point in the middle of the text of visible row `row`.
    void ClickRow(int row, int x = 120)
    {
        quiva::ui::InjectClick(10 + x, 10 + row * kTreeRowHeight + kTreeRowHeight / 2);
        quiva::ui::PumpPending();
    }
    void Key(UINT vk)
    {
        quiva::ui::InjectKeyStroke(vk);
        quiva::ui::PumpPending();
    }

    HWND parent = nullptr;
    HWND tree = nullptr;
    HTREEITEM root{}, devices{}, graphs{}, camA{}, camB{}, g1{};
};

}  // namespace

TEST_F(TreeView, ItemsAreWalkedAndReadInInsertionOrder)
{
    EXPECT_EQ(Get(TVGN_ROOT), root);
    EXPECT_EQ(Get(TVGN_CHILD, root), devices);
    EXPECT_EQ(Get(TVGN_NEXT, devices), graphs);
    EXPECT_EQ(Get(TVGN_NEXT, graphs), nullptr);
    EXPECT_EQ(Get(TVGN_PREVIOUS, graphs), devices);
    EXPECT_EQ(Get(TVGN_PARENT, camB), devices);
    EXPECT_EQ(Get(TVGN_PARENT, root), nullptr);
    EXPECT_EQ(Get(TVGN_NEXTVISIBLE, camB), graphs);
    EXPECT_EQ(Get(TVGN_CARET), nullptr);
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 6);

    HTREEITEM first = Add(devices, L"cam 0", 10, TVI_FIRST);
    EXPECT_EQ(Get(TVGN_CHILD, devices), first);
    HTREEITEM mid = Add(devices, L"cam A2", 13, camA);
    EXPECT_EQ(Get(TVGN_NEXT, camA), mid);
    EXPECT_EQ(Get(TVGN_NEXT, mid), camB);

    // Text is cut to the caller's buffer; data and text can be changed.
    wchar_t small[4];
    TVITEMW it{};
    it.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    it.hItem = devices;
    it.pszText = small;
    it.cchTextMax = 4;
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&it)));
    EXPECT_STREQ(small, L"dev");
    EXPECT_EQ(it.cChildren, 1);
    it.mask = TVIF_TEXT | TVIF_PARAM;
    it.pszText = const_cast<wchar_t*>(L"sources");
    it.lParam = 99;
    ASSERT_TRUE(SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&it)));
    EXPECT_EQ(Text(devices), L"sources");

    // A deleted item's handle is refused from then on, with everything that was under it.
    ASSERT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(devices)));
    EXPECT_EQ(Text(camA), L"<none>");
    EXPECT_EQ(Get(TVGN_CHILD, root), graphs);
    EXPECT_FALSE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(devices)));
    EXPECT_EQ(Add(camA, L"orphan", 0), nullptr);
    ASSERT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
    EXPECT_EQ(Get(TVGN_ROOT), nullptr);
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 0);
}

TEST_F(TreeView, ClicksAndKeysSelectAndTellTheParent)
{
    Listen();
    // Rows: 0 root, 1 devices, 2 cam A, 3 cam B, 4 graphs, 5 g1.
    ClickRow(2);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].action, static_cast<UINT>(TVC_BYMOUSE));
    EXPECT_EQ(changes[0].item, camA);
    EXPECT_EQ(changes[0].data, 11);
    EXPECT_EQ(Get(TVGN_CARET), camA);
    EXPECT_EQ(GetFocus(), tree);

    // The same item again: nothing new.
    ClickRow(2);
    EXPECT_EQ(changes.size(), 1u);

    Key(VK_DOWN);
    Key(VK_DOWN);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[2].action, static_cast<UINT>(TVC_BYKEYBOARD));
    EXPECT_EQ(changes[2].oldData, 12);
    EXPECT_EQ(changes[2].item, graphs);
    Key(VK_RIGHT);  // already open: to its first child
    EXPECT_EQ(Get(TVGN_CARET), g1);
    Key(VK_LEFT);  // no children: to its parent
    EXPECT_EQ(Get(TVGN_CARET), graphs);
    Key(VK_LEFT);  // open: collapses and stays
    EXPECT_EQ(Get(TVGN_CARET), graphs);
    EXPECT_EQ(Get(TVGN_NEXTVISIBLE, graphs), nullptr);
    Key(VK_HOME);
    EXPECT_EQ(Get(TVGN_CARET), root);
    Key(VK_END);
    EXPECT_EQ(Get(TVGN_CARET), graphs);

    // Selected by the program: told as well.
    changes.clear();
    ASSERT_TRUE(SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(g1)));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].action, static_cast<UINT>(TVC_UNKNOWN));
    EXPECT_EQ(changes[0].data, 21);
    // Selecting a hidden item opens its parent.
    EXPECT_EQ(Get(TVGN_NEXTVISIBLE, graphs), g1);
}

TEST_F(TreeView, ButtonsToggleAndCollapsingOrDeletingMovesTheSelectionSafely)
{
    Listen();
    ClickRow(3);  // cam B
    ASSERT_EQ(Get(TVGN_CARET), camB);
    // "devices" sits one level in, behind LINESATROOT: its button is the column before its text.
    const int buttonX = 2 + 1 * 19 + 9;
    ClickRow(1, buttonX);
    // Collapsed under the selection: the selection moves up to the collapsed item.
    EXPECT_EQ(Get(TVGN_NEXTVISIBLE, devices), graphs);
    EXPECT_EQ(Get(TVGN_CARET), devices);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[1].item, devices);
    ClickRow(1, buttonX);
    EXPECT_EQ(Get(TVGN_NEXTVISIBLE, devices), camA);
    EXPECT_EQ(Get(TVGN_CARET), devices);

    // Deleting the selected item (as refilling the tree does) leaves no selection and no
    // notification about items that are gone.
    ClickRow(5);
    changes.clear();
    SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
    EXPECT_EQ(Get(TVGN_CARET), nullptr);
    EXPECT_TRUE(changes.empty());
    // Clicks and keys on an empty tree do nothing.
    ClickRow(0);
    Key(VK_DOWN);
    EXPECT_TRUE(changes.empty());
    quiva::ui::PumpPending();
}
