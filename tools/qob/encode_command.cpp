// qob encode: a PNG, PGM or PPM picture to a QOB file, and what the encoder decided.
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/qob/commands.h"
#include "tools/qob/image_io.h"
#include "tools/qob/input_file.h"
#include "tools/qob/output_file.h"
#include "xqob/encoder/encode_picture.h"
#include "xqob/encoder/source_planes.h"

namespace qob {

namespace {

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
void printFidelity(std::FILE* out, const RasterImage& image, const xqob::EncodedPicture& encoded,
                   bool gray) {
    const int32_t channels = gray ? 1 : 3;
    xqob::Image decodedImage;
    if (xqob::decodeMemory(encoded.file, decodedImage)) {
        std::fprintf(out, "the file does not decode\n");
        return;
    }
    const uint8_t* decoded = decodedImage.data();
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
    std::fprintf(out, "PSNR Y %.2f dB", psnrOf(lumaError, double(pixels)));
    if (channels == 3 && image.channels == 3) {
        std::fprintf(out, ", RGB %.2f dB", psnrOf(colourError, 3.0 * double(pixels)));
    }
    std::fprintf(out, "\n");
}

void printStatistics(std::FILE* out, const RasterImage& image, const xqob::EncodedPicture& encoded,
                     bool gray, double seconds) {
    const xqob::EncodeStatistics& s = encoded.statistics;
    const double pixels = double(image.width) * double(image.height);
    const int64_t quadrants = s.quadrants[0] + s.quadrants[1] + s.quadrants[2] + s.quadrants[3];
    const int64_t chroma = s.chromaBlocks[0] + s.chromaBlocks[1];
    std::fprintf(out, "size %dx%d, %zu bytes, %.4f bits per pixel\n", image.width, image.height,
                 encoded.file.size(), 8.0 * double(encoded.file.size()) / pixels);
    std::fprintf(out, "payload bits: luma %lld, chroma %lld\n", static_cast<long long>(s.lumaBits),
                 static_cast<long long>(s.chromaBits));
    std::fprintf(out,
                 "quadrants: Intra4x4 %.1f%%, Intra8x8 %.1f%%, Intra8x8Weighted %.1f%%, "
                 "Flat %.1f%%\n",
                 share(s.quadrants[0], quadrants), share(s.quadrants[1], quadrants),
                 share(s.quadrants[2], quadrants), share(s.quadrants[3], quadrants));
    std::fprintf(out, "chroma blocks: Intra8x8 %.1f%%, Flat %.1f%%\n",
                 share(s.chromaBlocks[0], chroma), share(s.chromaBlocks[1], chroma));
    printFidelity(out, image, encoded, gray);
    std::fprintf(out, "encode time %.3f s, %.2f megapixels per second\n", seconds,
                 seconds > 0 ? pixels / seconds / 1e6 : 0.0);
}

}  // namespace

int runEncode(const EncodeSettings& settings) {
    Rgb background;
    if (!parseColour(settings.background, &background)) {
        return reportUsage(
            "--background takes white, black or #RRGGBB, not '" + settings.background + "'",
            "encode");
    }
    if (const int status = checkOutputsDistinct("encode", {settings.input}, {settings.output});
        status != kExitOk) {
        return status;
    }
    const std::string input = displayName(settings.input);
    RasterImage image;
    std::string error;
    {
        std::vector<uint8_t> bytes;
        if (!readInput(settings.input, &bytes, &error) ||
            !readImageBytes(bytes, background, &image, &error)) {
            return reportFileFailure(input, error);
        }
    }
    if (image.composited) {
        std::fprintf(stderr,
                     "qob: %s: transparent pixels composited over #%02x%02x%02x "
                     "(--background chooses the colour)\n",
                     input.c_str(), background.r, background.g, background.b);
    }
    const xqob::SourceImage source{image.pixels.data(), image.width, image.height, image.channels};
    xqob::EncodedPicture encoded;
    const auto start = std::chrono::steady_clock::now();
    if (!xqob::encodePicture(source, settings.options, &encoded, false, &error)) {
        return reportFileFailure(input, error);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    OutputFile output;
    if (!output.open(settings.output, &error) ||
        std::fwrite(encoded.file.data(), 1, encoded.file.size(), output.stream()) !=
            encoded.file.size() ||
        !output.commit(&error)) {
        if (error.empty())
            error = std::string("cannot write: ") + std::strerror(errno ? errno : EIO);
        return reportFileFailure(displayName(settings.output, true), error);
    }
    if (settings.stats) {
        // Beside the picture on standard output, the figures go to standard error.
        printStatistics(settings.output == "-" ? stderr : stdout, image, encoded,
                        settings.options.gray || image.channels == 1, elapsed.count());
    }
    return kExitOk;
}

}  // namespace qob
