// The settings dialog's tab control: the page below the strip, the mouse there, the page's size.
#include <gtest/gtest.h>

#include "app/ui/CKXQUIVASettingCtrlTab.h"

namespace {

// A page that notes where presses and releases reach it.
class ProbePage : public CKXCtrlWnd {
public:
    std::vector<std::pair<float, float>> downs, ups;
    int OnLButtonDown(float x, float y, BOOL*, CKXCtrlCursor*) override
    {
        downs.emplace_back(x, y);
        return 1;
    }
    int OnLButtonUp(float x, float y, BOOL*, CKXCtrlCursor*) override
    {
        ups.emplace_back(x, y);
        return 0;
    }
};

}  // namespace

TEST(SettingCtrlTab, TheSelectedPageLiesBelowTheStripAndGetsTheMouseThere)
{
    CKXQUIVASettingCtrlTab tab;
    tab.Create(0, 0, 0, 400, 300);
    ProbePage first, second;
    second.Create(2, 0, 0, 0, 0);
    tab.AddTab(L"first", &first, 0);
    tab.AddTab(L"second", &second, 0);
    tab.SetSize(400, 300);
    tab.SelectTab(0);
    const float strip = tab.PageTop();
    EXPECT_FLOAT_EQ(strip, tab.tabHeight);
    // A page not created yet is created over the page area; every page draws no background.
    EXPECT_EQ(first.created, 1);
    EXPECT_EQ(first.id, 9);
    EXPECT_FLOAT_EQ(first.height, 300 - strip);
    EXPECT_EQ(first.eraseBackground, 0);
    EXPECT_EQ(first.GetAbsoluteOrigin().Y, strip);

    BOOL handled = 0;
    tab.OnLButtonDown(50, strip + 40, &handled, nullptr);
    tab.OnLButtonUp(50, strip + 40, &handled, nullptr);
    ASSERT_EQ(first.downs.size(), 1u);
    EXPECT_FLOAT_EQ(first.downs[0].second, 40);
    EXPECT_EQ(first.ups.size(), 1u);
    // A press on the strip stays there; the page still hears the release.
    const Gdiplus::RectF secondTab = tab.TabRect(1);
    handled = 0;
    tab.OnLButtonDown(secondTab.X + 5, secondTab.Y + 5, &handled, nullptr);
    EXPECT_EQ(first.downs.size(), 1u);
    tab.SelectTab(1);
    EXPECT_EQ(tab.currentPage, &second);
    EXPECT_EQ(second.id, 2);
    tab.SetSize(500, 400);
    EXPECT_FLOAT_EQ(second.width, 500);
    EXPECT_FLOAT_EQ(second.height, 400 - strip);
    tab.RemoveAllTabs();
    EXPECT_EQ(first.parent, nullptr);
    EXPECT_EQ(tab.currentPage, nullptr);
}
