// qob encode IN -o OUT.qob [-q N] [--chroma-quality N] [--gray] [--full-chroma] [--stats]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>

#include "xqob/encoder/encode_picture.h"
#include "xqob/encoder/source_planes.h"
#include "tools/qob/commands.h"
#include "tools/qob/image_io.h"
#include "xqob/decoder/decode_picture.h"

namespace qob {

namespace {

struct EncodeArguments {
    std::string input;
    std::string output;
    xqob::EncoderOptions options;
    bool stats = false;
};

// Returns kExitOk when the arguments are complete, else the usage status (already reported).
int parseArguments(int argc, char** argv, EncodeArguments* arguments) {
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "-o" || argument == "-q" || argument == "--chroma-quality") {
            if (!hasValue) return reportUsage(argument + " needs a value");
            const char* value = argv[++i];
            if (argument == "-o") {
                arguments->output = value;
            } else if (argument == "-q") {
                if (!parseInteger(argument, value, 0, 100, &arguments->options.quality)) {
                    return kExitUsage;
                }
            } else {
                int chromaQuality;
                if (!parseInteger(argument, value, 0, 80, &chromaQuality)) return kExitUsage;
                arguments->options.chromaQuality = chromaQuality;
            }
        } else if (argument == "--gray") {
            arguments->options.gray = true;
        } else if (argument == "--full-chroma") {
            arguments->options.fullChroma = true;
        } else if (argument == "--stats") {
            arguments->stats = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            return reportUsage("unknown option '" + argument + "'");
        } else if (!arguments->input.empty()) {
            return reportUsage("more than one input file: '" + arguments->input + "' and '" +
                               argument + "'");
        } else {
            arguments->input = argument;
        }
    }
    if (arguments->input.empty()) return reportUsage("encode needs an input file");
    if (arguments->output.empty()) return reportUsage("encode needs -o OUT.qob");
    return kExitOk;
}

double share(int64_t part, int64_t whole) {
    return whole > 0 ? 100.0 * double(part) / double(whole) : 0.0;
}

double psnrOf(double squaredError, double samples) {
    return squaredError > 0 ? 10.0 * std::log10(255.0 * 255.0 * samples / squaredError) : 99.0;
}

uint8_t lumaOf(const uint8_t* pixel, int32_t channels) {
    if (channels == 1) return pixel[0];
    uint8_t y, cb, cr;
    xqob::rgbToYCbCr(pixel[0], pixel[1], pixel[2], &y, &cb, &cr);
    return y;
}

// Decodes the file again and compares it with the source: the luma PSNR, and the R, G, B
// PSNR when both are colour.
void printFidelity(const RasterImage& image, const xqob::EncodedPicture& encoded, bool gray) {
    const int32_t channels = gray ? 1 : 3;
    std::vector<uint8_t> decoded(image.pixels.size() / size_t(image.channels) * size_t(channels));
    xqob::DecodeRequest request;
    request.data = encoded.file.data();
    request.size = encoded.file.size();
    if (xqob::decodePicture(request, decoded.data()) != 0) {
        std::printf("the file does not decode\n");
        return;
    }
    double lumaError = 0;
    double colourError = 0;
    const size_t pixels = size_t(image.width) * size_t(image.height);
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* source = &image.pixels[i * size_t(image.channels)];
        const uint8_t* output = &decoded[i * size_t(channels)];
        const double dy = double(lumaOf(source, image.channels)) - lumaOf(output, channels);
        lumaError += dy * dy;
        for (int32_t c = 0; c < 3 && channels == 3 && image.channels == 3; ++c) {
            const double d = double(source[c]) - output[c];
            colourError += d * d;
        }
    }
    std::printf("PSNR Y %.2f dB", psnrOf(lumaError, double(pixels)));
    if (channels == 3 && image.channels == 3) {
        std::printf(", RGB %.2f dB", psnrOf(colourError, 3.0 * double(pixels)));
    }
    std::printf("\n");
}

void printStatistics(const RasterImage& image, const xqob::EncodedPicture& encoded, bool gray,
                     double seconds) {
    const xqob::EncodeStatistics& s = encoded.statistics;
    const double pixels = double(image.width) * double(image.height);
    const int64_t quadrants = s.quadrants[0] + s.quadrants[1] + s.quadrants[2] + s.quadrants[3];
    const int64_t chroma = s.chromaBlocks[0] + s.chromaBlocks[1];
    std::printf("size %dx%d, %zu bytes, %.4f bits per pixel\n", image.width, image.height,
                encoded.file.size(), 8.0 * double(encoded.file.size()) / pixels);
    std::printf("payload bits: luma %lld, chroma %lld\n", static_cast<long long>(s.lumaBits),
                static_cast<long long>(s.chromaBits));
    std::printf(
        "quadrants: Intra4x4 %.1f%%, Intra8x8 %.1f%%, Intra8x8Weighted %.1f%%, "
        "Flat %.1f%%\n",
        share(s.quadrants[0], quadrants), share(s.quadrants[1], quadrants),
        share(s.quadrants[2], quadrants), share(s.quadrants[3], quadrants));
    std::printf("chroma blocks: Intra8x8 %.1f%%, Flat %.1f%%\n", share(s.chromaBlocks[0], chroma),
                share(s.chromaBlocks[1], chroma));
    printFidelity(image, encoded, gray);
    std::printf("encode time %.3f s, %.2f megapixels per second\n", seconds,
                seconds > 0 ? pixels / seconds / 1e6 : 0.0);
}

}  // namespace

int runEncode(int argc, char** argv) {
    EncodeArguments arguments;
    if (const int status = parseArguments(argc, argv, &arguments); status != kExitOk) {
        return status;
    }
    RasterImage image;
    std::string error;
    if (!readImage(arguments.input, &image, &error)) {
        return reportFileFailure(arguments.input, error);
    }
    const xqob::SourceImage source{image.pixels.data(), image.width, image.height, image.channels};
    xqob::EncodedPicture encoded;
    const auto start = std::chrono::steady_clock::now();
    if (!xqob::encodePicture(source, arguments.options, &encoded, false, &error)) {
        return reportFileFailure(arguments.input, error);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    if (!writeFileBytes(arguments.output, encoded.file, &error)) {
        return reportFileFailure(arguments.output, error);
    }
    if (arguments.stats)
        printStatistics(image, encoded, arguments.options.gray || image.channels == 1,
                        elapsed.count());
    return kExitOk;
}

}  // namespace qob
