#include "app/ui/CKXCtrlWndQUIVAVideoControl.h"

#include <algorithm>

#include "app/model/CKXQUIVAConfig.h"
#include "app/ui/QUIVAColorControl.h"

namespace {

const wchar_t* const kRowNames[4] = {L"색조", L"채도", L"밝기", L"선명도"};
constexpr float kRowY[4] = {40, 70, 100, 130};

}  // namespace

CKXCtrlWndQUIVAVideoControl::CKXCtrlWndQUIVAVideoControl() { SetCaption(L"색상조정"); }

CKXCtrlWndQUIVAVideoControl::~CKXCtrlWndQUIVAVideoControl() = default;

int CKXCtrlWndQUIVAVideoControl::SliderValue(int row) const
{
    return m_sliders[row].GetTruncatedValue();
}

int CKXCtrlWndQUIVAVideoControl::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrlWnd::Create(newId, nx, ny, w, h);
    for (int row = 0; row < 4; ++row) {
        AddStaticText(kRowNames[row], 20, kRowY[row], 50, 25, 0, 1);
        m_sliders[row].SetRange(-127, 127);
        m_sliders[row].Create(ID_HUE + row, 80, kRowY[row], 200, 25);
        m_sliders[row].SetValue(0.0f);
        m_resetButtons[row].Create(ID_RESET_HUE + row * 10, 280, kRowY[row], 50, 25);
        m_resetButtons[row].SetCaption(L"초기화");
        m_previousButtons[row].Create(ID_PREVIOUS_HUE + row * 10, 335, kRowY[row], 50, 25);
        m_previousButtons[row].SetCaption(L"이전값");
    }
    m_resetAllButton.Create(ID_RESET_ALL, 20, 180, 100, 25);
    m_resetAllButton.SetCaption(L"전체 초기화");
    m_previousAllButton.Create(ID_PREVIOUS_ALL, 125, 180, 100, 25);
    m_previousAllButton.SetCaption(L"전체 이전값");
    m_saveButton.Create(ID_SAVE, 285, 180, 100, 25);
    m_saveButton.SetCaption(L"설정저장");
    m_noColorText.Create(ID_NO_COLOR, 20, 210, 365, 25);
    m_noColorText.SetCaption(L"이 입력소스는 색상조정을 지원하지 않습니다.");
    m_noColorText.visible = 0;
    m_applyColorCheck.Create(ID_APPLY_COLOR, 20, 240, 300, 25);
    m_applyColorCheck.SetCaption(L"색상적용 (영상끊김현상이 발생되면 해제하세요)");

    const BOOL applyColor = m_pConfig ? m_pConfig->GetOptions().m_bApplyColor : 1;
    if (m_pEngine) {
        // The values to return to start as the source's stored ones (0 without a record), so
        // nothing undefined can reach the engine when its values cannot be read.
        if (m_pConfig) {
            const _KXCaptureStudyConfig record = m_pConfig->GetDeviceSettings(m_pEngine->GetCurrentDeviceName());
            const int stored[4] = {record.hue, record.saturation, record.brightness, record.contrast};
            std::copy(stored, stored + 4, m_previous);
        }
        if (applyColor) {
            int read[4] = {0, 0, 0, 0};
            if (m_pEngine->GetColorControls(&read[0], &read[1], &read[2], &read[3])) {
                std::copy(read, read + 4, m_previous);
                for (int row = 0; row < 4; ++row)
                    m_sliders[row].SetValue(static_cast<float>(read[row]));
            }
            visible = 1;
        }
    }
    m_applyColorCheck.checked = applyColor ? 1 : 0;
    CheckColorControl();

    for (int row = 0; row < 4; ++row)
        AddControl(&m_sliders[row]);
    for (int row = 0; row < 4; ++row) {
        AddControl(&m_resetButtons[row]);
        AddControl(&m_previousButtons[row]);
    }
    AddControl(&m_resetAllButton);
    AddControl(&m_previousAllButton);
    AddControl(&m_saveButton);
    AddControl(&m_noColorText);
    AddControl(&m_applyColorCheck);
    return 1;
}

void CKXCtrlWndQUIVAVideoControl::CheckColorControl()
{
    int values[4];
    m_colorAvailable = m_pEngine && m_pEngine->GetColorControls(&values[0], &values[1], &values[2], &values[3]);
    // Off by choice needs no notice; on without effect does.
    m_noColorText.visible = (m_pEngine && !m_colorAvailable && m_applyColorCheck.checked) ? 1 : 0;
}

