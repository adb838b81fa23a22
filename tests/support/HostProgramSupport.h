// A clinic prepared as the main-job script prepares it, in a scratch folder, and runs of the
// stand-in host program against it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Databases.h"
#include "tests/support/TempDir.h"

namespace quiva::test {

struct HostRun {
    int status = -1;
    std::string output;  // standard output and the debugger output (QUIVA_DEBUG=1), together
};

class ClinicHost : public ::testing::Test {
protected:
    void SetUp() override;
    // Runs quiva-host with `script` (and `environment`, "NAME=value ..." put before it).
    HostRun Run(const std::string& script, const std::string& environment = "");
    // Runs quiva-host with the scripts one after another (it loads the module again for a script
    // when the one before unloaded it).
    HostRun RunScripts(const std::vector<std::string>& scripts, const std::string& environment = "");
    // The shell command that runs them (it writes the script files).
    std::string HostCommand(const std::vector<std::string>& scripts, const std::string& environment = "");
    // The environment that ends the host with SIGKILL at a chosen file call
    // (tests/helpers/KillAtCall.c says how `spec` reads); KillMark() then says where it ended.
    std::string KillAt(const std::string& spec) const;
    std::string KillMark() const;
    // Files below a folder of the clinic (relative to HRB4100), sorted.
    std::vector<std::string> FilesBelow(const std::string& folder) const;
    // Moves the clinic's records onto a schema of this test process's own on the PostgreSQL
    // test server, with the sample rows (DBServer.ini and the helper libraries' account follow).
    bool UsePostgres(const PgServer& server, std::string* why);
    // Runs SQL on the clinic database (SQLite file or PostgreSQL schema); false on failure.
    bool Execute(const std::string& sql) const;
    // Turns the clinic's PACS functions on and writes a configuration file that sends stills to
    // the PACS on a loopback port, with `options` as the attributes of its options element.
    bool UsePacs(uint16_t port, const std::string& options) const;
    // Rows of a query on the clinic database, one "a|b|c" text each.
    std::vector<std::string> Rows(const std::string& sql) const;
    // Processes of this test's session (QUIVA_SESSION) whose name starts with `name`.
    int SessionProcesses(const std::string& name) const;
    // Runs the shell `script` in a user and mount namespace of its own (no privileges needed)
    // where the store (temp/image) is a memory file system of `size` ("8m") holding what the
    // store held; $1 is the store, $2 this test's folder. The host runs in there as `HostCommand`
    // gives it; whatever the script leaves in the store is gone when it ends. False, with the
    // words in `said`, when such a file system cannot be had here (the caller skips).
    bool RunOnSmallStore(const std::string& size, const std::string& script, std::string* said);
    std::string Clinic() const { return m_dir.Native("d/HRB4100"); }
    std::string Data() const { return m_dir.path(); }

    TempDir m_dir;
    std::string m_database;  // ODBC connection string of the clinic database
};

// Whether a file is a JPEG that decodes at the given size, and an AVI ffprobe takes with one
// video stream; the probe's words on failure.
bool DecodesAsJpeg(const std::string& path, int width, int height, std::string* why);
bool ProbesAsAvi(const std::string& path, std::string* why);
// How many pixels of the right-hand `width` columns, from row `top` down, differ between two
// pictures of the window (every second row and column); -1 when they cannot be compared.
int DifferingOnTheRight(const std::string& a, const std::string& b, int width, int top = 0);

}  // namespace quiva::test
