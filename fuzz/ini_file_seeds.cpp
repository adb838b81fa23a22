// Writes the seed corpus of the INI harness: settings files as the clinic's helper libraries and
// the capture module keep them, in code page 949 and in UTF-8 with a byte-order mark.
#include <cstdio>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    const std::wstring text = L"; 설정\r\n[Settings]\r\nPath = c:\\image\r\nQuality=\"90\"\r\n\r\n[Database]\r\nServer=127.0.0.1\r\n"
                              L"이름=홍길동\r\nEmpty=\r\n[Broken\r\n=value\r\n";
    bool ok = fuzz::SaveSeed(folder, "settings-949.ini", quiva::WideToMultiByte(text, CP_KOREAN));
    ok &= fuzz::SaveSeed(folder, "settings-utf8.ini", "\xEF\xBB\xBF" + quiva::WideToUtf8(text));
    return ok ? 0 : 1;
}
