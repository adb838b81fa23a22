// The device monitor program.
#include <clocale>
#include <string>
#include <vector>

#include "monitor/CQUIVACaptureManagerApp.h"
#include "platform/base/codepage.h"

int main(int argc, char** argv)
{
    // A program that shows windows types through the environment's input method, which needs
    // the environment's character type. Only that: the ANSI code page stays the layer's own.
    std::setlocale(LC_CTYPE, "");
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(quiva::Utf8ToWide(argv[i]));
    CQUIVACaptureManagerApp app;
    app.InitInstance(arguments);
    return app.ExitInstance();
}
