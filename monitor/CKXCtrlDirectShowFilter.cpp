#include "monitor/CKXCtrlDirectShowFilter.h"

#include <algorithm>

using namespace Gdiplus;

CKXCtrlDirectShowFilter::CKXCtrlDirectShowFilter() = default;

CKXCtrlDirectShowFilter::~CKXCtrlDirectShowFilter()
{
    for (INT_PTR i = 0; i < m_pins.GetSize(); ++i)
        delete m_pins[i];
    m_pins.RemoveAll();
}

void CKXCtrlDirectShowFilter::SetRect(float nx, float ny, float w, float h)
{
    CKXCtrl::SetRect(nx, ny, w, h);
}

_KXPinInfo* CKXCtrlDirectShowFilter::FindPin(const CString& pinName) const
{
    for (INT_PTR i = 0; i < m_pins.GetSize(); ++i)
        if (m_pins[i]->name.CompareNoCase(pinName) == 0)
            return m_pins[i];
    return nullptr;
}

void CKXCtrlDirectShowFilter::AddPin(CString pinName, int direction, CKXCtrlDirectShowFilter* peer,
                                     CString peerPinName)
{
    if (FindPin(pinName))
        return;
    auto* pin = new _KXPinInfo;
    pin->name = pinName;
    pin->direction = direction;
    pin->peerBox = peer;
    pin->peerPinName = peerPinName;
    pin->peerPin = peer ? peer->FindPin(peerPinName) : nullptr;
    m_pins.Add(pin);
    if (direction == 0)
        ++m_nInputs;
    else
        ++m_nOutputs;
}

void CKXCtrlDirectShowFilter::LayoutPins()
{
    height = std::max(20.0f * static_cast<float>(std::max(m_nInputs, m_nOutputs)), 30.0f);
    float si = m_nInputs ? (height - 10.0f) / static_cast<float>(m_nInputs) : 0.0f;
    float so = m_nOutputs ? (height - 10.0f) / static_cast<float>(m_nOutputs) : 0.0f;
    float yi = height / 2.0f - static_cast<float>(m_nInputs - 1) * si / 2.0f - 2.0f + 30.0f;
    float yo = height / 2.0f - static_cast<float>(m_nOutputs - 1) * so / 2.0f - 2.0f + 30.0f;
    for (INT_PTR i = 0; i < m_pins.GetSize(); ++i) {
        _KXPinInfo* pin = m_pins[i];
        pin->width = pin->height = 4.0f;
        if (pin->direction == 0) {
            pin->x = -2.0f;
            pin->y = yi;
            yi += si;
        } else {
            pin->x = width - 2.0f;
            pin->y = yo;
            yo += so;
        }
    }
    height += 30.0f;
}

void CKXCtrlDirectShowFilter::PlaceColumn()
{
    m_nColumn = 0;
    const CKXCtrlDirectShowFilter* box = this;
    // A loop of first inputs would never end; a column past the box count is one.
    const int limit = 4096;
    while (box && m_nColumn < limit) {
        const CKXCtrlDirectShowFilter* next = nullptr;
        for (INT_PTR i = 0; i < box->m_pins.GetSize(); ++i) {
            if (box->m_pins[i]->direction == 0 && box->m_pins[i]->peerBox) {
                next = box->m_pins[i]->peerBox;
                break;
            }
        }
        if (!next)
            break;
        ++m_nColumn;
        box = next;
    }
    x += (width + 40.0f) * static_cast<float>(m_nColumn);
}

float CKXCtrlDirectShowFilter::PlaceRows(float y0)
{
    // A box reached a second time keeps its place and takes no room here.
    if (m_bPlaced)
        return y0;
    y = y0;
    m_bPlaced = 1;
    float cur = y0, prevBottom = 0.0f;
    int k = 0;
    for (INT_PTR i = 0; i < m_pins.GetSize(); ++i) {
        _KXPinInfo* pin = m_pins[i];
        if (pin->direction != 1)
            continue;
        if (pin->peerBox) {
            float peerY = k == 0 ? cur : cur + (prevBottom - y0);
            cur = peerY;
            prevBottom = pin->peerBox->PlaceRows(peerY);
        }
        ++k;
    }
    float extent = k < 2 ? cur : cur + (prevBottom - y0);
    return std::max(extent, y + height + 20.0f);
}

