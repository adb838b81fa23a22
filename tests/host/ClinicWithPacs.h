// The sample clinic with its PACS functions on and storescp as the PACS, saving only when told to
// (Ctrl+S or the save button), Space its capture key.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/HostProgramSupport.h"
#include "tests/support/dicom/NetTestSupport.h"

namespace quiva::test {

class ClinicWithPacs : public ClinicHost {
protected:
    void SetUp() override
    {
        ClinicHost::SetUp();
        std::filesystem::create_directories(Received());
        m_pacs = std::make_unique<Storescp>(Received(), std::vector<std::string>{"+xa"});
        ASSERT_TRUE(m_pacs->running());
        ASSERT_TRUE(UsePacs(m_pacs->port(), "saveWhenClose=\"FALSE\" captureKey=\"32\""));
    }
    // Where the PACS keeps what it received.
    std::string Received() const { return m_dir.Native("pacs"); }

    std::unique_ptr<Storescp> m_pacs;
};

}  // namespace quiva::test
