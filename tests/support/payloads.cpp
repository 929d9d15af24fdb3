#include "tests/support/payloads.h"

namespace xqob::test {

std::vector<uint8_t> fixedPayload(uint32_t seed, size_t size, uint32_t density) {
    std::vector<uint8_t> bytes(size, 0);
    if (density == 0) return bytes;
    uint64_t state = 0x9E3779B97F4A7C15ull ^ seed;
    for (uint8_t& b : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        const uint32_t draw = uint32_t(state >> 32);
        b = (draw % density == 0) ? uint8_t(state >> 8) : 0xFF;
    }
    return bytes;
}

uint64_t checksum(const std::vector<uint8_t>& bytes) {
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t b : bytes) {
        hash ^= b;
        hash *= 0x100000001b3ull;
    }
    return hash;
}

}  // namespace xqob::test
