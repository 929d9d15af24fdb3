// Fixed pseudo-random payloads: the same bytes on every machine and run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace xqob::test {

// size bytes from seed. Bytes are drawn so that about one in density is random and the
// rest are 0xFF, which decodes to moderate levels rather than runs of huge magnitudes.
// density 0 gives all-zero bytes, which decode to magnitudes at their caps.
std::vector<uint8_t> fixedPayload(uint32_t seed, size_t size, uint32_t density);

// FNV-1a over bytes: a stable checksum for recorded outputs.
uint64_t checksum(const std::vector<uint8_t>& bytes);

}  // namespace xqob::test