void CKXCtrlWndQUIVAVideoControl::SetRow(int row, int value)
{
    m_sliders[row].SetValue(static_cast<float>(value));
    if (!m_colorAvailable)
        return;
    switch (row) {
    case 0:
        m_pEngine->SetColorControl1(value);
        break;
    case 1:
        m_pEngine->SetColorControl2(value);
        break;
    case 2:
        m_pEngine->SetColorControl3(value);
        break;
    default:
        m_pEngine->SetColorControl4(value);
        break;
    }
}

void CKXCtrlWndQUIVAVideoControl::SetAll(const int values[4])
{
    if (m_colorAvailable)
        m_pEngine->SetColorControls(values[0], values[1], values[2], values[3]);
    for (int row = 0; row < 4; ++row)
        m_sliders[row].SetValue(static_cast<float>(values[row]));
}

void CKXCtrlWndQUIVAVideoControl::OnValueChanged(int controlId, CKXCtrl*, CKXCtrlCursor*)
{
    if (!m_pEngine || controlId < ID_HUE || controlId > ID_CONTRAST)
        return;
    const int row = controlId - ID_HUE;
    SetRow(row, SliderValue(row));
}

void CKXCtrlWndQUIVAVideoControl::OnCommand(int commandId, CKXCtrl*, CKXCtrlCursor* ctx)
{
    if (!m_pEngine)
        return;
    if (commandId >= ID_RESET_HUE && commandId <= ID_PREVIOUS_HUE + 30) {
        const int row = (commandId - ID_RESET_HUE) / 10;
        const int which = (commandId - ID_RESET_HUE) % 10;
        if (which == 0)
            SetRow(row, 0);
        else if (which == 1)
            SetRow(row, m_previous[row]);
        return;
    }
    switch (commandId) {
    case ID_RESET_ALL: {
        const int zero[4] = {0, 0, 0, 0};
        SetAll(zero);
        break;
    }
    case ID_PREVIOUS_ALL:
        SetAll(m_previous);
        break;
    case ID_SAVE:
        SaveValues();
        break;
    case ID_APPLY_COLOR:
        ToggleApplyColor();
        if (ctx && ctx->host && ctx->host->m_hWnd) {
            HWND dialog = ::GetParent(ctx->host->m_hWnd);
            ::InvalidateRect(dialog ? dialog : ctx->host->m_hWnd, nullptr, FALSE);
        }
        break;
    default:
        break;
    }
}

void CKXCtrlWndQUIVAVideoControl::SaveValues()
{
    if (!m_pConfig)
        return;
    const CString device = m_pEngine->GetCurrentDeviceName();
    _KXCaptureStudyConfig record = m_pConfig->GetDeviceSettings(device);
    for (int row = 0; row < 4; ++row)
        m_previous[row] = SliderValue(row);
    record.hue = m_previous[0];
    record.saturation = m_previous[1];
    record.brightness = m_previous[2];
    record.contrast = m_previous[3];
    m_pConfig->SetDeviceSettings(device, record);
    m_pConfig->SaveDeviceConfig();
}

void CKXCtrlWndQUIVAVideoControl::ToggleApplyColor()
{
    const BOOL applyColor = m_applyColorCheck.checked ? 1 : 0;
    if (m_pConfig) {
        CKXQUIVAConfig::Options options = m_pConfig->GetOptions();
        options.m_bApplyColor = applyColor;
        m_pConfig->SetOptions(options);
        m_pConfig->SaveConfig();
    }
    if (applyColor)
        for (int row = 0; row < 4; ++row)
            m_sliders[row].SetValue(static_cast<float>(m_previous[row]));
    if (m_pConfig) {
        // The graph is built again with or without the colour control.
        const CString device = m_pEngine->GetCurrentDeviceName();
        const _KXCaptureStudyConfig record = m_pConfig->GetDeviceSettings(device);
        m_pEngine->SetRequestedFormat(record.width, record.height, record.fps, record.mediaType);
        QUIVAApplyColorOption(*m_pEngine, *m_pConfig);
        m_pEngine->SelectDevice(device, nullptr);
        m_pEngine->SetColorControls(SliderValue(0), SliderValue(1), SliderValue(2), SliderValue(3));
    }
    m_pEngine->Start(nullptr);
    CheckColorControl();
}

void CKXCtrlWndQUIVAVideoControl::Refresh()
{
    if (m_pEngine && m_colorAvailable)
        m_pEngine->SetColorControls(m_previous[0], m_previous[1], m_previous[2], m_previous[3]);
}
