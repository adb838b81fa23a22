#include "app/ui/CKXCtrlWndQUIVAResolution.h"

#include <cstring>

#include "app/model/CKXQUIVAConfig.h"
#include "platform/com/com.h"

CKXCtrlWndQUIVAResolution::CKXCtrlWndQUIVAResolution() { SetCaption(L"해상도설정"); }

CKXCtrlWndQUIVAResolution::~CKXCtrlWndQUIVAResolution() { FreeRows(); }

namespace {

// A subtype the engine names by its GUID is shown by its four-character code when it is one of
// the FOURCC family {XXXXXXXX-0000-0010-8000-00AA00389B71}; the stored name stays the GUID.
CString ShownSubtype(const CString& subtype)
{
    GUID guid{};
    if (subtype.IsEmpty() || subtype[0] != L'{' || FAILED(CLSIDFromString(subtype, &guid)))
        return subtype;
    static const BYTE kTail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    if (guid.Data2 != 0 || guid.Data3 != 0x0010 || memcmp(guid.Data4, kTail, sizeof kTail) != 0)
        return subtype;
    CString code;
    for (int i = 0; i < 4; ++i) {
        const wchar_t ch = static_cast<wchar_t>((guid.Data1 >> (8 * i)) & 0xFF);
        if (ch < 0x20 || ch > 0x7E)
            return subtype;
        code += ch;
    }
    return code;
}

}  // namespace

CString CKXCtrlWndQUIVAResolution::FormatText(const _KXMCaptureResolutionInfo& format)
{
    CString text;
    text.Format(L"%dx%d/%dfps %s", format.width, format.height, format.frameRate,
                static_cast<LPCWSTR>(ShownSubtype(format.subtype)));
    return text;
}

bool CKXCtrlWndQUIVAResolution::SameFormat(const _KXMCaptureResolutionInfo& a, const _KXMCaptureResolutionInfo& b)
{
    return a.width == b.width && a.height == b.height && a.frameRate == b.frameRate &&
           a.subtype.CompareNoCase(b.subtype) == 0;
}

int CKXCtrlWndQUIVAResolution::Create(int newId, float nx, float ny, float w, float h)
{
    CKXCtrlWnd::Create(newId, nx, ny, w, h);
    const CString device = m_pEngine ? m_pEngine->GetCurrentDeviceName() : CString();
    CString label;
    label.Format(L"[%s]", static_cast<LPCWSTR>(device));
    AddStaticText(label, 20, 20, 250, 25, 0, 1);

    _KXCaptureStudyConfig record;
    if (m_pConfig)
        record = m_pConfig->GetDeviceSettings(device);
    m_autoCheck.Create(ID_AUTO, 20, 50, 150, 25);
    m_autoCheck.SetCaption(L"최상 해상도 자동검색");
    m_autoCheck.checked = record.width == 0 ? 1 : 0;
    m_current.Create(ID_CURRENT, 30, 80, 350, 25);
    m_list.Create(ID_LIST, 30, 110, 350, 140);
    // Rows are tried only while the automatic choice is off, so the box never claims a format
    // the preview does not run.
    m_list.enabled = m_autoCheck.checked ? 0 : 1;
    if (!m_pEngine || m_pEngine->GetFormatCount() == 0)
        visible = 0;

    if (m_pEngine) {
        if (const _KXMCaptureResolutionInfo* requested = m_pEngine->FindRequestedFormat()) {
            m_baseline = *requested;
            m_hasBaseline = true;
        }
        FreeRows();
        m_list.RemoveAll();
        for (int i = 0; i < m_pEngine->GetFormatCount(); ++i) {
            const _KXMCaptureResolutionInfo& format = m_pEngine->GetFormat(i);
            const CString text = FormatText(format);
            m_list.AddItem(text, reinterpret_cast<intptr_t>(new _KXMCaptureResolutionInfo(format)));
            if (m_hasBaseline && SameFormat(format, m_baseline)) {
                m_list.SelectString(text);
                m_current.SetCaption(text);
            }
        }
        m_list.UpdateScrollBar();
    }

    m_applyButton.Create(ID_APPLY, 300, 255, 80, 25);
    m_applyButton.SetCaption(L"적용");
    AddControl(&m_autoCheck);
    AddControl(&m_current);
    AddControl(&m_list);
    AddControl(&m_applyButton);
    return 1;
}

