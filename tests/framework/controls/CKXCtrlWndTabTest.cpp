#include "framework/CKXCtrlWndTab.h"

#include "tests/support/framework/ControlTestSupport.h"

using namespace quiva::test;
using Gdiplus::PointF;

namespace {

class Page : public CKXCtrlWnd {
public:
    explicit Page(std::vector<std::string>* log, std::string name) : log(log), name(std::move(name)) {}
    void OnPageClose() override { log->push_back("close " + name); }
    std::vector<std::string>* log;
    std::string name;
};

class Strip : public CKXCtrlWndTab {
public:
    void ShowTabPage(CKXCtrlWnd* page) override { shown = page; }
    BOOL CanCloseTab(CKXCtrlTabItem* item, CKXCtrlCursor*) override
    {
        log.push_back("ask");
        return allowClose && item;
    }
    CKXCtrlWnd* shown = nullptr;
    bool allowClose = true;
    std::vector<std::string> log;
};

class TabTest : public ::testing::Test {
protected:
    void SetUp() override { strip.Create(0, 0, 0, 500, 300); }
    void Add(int count, int closable = 1)
    {
        for (int i = 0; i < count; ++i) {
            pages.push_back(std::make_unique<Page>(&strip.log, std::to_string(strip.tabs.size())));
            strip.AddTab(CString(L"탭"), pages.back().get(), closable);
        }
    }
    void Click(float px, float py)
    {
        BOOL handled = 0;
        strip.OnLButtonDown(px, py, &handled, &ctx);
        handled = 0;
        strip.OnLButtonUp(px, py, &handled, &ctx);
    }
    int SelectedCount() const
    {
        int n = 0;
        for (auto* t : strip.tabs)
            n += t->selected ? 1 : 0;
        return n;
    }
    Strip strip;
    std::vector<std::unique_ptr<Page>> pages;
    CKXCtrlCursor ctx;
};

}  // namespace

TEST_F(TabTest, OverflowArrowsScrollByHalfATabWithinTheRow)
{
    Add(4);
    EXPECT_TRUE(strip.overflow);
    const float arrowY = strip.rightArrowRect.Y + 8;
    Click(strip.rightArrowRect.X + 8, arrowY);
    EXPECT_FLOAT_EQ(strip.scrollOffset, -75.0f);
    for (int i = 0; i < 5; ++i)
        Click(strip.rightArrowRect.X + 8, arrowY);
    EXPECT_FLOAT_EQ(strip.scrollOffset, 500.0f - 600.0f - 32.0f);
    for (int i = 0; i < 5; ++i)
        Click(strip.leftArrowRect.X + 8, arrowY);
    EXPECT_FLOAT_EQ(strip.scrollOffset, 0.0f);

    Click(strip.rightArrowRect.X + 8, arrowY);
    strip.SetSize(700, 300);
    EXPECT_FALSE(strip.overflow);
    EXPECT_FLOAT_EQ(strip.scrollOffset, 0.0f);
}

TEST_F(TabTest, ClickSelectsOneTabAndPressAndReleaseMustMeet)
{
    Add(3);
    Click(5 + 150 + 40, 17);
    EXPECT_EQ(strip.selectedIndex, 1);
    EXPECT_EQ(strip.shown, pages[1].get());
    EXPECT_EQ(SelectedCount(), 1);

    BOOL handled = 0;
    strip.OnLButtonDown(5 + 40, 17, &handled, &ctx);
    strip.OnLButtonUp(5 + 300 + 40, 17, &handled, &ctx);
    EXPECT_EQ(strip.selectedIndex, 1);
    EXPECT_EQ(SelectedCount(), 1);

    strip.SelectTab(2);
    strip.SelectTab(7);
    EXPECT_EQ(strip.selectedIndex, 2);
    EXPECT_EQ(SelectedCount(), 1);
}

