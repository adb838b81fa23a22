// The configuration's per-source settings and the file "QUIVA.Capture.Device.Config".
//
// The file is in code page 949 like the other settings files: a device name with characters that
// code page cannot hold is saved with "?" in their place and no longer matches its source.
#include "app/CKXQUIVAConfig.h"

#include "app/KXConfigFile.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/casefold.h"
#include "platform/base/debug.h"

using namespace quiva::app;

namespace {

const wchar_t kDeviceFile[] = L"QUIVA.Capture.Device.Config";

// Renderer kinds the engine can build; any other value would leave it without a renderer, so no
// preview and no stills: such a value means the default one.
int RendererKind(int value) { return value >= 0 && value <= 2 ? value : 0; }

CString FormatTypeText(const CString& value) { return value.IsEmpty() ? CString(L"VideoInfo") : value; }

const wchar_t* PreserveText(BOOL preserve) { return preserve ? L"TRUE" : L"FASLE"; }

void ReadColours(CKXXmlDocument& doc, const CString& path, _KXCaptureStudyConfig& r)
{
    r.hue = Decimal(doc.GetAttribute(path, L"hue", 0));
    r.saturation = Decimal(doc.GetAttribute(path, L"saturation", 0));
    r.brightness = Decimal(doc.GetAttribute(path, L"brightness", 0));
    r.contrast = Decimal(doc.GetAttribute(path, L"contrast", 0));
    r.preserve = Is(doc.GetAttribute(path, L"preserve", 0), L"TRUE");
    r.render = RendererKind(Decimal(doc.GetAttribute(path, L"render", 0)));
}

void WriteColours(CKXXmlDocument& doc, const CString& path, const _KXCaptureStudyConfig& r)
{
    doc.SetAttribute(path, 0, L"hue", DecimalText(r.hue));
    doc.SetAttribute(path, 0, L"saturation", DecimalText(r.saturation));
    doc.SetAttribute(path, 0, L"brightness", DecimalText(r.brightness));
    doc.SetAttribute(path, 0, L"contrast", DecimalText(r.contrast));
    doc.SetAttribute(path, 0, L"preserve", PreserveText(r.preserve));
    doc.SetAttribute(path, 0, L"render", DecimalText(r.render));
}

void ClearRequestedFormat(_KXCaptureStudyConfig& r)
{
    r.width = 0;
    r.height = 0;
    r.fps = 0;
    r.mediaType.Empty();
    r.formatType.Empty();
}

// Everything but the study, which only the file sets.
void CopyWithoutStudy(_KXCaptureStudyConfig& to, const _KXCaptureStudyConfig& from)
{
    CString study = to.study;
    to = from;
    to.study = study;
}

}  // namespace

void CKXQUIVAConfig::LoadDeviceConfig()
{
    DeleteDevices();
    CKXXmlDocument doc;
    bool fromCurrentFolder = false;
    if (!LoadSettingsFile(doc, m_strImageRoot, kDeviceFile, &fromCurrentFolder))
        return;

    ReadColours(doc, L"/default", m_defaultDevice);
    ClearRequestedFormat(m_defaultDevice);

    for (int i = 0;; ++i) {
        CString path;
        path.Format(L"/devices/device%d", i);
        CString device = doc.GetAttribute(path, L"device", 0);
        if (device.IsEmpty()) {
            // The older layout: one element "device", read in place of the first record only.
            path = L"/devices/device";
            device = doc.GetAttribute(path, L"device", 0);
            if (device.IsEmpty() || i > 0)
                break;
        }
        auto* record = new _KXCaptureStudyConfig;
        record->device = device;
        record->study = doc.GetAttribute(path, L"study", 0);
        ReadColours(doc, path, *record);
        record->width = Decimal(doc.GetAttribute(path, L"width", 0));
        record->height = Decimal(doc.GetAttribute(path, L"height", 0));
        record->fps = Decimal(doc.GetAttribute(path, L"fps", 0));
        record->mediaType = doc.GetAttribute(path, L"mediaType", 0);
        record->formatType = FormatTypeText(doc.GetAttribute(path, L"formatType", 0));
        m_devices.Add(record);
    }

    if (fromCurrentFolder)
        doc.Save(ExeFilePath(m_strImageRoot, kDeviceFile));
}

void CKXQUIVAConfig::SaveDeviceConfig()
{
    CKXXmlDocument doc;
    StartSettingsFile(doc, L"Configruation");
    WriteColours(doc, L"/default", m_defaultDevice);
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        _KXCaptureStudyConfig* r = m_devices[i];
        r->formatType = FormatTypeText(r->formatType);
        CString path;
        path.Format(L"/devices/device%d", static_cast<int>(i));
        doc.SetAttribute(path, 0, L"device", r->device);
        doc.SetAttribute(path, 0, L"study", r->study);
        WriteColours(doc, path, *r);
        doc.SetAttribute(path, 0, L"width", DecimalText(r->width));
        doc.SetAttribute(path, 0, L"height", DecimalText(r->height));
        doc.SetAttribute(path, 0, L"fps", DecimalText(r->fps));
        doc.SetAttribute(path, 0, L"mediaType", r->mediaType);
        doc.SetAttribute(path, 0, L"formatType", r->formatType);
    }
    doc.Save(ExeFilePath(m_strImageRoot, kDeviceFile));
}

_KXCaptureStudyConfig CKXQUIVAConfig::GetDeviceSettings(const CString& name)
{
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        CString line;
        line.Format(L"%s %s", m_devices[i]->device.GetString(), name.GetString());
        OutputDebugStringW(line);
        if (quiva::EqualsIgnoringCase(m_devices[i]->device.str(), name.str()))
            return *m_devices[i];
    }
    OutputDebugStringW(L"Not Match");
    return m_defaultDevice;
}

void CKXQUIVAConfig::SetDeviceSettings(const CString& name, _KXCaptureStudyConfig settings)
{
    if (name.IsEmpty()) {
        OutputDebugStringW(L"device name empty");
        m_defaultDevice.hue = settings.hue;
        m_defaultDevice.saturation = settings.saturation;
        m_defaultDevice.brightness = settings.brightness;
        m_defaultDevice.contrast = settings.contrast;
        m_defaultDevice.render = settings.render;
        m_defaultDevice.preserve = settings.preserve;
        ClearRequestedFormat(m_defaultDevice);
        return;
    }
    settings.device = name;
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        if (quiva::EqualsIgnoringCase(m_devices[i]->device.str(), name.str())) {
            CopyWithoutStudy(*m_devices[i], settings);
            return;
        }
    }
    auto* record = new _KXCaptureStudyConfig;
    CopyWithoutStudy(*record, settings);
    m_devices.Add(record);
}
