// Feeds arbitrary bytes, as a settings file, to the INI reader: names taken from the file's
// own lines are looked up, and every answer fits the caller's buffer and is terminated.
#include <cstdint>
#include <cwchar>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"
#include "platform/base/inifile.h"
#include "platform/base/winpath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const CString path = quiva::WindowsPath(fuzz::WriteScratch("in.ini", data, size));
    // Section and key names as the file spells them, and a few it may not hold.
    std::vector<std::wstring> sections{L"Settings", L""}, keys{L"Path", L""};
    const std::wstring text = quiva::MultiByteToWide(std::string(reinterpret_cast<const char*>(data), size), CP_ACP);
    for (size_t pos = 0; pos < text.size() && sections.size() + keys.size() < 24;) {
        size_t end = text.find(L'\n', pos);
        const std::wstring line = text.substr(pos, end == std::wstring::npos ? std::wstring::npos : end - pos);
        pos = end == std::wstring::npos ? text.size() : end + 1;
        if (!line.empty() && line[0] == L'[')
            sections.push_back(line.substr(1, line.find(L']') == std::wstring::npos ? std::wstring::npos : line.find(L']') - 1));
        else if (line.find(L'=') != std::wstring::npos)
            keys.push_back(line.substr(0, line.find(L'=')));
    }
    for (const std::wstring& section : sections)
        for (const std::wstring& key : keys) {
            for (DWORD room : {1u, 8u, 260u}) {
                std::vector<wchar_t> buffer(room, L'#');
                const DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), L"  none  ", buffer.data(), room, path);
                fuzz::Check(n < room && buffer[n] == L'\0', "an answer fits its buffer with its terminator");
            }
            GetPrivateProfileIntW(section.c_str(), key.c_str(), -1, path);
        }
    return 0;
}
