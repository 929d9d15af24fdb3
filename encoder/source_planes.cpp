#include "encoder/source_planes.h"

#include <algorithm>

namespace xqob {

namespace {

// 16-bit fixed-point JFIF factors; each row sums to 65536 (luma) or 0 (chroma), so gray
// stays gray: 0.299, 0.587, 0.114; -0.168736, -0.331264, 0.5; 0.5, -0.418688, -0.081312.
constexpr int32_t kHalf = 1 << 15;

uint8_t clampByte(int32_t value) {
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Column and row of the source pixel that a padded position replicates.
int32_t sourceIndex(int32_t padded, int32_t size) {
    return std::min(padded, size - 1);
}

void fillGrayPlane(const SourceImage& image, SourcePlanes* planes) {
    for (int32_t row = 0; row < planes->lumaRows; ++row) {
        const int32_t sy = sourceIndex(row, image.height);
        const uint8_t* in =
            image.pixels + size_t(sy) * size_t(image.width) * size_t(image.channels);
        uint8_t* out = planes->y.data() + size_t(row) * size_t(planes->lumaStride);
        for (int32_t x = 0; x < planes->lumaStride; ++x) {
            const uint8_t* pixel =
                in + size_t(sourceIndex(x, image.width)) * size_t(image.channels);
            if (image.channels == 1) {
                out[x] = pixel[0];
            } else {
                out[x] = clampByte(
                    (19595 * pixel[0] + 38470 * pixel[1] + 7471 * pixel[2] + kHalf) >> 16);
            }
        }
    }
}

// Full-resolution colour planes at the padded size.
void fillColourPlanes(const SourceImage& image, SourcePlanes* planes, std::vector<uint8_t>* cb,
                      std::vector<uint8_t>* cr) {
    const size_t stride = size_t(planes->lumaStride);
    for (int32_t row = 0; row < planes->lumaRows; ++row) {
        const int32_t sy = sourceIndex(row, image.height);
        const uint8_t* in = image.pixels + size_t(sy) * size_t(image.width) * 3;
        const size_t base = size_t(row) * stride;
        for (int32_t x = 0; x < planes->lumaStride; ++x) {
            const uint8_t* pixel = in + size_t(sourceIndex(x, image.width)) * 3;
            rgbToYCbCr(pixel[0], pixel[1], pixel[2], &planes->y[base + size_t(x)],
                       &(*cb)[base + size_t(x)], &(*cr)[base + size_t(x)]);
        }
    }
}

void downsample(const std::vector<uint8_t>& full, int32_t fullStride, std::vector<uint8_t>* half,
                int32_t halfStride, int32_t halfRows) {
    half->resize(size_t(halfStride) * size_t(halfRows));
    for (int32_t row = 0; row < halfRows; ++row) {
        const uint8_t* a = full.data() + size_t(2 * row) * size_t(fullStride);
        const uint8_t* b = a + fullStride;
        uint8_t* out = half->data() + size_t(row) * size_t(halfStride);
        for (int32_t x = 0; x < halfStride; ++x) {
            out[x] = uint8_t((a[2 * x] + a[2 * x + 1] + b[2 * x] + b[2 * x + 1] + 2) >> 2);
        }
    }
}

}  // namespace

void rgbToYCbCr(int32_t r, int32_t g, int32_t b, uint8_t* y, uint8_t* cb, uint8_t* cr) {
    *y = clampByte((19595 * r + 38470 * g + 7471 * b + kHalf) >> 16);
    *cb = clampByte(((-11059 * r - 21709 * g + 32768 * b + kHalf) >> 16) + 128);
    *cr = clampByte(((32768 * r - 27439 * g - 5329 * b + kHalf) >> 16) + 128);
}

void prepareSourcePlanes(const SourceImage& image, bool gray, bool fullChroma, int32_t paddedWidth,
                         int32_t paddedHeight, SourcePlanes* planes) {
    planes->lumaStride = paddedWidth;
    planes->lumaRows = paddedHeight;
    planes->y.assign(size_t(paddedWidth) * size_t(paddedHeight), 0);
    planes->cb.clear();
    planes->cr.clear();
    if (image.width == 0 || image.height == 0) return;
    if (gray) {
        fillGrayPlane(image, planes);
        return;
    }
    planes->cb.resize(planes->y.size());
    planes->cr.resize(planes->y.size());
    fillColourPlanes(image, planes, &planes->cb, &planes->cr);
    planes->chromaStride = paddedWidth;
    planes->chromaRows = paddedHeight;
    if (fullChroma) return;
    planes->chromaStride = paddedWidth / 2;
    planes->chromaRows = paddedHeight / 2;
    std::vector<uint8_t> half;
    downsample(planes->cb, paddedWidth, &half, planes->chromaStride, planes->chromaRows);
    planes->cb.swap(half);
    downsample(planes->cr, paddedWidth, &half, planes->chromaStride, planes->chromaRows);
    planes->cr.swap(half);
}

}  // namespace xqob
