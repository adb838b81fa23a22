#include "tests/support/HostProgramSupport.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include <sys/wait.h>

#include "platform/base/codepage.h"
#include "platform/db/db.h"
#include "platform/gdi/gdiplus.h"
#include "tests/support/ClinicAccount.h"
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
    m_database = "Driver=SQLite3;Database=" + Clinic() + "/HRB4100.db;";
}

static std::string Session(const TempDir& dir) { return fs::path(dir.path()).filename().string(); }

bool ClinicHost::UsePostgres(const PgServer& server, std::string* why)
{
    auto account = ClinicPgAccount(server, why);
    if (!account)
        return false;
    m_database = "Driver=PostgreSQL Unicode;Server=" + server.host + ";Port=" + server.port + ";UID=" + account->user +
                 ";password=" + quiva::db::ConnectionStringValue(CString(quiva::Utf8ToWide(account->password))).ToUtf8() +
                 ";DATABASE=hrb4100;";
    if (!Execute(ResourceText("resources/db/sample-clinic.sql"))) {
        *why = "cannot seed the clinic tables";
        return false;
    }
    std::ofstream(Clinic() + "/DBServer.ini") << "[Connection Config]\nDBMSKind=PostgreSQL\nPGHostIPAddress=" << server.host
                                              << "\nPGPort=" << server.port << "\n";
    if (!WriteAccountFile(Clinic() + "/exe", {*account})) {
        *why = "cannot write the account file";
        return false;
    }
    return true;
}

bool ClinicHost::Execute(const std::string& sql) const
{
    quiva::db::Connection c;
    return c.Open(CString(quiva::Utf8ToWide(m_database))) && c.Execute(CString(quiva::Utf8ToWide(sql)));
}

bool ClinicHost::UsePacs(uint16_t port, const std::string& options) const
{
    if (!Execute("INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'VEXARIS SERVER', '1');"
                 "INSERT INTO FOPTION VALUES ('ORBITA', 'ORBITA', 'CHECK MOLTRIX PACS KIND', '10')"))
        return false;
    std::ofstream config(Clinic() + "/exe/QUIVA.Capture.Config");
    config << "<?xml version=\"1.0\" encoding=\"euc-kr\"?><Configruation><options " << options
           << "/><pacs><MWL ip=\"127.0.0.1\" port=\"" << port << "\" aeTitle=\"PACS\" sendDICOM=\"1\"/></pacs></Configruation>";
    config.close();
    return static_cast<bool>(config);
}

HostRun ClinicHost::Run(const std::string& script, const std::string& environment)
{
    return RunScripts({script}, environment);
}

HostRun ClinicHost::RunScripts(const std::vector<std::string>& scripts, const std::string& environment)
{
    HostRun run;
    run.output = RunCommand(HostCommand(scripts, environment), &run.status);
    return run;
}

std::string ClinicHost::HostCommand(const std::vector<std::string>& scripts, const std::string& environment)
{
    std::string arguments;
    for (size_t i = 0; i < scripts.size(); ++i) {
        std::string scriptPath = m_dir.Native(i ? "script-" + std::to_string(i + 1) + ".txt" : std::string("script.txt"));
        std::ofstream(scriptPath) << scripts[i];
        arguments += " --script " + scriptPath;
    }
    std::string bin = QUIVA_BINARY_DIR;
    return "cd " + m_dir.path() + " && env QUIVA_HEADLESS=1 QUIVA_DEBUG=1 QUIVA_DRIVE_D=" + m_dir.Native("d") +
           " QUIVA_DEVICES=" + m_dir.Native("devices.txt") + " QUIVA_REGISTRY_DIR=" + m_dir.Native("registry") +
           " QUIVA_SESSION=" + Session(m_dir) + " PATH=" + bin + "/monitor/bin:$PATH " + environment + " " + bin +
           "/bin/quiva-host" + arguments;
}

std::string ClinicHost::KillAt(const std::string& spec) const
{
    const char* asan = std::getenv("ASAN_OPTIONS");
    return "LD_PRELOAD=" + std::string(QUIVA_BINARY_DIR) + "/tests/helpers/libKillAtCall.so ASAN_OPTIONS='" +
           (asan ? std::string(asan) + ":" : std::string()) + "verify_asan_link_order=0' QUIVA_KILL_AT='" + spec +
           "' QUIVA_KILL_MARK=" + m_dir.Native("kill-mark");
}

