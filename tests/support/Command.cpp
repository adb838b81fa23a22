#include "tests/support/Command.h"

#include <cstdio>

namespace quiva::test {

std::string RunCommand(const std::string& command, int* status)
{
    std::string out;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        if (status)
            *status = -1;
        return out;
    }
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        out.append(chunk, n);
    const int rc = ::pclose(pipe);
    if (status)
        *status = rc;
    return out;
}

}  // namespace quiva::test
