// Runs a program of the machine (ffprobe, dcmdump, ...) for a test and collects what it says.
#pragma once

#include <string>

namespace quiva::test {

// Runs `command` with the shell; returns its standard output and error together. `status`,
// when given, receives the shell's exit status as pclose reports it.
std::string RunCommand(const std::string& command, int* status = nullptr);

}  // namespace quiva::test
