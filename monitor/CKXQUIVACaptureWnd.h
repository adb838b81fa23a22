// The device manager's preview window: the engine's renderer draws the chosen source into it;
// while nothing runs it shows a black area with the word "미리보기". The mouse works the menus
// of a DVD source.
#pragma once

#include "monitor/CKXMCaptureEx.h"
#include "platform/ui/CWnd.h"

class CKXQUIVACaptureWnd : public CWnd {
public:
    // A child of the parent with id 1 and an empty rectangle (the dialog's layout sizes it).
    BOOL Create(CWnd* parent);

    CKXMCaptureEx* m_pEngine = nullptr;  // not owned

protected:
    BOOL OnEraseBkgnd(HDC hdc) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
};