std::string ClinicHost::KillMark() const
{
    std::ifstream in(m_dir.Native("kill-mark"));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ClinicHost::RunOnSmallStore(const std::string& size, const std::string& script, std::string* said)
{
    if (std::system("unshare -Urm true >/dev/null 2>&1") != 0) {
        *said = "user namespaces are not available here";
        return false;
    }
    const std::string store = Clinic() + "/temp/image", kept = m_dir.Native("store-kept"), file = m_dir.Native("small-store.sh");
    fs::create_directories(store);
    fs::create_directories(kept);
    std::ofstream(file) << "cp -a \"$1/.\" \"" << kept << "\" && mount -t tmpfs -o size=" << size
                        << " quiva-store \"$1\" && cp -a \"" << kept << "/.\" \"$1/\" || exit 99\n"
                        << script;
    int status = 0;
    *said = RunCommand("unshare -Urm sh '" + file + "' '" + store + "' '" + m_dir.path() + "'", &status);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 99) {
        *said = "a memory file system cannot be mounted over the store here: " + *said;
        return false;
    }
    return true;
}

std::vector<std::string> ClinicHost::FilesBelow(const std::string& folder) const
{
    std::vector<std::string> files;
    fs::path root = fs::path(Clinic()) / folder;
    if (!fs::exists(root))
        return files;
    // The module writes beside the walk (a file written under a temporary name and renamed, a
    // folder made or removed): an entry gone before it is looked at is left out, not an error.
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (std::error_code typeError; it->is_regular_file(typeError))
            files.push_back(it->path().lexically_relative(root).string());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> ClinicHost::Rows(const std::string& sql) const
{
    std::vector<std::string> rows;
    quiva::db::Connection c;
    if (!c.Open(CString(quiva::Utf8ToWide(m_database))))
        return {"(no connection)"};
    quiva::db::Command command(c);
    command.SetCommandText(CString(quiva::Utf8ToWide(sql)));
    quiva::db::RecordSet records;
    if (!command.Execute(records))
        return {"(the query failed)"};
    for (; !records.IsEOF(); records.MoveNext()) {
        std::string row;
        for (int i = 0; i < records.FieldCount(); ++i)
            row += (i ? "|" : "") + records.FieldText(i).ToUtf8();
        rows.push_back(row);
    }
    return rows;
}

int ClinicHost::SessionProcesses(const std::string& name) const
{
    const std::string mark = "QUIVA_SESSION=" + Session(m_dir);
    int n = 0;
    for (const auto& e : fs::directory_iterator("/proc")) {
        std::ifstream comm(e.path() / "comm");
        std::string processName;
        if (!std::getline(comm, processName) || processName.rfind(name, 0) != 0)
            continue;
        std::ifstream environ(e.path() / "environ", std::ios::binary);
        for (std::string variable; std::getline(environ, variable, '\0');)
            n += variable == mark;
    }
    return n;
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

int DifferingOnTheRight(const std::string& a, const std::string& b, int width, int top)
{
    std::unique_ptr<Gdiplus::Bitmap> x(Gdiplus::Bitmap::FromFile(quiva::Utf8ToWide(a).c_str()));
    std::unique_ptr<Gdiplus::Bitmap> y(Gdiplus::Bitmap::FromFile(quiva::Utf8ToWide(b).c_str()));
    if (!x || !y || x->GetWidth() == 0 || x->GetWidth() != y->GetWidth() || x->GetHeight() != y->GetHeight())
        return -1;
    const int w = static_cast<int>(x->GetWidth()), h = static_cast<int>(x->GetHeight());
    int differ = 0;
    for (int r = top; r < h; r += 2)
        for (int c = w - width; c < w; c += 2) {
            Gdiplus::Color p, q;
            x->GetPixel(c, r, &p);
            y->GetPixel(c, r, &q);
            differ += p.GetValue() != q.GetValue();
        }
    return differ;
}

}  // namespace quiva::test
