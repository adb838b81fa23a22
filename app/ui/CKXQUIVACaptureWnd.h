// The child window of the capture frame in which the engine renders the live preview. It is
// black while no graph runs (with a line saying why once a preview was asked for and could not
// start: no capture source, or the source would not start), and hands mouse moves and releases
// to the engine's DVD menu. Over a DVD menu button it takes the mouse itself; anywhere else it
// is transparent to hit testing so that the frame drags the window from the preview.
#pragma once

#include "app/model/Forward.h"
#include "platform/base/CString.h"
#include "platform/ui/CWnd.h"

// Window class of the video host (black background brush).
#define QUIVA_VIDEO_WINDOW_CLASS L"QUIVACaptureWndClass"

class CKXQUIVACaptureWnd : public CWnd {
public:
    // What the window shows when the preview it was given does not run.
    static constexpr const wchar_t* kNoPreviewText = L"미리보기를 시작할 수 없습니다";

    CKXQUIVACaptureWnd() = default;

    CKXMCapture* engine = nullptr;  // not owned; set by the frame's preview start

    // A visible child of `parent` with id 1 and an empty rectangle: the frame's layout sizes it.
    BOOL Create(CWnd* parent);
    // A line shown in the middle of the black area while no graph runs; empty for none.
    void SetNotice(const CString& text);

protected:
    BOOL OnEraseBkgnd(HDC hdc) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    LRESULT OnNcHitTest(CPoint point) override;

private:
    CString m_notice;
};
