// The temporary store as the stand-in host meets it: the store folder the configuration names.
#include <filesystem>
#include <fstream>

#include "tests/host/HostTestSupport.h"

using namespace quiva::test;
namespace fs = std::filesystem;

namespace {

using TemporaryStore = ClinicHost;

// The files whose names end in `tail`.
std::vector<std::string> Ending(const std::vector<std::string>& files, const std::string& tail)
{
    std::vector<std::string> out;
    for (const std::string& f : files)
        if (f.size() >= tail.size() && f.compare(f.size() - tail.size(), tail.size(), tail) == 0)
            out.push_back(f);
    return out;
}

}  // namespace

TEST_F(TemporaryStore, StillsGoToTheConfiguredFolderAndNeverOutsideTheDataFolder)
{
    const std::string still = "show 12345 2024-01-05\nwait 1500\nactivate\nkey space\nwait 500\nclose\nunload\n";
    auto configure = [&](const std::string& temp) {
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.Config")
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options/><folder><temp>" << temp
            << "</temp></folder></Configruation>";
    };
    configure("captures\\store");
    HostRun run = Run(still);
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<std::string> stills = Ending(FilesBelow("captures/store"), ".jpg");
    ASSERT_EQ(stills.size(), 1u) << ::testing::PrintToString(FilesBelow("")) << run.output;
    EXPECT_EQ(stills[0].rfind("12345/", 0), 0u) << stills[0];
    EXPECT_TRUE(Ending(FilesBelow("temp/image"), ".jpg").empty());

    // A folder that would leave the data folder is not taken: the store stays where it belongs.
    configure("..\\..\\outside");
    run = Run(still);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Ending(FilesBelow("temp/image"), ".jpg").size(), 1u) << ::testing::PrintToString(FilesBelow("")) << run.output;
    EXPECT_FALSE(fs::exists(Data() + "/outside"));
}
