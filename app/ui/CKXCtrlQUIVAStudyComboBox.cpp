#include "app/ui/CKXCtrlQUIVAStudyComboBox.h"

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVAConfig.h"
#include "app/ui/KXQUIVASettingDialog.h"
#include "app/ui/QUIVAKeyboardHook.h"
#include "framework/CKXCtrlWnd.h"

namespace {

// Item data of the list: a study name, and the entry that opens the study-name dialog.
constexpr intptr_t kStudyItem = 0;
constexpr intptr_t kManageItem = 1;

}  // namespace

void CKXCtrlQUIVAStudyComboBox::DropDown(float x, float y, float width, float scale, CKXCtrlCursor* ctx)
{
    CString before = GetEditText();
    const CString shown = *editText;
    CKXCtrlComboBox::DropDown(x, y, width, scale, ctx);
    std::vector<_KXListStringItem*>& chosen = dropList.GetSelection();
    if (!chosen.empty() && chosen.front()->data == kManageItem) {
        // The entry is a command, never a study: the text stays what it was.
        *editText = shown;
        ManageStudies();
    }
    OnMouseLeave(ctx);
    if (GetEditText() != before && parent)
        parent->OnValueChanged(id, this, ctx);
}

void CKXCtrlQUIVAStudyComboBox::ManageStudies()
{
    // No capture key acts while the dialog is open; afterwards the keys act again if they did
    // before (the hook is there only while the preview runs).
    WithoutCaptureKeys([this] {
        KXQUIVARunStudyDialog(config);
        ReloadStudies();
        dropList.SelectString(GetEditText());
    });
}

void CKXCtrlQUIVAStudyComboBox::ReloadStudies()
{
    if (!config)
        return;
    CString previous = GetEditText();
    dropList.RemoveAll();
    for (int i = 0; i < static_cast<int>(config->GetStudyNames().GetSize()); ++i)
        AddItem(config->GetStudyName(i), kStudyItem);
    AddItem(L"검사이름관리", kManageItem);
    // The untitled study stood in only while no name could be read.
    if (previous.IsEmpty() || previous == CKXQUIVACaptureModel::kUntitledStudy) {
        if (dropList.items.size() > 1)
            SetCurSel(0);
        else  // no name could be read: what is shown is what a capture is filed under
            SetEditText(CKXQUIVACaptureModel::kUntitledStudy, nullptr);
    } else {
        SetEditText(previous, nullptr);
    }
}