TEST_F(TabTest, ClosingAskTheStripAndRemovesTheTabAfterItsHandler)
{
    Add(1);
    const float closeX = 5 + 150 - 10, closeY = 17;
    Click(closeX, closeY);  // a single tab has no close mark
    EXPECT_EQ(strip.tabs.size(), 1u);
    EXPECT_TRUE(strip.log.empty());

    Add(2);
    strip.SelectTab(2);
    strip.allowClose = false;
    Click(closeX, closeY);
    EXPECT_EQ(strip.tabs.size(), 3u);
    strip.allowClose = true;
    strip.log.clear();
    Click(closeX, closeY);  // closes tab 0 (under the sanitizers a use after free would show)
    EXPECT_EQ(strip.log, (std::vector<std::string>{"ask", "close 0"}));
    ASSERT_EQ(strip.tabs.size(), 2u);
    // The selected tab is kept and stays the only selected one.
    EXPECT_EQ(strip.tabs[static_cast<size_t>(strip.selectedIndex)]->page, pages[2].get());
    EXPECT_EQ(SelectedCount(), 1);
    EXPECT_EQ(strip.pressedTab, -1);
    EXPECT_EQ(strip.hoverTab, -1);
}

TEST_F(TabTest, RemovingTheSelectedTabSelectsItsNeighbour)
{
    Add(3);
    strip.SelectTab(0);
    strip.RemoveTab(strip.tabs[0]);
    EXPECT_EQ(strip.selectedIndex, 0);
    EXPECT_EQ(strip.shown, pages[1].get());
    Add(1);
    strip.SelectTab(2);
    strip.RemoveTab(strip.tabs[2]);
    EXPECT_EQ(strip.selectedIndex, 1);
    EXPECT_EQ(SelectedCount(), 1);
    strip.RemoveTab(strip.tabs[0]);
    strip.RemoveTab(strip.tabs[0]);
    EXPECT_TRUE(strip.tabs.empty());
    EXPECT_FLOAT_EQ(strip.originY, 0.0f);
}

TEST_F(TabTest, OutlineRunsAroundTheSelectedSpan)
{
    Add(2);
    PointF p[6];
    strip.TabShapePoints(80, 230, p);
    // tabArea: y 5, height 25.
    EXPECT_FLOAT_EQ(p[0].Y, 30.0f);
    EXPECT_FLOAT_EQ(p[1].X, 80.0f);
    EXPECT_FLOAT_EQ(p[2].Y, 5.0f);
    EXPECT_FLOAT_EQ(p[3].X, 230.0f);
    EXPECT_FLOAT_EQ(p[5].X, 500.0f);
    strip.TabShapePoints(400, 520, p);
    EXPECT_FLOAT_EQ(p[5].X, 525.0f);

    strip.side = 2;
    strip.RecalcLayout();
    strip.TabShapePoints(0, 0, p);
    EXPECT_FLOAT_EQ(p[0].X, 30.0f);
    EXPECT_FLOAT_EQ(p[5].Y, 300.0f);
}

TEST_F(TabTest, SideRowsPlaceTabsAndArrows)
{
    strip.side = 2;
    strip.SetSize(200, 300);
    Add(3);
    EXPECT_TRUE(strip.overflow);
    EXPECT_FLOAT_EQ(strip.tabArea.X, 5.0f);
    EXPECT_FLOAT_EQ(strip.originX, 30.0f);
    EXPECT_FLOAT_EQ(strip.leftArrowRect.Y, 280.0f);
    EXPECT_FLOAT_EQ(strip.leftArrowRect.GetRight(), strip.rightArrowRect.X);
    EXPECT_FLOAT_EQ(strip.TabRect(1).Y, 155.0f);
    // The close mark of a side tab sits at its top right.
    EXPECT_FLOAT_EQ(strip.tabs[0]->closeRect.Y, 4.0f);

    strip.side = 1;
    strip.RecalcLayout();
    EXPECT_FLOAT_EQ(strip.tabArea.Y, 270.0f);
    strip.side = 3;
    strip.RecalcLayout();
    EXPECT_FLOAT_EQ(strip.tabArea.X, 170.0f);
}
