// quiva-host: a stand-in for the clinic-records program. It loads the capture module, gives it a
// window of its own, shows the capture window for a chart number and a study date and runs the
// message loop; with --script it drives the module without a person (see HostScript.h).
//
//   quiva-host [--module PATH] [--chart CNO] [--date DATE] [--modal] [--script FILE|-]...
//
// Scripts run one after another; a script that unloaded the module has it loaded again, as a
// clinic-records program does when it opens the capture again, for the next. After a script that
// unloaded it, the window classes the module left are named.
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
#include "platform/base/codepage.h"
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
    std::fprintf(stderr, "usage: quiva-host [--module PATH] [--chart CNO] [--date DATE] [--modal] [--script FILE|-]...\n");
    return 2;
}

// The commands of a script file ("-": standard input), or without one those of a person's use:
// the host's window is given, then the window shown. False with a message when it cannot be read.
bool ReadScript(const std::string& path, const std::string& chart, const std::string& date, bool modal,
                std::vector<HostCommand>* commands)
{
    if (path.empty()) {
        std::string show = std::string(modal ? "showmodal" : "show") + " \"" + chart + "\" \"" + date + "\"";
        return HostScript::Parse("parent\n" + show + "\n", commands, nullptr);
    }
    std::stringstream text;
    if (path == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream file(path);
        if (!file) {
            std::fprintf(stderr, "quiva-host: cannot read %s\n", path.c_str());
            return false;
        }
        text << file.rdbuf();
    }
    std::string error;
    if (!HostScript::Parse(text.str(), commands, &error)) {
        std::fprintf(stderr, "quiva-host: %s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    // A program that shows windows types through the environment's input method, which needs
    // the environment's character type. Only that: the ANSI code page stays the layer's own.
    std::setlocale(LC_CTYPE, "");
    std::string module = ProgramFolder() + "/QUIVA.Capture.dll";
    std::string chart, date, scriptPath;
    std::vector<std::string> scriptPaths;
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
        if (a == "--script")
            scriptPaths.push_back(scriptPath);
    }
    if (scriptPaths.empty())
        scriptPaths.emplace_back();

    std::vector<std::vector<HostCommand>> scripts;
    for (const std::string& path : scriptPaths) {
        std::vector<HostCommand> commands;
        if (!ReadScript(path, chart, date, modal, &commands))
            return 2;
        scripts.push_back(std::move(commands));
    }

    CaptureModule capture;
    std::string error;
    int status = 0, threadsBeforeLoad = 0;
    for (std::vector<HostCommand>& commands : scripts) {
        if (!capture.Loaded()) {
            threadsBeforeLoad = ProcessThreads();
            if (!capture.Load(module, &error)) {
                std::fprintf(stderr, "quiva-host: %s\n", error.c_str());
                return 2;
            }
        }
        HostScript script(capture, std::move(commands), threadsBeforeLoad);
        status = script.Run();
        if (status)
            break;
        if (!capture.Loaded()) {
            std::string names;
            std::vector<std::wstring> classes = capture.WindowClassesOfModule();
            for (const std::wstring& name : classes)
                names += " " + quiva::WideToUtf8(name);
            std::printf("window classes the module left: %zu%s\n", classes.size(), names.c_str());
            std::fflush(stdout);
        }
    }
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
