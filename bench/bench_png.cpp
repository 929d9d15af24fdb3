#include "bench/bench_png.h"

#include <png.h>

#include <cstdio>

namespace bench {

// Any PNG to 8-bit R, G, B: palette and gray expanded, alpha dropped, 16-bit reduced.
bool loadPng(const std::string& path, Picture* picture) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_set_expand(png);
        png_set_strip_16(png);
        png_set_strip_alpha(png);
        png_set_gray_to_rgb(png);
        png_read_update_info(png, info);
        picture->width = static_cast<int>(png_get_image_width(png, info));
        picture->height = static_cast<int>(png_get_image_height(png, info));
        picture->rgb.assign(size_t(picture->width) * size_t(picture->height) * 3, 0);
        std::vector<png_bytep> rows(size_t(picture->height));
        for (int y = 0; y < picture->height; ++y)
            rows[size_t(y)] = picture->rgb.data() + size_t(y) * size_t(picture->width) * 3;
        png_read_image(png, rows.data());
        ok = png_get_channels(png, info) == 3;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return ok;
}

}  // namespace bench
