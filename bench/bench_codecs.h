// The three codecs of the benchmark, each as encode-at-a-quality and decode-to-RGB calls on
// bytes in memory, so that the decode timings cover exactly bytes in, R, G, B rows out.
#pragma once

#include <cstdint>
#include <vector>

#include "bench/bench_png.h"

namespace bench {

// Each returns false on failure; the decoders write width * height * 3 bytes into rgb.
bool encodeQob(const Picture& picture, int quality, std::vector<uint8_t>* file);
bool encodeQobGray(const Picture& picture, int quality, std::vector<uint8_t>* file);
bool decodeQob(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb);  // one thread
bool decodeQobTwoThreads(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb);

bool encodeWebp(const Picture& picture, int quality, std::vector<uint8_t>* file);
bool decodeWebp(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb);
// With libwebp's own threading (use_threads).
bool decodeWebpThreaded(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb);

// Arithmetic-coded baseline JPEG (what cjpeg -arithmetic writes), 4:2:0.
bool encodeJpeg(const Picture& picture, int quality, std::vector<uint8_t>* file);
bool decodeJpeg(const std::vector<uint8_t>& file, std::vector<uint8_t>* rgb);

using Encoder = bool (*)(const Picture&, int, std::vector<uint8_t>*);

// The quality 1..100 whose file size is closest to targetBytes (sizes grow with quality).
int matchSize(Encoder encoder, const Picture& picture, size_t targetBytes,
              std::vector<uint8_t>* file);

}  // namespace bench
