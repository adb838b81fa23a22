#include <gtest/gtest.h>

#include <memory>

#include "framework/CKXCtrlTheme.h"
#include "platform/base/codepage.h"
#include "tests/support/TempDir.h"

using quiva::test::ReadAll;
using quiva::test::ScopedEnv;
using quiva::test::TempDir;
using quiva::test::WriteAll;

namespace {

// A theme with the built-in values, not the process one.
std::unique_ptr<CKXCtrlTheme> DefaultTheme()
{
    auto t = std::make_unique<CKXCtrlTheme>();
    t->LoadDefaults();
    return t;
}

void ExpectSameState(const _KXCtrlStateStyle& a, const _KXCtrlStateStyle& b, const char* what)
{
    EXPECT_EQ(a.back, b.back) << what;
    EXPECT_EQ(a.fore, b.fore) << what;
    EXPECT_EQ(a.noBack, b.noBack) << what;
    EXPECT_FLOAT_EQ(a.width, b.width) << what;
}

void ExpectSameFont(const _KXCtrlFont& a, const _KXCtrlFont& b, const char* what)
{
    EXPECT_EQ(a.name, b.name) << what;
    EXPECT_FLOAT_EQ(a.size, b.size) << what;
    EXPECT_EQ(a.style, b.style) << what;
    EXPECT_EQ(a.color, b.color) << what;
}

// Writes a theme file holding only `body` under the root.
void WriteTheme(const TempDir& dir, const std::string& name, const std::string& body, const char* root = "KXTheme")
{
    WriteAll(dir.Native(name), std::string("<?xml version=\"1.0\" encoding=\"euc-kr\"?><") + root + " version=\"1.0\">" +
                                   body + "</" + root + ">");
}

}  // namespace

TEST(CKXCtrlTheme, DefaultsAndCaptionIcons)
{
    auto t = DefaultTheme();
    EXPECT_EQ(t->captionActive.back, 0xFF324650u);
    EXPECT_EQ(t->captionActiveFont.style, 1);
    EXPECT_FLOAT_EQ(t->captionActiveFont.size, 10.0f);
    EXPECT_EQ(t->captionActiveFont.name, L"맑은 고딕");
    EXPECT_EQ(t->window.style.back, 0xFF0A1E28u);
    EXPECT_EQ(t->window.font.color, 0xFFC8C8C8u);
    EXPECT_EQ(t->standard[KXSTANDARD_NORMAL].style.fore, 0x14B4B4B4u);
    EXPECT_EQ(t->standard[KXSTANDARD_NORMAL].style.noBack, 1);
    EXPECT_EQ(t->edit[KXEDIT_FOCUS].style.fore, 0xFFA0A0A0u);
    EXPECT_EQ(t->exitButton.pressed.back, 0xFFA00000u);
    EXPECT_EQ(t->exitButton.pressed.noBack, 0);
    EXPECT_EQ(t->minimizeButton.pressed.back, 0x00000000u);
    EXPECT_FLOAT_EQ(t->minimizeButton.over.width, 2.0f);
    EXPECT_EQ(t->smallButtonColor[KXSMALL_DISABLE], 0xFF303030u);
    EXPECT_EQ(t->calendarFont[6].style, 1);
    EXPECT_EQ(t->calendarFont[5].color, 0xFF501414u);

    // The four icons come from the capture module's resources; the setting button has none.
    EXPECT_NE(t->minimizeButton.icon.icon, nullptr);
    EXPECT_NE(t->maximizeButton.icon.icon, nullptr);
    EXPECT_NE(t->restoreButton.icon.icon, nullptr);
    EXPECT_NE(t->exitButton.icon.icon, nullptr);
    EXPECT_EQ(t->exitButton.icon.resourceId, 10001);
    EXPECT_EQ(t->exitButton.icon.cx, 16);
    EXPECT_EQ(t->settingButton.icon.icon, nullptr);
    // Loading the defaults again replaces the icons without leaking the old ones.
    t->LoadDefaults();
    EXPECT_NE(t->exitButton.icon.icon, nullptr);

    EXPECT_FLOAT_EQ(t->GetCaptionButtonSize().Width, 20.0f);
    t->captionButtonSize = 3;
    EXPECT_FLOAT_EQ(t->GetCaptionButtonSize().Height, 52.0f);
    t->captionButtonSize = 4;
    EXPECT_TRUE(t->GetCaptionButtonSize().IsEmptyArea());
    t->captionButtonSize = -1;
    EXPECT_TRUE(t->GetCaptionButtonSize().IsEmptyArea());
}

