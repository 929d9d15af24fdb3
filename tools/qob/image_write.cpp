#include "tools/qob/image_write.h"

#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstring>

#include <zlib.h>

namespace qob {

namespace {

struct FormatName {
    const char* name;
    OutputFormat format;
};
constexpr FormatName kFormats[] = {
    {"png", OutputFormat::png},
    {"pgm", OutputFormat::pgm},
    {"ppm", OutputFormat::ppm},
    {"pnm", OutputFormat::pnm},
};

}  // namespace

bool formatFromName(const std::string& text, OutputFormat* format) {
    std::string lower = text;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const FormatName& entry : kFormats) {
        if (lower == entry.name) {
            *format = entry.format;
            return true;
        }
    }
    return false;
}

bool formatFromExtension(const std::string& path, OutputFormat* format) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
    return formatFromName(path.substr(dot + 1), format);
}

const char* formatName(OutputFormat format) {
    for (const FormatName& entry : kFormats) {
        if (entry.format == format) return entry.name;
    }
    return "?";
}

bool formatTakes(OutputFormat format, int32_t channels, std::string* error) {
    if (format == OutputFormat::pgm && channels != 1) {
        *error = "a colour picture cannot be written as PGM (use PPM or PNG)";
        return false;
    }
    return true;
}

PictureWriter::PictureWriter(std::FILE* out, OutputFormat format, int pngLevel)
    : out_(out), format_(format), pngLevel_(pngLevel) {}

PictureWriter::~PictureWriter() {
    if (png_ != nullptr) png_destroy_write_struct(&png_, &info_);
}

// libpng leaves by longjmp on an error. The jump lands here, in a frame that outlives every
// libpng call of step and holds nothing but step, which itself holds nothing that needs
// destroying; a function that calls setjmp is never inlined, so no caller's variable lives
// across the jump either.
template <typename Step>
bool PictureWriter::landPng(Step step) {
    if (setjmp(png_jmpbuf(png_))) return false;
    step();
    return true;
}

template <typename Step>
bool PictureWriter::guardPng(Step step, std::string* error) {
    if (landPng(step)) return true;
    *error = pngMessage_.empty() ? "cannot write PNG" : pngMessage_;
    return false;
}

void PictureWriter::pngWrite(png_structp png, png_bytep data, size_t size) {
    auto* self = static_cast<PictureWriter*>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, size, self->out_) != size) {
        self->pngMessage_ = std::string("cannot write: ") + std::strerror(errno ? errno : EIO);
        png_error(png, "write failed");
    }
}

void PictureWriter::pngFlush(png_structp) {}

void PictureWriter::pngError(png_structp png, png_const_charp message) {
    auto* self = static_cast<PictureWriter*>(png_get_error_ptr(png));
    if (self->pngMessage_.empty()) self->pngMessage_ = std::string("PNG: ") + message;
    png_longjmp(png, 1);
}

void PictureWriter::pngWarning(png_structp, png_const_charp) {}

bool PictureWriter::writeBytes(const void* data, size_t size, std::string* error) {
    errno = 0;
    if (std::fwrite(data, 1, size, out_) == size) return true;
    *error = std::string("cannot write: ") + std::strerror(errno ? errno : EIO);
    return false;
}

bool PictureWriter::begin(int32_t width, int32_t height, int32_t channels, std::string* error) {
    width_ = width;
    channels_ = channels;
    if (format_ == OutputFormat::pnm)
        format_ = channels == 1 ? OutputFormat::pgm : OutputFormat::ppm;
    if (!formatTakes(format_, channels, error)) return false;
    if (format_ != OutputFormat::png) {
        expandGray_ = format_ == OutputFormat::ppm && channels == 1;
        if (expandGray_) expanded_.resize(size_t(width) * 3);
        char header[64];
        const int length = std::snprintf(header, sizeof header, "%s\n%d %d\n255\n",
                                         format_ == OutputFormat::pgm ? "P5" : "P6", width, height);
        return writeBytes(header, size_t(length), error);
    }
    if (width < 1 || height < 1) {
        *error = "an empty picture cannot be written as PNG";
        return false;
    }
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, pngError, pngWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (info_ == nullptr) {
        *error = "out of memory";
        return false;
    }
    return guardPng(
        [&] {
            png_set_write_fn(png_, this, pngWrite, pngFlush);
            png_set_IHDR(png_, info_, png_uint_32(width), png_uint_32(height), 8,
                         channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                         PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
            png_set_compression_level(png_, pngLevel_);
            if (pngLevel_ == 0) {
                png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
            } else if (pngLevel_ == 1) {
                // On photographs the SUB filter with run-length matching costs a third of the
                // adaptive filters with deflate's default matching, at files about a tenth
                // larger.
                png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
                png_set_compression_strategy(png_, Z_RLE);
            } else {
                png_set_filter(png_, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
            }
            png_write_info(png_, info_);
        },
        error);
}

bool PictureWriter::writeRow(const uint8_t* row, std::string* error) {
    if (format_ == OutputFormat::png) {
        return guardPng([&] { png_write_row(png_, row); }, error);
    }
    if (!expandGray_) return writeBytes(row, size_t(width_) * size_t(channels_), error);
    for (int32_t x = 0; x < width_; ++x) {
        std::memset(&expanded_[size_t(x) * 3], row[x], 3);
    }
    return writeBytes(expanded_.data(), expanded_.size(), error);
}

bool PictureWriter::finish(std::string* error) {
    if (format_ != OutputFormat::png) return true;
    return guardPng([&] { png_write_end(png_, nullptr); }, error);
}

}  // namespace qob
