// A program the platform tests start as another process.
//   QUIVATestChild publish <name> <text>   creates the named mapping, writes the text as UTF-16LE
//                                           and waits to be ended
//   QUIVATestChild sleep                    waits to be ended
//   QUIVATestChild exit <code>              ends at once with the code
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/filemapping.h"

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "exit") == 0)
        return std::atoi(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "publish") == 0) {
        HANDLE m = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1024,
                                      quiva::Utf8ToWide(argv[2]).c_str());
        if (!m)
            return 2;
        void* view = MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 1024);
        if (!view)
            return 3;
        const std::string text = quiva::WideToUtf16LE(quiva::Utf8ToWide(argv[3]));
        std::memcpy(view, text.data(), std::min<size_t>(text.size(), 1022));
    }
    for (;;)
        ::pause();
}
