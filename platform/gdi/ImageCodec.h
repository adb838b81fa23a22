// Image files: BMP, JPEG and PNG decoded to and encoded from 32-bit premultiplied ARGB pixels
// (the Surface layout). Every decoder checks the file against its own headers and refuses a
// bad or truncated file with a reason instead of guessing at the missing part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quiva {

enum class ImageFileKind { Unknown, Bmp, Jpeg, Png };

struct DecodedImage {
    int width = 0;
    int height = 0;
    // The picture's own size; larger than width x height only for a JPEG decoded reduced.
    int fileWidth = 0;
    int fileHeight = 0;
    std::vector<uint32_t> pixels;  // premultiplied ARGB, top row first
    ImageFileKind kind = ImageFileKind::Unknown;
    int bitsPerPixel = 32;         // as stored in the file (8 for grey JPEG, 24 for RGB...)
    bool hasAlpha = false;
    bool grey = false;             // every pixel has r == g == b by the file's own colour model
    // BMP only: the file's rows, top row first, `sourceStride` bytes each, in the layout of the
    // pixel format they are labelled with (16 bits 5-5-5 or, when `rgb565`, 5-6-5; 32 bits B, G,
    // R and A bytes): a file with other colour masks has its rows rewritten in that layout. With
    // them the palette (opaque ARGB entries as many as the file gives).
    std::vector<uint8_t> sourceRows;
    size_t sourceStride = 0;
    std::vector<uint32_t> palette;
    bool rgb565 = false;
};

// The kind of file by its first bytes.
ImageFileKind SniffImage(std::string_view bytes);

// False with `error` set when the bytes are not a complete image of a supported kind.
bool DecodeImage(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
bool DecodeBmp(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
bool DecodeJpeg(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
// For a picture of at least minWidth x minHeight: a JPEG is decoded at the smallest of its
// reduced sizes (1/8 to 8/8 of its own) that is as large, any other file at its own size.
bool DecodeImageAtLeast(const std::string& bytes, int minWidth, int minHeight, DecodedImage& out,
                        std::string* error = nullptr);
bool DecodePng(const std::string& bytes, DecodedImage& out, std::string* error = nullptr);
// How many pictures the decoders above were asked for in this process (reading a size is none).
uint64_t ImageDecodeCount();

// A picture's own size as the headers of a BMP or JPEG give it, without decoding a pixel, from
// the file's first bytes: 1 read, 0 the headers run on past the bytes given (give more of the
// file), -1 no size the decoder would take (another kind of file, or headers it refuses).
int ReadImageSize(std::string_view bytes, int* width, int* height);
// The same from a file, reading no more of it than its headers; false when its size cannot be
// told that way (the file unreadable, another kind, its headers refused or longer than 16 MiB).
constexpr size_t kMaxImageHeaderBytes = 16u << 20;
bool ReadImageFileSize(const wchar_t* path, int* width, int* height);
// The same from a file open for reading (a descriptor, read from the start of the file).
bool ReadImageFileSize(int fd, int* width, int* height);
// Whether a file open for reading was cut short, told from its length and its headers: it is
// empty or shorter than any picture's headers, a BMP whose headers or pixel rows run past its end,
// or a JPEG that does not end in its end-of-image marker and does not decode whole without it.
// Any other file, or one that cannot be read, is not judged: false.
bool ImageFileCut(int fd);
// Whether two decoded pictures are one picture, the second perhaps the first saved as JPEG at any
// quality: the same width and height, and every 16 x 16 tile of the same mean colour within what
// JPEG's coarsest quantisation moves it.
bool SamePictureWithinJpegError(const DecodedImage& a, const DecodedImage& b);

// Encoders take premultiplied ARGB rows, top row first. BMP is written 24-bit bottom-up with
// 4-byte row padding and a file-size field equal to the file's length; JPEG takes quality 0-100.
bool EncodeBmp(const uint32_t* pixels, int width, int height, std::string& out);
bool EncodeJpeg(const uint32_t* pixels, int width, int height, int quality, std::string& out);
bool EncodePng(const uint32_t* pixels, int width, int height, std::string& out);

}  // namespace quiva
