#include "platform/gdi/JpegCodec.h"

#include <jpeglib.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdlib>
#include <vector>

#include "platform/base/bitmap.h"

namespace quiva {

namespace {

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
    int warnings = 0;
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Level -1 is a warning about corrupt or missing data; the first one's text is kept.
void JpegMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) {
        auto* err = reinterpret_cast<JpegError*>(cinfo->err);
        if (!err->warnings++)
            (*cinfo->err->format_message)(cinfo, err->message);
    }
}

void Attach(jpeg_common_struct* cinfo, JpegError& jerr)
{
    cinfo->err = jpeg_std_error(&jerr.mgr);
    jerr.mgr.error_exit = JpegErrorExit;
    jerr.mgr.emit_message = JpegMessage;
}

bool Fail(std::string* error, const JpegError& jerr, const char* otherwise)
{
    if (error)
        *error = jerr.message[0] ? jerr.message : otherwise;
    return false;
}

}  // namespace

bool DecodeJpegRows(const uint8_t* data, size_t size, const JpegDecodeOptions& options,
                    const std::function<bool(const JpegRowsInfo&)>& start,
                    const std::function<void(int y, const uint8_t* row)>& row, std::string* error)
{
    jpeg_decompress_struct cinfo;
    JpegError jerr;
    Attach(reinterpret_cast<jpeg_common_struct*>(&cinfo), jerr);
    // Everything that must be released after a long jump lives outside this frame's locals.
    std::vector<unsigned char> samples;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return Fail(error, jerr, "JPEG decoding failed");
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK || !ImageSizeOk(cinfo.image_width, cinfo.image_height)) {
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = "JPEG header missing or size out of range";
        return false;
    }
    const bool grey = options.keepGrey && cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    if (options.minWidth > 0 || options.minHeight > 0) {
        // n/8 of a side rounds up, as the decoder's own output size does.
        auto enough = [&](unsigned n) {
            return (static_cast<int64_t>(cinfo.image_width) * n + 7) / 8 >= options.minWidth &&
                   (static_cast<int64_t>(cinfo.image_height) * n + 7) / 8 >= options.minHeight;
        };
        unsigned n = 1;
        while (n < 8 && !enough(n))
            ++n;
        cinfo.scale_num = n;
        cinfo.scale_denom = 8;
    }
    jpeg_calc_output_dimensions(&cinfo);
    JpegRowsInfo info;
    info.width = static_cast<int>(cinfo.output_width);
    info.height = static_cast<int>(cinfo.output_height);
    info.components = grey ? 1 : 3;
    info.fileWidth = static_cast<int>(cinfo.image_width);
    info.fileHeight = static_cast<int>(cinfo.image_height);
    if (start && !start(info)) {
        jpeg_destroy_decompress(&cinfo);
        if (error)
            *error = "JPEG picture refused";
        return false;
    }
    jpeg_start_decompress(&cinfo);
    samples.resize(static_cast<size_t>(cinfo.output_width) * static_cast<size_t>(cinfo.output_components));
    while (cinfo.output_scanline < cinfo.output_height && !(options.strict && jerr.warnings)) {
        unsigned char* rows[1] = {samples.data()};
        const int y = static_cast<int>(cinfo.output_scanline);
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            break;
        row(y, samples.data());
    }
    if ((options.strict && jerr.warnings) || cinfo.output_scanline < cinfo.output_height) {
        jpeg_destroy_decompress(&cinfo);
        return Fail(error, jerr, "JPEG data incomplete");
    }
    jpeg_finish_decompress(&cinfo);
    const bool clean = !options.strict || jerr.warnings == 0;
    jpeg_destroy_decompress(&cinfo);
    return clean ? true : Fail(error, jerr, "JPEG data corrupt");
}

