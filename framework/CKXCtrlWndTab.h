// Tab strip: a container with a row of tabs along one of its edges, scroll arrows when the row
// is longer than the strip, and tabs that may be closed. Below the strip it shows the page of the
// selected tab: the page is drawn there, hears the mouse the strip does not take, with the strip's
// height taken off, and is sized to the control less the strip.
#pragma once

#include <vector>

#include "framework/CKXCtrlTabItem.h"
#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndTab : public CKXCtrlWnd {
public:
    CKXCtrlWndTab() = default;
    // Deletes the tab items (each deletes its page when asked to).
    ~CKXCtrlWndTab() override;

    float tabHeight = 30.0f;
    float tabWidth = 150.0f;
    BOOL fixedWidth = 1;
    float edgeMargin = 5.0f;
    float endMargin = 5.0f;
    Gdiplus::RectF tabArea;
    Gdiplus::RectF leftArrowRect;
    Gdiplus::RectF rightArrowRect;
    BOOL overflow = 0;
    int selectedIndex = -1;
    int pressedTab = -1;
    int hoverTab = -1;
    int pressedArrow = -1;
    int hoverArrow = -1;
    int side = 0;  // 0 top, 1 bottom, 2 left, 3 right
    BOOL hideWhenEmpty = 1;
    std::vector<CKXCtrlTabItem*> tabs;
    float scrollOffset = 0.0f;
    CKXCtrlWnd* currentPage = nullptr;  // the page shown below the strip; not owned

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBorder(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    // Where the context reaches every control, Ctrl+Tab and Ctrl+Page Down show the next page,
    // with Shift or Ctrl+Page Up the previous one (round); other keys go to the control that
    // has the keyboard.
    int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx) override;
    CKXCtrlWnd* KeyboardPage() override { return currentPage ? currentPage : this; }
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetSize(float width, float height) override;
    void RecalcLayout() override;

    // The page becomes the current one, created or placed over the area below the strip.
    virtual void ShowTabPage(CKXCtrlWnd* page);
    // Where the page area starts: the bottom of the strip.
    virtual float PageTop() const { return tabArea.GetBottom(); }
    virtual BOOL CanCloseTab(CKXCtrlTabItem* item, CKXCtrlCursor* ctx);
    virtual void RemoveAllTabs();
    virtual void DrawLeftArrow(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                               CKXCtrlCursor* ctx);
    virtual void DrawRightArrow(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                                CKXCtrlCursor* ctx);
    virtual void DrawTabShape(Gdiplus::Graphics* g, float offsetX, float offsetY, float selStart, float selEnd,
                              CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx);

    CKXCtrlTabItem* AddTab(CString caption, CKXCtrlWnd* page, int closable);
    CKXCtrlTabItem* InsertTab(int index, CString caption, CKXCtrlWnd* page, int closable);
    void SelectTab(int index);
    void RemoveTab(CKXCtrlTabItem* item);
    void RefreshPages();

    // A tab asks to be closed from inside its own release handler; the strip removes it once
    // that handler has returned.
    void RequestClose(CKXCtrlTabItem* item) { pendingClose = item; }
    // The positioned rectangle of tab i (along the row from coordinate 0, scrolled).
    Gdiplus::RectF TabRect(int index) const;
    // The six points of the outline (layout units); equal selStart and selEnd draw P0 to P5.
    void TabShapePoints(float selStart, float selEnd, Gdiplus::PointF points[6]) const;
    float TotalLength() const;

private:
    void DrawStrip(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx);
    int StripLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    int StripLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    int StripMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx);
    bool Horizontal() const { return side == 0 || side == 1; }
    float RowLength() const { return Horizontal() ? tabArea.Width : tabArea.Height; }
    float LengthOf(const CKXCtrlTabItem* tab) const { return Horizontal() ? tab->width : tab->height; }
    Gdiplus::RectF ArrowZone() const;
    // What of the strip is under a point. The arrows, shown only when the tabs overflow the row:
    // 0 the left, 1 the right, kArrowZone the room around them, -1 none. The tabs: the index of
    // the tab, -1 none.
    static constexpr int kArrowZone = 2;
    int ArrowAt(float px, float py) const;
    int TabAt(float px, float py) const;
    void DrawArrow(int arrow, Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                   CKXCtrlCursor* ctx);
    void DrawTab(int index, float pos, BOOL hover, BOOL pressed, Gdiplus::Graphics* g, float offsetX, float offsetY,
                 float scale, CKXCtrlCursor* ctx);
    void FlushPendingClose();
    CKXCtrlTabItem* pendingClose = nullptr;
};
