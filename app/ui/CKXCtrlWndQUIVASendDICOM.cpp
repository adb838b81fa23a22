#include "app/ui/CKXCtrlWndQUIVASendDICOM.h"

#include "app/model/CKXQUIVAConfig.h"
#include "app/model/CKXSendDicomModel.h"
#include "framework/CKXMsgBox.h"

namespace {

bool ValidPort(const CString& port)
{
    if (port.IsEmpty() || port.GetLength() > 5)
        return false;
    long value = 0;
    for (int i = 0; i < port.GetLength(); ++i) {
        const wchar_t c = port.GetAt(i);
        if (c < L'0' || c > L'9')
            return false;
        value = value * 10 + (c - L'0');
    }
    return value >= 1 && value <= 65535;
}

}  // namespace

CKXCtrlWndQUIVASendDICOM::~CKXCtrlWndQUIVASendDICOM() = default;

int CKXCtrlWndQUIVASendDICOM::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrlWnd::Create(newId, nx, ny, w, h);
    eraseBackground = 1;

    m_sendCheck.Create(ID_SEND, 20, 20, 250, 25);
    m_sendCheck.SetCaption(L"저장시 PACS Server로 이미지 전송");
    AddStaticText(L"PACS Server IP", 20, 70, 100, 25, 0, 1);
    m_hostEdit.Create(ID_HOST, 140, 70, 150, 25);
    AddStaticText(L"AE Title", 20, 100, 100, 25, 0, 1);
    m_aeTitleEdit.Create(ID_AETITLE, 140, 100, 150, 25);
    AddStaticText(L"Port", 20, 130, 100, 25, 0, 1);
    m_portEdit.Create(ID_PORT, 140, 130, 50, 25);
    AddStaticText(L"요양기관번호", 20, 160, 100, 25, 0, 1);
    m_institutionEdit.Create(ID_INSTITUTION, 140, 160, 150, 25);
    m_applyButton.Create(ID_APPLY, 195, 220, 95, 25);
    m_applyButton.SetCaption(L"적용");

    if (m_pConfig) {
        m_sendCheck.checked = m_pConfig->GetOptions().m_bSendDICOM ? 1 : 0;
        m_hostEdit.SetEditText(m_pConfig->GetPacsServerIp(), nullptr);
        m_portEdit.SetEditText(m_pConfig->GetPacsPort(), nullptr);
        m_aeTitleEdit.SetEditText(m_pConfig->GetPacsAETitle(), nullptr);
        m_institutionEdit.SetEditText(m_pConfig->GetInstitutionNumber(), nullptr);
    }

    AddControl(&m_sendCheck);
    AddControl(&m_hostEdit);
    AddControl(&m_aeTitleEdit);
    AddControl(&m_portEdit);
    AddControl(&m_institutionEdit);
    AddControl(&m_applyButton);
    return 1;
}

void CKXCtrlWndQUIVASendDICOM::OnCommand(int commandId, CKXCtrl*, CKXCtrlCursor*)
{
    if (commandId == ID_APPLY)
        Apply();
}

CString CKXCtrlWndQUIVASendDICOM::CheckValues(BOOL send, const CString& host, const CString& aeTitle,
                                               const CString& port)
{
    if (send && host.IsEmpty())
        return L"PACS Server IP를 입력하세요.";
    if ((send || !aeTitle.IsEmpty()) && !CKXSendDicomModel::IsValidAETitle(aeTitle))
        return L"AE Title은 1~16자의 영문, 숫자, 기호로 입력하세요. ('\\' 제외)";
    if ((send || !port.IsEmpty()) && !ValidPort(port))
        return L"Port는 1에서 65535 사이의 숫자로 입력하세요.";
    return L"";
}

void CKXCtrlWndQUIVASendDICOM::Apply()
{
    if (!m_pConfig)
        return;
    const BOOL send = m_sendCheck.checked ? 1 : 0;
    const CString host = m_hostEdit.GetEditText();
    const CString aeTitle = m_aeTitleEdit.GetEditText();
    const CString port = m_portEdit.GetEditText();
    // A value every later send would fail on is not stored; the person is told what to mend.
    const CString problem = CheckValues(send, host, aeTitle, port);
    if (!problem.IsEmpty()) {
        CKXMsgBox box;
        box.Show(problem, L"PACS연동", 0);
        return;
    }
    CKXQUIVAConfig::Options options = m_pConfig->GetOptions();
    options.m_bSendDICOM = send;
    options.m_strPacsHost = host;
    options.m_strPacsAETitle = aeTitle;
    options.m_strInstitutionNumber = m_institutionEdit.GetEditText();
    options.m_strPacsPort = port;
    m_pConfig->SetOptions(options);
    m_pConfig->SaveConfig();
}