BOOL CKXCtrlDirectShowFilter::HasConnectedInput() const
{
    for (INT_PTR i = 0; i < m_pins.GetSize(); ++i)
        if (m_pins[i]->direction == 0 && m_pins[i]->peerBox)
            return TRUE;
    return FALSE;
}

void CKXCtrlDirectShowFilter::Draw(Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx)
{
    if (!visible)
        return;
    float scale = hint ? hint->scale : 1.0f;
    float ox = offsetX + m_fScrollX * scale, oy = offsetY + m_fScrollY * scale;
    DrawBackground(g, ox, oy, hint, ctx);
    RectF r = ScaleDrawRect(Rect(), scale, ox, oy);
    SolidBrush veil(Color(0x28FFFFFFu));
    g->FillRectangle(&veil, r);
    _KXCtrlFont title(L"맑은 고딕", 9.0f, FontStyleBold, 0xFFFFFFFFu);
    // The name sits in the band above the pins (LayoutPins leaves it free).
    RectF band = ScaleDrawRect(RectF(x, y, width, 30.0f), scale, ox, oy);
    kxctrl::DrawText(g, m_strName, title, scale, band, StringAlignmentCenter, StringAlignmentCenter,
                     StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
    Pen white(Color(0xFFFFFFFFu), 1.0f);
    g->DrawRectangle(&white, r);

    // Light grey: the pin names are read on the box's dark grey.
    _KXCtrlFont pinFont(L"맑은 고딕", 7.0f, FontStyleRegular, 0xFFB4B4B4u);
    for (INT_PTR i = 0; i < m_pins.GetSize(); ++i) {
        const _KXPinInfo* pin = m_pins[i];
        RectF square = ScaleDrawRect(RectF(x + pin->x, y + pin->y, pin->width, pin->height), scale, ox, oy);
        SolidBrush fill(Color(pin->peerBox ? 0xFFFFFF00u : 0xFF969696u));
        g->FillRectangle(&fill, square);
        float labelWidth = width / 2.0f - 8.0f;
        if (pin->direction == 0) {
            RectF label = ScaleDrawRect(RectF(x + pin->x + 8.0f, y + pin->y - 6.0f, labelWidth, 16.0f), scale, ox, oy);
            kxctrl::DrawText(g, pin->name, pinFont, scale, label, StringAlignmentNear, StringAlignmentCenter,
                             StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
        } else {
            RectF label = ScaleDrawRect(RectF(x + pin->x - 4.0f - labelWidth, y + pin->y - 6.0f, labelWidth, 16.0f),
                                        scale, ox, oy);
            kxctrl::DrawText(g, pin->name, pinFont, scale, label, StringAlignmentFar, StringAlignmentCenter,
                             StringTrimmingEllipsisCharacter, StringFormatFlagsNoWrap);
            if (pin->peerBox && pin->peerPin) {
                const CKXCtrlDirectShowFilter* peer = pin->peerBox;
                PointF a(square.X + square.Width / 2.0f, square.Y + square.Height / 2.0f);
                RectF peerSquare = ScaleDrawRect(RectF(peer->x + pin->peerPin->x, peer->y + pin->peerPin->y,
                                                       pin->peerPin->width, pin->peerPin->height),
                                                 scale, ox, oy);
                PointF b(peerSquare.X + peerSquare.Width / 2.0f, peerSquare.Y + peerSquare.Height / 2.0f);
                float bend = std::max(20.0f * scale, (b.X - a.X) / 2.0f);
                GraphicsPath curve;
                curve.AddBezier(a.X, a.Y, a.X + bend, a.Y, b.X - bend, b.Y, b.X, b.Y);
                g->DrawPath(&white, &curve);
            }
        }
    }
}
