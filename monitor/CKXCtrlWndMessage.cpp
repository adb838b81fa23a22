#include "monitor/CKXCtrlWndMessage.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"
#include "platform/base/clock.h"

using namespace Gdiplus;

namespace {

constexpr const wchar_t* kFontName = L"맑은 고딕";
constexpr float kFontSize = 9.0f;

// A line's width as the log draws it, in layout units.
float LineWidth(const CString& line)
{
    FontFamily named(kFontName);
    Font font(named.IsAvailable() ? &named : FontFamily::GenericSansSerif(), kFontSize, FontStyleRegular, UnitPoint);
    StringFormat format;
    format.SetFormatFlags(StringFormatFlagsNoWrap);
    Graphics g(GetDesktopWindow());
    RectF box;
    g.MeasureString(line.GetString(), line.GetLength(), &font, PointF(0.0f, 0.0f), &format, &box);
    return box.Width;
}

}  // namespace

CKXCtrlWndMessage::CKXCtrlWndMessage()
{
    m_dwStartTick = GetTickCount();
    m_scrollBar.deleteWithContainer = 0;
    m_hScrollBar.deleteWithContainer = 0;
    m_hScrollBar.horizontal = 1;
}

CKXCtrlWndMessage::~CKXCtrlWndMessage() = default;

int CKXCtrlWndMessage::Create(int newId, float nx, float ny, float w, float h)
{
    int result = CKXCtrlWnd::Create(newId, nx, ny, w, h);
    m_scrollBar.Create(1, 0, 0, 16, h);
    m_scrollBar.parent = this;
    m_hScrollBar.Create(2, 0, 0, w, 16);
    m_hScrollBar.parent = this;
    PlaceScrollBar();
    return result;
}

void CKXCtrlWndMessage::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrlWnd::SetRect(nx, ny, w, h);
    PlaceScrollBar();
    UpdateScroll(false);
}

void CKXCtrlWndMessage::SetSize(float w, float h)
{
    CKXCtrlWnd::SetSize(w, h);
    PlaceScrollBar();
    UpdateScroll(false);
}

void CKXCtrlWndMessage::PlaceScrollBar()
{
    m_scrollBar.SetRect(x + width - 16.0f, y, 16.0f, height - (m_hScrollBar.visible ? 16.0f : 0.0f));
    m_hScrollBar.SetRect(x, y + height - 16.0f, width - 16.0f, 16.0f);
}

RectF CKXCtrlWndMessage::TextArea() const
{
    const float right = m_scrollBar.visible ? x + width - 16.0f : x + width - 5.0f;
    const float bottom = m_hScrollBar.visible ? y + height - 16.0f : y + height - 5.0f;
    return RectF(x + 5.0f, y + 5.0f, right - x - 5.0f, bottom - y - 5.0f);
}

void CKXCtrlWndMessage::RestartClock()
{
    m_dwStartTick = GetTickCount();
}

void CKXCtrlWndMessage::Clear()
{
    m_lines.RemoveAll();
    m_fOffset = 0.0f;
    m_fOffsetX = 0.0f;
    m_fWidest = 0.0f;
    RestartClock();
    UpdateScroll(true);
}

void CKXCtrlWndMessage::AppendLine(CString line)
{
    DWORD ms = GetTickCount() - m_dwStartTick;
    CString stamped;
    stamped.Format(L"[%02lu:%02lu:%02lu.%03lu] %s", static_cast<unsigned long>(ms / 3600000),
                   static_cast<unsigned long>(ms / 60000 % 60), static_cast<unsigned long>(ms / 1000 % 60),
                   static_cast<unsigned long>(ms % 1000), static_cast<LPCWSTR>(line));
    m_lines.Add(stamped);
    m_fWidest = std::max(m_fWidest, LineWidth(stamped));
    PlaceScrollBar();
    UpdateScroll(true);
}

