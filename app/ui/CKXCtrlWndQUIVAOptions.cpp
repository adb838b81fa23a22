#include "app/ui/CKXCtrlWndQUIVAOptions.h"

#include <cwctype>

#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXMsgBox.h"

CKXCtrlWndQUIVAOptions::CKXCtrlWndQUIVAOptions() { SetCaption(L"환경설정"); }

CKXCtrlWndQUIVAOptions::~CKXCtrlWndQUIVAOptions() = default;

int CKXCtrlWndQUIVAOptions::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrlWnd::Create(newId, nx, ny, w, h);
    m_useVideoCheck.Create(ID_USE_VIDEO, 40, 30, 200, 25);
    m_useVideoCheck.SetCaption(L"동영상 저장 사용");
    AddStaticText(L"동영상 최대 녹화시간 ", 40, 70, 150, 25, 0, 1);
    m_recordLimitEdit.Create(ID_RECORD_LIMIT, 195, 70, 30, 25);
    AddStaticText(L"초", 230, 70, 30, 25, 0, 1);
    m_jpegCheck.Create(ID_JPEG, 40, 130, 300, 25);
    m_jpegCheck.SetCaption(L"정지영상 저장시 파일형식을 Jpeg으로 저장");
    AddStaticText(L"Jpeg품질", 40, 160, 80, 24, 0, 1);
    m_qualitySlider.SetRange(0, 100);
    m_qualitySlider.Create(ID_JPEG_QUALITY, 130, 160, 150, 25);
    AddStaticText(L"%  (100-무손실)", 280, 160, 150, 25, 0, 1);

    if (m_pConfig) {
        m_useVideoCheck.checked = m_pConfig->GetOptions().m_bUseVideo ? 1 : 0;
        m_jpegCheck.checked = m_pConfig->GetOptions().m_bSaveJpegFormat ? 1 : 0;
        CString limit;
        limit.Format(L"%d", m_pConfig->GetOptions().m_nRecordLimitTime);
        m_recordLimitEdit.SetEditText(limit, nullptr);
        m_qualitySlider.SetValue(static_cast<float>(m_pConfig->GetOptions().m_nJpegQuality));
    }
    AddControl(&m_useVideoCheck);
    AddControl(&m_recordLimitEdit);
    AddControl(&m_jpegCheck);
    AddControl(&m_qualitySlider);
    return 1;
}

bool CKXCtrlWndQUIVAOptions::ParseRecordLimit(const CString& text, int* seconds)
{
    const std::wstring& s = text.str();
    size_t i = 0;
    while (i < s.size() && std::iswspace(s[i]))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-'))
        negative = s[i++] == L'-';
    long long value = 0;
    for (; i < s.size() && s[i] >= L'0' && s[i] <= L'9'; ++i) {
        value = value * 10 + (s[i] - L'0');
        if (value > CKXQUIVAConfig::kMaxRecordLimitSeconds)
            return false;
    }
    if (negative && value != 0)
        return false;
    *seconds = static_cast<int>(value);
    return true;
}

void CKXCtrlWndQUIVAOptions::Refresh()
{
    if (!m_pConfig)
        return;
    CKXQUIVAConfig::Options options = m_pConfig->GetOptions();
    options.m_bUseVideo = m_useVideoCheck.checked ? 1 : 0;
    options.m_bSaveJpegFormat = m_jpegCheck.checked ? 1 : 0;
    options.m_nJpegQuality = m_qualitySlider.GetTruncatedValue();
    // A negative or overlong limit would become no limit or a wrapped one when the recording
    // turns it into milliseconds: it is refused and the limit in force stays.
    int limit = 0;
    const bool accepted = ParseRecordLimit(m_recordLimitEdit.GetEditText(), &limit);
    if (accepted)
        options.m_nRecordLimitTime = limit;
    m_pConfig->SetOptions(options);
    m_pConfig->SaveConfig();
    if (!accepted) {
        CString message;
        message.Format(L"동영상 최대 녹화시간은 0에서 %d초 사이로 입력하세요. 이전 값(%d초)을 유지합니다.",
                       CKXQUIVAConfig::kMaxRecordLimitSeconds, m_pConfig->GetOptions().m_nRecordLimitTime);
        CKXMsgBox box;
        box.Show(message, L"환경설정", 0);
    }
}
