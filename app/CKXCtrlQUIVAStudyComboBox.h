// The study combo of the title bar: the configuration's study names; a changed choice is told
// to the title bar.
#pragma once

#include "framework/CKXCtrlComboBox.h"

class CKXQUIVAConfig;

class CKXCtrlQUIVAStudyComboBox : public CKXCtrlComboBox {
public:
    CKXQUIVAConfig* config = nullptr;  // not owned

    void DropDown(float x, float y, float width, float scale, CKXCtrlCursor* ctx) override;
    // Rebuilds the list from the configuration and keeps the text: an empty text becomes the
    // first study; a name no longer listed stays. Nothing is notified.
    void ReloadStudies();
};
