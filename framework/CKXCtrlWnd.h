// The windowless container: holds child controls and static texts, draws them, routes input
// to them and receives their notifications. The root of every host window's control tree.
#pragma once

#include <vector>

#include "framework/CKXCtrl.h"

struct _KXStaticText {
    CString text;
    float x = 0.0f, y = 0.0f, width = 0.0f, height = 0.0f;
    int align = 0;      // 0 near, 1 centre, 2 far
    int lineAlign = 0;  // 0 top, 1 centre, 2 bottom
    _KXCtrlFont font;
};

class CKXCtrlWnd : public CKXCtrl {
public:
    CKXCtrlWnd();
    // Deletes the children it owns; the others are only let go of.
    ~CKXCtrlWnd() override;

    std::vector<CKXCtrl*> children;
    std::vector<_KXStaticText> staticTexts;
    int hoverIndex = -1;
    int pressedIndex = -1;
    float originX = 0.0f, originY = 0.0f;
    BOOL created = 0;
    CString caption;
    BOOL eraseBackground = 1;
    BOOL isRoot = 0;
    CKXCtrl* defaultButton = nullptr;  // pressed by Enter in a single-line edit of this container

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnRButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnRButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnRButtonDblClk(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    int OnMouseWheel(int flags, float delta, float x, float y, CKXCtrlCursor* ctx) override;
    int Create(int id, float x, float y, float width, float height) override;
    void Activate(CKXCtrlCursor* ctx) override;
    CKXCtrl* GetNextTabStop(CKXCtrl* from, BOOL search, int kind) override;
    CKXCtrl* GetPrevTabStop(CKXCtrl* from, BOOL search, int kind) override;
    // The next (or previous) shown, enabled tab-stop child after `from`, round from the last to
    // the first; the first (or last) without `from`; null when no child takes the keyboard.
    CKXCtrl* NextKeyboardStop(CKXCtrl* from, bool back);
    // The container whose controls Tab walks when no control has the keyboard (a tab strip: its
    // page shown).
    virtual CKXCtrlWnd* KeyboardPage() { return this; }

    // Notifications from the children.
    virtual void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx);
    virtual void OnEditEnd(int id, CKXCtrl* sender, CKXCtrlCursor* ctx);
    virtual void OnValueChanged(int id, CKXCtrl* sender, CKXCtrlCursor* ctx);
    virtual void EraseBackground(Gdiplus::Graphics* g, CKXCtrlCursor* ctx);
    virtual int OnKeyDown(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx);
    virtual int OnKeyUp(UINT vk, UINT repeat, UINT flags, CKXCtrlCursor* ctx);
    virtual int OnChar(UINT ch, UINT repeat, UINT flags, CKXCtrlCursor* ctx);
    virtual int OnImeComposition(WPARAM wParam, LPARAM lParam, CKXCtrlCursor* ctx);
    virtual void OnKillFocus(CKXCtrlCursor* ctx);
    virtual int OnTimer(UINT id);
    virtual void CreateChildren(CKXCtrlCursor* ctx);
    virtual void Refresh();
    virtual CString GetCaption();
    virtual void RecalcLayout();
    virtual void OnPageClose();
    virtual void DrawStaticTexts(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                                 CKXCtrlCursor* ctx);

    void AddControl(CKXCtrl* ctrl);
    void AddStaticText(CString text, float x, float y, float width, float height, int align, int lineAlign);
    // (0, 0, right edge + left margin, bottom edge + top margin) over texts and children;
    // (0, 0, 0, 0) when there is nothing.
    Gdiplus::RectF GetContentBounds();
    Gdiplus::PointF GetAbsoluteOrigin();
    void SetCaption(CString value) { caption = value; }
    // A child going away: it leaves the list, and hover and press indexes start afresh.
    void ForgetChild(CKXCtrl* child);

private:
    int RouteToChildren(int (CKXCtrl::*handler)(float, float, BOOL*, CKXCtrlCursor*), float x, float y, BOOL* handled,
                        CKXCtrlCursor* ctx);
};
