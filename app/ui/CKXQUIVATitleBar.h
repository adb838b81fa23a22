// The tool strip across the top of the capture window: close, save, still and video buttons,
// the study and source combos, the settings button, the do-not-disturb check box, and the
// recording indicator that takes the source combo's place while a recording runs. It acts on
// the current capture model, the engine and the configuration directly.
#pragma once

#include "app/model/Forward.h"
#include "app/ui/CKXCtrlQUIVARecordTimer.h"
#include "app/ui/CKXCtrlQUIVAStudyComboBox.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlWnd.h"

enum {
    IDC_TITLE_CLOSE = 100,
    IDC_TITLE_SAVE = 101,
    IDC_TITLE_STILL = 102,
    IDC_TITLE_VIDEO = 103,
    IDC_TITLE_STUDY = 104,
    IDC_TITLE_SOURCE = 105,
    IDC_TITLE_SETTINGS = 106,
    IDC_TITLE_NOPREVENT = 107,
    // The recording indicator never notifies; its own id keeps id look-ups unambiguous.
    IDC_TITLE_RECORD_TIMER = 108,
};

class CKXQUIVATitleBar : public CKXCtrlWnd {
public:
    CKXQUIVATitleBar();
    ~CKXQUIVATitleBar() override;

    CKXCtrlButton closeButton, saveButton, stillButton, videoButton;
    CKXCtrlQUIVAStudyComboBox studyCombo;
    CKXCtrlComboBox sourceCombo;
    CKXCtrlButton settingsButton;
    CKXCtrlQUIVARecordTimer recordTimer;
    CKXCtrlCheckBox noPreventCheck;
    CKXMCapture* engine = nullptr;          // not owned
    CKXQUIVACaptureModel* model = nullptr;  // not owned; null when no patient is shown
    CKXQUIVAConfig* config = nullptr;       // not owned

    int Create(int id, float x, float y, float width, float height) override;
    void Draw(Gdiplus::Graphics* g, float offsetX, float offsetY, CKXCtrlRenderHint* hint, CKXCtrlCursor* ctx) override;
    void EraseBackground(Gdiplus::Graphics* g, CKXCtrlCursor* ctx) override;
    int OnLButtonDown(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    int OnMouseMove(float x, float y, BOOL* handled, CKXCtrlCursor* ctx) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    void OnValueChanged(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;

    void SetModel(CKXQUIVACaptureModel* newModel);
    // Fills the source combo with the engine's devices; the current one becomes the text.
    void UpdateSource();

protected:
    // While the engine records, the record timer takes the place of the source combo and the
    // settings button; with a context, a change repaints the bar.
    void ShowRecordingState(CKXCtrlCursor* ctx);
    void Save(CKXCtrlCursor* ctx);
    // The study combo's text and today's date go into the model.
    void StampModel();
    void ChangeSource();
    // The settings dialog, with the keyboard hook off while it is open; back on afterwards only
    // while the preview runs.
    void RunSettings(CKXCtrlCursor* ctx);
};
