// Store benchmark: opening a temporary image store of N stills (LoadAll: info.xml files, records,
// each still's header) against loading the same info.xml files into a hash set of their paths,
// wall time and CPU time, ours and the anchor alternated round by round; then the memory a listed
// still holds, for the small stills of that store and for 1920x1080 JPEG stills against keeping a
// strip-cell-sized thumbnail of each, and the open of that store timed against the same anchor;
// and the rewrite of an info.xml listing every still against writing the same document once.
//   bench_store_open [stills] [rounds] [hd stills] [folder]
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "bench/BenchClock.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "framework/CKXXmlDocument.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/base/wformat.h"
#include "platform/gdi/ImageCodec.h"
#include "platform/gdi/gdiplus.h"
#include "platform/media/SyntheticDevices.h"

namespace fs = std::filesystem;

namespace {

constexpr int kStillsPerFolder = 250;

// Heap memory in use, in bytes (what the process holds, whatever its allocator keeps resident).
double HeapBytes()
{
    const struct mallinfo2 m = mallinfo2();
    return static_cast<double>(m.uordblks + m.hblkhd);
}

CString Wide(const std::string& s) { return CString(quiva::Utf8ToWide(s).c_str()); }

// "<root>/12345/Endo/<date>/<n>.<ext>" with the picture's bytes, kStillsPerFolder a folder, each
// folder's info.xml listing its stills as the capture model writes it.
std::vector<std::string> MakeStore(const std::string& root, int stills, const std::string& picture, const char* ext)
{
    fs::remove_all(root);
    std::vector<std::string> folders;
    for (int first = 0; first < stills; first += kStillsPerFolder) {
        const std::string folder = root + "/12345/Endo/" + std::to_string(20240101 + first / kStillsPerFolder);
        fs::create_directories(folder);
        folders.push_back(folder);
        std::string xml = "<?xml version=\"1.0\" encoding=\"euc-kr\" ?>\n<QUIVA>\n    <patient chartNo=\"12345\">\n"
                          "        <![CDATA[Bench]]>\n    </patient>\n";
        for (int i = first; i < std::min(stills, first + kStillsPerFolder); ++i) {
            const std::string path = folder + "/" + std::to_string(100000 + i) + "." + ext;
            std::ofstream(path, std::ios::binary) << picture;
            std::string windows = folder + "\\" + std::to_string(100000 + i) + "." + ext;
            xml += "    <image Study=\"Endo\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" +
                   windows + "</image>\n";
        }
        std::ofstream(folder + "/info.xml", std::ios::binary) << xml << "</QUIVA>\n";
    }
    return folders;
}

std::string Picture(int width, int height, bool jpeg)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
    quiva::media::FrameStamp stamp;
    stamp.label = "Bench";
    quiva::media::DrawSyntheticPicture(pixels.data(), width, height, stamp);
    std::string out;
    if (jpeg)
        quiva::EncodeJpeg(pixels.data(), width, height, 90, out);
    else
        quiva::EncodeBmp(pixels.data(), width, height, out);
    return out;
}

// The anchor: every info.xml of the store read, its paths put in a hash set.
size_t LoadPaths(const std::vector<std::string>& folders)
{
    std::unordered_set<std::wstring> paths;
    for (const std::string& folder : folders) {
        CKXXmlDocument xml;
        if (!xml.Load(Wide(folder + "/info.xml")))
            continue;
        for (int n = 0;; ++n) {
            const CString path = xml.GetValue(quiva::FormatWide(L"/image@%0d", n).c_str());
            if (path.IsEmpty())
                break;
            paths.insert(path.str());
        }
    }
    return paths.size();
}

int Listed(CKXQUIVACaptureModelManager& manager)
{
    int files = 0;
    for (int i = 0; i < manager.GetModelCount(); ++i)
        files += manager.GetModel(i)->GetFileCount();
    return files;
}

// The times of the opens of one store, ours and the anchor's, round by round, and the heap a
// listed still held after ours first opened it.
struct Opens {
    std::vector<double> oursWall, oursCpu, anchorWall, anchorCpu;
    double heapPerStill = 0;
};

// The rewrite of an info.xml listing every still against writing the document it wrote once,
// the first of the two taking turns from the second round on.
struct Rewrites {
    std::vector<double> ours, once;
    std::string document;
};

void Rewrite(CKXQUIVACaptureModelManager& manager, const std::string& root, int round, Rewrites& r)
{
    // Written outside the store, which the next open reads as it was.
    const std::string folder = root + "/rewrite";
    fs::create_directories(folder);
    const bool onceFirst = round % 2 && !r.document.empty();
    auto once = [&] {
        r.once.push_back(bench::Time([&] { quiva::WriteFileAtomically(Wide(folder + "/written.xml"), r.document); }).wall);
    };
    if (onceFirst)
        once();
    r.ours.push_back(bench::Time([&] { manager.GetModel(0)->WriteInfoXml(Wide(folder)); }).wall);
    std::ifstream in(folder + "/info.xml", std::ios::binary);
    r.document.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!onceFirst)
        once();
    fs::remove_all(folder);
}

