// One tab of a tab strip: a caption, a content page and an optional close mark.
#pragma once

#include "framework/CKXCtrl.h"
#include "framework/Forward.h"

class CKXCtrlTabItem : public CKXCtrl {
public:
    CKXCtrlTabItem() = default;
    // Deletes the page when deletePage is set.
    ~CKXCtrlTabItem() override;

    BOOL closable = 1;
    Gdiplus::RectF closeRect;
    Gdiplus::RectF labelRect;
    CString caption;
    BOOL closePressed = 0;
    BOOL closeHover = 0;
    int side = 0;
    BOOL selected = 0;
    int captionAlign = 0;  // 0 near, 1 centre, 2 far
    BOOL deletePage = 0;
    CKXCtrlWnd* page = nullptr;

    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void DrawBackground(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint,
                        CKXCtrlCursor* ctx) override;
    void DrawBorder(Gdiplus::Graphics*, float, float, CKXCtrlRenderHint*, CKXCtrlCursor*) override {}
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnLButtonUp(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseLeave(CKXCtrlCursor* ctx) override;
    void SetRect(float x, float y, float width, float height) override;
    // The size the tab wants inside the tab row.
    virtual Gdiplus::RectF Measure(Gdiplus::RectF area);

    void SetCaption(CString value) { caption = value; }
    CString GetCaption() { return caption; }

private:
    // The close mark reacts: closable, at least two tabs, the point on it.
    bool OnCloseMark(float px, float py) const;
    int TabCount() const;
};