TEST(CKXCtrlTheme, SingletonPointerIsClearedWhenDeleted)
{
    CKXCtrlTheme* first = CKXCtrlTheme::GetInstance();
    EXPECT_EQ(CKXCtrlTheme::GetInstance(), first);
    EXPECT_EQ(first->window.style.back, 0xFF0A1E28u);
    delete first;  // what the exit routine does
    CKXCtrlTheme* second = CKXCtrlTheme::GetInstance();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->window.style.back, 0xFF0A1E28u);
    // A theme that is not the process one leaves the process pointer alone.
    delete new CKXCtrlTheme();
    EXPECT_EQ(CKXCtrlTheme::GetInstance(), second);
}

TEST(CKXCtrlTheme, ConstructionSetsTheKoreanCodePage)
{
    quiva::SetAnsiCodePage(1252);
    CKXCtrlTheme t;
    EXPECT_EQ(GetACP(), 949u);
}

TEST(CKXCtrlTheme, SaveAndLoadRoundTrip)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    auto saved = DefaultTheme();
    saved->window.font.name = L"나눔고딕";
    saved->window.font.size = 12.34f;
    saved->window.font.style = 2 | 8;
    saved->calendar[2].width = 3.25f;
    saved->Save(L"c:\\theme.xml");

    std::string file = ReadAll(dir.Native("theme.xml"));
    EXPECT_NE(file.find("encoding=\"euc-kr\""), std::string::npos);
    EXPECT_NE(file.find("<KXTheme version=\"1.0\">"), std::string::npos);
    EXPECT_NE(file.find("color=\"324650\""), std::string::npos);
    EXPECT_NE(file.find("size=\"12.3\""), std::string::npos);
    EXPECT_NE(file.find(quiva::WideToMultiByte(L"나눔고딕", 949)), std::string::npos);
    // Elements appear in the order they are written.
    EXPECT_LT(file.find("<caption>"), file.find("<button>"));
    EXPECT_LT(file.find("<button>"), file.find("<window>"));
    EXPECT_LT(file.find("<standard>"), file.find("<edit>"));
    EXPECT_LT(file.find("<header>"), file.find("<calendar>"));

    CKXCtrlTheme loaded;  // default-constructed values, all different from the saved ones
    loaded.Load(L"c:\\theme.xml");
    ExpectSameState(loaded.captionActive, saved->captionActive, "caption");
    ExpectSameFont(loaded.captionInactiveFont, saved->captionInactiveFont, "caption font");
    EXPECT_EQ(loaded.window.font.name, L"나눔고딕");
    EXPECT_FLOAT_EQ(loaded.window.font.size, 12.3f);
    EXPECT_EQ(loaded.window.font.style, 10);
    EXPECT_FLOAT_EQ(loaded.calendar[2].width, 3.2f);  // one decimal, as written
    for (int i = 0; i < 5; ++i) {
        ExpectSameFont(loaded.standard[i].font, saved->standard[i].font, "standard font");
        ExpectSameState(loaded.edit[i].style, saved->edit[i].style, "edit");
    }
    for (int i = 0; i < 4; ++i) {
        ExpectSameState(loaded.list[i].style, saved->list[i].style, "list");
        ExpectSameFont(loaded.header[i].font, saved->header[i].font, "header font");
        EXPECT_EQ(loaded.smallButtonColor[i], saved->smallButtonColor[i]);
    }
    for (int i = 0; i < 8; ++i)
        ExpectSameFont(loaded.calendarFont[i], saved->calendarFont[i], "calendar font");
    EXPECT_EQ(loaded.editSelectColor, saved->editSelectColor);
    EXPECT_EQ(loaded.checkUncheckedColor, saved->checkUncheckedColor);
    EXPECT_EQ(loaded.listGridColor, saved->listGridColor);
    ExpectSameState(loaded.exitButton.over, saved->exitButton.over, "exit over");
    // Alpha is not stored: transparent and translucent colours come back opaque.
    EXPECT_EQ(loaded.minimizeButton.normal.back, 0xFF000000u);
    EXPECT_EQ(loaded.standard[KXSTANDARD_NORMAL].style.fore, 0xFFB4B4B4u);
    // Icons are not part of the file.
    EXPECT_EQ(loaded.exitButton.icon.icon, nullptr);
}

