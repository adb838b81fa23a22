#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "app/model/CKXQUIVAConfig.h"
#include "platform/ui/monitors.h"
#include "platform/ui/uisystem.h"
#include "tests/app/AppTestSupport.h"

using quiva::test::ReadAll;
using quiva::test::WriteAll;
using quiva::ui::MonitorArea;

namespace {

class LastSave : public AppMachine {
protected:
    LastSave() : m_screen(quiva::ui::VirtualScreen()), m_work(quiva::ui::WorkArea()) { g_bNoPrevent = 0; }
    ~LastSave() override
    {
        quiva::ui::SetMonitors({});
        quiva::ui::SetVirtualScreen(m_screen, m_work);
        g_bNoPrevent = 0;
    }
    void WriteLastSave(const std::string& body) { WriteAll(Exe("QUIVA.Capture.LastSave"), kHeader + body); }
    void WriteWindow(int x, int y)
    {
        WriteLastSave("<Last.Save><window x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) +
                      "\" width=\"1024\" height=\"700\"/></Last.Save>");
    }
    // The primary monitor at the origin and a second one left of it.
    void TwoMonitors()
    {
        quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
                                MonitorArea{{-1920, 0, 0, 1080}, {-1920, 0, 0, 1040}}});
    }
    void MoveCursor(int x, int y)
    {
        quiva::ui::InjectMouseMove(x, y);
        quiva::ui::PumpPending();
    }

    RECT m_screen, m_work;
    CKXQUIVAConfig c;
};

}  // namespace

TEST_F(LastSave, WithoutAFileTheWindowIsCentredOnTheCursorsMonitor)
{
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}});
    MoveCursor(100, 100);
    g_bNoPrevent = 1;
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 560);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 240);
    EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 800);
    EXPECT_EQ(c.GetPlacement().m_nWindowHeight, 600);
    EXPECT_EQ(c.GetPlacement().m_bThumbnailShow, 1);
    EXPECT_EQ(c.GetPlacement().m_nThumbnailSize, 200);
    EXPECT_TRUE(c.GetDeviceName().IsEmpty());
    EXPECT_EQ(g_bNoPrevent, 1);  // kept without a file
    EXPECT_FALSE(std::filesystem::exists(Exe("QUIVA.Capture.LastSave")));

    TwoMonitors();
    MoveCursor(-500, 300);
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, -1920 + 960 - 400);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 240);
}

TEST_F(LastSave, ANegativePositionStaysOnlyOnAnAttachedMonitor)
{
    TwoMonitors();
    struct Case {
        int x, y, expectedX, expectedY;
    } withLeft[] = {
        {-1700, 100, -1700, 100},
        {-1920, 0, -1920, 0},     // the edges count as inside
        {-1921, 100, 0, 100},
        {3000, 100, 3000, 100},   // only negative values are tested
        {100, -10, 100, 0},
        {-50, -10, 0, 0},
    };
    for (const Case& k : withLeft) {
        WriteWindow(k.x, k.y);
        c.LoadLastSave();
        EXPECT_EQ(c.GetPlacement().m_nWindowX, k.expectedX) << k.x << "," << k.y;
        EXPECT_EQ(c.GetPlacement().m_nWindowY, k.expectedY) << k.x << "," << k.y;
        EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 1024);
    }
    // The left monitor detached.
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}});
    WriteWindow(-1700, 100);
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 100);
}

TEST_F(LastSave, TheYTestUsesTheXAsRead)
{
    // A monitor above the primary one.
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
                            MonitorArea{{-100, -1080, 1820, 0}, {-100, -1080, 1820, -40}}});
    // x -50 lies on the upper monitor only together with y -10: it is pulled to 0 by the first
    // test, yet the second test still sees -50 and keeps y.
    WriteWindow(-50, -10);
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, -50);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, -10);
    WriteWindow(-150, -10);
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 0);
    // SetWindowRect follows the same rule.
    c.SetWindowRect(-150, -500, 640, 480);
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 640);
    c.SetWindowRect(-60, -500, 640, 480);
    EXPECT_EQ(c.GetPlacement().m_nWindowX, -60);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, -500);
}

