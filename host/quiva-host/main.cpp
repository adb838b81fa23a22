// quiva-host: a stand-in for the clinic-records program. It loads the capture module, gives it a
// window of its own, shows the capture window for a chart number and a study date and runs the
// message loop; with --script it drives the module without a person (see HostScript.h).
//
//   quiva-host [--module PATH] [--chart CNO] [--date DATE] [--modal] [--script FILE|-]
//
// Without a script it shows the capture window and ends when that window has gone. Exit
// status: 0 done, 1 a script command failed, 2 bad arguments or no module.
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "host/quiva-host/CaptureModule.h"
#include "host/quiva-host/HostScript.h"
#include "platform/ui/winuser.h"

namespace {

std::string ProgramFolder()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0)
        return ".";
    std::string path(self, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/'));
}

int Usage()
{
    std::fprintf(stderr, "usage: quiva-host [--module PATH] [--chart CNO] [--date DATE] [--modal] [--script FILE|-]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    // A program that shows windows types through the environment's input method, which needs
    // the environment's character type. Only that: the ANSI code page stays the layer's own.
    std::setlocale(LC_CTYPE, "");
    std::string module = ProgramFolder() + "/QUIVA.Capture.dll";
    std::string chart, date, scriptPath;
    bool modal = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc)
                return false;
            *out = argv[++i];
            return true;
        };
        if (a == "--module" ? !value(&module) : a == "--chart" ? !value(&chart) : a == "--date" ? !value(&date)
                : a == "--script"                              ? !value(&scriptPath)
                : a == "--modal"                               ? (modal = true, false)
                                                               : true)
            return Usage();
    }

    std::vector<HostCommand> commands;
    if (!scriptPath.empty()) {
        std::stringstream text;
        if (scriptPath == "-") {
            text << std::cin.rdbuf();
        } else {
            std::ifstream file(scriptPath);
            if (!file) {
                std::fprintf(stderr, "quiva-host: cannot read %s\n", scriptPath.c_str());
                return 2;
            }
            text << file.rdbuf();
        }
        std::string error;
        if (!ParseHostScript(text.str(), &commands, &error)) {
            std::fprintf(stderr, "quiva-host: %s: %s\n", scriptPath.c_str(), error.c_str());
            return 2;
        }
    } else {
        // A person uses the capture window: the host's window is given, then the window shown.
        std::string show = std::string(modal ? "showmodal" : "show") + " \"" + chart + "\" \"" + date + "\"";
        ParseHostScript("parent\n" + show + "\n", &commands, nullptr);
    }

    CaptureModule capture;
    std::string error;
    const int threadsBeforeLoad = ProcessThreads();
    if (!capture.Load(module, &error)) {
        std::fprintf(stderr, "quiva-host: %s\n", error.c_str());
        return 2;
    }
    HostScript script(capture, std::move(commands), threadsBeforeLoad);
    int status = script.Run();
    if (scriptPath.empty() && !modal) {
        // Until the person has closed the capture window.
        MSG msg;
        while (capture.Loaded() && capture.IsShow()) {
            if (!GetMessageW(&msg, nullptr, 0, 0))
                break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    capture.Unload();
    return status;
}
