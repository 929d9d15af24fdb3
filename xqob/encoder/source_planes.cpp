#include "xqob/encoder/source_planes.h"

#include <algorithm>
#include <cmath>

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

// Weights of the samples 2j - 2i and 2j + 1 + 2i (i = 0..3) for half-resolution sample j:
// the least-squares inverse of the decoder's upsampler (3/4 of the nearest chroma sample,
// 1/4 of the next, in each direction), 2/3 * (-1/3)^i, truncated after four terms and
// scaled by 81/80 so that they again sum to 1 and keep flat colours exact. A plain 2 x 2
// mean would be blurred a second time by the upsampler.
constexpr float kDownWeights[4] = {54.0f / 80, -18.0f / 80, 6.0f / 80, -2.0f / 80};

// One dimension: count output samples from 2 * count input samples spaced step apart,
// ends replicated.
void downsampleLine(const float* in, int32_t step, int32_t count, float* out, int32_t outStep) {
    const int32_t last = 2 * count - 1;
    for (int32_t j = 0; j < count; ++j) {
        float sum = 0;
        for (int32_t i = 0; i < 4; ++i) {
            const int32_t left = std::max(2 * j - 2 * i, 0);
            const int32_t right = std::min(2 * j + 1 + 2 * i, last);
            sum += kDownWeights[i] * (in[left * step] + in[right * step]);
        }
        out[j * outStep] = sum;
    }
}

void downsample(const std::vector<uint8_t>& full, int32_t fullStride, std::vector<uint8_t>* half,
                int32_t halfStride, int32_t halfRows) {
    const int32_t fullRows = 2 * halfRows;
    std::vector<float> samples(full.begin(), full.end());
    std::vector<float> rows(size_t(halfStride) * size_t(fullRows));
    for (int32_t r = 0; r < fullRows; ++r) {
        downsampleLine(samples.data() + size_t(r) * size_t(fullStride), 1, halfStride,
                       rows.data() + size_t(r) * size_t(halfStride), 1);
    }
    std::vector<float> both(size_t(halfStride) * size_t(halfRows));
    for (int32_t c = 0; c < halfStride; ++c) {
        downsampleLine(rows.data() + c, halfStride, halfRows, both.data() + c, halfStride);
    }
    half->resize(both.size());
    for (size_t i = 0; i < both.size(); ++i) {
        (*half)[i] = clampByte(int32_t(std::lround(both[i])));
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
