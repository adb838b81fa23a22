#include "tests/support/dicom/JpegSamples.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace quiva::test {

std::vector<unsigned char> TestPattern(int width, int height, int components)
{
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * components);
    size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c)
                pixels[i++] = static_cast<unsigned char>((x * 4 + y * 2 + c * 85) & 0xFF);
        }
    }
    return pixels;
}

std::string MakeJpeg(int width, int height, JpegKind kind, int quality)
{
    const int components = kind == JpegKind::Gray ? 1 : 3;
    std::vector<unsigned char> pixels = TestPattern(width, height, components);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (kind == JpegKind::RgbAdobe)
        jpeg_set_colorspace(&cinfo, JCS_RGB);  // no colour transform: an Adobe marker says so
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = &pixels[static_cast<size_t>(cinfo.next_scanline) * width * components];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::string result(reinterpret_cast<char*>(out), outSize);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return result;
}

std::vector<unsigned char> DecodeJpeg(const std::string& jpeg, int* width, int* height, int* components)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.data()), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    *width = static_cast<int>(cinfo.output_width);
    *height = static_cast<int>(cinfo.output_height);
    *components = cinfo.output_components;
    std::vector<unsigned char> pixels(static_cast<size_t>(*width) * *height * *components);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = &pixels[static_cast<size_t>(cinfo.output_scanline) * *width * *components];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return pixels;
}

}  // namespace quiva::test
