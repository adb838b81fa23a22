// A machine for the capture application's tests: drives C to F mapped to folders of a temporary
// folder (only C by default), the clinic-records data folder c:\HRB4100 with its exe folder, and
// a working folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

class AppMachine : public testing::Test {
protected:
    AppMachine()
        : m_c("QUIVA_DRIVE_C", m_dir.Native("c")), m_d("QUIVA_DRIVE_D", ""), m_e("QUIVA_DRIVE_E", ""),
          m_f("QUIVA_DRIVE_F", "")
    {
        std::filesystem::create_directories(m_dir.Native("c/HRB4100/exe"));
        std::filesystem::create_directories(m_dir.Native("cwd"));
        char buf[4096];
        m_oldCwd = getcwd(buf, sizeof buf) ? buf : "/";
        EXPECT_EQ(chdir(m_dir.Native("cwd").c_str()), 0);
    }
    ~AppMachine() override { (void)chdir(m_oldCwd.c_str()); }

    // Native path of a name in the exe folder, the data folder or the working folder.
    std::string Exe(const std::string& name) const { return m_dir.Native("c/HRB4100/exe/" + name); }
    std::string Root(const std::string& name) const { return m_dir.Native("c/HRB4100/" + name); }
    std::string Cwd(const std::string& name) const { return m_dir.Native("cwd/" + name); }

    // Maps another drive letter to a folder of its own; with the data folder when asked.
    void MapDrive(char letter, bool withDataFolder)
    {
        std::string folder = m_dir.Native(std::string(1, letter));
        std::filesystem::create_directories(folder);
        if (withDataFolder)
            std::filesystem::create_directories(folder + "/HRB4100/exe");
        m_more.push_back(std::make_unique<quiva::test::ScopedEnv>(
            (std::string("QUIVA_DRIVE_") + static_cast<char>(std::toupper(letter))).c_str(), folder));
    }

    quiva::test::TempDir m_dir;
    quiva::test::ScopedEnv m_c, m_d, m_e, m_f;
    std::vector<std::unique_ptr<quiva::test::ScopedEnv>> m_more;
    std::string m_oldCwd;
};
