// The stand-in host's script as the host reads it.
#include <sys/wait.h>

#include <string>

#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

using HostScriptLines = ClinicHost;

// A number too large for the host is no number: the script is refused when it is read, naming the
// line (status 2), instead of the host ending on an uncaught exception when it reaches the line.
TEST_F(HostScriptLines, ANumberTooLargeIsRefusedNamingItsLine)
{
    const struct {
        const char* line;
        const char* said;
    } cases[] = {
        {"wait 99999999999", "line 2: \"99999999999\" is not a number"},
        {"click 1 99999999999", "line 2: \"99999999999\" is not a number"},
        {"wait-files \"*.jpg\" 1 99999999999", "line 2: \"99999999999\" is not a number"},
        {"key f99999999999", "line 2: unknown key \"f99999999999\""},
    };
    for (const auto& c : cases) {
        HostRun run = Run(std::string("parent\n") + c.line + "\n");
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 2) << c.line << "\n" << run.output;
        EXPECT_NE(run.output.find(c.said), std::string::npos) << c.line << "\n" << run.output;
    }
}
