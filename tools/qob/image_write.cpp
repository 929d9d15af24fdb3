#include "tools/qob/image_write.h"

#include <png.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace qob {

bool formatFromExtension(const std::string& path, OutputFormat* format) {
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos) return false;
    std::string extension = path.substr(dot + 1);
    for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (extension == "png")
        *format = OutputFormat::png;
    else if (extension == "pgm")
        *format = OutputFormat::pgm;
    else if (extension == "ppm")
        *format = OutputFormat::ppm;
    else if (extension == "pnm")
        *format = OutputFormat::pnm;
    else
        return false;
    return true;
}

bool writePnm(std::FILE* out, const xqob::Image& image) {
    std::fprintf(out, "%s\n%d %d\n255\n", image.channels == 1 ? "P5" : "P6", image.width,
                 image.height);
    return std::fwrite(image.pixels.data(), 1, image.pixels.size(), out) == image.pixels.size();
}

namespace {

xqob::Image expandToRgb(const xqob::Image& gray) {
    xqob::Image rgb;
    rgb.width = gray.width;
    rgb.height = gray.height;
    rgb.channels = 3;
    rgb.pixels.resize(gray.pixels.size() * 3);
    for (size_t i = 0; i < gray.pixels.size(); ++i) {
        rgb.pixels[3 * i] = rgb.pixels[3 * i + 1] = rgb.pixels[3 * i + 2] = gray.pixels[i];
    }
    return rgb;
}

// libpng reports errors by longjmp; nothing here owns resources that the jump would skip
// except what the caller frees afterwards.
bool writePngStream(std::FILE* out, const xqob::Image& image) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8,
                 image.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = size_t(image.width) * size_t(image.channels);
    for (int32_t r = 0; r < image.height; ++r) {
        png_write_row(png, image.pixels.data() + size_t(r) * stride);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool writeImage(const std::string& path, OutputFormat format, const xqob::Image& image,
                std::string* error) {
    if (format == OutputFormat::pgm && image.channels != 1) {
        *error = "a colour picture cannot be written as PGM (use .ppm or .png)";
        return false;
    }
    if (format == OutputFormat::ppm && image.channels == 1) {
        return writeImage(path, format, expandToRgb(image), error);
    }
    if (format == OutputFormat::png && (image.width == 0 || image.height == 0)) {
        *error = "an empty picture cannot be written as PNG";
        return false;
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        *error = std::string("cannot write: ") + std::strerror(errno);
        return false;
    }
    bool written = format == OutputFormat::png ? writePngStream(out, image) : writePnm(out, image);
    const int savedErrno = errno;
    if (std::fclose(out) != 0) written = false;
    if (!written) {
        *error = std::string("cannot write: ") +
                 (savedErrno != 0 ? std::strerror(savedErrno) : "write failed");
        std::remove(path.c_str());
    }
    return written;
}

}  // namespace qob
