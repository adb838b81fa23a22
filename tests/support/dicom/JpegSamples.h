// JPEG streams made with libjpeg for the DICOM tests, and their decoded pixels.
#pragma once

#include <string>
#include <vector>

namespace quiva::test {

enum class JpegKind { Gray, YCbCrJfif, RgbAdobe };

// A width x height test pattern (one byte per sample; three interleaved for colour).
std::vector<unsigned char> TestPattern(int width, int height, int components);
// The pattern coded as JPEG.
std::string MakeJpeg(int width, int height, JpegKind kind, int quality = 90);
// Decodes a JPEG to interleaved samples in the colour space it declares (RGB for colour).
std::vector<unsigned char> DecodeJpeg(const std::string& jpeg, int* width, int* height, int* components);

}  // namespace quiva::test