// Opens the store at `root` `rounds` times with the model manager, as the capture window opens
// it, and as often reads its info.xml files into a hash set, alternated; `after` is given each of
// our opens before it is closed.
template <class After>
bool OpenAlternated(const std::string& root, const std::vector<std::string>& folders, int stills, int rounds, Opens& o,
                    After&& after)
{
    auto ours = [&](int round) {
        CKXQUIVACaptureModelManager manager;
        manager.attachView = CKXCtrlWndQUIVAThumbnail::Of;  // the stills kept as the strip keeps them
        manager.EnsureImageRoot(Wide(root));
        const double before = HeapBytes();
        const bench::Sample t = bench::Time([&] { manager.LoadAll(); });
        if (o.oursWall.empty())
            o.heapPerStill = (HeapBytes() - before) / stills;
        if (Listed(manager) != stills) {
            std::fprintf(stderr, "the open listed %d of %d stills\n", Listed(manager), stills);
            return false;
        }
        o.oursWall.push_back(t.wall);
        o.oursCpu.push_back(t.cpu);
        after(manager, round);
        manager.DeleteAllModels();
        return true;
    };
    auto anchor = [&](int) {
        size_t loaded = 0;
        const bench::Sample t = bench::Time([&] { loaded = LoadPaths(folders); });
        o.anchorWall.push_back(t.wall);
        o.anchorCpu.push_back(t.cpu);
        return loaded == static_cast<size_t>(stills);
    };
    return bench::Alternate(rounds, ours, anchor);
}

void PrintOpens(const std::string& key, const Opens& o)
{
    bench::PrintRatio(key, o.oursWall, o.anchorWall, "ms");
    bench::PrintRatio(key + "-cpu", o.oursCpu, o.anchorCpu, "ms CPU");
}

// The heap each of `stills` 1920x1080 stills holds when its picture is kept at the size of a
// cell of the default strip (200 wide): what a still holds once its cell is drawn.
double CellPictureHeap(const std::vector<std::string>& folders, int stills)
{
    std::vector<std::unique_ptr<Gdiplus::Image>> kept;
    const double before = HeapBytes();
    for (int i = 0; i < stills; ++i) {
        std::unique_ptr<Gdiplus::Image> still(Gdiplus::Image::FromFile(
            Wide(folders[static_cast<size_t>(i / kStillsPerFolder)] + "/" + std::to_string(100000 + i) + ".jpg")));
        kept.emplace_back(still ? still->GetThumbnailImage(170, 95) : nullptr);
    }
    return (HeapBytes() - before) / stills;
}

}  // namespace

int main(int argc, char** argv)
{
    const int stills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;
    const int hdStills = argc > 3 ? std::max(0, std::atoi(argv[3])) : 100;
    const std::string root = argc > 4 ? argv[4] : fs::temp_directory_path().string() + "/quiva-bench-store";
    constexpr double kMiB = 1048576.0;

    const std::vector<std::string> folders = MakeStore(root + "/store", stills, Picture(64, 36, false), "bmp");
    Opens small;
    Rewrites rewrites;
    if (!OpenAlternated(root + "/store", folders, stills, rounds, small,
                        [&](CKXQUIVACaptureModelManager& manager, int round) { Rewrite(manager, root, round, rewrites); }))
        return 1;
    std::printf("open a store of %d 64x36 stills against its info.xml files read into a hash set, ms:\n", stills);
    PrintOpens("store-open-" + std::to_string(stills), small);
    std::printf("rewrite of info.xml listing %d against the same document written once, ms:\n", stills);
    bench::PrintRatio("rewrite-info-" + std::to_string(stills), rewrites.ours, rewrites.once, "ms");
    std::printf("memory per listed 64x36 still (heap in use after the first open), MiB:\n");
    bench::PrintFigure("memory-small-" + std::to_string(stills), {small.heapPerStill / kMiB}, "MiB");
    fs::remove_all(root + "/store");

    if (hdStills > 0) {
        const std::vector<std::string> hd = MakeStore(root + "/hd", hdStills, Picture(1920, 1080, true), "jpg");
        Opens opens;
        if (!OpenAlternated(root + "/hd", hd, hdStills, rounds, opens, [](CKXQUIVACaptureModelManager&, int) {}))
            return 1;
        std::printf("open a store of %d 1920x1080 JPEG stills against its info.xml files read into a hash set, ms:\n",
                    hdStills);
        PrintOpens("store-open-hd-" + std::to_string(hdStills), opens);
        std::printf("memory per listed 1920x1080 still (after the first open) against the 170x95 cell picture of the "
                    "default strip, MiB:\n");
        bench::PrintRatio("memory-hd-" + std::to_string(hdStills), {opens.heapPerStill / kMiB},
                          {CellPictureHeap(hd, hdStills) / kMiB}, "MiB");
        fs::remove_all(root + "/hd");
    }
    return 0;
}
