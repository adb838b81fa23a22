// The settings files as the stand-in host meets them: files that are too large or name a window
// larger than the screen.
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/HostProgramSupport.h"

using namespace quiva::test;

namespace {

class PacsAndSettingsFiles : public ClinicHost {
protected:
    // Shows the sample patient and prints the window.
    HostRun ShowAndPrint() { return Run("show 12345 2024-01-05\nwait-shown 60000\nprint\nclose\nunload\n"); }
    void WriteLastSave(const std::string& body)
    {
        std::ofstream(Clinic() + "/exe/QUIVA.Capture.LastSave", std::ios::binary)
            << "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\n" << body;
    }
};

}  // namespace

TEST_F(PacsAndSettingsFiles, ALastSaveFileFarLargerThanOursIsRefusedAndASavedSizeFitsTheScreen)
{
    // A window the screen (1920 by 1080) cannot show whole opens at the screen's size.
    WriteLastSave("<Last.Save><window x=\"0\" y=\"0\" width=\"16384\" height=\"16384\"/><thumbnail show=\"TRUE\" "
                  "size=\"200\"/></Last.Save>\n");
    HostRun huge = ShowAndPrint();
    ASSERT_EQ(huge.status, 0) << huge.output;
    EXPECT_NE(huge.output.find("\" at 0,0 size 1920x1080 visible"), std::string::npos) << huge.output;

    // A file of the program's own placement followed by megabytes of empty elements is no file
    // the program wrote: the default placement, and a debug line that says why.
    std::string empty;
    for (int i = 0; i < 2400000; ++i)
        empty += "<a/>";
    WriteLastSave("<Last.Save><window x=\"100\" y=\"100\" width=\"640\" height=\"480\"/>" + empty + "</Last.Save>\n");
    HostRun large = ShowAndPrint();
    ASSERT_EQ(large.status, 0) << large.output;
    EXPECT_NE(large.output.find("QUIVA.Capture.LastSave: the file is larger than"), std::string::npos) << large.output;
    EXPECT_NE(large.output.find("\" at 560,240 size 800x600 visible"), std::string::npos) << large.output;
}
