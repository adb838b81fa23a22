// The "환경설정" page of the settings dialog: recording offered or not, the longest recording,
// stills as JPEG and the JPEG quality. Loaded from the configuration when the page is built and
// stored, with the configuration file, when the dialog has closed.
#pragma once

#include "app/model/Forward.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlEdit.h"
#include "framework/CKXCtrlSlider.h"
#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndQUIVAOptions : public CKXCtrlWnd {
public:
    enum { ID_USE_VIDEO = 1, ID_RECORD_LIMIT = 2, ID_JPEG = 3, ID_JPEG_QUALITY = 4 };

    CKXCtrlWndQUIVAOptions();
    ~CKXCtrlWndQUIVAOptions() override;

    int Create(int id, float x, float y, float width, float height) override;
    void Refresh() override;

    // The recording limit typed: a decimal number read up to its first other character (no
    // digits give 0). False for a value below 0 or above the configuration's longest
    // recording (a day).
    static bool ParseRecordLimit(const CString& text, int* seconds);

    CKXCtrlCheckBox m_useVideoCheck;
    CKXCtrlEdit m_recordLimitEdit;
    CKXCtrlCheckBox m_jpegCheck;
    CKXCtrlSlider m_qualitySlider;
    CKXQUIVAConfig* m_pConfig = nullptr;  // not owned; set before Create
};
