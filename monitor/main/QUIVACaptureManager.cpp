// The device monitor program.
#include <string>
#include <vector>

#include "monitor/CQUIVACaptureManagerApp.h"
#include "platform/base/codepage.h"

int main(int argc, char** argv)
{
    std::vector<std::wstring> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(quiva::Utf8ToWide(argv[i]));
    CQUIVACaptureManagerApp app;
    app.InitInstance(arguments);
    return app.ExitInstance();
}
