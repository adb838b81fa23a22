// Shared by the monitor tests: a temporary working folder (the graph list lives in the current
// folder) and a synthetic device set for this process.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/media/SyntheticDevices.h"
#include "tests/support/TempDir.h"

namespace quiva::test {

class InTempFolder {
public:
    InTempFolder() : m_old(getcwd(nullptr, 0)) { EXPECT_EQ(chdir(m_dir.path().c_str()), 0); }
    ~InTempFolder()
    {
        EXPECT_EQ(chdir(m_old), 0);
        std::free(m_old);
    }
    const TempDir& dir() const { return m_dir; }

private:
    TempDir m_dir;
    char* m_old;
};

class ScopedDevices {
public:
    explicit ScopedDevices(const std::string& text) { quiva::media::SetSyntheticConfig(text); }
    ~ScopedDevices() { quiva::media::SetSyntheticConfig(std::nullopt); }
};

}  // namespace quiva::test
