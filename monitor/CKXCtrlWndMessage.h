// The on-screen log of the device manager: time-stamped lines on black, newest in view, with a
// vertical scroll bar along the right edge and, while a line is wider than the log, a sideways
// one along the bottom.
#pragma once

#include "framework/CKXCtrlScrollBar.h"
#include "framework/CKXCtrlWnd.h"
#include "platform/base/CArray.h"

class CKXCtrlWndMessage : public CKXCtrlWnd {
public:
    CKXCtrlWndMessage();
    ~CKXCtrlWndMessage() override;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetSize(float w, float h) override;
    int Create(int id, float x, float y, float w, float h) override;
    void SetRect(float x, float y, float w, float h) override;

    // Stamps the text with the time since the clock was restarted ("[hh:mm:ss.mmm] text",
    // hours not wrapped at a day) and brings the last line into view.
    void AppendLine(CString line);
    // Drops every line and restarts the clock.
    void Clear();
    void RestartClock();

    CStringArray m_lines;
    CKXCtrlScrollBar m_scrollBar;
    CKXCtrlScrollBar m_hScrollBar;
    DWORD m_dwStartTick = 0;
    float m_fOffset = 0.0f;   // 0 or negative: how far the lines are scrolled up
    float m_fOffsetX = 0.0f;  // 0 or negative: how far the lines are scrolled left
    float m_fWidest = 0.0f;   // the widest line's width as drawn

    static constexpr float kLineHeight = 15.0f;

private:
    void PlaceScrollBar();
    void UpdateScroll(bool toEnd);
    // Where the lines are drawn: inside the frame's margin, clear of the bars shown.
    Gdiplus::RectF TextArea() const;
};
