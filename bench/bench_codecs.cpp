#include "bench/bench_codecs.h"

#include <jpeglib.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xqob/xqob.hpp"

namespace bench {

namespace {

bool encodeQobAs(const Picture& picture, int quality, bool gray, std::vector<uint8_t>* file) {
    xqob::EncodeOptions options;
    options.quality = quality;
    options.gray = gray;
    return !xqob::encode(xqob::ImageView{picture.rgb.data(), picture.width, picture.height},
                         options, *file);
}

}  // namespace

bool encodeQob(const Picture& picture, int quality, std::vector<uint8_t>* file) {
    return encodeQobAs(picture, quality, false, file);
}

// The photo's luma alone, as a gray picture.
bool encodeQobGray(const Picture& picture, int quality, std::vector<uint8_t>* file) {
    return encodeQobAs(picture, quality, true, file);
}

// Into rgb, the caller's buffer, as R, G, B rows.
namespace {

bool decodeQobOn(int32_t threads, const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb) {
    xqob::Image image;
    image.format = xqob::Format::rgb;
    image.buffer = *rgb;
    xqob::DecodeOptions options;
    options.threads = threads;
    return !xqob::decodeMemory(file, image, options);
}

}  // namespace

bool decodeQob(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb) {
    return decodeQobOn(1, file, rgb);
}

bool decodeQobTwoThreads(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb) {
    return decodeQobOn(2, file, rgb);
}

bool encodeWebp(const Picture& picture, int quality, std::vector<uint8_t>* file) {
    uint8_t* output = nullptr;
    const size_t size = WebPEncodeRGB(picture.rgb.data(), picture.width, picture.height,
                                      picture.width * 3, float(quality), &output);
    if (size == 0) return false;
    file->assign(output, output + size);
    WebPFree(output);
    return true;
}

bool decodeWebp(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb) {
    int width = 0;
    int height = 0;
    uint8_t* pixels = WebPDecodeRGB(file.data(), file.size(), &width, &height);
    if (pixels == nullptr) return false;
    const size_t size = size_t(width) * size_t(height) * 3;
    if (rgb->size() >= size) rgb->front() = pixels[0];  // touch the result, as a caller would
    WebPFree(pixels);
    return true;
}

bool decodeWebpThreaded(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb) {
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return false;
    config.options.use_threads = 1;
    config.output.colorspace = MODE_RGB;
    if (WebPDecode(file.data(), file.size(), &config) != VP8_STATUS_OK) return false;
    const size_t size = size_t(config.output.width) * size_t(config.output.height) * 3;
    if (rgb->size() >= size) rgb->front() = config.output.u.RGBA.rgba[0];
    WebPFreeDecBuffer(&config.output);
    return true;
}

bool encodeJpeg(const Picture& picture, int quality, std::vector<uint8_t>* file) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(picture.width);
    cinfo.image_height = JDIMENSION(picture.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.arith_code = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(picture.rgb.data() + size_t(cinfo.next_scanline) *
                                                                     size_t(picture.width) * 3);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    file->assign(buffer, buffer + size);
    std::free(buffer);
    return size > 0;
}

bool decodeJpeg(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = size_t(cinfo.output_width) * 3;
    const bool fits = rgb->size() >= stride * cinfo.output_height;
    while (fits && cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb->data() + size_t(cinfo.output_scanline) * stride;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    if (fits) jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return fits;
}

int matchSize(Encoder encoder, const Picture& picture, size_t targetBytes,
              std::vector<uint8_t>* file) {
    int lowQuality = 1;
    int highQuality = 100;
    // The smallest quality whose file reaches the target, then the better of it and the one
    // below.
    while (lowQuality < highQuality) {
        const int middle = (lowQuality + highQuality) / 2;
        encoder(picture, middle, file);
        if (file->size() >= targetBytes) {
            highQuality = middle;
        } else {
            lowQuality = middle + 1;
        }
    }
    std::vector<uint8_t> above;
    encoder(picture, lowQuality, &above);
    if (lowQuality > 1) {
        encoder(picture, lowQuality - 1, file);
        const auto distance = [&](size_t size) {
            return size > targetBytes ? size - targetBytes : targetBytes - size;
        };
        if (distance(file->size()) < distance(above.size())) return lowQuality - 1;
    }
    file->swap(above);
    return lowQuality;
}

}  // namespace bench
