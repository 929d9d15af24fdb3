#include "tools/qob/image_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/qob/png_codec.h"

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

// Blends the alpha channel (the last of channels) into background and drops it. Gray
// pixels over a colour background become colour only when something shows through.
void composite(const std::vector<uint8_t>& withAlpha, int32_t channels, const Rgb& background,
               RasterImage* image) {
    const size_t pixels = size_t(image->width) * size_t(image->height);
    const bool grayBackground = background.r == background.g && background.g == background.b;
    bool translucent = false;
    for (size_t i = 0; i < pixels && !translucent; ++i) {
        translucent = withAlpha[i * size_t(channels) + size_t(channels) - 1] != 255;
    }
    image->composited = translucent;
    image->channels = channels == 2 && (grayBackground || !translucent) ? 1 : 3;
    image->pixels.resize(pixels * size_t(image->channels));
    const uint8_t back[3] = {background.r, background.g, background.b};
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* in = &withAlpha[i * size_t(channels)];
        const uint32_t alpha = in[channels - 1];
        for (int32_t c = 0; c < image->channels; ++c) {
            const uint32_t sample = in[channels == 2 ? 0 : c];
            // Rounded to nearest: 0..255 * 255 + 127 stays far inside 32 bits.
            image->pixels[i * size_t(image->channels) + size_t(c)] =
                uint8_t((sample * alpha + back[c] * (255 - alpha) + 127) / 255);
        }
    }
}

// A palette picture whose colours are all gray is a gray picture.
void grayFromPalette(RasterImage* image) {
    const size_t pixels = size_t(image->width) * size_t(image->height);
    const uint8_t* rgb = image->pixels.data();
    for (size_t i = 0; i < pixels; ++i) {
        if (rgb[3 * i] != rgb[3 * i + 1] || rgb[3 * i] != rgb[3 * i + 2]) return;
    }
    for (size_t i = 0; i < pixels; ++i) image->pixels[i] = rgb[3 * i];
    image->pixels.resize(pixels);
    image->channels = 1;
}

bool readPng(const std::vector<uint8_t>& bytes, const Rgb& background, RasterImage* image,
             std::string* error) {
    PngPixels png;
    if (!decodePng(bytes, &png, error)) return false;
    image->width = png.width;
    image->height = png.height;
    image->channels = png.channels;
    if (png.channels == 2 || png.channels == 4) {
        composite(png.samples, png.channels, background, image);
    } else {
        image->pixels = std::move(png.samples);
    }
    if (png.palette && image->channels == 3) grayFromPalette(image);
    return true;
}

}  // namespace

bool parseColour(const std::string& text, Rgb* colour) {
    if (text == "white") {
        *colour = Rgb{255, 255, 255};
        return true;
    }
    if (text == "black") {
        *colour = Rgb{0, 0, 0};
        return true;
    }
    const std::string hex = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (hex.size() != 6 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        return false;
    }
    const unsigned long value = std::strtoul(hex.c_str(), nullptr, 16);
    *colour = Rgb{uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
    return true;
}

bool readImageBytes(const std::vector<uint8_t>& bytes, const Rgb& background, RasterImage* image,
                    std::string* error) {
    if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPngSignature, 8) == 0) {
        return readPng(bytes, background, image, error);
    }
    if (bytes.size() >= 2 && bytes[0] == 'P' && (bytes[1] == '5' || bytes[1] == '6')) {
        return readPnm(bytes, image, error);
    }
    if (bytes.empty()) {
        *error = "empty file";
        return false;
    }
    *error = "not a PNG, binary PGM or binary PPM file";
    return false;
}

}  // namespace qob
