// The QOB encoder: an 8-bit gray or R, G, B picture in memory to the bytes of a QOB file,
// together with the pixels that a decoder will produce from those bytes.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "xqob/encoder/encode_statistics.h"

namespace xqob {

constexpr int32_t kDefaultQuality = 75;

// The chroma quality used when none is given: the chroma quantiser follows the luma one, 8
// steps finer (chroma errors weigh on every colour channel), so that one setting trades
// rate for fidelity in all three planes. At the default quality 75 this is 52.
int32_t chromaQualityFor(int32_t quality);

struct SourceImage {
    const uint8_t* pixels = nullptr;  // height rows of width * channels bytes, packed
    int32_t width = 0;                // 0..65535
    int32_t height = 0;               // 0..65535
    int32_t channels = 3;             // 1: gray; 3: R, G, B
};

struct EncoderOptions {
    int32_t quality = kDefaultQuality;  // 0..100; the header keeps 100 - quality
    // 0..80; the header keeps 80 - it. Unset: chromaQualityFor(quality).
    std::optional<int32_t> chromaQuality;
    bool gray = false;  // code the luma plane only; a one-channel source is always gray
    bool fullChroma = false;
    std::optional<std::array<uint8_t, 10>> headerBlock;  // the optional 10-byte header block
    // Non-zero: every decision (quadrant kinds, modes, offsets, coded flags, levels up to the
    // caps) is drawn from this seed instead of chosen for the picture. The stream is still
    // written and reconstructed closed-loop, so it decodes to the predicted pixels; it
    // exists to reach syntax that photographs rarely use.
    uint64_t randomSeed = 0;
};

struct EncodedPicture {
    std::vector<uint8_t> file;       // header and payload
    std::vector<uint8_t> predicted;  // what the decoder outputs: height rows of width * (gray
                                     // ? 1 : 3) bytes; filled only when asked for
    EncodeStatistics statistics;
};

// Encodes image into output->file, and into output->predicted when wantPredicted is set.
// Returns false with a message in error (optional) for bad options or sizes and when memory
// runs out.
bool encodePicture(const SourceImage& image, const EncoderOptions& options, EncodedPicture* output,
                   bool wantPredicted = false, std::string* error = nullptr);

}  // namespace xqob
