// Store benchmark: opening a temporary image store of N stills (LoadAll: info.xml files, records,
// pictures) against loading the same info.xml files into a hash set of their paths, CPU time
// and wall time, ours and the anchor alternated; then the memory a listed still holds, for the
// small stills of that store and for 1920x1080 JPEG stills against keeping a strip-cell-sized
// thumbnail of each, and the open of that store timed against the same anchor; and the rewrite
// of an info.xml listing every still against writing the same document once.
//   bench_store_open [stills] [runs] [hd stills] [folder]
#include <malloc.h>
#include <time.h>

#include <algorithm>
#include <chrono>
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

struct Times {
    double cpu = 0, wall = 0;
};

double CpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

template <class F>
Times Measure(F&& work)
{
    const double c0 = CpuSeconds();
    const auto w0 = std::chrono::steady_clock::now();
    work();
    return {CpuSeconds() - c0, std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count()};
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

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

}  // namespace

int main(int argc, char** argv)
{
    const int stills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const int hdStills = argc > 3 ? std::max(0, std::atoi(argv[3])) : 100;
    const std::string root = argc > 4 ? argv[4] : fs::temp_directory_path().string() + "/quiva-bench-store";

    const std::vector<std::string> folders = MakeStore(root + "/store", stills, Picture(64, 36, false), "bmp");
    std::vector<double> oursCpu, oursWall, anchorCpu, anchorWall, rewrite, writeOnce;
    double perStill = 0;
    for (int run = 0; run < runs; ++run) {
        {
            CKXQUIVACaptureModelManager manager;
            manager.attachView = CKXCtrlWndQUIVAThumbnail::Of;  // the stills kept as the strip keeps them
            manager.EnsureImageRoot(Wide(root + "/store"));
            const double before = HeapBytes();
            const Times t = Measure([&] { manager.LoadAll(); });
            if (run == 0)
                perStill = (HeapBytes() - before) / stills;
            if (Listed(manager) != stills) {
                std::fprintf(stderr, "the open listed %d of %d stills\n", Listed(manager), stills);
                return 1;
            }
            oursCpu.push_back(t.cpu);
            oursWall.push_back(t.wall);
            // The rewrite after a still: every listed file into one folder's info.xml, against
            // writing the same document's bytes once.
            // (Written outside the store, which the next open reads as it was.)
            fs::create_directories(root + "/rewrite");
            rewrite.push_back(Measure([&] { manager.GetModel(0)->WriteInfoXml(Wide(root + "/rewrite")); }).wall);
            std::string document;
            {
                std::ifstream in(root + "/rewrite/info.xml", std::ios::binary);
                document.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
            }
            writeOnce.push_back(
                Measure([&] { quiva::WriteFileAtomically(Wide(root + "/rewrite/written.xml"), document); }).wall);
            fs::remove_all(root + "/rewrite");
            manager.DeleteAllModels();
        }
        size_t loaded = 0;
        const Times t = Measure([&] { loaded = LoadPaths(folders); });
        if (loaded != static_cast<size_t>(stills))
            return 1;
        anchorCpu.push_back(t.cpu);
        anchorWall.push_back(t.wall);
    }
    std::printf("open a store of %d stills (%d runs, medians): ours %.3f s CPU (%.3f s wall); info.xml into a hash set "
                "%.3f s CPU (%.3f s wall); ratio %.2f CPU\n",
                stills, runs, Median(oursCpu), Median(oursWall), Median(anchorCpu), Median(anchorWall),
                Median(oursCpu) / Median(anchorCpu));
    std::printf("rewrite info.xml with %d listed (medians): ours %.1f ms; the same document written once %.1f ms; "
                "ratio %.1f\n",
                stills, Median(rewrite) * 1000, Median(writeOnce) * 1000, Median(rewrite) / Median(writeOnce));
    std::printf("memory per listed 64x36 still: %.4f MiB (heap in use after the first open)\n", perStill / 1048576.0);
    fs::remove_all(root + "/store");

    if (hdStills > 0) {
        // The same store with 1920x1080 JPEG stills.
        const std::string jpeg = Picture(1920, 1080, true);
        const std::vector<std::string> hd = MakeStore(root + "/hd", hdStills, jpeg, "jpg");
        // Its open, timed as the small store's (ours and the anchor alternated); the memory of
        // the first open.
        double ours = 0, anchor = 0;
        std::vector<double> hdOursCpu, hdOursWall, hdAnchorCpu, hdAnchorWall;
        for (int run = 0; run < runs; ++run) {
            {
                CKXQUIVACaptureModelManager manager;
                manager.attachView = CKXCtrlWndQUIVAThumbnail::Of;  // the stills kept as the strip keeps them
                manager.EnsureImageRoot(Wide(root + "/hd"));
                const double before = HeapBytes();
                const Times t = Measure([&] { manager.LoadAll(); });
                if (run == 0)
                    ours = (HeapBytes() - before) / hdStills;
                if (Listed(manager) != hdStills) {
                    std::fprintf(stderr, "the open listed %d of %d stills\n", Listed(manager), hdStills);
                    return 1;
                }
                hdOursCpu.push_back(t.cpu);
                hdOursWall.push_back(t.wall);
                manager.DeleteAllModels();
            }
            size_t loaded = 0;
            const Times t = Measure([&] { loaded = LoadPaths(hd); });
            if (loaded != static_cast<size_t>(hdStills))
                return 1;
            hdAnchorCpu.push_back(t.cpu);
            hdAnchorWall.push_back(t.wall);
        }
        std::printf("open a store of %d 1920x1080 JPEG stills (%d runs, medians): ours %.3f s CPU (%.3f s wall); "
                    "info.xml into a hash set %.4f s CPU (%.4f s wall); ratio %.1f CPU\n",
                    hdStills, runs, Median(hdOursCpu), Median(hdOursWall), Median(hdAnchorCpu), Median(hdAnchorWall),
                    Median(hdOursCpu) / Median(hdAnchorCpu));
        {
            // The anchor keeps the picture a cell of the default strip (200 wide) shows.
            std::vector<std::unique_ptr<Gdiplus::Image>> kept;
            const double before = HeapBytes();
            for (int i = 0; i < hdStills; ++i) {
                std::unique_ptr<Gdiplus::Image> still(Gdiplus::Image::FromFile(
                    Wide(hd[static_cast<size_t>(i / kStillsPerFolder)] + "/" + std::to_string(100000 + i) + ".jpg")));
                kept.emplace_back(still ? still->GetThumbnailImage(170, 95) : nullptr);
            }
            anchor = (HeapBytes() - before) / hdStills;
        }
        std::printf("memory per listed 1920x1080 still (%d stills): ours %.4f MiB; the 170x95 cell picture of the default strip each %.4f MiB; "
                    "ratio %.3f\n",
                    hdStills, ours / 1048576.0, anchor / 1048576.0, ours / anchor);
        fs::remove_all(root + "/hd");
    }
    return 0;
}
