#include "monitor/CKXMonitorTheme.h"

#include "platform/gdi/gdi.h"

CKXMonitorTheme::CKXMonitorTheme()
{
    LoadDefaults();
}

void CKXMonitorTheme::LoadDefaults()
{
    CKXCtrlTheme::LoadDefaults();
    window.style.back = 0xFF1E1E1Eu;
    for (_KXCtrlSysButtonStyle* b : {&minimizeButton, &maximizeButton, &restoreButton, &settingButton, &exitButton}) {
        if (b->icon.icon)
            DestroyIcon(b->icon.icon);
        b->icon = _KXCtrlIconInfo{};
    }
}
