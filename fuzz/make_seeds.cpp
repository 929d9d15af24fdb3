// Writes a seed corpus made by our encoder into a folder: small synthetic pictures of every
// kind, at several qualities, and random-decision streams that reach syntax photographs
// rarely use.
#include <cstdio>
#include <string>

#include "xqob/encoder/encode_picture.h"

namespace {

std::vector<uint8_t> pattern(int width, int height, int channels, int kind) {
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * size_t(channels));
    uint32_t noise = 12345u + uint32_t(kind);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < channels; ++c) {
                noise = noise * 1664525u + 1013904223u;
                int value = kind == 0   ? (x * 255) / (width > 1 ? width - 1 : 1)
                            : kind == 1 ? ((x / 4 + y / 4) % 2) * 255
                                        : int(noise >> 24);
                pixels[(size_t(y) * size_t(width) + size_t(x)) * size_t(channels) + size_t(c)] =
                    uint8_t((value + c * 60) & 255);
            }
        }
    }
    return pixels;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    int count = 0;
    const int sizes[][2] = {{1, 1}, {17, 1}, {16, 16}, {33, 20}, {48, 32}};
    for (const auto& size : sizes) {
        for (int variant = 0; variant < 8; ++variant) {
            const int channels = variant % 4 == 3 ? 1 : 3;
            const std::vector<uint8_t> pixels = pattern(size[0], size[1], channels, variant % 3);
            xqob::SourceImage image{pixels.data(), size[0], size[1], channels};
            xqob::EncoderOptions options;
            options.quality = 10 + variant * 12;
            options.fullChroma = variant % 2 == 1;
            options.randomSeed = variant >= 6 ? uint64_t(variant * 1000 + size[0]) : 0;
            if (variant == 5) options.headerBlock = std::array<uint8_t, 10>{};
            xqob::EncodedPicture encoded;
            if (!xqob::encodePicture(image, options, &encoded)) continue;
            const std::string path = folder + "/seed-" + std::to_string(count++) + ".qob";
            std::FILE* out = std::fopen(path.c_str(), "wb");
            if (out == nullptr) return 1;
            std::fwrite(encoded.file.data(), 1, encoded.file.size(), out);
            std::fclose(out);
        }
    }
    std::printf("%d seeds in %s\n", count, folder.c_str());
    return 0;
}
