// The "검사이름 관리" page: the study names of the clinic records, which the title bar's study
// combo offers, with add, rename and delete. Each change goes to the clinic database through the
// configuration at once, and the list shows it only when the database took it.
#pragma once

#include "app/model/Forward.h"
#include "framework/CKXCtrlButton.h"
#include "framework/CKXCtrlEdit.h"
#include "framework/CKXCtrlListBox.h"
#include "framework/CKXCtrlWnd.h"

class CKXCtrlWndQUIVAStudy : public CKXCtrlWnd {
public:
    enum { ID_LIST = 1, ID_NAME = 2, ID_ADD = 10, ID_MODIFY = 11, ID_DELETE = 12 };

    CKXCtrlWndQUIVAStudy();
    ~CKXCtrlWndQUIVAStudy() override;

    int Create(int id, float x, float y, float width, float height) override;
    void OnCommand(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;
    void OnValueChanged(int id, CKXCtrl* sender, CKXCtrlCursor* ctx) override;

    CKXCtrlListBox m_list;
    CKXCtrlEdit m_nameEdit;
    CKXCtrlButton m_addButton;
    CKXCtrlButton m_modifyButton;
    CKXCtrlButton m_deleteButton;
    CKXQUIVAConfig* m_pConfig = nullptr;  // not owned; set before Create

private:
    void AddName();
    void ModifyName();
    void DeleteName();
    // The first list item equal to the name without regard to case, or -1.
    int FindName(const CString& name);
    // The text of the topmost selected item; false when nothing is selected.
    bool SelectedName(CString* name);
    static void TellRefused();
};
