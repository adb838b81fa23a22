// Marks benchmark: "delete all" and "restore all" over a model listing N small stills in one
// study folder, and the info.xml rewrite a still makes in a folder of 1,000 and of N listed
// stills (the model's WriteInfoXml of the still's folder, as the capture calls it), each against
// writing the same bytes plainly (a temporary file, its flush, a rename), ours and the anchor
// alternated round by round; then the same over N stills of a study titled in Hangul, in a
// folder named after it, whose info.xml spells them in code page 949.
//   bench_marks [stills] [rounds] [folder]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "bench/BenchClock.h"
#include "platform/base/codepage.h"
#include "platform/base/fileapi.h"
#include "platform/gdi/ImageCodec.h"

namespace fs = std::filesystem;

namespace {

CString Wide(const std::string& s) { return CString(quiva::Utf8ToWide(s).c_str()); }

std::string Read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// "<root>/<chart>/<study>/20240105" holding `stills` small stills, its info.xml listing them as
// the capture model writes it, in code page 949; the folder.
std::string MakeFolder(const std::string& root, const std::string& chart, int stills, const std::wstring& study = L"Endo")
{
    const std::string folder = root + "/" + chart + "/" + quiva::WideToUtf8(study) + "/20240105";
    fs::create_directories(folder);
    std::vector<uint32_t> pixels(64 * 36, 0xFF808080u);
    std::string picture;
    quiva::EncodeBmp(pixels.data(), 64, 36, picture);
    const std::wstring chartWide = quiva::Utf8ToWide(chart);
    std::wstring xml = L"<?xml version=\"1.0\" encoding=\"euc-kr\" ?>\n<QUIVA>\n    <patient chartNo=\"" + chartWide +
                       L"\" Study=\"" + study + L"\" StudyDate=\"20240105\"><![CDATA[Bench]]></patient>\n";
    const std::wstring windows = quiva::Utf8ToWide(root) + L"/" + chartWide + L"\\" + study + L"\\20240105\\";
    for (int i = 0; i < stills; ++i) {
        const std::string name = std::to_string(100000000 + i) + ".bmp";
        std::ofstream(folder + "/" + name, std::ios::binary) << picture;
        xml += L"    <image Study=\"" + study + L"\" StudyDate=\"20240105\" Saved=\"FALSE\" Deleted=\"FALSE\" IsVideo=\"FALSE\">" +
               windows + quiva::Utf8ToWide(name) + L"</image>\n";
    }
    std::ofstream(folder + "/info.xml", std::ios::binary) << quiva::WideToMultiByte(xml + L"</QUIVA>\n", CP_KOREAN);
    return folder;
}

CKXQUIVACaptureModel* ModelOf(CKXQUIVACaptureModelManager& manager, const CString& chart)
{
    for (int i = 0; i < manager.GetModelCount(); ++i)
        if (manager.GetModel(i)->GetChartNo() == chart)
            return manager.GetModel(i);
    return nullptr;
}

// The time of the plain write of `bytes` beside the folder's info.xml.
double PlainWrite(const std::string& folder, const std::string& bytes)
{
    return bench::Time([&] { quiva::WriteFileAtomically(Wide(folder + "/plain.xml"), bytes); }).wall;
}

// The words a figure's line gives its kind of study ("hangul-": one titled in Hangul).
const char* Titled(const std::string& kind) { return kind.empty() ? "" : " of a study titled in Hangul"; }

// "Delete all" then "restore all", each against the plain write of the info.xml it wrote.
bool Marks(CKXQUIVACaptureModel* model, const std::string& folder, int stills, int rounds, const std::string& kind = "")
{
    std::vector<double> deleted, restored, deletedPlain, restoredPlain;
    std::string deletedBytes, restoredBytes;
    const bool done = bench::Alternate(
        rounds,
        [&](int) {
            deleted.push_back(bench::Time([&] { model->DeleteUnsaved(); }).wall);
            deletedBytes = Read(folder + "/info.xml");
            restored.push_back(bench::Time([&] { model->RestoreUnsaved(); }).wall);
            restoredBytes = Read(folder + "/info.xml");
            return deletedBytes != restoredBytes;
        },
        [&](int) {
            deletedPlain.push_back(PlainWrite(folder, deletedBytes));
            restoredPlain.push_back(PlainWrite(folder, restoredBytes));
            return true;
        });
    if (!done)
        return false;
    std::printf("\"delete all\" of %d listed stills%s against writing its info.xml plainly, ms:\n", stills, Titled(kind));
    bench::PrintRatio("marks-delete-" + kind + std::to_string(stills), deleted, deletedPlain, "ms");
    std::printf("\"restore all\" of %d listed stills%s against writing its info.xml plainly, ms:\n", stills, Titled(kind));
    bench::PrintRatio("marks-restore-" + kind + std::to_string(stills), restored, restoredPlain, "ms");
    return true;
}

// The info.xml rewrite of a still's folder holding `stills` listed stills.
bool StillRewrite(CKXQUIVACaptureModel* model, const std::string& folder, int stills, int rounds,
                  const std::string& kind = "")
{
    std::vector<double> ours, plain;
    std::string bytes;
    const bool done = bench::Alternate(
        rounds,
        [&](int) {
            ours.push_back(bench::Time([&] { model->WriteInfoXml(Wide(folder)); }).wall);
            bytes = Read(folder + "/info.xml");
            return !bytes.empty();
        },
        [&](int) {
            plain.push_back(PlainWrite(folder, bytes));
            return true;
        });
    if (!done)
        return false;
    std::printf("info.xml rewrite of a still's folder of %d listed stills%s against writing it plainly, ms:\n", stills,
                Titled(kind));
    bench::PrintRatio("still-info-" + kind + std::to_string(stills), ours, plain, "ms");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    const int stills = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5000;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 11;
    const std::string root = (argc > 3 ? argv[3] : fs::temp_directory_path().string() + "/quiva-bench-marks") + "/store";
    fs::remove_all(root);
    const std::string small = MakeFolder(root, "11111", 1000);
    const std::string large = MakeFolder(root, "12345", stills);
    const std::string hangul = MakeFolder(root, "22222", stills, L"내시경");

    CKXQUIVACaptureModelManager manager;
    manager.attachView = CKXCtrlWndQUIVAThumbnail::Of;  // the stills kept as the strip keeps them
    manager.EnsureImageRoot(Wide(root));
    manager.LoadAll();
    CKXQUIVACaptureModel* smallModel = ModelOf(manager, L"11111");
    CKXQUIVACaptureModel* largeModel = ModelOf(manager, L"12345");
    CKXQUIVACaptureModel* hangulModel = ModelOf(manager, L"22222");
    if (!smallModel || !largeModel || !hangulModel || smallModel->GetFileCount() != 1000 ||
        largeModel->GetFileCount() != stills || hangulModel->GetFileCount() != stills) {
        std::fprintf(stderr, "the store was not listed whole\n");
        return 1;
    }
    const bool ok = Marks(largeModel, large, stills, rounds) && StillRewrite(smallModel, small, 1000, rounds) &&
                    StillRewrite(largeModel, large, stills, rounds) && Marks(hangulModel, hangul, stills, rounds, "hangul-") &&
                    StillRewrite(hangulModel, hangul, stills, rounds, "hangul-");
    manager.DeleteAllModels();
    fs::remove_all(root);
    return ok ? 0 : 1;
}
