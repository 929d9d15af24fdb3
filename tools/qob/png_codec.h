// PNG for the qob tool behind one interface: libpng (png_libpng.cpp) on Linux, the Windows
// Imaging Component (windows/png_wic.cpp) on Windows, where it is part of the system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qob {

// A decoded PNG: 8-bit samples in packed rows, top row first. channels 1 gray, 2 gray and
// alpha, 3 R, G, B, 4 R, G, B, A. 16-bit samples are reduced to 8 bits and palettes expanded.
struct PngPixels {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    bool palette = false;  // the file stores a palette
    std::vector<uint8_t> samples;
};

// Pictures beyond 1..65535 on a side are refused before their samples are read, with the
// message "picture size WxH outside 1..65535". On failure returns false with a message.
bool decodePng(const std::vector<uint8_t>& bytes, PngPixels* pixels, std::string* error);

// One picture to an open stream: begin(), every row top to bottom, finish(). level is the
// compression, 0 (stored) to 9 (smallest). On failure the stream holds a partial file for
// the caller to discard.
class PngWriter {
public:
    PngWriter(std::FILE* out, int level);
    PngWriter(const PngWriter&) = delete;
    PngWriter& operator=(const PngWriter&) = delete;
    ~PngWriter();

    bool begin(int32_t width, int32_t height, int32_t channels, std::string* error);
    bool writeRow(const uint8_t* row, std::string* error);
    bool finish(std::string* error);

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace qob
