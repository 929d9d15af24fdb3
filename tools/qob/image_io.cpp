#include "tools/qob/image_io.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qob {

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// The netpbm header: magic, width, height, maximum value, each separated by white space
// and comments, then exactly one white-space byte before the samples.
struct PnmReader {
    const std::vector<uint8_t>& bytes;
    size_t at = 2;

    void skipSpace() {
        while (at < bytes.size()) {
            if (bytes[at] == '#') {
                while (at < bytes.size() && bytes[at] != '\n') ++at;
            } else if (std::strchr(" \t\r\n\v\f", bytes[at]) != nullptr && bytes[at] != 0) {
                ++at;
            } else {
                return;
            }
        }
    }

    bool number(int64_t* value) {
        skipSpace();
        if (at >= bytes.size() || bytes[at] < '0' || bytes[at] > '9') return false;
        *value = 0;
        while (at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9') {
            *value = *value * 10 + (bytes[at++] - '0');
            if (*value > 1000000000) return false;
        }
        return true;
    }
};

bool readPnm(const std::vector<uint8_t>& bytes, RasterImage* image, std::string* error) {
    const int32_t channels = bytes[1] == '5' ? 1 : 3;
    PnmReader reader{bytes};
    int64_t width;
    int64_t height;
    int64_t maximum;
    if (!reader.number(&width) || !reader.number(&height) || !reader.number(&maximum) ||
        reader.at >= bytes.size()) {
        *error = "malformed PNM header";
        return false;
    }
    ++reader.at;  // the single white-space byte
    if (width < 1 || height < 1 || width > 65535 || height > 65535) {
        *error = "picture size " + std::to_string(width) + "x" + std::to_string(height) +
                 " outside 1..65535";
        return false;
    }
    if (maximum < 1 || maximum > 65535) {
        *error = "PNM maximum value " + std::to_string(maximum) + " outside 1..65535";
        return false;
    }
    const size_t sampleBytes = maximum > 255 ? 2 : 1;
    const size_t samples = size_t(width) * size_t(height) * size_t(channels);
    if (bytes.size() - reader.at < samples * sampleBytes) {
        *error = "PNM file ends inside its samples";
        return false;
    }
    image->width = int32_t(width);
    image->height = int32_t(height);
    image->channels = channels;
    image->pixels.resize(samples);
    const uint8_t* in = bytes.data() + reader.at;
    for (size_t i = 0; i < samples; ++i) {
        // Samples big-endian when they need two bytes; scaled to 0..255, rounded.
        const int64_t value = sampleBytes == 2 ? (in[2 * i] << 8) | in[2 * i + 1] : in[i];
        image->pixels[i] = uint8_t((std::min(value, maximum) * 255 + maximum / 2) / maximum);
    }
    return true;
}

bool readPng(const std::vector<uint8_t>& bytes, RasterImage* image, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        *error = std::string("bad PNG: ") + png.message;
        return false;
    }
    const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
    png.format = colour ? PNG_FORMAT_RGB : PNG_FORMAT_GRAY;
    if (png.width < 1 || png.height < 1 || png.width > 65535 || png.height > 65535) {
        *error = "picture size " + std::to_string(png.width) + "x" + std::to_string(png.height) +
                 " outside 1..65535";
        png_image_free(&png);
        return false;
    }
    image->width = int32_t(png.width);
    image->height = int32_t(png.height);
    image->channels = colour ? 3 : 1;
    image->pixels.resize(PNG_IMAGE_SIZE(png));
    const png_color black{0, 0, 0};
    if (!png_image_finish_read(&png, &black, image->pixels.data(), 0, nullptr)) {
        *error = std::string("bad PNG: ") + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

}  // namespace

bool readImageBytes(const std::vector<uint8_t>& bytes, RasterImage* image, std::string* error) {
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) {
        return readPng(bytes, image, error);
    }
    if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '5' || bytes[1] == '6')) {
        return readPnm(bytes, image, error);
    }
    *error = "not a PNG, binary PGM or binary PPM file";
    return false;
}

bool readImage(const std::string& path, RasterImage* image, std::string* error) {
    std::vector<uint8_t> bytes;
    return readFileBytes(path, &bytes, error) && readImageBytes(bytes, image, error);
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    bytes->clear();
    uint8_t block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) {
        bytes->insert(bytes->end(), block, block + got);
    }
    const bool failed = std::ferror(file) != 0;
    if (failed) *error = std::strerror(errno);
    std::fclose(file);
    return !failed;
}

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes,
                    std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) *error = std::strerror(written ? errno : savedErrno);
    return written && closed;
}

}  // namespace qob
