#include "tests/support/png_bytes.h"

#include <algorithm>
#include <string>

namespace xqob::test {

namespace {

uint32_t crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int32_t bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBig32(std::vector<uint8_t>* out, uint32_t value) {
    for (int32_t shift = 24; shift >= 0; shift -= 8) out->push_back(uint8_t(value >> shift));
}

void putChunk(std::vector<uint8_t>* out, const char* type, const std::vector<uint8_t>& data) {
    putBig32(out, uint32_t(data.size()));
    std::vector<uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out->insert(out->end(), typed.begin(), typed.end());
    putBig32(out, crc32(typed.data(), typed.size()));
}

// A zlib stream of stored blocks of at most 65535 bytes.
std::vector<uint8_t> storedZlib(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out = {0x78, 0x01};
    size_t at = 0;
    do {
        const size_t length = std::min<size_t>(65535, raw.size() - at);
        out.push_back(at + length == raw.size() ? 1 : 0);
        out.push_back(uint8_t(length));
        out.push_back(uint8_t(length >> 8));
        out.push_back(uint8_t(~length));
        out.push_back(uint8_t(~length >> 8));
        out.insert(out.end(), raw.begin() + long(at), raw.begin() + long(at + length));
        at += length;
    } while (at < raw.size());
    uint32_t a = 1;
    uint32_t b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(&out, (b << 16) | a);
    return out;
}

}  // namespace

std::vector<uint8_t> pngBytes(int32_t width, int32_t height, int32_t colourType,
                              const std::vector<uint8_t>& pixels) {
    const int32_t channels = colourType == 0 ? 1 : colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBig32(&header, uint32_t(width));
    putBig32(&header, uint32_t(height));
    header.insert(header.end(), {8, uint8_t(colourType), 0, 0, 0});
    putChunk(&out, "IHDR", header);
    std::vector<uint8_t> raw;
    const size_t row = size_t(width) * size_t(channels);
    for (int32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter type None
        raw.insert(raw.end(), pixels.begin() + long(size_t(y) * row),
                   pixels.begin() + long(size_t(y + 1) * row));
    }
    putChunk(&out, "IDAT", storedZlib(raw));
    putChunk(&out, "IEND", {});
    return out;
}

std::vector<uint8_t> pnmBytes(int32_t width, int32_t height, int32_t channels,
                              const std::vector<uint8_t>& pixels) {
    const std::string header = std::string(channels == 1 ? "P5" : "P6") + "\n# test\n" +
                               std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

}  // namespace xqob::test
