// The study combo of the title bar: the configuration's study names and, last, the entry
// "검사이름관리" that opens the study-name dialog; a changed choice is told to the title bar.
#pragma once

#include "app/model/Forward.h"
#include "framework/CKXCtrlComboBox.h"

class CKXCtrlQUIVAStudyComboBox : public CKXCtrlComboBox {
public:
    CKXQUIVAConfig* config = nullptr;  // not owned

    void DropDown(float x, float y, float width, float scale, CKXCtrlCursor* ctx) override;
    // Rebuilds the list from the configuration and keeps the text: an empty text becomes the
    // first study (the untitled study when none is listed); a name no longer listed stays.
    // Nothing is notified.
    void ReloadStudies();
    // The study-name dialog with the keyboard hook off; afterwards the list is reloaded, the
    // current text selected and the hook installed again if it was installed before.
    void ManageStudies();
};
