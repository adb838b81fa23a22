// The on-screen log: time stamps from the log's own clock and the newest line kept in view.
#include <gtest/gtest.h>

#include "monitor/CKXCtrlWndFilterManager.h"
#include "monitor/CKXCtrlWndMessage.h"
#include "platform/base/clock.h"

namespace {

TEST(MessageLog, StampsCountFromTheLastRestartAndHoursRunPastADay)
{
    quiva::ScopedVirtualClock clock;
    CKXCtrlWndMessage log;
    log.Create(10, 20, 100, 400, 150);
    log.RestartClock();
    clock->Advance(1234);
    log.AppendLine(L"그래프를 만듭니다.");
    EXPECT_EQ(CString(L"[00:00:01.234] 그래프를 만듭니다."), log.m_lines[0]);

    clock->Advance(25ull * 3600000 + 61 * 1000 + 5 - 1234);
    log.AppendLine(L"late");
    EXPECT_EQ(CString(L"[25:01:01.005] late"), log.m_lines[1]);
}

TEST(MessageLog, NewestLineStaysInViewAndScrollingIsClamped)
{
    quiva::ScopedVirtualClock clock;
    CKXCtrlWndMessage log;
    log.Create(10, 0, 0, 300, 150);
    for (int i = 0; i < 5; ++i)
        log.AppendLine(L"line");
    // Five lines (95 units with the margin) fit a 140-unit view: no scrolling.
    EXPECT_EQ(0.0f, log.m_fOffset);
    EXPECT_FALSE(log.m_scrollBar.visible);

    for (int i = 0; i < 45; ++i)
        log.AppendLine(L"line");
    float content = 50 * CKXCtrlWndMessage::kLineHeight + 20.0f;
    EXPECT_FLOAT_EQ(140.0f - content, log.m_fOffset);
    EXPECT_TRUE(log.m_scrollBar.visible);
    EXPECT_FLOAT_EQ(-log.m_fOffset, log.m_scrollBar.GetPosition());

    // Growing the log so that everything fits again brings the offset back within range.
    log.SetSize(300, 2000);
    EXPECT_EQ(0.0f, log.m_fOffset);
}

TEST(MessageLog, StartingASourceClearsTheLogAndStampsFromZero)
{
    quiva::ScopedVirtualClock clock;
    CKXCtrlWndFilterManager panel;
    panel.Create(0, 0, 0, 800, 600);
    _KXMCaptureDeviceInfo entry;
    entry.displayName = L"USB Video";
    panel.LogDeviceStart(&entry);
    clock->Advance(90000);
    panel.m_log.AppendLine(L"old");

    _KXMCaptureDeviceInfo other;
    other.displayName = L"Composite 1";
    panel.LogDeviceStart(&other);
    ASSERT_EQ(1, panel.m_log.m_lines.GetSize());
    EXPECT_EQ(CString(L"[00:00:00.000] [Composite 1]장치를 시작합니다."), panel.m_log.m_lines[0]);

    panel.LogDeviceStart(nullptr);
    EXPECT_EQ(0, panel.m_log.m_lines.GetSize());
}

}  // namespace