TEST_F(LastSave, ALoadedFileWithoutValuesGivesZerosAndTheStripOff)
{
    g_bNoPrevent = 1;
    WriteLastSave("<Last.Save/>");
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 0);
    EXPECT_EQ(c.GetPlacement().m_nWindowHeight, 0);
    EXPECT_EQ(c.GetPlacement().m_bThumbnailShow, 0);
    EXPECT_EQ(c.GetPlacement().m_nThumbnailSize, 0);
    EXPECT_EQ(g_bNoPrevent, 0);
}

TEST_F(LastSave, OnlyExactTextsTurnTheStripAndDoNotDisturbOn)
{
    for (const char* text : {"TRUE", "yes", "true", "1"}) {
        WriteLastSave(std::string("<Last.Save><thumbnail show=\"") + text + "\"/><options noPrevent=\"" + text +
                      "\"/></Last.Save>");
        c.LoadLastSave();
        EXPECT_EQ(c.GetPlacement().m_bThumbnailShow, std::string(text) == "TRUE") << text;
        EXPECT_EQ(g_bNoPrevent, std::string(text) == "1") << text;
    }
}

TEST_F(LastSave, ASavedFileReadsBackInItsOrder)
{
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}});
    c.SetWindowRect(120, 80, 1280, 900);
    c.SetThumbnail(0, 260);
    c.SetDeviceName(L"내시경 <HD> & \"1\"");
    g_bNoPrevent = 1;
    c.SaveLastSave();
    std::string text = ReadAll(Exe("QUIVA.Capture.LastSave"));
    EXPECT_TRUE(std::regex_search(text, std::regex("<Last.Save>\\s*<window x=\"120\" y=\"80\" width=\"1280\" "
                                                   "height=\"900\" />\\s*<thumbnail show=\"FALSE\" size=\"260\" />"
                                                   "\\s*<device>\\s*<!\\[CDATA\\[[^\\]]*\\]\\]>\\s*</device>\\s*"
                                                   "<options noPrevent=\"1\" />\\s*</Last.Save>")))
        << text;
    g_bNoPrevent = 0;
    CKXQUIVAConfig back;
    back.LoadLastSave();
    EXPECT_EQ(back.GetPlacement().m_nWindowX, 120);
    EXPECT_EQ(back.GetPlacement().m_nWindowY, 80);
    EXPECT_EQ(back.GetPlacement().m_nWindowWidth, 1280);
    EXPECT_EQ(back.GetPlacement().m_nWindowHeight, 900);
    EXPECT_EQ(back.GetPlacement().m_bThumbnailShow, 0);
    EXPECT_EQ(back.GetPlacement().m_nThumbnailSize, 260);
    EXPECT_EQ(back.GetDeviceName(), L"내시경 <HD> & \"1\"");
    EXPECT_EQ(g_bNoPrevent, 1);
}

TEST_F(LastSave, AFileInTheWorkingFolderIsCopiedAndADamagedOneLeavesTheDefaults)
{
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}}});
    WriteAll(Cwd("QUIVA.Capture.LastSave"),
             std::string(kHeader) + "<Last.Save><window x=\"5\" y=\"6\" width=\"900\" height=\"700\"/></Last.Save>");
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 5);
    EXPECT_NE(ReadAll(Exe("QUIVA.Capture.LastSave")).find("x=\"5\""), std::string::npos);

    WriteAll(Exe("QUIVA.Capture.LastSave"), std::string(kHeader) + "<Last.Save><window x=\"5\" y=");
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 560);
    EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 800);
}

TEST_F(LastSave, ASavedSizeLargerThanTheScreenItOpensOnIsBroughtDownToThatScreen)
{
    quiva::ui::SetMonitors({MonitorArea{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}},
                            MonitorArea{{1920, 0, 3200, 1024}, {1920, 0, 3200, 1024}}});
    WriteLastSave("<Last.Save><window x=\"100\" y=\"50\" width=\"16384\" height=\"16384\"/></Last.Save>");
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowX, 100);
    EXPECT_EQ(c.GetPlacement().m_nWindowY, 50);
    EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 1920);
    EXPECT_EQ(c.GetPlacement().m_nWindowHeight, 1080);
    // On the second, smaller screen its size; a size that fits stays.
    WriteLastSave("<Last.Save><window x=\"2000\" y=\"10\" width=\"5000\" height=\"700\"/></Last.Save>");
    c.LoadLastSave();
    EXPECT_EQ(c.GetPlacement().m_nWindowWidth, 1280);
    EXPECT_EQ(c.GetPlacement().m_nWindowHeight, 700);
}