void CKXCtrlWndMessage::UpdateScroll(bool toEnd)
{
    // Sideways: a line about as wide as the log less its margins and the vertical bar can be
    // scrolled until its end stands 10 clear of that bar; the bar then takes 16 of the height.
    m_hScrollBar.SetRange(0.0f, m_fWidest + 20.0f);
    m_hScrollBar.SetPosition(-m_fOffsetX, width - 16.0f);
    m_fOffsetX = m_hScrollBar.visible ? -m_hScrollBar.GetPosition() : 0.0f;
    PlaceScrollBar();
    float content = static_cast<float>(m_lines.GetSize()) * kLineHeight + 20.0f;
    float view = height - 10.0f - (m_hScrollBar.visible ? 16.0f : 0.0f);
    float lowest = std::min(0.0f, view - content);
    if (toEnd)
        m_fOffset = lowest;
    else
        m_fOffset = std::clamp(m_fOffset, lowest, 0.0f);
    m_scrollBar.SetRange(0.0f, content);
    m_scrollBar.SetPosition(-m_fOffset, view);
}

void CKXCtrlWndMessage::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible)
        return;
    float scale = hint ? hint->scale : 1.0f;
    RectF r = ScaleDrawRect(Rect(), scale, offsetX, offsetY);
    SolidBrush black(Color(0xFF000000u));
    g->FillRectangle(&black, r);
    Pen frame(Color(0xFFFFFFFFu), 1.0f);
    g->DrawRectangle(&frame, r);

    const RectF text = TextArea();
    g->SetClip(ScaleDrawRect(text, scale, offsetX, offsetY));
    _KXCtrlFont font(kFontName, kFontSize, FontStyleRegular, 0xFFFFFFFFu);
    // Wide enough for the widest line, which is cut only by the clip (and read by scrolling).
    const float lineWidth = std::max(width - 20.0f, m_fWidest + 8.0f);
    for (INT_PTR i = 0; i < m_lines.GetSize(); ++i) {
        float top = y + 10.0f + m_fOffset + static_cast<float>(i) * kLineHeight;
        if (top + kLineHeight < y || top > y + height)
            continue;
        RectF lineRect =
            ScaleDrawRect(RectF(x + 10.0f + m_fOffsetX, top, lineWidth, kLineHeight), scale, offsetX, offsetY);
        kxctrl::DrawText(g, m_lines[i], font, scale, lineRect, StringAlignmentNear, StringAlignmentNear,
                         StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
    }
    g->ResetClip();
    if (m_scrollBar.visible)
        m_scrollBar.Draw(g, offsetX, offsetY, hint, ctx);
    if (m_hScrollBar.visible)
        m_hScrollBar.Draw(g, offsetX, offsetY, hint, ctx);
}

int CKXCtrlWndMessage::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (ctx && px >= x && px < x + width && py >= y && py < y + height)
        ctx->active = this;
    int result = m_scrollBar.OnLButtonDown(px, py, handled, ctx);
    if (result) {
        m_fOffset = -m_scrollBar.GetPosition();
    } else if ((result = m_hScrollBar.OnLButtonDown(px, py, handled, ctx)) != 0) {
        m_fOffsetX = -m_hScrollBar.GetPosition();
    }
    return result;
}

int CKXCtrlWndMessage::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = m_scrollBar.OnLButtonUp(px, py, handled, ctx);
    m_fOffset = -m_scrollBar.GetPosition();
    result |= m_hScrollBar.OnLButtonUp(px, py, handled, ctx);
    m_fOffsetX = m_hScrollBar.visible ? -m_hScrollBar.GetPosition() : 0.0f;
    return result;
}

int CKXCtrlWndMessage::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = m_scrollBar.OnMouseMove(px, py, handled, ctx);
    if (m_scrollBar.dragging || m_scrollBar.trackPressed)
        m_fOffset = -m_scrollBar.GetPosition();
    result |= m_hScrollBar.OnMouseMove(px, py, handled, ctx);
    if (m_hScrollBar.dragging || m_hScrollBar.trackPressed)
        m_fOffsetX = -m_hScrollBar.GetPosition();
    return result;
}

int CKXCtrlWndMessage::OnMouseLeave(CKXCtrlCursor* ctx)
{
    return m_scrollBar.OnMouseLeave(ctx) | m_hScrollBar.OnMouseLeave(ctx);
}
