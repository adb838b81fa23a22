// Stands in for the device monitor in the engine tests: started with "-device", it publishes the
// device text given in QUIVA_TEST_DEVICE_TEXT (UTF-8) as the monitor does, after
// QUIVA_TEST_DEVICE_DELAY milliseconds, and waits to be ended. Text longer than the 1024-byte
// view is cut at the view's end. QUIVA_TEST_DEVICE_STARTS names a file in which every start
// leaves a line; with QUIVA_TEST_DEVICE_FROM=N, the starts before the Nth end at once without
// publishing. QUIVA_TEST_DEVICE_SILENT=1 publishes nothing and waits to be ended.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/base/codepage.h"
#include "platform/base/filemapping.h"

int main(int argc, char** argv)
{
    bool device = false;
    for (int i = 1; i < argc; ++i)
        device = device || strcasecmp(argv[i], "-device") == 0;
    const char* text = std::getenv("QUIVA_TEST_DEVICE_TEXT");
    if (const char* starts = std::getenv("QUIVA_TEST_DEVICE_STARTS")) {
        int n = 1;
        if (FILE* f = std::fopen(starts, "a+")) {
            for (int ch; (ch = std::fgetc(f)) != EOF;)
                n += ch == '\n';
            std::fputs("start\n", f);
            std::fclose(f);
        }
        const char* from = std::getenv("QUIVA_TEST_DEVICE_FROM");
        if (from && n < std::atoi(from))
            return 0;
    }
    if (std::getenv("QUIVA_TEST_DEVICE_SILENT"))
        text = nullptr;
    if (device && text) {
        if (const char* delay = std::getenv("QUIVA_TEST_DEVICE_DELAY"))
            ::usleep(static_cast<useconds_t>(std::atoi(delay)) * 1000);
        HANDLE m = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 1024, L"KXMSharedMemory");
        if (!m)
            return 2;
        void* view = MapViewOfFile(m, FILE_MAP_ALL_ACCESS, 0, 0, 1024);
        if (!view)
            return 3;
        const std::string units = quiva::WideToUtf16LE(quiva::Utf8ToWide(text));
        std::memcpy(view, units.data(), std::min<size_t>(units.size(), 1024));
    }
    for (;;)
        ::pause();
}
