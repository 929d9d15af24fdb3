#include "tools/qob/image_write.h"

#include <cctype>
#include <cerrno>
#include <cstring>

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

PictureWriter::~PictureWriter() = default;

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
    png_ = std::make_unique<PngWriter>(out_, pngLevel_);
    return png_->begin(width, height, channels, error);
}

bool PictureWriter::writeRow(const uint8_t* row, std::string* error) {
    if (format_ == OutputFormat::png) {
        return png_->writeRow(row, error);
    }
    if (!expandGray_) return writeBytes(row, size_t(width_) * size_t(channels_), error);
    for (int32_t x = 0; x < width_; ++x) {
        std::memset(&expanded_[size_t(x) * 3], row[x], 3);
    }
    return writeBytes(expanded_.data(), expanded_.size(), error);
}

bool PictureWriter::finish(std::string* error) {
    if (format_ != OutputFormat::png) return true;
    return png_->finish(error);
}

}  // namespace qob
