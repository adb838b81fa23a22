// Commit benchmark: N stills of 1920x1080 (20 unless told) committed by the capture model
// (MMAIN/MIMG rows in an SQLite clinic database, copies into the image directory, one C-STORE
// association per still to a local storescp) against `cp` + `sync` of the same files plus one
// DCMTK `storescu` association (TCP_NODELAY=1) for all the same objects, in one run of rounds
// (5 unless told), the first of the two taking turns; each round commits the same stills filed
// again in the store, by a model manager of its own.
//   bench_commit [folder] [stills] [rounds]
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "bench/BenchClock.h"
#include "bench/BenchPeer.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "framework/CKXAdoConnection.h"
#include "platform/base/codepage.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/media/SyntheticDevices.h"

namespace fs = std::filesystem;

namespace {

int Run(const std::string& command) { return std::system((command + " > /dev/null 2>&1").c_str()); }

constexpr const char* kStudyFolder = "/store/12345/Endo/20240105/";

// The stills: a synthetic 1920x1080 picture coded as the capture model codes it, kept beside the
// store (each round files them again) with the same object made by DCMTK from each for storescu.
std::vector<std::string> MakeStills(const std::string& folder, int stills)
{
    std::vector<uint32_t> picture(1920u * 1080u);
    std::vector<std::string> names;
    for (int i = 0; i < stills; ++i) {
        quiva::media::FrameStamp stamp;
        stamp.counter = static_cast<uint32_t>(i);
        stamp.label = "Bench";
        quiva::media::DrawSyntheticPicture(picture.data(), 1920, 1080, stamp);
        std::string jpeg;
        quiva::EncodeJpeg(picture.data(), 1920, 1080, 90, jpeg);
        char name[32];
        std::snprintf(name, sizeof name, "0930%05d.jpg", i);
        names.push_back(name);
        FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
        std::fwrite(jpeg.data(), 1, jpeg.size(), f);
        std::fclose(f);
        Run("img2dcm -i JPEG " + folder + "/" + name + " " + folder + "/objects/" + name + ".dcm");
    }
    return names;
}

// The clinic database file, made from the schema; its connection string, empty when it failed.
CString MakeDatabase(const std::string& db)
{
    CKXAdoConnection setup;
    setup.connectionString = CString(L"Driver=SQLite3;Database=") + CString(quiva::Utf8ToWide(db).c_str()) + L";";
    std::string schema;
    FILE* f = std::fopen(QUIVA_SOURCE_DIR "/resources/db/sqlite.sql", "rb");
    char buf[4096];
    size_t n;
    while (f && (n = std::fread(buf, 1, sizeof buf, f)) > 0)
        schema.append(buf, n);
    if (f)
        std::fclose(f);
    if (!setup.Open(0) || !setup.Execute(CString(quiva::Utf8ToWide(schema).c_str()), 0, 1))
        return CString();
    return setup.connectionString;
}

void Configure(CKXQUIVAConfig& config, const std::string& folder, const CString& connectionString, uint16_t port)
{
    config.SetImageDirectory(quiva::Utf8ToWide(folder + "/images").c_str());
    auto connection = std::make_unique<CKXAdoConnection>();
    connection->connectionString = connectionString;
    config.UseConnection(std::move(connection));
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bSendDICOM = 1;
    config.SetOptions(options);
    config.SetPacsKind10Seen();
    config.SetPacsServerIp(L"127.0.0.1");
    config.SetPacsPort(std::to_wstring(port).c_str());
    config.SetPacsAETitle(L"PACS");
    config.SetInstitutionNumber(L"77");
}

// One round of ours: the stills filed in the store and listed by a new model, then committed;
// the time a still in ms, or a negative number when the commit failed.
double CommitRound(CKXQUIVAConfig& config, const std::string& folder, const std::vector<std::string>& names)
{
    fs::create_directories(folder + kStudyFolder);
    for (const std::string& name : names)
        fs::copy_file(folder + "/" + name, folder + kStudyFolder + name, fs::copy_options::overwrite_existing);
    CKXQUIVACaptureModelManager manager;
    manager.attachView = CKXCtrlWndQUIVAThumbnail::Of;  // the stills kept as the strip keeps them
    manager.m_pConfig = &config;
    manager.EnsureImageRoot(quiva::Utf8ToWide(folder + "/store").c_str());
    CKXQUIVACaptureModel* model = manager.GetOrCreateModel(L"12345", L"Bench");
    model->SetStudyName(L"Endo");
    model->SetStudyDate(L"20240105");
    for (const std::string& name : names)
        model->AddFileInfo(CKXQUIVACaptureModel::MakeRecord(quiva::Utf8ToWide(folder + kStudyFolder + name).c_str(), L"Endo",
                                                            L"20240105", CKXQUIVACaptureModel::FileKind::Still));
    // What the set-up wrote (the stills and the last round's copies: 1 MB a still) is on the disk
    // before the commit is timed: its write-back would otherwise take the flushes' turn, more so
    // the more stills there are.
    ::sync();
    CKXQUIVACaptureModel::CommitResult result = CKXQUIVACaptureModel::CommitResult::Done;
    const double ms = bench::Time([&] { result = model->Commit(); }).wall;
    manager.DeleteAllModels();
    fs::remove_all(folder + "/images");
    fs::create_directories(folder + "/images");
    if (result != CKXQUIVACaptureModel::CommitResult::Done) {
        std::fprintf(stderr, "the commit failed (%d)\n", static_cast<int>(result));
        return -1;
    }
    return ms / static_cast<double>(names.size());
}

// One round of the anchor: the files copied and flushed, and every object sent in one storescu
// association (DCMTK leaves Nagle's algorithm on unless TCP_NODELAY is set); the time a still in
// ms.
double AnchorRound(const std::string& folder, const std::vector<std::string>& names, uint16_t port)
{
    fs::remove_all(folder + "/copies");
    fs::create_directories(folder + "/copies");
    std::string sources, copies, objects;
    for (const std::string& name : names) {
        sources += " " + folder + "/" + name;
        copies += " " + folder + "/copies/" + name;
        objects += " " + folder + "/objects/" + name + ".dcm";
    }
    ::sync();
    const double ms = bench::Time([&] {
        Run("cp" + sources + " " + folder + "/copies/ && sync" + copies + " " + folder + "/copies");
        Run("TCP_NODELAY=1 storescu -xy -aec PACS -aet HRBIMAGE 127.0.0.1 " + std::to_string(port) + objects);
    }).wall;
    return ms / static_cast<double>(names.size());
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : fs::temp_directory_path().string() + "/quiva-bench-commit";
    const int stills = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    fs::remove_all(folder);
    for (const char* sub : {"store", "images", "pacs", "copies", "objects"})
        fs::create_directories(folder + "/" + sub);
    const std::vector<std::string> names = MakeStills(folder, stills);

    const uint16_t port = bench::FreePort();
    ::setenv("TCP_NODELAY", "1", 1);  // DCMTK leaves Nagle's algorithm on unless told
    const pid_t pacs = bench::Spawn({"storescp", "+xa", "--ignore", "--aetitle", "PACS", std::to_string(port)});
    if (!bench::WaitListening(port)) {
        std::fprintf(stderr, "storescp did not start\n");
        ::kill(pacs, SIGTERM);
        return 1;
    }

    const CString connectionString = MakeDatabase(folder + "/HRB4100.db");
    if (connectionString.IsEmpty()) {
        std::fprintf(stderr, "the clinic database could not be made\n");
        ::kill(pacs, SIGTERM);
        return 1;
    }
    CKXQUIVAConfig config;
    Configure(config, folder, connectionString, port);
    std::vector<double> ours, theirs;
    const bool done = bench::Alternate(
        rounds,
        [&](int) {
            ours.push_back(CommitRound(config, folder, names));
            return ours.back() >= 0;
        },
        [&](int) {
            theirs.push_back(AnchorRound(folder, names, port));
            return true;
        });
    ::kill(pacs, SIGTERM);
    ::waitpid(pacs, nullptr, 0);
    if (!done)
        return 1;
    std::printf("commit of %d stills 1920x1080 (rows, copies, PACS) against cp + sync + one storescu association, "
                "ms a still:\n", stills);
    bench::PrintRatio("commit-" + std::to_string(stills), ours, theirs, "ms");
    return 0;
}
