// The "색상조정" page of the settings dialog: hue, saturation, brightness and contrast of the
// live picture, sent to the engine's colour control while the sliders move, with per-value and
// global reset and undo, the colour-application switch, and "설정저장", which stores the four
// values for the current source. Moves not stored are undone when the dialog closes.
#pragma once

#include "app/model/Forward.h"
#include "capture/CKXMCapture.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlSlider.h"
#include "framework/CKXCtrlStatic.h"
#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndQUIVAVideoControl : public CKXCtrlWnd {
public:
    enum {
        ID_HUE = 1, ID_SATURATION = 2, ID_BRIGHTNESS = 3, ID_CONTRAST = 4,
        ID_RESET_HUE = 101, ID_PREVIOUS_HUE = 102,  // a row's pair is 10 further on per row
        ID_APPLY_COLOR = 140,
        ID_RESET_ALL = 200, ID_PREVIOUS_ALL = 201, ID_SAVE = 202,
        ID_NO_COLOR = 300,
    };

    CKXCtrlWndQUIVAVideoControl();
    ~CKXCtrlWndQUIVAVideoControl() override;

    int Create(int id, float x, float y, float width, float height) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    void OnValueChanged(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    void Refresh() override;

    // The slider of a row (0 hue, 1 saturation, 2 brightness, 3 contrast), truncated.
    int SliderValue(int row) const;

    CKXCtrlSlider m_sliders[4];
    CKXCtrlButton m_resetButtons[4];
    CKXCtrlButton m_previousButtons[4];
    CKXCtrlCheckBox m_applyColorCheck;
    CKXCtrlButton m_resetAllButton;
    CKXCtrlButton m_previousAllButton;
    CKXCtrlButton m_saveButton;
    // Says that the source's picture takes no colour values (shown only then).
    CKXCtrlStatic m_noColorText;
    CKXMCapture* m_pEngine = nullptr;     // not owned; set before Create
    CKXQUIVAConfig* m_pConfig = nullptr;  // not owned; set before Create
    // What the page returns to on "이전값" and when the dialog closes.
    int m_previous[4] = {0, 0, 0, 0};
    // The running graph holds the colour control; without it nothing is sent to the engine.
    bool m_colorAvailable = false;

private:
    // One row's value to the slider and, when the picture takes it, to the engine.
    void SetRow(int row, int value);
    // All four values to the sliders and the engine.
    void SetAll(const int values[4]);
    void SaveValues();
    void ToggleApplyColor();
    // Whether the engine's graph answers for its colour values; the notice follows.
    void CheckColorControl();
};
