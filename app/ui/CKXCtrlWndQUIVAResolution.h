// The "해상도설정" page of the settings dialog: the capture formats the current source offers,
// tried live in the preview by choosing a row, and stored as the source's requested format (or
// as the automatic best format) with "적용". A format tried but not stored is undone when the
// dialog closes.
#pragma once

#include "app/model/Forward.h"
#include "capture/CKXMCapture.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlListBox.h"
#include "framework/CKXCtrlStatic.h"
#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndQUIVAResolution : public CKXCtrlWnd {
public:
    enum { ID_AUTO = 1, ID_CURRENT = 2, ID_LIST = 3, ID_APPLY = 4 };

    CKXCtrlWndQUIVAResolution();
    // Frees the rows' format copies (also when the dialog never refreshed the page).
    ~CKXCtrlWndQUIVAResolution() override;

    int Create(int id, float x, float y, float width, float height) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    void OnValueChanged(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    void Refresh() override;

    // Tries a format live: requested of the engine, the current source selected again and
    // started, and the row of the format the engine then has selected.
    void ApplyFormat(const _KXMCaptureResolutionInfo& format);

    // "%dx%d/%dfps %s"
    static CString FormatText(const _KXMCaptureResolutionInfo& format);
    // Width, height, frames per second and, without regard to case, subtype equal.
    static bool SameFormat(const _KXMCaptureResolutionInfo& a, const _KXMCaptureResolutionInfo& b);

    CKXCtrlCheckBox m_autoCheck;
    CKXCtrlButton m_applyButton;
    CKXCtrlListBox m_list;
    CKXCtrlStatic m_current;
    CKXMCapture* m_pEngine = nullptr;     // not owned; set before Create
    CKXQUIVAConfig* m_pConfig = nullptr;  // not owned; set before Create
    // The format in force when the page was built or last stored; none for the automatic one.
    _KXMCaptureResolutionInfo m_baseline;
    bool m_hasBaseline = false;
    // A format was tried since the baseline was set.
    bool m_tried = false;

private:
    void FreeRows();
    void ShowRequestedFormat();
    void Store();
};
