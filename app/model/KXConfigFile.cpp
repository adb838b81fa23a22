#include "app/model/KXConfigFile.h"

#include <algorithm>

#include "platform/base/debug.h"
#include "platform/base/fileapi.h"
#include "platform/base/lasterror.h"

namespace quiva::app {

CString ExeFilePath(const CString& imageRoot, const wchar_t* name)
{
    CString path;
    path.Format(L"%s\\exe\\%s", imageRoot.GetString(), name);
    return path;
}

bool LoadSettingsFile(CKXXmlDocument& document, const CString& imageRoot, const wchar_t* name,
                      bool* fromCurrentFolder)
{
    CString path = ExeFilePath(imageRoot, name);
    *fromCurrentFolder = false;
    if (!PathFileExistsW(path)) {
        path = name;
        *fromCurrentFolder = true;
    }
    SetLastError(ERROR_SUCCESS);
    if (document.Load(path))
        return true;
    CString line;
    if (GetLastError() == ERROR_FILE_TOO_LARGE)
        line.Format(L"%s: the file is larger than %u bytes and is not read; the defaults hold\n", path.GetString(),
                    static_cast<unsigned>(quiva::kMaxDataFileBytes));
    else if (PathFileExistsW(path))
        line.Format(L"%s: the file is not read (%s); the defaults hold\n", path.GetString(),
                    document.GetLoadError().GetString());
    if (!line.IsEmpty())
        OutputDebugStringW(line);
    return false;
}

void StartSettingsFile(CKXXmlDocument& document, const wchar_t* rootElement)
{
    CString xml;
    xml.Format(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?><%s/>", rootElement);
    document.LoadXml(xml);
}

CString DecimalText(int value)
{
    CString text;
    text.Format(L"%d", value);
    return text;
}

namespace {

int ReadNumber(const CString& text, const SettingForm& form)
{
    const int value = Decimal(text.IsEmpty() && form.empty ? CString(form.empty) : text);
    if (form.clamp)
        return std::clamp(value, form.low, form.high);
    return form.low <= value && value <= form.high ? value : form.beyond;
}

void Read(const CString& text, int& value, const SettingForm& form)
{
    if (form.kind == SettingForm::kFlag)
        value = form.onByDefault ? !Is(text, form.off) : Is(text, form.on);
    else
        value = ReadNumber(text, form);
}

void Read(const CString& text, CString& value, const SettingForm& form)
{
    if (!text.IsEmpty())
        value = text;
    else if (form.empty)
        value = form.empty;
    else if (!form.emptyKeeps)
        value.Empty();
}

CString Text(int value, const SettingForm& form)
{
    if (form.kind == SettingForm::kFlag)
        return value ? form.on : form.off;
    return DecimalText(value);
}

CString Text(const CString& value, const SettingForm& form)
{
    return value.IsEmpty() && form.empty ? CString(form.empty) : value;
}

}  // namespace

void ReadSettings(CKXXmlDocument& document, const CString& base, const SettingTable& table)
{
    for (const Setting& setting : table) {
        const CString path = base + setting.path;
        const CString text =
            setting.attribute ? document.GetAttribute(path, setting.attribute, 0) : document.GetValue(path, 0);
        std::visit([&](auto* value) { Read(text, *value, setting.form); }, setting.value);
    }
}

void ReadSettings(const std::vector<CString>& texts, const SettingTable& table)
{
    for (size_t i = 0; i < table.size() && i < texts.size(); ++i)
        std::visit([&](auto* value) { Read(texts[i], *value, table[i].form); }, table[i].value);
}

void WriteSettings(CKXXmlDocument& document, const CString& base, const SettingTable& table)
{
    for (const Setting& setting : table) {
        const CString path = base + setting.path;
        const CString text = std::visit([&](auto* value) { return Text(*value, setting.form); }, setting.value);
        if (setting.attribute)
            document.SetAttribute(path, 0, setting.attribute, text);
        else
            document.SetValue(path, text, 0, TRUE);
    }
}

}  // namespace quiva::app
