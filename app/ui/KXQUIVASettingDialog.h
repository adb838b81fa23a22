// The capture window's settings dialog and the study-name dialog of the study combo. Both are
// built for each opening and run modally on the calling thread, centred on the monitor under
// the cursor.
//
// The title bar runs the settings command as: keyboard hook off, KXQUIVARunSettingDialog, the
// study combo reloaded, keyboard hook on again while the engine runs. The study combo runs its
// "검사이름관리" entry as: keyboard hook off, KXQUIVARunStudyDialog, reload, hook on.
#pragma once

#include "app/model/Forward.h"

// "설정": one tab per page (colour control and resolution while the engine runs and the page
// stays visible after its creation, study names always, the PACS link when the clinic's PACS
// kind is 10, the options while the engine runs) and the close button. When it has closed,
// every page applies or undoes its values in tab order. Either pointer may be null.
void KXQUIVARunSettingDialog(CKXMCapture* engine, CKXQUIVAConfig* config);

// The study-name page alone in a dialog with the close button.
void KXQUIVARunStudyDialog(CKXQUIVAConfig* config);