void CKXCtrlWndQUIVAResolution::ApplyFormat(const _KXMCaptureResolutionInfo& format)
{
    if (!m_pEngine)
        return;
    // The graph is built anew; the picture keeps the colour values it had.
    int hue = 0, saturation = 0, brightness = 0, contrast = 0;
    const int hadColors = m_pEngine->GetColorControls(&hue, &saturation, &brightness, &contrast);
    const CString device = m_pEngine->GetCurrentDeviceName();
    m_pEngine->SetRequestedFormat(format.width, format.height, format.frameRate, format.subtype);
    m_pEngine->SelectDevice(device, nullptr);
    m_pEngine->Start(nullptr);
    if (hadColors)
        m_pEngine->SetColorControls(hue, saturation, brightness, contrast);
    ShowRequestedFormat();
}

void CKXCtrlWndQUIVAResolution::ShowRequestedFormat()
{
    m_list.ClearSelection();
    m_current.SetCaption(L"");
    const _KXMCaptureResolutionInfo* found = m_pEngine->FindRequestedFormat();
    if (!found)
        return;
    const _KXMCaptureResolutionInfo requested = *found;
    for (const _KXListStringItem* item : m_list.items) {
        const auto* format = reinterpret_cast<const _KXMCaptureResolutionInfo*>(item->data);
        if (format && SameFormat(*format, requested)) {
            m_list.SelectString(item->text);
            m_current.SetCaption(item->text);
        }
    }
}

void CKXCtrlWndQUIVAResolution::OnValueChanged(int controlId, CKXCtrl*, CKXCtrlCursor*)
{
    if (controlId != ID_LIST)
        return;
    std::vector<_KXListStringItem*>& selection = m_list.GetSelection();
    if (selection.empty() || !selection.front()->data)
        return;
    const _KXMCaptureResolutionInfo format = *reinterpret_cast<const _KXMCaptureResolutionInfo*>(selection.front()->data);
    m_tried = true;
    ApplyFormat(format);
}

void CKXCtrlWndQUIVAResolution::OnCommand(int commandId, CKXCtrl*, CKXCtrlCursor*)
{
    if (commandId == ID_AUTO) {
        m_list.enabled = m_autoCheck.checked ? 0 : 1;
        if (m_autoCheck.checked) {
            m_tried = true;
            ApplyFormat(_KXMCaptureResolutionInfo());
        }
    } else if (commandId == ID_APPLY) {
        Store();
    }
}

void CKXCtrlWndQUIVAResolution::Store()
{
    if (!m_pEngine || !m_pConfig)
        return;
    const CString device = m_pEngine->GetCurrentDeviceName();
    _KXCaptureStudyConfig record = m_pConfig->GetDeviceSettings(device);
    if (m_autoCheck.checked) {
        // The automatic choice is stored as no requested format, so the source goes back to
        // its best format from now on.
        record.width = record.height = record.fps = 0;
        record.mediaType = L"";
        m_hasBaseline = false;
    } else {
        const _KXMCaptureResolutionInfo* requested = m_pEngine->FindRequestedFormat();
        if (!requested)
            return;
        m_baseline = *requested;
        m_hasBaseline = true;
        record.width = requested->width;
        record.height = requested->height;
        record.fps = requested->frameRate;
        record.mediaType = requested->subtype;
    }
    m_tried = false;
    m_pConfig->SetDeviceSettings(device, record);
    m_pConfig->SaveDeviceConfig();
}

void CKXCtrlWndQUIVAResolution::Refresh()
{
    if (m_pEngine) {
        // A format tried but not stored is undone: back to the baseline, or to the automatic
        // best format when the source had none in force.
        const _KXMCaptureResolutionInfo* requested = m_pEngine->FindRequestedFormat();
        const bool undo = m_hasBaseline ? (!requested || !SameFormat(*requested, m_baseline)) : m_tried;
        if (undo)
            ApplyFormat(m_hasBaseline ? m_baseline : _KXMCaptureResolutionInfo());
        m_tried = false;
    }
    FreeRows();
}

void CKXCtrlWndQUIVAResolution::FreeRows()
{
    for (_KXListStringItem* item : m_list.items) {
        delete reinterpret_cast<_KXMCaptureResolutionInfo*>(item->data);
        item->data = 0;
    }
}