namespace {

// A source over the bytes given that suspends the reader at their end instead of ending the
// picture there, so that a header cut short is told from a bad one.
void HoldSource(j_decompress_ptr) {}
boolean SuspendAtEnd(j_decompress_ptr) { return FALSE; }
void SkipOrRunOut(j_decompress_ptr cinfo, long count)
{
    jpeg_source_mgr* src = cinfo->src;
    const size_t skip = count > 0 ? std::min(static_cast<size_t>(count), src->bytes_in_buffer) : 0;
    src->next_input_byte += skip;
    src->bytes_in_buffer -= skip;
}

}  // namespace

JpegHeaderRead ReadJpegSize(const uint8_t* data, size_t size, int* width, int* height)
{
    jpeg_decompress_struct cinfo;
    JpegError jerr;
    Attach(reinterpret_cast<jpeg_common_struct*>(&cinfo), jerr);
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return JpegHeaderRead::Bad;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_source_mgr source{};
    source.next_input_byte = data;
    source.bytes_in_buffer = size;
    source.init_source = HoldSource;
    source.fill_input_buffer = SuspendAtEnd;
    source.skip_input_data = SkipOrRunOut;
    source.resync_to_restart = jpeg_resync_to_restart;
    source.term_source = HoldSource;
    cinfo.src = &source;
    const int read = jpeg_read_header(&cinfo, TRUE);
    JpegHeaderRead result = JpegHeaderRead::Bad;
    if (read == JPEG_SUSPENDED) {
        result = JpegHeaderRead::TooShort;
    } else if (read == JPEG_HEADER_OK && ImageSizeOk(cinfo.image_width, cinfo.image_height)) {
        *width = static_cast<int>(cinfo.image_width);
        *height = static_cast<int>(cinfo.image_height);
        result = JpegHeaderRead::Read;
    }
    jpeg_destroy_decompress(&cinfo);
    return result;
}

namespace {

// Rows of `components` bytes a pixel in `space`, handed over one at a time by `row`.
bool Encode(int width, int height, int quality, int dpi, J_COLOR_SPACE space, int components,
            const std::function<const uint8_t*(int y, uint8_t* scratch)>& row, std::string& out)
{
    if (!ImageSizeOk(width, height) || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION)
        return false;
    jpeg_compress_struct cinfo;
    JpegError jerr;
    Attach(reinterpret_cast<jpeg_common_struct*>(&cinfo), jerr);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<unsigned char> scratch(static_cast<size_t>(width) * static_cast<size_t>(components));
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(quality, 0, 100), TRUE);
    if (dpi > 0) {
        cinfo.density_unit = 1;
        cinfo.X_density = static_cast<UINT16>(dpi);
        cinfo.Y_density = static_cast<UINT16>(dpi);
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        unsigned char* rows[1] = {const_cast<unsigned char*>(row(static_cast<int>(cinfo.next_scanline), scratch.data()))};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out.assign(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return true;
}

}  // namespace

bool EncodeJpegRows(int width, int height, int quality, int dpi, const std::function<void(int y, uint8_t* rgb)>& fill,
                    std::string& out)
{
    return Encode(width, height, quality, dpi, JCS_RGB, 3, [&](int y, uint8_t* scratch) -> const uint8_t* {
        fill(y, scratch);
        return scratch;
    }, out);
}

bool EncodeJpegPixelRows(int width, int height, int quality, int dpi,
                         const std::function<const uint32_t*(int y, uint32_t* scratch)>& row, std::string& out)
{
    // A 0xAARRGGBB word lies in memory as B, G, R, A on a little-endian machine.
    constexpr J_COLOR_SPACE space = std::endian::native == std::endian::little ? JCS_EXT_BGRX : JCS_EXT_XRGB;
    return Encode(width, height, quality, dpi, space, 4, [&](int y, uint8_t* scratch) {
        return reinterpret_cast<const uint8_t*>(row(y, reinterpret_cast<uint32_t*>(scratch)));
    }, out);
}

}  // namespace quiva
