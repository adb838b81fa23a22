// Feeds arbitrary bytes to the capture store as a study folder's info.xml, beside a few stills,
// a folder and a still of another folder, and checks what the store makes of it: every file
// listed is a real file of that study folder, listed once, and an info.xml written from what
// was read reads back to the same list.
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "fuzz/FuzzSupport.h"
#include "platform/base/codepage.h"
#include "platform/base/winpath.h"
#include "platform/gdi/ImageCodec.h"

namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kRoot = L"c:\\HRB4100\\temp\\image";
constexpr const wchar_t* kStudy = L"c:\\HRB4100\\temp\\image\\12345\\Endo\\20261209";

using Entry = std::tuple<std::wstring, std::wstring, std::wstring, int, int, int>;

std::string Native(const wchar_t* path) { return quiva::NativePath(path).value_or(std::string()); }

void WriteStill(const std::string& path)
{
    std::vector<uint32_t> pixels(16 * 8);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x010203u);
    std::string bmp;
    if (!quiva::EncodeBmp(pixels.data(), 16, 8, bmp))
        fuzz::Fail("the still cannot be made");
    fs::create_directories(fs::path(path).parent_path());
    fuzz::WriteScratch(fs::relative(path, fuzz::ScratchFolder()).string(), bmp.data(), bmp.size());
}

// Every file of every model, checked to be a file of the study folder listed once.
std::vector<Entry> Listed(const CKXQUIVACaptureModelManager& manager)
{
    std::vector<Entry> entries;
    std::set<fs::path> files;
    const fs::path study = Native(kStudy);
    for (int m = 0; m < manager.GetModelCount(); ++m) {
        CKXQUIVACaptureModel* model = manager.GetModel(m);
        for (int i = 0; i < model->GetFileCount(); ++i) {
            const _KXCaptureFileInfo* info = model->GetFileInfo(i);
            const std::optional<std::string> native = quiva::NativePath(info->path);
            fuzz::Check(native && fs::is_regular_file(*native), "a listed capture is a file");
            const fs::path file = fs::canonical(*native);
            fuzz::Check(file.parent_path() == fs::canonical(study), "a listed capture is a file of its own folder");
            fuzz::Check(files.insert(file).second, "a capture is listed once");
            entries.emplace_back(info->path.str(), info->study.str(), info->date.str(), info->isVideo, info->saved, info->present);
        }
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Drive C is the scratch folder: the store is where the clinic's machines have it.
    setenv("QUIVA_DRIVE_C", fuzz::ScratchFolder().c_str(), 1);
    const std::string study = Native(kStudy);
    WriteStill(study + "/093015123.bmp");
    WriteStill(study + "/093016000.bmp");
    WriteStill(study + "/sub/093017000.bmp");
    WriteStill(Native(kRoot) + "/other/093018000.bmp");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 64 * 1024)
        return 0;
    const std::string info = Native(kStudy) + "/info.xml";
    fuzz::WriteScratch(fs::relative(info, fuzz::ScratchFolder()).string(), data, size);
    std::vector<Entry> read;
    {
        CKXQUIVACaptureModelManager manager;
        manager.EnsureImageRoot(kRoot);
        manager.LoadAll();
        read = Listed(manager);
        for (int m = 0; m < manager.GetModelCount(); ++m)
            manager.GetModel(m)->WriteInfoXml(kStudy);
        manager.DeleteAllModels();
    }
    CKXQUIVACaptureModelManager again;
    again.EnsureImageRoot(kRoot);
    again.LoadAll();
    fuzz::Check(Listed(again) == read, "an info.xml written from what was read reads back the same");
    again.DeleteAllModels();
    return 0;
}
