// Writes the seed corpus of the graph list harness: lists as the device monitor saves them, in
// code page 949 and in UTF-8, naming the graph files the harness puts beside them.
#include <string>

#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"

int main(int argc, char** argv)
{
    const std::string folder = fuzz::CorpusFolder(argc, argv);
    const std::string korean = quiva::WideToMultiByte(L"내시경", CP_KOREAN);
    bool ok = fuzz::SaveSeed(folder, "euc-kr.xml",
                             "<?xml version=\"1.0\" encoding=\"euc-kr\" ?>\n<GraphFiles>\n"
                             "    <Extension DVD=\"1\" />\n"
                             "    <GraphFile name=\"Endoscope\">a.grf</GraphFile>\n"
                             "    <GraphFile name=\"" + korean + "\">" + korean + ".grf</GraphFile>\n"
                             "    <GraphFile>scope.grf</GraphFile>\n"
                             "    <GraphFile name=\"gone\">gone.grf</GraphFile>\n"
                             "</GraphFiles>\n");
    ok &= fuzz::SaveSeed(folder, "utf-8.xml",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<GraphFiles>\n"
                         "    <GraphFile name=\"Cam\xC3\xA9ra &amp; &#x1F600;\">Cam\xC3\xA9ra.grf</GraphFile>\n"
                         "    <GraphFile name=\"\xEB\x82\xB4\">a.grf</GraphFile>\n"
                         "</GraphFiles>\n");
    return ok ? 0 : 1;
}
