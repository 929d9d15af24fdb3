// PNG through libpng: the simplified reading interface, and row-by-row writing.
#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstring>

#include "tools/qob/png_codec.h"

namespace qob {

bool decodePng(const std::vector<uint8_t>& bytes, PngPixels* pixels, std::string* error) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size())) {
        *error = std::string("bad PNG: ") + png.message;
        return false;
    }
    const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0;
    const bool alpha = (png.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    pixels->palette = (png.format & PNG_FORMAT_FLAG_COLORMAP) != 0;
    png.format = colour ? (alpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB)
                        : (alpha ? PNG_FORMAT_GA : PNG_FORMAT_GRAY);
    if (png.width < 1 || png.height < 1 || png.width > 65535 || png.height > 65535) {
        *error = "picture size " + std::to_string(png.width) + "x" + std::to_string(png.height) +
                 " outside 1..65535";
        png_image_free(&png);
        return false;
    }
    pixels->width = int32_t(png.width);
    pixels->height = int32_t(png.height);
    pixels->channels = int32_t(PNG_IMAGE_PIXEL_CHANNELS(png.format));
    pixels->samples.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, pixels->samples.data(), 0, nullptr)) {
        *error = std::string("bad PNG: ") + png.message;
        png_image_free(&png);
        return false;
    }
    return true;
}

struct PngWriter::State {
    State(std::FILE* stream, int compression) : out(stream), level(compression) {}

    std::FILE* out;
    int level;
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::string message;  // what libpng or the write function reported

    static void write(png_structp png, png_bytep data, size_t size) {
        auto* self = static_cast<State*>(png_get_io_ptr(png));
        if (std::fwrite(data, 1, size, self->out) != size) {
            self->message = std::string("cannot write: ") + std::strerror(errno ? errno : EIO);
            png_error(png, "write failed");
        }
    }
    static void flush(png_structp) {}
    [[noreturn]] static void fail(png_structp png, png_const_charp message) {
        auto* self = static_cast<State*>(png_get_error_ptr(png));
        if (self->message.empty()) self->message = std::string("PNG: ") + message;
        png_longjmp(png, 1);
    }
    static void warn(png_structp, png_const_charp) {}

    // libpng leaves by longjmp on an error. The jump lands here, in a frame that outlives
    // every libpng call of step and holds nothing but step, which itself holds nothing that
    // needs destroying; a function that calls setjmp is never inlined, so no caller's
    // variable lives across the jump either.
    template <typename Step>
    bool land(Step step) {
        if (setjmp(png_jmpbuf(png))) return false;
        step();
        return true;
    }

    template <typename Step>
    bool guard(Step step, std::string* error) {
        if (land(step)) return true;
        *error = message.empty() ? "cannot write PNG" : message;
        return false;
    }
};

PngWriter::PngWriter(std::FILE* out, int level) : state_(std::make_unique<State>(out, level)) {}

PngWriter::~PngWriter() {
    if (state_->png != nullptr) png_destroy_write_struct(&state_->png, &state_->info);
}

bool PngWriter::begin(int32_t width, int32_t height, int32_t channels, std::string* error) {
    State& s = *state_;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &s, State::fail, State::warn);
    if (s.png != nullptr) s.info = png_create_info_struct(s.png);
    if (s.info == nullptr) {
        *error = "out of memory";
        return false;
    }
    return s.guard(
        [&] {
            png_set_write_fn(s.png, &s, State::write, State::flush);
            png_set_IHDR(s.png, s.info, png_uint_32(width), png_uint_32(height), 8,
                         channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_set_compression_level(s.png, s.level);
            if (s.level == 0) {
                png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
            } else if (s.level == 1) {
                // On photographs the SUB filter with run-length matching costs a third of the
                // adaptive filters with deflate's default matching, at files about a tenth
                // larger.
                png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
                png_set_compression_strategy(s.png, Z_RLE);
            } else {
                png_set_filter(s.png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
            }
            png_write_info(s.png, s.info);
        },
        error);
}

bool PngWriter::writeRow(const uint8_t* row, std::string* error) {
    return state_->guard([&] { png_write_row(state_->png, row); }, error);
}

bool PngWriter::finish(std::string* error) {
    return state_->guard([&] { png_write_end(state_->png, nullptr); }, error);
}

}  // namespace qob
