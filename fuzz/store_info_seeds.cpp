// Writes the seed corpus of the store harness: info.xml files as the capture model writes them,
// listing the stills the harness puts in the study folder, a missing one, a folder and a still
// of another folder.
#include <string>

#include "fuzz/FuzzSupport.h"

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    const std::string study = "c:\\HRB4100\\temp\\image\\12345\\Endo\\20261209\\";
    auto image = [&](const std::string& name, const char* saved, const char* deleted) {
        return "    <image Study=\"Endo\" StudyDate=\"20261209\" Saved=\"" + std::string(saved) + "\" Deleted=\"" + deleted +
               "\" IsVideo=\"FALSE\">" + study + name + "</image>\n";
    };
    const std::string head = "<?xml version=\"1.0\" encoding=\"euc-kr\" ?>\n<QUIVA>\n    <patient chartNo=\"12345\">A</patient>\n";
    bool ok = fuzz::SaveSeed(folder, "listed.xml",
                             head + image("093015123.bmp", "FALSE", "FALSE") + image("093016000.bmp", "TRUE", "TRUE") +
                                 image("gone.bmp", "FALSE", "FALSE") + "</QUIVA>\n");
    ok &= fuzz::SaveSeed(folder, "strange.xml",
                         head + image("", "FALSE", "FALSE") + image("sub", "FALSE", "FALSE") + image("sub\\093017000.bmp", "FALSE", "FALSE") +
                             "    <image>c:\\HRB4100\\temp\\image\\other\\093018000.bmp</image>\n" + image("093015123.BMP", "FALSE", "FALSE") +
                             image("093015123.bmp", "TRUE", "FALSE") + "</QUIVA>\n");
    ok &= fuzz::SaveSeed(folder, "loose.xml", head + "</QUIVA>\n");
    return ok ? 0 : 1;
}