TEST(CKXCtrlTheme, ReadingRulesPerValue)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    WriteTheme(dir, "t.xml",
               "<window><back color=\"1e1e1e\" noBack=\"yes\"/><fore color=\"#1E1E1E\"/>"
               "<font name=\"\" bold=\"1\" italic=\"0\" underline=\"0\" size=\"abc\"/></window>"
               "<control><standard><normal><back color=\"1E1E1\"/><fore color=\"80102030\" width=\"2.5\"/></normal>"
               "<pressed><back color=\"GGGGGG\" noBack=\"1\"/></pressed></standard>"
               "<edit selectColor=\"AbCdEf\"/></control>",
               "SomethingElse");
    auto t = DefaultTheme();
    auto before = DefaultTheme();
    t->Load(L"c:\\t.xml");
    EXPECT_EQ(t->window.style.back, 0xFF1E1E1Eu);                // lower-case digits
    EXPECT_EQ(t->window.style.noBack, before->window.style.noBack);  // neither 1 nor 0
    EXPECT_EQ(t->window.style.fore, before->window.style.fore);      // number sign
    EXPECT_FLOAT_EQ(t->window.style.width, before->window.style.width);  // no width: kept
    EXPECT_EQ(t->window.font.name, L"맑은 고딕");                    // empty name: kept
    EXPECT_EQ(t->window.font.style, before->window.font.style);      // strikeout missing: style kept
    EXPECT_FLOAT_EQ(t->window.font.size, 9.0f);                      // not a number: kept
    EXPECT_EQ(t->standard[0].style.back, before->standard[0].style.back);  // five digits
    EXPECT_EQ(t->standard[0].style.fore, 0x80102030u);                      // AARRGGBB as written
    EXPECT_FLOAT_EQ(t->standard[0].style.width, 2.5f);
    EXPECT_EQ(t->standard[1].style.back, before->standard[1].style.back);  // letter beyond F
    EXPECT_EQ(t->standard[1].style.noBack, 1);
    EXPECT_EQ(t->editSelectColor, 0xFFABCDEFu);
    EXPECT_EQ(t->list[0].style.back, before->list[0].style.back);  // absent elements change nothing
}

TEST(CKXCtrlTheme, UnreadableFilesChangeNothing)
{
    TempDir dir;
    ScopedEnv c("QUIVA_DRIVE_C", dir.path());
    WriteAll(dir.Native("broken.xml"), "<KXTheme><window><back color=\"FFFFFF\"/>");
    auto t = DefaultTheme();
    t->Load(L"c:\\broken.xml");
    EXPECT_EQ(t->window.style.back, 0xFF0A1E28u);
    t->Load(L"c:\\missing.xml");
    EXPECT_EQ(t->window.style.back, 0xFF0A1E28u);
    t->Save(L"c:\\no\\such\\folder\\theme.xml");  // reports nothing, writes nothing
    EXPECT_TRUE(ReadAll(dir.Native("no/such/folder/theme.xml")).empty());
}
