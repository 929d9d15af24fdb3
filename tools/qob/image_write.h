// Writing decoded pictures row by row: PNG (png_codec.h), binary PGM and PPM by hand.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/qob/png_codec.h"

namespace qob {

enum class OutputFormat { png, pgm, ppm, pnm };

// The format named by text ("png", "pgm", "ppm", "pnm", any case); false for anything else.
bool formatFromName(const std::string& text, OutputFormat* format);

// The format that the extension of path names; false when it names none of them.
bool formatFromExtension(const std::string& path, OutputFormat* format);

const char* formatName(OutputFormat format);

// Whether a picture of channels (1 gray, 3 R, G, B) can be written in format: false, with the
// reason in error, for a colour picture as PGM. Decided from the header alone, so that a
// refused picture is neither decoded nor given a file.
bool formatTakes(OutputFormat format, int32_t channels, std::string* error);

// Compression of PNG output: 0 stores, 1 (the default) is fast, 2..9 choose every filter and
// zlib's level, 9 making the smallest files, slowly.
constexpr int kDefaultPngLevel = 1;

// One picture to an open stream: begin(), then every row top to bottom, then finish(). A
// failure at any step leaves the stream to the caller to discard; the message goes to error.
class PictureWriter {
public:
    PictureWriter(std::FILE* out, OutputFormat format, int pngLevel = kDefaultPngLevel);
    PictureWriter(const PictureWriter&) = delete;
    PictureWriter& operator=(const PictureWriter&) = delete;
    ~PictureWriter();

    // channels 1 (gray) or 3 (R, G, B). PNM becomes PGM or PPM by channels; PPM of a gray
    // picture repeats each sample three times; PGM of a colour picture is refused.
    bool begin(int32_t width, int32_t height, int32_t channels, std::string* error);
    bool writeRow(const uint8_t* row, std::string* error);
    bool finish(std::string* error);

private:
    bool writeBytes(const void* data, size_t size, std::string* error);

    std::FILE* out_;
    OutputFormat format_;
    int pngLevel_;
    int32_t width_ = 0;
    int32_t channels_ = 0;
    bool expandGray_ = false;
    std::vector<uint8_t> expanded_;
    std::unique_ptr<PngWriter> png_;
};

}  // namespace qob
