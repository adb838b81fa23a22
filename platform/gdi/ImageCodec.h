// Image files: BMP, JPEG and PNG decoded to and encoded from 32-bit premultiplied ARGB pixels
// (the Surface layout). Every decoder checks the file against its own headers and refuses a
// bad or truncated file with a reason instead of guessing at the missing part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quiva {

enum class ImageFileKind { Unknown, Bmp, Jpeg, Png };

struct DecodedImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // premultiplied ARGB, top row first
    ImageFileKind kind = ImageFileKind::Unknown;
    int bitsPerPixel = 32;         // as stored in the file (8 for grey JPEG, 24 for RGB...)
    bool hasAlpha = false;
    bool grey = false;             // every pixel has r == g == b by the file's own colour model
    // BMP only: the file's own rows, top row first, `sourceStride` bytes each, with its palette
    // (opaque ARGB entries as many as the file gives) and, for 16 bits, whether green has 6 bits.
    std::vector<uint8_t> sourceRows;
    size_t sourceStride = 0;
    std::vector<uint32_t> palette;
    bool rgb565 = false;
};

// The kind of file by its first bytes.
ImageFileKind SniffImage(const std::string& bytes);

// False with `error` set when the bytes are not a complete image of a supported kind.
bool DecodeImage(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
bool DecodeBmp(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
bool DecodeJpeg(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
bool DecodePng(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);

// Encoders take premultiplied ARGB rows, top row first. BMP is written 24-bit bottom-up with
// 4-byte row padding and a file-size field equal to the file's length; JPEG takes quality 0-100.
bool EncodeBmp(const uint32_t* pixels, int width, int height, std::string& out);
bool EncodeJpeg(const uint32_t* pixels, int width, int height, int quality, std::string& out);
bool EncodePng(const uint32_t* pixels, int width, int height, std::string& out);

}  // namespace quiva
