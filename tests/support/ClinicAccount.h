// The clinic's helper libraries and database account for tests of the clinic-records
// connections: the stand-in libraries installed with an account file of the test's own, and on
// the PostgreSQL test server a login role of this test process whose own schema in the database
// "hrb4100" holds the clinic-records tables.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/support/Databases.h"

namespace quiva::test {

struct Account {
    std::string user, password;
};

// Copies HRBSConst.dll and HRBCrypto.dll into the folder and writes their owner-only account
// file with the credential sets in order (set 0 first).
bool InstallHelperLibraries(const std::string& nativeFolder, const std::vector<Account>& sets, std::string* why);
// Rewrites only the account file.
bool WriteAccountFile(const std::string& nativeFolder, const std::vector<Account>& sets);
// The built library file of that name ("HRBSConst.dll").
std::string HelperLibraryPath(const std::string& fileName);

// This process's role on the server (made on first use, dropped when the process ends; its
// password holds ";" and "}"), or nothing with the reason in *why. Its tables start empty.
std::optional<Account> ClinicPgAccount(const PgServer& server, std::string* why);
// Random text for passwords.
std::string RandomText(size_t bytes);

}  // namespace quiva::test
