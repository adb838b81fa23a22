// Windowless list of text items with an embedded vertical scroll bar.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/CKXCtrlScrollBar.h"
#include "framework/CKXCtrlWnd.h"

struct _KXListStringItem {
    CString text;
    intptr_t data = 0;  // pointer-sized: owners keep pointers to their own records here
    BOOL selected = 0;
    float height = 25.0f;
};

class CKXCtrlListBox : public CKXCtrlWnd {
public:
    CKXCtrlListBox();
    ~CKXCtrlListBox() override;

    CKXCtrlScrollBar scrollBar;
    int pressedItem = -1;
    int hoverItem = -1;
    BOOL multiSelect = 0;
    std::vector<_KXListStringItem*> items;
    std::vector<_KXListStringItem*> selection;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    int OnMouseWheel(int flags, float delta, float x, float y, CKXCtrlCursor* ctx) override;
    // Up and Down select the item above or below the selected one (Home and End the first and the
    // last), scrolled into view, and tell
    // the container, as a click on it does (a single-selection list that has the keyboard, or
    // that a drop-down shows).
    int OnFocusKey(UINT vk, CKXCtrlCursor* ctx) override;
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    int Create(int id, float x, float y, float width, float height) override;
    void SetRect(float x, float y, float width, float height) override;
    virtual void DrawItem(Gdiplus::Graphics* g, float offsetX, float offsetY, float itemTop, _KXListStringItem* item,
                          CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx);

    void AddItem(CString text, intptr_t data);
    CString GetItemText(int index);
    void ClearSelection();
    std::vector<_KXListStringItem*>& GetSelection();
    void RemoveAll();
    void DeleteItem(int index);
    void SelectString(CString text);
    void UpdateScrollBar();

    // The item whose row holds the list-local y, or -1.
    int ItemAt(float localY) const;
    float ContentHeight() const;

private:
    // originY taken from the scroll bar's thumb.
    void FollowThumb();
    // originY kept within the content and the thumb moved to it.
    void ScrollTo(float newOriginY);
};
