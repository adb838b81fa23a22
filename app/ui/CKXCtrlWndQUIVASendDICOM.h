// The "PACS연동" page of the settings dialog: whether committed stills go to the PACS, the PACS
// host, AE title and port, and the institution number that goes into every UID. The values are
// checked and stored, with the configuration file, when "적용" is pressed.
#pragma once

#include "app/model/Forward.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlCheckBox.h"
#include "framework/CKXCtrlEdit.h"
#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndQUIVASendDICOM : public CKXCtrlWnd {
public:
    enum { ID_SEND = 10, ID_HOST = 20, ID_AETITLE = 30, ID_PORT = 40, ID_INSTITUTION = 50, ID_APPLY = 60 };

    CKXCtrlWndQUIVASendDICOM() = default;
    ~CKXCtrlWndQUIVASendDICOM() override;

    int Create(int id, float x, float y, float width, float height) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;

    // What keeps the values from being stored, as the person is told; empty when they can be.
    // A port is 1 to 65535 in decimal digits only; an AE title is 1 to 16 printable ASCII
    // characters without a backslash and not only spaces. With sending on, the host, the title
    // and the port must all be given; with it off, only what is given is checked.
    static CString CheckValues(BOOL send, const CString& host, const CString& aeTitle, const CString& port);

    CKXQUIVAConfig* m_pConfig = nullptr;  // not owned; set before Create
    CKXCtrlCheckBox m_sendCheck;
    CKXCtrlEdit m_hostEdit;
    CKXCtrlEdit m_aeTitleEdit;
    CKXCtrlEdit m_portEdit;
    CKXCtrlEdit m_institutionEdit;
    CKXCtrlButton m_applyButton;

private:
    void Apply();
};
