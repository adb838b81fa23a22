// Microsoft Video 1, 16-bit: an encoder that writes every frame as intra blocks (one- and
// two-colour 4x4 blocks) and a decoder for all block kinds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quiva::media {

// Encodes 32-bit bottom-up rows. The picture is coded in whole 4x4 blocks, as decoders read
// it: columns and rows beyond the last whole block are not coded. `quality` 0..10000 sets how far a block may
// stray from its two colours before it is split into four pairs.
void EncodeMsVideo1(const uint8_t* rgb32, int width, int height, int quality, std::vector<uint8_t>* out);
// Decodes one frame into 32-bit bottom-up rows. `previous` (same size, may be null) supplies the
// skipped blocks. False for data that ends early.
bool DecodeMsVideo1(const uint8_t* data, size_t size, int width, int height, std::vector<uint8_t>* rgb32,
                    const std::vector<uint8_t>* previous = nullptr);

}  // namespace quiva::media
