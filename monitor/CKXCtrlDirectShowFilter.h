// One filter of a graph drawn as a box: its name in a title band, its input pins on the left
// edge, its output pins on the right, and a curve from every connected output to its peer.
#pragma once

#include "framework/CKXCtrl.h"
#include "platform/base/CArray.h"

class CKXCtrlDirectShowFilter;

// One pin of a box. The square is placed relative to the box.
struct _KXPinInfo {
    CString name;
    int direction = 0;  // 0 input, 1 output
    CKXCtrlDirectShowFilter* peerBox = nullptr;
    float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;
    CString peerPinName;
    _KXPinInfo* peerPin = nullptr;
};

class CKXCtrlDirectShowFilter : public CKXCtrl {
public:
    CKXCtrlDirectShowFilter();
    ~CKXCtrlDirectShowFilter() override;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void SetRect(float x, float y, float w, float h) override;

    // A pin named like one already held (without regard to case) is ignored.
    void AddPin(CString pinName, int direction, CKXCtrlDirectShowFilter* peer, CString peerPinName);
    // Height from the pin count and the pin squares along both edges.
    void LayoutPins();
    // Column = number of boxes upstream along first connected inputs; moves the box right by it.
    void PlaceColumn();
    // Places this box at y0 and its downstream boxes below one another; the lowest y used.
    float PlaceRows(float y0);
    BOOL HasConnectedInput() const;
    _KXPinInfo* FindPin(const CString& pinName) const;

    CString m_strName;
    CArray<_KXPinInfo*, _KXPinInfo*> m_pins;
    int m_nInputs = 0;
    int m_nOutputs = 0;
    int m_nColumn = 0;
    BOOL m_bPlaced = 0;

    // The panel's scroll offsets, added to the box and its curves while drawing.
    float m_fScrollX = 0.0f, m_fScrollY = 0.0f;
};
