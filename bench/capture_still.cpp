// Still benchmark at 1920x1080: the capture model's still request to the JPEG file on disk (grab,
// BMP, JPEG, record, info.xml) against a bare libjpeg-turbo encode of the same frame at the same
// quality written to a file, in one run, the first of the two taking turns still by still.
//   bench_capture_still [folder] [stills] [quality]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/ui/CKXCtrlWndQUIVAThumbnail.h"
#include "app/model/CKXQUIVACaptureModel.h"
#include "app/model/CKXQUIVACaptureModelManager.h"
#include "app/model/CKXQUIVAConfig.h"
#include "bench/BenchClock.h"
#include "bench/HdEngine.h"
#include "capture/CKXMCapture.h"
#include "platform/base/bitmap.h"
#include "platform/base/codepage.h"
#include "platform/ui/uisystem.h"
#include "platform/ui/winuser.h"

// After <cstdio>: the library uses FILE and size_t without including them.
#include <jpeglib.h>

using namespace quiva::media;

namespace {

// The frame as libjpeg-turbo takes it: BGRA rows top first, coded at the quality and written.
bool BareJpeg(const BYTE* dib, int quality, const std::string& path)
{
    BITMAPINFOHEADER h;
    std::memcpy(&h, dib, sizeof h);
    const BYTE* bits = dib + h.biSize;
    const int w = h.biWidth, rows = std::abs(h.biHeight);
    const size_t stride = ((static_cast<size_t>(w) * h.biBitCount + 31) / 32) * 4;
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(rows);
    c.input_components = h.biBitCount / 8;
    c.in_color_space = h.biBitCount == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        const size_t y = h.biHeight > 0 ? rows - 1 - c.next_scanline : c.next_scanline;
        JSAMPROW row = const_cast<JSAMPROW>(bits + y * stride);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    FILE* f = std::fopen(path.c_str(), "wb");
    const bool ok = f && std::fwrite(out, 1, size, f) == size && std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
    if (f)
        std::fclose(f);
    std::free(out);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : std::filesystem::temp_directory_path().string() + "/quiva-bench-still";
    const int stills = argc > 2 ? std::max(3, std::atoi(argv[2])) : 30;
    const int quality = argc > 3 ? std::atoi(argv[3]) : 90;
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder + "/store");
    std::filesystem::current_path(folder);

    BenchEngine engine;
    HWND preview = nullptr;
    if (!engine.StartHd(L"QUIVACaptureWnd", &preview))
        return 1;
    BYTE* frame = nullptr;
    for (int i = 0; i < 300 && !frame; ++i) {
        frame = engine.GrabFrame();
        if (!frame)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!frame) {
        std::fprintf(stderr, "no picture\n");
        return 1;
    }

    CKXQUIVAConfig config;
    CKXQUIVAConfig::Options options = config.GetOptions();
    options.m_bSaveJpegFormat = 1;
    options.m_nJpegQuality = quality;
    config.SetOptions(options);
    CKXQUIVACaptureModelManager manager;
    manager.attachView = CKXCtrlWndQUIVAThumbnail::Of;  // the stills kept as the strip keeps them
    manager.m_pConfig = &config;
    manager.EnsureImageRoot(quiva::Utf8ToWide(folder + "/store").c_str());
    CKXQUIVACaptureModel* model = manager.GetOrCreateModel(L"12345", L"Bench");
    model->SetEngine(&engine);
    model->SetStudyName(L"Endo");
    model->SetStudyDate(L"20240105");

    std::vector<double> ours, bare;
    const bool done = bench::Alternate(
        stills,
        [&](int) {
            ours.push_back(bench::Time([&] { model->CaptureStill(); }).wall);
            return true;
        },
        [&](int i) {
            bool ok = false;
            bare.push_back(bench::Time([&] { ok = BareJpeg(frame, quality, folder + "/bare" + std::to_string(i) + ".jpg"); }).wall);
            return ok;
        });
    std::free(frame);
    if (!done)
        return 1;
    if (model->GetFileCount() != stills) {
        std::fprintf(stderr, "%d of %d stills were listed\n", model->GetFileCount(), stills);
        return 1;
    }
    std::printf("still 1920x1080 to JPEG q%d by the capture model against a bare libjpeg-turbo encode written and "
                "flushed, ms:\n", quality);
    bench::PrintRatio("still-q" + std::to_string(quality), ours, bare, "ms");
    manager.DeleteAllModels();
    engine.Close();
    DestroyWindow(preview);
    return 0;
}
