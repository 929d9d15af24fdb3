// 32-bit arithmetic that wraps modulo 2^32. Extreme levels (up to 6000 times dequantisation
// factors, grown again by the transforms) can leave the int32 range; the codec defines the
// result as the two's-complement wrap, so sums and products are formed in uint32_t and a
// right shift is the arithmetic shift of the wrapped value.
#pragma once

#include <cstdint>

namespace xqob {

inline uint32_t wrap(int32_t value) {
    return static_cast<uint32_t>(value);
}

inline int32_t unwrap(uint32_t value) {
    return static_cast<int32_t>(value);
}

// Arithmetic shift right of the wrapped value: rounds toward minus infinity.
inline uint32_t shiftRight(uint32_t value, int32_t bits) {
    return static_cast<uint32_t>(static_cast<int32_t>(value) >> bits);
}

inline uint8_t clipSample(int32_t value) {
    return static_cast<uint8_t>(value < 0 ? 0 : (value > 255 ? 255 : value));
}

}  // namespace xqob
