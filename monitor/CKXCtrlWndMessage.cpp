#include "monitor/CKXCtrlWndMessage.h"

#include <algorithm>

#include "framework/CKXCtrlCursor.h"
#include "platform/base/clock.h"

using namespace Gdiplus;

CKXCtrlWndMessage::CKXCtrlWndMessage()
{
    m_dwStartTick = GetTickCount();
    m_scrollBar.deleteWithContainer = 0;
}

CKXCtrlWndMessage::~CKXCtrlWndMessage() = default;

int CKXCtrlWndMessage::Create(int newId, float nx, float ny, float w, float h)
{
    int result = CKXCtrlWnd::Create(newId, nx, ny, w, h);
    m_scrollBar.Create(1, 0, 0, 16, h);
    m_scrollBar.parent = this;
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
    m_scrollBar.SetRect(x + width - 16.0f, y, 16.0f, height);
}

void CKXCtrlWndMessage::RestartClock()
{
    m_dwStartTick = GetTickCount();
}

void CKXCtrlWndMessage::Clear()
{
    m_lines.RemoveAll();
    m_fOffset = 0.0f;
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
    PlaceScrollBar();
    UpdateScroll(true);
}

void CKXCtrlWndMessage::UpdateScroll(bool toEnd)
{
    float content = static_cast<float>(m_lines.GetSize()) * kLineHeight + 20.0f;
    float view = height - 10.0f;
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

    RectF inner(r.X + 5.0f * scale, r.Y + 5.0f * scale, r.Width - 10.0f * scale, r.Height - 10.0f * scale);
    g->SetClip(inner);
    _KXCtrlFont font(L"맑은 고딕", 9.0f, FontStyleRegular, 0xFFFFFFFFu);
    for (INT_PTR i = 0; i < m_lines.GetSize(); ++i) {
        float top = y + 10.0f + m_fOffset + static_cast<float>(i) * kLineHeight;
        if (top + kLineHeight < y || top > y + height)
            continue;
        RectF lineRect = ScaleDrawRect(RectF(x + 10.0f, top, width - 20.0f, kLineHeight), scale, offsetX, offsetY);
        kxctrl::DrawText(g, m_lines[i], font, scale, lineRect, StringAlignmentNear, StringAlignmentNear,
                         StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
    }
    g->ResetClip();
    if (m_scrollBar.visible)
        m_scrollBar.Draw(g, offsetX, offsetY, hint, ctx);
}

int CKXCtrlWndMessage::OnLButtonDown(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    if (ctx && px >= x && px < x + width && py >= y && py < y + height)
        ctx->active = this;
    int result = m_scrollBar.OnLButtonDown(px, py, handled, ctx);
    if (result)
        m_fOffset = -m_scrollBar.GetPosition();
    return result;
}

int CKXCtrlWndMessage::OnLButtonUp(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = m_scrollBar.OnLButtonUp(px, py, handled, ctx);
    m_fOffset = -m_scrollBar.GetPosition();
    return result;
}

int CKXCtrlWndMessage::OnMouseMove(float px, float py, BOOL* handled, CKXCtrlCursor* ctx)
{
    int result = m_scrollBar.OnMouseMove(px, py, handled, ctx);
    if (m_scrollBar.dragging || m_scrollBar.trackPressed)
        m_fOffset = -m_scrollBar.GetPosition();
    return result;
}

int CKXCtrlWndMessage::OnMouseLeave(CKXCtrlCursor* ctx)
{
    return m_scrollBar.OnMouseLeave(ctx);
}
