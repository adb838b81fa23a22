#include "tests/host/HostTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/Command.h"

namespace quiva::test {

namespace fs = std::filesystem;

void ClinicHost::SetUp()
{
    int status = 0;
    std::string said = RunCommand("bash " + std::string(QUIVA_SOURCE_DIR) + "/scripts/prepare-clinic.sh " + m_dir.path() + " " +
                                      QUIVA_BINARY_DIR,
                                  &status);
    ASSERT_EQ(status, 0) << said;
}

HostRun ClinicHost::Run(const std::string& script, const std::string& environment)
{
    std::string scriptPath = m_dir.Native("script.txt");
    std::ofstream(scriptPath) << script;
    std::string bin = QUIVA_BINARY_DIR;
    std::string command = "cd " + m_dir.path() + " && env QUIVA_HEADLESS=1 QUIVA_DEBUG=1 QUIVA_DRIVE_D=" + m_dir.Native("d") +
                          " QUIVA_DEVICES=" + m_dir.Native("devices.txt") + " QUIVA_REGISTRY_DIR=" + m_dir.Native("registry") +
                          " QUIVA_SESSION=" + fs::path(m_dir.path()).filename().string() + " PATH=" + bin + "/monitor/bin:$PATH " + environment + " " + bin +
                          "/bin/quiva-host --script " + scriptPath;
    HostRun run;
    run.output = RunCommand(command, &run.status);
    return run;
}

std::vector<std::string> ClinicHost::FilesBelow(const std::string& folder) const
{
    std::vector<std::string> files;
    fs::path root = fs::path(Clinic()) / folder;
    if (!fs::exists(root))
        return files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.push_back(fs::relative(e.path(), root).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> ClinicHost::Rows(const std::string& sql) const
{
    std::string out = RunCommand("python3 -c \"import sqlite3,sys; [print('|'.join(str(v) for v in r)) for r in "
                                 "sqlite3.connect(sys.argv[1]).execute(sys.argv[2])]\" " +
                                 Clinic() + "/HRB4100.db \"" + sql + "\"");
    std::vector<std::string> rows;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
        rows.push_back(out.substr(start, nl - start));
    return rows;
}

bool DecodesAsJpeg(const std::string& path, int width, int height, std::string* why)
{
    int status = 0;
    std::string out = RunCommand("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,width,height -of csv=p=0 '" +
                                     path + "'",
                                 &status);
    *why = out;
    return status == 0 && out.find("mjpeg," + std::to_string(width) + "," + std::to_string(height)) != std::string::npos;
}

bool ProbesAsAvi(const std::string& path, std::string* why)
{
    int status = 0;
    std::string out = RunCommand("ffprobe -v error -show_entries format=format_name:stream=codec_type,nb_frames -of csv=p=0 '" +
                                     path + "'",
                                 &status);
    *why = out;
    return status == 0 && out.find("video") != std::string::npos && out.find("avi") != std::string::npos;
}

}  // namespace quiva::test
