// Writes a seed corpus for config_files_fuzzer: each settings file as the application writes it,
// the older device layout, and a DBServer.ini.
#include <cstdio>
#include <string>

namespace {

void Seed(const std::string& folder, const char* name, const std::string& text)
{
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    if (!f)
        return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

const char kHeader[] = "<?xml version=\"1.0\" encoding=\"euc-kr\" ?>\n";

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    std::string out = argv[1];
    Seed(out, "config", std::string(kHeader) +
                            "<Configruation>\n    <options saveWhenClose=\"TRUE\" writeGraphFile=\"FALSE\" useVideo=\"TRUE\""
                            " saveJpegFormat=\"1\" JpegQuality=\"100\" recordLimitTime=\"30\" captureKey=\"32\" applyColor=\"1\" />\n"
                            "    <folder>\n        <temp>c:\\HRB4100\\temp\\image</temp>\n    </folder>\n"
                            "    <extent>\n        <source file=\"FALSE\" dvd=\"FALSE\" />\n    </extent>\n"
                            "    <pacs>\n        <MWL ip=\"10.0.0.9\" port=\"104\" aeTitle=\"PACS\" machine=\"31200\""
                            " sendDICOM=\"1\" />\n    </pacs>\n</Configruation>\n");
    Seed(out, "lastsave", std::string(kHeader) +
                              "<Last.Save>\n    <window x=\"-1700\" y=\"100\" width=\"1024\" height=\"768\" />\n"
                              "    <thumbnail show=\"TRUE\" size=\"200\" />\n    <device><![CDATA[Camera <1>]]></device>\n"
                              "    <options noPrevent=\"1\" />\n</Last.Save>\n");
    Seed(out, "devices", std::string(kHeader) +
                             "<Configruation>\n    <default hue=\"0\" saturation=\"0\" brightness=\"0\" contrast=\"0\""
                             " preserve=\"TRUE\" render=\"0\" />\n    <devices>\n        <device0 device=\"\xb3\xbb\xbd\xc3\xb0\xe6\""
                             " study=\"\" hue=\"10\" saturation=\"20\" brightness=\"30\" contrast=\"40\" preserve=\"FASLE\""
                             " render=\"1\" width=\"1920\" height=\"1080\" fps=\"30\" mediaType=\"YUY2\""
                             " formatType=\"VideoInfo\" />\n        <device1 device=\"Card\" />\n    </devices>\n"
                             "</Configruation>\n");
    Seed(out, "devices-old", std::string(kHeader) +
                                 "<Configruation><devices><device device=\"old\" width=\"640\"/><device device=\"x\"/>"
                                 "</devices></Configruation>\n");
    Seed(out, "dbserver", "[Connection Config]\r\nDBMSConnPriority=1\r\nEngineName=HRB4100\r\n"
                          "CommLinks=tcpip{host=db01}\r\nPGHostIPAddress=10.0.0.5\r\nPGPort=5432\r\nDBMSKind=PostgreSQL\r\n");
    return 0;
}
