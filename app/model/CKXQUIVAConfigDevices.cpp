// The configuration's per-source settings and the file "QUIVA.Capture.Device.Config".
//
// The file is in code page 949 like the other settings files; a device name with characters that
// code page cannot hold makes the whole file UTF-8, so the name reads back as its source gives it.
#include "app/model/CKXQUIVAConfig.h"

#include <string>
#include <unordered_map>
#include <vector>

#include "app/model/KXConfigFile.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/casefold.h"
#include "platform/base/debug.h"

using namespace quiva::app;

namespace {

const wchar_t kDeviceFile[] = L"QUIVA.Capture.Device.Config";

const wchar_t kDefaultFormatType[] = L"VideoInfo";

// The colour values, renderer and preserve flag: all the default record keeps.
SettingTable ColourSettings(_KXCaptureStudyConfig& r)
{
    return {
        {L"", L"hue", &r.hue, kNumber},
        {L"", L"saturation", &r.saturation, kNumber},
        {L"", L"brightness", &r.brightness, kNumber},
        {L"", L"contrast", &r.contrast, kNumber},
        {L"", L"preserve", &r.preserve, Flag(L"TRUE", L"FASLE", false)},
        // Renderer kinds the engine can build; any other value would leave it without a
        // renderer, so no preview and no stills: such a value means the default one.
        {L"", L"render", &r.render, Number(0, 2, false, 0)},
    };
}

// A source's record.
SettingTable RecordSettings(_KXCaptureStudyConfig& r)
{
    SettingTable table{{L"", L"device", &r.device, kText}, {L"", L"study", &r.study, kText}};
    const SettingTable colours = ColourSettings(r);
    table.insert(table.end(), colours.begin(), colours.end());
    table.insert(table.end(), {
                                  {L"", L"width", &r.width, kNumber},
                                  {L"", L"height", &r.height, kNumber},
                                  {L"", L"fps", &r.fps, kNumber},
                                  {L"", L"mediaType", &r.mediaType, kText},
                                  {L"", L"formatType", &r.formatType, TextOr(kDefaultFormatType)},
                              });
    return table;
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

    ReadSettings(doc, L"/default", ColourSettings(m_defaultDevice));
    ClearRequestedFormat(m_defaultDevice);

    // The records' attributes, read in one walk of the list: the first element of each name, as
    // a path names it ("/devices/device%d"). Looking each record up by its path would walk the
    // list again for every record.
    // Every setting of a record is read whatever the file holds, so one record read into takes
    // each record's values in turn.
    _KXCaptureStudyConfig read;
    const SettingTable layout = RecordSettings(read);
    std::vector<const wchar_t*> attributes;
    for (const Setting& setting : layout)
        attributes.push_back(setting.attribute);
    std::unordered_map<std::wstring, std::vector<CString>> elements;
    doc.ReadChildren(L"/devices", attributes, [&](const CString& name, std::vector<CString>& values) {
        elements.try_emplace(CKXXmlDocument::NameKey(name), std::move(values));
        return true;
    });
    auto element = [&](const std::wstring& name) {
        const auto found = elements.find(name);
        return found == elements.end() || found->second.front().IsEmpty() ? nullptr : &found->second;
    };
    for (int i = 0;; ++i) {
        const std::vector<CString>* values = element(L"device" + std::to_wstring(i));
        // The older layout: one element "device", read in place of the first record only.
        if (!values && i == 0)
            values = element(L"device");
        if (!values)
            break;
        ReadSettings(*values, layout);
        m_devices.Add(new _KXCaptureStudyConfig(read));
    }

    if (fromCurrentFolder)
        doc.Save(ExeFilePath(m_strImageRoot, kDeviceFile));
}

void CKXQUIVAConfig::SaveDeviceConfig()
{
    CKXXmlDocument doc;
    StartSettingsFile(doc, L"Configruation");
    WriteSettings(doc, L"/default", ColourSettings(m_defaultDevice));
    for (INT_PTR i = 0; i < m_devices.GetSize(); ++i) {
        _KXCaptureStudyConfig* r = m_devices[i];
        // The record holds what is written.
        if (r->formatType.IsEmpty())
            r->formatType = kDefaultFormatType;
        CString path;
        path.Format(L"/devices/device%d", static_cast<int>(i));
        WriteSettings(doc, path, RecordSettings(*r));
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
