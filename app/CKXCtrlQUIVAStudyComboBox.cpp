#include "app/CKXCtrlQUIVAStudyComboBox.h"

#include "app/CKXQUIVAConfig.h"
#include "framework/CKXCtrlWnd.h"

void CKXCtrlQUIVAStudyComboBox::DropDown(float x, float y, float width, float scale, CKXCtrlCursor* ctx)
{
    CString before = GetEditText();
    CKXCtrlComboBox::DropDown(x, y, width, scale, ctx);
    OnMouseLeave(ctx);
    if (GetEditText() != before && parent)
        parent->OnValueChanged(id, this, ctx);
}

void CKXCtrlQUIVAStudyComboBox::ReloadStudies()
{
    if (!config)
        return;
    CString previous = GetEditText();
    dropList.RemoveAll();
    for (int i = 0; i < static_cast<int>(config->m_studyNames.GetSize()); ++i)
        AddItem(config->GetStudyName(i), 0);
    if (previous.IsEmpty()) {
        if (!dropList.items.empty())
            SetCurSel(0);
    } else {
        SetEditText(previous, nullptr);
    }
}
