// The device monitor's look: the controls' dark scheme on a neutral dark window, with no
// caption-button icons (the monitor's windows have no caption bar of their own).
#pragma once

#include "framework/CKXCtrlTheme.h"

class CKXMonitorTheme : public CKXCtrlTheme {
public:
    CKXMonitorTheme();
    void LoadDefaults() override;
};
