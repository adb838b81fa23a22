#include "app/ui/CKXCtrlWndQUIVAStudy.h"

#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXMsgBox.h"

CKXCtrlWndQUIVAStudy::CKXCtrlWndQUIVAStudy() { SetCaption(L"검사이름 관리"); }

CKXCtrlWndQUIVAStudy::~CKXCtrlWndQUIVAStudy() = default;

int CKXCtrlWndQUIVAStudy::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrlWnd::Create(newId, nx, ny, w, h);
    eraseBackground = 1;
    AddStaticText(L"검사목록", 20, 10, 100, 25, 0, 1);
    AddStaticText(L"검사이름", 20, 250, 60, 25, 0, 1);
    m_list.Create(ID_LIST, 20, 40, 250, 200);
    m_nameEdit.Create(ID_NAME, 85, 250, 185, 25);
    m_nameEdit.SetCueText(L"검사이름입력");
    m_addButton.Create(ID_ADD, 280, 40, 90, 25);
    m_addButton.SetCaption(L"추가");
    m_modifyButton.Create(ID_MODIFY, 280, 70, 90, 25);
    m_modifyButton.SetCaption(L"수정");
    m_deleteButton.Create(ID_DELETE, 280, 100, 90, 25);
    m_deleteButton.SetCaption(L"삭제");
    defaultButton = &m_addButton;  // Enter in the name edit adds the name
    AddControl(&m_list);
    AddControl(&m_nameEdit);
    AddControl(&m_addButton);
    AddControl(&m_modifyButton);
    AddControl(&m_deleteButton);
    if (m_pConfig) {
        for (int i = 0; i < static_cast<int>(m_pConfig->GetStudyNames().GetSize()); ++i)
            m_list.AddItem(m_pConfig->GetStudyName(i), 0);
        m_list.UpdateScrollBar();
    }
    return 1;
}

void CKXCtrlWndQUIVAStudy::OnValueChanged(int controlId, CKXCtrl*, CKXCtrlCursor* ctx)
{
    CString name;
    if (controlId == ID_LIST && SelectedName(&name))
        m_nameEdit.SetEditText(name, ctx);
}

void CKXCtrlWndQUIVAStudy::OnCommand(int commandId, CKXCtrl*, CKXCtrlCursor*)
{
    switch (commandId) {
    case ID_ADD:
        AddName();
        break;
    case ID_MODIFY:
        ModifyName();
        break;
    case ID_DELETE:
        DeleteName();
        break;
    default:
        break;
    }
}

int CKXCtrlWndQUIVAStudy::FindName(const CString& name)
{
    for (size_t i = 0; i < m_list.items.size(); ++i)
        if (m_list.items[i]->text.CompareNoCase(name) == 0)
            return static_cast<int>(i);
    return -1;
}

bool CKXCtrlWndQUIVAStudy::SelectedName(CString* name)
{
    std::vector<_KXListStringItem*>& selection = m_list.GetSelection();
    if (selection.empty())
        return false;
    *name = selection.front()->text;
    return true;
}

void CKXCtrlWndQUIVAStudy::TellRefused()
{
    CKXMsgBox box;
    box.Show(L"데이터베이스에 반영하지 못했습니다. 연결 상태를 확인하세요.", L"검사이름 관리", 0);
}

void CKXCtrlWndQUIVAStudy::AddName()
{
    const CString name = m_nameEdit.GetEditText();
    if (name.IsEmpty() || FindName(name) >= 0 || !m_pConfig)
        return;
    if (!m_pConfig->AddStudyName(name)) {
        TellRefused();
        return;
    }
    m_list.AddItem(name, 0);
    m_list.UpdateScrollBar();
}

void CKXCtrlWndQUIVAStudy::ModifyName()
{
    const CString newName = m_nameEdit.GetEditText();
    CString oldName;
    if (newName.IsEmpty() || FindName(newName) >= 0 || !SelectedName(&oldName) || !m_pConfig)
        return;
    CString question;
    question.Format(L"검사이름[%s]을 검사이름[%s]으로 변경하시겠습니까?", static_cast<LPCWSTR>(oldName),
                    static_cast<LPCWSTR>(newName));
    CKXMsgBox box;
    if (box.Show(question, L"검사이름 수정", 4) != IDYES)
        return;
    if (!m_pConfig->RenameStudyName(oldName, newName)) {
        TellRefused();
        return;
    }
    // The configuration renames the first name equal to the old one; so does the list.
    const int index = FindName(oldName);
    if (index >= 0)
        m_list.items[static_cast<size_t>(index)]->text = newName;
    m_list.UpdateScrollBar();
}

void CKXCtrlWndQUIVAStudy::DeleteName()
{
    CString name;
    if (!SelectedName(&name) || !m_pConfig)
        return;
    CString question;
    question.Format(L"검사이름[%s]을 삭제하시겠습니까?", static_cast<LPCWSTR>(name));
    CKXMsgBox box;
    if (box.Show(question, L"검사이름 삭제확인", 4) != IDYES)
        return;
    if (!m_pConfig->DeleteStudyName(name)) {
        TellRefused();
        return;
    }
    // The configuration removes the first name equal to this one; the list removes the same
    // single item, so the two stay alike.
    const int index = FindName(name);
    if (index >= 0)
        m_list.DeleteItem(index);
    m_list.UpdateScrollBar();
}
